// Painting the FPGA's intensity raster (200 rows of 700 cells) into a page of
// the wave area. Only lit cells are painted: the rest of the page stays.
#pragma once
#include <cstdint>

// The colour of a raster byte: with one channel the whole byte indexes its
// palette, with both entry 2L of the palette the channel bit names.
struct RasterColours {
  const int* one = nullptr;  // the palette of the single channel, or null
  const int* both[2] = {};
  int operator()(uint8_t v) const { return one ? one[v] : both[v >> 7][2 * (v & 0x7F)]; }
};

// The wave area's top left corner on the page: the raster's first cell.
constexpr int kWaveTop = 33, kWaveLeft = 30;

// The state of the wave area the raster's place follows.
struct RasterView {
  bool split = false;    // independent time bases, split: rows 100.. into the lower area, 8 rows down
  bool xy = false;       // X-Y: rows 60.. as 2 x 2 cells into the square
  bool zoom = false;     // the zoom layout: rows 60.. into the zoomed window, 14 rows down
  bool full = true;      // horizontal points: two screen rows per raster row, else one from column 380
  bool cursors = false;  // X-Y: the square stands at the left while cursors are on
  int fftMode = 0;       // 2 (the spectrum's full view) hides the raster; 4 hides the one-row raster
};

// Paints every lit byte of `raster` (kQelRasterBytes) on `page` (Draw::kWidth
// x Draw::kHeight words) where `view` places it. The X-Y square's cells take
// entry 2L of `colours.both[0]`.
void PaintRaster(uint32_t* page, const uint8_t* raster, const RasterColours& colours,
                 const RasterView& view);

struct RowSpans;

// How a page shows a raster: whether at all, where, and each byte's colour.
struct RasterLook {
  bool shown = false;
  RasterView view;
  uint32_t colour[256] = {};  // a byte's colour
  uint32_t cell[128] = {};    // an X-Y cell's colour by level
};
RasterLook LookOf(const RasterColours& colours, const RasterView& view);
bool SameLook(const RasterLook& a, const RasterLook& b);

// True for the layouts whose screen cells each show one raster cell (two
// screen rows per raster row): a frame there need paint only what changed.
bool CellWise(const RasterView& view);

// Brings `page`, which shows `before` with the same cell-wise `look`, to
// `raster`: cells that changed are painted, or take `base`'s pixels where they
// went dark, and every lit cell in the `repaint` spans (restored to the base
// this frame, nothing drawn on them since) is painted again.
// The spans of the cells it wrote are added to `wrote` (when not null).
void PaintRasterChanges(uint32_t* page, const uint32_t* base, const uint8_t* raster,
                        const uint8_t* before, const RasterLook& look, const RowSpans& repaint,
                        RowSpans* wrote = nullptr);

// Copies from page `from` to `to` the pixels of each cell where rasters `a`
// and `b`, both shown with the cell-wise `view`, differ.
void CopyRasterDifference(uint32_t* to, const uint32_t* from, const uint8_t* a, const uint8_t* b,
                          const RasterView& view);
