#include "analysis/task_cursor.h"

#include "remote/scpi.h"

TaskForCursor TaskCursor;
instr TaskCursorInstrStandard[] = {{"", nullptr}};
