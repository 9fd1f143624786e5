// The channel commands through the SCPI thread and its worker, as a transport
// sends them: each setter reaching the menu item, the vertical model, the
// simulated front end and the EEPROM; each query's answer byte for byte;
// refused parameters changing nothing; CH2 with its own channel.
#include <gtest/gtest.h>

#include <string>

#include "acquisition/channel/task_ch1.h"
#include "acquisition/channel/task_ch2.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/y_system.h"
#include "core/board/eeprom_map.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/sim/fpga/sim_decode_vertical.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"

namespace {
struct ChScpi : ::testing::Test {
  Bench bench;
  plat::SimFpga& fpga = plat::Fpga();

  void SetUp() override {
    auto e = FormattedEeprom(6, 0, 0);
    e[EE_SOURCE_ON] = 1;  // CH1 on and active, CH2 off
    bench.SetEeprom(e);
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();  // only the SCPI thread and its worker run beside the test
    ASSERT_EQ(0, StartScpiThread());
    SysRunStatus.ClearDrawRefresh();
  }
  // A query's answer as the transport gets it.
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  // A setter, then a query that the worker runs after it: the setter has run.
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("KEY:CH1:LOCK?").empty());
  }
  // A setter that must be refused: nothing changes and nothing is redrawn.
  void Refused(const std::string& line, const std::string& query, const std::string& answer) {
    SysRunStatus.ClearDrawRefresh();
    Set(line);
    EXPECT_EQ(Ask(query), answer) << line;
    EXPECT_FALSE(SysRunStatus.IsDrawRefresh()) << line;
  }
  bool Redrawn() {
    const bool r = SysRunStatus.IsDrawRefresh();
    SysRunStatus.ClearDrawRefresh();
    return r;
  }
  Menu& M(int ch) { return ch ? TaskCh2.TaskMenu : TaskCh1.TaskMenu; }
  float Base(int ch) { return Voltage[Vertical.GetRealYsensitivity(ch)]; }
};
}  // namespace

TEST_F(ChScpi, CouplingReachesTheFrontEndAndIsAnsweredFromTheItem) {
  EXPECT_EQ(Ask(":CHANnel1:COUPling?"), "DC\r\n");
  Set(":CHANnel1:COUPling AC");
  EXPECT_TRUE(Redrawn());
  EXPECT_EQ(M(0).GetMenuItem(kChCoupling), 1u);
  EXPECT_EQ(bench.EepromByte(95), 1);
  EXPECT_EQ(plat::SimDecodedChannel(0).coupling, 1);
  EXPECT_EQ(Ask(":CHAN1:COUP?"), "AC\r\n");
  EXPECT_EQ(Ask(":chan1:coup?"), "");  // short forms are upper case

  Set("CHAN1:COUP GND");
  EXPECT_TRUE(plat::SimDecodedChannel(0).ground);
  EXPECT_EQ(Ask("CHANNEL1:COUPLING?"), "GND\r\n");
  Set("CHAN1:COUP dc");
  EXPECT_FALSE(plat::SimDecodedChannel(0).ground);
  EXPECT_EQ(plat::SimDecodedChannel(0).coupling, 0);
  Set("CHAN1:COUP AC");

  Refused("CHAN1:COUP XY", "CHAN1:COUP?", "AC\r\n");
  Refused("CHAN1:COUP", "CHAN1:COUP?", "AC\r\n");
  EXPECT_EQ(plat::SimDecodedChannel(0).coupling, 1);
  EXPECT_EQ(plat::SimDecodedChannel(1).coupling, 0);  // CH2 keeps its own
  EXPECT_EQ(Ask("CHAN2:COUP?"), "DC\r\n");
}

TEST_F(ChScpi, BandwidthInvertAndVernierReachTheVerticalModel) {
  EXPECT_EQ(Ask("CHAN1:BWL?"), "0\r\n");
  Set("CHAN1:BWLimit ON");
  EXPECT_TRUE(Redrawn());
  EXPECT_TRUE(plat::SimDecodedChannel(0).bwLimit);
  EXPECT_EQ(bench.EepromByte(96), 1);
  EXPECT_EQ(Ask("CHAN1:BWLimit?"), "1\r\n");
  Set("CHAN1:BWL 0");
  EXPECT_FALSE(plat::SimDecodedChannel(0).bwLimit);
  Refused("CHAN1:BWL 2", "CHAN1:BWL?", "0\r\n");

  Set("CHAN1:INVert 1");
  EXPECT_TRUE(Redrawn());
  EXPECT_TRUE(plat::SimDecodedChannel(0).inverted);
  EXPECT_EQ(fpga.Word(204), 1);
  EXPECT_EQ(bench.EepromByte(99), 1);
  EXPECT_EQ(Ask("CHAN1:INV?"), "1\r\n");
  Refused("CHAN1:INV YES", "CHAN1:INV?", "1\r\n");
  Set("CHAN1:INV OFF");
  EXPECT_FALSE(plat::SimDecodedChannel(0).inverted);

  Set("CHAN1:VERNier ON");
  EXPECT_EQ(Vertical.GetFineOnOff(0), 1);
  EXPECT_EQ(bench.EepromByte(97), 1);
  EXPECT_EQ(Ask("CHAN1:VERN?"), "1\r\n");
  Refused("CHAN1:VERN", "CHAN1:VERN?", "1\r\n");
  Set("CHAN1:VERN 0");
  EXPECT_EQ(Vertical.GetFineOnOff(0), 0);
  EXPECT_EQ(Ask("CHAN1:VERN?"), "0\r\n");
}

TEST_F(ChScpi, ProbeKeywordsAndCustomRatios) {
  EXPECT_EQ(Ask("CHAN1:PROB?"), "1X\r\n");
  Set("CHAN1:PROBe 10X");
  EXPECT_TRUE(Redrawn());
  EXPECT_EQ(Vertical.GetYRealprobe(0), 4);
  EXPECT_EQ(bench.EepromByte(98), 4);
  EXPECT_FLOAT_EQ(Vertical.GetRealYDivVoltage(0), 10 * Base(0));
  EXPECT_EQ(Ask("CHAN1:PROBe?"), "10X\r\n");
  Set("CHAN1:PROB 0.001x");
  EXPECT_EQ(Ask("CHAN1:PROB?"), "0.001X\r\n");

  Set("CHAN1:PROB 2.5");  // a number: the custom ratio
  EXPECT_EQ(M(0).GetMenuItem(kChProbe), 7u);
  EXPECT_FLOAT_EQ(ItemParaF32(M(0).GetMenuItem(kChCustom)), 2.5f);
  EXPECT_EQ(Vertical.GetYRealprobe(0), 7);
  EXPECT_FLOAT_EQ(Vertical.GetYRealProbeScale(0), 2.5f);
  EXPECT_FLOAT_EQ(Vertical.GetRealYDivVoltage(0), 2.5f * Base(0));
  EXPECT_EQ(Ask("CHAN1:PROB?"), "2.500X\r\n");
  Set("CHAN1:PROB -3");
  EXPECT_EQ(Ask("CHAN1:PROB?"), "0.001X\r\n");
  EXPECT_FLOAT_EQ(Vertical.GetYRealProbeScale(0), 0.001f);
  Set("CHAN1:PROB 5000");
  EXPECT_EQ(Ask("CHAN1:PROB?"), "1000.000X\r\n");
  Set("CHAN1:PROB 0");  // no ratio of 0
  EXPECT_EQ(Ask("CHAN1:PROB?"), "0.001X\r\n");
  Set("CHAN1:PROB 100X");
  EXPECT_EQ(Vertical.GetYRealprobe(0), 5);

  Refused("CHAN1:PROB TEN", "CHAN1:PROB?", "100X\r\n");
  Refused("CHAN1:PROB nan", "CHAN1:PROB?", "100X\r\n");
  Refused("CHAN1:PROB", "CHAN1:PROB?", "100X\r\n");
  EXPECT_EQ(Vertical.GetYRealprobe(0), 5);
  EXPECT_EQ(Vertical.GetYRealprobe(1), 3);  // CH2 keeps its own
}

// A bare number is not cut out of a longer keyword: "1" is 1X, not 10X.
TEST_F(ChScpi, ProbeNumbersSelectTheirOwnRatio) {
  const struct {
    const char* number;
    int probe;
    const char* answer;
  } cases[] = {{"1", 3, "1X"}, {"10", 4, "10X"}, {"100", 5, "100X"}, {"1000", 6, "1000X"}, {"0.1", 2, "0.1X"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    Set(std::string("CHAN1:PROB ") + c.number);
    EXPECT_EQ(Vertical.GetYRealprobe(0), c.probe);
    EXPECT_EQ(Ask("CHAN1:PROB?"), std::string(c.answer) + "\r\n");
  }
  Set("CHAN1:PROB 1");
  EXPECT_FLOAT_EQ(Vertical.GetRealYDivVoltage(0), Base(0));
}

TEST_F(ChScpi, ProbeTypeAndUnitsSwitchTheProbePages) {
  EXPECT_EQ(Ask("CHAN1:PROB:TYP?"), "VOLTs\r\n");
  EXPECT_EQ(Ask("CHAN1:UNIT?"), "VOLTs\r\n");
  Set("CHAN1:UNITs AMPeres");  // a voltage probe: the current probe, unit A
  EXPECT_TRUE(Redrawn());
  EXPECT_EQ(M(0).GetCurrPage(), 5);
  EXPECT_EQ(Vertical.GetChUnit(0), 1);
  EXPECT_EQ(Vertical.GetYRealprobe(0), 7);
  EXPECT_FLOAT_EQ(Vertical.GetYRealProbeScale(0), 200.0f);
  EXPECT_EQ(bench.EepromByte(215), 1);
  EXPECT_EQ(Ask("CHAN1:UNITs?"), "AMPeres\r\n");
  EXPECT_EQ(Ask("CHAN1:PROBe:TYPe?"), "AMPeres\r\n");

  Set("CHAN1:PROB:TYP VOLT");  // back to the voltage probe, unit V, 1X
  EXPECT_EQ(M(0).GetCurrPage(), 1);
  EXPECT_EQ(Vertical.GetChUnit(0), 0);
  EXPECT_EQ(Vertical.GetYRealprobe(0), 3);
  EXPECT_EQ(Ask("CHAN1:PROB:TYP?"), "VOLTs\r\n");
  Set("CHAN1:PROB:TYP AMP");
  EXPECT_EQ(M(0).GetCurrPage(), 5);
  EXPECT_EQ(Ask("CHAN1:UNIT?"), "AMPeres\r\n");

  Set("CHAN1:UNIT WATT");  // the voltage probe again, with the unit asked for
  EXPECT_EQ(M(0).GetCurrPage(), 1);
  EXPECT_EQ(Vertical.GetChUnit(0), 2);
  EXPECT_EQ(bench.EepromByte(101), 2);
  EXPECT_EQ(Ask("CHAN1:UNIT?"), "WATTs \r\n");
  Set("CHAN1:UNIT UNKN");
  EXPECT_EQ(Vertical.GetChUnit(0), 3);
  EXPECT_EQ(Ask("CHAN1:UNIT?"), "UNKNown\r\n");
  Refused("CHAN1:UNIT OHMS", "CHAN1:UNIT?", "UNKNown\r\n");
  Refused("CHAN1:PROB:TYP WATT", "CHAN1:PROB:TYP?", "VOLTs\r\n");
  EXPECT_EQ(Vertical.GetChUnit(0), 3);
}

TEST_F(ChScpi, DisplaySelectAndTheChKey) {
  EXPECT_EQ(Ask("CHAN1:DISP?"), "1\r\n");
  EXPECT_EQ(Ask("KEY:CH1:LED?"), "1\r\n");
  EXPECT_EQ(Ask("CHAN2:DISP?"), "0\r\n");
  Set("CHAN1:DISPlay ON");  // on and active already: nothing happens
  EXPECT_FALSE(Redrawn());
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 1);

  Set("CHAN2:DISPlay ON");  // as the CH2 key: on, active, its module current
  EXPECT_TRUE(Redrawn());
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 3);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 1);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 7);
  EXPECT_EQ(fpga.Word(38), 3 * 4);
  EXPECT_EQ(Ask("KEY:CH2:LED?"), "1\r\n");
  EXPECT_EQ(Ask("CHAN2:SEL?"), "1\r\n");
  EXPECT_EQ(Ask("CHAN1:SEL?"), "0\r\n");

  Set("CHAN1:SELect");
  EXPECT_TRUE(Redrawn());
  EXPECT_EQ(SysRunStatus.GetActivCh(), 0);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 6);
  EXPECT_EQ(M(0).GetCurrPage(), 0);
  EXPECT_EQ(fpga.Word(116), 0);
  EXPECT_EQ(Ask("CHAN1:SELect?"), "1\r\n");

  Set("CHAN1:DISP OFF");  // CH2 is left: active, its module current
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 2);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 1);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 7);
  EXPECT_EQ(Ask("CHAN1:DISP?"), "0\r\n");
  Refused("CHAN2:DISP MAYBE", "CHAN2:DISP?", "1\r\n");
  Set("CHAN1:DISP 1");
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 3);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 0);
}

TEST_F(ChScpi, KeyCommandsQueueTheChKeyAndLockIt) {
  EXPECT_EQ(Ask("KEY:CH1:LOCK?"), "0\r\n");
  Set("KEY:CH1:LOCK ON");
  EXPECT_EQ(Ask("KEY:CH1:LOCK?"), "1\r\n");
  EXPECT_EQ(Ask("KEY:CH2:LOCK?"), "0\r\n");
  Set("KEY:CH2:LOCK 1");
  Set("KEY:CH1:LOCK off");
  EXPECT_EQ(Ask("KEY:CH1:LOCK?"), "0\r\n");
  EXPECT_EQ(Ask("KEY:CH2:LOCK?"), "1\r\n");
  Set("KEY:CH2:LOCK 7");
  Set("KEY:CH2:LOCK");
  EXPECT_EQ(Ask("KEY:CH2:LOCK?"), "1\r\n");
  Set("KEY:CH2:LOCK 0");

  Set("KEY:CH2");  // the main loop takes it as the CH2 key
  int code = 0, step = 0;
  ASSERT_EQ(KeyBoard.GetScpiKey(&code, &step), 0);
  EXPECT_EQ(code, 65);
  Set("KEY:CH1");
  ASSERT_EQ(KeyBoard.GetScpiKey(&code, &step), 0);
  EXPECT_EQ(code, 64);
  Set("KEY:CH2");
  bench.Pass();
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 3);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 7);
}

TEST_F(ChScpi, TheSecondChannelsCommandsReachItsOwnItems) {
  Set("CHAN2:COUP AC");
  EXPECT_EQ(bench.EepromByte(106), 1);
  EXPECT_EQ(plat::SimDecodedChannel(1).coupling, 1);
  EXPECT_EQ(plat::SimDecodedChannel(0).coupling, 0);
  EXPECT_EQ(Ask("CHAN2:COUP?"), "AC\r\n");
  EXPECT_EQ(Ask("CHAN1:COUP?"), "DC\r\n");
  Set("CHAN2:BWL ON");
  EXPECT_TRUE(plat::SimDecodedChannel(1).bwLimit);
  EXPECT_FALSE(plat::SimDecodedChannel(0).bwLimit);
  Set("CHAN2:INV ON");
  EXPECT_EQ(bench.EepromByte(110), 1);
  EXPECT_TRUE(plat::SimDecodedChannel(1).inverted);
  EXPECT_FALSE(plat::SimDecodedChannel(0).inverted);
  Set("CHAN2:VERN 1");
  EXPECT_EQ(Vertical.GetFineOnOff(1), 1);
  EXPECT_EQ(Vertical.GetFineOnOff(0), 0);

  Set("CHAN2:PROB 7.25");
  EXPECT_FLOAT_EQ(Vertical.GetYRealProbeScale(1), 7.25f);
  EXPECT_EQ(bench.EepromByte(109), 7);
  EXPECT_EQ(Ask("CHAN2:PROB?"), "7.250X\r\n");
  EXPECT_EQ(Ask("CHAN1:PROB?"), "1X\r\n");
  Set("CHAN2:UNIT AMP");  // the current-probe page of CH2 is page 2
  EXPECT_EQ(M(1).GetCurrPage(), 2);
  EXPECT_EQ(bench.EepromByte(216), 1);
  EXPECT_EQ(Vertical.GetChUnit(1), 1);
  EXPECT_EQ(Vertical.GetChUnit(0), 0);
  EXPECT_EQ(Ask("CHAN2:UNIT?"), "AMPeres\r\n");
  EXPECT_EQ(Ask("CHAN2:PROB:TYP?"), "AMPeres\r\n");
  EXPECT_EQ(Ask("CHAN1:PROB:TYP?"), "VOLTs\r\n");
  EXPECT_EQ(Ask("CHAN3:COUP?"), "");  // no third channel
}
