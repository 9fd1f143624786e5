// The time base model: sample rate and decimation, memory depth and the
// acquisition-memory run words.
#include <algorithm>

#include "acquisition/models/acq_mode_word.h"
#include "acquisition/models/serial_fixed_point.h"
#include "acquisition/tables/timebase_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/word_list.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/x_system_internal.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

using namespace xsys;

namespace {
constexpr int kPeakDetect = 1, kHighRes = 2, kAverage = 3;
constexpr double kAdcRate = 1e9;
constexpr int64_t kAutoDepthMax = 7000000;
constexpr int kFirstAutoIndex = 9;  // from 100 ns/div the automatic depth grows
constexpr int kTrigRs232 = 12, kTrigSpi = 14, kTrigCan = 15, kTrigLin = 16;


// The pre-divider code (word 42) and divider of a whole sample period.
void SplitPeriod(int64_t n, int* code, int64_t* preDivider, int64_t* divider) {
  if (n % 4 == 0) {
    *code = 4, *preDivider = 4;
  } else if (n % 5 == 0) {
    *code = 8, *preDivider = 5;
  } else if (n % 2 == 1) {
    *code = 1, *preDivider = 1;
  } else {
    *code = 2, *preDivider = 2;
  }
  *divider = n / *preDivider;
}

float SamplesPerBit(float rate, int32_t baud) { return baud > 0 ? rate / float(baud) : 0.0f; }
}  // namespace

int x_system::AdjSample(int ch) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  if (!(run_->sourceOn & 3)) return -1;
  const int index = x_system::SafeIndex(H(ch).realTimeBase);
  const int64_t ps = TimeBasePsPerPoint(index);  // per screen point
  const double p = 50.0 / TimeBaseS[index];      // screen points per second
  const int mode = run_->acqMode;
  const bool roll = run_->horiMode == kHoriRoll;

  double points = 0;
  const bool automatic = resource_->runStatus->GetMemDepth(&points) == 0;
  double autoDepth = 0;
  if (automatic) {
    points = ps < 1000 ? kScreenPoints : double(std::min<int64_t>(ps / 1000 * kScreenPoints, kAutoDepthMax));
    autoDepth = points;
  }

  WordList w;
  float multiplier = 1.0f;
  double s = 0, rate = 0;
  int64_t n = 1, preDivider = 1, divider = 1;
  int code = 1;
  if (ps < 1000) {
    // Faster than one sample per screen point: 1 GSa/s, interpolated.
    multiplier = 100.0f;
    s = points / kScreenPoints;
    w.Add(fpga::kInterpolate, 1);
    w.Add(fpga::kInterpRatio, uint32_t(1000 / ps));
    w.Add(fpga::kInterpColumn, InterpColumnWord(double(ps) / 1000));  // 1-ns samples
    rate = kAdcRate;
  } else {
    const int64_t t = ps / 1000;  // ns per screen point, whole from 50 ns/div on
    int64_t si = std::max<int64_t>(1, int64_t(points) / kScreenPoints);
    if (t < si) {
      n = 1, si = t;  // 1 GSa/s is the ceiling
    } else if (t % si != 0) {
      for (n = t / si + 1; t % n != 0; ++n) {
      }
      si = t / n;
    } else {
      n = t / si;
    }
    s = double(si);
    SplitPeriod(n, &code, &preDivider, &divider);
    w.Add(fpga::kInterpolate, 0);
    rate = s * p;
  }
  const int pointsToRead = multiplier > 1 || s >= 10 ? 7000 : int(s * kScreenPoints);
  if (mode == kPeakDetect) divider *= 2;
  if (mode == kHighRes) w.Add32(fpga::kHighResStep, Clamp32((int64_t(1) << 32) / n));
  w.Add(fpga::kPreDivider, uint32_t(code));
  w.Add32(fpga::kDivider, Clamp32(divider));
  if (roll) {
    int64_t r = n / 10;
    int rollCode = 1;
    if (r % 5 == 0) {
      r /= 5, rollCode = 4;
    } else if (r % 2 == 0) {
      r /= 2, rollCode = 2;
    }
    if (mode == kPeakDetect) r *= 2;
    w.Add(fpga::kRollCode, uint32_t(rollCode));
    w.Add32(fpga::kRollDivider, Clamp32(r));
  }
  w.Add(fpga::kRoll, roll ? 1 : 0);
  w.Send(*resource_->board);

  SemLock lock(sem_);
  HorizontalBlock& h = H(ch);
  h.state = 2;
  h.autoDepth = autoDepth;
  h.sampleRate = float(rate);
  h.screenPointRate = float(p);
  h.adcBaseRate = float(kAdcRate);
  h.interpMultiplier = multiplier;
  h.samplesPerPoint = float(s);
  h.shownSamplesPerPoint = float(std::min(s, 10.0));
  h.interpFactor = float(p / rate);
  h.divider = float(divider);
  h.preDivider = float(preDivider);
  h.samplePeriodNs = double(n);
  h.pointsToRead = pointsToRead;
  return 0;
}

double x_system::GetAutoMemDepth(int index) const {
  if (index < 0 || index >= kTimeBaseEntries) return 1.0;
  if (index < kFirstAutoIndex) return 1000;
  // 700 points at 50 ns/div (1 ns per point), growing with the time base.
  const int64_t d = TimeBasePsPerPoint(index) / 1000 * kScreenPoints;
  if (d > kAutoDepthMax) return double(kAutoDepthMax);
  return double((d + 999) / 1000 * 1000);
}

int x_system::GetMemDepthRange(int ch, int64_t* first, int64_t* last) const {
  if (!first || !last || !PointerNullCheck() || !Block(ch)) return -1;
  double depth = 0;
  if (resource_->runStatus->GetMemDepth(&depth) == 0) {
    const int64_t ps = TimeBasePsPerPoint(x_system::SafeIndex(H(ch).realTimeBase));
    depth = double(std::clamp<int64_t>(ps * kScreenPoints / 1000, kScreenPoints, kAutoDepthMax));
  }
  const int64_t half = int64_t(depth) / 2;
  *first = kRecordCentre - half;
  *last = kRecordCentre + half;
  return 0;
}

int x_system::AdjMemDepth(int ch) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  double depth = 0;
  if (resource_->runStatus->GetMemDepth(&depth) == 0) depth = GetAutoMemDepth(H(ch).realTimeBase);
  const uint32_t thousands = uint32_t(depth / 1000);
  const float rate = H(ch).sampleRate;
  const int type = run_->trigType;
  WordList w;
  w.Add(fpga::kMemDepthLow, thousands & 0xFFFF);
  w.Add(fpga::kMemDepthHigh, thousands >> 16);
  uint32_t bitWord = 0;
  bool busWord = true;
  {
    SemLock lock(sem_);
    samplesPerPoint_ = int32_t(depth / kScreenPoints);
    H(ch).depthThousands = thousands;
    run_->rs232.samplesPerBit = SamplesPerBit(rate, run_->rs232.baud);
    run_->can.samplesPerBit = SamplesPerBit(rate, run_->can.baud);
    run_->lin.samplesPerBit = SamplesPerBit(rate, run_->lin.baud);
    switch (type) {
      case kTrigRs232: bitWord = SerialFixedPoint(run_->rs232.samplesPerBit); break;
      case kTrigCan: bitWord = SerialFixedPoint(run_->can.samplesPerBit); break;
      case kTrigLin: bitWord = SerialFixedPoint(run_->lin.samplesPerBit); break;
      case kTrigSpi: {
        const double period = H(ch).samplePeriodNs;
        bitWord = period > 0 ? Clamp32(int64_t(4.0 * run_->spi.idleTime / period)) : 0;
        break;
      }
      default: busWord = false;  // I2C and the analog types: no bit timing
    }
    if (busWord) {
      run_->busWord[BusWordIndex(300)] = uint16_t(bitWord);
      run_->busWord[BusWordIndex(302)] = uint16_t(bitWord >> 16);
    }
  }
  if (type >= kTrigRs232 && type <= kTrigLin && resource_->wave) {
    resource_->wave->DecodedataSetdefault();  // the decoded records belong to the old timing
    resource_->wave->SetDecodeFocusItem(0);
  }
  if (busWord) w.Add32(fpga::kBusSamplesPerBit, bitWord);
  return w.Send(*resource_->board);
}

int x_system::SetDDRRunPara(int ch) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  control& board = *resource_->board;
  board.SetChPriority(run_);
  const HorizontalBlock& h = H(ch);
  const bool interp = Interpolating(ch);
  const bool half = xHoriPointsSel == 0;
  const int64_t k = int64_t(h.interpMultiplier * h.samplesPerPoint);
  WordList w;
  w.Add(fpga::kWindowRead, run_->displayFormat == 1 || run_->timeBaseType != 0 ? 1 : 0);
  if (run_->acqMode == kAverage) {
    w.Add32(fpga::kAverageStep, Clamp32(interp ? 16 : k * 16));
    w.Add(fpga::kAcqMode, uint32_t(AcqModeWord(kAverage)));
  } else {
    w.Add32(fpga::kAverageStep, 16);
  }
  w.Add32(fpga::kWriteStep, Clamp32(interp ? 16 : k * (half ? 2 : 1) * 16));
  const int64_t depth = h.preTrigDepth;
  int64_t offset = h.recordStart - depth;
  if (depth < h.screenStart && depth < h.recordStart) offset = 0;
  int64_t start = offset, sub = 0;
  if (interp) CalcuInsertPosPara(ch, offset, h.interpFactor, &start, &sub);
  w.Add32(fpga::kReadStart, uint32_t(start));
  w.Add(fpga::kSubSample, uint32_t(sub));
  w.Add(fpga::kFirstColumn, 0);
  w.Add(fpga::kLastColumn, half ? 349 : 699);
  w.Add(fpga::kViewUpdate, 0);
  w.Send(board);
  WaveIndicator(ch);
  return 0;
}
