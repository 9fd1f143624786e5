// The vertical (channel) hardware model: turns each channel's settings into
// front-end, offset-DAC, fine-gain, invert and soft-offset words, keeps them
// in the vertical blocks of the run state, saves the persistent ones in the
// EEPROM and applies the channel calibration.
//
// Sources: 0 CH1, 1 CH2, 5 math, 8..11 references (one run-state block each,
// 0..11). Operations that touch hardware accept the channels 0 and 1 only.
// -1 is the error result of every operation; a bad source or index changes
// nothing.
//
// Locking: block fields are written under the shared semaphore, released
// before any board-control call (which takes it per FPGA access).
#pragma once
#include <cstdint>

#include "core/messages/semaphore.h"

struct CaliDataForCh;
struct CaliPara;
struct CaliRecord;
struct FloatElement;
struct VerticalBlock;
struct _SysResource;
struct _SysRunInfo;

class y_system {
 public:
  static constexpr int kMaxRealIndex = 16;  // 20 V/div at probe 1x
  static constexpr int kPositionMin = -73;  // 127 - 8 divisions
  static constexpr int kPositionMax = 327;  // 127 + 8 divisions
  static constexpr int kDefaultIndex = 12;  // 1 V/div
  static constexpr int kDefaultProbe = 3;   // 1x
  static constexpr int kCentre = 127;

  // Bound to the process-wide calibration block, resource table and run state
  // from the start (only their addresses are taken); LoadYsystem binds the
  // ones it is given and restores the settings.
  y_system();

  // Start-up and bulk operations.
  void LoadYsystem(CaliDataForCh* cal, _SysResource* res, _SysRunInfo* run);
  int YParaSyncRefresh();
  int AllChannelCtrlRefresh();
  int SyncChannelConfig();  // -1 when sampling had to restart
  int SetAllChSoftOffset();
  int FineGain(int ch);
  int AllChFineGain();

  // Channel on/off, coupling, bandwidth limit, unit.
  int SetChOnOff(int src, int on);  // src 0..13
  int GetChOnOff(int src) const;
  int SetChCoupling(int ch, int coupling);
  int GetChCoupling(int ch) const;
  int SetChBwLimit(int ch, int on);
  int GetChBwLimit(int ch) const;
  int SetChUnit(int src, int unit);
  int GetChUnit(int src) const;

  // Selected values (the kept record's), no hardware.
  int SetYsensitivity(int src, int index);
  int GetYsensitivity(int src) const;
  int SetYposition(int src, int position);
  int GetYposition(int src) const;

  // Probe.
  int SetYprobe(int ch, int probe);
  int SetYRealprobe(int ch, int probe);
  int GetYRealprobe(int ch) const;
  float GetYRealProbeScale(int src) const;  // 1.0 for other sources
  float GetReal_ProbeScale(int ch) const;   // 1.0 for other sources
  float SetReal_CustomProbeScale(int ch, float ratio);  // -1.0 refused
  float SetReal_ProbeScale(int ch, float ratio);        // -1.0 refused

  // Invert.
  int SetYInvert(int ch, int on);
  int GetYInvert(int ch) const;

  // Volts per division and position in force.
  int SetRealYsensitivity(int src, int index);
  int SetRealYsensitivityForVoltage(int src, double volts);
  int GetRealYsensitivity(int src) const;
  float GetRealYDivVoltage(int src) const;
  float SetRealYDivVoltage(int ch, float volts);  // 0.0 refused
  int GetRealYVoltage(int src, FloatElement* out) const;
  int SetRealYposition(int src, int position);
  int GetRealYposition(int src) const;  // 0 for a bad source
  int GetOffsetVoltage(int ch, FloatElement* out) const;
  int GetOffsetTime() const;
  int SetDC_Offset(int ch, float value);

  // Vernier.
  int GetFineOnOff(int ch) const;
  int SetFineOnOff(int ch, int on);
  float GetFineCoeff(int ch) const;  // 1.0 for other sources

  // Knob steps (step 0 re-applies the setting to the hardware).
  int AdjYsensitivity(int src, int step);      // the V/div index in force
  int AdjYsensitivityFine(int src, int step);  // 1: take the coarse step
  int AdjYPosition(int src, int step);         // the position in force

  // Labels (ch 0..2; slot 2 shares CH1's EEPROM bytes).
  int SetChLabelName(int ch, const char* text);
  const char* GetChLabelName(int ch) const;  // null for a bad ch
  int IsChLableEnable(int ch) const;
  int LoadChLableName(int ch);

  // Calibration.
  int ChCaliDacAdjust(int ch, int index, int step);
  int SetChCaliPara(int ch, int index, const CaliPara* para);
  int SetAdcGain(int ch, int index, const int16_t gains[2]);
  int GetAdcGain(int ch, int index, uint16_t* gains) const;

  // Temperature compensation and the 500 uV/div range.
  int AdjYTemperaturePosition(int ch, int delta);
  int ChTemperaturePixelAdj(int ch, int code);
  void Ch500uVEnable();
  int GetChMinLevel() const { return minLevel_; }

 private:
  VerticalBlock* Block(int src) const;  // null for a bad source or an unbound model
  VerticalBlock* Channel(int ch) const;  // ch 0/1 only
  int Status(int ch) const;             // acquisition status (channel 0's for other sources)
  CaliRecord* Record(int ch, int index) const;
  int OffsetDac(int ch, int index, int dacPosition) const;
  int DacPosition(int ch, int position) const;  // temperature and invert applied
  int SendFrontEnd();
  int SendInvert();
  uint16_t FineGainWord(int ch, bool shown) const;
  float ProbeRatio(const VerticalBlock& b, int probe) const;

  // The waveform engine's count of acquisitions read since the last change,
  // and its reprocessing of the kept record.
  bool ReadSinceChange() const;
  void ClearReadCount();
  void Reprocess();

  // The trigger follows range, position and probe changes of its source.
  void TriggerFollowRange(int ch, int position);
  void TriggerFollowPosition(int ch, int step);
  void TriggerFollowProbe(int ch, float ratio);
  void TriggerStep(int step);

  _SysResource* res_;
  _SysRunInfo* run_;
  semaphore sem_;
  int32_t tempCorrection_[2] = {};
  uint16_t liveMask_ = 0;
  int16_t enable500uV_ = 0;
  CaliDataForCh* cal_;
  int16_t minLevel_ = 3;
  bool loading_ = false;  // inside LoadYsystem
};

extern y_system Vertical;
