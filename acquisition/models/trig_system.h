// The trigger hardware model `Trigger`: keeps the trigger level of every
// source as a code, a comparator value, a draw position and a voltage,
// computes the trigger-level DAC code from the channel calibration, sends the
// trigger type, source, coupling, sweep mode and the parameter words of all
// seventeen trigger types, and saves the CH1/CH2 level codes in the EEPROM.
//
// Sources: 0 CH1, 1 CH2, 3 the external input (its level lives in slot 4),
// 4 and 5 further slots; 2 has no level. Levels: 0 first, 1 second.
// Level stores are made under the shared semaphore, released before any
// board-control call.
#pragma once
#include <cstdint>

#include "core/messages/semaphore.h"

struct CaliDataForCh;
struct CaliPara;
struct CaliTrigSub;
struct TrigLevel;
struct _SysResource;
struct _SysRunInfo;
class WordList;

class trig_system {
 public:
  static constexpr int kLevelLimit = 200;      // codes either way, channels
  static constexpr int kExtLevelLimit = 1000;  // external input
  static constexpr int kLevelGap = 10;         // least distance of two levels
  static constexpr int16_t kDefaultLevel[2] = {-25, 0};

  trig_system();

  // Start-up: binds the calibration, resource table and run state and reads
  // the level codes of sources 0..5 from the EEPROM (defaults on a blank one).
  void LoadTrigsystem(CaliDataForCh* cal, _SysResource* res, _SysRunInfo* run);
  bool PointerNullCheck() const { return resource_ && run_; }

  // Levels.
  int GetTriggerPos(int src, int level) const;
  int GetTriggerDrawPos(int src, int level) const;
  double GetTriggerVoltage(int src, int level) const;
  // The level code of channel `src` whose voltage (as GetTriggerVoltage
  // gives it: at the probe tip, from the channel's zero line when the
  // coupling is DC-referenced) is nearest `volts`, within the level limit.
  int LevelCodeForVoltage(int src, double volts) const;
  double SetTriggerVoltage(int src, int level, double v);
  int SetTriggerPos(int src, int level, int code);
  int AdjTriggerPosition(int step);
  int TrigVoltageSyncProbeRatio(float ratio);
  int GetTrigLevel() const;
  // The level that drives the comparator for a trigger type and slope.
  static int ComparatorLevel(int type, int slope);
  int GetSourceSoftTrig(int src);
  int SetSoftTrigValue();

  // Source, type, sweep, force, coupling and the whole configuration.
  int SetTriggerSource(int src);
  // Puts back a source saved before another was set for the moment: the
  // source, then the source word the type's configuration sends when the
  // type triggers on a source of its own (the delay's second source).
  int RestoreTriggerSource(int src);
  int GetTriggerSource() const;
  int SetTriggerType(int type);
  int SetTriggerMode(int mode);
  int ForceTrigger();
  int SetTriggerCoupling();
  int SentTriggerConfigPara();
  int AlternateTrigSet(int n);

  // Calibration of the trigger-level DAC.
  int TriggerCaliDacAdjust(int src, int idx, int slope, int kind, int step);
  int SetTriggerCaliPara(int src, int idx, int slope, int kind, const CaliPara* para);

  // A trigger time count (ns for the pulse type, else 4 ns) as the 32-bit
  // 4-ns count the time-limit words carry, held at the largest count instead
  // of wrapping.
  static uint32_t TimeCountWord(uint64_t count, bool nanoseconds);

  int GetKeptDac(int src) const { return src >= 0 && src < 4 ? dacCode_[src] : -1; }

 private:
  TrigLevel* Level(int src, int level) const;  // null for a bad source or level
  int Coupling() const;
  bool AcReferenced() const;  // couplings 1 and 3
  int DacCode(int src, int c, int code, int* range) const;
  int SendFrontEnd();
  int SourceWord() const;  // what the configuration writes to the source word
  void UpdateVoltages(int src);
  void UpdateSlewRates(int src);
  int StoreLevel(int src, int level, int code);
  CaliTrigSub* CaliSub(int src, int idx, int slope) const;

  // The per-type word lists.
  void AddTimeLimits(WordList& w) const;
  void AddRs232(WordList& w);
  void AddI2c(WordList& w);
  void AddSpi(WordList& w);
  void AddCan(WordList& w);
  void AddLin(WordList& w);
  void AddBusWord(WordList& w, int word, uint32_t value);
  void AddBusPair(WordList& w, int lowWord, uint32_t value);
  void AddDataPairs(WordList& w, const uint8_t* bytes, int firstWord);

  _SysResource* resource_ = nullptr;
  _SysRunInfo* run_ = nullptr;
  semaphore sem_;
  int16_t dacCode_[4] = {};
  CaliDataForCh* cal_ = nullptr;
};

extern trig_system Trigger;
