#include "raster.h"

#include <cstdio>
#include <vector>

namespace {

uint32_t ColumnsUsed(const Cell& cell) {
  uint32_t u = 0;
  for (uint32_t r : cell) u |= r;
  return u;
}

bool ColumnSet(uint32_t u, int c) { return (u >> (23 - c)) & 1u; }

// Rebuilds every row from the listed source columns, placed from column `at`.
void Remap(Cell& cell, const std::vector<int>& columns, int at) {
  Cell out{};
  for (int r = 0; r < 24; ++r)
    for (size_t i = 0; i < columns.size(); ++i)
      if (ColumnSet(cell[r], columns[i])) out[r] |= 1u << (23 - (at + int(i)));
  cell = out;
}

}  // namespace

void PackCell(const Cell& cell, uint8_t* out) {
  for (int r = 0; r < 24; ++r) {
    out[3 * r] = uint8_t(cell[r] >> 16);
    out[3 * r + 1] = uint8_t(cell[r] >> 8);
    out[3 * r + 2] = uint8_t(cell[r]);
  }
}

int RuleWidth(const Cell& cell, WidthRule rule, int code) {
  const uint32_t u = ColumnsUsed(cell);
  if (rule == WidthRule::Unicode) {
    int k = 0;
    for (int c = 0; c < 24; ++c)
      if (ColumnSet(u, c)) k = c + 1;
    return code <= 254 ? k + 1 : k;
  }
  int count = 0;
  bool seen = false;
  for (int c = 0; c < 24; ++c) {
    if (ColumnSet(u, c)) {
      ++count;
      seen = true;
    } else if (seen && rule == WidthRule::AsciiRun) {
      break;
    }
  }
  return count + 2;
}

bool Whole(const Cell& cell, WidthRule rule, int code) {
  const uint32_t u = ColumnsUsed(cell);
  const int w = RuleWidth(cell, rule, code);
  for (int c = w; c < 24; ++c)
    if (ColumnSet(u, c)) return false;
  return true;
}

bool PlaceForRule(Cell& cell, WidthRule rule) {
  const uint32_t u = ColumnsUsed(cell);
  if (!u) return true;
  int first = 0, last = 23;
  while (!ColumnSet(u, first)) ++first;
  while (!ColumnSet(u, last)) --last;
  int gapColumns = 0;
  for (int c = first; c <= last; ++c) gapColumns += !ColumnSet(u, c);

  // The ASCII rules count set columns, so empty columns inside the ink make
  // it wider than the drawn width (set columns + 2). "All columns": with one
  // gap column the ink starts at column 1; with more, at most two stay (the
  // first of each gap) and the ink starts at column 0. "First run": every
  // gap closes. Unicode measures to the rightmost column: the shape stays.
  int budget = 24, at = 1;
  if (rule == WidthRule::AsciiRun) budget = 0;
  if (rule == WidthRule::AsciiAll && gapColumns > 1) budget = 2, at = 0;
  std::vector<int> kept;
  int used = 0;
  for (int c = first; c <= last; ++c) {
    const bool gapStart = !ColumnSet(u, c) && ColumnSet(u, c - 1);
    if (ColumnSet(u, c) || rule == WidthRule::Unicode || (gapStart && used < budget) ||
        (rule == WidthRule::AsciiAll && gapColumns <= 1)) {
      kept.push_back(c);
      used += !ColumnSet(u, c);
    }
  }
  if (at + int(kept.size()) > 24) return false;
  Remap(cell, kept, at);
  return true;
}

Rasteriser::Rasteriser() {
  if (FT_Init_FreeType(&lib_)) {
    std::fprintf(stderr, "fontgen: FreeType does not start\n");
    lib_ = nullptr;
  }
}

Rasteriser::~Rasteriser() {
  if (lib_) FT_Done_FreeType(lib_);
}

bool Rasteriser::Open(const std::string& file, int pixels, FT_Face* face) {
  if (!lib_ || FT_New_Face(lib_, file.c_str(), 0, face)) {
    std::fprintf(stderr, "fontgen: cannot open %s\n", file.c_str());
    return false;
  }
  if (FT_Set_Pixel_Sizes(*face, 0, FT_UInt(pixels))) {
    std::fprintf(stderr, "fontgen: %s has no size %d\n", file.c_str(), pixels);
    return false;
  }
  return true;
}

int Rasteriser::Baseline(FT_Face face) {
  const int asc = int((face->size->metrics.ascender + 63) >> 6);
  const int desc = int((-face->size->metrics.descender + 63) >> 6);
  int base = asc + 1;
  if (base + desc > 24) base = 24 - desc;
  return base;
}

bool Rasteriser::Render(FT_Face face, uint32_t code, int baseline, Cell* cell) {
  *cell = Cell{};
  const FT_UInt index = FT_Get_Char_Index(face, code);
  if (!index) return false;
  if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO)) return false;
  const FT_Bitmap& bm = face->glyph->bitmap;
  if (bm.pixel_mode != FT_PIXEL_MODE_MONO) return false;
  const int top = baseline - face->glyph->bitmap_top;
  for (unsigned y = 0; y < bm.rows; ++y) {
    const unsigned char* src = bm.buffer + int(y) * bm.pitch;
    uint32_t bits = 0;
    for (unsigned x = 0; x < bm.width; ++x) {
      if (!(src[x / 8] & (0x80 >> (x % 8)))) continue;
      if (x >= 24) return false;
      bits |= 1u << (23 - x);
    }
    if (!bits) continue;
    const int r = top + int(y);
    if (r < 0 || r >= 24) return false;  // the glyph would be cut: leave it out
    (*cell)[r] = bits;
  }
  return true;
}
