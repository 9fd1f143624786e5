// The cursor module's block of a setup file: "TASK-CURSOR", CR LF, the image
// of every item value, CR LF. The line positions are not part of it.
#include <cstring>

#include "analysis/task_cursor.h"
#include "analysis/task_cursor_internal.h"
#include "core/common_subprogram.h"

namespace {
constexpr char kLabel[] = "TASK-CURSOR";
constexpr char kCrLf[] = "\r\n";
constexpr int kLabelBytes = int(sizeof kLabel - 1);
constexpr int kCrLfBytes = 2;

bool SaveBlock(SetupFileRecord* rec) {
  const int room = rec->length - rec->used - kLabelBytes - 2 * kCrLfBytes;
  if (rec->used < 0 || room <= 0) return false;
  uint8_t* at = rec->buffer + rec->used;
  const int image =
      TaskCursor.TaskMenu.MenuAllItemCopyMem(&TaskCursorMenu, at + kLabelBytes + kCrLfBytes, size_t(room));
  if (image < 0) return false;
  std::memcpy(at, kLabel, kLabelBytes);
  std::memcpy(at + kLabelBytes, kCrLf, kCrLfBytes);
  std::memcpy(at + kLabelBytes + kCrLfBytes + image, kCrLf, kCrLfBytes);
  rec->used += kLabelBytes + 2 * kCrLfBytes + image;
  return true;
}

// The whole block must be there before anything is taken from it.
bool LoadBlock(SetupFileRecord* rec) {
  if (rec->length <= 0) return false;
  const int at = CommonSubProg.ScanMarkLabel(reinterpret_cast<const char*>(rec->buffer), kLabel, rec->length);
  if (at < 0) return false;
  const int start = at + kLabelBytes + kCrLfBytes;
  uint8_t scratch[kMenuPages * kMenuImagePageBytes];
  const int image = TaskCursor.TaskMenu.MenuAllItemCopyMem(&TaskCursorMenu, scratch, sizeof scratch);
  if (image < 0 || start + image > rec->length) return false;
  if (TaskCursor.TaskMenu.MenCopytoMenuAllItem(&TaskCursorMenu, rec->buffer + start, size_t(image)) < 0) return false;
  cursor_module::LimitItems();
  TaskCursor.CheckDisplayFormat();
  Cursor_Enable(cursor_module::kNoKey);
  return true;
}
}  // namespace

int TaskForCursor::Stroage(taskresponse* r) { return RunSetupBlock(r, SaveBlock, LoadBlock); }
