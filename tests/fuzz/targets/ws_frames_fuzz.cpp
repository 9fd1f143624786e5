// Websocket frames of a client whose handshake has been accepted, read by the
// command server and echoed.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_instrument.h"
#include "tests/fuzz/fuzz_ws.h"

namespace {
const char kHandshake[] =
    "GET / HTTP/1.1\r\n"
    "Host: 127.0.0.1:9001\r\n"
    "Upgrade: websocket\r\n"
    "Connection: Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
    "Sec-WebSocket-Version: 13\r\n"
    "\r\n";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  WsServeClient(kHandshake, sizeof kHandshake - 1, data, size);
  return 0;
}
