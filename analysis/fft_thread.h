// The FFT worker thread.
#pragma once

void* FFTCalculationThread(void*);
