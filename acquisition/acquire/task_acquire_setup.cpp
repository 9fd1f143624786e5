// The acquire module's block of a setup file: "TASK-ACQUIRE", CR LF, the
// image of every item value, CR LF.
#include "acquisition/acquire/task_acquire.h"
#include "core/state/setup_block.h"

namespace {
constexpr char kLabel[] = "TASK-ACQUIRE";

bool SaveBlock(SetupFileRecord* rec) {
  return SaveMenuBlock(rec, kLabel, TaskAcquire.TaskMenu, &TaskAcquireMenu);
}

bool CheckBlock(SetupFileRecord* rec) { return CheckMenuBlock(*rec, kLabel, &TaskAcquireMenu); }

bool LoadBlock(SetupFileRecord* rec) {
  if (!LoadMenuBlock(*rec, kLabel, TaskAcquire.TaskMenu, &TaskAcquireMenu)) return false;
  AcquireLimitItems();
  AcquireParaReSet();
  return true;
}
}  // namespace

int TaskForAcquire::Stroage(taskresponse* r) {
  return RunSetupBlock(r, SaveBlock, LoadBlock, CheckBlock);
}
