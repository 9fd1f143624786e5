// The display module on the simulated board: its menu on the screen, the
// words its requests send to the FPGA, the EEPROM bytes of its items, the
// grid and trace colours, the backlight, the menu time-out, the factory
// settings and the setup-file block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "core/state/ids.h"
#include "core/board/eeprom_map.h"
#include "core/messages/request.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/devices/backlight.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"
#include "tests/bench/eeprom_addresses.h"
#include "ui/draw/picture.h"
#include "ui/screen/qel_draw.h"
#include "ui/display/task_display.h"

namespace {
constexpr uint8_t kDisplay = 61, kF1 = 49, kF2 = 50, kF3 = 51, kF4 = 52, kF5 = 53;
constexpr uint8_t kPush = 72, kUp = 76, kDown = 77;
constexpr uint32_t kText = 0xC8C8AF;
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};

uint32_t Grey(int v) { return uint32_t(v) * 0x020202u; }
int Item(int n) { return MenuValue(TaskDisplay, n); }

const int* Palette0() {
  int* p = nullptr;
  QelDraw.GetQelGrayscaleInfo(nullptr, 0, &p);
  return p;
}

// Whether palette 0 holds the first 256 pixels of picture `id`.
bool PaletteIsPicture(int id) {
  const PicInfo* pic = QelSysPic.GetPictureMsg(id);
  if (!pic || !pic->pixels) return false;
  const int* p = Palette0();
  for (int i = 0; i < 256; ++i)
    if (p[i] != int(pic->pixels[i])) return false;
  return true;
}

struct Display : ::testing::Test {
  Bench bench;
  // EEPROM bytes of the display items before start-up.
  virtual std::vector<std::pair<int, uint8_t>> Stored() { return {}; }
  void SetUp() override {
    std::vector<uint8_t> e = FormattedEeprom(6, 0);
    for (auto [address, value] : Stored()) e[size_t(address)] = value;
    bench.SetEeprom(e);
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    bench.AdvanceMs(4000);  // past the line shown while a channel's offset moves
  }
  // A knob or key from the remote ring, with its step.
  void Remote(int code, int step) {
    KeyBoard.AppendScpiKey(code, step);
    bench.Pass();
  }
  void Page(int page) {
    bench.Key(kDisplay);
    for (int i = 0; i < page; ++i) bench.Key(kF5);
  }
  // Pixels of `colour` on screen row `row`, columns 40-349 (inside the wave
  // area, clear of its edge ticks, the centre column and the pop-up lists).
  int RowCount(int row, uint32_t colour) const {
    int n = 0;
    for (int c = 40; c < 350; ++c) n += bench.Pixel(row, c) == colour;
    return n;
  }
  int AreaCount(uint32_t colour) const { return bench.CountPixels(36, 33, 550 - 33, 430 - 36, colour); }
  bool PanelShown() const {
    const PicInfo* pic = QelSysPic.GetPictureMsg(73);  // a value item's background
    if (!pic || !pic->pixels) return false;
    for (int c = 0; c < 124; ++c) {
      const uint32_t want = pic->pixels[5 * pic->width + c] & 0xFFFFFF;
      if (want != MASK_COLOR && bench.Pixel(34 + 5, 675 + c) != want) return false;
    }
    return true;
  }
};

}  // namespace

TEST_F(Display, TheDisplayKeyShowsItsMenuAndItsPagesTurn) {
  bench.Key(kDisplay);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskDisplay);
  EXPECT_EQ(DisplayMenu, &TaskDisplay.TaskMenu);
  EXPECT_TRUE(PanelShown());
  EXPECT_GT(bench.CountPixels(87, 700, 80, 22, kText), 10);   // "Vectors"
  EXPECT_GT(bench.CountPixels(40, 654, 20, 100, kText), 10);  // the title tab
  EXPECT_EQ(bench.EepromWord(EE_TASK_ID), kTaskDisplay);

  bench.Key(kF5);
  EXPECT_EQ(TaskDisplay.TaskMenu.GetCurrPage(), 1);
  EXPECT_EQ(bench.EepromByte(EE_TASK_PAGE), 1);
  bench.Key(kF5);
  EXPECT_EQ(TaskDisplay.TaskMenu.GetCurrPage(), 2);
  bench.Key(kF5);  // Back
  EXPECT_EQ(TaskDisplay.TaskMenu.GetCurrPage(), 0);
  bench.Key(kF5);
  bench.Key(kDisplay);  // DISPLAY again starts on page 0
  EXPECT_EQ(TaskDisplay.TaskMenu.GetCurrPage(), 0);
  EXPECT_EQ(bench.EepromByte(EE_TASK_PAGE), 0);

  // The module follows the acquire module's keys.
  const std::vector<int> followers = TaskManage.SyncList(11);
  EXPECT_NE(std::find(followers.begin(), followers.end(), kTaskDisplay), followers.end());
}

TEST_F(Display, TypePersistAndFormatReachTheFpgaWords) {
  Page(0);
  bench.Key(kF1);  // Type: two choices toggle
  EXPECT_EQ(bench.Fpga().Word(118), 1);
  EXPECT_EQ(bench.EepromByte(ee::kDispType), 1);
  EXPECT_EQ(SysRunInfo.displayType, 1);
  bench.Key(kF1);
  EXPECT_EQ(bench.Fpga().Word(118), 0);
  EXPECT_EQ(bench.EepromByte(ee::kDispType), 0);

  bench.Key(kF5);
  bench.Key(kF2);  // Persist: the first press opens its list
  EXPECT_EQ(Item(kDispPersist), 0);
  bench.Key(kF2);
  EXPECT_EQ(bench.Fpga().Word(126), 1);
  EXPECT_EQ(bench.EepromByte(ee::kDispPersist), 1);
  EXPECT_EQ(SysRunInfo.persistence, 1);
  bench.Key(kDown);  // the highlight moves two choices on, the push takes 200 ms
  bench.Key(kDown);
  bench.Key(kPush);
  EXPECT_EQ(Item(kDispPersist), 3);
  EXPECT_EQ(bench.Fpga().Word(126), 3);

  // Both hold through a time-base change, which sends the display words again.
  bench.Key(kF5);
  bench.Key(kF5);
  bench.Key(kF1);  // dots again
  TimeBase.AdjTimeBase(0, 0);
  EXPECT_EQ(bench.Fpga().Word(118), 1);
  EXPECT_EQ(bench.Fpga().Word(126), 3);

  // A value the dispatcher refuses leaves the FPGA as it was; the item keeps it.
  TaskDisplay.TaskMenu.SetMenuItem(kDispPersist, 11);
  Display_Persist(kNoKey);
  EXPECT_EQ(bench.Fpga().Word(126), 3);
  EXPECT_EQ(Item(kDispPersist), 11);

  Display_SendSysRequest(kReqDispFormat, 1);
  EXPECT_EQ(bench.Fpga().Word(120), 1);
  EXPECT_EQ(bench.Fpga().Word(130), 1);
  Display_SendSysRequest(kReqDispFormat, 0);
  EXPECT_EQ(bench.Fpga().Word(120), 0);
  EXPECT_EQ(bench.Fpga().Word(130), 0);

  // Switching the function off: vectors and minimum persistence.
  TaskDisplay.TaskMenu.SetMenuItem(kDispType, 1);
  Display_Type(kNoKey);
  ASSERT_EQ(bench.Fpga().Word(118), 1);
  TaskDisplay.FunctionOnOff(0);
  EXPECT_EQ(bench.Fpga().Word(118), 0);
  EXPECT_EQ(bench.Fpga().Word(126), 0);
  EXPECT_EQ(bench.EepromByte(ee::kDispPersist), 0);
}

// With infinite persistence the board's raster keeps the line of an earlier
// acquisition; clearing the picture (DISPlay:CLEar, the clear-picture
// request) sends the persistence word again, which empties it.
TEST_F(Display, ClearingThePictureEmptiesTheBoardsPersistence) {
  bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  SetWaveTestSettings();
  TaskDisplay.TaskMenu.SetMenuItem(kDispPersist, 10);
  Display_Persist(kNoKey);
  ASSERT_EQ(bench.Fpga().Word(126), 10);
  auto dcAt = [](double volts) {
    plat::TestSignal dc;
    dc.shape = plat::SignalShape::kDc;
    dc.amplitudeV = 0;
    dc.offsetV = volts;
    return dc;
  };
  // CH2 held on a line of its own: a cell both channels light shows the
  // newest acquisition's, which would hide a kept CH1 cell under CH2's trace.
  bench.Fpga().SetSignal(1, dcAt(-1.0));
  // CH1's lit rows of raster column 10 after an acquisition of a DC level.
  auto rowsAt = [&](double volts) {
    bench.Fpga().SetSignal(0, dcAt(volts));
    EXPECT_TRUE(bench.Fpga().AcquireNow());
    const std::vector<uint8_t> raster = bench.Fpga().Raster();
    std::vector<int> rows;
    for (int r = 0; r < 200; ++r)
      if (raster[size_t(r) * 700 + 10] && !(raster[size_t(r) * 700 + 10] & 0x80)) rows.push_back(r);
    return rows;
  };
  const std::vector<int> zero = rowsAt(0.0);
  ASSERT_FALSE(zero.empty());
  const std::vector<int> both = rowsAt(0.5);
  EXPECT_GT(both.size(), zero.size());
  EXPECT_TRUE(std::includes(both.begin(), both.end(), zero.begin(), zero.end()));
  QelDraw.ClearQelPicture();
  EXPECT_EQ(bench.Fpga().Word(126), 10);
  const std::vector<int> half = rowsAt(0.5);
  ASSERT_FALSE(half.empty());
  for (int r : zero) EXPECT_EQ(std::count(half.begin(), half.end(), r), 0) << r;
}

TEST_F(Display, TheGraticuleOnScreenFollowsTheMenu) {
  Page(0);
  const uint32_t grid = uint32_t(QelDraw.GetGridColor());
  EXPECT_GT(RowCount(83, grid), 50);   // a division line
  EXPECT_GT(RowCount(232, grid), 50);  // the centre cross
  bench.Key(kF2);  // opens the list of four
  bench.Key(kF2);
  EXPECT_EQ(bench.EepromByte(ee::kDispGraticule), 1);
  EXPECT_EQ(SysRunInfo.graticule, 1);
  EXPECT_GT(RowCount(83, grid), 50);
  EXPECT_EQ(RowCount(232, grid), 0);
  bench.Key(kF2);  // centre cross only
  EXPECT_EQ(RowCount(83, grid), 0);
  EXPECT_GT(RowCount(232, grid), 50);
  bench.Key(kF2);  // none inside the frame
  EXPECT_EQ(bench.EepromByte(ee::kDispGraticule), 3);
  EXPECT_EQ(AreaCount(grid), 0);
}

struct DisplayBright : Display {
  std::vector<std::pair<int, uint8_t>> Stored() override { return {{123, 99}, {124, 40}, {164, 70}}; }
};

TEST_F(DisplayBright, BrightnessKnobsMoveByAtMostThreeAndStayInRange) {
  EXPECT_EQ(uint32_t(QelDraw.GetGridColor()), Grey(99));
  EXPECT_EQ(plat::Backlight(), 70);

  Page(0);  // the knob starts on WaveBright
  Remote(kUp, 5);
  EXPECT_EQ(Item(kDispWaveBright), 43);
  EXPECT_EQ(bench.EepromByte(ee::kDispWaveBright), 43);
  EXPECT_EQ(Palette0()[255], 219 * 0x000101);  // 255 x trunc(256 - 7 x 5.12) / 256

  bench.Key(kF3);  // the knob goes to GridBright
  EXPECT_TRUE(TaskDisplay.TaskMenu.GetItemAttribute(kDispGridBright) & 0x20);
  EXPECT_FALSE(TaskDisplay.TaskMenu.GetItemAttribute(kDispWaveBright) & 0x20);
  EXPECT_EQ(Item(kDispGridBright), 99);
  Remote(kUp, 5);
  EXPECT_EQ(Item(kDispGridBright), 100);
  EXPECT_EQ(bench.EepromByte(ee::kDispGridBright), 100);
  EXPECT_EQ(uint32_t(QelDraw.GetGridColor()), Grey(100));
  EXPECT_GT(RowCount(83, Grey(100)), 50);  // the graticule in the new grey
  EXPECT_EQ(Item(kDispWaveBright), 43);
  TaskDisplay.TaskMenu.SetMenuItem(kDispGridBright, 2);
  Remote(kDown, 5);
  EXPECT_EQ(Item(kDispGridBright), 1);
  Remote(kDown, 1);
  EXPECT_EQ(Item(kDispGridBright), 1);
  EXPECT_EQ(uint32_t(QelDraw.GetGridColor()), Grey(1));

  bench.Key(kF5);  // the backlight page: the knob is on BackLight
  TaskDisplay.TaskMenu.SetMenuItem(kDispBackLight, 12);
  Remote(kDown, 5);
  EXPECT_EQ(Item(kDispBackLight), 10);
  EXPECT_EQ(bench.EepromByte(ee::kDispBackLight), 10);
  EXPECT_EQ(plat::Backlight(), 10);
  Remote(kUp, 100);
  EXPECT_EQ(plat::Backlight(), 100);
  EXPECT_EQ(bench.EepromByte(ee::kDispBackLight), 100);
}

TEST_F(Display, ColourGradingAndItsInversionChangeTheTraceOnScreen) {
  bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  SetWaveTestSettings();
  // The trace's colours over the wave area, as drawn from the raster, by
  // raster point. The trigger crossing moves by a fraction of a sample from
  // one acquisition to the next, so frames are compared where both are lit.
  auto frame = [&] {
    WaveOp.RequestChData(1);
    EXPECT_TRUE(bench.Fpga().AcquireNow());
    SysRunStatus.SetDrawRefresh();
    bench.Pass();
    std::map<int, uint32_t> lit;
    for (int r = 0; r < 200; ++r)
      for (int x = 3; x < 700; x += 7)
        if (QelWaveData[r * 700 + x]) lit[r * 700 + x] = bench.Pixel(33 + 2 * r, 30 + x);
    return lit;
  };
  auto changedShare = [](const std::map<int, uint32_t>& a, const std::map<int, uint32_t>& b) {
    int both = 0, changed = 0;
    for (const auto& [at, colour] : a) {
      auto it = b.find(at);
      if (it == b.end()) continue;
      ++both;
      changed += it->second != colour;
    }
    EXPECT_GT(both, 50);
    return both ? double(changed) / both : 0.0;
  };
  Page(1);
  const auto plain = frame();
  ASSERT_GT(plain.size(), 50u);
  bench.Key(kF3);  // Color on
  const auto graded = frame();
  EXPECT_GT(changedShare(plain, graded), 0.9);
  bench.Key(kF4);  // inverted grading
  const auto inverted = frame();
  EXPECT_GT(changedShare(graded, inverted), 0.9);
}

TEST_F(Display, ColourGradingTakesThePaletteAndHoldsWaveBrightBack) {
  Page(1);
  bench.Key(kF3);  // Color on
  EXPECT_EQ(bench.EepromByte(ee::kDispColor), 1);
  EXPECT_TRUE(PaletteIsPicture(122));
  bench.Key(kF4);  // inverted
  EXPECT_EQ(bench.EepromByte(ee::kDispColorInvert), 1);
  EXPECT_TRUE(PaletteIsPicture(123));

  bench.Key(kDisplay);  // page 0: the knob on WaveBright is stored, not applied
  Remote(kUp, 3);
  EXPECT_EQ(Item(kDispWaveBright), 33);
  EXPECT_EQ(bench.EepromByte(ee::kDispWaveBright), 33);
  EXPECT_TRUE(PaletteIsPicture(123));

  bench.Key(kF5);
  bench.Key(kF3);  // Color off applies the stored WaveBright
  EXPECT_EQ(bench.EepromByte(ee::kDispColor), 0);
  EXPECT_EQ(Palette0()[255], 167 * 0x000101);  // 255 x trunc(256 - 17 x 5.12) / 256
}

TEST_F(Display, TheMenuHidesAfterItsDisplayTime) {
  Page(2);
  bench.Key(kF1);  // opens the list of four
  bench.Key(kF1);  // 10 s
  EXPECT_EQ(bench.EepromByte(ee::kDispMenuTime), 1);
  EXPECT_EQ(SysRunInfo.menuTimeCode, 1);
  bench.AdvanceMs(9000);
  bench.Pass();
  EXPECT_TRUE(SysRunStatus.IsMenuStatus());
  EXPECT_TRUE(PanelShown());
  bench.AdvanceMs(2000);
  bench.Pass();
  EXPECT_FALSE(SysRunStatus.IsMenuStatus());
  bench.AdvanceMs(600);
  bench.Pass();
  EXPECT_FALSE(PanelShown());

  // Infinite: the menu stays.
  bench.Key(kF1);
  bench.Key(kF1);
  bench.Key(kF1);
  ASSERT_EQ(Item(kDispMenuTime), 3);
  bench.AdvanceMs(60000);
  bench.Pass();
  EXPECT_TRUE(SysRunStatus.IsMenuStatus());

  // The acquire module's assist re-applies the stored time.
  SysRunStatus.SetMenuDisplayTimeS(0);
  taskresponse request{}, reply{};
  request.request = 4;
  request.words[0] = 1;
  TaskManage.RequestTaskAssist(kTaskDisplay, &request, &reply);
  EXPECT_EQ(SysRunInfo.menuTimeCode, 0);
  request.words[0] = 0;
  TaskManage.RequestTaskAssist(kTaskDisplay, &request, &reply);
  EXPECT_EQ(SysRunInfo.menuTimeCode, 3);

  bench.Key(kF2);  // Transparent
  EXPECT_EQ(bench.EepromByte(ee::kDispTransparent), 1);
  EXPECT_EQ(SysRunInfo.transparent, 1);
}

struct DisplaySet : Display {
  std::vector<std::pair<int, uint8_t>> Stored() override {
    return {{120, 1}, {121, 2}, {123, 80}, {124, 80}, {125, 4},
            {126, 1}, {127, 1}, {160, 1},  {164, 90}, {212, 0}};
  }
};

TEST_F(DisplaySet, StartUpAppliesTheStoredSettingsAndDefaultRestoresTheFactoryOnes) {
  EXPECT_EQ(bench.Fpga().Word(118), 1);
  EXPECT_EQ(bench.Fpga().Word(126), 4);
  EXPECT_EQ(plat::Backlight(), 90);
  EXPECT_EQ(uint32_t(QelDraw.GetGridColor()), Grey(80));
  EXPECT_TRUE(PaletteIsPicture(123));
  EXPECT_EQ(SysRunInfo.graticule, 2);
  EXPECT_EQ(SysRunInfo.menuTimeCode, 1);
  EXPECT_EQ(SysRunInfo.transparent, 0);

  taskresponse r{};
  r.key.key = KEY_WORD_DEFAULT;
  TaskDisplay.OpResponse(&r);
  const std::pair<int, int> kFactory[] = {{120, 0}, {121, 0}, {123, 50}, {124, 50}, {125, 0},
                                          {126, 0}, {127, 0}, {160, 3},  {164, 50}, {212, 1}};
  for (auto [address, value] : kFactory) EXPECT_EQ(bench.EepromByte(address), value) << address;
  EXPECT_EQ(Item(kDispBackLight), 50);
  EXPECT_EQ(Item(kDispMenuTime), 3);
  EXPECT_EQ(SysRunInfo.graticule, 0);

  r.key.key = KEY_WORD_INIT;
  TaskDisplay.OpResponse(&r);
  EXPECT_EQ(bench.Fpga().Word(118), 0);
  EXPECT_EQ(bench.Fpga().Word(126), 0);
  EXPECT_EQ(plat::Backlight(), 50);
  EXPECT_EQ(uint32_t(QelDraw.GetGridColor()), Grey(50));
  EXPECT_EQ(Palette0()[1], 1 * 0x000101);  // trace brightness 50, colour grading off
  EXPECT_EQ(SysRunInfo.menuTimeCode, 3);
  EXPECT_EQ(SysRunInfo.transparent, 1);

  // A language reload keeps the values.
  r.key.key = KEY_WORD_LANGUAGE;
  TaskDisplay.OpResponse(&r);
  EXPECT_EQ(Item(kDispGridBright), 50);
  EXPECT_NE(TaskDisplay.TaskMenu.GetMenuItemTitle(kDispGridBright), nullptr);
}

TEST(DisplayStart, ABlankEepromStartsOnTheFactorySettings) {
  Bench bench;
  ASSERT_EQ(bench.Start(), 0);
  bench.StopThreads();
  EXPECT_EQ(bench.EepromByte(ee::kDispGridBright), 50);
  EXPECT_EQ(bench.EepromByte(ee::kDispMenuTime), 3);
  EXPECT_EQ(uint32_t(QelDraw.GetGridColor()), Grey(50));
  EXPECT_EQ(plat::Backlight(), 50);
  EXPECT_EQ(SysRunInfo.transparent, 1);
}

TEST(DisplayStart, ErasedBytesTakeTheInitialValues) {
  Bench bench;
  bench.SetEeprom(FormattedEeprom(6, 0));  // the display bytes read 0xFF
  ASSERT_EQ(bench.Start(), 0);
  bench.StopThreads();
  EXPECT_EQ(bench.EepromByte(ee::kDispType), 0);
  EXPECT_EQ(bench.EepromByte(ee::kDispGraticule), 0);
  EXPECT_EQ(bench.EepromByte(ee::kDispGridBright), 30);
  EXPECT_EQ(bench.EepromByte(ee::kDispBackLight), 30);
  EXPECT_EQ(SysRunInfo.displayType, 0);
  EXPECT_EQ(SysRunInfo.graticule, 0);
  EXPECT_EQ(uint32_t(QelDraw.GetGridColor()), Grey(30));
  EXPECT_EQ(plat::Backlight(), 30);
}

namespace {
int Store(int direction, std::vector<uint8_t>* buffer, int length, int used, int32_t* status) {
  return RunSetupStorage(TaskDisplay, direction, buffer, length, used, status);
}
}  // namespace

TEST_F(Display, TheSetupBlockSavesAndLoadsEverySetting) {
  Page(0);
  bench.Key(kF1);  // dots
  TaskDisplay.TaskMenu.SetMenuItem(kDispGridBright, 70);
  Display_GridBright(kNoKey);

  std::vector<uint8_t> file(512, '.');
  int32_t status = 0;
  const int used = Store(0, &file, int(file.size()), 10, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(used, 10 + 14 + 3 * 40 + 2);
  EXPECT_EQ(std::memcmp(file.data() + 10, "TASK-DISPLAY\r\n", 14), 0);
  EXPECT_EQ(std::memcmp(file.data() + used - 2, "\r\n", 2), 0);

  TaskDisplay.FunctionOnOff(0);
  TaskDisplay.TaskMenu.SetMenuItem(kDispGridBright, 10);
  Display_GridBright(kNoKey);
  ASSERT_EQ(bench.Fpga().Word(118), 0);

  Store(1, &file, used, 0, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Item(kDispType), 1);
  EXPECT_EQ(bench.Fpga().Word(118), 1);
  EXPECT_EQ(uint32_t(QelDraw.GetGridColor()), Grey(70));
  EXPECT_EQ(bench.EepromByte(ee::kDispGridBright), 70);

  // A file without the block, a block cut short, a save that does not fit
  // and a record without a buffer fail and change nothing.
  std::vector<uint8_t> other(200, '.');
  Store(1, &other, int(other.size()), 0, &status);
  EXPECT_EQ(status, -1);
  Store(1, &file, used - 10, 0, &status);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(Item(kDispType), 1);
  EXPECT_EQ(Item(kDispGridBright), 70);
  EXPECT_EQ(Store(0, &other, 100, 10, &status), 10);
  EXPECT_EQ(status, -1);
  Store(0, nullptr, 100, 0, &status);
  EXPECT_EQ(status, -1);
}
