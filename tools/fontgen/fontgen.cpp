// Writes the instrument's bitmap fonts from DejaVu, with the CJK characters
// of the UTF-16 fonts from WenQuanYi Micro Hei when it is given (FreeType,
// monochrome, hinted): the 12 ASCII fonts (256 glyphs), the two UTF-16 fonts (65,535
// glyphs) and the 36 special glyphs, each glyph 72 bytes (24 rows x 3 bytes).
// Every glyph is placed so that the loader's width rule draws all of it;
// glyphs that cannot be kept whole are left blank.
//
//   fontgen <factory dir> <font dir> [CJK font file]
#include <cstdio>
#include <string>
#include <vector>

#include "raster.h"
#include "glyph_patterns.h"

namespace {

struct FontSpec {
  const char* file;  // output, relative to the factory dir
  const char* face;  // DejaVu file
  int pixels;
};

// Proportional sans fonts for the "Arial" sizes, the wider DejaVu Sans for the
// "msyh" ones, the bold face for the heavy 13.
const FontSpec kAscii[] = {
    {"Data/ASCII/Arial_9.dat", "DejaVuSansCondensed.ttf", 9},
    {"Data/ASCII/Arial_10.dat", "DejaVuSansCondensed.ttf", 10},
    {"Data/ASCII/Arial_11.dat", "DejaVuSansCondensed.ttf", 11},
    {"Data/ASCII/Arial_12.dat", "DejaVuSansCondensed.ttf", 12},
    {"Data/ASCII/Arial_13.dat", "DejaVuSansCondensed.ttf", 13},
    {"Data/ASCII/Arial_14.dat", "DejaVuSansCondensed.ttf", 14},
    {"Data/ASCII/Arial_15.dat", "DejaVuSansCondensed.ttf", 15},
    {"Data/ASCII/msyh_8.dat", "DejaVuSans.ttf", 8},
    {"Data/ASCII/msyh_10.dat", "DejaVuSans.ttf", 10},
    {"Data/ASCII/msyh_11.dat", "DejaVuSans.ttf", 11},
    {"Data/ASCII/msyh_12.dat", "DejaVuSans.ttf", 12},
    {"Data/ASCII/Arial_13Hei.dat", "DejaVuSansCondensed-Bold.ttf", 13},
};

const FontSpec kUnicode[] = {
    {"Data/Unicode/unicode.dat", "DejaVuSansCondensed.ttf", 13},
    {"Data/Unicode/unicode16.dat", "DejaVuSans.ttf", 16},
};
// Characters the primary face lacks come from here when it has them.
const char kFallbackFace[] = "DejaVuSans.ttf";

const char kSpecialFile[] = "Data/ASCII/SpecialChar.dat";
const char kDigitFace[] = "DejaVuSans-Bold.ttf";
constexpr int kDigitPixels = 20;
constexpr int kAsciiForDigits = 6;  // the suffix font of the large digits

constexpr int kAsciiGlyphs = 256;
constexpr int kUnicodeGlyphs = 65535;

bool WriteCells(const std::string& path, const std::vector<Cell>& cells) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "fontgen: cannot write %s\n", path.c_str());
    return false;
  }
  uint8_t glyph[72];
  bool ok = true;
  for (const Cell& c : cells) {
    PackCell(c, glyph);
    ok = ok && std::fwrite(glyph, 1, sizeof glyph, f) == sizeof glyph;
  }
  return std::fclose(f) == 0 && ok;
}

// Renders one character for a table from the first face that has it; false
// leaves it blank.
bool Glyph(Rasteriser& ras, FT_Face face, FT_Face fallback, uint32_t code, int baseline,
           WidthRule rule, Cell* out, FT_Face cjk = nullptr) {
  bool drawn = ras.Render(face, code, baseline, out);
  if (!drawn && fallback) drawn = ras.Render(fallback, code, baseline, out);
  if (!drawn && cjk) drawn = ras.Render(cjk, code, baseline, out);
  if (!drawn || !PlaceForRule(*out, rule) || !Whole(*out, rule, int(code))) {
    *out = Cell{};
    return false;
  }
  return true;
}

bool AsciiFont(Rasteriser& ras, const std::string& fonts, const std::string& outDir,
               const FontSpec& spec, int* baselineOut) {
  FT_Face face;
  if (!ras.Open(fonts + "/" + spec.face, spec.pixels, &face)) return false;
  const int base = Rasteriser::Baseline(face);
  if (baselineOut) *baselineOut = base;
  std::vector<Cell> cells(kAsciiGlyphs);
  int left = 0;
  // Printable ASCII and Latin-1 (a byte is its own code point); controls blank.
  for (int code = 33; code < kAsciiGlyphs; ++code) {
    if (code >= 127 && code < 161) continue;
    const WidthRule rule = code <= 128 ? WidthRule::AsciiAll : WidthRule::AsciiRun;
    if (!Glyph(ras, face, nullptr, uint32_t(code), base, rule, &cells[code])) ++left;
  }
  FT_Done_Face(face);
  std::printf("fontgen: %s (%s %dpx, baseline %d), %d left blank\n", spec.file, spec.face,
              spec.pixels, base, left);
  return WriteCells(outDir + "/" + spec.file, cells);
}

bool UnicodeFont(Rasteriser& ras, const std::string& fonts, const std::string& outDir,
                 const FontSpec& spec, const std::string& cjkFile) {
  FT_Face face, fallback, cjk = nullptr;
  if (!ras.Open(fonts + "/" + spec.face, spec.pixels, &face)) return false;
  if (!ras.Open(fonts + "/" + kFallbackFace, spec.pixels, &fallback)) return false;
  if (!cjkFile.empty() && !ras.Open(cjkFile, spec.pixels, &cjk)) cjk = nullptr;
  const int base = Rasteriser::Baseline(face);
  std::vector<Cell> cells(kUnicodeGlyphs);
  int drawn = 0;
  for (uint32_t code = 33; code < uint32_t(kUnicodeGlyphs); ++code) {
    if ((code >= 127 && code < 160) || (code >= 0xD800 && code < 0xE000)) continue;
    drawn += Glyph(ras, face, fallback, code, base, WidthRule::Unicode, &cells[code], cjk);
  }
  if (cjk) FT_Done_Face(cjk);
  FT_Done_Face(fallback);
  FT_Done_Face(face);
  std::printf("fontgen: %s (%s %dpx, baseline %d), %d glyphs\n", spec.file, spec.face,
              spec.pixels, base, drawn);
  return WriteCells(outDir + "/" + spec.file, cells);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: fontgen <factory dir> <font dir> [CJK font file]\n");
    return 2;
  }
  const std::string out = argv[1], fonts = argv[2], cjk = argc == 4 ? argv[3] : "";
  Rasteriser ras;
  bool ok = true;
  int suffixBaseline = 16;
  for (int i = 0; i < int(sizeof kAscii / sizeof kAscii[0]); ++i)
    ok = AsciiFont(ras, fonts, out, kAscii[i], i == kAsciiForDigits ? &suffixBaseline : nullptr) &&
         ok;
  for (const FontSpec& spec : kUnicode) ok = UnicodeFont(ras, fonts, out, spec, cjk) && ok;

  FT_Face digits;
  if (ras.Open(fonts + "/" + kDigitFace, kDigitPixels, &digits)) {
    // The large digits stand on the suffix font's baseline, lowered when they
    // would not fit below the cell's top.
    const int base = suffixBaseline > Rasteriser::Baseline(digits) - 1
                         ? suffixBaseline
                         : Rasteriser::Baseline(digits) - 1;
    ok = WriteCells(out + "/" + kSpecialFile, BuildSpecialGlyphs(ras, digits, base)) && ok;
    FT_Done_Face(digits);
  } else {
    ok = false;
  }
  return ok ? 0 : 1;
}
