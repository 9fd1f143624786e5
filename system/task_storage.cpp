#include "system/task_storage.h"

#include "remote/scpi.h"

TaskForStorage TaskStorage;
instr TaskStorageInstrStandard[] = {{"", nullptr}};
