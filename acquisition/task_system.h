// The system function module. Its function is not built yet: it is
// registered and answers every call with "nothing done".
#pragma once
#include "core/task.h"

struct instr;

class TaskForSystem : public TaskNotBuilt {
 public:
  // The queue of knob operations made while a setting change was applied:
  // empty until the system module is built.
  int IsRunOpCmd() const { return -1; }
  int RunOpCmd() { return 0; }
  int DelayRunOpCmd() { return 0; }
  int AppendOpCmd(int op, int ch, int step, int flag) { return -1; }
};

extern TaskForSystem TaskSystem;
extern instr TaskSystemInstrStandard[];
