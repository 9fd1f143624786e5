// The simulated FPGA's trigger condition search on known signals: the
// trigger times are worked out by hand from each signal's definition.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/acquisition/sim_signal_file.h"
#include "platform/sim/trigger/sim_trigger_search.h"

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
  ASSERT_TRUE(Find(1));
  EXPECT_NEAR(FromPeriodStart(), 18 * kUs, kTol);
  c.when = 1;  // narrower than 1.5 us: the 1 us pulse
  c.upperS = 1.5 * kUs;
  ASSERT_TRUE(Find(1));
  EXPECT_NEAR(FromPeriodStart(), 1 * kUs, kTol);
  c.when = 2;  // between 3 and 7 us
  c.lowerS = 3 * kUs, c.upperS = 7 * kUs;
  ASSERT_TRUE(Find(1));
  EXPECT_NEAR(FromPeriodStart(), 18 * kUs, kTol);
  // Negative pulses: the idle time (967 us, ending at the period start) and
  // the 5 us gaps; the first between 4 and 6 us ends at 6 us.
  c.lowerS = 4 * kUs, c.upperS = 6 * kUs;
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 6 * kUs, kTol);
  c.when = 0;  // wider than 4 us: the idle time
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 0, kTol);
  c.lowerS = 20 * kUs;  // no positive pulse is that wide
  EXPECT_FALSE(Find(1));
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
  // Idle is no edge of either slope: the rising edges are 6, 7 and 10 us
  // apart, but a falling edge comes 5 us before each; only the 967 us
  // before the period start is 5.5 us without an edge.
  c.lowerS = 5.5 * kUs;
  c.nthCount = 2;
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 6 * kUs, kTol);
  c.nthCount = 3;  // third falling edge: the 5 us pulse's
  ASSERT_TRUE(Find(1));
  EXPECT_NEAR(FromPeriodStart(), 18 * kUs, kTol);
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

TEST_F(Search, DelayArmsAtTheFirstSourcesComparatorLevel) {
  // CH1 a 1 kHz, 1 V sine half way through its period: it rises through
  // 0.5 V asin(0.5) / (2 pi 1 kHz) = 83.33 us after its next period start
  // (500 us from now); CH2's pulse rises 600 us from now.
  sig[kSignalCh1] = TestSignal{};
  sig[kSignalCh2].shape = SignalShape::kPulse;
  phase[kSignalCh2] = 0.4;
  c.type = 6;
  c.source1 = 0, c.edge1 = 0;
  c.source2 = 1, c.edge2 = 0;
  c.when = 1;  // less than 20 us
  c.upperS = 20 * kUs;
  c.levelV[0][0] = 0.5;
  ASSERT_TRUE(SimFindTrigger(c, sig, phase, kSignalCh2, 0.0, 0, &dt));
  EXPECT_NEAR(dt, 600 * kUs, 1e-11);
  c.levelV[0][0] = 0.0;  // armed at 500 us: 100 us before CH2's edge
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

namespace {
// Pulses of 2 us, 5 us apart (rising at 0, 5 and 10 us), the middle one only
// half as high: it reaches 0 V, between levels of -0.5 and 0.5 V.
TestSignal WithRunt() {
  TestSignal s = Train();
  s.pulses = 3;
  s.widths[0] = s.widths[1] = s.widths[2] = 2 * kUs;
  s.heights[1] = 0.5;
  s.gapS = 3 * kUs;
  return s;
}

struct TwoLevels : Search {
  void SetUp() override {
    c.levelV[0][0] = -0.5;
    c.levelV[0][1] = 0.5;
  }
};
}  // namespace

TEST_F(TwoLevels, SlopeTimesTheEdgeBetweenTheLevels) {
  // A 1 kHz triangle from -1 V at the period start: 4 V a period, so from
  // -0.5 V to 0.5 V in 250 us, reaching 0.5 V at 375 us (rising) and -0.5 V
  // at 875 us (falling).
  sig[0].shape = SignalShape::kTriangle;
  c.type = 3;
  c.when = 1;  // faster than 300 us
  c.upperS = 300 * kUs;
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 375 * kUs, 1e-9);
  ASSERT_TRUE(Find(1));  // falling: still in this period, 375 us from now
  EXPECT_NEAR(dt, 375 * kUs, 1e-9);
  c.upperS = 200 * kUs;  // no edge that fast
  EXPECT_FALSE(Find(0));
  c.when = 0;  // slower than 200 us
  c.lowerS = 200 * kUs;
  EXPECT_TRUE(Find(0));
  c.levelV[0][1] = 2;  // the second level out of reach: no edge spans them
  EXPECT_FALSE(Find(0));
}

TEST_F(TwoLevels, RuntIsThePulseThatMissesTheSecondLevel) {
  sig[0] = WithRunt();
  c.type = 4;
  c.when = 0;  // wider than 1 us
  c.lowerS = 1 * kUs;
  ASSERT_TRUE(Find(1));  // positive runts: back under the low level at 7 us
  EXPECT_NEAR(FromPeriodStart(), 7 * kUs, kTol);
  c.lowerS = 3 * kUs;  // the runt is 2 us wide
  EXPECT_FALSE(Find(1));
  c.lowerS = 1 * kUs;
  sig[0].heights[1] = 0;  // all pulses whole: no runt
  EXPECT_FALSE(Find(1));
}

TEST_F(TwoLevels, WindowEntersLeavesOrStaysInTheBand) {
  sig[0] = WithRunt();
  c.type = 5;
  c.position = 1;        // exit
  ASSERT_TRUE(Find(0));  // through the top: the first pulse's rise
  EXPECT_NEAR(FromPeriodStart(), 0, kTol);
  ASSERT_TRUE(Find(1));  // through the bottom: its fall
  EXPECT_NEAR(FromPeriodStart(), 2 * kUs, kTol);
  c.position = 2;  // inside for more than 1 us: only the runt stays
  c.lowerS = 1 * kUs;
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 6 * kUs, kTol);
  c.lowerS = 3 * kUs;
  EXPECT_FALSE(Find(0));
}

namespace {
// CH1: the 1, 2, 5, 10 us train (high 0-1, 6-8, 13-18, 23-33 us); CH2: high
// for the first 15 us of the same period. CH1 high with CH2 low: 15-18 and
// 23-33 us.
struct TwoChannels : Search {
  void SetUp() override {
    sig[1].shape = SignalShape::kPulse;
    sig[1].frequencyHz = 1000;
    sig[1].duty = 0.015;
    phase[1] = 0.5;
    c.codes[0] = 0;  // CH1 high
    c.codes[1] = 1;  // CH2 low
  }
};
}  // namespace

TEST_F(TwoChannels, DurationOfTheCodesAgainstTheLimits) {
  c.type = 8;
  c.when = 0;  // longer than 4 us: 23-33
  c.lowerS = 4 * kUs;
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 33 * kUs, kTol);
  c.when = 1;  // shorter than 4 us: 15-18
  c.upperS = 4 * kUs;
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 18 * kUs, kTol);
  c.codes[0] = c.codes[1] = 2;  // nothing to hold
  EXPECT_FALSE(Find(0));
}

TEST_F(TwoChannels, PatternStartsOrComesWithAnEdge) {
  c.type = 11;
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 15 * kUs, kTol);
  c.codes[0] = 3;  // CH1 rising while CH2 is low: at 23 us
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 23 * kUs, kTol);
  c.codes[1] = 0;  // ... while CH2 is high: at 0 us
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 0, kTol);
}

TEST_F(Search, SetupAndHoldViolationsAroundTheClockEdge) {
  // Data CH1 (edges at 0, 1, 6, 8, 13, 18, 23, 33 us); clock CH2, a 100 kHz
  // square rising at 5, 15, 25, 35 us.
  sig[1].shape = SignalShape::kSquare;
  sig[1].frequencyHz = 100e3;
  phase[1] = 0.5;
  c.type = 9;
  c.source1 = 0, c.source2 = 1;  // data CH1, clock CH2
  c.edge1 = 1, c.edge2 = 0;      // data high, clock rising
  c.lowerS = 3 * kUs;
  c.when = 0;  // setup: the 13 us edge, 2 us before the clock at 15 us
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 15 * kUs, kTol);
  c.when = 1;          // hold: 3 us after 15 us is not less than 3 us ...
  c.lowerS = 4 * kUs;  // ... but less than 4: the data edge at 18 us
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 18 * kUs, kTol);
  c.edge1 = 0;  // data low at the clock: at 5 us, the 6 us edge follows
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(FromPeriodStart(), 6 * kUs, kTol);
  c.lowerS = 0.5 * kUs;  // nothing that close
  c.when = 2;
  EXPECT_FALSE(Find(0));
}

TEST_F(Search, VideoTriggersOnTheLineTheSyncSettingNames) {
  // 625 lines of 64 us, a frame of 40 ms; now half way through the frame
  // (line 313 has begun at 312 x 64 us = 19.968 ms).
  sig[0] = TestSignal{};
  sig[0].shape = SignalShape::kVideo;
  sig[0].frequencyHz = 25;
  c.type = 2;
  c.videoSync = 1;  // odd field: line 1, the next frame's start
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(dt, 20e-3, 1e-9);
  c.videoSync = 0;  // even field: line 313, next frame
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(dt, 20e-3 + 19.968e-3, 1e-9);
  c.videoSync = 3;  // line 320 starts at 319 x 64 us
  c.videoLine = 320;
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(dt, 319 * 64e-6 - 20e-3, 1e-9);
  c.videoSync = 2;  // all lines: line 314, 32 us from now
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(dt, 32e-6, 1e-9);
  c.videoStandard = 1;  // 525 lines expected: no sync found
  EXPECT_FALSE(Find(0));
  sig[0].lines = 525;
  EXPECT_TRUE(Find(0));
  sig[0].shape = SignalShape::kSine;  // no video at all
  EXPECT_FALSE(Find(0));
}

// Any composite signal: the sync separator finds the syncs of a signal that
// is not the built-in video shape. Line syncs alone (a 64 us pulse, low for
// its last 7.4 %) trigger on every line, at the next sync's falling edge;
// they carry no field, so the field and line settings find nothing.
TEST_F(Search, VideoSeparatesTheSyncsOfAnyCompositeSignal) {
  sig[0] = TestSignal{};
  sig[0].shape = SignalShape::kPulse;
  sig[0].frequencyHz = 15625;
  sig[0].duty = 0.926;
  sig[0].offsetV = 0.3;
  sig[0].amplitudeV = 0.4;
  phase[0] = 0.5;
  c.type = 2;
  c.videoSync = 2;
  ASSERT_TRUE(Find(0));
  EXPECT_NEAR(dt, (0.926 - 0.5) / 15625, 1e-9);
  c.videoSync = 1;
  EXPECT_FALSE(Find(0));
  c.videoSync = 3;
  c.videoLine = 5;
  EXPECT_FALSE(Find(0));
  // A square wave has no sync pulses: its low half is no short pulse.
  sig[0].shape = SignalShape::kSquare;
  c.videoSync = 2;
  EXPECT_FALSE(Find(0));
}

TEST(SignalFile, RuntAndVideoShapes) {
  int input = -1;
  TestSignal s;
  std::string error;
  ASSERT_TRUE(SimSignalFile::ParseLine("ch1 train freq=1000 widths=2e-6,2e-6 heights=1,0.25 gap=3e-6",
                                       &input, &s, &error))
      << error;
  EXPECT_DOUBLE_EQ(SignalVolts(s, 0.001, 0), 1.0);   // 1 us: the whole pulse
  EXPECT_DOUBLE_EQ(SignalVolts(s, 0.006, 0), -0.5);  // 6 us: a quarter of the 2 V swing
  EXPECT_FALSE(SimSignalFile::ParseLine("ch1 train widths=1e-6 heights=1.5", &input, &s, &error));
  ASSERT_TRUE(SimSignalFile::ParseLine("ch2 video freq=30 amp=0.5 lines=525", &input, &s, &error))
      << error;
  EXPECT_EQ(s.shape, SignalShape::kVideo);
  EXPECT_EQ(s.lines, 525);
  const double line = 1.0 / 525;
  EXPECT_DOUBLE_EQ(SignalVolts(s, 10 * line, 0), -0.5);       // line 11's sync tip
  EXPECT_DOUBLE_EQ(SignalVolts(s, 10.1 * line, 0), -0.2);     // blanking, -0.4 A
  EXPECT_NEAR(SignalVolts(s, 10.565 * line, 0), 0.15, 1e-9);  // half way up the ramp
  EXPECT_DOUBLE_EQ(SignalVolts(s, 1.5 * line, 0), -0.5);      // line 2: vertical sync
  EXPECT_FALSE(SimSignalFile::ParseLine("ch2 video lines=600", &input, &s, &error));
}

TEST(SignalFile, TrainLinesAreReadAndBadOnesRefused) {
  int input = -1;
  TestSignal s;
  std::string error;
  ASSERT_TRUE(SimSignalFile::ParseLine("ch2 train freq=1000 widths=1e-6,2e-6,5e-6,10e-6 gap=5e-6",
                                       &input, &s, &error))
      << error;
  EXPECT_EQ(input, 1);
  EXPECT_EQ(s.shape, SignalShape::kTrain);
  EXPECT_EQ(s.pulses, 4);
  EXPECT_DOUBLE_EQ(s.widths[3], 10e-6);
  EXPECT_DOUBLE_EQ(s.gapS, 5e-6);
  EXPECT_DOUBLE_EQ(SignalVolts(s, 0.0065, 0), 1.0);   // inside the 2 us pulse
  EXPECT_DOUBLE_EQ(SignalVolts(s, 0.0100, 0), -1.0);  // in the gap after it
  EXPECT_FALSE(SimSignalFile::ParseLine("ch1 train widths=1e-6,,2e-6", &input, &s, &error));
  EXPECT_FALSE(SimSignalFile::ParseLine("ch1 train widths=-1", &input, &s, &error));
  EXPECT_FALSE(SimSignalFile::ParseLine("ch1 train widths=1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1", &input, &s,
                                        &error));
  // A train longer than its period has no pulses rather than overlapping ones.
  ASSERT_TRUE(SimSignalFile::ParseLine("ch1 train freq=1e6 widths=2e-6", &input, &s, &error));
  double rise[kTrainPulses], fall[kTrainPulses];
  EXPECT_EQ(TrainEdges(s, rise, fall), 0);
}
