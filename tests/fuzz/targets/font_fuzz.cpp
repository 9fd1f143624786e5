// A bitmap font file: the first byte picks one of the twelve ASCII font files
// or the special-glyph file, the rest is its contents. A font store loads
// every file as start-up does and measures each glyph.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "tests/fuzz/fuzz_instrument.h"
#include "ui/draw/font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  if (size == 0) return 0;
  const int pick = data[0] % (kAsciiFontCount + 1);
  FuzzWriteFile(pick < kAsciiFontCount ? AsciiMsg[pick].path : SpecialCharPath, data + 1, size - 1);
  auto store = std::make_unique<Font>();
  store->SetSpecialCharFont(SysSpecialChar, kSpecialGlyphs);
  store->Load_ASCII();
  for (int f = 0; f < kAsciiFontCount; ++f)
    for (int g = 0; g < kAsciiGlyphs; ++g) store->CalculateCharWidth(kFontAscii, f, g);
  return 0;
}
