// The arithmetic of the cursor readings, shared by the readout panels and
// the SCPI queries: screen positions to times and voltages for the time
// base, volts per division and layout in force, and the unit texts.
#pragma once
#include <cstddef>

struct CursorData;

namespace cursor {

// Wave-area geometry (pixels of the 800 x 480 screen).
constexpr int kAreaLeft = 30, kAreaRight = 730, kAreaTop = 33, kAreaBottom = 433;
constexpr int kTimeZeroColumn = 380, kCentreRow = 233, kPixelsPerDiv = 50;
constexpr int kZoomRow = 305, kZoomPixelsPerDiv = 35, kZoomTop = 165, kZoomBottom = 445;
constexpr int kSplitRow[2] = {133, 341};
constexpr int kSplitPixelsPerDiv = 25;
constexpr int kCentreCode = 127, kCodesPerDiv = 25;

// Seconds per division of the zoom window in the zoom view, else of the
// main time base.
double SecondsPerDiv();
// Volts per division in force of a source: a channel's with its probe ratio
// (and vernier), MATH's from its volts-per-division entry.
double VoltsPerDiv(int source);
bool SourceOn(int source);
bool ZoomView();
bool SplitView();  // independent time base shown split
bool FftShown();   // the math FFT view is on

inline double TimeAt(int column, double secondsPerDiv) {
  return (column - kTimeZeroColumn) * secondsPerDiv / kPixelsPerDiv;
}
// A trace code as volts relative to the screen centre.
inline double CodeVolts(int code, double voltsPerDiv) {
  return (code - kCentreCode) * voltsPerDiv / kCodesPerDiv;
}

// The reference row and pixels per division of the amplitude lines of
// `source` in the layout in force.
struct AmpScale {
  int row;
  int pixels;
};
AmpScale AmplitudeScale(int source);
inline double AmpAt(int row, AmpScale s, double voltsPerDiv) {
  return double(s.row - row) * voltsPerDiv / s.pixels;
}

// The readouts of the time cursors: tA, tB, tB - tA and 1/|tB - tA| (for
// MATH showing the FFT: the frequencies of the columns, and the time of
// their difference), then the voltages of the source's trace at AX and BX.
// A source that is off reads zeros.
struct TimeReadings {
  double t[4];
  double v[3];
  bool frequency;  // the first three are frequencies
};
TimeReadings TimeCursorReadings(const CursorData& d, int codeA, int codeB);
// The readouts of the amplitude cursors: vA, vB, vB - vA.
struct AmpReadings {
  double v[3];
};
AmpReadings AmplitudeReadings(const CursorData& d);

// Texts of a value with its scaled unit: "%.2lf" and "s"/"ms"/.../"ps",
// "Hz"/.../"GHz", or the channel unit of `source` with its prefix (µ is the
// fonts' single byte 0xB5).
void TimeText(double t, const char* format, char* out, size_t size);
void FreqText(double f, const char* format, char* out, size_t size);
void VoltText(double v, int source, const char* format, char* out, size_t size);
// The channel unit's plain name ("V", "A", "W", "U").
const char* UnitName(int source);

}  // namespace cursor
