// The display raster the simulated FPGA draws from an acquisition.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/sim/acquisition/sim_acquire.h"

namespace plat {

namespace {
constexpr int kColumns = 700, kRows = 200;
constexpr int kTopCode = 227;  // raster row 0
constexpr int kCentreColumn = 350;
constexpr int kMaxPoints = 32;     // samples looked at per column
constexpr int kInterpPoints = 8;   // points per column while interpolating
constexpr int kLevelBase = 24, kLevelSpan = 103;

constexpr int kCodes = 200;          // codes 28..227 fill the grid's height
constexpr int kStripRows = 60;       // X-Y: the Y-T strip above the square
constexpr int kSquareCells = 140;    // X-Y: cells per side of the square
constexpr int kSquareColumnStep = 5; // X-Y: raster columns per cell column
constexpr int kSplitRows = 100;      // split multi-scope: rows of each channel

// Where a channel's codes land: `rows` raster rows from row `top` for the
// 200 codes of the grid.
struct Band {
  int top = 0, rows = kRows;
  int Row(int code) const { return top + (kTopCode - code) * rows / kCodes; }
};

Band BandOf(const SimAcquisition& a, int ch) {
  if (a.set.xy) return Band{0, kStripRows};
  if (a.set.independent && a.set.split) return Band{ch * kSplitRows, kSplitRows};
  return Band{};
}

// Samples of one screen column x of channel ch: n points from its address.
struct Columns {
  const SimAcquisition& a;
  double spp;
  bool whole;  // ADC samples; otherwise the signal between them
  bool ownTrigger;  // multi-scope CH2: its own record, no crossing offset
  int n;
  Columns(const SimAcquisition& acq, int ch)
      : a(acq),
        spp(acq.SamplesPerColumn(ch)),
        whole(spp >= 1.0),
        ownTrigger(acq.set.independent && ch == 1),
        n(whole ? std::min(kMaxPoints, int(std::ceil(spp))) : kInterpPoints) {}
  // Every point's address, column by column, and their codes.
  std::vector<double> Addresses() const {
    std::vector<double> at(size_t(kColumns) * size_t(n));
    for (int x = 0; x < kColumns; ++x)
      for (int j = 0; j < n; ++j) at[size_t(x) * size_t(n) + size_t(j)] = Address(x, j);
    return at;
  }
  double Address(int x, int j) const {
    const double at = double(kRecordCentre) + (double(x - kCentreColumn) + double(j) / n) * spp;
    if (whole) return SimFloor(at);
    if (ownTrigger) return at;
    // Between samples the trace is placed from the trigger crossing itself.
    return double(a.set.triggerAddress) - a.lag + (at - a.set.triggerPoint);
  }
};

// Draws one channel; `draw` false only gathers its maxima and minima.
void DrawChannel(const SimAcquisition& a, int ch, bool draw, uint8_t* raster, uint8_t* max, uint8_t* min) {
  const Columns cols(a, ch);
  const int n = cols.n;
  const std::vector<double> at = cols.Addresses();
  std::vector<uint8_t> codes(at.size());
  a.ScreenCodes(ch, at.data(), at.size(), codes.data());
  const Band band = BandOf(a, ch);
  int hits[256] = {};
  uint8_t hi = 0, lo = 255;
  int prev = codes[0];
  for (int x = 0; x < kColumns; ++x) {
    int first = 255, last = 0;
    for (int j = 0; j < n; ++j) {
      const int code = codes[size_t(x) * size_t(n) + size_t(j)];
      hi = uint8_t(std::max<int>(hi, code));
      lo = uint8_t(std::min<int>(lo, code));
      // The point and the codes between it and the point before (whose own
      // cell that one already counted).
      const int from = code > prev ? prev + 1 : code, to = code < prev ? prev - 1 : code;
      for (int c = from; c <= to; ++c) ++hits[c];
      first = std::min(first, from);
      last = std::max(last, to);
      prev = code;
    }
    for (int c = first; c <= last; ++c) {
      if (draw && hits[c] > 0 && c > kTopCode - kCodes && c <= kTopCode) {
        const int level = std::min(127, kLevelBase + kLevelSpan * hits[c] / n);
        uint8_t& cell = raster[band.Row(c) * kColumns + x];
        cell = uint8_t(std::max<int>(cell & 0x7F, level) | ch << 7);
      }
      hits[c] = 0;
    }
  }
  max[ch] = hi;
  min[ch] = lo;
}

// The X-Y square: CH1's code across, CH2's code up, sample by sample over
// the screen window.
void DrawXY(const SimAcquisition& a, uint8_t* raster) {
  const Columns cols(a, 0);
  std::vector<int> hits(size_t(kSquareCells) * kSquareCells, 0);
  int most = 1;
  const std::vector<double> at = cols.Addresses();
  std::vector<uint8_t> one(at.size()), two(at.size());
  a.Codes(0, at.data(), at.size(), one.data());
  a.Codes(1, at.data(), at.size(), two.data());
  for (size_t i = 0; i < at.size(); ++i) {
    const int cx = (one[i] - (kTopCode - kCodes)) * kSquareCells / (kCodes + 1);
    const int cy = (kTopCode - two[i]) * kSquareCells / (kCodes + 1);
    if (cx < 0 || cx >= kSquareCells || cy < 0 || cy >= kSquareCells) continue;
    most = std::max(most, ++hits[size_t(cy) * kSquareCells + size_t(cx)]);
  }
  for (int cy = 0; cy < kSquareCells; ++cy)
    for (int cx = 0; cx < kSquareCells; ++cx) {
      const int h = hits[size_t(cy) * kSquareCells + size_t(cx)];
      if (h) raster[(kStripRows + cy) * kColumns + cx * kSquareColumnStep] =
          uint8_t(std::min(127, kLevelBase + kLevelSpan * h / most));
    }
}
}  // namespace

void SimBuildRaster(const SimAcquisition& a, int mask, int activeCh, uint8_t* raster, uint8_t* max,
                    uint8_t* min) {
  std::memset(raster, 0, size_t(kColumns) * kRows);
  const int other = activeCh == 1 ? 0 : 1;
  for (int ch : {other, activeCh})
    if ((mask >> ch) & 1) DrawChannel(a, ch, true, raster, max, min);
  if (a.set.xy) DrawXY(a, raster);
}

void SimChannelExtremes(const SimAcquisition& a, int ch, uint8_t* max, uint8_t* min) {
  DrawChannel(a, ch & 1, false, nullptr, max, min);
}

}  // namespace plat
