// Per-pass processing of the waveform engine, in its first form: each channel
// read this pass becomes its 700-column trace (column maxima and minima of
// the screen read, mapped to the screen's vertical settings). Interpolated
// time bases are filled linearly; sin(x)/x interpolation, sub-sample trigger
// alignment, stored-record rendering, pass/fail and averaging come later.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "acquisition/voltage_tables.h"
#include "acquisition/wave.h"
#include "core/ids.h"
#include "core/sys_run_info.h"

namespace {
constexpr int kInterpMargin = 14;  // samples read ahead of an interpolated window
constexpr int kNextLow = 11, kNextHigh = 250;

struct Mapping {
  int sign, offset;
  double gain;
  int from, to;  // selected and in-force position
};

uint8_t Clamp(double v) { return uint8_t(std::lround(std::min(254.0, std::max(1.0, v)))); }
bool UsableNext(int v) { return v >= kNextLow && v <= kNextHigh; }
}  // namespace

int _wave::BuildTrace(int ch) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const _SysRunInfo* run = Run();
  const VerticalBlock& v = run->vertical[ch];
  const HorizontalBlock& h = run->horizontal[Block(ch)];
  Mapping m{1, 0, 1.0, v.positionSelected, v.position};
  GetWaveInvertPara(ch, &m.sign, &m.offset);
  if (v.vdivSelected < kVoltageEntries && v.vdivIndex < kVoltageEntries && Voltage[v.vdivIndex] > 0)
    m.gain = double(Voltage[v.vdivSelected]) / Voltage[v.vdivIndex];
  auto map = [&](int sample) { return ((sample * m.sign + m.offset) - m.from) * m.gain + m.to; };

  uint8_t* t = trace_[ch];
  std::memset(t, 0, kTraceBytes);
  int first = h.firstColumn, last = h.lastColumn;
  if (first < 0 || last >= kColumns || last <= first) first = 0, last = kColumns - 1;
  auto put = [&](int x, int a, int b) {
    const uint8_t p = Clamp(map(a)), q = Clamp(map(b));
    t[x] = std::max(p, q);
    t[kColumns + x] = std::min(p, q);
  };
  const uint8_t* rec = screen_[ch];

  if (h.interpMultiplier > 1.0f) {  // linear fill of the interpolated window
    const double w = h.interpFactor > 0 ? kColumns / double(h.interpFactor) : kColumns;
    const int base = kInterpMargin + oddStart_;
    auto at = [&](double u) {
      const int i = std::min(int(u), kSlotBytes - 2 - base);
      const double f = u - i;
      return int(std::lround(rec[base + i] + (rec[base + i + 1] - rec[base + i]) * f));
    };
    for (int x = first; x <= last; ++x) put(x, at(x * w / kColumns), at((x + 1) * w / kColumns));
    return 0;
  }

  const double s = readSpp_[ch];
  if (!(s > 0)) return -1;
  const bool roll = run->acqStatus[0] == kAcqSlowScan || waveType_ == 3;
  const int count = roll ? kRecordPoints : std::max(0, std::min(pointsToRead_, kRecordPoints));
  auto sample = [&](int i) { return roll ? rec[(rollIndex_ + i) % kRecordPoints] : rec[std::min(i, count - 1)]; };
  if (count == 0) return -1;
  const bool whole = s == std::floor(s);
  const int per = whole ? int(s) : int(std::floor(10 * s));  // samples (or tenths) per column
  auto value = [&](int j) {  // point j of the column grid
    if (whole) return int(sample(j));
    const int i = j / 10, f = j % 10;
    return int(std::lround(sample(i) + (sample(i + 1) - sample(i)) * f / 10.0));
  };
  const int points = whole ? count : 10 * count;
  int firstFilled = -1;
  for (int x = first; x <= last; ++x) {
    int hi = -1, lo = 256;
    for (int k = 0; k < per; ++k) {
      const int j = x * per + k;
      if (j >= points) break;
      const int c = value(j);
      if (roll && c == 0) continue;  // not written yet
      hi = std::max(hi, c);
      lo = std::min(lo, c);
    }
    const int next = (x + 1) * per;
    if (hi >= 0 && next < points && UsableNext(value(next))) {
      hi = std::max(hi, value(next));
      lo = std::min(lo, value(next));
    }
    if (hi < 0) continue;
    if (firstFilled < 0) firstFilled = x;
    put(x, hi, lo);
  }
  if (roll && !rollLooped_ && firstFilled >= 0) {  // the moving gap
    for (int x = std::max(0, firstFilled - 1); x < std::min(kColumns, firstFilled + 3); ++x)
      t[x] = t[kColumns + x] = 0;
  }
  return 0;
}

int _wave::WaveProcess() {
  if (!newRead_) return 0;
  const _SysRunInfo* run = Run();
  const int src = run->trigSource == 1 ? 1 : 0;
  const int read = ready_;
  for (int ch : {src, 1 - src})
    if ((run->sourceOn & (1 << ch)) && (read & (1 << ch))) BuildTrace(ch);
  newRead_ = 0;
  return 0;
}
