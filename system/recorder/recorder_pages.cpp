// The recorder's utility pages: entry checks, the operation items, the
// settings page with its bounds and number pad, and the frame counter.
#include "system/recorder/recorder_pages.h"

#include <algorithm>
#include <cstdio>

#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "core/common/common_subprogram.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "system/recorder/recorder.h"
#include "system/utility/task_utility.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kPageRecOp = 7, kPageRecOp2 = 8, kPageRecSet = 9;

constexpr uint32_t kFocusFirst = MENU_ATTR_FOCUS_FIRST;  // the item with the knob focus

// Bounds of the settings, in 4 ns ticks and frames.
constexpr uint64_t kIntervalMin = 2, kIntervalMax = 250000000;
constexpr uint64_t kPlayDelayMin = 5000000, kPlayDelayMax = 250000000;
constexpr uint64_t kEndFrameMin = 1, kEndFrameMax = 0xFFFF;  // the item holds 16 bits
constexpr double kTicksPerSecond = 1e9 * 0.25;

// Run-state function bits the entry checks read.
constexpr uint64_t kFuncRoll = 0x2, kFuncFft = 0x20, kFuncPassFail = 0x800, kFuncMultiScope = 0x40000;
constexpr uint64_t kFuncVoltmeter = 0x10000, kFuncCursors = 0x7000;
constexpr int kSlowestRecordTimeBase = 25;
constexpr int kChannelsMask = 0x3;

// Messages.
constexpr int kMsgTooSlow = 83, kMsgMultiScope = 78, kMsgFft = 19, kMsgPassFail = 85;
constexpr int kMsgNoChannel = 73, kMsgNotRecorded = 75;

// The frame counter box.
constexpr int kCounterFont = 3, kCounterFrame = 0x828282, kCounterFill = 0x000000, kCounterText = 0xC8C8AF;
constexpr int kCounterRow = 54, kCounterRowVoltmeter = 94;
constexpr int kCounterCol = 180, kCounterColCursor = 305;
constexpr int kCounterWidth = 120, kCounterHeight = 22;

Menu& M() { return TaskUtility.TaskMenu; }

// The three adjustable settings in knob-focus order.
struct Setting {
  int item;
  bool time;  // a 4 ns time (knob through the time steps, pad in seconds)
  uint64_t min, max;
  uint32_t RecData::*field;
};
const Setting kSettings[] = {
    {kItemInterval, true, kIntervalMin, kIntervalMax, &RecData::interval},
    {kItemEndFrame, false, kEndFrameMin, kEndFrameMax, &RecData::endFrame},
    {kItemPlayDelay, true, kPlayDelayMin, kPlayDelayMax, &RecData::playDelay},
};

numkeyboard NumPad{};

void SetPage(int page) { M().SetCurrPage(page * kMenuSlots); }

// The end frame's bound is what the depth in force holds, not what the
// depth of the last recording held.
uint64_t UpperBound(const Setting& s) {
  return s.time ? s.max : std::min<uint64_t>(s.max, std::max<uint64_t>(GetMaxFrame(), kEndFrameMin));
}

void Apply(const Setting& s, uint64_t value) {
  if (!s.time) FrameSet();  // Max Frame shows the same bound
  value = std::clamp(value, s.min, UpperBound(s));
  M().SetMenuItem(s.item, value);
  recData.*s.field = uint32_t(value);
  SysRunStatus.SetDrawRefresh();
}

bool HasFocus(int item) { return (M().GetItemAttribute(item) & kFocusFirst) != 0; }

void TakeFocus(int item) {
  for (const Setting& s : kSettings) {
    const uint32_t a = uint32_t(M().GetItemAttribute(s.item));
    M().SetItemAttribute(s.item, s.item == item ? a | kFocusFirst : a & ~kFocusFirst);
  }
}

void OpenPad(int item) {
  CommonSubProg.NumKeyboardInit(&NumPad, kTaskUtility, item);
  UtilityAdjType = 1;
  TaskUtility.SetFuncBits(kUtiDlgNumPad);
  TaskManage.AddUserTaskDisplay(kTaskUtility, 1, 0);
}

// A key while the pad is open: the pad's answer, once it has one, sets the value.
void PadKey(const Setting& s, keypara key) {
  NumPad.key = key.key;
  NumPad.step = key.step;
  NumPad.useStep = key.useStep;
  const int result = CommonSubProg.NumKeyboardOp(&NumPad);
  uint64_t value;
  if (result == kNumMax) {
    value = UpperBound(s);
  } else if (result == kNumMin || result == kNumDefault) {
    value = s.min;
  } else if (result >= kNumMilli && result < kNumMax) {
    const double v = NumPad.value > 0 ? NumPad.value : 0.0;
    const double scaled = s.time ? v * kTicksPerSecond : v;
    value = scaled >= double(UpperBound(s)) ? UpperBound(s) : uint64_t(scaled);
  } else {
    return;
  }
  RecorderNumPadClose();
  Apply(s, value);
}

int SettingKey(const Setting& s, keypara key) {
  const int own = Menu::MenuItemToFx(s.item);
  if (key.key == KEY_NO_KEY) {
    Apply(s, M().GetMenuItem(s.item));
    return 0;
  }
  if (key.key == own) {
    if (!HasFocus(s.item)) {
      RecorderNumPadClose();
      TakeFocus(s.item);
    } else if (RecorderNumPadOpen()) {
      RecorderNumPadClose();
    } else {
      OpenPad(s.item);
    }
    SysRunStatus.SetDrawRefresh();
    return 0;
  }
  if (RecorderNumPadOpen()) {
    PadKey(s, key);
    return 0;
  }
  if (key.key == kKeySelectPush) {
    const size_t i = size_t(&s - kSettings);
    const Setting& next = kSettings[(i + 1) % std::size(kSettings)];
    keypara k{uint16_t(Menu::MenuItemToFx(next.item)), 1, 0};
    return SettingKey(next, k);
  }
  if (key.key != kKeySelectRight && key.key != kKeySelectLeft) return 0;
  uint64_t value;
  if (s.time) {
    value = M().AdjMenuTimePara(nullptr, key, s.item);
  } else {
    const int64_t step = key.step > 0 ? key.step : 1;
    int64_t v = int64_t(M().GetMenuItem(s.item) & 0xFFFFFFFF);
    v += key.key == kKeySelectRight ? step : -step;
    value = uint64_t(std::max<int64_t>(v, 0));
  }
  Apply(s, value);
  return 0;
}

const Setting& SettingOf(int item) {
  for (const Setting& s : kSettings)
    if (s.item == item) return s;
  return kSettings[0];
}
}  // namespace

// Message number refusing a recording now, 0 when it may start.
static int RecorderRefusal() {
  const uint64_t bits = SysRunStatus.GetFuncBits();
  if (TimeBase.GetRealTimeBase(0) > kSlowestRecordTimeBase || (bits & kFuncRoll)) return kMsgTooSlow;
  if (bits & kFuncMultiScope) return kMsgMultiScope;
  if (bits & kFuncFft) return kMsgFft;
  if (bits & kFuncPassFail) return kMsgPassFail;
  return 0;
}

void FrameSet() {
  recData.maxFrame = GetMaxFrame();
  M().SetMenuItem(kItemMaxFrame, recData.maxFrame);
  if (recData.endFrame > recData.maxFrame) {
    recData.endFrame = recData.maxFrame;
    M().SetMenuItem(kItemEndFrame, recData.endFrame);
  }
}

int Utility_Rec_Op_Record(keypara) {
  FrameSet();
  if (const int refused = RecorderRefusal()) {
    QelMsg.SetMessage(refused);
    return 0;
  }
  if (WaveOp.GetPassFailOnOff()) WaveOp.PassFailOnOff(0);  // the mask gives way to the recording
  if (!(SysRunStatus.GetChStatus() & kChannelsMask)) {
    QelMsg.SetMessage(kMsgNoChannel);
    return 0;
  }
  Rec_Record();
  SysRunStatus.SetFuncBit(kFuncRecording);
  return 0;
}

int Utility_Rec_Op_Play(keypara) {
  const int on = SysRunStatus.GetChStatus();
  std::printf("recChStatus = %d, chStatus = %d\n", recData.chMask, on);
  if (!(recData.chMask & kChannelsMask)) {
    QelMsg.SetMessage(kMsgNotRecorded);
    return 0;
  }
  if (!(recData.chMask & on & kChannelsMask)) {
    QelMsg.SetMessage(kMsgNoChannel);
    return 0;
  }
  Rec_Play();
  if (recData.mode == kPlayPlaying) SysRunStatus.SetFuncBit(kFuncPlaying);
  return 0;
}

int Utility_Rec_Op_Stop(keypara) {
  Rec_Stop();
  return 0;
}

int Utility_Rec_FastRecord(keypara key) {
  M().AdjMenuItemPara(key, kItemFastRec);
  return 0;
}

int Utility_Rec_Op_Next(keypara) {
  SetPage(kPageRecOp2);
  return 0;
}

int Utility_Rec_Op_Set(keypara) {
  if (SysRunStatus.GetFuncBits() & (kFuncRecording | kFuncPlaying)) Rec_Stop();
  FrameSet();
  SetPage(kPageRecSet);
  return 0;
}

int Utility_Rec_Op_Close(keypara) {
  Rec_Close();
  SetPage(0);
  return 0;
}

int Utility_Rec_Back(keypara) {
  SetPage(kPageRecOp);
  return 0;
}

int Utility_Rec_Set_Back(keypara) {
  RecorderNumPadClose();
  SetPage(kPageRecOp);
  return 0;
}

int Utility_Rec_Set_Interval(keypara key) { return SettingKey(SettingOf(kItemInterval), key); }
int Utility_Rec_Set_EndFrame(keypara key) { return SettingKey(SettingOf(kItemEndFrame), key); }
int Utility_Rec_Set_PlayDelay(keypara key) { return SettingKey(SettingOf(kItemPlayDelay), key); }
int Utility_Rec_Set_MaxFrame(keypara) { return 0; }

int Utility_RecMenuOp(keypara key) {
  if (key.key == kKeyUtility) {
    SetPage(0);
  } else if (key.key == kKeySelectRight || key.key == kKeySelectLeft) {
    Rec_PlayAdjFrame(key);
  }
  return 0;
}

bool RecorderNumPadOpen() { return UtilityAdjType == 1 && (TaskUtility.GetFunBits() & kUtiDlgNumPad); }

void RecorderNumPadClose() {
  if (!RecorderNumPadOpen()) return;
  UtilityAdjType = 0;
  TaskUtility.ClearFuncBits(kUtiDlgNumPad);
}

void RecorderNumPadDraw() {
  if (RecorderNumPadOpen()) QelDraw.DrawNumKeyboard(&NumPad);
}

void Utility_DrawRecWaveNum() {
  const uint64_t bits = SysRunStatus.GetFuncBits();
  const int row = bits & kFuncVoltmeter ? kCounterRowVoltmeter : kCounterRow;
  const int col = bits & kFuncCursors ? kCounterColCursor : kCounterCol;
  QelDraw.FillRect(row, col, kCounterWidth, kCounterHeight, kCounterFill, DRAW_CURRENT);
  QelDraw.DrawRect(row, col, kCounterWidth, kCounterHeight, kCounterFrame, DRAW_CURRENT);
  if (Font* f = QelDraw.GetUserFontPointer()) f->SetCurrFont(kCounterFont);
  char text[32];
  if (recData.mode == kPlayNone)
    std::snprintf(text, sizeof text, "Record :%4d", int(recData.framesRecorded));
  else
    std::snprintf(text, sizeof text, "Replay :%4d", int(recData.currentFrame));
  QelDraw.DrawString(row + 4, col + 6, text, kCounterText, DRAW_CURRENT);
}
