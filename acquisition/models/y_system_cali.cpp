// The vertical model: the calibration records of the channels.
#include <cstdio>

#include "acquisition/models/cali_para.h"
#include "acquisition/models/y_system.h"
#include "core/board/ch_cali_data.h"
#include "core/board/control.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

namespace {
constexpr int kAnalog = 2;
constexpr int kCentreDacMax = 4089;
}  // namespace

int y_system::ChCaliDacAdjust(int ch, int index, int step) {
  if (ch < 0 || ch >= kAnalog || index < minLevel_ || index > kMaxRealIndex) return -1;
  CaliRecord* r = Record(ch, index);
  if (!r) return -1;
  const int code = r->centreDac + step;
  if (code < 0 || code > kCentreDacMax) return -1;
  {
    SemLock lock(sem_);
    r->centreDac = uint16_t(code);
  }
  res_->board->ChannelDAC_Set(ch, code);
  return code;
}

int y_system::SetChCaliPara(int ch, int index, const CaliPara* para) {
  if (ch < 0 || ch >= kAnalog || index < minLevel_ || index > kMaxRealIndex || !para) return -1;
  CaliRecord* r = Record(ch, index);
  if (!r) return -1;
  {
    SemLock lock(sem_);
    uint16_t* words[6] = {&r->centreDac, &r->centrePos, &r->upperDac, &r->upperPos, &r->lowerDac, &r->lowerPos};
    for (int i = 0; i < 6; ++i) *words[i] = para->word[i];
    // The slopes follow the new points at once, as a reload of the file
    // would derive them, so the position applied next uses them.
    DeriveChCaliData(cal_);
  }
  AdjYPosition(ch, 0);
  return 0;
}

int y_system::SetAdcGain(int ch, int index, const int16_t gains[2]) {
  if (ch < 0 || ch >= kAnalog || index < minLevel_ || index > kMaxRealIndex || !gains || !cal_) return -1;
  SemLock lock(sem_);
  for (int i = kCaliFirstRange; i <= kCaliLastRange; ++i) {
    CaliRecord* r = cal_->Record(ch, i);
    r->adcGain1 = uint16_t(gains[0]);
    r->adcGain2 = uint16_t(gains[1]);
  }
  return 0;
}

int y_system::GetAdcGain(int ch, int index, uint16_t* gains) const {
  if (ch < 0 || ch >= kAnalog || index < minLevel_ || index > kMaxRealIndex || !gains) return -1;
  const CaliRecord* r = Record(ch, index);
  if (!r) return -1;
  gains[0] = r->adcGain1;
  gains[1] = r->adcGain2;
  return 0;
}
