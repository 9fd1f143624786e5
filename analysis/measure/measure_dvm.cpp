// The voltmeter: the FPGA accumulates, over its gate, the number of samples
// of the selected channel, their sum and the sum of their squares; DC, DC RMS
// and AC RMS follow from those and the channel's scale.
#include <algorithm>
#include <cmath>

#include "analysis/measure/measure.h"
#include "core/board/control.h"
#include "core/state/system_resource.h"

namespace {
// Accumulator registers, 16 bits each, low word first.
constexpr int kCountRegs[2] = {870, 872};
constexpr int kSumRegs[3] = {874, 876, 878};
constexpr int kSquareRegs[3] = {864, 866, 868};
enum { kDc, kDcRms, kAcRms, kModes };

// The registers as one unsigned value; false when one cannot be read.
template <int N>
bool ReadWide(control* board, const int (&regs)[N], uint64_t* out) {
  uint64_t v = 0;
  for (int i = 0; i < N; ++i) {
    const int r = board->ReadAnyReg(regs[i]);
    if (r < 0) return false;
    v |= uint64_t(uint16_t(r)) << (16 * i);
  }
  *out = v;
  return true;
}
}  // namespace

void _measure::SetDVM(bool on, int source) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  dvmOn_ = on;
  if (source == 0 || source == 1) dvmSource_ = source;
}

int _measure::DVMMeasureInvalid() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  for (int ch = 0; ch < 2; ++ch)
    for (int m = 0; m < kModes; ++m) {
      dvm_[ch][m] = 0;
      dvmElement_[ch][m] = FloatElement{0, 0};
    }
  return 0;
}

int _measure::DVMMeasureFPGA() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const int ch = dvmSource_;
  double* out = dvm_[ch];
  out[kDc] = out[kDcRms] = out[kAcRms] = 0;
  control* board = SystemResource.board;
  uint64_t n = 0, s1 = 0, s2 = 0;
  // A register that cannot be read leaves zero results, not a value made
  // of 0xFFFF words.
  const bool read = dvmOn_ && board && ReadWide(board, kCountRegs, &n) && ReadWide(board, kSumRegs, &s1) &&
                    ReadWide(board, kSquareRegs, &s2);
  if (read && n > 0) {
    const MeasureScale& sc = row_[ch].scale;
    const double k = sc.fineVoltsPerCode, p = sc.position;
    const int64_t mean = int64_t(s1 / n);
    out[kDc] = (double(mean) - p) * k;
    // Mean of (code - p)^2; then of (code - mean)^2, exact in integers.
    const double sq = (double(s2) - 2.0 * p * double(s1) + p * p * double(n)) / double(n);
    out[kDcRms] = k * std::sqrt(std::max(0.0, sq));
    const int64_t dev = int64_t(s2) - 2 * mean * int64_t(s1) + mean * mean * int64_t(n);
    out[kAcRms] = k * std::sqrt(std::max(0.0, double(dev) / double(n)));
  }
  const unit_convert* u = SystemResource.unitConvert;
  for (int m = 0; m < kModes; ++m)
    if (u) u->VUnitConvert(out[m], &dvmElement_[ch][m]);
  return read || !dvmOn_ ? 0 : -1;
}

int _measure::GetDVMResult(int channel, int mode, FloatElement* out) {
  if (channel < 0 || channel > 1 || mode < 0 || mode >= kModes || !out) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  *out = dvmElement_[channel][mode];
  return 0;
}

double _measure::GetDVMValue(int channel, int mode) {
  if (channel < 0 || channel > 1 || mode < 0 || mode >= kModes) return 0;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return dvm_[channel][mode];
}
