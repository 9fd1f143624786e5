// The drawing base class: primitives on 800 x 480 buffers of 0x00RRGGBB words,
// positions (row, column) from the top left. A derived class answers
// GetDrawAddr with the buffer a kind names; the low 12 bits of every `kind`
// argument name the buffer, any of its top 4 bits draws text blended.
// Every primitive clips to the buffer: nothing is written outside it.
#pragma once
#include <cstdint>

#include "ui/draw/font.h"
#include "ui/draw/picture.h"

class Draw {
 public:
  static constexpr int kWidth = 800;   // columns of every buffer
  static constexpr int kHeight = 480;  // rows

  Draw() = default;
  Draw(const Draw&) = delete;
  Draw& operator=(const Draw&) = delete;

  virtual uint32_t* GetDrawAddr(short kind) = 0;

  int SetUserFontPointer(Font* f);
  int SetPicturePointer(Picture* p);
  Font* GetUserFontPointer() const { return font_; }
  Picture* GetPicturePointer() const { return picture_; }
  void DrawBuffSync(Draw* from, Draw* to) {}

  // Where DrawUnicodeTxt learns the current language's type (1: any character
  // may wrap). The run state installs it; without it the type is 0.
  static void SetLanguageTypeQuery(int (*query)());

  // Pixels and lines.
  void SetPixel(int row, int col, int colour, short kind);
  void DrawLine(int r1, int c1, int r2, int c2, int colour, short kind);
  void DrawLineBresenham(int r1, int c1, int r2, int c2, int colour, short kind);
  void DrawBrokenLine(int r1, int c1, int r2, int c2, int colour, int dash, short kind);
  void DrawIndicatorLine(int row, int c1, int any, int c2, int colour, short kind);

  // Rectangles and circles.
  void FillRect(int row, int col, int width, int height, int colour, short kind);
  void FillRectTransparent(int row, int col, int width, int height, int colour, short kind);
  void DrawRect(int row, int col, int width, int height, int colour, short kind);
  void DrawFrameBuffer(int row, int col, int width, int height, int colour, short kind);
  void DrawCircle(int row, int col, int radius, int colour, short kind);

  // Text.
  void WordOut(int row, int col, const font* glyph, int colour, short kind);
  void WordOutTest(int row, int col, const font* glyph, int colour, short kind);
  int DrawString(int row, int col, const char* text, int colour, short kind);
  int DrawLanguage(int row, int col, const uint16_t* text, int colour, short kind);
  int DrawUnicodeString(int row, int col, const uint16_t* text, int maxWidth, int colour,
                        short kind);
  int DrawLanguageTxt(int row, int col, const uint16_t* text, int width, int colour, short kind);
  int DrawUnicodeTxt(int row, int col, const uint16_t* text, int width, int length, int firstLine,
                     int lineCount, int colour, short kind);
  int ScanUnicodeWord(const uint16_t* text, const font* glyphs, short* width);
  int DrawOutLanguage90(int row, int col, const char* text, int colour, short kind);
  int DrawOutLanguage90(int row, int col, const uint16_t* text, int colour, short kind);
  int Stringlen(int type, const void* text);
  int StringWidthCut(int type, const void* text, int maxWidth);
  int DrawIco(int row, int col, int id, int colour, short kind);
  int DrawDigitalVoltage(int row, int col, const char* number, const char* suffix, int colour,
                         short kind);

  // Pictures.
  int DrawPictrue(int row, int col, int id, short kind);
  int DrawPictrueTransparent(int row, int col, int id, short kind);
  void GetPictrueInfo(int id, short* width, short* height);
  int DrawBmpPictrue(int row, int col, const char* path, short kind);

 protected:
  ~Draw() = default;
  int UnicodeAdvance(uint16_t code);  // a blank 4 pixels, else the glyph's width

 private:
  uint32_t* Buffer(short kind) { return GetDrawAddr(static_cast<short>(kind & 0xFFF)); }
  const font* UnicodeGlyph(uint16_t code);
  int DrawPicture(int row, int col, int id, short kind, bool blend);

  Font* font_ = nullptr;
  Picture* picture_ = nullptr;
};
