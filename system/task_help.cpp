#include "system/task_help.h"

#include "remote/scpi.h"

TaskForHelp TaskHelp;
instr TaskHelpInstrStandard[] = {{"", nullptr}};
