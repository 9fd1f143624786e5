// The cursor commands through the SCPI thread and its worker, as a transport
// sends them: every row's reply, the settings reaching the menu items and
// the record, positions with their ranges, time cursors on the rising edges
// of an applied 1 kHz square, and amplitude cursors on the top and bottom of
// a 2 Vpp sine reading 2 V at every probe ratio.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "acquisition/horizontal/task_hori.h"
#include "acquisition/engine/wave.h"
#include "analysis/cursor/cursor_draw.h"
#include "analysis/cursor/task_cursor.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"

namespace {
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};

plat::TestSignal Signal(plat::SignalShape shape, double amp) {
  plat::TestSignal s;
  s.shape = shape;
  s.frequencyHz = 1000;
  s.amplitudeV = amp;
  return s;
}

int Item(int n) { return int(uint16_t(TaskCursor.TaskMenu.GetMenuItem(n))); }
double Value(const std::string& reply) { return std::strtod(reply.c_str(), nullptr); }
std::vector<double> Fields(const std::string& reply) {
  std::vector<double> out;
  std::stringstream s(reply);
  std::string f;
  while (std::getline(s, f, ',')) out.push_back(std::strtod(f.c_str(), nullptr));
  return out;
}

struct CursorScpi : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(6, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SysRunStatus.SetMemDepth(1);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 1;
    SysRunStatus.SetMenuDisplayTimeS(3);
    ASSERT_EQ(0, StartScpiThread());
    QelMsg.ClearMessage();
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  bool Silent(const std::string& line) { return ScpiQuery(line + "\n", kScpiSourceTransport, 500).empty(); }
  // A setter, then a query the worker runs after it.
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("CURS:MODE?").empty());
  }
  // An acquisition of `mask`, the cursor refresh and a frame.
  void Acquire(int mask = 1) {
    for (int i = 0; i < 2; ++i) {
      WaveOp.RequestChData(mask);
      ASSERT_TRUE(bench.Fpga().AcquireNow());
      bench.AdvanceMs(600);
      bench.Pass();
      bench.Pass();
    }
  }
  std::vector<uint16_t> Trace() {
    std::vector<uint16_t> t(kCursorTraceValues);
    WaveOp.GetWaveSceenDataFor16(0, t.data());
    return t;
  }
};
}  // namespace

TEST_F(CursorScpi, EveryRowRepliesAndSetsItsItem) {
  EXPECT_EQ(Ask("CURSor:TYPE?"), "CLOSe\r\n");
  Set("KEY:CURSor");
  bench.Pass();  // the main loop takes the queued key
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kCursorTaskId);
  EXPECT_EQ(Item(kCurEnable), 1);
  EXPECT_EQ(Ask("CURS:TYPE?"), "TIME\r\n");

  Set("CURSor:TYPE AMPlitude");
  EXPECT_EQ(Item(kCurType), 1);
  EXPECT_EQ(CursorDraw.GetCursorData().ytType, 1);
  EXPECT_EQ(Ask("CURSor:TYPE?"), "AMPlitude\r\n");
  Set("CURS:TYPE X");
  EXPECT_EQ(Ask("CURS:TYPE?"), "TIME\r\n");
  Set("CURS:TYPE CLOSe");  // both formats' cursors off
  EXPECT_EQ(Item(kCurEnable), 0);
  EXPECT_EQ(Item(kCurEnableXY), 0);
  EXPECT_EQ(Ask("CURS:TYPE?"), "CLOSe\r\n");
  Set("CURS:TYPE 1");  // a type switches them on again
  EXPECT_EQ(Item(kCurEnable), 1);
  EXPECT_EQ(Ask("CURS:TYPE?"), "AMPlitude\r\n");

  EXPECT_EQ(Ask("CURSor:MODE?"), "INDependent\r\n");
  Set("CURSor:MODE TRACK");
  EXPECT_EQ(Item(kCurMode), 1);
  EXPECT_EQ(CursorDraw.GetCursorData().ytMode, 1);
  EXPECT_EQ(Ask("CURS:MODE?"), "TRACK\r\n");
  Set("CURS:MODE 0");
  EXPECT_EQ(Ask("CURS:MODE?"), "INDependent\r\n");

  EXPECT_EQ(Ask("CURSor:SOURce?"), "CHANnel1\r\n");
  Set("CURSor:SOURce CHANnel2");
  EXPECT_EQ(Item(kCurSource), 1);
  EXPECT_EQ(CursorDraw.GetCursorData().source, 1);
  EXPECT_EQ(Ask("CURS:SOUR?"), "CHANnel2\r\n");
  Set("CURS:SOUR MATH");
  EXPECT_EQ(CursorDraw.GetCursorData().source, 5);
  EXPECT_EQ(Ask("CURS:SOUR?"), "MATH\r\n");

  // Missing parameters and unknown keywords change nothing.
  Set("CURS:SOUR");
  Set("CURS:SOUR CHANnel7");
  Set("CURS:MODE SIDEWAYS");
  Set("CURS:TYPE");
  EXPECT_EQ(Ask("CURS:SOUR?"), "MATH\r\n");
  EXPECT_EQ(Ask("CURS:MODE?"), "INDependent\r\n");
  EXPECT_EQ(Ask("CURS:TYPE?"), "AMPlitude\r\n");

  Set("KEY:CURSor:LOCK ON");
  EXPECT_EQ(Ask("KEY:CURS:LOCK?"), "1\r\n");
  Set("KEY:CURS:LOCK 0");
  EXPECT_EQ(Ask("KEY:CURS:LOCK?"), "0\r\n");
}

TEST_F(CursorScpi, PositionsFollowTheirRanges) {
  Set("CURS:TYPE TIME");
  Set("CURSor:CURA 800");
  EXPECT_EQ(CursorDraw.GetCursorData().AX, 730);
  EXPECT_EQ(Ask("CURSor:CURA?"), "700\r\n");
  Set("CURS:CURB -5");
  EXPECT_EQ(CursorDraw.GetCursorData().BX, 30);
  Set("CURS:CURB 99999999999999999999");  // far out: clamped, no overflow
  EXPECT_EQ(CursorDraw.GetCursorData().BX, 730);
  Set("CURS:CURB abc");
  EXPECT_EQ(CursorDraw.GetCursorData().BX, 730);
  // Exponent notation is read whole: clamped past the range, counted within it.
  Set("CURS:CURB -5");
  Set("CURS:CURB 1e4");
  EXPECT_EQ(CursorDraw.GetCursorData().BX, 730);
  Set("CURS:CURA 2.5e2");
  EXPECT_EQ(CursorDraw.GetCursorData().AX, 280);
  // An amplitude position runs from 28 (bottom) to 228 (top).
  Set("CURS:TYPE AMPlitude");
  Set("CURS:CURA 128");
  EXPECT_EQ(CursorDraw.GetCursorData().AY, 233);
  EXPECT_EQ(Ask("CURS:CURA?"), "128\r\n");
  Set("CURS:CURB 0");
  EXPECT_EQ(CursorDraw.GetCursorData().BY, 433);
  EXPECT_EQ(Ask("CURS:CURB?"), "28\r\n");
  // In the XY format: time marks, then the X and Y lines.
  TaskHori.TaskMenu.SetMenuItem(kHoriFormat, 1);
  Hori_Format(kNoKey);
  Set("CURS:TYPE TIME");
  EXPECT_EQ(Item(kCurEnableXY), 1);
  Set("CURS:CURA 1000");
  EXPECT_EQ(CursorDraw.GetCursorData().xyTA, 725);
  EXPECT_EQ(Ask("CURS:CURA?"), "695\r\n");
  Set("CURS:TYPE AMP");
  Set("CURS:CURB 100");
  EXPECT_EQ(CursorDraw.GetCursorData().xyXB, 130);
  EXPECT_EQ(Ask("CURS:CURB?"), "100\r\n");
  TaskCursor.TaskMenu.SetMenuItem(kCurSourceXY, 1);
  Set("CURS:CURB 0");
  EXPECT_EQ(CursorDraw.GetCursorData().xyYB, 170);
  EXPECT_EQ(Ask("CURS:CURB?"), "5\r\n");
  // The readings are all zero in XY, with 0 at the end.
  EXPECT_EQ(Ask("CURS:MEAS?"), "0.000000e+00,0.000000e+00,0.000000e+00,0.000000e+00,0.000000e+00,0.000000e+00,0\r\n");
}

TEST_F(CursorScpi, TimeCursorsOnTheRisingEdgesOfASquareReadItsPeriod) {
  bench.Fpga().SetSignal(0, Signal(plat::SignalShape::kSquare, 1.0));
  Set("CURS:TYPE TIME");
  Acquire();
  const std::vector<uint16_t> t = Trace();
  std::vector<int> edges;
  for (int i = 1; i < 700; ++i)
    if (t[size_t(i) - 1] != 0 && t[size_t(i) - 1] < 127 && t[size_t(i)] > 127) edges.push_back(i);
  ASSERT_GE(edges.size(), 3u);
  // Two neighbouring rising edges of the applied square.
  const int a = edges[1], b = edges[2];
  Set("CURS:CURA " + std::to_string(a));
  Set("CURS:CURB " + std::to_string(b));
  const double tA = Value(Ask("CURSor:AXValue?")), tB = Value(Ask("CURSor:BXValue?"));
  EXPECT_NEAR(tB - tA, 1e-3, 2 * 10e-6);  // a period, to a column of 10 us
  const std::vector<double> all = Fields(Ask("CURSor:MEASure?"));
  ASSERT_EQ(all.size(), 7u);
  EXPECT_NEAR(all[2], 1e-3, 2e-5);
  EXPECT_NEAR(1 / all[2], 1000, 20);
  EXPECT_EQ(all[6], 1);
  // Both marks sit on the high level just after the edges: +1 V.
  EXPECT_NEAR(Value(Ask("CURS:AYV?")), 1.0, 0.06);
  EXPECT_DOUBLE_EQ(all[3], Value(Ask("CURS:AYV?")));
  // Amplitude cursors read no time; a switched-off source reads zeros.
  Set("CURS:TYPE AMP");
  EXPECT_EQ(Ask("CURS:AXValue?"), "0.000000e+00\r\n");
  Set("CURS:SOUR CHANnel2");
  EXPECT_EQ(Ask("CURS:AYValue?"), "0.000000e+00\r\n");
}

TEST_F(CursorScpi, AmplitudeCursorsOnATwoVoltSineReadTwoVoltsAtEveryProbeRatio) {
  Set("CURS:TYPE AMPlitude");
  for (double ratio : {1.0, 10.0, 100.0}) {
    SCOPED_TRACE(ratio);
    // 2 Vpp at the probe tip is 2 Vpp / ratio at the BNC.
    bench.Fpga().SetSignal(0, Signal(plat::SignalShape::kSine, 1.0 / ratio));
    char line[64];
    std::snprintf(line, sizeof line, "CHANnel1:PROBe %gX", ratio);
    Set(line);
    // Volts per division at the probe tip, as it reads back.
    std::snprintf(line, sizeof line, "CHANnel1:SCALe %g", 0.5);
    Set(line);
    ASSERT_NEAR(Value(Ask("CHANnel1:SCALe?")), 0.5, 1e-6);
    Acquire();
    const std::vector<uint16_t> t = Trace();
    int top = 0, bottom = 255;
    for (int i = 0; i < 700; ++i) {
      if (t[size_t(i)] == 0) continue;
      top = std::max<int>(top, t[size_t(i)]);
      bottom = std::min<int>(bottom, t[700 + size_t(i)]);
    }
    // The trace's top and bottom codes, as positions.
    Set("CURS:CURA " + std::to_string(top + 1));
    Set("CURS:CURB " + std::to_string(bottom + 1));
    const double vA = Value(Ask("CURS:AYValue?")), vB = Value(Ask("CURS:BYValue?"));
    EXPECT_NEAR(vA, 1.0, 0.05);
    EXPECT_NEAR(vB, -1.0, 0.05);
    EXPECT_NEAR(Fields(Ask("CURS:MEAS?"))[5], -2.0, 0.08);
  }
}
