// The time base model: the trigger position (pre-trigger depth) in the record.
#include <algorithm>
#include <cmath>
#include <limits>

#include "acquisition/tables/timebase_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/word_list.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/x_system_internal.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/fpga_words.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/common/unit_convert.h"

using namespace xsys;

namespace {
constexpr int kFirstRef = 8;
constexpr int kSingleSweep = 2;

}  // namespace

int x_system::AdjPreTrigDepth(int ch, int step) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  if (resource_->runStatus->IsIndependTimeBase()) resource_->board->SendRealControl(fpga::kChannel, ch <= 1 ? ch : 0);
  const int st = Status(ch);
  if (st == kAcqStopped || st == kAcqKnobApplying || ch >= kFirstRef) {
    AdjStopMovePos(ch, step);
    if (resource_->wave) resource_->wave->SetWaveProcessFlag();
    return 0;
  }

  const HorizontalBlock& h = H(ch);
  const int index = x_system::SafeIndex(h.realTimeBase);
  // A recalled setup's depth and step may be anything: converted within range.
  const int64_t half = ToInt64(Depth(ch)) / 2;
  const double f = SamplesPerPoint(ch);
  const int64_t spp = std::max<int32_t>(1, samplesPerPoint_);
  const int64_t lo = kRecordCentre - kHalfScreen * spp;
  const int64_t hi = kRecordCentre + kHalfScreen * spp;
  const bool interp = Interpolating(ch);
  const bool roll = run_->horiMode == kHoriRoll;

  int64_t depth = h.preTrigDepth;
  int64_t recordHalf = kHalfScreen * std::min<int64_t>(ToInt64(f), kRecordCentre);
  int64_t interpStart = h.interpStart, interpEnd = h.interpEnd;
  if (interp) {
    recordHalf = kHalfScreen;
    const int64_t window = h.interpFactor > 0 ? int64_t(kScreenPoints / h.interpFactor) : kScreenPoints;
    interpStart = kRecordCentre - window / 2;
    interpEnd = kRecordCentre + window / 2;
  }
  if (roll)
    depth = kRecordCentre - half;
  else
    depth = ToInt64(double(depth) + (interp ? double(step) : std::trunc(step * f)));

  bool limit = false;
  if (depth < lo) {
    if ((lo - depth) / f > double(trigDelayLimit_)) {
      depth = lo - ToInt64(double(trigDelayLimit_) * f);
      limit = true;
    }
  } else if (depth > hi) {
    depth = hi;
    limit = true;
  }
  if (limit) resource_->message->SetMessage(kMsgPreTrigLimit);
  if (ch < 4) resource_->eeprom->I2C_WriteU32(EE_PRETRIG_DEPTH + ch * kEePreTrigStride, uint32_t(depth));

  const double o = double(kRecordCentre - depth) / f;  // screen points right of the centre
  const double offsetTime = roll ? 0.0 : o * TimeBaseS[index] / 50;
  {
    SemLock lock(sem_);
    HorizontalBlock& w = H(ch);
    w.preTrigDepth = depth;
    w.recordStart = w.displayStart = kRecordCentre - recordHalf;
    w.recordEnd = w.displayEnd = kRecordCentre + recordHalf;
    w.screenStart = lo;
    w.screenEnd = hi;
    w.interpStart = interpStart;
    w.interpEnd = interpEnd;
    w.offsetTime = offsetTime;
    w.triggerScreenPos = int32_t(std::clamp(kHalfScreen - o, -2.0e9, 2.0e9));
    resource_->unitConvert->TUnitConvert(offsetTime, &w.offsetTimeText);
  }
  SendPreTrigWords(ch, depth, lo, double(half));
  SetDDRRunPara(ch);
  WaveIndicator(ch);
  return 0;
}

// Pre-trigger inside the record: its length in units of 4 samples. Left of
// the record: the trigger delay in units of 4 ns, from the record's start.
void x_system::SendPreTrigWords(int ch, int64_t depth, int64_t lo, double half) {
  WordList w;
  if (depth >= lo) {
    const int64_t q = (depth - lo) / 4;
    w.Add(fpga::kPreTrigger, q == 0 ? 1 : uint32_t(q));
    w.Add(fpga::High(fpga::kPreTrigger), Clamp32(q >> 16));
    w.Add32(fpga::kDelay, 0);
  } else {
    // Whole numbers of samples (of points while interpolating) of a whole
    // number of picoseconds each, so the delay is exact.
    const HorizontalBlock& h = H(ch);
    const int64_t unitPs = Interpolating(ch) ? TimeBasePsPerPoint(x_system::SafeIndex(h.realTimeBase))
                                             : ToInt64(h.samplePeriodNs) * 1000;
    const int64_t units = kRecordCentre - depth - int64_t(half);
    const int64_t limit = std::numeric_limits<int64_t>::max() / std::max<int64_t>(1, unitPs);
    const int64_t delayPs = units > limit ? std::numeric_limits<int64_t>::max() : units * unitPs;
    w.Add32(fpga::kPreTrigger, 0);
    w.Add32(fpga::kDelay, Clamp32(delayPs / 4000));
  }
  w.Send(*resource_->board);
}

int x_system::SetCurrTimebaseRealPreTirgPos(int ch) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  const HorizontalBlock& h = H(ch);
  const double perPoint = TimeBaseS[x_system::SafeIndex(h.realTimeBase)] / 50;
  const double scale = Interpolating(ch) ? 1.0 : std::max(1.0, std::floor(double(h.samplesPerPoint)));
  const int64_t depth = kRecordCentre + ToInt64(std::round(-h.offsetTime / perPoint * scale));
  SemLock lock(sem_);
  H(ch).preTrigDepth = depth;
  return 0;
}

int x_system::MovePreTrigToZero(int ch) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  {
    SemLock lock(sem_);
    HorizontalBlock& h = H(ch);
    h.preTrigDepth = kRecordCentre;
    h.offsetTime = 0;
    h.stopMovePos = 0;
    resource_->unitConvert->TUnitConvert(0.0, &h.offsetTimeText);
  }
  const int st = Status(ch);
  if (st == kAcqStopped || (st == kAcqSingleWaiting && run_->trigMode != kSingleSweep)) AdjStopMovePos(ch, 0);
  return 0;
}
