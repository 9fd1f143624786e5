// Errors of the simulated analogue front end that self-calibration measures
// and cancels: each channel's offset (in screen codes, added to where the
// offset DAC puts 0 V) on every range, and the external trigger comparator's
// offset (codes of its level DAC scale). All zero until a test sets them.
//
// The external trigger comparator: control word 58 re-arms it, noting on
// which side of the input its level lies; register 772 bit 0 (with word 48 = 3
// and no edges at the external input) is set once the level has crossed the
// input since.
#pragma once

namespace plat {

struct FrontEndErrors {
  double offsetCodes[2] = {};      // every range
  double offsetPerRange[2] = {};   // added per step of the range's volts/div (log scale)
  double extTrigCodes = 0;
};

void SetFrontEndErrors(const FrontEndErrors& e);
FrontEndErrors GetFrontEndErrors();
// The offset error of channel `ch` on the range of `rangeVdiv` volts/div.
double FrontEndOffsetError(int ch, double rangeVdiv);

}  // namespace plat
