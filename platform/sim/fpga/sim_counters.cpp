#include "platform/sim/fpga/sim_counters.h"

#include <cmath>

namespace plat {
namespace {

struct CounterMap {
  uint16_t gateWord, periodWord, clearWord;
  uint16_t cycles, clocks, period;  // low register; the high half follows 2 above
  uint16_t doneBit, readyBit;
  SignalInput input;
  double clockHz;     // reference clock of the cycle measurement
  double periodTick;  // seconds per count of the period word
};

constexpr CounterMap kMap[SimCounters::kCounters] = {
    {108, 110, 106, 806, 810, 814, 0x2, 0x1, kSignalCh1, 250e6, 4e-9},
    {286, 288, 114, 838, 842, 848, 0x10, 0x8, kSignalCh2, 250e6, 4e-9},
    {108, 110, 106, 852, 856, 860, 0x80, 0x40, kSignalExt, 10e6, 100e-9},
};
constexpr uint16_t kStatusReg = 786;
constexpr double kGateSecondsPerCode = 0.5;
constexpr int kPeriods[4] = {2, 6, 12, 25};

uint32_t Saturate(double v) { return v >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(std::llround(v)); }
}  // namespace

void SimCounters::OnWord(uint16_t word, uint16_t value, const uint16_t* words, int64_t nowUs) {
  if (value != 1) return;
  for (int c = 0; c < kCounters; ++c) {
    if (word != kMap[c].clearWord) continue;
    State& s = state_[c];
    s.armed = true;
    s.armUs = nowUs;
    s.gate = words[kMap[c].gateWord];
    int idx = words[kMap[c].periodWord];
    s.periodIndex = idx < 0 ? 0 : idx > 3 ? 3 : idx;
  }
}

SimCounters::Result SimCounters::Evaluate(int c, int64_t nowUs, const TestSignal& signal) const {
  Result r{false, false, 0, 0, 0};
  const State& s = state_[c];
  if (!s.armed) return r;
  double elapsed = double(nowUs - s.armUs) / 1e6;
  double gate = s.gate * kGateSecondsPerCode;
  double f = signal.HasEdges() ? signal.frequencyHz : 0.0;
  r.done = elapsed >= gate;
  if (r.done && f > 0.0) {
    r.cycles = Saturate(std::floor(f * gate + 1e-9));
    r.clocks = Saturate(r.cycles / f * kMap[c].clockHz);
  }
  if (f > 0.0) {
    double span = kPeriods[s.periodIndex] / f;
    r.periodReady = elapsed >= span;
    if (r.periodReady) r.period = Saturate(span / kMap[c].periodTick);
  }
  return r;
}

bool SimCounters::Read(uint16_t reg, int64_t nowUs, const TestSignal* signals, uint16_t* value) const {
  if (reg == kStatusReg) {
    uint16_t v = 0;
    for (int c = 0; c < kCounters; ++c) {
      Result r = Evaluate(c, nowUs, signals[kMap[c].input]);
      if (r.done) v |= kMap[c].doneBit;
      if (r.periodReady) v |= kMap[c].readyBit;
    }
    *value = v;
    return true;
  }
  for (int c = 0; c < kCounters; ++c) {
    const CounterMap& m = kMap[c];
    const uint16_t bases[3] = {m.cycles, m.clocks, m.period};
    for (int k = 0; k < 3; ++k) {
      if (reg != bases[k] && reg != bases[k] + 2) continue;
      Result r = Evaluate(c, nowUs, signals[m.input]);
      uint32_t full = k == 0 ? r.cycles : k == 1 ? r.clocks : r.period;
      *value = uint16_t(reg == bases[k] ? full : full >> 16);
      return true;
    }
  }
  return false;
}

}  // namespace plat
