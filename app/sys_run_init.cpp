// The run state's start-up: the record cleared and given its defaults, and
// the hardware models loaded with the calibration, the resources and the
// record and restored from the EEPROM.
#include <cstring>

#include "acquisition/models/trig_system.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/ch_cali_data.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/messages/request.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

namespace {
constexpr uint16_t kDefaultSlotRow = 233;
constexpr uint16_t kDefaultSlotHeight = 400;
constexpr uint32_t kRecordCentre = 35000000;
constexpr uint32_t kRecordSamples = 70000000;
}  // namespace

int _SysRunInfoOp::SysRunInit() {
  // 1. The EEPROM, the calibration data, a clear head of the record.
  I2cStorage.I2C_Init();
  LoadChCaliData();
  std::memset(info_, 0, kRunInfoClearedHead);

  // 2. The hardware models take the calibration block, the resources and the
  // record, and restore their settings from the EEPROM.
  Trigger.LoadTrigsystem(&ChSelfCaliData, &SystemResource, info_);
  SysRequest.LoadResource(&SystemResource, info_);
  Vertical.LoadYsystem(&ChSelfCaliData, &SystemResource, info_);
  TimeBase.LoadXsystem(&SystemResource, info_);

  // 3. Defaults.
  info_->startupMark = 255;
  info_->readBlockSize = 8192;
  info_->memDepthIndex = 1;
  info_->waveType = 1;
  info_->menuShown = 1;
  info_->taskWaveBits = 0;
  info_->acqMode = 0;
  info_->displayType = 0;
  info_->displayFormat = 0;
  info_->trigType = 0;
  info_->timeBaseType = 0;
  info_->guidance = 0;
  info_->mathType = 0;
  info_->independentTimeBase = 0;
  info_->testWaveSel = 0;
  GetCurrLanguage();
  info_->usbDisk = 0;
  info_->lanCable = 0;
  info_->newAcquisition = 0;
  info_->funcBits = 0;
  info_->customerFlag = 0;
  for (WaveSlot& s : info_->waveSlot) s = {kDefaultSlotRow, kDefaultSlotHeight};
  info_->temperatureShown = 0;
  info_->boardTemperature = 0;
  info_->bandwidthClass = 1;
  info_->temperatureComp = 0;
  info_->recordToVideo = 0;
  info_->recordTotal = 0;
  std::memset(info_->languageName, 0, sizeof info_->languageName);
  std::memset(info_->languageType, 0, sizeof info_->languageType);

  // 4. Language list, clock, LEDs, and the time base and trigger position
  // restored from the EEPROM.
  LoadLanguageCountry(kLanguageListPath);
  RefreshRtcTime();
  QelControl.LedCtrl(info_);
  WaveOp.WaveInit(&QelControl, info_);
  uint32_t depth = I2cStorage.I2C_ReadU32(EE_PRETRIG_DEPTH);
  if (depth > kRecordSamples) depth = kRecordCentre;  // blank or damaged word
  TimeBase.AdjTimeBase(0, 0);
  TimeBase.SetRealPreTrigDepth(0, depth);
  TimeBase.AdjPreTrigDepth(0, 0);
  Trigger.AdjTriggerPosition(0);
  QelControl.ChannelModeSet();
  info_->drawRefresh = 1;
  info_->keyPushed = 0;
  return 0;
}
