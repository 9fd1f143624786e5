#include "analysis/fft_thread.h"

#include "analysis/fft_process.h"
#include "platform/thread.h"

// Polls the request record every 20 ms and serves a waiting request; ends
// when the platform asks its threads to stop.
void* FFTCalculationThread(void*) {
  while (plat::SleepOrStop(20000)) FftServeRequest(FftPara);
  return nullptr;
}
