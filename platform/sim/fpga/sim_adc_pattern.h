// ADC test output on the simulated board. With ADC register 108 = 4 an ADC
// sends the two codes of its pattern register 112 (low byte, high byte) in
// turn instead of samples; the display raster then shows them as a clean pair
// of rows in that ADC's channel (bit 7 set for CH2) when the ADC's sampling
// phase (register 41 bits 4-6) lies in its good window, and scattered lit
// points over the whole column height when it does not.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// Phase codes first .. first + count - 1 (mod 8) sample cleanly; 2..6 at first.
void SetAdcPhaseWindow(int adc, int first, int count);
bool AdcPhaseClean(int adc, int phase);

// The raster the test output draws for the channels in `drawn` (bit 0 CH1,
// bit 1 CH2); false (nothing written) when no drawn ADC is in test output.
bool SimAdcPatternRaster(const uint16_t (*adcRegs)[256], int drawn, uint8_t* dest, size_t length);

}  // namespace plat
