// The intensity raster on a page. A frame's raster is mostly empty: rows are
// read a word of eight cells at a time and only the lit cells are written,
// straight into the page (every place below is on it, checked at compile time).
#include "ui/screen/qel_raster_paint.h"

#include <algorithm>
#include <cstring>

#include "acquisition/engine/wave.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kHalfLeft = 380;
constexpr int kColumns = _wave::kColumns;
constexpr int kRows = kQelRasterBytes / kColumns;
constexpr int kSplitRow = kRows / 2, kSplitDrop = 8;  // the lower area of split time bases
constexpr int kWindowRow = 60, kZoomDrop = 14;        // the zoomed window / the X-Y square from this row
constexpr int kCellColumns = 5;                       // raster columns sharing one X-Y cell column
constexpr int kHalfColumns = Draw::kWidth - kHalfLeft < kColumns ? Draw::kWidth - kHalfLeft : kColumns;
constexpr int kWord = int(sizeof(uint64_t));

static_assert(kWaveLeft + kColumns <= Draw::kWidth, "the raster's columns are on the page");
static_assert(kWaveTop + 2 * kRows + (kSplitDrop > kZoomDrop ? kSplitDrop : kZoomDrop) <= Draw::kHeight,
              "the raster's rows are on the page");
static_assert(kXYSquareTop + 2 * (kRows - kWindowRow) <= Draw::kHeight,
              "the X-Y cells' rows are on the page");
static_assert(kXYSquareLeft + 2 * ((kColumns - 1) / kCellColumns) + 2 <= Draw::kWidth &&
                  kXYSquareLeftCursors >= 0 &&
                  kXYSquareLeftCursors + 2 * ((kColumns - 1) / kCellColumns) + 2 <= Draw::kWidth,
              "the X-Y cells' columns are on the page");

// Calls lit(x, v) for each non-zero cell of a row of `width` cells, in column
// order, passing over empty words whole.
template <class Lit>
void ForLitCells(const uint8_t* row, int width, Lit&& lit) {
  int x = 0;
  for (; x + kWord <= width; x += kWord) {
    uint64_t word;
    std::memcpy(&word, row + x, kWord);
    if (!word) continue;
    for (int i = x; i < x + kWord; ++i)
      if (row[i]) lit(i, row[i]);
  }
  for (; x < width; ++x)
    if (row[x]) lit(x, row[x]);
}

// A raster row on two screen rows from `screenRow`, column kWaveLeft on.
void TwoRows(uint32_t* page, int screenRow, const uint8_t* row, const RasterColours& colours) {
  uint32_t* upper = page + screenRow * Draw::kWidth + kWaveLeft;
  uint32_t* lower = upper + Draw::kWidth;
  ForLitCells(row, kColumns, [&](int x, uint8_t v) { upper[x] = lower[x] = uint32_t(colours(v)); });
}

enum class Layout {
  kHidden,
  kFull,   // two screen rows per raster row
  kHalf,   // one screen row per raster row, from column 380, cut at the screen's edge
  kSplit,  // two rows each, the lower half 8 rows further down
  kZoom,   // two rows each, the zoomed window's rows 14 rows further down
  kXY,     // the strip as kFull, the square's rows as cells
};

Layout LayoutOf(const RasterView& v) {
  if (v.split) return Layout::kSplit;
  if (v.fftMode == 2) return Layout::kHidden;
  if (v.xy) return Layout::kXY;
  if (v.zoom) return Layout::kZoom;
  if (v.full) return Layout::kFull;
  return v.fftMode == 4 ? Layout::kHidden : Layout::kHalf;
}

// The first of the two screen rows of raster row r in a cell-wise layout.
int CellRow(Layout layout, int r) {
  if (layout == Layout::kSplit) return kWaveTop + 2 * r + (r >= kSplitRow ? kSplitDrop : 0);
  if (layout == Layout::kZoom) return kWaveTop + 2 * r + (r >= kWindowRow ? kZoomDrop : 0);
  return kWaveTop + 2 * r;
}

// Cells [lo, hi) of a raster row that screen columns [c0, c1) cover.
void CellsOf(int c0, int c1, int* lo, int* hi) {
  *lo = c0 - kWaveLeft < 0 ? 0 : c0 - kWaveLeft;
  *hi = c1 - kWaveLeft > kColumns ? kColumns : c1 - kWaveLeft;
}
}  // namespace

void PaintRaster(uint32_t* page, const uint8_t* raster, const RasterColours& colours,
                 const RasterView& view) {
  const Layout layout = LayoutOf(view);
  if (layout == Layout::kHidden) return;
  const int squareLeft = view.cursors ? kXYSquareLeftCursors : kXYSquareLeft;
  for (int r = 0; r < kRows; ++r) {
    const uint8_t* row = raster + r * kColumns;
    switch (layout) {
      case Layout::kHidden: return;
      case Layout::kFull: TwoRows(page, kWaveTop + 2 * r, row, colours); break;
      case Layout::kSplit:
        TwoRows(page, kWaveTop + 2 * r + (r >= kSplitRow ? kSplitDrop : 0), row, colours);
        break;
      case Layout::kZoom:
        TwoRows(page, kWaveTop + 2 * r + (r >= kWindowRow ? kZoomDrop : 0), row, colours);
        break;
      case Layout::kHalf: {
        uint32_t* line = page + (kWaveTop + r) * Draw::kWidth + kHalfLeft;
        ForLitCells(row, kHalfColumns, [&](int x, uint8_t v) { line[x] = uint32_t(colours(v)); });
        break;
      }
      case Layout::kXY: {
        if (r < kWindowRow) {
          TwoRows(page, kWaveTop + 2 * r, row, colours);
          break;
        }
        // 2 x 2 cells, two screen rows per raster row; the last lit of the
        // raster columns sharing a cell column gives its colour.
        uint32_t* upper = page + (kXYSquareTop + 2 * (r - kWindowRow)) * Draw::kWidth + squareLeft;
        uint32_t* lower = upper + Draw::kWidth;
        const int* palette = colours.both[0];
        ForLitCells(row, kColumns, [&](int x, uint8_t v) {
          const int c = 2 * (x / kCellColumns);
          upper[c] = upper[c + 1] = lower[c] = lower[c + 1] = uint32_t(palette[2 * (v & 0x7F)]);
        });
        break;
      }
    }
  }
}

RasterLook LookOf(const RasterColours& colours, const RasterView& view) {
  RasterLook look;
  look.view = view;
  look.shown = LayoutOf(view) != Layout::kHidden;
  for (int v = 0; v < 256; ++v) look.colour[v] = uint32_t(colours(uint8_t(v)));
  for (int l = 0; l < 128; ++l) look.cell[l] = uint32_t(colours.both[0][2 * l]);
  return look;
}

bool SameLook(const RasterLook& a, const RasterLook& b) {
  if (a.shown != b.shown) return false;
  if (!a.shown) return true;
  const RasterView &x = a.view, &y = b.view;
  return LayoutOf(x) == LayoutOf(y) && x.cursors == y.cursors &&
         std::memcmp(a.colour, b.colour, sizeof a.colour) == 0 &&
         std::memcmp(a.cell, b.cell, sizeof a.cell) == 0;
}

bool CellWise(const RasterView& view) {
  const Layout layout = LayoutOf(view);
  return layout == Layout::kFull || layout == Layout::kSplit || layout == Layout::kZoom;
}

void PaintRasterChanges(uint32_t* page, const uint32_t* base, const uint8_t* raster,
                        const uint8_t* before, const RasterLook& look, const RowSpans& repaint,
                        RowSpans* wrote) {
  const Layout layout = LayoutOf(look.view);
  for (int r = 0; r < kRows; ++r) {
    const int s = CellRow(layout, r);
    int c0 = Draw::kWidth, c1 = 0;  // the screen columns painted again whatever they were
    for (int row : {s, s + 1}) {
      if (!repaint.Any(row)) continue;
      c0 = std::min<int>(c0, repaint.lo[row]);
      c1 = std::max<int>(c1, repaint.hi[row]);
    }
    int lo = 0, hi = 0;
    if (c1 > c0) CellsOf(c0, c1, &lo, &hi);
    const uint8_t* now = raster + r * kColumns;
    const uint8_t* was = before + r * kColumns;
    uint32_t* upper = page + s * Draw::kWidth + kWaveLeft;
    uint32_t* lower = upper + Draw::kWidth;
    const uint32_t* baseUpper = base + s * Draw::kWidth + kWaveLeft;
    const uint32_t* baseLower = baseUpper + Draw::kWidth;
    // A cell gone dark takes the base's pixels on both rows (one of them
    // may have been restored, the other not).
    int first = kColumns, last = -1;  // the cells written
    auto cell = [&](int x) {
      const uint8_t v = now[x];
      if (v) {
        if (v == was[x] && (x < lo || x >= hi)) return;
        upper[x] = lower[x] = look.colour[v];
      } else if (was[x]) {
        upper[x] = baseUpper[x];
        lower[x] = baseLower[x];
      } else {
        return;
      }
      first = std::min(first, x);
      last = x;
    };
    int x = 0;
    for (; x + kWord <= kColumns; x += kWord) {
      uint64_t a, b;
      std::memcpy(&a, now + x, kWord);
      std::memcpy(&b, was + x, kWord);
      // Nothing to do: no change outside the spans, nothing lit in them.
      const bool outside = x + kWord <= lo || x >= hi;
      if ((outside && a == b) || (!a && !b)) continue;
      for (int i = x; i < x + kWord; ++i) cell(i);
    }
    for (; x < kColumns; ++x) cell(x);
    if (wrote && last >= first) {
      wrote->Add(s, kWaveLeft + first, kWaveLeft + last + 1);
      wrote->Add(s + 1, kWaveLeft + first, kWaveLeft + last + 1);
    }
  }
}

void CopyRasterDifference(uint32_t* to, const uint32_t* from, const uint8_t* a, const uint8_t* b,
                          const RasterView& view) {
  const Layout layout = LayoutOf(view);
  for (int r = 0; r < kRows; ++r) {
    const uint8_t* x = a + r * kColumns;
    const uint8_t* y = b + r * kColumns;
    const size_t at = size_t(CellRow(layout, r)) * Draw::kWidth + kWaveLeft;
    auto cell = [&](int i) {
      if (x[i] == y[i]) return;
      to[at + size_t(i)] = from[at + size_t(i)];
      to[at + Draw::kWidth + size_t(i)] = from[at + Draw::kWidth + size_t(i)];
    };
    int i = 0;
    for (; i + kWord <= kColumns; i += kWord) {
      uint64_t u, v;
      std::memcpy(&u, x + i, kWord);
      std::memcpy(&v, y + i, kWord);
      if (u == v) continue;
      for (int k = i; k < i + kWord; ++k) cell(k);
    }
    for (; i < kColumns; ++i) cell(i);
  }
}
