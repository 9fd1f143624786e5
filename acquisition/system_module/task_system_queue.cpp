// The system module's two queues of knob operations: the op queue, replayed
// whole after the next read-out, and the delayed ring, whose entries run one
// second after they were queued. The main loop, the temperature thread and
// the SCPI worker all append; the queues' own lock guards the indices and is
// released before an entry runs on the models.
#include <cstdio>

#include "acquisition/system_module/task_system.h"
#include "acquisition/system_module/task_system_internal.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/control.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"

using namespace sysmod;

namespace {
constexpr int64_t kDelayUs = 1000000;
constexpr int kPositionSettleMs = 20;
constexpr int kBwLimitVdiv = 2;  // below 2 mV/div the bandwidth limit goes on
constexpr int kBwLimitSelector = 1;
constexpr int kAcqModeAverage = 3;

bool MergesStep(int key) { return key == kSysKeyOffsetR || key == kSysKeyOffsetL; }

// What the replay puts back after the entries ran.
struct Saved {
  int status, tbType, acqMode, format;
};

Saved SaveState() {
  return {Status0(), Run().GetTimeBaseType(), Run().GetAcquireMode(), Run().GetDiplayFormat()};
}
}  // namespace

int TaskForSystem::AppendOpCmd(int16_t key, int16_t channel, int16_t step, int16_t status) {
  std::lock_guard<std::mutex> lock(queueMu_);
  if (ops_.last + 1 >= kSysQueueEntries) return -1;
  for (int i = 0, at = ops_.read; i <= ops_.last; ++i, at = (at + 1) % kSysQueueEntries) {
    SysOpCmd& e = ops_.entry[at];
    if (e.key != key || e.channel != channel) continue;
    if (!MergesStep(key)) return -1;
    e.step = int16_t(e.step + step);
    return 0;
  }
  SysOpCmd& e = ops_.entry[ops_.write];
  e.key = key;
  e.channel = channel;
  e.step = step;
  e.status = status;
  e.stampUs = status == kAcqKnobFollowUp ? plat::MonoUs() : 0;
  appendStampUs_ = plat::MonoUs();
  ++ops_.last;
  ops_.write = (ops_.write + 1) % kSysQueueEntries;
  return 0;
}

int16_t TaskForSystem::IsAppendOpCmd() const {
  std::lock_guard<std::mutex> lock(queueMu_);
  return int16_t(ops_.last);
}

bool TaskForSystem::ApplyOp(const SysOpCmd& op) {
  x_system& x = *Sys().timeBase;
  y_system& y = *Sys().vertical;
  const int ch = op.channel;
  switch (op.key) {
    case kSysKeyOffsetOk:
    case kSysKeyOffsetR:
    case kSysKeyOffsetL:
      y.AdjYPosition(ch, op.step);
      return true;
    case kSysKeyPreTrigOk:
    case kSysKeyPreTrigR:
    case kSysKeyPreTrigL:
      if (Run().GetTimeBaseType() == 1)
        x.AdjZoomMovePos(ch, op.step);
      else
        x.AdjPreTrigDepth(ch, op.step);
      Sys().board->SysSample();
      return false;
    case kSysKeyVoltsR:
    case kSysKeyVoltsL:
      y.AdjYsensitivity(ch, op.step);
      if (y.GetRealYsensitivity(ch) == kBwLimitVdiv)
        AssistTo(ch == 1 ? kCh2Task : kCh1Task, kAssistSetItem, kBwLimitSelector, 1);
      return false;
    case kSysKeyTbR:
    case kSysKeyTbL:
      if (Run().GetTimeBaseType() == 1) {
        x.AdjZoomTimeBase(ch, op.step);
        if (Run().GetAcquireMode() == kAcqModeAverage) x.AdjTimeBase(ch, 0);
      } else {
        x.AdjTimeBase(ch, op.step);
        if (Run().GetDiplayFormat() == 1) {
          x.SetZoomTimeBase(ch, x.GetRealTimeBase(ch));
          x.AdjZoomTimeBase(ch, 0);
        }
      }
      Sys().board->WaitingDrawingIdle();
      return false;
    case kSysOpTemperature:
      y.AdjYTemperaturePosition(ch, op.step);
      return false;
    default:
      return false;
  }
}

int TaskForSystem::RunAppendOpCmd() {
  int found;
  {
    std::lock_guard<std::mutex> lock(queueMu_);
    found = ops_.last;
  }
  if (found < 0) return -1;
  bool moved = false;
  {
    // Whole: a command among the entries would see its run state put back.
    SettingsKeep whole;
    const Saved saved = SaveState();
    for (;;) {
      SysOpCmd op;
      {
        std::lock_guard<std::mutex> lock(queueMu_);
        if (ops_.last < 0) break;
        op = ops_.entry[ops_.read];
        ops_.entry[ops_.read].key = int16_t(kSysQueueFree);
        --ops_.last;
        ops_.read = (ops_.read + 1) % kSysQueueEntries;
      }
      if (op.key != kSysOpTemperature) SetStatus0(op.status);
      moved |= ApplyOp(op);
    }
    SetStatus0(saved.status);
  }
  if (moved) SettingsWaitMs(kPositionSettleMs);  // the state it found is back
  return found;
}

int TaskForSystem::DelayRunAppendOpCmd(int16_t key, int16_t channel, int16_t step, int16_t type) {
  std::lock_guard<std::mutex> lock(queueMu_);
  // Entries merge on key and channel: one block's refresh never swallows another's.
  for (SysOpCmd& e : delay_) {
    if (e.key == key && e.channel == channel) {
      e.step = int16_t(e.step + step);
      return 0;
    }
  }
  if (delayLast_ + 1 >= kSysQueueEntries) return -1;
  for (SysOpCmd& e : delay_) {
    if (e.key != int16_t(kSysQueueFree)) continue;
    e.key = key;
    e.channel = channel;
    e.step = step;
    e.status = type;
    e.stampUs = plat::MonoUs();
    ++delayLast_;
    return 0;
  }
  return -1;
}

int TaskForSystem::DelayPending() const {
  std::lock_guard<std::mutex> lock(queueMu_);
  return delayLast_ + 1;
}

int TaskForSystem::RunDelayOpCmd() {
  int found;
  {
    std::lock_guard<std::mutex> lock(queueMu_);
    found = delayLast_;
  }
  if (found < 0) return -1;
  bool moved = false;
  {
    SettingsKeep whole;
    const Saved saved = SaveState();
    for (int i = 0; i < kSysQueueEntries; ++i) {
      SysOpCmd op;
      {
        std::lock_guard<std::mutex> lock(queueMu_);
        SysOpCmd& e = delay_[i];
        if (e.key == int16_t(kSysQueueFree) || plat::MonoUs() - e.stampUs < kDelayUs) continue;
        op = e;
        e.key = int16_t(kSysQueueFree);
        --delayLast_;
      }
      moved |= ApplyOp(op);
    }
    SetStatus0(saved.status);
  }
  if (moved) SettingsWaitMs(kPositionSettleMs);  // the state it found is back
  return found;
}

int TaskForSystem::RunOpCmd() {
  const int rc = RunAppendOpCmd();
  if (rc >= 0) {
    Run().SetDrawRefresh();
    Sys().wave->ClearWaveProcessFlag();
  }
  return rc;
}

int TaskForSystem::DelayRunOpCmd() {
  const int rc = RunDelayOpCmd();
  if (rc >= 0) {
    Run().SetDrawRefresh();
    Sys().wave->ClearWaveProcessFlag();
  }
  return rc;
}

int IsRunOpCmd() { return TaskSystem.IsRunOpCmd(); }
int RunOpCmd() { return TaskSystem.RunOpCmd(); }
int DelayRunOpCmd() { return TaskSystem.DelayRunOpCmd(); }
int AddrCmd() { return TaskSystem.DelayRunAppendOpCmd(kSysKeyTbL, 0, 1, 0); }
