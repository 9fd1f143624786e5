// Item handlers of the analog trigger types' pages (edge, pulse width,
// video, slope, runt, window, delay, time-out, duration, setup/hold, n-th
// edge, pattern) and their page operations.
#include <cmath>

#include "acquisition/models/x_system.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "trigger/analog/task_trigger.h"
#include "trigger/analog/trigger_pages.h"

namespace {
constexpr int kVideoLines625 = 625, kVideoLines525 = 525;
constexpr int kVideoSyncLine = 3;
constexpr uint32_t kVideoSourceMask = 0x0C;  // no AC line, no external input
constexpr int kFastStep = 15, kFastFactor = 20;

int Step(keypara k, int n) { return TriggerMenu ? TriggerMenu->AdjMenuItemPara(k, n) : -1; }

int ShowPage(int page) { return TriggerMenu ? TriggerMenu->SetCurrPage(page * kMenuSlots) : -1; }

int ToCommon(keypara) {
  if (!TriggerMenu) return -1;
  TriggerMenu->SaveCurrPage();
  return TriggerMenu->SetCurrPage(kTiMode);
}

int ToWhen(keypara) {
  if (!TriggerMenu) return -1;
  TriggerMenu->SaveCurrPage();
  TrigTimeScaleSet(TaskTrigger.Type() == kTrigPulse ? int(kTrigAttrNs) : int(kTrigAttrQuarter));
  return TriggerMenu->SetCurrPage(kTiWhen);
}

// Two sources on one page: the first press moves the knob, the next steps.
int PairedSource(keypara k, int n, int partner) {
  if (TaskTrigger.Attr(n) & kTrigAttrKnob) Step(k, n);
  TaskTrigger.SetAttr(n, kTrigAttrKnob, 0);
  TaskTrigger.SetAttr(partner, 0, kTrigAttrKnob);
  return 0;
}

// A time item: its own soft key toggles the keypad; other keys go to the
// open keypad, and once it is closed through the time clamp.
int TimeItem(keypara k, int n, uint16_t ownKey) {
  if (k.key == ownKey) {
    if (TaskTrigger.IsNumKeyboardEnable())
      TaskTrigger.CloseNumKeyboard();
    else
      TaskTrigger.OpenNumKeyboard(short(n));
    return 0;
  }
  if (TaskTrigger.IsNumKeyboardEnable()) {
    TaskTrigger.NumKeyboardOp(k);
    if (TaskTrigger.IsNumKeyboardEnable()) return 0;
    const double v = std::floor(TaskTrigger.GetNumKeyboardVal() + 0.5);
    TaskTrigger.SetItem(n, v <= 0 ? 0 : v >= 1.8e19 ? ~uint64_t(0) : uint64_t(v));
  }
  return Trigger_TimeSetting(k, short(n));
}

// Edge and pulse source: with the independent time base the two follow each
// other and the source reaches the board at once.
int EdgePulseSource(keypara k, int n, int other) {
  Step(k, n);
  _SysResource* sys = TaskTrigger.Sys();
  _SysRunInfoOp* run = sys->runStatus;
  if (!run->IsIndependTimeBase()) return 0;
  int s = int(TaskTrigger.Item(n) & 0xFFFF);
  if (s > 2) s = 0;
  TaskTrigger.SetItem(n, uint64_t(s));
  TaskTrigger.SetItem(other, uint64_t(s));
  sys->board->SendRealControl(fpga::kChannel, uint16_t(s));
  run->SetActivCh(s);
  sys->board->LedCtrl(run->GetSysRunInfoBaseAddr());
  return 0;
}

// Pattern and duration source: the code item shows the stored code.
int CodeSource(keypara k, int source, int code) {
  Step(k, source);
  const int s = int(TaskTrigger.Item(source) & 0xFFFF);
  const int c = TaskTrigger.Sys()->runStatus->GetTriggerSourceCode(s);
  TaskTrigger.SetItem(code, uint64_t(uint16_t(c < 0 ? 0 : c)));
  return 0;
}

// The code of the chosen source into its 4-bit field of `word`.
uint32_t PlaceCode(uint32_t word, int source, int code) {
  const int shift = source >= 1 && source <= 3 ? 4 * source : 0;
  return (word & ~(0xFu << shift)) | (uint32_t(code) & 0xF) << shift;
}
}  // namespace

// ---- plain choices ----
int Trigger_EdgeSlope(keypara k) { return Step(k, kTiEdgeSlope); }
int Trigger_PulsePolarity(keypara k) { return Step(k, kTiPulsePolarity); }
int Trigger_VideoSource(keypara k) { return Step(k, kTiVideoSource); }
int Trigger_SlopeSource(keypara k) { return Step(k, kTiSlopeSource); }
int Trigger_SlopePolarity(keypara k) { return Step(k, kTiSlopePolarity); }
int Trigger_SlopeThreshold(keypara k) { return Step(k, kTiSlopeThreshold); }
int Trigger_RuntSource(keypara k) { return Step(k, kTiRuntSource); }
int Trigger_RuntPolarity(keypara k) { return Step(k, kTiRuntPolarity); }
int Trigger_RuntTrigLevel(keypara k) { return Step(k, kTiRuntLevel); }
int Trigger_WinSource(keypara k) { return Step(k, kTiWinSource); }
int Trigger_WinSlope(keypara k) { return Step(k, kTiWinSlope); }
int Trigger_WinPosition(keypara k) { return Step(k, kTiWinPosition); }
int Trigger_WinTrigLevel(keypara k) { return Step(k, kTiWinLevel); }
int Trigger_DelayEdge1(keypara k) { return Step(k, kTiDelayEdge1); }
int Trigger_DelayEdge2(keypara k) { return Step(k, kTiDelayEdge2); }
int Trigger_TimeOutSource(keypara k) { return Step(k, kTiTimeOutSource); }
int Trigger_TimeOutSlope(keypara k) { return Step(k, kTiTimeOutSlope); }
int Trigger_SetupHoldCode(keypara k) { return Step(k, kTiShCode); }
int Trigger_SetupHoldEdge(keypara k) { return Step(k, kTiShEdge); }
int Trigger_SetupHoldSetupHold(keypara k) { return Step(k, kTiShSel); }
int Trigger_NthEdgeSource(keypara k) { return Step(k, kTiNthSource); }
int Trigger_NthEdgeSlope(keypara k) { return Step(k, kTiNthSlope); }

// ---- paired sources ----
int Trigger_DelaySource1(keypara k) { return PairedSource(k, kTiDelaySource1, kTiDelaySource2); }
int Trigger_DelaySource2(keypara k) { return PairedSource(k, kTiDelaySource2, kTiDelaySource1); }
int Trigger_SetupHoldDataSour(keypara k) { return PairedSource(k, kTiShData, kTiShClock); }
int Trigger_SetupHoldClkSour(keypara k) { return PairedSource(k, kTiShClock, kTiShData); }

// ---- next and back ----
int Trigger_PulseNext(keypara) { return ShowPage(2); }
int Trigger_PulseBack(keypara) { return ShowPage(1); }
int Trigger_SlopeSlope(keypara) { return ShowPage(5); }
int Trigger_SlopeBack(keypara) { return ShowPage(4); }
int Trigger_RuntNext(keypara) { return ShowPage(7); }
int Trigger_RuntBack(keypara) { return ShowPage(6); }
int Trigger_WinNext(keypara) { return ShowPage(9); }
int Trigger_WinBack(keypara) { return ShowPage(8); }
int Trigger_DelayNext1(keypara) { return ShowPage(11); }
int Trigger_DelayBack(keypara) { return ShowPage(10); }
int Trigger_DurationNext(keypara) { return ShowPage(14); }
int Trigger_DurationBack(keypara) { return ShowPage(13); }
int Trigger_SetupHoldNext(keypara) { return ShowPage(16); }
int Trigger_SetupHoldBack(keypara) { return ShowPage(15); }
int Trigger_NthEdgeNext(keypara) { return ShowPage(18); }
int Trigger_NthEdgeBack(keypara) { return ShowPage(17); }

// ---- common settings and When ----
int Trigger_EdgeCommSet(keypara k) { return ToCommon(k); }
int Trigger_PulseCommSet(keypara k) { return ToCommon(k); }
int Trigger_SlopeCommSet(keypara k) { return ToCommon(k); }
int Trigger_RuntCommset(keypara k) { return ToCommon(k); }
int Trigger_WinCommset(keypara k) { return ToCommon(k); }
int Trigger_DelayCommSet(keypara k) { return ToCommon(k); }
int Trigger_DurationCommSet(keypara k) { return ToCommon(k); }
int Trigger_SetupHoldCommset(keypara k) { return ToCommon(k); }
int Trigger_NthEdgeCommset(keypara k) { return ToCommon(k); }
int Trigger_PatternCommset(keypara k) { return ToCommon(k); }
int Trigger_PulseWhen(keypara k) { return ToWhen(k); }
int Trigger_SlopeWhen(keypara k) { return ToWhen(k); }
int Trigger_DelayWhen(keypara k) { return ToWhen(k); }
int Trigger_DurationWhen(keypara k) { return ToWhen(k); }

// ---- time items ----
int Trigger_TimeOutTime(keypara k) { return TimeItem(k, kTiTimeOutTime, MENU_KEY_F1 + 3); }
int Trigger_SetupHoldTime(keypara k) { return TimeItem(k, kTiShTime, MENU_KEY_F1 + 2); }
int Trigger_NthEdgeIdleTime(keypara k) { return TimeItem(k, kTiNthIdle, MENU_KEY_F1 + 3); }
int Trigger_WinSet(keypara k) { return TimeItem(k, kTiWinTime, MENU_KEY_F1 + 1); }

int Trigger_NULL(keypara) { return 0; }
int Trigger_EdgeAlternate(keypara) { return 0; }

// ---- sources ----
int Trigger_EdgeSource(keypara k) { return EdgePulseSource(k, kTiEdgeSource, kTiPulseSource); }
int Trigger_PulseSource(keypara k) { return EdgePulseSource(k, kTiPulseSource, kTiEdgeSource); }
int Trigger_PatternSource(keypara k) { return CodeSource(k, kTiPatSource, kTiPatCode); }
int Trigger_DurationSource(keypara k) { return CodeSource(k, kTiDurSource, kTiDurCode); }

// ---- video ----
// Switched off (a sync other than the line's), the knob leaves the line.
int Trigger_VideoLineNum(keypara k) {
  const int max = (TaskTrigger.Item(kTiVideoStandard) & 0xFFFF) == 1 ? kVideoLines525 : kVideoLines625;
  int line = int(TaskTrigger.Item(kTiVideoLine) & 0xFFFF);
  const bool knob = k.key == MENU_KEY_KNOB_UP || k.key == MENU_KEY_KNOB_DOWN;
  if (knob && (TaskTrigger.Attr(kTiVideoLine) & kTrigAttrOff)) return line;
  const int step = k.step > 0 ? k.step : 1;
  if (k.key == MENU_KEY_KNOB_UP) line += step;
  else if (k.key == MENU_KEY_KNOB_DOWN) line -= step;
  if (line <= 0) line = max;
  if (line > max) line = 1;
  TaskTrigger.SetItem(kTiVideoLine, uint64_t(line));
  return line;
}

int Trigger_VideoStandard(keypara k) {
  Step(k, kTiVideoStandard);
  return Trigger_VideoLineNum(keypara{KEY_NO_KEY, 0, 0});
}

int Trigger_VideoSync(keypara k) {
  const int sync = Step(k, kTiVideoSync);
  if (sync == kVideoSyncLine)
    TaskTrigger.SetAttr(kTiVideoLine, 0, kTrigAttrOff);
  else
    TaskTrigger.SetAttr(kTiVideoLine, kTrigAttrOff, 0);
  return sync;
}

// ---- n-th edge count ----
int Trigger_NthEdgeEdgeNum(keypara k) {
  if (k.key != MENU_KEY_F1 && k.key != MENU_KEY_SELECT && k.key != MENU_KEY_KNOB_UP &&
      k.key != MENU_KEY_KNOB_DOWN)
    return 0;
  if (k.key == MENU_KEY_F1) {
    if (TaskTrigger.IsNumKeyboardEnable())
      TaskTrigger.CloseNumKeyboard();
    else
      TaskTrigger.OpenNumKeyboard(kTiNthCount);
    return 0;
  }
  int64_t n = int64_t(TaskTrigger.Item(kTiNthCount) & 0xFFFFFFFF);
  if (TaskTrigger.IsNumKeyboardEnable()) {
    TaskTrigger.NumKeyboardOp(k);
    if (TaskTrigger.IsNumKeyboardEnable()) return 0;
    const double v = TaskTrigger.GetNumKeyboardVal();
    n = v <= 0 ? 1 : v > kTrigNthMax ? kTrigNthMax : int64_t(v);
    if (n <= 0) n = 1;
  } else {
    const int step = k.step > 0 ? k.step : 1;
    if (k.key == MENU_KEY_KNOB_UP) n += step > kFastStep ? int64_t(step) * kFastFactor : step;
    else if (k.key == MENU_KEY_KNOB_DOWN) n -= step;
    if (n <= 0) n = kTrigNthMax;
    if (n > kTrigNthMax) n = 1;
  }
  TaskTrigger.SetItem(kTiNthCount, uint64_t(n));
  return int(n);
}

// ---- duration and pattern codes ----
int Trigger_DurationCode(keypara k) {
  const int s = int(TaskTrigger.Item(kTiDurSource) & 0xFFFF);
  const int c = Step(k, kTiDurCode);
  TaskTrigger.SetDurationCode(PlaceCode(TaskTrigger.GetDurationCode(), s, c));
  if (s == 0 || s == 1) TaskTrigger.Sys()->runStatus->SetTriggerSourceCode(s, uint32_t(c));
  return c;
}

int Trigger_PatternCode(keypara k) {
  const int s = int(TaskTrigger.Item(kTiPatSource) & 0xFFFF);
  const int c = Step(k, kTiPatCode);
  TaskTrigger.SetPatternCode(PlaceCode(TaskTrigger.GetPatternCode(), s, c));
  return c;
}

// ---- page operations: every key on a type page reaches the hardware ----
int Trigger_VideoMenuOp(keypara) {
  if (TriggerMenu) TriggerMenu->SetItemParaAttribute(kTiVideoSource, kVideoSourceMask);
  return TaskTrigger.TriggerTypeParaRefresh();
}

int Trigger_TypeMenuOp(int type, keypara k) {
  if (type == kTrigVideo) return Trigger_VideoMenuOp(k);
  return TaskTrigger.TriggerTypeParaRefresh();
}
