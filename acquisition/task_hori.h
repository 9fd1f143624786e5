// The hori function module. Its function is not built yet: it is
// registered and answers every call with "nothing done".
#pragma once
#include "core/task.h"

struct instr;

class TaskForHori : public TaskNotBuilt {};

extern TaskForHori TaskHori;
extern instr TaskHoriInstrStandard[];
