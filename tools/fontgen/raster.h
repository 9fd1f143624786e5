// Rasterising one character into a 24 x 24 glyph cell so that the
// instrument's width rule keeps it whole.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

// 24 rows of 24 columns; bit 23 of a row is column 0 (the leftmost).
using Cell = std::array<uint32_t, 24>;

// How the loader measures the glyph (see the font store):
//  AsciiAll:  width = set columns of the rows' OR + 2 (codes up to 128, special glyphs);
//  AsciiRun:  width = first run of set columns + 2 (codes above 128);
//  Unicode:   width = rightmost set column + 1 (+ 1 more for codes up to 254).
enum class WidthRule { AsciiAll, AsciiRun, Unicode };

// Packs the cell into the 72-byte file layout.
void PackCell(const Cell& cell, uint8_t* out);

// Moves the ink of `cell` horizontally so that `rule` draws all of it with a
// one-column margin where the rule allows one; closes column gaps the rule
// would cut. Returns false when the ink cannot fit the cell (the caller then
// leaves the glyph blank).
bool PlaceForRule(Cell& cell, WidthRule rule);

// The width the loader computes for `cell` under `rule` for character `code`.
int RuleWidth(const Cell& cell, WidthRule rule, int code);

// True when every set column lies inside the width the rule gives.
bool Whole(const Cell& cell, WidthRule rule, int code);

class Rasteriser {
 public:
  Rasteriser();
  ~Rasteriser();
  Rasteriser(const Rasteriser&) = delete;
  Rasteriser& operator=(const Rasteriser&) = delete;

  // Opens a face at a pixel size; false (with a message) on failure.
  bool Open(const std::string& file, int pixels, FT_Face* face);
  // Baseline row for a face: its ascender plus one, kept so descenders fit.
  static int Baseline(FT_Face face);
  // Renders `code` (monochrome, hinted) with its baseline at `baseline`.
  // False when the face has no glyph or the glyph does not fit the cell rows.
  bool Render(FT_Face face, uint32_t code, int baseline, Cell* cell);

 private:
  FT_Library lib_ = nullptr;
};
