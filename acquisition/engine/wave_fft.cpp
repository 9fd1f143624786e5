// The waveform engine's FFT feed: the FFT source's record, read at the step
// that gives the FFT's sample rate.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "acquisition/engine/wave.h"
#include "core/board/control.h"
#include "core/state/sys_run_info.h"

namespace {
constexpr int kMathTypeFft = 1;
constexpr double kMaxFftRate = 1e9;

// FFT rate per screen-point rate by FFT length.
double RateFactor(uint32_t points) {
  switch (points) {
    case 16384: case 32768: case 65536: return 100;
    case 131072: case 262144: case 524288: return 1000;
    case 1048576: case 2097152: return 10000;
    default: return 10;
  }
}
}  // namespace

int _wave::UpdateFFTWaveDataSample() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const _SysRunInfo* run = Run();
  const HorizontalBlock& h = run->horizontal[0];
  // 50 / seconds per division, the screen-point rate.
  fftRate_ = std::min(double(h.screenPointRate) * RateFactor(run->fft.points), kMaxFftRate);
  fftStep_ = fftRate_ > 0 ? std::max(1, int(std::floor(double(h.sampleRate) / fftRate_))) : 1;
  return fftStep_;
}

int _wave::ReadFFTWaveData() {
  _SysRunInfo* run = Run();
  if (run->mathType != kMathTypeFft || !fftRequest_.exchange(0)) return 0;
  const int src = run->fft.source;
  if (src != 0 && src != 1) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const HorizontalBlock& h = run->horizontal[Block(src)];
  const int idx = run->memDepthIndex;
  const double depth = idx == 0 ? h.autoDepth : idx < 8 ? MemDepthSize[idx] : MemDepthSize[1];
  const int64_t start = 35000000 - int64_t(depth / 2) - h.preTrigDepth;
  const int n = int(std::min<uint32_t>(run->fft.points, kFftBytes));
  if (n <= 0) return -1;
  Arm(src + 1, int32_t(start), uint32_t(fftStep_) * 16);
  return Drain(src, fft_, n, true);  // a ground-coupled source fills its position code
}

double _wave::GetFFTWaveData(uint8_t* buf, int n, double* rate) {
  if (!buf || n < 0) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::memcpy(buf, fft_, size_t(std::min(n, kFftBytes)));
  if (rate) *rate = fftRate_;
  return fftRate_;
}

void _wave::ClearFFTData() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::memset(fft_, 0, sizeof fft_);
}
