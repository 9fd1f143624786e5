// The acquire module's block of a setup file: "TASK-ACQUIRE", CR LF, the
// image of every item value, CR LF.
#include <cstring>

#include "acquisition/task_acquire.h"
#include "core/common_subprogram.h"

namespace {
constexpr char kLabel[] = "TASK-ACQUIRE";
constexpr char kCrLf[] = "\r\n";
constexpr int kLabelBytes = int(sizeof kLabel - 1);
constexpr int kCrLfBytes = 2;

// Appends the block at `used`; the record's length is the buffer's capacity.
bool SaveBlock(SetupFileRecord* rec) {
  const int room = rec->length - rec->used - kLabelBytes - 2 * kCrLfBytes;
  if (rec->used < 0 || room <= 0) return false;
  uint8_t* at = rec->buffer + rec->used;
  const int image = TaskAcquire.TaskMenu.MenuAllItemCopyMem(&TaskAcquireMenu, at + kLabelBytes + kCrLfBytes,
                                                            size_t(room));
  if (image < 0) return false;
  std::memcpy(at, kLabel, kLabelBytes);
  std::memcpy(at + kLabelBytes, kCrLf, kCrLfBytes);
  std::memcpy(at + kLabelBytes + kCrLfBytes + image, kCrLf, kCrLfBytes);
  rec->used += kLabelBytes + 2 * kCrLfBytes + image;
  return true;
}

// Finds the block in the first `length` bytes and re-applies its values.
bool LoadBlock(SetupFileRecord* rec) {
  if (rec->length <= 0) return false;
  const int at = CommonSubProg.ScanMarkLabel(reinterpret_cast<const char*>(rec->buffer), kLabel, rec->length);
  if (at < 0) return false;
  const int start = at + kLabelBytes + kCrLfBytes;
  if (start > rec->length) return false;
  if (TaskAcquire.TaskMenu.MenCopytoMenuAllItem(&TaskAcquireMenu, rec->buffer + start,
                                                size_t(rec->length - start)) < 0)
    return false;
  AcquireLimitItems();
  AcquireParaReSet();
  return true;
}
}  // namespace

int TaskForAcquire::Stroage(taskresponse* r) { return RunSetupBlock(r, SaveBlock, LoadBlock); }
