// The request dispatcher: menu handlers apply settings by request code.
// Only the part start-up uses is here so far.
#pragma once

class _SysRequest {
 public:
  int LoadResource() { return 0; }
};

extern _SysRequest SysRequest;
