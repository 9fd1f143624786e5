// The analog front end of the simulated board, in numbers. The calibration
// file the simulated board ships (tools/calgen) is made from these constants,
// and the simulated FPGA turns the DAC codes it receives back into positions
// and levels with the same constants, so offsets and trigger levels come out
// right on the PC.
//
// Screen codes: 8-bit samples, 127 the screen centre, 25 codes per division.
//
// Offset DAC (DAC 0 CH1, DAC 1 CH2; 12-bit). The same on every V/div range:
//   DAC code D puts 0 V of channel ch at position
//     P = 127 + (OffsetDacCentre(ch) - D) / kOffsetDacPerCode
//   so a sample of v volts at the BNC (probe 1x) reads P + v * 25 / (volts/div).
//   With the channel inverted (control word 204) the instrument computes the
//   DAC from 255 - position, so 0 V lands at 255 - position in memory; the
//   FPGA draws the raster inverted (255 - code), centred on the position.
//   Calibration points: centre at position 127 (DAC centre), upper at position
//   127 + kCaliPointSpan (DAC centre - span x 10), lower at 127 - kCaliPointSpan.
//
// Trigger level DAC (DAC 2; 12-bit), both channels, every range:
//   DC-referenced coupling: D = TrigDacZero(ch) + kTrigDacPerCode x c, where c
//   is the level in screen codes relative to the screen centre (the comparator
//   fires where the sample code crosses 127 + c).
//   AC-referenced coupling: D = TrigDacZero(ch) + kTrigDacPerCode x c, where c
//   is the level in codes relative to the signal's mean.
//   The calibration stores the DAC codes at levels 0, +75 and -75, and at level
//   0 with the position moved by +75 codes, so the derived up, down and
//   position factors are all kTrigDacPerCode.
//   External input: D = kExtTrigDacZero + 1.8550224 x c, one code c = 4 mV.
//
// DAC 3 (trigger hysteresis) has no effect on the simulated comparator.
//
// ADC gain words (calibration words 1 and 2, the coarse and fine codes of
// control::AdcGainAdj): kAdcGainCoarse and kAdcGainFine are unity gain.
#pragma once

namespace plat {
namespace simfe {

constexpr int kOffsetDacPerCode = 10;
constexpr int kCaliPointSpan = 100;  // position codes from the centre to a calibration point
constexpr int OffsetDacCentre(int ch) { return 2048 + 24 * ch; }

constexpr int kTrigDacPerCode = 8;
constexpr int TrigDacZero(int ch) { return 2048 + 16 * ch; }
constexpr int kExtTrigDacZero = 2048;
constexpr double kExtTrigDacPerCode = 1.8550224;
constexpr double kExtTrigVoltsPerCode = 0.004;

constexpr int kAdcGainCoarse = 8;
constexpr int kAdcGainFine = 4;

constexpr float kSelfCaliTemperature = 25.0f;  // degrees C

// Position of 0 V for an offset-DAC code (not inverted).
constexpr double ZeroPosition(int ch, int dac) {
  return 127.0 + double(OffsetDacCentre(ch) - dac) / kOffsetDacPerCode;
}
// Screen-code level of a trigger DAC code (relative to the centre, or to the
// signal's mean with AC-referenced coupling).
constexpr double TrigLevelCode(int ch, int dac) { return double(dac - TrigDacZero(ch)) / kTrigDacPerCode; }

}  // namespace simfe
}  // namespace plat
