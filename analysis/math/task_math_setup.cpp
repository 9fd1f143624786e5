// The math module's language file (menu texts, then the expression keypad's
// title after a '&' mark) and its block of a setup file: "TASK-MATH", CR LF,
// the menu image, CR LF, the 252-byte expression record, CR LF, item 22 as
// a 16-bit big-endian word, CR LF.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "analysis/fft/math_fft_remote.h"
#include "analysis/lang_text.h"
#include "analysis/math/math_calc.h"
#include "analysis/math/task_math.h"
#include "core/state/ids.h"
#include "core/state/setup_block.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"

namespace {
constexpr uint16_t kTitleMark = '&';
constexpr char kLabel[] = "TASK-MATH";
constexpr char kCrLf[] = "\r\n";
constexpr size_t kCrLfBytes = 2;
constexpr size_t kRecordBytes = sizeof(AdvanceData);
constexpr size_t kWordBytes = 2;
// After the menu image: CR LF, the record, CR LF, item 22.
constexpr size_t kTailBytes = kCrLfBytes + kRecordBytes + kCrLfBytes + kWordBytes;
constexpr uint32_t kAttrProcess = 0, kAttrDisplay = 1;

int WriteBody(uint8_t* out, size_t room) {
  if (room <= kTailBytes) return -1;
  const int n = TaskMath.TaskMenu.MenuAllItemCopyMem(&TaskMathMenu, out, room - kTailBytes);
  if (n < 0) return -1;
  uint8_t* p = out + n;
  std::memcpy(p, kCrLf, kCrLfBytes);
  AdvanceData d;
  TaskMath.GetAdvData(&d);
  std::memcpy(p + kCrLfBytes, &d, kRecordBytes);
  p += kCrLfBytes + kRecordBytes;
  std::memcpy(p, kCrLf, kCrLfBytes);
  const uint16_t avg = uint16_t(TaskMath.TaskMenu.GetMenuItem(kMathItemAverageSel));
  p[kCrLfBytes] = uint8_t(avg >> 8);
  p[kCrLfBytes + 1] = uint8_t(avg);
  return n + int(kTailBytes);
}

// The body when it lies whole in the file with every item inside its range;
// null otherwise.
const uint8_t* WholeBody(const SetupFileRecord& rec, size_t* image) {
  size_t available = 0;
  const uint8_t* body = FindSetupBlock(rec, kLabel, &available);
  *image = Menu::ImageBytes(&TaskMathMenu);
  if (!body || available < *image + kTailBytes || !CheckMenuImage(kLabel, &TaskMathMenu, body, *image)) return nullptr;
  return body;
}

bool CheckBlock(SetupFileRecord* rec) {
  size_t image = 0;
  return !FindSetupBlock(*rec, kLabel, &image) || WholeBody(*rec, &image);
}

// The whole body must be in the file before anything is taken; the record
// is checked again (a file may hold anything).
bool LoadBlock(SetupFileRecord* rec) {
  size_t image = 0;
  const uint8_t* body = WholeBody(*rec, &image);
  if (!body || TaskMath.TaskMenu.MenCopytoMenuAllItem(&TaskMathMenu, body, image) < 0) return false;
  const uint8_t* p = body + image + kCrLfBytes;
  AdvanceData d;
  std::memcpy(&d, p, kRecordBytes);
  TaskMath.SetAdvData(&d);
  p += kRecordBytes + kCrLfBytes;
  TaskMath.TaskMenu.SetMenuItem(kMathItemAverageSel, uint64_t(p[0] << 8 | p[1]));
  // The menu's reset re-applies the point count, which widens the span to
  // the whole spectrum: the span the setup holds is put back after it.
  const uint64_t startBin = TaskMath.TaskMenu.GetMenuItem(kMathItemStartBin);
  const uint64_t endBin = TaskMath.TaskMenu.GetMenuItem(kMathItemEndBin);
  const uint64_t markLevel = TaskMath.TaskMenu.GetMenuItem(kMathItemMarkLevel);
  const uint64_t autoList = TaskMath.TaskMenu.GetMenuItem(kMathItemAutoList);
  const uint64_t thrList = TaskMath.TaskMenu.GetMenuItem(kMathItemThrList);
  Math_MenuReset();
  TaskMath.ApplyType();
  TaskMath.TaskMenu.SetMenuItem(kMathItemStartBin, startBin);
  TaskMath.TaskMenu.SetMenuItem(kMathItemEndBin, endBin);
  MathFftAdjFreq();
  // The marks' threshold level, which the reset clears, likewise (a file may
  // hold anything: a level that is no number is 0).
  const float stored = ItemParaF32(markLevel), level = std::isfinite(stored) ? stored : 0.0f;
  TaskMath.TaskMenu.SetMenuItem(kMathItemMarkLevel, ItemParaFromF32(level));
  MathFftSetMarkThreshold(level);
  // The mark type's re-apply closes the mark lists: the lists it holds open again.
  MathFftPutMarkLists(autoList, thrList);
  if (SysRunStatus.GetChStatus() >> kMathSlot & 1) {
    TaskManage.AddUserTaskProcess(kTaskMath, kAttrProcess, 0);
    TaskManage.AddUserTaskDisplay(kTaskMath, kAttrDisplay, 0);
  }
  return true;
}
}  // namespace

int TaskForMath::Stroage(taskresponse* r) {
  return RunSetupBlock(r, [](SetupFileRecord* rec) { return SaveSetupBlock(rec, kLabel, WriteBody); }, LoadBlock,
                       CheckBlock);
}

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
