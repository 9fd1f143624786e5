#include "platform/sim/fpga/sim_adc_pattern.h"

#include <cstring>
#include <mutex>

namespace plat {
namespace {
constexpr int kTestReg = 108, kTestOutput = 4, kPatternReg = 112, kPhaseReg = 41;
constexpr int kColumns = 700, kRows = 200, kTopCode = 227;
constexpr uint8_t kLevel = 0x40, kCh2Bit = 0x80;
constexpr int kGlitchRowStep = 7;  // a bad phase lights every seventh row, shifted per column

std::mutex mu;
int windowFirst[2] = {2, 2};
int windowCount[2] = {5, 5};

void Light(uint8_t* dest, size_t length, int row, int column, uint8_t value) {
  const size_t at = size_t(row) * kColumns + size_t(column);
  if (row >= 0 && row < kRows && at < length) dest[at] = value;
}
}  // namespace

void SetAdcPhaseWindow(int adc, int first, int count) {
  if (adc < 0 || adc > 1) return;
  std::lock_guard<std::mutex> lock(mu);
  windowFirst[adc] = first & 7;
  windowCount[adc] = count < 0 ? 0 : count > 8 ? 8 : count;
}

bool AdcPhaseClean(int adc, int phase) {
  if (adc < 0 || adc > 1) return false;
  std::lock_guard<std::mutex> lock(mu);
  return ((phase - windowFirst[adc]) & 7) < windowCount[adc];
}

bool SimAdcPatternRaster(const uint16_t (*adcRegs)[256], int drawn, uint8_t* dest, size_t length) {
  bool any = false;
  for (int adc = 0; adc < 2; ++adc) {
    if (!(drawn >> adc & 1) || adcRegs[adc][kTestReg] != kTestOutput) continue;
    if (!any) std::memset(dest, 0, length);
    any = true;
    const uint16_t pattern = adcRegs[adc][kPatternReg];
    const bool clean = AdcPhaseClean(adc, adcRegs[adc][kPhaseReg] >> 4 & 7);
    const uint8_t value = uint8_t(kLevel | (adc ? kCh2Bit : 0));
    for (int x = 0; x < kColumns; ++x) {
      Light(dest, length, kTopCode - (pattern & 0xFF), x, value);
      Light(dest, length, kTopCode - (pattern >> 8), x, value);
      if (!clean)
        for (int r = x % kGlitchRowStep; r < kRows; r += kGlitchRowStep) Light(dest, length, r, x, value);
    }
  }
  return any;
}

}  // namespace plat
