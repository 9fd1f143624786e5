// The math module's FFT frame on the main loop: posts the FFT source's record
// to the worker, takes its spectrum, reduces the shown bins to screen columns
// by the detectors, and keeps the average, max-hold and min-hold traces
// (screen traces 5, 6 and 7).
#include <algorithm>
#include <cstring>

#include "acquisition/voltage_tables.h"
#include "acquisition/wave.h"
#include "acquisition/y_system.h"
#include "analysis/fft_process.h"
#include "analysis/math_calc.h"
#include "analysis/math_fft_menu.h"
#include "analysis/task_math.h"
#include "core/ids.h"
#include "core/sys_run_info.h"

namespace {
constexpr int kItemDetector = 20, kItemAverageOn = 21, kItemMaxHold = 23, kItemMinHold = 25;
constexpr int kMaxHoldSlot = 6, kMinHoldSlot = 7;
constexpr int kAverageCountMax = 8192;
constexpr int kIndependentMode = 2, kIndependentColumns = 500;
constexpr float kMaxHoldReset = -23768.0f, kMinHoldReset = 32768.0f;

int Item(int n) { return int(uint16_t(TaskMath.TaskMenu.GetMenuItem(n))); }
int VdivIndex(int i) { return i >= 0 && i < kVoltageEntries ? i : y_system::kDefaultIndex; }
}  // namespace

void TaskForMath::ClearFFTGrayScale() {
  for (int s : {kMathSlot, kMaxHoldSlot, kMinHoldSlot}) WaveOp.ClearScreenWave(s);
  std::memset(mainTrace_, 0, sizeof mainTrace_);
  std::fill(std::begin(averageTrace_), std::end(averageTrace_), 0.0f);
  std::fill(std::begin(maxTrace_), std::end(maxTrace_), kMaxHoldReset);
  std::fill(std::begin(minTrace_), std::end(minTrace_), kMinHoldReset);
  averageCount_ = 1;
}

int TaskForMath::FFT_Process() {
  _SysRunInfoOp& run = SysRunStatus;
  if (run.GetAcquireStatus(0) == kAcqStopped) return 0;
  FftSettings& fft = *run.GetFFTParaAddr();
  const int src = fft.source == 1 ? 1 : 0;
  if (!(run.GetChStatus() >> src & 1)) {
    if (!sourceOffCleared_) ClearFFTGrayScale();
    sourceOffCleared_ = true;
    return 0;
  }
  sourceOffCleared_ = false;
  const int n = int(MathFftPoints(Item(kMathItemFftPoints)));
  if (!n) return -1;

  FFT_Para& p = FftPara;
  std::vector<float> bins;
  {
    std::lock_guard<std::mutex> lock(p.lock);
    if (p.flags == 0 || ((p.flags & kFftDiscard) && !(p.flags & kFftRequest))) {
      // No request in flight: the worker reads none of these now.
      p.samples.resize(size_t(n));
      WaveOp.GetFFTWaveData(p.samples.data(), n, &sampleRate_);
      const int window = Item(kMathItemFftWindow);
      if (int(p.window.size()) != n || window != windowType_) {
        p.window.resize(size_t(n));
        FftWinCalculation(window, n, p.window.data());
        windowType_ = window;
      }
      p.offset = Vertical.GetRealYposition(src);
      p.points = n;
      p.flags |= kFftRequest;
    }
    if (!(p.flags & kFftDone)) return 0;
    p.flags &= ~kFftDone;
    if (p.flags & kFftDiscard) {
      p.flags &= ~kFftDiscard;
      ClearFFTGrayScale();
      return 0;
    }
    bins.swap(p.result);
  }
  WaveOp.RequestFFTData();  // a fresh record for the next request

  FftScale scale;
  scale.p5 = Vertical.GetRealYposition(kMathSlot);
  const double vs = Voltage[VdivIndex(Vertical.GetYsensitivity(src))];
  const double vm = Voltage[VdivIndex(Vertical.GetRealYsensitivity(kMathSlot))];
  scale.k = vs / 25;
  scale.db = Item(kMathItemFftVertical) == 1;
  scale.r = scale.db ? vm / 25 : vs / vm;
  const int nbins = int(bins.size());
  const int end = std::min<int>(int(fft.endBin), nbins - 1);
  const int start = std::min<int>(int(fft.startBin), std::max(0, end - 1));
  const int columns = fft.screen == kIndependentMode ? kIndependentColumns : kFftColumns;
  const int mode = std::clamp(Item(kItemDetector), 0, kFftDetectors - 1);
  float traces[kFftDetectors][kFftTraceValues] = {};
  FftDetect(bins.data(), nbins, start, end, columns, scale, 0xF, traces);
  std::memcpy(mainTrace_, traces[mode], sizeof mainTrace_);
  mainTrace_[0] = mainTrace_[1];

  if (Item(kItemAverageOn)) {
    const int depth = 1 << std::clamp(Item(kMathItemAverageSel), 1, 9);
    const int frames = std::min(averageCount_, depth);
    for (int i = 0; i < kFftTraceValues; ++i)
      averageTrace_[i] = averageCount_ == 1 ? mainTrace_[i] : (mainTrace_[i] + (frames - 1) * averageTrace_[i]) / frames;
    WaveOp.ScreenMathFFTInport(kMathSlot, averageTrace_);
    averageCount_ = std::min(averageCount_ + 1, kAverageCountMax);
  }
  if (Item(kItemMaxHold)) {
    for (int i = 0; i < kFftTraceValues; ++i) maxTrace_[i] = std::max(maxTrace_[i], mainTrace_[i]);
    WaveOp.ScreenMathFFTInport(kMaxHoldSlot, maxTrace_);
  }
  if (Item(kItemMinHold)) {
    for (int i = 0; i < kFftTraceValues; ++i) minTrace_[i] = std::min(minTrace_[i], mainTrace_[i]);
    WaveOp.ScreenMathFFTInport(kMinHoldSlot, minTrace_);
  }
  fft.newSpectrum = 1;
  return 1;
}
