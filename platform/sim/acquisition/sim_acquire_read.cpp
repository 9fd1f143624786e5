// Reads of the simulated FPGA's acquisitions: the read-out FIFO, the display
// raster, the maximum and minimum registers and the roll FIFOs.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/sim/acquisition/sim_acquire.h"
#include "platform/sim/fpga/sim_decode_timebase.h"
#include "platform/sim/fpga/sim_decode_words.h"

namespace plat {

namespace {
enum Reg : uint16_t {
  kStatusReg = 770,
  kFifoReadyReg = 782,
  kRollWaitingReg = 784,
  kMaxReg = 788,
  kMinReg = 792,
  kFifoLevelReg = 800,
  kRollIndexLowReg = 826,
  kRollIndexHighReg = 828,
};
enum Selector : uint32_t { kRaster = 0, kWave = 64, kRollCh1 = 128, kRollCh2 = 192, kRasterDebug = 2048 };
constexpr uint16_t kReadChannelWord = 176, kOffsetWord = 148, kStepWord = 160;
constexpr uint16_t kChannelsWord = 38, kActiveWord = 116, kPersistWord = 126;
constexpr int kRollSamplesPerColumn = 10;
constexpr size_t kCodeBlock = 1024;  // samples of a read worked out together
constexpr int kAverageMode = 3;
constexpr int kSpanPoints = 16;  // record samples an average-mode point is worked out from

uint32_t Pair(const uint16_t* v, uint16_t low) { return uint32_t(v[low]) | uint32_t(v[low + 2]) << 16; }
}  // namespace

void SimAcquire::ArmRead(const Words& w) {
  readCh_ = w.value[kReadChannelWord];
  const int32_t offset = int32_t(Pair(w.value, kOffsetWord));
  const uint32_t step = Pair(w.value, kStepWord);
  readStep_ = std::max(1.0, double(step >> 4) + double(step & 15) / 10.0);
  const SimTimebaseSettings t = SimDecodeTimebaseWords(w.value);
  readSpan_ = t.acqMode == kAverageMode
                  ? std::max(1.0, double(t.averageStep >> 4) + double(t.averageStep & 15) / 10.0)
                  : 1.0;
  readAddress_ = double(last_.ReadBase(readCh_ == 2 ? 1 : 0)) + double(offset);
  readLeft_ = (readCh_ == 1 || readCh_ == 2) ? int64_t(double(kMemorySamples) / readStep_) : 0;
}

void SimAcquire::Render(const Words& w) {
  const int mask = w.written[kChannelsWord] ? (w.value[kChannelsWord] >> 2) & 3 : 1;
  const int active = w.value[kActiveWord] == 1 ? 1 : 0;
  if (renderedSerial_ == last_.serial && renderedMask_ == mask && renderedActive_ == active &&
      renderedView_ == viewSerial_)
    return;
  raster_.resize(kRasterBytes);  // cleared as it is built
  const SimRasterView view = madeWords_.empty()
                                 ? SimRasterView{}
                                 : SimRasterViewOf(last_, viewWords_.data(), madeWords_.data());
  SimBuildRaster(last_, mask, active, raster_.data(), max_, min_, view);
  for (int ch = 0; ch < 2; ++ch)
    if ((mask >> ch) & 1) extremesSerial_[ch] = last_.serial;
  renderedSerial_ = last_.serial;
  renderedMask_ = mask;
  renderedActive_ = active;
  renderedView_ = viewSerial_;
}

// The words a view is decoded from: those the acquisition was made with, or
// those of a read pulse since (only a change makes a new view).
void SimAcquire::TakeViewWords(const Words& w, bool made) {
  if (made) madeWords_.assign(w.value, w.value + kSimControlWords);
  if (!made && !viewWords_.empty() && SimRasterViewWordsSame(viewWords_.data(), w.value)) return;
  viewWords_.assign(w.value, w.value + kSimControlWords);
  ++viewSerial_;
}

// A channel the raster does not draw is worked out only when its maximum or
// minimum is read.
void SimAcquire::Extremes(const Words& w) {
  Render(w);
  for (int ch = 0; ch < 2; ++ch) {
    if (extremesSerial_[ch] == last_.serial) continue;
    SimChannelExtremes(last_, ch, max_, min_);
    extremesSerial_[ch] = last_.serial;
  }
}

bool SimAcquire::Reg(uint16_t reg, const Words& w, int64_t nowUs, TestSignal* signals, uint16_t* value) {
  switch (reg) {
    case kStatusReg:
      *value = uint16_t((status_ & 15) | (status_ & 15) << 4);
      return true;
    case kFifoReadyReg:
      *value = readLeft_ > 0 ? 1 : 0;
      return true;
    case kFifoLevelReg:
      *value = uint16_t(std::min<int64_t>(readLeft_, int64_t(kFifoBytes)));
      return true;
    case kRollWaitingReg:
      UpdateRoll(w, nowUs, signals);
      *value = uint16_t(std::min<size_t>(RollPending(0), 0xFFFF));
      return true;
    case kRollIndexLowReg:
    case kRollIndexHighReg: {
      // The FPGA's roll write index counts 16-bit words, two samples each.
      UpdateRoll(w, nowUs, signals);
      const uint32_t index = rolling_ ? uint32_t(rollProduced_ / 2) : 0;
      *value = uint16_t(reg == kRollIndexLowReg ? index : index >> 16);
      return true;
    }
    case kMaxReg:
    case kMinReg: {
      Extremes(w);
      const uint8_t* v = reg == kMaxReg ? max_ : min_;
      *value = uint16_t(v[0] | v[1] << 8);
      return true;
    }
    default:
      return false;
  }
}

size_t SimAcquire::ReadBlock(uint32_t selector, uint8_t* dest, size_t length, const Words& w, int64_t nowUs,
                             TestSignal* signals) {
  switch (selector) {
    case kRaster:
    case kRasterDebug: {
      Render(w);
      const size_t n = std::min(length, raster_.size());
      const int64_t keep = SimRasterPersist::KeepUs(w.value[kPersistWord]);
      if (keep == 0) {
        std::memcpy(dest, raster_.data(), n);
        return n;
      }
      // Kept cells over the whole raster, of which the read takes its part.
      std::vector<uint8_t> part(n < raster_.size() ? raster_.size() : 0);
      persist_.Show(raster_.data(), raster_.size(), last_.serial, madeUs_, keep,
                    part.empty() ? dest : part.data());
      if (!part.empty()) std::memcpy(dest, part.data(), n);
      return n;
    }
    case kWave: {
      if (readCh_ != 1 && readCh_ != 2) return 0;
      const size_t n = size_t(std::min<int64_t>(int64_t(length), readLeft_));
      // A whole step from a whole address (every read of the record itself)
      // names whole addresses: they are counted rather than floored one by one.
      const bool whole = readStep_ == SimFloor(readStep_) && readAddress_ == SimFloor(readAddress_);
      double at[kCodeBlock];
      if (readSpan_ > 1.0) {
        SpanRead(dest, n);
        readLeft_ -= int64_t(n);
        return n;
      }
      for (size_t done = 0; done < n; done += kCodeBlock) {
        const size_t m = std::min(kCodeBlock, n - done);
        if (whole) {
          const double first = readAddress_, step = readStep_;
          for (int i = 0; i < int(kCodeBlock); ++i) at[i] = first + double(i) * step;  // the whole block: one vector loop
          readAddress_ += double(m) * readStep_;
        } else {
          for (size_t i = 0; i < m; ++i) {
            at[i] = SimFloor(readAddress_);
            readAddress_ += readStep_;
          }
        }
        last_.Codes(readCh_ - 1, at, m, dest + done);
      }
      readLeft_ -= int64_t(n);
      return n;
    }
    case kRollCh1:
    case kRollCh2:
      UpdateRoll(w, nowUs, signals);
      return ReadRoll(selector == kRollCh1 ? 0 : 1, dest, length);
    default:
      return 0;
  }
}

// An average-mode read: each point the mean code of up to 16 samples spread
// over its span of the record.
void SimAcquire::SpanRead(uint8_t* dest, size_t n) {
  const int k = std::min(kSpanPoints, int(readSpan_));
  double at[kSpanPoints];
  uint8_t codes[kSpanPoints];
  for (size_t i = 0; i < n; ++i) {
    const double from = SimFloor(readAddress_);
    for (int j = 0; j < k; ++j) at[j] = SimFloor(from + j * readSpan_ / k);
    last_.Codes(readCh_ - 1, at, size_t(k), codes);
    int sum = 0;
    for (int j = 0; j < k; ++j) sum += codes[j];
    dest[i] = uint8_t((sum + k / 2) / k);
    readAddress_ += readStep_;
  }
}

// --- roll ---

namespace {
// Pieces kept at most: one is added for each change seen, and one wholly read
// is dropped, so only a flurry of changes within a FIFO's time reaches this.
constexpr size_t kRollPieces = 16;

bool SameChannel(const SimChannelSetting& a, const SimChannelSetting& b) {
  return a.voltsPerDiv == b.voltsPerDiv && a.zeroCode == b.zeroCode && a.coupling == b.coupling &&
         a.invert == b.invert;
}

// Whether the samples of snapshot `a` are those the settings `s` and the
// signals now make.
bool SameRollSource(const SimAcquisition& a, const SimAcqSettings& s, const TestSignal* signals) {
  for (int i = 0; i < kSignalInputs; ++i)
    if (!SameSignal(a.sig[i], signals[i])) return false;
  return SameChannel(a.set.ch[0], s.ch[0]) && SameChannel(a.set.ch[1], s.ch[1]) && a.set.acqMode == s.acqMode;
}
}  // namespace

// A piece from the next sample on, with the signals and settings in force;
// each signal at the phase it had at the roll's start, so it keeps its time.
void SimAcquire::AddRollPiece(const SimAcqSettings& s, const TestSignal* signals) {
  RollPiece p;
  p.from = rollProduced_;
  p.snap = last_;
  p.snap.serial = last_.serial + 0x100000000ull;  // noise of its own
  p.snap.set = s;
  p.snap.set.samplePeriodNs = rollRate_ > 0 ? 1e9 / rollRate_ : 1.0;
  p.snap.set.triggerAddress = 0;
  for (int i = 0; i < kSignalInputs; ++i) {
    p.snap.sig[i] = signals[i];
    const long double c = rollStartS_ * signals[i].frequencyHz;
    p.snap.phase[i] = double(c - std::floor(c));
  }
  if (rollPieces_.size() >= kRollPieces) rollPieces_.erase(rollPieces_.begin());
  rollPieces_.push_back(p);
}

void SimAcquire::UpdateRoll(const Words& w, int64_t nowUs, TestSignal* signals) {
  const SimAcqSettings s = CurrentSettings(w);
  if (!s.roll) {
    rolling_ = false;
    rollPieces_.clear();
    return;
  }
  file_.Refresh(signals);
  if (!rolling_) {
    rolling_ = true;
    rollLastUs_ = nowUs;
    rollCarry_ = 0;
    rollProduced_ = rollConsumed_[0] = rollConsumed_[1] = 0;
    rollRate_ = s.columnNs > 0 ? kRollSamplesPerColumn / (s.columnNs * 1e-9) : 0.0;
    rollStartS_ = Seconds(nowUs);
    rollPieces_.clear();
  }
  if (Running(w)) {
    double n = double(nowUs - rollLastUs_) * 1e-6 * rollRate_ + rollCarry_;
    n = std::min(n, 1e12);
    const int64_t whole = int64_t(std::floor(n));
    rollCarry_ = n - double(whole);
    rollProduced_ += whole;
  }
  rollLastUs_ = nowUs;
  for (int64_t& c : rollConsumed_) c = std::max(c, rollProduced_ - int64_t(kRollFifoBytes));
  // The samples up to now were taken with what was in force before; a change
  // applies from here on.
  if (rollPieces_.empty() || !SameRollSource(rollPieces_.back().snap, s, signals)) AddRollPiece(s, signals);
  const int64_t read = std::min(rollConsumed_[0], rollConsumed_[1]);
  while (rollPieces_.size() > 1 && rollPieces_[1].from <= read) rollPieces_.erase(rollPieces_.begin());
}

void SimAcquire::KeepRoll(const Words& w, int64_t nowUs) {
  if (rollPieces_.empty() || !(rollRate_ > 0)) return;
  SimAcquisition a = rollPieces_.back().snap;  // its phases: each signal at the roll's first sample
  a.serial = last_.serial + 1;
  a.set = CurrentSettings(w);
  const double period = a.set.samplePeriodNs > 0 ? a.set.samplePeriodNs : 1.0;
  const double depth = double(std::max<int64_t>(a.set.depth, 1));
  const double perSample = 1e9 / rollRate_ / period;  // record samples a roll sample spans
  const double filled = double(rollProduced_) * perSample;
  const double start = double(kRecordCentre) - depth / 2;
  a.set.triggerAddress = std::llround(filled <= depth ? start : start + depth - filled);  // the roll's first sample
  a.set.triggerPoint = double(a.set.triggerAddress);
  a.triggered = false;
  a.lag = 0;
  last_ = a;
  TakeViewWords(w, true);
  unread_ = true;
  madeUs_ = nowUs;
  drawUntilUs_ = nowUs + kDrawUs;
}

size_t SimAcquire::RollPending(int ch) const { return rolling_ ? size_t(rollProduced_ - rollConsumed_[ch]) : 0; }

size_t SimAcquire::ReadRoll(int ch, uint8_t* dest, size_t length) {
  const size_t n = rollPieces_.empty() ? 0 : std::min(length, RollPending(ch));
  double at[kCodeBlock];
  size_t piece = 0;
  for (size_t done = 0; done < n;) {
    const int64_t first = rollConsumed_[ch] + int64_t(done);
    // The piece the sample belongs to (samples before the oldest kept take it).
    while (piece + 1 < rollPieces_.size() && rollPieces_[piece + 1].from <= first) ++piece;
    int64_t until = int64_t(n) - int64_t(done);
    if (piece + 1 < rollPieces_.size()) until = std::min(until, rollPieces_[piece + 1].from - first);
    const size_t m = std::min(kCodeBlock, size_t(until));
    for (size_t i = 0; i < m; ++i) at[i] = double(first + int64_t(i));
    rollPieces_[piece].snap.Codes(ch, at, m, dest + done);
    done += m;
  }
  rollConsumed_[ch] += int64_t(n);
  return n;
}

}  // namespace plat
