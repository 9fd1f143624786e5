#include "system/task_utility.h"

#include "remote/scpi.h"

TaskForUtility TaskUtility;
instr TaskUtilityInstrStandard[] = {{"", nullptr}};
