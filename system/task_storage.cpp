#include "system/task_storage.h"

#include "remote/scpi_table.h"

TaskForStorage TaskStorage;
instr TaskStorageInstrStandard[] = {{"", nullptr}};
const int LoadTaskOrder[] = {6, 7, 8, 9, 0, 14, 15, 16, 18, 10, 11, 12, 13, 0, -1};
