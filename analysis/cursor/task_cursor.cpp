// The cursor module: key words, factory settings, start-up and the task
// slots.
#include "analysis/cursor/task_cursor.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "analysis/cursor/cursor_draw.h"
#include "analysis/cursor/task_cursor_internal.h"
#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"

TaskForCursor TaskCursor;

namespace cursor_module {
Menu& M() { return TaskCursor.TaskMenu; }
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
_SysRunInfoOp& Run() { return *TaskCursor.Sys().runStatus; }
task_manage& Manager() { return TaskCursor.Manager(); }
void Message(int n) {
  if (TaskCursor.Sys().message) TaskCursor.Sys().message->SetMessage(n);
}
void Offer(int n, bool on) { M().EnableItem(n, on); }
void List() {
  Manager().AddUserTaskProcess(kCursorTaskId, kAttrProcess, 0);
  Manager().AddUserTaskDisplay(kCursorTaskId, kAttrDisplay, 0);
}
void Unlist() {
  Manager().DelUserTaskDisplay(kCursorTaskId);
  Manager().DelUserTaskProcess(kCursorTaskId);
}
void LimitItems() { M().ClampItems(); }
int MathItem(int n) {
  task* math = Manager().FindTaskbyId(kTaskMath);
  return math && !math->TaskMenu.MenuIsNull() ? int(uint16_t(math->TaskMenu.GetMenuItem(n))) : -1;
}
int MathPage() {
  task* math = Manager().FindTaskbyId(kTaskMath);
  return math && !math->TaskMenu.MenuIsNull() ? math->TaskMenu.GetCurrPage() : -1;
}
}  // namespace cursor_module

using namespace cursor_module;

namespace {
constexpr int kEeFirst = 201, kEeLast = 210, kEeReserved = 205;
constexpr int64_t kRefreshUs = 500000;
constexpr uint16_t kAssistSetItem = 3, kAssistFormat = 4;
constexpr int kSyncTasks[] = {kTaskMath, kTaskDisplay, kTaskTrigger, kTaskSystem};
constexpr int kFunctionsOff = 2;
}  // namespace

int TaskForCursor::Default() {
  std::printf("TaskForCursor -> Default\n");
  iic_item batch[kEeLast - kEeFirst + 2];
  int n = 0;
  for (int a = kEeFirst; a <= kEeLast; ++a) batch[n++] = IicU8(a, a == kEeReserved ? 1 : 0);
  batch[n] = IicEnd();
  I2C& eeprom = Sys().eeprom ? *Sys().eeprom : I2cStorage;
  std::printf("ItemNum = %d\n", eeprom.I2C_BatchWrite(batch));
  if (TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskCursorMenu);
  for (int item : {kCurEnable, kCurType, kCurSource, kCurMode, kCurEnableXY, kCurTypeXY, kCurModeXY, kCurSourceXY,
                   kCurHoriUnitXY})
    TaskMenu.SetMenuItem(item, 0);
  return 0;
}

int TaskForCursor::Initialize() {
  std::printf("TaskForCursor :: Initialize ...\n");
  if (LoadLanguage(0) < 0 && TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskCursorMenu);
  LimitItems();
  CheckDisplayFormat();
  Cursor_MenuReset();
  CursorDraw.CursorDrawInit();
  for (int t : kSyncTasks) Manager().AddTaskBetweenSync(t, kCursorTaskId);
  return 0;
}

int TaskForCursor::LoadLanguage(int reload) {
  if (reload != 0 && reload != 1) return -1;
  char language[kLanguageText] = {};
  _SysRunInfoOp* run = Sys().runStatus;
  if (run) run->GetLanguageCountry(run->GetSysRunInfoBaseAddr()->language, language);
  char path[128];
  if (Menu::MenuTextPath(path, sizeof path, language, "Cursor") < 0) return -1;
  const int rc = reload == 0 ? TaskMenu.LoadMenu(path, &TaskCursorMenu) : TaskMenu.ReLoadMenu(path, &TaskCursorMenu);
  return rc < 0 ? -1 : 0;
}

int TaskForCursor::CheckDisplayFormat() {
  std::lock_guard<std::recursive_mutex> lock(CursorDraw.Lock());
  CursorData d = CursorDraw.GetCursorData();
  d.displayFormat = uint16_t(Run().GetDiplayFormat());
  CursorDraw.SetCursorData(&d);
  return d.displayFormat;
}

int TaskForCursor::OpResponse(taskresponse* r) {
  if (!r) return -1;
  int rc = 0;
  if (KeyWord(r, &rc, [this] { return LoadLanguage(1); })) return rc;
  std::printf("##### response->Keyval.val  = 0x%x \n", r->key.key);
  return TaskMenu.MenuOp(r->key);
}

void TaskForCursor::StampRefresh() { lastT_ = plat::MonoUs(); }

int TaskForCursor::DataProcess() {
  const int64_t now = plat::MonoUs();
  if (now - lastT_ <= kRefreshUs) return 0;
  if (CursorDraw.GetCursorData().displayFormat != 0) CursorDraw.GetSourceScreenDataXY();
  else CursorDraw.GetSourceScreenData();
  lastT_ = now;
  return 0;
}

int TaskForCursor::Display() {
  const CursorData d = CursorDraw.GetCursorData();
  if (d.displayFormat != 0) {
    if (d.xyEnable != 1) return 0;
    CursorDraw.drawCursorLineXY();
    CursorDraw.drawFrameXY();
    return 0;
  }
  if (d.ytEnable != 1) return 0;
  CursorDraw.drawCursorLine();
  if (d.ytType == 0) CursorDraw.drawFrameX();
  else CursorDraw.drawFrameY();
  return 0;
}

int TaskForCursor::FunctionOnOff(int mode) {
  if (mode != kFunctionsOff) return 0;
  M().SetMenuItem(CursorDraw.GetCursorData().displayFormat != 0 ? kCurEnableXY : kCurEnable, 0);
  return Cursor_Enable(kNoKey);
}

// Request 3 switches the cursors (item 0 or 5 and a value); request 4 tells
// the display format changed.
int TaskForCursor::Assist(taskresponse* request, taskresponse*) {
  if (!request) return -1;
  if (request->request == kAssistFormat) {
    CheckDisplayFormat();
    Cursor_MenuReset();
    return 0;
  }
  const int item = request->words[0];
  if (request->request != kAssistSetItem || (item != kCurEnable && item != kCurEnableXY)) return -1;
  const uint64_t on = request->words[1] ? 1 : 0;
  TaskMenu.SetMenuItem(kCurEnable, on);
  TaskMenu.SetMenuItem(kCurEnableXY, on);
  TaskMenu.SetMenuItem(kCurSource, 0);
  TaskMenu.SetMenuItem(kCurSourceXY, 0);
  Run().ClearFuncBit(kCurFuncAll);
  return Cursor_Enable(kNoKey);
}
