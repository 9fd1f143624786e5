// The channel modules through the front panel: the CH keys switching the
// channels on, active and off; each menu item reaching the vertical model,
// the simulated front end and the EEPROM; the custom probe ratio on the
// number keypad; the current probe; the label keyboard; setup blocks; the
// menu on the screen in the channel's colour.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "acquisition/channel/task_ch1.h"
#include "acquisition/channel/task_ch2.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/engine/wave.h"
#include "core/state/ids.h"
#include "acquisition/models/y_system.h"
#include "core/board/eeprom_map.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/sim/fpga/sim_decode_vertical.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"
#include "tests/bench/eeprom_addresses.h"
#include "ui/screen/qel_draw.h"

namespace {
const std::string g_startDir = [] {
  char buf[4096];
  return std::string(getcwd(buf, sizeof buf) ? buf : ".");
}();

enum : uint8_t {
  F1 = 49, F2, F3, F4, F5, kSelect = 72, kUp = 76, kDown = 77, kCh1Key = 64, kCh2Key = 65, kDisplayKey = 61
};
constexpr uint32_t kCh1Colour = 0x00CCCC, kCh2Colour = 0xFFCC00;

int Count(const std::vector<uint32_t>& s, int row, int col, int width, int height, uint32_t colour) {
  int n = 0;
  for (int r = row; r < row + height; ++r)
    for (int c = col; c < col + width; ++c)
      if ((s[size_t(r) * 800 + size_t(c)] & 0xFFFFFF) == colour) ++n;
  return n;
}

float F32(uint64_t raw) { return ItemParaF32(raw); }

struct Channel : ::testing::Test {
  Bench bench;
  plat::SimFpga& fpga = plat::Fpga();

  virtual std::vector<uint8_t> Image() {
    auto e = FormattedEeprom(6, 0, 0);
    e[EE_SOURCE_ON] = 1;  // CH1 on, CH2 off
    return e;
  }
  void SetUp() override {
    bench.SetEeprom(Image());
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    SysRunStatus.SetMenuDisplayTimeS(3);  // the menu stays up
    bench.Pass();
  }
  Menu& M1() { return TaskCh1.TaskMenu; }
  // Presses the keypad key `index` (its cursor moves there first).
  void Pad(const TaskForChannel& t, int index) {
    while (t.Keypad().cursor < index) bench.Key(kDown);
    while (t.Keypad().cursor > index) bench.Key(kUp);
    bench.Key(kSelect);
  }
  float Vdiv(int ch) { return Vertical.GetRealYDivVoltage(ch); }
  float Base(int ch) { return Voltage[Vertical.GetRealYsensitivity(ch)]; }
};

}  // namespace

// ---- the CH keys ----

TEST_F(Channel, TheChKeysSwitchTheChannelsOnMakeThemActiveAndOff) {
  ASSERT_EQ(SysRunStatus.GetChStatus() & 3, 1);
  ASSERT_EQ(TaskManage.GetTaskCurrId(), 6);

  bench.Key(kCh2Key);  // CH2 was off: on and active, its module current
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 3);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 1);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 7);
  EXPECT_EQ(fpga.Word(38), 3 * 4);
  EXPECT_EQ(fpga.Word(116), 1);
  EXPECT_EQ(bench.EepromByte(EE_SOURCE_ON), 3);
  EXPECT_EQ(bench.EepromByte(EE_ACTIVE_CH), 1);

  bench.Key(kCh1Key);  // CH1 is on but not active: made active, stays on
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 3);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 0);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 6);
  EXPECT_EQ(fpga.Word(116), 0);

  bench.Key(kCh1Key);  // its menu is showing: CH1 off, CH2 active and current
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 2);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 1);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 7);
  EXPECT_EQ(fpga.Word(38), 2 * 4);
  EXPECT_EQ(fpga.Word(116), 1);

  bench.Key(61);       // another module current:
  bench.Key(kCh2Key);  // the CH2 key only brings its menu back
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 2);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 7);
  EXPECT_EQ(M1().GetTaskCurrPage(7), 0);

  bench.Key(kCh2Key);  // the last channel off: none active
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 0);
  EXPECT_EQ(SysRunStatus.GetActivCh(), -1);
  EXPECT_EQ(fpga.Word(38), 0);
  EXPECT_EQ(bench.EepromByte(EE_SOURCE_ON), 0);
}

TEST_F(Channel, TheChKeyIsRefusedWhileRecordingAndInXYFormat) {
  SysRunStatus.SetFuncBit(0x100);
  bench.Key(kCh2Key);
  EXPECT_EQ(QelMsg.GetMessageID(), 22);
  EXPECT_EQ(SysRunStatus.GetChStatus() & 2, 0);
  SysRunStatus.ClearFuncBit(0x100);
  QelMsg.ClearMessage();

  SysRunInfo.displayFormat = 1;
  bench.Key(kCh1Key);  // CH1 active with its menu up: switching it off is refused
  EXPECT_EQ(QelMsg.GetMessageID(), 17);
  EXPECT_EQ(SysRunStatus.GetChStatus() & 1, 1);
}

// ---- the front-end items ----

TEST_F(Channel, FrontEndItemsReachTheDecodedChannelAndTheEeprom) {
  bench.Choose(F1, 0, 1);  // Coupling AC
  EXPECT_EQ(M1().GetMenuItem(0), 1u);
  EXPECT_EQ(bench.EepromByte(ee::kCh1Coupling), 1);
  EXPECT_EQ(SysRunInfo.vertical[0].coupling, 1);
  EXPECT_EQ(plat::SimDecodedChannel(0).coupling, 1);

  bench.Key(F1);  // the list opens at AC, the soft key steps on: GND
  bench.Key(F1);
  EXPECT_EQ(M1().GetMenuItem(0), 2u);
  EXPECT_EQ(plat::SimDecodedChannel(0).coupling, 2);
  EXPECT_TRUE(plat::SimDecodedChannel(0).ground);
  bench.Key(F1);  // and round to DC
  EXPECT_EQ(bench.EepromByte(ee::kCh1Coupling), 0);
  EXPECT_EQ(plat::SimDecodedChannel(0).coupling, 0);
  EXPECT_FALSE(plat::SimDecodedChannel(0).ground);
  bench.Key(kSelect);

  EXPECT_FALSE(plat::SimDecodedChannel(0).bwLimit);
  bench.Key(F2);  // BW Limit on
  EXPECT_EQ(bench.EepromByte(ee::kCh1BwLimit), 1);
  EXPECT_TRUE(plat::SimDecodedChannel(0).bwLimit);
  EXPECT_FALSE(plat::SimDecodedChannel(1).bwLimit);

  bench.Key(F3);  // Volts/Div fine
  EXPECT_EQ(bench.EepromByte(ee::kCh1VoltsDiv), 1);
  EXPECT_EQ(Vertical.GetFineOnOff(0), 1);

  bench.Key(F4);  // Invert
  EXPECT_EQ(bench.EepromByte(ee::kCh1Invert), 1);
  EXPECT_EQ(bench.EepromU32(ee::kCh1Custom), uint32_t(ItemParaFromF32(1.0f)));  // the loaded values persist
  EXPECT_TRUE(plat::SimDecodedChannel(0).inverted);
  EXPECT_EQ(fpga.Word(204), 1);
  bench.Key(F4);
  EXPECT_FALSE(plat::SimDecodedChannel(0).inverted);
}

TEST_F(Channel, TheVoltageProbeRescalesTheVoltsPerDivision) {
  const int index = Vertical.GetRealYsensitivity(0);
  ASSERT_FLOAT_EQ(Vdiv(0), Base(0));
  bench.Key(F5);  // Next: the voltage probe page
  ASSERT_EQ(M1().GetCurrPage(), 1);
  bench.Choose(F2, 3, 4);  // 10X
  EXPECT_EQ(bench.EepromByte(ee::kCh1Probe), 4);
  EXPECT_EQ(Vertical.GetYRealprobe(0), 4);
  EXPECT_EQ(Vertical.GetRealYsensitivity(0), index);  // the same hardware range
  EXPECT_FLOAT_EQ(Vdiv(0), 10 * Base(0));

  bench.Choose(F4, 0, 2);  // Unit W
  EXPECT_EQ(bench.EepromByte(ee::kCh1Unit), 2);
  EXPECT_EQ(Vertical.GetChUnit(0), 2);
  EXPECT_EQ(Vertical.GetYRealprobe(0), 4);
}

TEST_F(Channel, TheCustomRatioIsTypedOnTheKeypad) {
  bench.Key(F5);
  bench.Key(F3);  // Custom is disabled while the probe is not custom
  EXPECT_FALSE(TaskCh1.KeypadShown());
  bench.Choose(F2, 3, 7);  // Custom
  EXPECT_EQ(Vertical.GetYRealprobe(0), 7);
  EXPECT_FLOAT_EQ(Vdiv(0), Base(0));  // the stored ratio, 1.0

  bench.Key(F3);  // the keypad
  ASSERT_TRUE(TaskCh1.KeypadShown());
  EXPECT_EQ(QelDraw.GetNumKeyboardShowMsg().shown, 1);
  EXPECT_EQ(QelDraw.GetNumKeyboardShowMsg().owner, 6);
  Pad(TaskCh1, kNumOne + 1);  // "2"
  Pad(TaskCh1, kNumPoint);
  Pad(TaskCh1, kNumOne + 4);  // "5"
  EXPECT_STREQ(TaskCh1.Keypad().text, "2.5");
  Pad(TaskCh1, kNumEnter);
  EXPECT_FALSE(TaskCh1.KeypadShown());
  EXPECT_FLOAT_EQ(F32(M1().GetMenuItem(7)), 2.5f);
  EXPECT_EQ(bench.EepromU32(ee::kCh1Custom), uint32_t(ItemParaFromF32(2.5f)));
  EXPECT_FLOAT_EQ(Vertical.GetYRealProbeScale(0), 2.5f);
  EXPECT_FLOAT_EQ(Vdiv(0), 2.5f * Base(0));  // the ratio in force at once

  bench.Key(F3);  // 0 is clamped to 0.001
  Pad(TaskCh1, kNumZero);
  Pad(TaskCh1, kNumEnter);
  EXPECT_FLOAT_EQ(F32(M1().GetMenuItem(7)), 0.001f);
  bench.Key(F3);  // Max
  Pad(TaskCh1, kNumMax);
  EXPECT_FLOAT_EQ(F32(M1().GetMenuItem(7)), 1000.0f);
  bench.Key(kDown);  // without the keypad the knob steps by 0.001, clamped
  EXPECT_FLOAT_EQ(F32(M1().GetMenuItem(7)), 999.999f);
  bench.Key(kSelect);  // the push sets 1.0
  EXPECT_FLOAT_EQ(F32(M1().GetMenuItem(7)), 1.0f);
  EXPECT_FLOAT_EQ(Vdiv(0), Base(0));

  bench.Key(F3);
  ASSERT_TRUE(TaskCh1.KeypadShown());
  bench.Choose(F2, 7, 3);  // another probe closes the keypad and disables Custom
  EXPECT_FALSE(TaskCh1.KeypadShown());
  EXPECT_EQ(Vertical.GetYRealprobe(0), 3);
  bench.Key(F3);
  EXPECT_FALSE(TaskCh1.KeypadShown());
}

TEST_F(Channel, ATriggerOnTheChannelKeepsItsLevelCodeAcrossACustomRatio) {
  Trigger.SetTriggerSource(0);
  Trigger.SetTriggerVoltage(0, 0, 2.0);
  bench.Key(F5);  // the refresh places the level code for 2 V
  bench.Choose(F2, 3, 7);
  const int code = Trigger.GetTriggerPos(0, 0);
  ASSERT_NEAR(Trigger.GetTriggerVoltage(0, 0), 2.0, 1e-6);
  bench.Key(F3);
  Pad(TaskCh1, kNumOne + 1);  // 2.5
  Pad(TaskCh1, kNumPoint);
  Pad(TaskCh1, kNumOne + 4);
  Pad(TaskCh1, kNumEnter);
  ASSERT_FLOAT_EQ(Vertical.GetYRealProbeScale(0), 2.5f);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), code);  // the level stays on the trace
  EXPECT_NEAR(Trigger.GetTriggerVoltage(0, 0), 5.0, 1e-4);
}

TEST_F(Channel, TheCurrentProbeSetsUnitAAndItsRatio) {
  bench.Key(F5);
  bench.Key(F1);  // ProbeType: the current-probe page, 200X, unit A
  EXPECT_EQ(M1().GetCurrPage(), 5);
  EXPECT_EQ(bench.EepromByte(ee::kCh1ProbeType), 1);
  EXPECT_EQ(bench.EepromByte(ee::kCh1ProbeTypeA), 1);
  EXPECT_EQ(bench.EepromByte(ee::kCh1UnitA), 1);
  EXPECT_EQ(Vertical.GetChUnit(0), 1);
  EXPECT_EQ(Vertical.GetYRealprobe(0), 7);
  EXPECT_FLOAT_EQ(Vdiv(0), 200 * Base(0));

  bench.Choose(F2, 0, 3);  // 10X
  EXPECT_EQ(bench.EepromByte(ee::kCh1ProbeA), 3);
  EXPECT_FLOAT_EQ(Vertical.GetYRealProbeScale(0), 10.0f);
  EXPECT_FLOAT_EQ(Vdiv(0), 10 * Base(0));

  bench.Choose(F2, 3, 4);  // custom: 50 mV/A gives 20X
  bench.Key(F3);
  ASSERT_TRUE(TaskCh1.KeypadShown());
  Pad(TaskCh1, kNumOne + 4);
  Pad(TaskCh1, kNumZero);
  Pad(TaskCh1, kNumEnter);
  EXPECT_FLOAT_EQ(F32(M1().GetMenuItem(27)), 50.0f);
  EXPECT_FLOAT_EQ(Vertical.GetYRealProbeScale(0), 20.0f);
  EXPECT_FLOAT_EQ(Vdiv(0), 20 * Base(0));
  bench.Key(F3);  // 0 mV/A is clamped to 1
  Pad(TaskCh1, kNumZero);
  Pad(TaskCh1, kNumEnter);
  EXPECT_FLOAT_EQ(F32(M1().GetMenuItem(27)), 1.0f);

  bench.Key(F1);  // back to the voltage probe, unit V, probe 1X
  EXPECT_EQ(M1().GetCurrPage(), 1);
  EXPECT_EQ(Vertical.GetChUnit(0), 0);
  EXPECT_EQ(Vertical.GetYRealprobe(0), 3);
  EXPECT_FLOAT_EQ(Vdiv(0), Base(0));
  EXPECT_EQ(bench.EepromByte(EE_TASK_PAGE), 1);
}

TEST_F(Channel, TheSecondChannelsItemsAndPagesAreItsOwn) {
  bench.Key(kCh2Key);
  ASSERT_EQ(TaskManage.GetTaskCurrId(), 7);
  Menu& m2 = TaskCh2.TaskMenu;
  bench.Choose(F1, 0, 1);  // AC on CH2 only
  EXPECT_EQ(bench.EepromByte(ee::kCh2Coupling), 1);
  EXPECT_EQ(plat::SimDecodedChannel(1).coupling, 1);
  EXPECT_EQ(plat::SimDecodedChannel(0).coupling, 0);
  bench.Key(F4);
  EXPECT_EQ(bench.EepromByte(ee::kCh2Invert), 1);
  EXPECT_TRUE(plat::SimDecodedChannel(1).inverted);
  EXPECT_FALSE(plat::SimDecodedChannel(0).inverted);

  bench.Key(F5);
  bench.Key(F1);  // the current probe: page 2
  EXPECT_EQ(m2.GetCurrPage(), 2);
  EXPECT_EQ(bench.EepromByte(ee::kCh2ProbeType), 1);
  EXPECT_EQ(bench.EepromByte(ee::kCh2ProbeTypeA), 1);
  EXPECT_EQ(bench.EepromByte(ee::kCh2UnitA), 1);
  EXPECT_FLOAT_EQ(Vdiv(1), 200 * Base(1));
  EXPECT_EQ(Vertical.GetYRealprobe(0), 3);  // CH1 keeps its probe
  bench.Key(F5);  // Back
  EXPECT_EQ(m2.GetCurrPage(), 0);
  bench.Key(F5);  // the probe page of the current probe
  EXPECT_EQ(m2.GetCurrPage(), 2);
  bench.Key(F1);  // the voltage probe again, then the label page
  bench.Key(F5);
  EXPECT_EQ(m2.GetCurrPage(), 3);
  bench.Key(F1);
  EXPECT_EQ(bench.EepromByte(ee::kCh2LabelOn), 1);
  EXPECT_STREQ(Vertical.GetChLabelName(1), "CH2");
  EXPECT_EQ(bench.EepromByte(EE_CH2_LABEL + 2), '2');
}

// ---- the label ----

TEST_F(Channel, TheLabelComesFromTheLibraryOrTheKeyboard) {
  bench.Key(F5);
  bench.Key(F5);  // the label page
  ASSERT_EQ(M1().GetCurrPage(), 2);
  bench.Key(F1);  // on: library entry 0
  EXPECT_EQ(bench.EepromByte(ee::kCh1LabelOn), 1);
  EXPECT_STREQ(Vertical.GetChLabelName(0), "CH1");
  EXPECT_EQ(bench.EepromByte(EE_CH1_LABEL), 'C');
  bench.Key(F3);  // Edit is disabled for a library label
  EXPECT_FALSE(TaskCh1.KeyboardShown());
  bench.Choose(F2, 0, 4);
  EXPECT_STREQ(Vertical.GetChLabelName(0), "CLK");
  EXPECT_EQ(bench.EepromByte(ee::kCh1LabelLib), 4);

  bench.Choose(F2, 4, 12);  // Custom, then Edit: the keyboard page
  bench.Key(F3);
  ASSERT_TRUE(TaskCh1.KeyboardShown());
  EXPECT_EQ(M1().GetCurrPage(), 3);
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & 0x80000);
  bench.Key(F2);  // OK with nothing typed
  EXPECT_EQ(QelMsg.GetMessageID(), 119);
  for (int i = 0; i < 9; ++i) {  // "ABCDEFGH", the ninth refused; 76 moves on
    bench.Key(kSelect);
    bench.Key(kUp);
  }
  EXPECT_EQ(QelMsg.GetMessageID(), 74);
  EXPECT_STREQ(TaskCh1.CustomLabelName(), "ABCDEFGH");
  bench.Key(F1);  // Del
  EXPECT_STREQ(TaskCh1.CustomLabelName(), "ABCDEFG");
  while (TaskCh1.KeyboardSel() != 0) bench.Key(kDown);
  bench.Key(kDown);  // below the first key: the OK key
  EXPECT_EQ(TaskCh1.KeyboardSel(), 39);
  bench.Key(kSelect);
  EXPECT_FALSE(TaskCh1.KeyboardShown());
  EXPECT_EQ(M1().GetCurrPage(), 2);
  EXPECT_STREQ(Vertical.GetChLabelName(0), "ABCDEFG");
  EXPECT_EQ(bench.EepromByte(EE_CH1_LABEL + 6), 'G');
  EXPECT_FALSE(SysRunStatus.GetFuncBits() & 0x80000);

  bench.Key(F1);  // off: no label
  EXPECT_STREQ(Vertical.GetChLabelName(0), "");
  EXPECT_EQ(bench.EepromByte(EE_CH1_LABEL), 0);
}

TEST_F(Channel, ChoosingUnitAOnTheVoltageProbePagePutsTheCurrentProbesRatioInForce) {
  bench.Key(F5);
  bench.Choose(F2, 3, 7);  // a custom voltage ratio of 2.5 set last
  M1().SetMenuItem(7, ItemParaFromF32(2.5f));
  bench.Key(F3);
  Pad(TaskCh1, kNumOne + 1);
  Pad(TaskCh1, kNumPoint);
  Pad(TaskCh1, kNumOne + 4);
  Pad(TaskCh1, kNumEnter);
  ASSERT_FLOAT_EQ(Vertical.GetYRealProbeScale(0), 2.5f);
  bench.Choose(F2, 7, 4);  // back to 10X
  bench.Choose(F4, 0, 1);  // unit A: the current-probe page's 200X, not the 2.5 left over
  EXPECT_EQ(Vertical.GetChUnit(0), 1);
  EXPECT_EQ(Vertical.GetYRealprobe(0), 7);
  EXPECT_FLOAT_EQ(Vertical.GetYRealProbeScale(0), 200.0f);
  EXPECT_FLOAT_EQ(Vdiv(0), 200 * Base(0));
}

TEST_F(Channel, TheRunStateSyncKeepsTheVoltsPerDivisionAndTakesTheCoarseFineSwitch) {
  SysRunInfo.vertical[0].vdivIndex = 20;  // a range the knob chose
  const int index = 20;
  M1().SetMenuItem(2, 1);  // fine
  SysRunStatus.SysRunInfoSync(6);
  EXPECT_EQ(SysRunInfo.vertical[0].vdivIndex, index);
  EXPECT_EQ(SysRunInfo.vertical[0].vernierOn, 1);
  M1().SetMenuItem(2, 0);
  SysRunStatus.SysRunInfoSync(6);
  EXPECT_EQ(SysRunInfo.vertical[0].vdivIndex, index);
  EXPECT_EQ(SysRunInfo.vertical[0].vernierOn, 0);
}

// The changed pixels between two screens inside a box.
int Changed(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int row, int col, int w, int h) {
  int n = 0;
  for (int r = row; r < row + h; ++r)
    for (int c = col; c < col + w; ++c) n += a[size_t(r) * 800 + size_t(c)] != b[size_t(r) * 800 + size_t(c)];
  return n;
}

TEST_F(Channel, AnotherModulesKeyClosesTheKeypadAndTheLabelKeyboard) {
  for (int ch = 0; ch < 2; ++ch) {
    TaskForChannel& t = ch ? static_cast<TaskForChannel&>(TaskCh2) : static_cast<TaskForChannel&>(TaskCh1);
    bench.Key(ch ? kCh2Key : kCh1Key);
    if (ch == 0) bench.Key(kCh1Key);  // CH1 was current already: back on
    ASSERT_EQ(TaskManage.GetTaskCurrId(), 6 + ch);
    t.TaskMenu.SetCurrPage(0);
    bench.Key(F5);  // the probe page: the custom ratio's keypad
    bench.Choose(F2, 3, 7);
    const auto clean = bench.Screen();
    bench.Key(F3);
    ASSERT_TRUE(t.KeypadShown());
    ASSERT_GT(Changed(bench.Screen(), clean, 100, 230, 300, 180), 1000);
    bench.Key(kDisplayKey);  // DISPLAY takes over: the keypad goes
    EXPECT_FALSE(t.KeypadShown()) << ch;
    EXPECT_EQ(QelDraw.GetNumKeyboardShowMsg().shown, 0);
    EXPECT_LT(Changed(bench.Screen(), clean, 100, 230, 300, 180), 50) << ch;

    // The label keyboard: from the label page, Edit.
    bench.Key(ch ? kCh2Key : kCh1Key);
    t.TaskMenu.SetCurrPage(t.Layout().labelPage * 5);
    bench.Key(F1);  // label on
    bench.Choose(F2, 0, 12);  // Custom
    const auto noKeyboard = bench.Screen();
    bench.Key(F3);
    ASSERT_TRUE(t.KeyboardShown());
    ASSERT_TRUE(SysRunStatus.GetFuncBits() & 0x80000);
    ASSERT_GT(Changed(bench.Screen(), noKeyboard, 130, 90, 560, 150), 1000);
    bench.Key(kDisplayKey);
    EXPECT_FALSE(t.KeyboardShown()) << ch;
    EXPECT_FALSE(SysRunStatus.GetFuncBits() & 0x80000);
    EXPECT_LT(Changed(bench.Screen(), noKeyboard, 130, 90, 560, 150), 50) << ch;
    bench.Key(kUp);  // the knob now drives DISPLAY, not a hidden keyboard
    EXPECT_FALSE(t.KeyboardShown());
    EXPECT_EQ(t.KeyboardSel(), 0);
  }
}

TEST_F(Channel, TheLabelKeyboardDrawsAllFortyKeysAndStartsOnTheFirst) {
  bench.Key(F5);
  bench.Key(F5);
  bench.Key(F1);
  bench.Choose(F2, 0, 12);
  bench.Key(F3);
  ASSERT_TRUE(TaskCh1.KeyboardShown());
  EXPECT_EQ(TaskCh1.KeyboardSel(), 0);
  // Every key is a filled box 25 x 30 at its place: the last three (delete,
  // case, OK) included; each lights up under the cursor.
  for (int i = 0; i < 40; ++i) {
    const int row = 200 + 35 * (i / 20), col = 105 + 27 * (i % 20);
    const uint32_t colour = i == TaskCh1.KeyboardSel() ? 0x01F801u : 0x3C3C3Cu;
    EXPECT_EQ(bench.Pixel(row + 1, col + 1), colour) << i;
    EXPECT_EQ(bench.Pixel(row + 28, col + 23), colour) << i;
  }
  bench.Key(kDown);  // below the first key: OK
  ASSERT_EQ(TaskCh1.KeyboardSel(), 39);
  EXPECT_EQ(bench.Pixel(236, 105 + 27 * 19 + 1), 0x01F801u);
  bench.Key(F1);  // reopened: the cursor is on the first key again
  bench.Key(F5);
  bench.Key(F3);
  ASSERT_TRUE(TaskCh1.KeyboardShown());
  EXPECT_EQ(TaskCh1.KeyboardSel(), 0);
  EXPECT_EQ(bench.Pixel(201, 106), 0x01F801u);
}

TEST_F(Channel, ThePageIndicatorShowsThreePagesForEachChannel) {
  int current = -1, count = -1;
  for (int ch = 0; ch < 2; ++ch) {
    Menu& m = ch ? TaskCh2.TaskMenu : M1();
    const int probe = 1, current_probe = ch ? 2 : 5, label = ch ? 3 : 2, keyboard = ch ? 4 : 3;
    const int places[][2] = {{0, 0}, {probe, 1}, {current_probe, 1}, {label, 2}};
    for (const auto& p : places) {
      m.SetCurrPage(p[0] * 5);
      m.GetMenuPageIndicator(&current, &count);
      EXPECT_EQ(count, 3) << ch << " page " << p[0];
      EXPECT_EQ(current, p[1]) << ch << " page " << p[0];
    }
    m.SetCurrPage(keyboard * 5);
    m.GetMenuPageIndicator(&current, &count);
    EXPECT_EQ(count, 0);
    m.SetCurrPage(0);
  }
  // On screen: three dots centred under CH1's menu, the first lit.
  SysRunStatus.SetDrawRefresh();
  bench.Pass();
  short w = 0, h = 0;
  QelDraw.GetPictrueInfo(91, &w, &h);
  ASSERT_GT(w, 0);
  const auto s = bench.Screen();
  auto dot = [&](int col) {
    std::vector<uint32_t> v;
    for (int r = 435; r < 435 + h; ++r)
      for (int c = col; c < col + w; ++c) v.push_back(s[size_t(r) * 800 + size_t(c)]);
    return v;
  };
  const int first = 737 - (2 * 16 + w) / 2;
  EXPECT_NE(dot(first), dot(first + 16));  // the page shown, then the others
  EXPECT_EQ(dot(first + 16), dot(first + 32));
  EXPECT_NE(dot(first + 48), dot(first + 32));  // no fourth
}

// ---- setup blocks ----

TEST_F(Channel, ASavedSetupBlockRestoresTheSettings) {
  bench.Key(F4);  // Invert on
  bench.Choose(F1, 0, 1);  // AC
  std::vector<uint8_t> file(4096, 0xEE);
  const char head[] = "TASK-SYSTEM\r\nxx\r\n";
  std::memcpy(file.data(), head, sizeof head - 1);
  taskresponse r{};
  r.key.key = KEY_WORD_STORAGE;
  SetupFileRecord rec{0, 0, int32_t(file.size()), int32_t(sizeof head - 1), file.data()};
  std::memcpy(r.area, &rec, sizeof rec);
  ASSERT_EQ(TaskCh1.OpResponse(&r), 0);
  std::memcpy(&rec, r.area, sizeof rec);
  const int pages = TaskCh1Menu.pageCount;
  EXPECT_EQ(rec.used, int(sizeof head - 1) + 8 + 4 + 40 * pages);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(file.data()) + sizeof head - 1, 10), "TASK-CH1\r\n");

  bench.Key(F4);  // Invert off, DC again, custom ratio 5 in the EEPROM only
  bench.Choose(F1, 1, 0);
  ASSERT_FALSE(plat::SimDecodedChannel(0).inverted);
  M1().SetMenuItem(7, ItemParaFromF32(5.0f));

  rec = SetupFileRecord{0, 1, rec.used, 0, file.data()};
  std::memcpy(r.area, &rec, sizeof rec);
  EXPECT_EQ(TaskCh1.OpResponse(&r), 0);
  EXPECT_EQ(M1().GetMenuItem(3), 1u);
  EXPECT_EQ(M1().GetMenuItem(0), 1u);
  EXPECT_EQ(bench.EepromByte(ee::kCh1Invert), 1);
  EXPECT_EQ(bench.EepromU32(ee::kCh1Custom), uint32_t(ItemParaFromF32(1.0f)));  // the loaded values persist
  EXPECT_TRUE(plat::SimDecodedChannel(0).inverted);
  EXPECT_EQ(plat::SimDecodedChannel(0).coupling, 1);

  // CH2 finds no block of its own; a cut block and a full buffer are refused.
  std::memcpy(r.area, &rec, sizeof rec);
  EXPECT_EQ(TaskCh2.OpResponse(&r), -1);
  rec = SetupFileRecord{0, 1, int32_t(sizeof head - 1) + 8 + 2 + 39, 0, file.data()};
  std::memcpy(r.area, &rec, sizeof rec);
  EXPECT_EQ(TaskCh1.OpResponse(&r), -1);
  rec = SetupFileRecord{0, 0, 100, 90, file.data()};
  std::memcpy(r.area, &rec, sizeof rec);
  EXPECT_EQ(TaskCh1.OpResponse(&r), -1);
  std::memcpy(&rec, r.area, sizeof rec);
  EXPECT_EQ(rec.used, 90);
}

// ---- start-up and defaults ----

struct ChannelStored : Channel {
  std::vector<uint8_t> Image() override {
    auto e = Channel::Image();
    e[ee::kCh1Coupling] = 1;   // AC
    e[ee::kCh1BwLimit] = 1;   // BW limit
    e[ee::kCh1Invert] = 1;   // inverted
    e[ee::kCh1Probe] = 4;   // 10X
    e[ee::kCh2Invert] = 1;  // CH2 inverted
    return e;
  }
};

TEST_F(ChannelStored, StartUpAppliesTheStoredItemsAndDefaultRestoresTheProbe) {
  const plat::SimChannelSettings c = plat::SimDecodedChannel(0);
  EXPECT_EQ(c.coupling, 1);
  EXPECT_TRUE(c.bwLimit);
  EXPECT_TRUE(c.inverted);
  EXPECT_TRUE(plat::SimDecodedChannel(1).inverted);
  EXPECT_EQ(Vertical.GetYRealprobe(0), 4);
  EXPECT_FLOAT_EQ(Vdiv(0), 10 * Base(0));
  // Blank bytes take the items' defaults.
  EXPECT_EQ(M1().GetMenuItem(8), 0u);
  EXPECT_FLOAT_EQ(F32(M1().GetMenuItem(7)), 1.0f);

  taskresponse r{};
  r.key.key = KEY_WORD_DEFAULT;
  TaskCh1.OpResponse(&r);
  EXPECT_EQ(bench.EepromByte(ee::kCh1Probe), 3);
  EXPECT_EQ(bench.EepromByte(ee::kCh1UnitA), 1);
  EXPECT_EQ(M1().GetMenuItem(6), 3u);
  r.key.key = KEY_WORD_INIT;
  TaskCh1.OpResponse(&r);
  EXPECT_EQ(Vertical.GetYRealprobe(0), 3);
  EXPECT_FLOAT_EQ(Vdiv(0), Base(0));
}

// ---- the screen ----

TEST_F(Channel, EachChannelsMenuIsDrawnInItsColour) {
  SysRunStatus.SetDrawRefresh();
  bench.Pass();
  EXPECT_TRUE(bench.WriteScreenPng(g_startDir + "/task-ch1-menu.png"));
  auto s = bench.Screen();
  EXPECT_GT(Count(s, 45, 680, 114, 22, kCh1Colour), 10);  // "Coupling"
  EXPECT_GT(Count(s, 40, 654, 20, 100, kCh1Colour), 10);  // "Channel-1" turned

  bench.Key(kCh2Key);
  s = bench.Screen();
  EXPECT_TRUE(bench.WriteScreenPng(g_startDir + "/task-ch2-menu.png"));
  EXPECT_GT(Count(s, 45, 680, 114, 22, kCh2Colour), 10);
  EXPECT_EQ(Count(s, 45, 680, 114, 22, kCh1Colour), 0);
  EXPECT_GT(Count(s, 40, 654, 20, 100, kCh2Colour), 10);

  bench.Key(F5);  // CH2's probe page, then its custom ratio's keypad
  bench.Choose(F2, 3, 7);
  const auto before = bench.Screen();
  bench.Key(F3);
  ASSERT_TRUE(TaskCh2.KeypadShown());
  s = bench.Screen();
  EXPECT_TRUE(bench.WriteScreenPng(g_startDir + "/task-ch2-keypad.png"));
  EXPECT_EQ(QelDraw.GetNumKeyboardShowMsg().shown, 1);
  EXPECT_EQ(QelDraw.GetNumKeyboardShowMsg().owner, 7);
  int changed = 0;
  for (int r = 100; r < 280; ++r)
    for (int c = 230; c < 530; ++c) changed += (s[size_t(r) * 800 + size_t(c)] != before[size_t(r) * 800 + size_t(c)]);
  EXPECT_GT(changed, 1000);  // the keypad over the wave area
}

// ---- the V/div label and the trace ----

// Rows between the highest and the lowest CH1 trace pixel (cyan, whatever its
// brightness) in the middle of the wave area.
int TraceExtent(const std::vector<uint32_t>& s) {
  int top = -1, bottom = -1;
  for (int r = 34; r < 432; ++r)
    for (int c = 300; c < 400; ++c) {
      const uint32_t p = s[size_t(r) * 800 + size_t(c)];
      const int red = p >> 16 & 0xFF, green = p >> 8 & 0xFF, blue = p & 0xFF;
      if (red == 0 && green >= 0x10 && green == blue) {
        if (top < 0) top = r;
        bottom = r;
      }
    }
  return top < 0 ? 0 : bottom - top;
}

// CH1's status field: coupling mark, V/div, probe (rows 448-472 from column 29).
std::vector<uint32_t> Ch1Field(const std::vector<uint32_t>& s) {
  std::vector<uint32_t> f;
  for (int r = 448; r < 472; ++r) f.insert(f.end(), s.begin() + r * 800 + 29, s.begin() + r * 800 + 176);
  return f;
}

TEST_F(Channel, TheVoltsPerDivisionLabelChangesWithTheTrace) {
  SetWaveTestSettings();  // 500 mV/div, running
  fpga.SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  plat::TestSignal sine;
  sine.shape = plat::SignalShape::kSine;
  sine.frequencyHz = 1000;
  sine.amplitudeV = 1.0;  // 4 divisions peak to peak at 500 mV/div
  fpga.SetSignal(0, sine);
  auto frame = [&] {
    WaveOp.RequestChData(1);
    ASSERT_TRUE(fpga.AcquireNow());
    bench.AdvanceMs(50);
    bench.Pass();
  };
  for (int i = 0; i < 3; ++i) frame();
  SysRunStatus.SetDrawRefresh();
  bench.Pass();
  const std::vector<uint32_t> before = bench.Screen();
  const int extent = TraceExtent(before);
  ASSERT_GT(extent, 150);
  const std::vector<uint32_t> label = Ch1Field(before);

  bench.Key(kKeyVoltsLeft);  // 1 V/div: the trace halves
  bool traceMoved = false, labelMoved = false;
  for (int i = 0; i < 8 && !(traceMoved && labelMoved); ++i) {
    frame();
    const std::vector<uint32_t> s = bench.Screen();
    traceMoved = std::abs(TraceExtent(s) - extent) > 40;
    labelMoved = Ch1Field(s) != label;
    // Each composed frame shows the label of the trace it shows.
    EXPECT_EQ(labelMoved, traceMoved) << "frame " << i;
  }
  EXPECT_TRUE(traceMoved);
  EXPECT_TRUE(labelMoved);
  EXPECT_NEAR(Vdiv(0), 1.0f, 1e-6);
}
