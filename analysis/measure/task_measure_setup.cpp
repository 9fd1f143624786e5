// The measure module's block of a setup file: "TASK-MEASURE", CR LF, the
// image of every item value, CR LF, the five slot parameters and the five
// slot source words (16-bit little-endian), the slot mask (32-bit
// little-endian), CR LF.
#include <cstring>

#include "analysis/measure/task_measure.h"
#include "core/state/setup_block.h"
#include "core/state/task_manage.h"

namespace {
constexpr char kLabel[] = "TASK-MEASURE";
constexpr char kCrLf[] = "\r\n";
constexpr int kCrLfBytes = 2;
constexpr int kSlotBytes = kMeaUserSlots * 2 * 2 + 4;  // parameters, sources, mask
constexpr uint32_t kAttrProcess = 0, kAttrDisplay = 1;

void PutU16(uint8_t* at, uint16_t v) {
  at[0] = uint8_t(v);
  at[1] = uint8_t(v >> 8);
}
uint16_t GetU16(const uint8_t* at) { return uint16_t(at[0] | at[1] << 8); }

// The body: the item image, CR LF, the slots.
int WriteBody(uint8_t* out, size_t room) {
  const int n = TaskMeasure.TaskMenu.MenuAllItemCopyMem(&TaskMeasureMenu, out, room);
  if (n < 0 || size_t(n) + kCrLfBytes + kSlotBytes > room) return -1;
  uint8_t* p = out + n;
  std::memcpy(p, kCrLf, kCrLfBytes);
  p += kCrLfBytes;
  for (int k = 0; k < kMeaUserSlots; ++k) PutU16(p + 2 * k, uint16_t(TaskMeasure.SlotPara(k)));
  p += 2 * kMeaUserSlots;
  for (int k = 0; k < kMeaUserSlots; ++k) PutU16(p + 2 * k, TaskMeasure.SlotSource(k));
  p += 2 * kMeaUserSlots;
  const uint32_t mask = uint32_t(TaskMeasure.GetSelBit());
  PutU16(p, uint16_t(mask));
  PutU16(p + 2, uint16_t(mask >> 16));
  return n + kCrLfBytes + kSlotBytes;
}

bool SaveBlock(SetupFileRecord* rec) { return SaveSetupBlock(rec, kLabel, WriteBody); }

// The slots come back only as far as they name a parameter and sources; the
// EEPROM keeps its words.
// The body when it lies whole in the file with every item inside its range;
// null otherwise.
const uint8_t* WholeBody(const SetupFileRecord& rec) {
  size_t available = 0;
  const uint8_t* body = FindSetupBlock(rec, kLabel, &available);
  const size_t image = Menu::ImageBytes(&TaskMeasureMenu);
  if (!body || image + kCrLfBytes + kSlotBytes > available ||
      !CheckMenuImage(kLabel, &TaskMeasureMenu, body, image))
    return nullptr;
  return body;
}

bool CheckBlock(SetupFileRecord* rec) {
  size_t available = 0;
  return !FindSetupBlock(*rec, kLabel, &available) || WholeBody(*rec);
}

bool LoadBlock(SetupFileRecord* rec) {
  // The whole block must be there before anything is taken from it.
  const uint8_t* body = WholeBody(*rec);
  const size_t image = Menu::ImageBytes(&TaskMeasureMenu);
  if (!body) return false;
  if (TaskMeasure.TaskMenu.MenCopytoMenuAllItem(&TaskMeasureMenu, body, image) < 0) return false;
  const uint8_t* p = body + image + kCrLfBytes;
  const uint32_t mask = uint32_t(GetU16(p + 4 * kMeaUserSlots)) | uint32_t(GetU16(p + 4 * kMeaUserSlots + 2)) << 16;
  for (int k = 0; k < kMeaUserSlots; ++k) {
    const int para = int16_t(GetU16(p + 2 * k));
    const uint16_t source = GetU16(p + 2 * kMeaUserSlots + 2 * k);
    const bool used = (mask >> k & 1) && para >= 0 && para < kMeaParas;
    const uint16_t word = used ? uint16_t(para | (source & 0xF) << 8 | (source >> 8 & 0xF) << 12) : 0xFFFF;
    if (!used || (source & 0xF0F0) || !TaskMeasure.SetSlotFromWord(k, word)) TaskMeasure.SetSlot(k, -1, 0);
  }
  if (TaskMeasure.GetSelBit()) {
    TaskManage.AddUserTaskProcess(kMeasureTaskId, kAttrProcess, 0);
    TaskManage.AddUserTaskDisplay(kMeasureTaskId, kAttrDisplay, 0);
  }
  Measure_MenuReset();
  return true;
}
}  // namespace

int TaskForMeasure::Stroage(taskresponse* r) {
  return RunSetupBlock(r, SaveBlock, LoadBlock, CheckBlock);
}
