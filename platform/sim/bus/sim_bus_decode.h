// The simulated FPGA's bus-decode records (sim_bus_decoder.h gives the
// codes): what the bus decoder reads of the lines of an acquisition, with the
// bus settings and comparator levels it was made with, one 16-byte record per
// decoded event that overlaps the screen window starting at record address
// `readAddress` (700 columns), appended to `out`:
//   0..2 marker 0xAA 0xA5 0x5A, 3 FPGA code, 4..7 start count, 8..11 data,
//   12..15 end count (big-endian; counts from `readAddress`, negative for an
//   event that began left of it, in the decoder's clock of `countNs` per
//   count: the sample rate the bus words give, samples per bit x baud).
// The records are padded to whole 32-byte blocks with a record of zeros.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/sim/acquisition/sim_acquire.h"

namespace plat {

void SimBusDecodeRecords(const SimAcquisition& a, double readAddress, double countNs, std::vector<uint8_t>* out);

// Nanoseconds per decoder count from the bus timing words (0 when they give none).
struct SimTriggerSettings;
double SimBusCountNs(const SimTriggerSettings& t);

}  // namespace plat
