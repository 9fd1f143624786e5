// Averaging of traces: a running average over the count in force, restarted
// whenever what the frames were taken with changes.
#include <algorithm>
#include <cmath>

#include "acquisition/acquire/task_acquire.h"
#include "acquisition/engine/wave.h"
#include "core/state/sys_run_info.h"

namespace {
constexpr int kAverageMode = 3;
constexpr int kSlowScan = 5;
constexpr uint64_t kHashBasis = 14695981039346656037ull, kHashPrime = 1099511628211ull;  // FNV-1a
}  // namespace

// Frame 1 takes the inputs as they are (and writes them out); frame n
// weights the new one 1 / min(n, N). Columns without data stay empty.
int _wave::AverageInto(float* acc, const uint8_t* in, uint8_t* out, int n, int N) {
  if (!acc || !in || !out || n <= 0 || N <= 0) return -1;
  const int m = std::min(n, N);
  for (int i = 0; i < kTraceBytes; ++i) {
    const float x = in[i];
    acc[i] = n == 1 ? x : (x + float(m - 1) * acc[i]) / float(m);
    out[i] = in[i] == 0 ? 0 : uint8_t(std::clamp(std::lround(acc[i]), 1L, 254L));
  }
  return 0;
}

int _wave::AverageProcess(const uint8_t* in, uint8_t* out, int n, int N) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return AverageInto(average_[0], in, out, n, N);
}

// In average mode each new read of a channel is one frame: the running
// average of its column means, which the trace then shows as one line (the
// extremes of the frames would keep the noise's band). The frames start
// over when the count, the channel's vertical settings, the time base or
// the trigger position change, or the acquisitions were counted afresh.
void _wave::AverageTrace(int ch, bool fresh) {
  const _SysRunInfo* run = Run();
  if (run->acqMode != kAverageMode || run->acqStatus[0] == kSlowScan || waveType_ == 3) {
    avgFrames_[ch] = 0;
    return;
  }
  float* acc = average_[ch];
  const int index = std::clamp<int>(run->averageIndex, 0, kAverageEntries - 1);
  const VerticalBlock& v = run->vertical[ch];
  const HorizontalBlock& h = run->horizontal[Block(ch)];
  const int64_t settings[] = {index, v.vdivIndex, v.position, v.invert, v.coupling, h.realTimeBase, h.preTrigDepth};
  uint64_t key = kHashBasis;
  for (int64_t s : settings) key = (key ^ uint64_t(s)) * kHashPrime;
  if (!fresh && key != avgKey_[ch]) return;  // the trace built for other settings stands
  if (fresh) {
    const int count = TaskForAcquire::Average[index];
    const uint32_t counted = runCount_;
    if (key != avgKey_[ch] || counted < avgRun_[ch]) avgFrames_[ch] = 0;
    avgKey_[ch] = key;
    avgRun_[ch] = counted;
    if (avgFrames_[ch] < count) ++avgFrames_[ch];
    const int m = avgFrames_[ch];
    for (int x = 0; x < kColumns; ++x) {
      const float in = colMean_[ch][x];
      // A column without data in this frame or the ones before starts again.
      acc[x] = m == 1 || in < 0 || acc[x] < 0 ? in : (in + float(m - 1) * acc[x]) / float(m);
    }
  }
  if (avgFrames_[ch] == 0) return;
  uint8_t* t = trace_[ch];
  for (int x = 0; x < kColumns; ++x) {
    colMean_[ch][x] = acc[x];
    t[x] = t[kColumns + x] = acc[x] < 0 ? 0 : uint8_t(std::clamp(std::lround(acc[x]), 1L, 254L));
  }
}
