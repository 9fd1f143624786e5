#include "core/rs232.h"

#include <fcntl.h>

#include <cstdio>

#include "core/mymutex.h"
#include "platform/devices.h"
#include "platform/clock.h"
#include "platform/panel.h"

pthread_mutex_t mymutex = PTHREAD_MUTEX_INITIALIZER;

KeyMapRow KeyMap[] = {
    {"OFFSET_L", 79, 0, 0},        {"OFFSET_R", 78, 0, 0},       {"OFFSET_OK", 73, 0, 0},
    {"VOLTS_L", 85, 0, 0},         {"VOLTS_R", 84, 0, 0},        {"VOLTS_OK", 88, 0, 0},
    {"TB_L", 87, 0, 0},            {"TB_R", 86, 0, 0},           {"TB_OK", 89, 0, 0},
    {"PRETIG_L", 81, 0, 0},        {"PRETIG_R", 80, 0, 0},       {"PRETIG_OK", 74, 0, 0},
    {"TIRGGER_L", 83, 0, 0},       {"TIRGGER_R", 82, 0, 0},      {"TIRGGER_OK", 75, 0, 0},
    {"SET TO ZERO", 68, 10, 0},    {"RUNSTOP", 59, 0, 0},        {"AUTOSET", 63, 0, 0},
    {"KEY_MENU_ONOFF", 54, 0, 0},  {"PrtSc", 55, 0, 0},          {"CH1", 64, 6, 0},
    {"CH2", 65, 7, 0},             {"TRIGGER", 69, 10, 0},       {"MEASURE", 56, 15, 0},
    {"DISPLAY", 61, 12, 0},        {"ACQUIRE", 57, 11, 0},       {"HORI", 67, 13, 0},
    {"STORAGE", 58, 17, 0},        {"UTILITY", 62, 18, 0},       {"MATH", 66, 14, 0},
    {"CURSOR", 60, 16, 0},         {"HELP", 71, 20, 0},          {"DEFAULT", 70, 19, 0},
    {"F1", 49, 22, 0},             {"F2", 50, 22, 0},            {"F3", 51, 22, 0},
    {"F4", 52, 22, 0},             {"F5", 53, 22, 0},            {"Select_Left", 77, 22, 0},
    {"Select_Right", 76, 22, 0},   {"Select", 72, 22, 0},        {"SCPI_DEFAULT", 239, 19, 0},
    {"SCPI_LOAD", 240, 17, 0},     {"SCPI_INDEPEND", 241, 13, 0}, {"SCPI_IP", 242, 18, 0},
    {"SCPI_REC2VIDEO", 243, 17, 0}, {"KEY_SCPI_SELFCAL", 244, 18, 0}, {"", -1, -1, 0},
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
    ring_[writeIndex_] = {uint16_t(code), int16_t(step), 0};
    writeIndex_ = uint8_t((writeIndex_ + 1) % kScpiKeyRing);
    rc = 0;
  }
  pthread_mutex_unlock(&mymutex);
  if (rc == 0) plat::WakeIdle();
  return rc;
}

int rs232::GetScpiKey(int* code, int* step) {
  pthread_mutex_lock(&mymutex);
  int rc = -1;
  if (readIndex_ != writeIndex_) {
    if (code) *code = ring_[readIndex_].code;
    if (step) *step = ring_[readIndex_].step;
    readIndex_ = uint8_t((readIndex_ + 1) % kScpiKeyRing);
    rc = 0;
  }
  pthread_mutex_unlock(&mymutex);
  return rc;
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
