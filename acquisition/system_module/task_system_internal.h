// What the system module's files share: the resources it reaches and the
// numbers of the other modules and messages it uses.
#pragma once
#include <cstdint>

#include "core/state/system_resource.h"
#include "core/state/task.h"
#include "core/state/wave_types.h"

class _SysRunInfoOp;
class task_manage;

namespace sysmod {

// Task ids of the modules the system module asks for assists.
constexpr int kCh1Task = 6, kCh2Task = 7, kTriggerTask = 10, kAcquireTask = 11, kHoriTask = 13, kMathTask = 14;
// Assist request numbers.
constexpr uint16_t kAssistKey = 1, kAssistStep = 2, kAssistSetItem = 3, kAssistNotify = 4;

// Messages.
enum : int {
  kMsgRecording = 22,
  kMsgNoUsb = 23,
  kMsgPrintDone = 29,
  kMsgPrintFailed = 30,
  kMsgSingleStart = 58,
  kMsgSingleStop = 59,
  kMsgNoChannel = 73,
  kMsgAlternate = 84,
};

constexpr uint64_t kFuncRecording = 0x100;
constexpr int kTrigModeAuto = 0, kTrigModeNormal = 1, kTrigModeSingle = 2;
constexpr int kTimeBaseFastLast = 22;   // above: the pause word guards a position step
constexpr int kTimeBaseSlowFirst = 26;  // from here on an auto sweep scans slowly
constexpr int64_t kRecordCentre = 35000000;

_SysResource& Sys();
_SysRunInfoOp& Run();
task_manage& Manager();
// Channel 0's acquisition status, and a store of it (both with the
// independent time base off).
int Status0();
void SetStatus0(int v);
void SetBothStatus(int v);
// Sends `number` with the key word and the two values to module `id`.
int AssistTo(int id, uint16_t number, uint16_t value, uint16_t value2 = 0, keypara key = {KEY_NO_KEY, 1, 0},
             taskresponse* reply = nullptr);
void Message(int n);

}  // namespace sysmod
