#include "system/task_utility.h"

#include "remote/scpi_table.h"

TaskForUtility TaskUtility;
instr TaskUtilityInstrStandard[] = {{"", nullptr}};
