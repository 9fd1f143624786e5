#include "acquisition/task_acquire.h"

#include "remote/scpi.h"

TaskForAcquire TaskAcquire;
instr TaskAcquireInstrStandard[] = {{"", nullptr}};
