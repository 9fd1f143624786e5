// The FFT of the math channel: window, spectrum, detectors and the worker's
// service of one request.
#include "analysis/fft/fft_process.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>

FFT_Para FftPara;

namespace {
constexpr float kTwoPi = 6.2831854820251465f;  // single precision, as the argument is rounded
constexpr double kInputScale = 256.0;
constexpr double kInputGain = 2.7;
constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kPeakStart = 32760.0;

}  // namespace

int FftWinCalculation(int type, int n, float* w) {
  if (!w || n < 1 || n > kFftMaxPoints) return -1;
  const int d = n > 1 ? n - 1 : 1;
  for (int i = 0; i < n; ++i) {
    const float a = kTwoPi * float(i) / float(d);
    switch (type) {
      case kFftHamming: w[i] = float(0.54 - 0.46 * std::cos(a)); break;
      case kFftBlackman: w[i] = float(0.42 - 0.5 * std::cos(a) + 0.08 * std::cos(2.0f * a)); break;
      case kFftHann: w[i] = float(0.5 - 0.5 * std::cos(a)); break;
      default: w[i] = 1.0f; break;
    }
  }
  return 0;
}

// The worker's buffers and plan, kept while the point count stays: the
// planning and the allocation would otherwise cost as much as the transform.
class PlanCache {
 public:
  ~PlanCache() { Drop(); }
  bool Get(int n, float** in, fftwf_complex** out, fftwf_plan* plan) {
    if (n != n_) {
      Drop();
      in_ = static_cast<float*>(fftwf_malloc(sizeof(float) * size_t(n + 1)));
      out_ = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * size_t(n + 1)));
      if (in_ && out_) plan_ = fftwf_plan_dft_r2c_1d(n, in_, out_, FFTW_ESTIMATE);
      if (!plan_) {
        Drop();
        return false;
      }
      n_ = n;
    }
    *in = in_, *out = out_, *plan = plan_;
    return true;
  }
  std::mutex lock;

 private:
  void Drop() {
    if (plan_) fftwf_destroy_plan(plan_);
    fftwf_free(in_);
    fftwf_free(out_);
    plan_ = nullptr, in_ = nullptr, out_ = nullptr, n_ = 0;
  }
  int n_ = 0;
  float* in_ = nullptr;
  fftwf_complex* out_ = nullptr;
  fftwf_plan plan_ = nullptr;
};

int FftSpectrum(const uint8_t* s, int offset, const float* w, int n, float* out) {
  if (!s || !w || !out || n < 2 || n > kFftMaxPoints) return -1;
  static PlanCache cache;
  std::lock_guard<std::mutex> lock(cache.lock);
  float* in = nullptr;
  fftwf_complex* X = nullptr;
  fftwf_plan plan = nullptr;
  if (!cache.Get(n, &in, &X, &plan)) return -1;
  const float gain = float(kInputGain / kInputScale);
  for (int i = 0; i < n; ++i) in[i] = float(s[i] - offset) * w[i] * gain;
  fftwf_execute(plan);
  const float scale = float(kInputScale / n);
  for (int k = 0; k < n / 2; ++k) out[k] = scale * std::sqrt(X[k][0] * X[k][0] + X[k][1] * X[k][1]);
  // The scale reads a bin as a sine's peak over sqrt 2 (FftWindowGain); the
  // DC bin is not split between two halves of the spectrum, so its magnitude
  // is already the offset's own rms value times sqrt 2: take that out here.
  out[0] = float(out[0] / kSqrt2);
  return 0;
}

double FftScale::Code(double x) const {
  const double v = x * k * gain;
  if (!db) return p5 + v * r;
  if (!(v > 0)) return kFftCodeLow;  // silence lies below the area
  return p5 + 20.0 * std::log10(v) * r;
}

double FftWindowGain(const float* w, int n) {
  if (!w || n < 1) return 1.0;
  double sum = 0;
  for (int i = 0; i < n; ++i) sum += w[i];
  const double mean = sum / n;
  return mean > 0 ? kSqrt2 / (kInputGain * mean) : 1.0;
}

void FftDetect(const float* bins, int nbins, int S, int E, int columns, const FftScale& scale, unsigned mask,
               float traces[kFftDetectors][kFftTraceValues], float (*raw)[kFftColumns]) {
  columns = std::clamp(columns, 1, kFftColumns);
  S = std::clamp(S, 0, std::max(0, nbins - 1));
  E = std::clamp(E, S + 1, nbins);
  const int span = E - S;
  // A span narrower than the columns is stretched (the last bin held).
  std::vector<float> stretched;
  const float* v = bins + S;
  int count = span + 1 <= nbins - S ? span + 1 : span;
  if (span < columns) {
    const int j = columns / span + 1;
    stretched.resize(size_t(span) * j + 1);
    for (int i = 0; i < span; ++i) {
      const float a = v[i], b = i + 1 < count ? v[i + 1] : v[i];
      for (int t = 0; t < j; ++t) stretched[size_t(i) * j + t] = a + t * (b - a) / j;
    }
    stretched.back() = count > span ? v[span] : v[span - 1];
    v = stretched.data();
    count = int(stretched.size());
  }
  const int width = span < columns ? count - 1 : span;
  auto clampCode = [](double y) {
    return float(!(y > kFftCodeLow) ? kFftCodeLow : y >= kFftCodeHigh ? kFftCodeHigh : y);
  };
  const int b = int(std::floor(double(width) / columns + 0.5));
  for (int c = 0; c < columns; ++c) {
    const int i0 = int(double(c) * width / columns);
    const int last = std::min(i0 + b, count - 1);
    const int n = last >= i0 ? last - i0 + 1 : 0;
    // Only what the detectors asked for is gathered: at a million points
    // the columns cover half a million bins.
    double hi = -kPeakStart, lo = kPeakStart, sum = 0;
    if (mask >> kFftPosPeak & 1)
      for (int i = i0; i <= last; ++i) hi = std::max(hi, double(v[i]));
    if (mask >> kFftNegPeak & 1)
      for (int i = i0; i <= last; ++i) lo = std::min(lo, double(v[i]));
    if (mask >> kFftAverage & 1)
      for (int i = i0; i <= last; ++i) sum += v[i];
    const double value[kFftDetectors] = {hi, lo, v[std::min(i0, count - 1)], n ? sum / n : 0.0};
    for (int d = 0; d < kFftDetectors; ++d) {
      if (!(mask >> d & 1)) continue;
      const double code = scale.Code(value[d]);
      traces[d][c] = clampCode(code);
      if (raw) raw[d][c] = float(code);
    }
  }
  for (int d = 0; d < kFftDetectors; ++d) {
    if (!(mask >> d & 1)) continue;
    for (int c = 0; c < kFftColumns; ++c) traces[d][kFftColumns + c] = traces[d][std::min(c + 1, columns - 1)];
  }
}

bool FftServeRequest(FFT_Para& p) {
  std::lock_guard<std::mutex> serving(p.serving);
  int n;
  {
    std::lock_guard<std::mutex> lock(p.lock);
    if (!(p.flags & kFftRequest)) return false;
    n = p.points;
  }
  const bool sized = n >= 2 && n <= kFftMaxPoints && int(p.samples.size()) >= n && int(p.window.size()) >= n;
  if (sized) p.result.resize(size_t(n / 2));
  const bool ok = sized && FftSpectrum(p.samples.data(), p.offset, p.window.data(), n, p.result.data()) == 0;
  std::lock_guard<std::mutex> lock(p.lock);
  // One step: the request ends and its result is there, or it is abandoned.
  p.flags = ok ? (p.flags & ~kFftRequest) | kFftDone : 0;
  return true;
}
