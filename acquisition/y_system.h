// The vertical (channel) hardware model. Only the calls of start-up exist so far.
#pragma once
#include <cstdint>

class y_system {
 public:
  int SetChOnOff(int ch, int on);
  int AdjYsensitivity(int ch, int step) { return ch < 0 || ch > 1 ? -1 : 0; }
  int GetAdcGain(int ch, int range, uint16_t* gain) const;
  int YParaSyncRefresh() { return 0; }
};

extern y_system Vertical;
