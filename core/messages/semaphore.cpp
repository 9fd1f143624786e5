#include "core/messages/semaphore.h"

#include <cerrno>
#include <cstdio>

#include "platform/ipc.h"

semaphore Sem(kSharedSemKey);

namespace {
// One operation, retried while a signal interrupts it.
bool Op(int id, int delta) {
  for (;;) {
    errno = 0;
    if (plat::SemOp(id, delta)) return true;
    if (errno != EINTR) return false;
  }
}
}  // namespace

semaphore::semaphore(int key) : key_(key), id_(plat::SemGet(key)) {
  std::printf("SEM_ID = %d \n", id_);
  if (id_ < 0) {
    std::printf("Semget is Fail\n");
    return;
  }
  if (!plat::SemSetValue(id_, 1)) std::printf("semctl SETVAL = 1 is fail\n");
}

int semaphore::semaphore_p() {
  if (!Op(id_, -1)) {
    std::printf("semaphore_p failed/n");
    return 0;
  }
  return 1;
}

int semaphore::semaphore_v() {
  if (!Op(id_, 1)) {
    std::printf("semaphore_v failed/n");
    return 0;
  }
  return 1;
}

int semaphore::del_semvalue() {
  if (!plat::SemRemove(id_)) {
    std::printf("Failed to delete semaphore/n");
    return 0;
  }
  return 1;
}
