// The relay client's INI file, read back as the web page's relay settings
// read it.
#include <cstddef>
#include <cstdint>

#include "remote/web/web_settings.h"
#include "tests/fuzz/fuzz_instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  FuzzWriteFile(kFrpcIniFile, data, size);
  get_section_name();
  get_frp_config();
  return 0;
}
