// The simulated FPGA's surroundings: test signals, sample blocks by selector,
// the serial devices decoded from control words, and the inspection text.
#include <algorithm>
#include <cstring>
#include <sstream>

#include "platform/sim/fpga/sim_fpga.h"
#include "platform/sim/acquisition/sim_frontend_errors.h"
#include "platform/sim/fpga/sim_adc_pattern.h"

#include "platform/clock.h"

namespace plat {

namespace {
constexpr uint32_t kRasterSelector = 0;
constexpr uint32_t kRasterDebugSelector = 2048;
constexpr int kAdcBoth = 128;
// Output bits of the DAC word by DAC number.
constexpr uint16_t kDacOutBits[4] = {0xC000, 0, 0x8000, 0x4000};

bool IsRaster(uint32_t selector) { return selector == kRasterSelector || selector == kRasterDebugSelector; }
}  // namespace

// --- signals ---

void SimFpga::SetSignal(int input, const TestSignal& s) {
  std::lock_guard<std::mutex> lock(mu_);
  if (input >= 0 && input < kSignalInputs) signals_[input] = s;
}

void SimFpga::SetSignalFrequency(int input, double hz) {
  std::lock_guard<std::mutex> lock(mu_);
  if (input < 0 || input >= kSignalInputs) return;
  signals_[input].frequencyHz = hz;
  if (signals_[input].shape == SignalShape::kDc) signals_[input].shape = SignalShape::kSine;
  if (signals_[input].amplitudeV <= 0.0) signals_[input].amplitudeV = 1.0;
}

TestSignal SimFpga::Signal(int input) {
  std::lock_guard<std::mutex> lock(mu_);
  return input >= 0 && input < kSignalInputs ? signals_[input] : TestSignal{};
}

// --- blocks ---

void SimFpga::LoadBlock(uint32_t selector, const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  if (IsRaster(selector)) {
    raster_ = bytes;
    rasterLoaded_ = true;
  } else {
    auto& fifo = fifos_[selector];
    fifo.insert(fifo.end(), bytes.begin(), bytes.end());
  }
}

size_t SimFpga::BlockPending(uint32_t selector) {
  std::lock_guard<std::mutex> lock(mu_);
  if (IsRaster(selector)) return rasterLoaded_ ? raster_.size() : SimAcquire::kRasterBytes;
  auto it = fifos_.find(selector);
  return it == fifos_.end() ? 0 : it->second.size();
}

long SimFpga::ReadBlock(uint32_t selector, uint8_t* dest, size_t length) {
  std::lock_guard<std::mutex> lock(mu_);
  blockReads_.Push({selector, length});
  auto fifo = fifos_.find(selector);
  const bool loaded = IsRaster(selector) && rasterLoaded_;
  const bool queued = !loaded && !IsRaster(selector) && fifo != fifos_.end() && !fifo->second.empty();
  if (queued || IsRaster(selector)) std::memset(dest, 0, length);
  if (loaded) {
    std::copy_n(raster_.begin(), std::min(length, raster_.size()), dest);
  } else if (IsRaster(selector) && SimAdcPatternRaster(adcRegs_, DrawnChannels(), dest, length)) {
    // the ADCs' test output
  } else if (queued) {
    size_t n = std::min(length, fifo->second.size());
    std::copy(fifo->second.begin(), fifo->second.begin() + long(n), dest);
    fifo->second.erase(fifo->second.begin(), fifo->second.begin() + long(n));
  } else {
    // What the acquisition does not fill reads as zero.
    const size_t n = acq_.ReadBlock(selector, dest, length, AcqWords(), MonoUs(), signals_);
    std::memset(dest + n, 0, length - n);
  }
  // The driver leaves the block at the start of the mapped window as well.
  if (windowMapped_) std::memcpy(window_.data(), dest, std::min(length, window_.size()));
  return long(length);
}

std::vector<std::pair<uint32_t, size_t>> SimFpga::BlockReads() {
  std::lock_guard<std::mutex> lock(mu_);
  return blockReads_.Entries();
}

void SimFpga::ClearBlockReads() {
  std::lock_guard<std::mutex> lock(mu_);
  blockReads_.Clear();
}

std::vector<uint8_t> SimFpga::Window() {
  std::lock_guard<std::mutex> lock(mu_);
  return windowMapped_ ? window_ : std::vector<uint8_t>{};
}

// --- serial devices behind the FPGA ---

void SimFpga::DecodeLatch(uint16_t w, uint16_t value) {
  if (value != 1) return;
  switch (w) {
    case 18: {  // ADC register write
      int adc = words_[22] >> 8, reg = words_[22] & 0xFF;
      for (int a = 0; a < 2; ++a) {
        if (adc != a && adc != kAdcBoth) continue;
        adcRegs_[a][reg] = words_[20];
        if (reg == kAdcGainRegister) adcGain_[a] = words_[20];
        adcWrites_.Push({a, reg, words_[20]});
      }
      break;
    }
    case 12:  // PLL register write
      if (words_[10] == 1) pllWrites_.Push({words_[14], words_[16]});
      break;
    case 32:  // DAC write
      if (words_[10] == 2) {
        uint16_t out = words_[34] & 0xC000;
        for (int d = 0; d < 4; ++d)
          if (kDacOutBits[d] == out) dac_[d] = words_[34] & 0xFFF;
      }
      break;
    case 24:  // analogue front-end word
      frontEnd_ = uint32_t(words_[26]) | uint32_t(words_[28] & 0xFF) << 16;
      break;
    default:
      break;
  }
}

uint16_t SimFpga::AdcRegister(int adc, int reg) {
  std::lock_guard<std::mutex> lock(mu_);
  return adc >= 0 && adc < 2 && reg >= 0 && reg < 256 ? adcRegs_[adc][reg] : 0;
}

std::vector<SimFpga::AdcWrite> SimFpga::AdcWrites() {
  std::lock_guard<std::mutex> lock(mu_);
  return adcWrites_.Entries();
}

std::vector<std::pair<uint16_t, uint16_t>> SimFpga::PllWrites() {
  std::lock_guard<std::mutex> lock(mu_);
  return pllWrites_.Entries();
}

int SimFpga::DacValue(int dac) {
  std::lock_guard<std::mutex> lock(mu_);
  return dac >= 0 && dac < 4 ? dac_[dac] : -1;
}

uint32_t SimFpga::FrontEndWord() {
  std::lock_guard<std::mutex> lock(mu_);
  return frontEnd_;
}

// --- inspection ---

std::string SimFpga::Inspect() {
  std::lock_guard<std::mutex> lock(mu_);
  std::ostringstream o;
  o << "devices: spi " << (spiOpen_ ? "open" : "closed") << ", local bus " << (lbOpen_ ? "open" : "closed")
    << ", window " << (windowMapped_ ? window_.size() : 0) << " bytes\n";
  o << "faults:" << (faults_.probeNoAnswer ? " probe" : "") << (faults_.pllFail ? " pll" : "")
    << (faults_.ddrFail ? " ddr" : "") << (faults_.selfResetFail ? " self-reset" : "")
    << (faults_.noSpi ? " no-spi" : "") << (faults_.noLocalBus ? " no-local-bus" : "")
    << (faults_.noWindow ? " no-window" : "") << "\n";
  o << "words written: " << log_.Total() << ", reconfigurations: " << reconfigurations_
    << ", finished: " << done_ << ", acquisition status: " << acqStatus_[0] << "/" << acqStatus_[1]
    << ", drawing: " << drawing_ << "\n";
  o << "front end: 0x" << std::hex << frontEnd_ << std::dec << ", ADC writes: " << adcWrites_.Total()
    << ", PLL writes: " << pllWrites_.Total() << "\n";
  o << "signals (Hz):";
  for (const TestSignal& s : signals_) o << " " << (s.HasEdges() ? s.frequencyHz : 0.0);
  const SimAcquisition& a = acq_.Last();
  o << "\nacquisitions: " << a.serial << (a.triggered ? " (last triggered)" : "") << ", status " << acq_.Status()
    << ", sample period " << a.set.samplePeriodNs << " ns, column " << a.set.columnNs << " ns, depth "
    << a.set.depth << ", trigger at " << a.set.triggerAddress;
  o << "\nblocks: raster " << (rasterLoaded_ ? raster_.size() : SimAcquire::kRasterBytes);
  for (const auto& f : fifos_) o << ", selector " << f.first << " " << f.second.size();
  o << "\nwords:";
  for (int w = 0; w < 1024; ++w)
    if (written_[w]) o << " " << w << "=" << words_[w];
  o << "\n";
  return o.str();
}

}  // namespace plat
