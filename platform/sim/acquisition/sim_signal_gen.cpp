// Values of the simulated board's test signals.
#include <algorithm>
#include <cmath>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/sim/bus/sim_bus.h"
#include "platform/sim/acquisition/sim_signals.h"

namespace plat {

namespace {
constexpr double kTwoPi = 6.283185307179586;

// A well-mixed 64-bit hash (splitmix64 finaliser).
uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Uniform in [-1, 1) for a key.
double Uniform(uint64_t key) { return double(Mix(key) >> 11) * (2.0 / 9007199254740992.0) - 1.0; }

double Duty(const TestSignal& s) { return s.duty > 0.0 && s.duty < 1.0 ? s.duty : 0.5; }

// The height fraction of the train's pulse under phase p (0 between pulses).
double TrainLevel(const TestSignal& s, double p) {
  double rise[kTrainPulses], fall[kTrainPulses];
  const int n = TrainEdges(s, rise, fall);
  for (int i = 0; i < n; ++i)
    if (p >= rise[i] && p < fall[i]) return TrainHeight(s, i);
  return 0;
}

// The mean height fraction of a train over its period.
double TrainDuty(const TestSignal& s) {
  double rise[kTrainPulses], fall[kTrainPulses], high = 0;
  const int n = TrainEdges(s, rise, fall);
  for (int i = 0; i < n; ++i) high += (fall[i] - rise[i]) * TrainHeight(s, i);
  return high;
}

// The composite video line: where sync, blanking and the ramp change, as
// fractions of a line.
constexpr double kVideoSyncEnd = 0.074, kVideoRampStart = 0.18, kVideoRampEnd = 0.95,
                 kVideoBroadEnd = 0.85;
constexpr double kVideoBlank = -0.4;  // blanking level, in amplitudes from the offset

bool VideoSyncLine(const TestSignal& s, int line) {  // line 0-based
  const int second = VideoLines(s) / 2;
  return line < kVideoSyncLines || (line >= second && line < second + kVideoSyncLines);
}

// The video value in amplitudes from the offset at phase p of the frame.
double VideoLevel(const TestSignal& s, double p) {
  const int lines = VideoLines(s);
  const double x = p * lines;
  const int line = std::min(int(x), lines - 1);
  const double q = x - line;
  if (VideoSyncLine(s, line)) return q < kVideoBroadEnd ? -1.0 : kVideoBlank;
  if (q < kVideoSyncEnd) return -1.0;
  if (q < kVideoRampStart || q >= kVideoRampEnd) return kVideoBlank;
  return kVideoBlank + (1.0 - kVideoBlank) * (q - kVideoRampStart) / (kVideoRampEnd - kVideoRampStart);
}

// The mean of the video level over a frame, from its pieces.
double VideoMean(const TestSignal& s) {
  const int lines = VideoLines(s);
  const double ramp = kVideoRampEnd - kVideoRampStart;
  const double normal =
      -kVideoSyncEnd + kVideoBlank * (1.0 - kVideoSyncEnd - ramp) + ramp * (kVideoBlank + 1.0) / 2;
  const double broad = -kVideoBroadEnd + kVideoBlank * (1.0 - kVideoBroadEnd);
  const int sync = 2 * kVideoSyncLines;
  return (normal * (lines - sync) + broad * sync) / lines;
}

// One period of the sine in a table, read with linear interpolation: the
// board works out millions of samples a second, and the table is several
// times cheaper than std::sin. The error (below 2e-8 of the amplitude) is far
// under one sample code on every range.
constexpr int kSineSteps = 1 << 14;
struct SineTable {
  double v[kSineSteps + 1];
  SineTable() {
    for (int i = 0; i <= kSineSteps; ++i) v[i] = std::sin(kTwoPi * double(i) / kSineSteps);
  }
};

const SineTable& Table() {
  static const SineTable table;
  return table;
}

// Sine() with the table in hand (a block's loop fetches it once).
inline double SineOf(const SineTable& table, double p) {
  const double x = p * kSineSteps;
  int i = int(x);
  if (i >= kSineSteps) i = kSineSteps - 1;
  const double f = x - double(i);
  return table.v[i] + (table.v[i + 1] - table.v[i]) * f;
}

double Sine(double p) {  // p in [0, 1)
  const SineTable& table = Table();
  const double x = p * kSineSteps;
  int i = int(x);
  if (i >= kSineSteps) i = kSineSteps - 1;
  const double f = x - double(i);
  return table.v[i] + (table.v[i + 1] - table.v[i]) * f;
}

// One shape over a block: the value at each phase, as SignalVolts gives it.
template <typename Shape>
void Fill(const TestSignal& s, const double* cycles, size_t n, double* out, Shape shape) {
  for (size_t i = 0; i < n; ++i) {
    const double c = cycles[i] + s.phase;
    out[i] = shape(c - SimFloor(c));
  }
}
}  // namespace

namespace {

template <typename Shape>
void FillCodes(const TestSignal& s, const SignalCodeScale& k, const double* at, size_t n, uint8_t* out,
               Shape shape) {
  for (size_t i = 0; i < n; ++i) {
    const double cycles = k.start + k.frequency * (at[i] - k.trigger) * k.periodNs * 1e-9;
    const double c = cycles + s.phase;
    const double v = shape(c - SimFloor(c)) - k.mean;
    const double code = k.zeroCode + v * 25.0 / k.voltsPerDiv;
    out[i] = std::isfinite(code) ? SimRoundCode(std::min(std::max(code, 0.0), 255.0)) : 127;
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The sine's codes four at a time where the processor has AVX2: the same
// operations in the same order as FillCodes with SineOf (no fused
// multiply-add), so the same codes. Returns how many it made (whole fours).
__attribute__((target("avx2"))) size_t SineCodesAvx2(const TestSignal& s, const SignalCodeScale& k,
                                                      const SineTable& table, const double* at, size_t n,
                                                      uint8_t* out) {
  const __m256d start = _mm256_set1_pd(k.start), freq = _mm256_set1_pd(k.frequency),
                trigger = _mm256_set1_pd(k.trigger), period = _mm256_set1_pd(k.periodNs),
                nano = _mm256_set1_pd(1e-9), phase = _mm256_set1_pd(s.phase), steps = _mm256_set1_pd(kSineSteps),
                amp = _mm256_set1_pd(s.amplitudeV), off = _mm256_set1_pd(s.offsetV), mean = _mm256_set1_pd(k.mean),
                per = _mm256_set1_pd(25.0), vpd = _mm256_set1_pd(k.voltsPerDiv), zero = _mm256_set1_pd(k.zeroCode),
                lo = _mm256_setzero_pd(), hi = _mm256_set1_pd(255.0), half = _mm256_set1_pd(0.5),
                inf = _mm256_set1_pd(HUGE_VAL), sign = _mm256_set1_pd(-0.0),
                all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  const __m128i last = _mm_set1_epi32(kSineSteps - 1), none = _mm_setzero_si128(), one = _mm_set1_epi32(1),
                flat = _mm_set1_epi32(127);
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m256d cycles =
        _mm256_add_pd(start, _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(freq, _mm256_sub_pd(_mm256_loadu_pd(at + i),
                                                                                         trigger)),
                                                         period),
                                           nano));
    const __m256d c = _mm256_add_pd(cycles, phase);
    const __m256d p = _mm256_sub_pd(c, _mm256_floor_pd(c));
    const __m256d x = _mm256_mul_pd(p, steps);
    const __m128i index = _mm_max_epi32(_mm_min_epi32(_mm256_cvttpd_epi32(x), last), none);
    const __m256d f = _mm256_sub_pd(x, _mm256_cvtepi32_pd(index));
    const __m256d t0 = _mm256_mask_i32gather_pd(lo, table.v, index, all, 8),
                  t1 = _mm256_mask_i32gather_pd(lo, table.v + 1, index, all, 8);
    const __m256d sine = _mm256_add_pd(t0, _mm256_mul_pd(_mm256_sub_pd(t1, t0), f));
    const __m256d v = _mm256_sub_pd(_mm256_add_pd(off, _mm256_mul_pd(amp, sine)), mean);
    const __m256d code = _mm256_add_pd(zero, _mm256_div_pd(_mm256_mul_pd(v, per), vpd));
    const __m256d finite = _mm256_cmp_pd(_mm256_andnot_pd(sign, code), inf, _CMP_LT_OQ);
    const __m256d clamped = _mm256_min_pd(_mm256_max_pd(code, lo), hi);
    const __m128i whole = _mm256_cvttpd_epi32(clamped);
    const __m256d up = _mm256_cmp_pd(_mm256_sub_pd(clamped, _mm256_cvtepi32_pd(whole)), half, _CMP_GE_OQ);
    __m128i rounded = _mm_add_epi32(whole, _mm_and_si128(_mm256_cvtpd_epi32(_mm256_and_pd(up, _mm256_set1_pd(1.0))), one));
    const __m128i keep = _mm256_cvtpd_epi32(_mm256_and_pd(finite, _mm256_set1_pd(1.0)));
    rounded = _mm_blendv_epi8(flat, rounded, _mm_cmpeq_epi32(keep, one));
    alignas(16) int32_t codes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(codes), rounded);
    for (int j = 0; j < 4; ++j) out[i + size_t(j)] = uint8_t(codes[j]);
  }
  return i;
}

// The same eight at a time where the processor has AVX-512 (F and VL): the
// same operations in the same order again. Returns how many it made (whole eights).
__attribute__((target("avx512f,avx512vl"))) size_t SineCodesAvx512(const TestSignal& s, const SignalCodeScale& k,
                                                                   const SineTable& table, const double* at,
                                                                   size_t n, uint8_t* out) {
  const __m512d start = _mm512_set1_pd(k.start), freq = _mm512_set1_pd(k.frequency),
                trigger = _mm512_set1_pd(k.trigger), period = _mm512_set1_pd(k.periodNs),
                nano = _mm512_set1_pd(1e-9), phase = _mm512_set1_pd(s.phase), steps = _mm512_set1_pd(kSineSteps),
                amp = _mm512_set1_pd(s.amplitudeV), off = _mm512_set1_pd(s.offsetV), mean = _mm512_set1_pd(k.mean),
                per = _mm512_set1_pd(25.0), vpd = _mm512_set1_pd(k.voltsPerDiv), zero = _mm512_set1_pd(k.zeroCode),
                lo = _mm512_setzero_pd(), hi = _mm512_set1_pd(255.0), half = _mm512_set1_pd(0.5),
                inf = _mm512_set1_pd(HUGE_VAL);
  const __m256i last = _mm256_set1_epi32(kSineSteps - 1), none = _mm256_setzero_si256(),
                one = _mm256_set1_epi32(1), flat = _mm256_set1_epi32(127);
  const __mmask8 kAll = 0xFF;  // the masked forms, every lane: no undefined sources
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m512d cycles = _mm512_add_pd(
        start,
        _mm512_mul_pd(_mm512_mul_pd(_mm512_mul_pd(freq, _mm512_sub_pd(_mm512_loadu_pd(at + i), trigger)), period),
                      nano));
    const __m512d c = _mm512_add_pd(cycles, phase);
    const __m512d p = _mm512_sub_pd(c, _mm512_mask_roundscale_pd(c, kAll, c, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
    const __m512d x = _mm512_mul_pd(p, steps);
    const __m256i index = _mm256_max_epi32(_mm256_min_epi32(_mm512_mask_cvttpd_epi32(none, kAll, x), last), none);
    const __m512d f = _mm512_sub_pd(x, _mm512_mask_cvtepi32_pd(lo, kAll, index));
    const __m512d t0 = _mm512_mask_i32gather_pd(lo, kAll, index, table.v, 8),
                  t1 = _mm512_mask_i32gather_pd(lo, kAll, index, table.v + 1, 8);
    const __m512d sine = _mm512_add_pd(t0, _mm512_mul_pd(_mm512_sub_pd(t1, t0), f));
    const __m512d v = _mm512_sub_pd(_mm512_add_pd(off, _mm512_mul_pd(amp, sine)), mean);
    const __m512d code = _mm512_add_pd(zero, _mm512_div_pd(_mm512_mul_pd(v, per), vpd));
    const __mmask8 finite = _mm512_cmp_pd_mask(_mm512_abs_pd(code), inf, _CMP_LT_OQ);
    const __m512d clamped = _mm512_mask_min_pd(lo, kAll, _mm512_mask_max_pd(lo, kAll, code, lo), hi);
    const __m256i whole = _mm512_mask_cvttpd_epi32(none, kAll, clamped);
    const __mmask8 up = _mm512_cmp_pd_mask(_mm512_sub_pd(clamped, _mm512_mask_cvtepi32_pd(lo, kAll, whole)), half, _CMP_GE_OQ);
    const __m256i rounded = _mm256_mask_blend_epi32(finite, flat, _mm256_mask_add_epi32(whole, up, whole, one));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm256_maskz_cvtepi32_epi8(kAll, rounded));
  }
  return i;
}

// A quicker screen before the exact sine: the code from a polynomial sine
// (no table look-ups), within `margin` of the code SineOf gives (the table's
// own interpolation error, 1.9e-8 of the amplitude, bounds their distance).
// Where the unrounded code lies farther than the margin from a rounding edge
// (a half), both round alike and the quick code stands; the others are marked
// in doubt (bit j of doubt[g] for sample 8 g + j) for the exact formula. The
// polynomial: Taylor's to the 13th power of sin(2 pi r), |r| <= 1/4, off by
// under 7e-10. Returns how many it made (whole eights).
struct QuickSine {
  double amp, base, margin;
};
constexpr double kQuickTableError = 3e-8;     // of the amplitude in codes, with room
constexpr double kQuickRoundError = 1e-12;    // of the codes' magnitudes, the folded sums' rounding
constexpr double kQuickMarginFloor = 1e-6;    // codes
constexpr double kQuickMarginLimit = 0.25;    // beyond it every sample would be in doubt

bool QuickSineFor(const TestSignal& s, const SignalCodeScale& k, QuickSine* q) {
  const double amp = s.amplitudeV * 25.0 / k.voltsPerDiv;
  const double base = k.zeroCode + (s.offsetV - k.mean) * 25.0 / k.voltsPerDiv;
  const double margin = kQuickMarginFloor + kQuickTableError * std::fabs(amp) +
                        kQuickRoundError * (std::fabs(k.zeroCode) + std::fabs(base) + std::fabs(amp));
  if (!std::isfinite(amp) || !std::isfinite(base) || !(margin < kQuickMarginLimit)) return false;
  *q = {amp, base, margin};
  return true;
}

__attribute__((target("avx512f,avx512vl,fma"))) size_t SineCodesQuick(const TestSignal& s, const SignalCodeScale& k,
                                                                      const QuickSine& q, const double* at,
                                                                      size_t n, uint8_t* out, uint8_t* doubt) {
  constexpr double kTurn = 6.283185307179586;
  double term[7];  // (2 pi)^(2i+1) / (2i+1)!, alternating
  term[0] = kTurn;
  for (int i = 1; i < 7; ++i) term[i] = term[i - 1] * -kTurn * kTurn / double((2 * i) * (2 * i + 1));
  const __mmask8 kAll = 0xFF;
  const __m512d start = _mm512_set1_pd(k.start), freq = _mm512_set1_pd(k.frequency),
                trigger = _mm512_set1_pd(k.trigger), period = _mm512_set1_pd(k.periodNs),
                nano = _mm512_set1_pd(1e-9), phase = _mm512_set1_pd(s.phase), amp = _mm512_set1_pd(q.amp),
                base = _mm512_set1_pd(q.base), lo = _mm512_setzero_pd(), hi = _mm512_set1_pd(255.0),
                half = _mm512_set1_pd(0.5), quarter = _mm512_set1_pd(0.25), margin = _mm512_set1_pd(q.margin);
  const __m512i sign = _mm512_set1_epi64(INT64_MIN);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m512d cycles = _mm512_add_pd(
        start,
        _mm512_mul_pd(_mm512_mul_pd(_mm512_mul_pd(freq, _mm512_sub_pd(_mm512_loadu_pd(at + i), trigger)), period),
                      nano));
    const __m512d c = _mm512_add_pd(cycles, phase);
    const __m512d p = _mm512_sub_pd(c, _mm512_mask_roundscale_pd(c, kAll, c, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
    // sin(2 pi p) = sin(2 pi r), r = 1/2 - p in (-1/2, 1/2]; past a quarter r folds to +-(1/2 - |r|).
    __m512d r = _mm512_sub_pd(half, p);
    const __m512d size = _mm512_abs_pd(r);
    const __m512i signOf = _mm512_and_epi64(_mm512_castpd_si512(r), sign);
    const __m512d folded = _mm512_castsi512_pd(_mm512_or_epi64(_mm512_castpd_si512(_mm512_sub_pd(half, size)), signOf));
    r = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(size, quarter, _CMP_GT_OQ), r, folded);
    const __m512d r2 = _mm512_mul_pd(r, r);
    __m512d poly = _mm512_set1_pd(term[6]);
    for (int t = 5; t >= 0; --t) poly = _mm512_fmadd_pd(poly, r2, _mm512_set1_pd(term[t]));
    const __m512d code = _mm512_fmadd_pd(amp, _mm512_mul_pd(poly, r), base);
    const __m512d clamped = _mm512_mask_min_pd(lo, kAll, _mm512_mask_max_pd(lo, kAll, code, lo), hi);
    const __m512d whole =
        _mm512_mask_roundscale_pd(clamped, kAll, clamped, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m512d edge = _mm512_abs_pd(_mm512_sub_pd(_mm512_sub_pd(clamped, whole), half));
    doubt[i / 8] = uint8_t(_mm512_cmp_pd_mask(edge, margin, _CMP_NGT_UQ));
    const __m512d rounded =
        _mm512_mask_roundscale_pd(clamped, kAll, clamped, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m256i codes = _mm512_mask_cvttpd_epi32(_mm256_setzero_si256(), kAll, rounded);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm256_maskz_cvtepi32_epi8(kAll, codes));
  }
  return i;
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

bool HaveAvx512() {
  static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
  return have;
}

bool HaveFma() {
  static const bool have = __builtin_cpu_supports("fma");
  return have;
}

constexpr size_t kQuickGroups = 128;  // eights screened at a time
#endif
}  // namespace

bool SignalCodesBlock(const TestSignal& s, const SignalCodeScale& k, const double* at, size_t n, uint8_t* out) {
  if (s.noiseV > 0.0) return false;
  const double a = s.amplitudeV, o = s.offsetV;
  switch (s.shape) {
    case SignalShape::kSine: {
      const SineTable& table = Table();
      auto exact = [a, o, &table](double p) { return o + a * SineOf(table, p); };
#if defined(__x86_64__) && defined(__GNUC__)
      QuickSine quick;
      if (HaveAvx512() && HaveFma() && QuickSineFor(s, k, &quick)) {
        uint8_t doubt[kQuickGroups];
        while (n >= 8) {
          const size_t done = SineCodesQuick(s, k, quick, at, std::min(n, kQuickGroups * 8), out, doubt);
          for (size_t g = 0; g < done / 8; ++g)
            for (size_t j = 0; doubt[g] >> j; ++j)
              if (doubt[g] >> j & 1) FillCodes(s, k, at + 8 * g + j, 1, out + 8 * g + j, exact);
          at += done, out += done, n -= done;
        }
      }
      if (HaveAvx512()) {
        const size_t done = SineCodesAvx512(s, k, table, at, n, out);
        at += done, out += done, n -= done;
      }
      if (HaveAvx2()) {
        const size_t done = SineCodesAvx2(s, k, table, at, n, out);
        at += done, out += done, n -= done;
      }
#endif
      FillCodes(s, k, at, n, out, exact);
      return true;
    }
    case SignalShape::kSquare:
      FillCodes(s, k, at, n, out, [a, o](double p) { return p < 0.5 ? o + a : o - a; });
      return true;
    case SignalShape::kTriangle:
      FillCodes(s, k, at, n, out,
                [a, o](double p) { return p < 0.5 ? o - a + 4.0 * a * p : o + 3.0 * a - 4.0 * a * p; });
      return true;
    case SignalShape::kPulse: {
      const double duty = Duty(s);
      FillCodes(s, k, at, n, out, [a, o, duty](double p) { return p < duty ? o + a : o - a; });
      return true;
    }
    default:
      return false;
  }
}

void SignalVoltsBlock(const TestSignal& s, const double* cycles, const uint64_t* noiseKeys, size_t n,
                      double* out) {
  const double a = s.amplitudeV, o = s.offsetV;
  switch (s.shape) {
    case SignalShape::kSine: {
      const SineTable& table = Table();
      Fill(s, cycles, n, out, [a, o, &table](double p) { return o + a * SineOf(table, p); });
      return;
    }
    case SignalShape::kSquare:
      Fill(s, cycles, n, out, [a, o](double p) { return p < 0.5 ? o + a : o - a; });
      return;
    case SignalShape::kTriangle:
      Fill(s, cycles, n, out, [a, o](double p) { return p < 0.5 ? o - a + 4.0 * a * p : o + 3.0 * a - 4.0 * a * p; });
      return;
    case SignalShape::kPulse: {
      const double duty = Duty(s);
      Fill(s, cycles, n, out, [a, o, duty](double p) { return p < duty ? o + a : o - a; });
      return;
    }
    case SignalShape::kDc:
      for (size_t i = 0; i < n; ++i) out[i] = o;
      return;
    default:  // noise, train, video, bus: one value at a time
      for (size_t i = 0; i < n; ++i) out[i] = SignalVolts(s, cycles[i], noiseKeys ? noiseKeys[i] : 0);
      return;
  }
}

int VideoLines(const TestSignal& s) { return s.lines == 525 ? 525 : 625; }

double TrainHeight(const TestSignal& s, int i) {
  const double h = i >= 0 && i < kTrainPulses ? s.heights[i] : 0.0;
  return h > 0.0 && h < 1.0 ? h : 1.0;
}

int TrainEdges(const TestSignal& s, double* rise, double* fall) {
  if (s.frequencyHz <= 0 || s.pulses <= 0) return 0;
  const int n = s.pulses < kTrainPulses ? s.pulses : kTrainPulses;
  double t = 0;
  for (int i = 0; i < n; ++i) {
    rise[i] = t * s.frequencyHz;
    t += s.widths[i] > 0 ? s.widths[i] : 0;
    fall[i] = t * s.frequencyHz;
    t += s.gapS > 0 ? s.gapS : 0;
  }
  return fall[n - 1] < 1.0 ? n : 0;
}

double SignalVolts(const TestSignal& s, double cycles, uint64_t noiseKey) {
  const double a = s.amplitudeV, o = s.offsetV;
  const double c = cycles + s.phase;
  const double p = c - SimFloor(c);  // phase in [0, 1)
  switch (s.shape) {
    case SignalShape::kSine: return o + a * Sine(p);
    case SignalShape::kSquare: return p < 0.5 ? o + a : o - a;
    case SignalShape::kTriangle: return p < 0.5 ? o - a + 4.0 * a * p : o + 3.0 * a - 4.0 * a * p;
    case SignalShape::kPulse: return p < Duty(s) ? o + a : o - a;
    case SignalShape::kDc: return o;
    case SignalShape::kNoise: return o + a * Uniform(noiseKey);
    case SignalShape::kTrain: return o - a + 2.0 * a * TrainLevel(s, p);
    case SignalShape::kVideo: return o + a * VideoLevel(s, p);
    case SignalShape::kBus: return s.bus && s.bus->High(s.busLine, p / s.frequencyHz) ? o + a : o - a;
  }
  return o;
}

bool SameSignal(const TestSignal& a, const TestSignal& b) {
  if (a.shape != b.shape || a.frequencyHz != b.frequencyHz || a.amplitudeV != b.amplitudeV ||
      a.offsetV != b.offsetV || a.duty != b.duty || a.phase != b.phase || a.noiseV != b.noiseV ||
      a.pulses != b.pulses || a.gapS != b.gapS || a.lines != b.lines || a.bus != b.bus || a.busLine != b.busLine)
    return false;
  for (int i = 0; i < kTrainPulses; ++i)
    if (a.widths[i] != b.widths[i] || a.heights[i] != b.heights[i]) return false;
  return true;
}

double SignalNoise(const TestSignal& s, uint64_t noiseKey) {
  return s.noiseV > 0.0 ? s.noiseV * Uniform(~noiseKey) : 0.0;
}

// Between two phases the extremes lie at the ends or at the shape's turning
// points and edges inside (the value just after an edge).
void SignalExtremes(const TestSignal& s, double from, double to, double* lo, double* hi) {
  if (to - from >= 1.0 && s.shape != SignalShape::kNoise && s.shape != SignalShape::kBus) {
    *lo = SignalMin(s);
    *hi = SignalMax(s);
    return;
  }
  double a = SignalVolts(s, from, 0), b = SignalVolts(s, to, 0);
  *lo = std::min(a, b);
  *hi = std::max(a, b);
  if (s.shape == SignalShape::kBus) {
    if (s.bus && s.bus->ChangesWithin(s.busLine, from / s.frequencyHz, to / s.frequencyHz)) {
      *lo = s.offsetV - s.amplitudeV;
      *hi = s.offsetV + s.amplitudeV;
    }
    return;
  }
  if (s.shape == SignalShape::kTrain) {  // an edge inside gives both levels of its pulse
    double rise[kTrainPulses], fall[kTrainPulses];
    const int n = TrainEdges(s, rise, fall);
    for (int i = 0; i < n; ++i)
      for (double e : {rise[i], fall[i]}) {
        const double at = std::ceil(from - e) + e;
        if (at > to) continue;
        *lo = std::min(*lo, s.offsetV - s.amplitudeV);
        *hi = std::max(*hi, s.offsetV - s.amplitudeV + 2.0 * s.amplitudeV * TrainHeight(s, i));
      }
    return;
  }
  if (s.shape == SignalShape::kVideo) {  // the values just before each change inside
    const int lines = VideoLines(s);
    const double first = std::floor((from + s.phase) * lines), last = (to + s.phase) * lines;
    if (last - first > lines) {  // a whole frame: every value
      *lo = SignalMin(s), *hi = SignalMax(s);
      return;
    }
    for (double l = first; l <= last; l += 1.0)
      for (double q : {kVideoSyncEnd, kVideoRampStart, kVideoRampEnd, kVideoBroadEnd, 1.0}) {
        const double at = (l + q) / lines - s.phase - 1e-12;
        if (at <= from || at >= to) continue;
        const double v = SignalVolts(s, at, 0);
        *lo = std::min(*lo, v);
        *hi = std::max(*hi, v);
      }
    return;
  }
  double turns[2] = {0.0, 0.5};
  switch (s.shape) {
    case SignalShape::kSine: turns[0] = 0.25, turns[1] = 0.75; break;
    case SignalShape::kPulse: turns[1] = Duty(s); break;
    case SignalShape::kNoise:
      *lo = s.offsetV - s.amplitudeV;
      *hi = s.offsetV + s.amplitudeV;
      return;
    default: break;
  }
  for (double t : turns) {
    const double at = std::ceil(from - t) + t;  // the first turn at or after `from`
    if (at > to) continue;
    const double v = SignalVolts(s, at, 0);
    *lo = std::min(*lo, v);
    *hi = std::max(*hi, v);
  }
}

double SignalMean(const TestSignal& s) {
  if (s.shape == SignalShape::kPulse) return s.offsetV + s.amplitudeV * (2.0 * Duty(s) - 1.0);
  if (s.shape == SignalShape::kTrain) return s.offsetV + s.amplitudeV * (2.0 * TrainDuty(s) - 1.0);
  if (s.shape == SignalShape::kVideo) return s.offsetV + s.amplitudeV * VideoMean(s);
  return s.offsetV;
}

double SignalMin(const TestSignal& s) {
  return s.shape == SignalShape::kDc ? s.offsetV : s.offsetV - s.amplitudeV;
}
double SignalMax(const TestSignal& s) {
  return s.shape == SignalShape::kDc ? s.offsetV : s.offsetV + s.amplitudeV;
}

}  // namespace plat

namespace plat {

bool SimBusSignals(const std::string& rest, TestSignal* signals, std::string* error) {
  SimBusSetup setup;
  if (!SimParseBusLine(rest, &setup, error)) return false;
  auto wave = std::make_shared<const SimBusWave>(setup);
  if (wave->Duration() > setup.interval) {
    *error = "the traffic lasts longer than its interval";
    return false;
  }
  for (int line = 0; line < wave->Lines(); ++line) {
    TestSignal s;
    s.shape = SignalShape::kBus;
    s.frequencyHz = 1.0 / setup.interval;
    s.amplitudeV = s.offsetV = setup.level / 2;
    s.bus = wave;
    s.busLine = line;
    signals[line == 0 ? setup.firstInput : kSignalCh2] = s;
  }
  return true;
}

}  // namespace plat
