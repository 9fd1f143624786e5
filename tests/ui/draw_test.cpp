// Drawing primitives on screen buffers, text in the generated fonts, the
// picture store with the generated pictures and damaged BMP files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/root.h"
#include "tests/bench/bench.h"
#include "tools/screenpng/png_writer.h"
#include "ui/draw/draw.h"

namespace {

constexpr int W = Draw::kWidth, H = Draw::kHeight;
constexpr uint32_t kRed = 0xFF0000, kInk = 0xC8C8AF;

// Kind 2 names a second buffer, kind 9 no buffer; everything else the first.
class TestDraw : public Draw {
 public:
  TestDraw() : a(size_t(W) * H, 0), b(size_t(W) * H, 0) {}
  uint32_t* GetDrawAddr(short kind) override {
    if (kind == 9) return nullptr;
    return kind == 2 ? b.data() : a.data();
  }
  uint32_t At(int row, int col) const { return a[size_t(row) * W + col]; }
  int Count(uint32_t colour) const {
    int n = 0;
    for (uint32_t p : a) n += p == colour;
    return n;
  }
  std::vector<uint32_t> a, b;  // exactly one screen each: ASan sees any stray write
};

bool Bit(const font& g, int r, int c) { return g.bits[3 * r + c / 8] & (0x80 >> (c % 8)); }

// A 24-bit BMP with the header fields a test may spoil.
struct Bmp {
  int width = 3, height = 2, bpp = 24, compression = 0, offset = 54;
  std::function<uint32_t(int x, int yFromTop)> pixel = [](int, int) { return 0x123456u; };
  std::string Bytes() const {
    const int absH = height < 0 ? -height : height;
    const int stride = (width * 24 + 31) / 32 * 4;
    std::string f(54 + size_t(stride) * absH, '\0');
    auto put = [&f](int at, uint32_t v, int n) {
      for (int i = 0; i < n; ++i) f[at + i] = char(v >> (8 * i));
    };
    f[0] = 'B', f[1] = 'M';
    put(2, uint32_t(f.size()), 4);
    put(10, uint32_t(offset), 4);
    put(14, 40, 4);
    put(18, uint32_t(width), 4);
    put(22, uint32_t(height), 4);
    put(26, 1, 2);
    put(28, uint32_t(bpp), 2);
    put(30, uint32_t(compression), 4);
    for (int y = 0; y < absH; ++y)
      for (int x = 0; x < width; ++x) {
        const uint32_t c = pixel(x, absH - 1 - y);  // stored bottom row first
        put(54 + y * stride + 3 * x, c, 3);         // blue, green, red
      }
    return f;
  }
};

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

PicPath Row(const std::string& path, int keyRow = -1, int keyCol = -1) {
  PicPath p{0, {}, keyRow, keyCol};
  std::snprintf(p.path, sizeof p.path, "%s", path.c_str());
  return p;
}

const PicPath kEnd{0xFFFF, "", -1, -1};

std::pair<short, short> Size(short w, short h) { return {w, h}; }

}  // namespace

TEST(DrawLines, AxisParallelOnlyEndExcluded) {
  TestDraw d;
  d.DrawLine(10, 5, 10, 5, kRed, 1);
  d.DrawLine(20, 5, 10, 5, kRed, 1);
  d.DrawLine(10, 8, 10, 5, kRed, 1);
  d.DrawLine(0, 0, 5, 5, kRed, 1);
  EXPECT_EQ(d.Count(kRed), 0);
  d.DrawLine(10, 5, 10, 8, kRed, 1);
  EXPECT_EQ(d.Count(kRed), 3);
  EXPECT_EQ(d.At(10, 5), kRed);
  EXPECT_EQ(d.At(10, 7), kRed);
  EXPECT_EQ(d.At(10, 8), 0u);
  d.DrawLine(100, 50, 104, 50, kInk, 1);
  EXPECT_EQ(d.Count(kInk), 4);
  EXPECT_EQ(d.At(104, 50), 0u);
}

TEST(DrawLines, DashedZigZagAndBresenham) {
  TestDraw d;
  d.DrawBrokenLine(50, 0, 50, 23, kRed, 5, 1);  // dashes 0-4, 10-14, 20-22
  for (int c = 0; c < 30; ++c)
    EXPECT_EQ(d.At(50, c) == kRed, (c < 5) || (c >= 10 && c < 15) || (c >= 20 && c < 23)) << c;

  TestDraw z;
  z.DrawIndicatorLine(100, 10, 12345, 30, kRed, 1);
  const int expect[10] = {99, 98, 97, 96, 95, 96, 97, 98, 99, 100};
  for (int i = 0; i < 20; ++i) EXPECT_EQ(z.At(expect[i % 10], 10 + i), kRed) << i;
  EXPECT_EQ(z.Count(kRed), 20);

  TestDraw b;
  b.DrawLineBresenham(10, 10, 20, 40, kRed, 1);
  EXPECT_EQ(b.At(10, 10), kRed);
  EXPECT_EQ(b.At(20, 40), kRed);
  EXPECT_EQ(b.Count(kRed), 31);  // one pixel per column of the longer span
  TestDraw refused;
  refused.DrawLineBresenham(10, 10, 20, 800, kRed, 1);
  refused.DrawLineBresenham(-1, 10, 20, 40, kRed, 1);
  refused.DrawLineBresenham(479, 0, 480, 0, kRed, 1);
  EXPECT_EQ(refused.Count(kRed), 0);
}

TEST(DrawShapes, RectanglesAndTheirBounds) {
  TestDraw d;
  d.FillRect(10, 700, 100, 5, kRed, 1);  // col + width = 800
  d.FillRect(10, 10, 5, 0, kRed, 1);
  EXPECT_EQ(d.Count(kRed), 0);
  d.FillRect(470, 0, 4, 10, kRed, 1);  // row + height = 480: down to row 479
  EXPECT_EQ(d.Count(kRed), 40);
  EXPECT_EQ(d.At(479, 3), kRed);

  TestDraw r;
  r.DrawRect(100, 200, 10, 5, kRed, 1);
  EXPECT_EQ(r.At(100, 200), kRed);
  EXPECT_EQ(r.At(105, 209), kRed);
  EXPECT_EQ(r.At(104, 210), kRed);
  EXPECT_EQ(r.At(105, 210), 0u);  // the bottom-right corner stays unset
  EXPECT_EQ(r.Count(kRed), 2 * 10 + 2 * 5 - 1);  // top and left share a corner
  TestDraw f;
  f.DrawFrameBuffer(100, 700, 101, 5, kRed, 1);
  EXPECT_EQ(f.Count(kRed), 0);
  f.DrawFrameBuffer(470, 700, 100, 10, kRed, 1);  // bottom edge row 480 is cut
  EXPECT_EQ(f.At(470, 799), kRed);
  EXPECT_EQ(f.At(479, 700), kRed);
}

TEST(DrawShapes, CirclesAtTheEdges) {
  TestDraw d;
  d.DrawCircle(470, 400, 10, kRed, 1);  // touches row 480: drawn, row 480 cut
  EXPECT_EQ(d.At(460, 400), kRed);
  EXPECT_EQ(d.At(470, 390), kRed);
  EXPECT_GT(d.Count(kRed), 40);
  TestDraw n;
  n.DrawCircle(200, 790, 10, kRed, 1);  // col + r = 800
  n.DrawCircle(5, 100, 10, kRed, 1);
  n.DrawCircle(100, 5, 10, kRed, 1);
  n.DrawCircle(100, 100, 0, kRed, 1);
  EXPECT_EQ(n.Count(kRed), 0);
}

// Shapes and pictures placed partly or wholly off the screen write only
// their visible part (ASan would report any write outside the buffers).
TEST(DrawShapes, ClippingAtAllFourEdges) {
  TestDraw d;
  d.FillRect(-5, -5, 10, 10, kRed, 1);
  EXPECT_EQ(d.Count(kRed), 25);
  d.FillRect(-1000, 100, 3, 1010, kRed, 1);
  d.SetPixel(-1, 0, kRed, 1);
  d.SetPixel(0, 800, kRed, 1);
  d.SetPixel(480, 0, kRed, 1);
  d.DrawLine(-10, 799, 500, 799, kRed, 1);
  d.DrawLine(479, -10, 479, 900, kRed, 1);
  d.DrawRect(-20, -20, 900, 600, kRed, 1);
  d.DrawBrokenLine(-3, 0, -3, 600, kRed, 2, 1);
  d.DrawIndicatorLine(2, 790, 0, 900, kRed, 1);
  EXPECT_EQ(d.At(0, 799), kRed);
  EXPECT_EQ(d.At(479, 0), kRed);
  font g{};
  g.width = 24;
  for (int i = 0; i < 72; ++i) g.bits[i] = 0xFF;
  for (int row : {-30, -10, 470, 479, 480, 1000})
    for (int col : {-30, -10, 790, 799, 800}) {
      d.WordOut(row, col, &g, kInk, 1);
      d.WordOut(row, col, &g, kInk, 0x1001);
      d.WordOutTest(row, col, &g, kInk, 1);
    }
  TestDraw none;
  none.FillRect(0, 0, 10, 10, kRed, 9);  // a kind without a buffer draws nothing
  none.WordOut(0, 0, &g, kRed, 9);
  EXPECT_EQ(none.Count(kRed), 0);
}

TEST(DrawShapes, BlendingArithmetic) {
  TestDraw d;
  d.a[0] = 0xAA102030;
  d.FillRectTransparent(0, 0, 1, 1, 0x00FF8040, 1);
  const uint32_t r = ((0xFF * 210) >> 8) + ((0x10 * 23) >> 7);
  const uint32_t g = ((0x80 * 210) >> 8) + ((0x20 * 23) >> 7);
  const uint32_t b = ((0x40 * 210) >> 8) + ((0x30 * 23) >> 7);
  EXPECT_EQ(d.a[0], 0xAA000000u | r << 16 | g << 8 | b);  // the top byte is kept
}

TEST(DrawText, GlyphRowsColumnsAndCut) {
  TestDraw d;
  font g{};
  g.width = 5;
  for (int r = 0; r < 24; ++r) g.bits[3 * r] = 0xFF;  // 8 columns set, 5 drawn
  d.WordOut(470, 100, &g, kRed, 1);
  EXPECT_EQ(d.Count(kRed), 10 * 5);  // only the first 10 rows fit
  EXPECT_EQ(d.At(479, 104), kRed);
  EXPECT_EQ(d.At(479, 105), 0u);
  TestDraw edge;
  edge.WordOut(0, 797, &g, kRed, 1);
  EXPECT_EQ(edge.Count(kRed), 24 * 3);
  TestDraw t;
  t.WordOutTest(0, 0, &g, kRed, 1);
  EXPECT_EQ(t.Count(kRed), 24 * 8);
}

TEST(DrawText, StringInTheGeneratedFont) {
  Bench bench;
  Font f;
  TestDraw d;
  ASSERT_EQ(d.SetUserFontPointer(nullptr), -1);
  ASSERT_EQ(d.SetUserFontPointer(&f), 0);
  f.SetCurrFont(3);
  const font* t = f.GetCurrFont(kFontAscii);
  const int end = d.DrawString(200, 300, "a b", kInk, 1);
  EXPECT_EQ(end, 300 + t[int('a')].width + 4 + t[int('b')].width);
  // Exactly the glyph's set bits, within its width, carry the colour.
  const int bx = 300 + t[int('a')].width + 4;
  int inked = 0;
  for (int r = 0; r < 24; ++r)
    for (int c = 0; c < t[int('b')].width; ++c) {
      EXPECT_EQ(d.At(200 + r, bx + c) == kInk, Bit(t[int('b')], r, c)) << r << " " << c;
      inked += Bit(t[int('b')], r, c);
    }
  EXPECT_GT(inked, 10);
  EXPECT_EQ(d.DrawString(0, 17, nullptr, kInk, 1), 17);

  // A byte above 0x7F (signed char on this machine) is its own glyph.
  TestDraw mu;
  mu.SetUserFontPointer(&f);
  const char micro[] = {char(0xB5), 'V', 0};
  EXPECT_EQ(mu.DrawString(10, 10, micro, kInk, 1), 10 + t[0xB5].width + t[int('V')].width);
  EXPECT_EQ(mu.Stringlen(0, micro), t[0xB5].width + t[int('V')].width);

  EXPECT_EQ(d.Stringlen(5, "abc"), 0);
  EXPECT_EQ(d.Stringlen(0, nullptr), -1);
  EXPECT_EQ(d.Stringlen(0, "a b"), t[int('a')].width + 4 + t[int('b')].width);
  EXPECT_EQ(d.StringWidthCut(0, "a b", 1000), 0);
  EXPECT_EQ(d.StringWidthCut(0, "a b", t[int('a')].width + 4), 1);
  EXPECT_EQ(d.StringWidthCut(8192, "a b", 1), 0);
}

TEST(DrawText, UnicodeTextAndWrapping) {
  Bench bench;
  Font f;
  TestDraw d;
  d.SetUserFontPointer(&f);
  const font* u = f.GetCurrFont(kFontUnicode);
  const uint16_t odd[] = {0xFFFF, 'A', 0};  // 0xFFFF has no glyph
  EXPECT_EQ(d.DrawLanguage(50, 50, odd, kInk, 1), 50 + u[int('A')].width);
  const uint16_t ab[] = {'A', ' ', 'B', '\r', 'C', 0};
  EXPECT_EQ(d.DrawLanguage(50, 50, ab, kInk, 1), 50 + u[int('A')].width + 4 + u[int('B')].width);
  EXPECT_EQ(d.Stringlen(8192, ab), u[int('A')].width + u[int(' ')].width + u[int('B')].width);
  EXPECT_EQ(d.DrawUnicodeString(90, 50, ab, u[int('A')].width + 3, kInk, 1), 50 + u[int('A')].width);

  const uint16_t word[] = {'A', 'B', 'C', ' ', 'x', 0};
  short w = -1;
  EXPECT_EQ(d.ScanUnicodeWord(word, u, &w), 3);
  EXPECT_EQ(w, u[int('A')].width + u[int('B')].width + u[int('C')].width);
  EXPECT_EQ(d.ScanUnicodeWord(word + 3, u, &w), 0);
  EXPECT_EQ(w, 0);

  // "AB CD" in an area as wide as one word: CD goes to the next line.
  TestDraw wrap;
  wrap.SetUserFontPointer(&f);
  const uint16_t two[] = {'A', 'B', ' ', 'C', 'D', 0};
  const int one = u[int('A')].width + u[int('B')].width;
  const int endCol = wrap.DrawLanguageTxt(100, 10, two, one + 2, kInk, 1);
  EXPECT_EQ(endCol, 10 + u[int('C')].width + u[int('D')].width);
  bool below = false;
  for (int r = 120; r < 144; ++r)
    for (int c = 10; c < 10 + u[int('C')].width; ++c) below |= wrap.At(r, c) == kInk;
  EXPECT_TRUE(below);
  // Backslash-n forces a new line; the line counter counts lines drawn or not.
  TestDraw lines;
  lines.SetUserFontPointer(&f);
  const uint16_t three[] = {'A', '\\', 'n', 'B', '\n', 'C', 0};
  EXPECT_EQ(lines.DrawUnicodeTxt(100, 10, three, 700, 6, 1, 1, kInk, 1), 3);
  int top = 0, firstDrawn = 0;
  for (int r = 100; r < 124; ++r)
    for (int c = 10; c < 30; ++c) firstDrawn += lines.At(r, c) == kInk;
  for (int r = 124; r < 170; ++r)
    for (int c = 0; c < 40; ++c) top += lines.At(r, c) == kInk;
  EXPECT_GT(firstDrawn, 0);  // line 1 ("B") at the first row
  EXPECT_EQ(top, 0);         // lines 0 and 2 not drawn
  EXPECT_EQ(lines.DrawUnicodeTxt(0, 0, three, 700, 0, 0, 5, kInk, 1), 0);
  // The length bounds the walk even without an end marker.
  const uint16_t unterminated[2] = {'A', 'B'};
  EXPECT_EQ(lines.DrawUnicodeTxt(0, 0, unterminated, 700, 2, 0, 5, kInk, 1), 1);
}

TEST(DrawText, RotatedTextAndIcons) {
  Bench bench;
  Font f;
  TestDraw d;
  d.SetUserFontPointer(&f);
  const font* u = f.GetCurrFont(kFontUnicode);
  EXPECT_EQ(d.DrawOutLanguage90(300, 654, "A/", kInk, 1), 654);
  EXPECT_GT(d.Count(kInk), 5);
  EXPECT_GT(d.Count(0x616161), 2);  // the slash always in grey
  // "A" stands at rows 300..323, the slash width(A) rows higher.
  for (int r = 0; r < 300 - u[int('A')].width + 24 - u[int('/')].width - 1; ++r)
    for (int c = 0; c < W; ++c) ASSERT_EQ(d.At(r, c), 0u);

  const font* sp = f.GetCurrFont(kFontSpecial);
  TestDraw ico;
  ico.SetUserFontPointer(&f);
  EXPECT_EQ(ico.DrawIco(10, 20, 8, kInk, 1), 20 + sp[8].width);
  EXPECT_EQ(ico.DrawIco(10, 20, 36, kInk, 1), 0);
  EXPECT_EQ(ico.DrawIco(10, 20, -1, kInk, 1), 0);

  TestDraw v;
  v.SetUserFontPointer(&f);
  f.SetCurrFont(1);
  const int digits = sp[23].width + sp[26].width + sp[24].width + sp[30].width;
  const int end = v.DrawDigitalVoltage(100, 40, "-1.5", "mV", kInk, 1);
  EXPECT_EQ(f.CurrentAsciiFont(), 6);
  EXPECT_EQ(end, 40 + digits + v.Stringlen(0, "mV"));
  EXPECT_EQ(v.DrawDigitalVoltage(100, 40, nullptr, "V", kInk, 1), -1);
  EXPECT_EQ(v.DrawDigitalVoltage(100, 40, "1", nullptr, kInk, 1), -1);
}

TEST(Pictures, PaddedRowsKeyColourAndPlacement) {
  Bench bench;
  Bmp bmp;  // 3 x 2: rows padded from 9 to 12 bytes
  bmp.pixel = [](int x, int y) { return x == 1 && y == 1 ? 0xFFFFFFu : uint32_t(0x100000 * (y + 1) + x); };
  WriteFile("pic.bmp", bmp.Bytes());
  Picture store;
  // Key (0, 1): stored row 0 is the bottom row (y 1), column 1: the white pixel.
  const PicPath list[] = {Row("pic.bmp"), Row("pic.bmp", 0, 1), kEnd};
  ASSERT_EQ(store.LoadPicture(list), 2);
  const PicInfo* p = store.GetPictureMsg(0);
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(p->width, 3);
  ASSERT_EQ(p->height, 2);
  EXPECT_EQ(p->pixels[0], 0x100000u);      // top-left
  EXPECT_EQ(p->pixels[2], 0x100002u);
  EXPECT_EQ(p->pixels[3 + 1], 0xFFFFFFu);  // bottom middle, no key
  EXPECT_EQ(store.GetPictureMsg(1)->pixels[3 + 1], MASK_COLOR);
  EXPECT_EQ(store.GetPictureMsg(300), nullptr);
  EXPECT_EQ(store.GetPictureMsg(-1), nullptr);
  const PicPath empty[] = {kEnd};
  EXPECT_EQ(store.LoadPicture(empty), 0);

  TestDraw d;
  EXPECT_EQ(d.DrawPictrue(0, 0, 0, 1), -1);  // no store attached
  d.SetPicturePointer(&store);
  EXPECT_EQ(d.DrawPictrue(5, 7, 1, 1), 10);
  EXPECT_EQ(d.At(5, 7), 0x100000u);
  EXPECT_EQ(d.At(6, 8), 0u);  // the masked pixel is skipped
  EXPECT_EQ(d.DrawPictrue(5, 7, 2, 1), -1);  // an empty slot draws nothing
  const int origins[][2] = {{-5, -5}, {-1, -2}, {478, 798}, {479, 799}, {480, 0}, {0, 800},
                            {2000, 5000}, {-1000, -1000}};
  for (const auto& o : origins) d.DrawPictrue(o[0], o[1], 0, 1);
  EXPECT_EQ(d.At(0, 0), 0x200000u + 2);  // drawn at (-1, -2): its bottom-right pixel
  EXPECT_EQ(d.At(479, 799), 0x100000u);  // drawn at (479, 799): its top-left
  for (const auto& o : origins) EXPECT_EQ(d.DrawPictrueTransparent(o[0], o[1], 0, 1), o[1] + 3);
  short w = 0, h = 0;
  d.GetPictrueInfo(1, &w, &h);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  d.GetPictrueInfo(140, &w, &h);
  d.GetPictrueInfo(0, nullptr, &h);
}

TEST(Pictures, DamagedFilesFailThatPictureOnly) {
  Bench bench;
  Bmp good;
  WriteFile("good.bmp", good.Bytes());
  Bmp b8 = good, rle = good, topDown = good, wide = good, offset = good;
  b8.bpp = 8;
  rle.compression = 1;
  topDown.height = -2;
  wide.width = 801;
  offset.offset = 138;
  WriteFile("b8.bmp", b8.Bytes());
  WriteFile("rle.bmp", rle.Bytes());
  WriteFile("topdown.bmp", topDown.Bytes());
  WriteFile("wide.bmp", wide.Bytes());
  WriteFile("offset.bmp", offset.Bytes());
  WriteFile("short.bmp", good.Bytes().substr(0, 54 + 12 + 5));
  WriteFile("header.bmp", good.Bytes().substr(0, 30));
  WriteFile("empty.bmp", "");
  const PicPath list[] = {Row("good.bmp"),   Row("b8.bmp"),    Row("rle.bmp"),
                          Row("topdown.bmp"), Row("wide.bmp"), Row("offset.bmp"),
                          Row("short.bmp"),  Row("header.bmp"), Row("empty.bmp"),
                          Row("missing.bmp"), Row("good.bmp", 50, 50), kEnd};
  Picture store;
  testing::internal::CaptureStdout();
  EXPECT_EQ(store.LoadPicture(list), -1);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("not 24 bits"), std::string::npos) << log;
  EXPECT_NE(log.find("Open missing.bmp failed!"), std::string::npos) << log;
  ASSERT_NE(store.GetPictureMsg(0)->pixels, nullptr);
  for (int slot = 1; slot <= 9; ++slot) EXPECT_EQ(store.GetPictureMsg(slot)->pixels, nullptr) << slot;
  // A key pixel outside the picture is no key; the picture still loads.
  ASSERT_NE(store.GetPictureMsg(10)->pixels, nullptr);
  EXPECT_EQ(store.GetPictureMsg(10)->pixels[0], 0x123456u);
  EXPECT_EQ(store.LoadPicture(nullptr), -1);

  // A list without its end row stops at the 300 slots.
  std::vector<PicPath> endless(310, Row("good.bmp"));
  Picture full;
  EXPECT_EQ(full.LoadPicture(endless.data()), 300);
}

TEST(Pictures, GeneratedSystemPictures) {
  Bench bench;
  ASSERT_EQ(PicList[140].id, 0xFFFF);
  Picture store;
  ASSERT_EQ(store.LoadPicture(PicList), 140);
  for (int id = 0; id < 140; ++id) {
    const PicInfo* p = store.GetPictureMsg(id);
    ASSERT_NE(p->pixels, nullptr) << PicList[id].path;
    EXPECT_GT(p->width, 0);
    EXPECT_LE(p->width, 800);
    EXPECT_LE(p->height, 480);
    if (PicList[id].keyRow >= 0) {  // the key pixel itself becomes transparent
      const int y = p->height - 1 - PicList[id].keyRow;
      EXPECT_EQ(p->pixels[y * p->width + PicList[id].keyColumn], MASK_COLOR) << PicList[id].path;
    }
  }
  auto size = [&store](int id) { return std::make_pair(store.GetPictureMsg(id)->width, store.GetPictureMsg(id)->height); };
  EXPECT_EQ(size(0), Size(800, 34));  // bottom bar, rows 446-479
  EXPECT_EQ(size(1), Size(800, 34));
  EXPECT_EQ(size(2), Size(800, 33));  // top bar, above the wave area
  EXPECT_EQ(size(30).second, 11);                             // markers centred 5 rows down
  EXPECT_EQ(size(73), Size(124, 80));  // menu slot
  EXPECT_EQ(size(93), Size(124, 13));  // page frame, rows 433-445
  EXPECT_EQ(size(98).first, 116);                               // pop-up entry, columns 560-675
  EXPECT_EQ(size(118).first, 2 + 9 * 40 + 4);                   // progress frame holds 40 segments
  EXPECT_EQ(size(122).first * size(122).second >= 256, true);   // palette of 256 entries
  // The status-bar pictures fit where the composer places them.
  for (int row = 0; ElementPos[row].picture != -1; ++row) {
    const auto [w, h] = size(ElementPos[row].picture);
    EXPECT_LE(ElementPos[row].column + w, 800) << row;
    EXPECT_LE(ElementPos[row].row + h, 480) << row;
  }
  EXPECT_LE(size(3).first + 88, 204);  // the time base box ends before the memory texts
  EXPECT_LE(4 + size(12).first, 62);   // the run-state mark ends before the M1/M2 tags
  // Five slots from row 34 end where the page frame starts (row 433).
  EXPECT_LE(34 + 4 * 80 + size(73).second - 1, 433);
}

TEST(Pictures, WholeScreenBmp) {
  Bench bench;
  TestDraw d;
  EXPECT_EQ(d.DrawBmpPictrue(0, 0, "/home/user/Logo/Logo.bmp", 1), 0);
  int lit = 0;
  for (uint32_t p : d.a) lit += p != 0;
  EXPECT_GT(lit, 300000);
  EXPECT_EQ(d.DrawBmpPictrue(-1, 0, "/home/user/Logo/Logo.bmp", 1), -1);
  EXPECT_EQ(d.DrawBmpPictrue(0, 0, nullptr, 1), -1);
  EXPECT_EQ(d.DrawBmpPictrue(0, 0, "/nothing.bmp", 1), -1);
  EXPECT_EQ(d.DrawBmpPictrue(100, 300, "/home/user/Logo/Logo.bmp", 1), 0);  // clipped

  std::ifstream in(plat::MapPath("/home/user/Logo/Logo.bmp"), std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(all.size(), 1152054u);
  WriteFile(plat::MapPath("/short.bmp"), all.substr(0, 1152053));
  std::string small = Bmp{}.Bytes();
  small.resize(1152054);  // right size, wrong header
  WriteFile(plat::MapPath("/small.bmp"), small);
  TestDraw clean;
  EXPECT_EQ(clean.DrawBmpPictrue(0, 0, "/short.bmp", 1), -1);
  EXPECT_EQ(clean.DrawBmpPictrue(0, 0, "/small.bmp", 1), -1);
  EXPECT_EQ(clean.Count(0), W * H);
}

// A screen of sample texts, glyphs and pictures for people to look at
// (draw_sample.png in the build folder); nothing is asserted on it.
TEST(Render, SampleScreenPng) {
  Bench bench;
  Font f;
  Picture pics;
  ASSERT_EQ(pics.LoadPicture(PicList), 140);
  TestDraw d;
  d.SetUserFontPointer(&f);
  d.SetPicturePointer(&pics);
  d.DrawPictrue(446, 0, 0, 1);
  d.DrawPictrue(0, 0, 2, 1);
  d.DrawPictrue(0, 88, 3, 1);
  d.DrawPictrue(448, 2, 4, 1);
  d.DrawPictrue(3, 4, 18, 1);
  d.DrawPictrue(450, 676, 115, 1);
  d.DrawPictrue(450, 699, 116, 1);
  d.DrawPictrue(450, 723, 117, 1);
  d.DrawPictrue(11, 610, 67, 1);
  f.SetCurrFont(1);
  d.DrawString(9, 145 - d.Stringlen(0, "500us ") / 2, "500us ", kInk, 1);
  d.DrawString(9, 635, "E DC Auto: 1.20V", kInk, 1);
  d.DrawIco(5, 735, 1, kInk, 1);
  d.DrawIco(4, 300, 15, 0xFFFFFF, 1);
  d.DrawIco(4, 480, 14, 0xFFFFFF, 1);
  d.DrawLine(23, 302, 23, 484, 0xFFFFFF, 1);
  d.DrawIco(13, 385, 16, 0xFFFFFF, 1);
  d.DrawIco(451, 29, 4, 0x000000, 1);
  d.DrawIco(451, 6, 7, 0x000000, 1);
  d.DrawString(455, 50, "500mV  1.000X", kInk, 1);
  d.DrawIco(451, 202, 5, 0xFFCC00, 1);
  d.DrawString(455, 223, "2.00V  10.00X", 0xFFCC00, 1);
  f.SetCurrFont(0);
  d.DrawString(0, 220, "7K pts", kInk, 1);
  d.DrawString(15, 218, "1.0GSa/s", kInk, 1);
  d.DrawFrameBuffer(33, 30, 700, 400, 0x828282, 1);
  for (int r = 83; r < 433; r += 50)
    for (int c = 30; c < 730; c += 5) d.SetPixel(r, c, 0x646464, 1);
  d.DrawPictrue(228, 10, 30, 1);
  d.DrawPictrue(300, 10, 36, 1);
  d.DrawPictrue(35, 374, 61, 1);
  d.DrawIco(227, 715, 8, kInk, 1);
  for (int slot = 0; slot < 5; ++slot) d.DrawPictrue(34 + 80 * slot, 675, slot == 1 ? 74 : (slot == 4 ? 75 : 73), 1);
  d.DrawPictrue(433, 675, 93, 1);
  d.DrawPictrue(435, 729, 92, 1);
  d.DrawPictrue(435, 745, 91, 1);
  d.DrawPictrue(75, 677, 94, 1);
  d.DrawPictrue(155, 677, 87, 1);
  d.DrawPictrue(235, 677, 82, 1);
  d.DrawPictrue(315, 677, 88, 1);
  d.DrawPictrue(371, 779, 96, 1);
  f.SetCurrFont(3);
  const char* titles[] = {"Coupling", "Volts/Div", "Probe", "Invert", "Next Page"};
  const char* values[] = {"DC", "500mV", "1X", "Off", ""};
  for (int s = 0; s < 5; ++s) {
    const int b = 57 + 80 * s;
    const char* t = titles[s];
    d.DrawString(s == 4 ? b + 10 : b - 12, 737 - d.Stringlen(0, t) / 2, t, kInk, 1);
    if (*values[s]) d.DrawString(b + 30, 737 - d.Stringlen(0, values[s]) / 2, values[s], s == 1 ? 0x01F801 : kInk, 1);
  }
  d.DrawPictrue(34, 650, 79, 1);
  for (int i = 0; i < 6; ++i) d.DrawPictrue(40 + 16 * i, 650, 81, 1);
  d.DrawPictrue(136, 650, 80, 1);
  d.DrawOutLanguage90(120, 654, "CH1/Menu", 0x00CCCC, 1);
  for (int i = 0; i < 4; ++i) d.DrawPictrue(97 + 22 * i, 560, i == 1 ? 101 : 98, 1);
  f.SetCurrFont(5);
  d.DrawString(60, 60, "Fonts 0-11: The quick brown fox 0123456789", kInk, 1);
  for (short id = 0; id < 12; ++id) {
    f.SetCurrFont(id);
    char line[80];
    std::snprintf(line, sizeof line, "%d: Trig'd 12.5%cs  Rise=3.2ns  Freq 1.000kHz", id, 0xB5);
    d.DrawString(85 + 20 * id, 60, line, kInk, 1);
  }
  const uint16_t uni[] = {'U', 'n', 'i', 'c', 'o', 'd', 'e', ':', ' ', 0x00C5, 0x00DF, 0x03A9, 0x0416,
                          0x20AC, ' ', 0x00B5, 'V', 0};
  d.DrawLanguage(330, 60, uni, kInk, 1);
  f.SetUnicodeFont(1);
  d.DrawLanguage(352, 60, uni, kInk, 1);
  f.SetUnicodeFont(0);
  d.DrawDigitalVoltage(380, 60, "-12.50", "mV", 0xC8C8AF, 1);
  for (int id = 0; id < 23; ++id) d.DrawIco(400, 60 + 22 * id, id, kInk, 1);
  d.DrawPictrue(380, 400, 106, 1);
  d.DrawPictrue(380, 440, 104, 1);
  d.DrawPictrue(380, 480, 108, 1);
  d.DrawPictrue(380, 520, 110, 1);
  d.DrawCircle(300, 400, 30, 0x00CCCC, 1);
  d.DrawLineBresenham(250, 300, 330, 500, 0xFFCC00, 1);
  d.FillRectTransparent(200, 450, 80, 40, 0x0000FF, 1);
  const std::string out = std::string(SCOPE_BINARY_DIR) + "/draw_sample.png";
  EXPECT_TRUE(screenpng::WritePng(out, d.a.data(), W, H));
  // The pictures themselves, side by side, for the same purpose.
  TestDraw sheet;
  sheet.SetPicturePointer(&pics);
  int row = 0, col = 0, rowH = 0;
  for (int id = 0; id < 140; ++id) {
    const PicInfo* p = pics.GetPictureMsg(id);
    if (p->width > 400 || p->height > 200) continue;
    if (col + p->width > W) col = 0, row += rowH + 4, rowH = 0;
    sheet.FillRect(row, col, p->width, p->height, 0xFF00FF, 1);
    sheet.DrawPictrue(row, col, id, 1);
    col += p->width + 4;
    rowH = std::max<int>(rowH, p->height);
  }
  EXPECT_TRUE(screenpng::WritePng(std::string(SCOPE_BINARY_DIR) + "/picture_sheet.png", sheet.a.data(), W, H));
}
