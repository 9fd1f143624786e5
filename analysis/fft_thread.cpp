#include "analysis/fft_thread.h"

#include "analysis/fft_process.h"
#include "platform/panel.h"
#include "platform/thread.h"

namespace {
// Without a request the worker sleeps; it looks round this often all the same.
constexpr int64_t kIdleLookUs = 1000000;

plat::Wakeup& Wake() {
  static plat::Wakeup w;
  return w;
}
}  // namespace

void FftWakeWorker() { Wake().Notify(); }

// Serves each request as it is posted (FftWakeWorker); ends when the platform
// asks its threads to stop. A served request wakes the main loop, which takes
// the spectrum.
void* FFTCalculationThread(void*) {
  while (Wake().WaitOrStop(kIdleLookUs))
    if (FftServeRequest(FftPara)) plat::NotifyIdle();
  return nullptr;
}
