// The system module: key routing, assists, the EEPROM settings that belong to
// no menu (factory values and start-up restore), menu on/off and AUTO.
#include "acquisition/system_module/task_system.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "acquisition/system_module/task_system_internal.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/tables/timebase_tables.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/messages/semaphore.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"

TaskForSystem TaskSystem;

namespace sysmod {
_SysResource& Sys() { return TaskSystem.Resource.sys ? *TaskSystem.Resource.sys : SystemResource; }
_SysRunInfoOp& Run() { return *Sys().runStatus; }
task_manage& Manager() { return TaskSystem.Resource.manager ? *TaskSystem.Resource.manager : TaskManage; }
int Status0() { return Run().GetAcquireStatus(0); }
void SetStatus0(int v) { Run().SetAcquireStatus(0, v); }
void SetBothStatus(int v) {
  Run().SetAcquireStatus(0, v);
  Run().SetAcquireStatus(1, v);
}
int AssistTo(int id, uint16_t number, uint16_t value, uint16_t value2, keypara key, taskresponse* reply) {
  taskresponse request{};
  taskresponse answer{};
  request.request = number;
  request.words[0] = value;
  request.words[1] = value2;
  request.key = key;
  return Manager().RequestTaskAssist(id, &request, reply ? reply : &answer);
}
void Message(int n) { Sys().message->SetMessage(n); }
}  // namespace sysmod

using namespace sysmod;

namespace {
constexpr int kDefaultTimeBase = 12, kDefaultVdiv = 12, kDefaultPosition = 127;
constexpr uint16_t kDefaultTrigLevel0 = 0xFFE7;  // -25
constexpr int kDefaultTaskId = 6;
constexpr int kSourceBlocksStored = 4;
constexpr int kSource4 = 4, kSource4Vdiv = 16;
constexpr int kSourceMaskBits = 15;

bool IsKnobKey(int key) { return key >= kSysKeyOffsetOk && key <= kSysKeyTbOk; }

// Keys refused while the recorder records.
bool RefusedWhileRecording(int key) { return key == 69 || key == 73 || key == 74 || key == 75 || (key >= 78 && key <= 89); }

// Keys that end with time base 0 re-applied while roll runs.
bool RestartsRoll(int key) {
  return key == 73 || key == 74 || key == 75 || (key >= 78 && key <= 85) || key == 88;
}

// Active channels the run state may hold: the channels, math and the references.
int SafeActive(int v) { return v == 0 || v == 1 || v == 5 || (v >= 8 && v <= 11) ? v : 0; }
}  // namespace

TaskForSystem::TaskForSystem() = default;

TaskForSystem::~TaskForSystem() = default;

namespace {
std::atomic<const SysServiceHooks*> g_services{nullptr};
}  // namespace

void SetSysServiceHooks(const SysServiceHooks* hooks) { g_services.store(hooks); }

int AdcPhaseDetection(short mode, short* result) {
  const SysServiceHooks* services = g_services.load();
  return services ? services->adcPhaseDetection(mode, result) : -1;
}

int TaskForSystem::DataProcess() { return 0; }
int TaskForSystem::Display() { return 0; }

int TaskForSystem::OpResponse(taskresponse* r) {
  if (!r) return -1;
  const int key = r->key.key;
  if ((Run().GetFuncBits() & kFuncRecording) && RefusedWhileRecording(key)) {
    Message(kMsgRecording);
    return -1;
  }
  switch (key) {
    case kSysKeyMenuOnOff:
      MenuOnOff();
      break;
    case kSysKeyPrintScreen:
      PrintScreen(nullptr, nullptr);
      return 0;
    case kSysKeyRunStop:
      RunStop();
      break;
    case kSysKeyAuto:
      AutoSetOp();
      break;
    case KEY_WORD_DEFAULT:
      DefaultSetup();
      break;
    case KEY_WORD_INIT:
      Initialize();
      break;
    case KEY_WORD_STORAGE:
      Stroage(r);
      break;
    default:
      if (!IsKnobKey(key)) return 0;  // the select knob and other codes: nothing here
      break;
  }
  if (Run().GetChStatus() == 0) {
    Message(kMsgNoChannel);
    return -1;
  }
  if (!IsKnobKey(key)) return 0;
  switch (key) {
    case kSysKeyOffsetOk:
    case kSysKeyOffsetR:
    case kSysKeyOffsetL:
    case kSysKeyVoltsR:
    case kSysKeyVoltsL:
    case kSysKeyVoltsOk:
      VerticalKnob(r->key);
      break;
    case kSysKeyTbR:
    case kSysKeyTbL:
    case kSysKeyTbOk:
      Run().SetTimeBaseAdjFlag(1);
      [[fallthrough]];
    case kSysKeyPreTrigOk:
    case kSysKeyPreTrigR:
    case kSysKeyPreTrigL: {
      HorizontalKnob(r->key);
      waveinfor info{};
      info.flags = kWaveReqRecordMask2;
      info.chMask = uint16_t(Run().GetChStatus() & 3);
      Sys().wave->RequestWaveData(&info);
      break;
    }
    case kSysKeyTrigOk:
    case kSysKeyTrigR:
    case kSysKeyTrigL:
      TriggerKnob(r->key);
      break;
    default:
      break;
  }
  if (Run().IsRollEnable() && Status0() != kAcqStopped && RestartsRoll(key)) Sys().timeBase->AdjTimeBase(0, 0);
  return 0;
}

// Request 1 (and a plain key assist, request 0, as the main loop sends the
// single-sweep stop) runs print screen, RUN/STOP or menu on/off; request 2
// turns the pre-trigger knob or runs the gain and phase adjustments.
int TaskForSystem::Assist(taskresponse* request, taskresponse* reply) {
  if (!request) return -1;
  const int key = request->key.key;
  if (request->request <= kAssistKey) {
    if (key == kSysKeyPrintScreen) return PrintScreen(nullptr, nullptr);
    if (key == kSysKeyRunStop) return RunStop();
    if (key == kSysKeyMenuOnOff) return MenuOnOff();
    return -1;
  }
  if (request->request != kAssistStep) return -1;
  if (key == kSysKeyPreTrigOk || key == kSysKeyPreTrigR || key == kSysKeyPreTrigL) {
    HorizontalKnob(request->key);
    const int guidance = Sys().timeBase->GuidanceWorkStatus(0, 0);
    Run().SetDrawRefresh();
    if (reply) {
      reply->words[0] = uint16_t(guidance);
      reply->request = 0;
    }
    return 0;
  }
  const SysServiceHooks* services = g_services.load();
  if (key == kSysAssistGainCali) return services ? services->gainCali50mv(short(request->words[0])) : -1;
  if (key == kSysAssistAdcPhase) return services ? services->adjAdcPhase(reply) : -1;
  return -1;
}

// Factory values: the range of every module's settings is cleared first (this
// module runs first), then the settings that belong to no menu are written.
int TaskForSystem::Default() {
  std::printf("TaskForSystem -> Default\n");
  I2C& ee = *Sys().eeprom;
  for (int a = kEeDefaultsFirst; a <= kEeDefaultsLast; ++a) {
    SemLock lock(Sem);
    ee.I2C_WriteU8(a, 0);
  }
  iic_item batch[4 * 5 + 5];
  int n = 0;
  for (int b = 0; b < kSourceBlocksStored; ++b) batch[n++] = IicU8(EE_TIMEBASE + b, kDefaultTimeBase);
  for (int s = 0; s < kSourceBlocksStored; ++s) batch[n++] = IicU16(EE_VOFFSET + 2 * s, kDefaultPosition);
  for (int s = 0; s < kSourceBlocksStored; ++s) batch[n++] = IicU8(EE_VDIV + s, kDefaultVdiv);
  for (int s = 0; s < kSourceBlocksStored; ++s) batch[n++] = IicU16(EE_TRIG_LEVEL + 8 + 2 * s, 0);
  for (int s = 0; s < kSourceBlocksStored; ++s) batch[n++] = IicU16(EE_TRIG_LEVEL + 2 * s, kDefaultTrigLevel0);
  batch[n++] = IicU16(EE_TASK_ID, kDefaultTaskId);
  batch[n++] = IicU8(EE_TASK_PAGE, 0);
  batch[n++] = IicU8(EE_SOURCE_ON, 1);
  batch[n++] = IicU8(EE_ACTIVE_CH, 0);
  batch[n++] = IicEnd();
  ee.I2C_BatchWrite(batch, n);
  _SysRunInfo* info = Run().GetSysRunInfoBaseAddr();
  for (int b = 0; b < kSourceBlocksStored; ++b) {
    ee.I2C_WriteU32(EE_PRETRIG_DEPTH + 4 * b, uint32_t(kRecordCentre));
    info->horizontal[b].offsetTime = 0.0;
  }
  {
    // As at a first start no reference is loaded: a reference's scale and
    // offset come with its file.
    SemLock lock(Sem);
    for (int slot : {kSourceRefA, kSourceRefB}) info->vertical[slot] = VerticalBlock{};
  }
  Run().SetChStatus(1);
  return 0;
}

// Restores the settings of both channels from the EEPROM, as selected values
// and as values in force; values outside their tables take the factory value.
int TaskForSystem::Initialize() {
  std::printf("TaskForSystem :: Initialize ...\n");
  I2C& ee = *Sys().eeprom;
  x_system& x = *Sys().timeBase;
  y_system& y = *Sys().vertical;
  trig_system& t = *Sys().trigger;
  for (int ch = 0; ch < 2; ++ch) {
    int tb = ee.I2C_ReadU8(EE_TIMEBASE + ch);
    if (tb < x.Get_timeBase_MIN() || tb > kTimeBaseMaxIndex) tb = x_system::kDefaultTimeBase;
    x.SetTimeBase(ch, tb);
    x.SetRealTimeBase(ch, tb);
    int64_t depth = int32_t(ee.I2C_ReadU32(EE_PRETRIG_DEPTH + 4 * ch));
    if (depth < 0 || depth > x_system::kRecordSamples) depth = kRecordCentre;
    x.SetPreTrigDepth(ch, depth);
    x.SetRealPreTrigDepth(ch, depth);
    int vdiv = ee.I2C_ReadU8(EE_VDIV + ch);
    if (vdiv >= kVoltageEntries) vdiv = kDefaultVdiv;
    y.SetYsensitivity(ch, vdiv);
    y.SetRealYsensitivity(ch, vdiv);
    int pos = ee.I2C_ReadU16(EE_VOFFSET + 2 * ch);
    if (pos < y_system::kPositionMin || pos > y_system::kPositionMax) pos = kDefaultPosition;
    y.SetYposition(ch, pos);
    y.SetRealYposition(ch, pos);
    for (int k : {0, 1}) {
      const int code = ee.I2C_ReadU16(EE_TRIG_LEVEL + 8 * k + 2 * ch);
      t.SetTriggerPos(ch, k, std::abs(code) > trig_system::kLevelLimit ? trig_system::kDefaultLevel[k] : code);
    }
  }
  x.AdjPreTrigDepth(0, 0);
  y.SetRealYsensitivity(kSource4, kSource4Vdiv);
  y.SetRealYposition(kSource4, kDefaultPosition);
  t.SetTriggerPos(kSource4, 0, 0);
  const int mask = ee.I2C_ReadU8(EE_SOURCE_ON) & kSourceMaskBits;
  Run().SetChStatus(mask);
  Run().GetSysRunInfoBaseAddr()->sourceOnSnapshot = uint16_t(mask);
  Run().SetActivCh(SafeActive(ee.I2C_ReadU8(EE_ACTIVE_CH)));
  initStampUs_ = appendStampUs_ = plat::MonoUs();
  return 0;
}

int TaskForSystem::AutoSetOp() {
  const SysServiceHooks* services = g_services.load();
  return services ? services->autoSet(&Resource, &TaskMenu, false) : -1;
}
int TaskForSystem::AutoSetOpTest() {
  const SysServiceHooks* services = g_services.load();
  return services ? services->autoSet(&Resource, &TaskMenu, true) : -1;
}

int MenuOnOff() {
  Run().MenuOnOff();
  Run().SetDrawRefresh();
  return 0;
}

int SetToZero() {
  if (Run().IsIndependTimeBase()) {
    Message(kMsgAlternate);
    return -1;
  }
  return AssistTo(kTriggerTask, kAssistSetItem, kSysOpTemperature);
}
