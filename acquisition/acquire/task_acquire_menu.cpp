// The acquire module's menu page: its items, their handlers and the page
// handler that hands the settings to the time-base model.
#include <algorithm>
#include <cstdio>

#include "acquisition/acquire/task_acquire.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "core/state/ids.h"
#include "core/board/control.h"
#include "core/menu/draw_hooks.h"
#include "core/board/eeprom_map.h"
#include "core/menu/menu_def.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/messages/request.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"

namespace {
constexpr int kRollTimeBase = 26;       // from here on auto sweep rolls: no averaging
constexpr int kTrigAuto = 0;
constexpr int kFormatXY = 1;
constexpr uint64_t kFuncZoom = 0x1;
constexpr uint64_t kFuncRecording = 0x700;  // recording, recording stopped, playback
constexpr int kMsgRecording = 21, kMsgStopped = 46, kMsgAlternate = 78;
constexpr uint16_t kAssistSetItem = 3;
constexpr int kHoriZoomSelector = 1, kRecorderSelector = 38;
constexpr uint16_t kAverageCountLimit = 8192;  // item 1 holds a count in 1..8192
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};

// The averaging count is kept as its selection in byte 119 instead of the
// map's byte (a count up to 8192 does not fit it).
const MenuItemDef kItems[] = {
    {kAcqMode, "Mode", kMenuChoice, 4, Acqure_Mode, MenuLimits(0, 0, kAcqModeAverage)},
    {kAcqAverage, "Average", kMenuKnobInt | kAcqItemDisabled, 1, Acqure_Average, kMenuUnranged, MenuStore::kNotStored},
    // A depth outside the table takes the run state's own default, 7K (the
    // factory setting, automatic, is written by Default only).
    {kAcqMemDepth, "Mem Depth", kMenuChoice, 7, Acqure_MemDepth, MenuLimits(kAcqMemDepthDefault, 0, kAcqMemDepthLast)},
    {kAcqFastAcq, "FastAcq", kMenuAction, 1, Acqure_FastAcq, kMenuUnranged, MenuStore::kNotStored},
    {kAcqWaveType, "WaveType", kMenuAction | kAcqItemDisabled, 1, Acqure_WaveType, kMenuUnranged, MenuStore::kNotStored},
};

menu BuildMenu() {
  menu m;
  std::snprintf(m.name, sizeof m.name, "%s", "Acquire");
  DefineMenuPage(&m, 0, "Acquire", uint32_t(kTaskAcquire) << 8, AcquireMenuOp);
  DefineMenuItems(&m, kEeAcquire, kItems);
  return m;
}

Menu& M() { return TaskAcquire.TaskMenu; }
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
_SysResource& Sys() { return TaskAcquire.Sys(); }
task_manage& Manager() { return TaskAcquire.Manager(); }
_SysRunInfoOp& Run() { return TaskAcquire.Run(); }
void Message(int n) { Sys().message->SetMessage(n); }

bool Stopped() { return Run().GetAcquireStatus(0) == kAcqStopped; }
bool Independent() { return Run().IsIndependTimeBase() != 0; }
// The block the settings act on: the trigger source with the independent
// time base, else block 0.
int Block() { return Independent() && Run().GetTrigSource() == 1 ? 1 : 0; }

bool Disabled(int n) { return (uint32_t(M().GetItemAttribute(n)) & kAcqItemDisabled) != 0; }
void Enable(int n, bool on) {
  const uint32_t a = uint32_t(M().GetItemAttribute(n));
  M().SetItemAttribute(n, on ? a & ~kAcqItemDisabled : a | kAcqItemDisabled);
}

// Asks module `task` to set its item `selector` to `value`.
void AssistSetItem(int task, int selector, int value) {
  taskresponse request{};
  taskresponse reply{};
  request.request = kAssistSetItem;
  request.words[0] = uint16_t(selector);
  request.words[1] = uint16_t(value);
  request.key = keypara{KEY_NO_KEY, 1, 0};
  Manager().RequestTaskAssist(task, &request, &reply);
}
}  // namespace

menu TaskAcquireMenu = BuildMenu();

void AcquireSyncRunState() {
  Run().SysRunInfoSync(kTaskAcquire);
  // The run state holds the average index; item 1 holds the count.
  Run().SetAcquireAverage(TaskAcquire.GetAverageSel());
}

void Acqure_SetAverageMenuType(int16_t t) { Enable(kAcqAverage, t != 8); }

void AcquireLimitItems() { M().ClampItems(); }

void AcquireParaReSet() {
  const int sel = TaskForAcquire::ScanMark(TaskForAcquire::Average, 0, int16_t(Item(kAcqAverage)),
                                           kAverageEntries);
  TaskAcquire.SetAverageSel(sel < 0 ? 0 : sel);
  Acqure_Mode(kReapplyKey);
  Acqure_MemDepth(kReapplyKey);
  AcquireMenuOp(kNoKey);
}

int Acqure_Mode(keypara k) {
  if (Stopped() && !IsReapply(k)) {
    Message(kMsgStopped);
    return 0;
  }
  // No averaging with the independent time base or while auto sweep rolls.
  const bool rolls = Run().GetRealTimeBase(Block()) >= kRollTimeBase && Run().GetTriggerMode() == kTrigAuto;
  M().SetMenuItemMaxSel(kAcqMode, Independent() || rolls ? kAcqModeAverage : kAcqModeAverage + 1);
  const int mode = M().AdjMenuItemPara(k, kAcqMode);
  Acqure_SetAverageMenuType(mode == kAcqModeAverage ? 0 : 8);
  if (!M().MenuItemIsPop(kAcqMode)) Acqure_Average(k);
  return 0;
}

int Acqure_Average(keypara k) {
  // The knob steps the selection only while the item is on: a hidden item
  // keeps the focus of the select knob but must not change unseen.
  int step = 0;
  if (!Disabled(kAcqAverage)) step = k.key == MENU_KEY_KNOB_UP ? 1 : k.key == MENU_KEY_KNOB_DOWN ? -1 : 0;
  int sel = TaskAcquire.GetAverageSel() + step;
  if (sel < 0) sel = kAverageEntries - 1;
  if (sel >= kAverageEntries) sel = 0;
  TaskAcquire.SetAverageSel(sel);
  Sys().eeprom->I2C_WriteU8(EE_ACQ_AVERAGE, uint8_t(sel));
  M().SetMenuItem(kAcqAverage, uint64_t(TaskForAcquire::Average[sel]));
  return 0;
}

int Acqure_MemDepth(keypara k) {
  if (Disabled(kAcqMemDepth)) return 0;
  const uint64_t func = Run().GetFuncBits();
  const int refusal = Independent()                ? kMsgAlternate
                      : (func & kFuncRecording)    ? kMsgRecording
                      : Stopped() && !IsReapply(k) ? kMsgStopped
                                                   : -1;
  if (refusal >= 0) {
    Message(refusal);
    // A depth written into the item before its handler ran (a SCPI setter, a
    // setup) is refused too: the item keeps the depth in force.
    M().SetMenuItem(kAcqMemDepth, uint64_t(Run().GetMemDepth(nullptr)));
    return 0;
  }
  const int before = Item(kAcqMemDepth);
  if (M().AdjMenuItemPara(k, kAcqMemDepth) == before) return 0;
  // The zoom window follows the new depth. The horizontal module is not
  // built yet: its stand-in ignores the request.
  if (func & kFuncZoom) AssistSetItem(kTaskHorizontal, kHoriZoomSelector, 1);
  if (Sys().wave) Sys().wave->ClearRealRunWaveCnt();
  Draw().clearPicture();
  Sys().board->SysSample();
  return 0;
}

// The utility module makes itself current and starts its waveform recorder.
// It is not built yet: its stand-in ignores the request.
int Acqure_FastAcq(keypara) {
  AssistSetItem(kTaskUtility, kRecorderSelector, 0);
  return 0;
}

int Acqure_WaveType(keypara) {
  if (++TaskAcquire.WaveTypePress[0] == 0) ++TaskAcquire.WaveTypePress[1];
  return 0;
}

int AcquireMenuOp(keypara k) {
  if (Stopped() || Independent()) return 0;
  if (k.key == kKeyAcquire) {
    Manager().ActiveTask(kTaskAcquire, 0);
    M().SetCurrPage(0);
    return 0;
  }
  const int block = Block();
  AcquireSyncRunState();
  requestpara answer{};
  Sys().request->Request(MakeRequest(kReqAcqConfig, int16_t(block), int16_t(Item(kAcqMode))), &answer);
  if (Run().GetDiplayFormat() == kFormatXY) Sys().timeBase->AdjZoomTimeBase(0, 0);
  if (uint16_t(Item(kAcqAverage) - 1) >= kAverageCountLimit) M().SetMenuItem(kAcqAverage, 2);
  Run().SetDrawRefresh();
  return 0;
}
