#include "ui/display/task_display.h"

#include <cstdio>

#include "core/state/ids.h"
#include "core/board/i2c_storage.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "remote/scpi/scpi_table.h"
#include "ui/screen/qel_draw.h"

TaskForDisplay TaskDisplay;

namespace {
constexpr uint16_t kAssistMenuTime = 4;
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};

// Factory settings: the values written by Default.
struct DefaultRow {
  int item;
  uint8_t value;
};
constexpr DefaultRow kDefaults[] = {
    {kDispType, 0},      {kDispGraticule, 0},   {kDispGridBright, 50}, {kDispWaveBright, 50},
    {kDispBackLight, 50}, {kDispPersist, 0},    {kDispColor, 0},       {kDispColorInvert, 0},
    {kDispMenuTime, 3},  {kDispTransparent, 1},
};

int Item(int n) { return int(uint16_t(TaskDisplay.TaskMenu.GetMenuItem(n))); }
}  // namespace

int TaskForDisplay::Default() {
  std::printf("TaskForDisplay -> Default\n");
  const iic_item batch[] = {IicU8(123, 50), IicU8(124, 50), IicU8(164, 50),
                            IicU8(160, 3),  IicU8(212, 1),  IicEnd()};
  Sys().eeprom->I2C_BatchWrite(batch);
  // The items follow the EEPROM at once (also before the first Initialize),
  // so the menu never shows or steps from a value the EEPROM no longer holds.
  if (TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskDisplayMenu);
  for (const DefaultRow& d : kDefaults) TaskMenu.SetMenuItem(d.item, d.value);
  Sys().runStatus->SysRunInfoSync(kTaskDisplay);
  return 0;
}

int TaskForDisplay::Initialize() {
  std::printf("TaskForDisplay :: Initialize ...\n");
  LoadLanguage(0);
  DisplayLimitItems();
  qel_draw* draw = Sys().draw;
  draw->SetGrayScale(Item(kDispGridBright));
  draw->SetWaveBright(Item(kDispWaveBright));
  draw->SetFFTWaterFallGrayScale();
  if (Item(kDispColor)) draw->SetColorTemp(Item(kDispColorInvert), 0);
  Sys().runStatus->SysRunInfoSync(Manager().GetTaskCurrId());
  for (MenuHandler h : {Display_Type, Display_BackLight, Display_MenuTime, Display_Transparent})
    h(kNoKey);
  Display_Persist(kNoKey);
  std::printf("Persist = %d \n", Item(kDispPersist));
  Manager().AddTaskBetweenSync(kTaskAcquire, kTaskDisplay);
  return 0;
}

int TaskForDisplay::OpResponse(taskresponse* r) {
  if (!r) return -1;
  int rc = 0;
  if (KeyWord(r, &rc, [this] { return LoadLanguage(1); })) return rc;
  return TaskMenu.MenuOp(r->key);
}

int TaskForDisplay::FunctionOnOff(int) {
  TaskMenu.SetMenuItem(kDispType, 0);
  Display_Type(kNoKey);
  TaskMenu.SetMenuItem(kDispPersist, 0);
  Display_Persist(kNoKey);
  return 0;
}

int TaskForDisplay::Assist(taskresponse* request, taskresponse*) {
  if (request && request->request == kAssistMenuTime && request->words[0] == 0)
    Display_MenuTime(kNoKey);
  return 0;
}

int TaskForDisplay::TaskControlHandover(taskresponse*) {
  TaskMenu.MenuPopDisable();
  return 0;
}

int TaskForDisplay::LoadLanguage(int reload) {
  if (reload != 0 && reload != 1) return -1;
  char language[kLanguageText] = {};
  _SysRunInfoOp* run = Sys().runStatus;
  run->GetLanguageCountry(run->GetSysRunInfoBaseAddr()->language, language);
  char path[128];
  if (Menu::MenuTextPath(path, sizeof path, language, "Display") < 0) return -1;
  if (reload == 0)
    TaskMenu.LoadMenu(path, &TaskDisplayMenu);
  else
    TaskMenu.ReLoadMenu(path, &TaskDisplayMenu);
  DisplayMenu = &TaskMenu;
  return 0;
}
