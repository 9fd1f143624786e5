// Stored 7000-sample records (references, and channels with the independent
// time base) drawn again at the time base and trigger position in force:
// squeezed into column maxima and minima, or stretched through the 100-fold
// sin(x)/x kernel when the view holds fewer samples than columns.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "acquisition/tables/timebase_tables.h"
#include "acquisition/engine/wave.h"
#include "core/state/sys_run_info.h"

namespace {
constexpr int kFirstRef = 8, kLastRef = 11;
constexpr int kInterpIndex = 8;          // records taken below it are 1 GSa/s samples
constexpr double kAdcPeriodS = 1e-9;
constexpr int kEntriesPerColumn = 10;    // a record read at a tenth of a column
constexpr int kPointsPerDivision = 50;
constexpr int kHalfScreen = 350;
constexpr double kPositionLimit = 1e6;   // samples or columns a stored time may put a position at
constexpr int kInterpPoints = 100;
constexpr int kKernelLead = 5;           // interpolated point 0 stands 5 samples in
constexpr int kTapMargin = 6;
constexpr int kNeighbourBefore = 14, kNeighbourSamples = 20;
constexpr int kTgLength = 1000;
constexpr int kCodeLow = 1, kCodeHigh = 254;

bool InCode(int v) { return v >= kCodeLow && v <= kCodeHigh; }
}  // namespace

// The record's trigger entry to a fraction of a sample: the crossing found in
// its 20-sample neighbourhood, kept when it lies within a sample of where the
// record says the trigger is.
int _wave::RenderStored(int src) {
  const _SysRunInfo* run = Run();
  const HorizontalBlock& h = run->horizontal[src];
  const uint8_t* rec = raw_[src];
  uint8_t* t = trace_[src];
  const int acq = std::clamp<int>(h.timeBase, 0, kTimeBaseEntries - 1);
  const int now = std::clamp<int>(h.realTimeBase, 0, kTimeBaseEntries - 1);
  const double column = TimeBaseS[now] / kPointsPerDivision;  // seconds per column in force
  const double acqColumn = TimeBaseS[acq] / kPointsPerDivision;
  const double spp = h.acqSamplesPerPoint[0] > 0 ? h.acqSamplesPerPoint[0] : kEntriesPerColumn;
  const double entry = acq < kInterpIndex ? kAdcPeriodS : acqColumn / std::min<double>(kEntriesPerColumn, spp);
  const double q = column / entry;  // entries per column in force
  // A stored record's times may hold anything: positions are kept finite and
  // within reach of an int.
  auto bounded = [](double v, double fallback) { return std::isfinite(v) ? std::clamp(v, -kPositionLimit, kPositionLimit) : fallback; };
  double trig = bounded(kRecordPoints / 2 - h.acqOffsetTime[0] / entry, kRecordPoints / 2);
  const int near = int(std::floor(trig));
  if (near - kNeighbourBefore >= 0 && near - kNeighbourBefore + kNeighbourSamples <= kRecordPoints) {
    uint8_t* work = interp_[src];
    std::memset(work, 0, 2 * kTgLength);
    SinxKenerl100(work, rec + near - kNeighbourBefore, kNeighbourSamples);
    int at = 0;
    if (GetTGPoint(0, src, work, 0, 1.0, kTgLength, &at) == 0) {
      const double found = near - kNeighbourBefore + kKernelLead + (at + 0.5) / kInterpPoints;
      if (std::fabs(found - trig) <= 1.0) trig = found;
    }
  }
  const double trigColumn = bounded(kHalfScreen - h.offsetTime / column, kHalfScreen);
  auto at = [&](double x) { return trig + (x - trigColumn) * q; };  // record position of a column edge
  const TraceMap m = MapOf(src);
  std::memset(t, 0, kTraceBytes);

  if (q >= 1.0) {
    for (int x = 0; x < kColumns - 1; ++x) {
      const double a = std::ceil(at(x)), b = std::ceil(at(x + 1));
      if (a < 0 || b > kRecordPoints || b <= a) continue;  // outside the record
      int hi = -1, lo = 256;
      for (int i = int(a); i < int(b); ++i) {
        hi = std::max<int>(hi, rec[i]);
        lo = std::min<int>(lo, rec[i]);
      }
      if (int(b) < kRecordPoints && InCode(rec[int(b)])) {
        hi = std::max<int>(hi, rec[int(b)]);
        lo = std::min<int>(lo, rec[int(b)]);
      }
      PutColumn(t, m, x, hi, lo);
    }
    return 0;
  }
  // Stretched: the samples under the window, interpolated x 100.
  const int e0 = std::max(0, int(std::floor(at(0))) - kTapMargin);
  const int e1 = std::min(kRecordPoints, int(std::ceil(at(kColumns))) + kTapMargin);
  const int n = std::min(e1 - e0, kInterpBytes / kInterpPoints);
  uint8_t* work = interp_[src];
  const int made = SinxKenerl100(work, rec + e0, n);
  auto point = [&](double pos) { return int(std::ceil((pos - e0 - kKernelLead) * kInterpPoints - 0.5)); };
  for (int x = 0; x < kColumns - 1; ++x) {
    const int a = point(at(x)), b = std::max(a + 1, point(at(x + 1)));
    if (a < 0 || b > made) continue;
    int hi = work[a], lo = work[a];
    for (int k = a + 1; k < b; ++k) {
      hi = std::max<int>(hi, work[k]);
      lo = std::min<int>(lo, work[k]);
    }
    if (b < made && InCode(work[b])) {
      hi = std::max<int>(hi, work[b]);
      lo = std::min<int>(lo, work[b]);
    }
    PutColumn(t, m, x, hi, lo);
  }
  return 0;
}

// The trigger channel, the other channel (both only with the independent
// time base), then references 8..11.
int _wave::WaveProcessDSO7K() {
  const _SysRunInfo* run = Run();
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const int first = run->trigSource == 1 ? 1 : 0;
  const int order[] = {first, 1 - first, 8, 9, 10, 11};
  int drawn = 0;
  for (int src : order) {
    if (!(run->sourceOn & (1 << src))) continue;
    if (src < kFirstRef && run->independentTimeBase != 1) continue;
    if (src > kLastRef) continue;
    RenderStored(src);
    ++drawn;
  }
  return drawn ? 0 : -1;
}
