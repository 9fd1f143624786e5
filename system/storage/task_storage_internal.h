// What the storage module's files share: its menu, the run state, the task
// manager and messages.
#pragma once
#include <cstdint>

#include "core/menu/keypara.h"
#include "system/recorder/recorder.h"  // kFuncRecorded
#include "system/storage/task_storage.h"

class Menu;
class _SysRunInfoOp;
class task_manage;

namespace storage_module {

constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
constexpr uint16_t kKeyConfirmNow = 128;  // a load requested over SCPI
constexpr int kMsgNoUsb = 23;
constexpr uint64_t kFuncNameEntry = 0x80000;
constexpr uint64_t kFuncFft = 0x20;
constexpr int kChMathShown = 0x20;  // channel-mask bit of the math trace
// The Type item of every page, and its Rec Video choice hidden.
inline constexpr int kTypeItems[] = {kStoType, kStoTypeSet, kStoTypeRef, kStoTypePrt, kStoTypeVideo};
constexpr uint32_t kHideRecVideo = 1u << kTypeVideo;
// Frames a second of a video made from a recording.
constexpr int kVideoFpsMin = 1, kVideoFpsMax = 30, kVideoFpsDefault = 24;

Menu& M();
int Item(int n);
_SysRunInfoOp& Run();
task_manage& Manager();
void Message(int n);
// The module's overlay (keyboard, file list, prompt) shown.
void Show();
// Sets the value text of an Input Name item from a name and extension.
void NameText(int item, const char* name, const char* extension);

}  // namespace storage_module
