#include "app/register_table.h"

#include "acquisition/task_acquire.h"
#include "acquisition/task_ch1.h"
#include "acquisition/task_ch2.h"
#include "acquisition/task_hori.h"
#include "acquisition/task_system.h"
#include "analysis/task_cursor.h"
#include "analysis/task_math.h"
#include "analysis/task_measure.h"
#include "core/ids.h"
#include "system/task_default.h"
#include "system/task_help.h"
#include "system/task_storage.h"
#include "system/task_utility.h"
#include "trigger/task_trigger.h"
#include "ui/task_display.h"

RegisterRow RegisterTable[] = {
    {kTaskSystem, "SYSTEM", &TaskSystem, TaskSystemInstrStandard},
    {kTaskUtility, "Utility", &TaskUtility, TaskUtilityInstrStandard},
    {kTaskCh1, "CH1", &TaskCh1, TaskCh1InstrStandard},
    {kTaskCh2, "CH2", &TaskCh2, TaskCh2InstrStandard},
    {kTaskTrigger, "Trigger", &TaskTrigger, TaskTriggerInstrStandard},
    {kTaskAcquire, "Acquire", &TaskAcquire, TaskAcquireInstrStandard},
    {kTaskDisplay, "Display", &TaskDisplay, TaskDisplayInstrStandard},
    {kTaskDefault, "Default", &TaskDefault, TaskDefaultInstrStandard},
    {kTaskHelp, "Help", &TaskHelp, TaskHelpInstrStandard},
    {kTaskCursor, "Cursor", &TaskCursor, TaskCursorInstrStandard},
    {kTaskStorage, "Storage", &TaskStorage, TaskStorageInstrStandard},
    {kTaskMeasure, "Measure", &TaskMeasure, TaskMeasureInstrStandard},
    {kTaskMath, "Math", &TaskMath, TaskMathInstrStandard},
    {kTaskHorizontal, "Horizontal", &TaskHori, TaskHoriInstrStandard},
    {-1, "KnowTask", nullptr, nullptr},
};
