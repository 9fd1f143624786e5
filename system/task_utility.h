// The utility function module. Its function is not built yet: it is
// registered and answers every call with "nothing done".
#pragma once
#include "core/task.h"

struct instr;

class TaskForUtility : public TaskNotBuilt {};

extern TaskForUtility TaskUtility;
extern instr TaskUtilityInstrStandard[];
