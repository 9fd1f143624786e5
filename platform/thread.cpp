#include "platform/thread.h"

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace plat {
namespace {
std::atomic<bool> g_stop{false};
struct State {
  std::mutex mu;
  std::condition_variable cv;
  std::vector<pthread_t> threads;
  std::vector<Wakeup*> wakeups;  // ended by a stop too
};
State& St() {
  static State s;  // built on first use
  return s;
}

struct Start {
  std::string name;
  ThreadBody body;
  void* arg;
};

void* Trampoline(void* p) {
  Start* s = static_cast<Start*>(p);
  // The system's name of the thread (15 characters at most), for ps and top.
  pthread_setname_np(pthread_self(), s->name.substr(0, 15).c_str());
  try {
    s->body(s->arg);
  } catch (const std::exception& e) {
    std::printf("thread %s ended on an error: %s\n", s->name.c_str(), e.what());
  } catch (...) {
    std::printf("thread %s ended on an error\n", s->name.c_str());
  }
  delete s;
  return nullptr;
}
}  // namespace

int StartThread(const char* name, ThreadBody body, void* arg) {
  auto* s = new Start{name ? name : "", body, arg};
  pthread_t t;
  int rc = pthread_create(&t, nullptr, Trampoline, s);
  if (rc != 0) {
    delete s;
    return rc;
  }
  std::lock_guard<std::mutex> lock(St().mu);
  St().threads.push_back(t);
  return 0;
}

bool StopRequested() { return g_stop.load(std::memory_order_relaxed); }

void RequestStop() {
  {
    std::lock_guard<std::mutex> lock(St().mu);
    g_stop = true;
    for (Wakeup* w : St().wakeups) {
      std::lock_guard<std::mutex> own(w->mu_);
      w->notified_ = true;
      w->cv_.notify_all();
    }
  }
  St().cv.notify_all();
}

Wakeup::Wakeup() {
  std::lock_guard<std::mutex> lock(St().mu);
  St().wakeups.push_back(this);
}

Wakeup::~Wakeup() {
  std::lock_guard<std::mutex> lock(St().mu);
  auto& all = St().wakeups;
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i] == this) {
      all.erase(all.begin() + long(i));
      break;
    }
}

void Wakeup::Notify() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    notified_ = true;
  }
  cv_.notify_all();
}

bool Wakeup::WaitOrStop(int64_t us) {
  if (SleepIsVirtual()) {
    SleepUs(us);
    return !StopRequested();
  }
  std::unique_lock<std::mutex> lock(mu_);
  cv_.wait_for(lock, std::chrono::microseconds(us), [this] { return notified_ || g_stop.load(); });
  notified_ = false;
  return !g_stop.load();
}

void JoinAllThreads() {
  std::vector<pthread_t> ts;
  {
    std::lock_guard<std::mutex> lock(St().mu);
    ts.swap(St().threads);
  }
  for (pthread_t t : ts) pthread_join(t, nullptr);
}

void ResetStop() { g_stop = false; }

bool SleepOrStop(int64_t us) {
  if (SleepIsVirtual()) {
    SleepUs(us);
    return !StopRequested();
  }
  std::unique_lock<std::mutex> lock(St().mu);
  St().cv.wait_for(lock, std::chrono::microseconds(us), [] { return g_stop.load(); });
  return !g_stop.load();
}

void ParkUntilStop() {
  while (!StopRequested()) {
    std::unique_lock<std::mutex> lock(St().mu);
    St().cv.wait_for(lock, std::chrono::milliseconds(100), [] { return g_stop.load(); });
  }
}

}  // namespace plat
