#include "core/messages/msg.h"

#include <sys/stat.h>

#include <cstdio>

#include "core/messages/remote_errors.h"
#include "platform/clock.h"
#include "platform/root.h"

msg QelMsg;

namespace {
constexpr long kMaxPackBytes = 1 << 20;  // packs are a few kilobytes
constexpr uint16_t kRowMark = '#';

// Parses a pack's units (after the byte-order mark; `units[n]` must be
// writable and is made an end mark): a '#' at the start of a line opens the
// next row's text, which ends at the line end. A '#' elsewhere, or a unit
// whose high byte is 0x23, is text. Fills `rows` (null where missing) and
// returns the number of rows opened.
int ParseMsgPack(uint16_t* units, size_t n, const uint16_t* rows[kMsgRows]) {
  for (int i = 0; i < kMsgRows; ++i) rows[i] = nullptr;
  units[n] = 0;
  int row = 0;
  bool lineStart = true;
  for (size_t i = 0; i < n; ++i) {
    uint16_t u = units[i];
    if (u == '\r' || u == '\n') {
      units[i] = 0;  // the text ends at its line end
      lineStart = true;
      continue;
    }
    if (lineStart && u == kRowMark) {
      uint16_t next = units[i + 1];  // units[n] is the end mark
      if (row < kMsgRows && next != '\r' && next != '\n' && next != 0) rows[row] = &units[i + 1];
      ++row;
    }
    lineStart = false;
  }
  return row;
}
}  // namespace

msg::msg() {
  for (auto& t : text_) t = nullptr;
  plat::WallTime(&raisedSec_, &raisedUsec_);
  raisedMonoUs_ = plat::MonoUs();
}

msg::~msg() = default;

int msg::LoadMsgPack(const char* path) {
  if (!path) return -1;
  std::string host = plat::MapPath(path);
  struct stat st;
  if (stat(host.c_str(), &st) != 0) {
    std::printf("Open %s failed!\n", path);
    return -1;
  }
  FILE* f = std::fopen(host.c_str(), "rb");
  if (!f) {
    std::printf("Open /%s failed!\n", path);
    return -1;
  }
  long size = long(st.st_size);
  if (size < 2 || size > kMaxPackBytes) {
    std::fclose(f);
    std::printf("Read %s File Error! %ld \n", path, size);
    return -1;
  }
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[size_t(size)]);
  size_t got = std::fread(bytes.get(), 1, size_t(size), f);
  std::fclose(f);
  if (got != size_t(size)) {
    std::printf("Read %s File Error! %d \n", path, int(got));
    return -1;
  }
  if (bytes[0] != 0xFF || bytes[1] != 0xFE) {
    std::printf("Message pack %s is not UTF-16LE with a byte-order mark\n", path);
    return -1;
  }
  size_t n = size_t(size - 2) / 2;  // a trailing odd byte is no unit
  std::unique_ptr<uint16_t[]> units(new uint16_t[n + 1]);
  for (size_t i = 0; i < n; ++i) units[i] = uint16_t(bytes[2 + 2 * i] | bytes[3 + 2 * i] << 8);
  const uint16_t* rows[kMsgRows];
  int opened = ParseMsgPack(units.get(), n, rows);
  int missing = 0;
  for (int i = 0; i < kMsgRows; ++i)
    if (MsgListed(i) && !rows[i]) ++missing;
  if (opened == 0) {
    std::printf("Message pack %s holds no texts\n", path);
    return -1;
  }
  if (missing) std::printf("Message pack %s: %d messages without text\n", path, missing);
  std::lock_guard<std::mutex> lock(mu_);
  pack_ = std::move(units);
  for (int i = 0; i < kMsgRows; ++i) text_[i] = rows[i];
  return 0;
}

int msg::SetMessage(int n) {
  if (!MsgListed(n)) return -1;
  int32_t sec = 0, usec = 0;
  plat::WallTime(&sec, &usec);
  int64_t mono = plat::MonoUs();
  std::string refusal;
  {
    std::lock_guard<std::mutex> lock(mu_);
    pending_ = n;
    raisedSec_ = sec;
    raisedUsec_ = usec;
    raisedMonoUs_ = mono;
    if (InRemoteCommand() && MsgRefuses(n)) refusal = RemoteText(n);
  }
  // A remote command refused: its user reads why with SYSTem:ERRor?.
  if (!refusal.empty()) PushRemoteError(n, refusal);
  return n;
}

// The text the screen shows for message n, in ASCII for a remote client: the
// pack's text, or the English name when the pack's is in another script.
std::string msg::RemoteText(int n) const {
  uint16_t units[kMsgTextUnits];
  const int count = CopyText(n, units, kMsgTextUnits);
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (units[i] >= 0x80) return MsgInfo[n].name;
    text += char(units[i]);
  }
  return text;
}

int msg::GetMessageID() const {
  std::lock_guard<std::mutex> lock(mu_);
  return pending_;
}

int msg::GetMessage(msginfo* info) const {
  if (!info) return -1;
  std::lock_guard<std::mutex> lock(mu_);
  if (pending_ < 0) return -1;
  info->number = uint16_t(pending_);
  info->attribute = MsgInfo[pending_].attribute;
  CopyText(pending_, info->text, kMsgTextUnits);
  return raisedSec_;
}

void msg::ClearMessage() {
  std::lock_guard<std::mutex> lock(mu_);
  pending_ = -1;
}

bool msg::IsTimeOut() const {
  int64_t now = plat::MonoUs();
  std::lock_guard<std::mutex> lock(mu_);
  return pending_ >= 0 && now - raisedMonoUs_ >= kMsgShowUs;
}

int msg::ExpireMessage() {
  int64_t now = plat::MonoUs();
  std::lock_guard<std::mutex> lock(mu_);
  if (pending_ < 0 || now - raisedMonoUs_ < kMsgShowUs) return 0;
  pending_ = -1;
  return 1;
}

int msg::GetMessageText(int n, uint16_t* out, int units) const {
  if (!MsgListed(n) || !out || units < 1) return -1;
  std::lock_guard<std::mutex> lock(mu_);
  return CopyText(n, out, units);
}

bool msg::HasPackText(int n) const {
  if (n < 0 || n >= kMsgRows) return false;
  std::lock_guard<std::mutex> lock(mu_);
  return text_[n] != nullptr;
}

int msg::CopyText(int n, uint16_t* out, int units) const {
  int i = 0;
  if (const uint16_t* t = text_[n]) {
    for (; i + 1 < units && t[i]; ++i) out[i] = t[i];
  } else {
    const char* name = MsgInfo[n].name;
    for (; i + 1 < units && name[i]; ++i) out[i] = uint8_t(name[i]);
  }
  out[i] = 0;
  return i;
}

int msg::ScanMark(const uint8_t* buffer, int start, uint8_t mark, int end) {
  if (!buffer || start < 0) return -1;
  for (int i = start; i < end; ++i)
    if (buffer[i] == mark) return i;
  return -1;
}
