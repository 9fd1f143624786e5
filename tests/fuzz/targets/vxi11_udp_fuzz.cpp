// Datagrams arriving at the VXI-11 server's UDP port (the portmapper, or any
// program called over UDP), answered as the server answers them: no call
// parks. The input is a run of datagrams, each behind its 2-byte big-endian
// length. Afterwards the links they created are dropped, as the server drops
// them once unused for its idle time.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "remote/vxi11/vxi11_link.h"
#include "tests/fuzz/fuzz_instrument.h"
#include "tests/fuzz/fuzz_rpc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  size_t at = 0;
  while (size - at >= 2) {
    const size_t length = std::min(size_t(data[at]) << 8 | data[at + 1], size - at - 2);
    RpcContext ctx;
    ctx.transport = RpcTransport::kUdp;
    std::string reply;
    RpcHandleMessage(reinterpret_cast<const char*>(data + at + 2), length, ctx, &reply);
    at += 2 + length;
  }
  FuzzScpiSettle();
  std::vector<Vxi11Finished> done;
  Vxi11ServiceLinks(Vxi11Clock::now(), Vxi11Clock::duration::zero(), &done);
  return 0;
}
