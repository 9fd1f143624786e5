#include "acquisition/task_hori.h"

#include "remote/scpi_table.h"

TaskForHori TaskHori;
instr TaskHoriInstrStandard[] = {{"", nullptr}};
