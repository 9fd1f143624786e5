// The zoom window's trace on the simulated board, against the applied sine.
// A binary of its own: the zoom leaves time-base state behind that the other
// waveform processing cases do not expect.
#include "tests/acquisition/wave_process_fixture.h"

namespace {

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
