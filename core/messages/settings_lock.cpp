#include "core/messages/settings_lock.h"

#include <mutex>

#include "platform/clock.h"

namespace {
std::recursive_mutex& Mutex() {
  static std::recursive_mutex* m = new std::recursive_mutex;  // never destroyed: threads may outlive exit
  return *m;
}
thread_local int t_depth = 0;  // this thread's holds
}  // namespace

SettingsLock::SettingsLock() {
  Mutex().lock();
  ++t_depth;
}

SettingsLock::~SettingsLock() {
  --t_depth;
  Mutex().unlock();
}

void SettingsWaitMs(int ms) {
  const int held = t_depth;
  for (int i = 0; i < held; ++i) Mutex().unlock();
  t_depth = 0;
  plat::SleepMs(ms);
  for (int i = 0; i < held; ++i) Mutex().lock();
  t_depth = held;
}
