// The cursor module on the simulated board: the CURSOR key and its menu,
// time cursors on the edges of an applied 1 kHz square read against the
// signal's period, their lines and readout panel on the screen, the select
// push and knob with their step cap and ranges, XY cursors in the XY
// format against the applied signals, the layout remaps, the EEPROM items
// and the setup-file block. Each screen test writes a PNG of it into the
// working directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/horizontal/task_hori.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "analysis/cursor/cursor_draw.h"
#include "analysis/cursor/cursor_values.h"
#include "analysis/measure/measure_draw.h"
#include "analysis/cursor/task_cursor.h"
#include "core/board/control.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_draw.h"

namespace {
const std::string g_startDir = [] {
  char buf[4096];
  return std::string(getcwd(buf, sizeof buf) ? buf : ".");
}();

constexpr uint32_t kCh1 = 0x00CCCC, kValue = 0xC8C8AF;
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
constexpr int kEnableByte = 201, kTypeByte = 202, kSourceByte = 203, kXYEnableByte = 206;
// 500 us/div, 50 pixels a division, the trigger at column 380: a 1 kHz
// square's rising edges lie 100 columns apart.
constexpr int kTriggerColumn = 380, kColumnsPerMs = 100;

int Item(int n) { return int(uint16_t(TaskCursor.TaskMenu.GetMenuItem(n))); }
bool Listed() { return TaskManage.FindUserTaskProcess(kCursorTaskId) == TASK_LISTED; }
bool Shown() { return TaskManage.FindUserTaskDisplay(kCursorTaskId) == TASK_LISTED; }

// A page drawn with the composer's primitives and font, for comparison.
struct RefPage final : Draw {
  std::unique_ptr<uint32_t[]> px{new uint32_t[size_t(kWidth) * kHeight]()};
  RefPage() { SetUserFontPointer(QelDraw.GetUserFontPointer()); }
  uint32_t* GetDrawAddr(short) override { return px.get(); }
  uint32_t At(int r, int c) const { return px[size_t(r) * kWidth + size_t(c)]; }
};

plat::TestSignal Signal(plat::SignalShape shape, double amp, double phase = 0) {
  plat::TestSignal s;
  s.shape = shape;
  s.frequencyHz = 1000;
  s.amplitudeV = amp;
  s.phase = phase;
  return s;
}

struct Cursor : ::testing::Test {
  Bench b;
  void SetUp() override {
    b.SetEeprom(FormattedEeprom(6, 0));
    ASSERT_EQ(b.Start(), 0);
    b.StopThreads();
    b.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SetWaveTestSettings();
    b.Fpga().SetSignal(0, Signal(plat::SignalShape::kSquare, 1.0));
    SysRunInfo.sourceOn = 1;
    SysRunInfo.activeCh = 0;
    SysRunInfo.transparent = 0;
    QelControl.SetChPriority(&SysRunInfo);
    SysRunStatus.SetMenuDisplayTimeS(3);
    QelMsg.ClearMessage();
  }
  // Acquisitions, the cursor refresh and composed frames.
  void Frames(int n = 2, int mask = 1) {
    for (int i = 0; i < n; ++i) {
      WaveOp.RequestChData(mask);
      ASSERT_TRUE(b.Fpga().AcquireNow());
      b.AdvanceMs(600);
      SysRunStatus.SetDrawRefresh();
      b.Pass();
      b.Pass();
    }
  }
  void Png(const std::string& name) { EXPECT_TRUE(b.WriteScreenPng(g_startDir + "/" + name + ".png")); }
  // A remote knob key: its step is taken as it is.
  void RemoteKnob(uint16_t key, int step) {
    KeyBoard.AppendScpiKey(key, step);
    b.Pass();
  }
  // Panel knob presses a second apart (no acceleration: step 1).
  void PanelKnob(uint16_t key, int n) {
    for (int i = 0; i < n; ++i) {
      b.AdvanceMs(1000);
      b.Key(uint8_t(key));
    }
  }
  CursorData Data() const { return CursorDraw.GetCursorData(); }
  int InColumn(int c, uint32_t colour, int from, int to) const {
    int n = 0;
    for (int r = from; r <= to; ++r) n += b.Pixel(r, c) == colour;
    return n;
  }
  int InRow(int r, uint32_t colour, int from, int to) const {
    int n = 0;
    for (int c = from; c <= to; ++c) n += b.Pixel(r, c) == colour;
    return n;
  }
};

// The rising edges of the CH1 trace: columns where the upper envelope
// passes the centre code going up.
std::vector<int> RisingEdges() {
  uint16_t t[kCursorTraceValues] = {};
  WaveOp.GetWaveSceenDataFor16(0, t);
  std::vector<int> edges;
  for (int i = 1; i < 700; ++i)
    if (t[i - 1] != 0 && t[i - 1] < 127 && t[i] > 127 && t[700 + i - 1] < 127) edges.push_back(i + 30);
  return edges;
}
}  // namespace

TEST_F(Cursor, CursorKeyTurnsTheCursorsOnAndOnTheirMenuOff) {
  b.Key(kKeyCh1);
  b.Key(kKeyCursor);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kCursorTaskId);
  EXPECT_EQ(TaskCursor.TaskMenu.GetCurrPage(), 0);
  EXPECT_EQ(Item(kCurEnable), 1);
  EXPECT_EQ(b.EepromByte(kEnableByte), 1);
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & kCurFuncTime);
  EXPECT_TRUE(SysRunStatus.IsCursorEnable());
  EXPECT_TRUE(Listed());
  EXPECT_TRUE(Shown());
  EXPECT_EQ(Data().ytEnable, 1);

  b.Key(kKeyCursor);  // again on the cursor menu: off
  EXPECT_EQ(Item(kCurEnable), 0);
  EXPECT_EQ(b.EepromByte(kEnableByte), 0);
  EXPECT_EQ(SysRunStatus.GetFuncBits() & kCurFuncAll, 0u);
  EXPECT_FALSE(SysRunStatus.IsCursorEnable());
  EXPECT_FALSE(Listed());
  EXPECT_FALSE(Shown());

  b.Key(kKeyCursor);  // on again; then from another module it stays on
  b.Key(kKeyCh1);
  b.Key(kKeyCursor);
  EXPECT_EQ(Item(kCurEnable), 1);

  // Type (F2) and Source (F3, a list of three: knob and push) reach the
  // record, the function bits and the EEPROM.
  b.Key(kKeyF2);
  EXPECT_EQ(Item(kCurType), 1);
  EXPECT_EQ(b.EepromByte(kTypeByte), 1);
  EXPECT_EQ(Data().ytType, 1);
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & kCurFuncAmp);
  EXPECT_FALSE(SysRunStatus.GetFuncBits() & kCurFuncTime);
  b.Key(kKeyF3);
  b.Key(kKeySelectLeft);
  b.Key(kKeySelectPush);
  EXPECT_EQ(Item(kCurSource), 1);
  EXPECT_EQ(b.EepromByte(kSourceByte), 1);
  EXPECT_EQ(Data().source, 1);
}

TEST_F(Cursor, TimeCursorsOnTwoRisingEdgesReadOneMillisecondAndOneKilohertz) {
  b.Key(kKeyCursor);
  Frames();
  const std::vector<int> edges = RisingEdges();
  ASSERT_GE(edges.size(), 2u);
  // The applied square's edges: at the trigger and a period later.
  int first = -1;
  for (int e : edges)
    if (std::abs(e - kTriggerColumn) <= 1) first = e;
  ASSERT_NE(first, -1);
  const int second = first + kColumnsPerMs;
  EXPECT_NE(std::find_if(edges.begin(), edges.end(), [&](int e) { return std::abs(e - second) <= 1; }), edges.end());

  // Line A from 130 to the first edge: remote steps, then panel presses.
  RemoteKnob(kKeySelectRight, first - 130 - 3);
  PanelKnob(kKeySelectRight, 3);
  EXPECT_EQ(Data().AX, first);
  b.Key(kKeySelectPush);  // line B
  EXPECT_EQ(Data().ytActive, 1);
  RemoteKnob(kKeySelectLeft, 630 - second);
  EXPECT_EQ(Data().BX, second);
  EXPECT_EQ(Data().AX, first);

  Frames();
  Png("cursor_time_edges");
  const CursorData d = Data();
  const cursor::TimeReadings r =
      cursor::TimeCursorReadings(d, CursorDraw.ScreenValue(d.AX), CursorDraw.ScreenValue(d.BX));
  EXPECT_NEAR(r.t[2], 1e-3, 1e-9);
  EXPECT_NEAR(r.t[3], 1000, 1e-3);

  // The lines at their columns: B (active) solid, A broken.
  EXPECT_GT(InColumn(second, kCh1, 250, 420), 150);
  const int a = InColumn(first, kCh1, 250, 420);
  EXPECT_GT(a, 50);
  EXPECT_LT(a, 130);
  // The panel at (40, 38) with B-A "1.00ms" and 1/|B-A| "1.00kHz" in the
  // rows the panel gives them.
  MeaFontScope font(1);
  RefPage ref;
  struct {
    const char* text;
    int row;
  } cells[] = {{"1.00ms", 40 + 4 + 2 * 19}, {"1.00kHz", 40 + 4 + 3 * 19}};
  for (const auto& c : cells) {
    const int col = 38 + 95 - ref.Stringlen(kFontAscii, c.text) / 2;
    ref.DrawString(c.row, col, c.text, int(kValue), 0);
    int lit = 0;
    for (int r = c.row; r < c.row + 18; ++r)
      for (int x = col; x < col + 60; ++x)
        if (ref.At(r, x) == kValue) {
          ++lit;
          EXPECT_EQ(b.Pixel(r, x), kValue) << c.text << " " << r << "," << x;
        }
    EXPECT_GT(lit, 10) << c.text;
  }
}

TEST_F(Cursor, TheKnobMovesTheActiveLineCappedAndClampedAndThePushCyclesTheLines) {
  b.Key(kKeyCursor);
  CursorData d = Data();
  d.AX = 728;
  CursorDraw.SetCursorData(&d);
  CursorMenuOp(keypara{kKeySelectRight, 9, 0});  // a panel step of 9: capped at 5, then clamped
  EXPECT_EQ(Data().AX, 730);
  CursorMenuOp(keypara{kKeySelectLeft, 9, 1});  // a remote step is taken whole
  EXPECT_EQ(Data().AX, 721);
  EXPECT_EQ(Data().BX, 630);

  b.Key(kKeySelectPush);  // B
  b.Key(kKeySelectPush);  // both: track
  EXPECT_EQ(Item(kCurMode), 1);
  EXPECT_EQ(Data().ytMode, 1);
  CursorMenuOp(keypara{kKeySelectRight, 20, 1});
  EXPECT_EQ(Data().AX, 730);  // each line clamped on its own
  EXPECT_EQ(Data().BX, 650);
  b.Key(kKeySelectPush);  // A again, independent
  EXPECT_EQ(Item(kCurMode), 0);
  EXPECT_EQ(Data().ytActive, 0);

  // Amplitude lines: right moves up, within the wave area.
  b.Key(kKeyF2);
  CursorMenuOp(keypara{kKeySelectRight, 200, 1});
  EXPECT_EQ(Data().AY, 33);
  CursorMenuOp(keypara{kKeySelectLeft, 30, 1});
  EXPECT_EQ(Data().AY, 63);
}

TEST_F(Cursor, AmplitudeLinesAndTheirPanelAreDrawnWhereThePositionsSay) {
  b.Fpga().SetSignal(0, Signal(plat::SignalShape::kSine, 1.0));
  b.Key(kKeyCursor);
  b.Key(kKeyF2);  // amplitude
  Frames();
  Png("cursor_amplitude");
  const CursorData d = Data();
  ASSERT_EQ(d.AY, 133);
  ASSERT_EQ(d.BY, 333);
  // A is active: solid; B broken. Both end at column 725.
  EXPECT_GT(InRow(133, kCh1, 200, 630), 400);
  const int broken = InRow(333, kCh1, 200, 630);
  EXPECT_GT(broken, 150);
  EXPECT_LT(broken, 300);
  EXPECT_NE(b.Pixel(133, 727), kCh1);
  // 1 V a line above and below the centre at 500 mV/div: A 1 V, B -1 V.
  const cursor::AmpReadings r = cursor::AmplitudeReadings(d);
  EXPECT_DOUBLE_EQ(r.v[0], 1.0);
  EXPECT_DOUBLE_EQ(r.v[1], -1.0);
  EXPECT_DOUBLE_EQ(r.v[2], -2.0);
  // The panel's B-A row.
  MeaFontScope font(1);
  RefPage ref;
  const char* text = "-2.00V";
  const int row = 40 + 3 + 2 * 19, col = 38 + 88 - ref.Stringlen(kFontAscii, text) / 2;
  ref.DrawString(row, col, text, int(kValue), 0);
  int lit = 0;
  for (int y = row; y < row + 18; ++y)
    for (int x = col; x < col + 60; ++x)
      if (ref.At(y, x) == kValue) {
        ++lit;
        EXPECT_EQ(b.Pixel(y, x), kValue) << y << "," << x;
      }
  EXPECT_GT(lit, 10);
  // A line at row 400 has its label above it.
  CursorData low = d;
  low.BY = 400;
  CursorDraw.SetCursorData(&low);
  Frames(1);
  EXPECT_GT(InRow(390, kCh1, 38, 60) + InRow(388, kCh1, 38, 60) + InRow(392, kCh1, 38, 60), 0);
  int below = 0;
  for (int y = 403; y < 418; ++y) below += InRow(y, kCh1, 38, 60);
  EXPECT_EQ(below, 0);
}

TEST_F(Cursor, XYCursorsInTheXYFormatReadTheAppliedSignals) {
  b.Fpga().SetSignal(0, Signal(plat::SignalShape::kSine, 1.0));
  b.Fpga().SetSignal(1, Signal(plat::SignalShape::kSine, 1.0, 0.25));
  SysRunInfo.sourceOn = 3;
  TaskHori.TaskMenu.SetMenuItem(kHoriFormat, 1);
  Hori_Format(kNoKey);
  ASSERT_EQ(SysRunStatus.GetDiplayFormat(), 1);
  b.Key(kKeyCursor);
  EXPECT_EQ(TaskCursor.TaskMenu.GetCurrPage(), kCursorPageXY);
  EXPECT_EQ(Item(kCurEnableXY), 1);
  EXPECT_EQ(b.EepromByte(kXYEnableByte), 1);
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & kCurFuncXY);
  EXPECT_EQ(Data().displayFormat, 1);

  // Time marks a quarter period either side of the trigger: CH1 (X) at its
  // peaks +1 V and -1 V, CH2 (Y, a quarter period ahead) through 0 V.
  CursorData d = Data();
  d.xyTA = int16_t(kTriggerColumn + kColumnsPerMs / 4);
  d.xyTB = int16_t(kTriggerColumn - kColumnsPerMs / 4);
  CursorDraw.SetCursorData(&d);
  Frames(2, 3);
  Png("cursor_xy_marks");
  double x[2] = {}, y[2] = {};
  CursorDraw.calCursorXYTimeValue(x, y);
  EXPECT_NEAR(x[0], 1.0, 0.06);
  EXPECT_NEAR(x[1], -1.0, 0.06);
  EXPECT_NEAR(y[0], 0.0, 0.1);
  EXPECT_NEAR(y[1], 0.0, 0.1);
  // The XY panel is copied opaque at (165, 314); the marks' lines lie in the
  // top strip in the marks' colour.
  int row = 0, col = 0, w = 0, h = 0;
  CursorDraw.PictureInfo(&row, &col, &w, &h);
  EXPECT_EQ(row, 165);
  EXPECT_EQ(col, 314);
  EXPECT_GT(InColumn(d.xyTA, 0xFF8A14, 33, 153), 40);
  // The B-A column's texts end at column 565, inside the panel (its right
  // edge 576): the time row's "1.0ms" in full, nothing of it beyond.
  int inColumn = 0, beyond = 0;
  for (int r = 212; r < 232; ++r) {
    inColumn += InRow(r, 0xC8C8AF, 494, 565);
    beyond += InRow(r, 0xC8C8AF, 566, 576);
  }
  EXPECT_GT(inColumn, 20);
  EXPECT_EQ(beyond, 0);

  // Amplitude lines: one division right of the plot centre at 500 mV/div is
  // 0.5 V (35 pixels a division); the select push walks A, B, both, then the
  // Y axis.
  b.Key(kKeyF2);
  EXPECT_EQ(Data().xyType, 1);
  d = Data();
  d.xyXA = 170 + 35;
  d.xyXB = 170 - 70;
  CursorDraw.SetCursorData(&d);
  CursorDraw.calCursorXYAmpValue(x, y);
  EXPECT_NEAR(x[0], 0.5, 1e-6);
  EXPECT_NEAR(x[1], -1.0, 1e-6);
  b.Key(kKeySelectPush);
  b.Key(kKeySelectPush);
  EXPECT_EQ(Data().xyMode, 1);
  b.Key(kKeySelectPush);
  EXPECT_EQ(Data().xySource, 1);
  EXPECT_EQ(Data().xyMode, 0);
  EXPECT_EQ(Item(kCurSourceXY), 1);

  // Track mode on the X axis: lines at 290 and 300 moved 10 right stop at
  // the range end with their distance kept.
  d = Data();
  d.xySource = 0;
  d.xyMode = 1;
  d.xyXA = 290;
  d.xyXB = 300;
  CursorDraw.SetCursorData(&d);
  CursorMenuOp(keypara{kKeySelectRight, 10, 0});
  EXPECT_EQ(Data().xyXA, 294);
  EXPECT_EQ(Data().xyXB, 304);
  // A point at the origin has phase 0, not a number that is not one.
  double r = -1, phase = -1;
  _cursor_draw::Calc_XY_Cursor_R_Phase(0, 0, &r, &phase);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(phase, 0);
}

TEST_F(Cursor, RefusalsAndLayoutRemaps) {
  b.Key(kKeyCursor);
  b.Key(kKeyF2);  // amplitude, lines at 133 and 333 on CH1
  // Entering the alternate (multi-scope) mode maps them into the upper half.
  SysRunStatus.SetIndependTimeBaseSplit(0);
  SysRunStatus.IndependTimeBaseEnable();
  CursorRemapLayout(kKeyF4);
  EXPECT_EQ(Data().AY, 83);
  EXPECT_EQ(Data().BY, 183);
  EXPECT_EQ(Data().yLayout, kLayoutSplit);
  // MATH from the Source soft key is skipped in alternate mode.
  TaskCursor.TaskMenu.SetMenuItem(kCurSource, 1);
  TaskCursor.TaskMenu.MenuPopEnable(kCurSource, 1);
  Cursor_Source(keypara{kKeyF3, 1, 0});
  EXPECT_EQ(Item(kCurSource), 0);
  // Set elsewhere, it falls back to CH1 with message 89.
  TaskCursor.TaskMenu.SetMenuItem(kCurSource, 2);
  Cursor_Source(kNoKey);
  EXPECT_EQ(Item(kCurSource), 0);
  EXPECT_EQ(QelMsg.GetMessageID(), 89);
  SysRunStatus.IndependTimeBaseDisable();
  CursorRemapLayout(kKeyF4);
  EXPECT_EQ(Data().AY, 133);
  EXPECT_EQ(Data().BY, 333);
  EXPECT_EQ(Data().yLayout, kLayoutFull);

  // With the FFT view on, the CURSOR key is refused with message 95.
  b.Key(kKeyCursor);  // off
  QelMsg.ClearMessage();
  SysRunStatus.SetFuncBit(0x20);
  SysRunInfo.sourceOn |= 0x20;
  b.Key(kKeyCh1);
  b.Key(kKeyCursor);
  EXPECT_EQ(Item(kCurEnable), 0);
  EXPECT_EQ(QelMsg.GetMessageID(), 95);
}

TEST_F(Cursor, DefaultsAndTheSetupBlock) {
  b.Key(kKeyCursor);
  b.Key(kKeyF2);
  TaskCursor.Default();
  for (int a = 201; a <= 210; ++a) EXPECT_EQ(b.EepromByte(a), a == 205 ? 1 : 0) << a;
  EXPECT_EQ(Item(kCurEnable), 0);

  // Saved with amplitude cursors on CH2 in track mode, changed, loaded back.
  TaskCursor.TaskMenu.SetMenuItem(kCurEnable, 1);
  TaskCursor.TaskMenu.SetMenuItem(kCurType, 1);
  TaskCursor.TaskMenu.SetMenuItem(kCurSource, 1);
  TaskCursor.TaskMenu.SetMenuItem(kCurMode, 1);
  Cursor_Enable(kNoKey);
  std::vector<uint8_t> file(4096, 0);
  int32_t status = 0;
  const int used = RunSetupStorage(TaskCursor, 0, &file, int(file.size()), 0, &status);
  ASSERT_EQ(status, 0);
  ASSERT_GT(used, 13);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 13), "TASK-CURSOR\r\n");
  EXPECT_EQ(file[size_t(used) - 2], '\r');
  for (int n : {kCurEnable, kCurType, kCurSource, kCurMode}) TaskCursor.TaskMenu.SetMenuItem(n, 0);
  Cursor_Enable(kNoKey);
  EXPECT_FALSE(Listed());

  // A block cut short is refused and changes nothing.
  RunSetupStorage(TaskCursor, 1, &file, used - 20, 0, &status);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(Item(kCurSource), 0);

  RunSetupStorage(TaskCursor, 1, &file, used, 0, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Item(kCurEnable), 1);
  EXPECT_EQ(Item(kCurSource), 1);
  EXPECT_EQ(Item(kCurMode), 1);
  EXPECT_EQ(Data().source, 1);
  EXPECT_EQ(Data().ytType, 1);
  EXPECT_TRUE(Listed());
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & kCurFuncAmp);
  // A value outside its choices in a hand-made block refuses the block.
  file[13 + 2 * 8] = 9;  // the source item's value
  TaskCursor.TaskMenu.SetMenuItem(kCurMode, 0);
  RunSetupStorage(TaskCursor, 1, &file, used, 0, &status);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(Item(kCurSource), 1);
  EXPECT_EQ(Item(kCurMode), 0);
}

TEST_F(Cursor, PanelLabelsKeepTheirSourceColourWhenTheMergeIsTranslucent) {
  SysRunInfo.transparent = 1;  // the display's default
  b.Key(kKeyCursor);
  Frames();
  Png("cursor_time_translucent");
  // The label column of the time panel ("A" ... "B-A" centred on 38 + 38,
  // then the ":" at 38 + 60): CH1's cyan blended, never CH2's yellow.
  int cyan = 0, yellow = 0;
  for (int r = 40; r < 40 + 4 + 7 * 19; ++r)
    for (int c = 50; c < 104; ++c) {
      const uint32_t p = b.Pixel(r, c);
      const int red = p >> 16 & 0xFF, green = p >> 8 & 0xFF, blue = p & 0xFF;
      cyan += red < 0x40 && green >= 0x90 && blue >= 0x90;
      yellow += blue < 0x40 && red >= 0x90 && green >= 0x90;
    }
  EXPECT_GT(cyan, 30);
  EXPECT_EQ(yellow, 0);
}
