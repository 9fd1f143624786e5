// The language list "Data/Menu/Language.txt" (UTF-16LE), read as start-up
// reads it, and by the menu engine's own reader.
#include <cstddef>
#include <cstdint>

#include "core/state/sys_run_info.h"
#include "tests/fuzz/fuzz_instrument.h"
#include "core/menu/menu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  FuzzWriteFile(kLanguageListPath, data, size);
  SysRunStatus.LoadLanguageCountry(kLanguageListPath);
  char names[kMenuLanguages][kMenuLanguageBytes];
  char types[kMenuLanguages][kMenuLanguageBytes];
  Menu::LoadLanguageCountry(kLanguageListPath, names, types);
  return 0;
}
