#include "core/task.h"

int TaskNotBuilt::OpResponse(taskresponse* r) {
  if (!r) return -1;
  ++keysSeen;
  lastKey = r->key.key;
  if (r->key.key >= KEY_WORD_DEFAULT && r->key.key <= KEY_WORD_NONE) return 0;
  return TaskMenu.MenuOp(r->key);
}
