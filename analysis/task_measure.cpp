#include "analysis/task_measure.h"

#include "remote/scpi.h"

TaskForMeasure TaskMeasure;
instr TaskMeasureInstrStandard[] = {{"", nullptr}};
