// The guidance run of service page 5: a stopped record scrolled across the
// screen by pre-trigger knob steps until an end is reached or a key pressed.
#include "acquisition/horizontal/task_hori_service_internal.h"
#include "acquisition/models/x_system.h"
#include "core/messages/msg.h"
#include "core/messages/request.h"
#include "platform/clock.h"
#include "core/menu/draw_hooks.h"

namespace hori {
namespace {
constexpr int kMsgGuidanceStart = 47, kMsgGuidanceStop = 48, kMsgRecordShort = 49;
constexpr uint16_t kRunStopKey = 59;
constexpr uint16_t kKnobKey[2] = {81, 80};  // direction 0, 1: the pre-trigger knob
constexpr int64_t kIntervalUs[3] = {5000, 1000, 10000};
constexpr int kStep[3] = {4, 10, 1};
constexpr int kStepsBeforeKeys = 3;
constexpr int kBackAndForth = 2;
constexpr int kShort = 1, kRightEnd = 2, kLeftEnd = 3;  // 0: inside the record
constexpr int64_t kBlinkUs = 401000;
constexpr int kGuidePictures[2] = {19, 20};  // ProcStatus/Guide1.bmp and Guide2.bmp
constexpr int kGuideRow = 2, kGuideColumn = 4;

bool AtEnd(int status, int direction) {
  return (status == kRightEnd && direction == 0) || (status == kLeftEnd && direction == 1);
}
}  // namespace

void Guidance_Stop() {
  TaskForHori& t = TaskHori;
  t.FuncType &= ~TaskForHori::kFuncGuidance;
  SetItem(kGuideStart, 0);
  Manager().DelUserTaskProcess(kHoriTaskId);
  Run().SetGuidance(0);
  if (t.FuncType == 0) Manager().DelUserTaskDisplay(kHoriTaskId);
  Message(kMsgGuidanceStop);
}

void GuidanceProcess() {
  Service& s = Svc();
  if (s.guideSteps >= kStepsBeforeKeys && Run().IsPushKey()) {
    Guidance_Stop();
    return;
  }
  const int speed = Item(kGuideSpeed) % 3;
  const int64_t now = plat::MonoUs();
  if (now - s.guideLastUs < kIntervalUs[speed]) return;
  s.guideLastUs = now;
  ++s.guideSteps;
  // The system module moves the trigger position as its knob would; without
  // it the stopped view is moved here.
  const int step = kStep[speed];
  if (AssistTo(kSystemTask, 2, 0, 0, keypara{kKnobKey[s.guideDirection], int16_t(step), 1}) < 0)
    Sys().timeBase->AdjStopMovePos(0, s.guideDirection == 0 ? step : -step);
  const int status = Sys().timeBase->GuidanceWorkStatus(0, 0);
  if (!AtEnd(status, s.guideDirection)) return;
  if (Item(kGuideDirection) == kBackAndForth)
    s.guideDirection ^= 1;
  else
    Guidance_Stop();
}

void GuidanceDisplay() {
  if (!(TaskHori.FuncType & TaskForHori::kFuncGuidance)) return;
  const bool first = (plat::MonoUs() / kBlinkUs) % 2 == 0;
  Draw().drawPicture(kGuideRow, kGuideColumn, kGuidePictures[first ? 0 : 1]);
}
}  // namespace hori

using namespace hori;

// The run is on: the module's guidance bit and the run state's flag, its
// message, and the module in the process and display lists.
void hori::GuidanceStart() {
  Service& s = Svc();
  TaskHori.FuncType |= TaskForHori::kFuncGuidance;
  Run().SetGuidance(1);
  Message(kMsgGuidanceStart);
  s.guideSteps = 0;
  s.guideLastUs = plat::MonoUs();
  Manager().AddUserTaskProcess(kHoriTaskId, 0, 0);
  Manager().AddUserTaskDisplay(kHoriTaskId, 3, 0);
}

int Guidance_Direction(keypara k) { return M().AdjMenuItemPara(k, kGuideDirection); }
int Guidance_Speed(keypara k) { return M().AdjMenuItemPara(k, kGuideSpeed); }

int Guidance_Start(keypara k) {
  if (Run().IsIndependTimeBase()) {
    Message(kMsgAlternate);
    return 0;
  }
  if (Run().GetMathType() == 1 && (Run().GetChStatus() & 0x20)) {
    Message(kMsgFft);
    return 0;
  }
  if (M().AdjMenuItemPara(k, kGuideStart) == 0) {
    Guidance_Stop();
    return 0;
  }
  if (!Stopped() && AssistTo(kSystemTask, 1, 0, 0, keypara{kRunStopKey, 1, 0}) < 0)
    Run().SetAcquireStatus(0, kAcqStopped);
  Service& s = Svc();
  const int direction = Item(kGuideDirection);
  s.guideDirection = direction == 1 ? 1 : 0;
  const int status = Sys().timeBase->GuidanceWorkStatus(0, 0);
  if (status == kShort || AtEnd(status, s.guideDirection)) {
    Message(status == kShort ? kMsgRecordShort : kMsgGuidanceStop);
    SetItem(kGuideStart, 0);
    return 0;
  }
  requestpara answer{};
  Sys().request->Request(MakeRequest(kReqHoriGuideInit, 0, 0), &answer);
  GuidanceStart();
  return 0;
}
