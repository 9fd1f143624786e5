// The help module: opening and closing the window, and the keys it takes.
#include "system/help/task_help.h"

#include <cstdio>

#include "core/state/ids.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"

TaskForHelp TaskHelp;

namespace {
// Display attributes of the window in the task manager's list.
struct {
  uint32_t attr;
  uint32_t page;
} HelpAttrib{3, 0};
}  // namespace

_SysResource* TaskForHelp::Sys() const { return Resource.sys ? Resource.sys : &SystemResource; }
task_manage* TaskForHelp::Manager() const { return Resource.manager ? Resource.manager : &TaskManage; }

int TaskForHelp::Initialize() {
  std::printf("TaskForHelp :: Initialize ...\n");
  HelpInit();
  HelpLoading();
  ListEndCnt = FuncCnt;
  ListStartCnt = 0;
  return 0;
}

int TaskForHelp::HelpEnable() {
  task_manage* m = Manager();
  if (HelpOnOff) {
    Close(true);
    return 0;
  }
  HelpOnOff = 1;
  KnobScrollText = 0;
  // The HELP key has made this module current already; the module before it
  // gets the knob back on closing. Opened from elsewhere, it takes over here.
  const int current = m->GetTaskCurrId();
  const int last = current == kTaskHelp ? m->GetLastTaskCurrId() : current;
  if (last >= 0 && last != kTaskHelp && m->FindTaskbyId(last)) SaveTaskId = last;
  if (current != kTaskHelp) m->SetWorkTaskbyId(kTaskHelp);
  m->AddUserTaskDisplay(kTaskHelp, HelpAttrib.attr, HelpAttrib.page);
  return 0;
}

void TaskForHelp::Close(bool restore) {
  if (!HelpOnOff) return;
  HelpOnOff = 0;
  KnobScrollText = 0;
  task_manage* m = Manager();
  m->DelUserTaskProcess(kTaskHelp);
  m->DelUserTaskDisplay(kTaskHelp);
  if (restore && SaveTaskId >= 0 && m->GetTaskCurrId() == kTaskHelp && m->FindTaskbyId(SaveTaskId))
    m->SetWorkTaskbyId(SaveTaskId);
}

int TaskForHelp::Default() {
  Close(false);
  return 0;
}

int TaskForHelp::FunctionOnOff(int) {
  Close(false);
  return 0;
}

// Another module's key made that module current: the window closes and the
// new module keeps the knob (restoring the remembered one would take it away).
int TaskForHelp::TaskControlHandover(taskresponse*) {
  Close(false);
  return 0;
}

int TaskForHelp::OpResponse(taskresponse* r) {
  if (!r) return -1;
  int rc = 0;
  if (KeyWord(r, &rc, [this] { return Initialize(); })) return rc;  // a new language: the texts again
  switch (r->key.key) {
    case kKeyHelp:
      return HelpEnable();
    case kHelpKnobPush:
    case kHelpKnobRight:
    case kHelpKnobLeft:
      return HelpOnOff ? HelpKnobOp(r->key) : 0;
    default:
      return 0;
  }
}
