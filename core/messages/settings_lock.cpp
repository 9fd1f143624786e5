#include "core/messages/settings_lock.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/clock.h"

namespace {
// A recursive ticket lock: each thread that asks takes the next ticket and
// is served when its number comes.
struct TicketLock {
  std::mutex mu;
  std::condition_variable served;
  uint64_t next = 0, serving = 0;
  int waiting = 0;
};

TicketLock& Lock() {
  static TicketLock* lock = new TicketLock;  // never destroyed: threads may outlive exit
  return *lock;
}

thread_local int t_depth = 0;  // this thread's holds
thread_local int t_keep = 0;   // SettingsKeep scopes open on this thread
thread_local int t_gathered = -1;  // the longest wait gathered, -1 when not gathering

void Take() {
  TicketLock& l = Lock();
  std::unique_lock<std::mutex> guard(l.mu);
  const uint64_t ticket = l.next++;
  ++l.waiting;
  l.served.wait(guard, [&] { return l.serving == ticket; });
  --l.waiting;
}

void Give() {
  TicketLock& l = Lock();
  {
    std::lock_guard<std::mutex> guard(l.mu);
    ++l.serving;
  }
  l.served.notify_all();
}
}  // namespace

SettingsLock::SettingsLock() {
  if (t_depth++ == 0) Take();
}

SettingsLock::~SettingsLock() {
  if (--t_depth == 0) Give();
}

SettingsLetGo::SettingsLetGo() : held_(t_keep > 0 ? 0 : t_depth) {
  if (held_ == 0) return;
  t_depth = 0;
  Give();
}

SettingsLetGo::~SettingsLetGo() {
  if (held_ == 0) return;
  Take();
  t_depth = held_;
}

SettingsKeep::SettingsKeep() { ++t_keep; }
SettingsKeep::~SettingsKeep() { --t_keep; }

void SettingsWaitMs(int ms) {
  if (t_gathered >= 0) {
    if (ms > t_gathered) t_gathered = ms;
    return;
  }
  SettingsLetGo letGo;
  plat::SleepMs(ms);
}

SettingsWaitsGathered::SettingsWaitsGathered() : outer_(t_gathered) {
  ++t_keep;
  if (t_gathered < 0) t_gathered = 0;
}

SettingsWaitsGathered::~SettingsWaitsGathered() {
  if (!open_) return;
  --t_keep;
  if (outer_ < 0) t_gathered = -1;
}

void SettingsWaitsGathered::Settle() {
  if (!open_) return;
  open_ = false;
  --t_keep;
  if (outer_ >= 0) return;  // the outer scope settles
  const int longest = t_gathered;
  t_gathered = -1;
  if (longest > 0) SettingsWaitMs(longest);
}

int SettingsLockWaiters() {
  TicketLock& l = Lock();
  std::lock_guard<std::mutex> guard(l.mu);
  return l.waiting;
}
