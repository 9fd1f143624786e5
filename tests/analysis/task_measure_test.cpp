// The measure module on the simulated board: its menu behind the MEASURE key,
// the sources and user slots chosen with the soft keys and the select knob
// and what they measure from the applied signal, their EEPROM bytes, the
// statistics, the voltmeter and its control word, the indicator lines, the
// histogram pages, the factory settings, the slots stored at start-up and
// the setup-file block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "analysis/measure/task_measure.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"
#include "tests/bench/eeprom_addresses.h"
#include "tests/bench/screen_text.h"

namespace {
enum : uint8_t { F1 = 49, F2, F3, F4, F5, kSelect = 72, kUp = 76, kDown = 77, kMeasure = 56 };
constexpr int kSlotWord[5] = {137, 139, 141, 143, 145};

int Item(int n) { return MenuValue(TaskMeasure, n); }
int Page() { return TaskMeasure.TaskMenu.GetCurrPage(); }
bool Processing() { return TaskManage.FindUserTaskProcess(kMeasureTaskId) == TASK_LISTED; }

struct MeasureModule : ::testing::Test {
  Bench bench;
  virtual void Stored(std::vector<uint8_t>&) {}
  void SetUp() override {
    std::vector<uint8_t> e = FormattedEeprom(6, 0);
    Stored(e);
    bench.SetEeprom(e);
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SysRunStatus.SetMemDepth(1);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 3;
    SysRunStatus.SetMenuDisplayTimeS(3);  // the menu stays up
    bench.Key(kMeasure);
    QelMsg.ClearMessage();
  }
  // Soft key, then the knob to `to` and the push (a list of more than two).
  void Choose(uint8_t fkey, int to) {
    const int from = Item((Page() * 5) + fkey - F1);
    bench.Key(fkey);
    for (int i = from; i < to; ++i) bench.Key(kDown);
    for (int i = to; i < from; ++i) bench.Key(kUp);
    bench.Key(kSelect);
  }
  // From page 0: CH2 as the slave source.
  void SlaveCh2() {
    bench.Key(kMeasure);
    Choose(F2, 1);
  }
  // Highlights parameter `para` in the user panel and pushes.
  void Pick(int para) {
    while (TaskMeasure.GetUserDefSelPos() != para) bench.Key(kDown);
    bench.Key(kSelect);
  }
  // One acquisition and a measurement pass once the interval has passed.
  void Measure() {
    bench.AdvanceMs(600);
    bench.Pass();  // the pass asks for fresh records
    WaveOp.RequestChData(3);
    ASSERT_TRUE(bench.Fpga().AcquireNow());
    bench.Pass();
    bench.AdvanceMs(600);
    bench.Pass();
  }
};

TEST_F(MeasureModule, KeyShowsPageZeroWithItsTexts) {
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kMeasureTaskId);
  EXPECT_EQ(Page(), 0);
  EXPECT_NE(TaskMeasure.TaskMenu.GetMenuItemTitle(kMeaMasterSrc), nullptr);
  EXPECT_EQ(TaskMeasure.TaskMenu.GetMenuItemMaxSel(kMeaIndicatorSel), kMeaParas);
  // The parameter texts of the same file.
  ASSERT_NE(MeasureParaInfo[kParaFreq].text, nullptr);
  EXPECT_EQ(MeasureParaInfo[kParaFreq].text[0], 'F');
  ASSERT_NE(Mea_UserDefTitle, nullptr);
  EXPECT_STREQ(StatInfo[5], "NUM");
  // Next: pages 1, 2, back to 0; the voltmeter page and back.
  bench.Key(F5);
  EXPECT_EQ(Page(), 1);
  bench.Key(F2);
  EXPECT_EQ(Page(), 3);
  bench.Key(F5);
  EXPECT_EQ(Page(), 1);
  bench.Key(F5);
  EXPECT_EQ(Page(), 2);
  bench.Key(F5);
  EXPECT_EQ(Page(), 0);
}

// The value field of the fourth soft key's item.
bool SlotFourShows(const Bench& b, const std::u16string& text) { return ShowsUnicode(b, text, 315, 676, 352, 799); }

TEST_F(MeasureModule, UserDefAndIndicatorSelShowTheirChoices) {
  EXPECT_TRUE(SlotFourShows(bench, u"OFF"));
  bench.Key(F4);  // the user panel
  EXPECT_TRUE(SlotFourShows(bench, u"ON"));
  EXPECT_FALSE(SlotFourShows(bench, u"OFF"));
  bench.Key(F4);
  bench.Key(F5);
  EXPECT_TRUE(SlotFourShows(bench, u"Max"));  // the parameter the lines show
  bench.Key(kUp);
  EXPECT_TRUE(SlotFourShows(bench, u"Min"));
  bench.Key(kDown);
  bench.Key(kDown);
  EXPECT_TRUE(SlotFourShows(bench, u"Pulse"));  // wrapped to the last
}

TEST_F(MeasureModule, SourcesReachTheEepromAndTheRunState) {
  Choose(F1, 1);
  EXPECT_EQ(Item(kMeaMasterSrc), 1);
  EXPECT_EQ(bench.EepromByte(ee::kMeaMasterSrc), 1);
  EXPECT_EQ(SysRunInfo.measureMasterSource, 1);
  Choose(F2, 2);
  EXPECT_EQ(bench.EepromByte(ee::kMeaSlaveSrc), 2);
}

// The user panel: the knob highlights a parameter, the push puts it into a
// slot for the menu's sources, and the pass measures it from the signal.
TEST_F(MeasureModule, UserSlotsMeasureTheAppliedSignal) {
  plat::TestSignal sq;
  sq.shape = plat::SignalShape::kSquare;
  sq.frequencyHz = 2000;
  sq.amplitudeV = 1.0;
  bench.Fpga().SetSignal(0, sq);
  bench.Key(F4);
  ASSERT_TRUE(TaskMeasure.IsUserDefOn());
  Pick(kParaFreq);
  EXPECT_EQ(TaskMeasure.GetUserSelPara(0), kParaFreq);
  EXPECT_EQ(bench.EepromWord(kSlotWord[0]), kParaFreq);  // CH1, CH1
  EXPECT_TRUE(Processing());
  Pick(kParaPkPk);
  EXPECT_EQ(TaskMeasure.GetSelBit(), 3);
  Measure();
  UserDefResult f = MeasureParaCalcu.GetMeasureResultUserDef(0);
  ASSERT_EQ(f.status, kMeaValid);
  EXPECT_NEAR(f.current, 2000, 20);  // 2 kHz at 500 us/div: 50 points a period, +-1
  UserDefResult v = MeasureParaCalcu.GetMeasureResultUserDef(1);
  EXPECT_NEAR(v.current, 2.0, 0.02);  // +-1 V

  // The same parameter again with the same sources empties its slot.
  Pick(kParaFreq);
  EXPECT_EQ(TaskMeasure.GetUserSelPara(0), -1);
  EXPECT_EQ(bench.EepromWord(kSlotWord[0]), 0xFFFF);
  EXPECT_EQ(TaskMeasure.GetSelBit(), 2);

  // With CH2 as master it is another slot; the word holds the sources.
  bench.Key(F4);  // panel off: the soft keys reach the source lists
  Choose(F1, 1);
  bench.Key(F4);
  Pick(kParaPkPk);
  EXPECT_EQ(TaskMeasure.GetSelBit(), 3);
  EXPECT_EQ(bench.EepromWord(kSlotWord[0]), kParaPkPk | 1 << 8);
  plat::TestSignal small;  // CH2: a 0.5 V sine
  small.amplitudeV = 0.5;
  bench.Fpga().SetSignal(1, small);
  Measure();
  EXPECT_NEAR(MeasureParaCalcu.GetMeasureResultUserDef(0).current, 1.0, 0.02);  // CH2's
  EXPECT_NEAR(MeasureParaCalcu.GetMeasureResultUserDef(1).current, 2.0, 0.02);  // CH1's
}

TEST_F(MeasureModule, SixthSelectionReplacesSlotsRoundRobin) {
  bench.Key(F4);
  for (int p : {0, 1, 2, 3, 4}) Pick(p);
  EXPECT_EQ(TaskMeasure.GetSelBit(), 0x1F);
  Pick(7);
  EXPECT_EQ(TaskMeasure.GetUserSelPara(0), 7);
  Pick(9);
  EXPECT_EQ(TaskMeasure.GetUserSelPara(1), 9);
  EXPECT_EQ(bench.EepromWord(kSlotWord[1]), 9);
  EXPECT_EQ(TaskMeasure.FindUserDef(9, 0), 1);
  EXPECT_EQ(TaskMeasure.FindUserDef(9, 1), -1);

  // Clear: every slot empty, message 44.
  bench.Key(F4);
  bench.Key(F5);
  bench.Key(F5);
  ASSERT_EQ(Page(), 2);
  bench.Key(F1);
  EXPECT_EQ(TaskMeasure.GetSelBit(), 0);
  for (int a : kSlotWord) EXPECT_EQ(bench.EepromWord(a), 0xFFFF);
  EXPECT_EQ(QelMsg.GetMessageID(), 44);
}

TEST_F(MeasureModule, StatisticsNeedSlotsAndCountPasses) {
  bench.Key(F5);
  bench.Key(F1);
  EXPECT_EQ(QelMsg.GetMessageID(), 76);
  EXPECT_FALSE(TaskMeasure.IsStatisticOn());
  bench.Key(F5);
  bench.Key(F5);
  ASSERT_EQ(Page(), 0);
  bench.Key(F4);
  Pick(kParaRms);
  bench.Key(F4);
  bench.Key(F5);
  Choose(F1, 1);
  EXPECT_TRUE(TaskMeasure.IsStatisticOn());
  EXPECT_FALSE(TaskMeasure.IsUserDefOn());
  for (int i = 0; i < 3; ++i) Measure();
  const UserDefResult u = MeasureParaCalcu.GetMeasureResultUserDef(0);
  EXPECT_GE(u.count, 3);
  EXPECT_NEAR(u.average, 1.0 / std::sqrt(2.0), 0.03);  // the 1 V sine
  EXPECT_LE(u.minimum, u.maximum);
}

// A record measured again (nothing acquired between two passes, as when
// stopped or at a slow time base) is not another sample.
TEST_F(MeasureModule, StatisticsCountAcquisitionsNotPasses) {
  bench.Key(F4);
  Pick(kParaRms);
  bench.Key(F4);
  bench.Key(F5);
  Choose(F1, 1);
  ASSERT_TRUE(TaskMeasure.IsStatisticOn());
  Measure();
  const int32_t first = MeasureParaCalcu.GetMeasureResultUserDef(0).count;
  ASSERT_GE(first, 1);
  for (int i = 0; i < 4; ++i) {
    bench.AdvanceMs(600);
    bench.Pass();
  }
  EXPECT_EQ(MeasureParaCalcu.GetMeasureResultUserDef(0).count, first);
  for (int i = 0; i < 3; ++i) Measure();
  EXPECT_EQ(MeasureParaCalcu.GetMeasureResultUserDef(0).count, first + 3);
}

TEST_F(MeasureModule, VoltmeterPageSendsItsSourceAndFollowsCoupling) {
  bench.Key(F5);
  bench.Key(F2);
  ASSERT_EQ(Page(), 3);
  bench.Key(F1);
  EXPECT_TRUE(TaskMeasure.IsDVMOn());
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & 0x10000);
  EXPECT_TRUE(Processing());
  bench.Key(F2);
  EXPECT_EQ(TaskMeasure.GetDVMSource(), 1);
  EXPECT_EQ(bench.Fpga().Word(74), 1);
  Choose(F3, 1);
  EXPECT_EQ(TaskMeasure.GetDVMMode(), 1);
  // AC coupling on the voltmeter's channel leaves only AC RMS.
  Vertical.SetChCoupling(1, 1);
  MeasureDVMModeSync();
  EXPECT_EQ(TaskMeasure.GetDVMMode(), 2);
  EXPECT_EQ(TaskMeasure.TaskMenu.GetItemParaAttribute(kMeaDvmMode), 3);
  Measure();
  FloatElement e{};
  EXPECT_EQ(MeasureParaCalcu.GetDVMResult(1, 2, &e), 0);
  bench.Key(F1);
  EXPECT_FALSE(TaskMeasure.IsDVMOn());
  EXPECT_FALSE(SysRunStatus.GetFuncBits() & 0x10000);
  EXPECT_FALSE(Processing());
}

TEST_F(MeasureModule, IndicatorAndAllParametersExcludeEachOther) {
  bench.Key(F3);  // all parameters
  EXPECT_TRUE(TaskMeasure.IsAllParaOn());
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & 0x8000);
  bench.Key(F5);
  bench.Key(F3);  // indicator lines
  EXPECT_TRUE(TaskMeasure.IsIndicatorOn());
  EXPECT_FALSE(TaskMeasure.IsAllParaOn());
  EXPECT_FALSE(SysRunStatus.GetFuncBits() & 0x8000);
  EXPECT_EQ(Item(kMeaAllPara), 0);
  bench.Key(kDown);
  bench.Key(kDown);
  EXPECT_EQ(Item(kMeaIndicatorSel), kMeaParas - 2);  // 77 steps back, wrapping
  EXPECT_EQ(bench.EepromByte(ee::kMeaIndicatorSel), kMeaParas - 2);
  bench.Key(kUp);
  EXPECT_EQ(Item(kMeaIndicatorSel), kMeaParas - 1);
  // With the pair shown, the pass measures the two-source parameters too.
  plat::TestSignal tri;
  tri.shape = plat::SignalShape::kTriangle;
  bench.Fpga().SetSignal(1, tri);
  SlaveCh2();
  Measure();
  float phase = 0;
  EXPECT_EQ(MeasureParaCalcu.GetMeasurePara(0, kParaPhase, &phase), 0);
  EXPECT_NEAR(std::fmod(phase + 720, 360), 90, 8);  // a quarter period late
}

TEST_F(MeasureModule, HistogramPagesAndArea) {
  bench.Key(F5);
  bench.Key(F5);
  bench.Key(F2);
  ASSERT_EQ(Page(), 4);
  Choose(F1, 1);  // vertical
  EXPECT_TRUE(TaskMeasure.IsHistogram());
  Measure();
  TaskManage.RunTaskDisplay();  // the display pass of the shown overlays
  const float* h = TaskMeasure.HistogramHeights();
  float most = 0;
  for (int i = 0; i < 700; ++i) most = std::max(most, h[i]);
  EXPECT_FLOAT_EQ(most, 1.0f);
  bench.Key(F5);  // Back does nothing
  EXPECT_EQ(Page(), 4);
  bench.Key(F3);
  ASSERT_EQ(Page(), 5);
  EXPECT_EQ(Item(kMeaHoriL), 10);
  bench.Key(kUp);
  EXPECT_EQ(Item(kMeaHoriL), 11);
  bench.Key(F2);  // the right limit takes the knob
  for (int i = 0; i < 10; ++i) bench.Key(kUp);
  EXPECT_EQ(Item(kMeaHoriR), 700);
  bench.Key(kUp);  // past the edge: just right of the left limit
  EXPECT_EQ(Item(kMeaHoriR), 12);
  EXPECT_EQ(Item(kMeaHoriL), 11);
  bench.Key(F3);
  for (int i = 0; i < 40; ++i) bench.Key(kUp);
  EXPECT_EQ(Item(kMeaVertT), 149);  // stays above the bottom limit
  bench.Key(F5);
  EXPECT_EQ(Page(), 4);
}

TEST_F(MeasureModule, DefaultWritesItsFactorySettings) {
  bench.Key(F4);
  Pick(kParaFreq);
  SlaveCh2();
  TaskMeasure.Default();
  EXPECT_EQ(bench.EepromByte(ee::kMeaMasterSrc), 0);
  EXPECT_EQ(bench.EepromByte(ee::kMeaSlaveSrc), 0);
  EXPECT_EQ(bench.EepromByte(ee::kMeaIndicatorSel), 0);
  EXPECT_EQ(bench.EepromByte(135), 1);
  EXPECT_EQ(bench.EepromByte(136), 1);
  for (int a : kSlotWord) EXPECT_EQ(bench.EepromWord(a), 0xFFFF);
  EXPECT_EQ(TaskMeasure.GetSelBit(), 0);
  EXPECT_EQ(TaskMeasure.GetFunBits(), 0u);
  EXPECT_FALSE(Processing());
}

// The setup block: its exact bytes, and a load that brings slots and menu back.
TEST_F(MeasureModule, SetupBlockRoundTrip) {
  bench.Key(F4);
  Pick(kParaFreq);
  Pick(kParaPhase);
  bench.Key(F4);
  std::vector<uint8_t> buf(4096, 0xAA);
  int32_t status = 0;
  const int used = RunSetupStorage(TaskMeasure, 0, &buf, int(buf.size()), 0, &status);
  ASSERT_EQ(status, 0);
  const int image = 6 * 40;
  EXPECT_EQ(used, 12 + image + 30);
  EXPECT_EQ(std::memcmp(buf.data(), "TASK-MEASURE\r\n", 14), 0);
  const uint8_t* p = buf.data() + 14 + image;
  EXPECT_EQ(std::memcmp(p, "\r\n", 2), 0);
  EXPECT_EQ(p[2], kParaFreq);
  EXPECT_EQ(p[3], 0);
  EXPECT_EQ(p[4], kParaPhase);
  EXPECT_EQ(p[6], 0xFF);  // empty slot: 0xFFFF
  EXPECT_EQ(p[7], 0xFF);
  EXPECT_EQ(p[12], 0);     // slot 0 sources CH1 | CH1 << 8
  EXPECT_EQ(p[22], 3);     // mask, 32-bit little-endian
  EXPECT_EQ(p[23], 0);
  EXPECT_EQ(std::memcmp(p + 26, "\r\n", 2), 0);

  TaskMeasure.Default();
  ASSERT_EQ(TaskMeasure.GetSelBit(), 0);
  RunSetupStorage(TaskMeasure, 1, &buf, used, 0, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(TaskMeasure.GetSelBit(), 3);
  EXPECT_EQ(TaskMeasure.GetUserSelPara(1), kParaPhase);
  EXPECT_TRUE(Processing());
  EXPECT_EQ(bench.EepromWord(kSlotWord[0]), 0xFFFF);  // memory only

  // A block cut short or naming no parameter changes nothing it cannot read.
  RunSetupStorage(TaskMeasure, 1, &buf, used - 10, 0, &status);
  EXPECT_EQ(status, -1);
  p = buf.data() + 14 + image + 2;
  buf[size_t(p - buf.data())] = 200;  // parameter 200
  RunSetupStorage(TaskMeasure, 1, &buf, used, 0, &status);
  EXPECT_EQ(TaskMeasure.GetUserSelPara(0), -1);
  EXPECT_EQ(TaskMeasure.GetSelBit(), 2);
}

// The pass runs every half second, and not before the next whole second
// after a position or offset key.
TEST_F(MeasureModule, PassIntervalAndHoldOff) {
  bench.Key(F4);
  Pick(kParaPkPk);
  Measure();
  auto pkpk = [] { return MeasureParaCalcu.GetMeasureResultUserDef(0).current; };
  EXPECT_NEAR(pkpk(), 2.0, 0.02);
  auto acquire = [&](double amplitude) {
    plat::TestSignal sine;
    sine.amplitudeV = amplitude;
    bench.Fpga().SetSignal(0, sine);
    WaveOp.RequestChData(3);
    ASSERT_TRUE(bench.Fpga().AcquireNow());
    bench.Pass();
  };
  acquire(0.5);
  EXPECT_NEAR(pkpk(), 2.0, 0.02);  // within the half second
  bench.AdvanceMs(600);
  bench.Pass();
  EXPECT_NEAR(pkpk(), 1.0, 0.02);

  plat::HoldVirtualClock(true);  // the hold-off counted on the test's time alone
  bench.AdvanceMs(1000 - plat::MonoUs() / 1000 % 1000 + 10);  // just past a whole second
  bench.Key(73);  // OFFSET push: statistics reset, the hold-off starts
  acquire(0.25);
  bench.AdvanceMs(600);
  bench.Pass();
  EXPECT_EQ(pkpk(), 0.0f);  // nothing measured since the reset
  bench.AdvanceMs(500);
  bench.Pass();
  EXPECT_NEAR(pkpk(), 0.5, 0.04);  // +-12.5 codes: a code each way
}

// Other modules reach the measure module through its task slots.
TEST_F(MeasureModule, AssistMenuKeyAndFunctionsOff) {
  taskresponse request{}, reply{};
  request.request = 3;
  request.words[0] = kMeaIndicator;
  request.words[1] = 1;
  EXPECT_EQ(TaskManage.RequestTaskAssist(kMeasureTaskId, &request, &reply), 0);
  EXPECT_TRUE(TaskMeasure.IsIndicatorOn());
  request.words[0] = kMeaMasterSrc;
  request.words[1] = 1;
  TaskManage.RequestTaskAssist(kMeasureTaskId, &request, &reply);
  EXPECT_EQ(SysRunInfo.measureMasterSource, 1);

  // The menu key first closes the all-parameters panel, the indicator
  // lines coming back.
  bench.Key(F3);
  ASSERT_TRUE(TaskMeasure.IsAllParaOn());
  taskresponse menuKey{};
  menuKey.key.key = 54;
  EXPECT_EQ(TaskMeasure.TaskBackgroundResponse(&menuKey, nullptr), 1);
  EXPECT_FALSE(TaskMeasure.IsAllParaOn());
  EXPECT_TRUE(TaskMeasure.IsIndicatorOn());
  EXPECT_EQ(TaskMeasure.TaskBackgroundResponse(&menuKey, nullptr), 0);

  // Functions off: every overlay hidden, and it says something was shown.
  EXPECT_EQ(TaskMeasure.FunctionOnOff(2), 1);
  EXPECT_FALSE(TaskMeasure.IsIndicatorOn());
  EXPECT_EQ(Item(kMeaIndicator), 0);
  EXPECT_EQ(TaskMeasure.FunctionOnOff(2), 0);
}

struct MeasureStored : MeasureModule {
  void Stored(std::vector<uint8_t>& e) override {
    auto word = [&](int a, uint16_t w) {
      e[size_t(a)] = uint8_t(w >> 8);
      e[size_t(a + 1)] = uint8_t(w);
    };
    word(kSlotWord[0], kParaRms | 1 << 8);            // RMS of CH2
    word(kSlotWord[1], kParaPhase | 0 << 8 | 1 << 12);  // phase CH1 against CH2
    word(kSlotWord[2], 40);                           // no such parameter
    word(kSlotWord[3], 3 | 3 << 8);                   // no such source
    e[ee::kMeaIndicatorSel] = 5;
  }
};

TEST_F(MeasureStored, StartUpTakesTheStoredSlots) {
  EXPECT_EQ(TaskMeasure.GetSelBit(), 3);
  EXPECT_EQ(TaskMeasure.GetUserSelSource(0), 1);
  EXPECT_EQ(TaskMeasure.GetUserSelSource(1), 0 | 1 << 8);
  EXPECT_EQ(TaskMeasure.GetUserSelPara(2), -1);
  EXPECT_EQ(TaskMeasure.GetUserSelPara(3), -1);
  EXPECT_EQ(Item(kMeaIndicatorSel), 5);
  EXPECT_TRUE(Processing());
  Measure();
  EXPECT_NEAR(MeasureParaCalcu.GetMeasureResultUserDef(0).current, 1.0 / std::sqrt(2.0), 0.03);
}

}  // namespace
