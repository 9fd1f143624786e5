// The composed screen on the simulated board's frame buffer: bars, pictures,
// the current module's menu, status texts, pop-up lists, messages, the
// hardware-check box, and the frame buffer left alone while composing hidden.
// Each test writes PNGs of its screens into the working directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/channel/task_ch1.h"
#include "acquisition/channel/task_ch2.h"
#include "core/board/eeprom_map.h"
#include "core/menu/menu.h"
#include "core/messages/msg.h"
#include "core/input/rs232.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_draw.h"

namespace {
// The directory the test was started in (the bench then works in its root).
const std::string g_startDir = [] {
  char buf[4096];
  return std::string(getcwd(buf, sizeof buf) ? buf : ".");
}();

constexpr uint32_t kText = 0xC8C8AF, kFocused = 0x01F801, kFrame = 0x828282;
constexpr uint32_t kCh1 = 0x00CCCC, kCh2 = 0xFFCC00;

// The CH1 module's pages with the attributes its items will have: choice
// items (Coupling with three choices, BW Limit and Invert with two), the
// knob-focused Volts/Div and a title-only Next; page 2 leaves slot 3 empty.
menu g_ch1;

int Adjust(keypara k) {
  const int n = TaskCh1.TaskMenu.FxToMenuItem(k.key);
  TaskCh1.TaskMenu.AdjMenuItemPara(k, n >= 0 ? n : TaskCh1.TaskMenu.GetMenuPopItem());
  return 0;
}

void SetItem(int n, uint32_t attribute) {
  MenuItem& it = g_ch1.pages[n / 5].items[n % 5];
  it.attribute = attribute;
  it.width = MENU_NOT_STORED;
  it.handler = Adjust;
}

std::vector<uint8_t> Formatted() {
  std::vector<uint8_t> e(512, 0xFF);
  e[EE_FORMAT_MARK] = kEepromFormatMark;
  e[EE_TASK_ID] = 0;
  e[EE_TASK_ID + 1] = 6;  // CH1
  e[EE_TASK_PAGE] = 0;
  e[EE_ACTIVE_CH] = 0;
  e[EE_RESET_ALL] = 0;
  return e;
}

// Counts the pixels of one colour in a rectangle of the shown screen.
int Count(const std::vector<uint32_t>& screen, int row, int col, int width, int height, uint32_t colour) {
  int n = 0;
  for (int r = row; r < row + height; ++r)
    for (int c = col; c < col + width; ++c)
      if ((screen[size_t(r) * 800 + size_t(c)] & 0xFFFFFF) == colour) ++n;
  return n;
}

struct Screen : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(Formatted());
    ASSERT_EQ(bench.Start(), 0);
    SetItem(0, 0x4000006);
    SetItem(1, 0x4000006);
    SetItem(2, 0x4000026);
    SetItem(3, 0x4000006);
    SetItem(4, 0x1);
    ASSERT_EQ(TaskCh1.TaskMenu.LoadMenu("Data/Menu/English/Ch1English.txt", &g_ch1), 0);
    SysRunStatus.SetMenuDisplayTimeS(3);  // the menu stays up
    SysRunStatus.SetDrawRefresh();
    bench.Pass();
  }
  void Png(const std::string& name) { EXPECT_TRUE(bench.WriteScreenPng(g_startDir + "/" + name + ".png")); }
  // A frame composed now, whatever the time.
  void Redraw() {
    SysRunStatus.SetDrawRefresh();
    bench.Pass();
  }
};

// Pixel (row, col) of system picture `id`.
uint32_t PicPixel(int id, int row, int col) {
  const PicInfo* p = QelSysPic.GetPictureMsg(id);
  return p && p->pixels ? p->pixels[row * p->width + col] & 0xFFFFFF : 0xDEADBEEF;
}

// Whether the screen holds picture `id` with its top-left corner at (row, col)
// over the rectangle given (in picture coordinates).
bool HasPicture(const std::vector<uint32_t>& s, int id, int row, int col, int r0, int c0, int h, int w) {
  for (int r = r0; r < r0 + h; ++r)
    for (int c = c0; c < c0 + w; ++c) {
      const uint32_t want = PicPixel(id, r, c);
      if (want == MASK_COLOR) continue;
      if ((s[size_t(row + r) * 800 + size_t(col + c)] & 0xFFFFFF) != want) return false;
    }
  return true;
}

}  // namespace

TEST_F(Screen, StartUpFrameHoldsBarsMenuAndStatus) {
  Png("screen-startup");
  const auto s = bench.Screen();
  ASSERT_EQ(s.size(), 800u * 480u);
  // The bars and the marks on them.
  EXPECT_TRUE(HasPicture(s, 2, 0, 0, 0, 62, 33, 26));      // top bar, between its sections
  EXPECT_TRUE(HasPicture(s, 2, 0, 0, 0, 586, 33, 24));
  EXPECT_TRUE(HasPicture(s, 0, 446, 0, 0, 0, 2, 800));     // channel bar
  EXPECT_TRUE(HasPicture(s, 4, 448, 2, 0, 0, 2, 172));     // CH1 is the active channel
  EXPECT_TRUE(HasPicture(s, 117, 450, 723, 0, 0, 24, 18)); // clock icon
  bool stateMark = false;
  for (int id = 12; id <= 18; ++id) stateMark = stateMark || HasPicture(s, id, 3, 4, 0, 0, 20, 50);
  EXPECT_TRUE(stateMark);

  // Status texts: time base, depth, trigger, channel 1, date and time.
  EXPECT_GT(Count(s, 8, 100, 90, 20, kText), 10);
  EXPECT_GT(Count(s, 0, 205, 75, 30, kText), 10);
  EXPECT_GT(Count(s, 9, 633, 160, 20, kText), 10);
  EXPECT_GT(Count(s, 455, 29, 140, 20, kText), 10);
  EXPECT_GT(Count(s, 455, 230, 100, 20, kText), 5);  // CH2 "OFF"
  EXPECT_GT(Count(s, 447, 743, 56, 30, kText), 10);

  // The CH1 menu: slot backgrounds, titles in the channel colour, values in
  // the text colour, the focused value in green, the title tab.
  EXPECT_TRUE(HasPicture(s, 73, 34, 675, 0, 0, 12, 124));   // Coupling: value item
  EXPECT_TRUE(HasPicture(s, 74, 194, 675, 0, 0, 12, 124));  // Volts/Div: focused
  EXPECT_TRUE(HasPicture(s, 75, 354, 675, 0, 0, 12, 124));  // Next: title only
  EXPECT_GT(Count(s, 45, 680, 114, 22, kCh1), 10);          // "Coupling"
  EXPECT_GT(Count(s, 87, 700, 80, 22, kText), 10);          // "DC"
  EXPECT_EQ(Count(s, 87, 700, 80, 22, kFocused), 0);
  EXPECT_GT(Count(s, 247, 700, 80, 22, kFocused), 10);      // "Coarse", focused
  EXPECT_GT(Count(s, 40, 654, 20, 100, kCh1), 10);          // "Channel-1" turned
  EXPECT_EQ(QelDraw.GetGridColor(), 0x3C3C3Cu);             // grid grey of a fresh instrument
}

TEST_F(Screen, AnEmptySlotShowsThePanelFrame) {
  TaskCh1.TaskMenu.SetCurrPage(10);  // the label page: slot 3 is empty
  Redraw();
  Png("screen-label-page");
  const auto s = bench.Screen();
  EXPECT_EQ(Count(s, 274, 675, 1, 80, kFrame), 80);
  EXPECT_EQ(Count(s, 274, 676, 120, 80, 0), 120 * 80);
}

TEST_F(Screen, TheSecondChannelsMenuIsInItsColour) {
  static menu ch2;
  ch2.pages[0].items[0].attribute = 0x4000006;
  ASSERT_EQ(TaskCh2.TaskMenu.LoadMenu("Data/Menu/English/Ch1English.txt", &ch2), 0);
  bench.Key(65);  // CH2
  ASSERT_EQ(TaskManage.GetTaskCurrId(), 7);
  const auto s = bench.Screen();
  EXPECT_GT(Count(s, 45, 680, 114, 22, kCh2), 10);
  EXPECT_EQ(Count(s, 45, 680, 114, 22, kCh1), 0);
  EXPECT_GT(Count(s, 40, 654, 20, 100, kCh2), 10);
}

TEST_F(Screen, AModuleWithoutAMenuLeavesNoOtherModulesMenu) {
  bench.AdvanceMs(4000);  // past the line shown while a channel's offset moves
  bench.Key(62);          // UTILITY: its module has no menu yet
  ASSERT_EQ(TaskManage.GetTaskCurrId(), 18);
  Png("screen-no-menu");
  const auto s = bench.Screen();
  EXPECT_FALSE(HasPicture(s, 73, 34, 675, 0, 0, 12, 124));
  EXPECT_EQ(Count(s, 34, 640, 160, 380, kCh1), 0);
  EXPECT_TRUE(HasPicture(s, 0, 446, 0, 0, 0, 2, 800));  // the rest of the screen stays
}

TEST_F(Screen, ASoftKeyOpensThePopUpListAndTheKnobMovesIt) {
  bench.Key(49);  // F1 on Coupling, three choices
  Png("screen-popup");
  auto s = bench.Screen();
  EXPECT_TRUE(HasPicture(s, 97, 75, 560, 0, 0, 22, 116));   // list head
  EXPECT_TRUE(HasPicture(s, 101, 97, 560, 0, 0, 3, 116));   // DC, the cursor
  EXPECT_TRUE(HasPicture(s, 98, 119, 560, 0, 0, 3, 116));   // AC
  EXPECT_TRUE(HasPicture(s, 98, 141, 560, 0, 0, 3, 116));   // GND
  EXPECT_GT(Count(s, 97, 560, 116, 66, kCh1), 30);          // the choices' texts
  menuposmsg pos{};
  QelDraw.GetQelMenuPosMsg(&pos);
  EXPECT_EQ(pos.popState, 1);
  EXPECT_EQ(pos.count, 3);
  EXPECT_EQ(pos.entry[1].row, 119);
  EXPECT_EQ(pos.entry[1].column, 560);
  EXPECT_EQ(pos.entry[2].index, 2);

  bench.Key(77);  // the knob moves the highlight to AC
  s = bench.Screen();
  EXPECT_TRUE(HasPicture(s, 98, 97, 560, 0, 0, 3, 116));
  EXPECT_TRUE(HasPicture(s, 101, 119, 560, 0, 0, 3, 116));

  bench.Key(72);  // the push takes it and closes the list
  s = bench.Screen();
  EXPECT_FALSE(HasPicture(s, 97, 75, 560, 0, 0, 22, 116));
  EXPECT_EQ(TaskCh1.TaskMenu.GetMenuItem(0), 1u);
  Png("screen-popup-taken");
}

TEST_F(Screen, APopUpLeftAloneClosesAfterSixSeconds) {
  bench.Key(49);
  ASSERT_TRUE(TaskCh1.TaskMenu.MenuIsPop(nullptr));
  bench.AdvanceMs(7000);
  bench.Pass();  // drawn this last time, then closed
  EXPECT_FALSE(TaskCh1.TaskMenu.MenuIsPop(nullptr));
  Redraw();
  EXPECT_FALSE(HasPicture(bench.Screen(), 97, 75, 560, 0, 0, 22, 116));
}

TEST_F(Screen, AMessageIsShownAndGoneAfterFiveSeconds) {
  KeyBoard.SetKeyValueLock(61, 1);
  bench.Key(61);  // a locked key raises message 79 and skips that pass's drawing
  ASSERT_EQ(QelMsg.GetMessageID(), 79);
  Redraw();  // the next frame shows it
  Png("screen-message");
  auto s = bench.Screen();
  EXPECT_EQ(s[380 * 800 + 400] & 0xFFFFFF, kFrame);   // the box's top edge
  EXPECT_GT(Count(s, 387, 250, 300, 24, kText), 20);  // its text
  bench.AdvanceMs(6000);
  Redraw();
  EXPECT_EQ(QelMsg.GetMessageID(), -1);
  s = bench.Screen();
  EXPECT_NE(s[380 * 800 + 400] & 0xFFFFFF, kFrame);
  EXPECT_EQ(Count(s, 387, 250, 300, 24, kText), 0);
}

TEST_F(Screen, AHiddenMenuLeavesOnlyTheTitleTabAtTheEdge) {
  bench.Key(54);  // MENU: the system module hides the menu
  if (SysRunStatus.IsMenuStatus()) SysRunStatus.MenuOnOff();
  Redraw();
  Png("screen-menu-hidden");
  const auto s = bench.Screen();
  EXPECT_FALSE(HasPicture(s, 73, 34, 675, 0, 0, 12, 124));
  EXPECT_GT(Count(s, 40, 779, 20, 100, kCh1), 10);
}

TEST_F(Screen, ComposingHiddenLeavesTheFrameBufferAsItWas) {
  const auto before = bench.Screen();
  QelDraw.SetMainDisplayType(1);
  QelMsg.SetMessage(79);
  Redraw();
  bench.AdvanceMs(600);
  bench.Pass();
  EXPECT_EQ(bench.Screen(), before);
  // The hidden page holds the composed frame, message included.
  const uint32_t* hidden = QelDraw.GetDrawAddr(DRAW_CURRENT);
  EXPECT_EQ(hidden[380 * 800 + 400] & 0xFFFFFF, kFrame);
  QelDraw.SetMainDisplayType(0);
  Redraw();
  EXPECT_NE(bench.Screen(), before);
}

// The logo file's pixel (row, col) from its 24-bit bottom-up rows.
uint32_t LogoPixel(const std::string& bmp, int row, int col) {
  const size_t at = 54 + (size_t(479 - row) * 800 + size_t(col)) * 3;
  return uint32_t(uint8_t(bmp[at + 2])) << 16 | uint32_t(uint8_t(bmp[at + 1])) << 8 | uint8_t(bmp[at]);
}

TEST_F(Screen, PowerOffMessageLeavesTheLogoForGood) {
  plat::SimPowerButton(true);
  ASSERT_TRUE(WaitUntil([&] {
    bench.Pass();
    return QelDraw.Halted();
  }));
  // Above the message text the screen is the logo file as it stands.
  const std::string bmp = ReadRootFile("home/user/Logo/Logo.bmp");
  ASSERT_EQ(bmp.size(), 54u + 800u * 480u * 3u);
  const auto shown = bench.Screen();
  int same = 0;
  for (int r = 0; r < 380; ++r)
    for (int c = 0; c < 800; ++c) same += (shown[size_t(r) * 800 + size_t(c)] & 0xFFFFFF) == LogoPixel(bmp, r, c);
  EXPECT_EQ(same, 380 * 800);
  EXPECT_GT(Count(shown, 387, 300, 200, 20, kText), 20);  // "System shutdown."
  Png("screen-power-off");
  const auto logo = bench.Screen();
  QelMsg.ClearMessage();
  Redraw();
  bench.AdvanceMs(1000);
  bench.Pass();
  EXPECT_EQ(bench.Screen(), logo);
}

TEST(ScreenHalt, TheHardwareCheckBoxIsOnTheScreenWhenTheCheckFails) {
  Bench bench;
  plat::SimFpga::Faults f;
  f.pllFail = true;
  bench.Fpga().SetFaults(f);
  auto done = bench.StartHalting();
  ASSERT_EQ(QelDraw.HardwareCheckShown(), 6);
  EXPECT_TRUE(bench.WriteScreenPng(g_startDir + "/screen-hardware-check.png"));
  const auto s = bench.Screen();
  EXPECT_EQ(s[150 * 800 + 300] & 0xFFFFFF, 0xFFFFFFu);  // white frame
  EXPECT_EQ(s[299 * 800 + 300] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(s[152 * 800 + 302] & 0xFFFFFF, 0xC70000u);  // red box
  EXPECT_GT(Count(s, 155, 310, 180, 20, kText), 20);    // "Hardware Detect"
  EXPECT_GT(Count(s, 235, 310, 100, 20, kText), 20);    // "PLL:  Error!"
  bench.Stop();
  EXPECT_EQ(done.get(), -1);
}


// Both channels at one position: their markers share a place, and the active
// channel's is the one seen where the two pictures overlap.
TEST(ScreenMarkers, TheActiveChannelsMarkerLiesOnTopOfTheOther) {
  Bench bench;
  ASSERT_EQ(bench.Start(), 0);
  bench.Key(kKeyCh2);  // CH2 on and active
  ASSERT_EQ(SysRunStatus.GetChStatus() & 3, 3);
  const _SysRunInfo& info = *SysRunStatus.GetSysRunInfoBaseAddr();
  ASSERT_EQ(info.vertical[0].position, info.vertical[1].position);
  int row[2], col[2], pic[2];
  for (int ch = 0; ch < 2; ++ch) ASSERT_EQ(QelDraw.GetArrow(ch, &row[ch], &col[ch], &pic[ch]), 0);
  ASSERT_EQ(row[0], row[1]);
  ASSERT_EQ(col[0], col[1]);
  const PicInfo* p[2] = {QelSysPic.GetPictureMsg(pic[0]), QelSysPic.GetPictureMsg(pic[1])};
  ASSERT_TRUE(p[0] && p[1]);
  constexpr int kWaveLeft = 30;
  for (int active : {0, 1, 0}) {
    if (SysRunStatus.GetActivCh() != active) bench.Key(active ? kKeyCh2 : kKeyCh1);
    for (int pass = 0; pass < 20 && SysRunStatus.GetActivCh() != active; ++pass) bench.Pass();
    ASSERT_EQ(SysRunStatus.GetActivCh(), active);
    ASSERT_EQ(SysRunStatus.GetChStatus() & 3, 3);
    const auto s = bench.Screen();
    int shared = 0, seen = 0, under = 0;
    for (int r = 0; r < std::min(p[0]->height, p[1]->height); ++r)
      for (int c = 0; c < std::min(p[0]->width, p[1]->width); ++c) {
        const uint32_t a = PicPixel(pic[0], r, c), b = PicPixel(pic[1], r, c);
        // Left of the wave area, whose grid is drawn over the markers' tips.
        if (a == MASK_COLOR || b == MASK_COLOR || a == b || col[0] + c >= kWaveLeft) continue;
        ++shared;
        const uint32_t shown = s[size_t(row[0] + r) * 800 + size_t(col[0] + c)] & 0xFFFFFF;
        seen += shown == (active ? b : a);
        under += shown == (active ? a : b);
      }
    ASSERT_GT(shared, 10);
    EXPECT_EQ(under, 0) << "active CH" << active + 1;
    EXPECT_EQ(seen, shared) << "active CH" << active + 1;
  }
}
