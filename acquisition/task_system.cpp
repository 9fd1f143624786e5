#include "acquisition/task_system.h"

#include "remote/scpi.h"

TaskForSystem TaskSystem;
instr TaskSystemInstrStandard[] = {{"", nullptr}};
