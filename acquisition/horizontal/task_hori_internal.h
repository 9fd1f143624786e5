// What the horizontal module's own files share: its objects, item access,
// messages and the assists it sends to other modules.
#pragma once
#include <cstdint>

#include "acquisition/horizontal/task_hori.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"

namespace hori {

constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
constexpr keypara kReload{KEY_NO_KEY, 128, 0};  // setup load: always re-establish
constexpr int kLastRealTimeBase = 25;          // above it auto sweep rolls
constexpr int kTrigAuto = 0;

// Task ids of the modules it talks to.
constexpr int kSystemTask = 0, kTriggerTask = 10, kAcquireTask = 11, kMathTask = 14,
              kMeasureTask = 15, kCursorTask = 16, kStorageTask = 17, kUtilityTask = 18;

// Messages.
enum : int {
  kMsgInvalidValue = 72,
  kMsgStopped = 46,
  kMsgStopDisabled = 77,
  kMsgFft = 19,
  kMsgXY = 17,
  kMsgZoom = 25,
  kMsgRoll = 83,
  kMsgAlternate = 84,
  kMsgPassFail = 85,
  kMsgMultiScopeLoading = 101,
  kMsgMultiScopeExit = 102,
};

inline _SysResource& Sys() { return TaskHori.Resource.sys ? *TaskHori.Resource.sys : SystemResource; }
inline task_manage& Manager() { return TaskHori.Resource.manager ? *TaskHori.Resource.manager : TaskManage; }
inline _SysRunInfoOp& Run() { return *Sys().runStatus; }
// The module's menu (`HoriMenu` in the design), short as every module names its own.
inline Menu& M() { return TaskHori.TaskMenu; }
inline int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
inline void SetItem(int n, uint64_t v) { M().SetMenuItem(n, v); }
void Message(int n);

bool Stopped();
bool MultiScopeOn();  // function bit 0x40000
bool MathFftSplit();  // math on as FFT on a split FFT screen
void SyncRunState();  // the menu into the run state

// Items 0, 1, 2 and 5 show the format, type and multi-scope in force (after
// a refused remote setting or setup value).
void ItemsFollowState();

// A setup load's multi-scope reload re-synchronises the ADCs once every
// block is taken (kSetupFinish) rather than among them: the sequence's
// waits (PLL and ADC settle, half a second) then run with the settings lock
// let go, and no command sees half a recall.
void DeferAdcResync(bool on);
bool RunDeferredAdcResync();  // false when none was noted

// An assist to module `task`: request number, then the words.
int AssistTo(int task, uint16_t number, int w0 = 0, int w1 = 0, keypara key = kNoKey, taskresponse* reply = nullptr);

}  // namespace hori
