// The simulated acquisition FPGA: a register file that records every control
// word and answers the registers the instrument reads, the two devices the
// transport opens (SPI and local bus with its mapped window), the sample
// blocks by selector, the finished-acquisition signal, the frequency counters
// driven by the test signals, and faults that tests inject.
//
// Registers answered (unless a test fixed one with SetReg):
//   768 status: bit 2 PLL locked, bit 3 DDR ready
//   770 acquisition status, 4 bits per channel (SetAcquisitionStatus)
//   772 signal present: bit 0 at the trigger source (word 48), bit 1 at CH2;
//       bit 0 the external comparator's latch (sim_frontend_errors.h)
//   780 probe echo of control word 8
//   782 bit 0 read-out FIFO ready; 800 bytes waiting in it (selector 64)
//   784 roll bytes waiting (selector 128)
//   786, 806-862 frequency counters (platform/sim/fpga/sim_counters.h)
//   788, 792 maximum and minimum codes of the last acquisition
//   804 bit 0 acquisition done (RaiseFinished; cleared by control word 0 = 1)
//   820 self-reset status, bits 8-11 the drawing status (1 drawing the
//       raster of a new acquisition, 5 idle)
//   774-778, 822, 824 the recorder's frame memory (platform/sim/fpga/sim_frame_store.h)
//   826, 828 the roll write index, low and high 16 bits (in 16-bit words)
//   864-878 voltmeter accumulators (platform/sim/fpga/sim_voltmeter.h)
//
// Serial devices behind the FPGA are decoded from their control words: ADC
// registers (18 latch, 20 value, 22 adc x 256 + register), PLL (12 latch,
// 10 = 1, 14, 16), DACs (32 latch, 10 = 2, 34) and the front-end word
// (24 latch, 26 low 16 bits, 28 bits 16-23).
//
// Acquisitions, the read-out FIFO, the display raster, roll and decode reads
// are those of platform/sim/acquisition/sim_acquire.h; the ADCs' test output replaces the
// raster (platform/sim/fpga/sim_adc_pattern.h). Bytes a test loads into a block
// (LoadBlock) are read before anything the acquisitions give, and a loaded
// raster is read until the next acquisition.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/devices/fpga.h"
#include "platform/thread.h"
#include "platform/sim/acquisition/sim_acquire.h"
#include "platform/sim/fpga/sim_counters.h"
#include "platform/sim/fpga/sim_frame_store.h"
#include "platform/sim/devices/sim_log_ring.h"
#include "platform/sim/acquisition/sim_signals.h"
#include "platform/sim/fpga/sim_voltmeter.h"

namespace plat {

class SimFpga {
 public:
  // Faults a test can inject.
  struct Faults {
    bool probeNoAnswer = false;   // word 8 is not echoed at register 780
    bool pllFail = false;         // status register 768 bit 2 clear
    bool ddrFail = false;         // status register 768 bit 3 clear
    bool selfResetFail = false;   // register 820 reads 0x101
    bool noSpi = false;           // the SPI device does not open
    bool noLocalBus = false;      // the local-bus device does not open
    bool noWindow = false;        // mapping the window fails
    SpiStep spiSetupFail = SpiStep::kOk;  // this SPI set-up step fails
  };

  struct AdcWrite {
    int adc;
    int reg;
    uint16_t value;
  };

  static constexpr size_t kWindowBytes = 307200;
  static constexpr size_t kRasterBytes = 140000;
  // What the logs keep: a running board writes thousands of words a second.
  static constexpr size_t kLogWords = 1 << 17;
  static constexpr size_t kLogBlockReads = 1 << 14;
  static constexpr size_t kLogDeviceWrites = 1 << 12;

  SimFpga();

  // --- the transport's side ---
  int OpenLocalBus();
  int OpenSpi();
  void CloseSpi();
  void CloseAll();
  bool SpiIs(int handle);
  bool LocalBusIs(int handle);
  SpiStep ConfigureSpi(SpiSettings* s);
  uint8_t* MapWindow(size_t length);
  void WriteWord(uint16_t word, uint16_t value);
  uint16_t ReadReg(uint16_t reg);
  long ReadBlock(uint32_t selector, uint8_t* dest, size_t length);
  void Reconfigure(const uint32_t block[8]);
  bool SetFinishedHandler(void (*handler)());
  // Brackets one transfer; counts transfers that overlapped another.
  void EnterTransfer();
  void LeaveTransfer();

  // --- tests: control words and registers ---
  uint16_t Word(uint16_t word);   // the last value written (0 if never written)
  bool WordWritten(uint16_t word);
  // The control words written (the last kLogWords of them), oldest first.
  std::vector<std::pair<uint16_t, uint16_t>> Log();
  void ClearLog();
  int ReadCount(uint16_t reg);    // register reads since start
  void SetReg(uint16_t reg, uint16_t value);   // fixes a register's answer
  void ClearReg(uint16_t reg);                 // back to the model's answer

  void SetFaults(const Faults& f);
  Faults GetFaults();
  void SetHandles(int localBus, int spi);      // handles the devices open with
  SpiSettings Spi();                           // the SPI settings in force

  // Local-bus reconfigurations: mode 1008 loads the multi-scope (independent
  // time-base) configuration, 1023 the normal one. In multi-scope the
  // time-base words written while word 2 selects CH2 (1) are CH2's own.
  int Reconfigurations();
  std::vector<uint32_t> LastReconfiguration();  // the last block (empty if none)
  bool MultiScope();
  uint16_t Word2(uint16_t word);  // CH2's time-base word in multi-scope

  // --- tests: the board around the FPGA ---
  void SetSignal(int input, const TestSignal& s);
  void SetSignalFrequency(int input, double hz);
  TestSignal Signal(int input);
  void SetAcquisitionStatus(int ch, int code);  // field of register 770, fixed from now on
  void SetDrawingStatus(int code);              // bits 8-11 of register 820, fixed from now on
  // A finished acquisition: register 804 bit 0 set and the handler called (as
  // SIGIO would), when the local bus is open and a handler is installed.
  void RaiseFinished();
  bool Finished();

  // --- tests: acquisitions (sim_acquire.h) ---
  // Pacing of the acquisitions; `scale` stretches real-time pacing (0.1 is ten
  // times faster). Real-time pacing runs on a board thread of its own.
  void SetPacing(SimAcquire::Pacing p, double scale = 1.0);
  SimAcquire::Pacing Pacing();
  // Makes one acquisition now, as the settings and signals say, and raises
  // the finished signal; false when acquisition is held in reset, paused, done
  // with a single sweep or waiting for a normal-sweep trigger that never comes.
  bool AcquireNow();
  // Sets the signals' own time: from now they stand `seconds` into their
  // periods (with the clock held, the next acquisition searches from there).
  void SetSignalTime(double seconds);
  void SetAcqSettings(const SimAcqSettings& s);
  void ClearAcqSettings();
  SimAcqSettings AcqSettings();
  SimAcquisition LastAcquisition();
  std::vector<uint8_t> Raster();  // the display raster of the last acquisition

  // Blocks by selector: 0 and 2048 read the display raster (kept, re-read);
  // every other selector is a FIFO that a read drains.
  void LoadBlock(uint32_t selector, const std::vector<uint8_t>& bytes);
  size_t BlockPending(uint32_t selector);
  // (selector, length) of the block reads (the last kLogBlockReads of them).
  std::vector<std::pair<uint32_t, size_t>> BlockReads();
  void ClearBlockReads();
  std::vector<uint8_t> Window();

  // --- tests: the recorder's frame memory (sim_frame_store.h) ---
  size_t RecordedFrames();
  SimAcquisition RecordedFrame(size_t i);  // a default one past the end

  uint16_t AdcRegister(int adc, int reg);
  std::vector<AdcWrite> AdcWrites();
  std::vector<std::pair<uint16_t, uint16_t>> PllWrites();  // (word 14, word 16)
  int DacValue(int dac);  // 12-bit value last latched, -1 if never
  uint32_t FrontEndWord();

  void SetTransferDelayUs(int us);
  int Overlaps();

  // Everything above in a few readable lines.
  std::string Inspect();

 private:
  uint16_t ModelReg(uint16_t reg);
  void DecodeLatch(uint16_t word, uint16_t value);
  SimAcquire::Words AcqWords() const {
    return {words_, written_, dac_, frontEnd_, multiScope_ ? words2_ : nullptr, adcGain_};
  }
  // A finished acquisition under the lock: the flag, and the handler to call
  // once the lock is released.
  void (*FinishedLocked())();
  void (*AcquiredLocked())();  // the same after a new acquisition (kept as a frame while recording)
  void (*ReplayedLocked())();  // the same after a recorded frame was shown again
  bool ExtLevelAbove() const;
  // Channels the raster draws (word 38 bits 2-3; CH1 only until written).
  int DrawnChannels() const { return written_[38] ? (words_[38] >> 2) & 3 : 1; }  // the external comparator (sim_frontend_errors.h)
  void EnsureClock();
  static void* ClockThread(void*);
  int64_t ClockStep();  // one real-time step; microseconds to the next

  std::mutex mu_;
  uint16_t words_[1024] = {};
  bool written_[1024] = {};
  bool regFixed_[1024] = {};
  uint16_t regs_[1024] = {};
  int readCount_[1024] = {};
  SimLogRing<std::pair<uint16_t, uint16_t>, kLogWords> log_;
  Faults faults_;
  int lbHandle_ = 3, spiHandle_ = 4;
  bool lbOpen_ = false, spiOpen_ = false;
  SpiSettings spi_{0, 0, 0};
  std::vector<uint8_t> window_;
  bool windowMapped_ = false;
  int reconfigurations_ = 0;
  bool multiScope_ = false;
  uint16_t words2_[1024] = {};
  std::vector<uint32_t> lastReconfiguration_;
  void (*finished_)() = nullptr;
  bool done_ = false;
  TestSignal signals_[kSignalInputs];
  int acqStatus_[2] = {};
  bool statusFixed_ = false;  // a test set register 770
  int drawing_ = 5;
  bool drawingFixed_ = false;  // a test set the drawing status
  std::vector<uint8_t> raster_;
  bool rasterLoaded_ = false;
  SimAcquire acq_;
  SimFrameStore frameStore_;
  std::atomic<bool> clockRunning_{false};
  Wakeup clockWake_;  // the clock thread sleeps until the next acquisition is due or the run control changes
  std::map<uint32_t, std::vector<uint8_t>> fifos_;
  SimLogRing<std::pair<uint32_t, size_t>, kLogBlockReads> blockReads_;
  uint16_t adcRegs_[2][256] = {};
  uint16_t adcGain_[2];  // each ADC's gain register, unity until written
  SimLogRing<AdcWrite, kLogDeviceWrites> adcWrites_;
  SimLogRing<std::pair<uint16_t, uint16_t>, kLogDeviceWrites> pllWrites_;
  int dac_[4] = {-1, -1, -1, -1};
  bool extArmed_ = false, extAbove_ = false;
  uint32_t frontEnd_ = 0;
  SimCounters counters_;
  SimVoltmeter voltmeter_;
  std::atomic<int> inFlight_{0};
  std::atomic<int> overlaps_{0};
  std::atomic<int> transferDelayUs_{0};
};

// The board's one FPGA (built on first use, safe during static initialisation).
SimFpga& Fpga();

}  // namespace plat
