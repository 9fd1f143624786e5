// The trigger crossing in an interpolated stretch of samples, which places
// interpolated traces to a fraction of a sample.
#include <algorithm>
#include <cmath>

#include "acquisition/engine/wave.h"
#include "acquisition/models/trig_system.h"
#include "core/state/sys_run_info.h"

namespace {
constexpr int kNotFound = 50;     // where a trace goes without a crossing
constexpr int kAutoStatus = 1;    // acquired in auto without a trigger
constexpr int kRisingSkip = 11;   // points skipped once below the level
constexpr int kRising = 0, kFalling = 1, kEither = 2;
constexpr int kAlternate = 1;     // mode: "either" alternates between calls

// Rising: past the samples at or above the level, 11 more, then on while
// below; the crossing is the last point below. Bounded by len.
int Rising(const uint8_t* buf, int i, int len, int level) {
  while (i < len && buf[i] >= level) ++i;
  i += kRisingSkip;
  while (i < len && buf[i] < level) ++i;
  return i - 1;
}

int Falling(const uint8_t* buf, int i, int len, int level) {
  while (i < len && buf[i] <= level) ++i;
  while (i < len && buf[i] > level) ++i;
  return i - 1;
}
}  // namespace

int _wave::GetTGPoint(int mode, int src, const uint8_t* buf, int start, double scale, int len, int* pos) {
  if (!pos) return -1;
  *pos = kNotFound;
  const _SysRunInfo* run = Run();
  if (!buf || len <= 0) return -1;
  if (run->independentTimeBase != 1 && (src == 0 || src == 1) && run->acqStatus[src] == kAutoStatus) return -1;
  int slope = run->slope;
  if (slope == kEither && mode == kAlternate) slope = tgToggle_ ^= 1;
  const int source = std::clamp<int>(run->trigSource, 0, kTrigLevelSources - 1);
  // The comparator's level: the second for the single-level types (the one
  // the level knob and TRIGger:LEVel set).
  const int level =
      run->levelBlock[source].level[trig_system::ComparatorLevel(run->trigType, run->slope)].value8;
  const double s = std::floor(double(start) * scale);
  const int from = s > 0 ? int(std::min<double>(s, len)) : 0;
  int at;
  if (slope == kRising) {
    at = Rising(buf, from, len, level);
  } else if (slope == kFalling) {
    at = Falling(buf, from, len, level);
  } else {  // either: whichever comes first
    at = std::min(Rising(buf, from, len, level), Falling(buf, from, len, level));
  }
  if (at >= len - 1) return -1;
  *pos = at;
  return 0;
}
