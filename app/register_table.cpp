#include "app/register_table.h"

#include "acquisition/task_acquire.h"
#include "acquisition/task_ch1.h"
#include "acquisition/task_ch2.h"
#include "acquisition/task_hori.h"
#include "acquisition/task_system.h"
#include "analysis/task_cursor.h"
#include "analysis/task_math.h"
#include "analysis/task_measure.h"
#include "system/task_default.h"
#include "system/task_help.h"
#include "system/task_storage.h"
#include "system/task_utility.h"
#include "trigger/task_trigger.h"
#include "ui/task_display.h"

RegisterRow RegisterTable[] = {
    {0, "SYSTEM", &TaskSystem, TaskSystemInstrStandard},
    {18, "Utility", &TaskUtility, TaskUtilityInstrStandard},
    {6, "CH1", &TaskCh1, TaskCh1InstrStandard},
    {7, "CH2", &TaskCh2, TaskCh2InstrStandard},
    {10, "Trigger", &TaskTrigger, TaskTriggerInstrStandard},
    {11, "Acquire", &TaskAcquire, TaskAcquireInstrStandard},
    {12, "Display", &TaskDisplay, TaskDisplayInstrStandard},
    {19, "Default", &TaskDefault, TaskDefaultInstrStandard},
    {20, "Help", &TaskHelp, TaskHelpInstrStandard},
    {16, "Cursor", &TaskCursor, TaskCursorInstrStandard},
    {17, "Storage", &TaskStorage, TaskStorageInstrStandard},
    {15, "Measure", &TaskMeasure, TaskMeasureInstrStandard},
    {14, "Math", &TaskMath, TaskMathInstrStandard},
    {13, "Horizontal", &TaskHori, TaskHoriInstrStandard},
    {-1, "KnowTask", nullptr, nullptr},
};
