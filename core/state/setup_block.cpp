#include "core/state/setup_block.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
constexpr char kCrLf[] = "\r\n";
constexpr size_t kCrLfBytes = sizeof kCrLf - 1;
}  // namespace

int RunSetupBlock(taskresponse* r, const SetupBlockOp& save, const SetupBlockOp& load,
                  const SetupBlockOp& check) {
  if (!r) return -1;
  SetupFileRecord rec;
  std::memcpy(&rec, r->area, sizeof rec);
  bool ok = false;
  if (rec.buffer) {
    switch (rec.direction) {
      case kSetupSave: ok = save(&rec); break;
      case kSetupLoad: ok = load(&rec); break;
      case kSetupCheck: ok = !check || check(&rec); break;
      default: break;
    }
  }
  rec.status = ok ? 0 : -1;
  std::memcpy(r->area, &rec, sizeof rec);
  return ok ? 0 : -1;
}

bool SaveSetupBlock(SetupFileRecord* rec, const char* label, const SetupBodyWriter& body) {
  const size_t labelBytes = std::strlen(label);
  if (!rec->buffer || rec->used < 0 || rec->length < rec->used) return false;
  const size_t room = size_t(rec->length - rec->used);
  const size_t frame = labelBytes + 2 * kCrLfBytes;
  if (room <= frame) return false;
  uint8_t* at = rec->buffer + rec->used;
  uint8_t* start = at + labelBytes + kCrLfBytes;
  const int n = body(start, room - frame);
  if (n < 0 || size_t(n) > room - frame) return false;
  std::memcpy(at, label, labelBytes);
  std::memcpy(at + labelBytes, kCrLf, kCrLfBytes);
  std::memcpy(start + n, kCrLf, kCrLfBytes);
  rec->used += int32_t(frame + size_t(n));
  return true;
}

const uint8_t* FindSetupBlock(const SetupFileRecord& rec, const char* label, size_t* available) {
  if (!rec.buffer || rec.length <= 0 || !label || !*label) return nullptr;
  const size_t labelBytes = std::strlen(label);
  const uint8_t* end = rec.buffer + rec.length;
  for (const uint8_t* p = rec.buffer; size_t(end - p) >= labelBytes + kCrLfBytes; ++p) {
    p = std::search(p, end, label, label + labelBytes);
    if (size_t(end - p) < labelBytes + kCrLfBytes) break;
    if (std::memcmp(p + labelBytes, kCrLf, kCrLfBytes) != 0) continue;
    const uint8_t* body = p + labelBytes + kCrLfBytes;
    *available = size_t(end - body);
    return body;
  }
  return nullptr;
}

bool SaveMenuBlock(SetupFileRecord* rec, const char* label, const Menu& m, const menu* record) {
  return SaveSetupBlock(
      rec, label, [&](uint8_t* out, size_t room) { return m.MenuAllItemCopyMem(record, out, room); });
}

bool LoadMenuBlock(const SetupFileRecord& rec, const char* label, Menu& m, menu* record) {
  size_t available = 0;
  const uint8_t* body = FindSetupBlock(rec, label, &available);
  return body && CheckMenuImage(label, record, body, available) &&
         m.MenCopytoMenuAllItem(record, body, available) >= 0;
}

bool CheckMenuImage(const char* label, const menu* record, const uint8_t* image, size_t length) {
  const int n = Menu::ImageOutOfRange(record, image, length);
  if (n == Menu::kImageShort) std::printf("%s block cut short\n", label);
  if (n >= 0) {
    uint64_t raw = 0;
    for (int b = 0; b < 8; ++b) raw |= uint64_t(image[8 * n + b]) << (8 * b);
    std::printf("%s block: item %d (%llu) lies outside its range\n", label, n, (unsigned long long)raw);
  }
  return n == Menu::kImageInRange;
}

bool CheckMenuBlock(const SetupFileRecord& rec, const char* label, const menu* record) {
  size_t available = 0;
  const uint8_t* body = FindSetupBlock(rec, label, &available);
  return !body || CheckMenuImage(label, record, body, available);
}
