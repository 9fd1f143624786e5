#include "platform/sim/sim_fpga.h"

namespace plat {

SimFpga& Fpga() {
  static SimFpga fpga;
  return fpga;
}

void SimFpga::WriteWord(uint16_t word, uint16_t value) {
  std::lock_guard<std::mutex> lock(mu_);
  uint16_t w = word & 1023;
  words_[w] = value;
  written_[w] = true;
  log_.emplace_back(word, value);
}

uint16_t SimFpga::ReadReg(uint16_t reg) {
  std::lock_guard<std::mutex> lock(mu_);
  uint16_t r = reg & 1023;
  if (regFixed_[r]) return regs_[r];
  switch (r) {
    case 780:  // probe echo of control word 8
      return faults_.probeNoAnswer ? 0 : words_[8];
    case 768:  // status: bit 2 PLL locked, bit 3 DDR ready
      return uint16_t((faults_.pllFail ? 0 : 4) | (faults_.ddrFail ? 0 : 8));
    case 820:  // self-reset status; bits 8-11 = 5: drawing idle
      return faults_.selfResetFail ? 0x101 : 0x500;
    default:
      return regs_[r];
  }
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
  return log_;
}

void SimFpga::ClearLog() {
  std::lock_guard<std::mutex> lock(mu_);
  log_.clear();
}

void SimFpga::SetFaults(const Faults& f) {
  std::lock_guard<std::mutex> lock(mu_);
  faults_ = f;
}

SimFpga::Faults SimFpga::GetFaults() {
  std::lock_guard<std::mutex> lock(mu_);
  return faults_;
}

void SimFpga::SetReg(uint16_t reg, uint16_t value) {
  std::lock_guard<std::mutex> lock(mu_);
  regs_[reg & 1023] = value;
  regFixed_[reg & 1023] = true;
}

int SimFpga::Reconfigurations() {
  std::lock_guard<std::mutex> lock(mu_);
  return reconfigurations_;
}

void SimFpga::NoteReconfiguration() {
  std::lock_guard<std::mutex> lock(mu_);
  ++reconfigurations_;
}

}  // namespace plat
