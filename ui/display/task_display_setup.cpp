// The display module's block of a setup file: "TASK-DISPLAY", CR LF, the
// image of every item value, CR LF.
#include <cstdio>

#include "core/state/setup_block.h"
#include "ui/display/task_display.h"

namespace {
constexpr char kLabel[] = "TASK-DISPLAY";

bool Save(SetupFileRecord* rec) { return SaveMenuBlock(rec, kLabel, TaskDisplay.TaskMenu, &TaskDisplayMenu); }

bool Check(SetupFileRecord* rec) { return CheckMenuBlock(*rec, kLabel, &TaskDisplayMenu); }

bool Load(SetupFileRecord* rec) {
  if (!LoadMenuBlock(*rec, kLabel, TaskDisplay.TaskMenu, &TaskDisplayMenu)) return false;
  std::printf("color = %d \n", int(uint16_t(TaskDisplay.TaskMenu.GetMenuItem(kDispColor))));
  DisplayLimitItems();
  DisplayAllParaReSet();
  return true;
}
}  // namespace

int TaskForDisplay::Stroage(taskresponse* r) { return RunSetupBlock(r, Save, Load, Check); }
