// The zoom window's trace on the simulated board, against the applied sine.
// A binary of its own: the zoom leaves time-base state behind that the other
// waveform processing cases do not expect.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "acquisition/timebase_tables.h"
#include "acquisition/trig_system.h"
#include "acquisition/wave.h"
#include "acquisition/x_system.h"
#include "core/ch_cali_data.h"
#include "core/control.h"
#include "core/sys_run_info.h"
#include "core/system_resource.h"
#include "tests/bench/bench.h"

namespace {
using plat::SignalShape;
using plat::SimAcquire;

constexpr double kPi = 3.14159265358979323846;
constexpr int kCols = 700;

plat::TestSignal Sine(double hz, double amp, double noise = 0) {
  plat::TestSignal s;
  s.shape = SignalShape::kSine;
  s.frequencyHz = hz;
  s.amplitudeV = amp;
  s.noiseV = noise;
  return s;
}

struct WaveProcess_ : ::testing::Test {
  Bench b;

  void SetUp() override {
    ASSERT_EQ(b.Start(), 0);
    b.Fpga().SetPacing(SimAcquire::Pacing::kOnDemand);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 1;
    QelControl.SetChPriority(&SysRunInfo);
    TimeBase.LoadXsystem(&SystemResource, &SysRunInfo);
    Trigger.LoadTrigsystem(&ChSelfCaliData, &SystemResource, &SysRunInfo);
    Trigger.SentTriggerConfigPara();
  }

  void TimeBaseIndex(int index) {
    ASSERT_EQ(TimeBase.SetRealTimeBase(0, index), index);
    ASSERT_EQ(TimeBase.AdjTimeBase(0, 0), 0);
  }

  void Acquire() {
    WaveOp.RequestChData(1);
    ASSERT_TRUE(b.Fpga().AcquireNow());
    b.Pass();
  }

  // Within column x (which spans x .. x + 1) give or take 0.2 columns.
  static bool OnColumn(double at, int x) { return at >= x - 0.2 && at <= x + 1.2; }

  static const uint8_t* Trace(int slot) { return WaveOp.GetSerrenMem(slot); }
  static double Mid(const uint8_t* t, int x) { return (t[x] + t[kCols + x]) / 2.0; }

  // The fractional column where the trace's column midpoints rise through
  // code 127 nearest `near` (each midpoint stands at its column's centre):
  // a straight line fitted over the 17 columns round the first estimate, so
  // the codes' whole steps average out.
  static double RisingColumn(const uint8_t* t, int near) {
    int best = -1;
    for (int x = 1; x < kCols - 1; ++x) {
      if (!(Mid(t, x - 1) < 127 && Mid(t, x) >= 127) || t[x] == 0 || t[x - 1] == 0) continue;
      if (best < 0 || std::abs(x - near) < std::abs(best - near)) best = x;
    }
    if (best < 0) return -1;
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int x = std::max(0, best - 8); x <= std::min(kCols - 2, best + 8); ++x) {
      if (t[x] == 0) continue;
      const double X = x + 0.5, Y = Mid(t, x);
      n += 1, sx += X, sy += Y, sxx += X * X, sxy += X * Y;
    }
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    return (127 - (sy - slope * sx) / n) / slope;
  }
};

// The zoom window at 1 ns/div over a main time base of 2 ns/div: the trace
// is the window's, half as many interpolated points to a column, so the
// 100 MHz sine's quarter period spans 125 columns (62.5 unzoomed) and the
// crossing at the trigger stays on the centre column.
TEST_F(WaveProcess_, TheZoomWindowTakesItsOwnPointsPerColumn) {
  b.Fpga().SetSignal(0, Sine(100e6, 1.0));
  TimeBaseIndex(4);
  const HorizontalBlock saved = SysRunInfo.horizontal[0];  // the zoom leaves its fields set
  // The middle of the crest after `from` (the columns within a code of the top).
  auto peakAfter = [](const uint8_t* t, int from) {
    double top = 0;
    for (int x = from; x < std::min(kCols, from + 300); ++x) top = std::max(top, Mid(t, x));
    int first = -1, last = -1;
    for (int x = from; x < std::min(kCols, from + 300); ++x)
      if (Mid(t, x) >= top - 1) {
        if (first < 0) first = x;
        last = x;
      } else if (first >= 0) {
        break;
      }
    return (first + last) / 2.0;
  };
  Acquire();
  const double mainCrossing = RisingColumn(Trace(0), 350);
  ASSERT_TRUE(OnColumn(mainCrossing, 350)) << mainCrossing;
  const double quarterMain = 2.5 / (TimeBaseS[4] * 1e9 / 50);  // 62.5 columns
  EXPECT_NEAR(peakAfter(Trace(0), 350) - mainCrossing, quarterMain, 4);

  ASSERT_EQ(TimeBase.ZoomInit(1), 0);
  ASSERT_EQ(SysRunInfo.timeBaseType, 1);
  ASSERT_EQ(SysRunInfo.horizontal[0].zoomTimeBase, 3);
  Acquire();
  const uint8_t* t = Trace(0);
  const double crossing = RisingColumn(t, 350);
  EXPECT_TRUE(OnColumn(crossing, 350)) << crossing;
  const double quarterZoom = 2.5 / (TimeBaseS[3] * 1e9 / 50);  // 125 columns
  EXPECT_NEAR(peakAfter(t, 350) - crossing, quarterZoom, 4);
  for (int x = 0; x < kCols - 1; ++x) ASSERT_NE(t[x], 0) << x;  // the window is covered
  ASSERT_EQ(TimeBase.ZoomInit(0), 0);
  SysRunInfo.horizontal[0] = saved;
  TimeBase.AdjTimeBase(0, 0);
}

}  // namespace
