// The font store: the width rule, font selection, rotation, lazy loading of
// the generated font files and damaged files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/bench/bench.h"
#include "ui/draw/font.h"

namespace {

void SetColumn(font* g, int row, int col) { g->bits[3 * row + col / 8] |= uint8_t(0x80 >> (col % 8)); }

bool Bit(const font& g, int row, int col) { return g.bits[3 * row + col / 8] & (0x80 >> (col % 8)); }

// True when every set column of the glyph lies inside its measured width.
bool Whole(const font& g) {
  for (int r = 0; r < 24; ++r)
    for (int c = g.width; c < 24; ++c)
      if (Bit(g, r, c)) return false;
  return true;
}

}  // namespace

TEST(FontWidthRule, BlankGlyphs) {
  font g{};
  Font::Measure(&g, kFontAscii, 'A');
  EXPECT_EQ(g.width, 2);
  EXPECT_EQ(g.height, 4);
  Font::Measure(&g, kFontUnicode, 254);
  EXPECT_EQ(g.width, 1);
  Font::Measure(&g, kFontUnicode, 255);
  EXPECT_EQ(g.width, 0);
  Font::Measure(&g, kFontSpecial, 3);
  EXPECT_EQ(g.width, 2);
}

TEST(FontWidthRule, ColumnRunsAboveAndUpTo128) {
  font g{};
  for (int c : {2, 3, 4, 8}) SetColumn(&g, 5, c);
  SetColumn(&g, 9, 3);
  Font::Measure(&g, kFontAscii, 200);  // only the first run (2-4) counts
  EXPECT_EQ(g.width, 5);
  EXPECT_EQ(g.height, 6);  // two inked rows + 4
  Font::Measure(&g, kFontAscii, 65);  // every set column counts
  EXPECT_EQ(g.width, 6);
  Font::Measure(&g, kFontUnicode, 65);  // rightmost column 8: k = 9, + 1
  EXPECT_EQ(g.width, 10);
  Font::Measure(&g, kFontUnicode, 0x4E2D);
  EXPECT_EQ(g.width, 9);
}

TEST(FontSelection, AsciiMapAndUnicodeIds) {
  Bench bench;
  Font f;
  f.SetCurrFont(7);
  font* arial12 = f.GetCurrFont(kFontAscii);
  f.SetCurrFont(3);
  EXPECT_EQ(f.GetCurrFont(kFontAscii), arial12);
  f.SetCurrFont(12);
  EXPECT_EQ(f.GetCurrFont(kFontAscii), arial12);
  EXPECT_EQ(f.CurrentAsciiFont(), 3);
  for (short id : {0, 1, 2, 4, 5, 6, 8, 9, 10, 11}) {
    f.SetCurrFont(id);
    EXPECT_EQ(f.CurrentAsciiFont(), id);
  }
  f.SetCurrFont(-1);
  EXPECT_EQ(f.CurrentAsciiFont(), 3);

  f.SetUnicodeFont(1);
  EXPECT_EQ(f.CurrentUnicodeFont(), 1);
  f.SetUnicodeFont(2);
  EXPECT_EQ(f.CurrentUnicodeFont(), 1);
  f.SetUnicodeFont(0);
  EXPECT_EQ(f.CurrentUnicodeFont(), 0);
  EXPECT_EQ(f.GetCurrFont(77), nullptr);
}

TEST(FontSelection, Arial13HeiIsTheBoldFile) {
  Bench bench;
  Font f;
  f.SetCurrFont(11);
  const font* hei = f.GetCurrFont(kFontAscii);
  f.SetCurrFont(4);
  const font* plain = f.GetCurrFont(kFontAscii);
  // The heavy face inks more columns than the regular one of the same size.
  EXPECT_GT(hei[int('H')].width, plain[int('H')].width);
  // Font 7 (msyh_8) is loaded and measured although no id selects it.
  EXPECT_GT(f.CalculateCharWidth(kFontAscii, 7, 'W'), 2);
}

TEST(FontRotation, NinetyDegreesCounterClockwise) {
  font src{};
  src.width = 7;
  SetColumn(&src, 2, 5);  // row 2, column 5
  font dst{};
  Font::Font90(&src, &dst);
  EXPECT_EQ(dst.width, 24);
  EXPECT_EQ(dst.height, 7);
  EXPECT_TRUE(Bit(dst, 23 - 5, 2));
  int set = 0;
  for (int r = 0; r < 24; ++r)
    for (int c = 0; c < 24; ++c) set += Bit(dst, r, c);
  EXPECT_EQ(set, 1);
}

// Every glyph of every generated font and every special glyph is drawn whole
// by its own width rule, the printable characters are not blank and the
// special glyphs with fixed roles have ink.
TEST(GeneratedFonts, EveryGlyphWhole) {
  Bench bench;
  Font f;
  f.Load_ASCII();
  for (short id : {0, 1, 2, 4, 5, 6, 8, 9, 10, 11}) {
    f.SetCurrFont(id);
    const font* t = f.GetCurrFont(kFontAscii);
    for (int code = 0; code < kAsciiGlyphs; ++code) ASSERT_TRUE(Whole(t[code])) << id << " " << code;
    for (int code = '!'; code <= '~'; ++code) EXPECT_GT(t[code].width, 2) << id << " " << code;
    EXPECT_GT(t[0xB5].width, 2) << "micro sign in font " << id;
  }
  const font* special = f.GetCurrFont(kFontSpecial);
  ASSERT_EQ(f.GetSpecialCharMaxID(), 36);
  for (int id = 0; id < 36; ++id) EXPECT_TRUE(Whole(special[id])) << id;
  for (int id : {0, 4, 5, 6, 7, 8, 14, 15, 16, 17, 23, 24, 25, 30, 34})
    EXPECT_GT(special[id].width, 2) << "special glyph " << id;
  EXPECT_GT(special[25 + 8].width, special[24].width);  // a digit is wider than the point

  for (short u = 0; u < kUnicodeFontCount; ++u) {
    f.SetUnicodeFont(u);
    const font* t = f.GetCurrFont(kFontUnicode);
    ASSERT_NE(t, nullptr);
    for (int code = 0; code < kUnicodeGlyphs; ++code) {
      // Unicode widths reach one past the rightmost ink: nothing lies beyond.
      const font& g = t[code];
      for (int r = 0; r < 24; ++r)
        for (int c = g.width; c < 24; ++c) ASSERT_FALSE(Bit(g, r, c)) << u << " " << code;
    }
    EXPECT_GT(t[int('A')].width, 3);
    EXPECT_GT(t[0x03A9].width, 3);  // Omega
    EXPECT_GT(t[0x4E2D].width, 3);  // CJK from the Chinese face
  }
}

TEST(FontLoading, NothingIsReadBeforeUse) {
  Bench bench;
  Font f;
  // Without any call that needs a table, renaming the files away is harmless;
  // the first use then reads what is there (nothing) and leaves blank glyphs.
  ASSERT_EQ(std::rename("Data/ASCII", "Data/ASCII-away"), 0);
  const font* t = f.GetCurrFont(kFontAscii);
  EXPECT_EQ(t[int('A')].width, 2);
  EXPECT_EQ(f.GetCurrFont(kFontSpecial)[25].width, 2);
  ASSERT_EQ(std::rename("Data/ASCII-away", "Data/ASCII"), 0);
  f.Load_ASCII();  // an explicit load reads the files again
  EXPECT_GT(f.GetCurrFont(kFontAscii)[int('A')].width, 2);
}

TEST(FontLoading, ShortFileKeepsWhatWasRead) {
  Bench bench;
  {
    std::ifstream in("Data/ASCII/Arial_12.dat", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(all.size(), 18432u);
    std::ofstream out("Data/ASCII/Arial_12.dat", std::ios::binary | std::ios::trunc);
    out.write(all.data(), 72 * 66);  // glyphs 0..65 only
  }
  std::remove("Data/Unicode/unicode16.dat");
  Font f;
  testing::internal::CaptureStdout();
  f.Load_ASCII();
  f.Load_Unicode();
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("Read Data/ASCII/Arial_12.dat Fiel Error!"), std::string::npos) << log;
  EXPECT_NE(log.find("Open /Data/Unicode/unicode16.dat failed!"), std::string::npos) << log;
  EXPECT_NE(log.find("Unicode Name = Data/Unicode/unicode.dat"), std::string::npos);
  f.SetCurrFont(3);
  const font* t = f.GetCurrFont(kFontAscii);
  EXPECT_GT(t[int('A')].width, 2);  // glyph 65 was read
  EXPECT_EQ(t[int('B')].width, 2);  // glyph 66 was not
  f.SetUnicodeFont(1);
  EXPECT_EQ(f.GetCurrFont(kFontUnicode)[int('A')].width, 1);
  f.SetUnicodeFont(0);
  EXPECT_GT(f.GetCurrFont(kFontUnicode)[int('A')].width, 3);
}

TEST(FontLoading, SpecialTableReplacement) {
  Bench bench;
  Font f;
  font mine[2] = {};
  f.SetSpecialCharFont(mine, 2);
  EXPECT_EQ(f.GetSpecialCharMaxID(), 2);
  EXPECT_EQ(f.GetCurrFont(kFontSpecial), mine);
  EXPECT_EQ(f.CalculateCharWidth(kFontSpecial, 0, 1), 2);
  EXPECT_EQ(f.CalculateCharWidth(kFontSpecial, 0, 2), -1);
}
