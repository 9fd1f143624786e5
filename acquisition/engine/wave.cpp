// The waveform engine: construction, buffers, flags and the common helpers of
// its reads.
#include "acquisition/engine/wave.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/state/ids.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/sys_run_info.h"

uint8_t QelWaveData[kQelRasterBytes];
_wave WaveOp;

namespace {
constexpr int kClearedBytes = 200000;  // from the first screen record on
constexpr int kMathFirst = 5, kMathLast = 7, kRefFirst = 8, kRefLast = 11;
}  // namespace

_wave::_wave() {
  std::memset(screen_, 0, kClearedBytes);
  std::memset(trace_, 0, 2 * kTraceBytes);
  std::fill(&colMean_[0][0], &colMean_[0][0] + 2 * kColumns, -1.0f);
  std::fill(&recMean_[0][0], &recMean_[0][0] + 2 * kColumns, -1.0f);
}

int _wave::WaveInit(control* ctrl, _SysRunInfo* run) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::memset(screen_, 0, kClearedBytes);
  std::memset(trace_, 0, 2 * kTraceBytes);
  std::memset(average_, 0, sizeof average_);
  std::fill(&colMean_[0][0], &colMean_[0][0] + 2 * kColumns, -1.0f);
  std::fill(&recMean_[0][0], &recMean_[0][0] + 2 * kColumns, -1.0f);
  if (!ctrl || !run) {
    ctrl_ = nullptr;
    run_ = nullptr;
    return -1;
  }
  ctrl_ = ctrl;
  run_ = run;
  return -1;
}

// Until start-up binds them the engine works on the board control and the
// run state of the instrument.
control* _wave::Ctrl() const { return ctrl_ ? ctrl_ : &QelControl; }
_SysRunInfo* _wave::Run() const { return run_ ? run_ : &SysRunInfo; }

int _wave::Block(int ch) const { return Run()->independentTimeBase == 1 && (ch == 0 || ch == 1) ? ch : 0; }

int _wave::Status() const { return Run()->acqStatus[0]; }

int _wave::Reg(int reg) const { return Ctrl()->ReadAnyReg(reg); }

int _wave::ChannelStatus(int ch) const {
  int r = Reg(fpga::kAcqStatus);
  return r < 0 ? 0 : (r >> (4 * (ch & 1))) & 15;
}

void _wave::Word(int word, int value) const { Ctrl()->SendRealControl(word, value); }

// --- requests and flags ---

int _wave::GetRequestWaveChBit() const {
  if (Run()->guidance) return 3;
  int bits = requestCh_;
  if (pfOn_) bits |= 1 << (pfSource_ & 1);
  return bits;
}

int _wave::SetWaveRequestType(int type) { return requestType_ = type; }

int _wave::RequestAllChData() {
  waveinfor w{};
  w.flags = kWaveReqRecordMask2;
  w.chMask = 3;
  return RequestWaveData(&w);
}

void _wave::SetNewWaveFlag(int flag) {
  if (flag == 1 || flag == 2) newWave_ |= flag;
  else if (flag == 4) {
    newWave_ = 0;
    ready_ = 0;
  }
}

// An acquisition counts when the instrument runs (not stopped, not in the
// slow scan) and channel 1's field of register 770 says it was triggered or done.
void _wave::RealRunWaveCnt() {
  const int st = Status();
  if (st == kAcqStopped || st == kAcqSlowScan) return;
  const int f = ChannelStatus(0);
  if (f == 1 || f == 2) ++runCount_;
}

int _wave::PassFailOnOff(int on) {
  if (on < 0 || on > 1) return -1;
  if (on == 1) pfPass_ = pfFail_ = 0;
  return pfOn_ = on;
}

int _wave::SetPassFailCompareCh(int ch) {
  if (ch < 0 || ch > 1) return -1;
  return pfSource_ = ch;
}

int _wave::Decoderecode_play_flag_Set(int on, int mode) {
  decodePlayback_ = on ? 1 : 0;
  playbackPaused_ = on && mode == 2 ? 1 : 0;
  return 0;
}

// --- buffers ---

int _wave::GetWaveData(int ch, uint8_t* buf, int n) {
  if ((ch != 0 && ch != 1) || !buf || n < 0) return -1;
  n = std::min(n, kSlotBytes);
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::memcpy(buf, screen_[ch], size_t(n));
  return n;
}

int _wave::ScreenWaveExport(int ch, uint8_t* buf) {
  if ((ch != 0 && ch != 1) || !buf) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::memcpy(buf, trace_[ch], kTraceBytes);
  return kTraceBytes;
}

uint8_t* _wave::GetSerrenMem(int slot) { return slot >= 0 && slot < kTraceSlots ? trace_[slot] : nullptr; }

uint8_t* _wave::GetRawMem(int slot) { return slot >= 0 && slot < kRawSlots ? raw_[slot] : nullptr; }

int _wave::GetWaveSceenDataFor16(int slot, uint16_t* buf) {
  if (slot < 0 || slot >= kTraceSlots || !buf) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::copy(trace_[slot], trace_[slot] + kTraceBytes, buf);
  return kTraceBytes;
}

int _wave::GetColumnMeans(int ch, float* out) {
  if ((ch != 0 && ch != 1) || !out) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::copy(colMean_[ch], colMean_[ch] + kColumns, out);
  return kColumns;
}

int _wave::GetRecordColumns(int ch, float* mean, float* variance, float* distance) {
  if ((ch != 0 && ch != 1) || !mean || !variance || !distance) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::copy(recMean_[ch], recMean_[ch] + kColumns, mean);
  std::copy(colVariance_[ch], colVariance_[ch] + kColumns, variance);
  std::copy(colDistance_[ch], colDistance_[ch] + kColumns, distance);
  return kColumns;
}

int _wave::ClearScreenWave(int slot) {
  if (slot < 0 || slot >= kTraceSlots) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::memset(trace_[slot], 0, kTraceBytes);
  return 0;
}

int _wave::ScreenMathWaveInport(int slot, const uint8_t* buf) {
  if (slot < kMathFirst || slot > kMathLast || !buf) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::memcpy(trace_[slot], buf, kTraceBytes);
  return kTraceBytes;
}

// Values below 1 mark columns without data; the rest are clamped to 254.
int _wave::ScreenMathFFTInport(int slot, const float* values) {
  if (slot < kMathFirst || slot > kMathLast || !values) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  for (int i = 0; i < kTraceBytes; ++i) {
    const float v = values[i];
    trace_[slot][i] = !(v >= 1.0f) ? 0 : v >= 254.0f ? 254 : uint8_t(std::lround(v));
  }
  return kTraceBytes;
}

int _wave::UserUpdateRefxData(int src, const uint8_t* buf, int n) {
  if (src < kRefFirst || src > kRefLast || !buf || n < 0) return -1;
  n = std::min(n, kRecordPoints);
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::memcpy(raw_[src], buf, size_t(n));
  return n;
}

int _wave::GetWaveMaxMin(int ch, int* max, int* min, int n) {
  if (ch < 0 || ch >= kRawSlots || !max || !min) return -1;
  n = std::max(0, std::min(n, kRecordPoints));
  std::lock_guard<std::recursive_mutex> lock(mu_);
  int hi = 0, lo = 255;
  for (int i = 0; i < n; ++i) {
    hi = std::max<int>(hi, raw_[ch][i]);
    lo = std::min<int>(lo, raw_[ch][i]);
  }
  *max = hi;
  *min = lo;
  return 0;
}

// A displayed value is sample x sign + offset.
int _wave::GetWaveInvertPara(int ch, int* sign, int* offset) const {
  if (!sign || !offset) return -1;
  *sign = 1;
  *offset = 0;
  if (ch < 0 || ch > 1) return 0;
  const VerticalBlock& v = Run()->vertical[ch];
  const int w = v.invert, p = v.position;
  if (w == 0) return 0;
  if (w & 0x100) {
    if ((w & 0x2FF) == 0x200) *offset = 2 * p - 255;
    else {
      *sign = -1;
      *offset = 255;
    }
  } else if (w & 0x200) {
    if (w & 0xFF) {
      *sign = -1;
      *offset = 2 * p;
    }
  } else {
    *sign = -1;
  }
  return 0;
}

// The channel's raw samples at multiplier 1 (no interpolation), the samples
// of its screen read otherwise (the window's, which the interpolation draws),
// widened to 16 bits with the invert mapping applied: codes on the scale the
// record was acquired with, as GetRecordColumns gives its columns.
int _wave::GetMeasureWaveDataInvertFor16(int ch, uint16_t* buf, int n) {
  if ((ch != 0 && ch != 1) || !buf || n < 0) return -1;
  int sign, offset;
  GetWaveInvertPara(ch, &sign, &offset);
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const bool raw = Run()->horizontal[Block(ch)].interpMultiplier <= 1.0f;
  const int read = std::max(0, std::min(readPoints_[ch], kSlotBytes) - oddStart_);
  const uint8_t* src = raw ? raw_[ch] : screen_[ch] + oddStart_;
  n = std::min(n, raw ? kRecordPoints : read);
  for (int i = 0; i < n; ++i) buf[i] = uint16_t(std::min(255, std::max(0, src[i] * sign + offset)));
  return n;
}
