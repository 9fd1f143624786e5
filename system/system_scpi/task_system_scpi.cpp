// The system commands: identification, reset, operation complete, run and
// stop, panel lock, errors, setup transfer, the identity information and the
// serial number; and the table that lists every system command in its order.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/engine/wave.h"
#include "acquisition/system_module/task_system.h"
#include "core/input/rs232.h"
#include "core/messages/msg.h"
#include "core/messages/remote_errors.h"
#include "core/messages/settings_lock.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "core/state/wave_types.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_kit.h"
#include "remote/scpi/scpi_sys_calls.h"
#include "system/default/task_default.h"
#include "system/storage/storage_setup.h"
#include "system/storage/task_storage.h"
#include "system/system_scpi/task_system_scpi.h"
#include "system/utility/task_utility.h"

namespace {
constexpr int kMsgLocked = 79, kMsgUnlocked = 80;
constexpr uint16_t kKeyAuto = 63, kKeySetZero = 68, kKeyTrigLevelPush = 75;
constexpr int kMathBit = 5;

const scpipara kOnOff[] = {{"OFF", 0}, {"ON", 1}, {"0", 0}, {"1", 1}, {"", -1}};

// PROC?: channel 1's acquisition status -> the reported state.
constexpr int kProcMap[] = {1, 4, 3, 2, 0, 5, 6, 7, 8};

_SysRunInfoOp& Run() { return *SystemResource.runStatus; }
void Redraw() { Run().SetDrawRefresh(); }

constexpr int kStopFollowLimitMs = 2000;  // no record by then (no trigger): STOP keeps the one there is
constexpr int kStopFollowReads = 2;
constexpr int kChannels = 2;

// A vertical or horizontal setting changed since the last record was read:
// the record on screen was acquired without it.
bool ShownLagsSettings() {
  const _SysRunInfo& info = *Run().GetSysRunInfoBaseAddr();
  for (int ch = 0; ch < kChannels; ++ch) {
    const VerticalBlock& v = info.vertical[ch];
    if (v.vdivSelected != v.vdivIndex || v.positionSelected != v.position) return true;
  }
  return info.horizontal[0].timeBase != info.horizontal[0].realTimeBase;
}
}  // namespace

void SysAnswerRaw(const void* data, int len) {
  SystemResource.scpiEngine->WriteResponseDataPure(static_cast<const char*>(data), len);
}

int SysOnOff(const char* p) { return ScpiKeyword(kOnOff, p); }

// ---- identification and state ----

void Scpi_TaskSys_IDN(scpi_para*, char*) {
  char text[160];
  std::snprintf(text, sizeof text, "KOLVET Technologies,%s,%s,%s", SysInformation[kInfoModel],
                SysInformation[kInfoSerial], SysInformation[kInfoSoftware]);
  ScpiAnswer(text);
}

void Scpi_TaskSys_RST(scpi_para*, char*) {
  SystemResource.keyboard->AppendScpiKey(kKeyScpiDefault, 0);
  Redraw();
}

// 0 while a command waits or is carried out, or while the kept record a
// command moved waits for the main loop to draw it again.
void Scpi_TaskSys_OPCAsk(scpi_para*, char*) {
  const int status = SystemResource.scpiEngine->IsScpiBusy() || WaveOp.KeptViewPending() ? 0 : 1;
  std::printf("opc status = %d\n", status);
  ScpiAnswer(status ? "1" : "0");
}

void Scpi_TaskSys_Proc(scpi_para*, char*) {
  const int st = Run().GetAcquireStatus(0);
  const int32_t v = st >= 0 && st < int(sizeof kProcMap / sizeof kProcMap[0]) ? kProcMap[st] : st;
  SysAnswerRaw(&v, sizeof v);
}

void Scpi_TaskSys_Run(scpi_para*, char*) {
  Run().SetAcquireStatus(0, kAcqStopped);
  RunStop();
}

// A STOP sent after a setting keeps a record acquired with it, as the
// screen and the measurements then show: the acquisitions it waits for are
// read by the main loop meanwhile.
void Scpi_TaskSys_Stop(scpi_para*, char*) {
  if (Run().GetAcquireStatus(0) != kAcqStopped && Run().GetWaveType() != kWaveRoll &&
      ShownLagsSettings())
    WaveOp.AwaitRecords(Run().GetChStatus(), kStopFollowReads, kStopFollowLimitMs);
  Run().SetAcquireStatus(0, kAcqRunning);
  RunStop();
}

void Scpi_TaskSys_Auto(scpi_para*, char*) { SystemResource.keyboard->AppendScpiKey(kKeyAuto, 0); }

void Scpi_TaskSys_Lock(scpi_para*, char* p) {
  const int v = SysOnOff(p);
  if (v == 1) {
    SystemResource.keyboard->KeyLockEnble();
    SystemResource.message->SetMessage(kMsgLocked);
  } else if (v == 0) {
    SystemResource.keyboard->KeyLockDisable();
    SystemResource.message->SetMessage(kMsgUnlocked);
  }
}

void Scpi_TaskSys_LockAsk(scpi_para*, char*) { ScpiAnswer(SystemResource.keyboard->IsKeyLock() ? "1" : "0"); }

void Scpi_TaskSys_Error(scpi_para*, char*) { Redraw(); }
// The oldest error a refused command left, 0,"No error" when none.
void Scpi_TaskSys_ErrorAsk(scpi_para*, char*) { ScpiAnswer(PopRemoteError().c_str()); }

// ---- setup transfer ----

namespace {
// Sends key word 131 with the setup record to the modules in setup order.
SetupFileRecord SendSetup(int direction, uint8_t* buffer, int length) {
  taskresponse r{};
  r.key = keypara{KEY_WORD_STORAGE, 1, 0};
  const SetupFileRecord rec{0, direction, length, 0, buffer};
  std::memcpy(r.area, &rec, sizeof rec);
  TaskManage.SendKeytoAllTask(&r, LoadTaskOrder);
  SetupFileRecord out;
  std::memcpy(&out, r.area, sizeof out);
  return out;
}
}  // namespace

// The block that followed "SYSTem:SETup" or "CONFIG" on the SCPI thread
// (`para` null); the command line alone carries no block and does nothing.
void Scpi_TaskSys_Setup(scpi_para* para, char* block) {
  std::printf("Scpi_TaskSys_Setup\n");
  const int len = SystemResource.scpiEngine->GetBinaryDataLen();
  if (para || !block || len <= 0) return;
  std::vector<uint8_t> copy(block, block + len);
  if (!SetupFileAccepted(copy.data(), len)) return void(ScpiRefuseWith(kMsgSetupLoadFailed));
  SendSetup(kSetupSettle, copy.data(), len);
  {
    // No main-loop pass comes between the blocks; the board's settle after
    // each setting is waited once, after the last.
    SettingsWaitsGathered whole;
    SendSetup(kSetupLoad, copy.data(), len);
    whole.Settle();
  }
  SendSetup(kSetupFinish, copy.data(), len);
  Redraw();
}

void Scpi_TaskSys_SetupAsk(scpi_para*, char*) {
  std::vector<uint8_t> buffer(kSetupBufferBytes, 0);
  const SetupFileRecord out = SendSetup(kSetupSave, buffer.data(), kSetupBufferBytes);
  std::printf("Write File Size = %d \n", out.used);
  SystemResource.scpiEngine->WriteResponseDataRaw(reinterpret_cast<const char*>(buffer.data()), out.used);
}

void Scpi_TaskSys_Config(scpi_para* para, char* block) { Scpi_TaskSys_Setup(para, block); }
void Scpi_TaskSys_ConfigAsk(scpi_para* para, char* p) { Scpi_TaskSys_SetupAsk(para, p); }

// ---- identity ----

void Scpi_TaskSys_InfoAsk(scpi_para*, char*) {
  static const int kRows[] = {7, 3, 2, 8, 9, 10, 11, 6, 1, -1, 13, 5, 17};
  std::string text;
  for (int row : kRows) {
    if (!text.empty()) text += ',';
    text += row < 0 ? "EN" : SysInformation[row];
  }
  ScpiAnswer(text.c_str());
}

// The serial number between the first pair of double quotes; a text without
// both quotes, or longer than the identity row holds, is refused.
void Scpi_TaskSys_Sn(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const char* open = std::strchr(p, '"');
  const char* close = open ? std::strchr(open + 1, '"') : nullptr;
  if (!close) {
    std::printf("FACTory:MIS:SN: the serial number must be in double quotes\n");
    return void(ScpiRefuse());
  }
  const int n = int(close - open - 1);
  if (n >= kInfoChars) {
    std::printf("FACTory:MIS:SN: a serial number of %d characters does not fit\n", n);
    return void(ScpiRefuse());
  }
  char sn[kInfoChars] = {};
  std::memcpy(sn, open + 1, size_t(n));
  std::printf("sn = %s\n", sn);
  if (TaskUtility.SetSerialNumber(sn, n) == 0) {
    std::memcpy(SysInformation[kInfoSerial], sn, sizeof sn);
    std::printf("SERIAL = %s\n", SysInformation[kInfoSerial]);
  }
  Redraw();
}

void Scpi_TaskSys_SnAsk(scpi_para*, char*) {
  std::printf("SERIAL = %s\n", SysInformation[kInfoSerial]);
  ScpiAnswer(SysInformation[kInfoSerial]);
}

// ---- panel state ----

void Scpi_TaskSys_KeyLockAsk(scpi_para*, char*) {
  char text[kKeyTableCodes + 1];
  for (int i = 0; i < kKeyTableCodes; ++i) text[i] = SystemResource.keyboard->KeyValueIsLock(keyTable[i]) == 1 ? '1' : '0';
  text[kKeyTableCodes] = '\0';
  ScpiAnswer(text);
}

void Scpi_TaskSys_KeyLedAsk(scpi_para*, char*) {
  const int mask = Run().GetChStatus();
  const char text[5] = {char('0' + (mask & 1)), char('0' + (mask >> 1 & 1)), char('0' + (mask >> kMathBit & 1)),
                        Run().GetAcquireStatus(0) != kAcqStopped ? '1' : '0', '\0'};
  ScpiAnswer(text);
}

void Scpi_KEY_RunStopLed(scpi_para*, char*) { ScpiAnswer(Run().GetAcquireStatus(0) == kAcqStopped ? "2" : "1"); }

void Scpi_TaskSys_ChSelAsk(scpi_para*, char*) {
  const int a = Run().GetActivCh();
  ScpiAnswer(a == 0 ? "0" : a == 1 ? "1" : "0xFF");
}

void Scpi_TaskSys_ScreenAsk(scpi_para*, char*) {
  static const int16_t kScreen[10] = {800, 480, 14, 8, 50, 50, 33, 30, 433, 730};
  SysAnswerRaw(kScreen, sizeof kScreen);
}

void Scpi_TaskSys_SetTrigToZero(scpi_para*, char*) { SystemResource.keyboard->AppendScpiKey(kKeyTrigLevelPush, 0); }

void Scpi_Key_SetToZero(scpi_para*, char*) {
  std::printf("Scpi_Key_SetToZero ...\n");
  SystemResource.keyboard->AppendScpiKey(kKeySetZero, 0);
}

// ---- the table ----

namespace {
struct Row {
  const char* pattern;
  ScpiHandler handler;
};

const Row kHead[] = {
    {"*IDN?", Scpi_TaskSys_IDN},
    {"*RST", Scpi_TaskSys_RST},
    {"*OPC?", Scpi_TaskSys_OPCAsk},
    {"PROC?", Scpi_TaskSys_Proc},
    {"RUN", Scpi_TaskSys_Run},
    {"STOP", Scpi_TaskSys_Stop},
    {"AUTO", Scpi_TaskSys_Auto},
    {"SYSTem:LOCK", Scpi_TaskSys_Lock},
    {"SYSTem:LOCK?", Scpi_TaskSys_LockAsk},
    {"SYSTem:ERRor", Scpi_TaskSys_Error},
    {"SYSTem:ERRor?", Scpi_TaskSys_ErrorAsk},
    {"SYSTem:SETup", Scpi_TaskSys_Setup},
    {"SYSTem:SETup?", Scpi_TaskSys_SetupAsk},
    {"CONFIG", Scpi_TaskSys_Config},
    {"CONFIG?", Scpi_TaskSys_ConfigAsk},
    {"SYSTem:INFO?", Scpi_TaskSys_InfoAsk},
    {"FACTory:MIS:SN", Scpi_TaskSys_Sn},
    {"FACTory:MIS:SN?", Scpi_TaskSys_SnAsk},
    {"KEY:LOCK?", Scpi_TaskSys_KeyLockAsk},
    {"KEY:LED?", Scpi_TaskSys_KeyLedAsk},
    {"CHSEL?", Scpi_TaskSys_ChSelAsk},
    {"SCN?", Scpi_TaskSys_ScreenAsk},
    {"TRIGger:POSition", Scpi_TaskSys_Trigger_Position},
    {"TRIGger:POSition?", Scpi_TaskSys_Trigger_PositionAsk},
    {"CHANnel1:POSition", SCPI_Ch1_POSition},
    {"CHANnel1:POSition?", SCPI_Ch1_POSitionAsk},
    {"CHANnel2:POSition", SCPI_Ch2_POSition},
    {"CHANnel2:POSition?", SCPI_Ch2_POSitionAsk},
    {"CHANnel5:POSition", SCPI_Math_POSition},
    {"CHANnel5:POSition?", SCPI_Math_POSitionAsk},
    {"CHANnel6:POSition", SCPI_REF_A_POSition},
    {"CHANnel6:POSition?", SCPI_REF_A_POSitionAsk},
    {"CHANnel7:POSition", SCPI_REF_B_POSition},
    {"CHANnel7:POSition?", SCPI_REF_B_POSitionAsk},
    {"TIMebase1:POSition", Scpi_TaskSys_Timebase1_Position},
    {"TIMebase1:POSition?", Scpi_TaskSys_Timebase1_PositionAsk},
    {"TIMebase2:POSition", Scpi_TaskSys_Timebase1_Position},
    {"TIMebase2:POSition?", Scpi_TaskSys_Timebase1_PositionAsk},
    {"TIMebase5:POSition", Scpi_TaskSys_Timebase1_Position},
    {"TIMebase5:POSition?", Scpi_TaskSys_Timebase1_PositionAsk},
    {"TIMebase6:POSition", Scpi_TaskSys_TimebaseA_Position},
    {"TIMebase6:POSition?", Scpi_TaskSys_TimebaseA_PositionAsk},
    {"TIMebase7:POSition", Scpi_TaskSys_TimebaseB_Position},
    {"TIMebase7:POSition?", Scpi_TaskSys_TimebaseB_PositionAsk},
};

const Row kTail[] = {
    {"CHANnel1:SCALe", Scpi_TaskSys_Ch_AdjYsensitivity},
    {"CHANnel1:SCALe?", Scpi_TaskSys_Ch_AskYsensitivity},
    {"CHANnel1:OFFSet", Scpi_TaskSys_Ch_AdjOffset},
    {"CHANnel1:OFFSet?", Scpi_TaskSys_Ch_AdjOffsetAsk},
    {"CHANnel2:SCALe", Scpi_TaskSys_Ch_AdjYsensitivity},
    {"CHANnel2:SCALe?", Scpi_TaskSys_Ch_AskYsensitivity},
    {"CHANnel2:OFFSet", Scpi_TaskSys_Ch_AdjOffset},
    {"CHANnel2:OFFSet?", Scpi_TaskSys_Ch_AdjOffsetAsk},
    {"CHANnel5:SCALe", Scpi_TaskSys_Ch_AdjYsensitivity},
    {"CHANnel5:SCALe?", Scpi_TaskSys_Ch_AskYsensitivity},
    {"CHANnel6:SCALe", Scpi_TaskSys_Ch_AdjYsensitivity},
    {"CHANnel6:SCALe?", Scpi_TaskSys_Ch_AskYsensitivity},
    {"CHANnel7:SCALe", Scpi_TaskSys_Ch_AdjYsensitivity},
    {"CHANnel7:SCALe?", Scpi_TaskSys_Ch_AskYsensitivity},
    {"CHANnel5:OFFSet", Scpi_TaskSys_Ch_AdjOffset},
    {"CHANnel5:OFFSet?", Scpi_TaskSys_Ch_AdjOffsetAsk},
    {"CHANnel6:OFFSet", Scpi_TaskSys_Ch_AdjOffset},
    {"CHANnel6:OFFSet?", Scpi_TaskSys_Ch_AdjOffsetAsk},
    {"CHANnel7:OFFSet", Scpi_TaskSys_Ch_AdjOffset},
    {"CHANnel7:OFFSet?", Scpi_TaskSys_Ch_AdjOffsetAsk},
    {"TRIGger:LEVel", Scpi_TaskSys_TrigLevelSetV},
    {"TRIGger:LEVel?", Scpi_TaskSys_GetTrigLevelV},
    {"TRIGger:LEVel:LOW", Scpi_TaskSys_TrigLevelSetLowV},
    {"TRIGger:LEVel:LOW?", Scpi_TaskSys_TrigLevelGetLowV},
    {"TRIGger:LEVel:HIGH", Scpi_TaskSys_TrigLevelSetHighV},
    {"TRIGger:LEVel:HIGH?", Scpi_TaskSys_TrigLevelGetHighV},
    {"TRIGger:LEVel:ASETup", Scpi_TaskSys_SetTrigToZero},
    {"KEY:SETZERO", Scpi_Key_SetToZero},
};

constexpr int kHeadRows = int(sizeof kHead / sizeof kHead[0]);
constexpr int kTailRows = int(sizeof kTail / sizeof kTail[0]);
constexpr int kRsIndex = 11;  // "RS": its LED query follows its rows
static_assert(kHeadRows + 3 * kSysRemoteKeys + 1 + kTailRows == kSysScpiRows, "154 command rows");

void Put(instr* row, const char* pattern, ScpiHandler h) {
  std::snprintf(row->pattern, sizeof row->pattern, "%s", pattern);
  row->handler = h;
}

bool Build(instr* table) {
  int n = 0;
  for (const Row& r : kHead) Put(&table[n++], r.pattern, r.handler);
  char pattern[sizeof table->pattern];
  for (int i = 0; i < kSysRemoteKeys; ++i) {
    std::snprintf(pattern, sizeof pattern, "KEY:%s", kRemoteKeys[i].name);
    Put(&table[n++], pattern, KeyPressHandler(i));
    std::snprintf(pattern, sizeof pattern, "KEY:%s:LOCK", kRemoteKeys[i].name);
    Put(&table[n++], pattern, KeyLockHandler(i));
    std::snprintf(pattern, sizeof pattern, "KEY:%s:LOCK?", kRemoteKeys[i].name);
    Put(&table[n++], pattern, KeyLockAskHandler(i));
    if (i == kRsIndex) Put(&table[n++], "KEY:RS:LED?", Scpi_KEY_RunStopLed);
  }
  for (const Row& r : kTail) Put(&table[n++], r.pattern, r.handler);
  table[n] = instr{};
  return true;
}
}  // namespace

instr TaskSystemInstrStandard[kSysScpiRows + 1];
namespace {
[[maybe_unused]] const bool kBuilt = Build(TaskSystemInstrStandard);
}
