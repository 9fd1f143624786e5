// Channel menu handlers: the front-end items, the page steps, the voltage and
// current probes, the unit and the custom ratio with its number keypad.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "acquisition/tables/probe_tables.h"
#include "acquisition/channel/task_ch_module.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/y_system.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

namespace {
constexpr float kMaxRatio = 1000.0f;
constexpr float kMinVoltageRatio = 0.001f;
constexpr float kMinCurrentValue = 1.0f;  // mV/A
constexpr int kFastKnobSteps = 16;
constexpr double kCodesPerDiv = 25.0;
constexpr int kCentre = 127;
constexpr uint16_t kRerunKey = 50;  // the probe item's soft key, passed to the keypad

// What a finished keypad entry gives, or false for a key that ends nothing.
bool KeypadValue(int result, const numkeyboard& pad, float lo, float* v) {
  switch (result) {
    case kNumMax: *v = kMaxRatio; return true;
    case kNumMin: *v = lo; return true;
    case kNumDefault: *v = 1.0f; return true;
    default: break;
  }
  if (result < kNumMilli || result > kNumEnter) return false;
  *v = float(pad.value);
  return true;
}

float Clamp(float v, float lo) { return std::isfinite(v) ? std::clamp(v, lo, kMaxRatio) : lo; }
}  // namespace

// ---- front end ----

int TaskForChannel::Coupling(keypara k) {
  return SendSysRequest(kReqChCoupling, L.channel, short(TaskMenu.AdjMenuItemPara(k, kChCoupling)));
}

int TaskForChannel::BwLimit(keypara k) {
  return SendSysRequest(kReqChBwLimit, L.channel, short(TaskMenu.AdjMenuItemPara(k, kChBwLimit)));
}

int TaskForChannel::VoltsDiv(keypara k) {
  return SendSysRequest(kReqChVoltsDiv, L.channel, short(TaskMenu.AdjMenuItemPara(k, kChVoltsDiv)));
}

int TaskForChannel::Invert(keypara k) {
  return SendSysRequest(kReqChInvert, L.channel, short(TaskMenu.AdjMenuItemPara(k, kChInvert)));
}

// ---- pages ----

int TaskForChannel::Next(keypara) {
  ShowPage(CurrentProbe() ? L.currentPage : 1);
  return 0;
}

int TaskForChannel::Next2(keypara) {
  ShowPage(L.labelPage);
  return 0;
}

int TaskForChannel::Back(keypara) {
  ShowPage(0);
  return 0;
}

// ---- probes ----

int TaskForChannel::Probe(keypara k) {
  const int v = TaskMenu.AdjMenuItemPara(k, kChProbe);
  if (v == kChProbeCustom) {
    TaskMenu.EnableItem(kChCustom, true);
    SendSysRequest(kReqChProbe, L.channel, kChProbeCustom);
    SetCustomRatio(ItemF32(kChCustom));
  } else {
    CloseKeypad();
    TaskMenu.EnableItem(kChCustom, false);
    SendSysRequest(kReqChProbe, L.channel, short(v));
  }
  if (ChNumKeySel == 1) Custom(keypara{kRerunKey, k.step, k.useStep});
  return 0;
}

int TaskForChannel::ProbeType(keypara) {
  ShowPage(L.currentPage);
  SetItem(L.probeTypeA, 1);
  SetItem(kChProbeType, 1);
  SetItem(L.unitA, 1);
  Unit_A(keypara{KEY_NO_KEY, 0, 0});
  CloseKeypad();
  return 0;
}

int TaskForChannel::ProbeType_A(keypara) {
  ShowPage(1);
  SetItem(kChProbeType, 0);
  SetItem(L.probeTypeA, 0);
  SetItem(kChUnit, 0);
  Unit(keypara{KEY_NO_KEY, 0, 0});
  CloseKeypad();
  return 0;
}

int TaskForChannel::Probe_A(keypara k) {
  const int v = TaskMenu.AdjMenuItemPara(k, L.probeA);
  TaskMenu.EnableItem(L.customA, v == kChProbeACustom);
  if (v != kChProbeACustom) CloseKeypad();
  Set_Probe_A();
  if (ChNumKeySel == 1) Custom(keypara{kRerunKey, k.step, k.useStep});
  return 0;
}

// The current probe's ratio: a fixed one, or 1000 over the custom value in
// mV/A; the custom ratio of the vertical model carries it.
int TaskForChannel::Set_Probe_A() {
  const int v = Item(L.probeA);
  const float custom = ItemF32(L.customA);
  float ratio = kMaxRatio;
  if (v < kCurrentProbeEntries)
    ratio = ChProbeScale_A[v];
  else if (custom > 0 && std::isfinite(custom))
    ratio = kMaxRatio / custom;
  SetCustomRatio(ratio);
  return SendSysRequest(kReqChProbe, L.channel, kChProbeCustom);
}

int TaskForChannel::Unit(keypara k) {
  const int v = TaskMenu.AdjMenuItemPara(k, kChUnit);
  Sys().vertical->SetChUnit(L.channel, v);
  // Amperes are read through a current probe: its ratio, from the
  // current-probe page, is put in force.
  if (v == 1) return Set_Probe_A();
  const int probe = Item(kChProbe);
  SendSysRequest(kReqChProbe, L.channel, short(probe));
  if (probe == kChProbeCustom) SetCustomRatio(ItemF32(kChCustom));
  return 0;
}

int TaskForChannel::Unit_A(keypara k) {
  const int v = TaskMenu.AdjMenuItemPara(k, L.unitA);
  Sys().vertical->SetChUnit(L.channel, v);
  if (v == 1) Set_Probe_A();
  return 0;
}

// ---- custom ratio ----

// The custom ratio of the vertical model, whichever probe is in force (a
// request for the custom probe that follows takes it). While it is in force
// a trigger on this channel keeps its level codes: its voltages are
// recomputed for the new ratio; the channel refresh rescales the volts/div.
void TaskForChannel::SetCustomRatio(float ratio) {
  y_system* y = Sys().vertical;
  if (y->SetReal_CustomProbeScale(L.channel, ratio) < 0 || y->GetYRealprobe(L.channel) != kProbeCustom) return;
  TriggerFollowRatio(ratio);
}

void TaskForChannel::TriggerFollowRatio(float ratio) {
  _SysResource* sys = &Sys();
  _SysRunInfoOp* run = sys->runStatus;
  if (!sys->trigger || run->GetTrigSource() != L.channel) return;
  const int index = sys->vertical->GetRealYsensitivity(L.channel);
  if (index < 0 || index >= kVoltageEntries) return;
  const double unit = double(Voltage[index]) * ratio / kCodesPerDiv;
  const bool acReferenced = (run->GetTriggerCoupling() & ~2) == 1;
  const int r = acReferenced ? 0 : sys->vertical->GetRealYposition(L.channel) - kCentre;
  for (int level = 0; level < 2; ++level)
    sys->trigger->SetTriggerVoltage(L.channel, level, (sys->trigger->GetTriggerPos(L.channel, level) - r) * unit);
}

void TaskForChannel::StoreCustom(int n, float value) {
  SetItem(n, ItemParaFromF32(value));
  std::printf("\n");
}

void TaskForChannel::ApplyCustom(float value) {
  SetCustomRatio(CurrentProbe() ? kMaxRatio / value : value);
  CloseKeypad();
}

int TaskForChannel::Custom(keypara k) {
  const bool current = CurrentProbe();
  const int n = current ? int(L.customA) : int(kChCustom);
  if (TaskMenu.ItemDisabled(n)) return 0;
  const float lo = current ? kMinCurrentValue : kMinVoltageRatio;
  if (k.key == Menu::MenuItemToFx(n)) {
    if (ChNumKeySel) {
      CloseKeypad();
    } else {
      Sys().common->NumKeyboardInit(&ChNumKeyboard, L.taskId, n);
      ChNumKeySel = 1;
      SyncOverlay();
    }
    return 0;
  }
  float v = ItemF32(n);
  if (ChNumKeySel) {
    ChNumKeyboard.key = k.key;
    ChNumKeyboard.step = k.step;
    ChNumKeyboard.useStep = k.useStep;
    const int result = Sys().common->NumKeyboardOp(&ChNumKeyboard);
    if (!KeypadValue(result, ChNumKeyboard, lo, &v)) return 0;
  } else if (k.key == MENU_KEY_KNOB_UP || k.key == MENU_KEY_KNOB_DOWN) {
    const int steps = std::max<int>(1, k.step);
    const float delta = float(steps) * (steps >= kFastKnobSteps ? 0.1f : 0.001f);
    v += k.key == MENU_KEY_KNOB_UP ? delta : -delta;
  } else if (k.key == MENU_KEY_SELECT) {
    v = 1.0f;
  } else if (k.key != KEY_NO_KEY) {
    return 0;
  }
  v = Clamp(v, lo);
  StoreCustom(n, v);
  ApplyCustom(v);
  return 0;
}
