// The FPGA's three frequency counters on the simulated board. Each counts the
// whole cycles of its input during a gate (gate code x 0.5 s) together with
// the reference-clock ticks those cycles span (reciprocal counting), and times
// a number of periods (2, 6, 12 or 25 by the period index) for slow signals.
// Results are worked out when the registers are read, from the time since the
// counter was armed (its clear word written 1).
#pragma once
#include <cstdint>

#include "platform/sim/acquisition/sim_signals.h"

namespace plat {

class SimCounters {
 public:
  static constexpr int kCounters = 3;

  // A control word was written; arms the counters whose clear word it is.
  // `words` is the register file of control words (already holding `word`).
  void OnWord(uint16_t word, uint16_t value, const uint16_t* words, int64_t nowUs);

  // True when `reg` is one of the counters' registers; its value in `*value`.
  bool Read(uint16_t reg, int64_t nowUs, const TestSignal* signals, uint16_t* value) const;

  bool Armed(int counter) const { return counter >= 0 && counter < kCounters && state_[counter].armed; }

 private:
  struct State {
    bool armed = false;
    int64_t armUs = 0;
    int gate = 0;
    int periodIndex = 0;
  };
  struct Result {
    bool done, periodReady;
    uint32_t cycles, clocks, period;
  };
  Result Evaluate(int counter, int64_t nowUs, const TestSignal& signal) const;

  State state_[kCounters];
};

}  // namespace plat
