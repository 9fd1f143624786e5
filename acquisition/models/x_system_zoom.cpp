// The time base model: the zoom window, a second and faster time base shown
// over a part of block 0's record, and the words that read it.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "acquisition/tables/timebase_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/word_list.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/x_system_internal.h"
#include "core/state/ids.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

using namespace xsys;

namespace {
constexpr int kAverage = 3;
constexpr int kLargeStep = 5;        // larger zoom-position steps move twice as far
constexpr int kStepMax = 1000000;    // far beyond any record, and no overflow when doubled
constexpr int kMaxZoom = 100;        // the zoom time base at most a hundred times faster

// Samples per zoom point of a main trace of `mainSamples` samples a point;
// while the main trace interpolates, main points per zoom point.
double ZoomFactor(const HorizontalBlock& h, bool interpolating, double mainSamples) {
  const double r = h.zoomRatio > 0 ? h.zoomRatio : 1.0;
  return interpolating ? r : std::max(1.0, mainSamples) * r;
}

// Half the zoom window's span in record addresses, not rounded.
double ZoomHalfSpan(const HorizontalBlock& h, bool interpolating, double mainSamples) {
  const double r = h.zoomRatio > 0 ? h.zoomRatio : 1.0;
  return interpolating ? r * double(h.recordEnd - h.recordStart) / 2
                       : ZoomFactor(h, false, mainSamples) * kHalfScreen;
}
}  // namespace

// The zoom window belongs to block 0, which the waveform engine reads it from.
int x_system::ZoomBlock(int ch) const { return ch == 0 || ch == 1 ? 0 : -1; }

// A kept record is shown at the main time base in force, which a stopped
// change re-windows without sampling anew.
double x_system::ZoomMainSamples(int b) const {
  return Kept(b) ? StopPointSamples(b) : double(H(b).samplesPerPoint);
}

bool x_system::ZoomOrXY() const { return run_->timeBaseType == 1 || run_->displayFormat == 1; }

int x_system::CalcuZoomGapAndRange(int main, int zoom) {
  if (!PointerNullCheck() || main < 0 || main > kTimeBaseMaxIndex || zoom < 0 || zoom > kTimeBaseMaxIndex) return -1;
  const double r = TimeBaseS[zoom] / TimeBaseS[main];
  SemLock lock(sem_);
  HorizontalBlock& h = H(0);
  h.zoomRatio = r;
  const double samples = ZoomMainSamples(0);
  const double factor = ZoomFactor(h, Interpolating(0), samples);
  const double half = ZoomHalfSpan(h, Interpolating(0), samples);
  const int64_t w = std::clamp<int64_t>(ToInt64(std::round(half)), 0, kRecordCentre);
  h.zoomFactor = float(factor);
  h.zoomRecordStart = h.zoomVisibleStart = kRecordCentre - w;
  h.zoomRecordEnd = h.zoomVisibleEnd = kRecordCentre + w;
  h.zoomScreenFirst = ToInt64(std::round(kHalfScreen - r * kHalfScreen));
  h.zoomScreenLast = ToInt64(std::round(kHalfScreen + r * kHalfScreen));
  return 0;
}

void x_system::ClearZoomTimeBase() {
  if (!PointerNullCheck()) return;
  SemLock lock(sem_);
  H(0).zoomTimeBase = 0;
}

int x_system::ZoomInit(int on) {
  if (!PointerNullCheck() || (on != 0 && on != 1)) return -1;
  control& board = *resource_->board;
  const bool xy = run_->displayFormat == 1;
  WordList w;
  if (on == 1) {
    const int main = SafeIndex(H(0).realTimeBase);
    const int zoom = std::min(main, std::max(Get_timeBase_MIN(), main - 1));
    {
      SemLock lock(sem_);
      HorizontalBlock& h = H(0);
      h.zoomTimeBase = uint16_t(zoom);
      h.zoomPreTrig = h.preTrigDepth;
      h.zoomPosition = 0;
      h.stopMovePos = 0;
      if (!xy) run_->timeBaseType = 1;
    }
    CalcuZoomGapAndRange(main, zoom);
    w.Add(fpga::kWindowRead, 1);
    w.Add(fpga::kDisplayFormat, 0);
  } else if (!xy) {
    {
      SemLock lock(sem_);
      run_->timeBaseType = 0;
    }
    w.Add(fpga::kWindowRead, 0);
    w.Add(fpga::kDisplayFormat, 0);
  }
  w.Send(board);
  AdjTimeBase(0, 0);
  AdjZoomTimeBase(0, 0);
  WaveIndicator(0);
  if (on == 1 && Status(0) == kAcqSingleDone) board.SysSample();
  return 0;
}

int x_system::AdjZoomTimeBase(int ch, int step) {
  const int b = ZoomBlock(ch);
  if (!PointerNullCheck() || b < 0 || !ZoomOrXY()) return -1;
  const int main = SafeIndex(H(b).realTimeBase);
  const int lower = std::min(Get_timeBase_MIN(), main);
  const int previous = std::clamp<int>(H(b).zoomTimeBase, lower, main);
  const int64_t wanted = int64_t(H(b).zoomTimeBase) + step;
  bool limit = wanted > main || wanted < lower;
  int zoom = int(std::clamp<int64_t>(wanted, lower, main));
  auto tooFast = [&](int z) { return TimeBasePsPerPoint(z) * kMaxZoom < TimeBasePsPerPoint(main); };
  if (tooFast(zoom)) {
    zoom = previous;  // the step is undone
    while (zoom < main && tooFast(zoom)) ++zoom;
    limit = true;
  }
  if (limit) resource_->message->SetMessage(kMsgTimeBaseLimit);
  {
    SemLock lock(sem_);
    H(b).zoomTimeBase = uint16_t(zoom);
  }
  // The window's size follows the new zoom time base.
  CalcuZoomGapAndRange(main, zoom);
  AdjZoomMovePos(b, 0);
  WaveIndicator(b);
  return 0;
}

int x_system::AdjZoomMovePos(int ch, int step) {
  const int b = ZoomBlock(ch);
  if (!PointerNullCheck() || b < 0 || !ZoomOrXY()) return -1;
  control& board = *resource_->board;
  const int st = Status(b);
  if (st == kAcqSingleWaiting || st == kAcqStopped || st == kAcqKnobApplying) board.AcquirePause();
  step = std::clamp(step, -kStepMax, kStepMax);
  if (std::abs(step) > kLargeStep) step *= 2;
  if (!(H(b).zoomRatio > 0)) CalcuZoomGapAndRange(SafeIndex(H(b).realTimeBase), SafeIndex(H(b).zoomTimeBase));

  bool limit = false;
  int64_t start = 0;
  {
    SemLock lock(sem_);
    HorizontalBlock& h = H(b);
    const double zf = ZoomFactor(h, Interpolating(b), ZoomMainSamples(b));
    // The main screen shows the time base in force, re-windowed when stopped.
    const double r = TimeBaseS[SafeIndex(h.zoomTimeBase)] / TimeBaseS[SafeIndex(h.realTimeBase)];
    const int64_t span = h.zoomRecordEnd - h.zoomRecordStart;
    const int64_t lo = std::max<int64_t>(h.recordStart, 0), hi = std::min<int64_t>(h.recordEnd, kRecordSamples);
    double pos = double(h.zoomPosition) + step;
    const double s = double(h.zoomRecordStart) + zf * pos;
    if (span >= hi - lo) {
      limit = pos != 0;  // the window fills the record: it stays centred
      pos = 0;
    } else if (s < double(lo)) {
      pos = std::ceil(double(lo - h.zoomRecordStart) / zf - 1e-9);
      limit = true;
    } else if (s + double(span) > double(hi)) {
      pos = std::floor(double(hi - span - h.zoomRecordStart) / zf + 1e-9);
      limit = true;
    }
    start = ToInt64(std::round(double(h.zoomRecordStart) + zf * pos));
    if (span < hi - lo) start = std::clamp(start, lo, hi - span);
    h.zoomPosition = ToInt64(pos);
    h.zoomVisibleStart = start;
    h.zoomVisibleEnd = start + span;
    // The main-screen columns the window covers.
    const int64_t width = std::clamp<int64_t>(ToInt64(std::floor(r * kScreenPoints + 1e-9)), 0, kScreenPoints);
    const double column = r * double(start - kRecordCentre) / zf + kHalfScreen;
    int64_t first = column < 0 ? 0 : ToInt64(std::floor(column + 1e-9));
    int64_t last = first + width;
    if (last > kScreenPoints) last = kScreenPoints, first = kScreenPoints - width;
    h.zoomScreenFirst = first;
    h.zoomScreenLast = last;
  }
  if (limit) resource_->message->SetMessage(kMsgZoomLimit);
  WaveIndicator(b);
  SendZoomWords(b, start);

  if (st == kAcqStopped) {
    board.SendRealControl(fpga::kReadArm, 1);
    board.SendRealControl(fpga::kReadArm, 0);
    std::printf("Zoom Stop 0x7a 1--->0 ");
  } else if (!resource_->wave || resource_->wave->RunCount() == 0 || (st != kAcqSingleWaiting && st != kAcqKnobApplying)) {
    std::printf("Zoom Timebase GetRealRunWaveCnt() = 0  ");
    board.SysSample();
  } else {
    board.SendRealControl(fpga::kReadArm, 1);
    board.SendRealControl(fpga::kReadArm, 0);
    std::printf("Zoom Ready 0x7a 1--->0 ");
  }
  return 0;
}

// The read words of the zoom window that starts at record address `start`.
void x_system::SendZoomWords(int b, int64_t start) {
  double zf = 1, perSample = 1, exactOffset = 0;
  int64_t offset = 0;
  bool mainInterp = false;
  {
    SemLock lock(sem_);
    const HorizontalBlock& h = H(b);
    mainInterp = Interpolating(b);
    const double samples = ZoomMainSamples(b);
    zf = ZoomFactor(h, mainInterp, samples);
    perSample = mainInterp && h.interpFactor > 0 ? h.interpFactor / zf : 1 / zf;  // zoom points per sample
    const int64_t base = std::max(h.preTrigDepth, h.screenStart);
    offset = std::clamp<int64_t>(start - base, INT32_MIN, INT32_MAX);
    // The record keeps whole addresses; an interpolated window starts between
    // them, where its span and position put it (unless pulled to a record edge).
    const double exact = double(kRecordCentre) - ZoomHalfSpan(h, mainInterp, samples) + zf * double(h.zoomPosition);
    exactOffset = std::abs(exact - double(start)) < 1 ? exact - double(base) : double(offset);
  }
  // A zoom point shorter than a sample is interpolated.
  const bool interp = mainInterp || zf < 1;
  WordList w;
  if (!interp) {
    const uint32_t q = StepWord(zf);
    const bool average = run_->acqMode == kAverage;
    w.Add32(fpga::kZoomMainStep, average ? 16 : q);
    w.Add32(fpga::kZoomStep, average ? q : 16);
    w.Add32(fpga::kZoomReadStart, uint32_t(offset));
    w.Add(fpga::kZoomInterpolate, 0);
  } else {
    const int64_t tenthsTotal = ToInt64(std::round(1000 * zf));  // 100 x factor, in tenths
    const int64_t whole = tenthsTotal / 10;
    const uint32_t tenths = uint32_t(tenthsTotal % 10) & 7;
    int64_t readStart = 0, sub = 0;
    CalcuInsertPosPara(b, ToInt64(std::round(exactOffset / zf)), perSample, &readStart, &sub);
    w.Add(fpga::kZoomInterpolate, 1);
    w.Add(fpga::kZoomInterpRatio, Clamp32(ToInt64(std::floor(perSample + 1e-6))));
    w.Add(fpga::kZoomFactor, Clamp32(whole * 8) | tenths);
    w.Add32(fpga::kZoomMainStep, 16);
    w.Add32(fpga::kZoomStep, 16);
    w.Add32(fpga::kZoomReadStart, uint32_t(std::clamp<int64_t>(readStart, INT32_MIN, INT32_MAX)));
    w.Add(fpga::kZoomSubSample, uint32_t(sub));
  }
  w.Add(fpga::kZoomFirstColumn, 0);
  w.Add(fpga::kZoomLastColumn, kScreenPoints - 1);
  w.Send(*resource_->board);
  SemLock lock(sem_);
  H(b).zoomMultiplier = interp ? 100.0f : 1.0f;
}
