// The horizontal module on the simulated board: its menu behind the HORI key,
// the refusals of format, zoom and multi-scope in their order, the hold-off
// keypad, the FPGA reconfiguration and split geometry of the multi-scope
// mode, the factory settings, the setup block, the service pages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "acquisition/horizontal/task_hori.h"
#include "acquisition/horizontal/task_hori_service.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "core/board/eeprom_map.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/sim/fpga/sim_adc_pattern.h"
#include "platform/sim/fpga/sim_decode_timebase.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/sim/acquisition/sim_signal_file.h"
#include "platform/sim/devices/sim_controls.h"
#include "tests/bench/bench.h"
#include "tests/bench/screen_text.h"
#include "tests/bench/eeprom_addresses.h"
#include "ui/display/task_display.h"
#include "ui/draw/font.h"
#include "ui/draw/picture.h"
#include "ui/screen/qel_draw.h"

namespace {
enum : uint8_t { F1 = 49, F2, F3, F4, F5, kSelect = 72, kUp = 76, kDown = 77, kHori = 67, kCh1 = 64 };
constexpr int kStopped = 4;

int Item(int n) { return MenuValue(TaskHori, n); }
uint32_t ItemU32(int n) { return uint32_t(TaskHori.TaskMenu.GetMenuItem(n)); }
int Msg() { return QelMsg.GetMessageID(); }

struct Hori : ::testing::Test {
  Bench bench;
  plat::SimFpga& fpga = plat::Fpga();

  void SetUp() override {
    std::vector<uint8_t> e = FormattedEeprom(6, 0);
    e[EE_SOURCE_ON] = 3;
    PutEepromU32(&e, ee::kHoriHoldOff, 25);
    bench.SetEeprom(e);
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    SysRunStatus.SetMenuDisplayTimeS(3);  // the menu stays up
    bench.Key(kHori);
    QelMsg.ClearMessage();
  }
  // Presses keypad key `index` (its cursor moves there first).
  void Pad(int index) {
    while (TaskHori.Keypad().cursor < index) bench.Key(kDown);
    while (TaskHori.Keypad().cursor > index) bench.Key(kUp);
    bench.Key(kSelect);
  }
  // Types a hold-off on the keypad: digits, then a unit prefix or Enter.
  void TypeHoldOff(const char* digits, int end) {
    bench.Key(F5);
    ASSERT_TRUE(TaskHori.KeypadShown());
    for (const char* c = digits; *c; ++c) Pad(*c == '0' ? kNumZero : kNumOne + (*c - '1'));
    Pad(end);
  }
  void Row(int slot, int* row, int* height) { SysRunStatus.GetWaveDisplayInfor(slot, row, height); }
};
}  // namespace

// ---- the menu ----

TEST_F(Hori, TheHoriKeyShowsItsMenu) {
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kHoriTaskId);
  EXPECT_EQ(TaskHori.TaskMenu.GetCurrPage(), 0);
  EXPECT_NE(TaskHori.TaskMenu.GetMenuItemTitle(kHoriFormat), nullptr);
  EXPECT_EQ(TaskHori.TaskMenu.GetMenuItemMaxSel(kHoriFormat), 2);
  EXPECT_EQ(bench.EepromWord(EE_TASK_ID), kHoriTaskId);
  // Multi-scope starts off, split on and disabled.
  EXPECT_EQ(Item(kHoriMultiScope), 0);
  EXPECT_EQ(Item(kHoriSplit), 1);
  EXPECT_TRUE(TaskHori.TaskMenu.GetItemAttribute(kHoriSplit) & 0x2000000);
  EXPECT_FALSE(SysRunStatus.IsIndependTimeBase());
  // The factory page opens through the assist of another module.
  taskresponse req{}, reply{};
  req.request = 3;
  req.words[0] = 30;
  TaskManage.RequestTaskAssist(kHoriTaskId, &req, &reply);
  EXPECT_EQ(TaskHori.TaskMenu.GetCurrPage(), kHoriFactoryPage);
  bench.Key(kHori);
  EXPECT_EQ(TaskHori.TaskMenu.GetCurrPage(), 0);
}

TEST_F(Hori, FactorySettingsWriteTheirBytes) {
  TaskHori.TaskMenu.SetMenuItem(kHoriType, 1);
  TaskHori.Default();
  EXPECT_EQ(bench.EepromByte(ee::kHoriType), 0);
  // The factory hold-off is the minimum, 25 counts (100 ns).
  EXPECT_EQ(bench.EepromU32(ee::kHoriHoldOff), 25u);
  EXPECT_EQ(bench.EepromByte(39), 0);
  EXPECT_EQ(bench.EepromByte(ee::kHoriStartTest), 0);
  EXPECT_EQ(Item(kHoriType), 0);
}

// ---- format and type ----

TEST_F(Hori, FormatRefusalsComeInTheirOrder) {
  SysRunStatus.SetFuncBit(kFuncMultiScope | kFuncPassFail);
  SysRunStatus.SetAcquireStatus(0, kStopped);
  bench.Key(F1);
  EXPECT_EQ(Msg(), 84);
  SysRunStatus.ClearFuncBit(kFuncMultiScope);
  bench.Key(F1);
  EXPECT_EQ(Msg(), 85);
  SysRunStatus.ClearFuncBit(kFuncPassFail);
  bench.Key(F1);
  EXPECT_EQ(Msg(), 46);
  EXPECT_EQ(Item(kHoriFormat), 0);
  EXPECT_EQ(plat::SimDecodedTimebase().formatWord, 0);
}

TEST_F(Hori, XYIsRefusedWhileAutoSweepRolls) {
  TimeBase.SetRealTimeBase(0, 30);
  bench.Key(F1);
  EXPECT_EQ(Msg(), 83);
  EXPECT_EQ(Item(kHoriFormat), 0);
  EXPECT_FALSE(SysRunStatus.GetFuncBits() & kFuncXY);
  TimeBase.SetRealTimeBase(0, 20);
  bench.Key(F1);
  EXPECT_EQ(Item(kHoriFormat), 1);
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & kFuncXY);
  EXPECT_EQ(plat::SimDecodedTimebase().formatWord, 1);
  EXPECT_EQ(bench.EepromByte(ee::kHoriFormat), 1);
  // Zoom is refused in X-Y.
  QelMsg.ClearMessage();
  bench.Key(F2);
  EXPECT_EQ(Msg(), 17);
  EXPECT_EQ(Item(kHoriType), 0);
  bench.Key(F1);
  EXPECT_EQ(Item(kHoriFormat), 0);
  EXPECT_EQ(plat::SimDecodedTimebase().formatWord, 0);
}

TEST_F(Hori, ZoomMovesTheWavesIntoTheLowerWindow) {
  bench.Key(F2);
  EXPECT_EQ(Item(kHoriType), 1);
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & kFuncZoom);
  EXPECT_EQ(bench.EepromByte(ee::kHoriType), 1);
  for (int slot : {0, 1, 8, 9}) {
    int row = 0, height = 0;
    Row(slot, &row, &height);
    EXPECT_EQ(row, 305);
    EXPECT_EQ(height, 280);
  }
  EXPECT_TRUE(plat::SimDecodedTimebase().windowRead);
  // Multi-scope is refused in zoom.
  bench.Key(F3);
  EXPECT_EQ(Msg(), 25);
  EXPECT_EQ(Item(kHoriMultiScope), 0);
  bench.Key(F2);
  int row = 0, height = 0;
  Row(0, &row, &height);
  EXPECT_EQ(row, 233);
  EXPECT_EQ(height, 400);
  EXPECT_FALSE(SysRunStatus.GetFuncBits() & kFuncZoom);
}

// ---- hold-off ----

TEST_F(Hori, HoldOffTypedOnTheKeypadIsClamped) {
  TypeHoldOff("5", kNumNano);  // 5 ns is below the minimum
  EXPECT_FALSE(TaskHori.KeypadShown());
  EXPECT_EQ(ItemU32(kHoriHoldOff), 25u);
  TypeHoldOff("20", kNumEnter);  // 20 s is above the maximum
  EXPECT_EQ(ItemU32(kHoriHoldOff), 2500000000u);
  EXPECT_EQ(bench.EepromU32(ee::kHoriHoldOff), 2500000000u);
  EXPECT_EQ(plat::SimDecodedTimebase().holdOffUnits, 2500000000u);
  TypeHoldOff("2", kNumMicro);
  EXPECT_EQ(ItemU32(kHoriHoldOff), 500u);
  EXPECT_EQ(plat::SimDecodedTimebase().holdOffUnits, 500u);
  bench.Key(F5);
  Pad(kNumMax);
  EXPECT_EQ(ItemU32(kHoriHoldOff), 2500000000u);
  bench.Key(F5);
  Pad(kNumMin);
  EXPECT_EQ(ItemU32(kHoriHoldOff), 25u);
  // Zero is refused and leaves the value.
  TypeHoldOff("0", kNumEnter);
  EXPECT_EQ(Msg(), 72);
  EXPECT_EQ(ItemU32(kHoriHoldOff), 25u);
  bench.Key(F5);  // F5 closes the keypad again
  EXPECT_FALSE(TaskHori.KeypadShown());
  // The knob steps the hold-off as a time.
  bench.Key(kUp);
  EXPECT_GT(ItemU32(kHoriHoldOff), 25u);
}

// ---- multi-scope ----

TEST_F(Hori, MultiScopeReloadsTheFpgaAndSplitsTheScreen) {
  const int before = fpga.Reconfigurations();
  bench.Key(F3);
  EXPECT_EQ(Item(kHoriMultiScope), 1);
  EXPECT_EQ(Item(kHoriMultiScope2), 1);
  EXPECT_EQ(fpga.Reconfigurations(), before + 1);
  const std::vector<uint32_t> block = fpga.LastReconfiguration();
  ASSERT_EQ(block.size(), 8u);
  EXPECT_EQ(block, (std::vector<uint32_t>{2, 4, 0, 0, 1, 1008, 1, 0}));
  EXPECT_TRUE(SysRunStatus.IsIndependTimeBase());
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & kFuncMultiScope);
  EXPECT_FALSE(TaskHori.TaskMenu.GetItemAttribute(kHoriSplit) & 0x2000000);
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 3);
  EXPECT_EQ(SysRunStatus.GetTrigSource(), 0);
  EXPECT_EQ(fpga.Word(4), 1);
  int row = 0, height = 0;
  Row(0, &row, &height);
  EXPECT_EQ(row, 133);
  EXPECT_EQ(height, 200);
  Row(1, &row, &height);
  EXPECT_EQ(row, 333);
  EXPECT_EQ(height, 200);
  EXPECT_FALSE(fpga.PllWrites().empty());
  // X-Y, zoom and the memory depth give way.
  bench.Key(F1);
  EXPECT_EQ(Msg(), 84);
  bench.Key(F2);
  EXPECT_EQ(Msg(), 84);
  // One screen: both back in the middle.
  bench.Key(F4);
  EXPECT_EQ(Item(kHoriSplit), 0);
  EXPECT_EQ(fpga.Word(4), 0);
  Row(1, &row, &height);
  EXPECT_EQ(row, 233);
  EXPECT_EQ(height, 400);
  bench.Key(F4);
  // Off: the normal configuration again.
  bench.Key(F3);
  EXPECT_EQ(fpga.Reconfigurations(), before + 2);
  EXPECT_EQ(fpga.LastReconfiguration()[5], 1023u);
  EXPECT_FALSE(SysRunStatus.IsIndependTimeBase());
  EXPECT_TRUE(TaskHori.TaskMenu.GetItemAttribute(kHoriSplit) & 0x2000000);
  Row(0, &row, &height);
  EXPECT_EQ(row, 233);
}

TEST_F(Hori, MultiScopeIsRefusedWhileStopped) {
  SysRunStatus.SetAcquireStatus(0, kStopped);
  const int before = fpga.Reconfigurations();
  bench.Key(F3);
  EXPECT_EQ(Msg(), 77);
  EXPECT_EQ(Item(kHoriMultiScope), 0);
  EXPECT_EQ(fpga.Reconfigurations(), before);
}

TEST_F(Hori, EachChannelKeepsItsOwnTimeBaseAcrossASetup) {
  bench.Key(F3);
  ASSERT_TRUE(SysRunStatus.IsIndependTimeBase());
  TimeBase.AdjTimeBase(1, 3);
  const int tb0 = TimeBase.GetRealTimeBase(0), tb1 = TimeBase.GetRealTimeBase(1);
  ASSERT_NE(tb0, tb1);
  std::vector<uint8_t> file(4096);
  int32_t status = -1;
  const int used = RunSetupStorage(TaskHori, 0, &file, int(file.size()), 0, &status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(used, 9 + 2 + 16 * 40 + 2);
  EXPECT_EQ(std::memcmp(file.data(), "TASK-HORI\r\n", 11), 0);
  EXPECT_EQ(std::memcmp(file.data() + used - 2, "\r\n", 2), 0);
  // Multi-scope off, then the block loaded: on again with both time bases.
  bench.Key(F3);
  ASSERT_FALSE(SysRunStatus.IsIndependTimeBase());
  TimeBase.SetRealTimeBase(0, tb0);
  TimeBase.SetRealTimeBase(1, tb1);
  const int before = fpga.Reconfigurations();
  RunSetupStorage(TaskHori, 1, &file, used, 0, &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(SysRunStatus.IsIndependTimeBase());
  EXPECT_EQ(Item(kHoriMultiScope), 1);
  EXPECT_EQ(fpga.Reconfigurations(), before + 1);  // a load always reloads
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), tb0);
  EXPECT_EQ(TimeBase.GetRealTimeBase(1), tb1);
  // A file without the block is refused and changes nothing.
  std::vector<uint8_t> other(64, 'x');
  RunSetupStorage(TaskHori, 1, &other, int(other.size()), 0, &status);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(Item(kHoriMultiScope), 1);
}

// ---- service pages ----

TEST_F(Hori, TheAdcDriveWordsReachBothAdcs) {
  EXPECT_EQ(AdcDriveDataWord(5, 7), 0x3E81u);
  EXPECT_EQ(AdcDriveClockWord(5, 7), 0x1F81u);
  EXPECT_EQ(AdcDriveDataWord(99, -3), AdcDriveDataWord(7, 0));  // bounded to the tables
  TaskHori.TaskMenu.SetCurrPage(11 * 5);
  bench.Key(F2);  // DataCurr's list, from 7 on to 0
  bench.Key(kDown);
  bench.Key(kSelect);
  EXPECT_EQ(Item(kAdcDataCur), 0);
  const uint32_t data = (32u << 2) | (11u << 9) | 1;
  for (int adc : {0, 1}) {
    for (int reg = 23; reg <= 37; reg += 2) EXPECT_EQ(fpga.AdcRegister(adc, reg), data) << reg;
    EXPECT_EQ(fpga.AdcRegister(adc, 39), 0x1F81u);
  }
}

TEST_F(Hori, TheHysteresisDacIsClamped) {
  TaskHori.TaskMenu.SetCurrPage(7 * 5);
  EXPECT_EQ(Item(kHysAdj), 2000);
  bench.Key(kUp);
  EXPECT_EQ(Item(kHysAdj), 2001);
  EXPECT_EQ(fpga.DacValue(3), 2001);
  TaskHori.TaskMenu.SetMenuItem(kHysAdj, 4095);
  bench.Key(kUp);
  EXPECT_EQ(Item(kHysAdj), 4095);
}

TEST_F(Hori, KeyRecordAndPlaybackReplayTheSameKeys) {
  TaskHori.TaskMenu.SetCurrPage(14 * 5);
  TaskHori.TaskMenu.SetMenuItem(kKeyFileSel, 3);
  bench.Key(F1);  // record
  ASSERT_EQ(Item(kKeyRec), 1);
  bench.Key(kCh1);  // recorded: CH1's menu
  bench.Key(F4);    // CH1 invert on
  EXPECT_EQ(SysRunStatus.GetSysRunInfoBaseAddr()->vertical[0].invert & 0xFF, 1);
  bench.Key(kHori);
  TaskHori.TaskMenu.SetCurrPage(14 * 5);
  bench.Key(F1);  // stop recording
  EXPECT_EQ(Item(kKeyRec), 0);
  std::ifstream f(bench.Root() + "/Data/KeyRec/KeyRec-3", std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_GE(bytes.size(), 8u);
  uint16_t first[2];
  std::memcpy(first, bytes.data(), 4);
  EXPECT_EQ(first[0], kCh1);
  // Undo, then play the file back: the same invert again.
  bench.Key(kCh1);
  bench.Key(F4);
  ASSERT_EQ(SysRunStatus.GetSysRunInfoBaseAddr()->vertical[0].invert & 0xFF, 0);
  bench.Key(kHori);
  TaskHori.TaskMenu.SetCurrPage(14 * 5);
  bench.Key(F2);  // play
  ASSERT_EQ(Item(kKeyPlay), 1);
  for (int i = 0; i < 4; ++i) {
    bench.AdvanceMs(100);
    bench.Pass(2);
  }
  EXPECT_EQ(SysRunStatus.GetSysRunInfoBaseAddr()->vertical[0].invert & 0xFF, 1);
  TaskHori.TaskMenu.SetCurrPage(14 * 5);
  TaskHori.TaskMenu.SetMenuItem(kKeyPlay, 1);
  OPKeyPlayEnable(keypara{F2, 1, 0});
  EXPECT_EQ(Item(kKeyPlay), 0);
  // A missing file is refused with message 56.
  TaskHori.TaskMenu.SetMenuItem(kKeyFileSel, 200);
  OPKeyPlayEnable(keypara{F2, 1, 0});
  EXPECT_EQ(Msg(), 56);
  EXPECT_EQ(Item(kKeyPlay), 0);
}

// ---- on screen ----

namespace {
const std::string g_startDir = [] {
  char buf[4096];
  return std::string(getcwd(buf, sizeof buf) ? buf : ".");
}();

struct HoriScreen : Hori {
  void SetUp() override {
    Hori::SetUp();
    fpga.SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 3;
    bench.AdvanceMs(4000);
  }
  void Frames(int n = 2) {
    for (int i = 0; i < n; ++i) {
      WaveOp.RequestChData(SysRunInfo.sourceOn & 3);
      ASSERT_TRUE(fpga.AcquireNow());
      SysRunStatus.SetDrawRefresh();
      bench.Pass();
    }
  }
  // Upward crossings of the middle code by a channel's trace in raster rows
  // [top, top + rows): the row of its brightest cell per column.
  int Crossings(const std::vector<uint8_t>& raster, int ch, int top, int rows) {
    int n = 0, prev = -1;
    for (int x = 0; x < 700; ++x) {
      int best = -1, level = 0;
      for (int r = top; r < top + rows; ++r) {
        const uint8_t v = raster[size_t(r) * 700 + size_t(x)];
        if (v && (v >> 7) == ch && (v & 0x7F) > level) level = v & 0x7F, best = r;
      }
      if (best < 0) continue;
      const int side = best < top + rows / 2 ? 1 : 0;  // above the middle
      if (prev == 0 && side == 1) ++n;
      prev = side;
    }
    return n;
  }
};
}  // namespace

TEST_F(HoriScreen, AnXYCircleIsDrawnAsACircle) {
  plat::TestSignal x, y;
  y.phase = 0.25;  // 90 degrees ahead: CH2 a cosine
  fpga.SetSignal(plat::kSignalCh1, x);
  fpga.SetSignal(plat::kSignalCh2, y);
  bench.Key(F1);
  ASSERT_EQ(Item(kHoriFormat), 1);
  Frames();
  EXPECT_TRUE(bench.WriteScreenPng(g_startDir + "/hori_xy_circle.png"));
  // The lit cells of the square: their distances from their centre.
  const std::vector<uint8_t> raster = fpga.Raster();
  std::vector<std::pair<double, double>> cells;
  for (int r = 60; r < 200; ++r)
    for (int c = 0; c < 700; c += 5)
      if (raster[size_t(r) * 700 + size_t(c)]) cells.emplace_back(c / 5, r - 60);
  ASSERT_GT(cells.size(), 100u);
  double cx = 0, cy = 0;
  for (auto& p : cells) cx += p.first, cy += p.second;
  cx /= double(cells.size());
  cy /= double(cells.size());
  EXPECT_NEAR(cx, 70, 3);  // centred: 0 V on both axes
  EXPECT_NEAR(cy, 70, 3);
  double lo = 1e9, hi = 0;
  for (auto& p : cells) {
    const double d = std::hypot(p.first - cx, p.second - cy);
    lo = std::min(lo, d), hi = std::max(hi, d);
  }
  // 1 V at 500 mV/div is 50 codes: 35 cells of the 140-cell square.
  EXPECT_NEAR(lo, 35, 3);
  EXPECT_NEAR(hi, 35, 3);
  // On screen, the raster's cells painted through CH1's palette (at the
  // stored wave brightness) inside the square's frame, all at one distance
  // from its centre.
  const std::set<uint32_t> ch1 = bench.PaletteColours(0);
  ASSERT_FALSE(ch1.empty());
  std::vector<std::pair<double, double>> dots;
  for (int r = 165; r < 445; ++r)
    for (int c = 240; c < 520; ++c)
      if (ch1.count(bench.Pixel(r, c))) dots.emplace_back(c, r);
  ASSERT_GE(dots.size(), 60u);
  double sx = 0, sy = 0;
  for (auto& p : dots) sx += p.first, sy += p.second;
  sx /= double(dots.size());
  sy /= double(dots.size());
  EXPECT_NEAR(sx, 240 + 139.5, 4);
  EXPECT_NEAR(sy, 165 + 139.5, 4);
  lo = 1e9, hi = 0;
  for (auto& p : dots) {
    const double d = std::hypot(p.first - sx, p.second - sy);
    lo = std::min(lo, d), hi = std::max(hi, d);
  }
  EXPECT_NEAR(lo, 70, 4);  // 50 codes of the 200 across 280 pixels
  EXPECT_NEAR(hi, 70, 4);
}

TEST_F(HoriScreen, MultiScopeAcquiresEachChannelWithItsOwnTimeBase) {
  bench.Key(F3);
  ASSERT_TRUE(SysRunStatus.IsIndependTimeBase());
  ASSERT_TRUE(fpga.MultiScope());
  TimeBase.AdjTimeBase(1, 1);  // CH2 one step slower: 1 ms/div
  ASSERT_EQ(TimeBase.GetRealTimeBase(0), 20);
  ASSERT_EQ(TimeBase.GetRealTimeBase(1), 21);
  Frames();
  const std::vector<uint8_t> raster = fpga.Raster();
  // Split: CH1 in the upper half, CH2 in the lower; 1 kHz over 7 and 14 ms.
  const int ch1 = Crossings(raster, 0, 0, 100), ch2 = Crossings(raster, 1, 100, 100);
  EXPECT_NEAR(ch1, 7, 1);
  EXPECT_NEAR(ch2, 14, 1);
  EXPECT_TRUE(bench.WriteScreenPng(g_startDir + "/hori_multiscope_split.png"));
}

TEST_F(Hori, GuidanceScrollsAStoppedRecordUntilAKey) {
  TaskHori.TaskMenu.SetCurrPage(5 * 5);
  SysRunStatus.SetFuncBit(kFuncMultiScope);
  SysRunStatus.IndependTimeBaseEnable();
  bench.Key(F3);
  EXPECT_EQ(Msg(), 84);
  EXPECT_EQ(Item(kGuideStart), 0);
  SysRunStatus.IndependTimeBaseDisable();
  SysRunStatus.ClearFuncBit(kFuncMultiScope);
  QelMsg.ClearMessage();
  bench.Key(F3);  // stops the acquisition and starts
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), kStopped);
  EXPECT_EQ(Msg(), 47);
  ASSERT_EQ(Item(kGuideStart), 1);
  EXPECT_EQ(SysRunStatus.GetGuidance(), 1);
  // Every 5 ms (speed 0) the view moves on by 4 points.
  const int64_t from = SysRunInfo.horizontal[0].preTrigDepth;
  for (int i = 0; i < 5; ++i) {
    bench.AdvanceMs(5);
    bench.Pass();
  }
  // The system module moves the view as the pre-trigger knob would.
  const int64_t moved = SysRunInfo.horizontal[0].preTrigDepth - from;
  EXPECT_NE(moved, 0);
  EXPECT_EQ(Item(kGuideStart), 1);
  // Any key after the first steps ends the run.
  bench.Key(kUp);
  bench.Pass();
  EXPECT_EQ(Item(kGuideStart), 0);
  EXPECT_EQ(Msg(), 48);
  EXPECT_EQ(SysRunStatus.GetGuidance(), 0);
  EXPECT_EQ(TaskHori.FuncType, 0u);
}

// While the guidance runs, its two pictures (ProcStatus/Guide1.bmp and
// Guide2.bmp, as the loader reads them) take turns at row 2, column 4 every
// 401 ms of the board's clock.
TEST_F(Hori, GuidanceAlternatesItsTwoPicturesOnTheScreen) {
  TaskHori.TaskMenu.SetCurrPage(5 * 5);
  TaskHori.TaskMenu.SetMenuItem(kGuideDirection, 2);  // back and forth: never ends by itself
  bench.Key(F3);
  ASSERT_EQ(Item(kGuideStart), 1);
  auto shows = [&](int id) {
    const PicInfo* p = QelSysPic.GetPictureMsg(id);
    if (!p || !p->pixels) return false;
    for (int r = 0; r < p->height; ++r)
      for (int c = 0; c < p->width; ++c) {
        const uint32_t want = p->pixels[r * p->width + c] & 0xFFFFFF;
        if (want != MASK_COLOR && bench.Pixel(2 + r, 4 + c) != want) return false;
      }
    return true;
  };
  ASSERT_NE(QelSysPic.GetPictureMsg(19)->pixels, nullptr);
  ASSERT_NE(QelSysPic.GetPictureMsg(20)->pixels, nullptr);
  std::vector<int> seen;
  for (int i = 0; i < 4; ++i) {
    bench.AdvanceMs(401);
    SysRunStatus.SetDrawRefresh();
    bench.Pass();
    ASSERT_EQ(Item(kGuideStart), 1);
    const bool one = shows(19), two = shows(20);
    EXPECT_NE(one, two) << i;  // exactly one of them
    seen.push_back(one ? 19 : 20);
  }
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_NE(seen[i], seen[i - 1]) << i;
  EXPECT_TRUE(bench.WriteScreenPng(g_startDir + "/hori_guidance.png"));
}

// The phase calibration keeps and prints the search's 16 pass flags; the
// offset calibration asks the utility module to start the self-calibration.
TEST_F(Hori, PhaseCalibrationPrintsItsMatchingTableAndOffsetCaliAsksTheUtility) {
  plat::SetAdcPhaseWindow(0, 1, 4);  // ADC 1 passes codes 1..4, ADC 2 codes 5..7
  plat::SetAdcPhaseWindow(1, 5, 3);
  testing::internal::CaptureStdout();
  Gain50mv_ADCCaliPhase(keypara{KEY_NO_KEY, 0, 0});
  const std::string out = testing::internal::GetCapturedStdout();
  const uint8_t flags[16] = {0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(AdcPhaseMatching[i], flags[i]) << i;
  EXPECT_NE(out.find("AdcPhaseMatching : 0 1 1 1 1 0 0 0 0 0 0 0 0 1 1 1\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Matching = 1"), std::string::npos);
  EXPECT_EQ(Item(kAdc1Phase), 3);
  EXPECT_EQ(Item(kAdc2Phase), 6);
  for (int adc = 0; adc < 2; ++adc) plat::SetAdcPhaseWindow(adc, 2, 5);

  bench.SetEepromByte(EE_SELFCAL_STATE2, 0);  // a first self-calibration only finds the phases
  QelMsg.ClearMessage();
  EXPECT_EQ(Gain50mv_OffsetCali(keypara{KEY_NO_KEY, 0, 0}), 0);
  EXPECT_EQ(bench.EepromByte(EE_SELFCAL_STATE2), 0x68);
  EXPECT_EQ(Msg(), 91);
}

TEST_F(Hori, AgeingMessagesAndTheirClearing) {
  TaskHori.TaskMenu.SetCurrPage(12 * 5);
  WriteRootFile("AdcMessage/Testing1.txt", std::string(300, 'A'));
  bench.Key(F2);  // Message: at most 100 bytes of the text are shown
  EXPECT_EQ(Msg(), 12);
  bench.Key(F3);  // Clear
  EXPECT_EQ(Msg(), 43);
  EXPECT_TRUE(bench.ShellRan("rm AdcMessage/*.*"));
  EXPECT_EQ(bench.EepromByte(12), 153);
  EXPECT_EQ(bench.EepromU32(13), 0u);
  EXPECT_EQ(bench.EepromByte(17), 0);
  // A run: the sweep steps CH1 up from 160, the table is kept when it ends.
  TaskHori.TaskMenu.SetCurrPage(10 * 5);
  bench.Key(F2);  // TEST4: CH1 takes part
  TaskHori.TaskMenu.SetCurrPage(12 * 5);
  bench.Key(F1);  // AGE on
  ASSERT_EQ(Item(kAgeRun), 1);
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 21);
  for (int i = 0; i < 10; ++i) {
    bench.AdvanceMs(20);
    bench.Pass();
  }
  EXPECT_GT(SysRunInfo.vertical[0].position, 160);
  bench.Key(F2);  // Message refused while the test runs
  EXPECT_EQ(Msg(), 115);
  bench.Key(F1);  // AGE off
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 16);
  EXPECT_TRUE(RootFileExists("AdcMessage/AdcResult.bin"));
}

// A line of the ageing page's text (white, from row 60 every 18 rows at
// column 40, in the ASCII font in force) on the screen: on line `only`, or on
// any line for -1.
bool ServiceText(const Bench& b, const char* text, int only = -1) {
  for (int line = only < 0 ? 0 : only; line < (only < 0 ? 12 : only + 1); ++line)
    for (int font = 0; font < kAsciiFontCount; ++font)
      if (ShowsText(b, 60 + 18 * line, 40, text, font, 0xFFFFFF)) return true;
  return false;
}

// The QC run of the ageing page with CH1: the trace at full brightness, the
// sweep and one middle round; then the result stays on the screen with the
// ADC phases, and a screenshot lies next to the offsets on the disk. A phase
// that samples badly shows the phase warning.
void AgeingQcRun(Bench& bench, bool goodPhase) {
  if (!goodPhase) plat::SetAdcPhaseWindow(0, 6, 2);  // the stored phase 4 samples badly
  plat::SimUsbPlug(true);
  SysRunStatus.SetUsbInsertStatus(1);
  TaskHori.TaskMenu.SetCurrPage(10 * 5);
  bench.Key(F2);  // TEST4: CH1 takes part
  TaskHori.TaskMenu.SetCurrPage(12 * 5);
  bench.Key(F4);  // QC on
  ASSERT_EQ(Item(kAgeQc), 1);
  EXPECT_EQ(MenuValue(TaskDisplay, kDispWaveBright), 100);
  for (int i = 0; i < 400 && Item(kAgeQc) == 1; ++i) {
    bench.AdvanceMs(20);
    bench.Pass();
  }
  ASSERT_EQ(Item(kAgeQc), 0);
  // Named by the run's count, which the EEPROM keeps.
  const std::string shot = "udisk/FilyLine/FlyLine_" + std::to_string(int(bench.EepromU32(13))) + ".bmp";
  EXPECT_EQ(ReadRootFile(shot).substr(0, 2), "BM") << shot;
  EXPECT_NE(ReadRootFile("udisk/FilyLine/Offset.txt").find("CH1 Offset"), std::string::npos);
  SysRunStatus.SetDrawRefresh();
  bench.AdvanceMs(600);
  bench.Pass();
  EXPECT_TRUE(ServiceText(bench, "ADCInitPhase"));
  EXPECT_TRUE(ServiceText(bench, "Center  PassRate"));
  EXPECT_EQ(ServiceText(bench, "ADC Centered Flyline Test Pass."), goodPhase);
  EXPECT_EQ(ServiceText(bench, "Warning! ADC Phase Match Fail ."), !goodPhase);
}

TEST_F(Hori, AgeingQcRunShowsItsResultAndKeepsAScreenshot) { AgeingQcRun(bench, true); }

// An ageing run stopped with the AGE key after some middle rounds, all of
// them clean: the verdict shown is the one of the rate shown.
TEST_F(Hori, AgeingStoppedByItsKeyShowsTheVerdictOfItsRate) {
  constexpr int kCentreCountLine = 2;  // below the two lines of the sweep's counts
  TaskHori.TaskMenu.SetCurrPage(10 * 5);
  bench.Key(F2);  // TEST4: CH1 takes part
  TaskHori.TaskMenu.SetCurrPage(12 * 5);
  bench.Key(F1);  // AGE on
  ASSERT_EQ(Item(kAgeRun), 1);
  bool middle = false;
  for (int i = 0; i < 400 && !middle; ++i) {
    bench.AdvanceMs(20);
    SysRunStatus.SetDrawRefresh();
    bench.Pass();
    middle = ServiceText(bench, "Center  PassCnt : 2 ", kCentreCountLine);
  }
  ASSERT_TRUE(middle);
  bench.Key(F1);  // AGE off before its last round
  ASSERT_EQ(Item(kAgeRun), 0);
  SysRunStatus.SetDrawRefresh();
  bench.AdvanceMs(600);
  bench.Pass();
  EXPECT_TRUE(ServiceText(bench, "Center  PassRate : 100.00000 %"));
  EXPECT_TRUE(ServiceText(bench, "ADC Centered Flyline Test Pass."));
  EXPECT_FALSE(ServiceText(bench, "Warning: ADC Centered Flyline Test Fail!"));
}

// Page 8 shows both ADC phases; the F key of either hands it the knob.
TEST_F(Hori, BothAdcPhasesAreShownAndEitherTakesTheKnob) {
  TaskHori.TaskMenu.SetMenuItem(kAdc1Phase, 3);
  TaskHori.TaskMenu.SetMenuItem(kAdc2Phase, 6);
  TaskHori.TaskMenu.SetCurrPage(8 * 5);
  // The value of slot s, centred under its title in the menu column.
  const auto shows = [&](int slot, const char* value) {
    SysRunStatus.SetDrawRefresh();
    bench.AdvanceMs(600);
    bench.Pass();
    const int top = 57 + 80 * slot + 18;
    for (int font = 0; font < kAsciiFontCount; ++font)
      if (ShowsAscii(bench, value, font, top, 680, top + 40, 800)) return true;
    return false;
  };
  EXPECT_TRUE(shows(1, "3"));
  EXPECT_TRUE(shows(2, "6"));
  bench.Key(F3);  // Adc2 Phase takes the knob
  bench.AdvanceMs(1100);
  bench.Key(kDown);
  EXPECT_EQ(Item(kAdc2Phase), 5);
  EXPECT_EQ(Item(kAdc1Phase), 3);
  EXPECT_TRUE(shows(1, "3"));
  EXPECT_TRUE(shows(2, "5"));
  bench.Key(F2);  // and back
  bench.AdvanceMs(1100);
  bench.Key(kUp);
  EXPECT_EQ(Item(kAdc1Phase), 4);
  EXPECT_EQ(Item(kAdc2Phase), 5);
}

TEST_F(Hori, AgeingQcRunWithABadPhaseWarns) { AgeingQcRun(bench, false); }

TEST(SimSignalPhase, APhaseLeadsTheSignal) {
  int input = -1;
  plat::TestSignal s;
  std::string error;
  ASSERT_TRUE(plat::SimSignalFile::ParseLine("ch2 sine phase=0.25", &input, &s, &error));
  EXPECT_DOUBLE_EQ(s.phase, 0.25);
  EXPECT_NEAR(plat::SignalVolts(s, 0.0, 0), 1.0, 1e-12);  // a cosine
  EXPECT_FALSE(plat::SimSignalFile::ParseLine("ch2 sine phase=2", &input, &s, &error));
}

// ---- the factory mode ----

// The factory-mode note at (430, 578) in 0x01F801, left of the menu.
int FactoryNotePixels(const Bench& b) { return b.CountPixels(428, 570, 100, 24, 0x01F801); }

void StartWithFactoryByte(Bench& b, uint8_t value) {
  std::vector<uint8_t> e = FormattedEeprom(6, 0);
  e[ee::kHoriFactoryMode] = value;
  b.SetEeprom(e);
  ASSERT_EQ(b.Start(), 0);
  b.StopThreads();
  SysRunStatus.SetDrawRefresh();
  b.AdvanceMs(600);
  b.Pass();
}

TEST(HoriFactoryMode, AnUnwrittenByteIsOffAndDrawsNothing) {
  Bench b;
  StartWithFactoryByte(b, 0xFF);  // a fresh EEPROM: no Default ever writes it
  EXPECT_EQ(SysRunStatus.GetFactoryMode(), 0);
  EXPECT_EQ(MenuValue(TaskHori, kGainFactoryMode), 0);
  EXPECT_EQ(b.EepromByte(ee::kHoriFactoryMode), 0);  // written back in range
  EXPECT_EQ(FactoryNotePixels(b), 0);
}

TEST(HoriFactoryMode, ModeOneDrawsItsNote) {
  Bench b;
  StartWithFactoryByte(b, 1);
  EXPECT_EQ(SysRunStatus.GetFactoryMode(), 1);
  EXPECT_GT(FactoryNotePixels(b), 20);
}
