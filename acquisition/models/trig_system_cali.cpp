// The trigger hardware model: calibration points of the trigger-level DAC.
#include <algorithm>
#include <cstdio>

#include "acquisition/models/cali_para.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/y_system.h"
#include "core/board/ch_cali_data.h"
#include "core/board/control.h"
#include "core/state/system_resource.h"

namespace {
constexpr int kExtSlot = 4;
constexpr int kDacMax = 4095;
enum CaliKind { kZero = 0, kOffsetZero = 1, kUp75 = 2, kDown75 = 3 };
}  // namespace

// The sub-record of (source, V/div index, slope): a channel's own record, the
// external input's in channel 0's records; null for anything else.
CaliTrigSub* trig_system::CaliSub(int src, int idx, int slope) const {
  if (!cal_ || !resource_ || (src != 0 && src != 1 && src != kExtSlot) || (slope != 0 && slope != 1)) return nullptr;
  const int minLevel = resource_->vertical ? resource_->vertical->GetChMinLevel() : kCaliFirstRange;
  if (idx < minLevel || idx > kCaliLastRange) return nullptr;
  CaliRecord* r = cal_->Record(src == kExtSlot ? 0 : src, idx);
  if (!r) return nullptr;
  if (src == kExtSlot) return slope == 1 ? &r->extAc : &r->extDc;
  return slope == 1 ? &r->trigAc : &r->trigDc;
}

int trig_system::SetTriggerCaliPara(int src, int idx, int slope, int kind, const CaliPara* para) {
  CaliTrigSub* sub = CaliSub(src, idx, slope);
  if (!sub || !para) return -1;
  const uint16_t code = para->word[0];
  switch (kind) {
    case kOffsetZero:
      sub->offsetZero = code;
      std::printf("Ch = %d TRIG_CALI_OFFSETZERO = %d  \n", src, code);
      break;
    case kUp75:
      sub->up75 = code;
      std::printf("Ch = %d  TRIG_CALI_OFFSETUP75 = %d \n", src, code);
      break;
    case kDown75:
      sub->down75 = code;
      std::printf("Ch = %d  TRIG_CALI_OFFSETDOWN75 = %d \n", src, code);
      break;
    default:
      sub->zero = code;
      if (kind == kZero) std::printf("Ch = %d  %s TRIG_CALI_ZERO = %d \n", src, VoltageStr[idx], code);
  }
  sub->word1 = para->word[1];
  sub->word3 = para->word[3];
  sub->word5 = para->word[5];
  return 0;
}

int trig_system::TriggerCaliDacAdjust(int src, int idx, int slope, int kind, int step) {
  CaliTrigSub* sub = CaliSub(src, idx, slope);
  if (!sub) return -1;
  uint16_t* code = kind == kOffsetZero ? &sub->offsetZero
                   : kind == kUp75     ? &sub->up75
                   : kind == kDown75   ? &sub->down75
                                       : &sub->zero;
  const int64_t wanted = kind >= kZero && kind <= kDown75 ? int64_t(*code) + step : int64_t(step);
  const int value = int(std::clamp<int64_t>(wanted, 0, kDacMax));
  *code = uint16_t(value);
  resource_->board->ChannelDAC_Set(2, value);
  return value;
}
