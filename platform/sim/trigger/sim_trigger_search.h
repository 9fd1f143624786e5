// The simulated FPGA's trigger condition search: where, in the applied
// signals, the trigger type in force first finds its condition.
//
// Searched by condition: pulse width (the pulse of the polarity, 0 negative
// and 1 positive, whose width meets When against the limits; the trigger at
// its trailing edge),
// time-out (the signal stays on the chosen side of the level longer than the
// time; the trigger that time after the edge), n-th edge (the n-th edge of the
// slope after an idle time without one; the trigger at that edge) and delay
// (an edge of the second source the limits' time after an edge of the first;
// the trigger at the second). The delay's first source compares with its
// own comparator level (the single-level types' byte of word 88).
// Between the two levels of the source (the comparator words): slope (the
// time from one level to the other on an edge of the polarity; the trigger
// at the second level), runt (a pulse that crosses one level and comes back
// without reaching the other, its width against the limits; the trigger where
// it comes back) and window (entering or leaving the band between the levels
// through the slope's side, or staying in it longer than the time).
// Over both channels, each against its own comparator level: duration (the
// channels' codes hold for a time that meets the limits; the trigger where
// they stop holding), pattern (the codes start to hold, or an edge code's
// edge comes while the others hold) and setup/hold (a data edge less than the
// time before the clock edge, the trigger at the clock edge, or after it, the
// trigger at the data edge, with the data at its code at the clock edge).
// Video: a sync separator finds the sync pulses of any composite signal of
// the standard's lines; the start of the line the sync setting names (line
// syncs alone: every line). Edge triggers on the first edge of its slope.
#pragma once

#include "platform/sim/acquisition/sim_signals.h"
#include "platform/sim/bus/sim_bus_decoder.h"

namespace plat {

struct SimTriggerCondition {
  int type = 0;                   // word 84: 0 edge, 1 pulse, 6 delay, 7 time-out, 10 n-th edge ...
  int when = 0;                   // word 82: 0 greater, 1 less, 2 inside, 3 outside the limits
  double lowerS = 0, upperS = 0;  // words 102/104, 260/262
  int nthCount = 0;               // word 264
  int source1 = 0, edge1 = 0;     // words 266, 268: the delay's first source
  int source2 = 0, edge2 = 0;     // words 270, 272
  int position = 0;               // word 82 of the window: 0 enter, 1 exit, 2 time inside
  int codes[2] = {};              // words 274, 276: 0 high, 1 low, 2 either, 3 rising, 4 falling
  int videoStandard = 0, videoSync = 0, videoLine = 0;  // words 78, 80, 76
  // Each channel's two comparator levels (words 88 and 90), volts at its BNC;
  // from the signal's mean when `acLevels`. The single-level types compare
  // with the first.
  double levelV[2][2] = {};
  bool acLevels = false;
  // Serial buses (types 12-16): the point of the traffic (sim_bus.h, BusMark)
  // the trigger fires at, -1 none; the value it must carry where `mask` has
  // 0 bits; the I2C direction (0 write, 1 read, 2 either); an address the
  // frame must have as well (-1 any); a frame kind (CAN: 1 data, 2 remote).
  // The bus's lines and settings from the bus words, sampled at the
  // acquisition's sample period (sim_bus_decoder.h); the trigger fires on
  // what the decoder reads of them, each line against its source's level.
  SimBusLines busLines;
  int busMark = -1;
  uint32_t busValue = 0, busMask = ~0u;
  int busDirection = 2;
  int busAddress = -1;
  uint32_t busAddressMask = 0;  // bits of the address that do not matter
  int busFrameKind = 0;
  // A data condition of `busBytes` bytes (I2C, CAN): the frame's first data
  // bytes compared with `busData` (mask bits 1 do not matter); it fires at
  // the last of them.
  int busBytes = 0;
  uint8_t busData[8] = {}, busDataMask[8] = {};
  // SPI: a frame starts at a word after at least `spiIdle` seconds of idle
  // line; with `spiFrameBits` > 0 the trigger compares the frame's first bits
  // with the pattern (first bit in bit 15 of word 0; mask bits 1 do not
  // matter) and fires at the end of the word holding the last of them,
  // otherwise it fires at every frame's start.
  uint16_t spiData[8] = {}, spiMask[8] = {};
  int spiFrameBits = 0;
  double spiIdle = 0;
};

// Seconds from now to the first trigger point at or after now, given each
// input's phase (cycles) now, the trigger source's input, its level (volts)
// and slope (0 rising or positive, 1 falling or negative, 2 either). False
// when nothing meets the condition.
bool SimFindTrigger(const SimTriggerCondition& c, const TestSignal* signals, const double* phase,
                    int input, double level, int slope, double* dt);

// Serial-bus types: seconds from now (the traffic's input at `phase` cycles)
// to the first point meeting the bus condition; false when none does.
bool SimFindBusTrigger(const SimTriggerCondition& c, const TestSignal* signals, const double* phase,
                       double* dt);

// The input of a trigger source (0 CH1, 1 CH2, 3 external).
int SimTriggerInput(int source);

}  // namespace plat
