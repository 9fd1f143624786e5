// A waveform file (.wav) as a USB disk or a user supplies it, loaded into a
// reference the way the storage module does, then drawn.
#include <cstddef>
#include <cstdint>

#include "acquisition/engine/wave.h"
#include "system/storage/storage_wave.h"
#include "tests/fuzz/fuzz_instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  FuzzWriteFile("Data/Storage/Wave/FUZZ.wav", data, size);
  if (StorageLoadWaveFunc("FUZZ.wav", 0, 0) == 0) WaveOp.WaveProcess();
  return 0;
}
