// The FPGA's voltmeter accumulators on the simulated board. Over its gate
// (here the screen window of the last acquisition, 10 samples a column) the
// FPGA counts the samples of the channel chosen by control word 74 (0 CH1,
// 1 CH2) and sums their codes and their squared codes. Registers, 16 bits
// each, low word first:
//   870, 872        the sample count
//   874, 876, 878   the sum of codes
//   864, 866, 868   the sum of squared codes
// The sums are worked out once per acquisition and channel, when first read.
#pragma once
#include <cstdint>

#include "platform/sim/acquisition/sim_acquire.h"

namespace plat {

class SimVoltmeter {
 public:
  static constexpr uint16_t kSourceWord = 74;

  // True when `reg` is one of the accumulators; its value in `*value`.
  bool Read(uint16_t reg, const SimAcquisition& a, int ch, uint16_t* value);

 private:
  void Accumulate(const SimAcquisition& a, int ch);

  uint64_t serial_ = ~0ull;
  int ch_ = -1;
  uint64_t count_ = 0, sum_ = 0, squares_ = 0;
};

}  // namespace plat
