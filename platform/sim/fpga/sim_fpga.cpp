// The simulated FPGA's register file, its devices and the finished signal.
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/sim/acquisition/sim_frontend_errors.h"
#include "platform/sim/acquisition/sim_frontend.h"

#include "platform/sim/fpga/sim_fpga_config.h"
#include "platform/sim/bus/sim_bus_decode.h"
#include "platform/sim/fpga/sim_decode_trigger.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/clock.h"

namespace plat {

namespace {
constexpr uint16_t kProbeWord = 8;
constexpr uint16_t kResetWord = 0;
constexpr uint16_t kTrigSourceWord = 48;
constexpr uint16_t kBlockWord = 2;           // multi-scope: 1 while CH2's time base is written
constexpr uint32_t kMultiScopeMode = 1008;   // reconfiguration mode of the multi-scope configuration

// The time-base words of one channel's acquisition: sampling, memory depth,
// acquisition mode, trigger position and delay, screen columns, roll.
bool IsTimingWord(uint16_t w) {
  static constexpr uint16_t kTiming[] = {40,  42,  44,  46,  50,  52,  54,  56,  60,  62,  124, 132, 134, 140,
                                         142, 152, 154, 164, 166, 232, 236, 240, 244, 248, 250, 252, 254, 280};
  return std::find(std::begin(kTiming), std::end(kTiming), w) != std::end(kTiming);
}
constexpr uint16_t kExtSource = 3;
constexpr uint16_t kComparatorArmWord = 58;
constexpr uint16_t kArmWord = 122;  // 1 -> 0 arms a read
constexpr uint32_t kWaveSelector = 64;
constexpr uint32_t kRollSelector = 128;
constexpr size_t kFifoLevelMax = 32736;  // the 16-bit signed level register, in whole blocks
constexpr size_t kDecodeStepMax = 10240;  // decode bytes one level reading offers
}  // namespace

SimFpga& Fpga() {
  static SimFpga fpga;
  return fpga;
}

SimFpga::SimFpga() {
  // CH1 shows a few cycles at the start-up time base (1 us/div).
  signals_[kSignalCh1].frequencyHz = kDefaultCh1Hz;
  for (uint16_t& g : adcGain_) g = uint16_t(simfe::kAdcGainCoarse | simfe::kAdcGainFine << 4);
  signals_[kSignalExt].shape = SignalShape::kDc;
  signals_[kSignalExt].amplitudeV = 0.0;
}

// --- devices ---

int SimFpga::OpenLocalBus() {
  std::lock_guard<std::mutex> lock(mu_);
  if (faults_.noLocalBus) return -1;
  lbOpen_ = true;
  return lbHandle_;
}

int SimFpga::OpenSpi() {
  std::lock_guard<std::mutex> lock(mu_);
  if (faults_.noSpi) return -1;
  spiOpen_ = true;
  return spiHandle_;
}

void SimFpga::CloseSpi() {
  std::lock_guard<std::mutex> lock(mu_);
  spiOpen_ = false;
}

void SimFpga::CloseAll() {
  std::lock_guard<std::mutex> lock(mu_);
  spiOpen_ = lbOpen_ = windowMapped_ = false;
}

bool SimFpga::SpiIs(int handle) {
  std::lock_guard<std::mutex> lock(mu_);
  return spiOpen_ && handle == spiHandle_;
}

bool SimFpga::LocalBusIs(int handle) {
  std::lock_guard<std::mutex> lock(mu_);
  return lbOpen_ && handle == lbHandle_;
}

SpiStep SimFpga::ConfigureSpi(SpiSettings* s) {
  std::lock_guard<std::mutex> lock(mu_);
  if (faults_.spiSetupFail != SpiStep::kOk) return faults_.spiSetupFail;
  spi_ = *s;
  return SpiStep::kOk;
}

uint8_t* SimFpga::MapWindow(size_t length) {
  std::lock_guard<std::mutex> lock(mu_);
  if (faults_.noWindow || length == 0) return nullptr;
  window_.assign(std::min(length, kWindowBytes), 0);
  windowMapped_ = true;
  return window_.data();
}

bool SimFpga::SetFinishedHandler(void (*handler)()) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!lbOpen_) return false;
    finished_ = handler;
  }
  EnsureClock();
  return true;
}

void SimFpga::EnterTransfer() {
  if (inFlight_.fetch_add(1) > 0) ++overlaps_;
  int us = transferDelayUs_.load();
  if (us > 0) std::this_thread::sleep_for(std::chrono::microseconds(us));  // real time, to widen the window
}

void SimFpga::LeaveTransfer() { --inFlight_; }

// --- control words and registers ---

void SimFpga::WriteWord(uint16_t word, uint16_t value) {
  void (*handler)() = nullptr;
  {
    std::lock_guard<std::mutex> lock(mu_);
    uint16_t w = word & 1023;
    const uint16_t old = words_[w];
    if (multiScope_ && words_[kBlockWord] == 1 && IsTimingWord(w))
      words2_[w] = value;
    else
      words_[w] = value;
    written_[w] = true;
    log_.Push({word, value});
    if (w == kResetWord && value == 1) done_ = false;
    const int64_t now = MonoUs();
    counters_.OnWord(w, value, words_, now);
    DecodeLatch(w, value);
    if (w == kComparatorArmWord) {
      extArmed_ = true;
      extAbove_ = ExtLevelAbove();
    }
    const bool unread = acq_.Unread();
    if (acq_.OnWord(w, old, AcqWords(), now, signals_)) handler = AcquiredLocked();
    if (w == kArmWord && old == 1 && value == 0 && acq_.ReadChannel() == SimAcquire::kDecodeReadChannel) {
      // A new read starts the decode FIFO afresh: what an earlier read left
      // unread (a drain that gave up) is not served again before it.
      fifos_[SimAcquire::kDecodeSelector].clear();
      SimBusDecodeRecords(acq_.Last(), acq_.ReadAddress(),
                          SimBusCountNs(SimDecodeTriggerWords(words_, written_, dac_[2], dac_[3])),
                          &fifos_[SimAcquire::kDecodeSelector]);
    }
    if (frameStore_.OnWord(w, old, words_)) {
      acq_.Replay(frameStore_.Shown(), now);
      handler = ReplayedLocked();
    }
    // The clock is woken only when it may acquire sooner: a run-control word
    // let go, or the finished acquisition taken. A pause wakes nothing: the
    // clock finds it held when it next looks.
    if (SimAcquire::WakesClock(w, old, value) || (unread && !acq_.Unread())) clockWake_.Notify();
  }
  if (handler) handler();
}

uint16_t SimFpga::ReadReg(uint16_t reg) {
  std::lock_guard<std::mutex> lock(mu_);
  uint16_t r = reg & 1023;
  ++readCount_[r];
  return regFixed_[r] ? regs_[r] : ModelReg(r);
}

uint16_t SimFpga::ModelReg(uint16_t r) {
  uint16_t v = 0;
  if (counters_.Read(r, MonoUs(), signals_, &v)) return v;
  if (voltmeter_.Read(r, acq_.Last(), words_[SimVoltmeter::kSourceWord], &v)) return v;
  if (frameStore_.Reg(r, &v)) return v;
  switch (r) {
    case 768:
      return uint16_t((faults_.pllFail ? 0 : 4) | (faults_.ddrFail ? 0 : 8));
    case 770:
      if (statusFixed_) return uint16_t((acqStatus_[0] & 15) | (acqStatus_[1] & 15) << 4);
      break;
    case 772: {
      const int ch2 = signals_[kSignalCh2].HasEdges() ? 2 : 0;
      if (words_[kTrigSourceWord] == kExtSource && !signals_[kSignalExt].HasEdges())
        return uint16_t((extArmed_ && ExtLevelAbove() != extAbove_ ? 1 : 0) | ch2);
      const TestSignal& trig = signals_[words_[kTrigSourceWord] == 1 ? kSignalCh2 : kSignalCh1];
      return uint16_t((trig.HasEdges() ? 1 : 0) | ch2);
    }
    case 780:
      // An FPGA that was not configured by the loader does not answer.
      return faults_.probeNoAnswer || !SimFpgaConfigured() ? 0 : words_[kProbeWord];
    case 782:
      if (!fifos_[kWaveSelector].empty() || acq_.ReadChannel() == SimAcquire::kDecodeReadChannel) return 1;
      break;
    case 784:
      if (!fifos_[kRollSelector].empty()) return uint16_t(std::min<size_t>(fifos_[kRollSelector].size(), 0xFFFF));
      break;
    case 800:
      if (!fifos_[kWaveSelector].empty()) return uint16_t(std::min(fifos_[kWaveSelector].size(), kFifoLevelMax));
      if (acq_.ReadChannel() == SimAcquire::kDecodeReadChannel) {
        size_t n = fifos_[SimAcquire::kDecodeSelector].size();
        return n == 0 ? 0xFFFF : uint16_t(std::min(n, kDecodeStepMax));  // 0xFFFF: the end marker
      }
      break;
    case 804:
      return done_ ? 1 : 0;
    case 820:
      if (faults_.selfResetFail) return 0x101;
      return uint16_t(((drawingFixed_ ? drawing_ : acq_.DrawingCode(MonoUs())) & 15) << 8);
    default:
      break;
  }
  if (acq_.Reg(r, AcqWords(), MonoUs(), signals_, &v)) return v;
  return regs_[r];
}

// Whether the external comparator's level lies above its input (the DC
// level of the external signal), its offset error included.
bool SimFpga::ExtLevelAbove() const {
  const double level = (dac_[2] - simfe::kExtTrigDacZero) / simfe::kExtTrigDacPerCode + GetFrontEndErrors().extTrigCodes;
  return level > SignalMean(signals_[kSignalExt]) / simfe::kExtTrigVoltsPerCode;
}

uint16_t SimFpga::Word(uint16_t word) {
  std::lock_guard<std::mutex> lock(mu_);
  return words_[word & 1023];
}

bool SimFpga::WordWritten(uint16_t word) {
  std::lock_guard<std::mutex> lock(mu_);
  return written_[word & 1023];
}

std::vector<std::pair<uint16_t, uint16_t>> SimFpga::Log() {
  std::lock_guard<std::mutex> lock(mu_);
  return log_.Entries();
}

void SimFpga::ClearLog() {
  std::lock_guard<std::mutex> lock(mu_);
  log_.Clear();
}

int SimFpga::ReadCount(uint16_t reg) {
  std::lock_guard<std::mutex> lock(mu_);
  return readCount_[reg & 1023];
}

void SimFpga::SetReg(uint16_t reg, uint16_t value) {
  std::lock_guard<std::mutex> lock(mu_);
  regs_[reg & 1023] = value;
  regFixed_[reg & 1023] = true;
}

void SimFpga::ClearReg(uint16_t reg) {
  std::lock_guard<std::mutex> lock(mu_);
  regs_[reg & 1023] = 0;
  regFixed_[reg & 1023] = false;
}

void SimFpga::SetFaults(const Faults& f) {
  std::lock_guard<std::mutex> lock(mu_);
  faults_ = f;
}

SimFpga::Faults SimFpga::GetFaults() {
  std::lock_guard<std::mutex> lock(mu_);
  return faults_;
}

void SimFpga::SetHandles(int localBus, int spi) {
  std::lock_guard<std::mutex> lock(mu_);
  lbHandle_ = localBus;
  spiHandle_ = spi;
}

SpiSettings SimFpga::Spi() {
  std::lock_guard<std::mutex> lock(mu_);
  return spi_;
}

void SimFpga::Reconfigure(const uint32_t block[8]) {
  std::lock_guard<std::mutex> lock(mu_);
  ++reconfigurations_;
  lastReconfiguration_.assign(block, block + 8);
  const bool multi = block[5] == kMultiScopeMode;
  if (multi && !multiScope_) std::copy(std::begin(words_), std::end(words_), std::begin(words2_));
  multiScope_ = multi;
}

bool SimFpga::MultiScope() {
  std::lock_guard<std::mutex> lock(mu_);
  return multiScope_;
}

uint16_t SimFpga::Word2(uint16_t word) {
  std::lock_guard<std::mutex> lock(mu_);
  return multiScope_ ? words2_[word & 1023] : words_[word & 1023];
}

int SimFpga::Reconfigurations() {
  std::lock_guard<std::mutex> lock(mu_);
  return reconfigurations_;
}

std::vector<uint32_t> SimFpga::LastReconfiguration() {
  std::lock_guard<std::mutex> lock(mu_);
  return lastReconfiguration_;
}

// --- acquisition state ---

void SimFpga::SetAcquisitionStatus(int ch, int code) {
  std::lock_guard<std::mutex> lock(mu_);
  if (ch == 0 || ch == 1) acqStatus_[ch] = code & 15;
  statusFixed_ = true;
}

void SimFpga::SetDrawingStatus(int code) {
  std::lock_guard<std::mutex> lock(mu_);
  drawing_ = code & 15;
  drawingFixed_ = true;
}

void SimFpga::RaiseFinished() {
  void (*handler)() = nullptr;
  {
    std::lock_guard<std::mutex> lock(mu_);
    handler = FinishedLocked();
  }
  if (handler) handler();
}

void (*SimFpga::FinishedLocked())() {
  done_ = true;
  return lbOpen_ ? finished_ : nullptr;
}

void (*SimFpga::AcquiredLocked())() {
  frameStore_.OnAcquired(acq_.Last(), MonoUs());
  return ReplayedLocked();
}

void (*SimFpga::ReplayedLocked())() {
  rasterLoaded_ = false;
  return FinishedLocked();
}

size_t SimFpga::RecordedFrames() {
  std::lock_guard<std::mutex> lock(mu_);
  return frameStore_.Frames();
}

SimAcquisition SimFpga::RecordedFrame(size_t i) {
  std::lock_guard<std::mutex> lock(mu_);
  return i < frameStore_.Frames() ? frameStore_.Frame(i) : SimAcquisition{};
}

bool SimFpga::Finished() {
  std::lock_guard<std::mutex> lock(mu_);
  return done_;
}

void SimFpga::SetTransferDelayUs(int us) { transferDelayUs_ = us; }

int SimFpga::Overlaps() { return overlaps_.load(); }

}  // namespace plat
