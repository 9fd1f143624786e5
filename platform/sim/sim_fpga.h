// The simulated acquisition FPGA: a register file that records every control
// word and answers the registers the instrument reads, with faults tests inject.
#pragma once
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace plat {

class SimFpga {
 public:
  // Faults a test can inject.
  struct Faults {
    bool probeNoAnswer = false;   // word 8 is not echoed at register 780
    bool pllFail = false;         // status register 768 bit 2 clear
    bool ddrFail = false;         // status register 768 bit 3 clear
    bool selfResetFail = false;   // register 820 reads 0x101
  };

  void WriteWord(uint16_t word, uint16_t value);
  uint16_t ReadReg(uint16_t reg);

  // The last value written to a control word (0 if never written).
  uint16_t Word(uint16_t word);
  bool WordWritten(uint16_t word);
  std::vector<std::pair<uint16_t, uint16_t>> Log();
  void ClearLog();

  void SetFaults(const Faults& f);
  Faults GetFaults();
  void SetReg(uint16_t reg, uint16_t value);   // fixes a register's answer
  int Reconfigurations();
  void NoteReconfiguration();

 private:
  std::mutex mu_;
  uint16_t words_[1024] = {};
  bool written_[1024] = {};
  bool regFixed_[1024] = {};
  uint16_t regs_[1024] = {};
  std::vector<std::pair<uint16_t, uint16_t>> log_;
  Faults faults_;
  int reconfigurations_ = 0;
};

// The board's one FPGA (built on first use, safe during static initialisation).
SimFpga& Fpga();

}  // namespace plat
