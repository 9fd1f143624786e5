// One pass of the main loop: keys, finished acquisitions, processing, drawing.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "acquisition/system_module/task_system.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "app/startup.h"
#include "core/state/ids.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/messages/msg.h"
#include "core/messages/mymutex.h"
#include "core/messages/remote_errors.h"
#include "core/messages/settings_lock.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "platform/devices/panel.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/usbtmc/usbtmc.h"
#include "ui/screen/qel_draw.h"
#include "core/state/wave_types.h"

int32_t IntNum = 0;

namespace {
uint8_t KeyBuff[50];
constexpr int kLockedKeyMessage = 79;
constexpr int kRecordPoints = 7000;
// Roll frames are paced to the screen's 60 frames a second; the roll FIFOs
// keep what arrives between them.
constexpr int64_t kRollFrameUs = 1000000 / 60;
// SysRefresh's intervals: the acquisition poll and the clock refresh.
constexpr int64_t kAcqPollUs = 300000;
constexpr int64_t kClockRefreshUs = 1000000;
// An idle loop sleeps until a key, a remote key, a finished acquisition or a
// change another thread makes wakes it, or its next timer is due; it looks
// round at least this often for what wakes nobody.
constexpr int64_t kLongestIdleUs = 100000;
int64_t g_nextRollUs = 0;  // the next paced roll frame
int64_t g_nextPollUs = 0;  // SysRefresh's next acquisition poll

bool IsBusTrigger(int type) { return type >= 12 && type <= 16; }

void DecodeRead() {
  WaveOp.SetArmReadDDRPara_Decode(5, 8192);
  WaveOp.GetWave_Decode(1, 0, 8192);
}

// The 7000-point record of each requested channel that is on, and its screen
// read; with `everyOn` the screen read of every channel that is on.
void ReadChannelRecords(int requested, bool everyOn = false) {
  int on = SysRunStatus.GetChStatus();
  for (int ch = 0; ch < 2; ++ch) {
    if (!(on & (1 << ch))) continue;
    const bool wanted = requested & (1 << ch);
    if (wanted) WaveOp.ReadDDRWave(ch, kRecordPoints);
    if (wanted || everyOn) WaveOp.SetArmReadDDRPara(ch, kRecordPoints);
  }
}

// Bus-decode reads of a finished acquisition.
void ReadDecode(int status, int realTimeBase) {
  const bool bus = IsBusTrigger(SysRunStatus.GetTrigType());
  const bool playback = WaveOp.IsDecodePlayback();
  if ((bus && status != 4) || playback) {
    WaveOp.ClearDecodeStopRead();
    DecodeRead();
  }
  if (!bus) {
    if (playback && !WaveOp.IsDecodeStopRead()) {
      WaveOp.SetDecodeStopRead();
      DecodeRead();
    }
    if (playback) DecodeRead();
  } else {
    const bool stoppedFast = status == 4 && realTimeBase <= 25;
    if (stoppedFast) {
      if (!WaveOp.IsDecodeStopRead()) {  // a stopped screen is read once
        WaveOp.SetDecodeStopRead();
        DecodeRead();
      }
    } else if (playback && !WaveOp.IsDecodeStopRead()) {
      WaveOp.SetDecodeStopRead();
      DecodeRead();
    }
    if ((status == 4 && realTimeBase > 25) || playback) DecodeRead();
  }
}

// Bus-decode read of a finished acquisition, then the channel records.
void ReadDecodeAndRecords(int requested, int status, int realTimeBase) {
  ReadDecode(status, realTimeBase);
  if (TaskSystem.IsRunOpCmd() < 0) {
    ReadChannelRecords(requested);
    WaveOp.ReadFFTWaveData();
  }
  WaveOp.SetNewWaveFlag(1);
  WaveOp.ResetRequestType();
}

// The records and the raster of a finished acquisition. The reads change no
// setting and take long on a deep record: remote commands run meanwhile, and
// the replay that follows, under the lock again, finds the state they left.
void ReadFinishedAcquisition(int requested, int trigType, int realTimeBase) {
  SettingsLetGo reading;
  // A remote RAW read or deep CSV take holds the pass boundary while it
  // reads the board: these reads never run beside it. Let go before the
  // settings lock is taken back, the order those readers take them in.
  pthread_mutex_lock(&mymutex);
  const int waveType = SysRunStatus.GetWaveType();
  // The engine's traces (measurements, averaging, the read-out) follow every
  // acquisition, whether the screen paints the raster or draws the traces:
  // every channel that is on is read.
  if (waveType == kWaveTraces || waveType == kWaveRaster) {
    ReadChannelRecords(requested, true);
    // The spectrum's record comes from the same acquisition.
    if (TaskSystem.IsRunOpCmd() < 0) WaveOp.ReadFFTWaveData();
    WaveOp.SetNewWaveFlag(1);
    WaveOp.ResetRequestType();
    // A bus trigger's decode records come with every acquisition, whatever
    // draws the traces.
    if (IsBusTrigger(trigType)) ReadDecode(SysRunStatus.GetAcquireStatus(0), realTimeBase);
  } else if (requested || IsBusTrigger(trigType)) {
    ReadDecodeAndRecords(requested, SysRunStatus.GetAcquireStatus(0), realTimeBase);
  }

  QelControl.SendRealControl(fpga::kRasterRead, 1);
  QelControl.ReadQel(QelWaveData);
  WaveOp.SetNewWaveFlag(2);
  QelControl.SendRealControl(fpga::kRasterRead, 0);
  pthread_mutex_unlock(&mymutex);
}

// A roll frame's read of the board's roll FIFOs changes no setting: remote
// commands run meanwhile, as beside an acquisition's reads.
void ReadRollFrame() {
  SettingsLetGo reading;
  pthread_mutex_lock(&mymutex);
  WaveOp.GetRollWaveData();
  pthread_mutex_unlock(&mymutex);
}

// The traces of the records this pass read (a stopped record's moved window
// read again), under the engine's own lock: they change no setting, so
// remote commands run meanwhile.
void ProcessTraces() {
  SettingsLetGo processing;
  pthread_mutex_lock(&mymutex);
  WaveOp.WaveProcess();
  pthread_mutex_unlock(&mymutex);
}

void HandleFinishedAcquisition() {
  const int requested = WaveOp.GetRequestCh();
  const int status = GetRealSysAcqStatus();
  SysRunStatus.ClearInterruptFlag();
  ++IntNum;
  const int trigType = SysRunStatus.GetTrigType();
  const int realTimeBase = SysRunStatus.GetRealTimeBase(0);
  const uint32_t resets = QelControl.ResetCount();
  WaveOp.RealRunWaveCnt();

  if (SysRunStatus.GetTriggerMode() == 2 && status == 2) {
    taskresponse request{}, reply{};
    request.key.key = kKeyRunStop;
    request.key.step = 1;
    TaskManage.RequestTaskAssist(0, &request, &reply);
  }

  ReadFinishedAcquisition(requested, trigType, realTimeBase);

  const int replayed = TaskSystem.RunOpCmd();  // negative: nothing was queued
  TaskSystem.DelayRunOpCmd();
  // A change made while the records were read restarted sampling: what was
  // read is the acquisition before it, still on the settings shown.
  const bool readWhole = QelControl.ResetCount() == resets;
  if (replayed < 0 && readWhole && (status == 1 || status == 2 || status == 5)) {
    Vertical.YParaSyncRefresh();
    TimeBase.XParaSyncRefresh(0);
  }
  QelDraw.SetWaveAreaRefresh();
}

// The shown copies of the vertical and horizontal settings take the settings
// in force, as after an acquisition; true when that changed any of them.
bool SyncShownSettings() {
  _SysRunInfo* info = SysRunStatus.GetSysRunInfoBaseAddr();
  constexpr size_t kVertical = sizeof info->vertical, kHorizontal = sizeof info->horizontal;
  static_assert(std::is_trivially_copyable_v<VerticalBlock> && std::is_trivially_copyable_v<HorizontalBlock>,
                "the shown settings are compared bytewise");
  unsigned char before[kVertical + kHorizontal];
  std::memcpy(before, info->vertical, kVertical);
  std::memcpy(before + kVertical, info->horizontal, kHorizontal);
  const auto sourceOn = info->sourceOnSnapshot;
  const auto workCh = info->workChSnapshot;
  Vertical.YParaSyncRefresh();
  TimeBase.XParaSyncRefresh(0);
  return std::memcmp(before, info->vertical, kVertical) != 0 ||
         std::memcmp(before + kVertical, info->horizontal, kHorizontal) != 0 ||
         sourceOn != info->sourceOnSnapshot || workCh != info->workChSnapshot;
}

// Routes one key to its module.
void RouteKey(int code, int step, bool remote) {
  taskresponse r{};
  r.key.key = uint16_t(code);
  r.key.step = int16_t(step);
  r.key.useStep = remote ? 1 : 0;
  int id = KeyBoard.KeyValueDiscern(code);
  std::printf("taskid = %d \n", id);

  int route = 1;
  if (id == kCurrentTaskKey) {
    route = 1;
  } else if (id == 0) {
    route = 0;
    if (code == kKeyMenuOnOff && TaskManage.TaskBackgroundResponse(&r, nullptr)) r.key.key = KEY_NO_KEY;
  } else {
    const int before = TaskManage.GetTaskCurrId();
    TaskManage.SetWorkTaskbyId(id);
    if (id != before && id != -1 && TaskManage.GetTaskCurrId() == id)
      TaskManage.TaskControlHandover(before, &r);
    if (SysRunStatus.GetMenuDisplayTimeS() != 3) TaskManage.TaskBackgroundResponse(&r, nullptr);
  }
  TaskManage.RunTaskOpResponse(route, &r);

  const bool selectOrMenu = code == 72 || code == 76 || code == 77 || code == kKeyMenuOnOff;
  if (route == 1 && !selectOrMenu && !SysRunStatus.IsMenuStatus()) SysRunStatus.MenuOnOff();
  SysRunStatus.RefreshMenuTime();
  SysRunStatus.SetPushKey();
  SysRunStatus.SetDrawRefresh();
}

enum class Intake { None, Routed, Dropped };

// Takes one key, the remote ring first, and routes it.
Intake KeyIntake() {
  int item = -1;
  int n = KeyBoard.GetKey(KeyBuff, &item);
  if (n <= 0 && !KeyBoard.IsScpiKey()) return Intake::None;
  if (n > 0 && item != -1 && item != 0xFFFF)
    std::printf("KeyRecItem: %d\n", item);

  int code, step;
  bool remote = false;
  if (KeyBoard.TakeScpiKey(&code, &step, &remote) == 0) {
    std::printf("SCPI Key = %d \n", code);
    std::printf("SCPI step = %d \n", step);
    // A panel key read in the same pass waits for the next one instead of being lost.
    if (n > 0) KeyBoard.UserSetKey(KeyBuff[0], KeyBoard.GetKeyStep(), item);
    {
      RemoteCommandScope scope(remote);  // a key a remote command queued refuses to that user
      RouteKey(code, step, true);
    }
    // Done (a reset, an auto-set run whole): the commands sent after it may run.
    KeyBoard.ScpiKeyRouted();
    return Intake::Routed;
  }
  code = KeyBuff[0];
  step = KeyBoard.GetKeyStep();
  if (KeyBoard.IsKeyLock() || KeyBoard.KeyValueIsLock(code) == 1) {
    QelMsg.SetMessage(kLockedKeyMessage);
    return Intake::Dropped;
  }
  RouteKey(code, step, false);
  return Intake::Routed;
}
}  // namespace

int GetRealSysAcqStatus() {
  if (SysRunStatus.GetAcquireStatus(0) == 4) return 4;
  const bool indep = SysRunStatus.IsIndependTimeBase();
  int ch = 0;
  if (indep) {
    int a = SysRunStatus.GetActivCh();
    if (a == 0 || a == 1) ch = a;
  }
  if (SysRunStatus.GetRealTimeBase(ch) >= 26 && SysRunStatus.GetTriggerMode() == 0) {
    SysRunStatus.SetAcquireStatus(ch, 5);
    return 5;
  }
  if (!(SysRunStatus.GetChStatus() & 0xF)) return 0;
  const int reg = QelControl.GetCurrAcquStatus();
  static const int kMap[8] = {0, 1, 2, 0, 3, 0, 0, 0};
  int last = 0;
  for (int c = 0; c < (indep ? 2 : 1); ++c) {
    last = reg < 0 ? 0 : kMap[(reg >> (4 * c)) & 7];
    SysRunStatus.SetAcquireStatus(c, last);
  }
  return last;
}

constexpr int64_t kLockQueryUs = 3000000;  // the USB key lock is looked at this often

void SysRefresh() {
  static int64_t lastPoll = plat::MonoUs();
  static int32_t clockSec = 0, clockUsec = 0;
  static int64_t lastLockQuery = 0;
  const int64_t now = plat::MonoUs();
  // A key lock taken over USB goes once the host has suspended the bus.
  if (now - lastLockQuery >= kLockQueryUs) {
    lastLockQuery = now;
    if (Scpi.GetKeyLockFrom() == kKeyLockUsbTmc && UsbTmcSuspended()) {
      KeyBoard.KeyLockDisable();
      Scpi.SetKeyLockFrom(kKeyLockNone);
    }
  }
  if (SysRunStatus.IsPushKey()) lastPoll = now;
  if (now - lastPoll > kAcqPollUs) {
    GetRealSysAcqStatus();
    if (QelControl.ReadAnyReg(fpga::kDone) == 1) SysRunStatus.SetInterruptFlag();
    lastPoll = now;
  }
  g_nextPollUs = lastPoll + kAcqPollUs + 1;
  int32_t sec, usec;
  plat::WallTime(&sec, &usec);
  const int64_t since = (int64_t(sec) - clockSec) * 1000000 + (usec - clockUsec);
  if (since < 0) {  // the clock was set back
    clockSec = sec;
    clockUsec = usec;
    lastPoll = now;
  } else if (since > kClockRefreshUs) {
    // The status bar shows the date and the time to the minute, drawn with the
    // page around it: a new minute draws the page again.
    const _SysRunInfo& info = *SysRunStatus.GetSysRunInfoBaseAddr();
    const int32_t shown[5] = {info.year, info.month, info.day, info.hour, info.minute};
    SysRunStatus.RefreshRtcTime();
    const int32_t fresh[5] = {info.year, info.month, info.day, info.hour, info.minute};
    if (!std::equal(shown, shown + 5, fresh)) SysRunStatus.SetDrawRefresh();
    clockSec = sec;
    clockUsec = usec;
  }
  QelControl.SendTimingControl();
}

namespace {
// The part of a pass that changes settings, under the settings lock; false
// for a locked key (the pass ends there).
bool ChangeSettings(bool pacedRoll, bool* busy) {
  const Intake intake = KeyIntake();
  if (intake == Intake::Dropped) return false;
  *busy = intake == Intake::Routed;

  const bool rolling = SysRunStatus.GetWaveType() == kWaveRoll && SysRunStatus.GetAcquireStatus(0) != 4;
  const int64_t now = plat::MonoUs();
  if (rolling && pacedRoll && now < g_nextRollUs) {
    // Between two roll frames: the roll FIFOs fill until the next one.
  } else if (rolling) {
    // The next frame a frame time after this one was due, or after now when
    // the loop fell behind.
    g_nextRollUs += kRollFrameUs;
    if (g_nextRollUs <= now) g_nextRollUs = now + kRollFrameUs;
    ReadRollFrame();
    // The frame composes the new samples; the page around them is drawn
    // again only when the settings the frame takes on change what it shows.
    if (SyncShownSettings()) SysRunStatus.SetDrawRefresh();
    QelDraw.SetWaveAreaRefresh();
    *busy = true;
  } else if (SysRunStatus.GetInterruptFlag()) {
    HandleFinishedAcquisition();
    *busy = true;
  } else if (SysRunStatus.GetAcquireStatus(0) == kAcqStopped && WaveOp.PendingRequestCh()) {
    // Stopped, the record stands in the board's memory: a request for it is
    // served at once (a channel that is off or cannot be read again drops it).
    const int requested = WaveOp.PendingRequestCh();
    ReadChannelRecords(requested);
    WaveOp.DropRequestCh(requested);
    WaveOp.ResetRequestType();
    *busy = true;
  }

  if (WaveOp.GetWaveProcessFlag())
    ProcessTraces();
  else
    WaveOp.WaveProcess();  // a stopped window moved, the references: short
  TaskManage.RunTaskProcess();
  if (SysRunStatus.IsCymometerEnable()) FreqMeter();
  WaveOp.SetNewWaveFlag(4);
  return true;
}
}  // namespace

// A remote command runs between the pass's changes and its drawing, or after
// the pass: never among the changes.
bool ScopeMainPass(bool pacedRoll) {
  bool busy = false;
  {
    SettingsLock settings;
    if (!ChangeSettings(pacedRoll, &busy)) return true;  // a locked key: straight to the next pass
  }
  QelDraw.MainDisplay();
  {
    SettingsLock settings;
    SysRefresh();
    SysRunStatus.ClearPushKey();
  }
  pthread_mutex_lock(&mymutex);
  pthread_mutex_unlock(&mymutex);
  return busy;
}

int IdleWaitMs() {
  const int64_t now = plat::MonoUs();
  int64_t due = now + kLongestIdleUs;
  if (SysRunStatus.GetWaveType() == kWaveRoll && SysRunStatus.GetAcquireStatus(0) != 4) due = std::min(due, g_nextRollUs);
  if (g_nextPollUs > 0) due = std::min(due, g_nextPollUs);
  const int64_t frame = QelDraw.NextIdleFrameUs();
  if (frame > 0) due = std::min(due, frame);
  return int(std::max<int64_t>(1, (due - now + 999) / 1000));
}

void ScopeMainLoop() {
  KeyBoard.ServeScpiKeys(true);
  while (!plat::StopRequested()) {
    if (!ScopeMainPass(true)) plat::IdleWait(IdleWaitMs());
  }
  KeyBoard.ServeScpiKeys(false);
}
