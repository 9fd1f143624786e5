// RAW records of the waveform read-out: the engine's 7000-sample record copy,
// and the streamed read of a longer acquisition memory in 10,240-byte chunks
// with the progress bar. The long read runs whole under the main loop's pass
// boundary (`mymutex`) with the engine's acquisition held, so no pass reads
// (and so resumes) acquisition between two chunks: every chunk comes from the
// same acquisition, and the screen waits meanwhile. A stopped record is read
// as it stands, without a new acquisition. The long record's buffer goes when
// its read ends (MODE set again).
#include <pthread.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "acquisition/engine/wave.h"
#include "ui/readout/wave_scpi.h"
#include "acquisition/models/x_system.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/messages/mymutex.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "platform/clock.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kShortRecord = _wave::kRecordPoints;
constexpr int kChunkBytes = 10240;
constexpr int kBarSegments = 40;
constexpr int kBarRow = 380, kBarCol = 215;
constexpr int kDonePolls = 2000, kDonePollMs = 1;
constexpr int kRollStatus = 5, kFormatXY = 1;
constexpr int kMsgRollDisabled = 83, kMsgXYDisabled = 17, kMsgStored = 10;

uint8_t DDrBuff[kShortRecord];
// The long record, sized for the depth read (up to 70,000,000 samples), and
// the record DATA? serves. It is taken in huge pages where the system has
// them: a fresh buffer of 4 KiB pages costs a fault for each page the read
// first touches, a good part of the read's time.
constexpr size_t kHugePage = size_t(2) << 20;
struct FreeBuffer {
  void operator()(uint8_t* p) const { std::free(p); }
};
std::unique_ptr<uint8_t[], FreeBuffer> ddrBuffer;
int64_t ddrCapacity = 0;

uint8_t* NewLongBuffer(int64_t bytes) {
  const size_t size = (size_t(bytes) + kHugePage - 1) / kHugePage * kHugePage;
  void* p = nullptr;
  if (posix_memalign(&p, kHugePage, size) != 0) return nullptr;
#ifdef MADV_HUGEPAGE
  madvise(p, size, MADV_HUGEPAGE);  // a hint: without huge pages the buffer works the same
#endif
  return static_cast<uint8_t*>(p);
}

const uint8_t* record = nullptr;
int64_t recordSize = 0;

_SysRunInfoOp& Run() { return *SystemResource.runStatus; }

// The bar, drawn while the read holds the main loop at its pass boundary.
void Bar(int mode, int step) { SystemResource.draw->DrawWorkProcess(kBarRow, kBarCol, mode, step); }

uint8_t* LongBuffer(int64_t depth) {
  if (depth > ddrCapacity) {
    ddrBuffer.reset();
    ddrCapacity = 0;
    ddrBuffer.reset(NewLongBuffer(depth));
    if (!ddrBuffer) return nullptr;
    ddrCapacity = depth;
  }
  return ddrBuffer.get();
}

// The read's start after the trigger: the record's first sample (the record
// itself when the trigger lies left of it, a trigger delay).
int32_t RecordOffset(int64_t depth) {
  const int64_t first = x_system::kRecordCentre - depth / 2;
  const int64_t trigger = Run().GetSysRunInfoBaseAddr()->horizontal[0].preTrigDepth;
  return trigger < first ? 0 : int32_t(first - trigger);
}
}  // namespace

int64_t WaveRecordDepth() {
  double points = 0;
  if (Run().GetMemDepth(&points) == 0) points = TimeBase.GetAutoMemDepth(TimeBase.GetRealTimeBase(0));
  return int64_t(points);
}

const uint8_t* WaveRawRecord(int64_t* size) {
  if (size) *size = record ? recordSize : 0;
  return record;
}

int WaveReadShortRecord(int source) {
  WaveReleaseRawRecord();
  if (source != 0 && source != 1) return -1;
  waveinfor info{};
  info.flags = kWaveReqCopy;
  info.chMask = uint16_t(1 << source);
  info.buffer[source] = DDrBuff;
  info.count[source] = kShortRecord;
  if (WaveOp.RequestWaveData(&info) < 0) return -1;
  record = DDrBuff;
  recordSize = kShortRecord;
  return 0;
}

namespace {
// The acquisition held for the chunks of one read, and let go however the
// read ends.
struct HeldAcquisition {
  HeldAcquisition() { WaveOp.HoldAcquisition(true); }
  ~HeldAcquisition() { WaveOp.HoldAcquisition(false); }
};

// One acquisition (none when stopped: the stopped record is read as it
// stands), then the record chunk by chunk. Called under `mymutex`.
int ReadLongRecord(int source) {
  if (Run().GetAcquireStatus(0) != kAcqStopped) {
    TimeBase.AdjTimeBase(0, 0);
    SystemResource.board->SysSample();
    // An acquisition that does not come in time is no error: the memory is read as it is.
    for (int i = 0; i < kDonePolls && !(SystemResource.board->ReadAnyReg(fpga::kDone) & 1); ++i)
      plat::SleepMs(kDonePollMs);
  }
  Bar(1, 0);

  const int64_t depth = WaveRecordDepth();
  uint8_t* buf = LongBuffer(depth);
  if (!buf || depth <= 0) return -1;
  const int32_t offset = RecordOffset(depth);
  const int64_t chunks = (depth + kChunkBytes - 1) / kChunkBytes;
  const int64_t every = chunks >= kBarSegments ? chunks / kBarSegments : 1;
  const int perChunk = chunks >= kBarSegments ? 1 : int(kBarSegments / chunks);
  int64_t got = 0;
  {
    HeldAcquisition held;
    for (int64_t c = 0; c < chunks; ++c) {
      const int n = int(std::min<int64_t>(kChunkBytes, depth - got));
      const bool last = c + 1 == chunks;
      int r;
      {
        std::lock_guard<std::recursive_mutex> lock(WaveOp.ReadLock());
        if (last) WaveOp.HoldAcquisition(false);  // the last chunk resumes acquisition
        WaveOp.SetDDRWave_addr(source, offset + int32_t(got));
        r = WaveOp.GetWave_by_offset(source, buf + got, n, last ? 1 : 0);
      }
      if (r != n) break;
      got += n;
      if (last)
        Bar(2, kBarSegments);
      else if ((c + 1) % every == 0)
        Bar(2, perChunk);
    }
  }
  std::printf("\n offset ===%lld\n", static_cast<long long>(got));
  if (got == 0) {
    WaveReleaseRawRecord();
    return -1;
  }
  record = buf;
  recordSize = got;
  SystemResource.message->SetMessage(kMsgStored);
  return 0;
}
}  // namespace

int Get_wave_ddr_Data(int source) {
  WaveReleaseRawRecord();
  if (source != 0 && source != 1) return -1;
  if (Run().GetAcquireStatus(0) == kRollStatus) {
    SystemResource.message->SetMessage(kMsgRollDisabled);
    return -1;
  }
  if (Run().GetDiplayFormat() == kFormatXY) {
    SystemResource.message->SetMessage(kMsgXYDisabled);
    return -1;
  }
  SettingsKeep whole;  // its waits keep the lock: the main loop takes the boundary under it
  pthread_mutex_lock(&mymutex);
  const int rc = ReadLongRecord(source);
  pthread_mutex_unlock(&mymutex);
  return rc;
}

void WaveReleaseRawRecord() {
  record = nullptr;
  recordSize = 0;
  ddrBuffer.reset();
  ddrCapacity = 0;
}
