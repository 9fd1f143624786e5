// The simulated FPGA's acquisitions: run control, pacing, the trigger and the
// sample codes of a finished acquisition.
#include "platform/sim/acquisition/sim_acquire.h"
#include "platform/sim/fpga/sim_decode_vertical.h"

#include <algorithm>
#include <cmath>

#include "platform/clock.h"
#include "platform/sim/fpga/sim_decode_timebase.h"
#include "platform/sim/fpga/sim_decode_trigger.h"
#include "platform/sim/acquisition/sim_frontend_errors.h"

namespace plat {

namespace {
enum Word : uint16_t {
  kResetWord = 0,
  kSweepWord = 72,
  kArmWord = 122,
  kPauseWord = 128,
  kRasterReadWord = 170,
  kForceWord = 222,
  kPreDividerWord = 42,  // written by every sample-rate change
  kTrigSourceWord = 48,
  kTrigTypeWord = 84,
  kSplitWord = 4,
  kFormatWord = 120,
  kPersistWord = 126,
};
constexpr int kTrigLevelDac = 2, kTrigHysteresisDac = 3;
constexpr int kSweepNormal = 1, kSweepSingle = 2;
// Register 770 fields, as the instrument reads them: 1 auto (acquiring
// without a trigger), 2 triggered, 3 armed (a normal sweep waiting for its
// trigger), 4 a single sweep waiting.
constexpr int kStatusAuto = 1, kStatusTriggered = 2, kStatusArmed = 3, kStatusSingleWait = 4;
constexpr int64_t kMinCycleUs = 1000;
// Free-running acquisitions come no faster than the screen shows them: 60
// frames a second. A reader that restarts sampling gets the next one after
// the record time alone.
constexpr int64_t kFrameUs = 1000000 / 60;
constexpr int64_t kNormalRecheckUs = 10000;
constexpr int kEdgeSteps = 2048;  // two periods, 1024 steps each
constexpr int kBisections = 60;
constexpr double kAdcPeriodNs = 1.0;   // the ADC's own rate, 1 GSa/s
constexpr int kPeakDetect = 1, kHighRes = 2;
constexpr int kMeanPoints = 16;        // ADC values a high-resolution sample is worked out from

int InputOf(int trigSource) { return trigSource == 1 ? kSignalCh2 : trigSource == 3 ? kSignalExt : kSignalCh1; }

bool AcReferenced(int coupling) { return (coupling & ~2) == 1; }

double Frac(long double x) { return double(x - std::floor(x)); }

// Fraction of a sample period from a trigger crossing to the next sample
// clock tick: spread evenly over [0, 1) from one acquisition to the next.
double SampleClockLag(uint64_t serial) {
  constexpr uint64_t kGolden = 0x9E3779B97F4A7C15ull;
  return double((serial * kGolden) >> 11) / 9007199254740992.0;
}

// Seconds from `phase` (cycles) to the first crossing of `level` with the
// slope (0 rising, 1 falling, 2 either) within two periods; false when none.
bool FindEdge(const TestSignal& s, double phase, double level, int slope, double* dt) {
  if (!s.HasEdges() || s.shape == SignalShape::kNoise) return false;
  const double f = s.frequencyHz, h = 1.0 / (f * (kEdgeSteps / 2));
  if (s.shape == SignalShape::kSquare || s.shape == SignalShape::kPulse) {
    // Edges however narrow the pulse: rising at each period start, falling
    // at the duty (a square's half period).
    const double lowV = s.offsetV - s.amplitudeV, highV = s.offsetV + s.amplitudeV;
    const double fall = s.shape == SignalShape::kSquare ? 0.5 : (s.duty > 0 && s.duty < 1 ? s.duty : 0.5);
    const double p = phase - std::floor(phase);
    const double toRise = p == 0.0 ? 0.0 : 1.0 - p, toFall = fall >= p ? fall - p : fall + 1.0 - p;
    const bool up = level > lowV && level <= highV, down = level >= lowV && level < highV;
    double best = -1;
    if (slope != 1 && up) best = toRise;
    if (slope != 0 && down && (best < 0 || toFall < best)) best = toFall;
    if (best < 0) return false;
    *dt = best / f;
    return true;
  }
  auto v = [&](double t) { return SignalVolts(s, phase + f * t, 0) - level; };
  auto crossed = [&](double before, double after) {
    bool up = before < 0 && after >= 0, down = before > 0 && after <= 0;
    return slope == 0 ? up : slope == 1 ? down : up || down;
  };
  double prev = v(0);
  for (int k = 1; k <= kEdgeSteps; ++k) {
    double cur = v(k * h);
    if (crossed(prev, cur)) {
      double lo = (k - 1) * h, hi = k * h;
      const double vlo = prev;
      for (int i = 0; i < kBisections; ++i) {
        double mid = 0.5 * (lo + hi);
        if (crossed(vlo, v(mid))) hi = mid;
        else lo = mid;
      }
      *dt = hi;
      return true;
    }
    prev = cur;
  }
  return false;
}

// The board triggers on and on, each trigger closing the trigger for the
// hold-off. The chain of triggers is followed from 16 hold-offs before now
// (each step a hold-off or more, so at most 17 searches), by when a hold-off
// longer than a burst has settled on the burst's first event. The trigger
// open at now takes the first event from now; closed by the chain's last
// trigger, the first event once it opens.
constexpr int kHoldOffChain = 16;
template <class Search>
bool HeldOff(const Search& search, double hold, double* dt) {
  double first = 0;
  const bool found = search(0.0, &first);
  *dt = first;
  if (!(hold > 0) || !found) return found;
  double at = -kHoldOffChain * hold, after = 0;
  for (int i = 0; i <= kHoldOffChain && search(at, &after); ++i) {
    at += after;                  // a trigger
    if (at >= 0) break;           // none before now: open at now
    at += hold;                   // open again
    if (at <= 0) continue;
    if (at > first && search(at, &after)) *dt = at + after;
    break;
  }
  return true;
}
}  // namespace

// --- one acquisition ---

double SimAcquisition::SamplesPerColumn(int ch) const {
  const bool own = set.independent && ch == 1;
  const double period = own ? set.samplePeriodNs2 : set.samplePeriodNs;
  const double column = own ? set.columnNs2 : set.columnNs;
  return period > 0 && column > 0 ? column / period : 1.0;
}

double SimAcquisition::TriggerAddress(int ch) const {
  return double(set.independent && ch == 1 ? set.triggerAddress2 : set.triggerAddress);
}

int64_t SimAcquisition::ReadBase(int ch) const {
  const bool second = set.independent && ch == 1;
  const int64_t depth = second ? set.depth2 : set.depth;
  const int64_t trigger = int64_t(TriggerAddress(second ? 1 : 0));
  const int64_t recordStart = kRecordCentre - depth / 2;
  // With a trigger delay the record begins after the trigger: offsets count from its start.
  return trigger < recordStart ? recordStart : trigger;
}

namespace {
// High resolution: a sample is the mean of the `period` ADC values taken over
// its time, each with noise of its own, so the noise falls as the square root
// of that count. To bound the work, k = min(count, kMeanPoints) of them are
// worked out, spread evenly over the sample's time; when k is below the count,
// each stands for count / k ADC values and carries the noise of their mean
// (its own noise shrunk by sqrt(k / count)), so the sample's noise still falls
// as the square root of the whole count.
struct AdcMean {
  int k;          // ADC values worked out
  double shrink;  // each one's noise scaled by this
  bool noiseShape;
  AdcMean(const TestSignal& s, double period) {
    const double count = std::floor(period / kAdcPeriodNs);
    k = int(std::min(count, double(kMeanPoints)));
    shrink = std::sqrt(double(k) / count);
    noiseShape = s.shape == SignalShape::kNoise;
  }
  // ADC value i of the sample at `whole`: its record address and noise key.
  double Address(int64_t whole, int i) const { return double(whole) + double(i) / k; }
  static uint64_t Key(uint64_t key, int i) { return key ^ uint64_t(i + 1) * 0xD1B54A32D192ED03ull; }
  // Its share of the mean from the signal `v` at its address.
  double Value(const TestSignal& s, double v, uint64_t own) const {
    if (noiseShape) v = s.offsetV + (v - s.offsetV) * shrink;
    return v + SignalNoise(s, own) * shrink;
  }
};

template <class Cycles>
double MeanOfAdc(const TestSignal& s, const Cycles& cycles, int64_t whole, uint64_t key, double period) {
  const AdcMean m(s, period);
  double sum = 0;
  for (int i = 0; i < m.k; ++i) {
    const uint64_t own = AdcMean::Key(key, i);  // every ADC value its own noise
    sum += m.Value(s, SignalVolts(s, cycles(m.Address(whole, i)), own), own);
  }
  return sum / m.k;
}
}  // namespace

double SimAcquisition::Volts(int input, double address) const {
  const TestSignal& s = sig[input];
  // In multi-scope each channel has its record, time base and trigger.
  const bool own = set.independent && input < 2;
  const double period = own && input == 1 ? set.samplePeriodNs2 : set.samplePeriodNs;
  const double start = own ? ownPhase[input] : phase[input];
  const double trigger = TriggerAddress(input);
  auto cycles = [&](double at) { return start + s.frequencyHz * (at - trigger) * period * 1e-9; };
  const int64_t whole = int64_t(std::floor(address));
  const uint64_t key = serial * 0x9E3779B97F4A7C15ull ^ uint64_t(input) << 58 ^ uint64_t(whole);
  const double noise = SignalNoise(s, key);
  if (period > kAdcPeriodNs && set.acqMode == kPeakDetect) {
    const double first = double(whole - (whole & 1));  // the pair's first sample
    double lo, hi;
    SignalExtremes(s, cycles(first), cycles(first + 2 - kAdcPeriodNs / period), &lo, &hi);
    return whole & 1 ? lo - std::fabs(noise) : hi + std::fabs(noise);
  }
  if (period > kAdcPeriodNs && set.acqMode == kHighRes) return MeanOfAdc(s, cycles, whole, key, period);
  return SignalVolts(s, cycles(address), key) + noise;
}

uint8_t SimAcquisition::Code(int ch, double address) const {
  const SimChannelSetting& c = set.ch[ch & 1];
  double code = c.zeroCode;
  if (c.coupling != 2) {
    double v = Volts(ch & 1, address);
    if (c.coupling == 1) v -= SignalMean(sig[ch & 1]);
    code += v * 25.0 / (c.voltsPerDiv > 0 ? c.voltsPerDiv : 1.0);
  }
  return uint8_t(std::isfinite(code) ? std::lround(std::min(std::max(code, 0.0), 255.0)) : 127);
}

namespace {
constexpr size_t kBlock = 512;  // samples worked out together
static_assert(size_t(kMeanPoints) <= kBlock, "a block holds a high-resolution sample's ADC values");
}  // namespace

void SimAcquisition::Codes(int ch, const double* addresses, size_t n, uint8_t* out) const {
  const int input = ch & 1;
  const SimChannelSetting& c = set.ch[input];
  const bool own = set.independent;
  const double period = own && input == 1 ? set.samplePeriodNs2 : set.samplePeriodNs;
  const bool adcMean = period > kAdcPeriodNs && set.acqMode == kHighRes;
  if (c.coupling == 2 || (period > kAdcPeriodNs && set.acqMode == kPeakDetect)) {
    for (size_t i = 0; i < n; ++i) out[i] = Code(ch, addresses[i]);  // a flat line, or a pair's extremes
    return;
  }
  // Code() and Volts() for a block: the same expressions, what does not
  // change from sample to sample worked out once.
  const TestSignal& s = sig[input];
  const double start = own ? ownPhase[input] : phase[input];
  const double trigger = TriggerAddress(input);
  const double f = s.frequencyHz;
  const bool keyed = s.noiseV > 0.0 || s.shape == SignalShape::kNoise;
  const uint64_t keyBase = serial * 0x9E3779B97F4A7C15ull ^ uint64_t(input) << 58;
  const double mean = c.coupling == 1 ? SignalMean(s) : 0.0;
  const double vpd = c.voltsPerDiv > 0 ? c.voltsPerDiv : 1.0;
  auto put = [&](const double* volts, size_t m, uint8_t* o) {
    for (size_t i = 0; i < m; ++i) {
      double v = volts[i];
      if (c.coupling == 1) v -= mean;
      const double code = c.zeroCode + v * 25.0 / vpd;
      o[i] = std::isfinite(code) ? SimRoundCode(std::min(std::max(code, 0.0), 255.0)) : 127;
    }
  };
  double cycles[kBlock], volts[kBlock];
  uint64_t keys[kBlock];
  if (adcMean) {  // MeanOfAdc for a block of samples: their ADC values worked out together
    const AdcMean m(s, period);
    const size_t k = size_t(m.k), per = kBlock / k;
    double means[kBlock];
    for (size_t done = 0; done < n; done += per) {
      const size_t samples = std::min(per, n - done);
      for (size_t i = 0; i < samples; ++i) {
        const int64_t whole = int64_t(SimFloor(addresses[done + i]));
        for (size_t j = 0; j < k; ++j) {
          cycles[i * k + j] = start + f * (m.Address(whole, int(j)) - trigger) * period * 1e-9;
          keys[i * k + j] = AdcMean::Key(keyBase ^ uint64_t(whole), int(j));
        }
      }
      SignalVoltsBlock(s, cycles, keys, samples * k, volts);
      for (size_t i = 0; i < samples; ++i) {
        double sum = 0;
        for (size_t j = 0; j < k; ++j) sum += m.Value(s, volts[i * k + j], keys[i * k + j]);
        means[i] = sum / double(m.k);
      }
      put(means, samples, out + done);
    }
    return;
  }
  if (SignalCodesBlock(s, SignalCodeScale{start, f, trigger, period, mean, c.zeroCode, vpd}, addresses, n, out))
    return;  // the common shapes in one loop
  for (size_t done = 0; done < n; done += kBlock) {
    const size_t m = std::min(kBlock, n - done);
    const double* at = addresses + done;
    for (size_t i = 0; i < m; ++i) cycles[i] = start + f * (at[i] - trigger) * period * 1e-9;
    if (keyed)
      for (size_t i = 0; i < m; ++i) keys[i] = keyBase ^ uint64_t(int64_t(SimFloor(at[i])));
    SignalVoltsBlock(s, cycles, keyed ? keys : nullptr, m, volts);
    if (s.noiseV > 0.0)
      for (size_t i = 0; i < m; ++i) volts[i] += SignalNoise(s, keys[i]);
    put(volts, m, out + done);
  }
}

void SimAcquisition::ScreenCodes(int ch, const double* addresses, size_t n, uint8_t* out) const {
  Codes(ch, addresses, n, out);
  if (set.ch[ch & 1].invert)
    for (size_t i = 0; i < n; ++i) out[i] = uint8_t(255 - out[i]);
}

uint8_t SimAcquisition::ScreenCode(int ch, double address) const {
  const uint8_t q = Code(ch, address);
  return set.ch[ch & 1].invert ? uint8_t(255 - q) : q;
}

// --- run control ---

SimAcquire::SimAcquire() : epochUs_(MonoUs()) {
  for (TestSignal& s : last_.sig) {  // before the first acquisition: an empty, flat record
    s.shape = SignalShape::kDc;
    s.offsetV = 0.0;
  }
}

void SimAcquire::SetPacing(Pacing p, double scale) {
  pacing_ = p;
  scale_ = scale > 0 ? scale : 1.0;
  dueUs_ = MonoUs();
}

void SimAcquire::SetSettings(const SimAcqSettings& s) {
  settings_ = s;
  haveSettings_ = true;
}

void SimAcquire::ClearSettings() { haveSettings_ = false; }

// Without words, the start-up settings: 500 mV/div at 0 V, 500 us/div at
// 1 GSa/s with a 7,000,000-sample record, rising edge at 0 V on CH1.
SimAcqSettings SimAcquire::CurrentSettings(const Words& w) const {
  if (haveSettings_) return settings_;
  SimAcqSettings s;
  if (w.written[kPreDividerWord]) SimApplyTimebase(SimDecodeTimebaseWords(w.value), &s);
  // The channels first: a trigger level is turned into volts through them.
  for (int ch = 0; ch < 2; ++ch)
    SimApplyVertical(ch, SimDecodeChannelWords(ch, w.value, w.written, w.frontEnd, w.dac[ch]), &s);
  if (w.written[kTrigSourceWord] || w.written[kTrigTypeWord] || w.dac[kTrigLevelDac] >= 0)
    SimApplyTrigger(SimDecodeTriggerWords(w.value, w.written, w.dac[kTrigLevelDac], w.dac[kTrigHysteresisDac]), &s);
  // The ADCs' gain scales the samples about the zero code: as a range that
  // many times smaller (after the trigger, whose comparator lies before them).
  if (w.adcGain)
    for (int ch = 0; ch < 2; ++ch) s.ch[ch].voltsPerDiv /= FrontEndAdcGain(ch, w.adcGain[ch]);
  s.xy = w.value[kFormatWord] == 1;
  if (w.value2) {
    SimAcqSettings two;
    if (w.written[kPreDividerWord]) SimApplyTimebase(SimDecodeTimebaseWords(w.value2), &two);
    s.independent = true;
    s.split = w.value[kSplitWord] == 1;
    s.samplePeriodNs2 = two.samplePeriodNs;
    s.columnNs2 = two.columnNs;
    s.depth2 = two.depth;
    s.triggerAddress2 = two.triggerAddress;
  }
  return s;
}

bool SimAcquire::Running(const Words& w) const {
  return w.value[kResetWord] == 0 && w.value[kPauseWord] == 0 && !singleDone_;
}

int64_t SimAcquire::CycleUs(const SimAcqSettings& s, const TestSignal* signals) const {
  double us = double(s.depth) * s.samplePeriodNs * 1e-3;
  const TestSignal& t = signals[InputOf(s.trigSource)];
  if (t.HasEdges() && t.shape != SignalShape::kNoise) us += 0.5e6 / t.frequencyHz;
  else us += double(kAutoTimeoutUs);
  us = std::min(std::max(us, double(kMinCycleUs)), 1e12);
  return int64_t(us * scale_);
}

bool SimAcquire::Make(const Words& w, int64_t nowUs, TestSignal* signals, bool force) {
  if (!Running(w)) return false;
  file_.Refresh(signals);
  const SimAcqSettings s = CurrentSettings(w);
  dueUs_ = nowUs + std::max(CycleUs(s, signals), int64_t(double(kFrameUs) * scale_));
  if (s.roll) return false;

  const int sweep = w.value[kSweepWord];
  const long double now = Seconds(nowUs);
  const int src = InputOf(s.trigSource);
  const TestSignal& t = signals[src];
  const double level = s.trigLevelV + (AcReferenced(s.trigCoupling) ? SignalMean(t) : 0.0);
  // The first trigger event `from` seconds after now or later, `after` it.
  auto search = [&](double from, double* after) {
    const long double at = now + from;
    if (s.trigCondition.type == 0 && t.shape != SignalShape::kTrain)
      return FindEdge(t, Frac(at * t.frequencyHz), level, s.trigSlope, after);
    double phases[kSignalInputs];  // the type's condition, searched over the signals
    for (int i = 0; i < kSignalInputs; ++i) phases[i] = Frac(at * signals[i].frequencyHz);
    return SimFindTrigger(s.trigCondition, signals, phases, src, level, s.trigSlope, after);
  };
  double dt = 0;
  const bool found = !force && HeldOff(search, s.holdOffS, &dt);
  if (!found && !force && (sweep & kSweepNormal)) {
    if (pacing_ == Pacing::kRealTime) dueUs_ = nowUs + int64_t(kNormalRecheckUs * scale_);
    if (!(sweep & kSweepSingle)) status_ = kStatusArmed;
    return false;  // normal sweep waits for its trigger
  }

  SimAcquisition a;
  a.serial = last_.serial + 1;
  // The trigger sample is the first one after the crossing: the crossing lies
  // a fraction of a sample period before it, different every acquisition.
  a.lag = SampleClockLag(a.serial);
  const double tick = a.lag * s.samplePeriodNs * 1e-9;
  a.set = s;
  a.triggered = found;
  for (int i = 0; i < kSignalInputs; ++i) {
    a.sig[i] = signals[i];
    // The same sum FindEdge tested, so the trigger sample lies past the edge,
    // by where the sample clock happens to tick after it.
    a.phase[i] = Frac(Frac(now * signals[i].frequencyHz) + signals[i].frequencyHz * (dt + tick));
  }
  if (s.independent) {
    // Each channel's own edge at its own comparator level: its byte of word
    // 88, from the mean when AC-referenced.
    for (int ch = 0; ch < 2; ++ch) {
      const TestSignal& c = signals[ch];
      const double start = Frac(now * c.frequencyHz);
      const SimTriggerCondition& k = s.trigCondition;
      const double own = k.levelV[ch][0] + (k.acLevels ? SignalMean(c) : 0.0);
      double t = 0;
      a.ownPhase[ch] = FindEdge(c, start, own, s.trigSlope, &t) ? Frac(start + c.frequencyHz * t) : start;
    }
  }
  last_ = a;
  TakeViewWords(w, true);
  unread_ = true;
  madeUs_ = nowUs;
  drawUntilUs_ = nowUs + kDrawUs;
  force_ = false;
  if (sweep & kSweepSingle) {
    singleDone_ = true;
    status_ = kStatusTriggered;
  } else {
    status_ = found ? kStatusTriggered : kStatusAuto;
  }
  return true;
}

bool SimAcquire::OnWord(uint16_t word, uint16_t old, const Words& w, int64_t nowUs, TestSignal* signals) {
  const uint16_t v = w.value[word];
  const bool unpaced = pacing_ == Pacing::kUnpaced;
  if (rolling_) UpdateRoll(w, nowUs, signals);  // a changed setting applies from the next roll sample
  switch (word) {
    case kPersistWord: persist_.Clear(); return false;
    case kResetWord:
      if (v == 1) unread_ = false;
      if (old != 1 || v != 0) return false;
      singleDone_ = false;  // sampling restarts
      persist_.Clear();
      status_ = (w.value[kSweepWord] & kSweepSingle) ? kStatusSingleWait
                : (w.value[kSweepWord] & kSweepNormal) ? kStatusArmed
                                                        : kStatusAuto;
      dueUs_ = nowUs + CycleUs(CurrentSettings(w), signals);
      return unpaced && Make(w, nowUs, signals, force_);
    case kPauseWord:
      if (old == 0 && v == 1 && rolling_) KeepRoll(w, nowUs);
      return old == 1 && v == 0 && unpaced && !unread_ && Make(w, nowUs, signals, force_);
    case kRasterReadWord:
      if (v == 1) unread_ = false;
      if (old != 1 || v != 0) return false;
      if (unpaced) return Make(w, nowUs, signals, force_);
      return pacing_ == Pacing::kRealTime && nowUs >= dueUs_ && Make(w, nowUs, signals, force_);
    case kForceWord:
      if (old != 0 || v != 1) return false;
      force_ = true;
      if (pacing_ == Pacing::kRealTime) dueUs_ = nowUs;
      return unpaced && Make(w, nowUs, signals, true);
    case kArmWord:
      if (old == 1 && v == 0) {
        ArmRead(w);
        TakeViewWords(w, false);  // a kept record re-read for the window the words give
      }
      return false;
    case kSweepWord:
      if (!(v & kSweepSingle)) singleDone_ = false;
      return false;
    default:
      return false;
  }
}

bool SimAcquire::WakesClock(uint16_t word, uint16_t old, uint16_t value) {
  if (old == value) return false;
  switch (word) {
    case kResetWord:
    case kPauseWord:
      return value == 0;
    case kForceWord:
      return value == 1;
    case kSweepWord:
      return true;
    default:
      return false;
  }
}

bool SimAcquire::Tick(const Words& w, int64_t nowUs, TestSignal* signals) {
  if (pacing_ != Pacing::kRealTime || unread_ || nowUs < dueUs_) return false;
  return Make(w, nowUs, signals, force_);
}

void SimAcquire::Replay(const SimAcquisition& a, int64_t nowUs) {
  const uint64_t serial = last_.serial + 1;
  last_ = a;
  last_.serial = serial;  // a new acquisition to the readers: its raster is built again
  madeWords_ = viewWords_;  // shown in its own window
  unread_ = true;
  madeUs_ = nowUs;
  drawUntilUs_ = nowUs + kDrawUs;
}

bool SimAcquire::AcquireNow(const Words& w, int64_t nowUs, TestSignal* signals) {
  return Make(w, nowUs, signals, force_);
}

}  // namespace plat
