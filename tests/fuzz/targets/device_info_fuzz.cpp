// The device-information file "Data/Information" and the serial-number file
// "SN.txt", read as the utility module reads them and drawn in its device
// information box. The first byte chooses the file, the rest is its content.
#include <cstddef>
#include <cstdint>

#include "system/utility/task_utility.h"
#include "system/utility/utility_draw.h"
#include "tests/fuzz/fuzz_instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  if (size == 0) return 0;
  FuzzWriteFile(data[0] & 1 ? "SN.txt" : "Data/Information", data + 1, size - 1);
  TaskUtility.LoadSysInformation();
  TaskUtility.GetSerialNumber();
  UtilityDraw.DrawVersion();
  return 0;
}
