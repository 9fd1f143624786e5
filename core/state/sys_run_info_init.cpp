// Start-up of the run state, the language list, the clock fields, the menu
// item sync table and the copies from stored images.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "platform/root.h"

namespace {
constexpr long kLanguageFileMax = 64 * 1024;

// Indices of a stored image's blocks, checked before they index a table.
constexpr int kVoltageEntries = 39, kProbeEntries = 8, kTimeBaseEntries = 42;
constexpr uint16_t kDefaultVdivIndex = 12, kDefaultProbe = 3, kDefaultTimeBase = 12;
constexpr int kPositionMin = -73, kPositionMax = 327;

void CheckIndex(uint16_t* v, int entries, uint16_t fallback) {
  if (*v >= entries) *v = fallback;
}

void CheckBlock(VerticalBlock* b) {
  CheckIndex(&b->vdivIndex, kVoltageEntries, kDefaultVdivIndex);
  CheckIndex(&b->vdivSelected, kVoltageEntries, kDefaultVdivIndex);
  CheckIndex(&b->vernierVdiv[0], kVoltageEntries, kDefaultVdivIndex);
  CheckIndex(&b->vernierVdiv[1], kVoltageEntries, kDefaultVdivIndex);
  CheckIndex(&b->probe, kProbeEntries, kDefaultProbe);
  CheckIndex(&b->probeSelected, kProbeEntries, kDefaultProbe);
  CheckIndex(&b->coupling, 3, 0);
  CheckIndex(&b->unit, 4, 0);
  for (int16_t* p : {&b->position, &b->positionSelected})
    if (*p < kPositionMin || *p > kPositionMax) *p = 127;
  b->label[sizeof b->label - 1] = 0;
}

void CheckBlock(HorizontalBlock* b) {
  CheckIndex(&b->timeBase, kTimeBaseEntries, kDefaultTimeBase);
  CheckIndex(&b->realTimeBase, kTimeBaseEntries, kDefaultTimeBase);
  CheckIndex(&b->zoomTimeBase, kTimeBaseEntries, kDefaultTimeBase);
}

// Menu item -> run-state field, by task (the 16-bit item value is copied).
// A channel's item 2 is its coarse/fine switch: the volts/div index in force
// is the vertical model's and no item holds it.
// A value above `max` (an index its table does not hold) stores `fallback`.
struct SyncRow {
  int16_t task;
  int16_t item;
  uint16_t offset;  // byte offset of the u16 field in the record
  uint16_t max;
  uint16_t fallback;
};

constexpr uint16_t kAny = 0xFFFF;
#define RUN_FIELD(f) uint16_t(offsetof(_SysRunInfo, f))
#define CH_FIELDS(task, b)                                                                    \
  {task, 0, RUN_FIELD(vertical[b].coupling), 2, 0}, {task, 1, RUN_FIELD(vertical[b].bwLimit), 1, 0}, \
      {task, 2, RUN_FIELD(vertical[b].vernierOn), 1, 0},                                        \
      {task, 6, RUN_FIELD(vertical[b].probe), kProbeEntries - 1, kDefaultProbe},               \
      {task, 3, RUN_FIELD(vertical[b].invert), kAny, 0}, {task, 8, RUN_FIELD(vertical[b].unit), 3, 0}
const SyncRow InfoSyncTable[] = {
    CH_FIELDS(kEeCh1, 0),
    CH_FIELDS(kEeCh2, 1),
    {kEeAcquire, 0, RUN_FIELD(acqMode), 3, 0},
    {kEeAcquire, 2, RUN_FIELD(memDepthIndex), kMemDepthMaxIndex, 1},
    {kEeAcquire, 1, RUN_FIELD(averageIndex), 12, 0},
    {kEeDisplay, 0, RUN_FIELD(displayType), kAny, 0},
    {kEeDisplay, 1, RUN_FIELD(graticule), kAny, 0},
    {kEeDisplay, 6, RUN_FIELD(persistence), kAny, 0},
    {kEeHorizontal, 0, RUN_FIELD(displayFormat), 1, 0},
    {kEeHorizontal, 1, RUN_FIELD(timeBaseType), 1, 0},
    {kEeMath, 0, RUN_FIELD(mathType), 4, 0},
    {kEeMath, 60, RUN_FIELD(fft.screen), 4, 0},
    {kEeCursor, 1, RUN_FIELD(cursorType), kAny, 0},
    {kEeUtility, 2, RUN_FIELD(language), kLanguages - 1, 0},
};
#undef CH_FIELDS
#undef RUN_FIELD

// Keeps the printable ASCII of a UTF-16 line, blanks skipped, up to `size` - 1
// characters, always terminated.
void StoreAscii(const std::vector<uint16_t>& text, char* out, size_t size) {
  size_t n = 0;
  for (uint16_t c : text) {
    if (c == ' ' || c == '\t') continue;
    if (n + 1 < size) out[n++] = char(c & 0xFF);
  }
  std::memset(out + n, 0, size - n);
}

bool SameText(const std::vector<uint16_t>& line, const char* text) {
  std::vector<uint16_t> t;
  for (uint16_t c : line)
    if (c != ' ' && c != '\t') t.push_back(c);
  size_t n = std::strlen(text);
  if (t.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (t[i] != uint8_t(text[i])) return false;
  return true;
}

// The lines of a UTF-16LE file with a byte-order mark; false when it cannot
// be read or has no mark.
bool ReadUtf16Lines(const char* path, std::vector<std::vector<uint16_t>>* lines) {
  FILE* f = std::fopen(plat::MapPath(path).c_str(), "rb");
  if (!f) return false;
  std::vector<uint8_t> raw(kLanguageFileMax);
  size_t n = std::fread(raw.data(), 1, raw.size(), f);
  std::fclose(f);
  if (n < 2 || raw[0] != 0xFF || raw[1] != 0xFE) return false;
  std::vector<uint16_t> line;
  for (size_t i = 2; i + 1 < n; i += 2) {
    uint16_t c = uint16_t(raw[i] | raw[i + 1] << 8);
    if (c == '\n') {
      lines->push_back(line);
      line.clear();
    } else if (c != '\r') {
      line.push_back(c);
    }
  }
  if (!line.empty()) lines->push_back(line);
  return true;
}
}  // namespace

int _SysRunInfoOp::SetCurrLanguage(int index) {
  if (index < 0 || index >= kLanguages) return -1;
  return info_->language = uint16_t(index);
}

int _SysRunInfoOp::GetCurrLanguage() {
  uint8_t v = 0;
  if (!I2cStorage.IsOpen() || !I2cStorage.I2C_TryReadU8(EE_LANGUAGE, &v) || v >= kLanguages) v = 0;
  info_->language = v;
  return v;
}

int _SysRunInfoOp::LoadLanguageCountry(const char* path) {
  std::vector<std::vector<uint16_t>> lines;
  if (!path || !ReadUtf16Lines(path, &lines)) {
    std::printf("Open %s file failed!\n", path ? path : "(null)");
    return -1;
  }
  size_t i = 0;
  while (i < lines.size() && !SameText(lines[i], "[LANGUAGE]")) ++i;
  if (i == lines.size()) return -1;
  int count = 0;
  for (++i; i < lines.size() && count < kLanguages; ++i) {
    const std::vector<uint16_t>& line = lines[i];
    size_t comma = 0;
    while (comma < line.size() && line[comma] != ',') ++comma;
    if (comma == line.size()) continue;  // no "name,type" on this line
    std::vector<uint16_t> name(line.begin(), line.begin() + long(comma));
    std::vector<uint16_t> type(line.begin() + long(comma) + 1, line.end());
    StoreAscii(name, info_->languageName[count], kLanguageText);
    StoreAscii(type, info_->languageType[count], kLanguageText);
    ++count;
  }
  return count;
}

int _SysRunInfoOp::SetLanguageCountry(int n, const char* text) {
  if (n < 0 || n >= kLanguages || !text) return -1;
  size_t len = strnlen(text, kLanguageText - 1);
  std::memset(info_->languageName[n], 0, kLanguageText);
  std::memcpy(info_->languageName[n], text, len);
  return int(len);
}

int _SysRunInfoOp::GetLanguageCountry(int n, char* out) const {
  if (n < 0 || n >= kLanguages || !out) return -1;
  size_t len = strnlen(info_->languageName[n], kLanguageText - 1);
  std::memcpy(out, info_->languageName[n], len);
  out[len] = 0;
  return int(len);
}

int _SysRunInfoOp::GetLanguageType(int n, char* out) const {
  if (n < 0 || n >= kLanguages) return -1;
  const char* type = info_->languageType[n];
  size_t len = strnlen(type, kLanguageText - 1);
  if (out) {
    std::memcpy(out, type, len);
    out[len] = 0;
  }
  return len == 7 && std::memcmp(type, "Western", 7) == 0 ? 0 : 1;
}

void _SysRunInfoOp::RefreshRtcTime() {
  int32_t sec = 0;
  plat::WallTime(&sec, nullptr);
  time_t t = sec;
  struct tm tm;
  gmtime_r(&t, &tm);
  info_->year = tm.tm_year + 1900;
  info_->month = tm.tm_mon + 1;
  info_->day = tm.tm_mday;
  info_->hour = tm.tm_hour;
  info_->minute = tm.tm_min;
  info_->second = tm.tm_sec;
}

int _SysRunInfoOp::SysRunInfoSync(int taskId) {
  task* module = TaskManage.FindTaskbyId(taskId);
  if (!module) return -1;
  int n = 0;
  for (const SyncRow& row : InfoSyncTable) {
    if (row.task != taskId) continue;
    uint16_t v = uint16_t(module->TaskMenu.GetMenuItem(row.item));
    if (row.max != kAny && v > row.max) v = row.fallback;
    std::memcpy(reinterpret_cast<uint8_t*>(info_) + row.offset, &v, sizeof v);
    ++n;
  }
  return n;
}

int _SysRunInfoOp::UserUpdateRunInfo(int mode, int src, int dst, const _SysRunInfo* image) {
  if (!image) return -1;
  const bool blocks = src >= 0 && src <= 2 && dst >= 8 && dst <= 11;
  switch (mode) {
    case 0:
      if (!blocks) return -1;
      info_->horizontal[dst] = image->horizontal[src];
      CheckBlock(&info_->horizontal[dst]);
      return 0;
    case 1:
      if (!blocks) return -1;
      info_->vertical[dst] = image->vertical[src];
      CheckBlock(&info_->vertical[dst]);
      return 0;
    case 2:
      std::memcpy(info_->waveRestoreWords, image->waveRestoreWords, sizeof info_->waveRestoreWords);
      return 0;
    default:
      return -1;
  }
}
