#include "analysis/task_measure.h"

#include "remote/scpi_table.h"

TaskForMeasure TaskMeasure;
instr TaskMeasureInstrStandard[] = {{"", nullptr}};
