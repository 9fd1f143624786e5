// The FFT of the math channel: the window, the magnitude spectrum of one
// record (FFTW, single precision), the reduction of a bin range to screen
// columns by the four detectors, and the request record the main loop and
// the FFT worker share.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

constexpr int kFftMaxPoints = 1048576;
constexpr int kFftTraceValues = 1400;
constexpr int kFftColumns = 700;
constexpr int kFftDetectors = 4;  // positive peak, negative peak, sample, average
constexpr int kFftCodeLow = 5, kFftCodeHigh = 250;
constexpr int kFftCodesPerDiv = 25;

enum FftWindow : int { kFftHamming = 0, kFftBlackman = 1, kFftRectangular = 2, kFftHann = 3 };
enum FftDetector : int { kFftPosPeak = 0, kFftNegPeak = 1, kFftSample = 2, kFftAverage = 3 };

// Fills w[0..n) with window `type`; 0, or -1 for n < 1 or n above the
// largest record (w untouched). Another type gives the rectangular window.
int FftWinCalculation(int type, int n, float* w);

// 256 |X[k] / n| for k = 1 .. n/2 - 1 of x[i] = (s[i] - offset) / 256 w[i] 2.7,
// and for k = 0 that over sqrt 2, so the scale (FftScale) reads the DC bin
// as the offset itself and the others as a sine's rms value; `out` holds
// n/2 values (the Nyquist bin n/2 is not among them). 0, or -1 when FFTW's
// buffers can not be had.
int FftSpectrum(const uint8_t* s, int offset, const float* w, int n, float* out);

// Screen scale of a spectrum value x (FftSpectrum's magnitude, in source
// codes): its rms volts v = x k gain, then code p5 + v r in Vrms and
// p5 + 20 log10(v) r in dBVrms. `gain` takes out the input gain of 2.7, the
// window's coherent gain and the peak-to-rms factor (FftWindowGain), so a
// sine reads its own rms value, and an offset its own value in the DC bin,
// whichever window is chosen.
struct FftScale {
  int p5 = 127;
  double k = 1.0;     // source volts per code
  double gain = 1.0;  // rms volts per (x k)
  double r = 1.0;     // screen codes per volt (Vrms) or per dB: 25 / V(math)
  bool db = false;
  double Code(double x) const;
};

// rms volts per (x k) of a sine through window w[0..n): sqrt(2) over the
// input gain 2.7 and the window's mean; 1 for an empty or zero window.
double FftWindowGain(const float* w, int n);

// The columns of bins S..E (E > S) by the detectors of `mask` (bit d:
// detector d) into traces[d] (700 upper values, then the lower half one
// column behind), clamped to 5..250. A span shorter than `columns` is first
// stretched linearly. `raw`, when given, takes the same upper values
// unclamped: the readings of the marks come from them, not from the screen.
void FftDetect(const float* bins, int nbins, int S, int E, int columns, const FftScale& scale, unsigned mask,
               float traces[kFftDetectors][kFftTraceValues], float (*raw)[kFftColumns] = nullptr);

// The request record shared by the main loop and the worker. `flags`: bit 0
// a request waits, bit 1 a result is ready, bit 2 drop the result in flight.
// Flags change only under `lock`; the worker clears bit 0 and sets bit 1 in
// one step, so the main side never sees an idle record while a result is
// still being written.
struct FFT_Para {
  std::mutex lock;
  std::mutex serving;  // one server at a time works on a request
  uint32_t flags = 0;
  int points = 0;
  // The request: samples, window and offset, written by the main side only
  // while no request waits; the result: n/2 magnitudes.
  std::vector<uint8_t> samples;
  std::vector<float> window;
  int offset = 127;
  std::vector<float> result;
  // Counts the drops asked for (kFftDiscard raised): a request built from
  // settings read before a drop is stale.
  uint32_t discards = 0;
};
enum : uint32_t { kFftRequest = 1, kFftDone = 2, kFftDiscard = 4 };

extern FFT_Para FftPara;

// One pass of the worker: serves a waiting request; true when it did.
bool FftServeRequest(FFT_Para& p);
