// The math overlays on the simulated board's screen: the dashed threshold
// line of a logic source at the row its position and threshold give (50
// pixels a division, 25 codes a division, 200 threshold steps over eight
// divisions), gone 3.5 s after the last change; and the expression keypad
// with its keys bright or dim by what may come next, the selected key
// underlined and the edited text, compared with a page drawn with the same
// font. Each test writes a PNG of its screen into the working directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "acquisition/models/y_system.h"
#include "analysis/math/math_draw.h"
#include "analysis/math/math_expr.h"
#include "analysis/measure/measure_draw.h"
#include "analysis/math/task_math.h"
#include "core/board/control.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_draw.h"

namespace {
const std::string g_startDir = [] {
  char buf[4096];
  return std::string(getcwd(buf, sizeof buf) ? buf : ".");
}();

constexpr uint32_t kLine = 0xC70000, kBright = 0xC8C8AF, kDim = 0x005555;
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
constexpr keypara kSelect{MENU_KEY_SELECT, 0, 0};
constexpr int kLineLeft = 35, kLineRight = 725, kMenuLeft = 630;

struct RefPage final : Draw {
  std::unique_ptr<uint32_t[]> px{new uint32_t[size_t(kWidth) * kHeight]()};
  RefPage() { SetUserFontPointer(QelDraw.GetUserFontPointer()); }
  uint32_t* GetDrawAddr(short) override { return px.get(); }
  uint32_t At(int r, int c) const { return px[size_t(r) * kWidth + size_t(c)]; }
};

struct MathDraw : ::testing::Test {
  Bench b;
  void SetUp() override {
    ASSERT_EQ(StartOnDemand(b), 0);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 1;
    QelControl.SetChPriority(&SysRunInfo);
    SysRunStatus.SetMenuDisplayTimeS(3);
    b.Key(kKeyMath);
  }
  void Type(int type) {
    TaskMath.TaskMenu.SetMenuItem(kMathItemType, uint64_t(type));
    Math_Type(kNoKey);
  }
  void Frame() {
    SysRunStatus.SetDrawRefresh();
    b.Pass();
    b.Pass();
  }
  void Png(const std::string& name) { EXPECT_TRUE(b.WriteScreenPng(g_startDir + "/" + name + ".png")); }
  int InRow(int r, uint32_t colour, int from = kLineLeft, int to = kMenuLeft) const {
    int n = 0;
    for (int c = from; c <= to; ++c) n += b.Pixel(r, c) == colour;
    return n;
  }
  // The rows of the wave area that hold a dashed line of `colour`.
  std::vector<int> LineRows() const {
    std::vector<int> rows;
    for (int r = 33; r <= 433; ++r)
      if (InRow(r, kLine) > (kMenuLeft - kLineLeft) / 3) rows.push_back(r);
    return rows;
  }
  // Every pixel `ref` drew in `colour` inside the rectangle shows it on screen.
  void SameText(const RefPage& ref, int row, int col, int width, int height, uint32_t colour) {
    int lit = 0;
    for (int r = row; r < row + height; ++r)
      for (int c = col; c < col + width; ++c)
        if (ref.At(r, c) == colour) {
          ++lit;
          EXPECT_EQ(b.Pixel(r, c), colour) << r << "," << c;
        }
    EXPECT_GT(lit, 3) << row << "," << col;
  }
};

TEST_F(MathDraw, ThresholdLineFollowsPositionAndThresholdAndGoesAfterItsTime) {
  Type(kMathLogic);
  ASSERT_EQ(MenuValue(TaskMath, kMathItemLogicSrc1), 0);  // CH1
  ASSERT_EQ(MenuValue(TaskMath, kMathItemThreshold1), kMathThresholdCentre);
  ASSERT_EQ(Vertical.GetRealYposition(0), 127);
  Frame();
  EXPECT_TRUE(LineRows().empty());  // no line before a threshold is touched

  // The push on the threshold shows its line: threshold at the source's
  // position, the centre row.
  Math_Logic_Threshold1(kSelect);
  EXPECT_EQ(mathDraw.GetMathDrawFlag(), kMathDrawThreshold1);
  Frame();
  EXPECT_EQ(LineRows(), std::vector<int>{233});
  EXPECT_EQ(b.Pixel(233, kLineLeft), kLine);
  EXPECT_EQ(b.Pixel(233, kLineLeft - 1) == kLine, false);

  // 25 steps up are a division: 50 pixels.
  Math_Logic_Threshold1(keypara{MENU_KEY_KNOB_UP, 25, 1});
  ASSERT_EQ(MenuValue(TaskMath, kMathItemThreshold1), 125);
  Frame();
  EXPECT_EQ(LineRows(), std::vector<int>{183});
  // CH1 half a division lower (12 codes): 24 pixels lower.
  Vertical.SetRealYposition(0, 127 - 12);
  Frame();
  EXPECT_EQ(LineRows(), std::vector<int>{207});
  Png("math_threshold_line");
  // Far beyond the area the line stops at its edge (200 pixels).
  Vertical.SetRealYposition(0, 127 - 200);
  Frame();
  EXPECT_EQ(LineRows(), std::vector<int>{433});
  Vertical.SetRealYposition(0, 127);

  // The second threshold takes over the line, on its source CH2 a division up.
  TaskMath.TaskMenu.SetMenuItem(kMathItemLogicSrc2, 1);
  Vertical.SetRealYposition(1, 127 + 25);
  Math_Logic_Threshold2(kSelect);
  EXPECT_EQ(mathDraw.GetMathDrawFlag(), kMathDrawThreshold2);
  Frame();
  EXPECT_EQ(LineRows(), std::vector<int>{183});

  // 3.5 s after the last change the line is gone and its flag cleared.
  b.AdvanceMs(3000);
  Frame();
  EXPECT_EQ(LineRows().size(), 1u);
  b.AdvanceMs(600);
  Frame();
  EXPECT_TRUE(LineRows().empty());
  EXPECT_EQ(mathDraw.GetMathDrawFlag(), 0);
}

TEST_F(MathDraw, ZoomedThresholdLineUsesThirtyFivePixelsADivision) {
  Type(kMathLogic);
  TaskMath.TaskMenu.SetMenuItem(kMathItemThreshold1, 125);  // a division up
  mathDraw.DrawThreshold(kMathDrawThreshold1);
  SysRunInfo.timeBaseType = 1;
  std::fill(QelDraw.GetDrawAddr(DRAW_CURRENT), QelDraw.GetDrawAddr(DRAW_CURRENT) + 800 * 480, 0u);
  mathDraw.DrawLogicThreshold();
  const uint32_t* px = QelDraw.GetDrawAddr(DRAW_CURRENT);
  int at270 = 0, elsewhere = 0;
  for (int r = 0; r < 480; ++r)
    for (int c = 0; c < 800; ++c)
      if (px[r * 800 + c] == kLine) ++(r == 305 - 35 ? at270 : elsewhere);
  EXPECT_GT(at270, 300);
  EXPECT_EQ(elsewhere, 0);
}

TEST_F(MathDraw, KeypadShowsAllowedKeysTheSelectionAndTheText) {
  Type(kMathAdvance);
  TaskMath.TaskMenu.SetMenuItem(kMathItemExpression, 1);
  Math_Advance_Expression(kNoKey);
  ASSERT_TRUE(TaskMath.GetDisplayBits() & kMathShowKeypad);
  Frame();
  {
    MeaFontScope font(1);
    // At the start operands, functions and "(" may come: "CH1" bright,
    // "+" and ")" dim, "CH1" underlined.
    RefPage ref;
    ref.DrawString(208, 185 + (48 - ref.Stringlen(kFontAscii, "CH1")) / 2, "CH1", kBright, 0);
    ref.DrawString(258, 185 + (32 - ref.Stringlen(kFontAscii, "+")) / 2, "+", kDim, 0);
    ref.DrawString(258, 185 + 5 * 32 + (32 - ref.Stringlen(kFontAscii, ")")) / 2, ")", kDim, 0);
    ref.DrawString(233, 185 + 5 * 48 + (48 - ref.Stringlen(kFontAscii, "Sqrt")) / 2, "Sqrt", kBright, 0);
    SameText(ref, 200, 185, 48, 24, kBright);
    SameText(ref, 250, 185, 32, 24, kDim);
    SameText(ref, 250, 185 + 5 * 32, 32, 24, kDim);
    SameText(ref, 225, 185 + 5 * 48, 48, 24, kBright);
    EXPECT_EQ(InRow(226, kLine, 185, 233), 48);  // the cell's width
    EXPECT_EQ(InRow(276, kLine, 150, 650), 0);
  }
  Png("math_expression_keypad_empty");

  // CH1 entered: the text shows it, operators are bright, CH1 is dim, and
  // the selection moved on to "+".
  MathMenuOp(kSelect);
  Frame();
  {
    MeaFontScope font(1);
    RefPage ref;
    ref.DrawString(183, 197, "CH1", kBright, 0);
    ref.DrawString(208, 185 + (48 - ref.Stringlen(kFontAscii, "CH1")) / 2, "CH1", kDim, 0);
    ref.DrawString(258, 185 + (32 - ref.Stringlen(kFontAscii, "+")) / 2, "+", kBright, 0);
    SameText(ref, 175, 197, 40, 24, kBright);
    SameText(ref, 200, 185, 48, 24, kDim);
    SameText(ref, 250, 185, 32, 24, kBright);
    EXPECT_EQ(InRow(226, kLine, 150, 650), 0);
    EXPECT_EQ(InRow(276, kLine, 185, 217), 32);
  }
  Png("math_expression_keypad");

  // Closed, the keypad is not drawn again.
  TaskMath.TaskMenu.SetMenuItem(kMathItemExpression, 0);
  Math_Advance_Expression(kNoKey);
  Frame();
  EXPECT_EQ(InRow(276, kLine, 185, 217), 0);
}

TEST_F(MathDraw, BlendedMergeLeavesKeyColouredPixels) {
  const _PicPos pos{10, 20, 2, 1};
  mathDraw.SetPictureInfo(kMathPicAdvance, &pos);
  uint32_t* own = mathDraw.GetDrawAddr(0);
  own[20 * 800 + 10] = 0x406080;
  own[20 * 800 + 11] = MASK_COLOR_MATH;
  std::unique_ptr<uint32_t[]> page(new uint32_t[800 * 480]());
  std::fill(page.get(), page.get() + 800 * 480, 0x808080u);
  mathDraw.DrawBuffSync(page.get(), 1);
  // Per byte: page 128 x 23 / 128 = 23, panel 0x40 x 210 / 256 = 52, 0x60 -> 78, 0x80 -> 105.
  EXPECT_EQ(page[20 * 800 + 10], uint32_t((23 + 52) << 16 | (23 + 78) << 8 | (23 + 105)));
  EXPECT_EQ(page[20 * 800 + 11], 0x808080u);
  EXPECT_EQ(page[20 * 800 + 12], 0x808080u);  // outside the placed rectangle
  mathDraw.DrawBuffSync(page.get(), 0);
  EXPECT_EQ(page[20 * 800 + 11], MASK_COLOR_MATH);  // copied as it is
  mathDraw.SetPictureInfo(3, &pos);                 // another picture clears the placement
  page[20 * 800 + 10] = 0;
  mathDraw.DrawBuffSync(page.get(), 0);
  EXPECT_EQ(page[20 * 800 + 10], 0u);
}
}  // namespace
