#include "acquisition/task_ch1.h"

#include "remote/scpi.h"

TaskForCh1 TaskCh1;
instr TaskCh1InstrStandard[] = {{"", nullptr}};
