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
