#include "trigger/task_trigger.h"

#include "remote/scpi.h"

TaskForTrigger TaskTrigger;
instr TaskTriggerInstrStandard[] = {{"", nullptr}};
