// Configures the acquisition FPGA from its bitstream file over the slave-serial
// pins of GPIO bank 5.
#pragma once

namespace bitstrap {

// The bitstream file, relative to the working directory (the instrument root).
constexpr const char* kBitstreamPath = "Data/FpgaBit/FPGA.bit";

// Runs the whole load: 0 when the file was clocked into the FPGA (whatever
// DONE says), -1 when the loader stopped before.
int ConfigureFpga(const char* path);

}  // namespace bitstrap
