// The drawing base class: primitives on 800 x 480 buffers of 0x00RRGGBB words,
// positions (row, column) from the top left. A derived class answers
// GetDrawAddr with the buffer a kind names; the low 12 bits of every `kind`
// argument name the buffer, any of its top 4 bits draws text blended.
// Every primitive clips to the buffer: nothing is written outside it.
#pragma once
#include <cstdint>

#include "ui/draw/font.h"
#include "ui/draw/picture.h"

struct RowSpans;

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

  // The primitives' writes on `buffer` widen `spans` from now on (slot 0 to
  // kTrackSlots - 1; a null buffer ends the slot's tracking). Writes through
  // a pointer GetDrawAddr handed out are the owner's to record.
  static constexpr int kTrackSlots = 4;
  static void TrackWrites(int slot, const uint32_t* buffer, RowSpans* spans);

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
  int DrawUnicodeString(int row, int col, const uint16_t* text, int maxWidth, int colour, short kind);
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
  // The buffer a primitive draws on: GetDrawAddr's, unless the owner tells
  // its own hand-outs apart from its primitives' writes.
  virtual uint32_t* PrimitiveBuffer(short kind) { return GetDrawAddr(kind); }
  // Columns [c0, c1) of `row` were written on `buffer` (clipped to it).
  static void Wrote(const uint32_t* buffer, int row, int c0, int c1);
  int UnicodeAdvance(uint16_t code);  // a blank 4 pixels, else the glyph's width

 private:
  uint32_t* Buffer(short kind) { return PrimitiveBuffer(static_cast<short>(kind & 0xFFF)); }
  const font* UnicodeGlyph(uint16_t code);
  int DrawPicture(int row, int col, int id, short kind, bool blend);

  Font* font_ = nullptr;
  Picture* picture_ = nullptr;
};

// The columns of each row written on one buffer: [lo, hi), none while hi <= lo.
struct RowSpans {
  int16_t lo[Draw::kHeight];
  int16_t hi[Draw::kHeight];

  RowSpans() { Clear(); }
  void Clear();
  bool Any(int row) const { return hi[row] > lo[row]; }
  bool AnyRow() const;
  void Add(int row, int c0, int c1) {
    if (c1 <= c0) return;
    if (c0 < lo[row]) lo[row] = int16_t(c0);
    if (c1 > hi[row]) hi[row] = int16_t(c1);
  }
  // Rows [r0, r1), columns [c0, c1), clipped to the buffer.
  void AddRows(int r0, int r1, int c0, int c1);
  void AddAll() { AddRows(0, Draw::kHeight, 0, Draw::kWidth); }
  void Merge(const RowSpans& other);
};
