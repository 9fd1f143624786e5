// The zoom layout's two panes in the raster the simulated board draws, at
// every pair of main and zoom time bases where either is interpolated, and a
// stopped record re-windowed to another time base (main or zoom) to or from
// an interpolated one: the applied sine repeats every period / (seconds per
// division / 50) columns (50 points a division on the 700-column grid), in
// the zoom pane at the zoom time base and in the main strip at the main one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "acquisition/models/x_system.h"
#include "acquisition/tables/timebase_tables.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"

namespace {
constexpr int kColumns = 700;
constexpr int kStripRows = 60;  // raster rows 0-59 the main strip, 60-199 the zoom pane
constexpr int kRows = 200;
constexpr double kPointsPerDiv = 50;

struct ZoomPane : ::testing::Test {
  Bench b;
  void SetUp() override {
    ASSERT_EQ(StartOnDemand(b), 0);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 1;
    ASSERT_EQ(0, StartScpiThread());
    b.Pass();
  }
  // A setter through the SCPI worker, then a query that runs after it.
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(ScpiQuery("TIMebase:MODE?\n").empty());
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  // Time-base indices of the main trace and the zoom window.
  struct Pair {
    int main, zoom;
  };
  // A 1 V sine of 2.8 periods across the zoom pane, the main time base and
  // the zoom window of `p` chosen; the sine's frequency.
  double ZoomOn(const Pair& p) {
    const double hz = 2.8 / (14 * TimeBaseS[p.zoom]);
    plat::TestSignal s = b.Fpga().Signal(0);
    s.shape = plat::SignalShape::kSine;
    s.frequencyHz = hz;
    s.amplitudeV = 1.0;
    b.Fpga().SetSignal(0, s);
    char line[80];
    Set("TIMebase:MODE MAIN");
    std::snprintf(line, sizeof line, "TIMebase:SCALe %g", TimeBaseS[p.main]);
    Set(line);
    Set("TIMebase:MODE WINDow");
    std::snprintf(line, sizeof line, "TIMebase:WINDow:SCALe %g", TimeBaseS[p.zoom]);
    Set(line);
    return hz;
  }
  // A 1 V sine of `hz` on CH1, acquiring at main time base `index` (zoom off).
  void RunAt(int index, double hz) {
    plat::TestSignal s = b.Fpga().Signal(0);
    s.shape = plat::SignalShape::kSine;
    s.frequencyHz = hz;
    s.amplitudeV = 1.0;
    b.Fpga().SetSignal(0, s);
    Set("RUN");
    Set("TIMebase:MODE MAIN");
    Set("TIMebase:SCALe " + Seconds(TimeBaseS[index]));
  }
  static std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", s);
    return text;
  }
  // Acquires, stops, then sends `after` one by one: the raster the stopped
  // record is re-drawn with.
  std::vector<uint8_t> StopThen(const std::vector<std::string>& after) {
    Acquire();
    Set("STOP");
    EXPECT_EQ(SysRunInfo.acqStatus[0], kAcqStopped);
    for (const std::string& line : after) Set(line);
    b.Pass();
    return b.Fpga().Raster();
  }
  // A fresh acquisition of the applied signal through the main loop.
  std::vector<uint8_t> Acquire() {
    for (int i = 0; i < 3; ++i) {
      b.Fpga().AcquireNow();
      b.AdvanceMs(100);
      b.Pass();
    }
    return b.Fpga().Raster();
  }
};

// Per column the middle of the lit rows r0..r1 (raster rows grow downward:
// a higher code is a smaller row), NaN for an empty column.
std::vector<double> Trace(const std::vector<uint8_t>& raster, int r0, int r1) {
  std::vector<double> t(kColumns, NAN);
  for (int x = 0; x < kColumns; ++x) {
    int top = -1, bottom = -1;
    for (int r = r0; r <= r1; ++r)
      if (raster[size_t(r) * kColumns + x]) {
        if (top < 0) top = r;
        bottom = r;
      }
    if (top >= 0) t[x] = (top + bottom) / 2.0;
  }
  return t;
}

// The columns where the trace rises through the middle of its swing (row
// falling through it), to a fraction of a column.
std::vector<double> RisingColumns(const std::vector<double>& t) {
  double lo = 1e9, hi = -1e9;
  for (double v : t)
    if (!std::isnan(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  const double mid = (lo + hi) / 2;
  std::vector<double> at;
  for (int x = 1; x < kColumns; ++x) {
    const double a = t[x - 1], c = t[x];
    if (std::isnan(a) || std::isnan(c) || !(a > mid && c <= mid)) continue;
    const double x0 = x - 1 + (a - mid) / (a - c);
    if (at.empty() || x0 - at.back() > 10) at.push_back(x0);  // one crossing per edge
  }
  return at;
}

// The mean period in columns between the first and last rising crossing; 0
// with fewer than two.
double Period(const std::vector<double>& t) {
  const std::vector<double> at = RisingColumns(t);
  return at.size() < 2 ? 0 : (at.back() - at.front()) / double(at.size() - 1);
}

// The first rising crossing of a trace `period` columns long lies within
// three columns of a whole number of periods from `trigger`.
void ExpectCrossingAt(const std::vector<double>& t, double trigger, double period,
                      const std::string& what) {
  const std::vector<double> at = RisingColumns(t);
  ASSERT_FALSE(at.empty()) << what;
  const double off = std::fmod(at.front() - trigger + 10 * period, period);
  EXPECT_LT(std::min(off, period - off), 3) << what << " first crossing at " << at.front();
}

// Both panes of a zoom raster against the applied sine of `hz`: the zoom pane
// with a period of its time base and the trigger on its centre column, the
// main strip's period where its columns are wide enough to measure.
void ExpectPanes(const std::vector<uint8_t>& raster, double hz, int main, int zoom, const std::string& what) {
  const double zoomPeriod = 1 / hz / (TimeBaseS[zoom] / kPointsPerDiv);
  const std::vector<double> zoomed = Trace(raster, kStripRows, kRows - 1);
  EXPECT_NEAR(Period(zoomed), zoomPeriod, 2) << what;
  ExpectCrossingAt(zoomed, 350, zoomPeriod, what);
  const double mainPeriod = 1 / hz / (TimeBaseS[main] / kPointsPerDiv);
  if (mainPeriod >= 20) {
    EXPECT_NEAR(Period(Trace(raster, 0, kStripRows - 1)), mainPeriod, 2) << what;
  }
}

// The case through SCPI, then every pair the model allows where the
// zoom or the main trace is interpolated (the zoom time base at most a
// hundred times faster than the main one).
TEST_F(ZoomPane, ThePanesShowTheSineAtTheirTimeBases) {
  std::vector<Pair> pairs{{8, 7}};  // 50 ns/div over 20 ns/div: 2.5 zoom points a sample
  for (int main = 4; main <= 13; ++main)
    for (int zoom = 3; zoom < main; ++zoom)
      if ((main <= 7 || zoom <= 7) && TimeBasePsPerPoint(zoom) * 100 >= TimeBasePsPerPoint(main))
        pairs.push_back({main, zoom});
  for (const Pair& p : pairs) {
    // 2.8 periods across the zoom pane.
    const double hz = ZoomOn(p);
    ASSERT_EQ(SysRunInfo.horizontal[0].zoomTimeBase, p.zoom);
    const auto raster = Acquire();
    ExpectPanes(raster, hz, p.main, p.zoom, "main " + std::to_string(p.main) + ", zoom " + std::to_string(p.zoom));
  }
  // A window moved off the trigger: the trigger moves the other way, by the
  // window offset the instrument answers.
  for (const Pair& p : {Pair{8, 7}, Pair{7, 5}}) {
    const double hz = ZoomOn(p);
    char line[80];
    std::snprintf(line, sizeof line, "TIMebase:WINDow:OFFSet %g", 3.3 * TimeBaseS[p.zoom]);
    Set(line);
    const double offset = std::stod(Ask("TIMebase:WINDow:OFFSet?"));
    const double perColumn = TimeBaseS[p.zoom] / kPointsPerDiv;
    const std::string what = "main " + std::to_string(p.main) + ", zoom " + std::to_string(p.zoom) +
                             " at " + std::to_string(offset) + " s";
    EXPECT_GT(std::fabs(offset), TimeBaseS[p.zoom]) << what;
    ExpectCrossingAt(Trace(Acquire(), kStripRows, kRows - 1), 350 - offset / perColumn,
                     1 / hz / perColumn, what);
  }
  Set("TIMebase:MODE MAIN");
}

// A record acquired at one main time base and stopped, then shown at another
// where one of the two is interpolated: re-read at the new scale, the trigger
// on the centre column. The sine has 2.8 periods across the faster screen.
TEST_F(ZoomPane, AStoppedRecordIsRedrawnAtTheNewTimeBase) {
  const Pair steps[] = {{8, 7}, {7, 8}, {9, 7}, {7, 9}, {7, 6}, {6, 7}, {6, 5}, {5, 6}, {8, 6}};
  for (const Pair& p : steps) {
    const int faster = std::min(p.main, p.zoom);
    const double hz = 2.8 / (14 * TimeBaseS[faster]);
    RunAt(p.main, hz);
    const auto raster = StopThen({"TIMebase:SCALe " + Seconds(TimeBaseS[p.zoom])});
    ASSERT_EQ(SysRunInfo.horizontal[0].realTimeBase, p.zoom);
    const std::string what =
        "acquired at " + std::to_string(p.main) + ", shown at " + std::to_string(p.zoom);
    const double period = 1 / hz / (TimeBaseS[p.zoom] / kPointsPerDiv);
    const std::vector<double> t = Trace(raster, 0, kRows - 1);
    EXPECT_NEAR(Period(t), period, 2) << what;
    ExpectCrossingAt(t, 350, period, what);
  }
  Set("RUN");
}

// The zoom window over a stopped record: zoom entered after the stop, its
// time base changed after the stop, and over a main time base changed after
// the stop (the main or the zoom interpolated).
TEST_F(ZoomPane, TheZoomOverAStoppedRecordShowsItsTimeBase) {
  struct Case {
    int acquired, main, zoom;
    bool zoomRunning;  // zoom on while acquiring, at one step below the main
  };
  const Case cases[] = {{8, 8, 7, false}, {8, 8, 6, true},  {7, 7, 5, true},
                        {7, 7, 6, false}, {8, 7, 6, false}, {7, 8, 6, false}};
  for (const Case& c : cases) {
    const double hz = 2.8 / (14 * TimeBaseS[c.zoom]);
    RunAt(c.acquired, hz);
    std::vector<std::string> after;
    if (c.zoomRunning) {
      Set("TIMebase:MODE WINDow");
      Set("TIMebase:WINDow:SCALe " + Seconds(TimeBaseS[c.acquired - 1]));
    } else {
      if (c.main != c.acquired) after.push_back("TIMebase:SCALe " + Seconds(TimeBaseS[c.main]));
      after.push_back("TIMebase:MODE WINDow");
    }
    after.push_back("TIMebase:WINDow:SCALe " + Seconds(TimeBaseS[c.zoom]));
    const auto raster = StopThen(after);
    ASSERT_EQ(SysRunInfo.horizontal[0].realTimeBase, c.main);
    ASSERT_EQ(SysRunInfo.horizontal[0].zoomTimeBase, c.zoom);
    ExpectPanes(raster, hz, c.main, c.zoom,
                "acquired at " + std::to_string(c.acquired) + ", main " + std::to_string(c.main) + ", zoom " +
                    std::to_string(c.zoom));
  }
  Set("TIMebase:MODE MAIN");
  Set("RUN");
}
}  // namespace
