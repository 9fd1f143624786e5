// The utility module: its menu, the key words it answers, the dialogs it
// draws and the assists other modules send it.
#include "system/task_utility.h"

#include <cstdio>
#include <cstring>

#include "core/control.h"
#include "core/ids.h"
#include "core/sys_run_info.h"
#include "core/task_manage.h"
#include "remote/scpi_table.h"
#include "system/recorder.h"
#include "system/recorder_pages.h"

TaskForUtility TaskUtility;
instr TaskUtilityInstrStandard[] = {{"", nullptr}};

namespace {
constexpr int kPageMain = 0;
constexpr int kItemRecordEntry = 3;
constexpr uint32_t kAction = 0x1;
constexpr int kWordFastRec = 172, kWordStopPlay = 230;
constexpr uint32_t kDialogRecCounterBit = kDialogRecCounter, kDialogNumPadBit = 0x100;

int Utility_MenuOp(keypara key) {
  if (key.key == kKeyUtility && TaskUtility.TaskMenu.GetCurrPage() != kPageMain)
    TaskUtility.TaskMenu.SetCurrPage(kPageMain);
  return 0;
}

menu BuildMenu() {
  menu m;
  std::snprintf(m.name, sizeof m.name, "%s", "Utility");
  DefineMenuPage(&m, kPageMain, "Utility-1", 0x401, Utility_MenuOp);
  DefineMenuItem(&m, kItemRecordEntry, "Record", kAction, 1, Utility_Record, MENU_NOT_STORED, -1);
  DefineRecorderPages(&m, Utility_MenuOp);
  return m;
}
}  // namespace

menu TaskUtilityMenu = BuildMenu();

void TaskForUtility::SetFuncBits(uint32_t bits) {
  FuncBits |= bits;
  std::printf("func bit = %#x \n", FuncBits);
}

int TaskForUtility::LoadLanguage() {
  int index = Run().GetSysRunInfoBaseAddr()->language;
  if (index < 0 || index >= kMenuLanguages) index = 0;
  char language[kMenuLanguageBytes + 1] = {};
  char path[128];
  if (Run().GetLanguageCountry(index, language) < 0 ||
      Menu::MenuTextPath(path, sizeof path, language, "Utility") < 0 ||
      TaskMenu.LoadMenu(path, &TaskUtilityMenu) < 0) {
    if (TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskUtilityMenu);
    return -1;
  }
  return 0;
}

int TaskForUtility::Initialize() {
  LoadLanguage();
  Rec_Init();
  QelControl.SendRealControl(kWordFastRec, 0);
  QelControl.SendRealControl(kWordStopPlay, 1);
  Rec_Close();
  TaskMenu.MenuPopDisable();
  LoadSysInformation();
  GetSerialNumber();
  return 0;
}

int TaskForUtility::OpResponse(taskresponse* r) {
  if (!r) return -1;
  int rc = 0;
  if (KeyWord(r, &rc, [this] { return LoadLanguage(); })) return rc;
  return TaskMenu.MenuOp(r->key);
}

int TaskForUtility::DataProcess() {
  Rec_GetWaveNum();
  return 0;
}

int TaskForUtility::Display() {
  if (FuncBits & kDialogRecCounterBit) Utility_DrawRecWaveNum();
  if (FuncBits & kDialogNumPadBit) RecorderNumPadDraw();
  return 0;
}

int TaskForUtility::FunctionOnOff(int on) {
  if (on != 0 && on != 2) return 0;
  RecorderNumPadClose();
  Rec_Close();
  TaskManage.DelUserTaskProcess(kTaskUtility);
  TaskManage.DelUserTaskDisplay(kTaskUtility);
  return 0;
}

int TaskForUtility::Assist(taskresponse* request, taskresponse*) {
  if (!request) return 0;
  const uint16_t kind = request->words[kAssistKind], value = request->words[kAssistValue];
  if (kind == kAssistUtilityInfo && value == kAssistRecordToVideo) {
    char name[sizeof request->area + 1] = {};
    std::memcpy(name, request->area, sizeof request->area);  // always ends in a NUL
    return RecordToVideo(name, int16_t(request->words[kAssistRate]), 0, request->words[kAssistFirst],
                         request->words[kAssistLast]);
  }
  if (kind == kAssistFunctionOff && value == kAssistRecorderClose) {
    Rec_Close();
    TaskMenu.SetCurrPage(kPageMain);
  }
  return 0;
}
