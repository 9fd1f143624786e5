#include "ui/menu.h"

int Menu::SetCurrPage(int item) {
  if (!record_ || item < 0) return -1;
  record_->currPage = int16_t(item / 5);
  return 0;
}

int Menu::MenuOp(keypara) { return record_ ? 0 : -1; }

int Menu::SetMenuItem(int n, uint64_t) { return n < 0 ? 0xFFFF : 0; }
