// A module's menu text file (UTF-16LE), read into a copy of the display
// module's menu record; every title and choice text read back.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "tests/fuzz/fuzz_instrument.h"
#include "core/menu/menu.h"
#include "ui/display/task_display.h"

namespace {
// Where the values read go, so that every read is made.
volatile size_t g_sink;
constexpr char kPath[] = "Data/Menu/English/DisplayEnglish.txt";

size_t Length(const uint16_t* text) {
  size_t n = 0;
  while (text && text[n]) ++n;
  return n;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  FuzzWriteFile(kPath, data, size);
  auto record = std::make_unique<menu>(TaskDisplayMenu);
  Menu texts;
  texts.ReLoadMenu(kPath, record.get());
  size_t units = Length(texts.GetTopMenuTitle());
  for (int n = 0; n < kMenuItems; ++n) {
    units += Length(texts.GetMenuItemTitle(n));
    for (const MenuOption* o = texts.GetMenuItemList(n); o; o = o->next) units += Length(o->text);
  }
  g_sink = units;
  return 0;
}
