// The simulated FPGA's voltmeter accumulators.
#include "platform/sim/fpga/sim_voltmeter.h"

#include <cmath>

namespace plat {

namespace {
constexpr int kColumns = 700, kCentreColumn = 350;
constexpr int kPerColumn = 10;
constexpr uint16_t kCount = 870, kSum = 874, kSquares = 864;

uint16_t WordOf(uint64_t v, int i) { return uint16_t(v >> (16 * i)); }
}  // namespace

void SimVoltmeter::Accumulate(const SimAcquisition& a, int ch) {
  serial_ = a.serial;
  ch_ = ch;
  count_ = sum_ = squares_ = 0;
  const double spp = a.SamplesPerColumn();
  for (int x = 0; x < kColumns; ++x)
    for (int j = 0; j < kPerColumn; ++j) {
      const double at = double(kRecordCentre) + (double(x - kCentreColumn) + double(j) / kPerColumn) * spp;
      const uint64_t c = a.Code(ch, spp >= 1.0 ? std::floor(at) : at);
      ++count_;
      sum_ += c;
      squares_ += c * c;
    }
}

bool SimVoltmeter::Read(uint16_t reg, const SimAcquisition& a, int ch, uint16_t* value) {
  int i;
  uint64_t SimVoltmeter::*field;
  if (reg >= kCount && reg <= kCount + 2) field = &SimVoltmeter::count_, i = (reg - kCount) / 2;
  else if (reg >= kSum && reg <= kSum + 4) field = &SimVoltmeter::sum_, i = (reg - kSum) / 2;
  else if (reg >= kSquares && reg <= kSquares + 4) field = &SimVoltmeter::squares_, i = (reg - kSquares) / 2;
  else return false;
  if (reg & 1) return false;
  ch &= 1;
  if (a.serial != serial_ || ch != ch_) Accumulate(a, ch);
  *value = WordOf(this->*field, i);
  return true;
}

}  // namespace plat
