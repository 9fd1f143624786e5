// Stoppable threads. Every thread body of the instrument polls StopRequested()
// (or sleeps through SleepOrStop) so a test can start the instrument and end it
// cleanly. A body that throws ends only its own thread.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace plat {

using ThreadBody = void* (*)(void*);

// Starts a joinable thread; returns 0 or an error number, like pthread_create.
int StartThread(const char* name, ThreadBody body, void* arg);

bool StopRequested();
void RequestStop();          // asks every thread to end and wakes sleepers
void JoinAllThreads();       // waits for every thread StartThread made
void ResetStop();            // for a new run in the same process (tests)

// Sleeps `us` microseconds or until a stop is requested; false when stopping.
bool SleepOrStop(int64_t us);

// A thread's wake-up: it sleeps until another thread has something for it
// (Notify), a time-out runs out or a stop is requested, instead of polling.
// A Notify that comes while the thread is busy ends its next wait at once.
class Wakeup {
 public:
  Wakeup();
  ~Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;
  void Notify();
  // Waits up to `us` microseconds for a Notify; false when stopping.
  bool WaitOrStop(int64_t us);

 private:
  friend void RequestStop();
  std::mutex mu_;
  std::condition_variable cv_;
  bool notified_ = false;
};

// A thread that must not return (the program's "halt" states) parks here.
void ParkUntilStop();

}  // namespace plat
