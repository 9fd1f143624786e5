// The trigger type in force: choosing it, copying its items into the run
// state and programming the hardware (request 17), the page operation of the
// type pages, and the keypad for times and counts.
#include <cstdio>

#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/messages/msg.h"
#include "core/messages/request.h"
#include "core/messages/semaphore.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "trigger/analog/task_trigger.h"
#include "trigger/decode/bus_decode_export.h"
#include "trigger/bus/trigger_bus.h"

namespace {
constexpr int kTaskId = 10;
constexpr uint16_t kTriggerKey = 69;
constexpr int kStatusReset = 5;
constexpr int kLevelGapMin = 15;  // two-level types keep their levels apart
constexpr uint64_t kFuncNoTriggerSend = 0x2;
constexpr int kFastTimeBaseIndex = 25;
constexpr uint16_t kKeypadKeys[] = {72, 76, 77};
constexpr double kKeypadMaxSeconds = 10.0;
constexpr float kPulseMinSeconds = 2e-9f, kTimeMinSeconds = 8e-9f;
constexpr int kPadMax = 22, kPadMin = 23, kPadDefault = 24, kPadDoneFirst = 14;
constexpr int kModeSingle = 2;
constexpr uint16_t kSweepWordSingle = 3;  // the sweep word of a single sweep

bool BusType(int t) { return t >= kTrigRs232 && t <= kTrigLin; }
bool TwoLevelType(int t) { return t == kTrigSlope || t == kTrigRunt || t == kTrigWindow; }

int16_t I16(int n) { return int16_t(TaskTrigger.Item(n) & 0xFFFF); }
}  // namespace

const int LinkageItem[kTrigTypes + 1] = {0,  5,  15, 20,  30,  40,  50,  60,  65,
                                         75, 85, 95, 110, 125, 160, 195, 220, -1};
const int SourceItem[12] = {1, 6, 16, 21, 31, 41, 51, 61, 66, 76, 86, 96};

int SetTriggerMenuPage(short type) {
  if (!TriggerMenu || type < 0 || type >= kTrigTypes) return -1;
  return TriggerMenu->SetCurrPage(LinkageItem[type]);
}

int SetTriggerSourceMenu(short source) {
  const int t = TaskTrigger.Type();
  if (t > kTrigLin) return -1;
  static const int kBusSource[] = {111, 126, 161, 196, 221};
  TaskTrigger.SetItem(t < kTrigRs232 ? SourceItem[t] : kBusSource[t - kTrigRs232],
                      uint64_t(uint16_t(source)));
  return 0;
}

int Trigger_TypeSelect(keypara k) {
  if (!TriggerMenu) return -1;
  _SysResource* sys = TaskTrigger.Sys();
  _SysRunInfoOp* run = sys->runStatus;
  // The type item of the page shown, or the one whose list is open.
  int first = TriggerMenu->GetCurrPage() * kMenuSlots;
  MenuPopInfo pop{};
  if (TriggerMenu->MenuIsPop(&pop) && pop.open)
    for (int i = 0; i < kTrigTypes; ++i)
      if (LinkageItem[i] == pop.item) first = pop.item;
  int t = TriggerMenu->AdjMenuLinkageItemPara(nullptr, k, first, LinkageItem);
  if (t < 0 || t >= kTrigTypes) {
    t = kTrigEdge;
    TriggerMenu->AdjMenuLinkageItemPara(nullptr, keypara{KEY_NO_KEY, 0, 0}, kTiType, LinkageItem);
    TaskTrigger.SetItem(kTiType, 0);
  }
  if (t != kTrigEdge && TaskTrigger.Item(kTiCoupling) != 0) {
    // Only the edge type offers AC and the rejects: back to DC, in the
    // hardware as well as on the page.
    TaskTrigger.SetItem(kTiCoupling, 0);
    TaskTrigger.TriggerSetParaRefresh();
  }
  if (run->IsIndependTimeBase()) {
    const uint64_t s = TaskTrigger.Item(t == kTrigPulse ? kTiPulseSource : kTiEdgeSource) & 0xFFFF;
    TaskTrigger.SetItem(kTiEdgeSource, s);
    TaskTrigger.SetItem(kTiPulseSource, s);
    sys->board->SendRealControl(fpga::kChannel, uint16_t(s));
  }
  const int src = run->GetTrigSource();
  if (TwoLevelType(t) && (src == 0 || src == 1)) {
    const int second = sys->trigger->GetTriggerPos(src, 1),
              firstLevel = sys->trigger->GetTriggerPos(src, 0);
    const int gap = second - firstLevel;
    if (gap > -kLevelGapMin && gap < kLevelGapMin)
      sys->trigger->SetTriggerPos(src, 0, second - kLevelGapMin);
  }
  task_manage* m = TaskTrigger.Resource.manager ? TaskTrigger.Resource.manager : &TaskManage;
  if (BusType(t)) {
    if (m->FindUserTaskProcess(kTaskId) != TASK_LISTED) m->AddUserTaskProcess(kTaskId, 0, 0);
    if (m->FindUserTaskDisplay(kTaskId) != TASK_LISTED) m->AddUserTaskDisplay(kTaskId, 0, 0);
  } else {
    m->DelUserTaskProcess(kTaskId);
    if (!TaskTrigger.IsNumKeyboardEnable()) m->DelUserTaskDisplay(kTaskId);
  }
  const keypara none{KEY_NO_KEY, 0, 0};
  TriggerWhen_Sel(none);
  Decode_Bus_Set_Display_Type(none);
  TriggerWhen_LowLimit(none);
  TriggerWhen_UppLimit(none);
  sys->message->ClearMessage();
  return TriggerMenu->SetCurrPage(LinkageItem[t]);
}

int TaskForTrigger::SendRequest17() {
  _SysResource* sys = Sys();
  if (sys->runStatus->GetFuncBits() & kFuncNoTriggerSend) return 0;
  if (sys->timeBase->GetRealTimeBase(0) > kFastTimeBaseIndex) sys->timeBase->AdjTimeBase(0, 0);
  return sys->request->Request(MakeRequest(kReqTrigger, 0, 0), nullptr);
}

int TaskForTrigger::TriggerTypeParaRefresh() {
  if (TaskMenu.MenuIsNull()) return -1;
  _SysResource* sys = Sys();
  sys->board->TansBuffClear();
  const bool ns = Type() == kTrigPulse;
  const uint32_t upper = trig_system::TimeCountWord(Item(kTiUppLimit), ns);
  const uint32_t lower = trig_system::TimeCountWord(Item(kTiLowLimit), ns);
  const int t = Type();
  if (BusType(t))
    SetAttr(kTiBusSaveSet, 0, kTrigAttrOff);
  else
    SetAttr(kTiBusSaveSet, kTrigAttrOff, 0);
  // Items read before the semaphore is taken: the menu takes it too.
  const int sourceOn = sys->runStatus->GetChStatus();
  const int16_t when = I16(kTiWhen);
  const bool delayKnobOnFirst = Attr(kTiDelaySource1) & kTrigAttrKnob;
  const int durSource = I16(kTiDurSource);
  const int shData = I16(kTiShData);
  const BusSettings bus = GatherBusSettings(t, sys->timeBase->GetCurrTimeBaseSample(0));
  {
    SemLock lock(Resource.sem ? *Resource.sem : Sem);
    _SysRunInfo& r = *sys->runStatus->GetSysRunInfoBaseAddr();
    r.trigLevelSel = 1;
    switch (t) {
      case kTrigEdge:
        r.trigSource = I16(kTiEdgeSource);
        r.slope = I16(kTiEdgeSlope);
        break;
      case kTrigPulse:
        r.trigSource = I16(kTiPulseSource);
        r.when = when;
        r.timeValue1 = lower;
        r.timeValue2 = upper;
        r.slope = I16(kTiPulsePolarity);
        break;
      case kTrigVideo:
        r.trigSource = I16(kTiVideoSource);
        r.videoStandard = I16(kTiVideoStandard);
        r.videoSync = I16(kTiVideoSync);
        r.videoLine = I16(kTiVideoLine);
        break;
      case kTrigSlope: {
        const int th = I16(kTiSlopeThreshold);
        r.trigSource = I16(kTiSlopeSource);
        r.slope = I16(kTiSlopePolarity);
        r.when = when;
        r.timeValue1 = lower;
        r.timeValue2 = upper;
        r.trigLevelSel = int16_t(th == 0 || th == 1 ? th : 2);
        break;
      }
      case kTrigRunt:
        r.trigSource = I16(kTiRuntSource);
        r.slope = I16(kTiRuntPolarity);
        r.when = when;
        r.timeValue1 = lower;
        r.timeValue2 = upper;
        r.trigLevelSel = I16(kTiRuntLevel) ? 1 : 0;
        break;
      case kTrigWindow:
        r.trigSource = I16(kTiWinSource);
        r.slope = I16(kTiWinSlope);
        r.windowPos = I16(kTiWinPosition);
        r.timeValue1 = trig_system::TimeCountWord(Item(kTiWinTime), false);
        r.trigLevelSel = I16(kTiWinLevel) ? 1 : 0;
        break;
      case kTrigDelay:
        r.trigSource = delayKnobOnFirst ? I16(kTiDelaySource1) : I16(kTiDelaySource2);
        r.trigSource2 = I16(kTiDelaySource1);
        r.trigSource3 = I16(kTiDelaySource2);
        r.delayEdge1 = I16(kTiDelayEdge1);
        r.delayEdge2 = I16(kTiDelayEdge2);
        r.when = when;
        r.timeValue1 = lower;
        r.timeValue2 = upper;
        break;
      case kTrigTimeOut:
        r.trigSource = I16(kTiTimeOutSource);
        r.slope = I16(kTiTimeOutSlope);
        r.timeValue1 = trig_system::TimeCountWord(Item(kTiTimeOutTime), false);
        break;
      case kTrigDuration:
        r.trigSource = int16_t(durSource);
        if (durSource >= 0 && durSource < 4)
          r.sourceCode[durSource] =
              (sourceOn >> durSource & 1) ? (DurationCode >> (4 * durSource) & 0xF) : 2;
        r.when = when;
        r.timeValue1 = lower;
        r.timeValue2 = upper;
        break;
      case kTrigSetupHold:
        r.trigSource = I16(kTiShClock);
        r.trigSource2 = int16_t(shData);
        if (shData >= 0 && shData < 4) r.sourceCode[shData] = uint32_t(I16(kTiShCode));
        r.trigSource3 = I16(kTiShClock);
        r.slope = I16(kTiShEdge);
        r.setupHoldSel = I16(kTiShSel);
        r.timeValue1 = trig_system::TimeCountWord(Item(kTiShTime), false);
        break;
      case kTrigNthEdge:
        r.trigSource = I16(kTiNthSource);
        r.slope = I16(kTiNthSlope);
        r.timeValue1 = trig_system::TimeCountWord(Item(kTiNthIdle), false);
        r.nthEdgeCount = int32_t(Item(kTiNthCount) & 0xFFFF);
        break;
      case kTrigPattern: {
        const int s = I16(kTiPatSource);
        r.trigSource = int16_t(s);
        if (s >= 0 && s < 4) r.sourceCode[s] = uint32_t(I16(kTiPatCode));
        break;
      }
      default:  // the serial buses
        ApplyBusSettings(bus, r);
        break;
    }
    r.trigType = int16_t(t);
  }
  return SendRequest17();
}

int TaskForTrigger::TriggerSetParaRefresh() {
  if (TaskMenu.MenuIsNull()) return -1;
  _SysResource* sys = Sys();
  const int mode = I16(kTiMode), coupling = I16(kTiCoupling);
  {
    SemLock lock(Resource.sem ? *Resource.sem : Sem);
    _SysRunInfo& r = *sys->runStatus->GetSysRunInfoBaseAddr();
    r.trigMode = int16_t(mode);
    r.trigCoupling = int16_t(coupling);
  }
  sys->trigger->SetTriggerCoupling();
  sys->trigger->SetTriggerMode(mode);
  // Stopped, the model leaves the board's sweep word as it was, so that the
  // kept record stays; the word still has to say single, or the next start
  // would run the sweep chosen before.
  if (mode == kModeSingle && sys->runStatus->GetAcquireStatus(0) == kAcqStopped)
    sys->board->SendRealControl(fpga::kSweep, kSweepWordSingle);
  return 0;
}

int Trigger_MenuOp(keypara k) {
  if (!TriggerMenu) return -1;
  _SysResource* sys = TaskTrigger.Sys();
  _SysRunInfoOp* run = sys->runStatus;
  if (k.key == kTriggerKey) {
    if (run->IsIndependTimeBase()) {
      const int on = run->GetChStatus() & 3;
      uint64_t s = TaskTrigger.Item(kTiEdgeSource) & 0xFFFF;
      uint32_t mask = 15;
      if (on == 2)
        s = 1, mask = 13;
      else if (on == 3)
        mask = 12;
      else if (on == 1)
        s = 0, mask = 14;
      for (int n : {kTiEdgeSource, kTiPulseSource}) {
        TaskTrigger.SetItem(n, s);
        TriggerMenu->SetItemParaAttribute(n, mask);
      }
      return TaskTrigger.TriggerTypeParaRefresh();
    }
    task_manage* m = TaskTrigger.Resource.manager ? TaskTrigger.Resource.manager : &TaskManage;
    m->ActiveTask(kTaskId, 0);
    Trigger_TypeSelect(keypara{KEY_NO_KEY, 0, 0});
    if (run->GetAcquireStatus(0) == kStatusReset) return 0;
  }
  sys->board->WaitingDrawingIdle();
  const int t = TaskTrigger.Type();
  Trigger_TypeMenuOp(t, k);
  if (k.key == kTriggerKey) SetTriggerMenuPage(short(t));
  if (k.key == MENU_KEY_F5) TaskTrigger.CloseNumKeyboard();
  sys->board->AnalogChannelControl(run->GetSysRunInfoBaseAddr());
  sys->trigger->AdjTriggerPosition(0);
  const int src = sys->trigger->GetTriggerSource();
  sys->board->FreqInitMeter(2, src > 1 ? 0 : src, 3);
  return 0;
}

// ---- the keypad ----

int TaskForTrigger::OpenNumKeyboard(short item) {
  Manager()->AddUserTaskDisplay(kTaskId, 0, 0);
  Sys()->common->NumKeyboardInit(&NumKeyboard, kTaskId, item);
  NumKeyboardFlag = 1;
  return 0;
}

int TaskForTrigger::CloseNumKeyboard() {
  const bool was = NumKeyboardFlag != 0;
  NumKeyboardFlag = 0;
  if (was && !BusType(Type())) Manager()->DelUserTaskDisplay(kTaskId);
  return 0;
}

int TaskForTrigger::NumKeyboardOp(keypara k) {
  bool accepted = false;
  for (uint16_t key : kKeypadKeys) accepted = accepted || k.key == key;
  if (!accepted) return -1;
  NumKeyboard.key = k.key;
  NumKeyboard.step = k.step;
  NumKeyboard.useStep = k.useStep;
  const int r = Sys()->common->NumKeyboardOp(&NumKeyboard);
  const int t = Type();
  const bool count = (t == kTrigNthEdge && NumKeyboard.setting == kTiNthCount) || t == kTrigRs232 ||
                     t == kTrigCan || t == kTrigLin;
  if (count) {
    static const double kMax[] = {kTrigNthMax, 25000000.0, 2000000.0, 100000.0};
    const int i = t == kTrigRs232 ? 1 : t == kTrigCan ? 2 : t == kTrigLin ? 3 : 0;
    if (r == kPadMax) {
      NumKeyboard.value = kMax[i];
      CloseNumKeyboard();
      return -1;
    }
    if (r == kPadMin || r == kPadDefault) NumKeyboard.value = 1.0;
    if (r >= kPadDoneFirst && r <= kPadDefault) CloseNumKeyboard();
    return -1;
  }
  if (r == kPadMax) NumKeyboard.value = kKeypadMaxSeconds;
  if (r == kPadMin || r == kPadDefault)
    NumKeyboard.value = t == kTrigPulse ? kPulseMinSeconds : kTimeMinSeconds;
  if (r >= kPadDoneFirst && r <= kPadDefault) {
    // Seconds to the time item's count: 1 ns for pulse, 4 ns otherwise.
    NumKeyboard.value *= t == kTrigPulse ? 1e9 : 1e9 / 4;
    CloseNumKeyboard();
  }
  return r;
}
