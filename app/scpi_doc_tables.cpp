#include "app/scpi_doc_tables.h"

// Each module's entries, defined beside its handlers.
extern const ScpiDoc TaskSystemScpiDoc[], TaskUtilityScpiDoc[], TaskChScpiDoc[], TaskTriggerScpiDoc[],
    TriggerSbusScpiDoc[], TaskAcquireScpiDoc[], TaskDisplayScpiDoc[], WaveScpiDoc[],
    TaskDefaultScpiDoc[], TaskHelpScpiDoc[], TaskCursorScpiDoc[], TaskStorageScpiDoc[],
    TaskMeasureScpiDoc[], TaskMathScpiDoc[], MathFftScpiDoc[], TaskHoriScpiDoc[], ScpiKeyScpiDoc[];

// The panel keys' entries come last: their patterns cover whatever KEY
// header a module does not describe itself.
const ScpiDoc* const ScpiDocTables[] = {
    TaskSystemScpiDoc,  TaskUtilityScpiDoc, TaskChScpiDoc,
    TaskTriggerScpiDoc, TriggerSbusScpiDoc, TaskAcquireScpiDoc,
    TaskDisplayScpiDoc, WaveScpiDoc,        TaskDefaultScpiDoc,
    TaskHelpScpiDoc,    TaskCursorScpiDoc,  TaskStorageScpiDoc,
    TaskMeasureScpiDoc, TaskMathScpiDoc,    MathFftScpiDoc,
    TaskHoriScpiDoc,    ScpiKeyScpiDoc,     nullptr,
};
