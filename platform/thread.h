// Stoppable threads. Every thread body of the instrument polls StopRequested()
// (or sleeps through SleepOrStop) so a test can start the instrument and end it
// cleanly. A body that throws ends only its own thread.
#pragma once
#include <cstdint>

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

// A thread that must not return (the program's "halt" states) parks here.
void ParkUntilStop();

}  // namespace plat
