// Errors of the simulated analogue front end that self-calibration measures
// and cancels: each channel's offset (in screen codes, added to where the
// offset DAC puts 0 V) on every range, the external trigger comparator's
// offset (codes of its level DAC scale), and each channel's ADC gain error.
// All zero until a test sets them.
//
// ADC gain: the samples of channel ch (ADC ch) are scaled about the zero code
// by (1 + gainError[ch]) x (1 + (coarse - 8) x 2 % + (fine - 4) x 0.45 %),
// coarse and fine the codes of the ADC's gain register (register 2: coarse in
// bits 0-3, fine in bits 4-6; control::AdcGainAdj); 8 and 4 are unity, as
// before the register is written.
//
// The external trigger comparator: control word 58 re-arms it, noting on
// which side of the input its level lies; register 772 bit 0 (with word 48 = 3
// and no edges at the external input) is set once the level has crossed the
// input since.
#pragma once
#include <cstdint>

namespace plat {

struct FrontEndErrors {
  double offsetCodes[2] = {};      // every range
  double offsetPerRange[2] = {};   // added per step of the range's volts/div (log scale)
  double extTrigCodes = 0;
  double gainError[2] = {};        // relative: 0.05 makes the samples 5 % too large
};

void SetFrontEndErrors(const FrontEndErrors& e);
FrontEndErrors GetFrontEndErrors();
// The offset error of channel `ch` on the range of `rangeVdiv` volts/div.
double FrontEndOffsetError(int ch, double rangeVdiv);
// The gain of channel `ch`'s samples for its ADC's gain register `word`.
double FrontEndAdcGain(int ch, uint16_t word);
constexpr int kAdcGainRegister = 2;

}  // namespace plat
