// The waveform engine's roll read: the roll FIFOs appended to the channels'
// screen records, which wrap at 7000 samples.
#include <algorithm>
#include <cstring>

#include "acquisition/engine/wave.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/sys_run_info.h"

namespace {
constexpr int kMinRollBytes = 33;
constexpr int kGround = 2;
constexpr float kRollSamplesPerPoint = 10.0f;
}  // namespace

// Reads whole blocks of both roll FIFOs, at most one record's worth, so a
// read wraps past the record end at most once. Returns the bytes appended.
int _wave::GetRollWaveData() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const int waiting = Reg(fpga::kRollWaiting);
  if (waiting < kMinRollBytes) return 0;
  const int n = std::min(waiting, kRecordPoints) / kBlock * kBlock;
  _SysRunInfo* run = Run();
  for (int ch = 0; ch < 2; ++ch) {
    uint8_t* rec = screen_[ch];
    const int idx = rollIndex_;
    const int tail = kRecordPoints - idx;
    if (n <= tail) {
      Ctrl()->ReadRollWaveData(ch, rec + idx, n);
    } else {
      Ctrl()->ReadRollWaveData(ch, rollTemp_, n);
      std::memcpy(rec + idx, rollTemp_, size_t(tail));
      std::memcpy(rec, rollTemp_ + tail, size_t(n - tail));
      rollLooped_ = 1;
    }
    if (run->vertical[ch].coupling == kGround) {
      const uint8_t code = GroundCode(ch);
      for (int i = 0; i < n; ++i) rec[(idx + i) % kRecordPoints] = code;
    }
  }
  rollIndex_ = (rollIndex_ + n) % kRecordPoints;
  Reg(fpga::kRollWaiting);
  for (int b = 0; b < 2; ++b) run->horizontal[b].shownSamplesPerPoint = kRollSamplesPerPoint;
  readSpp_[0] = readSpp_[1] = kRollSamplesPerPoint;
  newRead_ = 1;
  ready_ |= 3;
  return n;
}

void _wave::SetRollDataIndex(int i) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  rollIndex_ = i >= 0 && i < kRecordPoints ? i : 0;
}

int _wave::SetWaveType(int type) {
  if (type != 2 && type != 3) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  if (type == 3) {
    rollIndex_ = 0;
    rollLooped_ = 0;
    std::memset(screen_[0], 0, kSlotBytes);
    std::memset(screen_[1], 0, kSlotBytes);
  }
  return waveType_ = type;
}
