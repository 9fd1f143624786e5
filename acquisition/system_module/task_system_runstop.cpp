// RUN/STOP of the system module: stopping pauses the FPGA's acquisitions once
// its drawing is idle; starting re-applies the time base and channels and
// restarts sampling. Single sweeps announce their start and stop.
#include <cstdio>

#include "acquisition/engine/wave.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "acquisition/system_module/task_system.h"
#include "acquisition/system_module/task_system_internal.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/menu/draw_hooks.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"

using namespace sysmod;

namespace {
constexpr int kDrawIdle = 5, kDrawPolls = 31, kDrawPollMs = 10;
constexpr int kSingleShowMs = 200, kScanStopMs = 500;
constexpr int kAcqBlockStarting = 1;

control& Board() { return *Sys().board; }
_SysRunInfo* Info() { return Run().GetSysRunInfoBaseAddr(); }
bool Single() { return Run().GetTriggerMode() == kTrigModeSingle; }

// In single mode the new status is shown at once.
void ShowSingleStatus() {
  if (!Single()) return;
  Draw().showAcqStatus();
  SettingsWaitMs(kSingleShowMs);
}

// The waits of a start or a stop let the settings lock go: a command that
// runs meanwhile (a remote RUN or STOP) may have turned it round, and what
// it did then stands.
bool StillStopping() { return Status0() == kAcqStopped; }

void WaitDrawingIdle() {
  int n = 0;
  for (; n < kDrawPolls; ++n) {
    const int reg = Board().ReadAnyReg(fpga::kDrawStatus);
    if (reg >= 0 && (reg >> 8 & 15) == kDrawIdle) return;
    SettingsWaitMs(kDrawPollMs);
  }
  std::printf(" DXP_STATUS[0x334]  DrawWaitNum = %d \n", n);
}

void Start() {
  SetBothStatus(kAcqRunning);
  ShowSingleStatus();
  if (Status0() != kAcqRunning) return;  // stopped again meanwhile
  Board().LedCtrl(Info());
  const bool ind = Run().IsIndependTimeBase();
  const int savedSource = Sys().trigger->GetTriggerSource();
  for (int b = 0; b < (ind ? 2 : 1); ++b) {
    Run().SetAcquireStatus(b, kAcqBlockStarting);
    Sys().timeBase->AdjTimeBase(b, 0);
    if (ind) {
      Sys().trigger->SetTriggerSource(b);
      Sys().trigger->AdjTriggerPosition(0);
    }
  }
  Sys().trigger->RestoreTriggerSource(savedSource);
  const int active = Run().GetActivCh();
  const int mask = Run().GetChStatus();
  for (int ch = 0; ch < 2; ++ch) Sys().vertical->SetChOnOff(ch, mask >> ch & 1);
  Run().SetActivCh(active);
  Sys().vertical->AllChannelCtrlRefresh();
  if (Status0() == kAcqStopped) return;  // stopped again while the time base settled
  Board().SysSample();
  if (Single()) {
    Draw().clearDisplayWave();
    Message(kMsgSingleStart);
  }
  Sys().wave->ClearRealRunWaveCnt();
  Run().ClearInterruptFlag();
  Board().LedCtrl(Info());
}

// A stopped roll keeps its picture from the FPGA's write index on.
void StopRoll() {
  const int lo = Board().ReadAnyReg(fpga::kRollIndexLow), hi = Board().ReadAnyReg(fpga::kRollIndexHigh);
  const int64_t index = lo < 0 || hi < 0 ? 0 : (int64_t(hi) << 16 | lo) * 2;
  Sys().wave->SetRollDataIndex(int(index % _wave::kRecordPoints));
  Draw().clearPicture();
  Run().SetWaveType(kWaveRaster);
  Sys().timeBase->AdjTimeBase(0, 0);
}
}  // namespace

int RunStop() {
  const int st = Status0();
  if (st == kAcqStopped) {
    Start();
    return 0;
  }
  if (st == kAcqSlowScan) {
    Board().SendRealControl(fpga::kPause, 1);
    SetBothStatus(kAcqStopped);
    ShowSingleStatus();
    if (!StillStopping()) return 0;
    Board().LedCtrl(Info());
    SetStatus0(kAcqStopped);
    Board().SendRealControl(fpga::kPause, 1);
    SettingsWaitMs(kScanStopMs);
    if (!StillStopping()) return 0;
  } else {
    SetBothStatus(kAcqStopped);
    ShowSingleStatus();
    if (!StillStopping()) return 0;
    Board().LedCtrl(Info());
    SetStatus0(kAcqStopped);
    WaitDrawingIdle();
    if (!StillStopping()) return 0;
    Board().SendRealControl(fpga::kPause, 1);
  }
  Board().BeeOff();
  if (Single()) Message(kMsgSingleStop);
  if (Run().GetWaveType() == kWaveRoll) StopRoll();
  return 0;
}

// Forces running: both statuses 0, time base 0 re-applied and sampling restarted.
int RunStopTest() {
  SetBothStatus(kAcqRunning);
  ShowSingleStatus();
  SetStatus0(kAcqRunning);
  Sys().timeBase->AdjTimeBase(0, 0);
  Board().SysSample();
  Board().LedCtrl(Info());
  return 0;
}
