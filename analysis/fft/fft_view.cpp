// Intensity maps, the split overview, the spectrum history and the waterfall.
#include "analysis/fft/fft_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

FftViewState FftView;

namespace {
constexpr int kLowCode = 27, kTopCode = 227, kZoomTopCode = 165;
constexpr int kStillIntensity = 200;
constexpr int kIncrement = 100, kDecay = 20, kLargeIncrement = 180, kLargeDecay = 70;
constexpr double kZoomScale = 0.7;
constexpr int kZoomCentre = 97, kCentreCode = 127;
constexpr double kPeakStart = -32760.0;

// Adds `add` to the map bytes of column c between codes a and b (inclusive).
void Segment(uint8_t* map, int c, int a, int b, int add, bool set) {
  if (a > b) std::swap(a, b);
  for (int code = a; code <= b; ++code) {
    uint8_t& px = map[(kFftMapTopCode - code) * kFftColumns + c];
    px = set ? uint8_t(add) : uint8_t(std::min(255, px + add));
  }
}
}  // namespace

void GrayMapping(const float* trace, uint8_t* map, const FftGrayPara& g) {
  const int top = g.zoomed ? kZoomTopCode : kTopCode;
  auto code = [&](float v) {
    if (!g.zoomed) return int(v);
    return int((g.p5 - kCentreCode) * kZoomScale) + kZoomCentre + int((v - g.p5) * kZoomScale);
  };
  // Code 227 would be row -1: the map's top row is code 226.
  const int high = std::min(top, kFftMapTopCode);
  for (int c = 1; c < kFftColumns; ++c) {
    const int hi = code(trace[c]), lo = code(trace[kFftColumns + c]);
    if ((hi > top && lo > top) || (hi < kLowCode && lo < kLowCode)) continue;
    if (g.stopped)
      Segment(map, c, std::clamp(hi, kLowCode, kFftMapTopCode),
              std::clamp(lo, kLowCode + 1, kFftMapTopCode), kStillIntensity, true);
    else
      Segment(map, c, std::clamp(hi, kLowCode, high), std::clamp(lo, kLowCode, high),
              g.largeN ? kLargeIncrement : kIncrement, false);
  }
  if (g.stopped) return;
  const int decay = g.largeN ? kLargeDecay : kDecay;
  for (int i = 0; i < kFftMapBytes; ++i) map[i] = uint8_t(std::max(0, map[i] - decay));
}

void FftOverviewTrace(const float* bins, int nbins, const FftScale& scale, float out[kFftTraceValues]) {
  std::fill(out, out + kFftTraceValues, 0.0f);
  if (!bins || nbins < 1) return;
  const int q = nbins / kFftOverviewColumns, rem = nbins % kFftOverviewColumns;
  int bin = 0;
  for (int c = 0; c < kFftOverviewColumns; ++c) {
    const int n = c < rem ? q + 1 : q;
    double peak = kPeakStart;
    for (int i = 0; i < n && bin < nbins; ++i, ++bin) peak = std::max(peak, double(bins[bin]));
    const double y = n ? scale.Code(peak) : kFftCodeLow;
    out[c] = float(!(y > kFftCodeLow) ? kFftCodeLow : std::min<double>(y, kFftCodeHigh));
  }
  for (int c = 0; c < kFftOverviewColumns; ++c)
    out[kFftColumns + c] = out[std::min(c + 1, kFftOverviewColumns - 1)];
}

void ClearFFTWaterFall() {
  std::memset(FftView.waterfall, 0, sizeof FftView.waterfall);
  FftView.current = FftView.newest = FftView.total = 0;
  FftView.full = false;
  std::fill(std::begin(FftView.historyValues), std::end(FftView.historyValues), 0);
  std::snprintf(FftView.label, sizeof FftView.label, "FFT Cnt: %d", 0);
}

void ClearStopFFTGrayScale() {
  std::memset(FftView.mainMap, 0, sizeof FftView.mainMap);
  std::memset(FftView.overviewMap, 0, sizeof FftView.overviewMap);
}

int FftWaterfallNextRow() { return FftView.total ? (FftView.newest + 1) % kFftMapRows : 0; }

void FftHistoryStore(int row, const float* bins, int nbins) {
  if (row < 0 || row >= kFftMapRows || !bins || nbins < 1 || nbins > kFftHistoryRowValues) return;
  if (FftView.history.empty()) FftView.history.resize(size_t(kFftMapRows) * kFftHistoryRowValues);
  std::copy(bins, bins + nbins, FftView.history.begin() + std::ptrdiff_t(row) * kFftHistoryRowValues);
  FftView.historyValues[row] = nbins;
}

const float* FftHistoryRow(int row, int* nbins) {
  if (row < 0 || row >= kFftMapRows || FftView.history.empty() || !FftView.historyValues[row])
    return nullptr;
  if (nbins) *nbins = FftView.historyValues[row];
  return FftView.history.data() + size_t(row) * kFftHistoryRowValues;
}

void WaterFall(int mode, const float* trace, bool running) {
  float line[kFftColumns];
  const int n = mode == 3 ? kFftOverviewColumns : kFftColumns;
  for (int i = 0; i < n; ++i) line[i] = mode == 3 ? std::max(trace[2 * i], trace[2 * i + 1]) : trace[i];
  const auto [lo, hi] = std::minmax_element(line, line + n);
  const double min = *lo, range = double(*hi) - min;
  const int row = running ? FftWaterfallNextRow() : FftView.current;
  uint8_t* out = FftView.waterfall + row * kFftColumns;
  std::memset(out, 0, kFftColumns);
  for (int i = 0; i < n; ++i) {
    // A flat line (all at one code) has no range: it lies at the bottom.
    const double v = range > 0 ? (line[i] - min) * 256.0 / range : 1.0;
    out[i] = uint8_t(v < 1 ? 1 : v > 255 ? 255 : int(v));
  }
  if (running) {
    FftView.newest = FftView.current = row;
    if (row == kFftMapRows - 1) FftView.full = true;
    if (FftView.total <= kFftWaterfallCntMax) ++FftView.total;
  }
  if (FftView.total > kFftWaterfallCntMax)
    std::snprintf(FftView.label, sizeof FftView.label, "FFT Cnt > %d", kFftWaterfallCntMax);
  else
    std::snprintf(FftView.label, sizeof FftView.label, "FFT Cnt: %d", FftView.total);
}

int SetCurrRecPos(int pos) {
  if (pos < 0 || pos >= kFftMapRows) return -1;
  FftView.current = ((FftView.newest - pos) % kFftMapRows + kFftMapRows) % kFftMapRows;
  std::printf("1 SetCurrRecPos : %d  CntLoop = %d \n", FftView.current, int(FftView.full));
  return FftView.current;
}

int GetWaterFallCnt() { return FftView.total; }
