// The wave area's frames (on the static page) and graticules (on the page
// being composed), in the grid colour: the Y-T area of 14 x 8 divisions of
// 50 pixels, the split independent time-base areas, the X-Y and zoom layouts.
#include <algorithm>
#include <cstdio>

#include "acquisition/tables/timebase_tables.h"
#include "core/state/sys_run_info.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kTop = 33;
constexpr int kLeft = 30;
constexpr int kAreaWidth = 700;
constexpr int kAreaHeight = 400;
constexpr int kDiv = 50;
constexpr int kStripHeight = 120;  // the X-Y and zoom layouts' upper strip
constexpr int kLowerTop = 165;     // their lower window
constexpr int kLowerHeight = 280;
constexpr int kSplitStep = 208;    // the lower area of a split independent time base
constexpr int kZoomLabelRow = 133, kZoomLabelCentre = 380, kZoomLabelFont = 1,
              kZoomLabelColour = 0xC8C8AF;

// One dotted graticule area.
struct Scale {
  int top, left, width, height, divW, divH, dotStep;
};

// A row dotted every 5 columns across the area.
void DotRow(qel_draw& d, const Scale& s, int row, int colour) {
  for (int c = s.left; c < s.left + s.width; c += 5) d.SetPixel(row, c, colour, DRAW_CURRENT);
}

// A column dotted every `dotStep` rows down the area.
void DotColumn(qel_draw& d, const Scale& s, int col, int colour) {
  for (int r = s.top; r < s.top + s.height; r += s.dotStep) d.SetPixel(r, col, colour, DRAW_CURRENT);
}

// The graticule proper: centre cross (graticules 0 and 2), division lines and
// edge ticks (graticules 0 and 1). Graticule 3 draws nothing.
void DrawGridScale(qel_draw& d, const Scale& s, int graticule, int colour) {
  if (graticule < 0 || graticule > 2 || s.dotStep <= 0 || s.divW <= 0 || s.divH <= 0) return;
  if (graticule != 1) {
    for (int k = 0; k < 3; ++k) {
      DotRow(d, s, s.top - 1 + s.height / 2 + k, colour);
      DotColumn(d, s, s.left - 1 + s.width / 2 + k, colour);
    }
    if (graticule == 2) return;
  }
  for (int r = s.top + s.divH; r < s.top + s.height; r += s.divH) DotRow(d, s, r, colour);
  for (int c = s.left + s.divW; c < s.left + s.width; c += s.divW) DotColumn(d, s, c, colour);
  for (int k = 0; k < 3; ++k) {
    DotRow(d, s, s.top + k, colour);
    DotRow(d, s, s.top + s.height - 1 - k, colour);
    DotColumn(d, s, s.left + k, colour);
    DotColumn(d, s, s.left + s.width - 1 - k, colour);
  }
}

int Graticule() { return SysRunStatus.GetDiplayGraticule(); }
}  // namespace

void qel_draw::DrawGridFrameYT(int) {
  const int colour = gridColour_;
  const bool split = para_.independent && para_.split;
  if (para_.fftLayout) {
    DrawFrameBuffer(kTop, 130, para_.fftColumns, kAreaHeight, colour, DRAW_STATIC);
  } else if (split) {
    DrawFrameBuffer(kTop, kLeft, kAreaWidth, 200, colour, DRAW_STATIC);
    DrawFrameBuffer(241, kLeft, kAreaWidth, 200, colour, DRAW_STATIC);
  } else {
    DrawFrameBuffer(kTop, kLeft, kAreaWidth, kAreaHeight, colour, DRAW_STATIC);
  }
  if (MathOn() && para_.fftMode == 1)
    DrawFrameBuffer(kTop, kLeft + kAreaWidth / 2, 350, 200, colour, DRAW_STATIC);
}

void qel_draw::DrawGridFrameXY(short) {
  DrawFrameBuffer(kTop, kLeft, kAreaWidth, kStripHeight, gridColour_, DRAW_STATIC);
  DrawFrameBuffer(kLowerTop, para_.cursorOn ? kLeft : 240, kLowerHeight, kLowerHeight, gridColour_,
                  DRAW_STATIC);
}

void qel_draw::DrawGridFrameZoom() {
  DrawFrameBuffer(kTop, kLeft, kAreaWidth, kStripHeight, gridColour_, DRAW_STATIC);
  DrawFrameBuffer(kLowerTop, kLeft, kAreaWidth, kLowerHeight, gridColour_, DRAW_STATIC);
}

void qel_draw::DrawGridYT(int layout) {
  const int graticule = Graticule();
  if (graticule == 3) return;
  const bool split = para_.independent && para_.split;
  Scale s{kTop, para_.fftMode == 2 ? 130 : kLeft, kAreaWidth, kAreaHeight, kDiv, kDiv, 10};
  if (MathOn() && para_.mathType == 1 && para_.fftMode == 2) s.width = 500;
  if (layout == 2) {
    s.top = 233;
    s.height = 200;
    s.divH = 25;
    s.dotStep = 5;
  } else if (split) {
    s.height = 200;
    s.divH = 25;
    s.dotStep = 5;
  }
  DrawGridScale(*this, s, graticule, gridColour_);
  if (split) {
    s.top += kSplitStep;
    DrawGridScale(*this, s, graticule, gridColour_);
  }
}

void qel_draw::DrawGridXY(short) {
  const int graticule = Graticule();
  if (graticule == 3) return;
  DrawGridScale(*this, Scale{kTop, kLeft, kAreaWidth, kStripHeight, kDiv, 30, 5}, graticule,
                gridColour_);
  DrawGridScale(*this,
                Scale{kLowerTop, para_.cursorOn ? kLeft : 240, kLowerHeight, kLowerHeight, 35, 35, 5},
                graticule, gridColour_);
}

void qel_draw::DrawGridZoom() {
  const int graticule = Graticule();
  if (graticule == 3) return;
  DrawGridScale(*this, Scale{kTop, kLeft, kAreaWidth, kStripHeight, kDiv, 30, 5}, graticule,
                gridColour_);
  DrawGridScale(*this, Scale{kLowerTop, kLeft, kAreaWidth, kLowerHeight, kDiv, 35, 5}, graticule,
                gridColour_);
  // The main window's time base, under its strip (the status bar shows the zoom's).
  const int main = std::clamp<int>(SysRunStatus.GetSysRunInfoBaseAddr()->horizontal[0].realTimeBase, 0,
                                   kTimeBaseEntries - 1);
  char text[32];
  std::snprintf(text, sizeof text, "M: %s", TimeBaseStr[main]);
  if (Font* f = GetUserFontPointer()) f->SetCurrFont(kZoomLabelFont);
  DrawCentredAscii(kZoomLabelRow, kZoomLabelCentre, text, kZoomLabelColour, DRAW_CURRENT);
}
