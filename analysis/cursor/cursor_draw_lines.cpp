// The cursor lines on the composer's current page: the YT time and
// amplitude lines with their labels, and the XY lines, markers and points.
#include <cstdlib>

#include "acquisition/models/y_system.h"
#include "analysis/cursor/cursor_draw.h"
#include "analysis/cursor/cursor_values.h"
#include "analysis/measure/measure_draw.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "ui/screen/qel_draw.h"

namespace {
using namespace cursor;

constexpr int kLineFont = 1;
constexpr int kColourCh1 = 0x00CCCC, kColourCh2 = 0xFFCC00, kColourMath = 0xFF0000;
constexpr int kColourTimeMark = 0xFF8A14;
constexpr int kYtDash = 2, kXyDash = 4;
// Row spans of the time lines.
constexpr int kSpanTop = 38, kSpanBottom = 428;
constexpr int kZoomSpanTop = 170, kZoomSpanBottom = 441;
constexpr int kSplitSpan[2][2] = {{38, 228}, {253, 428}};
constexpr int kFftSplitTop = 238;
constexpr int kFftScreenHidden = 2, kFftScreenSplit = 1;
constexpr int kLabelRise = 32, kLabelGap = 3;
// Amplitude lines.
constexpr int kAmpLeft = 35, kAmpRight = 725, kAmpLabelColumn = 38, kAmpLabelBelow = 3, kAmpLabelAbove = 18;
constexpr int kAmpLabelFlipRow = 384;
// XY plot.
constexpr int kXLineTop = 167, kXLineBottom = 443, kYLineLeft = 32, kYLineRight = 308;
constexpr int kMarkerA = 137, kMarkerB = 138, kMarkerXRow = 177, kMarkerYColumn = 42, kMarkerGap = 5;
constexpr int kPointHalf = 6, kPointRadius = 6;
constexpr int kTimeMarkTop = 33, kTimeMarkBottom = 153, kTimeMarkerRow = 43;
constexpr int kPlotColumn = 170, kPlotRow = 305, kPlotPixelsPerDiv = 35, kPlotHalf = 140;

int SourceColour(int source) {
  return source == 1 ? kColourCh2 : source == kCursorSourceMath ? kColourMath : kColourCh1;
}

// A vertical (column) or horizontal (row) line, solid or broken.
void VLine(int col, int top, int bottom, int colour, bool broken, int dash) {
  if (broken) QelDraw.DrawBrokenLine(top, col, bottom, col, colour, dash, DRAW_CURRENT);
  else QelDraw.DrawLine(top, col, bottom, col, colour, DRAW_CURRENT);
}
void HLine(int row, int left, int right, int colour, bool broken, int dash) {
  if (broken) QelDraw.DrawBrokenLine(row, left, row, right, colour, dash, DRAW_CURRENT);
  else QelDraw.DrawLine(row, left, row, right, colour, DRAW_CURRENT);
}

// The row span of the time lines of `source`; false when none is shown.
bool TimeSpan(int source, int* top, int* bottom) {
  *top = kSpanTop;
  *bottom = kSpanBottom;
  if (ZoomView()) {
    *top = kZoomSpanTop;
    *bottom = kZoomSpanBottom;
  } else if (SplitView()) {
    const int half = source == 1 ? 1 : 0;
    *top = kSplitSpan[half][0];
    *bottom = kSplitSpan[half][1];
  } else if (source == kCursorSourceMath && FftShown()) {
    const int screen = SystemResource.runStatus->GetFFTScreen();
    if (screen == kFftScreenHidden) return false;
    if (screen == kFftScreenSplit) *top = kFftSplitTop;
  }
  return true;
}

void PointMark(int row, int col, bool square, int colour) {
  if (square) QelDraw.DrawRect(row - kPointHalf, col - kPointHalf, 2 * kPointHalf, 2 * kPointHalf, colour, DRAW_CURRENT);
  else QelDraw.DrawCircle(row, col, kPointRadius, colour, DRAW_CURRENT);
}
}  // namespace

void _cursor_draw::drawCursorLine() {
  const CursorData d = GetCursorData();
  MeaFontScope font(kLineFont);
  const int colour = SourceColour(d.source);
  const bool track = d.ytMode == 1;
  const bool brokenA = !track && d.ytActive != 0, brokenB = !track && d.ytActive != 1;
  if (d.ytType == 0) {
    int top = 0, bottom = 0;
    if (!TimeSpan(d.source, &top, &bottom)) return;
    VLine(d.AX, top, bottom, colour, brokenA, kYtDash);
    VLine(d.BX, top, bottom, colour, brokenB, kYtDash);
    QelDraw.DrawString(bottom - kLabelRise, d.AX + kLabelGap, "AX", colour, DRAW_CURRENT);
    QelDraw.DrawString(bottom - kLabelRise, d.BX + kLabelGap, "BX", colour, DRAW_CURRENT);
    return;
  }
  const int rows[2] = {d.AY, d.BY};
  const char* const labels[2] = {"AY", "BY"};
  for (int i = 0; i < 2; ++i) {
    HLine(rows[i], kAmpLeft, kAmpRight, colour, i == 0 ? brokenA : brokenB, kYtDash);
    const int labelRow = rows[i] >= kAmpLabelFlipRow ? rows[i] - kAmpLabelAbove : rows[i] + kAmpLabelBelow;
    QelDraw.DrawString(labelRow, kAmpLabelColumn, labels[i], colour, DRAW_CURRENT);
  }
}

void _cursor_draw::drawCursorLineXY() {
  const CursorData d = GetCursorData();
  const bool track = d.xyMode == 1;
  if (d.xyType == 1) {
    const bool xSelected = d.xySource == 0;
    const int active = d.xyAmpActive;
    auto broken = [&](bool selectedAxis, int line) { return !selectedAxis || (!track && active != line); };
    VLine(d.xyXA, kXLineTop, kXLineBottom, kColourCh1, broken(xSelected, 0), kXyDash);
    VLine(d.xyXB, kXLineTop, kXLineBottom, kColourCh1, broken(xSelected, 1), kXyDash);
    HLine(d.xyYA, kYLineLeft, kYLineRight, kColourCh2, broken(!xSelected, 0), kXyDash);
    HLine(d.xyYB, kYLineLeft, kYLineRight, kColourCh2, broken(!xSelected, 1), kXyDash);
    if (xSelected) {
      QelDraw.DrawPictrue(kMarkerXRow, d.xyXA + kMarkerGap, kMarkerA, DRAW_CURRENT);
      QelDraw.DrawPictrue(kMarkerXRow, d.xyXB + kMarkerGap, kMarkerB, DRAW_CURRENT);
    } else {
      QelDraw.DrawPictrue(d.xyYA + kMarkerGap, kMarkerYColumn, kMarkerA, DRAW_CURRENT);
      QelDraw.DrawPictrue(d.xyYB + kMarkerGap, kMarkerYColumn, kMarkerB, DRAW_CURRENT);
    }
    PointMark(d.xyYA, d.xyXA, true, kColourCh1);
    PointMark(d.xyYB, d.xyXB, false, kColourCh2);
    return;
  }
  VLine(d.xyTA, kTimeMarkTop, kTimeMarkBottom, kColourTimeMark, !track && d.xyTimeActive != 0, kXyDash);
  VLine(d.xyTB, kTimeMarkTop, kTimeMarkBottom, kColourTimeMark, !track && d.xyTimeActive != 1, kXyDash);
  QelDraw.DrawPictrue(kTimeMarkerRow, d.xyTA + kMarkerGap, kMarkerA, DRAW_CURRENT);
  QelDraw.DrawPictrue(kTimeMarkerRow, d.xyTB + kMarkerGap, kMarkerB, DRAW_CURRENT);
  drawCusorXYTimeMark();
}

// Each time mark's CH1 and CH2 values as a point of the XY plot.
void _cursor_draw::drawCusorXYTimeMark() {
  const CursorData d = GetCursorData();
  const y_system* y = SystemResource.vertical;
  if (!y) return;
  const int marks[2] = {d.xyTA, d.xyTB};
  for (int i = 0; i < 2; ++i) {
    const int dx = (XYValue(0, marks[i]) - y->GetRealYposition(0)) * kPlotPixelsPerDiv / kCodesPerDiv;
    const int dy = (XYValue(1, marks[i]) - y->GetRealYposition(1)) * kPlotPixelsPerDiv / kCodesPerDiv;
    if (std::abs(dx) >= kPlotHalf || std::abs(dy) >= kPlotHalf) continue;
    PointMark(kPlotRow - dy, kPlotColumn + dx, i == 0, kColourTimeMark);
  }
}
