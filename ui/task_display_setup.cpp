// The display module's block of a setup file: "TASK-DISPLAY", CR LF, the
// image of every item value, CR LF.
#include <cstdio>
#include <cstring>

#include "core/common_subprogram.h"
#include "ui/task_display.h"

namespace {
constexpr char kLabel[] = "TASK-DISPLAY";
constexpr char kLineEnd[] = "\r\n";
constexpr size_t kLabelBytes = sizeof kLabel - 1;
constexpr size_t kLineEndBytes = sizeof kLineEnd - 1;

// Appends the block at `used`. On save the record's length is the buffer's
// capacity: a block that does not fit is a failed write.
bool Save(SetupFileRecord* rec) {
  if (rec->used < 0 || rec->length < rec->used) return false;
  uint8_t* p = rec->buffer + rec->used;
  const size_t room = size_t(rec->length - rec->used);
  if (room < kLabelBytes + 2 * kLineEndBytes) return false;
  std::memcpy(p, kLabel, kLabelBytes);
  std::memcpy(p + kLabelBytes, kLineEnd, kLineEndBytes);
  const size_t head = kLabelBytes + kLineEndBytes;
  const int image = TaskDisplay.TaskMenu.MenuAllItemCopyMem(&TaskDisplayMenu, p + head,
                                                            room - head - kLineEndBytes);
  if (image < 0) return false;
  std::memcpy(p + head + size_t(image), kLineEnd, kLineEndBytes);
  rec->used += int32_t(head + size_t(image) + kLineEndBytes);
  return true;
}

// Finds the block in the first `length` bytes and takes its values back.
bool Load(SetupFileRecord* rec) {
  if (rec->length <= 0) return false;
  const int at = CommonSubProg.ScanMarkLabel(reinterpret_cast<const char*>(rec->buffer), kLabel,
                                             rec->length);
  if (at < 0) return false;
  const size_t start = size_t(at) + kLabelBytes + kLineEndBytes;
  if (start > size_t(rec->length)) return false;
  if (TaskDisplay.TaskMenu.MenCopytoMenuAllItem(&TaskDisplayMenu, rec->buffer + start,
                                                size_t(rec->length) - start) < 0)
    return false;
  std::printf("color = %d \n", int(uint16_t(TaskDisplay.TaskMenu.GetMenuItem(kDispColor))));
  DisplayLimitItems();
  DisplayAllParaReSet();
  return true;
}
}  // namespace

int TaskForDisplay::Stroage(taskresponse* r) {
  if (!r) return -1;
  SetupFileRecord rec;
  std::memcpy(&rec, r->area, sizeof rec);
  bool ok = false;
  if (rec.buffer) ok = rec.direction == 0 ? Save(&rec) : rec.direction == 1 && Load(&rec);
  if (!ok) rec.status = -1;
  std::memcpy(r->area, &rec, sizeof rec);
  return ok ? 0 : -1;
}
