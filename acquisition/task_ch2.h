// The ch2 function module. Its function is not built yet: it is
// registered and answers every call with "nothing done".
#pragma once
#include "core/task.h"

struct instr;

class TaskForCh2 : public TaskNotBuilt {};

extern TaskForCh2 TaskCh2;
extern instr TaskCh2InstrStandard[];
