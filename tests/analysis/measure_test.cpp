// The measurement engine on the simulated board, as a scope engineer checks a
// new instrument: known signals on CH1 and CH2, every parameter compared with
// the value worked out from the applied signal itself (sampled finely from
// the acquisition the simulated FPGA made), within the engine's resolution of
// one screen point in time and one code in volts.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <thread>
#include <vector>

#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "analysis/measure/measure.h"
#include "core/board/control.h"
#include "core/state/sys_run_info.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"

namespace {
using plat::SignalShape;
using plat::TestSignal;

constexpr int kTb200us = 19, kTb500us = 20;
constexpr int kV500mV = 11, kV1V = 12;
constexpr int kColumns = 700;
constexpr int kFine = 20;  // samples of the signal per screen point for the expectations

TestSignal Sig(SignalShape shape, double freq, double amp, double offset = 0, double duty = 0.5) {
  TestSignal s;
  s.shape = shape;
  s.frequencyHz = freq;
  s.amplitudeV = amp;
  s.offsetV = offset;
  s.duty = duty;
  return s;
}

// The applied signal of one channel over the screen window of the last
// acquisition, and what a careful engineer derives from it.
struct Applied {
  std::vector<double> v;  // kFine samples per screen point
  double point = 0;       // seconds per screen point
  double vpc = 0;         // volts per code

  double At(int i) const { return v[size_t(i)]; }
  double Max() const { return *std::max_element(v.begin(), v.end()); }
  double Min() const { return *std::min_element(v.begin(), v.end()); }
  double Mean(int from = 0, int to = -1) const {
    if (to < 0) to = int(v.size());
    double s = 0;
    for (int i = from; i < to; ++i) s += v[size_t(i)];
    return s / (to - from);
  }
  double Rms(double centre, int from = 0, int to = -1) const {
    if (to < 0) to = int(v.size());
    double s = 0;
    for (int i = from; i < to; ++i) s += (v[size_t(i)] - centre) * (v[size_t(i)] - centre);
    return std::sqrt(s / (to - from));
  }
  double Area(int from = 0, int to = -1) const {
    if (to < 0) to = int(v.size());
    double s = 0;
    for (int i = from; i < to; ++i) s += std::fabs(v[size_t(i)]);
    return s * point / kFine;
  }
  // Fine indices where the signal crosses `level` upward (or downward).
  std::vector<int> Crossings(double level, bool up) const {
    std::vector<int> at;
    for (size_t i = 1; i < v.size(); ++i)
      if (up ? (v[i - 1] < level && v[i] >= level) : (v[i - 1] > level && v[i] <= level)) at.push_back(int(i));
    return at;
  }
  double Seconds(int fine) const { return fine * point / kFine; }
};

struct Measure_ : ::testing::Test {
  Bench b;

  void SetUp() override {
    ASSERT_EQ(b.Start(), 0);
    b.StopThreads();
    b.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SysRunStatus.SetMemDepth(1);  // 7K: ten samples a screen point
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 3;
    SysRunInfo.activeCh = 0;
    QelControl.SetChPriority(&SysRunInfo);
    Settings(kTb200us, kV500mV, kV500mV);
  }

  void Settings(int timeBase, int vdiv1, int vdiv2) {
    TimeBase.SetRealTimeBase(0, timeBase);
    TimeBase.AdjTimeBase(0, 0);
    const int vdiv[2] = {vdiv1, vdiv2};
    for (int ch = 0; ch < 2; ++ch) {
      Vertical.SetRealYsensitivity(ch, vdiv[ch]);
      Vertical.AdjYsensitivity(ch, 0);
    }
    Vertical.YParaSyncRefresh();
    TimeBase.XParaSyncRefresh(0);
  }

  void Acquire() {
    WaveOp.RequestChData(3);
    ASSERT_TRUE(b.Fpga().AcquireNow());
    b.Pass();
  }

  Applied Signal(int ch) {
    const plat::SimAcquisition a = b.Fpga().LastAcquisition();
    Applied s;
    const double spp = a.SamplesPerColumn();
    s.point = a.set.columnNs * 1e-9;
    s.vpc = a.set.ch[ch].voltsPerDiv / 25;
    for (int x = 0; x < kColumns * kFine; ++x)
      s.v.push_back(a.Volts(ch, double(plat::kRecordCentre) + (double(x) / kFine - 350) * spp));
    return s;
  }

  static float P(int src, int para) {
    float v = NAN;
    return MeasureParaCalcu.GetMeasurePara(src, para, &v) == 0 ? v : NAN;
  }
  static bool Valid(int src, int para) { return MeasureParaCalcu.GetMeasurePARAStatus(src, para) == kMeaValid; }

  // Checks every single-source parameter of `src` against the applied signal.
  // `flatTop`: square or pulse (the top and base are the extremes, edges
  // take one point).
  void CheckAll(int src, const Applied& s, bool flatTop, double highFraction) {
    SCOPED_TRACE(src);
    const double code = s.vpc, pt = s.point;
    const double hi = s.Max(), lo = s.Min();
    EXPECT_NEAR(P(src, kParaMax), hi, code);
    EXPECT_NEAR(P(src, kParaMin), lo, code);
    EXPECT_NEAR(P(src, kParaPkPk), hi - lo, 2 * code);
    EXPECT_NEAR(P(src, kParaHigh), hi, (flatTop ? 1 : 2) * code);
    EXPECT_NEAR(P(src, kParaLow), lo, (flatTop ? 1 : 2) * code);
    EXPECT_NEAR(P(src, kParaAmpl), hi - lo, (flatTop ? 2 : 4) * code);
    EXPECT_NEAR(P(src, kParaMiddle), (hi + lo) / 2, 2 * code);
    // Overshoot and preshoot: a clean signal's top is its maximum, its base
    // its minimum: none (a triangle's flat-less peak may leave its top a code
    // below the maximum).
    const double oneCode = 100 / ((hi - lo) / code);
    EXPECT_NEAR(P(src, kParaOverSht), 0.0, flatTop ? 0.0 : oneCode * 1.05);
    EXPECT_NEAR(P(src, kParaPreSht), 0.0, flatTop ? 0.0 : oneCode * 1.05);

    // Times from the middle crossings of the signal.
    const double mid = (hi + lo) / 2;
    const std::vector<int> up = s.Crossings(mid, true), down = s.Crossings(mid, false);
    ASSERT_GE(up.size(), 2u);
    ASSERT_GE(down.size(), 2u);
    const double period = s.Seconds(up[1] - up[0]);
    EXPECT_NEAR(P(src, kParaPeriod), period, pt);
    EXPECT_NEAR(P(src, kParaFreq), 1 / period, 1 / period * pt / period * 1.01);
    EXPECT_NEAR(P(src, kParaPwidth), period * highFraction, 2 * pt);
    EXPECT_NEAR(P(src, kParaNwidth), period * (1 - highFraction), 2 * pt);
    EXPECT_NEAR(P(src, kParaPduty), 100 * highFraction, 100 * 2 * pt / period);
    EXPECT_NEAR(P(src, kParaNduty), 100 * (1 - highFraction), 100 * 2 * pt / period);
    EXPECT_NEAR(P(src, kParaPulse), float(up.size()), 1);

    // Rise and fall between the 13 % and 86 % levels.
    if (flatTop) {
      EXPECT_NEAR(P(src, kParaRise), pt, 1e-12);
      EXPECT_NEAR(P(src, kParaFall), pt, 1e-12);
    } else {
      const double l13 = lo + 0.13 * (hi - lo), l86 = lo + 0.86 * (hi - lo);
      // The first crossing of the second level after one of the first; the
      // levels are whole codes of a top and base one code from the
      // extremes, so each may lie two codes off: the time the signal takes
      // for two codes there counts as well.
      auto codeTime = [&](int i) { return code / (std::fabs(s.At(i + 1) - s.At(i - 1)) / 2 * kFine / pt); };
      auto after = [&](double from, double to, bool up, double* tol) {
        const int a = s.Crossings(from, up)[0];
        for (int i : s.Crossings(to, up))
          if (i > a) {
            *tol = 2 * pt + 2 * (codeTime(a) + codeTime(i));
            return s.Seconds(i - a);
          }
        return -1.0;
      };
      double riseTol = 0, fallTol = 0;
      const double rise = after(l13, l86, true, &riseTol), fall = after(l86, l13, false, &fallTol);
      EXPECT_NEAR(P(src, kParaRise), rise, riseTol);
      EXPECT_NEAR(P(src, kParaFall), fall, fallTol);
    }

    // Averages. A screen point holds its column's highest sample, which
    // lifts the screen averages by up to the signal's change over a point.
    const double lift = flatTop ? 2 * (hi - lo) / kColumns : (hi - lo) * M_PI / (period / pt) + code;
    EXPECT_NEAR(P(src, kParaMean), s.Mean(), lift + code);
    EXPECT_NEAR(P(src, kParaRms), s.Rms(0), code);
    EXPECT_NEAR(P(src, kParaAcRms), s.Rms(s.Mean()), lift + code);  // about the mean
    const int one = up[1] - up[0];
    EXPECT_NEAR(P(src, kParaCycMean), s.Mean(up[0], up[1]), lift + code);
    EXPECT_NEAR(P(src, kParaCycRms), s.Rms(0, up[0], up[1]), lift + code);
    EXPECT_NEAR(P(src, kParaArea), s.Area(), (lift + code) * kColumns * pt);
    EXPECT_NEAR(P(src, kParaCycArea), s.Area(up[0], up[0] + one), (lift + code) * period + std::fabs(hi) * pt);
  }
};

// The worked example: 1 kHz square of +-1 V at 1 V/div and 200 us/div, 4 us
// a point, 250 points a period.
TEST_F(Measure_, WorkedExampleSquareOnCh1) {
  Settings(kTb200us, kV1V, kV1V);
  b.Fpga().SetSignal(0, Sig(SignalShape::kSquare, 1000, 1.0));
  Acquire();
  ASSERT_EQ(MeasureParaCalcu.MeasureBasePara(0), 0);
  EXPECT_FLOAT_EQ(P(0, kParaMax), 1.0f);
  EXPECT_FLOAT_EQ(P(0, kParaMin), -1.0f);
  EXPECT_FLOAT_EQ(P(0, kParaPkPk), 2.0f);
  EXPECT_FLOAT_EQ(P(0, kParaHigh), 1.0f);
  EXPECT_FLOAT_EQ(P(0, kParaLow), -1.0f);
  EXPECT_FLOAT_EQ(P(0, kParaMiddle), 0.0f);
  EXPECT_FLOAT_EQ(P(0, kParaAmpl), 2.0f);
  EXPECT_FLOAT_EQ(P(0, kParaOverSht), 0.0f);
  EXPECT_FLOAT_EQ(P(0, kParaPreSht), 0.0f);
  EXPECT_NEAR(P(0, kParaPeriod), 1e-3, 4e-6);
  EXPECT_NEAR(P(0, kParaFreq), 1e3, 4.1);
  EXPECT_NEAR(P(0, kParaRise), 4e-6, 1e-12);
  EXPECT_NEAR(P(0, kParaFall), 4e-6, 1e-12);
  EXPECT_NEAR(P(0, kParaPwidth), 5e-4, 4.01e-6);
  EXPECT_NEAR(P(0, kParaNwidth), 5e-4, 4.01e-6);
  EXPECT_NEAR(P(0, kParaPduty), 50, 0.401);
  EXPECT_NEAR(P(0, kParaNduty), 50, 0.401);
  EXPECT_FLOAT_EQ(P(0, kParaRms), 1.0f);
  // The screen points are their columns' means: a column an edge crosses
  // holds a value between the levels, so the screen RMS and area may lack
  // up to one point's share per edge.
  const double point = 1.0 / 700, edges = 6;
  EXPECT_NEAR(P(0, kParaCycRms), 1.0, 2 * point);
  EXPECT_NEAR(P(0, kParaAcRms), 1.0, edges * point);
  EXPECT_NEAR(P(0, kParaCycMean), 0.0, 0.01);
  EXPECT_NEAR(P(0, kParaArea), 2.8e-3, edges * 4e-6);
  EXPECT_NEAR(P(0, kParaCycArea), 1.0e-3, 4e-6);
  // Units: volts, seconds, hertz, plain numbers, volt-seconds.
  FloatElement e{};
  ASSERT_EQ(MeasureParaCalcu.GetMeasureParaResult(0, kParaRise, &e), 0);
  EXPECT_EQ(e.unit, kTMicro);
  EXPECT_NEAR(e.mantissa, 4.0, 1e-6);
  ASSERT_EQ(MeasureParaCalcu.GetMeasureParaResult(0, kParaFreq, &e), 0);
  EXPECT_EQ(e.unit, kFKilo);
  ASSERT_EQ(MeasureParaCalcu.GetMeasureParaResult(0, kParaPduty, &e), 0);
  EXPECT_EQ(e.unit, kMeaUnitNumber);
  ASSERT_EQ(MeasureParaCalcu.GetMeasureParaResult(0, kParaArea, &e), 0);
  EXPECT_EQ(e.unit, kVMilli | 0x500);
  EXPECT_NEAR(e.mantissa, P(0, kParaArea) * 1e3, 1e-4);
}

TEST_F(Measure_, SineOnCh1SquareOnCh2) {
  b.Fpga().SetSignal(0, Sig(SignalShape::kSine, 1000, 1.0));
  b.Fpga().SetSignal(1, Sig(SignalShape::kSquare, 2000, 0.8, 0.2));
  Acquire();
  ASSERT_EQ(MeasureParaCalcu.MeasureBasePara(0), 0);
  ASSERT_EQ(MeasureParaCalcu.MeasureBasePara(1), 0);
  CheckAll(0, Signal(0), false, 0.5);
  CheckAll(1, Signal(1), true, 0.5);
}

TEST_F(Measure_, TriangleOnCh1PulseOnCh2) {
  Settings(kTb500us, kV1V, kV500mV);
  b.Fpga().SetSignal(0, Sig(SignalShape::kTriangle, 500, 1.5, 0.5));
  b.Fpga().SetSignal(1, Sig(SignalShape::kPulse, 1000, 1.0, 0.5, 0.3));
  Acquire();
  ASSERT_EQ(MeasureParaCalcu.MeasureBasePara(0), 0);
  ASSERT_EQ(MeasureParaCalcu.MeasureBasePara(1), 0);
  CheckAll(0, Signal(0), false, 0.5);
  CheckAll(1, Signal(1), true, 0.3);
}

// Delays and phase of CH2 against CH1: a triangle reaches its middle a
// quarter period after the sine of the same frequency.
TEST_F(Measure_, TwoSourceDelaysAndPhase) {
  b.Fpga().SetSignal(0, Sig(SignalShape::kSine, 1000, 1.0));
  b.Fpga().SetSignal(1, Sig(SignalShape::kTriangle, 1000, 1.0));
  Acquire();
  MeasureParaCalcu.MeasureBasePara(0);
  MeasureParaCalcu.MeasureBasePara(1);
  ASSERT_EQ(MeasureParaCalcu.MeasureDoubChPara(0, 1), 0);
  const Applied m = Signal(0), v = Signal(1);
  const double pt = m.point;
  // The middle crossing of the first whole edge in the window (from screen
  // point 2 on, coming from beyond the 13 % or 86 % level), and the last one.
  auto first = [](const Applied& s, bool up) {
    const double armed = up ? s.Min() + 0.13 * (s.Max() - s.Min()) : s.Min() + 0.86 * (s.Max() - s.Min());
    for (int j = 2 * kFine; j < int(s.v.size()); ++j)
      if (up ? s.At(j) < armed : s.At(j) > armed) {
        for (int i : s.Crossings(0.0, up))
          if (i > j) return s.Seconds(i);
        break;
      }
    return -1.0;
  };
  auto last = [](const Applied& s, bool up) { return s.Seconds(s.Crossings(0.0, up).back()); };
  const double mr = first(m, true), mf = first(m, false), vr = first(v, true), vf = first(v, false);
  EXPECT_NEAR(P(0, kParaRiseDelay), vr - mr, 2 * pt);
  EXPECT_NEAR(P(0, kParaFallDelay), vf - mf, 2 * pt);
  EXPECT_NEAR(P(0, kParaFRFR), std::fabs(mr - vr), 2 * pt);
  EXPECT_NEAR(P(0, kParaFRFF), std::fabs(mr - vf), 2 * pt);
  EXPECT_NEAR(P(0, kParaFFFR), std::fabs(mf - vr), 2 * pt);
  EXPECT_NEAR(P(0, kParaFFFF), std::fabs(mf - vf), 2 * pt);
  EXPECT_NEAR(P(0, kParaFRLF), std::fabs(mr - last(v, false)), 2 * pt);
  EXPECT_NEAR(P(0, kParaFRLR), std::fabs(mr - last(v, true)), 2 * pt);
  EXPECT_NEAR(P(0, kParaFFLR), std::fabs(mf - last(v, true)), 2 * pt);
  EXPECT_NEAR(P(0, kParaFFLF), std::fabs(mf - last(v, false)), 2 * pt);
  EXPECT_NEAR(P(0, kParaPhase), 90.0, 2 * 360.0 * pt / 1e-3);
  // The slave's row is untouched.
  EXPECT_FALSE(Valid(1, kParaPhase));
}

TEST_F(Measure_, ClippedFlatAndNearFlatRecordsAreInvalid) {
  // 3 V peaks at 500 mV/div run off both ends of the ADC's range.
  b.Fpga().SetSignal(0, Sig(SignalShape::kSine, 1000, 3.0));
  // A flat line, and a sine of 2 codes each way.
  b.Fpga().SetSignal(1, Sig(SignalShape::kDc, 1000, 0, 0.3));
  Acquire();
  MeasureParaCalcu.MeasureBasePara(0);
  for (int p : {kParaMax, kParaMin, kParaPkPk, kParaHigh, kParaLow, kParaMiddle, kParaAmpl, kParaOverSht,
                kParaPreSht})
    EXPECT_FALSE(Valid(0, p)) << p;
  EXPECT_TRUE(Valid(0, kParaRms));

  MeasureParaCalcu.MeasureBasePara(1);
  EXPECT_NEAR(P(1, kParaMean), 0.3, 0.02);
  EXPECT_NEAR(P(1, kParaMax), 0.3, 0.02);
  for (int p : {kParaPeriod, kParaFreq, kParaRise, kParaFall, kParaPwidth, kParaNwidth, kParaPduty, kParaNduty,
                kParaCycMean, kParaCycRms, kParaCycArea, kParaPulse, kParaOverSht, kParaPreSht})
    EXPECT_FALSE(Valid(1, p)) << p;

  b.Fpga().SetSignal(1, Sig(SignalShape::kSine, 1000, 0.04));
  Acquire();
  MeasureParaCalcu.MeasureBasePara(1);
  EXPECT_TRUE(Valid(1, kParaAmpl));
  EXPECT_FALSE(Valid(1, kParaOverSht));  // top - base under 6 codes
  EXPECT_FALSE(Valid(1, kParaPeriod));   // no reference levels, CH2 does not trigger

  // Out of range requests change nothing and say so.
  float v = 0;
  EXPECT_EQ(MeasureParaCalcu.GetMeasurePara(6, 0, &v), -1);
  EXPECT_EQ(MeasureParaCalcu.GetMeasurePara(0, 36, &v), -1);
  EXPECT_EQ(MeasureParaCalcu.ClearMeaParaResult(6), -1);
  EXPECT_EQ(MeasureParaCalcu.UserDefParaClear(5), -1);
}

// Noisy records: RMS, AC RMS and area are those of the samples, noise
// included (each column's means alone would smooth it away), over the same
// screen points and periods the engine measured.
TEST_F(Measure_, NoisyRecordsMeasureTheirSamples) {
  TestSignal square = Sig(SignalShape::kSquare, 1000, 1.0), flat = Sig(SignalShape::kDc, 1000, 0);
  square.noiseV = flat.noiseV = 0.3;  // uniform: an RMS of 0.17 V
  b.Fpga().SetSignal(0, square);
  b.Fpga().SetSignal(1, flat);
  Acquire();
  const Applied a = Signal(0), c = Signal(1);
  ASSERT_EQ(MeasureParaCalcu.MeasureBasePara(1), 0);
  EXPECT_NEAR(P(1, kParaAcRms), c.Rms(c.Mean()), 0.02 * c.Rms(c.Mean()));
  EXPECT_NEAR(P(1, kParaRms), c.Rms(0), 0.02 * c.Rms(0));
  EXPECT_NEAR(P(1, kParaArea), c.Area(), 0.02 * c.Area());

  ASSERT_EQ(MeasureParaCalcu.MeasureBasePara(0), 0);
  const EdgePointList e = MeasureParaCalcu.GetRiseFallPoints(0);
  ASSERT_GE(e.rising, 2);
  const int from = e.risePoint[0] * kFine, to = e.risePoint[1] * kFine;
  ASSERT_NEAR(to - from, 250 * kFine, 2 * kFine);  // one period
  EXPECT_NEAR(P(0, kParaAcRms), a.Rms(a.Mean()), 0.005 * a.Rms(a.Mean()));
  EXPECT_NEAR(P(0, kParaCycRms), a.Rms(0, from, to), 0.005 * a.Rms(0, from, to));
  EXPECT_NEAR(P(0, kParaArea), a.Area(), 0.005 * a.Area());
  EXPECT_NEAR(P(0, kParaCycArea), a.Area(from, to), 0.005 * a.Area(from, to));
}

// A flat line on the trigger source takes its frequency from the counter.
TEST_F(Measure_, FlatTriggerSourceFallsBackToTheCounter) {
  b.Fpga().SetSignal(0, Sig(SignalShape::kDc, 1000, 0, 0.3));
  Acquire();
  SysRunInfo.cymometerValue[0] = 1234.5;
  MeasureParaCalcu.MeasureBasePara(0);
  EXPECT_FLOAT_EQ(P(0, kParaFreq), 1234.5f);
  EXPECT_NEAR(P(0, kParaPeriod), 1 / 1234.5, 1e-9);
  SysRunInfo.cymometerValue[0] = 0;
  MeasureParaCalcu.MeasureBasePara(0);
  EXPECT_FALSE(Valid(0, kParaFreq));
}

// The user slots over 20 acquisitions of a noisy signal: the statistics are
// those of the values measured, the first sample after a clear sets them all.
TEST_F(Measure_, StatisticsOverNoisyAcquisitions) {
  b.Fpga().SetSignal(0, Sig(SignalShape::kNoise, 1000, 0.5));
  b.Fpga().SetSignal(1, Sig(SignalShape::kSine, 1000, 1.0));
  _measure::UserSelection sel{};
  std::fill(sel.para, sel.para + kMeaUserSlots, int16_t(-1));
  sel.para[0] = kParaRms;
  sel.source[0] = 0;
  sel.para[1] = kParaFreq;
  sel.source[1] = 1;
  sel.channelsOn = 3;
  MeasureParaCalcu.UserDefParaClear(0);
  MeasureParaCalcu.UserDefParaClear(1);
  std::vector<double> means, freqs;  // the RMS values, the frequencies
  for (int n = 0; n < 20; ++n) {
    Acquire();
    MeasureParaCalcu.MeasureBasePara(0);
    MeasureParaCalcu.MeasureBasePara(1);
    MeasureParaCalcu.UserDefParaMeasure(sel);
    MeasureParaCalcu.UserDefStatisticParaCalcu(sel);
    means.push_back(MeasureParaCalcu.GetMeasureResultUserDef(0).current);
    freqs.push_back(MeasureParaCalcu.GetMeasureResultUserDef(1).current);
    if (n == 0) {
      const UserDefResult f = MeasureParaCalcu.GetMeasureResultUserDef(1);
      EXPECT_EQ(f.count, 1);
      EXPECT_EQ(f.minimum, f.current);
      EXPECT_EQ(f.maximum, f.current);
      EXPECT_EQ(f.average, f.current);
    }
  }
  const UserDefResult u = MeasureParaCalcu.GetMeasureResultUserDef(0);
  EXPECT_EQ(u.count, 20);
  double sum = 0;
  for (double m : means) sum += m;
  const double avg = sum / 20;
  double sq = 0;
  for (double m : means) sq += (m - avg) * (m - avg);
  EXPECT_NEAR(u.average, avg, 1e-5);
  EXPECT_FLOAT_EQ(u.minimum, float(*std::min_element(means.begin(), means.end())));
  EXPECT_FLOAT_EQ(u.maximum, float(*std::max_element(means.begin(), means.end())));
  EXPECT_NEAR(u.deviation, std::sqrt(sq / 20), 2e-4);
  EXPECT_NEAR(u.average, 0.5 / std::sqrt(3.0), 0.01);  // uniform noise of 0.5 V peak
  EXPECT_GT(u.maximum, u.minimum);     // the noise differs between acquisitions
  const UserDefResult f = MeasureParaCalcu.GetMeasureResultUserDef(1);
  EXPECT_EQ(f.count, 20);
  EXPECT_NEAR(f.average, 1000, 20);
  EXPECT_EQ(f.element[0].unit, kFKilo);

  // A reset restarts the count; the next sample sets minimum and maximum.
  MeasureParaCalcu.UserDefStatisticParaReset();
  EXPECT_EQ(MeasureParaCalcu.GetMeasureResultUserDef(0).count, 0);
  MeasureParaCalcu.UserDefParaMeasure(sel);
  MeasureParaCalcu.UserDefStatisticParaCalcu(sel);
  const UserDefResult r = MeasureParaCalcu.GetMeasureResultUserDef(0);
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(r.minimum, r.current);
  EXPECT_EQ(r.maximum, r.current);
}

// A two-source slot whose sources differ from the menu's is measured afresh
// into the slot; a slot with an empty source channel is invalid.
TEST_F(Measure_, TwoSourceUserSlot) {
  b.Fpga().SetSignal(0, Sig(SignalShape::kSine, 1000, 1.0));
  b.Fpga().SetSignal(1, Sig(SignalShape::kTriangle, 1000, 1.0));
  Acquire();
  MeasureParaCalcu.MeasureBasePara(0);
  MeasureParaCalcu.MeasureBasePara(1);
  _measure::UserSelection sel{};
  std::fill(sel.para, sel.para + kMeaUserSlots, int16_t(-1));
  sel.para[2] = kParaPhase;
  sel.source[2] = 0 | 1 << 8;
  sel.channelsOn = 3;
  MeasureParaCalcu.UserDefParaMeasure(sel);
  UserDefResult u = MeasureParaCalcu.GetMeasureResultUserDef(2);
  EXPECT_EQ(u.status, kMeaValid);
  EXPECT_NEAR(u.current, 90, 3);
  EXPECT_EQ(u.element[0].unit, kMeaUnitDegree);
  EXPECT_FALSE(Valid(0, kParaPhase));  // the row is not written
  sel.channelsOn = 1;
  MeasureParaCalcu.UserDefParaMeasure(sel);
  EXPECT_EQ(MeasureParaCalcu.GetMeasureResultUserDef(2).status, kMeaInvalid);
  EXPECT_EQ(MeasureParaCalcu.GetMeasureResultUserDef(0).status, kMeaInvalid);  // empty slot
}

// The voltmeter from the simulated FPGA's accumulators: DC, DC RMS and AC
// RMS of the channel control word 74 selects.
TEST_F(Measure_, VoltmeterFromTheAccumulators) {
  Settings(kTb200us, kV1V, kV500mV);
  b.Fpga().SetSignal(0, Sig(SignalShape::kSquare, 1000, 1.0));
  b.Fpga().SetSignal(1, Sig(SignalShape::kPulse, 1000, 0.5, 0.5, 0.25));
  Acquire();
  MeasureParaCalcu.SetDVM(true, 0);
  QelControl.SendRealControl(74, 0);
  MeasureParaCalcu.MeasureBasePara(0);
  const Applied a = Signal(0);
  EXPECT_NEAR(MeasureParaCalcu.GetDVMValue(0, 0), a.Mean(), a.vpc);
  EXPECT_NEAR(MeasureParaCalcu.GetDVMValue(0, 1), a.Rms(0), a.vpc);  // 1.0, not 0.097
  EXPECT_NEAR(MeasureParaCalcu.GetDVMValue(0, 2), a.Rms(a.Mean()), a.vpc);
  FloatElement e{};
  ASSERT_EQ(MeasureParaCalcu.GetDVMResult(0, 1, &e), 0);
  EXPECT_EQ(e.unit, kVUnit);
  EXPECT_EQ(MeasureParaCalcu.GetDVMResult(0, 3, &e), -1);

  MeasureParaCalcu.SetDVM(true, 1);
  QelControl.SendRealControl(74, 1);
  MeasureParaCalcu.MeasureBasePara(1);
  const Applied c = Signal(1);  // 0 V for 3/4 of the period, 1 V for 1/4
  EXPECT_NEAR(MeasureParaCalcu.GetDVMValue(1, 0), 0.25, c.vpc);
  EXPECT_NEAR(MeasureParaCalcu.GetDVMValue(1, 1), c.Rms(0), c.vpc);
  EXPECT_NEAR(MeasureParaCalcu.GetDVMValue(1, 2), c.Rms(c.Mean()), c.vpc);

  MeasureParaCalcu.SetDVM(false, 1);
  MeasureParaCalcu.MeasureBasePara(1);
  EXPECT_EQ(MeasureParaCalcu.GetDVMValue(1, 1), 0.0);
}

// The vernier: codes are acquired at the vernier's scale, and every voltage
// follows it.
TEST_F(Measure_, VernierScalesEveryVoltage) {
  Settings(kTb200us, kV1V, kV1V);
  Vertical.SetFineOnOff(0, 1);
  for (int i = 0; i < 40; ++i) Vertical.AdjYsensitivityFine(0, -1);  // toward 0.6 V/div
  Vertical.FineGain(0);
  Vertical.YParaSyncRefresh();
  b.Fpga().SetSignal(0, Sig(SignalShape::kSquare, 1000, 1.0));
  Acquire();
  MeasureParaCalcu.MeasureBasePara(0);
  const Applied a = Signal(0);
  ASSERT_LT(a.vpc, 0.039);  // the hardware is at the finer scale
  EXPECT_NEAR(P(0, kParaMax), 1.0, a.vpc);
  EXPECT_NEAR(P(0, kParaRms), 1.0, a.vpc);
  EXPECT_NEAR(P(0, kParaAmpl), 2.0, 2 * a.vpc);
  EXPECT_NEAR(P(0, kParaPeriod), 1e-3, 4e-6);
  EXPECT_NEAR(P(0, kParaPduty), 50, 0.401);
}

// A query's pass on another thread never lands in a user slot that the
// module's pass is filling: each pass holds the engine's lock.
TEST_F(Measure_, PassesOnTwoThreadsKeepTheirResults) {
  b.Fpga().SetSignal(0, Sig(SignalShape::kSine, 1000, 1.0));
  b.Fpga().SetSignal(1, Sig(SignalShape::kTriangle, 1000, 1.0));
  Acquire();
  MeasureParaCalcu.MeasureBasePara(0);
  MeasureParaCalcu.MeasureBasePara(1);
  _measure::UserSelection sel{};
  std::fill(sel.para, sel.para + kMeaUserSlots, int16_t(-1));
  sel.para[0] = kParaPhase;
  sel.source[0] = 0 | 1 << 8;
  sel.channelsOn = 3;
  std::atomic<bool> done{false};
  std::thread query([&] {
    while (!done) {
      std::lock_guard<std::recursive_mutex> lock(MeasureParaCalcu.Lock());
      MeasureParaCalcu.MeasureBasePara(1);
    }
  });
  int bad = 0;
  for (int i = 0; i < 300; ++i) {
    std::lock_guard<std::recursive_mutex> lock(MeasureParaCalcu.Lock());
    MeasureParaCalcu.UserDefParaMeasure(sel);
    const UserDefResult u = MeasureParaCalcu.GetMeasureResultUserDef(0);
    bad += u.status != kMeaValid || std::fabs(std::fmod(u.current + 720, 360) - 90) > 3;
  }
  done = true;
  query.join();
  EXPECT_EQ(bad, 0);
  EXPECT_TRUE(Valid(1, kParaMax));
}

// MATH is measured from its 700-point trace, both as record and as screen
// points, at its own volts per division and without a probe.
TEST_F(Measure_, MathTraceServesBothRecords) {
  uint8_t trace[1400];
  for (int x = 0; x < 700; ++x) {
    const uint8_t c = (x % 100) < 30 ? 177 : 102;  // 30 % high, 100 points a period
    trace[x] = trace[700 + x] = c;
  }
  ASSERT_EQ(WaveOp.ScreenMathWaveInport(kMeaMath, trace), 1400);
  Vertical.SetRealYsensitivity(kMeaMath, kV1V);
  Vertical.SetRealYposition(kMeaMath, 127);
  ASSERT_EQ(MeasureParaCalcu.MeasureBasePara(kMeaMath), 0);
  EXPECT_FLOAT_EQ(P(kMeaMath, kParaMax), 2.0f);
  EXPECT_FLOAT_EQ(P(kMeaMath, kParaMin), -1.0f);
  EXPECT_FLOAT_EQ(P(kMeaMath, kParaAmpl), 3.0f);
  const double pt = 200e-6 / 50;
  EXPECT_NEAR(P(kMeaMath, kParaPeriod), 100 * pt, 1e-9);
  EXPECT_NEAR(P(kMeaMath, kParaPduty), 30, 1e-3);
  EXPECT_EQ(P(kMeaMath, kParaPulse), 6.0f);  // rising edges at points 100 to 600
  EXPECT_NEAR(P(kMeaMath, kParaRms), std::sqrt(0.3 * 4 + 0.7 * 1), 1e-5);
}

}  // namespace

// A 1 kHz sine of 1 V with uniform noise of 0.2 V peak, 100 points a
// period: over 60 records the mean rise and fall are those of the clean
// sine between its own 13 % and 86 % levels, and the mean top and base are
// its peaks. One record's edges are off by the noise; the mean is not.
TEST_F(Measure_, NoisySineKeepsItsEdgesOnAverage) {
  Settings(kTb500us, kV500mV, kV500mV);
  TestSignal sine = Sig(SignalShape::kSine, 1000, 1.0);
  sine.noiseV = 0.2;
  b.Fpga().SetSignal(0, sine);
  const double transit = (std::asin(-1 + 0.86 * 2) - std::asin(-1 + 0.13 * 2)) / (2 * M_PI) * 1e-3;
  const int records = 60;
  double rise = 0, fall = 0, top = 0, base = 0;
  for (int k = 0; k < records; ++k) {
    Acquire();
    ASSERT_EQ(MeasureParaCalcu.MeasureBasePara(0), 0);
    rise += P(0, kParaRise) / records;
    fall += P(0, kParaFall) / records;
    top += P(0, kParaHigh) / records;
    base += P(0, kParaLow) / records;
  }
  const double code = 0.5 / 25;
  EXPECT_NEAR(top, 1.0, code);
  EXPECT_NEAR(base, -1.0, code);
  // Within 5 %: a clean record's whole points and level codes read it up to
  // 2 % short already.
  EXPECT_NEAR(rise, transit, 0.05 * transit);
  EXPECT_NEAR(fall, transit, 0.05 * transit);
  EXPECT_NEAR((rise + fall) / 2, transit, 0.045 * transit);
}
