// The math traces on the simulated board, checked against values computed
// here from the applied signals and from the channels' own traces: sum,
// difference, product (its sum and difference frequencies) and quotient of
// sines, the logic of two square waves, the filters' pass and stop bands,
// and an expression; the clamps of division by zero and overflow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "analysis/math/math_calc.h"
#include "analysis/math/task_math.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "tests/bench/bench.h"

namespace {
using plat::SignalShape;
constexpr int kCols = 700;
constexpr double kPi = 3.14159265358979323846;
constexpr double kChannelVoltsPerCode = 0.5 / 25;  // the bench's 500 mV/div
constexpr double kMathVoltsPerCode = 1.0 / 25;     // the math channel's 1 V/div

plat::TestSignal Signal(SignalShape shape, double hz, double amp, double phase = 0, double offset = 0) {
  plat::TestSignal s;
  s.shape = shape;
  s.frequencyHz = hz;
  s.amplitudeV = amp;
  s.phase = phase;
  s.offsetV = offset;
  return s;
}

struct MathCalc : ::testing::Test {
  Bench b;
  void SetUp() override {
    ASSERT_EQ(b.Start(), 0);
    b.StopThreads();
    b.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 3;
    SysRunStatus.SetMenuDisplayTimeS(3);
    b.Key(kKeyMath);
    ASSERT_TRUE(SysRunStatus.GetChStatus() >> 5 & 1);
    // CH1 and CH2 as the two sources (both start at CH1).
    Set(kMathItemSource2, 1);
    Set(kMathItemLogicSrc2, 1);
  }
  void Set(int n, int v) {
    TaskMath.TaskMenu.SetMenuItem(n, uint64_t(v));
  }
  void Type(int type) {
    Set(kMathItemType, type);
    Math_Type(keypara{KEY_NO_KEY, 0, 0});
  }
  void Acquire() {
    WaveOp.RequestChData(3);
    ASSERT_TRUE(b.Fpga().AcquireNow());
    b.Pass();
  }
  static const uint8_t* Trace(int slot) { return WaveOp.GetSerrenMem(slot); }
  // Volts of a channel byte and of a math column's middle.
  static double ChVolts(int code) { return (code - 127) * kChannelVoltsPerCode; }
  static double MathVolts(const uint8_t* t, int x) { return ((t[x] + t[kCols + x]) / 2.0 - 127) * kMathVoltsPerCode; }
  // The math code this test expects of a value: nearest code, clamped.
  static int Code(double v) {
    const double r = std::trunc(v / kMathVoltsPerCode + 0.5) + 127;
    return int(std::clamp(r, 27.0, 227.0));
  }
  // Amplitude of the component that makes `cycles` periods across the screen.
  static double Component(const uint8_t* t, int cycles) {
    std::complex<double> s = 0;
    for (int x = 0; x < kCols; ++x) s += MathVolts(t, x) * std::polar(1.0, -2 * kPi * cycles * x / kCols);
    return 2 * std::abs(s) / kCols;
  }
};

// Every byte against the same arithmetic done here on the channel bytes.
TEST_F(MathCalc, ArithmeticOfTwoSinesByteForByte) {
  b.Fpga().SetSignal(0, Signal(SignalShape::kSine, 1000, 1.0));
  b.Fpga().SetSignal(1, Signal(SignalShape::kSine, 3000, 0.6));
  const char* kUnits[] = {"V", "V", "U", "U"};
  for (int op = 0; op < 4; ++op) {
    SCOPED_TRACE(op);
    Set(kMathItemOperator, op);
    Acquire();
    const uint8_t *a = Trace(0), *c = Trace(1), *m = Trace(5);
    for (int i = 0; i < 2 * kCols; ++i) {
      const int hi = i % kCols;
      if (a[i] == 0 || c[i] == 0) {
        ASSERT_EQ(m[i], 0) << i;
        continue;
      }
      const double x = ChVolts(a[i]), y = ChVolts(c[i]);
      double v = op == 0 ? x + y : op == 1 ? x - y : op == 2 ? x * y : x == y ? 1 : x / (y ? y : x > 0 ? 0.02 : -0.02);
      // The column's two bytes come back sorted.
      const int other = i < kCols ? kCols + hi : hi;
      const double x2 = ChVolts(a[other]), y2 = ChVolts(c[other]);
      double v2 = op == 0 ? x2 + y2 : op == 1 ? x2 - y2 : op == 2 ? x2 * y2 : x2 == y2 ? 1 : x2 / (y2 ? y2 : x2 > 0 ? 0.02 : -0.02);
      const int want = i < kCols ? std::max(Code(v), Code(v2)) : std::min(Code(v), Code(v2));
      ASSERT_EQ(m[i], want) << i;
    }
    char label[51];
    SysRunStatus.GetMathVoltage(label);
    EXPECT_EQ(std::string(label), std::string("1.0") + kUnits[op]);
  }
}

// 1 V at 1 kHz plus 0.6 V at 3 kHz; their product is 0.3 V at 2 kHz and
// -0.3 V at 4 kHz: 7, 21, 14 and 28 periods across the 7 ms screen.
TEST_F(MathCalc, SumAndProductCarryTheRightFrequencies) {
  b.Fpga().SetSignal(0, Signal(SignalShape::kSine, 1000, 1.0));
  b.Fpga().SetSignal(1, Signal(SignalShape::kSine, 3000, 0.6));
  Set(kMathItemOperator, 0);
  Acquire();
  EXPECT_NEAR(Component(Trace(5), 7), 1.0, 0.05);
  EXPECT_NEAR(Component(Trace(5), 21), 0.6, 0.05);
  Set(kMathItemOperator, 2);
  Acquire();
  EXPECT_NEAR(Component(Trace(5), 14), 0.3, 0.03);
  EXPECT_NEAR(Component(Trace(5), 28), 0.3, 0.03);
  EXPECT_LT(Component(Trace(5), 7), 0.03);
  EXPECT_LT(Component(Trace(5), 21), 0.03);
}

// CH1 - CH1 is flat at the math position; CH1 / CH1 flat at 1 V above it.
TEST_F(MathCalc, ASineAgainstItself) {
  b.Fpga().SetSignal(0, Signal(SignalShape::kSine, 1000, 1.0));
  Set(kMathItemSource2, 0);
  Set(kMathItemOperator, 1);
  Acquire();
  const uint8_t* m = Trace(5);
  for (int i = 0; i < 2 * kCols; ++i) ASSERT_EQ(m[i], 127) << i;
  Set(kMathItemOperator, 3);
  Acquire();
  for (int i = 0; i < 2 * kCols; ++i) ASSERT_EQ(m[i], 152) << i;
}

// A zero divisor divides by one code step of its channel, signed as the
// dividend: 1 V / 0.02 V and -1 V / -0.02 V are both far above the screen;
// a product below the screen is clamped to its bottom.
TEST_F(MathCalc, DivisionByZeroAndOverflowAreClamped) {
  b.Fpga().SetSignal(0, Signal(SignalShape::kDc, 0, 0, 0, 1.0));
  b.Fpga().SetSignal(1, Signal(SignalShape::kDc, 0, 0, 0, 0.0));
  Set(kMathItemOperator, 3);
  Acquire();
  for (int i = 0; i < 2 * kCols; ++i) ASSERT_EQ(Trace(5)[i], 227) << i;
  b.Fpga().SetSignal(0, Signal(SignalShape::kDc, 0, 0, 0, -1.0));
  Acquire();
  for (int i = 0; i < 2 * kCols; ++i) ASSERT_EQ(Trace(5)[i], 227) << i;
  b.Fpga().SetSignal(0, Signal(SignalShape::kDc, 0, 0, 0, -2.0));
  b.Fpga().SetSignal(1, Signal(SignalShape::kDc, 0, 0, 0, 2.5));
  Set(kMathItemOperator, 2);
  Acquire();
  for (int i = 0; i < 2 * kCols; ++i) ASSERT_EQ(Trace(5)[i], 27) << i;  // -5 V at 1 V/div
}

// Two 1 kHz squares a quarter period apart: AND high a quarter of the time,
// OR three quarters, XOR half, NOT CH1 half; every column whose level is
// settled sits at the math position or 25 codes above, as the channels'
// levels against their thresholds say.
TEST_F(MathCalc, LogicOfTwoSquareWaves) {
  b.Fpga().SetSignal(0, Signal(SignalShape::kSquare, 1000, 1.0));
  b.Fpga().SetSignal(1, Signal(SignalShape::kSquare, 1000, 1.0, 0.25));
  Type(kMathLogic);
  EXPECT_EQ(TaskMath.GetProcessBits(), 4u);
  const double kShare[] = {0.25, 0.75, 0.5, 0.5};
  for (int op = 0; op < 4; ++op) {
    SCOPED_TRACE(op);
    Set(kMathItemLogicOp, op);
    Acquire();
    const uint8_t *a = Trace(0), *c = Trace(1), *m = Trace(5);
    int high = 0, checked = 0;
    for (int x = 1; x + 3 < kCols; ++x) {
      const bool p = a[x] > 127, q = c[x] > 127;
      const bool r = op == 0 ? p && q : op == 1 ? p || q : op == 2 ? !p : p != q;
      const bool rn = op == 0 ? a[x + 1] > 127 && c[x + 1] > 127
                     : op == 1 ? a[x + 1] > 127 || c[x + 1] > 127
                     : op == 2 ? !(a[x + 1] > 127)
                               : (a[x + 1] > 127) != (c[x + 1] > 127);
      high += r;
      if (r != rn) continue;  // an edge: the column spans both levels
      ++checked;
      ASSERT_EQ(m[x], r ? 152 : 127) << x;
      ASSERT_EQ(m[kCols + x], r ? 152 : 127) << x;
    }
    EXPECT_GT(checked, 600);
    EXPECT_NEAR(double(high) / (kCols - 4), kShare[op], 0.03);
  }
  char label[51];
  SysRunStatus.GetMathVoltage(label);
  EXPECT_STREQ(label, "Logic");
  // AND with CH2 off: no math trace; NOT needs only CH1.
  Set(kMathItemLogicOp, 0);
  Vertical.SetChOnOff(1, 0);
  Acquire();
  EXPECT_EQ(*std::max_element(Trace(5), Trace(5) + 2 * kCols), 0);
  Set(kMathItemLogicOp, 2);
  Acquire();
  EXPECT_EQ(Trace(5)[100], Trace(0)[100] > 127 ? 127 : 152);
}

// Peak-to-peak of the filtered trace against the source's upper envelope,
// over the columns clear of the ends. At 500 us/div a column is 10 us
// (100 kSa/s); limits of 10 % put the corner at 5 kHz.
TEST_F(MathCalc, FiltersPassAndStopBands) {
  Type(kMathFilter);
  Set(kMathItemLowerLimit, 10);
  Set(kMathItemUpperLimit, 10);
  auto gain = [&](double hz, int type) {
    b.Fpga().SetSignal(0, Signal(SignalShape::kSine, hz, 1.0));
    Set(kMathItemFilterType, type);
    Acquire();
    const uint8_t *s = Trace(0), *m = Trace(5);
    const auto in = std::minmax_element(s + 100, s + 600);
    int lo = 255, hi = 0;
    for (int x = 100; x < 600; ++x) lo = std::min(lo, int(m[kCols + x])), hi = std::max(hi, int(m[x]));
    // The math channel shows the source at half its codes (0.5 V/div to 1 V/div).
    return (hi - lo) / (0.5 * (*in.second - *in.first));
  };
  EXPECT_NEAR(gain(1000, 0), 1.0, 0.1);   // low-pass, a fifth of the corner
  EXPECT_LT(gain(20000, 0), 0.1);         // low-pass, four times the corner
  EXPECT_LT(gain(500, 1), 0.15);          // high-pass, a tenth of the corner
  EXPECT_NEAR(gain(20000, 1), 1.0, 0.15); // high-pass, four times the corner
  Set(kMathItemLowerLimit, 10);
  Set(kMathItemUpperLimit, 30);
  EXPECT_NEAR(gain(10000, 2), 1.0, 0.15); // band-pass 5 .. 15 kHz
  EXPECT_LT(gain(1000, 2), 0.15);
  EXPECT_LT(gain(10000, 3), 0.15);        // band-stop
  EXPECT_NEAR(gain(1000, 3), 1.0, 0.15);
}

// An expression over both channels, evaluated each pass, with its unit and
// label: CH1 x CH2 with CH2 in amperes reads in watts.
TEST_F(MathCalc, ExpressionTraceAndLabel) {
  b.Fpga().SetSignal(0, Signal(SignalShape::kSine, 1000, 1.0));
  b.Fpga().SetSignal(1, Signal(SignalShape::kSine, 1000, 1.0));
  Vertical.SetChUnit(1, 1);
  Type(kMathAdvance);
  const uint8_t tokens[] = {kTokCh1, kTokMul, kTokCh2, kAdvanceEnd};
  TaskMath.SetAdvanceBuff(tokens);
  TaskMath.SetAdvanceExpression("CH1*CH2");
  ASSERT_EQ(TaskMath.ApplyExpression(), 0);
  Acquire();
  const uint8_t *a = Trace(0), *c = Trace(1), *m = Trace(5);
  for (int x = 0; x < kCols; ++x) {
    const int hi = Code(ChVolts(a[x]) * ChVolts(c[x])), lo = Code(ChVolts(a[kCols + x]) * ChVolts(c[kCols + x]));
    ASSERT_EQ(m[x], std::max(hi, lo)) << x;
    ASSERT_EQ(m[kCols + x], std::min(hi, lo)) << x;
  }
  char label[51];
  SysRunStatus.GetMathVoltage(label);
  EXPECT_STREQ(label, "1.0W CH1*CH2");
  // A comparison draws 25 codes above the position where it holds.
  const uint8_t cmp[] = {kTokCh1, kTokGt, kTokCh2, kAdvanceEnd};
  b.Fpga().SetSignal(1, Signal(SignalShape::kDc, 0, 0));
  TaskMath.SetAdvanceBuff(cmp);
  TaskMath.SetAdvanceExpression("CH1>CH2");
  ASSERT_EQ(TaskMath.ApplyExpression(), 0);
  Acquire();
  for (int x = 0; x < kCols; ++x)
    if (Trace(0)[x] > 128 && Trace(0)[kCols + x] > 128) {
      ASSERT_EQ(m[kCols + x], 152) << x;
    }
  SysRunStatus.GetMathVoltage(label);
  EXPECT_STREQ(label, "Logic CH1>CH2");
}

// The pure steps' own limits.
TEST(MathCalcSteps, CodesClampsAndKernels) {
  EXPECT_EQ(MathValueCode(NAN, 0.04, 127), 27);
  EXPECT_EQ(MathValueCode(INFINITY, 0.04, 127), 27);
  EXPECT_EQ(MathValueCode(1e300, 0.04, 127), 227);
  EXPECT_EQ(MathValueCode(-1e300, 0.04, 127), 27);
  EXPECT_EQ(MathValueCode(1.0, 0.04, 127), 152);
  EXPECT_EQ(MathValueCode(0.0, 0.0, 127), 27);
  EXPECT_DOUBLE_EQ(_math::_Sinc(0), 1.0);
  EXPECT_NEAR(_math::_Sinc(0.5), 2 / kPi, 1e-9);
  EXPECT_NEAR(FilterWin[40], 0.99997, 1e-5);
  float c[kFilterTaps];
  ASSERT_TRUE(MathFilterCoeff(0, 0.1, 0.1, c));
  double sum = 0;
  for (float v : c) sum += v;
  EXPECT_NEAR(sum, 1.0, 1e-5);
  c[0] = 42;
  EXPECT_FALSE(MathFilterCoeff(4, 0.1, 0.1, c));
  EXPECT_EQ(c[0], 42);
  float in[5] = {1, 2, 3, 4, 5}, out[5];
  const float k[2] = {1, 10};
  EXPECT_EQ(_math::FIRC(out, in, 5, k, 2), 1);
  EXPECT_FLOAT_EQ(out[0], 21);
  EXPECT_FLOAT_EQ(out[4], 5);
  EXPECT_EQ(_math::FIRC(nullptr, in, 5, k, 2), 0);
  EXPECT_DOUBLE_EQ(_math::OneFIRC(in, 5, 4, k, 2, true), 5 + 40);
  EXPECT_DOUBLE_EQ(_math::OneFIRC(in, 5, 5, k, 2, false), 0.0);
}
}  // namespace
