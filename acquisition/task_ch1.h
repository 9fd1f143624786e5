// The ch1 function module. Its function is not built yet: it is
// registered and answers every call with "nothing done".
#pragma once
#include "core/task.h"

struct instr;

class TaskForCh1 : public TaskNotBuilt {};

extern TaskForCh1 TaskCh1;
extern instr TaskCh1InstrStandard[];
