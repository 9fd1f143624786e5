// The display raster the simulated FPGA draws from an acquisition.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/sim/sim_acquire.h"

namespace plat {

namespace {
constexpr int kColumns = 700, kRows = 200;
constexpr int kTopCode = 227;  // raster row 0
constexpr int kCentreColumn = 350;
constexpr int kMaxPoints = 32;     // samples looked at per column
constexpr int kInterpPoints = 8;   // points per column while interpolating
constexpr int kLevelBase = 24, kLevelSpan = 103;

// Draws one channel; `draw` false only gathers its maxima and minima.
void DrawChannel(const SimAcquisition& a, int ch, bool draw, uint8_t* raster, uint8_t* max, uint8_t* min) {
  const double spp = a.SamplesPerColumn();
  const bool whole = spp >= 1.0;  // ADC samples; otherwise the signal between them
  const int n = whole ? std::min(kMaxPoints, int(std::ceil(spp))) : kInterpPoints;
  auto address = [&](int x, int j) {
    const double at = double(kRecordCentre) + (double(x - kCentreColumn) + double(j) / n) * spp;
    if (whole) return std::floor(at);
    // Between samples the trace is placed from the trigger crossing itself.
    return double(a.set.triggerAddress) - a.lag + (at - a.set.triggerPoint);
  };
  int hits[256] = {};
  uint8_t hi = 0, lo = 255;
  int prev = a.ScreenCode(ch, address(0, 0));
  for (int x = 0; x < kColumns; ++x) {
    int first = 255, last = 0;
    for (int j = 0; j < n; ++j) {
      const int code = a.ScreenCode(ch, address(x, j));
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
      if (draw && hits[c] > 0 && c > kTopCode - kRows && c <= kTopCode) {
        const int level = std::min(127, kLevelBase + kLevelSpan * hits[c] / n);
        raster[(kTopCode - c) * kColumns + x] = uint8_t(level | ch << 7);
      }
      hits[c] = 0;
    }
  }
  max[ch] = hi;
  min[ch] = lo;
}
}  // namespace

void SimBuildRaster(const SimAcquisition& a, int mask, int activeCh, uint8_t* raster, uint8_t* max,
                    uint8_t* min) {
  std::memset(raster, 0, size_t(kColumns) * kRows);
  const int other = activeCh == 1 ? 0 : 1;
  for (int ch : {other, activeCh})
    if ((mask >> ch) & 1) DrawChannel(a, ch, true, raster, max, min);
}

void SimChannelExtremes(const SimAcquisition& a, int ch, uint8_t* max, uint8_t* min) {
  DrawChannel(a, ch & 1, false, nullptr, max, min);
}

}  // namespace plat
