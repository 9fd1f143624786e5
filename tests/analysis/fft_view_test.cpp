// The spectrum view on the simulated board: peak marks on a square wave's odd
// harmonics (frequencies and levels from the Fourier series of the applied
// signal), the shown span and its limits, each screen mode's areas by their
// pixels, the waterfall's rows, and the maps' and rings' bounds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "acquisition/acquire/task_acquire.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "analysis/fft/fft_display.h"
#include "analysis/fft/fft_marks.h"
#include "analysis/fft/fft_process.h"
#include "analysis/fft/fft_span.h"
#include "analysis/fft/fft_view.h"
#include "analysis/fft/math_fft_remote.h"
#include "analysis/math/math_calc.h"
#include "analysis/fft/math_fft_menu.h"
#include "analysis/math/task_math.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"
#include "tests/bench/fft_bench.h"
#include "tests/bench/screen_text.h"
#include "ui/draw/picture.h"
#include "ui/screen/qel_draw.h"

namespace {
const std::string g_startDir = [] {
  char buf[4096];
  return std::string(getcwd(buf, sizeof buf) ? buf : ".");
}();
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
constexpr double kPi = 3.14159265358979;
// 500 us/div: 8K points at 1 MSa/s; bins of 1e6 / 8192 Hz; 4095 bins shown
// over 700 columns.
constexpr double kRate = 1e6, kBin = kRate / 8192;
constexpr int kFundamentalBin = 41;
constexpr double kSqrt2 = 1.4142135623730951;

// A spectrum pixel: the map's red, with equal green and blue of at most a
// quarter of it (the grid is grey, the channels are other colours).
bool SpectrumPixel(uint32_t px) {
  const int r = px >> 16 & 0xFF, g = px >> 8 & 0xFF, b = px & 0xFF;
  return r >= 64 && g == b && g <= r / 4;
}

struct FftView_ : ::testing::Test {
  Bench b;
  void SetUp() override {
    ASSERT_EQ(b.Start(), 0);
    b.StopThreads();
    ShowFftOnDemand(b);
    plat::TestSignal s;
    s.shape = plat::SignalShape::kSquare;
    s.frequencyHz = kFundamentalBin * kBin;
    s.amplitudeV = 1.0;
    b.Fpga().SetSignal(0, s);
    FftMarksReset();
    SetMarkTypeSel(0);
  }
  void Frame() {
    WaveOp.RequestChData(3);
    ASSERT_TRUE(b.Fpga().AcquireNow());
    b.Pass();
    FftServeRequest(FftPara);
    b.Pass();
  }
  void Frames(int n) {
    for (int i = 0; i < n; ++i) Frame();
  }
  void Mode(int mode) {
    TaskMath.TaskMenu.SetMenuItem(kMathItemDisplayMode, uint64_t(mode));
    Math_FFT_DisplayModeSel(kNoKey);
    SetWaveTestSettings();  // the mode re-applied the time base
  }
  std::vector<uint32_t> Compose() {
    b.AdvanceMs(600);
    SysRunStatus.SetDrawRefresh();
    SysRunStatus.SetMenuDisplayTimeS(3);
    b.Pass();
    return b.Screen();
  }
  static int Count(const std::vector<uint32_t>& px, int r0, int r1, int c0, int c1) {
    int n = 0;
    for (int r = r0; r < r1; ++r)
      for (int c = c0; c < c1; ++c) n += SpectrumPixel(px[size_t(r) * 800 + c]);
    return n;
  }
  void Png(const std::string& name) { EXPECT_TRUE(b.WriteScreenPng(g_startDir + "/" + name + ".png")); }
};

// Harmonic k of a square of amplitude A: 4A / (k pi), read as its rms value
// (the window's gain taken out) on the Vrms scale.
double Harmonic(int k) { return 4 * 1.0 / (k * kPi) / kSqrt2; }

TEST_F(FftView_, AutoAndThresholdMarksOnTheOddHarmonics) {
  TaskMath.TaskMenu.SetMenuItem(30, 1);
  Math_FFT_Mark_Type(kNoKey);
  TaskMath.TaskMenu.SetMenuItem(37, 3);
  Math_FFT_MarkAuto_Points(kNoKey);
  Frames(3);
  ASSERT_EQ(FftMarkCount(), 3);
  const double hzPerColumn = kBin * 4095 / 700;
  EXPECT_NEAR(SysRunInfo.fft.hzPerColumn, hzPerColumn, 1e-6);
  for (int i = 0; i < 3; ++i) {
    const int k = 2 * i + 1;  // largest first: the fundamental, then 3 and 5
    SCOPED_TRACE(k);
    // The peak's bin lies in the mark's column or the one before it.
    EXPECT_NEAR(FftColumnHz(FftMarkColumn(i)), k * kFundamentalBin * kBin, 1.5 * hzPerColumn);
    EXPECT_NEAR(20 * std::log10(FftCodeValue(FftMarkCode(i)) / Harmonic(k)), 0, 0.5);
  }
  // Above 0.25 V: the fundamental and the third, in the order of frequency.
  TaskMath.TaskMenu.SetMenuItem(30, 2);
  Math_FFT_Mark_Type(kNoKey);
  SetMarkThreShold(0.25f);
  Frame();
  ASSERT_EQ(FftMarkCount(), 2);
  EXPECT_NEAR(FftColumnHz(FftMarkColumn(0)), kFundamentalBin * kBin, 1.5 * hzPerColumn);
  EXPECT_NEAR(FftColumnHz(FftMarkColumn(1)), 3 * kFundamentalBin * kBin, 1.5 * hzPerColumn);
  // The knob moves a remotely set level by a tenth of a code (1 V/div / 250).
  Math_FFT_MarkThreShold_Adj(keypara{MENU_KEY_KNOB_UP, 1, 1});
  EXPECT_NEAR(GetMarkThreShold(), 0.254, 1e-6);
  // The list shows them; the manual mark goes to the largest peak.
  SetMarkList(1);
  TaskMath.TaskMenu.SetMenuItem(30, 3);
  Math_FFT_Mark_Type(kNoKey);
  Math_FFT_MarkManual_SetToPeak(keypara{MENU_KEY_SELECT, 0, 0});
  Frame();
  EXPECT_NEAR(FftColumnHz(FftManualMarkColumn()), kFundamentalBin * kBin, 1.5 * hzPerColumn);
  const auto px = Compose();
  // The manual mark's red line runs down the area at its column.
  const int x = 30 + FftManualMarkColumn();
  int red = 0;
  for (int r = 40; r < 430; ++r) red += px[size_t(r) * 800 + x] == 0xFF0000;
  EXPECT_GT(red, 300);
  Png("fft_marks_manual");
}

// The enhanced page's cursor: set-to-peak puts it on the fundamental, the knob
// moves it with manual select on; it is drawn as a red line with its box,
// which flips to the left near the right edge.
TEST_F(FftView_, EnhancedMarkCursorByPixels) {
  Frames(2);  // the first spectra are not yet of the signal
  TaskMath.TaskMenu.SetMenuItem(85, 1);
  Math_FFT_MarkEnable(kNoKey);
  EXPECT_EQ(Math_FFT_MarkSetToPeak(kNoKey), 0);
  Frame();
  const double hzPerColumn = kBin * 4095 / 700;
  EXPECT_NEAR(FftColumnHz(GetMarkPos()), kFundamentalBin * kBin, 1.5 * hzPerColumn);
  auto redRows = [](const std::vector<uint32_t>& px, int x) {
    int n = 0;
    for (int r = 40; r < 430; ++r) n += px[size_t(r) * 800 + x] == 0xFF0000;
    return n;
  };
  auto darkRed = [](const std::vector<uint32_t>& px, int x) {
    int n = 0;
    for (int r = 36; r < 74; ++r) n += px[size_t(r) * 800 + x] == 0x800000;
    return n;
  };
  auto px = Compose();
  int x = 30 + GetMarkPos();
  EXPECT_GT(redRows(px, x), 300);
  EXPECT_GT(darkRed(px, x + 45), 20);  // the box right of the line
  EXPECT_LT(redRows(px, x + 20), 50);
  // Moving needs manual select (message 65 without it); then the knob moves
  // the cursor and the line follows it.
  QelMsg.ClearMessage();
  FFTMarkOp(keypara{MENU_KEY_KNOB_UP, 20, 1});
  EXPECT_EQ(QelMsg.GetMessageID(), 65);
  TaskMath.TaskMenu.SetMenuItem(90, 1);
  const int before = GetMarkPos();
  FFTMarkOp(keypara{MENU_KEY_KNOB_UP, 20, 1});
  EXPECT_EQ(GetMarkPos(), before + 20);
  QelMsg.ClearMessage();
  EXPECT_EQ(Math_FFT_MarkSetToPeak(kNoKey), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 66);
  SetMarkPos(600);
  Frame();
  px = Compose();
  EXPECT_GT(redRows(px, 30 + 600), 300);
  EXPECT_LT(redRows(px, x), 50);
  EXPECT_GT(darkRed(px, 30 + 600 - 45), 20);  // flipped left of the line
  EXPECT_EQ(darkRed(px, 30 + 600 + 45), 0);
  Png("fft_mark_cursor");
  // Enable off: no line.
  TaskMath.TaskMenu.SetMenuItem(85, 0);
  Math_FFT_MarkEnable(kNoKey);
  px = Compose();
  EXPECT_LT(redRows(px, 30 + 600), 50);
}

// In dBVrms the threshold, the trace and the mark readouts share one scale,
// plain dB of the rms value: a 2 V sine reads 20 log10(2 / sqrt 2) dBV
// (whichever window), is marked by a level just below it and not by one just
// above, and lies on the screen at 20 dB a division.
TEST_F(FftView_, DbThresholdOnTheShownScale) {
  plat::TestSignal s;
  s.shape = plat::SignalShape::kSine;
  s.frequencyHz = kFundamentalBin * kBin;
  s.amplitudeV = 2.0;
  b.Fpga().SetSignal(0, s);
  TaskMath.TaskMenu.SetMenuItem(kMathItemFftVertical, 1);
  Math_FFT_Vertical(kNoKey);
  EXPECT_EQ(Vertical.GetRealYsensitivity(kMathSlot), 16);  // 20 dB a division
  TaskMath.TaskMenu.SetMenuItem(30, 2);
  Math_FFT_Mark_Type(kNoKey);
  const double shown = 20 * std::log10(2.0 / kSqrt2);
  const double hzPerColumn = kBin * 4095 / 700;
  SetMarkThreShold(float(shown - 0.3));
  Frames(3);
  ASSERT_EQ(FftMarkCount(), 1);
  EXPECT_NEAR(FftColumnHz(FftMarkColumn(0)), kFundamentalBin * kBin, 1.5 * hzPerColumn);
  EXPECT_NEAR(FftCodeValue(FftMarkCode(0)), shown, 0.2);
  EXPECT_NEAR(FftMarkCode(0), 127 + shown * 25 / 20, 0.3);
  SetMarkThreShold(float(shown + 0.3));
  Frame();
  EXPECT_EQ(FftMarkCount(), 0);
}

TEST_F(FftView_, SpanLimitsAndTexts) {
  Frames(1);
  TaskMath.TaskMenu.SetCurrPage(66);
  // The start can not come within 10 bins of the end: message 7.
  EXPECT_TRUE(FftSetSpan(100, 200));
  QelMsg.ClearMessage();
  Math_FFT_StartFreq(keypara{MENU_KEY_KNOB_UP, 95, 1});
  EXPECT_EQ(SysRunInfo.fft.startBin, 190u);
  EXPECT_EQ(QelMsg.GetMessageID(), 7);
  // The end stops at the last bin; tracking moves both.
  TaskMath.TaskMenu.SetMenuItem(68, 1);
  FftSetSpan(4000, 4090);
  QelMsg.ClearMessage();
  Math_FFT_EndFreq(keypara{MENU_KEY_KNOB_UP, 9, 1});
  EXPECT_EQ(SysRunInfo.fft.endBin, 4095u);
  EXPECT_EQ(SysRunInfo.fft.startBin, 4005u);
  EXPECT_EQ(QelMsg.GetMessageID(), 7);
  // Centre and span: the span opens both ways.
  FftSetSpan(1000, 1100);
  Math_FFT_FreqBw(keypara{MENU_KEY_KNOB_UP, 5, 1});
  EXPECT_EQ(SysRunInfo.fft.startBin, 995u);
  EXPECT_EQ(SysRunInfo.fft.endBin, 1105u);
  EXPECT_STREQ(SysRunInfo.fft.startText, "121.46kHz");  // 995 x 122.0703125 Hz
  // The start item shows the same text.
  const MenuOption* shown = TaskMath.TaskMenu.GetMenuItemList(66);
  ASSERT_TRUE(shown && shown->text);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(shown->text)), u"121.46kHz");
  EXPECT_EQ(FftBinOfHz(1e6), 4095);  // above half the rate
  EXPECT_EQ(FftBinOfHz(1000.0), 8);  // 8.19 bins
  // The commands' way in: items 66 and 67 applied, held 10 bins apart.
  TaskMath.TaskMenu.SetMenuItem(66, 3000);
  TaskMath.TaskMenu.SetMenuItem(67, 3005);
  MathFftAdjFreq();
  EXPECT_EQ(SysRunInfo.fft.startBin, 3000u);
  EXPECT_EQ(SysRunInfo.fft.endBin, 3010u);
  FftSetSpan(0, 4095);
  EXPECT_STREQ(SysRunInfo.fft.label1, "71.43kHz/div  1.0V 4096 Points");
}

// Full: the whole area; split: the overview above (left half) with its
// bracket and the band below; independent: 500 columns from column 130.
TEST_F(FftView_, ScreenModeAreasByPixels) {
  Frames(3);
  auto px = Compose();
  const int peak = 30 + int(kFundamentalBin * kBin / SysRunInfo.fft.hzPerColumn + 0.5);
  EXPECT_GT(Count(px, 34, 233, peak - 1, peak + 2), 10);  // the fundamental rises above the centre
  Png("fft_mode_full");

  Mode(kFftSplit);
  Frames(3);
  px = Compose();
  int centre = 0, height = 0;
  SysRunStatus.GetWaveDisplayInfor(5, &centre, &height);
  EXPECT_EQ(centre, 333);
  EXPECT_EQ(height, 200);
  SysRunStatus.GetWaveDisplayInfor(0, &centre, &height);
  EXPECT_EQ(centre, 133);
  EXPECT_GT(Count(px, 34, 233, 30, 380), 100);            // the overview
  EXPECT_EQ(Count(px, 34, 233, 381, 730), 0);             // the time trace's half
  EXPECT_GT(Count(px, 234, 434, 30, 730), 300);           // the band
  EXPECT_GT(Count(px, 290, 330, peak - 1, peak + 2), 5);  // code 150: row 234 + 226 - 150
  // The bracket around the whole band: grey lines at both ends.
  EXPECT_EQ(px[size_t(100) * 800 + 30 + SysRunInfo.fft.overviewMark[1]], 0x808080u);
  Png("fft_mode_split");

  Mode(kFftIndependent);
  Frames(3);
  px = Compose();
  EXPECT_EQ(SysRunInfo.fft.columns, 500);
  EXPECT_EQ(Count(px, 34, 433, 35, 129), 0);
  EXPECT_GT(Count(px, 34, 433, 130, 630), 300);
  EXPECT_STREQ(SysRunInfo.fft.unitLabel, "V");
  // Text i sits beside the division line i + 1 below the top: 3 divisions of
  // 1 V above the centre, then the 0 V reference at the centre line.
  EXPECT_STREQ(SysRunInfo.fft.scaleText[0], "3.00");
  EXPECT_STREQ(SysRunInfo.fft.scaleText[3], "0.00");
  EXPECT_STREQ(SysRunInfo.fft.scaleText[6], "-3.00");
  Png("fft_mode_independent");
}

// Each frame adds one waterfall row, newest at the bottom of the upper area;
// a row is the main trace scaled between its own extremes.
TEST_F(FftView_, WaterfallRowsByPixels) {
  for (int mode : {kFftWaterfall1, kFftWaterfall2}) {
    SCOPED_TRACE(mode);
    Mode(mode);
    Frames(5);
    // The first acquisition after the time base was sent again is dropped.
    const int rows = GetWaterFallCnt();
    EXPECT_GE(rows, 4);
    EXPECT_EQ(FftView.label, "FFT Cnt: " + std::to_string(rows));
    const int columns = mode == kFftWaterfall1 ? 350 : 700;
    const uint8_t* row = FftView.waterfall + FftView.newest * kFftColumns;
    EXPECT_EQ(*std::max_element(row, row + columns), 255);
    EXPECT_EQ(*std::min_element(row, row + columns), 1);
    EXPECT_EQ(row[columns], 0);  // nothing past the line
    const auto px = Compose();
    const int* palette = QelDraw.WaterfallPalette();
    for (int i = 0; i < rows; ++i) {
      const uint8_t* line = FftView.waterfall + ((FftView.newest - i + 200) % 200) * kFftColumns;
      const int c = int(std::max_element(line, line + columns) - line);
      EXPECT_EQ(px[size_t(233 - i) * 800 + 30 + c], uint32_t(palette[255] ? palette[255] : 0xFF3F3F))
          << i << " " << c;
    }
    // Rows above the recorded ones stay as the grid left them.
    EXPECT_EQ(px[size_t(233 - rows) * 800 + 30 + 3], px[size_t(233 - 50) * 800 + 30 + 3]);
    // The frame count reads whole, left of the menu and its title tab.
    const std::string label = "FFT Cnt: " + std::to_string(rows);
    EXPECT_TRUE(ShowsAscii(b, label.c_str(), 1, 33, 30, 60, 650));
    Png(mode == kFftWaterfall1 ? "fft_mode_waterfall1" : "fft_mode_waterfall2");
  }
}

// The threshold marks' level item shows the level in the scale's unit: the
// knob's 0.01 dB steps, a remote level, and 0 V back on the Vrms scale.
TEST_F(FftView_, ThresholdItemShowsTheLevel) {
  ASSERT_EQ(0, StartScpiThread());
  TaskMath.TaskMenu.SetMenuItem(30, 2);  // threshold marks
  Math_FFT_Mark_Type(kNoKey);
  TaskMath.TaskMenu.SetCurrPage(40);
  const auto shows = [this](const char* text) {
    Compose();
    return ShowsAscii(b, text, 3, 238, 676, 280, 799);  // the third soft key's value
  };
  EXPECT_TRUE(shows("0.000 V"));
  ScpiQuery("FUNC:FFT:VTYP DBRMS\n", kScpiSourceTransport, 0);
  ASSERT_FALSE(ScpiQuery("FUNC:FFT:VTYP?\n").empty());
  EXPECT_TRUE(shows("0.000 db"));
  for (int i = 0; i < 3; ++i) b.Key(kKeySelectLeft);
  EXPECT_TRUE(shows("-0.030 db"));
  EXPECT_NEAR(std::stod(ScpiQuery("FUNC:FFT:MARK:THR:LEV?\n")), -0.03, 1e-6);
  ScpiQuery("FUNC:FFT:MARK:THR:LEV -10dB\n", kScpiSourceTransport, 0);
  ASSERT_FALSE(ScpiQuery("FUNC:FFT:VTYP?\n").empty());
  EXPECT_TRUE(shows("-10.000 db"));
  ScpiQuery("FUNC:FFT:VTYP VRMS\n", kScpiSourceTransport, 0);
  ASSERT_FALSE(ScpiQuery("FUNC:FFT:VTYP?\n").empty());
  EXPECT_TRUE(shows("0.000 V"));
  EXPECT_FALSE(shows("-10.000"));
}

// Stopped, the slice walks the recorded rows and the shown spectrum is the
// kept one of that row; the knob refuses while running.
TEST_F(FftView_, WaterfallSliceWhileStopped) {
  Mode(kFftWaterfall2);
  Frames(4);
  QelMsg.ClearMessage();
  Math_FFT_AdjWaterFall(keypara{MENU_KEY_KNOB_UP, 1, 1});
  EXPECT_EQ(QelMsg.GetMessageID(), 63);
  SysRunInfo.acqStatus[0] = kAcqStopped;
  TaskMath.TaskMenu.SetMenuItem(kMathItemWaterfallSlice, 1);
  Math_FFT_AdjWaterFall(keypara{MENU_KEY_KNOB_UP, 2, 1});
  EXPECT_EQ(TaskMath.TaskMenu.GetMenuItem(kMathItemWaterfallSlice), 3u);
  EXPECT_EQ(FftView.current, (FftView.newest - 2 + 200) % 200);
  const int rows = GetWaterFallCnt();
  Math_FFT_AdjWaterFall(
      keypara{MENU_KEY_KNOB_UP, int16_t(rows - 2), 1});  // past the last row: back to 1
  EXPECT_EQ(TaskMath.TaskMenu.GetMenuItem(kMathItemWaterfallSlice), 1u);
  EXPECT_EQ(FftWaterfallSlice(rows + 1), -1);  // beyond the recorded rows
  int n = 0;
  EXPECT_NE(FftHistoryRow(FftView.current, &n), nullptr);
  EXPECT_EQ(n, 4096);
}

// A sine in noise: the average trace's noise floor is smoother than one
// frame's, max-hold lies on or above and min-hold on or below every frame, and
// the average is drawn in its colour; the fundamental's level is kept.
TEST_F(FftView_, AverageAndHoldsOnANoisySine) {
  plat::TestSignal s;
  s.frequencyHz = kFundamentalBin * kBin;
  s.amplitudeV = 1.0;
  s.noiseV = 0.5;
  b.Fpga().SetSignal(0, s);
  for (int item : {21, 23, 25}) TaskMath.TaskMenu.SetMenuItem(item, 1);
  TaskMath.TaskMenu.SetMenuItem(kMathItemAverageSel, 4);  // 16 frames
  Frames(1);
  TaskMath.ClearFFTGrayScale();
  const auto spread = [](const float* t) {  // mean absolute step over the noise floor
    double sum = 0;
    for (int c = 100; c < 600; ++c) sum += std::fabs(t[c + 1] - t[c]);
    return sum / 500;
  };
  double frameSpread = 0;
  for (int i = 0; i < 12; ++i) {
    Frame();
    const float* main = TaskMath.MainTrace();
    const uint8_t* hold = WaveOp.GetSerrenMem(6);
    const uint8_t* low = WaveOp.GetSerrenMem(7);
    for (int c = 1; c < 700; ++c) {
      ASSERT_GE(hold[c] + 1, int(main[c])) << c;
      ASSERT_LE(low[c], int(main[c]) + 1) << c;
    }
    frameSpread += spread(main) / 12;
  }
  float avg[kFftTraceValues];
  const uint8_t* a = WaveOp.GetSerrenMem(5);
  std::copy(a, a + kFftTraceValues, avg);
  EXPECT_LT(spread(avg), frameSpread / 2);
  const int peak = int(std::max_element(avg + 1, avg + 700) - avg);
  EXPECT_NEAR(20 * std::log10((avg[peak] - 127) / 25.0 / (1.0 / kSqrt2)), 0, 0.5);
  for (int item : {23, 25}) TaskMath.TaskMenu.SetMenuItem(item, 0);  // the average alone on screen
  const auto px = Compose();
  // At the peak's height in its column, and along the floor.
  EXPECT_EQ(px[size_t(233 - int((avg[peak] - 127) * 2)) * 800 + 30 + peak], 0xFF8000u);
  int orange = 0;
  for (int r = 34; r < 433; ++r)
    for (int c = 31; c < 640; ++c) orange += px[size_t(r) * 800 + c] == 0xFF8000;
  EXPECT_GT(orange, 500);
  Png("fft_average_holds");
}

// Stopped, only a key recomputes the frame: the kept spectrum over the span
// in force.
TEST_F(FftView_, StoppedFrameRecomputesOnKeys) {
  Frames(3);
  const auto peakColumn = [] {
    const float* t = TaskMath.MainTrace();
    return int(std::max_element(t + 1, t + 700) - t);
  };
  const int before = peakColumn();
  SysRunInfo.acqStatus[0] = kAcqStopped;
  FftSetSpan(0, 409);  // a tenth of the spectrum: the fundamental ten times further right
  SysRunStatus.ClearPushKey();
  EXPECT_EQ(TaskMath.FFT_Process(), 0);
  EXPECT_EQ(peakColumn(), before);
  SysRunStatus.SetPushKey();
  EXPECT_EQ(TaskMath.FFT_Process(), 1);
  EXPECT_NEAR(peakColumn(), kFundamentalBin * 700.0 / 409, 3);
  // A still frame is drawn at one intensity.
  EXPECT_EQ(*std::max_element(FftView.mainMap, FftView.mainMap + kFftMapBytes), 200);
}

// Points beyond the record ask the acquire module for the next depth; 8K
// points from a 7000-point record do not.
TEST_F(FftView_, LongerFftDeepensTheMemory) {
  const auto depth = [](int index) {
    TaskAcquire.TaskMenu.SetMenuItem(kAcqMemDepth, uint64_t(index));
    SysRunInfo.memDepthIndex = uint16_t(index);
  };
  const auto asked = [] { return TaskAcquire.TaskMenu.GetMenuItem(kAcqMemDepth); };
  depth(1);  // 7000 points
  AdjMemDepth();
  EXPECT_EQ(asked(), 1u);
  depth(2);  // 70000 points
  TaskMath.TaskMenu.SetMenuItem(kMathItemFftPoints, 4);
  Math_FFT_Points(kNoKey);
  ASSERT_EQ(SysRunInfo.fft.points, 131072u);
  AdjMemDepth();
  EXPECT_EQ(asked(), 3u);
}

// Waterfall entry warns of its 64K limit and greys the longer point counts;
// a zoomed time base has no split or waterfall view.
TEST_F(FftView_, ModeMessagesAndZoom) {
  TaskMath.TaskMenu.SetMenuItem(kMathItemDisplayMode, 2);
  QelMsg.ClearMessage();
  for (uint16_t key : {uint16_t(MENU_KEY_F1), uint16_t(MENU_KEY_KNOB_DOWN), uint16_t(MENU_KEY_SELECT)})
    Math_FFT_DisplayModeSel(keypara{key, 1, 1});  // the list opened, the next choice taken
  EXPECT_EQ(SysRunInfo.fft.screen, 3);
  EXPECT_EQ(QelMsg.GetMessageID(), 111);
  EXPECT_EQ(TaskMath.TaskMenu.GetItemParaAttribute(kMathItemFftPoints), 0xF0);
  EXPECT_FALSE(TaskMath.TaskMenu.ItemDisabled(kMathItemWaterfallSlice));
  SysRunInfo.timeBaseType = 1;
  QelMsg.ClearMessage();
  TaskMath.TaskMenu.SetMenuItem(kMathItemDisplayMode, 1);
  Math_FFT_DisplayModeSel(kNoKey);
  EXPECT_EQ(SysRunInfo.fft.screen, 0);
  EXPECT_EQ(QelMsg.GetMessageID(), 96);
  int centre = 0, height = 0;
  SysRunStatus.GetWaveDisplayInfor(5, &centre, &height);
  EXPECT_EQ(centre, 305);
  EXPECT_EQ(height, 280);
  EXPECT_TRUE(TaskMath.TaskMenu.ItemDisabled(kMathItemWaterfallSlice));
  // The zoomed view: the spectrum is squeezed into the zoom area's rows.
  Frames(3);
  const auto px = Compose();
  EXPECT_EQ(Count(px, 34, 160, 30, 640), 0);
  EXPECT_GT(Count(px, 165, 446, 30, 640), 300);
  Png("fft_zoom");
}

// A flat line has no range: its row lies at 1; spectra longer than a history
// row are not kept; code 227 (above the map's top row) is drawn in row 0.
TEST(FftViewBounds, FlatLineLongSpectrumAndTopCode) {
  float flat[kFftTraceValues];
  std::fill(flat, flat + kFftTraceValues, 5.0f);
  ClearFFTWaterFall();
  WaterFall(4, flat, true);
  const uint8_t* row = FftView.waterfall + FftView.newest * kFftColumns;
  EXPECT_TRUE(std::all_of(row, row + kFftColumns, [](uint8_t v) { return v == 1; }));
  std::vector<float> big(524288, 1.0f);
  FftHistoryStore(199, big.data(), int(big.size()));
  EXPECT_EQ(FftHistoryRow(199, nullptr), nullptr);
  std::fill(flat, flat + kFftTraceValues, 227.0f);
  FftGrayPara g;
  GrayMapping(flat, FftView.mainMap, g);
  EXPECT_EQ(FftView.mainMap[5], 100 - 20);  // one increment, one decay
  g.stopped = true;
  GrayMapping(flat, FftView.mainMap, g);
  EXPECT_EQ(FftView.mainMap[5], 200);
}
}  // namespace

// The mark list is its panel picture left of the soft menu: switching it on
// changes only the pixels of its panel (none under the menu and its title
// tab, columns 650 on, none about it; the status texts below and the live
// channel traces may move meanwhile),
// opaque it shows the picture's own pixels, with the display's transparency
// the picture blended over what lay beneath (page 23/128 + panel 210/256).
TEST_F(FftView_, MarkListIsItsPictureClearOfTheMenu) {
  Picture pic;
  const PicPath list[] = {{0, "Data/PicResource/Math/FFTMarkList.bmp", -1, -1}, {0xFFFF, "", -1, -1}};
  ASSERT_EQ(pic.LoadPicture(list), 1);
  const PicInfo* p = pic.GetPictureMsg(0);
  ASSERT_TRUE(p && p->pixels);
  EXPECT_EQ(p->width, kFftListWidth);
  EXPECT_EQ(p->height, kFftListHeight);
  EXPECT_LE(kFftListColumn + kFftListWidth, 650);  // the menu title tab
  TaskMath.TaskMenu.SetMenuItem(30, 1);
  Math_FFT_Mark_Type(kNoKey);
  TaskMath.TaskMenu.SetMenuItem(37, 10);
  Math_FFT_MarkAuto_Points(kNoKey);
  Frames(3);
  ASSERT_GT(FftMarkCount(), 8);
  SysRunInfo.acqStatus[0] = kAcqStopped;  // the spectrum stands still between the screens
  for (int transparent : {0, 1}) {
    SCOPED_TRACE(transparent);
    SysRunInfo.transparent = uint16_t(transparent);
    SetMarkList(0);
    const auto off = Compose();
    SetMarkList(1);
    const auto on = Compose();
    int changed = 0, outside = 0, same = 0;
    for (int r = 0; r < 480; ++r)
      for (int c = 0; c < 800; ++c) {
        const uint32_t was = off[size_t(r) * 800 + c], is = on[size_t(r) * 800 + c];
        if (was == is) continue;
        // The live channel traces (CH1 cyan, CH2 yellow) move meanwhile.
        const bool trace = was == 0x00CCCC || is == 0x00CCCC || was == 0xFFCC00 || is == 0xFFCC00;
        ++changed;
        const bool inside = r >= kFftListRow && r < kFftListRow + kFftListHeight && c >= kFftListColumn &&
                            c < kFftListColumn + kFftListWidth;
        const bool near = r >= kFftListRow - 20 && r < kFftListRow + kFftListHeight + 20 &&
                          c >= kFftListColumn - 20 && c < kFftListColumn + kFftListWidth + 20;
        if (!inside && !trace && (near || c >= 650) && outside++ < 5)
          ADD_FAILURE() << "changed at row " << r << " column " << c << std::hex << " from " << off[size_t(r) * 800 + c]
                        << " to " << on[size_t(r) * 800 + c];
      }
    EXPECT_GT(changed, kFftListWidth * kFftListHeight / 2);
    EXPECT_EQ(outside, 0);
    for (int y = 0; y < p->height; ++y)
      for (int x = 0; x < p->width; ++x) {
        const size_t at = size_t(kFftListRow + y) * 800 + size_t(kFftListColumn + x);
        uint32_t want = p->pixels[y * p->width + x];
        if (transparent) {
          uint32_t blended = 0;
          for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t a = want >> shift & 0xFF, b = off[at] >> shift & 0xFF;
            blended |= (((a * 210) >> 8) + ((b * 23) >> 7)) << shift;
          }
          want = blended;
        }
        same += (on[at] & 0xFFFFFF) == want;
      }
    // All but the texts and the scroll mark.
    EXPECT_GT(same, p->width * p->height * 8 / 10);
  }
  Png("fft_mark_list");
}

// dBVrms starts at 20 dB a division: a full-scale sine (four divisions of
// 500 mV) and the floor of its spectrum both lie inside the area. At 1 dB a
// division the trace clips, but the marks read the spectrum: the largest is
// the sine's rms in dB, and the others lie far below the clipped bottom
// (-4.9 dB) instead of on it.
TEST_F(FftView_, DbScaleShowsTheSineAndItsFloorMarksReadTheSpectrum) {
  plat::TestSignal s;
  s.frequencyHz = kFundamentalBin * kBin;
  s.amplitudeV = 2.0;
  b.Fpga().SetSignal(0, s);
  TaskMath.TaskMenu.SetMenuItem(kMathItemFftVertical, 1);
  Math_FFT_Vertical(kNoKey);
  TaskMath.TaskMenu.SetMenuItem(30, 1);
  Math_FFT_Mark_Type(kNoKey);
  TaskMath.TaskMenu.SetMenuItem(37, 4);
  Math_FFT_MarkAuto_Points(kNoKey);
  Frames(3);
  const float* t = TaskMath.MainTrace();
  std::vector<float> columns(t + 1, t + 700);
  const float peak = *std::max_element(columns.begin(), columns.end());
  std::nth_element(columns.begin(), columns.begin() + 349, columns.end());
  const float floor = columns[349];
  EXPECT_GT(peak, 127);
  EXPECT_LT(peak, 227);
  EXPECT_GT(floor, 27);
  EXPECT_LT(floor, peak - 25 * 2);  // two divisions below the sine at least
  const double rmsDb = 20 * std::log10(2.0 / kSqrt2);
  Vertical.SetRealYsensitivity(kMathSlot, 12);  // 1 dB a division
  Frames(2);
  ASSERT_EQ(FftMarkCount(), 4);
  EXPECT_NEAR(FftCodeValue(FftMarkCode(0)), rmsDb, 0.5);
  for (int i = 1; i < 4; ++i) EXPECT_LT(FftCodeValue(FftMarkCode(i)), -20) << i;
  EXPECT_EQ(*std::min_element(TaskMath.MainTrace() + 1, TaskMath.MainTrace() + 700), 5.0f);  // clipped
}

// The detector keywords reach the spectrum and both pages show them: the
// negative-peak trace lies at or below the positive-peak one (and below it
// where a column spans leakage), the average trace follows its own detector
// and offers its depth, max-hold and min-hold restart when their detector
// changes, the enhanced pages' items write the same choice, and the Enable
// item greys the enhanced pages and switches traces, marks and modes off.
TEST_F(FftView_, DetectorItemsReachTheSpectrum) {
  Menu& m = TaskMath.TaskMenu;
  auto set = [&](int item, int v, int (*handler)(keypara)) {
    m.SetMenuItem(item, uint64_t(v));
    handler(kNoKey);
  };
  set(kMathItemFftVertical, 1, Math_FFT_Vertical);  // dB: the floor's bins differ
  Frames(3);
  std::vector<float> ppeak(TaskMath.MainTrace(), TaskMath.MainTrace() + 700);
  set(kMathItemRealTime, 1, Math_FFT_DetectionMode_RealTime);  // NPEAK
  EXPECT_EQ(MenuValue(TaskMath, 80), 1);
  Frames(2);
  const float* npeak = TaskMath.MainTrace();
  int below = 0;
  for (int c = 1; c < 700; ++c) {
    ASSERT_LE(npeak[c], ppeak[c] + 0.5f) << c;
    below += npeak[c] < ppeak[c] - 3;
  }
  EXPECT_GT(below, 100);
  // The average on the positive peak while the main trace is the negative.
  set(kMathItemAverageOn, 1, Math_FFT_DetectionMode_Average);
  EXPECT_FALSE(m.ItemDisabled(kMathItemAverageSel));
  EXPECT_EQ(MenuValue(TaskMath, 81), 1);
  EXPECT_EQ(MenuValue(TaskMath, 75), MenuValue(TaskMath, kMathItemAverageSel));
  Frames(3);
  const uint8_t* avg = WaveOp.GetSerrenMem(5);
  int above = 0;
  for (int c = 1; c < 700; ++c) above += avg[c] > TaskMath.MainTrace()[c] + 3;
  EXPECT_GT(above, 100);
  // Max-hold on the sample detector: its trace restarts empty.
  set(kMathItemMaxHold, 3, Math_FFT_DetectionMode_MaxHold);
  EXPECT_EQ(MenuValue(TaskMath, 82), 3);
  EXPECT_EQ(MenuValue(TaskMath, 76), 1);
  Frame();
  EXPECT_GT(*std::max_element(WaveOp.GetSerrenMem(6), WaveOp.GetSerrenMem(6) + 700), 100);  // the fundamental, -0.9 dBV
  // The enhanced pages write the same choice: min-hold on, max-hold off.
  set(77, 1, Math_SpectrumTraces_MinHold);
  EXPECT_EQ(MenuValue(TaskMath, kMathItemMinHold), 2);  // the main trace's detector, + 1
  set(82, 0, FFT_DetectionMaxHold);
  EXPECT_EQ(MenuValue(TaskMath, kMathItemMaxHold), 0);
  EXPECT_EQ(MenuValue(TaskMath, 76), 0);
  EXPECT_EQ(*std::max_element(WaveOp.GetSerrenMem(6), WaveOp.GetSerrenMem(6) + 1400), 0);  // display cleared
  set(75, 0, Math_SpectrumTraces_Average);
  EXPECT_EQ(MenuValue(TaskMath, kMathItemAverageOn), 0);
  EXPECT_TRUE(m.ItemDisabled(kMathItemAverageSel));
  // Enable: on offers the enhanced pages and three display modes; off greys
  // them and switches the extra traces, the marks and the display mode off.
  m.SetMenuItem(kMathItemDisplayMode, 1);
  Math_FFT_DisplayModeSel(kNoKey);
  m.SetMenuItem(30, 1);
  Math_FFT_Mark_Type(kNoKey);
  m.SetMenuItem(55, 0);
  Math_FFT_EnhancedEnable(keypara{MENU_KEY_F1, 0, 0});  // one press: on
  EXPECT_EQ(MenuValue(TaskMath, 55), 1);
  for (int n : {56, 57, 58}) EXPECT_FALSE(m.ItemDisabled(n)) << n;
  EXPECT_EQ(uint32_t(m.GetItemParaAttribute(kMathItemDisplayMode)) & 0x1F, 0x18u);
  Math_FFT_EnhancedEnable(keypara{MENU_KEY_F1, 0, 0});  // off
  for (int n : {56, 57, 58}) EXPECT_TRUE(m.ItemDisabled(n)) << n;
  EXPECT_EQ(uint32_t(m.GetItemParaAttribute(kMathItemDisplayMode)) & 0x1F, 0x1Cu);
  EXPECT_EQ(MenuValue(TaskMath, kMathItemMinHold), 0);
  EXPECT_EQ(MenuValue(TaskMath, 30), 0);
  EXPECT_EQ(GetMarkTypeSel(), 0);
  EXPECT_EQ(SysRunInfo.fft.screen, 0);
}

namespace {
// A mark's amplitude in Vrms carries the unit of the FFT source's channel.
TEST_F(FftView_, MarkAmplitudeTakesTheSourcesUnit) {
  TaskMath.TaskMenu.SetMenuItem(kMathItemFftVertical, 0);  // Vrms
  char text[32];
  Vertical.SetChUnit(0, 1);  // amperes
  FftValueText(150.0f, text, sizeof text);
  EXPECT_EQ(std::string(text).substr(std::string(text).size() - 2), " A") << text;
  Vertical.SetChUnit(0, 0);
  FftValueText(150.0f, text, sizeof text);
  EXPECT_EQ(std::string(text).substr(std::string(text).size() - 2), " V") << text;
}
}  // namespace
