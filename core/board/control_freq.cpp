// Board control: the FPGA's frequency counters. Each counts the whole cycles
// of its input during a gate with the reference-clock ticks they span
// (frequency = cycles x clock / ticks); below 800 cycles it times 2, 6, 12 or
// 25 periods instead (the period index), stepping up the count as results come.
#include <cstdio>

#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "core/common/unit_convert.h"
#include "platform/clock.h"

namespace {
struct Counter {
  int gateWord, periodWord, clearWord;
  int cycles, clocks, period;  // low registers; the high halves are 2 above
  int doneBit, readyBit;
  uint64_t clockHz;   // reference clock of the cycle count
  double periodTick;  // seconds per count of the period word
};

constexpr Counter kCounter[control::kCounters] = {
    {fpga::kCounterGate, fpga::kCounterPeriod, fpga::kCounterClear, fpga::kCounter0, fpga::kCounter0 + 4,
     fpga::kCounter0 + 8, 0x2, 0x1, 250000000, 4e-9},
    {fpga::kCounter1Gate, fpga::kCounter1Period, fpga::kCounter1Clear, fpga::kCounter1, fpga::kCounter1 + 4,
     fpga::kCounter1 + 10, 0x10, 0x8, 250000000, 4e-9},
    {fpga::kCounterGate, fpga::kCounterPeriod, fpga::kCounterClear, fpga::kCounter2, fpga::kCounter2 + 4,
     fpga::kCounter2 + 8, 0x80, 0x40, 10000000, 100e-9},
};
constexpr int kGate = 2;
constexpr uint32_t kLowCycles = 800;
constexpr int kPeriods[4] = {2, 6, 12, 25};
constexpr int kWaitRounds = 4;
constexpr int kNoSignal = 255;
constexpr int kNoResult = 0xFFFF;
constexpr int64_t kRefreshUs = 1000000;
constexpr int64_t kFastWaitUs = 1200000;
constexpr int kFastPollMs = 10;
}  // namespace

int control::FreqInitMeter(int counter, int gate, int periodIndex) {
  if (counter < 0 || counter >= kCounters) counter = 0;
  if (periodIndex < 0 || periodIndex > 3) periodIndex = 0;
  const Counter& c = kCounter[counter];
  int rc = SendRealControl(c.gateWord, gate) | SendRealControl(c.periodWord, periodIndex);
  rc |= SendRealControl(c.clearWord, 1) | SendRealControl(c.clearWord, 0) | SendRealControl(c.clearWord, 1);
  // Counters 0 and 2 share their words: arming one arms both.
  for (int k = 0; k < kCounters; ++k)
    if (kCounter[k].clearWord == c.clearWord) periodIndex_[k] = periodIndex;
  freqStartUs_ = plat::MonoUs();
  return rc;
}

void control::FreqTimingRefresh() { freqRefreshUs_ = plat::MonoUs(); }

// Reads a finished count (done bit set) of a counter into *value in Hz.
control::CountKind control::CounterResult(int counter, int status, double* value) {
  const Counter& c = kCounter[counter];
  const uint32_t cycles = ReadPair(c.cycles);
  if (cycles == 0) {
    *value = 0;
    return CountKind::kNone;
  }
  if (cycles >= kLowCycles) {
    const uint32_t clocks = ReadPair(c.clocks);
    *value = clocks ? double(uint64_t(cycles) * c.clockHz) / double(clocks) : double(cycles);
    return CountKind::kCycles;
  }
  if (!(status & c.readyBit)) {
    *value = cycles;
    return CountKind::kWaiting;
  }
  const uint32_t period = ReadPair(c.period);
  const double seconds = double(period) * c.periodTick / kPeriods[periodIndex_[counter]];
  *value = period ? 1.0 / seconds : 0.0;
  return CountKind::kPeriod;
}

void control::MeasureCounter(int counter, bool present, double* value, int* state) {
  if (!present) {
    *value = 0;
    *state = kNoSignal;
    waitRounds_[counter] = 0;
    FreqInitMeter(counter, kGate, 0);
    return;
  }
  const int status = ReadAnyReg(fpga::kCounterStatus);
  if (status < 0 || !(status & kCounter[counter].doneBit)) {
    *state = kNoResult;
    return;
  }
  int index = periodIndex_[counter];
  const CountKind kind = CounterResult(counter, status, value);
  if (kind == CountKind::kWaiting) {
    // Slow signal: the cycle count stands in while the periods are timed.
    if (++waitRounds_[counter] <= kWaitRounds) {
      *state = 0;
      return;
    }
    *value = 0;
    *state = kNoSignal;
    index = 0;
  } else {
    *state = 0;
    if (kind == CountKind::kPeriod && index < 3) ++index;  // more periods next time
  }
  waitRounds_[counter] = 0;
  FreqInitMeter(counter, kGate, index);
}

int control::FreqMeter(bool independent, int source, double* values, int* states) {
  if (!values || !states) return -1;
  const int64_t now = plat::MonoUs();
  if (now - freqRefreshUs_ < kRefreshUs) return -1;
  freqRefreshUs_ = now;
  const int presence = ReadAnyReg(fpga::kComparator);
  SendRealControl(fpga::kComparatorArm, 0);
  SendRealControl(fpga::kComparatorArm, 3);
  SendRealControl(fpga::kComparatorArm, 0);
  for (int ch = 0; ch < 2; ++ch) {
    if (!independent && ch != source) continue;
    const bool present = presence >= 0 && (presence >> (independent ? ch : 0) & 1);
    MeasureCounter(ch, present, &values[ch], &states[ch]);
  }
  return 0;
}

int control::FastFreqMeter(bool independent, int source, double* values) {
  if (!values) return -1;
  int rc = 0;
  for (int ch = 0; ch < 2; ++ch) {
    if (!independent && ch != source) continue;
    values[ch] = 0;
    FreqInitMeter(ch, kGate, 0);
    const int64_t start = plat::MonoUs();
    bool got = false;
    while (!got && plat::MonoUs() - start < kFastWaitUs) {
      SettingsWaitMs(kFastPollMs);  // the counters gate meanwhile
      const int status = ReadAnyReg(fpga::kCounterStatus);
      if (status < 0 || !(status & kCounter[ch].doneBit)) continue;
      got = CounterResult(ch, status, &values[ch]) != CountKind::kWaiting;
    }
    if (!got) rc = -1;
  }
  return rc;
}

void FreqMeter() {
  double values[2] = {};
  int states[2] = {kNoResult, kNoResult};
  if (QelControl.FreqMeter(SysRunStatus.IsIndependTimeBase(), SysRunStatus.GetTrigSource(), values, states) < 0)
    return;
  for (int ch = 0; ch < 2; ++ch) {
    if (states[ch] != 0 && states[ch] != kNoSignal) continue;
    FloatElement e{};
    UnitConvert.FreqUnitConvert(values[ch], &e);
    SysRunStatus.SetCymometerResult(ch, values[ch], e);
  }
}
