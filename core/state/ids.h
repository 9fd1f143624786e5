// The numbers every layer shares: task ids of the modules, front-panel key
// codes, and the acquisition status of a channel in the run state.
#pragma once
#include <cstdint>

// Task ids: the slot of a module in the task manager, the registration table
// and the key map; 6..20 are the function modules.
enum TaskId : int {
  kTaskSystem = 0,
  kTaskCh1 = 6,
  kTaskCh2 = 7,
  kTaskTrigger = 10,
  kTaskAcquire = 11,
  kTaskDisplay = 12,
  kTaskHorizontal = 13,
  kTaskMath = 14,
  kTaskMeasure = 15,
  kTaskCursor = 16,
  kTaskStorage = 17,
  kTaskUtility = 18,
  kTaskDefault = 19,
  kTaskHelp = 20,
  kTaskCurrent = 22,  // key-map id of the soft keys: "the current module"
};
constexpr int kFirstFunctionTask = kTaskCh1;

// The run state's source blocks of the two reference traces (RefA, RefB).
constexpr int kSourceRefA = 8, kSourceRefB = 9;
constexpr int kLastFunctionTask = kTaskHelp;

// Front-panel key codes, one byte each from the panel UART; 239 and up are
// keys queued by SCPI commands.
enum PanelKey : uint16_t {
  kKeyF1 = 49,
  kKeyF2 = 50,
  kKeyF3 = 51,
  kKeyF4 = 52,
  kKeyF5 = 53,
  kKeyMenuOnOff = 54,
  kKeyPrtSc = 55,
  kKeyMeasure = 56,
  kKeyAcquire = 57,
  kKeyStorage = 58,
  kKeyRunStop = 59,
  kKeyCursor = 60,
  kKeyDisplay = 61,
  kKeyUtility = 62,
  kKeyAutoSet = 63,
  kKeyCh1 = 64,
  kKeyCh2 = 65,
  kKeyMath = 66,
  kKeyHori = 67,
  kKeySetToZero = 68,
  kKeyTrigger = 69,
  kKeyDefault = 70,
  kKeyHelp = 71,
  kKeySelectPush = 72,
  kKeyOffsetOk = 73,
  kKeyPreTrigOk = 74,
  kKeyTriggerOk = 75,
  kKeySelectRight = 76,  // the keypad cursor back
  kKeySelectLeft = 77,   // the keypad cursor on
  kKeyOffsetRight = 78,
  kKeyOffsetLeft = 79,
  kKeyPreTrigRight = 80,
  kKeyPreTrigLeft = 81,
  kKeyTriggerRight = 82,
  kKeyTriggerLeft = 83,
  kKeyVoltsRight = 84,
  kKeyVoltsLeft = 85,
  kKeyTimeBaseRight = 86,
  kKeyTimeBaseLeft = 87,
  kKeyVoltsOk = 88,
  kKeyTimeBaseOk = 89,
  kKeyScpiDefault = 239,
  kKeyScpiLoad = 240,
  kKeyScpiIndependent = 241,
  kKeyScpiIp = 242,
  kKeyScpiRecordToVideo = 243,
  kKeyScpiSelfCal = 244,
};

// Acquisition status of a channel in the run state: 0..3 running (the FPGA's
// codes 3, 1, 2, 4 mapped; 2 a single sweep's record is complete, 3 a single
// sweep waits for its trigger), 4 stopped, 5 scanning with a slow automatic
// time base, 8 and 9 while a knob change is applied (the kept record is shown
// from its second copy) and followed up.
enum AcqState : int {
  kAcqRunning = 0,
  kAcqSingleDone = 2,
  kAcqSingleWaiting = 3,
  kAcqStopped = 4,
  kAcqSlowScan = 5,
  kAcqKnobApplying = 8,
  kAcqKnobFollowUp = 9,
};

// A kept record is shown (stopped, or a knob change applied to it).
inline bool KeptRecordStatus(int status) { return status == kAcqStopped || status == kAcqKnobApplying; }

// Assist request to the math module: the time base went to zoom, which has no
// room for the split and waterfall spectrum views.
constexpr uint16_t kAssistMathZoomOn = 5;
