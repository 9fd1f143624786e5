// The FFT frame on the simulated board: a sine on CH1 read at the FFT rate,
// transformed by the worker, reduced to screen columns: its peak in the column
// of its frequency with the height the window's gain and the Vrms scale give;
// the max-hold trace keeps the peak after the signal goes; an offset reads
// its own value in the DC bin. The record is read whichever way the traces
// are drawn (raster or vectors).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/engine/wave.h"
#include "analysis/fft/fft_process.h"
#include "analysis/math/task_math.h"
#include "core/state/ids.h"
#include "acquisition/models/x_system.h"
#include "core/state/sys_run_info.h"
#include "core/state/wave_types.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"
#include "tests/bench/fft_bench.h"

namespace {
struct MathFft : ::testing::Test {
  Bench b;
  void SetUp() override {
    ASSERT_EQ(b.Start(), 0);
    b.StopThreads();
    ShowFftOnDemand(b);
  }
  // One acquisition, the worker's transform, and the pass that takes it.
  void Frame() {
    WaveOp.RequestChData(3);
    ASSERT_TRUE(b.Fpga().AcquireNow());
    b.Pass();
    FftServeRequest(FftPara);
    b.Pass();
  }
  static int PeakColumn(const float* t) { return int(std::max_element(t + 1, t + 700) - t); }
};

// 500 us/div: 100 kSa/s of screen points, 8K points at ten times that:
// 1 MSa/s, half a megahertz over 700 columns. 1 V (50 codes at 500 mV/div)
// reads its rms value, 0.707 V, 17.7 codes above the centre on the math
// channel's 1 V/div.
TEST_F(MathFft, SinePeakInItsColumnAtItsHeight) {
  plat::TestSignal s;
  s.frequencyHz = 410 * 1e6 / 8192;  // on bin 410
  s.amplitudeV = 1.0;
  b.Fpga().SetSignal(0, s);
  for (int i = 0; i < 3; ++i) Frame();
  EXPECT_DOUBLE_EQ(TaskMath.GetFFTDataSample(), 1e6);
  const float* t = TaskMath.MainTrace();
  const double hzPerColumn = 5e5 * 4095.0 / 4096 / 700;
  EXPECT_NEAR(PeakColumn(t), s.frequencyHz / hzPerColumn, 1.5);
  EXPECT_NEAR(t[PeakColumn(t)], 127 + 25 / std::sqrt(2.0), 0.5);
  EXPECT_EQ(SysRunInfo.fft.newSpectrum, 1);
  // Max-hold keeps the peak once the signal is gone.
  TaskMath.TaskMenu.SetMenuItem(23, 1);
  Frame();
  s.amplitudeV = 0;
  b.Fpga().SetSignal(0, s);
  for (int i = 0; i < 3; ++i) Frame();
  EXPECT_LT(TaskMath.MainTrace()[PeakColumn(t)], 130);
  const uint8_t* hold = WaveOp.GetSerrenMem(6);
  EXPECT_NEAR(*std::max_element(hold, hold + 700), 127 + 25 / std::sqrt(2.0), 1);
}

// Start-up paints the raster (wave type 1): the spectrum's record is read
// with the channels' records all the same.
TEST(MathFftStartUp, SpectrumWithTheRaster) {
  Bench b;
  ASSERT_EQ(b.Start(), 0);
  b.StopThreads();
  b.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  ASSERT_EQ(SysRunInfo.waveType, kWaveRaster);
  TimeBase.SetRealTimeBaseS(0, 0.0005);
  SysRunInfo.sourceOn = 1;
  b.Key(kKeyMath);
  TaskMath.TaskMenu.SetMenuItem(kMathItemType, kMathFft);
  Math_Type(keypara{KEY_NO_KEY, 0, 0});
  plat::TestSignal s;
  s.frequencyHz = 410 * 1e6 / 8192;  // on bin 410 at 1 MSa/s
  s.amplitudeV = 1.0;
  b.Fpga().SetSignal(0, s);
  for (int i = 0; i < 3; ++i) {
    WaveOp.RequestChData(1);
    ASSERT_TRUE(b.Fpga().AcquireNow());
    b.Pass();
    FftServeRequest(FftPara);
    b.Pass();
  }
  const float* t = TaskMath.MainTrace();
  const int peak = int(std::max_element(t + 1, t + 700) - t);
  EXPECT_NEAR(peak, s.frequencyHz / (5e5 * 4095.0 / 4096 / 700), 1.5);
  EXPECT_GT(t[peak], 127 + 10);
}
}  // namespace

// Cursors on the spectrum over SCPI read the spectrum drawn: the peak at its
// rms value, a column of no signal at 0 V (not the empty math slot's code 0).
TEST_F(MathFft, CursorsReadTheSpectrumDrawn) {
  plat::TestSignal s;
  s.frequencyHz = 410 * 1e6 / 8192;  // on bin 410
  s.amplitudeV = 1.0;
  b.Fpga().SetSignal(0, s);
  ASSERT_EQ(0, StartScpiThread());
  auto ask = [](const std::string& line) {
    return std::strtod(ScpiQuery(line + "\n").c_str(), nullptr);
  };
  auto set = [&](const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ScpiQuery("CURS:MODE?\n");  // the worker runs it after the setter
  };
  set("CURS:TYPE TIME");
  set("CURS:SOUR MATH");
  for (int i = 0; i < 3; ++i) Frame();
  const float* t = TaskMath.MainTrace();
  const int peak = PeakColumn(t), quiet = peak > 350 ? peak - 200 : peak + 200;
  ASSERT_NEAR(t[quiet], 127, 1.0);
  set("CURS:CURA " + std::to_string(peak));
  set("CURS:CURB " + std::to_string(quiet));
  b.AdvanceMs(600);
  b.Pass();
  // 1 V/div on the math channel: 25 codes a volt.
  EXPECT_NEAR(ask("CURSor:AYValue?"), (std::lround(t[peak]) - 127) / 25.0, 0.05);
  EXPECT_NEAR(ask("CURSor:BYValue?"), 0.0, 0.05);
}

namespace {
// The marks of FUNC:FFT:MARK:DATA? as (Hz, amplitude) pairs.
std::vector<std::pair<double, double>> MarkData(const std::string& reply) {
  std::vector<std::pair<double, double>> marks;
  std::istringstream lines(reply.substr(std::min(reply.size(), size_t(4))));  // after "#2nn"
  std::string line;
  while (std::getline(lines, line)) {
    int id = 0;
    double hz = 0, amp = 0;
    if (std::sscanf(line.c_str(), "%d,%lf,%lf,", &id, &hz, &amp) == 3) marks.emplace_back(hz, amp);
  }
  return marks;
}
}  // namespace

// An offset reads its own value in the DC bin, a sine its peak / sqrt 2 in
// its own, in Vrms and in dBVrms, through every window and at two depths:
// 0.8 V of offset under a 0.5 V sine on bin 410 of 8K points at 1 MSa/s
// (CH1 at 0.5 V/div: within its eight divisions), as the marks on the
// spectrum read it (FUNC:FFT:MARK:DATA?).
TEST_F(MathFft, OffsetReadsItsValueInTheDcBin) {
  constexpr double kOffsetV = 0.8, kSineV = 0.5;
  plat::TestSignal s;
  s.frequencyHz = 410 * 1e6 / 8192;
  s.amplitudeV = kSineV;
  s.offsetV = kOffsetV;
  b.Fpga().SetSignal(0, s);
  ASSERT_EQ(0, StartScpiThread());
  auto set = [&](const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ScpiQuery("FUNC:MATH:MODE?\n");  // the worker runs it after the setter
  };
  set("FUNC:FFT:MARK:TYPE AUTO");
  set("FUNC:FFT:MARK:POIN 2");
  set("FUNC:FFT:MARK:SOUR REAL");
  const double sineHz = s.frequencyHz;
  for (const char* points : {"8K", "64K"}) {
    set(std::string("FUNC:FFT:POIN ") + points);
    for (const char* window : {"HAMMing", "BMAN", "RECTangular", "HANNing"}) {
      set(std::string("FUNC:FFT:WIND ") + window);
      for (const bool db : {false, true}) {
        set(db ? "FUNC:FFT:VTYP DBRMS" : "FUNC:FFT:VTYP VRMS");
        for (int i = 0; i < 3; ++i) Frame();
        auto value = [&](double volts) { return db ? 20 * std::log10(volts) : volts; };
        const double tolerance = db ? 0.1 : 0.01;
        const std::string where = std::string(points) + " " + window + (db ? " dB" : " V");
        const auto marks = MarkData(ScpiQuery("FUNC:FFT:MARK:DATA?\n"));
        ASSERT_EQ(marks.size(), 2u) << where;
        const double columnHz = SysRunStatus.GetFFTParaAddr()->hzPerColumn;
        const auto dc = marks[0].first < marks[1].first ? marks[0] : marks[1];
        const auto sine = marks[0].first < marks[1].first ? marks[1] : marks[0];
        EXPECT_LT(dc.first, columnHz) << where;
        EXPECT_NEAR(dc.second, value(kOffsetV), tolerance) << where;
        if (std::string(points) == "8K") {  // the sine on a bin centre
          EXPECT_NEAR(sine.first, sineHz, 2 * columnHz) << where;
          EXPECT_NEAR(sine.second, value(kSineV / std::sqrt(2.0)), tolerance) << where;
        }
      }
    }
  }
}
