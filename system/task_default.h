// The default function module. Its function is not built yet: it is
// registered and answers every call with "nothing done".
#pragma once
#include "core/task.h"

struct instr;

class TaskForDefault : public TaskNotBuilt {};

extern TaskForDefault TaskDefault;
extern instr TaskDefaultInstrStandard[];
