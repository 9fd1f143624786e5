// The math SCPI commands through the engine: every keyword row sets its item
// and answers it back, the operator query follows the page shown, the source
// commands follow the math type, and the expression text is split, checked
// and applied (texts too long or unknown change nothing). The numeric rows
// are checked against values worked out from the settings: a logic
// threshold step is the channel's volts per division / 25, a filter step a
// hundredth of half the screen rate (50 points a division), an FFT bin the
// FFT rate (50 / (s/div) x 10 at 8K points) over the points.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "acquisition/models/y_system.h"
#include "acquisition/engine/wave.h"
#include "analysis/fft/fft_process.h"
#include "analysis/math/math_calc.h"
#include "analysis/fft/math_fft_menu.h"
#include "analysis/math/task_math_scpi.h"
#include "core/board/fpga_words.h"
#include "core/messages/msg.h"

#include "analysis/math/task_math.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/thread.h"
#include "remote/scpi/scpi_client.h"
#include "remote/scpi/scpi.h"
#include "tests/bench/bench.h"

namespace {
struct MathScpi : ::testing::Test {
  Bench bench;
  void SetUp() override {
    ASSERT_EQ(StartOnDemand(bench), 0);
    SysRunInfo.sourceOn = 3;
    bench.Key(kKeyMath);
    ASSERT_EQ(0, StartScpiThread());
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  // A setter, then a query the worker runs after it.
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("FUNC:MATH:MODE?").empty());
  }
  int Item(int n) { return MenuValue(TaskMath, n); }
  uint32_t Item32(int n) { return uint32_t(TaskMath.TaskMenu.GetMenuItem(n)); }
};

TEST_F(MathScpi, KeywordRowsSetTheirItemsAndAnswerThem) {
  struct Row {
    const char* command;
    const char* word;
    int item, value;
    const char* reply;  // null: the word
  };
  const Row rows[] = {
      {"FUNC:FFT:WIND", "BMAN", kMathItemFftWindow, 1, nullptr},
      {"FUNC:FFT:WIND", "HANNing", kMathItemFftWindow, 3, nullptr},
      {"FUNC:FFT:WIND", "0", kMathItemFftWindow, 0, "HAMMing"},
      {"FUNC:FFT:VTYP", "DBRMS", kMathItemFftVertical, 1, nullptr},
      {"FUNC:FFT:POIN", "64K", kMathItemFftPoints, 3, nullptr},
      {"FUNC:FFT:DISP", "WATerfall2", kMathItemDisplayMode, 4, nullptr},
      {"FUNC:FFT:DISP", "SPLIt", kMathItemDisplayMode, 1, nullptr},
      {"FUNC:FFT:DISP", "INDPendent", kMathItemDisplayMode, 2, nullptr},
      {"FUNC:FFT:DETE:REALT", "NPEAK", 20, 1, nullptr},
      {"FUNC:FFT:DETE:AVER", "SAMPle", 21, 3, nullptr},
      {"FUNC:FFT:DETE:MAXH", "PPEAK", 23, 1, nullptr},
      {"FUNC:FFT:DETE:MINH", "AVERage", 25, 4, nullptr},
      {"FUNC:FFT:MARK:TYPE", "THReshold", 30, 2, nullptr},
      {"FUNC:FFT:FREQ:TRAC", "ON", 68, 1, "1"},
      {"FUNC:FILT:TYPE", "BP", kMathItemFilterType, 2, nullptr},
      {"FUNC:LOG:INV", "ON", kMathItemLogicInvert, 1, "1"},
      {"FUNC:LOG:INV", "0", kMathItemLogicInvert, 0, "0"},
      {"FUNC:MATH:MODE", "FILTer", kMathItemType, 3, nullptr},
  };
  for (const Row& r : rows) {
    Set(std::string(r.command) + " " + r.word);
    EXPECT_EQ(Item(r.item), r.value) << r.command << " " << r.word;
    EXPECT_EQ(Ask(std::string(r.command) + "?"), std::string(r.reply ? r.reply : r.word) + "\r\n") << r.command;
  }
  for (int linked : {35, 40, 45}) EXPECT_EQ(Item(linked), 2);  // the mark Type items follow
  EXPECT_EQ(Item(kMathItemFilterTypeSel), 3);  // the linked Type items follow
  EXPECT_EQ(SysRunInfo.fft.points, 65536u);
  EXPECT_EQ(SysRunInfo.fft.screen, 2);
  // An unknown keyword changes nothing.
  Set("FUNC:FFT:WIND TRIANGLE");
  EXPECT_EQ(Item(kMathItemFftWindow), 0);
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
  // The logic function's operator, its page shown or not yet.
  EXPECT_EQ(Ask("FUNC:OPER?"), "XOR\r\n");
  TaskMath.TaskMenu.SetCurrPage(kMathItemLogicType);
  EXPECT_EQ(Ask("FUNC:OPER?"), "XOR\r\n");
  Set("FUNC:SOUR1 CHAN2");
  EXPECT_EQ(Item(kMathItemLogicSrc1), 1);
  EXPECT_EQ(Item(kMathItemSource1), 0);
  EXPECT_EQ(Ask("FUNC:SOUR1?"), "CHANnel2\r\n");
  TaskMath.TaskMenu.SetCurrPage(kMathItemFftPoints);
  EXPECT_EQ(Ask("FUNC:OPER?"), "XOR\r\n");
  EXPECT_EQ(Ask("KEY:MATH:LED?"), "1\r\n");
  EXPECT_EQ(Ask("CHAN5:SEL?"), "1\r\n");
  // Selecting the math channel shows the math menu's first page.
  TaskMath.TaskMenu.SetCurrPage(kMathItemFftPoints);
  Set("CHAN5:SEL");
  EXPECT_EQ(TaskMath.TaskMenu.GetCurrPage(), 0);
  EXPECT_EQ(SysRunStatus.GetActivCh(), kMathSlot);
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
  // Unknown names and texts of 54 characters or more change nothing, and
  // raise the keypad's messages for them, as the screen does.
  QelMsg.ClearMessage();
  Set("FUNC:EXPR CH1>=CH3");
  EXPECT_EQ(QelMsg.GetMessageID(), 37);
  QelMsg.ClearMessage();
  Set("FUNC:EXPR " + std::string(54, '('));
  EXPECT_EQ(QelMsg.GetMessageID(), 74);
  TaskMath.GetAdvData(&d);
  EXPECT_STREQ(d.text, "CH1>=CH2");
  // An unbalanced one is kept as text but refused: no longer valid.
  QelMsg.ClearMessage();
  Set("FUNC:EXPR (CH1+CH2");
  EXPECT_EQ(QelMsg.GetMessageID(), 37);
  TaskMath.GetAdvData(&d);
  EXPECT_EQ(d.valid, 0);
  // Another page in front: the expression is applied all the same.
  TaskMath.TaskMenu.SetCurrPage(0);
  Set("FUNC:EXPR CH1-CH2");
  TaskMath.GetAdvData(&d);
  EXPECT_EQ(d.valid, 1);
  EXPECT_STREQ(d.applied, "CH1-CH2");
}

// The mode setter pauses the acquisition, starts it again and records the type.
TEST_F(MathScpi, ModeSetterRestartsTheAcquisition) {
  const size_t before = WrittenWords(fpga::kPause).size();
  Set("FUNC:MATH:MODE FFT");
  const WordLog pauses = WrittenWords(fpga::kPause);
  ASSERT_GT(pauses.size(), before);
  EXPECT_EQ(pauses[before].second, 1);
  EXPECT_EQ(SysRunStatus.GetMathType(), 1);
  EXPECT_EQ(Item(kMathItemFftType), 1);
  Set("FUNC:MATH:MODE 0");  // "0" stands for the first keyword
  EXPECT_EQ(SysRunStatus.GetMathType(), 0);
  EXPECT_EQ(Ask("FUNC:MATH:MODE?"), "MATH\r\n");
}

// Thresholds in steps of volts per division / 25 either side of the source's
// position, at most 100 steps; with both logic sources on CH1 both follow.
TEST_F(MathScpi, LogicThresholdsInStepsOfTheChannelsScale) {
  Vertical.SetRealYsensitivity(0, 11);  // 0.5 V/div: steps of 20 mV
  Vertical.SetRealYsensitivity(1, 12);  // 1 V/div: steps of 40 mV
  EXPECT_EQ(Ask("FUNC:DIG1:THR?"), "0.000000e+00\r\n");
  Set("FUNC:DIG1:THR 500m");
  EXPECT_EQ(Item(kMathItemThreshold1), 125);
  EXPECT_EQ(Item(kMathItemThreshold2), 125);  // both sources are CH1
  EXPECT_EQ(Ask("FUNC:DIG1:THR?"), "5.000000e-01\r\n");
  Set("FUNC:DIG1:THR -0.1");
  EXPECT_EQ(Item(kMathItemThreshold1), 95);
  EXPECT_EQ(Ask("FUNC:DIG1:THR?"), "-1.000000e-01\r\n");
  Set("FUNC:DIG1:THR 3");  // beyond 100 steps (2 V)
  EXPECT_EQ(Item(kMathItemThreshold1), 200);
  EXPECT_EQ(Ask("FUNC:DIG1:THR?"), "2.000000e+00\r\n");
  // Refused numbers change nothing.
  for (const char* bad : {"FUNC:DIG1:THR", "FUNC:DIG1:THR V", "FUNC:DIG1:THR 1.2.3"}) {
    Set(bad);
    EXPECT_EQ(Item(kMathItemThreshold1), 200) << bad;
  }
  // CH2 on the second source: its own scale, the first threshold stays.
  TaskMath.TaskMenu.SetMenuItem(kMathItemLogicSrc2, 1);
  Set("FUNC:DIG2:THR -1200m");
  EXPECT_EQ(Item(kMathItemThreshold2), 70);
  EXPECT_EQ(Item(kMathItemThreshold1), 200);
  EXPECT_EQ(Ask("FUNC:DIG2:THR?"), "-1.200000e+00\r\n");
}

// Cut-offs in hundredths of half the screen rate: at 1 ms/div 50 kSa/s, a
// step of 250 Hz; the band types keep the lower limit two below the upper.
TEST_F(MathScpi, FilterCutoffsInStepsOfTheScreenRate) {
  Set(":TIM:SCAL 0.001");
  EXPECT_EQ(Ask("FUNC:FILT:FREQ:HIGH?"), "2.500000e+03\r\n");  // the initial 10 steps
  Set("FUNC:FILT:FREQ:HIGH 5K");
  EXPECT_EQ(Item(kMathItemUpperLimit), 20);
  EXPECT_EQ(Ask("FUNC:FILT:FREQ:HIGH?"), "5.000000e+03\r\n");
  Set("FUNC:FILT:FREQ:LOW 1000");
  EXPECT_EQ(Item(kMathItemLowerLimit), 4);
  Set("FUNC:FILT:FREQ:HIGH 1G");  // beyond 100 steps
  EXPECT_EQ(Item(kMathItemUpperLimit), 100);
  Set("FUNC:FILT:TYPE BS");
  Set("FUNC:FILT:FREQ:HIGH 5K");
  Set("FUNC:FILT:FREQ:LOW 100K");
  EXPECT_EQ(Item(kMathItemLowerLimit), 18);
  EXPECT_EQ(Ask("FUNC:FILT:FREQ:LOW?"), "4.500000e+03\r\n");
}

// At 500 us/div and 8K points the FFT rate is 1 MHz: 122.0703125 Hz a bin,
// 4096 bins, the last shown one 4095.
TEST_F(MathScpi, SpanByStartEndCentreAndWidth) {
  Set(":TIM:SCAL 0.0005");
  Set("FUNC:MATH:MODE FFT");
  Set("FUNC:FFT:POIN 8K");
  const double bin = 1e6 / 8192;
  auto hz = [&](double bins) {
    char text[32];
    std::snprintf(text, sizeof text, "%e\r\n", bins * bin);
    return std::string(text);
  };
  Set("FUNC:FFT:FREQ:END 100K");
  EXPECT_EQ(Item32(67), 819u);  // 819.2 bins
  Set("FUNC:FFT:FREQ:STAR 1K");
  EXPECT_EQ(Item32(66), 8u);
  EXPECT_EQ(Ask("FUNC:FFT:FREQ:STAR?"), "9.765625e+02\r\n");
  EXPECT_EQ(Ask("FUNC:FFT:FREQ:END?"), hz(819));
  EXPECT_EQ(Ask("FUNC:FFT:FREQ:CENT?"), hz(8 + 811 / 2));
  EXPECT_EQ(Ask("FUNC:FFT:FREQ?"), hz(8 + 811 / 2));
  EXPECT_EQ(Ask("FUNC:FFT:FREQ:BW?"), hz(811));
  EXPECT_EQ(SysRunInfo.fft.startBin, 8u);
  EXPECT_EQ(SysRunInfo.fft.endBin, 819u);
  // The centre moves the span whole; the width keeps the centre.
  Set("FUNC:FFT:FREQ:CENT 200K");
  EXPECT_EQ(Item32(66), 1638u - 405);
  EXPECT_EQ(Item32(67), 1638u - 405 + 811);
  Set("FUNC:FFT:FREQ:BW 10K");
  EXPECT_EQ(Item32(66), 1638u - 40);
  EXPECT_EQ(Item32(67), 1638u - 40 + 81);
  // Limits: start at most end - 10, end at least start + 10 and at most 4095,
  // a centre near the end moves the span inside.
  Set("FUNC:FFT:FREQ:STAR 600K");
  EXPECT_EQ(Item32(66), 1638u - 40 + 81 - 10);
  Set("FUNC:FFT:FREQ:END 1");
  EXPECT_EQ(Item32(67), Item32(66) + 10);
  Set("FUNC:FFT:FREQ:BW 1G");
  EXPECT_EQ(Item32(66), 0u);
  EXPECT_EQ(Item32(67), 4095u);
  Set("FUNC:FFT:FREQ:BW 1K");
  Set("FUNC:FFT:FREQ:CENT 499.9K");
  EXPECT_EQ(Item32(67), 4095u);
  EXPECT_EQ(Item32(66), 4095u - 10);
  Set("FUNC:FFT:FREQ:STAR -5K");
  EXPECT_EQ(Item32(66), 0u);
  Set("FUNC:FFT:FREQ:STAR K");  // not a number
  EXPECT_EQ(Item32(66), 0u);
}

// Numbers in exponent form, with and without their unit letters, set what
// they say; every answer of the number queries written back sets what it
// answered (at spans whose bins "%e" rounds: 122.0703125 Hz a bin at 8K
// points, at 1M points bins beyond 500000); a unit the command does not know
// is refused with the parameter error and changes nothing.
TEST_F(MathScpi, NumbersInEveryFormAndAnswersWrittenBack) {
  while (Ask("SYST:ERR?").rfind("0,", 0) != 0) {
  }
  Set(":TIM:SCAL 0.0005");
  Set("FUNC:MATH:MODE FFT");
  Set("FUNC:FFT:POIN 8K");
  Set("FUNC:FFT:FREQ:STAR 0");
  Set("FUNC:FFT:FREQ:END 4.998779e+05");  // 4095 bins of 122.0703125 Hz, as END? answers it
  EXPECT_EQ(Item32(kMathItemEndBin), 4095u);
  Set("FUNC:FFT:FREQ:END 1.5E+02KHz");  // 1228.8 bins
  EXPECT_EQ(Item32(kMathItemEndBin), 1228u);
  Set("FUNC:FFT:FREQ:STAR 1e3");
  EXPECT_EQ(Item32(kMathItemStartBin), 8u);
  Set("FUNC:FFT:FREQ:STAR 2.5e-2M");  // 25 kHz: 204.8 bins
  EXPECT_EQ(Item32(kMathItemStartBin), 204u);
  Set(":TIM:SCAL 0.001");  // filter steps of 250 Hz
  Set("FUNC:FILT:FREQ:HIGH 1E3");
  EXPECT_EQ(Item(kMathItemUpperLimit), 4);
  Set("FUNC:FILT:FREQ:HIGH 5e0K");
  EXPECT_EQ(Item(kMathItemUpperLimit), 20);
  Vertical.SetRealYsensitivity(0, 11);  // 0.5 V/div: threshold steps of 20 mV
  Set("FUNC:DIG1:THR -2.4e-1");
  EXPECT_EQ(Item(kMathItemThreshold1), kMathThresholdCentre - 12);
  Set("FUNC:DIG1:THR 3.2E+02mV");
  EXPECT_EQ(Item(kMathItemThreshold1), kMathThresholdCentre + 16);
  EXPECT_EQ(Ask("SYST:ERR?").rfind("0,", 0), 0u);

  // Each query's answer written back.
  auto roundTrip = [&](const std::string& command, const std::string& where) {
    const std::string answer = Ask(command + "?");
    const std::string text = answer.substr(0, answer.find('\r'));
    const uint32_t start = Item32(kMathItemStartBin), end = Item32(kMathItemEndBin);
    const int high = Item(kMathItemUpperLimit), low = Item(kMathItemLowerLimit);
    const int t1 = Item(kMathItemThreshold1), t2 = Item(kMathItemThreshold2);
    Set(command + " " + text);
    EXPECT_EQ(Ask(command + "?"), answer) << command << " " << text << " " << where;
    EXPECT_EQ(Item32(kMathItemStartBin), start) << command << " " << text << " " << where;
    EXPECT_EQ(Item32(kMathItemEndBin), end) << command << " " << text << " " << where;
    EXPECT_EQ(Item(kMathItemUpperLimit), high) << command << " " << text << " " << where;
    EXPECT_EQ(Item(kMathItemLowerLimit), low) << command << " " << text << " " << where;
    EXPECT_EQ(Item(kMathItemThreshold1), t1) << command << " " << text << " " << where;
    EXPECT_EQ(Item(kMathItemThreshold2), t2) << command << " " << text << " " << where;
  };
  const char* const spanCommands[] = {"FUNC:FFT:FREQ:STAR", "FUNC:FFT:FREQ:END", "FUNC:FFT:FREQ:CENT",
                                      "FUNC:FFT:FREQ:BW"};
  struct Span {
    const char* scale;
    const char* points;
    uint32_t start, end;
  };
  const Span spans[] = {{"0.0005", "8K", 1237, 4093}, {"0.0005", "8K", 3, 4095}, {"0.0002", "8K", 777, 3001},
                        {"0.0005", "1M", 500001, 524287}, {"0.00002", "1M", 99999, 412345}};
  for (const Span& span : spans) {
    Set(std::string(":TIM:SCAL ") + span.scale);
    Set(std::string("FUNC:FFT:POIN ") + span.points);
    TaskMath.TaskMenu.SetMenuItem(kMathItemStartBin, span.start);
    TaskMath.TaskMenu.SetMenuItem(kMathItemEndBin, span.end);
    for (const char* command : spanCommands) roundTrip(command, std::string(span.scale) + " " + span.points);
  }
  for (const char* scale : {"0.001", "0.0002", "0.000005"}) {
    Set(std::string(":TIM:SCAL ") + scale);
    for (const int steps : {7, 37, 99}) {
      TaskMath.TaskMenu.SetMenuItem(kMathItemUpperLimit, uint64_t(steps));
      TaskMath.TaskMenu.SetMenuItem(kMathItemLowerLimit, uint64_t(steps - 3));
      roundTrip("FUNC:FILT:FREQ:HIGH", scale);
      roundTrip("FUNC:FILT:FREQ:LOW", scale);
    }
  }
  TaskMath.TaskMenu.SetMenuItem(kMathItemLogicSrc2, 1);
  for (const int vdiv : {5, 11, 13}) {
    Vertical.SetRealYsensitivity(0, vdiv);
    Vertical.SetRealYsensitivity(1, vdiv + 1);
    for (const int steps : {-100, -37, 3, 71}) {
      TaskMath.TaskMenu.SetMenuItem(kMathItemThreshold1, uint64_t(kMathThresholdCentre + steps));
      TaskMath.TaskMenu.SetMenuItem(kMathItemThreshold2, uint64_t(kMathThresholdCentre - steps));
      roundTrip("FUNC:DIG1:THR", std::to_string(vdiv));
      roundTrip("FUNC:DIG2:THR", std::to_string(vdiv));
    }
  }
  Vertical.SetRealYsensitivity(kMathSlot, 12);
  Set("FUNC:FFT:VTYP VRMS");
  Set("FUNC:FFT:MARK:THR:LEV 1.25V");
  roundTrip("FUNC:FFT:MARK:THR:LEV", "V");
  Set("FUNC:FFT:MARK:THR:LEV -2.5e-1V");
  EXPECT_EQ(Ask("FUNC:FFT:MARK:THR:LEV?"), "-2.500000e-01\r\n");
  Set("FUNC:FFT:VTYP DBRMS");
  Set("FUNC:FFT:MARK:THR:LEV -3.5dB");
  roundTrip("FUNC:FFT:MARK:THR:LEV", "dB");
  EXPECT_EQ(Ask("SYST:ERR?").rfind("0,", 0), 0u);

  // Units the commands do not know: the parameter error, nothing changed.
  Set(":TIM:SCAL 0.0005");
  Set("FUNC:FFT:POIN 8K");
  Set("FUNC:FFT:FREQ:STAR 1K");
  Set("FUNC:FFT:FREQ:END 100K");
  const std::string before = Ask("FUNC:FFT:FREQ:STAR?") + Ask("FUNC:FFT:FREQ:END?") + Ask("FUNC:FILT:FREQ:HIGH?") +
                             Ask("FUNC:FILT:FREQ:LOW?") + Ask("FUNC:DIG1:THR?") + Ask("FUNC:DIG2:THR?") +
                             Ask("FUNC:FFT:MARK:THR:LEV?");
  for (const char* command : {"FUNC:FFT:FREQ:STAR", "FUNC:FFT:FREQ:END", "FUNC:FFT:FREQ:CENT", "FUNC:FFT:FREQ:BW",
                              "FUNC:FILT:FREQ:HIGH", "FUNC:FILT:FREQ:LOW"}) {
    for (const char* bad : {"5Q", "5e+05xyz", "1k", "2KQ", "3MHzz", "4m", "1e", "7V"}) {
      Set(std::string(command) + " " + bad);
      EXPECT_EQ(Ask("SYST:ERR?").rfind("72,", 0), 0u) << command << " " << bad;
    }
  }
  for (const char* command : {"FUNC:DIG1:THR", "FUNC:DIG2:THR"}) {
    for (const char* bad : {"5Q", "5e-01xyz", "1M", "2mVV", "1e", "1Hz"}) {
      Set(std::string(command) + " " + bad);
      EXPECT_EQ(Ask("SYST:ERR?").rfind("72,", 0), 0u) << command << " " << bad;
    }
  }
  for (const char* bad : {"5Q", "-3e-1dBx", "1V"}) {
    Set(std::string("FUNC:FFT:MARK:THR:LEV ") + bad);
    EXPECT_EQ(Ask("SYST:ERR?").rfind("72,", 0), 0u) << bad;
  }
  EXPECT_EQ(Ask("FUNC:FFT:FREQ:STAR?") + Ask("FUNC:FFT:FREQ:END?") + Ask("FUNC:FILT:FREQ:HIGH?") +
                Ask("FUNC:FILT:FREQ:LOW?") + Ask("FUNC:DIG1:THR?") + Ask("FUNC:DIG2:THR?") +
                Ask("FUNC:FFT:MARK:THR:LEV?"),
            before);
  EXPECT_EQ(Ask("SYST:ERR?").rfind("0,", 0), 0u);
}

// Detectors' count, marks and the threshold level.
TEST_F(MathScpi, MarkCommandsFollowTheMarkType) {
  Set("FUNC:MATH:MODE FFT");
  Set("FUNC:FFT:DETE:AVER:COUN 4");
  EXPECT_EQ(Item(kMathItemAverageSel), 4);
  for (const char* bad : {"FUNC:FFT:DETE:AVER:COUN 10", "FUNC:FFT:DETE:AVER:COUN 0", "FUNC:FFT:DETE:AVER:COUN 3x"})
    Set(bad);
  EXPECT_EQ(Ask("FUNC:FFT:DETE:AVER:COUN?"), "4\r\n");
  EXPECT_EQ(Ask("FUNC:FFT:DETE:AVER?"), "OFF\r\n");  // the shorter row is not taken for COUNt

  Set("FUNC:FFT:MARK:TYPE AUTO");
  Set("FUNC:FFT:MARK:POIN 7");
  Set("FUNC:FFT:MARK:POIN 51");
  EXPECT_EQ(Ask("FUNC:FFT:MARK:POIN?"), "7\r\n");
  // A trace that is off can not carry the marks.
  Set("FUNC:FFT:MARK:SOUR AVER");
  EXPECT_EQ(Item(36), 0);
  Set("FUNC:FFT:DETE:AVER PPEAK");
  Set("FUNC:FFT:MARK:SOUR AVER");
  EXPECT_EQ(Item(36), 1);
  EXPECT_EQ(Ask("FUNC:FFT:MARK:SOUR?"), "AVERage\r\n");
  Set("FUNC:FFT:MARK:EVEN ON");
  EXPECT_EQ(Item(38), 1);
  // Threshold marks: their own source and list items.
  Set("FUNC:FFT:MARK:TYPE THR");
  EXPECT_EQ(Ask("FUNC:FFT:MARK:SOUR?"), "REALtime\r\n");
  Set("FUNC:FFT:MARK:SOUR MAXH");
  EXPECT_EQ(Item(41), 0);
  Set("FUNC:FFT:DETE:MAXH SAMP");
  Set("FUNC:FFT:MARK:SOUR MAXH");
  EXPECT_EQ(Item(41), 2);
  EXPECT_EQ(Item(36), 1);
  EXPECT_EQ(Ask("FUNC:FFT:MARK:EVEN?"), "0\r\n");
  Set("FUNC:FFT:MARK:EVEN 1");
  EXPECT_EQ(Item(43), 1);

  // The level: volts within four of the math channel's divisions (1 V/div),
  // or dB within 10; the other unit changes nothing.
  Vertical.SetRealYsensitivity(kMathSlot, 12);
  Set("FUNC:FFT:VTYP VRMS");
  Set("FUNC:FFT:MARK:THR:LEV 0.5V");
  EXPECT_EQ(Ask("FUNC:FFT:MARK:THR:LEV?"), "5.000000e-01\r\n");
  Set("FUNC:FFT:MARK:THR:LEV 9V");
  EXPECT_EQ(Ask("FUNC:FFT:MARK:THR:LEV?"), "4.000000e+00\r\n");
  Set("FUNC:FFT:MARK:THR:LEV 3dB");
  EXPECT_EQ(Ask("FUNC:FFT:MARK:THR:LEV?"), "4.000000e+00\r\n");
  Set("FUNC:FFT:VTYP DBRMS");
  Set("FUNC:FFT:MARK:THR:LEV -3.5dB");
  EXPECT_EQ(Ask("FUNC:FFT:MARK:THR:LEV?"), "-3.500000e+00\r\n");
  Set("FUNC:FFT:MARK:THR:LEV -20dB");
  EXPECT_EQ(Ask("FUNC:FFT:MARK:THR:LEV?"), "-1.000000e+01\r\n");

  // The mark data as a block of its exact length.
  const std::string head = "FFT\nID,Freq,Amp\n";
  EXPECT_EQ(Ask("FUNC:FFT:MARK:DATA?"), "#2" + std::to_string(head.size()) + head + "\r\n");
}

// The waterfall slice is chosen only while stopped, within the rows kept.
TEST_F(MathScpi, WaterfallSliceOnlyWhileStopped) {
  Set("FUNC:MATH:MODE FFT");
  Set("FUNC:FFT:DISP WAT1");
  QelMsg.ClearMessage();
  Set("FUNC:FFT:WAT:SLIC 5");
  EXPECT_EQ(QelMsg.GetMessageID(), 63);
  SysRunInfo.acqStatus[0] = kAcqStopped;
  TaskMath.TaskMenu.SetMenuItem(kMathItemWaterfallSlice, 9);
  Set("FUNC:FFT:WAT:SLIC 5");  // no rows kept yet: the newest
  EXPECT_EQ(Ask("FUNC:FFT:WAT:SLIC?"), "1\r\n");
  TaskMath.TaskMenu.EnableItem(kMathItemWaterfallSlice, false);
  TaskMath.TaskMenu.SetMenuItem(kMathItemWaterfallSlice, 9);
  Set("FUNC:FFT:WAT:SLIC 5");
  EXPECT_EQ(Item(kMathItemWaterfallSlice), 9);
}

// The detection reset starts the held traces again: the max-hold trace
// (screen trace 6) of a sine is cleared, and a frame without the signal
// holds no peak.
TEST_F(MathScpi, DetectionResetClearsTheHeldTraces) {
  SetWaveTestSettings();
  Set("FUNC:MATH:MODE FFT");
  Set("FUNC:FFT:DETE:MAXH PPEAK");
  plat::TestSignal sine;
  sine.frequencyHz = 100e3;
  sine.amplitudeV = 1.0;
  bench.Fpga().SetSignal(0, sine);
  auto frame = [&] {
    WaveOp.RequestChData(3);
    ASSERT_TRUE(bench.Fpga().AcquireNow());
    bench.Pass();
    FftServeRequest(FftPara);
    bench.Pass();
  };
  for (int i = 0; i < 3; ++i) frame();
  const uint8_t* hold = WaveOp.GetSerrenMem(6);
  const int peak = *std::max_element(hold, hold + 700);
  EXPECT_GT(peak, 127 + 10);
  Set("FUNC:FFT:DETE:RES");
  EXPECT_EQ(*std::max_element(hold, hold + 1400), 0);
  sine.amplitudeV = 0;
  bench.Fpga().SetSignal(0, sine);
  for (int i = 0; i < 2; ++i) frame();
  EXPECT_LT(*std::max_element(hold, hold + 700), peak - 10);
}

TEST(MathScpiText, NumbersWithUnits) {
  float v = 0;
  char unit[8];
  EXPECT_EQ(extFloat(&v, unit, sizeof unit, "1.5mV"), 0);
  EXPECT_FLOAT_EQ(v, 1.5f);
  EXPECT_STREQ(unit, "mV");
  EXPECT_EQ(extFloat(&v, unit, sizeof unit, "-20dB"), 0);
  EXPECT_FLOAT_EQ(v, -20.0f);
  EXPECT_STREQ(unit, "dB");
  EXPECT_EQ(extFloat(&v, unit, sizeof unit, "1-0"), 0);  // inner "-" skipped
  EXPECT_FLOAT_EQ(v, 10.0f);
  EXPECT_EQ(extFloat(&v, unit, sizeof unit, "3Kabcdefg"), 0);  // at most 5 unit characters
  EXPECT_STREQ(unit, "Kabcd");
  EXPECT_EQ(extFloat(&v, unit, 3, "3Kabc"), 0);  // and within the buffer
  EXPECT_STREQ(unit, "Ka");
  EXPECT_EQ(extFloat(&v, unit, sizeof unit, std::string(19, '9').c_str()), 0);
  // Exponents: "e" or "E", a sign or none, digits; without digits the "e"
  // starts the unit.
  EXPECT_EQ(extFloat(&v, unit, sizeof unit, "4.998779e+05"), 0);
  EXPECT_FLOAT_EQ(v, 499877.9f);
  EXPECT_STREQ(unit, "");
  EXPECT_EQ(extFloat(&v, unit, sizeof unit, "-2.5E-1dB"), 0);
  EXPECT_FLOAT_EQ(v, -0.25f);
  EXPECT_STREQ(unit, "dB");
  EXPECT_EQ(extFloat(&v, unit, sizeof unit, "1e3K"), 0);
  EXPECT_FLOAT_EQ(v, 1000.0f);
  EXPECT_STREQ(unit, "K");
  EXPECT_EQ(extFloat(&v, unit, sizeof unit, "5e+V"), 0);
  EXPECT_FLOAT_EQ(v, 5.0f);
  EXPECT_STREQ(unit, "e+V");
  for (const char* bad : {"", "abc", ".5", "-", "-.", "1.2.3", "K1", "1e99", "1.000000000000000e+05"})
    EXPECT_EQ(extFloat(&v, unit, sizeof unit, bad), -1) << bad;
  EXPECT_EQ(extFloat(&v, unit, sizeof unit, std::string(20, '9').c_str()), -1);
  EXPECT_EQ(extFloat(&v, unit, sizeof unit, nullptr), -1);
}

TEST(MathScpiText, MarkDataLines) {
  const MathMarkPoint marks[] = {{100, 152.0f}, {350, 127.0f}};
  // Start 976.5625 Hz, 100 Hz a column, position 127, 1 V/div (0.04 V a code).
  EXPECT_EQ(MathFftMarkText(marks, 2, 976.5625, 100, 127, 0.04),
            "FFT\nID,Freq,Amp\n1,1.097656e+04,1.000000e+00,\n2,3.597656e+04,0.000000e+00,\n");
}
}  // namespace

namespace {
// The detector keywords write the Detection page's items and the enhanced
// pages show the same choice: the average offers its depth while on, a
// held trace's detector is the Max Hold / Min Hold choice and its on item.
TEST_F(MathScpi, DetectorKeywordsReachBothPages) {
  Set("FUNC:MATH:MODE FFT");
  Set("FUNC:FFT:DETE:REALT SAMP");
  EXPECT_EQ(Item(kMathItemRealTime), 2);
  EXPECT_EQ(Item(80), 2);
  Set("FUNC:FFT:DETE:AVER NPEAK");
  EXPECT_EQ(Ask("FUNC:FFT:DETE:AVER?"), "NPEAK\r\n");
  EXPECT_EQ(Item(81), 2);
  EXPECT_FALSE(TaskMath.TaskMenu.ItemDisabled(kMathItemAverageSel));
  Set("FUNC:FFT:DETE:AVER:COUN 5");
  EXPECT_EQ(Item(75), 5);  // 32 frames
  Set("FUNC:FFT:DETE:MAXH AVER");
  EXPECT_EQ(Ask("FUNC:FFT:DETE:MAXH?"), "AVERage\r\n");
  EXPECT_EQ(Item(82), 4);
  EXPECT_EQ(Item(76), 1);
  Set("FUNC:FFT:DETE:MINH PPEAK");
  EXPECT_EQ(Item(83), 1);
  EXPECT_EQ(Item(77), 1);
  Set("FUNC:FFT:DETE:AVER OFF");
  EXPECT_EQ(Item(75), 0);
  EXPECT_TRUE(TaskMath.TaskMenu.ItemDisabled(kMathItemAverageSel));
  Set("FUNC:FFT:DETE:MINH OFF");
  EXPECT_EQ(Item(77), 0);
}
}  // namespace
