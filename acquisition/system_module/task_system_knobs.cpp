// The knobs of the system module: position and volts/div, trigger position
// and time base, trigger level. While a fast acquisition runs, a change that
// cannot be applied at once is queued and replayed after the next read-out.
#include <cstdio>

#include "acquisition/system_module/task_system.h"
#include "acquisition/system_module/task_system_internal.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"

using namespace sysmod;

namespace {
constexpr int kMathSource = 5;
constexpr int kFirstRefSource = 4;  // sources from here on have no acquisition of their own
constexpr int kPreTrigDoubleAbove = 15;
constexpr double kSlowOffsetSeconds = 0.8;
constexpr int kProbeTimeBase = 23;     // time base of the one-shot read of the level push
constexpr int kModeSelector = 0, kPeakDetect = 1;
constexpr int kExtSource = 3, kNoLevelSource = 2, kExtSlot = 4;
constexpr int kCentre = 127;
constexpr int kRecordPoints = 7000;
constexpr int kSettleMs = 10;

x_system& X() { return *Sys().timeBase; }
y_system& Y() { return *Sys().vertical; }
trig_system& T() { return *Sys().trigger; }
control& Board() { return *Sys().board; }

void Queue(int key, int ch, int step, int status) {
  TaskSystem.AppendOpCmd(int16_t(key), int16_t(ch), int16_t(step), int16_t(status));
}

// The time-base key that follows a change up with a refresh of the time base.
int FollowUp(int key) {
  return key == kSysKeyOffsetR || key == kSysKeyVoltsR || key == kSysKeyPreTrigR ? kSysKeyTbR : kSysKeyTbL;
}

bool IsReference(int ch) { return ch != 0 && ch != 1 && ch != kMathSource; }

void Position73(int ch) {
  if (ch > 1) {
    Y().SetRealYposition(ch, kCentre);
    return;
  }
  if (ch == Run().GetTrigSource() && (Run().GetTriggerCoupling() & ~2) != 1)
    T().AdjTriggerPosition(kCentre - Y().GetRealYposition(ch));
  const int st = Status0();
  if (st == kAcqStopped || st == kAcqSlowScan) {
    Y().SetRealYposition(ch, kCentre);
    Y().AdjYPosition(ch, 0);
  } else if (st == 3 || st == kAcqKnobApplying) {
    SetStatus0(kAcqKnobApplying);
    Y().SetRealYposition(ch, kCentre);
    Y().AdjYPosition(ch, 0);
    Queue(kSysKeyOffsetOk, ch, 0, 0);
  } else {
    SetStatus0(kAcqKnobApplying);
    Y().SetRealYposition(ch, kCentre);
    SetStatus0(kAcqRunning);
    Queue(kSysKeyOffsetOk, ch, 0, 0);
  }
}

void PositionStep(int key, int ch, int tb, int step) {
  const int st = Status0();
  const bool ind = Run().IsIndependTimeBase();
  if (ind || (tb >= kTimeBaseSlowFirst && Run().GetTriggerMode() == kTrigModeAuto)) {
    Y().AdjYPosition(ch, step);
  } else if (st != kAcqStopped && tb > kTimeBaseFastLast) {
    SetStatus0(kAcqKnobApplying);
    Board().SendRealControl(fpga::kPause, 1);
    Y().AdjYPosition(ch, step);
    Queue(key, ch, 0, 0);
  } else if (st != kAcqStopped && st != kAcqSlowScan && ch < kFirstRefSource) {
    if (st == 3 || st == kAcqKnobApplying || st == kAcqKnobFollowUp) {
      SetStatus0(kAcqKnobApplying);
      Y().AdjYPosition(ch, step);
      SetStatus0(kAcqKnobFollowUp);
      Queue(key, ch, 0, 0);
      Queue(FollowUp(key), ch, 0, 0);
    } else {
      Queue(key, ch, step, 0);
    }
  } else {
    Y().AdjYPosition(ch, step);
  }
}

void VoltsStep(int key, int ch, int tb) {
  const int d = key == kSysKeyVoltsR ? -1 : 1;
  const int st = Status0();
  if (st == kAcqStopped || st == kAcqSlowScan || ch >= kFirstRefSource) {
    Y().AdjYsensitivity(ch, d);
  } else if (st == 3) {
    SetStatus0(kAcqKnobApplying);
    Y().AdjYsensitivity(ch, d);
    Queue(key, ch, 0, 0);
    Queue(FollowUp(key), ch, 0, 0);
  } else if (tb <= kTimeBaseFastLast) {
    Queue(key, ch, d, 0);
  } else {
    SetStatus0(kAcqStopped);
    Y().AdjYsensitivity(ch, d);
    SetStatus0(kAcqRunning);
    Queue(key, ch, 0, 0);
  }
}
}  // namespace

int VerticalKnob(keypara k) {
  const int ch = Run().GetActivCh();
  const int tb = X().GetRealTimeBase(ch);
  const int s = k.step;
  if (ch == kMathSource) AssistTo(kMathTask, kAssistNotify, 0);
  switch (k.key) {
    case kSysKeyOffsetOk:
      Position73(ch);
      break;
    case kSysKeyOffsetR:
    case kSysKeyOffsetL:
      PositionStep(k.key, ch, tb, k.key == kSysKeyOffsetR ? s : -s);
      break;
    case kSysKeyVoltsR:
    case kSysKeyVoltsL:
      VoltsStep(k.key, ch, tb);
      break;
    case kSysKeyVoltsOk:
      if (ch == 0 || ch == 1) AssistTo(ch == 0 ? kCh1Task : kCh2Task, kAssistStep, 2);
      break;
    default:
      break;
  }
  Run().ClearAdjTrigFlag();
  return 0;
}

// ---- horizontal ----

namespace {
struct HoriInputs {
  int ch, tb, mode, st;
  bool zoom, xy;
};

// The zoom window moves when the zoom view is shown (not in X-Y), else the depth.
void MovePre(const HoriInputs& in, int step) {
  if (in.zoom && !in.xy)
    X().AdjZoomMovePos(in.ch, step);
  else
    X().AdjPreTrigDepth(in.ch, step);
}

void StepTimeBase(const HoriInputs& in, int d) {
  if (in.zoom && !in.xy)
    X().AdjZoomTimeBase(in.ch, d);
  else
    X().AdjTimeBase(in.ch, d);
}

void PreTrigStep(const HoriInputs& in, int key, int step) {
  const int st = in.st;
  if (in.mode == kTrigModeNormal && in.tb > 24) {
    Board().SendRealControl(fpga::kPause, 1);
    SetStatus0(kAcqKnobApplying);
    X().AdjPreTrigDepth(in.ch, step);
    SetStatus0(3);
    TaskSystem.DelayRunAppendOpCmd(int16_t(FollowUp(key)), int16_t(in.ch), 0, kAcqKnobFollowUp);
  } else if (in.tb < kTimeBaseSlowFirst || in.mode != kTrigModeAuto || in.zoom) {
    if (st == kAcqStopped) {
      MovePre(in, step);
    } else if (st == 0 || st == 3 || st == kAcqKnobApplying || st == kAcqKnobFollowUp) {
      SetStatus0(kAcqKnobApplying);
      MovePre(in, step);
      SetStatus0(kAcqKnobFollowUp);
      Queue(FollowUp(key), in.ch, 0, kAcqKnobFollowUp);
    } else if (st == kAcqSlowScan) {
      SetStatus0(kAcqStopped);
      X().AdjPreTrigDepth(in.ch, step);
      SetStatus0(kAcqRunning);
      Queue(key, in.ch, 0, 0);
    } else {
      Queue(key, in.ch, step, 0);
    }
  } else {
    X().AdjPreTrigDepth(in.ch, step);
  }
}

void TimeBaseStep(const HoriInputs& in, int key) {
  const int d = key == kSysKeyTbR ? -1 : 1;
  const int st = in.st;
  if (in.mode == kTrigModeAuto && in.tb > (key == kSysKeyTbR ? 25 : 24)) {
    if (key == kSysKeyTbR)
      X().AdjTimeBase(in.ch, d);
    else
      StepTimeBase(in, d);
  } else if (in.tb > 25 && in.mode != kTrigModeAuto && st != kAcqStopped) {
    SetStatus0(kAcqKnobApplying);
    X().AdjTimeBase(in.ch, d);
    SetStatus0(kAcqRunning);
    Queue(key, in.ch, 0, 0);
  } else if (st == kAcqStopped || st == kAcqSlowScan) {
    StepTimeBase(in, d);
  } else if (st == 3 || st == kAcqKnobApplying) {
    SetStatus0(kAcqKnobApplying);
    StepTimeBase(in, d);
    Queue(key, in.ch, 0, 0);
  } else if (X().GetRealPreTrigTime(in.ch) > kSlowOffsetSeconds) {
    X().AdjTimeBase(in.ch, d);
  } else {
    Queue(key, in.ch, d, 0);
  }
}

void PreTrigCentre(const HoriInputs& in) {
  const int st = in.st;
  const int ch = in.ch;
  if (in.tb > 25 && in.mode != kTrigModeAuto && st == kAcqStopped) {
    SetStatus0(kAcqStopped);
    X().SetRealPreTrigDepth(ch, kRecordCentre);
    X().SetRealPreTrigTime(ch, 0.0);
    X().AdjPreTrigDepth(ch, 0);
    SetStatus0(kAcqRunning);
    Queue(kSysKeyPreTrigOk, ch, 0, 0);
  } else if ((st == 0 || st == 3 || st == kAcqStopped) && !in.zoom) {
    if (st == 0 || st == 3) {
      SetStatus0(kAcqKnobApplying);
      X().MovePreTrigToZero(ch);
      X().SetRealPreTrigDepth(ch, kRecordCentre);
      X().SetReadyPreTrigDepth(ch, kRecordCentre);
      X().AdjPreTrigDepth(ch, 0);
      Queue(kSysKeyPreTrigOk, ch, 0, 0);
    } else if (in.mode == kTrigModeAuto && in.tb > 25) {
      X().SetRealPreTrigDepth(ch, kRecordCentre);
      X().MovePreTrigToZero(ch);
    } else {
      X().MovePreTrigToZero(ch);
    }
    X().AdjPreTrigDepth(ch, 0);
  } else if (st == 0 || st == 3 || st == kAcqStopped) {
    X().SetZoomMovePos(ch, 0);
    X().AdjZoomMovePos(ch, 0);
  } else {
    if (in.zoom) {
      X().SetZoomMovePos(ch, 0);
    } else {
      X().SetRealPreTrigTime(ch, 0.0);
      X().SetRealPreTrigDepth(ch, kRecordCentre);
    }
    Queue(kSysKeyPreTrigOk, ch, 0, 0);
  }
}

// A reference trace has its own time base and trigger position only.
void ReferenceKnob(int block, int key, int step) {
  switch (key) {
    case kSysKeyPreTrigR:
    case kSysKeyPreTrigL:
      X().AdjPreTrigDepth(block, key == kSysKeyPreTrigR ? step : -step);
      break;
    case kSysKeyTbR:
    case kSysKeyTbL:
      X().AdjTimeBase(block, key == kSysKeyTbR ? -1 : 1);
      break;
    case kSysKeyPreTrigOk:
      X().SetRealPreTrigDepth(block, kRecordCentre);
      X().AdjPreTrigDepth(block, 0);
      break;
    case kSysKeyTbOk:
      AssistTo(kHoriTask, kAssistStep, 1);
      break;
    default:
      break;
  }
}
}  // namespace

int HorizontalKnob(keypara k) {
  const int active = Run().GetActivCh();
  const bool ind = Run().IsIndependTimeBase();
  int step = k.step > kPreTrigDoubleAbove ? 2 * k.step : k.step;
  if (IsReference(active)) {
    ReferenceKnob(active, k.key, step);
    return 0;
  }
  HoriInputs in{};
  in.ch = ind && active <= 1 ? active : 0;
  in.tb = ind ? X().GetTimeBase(in.ch) : X().GetRealTimeBase(0);
  in.mode = Run().GetTriggerMode();
  in.st = Status0();
  in.zoom = Run().GetTimeBaseType() == 1;
  in.xy = Run().GetDiplayFormat() == 1;
  switch (k.key) {
    case kSysKeyPreTrigR:
    case kSysKeyPreTrigL:
      PreTrigStep(in, k.key, k.key == kSysKeyPreTrigR ? step : -step);
      break;
    case kSysKeyTbR:
    case kSysKeyTbL:
      TimeBaseStep(in, k.key);
      break;
    case kSysKeyPreTrigOk:
      PreTrigCentre(in);
      break;
    case kSysKeyTbOk:
      AssistTo(kHoriTask, kAssistStep, 1);
      break;
    default:
      break;
  }
  return 0;
}

// ---- trigger ----

int TriggerKnob(keypara k) {
  if (k.key == kSysKeyTrigR)
    T().AdjTriggerPosition(k.step);
  else if (k.key == kSysKeyTrigL)
    T().AdjTriggerPosition(-k.step);
  else if (k.key == kSysKeyTrigOk)
    TriggerToZero();
  Run().SetAdjTrigFlag();
  return 0;
}

namespace {
// The level set and applied: the comparator and the level voltages follow.
void SetLevel(int src, int code) {
  T().SetTriggerPos(src, T().GetTrigLevel(), code);
  T().AdjTriggerPosition(0);
}

// What the one-shot read of the level push changes, to be put back.
struct ProbeSaved {
  int src, mode, timeBase;
  int64_t preTrig;
};

void RestoreAfterProbe(const ProbeSaved& s) {
  X().SetRealTimeBase(s.src, s.timeBase);
  AssistTo(kAcquireTask, kAssistSetItem, kModeSelector, uint16_t(s.mode));
  X().SetRealPreTrigDepth(s.src, s.preTrig);
  Run().SetAcquireStatus(s.src, kAcqRunning);
  X().AdjPreTrigDepth(s.src, 0);
  X().AdjTimeBase(s.src, 0);
  SettingsWaitMs(kSettleMs);
  Board().SysSample();
  Run().ClearInterruptFlag();
}

// The level to the middle of the signal: one record at a fast time base in
// peak-detect mode gives the signal's maximum and minimum. Whether the read
// succeeds or not, the time base, acquisition mode and running state are
// put back.
void LevelToSignalMiddle(int src) {
  SettingsKeep whole;  // it puts back what it found: no command may come between
  const ProbeSaved saved{src, Run().GetAcquireMode(), X().GetRealTimeBase(src), X().GetRealPreTrigDepth(src)};
  X().SetRealTimeBase(src, kProbeTimeBase);
  AssistTo(kAcquireTask, kAssistSetItem, kModeSelector, kPeakDetect);
  Board().FPGAResetEnable();
  Run().ClearInterruptFlag();
  Board().SysSample();
  static uint8_t record[kRecordPoints];
  waveinfor info{};
  info.flags = kWaveReqMaxMin | kWaveReqCopy;
  info.chMask = uint16_t(1 << src);
  info.buffer[src] = record;
  info.count[src] = kRecordPoints;
  const int rc = Sys().wave->RequestWaveData(&info);
  if (rc >= 0) {
    const int mid = (info.max[src] + info.min[src]) / 2;
    const bool inverted = (Run().GetSysRunInfoBaseAddr()->vertical[src].invert & 0xFF) == 1;
    SetLevel(src, inverted ? 128 - mid : mid - kCentre);
  } else {
    std::printf("TriggerToZero: no record, level kept\n");
  }
  RestoreAfterProbe(saved);
}
}  // namespace

int TriggerToZero() {
  const int src = Run().GetTrigSource();
  if (src == kNoLevelSource) return 0;
  if (src == kExtSource) {
    T().SetTriggerPos(kExtSlot, 1, 0);
    return 0;
  }
  if (src != 0 && src != 1) return 0;
  const int type = Run().GetTrigType();
  if (type >= 3 && type <= 5) return 0;
  if (type == 6 || type == 9 || type == 13 || type == 14)
    return AssistTo(kTriggerTask, kAssistStep, uint16_t(type), kSysKeyTrigOk);
  const int st = Run().GetAcquireStatus(src);
  if (Run().GetTriggerCoupling() == 1) {
    SetLevel(src, 0);
  } else if (Run().GetTriggerMode() == kTrigModeAuto && st != 3 && st != kAcqStopped) {
    LevelToSignalMiddle(src);
  } else {
    SetLevel(src, Y().GetRealYposition(src) - kCentre);
  }
  return 0;
}
