// The time base model: moves on a stopped record, the record indicator, the
// interpolated read position and the snapshot of every new acquisition.
#include <algorithm>
#include <cmath>

#include "acquisition/timebase_tables.h"
#include "acquisition/x_system.h"
#include "core/sys_run_info.h"
#include "core/system_resource.h"
#include "core/unit_convert.h"

namespace {
constexpr int kStatusStopped = 4, kStatusSecond = 8;
constexpr int kBarPixels = 192;
constexpr int kMarkerMin = 3, kMarkerMax = 184;

}  // namespace

int x_system::AdjStopMovePos(int ch, int step) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  {
    SemLock lock(sem_);
    HorizontalBlock& h = H(ch);
    const int64_t perStep = Interpolating(ch) ? 1 : std::max<int64_t>(1, int64_t(h.samplesPerPoint));
    int64_t& depth = Status(ch) == kStatusSecond ? h.preTrigSecond : h.preTrigDepth;
    depth += int64_t(step) * perStep;
    h.offsetTime -= step * TimeBaseS[x_system::SafeIndex(h.realTimeBase)] / 50;
    h.stopMovePos = 0;
    resource_->unitConvert->TUnitConvert(h.offsetTime, &h.offsetTimeText);
  }
  return AdjTimeBase(ch, 0);
}

// The stopped re-read and the zoom window come with the zoom views.
int x_system::RequestStopOp(int ch) { return PointerNullCheck() && Block(ch) ? 0 : -1; }
int x_system::RefreshPreTriggerPos(int ch) { return PointerNullCheck() && Block(ch) ? 0 : -1; }
int x_system::AdjZoomTimeBase(int ch, int) { return PointerNullCheck() && Block(ch) ? 0 : -1; }

int x_system::WaveIndicator(int ch) {
  if (!PointerNullCheck() || (ch != 0 && ch != 1)) return -1;
  SemLock lock(sem_);
  HorizontalBlock& h = H(ch);
  const double span = double(h.screenEnd - h.screenStart);
  if (span <= 0) return 0;
  const double scale = span / kBarPixels;
  auto pixel = [&](int64_t address) { return std::lround(double(address - h.screenStart) / scale); };
  long left = std::clamp<long>(pixel(h.displayStart), 0, kBarPixels);
  long right = std::clamp<long>(pixel(h.displayEnd), 0, kBarPixels);
  const int columns = h.lastColumn - h.firstColumn + 1;
  if (Status(ch) == kStatusStopped && columns > 0 && columns < kScreenPoints) {
    const long width = std::max<long>(2, long(columns) * kBarPixels / kScreenPoints);
    left = kBarPixels / 2 - width / 2;
    right = left + width;
  }
  h.indicatorLeft = int16_t(left);
  h.indicatorRight = int16_t(right);
  h.indicatorMiddle = int16_t((left + right) / 2);
  h.indicatorTrigger = int16_t(std::clamp<long>(long(double(h.preTrigDepth - h.screenStart) / scale), kMarkerMin,
                                                kMarkerMax));
  return 0;
}

int x_system::CalcuInsertPosPara(int ch, int64_t offset, double factor, int64_t* start, int64_t* sub) const {
  if (!start || !sub || !Block(ch) || !(factor > 0)) return -1;
  const bool independent = run_ && run_->independentTimeBase == 1;
  const double u = (independent ? 4 : 2) * factor;
  const double d = double(offset) - 5 * factor;
  *start = int64_t(std::trunc(d / u));
  *sub = int64_t(std::trunc(d - double(*start) * u + u));
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
