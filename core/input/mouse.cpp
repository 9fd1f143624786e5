#include "core/input/mouse.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/devices/mouse.h"

mouse MouseOp;

namespace {
constexpr int kStatusAbsent = 0, kStatusOpen = 1, kStatusNotOpenable = 2;
constexpr int kCodeWheel = REL_WHEEL;

struct ButtonName {
  int code;
  int key;
  const char* text;
};
constexpr ButtonName kButtons[] = {
    {BTN_LEFT, MOUSE_LEFT, "Mouse Left  "},
    {BTN_RIGHT, MOUSE_RIGHT, "Mouse Right"},
    {BTN_MIDDLE, MOUSE_MIDDLE, "Mouse Middle"},
};
}  // namespace

mouse::mouse() = default;

mouse::~mouse() { Close(); }

void mouse::Close() {
  plat::MouseClose(fd_);
  fd_ = -1;
  held_ = 0;
}

int mouse::ScanMouse() {
  if (!plat::MousePresent()) {
    // Unplugged: the old descriptor would read nothing for ever.
    Close();
    status_ = kStatusAbsent;
    return 0;
  }
  if (fd_ < 0) {
    fd_ = plat::MouseOpen();
    status_ = fd_ >= 0 ? kStatusOpen : kStatusNotOpenable;
  }
  return 1;
}

void mouse::GetMousePos(int* row, int* column) const {
  if (row) *row = row_;
  if (column) *column = column_;
}

void mouse::GetPressMousePos(int* row, int* column) const {
  if (row) *row = pressRow_;
  if (column) *column = pressColumn_;
}

void mouse::Queue() {
  if (pendingCount_ >= kMouseEventBuffer) return;  // one per record: never full
  pending_[pendingCount_++] = {pressFlag_, keyValue_, row_, column_, pressRow_, pressColumn_};
  newEvent_ = 1;
}

void mouse::Walk(const input_event& ev) {
  if (ev.type == EV_KEY) {
    for (const ButtonName& b : kButtons) {
      if (ev.code != b.code) continue;
      std::printf("%s\n", b.text);
      keyValue_ = b.key;
      pressFlag_ = ev.value ? 1 : 0;
      if (pressFlag_ && pressRow_ < 0) {
        pressRow_ = row_;
        pressColumn_ = column_;
      } else if (!pressFlag_) {
        pressRow_ = pressColumn_ = -1;
      }
      std::printf("EV_KEY  Curr_ev_mouse->code = 0x%x \n", ev.code);
      std::printf("PressKeyFlag = %d \n", pressFlag_);
      Queue();
    }
  } else if (ev.type == EV_REL) {
    if (ev.code == REL_Y) {
      row_ = std::clamp<long>(long(row_) + ev.value, 0, kMouseRows - 1);
    } else if (ev.code == REL_X) {
      column_ = std::clamp<long>(long(column_) + ev.value, 0, kMouseColumns - 1);
    } else if (ev.code == kCodeWheel) {
      keyValue_ = ev.value > 0 ? MOUSE_UP_ROOL : MOUSE_DOWN_ROOL;
      Queue();
    }
  }
}

int mouse::GetMouseMsg() {
  if (fd_ < 0) return -1;
  pendingCount_ = pendingAt_ = 0;
  newEvent_ = 0;
  int n = plat::MouseRead(fd_, buffer_ + held_, sizeof buffer_ - held_);
  if (n <= 0) return n < 0 ? -1 : 0;
  size_t bytes = held_ + size_t(n);
  size_t at = 0;
  // Every whole record is walked: a release after a wheel turn is not lost.
  for (; at + sizeof(input_event) <= bytes; at += sizeof(input_event)) {
    input_event ev;
    std::memcpy(&ev, buffer_ + at, sizeof ev);
    Walk(ev);
  }
  held_ = bytes - at;
  std::memmove(buffer_, buffer_ + at, held_);
  return pressFlag_ ? kMouseHeld : keyValue_;
}

bool mouse::TakeMouseMsg(MouseMsg* msg) {
  if (!msg || pendingAt_ >= pendingCount_) return false;
  *msg = pending_[pendingAt_++];
  return true;
}
