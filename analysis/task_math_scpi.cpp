// The math module's SCPI command table.
#include "analysis/task_math.h"
#include "remote/scpi_table.h"

instr TaskMathInstrStandard[] = {{"", nullptr}};
