// The shown part of the spectrum (start and end bin, or centre and span), the
// scale texts of the FFT view, and their menu items and number keypad.
#pragma once
#include <cstdint>

#include "core/menu/keypara.h"

constexpr int kFftMinSpan = 10;  // bins between start and end

// Bins of the spectrum in force: N/2 values, the last shown bin N/2 - 1.
int FftLastBin();
// Stores start and end (clamped: start >= 0, end <= the last bin, at least
// 10 bins apart); true when nothing had to be clamped. The texts and scale
// values follow; the waterfall and the average restart.
bool FftSetSpan(long start, long end);
// The bin of a frequency: below 0 gives 0, above half the rate the last bin,
// else f / bin width rounded half up.
long FftBinOfHz(double hz);
// Rewrites the FFT block's scale values and texts from the span in force.
void FftSpanTexts();
// The engineering text "%.2lf%sHz" of a frequency.
void FftHzText(double hz, char* out, int size, const char* unit = "Hz");

// The knob and keys of the frequency items: start/end (tracking), centre/span.
int AdjFFTFreq(keypara k, int item);
// The number keypad of a frequency item (kind 0 start, 1 end, 2 centre,
// 3 span); 1 while it stays open.
int AdjFFTFreqNumKb(keypara k, short kind);
// The numeric keypad of the frequency items is open.
bool FftFreqKeypadOpen();
void FftFreqKeypadClose();
// The open keypad (null when closed).
const struct numkeyboard* FftFreqKeypad();

// The seven division labels of the independent view and their unit.
void FFTCalculationDivScale();

int Math_FFT_FreqSel(keypara k);
int Math_FFT_StartFreq(keypara k);
int Math_FFT_EndFreq(keypara k);
int Math_FFT_FreqTracking(keypara k);
int Math_FFT_CenterFreq(keypara k);
int Math_FFT_FreqBw(keypara k);
