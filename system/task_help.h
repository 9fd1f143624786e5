// The help function module. Its function is not built yet: it is
// registered and answers every call with "nothing done".
#pragma once
#include "core/task.h"

struct instr;

class TaskForHelp : public TaskNotBuilt {};

extern TaskForHelp TaskHelp;
extern instr TaskHelpInstrStandard[];
