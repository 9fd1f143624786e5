// Auto-set: finds the signals on both channels with the FPGA's peak detector
// and the fast frequency meter, and chooses each channel's display, volts per
// division and position, the time base, the trigger source and level, so the
// signal stands still on screen. Runs synchronously on the main loop.
#pragma once
#include <cstdint>

class Menu;
struct TaskResource;
struct _SysResource;
struct _SysRunInfo;

class SysAutoSet {
 public:
  SysAutoSet(TaskResource* resource, Menu* m);

  // 0 on success (the final restore's result), -1 on failure.
  int RunAutoset();
  int AutosetInit();
  int AutoSetExit(short failed);
  // Coarse volts-per-division search over the channels in `mask`: -1, or 3
  // with bit 8 (CH1) / bit 9 (CH2) set for a channel without usable signal.
  int ScanChVoltage(short mask);
  static int WhichVoltage(float volts);
  static int WhichTimeBase(double hertz);
  int GetChFreq(short channel);
  // A software peak finder over an acquired test record (not used by the
  // search): maxima and minima as (CH2 << 8) | CH1.
  int GetMaxMin(short mask, short* max, short* min);
  // Bench test of the peak detector: prints CH1's maximum and minimum.
  int IndependAutoTest();

  // What the last search measured (for the system module and tests).
  float Amplitude(int ch) const { return ch == 1 ? ch2Amplitude_ : ch1Amplitude_; }
  double Frequency(int ch) const { return freq_[ch == 1 ? 1 : 0]; }

 private:
  bool Bind();                     // the system table from the task resource
  int WaitReady();                 // 0, or -1 after the bounded polls
  void ReadPeaks();                // registers 788 and 792 into the last bytes
  int Peak(int ch, bool max) const;
  int Fail();                      // every failure after the first change
  void FinePass(const float* positions, int signalMask);
  void SetTriggerLevels();
  void ApplyTimeBase(int index);   // channel 1, and channel 2 with the independent time base

  bool fineFailed_ = false;
  uint32_t settleUs_ = 0;
  uint32_t cleared_ = 0;
  int16_t savedAcqMode_ = 0;
  int16_t savedDepth_ = 0;
  int16_t savedCoupling_[2] = {};
  int16_t runTrigSource_ = 0;
  int16_t trigSource_ = 0;
  int16_t signalChannels_ = 2;
  int16_t independent_ = 0;
  int16_t split_ = 0;
  float divisor_ = 2.0f;
  float fitDivisor_ = 2.0f;
  int16_t vdiv_[2] = {};
  int16_t max_[2] = {};
  int16_t min_[2] = {};
  int16_t timeBase_[2] = {};
  float ch1Amplitude_ = 0, ch2Amplitude_ = 0;
  double freq_[2] = {};
  int16_t freqStatus_[2] = {};
  TaskResource* task_;
  Menu* menu_;
  _SysResource* resource_ = nullptr;  // the task resource's system table
  _SysRunInfo* run_ = nullptr;
};
