// The time base model: moves and re-scaling on a stopped record, and the
// re-read of that record for the window shown.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "acquisition/models/acq_mode_word.h"
#include "acquisition/tables/timebase_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/word_list.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/x_system_internal.h"
#include "acquisition/models/y_system.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/common/unit_convert.h"

using namespace xsys;

namespace {
constexpr int kAverage = 3;
constexpr int kRollRecord = 7000;        // entries of the roll record, 10 per screen column
constexpr int kRollEntriesPerColumn = 10;
}  // namespace

bool x_system::Kept(int ch) const {
  const int st = Status(ch);
  return st == kAcqStopped || st == kAcqKnobApplying;
}

double x_system::StoredSamplesPerPoint(int ch) const {
  const HorizontalBlock& h = H(ch);
  // An interpolated record holds less than one sample per point (1 GSa/s).
  const int64_t ps = TimeBasePsPerPoint(SafeIndex(h.timeBase));
  if (ps < 1000) return double(ps) / 1000;
  double f = h.acqSamplesPerPoint[Status(ch) == kAcqKnobApplying ? 1 : 0];
  if (!(f > 0)) f = h.samplesPerPoint;  // no acquisition taken yet
  return f > 0 ? f : 1.0;
}

double x_system::StopPointSamples(int ch) const {
  const HorizontalBlock& h = H(ch);
  const double ratio = TimeBaseS[SafeIndex(h.realTimeBase)] / TimeBaseS[SafeIndex(h.timeBase)];
  return std::min(StoredSamplesPerPoint(ch) * ratio, Depth(ch));
}

double x_system::StopSamplesPerPoint(int ch) const { return StopPointSamples(ch) + 0.001; }

x_system::StopView x_system::StopViewOf(int ch) const {
  const HorizontalBlock& h = H(ch);
  StopView v;
  v.copy = Status(ch) == kAcqKnobApplying ? 1 : 0;
  v.depth = v.copy ? h.preTrigSecond : h.preTrigDepth;
  const bool taken = h.acqScreenEnd[v.copy] > h.acqScreenStart[v.copy];
  v.recStart = taken ? h.acqScreenStart[v.copy] : h.screenStart;
  v.recEnd = taken ? h.acqScreenEnd[v.copy] : h.screenEnd;
  v.acqDepth = taken ? h.acqPreTrig[v.copy] : v.depth;
  v.interp = Interpolating(ch) && h.interpFactor > 0;
  v.factor = v.interp ? h.interpFactor : 1.0;
  v.width = v.interp ? kScreenPoints / v.factor : StopSamplesPerPoint(ch) * kScreenPoints;
  const double mid = h.recordEnd > h.recordStart ? (h.recordStart + h.recordEnd) / 2.0 : double(kRecordCentre);
  v.start = mid - v.width / 2 + double(v.acqDepth - v.depth);
  return v;
}

bool x_system::StopWindowShift(int ch, double* scaled, double* moved, double* samplesPerColumn) const {
  if (!PointerNullCheck() || (ch != 0 && ch != 1) || !Kept(ch)) return false;
  const StopView v = StopViewOf(ch);
  *moved = double(v.acqDepth - v.depth);
  *scaled = v.start - *moved - double(v.recStart);
  *samplesPerColumn = v.width / kScreenPoints;
  return *samplesPerColumn > 0;
}

int x_system::AdjStopMovePos(int ch, int step) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  {
    SemLock lock(sem_);
    HorizontalBlock& h = H(ch);
    // One step is one screen point of the view shown.
    const double perPoint = ch <= 1 && Kept(ch) ? StopSamplesPerPoint(ch) : double(h.samplesPerPoint);
    const int64_t perStep = Interpolating(ch) ? 1 : std::clamp<int64_t>(ToInt64(perPoint), 1, kRecordSamples);
    int64_t& depth = Status(ch) == kAcqKnobApplying ? h.preTrigSecond : h.preTrigDepth;
    // The trigger address stays inside the record address space.
    const int64_t moved = std::clamp<int64_t>(depth + int64_t(step) * perStep, 0, kRecordSamples);
    const double steps = double(moved - depth) / double(perStep);
    depth = moved;
    h.offsetTime -= steps * TimeBaseS[SafeIndex(h.realTimeBase)] / 50;
    h.stopMovePos = 0;
    resource_->unitConvert->TUnitConvert(h.offsetTime, &h.offsetTimeText);
  }
  return AdjTimeBase(ch, 0);
}

// The stored record re-read for the screen in force: the columns that get
// data, where the read starts and the step between columns.
int x_system::RequestStopOp(int ch) {
  if (!PointerNullCheck() || (ch != 0 && ch != 1)) return -1;
  control& board = *resource_->board;
  const int columns = xHoriPointsSel == 0 ? kHalfScreen : kScreenPoints;
  int64_t offset = 0, sub = 0;
  int first = 0, last = columns - 1;
  StopView v;
  {
    SemLock lock(sem_);
    HorizontalBlock& h = H(ch);
    v = StopViewOf(ch);
    const double k = v.width / columns;  // samples per screen column
    // A column gets data when the record covers at least half of it.
    const double firstD = std::round((double(v.recStart) - v.start) / k);
    const double lastD = std::round((double(v.recEnd) - v.start) / k) - 1;
    if (firstD > columns - 1) {
      first = last = columns - 1;  // the record lies right of the screen: its edge column
    } else if (lastD < 0) {
      first = last = 0;
    } else {
      first = int(std::max(0.0, firstD));
      last = int(std::min(double(columns - 1), lastD));
    }
    // Address of the first column that gets data, counted from the trigger
    // (from the record start when the trigger lies left of the record).
    const double address = std::clamp(v.start + first * k, double(v.recStart), double(v.recEnd - 1));
    const int64_t base = v.acqDepth >= v.recStart ? v.acqDepth : v.recStart;
    offset = ToInt64(std::round(address)) - base;
    // A roll record that has not looped yet starts by its unfilled part later.
    if (run_->horiMode == kHoriRoll && resource_->wave && !resource_->wave->GetRollLoopFlag()) {
      const int unfilled = kRollRecord - std::clamp(resource_->wave->GetRollDataIndex(), 0, kRollRecord);
      offset -= ToInt64(std::round(unfilled * StopSamplesPerPoint(ch) / kRollEntriesPerColumn));
    }
    offset = std::clamp<int64_t>(offset, -kRecordSamples, kRecordSamples);
    if (v.interp) {
      // CalcuInsertPosPara counts in screen points.
      int64_t start = 0;
      CalcuInsertPosPara(ch, ToInt64(double(offset) * v.factor), v.factor, &start, &sub);
      offset = start;
    }
    h.displayStart = std::clamp<int64_t>(ToInt64(std::round(v.start)), 0, kRecordSamples);
    h.displayEnd = std::clamp<int64_t>(ToInt64(std::round(v.start + v.width)), 0, kRecordSamples);
    h.firstColumn = int16_t(first);
    h.lastColumn = int16_t(last);
    const double perPoint = TimeBaseS[SafeIndex(h.realTimeBase)] / 50;
    h.offsetTime = std::round(h.offsetTime / perPoint) * perPoint;
    resource_->unitConvert->TUnitConvert(h.offsetTime, &h.offsetTimeText);
  }
  WordList w;
  if (v.interp) {
    // The interpolator re-windowed at the new scale: on, its whole points a
    // sample and the exact span of a point.
    w.Add(fpga::kInterpolate, 1);
    w.Add(fpga::kInterpRatio, uint32_t(v.factor));
    w.Add(fpga::kInterpColumn, InterpColumnWord(1 / v.factor));
    w.Add32(fpga::kReadStart, uint32_t(offset));
    w.Add(fpga::kSubSample, uint32_t(sub));
  } else {
    w.Add(fpga::kInterpolate, 1);  // the start address is taken while 232 is 1
    w.Add32(fpga::kReadStart, uint32_t(offset));
    w.Add(fpga::kInterpolate, 0);
  }
  if (run_->acqMode == kAverage) {
    w.Add(fpga::kAcqMode, 0);
    w.Add(fpga::kAverageStep, 1);
    w.Add(fpga::High(fpga::kAverageStep), 0);
  }
  w.Add32(fpga::kWriteStep, v.interp ? 16 : StepWord(v.width / columns));
  w.Add(fpga::kFirstColumn, uint32_t(first));
  w.Add(fpga::kLastColumn, uint32_t(last));
  w.Send(board);
  if (resource_->vertical) resource_->vertical->SetAllChSoftOffset();
  board.SendRealControl(fpga::kViewUpdate, 0);
  if (resource_->wave && resource_->wave->RunCount() == 0) {
    std::printf("Timebase GetRealRunWaveCnt() = 0  ");
    if (!board.GetDrawingStatus()) board.WaitingDrawingIdle();
  }
  board.SendRealControl(fpga::kReadArm, 1);
  board.SendRealControl(fpga::kReadArm, 0);
  return 0;
}

// The trigger's column on the stopped screen and the offset time it stands
// for. The column kept for the marker is held to the screen; the trigger
// address itself is left where the moves put it, so the record can be panned
// past the trigger.
int x_system::RefreshPreTriggerPos(int ch) {
  if (!PointerNullCheck() || (ch != 0 && ch != 1)) return -1;
  SemLock lock(sem_);
  HorizontalBlock& h = H(ch);
  const StopView v = StopViewOf(ch);
  const double perColumn = v.width / kScreenPoints;
  const double column = std::round((double(v.acqDepth) - v.start) / perColumn);
  h.offsetTime = (kHalfScreen - column) * TimeBaseS[SafeIndex(h.realTimeBase)] / 50;
  h.triggerScreenPos = int32_t(std::clamp(column, 0.0, double(kScreenPoints)));
  resource_->unitConvert->TUnitConvert(h.offsetTime, &h.offsetTimeText);
  return 0;
}
