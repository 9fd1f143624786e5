// The FFT worker thread.
#pragma once

void* FFTCalculationThread(void*);

// Wakes the worker: a request was posted.
void FftWakeWorker();
