// The 36 special glyphs: mouse pointer, coupling, invert and trigger marks,
// the memory-window indicator and the large digits of the number read-outs.
#pragma once
#include <string>
#include <vector>

#include "raster.h"

constexpr int kSpecialCount = 36;

// Builds every special glyph; `digits` renders 0-9, '.', '-' (large, bold)
// and `baseline` is the row they stand on. Empty cells stay blank.
std::vector<Cell> BuildSpecialGlyphs(Rasteriser& ras, FT_Face digits, int baseline);
