// The cursor module's block of a setup file: "TASK-CURSOR", CR LF, the image
// of every item value, CR LF. The line positions are not part of it.
#include "analysis/cursor/task_cursor.h"
#include "analysis/cursor/task_cursor_internal.h"
#include "core/state/setup_block.h"

namespace {
constexpr char kLabel[] = "TASK-CURSOR";

bool SaveBlock(SetupFileRecord* rec) { return SaveMenuBlock(rec, kLabel, TaskCursor.TaskMenu, &TaskCursorMenu); }

bool CheckBlock(SetupFileRecord* rec) { return CheckMenuBlock(*rec, kLabel, &TaskCursorMenu); }

bool LoadBlock(SetupFileRecord* rec) {
  if (!LoadMenuBlock(*rec, kLabel, TaskCursor.TaskMenu, &TaskCursorMenu)) return false;
  cursor_module::LimitItems();
  TaskCursor.CheckDisplayFormat();
  Cursor_Enable(cursor_module::kNoKey);
  return true;
}
}  // namespace

int TaskForCursor::Stroage(taskresponse* r) {
  return RunSetupBlock(r, SaveBlock, LoadBlock, CheckBlock);
}
