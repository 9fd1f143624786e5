// The cursor function module. Its function is not built yet: it is
// registered and answers every call with "nothing done".
#pragma once
#include "core/task.h"

struct instr;

class TaskForCursor : public TaskNotBuilt {};

extern TaskForCursor TaskCursor;
extern instr TaskCursorInstrStandard[];
