// The acquire function module. Its function is not built yet: it is
// registered and answers every call with "nothing done".
#pragma once
#include "core/task.h"

struct instr;

class TaskForAcquire : public TaskNotBuilt {};

extern TaskForAcquire TaskAcquire;
extern instr TaskAcquireInstrStandard[];
