// The run state's wave type: how the screen shows the channels.
#pragma once

// The FPGA's intensity raster (normal), the channels' traces as vectors or
// dots, or the roll record. The waveform engine keeps a numbering of its own
// (2 normal, 3 roll) for what it reads.
enum RunWaveType : int {
  kWaveRaster = 1,
  kWaveTraces = 2,
  kWaveRoll = 3,
};
