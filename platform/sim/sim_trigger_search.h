// The simulated FPGA's trigger condition search: where, in the applied
// signals, the trigger type in force first finds its condition.
//
// Searched by condition: pulse width (the pulse of the chosen polarity whose
// width meets When against the limits; the trigger at its trailing edge),
// time-out (the signal stays on the chosen side of the level longer than the
// time; the trigger that time after the edge), n-th edge (the n-th edge of the
// slope after an idle time without one; the trigger at that edge) and delay
// (an edge of the second source the limits' time after an edge of the first;
// the trigger at the second). The first source of the delay type compares
// with the middle of its signal's range (the board decodes one level, the
// trigger source's). The other types trigger on the first edge of their slope.
#pragma once

#include "platform/sim/sim_signals.h"

namespace plat {

struct SimTriggerCondition {
  int type = 0;    // word 84: 0 edge, 1 pulse, 6 delay, 7 time-out, 10 n-th edge ...
  int when = 0;    // word 82: 0 greater, 1 less, 2 inside, 3 outside the limits
  double lowerS = 0, upperS = 0;  // words 102/104, 260/262
  int nthCount = 0;               // word 264
  int source1 = 0, edge1 = 0;     // words 266, 268: the delay's first source
  int source2 = 0, edge2 = 0;     // words 270, 272
};

// Seconds from now to the first trigger point at or after now, given each
// input's phase (cycles) now, the trigger source's input, its level (volts)
// and slope (0 rising or positive, 1 falling or negative, 2 either). False
// when nothing meets the condition.
bool SimFindTrigger(const SimTriggerCondition& c, const TestSignal* signals, const double* phase, int input,
                    double level, int slope, double* dt);

// The input of a trigger source (0 CH1, 1 CH2, 3 external).
int SimTriggerInput(int source);

}  // namespace plat
