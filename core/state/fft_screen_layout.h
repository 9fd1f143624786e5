// The wave area of each FFT screen mode (the math channel shown as an FFT in
// the Y-T main-window layout) as the screen composer draws it: where the
// channel traces and the spectrum lie, where the trigger level lines count,
// and the column of the spectrum's marker. The rows of a trace within its
// area come from its wave slot (centre row and height in the run state). The
// web screen input grabs what these place, and nothing where they draw none.
#pragma once

// A screen rectangle with both ends inside; x1 < x0 for none.
struct ScreenBox {
  int x0, x1, y0, y1;
  constexpr bool Holds(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

constexpr ScreenBox kNoScreenBox{0, -1, 0, -1};

struct FftScreenLayout {
  ScreenBox channels;    // CH1 and CH2 traces
  ScreenBox spectrum;    // the math trace
  ScreenBox trigLines;   // where the level marks and lines are drawn
  int mathMarkerColumn;  // left column of the math trace's marker
};

constexpr int kFftScreenModes = 5;  // full, split, independent, waterfall 1, waterfall 2

// Full: the whole area for all. Split and waterfall 1: the channels at half
// width and height from column 380 beside the overview or waterfall, the
// spectrum below. Independent: the spectrum alone, 500 columns from 130, no
// channel trace and no level line. Waterfall 2: the waterfall across the
// upper half, no channel trace; the level lines at their full-height rows.
inline constexpr FftScreenLayout kFftScreenLayouts[kFftScreenModes] = {
    {{30, 730, 33, 433}, {30, 730, 33, 433}, {30, 730, 33, 433}, 10},
    {{380, 730, 33, 233}, {30, 730, 233, 433}, {380, 730, 33, 233}, 380},
    {kNoScreenBox, {130, 630, 33, 433}, kNoScreenBox, 10},
    {{380, 730, 33, 233}, {30, 730, 233, 433}, {380, 730, 33, 233}, 380},
    {kNoScreenBox, {30, 730, 233, 433}, {30, 730, 33, 433}, 10},
};

// The layout of FFT screen mode `mode`; a mode out of range draws as full.
constexpr const FftScreenLayout& FftScreenLayoutOf(int mode) {
  return kFftScreenLayouts[mode >= 0 && mode < kFftScreenModes ? mode : 0];
}
