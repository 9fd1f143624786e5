#include "analysis/task_cursor.h"

#include "remote/scpi_table.h"

TaskForCursor TaskCursor;
instr TaskCursorInstrStandard[] = {{"", nullptr}};
