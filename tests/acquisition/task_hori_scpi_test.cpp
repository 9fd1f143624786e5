// The horizontal commands through the SCPI thread and its worker, as a
// transport sends them: every row's answer byte for byte, setters reaching
// the time-base model, the simulated FPGA's words and the menu items, and
// refused settings leaving the items showing what is in force.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "acquisition/horizontal/task_hori.h"
#include "acquisition/tables/timebase_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "core/board/eeprom_map.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "core/state/wave_types.h"
#include "platform/sim/fpga/sim_decode_timebase.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"
#include "tests/bench/eeprom_addresses.h"

namespace {
struct HoriScpi : ::testing::Test {
  Bench bench;
  plat::SimFpga& fpga = plat::Fpga();

  void SetUp() override {
    auto e = FormattedEeprom(13, 0, 0);
    e[EE_SOURCE_ON] = 3;  // both channels on
    e[199] = 25;          // hold-off 100 ns (big-endian u32 at 196)
    e[196] = e[197] = e[198] = 0;
    e[ee::kDispWaveBright] = 50;  // the factory brightness: CH1's trace in its own colour
    bench.SetEeprom(e);
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    ASSERT_EQ(0, StartScpiThread());
    SysRunStatus.ClearDrawRefresh();
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  // A setter, then a query the worker runs after it.
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("KEY:HMENu:LOCK?").empty());
  }
  int Item(int n) { return int(TaskHori.TaskMenu.GetMenuItem(n)); }
  // An acquisition and a pass of the main loop that takes it.
  void Acquire() {
    fpga.AcquireNow();
    bench.Pass();
  }
};
}  // namespace

TEST_F(HoriScpi, TheTimeBaseIsSetStepAndAnswered) {
  EXPECT_EQ(Ask("TIMebase:SCALe?"), "1.000000e-06 \r\n");
  Set("TIMebase:SCALe 1e-3");
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 21);
  EXPECT_EQ(Ask("TIMebase:SCALe?"), "1.000000e-03 \r\n");
  EXPECT_EQ(Ask("TIM:SCAL?"), "1.000000e-03 \r\n");
  // 1 ms/div: a screen column is 1 ms / 50.
  EXPECT_NEAR(plat::SimDecodedTimebase().columnTimeNs, 1e6 / 50, 1);
  Set("TIM:SCAL UP");
  EXPECT_EQ(Ask("TIM:SCAL?"), "2.000000e-03 \r\n");
  Set("TIM:SCAL DOWN");
  Set("TIM:SCAL DOWN");
  EXPECT_EQ(Ask("TIM:SCAL?"), "5.000000e-04 \r\n");
  // Numbers at or below zero and other words change nothing.
  Set("TIM:SCAL 0");
  Set("TIM:SCAL -1");
  Set("TIM:SCAL FAST");
  Set("TIM:SCAL");
  EXPECT_EQ(Ask("TIM:SCAL?"), "5.000000e-04 \r\n");
  // Past the ends of the table: the slowest and the fastest time base.
  Set("TIM:SCAL 1e4");
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), kTimeBaseMaxIndex);
  EXPECT_EQ(std::stod(Ask("TIM:SCAL?")), TimeBaseS[kTimeBaseMaxIndex]);
  Set("TIM:SCAL 1e-15");
  const int fastest = TimeBase.GetRealTimeBase(0);
  EXPECT_LT(fastest, 12);
  EXPECT_NEAR(plat::SimDecodedTimebase().columnTimeNs, TimeBaseS[fastest] * 1e9 / 50, 1e-3);
  Set("TIM:SCAL DOWN");  // already the fastest the instrument takes
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), fastest);
  Set("TIM:SCAL 1e-3");
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 21);
}

TEST_F(HoriScpi, TheIndependentTimeBasesAnswerTheirOwnSelection) {
  Set("TIMebase1:SCALe 2e-6");
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 13);
  EXPECT_EQ(Ask("TIM:SCAL?"), "2.000000e-06 \r\n");
  // The numbered queries answer the selection, which follows the time base
  // in force once an acquisition is taken with it.
  TimeBase.SetTimeBase(0, 13);
  EXPECT_EQ(Ask("TIMebase1:SCALe?"), "2.000000e-06 \r\n");
  Set("TIM:INDP ON");
  bench.Pass(2);
  ASSERT_TRUE(SysRunStatus.IsIndependTimeBase());
  EXPECT_EQ(TimeBase.GetRealTimeBase(1), 13);  // both start on block 0's
  Set("TIMebase2:SCALe UP");
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 13);  // block 0 keeps 2 us/div
  EXPECT_EQ(TimeBase.GetRealTimeBase(1), 14);  // only block 1 stepped
  EXPECT_EQ(plat::Fpga().Word(2), 1);          // the words of block 1
  TimeBase.SetTimeBase(1, 14);
  EXPECT_EQ(Ask("TIM2:SCAL?"), "5.000000e-06 \r\n");
  EXPECT_EQ(Ask("TIM1:SCAL?"), "2.000000e-06 \r\n");
  Set("TIM2:SCAL 1e-3");
  EXPECT_EQ(TimeBase.GetRealTimeBase(1), 21);
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 13);
}

TEST_F(HoriScpi, HoldOffCountsInStepsOfFourNanoseconds) {
  EXPECT_EQ(Ask("TIMebase:HOLDoff?"), "1.000000e-07\r\n");  // the minimum, 25 counts
  Set("TIMebase:HOLDoff 1us");
  EXPECT_EQ(Item(kHoriHoldOff), 250);
  EXPECT_EQ(Ask("TIM:HOLD?"), "1.000000e-06\r\n");
  EXPECT_EQ(plat::SimDecodedTimebase().holdOffUnits, 250u);
  EXPECT_EQ(bench.EepromByte(199), 250);
  Set("TIM:HOLD 20");
  EXPECT_EQ(uint32_t(TaskHori.TaskMenu.GetMenuItem(kHoriHoldOff)), 2500000000u);
  EXPECT_EQ(Ask("TIM:HOLD?"), "1.000000e+01\r\n");
  EXPECT_EQ(plat::SimDecodedTimebase().holdOffUnits, 2500000000u);
  EXPECT_GT(SysRunStatus.GetSysRunInfoBaseAddr()->horizontal[0].holdOff, 0);  // not sign-extended
  Set("TIM:HOLD 10ms");
  EXPECT_EQ(Item(kHoriHoldOff), 2500000);
  Set("TIM:HOLD 3ns");
  EXPECT_EQ(Item(kHoriHoldOff), 25);
  Set("TIM:HOLD 2000000");
  EXPECT_EQ(uint32_t(TaskHori.TaskMenu.GetMenuItem(kHoriHoldOff)), 2500000000u);
  Set("TIM:HOLD");  // a missing value is the minimum
  EXPECT_EQ(Item(kHoriHoldOff), 25);
}

TEST_F(HoriScpi, FormatAndModeAnswerTheirKeywords) {
  EXPECT_EQ(Ask("DISPlay:TYPE?"), "YT \r\n");
  EXPECT_EQ(Ask("TIMebase:MODE?"), "MAIN\r\n");
  Set("DISP:TYPE XY12");
  EXPECT_EQ(Ask("DISP:TYPE?"), "XY12 \r\n");
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & kFuncXY);
  EXPECT_EQ(plat::SimDecodedTimebase().formatWord, 1);
  // Zoom is refused in X-Y: the item keeps showing the main time base.
  Set("TIM:MODE WIND");
  EXPECT_EQ(Ask("TIM:MODE?"), "MAIN\r\n");
  Set("DISP:TYPE YT");
  EXPECT_EQ(Ask("DISP:TYPE?"), "YT \r\n");
  EXPECT_EQ(plat::SimDecodedTimebase().formatWord, 0);
  Set("TIM:MODE WINDow");
  EXPECT_EQ(Ask("TIM:MODE?"), "WINDow\r\n");
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & kFuncZoom);
  Set("TIM:MODE MAIN");
  EXPECT_EQ(Ask("TIM:MODE?"), "MAIN\r\n");
  Set("DISP:TYPE XZ");
  EXPECT_EQ(Ask("DISP:TYPE?"), "YT \r\n");
}

TEST_F(HoriScpi, TheMainOffsetIsClampedAndAnswered) {
  Set("TIM:SCAL 1e-3");
  EXPECT_EQ(Ask("TIMebase:OFFSet?"), "0.000000e+00 \r\n");
  Set("TIMebase:OFFSet 2ms");
  EXPECT_EQ(Ask("TIM:OFFS?"), "2.000000e-03 \r\n");
  Set("TIM:OFFS -1");  // at most 7 divisions the other way
  EXPECT_EQ(Ask("TIM:OFFS?"), "-7.000000e-03\r\n");
  // The zoomed type answers the window offset instead.
  Set("TIM:OFFS 0");
  Set("TIM:MODE WIND");
  EXPECT_EQ(Ask("TIM:OFFS?"), "");
  EXPECT_EQ(Ask("TIM:WIND:OFFS?"), "0.000000e+00 \r\n");
  Set("TIM:WIND:SCAL 1e-4");
  EXPECT_EQ(Ask("TIM:WIND:SCAL?"), "1.000000e-04 \r\n");
  Set("TIM:MODE MAIN");
  EXPECT_EQ(Ask("TIM:WIND:OFFS?"), "");
}

TEST_F(HoriScpi, TheIndependentModeSwitchesOnceThroughTheMainLoop) {
  EXPECT_EQ(Ask("TIMebase:INDPendent?"), "0\r\n");
  EXPECT_EQ(Ask("TIMebase:SPLit:SCReen?"), "1\r\n");
  const int before = fpga.Reconfigurations();
  Set("TIMebase:INDPendent ON");
  bench.Pass(2);
  EXPECT_EQ(fpga.Reconfigurations(), before + 1);
  EXPECT_EQ(fpga.LastReconfiguration()[5], 1008u);
  EXPECT_TRUE(SysRunStatus.IsIndependTimeBase());
  Set("TIM:INDP 1");  // already on: no second reload
  bench.Pass(2);
  EXPECT_EQ(fpga.Reconfigurations(), before + 1);
  EXPECT_EQ(Ask("TIM:INDP?"), "1\r\n");
  // In multi-scope the X-Y format and the window are refused.
  Set("DISP:TYPE XY12");
  EXPECT_EQ(Ask("DISP:TYPE?"), "YT \r\n");
  Set("TIM:MODE WIND");
  EXPECT_EQ(Ask("TIM:MODE?"), "MAIN\r\n");
  Set("TIM:SPL:SCR OFF");
  EXPECT_EQ(Ask("TIM:SPL:SCR?"), "0\r\n");
  EXPECT_EQ(fpga.Word(4), 0);
  Set("TIM:SPL:SCR ON");
  EXPECT_EQ(fpga.Word(4), 1);
  Set("TIM:INDP OFF");
  bench.Pass(2);
  EXPECT_EQ(fpga.LastReconfiguration()[5], 1023u);
  EXPECT_FALSE(SysRunStatus.IsIndependTimeBase());
}

TEST_F(HoriScpi, ARefusedIndependentSwitchLeavesTheItemOff) {
  SysRunStatus.SetAcquireStatus(0, 4);  // stopped: refused with message 77
  Set("TIM:INDP ON");
  bench.Pass(2);
  EXPECT_EQ(Ask("TIM:INDP?"), "0\r\n");
  EXPECT_FALSE(SysRunStatus.IsIndependTimeBase());
}

TEST_F(HoriScpi, TheHoriKeyAndItsLock) {
  Set("KEY:HMENu");
  bench.Pass();
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kHoriTaskId);
  EXPECT_EQ(Ask("KEY:HMEN:LOCK?"), "0\r\n");
  Set("KEY:HMEN:LOCK ON");
  EXPECT_EQ(Ask("KEY:HMEN:LOCK?"), "1\r\n");
  EXPECT_EQ(KeyBoard.KeyValueIsLock(kHoriKey), 1);
  Set("KEY:HMEN:LOCK OFF");
  EXPECT_EQ(Ask("KEY:HMEN:LOCK?"), "0\r\n");
}

TEST(HoriTime, TimeTextsScaleByTheirUnit) {
  EXPECT_DOUBLE_EQ(TimeStringParse("5ns"), 5e-9);
  EXPECT_DOUBLE_EQ(TimeStringParse("2.5us"), 2.5e-6);
  EXPECT_DOUBLE_EQ(TimeStringParse("3ms"), 3e-3);
  EXPECT_DOUBLE_EQ(TimeStringParse("7"), 7.0);
  EXPECT_DOUBLE_EQ(TimeStringParse(nullptr), -1.0);
  EXPECT_EQ(HoldOffCounts(5e-9), 25u);
  EXPECT_EQ(HoldOffCounts(20.0), 2500000000u);
  EXPECT_EQ(HoldOffCounts(10.0), 2500000000u);
  EXPECT_EQ(HoldOffCounts(1e-6), 250u);
  EXPECT_EQ(HoldOffCounts(-1.0), 25u);
}

namespace {
// Upward crossings of the screen's middle row by the CH1 trace (the pixels
// CH1's palette paints), left of the menu (600 columns).
int TraceCrossings(const Bench& b) {
  const std::set<uint32_t> ch1 = b.PaletteColours(0);
  int n = 0, prev = -1;
  for (int c = 31; c < 631; ++c) {
    int top = -1;
    for (int r = 33; r < 434; ++r)
      if (ch1.count(b.Pixel(r, c))) {
        top = r;
        break;
      }
    if (top < 0) continue;
    const int side = top < 233 ? 1 : 0;
    if (prev == 0 && side == 1) ++n;
    prev = side;
  }
  return n;
}

std::vector<uint32_t> StatusLabel(const Bench& b) {
  std::vector<uint32_t> px;
  for (int r = 2; r < 28; ++r)
    for (int c = 110; c < 190; ++c) px.push_back(b.Pixel(r, c));
  return px;
}
}  // namespace

TEST_F(HoriScpi, TheLabelAndTheTraceFollowTheTimeBase) {
  fpga.SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  SetWaveTestSettings();  // 500 us/div, a 1 kHz sine on CH1
  SysRunInfo.sourceOn = 1;
  SysRunInfo.waveType = kWaveRaster;  // the raster, as normal mode paints it
  bench.AdvanceMs(4000);
  auto frames = [&] {
    for (int i = 0; i < 4; ++i) {
      WaveOp.RequestChData(1);
      ASSERT_TRUE(fpga.AcquireNow());
      SysRunStatus.SetDrawRefresh();
      bench.Pass();
    }
  };
  frames();
  const std::vector<uint32_t> label = StatusLabel(bench);
  EXPECT_NEAR(TraceCrossings(bench), 6, 1);  // 6 ms across 600 columns
  Set("TIMebase:SCALe 1e-3");
  frames();
  EXPECT_NE(StatusLabel(bench), label);
  EXPECT_NEAR(TraceCrossings(bench), 12, 1);  // 12 ms
  Set("TIMebase:SCALe 5e-4");
  frames();
  EXPECT_EQ(StatusLabel(bench), label);
  EXPECT_NEAR(TraceCrossings(bench), 6, 1);
}
