// Key recording and playback of service page 14: every key the keyboard
// hands to the modules is appended to "Data/KeyRec/KeyRec-<n>" as two 16-bit
// words (key, step) in the processor's byte order; playback hands them back
// one every 100 ms and starts over at the end. Recording and playback keep
// handles of their own.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "acquisition/horizontal/task_hori_service_internal.h"
#include "core/board/control.h"
#include "core/messages/msg.h"
#include "core/input/rs232.h"
#include "core/messages/settings_lock.h"
#include "platform/clock.h"
#include "platform/root.h"

namespace hori {
namespace {
constexpr int kMsgOpenFailed = 56;
constexpr int64_t kPlayIntervalUs = 100000;
constexpr int kCloseWaitMs = 200, kCloseSettleMs = 1000;
constexpr char kFolder[] = "Data/KeyRec";
constexpr int kKeyRecPage = 14;

struct Record {
  uint16_t key;
  int16_t step;
};
static_assert(sizeof(Record) == 4, "a key record is two 16-bit words");

void CloseHandle(int* fd, bool flush) {
  if (*fd < 0) return;
  if (flush) {
    fsync(*fd);
    SettingsWaitMs(kCloseWaitMs);
    fsync(*fd);
    SettingsWaitMs(kCloseSettleMs);
  }
  close(*fd);
  *fd = -1;
}

void LeaveListsIfIdle() {
  const Service& s = Svc();
  if (s.recHandle >= 0 || s.playHandle >= 0) return;
  Manager().DelUserTaskProcess(kHoriTaskId);
  if (TaskHori.FuncType == 0) Manager().DelUserTaskDisplay(kHoriTaskId);
}

bool OnKeyRecPage() {
  return Manager().GetTaskCurrId() == kHoriTaskId && M().GetCurrPage() == kKeyRecPage;
}
}  // namespace

void KeyRecClose() {
  CloseHandle(&Svc().recHandle, true);
  SetItem(kKeyRec, 0);
  LeaveListsIfIdle();
}

void KeyPlayClose() {
  CloseHandle(&Svc().playHandle, false);
  SetItem(kKeyPlay, 0);
  LeaveListsIfIdle();
}

void KeyRecProcess() {
  Service& s = Svc();
  if (s.recHandle >= 0) {
    int code = 0, step = 0;
    if (Sys().keyboard->UserGetKey(&code, &step) == 0 && !OnKeyRecPage()) {
      const Record r{uint16_t(code), int16_t(step)};
      if (write(s.recHandle, &r, sizeof r) != ssize_t(sizeof r)) std::printf("KeyRec write failed\n");
    }
  }
  if (s.playHandle < 0) return;
  const int64_t now = plat::MonoUs();
  if (now - s.playLastUs < kPlayIntervalUs) return;
  s.playLastUs = now;
  Record r{};
  if (read(s.playHandle, &r, sizeof r) == ssize_t(sizeof r)) {
    Sys().keyboard->UserSetKey(r.key, r.step, -1);
    return;
  }
  lseek(s.playHandle, 0, SEEK_SET);
  Sys().keyboard->UserSetKey(KEY_NO_KEY, 1, -1);
}
}  // namespace hori

using namespace hori;

int OpenKeyRecFile(KeyRecMode mode, int n) {
  if (n < 0 || n > kKeyFileMax) return -1;
  const std::string folder = plat::MapPath(kFolder);
  mkdir(plat::MapPath("Data").c_str(), 0755);
  mkdir(folder.c_str(), 0755);
  const std::string path = folder + "/KeyRec-" + std::to_string(n);
  const int flags = mode == KeyRecMode::kRead ? O_RDONLY
                    : mode == KeyRecMode::kAppend ? O_WRONLY | O_CREAT | O_APPEND
                                                  : O_WRONLY | O_CREAT | O_TRUNC;
  return open(path.c_str(), flags | O_CLOEXEC, 0644);
}

int OPKeyRecEnable(keypara k) {
  Sys().board->Bee();
  Service& s = Svc();
  if (M().AdjMenuItemPara(k, kKeyRec) == 0) {
    KeyRecClose();
    return 0;
  }
  if (s.recHandle >= 0) return 0;
  if (s.playHandle >= 0) KeyPlayClose();  // one file is either written or played
  s.recHandle = OpenKeyRecFile(Item(kKeyFileMode) == 0 ? KeyRecMode::kAppend : KeyRecMode::kTruncate,
                               Item(kKeyFileSel));
  if (s.recHandle < 0) {
    Message(kMsgOpenFailed);
    SetItem(kKeyRec, 0);
    return 0;
  }
  Manager().AddUserTaskProcess(kHoriTaskId, 0, 0);
  return 0;
}

int OPKeyPlayEnable(keypara k) {
  Service& s = Svc();
  if (M().AdjMenuItemPara(k, kKeyPlay) == 0) {
    KeyPlayClose();
    return 0;
  }
  if (s.playHandle >= 0) return 0;
  if (s.recHandle >= 0) KeyRecClose();
  s.playHandle = OpenKeyRecFile(KeyRecMode::kRead, Item(kKeyFileSel));
  if (s.playHandle < 0) {
    Message(kMsgOpenFailed);
    SetItem(kKeyPlay, 0);
    return 0;
  }
  s.playLastUs = plat::MonoUs();
  Manager().AddUserTaskProcess(kHoriTaskId, 0, 0);
  Manager().AddUserTaskDisplay(kHoriTaskId, 3, 0);
  return 0;
}

int OPKeyRecFileSel(keypara k) {
  int v = Item(kKeyFileSel) + KnobStep(k);
  if (v < 0) v = 1;
  SetItem(kKeyFileSel, uint64_t(std::min(v, kKeyFileMax)));
  return 0;
}

int OPKeyRecFileMode(keypara k) { return M().AdjMenuItemPara(k, kKeyFileMode); }
