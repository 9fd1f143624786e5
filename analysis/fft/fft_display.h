// The spectrum's screen: the five screen modes and the areas they give the
// traces, and the drawing of the maps, waterfall, extra traces, marks, mark
// list and scale texts.
#pragma once
#include <cstdint>

#include "core/menu/keypara.h"

enum FftScreenMode : int {
  kFftFull = 0,
  kFftSplit = 1,
  kFftIndependent = 2,
  kFftWaterfall1 = 3,
  kFftWaterfall2 = 4
};

// Display columns of a screen mode (500 independent, else 700); the span
// texts follow.
int SetFFTScreenLength(short mode);
// The areas of sources 0, 1 and 5..7 and the horizontal points of a mode;
// `reapply` sends the time base again.
void FftApplyScreenMode(int mode, bool reapply);

// Layouts of an intensity map: 0 the whole area, 1 the lower half, 5 the
// split overview (upper left), 6 the zoomed time base.
void DrawFFT(int layout, const uint8_t* map, int left = 30);
// The waterfall ring in the upper area, oldest row at the top, from `first`.
void DrawFFTWaterFall(int mode, int first);
// The extra traces of `mask`: bit 5 average (source 5), 6 max-hold, 7 min-hold.
void DrawUserWave(int mask);
// Mark icons, the manual mark's line and box, and the mark list.
void DetectionMarkDisplay();
void DetectionMarkDisplayList();
// The reading of a mark's code: "%3.2fdb" in dBVrms, "%.2lf V" in Vrms.
void FftValueText(float code, char* out, int size);
// Where the mark list's panel lies on the screen.
constexpr int kFftListRow = 100, kFftListColumn = 470, kFftListWidth = 176, kFftListHeight = 178;
// The whole spectrum view of one frame (the math module's Display).
void FftDisplay();

// Item 60 and the waterfall slice (item 61).
int Math_FFT_DisplayModeSel(keypara k);
// In zoom the split and waterfall views give way to the full one (message 96
// with the spectrum on), as the mode item takes them there.
void FftLeaveSplitViews();
int Math_FFT_AdjWaterFall(keypara k);
// Shows waterfall slice 1..min(frames, 200) (1 the newest) while stopped with
// the math channel on (else messages 63, 64); the slice, or -1.
int FftWaterfallSlice(int slice);
