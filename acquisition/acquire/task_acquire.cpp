#include "acquisition/acquire/task_acquire.h"

#include <cstdio>

#include "core/state/ids.h"
#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/messages/request.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"

TaskForAcquire TaskAcquire;

namespace {
constexpr uint16_t kAssistStep = 2, kAssistSetItem = 3;
constexpr int kModeSelector = 0, kMemDepthSelector = 2;
constexpr int kMsgDepthAdjusted = 71;
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};

int Item(int n) { return int(uint16_t(TaskAcquire.TaskMenu.GetMenuItem(n))); }
}  // namespace

int TaskForAcquire::SetAverageSel(int sel) {
  if (sel < 0 || sel >= kAverageEntries) return -1;
  AverageSel = sel;
  return 0;
}

int TaskForAcquire::ScanMark(const int16_t* list, int from, int16_t value, int count) {
  if (!list || from < 0) return -1;
  for (int i = from; i < count; ++i)
    if (list[i] == value) return i;
  return -1;
}

int TaskForAcquire::Default() {
  std::printf("TaskForAcquire -> Default\n");
  const iic_item batch[] = {IicU8(EepromItemAddress(kEeAcquire, kAcqMode), 0),
                            IicU8(EepromItemAddress(kEeAcquire, kAcqMemDepth), 0),
                            IicU8(EE_ACQ_AVERAGE, 0), IicEnd()};
  Sys().eeprom->I2C_BatchWrite(batch);
  if (TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskAcquireMenu);
  TaskMenu.SetMenuItem(kAcqMode, 0);
  Acqure_SetAverageMenuType(8);
  TaskMenu.SetMenuItem(kAcqMemDepth, 0);
  // Selection 0 is count 2: the item never holds a count the table lacks.
  AverageSel = 0;
  TaskMenu.SetMenuItem(kAcqAverage, uint64_t(Average[0]));
  AcquireSyncRunState();
  return 0;
}

int TaskForAcquire::Initialize() {
  std::printf("TaskForAcquire :: Initialize ...\n");
  if (LoadLanguage(0) < 0 && TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskAcquireMenu);
  AcquireLimitItems();
  _SysRunInfoOp& run = *Sys().runStatus;
  const int mode = Item(kAcqMode);
  run.SetAcquireMode(mode);
  Acqure_SetAverageMenuType(mode == kAcqModeAverage ? 0 : 8);
  run.SetMemDepth(Item(kAcqMemDepth));
  const int stored = Sys().eeprom->I2C_ReadU8(EE_ACQ_AVERAGE);
  AverageSel = stored >= 0 && stored < kAverageEntries ? stored : 0;
  run.SetAcquireAverage(AverageSel);
  TaskMenu.SetMenuItem(kAcqAverage, uint64_t(Average[AverageSel]));
  Manager().AddTaskBetweenSync(kTaskDisplay, kTaskAcquire);
  // The acquisition request re-applies time base 0 and, in average mode,
  // also sends the averaging count, which the time base alone leaves out.
  requestpara answer{};
  Sys().request->Request(MakeRequest(kReqAcqConfig, 0, int16_t(mode)), &answer);
  return 0;
}

int TaskForAcquire::OpResponse(taskresponse* r) {
  if (!r) return -1;
  int rc = 0;
  if (KeyWord(r, &rc, [this] { return LoadLanguage(1); })) return rc;
  return TaskMenu.MenuOp(r->key);
}

int TaskForAcquire::Assist(taskresponse* request, taskresponse*) {
  if (!request) return -1;
  const int selector = request->words[0];
  const int value = request->words[1];
  if (request->request == kAssistSetItem && selector == kModeSelector && value <= kAcqModeAverage) {
    TaskMenu.SetMenuItem(kAcqMode, uint64_t(value));
    Acqure_Mode(kNoKey);
  } else if (request->request == kAssistSetItem && selector == kMemDepthSelector &&
             value <= kAcqMemDepthLast) {
    TaskMenu.SetMenuItem(kAcqMemDepth, uint64_t(value));
    Acqure_MemDepth(kNoKey);
  } else if (request->request == kAssistStep && request->words[0] == 0) {
    const int depth = Item(kAcqMemDepth) + 1;
    TaskMenu.SetMenuItem(kAcqMemDepth, uint64_t(depth > kAcqMemDepthLast ? kAcqMemDepthLast : depth));
    Acqure_MemDepth(kNoKey);
    Sys().message->SetMessage(kMsgDepthAdjusted);
  }
  AcquireMenuOp(kNoKey);
  TaskMenu.MenuPopDisable();
  return 0;
}

int TaskForAcquire::TaskControlHandover(taskresponse*) {
  TaskMenu.MenuPopDisable();
  return 0;
}

int TaskForAcquire::TaskBetweenSync(taskresponse* r, taskresponse*) {
  if (r && (r->key.key == MENU_KEY_KNOB_UP || r->key.key == MENU_KEY_KNOB_DOWN))
    std::printf("TaskForAcquire :: TaskBetweenSync key %d\n", r->key.key);
  return 0;
}

int TaskForAcquire::LoadLanguage(int reload) {
  if (reload != 0 && reload != 1) return -1;
  char language[kLanguageText] = {};
  _SysRunInfoOp* run = Sys().runStatus;
  run->GetLanguageCountry(run->GetSysRunInfoBaseAddr()->language, language);
  char path[128];
  if (Menu::MenuTextPath(path, sizeof path, language, "Acquire") < 0) return -1;
  const int rc = reload == 0 ? TaskMenu.LoadMenu(path, &TaskAcquireMenu)
                             : TaskMenu.ReLoadMenu(path, &TaskAcquireMenu);
  return rc < 0 ? -1 : 0;
}
