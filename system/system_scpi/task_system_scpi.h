// The system module's SCPI commands (table `TaskSystemInstrStandard`):
// identification, reset, run and stop, locks, errors, setup transfer, the
// remote keys and their locks, positions, scales, offsets and trigger levels.
// Handlers run on the SCPI worker beside the main loop; key commands only
// queue the key for the main loop.
#pragma once

struct scpi_para;

constexpr int kSysScpiRows = 154;
constexpr int kSysRemoteKeys = 27;
constexpr int kKeyTableCodes = 41;

// One remote key: its command name, panel code and the step a press queues.
struct RemoteKey {
  const char* name;  // "FKNLeft"
  int code;
  int step;
  bool redraw;  // the select knob also requests a redraw
};
extern const RemoteKey kRemoteKeys[kSysRemoteKeys];
// The codes "KEY:LOCK?" reports, in its order.
extern const int keyTable[kKeyTableCodes];

// The two handlers the SCPI thread calls itself (installed at start-up):
// "*OPC?", answered "1" while the engine is idle and "0" while it is busy,
// and the setup-block upload.
void Scpi_TaskSys_OPCAsk(scpi_para* para, char* parameter);
void Scpi_TaskSys_Setup(scpi_para* para, char* block);

// Shared answers and parameter checks.
void SysAnswerRaw(const void* data, int len);  // raw bytes
int SysOnOff(const char* p);                   // 1, 0, or -1

// Key rows: the press, the lock and its query of remote key `index`, and
// of a key by code.
void Scpi_KEY_Lock(scpi_para* para, char* p, short code);
void Scpi_KEY_LockAsk(scpi_para* para, char* p, short code);
using ScpiRowHandler = void (*)(scpi_para*, char*);
ScpiRowHandler KeyPressHandler(int index);
ScpiRowHandler KeyLockHandler(int index);
ScpiRowHandler KeyLockAskHandler(int index);

// Positions, scales, offsets and levels (task_system_scpi_levels.cpp).
void SCPI_Ch1_POSition(scpi_para*, char*);
void SCPI_Ch1_POSitionAsk(scpi_para*, char*);
void SCPI_Ch2_POSition(scpi_para*, char*);
void SCPI_Ch2_POSitionAsk(scpi_para*, char*);
void SCPI_Math_POSition(scpi_para*, char*);
void SCPI_Math_POSitionAsk(scpi_para*, char*);
void SCPI_REF_A_POSition(scpi_para*, char*);
void SCPI_REF_A_POSitionAsk(scpi_para*, char*);
void SCPI_REF_B_POSition(scpi_para*, char*);
void SCPI_REF_B_POSitionAsk(scpi_para*, char*);
void Scpi_TaskSys_Trigger_Position(scpi_para*, char*);
void Scpi_TaskSys_Trigger_PositionAsk(scpi_para*, char*);
void Scpi_TaskSys_Timebase1_Position(scpi_para*, char*);
void Scpi_TaskSys_Timebase1_PositionAsk(scpi_para*, char*);
void Scpi_TaskSys_TimebaseA_Position(scpi_para*, char*);
void Scpi_TaskSys_TimebaseA_PositionAsk(scpi_para*, char*);
void Scpi_TaskSys_TimebaseB_Position(scpi_para*, char*);
void Scpi_TaskSys_TimebaseB_PositionAsk(scpi_para*, char*);
void Scpi_TaskSys_Ch_AdjYsensitivity(scpi_para*, char*);
void Scpi_TaskSys_Ch_AskYsensitivity(scpi_para*, char*);
void Scpi_TaskSys_Ch_AdjOffset(scpi_para*, char*);
void Scpi_TaskSys_Ch_AdjOffsetAsk(scpi_para*, char*);
void Scpi_TaskSys_TrigLevelSetV(scpi_para*, char*);
void Scpi_TaskSys_GetTrigLevelV(scpi_para*, char*);
void Scpi_TaskSys_TrigLevelSetLowV(scpi_para*, char*);
void Scpi_TaskSys_TrigLevelGetLowV(scpi_para*, char*);
void Scpi_TaskSys_TrigLevelSetHighV(scpi_para*, char*);
void Scpi_TaskSys_TrigLevelGetHighV(scpi_para*, char*);
