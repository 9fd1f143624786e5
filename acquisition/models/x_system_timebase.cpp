// The time base model: a time-base step, live and on a stopped record.
#include <algorithm>

#include "acquisition/tables/timebase_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/word_list.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/x_system_internal.h"
#include "acquisition/models/y_system.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/fpga_words.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

using namespace xsys;

namespace {
constexpr int kFirstBusType = 12, kLastBusType = 16;
constexpr int kFirstRef = 8, kLastRef = 11;
constexpr int kFastestDelayIndex = 8;  // below it one second of delay, else ten

}  // namespace

int x_system::AdjTimeBase(int ch, int step) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  control& board = *resource_->board;
  _SysRunInfoOp& status = *resource_->runStatus;
  const bool independent = status.IsIndependTimeBase();
  {
    WordList w;
    if (!independent && ch <= 1) ch = 0;
    w.Add(fpga::kChannel, independent ? ch : 0);
    w.Add(fpga::kSplit, independent ? status.GetIndependTimeBaseSplit() : 0);
    w.Send(board);
  }

  // The new index, held inside its bounds.
  const int previous = H(ch).realTimeBase;
  const bool bus = run_->trigType >= kFirstBusType && run_->trigType <= kLastBusType;
  const int upper = !independent && !bus ? kTimeBaseMaxIndex : lastRealTimeBase_;
  const int lower = Get_timeBase_MIN();
  int64_t wanted = int64_t(previous) + step;
  bool limit = false;
  if (wanted > upper) wanted = upper, limit = true;
  if (wanted < lower) wanted = lower, limit = true;
  int index = int(wanted);
  if (run_->displayFormat == 1 && index >= rollThreshold_) index = lastRealTimeBase_, limit = true;
  if (limit) resource_->message->SetMessage(kMsgTimeBaseLimit);

  const int st = Status(ch);
  if (st != kAcqStopped) {
    // One second's worth of screen points (ten from 50 ns/div on).
    const int64_t seconds = index < kFastestDelayIndex ? 1 : 10;
    trigDelayLimit_ = seconds * 1000000000000LL / TimeBasePsPerPoint(index);
  }
  {
    SemLock lock(sem_);
    H(ch).realTimeBase = uint16_t(index);
  }
  if (ch <= 1) resource_->eeprom->I2C_WriteU8(EE_TIMEBASE + ch * kEeTimeBaseStride, uint8_t(index));

  if (ch >= kFirstRef && ch <= kLastRef) {
    const HorizontalBlock& h = H(ch);
    const double ratio = TimeBaseS[index] / TimeBaseS[x_system::SafeIndex(h.timeBase)];
    if (h.acqSamplesPerPoint[0] * ratio * 100 < 1) {
      UndoTimeBase(ch, previous);
      resource_->message->SetMessage(kMsgTimeBaseLimit);
    }
    if (resource_->wave) resource_->wave->SetWaveProcessFlag();
    return 0;
  }
  if (ch >= 4) return 0;
  if (st == kAcqStopped || st == kAcqKnobApplying) return AdjTimeBaseStopped(ch, index, previous);

  // Live: the acquisition is held while every word changes.
  const bool single = st == kAcqSingleWaiting;
  if (single) {
    SemLock lock(sem_);
    status.SetAcquireStatus(ch == 1 ? 1 : 0, 0);
  } else {
    board.FPGAResetEnable();
  }
  DisplayWaveMode();
  ChangeAcqWaveMode(ch);
  AdjSample(ch);
  AdjMemDepth(ch);
  SetCurrTimebaseRealPreTirgPos(ch);
  {
    SemLock lock(sem_);
    H(ch).stopMovePos = 0;
  }
  AdjPreTrigDepth(ch, 0);
  AdjAcquireMode(ch);
  AdjHoldOff(ch);
  SetDDRRunPara(ch);
  if (resource_->vertical) resource_->vertical->AllChFineGain();
  if (single && resource_->wave && resource_->wave->RunCount() > 0) {
    board.AcquireStart();
    return 0;
  }
  status.ClearInterruptFlag();
  board.SysSample();
  WaveIndicator(ch);
  SettingsWaitMs(20);
  return 0;
}

void x_system::UndoTimeBase(int ch, int previous) {
  {
    SemLock lock(sem_);
    H(ch).realTimeBase = uint16_t(previous);
  }
  if (ch <= 1) resource_->eeprom->I2C_WriteU8(EE_TIMEBASE + ch * kEeTimeBaseStride, uint8_t(previous));
}

// Stopped: the kept record is re-windowed for the new time base.
int x_system::AdjTimeBaseStopped(int ch, int index, int previous) {
  const int st = Status(ch);
  const HorizontalBlock& h = H(ch);
  const int selected = x_system::SafeIndex(h.timeBase);
  const double f = StoredSamplesPerPoint(ch);
  const double d = StopSamplesPerPoint(ch);
  const int64_t middle = (h.recordStart + h.recordEnd) / 2;
  int64_t half = 0;
  float multiplier = 1.0f;
  float factor = h.interpFactor;
  int64_t interpStart = h.interpStart, interpEnd = h.interpEnd;
  if (d < 1) {
    if (d * 100 < 2) {
      UndoTimeBase(ch, previous);
      resource_->message->SetMessage(kMsgTimeBaseLimit);
      return 0;
    }
    factor = float(CalcuSample(index) / std::min(1e9, CalcuSample(selected) * std::max(1.0, f)));
    const int64_t window = int64_t(kScreenPoints / factor);
    interpStart = kRecordCentre - window / 2;
    interpEnd = kRecordCentre + window / 2;
    multiplier = 100.0f;
    half = kScreenPoints / 2;
  } else {
    half = int64_t(d * kScreenPoints) / 2;
  }
  {
    SemLock lock(sem_);
    HorizontalBlock& w = H(ch);
    w.interpMultiplier = multiplier;
    w.interpFactor = factor;
    w.interpStart = interpStart;
    w.interpEnd = interpEnd;
    w.displayStart = middle - half;
    w.displayEnd = middle + half;
  }
  RequestStopOp(ch);
  if (run_->horiMode != 3) RefreshPreTriggerPos(ch);
  if (st == kAcqStopped) WaveIndicator(ch);
  return 0;
}
