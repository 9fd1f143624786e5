// The storage module's screenshot viewer (the second PrintScreen page): the
// ".bmp" files of the USB disk's screenshot folder shown over the whole
// screen one at a time, stepped through with View Next and View Previous.
#include <cstdio>
#include <cstring>

#include "core/common/common_subprogram.h"
#include "core/menu/menu_def.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "system/storage/screenshot_file.h"
#include "system/storage/storage_files.h"
#include "system/storage/task_storage.h"
#include "system/storage/task_storage_internal.h"
#include "ui/screen/qel_draw.h"

using namespace storage_module;

namespace {
constexpr uint32_t kStepShown = kMenuAction, kStepHidden = kMenuAction | MENU_ATTR_HIDDEN;
constexpr int kStepItems[] = {kStoViewNext, kStoViewPrevious};
constexpr int kMsgNoFile = 56;
constexpr int kMarkRow = 2, kMarkCol = 4, kMarkPictures[2] = {125, 126};
constexpr int64_t kMarkBlinkUs = 401000;
constexpr int kNameRow = 400, kNameCol = 350, kNameColour = 0xFFFFFF;
constexpr int kWidth = 800, kHeight = 480;
constexpr int kOverlayShown = 1;

_Filelist ShotList;
int shown = -1;                  // index in the list of the file stepped to
char shownName[kFileNameBytes];  // "" when that file is not a screenshot
int64_t markTime = 0;
int mark = 0;

void ShowSteps(bool on) {
  for (int n : kStepItems) M().SetItemAttribute(n, on ? kStepShown : kStepHidden);
}

void Step(int delta) {
  const int n = ShotList.count;
  if (n <= 0) return;
  shown = ((shown + delta) % n + n) % n;
  if (ReadScreenshot(ShotList.name[shown]))
    std::snprintf(shownName, sizeof shownName, "%s", ShotList.name[shown]);
  else
    shownName[0] = '\0';
  Run().SetDrawRefresh();
}

void CloseOverlay() {
  if (Storage.displayType != kShowScreenshot) return;
  Storage.displayType = kShowNothing;
  Manager().DelUserTaskDisplay(kStorageTaskId);
}
}  // namespace

// Print View opens the viewer's page.
int Storage_PrintScreen_View(keypara) {
  M().SetCurrPage(kPageView);
  return 0;
}

int Storage_PrintScreen_ViewOnOff(keypara k) {
  if (M().AdjMenuItemPara(k, kStoView) == 0) {
    ShowSteps(false);
    CloseOverlay();
    return 0;
  }
  if (!StorageUsbIn()) {
    M().SetMenuItem(kStoView, 0);
    if (k.key != KEY_NO_KEY) Message(kMsgNoUsb);
    return 0;
  }
  if (CommonSubProg.ReadFileList(kScreenshotFolder, ".bmp", &ShotList, 0) <= 0) {
    M().SetMenuItem(kStoView, 0);
    ShowSteps(false);
    Message(kMsgNoFile);
    return 0;
  }
  ShowSteps(true);
  shown = -1;
  Step(+1);
  Storage.displayType = kShowScreenshot;
  Manager().AddUserTaskDisplay(kStorageTaskId, kOverlayShown, 0);
  return 0;
}

int Storage_PrintScreen_ViewNext(keypara) {
  if (M().GetMenuItem(kStoView) & 0xFFFF) Step(+1);
  return 0;
}

int Storage_PrintScreen_ViewPrevious(keypara) {
  if (M().GetMenuItem(kStoView) & 0xFFFF) Step(-1);
  return 0;
}

int Storage_PrintScreen_Back(keypara) {
  StorageViewOff();
  M().SetCurrPage(kPagePrint);
  return 0;
}

void StorageViewOff() {
  const int type = Item(kStoType);
  if (type != kTypeRef && type != kTypePrint) return;
  M().SetMenuItem(kStoView, 0);
  ShowSteps(false);
  CloseOverlay();
}

// The shown file over the whole page, the blinking view mark and its name.
// Without the disk the view switches off and its page comes back.
void StorageDrawScreenshot() {
  if (!StorageUsbIn()) {
    M().SetMenuItem(kStoView, 0);
    ShowSteps(false);
    CloseOverlay();
    M().SetCurrPage(kPageView);
    Run().SetDrawRefresh();
    return;
  }
  uint32_t* page = QelDraw.GetDrawAddr(DRAW_CURRENT);
  const uint32_t* shot = ScreenshotPixels();
  if (!page || !shot || !shownName[0]) return;
  std::memcpy(page, shot, size_t(kWidth) * kHeight * sizeof(uint32_t));
  const int64_t now = plat::MonoUs();
  if (now - markTime > kMarkBlinkUs) {
    mark ^= 1;
    markTime = now;
  }
  QelDraw.DrawPictrue(kMarkRow, kMarkCol, kMarkPictures[mark], DRAW_CURRENT);
  QelDraw.DrawString(kNameRow, kNameCol, shownName, kNameColour, DRAW_CURRENT);
}
