// The wave area's frames (on the static page) and graticules (on the page
// being composed), in the grid colour: the Y-T area of 14 x 8 divisions of
// 50 pixels, the split independent time-base areas, the X-Y and zoom layouts.
#include <algorithm>
#include <cstdio>

#include "acquisition/tables/timebase_tables.h"
#include "core/state/sys_run_info.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kAreaWidth = 700;
constexpr int kAreaHeight = 400;
constexpr int kDiv = 50;
constexpr int kStripHeight = 120;  // the X-Y and zoom layouts' upper strip
constexpr int kLowerTop = 165;     // their lower window
constexpr int kLowerHeight = 280;
constexpr int kSplitStep = 208;    // the lower area of a split independent time base
constexpr int kZoomLabelRow = 133, kZoomLabelCentre = 380, kZoomLabelFont = 1,
              kZoomLabelColour = 0xC8C8AF;

using Area = qel_draw::GridArea;

// Dots `page` in the grid colour at (row, c) for c = c0, c0 + step, ... < c1,
// only within the clip's span of the row when there is a clip.
void DotSpan(uint32_t* page, const RowSpans* clip, int row, int c0, int c1, int step, uint32_t colour) {
  if (clip) {
    if (!clip->Any(row)) return;
    const int lo = clip->lo[row];
    if (c0 < lo) c0 += (lo - c0 + step - 1) / step * step;
    c1 = std::min<int>(c1, clip->hi[row]);
  }
  uint32_t* line = page + row * Draw::kWidth;
  for (int c = c0; c < c1; c += step) line[c] = colour;
}

// A row dotted every 5 columns across the area.
void DotRow(uint32_t* page, const RowSpans* clip, const Area& s, int row, uint32_t colour) {
  DotSpan(page, clip, row, s.left, s.left + s.width, 5, colour);
}

// A column dotted every `dotStep` rows down the area.
void DotColumn(uint32_t* page, const RowSpans* clip, const Area& s, int col, uint32_t colour) {
  for (int r = s.top; r < s.top + s.height; r += s.dotStep) DotSpan(page, clip, r, col, col + 1, 1, colour);
}

// The graticule proper: centre cross (graticules 0 and 2), division lines and
// edge ticks (graticules 0 and 1). Graticule 3 draws nothing.
void DotArea(uint32_t* page, const RowSpans* clip, const Area& s, int graticule, uint32_t colour) {
  if (graticule < 0 || graticule > 2 || s.dotStep <= 0 || s.divW <= 0 || s.divH <= 0) return;
  if (graticule != 1) {
    for (int k = 0; k < 3; ++k) {
      DotRow(page, clip, s, s.top - 1 + s.height / 2 + k, colour);
      DotColumn(page, clip, s, s.left - 1 + s.width / 2 + k, colour);
    }
    if (graticule == 2) return;
  }
  for (int r = s.top + s.divH; r < s.top + s.height; r += s.divH) DotRow(page, clip, s, r, colour);
  for (int c = s.left + s.divW; c < s.left + s.width; c += s.divW) DotColumn(page, clip, s, c, colour);
  for (int k = 0; k < 3; ++k) {
    DotRow(page, clip, s, s.top + k, colour);
    DotRow(page, clip, s, s.top + s.height - 1 - k, colour);
    DotColumn(page, clip, s, s.left + k, colour);
    DotColumn(page, clip, s, s.left + s.width - 1 - k, colour);
  }
}

// Every area's pixels are on the page.
constexpr bool OnPage(const Area& a) {
  return a.top >= 0 && a.left >= 0 && a.top + a.height <= Draw::kHeight && a.left + a.width <= Draw::kWidth;
}
static_assert(OnPage(Area{kWaveTop, kWaveLeft, kAreaWidth, kAreaHeight, kDiv, kDiv, 10}) &&
                  OnPage(Area{kWaveTop + kSplitStep, kWaveLeft, kAreaWidth, 200, kDiv, 25, 5}) &&
                  OnPage(Area{kLowerTop, kWaveLeft, kAreaWidth, kLowerHeight, kDiv, 35, 5}) &&
                  OnPage(Area{kLowerTop, 240, kLowerHeight, kLowerHeight, 35, 35, 5}),
              "the graticules are on the page");

int Graticule() { return SysRunStatus.GetDiplayGraticule(); }
}  // namespace

void qel_draw::DrawGridFrameYT(int) {
  const int colour = gridColour_;
  const bool split = para_.independent && para_.split;
  if (para_.fftLayout) {
    DrawFrameBuffer(kWaveTop, 130, para_.fftColumns, kAreaHeight, colour, DRAW_STATIC);
  } else if (split) {
    DrawFrameBuffer(kWaveTop, kWaveLeft, kAreaWidth, 200, colour, DRAW_STATIC);
    DrawFrameBuffer(241, kWaveLeft, kAreaWidth, 200, colour, DRAW_STATIC);
  } else {
    DrawFrameBuffer(kWaveTop, kWaveLeft, kAreaWidth, kAreaHeight, colour, DRAW_STATIC);
  }
  if (MathOn() && para_.fftMode == 1)
    DrawFrameBuffer(kWaveTop, kWaveLeft + kAreaWidth / 2, 350, 200, colour, DRAW_STATIC);
}

void qel_draw::DrawGridFrameXY(short) {
  DrawFrameBuffer(kWaveTop, kWaveLeft, kAreaWidth, kStripHeight, gridColour_, DRAW_STATIC);
  DrawFrameBuffer(kLowerTop, para_.cursorOn ? kWaveLeft : 240, kLowerHeight, kLowerHeight, gridColour_,
                  DRAW_STATIC);
}

void qel_draw::DrawGridFrameZoom() {
  DrawFrameBuffer(kWaveTop, kWaveLeft, kAreaWidth, kStripHeight, gridColour_, DRAW_STATIC);
  DrawFrameBuffer(kLowerTop, kWaveLeft, kAreaWidth, kLowerHeight, gridColour_, DRAW_STATIC);
}

bool qel_draw::GridPlan::operator==(const GridPlan& o) const {
  if (graticule != o.graticule || colour != o.colour || areas != o.areas) return false;
  for (int i = 0; i < areas; ++i) {
    const GridArea &a = area[i], &b = o.area[i];
    if (a.top != b.top || a.left != b.left || a.width != b.width || a.height != b.height ||
        a.divW != b.divW || a.divH != b.divH || a.dotStep != b.dotStep)
      return false;
  }
  return true;
}

// The areas of the layout shown: Y-T (the split time bases' two, the FFT's
// half-height or narrowed one), X-Y's strip and square, zoom's strip and pane.
qel_draw::GridPlan qel_draw::PlanGrid() const {
  GridPlan plan;
  plan.graticule = Graticule();
  plan.colour = gridColour_;
  if (plan.graticule == 3) return plan;
  if (para_.timeBaseType) {
    plan.areas = 2;
    plan.area[0] = GridArea{kWaveTop, kWaveLeft, kAreaWidth, kStripHeight, kDiv, 30, 5};
    plan.area[1] = GridArea{kLowerTop, kWaveLeft, kAreaWidth, kLowerHeight, kDiv, 35, 5};
    return plan;
  }
  if (para_.displayFormat == 1) {
    plan.areas = 2;
    plan.area[0] = GridArea{kWaveTop, kWaveLeft, kAreaWidth, kStripHeight, kDiv, 30, 5};
    plan.area[1] =
        GridArea{kLowerTop, para_.cursorOn ? kWaveLeft : 240, kLowerHeight, kLowerHeight, 35, 35, 5};
    return plan;
  }
  const bool fft = MathOn() && para_.mathType == 1;
  const bool split = para_.independent && para_.split;
  GridArea s{kWaveTop, para_.fftMode == 2 ? 130 : kWaveLeft, kAreaWidth, kAreaHeight, kDiv, kDiv, 10};
  if (fft && para_.fftMode == 2) s.width = 500;
  if (fft && (para_.fftMode == 1 || para_.fftMode == 3)) {  // the spectrum's lower half
    s.top = 233;
    s.height = 200;
    s.divH = 25;
    s.dotStep = 5;
  } else if (split) {
    s.height = 200;
    s.divH = 25;
    s.dotStep = 5;
  }
  plan.area[plan.areas++] = s;
  if (split) {
    s.top += kSplitStep;
    plan.area[plan.areas++] = s;
  }
  return plan;
}

void qel_draw::DotGrid(const GridPlan& plan, const RowSpans* clip) {
  uint32_t* page = Surface(DRAW_CURRENT);
  for (int i = 0; i < plan.areas; ++i) DotArea(page, clip, plan.area[i], plan.graticule, uint32_t(plan.colour));
}

// A page that holds this frame's grid gets its dots again only where this
// frame wrote over them; any other draws it whole, recorded as drawn.
void qel_draw::DrawGrid() {
  const int p = currentPage_.load();
  if (Surface(DRAW_CURRENT) != Page(p)) {
    DotGrid(gridPlan_, nullptr);  // composing hidden: the page is drawn whole each frame
  } else if (!fullFrames_ && pageGrid_[p] == gridPlan_) {
    const RowSpans cover = CoveredThisFrame(p);
    DotGrid(gridPlan_, &cover);
  } else {
    DotGrid(gridPlan_, nullptr);
    drawn_[p].AddRows(kWaveTop, kHeight, kWaveLeft, kWidth);
    pageGrid_[p] = gridPlan_;
  }
  if (!para_.timeBaseType || gridPlan_.graticule == 3) return;
  // The main window's time base, under its strip (the status bar shows the zoom's).
  const int main = std::clamp<int>(SysRunStatus.GetSysRunInfoBaseAddr()->horizontal[0].realTimeBase, 0,
                                   kTimeBaseEntries - 1);
  char text[32];
  std::snprintf(text, sizeof text, "M: %s", TimeBaseStr[main]);
  if (Font* f = GetUserFontPointer()) f->SetCurrFont(kZoomLabelFont);
  DrawCentredAscii(kZoomLabelRow, kZoomLabelCentre, text, kZoomLabelColour, DRAW_CURRENT);
}
