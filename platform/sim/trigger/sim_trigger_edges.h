// The crossings of a level by a test signal, for the trigger condition
// search (sim_trigger_search.cpp, sim_trigger_levels.cpp).
#pragma once

#include <vector>

#include "platform/sim/acquisition/sim_signals.h"
#include "platform/sim/trigger/sim_trigger_search.h"

namespace plat {

struct SimEdge {
  double t;  // seconds from now
  bool rising;
};

// The crossings of `level` by input `s` (at `phase` cycles now) between t0
// and t1 seconds from now, in time order.
std::vector<SimEdge> SimEdges(const TestSignal& s, double phase, double level, double t0, double t1);

// Whether a time d meets When against the limits.
bool SimQualifies(double d, const SimTriggerCondition& c);

// The conditions of two levels or several inputs: slope, runt, window,
// duration, pattern, setup/hold and video (SimLevelsType). False when
// nothing meets them in [t0, t1]; else *dt, the first trigger point at or
// after now.
bool SimLevelsType(int type);
bool SimBothChannelsType(int type);  // of these, the ones over both channels
bool SimFindLevelsTrigger(const SimTriggerCondition& c, const TestSignal* signals, const double* phase,
                          int input, int slope, double t0, double t1, double* dt);

}  // namespace plat
