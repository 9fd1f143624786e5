// The HTTP upgrade request of a new websocket client (and any frames it sends
// behind it), read by the command server.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_instrument.h"
#include "tests/fuzz/fuzz_ws.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  WsServeClient("", 0, data, size);
  return 0;
}
