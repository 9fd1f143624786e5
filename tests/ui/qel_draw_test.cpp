// The screen composer on a started instrument: frame cadence, page swap and
// buffer kinds, clipped area updates, palettes, item value formats, the
// pop-up window of long lists, the progress bar and the input boards.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "acquisition/channel/task_ch1.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/models/y_system.h"
#include "core/common/common_subprogram.h"
#include "core/menu/menu.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/common/unit_convert.h"
#include "platform/clock.h"
#include "platform/devices/framebuffer.h"
#include "remote/scpi/scpi_client.h"
#include "remote/scpi/scpi_msg.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr uint32_t kText = 0xC8C8AF;

struct Composer : ::testing::Test {
  Bench bench;
  void SetUp() override {
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();  // the watchers' redraw requests would race the frame timing
    plat::HoldVirtualClock(true);  // the frame timing runs on the test's time alone
    bench.Pass();
  }
  // No reason for a frame but the time.
  void Quiet() {
    QelDraw.ClearWaveAreaRefresh();
    SysRunStatus.ClearDrawRefresh();
    SysRunStatus.SetTimeBaseAdjFlag(0);
  }
};

// A drawing object of its own, to render the texts the composer should show.
class Scratch : public Draw {
 public:
  Scratch() : buf_(size_t(kWidth) * kHeight, 0) {
    SetUserFontPointer(&QelFont);
    SetPicturePointer(&QelSysPic);
  }
  uint32_t* GetDrawAddr(short) override { return buf_.data(); }
  const std::vector<uint32_t>& Pixels() const { return buf_; }

 private:
  std::vector<uint32_t> buf_;
};

// Positions of the pixels of one colour in a rectangle of a buffer.
std::vector<int> Where(const uint32_t* buf, int row, int col, int width, int height, uint32_t colour) {
  std::vector<int> at;
  for (int r = row; r < row + height; ++r)
    for (int c = col; c < col + width; ++c)
      if ((buf[r * 800 + c] & 0xFFFFFF) == colour) at.push_back(r * 800 + c);
  return at;
}

uint32_t PicPixel(int id, int row, int col) {
  const PicInfo* p = QelSysPic.GetPictureMsg(id);
  return p && p->pixels ? p->pixels[row * p->width + col] : 0xDEADBEEF;
}

std::vector<std::u16string> g_texts;
MenuOption g_options[20];
menu g_menu;

// Empties the shared menu by copying a blank one: assigning a `menu{}`
// temporary this large stops Debian 12's GCC with an internal compiler error
// when built without sanitizers.
void ClearMenu() {
  static const menu kBlank{};
  g_menu = kBlank;
}
}  // namespace

TEST_F(Composer, WaveFramesWaitHalfASecondOfTheWholeElapsedTime) {
  SysRunStatus.SetDrawRefresh();  // a redraw request composes at once, whatever the time
  EXPECT_EQ(QelDraw.MainDisplay(), 1);
  Quiet();
  bench.AdvanceMs(100);
  EXPECT_EQ(QelDraw.MainDisplay(), 0);
  bench.AdvanceMs(100);
  EXPECT_EQ(QelDraw.MainDisplay(), 0);
  bench.AdvanceMs(400);
  EXPECT_EQ(QelDraw.MainDisplay(), 1);
  bench.AdvanceMs(1200);  // a second and a fifth: the sub-second parts alone would say 0.2 s
  EXPECT_EQ(QelDraw.MainDisplay(), 1);
  bench.AdvanceMs(100);
  EXPECT_EQ(QelDraw.MainDisplay(), 0);
  QelDraw.SetWaveAreaRefresh();  // new data composes at once
  EXPECT_EQ(QelDraw.MainDisplay(), 1);
  EXPECT_EQ(QelDraw.MainDisplay(), 0);
}

TEST_F(Composer, ATimeBaseAdjustmentRedrawsUntilItIsTwoSecondsOld) {
  Quiet();
  SysRunStatus.SetTimeBaseAdjFlag(1);
  QelDraw.MainDisplay();
  EXPECT_EQ(SysRunStatus.GetTimeBaseAdjFlag(), 1);
  bench.AdvanceMs(2100);
  QelDraw.MainDisplay();
  EXPECT_EQ(SysRunStatus.GetTimeBaseAdjFlag(), 0);
}

TEST_F(Composer, PagesSwapOnEveryLcdUpdateAndKindsNameThem) {
  const int composing = QelDraw.CurrentPage();
  QelDraw.FillRect(100, 100, 10, 10, 0x123456, DRAW_CURRENT);
  uint32_t* page = QelDraw.GetDrawAddr(DRAW_CURRENT);
  QelDraw.UpdateLcd();
  EXPECT_EQ(QelDraw.LastPage(), composing);
  EXPECT_EQ(QelDraw.CurrentPage(), 1 - composing);
  EXPECT_EQ(QelDraw.GetDrawAddr(DRAW_SHOWN), page);
  EXPECT_EQ(QelDraw.GetScreenBMP(), page);
  EXPECT_EQ(bench.Pixel(105, 105), 0x123456u);
  EXPECT_NE(QelDraw.GetDrawAddr(DRAW_CURRENT), page);
  EXPECT_EQ(QelDraw.GetDrawAddr(3), QelDraw.GetDrawAddr(DRAW_CURRENT));
  EXPECT_EQ(QelDraw.GetDrawAddr(0), QelDraw.GetDrawAddr(DRAW_CURRENT));

  uint32_t* menuPage = QelDraw.GetDrawAddr(DRAW_MENU);
  uint32_t* staticPage = QelDraw.GetDrawAddr(DRAW_STATIC);
  QelDraw.SetMainDisplayType(1);  // everything but the menu and the shown page goes hidden
  uint32_t* hidden = QelDraw.GetDrawAddr(DRAW_CURRENT);
  EXPECT_EQ(QelDraw.GetDrawAddr(DRAW_STATIC), hidden);
  EXPECT_EQ(QelDraw.GetDrawAddr(7), hidden);
  EXPECT_NE(hidden, staticPage);
  EXPECT_NE(hidden, page);
  EXPECT_EQ(QelDraw.GetDrawAddr(DRAW_MENU), menuPage);
  EXPECT_EQ(QelDraw.GetDrawAddr(DRAW_SHOWN), page);
  SysRunStatus.SetDrawRefresh();
  QelDraw.MainDisplay();  // composes on the one hidden page without copying it onto itself
  EXPECT_EQ(QelDraw.LastPage(), composing);
}

TEST_F(Composer, AreaUpdatesAreClippedToTheScreen) {
  uint32_t* page = QelDraw.GetDrawAddr(DRAW_CURRENT);
  std::fill(page, page + qel_draw::kPixels, 0x123456u);
  uint32_t* fb = plat::FrameBufferMap();
  ASSERT_NE(fb, nullptr);
  auto copied = [&] {
    const int n = int(std::count(fb, fb + qel_draw::kPixels, 0x123456u));
    std::fill(fb, fb + qel_draw::kPixels, 0u);
    return n;
  };
  copied();
  QelDraw.UpdateAreaLcd(10, 10, 0, 5);
  QelDraw.UpdateAreaLcd(10, 10, 5, 0);
  QelDraw.UpdateAreaLcd(10, 10, -5, 5);
  QelDraw.UpdateAreaLcd(480, 0, 10, 10);
  QelDraw.UpdateAreaLcd(0, 800, 10, 10);
  QelDraw.UpdateAreaLcd(-20, -20, 10, 10);
  EXPECT_EQ(copied(), 0);
  QelDraw.UpdateAreaLcd(470, 790, 100, 100);
  EXPECT_EQ(copied(), 100);
  EXPECT_EQ(fb[0], 0u);
  QelDraw.UpdateAreaLcd(-10, -20, 30, 40);
  EXPECT_EQ(copied(), 30 * 10);
  QelDraw.UpdateAreaLcd(0, 0, INT_MAX, INT_MAX);
  EXPECT_EQ(copied(), qel_draw::kPixels);
  QelDraw.UpdateAreaLcd(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_EQ(copied(), 0);
}

TEST_F(Composer, ChannelColoursAndPalettes) {
  const int want[12] = {0x00CCCC, 0xFFCC00, 0x009900, 0xAC04E4, 0xFF0000, 0x08A5A5,
                        0x6C6C00, 0x005000, 0x4C004C, 0x000005, 0x000008, 0x00CCCC};
  for (short i = 0; i < 12; ++i) EXPECT_EQ(qel_draw::GetChannelColor(i), want[i]);
  EXPECT_EQ(qel_draw::GetChannelColor(12), 0x00CCCC);
  EXPECT_EQ(qel_draw::GetChannelColor(13), 0x00CCCC);
  EXPECT_EQ(qel_draw::GetChannelColor(-1), 0x00CCCC);

  QelDraw.SetGrayScale(50);
  EXPECT_EQ(QelDraw.GetGridColor(), 0x646464);
  QelDraw.SetGrayScale(0);
  EXPECT_EQ(QelDraw.GetGridColor(), 0);
  QelDraw.SetGrayScale(200);
  EXPECT_EQ(QelDraw.GetGridColor(), 0xFFFFFF);

  int* palette[4] = {};
  uint8_t* raster = nullptr;
  for (short ch = 0; ch < 4; ++ch) ASSERT_EQ(QelDraw.GetQelGrayscaleInfo(&raster, ch, &palette[ch]), 0);
  EXPECT_EQ(QelDraw.GetQelGrayscaleInfo(&raster, 4, &palette[0]), -1);
  QelDraw.SetWaveBright(50);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(palette[0][i], i * 0x000101);
  EXPECT_EQ(palette[1][255], 255 * 0x010100);
  QelDraw.SetWaveBright(100);
  EXPECT_EQ(palette[0][0], 250 * 0x000101);
  EXPECT_EQ(palette[3][0], 250 * 0x010001);
  EXPECT_EQ(palette[0][255], 255 * 0x000101);
  QelDraw.SetWaveBright(101);  // ignored
  EXPECT_EQ(palette[0][0], 250 * 0x000101);
  QelDraw.SetWaveBright(3);
  EXPECT_EQ(palette[2][255], int(255 * 25 / 256.0) * 0x000100);

  QelDraw.SetColorTemp(0, 99);
  EXPECT_EQ(uint32_t(palette[2][17]), PicPixel(122, 0, 17));
  QelDraw.SetColorTemp(1, 0);
  EXPECT_EQ(uint32_t(palette[0][200]), PicPixel(123, 0, 200));
  QelDraw.SetFFTWaterFallGrayScale();
  EXPECT_EQ(uint32_t(QelDraw.WaterfallPalette()[5]), PicPixel(122, 0, 5));
}

TEST_F(Composer, NumberItemsShowTheirFormats) {
  struct Case {
    uint32_t attribute;
    uint64_t value;
    const char* text;
  };
  const Case cases[4] = {{0x4002012, 26, "0x1a"}, {0x4002012, 9, "9"}, {0x4004016, 50, "50%"},
                         {0x4008012, 250, "1.00 \xB5s"}};
  ClearMenu();
  g_menu.pageCount = 1;
  for (int s = 0; s < 4; ++s) {
    g_menu.pages[0].items[s].attribute = cases[s].attribute;
    g_menu.pages[0].items[s].value.raw = cases[s].value;
  }
  g_menu.pages[0].items[4].attribute = 0x8 | 0x2;  // hidden
  TaskCh1.TaskMenu.Attach(&g_menu);
  ASSERT_EQ(QelDraw.DrawQelMenu(6, &TaskCh1.TaskMenu), 0);
  const uint32_t* page = QelDraw.GetDrawAddr(DRAW_MENU);
  for (int s = 0; s < 4; ++s) {
    Scratch want;
    QelFont.SetCurrFont(3);
    const int base = 57 + 80 * s;
    want.DrawString(base + 30, 737 - want.Stringlen(0, cases[s].text) / 2, cases[s].text, kText, 0);
    const auto expected = Where(want.Pixels().data(), base + 25, 700, 98, 30, kText);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(Where(page, base + 25, 700, 98, 30, kText), expected) << cases[s].text;
  }
  EXPECT_EQ(Where(page, 354, 676, 123, 79, 0).size(), 123u * 79u);  // the hidden item: panel black
  TaskCh1.TaskMenu.SetNullMenu();
}

TEST_F(Composer, ALongPopUpListShowsFourteenChoicesAroundTheCursor) {
  ClearMenu();
  g_menu.pageCount = 2;
  g_menu.currPage = 1;
  MenuItem& it = g_menu.pages[1].items[2];  // item 7
  it.attribute = 0x4000006;
  it.choices = 20;
  g_texts.clear();
  for (int c = 0; c < 20; ++c) g_texts.push_back(u"choice " + std::u16string(1, char16_t('A' + c)));
  for (int c = 0; c < 20; ++c)
    g_options[c] = {uint16_t(c), reinterpret_cast<const uint16_t*>(g_texts[size_t(c)].c_str()),
                    c < 19 ? &g_options[c + 1] : nullptr};
  it.options = g_options;
  TaskCh1.TaskMenu.Attach(&g_menu);
  ASSERT_EQ(TaskCh1.TaskMenu.MenuPopEnable(7, 16), 0);

  QelDraw.DrawQelMenuPop(6, &TaskCh1.TaskMenu);
  menuposmsg pos{};
  QelDraw.GetQelMenuPosMsg(&pos);
  EXPECT_EQ(pos.count, 16);
  EXPECT_EQ(pos.width, 116);
  EXPECT_EQ(pos.height, 22);
  EXPECT_EQ(pos.cursor, 16);
  EXPECT_EQ(pos.entry[0].index, 0x80);
  EXPECT_EQ(pos.entry[0].row, 35 + 22);
  for (int i = 1; i <= 14; ++i) {
    EXPECT_EQ(pos.entry[i].index, 2 + i);  // choices 3 to 16
    EXPECT_EQ(pos.entry[i].column, 560);
    EXPECT_EQ(pos.entry[i].row, 57 + 22 * i);
  }
  EXPECT_EQ(pos.entry[15].index, 0x81);
  const uint32_t* page = QelDraw.GetDrawAddr(DRAW_CURRENT);
  EXPECT_EQ(page[(pos.entry[14].row + 2) * 800 + 563], PicPixel(101, 2, 3));  // choice 16 lit
  EXPECT_EQ(page[(pos.entry[13].row + 2) * 800 + 563], PicPixel(98, 2, 3));
  EXPECT_TRUE(TaskCh1.TaskMenu.MenuIsPop(nullptr));

  g_menu.popTime.tv_sec -= 7;  // left alone for 7 s: drawn once more, then closed
  QelDraw.DrawQelMenuPop(6, &TaskCh1.TaskMenu);
  EXPECT_FALSE(TaskCh1.TaskMenu.MenuIsPop(nullptr));
  QelDraw.GetQelMenuPosMsg(&pos);
  EXPECT_EQ(pos.popState, 0);
  TaskCh1.TaskMenu.SetNullMenu();
}

TEST_F(Composer, TheProgressBarIsPushedToTheScreenAndStopsAtFortySegments) {
  QelDraw.DrawWorkProcess(200, 200, 1, 0);
  QelDraw.DrawWorkProcess(200, 200, 2, 5);
  const uint32_t bar = PicPixel(119, 7, 4) & 0xFFFFFF;
  EXPECT_EQ(bench.Pixel(210, 202 + 9 * 4 + 4), bar);
  EXPECT_EQ(bench.Pixel(210, 202 + 9 * 5 + 4), PicPixel(118, 10, 2 + 9 * 5 + 4) & 0xFFFFFF);
  QelDraw.DrawWorkProcess(200, 200, 2, 100);
  EXPECT_EQ(bench.Pixel(210, 202 + 9 * 39 + 4), bar);
  QelDraw.DrawWorkProcess(200, 200, 1, 0);
  EXPECT_EQ(bench.Pixel(210, 202 + 4), PicPixel(118, 10, 6) & 0xFFFFFF);
}

TEST_F(Composer, InputBoardsPublishTheirState) {
  numkeyboard pad{};
  CommonSubProg.NumKeyboardInit(&pad, 13, 2);
  pad.cursor = 21;  // Enter
  std::snprintf(pad.text, sizeof pad.text, "12.5");
  pad.negative = 1;
  QelDraw.DrawNumKeyboard(&pad);
  numkeyboardshow shown = QelDraw.GetNumKeyboardShowMsg();
  EXPECT_EQ(shown.shown, 1);
  EXPECT_EQ(shown.owner, 13);
  EXPECT_EQ(shown.cursor, 21);
  const uint32_t* page = QelDraw.GetDrawAddr(DRAW_CURRENT);
  EXPECT_EQ(page[(100 + 56) * 800 + 230 + 232] & 0xFFFFFF, kText);  // the cursor frame on Enter
  EXPECT_FALSE(Where(page, 115, 240, 60, 24, kText).empty());      // "-12.5"
  QelDraw.ClearNumKeyboardShowFlag();
  EXPECT_EQ(QelDraw.GetNumKeyboardShowMsg().shown, 0);

  QelDraw.DrawSoftKeyboard(37, 1, "name");
  softkeyboardmsg soft{};
  QelDraw.GetSoftKeyboardMsg(&soft);
  EXPECT_EQ(soft.shown, 1);
  EXPECT_EQ(soft.keyCount, 40);
  EXPECT_EQ(soft.keyWidth, 25);
  EXPECT_EQ(soft.keyHeight, 30);
  EXPECT_EQ(soft.cursor, 37);
  EXPECT_EQ(soft.key[37].row, 235);
  EXPECT_EQ(soft.key[37].column, 105 + 27 * 17);
  EXPECT_EQ(soft.key[19].row, 200);
  EXPECT_EQ(page[(235 + 1) * 800 + 105 + 27 * 17 + 1] & 0xFFFFFF, 0x01F801u);  // "del" lit
  QelDraw.ClearSoftKeyboardShowFlag();
  QelDraw.GetSoftKeyboardMsg(&soft);
  EXPECT_EQ(soft.shown, 0);
}

TEST_F(Composer, TheTriggerSummaryShowsTheLevelTheEdgeTriggersOn) {
  // An edge trigger on CH1: the comparator takes level 1; level 0 (the low
  // level of the two-level types) holds another voltage.
  _SysRunInfo& info = *SysRunStatus.GetSysRunInfoBaseAddr();
  info.trigType = 0;
  info.trigSource = 0;
  info.slope = 0;
  info.trigCoupling = 0;
  info.trigMode = 0;
  UnitConvert.VUnitConvert(-1.0, &info.levelVoltage[0].levelText[0]);
  UnitConvert.VUnitConvert(2.0, &info.levelVoltage[0].levelText[1]);
  ASSERT_EQ(Trigger.GetTrigLevel(), 1);
  SysRunStatus.SetDrawRefresh();
  bench.Pass();

  Scratch want;
  QelFont.SetCurrFont(1);
  const int col = want.DrawIco(5, 633, 1, int(kText), 1) + 2;  // the rising-edge mark
  want.DrawString(9, col, "E DC Auto: 2.00V", int(kText), 1);
  const std::vector<uint32_t> screen = bench.Screen();
  const std::vector<int> drawn = Where(screen.data(), 0, 633, 167, 30, kText);
  const std::vector<int> expected = Where(want.Pixels().data(), 0, 633, 167, 30, kText);
  EXPECT_GT(expected.size(), 50u);
  EXPECT_EQ(drawn, expected);
}

// X-Y: a moved offset's line is drawn where the trace's offset is, in the
// square (1.4 pixels a code about row 305 and column 380): CH2 a row, CH1
// (the X axis) a column; neither at its Y-T row.
TEST_F(Composer, XYOffsetLinesAreWhereTheTraceIs) {
  _SysRunInfo& info = *SysRunStatus.GetSysRunInfoBaseAddr();
  info.displayFormat = 1;
  info.timeBaseType = 0;
  info.sourceOn = 3;  // both channels, as X-Y has them
  auto count = [&](int row, int col, int width, int height, int ch) {
    const std::vector<uint32_t> screen = bench.Screen();
    return Where(screen.data(), row, col, width, height, uint32_t(qel_draw::GetChannelColor(short(ch))))
        .size();
  };
  SysRunStatus.SetActivCh(1);
  ASSERT_EQ(Vertical.SetRealYposition(1, 127 + 25), 127 + 25);  // one division up
  SysRunStatus.SetDrawRefresh();
  QelDraw.SetWaveAreaRefresh();
  bench.Pass();
  EXPECT_GT(count(305 - 35, 150, 550, 1, 1), 500u);
  EXPECT_LT(count(233 - 50, 150, 550, 1, 1), 50u);  // the Y-T row of that offset

  SysRunStatus.SetActivCh(0);
  ASSERT_EQ(Vertical.SetRealYposition(0, 127 - 25), 127 - 25);  // one division left
  SysRunStatus.SetDrawRefresh();
  QelDraw.SetWaveAreaRefresh();
  bench.Pass();
  EXPECT_GT(count(190, 380 - 35, 1, 250, 0), 200u);
  EXPECT_LT(count(233 + 50, 150, 550, 1, 0), 50u);
}

// The zoom layout names the main window's time base under its strip,
// "M: <label>" centred on column 380 at row 133.
TEST_F(Composer, TheZoomLayoutShowsTheMainTimeBase) {
  _SysRunInfo& info = *SysRunStatus.GetSysRunInfoBaseAddr();
  info.timeBaseType = 1;
  info.horizontal[0].realTimeBase = 21;
  SysRunStatus.SetDrawRefresh();
  QelDraw.SetWaveAreaRefresh();
  bench.Pass();

  Scratch want;
  QelFont.SetCurrFont(1);
  const std::string text = "M: 1.00ms";  // index 21 of the time-base table
  want.DrawString(133, 380 - want.Stringlen(0, text.c_str()) / 2, text.c_str(), int(kText), 1);
  const std::vector<uint32_t> screen = bench.Screen();
  const std::vector<int> expected = Where(want.Pixels().data(), 120, 280, 200, 40, kText);
  EXPECT_GT(expected.size(), 30u);
  EXPECT_EQ(Where(screen.data(), 120, 280, 200, 40, kText), expected);
}

namespace {
// The label-coloured pixels of CH1's status box (rows 447-476, columns 1-175).
std::vector<int> Ch1Box(const Bench& bench) {
  const std::vector<uint32_t> screen = bench.Screen();
  return Where(screen.data(), 447, 1, 175, 30, kText);
}
}  // namespace

// Stopped, the kept record is drawn at once at a new volts/div: so is the
// label, the one the running instrument shows for that range (before RUN
// brings the first record taken with it).
TEST_F(Composer, AStoppedVoltsPerDivisionChangeShowsItsLabelAtOnce) {
  bench.Key(kKeyRunStop);
  ASSERT_EQ(SysRunStatus.GetAcquireStatus(0), kAcqStopped);
  bench.Pass();
  const std::vector<int> before = Ch1Box(bench);
  const float vdiv = Vertical.GetRealYDivVoltage(0);
  bench.Key(kKeyVoltsLeft);  // one range coarser
  ASSERT_GT(Vertical.GetRealYDivVoltage(0), vdiv);
  bench.Pass();
  const std::vector<int> stopped = Ch1Box(bench);
  EXPECT_NE(stopped, before);

  bench.Key(kKeyRunStop);
  ASSERT_NE(SysRunStatus.GetAcquireStatus(0), kAcqStopped);
  for (int i = 0; i < 3; ++i) {
    bench.Fpga().AcquireNow();
    bench.Pass();
  }
  EXPECT_EQ(Ch1Box(bench), stopped);
}

// Stopped, a setting changed from the panel or over SCPI draws the kept record
// and every status text again (V/div, probe, offset, time base, trigger level):
// the page the loop shows next is the one a fresh drawing shows.
TEST_F(Composer, AStoppedChangeShowsThePageAFreshDrawingShows) {
  ASSERT_EQ(0, StartScpiThread());
  bench.Key(kKeyRunStop);
  ASSERT_EQ(SysRunStatus.GetAcquireStatus(0), kAcqStopped);
  const auto pass = [&] {
    bench.AdvanceMs(20);  // a frame is due
    bench.Pass();
  };
  pass();
  struct Change {
    const char* what;
    uint8_t key;          // a panel key, or
    const char* command;  // a remote command
  };
  const Change changes[] = {
      {"V/div knob", kKeyVoltsLeft, nullptr},         {"position knob", kKeyOffsetLeft, nullptr},
      {"time base knob", kKeyTimeBaseLeft, nullptr},  {"trigger level knob", kKeyTriggerLeft, nullptr},
      {"pre-trigger knob", kKeyPreTrigLeft, nullptr}, {"volts/div", 0, "CHANnel1:SCALe 2"},
      {"offset", 0, "CHANnel1:OFFSet 0.5"},           {"probe", 0, "CHANnel1:PROBe 10X"},
      {"time base", 0, "TIMebase:SCALe 0.001"},       {"trigger level", 0, "TRIGger:LEVel 0.3"},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.what);
    if (c.key) {
      bench.Key(c.key);
    } else {
      ScpiQuery(std::string(c.command) + "\n", kScpiSourceTransport, 0);
      ScpiQuery("SYSTem:ERRor?\n");  // answered once the command has run
    }
    pass();
    pass();
    const std::vector<uint32_t> shown = bench.Screen();
    SysRunStatus.SetDrawRefresh();
    QelDraw.SetWaveAreaRefresh();
    pass();
    const std::vector<uint32_t> fresh = bench.Screen();
    ASSERT_EQ(shown.size(), fresh.size());
    int differ = 0, first = -1, last = -1;
    for (size_t i = 0; i < shown.size(); ++i)
      if (shown[i] != fresh[i]) {
        ++differ;
        if (first < 0) first = int(i);
        last = int(i);
      }
    EXPECT_EQ(differ, 0) << "first at row " << first / plat::kScreenWidth << " column "
                         << first % plat::kScreenWidth << ", last at row " << last / plat::kScreenWidth
                         << " column " << last % plat::kScreenWidth;
  }
}

// A zero level reads in volts ("0.00V"), not in the smallest prefix.
TEST_F(Composer, AZeroTriggerLevelReadsInVolts) {
  _SysRunInfo& info = *SysRunStatus.GetSysRunInfoBaseAddr();
  info.trigType = 0;
  info.trigSource = 0;
  info.slope = 0;
  info.trigCoupling = 0;
  info.trigMode = 0;
  UnitConvert.VUnitConvert(0.0, &info.levelVoltage[0].levelText[Trigger.GetTrigLevel()]);
  SysRunStatus.SetDrawRefresh();
  bench.Pass();

  Scratch want;
  QelFont.SetCurrFont(1);
  const int col = want.DrawIco(5, 633, 1, int(kText), 1) + 2;
  want.DrawString(9, col, "E DC Auto: 0.00V", int(kText), 1);
  const std::vector<uint32_t> screen = bench.Screen();
  const std::vector<int> expected = Where(want.Pixels().data(), 0, 633, 167, 30, kText);
  EXPECT_GT(expected.size(), 50u);
  EXPECT_EQ(Where(screen.data(), 0, 633, 167, 30, kText), expected);
}

// The "Freq" box shows the counter of the trigger source, the one the
// counter measures (and its query reads), not CH1's last value.
TEST_F(Composer, TheFreqBoxShowsTheTriggerSourcesCounter) {
  _SysRunInfo& info = *SysRunStatus.GetSysRunInfoBaseAddr();
  SysRunStatus.SetCymometerOnOff(1);
  info.trigSource = 1;
  FloatElement e{};
  UnitConvert.FreqUnitConvert(2000.0, &e);
  SysRunStatus.SetCymometerResult(0, 2000.0, e);  // an old CH1 reading
  UnitConvert.FreqUnitConvert(0.0, &e);
  SysRunStatus.SetCymometerResult(1, 0.0, e);
  QelDraw.SetWaveAreaRefresh();
  bench.Pass();
  const std::string shown = SysRunStatus.GetCymometerResult(1);
  ASSERT_NE(shown, "2.000KHz");

  Scratch want;
  QelFont.SetCurrFont(1);
  want.DrawString(402, 610 - want.Stringlen(0, shown.c_str()) / 2, shown.c_str(), int(kText), 1);
  const std::vector<uint32_t> screen = bench.Screen();
  const std::vector<int> expected = Where(want.Pixels().data(), 400, 552, 116, 22, kText);
  EXPECT_GT(expected.size(), 10u);
  EXPECT_EQ(Where(screen.data(), 400, 552, 116, 22, kText), expected);
}
