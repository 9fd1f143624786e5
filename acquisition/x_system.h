// The horizontal (time base) hardware model. Only the calls of start-up exist so far.
#pragma once

class x_system {
 public:
  int AdjTimeBase(int block, int step) { return block < 0 ? -1 : 0; }
  int XParaSyncRefresh(int) { return 0; }
};

extern x_system TimeBase;
