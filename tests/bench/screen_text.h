// Text on the shown screen: the drawing engine draws the text into a blank
// buffer of its own and the screen is searched for its strokes, so a test
// checks what the user reads rather than the state the drawing came from.
#pragma once
#include <cstdint>
#include <string>

class Bench;

// True when every pixel of `text` (ASCII font `font`, at row, col, colour) is on the screen.
bool ShowsText(const Bench& b, int row, int col, const char* text, int font, uint32_t colour);

// True when the text, drawn in the current Unicode font in any one colour,
// appears somewhere in the rectangle (r0, c0) to (r1, c1) of the screen.
bool ShowsUnicode(const Bench& b, const std::u16string& text, int r0, int c0, int r1, int c1);

// The same for an ASCII text in font `font`, anywhere in the rectangle.
bool ShowsAscii(const Bench& b, const char* text, int font, int r0, int c0, int r1, int c1);
