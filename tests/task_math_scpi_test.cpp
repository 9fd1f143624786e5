// The math SCPI commands through the engine: every keyword row sets its item
// and answers it back, the operator query follows the page shown, the source
// commands follow the math type, and the expression text is split, checked
// and applied (texts too long or unknown change nothing).
#include <gtest/gtest.h>

#include <string>

#include "analysis/task_math.h"
#include "core/ids.h"
#include "core/sys_run_info.h"
#include "core/task_manage.h"
#include "platform/thread.h"
#include "remote/scpi_client.h"
#include "remote/scpi.h"
#include "tests/bench/bench.h"

namespace {
struct MathScpi : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(kTaskCh1, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SysRunInfo.sourceOn = 3;
    bench.Key(kKeyMath);
    ASSERT_EQ(0, plat::StartThread("ScpiThread", ScpiThread, nullptr));
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  // A setter, then a query the worker runs after it.
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("FUNC:MATH:MODE?").empty());
  }
  int Item(int n) { return MenuValue(TaskMath, n); }
};

TEST_F(MathScpi, KeywordRowsSetTheirItemsAndAnswerThem) {
  struct Row {
    const char* command;
    const char* word;
    int item, value;
  };
  const Row rows[] = {
      {"FUNC:FFT:WIND", "BMAN", kMathItemFftWindow, 1},
      {"FUNC:FFT:WIND", "HANNing", kMathItemFftWindow, 3},
      {"FUNC:FFT:VTYP", "DBRMS", kMathItemFftVertical, 1},
      {"FUNC:FFT:POIN", "64K", kMathItemFftPoints, 3},
      {"FUNC:FFT:DISP", "WATerfall2", kMathItemDisplayMode, 4},
      {"FUNC:FFT:DISP", "INDPendent", kMathItemDisplayMode, 2},
      {"FUNC:FILT:TYPE", "BP", kMathItemFilterType, 2},
      {"FUNC:LOG:INV", "ON", kMathItemLogicInvert, 1},
      {"FUNC:MATH:MODE", "FILTer", kMathItemType, 3},
  };
  for (const Row& r : rows) {
    Set(std::string(r.command) + " " + r.word);
    EXPECT_EQ(Item(r.item), r.value) << r.command << " " << r.word;
    EXPECT_EQ(Ask(std::string(r.command) + "?"), std::string(r.word) + "\r\n") << r.command;
  }
  EXPECT_EQ(Item(kMathItemFilterTypeSel), 3);  // the linked Type items follow
  EXPECT_EQ(SysRunInfo.fft.points, 65536u);
  EXPECT_EQ(SysRunInfo.fft.screen, 2);
  // An unknown keyword changes nothing.
  Set("FUNC:FFT:WIND TRIANGLE");
  EXPECT_EQ(Item(kMathItemFftWindow), 3);
}

TEST_F(MathScpi, OperationSourcesAndSelection) {
  Set("FUNC:OPER DIV");
  EXPECT_EQ(Item(kMathItemOperator), 3);
  EXPECT_EQ(Ask("FUNC:OPER?"), "DIVide\r\n");
  Set("FUNC:OPER XOR");
  EXPECT_EQ(Item(kMathItemLogicOp), 3);
  Set("FUNC:SOUR2 CHAN2");
  EXPECT_EQ(Item(kMathItemSource2), 1);
  Set("FUNC:MATH:MODE LOG");
  TaskMath.TaskMenu.SetCurrPage(kMathItemLogicType);
  EXPECT_EQ(Ask("FUNC:OPER?"), "XOR\r\n");
  Set("FUNC:SOUR1 CHAN2");
  EXPECT_EQ(Item(kMathItemLogicSrc1), 1);
  EXPECT_EQ(Item(kMathItemSource1), 0);
  EXPECT_EQ(Ask("FUNC:SOUR1?"), "CHANnel2\r\n");
  TaskMath.TaskMenu.SetCurrPage(kMathItemFftPoints);
  EXPECT_EQ(Ask("FUNC:OPER?"), "-1\r\n");
  EXPECT_EQ(Ask("KEY:MATH:LED?"), "1\r\n");
  EXPECT_EQ(Ask("CHAN5:SEL?"), "1\r\n");
}

TEST_F(MathScpi, ExpressionText) {
  Set("FUNC:MATH:MODE ADV");
  EXPECT_EQ(TaskMath.TaskMenu.GetCurrPage(), 22);
  Set("FUNC:EXPR CH1>=CH2");
  AdvanceData d;
  TaskMath.GetAdvData(&d);
  EXPECT_EQ(d.count, 3);
  EXPECT_EQ(d.infix[1], kTokGe);
  EXPECT_EQ(d.valid, 1);  // applied: the expression page is shown
  EXPECT_EQ(Ask("FUNC:EXPR?"), "CH1>=CH2\r\n");
  // Unknown names and texts of 54 characters or more change nothing.
  Set("FUNC:EXPR CH1>=CH3");
  Set("FUNC:EXPR " + std::string(54, '('));
  TaskMath.GetAdvData(&d);
  EXPECT_STREQ(d.text, "CH1>=CH2");
  // An unbalanced one is kept as text but refused: no longer valid.
  Set("FUNC:EXPR (CH1+CH2");
  TaskMath.GetAdvData(&d);
  EXPECT_EQ(d.valid, 0);
}
}  // namespace
