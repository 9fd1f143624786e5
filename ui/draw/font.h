// The font store: twelve 8-bit (ASCII) bitmap fonts, two UTF-16 bitmap fonts
// and the table of special glyphs (icons and large digits), read from the
// instrument's data files. Construction does no file I/O; the files are read
// by Load_ASCII / Load_Unicode, or on first use of a table.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

// One glyph: 24 rows of 3 bytes, row 0 at the top, the most significant bit of
// a row's first byte the leftmost of its 24 columns.
struct font {
  uint16_t width;   // advance and drawn width in pixels, set when measured
  uint16_t height;  // non-empty bit rows + 4, set when measured
  uint8_t bits[72];
};

// One row of the ASCII font table: file and the font measured on its turn.
struct AsciiFontRow {
  char path[30];
  int16_t font;
};

constexpr int kAsciiFontCount = 12;
constexpr int kAsciiGlyphs = 256;
constexpr int kUnicodeFontCount = 2;
constexpr int kUnicodeGlyphs = 65535;  // UTF-16 code units 0 .. 65534
constexpr int kSpecialGlyphs = 36;
constexpr int kGlyphBytes = 72;

// Glyph-table types of GetCurrFont and CalculateCharWidth.
constexpr int kFontAscii = 0;
constexpr int kFontSpecial = 4096;
constexpr int kFontUnicode = 8192;

extern const AsciiFontRow AsciiMsg[kAsciiFontCount];
extern const char FontForUnicode[kUnicodeFontCount][50];
// File of the special glyphs: 36 glyphs of 72 bytes, like a font file.
extern const char SpecialCharPath[];
// The built-in special-glyph table, filled from SpecialCharPath by Load_ASCII.
extern font SysSpecialChar[kSpecialGlyphs];

class Font {
 public:
  constexpr Font() : asciiFonts_{}, unicodeFonts_{} {}
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Read (again) the ASCII fonts and special glyphs / the two Unicode fonts.
  void Load_ASCII();
  void Load_Unicode();

  void SetCurrFont(short id);
  void SetUnicodeFont(short id);
  // 0: current ASCII font, 8192: current Unicode font, 4096: special glyphs;
  // any other type: null. Loads the table on first use.
  font* GetCurrFont(int type);
  void SetSpecialCharFont(font* table, int count);
  int GetSpecialCharMaxID() const { return specialCount_; }
  // Measures glyph `glyph` of font `fontNo` of the table `type`; -1 when out of range.
  int CalculateCharWidth(int type, int fontNo, int glyph);
  static void Font90(const font* src, font* dst);

  // Measures one glyph in place by the width rule of `type`, `code` its character code.
  static void Measure(font* g, int type, int code);

  short CurrentAsciiFont() const { return currentId_; }
  short CurrentUnicodeFont() const { return unicodeId; }

 private:
  void EnsureAscii();
  void EnsureUnicode();
  void LoadAsciiLocked();
  void LoadUnicodeLocked();

 public:
  uint16_t id0 = 0;
  int16_t unicodeId = 0;

 private:
  short currentId_ = 3;
  font asciiFonts_[kAsciiFontCount][kAsciiGlyphs];
  font* unicodeFonts_[kUnicodeFontCount];  // allocated on first load
  font* special_ = SysSpecialChar;
  int specialCount_ = kSpecialGlyphs;
  std::mutex loadLock_;
  std::atomic<bool> asciiReady_{false};
  std::atomic<bool> unicodeReady_{false};
};

extern Font QelFont;
