// The channel module's page handler: the CH key (channel on, active, off)
// and the channel refresh after every key of its pages.
#include "acquisition/channel/task_ch_module.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/state/ids.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/messages/msg.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"

namespace {
constexpr uint64_t kRecordingBits = 0x100 | 0x200 | 0x400;
constexpr uint64_t kAllMeasureBit = 0x8000;
constexpr int kMsgRecording = 22;
constexpr int kMsgXY = 17;
constexpr int kFormatXY = 1;
constexpr int kMeasureTask = 15;
constexpr int kMeasureAssist = 3;
}  // namespace

// Step 1 of the CH key; false when the key is refused.
bool TaskForChannel::ChannelKey() {
  _SysResource* sys = &Sys();
  _SysRunInfoOp* run = sys->runStatus;
  if (run->GetFuncBits() & kRecordingBits) {
    sys->message->SetMessage(kMsgRecording);
    return false;
  }
  task_manage* m = &Manager();
  // The key reached a module that was current before it, with its menu up.
  const bool showing = m->GetTaskCurrId() == L.taskId && m->GetLastTaskCurrId() == L.taskId && run->IsMenuStatus();
  m->ActiveTask(L.taskId, 0);
  const bool on = run->GetChStatus() >> L.channel & 1;
  int refresh = L.channel;
  if (on && run->GetActivCh() == L.channel) {
    if (run->GetDiplayFormat() == kFormatXY) {
      sys->message->SetMessage(kMsgXY);
      return false;
    }
    if (showing) {
      ChNumKeySel = 0;
      EndTextEntry();
      SendSysRequest(kReqChOnOff, L.channel, 0);
      const int other = ChannelTaskId(run->GetActivCh());
      if (other >= 0) m->ActiveTask(other, -1);
      refresh = 1 - L.channel;
    }
  } else {
    SendSysRequest(kReqChOnOff, L.channel, 1);
  }
  if (run->IsIndependTimeBase()) {
    sys->vertical->AdjYsensitivity(refresh, 0);
    sys->timeBase->AdjTimeBase(refresh, 0);
  } else {
    sys->board->SendRealControl(fpga::kChannel, 0);
  }
  return true;
}

int TaskForChannel::MenuOp(keypara k) {
  const bool chKey = k.key == L.panelKey;
  if (chKey && !ChannelKey()) return 0;
  _SysResource* sys = &Sys();
  _SysRunInfoOp* run = sys->runStatus;
  if (run->GetAcquireStatus(0) == kAcqSingleWaiting) {
    if (run->GetChStatus() >> L.channel & 1) {
      sys->vertical->AdjYsensitivity(L.channel, 0);
      sys->board->SysSample();
    }
  } else {
    SendSysRequest(kReqChCtrl, L.channel, 0);
  }
  // All measurements follow the channel made active, through the measure module.
  if (chKey && run->GetActivCh() == L.channel && (run->GetFuncBits() & kAllMeasureBit) &&
      run->GetmeaMasterSource() != L.channel) {
    taskresponse request{}, reply{};
    request.request = kMeasureAssist;
    Manager().RequestTaskAssist(kMeasureTask, &request, &reply);
    sys->keyboard->AppendScpiKey(kKeyMeasure, 1);
    Manager().ActiveTask(kMeasureTask, -1);
  }
  return 0;
}
