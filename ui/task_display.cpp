#include "ui/task_display.h"

#include "remote/scpi.h"

TaskForDisplay TaskDisplay;
instr TaskDisplayInstrStandard[] = {{"", nullptr}};
