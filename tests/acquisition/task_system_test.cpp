// The system module on the simulated board: knob keys from the front panel
// change the settings and the words the simulated FPGA decodes (at once while
// stopped, after the next read-out while a fast time base runs), refusals with
// their messages, RUN/STOP and single sweeps pausing and resuming the FPGA,
// the queue rules, screenshots as BMP files of the frame shown, the EEPROM
// factory values and the TASK-SYSTEM setup block.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "acquisition/channel/task_ch1.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "acquisition/system_module/task_system.h"
#include "acquisition/tables/timebase_tables.h"
#include "acquisition/tables/voltage_tables.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/input/rs232.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/sim/fpga/sim_decode_timebase.h"
#include "platform/sim/fpga/sim_decode_vertical.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/devices/usb.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kFastTimeBase = 20;  // 500 us/div: knob changes wait for the read-out

struct SystemModule : ::testing::Test {
  Bench bench;
  plat::SimFpga& fpga = plat::Fpga();

  void SetUp() override {
    auto e = FormattedEeprom(6, 0, 0);
    e[EE_SOURCE_ON] = 1;
    bench.SetEeprom(e);
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    SetWaveTestSettings();
    TimeBase.SetRealTimeBase(0, kFastTimeBase);
    TimeBase.AdjTimeBase(0, 0);
    TaskSystem.RunOpCmd();  // the temperature corrections queued at start-up
    QelMsg.ClearMessage();
  }
  // A knob event a second after the last, so the knob takes single steps.
  void Turn(uint8_t code) {
    bench.AdvanceMs(1000);
    bench.Key(code);
  }
  int Status() { return SysRunStatus.GetAcquireStatus(0); }
  // One acquisition and the main-loop pass that reads it (and replays the queue).
  void Acquire() {
    fpga.AcquireNow();
    bench.Pass();
  }
  void Stop() {
    if (Status() != 4) bench.Key(59);
    ASSERT_EQ(Status(), 4);
  }
  std::string Path(const std::string& rel) { return bench.Root() + "/" + rel; }
};

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}
}  // namespace

TEST_F(SystemModule, TimeBaseKnobRunningWaitsForTheReadOutThenReachesTheFpga) {
  const double before = plat::SimDecodedTimebase().samplePeriodNs;
  Turn(87);                                                   // TB_L: one step slower
  EXPECT_EQ(SysRunStatus.GetRealTimeBase(0), kFastTimeBase);  // queued
  EXPECT_EQ(TaskSystem.IsRunOpCmd(), 0);
  EXPECT_EQ(SysRunStatus.GetTimeBaseAdjFlag(), 1);
  Acquire();
  EXPECT_LT(TaskSystem.IsRunOpCmd(), 0);
  EXPECT_EQ(SysRunStatus.GetRealTimeBase(0), kFastTimeBase + 1);
  EXPECT_STREQ(TimeBaseStr[SysRunStatus.GetRealTimeBase(0)], "1.00ms");
  EXPECT_EQ(bench.EepromByte(EE_TIMEBASE), kFastTimeBase + 1);
  const double slower = plat::SimDecodedTimebase().samplePeriodNs;
  EXPECT_GT(slower, before);
  // The column time the FPGA decodes follows the table: 1 ms/div over 50 columns.
  EXPECT_NEAR(plat::SimDecodedTimebase().columnTimeNs, TimeBaseS[kFastTimeBase + 1] / 50 * 1e9, 1.0);

  Turn(86);  // TB_R: back
  Acquire();
  EXPECT_EQ(SysRunStatus.GetRealTimeBase(0), kFastTimeBase);
  EXPECT_DOUBLE_EQ(plat::SimDecodedTimebase().samplePeriodNs, before);
}

TEST_F(SystemModule, VoltsKnobChangesTheDecodedRangeAndASecondTurnWhilePendingIsDropped) {
  const int idx = Vertical.GetRealYsensitivity(0);
  Turn(85);  // VOLTS_L: one range up
  Turn(85);  // the same key pending: dropped
  EXPECT_EQ(Vertical.GetRealYsensitivity(0), idx);
  Acquire();
  EXPECT_EQ(Vertical.GetRealYsensitivity(0), idx + 1);
  EXPECT_NEAR(plat::SimDecodedChannel(0).vdiv, Voltage[idx + 1], 1e-6);
  EXPECT_EQ(bench.EepromByte(EE_VDIV), idx + 1);

  Stop();  // stopped: applied at once, and in the front end once running
  Turn(84);
  EXPECT_EQ(Vertical.GetRealYsensitivity(0), idx);
  bench.Key(59);
  EXPECT_NEAR(plat::SimDecodedChannel(0).rangeVdiv, Voltage[idx], 1e-6);
}

TEST_F(SystemModule, PositionKnobStepsAddUpWhilePendingAndThePushCentres) {
  Turn(78);
  Turn(78);  // the same knob again: its step is added
  EXPECT_EQ(Vertical.GetRealYposition(0), 127);
  Acquire();
  EXPECT_EQ(Vertical.GetRealYposition(0), 129);
  EXPECT_NEAR(plat::SimDecodedChannel(0).zeroPosition, 129, 0.5);

  Stop();
  Turn(79);
  EXPECT_EQ(Vertical.GetRealYposition(0), 128);
  Turn(73);  // the push: back to the centre
  EXPECT_EQ(Vertical.GetRealYposition(0), 127);
  bench.Key(59);
  EXPECT_NEAR(plat::SimDecodedChannel(0).zeroPosition, 127, 0.5);
}

TEST_F(SystemModule, TriggerKnobsMoveTheLevel) {
  const int level = SysRunStatus.GetTrigLevelLowHigh() == 1 ? 1 : 0;  // the level the knob moves
  const int before = Trigger.GetTriggerPos(0, level);
  Turn(82);
  EXPECT_EQ(Trigger.GetTriggerPos(0, level), before + 1);
  EXPECT_EQ(SysRunStatus.GetAdjTrigFlag(), 1);
  Turn(83);
  Turn(83);
  EXPECT_EQ(Trigger.GetTriggerPos(0, level), before - 1);
}

// An Edge trigger uses one level, the one the knob moves: its mark (glyph in the
// trigger column, line across the wave area while it moves) is drawn at that
// level's row, (117 - code) x 2 in Y-T, not at the other level's.
TEST_F(SystemModule, TheSingleLevelMarkFollowsTheLevelTheKnobMoves) {
  constexpr uint32_t kCh1 = 0x00CCCC, kGlyph = 0xC8C8AF;
  ASSERT_GE(Trigger.SetTriggerType(0), 0);
  ASSERT_GE(SysRunStatus.SetTrigLevelLowHigh(1), 0);
  Stop();  // no trace crosses the rows counted
  Trigger.SetTriggerPos(0, 0, -60);
  Trigger.SetTriggerPos(0, 1, 0);
  for (int i = 0; i < 20; ++i) Turn(82);
  ASSERT_EQ(Trigger.GetTriggerPos(0, 1), 20);
  ASSERT_EQ(Trigger.GetTriggerPos(0, 0), -60);
  if (SysRunStatus.IsMenuStatus()) SysRunStatus.MenuOnOff();  // the menu covers the trigger column
  SysRunStatus.SetDrawRefresh();
  bench.Pass();
  const int moved = (117 - 20) * 2, other = (117 + 60) * 2;
  // The line (dashed: the level being adjusted) across the wave area.
  EXPECT_GT(bench.CountPixels(moved, 40, 500, 1, kCh1), 200);
  EXPECT_LT(bench.CountPixels(other, 40, 500, 1, kCh1), 20);
  EXPECT_GT(bench.CountPixels(moved - 6, 715, 12, 12, kGlyph), 0);
  EXPECT_EQ(bench.CountPixels(other - 6, 715, 12, 12, kGlyph), 0);
}

// The level push in auto sweep: one record at a fast time base in peak-detect
// mode gives the signal's extremes; the level goes to their middle, and the
// time base and acquisition mode come back. A read that gets nothing keeps
// the level and puts them back as well.
TEST_F(SystemModule, LevelPushTakesTheMiddleOfTheSignalAndRestoresTheAcquisition) {
  plat::TestSignal sig = fpga.Signal(0);
  sig.offsetV = 0.5;  // 25 codes above the centre at 500 mV/div
  fpga.SetSignal(0, sig);
  fpga.SetPacing(plat::SimAcquire::Pacing::kUnpaced);
  const int level = Trigger.GetTrigLevel();
  const int mode = SysRunStatus.GetAcquireMode();
  Turn(75);
  EXPECT_NEAR(Trigger.GetTriggerPos(0, level), 25, 1);
  // Applied: the level's voltage is the signal's middle too (20 mV a code),
  // so the next range change keeps the level there.
  EXPECT_NEAR(Trigger.GetTriggerVoltage(0, level), sig.offsetV, 0.021);
  Turn(85);  // volts/div one range coarser
  EXPECT_NEAR(Trigger.GetTriggerVoltage(0, level), sig.offsetV, 0.041);
  EXPECT_EQ(SysRunStatus.GetRealTimeBase(0), kFastTimeBase);
  EXPECT_EQ(SysRunStatus.GetAcquireMode(), mode);
  EXPECT_LT(Status(), 4);

  fpga.SetPacing(plat::SimAcquire::Pacing::kOnDemand);  // no acquisition comes
  Trigger.SetTriggerPos(0, level, 10);
  Turn(75);
  EXPECT_EQ(Trigger.GetTriggerPos(0, level), 10);
  EXPECT_EQ(SysRunStatus.GetRealTimeBase(0), kFastTimeBase);
  EXPECT_EQ(SysRunStatus.GetAcquireMode(), mode);
  EXPECT_LT(Status(), 4);
  EXPECT_EQ(fpga.Word(0), 0);  // out of reset: sampling runs again
}

TEST_F(SystemModule, KnobsAreRefusedWithoutAChannelAndWhileRecording) {
  SysRunStatus.SetChStatus(0);
  Turn(86);
  EXPECT_EQ(QelMsg.GetMessageID(), 73);
  EXPECT_LT(TaskSystem.IsRunOpCmd(), 0);
  QelMsg.ClearMessage();
  bench.Key(59);  // RUN/STOP still toggles, then the message
  EXPECT_EQ(Status(), 4);
  EXPECT_EQ(QelMsg.GetMessageID(), 73);

  SysRunStatus.SetChStatus(1);
  SysRunStatus.SetFuncBit(0x100);
  const int idx = Vertical.GetRealYsensitivity(0);
  Turn(84);
  EXPECT_EQ(QelMsg.GetMessageID(), 22);
  EXPECT_EQ(Vertical.GetRealYsensitivity(0), idx);
}

TEST_F(SystemModule, RunStopPausesTheFpgaAndResumesIt) {
  Acquire();
  ASSERT_NE(Status(), 4);
  bench.Key(59);
  EXPECT_EQ(Status(), 4);
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(1), 4);
  EXPECT_EQ(fpga.Word(128), 1);
  EXPECT_EQ(fpga.Word(6), control::LedWord(1, 0, 4));
  const auto frame = fpga.LastAcquisition().serial;
  EXPECT_FALSE(fpga.AcquireNow());  // a stopped screen stays still
  bench.Pass(3);
  EXPECT_EQ(fpga.LastAcquisition().serial, frame);
  EXPECT_EQ(Status(), 4);

  bench.Key(59);
  EXPECT_LT(Status(), 4);  // running again
  EXPECT_EQ(fpga.Word(128), 0);
  EXPECT_EQ(fpga.Word(6), control::LedWord(1, 0, 0));
  EXPECT_TRUE(fpga.AcquireNow());
}

TEST_F(SystemModule, SingleSweepMakesOneAcquisitionAndStops) {
  Trigger.SetTriggerMode(2);
  Stop();
  QelMsg.ClearMessage();
  bench.Key(59);
  EXPECT_EQ(QelMsg.GetMessageID(), 58);
  EXPECT_LT(Status(), 4);
  ASSERT_TRUE(fpga.AcquireNow());
  bench.Pass();  // the read-out sees the single sweep done: RUN/STOP stops it
  EXPECT_EQ(Status(), 4);
  EXPECT_EQ(QelMsg.GetMessageID(), 59);
  EXPECT_EQ(fpga.Word(128), 1);
  EXPECT_FALSE(fpga.AcquireNow());
}

TEST_F(SystemModule, OpQueueMergesDropsAndHoldsTwenty) {
  ASSERT_EQ(TaskSystem.AppendOpCmd(78, 0, 2, 0), 0);
  ASSERT_EQ(TaskSystem.AppendOpCmd(78, 0, 3, 0), 0);  // merged: step 5
  EXPECT_EQ(TaskSystem.AppendOpCmd(84, 0, -1, 0), 0);
  EXPECT_EQ(TaskSystem.AppendOpCmd(84, 0, -1, 0), -1);  // dropped
  EXPECT_EQ(TaskSystem.AppendOpCmd(145, 0, 0, 0), 0);   // temperature, both channels
  EXPECT_EQ(TaskSystem.AppendOpCmd(145, 1, 0, 0), 0);
  EXPECT_EQ(TaskSystem.IsRunOpCmd(), 3);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(TaskSystem.AppendOpCmd(int16_t(200 + i), 0, 0, 0), 0);
  EXPECT_EQ(TaskSystem.IsRunOpCmd(), 19);
  EXPECT_EQ(TaskSystem.AppendOpCmd(250, 0, 0, 0), -1);  // the 21st
  const int pos = Vertical.GetRealYposition(0);
  EXPECT_EQ(TaskSystem.RunOpCmd(), 19);
  EXPECT_LT(TaskSystem.IsRunOpCmd(), 0);
  EXPECT_EQ(Vertical.GetRealYposition(0), pos + 5);
  EXPECT_EQ(TaskSystem.RunOpCmd(), -1);
}

TEST_F(SystemModule, DelayedRingRunsEachEntryOneSecondLater) {
  Stop();
  const int tb = SysRunStatus.GetRealTimeBase(0);
  ASSERT_EQ(AddrCmd(), 0);  // key 87, step 1
  ASSERT_EQ(AddrCmd(), 0);  // merged: step 2
  EXPECT_EQ(TaskSystem.DelayPending(), 1);
  EXPECT_EQ(TaskSystem.DelayRunOpCmd(), 0);  // not yet due
  EXPECT_EQ(SysRunStatus.GetRealTimeBase(0), tb);
  bench.AdvanceMs(1000);
  TaskSystem.DelayRunOpCmd();
  EXPECT_EQ(TaskSystem.DelayPending(), 0);
  EXPECT_EQ(SysRunStatus.GetRealTimeBase(0), tb + 2);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(TaskSystem.DelayRunAppendOpCmd(int16_t(100 + i), 0, 0, 0), 0);
  EXPECT_EQ(TaskSystem.DelayRunAppendOpCmd(130, 0, 0, 0), -1);
}

TEST_F(SystemModule, ScreenshotIsABmpOfTheFrameShownUnderTheFirstUnusedNumber) {
  bench.Key(55);  // no disk
  EXPECT_EQ(QelMsg.GetMessageID(), 23);

  plat::SimUsbPlug(true);
  SysRunStatus.SetUsbInsertStatus(1);
  bench.Pass(2);
  const std::vector<uint32_t> shown(QelDraw.GetDrawAddr(DRAW_SHOWN),
                                    QelDraw.GetDrawAddr(DRAW_SHOWN) + 800 * 480);
  bench.Key(55);
  EXPECT_EQ(QelMsg.GetMessageID(), 29);
  const auto bmp = ReadFile(Path("udisk/QelPrtSc/QelPrtsc-001.bmp"));
  ASSERT_EQ(bmp.size(), 1152054u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(Le32(bmp, 2), 1152054u);
  EXPECT_EQ(Le32(bmp, 10), 54u);
  EXPECT_EQ(Le32(bmp, 14), 40u);
  EXPECT_EQ(Le32(bmp, 18), 800u);
  EXPECT_EQ(Le32(bmp, 22), 480u);
  EXPECT_EQ(bmp[26] | bmp[27] << 8, 1);
  EXPECT_EQ(bmp[28] | bmp[29] << 8, 24);
  EXPECT_EQ(Le32(bmp, 34), 1152000u);
  EXPECT_EQ(Le32(bmp, 38), 2834u);
  // Bottom row first, blue, green, red.
  for (int row : {0, 40, 233, 479})
    for (int col : {0, 3, 380, 799}) {
      const uint32_t p = shown[size_t(row) * 800 + col];
      const size_t at = 54 + size_t(479 - row) * 2400 + size_t(col) * 3;
      EXPECT_EQ(bmp[at], p & 0xFF) << row << "," << col;
      EXPECT_EQ(bmp[at + 1], p >> 8 & 0xFF);
      EXPECT_EQ(bmp[at + 2], p >> 16 & 0xFF);
    }

  // The first unused number: a gap is filled, no file is overwritten.
  bench.Key(55);
  bench.Key(55);
  ASSERT_EQ(::unlink(Path("udisk/QelPrtSc/QelPrtsc-002.bmp").c_str()), 0);
  std::ofstream(Path("udisk/QelPrtSc/QelPrtsc-003.bmp")) << "kept";
  bench.Key(55);
  EXPECT_EQ(ReadFile(Path("udisk/QelPrtSc/QelPrtsc-002.bmp")).size(), 1152054u);
  EXPECT_EQ(ReadFile(Path("udisk/QelPrtSc/QelPrtsc-003.bmp")).size(), 4u);
  for (int n = 4; n <= 9; ++n) bench.Key(55);
  bench.Key(55);
  EXPECT_EQ(ReadFile(Path("udisk/QelPrtSc/QelPrtsc-010.bmp")).size(), 1152054u);
}

// A screenshot that cannot be written whole (a full disk) leaves no file, not
// even a temporary one, and its number is taken by the next screenshot.
TEST_F(SystemModule, AScreenshotThatFailsLeavesNothingAndKeepsItsNumber) {
  plat::SimUsbPlug(true);
  SysRunStatus.SetUsbInsertStatus(1);
  bench.Pass(2);
  bench.Key(55);
  ASSERT_EQ(ReadFile(Path("udisk/QelPrtSc/QelPrtsc-001.bmp")).size(), 1152054u);
  for (long room : {0L, 1000L, 1048576L, 1152053L}) {
    plat::SimDiskRoom(room);
    bench.Key(55);
    EXPECT_EQ(QelMsg.GetMessageID(), 30) << room;
    plat::SimDiskRoom(-1);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Path("udisk/QelPrtSc")))
      names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"QelPrtsc-001.bmp"}) << room;
  }
  // The same when the USB disk reports less free space than a picture takes.
  plat::SimUsbSetFree(1000);
  bench.Key(55);
  EXPECT_EQ(QelMsg.GetMessageID(), 30);
  EXPECT_FALSE(std::filesystem::exists(Path("udisk/QelPrtSc/QelPrtsc-002.bmp")));
  EXPECT_FALSE(std::filesystem::exists(Path("udisk/QelPrtSc/QelPrtsc-002.bmp.part")));
  EXPECT_EQ(ReadFile(Path("udisk/QelPrtSc/QelPrtsc-001.bmp")).size(), 1152054u);
  plat::SimUsbSetFree(-1);
  bench.Key(55);
  EXPECT_EQ(QelMsg.GetMessageID(), 29);
  EXPECT_EQ(ReadFile(Path("udisk/QelPrtSc/QelPrtsc-002.bmp")).size(), 1152054u);
  EXPECT_FALSE(std::filesystem::exists(Path("udisk/QelPrtSc/QelPrtsc-003.bmp")));
}

TEST_F(SystemModule, ScreenshotFormats) {
  std::vector<uint32_t> page(800 * 480, 0x00FFFFFF);
  page[0] = 0x00102030;  // top-left: R 0x10, G 0x20, B 0x30
  auto at = [](const std::vector<uint8_t>& b, int row, int col) {
    return 54 + size_t(479 - row) * 2400 + size_t(col) * 3;
  };
  auto f0 = ScreenBmp(page.data(), 0);
  EXPECT_EQ(f0[at(f0, 0, 0)], 0x30);
  EXPECT_EQ(f0[at(f0, 0, 0) + 2], 0x10);
  auto f1 = ScreenBmp(page.data(), 1);
  EXPECT_EQ(f1[at(f1, 0, 0)], 255 - 0x30);
  EXPECT_EQ(f1[at(f1, 1, 0)], 0);
  auto f2 = ScreenBmp(page.data(), 2);
  EXPECT_EQ(f2[at(f2, 1, 0)], 255);  // white stays white
  EXPECT_EQ(f2[at(f2, 0, 0)], int(0.587 * 0x20 + 0.299 * 0x10 + 0.114 * 0x30));
  auto f3 = ScreenBmp(page.data(), 3);
  EXPECT_EQ(f3[at(f3, 1, 0) + 1], 0);  // ink-gray of white is 0
  EXPECT_EQ(f3[at(f3, 0, 0)], (587 * (255 - 0x20) + 299 * (255 - 0x10) + 114 * (255 - 0x30)) / 1000);
}

TEST_F(SystemModule, DefaultWritesTheFactoryEepromBytes) {
  for (int a = 42; a <= 243; ++a) bench.SetEepromByte(a, 0xAB);
  ASSERT_EQ(TaskSystem.Default(), 0);
  const auto e = bench.Eeprom();
  for (int a : {42, 43, 44, 45, 62, 63, 64, 65}) EXPECT_EQ(e[a], 12) << a;
  for (int a : {66, 68, 70, 72}) EXPECT_EQ(bench.EepromWord(a), 127) << a;
  for (int a : {74, 76, 78, 80}) EXPECT_EQ(bench.EepromWord(a), 0xFFE7) << a;
  for (int a : {82, 84, 86, 88}) EXPECT_EQ(bench.EepromWord(a), 0) << a;
  EXPECT_EQ(bench.EepromWord(90), 6);
  EXPECT_EQ(e[92], 0);
  EXPECT_EQ(e[93], 1);
  EXPECT_EQ(e[94], 0);
  for (int a : {46, 50, 54, 58}) {
    EXPECT_EQ(e[a], 0x02);
    EXPECT_EQ(e[a + 1], 0x16);
    EXPECT_EQ(e[a + 2], 0x0E);
    EXPECT_EQ(e[a + 3], 0xC0);
  }
  for (int a = 95; a <= 243; ++a) EXPECT_EQ(e[a], 0) << a;
  EXPECT_EQ(SysRunStatus.GetChStatus(), 1);
}

TEST_F(SystemModule, DefaultKeyBringsTheChannelSettingsBack) {
  TaskCh1.TaskMenu.SetMenuItem(kChCoupling, 1);
  TaskCh1.Coupling(keypara{KEY_NO_KEY, 0, 0});
  TaskCh1.TaskMenu.SetMenuItem(kChInvert, 1);
  TaskCh1.Invert(keypara{KEY_NO_KEY, 0, 0});
  ASSERT_EQ(bench.EepromByte(95), 1);
  ASSERT_EQ(bench.EepromByte(99), 1);
  KeyBoard.AppendScpiKey(239, 0);  // DEFAULT, confirmed
  bench.Pass(2);
  EXPECT_EQ(bench.EepromByte(95), 0);
  EXPECT_EQ(bench.EepromByte(99), 0);
  EXPECT_EQ(TaskCh1.TaskMenu.GetMenuItem(kChCoupling), 0u);
  EXPECT_EQ(plat::SimDecodedChannel(0).coupling, 0);
  EXPECT_FALSE(plat::SimDecodedChannel(0).inverted);
}

TEST_F(SystemModule, SetupBlockRoundTripAndRefusals) {
  std::vector<uint8_t> buf(40000, 0);
  int32_t status = 1;
  EXPECT_EQ(RunSetupStorage(TaskSystem, 0, &buf, int(buf.size()), 10, &status), 10 + 17471);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::memcmp(buf.data() + 10, "TASK-SYSTEM\r\n", 13), 0);
  EXPECT_EQ(std::memcmp(buf.data() + 13 + 10, &SysRunInfo, 17456), 0);
  EXPECT_EQ(buf[10 + 13 + 17456], '\r');

  const int savedPos = SysRunInfo.vertical[0].position;
  SysRunInfo.vertical[0].position = 200;
  std::vector<uint8_t> bad = buf;  // a time base outside the table in the image
  const uint16_t outside = 200;
  std::memcpy(
      bad.data() + 23 + offsetof(_SysRunInfo, horizontal) + offsetof(HorizontalBlock, realTimeBase),
      &outside, 2);

  // Cut short inside the payload: refused, nothing changes.
  RunSetupStorage(TaskSystem, 1, &buf, 10 + 13 + 17000, 0, &status);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(SysRunInfo.vertical[0].position, 200);
  std::vector<uint8_t> none(1000, 'x');
  RunSetupStorage(TaskSystem, 1, &none, 1000, 0, &status);
  EXPECT_EQ(status, -1);

  RunSetupStorage(TaskSystem, 1, &buf, int(buf.size()), 0, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(SysRunInfo.vertical[0].position, savedPos);
  // An index outside its table refuses the image whole.
  const int timeBase = SysRunStatus.GetRealTimeBase(0);
  SysRunInfo.vertical[0].position = 200;
  RunSetupStorage(TaskSystem, 1, &bad, int(bad.size()), 0, &status);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(SysRunStatus.GetRealTimeBase(0), timeBase);
  EXPECT_EQ(SysRunInfo.vertical[0].position, 200);
}

// What RUN/STOP reads of the simulated FPGA: the drawing status is busy while
// the raster of a new acquisition is drawn, and the roll write index counts
// the roll samples written, in 16-bit words.
TEST(SystemModuleBoard, DrawingStatusAndRollWriteIndex) {
  plat::UseVirtualClock(true);
  plat::SimFpga& f = plat::Fpga();
  plat::HoldVirtualClock(true);  // the drawing window and the roll samples move with the test alone
  f.SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  EXPECT_EQ(f.ReadReg(820) >> 8 & 15, 5);
  ASSERT_TRUE(f.AcquireNow());
  EXPECT_EQ(f.ReadReg(820) >> 8 & 15, 1);
  plat::AdvanceUs(10000);
  EXPECT_EQ(f.ReadReg(820) >> 8 & 15, 5);

  plat::SimAcqSettings s;
  s.roll = true;
  s.columnNs = 2e6;  // 100 ms/div: 5000 samples a second
  f.SetAcqSettings(s);
  EXPECT_EQ(f.ReadReg(826), 0);
  plat::AdvanceUs(1000000);
  const uint32_t index = uint32_t(f.ReadReg(826)) | uint32_t(f.ReadReg(828)) << 16;
  EXPECT_NEAR(double(index) * 2, 5000, 2);
  plat::AdvanceUs(100000000);  // 500,000 samples: the high half counts too
  const uint32_t later = uint32_t(f.ReadReg(826)) | uint32_t(f.ReadReg(828)) << 16;
  EXPECT_NEAR(double(later) * 2, 505000, 2);
  EXPECT_GT(f.ReadReg(828), 0);
}

// Stored values outside their tables take the factory values at start-up.
TEST(SystemModuleStart, EepromIndicesOutsideTheirTablesAreNotUsed) {
  Bench bench;
  auto e = FormattedEeprom(6, 0, 0);
  e[EE_SOURCE_ON] = 1;
  e[EE_TIMEBASE] = 200;
  e[EE_VDIV] = 99;
  e[EE_VOFFSET] = 0x7F;  // 0x7FFF: far above the screen
  e[EE_VOFFSET + 1] = 0xFF;
  e[EE_ACTIVE_CH] = 77;
  bench.SetEeprom(e);
  ASSERT_EQ(bench.Start(), 0);
  bench.StopThreads();
  for (int a : {int(EE_TIMEBASE), int(EE_VDIV), int(EE_VOFFSET), int(EE_VOFFSET) + 1, int(EE_ACTIVE_CH)})
    bench.SetEepromByte(a, e[size_t(a)]);  // as stored, whatever start-up wrote
  TaskSystem.Initialize();
  EXPECT_EQ(TimeBase.GetTimeBase(0), x_system::kDefaultTimeBase);
  EXPECT_EQ(Vertical.GetYsensitivity(0), y_system::kDefaultIndex);
  EXPECT_EQ(Vertical.GetYposition(0), 127);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 0);
  EXPECT_EQ(SysRunStatus.GetChStatus(), 1);
}
