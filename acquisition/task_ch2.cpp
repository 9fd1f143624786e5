#include "acquisition/task_ch2.h"

#include "remote/scpi.h"

TaskForCh2 TaskCh2;
instr TaskCh2InstrStandard[] = {{"", nullptr}};
