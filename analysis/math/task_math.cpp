// The math module: key words, factory settings, start-up, the MATH key, the
// per-pass calculation and the task-manager calls.
#include "analysis/math/task_math.h"

#include <cmath>
#include <cstdio>

#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "analysis/fft/fft_display.h"
#include "analysis/math/math_calc.h"
#include "analysis/math/math_draw.h"
#include "analysis/fft/math_fft_menu.h"
#include "core/board/control.h"
#include "core/board/i2c_storage.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"

TaskForMath TaskMath;
Menu* MathMenu = &TaskMath.TaskMenu;

namespace {
constexpr int kEeMathType = 174;
constexpr int kDisplayColumns = 700;
constexpr int kTrigTimeBaseRollAbove = 25;
constexpr int kTrigModeAuto = 0;
constexpr int kTrigTypeRollFirst = 12, kTrigTypeRollLast = 16;
constexpr int kSyncTasks[] = {kTaskSystem, kTaskHorizontal, kTaskDisplay, kTaskTrigger};
constexpr uint16_t kMenuOnOffKey = kKeyMenuOnOff;
constexpr uint64_t kRunFuncFft = 0x20;
constexpr int kTrigWaveFft = 0xE0;  // sources 5, 6, 7 drawn by the module
constexpr int kAreaCentre = 233, kAreaHeight = 400, kZoomCentre = 305, kZoomHeight = 280;
constexpr int kMsgRoll = 83;
constexpr uint32_t kAttrProcess = 0, kAttrDisplay = 1;
constexpr int kAssistSpan = 4;
constexpr int kTableSize = 6434;  // cos and sin of i / 1024
constexpr double kTableStep = 1024.0;

_SysRunInfoOp& Run() { return SysRunStatus; }
void Message(int n) { QelMsg.SetMessage(n); }
bool MathOn() { return Run().GetChStatus() >> kMathSlot & 1; }
int Item(int n) { return int(uint16_t(TaskMath.TaskMenu.GetMenuItem(n))); }
void Lists(bool on) {
  if (on) {
    TaskManage.AddUserTaskProcess(kTaskMath, kAttrProcess, 0);
    TaskManage.AddUserTaskDisplay(kTaskMath, kAttrDisplay, 0);
  } else {
    TaskManage.DelUserTaskProcess(kTaskMath);
    TaskManage.DelUserTaskDisplay(kTaskMath);
  }
}
void Areas(std::initializer_list<int> slots, int centre, int height) {
  for (int s : slots) Run().SetWaveDisplayInfor(s, centre, height);
}
}  // namespace

int MathSourceOf(int choice) { return choice == 2 ? kMathSlot : choice == 1 ? 1 : 0; }

// --- key words and start-up ---

int TaskForMath::Default() {
  std::printf("TaskForMath -> Default\n");
  const iic_item batch[] = {IicU8(kEeMathType, 0), IicEnd()};
  I2cStorage.I2C_BatchWrite(batch);
  Run().GetFFTParaAddr()->columns = kDisplayColumns;
  return 0;
}

int TaskForMath::Initialize() {
  std::printf("TaskForMath :: Initialize ...\n");
  if (LoadLanguage(0) < 0 && TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskMathMenu);
  Math_MenuInit();
  Math_MenuReset();
  processBits_ = displayBits_ = 0;
  AdvanceInit();
  Vertical.SetRealYposition(kMathSlot, y_system::kCentre);
  Vertical.SetRealYsensitivity(kMathSlot, kMathDefaultVdiv);
  Run().SysRunInfoSync(kTaskMath);
  cos_.resize(kTableSize);
  sin_.resize(kTableSize);
  for (int i = 0; i < kTableSize; ++i) {
    cos_[i] = float(std::cos(i / kTableStep));
    sin_[i] = float(std::sin(i / kTableStep));
  }
  xyFlag_ = 0;
  for (int t : kSyncTasks) TaskManage.AddTaskBetweenSync(t, kTaskMath);
  return 0;
}

int TaskForMath::OpResponse(taskresponse* r) {
  if (!r) return -1;
  int rc = 0;
  if (KeyWord(r, &rc, [this] { return LoadLanguage(1); })) return rc;
  std::printf("##### response->Keyval.val  = 0x%x \n", r->key.key);
  return TaskMenu.MenuOp(r->key);
}

// --- every pass ---

int TaskForMath::DataProcess() {
  if (xyFlag_) {
    processBits_ = displayBits_ = 0;
    Lists(false);
    Vertical.SetChOnOff(kMathSlot, 0);
    return -1;
  }
  if (!processBits_) return 0;
  int type = 0;
  while (!(processBits_ >> type & 1)) ++type;
  switch (type) {
    case kMathArith: math.MathUnit(); break;
    case kMathFft: math.FFTUnit(); break;
    case kMathLogic: math.LogicUnit(); break;
    case kMathFilter: math.FilterUnit(); break;
    default: math.AdvanceUnit(); break;
  }
  const int st = Run().GetAcquireStatus(0);
  if (st != kAcqSingleWaiting && st != kAcqStopped) MathRequestWave();
  switch (type) {
    case kMathArith: return math.math();
    case kMathFft: return FFT_Process();
    case kMathLogic: return math.Logic();
    case kMathFilter: return math.Filter();
    default: return math.Advance();
  }
}

int TaskForMath::MathRequestWave() {
  int sources[2] = {kMathSlot, kMathSlot};
  switch (Run().GetMathType()) {
    case kMathArith: sources[0] = Item(kMathItemSource1), sources[1] = Item(kMathItemSource2); break;
    case kMathFft: sources[0] = Item(kMathItemFftSource); break;
    case kMathLogic: sources[0] = Item(kMathItemLogicSrc1), sources[1] = Item(kMathItemLogicSrc2); break;
    case kMathFilter: sources[0] = Item(kMathItemFilterSrc); break;
    default: sources[0] = 0, sources[1] = 1; break;
  }
  int mask = 0;
  for (int s : sources) {
    const int ch = s == kMathSlot ? kMathSlot : MathSourceOf(s);
    if (ch == 0 || ch == 1) mask |= 1 << ch;
  }
  if (!mask) return 0;
  waveinfor w{};
  w.flags = kWaveReqRecordMask;
  w.chMask = uint16_t(mask);
  return WaveOp.RequestWaveData(&w);
}

// The spectrum view, then the overlays that are not traces: the logic
// threshold line and the expression keypad.
int TaskForMath::Display() {
  if (displayBits_ & kMathShowSpectrum) FftDisplay();
  if (displayBits_ & kMathShowThreshold) mathDraw.DrawLogicThreshold();
  if (displayBits_ & kMathShowKeypad) mathDraw.DrawAdvance();
  return 0;
}

// --- the MATH key ---

int TaskForMath::MathKey() {
  const bool shown = TaskManage.GetTaskCurrId() == kTaskMath && TaskManage.GetLastTaskCurrId() == kTaskMath;
  if ((!shown || !MathOn()) && !MathFuncAutoDisable(kKeyMath)) {
    Vertical.SetChOnOff(kMathSlot, 1);
    Lists(true);
    MathRequestWave();
    TaskManage.ActiveTask(kTaskMath, -1);
  } else {
    Vertical.SetChOnOff(kMathSlot, 0);
    const int other = Run().GetActivCh();
    const int id = other == 0 ? kTaskCh1 : other == 1 ? kTaskCh2 : -1;
    if (id >= 0) TaskManage.ActiveTask(id, -1);
    Lists(false);
  }
  ApplyType();
  ShowTypePage();
  return 0;
}

int TaskForMath::MathFuncAutoDisable(uint16_t key) {
  if (Run().GetAcquireStatus(0) == kAcqStopped || Run().GetTriggerMode() != kTrigModeAuto) return 0;
  const int tb = TimeBase.GetRealTimeBase(0);
  const int type = Run().GetSysRunInfoBaseAddr()->trigType;
  const bool roll = tb > kTrigTimeBaseRollAbove ||
                    (tb == kTrigTimeBaseRollAbove && key == kKeyTimeBaseLeft &&
                     (type < kTrigTypeRollFirst || type > kTrigTypeRollLast));
  if (!roll || !MathOn()) return 0;
  TaskMenu.SetMenuItem(kMathItemDisplayMode, 0);
  TimeBase.SetHoriPoints(1);
  Vertical.SetChOnOff(kMathSlot, 0);
  Message(kMsgRoll);
  Areas({0, 1, 5, 6, 7}, kAreaCentre, kAreaHeight);
  Lists(false);
  return 1;
}

// The Type item's process bits, trace areas and page.
void TaskForMath::ApplyType() {
  const int type = Item(kMathItemType) < kMathTypes ? Item(kMathItemType) : 0;
  processBits_ = 1u << type;
  Run().SetMathType(type);
  const bool zoom = Run().GetTimeBaseType() == 1;
  if (type == kMathFft && MathOn()) {
    Run().SetFuncBit(kRunFuncFft);
    Run().SetTaskDisplayWaveBit(kTrigWaveFft);
    displayBits_ |= kMathShowSpectrum;
    Lists(true);
    WaveOp.UpdateFFTWaveDataSample();
    WaveOp.RequestFFTData();
    FftTypeOn();
  } else {
    Run().ClearFuncBit(kRunFuncFft);
    Run().ClearTaskDisplayWaveBit(kTrigWaveFft);
    Areas({5, 0, 1}, zoom ? kZoomCentre : kAreaCentre, zoom ? kZoomHeight : kAreaHeight);
  }
}

void TaskForMath::ShowTypePage() {
  static constexpr int kTypePage[kMathTypes] = {kMathItemType, kMathItemFftType, kMathItemLogicType,
                                                kMathItemFilterTypeSel, kMathItemAdvType};
  const int type = Item(kMathItemType);
  TaskMenu.SetCurrPage(kTypePage[type < kMathTypes ? type : 0]);
}

// --- task-manager calls ---

int TaskForMath::FunctionOnOff(int mode) {
  if (mode == 1) return 0;
  for (int n : {kMathItemType, kMathItemFftType, kMathItemLogicType, kMathItemFilterTypeSel, kMathItemAdvType,
                kMathItemDisplayMode, kMathItemExpression})
    TaskMenu.SetMenuItem(n, 0);
  TaskMenu.SetCurrPage(0);
  Run().GetFFTParaAddr()->screen = 0;
  processBits_ = displayBits_ = 0;
  Run().SetMathType(0);
  Lists(false);
  Vertical.SetChOnOff(kMathSlot, 0);
  Run().ClearFuncBit(kRunFuncFft);
  return 0;
}

int TaskForMath::Assist(taskresponse* request, taskresponse*) {
  std::printf("### Math Assist \n");
  if (request && request->request == kAssistSpan && Run().GetMathType() == kMathFft) return 0;
  if (request && request->request == kAssistMathZoomOn) FftLeaveSplitViews();
  return 0;
}

int TaskForMath::TaskControlHandover(taskresponse*) {
  TaskMenu.SetMenuItem(kMathItemExpression, 0);
  displayBits_ &= ~(kMathShowKeypad | kMathShowThreshold | kMathShowNumKeypad);
  return 1;
}

int TaskForMath::TaskBetweenSync(taskresponse* r, taskresponse*) {
  MathFuncAutoDisable(r ? r->key.key : 0);
  if (r) FftBetweenSync(r->key.key);
  xyFlag_ = int16_t(Run().GetDiplayFormat());
  if (Run().IsIndependTimeBase() && MathOn()) {
    FunctionOnOff(0);
    QelControl.LedCtrl(Run().GetSysRunInfoBaseAddr());
  }
  return 0;
}

// The MENU key closes the keypads and the threshold view first.
int TaskForMath::TaskBackgroundResponse(taskresponse* r, taskresponse*) {
  if (!r || r->key.key != kMenuOnOffKey) return 0;
  const uint32_t open = displayBits_ & (kMathShowKeypad | kMathShowThreshold | kMathShowNumKeypad);
  if (!open) return 0;
  TaskMenu.SetMenuItem(kMathItemExpression, 0);
  displayBits_ &= ~open;
  MathNumKeySel = 0;
  return 1;
}
