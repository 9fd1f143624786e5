// The waveform engine's reads of acquisition memory: arming, the FIFO drain,
// record and screen reads, and the on-demand request.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "acquisition/engine/wave.h"
#include "acquisition/tables/voltage_tables.h"
#include "core/state/ids.h"
#include "core/state/wave_types.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"

namespace {
constexpr int kReadyPolls = 500, kReadyPollUs = 500, kNoBlockRetries = 50;
constexpr int kTestPollMs = 1, kRequestPollMs = 1, kRequestWaitMs = 5000;
constexpr int kMaxChunk = 8192;  // bytes moved per block read
constexpr int kGround = 2;
constexpr int kStepOne = 16;      // read step: samples x 16, tenths in the low 4 bits
constexpr int64_t kScreenStartCentre = 34999650;  // record centre - 350 screen points
constexpr int kNeighbourOffset = -14, kNeighbourSamples = 20, kInterpReadSamples = 1400;
constexpr int kInterpMargin = 14;  // samples read ahead of an interpolated window
constexpr int kZoomReadColumns = 710;  // columns' worth of a zoom window read
constexpr int kSweepWords[3] = {0, 1, 3};  // auto, normal, single

int Signed16(int v) { return v < 0 ? v : int16_t(uint16_t(v)); }
bool Ready(int r782) { return r782 >= 0 && (r782 & 1); }
int SweepOf(const _SysRunInfo* run) { return run->trigMode >= 0 && run->trigMode <= 2 ? run->trigMode : 0; }
}  // namespace

// Start of a read relative to the pre-trigger depth in force: 0 when the
// depth lies left of the screen window, else screen-window start - depth.
int _wave::StartOffset(int block) const {
  const HorizontalBlock& h = Run()->horizontal[block];
  if (h.preTrigDepth < h.screenStart) return 0;
  return int(int32_t(uint32_t(uint64_t(h.screenStart - h.preTrigDepth))));
}

// Stopped, the record stands: no read (nor a read that timed out) may let
// the board acquire again.
void _wave::Resume() const {
  if (!held_ && Status() != kAcqStopped) Word(fpga::kPause, 0);
}

void _wave::Arm(int readCh, int32_t offset, uint32_t step) const {
  const uint32_t o = uint32_t(offset);
  Word(fpga::kReadArm, 1);
  Word(fpga::kPause, 1);
  Word(fpga::kReadChannel, readCh);
  Word(fpga::kReadOffset, int(o & 0xFFFF));
  Word(fpga::High(fpga::kReadOffset), int(o >> 16));
  Word(fpga::kReadStep, int(step & 0xFFFF));
  Word(fpga::High(fpga::kReadStep), int(step >> 16));
  Word(fpga::kReadArm, 0);
}

// A ground-coupled channel reads as its position code: the sample that the
// invert mapping shows there, so an inverted channel's line sits at its
// position too.
uint8_t _wave::GroundCode(int ch) const {
  int sign = 1, offset = 0;
  GetWaveInvertPara(ch & 1, &sign, &offset);
  const int p = (Run()->vertical[ch & 1].position - offset) * sign;
  return uint8_t(std::clamp(p, 0, 255));
}

void _wave::FillGround(int ch, uint8_t* dst, int n) const { std::memset(dst, GroundCode(ch), size_t(n)); }

// Drains n bytes of the read-out FIFO into dst in whole 32-byte blocks (a
// last partial block lands in a scratch block first, so dst never takes more
// than n). Returns n, -1 when a ready FIFO never holds a whole block, or the
// channel's status field when the FIFO does not become ready (-1 for field 0).
int _wave::Drain(int ch, uint8_t* dst, int n, bool resume) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  ch &= 1;
  if (Run()->vertical[ch].coupling == kGround) {
    FillGround(ch, dst, n);
    newRead_ = 1;
    requestCh_ &= ~(1 << ch);
    ready_ |= 1 << ch;  // the flat line is this pass's trace
    Resume();
    return n;
  }
  int got = 0, waits = 0, empty = 0;
  while (got < n) {
    if (!Ready(Reg(fpga::kFifoReady))) {
      if (++waits >= kReadyPolls) {
        const int status = ChannelStatus(ch);
        Resume();
        std::printf("DelayCnt >= 500 ");
        requestCh_ &= ~(1 << ch);
        return status > 0 ? status : -1;
      }
      plat::SleepUs(kReadyPollUs);
      continue;
    }
    const int level = Signed16(Reg(fpga::kFifoLevel));
    const int whole = level > 0 ? level / kBlock * kBlock : 0;
    if (whole == 0) {
      if (++empty >= kNoBlockRetries) {
        std::printf("Error Dso ch = %d ReadLength = %d    Status = %d \n", ch, level, Reg(fpga::kDone));
        return -1;
      }
      continue;
    }
    empty = 0;
    const int want = n - got;
    int chunk = std::min({whole, kMaxChunk, want / kBlock * kBlock});
    if (chunk > 0) {
      GetPartWave(ch, dst, got, chunk);
    } else {  // the last bytes: one block through a scratch block
      uint8_t last[kBlock];
      GetPartWave(ch, last, 0, kBlock);
      std::memcpy(dst + got, last, size_t(want));
      chunk = want;
    }
    lastBlock_ = chunk;
    got += chunk;
  }
  newRead_ = 1;
  requestCh_ &= ~(1 << ch);
  ready_ |= 1 << ch;
  if (resume) Resume();
  return n;
}

// One block transfer; a channel in the doubled-gain state (fine-gain word of
// whole part 2 on a record of the 500 uV/div range, the 1 mV hardware) doubles
// each sample's distance from the position code. A stopped record's word is
// the rescale to the V/div shown, which the trace mapping applies.
int _wave::GetPartWave(int ch, uint8_t* buf, int offset, int n) {
  if (!buf || n <= 0 || offset < 0) return -1;
  const int r = Ctrl()->ReadWaveData(ch, buf + offset, n);
  const VerticalBlock& v = Run()->vertical[ch & 1];
  const int range = KeptRecordStatus(Status()) ? v.vdivSelected : v.vdivIndex;
  if ((v.fineGain >> 8) == 2 && range == kVoltage500uV) {
    const int p = v.position;
    for (int i = 0; i < n; ++i) buf[offset + i] = uint8_t(p + 2 * (buf[offset + i] - p));
  }
  return r;
}

int _wave::GetWave(int ch, uint8_t* buf, int n) {
  if ((ch != 0 && ch != 1) || n <= 0) return -1;
  if (!buf) return Drain(ch, screen_[ch], std::min(n, kSlotBytes), true);
  return Drain(ch, buf, n, true);
}

int _wave::GetWave_by_offset(int ch, uint8_t* buf, int n, int resume) {
  if ((ch != 0 && ch != 1) || !buf || n <= 0) return -1;
  return Drain(ch, buf, n, resume == 1);
}

int _wave::GetWaveTest(int ch, int n) {
  if ((ch != 0 && ch != 1) || n <= 0) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  n = std::min(n, kSlotBytes);
  int waits = 0;
  while (!Ready(Reg(fpga::kFifoReady))) {
    if (++waits > kReadyPolls) return -1;
    plat::SleepMs(kTestPollMs);
  }
  int got = 0;
  while (got < n) {  // whole blocks; the slot holds n rounded up to a block
    const int level = Signed16(Reg(fpga::kFifoLevel));
    const int whole = level > 0 ? level / kBlock * kBlock : 0;
    if (whole == 0) {
      std::printf("Error Dso ch = %d ReadLength = %d    Status = %d \n", ch, level, Reg(fpga::kDone));
      return -1;
    }
    const int chunk = std::min({whole, kMaxChunk, (n - got + kBlock - 1) / kBlock * kBlock});
    GetPartWave(ch, screen_[ch], got, chunk);
    got += chunk;
  }
  return n;
}

// --- record and screen reads ---

int _wave::ReadDDRWave(int ch, int n) {
  if ((ch != 0 && ch != 1) || n <= 0) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const int b = Block(ch);
  const HorizontalBlock& h = Run()->horizontal[b];
  if (Status() == kAcqStopped && h.realTimeBase > h.timeBase) return -1;
  const double s = h.samplesPerPoint;
  const uint32_t step = s > 10 ? uint32_t(std::floor(s / 10)) * kStepOne : kStepOne;
  Arm(ch + 1, StartOffset(b), step);
  return Drain(ch, raw_[ch], std::min(n, kRecordPoints), true);
}

int _wave::InsertModeReadDDRTrigPos(int ch, int offset, int n) {
  if ((ch != 0 && ch != 1) || n <= 0 || waveType_ == 0) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  Arm(ch + 1, offset, kStepOne);
  return Drain(ch, neighbour_[ch], std::min(n, kNeighbourBytes), true);
}

int _wave::SetDDRWave_addr(int ch, int32_t offset) {
  if (ch != 0 && ch != 1) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  Arm(ch + 1, offset, kStepOne);
  return 0;
}

// The read step of a real-time screen read at s samples a column, and the
// entries a column the read then holds (10 from 10 samples on, when whole).
uint32_t _wave::RealTimeStep(double s, double* recorded) {
  const double whole = std::floor(s);
  if (s > 10) {
    const bool tens = std::fmod(s, 10.0) == 0.0;
    *recorded = tens ? 10 : 1;
    return uint32_t(tens ? s / 10 : whole) * kStepOne;
  }
  *recorded = s;
  return s == whole ? kStepOne : uint32_t(whole) * kStepOne + uint32_t(std::lround((s - whole) * 10));
}

void _wave::ArmScreenRead(int ch, int32_t offset, uint32_t step) const {
  const uint32_t o = uint32_t(offset);
  Word(fpga::kPause, 1);
  Word(fpga::kReadArm, 1);
  Word(fpga::kChannel, ch);
  Word(fpga::kReadChannel, ch + 1);
  Word(fpga::kReadOffset, int(o & 0xFFFF));
  Word(fpga::High(fpga::kReadOffset), int(o >> 16));
  Word(fpga::kReadStep, int(step & 0xFFFF));
  Word(fpga::High(fpga::kReadStep), int(step >> 16));
  Word(fpga::kReadArm, 0);
}

// The screen read of a channel for the current window. With the zoom window
// shown over a real-time main time base, the main window is read first (the
// overview above the zoom pane), then the zoom window from block 0's zoom
// fields in the same way: its samples per zoom point, from its start.
int _wave::SetArmReadDDRPara(int ch, int n) {
  if ((ch != 0 && ch != 1) || n <= 0) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  _SysRunInfo* run = Run();
  const bool zoom = run->timeBaseType == 1;
  const int b = zoom ? 0 : Block(ch);
  const HorizontalBlock& h = run->horizontal[b];
  const int st = Status();
  // A kept record is read for the window shown, which a time base or a move
  // since STOP has re-scaled: never at the samples per point it was taken at.
  if (!zoom && KeptRecordStatus(st)) {
    const int got = ReReadStopped(ch);
    if (got >= 0) return got;
  }
  double s = (st == kAcqSingleWaiting || st == kAcqStopped) && h.acqSamplesPerPoint[0] > 0 ? h.acqSamplesPerPoint[0]
                                                                                   : h.samplesPerPoint;
  if (!(s > 0)) s = 1;
  int32_t offset;
  uint32_t step;
  int points;
  oddStart_ = 0;
  if (h.interpMultiplier > 1.0f) {
    if (run->trigSource == ch) InsertModeReadDDRTrigPos(ch, kNeighbourOffset, kNeighbourSamples);
    const double factor = h.interpFactor > 0 ? h.interpFactor : 1.0;
    const double exact = double(kScreenStartCentre - h.preTrigDepth + h.stopMovePos) / factor;
    int64_t start = std::llround(exact) - kInterpMargin;
    readResidue_[ch] = exact - std::llround(exact);  // the window starts this much later
    if (start % 2 != 0) {  // made even by taking one more sample
      --start;
      oddStart_ = 1;
    }
    offset = int32_t(start);
    step = kStepOne;
    points = kInterpReadSamples;
    readSpp_[ch] = 1;
  } else {
    double recorded;
    step = RealTimeStep(s, &recorded);
    offset = StartOffset(b);
    points = std::min(kRecordPoints, int(std::floor(recorded * kColumns)));
    if (zoom && h.zoomFactor > 0) {
      // The main window's traces above the zoom pane are drawn only without
      // the raster, which holds its own strip: read only then.
      const int main = std::min(points, n);
      overviewSpp_[ch] = 0;
      if (run->waveType != kWaveRaster) {
        ArmScreenRead(ch, offset, step);
        if (Drain(ch, overviewRead_[ch], main, false) == main) {
          overviewSpp_[ch] = recorded;
          overviewPoints_[ch] = main;
        }
      }
      step = RealTimeStep(h.zoomFactor, &recorded);
      const int64_t from = h.zoomVisibleStart - std::max(h.preTrigDepth, h.screenStart);
      offset = int32_t(std::clamp<int64_t>(from, INT32_MIN, INT32_MAX));
      // A fractional column is interpolated from the sample past the window too.
      points = std::min(kRecordPoints, int(std::ceil(recorded * kZoomReadColumns)) + 1);
    }
    readSpp_[ch] = recorded;
  }
  pointsToRead_ = readPoints_[ch] = points = std::min(points, n);
  ArmScreenRead(ch, offset, step);
  return Drain(ch, screen_[ch], points, true);
}

int _wave::GetAllChWaveAverage(int32_t* avg) {
  if (!avg) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  for (int ch = 0; ch < 2; ++ch) {
    ReadDDRWave(ch, kRecordPoints);
    int sum = 0;
    for (int i = 100; i < 1100; ++i) sum += raw_[ch][i];
    avg[ch] = sum / 1000;
    if (avg[ch] < 10 || avg[ch] > 250) return -1;
  }
  return 0;
}

int _wave::GetWaveMaxMinForReg(int ch, int* max, int* min) {
  if ((ch != 0 && ch != 1) || !max || !min) return -1;
  const int hi = Reg(fpga::kMax), lo = Reg(fpga::kMin);
  if (hi < 0 || lo < 0) return -1;
  *max = ch == 0 ? hi & 0xFF : hi >> 8;
  *min = ch == 0 ? lo & 0xFF : lo >> 8;
  return 0;
}

// --- on-demand request ---

// Back to the sweep in force after a one-off acquisition.
void _wave::Restore(int sweep) const {
  Word(fpga::kSweep, kSweepWords[sweep]);
  Ctrl()->FPGAResetDisable();
  _SysRunInfoOp(Run()).ClearInterruptFlag();
  Ctrl()->SysSample();
}

int _wave::RequestWaveData(waveinfor* info) {
  if (!info) return -1;
  if (info->flags & (kWaveReqRecordMask | kWaveReqRecordMask2)) {
    requestCh_ |= info->chMask & 3;
    requestType_ = info->flags;
    return 0;
  }
  std::lock_guard<std::recursive_mutex> lock(mu_);
  _SysRunInfo* run = Run();
  const bool stopped = Status() == kAcqStopped;
  const int sweep = SweepOf(run);
  if (!stopped) {
    std::printf("Start Sample Once ");
    Word(fpga::kSweep, sweep | 2);
    Ctrl()->SysSample();
    _SysRunInfoOp(Run()).ClearInterruptFlag();
    int waited = 0;
    while (!Ready(Reg(fpga::kDone))) {
      if (++waited > kRequestWaitMs / kRequestPollMs) {
        info->timeoutStatus = uint16_t(ChannelStatus((info->chMask & 1) ? 0 : 1));
        Restore(sweep);  // a request that got nothing leaves acquisition as it was
        return -1;
      }
      plat::SleepMs(kRequestPollMs);
    }
  }
  if (info->flags & kWaveReqMaxMin) {
    const int hi = Reg(fpga::kMax), lo = Reg(fpga::kMin);
    for (int ch = 0; ch < 2; ++ch) {
      if (!(info->chMask & (1 << ch)) || hi < 0 || lo < 0) continue;
      info->max[ch] = uint16_t(ch == 0 ? hi & 0xFF : hi >> 8);
      info->min[ch] = uint16_t(ch == 0 ? lo & 0xFF : lo >> 8);
    }
  }
  if ((info->flags & kWaveReqAverage) && info->average) GetAllChWaveAverage(info->average);
  if (info->flags & kWaveReqCopy) {
    for (int ch = 0; ch < 2; ++ch) {
      if (!(info->chMask & (1 << ch)) || !info->buffer[ch] || info->count[ch] <= 0) continue;
      if (info->flags & kWaveReqTrace) {
        SetArmReadDDRPara(ch, kRecordPoints);
        BuildTrace(ch);
        std::memcpy(info->buffer[ch], trace_[ch], size_t(std::min(info->count[ch], kTraceBytes)));
      } else {
        ReadDDRWave(ch, kRecordPoints);
        std::memcpy(info->buffer[ch], raw_[ch], size_t(std::min(info->count[ch], kRecordPoints)));
      }
    }
  }
  if (!stopped) Restore(sweep);
  return 0;
}
