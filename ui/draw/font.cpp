#include "ui/draw/font.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/root.h"

const AsciiFontRow AsciiMsg[kAsciiFontCount] = {
    {"Data/ASCII/Arial_9.dat", 0},    {"Data/ASCII/Arial_10.dat", 1},
    {"Data/ASCII/Arial_11.dat", 2},   {"Data/ASCII/Arial_12.dat", 3},
    {"Data/ASCII/Arial_13.dat", 4},   {"Data/ASCII/Arial_14.dat", 5},
    {"Data/ASCII/Arial_15.dat", 6},   {"Data/ASCII/msyh_8.dat", 11},
    {"Data/ASCII/msyh_10.dat", 10},   {"Data/ASCII/msyh_11.dat", 9},
    {"Data/ASCII/msyh_12.dat", 8},    {"Data/ASCII/Arial_13Hei.dat", 7},
};

const char FontForUnicode[kUnicodeFontCount][50] = {"Data/Unicode/unicode.dat",
                                                     "Data/Unicode/unicode16.dat"};

const char SpecialCharPath[] = "Data/ASCII/SpecialChar.dat";

namespace {
// Every special glyph starts blank, 24 x 24, until its file is read.
constexpr font kBlankSpecial = {24, 24, {}};
}  // namespace

font SysSpecialChar[kSpecialGlyphs] = {
#define B kBlankSpecial
    B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B,
    B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B,
#undef B
};

Font QelFont;

namespace {

// Reads up to `size` bytes of a resource file into `buf` (cleared first).
// Prints the instrument's load messages; returns the bytes read, -1 when the
// file cannot be opened.
long ReadGlyphFile(const char* path, uint8_t* buf, size_t size) {
  std::memset(buf, 0, size);
  FILE* f = std::fopen(plat::MapPath(path).c_str(), "rb");
  if (!f) {
    std::printf("Open /%s failed!\n", path);
    return -1;
  }
  std::printf("open %s ...\n", path);
  size_t got = std::fread(buf, 1, size, f);
  std::fclose(f);
  if (got != size) std::printf("Read %s Fiel Error!\n", path);
  return static_cast<long>(got);
}

// Copies `count` glyphs' bit rows out of a file image.
void CopyGlyphs(font* dst, const uint8_t* src, int count) {
  for (int i = 0; i < count; ++i)
    std::memcpy(dst[i].bits, src + static_cast<size_t>(i) * kGlyphBytes, kGlyphBytes);
}

uint32_t RowBits(const font* g, int r) {
  return (uint32_t(g->bits[3 * r]) << 16) | (uint32_t(g->bits[3 * r + 1]) << 8) | g->bits[3 * r + 2];
}

}  // namespace

void Font::Measure(font* g, int type, int code) {
  uint32_t u = 0;
  int rows = 0;
  for (int r = 0; r < 24; ++r) {
    uint32_t bits = RowBits(g, r);
    u |= bits;
    if (bits) ++rows;
  }
  g->height = static_cast<uint16_t>(rows + 4);
  if (type == kFontUnicode) {
    int k = 0;  // one past the rightmost set column
    for (int c = 0; c < 24; ++c)
      if (u & (0x800000u >> c)) k = c + 1;
    g->width = static_cast<uint16_t>(code <= 254 ? k + 1 : k);
    return;
  }
  int count = 0;
  bool seen = false;
  for (int c = 0; c < 24; ++c) {
    bool set = (u & (0x800000u >> c)) != 0;
    if (set) {
      ++count;
      seen = true;
    } else if (seen && code > 128) {
      break;  // above 128 only the first run of columns counts
    }
  }
  g->width = static_cast<uint16_t>(count + 2);
}

void Font::LoadAsciiLocked() {
  static uint8_t buf[kAsciiGlyphs * kGlyphBytes];
  for (int n = 0; n < kAsciiFontCount; ++n) {
    ReadGlyphFile(AsciiMsg[n].path, buf, sizeof buf);
    CopyGlyphs(asciiFonts_[n], buf, kAsciiGlyphs);
  }
  for (const auto& row : AsciiMsg) {
    int f = row.font;
    if (f < 0 || f >= kAsciiFontCount) continue;
    for (int g = 0; g < kAsciiGlyphs; ++g) Measure(&asciiFonts_[f][g], kFontAscii, g);
  }
  uint8_t sbuf[kSpecialGlyphs * kGlyphBytes];
  ReadGlyphFile(SpecialCharPath, sbuf, sizeof sbuf);
  CopyGlyphs(SysSpecialChar, sbuf, kSpecialGlyphs);
  special_ = SysSpecialChar;
  specialCount_ = kSpecialGlyphs;
  for (int g = 0; g < kSpecialGlyphs; ++g) Measure(&SysSpecialChar[g], kFontSpecial, g);
  asciiReady_.store(true, std::memory_order_release);
}

void Font::LoadUnicodeLocked() {
  constexpr size_t kBytes = size_t(kUnicodeGlyphs) * kGlyphBytes;  // 4,718,520
  uint8_t* buf = new (std::nothrow) uint8_t[kBytes];
  for (int n = 0; n < kUnicodeFontCount; ++n) {
    if (!unicodeFonts_[n]) unicodeFonts_[n] = new (std::nothrow) font[kUnicodeGlyphs]();
    font* table = unicodeFonts_[n];
    std::printf("Unicode Name = %s \n", FontForUnicode[n]);
    if (!table || !buf) {
      std::printf("Unicode font %d: out of memory\n", n);
      continue;
    }
    ReadGlyphFile(FontForUnicode[n], buf, kBytes);
    CopyGlyphs(table, buf, kUnicodeGlyphs);
    for (int g = 0; g < kUnicodeGlyphs; ++g) Measure(&table[g], kFontUnicode, g);
  }
  delete[] buf;
  if (unicodeFonts_[0] && unicodeFonts_[1]) unicodeReady_.store(true, std::memory_order_release);
}

// The global store keeps its tables to the very end: threads may still draw
// while the process exits. Other stores free theirs.
Font::~Font() {
  if (this == &QelFont) return;
  for (font* t : unicodeFonts_) delete[] t;
}

void Font::Load_ASCII() {
  std::lock_guard<std::mutex> lock(loadLock_);
  LoadAsciiLocked();
}

void Font::Load_Unicode() {
  std::lock_guard<std::mutex> lock(loadLock_);
  LoadUnicodeLocked();
}

void Font::EnsureAscii() {
  if (asciiReady_.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(loadLock_);
  if (!asciiReady_.load(std::memory_order_relaxed)) LoadAsciiLocked();
}

void Font::EnsureUnicode() {
  if (unicodeReady_.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(loadLock_);
  if (!unicodeReady_.load(std::memory_order_relaxed)) LoadUnicodeLocked();
}

void Font::SetCurrFont(short id) {
  switch (id) {
    case 0: case 1: case 2: case 4: case 5: case 6: case 8: case 9: case 10: case 11:
      currentId_ = id;
      break;
    default:  // 3, 7 and every other id
      currentId_ = 3;
  }
}

void Font::SetUnicodeFont(short id) {
  if (id == 0 || id == 1) unicodeId = id;
}

font* Font::GetCurrFont(int type) {
  switch (type) {
    case kFontAscii:
      EnsureAscii();
      return asciiFonts_[currentId_];
    case kFontUnicode:
      EnsureUnicode();
      return unicodeFonts_[unicodeId];  // null only when memory ran out
    case kFontSpecial:
      EnsureAscii();
      return special_;
    default:
      return nullptr;
  }
}

void Font::SetSpecialCharFont(font* table, int count) {
  EnsureAscii();  // a later first load must not overwrite the replacement
  std::lock_guard<std::mutex> lock(loadLock_);
  special_ = table;
  specialCount_ = table && count > 0 ? count : 0;
}

int Font::CalculateCharWidth(int type, int fontNo, int glyph) {
  font* g = nullptr;
  if (type == kFontAscii && fontNo >= 0 && fontNo < kAsciiFontCount && glyph >= 0 &&
      glyph < kAsciiGlyphs) {
    g = &asciiFonts_[fontNo][glyph];
  } else if (type == kFontUnicode && fontNo >= 0 && fontNo < kUnicodeFontCount && glyph >= 0 &&
             glyph < kUnicodeGlyphs) {
    g = unicodeFonts_[fontNo] ? &unicodeFonts_[fontNo][glyph] : nullptr;
  } else if (type == kFontSpecial && special_ && glyph >= 0 && glyph < specialCount_) {
    g = &special_[glyph];
  }
  if (!g) return -1;
  Measure(g, type, glyph);
  return g->width;
}

void Font::Font90(const font* src, font* dst) {
  if (!src || !dst) return;
  font out{};
  out.width = 24;
  out.height = src->width;
  for (int r = 0; r < 24; ++r) {
    uint32_t bits = RowBits(src, r);
    for (int c = 0; c < 24; ++c) {
      if (!(bits & (0x800000u >> c))) continue;
      int dr = 23 - c, dc = r;  // counter-clockwise: column c becomes row 23 - c
      out.bits[3 * dr + dc / 8] |= uint8_t(0x80u >> (dc % 8));
    }
  }
  *dst = out;
}
