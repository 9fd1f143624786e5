// Time for the instrument: a monotonic clock, the wall clock and sleeps.
// Tests may switch to a virtual clock: sleeps on the thread that switched it
// then advance time at once instead of waiting, so time-outs and intervals
// run without delay. Other threads keep sleeping for real.
#pragma once
#include <cstdint>

namespace plat {

int64_t MonoUs();                      // monotonic microseconds
void WallTime(int32_t* sec, int32_t* usec);  // wall clock, as the board's 32-bit timeval
void SetWallTime(int64_t sec);         // the simulated RTC (in place of date/hwclock)
void SleepUs(int64_t us);
inline void SleepMs(int64_t ms) { SleepUs(ms * 1000); }

void UseVirtualClock(bool on);         // for tests; the calling thread drives it
bool VirtualClock();
bool SleepIsVirtual();                 // virtual clock and this thread drives it
void AdvanceUs(int64_t us);
// For tests that drive the virtual clock alone: held, it stops following real
// time and moves only by the driving thread's sleeps and AdvanceUs, so the
// time a loaded machine takes between two steps of a test is not counted.
// Threads that wait on the clock then wait until the test advances it.
void HoldVirtualClock(bool on);

}  // namespace plat
