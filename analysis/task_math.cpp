#include "analysis/task_math.h"

#include "remote/scpi_table.h"

TaskForMath TaskMath;
instr TaskMathInstrStandard[] = {{"", nullptr}};
