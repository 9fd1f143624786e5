// What the spectrum view keeps between frames: the intensity maps of the
// main trace and of the split overview, the spectrum history of the last 200
// frames and the waterfall drawn from it.
#pragma once
#include <cstdint>
#include <vector>

#include "analysis/fft/fft_process.h"

constexpr int kFftMapRows = 200;
constexpr int kFftMapBytes = kFftColumns * kFftMapRows;
constexpr int kFftMapTopCode = 226;  // map row 0
constexpr int kFftOverviewColumns = 350;
constexpr int kFftHistoryRowValues = 32768;  // a spectrum of up to 64K points
constexpr int kFftWaterfallCntMax = 100000;

// How a trace is added to an intensity map.
struct FftGrayPara {
  bool zoomed = false;   // time-base type 1: the map is squeezed into the zoom area
  bool stopped = false;  // a still frame: the segments at one intensity, no decay
  bool largeN = false;   // more than 16K points: stronger increments and decay
  int p5 = 127;          // math channel position code
};

// Adds the 1400-value trace (upper then lower codes) to a 700 x 200 map,
// row = 226 - code; running, every lit byte then decays.
void GrayMapping(const float* trace, uint8_t* map, const FftGrayPara& g);

// The whole half-spectrum in 350 columns (the first nbins % 350 columns take
// one bin more), each the code of its largest bin; lower half one column on.
void FftOverviewTrace(const float* bins, int nbins, const FftScale& scale, float out[kFftTraceValues]);

// The view's state: one instance, on the main loop.
struct FftViewState {
  uint8_t mainMap[kFftMapBytes] = {};
  uint8_t overviewMap[kFftMapBytes] = {};
  float overviewTrace[kFftTraceValues] = {};
  uint8_t waterfall[kFftMapBytes] = {};
  // The waterfall ring: `newest` the row written last, `current` the row
  // shown (a chosen slice while stopped), `total` frames since the clear.
  int current = 0, newest = 0, total = 0;
  bool full = false;
  char label[24] = "FFT Cnt: 0";
  // Spectra of the waterfall's rows (only for spectra of at most 32768
  // values; allocated when first used).
  std::vector<float> history;
  int historyValues[kFftMapRows] = {};
  // The last spectrum taken, recomputed on keys while stopped.
  std::vector<float> last;
};
extern FftViewState FftView;

// Clears the waterfall map and its ring.
void ClearFFTWaterFall();
// Clears the two intensity maps (still frames start from black).
void ClearStopFFTGrayScale();
// The row the next running frame writes.
int FftWaterfallNextRow();
// Keeps `bins` as the spectrum of waterfall row `row` (nothing for a
// spectrum longer than a row).
void FftHistoryStore(int row, const float* bins, int nbins);
// The spectrum of a waterfall row, or null when none is kept.
const float* FftHistoryRow(int row, int* nbins);
// One waterfall line from the main trace (mode 3: 350 values, each the
// larger of two columns; mode 4: 700); the ring moves only while running.
void WaterFall(int mode, const float* mainTrace, bool running);
// The shown row is `pos` rows before the newest (0..199), else -1.
int SetCurrRecPos(int pos);
int GetWaterFallCnt();
