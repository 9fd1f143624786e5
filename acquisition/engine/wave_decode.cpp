// The waveform engine's bus-decode reads: the FPGA's decode FIFOs drained
// into the decode buffer.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "acquisition/engine/wave.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"

namespace {
constexpr int kDecodeReadCh = 5;
// Block selectors of the two decode FIFOs on the local bus.
constexpr uint32_t kDecodeSelector = 256, kSecondDecodeSelector = 320;
constexpr int kSingleSweep = 2;
constexpr int kPollUs = 500;
constexpr int64_t kTimeoutUs = 2000000;  // a drain that never sees its end marker stops here

// Decode reads pause acquisition and resume it, except in playback, in single
// sweep and while a stopped screen is read.
bool PausesAcquisition(const _wave& w, const _SysRunInfo* run) {
  return !w.IsDecodePlayback() && run->trigMode != kSingleSweep && !w.IsDecodeStopRead();
}
}  // namespace

int _wave::SetArmReadDDRPara_Decode(int, int) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const _SysRunInfo* run = Run();
  const int a = run->activeCh;
  const int b = run->independentTimeBase == 1 && (a == 0 || a == 1) ? a : 0;
  const uint32_t o = uint32_t(StartOffset(b));
  if (PausesAcquisition(*this, run)) Word(fpga::kPause, 1);
  Word(fpga::kReadArm, 1);
  Word(fpga::kReadChannel, kDecodeReadCh);
  Word(fpga::kReadOffset, int(o & 0xFFFF));
  Word(fpga::High(fpga::kReadOffset), int(o >> 16));
  Word(fpga::kReadArm, 0);
  return 0;
}

// Appends up to `length` bytes (whole blocks) of a decode FIFO; what the full
// buffer cannot take is read and dropped, so the FIFO still empties.
int _wave::DrainDecode(uint32_t selector, int length) {
  const int take = std::min(length, kDecodeBytes - decodeCount_);
  if (take > 0) {
    Ctrl()->ReadDecodeData(decode_ + decodeCount_, int(selector), take);
    decodeCount_ += take;
  }
  if (length > std::max(take, 0)) Ctrl()->ReadDecodeData(decodeDrop_, int(selector), length - std::max(take, 0));
  return length;
}

// Drains the decode FIFOs until their end marker, at most kTimeoutUs.
int _wave::GetWave_Decode(int, int, int) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  // Each drain holds one acquisition's records: appending the next
  // acquisition's to them would mix two time axes in one table.
  decodeCount_ = 0;
  const int64_t deadline = plat::MonoUs() + kTimeoutUs;
  bool movedAny = false, movedLast = false, ended = false;
  while (!ended) {
    if (plat::MonoUs() > deadline) {
      std::printf("Decode read time-out \n");
      break;
    }
    int level;
    uint32_t selector;
    if (Reg(fpga::kFifoReady) == 1) {
      level = int16_t(uint16_t(Reg(fpga::kFifoLevel)));
      ended = level == -1 || level == -32;
      selector = kDecodeSelector;
    } else if (Reg(fpga::kSecondReady) == 1) {
      level = int16_t(uint16_t(Reg(fpga::kFifoLevel)));
      const int end = Reg(fpga::kSecondEnd);
      ended = end == 65535 || end == 65504;
      selector = kSecondDecodeSelector;
    } else {
      plat::SleepUs(kPollUs);
      continue;
    }
    if (ended) break;
    const int blocks = std::min(level > 0 ? level / kBlock * kBlock : 0, kDecodeStepBytes);
    movedLast = blocks > 0;
    if (blocks > 0) {
      DrainDecode(selector, blocks);
      movedAny = true;
    } else {
      plat::SleepUs(kPollUs);
    }
  }
  // The last poll before the end marker moved nothing: the collected bytes
  // are cleared (the count stays until the next drain).
  if (!movedAny || !movedLast) std::memset(decode_, 0, size_t(decodeCount_));
  if (PausesAcquisition(*this, Run())) Resume();
  ++decodeReads_;
  return decodeCount_;
}

int _wave::DecodedataExport(int ch, uint8_t* buf, int n) {
  if (ch < 0 || ch >= 2 || !buf || n < 0) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const int count = std::min(decodeCount_, n);
  std::memcpy(buf, decode_, size_t(count));
  return count;
}

void _wave::DecodedataSetdefault() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::memset(decode_, 0, size_t(decodeCount_));
  decodeCount_ = 0;
}
