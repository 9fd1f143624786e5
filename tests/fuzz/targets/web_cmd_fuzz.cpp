// The web page's command JSON, as the command-control server takes a message
// from its websocket: the session gate, every request type and the screen
// input it feeds; the keys it posts then run through the main loop.
#include <cstddef>
#include <cstdint>
#include <string>

#include "remote/web/web_control.h"
#include "tests/fuzz/fuzz_instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  cmdControlServer.ProcessRequest(nullptr, std::string(reinterpret_cast<const char*>(data), size));
  FuzzScpiSettle();
  return 0;
}
