#include "acquisition/task_hori.h"

#include "remote/scpi.h"

TaskForHori TaskHori;
instr TaskHoriInstrStandard[] = {{"", nullptr}};
