// What the cursor module's files share: its menu, the run state, the task
// manager and the math module's state the cursors follow.
#pragma once
#include <cstdint>

#include "analysis/cursor/task_cursor.h"
#include "core/state/ids.h"
#include "core/menu/keypara.h"

class _SysRunInfoOp;
class task_manage;

namespace cursor_module {

constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
constexpr uint64_t kFuncFft = 0x20;  // the math module's FFT view
constexpr int kMathShown = 0x20;     // channel-mask bit of the math trace
constexpr int kMathTypeFft = 1;
constexpr int kMsgFftRefused = 95;
constexpr uint32_t kAttrProcess = 0, kAttrDisplay = 1;

Menu& M();
int Item(int n);
_SysRunInfoOp& Run();
task_manage& Manager();
void Message(int n);
// Greys an item out (false) or offers it (true).
void Offer(int n, bool on);
// The module in (List) or out of (Unlist) the process and display lists.
void List();
void Unlist();
// Stored values outside an item's choices (a blank EEPROM, a hand-made
// setup) take choice 0.
void LimitItems();
// An item value and the current page of the math module's menu (-1 while
// it has none).
int MathItem(int n);
int MathPage();

}  // namespace cursor_module
