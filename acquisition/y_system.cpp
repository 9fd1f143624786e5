#include "acquisition/y_system.h"

#include "core/sys_run_info.h"

y_system Vertical;

int y_system::SetChOnOff(int ch, int on) {
  if (ch < 0 || ch > 1) return -1;
  int mask = SysRunStatus.GetChStatus();
  mask = on ? (mask | (1 << ch)) : (mask & ~(1 << ch));
  SysRunStatus.SetChStatus(mask);
  return 0;
}

int y_system::GetAdcGain(int ch, int, uint16_t* gain) const {
  if (ch < 0 || ch > 1 || !gain) return -1;
  gain[0] = gain[1] = 0;
  return 0;
}
