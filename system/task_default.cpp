#include "system/task_default.h"

#include "remote/scpi.h"

TaskForDefault TaskDefault;
instr TaskDefaultInstrStandard[] = {{"", nullptr}};
