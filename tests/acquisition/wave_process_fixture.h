// The waveform-processing cases' fixture: a started instrument acquiring on
// demand with the models loaded, and the trace helpers the cases share.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "acquisition/tables/timebase_tables.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "core/board/ch_cali_data.h"
#include "core/board/control.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
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
}  // namespace
