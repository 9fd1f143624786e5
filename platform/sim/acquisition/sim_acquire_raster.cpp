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
constexpr int kStripRows = 60;       // X-Y and zoom: the Y-T strip above
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

// Samples of the screen columns of channel ch in one window: n points a
// column from the window's record address of column x.
struct Columns {
  const SimAcquisition& a;
  SimRasterView::Window win;
  double spp;
  bool whole;  // ADC samples; otherwise the signal between them
  bool ownTrigger;  // multi-scope CH2: its own record, no crossing offset
  int n;
  Columns(const SimAcquisition& acq, int ch, const SimRasterView::Window& w)
      : a(acq),
        win(w),
        spp(w.own ? acq.SamplesPerColumn(ch) : w.spp),
        whole(spp >= 1.0),
        ownTrigger(acq.set.independent && ch == 1),
        n(whole ? std::min(kMaxPoints, int(std::ceil(spp))) : kInterpPoints) {}
  int Count() const { return win.last - win.first + 1; }
  // Every point's address, column by column from the first, and their codes.
  std::vector<double> Addresses() const {
    std::vector<double> at(size_t(Count()) * size_t(n));
    for (int x = win.first; x <= win.last; ++x)
      for (int j = 0; j < n; ++j) at[size_t(x - win.first) * size_t(n) + size_t(j)] = Address(x, j);
    return at;
  }
  double Address(int x, int j) const {
    const double column = win.own ? double(x - kCentreColumn) : double(x - win.first);
    const double at = (win.own ? double(kRecordCentre) : win.origin) + (column + double(j) / n) * spp;
    if (whole) return SimFloor(at);
    if (ownTrigger) return at;
    // Between samples the trace is placed from the trigger crossing itself.
    const double point = win.own ? a.set.triggerPoint : double(a.set.triggerAddress);
    return double(a.set.triggerAddress) - a.lag + (at - point);
  }
};

// The codes of consecutive record addresses from `first`: worked out once
// for zoom's main window, whose columns visit every sample, and read by the
// zoom window wherever it lies within them.
struct CodeRun {
  double first = 0;
  std::vector<uint8_t> codes;
  bool Holds(double address) const { return address >= first && address - first < double(codes.size()); }
};

// The screen codes of a window's points: from the run where it holds them
// all; a dense window with an empty run fills it first. A window's addresses
// ascend, so whole ones spanning as many samples as it has points are
// consecutive: those are copied from the run without being listed.
std::vector<uint8_t> CodesOf(const SimAcquisition& a, int ch, const Columns& cols, CodeRun* run) {
  const size_t count = size_t(cols.Count()) * size_t(cols.n);
  std::vector<uint8_t> codes(count);
  if (run && cols.whole) {
    const double first = cols.Address(cols.win.first, 0), last = cols.Address(cols.win.last, cols.n - 1);
    if (run->codes.empty() && cols.spp <= kMaxPoints) {
      std::vector<double> every(size_t(last - first) + 1);
      for (size_t i = 0; i < every.size(); ++i) every[i] = first + double(i);
      run->first = first;
      run->codes.resize(every.size());
      a.ScreenCodes(ch, every.data(), every.size(), run->codes.data());
    }
    if (run->Holds(first) && run->Holds(last)) {
      const uint8_t* from = run->codes.data();
      if (last - first + 1.0 == double(count)) {
        std::memcpy(codes.data(), from + size_t(first - run->first), count);
      } else {
        const std::vector<double> at = cols.Addresses();
        for (size_t i = 0; i < count; ++i) codes[i] = from[size_t(at[i] - run->first)];
      }
      return codes;
    }
  }
  const std::vector<double> at = cols.Addresses();
  a.ScreenCodes(ch, at.data(), at.size(), codes.data());
  return codes;
}

// The highest and lowest of `n` codes, a lane of kLanes apart at a time
// (fixed-length inner loops the compiler turns into vector instructions).
void CodeRange(const uint8_t* codes, size_t n, uint8_t* most, uint8_t* least) {
  constexpr size_t kLanes = 16;
  uint8_t hi[kLanes] = {}, lo[kLanes];
  std::memset(lo, 0xFF, kLanes);
  size_t i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    uint8_t c[kLanes];
    std::memcpy(c, codes + i, kLanes);
    for (size_t k = 0; k < kLanes; ++k) {
      hi[k] = hi[k] > c[k] ? hi[k] : c[k];
      lo[k] = lo[k] < c[k] ? lo[k] : c[k];
    }
  }
  for (; i < n; ++i) {
    hi[0] = std::max(hi[0], codes[i]);
    lo[0] = std::min(lo[0], codes[i]);
  }
  *most = *std::max_element(hi, hi + kLanes);
  *least = *std::min_element(lo, lo + kLanes);
}

// The codes as the view draws them: rescaled about the pivot and moved.
void MapCodes(const SimRasterView& v, int ch, uint8_t* codes, size_t n) {
  const double g = v.gain[ch], p = v.pivot[ch];
  const int soft = v.soft[ch];
  if (g == 1.0 && soft == 0) return;
  for (size_t i = 0; i < n; ++i) {
    const double c = p + (double(codes[i]) - p) * g + soft;
    codes[i] = uint8_t(std::lround(std::clamp(c, 0.0, 255.0)));
  }
}

// Draws one channel's window into `band`; `draw` false only gathers its
// maxima and minima (of the samples, before any rescale; null `max` and
// `min` gather none). `run`, when given, holds codes the channel's windows share.
void DrawChannel(const SimAcquisition& a, int ch, const SimRasterView& view,
                 const SimRasterView::Window& win, const Band& band, bool draw, uint8_t* raster,
                 uint8_t* max, uint8_t* min, CodeRun* run = nullptr) {
  const Columns cols(a, ch, win);
  const int count = cols.Count();
  int n = cols.n;
  std::vector<uint8_t> codes = CodesOf(a, ch, cols, run);
  if (max && min) CodeRange(codes.data(), codes.size(), &max[ch], &min[ch]);
  if (!draw) return;
  if (view.average && cols.whole && n > 1) {  // one point a column: the mean of its samples
    for (int x = 0; x < count; ++x) {
      int sum = 0;
      for (int j = 0; j < n; ++j) sum += codes[size_t(x) * size_t(n) + size_t(j)];
      codes[size_t(x)] = uint8_t((sum + n / 2) / n);
    }
    n = 1;
    codes.resize(size_t(count));
  }
  MapCodes(view, ch, codes.data(), codes.size());
  // Each point covers its code and those between it and the point before
  // (whose own code that one already counted): a column's hits per code are
  // the running sum of where the covered runs start and end.
  int edges[256 + 1] = {};
  int prev = codes[0];
  for (int i = 0; i < count; ++i) {
    const int x = win.first + i;
    const uint8_t* column = codes.data() + size_t(i) * size_t(n);
    int first = 255, last = 0;
    auto cover = [&](int from, int to, int points) {
      edges[from] += points;
      edges[to + 1] -= points;
      first = std::min(first, from);
      last = std::max(last, to);
    };
    int same = 0;  // points on the code before, counted once it changes
    for (int j = 0; j < n; ++j) {
      const int code = column[j];
      if (code == prev) {
        ++same;
        continue;
      }
      if (same) cover(prev, prev, same);
      same = 0;
      cover(code > prev ? prev + 1 : code, code < prev ? prev - 1 : code, 1);
      prev = code;
    }
    if (same) cover(prev, prev, same);
    int hits = 0;
    for (int c = first; c <= last; ++c) {
      hits += edges[c];
      edges[c] = 0;
      if (hits > 0 && c > kTopCode - kCodes && c <= kTopCode) {
        const int level = std::min(127, kLevelBase + kLevelSpan * hits / n);
        uint8_t& cell = raster[band.Row(c) * kColumns + x];
        cell = uint8_t(std::max<int>(cell & 0x7F, level) | ch << 7);
      }
    }
    edges[last + 1] = 0;
  }
}

// The X-Y square: CH1's code across, CH2's code up, sample by sample over
// the screen window.
void DrawXY(const SimAcquisition& a, uint8_t* raster) {
  const Columns cols(a, 0, SimRasterView::Window{});
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
                    uint8_t* min, const SimRasterView& view) {
  std::memset(raster, 0, size_t(kColumns) * kRows);
  const int other = activeCh == 1 ? 0 : 1;
  for (int ch : {other, activeCh}) {
    if (!((mask >> ch) & 1)) continue;
    CodeRun run;
    DrawChannel(a, ch, view, view.main, view.zoom ? Band{0, kStripRows} : BandOf(a, ch), true, raster,
                max, min, view.zoom ? &run : nullptr);
    if (view.zoom)  // the registers give the main window's extremes
      DrawChannel(a, ch, view, view.zoomed, Band{kStripRows, kRows - kStripRows}, true, raster, nullptr,
                  nullptr, &run);
  }
  if (a.set.xy) DrawXY(a, raster);
}

void SimChannelExtremes(const SimAcquisition& a, int ch, uint8_t* max, uint8_t* min) {
  const SimRasterView own;
  DrawChannel(a, ch & 1, own, own.main, Band{}, false, nullptr, max, min);
}

}  // namespace plat
