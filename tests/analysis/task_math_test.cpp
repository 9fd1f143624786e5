// The math module on the simulated board: the MATH key and its refusals, the
// menu pages through the soft keys and the knob, the type in the EEPROM, the
// expression keypad (entry, limits, delete, apply, refusal), the math trace
// on screen at the row its value and scale give, and the setup-file block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "analysis/math/math_calc.h"
#include "analysis/math/task_math.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "tests/bench/bench.h"
#include "trigger/analog/task_trigger.h"

namespace {
enum : uint8_t { F1 = 49, F2, F3, F4, F5, kSelect = 72, kUp = 76, kDown = 77 };
constexpr int kTypeByte = 174;
constexpr uint32_t kMathRed = 0xFF0000;

int Item(int n) { return MenuValue(TaskMath, n); }
int Page() { return TaskMath.TaskMenu.GetCurrPage(); }
bool MathOn() { return SysRunStatus.GetChStatus() >> 5 & 1; }
bool Processing() { return TaskManage.FindUserTaskProcess(kTaskMath) == TASK_LISTED; }

struct MathModule : ::testing::Test {
  Bench b;
  void SetUp() override {
    ASSERT_EQ(StartOnDemand(b), 0);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 3;
    SysRunStatus.SetMenuDisplayTimeS(3);
    QelMsg.ClearMessage();
  }
  // The choice `to` from the list of the item under `fkey`.
  void Choose(uint8_t fkey, int to) { b.Choose(fkey, Item(Page() * 5 + fkey - F1), to); }
  void Acquire() {
    WaveOp.RequestChData(3);
    ASSERT_TRUE(b.Fpga().AcquireNow());
    b.Pass();
  }
  std::string Text() {
    AdvanceData d;
    TaskMath.GetAdvData(&d);
    return d.text;
  }
};

TEST_F(MathModule, KeyTurnsTheMathChannelOnAndOff) {
  b.Key(kKeyMath);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskMath);
  EXPECT_TRUE(MathOn());
  EXPECT_TRUE(Processing());
  EXPECT_EQ(SysRunStatus.GetActivCh(), 5);
  EXPECT_EQ(Page(), 0);
  ASSERT_NE(TaskMath.TaskMenu.GetMenuItemTitle(kMathItemType), nullptr);
  EXPECT_EQ(TaskMath.TaskMenu.GetMenuItemMaxSel(kMathItemType), 5);
  ASSERT_NE(Math_AdvanceTitle, nullptr);
  EXPECT_EQ(Math_AdvanceTitle[0], 'A');
  b.Key(kKeyMath);
  EXPECT_FALSE(MathOn());
  EXPECT_FALSE(Processing());
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskCh1);
}

TEST_F(MathModule, KeyIsRefusedInXYAlternateAndRoll) {
  SysRunInfo.displayFormat = 1;
  b.Key(kKeyMath);
  EXPECT_EQ(QelMsg.GetMessageID(), 17);
  EXPECT_FALSE(MathOn());
  SysRunInfo.displayFormat = 0;
  SysRunStatus.IndependTimeBaseEnable();
  b.Key(kKeyMath);
  EXPECT_EQ(QelMsg.GetMessageID(), 84);
  EXPECT_FALSE(MathOn());
}

// Type 2 (logic) through the pop-up: the logic page, the EEPROM byte, the
// process bit; Next and Back between the two logic pages; NOT greys source 2.
TEST_F(MathModule, TypeAndPagesThroughTheSoftKeys) {
  b.Key(kKeyMath);
  Choose(F1, 2);
  EXPECT_EQ(Item(kMathItemType), 2);
  EXPECT_EQ(Item(kMathItemLogicType), 2);
  EXPECT_EQ(Page(), 19);
  EXPECT_EQ(b.EepromByte(kTypeByte), 2);
  EXPECT_EQ(TaskMath.GetProcessBits(), 4u);
  EXPECT_EQ(SysRunStatus.GetMathType(), 2);
  b.Key(F5);
  EXPECT_EQ(Page(), 20);
  b.Key(F5);
  EXPECT_EQ(Page(), 19);
  Choose(F2, 2);
  EXPECT_TRUE(TaskMath.TaskMenu.ItemDisabled(kMathItemLogicSrc2));
  // Thresholds: the soft key takes the knob, each step one code, 0..200.
  b.Key(F5);
  b.Key(F2);
  for (int i = 0; i < 3; ++i) b.Key(kUp);
  EXPECT_EQ(Item(kMathItemThreshold1), 103);
  EXPECT_TRUE(TaskMath.GetDisplayBits() & kMathShowThreshold);
  // The FFT pages: Next goes round the three of them.
  b.Key(F1);
  EXPECT_EQ(Page(), 20);  // the Invert item of page 20
  TaskMath.TaskMenu.SetCurrPage(kMathItemLogicType);
  Choose(F1, 1);
  EXPECT_EQ(Page(), 1);
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & 0x20);
  b.Key(F5);
  EXPECT_EQ(Page(), 2);
  b.Key(F5);
  EXPECT_EQ(Page(), 3);
  b.Key(F5);
  EXPECT_EQ(Page(), 1);
  // Back to arithmetic: the FFT bit goes.
  Choose(F1, 0);
  EXPECT_EQ(Page(), 0);
  EXPECT_FALSE(SysRunStatus.GetFuncBits() & 0x20);
  EXPECT_EQ(b.EepromByte(kTypeByte), 0);
}

// The keypad: entries follow the valid keys, a function brings its "(",
// Delete takes both back, Apply checks; an unfinished expression is refused
// with message 37 and leaves no trace.
TEST_F(MathModule, ExpressionKeypad) {
  b.Key(kKeyMath);
  Choose(F1, 4);
  EXPECT_EQ(Page(), 22);
  b.Key(F2);  // open the keypad
  EXPECT_TRUE(TaskMath.GetDisplayBits() & kMathShowKeypad);
  EXPECT_EQ(TaskMath.GetAdvanceIndex(), 0);
  b.Key(kSelect);  // CH1
  EXPECT_EQ(Text(), "CH1");
  EXPECT_EQ(TaskMath.GetAdvanceItemValid(), 0x00FFBC00u);
  EXPECT_EQ(TaskMath.GetAdvanceIndex(), 10);  // moved on to "+"
  b.Key(kUp);
  b.Key(kUp);
  EXPECT_EQ(TaskMath.GetAdvanceIndex(), 12);
  b.Key(kSelect);  // *
  EXPECT_EQ(TaskMath.GetAdvanceIndex(), 14);  // on to "(", the next valid key
  b.Key(kDown);  // backwards to Diff
  EXPECT_EQ(TaskMath.GetAdvanceIndex(), 9);
  b.Key(kSelect);
  EXPECT_EQ(Text(), "CH1*Diff(");
  b.Key(F3);  // Delete takes the function and its bracket
  EXPECT_EQ(Text(), "CH1*");
  b.Key(F5);  // Apply: the expression ends with an operator
  EXPECT_EQ(QelMsg.GetMessageID(), 37);
  EXPECT_EQ(*std::max_element(WaveOp.GetSerrenMem(5), WaveOp.GetSerrenMem(5) + 1400), 0);
  while (TaskMath.GetAdvanceIndex() != kTokCh2) b.Key(kUp);
  b.Key(kSelect);
  EXPECT_EQ(Text(), "CH1*CH2");
  b.Key(F5);
  AdvanceData d;
  TaskMath.GetAdvData(&d);
  EXPECT_EQ(d.valid, 1);
  EXPECT_STREQ(d.applied, "CH1*CH2");
  EXPECT_FALSE(TaskMath.GetDisplayBits() & kMathShowKeypad);
  // Delete and Clear are greyed with the keypad closed; opened, Clear resets
  // the record.
  b.Key(F4);
  TaskMath.GetAdvData(&d);
  EXPECT_EQ(d.count, 3);
  b.Key(F2);
  b.Key(F4);
  TaskMath.GetAdvData(&d);
  EXPECT_EQ(d.count, 0);
  EXPECT_EQ(d.valid, 0);
}

// The text stops at 54 characters: the entry that passes it is taken back
// with message 74, and the record never overruns.
TEST_F(MathModule, ExpressionLengthLimit) {
  b.Key(kKeyMath);
  Choose(F1, 4);
  b.Key(F2);
  // "Sqrt(" is five characters: the eleventh passes 54.
  for (int i = 0; i < 12; ++i) {
    while (TaskMath.GetAdvanceIndex() != kTokSqrt) b.Key(kUp);
    b.Key(kSelect);
    if (i < 10) {
      ASSERT_EQ(Text().size(), size_t(5 * (i + 1)));
    }
  }
  EXPECT_EQ(QelMsg.GetMessageID(), 74);
  EXPECT_EQ(Text().size(), 50u);
  AdvanceData d;
  TaskMath.GetAdvData(&d);
  EXPECT_LT(d.count, kAdvanceTokens);
  EXPECT_EQ(d.infix[d.count], kAdvanceEnd);
}

// CH1 1 V plus CH2 0.5 V at the math channel's 1 V/div: code 127 + 38, two
// screen rows a code above the centre row 233.
TEST_F(MathModule, MathTraceOnScreen) {
  plat::TestSignal dc;
  dc.shape = plat::SignalShape::kDc;
  dc.offsetV = 1.0;
  b.Fpga().SetSignal(0, dc);
  dc.offsetV = 0.5;
  b.Fpga().SetSignal(1, dc);
  b.Key(kKeyMath);
  TaskMath.TaskMenu.SetMenuItem(kMathItemSource2, 1);
  Acquire();
  b.AdvanceMs(600);
  b.Pass();
  ASSERT_EQ(WaveOp.GetSerrenMem(5)[350], 165);
  const int row = 233 - (165 - 127) * 2;
  int red = 0;
  for (int x = 40; x < 720; ++x) red += b.Pixel(row, x) == kMathRed;
  EXPECT_GT(red, 600);
  EXPECT_NE(b.Pixel(row + 6, 400), kMathRed);
  b.WriteScreenPng(std::string(SCOPE_BINARY_DIR) + "/math_sum_on_screen.png");
}

// "TASK-MATH", CR LF, the menu image, CR LF, the record, CR LF, item 22 big-
// endian, CR LF; a record from a file is checked again before it is used.
TEST_F(MathModule, SetupBlock) {
  b.Key(kKeyMath);
  TaskMath.TaskMenu.SetMenuItem(kMathItemAverageSel, 0x0102 & 0xFF);
  const uint8_t tokens[] = {kTokCh1, kTokSub, kTokCh2, kAdvanceEnd};
  TaskMath.SetAdvanceBuff(tokens);
  TaskMath.SetAdvanceExpression("CH1-CH2");
  ASSERT_EQ(TaskMath.ApplyExpression(), 0);
  std::vector<uint8_t> buf(20000, 0);
  int32_t status = 0;
  const int used = RunSetupStorage(TaskMath, 0, &buf, int(buf.size()), 0, &status);
  ASSERT_EQ(status, 0);
  const int image = 23 * 40;  // the pages read from the text file
  ASSERT_EQ(used, 9 + 2 + image + 2 + 252 + 2 + 2 + 2);
  EXPECT_EQ(std::string(buf.begin(), buf.begin() + 11), "TASK-MATH\r\n");
  const uint8_t* rec = buf.data() + 11 + image + 2;
  EXPECT_EQ(rec[-2], '\r');
  EXPECT_EQ(rec[1], 3);  // token count
  EXPECT_STREQ(reinterpret_cast<const char*>(rec + 183), "CH1-CH2");
  EXPECT_EQ(rec[243], 1);
  EXPECT_EQ(rec[254], 0);
  EXPECT_EQ(rec[255], 2);
  EXPECT_EQ(std::string(rec + 256, rec + 258), "\r\n");

  // A damaged record: unknown tokens under a valid flag, texts unterminated.
  std::vector<uint8_t> bad = buf;
  uint8_t* r = bad.data() + 11 + image + 2;
  r[2] = 30;
  std::memset(r + 123, 'x', 120);
  r[254] = 0x7F;
  TaskMath.AdvanceInit();
  RunSetupStorage(TaskMath, 1, &bad, used, 0, &status);
  ASSERT_EQ(status, 0);
  AdvanceData d;
  TaskMath.GetAdvData(&d);
  EXPECT_EQ(d.valid, 0);
  EXPECT_EQ(std::strlen(d.text), size_t(kAdvanceText - 1));
  EXPECT_EQ(Item(kMathItemAverageSel), 1);
  // The good one comes back whole and evaluates.
  TaskMath.AdvanceInit();
  RunSetupStorage(TaskMath, 1, &buf, used, 0, &status);
  TaskMath.GetAdvData(&d);
  EXPECT_EQ(d.valid, 1);
  EXPECT_STREQ(d.applied, "CH1-CH2");
  EXPECT_EQ(Item(kMathItemAverageSel), 2);
  // A block cut short is refused and changes nothing.
  RunSetupStorage(TaskMath, 1, &buf, used - 10, 0, &status);
  EXPECT_EQ(status, -1);
}

TEST_F(MathModule, DefaultWritesTheTypeByte) {
  b.Key(kKeyMath);
  Choose(F1, 3);
  EXPECT_EQ(b.EepromByte(kTypeByte), 3);
  TaskMath.Default();
  EXPECT_EQ(b.EepromByte(kTypeByte), 0);
  // Switched off by the task manager: type 0, math off, first page.
  TaskMath.FunctionOnOff(0);
  EXPECT_FALSE(MathOn());
  EXPECT_EQ(Item(kMathItemFilterTypeSel), 0);
  EXPECT_EQ(TaskMath.GetProcessBits(), 0u);
}
}  // namespace

// Turning the FFT on from the panel takes the screen from the bus decode: the
// trigger module's Bus state and event table go off after the math key (the
// math type FFT with the math channel shown), and stay on for other types.
TEST_F(MathModule, SpectrumTakesTheScreenFromTheBusDecode) {
  TaskTrigger.SetItem(kTiType, uint64_t(kTrigI2c));
  Trigger_TypeSelect(keypara{KEY_NO_KEY, 0, 0});
  auto busOn = [] {
    TaskTrigger.SetItem(145, 1);
    TaskTrigger.SetItem(147, 1);
  };
  auto bus = [] { return MenuValue(TaskTrigger, 145) + MenuValue(TaskTrigger, 147); };
  busOn();
  b.Key(kKeyMath);  // arithmetic on
  ASSERT_TRUE(MathOn());
  EXPECT_EQ(bus(), 2);
  Choose(F1, kMathFft);
  ASSERT_EQ(SysRunStatus.GetMathType(), kMathFft);
  EXPECT_EQ(bus(), 0);
  // With the math channel off the decode may come back.
  b.Key(kKeyMath);
  ASSERT_FALSE(MathOn());
  busOn();
  b.Key(kKeyMath);
  ASSERT_TRUE(MathOn());
  EXPECT_EQ(bus(), 0);
}
