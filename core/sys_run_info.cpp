#include "core/sys_run_info.h"

#include <cstring>
#include <ctime>

#include "core/eeprom_map.h"
#include "core/i2c_storage.h"
#include "platform/clock.h"

_SysRunInfo SysRunInfo;
_SysRunInfoOp SysRunStatus(&SysRunInfo);

int _SysRunInfoOp::SysRunInit() {
  std::memset(info_, 0, sizeof *info_);
  info_->waveType = 1;
  info_->menuShown = 1;
  info_->language = uint16_t(GetCurrLanguage());
  RefreshRtcTime();
  info_->drawRefresh = 1;
  return 0;
}

int _SysRunInfoOp::GetCurrLanguage() {
  info_->language = I2cStorage.IsOpen() ? I2cStorage.I2C_ReadU8(EE_LANGUAGE) : 0;
  return info_->language;
}

void _SysRunInfoOp::SetAdcPhaseInformation(int a, int b, int c, int d) {
  info_->adcPhase[0] = uint16_t(a);
  info_->adcPhase[1] = uint16_t(b);
  info_->adcPhase[2] = uint16_t(c);
  info_->adcPhase[3] = uint16_t(d);
}

int _SysRunInfoOp::SetAcquireStatus(int ch, int v) {
  if (ch != 0 && ch != 1) return -1;
  if (IsIndependTimeBase()) {
    info_->acqStatus[ch] = uint16_t(v);
  } else {
    info_->acqStatus[0] = info_->acqStatus[1] = uint16_t(v);
  }
  return 0;
}

void _SysRunInfoOp::RefreshMenuTime() { plat::WallTime(&info_->menuTimeSec, &info_->menuTimeUsec); }

void _SysRunInfoOp::RefreshRtcTime() {
  int32_t sec = 0;
  plat::WallTime(&sec, nullptr);
  time_t t = sec;
  struct tm tm;
  gmtime_r(&t, &tm);
  int32_t v[6] = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  std::memcpy(info_->rtc, v, sizeof v);
}
