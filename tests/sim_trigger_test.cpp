// The simulated FPGA's trigger condition search on known signals: the
// trigger times are worked out by hand from each signal's definition.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_signal_file.h"
#include "platform/sim/sim_trigger_search.h"

using namespace plat;

namespace {
constexpr double kUs = 1e-6;
constexpr double kTol = 1e-12;

// Pulses of 1, 2, 5 and 10 us, 5 us apart, from each 1 ms period start, at
// -1 V low and +1 V high: rising at 0, 6, 13 and 23 us, falling at 1, 8, 18
// and 33 us; idle from 33 us to the period's end.
TestSignal Train() {
  TestSignal s;
  s.shape = SignalShape::kTrain;
  s.frequencyHz = 1000;
  s.pulses = 4;
  s.widths[0] = 1 * kUs, s.widths[1] = 2 * kUs, s.widths[2] = 5 * kUs, s.widths[3] = 10 * kUs;
  s.gapS = 5 * kUs;
  return s;
}

struct Search : ::testing::Test {
  TestSignal sig[kSignalInputs] = {Train(), TestSignal{}, TestSignal{}};
  double phase[kSignalInputs] = {0.5, 0, 0};  // now: half way through CH1's idle time
  SimTriggerCondition c;
  double dt = -1;
  // Seconds from the next period start of CH1 to the trigger.
  double FromPeriodStart() const { return dt - 0.5e-3; }
  bool Find(int slope) { return SimFindTrigger(c, sig, phase, kSignalCh1, 0.0, slope, &dt); }
};
}  // namespace

TEST_F(Search, PulseWidthTriggersAtTheEndOfTheFirstPulseThatQualifies) {
  c.type = 1;
  c.when = 0;  // wider than 4 us: the 5 us pulse
  c.lowerS = 4 * kUs;
  c.upperS = 1;
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 18 * kUs, kTol);
  c.when = 1;  // narrower than 1.5 us: the 1 us pulse
  c.upperS = 1.5 * kUs;
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 1 * kUs, kTol);
  c.when = 2;  // between 3 and 7 us
  c.lowerS = 3 * kUs, c.upperS = 7 * kUs;
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 18 * kUs, kTol);
  // Negative pulses: the idle time (967 us, ending at the period start) and
  // the 5 us gaps; the first between 4 and 6 us ends at 6 us.
  c.lowerS = 4 * kUs, c.upperS = 6 * kUs;
  ASSERT_TRUE(Find(1));
  EXPECT_NEAR(FromPeriodStart(), 6 * kUs, kTol);
  c.when = 0;  // wider than 4 us: the idle time
  ASSERT_TRUE(Find(1));
  EXPECT_NEAR(FromPeriodStart(), 0, kTol);
  c.lowerS = 20 * kUs;  // no positive pulse is that wide
  EXPECT_FALSE(Find(0));
}

TEST_F(Search, NthEdgeCountsFromTheIdleTime) {
  c.type = 10;
  c.lowerS = 100 * kUs;  // idle
  c.nthCount = 3;
  ASSERT_TRUE(Find(0));  // third rising edge: the 5 us pulse's
  EXPECT_NEAR(FromPeriodStart(), 13 * kUs, kTol);
  c.nthCount = 2;
  ASSERT_TRUE(Find(1));  // second falling edge
  EXPECT_NEAR(FromPeriodStart(), 8 * kUs, kTol);
  c.nthCount = 5;  // only four edges follow an idle time
  EXPECT_FALSE(Find(0));
}

TEST_F(Search, TimeOutTriggersTheSetTimeAfterTheLastEdge) {
  c.type = 7;
  c.lowerS = 100 * kUs;  // low for longer than 100 us: after the last pulse
  ASSERT_TRUE(Find(1));
  EXPECT_NEAR(FromPeriodStart(), 133 * kUs, kTol);
  c.lowerS = 7 * kUs;  // high for longer than 7 us: inside the 10 us pulse
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 30 * kUs, kTol);
  c.lowerS = 11 * kUs;  // never high that long
  EXPECT_FALSE(Find(0));
}

TEST_F(Search, DelayMeasuresFromTheFirstSourceToTheSecond) {
  // CH2: a 10 % pulse whose period starts 10 us after CH1's.
  sig[kSignalCh2].shape = SignalShape::kPulse;
  sig[kSignalCh2].frequencyHz = 1000;
  phase[kSignalCh2] = 0.49;
  c.type = 6;
  c.source1 = 0, c.edge1 = 0;  // CH1 rising arms
  c.source2 = 1, c.edge2 = 0;  // CH2 rising triggers
  c.when = 0;
  c.lowerS = 5 * kUs;
  ASSERT_TRUE(SimFindTrigger(c, sig, phase, kSignalCh2, 0.0, 0, &dt));
  EXPECT_NEAR(FromPeriodStart(), 10 * kUs, 1e-11);
  c.lowerS = 12 * kUs;  // CH2 follows CH1's edges after 10, 4, 997 and 987 us: none inside
  c.when = 2;
  c.upperS = 20 * kUs;
  EXPECT_FALSE(SimFindTrigger(c, sig, phase, kSignalCh2, 0.0, 0, &dt));
}

TEST_F(Search, EdgeOnATrainFindsItsNarrowPulses) {
  c.type = 0;
  phase[0] = 0.0005;  // 0.5 us into the first pulse: its falling edge is next
  ASSERT_TRUE(Find(1));
  EXPECT_NEAR(dt, 0.5 * kUs, kTol);
  sig[0].amplitudeV = 0.5;  // the level outside the signal: no edge
  EXPECT_FALSE(SimFindTrigger(c, sig, phase, kSignalCh1, 0.8, 0, &dt));
}

TEST(SignalFile, TrainLinesAreReadAndBadOnesRefused) {
  int input = -1;
  TestSignal s;
  std::string error;
  ASSERT_TRUE(SimSignalFile::ParseLine("ch2 train freq=1000 widths=1e-6,2e-6,5e-6,10e-6 gap=5e-6", &input, &s, &error))
      << error;
  EXPECT_EQ(input, 1);
  EXPECT_EQ(s.shape, SignalShape::kTrain);
  EXPECT_EQ(s.pulses, 4);
  EXPECT_DOUBLE_EQ(s.widths[3], 10e-6);
  EXPECT_DOUBLE_EQ(s.gapS, 5e-6);
  EXPECT_DOUBLE_EQ(SignalVolts(s, 0.0065, 0), 1.0);  // inside the 2 us pulse
  EXPECT_DOUBLE_EQ(SignalVolts(s, 0.0100, 0), -1.0);  // in the gap after it
  EXPECT_FALSE(SimSignalFile::ParseLine("ch1 train widths=1e-6,,2e-6", &input, &s, &error));
  EXPECT_FALSE(SimSignalFile::ParseLine("ch1 train widths=-1", &input, &s, &error));
  EXPECT_FALSE(SimSignalFile::ParseLine("ch1 train widths=1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1", &input, &s, &error));
  // A train longer than its period has no pulses rather than overlapping ones.
  ASSERT_TRUE(SimSignalFile::ParseLine("ch1 train freq=1e6 widths=2e-6", &input, &s, &error));
  double rise[kTrainPulses], fall[kTrainPulses];
  EXPECT_EQ(TrainEdges(s, rise, fall), 0);
}
