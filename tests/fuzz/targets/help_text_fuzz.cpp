// The help file of the current language (UTF-16LE), loaded by the help module
// as it does when its window opens.
#include <cstddef>
#include <cstdint>
#include <string>

#include "system/help/task_help.h"
#include "tests/fuzz/fuzz_instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  static const std::string path = TaskHelp.HelpFilePath();
  FuzzWriteFile(path, data, size);
  TaskHelp.HelpLoading();
  return 0;
}
