#include "trigger/task_trigger.h"

#include "remote/scpi_table.h"

TaskForTrigger TaskTrigger;
instr TaskTriggerInstrStandard[] = {{"", nullptr}};
