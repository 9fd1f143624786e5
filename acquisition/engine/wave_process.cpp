// Per-pass processing of the waveform engine: each channel read becomes its
// 700-column trace (column maxima, then minima), mapped to the screen's
// vertical settings. Interpolated time bases go through the 100-fold
// sin(x)/x kernel and are placed on the trigger crossing to a fraction of a
// sample; a stopped record is re-read for the window the knobs moved to.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "acquisition/tables/voltage_tables.h"
#include "acquisition/engine/wave.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"

namespace {
constexpr int kUserProbe = 7;
constexpr int kInterpPoints = 100;     // interpolated points per sample
constexpr int kSincTimeBases = 26;     // below this index (or not in auto): sin(x)/x
constexpr int kNeighbourSamples = 20;  // trigger neighbourhood read
constexpr int kNeighbourWork = 2000;   // its interpolation, cleared first
constexpr int kTgStart = 70, kTgLength = 1500;
constexpr int kNotFound = 50;
constexpr int kReadMargin = 40;        // samples read beyond the window
constexpr int kUsedMargin = 10;        // of which interpolated and kept
constexpr int kLineTenths = 10;        // linear interpolation of fractional steps
constexpr int kLineColumns = 710;      // columns' worth interpolated linearly
constexpr int kNextLow = 11, kNextHigh = 250;  // a real-time column's next sample
constexpr int kCodeLow = 1, kCodeHigh = 254;
constexpr int kRollGap = 4;
constexpr int kEntriesPerColumn = 10;  // of a read with a step of a tenth of the column
constexpr int kStepOne = 16;           // read step: samples x 16, tenths in the low 4 bits
constexpr int kRefBits = 0xF00;        // sources 8..11 switched on

uint8_t Clamp(double v) { return uint8_t(std::lround(std::min(254.0, std::max(1.0, v)))); }
bool InCode(int v) { return v >= kCodeLow && v <= kCodeHigh; }
bool UsableNext(int v) { return v >= kNextLow && v <= kNextHigh; }
}  // namespace

_wave::TraceMap _wave::MapOf(int ch) const {
  const VerticalBlock& v = Run()->vertical[ch];
  TraceMap m;
  m.from = v.positionSelected;
  m.to = v.position;
  GetWaveInvertPara(ch, &m.sign, &m.offset);
  const bool valid = v.vdivSelected < kVoltageEntries && v.vdivIndex < kVoltageEntries;
  if (valid && v.vernierOn && v.vdivVolts > 0) {
    const double ratio = v.probe == kUserProbe ? v.customProbeRatio : v.probeRatio;
    if (ratio > 0) m.gain = Voltage[v.vdivSelected] * ratio / v.vdivVolts;
  } else if (valid && Voltage[v.vdivIndex] > 0) {
    m.gain = double(Voltage[v.vdivSelected]) / Voltage[v.vdivIndex];
  }
  return m;
}

void _wave::PutColumn(uint8_t* t, const TraceMap& m, int x, int hi, int lo) const {
  const uint8_t p = Clamp(m(hi)), q = Clamp(m(lo));
  t[x] = std::max(p, q);
  t[kColumns + x] = std::min(p, q);
}

// The column's mean on the trace's scale: what averaging takes, as the
// column's samples stand rather than their extremes; and on the record's own
// scale, for measurements, its mean and the samples' variance and mean
// distance from 0 V, which the RMS and area of a noisy record need (the
// means alone smooth the noise away).
void _wave::PutMean(int ch, const TraceMap& m, int x, const ColumnSum& c) {
  if (ch < 0 || ch > 1 || c.n <= 0) return;
  const double mean = c.sum / c.n;
  colMean_[ch][x] = float(std::min(double(kCodeHigh), std::max(double(kCodeLow), mean * m.gain + m.to)));
  recMean_[ch][x] = float(std::max(0.0, mean + m.from));
  colVariance_[ch][x] = float(std::max(0.0, c.squares / c.n - mean * mean));
  colDistance_[ch][x] = float(c.distance / c.n);
}

// The interpolated window: the trigger channel finds the crossing in its
// neighbourhood, every channel's read is interpolated x 100 and copied from
// the point that puts the crossing on its column; c points make a column.
void _wave::BuildInterpolated(int ch, const TraceMap& m, int first, int last) {
  const _SysRunInfo* run = Run();
  const HorizontalBlock& h = run->horizontal[Block(ch)];
  const double factor = h.interpFactor > 0 ? h.interpFactor : 1.0;
  const int w = int(kColumns / factor);  // window samples
  // With the zoom on, the trace is the zoom window: its own points per
  // sample (the main factor over the zoom factor) make a column, from the
  // zoom window's first main-screen column on.
  const bool zoomed = run->timeBaseType == 1 && h.zoomFactor > 0 && h.zoomFactor < 1;
  const double own = zoomed ? factor / h.zoomFactor : factor;
  const int c = std::max(1, int(kInterpPoints / own));  // points per column
  const int64_t zoomFirst = zoomed ? std::clamp<int64_t>(h.zoomScreenFirst, 0, kColumns) : 0;
  const int skip = int(zoomFirst) * std::max(1, int(kInterpPoints / factor));
  uint8_t* out = interp_[ch];
  int valid = 0;  // interpolated points that hold data
  const int avail = std::max(0, std::min(readPoints_[ch], kSlotBytes) - oddStart_);
  if (h.timeBase < kSincTimeBases || run->trigMode != 0) {
    if (ch == run->trigSource) {
      std::memset(out, 0, kNeighbourWork);
      SinxKenerl100(out, neighbour_[ch], kNeighbourSamples);
      tgFound_ = GetTGPoint(0, ch, out, kTgStart, 1.0, kTgLength, &tgPos_) == 0;
    }
    const int n = std::min(w + kReadMargin, avail);
    const int made = SinxKenerl100(shared_, screen_[ch] + oddStart_, n);
    // The read began at a whole sample; the window starts readResidue_ later.
    const int shift = int(std::lround(readResidue_[ch] * kInterpPoints));
    const int from = tgFound_ ? std::max(0, tgPos_ + shift) : kNotFound;
    const int used = std::max(0, std::min({(w + kUsedMargin) * kInterpPoints, made - from, kInterpBytes}));
    std::memcpy(out, shared_ + from, size_t(used));
    valid = used;
  } else {
    std::printf("LineInsert 100...");
    valid = LineInsert(out, screen_[ch] + oddStart_, kInterpPoints, std::min({2 * w, avail, kInterpBytes / kInterpPoints}));
  }
  // Columns of c points from point `from` on; the means go to channel meanCh's
  // (none for the overview).
  auto columns = [&](uint8_t* t, int from, int c, int first, int last, int meanCh) {
    for (int x = first; x <= last; ++x) {
      const int a = from + x * c;
      if (a + c >= valid) break;  // the columns past the data stay empty
      int hi = out[a], lo = out[a];
      for (int k = 1; k < c; ++k) {
        hi = std::max<int>(hi, out[a + k]);
        lo = std::min<int>(lo, out[a + k]);
      }
      if (InCode(out[a + c])) {
        hi = std::max<int>(hi, out[a + c]);
        lo = std::min<int>(lo, out[a + c]);
      }
      // A sample or less a column: the curve between its samples, whose middle
      // the interpolation's ripple leaves where the samples put it.
      ColumnSum point;
      point.Add((m.FromZero(hi) + m.FromZero(lo)) / 2);
      PutMean(meanCh, m, x, point);
      PutColumn(t, m, x, hi, lo);
    }
  };
  columns(trace_[ch], skip, c, first, last, ch);
  // The read is the main window: with the zoom shown it is the overview too.
  if (zoomed) columns(overview_[ch], 0, std::max(1, int(kInterpPoints / factor)), 0, kColumns - 1, -1);
}

// The real-time window: s samples a column (s entries of the read, or 10 s
// tenths of a linear interpolation when s is fractional); in roll the record
// runs from the roll write index round the 7000 samples. With the zoom shown
// the read is the zoom window's, and the main window's read makes the
// overview.
void _wave::BuildRealTime(int ch, const TraceMap& m, int first, int last) {
  const bool roll = Run()->acqStatus[0] == kAcqSlowScan || waveType_ == 3;
  const int count = roll ? kRecordPoints : std::max(0, std::min(readPoints_[ch], kRecordPoints));
  BuildColumns(screen_[ch], readSpp_[ch], count, interp_[ch], trace_[ch], m, first, last, ch);
  if (Run()->timeBaseType == 1 && !roll && overviewSpp_[ch] > 0)
    BuildColumns(overviewRead_[ch], overviewSpp_[ch], std::min(overviewPoints_[ch], kRecordPoints), interp_[ch],
                 overview_[ch], m, 0, kColumns - 1, -1);
}

void _wave::BuildColumns(const uint8_t* rec, double s, int count, uint8_t* work, uint8_t* t, const TraceMap& m,
                         int first, int last, int meanCh) {
  if (!(s > 0) || count <= 0) return;
  const bool roll = Run()->acqStatus[0] == kAcqSlowScan || waveType_ == 3;
  const bool whole = s == std::floor(s);
  const uint8_t* src = rec;
  int per = int(s), points = count;
  if (!whole) {  // linear x 10 of 710 columns' worth, whole(10 s) points a column
    const int n = std::min({count, int(kLineColumns * s), kInterpBytes / kLineTenths});
    points = LineInsert(work, rec, kLineTenths, n);
    src = work;
    per = int(std::floor(kLineTenths * s));
  }
  if (per <= 0) return;
  auto value = [&](int j) { return int(roll ? src[(rollIndex_ + j) % kRecordPoints] : src[j]); };
  int firstFilled = -1;
  for (int x = first; x <= last; ++x) {
    const int base = (x - first) * per;
    int hi = -1, lo = 256;
    ColumnSum sum;
    for (int k = 0; k < per && base + k < points; ++k) {
      const int c = value(base + k);
      if (roll && c == 0) continue;  // not written yet
      hi = std::max(hi, c);
      lo = std::min(lo, c);
      sum.Add(m.FromZero(c));
    }
    if (hi < 0) continue;
    const int next = base + per;
    if (next < points && UsableNext(value(next))) {  // the line on to the next column
      hi = std::max(hi, value(next));
      lo = std::min(lo, value(next));
      sum.Add(m.FromZero(value(next)));
    }
    PutMean(meanCh, m, x, sum);
    if (firstFilled < 0) firstFilled = x;
    PutColumn(t, m, x, hi, lo);
  }
  if (roll && !rollLooped_ && firstFilled >= 0) {  // the moving gap
    for (int x = std::max(0, firstFilled - 1); x < std::min(kColumns, firstFilled - 1 + kRollGap); ++x) {
      t[x] = t[kColumns + x] = 0;
      if (meanCh == 0 || meanCh == 1) colMean_[meanCh][x] = recMean_[meanCh][x] = -1.0f;
    }
  }
}

int _wave::BuildTrace(int ch) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const bool zoom = Run()->timeBaseType == 1;
  const HorizontalBlock& h = Run()->horizontal[zoom ? 0 : Block(ch)];
  const TraceMap m = MapOf(ch);
  std::memset(trace_[ch], 0, kTraceBytes);
  std::memset(overview_[ch], 0, kTraceBytes);
  if (ch == 0 || ch == 1) {
    std::fill(colMean_[ch], colMean_[ch] + kColumns, -1.0f);
    std::fill(recMean_[ch], recMean_[ch] + kColumns, -1.0f);
  }
  int first = h.firstColumn, last = h.lastColumn;
  if (zoom || first < 0 || last >= kColumns || last < first) first = 0, last = kColumns - 1;
  if (h.interpMultiplier > 1.0f) BuildInterpolated(ch, m, first, last);
  else BuildRealTime(ch, m, first, last);
  return 0;
}

// --- stopped records ---

bool _wave::StoppedView(int ch) const {
  const HorizontalBlock& h = Run()->horizontal[Block(ch)];
  const int64_t key[4] = {h.displayStart, h.displayEnd, int64_t(h.firstColumn) << 16 | h.lastColumn,
                          Status() == kAcqKnobApplying ? h.preTrigSecond : h.preTrigDepth};
  return std::equal(key, key + 4, viewKey_[ch]);
}

void _wave::RecordView(int ch) {
  const HorizontalBlock& h = Run()->horizontal[Block(ch)];
  int64_t* k = viewKey_[ch];
  k[0] = h.displayStart;
  k[1] = h.displayEnd;
  k[2] = int64_t(h.firstColumn) << 16 | h.lastColumn;
  k[3] = Status() == kAcqKnobApplying ? h.preTrigSecond : h.preTrigDepth;
}

// Re-reads a stopped channel's screen read from the kept record for the
// display range in force: from the first column that gets data, k = the
// range's samples per column (10 entries a column from 10 samples on).
// Interpolated views and the roll record keep what was read.
int _wave::ReReadStopped(int ch) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const HorizontalBlock& h = Run()->horizontal[Block(ch)];
  const int copy = Status() == kAcqKnobApplying ? 1 : 0;
  if (h.interpMultiplier > 1.0f || waveType_ == 3 || h.acqScreenEnd[copy] <= h.acqScreenStart[copy]) return -1;
  const double k = double(h.displayEnd - h.displayStart) / kColumns;
  if (!(k > 0)) return -1;
  int first = h.firstColumn, last = h.lastColumn;
  if (first < 0 || last >= kColumns || last < first) first = 0, last = kColumns - 1;
  const int64_t depth = h.acqPreTrig[copy];
  const int64_t base = depth >= h.acqScreenStart[copy] ? depth : h.acqScreenStart[copy];
  const int64_t start = std::llround(double(h.displayStart) + first * k) - base;
  double per = k, step = 1.0;
  if (k >= kEntriesPerColumn) {
    per = kEntriesPerColumn;
    step = k / kEntriesPerColumn;
  }
  const long tenths = std::lround(step * 10);
  const uint32_t stepWord = uint32_t(tenths / 10) * kStepOne + uint32_t(tenths % 10);
  const int points = std::min(kRecordPoints, int(std::ceil(per * (last - first + 1))) + 1);
  Arm(ch + 1, int32_t(std::clamp<int64_t>(start, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())),
      stepWord);
  readSpp_[ch] = per;
  readPoints_[ch] = points;
  return Drain(ch, screen_[ch], points, false);
}

// --- the pass ---

int _wave::WaveProcessSyncDDRDepth() {
  _SysRunInfo* run = Run();
  if (!run) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const int src = run->trigSource == 1 ? 1 : 0;
  const bool kept = KeptRecordStatus(Status());
  tgFound_ = false;
  tgPos_ = kNotFound;
  const int read = ready_;
  for (int ch : {src, 1 - src}) {
    const int bit = 1 << ch;
    if (!(run->sourceOn & bit) || !((run->sourceOnSnapshot | read) & bit)) continue;
    const bool moved = kept && run->timeBaseType != 1 && !StoppedView(ch);
    if (moved) ReReadStopped(ch);
    BuildTrace(ch);
    RecordView(ch);
    // One frame per acquisition read; a stopped view that did not move keeps
    // the average it showed.
    if (!moved) AverageTrace(ch, !kept && (read & bit));
  }
  if (pfTemplateRequested_) CreatePassFailTemplate();
  if (!kept && pfOn_) PassFailCompare();
  newRead_ = 0;
  return 0;
}

int _wave::WaveProcess() {
  const _SysRunInfo* run = Run();
  if (run->sourceOn & kRefBits) WaveProcessDSO7K();
  if (!newRead_ && KeptRecordStatus(Status())) {
    // A stopped record whose window moved is drawn again.
    for (int ch = 0; ch < 2; ++ch)
      if ((run->sourceOn & run->sourceOnSnapshot & (1 << ch)) && !StoppedView(ch)) newRead_ = 1;
  }
  if (!newRead_) return 0;
  return WaveProcessSyncDDRDepth();
}
