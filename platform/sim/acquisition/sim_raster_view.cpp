// The view the display raster shows an acquisition with, decoded from the
// display words: the time-base decode gives the windows (the same decode
// the reads of the record are served from), the vertical words the rescale.
#include <algorithm>
#include <iterator>

#include "platform/sim/acquisition/sim_acquire.h"
#include "platform/sim/fpga/sim_decode_timebase.h"
#include "platform/sim/fpga/sim_decode_words.h"

namespace plat {

namespace {
constexpr int kLastColumn = 699;
constexpr int kAverageMode = 3;
constexpr uint32_t kOneSample = 16;  // a step word of one sample
constexpr int kPositionWord = 212;
constexpr int kFineGainWord[2] = {214, 216};
constexpr int kSoftOffsetWord[2] = {218, 220};
constexpr int kXyFormat = 1;

// A step word: samples x 16, tenths in the low 4 bits.
double Step(uint32_t w) { return double(w >> 4) + double(w & 15) / 10.0; }

// Fine gain 0x0100 = 1.0 (1.0 before the first is written).
double FineGain(uint16_t g) { return g ? double(g >> 8) + double(g & 0xFF) / 255.0 : 1.0; }

// Interpolating, a window start of (start, sub) at `ratio` screen points a
// sample lies 2 x start + 3 + sub / ratio samples past the read base.
double InterpStart(int32_t start, int sub, double ratio) { return 2.0 * start + 3.0 + double(sub) / ratio; }

// Samples a column of an interpolated zoom window, 0 when it is not
// interpolated. Word 238 holds only the whole zoom points a sample; the
// factor of word 242 is exact: over an interpolated main trace it is the
// main points a zoom point (a main point being word 240's time of 1-ns
// samples), otherwise the samples a zoom point.
double ZoomInterpSamplesPerColumn(const SimTimebaseSettings& t) {
  if (!t.zoomInterpolating) return 0;
  if (t.zoomFactor > 0) {
    if (!t.interpolating) return t.zoomFactor;
    if (t.columnTimeNs > 0) return t.zoomFactor * t.columnTimeNs / t.samplePeriodNs;
  }
  return t.zoomInterpRatio > 0 ? 1.0 / t.zoomInterpRatio : 0;
}

// Samples a column of the main window while it is interpolated (word 232),
// 0 when it is not: word 240's column time in samples; word 236 holds only
// the whole screen points a sample, the view's step when 240 is not written.
double MainInterpSamplesPerColumn(const SimTimebaseSettings& t) {
  if (!t.interpolating) return 0;
  if (t.columnTimeNs > 0) return t.columnTimeNs / t.samplePeriodNs;
  return t.interpRatio > 0 ? 1.0 / t.interpRatio : 0;
}

SimRasterView::Window Columns(double origin, double spp, int first, int last) {
  SimRasterView::Window w;
  w.own = false;
  w.origin = origin;
  w.spp = spp > 0 ? spp : 1.0;
  w.first = std::clamp(first, 0, kLastColumn);
  w.last = std::clamp(last, w.first, kLastColumn);
  return w;
}
}  // namespace

bool SimRasterViewWordsSame(const uint16_t* a, const uint16_t* b) {
  // Every word SimRasterViewOf decodes, through the time-base decode or here.
  static constexpr uint16_t kViewWords[] = {40,  120, 130, 132, 134, 136, 138, 140, 142, 144, 146,
                                            152, 154, 156, 158, 164, 166, 168, 178, 212, 214, 216,
                                            218, 220, 232, 234, 236, 238, 240, 242, 244, 246};
  return std::all_of(std::begin(kViewWords), std::end(kViewWords),
                     [&](uint16_t n) { return a[n] == b[n]; });
}

SimRasterView SimRasterViewOf(const SimAcquisition& a, const uint16_t* now, const uint16_t* made) {
  SimRasterView v;
  if (a.set.independent || a.set.roll) return v;  // each channel on its own time base: its own windows
  const SimTimebaseSettings t = SimDecodeTimebaseWords(now), t0 = SimDecodeTimebaseWords(made);
  const double base = double(a.ReadBase(0));
  const bool moved = t.readStart != t0.readStart || t.writeStep != t0.writeStep ||
                     t.firstColumn != t0.firstColumn || t.lastColumn != t0.lastColumn ||
                     t.subSample != t0.subSample || t.interpRatio != t0.interpRatio ||
                     t.interpolating != t0.interpolating || t.columnTimeNs != t0.columnTimeNs;
  if (moved) {
    const double spp = MainInterpSamplesPerColumn(t);
    if (spp > 0)
      v.main = Columns(base + InterpStart(t.readStart, t.subSample, 1.0 / spp), spp, t.firstColumn,
                       t.lastColumn);
    else
      v.main = Columns(base + t.readStart, Step(t.writeStep), t.firstColumn, t.lastColumn);
  }
  v.zoom = t.windowRead && t.formatWord != kXyFormat && !a.set.xy;
  if (v.zoom) {
    const double spp = ZoomInterpSamplesPerColumn(t);
    if (spp > 0)
      v.zoomed = Columns(base + InterpStart(t.zoomReadStart, t.zoomSubSample, 1.0 / spp), spp,
                         t.zoomFirstColumn, t.zoomLastColumn);
    else  // one of the two steps is the zoom column, the other one sample
      v.zoomed = Columns(base + t.zoomReadStart, Step(t.zoomMainStep) * Step(t.zoomStep),
                         t.zoomFirstColumn, t.zoomLastColumn);
  }
  v.average = t.acqMode == kAverageMode && t.averageStep > kOneSample;
  const SimWordTable w{now}, w0{made};
  for (int ch = 0; ch < 2; ++ch) {
    v.gain[ch] = FineGain(w.Word(kFineGainWord[ch])) / FineGain(w0.Word(kFineGainWord[ch]));
    v.pivot[ch] = double(w.Word(kPositionWord) >> (8 * ch) & 0xFF);
    v.soft[ch] = int16_t(w.Word(kSoftOffsetWord[ch])) - int16_t(w0.Word(kSoftOffsetWord[ch]));
  }
  return v;
}

}  // namespace plat
