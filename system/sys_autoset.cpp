#include "system/sys_autoset.h"

#include <cstdio>

// The automatic set-up is not built yet: AUTO is counted and changes nothing.
int SysAutoSet::RunAutoset() {
  ++runs_;
  std::printf("SysAutoSet: auto-set is not available\n");
  return -1;
}

int SysAutoSet::IndependAutoTest() {
  std::printf("SysAutoSet: independent auto test is not available\n");
  return -1;
}
