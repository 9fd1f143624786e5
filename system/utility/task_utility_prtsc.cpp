// The screenshot viewer: the ".bmp" files of "/udisk/QelPrtSc/" shown one at
// a time over the whole screen, stepped through with View Next / Previous.
#include <cstring>

#include "core/common/common_subprogram.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "system/storage/screenshot_file.h"
#include "system/utility/task_utility.h"
#include "system/utility/task_utility_internal.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kWidth = 800, kHeight = 480;
constexpr uint32_t kHidden = 9;
constexpr int kMsgNoDisk = 23, kMsgNoFile = 56;
constexpr int kNameRow = 400, kNameCol = 350, kNameColour = 0xFFFFFF, kFrameColour = 0x828282;

_Filelist PrtScFileList;
char CurrPrtScFileName[kFileNameBytes];
int current = -1;
uint32_t shownAttribute[2];  // the view items' attributes before they were hidden

bool DiskPresent() { return TaskUtility.Run().GetUsbInsertStatus() != 0; }

void ShowViewItems(bool shown) {
  Menu& m = TaskUtility.TaskMenu;
  const int items[2] = {kUtiViewNext, kUtiViewPrevious};
  for (int i = 0; i < 2; ++i) {
    const uint32_t a = uint32_t(m.GetItemAttribute(items[i]));
    if (a != kHidden) shownAttribute[i] = a;
    m.SetItemAttribute(items[i], shown ? shownAttribute[i] : kHidden);
  }
}

bool LoadShot(const char* name) {
  // A name that does not fit the shown-name field is not shown cut.
  const size_t n = std::strlen(name);
  if (n >= sizeof CurrPrtScFileName || !ReadScreenshot(name)) return false;
  std::memcpy(CurrPrtScFileName, name, n + 1);
  return true;
}

void Step(int delta) {
  const int n = PrtScFileList.count;
  if (n <= 0) return;
  current = ((current + delta) % n + n) % n;
  if (!LoadShot(PrtScFileList.name[current])) CurrPrtScFileName[0] = '\0';  // not shown
  TaskUtility.Run().SetDrawRefresh();
}
}  // namespace

int Utility_PrintScreen(keypara) {
  TaskUtility.TaskMenu.SetMenuItem(kUtiPrintView, 0);
  ShowViewItems(false);
  UtiPage(kUtiPagePrtSc);
  return 0;
}

int Utility_PrintScreen_SaveInk(keypara key) { return UtiTake(key, kUtiSaveInk), 0; }

int Utility_PrintScreen_View(keypara key) {
  if (UtiTake(key, kUtiPrintView) == 0) {
    ShowViewItems(false);
    UtiCloseDialog(kUtiDlgPrtSc);
    TaskUtility.Manager().DelUserTaskDisplay(kTaskUtility);
    return 0;
  }
  if (!DiskPresent()) {
    TaskUtility.TaskMenu.SetMenuItem(kUtiPrintView, 0);
    UtiMessage(kMsgNoDisk);
    return 0;
  }
  if (CommonSubProg.ReadFileList(kScreenshotFolder, ".bmp", &PrtScFileList, 1) <= 0) {
    TaskUtility.TaskMenu.SetMenuItem(kUtiPrintView, 0);
    ShowViewItems(false);
    UtiMessage(kMsgNoFile);
    return 0;
  }
  ShowViewItems(true);
  UtiOpenDialog(kUtiDlgPrtSc);
  current = -1;
  CurrPrtScFileName[0] = '\0';
  return Utility_PrintScreen_ViewNext(key);
}

int Utility_PrintScreen_ViewNext(keypara) {
  Step(+1);
  return 0;
}

int Utility_PrintScreen_ViewPrevious(keypara) {
  Step(-1);
  return 0;
}

int Utility_PrintScreen_Back(keypara) {
  TaskUtility.TaskMenu.SetMenuItem(kUtiPrintView, 0);
  Utility_PrintScreen_View(kUtiNoKey);
  UtiPage(kUtiPageUtility2);
  return 0;
}

void Utility_DrawPrintScreen() {
  if (!DiskPresent()) {
    Utility_PrintScreen_Back(kUtiNoKey);
    return;
  }
  uint32_t* page = QelDraw.GetDrawAddr(DRAW_CURRENT);
  const uint32_t* shot = ScreenshotPixels();
  if (!page || !shot || !CurrPrtScFileName[0]) return;
  std::memcpy(page, shot, size_t(kWidth) * kHeight * sizeof(uint32_t));
  QelDraw.DrawRect(0, 0, kWidth, kHeight, kFrameColour, DRAW_CURRENT);
  QelDraw.DrawString(kNameRow, kNameCol, CurrPrtScFileName, kNameColour, DRAW_CURRENT);
}
