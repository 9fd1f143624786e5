#include "system/task_storage.h"

#include "remote/scpi_table.h"

TaskForStorage TaskStorage;
instr TaskStorageInstrStandard[] = {{"", nullptr}};
