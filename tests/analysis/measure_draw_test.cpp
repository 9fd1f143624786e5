// The measure overlays on the simulated board's screen: a 1 kHz square of
// +-1 V on CH1 at 500 mV/div and 500 us/div. The panels' texts are compared
// with a page drawn with the same primitives from the engine's results, the
// indicator lines with the rows and columns of the applied signal's levels
// and edges, the histogram with where the square's codes lie. Each test
// writes a PNG of its screen into the working directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/engine/wave.h"
#include "analysis/measure/measure_draw.h"
#include "analysis/measure/task_measure.h"
#include "core/board/control.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"
#include "ui/draw/picture.h"
#include "ui/screen/qel_draw.h"

namespace {
const std::string g_startDir = [] {
  char buf[4096];
  return std::string(getcwd(buf, sizeof buf) ? buf : ".");
}();

constexpr uint32_t kCh1 = 0x00CCCC, kValue = 0xC8C8AF;
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
// 500 mV/div, 50 pixels a division: +1 V two divisions above the centre row.
constexpr int kHighRow = 233 - 100, kLowRow = 233 + 100;
constexpr int kMenuLeft = 640;  // the soft-key menu covers the area's right part

// A page drawn with the composer's primitives and the panels' font, for
// comparison (the font is selected while a test draws on it).
struct RefPage final : Draw {
  std::unique_ptr<uint32_t[]> px{new uint32_t[size_t(kWidth) * kHeight]()};
  RefPage() { SetUserFontPointer(QelDraw.GetUserFontPointer()); }
  uint32_t* GetDrawAddr(short) override { return px.get(); }
  uint32_t At(int r, int c) const { return px[size_t(r) * kWidth + size_t(c)]; }
};

struct MeasureDraw_ : ::testing::Test {
  Bench b;
  void SetUp() override {
    ASSERT_EQ(b.Start(), 0);
    b.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SetWaveTestSettings();
    plat::TestSignal s;
    s.shape = plat::SignalShape::kSquare;
    s.frequencyHz = 1000;
    s.amplitudeV = 1.0;
    b.Fpga().SetSignal(0, s);
    SysRunInfo.sourceOn = 1;
    SysRunInfo.activeCh = 0;
    QelControl.SetChPriority(&SysRunInfo);
    SysRunStatus.SetMenuDisplayTimeS(3);
    b.Key(kKeyMeasure);
    b.AdvanceMs(4000);
  }
  // Acquisitions, measurement passes and composed frames.
  void Frames(int n = 3) {
    for (int i = 0; i < n; ++i) {
      WaveOp.RequestChData(1);
      ASSERT_TRUE(b.Fpga().AcquireNow());
      b.AdvanceMs(600);
      SysRunStatus.SetDrawRefresh();
      b.Pass();
      b.Pass();
    }
  }
  void Png(const std::string& name) { EXPECT_TRUE(b.WriteScreenPng(g_startDir + "/" + name + ".png")); }
  void Set(int item, int value, int (*handler)(keypara)) {
    TaskMeasure.TaskMenu.SetMenuItem(item, uint64_t(value));
    handler(kNoKey);
  }
  // Pixels of `colour` in row `r` of the wave area left of the menu (or column `c`).
  int InRow(int r, uint32_t colour) const {
    int n = 0;
    for (int c = 30; c <= kMenuLeft; ++c) n += b.Pixel(r, c) == colour;
    return n;
  }
  int InColumn(int c, uint32_t colour, int from, int to) const {
    int n = 0;
    for (int r = from; r <= to; ++r) n += b.Pixel(r, c) == colour;
    return n;
  }
  // The row near `expected` where a horizontal line of `colour` lies (-1: none).
  int LineRow(int expected, uint32_t colour) const {
    for (int r = expected - 3; r <= expected + 3; ++r)
      if (InRow(r, colour) > kMenuLeft - 30) return r;
    return -1;
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
    EXPECT_GT(lit, 10);
  }
};

// Pixel (row from the top, column) of a 24-bit BMP under the root, read here
// from the file as stored (rows bottom first, padded to 4 bytes).
uint32_t BmpPixel(const std::string& relative, int row, int col) {
  const std::string f = ReadRootFile(relative);
  if (f.size() < 54) return 0xDEADBEEF;
  auto u32 = [&](size_t at) { return uint32_t(uint8_t(f[at])) | uint32_t(uint8_t(f[at + 1])) << 8 |
                                     uint32_t(uint8_t(f[at + 2])) << 16 | uint32_t(uint8_t(f[at + 3])) << 24; };
  const int w = int(u32(18)), h = int(u32(22)), stride = (w * 3 + 3) / 4 * 4;
  const size_t at = 54 + size_t(h - 1 - row) * size_t(stride) + size_t(col) * 3;
  if (row < 0 || row >= h || col < 0 || col >= w || at + 3 > f.size()) return 0xDEADBEEF;
  return uint32_t(uint8_t(f[at])) | uint32_t(uint8_t(f[at + 1])) << 8 | uint32_t(uint8_t(f[at + 2])) << 16;
}
const std::string kMeasurePics = "Data/PicResource/Measure/";

// Whether the screen shows the whole icon file `name` at (row, col).
bool ShowsIcon(const Bench& b, const std::string& name, int row, int col) {
  for (int r = 0; r < 18; ++r)
    for (int c = 0; c < 22; ++c)
      if (b.Pixel(row + r, col + c) != BmpPixel(kMeasurePics + name + ".bmp", r, c)) return false;
  return true;
}

std::string Formatted(int para, int source) {
  FloatElement e{};
  char text[48];
  _measure_draw::ValueText(text, sizeof text, para, source,
                           MeasureParaCalcu.GetMeasureParaResult(source, para, &e) == 0 ? &e : nullptr, false);
  return text;
}
}  // namespace

TEST_F(MeasureDraw_, AllParametersPanelShowsTheEnginesValuesInTheirCells) {
  SysRunInfo.transparent = 0;  // opaque: the panel's own colours
  Set(kMeaAllPara, 1, Measure_AllPara);
  Frames();
  Png("measure_all_parameters");
  float freq = 0, vpp = 0;
  ASSERT_EQ(MeasureParaCalcu.GetMeasurePara(0, kParaFreq, &freq), 0);
  ASSERT_EQ(MeasureParaCalcu.GetMeasurePara(0, kParaPkPk, &vpp), 0);
  EXPECT_NEAR(freq, 1000, 10);  // the applied square
  EXPECT_NEAR(vpp, 2.0, 0.05);
  EXPECT_EQ(Formatted(kParaFreq, 0).substr(0, 5), " 1.00");
  EXPECT_EQ(Formatted(kParaFreq, 0).substr(5), "kHz");
  EXPECT_EQ(Formatted(kParaPulse, 0).find('.'), std::string::npos);  // an integer
  EXPECT_NE(Formatted(kParaPhase, 0), "");

  // The cells of Max (0), Freq (13), Pk-Pk (5) and ACRMS (11, column offset
  // 445): row offsets 26, 110, 52, 76 from the panel corner (62, 100).
  MeaFontScope font(kMeaPanelFont);
  RefPage ref;
  const struct {
    int para, row, col;
  } cells[] = {{kParaMax, 126, 84}, {kParaFreq, 210, 224}, {kParaPkPk, 152, 224}, {kParaAcRms, 176, 507}};
  for (const auto& c : cells) {
    SCOPED_TRACE(c.para);
    const int end = c.col + 58;
    const MeasureParaRow& r = MeasureParaInfo[c.para];
    if (r.text)
      ref.DrawLanguage(c.row, end - ref.Stringlen(kFontUnicode, r.text), r.text, kCh1, 1);
    else
      ref.DrawString(c.row, end - ref.Stringlen(kFontAscii, r.name), r.name, kCh1, 1);
    ref.DrawString(c.row, end, Formatted(c.para, 0).c_str(), kValue, 1);
    SameText(ref, c.row - 2, c.col - 40, 200, 22, kCh1);
    SameText(ref, c.row - 2, end, 100, 22, kValue);
  }
  // The panel is its picture (opaque) and its size; its keyed corner lets
  // the screen below show.
  const _PicPos& p = MeasureDraw.PictureInfo();
  EXPECT_EQ(p.x, 62);
  EXPECT_EQ(p.y, 100);
  EXPECT_EQ(p.width, 676);
  EXPECT_EQ(p.height, 270);
  const std::string all = kMeasurePics + "AllPara.bmp";
  for (const auto& [r, c] : std::vector<std::pair<int, int>>{{135, 0}, {269, 300}, {10, 500}, {130, 1}, {60, 120}})
    EXPECT_EQ(b.Pixel(100 + r, 62 + c), BmpPixel(all, r, c)) << r << "," << c;
  EXPECT_EQ(BmpPixel(all, 269, 0), 0xFFFFFFu);  // the key colour in the file
  EXPECT_NE(b.Pixel(100 + 269, 62), 0xFFFFFFu);
  EXPECT_NE(b.Pixel(100 + 269, 62), MASK_COLOR);
}

TEST_F(MeasureDraw_, TransparentMergeBlendsAndKeepsTheMaskedPixels) {
  RefPage page;
  for (int i = 0; i < Draw::kWidth * Draw::kHeight; ++i) page.px[size_t(i)] = 0x00804020;
  MeasureDraw.FillRect(10, 10, 4, 2, 0x00FF8040, 1);
  MeasureDraw.FillRect(10, 14, 2, 2, int(MASK_COLOR), 1);
  _PicPos pos{10, 10, 6, 2};
  MeasureDraw.SetPictureInfo(kMeaPicStatCard, &pos);
  MeasureDraw.DrawBuffSync(page.px.get(), 1);
  // Page byte x 23 >> 7 + panel byte (red and blue exchanged) x 210 >> 8.
  const uint32_t blended = (((0x80 * 23) >> 7) + ((0x40 * 210) >> 8)) << 16 |
                           (((0x40 * 23) >> 7) + ((0x80 * 210) >> 8)) << 8 | (((0x20 * 23) >> 7) + ((0xFF * 210) >> 8));
  EXPECT_EQ(page.At(10, 10), blended);
  EXPECT_EQ(page.At(11, 13), blended);
  EXPECT_EQ(page.At(10, 14), 0x00804020u);  // mask colour: the page stays
  EXPECT_EQ(page.At(12, 10), 0x00804020u);  // outside the rectangle
  MeasureDraw.DrawBuffSync(page.px.get(), 0);
  EXPECT_EQ(page.At(10, 10), 0x00FF8040u);  // opaque: copied
  // A rectangle reaching past the screen is clipped, not written beyond it.
  _PicPos past{790, 470, 100, 100};
  MeasureDraw.SetPictureInfo(kMeaPicStatCard, &past);
  MeasureDraw.DrawBuffSync(page.px.get(), 0);
  MeasureDraw.DrawBuffSync(nullptr, 0);
}

TEST_F(MeasureDraw_, IndicatorLinesSitOnTheLevelsAndEdges) {
  Set(kMeaIndicator, 1, Measure_IndicatorEnable);
  ASSERT_TRUE(TaskMeasure.IsIndicatorOn());
  TaskMeasure.TaskMenu.SetMenuItem(kMeaIndicatorSel, kParaPkPk);
  Frames();
  Png("measure_indicator_pkpk");
  EXPECT_NEAR(LineRow(kHighRow, kCh1), kHighRow, 2);
  EXPECT_NEAR(LineRow(kLowRow, kCh1), kLowRow, 2);
  EXPECT_EQ(LineRow(233, kCh1), -1);

  // Period: through the first two rising edges. The trigger puts a rising
  // edge at the centre column 380; 1 ms is 100 columns at 500 us/div.
  TaskMeasure.TaskMenu.SetMenuItem(kMeaIndicatorSel, kParaPeriod);
  Frames(1);
  Png("measure_indicator_period");
  std::vector<int> columns;
  for (int c = 30; c <= 730; ++c)
    if (b.Pixel(40, c) == kCh1 && InColumn(c, kCh1, 38, 428) >= 380) columns.push_back(c);
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_NEAR((columns[0] - 380) % 100, 0, 2);
  EXPECT_NEAR(columns[1] - columns[0], 100, 2);
  EXPECT_LT(columns[0], 30 + 200);

  // Area: the left edge of the waveform area (the right one is under the menu).
  TaskMeasure.TaskMenu.SetMenuItem(kMeaIndicatorSel, kParaArea);
  Frames(1);
  EXPECT_GE(InColumn(32, kCh1, 38, 428), 380);

  // A value outside the area draws no line.
  FloatElement far{20.0, 2};  // 20 V
  EXPECT_LT(MeasureDraw.ValueToGridY(&far, 0), 33);
  FloatElement zero{0.0, 2};
  EXPECT_EQ(MeasureDraw.ValueToGridY(&zero, 0), 233);
  FloatElement half{500.0, 1};  // 500 mV: one division
  EXPECT_EQ(MeasureDraw.ValueToGridY(&half, 0), 183);
}

TEST_F(MeasureDraw_, HistogramBarsCountTheSquaresCodes) {
  Set(kMeaHistogram, 1, HistogramType);  // vertical: a bar per raster row
  ASSERT_TRUE(TaskMeasure.IsHistogram());
  Frames(4);
  Png("measure_histogram_vertical");
  // The longest bars are at the square's two levels, the rows between short.
  auto bar = [&](int r) {
    int n = 0;
    while (n < 110 && b.Pixel(r, 30 + n) != 0 && b.Pixel(r, 30 + n) != 0xC70000) ++n;
    return n;
  };
  int best = 0, bestRow = 0;
  for (int r = 40; r < 430; ++r)
    if (bar(r) > best) best = bar(r), bestRow = r;
  EXPECT_TRUE(std::abs(bestRow - kHighRow) <= 3 || std::abs(bestRow - kLowRow) <= 3) << bestRow;
  EXPECT_GE(best, 90);
  EXPECT_LT(bar(233), best / 2);
  // The area frame.
  const int top = int(TaskMeasure.TaskMenu.GetMenuItem(kMeaVertT));
  const int left = int(TaskMeasure.TaskMenu.GetMenuItem(kMeaHoriL));
  EXPECT_EQ(b.Pixel(33 + 2 * top, 30 + left + 20), 0xC70000u);
}

TEST_F(MeasureDraw_, ResultLineAndStatisticsCardsShowTheSlots) {
  TaskMeasure.SetSlot(0, kParaFreq, 0);
  TaskManage.AddUserTaskProcess(kMeasureTaskId, 0, 0);
  TaskManage.AddUserTaskDisplay(kMeasureTaskId, 1, 0);
  Frames();
  Png("measure_result_line");
  const UserDefResult u = MeasureParaCalcu.GetMeasureResultUserDef(0);
  ASSERT_EQ(u.status, kMeaValid);
  EXPECT_NEAR(u.current, 1000, 10);
  MeaFontScope font(kMeaPanelFont);
  RefPage ref;
  const MeasureParaRow& r = MeasureParaInfo[kParaFreq];
  const int end = r.text ? ref.DrawLanguage(400, 40, r.text, kCh1, 1) : ref.DrawString(400, 40, r.name, kCh1, 1);
  char value[48], text[64];
  _measure_draw::ValueText(value, sizeof value, kParaFreq, 0, &u.element[0], false);
  std::snprintf(text, sizeof text, ":%s", value);
  ref.DrawString(400, end, text, kValue, 1);
  SameText(ref, 396, 40, 130, 22, kCh1);
  SameText(ref, 396, end, 130, 22, kValue);

  SysRunInfo.transparent = 0;
  Set(kMeaStatistic, 1, Measure_Statistic);
  ASSERT_TRUE(TaskMeasure.IsStatisticOn());
  Frames();
  Png("measure_statistics");
  const _PicPos& p = MeasureDraw.PictureInfo();
  EXPECT_EQ(p.x, 34);
  EXPECT_EQ(p.y, 309);
  EXPECT_EQ(p.width, 125);
  EXPECT_EQ(p.height, 118);
  EXPECT_EQ(b.Pixel(309 + 60, 34), BmpPixel(kMeasurePics + "Statistic.bmp", 60, 0));
  EXPECT_EQ(b.Pixel(309 + 117, 34 + 60), BmpPixel(kMeasurePics + "Statistic.bmp", 117, 60));
  EXPECT_TRUE(ShowsIcon(b, "Freq", 309 + 4, 34 + 100));  // the parameter's icon
  EXPECT_GT(InRow(309 + 28 + 8, kValue) + InRow(309 + 28 + 6, kValue), 0);  // the CUR row
}

TEST_F(MeasureDraw_, VoltmeterReadoutInTheChannelsColour) {
  Set(kMeaDvm, 1, MeasureDVMFuncOnOFF);
  ASSERT_TRUE(TaskMeasure.IsDVMOn());
  Frames();
  Png("measure_voltmeter");
  int lit = 0;
  for (int r = 50; r < 75; ++r)
    for (int c = 40; c < 90; ++c) lit += b.Pixel(r, c) == uint32_t(qel_draw::GetChannelColor(0));
  EXPECT_GT(lit, 10);
}

TEST_F(MeasureDraw_, UserPickerMarksTheSlotsAndFramesTheCursor) {
  SysRunInfo.transparent = 0;
  TaskMeasure.SetSlot(0, kParaFreq, 0);
  Measure_UserDef(keypara{kKeyF4, 0, 0});  // the fourth soft key opens the picker
  ASSERT_TRUE(TaskMeasure.IsUserDefOn());
  Frames(1);
  Png("measure_user_picker");
  const int cursor = TaskMeasure.GetUserDefSelPos();
  ASSERT_EQ(cursor, 0);
  // The cursor cell (row offset 26, column offset 22 from 180, 45) framed 99 x 24.
  EXPECT_EQ(b.Pixel(45 + 26 - 4, 180 + 22), kCh1);
  EXPECT_EQ(b.Pixel(45 + 26 - 4, 180 + 22 + 98), kCh1);
  EXPECT_EQ(b.Pixel(45 + 26 - 4 + 23, 180 + 22), kCh1);
  // Freq (13) is in slot 0 with master CH1: the "*" left of its centred name.
  MeaFontScope font(kMeaPanelFont);
  RefPage ref;
  const MeasureParaRow& r = MeasureParaInfo[kParaFreq];
  const int w = r.text ? ref.Stringlen(kFontUnicode, r.text) : ref.Stringlen(kFontAscii, r.name);
  const int col = 180 + 121 + 49 - w / 2, row = 45 + 106;
  ref.DrawString(row, col - 10, "*", kCh1, 1);
  SameText(ref, row - 2, col - 12, 10, 22, kCh1);
  // The cursor's name below the grid.
  RefPage name;
  const MeasureParaRow& m = MeasureParaInfo[kParaMax];
  if (m.text)
    name.DrawLanguage(309, 190, m.text, kCh1, 1);
  else
    name.DrawString(309, 190, m.name, kCh1, 1);
  SameText(name, 305, 190, 80, 22, kCh1);
  EXPECT_TRUE(ShowsIcon(b, "Max", 307, 270));  // and its icon
  EXPECT_FALSE(ShowsIcon(b, "Min", 307, 270));
  EXPECT_EQ(b.Pixel(45 + 339, 180 + 200), BmpPixel(kMeasurePics + "UserDef.bmp", 339, 200));
}

// Rows of a voltage in each display mode: Y-T, X-Y, zoomed time base and the
// split halves of the multi-scope mode (500 mV/div, centred channels).
TEST_F(MeasureDraw_, VoltageRowsInEveryDisplayMode) {
  const FloatElement half{500.0, 1};
  EXPECT_EQ(MeasureDraw.ValueToGridY(&half, 0), 233 - 50);
  SysRunInfo.displayFormat = 1;
  EXPECT_EQ(MeasureDraw.ValueToGridY(&half, 0), 93 - 15);
  SysRunInfo.displayFormat = 0;
  SysRunInfo.timeBaseType = 1;
  EXPECT_EQ(MeasureDraw.ValueToGridY(&half, 0), 306 - 35);
  SysRunInfo.timeBaseType = 0;
  SysRunInfo.funcBits |= 0x40000;
  SysRunInfo.independentSplit = 0;
  EXPECT_EQ(MeasureDraw.ValueToGridY(&half, 0), 233 - 50);
  SysRunInfo.independentSplit = 1;
  EXPECT_EQ(MeasureDraw.ValueToGridY(&half, 0), 133 - 25);
  EXPECT_EQ(MeasureDraw.ValueToGridY(&half, 1), 341 - 25);
  SysRunInfo.independentSplit = 0;
  SysRunInfo.funcBits &= ~uint64_t(0x40000);
  const FloatElement volt{-1.0, 2};
  EXPECT_EQ(MeasureDraw.ValueToGridY(&volt, 0), 233 + 100);
}
