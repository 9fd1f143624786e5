// The screenshot viewer: the ".bmp" files of "/udisk/QelPrtSc/" shown one at
// a time over the whole screen, stepped through with View Next / Previous.
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/common_subprogram.h"
#include "core/sys_run_info.h"
#include "core/system_resource.h"
#include "core/task_manage.h"
#include "platform/root.h"
#include "system/task_utility.h"
#include "system/task_utility_internal.h"
#include "ui/qel_draw.h"

namespace {
constexpr char kShotDir[] = "/udisk/QelPrtSc/";
constexpr int kWidth = 800, kHeight = 480;
constexpr int kBmpHeader = 54, kBmpRowBytes = kWidth * 3;
constexpr long kBmpBytes = kBmpHeader + long(kBmpRowBytes) * kHeight;  // 1,152,054
constexpr uint32_t kHidden = 9;
constexpr int kMsgNoDisk = 23, kMsgNoFile = 56;
constexpr int kNameRow = 400, kNameCol = 350, kNameColour = 0xFFFFFF, kFrameColour = 0x828282;

_Filelist PrtScFileList;
char CurrPrtScFileName[kFileNameBytes];
std::unique_ptr<uint32_t[]> PrtScBuffer;
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

// Reads a 24-bit 800 x 480 BMP (bottom-up rows) of exactly 1,152,054 bytes.
bool LoadShot(const char* name) {
  char path[sizeof kShotDir + kFileNameBytes];
  std::snprintf(path, sizeof path, "%s%s", kShotDir, name);
  FILE* f = std::fopen(plat::MapPath(path).c_str(), "rb");
  if (!f) {
    std::printf("Open %s failed!\n", path);
    return false;
  }
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[kBmpBytes + 1]);
  const size_t n = std::fread(bytes.get(), 1, kBmpBytes + 1, f);
  std::fclose(f);
  const uint8_t* b = bytes.get();
  if (n != size_t(kBmpBytes) || b[0] != 'B' || b[1] != 'M' || (b[28] | b[29] << 8) != 24) return false;
  if (!PrtScBuffer) PrtScBuffer.reset(new uint32_t[size_t(kWidth) * kHeight]);
  for (int row = 0; row < kHeight; ++row) {
    const uint8_t* src = b + kBmpHeader + size_t(kHeight - 1 - row) * kBmpRowBytes;
    uint32_t* dst = PrtScBuffer.get() + size_t(row) * kWidth;
    for (int c = 0; c < kWidth; ++c) dst[c] = uint32_t(src[3 * c + 2]) << 16 | uint32_t(src[3 * c + 1]) << 8 | src[3 * c];
  }
  std::snprintf(CurrPrtScFileName, sizeof CurrPrtScFileName, "%s", name);
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
  if (CommonSubProg.ReadFileList(kShotDir, ".bmp", &PrtScFileList, 1) <= 0) {
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
  if (!page || !PrtScBuffer || !CurrPrtScFileName[0]) return;
  std::memcpy(page, PrtScBuffer.get(), size_t(kWidth) * kHeight * sizeof(uint32_t));
  QelDraw.DrawRect(0, 0, kWidth, kHeight, kFrameColour, DRAW_CURRENT);
  QelDraw.DrawString(kNameRow, kNameCol, CurrPrtScFileName, kNameColour, DRAW_CURRENT);
}
