#include "core/input/rs232.h"

#include <fcntl.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "core/state/ids.h"
#include "core/messages/mymutex.h"
#include "core/messages/remote_errors.h"
#include "platform/devices/devices.h"
#include "platform/clock.h"
#include "platform/devices/panel.h"
#include "platform/thread.h"

pthread_mutex_t mymutex = PTHREAD_MUTEX_INITIALIZER;

KeyMapRow KeyMap[] = {
    {"OFFSET_L", kKeyOffsetLeft, 0, 0},
    {"OFFSET_R", kKeyOffsetRight, 0, 0},
    {"OFFSET_OK", kKeyOffsetOk, 0, 0},
    {"VOLTS_L", kKeyVoltsLeft, 0, 0},
    {"VOLTS_R", kKeyVoltsRight, 0, 0},
    {"VOLTS_OK", kKeyVoltsOk, 0, 0},
    {"TB_L", kKeyTimeBaseLeft, 0, 0},
    {"TB_R", kKeyTimeBaseRight, 0, 0},
    {"TB_OK", kKeyTimeBaseOk, 0, 0},
    {"PRETIG_L", kKeyPreTrigLeft, 0, 0},
    {"PRETIG_R", kKeyPreTrigRight, 0, 0},
    {"PRETIG_OK", kKeyPreTrigOk, 0, 0},
    {"TIRGGER_L", kKeyTriggerLeft, 0, 0},
    {"TIRGGER_R", kKeyTriggerRight, 0, 0},
    {"TIRGGER_OK", kKeyTriggerOk, 0, 0},
    {"SET TO ZERO", kKeySetToZero, kTaskTrigger, 0},
    {"RUNSTOP", kKeyRunStop, 0, 0},
    {"AUTOSET", kKeyAutoSet, 0, 0},
    {"KEY_MENU_ONOFF", kKeyMenuOnOff, 0, 0},
    {"PrtSc", kKeyPrtSc, 0, 0},
    {"CH1", kKeyCh1, kTaskCh1, 0},
    {"CH2", kKeyCh2, kTaskCh2, 0},
    {"TRIGGER", kKeyTrigger, kTaskTrigger, 0},
    {"MEASURE", kKeyMeasure, kTaskMeasure, 0},
    {"DISPLAY", kKeyDisplay, kTaskDisplay, 0},
    {"ACQUIRE", kKeyAcquire, kTaskAcquire, 0},
    {"HORI", kKeyHori, kTaskHorizontal, 0},
    {"STORAGE", kKeyStorage, kTaskStorage, 0},
    {"UTILITY", kKeyUtility, kTaskUtility, 0},
    {"MATH", kKeyMath, kTaskMath, 0},
    {"CURSOR", kKeyCursor, kTaskCursor, 0},
    {"HELP", kKeyHelp, kTaskHelp, 0},
    {"DEFAULT", kKeyDefault, kTaskDefault, 0},
    {"F1", kKeyF1, kTaskCurrent, 0},
    {"F2", kKeyF2, kTaskCurrent, 0},
    {"F3", kKeyF3, kTaskCurrent, 0},
    {"F4", kKeyF4, kTaskCurrent, 0},
    {"F5", kKeyF5, kTaskCurrent, 0},
    {"Select_Left", kKeySelectLeft, kTaskCurrent, 0},
    {"Select_Right", kKeySelectRight, kTaskCurrent, 0},
    {"Select", kKeySelectPush, kTaskCurrent, 0},
    {"SCPI_DEFAULT", kKeyScpiDefault, kTaskDefault, 0},
    {"SCPI_LOAD", kKeyScpiLoad, kTaskStorage, 0},
    {"SCPI_INDEPEND", kKeyScpiIndependent, kTaskHorizontal, 0},
    {"SCPI_IP", kKeyScpiIp, kTaskUtility, 0},
    {"SCPI_REC2VIDEO", kKeyScpiRecordToVideo, kTaskStorage, 0},
    {"KEY_SCPI_SELFCAL", kKeyScpiSelfCal, kTaskUtility, 0},
    {"", -1, -1, 0},
};

rs232 KeyBoard(plat::kPanelUartDevice, O_RDWR | O_NOCTTY | O_NONBLOCK);

namespace {
KeyMapRow* FindRow(int code) {
  for (KeyMapRow* r = KeyMap; r->code != -1; ++r)
    if (r->code == code) return r;
  return nullptr;
}

// The lock flags are set by the SCPI, VXI-11 and network threads and read by
// the main loop: single 16-bit loads and stores.
uint16_t LoadFlag(const uint16_t* f) { return __atomic_load_n(f, __ATOMIC_RELAXED); }
void StoreFlag(uint16_t* f, uint16_t v) { __atomic_store_n(f, v, __ATOMIC_RELAXED); }

// Wakes the commands waiting for the remote keys before them to be routed.
std::mutex g_keysMu;
std::condition_variable g_keysRouted;
constexpr auto kKeysPoll = std::chrono::milliseconds(50);  // a stop is seen this often

void SetAllRowLocks(uint16_t v) {
  for (KeyMapRow* r = KeyMap; r->code != -1; ++r) StoreFlag(&r->lock, v);
}
}  // namespace

void rs232::Clear() {
  readIndex_ = writeIndex_ = 0;
  planted_ = 0;
  pendingAt_ = pendingCount_ = 0;
  SetAllRowLocks(0);
  plat::WallTime(&prevSec_, &prevUsec_);
  plat::WallTime(&currSec_, &currUsec_);
}

rs232::rs232() { Clear(); }

rs232::rs232(const char* path, int) {
  Clear();
  std::printf("Uart dev : %s\n", path);
  fd_ = plat::PanelOpen(path);
  if (fd_ <= 0) {
    std::printf("Open port Error!\n");
    fd_ = 0;
    return;
  }
  Set_BaudRate(3);
  SetNotObstruction();
}

int rs232::Set_BaudRate(int code) {
  switch (code) {
    case 1: std::printf("BAUDRATE_4800 ...\n"); break;
    case 2: std::printf("BAUDRATE_19200 ...\n"); break;
    case 3: std::printf("BAUDRATE_115200 ...\n"); break;
    default: std::printf("B19200 ...\n"); break;
  }
  return 0;  // the simulated port takes raw 8N1 bytes at any rate
}

int rs232::SetNotObstruction() {
  mode_ = 2;
  return 0;
}

int rs232::SetObstruction() {
  mode_ = 1;
  return 0;
}

int16_t rs232::StepFor(uint16_t code, int64_t sinceUs, bool sameSecond) const {
  if (code != lastCode_ || !sameSecond) return 1;
  int64_t t = sinceUs / 10000;
  if (code == 76 || code == 77) return t <= 0 ? 100 : int16_t(100 / t);
  static const int16_t kSteps[] = {20, 17, 15, 13, 11, 9, 7, 5, 3, 2, 1};
  return t >= 0 && t <= 10 ? kSteps[t] : 1;
}

int rs232::GetKey(uint8_t* buffer, int* recordItem) {
  if (planted_) {
    if (buffer) buffer[0] = uint8_t(currCode_);
    if (recordItem) *recordItem = plantedItem_ == 0xFFFF ? -1 : plantedItem_;
    planted_ = 0;
    return 1;
  }
  if (recordItem) *recordItem = -1;
  if (!fd_ || !buffer) return -1;
  uint8_t code;
  int n = NextPanelByte(&code);
  if (n <= 0) return -1;
  buffer[0] = code;
  newKey_ = 1;
  currCode_ = code;
  int32_t sec, usec;
  plat::WallTime(&sec, &usec);
  int64_t since = (int64_t(sec) - currSec_) * 1000000 + (usec - currUsec_);
  step_ = StepFor(currCode_, since, sec == currSec_);
  lastCode_ = currCode_;
  prevSec_ = currSec_;
  prevUsec_ = currUsec_;
  currSec_ = sec;
  currUsec_ = usec;
  return n;
}

// The next byte of the port: one left over from the last read, or a new read
// of up to 10 bytes whose first byte is taken now and the others kept.
int rs232::NextPanelByte(uint8_t* code) {
  if (pendingAt_ >= pendingCount_) {
    pendingAt_ = pendingCount_ = 0;
    int n = plat::PanelRead(fd_, pending_, kPanelReadBytes);
    if (n <= 0) return -1;
    pendingCount_ = uint8_t(n > kPanelReadBytes ? kPanelReadBytes : n);
  }
  *code = pending_[pendingAt_++];
  return 1;
}

int rs232::UserSetKey(int code, int step, int item) {
  currCode_ = uint16_t(code);
  step_ = int16_t(step);
  plantedItem_ = uint16_t(item);
  planted_ = 1;
  return 0;
}

int rs232::UserGetKey(int* code, int* step) {
  if (!newKey_) return -1;
  if (code) *code = currCode_;
  if (step) *step = step_;
  std::printf("$$$$$   UserGetKey = 0x%x  step = %d  \n", currCode_, step_);
  newKey_ = 0;
  return 0;
}

int rs232::AppendScpiKey(int code, int step) {
  pthread_mutex_lock(&mymutex);
  int rc = -1;
  if ((writeIndex_ + 1) % kScpiKeyRing != readIndex_) {
    ring_[writeIndex_] = {uint16_t(code), int16_t(step), uint16_t(InRemoteCommand() ? 1 : 0)};
    writeIndex_ = uint8_t((writeIndex_ + 1) % kScpiKeyRing);
    rc = 0;
  }
  pthread_mutex_unlock(&mymutex);
  if (rc == 0) plat::WakeIdle();
  return rc;
}

int rs232::GetScpiKey(int* code, int* step, bool* remote) {
  pthread_mutex_lock(&mymutex);
  int rc = -1;
  if (readIndex_ != writeIndex_) {
    if (code) *code = ring_[readIndex_].code;
    if (step) *step = ring_[readIndex_].step;
    if (remote) *remote = ring_[readIndex_].remote != 0;
    readIndex_ = uint8_t((readIndex_ + 1) % kScpiKeyRing);
    rc = 0;
  }
  pthread_mutex_unlock(&mymutex);
  return rc;
}

int rs232::TakeScpiKey(int* code, int* step, bool* remote) {
  pthread_mutex_lock(&mymutex);
  int rc = -1;
  if (readIndex_ != writeIndex_) {
    *code = ring_[readIndex_].code;
    *step = ring_[readIndex_].step;
    *remote = ring_[readIndex_].remote != 0;
    readIndex_ = uint8_t((readIndex_ + 1) % kScpiKeyRing);
    routing_ = true;
    rc = 0;
  }
  pthread_mutex_unlock(&mymutex);
  return rc;
}

void rs232::ScpiKeyRouted() {
  pthread_mutex_lock(&mymutex);
  routing_ = false;
  pthread_mutex_unlock(&mymutex);
  { std::lock_guard<std::mutex> lock(g_keysMu); }
  g_keysRouted.notify_all();
}

bool rs232::ScpiKeysPending() {
  pthread_mutex_lock(&mymutex);
  const bool any = routing_ || readIndex_ != writeIndex_;
  pthread_mutex_unlock(&mymutex);
  return any;
}

void rs232::ServeScpiKeys(bool on) {
  served_.store(on);
  g_keysRouted.notify_all();
}

void rs232::AwaitScpiKeys() {
  std::unique_lock<std::mutex> lock(g_keysMu);
  while (served_.load() && !plat::StopRequested() && ScpiKeysPending())
    g_keysRouted.wait_for(lock, kKeysPoll);
}

bool rs232::IsScpiKey() {
  pthread_mutex_lock(&mymutex);
  bool any = readIndex_ != writeIndex_;
  pthread_mutex_unlock(&mymutex);
  return any;
}

int rs232::KeyLockEnble() {
  std::printf("KeyLockEnble ...\n");
  StoreFlag(&panelLock_, 1);
  SetAllRowLocks(1);
  return 1;
}

int rs232::KeyLockDisable() {
  StoreFlag(&panelLock_, 0);
  SetAllRowLocks(0);
  return 0;
}

bool rs232::IsKeyLock() const { return LoadFlag(&panelLock_) != 0; }

int rs232::KeyboardSelfUnlock(int arg) { return arg == 1 ? KeyLockDisable() : 0; }

int rs232::SetKeyValueLock(int code, int value) {
  if (value != 0 && value != 1) return -1;
  KeyMapRow* r = FindRow(code);
  if (!r) return -1;
  StoreFlag(&r->lock, uint16_t(value));
  return 0;
}

int rs232::KeyValueIsLock(int code) const {
  if (code == 255) return -1;
  const KeyMapRow* r = FindRow(code);
  return r ? LoadFlag(&r->lock) : -1;
}

int rs232::KeyValueDiscern(int code) const {
  const KeyMapRow* r = FindRow(code);
  if (!r) return -1;
  std::printf("KeyName : %s    \n", r->name);
  return r->taskId;
}
