// The trigger commands through the SCPI thread and its worker: every
// keyword row set and read back, the width limits and times with their
// units, counts and clamps, the refusals, the TRIGGER and decode keys, and
// what the simulated FPGA decodes and acquires after a remote setting.
#include <gtest/gtest.h>

#include <string>

#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/state/ids.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "platform/sim/fpga/sim_decode_trigger.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"
#include "tests/bench/wait.h"
#include "trigger/analog/task_trigger.h"

namespace {
constexpr int kEeMode = 147;

struct TrigScpi : ::testing::Test {
  Bench bench;

  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(6, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();  // only the SCPI thread and its worker run beside the test
    ASSERT_EQ(0, StartScpiThread());
    // What earlier tests chose stays in the menu image.
    Set("TRIG:MODE EDGE");
    Set("TRIG:COUP DC");
    Set("TRIG:SWE AUTO");
    Set("TRIG:PULS:QUAL GRE");
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  // A setter, then a query the worker runs after it: the setter has run.
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("KEY:TMEN:LOCK?").empty());
  }
  uint64_t Item(int n) { return TaskTrigger.Item(n); }
  plat::SimTriggerSettings Decoded() { return plat::SimDecodedTrigger(); }
};

TEST_F(TrigScpi, EveryKeywordRowSetsItsItemAndAnswersItsKeyword) {
  const struct {
    const char* command;
    const char* parameter;
    const char* answer;
    int item;
    int value;
  } rows[] = {
      {"TRIGger:EDGE:SLOPe", "NEG", "NEGative", kTiEdgeSlope, 1},
      {"TRIG:EDGE:SLOP", "ALTernation", "ALTernation", kTiEdgeSlope, 2},
      {"TRIG:PULS:QUAL", "LESS", "LESSthan ", kTiWhen, 1},
      {"TRIG:PULS:QUAL", "INR", "INRange", kTiWhen, 2},
      {"TRIG:PULS:POL", "POS", "POSitive", kTiPulsePolarity, 1},
      {"TRIG:VID:MODE", "LINE", "LINE", kTiVideoSync, 3},
      {"TRIG:VID:MODE", "ODD", "ODD", kTiVideoSync, 1},
      {"TRIG:SLOP:SLOP", "NEG", "NEGative", kTiSlopePolarity, 1},
      {"TRIG:SLOP:THR", "LH", "LH", kTiSlopeThreshold, 2},
      {"TRIG:RUNT:POL", "POS", "POSitive", kTiRuntPolarity, 1},
      {"TRIG:RUNT:LEV", "HIGH", "HIGH", kTiRuntLevel, 1},
      {"TRIG:WIND:SLOP", "ALT", "ALTernation", kTiWinSlope, 2},
      {"TRIG:WIND:LEV", "HIGH", "HIGH", kTiWinLevel, 1},
      {"TRIG:WIND:POS", "EXIT", "EXIT", kTiWinPosition, 1},
      {"TRIG:DEL:ARM:SOUR", "CHAN2", "CHANnel2", kTiDelaySource1, 1},
      {"TRIG:DEL:ARM:SLOP", "NEG", "NEGative", kTiDelayEdge1, 1},
      {"TRIG:DEL:TRIG:SOUR", "CHAN2", "CHANnel2", kTiDelaySource2, 1},
      {"TRIG:DEL:TRIG:SLOP", "NEG", "NEGative", kTiDelayEdge2, 1},
      {"TRIG:DEL:QUAL", "OUTR", "OUTRange", kTiWhen, 3},
      {"TRIG:TIMEOUT:SLOP", "ALT", "ALTernation", kTiTimeOutSlope, 2},
      {"TRIG:DUR:PATT", "LOW", "LOW", kTiDurCode, 1},
      {"TRIG:SHOL:DATA:SOUR", "CHAN2", "CHANnel2", kTiShData, 1},
      {"TRIG:SHOL:SLOP", "NEG", "NEGative", kTiShEdge, 1},
      {"TRIG:SHOL:PATT", "HIGH", "HIGH", kTiShCode, 1},
      {"TRIG:SHOL:MODE", "HOLD", "HOLD", kTiShSel, 1},
      {"TRIG:NEDGE:SLOP", "NEG", "NEGative", kTiNthSlope, 1},
      {"TRIG:PATT:PATT", "NEG", "NEGative", kTiPatCode, 4},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.command) + " " + r.parameter);
    Set(std::string(r.command) + " " + r.parameter);
    EXPECT_EQ(Item(r.item), uint64_t(r.value));
    EXPECT_EQ(Ask(std::string(r.command) + "?"), std::string(r.answer) + "\r\n");
    for (const char* bad : {"BOGUS", "neg", ""}) Set(std::string(r.command) + " " + bad);
    Set(r.command);  // no parameter
    EXPECT_EQ(Item(r.item), uint64_t(r.value));
  }
  // The setup/hold mode's query also names the setting only the front panel makes.
  TaskTrigger.SetItem(kTiShSel, 2);
  EXPECT_EQ(Ask("TRIG:SHOL:MODE?"), "SH\r\n");
  Set("TRIG:SHOL:MODE SH");
  EXPECT_EQ(Item(kTiShSel), 2u);
  // The standard's query applies the page after answering.
  Set("TRIG:VID:STAN NTSC");
  EXPECT_EQ(Ask("TRIG:VID:STAN?"), "NTSC\r\n");
  EXPECT_EQ(Item(kTiVideoStandard), 1u);
}

TEST_F(TrigScpi, TypeSweepSourceAndCoupling) {
  EXPECT_EQ(Ask("TRIG:MODE?"), "EDGE\r\n");
  Set("TRIGger:MODE PULS");
  EXPECT_EQ(TaskTrigger.Type(), kTrigPulse);
  EXPECT_EQ(Decoded().type, kTrigPulse);
  EXPECT_EQ(Ask("TRIG:MODE?"), "PULSe\r\n");
  Set("TRIG:MODE RS232");  // the serial buses are chosen elsewhere
  EXPECT_EQ(Ask("TRIG:MODE?"), "PULSe\r\n");
  Set("TRIG:MODE NE");
  EXPECT_EQ(Ask("TRIG:MODE?"), "NE\r\n");
  EXPECT_EQ(TaskTrigger.TaskMenu.GetCurrPage(), 17);

  Set("TRIG:SWE NORM");
  EXPECT_EQ(Decoded().sweep, 1);
  EXPECT_EQ(bench.EepromByte(kEeMode), 1);
  Set("TRIG:SWE norm");
  Set("TRIG:SWE");
  EXPECT_EQ(Ask("TRIG:SWE?"), "NORMal\r\n");
  Set("TRIG:SWE SING");
  EXPECT_EQ(Ask("TRIG:SWEep?"), "SINGle\r\n");
  EXPECT_EQ(Decoded().sweep, 2);

  // Coupling: AC and the rejects only for edge; noise for every type.
  Set("TRIG:COUP AC");
  EXPECT_EQ(Ask("TRIG:COUP?"), "DC\r\n");
  Set("TRIG:COUP NOISE");
  EXPECT_EQ(Ask("TRIG:COUP?"), "NOISE\r\n");
  Set("TRIG:MODE EDGE");
  Set("TRIG:COUP DC");

  // Sources: EXT for edge, pulse and video; AC line not for video; never
  // the channels the instrument lacks.
  Set("TRIG:SOUR EXT");
  EXPECT_EQ(Item(kTiEdgeSource), 3u);
  EXPECT_EQ(Ask("TRIG:SOUR?"), "EXT\r\n");
  EXPECT_EQ(Decoded().source, 3);
  Set("TRIG:SOUR CHAN3");
  Set("TRIG:SOUR EXT5");
  EXPECT_EQ(Ask("TRIG:SOUR?"), "EXT\r\n");
  Set("TRIG:SOUR CHAN2");
  EXPECT_EQ(Ask("TRIG:SOUR?"), "CHANnel2\r\n");
  Set("TRIG:MODE SLOP");
  Set("TRIG:SOUR EXT");
  EXPECT_EQ(Item(kTiSlopeSource), 0u);
  Set("TRIG:MODE VID");
  Set("TRIG:SOUR ACL");
  EXPECT_EQ(Item(kTiVideoSource), 0u);
}

TEST_F(TrigScpi, CouplingFromDcToAcKeepsTheLevelOnTheZeroLine) {
  // CH1's zero line 20 codes above the centre: AC keeps the level 20 codes
  // lower, as the front panel does.
  Vertical.SetRealYposition(0, 147);
  Vertical.AdjYPosition(0, 0);
  ::Trigger.SetTriggerPos(0, 1, 30);
  Set("TRIG:COUP AC");
  EXPECT_EQ(::Trigger.GetTriggerPos(0, 1), 10);
  EXPECT_EQ(Decoded().coupling, 1);
  Set("TRIG:COUP DC");
  EXPECT_EQ(::Trigger.GetTriggerPos(0, 1), 30);
}

TEST_F(TrigScpi, WidthLimitsCountTheTriggerClockAndStayOrdered) {
  Set("TRIG:MODE PULS");
  Set("TRIG:PULS:TIME 10ns");  // 1 ns counts for the pulse type
  EXPECT_EQ(Item(kTiLowLimit), 10u);
  EXPECT_EQ(Ask("TRIG:PULS:TIME?"), "1.000000e-08 \r\n");
  Set("TRIG:PULS:TIME:UPP 1us");  // greater than: no upper limit
  EXPECT_EQ(Item(kTiLowLimit), 10u);
  Set("TRIG:PULS:TIME 1us");  // above the upper limit: both
  EXPECT_EQ(Item(kTiLowLimit), 1000u);
  EXPECT_EQ(Item(kTiUppLimit), 1000u);
  Set("TRIG:PULS:TIME 1 us");  // a blank before the unit: seconds, over the single-precision 1 ns
  EXPECT_EQ(Item(kTiLowLimit), 1000000028u);
  Set("TRIG:PULS:TIME 20");  // past 10 s: held there, the words too
  EXPECT_EQ(Item(kTiLowLimit), 10000000000u);
  EXPECT_EQ(Decoded().lowerUnits, 2500000000u);

  Set("TRIG:PULS:QUAL INR");  // both limits: the rows choose
  Set("TRIG:PULS:TIME:LOW 2us");
  Set("TRIG:PULS:TIME:UPP 5us");
  EXPECT_EQ(Item(kTiLowLimit), 2000u);
  EXPECT_EQ(Item(kTiUppLimit), 5000u);
  EXPECT_EQ(Ask("TRIG:PULS:TIME:LOW?"), "2.000000e-06 \r\n");
  EXPECT_EQ(Ask("TRIG:PULS:TIME:UPP?"), "5.000000e-06 \r\n");
  Set("TRIG:PULS:TIME 3us");  // neither row: nothing
  EXPECT_EQ(Item(kTiLowLimit), 2000u);
  const plat::SimTriggerSettings d = Decoded();
  EXPECT_EQ(d.when, 2);
  EXPECT_EQ(d.lowerUnits, 500u);
  EXPECT_EQ(d.upperUnits, 1250u);

  Set("TRIG:MODE SLOP");  // 4 ns counts for the other types
  Set("TRIG:SLOP:QUAL GRE");
  Set("TRIG:SLOP:TIME 10ns");
  EXPECT_EQ(Item(kTiLowLimit), 2u);
  EXPECT_EQ(Ask("TRIG:SLOP:TIME?"), "8.000000e-09 \r\n");
  Set("TRIG:MODE DEL");
  Set("TRIG:DEL:TIME 1ns");
  EXPECT_EQ(Item(kTiLowLimit), 2u);
  Set("TRIG:DEL:TIME 20");
  EXPECT_EQ(Item(kTiLowLimit), 2500000000u);
}

TEST_F(TrigScpi, SingleTimesCountsAndLines) {
  Set("TRIG:TIMEOUT:TIME 1");
  EXPECT_EQ(Item(kTiTimeOutTime), 250000007u);  // 1 s over the single-precision 4 ns
  EXPECT_EQ(Ask("TRIG:TIMEOUT:TIME?"), "1.000000e+00\r\n");
  Set("TRIG:TIMEOUT:TIME 20");  // held at 10 s, not wrapped past 32 bits
  EXPECT_EQ(Item(kTiTimeOutTime), 2500000000u);
  Set("TRIG:TIMEOUT:TIME");  // no time: the least
  EXPECT_EQ(Item(kTiTimeOutTime), 2u);
  Set("TRIG:WIND:TIME 1us");
  EXPECT_EQ(Item(kTiWinTime), 250u);
  EXPECT_EQ(Ask("TRIG:WIND:TIME?"), "1.000000e-06\r\n");
  Set("TRIG:SHOL:TIME 3us");
  EXPECT_EQ(Item(kTiShTime), 750u);
  EXPECT_EQ(Ask("TRIG:SHOL:TIME?"), "3.000000e-06 \r\n");
  Set("TRIG:SHOL:TIME");
  EXPECT_EQ(Item(kTiShTime), 750u);
  Set("TRIG:NEDGE:TIME 100us");
  EXPECT_EQ(Item(kTiNthIdle), 25000u);
  EXPECT_EQ(Ask("TRIG:NEDGE:TIME?"), "1.000000e-04 \r\n");

  Set("TRIG:NEDGE:VAL 0");
  EXPECT_EQ(Ask("TRIG:NEDGE:VAL?"), "1\r\n");
  Set("TRIG:NEDGE:VAL 70000");
  EXPECT_EQ(Ask("TRIG:NEDGE:VAL?"), "65535\r\n");
  Set("TRIG:NEDGE:VAL 3x");
  EXPECT_EQ(Ask("TRIG:NEDGE:VAL?"), "3\r\n");

  Set("TRIG:VID:STAN NTSC");
  Set("TRIG:VID:LINE 700");
  EXPECT_EQ(Ask("TRIG:VID:LINE?"), "525\r\n");
  Set("TRIG:VID:STAN PAL");
  Set("TRIG:VID:LINE 700");
  EXPECT_EQ(Ask("TRIG:VID:LINE?"), "625\r\n");
  Set("TRIG:VID:LINE 0");
  EXPECT_EQ(Ask("TRIG:VID:LINE?"), "1\r\n");

  // The settings reach the board as the front panel's do.
  Set("TRIG:MODE NE");
  Set("TRIG:NEDGE:VAL 3");
  const plat::SimTriggerSettings d = Decoded();
  EXPECT_EQ(d.type, kTrigNthEdge);
  EXPECT_EQ(d.nthEdgeCount, 3);
  EXPECT_EQ(d.lowerUnits, 25000u);
}

TEST_F(TrigScpi, QualifiersSelectsStatusAndKeys) {
  Set("TRIG:DEL:QUAL LESS");
  EXPECT_TRUE(TaskTrigger.Attr(kTiUppLimit) & kTrigAttrKnob);
  EXPECT_TRUE(TaskTrigger.Attr(kTiLowLimit) & kTrigAttrOff);
  Set("TRIG:DUR:MODE LOW");  // only for the duration type
  EXPECT_EQ(Item(kTiWhen), 1u);
  EXPECT_EQ(Ask("TRIG:DEL:QUAL?"), "LESSthan\r\n");
  Set("TRIG:MODE DUR");
  Set("TRIG:DUR:MODE NORMAL");
  EXPECT_EQ(Ask("TRIG:DUR:MODE?"), "NORMAL\r\n");

  Set("TRIG:DEL:SEL SOUR2");
  EXPECT_EQ(Ask("TRIG:DEL:SEL?"), "SOURce2\r\n");
  Set("TRIG:DEL:SEL SOURce1");
  EXPECT_EQ(Ask("TRIG:DEL:SEL?"), "SOURce1\r\n");
  Set("TRIG:SHOL:SEL SOURce2");
  EXPECT_EQ(Ask("TRIG:SHOL:SEL?"), "SOURce2\r\n");
  Set("TRIG:DEL:MODE ANY");  // accepted, no effect

  SysRunStatus.SetAcquireStatus(0, kAcqStopped);
  EXPECT_EQ(Ask("TRIG:STAT?"), "STOP\r\n");

  EXPECT_EQ(Ask("KEY:TMEN:LOCK?"), "0\r\n");
  Set("KEY:TMEN:LOCK ON");
  EXPECT_EQ(Ask("KEY:TMEN:LOCK?"), "1\r\n");
  Set("KEY:TMEN:LOCK OFF");
  Set("KEY:DEC");
  int code = 0, step = -1;
  ASSERT_EQ(KeyBoard.GetScpiKey(&code, &step), 0);
  EXPECT_EQ(code, kKeySetToZero);
  Set("KEY:TMEN");
  ASSERT_EQ(KeyBoard.GetScpiKey(&code, &step), 0);
  EXPECT_EQ(code, kKeyTrigger);
}

// A single sweep waits for its trigger (READY) and a forced trigger ends it
// (STOP), whether it was chosen while running or while stopped. The inputs
// are level lines that never cross the trigger level.
TEST_F(TrigScpi, ASingleSweepChosenWhileStoppedWaitsAndAForceEndsIt) {
  plat::TestSignal flat;
  flat.shape = plat::SignalShape::kDc;
  flat.offsetV = -0.5;
  bench.Fpga().SetSignal(plat::kSignalCh1, flat);
  bench.Fpga().SetSignal(plat::kSignalCh2, flat);
  const auto reaches = [&](const char* status) {
    const std::string want = std::string(status) + "\r\n";
    return WaitUntil([&] {
      bench.Fpga().AcquireNow();  // what the board makes of the sweep in force
      bench.Pass();
      return Ask("TRIG:STAT?") == want;
    });
  };
  for (const bool whileRunning : {true, false}) {
    SCOPED_TRACE(whileRunning ? "chosen while running" : "chosen while stopped");
    Set("TRIG:SWE NORM");
    Set("RUN");
    Set("STOP");
    if (whileRunning) Set("RUN");
    Set("TRIG:SWE SING");
    if (!whileRunning) Set("RUN");
    EXPECT_TRUE(reaches("READY"));
    Set("TRIG:FORC");
    EXPECT_TRUE(reaches("STOP"));
  }
  Set("TRIG:SWE AUTO");
  Set("RUN");
}

TEST_F(TrigScpi, ARemotePulseWidthTriggerFindsTheChosenPulse) {
  // 1, 2, 5 and 10 us pulses, 5 us apart, once a millisecond (-1 V to 1 V).
  plat::TestSignal train;
  train.shape = plat::SignalShape::kTrain;
  train.pulses = 4;
  train.widths[0] = 1e-6, train.widths[1] = 2e-6, train.widths[2] = 5e-6, train.widths[3] = 10e-6;
  train.gapS = 5e-6;
  plat::SimFpga& fpga = bench.Fpga();
  fpga.SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  fpga.SetSignal(plat::kSignalCh1, train);
  // CH1's zero line at the centre, the level at 0 V.
  Vertical.SetRealYposition(0, 127);
  Vertical.AdjYPosition(0, 0);
  ::Trigger.SetTriggerPos(0, 1, 0);
  Set("TRIG:MODE PULS");
  Set("TRIG:PULS:POL POS");
  Set("TRIG:PULS:TIME 4us");
  Set("TRIG:SWE NORM");
  ASSERT_TRUE(fpga.AcquireNow());
  const plat::SimAcquisition a = fpga.LastAcquisition();
  EXPECT_TRUE(a.triggered);
  const double at = a.phase[0] / a.sig[0].frequencyHz - a.lag * a.set.samplePeriodNs * 1e-9;
  EXPECT_NEAR(at, 18e-6, 1e-9);  // the end of the 5 us pulse
  Set("TRIG:PULS:TIME 20us");    // none that wide: normal sweep waits
  const uint64_t serial = fpga.LastAcquisition().serial;
  EXPECT_FALSE(fpga.AcquireNow());
  EXPECT_EQ(fpga.LastAcquisition().serial, serial);
}
}  // namespace
