// Board control: the only path to the acquisition FPGA and the board's small
// peripherals (PLL, ADCs, DACs, analogue front end, LEDs, beeper, counters).
//
// Locking: every FPGA access takes the shared semaphore for its own duration
// (core/messages/semaphore.h) and releases it before returning, so no function here may
// be called while the caller holds that semaphore. Batches take it per frame;
// the short fixed sequences of a serial device behind the FPGA (one ADC, PLL
// or DAC register, the front-end word) hold it across their frames so another
// thread's frames cannot fall inside them. The batch and timed lists have a
// mutex of their own, never held while the semaphore is taken.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "core/messages/semaphore.h"

struct _SysRunInfo;

// What the analogue front-end word is composed from.
struct FrontEndSetting {
  uint32_t rangeBits[2];  // per channel: attenuator | gain bits of its V/div row
  int coupling[2];        // 0 DC, 1 AC, 2 GND
  int bwLimit[2];         // 1 bandwidth limit on
  int trigCoupling;       // 0 DC, 1 AC, 2 HF reject, 3 LF reject, 4 noise reject
  int trigType;
  int trigSource;         // 0 CH1, 1 CH2, 3 external, ...
  int setupHoldData;      // trigger type 9: data source, clock source and the
  int setupHoldClock;     // setup/hold selection (0 clock, 1 data, other both)
  int setupHoldSelection;
  int bwClass;            // 1 the 200 MHz model, 0 the 100 MHz model
  bool independent;       // independent time base on
};

// What the ground-coupling words are composed from.
struct GroundSetting {
  int coupling[2];   // 2 = GND
  int level[2];      // each channel's level code
  int stopLevel[2];  // its snapshot of the last shown acquisition
  bool stopped;      // acquisition stopped: the snapshot counts
};

class control {
 public:
  static constexpr int kListSize = 50;
  static constexpr size_t kWindowBytes = 307200;
  static constexpr int kRasterBytes = 140000;
  static constexpr int kCounters = 3;

  control();

  // Finished-acquisition signals the FPGA has raised (never the 300 ms
  // poll, which finds the same record again): a new value is a new record.
  static uint32_t FinishedSignals();

  // Opens the local-bus device (and its window and finished signal) and the
  // SPI device. A device that fails stays closed; the result is always 0.
  int InitDriver(const char* localbus, const char* spi);
  bool SpiOpen() const { return spi_ >= 0; }
  bool LocalBusOpen() const { return localBus_ >= 0; }
  size_t WindowSize() const { return window_ ? windowBytes_ : 0; }

  // Control words: one at once, a batch, a list, or a timed write sent once
  // the setting has settled. -1 without the SPI device.
  int SendRealControl(int word, int value);
  int AddControlWrod(int word, int value);
  int SendAllControl();
  void TansBuffClear();
  int AddTimingControlWrod(int word, int value);
  int SendTimingControl();
  int SendBatchConfig(const int (*list)[2]);  // pairs until a word of -1

  // While a record in acquisition memory is being read out over several
  // locked stretches (held at least once), no write resumes acquisition: a
  // pause word of 0 is kept back and sent when the last hold ends, unless a
  // pause word of 1 came after it. Holds are counted; each is given back once.
  void HoldRecord();
  void ReleaseRecord();

  // Registers and blocks.
  int ReadAnyReg(int reg);
  int ReadFIFO(int selector, uint8_t* dest, int length);
  int ReadWaveData(int ch, uint8_t* buffer, int length);
  int ReadRollWaveData(int ch, uint8_t* buffer, int length);
  int ReadDecodeData(uint8_t* buffer, int selector, int length);
  int ReadQel(uint8_t* buffer);
  int ReadQelPrintk(uint8_t* buffer);
  int ReadQelTest(int ch, uint8_t* buffer);
  int ReFpgeConfig(int mode);

  // Sampling PLL, ADCs and DACs.
  int PllConfig();
  int AdcConfig(int adc, int reg, int value);
  int AdcConfig08Delay(int adc, int reg, int value);
  int AdcConfig08Gain(int adc, int reg, int value);
  int AdcPhase(int phase1, int phase2);
  int AdcGain(int adc, int code);
  int AdcGainAdj(int adc, int coarse, int fine);
  int AdcTestCodeSel(int adc, int mode, int code);
  int AdcPhaseSync();
  int AdcInitSyncVEX4100R(int phase1, int phase2);
  int AdcInit(int phase1, int phase2);
  int ChannelDAC_Set(int dac, int value);

  // Analogue front end and channel words.
  // The run-state forms read both channels' blocks and the trigger settings;
  // `rangeBits` are each channel's attenuator | gain bits of the vertical
  // model's table at its V/div index in force.
  int AnalogChannelControl(const FrontEndSetting& s);
  int AnalogChannelControl(const _SysRunInfo* run, const uint32_t rangeBits[2]);
  // The same with each channel's row of the front-end table (ChAttCtrl) at its
  // V/div index in force.
  int AnalogChannelControl(const _SysRunInfo* run);
  static FrontEndSetting FrontEndFrom(const _SysRunInfo* run, const uint32_t rangeBits[2]);
  static uint32_t FrontEndWord(const FrontEndSetting& s);
  void ChannelModeSet() {}
  int ChGndEnable(const GroundSetting& s);
  int ChGndEnable(const _SysRunInfo* run);
  int SetChPriority(int activeCh, int sourceMask, int stopSourceMask, int acqStatus);
  int SetChPriority(const _SysRunInfo* run);
  int TriggerDetect(int microseconds);
  int GetCurrAcquStatus();
  int LedCtrl(_SysRunInfo* run);
  int LedCtrl(int sourceMask, int activeCh, int acqStatus);
  static int LedWord(int sourceMask, int activeCh, int acqStatus);

  // Sampling restarts and the acquisition reset.
  int SysSample();
  int FPGAResetEnable();
  int FPGAResetDisable();
  int GetFPGAResetStatus() const { return resetFlag_; }
  // Acquisition resets so far: a record read across a change of the count was
  // acquired before the settings the reset brought.
  uint32_t ResetCount() const { return resets_.load(std::memory_order_acquire); }
  int AcquirePause();
  int AcquireStart();
  int WaitingDrawingIdle();
  bool GetDrawingStatus();
  int PassFailOutput();

  // Beeper.
  void BeeOn();
  void BeeOff();
  void Bee();

  // Frequency counters: 0 channel 1, 1 channel 2, 2 the FPGA's third counter.
  // `values` and `states` hold one entry per channel (index = channel);
  // states: 0 new result, 255 no signal, 0xFFFF no new result.
  int FreqInitMeter(int counter, int gate, int periodIndex);
  void FreqTimingRefresh();
  int FreqMeter(bool independent, int source, double* values, int* states);
  // Measures the trigger-source channel (both with the independent time base)
  // at once, waiting at most about a second for each; 0, or -1 when a result
  // did not come (its value is then the best seen, 0 without any).
  int FastFreqMeter(bool independent, int source, double* values);

 private:
  struct Pair {
    uint16_t word, value;
  };
  bool Frame(int word, int value);                 // takes the semaphore
  bool FrameHeld(int word, int value);             // the caller holds it
  int ReadHeld(int reg);                           // the caller holds it
  int SendSequence(const Pair* list, int n);       // held across the frames
  uint32_t ReadPair(int lowReg);                   // low and high 16 bits at once
  int ReadThroughWindow(int selector, uint8_t* buffer, int length);
  void SendTimedList(const Pair* list, int n);
  int AdcSetUp(int phase1, int phase2, bool early);
  int AdcPhaseWords(int phase1, int phase2, uint16_t base);
  int AdcRegister8(int adc, uint16_t keep, int value);
  enum class CountKind { kNone, kCycles, kPeriod, kWaiting };
  void MeasureCounter(int counter, bool present, double* value, int* state);
  CountKind CounterResult(int counter, int status, double* value);

  semaphore sem_;
  int spi_ = -1;
  int localBus_ = -1;
  uint8_t* window_ = nullptr;
  size_t windowBytes_ = 0;
  int resetFlag_ = 0;
  std::atomic<uint32_t> resets_{0};
  int recordHolds_ = 0;     // under sem_
  int pauseKeptBack_ = -1;  // the pause value a hold kept back, -1 none (under sem_)

  std::mutex listMu_;  // the batch and the timed list
  int batchCount_ = 0;
  int timedCount_ = 0;
  Pair batch_[kListSize] = {};
  Pair timed_[kListSize] = {};
  int64_t timedUs_ = 0;  // last timed addition (monotonic)

  uint16_t adc8_[2] = {};  // shadow of ADC register 8 per ADC
  int64_t freqRefreshUs_ = 0;
  int64_t freqStartUs_ = 0;
  int periodIndex_[kCounters] = {};
  int waitRounds_[kCounters] = {};
};

extern control QelControl;
// ADC gain codes of range 8 (channel 1 pair, channel 2 pair): read from the
// calibration at start-up, written back by the ADC re-initialisation.
extern uint16_t ADCGain[2][2];
void Bee();
// The main loop's counter refresh: measures the trigger-source channel (both
// with the independent time base) when the refresh is due, and stores each
// new value with its text in the run state.
void FreqMeter();
