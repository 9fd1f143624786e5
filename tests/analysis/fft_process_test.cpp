// The FFT processing against independent computations: the windows against
// their formulas, the spectrum against a direct DFT of the same windowed
// record, a sine's amplitude by the window's coherent gain, an offset's value
// in the DC bin, a square wave's
// odd harmonics at -9.5 dB and -14 dB, the detectors over a bin range, and
// the request record's one-step completion.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "analysis/fft/fft_process.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr int kN = 8192;

// A record of `amp` codes around 127 at `cycles` periods per record.
std::vector<uint8_t> Sine(double cycles, double amp) {
  std::vector<uint8_t> s(kN);
  for (int i = 0; i < kN; ++i) s[i] = uint8_t(std::lround(127 + amp * std::sin(2 * kPi * cycles * i / kN)));
  return s;
}

std::vector<float> Spectrum(const std::vector<uint8_t>& s, int window) {
  std::vector<float> w(kN), out(kN / 2);
  EXPECT_EQ(FftWinCalculation(window, kN, w.data()), 0);
  EXPECT_EQ(FftSpectrum(s.data(), 127, w.data(), kN, out.data()), 0);
  return out;
}

double Db(double ratio) { return 20 * std::log10(ratio); }

TEST(FftProcess, WindowsFollowTheirFormulas) {
  std::vector<float> w(9);
  ASSERT_EQ(FftWinCalculation(kFftHamming, 9, w.data()), 0);
  EXPECT_NEAR(w[0], 0.08, 1e-6);
  EXPECT_NEAR(w[4], 1.0, 1e-6);
  ASSERT_EQ(FftWinCalculation(kFftBlackman, 9, w.data()), 0);
  EXPECT_NEAR(w[0], 0.0, 1e-6);
  EXPECT_NEAR(w[2], 0.42 - 0.5 * std::cos(kPi / 2) + 0.08 * std::cos(kPi), 1e-6);
  ASSERT_EQ(FftWinCalculation(kFftHann, 9, w.data()), 0);
  EXPECT_NEAR(w[2], 0.5, 1e-6);
  ASSERT_EQ(FftWinCalculation(kFftRectangular, 9, w.data()), 0);
  EXPECT_EQ(w[3], 1.0f);
  // Above the largest record the window is left as it was.
  w[0] = 42;
  EXPECT_EQ(FftWinCalculation(kFftHann, kFftMaxPoints + 1, w.data()), -1);
  EXPECT_EQ(FftWinCalculation(kFftHann, 0, w.data()), -1);
  EXPECT_EQ(w[0], 42);
}

// Bins 0..40 and a few more against a direct DFT of the same input.
TEST(FftProcess, SpectrumMatchesADirectDft) {
  const std::vector<uint8_t> s = Sine(20.3, 40);
  std::vector<float> w(kN);
  FftWinCalculation(kFftHann, kN, w.data());
  const std::vector<float> got = Spectrum(s, kFftHann);
  std::vector<double> x(kN);
  for (int i = 0; i < kN; ++i) x[i] = (s[i] - 127) / 256.0 * w[i] * 2.7;
  for (int k : {0, 1, 5, 19, 20, 21, 22, 40, 1000, kN / 2 - 1}) {
    std::complex<double> sum = 0;
    for (int i = 0; i < kN; ++i) sum += x[i] * std::polar(1.0, -2 * kPi * double(k) * i / kN);
    const double dc = k == 0 ? std::sqrt(2.0) : 1.0;  // the DC bin over sqrt 2
    EXPECT_NEAR(got[k], 256 * std::abs(sum) / kN / dc, 1e-3 + 1e-4 * got[k]) << k;
  }
}

// A sine of A codes on a bin centre has the magnitude 1.35 CG A (2.7 / 2 times the
// window's coherent gain): within 0.5 dB for every window.
TEST(FftProcess, SineAmplitudeByTheWindowsGain) {
  const double gain[] = {0.54, 0.42, 1.0, 0.5};
  for (int win = 0; win < 4; ++win) {
    const std::vector<float> m = Spectrum(Sine(64, 50), win);
    EXPECT_NEAR(Db(m[64] / (1.35 * gain[win] * 50)), 0, 0.5) << win;
    EXPECT_EQ(std::max_element(m.begin() + 1, m.end()) - m.begin(), 64) << win;
  }
}

// The scale takes the window's gain out: a sine of A volts reads A / sqrt 2
// volts rms, and 20 log10 of that in dB, for every window (the mean of the
// window, worked out here, against the one the scale is given).
TEST(FftProcess, SineReadsItsRmsWhateverTheWindow) {
  for (int win = 0; win < 4; ++win) {
    std::vector<float> w(kN);
    FftWinCalculation(win, kN, w.data());
    double mean = 0;
    for (float v : w) mean += v;
    mean /= kN;
    EXPECT_NEAR(FftWindowGain(w.data(), kN), std::sqrt(2.0) / (2.7 * mean), 1e-9) << win;
    const std::vector<float> m = Spectrum(Sine(64, 50), win);
    FftScale vrms;
    vrms.p5 = 0, vrms.k = 0.02, vrms.gain = FftWindowGain(w.data(), kN);  // 50 codes of 20 mV: 1 V
    EXPECT_NEAR(vrms.Code(m[64]), 1.0 / std::sqrt(2.0), 0.01) << win;
    FftScale db = vrms;
    db.db = true;
    EXPECT_NEAR(db.Code(m[64]), Db(1.0 / std::sqrt(2.0)), 0.1) << win;
  }
  EXPECT_EQ(FftWindowGain(nullptr, 4), 1.0);
}

// An offset of D volts reads D in the DC bin (its rms value is itself), in
// Vrms and in dB, for every window and depth, while a sine on it still
// reads A / sqrt 2: 40 codes of 20 mV (0.8 V) under a sine of 25 codes.
TEST(FftProcess, OffsetReadsItsValueInTheDcBin) {
  for (const int n : {1024, kN, 65536}) {
    std::vector<uint8_t> s(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) s[size_t(i)] = uint8_t(std::lround(167 + 25 * std::sin(2 * kPi * 64.0 * i / n)));
    for (int win = 0; win < 4; ++win) {
      std::vector<float> w(static_cast<size_t>(n)), m(static_cast<size_t>(n / 2));
      ASSERT_EQ(FftWinCalculation(win, n, w.data()), 0);
      ASSERT_EQ(FftSpectrum(s.data(), 127, w.data(), n, m.data()), 0);
      FftScale vrms;
      vrms.p5 = 0, vrms.k = 0.02, vrms.gain = FftWindowGain(w.data(), n);
      EXPECT_NEAR(vrms.Code(m[0]), 0.8, 2e-3) << n << " " << win;
      EXPECT_NEAR(vrms.Code(m[64]), 0.5 / std::sqrt(2.0), 0.01) << n << " " << win;
      FftScale db = vrms;
      db.db = true;
      EXPECT_NEAR(db.Code(m[0]), Db(0.8), 0.01) << n << " " << win;
    }
  }
}

// A square wave's third and fifth harmonics lie 9.5 dB and 14 dB below its
// fundamental.
TEST(FftProcess, SquareWaveOddHarmonics) {
  std::vector<uint8_t> s(kN);
  for (int i = 0; i < kN; ++i) s[i] = (i * 32 / kN) % 2 ? 87 : 167;
  const std::vector<float> m = Spectrum(s, kFftHann);
  EXPECT_NEAR(Db(m[48] / m[16]), -9.54, 0.5);
  EXPECT_NEAR(Db(m[80] / m[16]), -13.98, 0.5);
  EXPECT_LT(Db(m[32] / m[16]), -40);  // no even harmonic
}

// Detectors over bins S..E into 700 columns; the lower half one column behind.
TEST(FftProcess, DetectorsOverTheShownBins) {
  std::vector<float> bins(4096);
  for (size_t i = 0; i < bins.size(); ++i) bins[i] = float(i % 7);
  float traces[kFftDetectors][kFftTraceValues] = {};
  FftScale vrms;  // code 127 + x
  FftDetect(bins.data(), int(bins.size()), 100, 100 + 2800, kFftColumns, vrms, 0xF, traces);
  // Column c covers 4 + 1 bins from 100 + 4c.
  for (int c : {0, 1, 350, 699}) {
    double hi = 0, lo = 9, sum = 0;
    for (int i = 100 + 4 * c; i <= 104 + 4 * c; ++i) hi = std::max<double>(hi, bins[i]), lo = std::min<double>(lo, bins[i]), sum += bins[i];
    EXPECT_FLOAT_EQ(traces[kFftPosPeak][c], 127 + hi) << c;
    EXPECT_FLOAT_EQ(traces[kFftNegPeak][c], 127 + lo) << c;
    EXPECT_FLOAT_EQ(traces[kFftSample][c], 127 + bins[100 + 4 * c]) << c;
    EXPECT_NEAR(traces[kFftAverage][c], 127 + sum / 5, 1e-4) << c;
  }
  EXPECT_FLOAT_EQ(traces[kFftPosPeak][kFftColumns + 10], traces[kFftPosPeak][11]);
  // Off the area: held at 250 and 5; dB of silence at the bottom.
  std::vector<float> big(1024, 1e6f), zero(1024, 0.0f);
  FftDetect(big.data(), 1024, 0, 1023, kFftColumns, vrms, 1, traces);
  EXPECT_EQ(traces[0][3], 250.0f);
  FftScale db;
  db.db = true;
  FftDetect(zero.data(), 1024, 0, 1023, kFftColumns, db, 1, traces);
  EXPECT_EQ(traces[0][3], 5.0f);
  // Plain dB of the rms volts x k gain, r codes a dB: 1 V rms at p5, 0.1 V
  // 20 dB below.
  EXPECT_DOUBLE_EQ(db.Code(1.0), 127);
  EXPECT_NEAR(db.Code(0.1), 127 - 20, 1e-9);
  db.r = 25.0 / 20, db.gain = 0.5, db.k = 0.2;
  EXPECT_NEAR(db.Code(1.0), 127 + 20 * std::log10(0.1) * 1.25, 1e-9);
}

// A narrow span is stretched: ten bins over 700 columns keep their values at
// the columns where they fall and rise linearly between.
TEST(FftProcess, NarrowSpanIsStretched) {
  std::vector<float> bins(64);
  for (size_t i = 0; i < bins.size(); ++i) bins[i] = float(i);
  float traces[kFftDetectors][kFftTraceValues] = {};
  FftScale vrms;
  FftDetect(bins.data(), 64, 10, 20, kFftColumns, vrms, 1u << kFftSample, traces);
  EXPECT_FLOAT_EQ(traces[kFftSample][0], 127 + 10);
  EXPECT_NEAR(traces[kFftSample][699], 127 + 20, 0.1);
  for (int c = 1; c < kFftColumns; ++c) ASSERT_GE(traces[kFftSample][c], traces[kFftSample][c - 1]) << c;
}

// The worker ends a request in one step: request cleared and done set
// together; a request it can not serve is abandoned (flags 0).
TEST(FftProcess, RequestCompletesInOneStep) {
  FFT_Para p;
  EXPECT_FALSE(FftServeRequest(p));
  p.samples = Sine(64, 50);
  p.window.assign(kN, 1.0f);
  p.points = kN;
  p.flags = kFftRequest;
  EXPECT_TRUE(FftServeRequest(p));
  EXPECT_EQ(p.flags, kFftDone);
  ASSERT_EQ(p.result.size(), size_t(kN / 2));
  EXPECT_NEAR(p.result[64], 1.35 * 50, 1.0);
  p.points = 2 * kN;  // more than the samples hold
  p.flags = kFftRequest | kFftDiscard;
  EXPECT_TRUE(FftServeRequest(p));
  EXPECT_EQ(p.flags, 0u);
}
}  // namespace
