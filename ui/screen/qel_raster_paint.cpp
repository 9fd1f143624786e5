// The intensity raster on a page. A frame's raster is mostly empty: rows are
// read a word of eight cells at a time and only the lit cells are written,
// straight into the page (every place below is on it, checked at compile time).
#include "ui/screen/qel_raster_paint.h"

#include <cstring>

#include "acquisition/engine/wave.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kTop = 33, kLeft = 30, kHalfLeft = 380;
constexpr int kColumns = _wave::kColumns;
constexpr int kRows = kQelRasterBytes / kColumns;
constexpr int kSplitRow = kRows / 2, kSplitDrop = 8;  // the lower area of split time bases
constexpr int kWindowRow = 60, kZoomDrop = 14;        // the zoomed window / the X-Y square from this row
constexpr int kCellColumns = 5;                       // raster columns sharing one X-Y cell column
constexpr int kHalfColumns = Draw::kWidth - kHalfLeft < kColumns ? Draw::kWidth - kHalfLeft : kColumns;
constexpr int kWord = int(sizeof(uint64_t));

static_assert(kLeft + kColumns <= Draw::kWidth, "the raster's columns are on the page");
static_assert(kTop + 2 * kRows + (kSplitDrop > kZoomDrop ? kSplitDrop : kZoomDrop) <= Draw::kHeight,
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

// A raster row on two screen rows from `screenRow`, column kLeft on.
void TwoRows(uint32_t* page, int screenRow, const uint8_t* row, const RasterColours& colours) {
  uint32_t* upper = page + screenRow * Draw::kWidth + kLeft;
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
      case Layout::kFull: TwoRows(page, kTop + 2 * r, row, colours); break;
      case Layout::kSplit:
        TwoRows(page, kTop + 2 * r + (r >= kSplitRow ? kSplitDrop : 0), row, colours);
        break;
      case Layout::kZoom:
        TwoRows(page, kTop + 2 * r + (r >= kWindowRow ? kZoomDrop : 0), row, colours);
        break;
      case Layout::kHalf: {
        uint32_t* line = page + (kTop + r) * Draw::kWidth + kHalfLeft;
        ForLitCells(row, kHalfColumns, [&](int x, uint8_t v) { line[x] = uint32_t(colours(v)); });
        break;
      }
      case Layout::kXY: {
        if (r < kWindowRow) {
          TwoRows(page, kTop + 2 * r, row, colours);
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
