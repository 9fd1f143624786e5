// Common routines, unit conversion, the number keypad and the temperature
// correction.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/models/y_system.h"
#include "core/common/common_subprogram.h"
#include "core/state/sys_run_info.h"
#include "core/board/temperature.h"
#include "core/common/unit_convert.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/devices/temperature.h"
#include "platform/thread.h"
#include "tests/bench/bench.h"

namespace {
FloatElement V(double v) {
  FloatElement e{-99, -99};
  UnitConvert.VUnitConvert(v, &e);
  return e;
}
FloatElement T(double t) {
  FloatElement e{-99, -99};
  UnitConvert.TUnitConvert(t, &e);
  return e;
}
FloatElement F(double f) {
  FloatElement e{-99, -99};
  UnitConvert.FreqUnitConvert(f, &e);
  return e;
}
#define EXPECT_ELEMENT(e, m, u)      \
  do {                               \
    FloatElement e_ = (e);           \
    EXPECT_DOUBLE_EQ(e_.mantissa, m); \
    EXPECT_EQ(e_.unit, u);           \
  } while (0)
}  // namespace

TEST(UnitConvert, VoltagesScaleToThePrefixes) {
  EXPECT_ELEMENT(V(0.0005), 500, kVMicro);
  EXPECT_ELEMENT(V(-2500), -2.5, kVKilo);
  EXPECT_ELEMENT(V(0), 0, kVMicro);
  EXPECT_ELEMENT(V(1), 1, kVUnit);
  EXPECT_ELEMENT(V(0.1), 100, kVMilli);
  EXPECT_ELEMENT(V(999.999), double(float(999.999)), kVUnit);
  EXPECT_ELEMENT(V(5e6), 5, kVMega);
  EXPECT_ELEMENT(V(2e12), 2e6, kVMega);  // no prefix above mega
  EXPECT_ELEMENT(V(1e-9), double(float(1e-3)), kVMicro);  // none below micro
  EXPECT_EQ(UnitConvert.VUnitConvert(1, nullptr), -1);
}

TEST(UnitConvert, TimesAndFrequenciesScaleToTheirUnits) {
  EXPECT_ELEMENT(T(2.0), 2, kTSec);
  EXPECT_ELEMENT(T(0.0000005), 500, kTNano);
  EXPECT_ELEMENT(T(0), 0, kTSec);
  EXPECT_ELEMENT(T(-0.002), -2, kTMilli);
  EXPECT_ELEMENT(T(1e-13), double(float(0.1)), kTPico);  // at most four steps
  EXPECT_ELEMENT(T(5000), 5000, kTSec);
  EXPECT_ELEMENT(F(1000), 1, kFKilo);
  EXPECT_ELEMENT(F(999), 999, kFHz);
  EXPECT_ELEMENT(F(0), 0, kFHz);
  EXPECT_ELEMENT(F(-5), 0, kFHz);
  EXPECT_ELEMENT(F(2.5e6), 2.5, kFMega);
  EXPECT_ELEMENT(F(2.5e9), 2.5, kFGiga);
}

TEST(Common, UnitTextsByUnitAndPrefix) {
  EXPECT_STREQ(CommonSubProg.GetChUnitStrig(0, 0), "\xB5V");
  EXPECT_STREQ(CommonSubProg.GetChUnitStrig(0, 1), "mV");
  EXPECT_STREQ(CommonSubProg.GetChUnitStrig(1, 3), "kA");
  EXPECT_STREQ(CommonSubProg.GetChUnitStrig(3, 4), "MU");
  EXPECT_EQ(CommonSubProg.GetChUnitStrig(4, 2), nullptr);
  EXPECT_EQ(CommonSubProg.GetChUnitStrig(0, 5), nullptr);
  EXPECT_EQ(CommonSubProg.GetChUnitStrig(-1, 0), nullptr);
  EXPECT_STREQ(ChannelUnit[4][1], "mdB");
}

TEST(Common, ScanMarkLabelFindsALabelWithinTheLength) {
  const char image[] = "xxTASK-CH1\r\n....TASK-TRIGGER\r\n";
  int len = int(sizeof image - 1);
  EXPECT_EQ(CommonSubProg.ScanMarkLabel(image, "TASK-CH1", len), 2);
  EXPECT_EQ(CommonSubProg.ScanMarkLabel(image, "TASK-TRIGGER", len), 16);
  EXPECT_EQ(CommonSubProg.ScanMarkLabel(image, "TASK-TRIGGER", 27), -1);  // cut by the length
  EXPECT_EQ(CommonSubProg.ScanMarkLabel(image, "TASK-TRIGGER", 28), 16);
  EXPECT_EQ(CommonSubProg.ScanMarkLabel(image, "TASK-MATH", len), -1);
  EXPECT_EQ(CommonSubProg.ScanMarkLabel(image, "TASK-CH1", 0), -1);
  EXPECT_EQ(CommonSubProg.ScanMarkLabel(nullptr, "TASK-CH1", len), -1);
  EXPECT_EQ(CommonSubProg.ScanMarkLabel(image, nullptr, len), -1);
  EXPECT_EQ(CommonSubProg.ScanMarkLabel("ab", "abc", 2), -1);
}

TEST(Common, FileListIsSortedFilteredAndBounded) {
  Bench bench;
  auto list = std::make_unique<_Filelist>();
  WriteRootFile("udisk/Set/b.dat", "1");
  WriteRootFile("udisk/Set/a.dat", "1");
  WriteRootFile("udisk/Set/c.wav", "1");
  WriteRootFile("udisk/Set/" + std::string(99, 'x') + ".dat", "1");  // too long for an entry
  EXPECT_EQ(CommonSubProg.ReadFileList("/udisk/Set", ".dat", list.get(), 1), 2);
  EXPECT_STREQ(list->name[0], "a.dat");
  EXPECT_STREQ(list->name[1], "b.dat");
  EXPECT_EQ(list->total, 2);
  EXPECT_EQ(CommonSubProg.ReadFileList("/udisk/None", ".dat", list.get(), 1), -1);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(CommonSubProg.ReadFileList(nullptr, ".dat", list.get(), 1), -1);
  for (int i = 0; i < kFileListMax + 20; ++i) WriteRootFile("udisk/Full/f" + std::to_string(i) + ".bmp", "");
  EXPECT_EQ(CommonSubProg.ReadFileList("/udisk/Full", ".bmp", list.get(), 1), kFileListMax);
  EXPECT_EQ(list->count, kFileListMax);
  // ".." cannot leave the root.
  EXPECT_EQ(CommonSubProg.ReadFileList("/../../../../udisk/Set", ".dat", list.get(), 0), 2);
}

TEST(Common, ReadFileReadsExactlyOrClears) {
  Bench bench;
  WriteRootFile("Data/f.bin", "abcdef");
  EXPECT_EQ(CommonSubProg.GetFileSize("Data/f.bin"), 6);
  EXPECT_EQ(CommonSubProg.GetFileSize("/Data/f.bin"), 6);
  EXPECT_EQ(CommonSubProg.GetFileSize("Data/none"), -1);
  char buf[10];
  EXPECT_EQ(CommonSubProg.ReadFile("Data/f.bin", buf, 4), 4);
  EXPECT_EQ(std::memcmp(buf, "abcd", 4), 0);
  std::memset(buf, 'z', sizeof buf);
  EXPECT_EQ(CommonSubProg.ReadFile("Data/f.bin", buf, 8), -1);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(buf[i], 0) << i;
  EXPECT_EQ(CommonSubProg.ReadFile("Data/none", buf, 1), -1);
}

TEST(Common, SeparateSplitsNumberAndUnit) {
  char num[16], unit[16];
  ASSERT_EQ(CommonSubProg.Separate("12.5mV", num, unit, sizeof num), 0);
  EXPECT_STREQ(num, "12.5");
  EXPECT_STREQ(unit, "mV");
  ASSERT_EQ(CommonSubProg.Separate(" -3 V ", num, unit, sizeof num), 0);
  EXPECT_STREQ(num, "-3");
  EXPECT_STREQ(unit, "V");
  EXPECT_EQ(CommonSubProg.Separate("1m2", num, unit, sizeof num), -1);
  EXPECT_EQ(CommonSubProg.Separate("12345678901234567890", num, unit, sizeof num), -1);
}

TEST(Common, ScientificNotationRewritesTheFixedForm) {
  char out[64];
  CommonSubProg.ScientificNotation(1234.5, out, sizeof out);
  EXPECT_STREQ(out, "1.234500e3");
  CommonSubProg.ScientificNotation(0.25, out, sizeof out);
  EXPECT_STREQ(out, "2.50e-1");
  CommonSubProg.ScientificNotation(-12, out, sizeof out);
  EXPECT_STREQ(out, "-1.2000e1");
  CommonSubProg.ScientificNotation(0, out, sizeof out);
  EXPECT_STREQ(out, "0e0");
  EXPECT_EQ(CommonSubProg.ScientificNotation(1e300, out, sizeof out), -1);  // does not fit
}

TEST(Common, Utf16LinesAndSearch) {
  const std::u16string text = u"[LANGUAGE]\r\nEnglish,Western\r\nDeutsch,Western\r\n";
  const auto* t = reinterpret_cast<const uint16_t*>(text.data());
  int bytes = int(text.size() * 2);
  char ascii[32];
  EXPECT_EQ(CommonSubProg.UnicodeToAscii(t, ascii, sizeof ascii), 10);
  EXPECT_STREQ(ascii, "[LANGUAGE]");
  EXPECT_EQ(CommonSubProg.UnicodeToAscii(t, ascii, 4), 3);
  EXPECT_STREQ(ascii, "[LA");
  unicode_txt_para r{};
  ASSERT_EQ(CommonSubProg.ScanUnicodeString(0, t, "Deutsch", bytes, &r), 0);
  EXPECT_EQ(r.line, 3);
  EXPECT_EQ(r.match, t + 29);
  EXPECT_EQ(CommonSubProg.ScanUnicodeString(30, t, "Deutsch", bytes, &r), -1);
  EXPECT_EQ(CommonSubProg.ScanUnicodeString(0, t, "Deutsch", 40, &r), -1);  // beyond the length
  EXPECT_EQ(CommonSubProg.UnicodeJumpTxtLine(t, 1, bytes), t);
  EXPECT_EQ(CommonSubProg.UnicodeJumpTxtLine(t, 2, bytes), t + 12);
  EXPECT_EQ(CommonSubProg.UnicodeJumpTxtLine(t, 4, bytes), nullptr);
  EXPECT_EQ(CommonSubProg.UnicodeNextLine(t, t + 3, bytes), t + 12);
  EXPECT_EQ(CommonSubProg.UnicodeNextLine(t, t + 30, bytes), nullptr);
}

TEST(Common, TimeOutJudegRenewsTheStampOncePassed) {
  struct timeval stamp = {100, 500000}, now = {101, 400000};
  EXPECT_FALSE(CommonSubProg.TimeOutJudeg(&stamp, &now, 1, 0));
  now = {101, 500000};
  EXPECT_TRUE(CommonSubProg.TimeOutJudeg(&stamp, &now, 1, 0));
  EXPECT_EQ(stamp.tv_sec, 101);
  now = {101, 520000};
  EXPECT_TRUE(CommonSubProg.TimeOutJudeg(&stamp, &now, 0, 20000));
  now = {50, 0};  // the clock was set back
  EXPECT_TRUE(CommonSubProg.TimeOutJudeg(&stamp, &now, 1, 0));
  EXPECT_EQ(CommonSubProg.Sleep(-1, 0), -1);
}

namespace {
struct Pad {
  numkeyboard pad;
  Pad() { CommonSubProg.NumKeyboardInit(&pad, 13, 4); }
  int Key(uint16_t key, int step = 1, bool useStep = false) {
    pad.key = key;
    pad.step = int16_t(step);
    pad.useStep = useStep;
    return CommonSubProg.NumKeyboardOp(&pad);
  }
  void MoveTo(int code) {
    while (pad.cursor != code) Key(kKeySelectLeft);
  }
  int Press(int code) {
    MoveTo(code);
    return Key(kKeySelectPush);
  }
};
}  // namespace

TEST(NumKeyboard, KnobMovesTheCursorAroundTheKeys) {
  Pad p;
  EXPECT_EQ(p.pad.task, 13);
  EXPECT_EQ(p.pad.setting, 4);
  EXPECT_EQ(p.pad.cursor, kNumCursorStart);
  EXPECT_EQ(p.Key(kKeySelectLeft), 0);
  EXPECT_EQ(p.pad.cursor, 8);
  EXPECT_EQ(p.Key(kKeySelectRight, 10, true), 0);
  EXPECT_EQ(p.pad.cursor, 23);  // wraps
  EXPECT_EQ(p.Key(kKeySelectLeft, 3, true), 0);
  EXPECT_EQ(p.pad.cursor, 1);
  EXPECT_EQ(p.Key(50), -1);
  EXPECT_STREQ(NumKeyboardMsg[kNumDefault].label, "Default");
}

TEST(NumKeyboard, PrefixLetterEndsTheEntryInBaseUnits) {
  Pad p;
  EXPECT_EQ(p.Press(kNumOne + 4), 0);  // "5"
  EXPECT_EQ(p.Press(kNumNano), kNumNano);
  EXPECT_DOUBLE_EQ(p.pad.value, 5e-9);

  Pad q;
  q.Press(kNumOne);  // "1"
  q.Press(kNumPoint);
  q.Press(kNumPoint);  // one point only
  q.Press(kNumOne + 4);
  q.Press(kNumSign);
  EXPECT_STREQ(q.pad.text, "1.5");
  EXPECT_EQ(q.Press(kNumEnter), kNumEnter);
  EXPECT_DOUBLE_EQ(q.pad.value, -1.5);
  q.Press(kNumSign);
  EXPECT_EQ(q.Press(kNumKilo), kNumKilo);
  EXPECT_DOUBLE_EQ(q.pad.value, 1500);
}

TEST(NumKeyboard, BackDelAndTheEndKeys) {
  Pad p;
  p.Press(kNumOne + 1);  // "2"
  p.Press(kNumZero);
  p.Press(kNumZero);
  p.Press(kNumBack);
  EXPECT_STREQ(p.pad.text, "20");
  p.Press(kNumDel);
  EXPECT_STREQ(p.pad.text, "");
  EXPECT_EQ(p.Press(kNumEnter), kNumEnter);
  EXPECT_DOUBLE_EQ(p.pad.value, 0);  // nothing typed: the owner refuses it
  EXPECT_EQ(p.Press(kNumMax), kNumMax);
  EXPECT_EQ(p.Press(kNumMin), kNumMin);
  EXPECT_EQ(p.Press(kNumDefault), kNumDefault);
  for (int i = 0; i < 40; ++i) p.Press(kNumOne + 8);  // "9" beyond the text's room
  EXPECT_EQ(std::strlen(p.pad.text), size_t(kNumTextMax));
}

TEST(Temperature, TableAndRawConversion) {
  EXPECT_DOUBLE_EQ(Ds18b20Celsius(400), 25.0);
  EXPECT_DOUBLE_EQ(Ds18b20Celsius(-162), -10.125);
  EXPECT_DOUBLE_EQ(Ds18b20Celsius(int16_t(0x0191)), 25.0625);
  const std::pair<int, int> spots[] = {{0, 120}, {37, 120}, {38, 121}, {58, 123}, {59, 122},
                                       {72, 125}, {73, 124}, {100, 127}, {111, 130}, {112, 129},
                                       {136, 134}, {137, 135}, {138, 134}, {159, 135}};
  for (auto [i, v] : spots) EXPECT_EQ(TemperatureTable[i], v) << i;
}

TEST(Temperature, CorrectionByDegreesFromTheCalibrationTemperature) {
  EXPECT_EQ(TemperatureCorrection(30.0, 30.0), 0);   // element 100
  EXPECT_EQ(TemperatureCorrection(30.9, 30.0), 0);
  EXPECT_EQ(TemperatureCorrection(40.0, 30.0), 127 - 131);  // index 60, element 120
  EXPECT_EQ(TemperatureIndex(-30.0, 30.0), 0);
  EXPECT_EQ(TemperatureCorrection(-30.0, 30.0), 127 - 120);
  EXPECT_EQ(TemperatureIndex(58.0, 30.0), 78);  // above 77
  EXPECT_EQ(TemperatureIndex(57.5, 30.0), 77);
  EXPECT_EQ(TemperatureCorrection(58.0, 30.0), 127 - 134);
}

namespace {
std::vector<std::pair<int, int>> g_corrections;
std::vector<int> g_reapplied;
std::atomic<int> g_calls{0};
void Record(int ch, int c) {
  g_corrections.push_back({ch, c});
  ++g_calls;
}
void Reapply(int ch) { g_reapplied.push_back(ch); }
const TemperatureHooks kRecord = {Record, Reapply};

struct Monitor {
  Ds18b20Monitor m;
  Monitor() {
    g_corrections.clear();
    g_reapplied.clear();
    SetTemperatureHooks(&kRecord);
    EXPECT_EQ(m.Open(), 0);
  }
  ~Monitor() {
    m.Close();
    SetTemperatureHooks(nullptr);
  }
};
}  // namespace

TEST(Temperature, CorrectionFollowsAChangeOfTemperatureAndReturnsToZero) {
  Bench bench;
  Monitor mon;
  const double cal = SysRunStatus.GetSelfCaliTemperature();
  plat::SimTemperatureSet(cal + 10.0);
  EXPECT_EQ(mon.m.Poll(), 1);
  int warm = TemperatureCorrection(cal + 10.0, cal);
  ASSERT_EQ(g_corrections.size(), 2u);
  EXPECT_EQ(g_corrections[0], std::make_pair(0, warm));
  EXPECT_EQ(g_corrections[1], std::make_pair(1, warm));
  EXPECT_EQ(g_reapplied, (std::vector<int>{0, 1}));
  plat::SimTemperatureSet(cal + 10.5);  // same whole degree: nothing to do
  EXPECT_EQ(mon.m.Poll(), 0);
  EXPECT_EQ(g_corrections.size(), 2u);
  plat::SimTemperatureSet(cal);  // back at the calibration temperature
  EXPECT_EQ(mon.m.Poll(), 1);
  ASSERT_EQ(g_corrections.size(), 4u);
  EXPECT_EQ(g_corrections[3], std::make_pair(1, 0));
}

TEST(Temperature, SelfCalibrationPausesTheCorrectionAndReappliesAfterIt) {
  Bench bench;
  Monitor mon;
  const double cal = SysRunStatus.GetSelfCaliTemperature();
  plat::SimTemperatureSet(cal + 20.0);
  EXPECT_EQ(mon.m.Poll(), 1);
  EXPECT_FLOAT_EQ(SysRunStatus.GetTemperature(), float(cal + 20.0));
  SysRunStatus.SetFuncBit(0x80);
  g_corrections.clear();
  EXPECT_EQ(mon.m.Poll(), 2);
  EXPECT_EQ(g_corrections, (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}}));
  SysRunStatus.ClearFuncBit(0x80);
  g_corrections.clear();
  EXPECT_EQ(mon.m.Poll(), 1);  // same temperature, applied again
  ASSERT_EQ(g_corrections.size(), 2u);
  EXPECT_EQ(g_corrections[0].second, TemperatureCorrection(cal + 20.0, cal));
}

TEST(Temperature, BadReadingsAreIgnored) {
  Bench bench;
  Monitor mon;
  plat::SimTemperatureSet(85.0);  // above 80 C
  EXPECT_EQ(mon.m.Poll(), -1);
  plat::SimTemperatureSet(20.0);
  plat::SimTemperatureShortRead(true);
  EXPECT_EQ(mon.m.Poll(), -1);
  plat::SimTemperatureShortRead(false);
  plat::SimTemperatureReadFails(true);
  EXPECT_EQ(mon.m.Poll(), -1);
  EXPECT_TRUE(g_corrections.empty());
  plat::SimTemperatureReadFails(false);
  EXPECT_EQ(mon.m.Poll(), 1);
}

TEST(Temperature, ThreadEndsWithoutASensorAndStopsOnRequest) {
  Bench bench;
  plat::SimTemperatureOpenFails(true);
  EXPECT_EQ(Ds18b20Thread(nullptr), nullptr);  // returns at once
  plat::SimTemperatureOpenFails(false);
  g_calls = 0;
  SetTemperatureHooks(&kRecord);
  ASSERT_EQ(plat::StartThread("Ds18b20Thread", Ds18b20Thread, nullptr), 0);
  EXPECT_TRUE(WaitUntil([] { return g_calls > 0; }));
  plat::RequestStop();
  plat::JoinAllThreads();
  SetTemperatureHooks(nullptr);
}

TEST(Temperature, TheBuiltInCorrectionMovesTheOffsetDacOfBothChannels) {
  Bench bench;
  ASSERT_EQ(bench.Start(), 0);
  bench.StopThreads();  // the test polls the sensor itself
  SysRunStatus.TemperatureEnable(1);
  int before[2];
  for (int ch = 0; ch < 2; ++ch) before[ch] = Vertical.AdjYTemperaturePosition(ch, 0);
  const double cal = SysRunStatus.GetSelfCaliTemperature();
  const int warm = TemperatureCorrection(cal + 20.0, cal);
  ASSERT_NE(warm, 0);
  Ds18b20Monitor m;
  ASSERT_EQ(m.Open(), 0);
  plat::SimTemperatureSet(cal + 20.0);
  EXPECT_EQ(m.Poll(), 1);
  m.Close();
  // Re-applying the position (what the queued operation does) now writes the
  // DAC code of the position moved by the correction.
  for (int ch = 0; ch < 2; ++ch) {
    const int corrected = Vertical.AdjYTemperaturePosition(ch, 0);
    EXPECT_NE(corrected, before[ch]) << ch;
    EXPECT_EQ(plat::Fpga().DacValue(ch), corrected);
    SysRunStatus.TemperatureEnable(0);
    EXPECT_EQ(Vertical.AdjYTemperaturePosition(ch, warm), corrected) << ch;
    EXPECT_EQ(Vertical.AdjYTemperaturePosition(ch, 0), before[ch]) << ch;
    SysRunStatus.TemperatureEnable(1);
  }
}
