// The web screen input in every display layout and on the input panels: the
// keys a press, a drag or a click posts (the layout's object under the
// pointer, moved by the layout's scale), and through the main loop the
// setting those keys change, as the panel's own keys would change it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/models/y_system.h"
#include "analysis/cursor/cursor_draw.h"
#include "analysis/math/task_math.h"
#include "analysis/measure/task_measure.h"
#include "core/state/ids.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "remote/web/web_screen_input.h"
#include "system/storage/task_storage.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_draw.h"

namespace {
using Keys = PostedKeys;

struct WebLayouts : ::testing::Test {
  Bench b;
  void SetUp() override {
    ASSERT_EQ(StartOnDemand(b), 0);
    SetWaveTestSettings();
    SysRunStatus.SetMenuDisplayTimeS(3);
    SysRunInfo.sourceOn = 3;
    SysRunInfo.activeCh = 0;
    ASSERT_EQ(0, StartScpiThread());
    b.Pass();
    Posted();
  }
  // A setter through the SCPI worker, then a query that runs after it.
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(ScpiQuery("TIMebase:MODE?\n").empty());  // the worker runs it after the setter
    Settle();
  }
  // The keys posted to the remote key ring since the last call.
  Keys Posted() { return TakePostedKeys(); }
  void Event(int type, int x, int y, int wheel = 0) {
    lcd_area_operate({type, uint16_t(x), uint16_t(y), uint8_t(wheel), ""});
  }
  void Click(int x, int y) {
    Event(kLcdPress, x, y);
    Event(kLcdRelease, x, y);
  }
  // A press, a 6-pixel move that makes it a drag (posting nothing), one move
  // to the end and the release there.
  void Drag(int x0, int y0, int x1, int y1) {
    Event(kLcdPress, x0, y0);
    const int sx = x1 > x0 ? 1 : x1 < x0 ? -1 : 0, sy = y1 > y0 ? 1 : y1 < y0 ? -1 : 0;
    Event(kLcdMove, x0 + 6 * sx, y0 + 6 * sy);
    Event(kLcdMove, x1, y1);
    Event(kLcdRelease, x1, y1);
  }
  // The posted keys through the main loop, with the acquisitions that apply knob turns.
  void Settle() {
    b.Pass();
    for (int i = 0; i < 3; ++i) {
      b.Fpga().AcquireNow();
      b.AdvanceMs(100);
      b.Pass();
    }
  }
  void Apply(const Keys& keys) {
    for (const auto& k : keys) KeyBoard.AppendScpiKey(k.first, k.second);
    b.Pass(int(keys.size()));  // a key a pass
    Settle();
  }
  int Pos(int ch) { return Vertical.GetRealYposition(ch); }
};

TEST_F(WebLayouts, AlternateSelectsTheChannelOfItsHalfThenMovesIt) {
  Set("TIMebase:INDPendent ON");
  ASSERT_EQ(SysRunStatus.IsAlternate(), 1);
  // CH1 is active: a press in the lower half selects CH2 and grabs nothing.
  Drag(300, 333, 300, 290);
  EXPECT_EQ(Posted(), (Keys{{kKeyCh2, 0}}));
  Apply({{kKeyCh2, 0}});
  ASSERT_EQ(SysRunStatus.GetActivCh(), 1);
  // CH2's marker lies at 333 + 127 - p; a drag moves it by the pixels.
  const int before = Pos(1), row = 333 + 127 - before;
  Drag(300, row, 300, row - 30);
  const Keys moved = Posted();
  EXPECT_EQ(moved, (Keys{{kKeyOffsetRight, 30}}));
  Apply(moved);
  EXPECT_EQ(Pos(1), before + 30);
  // The background moves the pre-trigger by half the pixels.
  Drag(100, 420, 140, 420);
  EXPECT_EQ(Posted(), (Keys{{kKeyPreTrigRight, 20}}));
  // The menu tab of the upper half is no object: the press selects nothing.
  Event(kLcdPress, 660, 60);
  Event(kLcdLeave, 660, 60);
  EXPECT_TRUE(Posted().empty());
}

TEST_F(WebLayouts, ZoomMovesChannelsByThePixelsOverOnePointFour) {
  Set("TIMebase:MODE WINDow");
  ASSERT_EQ(SysRunStatus.GetTimeBaseType(), 1);
  const int before = Pos(0), row = int(305 - 1.4 * (before - 127));
  Drag(300, row, 300, row - 28);
  const Keys moved = Posted();
  EXPECT_EQ(moved, (Keys{{kKeyOffsetRight, 20}}));
  Apply(moved);
  EXPECT_EQ(Pos(0), before + 20);
  Drag(300, 100, 260, 100);  // above the zoom window: the background
  EXPECT_EQ(Posted(), (Keys{{kKeyPreTrigLeft, 20}}));
  // The trigger level line in the trigger column (under the menu column: with the menu hidden), at the
  // row it is drawn at.
  if (SysRunStatus.IsMenuStatus()) SysRunStatus.MenuOnOff();
  // The single level is the one level selection 1 moves.
  ASSERT_EQ(SysRunInfo.trigLevelSel, 1);
  const int level = SysRunInfo.levelBlock[0].level[1].code, line = QelDraw.TriggerLevelRow(0, 1);
  ASSERT_EQ(line, 305 - int(1.4 * SysRunInfo.levelBlock[0].level[1].drawPos));
  Drag(722, line, 722, line - 28);
  const Keys raised = Posted();
  EXPECT_EQ(raised, (Keys{{kKeyTriggerRight, 20}}));
  Apply(raised);
  EXPECT_EQ(SysRunInfo.levelBlock[0].level[1].code, level + 20);
}

TEST_F(WebLayouts, XYMovesCh1AcrossAndCh2UpAndDown) {
  Set("DISPlay:TYPE XY12");
  ASSERT_EQ(SysRunStatus.GetDiplayFormat(), 1);
  const int x1 = 396 + int(1.4 * (Pos(0) - 127)), y2 = 305 - int(1.4 * (Pos(1) - 127));
  // CH1's column moves right; across its axis nothing moves.
  Drag(x1, 200, x1 + 28, 200);
  EXPECT_EQ(Posted(), (Keys{{kKeyOffsetRight, 20}}));
  Drag(x1, 200, x1, 240);
  EXPECT_TRUE(Posted().empty());
  // CH2's row: the press selects CH2, the drag up raises it.
  const int before = Pos(1);
  Drag(300, y2, 300, y2 - 28);
  const Keys moved = Posted();
  EXPECT_EQ(moved, (Keys{{kKeyCh2, 0}, {kKeyOffsetRight, 20}}));
  Apply(moved);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 1);
  EXPECT_EQ(Pos(1), before + 20);
  // Far from both: nothing, and the background does not move in XY.
  Drag(520, 180, 460, 180);
  EXPECT_TRUE(Posted().empty());
}

TEST_F(WebLayouts, XYCursorLinesFollowThePointer) {
  Set("DISPlay:TYPE XY12");
  Set("KEY:CURSor");
  Set("CURSor:TYPE Y");
  ASSERT_EQ(TaskManage.GetTaskCurrId(), kTaskCursor);
  ASSERT_TRUE(SysRunStatus.IsCursorEnable());
  Vertical.SetRealYposition(1, 27);  // CH2's row out of the way, at 445
  CursorData d = CursorDraw.GetCursorData();
  ASSERT_EQ(d.xyType, 1);
  ASSERT_EQ(d.xySource, 0);  // the X-axis lines, A active
  // Grabbing Y line B: the push goes A, B, both, then the Y axis's A, B.
  Drag(60, d.xyYB, 60, d.xyYB - 25);
  const Keys up = Posted();
  EXPECT_EQ(up, (Keys{{kKeySelectPush, 0},
                      {kKeySelectPush, 0},
                      {kKeySelectPush, 0},
                      {kKeySelectPush, 0},
                      {kKeySelectLeft, 25}}));
  Apply(up);
  const CursorData e = CursorDraw.GetCursorData();
  EXPECT_EQ(e.xySource, 1);
  EXPECT_EQ(e.xyAmpActive, 1);
  EXPECT_EQ(e.xyMode, 0);
  EXPECT_EQ(e.xyYB, d.xyYB - 25);  // up with the pointer
  EXPECT_EQ(e.xyYA, d.xyYA);
  // X line A: back round to the X axis, then right with the pointer.
  Drag(e.xyXA, 200, e.xyXA + 30, 200);
  const Keys right = Posted();
  ASSERT_FALSE(right.empty());
  EXPECT_EQ(right.back(), (std::pair<int, int>{kKeySelectRight, 30}));
  Apply(right);
  const CursorData f = CursorDraw.GetCursorData();
  EXPECT_EQ(f.xySource, 0);
  EXPECT_EQ(f.xyAmpActive, 0);
  EXPECT_EQ(f.xyXA, e.xyXA + 30);
}

TEST_F(WebLayouts, NormalCursorLineBecomesTheActiveOneAndMovesOnEveryEvent) {
  Set("KEY:CURSor");
  Set("CURSor:MODE TRACK");
  const CursorData d = CursorDraw.GetCursorData();
  ASSERT_EQ(d.ytType, 0);
  // Track mode: one push makes line A the only active one.
  Event(kLcdPress, d.AX, 300);
  EXPECT_EQ(Posted(), (Keys{{kKeySelectPush, 0}}));
  Event(kLcdMove, d.AX + 6, 300);  // the drag starts
  Event(kLcdMove, d.AX + 9, 300);  // 9 pixels: the line follows at once
  Event(kLcdRelease, d.AX + 9, 300);
  const Keys moved = Posted();
  EXPECT_EQ(moved, (Keys{{kKeySelectRight, 9}}));
  Apply({{kKeySelectPush, 0}, {kKeySelectRight, 9}});
  const CursorData e = CursorDraw.GetCursorData();
  EXPECT_EQ(e.ytMode, 0);
  EXPECT_EQ(e.ytActive, 0);
  EXPECT_EQ(e.AX, d.AX + 9);
  EXPECT_EQ(e.BX, d.BX);
}

TEST_F(WebLayouts, FftSplitHoldsTheChannelsAboveAndMathBelow) {
  b.Key(kKeyMath);
  Set("FUNCtion:MATH:MODE FFT");
  Set("FUNCtion:FFT:DISPlay SPLIt");
  ASSERT_EQ(SysRunStatus.GetMathType(), 1);
  ASSERT_NE(SysRunStatus.GetFFTScreen(), 0);
  ASSERT_EQ(SysRunStatus.GetActivCh(), 5);
  const int math = std::clamp(Pos(5), 27, 227), ch1 = std::clamp(Pos(0), 27, 227);
  Drag(300, 460 - math, 300, 460 - math + 24);
  EXPECT_EQ(Posted(), (Keys{{kKeyOffsetLeft, 24}}));
  Drag(500, 260 - ch1, 500, 260 - ch1 - 20);
  EXPECT_EQ(Posted(), (Keys{{kKeyCh1, 0}, {kKeyOffsetRight, 20}}));
  Drag(100, 100, 125, 100);  // left of the channels' area: the background
  EXPECT_EQ(Posted(), (Keys{{kKeyPreTrigRight, 25}}));
}

// The other FFT screens hit what the composer draws in each. Independent:
// the spectrum alone, full height from column 130, its marker at the left;
// no channel trace, no level line. Waterfall 2: the waterfall above, no
// channel trace, the spectrum below, the level lines at their full-height
// rows. Waterfall 1: the channels beside the waterfall, as split.
TEST_F(WebLayouts, EachFftScreenHitsWhatItDraws) {
  b.Key(kKeyMath);
  Set("FUNCtion:MATH:MODE FFT");
  Set("FUNCtion:FFT:DISPlay INDPendent");
  ASSERT_EQ(SysRunStatus.GetFFTScreen(), 2);
  ASSERT_EQ(SysRunStatus.GetActivCh(), 5);
  Vertical.SetRealYposition(0, 177);  // the channels' markers 100 rows above and below the math trace's
  Vertical.SetRealYposition(1, 77);
  Vertical.SetRealYposition(5, 127);  // the math trace
  SysRunStatus.SetDrawRefresh();
  b.AdvanceMs(600);
  b.Pass();
  // Where the split screen holds CH1 and MATH: empty grid here, nothing grabbed
  // (the background does not move up and down).
  Drag(500, 260 - 177, 500, 240 - 177);
  EXPECT_TRUE(Posted().empty());
  Drag(300, 333, 300, 313);
  EXPECT_TRUE(Posted().empty());
  // The math marker as drawn: grabbed, two rows a code as it is 400 rows high.
  int row = 0, column = 0, picture = -1;
  ASSERT_EQ(QelDraw.GetArrow(5, &row, &column, &picture), 0);
  ASSERT_GE(picture, 0);
  const int markerRow = row + 5;
  ASSERT_EQ(column, 10);
  ASSERT_NE(b.CountPixels(row, column, 10, 10, 0), 100) << "the marker is drawn";
  Drag(20, markerRow, 20, markerRow - 20);
  Keys moved = Posted();
  EXPECT_EQ(moved, (Keys{{kKeyOffsetRight, 10}}));
  const int before = Pos(5);
  Apply(moved);
  EXPECT_EQ(Pos(5), before + 10);
  Drag(200, 100, 230, 100);  // the background moves the pre-trigger
  EXPECT_EQ(Posted(), (Keys{{kKeyPreTrigRight, 30}}));

  Set("FUNCtion:FFT:DISPlay WATerfall2");
  ASSERT_EQ(SysRunStatus.GetFFTScreen(), 4);
  Vertical.SetRealYposition(5, 127);  // the math trace
  b.Pass();
  Drag(500, 260 - std::clamp(Pos(0), 27, 227), 500, 240 - std::clamp(Pos(0), 27, 227));
  EXPECT_TRUE(Posted().empty());  // the waterfall, not CH1
  Drag(300, 333, 300, 313);       // MATH below, one row a code
  EXPECT_EQ(Posted(), (Keys{{kKeyOffsetRight, 20}}));
  if (SysRunStatus.IsMenuStatus()) SysRunStatus.MenuOnOff();
  const int level = SysRunInfo.levelBlock[0].level[1].code, line = QelDraw.TriggerLevelRow(0, 1);
  Drag(722, line, 722, line - 40);  // two rows a level step, as drawn full height
  const Keys raised = Posted();
  EXPECT_EQ(raised, (Keys{{kKeyTriggerRight, 20}}));
  Apply(raised);
  EXPECT_EQ(SysRunInfo.levelBlock[0].level[1].code, level + 20);

  Set("FUNCtion:FFT:DISPlay WATerfall1");
  ASSERT_EQ(SysRunStatus.GetFFTScreen(), 3);
  const int ch1 = std::clamp(Pos(0), 27, 227);
  Drag(500, 260 - ch1, 500, 240 - ch1);  // CH1 beside the waterfall
  EXPECT_EQ(Posted(), (Keys{{kKeyCh1, 0}, {kKeyOffsetRight, 20}}));
}

// The math channel off with the FFT split left set: the composer draws the
// normal layout, and so does the page's hit layout; CH1 at row 233.
TEST_F(WebLayouts, FftSplitLeftSetWithTheMathOffIsTheNormalLayout) {
  b.Key(kKeyMath);
  Set("FUNCtion:MATH:MODE FFT");
  Set("FUNCtion:FFT:DISPlay SPLIt");
  ASSERT_NE(SysRunStatus.GetFFTScreen(), 0);
  SysRunInfo.sourceOn = 3;  // the math channel off, its settings kept
  SysRunInfo.activeCh = 0;
  Vertical.SetRealYposition(0, 127);
  b.Pass();
  Drag(500, 133, 500, 113);  // where the split layout would hold CH1: no trace
  const Keys background = Posted();
  EXPECT_EQ(std::count(background.begin(), background.end(), Keys::value_type{kKeyOffsetRight, 20}), 0);
  Drag(500, 233, 500, 213);  // 20 rows up: 10 codes at two rows a code
  EXPECT_EQ(Posted(), (Keys{{kKeyOffsetRight, 10}}));
}

TEST_F(WebLayouts, MathKeypadClicksEnterTheKeysHit) {
  b.Key(kKeyMath);
  b.Choose(kKeyF1, MenuValue(TaskMath, kMathItemType), kMathAdvance);
  b.Key(kKeyF2);  // the keypad opens on CH1
  ASSERT_TRUE(TaskMath.GetDisplayBits() & kMathShowKeypad);
  ASSERT_EQ(TaskMath.GetAdvanceIndex(), 0);
  auto text = [] {
    AdvanceData a;
    TaskMath.GetAdvData(&a);
    return std::string(a.text);
  };
  // Row 0 (y 204, keys 48 wide from x 184): CH1 under the cursor, pushed.
  Click(208, 216);
  Keys k = Posted();
  EXPECT_EQ(k, (Keys{{kKeySelectPush, 0}}));
  Apply(k);
  EXPECT_EQ(text(), "CH1");
  // Row 2 (y 254, keys 32 wide): key 10 + 2, "*", two valid keys on.
  const uint32_t valid = TaskMath.GetAdvanceItemValid();
  const int from = TaskMath.GetAdvanceIndex();
  ASSERT_EQ(from, 10);
  ASSERT_EQ(valid >> 10 & 7, 7u);
  Click(184 + 2 * 32 + 16, 266);
  k = Posted();
  EXPECT_EQ(k, (Keys{{kKeySelectRight, 2}, {kKeySelectPush, 0}}));
  Apply(k);
  EXPECT_EQ(text(), "CH1*");
  // A key that may not follow posts nothing; one back counts valid keys only.
  const uint32_t now = TaskMath.GetAdvanceItemValid();
  const int at = TaskMath.GetAdvanceIndex();
  auto centre = [](int key, int* x, int* y) {
    const int row = key < 2 ? 0 : key < 10 ? 1 : 2, first[3] = {0, 2, 10}, width[3] = {48, 48, 32};
    *x = 184 + (key - first[row]) * width[row] + width[row] / 2;
    *y = 204 + 25 * row + 12;
  };
  int invalid = -1, back = -1, passed = 0;
  for (int key = 0; key < 24 && invalid < 0; ++key)
    if (!(now >> key & 1)) invalid = key;
  for (int key = at - 1; key >= 0 && back < 0; --key)
    if (now >> key & 1 && ++passed == 2) back = key;
  int x, y;
  ASSERT_GE(invalid, 0);
  centre(invalid, &x, &y);
  Click(x, y);
  EXPECT_TRUE(Posted().empty());
  ASSERT_GE(back, 0);
  centre(back, &x, &y);
  Click(x, y);
  EXPECT_EQ(Posted(), (Keys{{kKeySelectLeft, 2}, {kKeySelectPush, 0}}));
  // A drag on the keypad grabs nothing; the close box presses F2.
  Drag(300, 240, 360, 240);
  EXPECT_TRUE(Posted().empty());
  Click(600, 160);
  k = Posted();
  EXPECT_EQ(k, (Keys{{kKeyF2, 0}}));
  Apply(k);
  EXPECT_FALSE(TaskMath.GetDisplayBits() & kMathShowKeypad);
}

TEST_F(WebLayouts, ParameterPickerClicksTakeTheParameterHit) {
  b.Key(kKeyMeasure);
  b.Key(kKeyF4);
  ASSERT_TRUE(TaskMeasure.IsUserDefOn());
  ASSERT_EQ(TaskMeasure.GetUserDefSelPos(), 0);
  // Parameter 5: row 1, column 1 of the grid at (180, 45).
  Click(180 + 121 + 49, 45 + 52 + 12);
  Keys k = Posted();
  EXPECT_EQ(k, (Keys{{kKeySelectLeft, 5}, {kKeySelectPush, 0}}));
  Apply(k);
  EXPECT_EQ(TaskMeasure.GetUserDefSelPos(), 5);
  EXPECT_EQ(TaskMeasure.GetUserSelPara(0), 5);
  // Parameter 2 lies back: row 0, column 2.
  Click(180 + 220 + 49, 45 + 26 + 12);
  k = Posted();
  EXPECT_EQ(k, (Keys{{kKeySelectRight, 3}, {kKeySelectPush, 0}}));
  Apply(k);
  EXPECT_EQ(TaskMeasure.GetUserSelPara(1), 2);
  // The empty cell after parameter 10 takes nothing.
  Click(180 + 318 + 49, 45 + 76 + 12);
  EXPECT_TRUE(Posted().empty());
  // The wheel over the picker steps the highlight.
  Event(kLcdWheel, 300, 200, 1);
  Event(kLcdWheel, 300, 200, 0);
  EXPECT_EQ(Posted(), (Keys{{kKeySelectRight, 1}, {kKeySelectLeft, -1}}));
  // The close box presses F4, which closes the picker.
  Click(560, 60);
  k = Posted();
  EXPECT_EQ(k, (Keys{{kKeyF4, 0}}));
  Apply(k);
  EXPECT_FALSE(TaskMeasure.IsUserDefOn());
}

TEST_F(WebLayouts, StoragePromptTakesItsCloseBoxOnly) {
  b.Key(kKeyStorage);
  ASSERT_EQ(TaskManage.GetTaskCurrId(), kTaskStorage);
  TaskStorage.SetPromptFlag(1);
  Click(300, 200);  // inside the prompt
  Drag(300, 200, 340, 200);
  EXPECT_TRUE(Posted().empty());
  Click(560, 140);
  EXPECT_EQ(Posted(), (Keys{{kKeyF1, 0}}));
  TaskStorage.SetPromptFlag(0);
  Drag(300, 200, 340, 200);  // the background again
  EXPECT_EQ(Posted(), (Keys{{kKeyPreTrigRight, 40}}));
}
}  // namespace
