// Frames that paint only what changed since the page last showed show, pixel
// for pixel, what a frame drawn whole shows: after each change users make
// (the signal, the trigger line, the menu, a message, cursors, zoom,
// persistence, stop and run, the second channel), the screen on the LCD is
// compared whole with the same frame drawn whole (the static page copied
// over the page, the raster painted whole, the page copied whole).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr uint8_t kMenuKey = 54, kF1 = 49, kTriggerLevelUp = 83;

struct ScreenFrames : ::testing::Test {
  Bench b;
  void SetUp() override {
    ASSERT_EQ(StartOnDemand(b), 0);
    plat::HoldVirtualClock(true);  // time moves only as the test moves it
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 1;
    ASSERT_EQ(0, StartScpiThread());
    Sine(0, 1000, 1.0);
    b.Pass();
  }
  void TearDown() override {
    QelDraw.SetFullFrames(false);
    plat::HoldVirtualClock(false);
  }
  // A setting through the SCPI worker, complete (its waits run on the
  // clock the test moves) before the test goes on.
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_TRUE(WaitUntil([&] {
      if (ScpiQuery("*OPC?\n") == "1\r\n") return true;
      b.AdvanceMs(10);
      b.Pass();
      return false;
    }));
  }
  void Sine(int ch, double hz, double volts) {
    plat::TestSignal s = b.Fpga().Signal(ch);
    s.shape = plat::SignalShape::kSine;
    s.frequencyHz = hz;
    s.amplitudeV = volts;
    b.Fpga().SetSignal(ch, s);
  }
  // Frames on both pages, each after a fresh acquisition.
  void Frames(int n = 3) {
    for (int i = 0; i < n; ++i) {
      b.Fpga().AcquireNow();
      b.AdvanceMs(100);
      b.Pass();
    }
  }
  // The frame on the LCD against the same frame drawn whole, with nothing
  // acquired or timed out in between.
  void ExpectWhole(const std::string& state) {
    QelDraw.SetWaveAreaRefresh();
    QelDraw.MainDisplay();
    const std::vector<uint32_t> painted = b.Screen();
    QelDraw.SetFullFrames(true);
    QelDraw.SetWaveAreaRefresh();
    QelDraw.MainDisplay();
    QelDraw.SetFullFrames(false);
    const std::vector<uint32_t> whole = b.Screen();
    ASSERT_EQ(painted.size(), whole.size());
    int differ = 0, first = -1;
    for (size_t i = 0; i < whole.size(); ++i)
      if (painted[i] != whole[i]) {
        if (first < 0) first = int(i);
        ++differ;
      }
    EXPECT_EQ(differ, 0) << state << ": first at row " << first / Draw::kWidth << ", column "
                         << first % Draw::kWidth;
  }
  // Frames in the state, then the check; again after the signal changed.
  void Check(const std::string& state) {
    Frames();
    ExpectWhole(state);
    Sine(0, 1500, 0.6);
    Frames(2);
    ExpectWhole(state + ", signal changed");
    Sine(0, 1000, 1.0);
    Frames(2);
    ExpectWhole(state + ", signal back");
  }
};

TEST_F(ScreenFrames, EveryStateShowsWhatAWholeFrameShows) {
  Check("running");
  b.Key(kMenuKey);
  Check("menu hidden");
  b.Key(kMenuKey);
  Check("menu shown");
  b.Key(kF1);
  Check("pop-up list open");
  b.AdvanceMs(7000);
  Check("pop-up list closed");

  b.Key(kTriggerLevelUp);
  b.Key(kTriggerLevelUp);
  Check("trigger level line");
  b.AdvanceMs(4000);
  Check("trigger level line gone");

  QelMsg.SetMessage(3);
  Check("message");
  b.AdvanceMs(6000);
  Check("message gone");

  Set("CURSor:TYPE TIME");
  Check("time cursors");
  Set("CURSor:CURA 250");
  Set("CURSor:CURB 420");
  Check("time cursors moved");
  Set("CURSor:TYPE AMPlitude");
  Set("CURSor:CURA 90");
  Check("amplitude cursors");
  Set("CURSor:TYPE CLOSe");
  Check("cursors off");

  Set("TIMebase:MODE WINDow");
  Check("zoom");
  Set("TIMebase:WINDow:SCALe 0.0001");
  Check("zoom rescaled");
  // The window's marks on the main strip move: the first frame after and later ones.
  Set("TIMebase:WINDow:OFFSet 0.0006");
  ExpectWhole("zoom window moved, its first frame");
  Check("zoom window moved");
  Set("TIMebase:WINDow:OFFSet -0.0009");
  ExpectWhole("zoom window moved back, its first frame");
  Check("zoom window moved back");
  Set("TIMebase:MODE MAIN");
  Check("zoom off");

  Set(":DISPlay:GRAD:TIME 500MS");
  Check("persistence");
  Set(":DISPlay:GRAD:TIME MIN");
  Check("persistence off");

  Set("STOP");
  Frames();
  ExpectWhole("stopped");
  Set("TIMebase:OFFSet 0.0005");
  Frames();
  ExpectWhole("stopped, moved");
  Set("RUN");
  Check("running again");

  Sine(1, 700, 0.8);
  Set("CHANnel2:DISPlay ON");
  Check("both channels");
  Set("TIMebase:INDPendent ON");
  Set("TIMebase:SPLit:SCReen ON");
  Check("split time bases");
  Set("TIMebase:INDPendent OFF");
  b.Key(kMenuKey);
  Check("both channels, menu hidden");
}

// The graticule is dotted again only where a frame wrote over it: another
// brightness or graticule (which redraw nothing else) still reach every dot
// of both pages, in each layout.
TEST_F(ScreenFrames, AnotherGridReachesEveryDot) {
  _SysRunInfo* info = SysRunStatus.GetSysRunInfoBaseAddr();
  for (const char* mode : {"MAIN", "WINDow"}) {
    Set(std::string("TIMebase:MODE ") + mode);
    Set("DISPlay:GRID:BRIGhtness 90");
    Check(std::string(mode) + ", grid brighter");
    for (int graticule : {1, 2, 3, 0}) {
      info->graticule = graticule;  // as the menu item sets it, with no redraw asked
      const std::string state = std::string(mode) + ", graticule " + std::to_string(graticule);
      ExpectWhole(state + ", first frame");
      Check(state);
    }
    Set("DISPlay:GRID:BRIGhtness 50");
    Check(std::string(mode) + ", grid back");
  }
}

}  // namespace
