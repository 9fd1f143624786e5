// Self-calibration: the range loop, the offset loop and the trigger comparator.
#include "system/calibration/self_cali.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "acquisition/channel/task_ch_module.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/cali_para.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "acquisition/tables/voltage_tables.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/fpga_words.h"
#include "core/board/i2c_storage.h"
#include "core/input/rs232.h"
#include "core/menu/keypara.h"
#include "core/messages/msg.h"
#include "core/state/setup_block.h"
#include "core/state/sys_run_info.h"
#include "core/state/sys_run_info_layout.h"
#include "core/state/task.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "system/calibration/adc_phase.h"
#include "system/storage/storage_setup.h"
#include "system/utility/task_utility.h"
#include "ui/screen/qel_draw.h"

namespace {
// The calibration description: targets, step threshold and DAC steps, and the
// wait between trigger-DAC steps.
struct CaliDescribe {
  int16_t centre, upper, lower, threshold, bigStep, smallStep, reserved[2];
  int32_t trigWaitUs;
};
constexpr CaliDescribe kCali = {127, 75, 75, 10, 10, 1, {4, 1}, 5000};

constexpr int kMeasureMode = 2;
constexpr int kExtSource = 3, kExtSlot = 4;
constexpr int kTrigDac = 2;
constexpr int kReadyPolls = 2000;
constexpr int kOffsetStepLimit = 400;  // a channel that never lands exactly fails
constexpr int kTrigSteps = 500;
constexpr int kTrigStartBelow = 150, kTrigOvershoot = 100;
constexpr int kTrigAttempts = 3;
constexpr int kTrigLevel = 75;
constexpr int kTrigZeroKind = 0;
constexpr int kTopRange = 16, kBottomRange = 3, kEndRange = 8;
constexpr int kCaliTimeBase = 12;
constexpr int kKeyF2 = 50, kKeyMenuBack = 62;
constexpr int kSystemTask = 0, kTrigTask = 10, kAcquireTask = 11, kUtilityTask = 18;
constexpr int kChannelItemsCleared[] = {kChCoupling, kChBwLimit, kChVoltsDiv, kChInvert, kChUnit};
constexpr uint16_t kAssistPhase = 135;
constexpr uint16_t kAssistRequest = 2;  // the request kind the system module's calibrations answer
constexpr uint8_t kPhaseFound = 0x68;
constexpr uint64_t kFuncSelfCali = 0x80;
constexpr int kMsgFailed = 90, kMsgSuccess = 91, kMsgCentering = 118;
constexpr uint32_t kDialogAttribute = 1;  // drawn over the waves
constexpr int kProgressFull = kSelfCaliProgressFull;
constexpr int kFactoryPasses = 20, kFactoryTries = 9;
constexpr int kKeyWaitSeconds = 60;
constexpr char kRunStateLabel[] = "TASK-SYSTEM";

int progress = 0;
short shownState = kSelfCaliPrompt;

// The procedure runs on the main loop, which composes no frame until it
// ends: each step of the dialog is composed and shown here.
void ShowDialog(short state) {
  shownState = state;
  SysRunStatus.SetDrawRefresh();
  QelDraw.MainDisplay();
}

// The front-panel key waiting, if any (one is consumed), else -1; a remote
// key counts as well, so an instrument started over SCPI is not held.
int PendingKey() {
  uint8_t code = 0;
  if (KeyBoard.GetKey(&code, nullptr) > 0) return code;
  int remote = 0, step = 0;
  if (KeyBoard.IsScpiKey() && KeyBoard.GetScpiKey(&remote, &step) >= 0) return remote;
  return -1;
}

// Shows a message until a key arrives (at most a minute).
void HoldMessage(int n) {
  QelMsg.SetMessage(n);
  for (int s = 0; s < kKeyWaitSeconds && PendingKey() < 0; ++s) {
    ShowDialog(shownState);
    // A composed frame ages the message out: it is raised again, so it stays up until the key.
    if (QelMsg.GetMessageID() != n) QelMsg.SetMessage(n);
    plat::SleepMs(1000);
  }
}

int WaitReady(int pollMs) {
  for (int i = 0; i < kReadyPolls; ++i) {
    if (QelControl.ReadAnyReg(fpga::kDone) > 0) return 0;
    plat::SleepMs(pollMs);
  }
  return -1;
}

void Arm() {
  QelControl.SendRealControl(fpga::kComparatorArm, 0);
  QelControl.SendRealControl(fpga::kComparatorArm, 1);
  QelControl.SendRealControl(fpga::kComparatorArm, 0);
}

void ApplyRange(int range) {
  for (int ch = 0; ch < 2; ++ch) {
    Vertical.SetYsensitivity(ch, range);
    Vertical.SetRealYsensitivity(ch, range);
    Vertical.AdjYsensitivity(ch, 0);
  }
}

// The instrument as the calibration needs it: both channels on, DC, centred,
// the trigger on CH1 edge, auto sweep, the measuring sweep mode.
void Prepare(_SysRunInfo* run) {
  SysRunStatus.SetFuncBit(kFuncSelfCali);
  // The dialog stays up for the whole run (a run started over SCPI or by
  // another module opens it here).
  if (!(TaskUtility.GetFunBits() & kUtiDlgSelfCali)) TaskUtility.SetFuncBits(kUtiDlgSelfCali);
  if (TaskManage.FindUserTaskDisplay(kUtilityTask) == TASK_NOT_LISTED)
    TaskManage.AddUserTaskDisplay(kUtilityTask, kDialogAttribute, 0);
  ShowDialog(kSelfCaliBusy);
  TimeBase.SetTimeBase(0, kCaliTimeBase);
  TimeBase.SetRealTimeBase(0, kCaliTimeBase);
  SysRunStatus.SetChStatus(3);
  SysRunStatus.SetAcquireStatus(0, 0);
  SysRunStatus.SetAcquireStatus(1, 0);
  run->trigType = 0;
  run->trigMode = 0;
  run->trigSource = 0;
  run->trigCoupling = 0;
  for (int ch = 0; ch < 2; ++ch) {
    Vertical.SetChOnOff(ch, 1);
    Vertical.SetChCoupling(ch, 0);
    Vertical.SetChBwLimit(ch, 0);
    Vertical.SetYInvert(ch, 0);
    Vertical.SetFineOnOff(ch, 0);
    Vertical.SetChUnit(ch, 0);
    Vertical.SetRealYposition(ch, kCali.centre);
    // The channel menus say what is now in force: DC, full bandwidth, coarse, not inverted, volts.
    for (int item : kChannelItemsCleared) TaskManage.SetUserTaskMenuItem(ChannelTaskId(ch), item, 0);
  }
  QelControl.AnalogChannelControl(run);
  Trigger.SentTriggerConfigPara();
  QelControl.SendRealControl(fpga::kSweep, kMeasureMode);
  TimeBase.AdjTimeBase(0, 0);
  for (int item : {0, 2, 100}) TaskManage.SetUserTaskMenuItem(kTrigTask, item, 0);
  TaskManage.SetUserTaskMenuItem(kAcquireTask, 0, 0);
  TaskManage.SetUserTaskMenuItem(kAcquireTask, 1, 0);
  TaskManage.SetUserTaskMenuItem(kAcquireTask, 2, 1);
}

// The ADC phases the run may have found stay in the image put back.
void KeepFoundPhases(std::vector<uint8_t>& image) {
  const SetupFileRecord rec{0, kSetupLoad, int32_t(image.size()), 0, image.data()};
  size_t available = 0;
  const uint8_t* body = FindSetupBlock(rec, kRunStateLabel, &available);
  if (!body || available < sizeof(_SysRunInfo)) return;
  const _SysRunInfo* live = SysRunStatus.GetSysRunInfoBaseAddr();
  const size_t at = size_t(body - image.data()) + offsetof(_SysRunInfo, adcPhase);
  std::memcpy(image.data() + at, live->adcPhase, sizeof live->adcPhase);
}

// Every setting the run changed, the modules' items and the run state alike,
// goes back to what it was before (the setup image taken then, recalled);
// the calibration records and the ADC phases found stay, and so does the
// message the run ended with.
void Restore(_SysRunInfo* run, std::vector<uint8_t>& before) {
  QelControl.FPGAResetDisable();
  WaveOp.ClearWaveProcessFlag();
  const int message = QelMsg.GetMessageID();
  KeepFoundPhases(before);
  PutBackSetupImage(before);
  if (message >= 0 && QelMsg.GetMessageID() != message) QelMsg.SetMessage(message);
  QelControl.SendRealControl(fpga::kSweep, run->trigMode);
  QelControl.LedCtrl(run);
  QelControl.SysSample();
  SysRunStatus.ClearFuncBit(kFuncSelfCali);
  Utili_SelfCali_Cancel(keypara{KEY_NO_KEY, 0, 0});
}

// The settings the phase search changes: put back once it ends, so the
// channels, time base and trigger are as the user left them.
struct SearchSettings {
  int on[2], vdiv[2], position[2];
  HorizontalBlock horizontal;
  int mask, depth, levelSel, acquire;
  int16_t trigType, trigSource, trigMode;
};

SearchSettings KeepSearchSettings(const _SysRunInfo& run) {
  SearchSettings k{};
  for (int ch = 0; ch < 2; ++ch) {
    k.on[ch] = Vertical.GetChOnOff(ch);
    k.vdiv[ch] = Vertical.GetRealYsensitivity(ch);
    k.position[ch] = Vertical.GetRealYposition(ch);
  }
  k.horizontal = run.horizontal[0];
  k.mask = SysRunStatus.GetChStatus();
  k.depth = SysRunStatus.GetMemDepth(nullptr);
  k.levelSel = SysRunStatus.GetTrigLevelLowHigh();
  k.acquire = SysRunStatus.GetAcquireStatus(0);
  k.trigType = run.trigType, k.trigSource = run.trigSource, k.trigMode = run.trigMode;
  return k;
}

void PutBackSearchSettings(_SysRunInfo* run, const SearchSettings& k) {
  SysRunStatus.SetMemDepth(k.depth);
  SysRunStatus.SetTrigLevelLowHigh(k.levelSel);
  SysRunStatus.SetAcquireStatus(0, k.acquire);
  run->trigType = k.trigType, run->trigSource = k.trigSource, run->trigMode = k.trigMode;
  for (int ch = 0; ch < 2; ++ch) {
    Vertical.SetChOnOff(ch, k.on[ch]);
    Vertical.SetRealYsensitivity(ch, k.vdiv[ch]);
    Vertical.SetRealYposition(ch, k.position[ch]);
    Vertical.AdjYsensitivity(ch, 0);
  }
  SysRunStatus.SetChStatus(k.mask);
  run->horizontal[0] = k.horizontal;
  TimeBase.SetRealTimeBase(0, k.horizontal.realTimeBase);
  QelControl.AnalogChannelControl(run);
  Trigger.SentTriggerConfigPara();
  Trigger.SetTriggerMode(k.trigMode);
  TimeBase.AdjTimeBase(0, 0);
  QelControl.LedCtrl(run);
  QelControl.SysSample();
}

// Only the ADC phase search, on an instrument whose phases were never found;
// the instrument and the screen then return to where they were.
int PhaseOnly(_SysRunInfo* run) {
  const SearchSettings kept = KeepSearchSettings(*run);
  taskresponse request{}, reply{};
  request.request = kAssistRequest;
  request.key.key = kAssistPhase;
  const bool found =
      TaskManage.RequestTaskAssist(kSystemTask, &request, &reply) >= 0 && reply.words[0] != 0;
  PutBackSearchSettings(run, kept);
  if (found) {
    I2cStorage.I2C_WriteU8(EE_SELFCAL_STATE2, kPhaseFound);
    QelMsg.SetMessage(kMsgSuccess);
  } else {
    HoldMessage(kMsgFailed);
  }
  Utili_SelfCali_Cancel(keypara{KEY_NO_KEY, 0, 0});
  return found ? 0 : -1;
}

// The three calibration points of one range for both channels; false on a
// failure or a cancel (F2) in `*cancelled`.
bool CaliRange(int range, bool* cancelled) {
  std::printf("YSensitivity : %s \n", VoltageStr[range]);
  if (PendingKey() == kKeyF2) return *cancelled = true, false;
  ApplyRange(range);
  plat::SleepMs(50);
  QelControl.SysSample();
  short centre[2], upper[2], lower[2];
  if (CaliChannelOffset(3, short(range), kCali.centre, centre) < 0) return false;
  if (CaliChannelOffset(3, short(range), short(kCali.centre + kCali.upper), upper) < 0) return false;
  if (range == kTopRange && TriggerCali(kExtSlot, kTopRange, 0) < 0) return false;
  if (CaliChannelOffset(3, short(range), short(kCali.centre - kCali.lower), lower) < 0) return false;
  for (int ch = 0; ch < 2; ++ch) {
    const CaliPara p{{uint16_t(centre[ch]), uint16_t(kCali.centre), uint16_t(upper[ch]),
                      uint16_t(kCali.centre + kCali.upper), uint16_t(lower[ch]),
                      uint16_t(kCali.centre - kCali.lower)}};
    Vertical.SetChCaliPara(ch, range, &p);
  }
  return true;
}

// Factory mode: the ADC centring check; false when a pass failed.
bool FactoryCentering() {
  for (int pass = 0; pass < kFactoryPasses; ++pass) {
    short tries = 0;
    const int status = AdcStartPhaseDetection(1, &tries);
    std::printf("Status = %d  PhaseCnt = %d  \n", status, tries);
    if (status < 0 || tries >= kFactoryTries) {
      QelControl.Bee();
      I2cStorage.I2C_WriteU8(EE_SELFCAL_STATE, 1);
      HoldMessage(kMsgCentering);
      return false;
    }
  }
  return true;
}
}  // namespace

int SelfCaliProgress() { return progress; }
short SelfCaliShownState() { return shownState; }

int CaliChannelOffset(short mask, short range, short target, short* dac) {
  if (!dac) return -1;
  QelControl.SysSample();
  SysRunStatus.ClearInterruptFlag();
  for (int n = 0; mask; ++n) {
    if (n >= kOffsetStepLimit) return -1;
    if (WaitReady(10) < 0) {
      std::printf("Cnt >2000 ");
      return -1;
    }
    int32_t avg[2] = {};
    if (WaveOp.GetAllChWaveAverage(avg) != 0) return -1;
    for (int ch = 0; ch < 2; ++ch) {
      if (!(mask >> ch & 1)) continue;
      const int d = avg[ch] - target;
      int step = 0;
      if (d == 0)
        mask &= short(~(1 << ch));
      else
        step = (std::abs(d) > kCali.threshold ? kCali.bigStep : kCali.smallStep) * (d > 0 ? 1 : -1);
      const int code = Vertical.ChCaliDacAdjust(ch, range, step);
      if (code < 0) return -1;  // the DAC reached its end
      dac[ch] = short(code);
    }
    QelControl.SysSample();
    SysRunStatus.ClearInterruptFlag();
  }
  return 0;
}

int StartOnceTriggerCali(short slot, short range, short coupling, int* rising, int* falling) {
  int dac = Trigger.TriggerCaliDacAdjust(slot, range, coupling, kTrigZeroKind, 0);
  Arm();
  // Walks the DAC by `step` until the comparator reports a crossing.
  auto search = [&](int step, int* at) {
    for (int i = 0; i < kTrigSteps; ++i) {
      if (QelControl.ReadAnyReg(fpga::kComparator) & 1) return *at = dac, true;
      dac = Trigger.TriggerCaliDacAdjust(slot, range, coupling, kTrigZeroKind, step);
      plat::SleepUs(kCali.trigWaitUs);
    }
    return false;
  };
  const bool up = search(1, rising);
  std::printf(up ? "TRIG DOWN ---> UP  OK!\n" : "TRIG DOWN ---> UP  ERROR !\n");
  dac = Trigger.TriggerCaliDacAdjust(slot, range, coupling, kTrigZeroKind, kTrigOvershoot);
  Arm();
  if (!search(-1, falling)) {
    std::printf("TRIG UP ---> DOWN  ERROR !\n");
    return -1;
  }
  std::printf("TRIG UP ---> DOWN  OK!\n");
  if (!up) return -1;
  std::printf("StartOnceTriggerCali OK ! \n");
  return 0;
}

int TriggerCali(short source, short range, short slope) {
  (void)slope;
  _SysRunInfo* run = SysRunStatus.GetSysRunInfoBaseAddr();
  const int src = source == kExtSlot ? kExtSource : source;
  run->trigSource = int16_t(src);
  if (source == kExtSlot) QelControl.SendRealControl(fpga::kTrigSource, kExtSource);
  int rc = 0;
  for (int coupling = 0; coupling <= (range == kTopRange ? 1 : 0) && rc == 0; ++coupling) {
    run->trigCoupling = int16_t(coupling);
    QelControl.AnalogChannelControl(run);
    plat::SleepMs(1);
    const int current = Trigger.TriggerCaliDacAdjust(source, range, coupling, kTrigZeroKind, 0);
    CaliPara rec{
        {uint16_t(current - kTrigStartBelow), uint16_t(kTrigLevel), 0, uint16_t(-kTrigLevel), 0, 0}};
    int attempt = 0, rising = 0, falling = 0;
    for (; attempt < kTrigAttempts; ++attempt) {
      Trigger.SetTriggerCaliPara(source, range, coupling, kTrigZeroKind, &rec);
      if (StartOnceTriggerCali(source, range, short(coupling), &rising, &falling) == 0) break;
    }
    if (attempt == kTrigAttempts) {
      std::printf("TrigCali Error!\n");
      rc = -1;
      break;
    }
    rec.word[0] = uint16_t((rising + falling) / 2);
    Trigger.SetTriggerCaliPara(source, range, coupling, kTrigZeroKind, &rec);
    QelControl.ChannelDAC_Set(kTrigDac, rec.word[0]);
    std::printf("Cupling = %d  ErrNum = %d \n\n", coupling, attempt);
  }
  if (source == kExtSlot) QelControl.SendRealControl(fpga::kTrigSource, 0);
  return rc;
}

int Utili_SelfCali_Sure(keypara) {
  std::printf("SelfCali_Sure ..........\n");
  _SysRunInfo* run = SysRunStatus.GetSysRunInfoBaseAddr();
  if (!run) return -1;
  if (I2cStorage.I2C_ReadU8(EE_SELFCAL_STATE2) != kPhaseFound) return PhaseOnly(run);
  std::vector<uint8_t> before = TakeSetupImage();
  progress = 0;
  Prepare(run);
  bool ok = true, cancelled = false;
  for (int range = kTopRange; range >= kBottomRange && ok; --range) {
    ok = CaliRange(range, &cancelled);
    if (ok) {
      progress = (kTopRange - range + 1) * kProgressFull / (kTopRange - kBottomRange + 1);
      ShowDialog(kSelfCaliProgress);
    }
  }
  if (ok) {
    progress = kProgressFull;
    ShowDialog(kSelfCaliProgress);
    ApplyRange(kEndRange);
    const bool centred = SysRunStatus.GetFactoryMode() != 1 || FactoryCentering();
    // The offsets are good either way; a failed centring keeps its message.
    const int saved = SysRunStatus.SaveAnalogChCaliData();
    if (centred) {
      QelMsg.ClearMessage();
      QelMsg.SetMessage(saved < 0 ? kMsgFailed : kMsgSuccess);
    }
  } else if (!cancelled) {
    HoldMessage(kMsgFailed);
  }
  Restore(run, before);
  return ok ? 0 : -1;
}

int Utili_SelfCali_Cancel(keypara) {
  TaskManage.DelUserTaskDisplay(kUtilityTask);
  // No dialog of the module stays pending: the next one opens alone.
  TaskUtility.ClearAllFuncBits();
  TaskUtility.TaskMenu.SetCurrPage(0);
  shownState = kSelfCaliPrompt;
  SysRunStatus.SetDrawRefresh();
  return 0;
}

int Utili_SelfCaliMenuOp(keypara key) {
  if (key.key != kKeyMenuBack) return 0;
  TaskUtility.TaskMenu.SetCurrPage(0);
  TaskUtility.FunctionOnOff(0);
  return 0;
}
