// The time base model: the record indicator, the guidance check of the
// screen against the record, the interpolated read position and the snapshot
// of every new acquisition.
#include <algorithm>
#include <cmath>

#include "acquisition/models/x_system.h"
#include "acquisition/models/x_system_internal.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

using namespace xsys;

namespace {
constexpr int kBarPixels = 192;
constexpr int kMarkerMin = 3, kMarkerMax = 184;
constexpr int kGuidancePullBack = 4;
}  // namespace

int x_system::WaveIndicator(int ch) {
  if (!PointerNullCheck() || (ch != 0 && ch != 1)) return -1;
  SemLock lock(sem_);
  HorizontalBlock& h = H(ch);
  // The bar stands for the record: the stored one while stopped.
  int64_t windowStart = h.screenStart, windowEnd = h.screenEnd, trigger = h.preTrigDepth;
  if (Kept(ch)) {
    const StopView v = StopViewOf(ch);
    windowStart = v.recStart, windowEnd = v.recEnd, trigger = v.acqDepth;
  }
  const double span = double(windowEnd - windowStart);
  if (!(span > 0)) return 0;
  const double scale = span / kBarPixels;
  auto pixel = [&](double address, double lo, double hi) {
    return long(std::clamp(std::round((address - double(windowStart)) / scale), lo, hi));
  };
  long left = pixel(double(h.displayStart), 0, kBarPixels);
  long right = pixel(double(h.displayEnd), 0, kBarPixels);
  const int screen = xHoriPointsSel == 0 ? kHalfScreen : kScreenPoints;
  const int columns = h.lastColumn - h.firstColumn + 1;
  if (Status(ch) == kAcqStopped && columns > 0 && columns < screen) {
    // A record narrower than the screen: a bar of its share, centred.
    const long width = std::max<long>(2, long(columns) * kBarPixels / screen);
    left = kBarPixels / 2 - width / 2;
    right = left + width;
  }
  h.indicatorLeft = int16_t(left);
  h.indicatorRight = int16_t(right);
  h.indicatorMiddle = int16_t((left + right) / 2);
  h.indicatorTrigger = int16_t(pixel(double(trigger), kMarkerMin, kMarkerMax));
  return 0;
}

int x_system::GuidanceWorkStatus(int ch, int mode) {
  if (!PointerNullCheck() || (ch != 0 && ch != 1)) return -1;
  SemLock lock(sem_);
  HorizontalBlock& h = H(ch);
  if (run_->timeBaseType == 1) {
    // The zoom window slides inside the record window and is held at its
    // ends, so an end is reached once the window touches it.
    const int64_t span = h.zoomVisibleEnd - h.zoomVisibleStart;
    if (h.recordEnd - h.recordStart < span) return 1;
    if (h.zoomVisibleEnd >= h.recordEnd) return 2;
    if (h.zoomVisibleStart <= h.recordStart) return 3;
    return 0;
  }
  int64_t windowStart = h.screenStart, windowEnd = h.screenEnd;
  if (Kept(ch)) {
    const StopView v = StopViewOf(ch);
    windowStart = v.recStart, windowEnd = v.recEnd;
  }
  const int64_t span = h.displayEnd - h.displayStart;
  if (windowEnd - windowStart < span) return 1;  // the record is shorter than the screen
  const int64_t right = h.displayEnd - windowEnd, left = windowStart - h.displayStart;
  if (right > span / 2) {
    h.stopMovePos = mode == kGuidancePullBack ? h.stopMovePos - right : span / 2;
    return 2;
  }
  if (left > span / 2) {
    h.stopMovePos = mode == kGuidancePullBack ? h.stopMovePos + left : -(span / 2);
    return 3;
  }
  return 0;
}

int x_system::CalcuInsertPosPara(int ch, int64_t offset, double factor, int64_t* start, int64_t* sub) const {
  if (!start || !sub || !Block(ch) || !(factor > 0)) return -1;
  const bool independent = run_ && run_->independentTimeBase == 1;
  const double u = (independent ? 4 : 2) * factor;
  const double d = double(offset) - 5 * factor;
  *start = ToInt64(std::trunc(d / u));
  *sub = ToInt64(std::trunc(std::trunc(d - double(*start) * u) + u));
  return 0;
}

int x_system::XParaSyncRefresh(int ch) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  const bool independent = run_->independentTimeBase == 1;
  SemLock lock(sem_);
  for (int b = 0; b < 2; ++b) {
    HorizontalBlock& h = H(b);
    const HorizontalBlock& from = H(independent ? b : ch);
    h.timeBase = from.realTimeBase;
    for (int copy = 0; copy < 2; ++copy) {
      h.acqOffsetTime[copy] = from.offsetTime;
      h.acqPreTrig[copy] = from.preTrigDepth;
      h.acqScreenStart[copy] = from.screenStart;
      h.acqScreenEnd[copy] = from.screenEnd;
      h.acqSamplesPerPoint[copy] = from.samplesPerPoint;
    }
    h.firstColumn = 0;
    h.lastColumn = kScreenPoints - 1;
    h.stopMovePos = 0;
  }
  return 0;
}
