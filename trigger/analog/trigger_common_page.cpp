// The two pages every trigger type shares: "Common Set" (sweep mode,
// coupling, force) and "When" (the condition with its lower and upper time
// limits), and the clamp every trigger time item goes through.
#include <algorithm>
#include <atomic>

#include "acquisition/models/trig_system.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/control.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "trigger/analog/task_trigger.h"
#include "ui/screen/qel_draw.h"

int ConfigFlag = 0;

namespace {
// The value of "Mode" and "Coupling" before a remote setter wrote the item
// (-1 none): the handler it then runs with no key compares with it.
std::atomic<int> gModeBefore{-1}, gCouplingBefore{-1};

// The value the handler compares with: the one before a remote write when
// the key is the no-key code and one is pending, else the item's.
int ValueBefore(keypara k, std::atomic<int>& pending, int item) {
  const int before = pending.exchange(-1);
  return k.key == KEY_NO_KEY && before >= 0 ? before : int(TaskTrigger.Item(item) & 0xFFFF);
}
constexpr int kModeAuto = 0, kModeSingle = 2;
constexpr uint32_t kCouplingMaskNonEdge = 0x0E;  // only DC and noise reject
constexpr int kCentreCode = 127;
enum When { kWhenGreater = 0, kWhenLess = 1, kWhenInside = 2, kWhenOutside = 3 };

uint64_t TimeMax() { return TaskTrigger.Type() == kTrigPulse ? kTrigPulseTimeMax : kTrigTimeMax; }

int WhenSel() { return int(TaskTrigger.Item(kTiWhen) & 0xFFFF); }

// Couplings that keep the level relative to the channel's zero line.
bool ZeroReferenced(int c) { return c == 1 || c == 3; }

int Back(keypara) {
  return TriggerMenu ? TriggerMenu->SetCurrPage(TriggerMenu->GetSavePage() * kMenuSlots) : -1;
}

// The limit's own soft key moves the knob to it or toggles the keypad;
// other keys go to the open keypad or, with the knob, through the clamp.
bool LimitKey(keypara k, int n, int other, uint16_t ownKey) {
  if (k.key == ownKey) {
    if (!(TaskTrigger.Attr(n) & kTrigAttrKnob)) {
      TaskTrigger.SetAttr(n, kTrigAttrKnob, 0);
      TaskTrigger.SetAttr(other, 0, kTrigAttrKnob);
      return false;
    }
    if (!TaskTrigger.IsNumKeyboardEnable()) {
      TaskTrigger.OpenNumKeyboard(short(n));
      return false;
    }
    TaskTrigger.CloseNumKeyboard();
    if (n != kTiUppLimit) return false;  // the upper limit still re-applies its clamp
  } else if (TaskTrigger.IsNumKeyboardEnable()) {
    TaskTrigger.NumKeyboardOp(k);
    if (TaskTrigger.IsNumKeyboardEnable()) return false;
    const double v = TaskTrigger.GetNumKeyboardVal() + 0.5;
    TaskTrigger.SetItem(n, v <= 0 ? 0 : v >= 1.8e19 ? ~uint64_t(0) : uint64_t(v));
  }
  if (!(TaskTrigger.Attr(n) & kTrigAttrKnob)) return false;
  Trigger_TimeSetting(k, short(n));
  return true;
}
}  // namespace

int Trigger_TimeSetting(keypara k, short item) {
  if (!TriggerMenu) return -1;
  const uint64_t v = TriggerMenu->AdjMenuTimePara(nullptr, k, item);
  const uint64_t max = TimeMax();
  uint64_t stored = v;
  if (v < kTrigTimeMin)
    stored = kTrigTimeMin;
  else if (v > max)
    stored = max;
  if (stored != v) TaskTrigger.Sys()->message->SetMessage(kTrigMessageTimeLimit);
  TaskTrigger.SetItem(item, stored);
  return 0;
}

void GetTriggerTime(unsigned long* upper, unsigned long* lower) {
  // The counts above 32 bits are held at the largest 32-bit count.
  const auto low32 = [](uint64_t v) {
    return static_cast<unsigned long>(std::min<uint64_t>(v, 0xFFFFFFFFu));
  };
  if (upper) *upper = low32(TaskTrigger.Item(kTiUppLimit));
  if (lower) *lower = low32(TaskTrigger.Item(kTiLowLimit));
}

void TrigTimeScaleSet(int scale) {
  for (int n : {kTiLowLimit, kTiUppLimit}) {
    if (uint32_t(scale) == kTrigAttrNs)
      TaskTrigger.SetAttr(n, kTrigAttrNs, kTrigAttrQuarter);
    else if (uint32_t(scale) == kTrigAttrQuarter)
      TaskTrigger.SetAttr(n, kTrigAttrQuarter, kTrigAttrNs);
  }
}

// ---- Common Set ----

int TriggerSet_Mode(keypara k) {
  if (!TriggerMenu) return -1;
  _SysResource* sys = TaskTrigger.Sys();
  const int old = ValueBefore(k, gModeBefore, kTiMode);
  const int mode = TriggerMenu->AdjMenuItemPara(k, kTiMode);
  const bool changed = mode != old;
  if (changed) ConfigFlag = 1;
  if (mode == kModeAuto) return mode;
  if (sys->runStatus->GetAcquireStatus(0) != kAcqStopped && changed) sys->draw->ClearDisplayWave();
  sys->wave->ClearRealRunWaveCnt();
  return mode;
}

int TriggerSet_Coupling(keypara k) {
  if (!TriggerMenu) return -1;
  _SysResource* sys = TaskTrigger.Sys();
  TriggerMenu->SetItemParaAttribute(kTiCoupling,
                                    TaskTrigger.Type() == kTrigEdge ? 0 : kCouplingMaskNonEdge);
  const int src = sys->trigger->GetTriggerSource();
  const int old = ValueBefore(k, gCouplingBefore, kTiCoupling);
  if (src != 0 && src != 1) {
    if (TriggerMenu->AdjMenuItemPara(k, kTiCoupling) != old) ConfigFlag = 1;
    return 0;
  }
  const int p = sys->vertical->GetRealYposition(src);
  int level[2] = {sys->trigger->GetTriggerPos(src, 0), sys->trigger->GetTriggerPos(src, 1)};
  if (!ZeroReferenced(old))
    for (int& l : level) l = l + kCentreCode - p;
  const int now = TriggerMenu->AdjMenuItemPara(k, kTiCoupling);
  if (now != old) ConfigFlag = 1;
  if (!ZeroReferenced(now))
    for (int& l : level) l = int16_t(l + p - kCentreCode);
  sys->trigger->SetTriggerPos(src, 0, level[0]);
  sys->trigger->SetTriggerPos(src, 1, level[1]);
  sys->trigger->AdjTriggerPosition(0);
  return 0;
}

void TriggerSetValueBefore(int item, int value) {
  if (item == kTiMode) gModeBefore = value;
  if (item == kTiCoupling) gCouplingBefore = value;
}

int TriggerSet_Force(keypara) {
  if (TaskTrigger.Attr(kTiForce) & (kTrigAttrFrozen | kTrigAttrOff)) return 0;
  if ((TaskTrigger.Item(kTiMode) & 0xFFFF) == kModeAuto) return 0;
  return TaskTrigger.Sys()->trigger->ForceTrigger();
}

int TriggerSet_Back(keypara k) { return Back(k); }
int TriggerWhen_Back(keypara k) { return Back(k); }

int TriggerSetMenuOp(keypara k) {
  constexpr uint16_t kTriggerKey = 69, kForceKey = MENU_KEY_F1 + 2;
  if (k.key == kTriggerKey) return SetTriggerMenuPage(short(TaskTrigger.Type()));
  if (k.key == kForceKey) return 0;
  _SysResource* sys = TaskTrigger.Sys();
  _SysRunInfoOp* run = sys->runStatus;
  const int source = run->IsIndependTimeBase() ? run->GetTrigSource() : 0;
  TaskTrigger.TriggerSetParaRefresh();
  if (ConfigFlag == 1) {
    sys->timeBase->AdjTimeBase(source, 0);
    ConfigFlag = 0;
  }
  sys->trigger->AdjTriggerPosition(0);
  if (run->GetAcquireStatus(0) != kAcqStopped) {
    run->ClearInterruptFlag();
    const int mode = run->GetTriggerMode();
    if (mode == kModeAuto || mode == kModeSingle) sys->board->SysSample();
  }
  return sys->board->AnalogChannelControl(run->GetSysRunInfoBaseAddr());
}

// ---- When ----

int TriggerWhen_Sel(keypara k) {
  if (!TriggerMenu) return -1;
  if (k.key == KEY_NO_KEY) {
    const int t = TaskTrigger.Type();
    if (t == kTrigPulse || t == kTrigSlope || t == kTrigDuration) {
      TriggerMenu->SetMenuItemMaxSel(kTiWhen, 3);
      if (WhenSel() == kWhenOutside) TaskTrigger.SetItem(kTiWhen, kWhenGreater);
    } else if (t == kTrigRunt || t == kTrigDelay) {
      TriggerMenu->SetMenuItemMaxSel(kTiWhen, 4);
    }
  }
  const int w = TriggerMenu->AdjMenuItemPara(k, kTiWhen);
  if (w == kWhenGreater) {
    TaskTrigger.SetAttr(kTiLowLimit, kTrigAttrKnob, kTrigAttrOff);
    TaskTrigger.SetAttr(kTiUppLimit, kTrigAttrOff, kTrigAttrKnob);
  } else if (w == kWhenLess) {
    TaskTrigger.SetAttr(kTiUppLimit, kTrigAttrKnob, kTrigAttrOff);
    TaskTrigger.SetAttr(kTiLowLimit, kTrigAttrOff, kTrigAttrKnob);
  } else if (w == kWhenInside || w == kWhenOutside) {
    TaskTrigger.SetAttr(kTiUppLimit, kTrigAttrKnob, kTrigAttrOff);
    TaskTrigger.SetAttr(kTiLowLimit, 0, kTrigAttrKnob | kTrigAttrOff);
  }
  if (TaskTrigger.IsNumKeyboardEnable()) TaskTrigger.CloseNumKeyboard();
  return w;
}

int TriggerWhen_LowLimit(keypara k) {
  if (WhenSel() == kWhenLess) return 0;
  if (!LimitKey(k, kTiLowLimit, kTiUppLimit, MENU_KEY_F1 + 1)) return 0;
  const int64_t lower = int64_t(TaskTrigger.Item(kTiLowLimit)),
                upper = int64_t(TaskTrigger.Item(kTiUppLimit));
  const int64_t max = int64_t(TimeMax());
  if (lower >= upper) {
    if (lower < max) {
      TaskTrigger.SetItem(kTiUppLimit, uint64_t(lower));
    } else {
      TaskTrigger.SetItem(kTiUppLimit, uint64_t(max));
      TaskTrigger.SetItem(kTiLowLimit, uint64_t(max - 1));
    }
  }
  return 0;
}

int TriggerWhen_UppLimit(keypara k) {
  if (WhenSel() == kWhenGreater) return 0;
  if (!LimitKey(k, kTiUppLimit, kTiLowLimit, MENU_KEY_F1 + 2)) return 0;
  const int64_t lower = int64_t(TaskTrigger.Item(kTiLowLimit)),
                upper = int64_t(TaskTrigger.Item(kTiUppLimit));
  if (lower >= upper)
    TaskTrigger.SetItem(kTiLowLimit, uint64_t(std::max<int64_t>(upper - 1, kTrigTimeMin)));
  return 0;
}
