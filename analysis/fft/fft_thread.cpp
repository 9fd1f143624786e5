#include "analysis/fft/fft_thread.h"

#include "analysis/fft/fft_process.h"
#include "platform/devices/panel.h"
#include "platform/thread.h"

namespace {
// Without a request the worker sleeps; it looks round this often all the same.
constexpr int64_t kIdleLookUs = 1000000;
// While spectra are asked for, it looks at its request flag every 20 ms.
constexpr int64_t kServeEveryUs = 20000;

plat::Wakeup& Wake() {
  static plat::Wakeup w;
  return w;
}
}  // namespace

void FftWakeWorker() { Wake().Notify(); }

// Looks at its request flag every 20 ms while spectra are asked for, and
// sleeps until a request is posted (FftWakeWorker) when none is; ends when the
// platform asks its threads to stop. A served request wakes the main loop,
// which takes the spectrum.
void* FFTCalculationThread(void*) {
  while (Wake().WaitOrStop(kIdleLookUs)) {
    while (FftServeRequest(FftPara)) {
      plat::NotifyIdle();
      if (!plat::SleepOrStop(kServeEveryUs)) return nullptr;
    }
  }
  return nullptr;
}
