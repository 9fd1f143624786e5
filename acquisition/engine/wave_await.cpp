// Records a remote command waits for: read by the main loop after the
// command asked for them, with the settings lock let go meanwhile.
#include "acquisition/engine/wave.h"
#include "core/messages/settings_lock.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"

namespace {
constexpr int kAwaitPollMs = 2;
constexpr int kChannelBits = 3;
}  // namespace

int _wave::AwaitRecords(int channels, int reads, int limitMs) {
  channels &= kChannelBits;
  int served = 0;
  for (; channels && served < reads; ++served) {
    requestCh_ |= channels;
    requestType_ = kWaveReqRecordMask;
    for (int waited = 0; requestCh_ & channels; waited += kAwaitPollMs) {
      if (waited >= limitMs) return served;
      SettingsWaitMs(kAwaitPollMs);  // the main loop reads them meanwhile
    }
  }
  return served;
}

bool _wave::KeptViewPending() const {
  if (!KeptRecordStatus(Status())) return false;
  const _SysRunInfo* run = Run();
  // The engine busy (drawing the record again, a copy of it): pending, and
  // never waited for here, so the answer comes at once.
  std::unique_lock<std::recursive_mutex> lock(mu_, std::try_to_lock);
  if (!lock.owns_lock()) return true;
  for (int ch = 0; ch < 2; ++ch)
    if ((run->sourceOn & run->sourceOnSnapshot & (1 << ch)) && !StoppedView(ch)) return true;
  return false;
}
