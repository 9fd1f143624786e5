// The horizontal module's page 0: display format, main or zoomed time base
// and the hold-off with its number keypad; the page handler.
#include <cstdio>

#include "acquisition/horizontal/task_hori_internal.h"
#include "acquisition/models/x_system.h"
#include "core/messages/msg.h"
#include "core/messages/request.h"

namespace {
using namespace hori;

constexpr int kZoomSlots[] = {0, 1, 8, 9};
constexpr int kMainRow = 233, kMainHeight = 400;
constexpr int kZoomRow = 305, kZoomHeight = 280;
constexpr int kHoriZoomSelector = 1;

bool RollsAt(int timeBase) { return timeBase > kLastRealTimeBase && Run().GetTriggerMode() == kTrigAuto; }

void SetSlots(int row, int height) {
  for (int slot : kZoomSlots) Run().SetWaveDisplayInfor(slot, row, height);
}

int Request(uint16_t code, int16_t target, int16_t value, uint32_t value32 = 0) {
  requestpara answer{};
  answer.value = 0;
  Sys().request->Request(MakeRequest(code, target, value, value32), &answer);
  return answer.value;
}

// The cursor module follows the format: request 4 with the format, and
// request 3 (selector 5) when its cursors are on.
void CursorFollowsFormat(int format, uint64_t cursorBits) {
  AssistTo(kCursorTask, 4, format);
  if (Run().GetFuncBits() & cursorBits) AssistTo(kCursorTask, 3, 5, format);
}
}  // namespace


int Hori_Format(keypara k) {
  const uint64_t func = Run().GetFuncBits();
  const int refusal = (func & kFuncMultiScope)    ? kMsgAlternate
                      : (func & kFuncPassFail)    ? kMsgPassFail
                      : Stopped() && !IsReapply(k) ? kMsgStopped
                      : MathFftSplit()            ? kMsgFft
                                                  : -1;
  if (refusal >= 0) {
    Message(refusal);
    return 0;
  }
  const int format = M().AdjMenuItemPara(k, kHoriFormat);
  if (format == 0) {
    Run().ClearFuncBit(kFuncXY);
    CursorFollowsFormat(0, kFuncCursorTrack);
  } else {
    if (RollsAt(Sys().timeBase->GetRealTimeBase(0))) {
      Message(kMsgRoll);
      SetItem(kHoriFormat, 0);
      return 0;
    }
    if (Run().GetFuncBits() & kFuncZoom) AssistTo(kHoriTaskId, 3, kHoriZoomSelector, 0);
    Run().SetFuncBit(kFuncXY);
    SyncRunState();
    CursorFollowsFormat(1, kFuncCursors);
  }
  SyncRunState();
  Request(kReqDispFormat, 0, int16_t(format));
  Run().SetDrawRefresh();
  return 0;
}

int Hori_Type(keypara k) {
  const int refusal = Run().GetAcquireStatus(0) == kAcqSlowScan || RollsAt(Sys().timeBase->GetTimeBase(0)) ? kMsgRoll
                      : (Run().GetFuncBits() & kFuncPassFail)                                          ? kMsgPassFail
                      : Item(kHoriFormat) == 1 || (Run().GetFuncBits() & kFuncXY)                       ? kMsgXY
                      : MultiScopeOn()                                                                  ? kMsgAlternate
                                                                                                        : -1;
  if (refusal >= 0) {
    Message(refusal);
    return 0;
  }
  const int type = M().AdjMenuItemPara(k, kHoriType);
  auto apply = [](int t) {
    if (t == 0) {
      Run().ClearFuncBit(kFuncZoom);
      SetSlots(kMainRow, kMainHeight);
    } else {
      Run().SetFuncBit(kFuncZoom);
      SetSlots(kZoomRow, kZoomHeight);
    }
    SyncRunState();
  };
  apply(type);
  if (Request(kReqHoriType, int16_t(type), int16_t(type)) == -1 && type == 1) {
    // The zoom window was refused: the item, the function bit, the geometry
    // and the run state all return to the main time base.
    SetItem(kHoriType, 0);
    apply(0);
  } else if (type == 1) {
    // The spectrum leaves its split and waterfall views, as it does when
    // one is chosen in zoom.
    AssistTo(kMathTask, kAssistMathZoomOn);
  }
  return 0;
}

int Hori_HoldOff(keypara k) {
  TaskForHori& t = TaskHori;
  uint64_t counts = 0;
  if (k.key == MENU_KEY_F5) {
    if (t.KeypadShown())
      t.CloseKeypad();
    else
      t.OpenKeypad();
    return 0;
  }
  if (t.KeypadShown()) {
    numkeyboard& pad = t.KeypadState();
    pad.key = k.key;
    pad.step = k.step;
    pad.useStep = k.useStep;
    const int result = Sys().common->NumKeyboardOp(&pad);
    double seconds = 0;
    if (result == kNumMax) {
      seconds = double(kHoldOffMax) * double(kHoldOffStep);
    } else if (result == kNumMin || result == kNumDefault) {
      seconds = double(kHoldOffMin) * double(kHoldOffStep);
    } else if (result >= 14 && result < kNumMax) {
      if (!(pad.value > 0)) {
        Message(kMsgInvalidValue);
        return 0;
      }
      seconds = pad.value;
    } else {
      return 0;
    }
    t.CloseKeypad();
    counts = HoldOffCounts(seconds);
  } else {
    counts = M().AdjMenuTimePara(nullptr, k, kHoriHoldOff);
  }
  if (counts < kHoldOffMin) counts = kHoldOffMin;
  if (counts > kHoldOffMax) counts = kHoldOffMax;
  SetItem(kHoriHoldOff, counts);
  SyncRunState();
  Request(kReqHoriHoldOff, 0, 0, uint32_t(counts));
  Run().SetDrawRefresh();
  return 0;
}

int HoriMenuOp(keypara k) {
  if (k.key == kHoriKey) {
    Manager().ActiveTask(kHoriTaskId, 0);
    M().SetCurrPage(0);
  }
  SyncRunState();
  return 0;
}

namespace hori {
void ItemsFollowState() {
  const uint64_t func = Run().GetFuncBits();
  SetItem(kHoriFormat, (func & kFuncXY) ? 1 : 0);
  SetItem(kHoriType, (func & kFuncZoom) ? 1 : 0);
  const int multi = (func & kFuncMultiScope) ? 1 : 0;
  SetItem(kHoriMultiScope, uint64_t(multi));
  SetItem(kHoriMultiScope2, uint64_t(multi));
  SyncRunState();
}
}  // namespace hori

// The FPGA configuration comes first: its reload re-lays the channels'
// panes, which the format and the time-base type then take over. Both stay
// Y-T on the main time base while multi-scope is on.
void HoriAllParaReSet() {
  Hori_MultiScopeOnOff(kReload);
  if (!MultiScopeOn()) {
    Hori_Format(kReapplyKey);
    Hori_Type(kReapplyKey);
  }
  Hori_HoldOff(kReapplyKey);
  ItemsFollowState();
}
