// The trigger module through the front panel: the TRIGGER key, the type
// pages, the common settings and When pages, the keypad for times, what the
// simulated FPGA decodes from the words the settings send, the EEPROM bytes
// the items keep, and the setup block.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/eeprom_map.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "platform/sim/fpga/sim_decode_trigger.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"
#include "trigger/analog/task_trigger.h"

namespace {
enum : uint8_t { F1 = 49, F2, F3, F4, F5, kSelect = 72, kUp = 76, kDown = 77, kTriggerKey = 69 };
constexpr int kEeMode = 147, kEeCoupling = 148, kEeType = 149, kEeSource = 150, kEeSlope = 151;
constexpr int kEeStandard = 156, kEeSync = 157, kEeLine = 158;
// Keypad keys (their index on the pad).
constexpr int kPad4 = 6, kPad1 = 3, kPadMicro = 15, kPadNano = 16, kPadMax = 22;

struct Trigger : ::testing::Test {
  Bench bench;
  plat::SimFpga& fpga = plat::Fpga();

  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(6, 0, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    SysRunStatus.SetMenuDisplayTimeS(3);
    bench.Pass();
    bench.Key(kTriggerKey);
  }
  Menu& M() { return TaskTrigger.TaskMenu; }
  uint64_t Item(int n) { return M().GetMenuItem(n); }
  // A choice from an item's list: its soft key opens it, the knob moves the
  // highlight, the push takes it.
  void Choose(uint8_t fkey, int from, int to) {
    bench.Key(fkey);
    for (int i = from; i < to; ++i) bench.Key(kDown);
    for (int i = to; i < from; ++i) bench.Key(kUp);
    bench.Key(kSelect);
  }
  void ChooseType(int type) { Choose(F1, int(Item(kTiType)), type); }
  void Pad(int index) {
    ASSERT_TRUE(TaskTrigger.IsNumKeyboardEnable());
    for (int i = 0; i < 30 && TaskTrigger.Keypad().cursor < index; ++i) bench.Key(kDown);
    for (int i = 0; i < 30 && TaskTrigger.Keypad().cursor > index; ++i) bench.Key(kUp);
    bench.Key(kSelect);
  }
  plat::SimTriggerSettings Decoded() { return plat::SimDecodedTrigger(); }
  // One slow knob click: a step of 1.
  void Knob(uint8_t key) {
    bench.AdvanceMs(1100);
    bench.Key(key);
  }
};
}  // namespace

TEST_F(Trigger, TheTriggerKeyShowsTheEdgePageAndItsItemsReachTheBoard) {
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 10);
  EXPECT_EQ(M().GetCurrPage(), 0);
  Choose(F3, 0, 1);  // Slope falling
  EXPECT_EQ(bench.EepromByte(kEeSlope), 1);
  EXPECT_EQ(Decoded().type, 0);
  EXPECT_EQ(Decoded().slope, 1);
  Choose(F2, 0, 1);  // Source CH2
  EXPECT_EQ(bench.EepromByte(kEeSource), 1);
  EXPECT_EQ(Decoded().source, 1);
  EXPECT_EQ(SysRunInfo.trigSource, 1);
}

TEST_F(Trigger, TypeSelectionLinksEveryTypeItemAndShowsTheTypesPage) {
  const int pages[] = {0, 1, 3, 4, 6, 8, 10, 12, 13, 15, 17, 19};
  for (int t = 1; t < 12; ++t) {
    ChooseType(t);
    EXPECT_EQ(M().GetCurrPage(), pages[t]) << t;
    EXPECT_EQ(bench.EepromByte(kEeType), t);
    EXPECT_EQ(Decoded().type, t);
    for (int i = 0; i < kTrigTypes; ++i) EXPECT_EQ(Item(LinkageItem[i]), uint64_t(t));
  }
  // Every type but edge takes the coupling back to DC.
  EXPECT_EQ(Item(kTiCoupling), 0u);
  EXPECT_NE(TaskManage.FindUserTaskProcess(10), TASK_LISTED);
}

TEST_F(Trigger, CommonSetModeCouplingAndForce) {
  bench.Key(F5);  // CommonSet
  ASSERT_EQ(M().GetCurrPage(), 20);
  Choose(F1, 0, 1);  // Normal
  EXPECT_EQ(bench.EepromByte(kEeMode), 1);
  EXPECT_EQ(Decoded().sweep, 1);
  Choose(F2, 0, 1);  // AC coupling on the edge type
  EXPECT_EQ(bench.EepromByte(kEeCoupling), 1);
  EXPECT_EQ(Decoded().coupling, 1);
  fpga.ClearLog();
  bench.Key(F3);  // Force, in normal mode: word 222 pulses
  bool forced = false;
  for (auto& w : fpga.Log()) forced = forced || (w.first == 222 && w.second == 1);
  EXPECT_TRUE(forced);
  bench.Key(F5);  // Back to the edge page
  EXPECT_EQ(M().GetCurrPage(), 0);
}

TEST_F(Trigger, NonEdgeTypesSkipTheAcAndRejectCouplings) {
  bench.Key(F5);  // AC on the edge type ...
  Choose(F2, int(Item(kTiCoupling)), 1);
  ASSERT_EQ(Decoded().coupling, 1);
  bench.Key(F5);
  ChooseType(kTrigPulse);  // ... goes back to DC, on the board too
  EXPECT_EQ(Item(kTiCoupling), 0u);
  EXPECT_EQ(Decoded().coupling, 0);
  bench.Key(F5);  // Next
  bench.Key(F1);  // CommSet
  ASSERT_EQ(M().GetCurrPage(), 20);
  bench.Key(F2);  // opens the list
  bench.Key(F2);
  EXPECT_NE(Item(kTiCoupling), 1u);
  EXPECT_NE(Item(kTiCoupling), 2u);
  EXPECT_NE(Item(kTiCoupling), 3u);
}

TEST_F(Trigger, PulseWidthGreaterThanFourMicrosecondsOnTheKeypad) {
  ChooseType(kTrigPulse);
  bench.Key(F4);  // When
  ASSERT_EQ(M().GetCurrPage(), 21);
  EXPECT_TRUE(TaskTrigger.Attr(kTiLowLimit) & kTrigAttrNs);
  Choose(F1, int(Item(kTiWhen)), 0);  // ">": the lower limit has the knob
  EXPECT_TRUE(TaskTrigger.Attr(kTiUppLimit) & kTrigAttrOff);
  bench.Key(F2);  // opens the keypad
  ASSERT_TRUE(TaskTrigger.IsNumKeyboardEnable());
  Pad(kPad4);
  Pad(kPadMicro);
  EXPECT_FALSE(TaskTrigger.IsNumKeyboardEnable());
  EXPECT_EQ(Item(kTiLowLimit), 4000u);  // ns
  EXPECT_GE(Item(kTiUppLimit), 4000u);  // kept above the lower
  const plat::SimTriggerSettings d = Decoded();
  EXPECT_EQ(d.type, 1);
  EXPECT_EQ(d.when, 0);
  EXPECT_EQ(d.lowerUnits, 1000u);  // 4 us in 4 ns counts
  EXPECT_DOUBLE_EQ(d.lowerSeconds, 4e-6);
}

// The MENU key closes the open keypad and takes the utility module off the
// modules drawn over the waves.
TEST_F(Trigger, MenuKeyClosesTheKeypadAndTheUtilityOverlay) {
  ChooseType(kTrigPulse);
  bench.Key(F4);  // When
  Choose(F1, int(Item(kTiWhen)), 0);
  TaskManage.AddUserTaskDisplay(kTaskUtility, 1, 0);
  bench.Key(F2);  // opens the keypad
  ASSERT_TRUE(TaskTrigger.IsNumKeyboardEnable());
  bench.Key(kKeyMenuOnOff);
  EXPECT_FALSE(TaskTrigger.IsNumKeyboardEnable());
  EXPECT_EQ(TaskManage.FindUserTaskDisplay(kTaskUtility), TASK_NOT_LISTED);
}

TEST_F(Trigger, TimesAreClampedWithTheLimitMessage) {
  ChooseType(kTrigTimeOut);
  ASSERT_EQ(M().GetCurrPage(), 12);
  ASSERT_EQ(Item(kTiTimeOutTime), 2u);
  Knob(kDown);  // below 2: held with message 6
  EXPECT_EQ(Item(kTiTimeOutTime), 2u);
  EXPECT_EQ(QelMsg.GetMessageID(), kTrigMessageTimeLimit);
  bench.Key(F4);  // keypad: Max is 10 s, 2,500,000,000 counts of 4 ns
  Pad(kPadMax);
  EXPECT_EQ(Item(kTiTimeOutTime), 2500000000u);
  EXPECT_EQ(Decoded().lowerUnits, 2500000000u);
  // The pulse type counts nanoseconds: 10 s is 10,000,000,000 and reaches
  // the board as the same 10 s, not wrapped at 32 bits.
  ChooseType(kTrigPulse);
  bench.Key(F4);
  Choose(F1, int(Item(kTiWhen)), 1);  // "<": the upper limit
  bench.Key(F3);
  Pad(kPadMax);
  EXPECT_EQ(Item(kTiUppLimit), kTrigPulseTimeMax);
  EXPECT_DOUBLE_EQ(Decoded().upperSeconds, 10.0);
}

TEST_F(Trigger, LimitsStayOrdered) {
  ChooseType(kTrigSlope);
  bench.Key(F3);  // SlopeSet
  bench.Key(F3);  // When
  ASSERT_EQ(M().GetCurrPage(), 21);
  Choose(F1, int(Item(kTiWhen)), 2);  // inside: the knob on the upper limit
  EXPECT_FALSE(TaskTrigger.Attr(kTiLowLimit) & (kTrigAttrOff | kTrigAttrKnob));
  EXPECT_TRUE(TaskTrigger.Attr(kTiUppLimit) & kTrigAttrKnob);
  Knob(kDown);  // the upper limit down to 2: both limits at 2
  Knob(kDown);
  EXPECT_EQ(Item(kTiUppLimit), 2u);
  EXPECT_EQ(Item(kTiLowLimit), 2u);
  bench.Key(F2);  // the knob to the lower limit, which raises the upper with it
  for (int i = 0; i < 5; ++i) Knob(kUp);
  EXPECT_GT(Item(kTiLowLimit), 2u);
  EXPECT_EQ(Item(kTiUppLimit), Item(kTiLowLimit));
}

TEST_F(Trigger, VideoItemsAndTheirEepromBytes) {
  ChooseType(kTrigVideo);
  ASSERT_EQ(M().GetCurrPage(), 3);
  Choose(F4, int(Item(kTiVideoSync)), 3);  // Line Num
  EXPECT_EQ(bench.EepromByte(kEeSync), 3);
  EXPECT_FALSE(TaskTrigger.Attr(kTiVideoLine) & kTrigAttrOff);
  Knob(kUp);  // line 2 (from 1)
  EXPECT_EQ(bench.EepromWord(kEeLine), 2);
  Knob(kDown);
  Knob(kDown);  // below 1: the 625-line standard's last line
  EXPECT_EQ(Item(kTiVideoLine), 625u);
  bench.Key(F3);  // Standard 525 lines: 625 wraps to 1
  EXPECT_EQ(bench.EepromByte(kEeStandard), 1);
  EXPECT_EQ(Item(kTiVideoLine), 1u);
  const plat::SimTriggerSettings d = Decoded();
  EXPECT_EQ(d.type, 2);
  EXPECT_EQ(d.videoStandard, 1);
  EXPECT_EQ(d.videoSync, 3);
  EXPECT_EQ(d.videoLine, 1);
  // The video source skips AC line and the external input.
  bench.Key(F2);
  Knob(kDown);
  Knob(kDown);
  bench.Key(kSelect);
  EXPECT_LT(Item(kTiVideoSource), 2u);
}

// "Line Num" counts only for the line sync: switched off under the other
// syncs, the knob leaves it and the board's line as they were.
TEST_F(Trigger, TheLineNumberTakesNoKnobUnderAFieldSync) {
  ChooseType(kTrigVideo);
  Choose(F4, int(Item(kTiVideoSync)), 3);  // the line sync
  Knob(kUp);
  ASSERT_EQ(Item(kTiVideoLine), 2u);
  Choose(F4, 3, 2);  // the even field
  ASSERT_TRUE(TaskTrigger.Attr(kTiVideoLine) & kTrigAttrOff);
  for (uint8_t key : {kDown, kDown, kDown, kUp}) Knob(key);
  EXPECT_EQ(Item(kTiVideoLine), 2u);
  EXPECT_EQ(bench.EepromWord(kEeLine), 2);
  EXPECT_EQ(Decoded().videoSync, 2);
  EXPECT_EQ(Decoded().videoLine, 2);
}

TEST_F(Trigger, NthEdgeCountWrapsAndReachesTheBoard) {
  ChooseType(kTrigNthEdge);
  bench.Key(F5);  // Next
  ASSERT_EQ(M().GetCurrPage(), 18);
  EXPECT_EQ(Item(kTiNthCount), 1u);
  Knob(kUp);
  Knob(kUp);
  EXPECT_EQ(Item(kTiNthCount), 3u);
  EXPECT_EQ(Decoded().nthEdgeCount, 3);
  Knob(kDown);
  Knob(kDown);
  Knob(kDown);  // below 1: 65535
  EXPECT_EQ(Item(kTiNthCount), 65535u);
  Knob(kUp);
  EXPECT_EQ(Item(kTiNthCount), 1u);
  bench.Key(F1);  // keypad: 11
  Pad(kPad1);
  Pad(kPad1);
  Pad(kPadMicro);  // any unit ends the entry; the count is the number typed
  EXPECT_FALSE(TaskTrigger.IsNumKeyboardEnable());
}

TEST_F(Trigger, DelayAndSetupHoldSourcesTakeTheKnobFirst) {
  ChooseType(kTrigDelay);
  ASSERT_EQ(M().GetCurrPage(), 10);
  bench.Key(F4);  // Source2: only takes the knob
  EXPECT_EQ(Item(kTiDelaySource2), 0u);
  EXPECT_TRUE(TaskTrigger.Attr(kTiDelaySource2) & kTrigAttrKnob);
  EXPECT_FALSE(TaskTrigger.Attr(kTiDelaySource1) & kTrigAttrKnob);
  bench.Key(F4);  // now steps
  EXPECT_EQ(Item(kTiDelaySource2), 1u);
  EXPECT_EQ(SysRunInfo.trigSource, 1);  // the source with the knob
  EXPECT_EQ(Decoded().pairWords[2], 1);
}

TEST_F(Trigger, DurationAndPatternCodesFillTheirSourcesField) {
  ChooseType(kTrigDuration);
  Choose(F3, int(Item(kTiDurCode)), 1);  // CH1 code L
  EXPECT_EQ(TaskTrigger.GetDurationCode() & 0xF, 1u);
  EXPECT_EQ(SysRunStatus.GetTriggerSourceCode(0), 1);
  bench.Key(F2);  // CH2: the code item shows CH2's stored code
  EXPECT_EQ(Item(kTiDurSource), 1u);
  Choose(F3, int(Item(kTiDurCode)), 0);
  EXPECT_EQ(TaskTrigger.GetDurationCode() & 0xFF, 0x01u);
  EXPECT_EQ(Decoded().codeWords[1], 0);
}

TEST_F(Trigger, WithFunctionBitTwoNoTriggerWordsAreSent) {
  SysRunStatus.SetFuncBit(0x2);
  fpga.ClearLog();
  Choose(F3, 0, 1);
  EXPECT_EQ(SysRunInfo.slope, 1);
  for (auto& w : fpga.Log()) EXPECT_NE(w.first, 84);
  SysRunStatus.ClearFuncBit(0x2);
}

TEST_F(Trigger, SetupBlockRoundTripAndAShortBlockChangesNothing) {
  ChooseType(kTrigRunt);
  std::vector<uint8_t> file(20000);
  taskresponse r{};
  SetupFileRecord rec{0, 0, int32_t(file.size()), 0, file.data()};
  std::memcpy(r.area, &rec, sizeof rec);
  ASSERT_EQ(TaskTrigger.Stroage(&r), 0);
  std::memcpy(&rec, r.area, sizeof rec);
  EXPECT_EQ(std::memcmp(file.data(), "TASK-TRIGGER\r\n", 14), 0);
  const int used = rec.used;

  ChooseType(kTrigEdge);
  SetupFileRecord load{0, 1, used, 0, file.data()};
  std::memcpy(r.area, &load, sizeof load);
  ASSERT_EQ(TaskTrigger.Stroage(&r), 0);
  EXPECT_EQ(Item(kTiType), uint64_t(kTrigRunt));
  EXPECT_EQ(Decoded().type, kTrigRunt);

  ChooseType(kTrigEdge);
  SetupFileRecord shortBlock{0, 1, 40, 0, file.data()};
  std::memcpy(r.area, &shortBlock, sizeof shortBlock);
  EXPECT_EQ(TaskTrigger.Stroage(&r), -1);
  EXPECT_EQ(Item(kTiType), uint64_t(kTrigEdge));
  SetupFileRecord none{0, 1, 100, 0, file.data() + 200};
  std::memcpy(r.area, &none, sizeof none);
  EXPECT_EQ(TaskTrigger.Stroage(&r), -1);

  // A type out of range in a loaded image falls back to edge.
  file[14] = 99;
  std::memcpy(r.area, &load, sizeof load);
  ASSERT_EQ(TaskTrigger.Stroage(&r), 0);
  EXPECT_EQ(TaskTrigger.Type(), kTrigEdge);
}

// ---- triggering on the simulated board ----

namespace {
// Pulses of 1, 2, 5 and 10 us, 5 us apart, from each 1 ms period start
// (rising at 0, 6, 13, 23 us; falling at 1, 8, 18, 33 us), -1 V to +1 V.
plat::TestSignal Train() {
  plat::TestSignal s;
  s.shape = plat::SignalShape::kTrain;
  s.frequencyHz = 1000;
  s.pulses = 4;
  s.widths[0] = 1e-6, s.widths[1] = 2e-6, s.widths[2] = 5e-6, s.widths[3] = 10e-6;
  s.gapS = 5e-6;
  return s;
}

struct Triggering : Trigger {
  static constexpr int kV500mV = 11;  // 25 codes a division: 50 codes a volt
  void DelayToCh2();
  void SetUp() override {
    Trigger::SetUp();
    fpga.SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    plat::HoldVirtualClock(true);  // each search starts where the test puts the signals
    fpga.SetSignal(plat::kSignalCh1, Train());
    View(kTimeBase5us);
    // The When selector lives in the menu image only (not in the EEPROM):
    // every test starts from "greater than".
    TaskTrigger.SetItem(kTiWhen, 0);
    TaskTrigger.SetItem(kTiMode, 0);  // auto, DC: what earlier tests chose stays in the menu
    TaskTrigger.SetItem(kTiCoupling, 0);
    TaskTrigger.TriggerSetParaRefresh();
    fpga.AcquireNow();  // uses up a force an earlier test left pending on the board
    // CH1's levels inside the train's swing: -0.2 V and 0 V.
    Levels(0, -10, 0);
    ::Trigger.AdjTriggerPosition(0);
  }
  static constexpr int kTimeBase2us = 13, kTimeBase5us = 14, kTimeBase20us = 16, kTimeBase100us = 18;
  // The time base; both channels at 500 mV/div with their zero lines at the
  // screen centre.
  void View(int timeBase) {
    TimeBase.SetRealTimeBase(0, timeBase);
    TimeBase.AdjTimeBase(0, 0);
    for (int ch = 0; ch < 2; ++ch) {
      Vertical.SetRealYsensitivity(ch, kV500mV);
      Vertical.AdjYsensitivity(ch, 0);
      Vertical.SetRealYposition(ch, 127);
      Vertical.AdjYPosition(ch, 0);
    }
    Vertical.YParaSyncRefresh();
    TimeBase.XParaSyncRefresh(0);
  }
  // A channel's two level codes (from the centre: 50 codes a volt).
  void Levels(int ch, int first, int second) {
    ::Trigger.SetTriggerPos(ch, 0, first);
    ::Trigger.SetTriggerPos(ch, 1, second);
  }
  // Seconds from CH1's period start to the trigger point of the last
  // acquisition (the trigger sample lies less than a sample period after it).
  double TriggerTime() {
    const plat::SimAcquisition a = fpga.LastAcquisition();
    return a.phase[0] / a.sig[0].frequencyHz - a.lag * a.set.samplePeriodNs * 1e-9;
  }
  double SampleS() { return fpga.LastAcquisition().set.samplePeriodNs * 1e-9; }
  void Keypad(std::initializer_list<int> keys) {
    for (int k : keys) Pad(k);
  }
  // A time typed on the keypad: digits, then the unit ("300u").
  void Type(const std::string& text) {
    static const std::string kDigits = "0.123456789";
    for (char c : text) {
      if (c == 'u')
        Pad(kPadMicro);
      else if (c == 'n')
        Pad(kPadNano);
      else
        Pad(int(kDigits.find(c)) + 1);
    }
  }
  // A two-choice item: its soft key steps it.
  void Toggle(uint8_t fkey, int item, int value) {
    for (int i = 0; i < 2 && Item(item) != uint64_t(value); ++i) bench.Key(fkey);
    ASSERT_EQ(Item(item), uint64_t(value));
  }
  // One acquisition: triggered, at the time expected from CH1's period start.
  // An acquisition whose search starts half a millisecond into the signals'
  // periods: past every pulse of the trains, so the first event of a period is found.
  bool Acquire() {
    fpga.SetSignalTime(kQuietS);
    return fpga.AcquireNow();
  }
  static constexpr double kQuietS = 0.5e-3;
  void ExpectTriggerAt(double seconds, double tolerance = 1e-9) {
    ASSERT_TRUE(Acquire());
    EXPECT_TRUE(fpga.LastAcquisition().triggered);
    EXPECT_NEAR(TriggerTime(), seconds, tolerance);
  }
  // Normal sweep, set on the edge page's common settings.
  void SweepNormal() {
    ChooseType(kTrigEdge);
    bench.Key(F5);  // CommonSet
    Choose(F1, int(Item(kTiMode)), 1);
    bench.Key(F5);  // Back
  }
  void ExpectNoAcquisition() {
    const uint64_t count = fpga.LastAcquisition().serial;
    EXPECT_FALSE(Acquire());
    EXPECT_EQ(fpga.LastAcquisition().serial, count);
  }
  void Png(const char* name) {
    bench.Pass();
    EXPECT_TRUE(bench.WriteScreenPng(std::string(SCOPE_BINARY_DIR) + "/trigger-" + name + ".png"));
  }
};
constexpr int kPad0 = 1, kPad2 = 4;
}  // namespace

TEST_F(Triggering, PulseWiderThanFourMicrosecondsTriggersOnTheFiveMicrosecondPulse) {
  ChooseType(kTrigPulse);
  Toggle(F3, kTiPulsePolarity, 1);  // positive pulses
  bench.Key(F4);                    // When ">" 4 us
  Choose(F1, int(Item(kTiWhen)), 0);
  bench.Key(F2);
  Keypad({kPad4, kPadMicro});
  ASSERT_EQ(Decoded().lowerUnits, 1000u);
  ASSERT_TRUE(Acquire());
  EXPECT_TRUE(fpga.LastAcquisition().triggered);
  EXPECT_NEAR(TriggerTime(), 18e-6, 1e-9);  // the 5 us pulse's end
  Png("pulse");

  // Normal mode with a condition nothing meets: no acquisition.
  bench.Key(F5);  // Back
  bench.Key(F5);  // Next
  bench.Key(F1);  // CommSet
  Choose(F1, 0, 1);
  ASSERT_EQ(Decoded().sweep, 1);
  bench.Key(F5);  // Back to the second pulse page
  bench.Key(F5);  // Back to the first
  bench.Key(F4);  // When: wider than 20 us
  bench.Key(F2);
  Keypad({kPad2, kPad0, kPadMicro});
  ASSERT_EQ(Item(kTiLowLimit), 20000u);
  const uint64_t count = fpga.LastAcquisition().serial;
  EXPECT_FALSE(Acquire());
  EXPECT_EQ(fpga.LastAcquisition().serial, count);
}

TEST_F(Triggering, NthEdgeThreeAfterIdleTriggersOnTheThirdEdge) {
  ChooseType(kTrigNthEdge);
  bench.Key(F4);  // IdleTime: 100 us
  Keypad({kPad1, kPad0, kPad0, kPadMicro});
  ASSERT_EQ(Item(kTiNthIdle), 25000u);  // 4 ns counts
  bench.Key(F5);                        // Next: Edge Num 3
  Knob(kUp);
  Knob(kUp);
  ASSERT_EQ(Decoded().nthEdgeCount, 3);
  ASSERT_TRUE(Acquire());
  EXPECT_TRUE(fpga.LastAcquisition().triggered);
  EXPECT_NEAR(TriggerTime(), 13e-6, 1e-9);
  Png("nth-edge");
}

TEST_F(Triggering, TimeOutTriggersTheSetTimeAfterTheLastEdge) {
  ChooseType(kTrigTimeOut);
  Choose(F3, 0, 1);  // low for longer than the time
  bench.Key(F4);     // 100 us
  Keypad({kPad1, kPad0, kPad0, kPadMicro});
  ASSERT_NEAR(Decoded().lowerSeconds, 100e-6, 1e-12);
  ASSERT_TRUE(Acquire());
  EXPECT_TRUE(fpga.LastAcquisition().triggered);
  EXPECT_NEAR(TriggerTime(), 133e-6, 1e-9);  // 100 us after the last falling edge
  Png("time-out");
}

namespace {
// Pulses of 2 us, 5 us apart (rising at 0, 5 and 10 us), the middle one half
// as high: it reaches 0 V.
plat::TestSignal WithRunt() {
  plat::TestSignal s = Train();
  s.pulses = 3;
  s.widths[0] = s.widths[1] = s.widths[2] = 2e-6;
  s.heights[1] = 0.5;
  s.gapS = 3e-6;
  return s;
}
}  // namespace

TEST_F(Triggering, EdgeTriggersWhereTheSineCrossesTheLevel) {
  plat::TestSignal sine;  // 1 kHz, 1 V: 0.5 V rising at 1/12 of the period
  fpga.SetSignal(plat::kSignalCh1, sine);
  View(kTimeBase100us);
  Levels(0, 0, 25);  // the level in force: 0.5 V
  ::Trigger.AdjTriggerPosition(0);
  ASSERT_EQ(Decoded().type, kTrigEdge);
  ExpectTriggerAt(1e-3 / 12, 1e-8);
  Choose(F3, int(Item(kTiEdgeSlope)), 1);  // falling: at 5/12
  ExpectTriggerAt(5e-3 / 12, 1e-8);
  Png("edge");
}

TEST_F(Triggering, VideoTriggersOnTheChosenLine) {
  plat::TestSignal video;  // 625 lines of 64 us, 25 frames a second
  video.shape = plat::SignalShape::kVideo;
  video.frequencyHz = 25;
  video.amplitudeV = 0.5;
  fpga.SetSignal(plat::kSignalCh1, video);
  View(kTimeBase20us);
  SweepNormal();
  ChooseType(kTrigVideo);
  Choose(F4, int(Item(kTiVideoSync)), 3);  // the line number
  for (int i = int(Item(kTiVideoLine)); i < 10; ++i) Knob(kUp);
  ASSERT_EQ(Item(kTiVideoLine), 10u);
  EXPECT_EQ(bench.EepromWord(kEeLine), 10);
  const plat::SimTriggerSettings d = Decoded();
  EXPECT_EQ(d.type, kTrigVideo);
  EXPECT_EQ(d.videoSync, 3);
  EXPECT_EQ(d.videoLine, 10);
  ExpectTriggerAt(9 * 64e-6);  // line 10 starts nine lines into the frame
  Png("video");
  Toggle(F3, kTiVideoStandard, 1);  // 525 lines: this signal has none
  ExpectNoAcquisition();
}

TEST_F(Triggering, SlopeFasterThanTheLimitTriggersAtTheSecondLevel) {
  plat::TestSignal triangle;  // 1 kHz, 1 V: -0.5 V to 0.5 V in 250 us, at 125 and 375 us
  triangle.shape = plat::SignalShape::kTriangle;
  fpga.SetSignal(plat::kSignalCh1, triangle);
  View(kTimeBase100us);
  SweepNormal();
  ChooseType(kTrigSlope);
  Levels(0, -25, 25);
  bench.Key(F3);  // SlopeSet
  ASSERT_EQ(M().GetCurrPage(), 5);
  bench.Key(F3);  // When: faster than 300 us
  Choose(F1, int(Item(kTiWhen)), 1);
  bench.Key(F3);
  Type("300u");
  ASSERT_EQ(Item(kTiUppLimit), 75000u);  // 4 ns counts
  const plat::SimTriggerSettings d = Decoded();
  EXPECT_EQ(d.type, kTrigSlope);
  EXPECT_EQ(d.when, 1);
  EXPECT_EQ(d.upperUnits, 75000u);
  ExpectTriggerAt(375e-6);
  Png("slope");
  bench.Key(F3);  // faster than 200 us: no edge is
  Type("200u");
  ExpectNoAcquisition();
}

TEST_F(Triggering, RuntTriggersWhereTheLowPulseFallsBack) {
  fpga.SetSignal(plat::kSignalCh1, WithRunt());
  View(kTimeBase2us);
  SweepNormal();
  ChooseType(kTrigRunt);
  Levels(0, -25, 25);              // -0.5 V and 0.5 V: the middle pulse reaches 0 V only
  Toggle(F3, kTiRuntPolarity, 1);  // positive runts
  ASSERT_EQ(Decoded().type, kTrigRunt);
  EXPECT_EQ(Decoded().slope, 1);
  ExpectTriggerAt(7e-6);
  Png("runt");
  plat::TestSignal whole = WithRunt();
  whole.heights[1] = 0;
  fpga.SetSignal(plat::kSignalCh1, whole);
  ExpectNoAcquisition();
}

TEST_F(Triggering, WindowTriggersOnAStayInsideTheLevels) {
  fpga.SetSignal(plat::kSignalCh1, WithRunt());
  View(kTimeBase2us);
  ChooseType(kTrigWindow);
  Levels(0, -25, 25);
  Choose(F4, int(Item(kTiWinPosition)), 1);  // exit through the top: the first rise
  EXPECT_EQ(Decoded().when, 1);
  ExpectTriggerAt(0);
  Choose(F4, int(Item(kTiWinPosition)), 2);  // inside for 1 us: only the runt stays
  bench.Key(F5);                             // Next
  bench.Key(F2);                             // Setting
  Type("1u");
  ASSERT_EQ(Item(kTiWinTime), 250u);
  EXPECT_EQ(Decoded().lowerUnits, 250u);
  ExpectTriggerAt(6e-6);
  Png("window");
}

namespace {
// CH2: high for the first 15 us of each millisecond, in step with CH1's
// train (high 0-1, 6-8, 13-18, 23-33 us).
plat::TestSignal Gate() {
  plat::TestSignal s;
  s.shape = plat::SignalShape::kPulse;
  s.duty = 0.015;
  return s;
}
}  // namespace

// A delay trigger armed on CH1 with its second source CH2, which rises 10 us
// after each CH1 period start; NORMal sweep.
void Triggering::DelayToCh2() {
  plat::TestSignal late = Gate();
  late.phase = -0.01;
  fpga.SetSignal(plat::kSignalCh2, late);
  SysRunInfo.sourceOn = 3;
  Levels(1, -10, 10);
  SweepNormal();
  ChooseType(kTrigDelay);
  bench.Key(F4);  // Source2: the knob first, then CH2
  bench.Key(F4);
}

TEST_F(Triggering, DelayFromCh1ToCh2) {
  DelayToCh2();
  ASSERT_EQ(Item(kTiDelaySource2), 1u);
  bench.Key(F5);  // Next: When, longer than 5 us
  bench.Key(F2);
  Choose(F1, int(Item(kTiWhen)), 0);
  bench.Key(F2);
  Type("5u");
  const plat::SimTriggerSettings d = Decoded();
  EXPECT_EQ(d.type, kTrigDelay);
  EXPECT_EQ(d.pairWords[0], 0);
  EXPECT_EQ(d.pairWords[2], 1);
  EXPECT_EQ(d.lowerUnits, 1250u);
  ExpectTriggerAt(10e-6);
  Png("delay");
  Choose(F1, int(Item(kTiWhen)), 1);  // shorter than 3 us: CH2 follows 4 us after at the least
  bench.Key(F3);
  Type("3u");
  ExpectNoAcquisition();
}

// RUN sets each block's trigger source for the moment and puts the saved
// source back; a delay whose knob is on its arm source still triggers on its
// second source afterwards, and so after a position change on the arm channel.
TEST_F(Triggering, DelayKeepsItsSecondSourceAfterRunAndAPositionStep) {
  DelayToCh2();
  bench.Key(F2);  // the knob back on Source1, still CH1
  ASSERT_EQ(Item(kTiDelaySource1), 0u);
  ASSERT_EQ(Item(kTiDelaySource2), 1u);
  ASSERT_EQ(SysRunInfo.trigSource, 0);
  bench.Key(F5);  // Next: When, longer than 5 us
  bench.Key(F2);
  Choose(F1, int(Item(kTiWhen)), 0);
  bench.Key(F2);
  Type("5u");
  ExpectTriggerAt(10e-6);
  // CH1's own rises are 6 us apart: measured against itself the delay
  // would trigger 6 us in.
  for (int i = 0; i < 2; ++i) bench.Key(kKeyRunStop);
  ASSERT_NE(SysRunStatus.GetAcquireStatus(0), kAcqStopped);
  EXPECT_EQ(Decoded().source, 1);
  ExpectTriggerAt(10e-6);
  Vertical.AdjYPosition(0, 1);
  EXPECT_EQ(Decoded().source, 1);
  ExpectTriggerAt(10e-6);
}

TEST_F(Triggering, DurationOfCh1HighWithCh2Low) {
  fpga.SetSignal(plat::kSignalCh2, Gate());
  SysRunInfo.sourceOn = 3;
  Levels(1, -10, 0);
  ChooseType(kTrigDuration);
  Choose(F3, int(Item(kTiDurCode)), 0);  // CH1 high
  bench.Key(F2);                         // CH2 low
  Choose(F3, int(Item(kTiDurCode)), 1);
  bench.Key(F4);  // When: longer than 4 us
  Choose(F1, int(Item(kTiWhen)), 0);
  bench.Key(F2);
  Type("4u");
  const plat::SimTriggerSettings d = Decoded();
  EXPECT_EQ(d.type, kTrigDuration);
  EXPECT_EQ(d.codeWords[0], 0);
  EXPECT_EQ(d.codeWords[1], 1);
  ExpectTriggerAt(33e-6);  // 23-33 us; 15-18 us is too short
  Png("duration");
}

TEST_F(Triggering, SetupViolationTriggersAtTheClockEdge) {
  plat::TestSignal clock;  // 100 kHz, rising 5, 15, 25 ... us after CH1's period start
  clock.shape = plat::SignalShape::kSquare;
  clock.frequencyHz = 100e3;
  clock.phase = 0.5;
  fpga.SetSignal(plat::kSignalCh2, clock);
  SysRunInfo.sourceOn = 3;
  Levels(1, -10, 0);
  ChooseType(kTrigSetupHold);
  Toggle(F3, kTiShCode, 1);  // data high
  bench.Key(F4);             // ClkSour: the knob first, then CH2
  bench.Key(F4);
  ASSERT_EQ(Item(kTiShClock), 1u);
  bench.Key(F5);  // Next: setup, 3 us
  Choose(F2, int(Item(kTiShSel)), 0);
  bench.Key(F3);
  Type("3u");
  const plat::SimTriggerSettings d = Decoded();
  EXPECT_EQ(d.type, kTrigSetupHold);
  EXPECT_EQ(d.pairWords[0], 0);  // data CH1
  EXPECT_EQ(d.pairWords[1], 1);  // its code
  EXPECT_EQ(d.pairWords[2], 1);  // clock CH2
  EXPECT_EQ(d.lowerUnits, 750u);
  ExpectTriggerAt(15e-6);  // the data rose at 13 us
  Png("setup-hold");
}

TEST_F(Triggering, PatternTriggersWhenTheCodesStartToHold) {
  fpga.SetSignal(plat::kSignalCh2, Gate());
  SysRunInfo.sourceOn = 3;
  Levels(1, -10, 0);
  ChooseType(kTrigPattern);
  Choose(F3, int(Item(kTiPatCode)), 0);  // CH1 high
  bench.Key(F2);                         // CH2 low
  Choose(F3, int(Item(kTiPatCode)), 1);
  const plat::SimTriggerSettings d = Decoded();
  EXPECT_EQ(d.type, kTrigPattern);
  EXPECT_EQ(d.codeWords[0], 0);
  EXPECT_EQ(d.codeWords[1], 1);
  ExpectTriggerAt(15e-6);  // CH2 falls while CH1 is high
  Png("pattern");
  Choose(F3, int(Item(kTiPatCode)), 4);  // CH2 falling while CH1 is high: the same
  ExpectTriggerAt(15e-6);
}
