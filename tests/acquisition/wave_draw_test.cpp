// The wave area on the simulated board's screen: graticule in the grid grey,
// live traces of the test signals as vectors, dots and the intensity raster.
// Each test writes a PNG of its screen into the working directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "acquisition/channel/task_ch1.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "core/board/control.h"
#include "core/state/sys_run_info.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_draw.h"

namespace {
const std::string g_startDir = [] {
  char buf[4096];
  return std::string(getcwd(buf, sizeof buf) ? buf : ".");
}();

constexpr uint32_t kCh1 = 0x00CCCC, kCh2 = 0xFFCC00;
constexpr int kLeft = 30, kCentre = 233;

struct WaveDraw_ : ::testing::Test {
  Bench b;
  void SetUp() override {
    ASSERT_EQ(b.Start(), 0);
    b.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SetWaveTestSettings();
    SysRunInfo.horiPoints = 1;
    On(1);
    b.AdvanceMs(4000);  // past the line shown while a channel's offset moves
  }
  void On(int mask) {
    SysRunInfo.sourceOn = uint16_t(mask);
    SysRunInfo.activeCh = 0;
    QelControl.SetChPriority(&SysRunInfo);
  }
  // Acquisitions, each read and composed into a frame.
  void Frames(int n = 3) {
    for (int i = 0; i < n; ++i) {
      WaveOp.RequestChData(SysRunInfo.sourceOn & 3);
      ASSERT_TRUE(b.Fpga().AcquireNow());
      SysRunStatus.SetDrawRefresh();
      b.Pass();
    }
  }
  void Png(const std::string& name) { EXPECT_TRUE(b.WriteScreenPng(g_startDir + "/" + name + ".png")); }
  // Rows of column `col` in the wave area whose pixel is `colour`.
  std::pair<int, int> Span(int col, uint32_t colour) const {
    int top = -1, bottom = -1;
    for (int r = 33; r < 434; ++r)
      if (b.Pixel(r, col) == colour) {
        if (top < 0) top = r;
        bottom = r;
      }
    return {top, bottom};
  }
};

plat::TestSignal Sine(double amplitude) {
  plat::TestSignal s;
  s.amplitudeV = amplitude;
  return s;
}

// Screen column of trace column x; a 2 Vpp sine at 500 mV/div peaks 100 px
// above the centre a quarter period after the trigger (x = 375) and dips
// 100 px below it a quarter period before (x = 325); the tests look one
// column later, off the graticule's dots.
int Col(int x) { return kLeft + x; }

TEST_F(WaveDraw_, RasterShowsTheSineInTheCh1PaletteAtItsRows) {
  Frames();
  Png("wave-live");
  int* palette = nullptr;
  ASSERT_EQ(QelDraw.GetQelGrayscaleInfo(nullptr, 0, &palette), 0);
  // Every lit raster byte of one channel indexes its palette, two screen rows
  // per raster row.
  int lit = 0, matched = 0;
  for (int r = 0; r < 200; ++r)
    for (int x = 0; x < 700; x += 7) {
      const uint8_t v = QelWaveData[r * 700 + x];
      if (!v) continue;
      ++lit;
      matched += b.Pixel(33 + 2 * r, Col(x)) == uint32_t(palette[v]) &&
                 b.Pixel(34 + 2 * r, Col(x)) == uint32_t(palette[v]);
    }
  ASSERT_GT(lit, 50);
  EXPECT_GT(matched, lit * 9 / 10);  // the rest lie under the graticule's dots
  // The raster's peak and trough rows: code 177 on row 133, code 77 on row 333.
  EXPECT_NE(QelWaveData[50 * 700 + 376], 0);
  EXPECT_EQ(b.Pixel(134, Col(376)), uint32_t(palette[QelWaveData[50 * 700 + 376]]));
  EXPECT_EQ(b.Pixel(131, Col(376)), 0u);
  EXPECT_NE(QelWaveData[150 * 700 + 326], 0);
  EXPECT_EQ(b.Pixel(334, Col(326)), uint32_t(palette[QelWaveData[150 * 700 + 326]]));
}

TEST_F(WaveDraw_, VectorsDrawTheSineInTheCh1ColourAndDotsOnlyItsEnds) {
  SysRunStatus.SetWaveType(2);
  Frames();
  Png("wave-live-vectors");
  EXPECT_EQ(Span(Col(376), kCh1).first, kCentre - 100);
  EXPECT_EQ(Span(Col(326), kCh1).second, kCentre + 100);
  // Just after the rising crossing at the trigger column: a steep vector
  // joining the column's minimum and maximum near the centre.
  const auto cross = Span(Col(352), kCh1);
  EXPECT_GE(cross.second - cross.first, 3);
  EXPECT_NEAR(cross.first, kCentre, 20);
  int vectorPixels = 0;
  for (int r = 33; r < 434; ++r) vectorPixels += b.Pixel(r, Col(352)) == kCh1;

  SysRunInfo.displayType = 1;  // dots
  Frames(1);
  int dotPixels = 0;
  for (int r = 33; r < 434; ++r) dotPixels += b.Pixel(r, Col(352)) == kCh1;
  EXPECT_GT(vectorPixels, 2);
  EXPECT_GE(dotPixels, 1);
  EXPECT_LE(dotPixels, 2);
  EXPECT_EQ(Span(Col(376), kCh1).first, kCentre - 100);
}

TEST_F(WaveDraw_, Ch2IsDrawnInItsColourWhenOn) {
  SysRunStatus.SetWaveType(2);
  b.Fpga().SetSignal(1, Sine(0.5));  // 1 Vpp: +- 1 division
  On(3);
  Frames();
  Png("wave-live-both");
  EXPECT_EQ(Span(Col(376), kCh2).first, kCentre - 50);
  EXPECT_EQ(Span(Col(326), kCh2).second, kCentre + 50);
  EXPECT_EQ(Span(Col(376), kCh1).first, kCentre - 100);

  On(1);
  Frames(1);
  EXPECT_EQ(Span(Col(376), kCh2).first, -1);  // off: not drawn
}

TEST_F(WaveDraw_, GraticuleFollowsItsSetting) {
  Frames(1);
  const uint32_t grid = uint32_t(QelDraw.GetGridColor());
  ASSERT_NE(grid, 0u);
  // Division lines dotted every 5 columns and every 10 rows; the centre cross.
  EXPECT_EQ(b.Pixel(83, 100), grid);
  EXPECT_EQ(b.Pixel(83, 102), 0u);
  EXPECT_EQ(b.Pixel(43, 80), grid);
  EXPECT_EQ(b.Pixel(233, 100), grid);
  EXPECT_EQ(b.Pixel(43, 380), grid);
  EXPECT_EQ(b.Pixel(33, 200), grid);  // the frame's top edge

  SysRunInfo.graticule = 2;  // centre cross only
  Frames(1);
  EXPECT_EQ(b.Pixel(83, 100), 0u);
  EXPECT_EQ(b.Pixel(232, 100), grid);
  EXPECT_EQ(b.Pixel(43, 379), grid);

  SysRunInfo.graticule = 3;  // none inside the frame
  Frames(1);
  int gridPixels = 0;
  for (int r = 35; r < 431; ++r)
    for (int c = 32; c < 728; ++c) gridPixels += b.Pixel(r, c) == grid;
  EXPECT_EQ(gridPixels, 0);
}

TEST_F(WaveDraw_, BothChannelsRasterUsesTheChannelBitAndTwiceTheLevel) {
  On(3);
  Frames(1);
  int* palette1 = nullptr;
  ASSERT_EQ(QelDraw.GetQelGrayscaleInfo(nullptr, 1, &palette1), 0);
  QelWaveData[10 * 700 + 100] = 0x85;  // level 5, CH2
  QelDraw.DrawWave();
  const uint32_t* page = QelDraw.GetDrawAddr(DRAW_CURRENT);
  EXPECT_EQ(page[(33 + 20) * 800 + Col(100)], uint32_t(palette1[10]));
  EXPECT_EQ(page[(34 + 20) * 800 + Col(100)], uint32_t(palette1[10]));
}

TEST_F(WaveDraw_, TraceColumnsClipToTheGridAndOffGridColumnsAreSkipped) {
  Frames(1);
  // A reference wave in slot 8 is drawn as vectors even over the raster.
  uint8_t* ref = WaveOp.GetSerrenMem(8);
  ASSERT_NE(ref, nullptr);
  std::fill(ref, ref + 1400, 0);
  ref[10] = 130, ref[700 + 10] = 20;  // drawn from the clipped code 27
  ref[11] = 20, ref[700 + 11] = 20;   // below the grid: not drawn
  ref[12] = 227, ref[700 + 12] = 227;
  SysRunInfo.sourceOn |= 1 << 8;
  SysRunInfo.displayType = 0;
  QelDraw.DrawWave();
  const uint32_t* page = QelDraw.GetDrawAddr(DRAW_CURRENT);
  auto at = [&](int row, int x) { return page[row * 800 + Col(x)]; };
  constexpr uint32_t kRef = 0x08A5A5;
  EXPECT_EQ(at(227, 10), kRef);
  EXPECT_EQ(at(433, 10), kRef);
  EXPECT_NE(at(226, 10), kRef);
  for (int r = 33; r < 440; ++r) EXPECT_NE(at(r, 11), kRef) << r;
  EXPECT_EQ(at(33, 12), kRef);
}
// ---- coupling, invert and the run status on screen ----

// Runs a CH1 menu item's handler with a value, as its key would.
void Ch1Item(int item, int value, int (*handler)(keypara)) {
  TaskCh1.TaskMenu.SetMenuItem(item, uint64_t(value));
  handler(keypara{KEY_NO_KEY, 0, 0});
}

// Screen row of a sample code (two rows a code, code 127 on the centre).
int RowOf(int code) { return kCentre + 2 * (127 - code); }

TEST_F(WaveDraw_, AGroundedChannelIsAFlatLineAtItsPositionWhateverTheSignal) {
  Ch1Item(0, 2, Ch1_Coupling);  // GND
  Vertical.SetRealYposition(0, 150);
  Vertical.AdjYPosition(0, 0);
  b.AdvanceMs(4000);
  for (int type : {2, 1}) {
    SysRunStatus.SetWaveType(type);
    for (double amplitude : {1.0, 0.3}) {
      b.Fpga().SetSignal(0, Sine(amplitude));
      Frames();
      Png(type == 2 ? "wave-ground-vectors" : "wave-ground-raster");
      for (int x = 20; x < 650; x += 50) {
        if (type == 2) {
          const auto span = Span(Col(x) + 1, kCh1);
          EXPECT_NEAR(span.first, RowOf(150), 1) << x;
          EXPECT_NEAR(span.second, RowOf(150), 1) << x;
        } else {
          for (int r = 0; r < 200; ++r)
            EXPECT_EQ(QelWaveData[r * 700 + x] != 0, r == 227 - 150) << x << " row " << r;
          EXPECT_NE(b.Pixel(33 + 2 * (227 - 150), Col(x) + 1), 0u);
        }
      }
    }
  }
}

TEST_F(WaveDraw_, AnInvertedChannelIsDrawnUpsideDown) {
  // Narrow positive pulses (10 % high) from -1 V to +1 V: the trace rests at
  // -1 V, two divisions below the centre; inverted it rests two above.
  plat::TestSignal pulse;
  pulse.shape = plat::SignalShape::kPulse;
  b.Fpga().SetSignal(0, pulse);
  auto resting = [&](int type, int code) {  // columns whose trace lies at `code` (+-1)
    int n = 0;
    for (int x = 20; x < 650; x += 5) {
      bool lit = false;
      for (int c = code - 1; c <= code + 1; ++c)
        lit = lit || (type == 2 ? b.Pixel(RowOf(c), Col(x) + 1) == kCh1 : QelWaveData[(227 - c) * 700 + x] != 0);
      n += lit;
    }
    return n;
  };
  constexpr int kColumns = 126, kLow = 77, kHigh = 177;
  for (int type : {2, 1}) {
    SysRunStatus.SetWaveType(type);
    Ch1Item(3, 0, Ch1_Invert);
    b.AdvanceMs(4000);
    Frames();
    EXPECT_GT(resting(type, kLow), kColumns * 3 / 4) << type;
    EXPECT_LT(resting(type, kHigh), kColumns / 4) << type;
    Ch1Item(3, 1, Ch1_Invert);
    b.AdvanceMs(4000);
    Frames();
    Png(type == 2 ? "wave-invert-vectors" : "wave-invert-raster");
    EXPECT_GT(resting(type, kHigh), kColumns * 3 / 4) << type;
    EXPECT_LT(resting(type, kLow), kColumns / 4) << type;
  }
}

TEST_F(WaveDraw_, TheStatusBoxShowsTriggeredWhileTheSignalCrossesTheLevel) {
  auto box = [&] {
    std::vector<uint32_t> v;
    for (int r = 3; r < 23; ++r)
      for (int c = 4; c < 54; ++c) v.push_back(b.Pixel(r, c));
    return v;
  };
  Frames();
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), 2);  // triggered
  const auto triggered = box();
  Png("status-triggered");
  plat::TestSignal dc;
  dc.shape = plat::SignalShape::kDc;
  b.Fpga().SetSignal(0, dc);  // nothing crosses the level: auto
  Frames();
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), 1);
  EXPECT_NE(box(), triggered);
  b.Fpga().SetSignal(0, Sine(1.0));
  Frames();
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), 2);
  EXPECT_EQ(box(), triggered);
}
}  // namespace
