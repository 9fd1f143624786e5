// The pass/fail test: its four pages of the utility menu, the mask built by
// the waveform engine from a reference channel, the run with its counts, the
// output pulse and beep on each new counted event, the stop on a threshold
// and the result box.
#include <sys/time.h>

#include <algorithm>
#include <cstdio>

#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "core/common/common_subprogram.h"
#include "core/board/control.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "system/utility/pass_fail.h"
#include "system/recorder/recorder.h"
#include "system/utility/task_utility.h"
#include "system/utility/task_utility_internal.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr uint64_t kFuncCursor = 0x3000;
constexpr int kMsgRefOff = 60, kMsgSourceOff = 61, kMsgNotEnabled = 62;
constexpr int kMaskDisplay = 12;       // display channel of the mask
constexpr uint16_t kRunStopKey = 59, kAssistKey = 1;
constexpr int kCountLimit = 30000;
constexpr int64_t kBeepUs = 500000;
constexpr int kPadMax = 22, kPadMin = 23, kPadDefault = 24;  // number-pad answers
constexpr int kBoxRow = 50, kBoxCol = 50, kBoxColCursor = 175, kBoxWidth = 180, kBoxHeight = 60;
constexpr int kTextCol = 56, kTextColCursor = 181, kBoxFont = 4;
constexpr int kLineRows[3] = {56, 72, 88};
constexpr int kBoxColour = 0x616161, kTextColour = 0xFFFFFF;
constexpr uint32_t kFocus = MENU_ATTR_FOCUS_FIRST;

int PassFailRunFlag = 0;
int PassFailCnt = 0;
int PassFailTemplateFlag = 0;
int16_t BeeFlag = 0;
int64_t PassFailBeeUs = 0;
int16_t PassTimes = 0, FailTimes = 0;
numkeyboard UtilityNumKeyboard{};

_SysRunInfoOp& Run() { return TaskUtility.Run(); }
_wave& Wave() { return *TaskUtility.Sys().wave; }
control& Board() { return *TaskUtility.Sys().board; }
Menu& M() { return TaskUtility.TaskMenu; }
bool Func(uint64_t bits) { return (Run().GetFuncBits() & bits) != 0; }
bool ChannelOn(int ch) { return (Run().GetChStatus() >> (ch & 1) & 1) != 0; }

// The beeper as the test last switched it (-1: not yet). It is switched
// only when that changes: each switch is a shell command on the board, and
// the stop test runs on every redraw.
int8_t BeeperState = -1;
void Beeper(bool on) {
  if (BeeperState == int8_t(on)) return;
  BeeperState = int8_t(on);
  if (on)
    Board().BeeOn();
  else
    Board().BeeOff();
}

void MaskShown(bool on) { TaskUtility.Sys().vertical->SetChOnOff(kMaskDisplay, on ? 1 : 0); }

// Asks the system module for the RUN/STOP key.
void AskRunStop() {
  taskresponse request{}, reply{};
  request.request = kAssistKey;
  request.key = keypara{kRunStopKey, 1, 0};
  TaskUtility.Manager().RequestTaskAssist(kTaskSystem, &request, &reply);
}

int PassFail_Create() {
  const int ref = UtiItem(kUtiPfRefChannel);
  if (!ChannelOn(ref)) {
    UtiMessage(kMsgRefOff);
    return -1;
  }
  if (UtiItem(kUtiPfEnable) == 0) {
    UtiMessage(kMsgNotEnabled);
    return -1;
  }
  const int rc = Wave().RequestPassFailTemplate(ref, UtiItem(kUtiPfHoriMask), UtiItem(kUtiPfVertMask));
  MaskShown(true);
  std::printf("passfile create ret = %d\n", rc);
  BeeFlag = 0;
  PassFailTemplateFlag = 1;
  return rc;
}

// The numeric items: their bounds, own soft key, knob step rule and pad answers.
struct NumericItem {
  int n;
  uint16_t softKey;
  int max;
  bool tenfold;       // knob steps above 9 count ten-fold
  int minAnswer;      // value of pad answer 24
  int sister;         // the item the select key hands the focus to (-1 none)
  bool rebuildsMask;
};
constexpr NumericItem kThreshold{kUtiPfThreshold, kKeyF3, kUtiPfThresholdMax, true, kUtiPfThresholdStart, -1, false};
constexpr NumericItem kHori{kUtiPfHoriMask, kKeyF2, kUtiPfMaskMax, false, kUtiPfMaskMin, kUtiPfVertMask, true};
constexpr NumericItem kVert{kUtiPfVertMask, kKeyF3, kUtiPfMaskMax, false, kUtiPfMaskMin, kUtiPfHoriMask, true};

void ClosePad() {
  UtilityAdjType = 0;
  TaskUtility.ClearFuncBits(kUtiDlgNumPad);
  if (TaskUtility.Sys().draw) TaskUtility.Sys().draw->ClearNumKeyboardShowFlag();
}

void SetNumber(const NumericItem& it, int v) {
  M().SetMenuItem(it.n, uint64_t(std::clamp(v, kUtiPfThresholdMin, it.max)));
  if (it.rebuildsMask) PassFail_Create();
  Run().SetDrawRefresh();
}

int Numeric(const NumericItem& it, keypara key) {
  const int value = UtiItem(it.n);
  if (UtilityAdjType == 1 && (key.key == kKeySelectPush || key.key == kKeySelectRight || key.key == kKeySelectLeft)) {
    UtilityNumKeyboard.key = key.key;
    UtilityNumKeyboard.step = key.step;
    UtilityNumKeyboard.useStep = key.useStep;
    const int answer = CommonSubProg.NumKeyboardOp(&UtilityNumKeyboard);
    if (answer <= 0) return 0;
    ClosePad();
    if (answer == kPadMax) return SetNumber(it, it.max), 0;
    if (answer == kPadMin) return SetNumber(it, kUtiPfThresholdMin), 0;
    if (answer == kPadDefault) return SetNumber(it, it.minAnswer), 0;
    const double number = UtilityNumKeyboard.value;
    std::printf("MathNumKeyboard.fNumber = %lf\n", number);
    const long n = number > double(it.max) ? it.max : number < 1 ? 1 : long(number);
    std::printf("Number = %ld\n", n);
    std::printf("Para.iPara = %d\n", int(n));
    SetNumber(it, int(n));
    return 0;
  }
  if (key.key == kKeySelectRight || key.key == kKeySelectLeft) {
    const int step = key.useStep ? std::max<int>(1, key.step) : 1;
    const int delta = it.tenfold && step > 9 ? step * 10 : step;
    SetNumber(it, key.key == kKeySelectRight ? value + delta : value - delta);
  } else if (key.key == kKeySelectPush && it.sister >= 0) {
    const NumericItem& other = it.n == kHori.n ? kVert : kHori;
    Numeric(other, keypara{other.softKey, 1, 0});
  } else if (key.key == it.softKey) {
    const uint32_t attr = uint32_t(M().GetItemAttribute(it.n));
    if (!(attr & kFocus)) {
      M().SetItemAttribute(it.n, attr | kFocus);
      if (it.sister >= 0) M().SetItemAttribute(it.sister, uint32_t(M().GetItemAttribute(it.sister)) & ~kFocus);
    } else if (UtilityAdjType == 0) {
      UtilityAdjType = 1;
      CommonSubProg.NumKeyboardInit(&UtilityNumKeyboard, kTaskUtility, it.n);
      UtiOpenDialog(kUtiDlgNumPad);
    } else {
      ClosePad();
    }
    Run().SetDrawRefresh();
  }
  return 0;
}

// The stop test and the output pulse and beep, once per redraw while running.
void PassFailStop(int pass, int fail) {
  const int driving = UtiItem(kUtiPfOutput) == 0 ? fail : pass;
  if (driving != PassFailCnt) {
    PassFailCnt = driving;
    BeeFlag = 1;
    PassFailBeeUs = plat::MonoUs();
    Board().PassFailOutput();
  }
  if (BeeFlag == 1 && plat::MonoUs() - PassFailBeeUs < kBeepUs) {
    Beeper(true);
  } else {
    Beeper(false);
    BeeFlag = 0;
  }
  const int count = UtiItem(kUtiPfStopType) == 0 ? pass : fail;
  const int threshold = UtiItem(kUtiPfThreshold);
  const bool stop = UtiItem(kUtiPfWhen) == 0 ? count >= threshold : count <= threshold;
  if (!stop) return;
  Beeper(false);
  BeeFlag = 0;
  M().SetMenuItem(kUtiPfOperate, 0);
  PassFail_Operate(kUtiNoKey);
  AskRunStop();
  PassFailRunFlag = 0;
}
}  // namespace

int PassFail_MsgTemplateFlag(int on) {
  if (on == 0) {
    PassFailTemplateFlag = 0;
    MaskShown(false);
    Beeper(false);
    TaskUtility.ClearFuncBits(kUtiDlgPassFail);
    Run().Set_passFail_flag(0);
    return 0;
  }
  if (!ChannelOn(UtiItem(kUtiPfRefChannel))) {
    UtiMessage(kMsgRefOff);
    M().SetMenuItem(kUtiPfOperate, 0);
    return -1;
  }
  if (UtiItem(kUtiPfEnable) == 0) {
    M().SetMenuItem(kUtiPfOperate, 0);
    UtiMessage(kMsgNotEnabled);
    return -1;
  }
  TaskUtility.ClearAllFuncBits();
  UtiOpenDialog(kUtiDlgPassFail);
  Run().Set_passFail_flag(1);
  if (!PassFailTemplateFlag && PassFail_Create() < 0) {
    M().SetMenuItem(kUtiPfOperate, 0);
    return -1;
  }
  if (on == 1 && Run().GetAcquireStatus(0) == kAcqStopped) AskRunStop();
  PassFailCnt = 0;
  PassFailRunFlag = 0;
  return 0;
}

int PassFailOp(keypara key) {
  if (key.key == kKeyUtility) UtiPage(kUtiPageUtility2);
  if (UtiItem(kUtiPfOperate) == 1)
    Run().SetFuncBit(kUtiFuncPassFail);
  else
    Run().ClearFuncBit(kUtiFuncPassFail);
  return 0;
}

int PassFail_Enable(keypara key) {
  static const UtiExclusion kExcluded[] = {{kUtiFuncFft, kUtiMsgFft},
                                           {kUtiFuncAlternate, kUtiMsgAlternate},
                                           {kUtiFuncXY, kUtiMsgXY},
                                           {kUtiFuncAutoSet, kUtiMsgAutoSet},
                                           {kUtiFuncRoll, kUtiMsgRoll}};
  if (UtiExcluded(kExcluded)) return 0;
  if (Func(kFuncRecorderBusy)) {
    Rec_Close();
    UtiMessage(kUtiMsgRecorderClosed);
  }
  const int value = UtiTake(key, kUtiPfEnable);
  if (value == 0) {
    M().SetMenuItem(kUtiPfOperate, 0);
    PassFail_Operate(kUtiNoKey);
  }
  if (PassFail_MsgTemplateFlag(value) == -1) {
    M().SetMenuItem(kUtiPfEnable, 0);
    Wave().PassFailOnOff(0);
  } else {
    Wave().PassFailClearCnt();
  }
  Run().SetDrawRefresh();
  return 0;
}

int PassFail_Operate(keypara key) {
  const int value = UtiTake(key, kUtiPfOperate);
  const uint32_t sourceAttr = uint32_t(M().GetItemAttribute(kUtiPfSource));
  if (value == 1) {
    if (!ChannelOn(UtiItem(kUtiPfSource))) {
      M().SetMenuItem(kUtiPfOperate, 0);
      UtiMessage(kMsgSourceOff);
      return 0;
    }
    Run().SetFuncBit(kUtiFuncPassFail);
    if (Run().GetAcquireStatus(0) == kAcqStopped) AskRunStop();
    M().SetItemAttribute(kUtiPfSource, sourceAttr | MENU_ATTR_FROZEN);
    Wave().PassFailOnOff(1);
    PassFailRunFlag = 1;
  } else {
    M().SetItemAttribute(kUtiPfSource, sourceAttr & ~MENU_ATTR_FROZEN);
    Beeper(false);
    Run().ClearFuncBit(kUtiFuncPassFail);
    Wave().PassFailOnOff(0);
    PassFailRunFlag = 0;
  }
  PassFailCnt = 0;
  return 0;
}

int PassFail_Output(keypara key) { return UtiTake(key, kUtiPfOutput), 0; }
int PassFail_StopSetup_StopType(keypara key) { return UtiTake(key, kUtiPfStopType), 0; }
int PassFail_StopSetup_When(keypara key) { return UtiTake(key, kUtiPfWhen), 0; }

int PassFail_Source(keypara key) {
  Wave().SetPassFailCompareCh(UtiTake(key, kUtiPfSource));
  return 0;
}

int PassFail_Next(keypara) { return UtiPage(kUtiPagePf2), 0; }
int PassFail_Back(keypara) { return UtiPage(kUtiPagePf1), 0; }
int PassFail_StopSetup(keypara) { return UtiPage(kUtiPagePfStop), 0; }
int PassFail_MaskSetup(keypara) { return UtiPage(kUtiPagePfMask), 0; }

int PassFail_StopSetup_Back(keypara) {
  if (UtilityAdjType == 1) ClosePad();
  UtiPage(kUtiPagePf1);
  return 0;
}

int PassFail_MaskStep_Back(keypara) {
  if (UtilityAdjType == 1) ClosePad();
  UtiPage(kUtiPagePf2);
  return 0;
}

int PassFail_Return(keypara) {
  TaskUtility.ClearFuncBits(kUtiDlgPassFail);
  MaskShown(false);
  PassFailTemplateFlag = 0;
  BeeFlag = 0;
  Beeper(false);
  for (int n : {kUtiPfEnable, kUtiPfOperate, kUtiPfOutput}) M().SetMenuItem(n, 0);
  Wave().PassFailOnOff(0);
  PassFailRunFlag = 0;
  Run().ClearFuncBit(kUtiFuncPassFail);
  Run().Set_passFail_flag(0);
  M().SetItemAttribute(kUtiPfSource, uint32_t(M().GetItemAttribute(kUtiPfSource)) & ~MENU_ATTR_FROZEN);
  UtiPage(kUtiPageUtility2);
  return 0;
}

int PassFail_RefChannel(keypara key) {
  UtiTake(key, kUtiPfRefChannel);
  if (key.key != KEY_NO_KEY) PassFail_Create();
  return 0;
}

int PassFail_StopSetup_Threshold(keypara key) { return Numeric(kThreshold, key); }
int PassFail_HoriMask(keypara key) { return Numeric(kHori, key); }
int PassFail_VertMask(keypara key) { return Numeric(kVert, key); }

int PassFailMaskSetup(keypara) { return PassFail_Create(); }

void Utility_DrawPassFail() {
  int pass = 0, fail = 0;
  Wave().GetPassFailTimes(&pass, &fail);
  if (pass < 0 || fail < 0) return;
  PassTimes = int16_t(pass);
  FailTimes = int16_t(fail);
  qel_draw& d = QelDraw;
  const bool cursor = Func(kFuncCursor);
  d.DrawRect(kBoxRow, cursor ? kBoxColCursor : kBoxCol, kBoxWidth, kBoxHeight, kBoxColour, DRAW_CURRENT);
  Font* font = d.GetUserFontPointer();
  const short before = font ? font->CurrentAsciiFont() : 0;
  if (font) font->SetCurrFont(kBoxFont);
  const int counts[3] = {pass + fail, pass, fail};
  static const char* const kLabels[3] = {"Total wave : ", "Pass wave : ", "Fail wave : "};
  for (int i = 0; i < 3; ++i) {
    char text[40];
    if (counts[i] >= kCountLimit)
      std::snprintf(text, sizeof text, "%s> %d", kLabels[i], kCountLimit);
    else
      std::snprintf(text, sizeof text, "%s%d", kLabels[i], counts[i]);
    d.DrawString(kLineRows[i], cursor ? kTextColCursor : kTextCol, text, kTextColour, DRAW_CURRENT);
  }
  if (font) font->SetCurrFont(before);
  if (PassFailRunFlag == 1) PassFailStop(pass, fail);
}

int GetPassFail_Run_Status() { return PassFailRunFlag; }
int GetPassFail_PassTimes() { return PassTimes; }
int GetPassFail_FailTImes() { return FailTimes; }
