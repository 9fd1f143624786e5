// The storage module: key words, factory settings, start-up, the task slots
// and what the module draws over the screen.
#include "system/storage/task_storage.h"

#include <cstdio>
#include <cstring>

#include "acquisition/models/y_system.h"
#include "core/board/i2c_storage.h"
#include "core/state/ids.h"
#include "core/menu/menu.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "remote/scpi/scpi_table.h"
#include "system/storage/storage_setup.h"
#include "system/storage/storage_wave.h"
#include "system/storage/task_storage_internal.h"
#include "ui/screen/qel_draw.h"

TaskForStorage TaskStorage;
const int LoadTaskOrder[] = {6, 7, 8, 9, 0, 14, 15, 16, 18, 10, 11, 12, 13, 0, -1};
StorageState Storage;
_Filelist WaveFileList, SetFileList;

namespace {
constexpr int kEeType = 214;
constexpr uint16_t kAssistClear = 1, kAssistLayout = 4;
constexpr int kRefSelector[2] = {2, 14};
constexpr int kSyncTasks[] = {kTaskSystem, kTaskTrigger, kTaskMath};
constexpr int kListRow = 130, kListColumn = 170;
constexpr int kPromptPicture = 102, kPromptFont = 4, kPromptColour = 0xC8C8AF;
constexpr int kPromptRow = 130, kPromptColumn = 200, kPromptTextRow = 170, kPromptTextColumn = 230,
              kPromptTextWidth = 350;
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};

const char* Extension() {
  const int type = int(uint16_t(TaskStorage.TaskMenu.GetMenuItem(kStoType)));
  if (type == kTypeSetup) return ".dat";
  if (type == kTypeVideo) return ".mp4";
  return uint16_t(TaskStorage.TaskMenu.GetMenuItem(kStoDisk)) == 2 ? ".csv" : ".wav";
}
}  // namespace

int TaskForStorage::Default() {
  std::printf("TaskForStorage -> Default\n");
  const iic_item batch[] = {IicU8(kEeType, 0), IicEnd()};
  (Sys().eeprom ? *Sys().eeprom : I2cStorage).I2C_BatchWrite(batch);
  if (TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskStorageMenu);
  for (int n : {kStoType, kStoTypeSet, kStoTypeRef, kStoTypePrt}) TaskMenu.SetMenuItem(n, 0);
  return 0;
}

int TaskForStorage::Initialize() {
  std::printf("TaskForStorage :: Initialize ...\n");
  if (LoadLanguage(0) < 0 && TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskStorageMenu);
  Storage.displayType = kShowNothing;
  StorageNamesInit();
  Storage_MenuInit();
  for (int t : kSyncTasks) Manager().AddTaskBetweenSync(t, kStorageTaskId);
  return 0;
}

int TaskForStorage::OpResponse(taskresponse* r) {
  if (!r) return -1;
  int rc = 0;
  if (KeyWord(r, &rc, [this] { return LoadLanguage(1); })) return rc;
  if (r->key.key == kKeyScpiLoad) {
    Storage_LoadSure(keypara{storage_module::kKeyConfirmNow, 0, 0});
    return 0;
  }
  if (r->key.key == kKeyScpiRecordToVideo) return StorageVideoFromScpi();
  return TaskMenu.MenuOp(r->key);
}

void TaskForStorage::Set_scpi_loadfilename(const char* name, int length, int disk) {
  std::memset(Storage.loadFileName, 0, sizeof Storage.loadFileName);
  if (name && length > 0) std::memcpy(Storage.loadFileName, name, size_t(std::min<int>(length, sizeof Storage.loadFileName - 1)));
  Storage.scpiDisk = int16_t(disk);
}

int TaskForStorage::Display() {
  if (Storage.numKeyboard) {
    StorageNumPadDraw();
    return 0;
  }
  switch (Storage.displayType) {
    case kShowKeyboard: {
      char shown[kStorageNameChars + 8];
      std::snprintf(shown, sizeof shown, "%s%s", Storage.inputName, Extension());
      QelDraw.DrawSoftKeyboard(Storage.keySel, Storage.upperLower, shown);
      break;
    }
    case kShowFiles: {
      const int type = int(uint16_t(TaskMenu.GetMenuItem(kStoType)));
      QelDraw.DrawFileSelList(kListRow, kListColumn, type == 2 ? &WaveFileList : &SetFileList, fileListTitle);
      break;
    }
    case kShowPrompt: {
      Font* f = QelDraw.GetUserFontPointer();
      if (f) f->SetCurrFont(kPromptFont);
      QelDraw.DrawPictrue(kPromptRow, kPromptColumn, kPromptPicture, DRAW_CURRENT);
      if (promptTitle) QelDraw.DrawLanguage(kPromptRow + 3, kPromptColumn + 3, promptTitle, kPromptColour, DRAW_CURRENT);
      if (promptText)
        QelDraw.DrawLanguageTxt(kPromptTextRow, kPromptTextColumn, promptText, kPromptTextWidth, kPromptColour, DRAW_CURRENT);
      break;
    }
    case kShowScreenshot: StorageDrawScreenshot(); break;
    default: break;
  }
  return 0;
}

int TaskForStorage::FunctionOnOff(int mode) {
  if (mode != 2) return 0;
  Storage_MenuInit();
  StorageViewOff();
  return 0;
}

// The MENU key (menu off) leaves a shown screenshot.
int TaskForStorage::TaskBackgroundResponse(taskresponse* r, taskresponse*) {
  if (r && r->key.key == kKeyMenuOnOff) StorageViewOff();
  return 0;
}

// Request 1 (2 or 14) clears the selected reference; request 4 (2, 13)
// lays the shown references out again for the independent time base.
int TaskForStorage::Assist(taskresponse* request, taskresponse*) {
  if (!request) return -1;
  const int a = request->words[0], b = request->words[1];
  if (request->request == kAssistClear && (a == kRefSelector[0] || a == kRefSelector[1])) return Storage_ClearWave(kNoKey);
  if (request->request != kAssistLayout || !Run().IsIndependTimeBase() || b != 13) return -1;
  for (int ref = 0; ref < 2; ++ref)
    if (Run().GetChStatus() >> (kRefA + ref) & 1) StorageRefLayout(ref);
  return 0;
}

int TaskForStorage::TaskControlHandover(taskresponse*) {
  StorageViewOff();
  Storage.numKeyboard = 0;
  if (Storage.displayType != kShowNothing) {
    Storage.displayType = kShowNothing;
    Manager().DelUserTaskDisplay(kStorageTaskId);
  }
  return 0;
}

// A running acquisition ends the Rec Video page (the recording is gone);
// the references' display slots follow the time-base layout; an FFT shown
// switches the references off.
int TaskForStorage::TaskBetweenSync(taskresponse* r, taskresponse*) {
  if (Run().GetAcquireStatus(0) != kAcqStopped && TaskMenu.GetMenuItem(kStoType) == kTypeVideo) {
    for (int n : storage_module::kTypeItems) TaskMenu.SetMenuItem(n, kTypeWave);
    TaskMenu.SetCurrPage(kPageWave);
  }
  if (!r) return 0;
  const uint16_t key = r->key.key;
  if (key == kKeyF4 || key == kKeyTimeBaseOk)
    for (int ref = 0; ref < 2; ++ref) StorageRefLayout(ref);
  // The FFT spectrum takes the wave area: the shown references go off.
  if ((key == kKeyF1 || key == kKeyMath || key == kKeySelectPush) && (Run().GetFuncBits() & storage_module::kFuncFft) &&
      (Run().GetChStatus() & storage_module::kChMathShown))
    for (int ref = 0; ref < 2; ++ref)
      if (Run().GetChStatus() >> (kRefA + ref) & 1) SystemResource.vertical->SetChOnOff(kRefA + ref, 0);
  return 0;
}
