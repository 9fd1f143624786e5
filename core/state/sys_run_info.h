// The run-state accessor `SysRunStatus`: the one way every subsystem reads and
// writes the run-state record `SysRunInfo` (layout in sys_run_info_layout.h).
// Plain fields without a lock: the main loop, the SCPI worker and the threads
// read and write single words.
#pragma once
#include <cstdint>

#include "core/board/mem_depth_table.h"
#include "core/state/sys_run_info_layout.h"
#include "core/state/wave_types.h"

constexpr int kMemDepthMaxIndex = 6;
constexpr uint64_t kFunc70MDepth = 0x2;
constexpr const char* kLanguageListPath = "Data/Menu/Language.txt";

class _SysRunInfoOp {
 public:
  explicit _SysRunInfoOp(_SysRunInfo* info) : info_(info) {}

  // Acquisition status: ch 0/1 else -1; without the independent time base a
  // set writes both channels.
  int SetAcquireStatus(int ch, int v);
  int GetAcquireStatus(int ch) const;

  // Sources.
  int GetChStatus() const { return info_->sourceOn; }
  int SetChStatus(int mask);
  int GetStopChStatus() const { return info_->sourceOnSnapshot; }
  int SetMathHoldChannel(int n);    // 6 or 7, else -1
  int ClearMathHoldChannel(int n);  // 6 or 7, else -1
  int SetTaskDisplayWaveBit(int bits);
  int ClearTaskDisplayWaveBit(int bits);
  int GetTaskDisplayWaveBit() const { return info_->taskWaveBits; }
  int GetWorkCh() const { return info_->workCh; }
  int GetStopWorkCh() const { return info_->workChSnapshot; }
  int GetActivCh() const { return info_->activeCh; }
  int SetActivCh(int ch);

  // Acquire settings.
  int GetAcquireMode() const { return info_->acqMode; }
  int SetAcquireMode(int mode);  // above 3 ignored
  int GetMemDepth(double* points) const;  // index; points may be null
  int SetMemDepth(int index);    // above 6: -1
  double GetAutoMemDepthPoints(int ch) const;  // 0 for another channel
  int GetAcquireAverage(int* index) const;     // null: -1
  int SetAcquireAverage(int index);            // above 12 ignored
  int GetHoriPoints() const { return info_->horiPoints; }

  // Time base.
  int GetTimeBaseType() const { return info_->timeBaseType; }
  int SetTimeBaseType(int type);
  int GetTimeBase(int ch) const;      // ch 0/1 else -1
  int GetRealTimeBase(int ch) const;  // ch 0/1 else -1
  int IsIndependTimeBase() const { return info_->independentTimeBase == 1; }
  void IndependTimeBaseEnable() { info_->independentTimeBase = 1; }
  void IndependTimeBaseDisable() { info_->independentTimeBase = 0; }
  int SetIndependTimeBaseSplit(int v);  // stored mod 2
  int GetIndependTimeBaseSplit() const { return info_->independentSplit; }
  int IsAlternate() const { return IsIndependTimeBase(); }
  void EnableAlternate() { IndependTimeBaseEnable(); }
  void DisableAlternate() { IndependTimeBaseDisable(); }
  int NextAlternateSource() { return 0; }     // no effect
  int GetAlternateSource() const { return 0; }  // no effect
  int SetTimeBaseAdjFlag(int v);  // 0/1, else -1; 1 also stamps the time
  int GetTimeBaseAdjFlag() const { return info_->timeBaseAdjFlag; }
  int SetGuidance(int v);         // above 1: -1
  int GetGuidance() const { return info_->guidance; }

  // Wave.
  int SetWaveType(int type);  // 1 or 2, else -1
  int GetWaveType() const { return info_->waveType; }
  int IsRollEnable() const { return info_->waveType == kWaveRoll; }
  int SetWaveDisplayInfor(int slot, int row, int height);  // slot 0-13, negative values -1
  int GetWaveDisplayInfor(int slot, int* row, int* height) const;
  int SetTestWaveSel(int v);
  int GetTestWaveSel() const { return info_->testWaveSel; }

  // Menu.
  int MenuOnOff();  // toggles, returns the new state
  int IsMenuStatus() const { return info_->menuShown == 1; }
  int LoadMenuStatus() { return 0; }  // no effect
  int SetMenuDisplayTimeS(int code);
  int GetMenuDisplayTimeS() const { return info_->menuTimeCode; }
  void RefreshMenuTime();
  int IsMenuTimeOver() const;

  // Trigger.
  int GetTriggerMode() const { return info_->trigMode; }
  int GetTriggerCoupling() const { return info_->trigCoupling; }
  int GetTriggerSourceCode(int slot) const;  // slot 0/1, else -1
  int SetTriggerSourceCode(int slot, uint32_t code);
  void SetAdjTrigFlag() { info_->trigAdjFlag = 1; }
  int GetAdjTrigFlag() const { return info_->trigAdjFlag; }
  void ClearAdjTrigFlag() { info_->trigAdjFlag = 0; }
  int SetTrigLevelLowHigh(int v);  // above 2: -1
  int GetTrigLevelLowHigh() const { return info_->trigLevelSel; }
  int GetTrigType() const { return info_->trigType; }
  int GetTrigSource() const { return info_->trigSource; }

  // Display.
  int GetDiplayType() const { return info_->displayType; }
  int GetDiplayFormat() const { return info_->displayFormat; }
  int GetDiplayGraticule() const { return info_->graticule; }
  int SetTransparent(int v);
  int GetTransparent() const { return info_->transparent; }
  int SetPrintScreenFormat(int v);
  int GetPrintScreenFormat() const { return info_->printScreenFormat; }

  // Cursors and measure.
  int SetCursorEnable(int v);  // 0/1, else -1
  int IsCursorEnable() const { return info_->cursorOn == 1; }
  int SetCursorType(int v);
  int GetCursorType() const { return info_->cursorType; }
  int SetMeaMasterSource(int v);
  int GetmeaMasterSource() const { return info_->measureMasterSource; }

  // Math and FFT. The text getters copy the 50-byte field (null: -1).
  int SetMathType(int v);  // above 4: -1
  int GetMathType() const { return info_->mathType; }
  int SetMathVoltage(const char* text);
  int GetMathVoltage(char* out) const;
  int SetMathExpression(const char* text);
  int GetMathExpression(char* out) const;
  int SetFFTSource(int v);  // above 1: -1
  int GetFFTSource() const { return info_->fft.source; }
  FftSettings* GetFFTParaAddr() { return &info_->fft; }
  int GetFFTScreen() const { return info_->fft.screen; }

  // Flags.
  void SetPushKey() { info_->keyPushed = 1; }
  void ClearPushKey() { info_->keyPushed = 0; }
  int IsPushKey() const { return info_->keyPushed != 0; }
  void SetDrawRefresh() { info_->drawRefresh = 1; }
  void ClearDrawRefresh() { info_->drawRefresh = 0; }
  int IsDrawRefresh() const { return info_->drawRefresh != 0; }
  void SetInterruptFlag();  // flag 1, count + 1, time stamp (safe in a signal handler)
  void ClearInterruptFlag() { info_->newAcquisition = 0; }
  int GetInterruptFlag() const { return info_->newAcquisition; }
  void SetUsbInsertStatus(int v) { info_->usbDisk = uint16_t(v); }
  int GetUsbInsertStatus() const { return info_->usbDisk; }
  void SetNetInsertStatus(int v) { info_->lanCable = uint16_t(v); }
  int GetNetInsertStatus() const { return info_->lanCable; }

  // Language.
  int SetCurrLanguage(int index);  // 0-19, else -1
  int GetCurrLanguage();           // reads EEPROM byte 1 (0 without EEPROM or out of range)
  int LoadLanguageCountry(const char* path);  // entries stored, or -1
  int SetLanguageCountry(int n, const char* text);
  int GetLanguageCountry(int n, char* out) const;  // copies name n (20 bytes); its length, or -1
  int GetLanguageType(int n, char* out) const;     // 0 "Western", 1 other, -1 bad n

  // Temperature.
  int SetTemperatureOnOff(int v);  // stored mod 2
  int IsTemperatureOnOff() const { return info_->temperatureShown; }
  void SetTemperature(float degrees) { info_->boardTemperature = degrees; }
  float GetTemperature() const { return info_->boardTemperature; }
  int TemperatureEnable(int on = 1);  // temperature compensation, stored mod 2
  int IsTemperatureEnable() const { return info_->temperatureComp; }
  float GetSelfCaliTemperature() const { return selfCaliTemperature_; }

  // Frequency counter.
  int SetCymometerOnOff(int v);  // stored mod 2
  int IsCymometerEnable() const { return info_->cymometerOn != 0; }
  double GetCymometer(int n) const;                // 0-3, else 0
  const char* GetCymometerResult(int n) const;     // its text ("" for a bad n)
  int SetCymometerResult(int n, double value, const FloatElement& element);

  // Functions.
  void SetFuncBit(uint64_t mask) { info_->funcBits |= mask; }
  void ClearFuncBit(uint64_t mask) { info_->funcBits &= ~mask; }
  uint64_t GetFuncBits() const { return info_->funcBits; }

  // Debug switches (values mod 2).
  int IsDebugMsgOn() const { return info_->debugMsg; }
  int SetDebugMsgOnOff(int v);
  int IsDebugPrintQelOn() const { return info_->debugPrint; }
  int SetDebugPrintQelOnOff(int v);
  int IsDebugSoftPicOn() const { return info_->debugPicture; }
  int SetDebugSoftPicOnOff(int v);

  // Device.
  int Get_OEM() const { return info_->oem; }
  void Set_OEM(int v) { info_->oem = uint8_t(v); }
  int Get_BW_LIM() const { return info_->bandwidthClass; }
  void Set_BW_LIM(int v) { info_->bandwidthClass = uint8_t(v); }
  int Get_passFail_flag() const { return info_->passFail; }
  void Set_passFail_flag(int v) { info_->passFail = uint8_t(v); }
  int SetRecordTotal(int n);  // below 1: -1
  int GetRecordTotal() const { return info_->recordTotal; }
  void Record2VideoEnable() { info_->recordToVideo = 1; }
  void Record2VideoDisable() { info_->recordToVideo = 0; }
  int GetRecord2VideoStatus() const { return info_->recordToVideo; }
  void SetFactoryMode(int v) { info_->factoryMode = uint16_t(v); }
  int GetFactoryMode() const { return info_->factoryMode; }
  int SetCustomerFlag(int v);  // stored mod 2
  int GetCustomerFlag() const { return info_->customerFlag; }
  void SetAdcPhaseInformation(int a, int b, int c, int d);
  void GetAdcPhaseInformation(int16_t* a, int16_t* b, int16_t* c, int16_t* d) const;  // nulls skipped

  // Whole record.
  _SysRunInfo* GetSysRunInfoBaseAddr() { return info_; }
  int SysRunInfoSync(int task);
  // Copies from a stored image: mode 0 the horizontal block of source src
  // (0-2) into block dst (8-11), mode 1 the vertical block, mode 2 the seven
  // shared words. -1 for a bad mode, source, block or image. Table indices
  // of a copied block that lie outside their tables take their defaults.
  int UserUpdateRunInfo(int mode, int src, int dst, const _SysRunInfo* image);
  void RefreshRtcTime();
  // Clears the record, loads the hardware models and restores them: defined
  // by the composition root (app/), which links the models.
  int SysRunInit();
  int LoadChCaliData();
  int SaveChChCaliData();
  int SaveAnalogChCaliData();

 private:
  _SysRunInfo* info_;
  float selfCaliTemperature_ = 0.0f;
};

extern _SysRunInfo SysRunInfo;
extern _SysRunInfoOp SysRunStatus;
