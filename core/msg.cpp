#include "core/msg.h"

msg QelMsg;

int msg::SetMessage(int n) {
  if (n < 0 || n > 120) return -1;
  pending_ = n;
  return n;
}
