// The cursor readout panels, composed in the drawing object's own buffer and
// merged into the page: the time panel, the amplitude panel and the XY panel.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "analysis/cursor/cursor_draw.h"
#include "analysis/cursor/cursor_values.h"
#include "analysis/measure/measure_draw.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "ui/screen/qel_draw.h"

namespace {
using namespace cursor;

constexpr int kPanelFont = 1;
constexpr int kValueColour = 0xC8C8AF;
constexpr int kPanelFill = 0x1E2128, kPanelFrame = 0x5A6270;
constexpr int kSources = 6;
constexpr int channelColor[2][kSources] = {
    {0x0000CCCC, 0x00FFCC00, 0x00009900, 0x00AC04E4, 0x00828282, 0x00FF0000},
    {0x00FFCC00, 0x0000CCCC, 0x00009900, 0x00AC04E4, 0x00828282, 0x000000FF},
};
const char xStr[7][10] = {"A", "B", "B-A", "1/|B-A|", "A", "B", "B-A"};
const char yStr[3][10] = {"A", "B", "B-A"};

// Panel places and the columns of their texts.
constexpr int kPanelRow = 40, kPanelRowZoom = 172, kPanelColumn = 38, kRowStep = 19;
constexpr int kTimeLabel = 38, kTimeColon = 60, kTimeValue = 95, kTimeFirst = 4;
constexpr int kAmpLabel = 35, kAmpColon = 50, kAmpValue = 88, kAmpFirst = 3;
// Sizes of the panels drawn without their pictures.
constexpr int kPanelSize[kCursorPictures][2] = {{150, 140}, {140, 64}, {262, 275}};

constexpr int kXYRow = 165, kXYColumn = 314;
constexpr int kXYEnds[3] = {421, 493, 565};
constexpr int kXYRowTime = 212, kXYRowX = 248, kXYRowY = 283, kXYRowR = 317, kXYRowPhase = 351;
constexpr int kXYRowProduct = 391, kXYRowRatio = 426;
constexpr int kPlotColumn = 170, kPlotRow = 305, kPlotPixelsPerDiv = 35;
constexpr double kLargeProduct = 1e4, kSmallX = 0.00001;
constexpr double kPiMarks = 3.14159265358, kPiAmplitude = 3.1416;

bool Transparent() { return SystemResource.runStatus && SystemResource.runStatus->GetTransparent(); }
// A label takes its source's own colour, the colour of its lines, whether the
// panel is merged opaque or translucent (the merge blends the colour, it does
// not swap it); the second row is the table's byte-swapped form.
int LabelColour(int source) { return channelColor[0][source >= 0 && source < kSources ? source : 0]; }

void Centred(Draw& d, int row, int centre, const char* text, int colour) {
  d.DrawString(row, centre - d.Stringlen(kFontAscii, text) / 2, text, colour, DRAW_CURRENT);
}

// A value of the XY panel, its text ending at `end` (its drawn width: the
// font is wider than the 3 pixels a character the columns were laid out for,
// which cut the last column's texts at the panel's edge).
void XYText(Draw& d, int row, int end, const char* text) {
  d.DrawString(row, end - d.Stringlen(kFontAscii, text), text, kValueColour, DRAW_CURRENT);
}

// "%.1lf" of a value with the SI prefix that puts it between 1 and 1000, and
// its unit: a product of millivolts and volts reads "20.0mVV", not "0.0VV".
void PrefixedText(double v, const char* unit, char* out, size_t size) {
  static const char* const kPrefix[] = {"p", "n", "\xB5", "m", "", "k", "M", "G"};
  constexpr int kUnitIndex = 4, kLast = 7;
  int k = kUnitIndex;
  if (std::isfinite(v) && v != 0) {
    while (std::fabs(v) < 1 && k > 0) v *= 1000, --k;
    while (std::fabs(v) >= 1000 && k < kLast) v /= 1000, ++k;
  }
  std::snprintf(out, size, "%.1lf%s%s", v, kPrefix[k], unit);
}
}  // namespace

// The panel's picture at (row, col) of the own buffer, or a plain panel of
// its size, placed for the merge.
void _cursor_draw::Panel(int picture, int row, int col) {
  if (!GetUserFontPointer()) SetUserFontPointer(QelDraw.GetUserFontPointer());
  const PicInfo* info = Pictures().GetPictureMsg(picture);
  _PicPos pos{int16_t(col), int16_t(row), int16_t(kPanelSize[picture][0]), int16_t(kPanelSize[picture][1])};
  if (info && info->pixels) {
    pos.width = info->width;
    pos.height = info->height;
    DrawPictrue(row, col, picture, DRAW_CURRENT);
  } else {
    FillRect(row, col, pos.width, pos.height, kPanelFill, DRAW_CURRENT);
    DrawRect(row, col, pos.width, pos.height, kPanelFrame, DRAW_CURRENT);
  }
  SetPictureInfo(picture, &pos);
}

void _cursor_draw::drawFrameX() {
  const CursorData d = GetCursorData();
  const bool fft = d.source == kCursorSourceMath && FftShown();
  if (fft && SystemResource.runStatus->GetFFTScreen() == 2) return;
  MeaFontScope font(kPanelFont);
  const int top = ZoomView() ? kPanelRowZoom : kPanelRow;
  Panel(kCursorPicTime, top, kPanelColumn);
  const TimeReadings r = TimeCursorReadings(d, ScreenValue(d.AX), ScreenValue(d.BX));
  for (int i = 0; i < 7; ++i) {
    const int row = top + kTimeFirst + i * kRowStep;
    Centred(*this, row, kPanelColumn + kTimeLabel, xStr[i], LabelColour(d.source));
    DrawString(row, kPanelColumn + kTimeColon, ":", LabelColour(d.source), DRAW_CURRENT);
    char text[40];
    if (i < 3 && r.frequency) FreqText(r.t[i], "%.2lf%s", text, sizeof text);
    else if (i < 3) TimeText(r.t[i], "%.2lf%s", text, sizeof text);
    else if (i == 3 && r.frequency) TimeText(r.t[3], "%.2lf%s", text, sizeof text);
    else if (i == 3) FreqText(r.t[3], "%.2lf%s", text, sizeof text);
    else VoltText(r.v[i - 4], d.source, "%.2lf%s", text, sizeof text);
    Centred(*this, row, kPanelColumn + kTimeValue, text, kValueColour);
  }
  DrawBuffSync(QelDraw.GetDrawAddr(DRAW_CURRENT), short(Transparent()));
}

void _cursor_draw::drawFrameY() {
  const CursorData d = GetCursorData();
  MeaFontScope font(kPanelFont);
  const int top = ZoomView() ? kPanelRowZoom : kPanelRow;
  Panel(kCursorPicVoltage, top, kPanelColumn);
  const AmpReadings r = AmplitudeReadings(d);
  const bool db = d.source == kCursorSourceMath && FftShown();
  for (int i = 0; i < 3; ++i) {
    const int row = top + kAmpFirst + i * kRowStep;
    Centred(*this, row, kPanelColumn + kAmpLabel, yStr[i], LabelColour(d.source));
    DrawString(row, kPanelColumn + kAmpColon, ":", LabelColour(d.source), DRAW_CURRENT);
    char text[40];
    if (db) std::snprintf(text, sizeof text, "%.2lfdB", r.v[i]);
    else VoltText(r.v[i], d.source, "%.2lf%s", text, sizeof text);
    Centred(*this, row, kPanelColumn + kAmpValue, text, kValueColour);
  }
  DrawBuffSync(QelDraw.GetDrawAddr(DRAW_CURRENT), short(Transparent()));
}

void _cursor_draw::calCursorXYTimeValue(double x[2], double y[2]) {
  const CursorData d = GetCursorData();
  const y_system* v = SystemResource.vertical;
  const int marks[2] = {d.xyTA, d.xyTB};
  for (int i = 0; i < 2; ++i) {
    x[i] = v ? CodeVolts(XYValue(0, marks[i]) - v->GetRealYposition(0) + kCentreCode, VoltsPerDiv(0)) : 0;
    y[i] = v ? CodeVolts(XYValue(1, marks[i]) - v->GetRealYposition(1) + kCentreCode, VoltsPerDiv(1)) : 0;
  }
}

void _cursor_draw::calCursorXYAmpValue(double x[2], double y[2]) {
  const CursorData d = GetCursorData();
  const y_system* v = SystemResource.vertical;
  const double vx = VoltsPerDiv(0), vy = VoltsPerDiv(1);
  const int px = v ? v->GetRealYposition(0) : kCentreCode, py = v ? v->GetRealYposition(1) : kCentreCode;
  const int cols[2] = {d.xyXA, d.xyXB}, rows[2] = {d.xyYA, d.xyYB};
  for (int i = 0; i < 2; ++i) {
    x[i] = double(cols[i] - kPlotColumn) * vx / kPlotPixelsPerDiv - double(px - kCentreCode) * vx / kCodesPerDiv;
    y[i] = double(kPlotRow - rows[i]) * vy / kPlotPixelsPerDiv - double(py - kCentreCode) * vy / kCodesPerDiv;
  }
}

// A point at the origin has no angle: its phase reads 0.
void _cursor_draw::Calc_XY_Cursor_R_Phase(double x, double y, double* r, double* phase) {
  const double radius = std::sqrt(x * x + y * y);
  if (r) *r = radius;
  if (!phase) return;
  if (radius == 0) {
    *phase = 0;
    return;
  }
  const double a = std::acos(std::clamp(x / radius, -1.0, 1.0)) * 180 / kPiAmplitude;
  *phase = y < 0 ? -a : a;
}

void _cursor_draw::drawFrameXY() {
  const CursorData d = GetCursorData();
  MeaFontScope font(kPanelFont);
  Panel(kCursorPicXY, kXYRow, kXYColumn);
  double x[3] = {}, y[3] = {};
  const bool marks = d.xyType == 0;
  if (marks) calCursorXYTimeValue(x, y);
  else calCursorXYAmpValue(x, y);
  x[2] = x[1] - x[0];
  y[2] = y[1] - y[0];
  char text[48];
  if (marks) {
    const x_system* h = SystemResource.timeBase;
    const int trigger = h ? h->GetRealPreTrigDepthScreenPos(0) : 0;
    const double spd = SecondsPerDiv();
    const double t0 = double(d.xyTA - kAreaLeft - trigger) * spd / kPixelsPerDiv;
    const double t1 = double(d.xyTB - kAreaLeft - trigger) * spd / kPixelsPerDiv;
    const double t[3] = {t0, t1, t1 - t0};
    for (int i = 0; i < 3; ++i) {
      TimeText(t[i], "%.1lf%s", text, sizeof text);
      XYText(*this, kXYRowTime, kXYEnds[i], text);
    }
  } else {
    for (int i = 0; i < 3; ++i) XYText(*this, kXYRowTime, kXYEnds[i], "-");
  }
  const char* ux = UnitName(0);
  const char* uy = UnitName(1);
  for (int i = 0; i < 3; ++i) {
    VoltText(x[i], 0, "%.1lf%s", text, sizeof text);
    XYText(*this, kXYRowX, kXYEnds[i], text);
    VoltText(y[i], 1, "%.1lf%s", text, sizeof text);
    XYText(*this, kXYRowY, kXYEnds[i], text);
    double r = 0, phase = 0;
    if (marks) {
      r = std::sqrt(x[i] * x[i] + y[i] * y[i]);
      phase = std::atan2(y[i], x[i]) * 180 / kPiMarks;
    } else {
      Calc_XY_Cursor_R_Phase(x[i], y[i], &r, &phase);
    }
    VoltText(r, 0, "%.1lf%s", text, sizeof text);
    XYText(*this, kXYRowR, kXYEnds[i], text);
    std::snprintf(text, sizeof text, "%.1lf\xB0", phase);
    XYText(*this, kXYRowPhase, kXYEnds[i], text);
    const double product = x[i] * y[i];
    char unit[16];
    std::snprintf(unit, sizeof unit, "%s%s", ux, uy);
    if (std::fabs(product) >= kLargeProduct)
      std::snprintf(text, sizeof text, "%5.1E%s", product, unit);
    else
      PrefixedText(product, unit, text, sizeof text);
    XYText(*this, kXYRowProduct, kXYEnds[i], text);
    std::snprintf(unit, sizeof unit, "%s/%s", uy, ux);
    if (std::fabs(x[i]) < kSmallX) std::snprintf(text, sizeof text, "***");
    else
      PrefixedText(y[i] / x[i], unit, text, sizeof text);
    XYText(*this, kXYRowRatio, kXYEnds[i], text);
  }
  DrawBuffSync(QelDraw.GetDrawAddr(DRAW_CURRENT), 0);
}
