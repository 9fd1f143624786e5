// The auto-set object the system module owns: the AUTO key's automatic
// set-up of time base, volts per division and trigger.
#pragma once

class Menu;
struct TaskResource;

class SysAutoSet {
 public:
  SysAutoSet(TaskResource* resource, Menu* menu) : resource_(resource), menu_(menu) {}
  // The automatic set-up; 0, or -1 when it did not set up.
  int RunAutoset();
  // One acquisition of the independent-mode test; 0, or -1 without one.
  int IndependAutoTest();
  int Runs() const { return runs_; }

 private:
  [[maybe_unused]] TaskResource* resource_;
  [[maybe_unused]] Menu* menu_;
  int runs_ = 0;
};
