// The menu engine of a function module (texts, pages, items, pop-up list).
// Only the part the task framework uses is here so far.
#pragma once
#include <cstdint>

#include "core/keypara.h"

struct TaskResource;

// A module's static menu record.
struct menu {
  uint16_t word;
  int16_t pageCount;
  int16_t currPage;
  int16_t savedPage;
  int32_t popOpen;
  int32_t popItem;
  int32_t popCursor;
};

class Menu {
 public:
  void Attach(menu* record) { record_ = record; }
  void SetResource(TaskResource* resource) { resource_ = resource; }
  bool MenuIsNull() const { return record_ == nullptr; }
  int GetCurrPage() const { return record_ ? record_->currPage : 0; }
  int GetMaxPage() const { return record_ && record_->pageCount > 0 ? record_->pageCount - 1 : 0; }
  int SetCurrPage(int item);
  int MenuOp(keypara key);
  int SetMenuItem(int n, uint64_t value);
  uint64_t GetMenuItem(int n) const { return n < 0 ? 0xFFFF : 0; }
  void MenuPopDisable() {
    if (record_) record_->popOpen = 0;
  }

 private:
  int16_t pageOffset_ = 0;
  menu* record_ = nullptr;
  TaskResource* resource_ = nullptr;
};
