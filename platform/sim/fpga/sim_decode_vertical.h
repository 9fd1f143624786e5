// What the simulated board's channel inputs make of the words the instrument
// sent: the front-end range, coupling and bandwidth limit, the offset DAC
// turned into volts at the BNC through the front end's own numbers
// (platform/sim/acquisition/sim_frontend.h), the fine gain, invert, ground and the
// position and soft-offset words. Acquisitions and tests read it.
//
// Front-end bits of the simulated board, per channel (CH1 / CH2):
//   attenuator 0x20 / 0x100: x5 pre-amplifier, 2 mV/div at gain step 1
//   attenuator none: 10 mV/div, 0x04 / 0x1000: /10, 0x02 / 0x400: /100,
//     0x06 / 0x1400: /1000
//   gain 0x80 / 0x8000: step 1, 0x40 / 0x4000: step 2, 0xC0 / 0xC000: step 5,
//     none: step 0.5
//   DC coupling 1 / 512 (clear: AC), bandwidth limit 16 / 8192
#pragma once
#include <cstdint>

namespace plat {

struct SimChannelSettings {
  bool rangeValid = false;   // the front-end bits name a range
  double rangeVdiv = 0;      // volts/div of the front-end range
  double fineGain = 1.0;     // words 214/216 (0x0100 = 1.0); 1.0 before the first
  double vdiv = 0;           // volts/div at the BNC: range / fine gain
  int coupling = 0;          // 0 DC, 1 AC, 2 GND (word 206 wins)
  bool bwLimit = false;
  int offsetDac = -1;        // DAC 0 (CH1) / 1 (CH2) code, -1 never written
  bool inverted = false;     // word 204
  double zeroPosition = 0;   // screen code where 0 V lands (inversion applied)
  double offsetVolts = 0;    // (zero position - 127) x vdiv / 25
  bool ground = false;       // word 206
  int groundLevel = 0;       // word 208: the code a grounded channel reads
  int positionByte = 0;      // word 212
  int softOffset = 0;        // words 218/220, signed
};

struct SimAcqSettings;

// The settings of channel 0 or 1 (default settings for any other number),
// from the simulated FPGA's words, front-end latch and DACs in force (takes
// its lock: not for code that runs under it).
SimChannelSettings SimDecodedChannel(int ch);
// The same from a table of the 1024 control words in force, which of them
// were written, the latched front-end word and the channel's offset-DAC code
// (-1 never latched).
SimChannelSettings SimDecodeChannelWords(int ch, const uint16_t* words, const bool* written, uint32_t frontEnd,
                                         int offsetDac);
// The range, zero code, coupling and invert of channel ch in an acquisition
// made with these settings (nothing before the front end and the offset DAC
// were written).
void SimApplyVertical(int ch, const SimChannelSettings& v, SimAcqSettings* s);

}  // namespace plat
