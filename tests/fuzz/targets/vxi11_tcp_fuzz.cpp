// Bytes arriving on a VXI-11 TCP connection (portmapper or channel): the
// record reader gathers the fragments, each whole record is answered as the
// server answers it. The first byte sets how many bytes each read brings, so
// marks and fragments are split at every place a connection can split them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_instrument.h"
#include "tests/fuzz/fuzz_rpc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  if (size == 0) return 0;
  const size_t chunk = size_t(data[0]) + 1;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  const size_t total = size - 1;
  FuzzVxiConnection connection;
  RecordReader records;
  std::string in;
  bool open = true;
  for (size_t at = 0; open && at < total; at += chunk) {
    in.append(bytes + at, std::min(chunk, total - at));
    size_t pos = 0;
    while (open) {
      size_t used = 0;
      std::string record;
      const int got = records.Next(in.data() + pos, in.size() - pos, &used, &record);
      pos += used;
      if (got < 0) open = false;  // the server closes the connection
      if (got <= 0) break;
      open = connection.Serve(record);
    }
    in.erase(0, pos);
  }
  FuzzScpiSettle();
  return 0;
}
