// A setup file (.dat) as a USB disk or a user supplies it, recalled the way
// the storage module does: checked block by block, then handed to every
// module's setup block.
#include <cstddef>
#include <cstdint>

#include "system/storage/storage_setup.h"
#include "tests/fuzz/fuzz_instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  FuzzWriteFile("Data/Storage/Set/FUZZ.dat", data, size);
  StorageLoadSetFunc("FUZZ.dat", 0);
  return 0;
}
