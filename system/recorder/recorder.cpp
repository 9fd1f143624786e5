// The waveform recorder over the FPGA's frame memory: recording, the pacing of
// playback, stepping through frames, and the state the rest of the instrument
// sees (run-state bits, the utility module's frame counter).
#include "system/recorder/recorder.h"

#include <cstdio>

#include "acquisition/engine/wave.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "system/utility/task_utility.h"

RecData recData;

namespace {
constexpr uint32_t kIntervalOffset = 25;  // the FPGA counts the interval from 25 ticks on

constexpr double kFrameMemory = 56000000.0;  // samples of frame memory
constexpr int64_t kTicksPerUs = 250;         // 4 ns ticks
constexpr int64_t kPassOverheadUs = 11000;   // one main-loop pass, taken off the play delay

// Task manager attributes of the utility module's overlay and processing.
constexpr uint32_t kDisplayRecording = 3, kDisplayPlaying = 1, kProcessRecorder = 2;

constexpr int kMsgNotRecorded = 75;
constexpr int kMsgRecordFinished = 94;

int64_t recLastTime = 0;
int64_t recCurrTime = 0;
int64_t recInterval = 0;

bool AcquisitionStopped() { return SysRunStatus.GetAcquireStatus(0) == kAcqStopped; }

// RUN/STOP through the system module, as the panel key would.
void PressRunStop() {
  taskresponse request{}, reply{};
  request.key.key = kKeyRunStop;
  request.key.step = 1;
  TaskManage.RequestTaskAssist(kTaskSystem, &request, &reply);
}

void SendPair(int low, uint32_t value) {
  QelControl.SendRealControl(low, int(value & 0xFFFF));
  QelControl.SendRealControl(fpga::High(low), int(value >> 16));
}

Menu& UtilityItems() { return TaskUtility.TaskMenu; }

// The frame counter overlay and the per-pass processing of the utility module.
void ShowCounter(uint32_t displayAttr) {
  TaskUtility.SetFuncBits(kUtiDlgRecorder);
  TaskManage.AddUserTaskDisplay(kTaskUtility, displayAttr, 0);
  TaskManage.AddUserTaskProcess(kTaskUtility, kProcessRecorder, 0);
}

void PublishTotal(uint32_t total) {
  if (total == 0)
    SysRunStatus.GetSysRunInfoBaseAddr()->recordTotal = 0;  // the setter refuses 0
  else
    SysRunStatus.SetRecordTotal(int(total));
}

uint32_t ReadPair(int low) {
  const int lo = QelControl.ReadAnyReg(low), hi = QelControl.ReadAnyReg(fpga::High(low));
  if (lo < 0 || hi < 0) return 0;
  return uint32_t(hi & 0xFFFF) << 16 | uint32_t(lo & 0xFFFF);
}

void PlayStep() {
  recCurrTime = plat::MonoUs();
  recInterval = recCurrTime - recLastTime;
  if (recInterval < int64_t(recData.playDelay) / kTicksPerUs - kPassOverheadUs) return;
  if (!QelControl.GetDrawingStatus()) {
    std::printf("DrawingStatus = 0\n");
    return;
  }
  if (!AcquisitionStopped()) {
    Rec_Off();
    return;
  }
  if (recData.total == 0) return;
  if (recData.playIndex < 1 || recData.playIndex > recData.total) recData.playIndex = 1;
  Rec_PlayOneFrame(int(recData.playIndex) - 1);
  recData.playIndex = recData.playIndex >= recData.total ? 1 : recData.playIndex + 1;
  recLastTime = recCurrTime;
}
}  // namespace

void Rec_Enable(bool on) { recData.enabled = on ? 1 : 0; }
bool Get_Rec_Enabled() { return recData.enabled != 0; }
int Rec_GetCurrentFrame() { return int(recData.currentFrame); }
int Rec_GetRecordedFrames() { return int(recData.framesRecorded); }

uint32_t GetMaxFrame() {
  double points = 0;
  const int index = SysRunStatus.GetMemDepth(&points);
  if (index == 0) points = SysRunStatus.GetAutoMemDepthPoints(0);
  if (!(points >= 1.0)) return 0;  // no depth known: nothing fits
  return uint32_t(kFrameMemory / points);
}

int Rec_Init() {
  Rec_Clear();
  recData.interval = kRecDefaultInterval;
  recData.playDelay = kRecDefaultPlayDelay;
  recData.endFrame = recData.maxFrame = GetMaxFrame();
  Menu& m = UtilityItems();
  m.SetMenuItem(kItemInterval, recData.interval);
  m.SetMenuItem(kItemEndFrame, recData.endFrame);
  m.SetMenuItem(kItemPlayDelay, recData.playDelay);
  m.SetMenuItem(kItemMaxFrame, recData.maxFrame);
  return 0;
}

void Rec_SetMaxFrame(uint32_t frames) { recData.maxFrame = frames; }
int Rec_GetState() { return recData.recordState; }
int Rec_GetMode() { return recData.mode; }

void Rec_Clear() {
  recData.recordState = kRecIdle;
  recData.mode = kPlayNone;
  recData.framesRecorded = 1;
  recData.currentFrame = 1;
  recData.total = 1;
  recData.playIndex = 1;
  WaveOp.Decoderecode_play_flag_Set(0, 0);
}

void Rec_Record() {
  if (AcquisitionStopped()) PressRunStop();
  QelControl.FPGAResetEnable();
  // The frame memory takes the end frame and interval, and starts empty, as
  // its enable rises: a recording started again while one runs (a remote
  // enable, then a start) first ends the one running, or the new end frame
  // never comes into force and the recording never completes.
  QelControl.SendRealControl(fpga::kRecEnable, 0);
  SendPair(fpga::kRecEndFrame, recData.endFrame);
  SendPair(fpga::kRecInterval, recData.interval + kIntervalOffset);
  QelControl.SendRealControl(fpga::kRecEnable, 1);
  SysRunStatus.SetFuncBit(kFuncRecording);
  QelControl.SendRealControl(fpga::kRecFast, int(UtilityItems().GetMenuItem(kItemFastRec) & 0xFFFF));
  SysRunStatus.ClearInterruptFlag();
  QelControl.SysSample();
  recData.mode = kPlayNone;
  recData.playIndex = 1;
  recData.currentFrame = 1;
  recData.recordState = kRecRecording;
  recData.chMask = uint16_t(SysRunStatus.GetChStatus());
  WaveOp.Decoderecode_play_flag_Set(0, 0);
  ShowCounter(kDisplayRecording);
}

int Rec_GetWaveNum() {
  if (recData.recordState == kRecRecording) {
    recData.framesRecorded = ReadPair(fpga::kRecCount);
    if (QelControl.ReadAnyReg(fpga::kRecComplete) == 1) {
      if (!AcquisitionStopped()) recData.framesRecorded = recData.endFrame;
      Rec_Stop();
    }
    return 0;
  }
  if (recData.mode == kPlayPlaying) {
    PlayStep();
  } else if (recData.mode == kPlayPaused && !AcquisitionStopped()) {
    Rec_Off();
  }
  return 0;
}

int Rec_Stop() {
  if (recData.recordState == kRecRecording) {
    recData.recordState = kRecRecorded;
    if (!AcquisitionStopped()) PressRunStop();
    QelControl.SendRealControl(fpga::kPause, 1);
    QelControl.SendRealControl(fpga::kRecFast, 0);
    if (recData.framesRecorded > 0) Rec_PlayOneFrame(int(recData.framesRecorded) - 1);
    QelControl.SendRealControl(fpga::kRecEnable, 0);
    recData.mode = kPlayNone;
    recData.total = recData.framesRecorded;
    PublishTotal(recData.total);
    QelMsg.SetMessage(kMsgRecordFinished);
  } else if (recData.mode == kPlayPlaying) {
    std::printf("###play stop!\n");
    QelControl.SendRealControl(fpga::kRecFast, 0);
    QelControl.SendRealControl(fpga::kRecStopPlay, 1);
    recData.mode = kPlayPaused;
    WaveOp.Decoderecode_play_flag_Set(1, kPlayPaused);
  }
  SysRunStatus.ClearFuncBit(kFuncRecording | kFuncPlaying);
  // Frames exist only once a recording ended (Stop while idle claims none).
  if (recData.recordState == kRecRecorded) SysRunStatus.SetFuncBit(kFuncRecorded);
  return 0;
}

void Rec_Play() {
  if (recData.recordState == kRecRecording) Rec_Stop();
  if (recData.recordState != kRecRecorded) {
    QelMsg.SetMessage(kMsgNotRecorded);
    return;
  }
  recData.playDelay = uint32_t(UtilityItems().GetMenuItem(kItemPlayDelay));
  recData.mode = kPlayPlaying;
  recLastTime = plat::MonoUs();
  WaveOp.Decoderecode_play_flag_Set(1, kPlayPlaying);
  ShowCounter(kDisplayPlaying);
}

void Rec_PlayOneFrame(int frame) {
  const uint32_t f = uint32_t(frame < 0 ? 0 : frame);
  QelControl.SendRealControl(fpga::kReadArm, 1);
  SendPair(fpga::kRecShowFirst, f);
  SendPair(fpga::kRecShowLast, f);
  const uint32_t shown = ReadPair(fpga::kRecShown);
  QelControl.SendRealControl(fpga::kReadArm, 0);
  recData.currentFrame = shown + 1;
}

void Rec_PlayAdjFrame(keypara key) {
  if (recData.recordState == kRecRecording) Rec_Stop();
  recData.mode = kPlayPaused;
  WaveOp.Decoderecode_play_flag_Set(1, kPlayPaused);
  const int step = key.step > 0 ? key.step : 1;
  int64_t index = recData.playIndex;
  if (key.key == kKeySelectRight) index += step;
  if (key.key == kKeySelectLeft) index -= step;
  if (index < 1) index = recData.total;
  if (index > int64_t(recData.total)) index = 1;
  recData.playIndex = uint32_t(index);
  std::printf("recData.recPlayIndex = %d \n", int(recData.playIndex));
  Rec_PlayOneFrame(int(recData.playIndex) - 1);
}

void Rec_Off() {
  Rec_Clear();
  TaskUtility.ClearFuncBits(kUtiDlgRecorder);
  TaskManage.DelUserTaskDisplay(kTaskUtility);
  SysRunStatus.ClearFuncBit(kFuncRecorderBusy);
  PublishTotal(0);
}

void Rec_Back() {
  Rec_Off();
  if (AcquisitionStopped()) PressRunStop();
}

int Rec_Close() {
  Rec_Stop();
  Rec_Back();
  return 0;
}
