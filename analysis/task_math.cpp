#include "analysis/task_math.h"

#include "remote/scpi.h"

TaskForMath TaskMath;
instr TaskMathInstrStandard[] = {{"", nullptr}};
