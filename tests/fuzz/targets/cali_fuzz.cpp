// The channel calibration file, read as start-up reads it; the vertical
// model then sets both channels' front ends from it.
#include <cstddef>
#include <cstdint>

#include "acquisition/models/y_system.h"
#include "core/board/ch_cali_data.h"
#include "core/state/sys_run_info.h"
#include "tests/fuzz/fuzz_instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  FuzzWriteFile(ChCaliDataName, data, size);
  SysRunStatus.LoadChCaliData();
  Vertical.AllChannelCtrlRefresh();
  return 0;
}
