#include "acquisition/task_system.h"

#include "remote/scpi_table.h"

TaskForSystem TaskSystem;
instr TaskSystemInstrStandard[] = {{"", nullptr}};
