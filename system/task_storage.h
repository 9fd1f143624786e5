// The storage function module. Its menu is not built yet: it is registered,
// and the order in which modules fill and read a setup is fixed here.
#pragma once
#include "core/task.h"

struct instr;

// Task ids visited, in order, when a setup is saved or loaded (ended by -1).
// Ids without a module are skipped; the system module comes twice, so its
// run state is applied before the math module and again last.
extern const int LoadTaskOrder[];
constexpr int kSetupBufferBytes = 102400;

class TaskForStorage : public TaskNotBuilt {};

extern TaskForStorage TaskStorage;
extern instr TaskStorageInstrStandard[];
