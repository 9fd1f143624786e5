#include "analysis/fft_thread.h"

#include "platform/thread.h"

// The spectrum computation is not built yet: the worker only polls its
// request flag every 20 ms, so start-up and shutdown behave as they will.
void* FFTCalculationThread(void*) {
  while (plat::SleepOrStop(20000)) {
  }
  return nullptr;
}
