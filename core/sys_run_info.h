// The run-state record and its accessor. Only the part start-up and the main
// loop use is here so far.
#pragma once
#include <cstdint>

struct _SysRunInfo {
  uint16_t acqStatus[2];
  uint16_t sourceMask;
  uint16_t activeCh;
  uint16_t waveType;
  uint16_t trigType;
  uint16_t trigMode;
  uint16_t menuShown;
  uint16_t menuTimeCode;
  uint16_t independent;
  uint16_t keyPushed;
  uint16_t drawRefresh;
  uint16_t language;
  uint16_t usbDisk;
  uint16_t lanCable;
  uint16_t newAcq;
  uint32_t acqCount;
  uint8_t oem;
  uint16_t cymometerOn;
  uint16_t realTimeBase[2];
  uint16_t adcPhase[4];
  int32_t rtc[6];
  int32_t menuTimeSec, menuTimeUsec;
};

class _SysRunInfoOp {
 public:
  explicit _SysRunInfoOp(_SysRunInfo* info) : info_(info) {}
  _SysRunInfo* GetSysRunInfoBaseAddr() { return info_; }
  int SysRunInit();
  int GetCurrLanguage();
  void SetAdcPhaseInformation(int a, int b, int c, int d);
  int GetChStatus() const { return info_->sourceMask; }
  void SetChStatus(int mask) { info_->sourceMask = uint16_t(mask); }
  int GetActivCh() const { return info_->activeCh; }
  void SetActivCh(int ch) { info_->activeCh = uint16_t(ch); }
  int Get_OEM() const { return info_->oem; }
  int GetAcquireStatus(int ch) const { return ch == 0 || ch == 1 ? info_->acqStatus[ch] : -1; }
  int SetAcquireStatus(int ch, int v);
  bool IsIndependTimeBase() const { return info_->independent != 0; }
  int GetRealTimeBase(int ch) const { return ch == 0 || ch == 1 ? info_->realTimeBase[ch] : -1; }
  int GetTriggerMode() const { return info_->trigMode; }
  int GetWaveType() const { return info_->waveType; }
  int GetTrigType() const { return info_->trigType; }
  int GetInterruptFlag() const { return info_->newAcq; }
  void SetInterruptFlag() {
    info_->newAcq = 1;
    ++info_->acqCount;
  }
  void ClearInterruptFlag() { info_->newAcq = 0; }
  int MenuOnOff() { return info_->menuShown = info_->menuShown ? 0 : 1; }
  bool IsMenuStatus() const { return info_->menuShown != 0; }
  int GetMenuDisplayTimeS() const { return info_->menuTimeCode; }
  void RefreshMenuTime();
  void SetPushKey() { info_->keyPushed = 1; }
  void ClearPushKey() { info_->keyPushed = 0; }
  bool IsPushKey() const { return info_->keyPushed != 0; }
  void SetDrawRefresh() { info_->drawRefresh = 1; }
  void ClearDrawRefresh() { info_->drawRefresh = 0; }
  bool IsDrawRefresh() const { return info_->drawRefresh != 0; }
  void RefreshRtcTime();
  void SetUsbInsertStatus(int v) { info_->usbDisk = uint16_t(v); }
  int GetUsbInsertStatus() const { return info_->usbDisk; }
  void SetNetInsertStatus(int v) { info_->lanCable = uint16_t(v); }
  int GetNetInsertStatus() const { return info_->lanCable; }
  bool IsCymometerEnable() const { return info_->cymometerOn != 0; }

 private:
  _SysRunInfo* info_;
};

extern _SysRunInfo SysRunInfo;
extern _SysRunInfoOp SysRunStatus;
