// Auto-set on the simulated board: the signals a user applies, and what the
// instrument then shows (channels, volts per division, positions, time base,
// trigger level and the traces the FPGA acquires), and the failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "acquisition/channel/task_ch1.h"
#include "acquisition/system_module/task_system.h"
#include "acquisition/tables/timebase_tables.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "core/board/control.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "platform/sim/fpga/sim_decode_trigger.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "system/autoset/auto_set.h"
#include "tests/bench/bench.h"

namespace {
using plat::SignalShape;
using plat::TestSignal;

TestSignal Sig(SignalShape shape, double hz, double amp, double duty = 0.5) {
  TestSignal s;
  s.shape = shape;
  s.frequencyHz = hz;
  s.amplitudeV = amp;
  s.duty = duty;
  return s;
}
TestSignal None() { return Sig(SignalShape::kDc, 0, 0); }

struct AutoSet_ : ::testing::Test {
  Bench b;
  SysAutoSet* autoset = nullptr;  // one on the system module's resources

  void SetUp() override {
    ASSERT_EQ(b.Start(), 0);
    b.StopThreads();
    b.Fpga().SetPacing(plat::SimAcquire::Pacing::kUnpaced);
    QelMsg.ClearMessage();
    static SysAutoSet own(&TaskSystem.Resource, &TaskSystem.TaskMenu);
    autoset = &own;
  }
  void Apply(const TestSignal& ch1, const TestSignal& ch2) {
    b.Fpga().SetSignal(plat::kSignalCh1, ch1);
    b.Fpga().SetSignal(plat::kSignalCh2, ch2);
  }
  // One acquisition at the settings auto-set left: each channel's peak codes.
  void Peaks(int* mx, int* mn) {
    mx[0] = mx[1] = mn[0] = mn[1] = 0;  // what a failed acquisition leaves
    QelControl.SysSample();
    ASSERT_TRUE(b.Fpga().AcquireNow());
    const int hi = b.Fpga().ReadReg(788), lo = b.Fpga().ReadReg(792);
    for (int ch = 0; ch < 2; ++ch) {
      mx[ch] = hi >> (8 * ch) & 0xFF;
      mn[ch] = lo >> (8 * ch) & 0xFF;
    }
  }
  static int TimeBaseIndex() { return SysRunInfo.horizontal[0].realTimeBase; }
  // Divisions a signal of `vpp` volts spans at the channel's V/div.
  static double Span(int ch, double vpp) { return vpp / Voltage[Vertical.GetRealYsensitivity(ch)]; }
};
}  // namespace

TEST(AutoSetTables, VoltsAndFrequencyBounds) {
  EXPECT_EQ(SysAutoSet::WhichVoltage(0.0009f), 3);
  EXPECT_EQ(SysAutoSet::WhichVoltage(0.0011f), 4);
  EXPECT_EQ(SysAutoSet::WhichVoltage(0.5f), 11);
  EXPECT_EQ(SysAutoSet::WhichVoltage(0.51f), 12);
  EXPECT_EQ(SysAutoSet::WhichVoltage(10.0f), 15);
  EXPECT_EQ(SysAutoSet::WhichVoltage(10.5f), 16);
  EXPECT_EQ(SysAutoSet::WhichTimeBase(20.0), 25);
  EXPECT_EQ(SysAutoSet::WhichTimeBase(20.9), 25);
  EXPECT_EQ(SysAutoSet::WhichTimeBase(21.0), 24);
  EXPECT_EQ(SysAutoSet::WhichTimeBase(1050.0), 20);
  EXPECT_EQ(SysAutoSet::WhichTimeBase(1051.0), 19);
  EXPECT_EQ(SysAutoSet::WhichTimeBase(50e6), 5);
  EXPECT_EQ(SysAutoSet::WhichTimeBase(50e6 + 1), 4);
  EXPECT_EQ(SysAutoSet::WhichTimeBase(-1.0), 24);
}

TEST_F(AutoSet_, SineOnCh1IsCentredSizedAndTriggeredAtMidLevel) {
  Apply(Sig(SignalShape::kSine, 1000, 1.0), None());
  b.Key(63);  // the AUTO key
  EXPECT_EQ(QelMsg.GetMessageID(), 57);
  EXPECT_EQ(Vertical.GetChOnOff(0), 1);
  EXPECT_EQ(Vertical.GetChOnOff(1), 0);
  EXPECT_EQ(Vertical.GetRealYposition(0), 127);
  // The largest 1-2-5 step that keeps 2 Vpp within seven divisions.
  EXPECT_LE(Span(0, 2.0), 7.0);
  EXPECT_GT(Span(0, 2.0), 7.0 / 2.5);
  EXPECT_EQ(TimeBaseIndex(), 20);  // 500 us/div: 7 ms across the fourteen divisions
  EXPECT_EQ(b.Fpga().Word(72), 0);  // back to the ordinary sweep

  const plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.source, 0);
  EXPECT_NEAR(t.levelCode, 0.0, 2.0);  // the signal's mid-level at the centre

  int mx[2], mn[2];
  Peaks(mx, mn);
  EXPECT_NEAR((mx[0] + mn[0]) / 2.0, 127, 2);
  EXPECT_NEAR((mx[0] - mn[0]) / 25.0, Span(0, 2.0), 0.2);
  EXPECT_EQ(b.Fpga().LastAcquisition().triggered, true);

  // The trace the screen shows: centred, its span, and a PNG of the screen.
  b.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  WaveOp.RequestChData(1);
  ASSERT_TRUE(b.Fpga().AcquireNow());
  b.Pass(3);
  const uint8_t* trace = WaveOp.GetSerrenMem(0);
  int top = 0, bottom = 255;
  for (int x = 0; x < 700; ++x) {
    if (trace[x]) top = std::max<int>(top, trace[x]);
    if (trace[700 + x]) bottom = std::min<int>(bottom, trace[700 + x]);
  }
  EXPECT_NEAR((top + bottom) / 2.0, 127, 2);
  EXPECT_NEAR((top - bottom) / 25.0, Span(0, 2.0), 0.2);
  int rising = 0;
  for (int x = 1; x < 700; ++x) rising += trace[700 + x - 1] < 127 && trace[700 + x] >= 127 && trace[x] > trace[x - 1];
  const double periods = TimeBaseS[TimeBaseIndex()] * 14 * 1000;
  EXPECT_NEAR(rising, periods, 1.0);
  EXPECT_NEAR(SysRunInfo.levelBlock[0].level[1].voltage, 0.0, 0.05);
  EXPECT_TRUE(b.WriteScreenPng(b.Root() + "/autoset_sine.png"));
}

TEST_F(AutoSet_, TwoSignalsGiveTheTwoChannelLayout) {
  Apply(Sig(SignalShape::kSine, 1000, 1.0), Sig(SignalShape::kSine, 5000, 0.2));
  ASSERT_EQ(autoset->RunAutoset(), 0);
  EXPECT_EQ(Vertical.GetChOnOff(0), 1);
  EXPECT_EQ(Vertical.GetChOnOff(1), 1);
  EXPECT_EQ(Vertical.GetRealYposition(0), 177);
  EXPECT_EQ(Vertical.GetRealYposition(1), 77);
  EXPECT_LE(Span(0, 2.0), 4.0);
  EXPECT_GT(Span(0, 2.0), 4.0 / 2.5);
  EXPECT_LE(Span(1, 0.4), 4.0);
  EXPECT_GT(Span(1, 0.4), 4.0 / 2.5);
  int mx[2], mn[2];
  Peaks(mx, mn);
  EXPECT_NEAR((mx[0] + mn[0]) / 2.0, 177, 2);
  EXPECT_NEAR((mx[1] + mn[1]) / 2.0, 77, 2);
  // Triggered on CH1 at its own mid-level, 50 codes above the centre.
  const plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.source, 0);
  EXPECT_NEAR(t.levelCode, 50.0, 3.0);
}

TEST_F(AutoSet_, NoSignalGivesMessage15AndTheRestoredInstrument) {
  Apply(None(), None());
  EXPECT_EQ(autoset->RunAutoset(), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 15);
  EXPECT_EQ(Vertical.GetChOnOff(0), 1);
  EXPECT_EQ(Vertical.GetChOnOff(1), 0);
  EXPECT_EQ(TimeBaseIndex(), 12);
  EXPECT_EQ(b.Fpga().Word(72), 0);
}

TEST_F(AutoSet_, ReadyTimeOutRestoresTheInstrument) {
  Apply(Sig(SignalShape::kSine, 1000, 1.0), None());
  b.Fpga().SetReg(804, 0);  // no acquisition ever finishes
  EXPECT_EQ(autoset->RunAutoset(), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 15);
  EXPECT_EQ(b.Fpga().Word(72), 0);
  EXPECT_EQ(TimeBaseIndex(), 12);
  EXPECT_EQ(Vertical.GetChOnOff(1), 0);
  b.Fpga().ClearReg(804);
}

TEST_F(AutoSet_, EachSignalEndsWithTheTimeBaseOfItsFrequency) {
  struct Case {
    TestSignal s;
    int timeBase;
  };
  const Case cases[] = {
      {Sig(SignalShape::kSine, 10e6, 0.5), 8},
      {Sig(SignalShape::kSquare, 50, 1.0), 23},
      {Sig(SignalShape::kPulse, 100e3, 1.0, 0.1), 14},
  };
  for (const Case& c : cases) {
    Apply(c.s, None());
    ASSERT_EQ(autoset->RunAutoset(), 0) << c.s.frequencyHz << " msg " << QelMsg.GetMessageID() << " f " << autoset->Frequency(0);
    EXPECT_EQ(TimeBaseIndex(), c.timeBase) << c.s.frequencyHz;
    EXPECT_NEAR(autoset->Frequency(0), c.s.frequencyHz, c.s.frequencyHz * 1e-3);
    EXPECT_EQ(Vertical.GetChOnOff(1), 0);
  }
}

TEST_F(AutoSet_, SignalOnCh2AloneMovesTheTriggerThere) {
  Apply(None(), Sig(SignalShape::kSine, 2000, 2.0));
  ASSERT_EQ(autoset->RunAutoset(), 0);
  EXPECT_EQ(Vertical.GetChOnOff(0), 0);
  EXPECT_EQ(Vertical.GetChOnOff(1), 1);
  EXPECT_EQ(SysRunInfo.trigSource, 1);
  EXPECT_EQ(plat::SimDecodedTrigger().source, 1);
  EXPECT_EQ(TimeBaseIndex(), 19);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 1);
}

TEST_F(AutoSet_, StartingStateClosesTheCurrentModulesChoiceList) {
  b.Key(kKeyCh1);
  b.Key(kKeyF1);  // the coupling list opens
  ASSERT_TRUE(TaskCh1.TaskMenu.MenuIsPop(nullptr));
  Apply(Sig(SignalShape::kSine, 1000, 1.0), None());
  EXPECT_EQ(autoset->RunAutoset(), 0);  // starts from the known state
  EXPECT_FALSE(TaskCh1.TaskMenu.MenuIsPop(nullptr));
  const uint64_t coupling = TaskCh1.TaskMenu.GetMenuItem(0);
  b.Key(kKeySelectPush);  // the push no longer takes a choice from a list
  EXPECT_EQ(TaskCh1.TaskMenu.GetMenuItem(0), coupling);
}
