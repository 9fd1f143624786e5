// SCPI command lines and setup blocks as a VXI-11 client writes them: the
// client connects and creates a link, the input is cut after each line end
// into device_write calls (the last one with END), which the link gathers and
// posts to the SCPI thread; the target then waits until the engine and its
// worker are done, and the client goes away.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_instrument.h"
#include "tests/fuzz/fuzz_rpc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  FuzzVxiConnection client;
  const uint32_t lid = client.CreateLink();
  const char* text = reinterpret_cast<const char*>(data);
  size_t start = 0;
  while (lid && start < size) {
    size_t end = start;
    while (end < size && text[end] != '\n') ++end;
    if (end < size) ++end;  // the line end travels with its line
    if (!client.Write(lid, text + start, end - start, end == size ? kWriteFlagEnd : 0)) break;
    start = end;
  }
  FuzzScpiSettle();
  return 0;
}
