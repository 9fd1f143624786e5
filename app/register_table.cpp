#include "app/register_table.h"

#include "acquisition/acquire/task_acquire.h"
#include "acquisition/channel/task_ch1.h"
#include "acquisition/channel/task_ch2.h"
#include "acquisition/horizontal/task_hori.h"
#include "acquisition/system_module/task_system.h"
#include "analysis/cursor/task_cursor.h"
#include "analysis/math/task_math.h"
#include "analysis/measure/task_measure.h"
#include "core/state/ids.h"
#include "system/default/task_default.h"
#include "system/help/task_help.h"
#include "system/storage/task_storage.h"
#include "system/utility/task_utility.h"
#include "trigger/analog/task_trigger.h"
#include "ui/display/task_display.h"

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
