#include "ui/draw/draw.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "platform/root.h"

namespace {

constexpr uint16_t kBlank = ' ';
constexpr int kBlankAdvance = 4;
constexpr int kLineStep = 20;

int (*g_languageType)() = nullptr;

// The buffers whose writes are recorded, and where.
const uint32_t* g_trackedBuffer[Draw::kTrackSlots] = {};
RowSpans* g_trackedSpans[Draw::kTrackSlots] = {};

bool Inside(int row, int col) {
  return row >= 0 && row < Draw::kHeight && col >= 0 && col < Draw::kWidth;
}

bool Blended(short kind) { return (static_cast<uint16_t>(kind) & 0xF000) != 0; }

// One colour byte of a blend: 210/256 of the source plus 23/128 of the old.
uint32_t BlendByte(uint32_t src, uint32_t old) { return ((src * 210) >> 8) + ((old * 23) >> 7); }

uint32_t Blend(uint32_t colour, uint32_t old) {
  uint32_t out = old & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8)
    out |= BlendByte((colour >> shift) & 0xFF, (old >> shift) & 0xFF) << shift;
  return out;
}

bool GlyphBit(const font* g, int r, int c) { return (g->bits[3 * r + c / 8] & (0x80u >> (c % 8))) != 0; }

bool EndsText16(uint16_t c) { return c == 0 || c == '\r' || c == '\n'; }

}  // namespace

void Draw::SetLanguageTypeQuery(int (*query)()) { g_languageType = query; }

void Draw::TrackWrites(int slot, const uint32_t* buffer, RowSpans* spans) {
  if (slot < 0 || slot >= kTrackSlots) return;
  g_trackedBuffer[slot] = spans ? buffer : nullptr;
  g_trackedSpans[slot] = buffer ? spans : nullptr;
}

void Draw::Wrote(const uint32_t* buffer, int row, int c0, int c1) {
  for (int i = 0; i < kTrackSlots; ++i)
    if (g_trackedBuffer[i] == buffer)
      g_trackedSpans[i]->Add(row, c0 < 0 ? 0 : c0, c1 > kWidth ? kWidth : c1);
}

void RowSpans::Clear() {
  for (int r = 0; r < Draw::kHeight; ++r) {
    lo[r] = Draw::kWidth;
    hi[r] = 0;
  }
}

bool RowSpans::AnyRow() const {
  for (int r = 0; r < Draw::kHeight; ++r)
    if (Any(r)) return true;
  return false;
}

void RowSpans::AddRows(int r0, int r1, int c0, int c1) {
  c0 = c0 < 0 ? 0 : c0;
  c1 = c1 > Draw::kWidth ? Draw::kWidth : c1;
  for (int r = r0 < 0 ? 0 : r0; r < r1 && r < Draw::kHeight; ++r) Add(r, c0, c1);
}

void RowSpans::Merge(const RowSpans& other) {
  for (int r = 0; r < Draw::kHeight; ++r) Add(r, other.lo[r], other.hi[r]);
}

int Draw::SetUserFontPointer(Font* f) {
  if (!f) return -1;
  font_ = f;
  return 0;
}

int Draw::SetPicturePointer(Picture* p) {
  if (!p) return -1;
  picture_ = p;
  return 0;
}

// ---- pixels and lines ----

void Draw::SetPixel(int row, int col, int colour, short kind) {
  uint32_t* buf = Buffer(kind);
  if (!buf || !Inside(row, col)) return;
  buf[row * Draw::kWidth + col] = static_cast<uint32_t>(colour);
  Wrote(buf, row, col, col + 1);
}

void Draw::DrawLine(int r1, int c1, int r2, int c2, int colour, short kind) {
  uint32_t* buf = Buffer(kind);
  if (!buf) return;
  const uint32_t c = static_cast<uint32_t>(colour);
  if (c1 == c2 && r1 < r2) {
    if (c1 < 0 || c1 >= Draw::kWidth) return;
    for (int r = r1 < 0 ? 0 : r1; r < r2 && r < Draw::kHeight; ++r) {
      buf[r * Draw::kWidth + c1] = c;
      Wrote(buf, r, c1, c1 + 1);
    }
  } else if (r1 == r2 && c1 < c2) {
    if (r1 < 0 || r1 >= Draw::kHeight) return;
    uint32_t* line = buf + r1 * Draw::kWidth;
    for (int x = c1 < 0 ? 0 : c1; x < c2 && x < Draw::kWidth; ++x) line[x] = c;
    Wrote(buf, r1, c1, c2);
  }
}

void Draw::DrawLineBresenham(int r1, int c1, int r2, int c2, int colour, short kind) {
  if (!Inside(r1, c1) || !Inside(r2, c2)) return;
  uint32_t* buf = Buffer(kind);
  if (!buf) return;
  const int dc = std::abs(c2 - c1), dr = std::abs(r2 - r1);
  const int sc = c1 < c2 ? 1 : -1, sr = r1 < r2 ? 1 : -1;
  int err = (dc > dr ? dc : -dr) / 2;
  for (;;) {
    buf[r1 * Draw::kWidth + c1] = static_cast<uint32_t>(colour);
    Wrote(buf, r1, c1, c1 + 1);
    if (r1 == r2 && c1 == c2) break;
    const int e = err;
    if (e > -dc) {
      err -= dr;
      c1 += sc;
    }
    if (e < dr) {
      err += dc;
      r1 += sr;
    }
  }
}

void Draw::DrawBrokenLine(int r1, int c1, int r2, int c2, int colour, int dash, short kind) {
  if (dash <= 0) return;
  if (c1 == c2 && r1 < r2) {
    for (int r = r1; r < r2; r += 2 * dash)
      DrawLine(r, c1, r + dash < r2 ? r + dash : r2, c1, colour, kind);
  } else if (r1 == r2 && c1 < c2) {
    for (int c = c1; c < c2; c += 2 * dash)
      DrawLine(r1, c, r1, c + dash < c2 ? c + dash : c2, colour, kind);
  }
}

void Draw::DrawIndicatorLine(int row, int c1, int any, int c2, int colour, short kind) {
  for (int c = c1; c < c2; ++c) {
    const int phase = (c - c1) % 10;  // five columns up, five down
    SetPixel(phase < 5 ? row - 1 - phase : row - 9 + phase, c, colour, kind);
  }
}

// ---- rectangles and circles ----

void Draw::FillRect(int row, int col, int width, int height, int colour, short kind) {
  if (col + width >= Draw::kWidth || row + height > Draw::kHeight || height <= 0 || width <= 0) return;
  uint32_t* buf = Buffer(kind);
  if (!buf) return;
  for (int r = row < 0 ? 0 : row; r < row + height; ++r) {
    for (int c = col < 0 ? 0 : col; c < col + width; ++c)
      buf[r * Draw::kWidth + c] = static_cast<uint32_t>(colour);
    Wrote(buf, r, col, col + width);
  }
}

void Draw::FillRectTransparent(int row, int col, int width, int height, int colour, short kind) {
  if (col + width >= Draw::kWidth || row + height > Draw::kHeight || height <= 0 || width <= 0) return;
  uint32_t* buf = Buffer(kind);
  if (!buf) return;
  for (int r = row < 0 ? 0 : row; r < row + height; ++r) {
    for (int c = col < 0 ? 0 : col; c < col + width; ++c) {
      uint32_t& p = buf[r * Draw::kWidth + c];
      p = Blend(static_cast<uint32_t>(colour), p);
    }
    Wrote(buf, r, col, col + width);
  }
}

void Draw::DrawRect(int row, int col, int width, int height, int colour, short kind) {
  DrawLine(row, col, row, col + width, colour, kind);
  DrawLine(row + height, col, row + height, col + width, colour, kind);
  DrawLine(row, col, row + height, col, colour, kind);
  DrawLine(row, col + width, row + height, col + width, colour, kind);
}

void Draw::DrawFrameBuffer(int row, int col, int width, int height, int colour, short kind) {
  if (col + width <= Draw::kWidth && row + height <= Draw::kHeight)
    DrawRect(row, col, width, height, colour, kind);
}

void Draw::DrawCircle(int row, int col, int radius, int colour, short kind) {
  const int r0 = radius;
  if (col + r0 >= Draw::kWidth || col - r0 < 0 || row + r0 > Draw::kHeight || row - r0 < 0 || r0 <= 0)
    return;
  int x = 0, y = r0, d = 3 - 2 * r0;
  while (x <= y) {
    const int pts[8][2] = {{row + y, col + x}, {row + y, col - x}, {row - y, col + x},
                           {row - y, col - x}, {row + x, col + y}, {row + x, col - y},
                           {row - x, col + y}, {row - x, col - y}};
    for (const auto& p : pts) SetPixel(p[0], p[1], colour, kind);  // row 480 is cut
    if (d >= 0) {
      d += 4 * (x - y) + 10;
      --y;
    } else {
      d += 4 * x + 6;
    }
    ++x;
  }
}

// ---- text ----

void Draw::WordOut(int row, int col, const font* glyph, int colour, short kind) {
  if (!glyph) return;
  int rows = row > Draw::kHeight - 24 ? Draw::kHeight - row : 24;
  if (rows < 1) return;
  uint32_t* buf = Buffer(kind);
  if (!buf) return;
  const int cols = glyph->width < 24 ? glyph->width : 24;
  const bool blend = Blended(kind);
  for (int r = row < 0 ? -row : 0; r < rows; ++r) {
    uint32_t* line = buf + (row + r) * Draw::kWidth;
    for (int c = 0; c < cols; ++c) {
      const int x = col + c;
      if (x < 0 || x >= Draw::kWidth || !GlyphBit(glyph, r, c)) continue;
      line[x] = blend ? Blend(static_cast<uint32_t>(colour), line[x]) : static_cast<uint32_t>(colour);
    }
    Wrote(buf, row + r, col, col + cols);
  }
}

void Draw::WordOutTest(int row, int col, const font* glyph, int colour, short kind) {
  if (!glyph) return;
  for (int r = 0; r < 24; ++r)
    for (int c = 0; c < 24; ++c)
      if (GlyphBit(glyph, r, c)) SetPixel(row + r, col + c, colour, kind);
}

int Draw::DrawString(int row, int col, const char* text, int colour, short kind) {
  if (!text || !font_) return col;
  const font* glyphs = font_->GetCurrFont(kFontAscii);
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (*p == kBlank) {
      col += kBlankAdvance;
      continue;
    }
    WordOut(row, col, &glyphs[*p], colour, kind);
    col += glyphs[*p].width;
  }
  return col;
}

const font* Draw::UnicodeGlyph(uint16_t code) {
  if (!font_ || code >= kUnicodeGlyphs) return nullptr;  // 0xFFFF has no glyph
  const font* table = font_->GetCurrFont(kFontUnicode);
  return table ? &table[code] : nullptr;
}

int Draw::UnicodeAdvance(uint16_t code) {
  if (code == kBlank) return kBlankAdvance;
  const font* g = UnicodeGlyph(code);
  return g ? g->width : 0;
}

int Draw::DrawLanguage(int row, int col, const uint16_t* text, int colour, short kind) {
  if (!text) return col;
  for (; !EndsText16(*text); ++text) {
    if (*text != kBlank) WordOut(row, col, UnicodeGlyph(*text), colour, kind);
    col += UnicodeAdvance(*text);
  }
  return col;
}

int Draw::DrawUnicodeString(int row, int col, const uint16_t* text, int maxWidth, int colour,
                            short kind) {
  if (!text) return col;
  int used = 0;
  for (; !EndsText16(*text); ++text) {
    const int w = UnicodeAdvance(*text);
    if (used + w > maxWidth) break;
    if (*text != kBlank) WordOut(row, col, UnicodeGlyph(*text), colour, kind);
    col += w;
    used += w;
  }
  return col;
}

int Draw::ScanUnicodeWord(const uint16_t* text, const font* glyphs, short* width) {
  int w = 0, n = 0;
  if (text) {
    for (; text[n] != kBlank && !EndsText16(text[n]) && text[n] <= 255; ++n)
      w += glyphs ? glyphs[text[n]].width : 0;
  }
  if (width) *width = static_cast<short>(w);
  return n;
}

namespace {

// The shared word-wrapping walk of DrawLanguageTxt and DrawUnicodeTxt. Calls
// `put(line, column, code)` for every character to draw; returns the end column
// and leaves the last line number in *lines.
struct WrapRules {
  int length;     // characters to read at most (-1: to the end marker)
  bool lfBreaks;  // LF starts a new line (else CR / LF end the text)
  bool charWrap;  // any character passing the right edge wraps
};

template <typename Put, typename Advance>
int WrapText(const uint16_t* text, int col, int width, const WrapRules& rules, const font* glyphs,
             Put put, Advance advance, int* lines) {
  int x = col, line = 0;
  const int right = col + width;
  auto newLine = [&] {
    ++line;
    x = col;
  };
  for (int i = 0; rules.length < 0 || i < rules.length;) {
    const uint16_t c = text[i];
    if (c == 0) break;
    if (c == '\r' || c == '\n') {
      if (!rules.lfBreaks) break;
      if (c == '\n') newLine();
      ++i;
      continue;
    }
    if (c == '\\' && (rules.length < 0 || i + 1 < rules.length) && text[i + 1] == 'n') {
      newLine();
      i += 2;
      continue;
    }
    if (c == kBlank) {
      x += kBlankAdvance;
      ++i;
      continue;
    }
    if (c > 255) {  // a CJK character stands alone
      const int w = advance(c);
      if (x + w > right && x != col) newLine();
      put(line, x, c);
      x += w;
      ++i;
      continue;
    }
    short ww = 0;
    int n = 0;
    for (; (rules.length < 0 || i + n < rules.length) && text[i + n] != kBlank &&
           !EndsText16(text[i + n]) && text[i + n] <= 255;
         ++n)
      ww = static_cast<short>(ww + (glyphs ? glyphs[text[i + n]].width : 0));
    if (x + ww > right && x != col) newLine();
    for (int k = 0; k < n; ++k) {
      const uint16_t ch = text[i + k];
      if (ch == '\\' && k + 1 < n && text[i + k + 1] == 'n') {
        newLine();
        ++k;
        continue;
      }
      const int w = advance(ch);
      if (rules.charWrap && x + w > right && x != col) newLine();
      put(line, x, ch);
      x += w;
    }
    i += n;
  }
  *lines = line;
  return x;
}

}  // namespace

int Draw::DrawLanguageTxt(int row, int col, const uint16_t* text, int width, int colour, short kind) {
  if (!text || !font_) return col;
  const font* glyphs = font_->GetCurrFont(kFontUnicode);
  int lines = 0;
  return WrapText(
      text, col, width, WrapRules{-1, false, false}, glyphs,
      [&](int line, int x, uint16_t c) {
        WordOut(row + line * kLineStep, x, UnicodeGlyph(c), colour, kind);
      },
      [&](uint16_t c) { return UnicodeAdvance(c); }, &lines);
}

int Draw::DrawUnicodeTxt(int row, int col, const uint16_t* text, int width, int length, int firstLine,
                         int lineCount, int colour, short kind) {
  if (!text || length <= 0 || !font_) return 0;
  const font* glyphs = font_->GetCurrFont(kFontUnicode);
  const bool charWrap = g_languageType && g_languageType() == 1;
  int lines = 0;
  WrapText(
      text, col, width, WrapRules{length, true, charWrap}, glyphs,
      [&](int line, int x, uint16_t c) {
        if (line < firstLine || line >= firstLine + lineCount) return;
        WordOut(row + (line - firstLine) * kLineStep, x, UnicodeGlyph(c), colour, kind);
      },
      [&](uint16_t c) { return UnicodeAdvance(c); }, &lines);
  return lines + 1;
}

int Draw::DrawOutLanguage90(int row, int col, const char* text, int colour, short kind) {
  if (!text || !font_) return col;
  const font* glyphs = font_->GetCurrFont(kFontUnicode);
  if (!glyphs) return col;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
       *p && *p != '\r' && *p != '\n'; ++p) {
    if (*p == kBlank) {
      row -= kBlankAdvance;
      continue;
    }
    font turned;
    Font::Font90(&glyphs[*p], &turned);
    WordOut(row, col, &turned, *p == '/' ? 0x616161 : colour, kind);
    row -= glyphs[*p].width;
  }
  return col;
}

// The same for a UTF-16 text (a menu page's title in any language).
int Draw::DrawOutLanguage90(int row, int col, const uint16_t* text, int colour, short kind) {
  if (!text) return col;
  for (; !EndsText16(*text); ++text) {
    const int advance = UnicodeAdvance(*text);
    const font* g = *text == kBlank ? nullptr : UnicodeGlyph(*text);
    if (g) {
      font turned;
      Font::Font90(g, &turned);
      WordOut(row, col, &turned, *text == '/' ? 0x616161 : colour, kind);
    }
    row -= advance;
  }
  return col;
}

int Draw::Stringlen(int type, const void* text) {
  if (!text) return -1;
  if (!font_) return 0;
  int w = 0;
  if (type == kFontAscii) {
    const font* glyphs = font_->GetCurrFont(kFontAscii);
    for (const unsigned char* p = static_cast<const unsigned char*>(text); *p; ++p)
      w += *p == kBlank ? kBlankAdvance : glyphs[*p].width;
  } else if (type == kFontUnicode) {
    for (const uint16_t* p = static_cast<const uint16_t*>(text); !EndsText16(*p); ++p) {
      const font* g = UnicodeGlyph(*p);
      w += g ? g->width : 0;  // the blank's stored width counts here
    }
  }
  return w;
}

int Draw::StringWidthCut(int type, const void* text, int maxWidth) {
  if (type != kFontAscii || !text || !font_) return 0;
  const font* glyphs = font_->GetCurrFont(kFontAscii);
  const unsigned char* s = static_cast<const unsigned char*>(text);
  int w = 0;
  for (int i = 0; s[i]; ++i) {
    w += s[i] == kBlank ? kBlankAdvance : glyphs[s[i]].width;
    if (w >= maxWidth) return i;
  }
  return 0;
}

int Draw::DrawIco(int row, int col, int id, int colour, short kind) {
  if (!font_) return 0;
  const font* table = font_->GetCurrFont(kFontSpecial);
  if (!table || id < 0 || id >= font_->GetSpecialCharMaxID()) return 0;
  WordOut(row, col, &table[id], colour, kind);
  return col + table[id].width;
}

int Draw::DrawDigitalVoltage(int row, int col, const char* number, const char* suffix, int colour,
                             short kind) {
  if (!number || !suffix || !font_) return -1;
  for (const char* p = number; *p; ++p) {
    int id;
    if (*p >= '0' && *p <= '9')
      id = 25 + (*p - '0');
    else if (*p == '.')
      id = 24;
    else if (*p == '-')
      id = 23;
    else
      break;
    if (id >= font_->GetSpecialCharMaxID()) break;
    col = DrawIco(row, col, id, colour, kind);
  }
  font_->SetCurrFont(6);
  return DrawString(row, col, suffix, colour, kind);
}

// ---- pictures ----

int Draw::DrawPicture(int row, int col, int id, short kind, bool blend) {
  const PicInfo* pic = picture_ ? picture_->GetPictureMsg(id) : nullptr;
  if (!pic || !pic->pixels) return -1;
  uint32_t* buf = Buffer(kind);
  if (!buf) return col + pic->width;
  for (int y = row < 0 ? -row : 0; y < pic->height && row + y < Draw::kHeight; ++y) {
    const uint32_t* src = pic->pixels + y * pic->width;
    uint32_t* dst = buf + (row + y) * Draw::kWidth;
    for (int x = col < 0 ? -col : 0; x < pic->width && col + x < Draw::kWidth; ++x) {
      if (src[x] == MASK_COLOR) continue;
      dst[col + x] = blend ? Blend(src[x], dst[col + x]) : src[x];
    }
    Wrote(buf, row + y, col, col + pic->width);
  }
  return col + pic->width;
}

int Draw::DrawPictrue(int row, int col, int id, short kind) {
  return DrawPicture(row, col, id, kind, false);
}

int Draw::DrawPictrueTransparent(int row, int col, int id, short kind) {
  return DrawPicture(row, col, id, kind, true);
}

void Draw::GetPictrueInfo(int id, short* width, short* height) {
  if (id < 0 || id >= kSystemPictures || !width || !height || !picture_) return;
  const PicInfo* pic = picture_->GetPictureMsg(id);
  if (!pic) return;
  *width = pic->width;
  *height = pic->height;
}

int Draw::DrawBmpPictrue(int row, int col, const char* path, short kind) {
  constexpr size_t kFileBytes = 54 + size_t(Draw::kWidth) * Draw::kHeight * 3;  // 1,152,054
  if (!path || row < 0 || col < 0) return -1;
  FILE* f = std::fopen(plat::MapPath(path).c_str(), "rb");
  if (!f) return -1;
  std::unique_ptr<uint8_t[]> file(new (std::nothrow) uint8_t[kFileBytes]);
  if (!file) {
    std::fclose(f);
    return -1;
  }
  const size_t got = std::fread(file.get(), 1, kFileBytes, f);
  std::fclose(f);
  if (got != kFileBytes) return -1;
  const uint8_t* h = file.get();
  auto le32 = [h](int at) {
    return uint32_t(h[at]) | uint32_t(h[at + 1]) << 8 | uint32_t(h[at + 2]) << 16 |
           uint32_t(h[at + 3]) << 24;
  };
  if (h[0] != 'B' || h[1] != 'M' || le32(10) != 54 || le32(18) != uint32_t(Draw::kWidth) ||
      le32(22) != uint32_t(Draw::kHeight) || (le32(28) & 0xFFFF) != 24 || le32(30) != 0) {
    std::printf("DrawBmpPictrue: %s is not an uncompressed 24-bit 800 x 480 BMP\n", path);
    return -1;
  }
  uint32_t* buf = Buffer(kind);
  if (!buf) return 0;
  for (int y = 0; y < Draw::kHeight && row + y < Draw::kHeight; ++y) {
    const uint8_t* src = h + 54 + size_t(Draw::kHeight - 1 - y) * Draw::kWidth * 3;
    uint32_t* dst = buf + (row + y) * Draw::kWidth;
    for (int x = 0; x < Draw::kWidth && col + x < Draw::kWidth; ++x, src += 3)
      dst[col + x] = uint32_t(src[2]) << 16 | uint32_t(src[1]) << 8 | src[0];
    Wrote(buf, row + y, col, Draw::kWidth);
  }
  return 0;
}
