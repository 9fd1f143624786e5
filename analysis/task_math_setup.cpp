// The math module's language file (menu texts, then the expression keypad's
// title after a '&' mark) and its block of a setup file: "TASK-MATH", CR LF,
// the menu image, CR LF, the 252-byte expression record, CR LF, item 22 as
// a 16-bit big-endian word, CR LF.
#include <cstdio>
#include <cstring>

#include "analysis/lang_text.h"
#include "analysis/math_calc.h"
#include "analysis/task_math.h"
#include "core/common_subprogram.h"
#include "core/ids.h"
#include "core/setup_block.h"
#include "core/sys_run_info.h"
#include "core/task_manage.h"

namespace {
constexpr uint16_t kTitleMark = '&';
constexpr char kLabel[] = "TASK-MATH";
constexpr char kCrLf[] = "\r\n";
constexpr int kLabelBytes = int(sizeof kLabel - 1);
constexpr int kCrLfBytes = 2;
constexpr int kRecordBytes = int(sizeof(AdvanceData));
constexpr int kTailBytes = kCrLfBytes + kRecordBytes + kCrLfBytes + 2 + kCrLfBytes;
constexpr int kAverageSelMin = 1, kAverageSelMax = 9;
constexpr uint32_t kAttrProcess = 0, kAttrDisplay = 1;

bool SaveBlock(SetupFileRecord* rec) {
  const int room = rec->length - rec->used - kLabelBytes - kCrLfBytes - kTailBytes;
  if (rec->used < 0 || room <= 0) return false;
  uint8_t* at = rec->buffer + rec->used;
  uint8_t* image = at + kLabelBytes + kCrLfBytes;
  const int n = TaskMath.TaskMenu.MenuAllItemCopyMem(&TaskMathMenu, image, size_t(room));
  if (n < 0) return false;
  std::memcpy(at, kLabel, kLabelBytes);
  std::memcpy(at + kLabelBytes, kCrLf, kCrLfBytes);
  uint8_t* p = image + n;
  std::memcpy(p, kCrLf, kCrLfBytes);
  AdvanceData d;
  TaskMath.GetAdvData(&d);
  std::memcpy(p + kCrLfBytes, &d, kRecordBytes);
  p += kCrLfBytes + kRecordBytes;
  std::memcpy(p, kCrLf, kCrLfBytes);
  const uint16_t avg = uint16_t(TaskMath.TaskMenu.GetMenuItem(kMathItemAverageSel));
  p[2] = uint8_t(avg >> 8);
  p[3] = uint8_t(avg);
  std::memcpy(p + 4, kCrLf, kCrLfBytes);
  rec->used += kLabelBytes + kCrLfBytes + n + kTailBytes;
  return true;
}

// The record is checked again before it is taken (a file may hold anything),
// and item 22 is kept within its choices.
bool LoadBlock(SetupFileRecord* rec) {
  if (rec->length <= 0) return false;
  const int at = CommonSubProg.ScanMarkLabel(reinterpret_cast<const char*>(rec->buffer), kLabel, rec->length);
  if (at < 0) return false;
  const int start = at + kLabelBytes + kCrLfBytes;
  uint8_t scratch[kMenuPages * kMenuImagePageBytes];
  const int image = TaskMath.TaskMenu.MenuAllItemCopyMem(&TaskMathMenu, scratch, sizeof scratch);
  if (image < 0 || start > rec->length || start + image + kTailBytes > rec->length) return false;
  const int n = TaskMath.TaskMenu.MenCopytoMenuAllItem(&TaskMathMenu, rec->buffer + start, size_t(image));
  if (n < 0) return false;
  const uint8_t* p = rec->buffer + start + n + kCrLfBytes;
  AdvanceData d;
  std::memcpy(&d, p, kRecordBytes);
  TaskMath.SetAdvData(&d);
  p += kRecordBytes + kCrLfBytes;
  int avg = p[0] << 8 | p[1];
  if (avg < kAverageSelMin || avg > kAverageSelMax) avg = kAverageSelMin;
  TaskMath.TaskMenu.SetMenuItem(kMathItemAverageSel, uint64_t(avg));
  Math_MenuReset();
  TaskMath.ApplyType();
  if (SysRunStatus.GetChStatus() >> kMathSlot & 1) {
    TaskManage.AddUserTaskProcess(kTaskMath, kAttrProcess, 0);
    TaskManage.AddUserTaskDisplay(kTaskMath, kAttrDisplay, 0);
  }
  return true;
}
}  // namespace

int TaskForMath::Stroage(taskresponse* r) { return RunSetupBlock(r, SaveBlock, LoadBlock); }

int TaskForMath::LoadLanguage(int reload) {
  if (reload != 0 && reload != 1) return -1;
  char language[kLanguageText] = {};
  int index = SysRunStatus.GetSysRunInfoBaseAddr()->language;
  if (index < 0 || index >= kLanguages) index = 0;
  SysRunStatus.GetLanguageCountry(index, language);
  char path[128];
  if (Menu::MenuTextPath(path, sizeof path, language, "Math") < 0) {
    std::printf("filename Null \n");
    return -1;
  }
  const int rc = reload == 0 ? TaskMenu.LoadMenu(path, &TaskMathMenu) : TaskMenu.ReLoadMenu(path, &TaskMathMenu);
  LoadParaInfo(path);
  return rc < 0 ? -1 : 0;
}

int TaskForMath::LoadParaInfo(const char* path) {
  std::vector<uint16_t> t;
  if (!path || !ReadLanguageLines(path, &t)) return -1;
  size_t at = 0;
  const uint16_t* title = NextMarkedLine(t, &at, kTitleMark);
  if (!title) return -1;
  text_.swap(t);
  Math_AdvanceTitle = title;
  return 0;
}
