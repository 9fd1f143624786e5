// Records a remote command waits for: read by the main loop after the
// command asked for them, with the settings lock let go meanwhile.
#include "acquisition/engine/wave.h"
#include "core/messages/settings_lock.h"

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
