#include "core/common/common_subprogram.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/root.h"

common_subprogram CommonSubProg;

const char ChannelUnit[5][5][5] = {
    {"\xB5V", "mV", "V", "kV", "MV"},
    {"\xB5" "A", "mA", "A", "kA", "MA"},
    {"\xB5W", "mW", "W", "kW", "MW"},
    {"\xB5U", "mU", "U", "kU", "MU"},
    {"\xB5" "dB", "mdB", "dB", "kdB", "MdB"},
};

namespace {
int CompareNames(const void* a, const void* b) {
  return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}
}  // namespace

// Lists the entries of an instrument folder by extension. Names that do not
// fit a list entry are left out rather than cut, and the list holds at most
// kFileListMax names, so a full USB disk cannot overflow it.
int common_subprogram::ReadFileList(const char* dir, const char* extension, _Filelist* list,
                                    int sort) {
  if (!dir || !extension || !list) return -1;
  list->count = list->aux[0] = list->aux[1] = list->total = 0;
  DIR* d = opendir(plat::MapPath(dir).c_str());
  if (!d) return -1;
  size_t extLen = std::strlen(extension);
  int n = 0;
  while (struct dirent* e = readdir(d)) {
    const char* name = e->d_name;
    if (!std::strcmp(name, ".") || !std::strcmp(name, "..")) continue;
    size_t len = std::strlen(name);
    if (len < extLen || len >= size_t(kFileNameBytes)) continue;
    if (std::strcmp(name + len - extLen, extension) != 0) continue;
    if (n == kFileListMax) break;
    std::memcpy(list->name[n], name, len + 1);
    ++n;
  }
  closedir(d);
  if (sort && n > 1) std::qsort(list->name, size_t(n), kFileNameBytes, CompareNames);
  list->count = list->total = n;
  return n;
}

long common_subprogram::GetFileSize(const char* path) {
  if (!path) return -1;
  struct stat st;
  if (stat(plat::MapPath(path).c_str(), &st) != 0) return -1;
  return long(st.st_size);
}

int common_subprogram::ReadFile(const char* path, void* buffer, int n) {
  if (!path || !buffer || n < 0) return -1;
  FILE* f = std::fopen(plat::MapPath(path).c_str(), "rb");
  if (!f) return -1;
  size_t got = std::fread(buffer, 1, size_t(n), f);
  std::fclose(f);
  if (got != size_t(n)) {
    std::memset(buffer, 0, got);
    return -1;
  }
  return n;
}

int common_subprogram::ScanMarkLabel(const char* buffer, const char* label, int length) {
  if (!buffer || !label || length < 1) return -1;
  size_t l = std::strlen(label);
  if (l == 0 || l > size_t(length)) return -1;
  for (size_t i = 0; i + l <= size_t(length); ++i)
    if (buffer[i] == label[0] && std::memcmp(buffer + i, label, l) == 0) return int(i);
  return -1;
}

const char* common_subprogram::GetChUnitStrig(int unit, int prefix) {
  if (unit < 0 || unit > 3 || prefix < 0 || prefix > 4) return nullptr;
  return ChannelUnit[unit][prefix];
}

int common_subprogram::Separate(const char* text, char* number, char* unit, size_t size) {
  if (!text || !number || !unit || size == 0) return -1;
  size_t nn = 0, nu = 0;
  for (const char* c = text; *c; ++c) {
    if (*c == ' ' || *c == '\t') continue;
    bool numeric = std::isdigit(static_cast<unsigned char>(*c)) || *c == '.' || *c == '-';
    if (numeric) {
      if (nu > 0 || nn + 1 >= size) return -1;
      number[nn++] = *c;
    } else {
      if (nu + 1 >= size) return -1;
      unit[nu++] = *c;
    }
  }
  number[nn] = 0;
  unit[nu] = 0;
  return 0;
}

// "%3.3lf" rewritten as mantissa and exponent: 1234.5 gives "1.234500e3",
// 0.25 gives "2.50e-1", 0.001 gives "1e-3".
int common_subprogram::ScientificNotation(double value, char* out, size_t size) {
  if (!out || size == 0) return -1;
  char fixed[400];
  int len = std::snprintf(fixed, sizeof fixed, "%3.3lf", value);
  if (len <= 0 || size_t(len) >= sizeof fixed) return -1;
  std::string digits, sign;
  int point = -1;
  for (const char* c = fixed; *c; ++c) {
    if (*c == '-') sign = "-";
    else if (*c == '.') point = int(digits.size());
    else if (std::isdigit(static_cast<unsigned char>(*c))) digits += *c;
    else if (*c != ' ') return -1;  // inf, nan
  }
  if (point < 0) point = int(digits.size());
  size_t first = digits.find_first_not_of('0');
  std::string result;
  if (first == std::string::npos) {
    result = "0e0";
  } else {
    result = sign + digits[first];
    std::string rest = digits.substr(first + 1);
    if (!rest.empty()) result += "." + rest;
    result += "e" + std::to_string(point - int(first) - 1);
  }
  if (result.size() + 1 > size) return -1;
  std::memcpy(out, result.c_str(), result.size() + 1);
  return int(result.size());
}

bool common_subprogram::TimeOutJudeg(struct timeval* stamp, const struct timeval* now, int seconds,
                                     int microseconds) {
  if (!stamp) return false;
  struct timeval t;
  if (now) {
    t = *now;
  } else {
    int32_t s = 0, us = 0;
    plat::WallTime(&s, &us);
    t.tv_sec = s;
    t.tv_usec = us;
  }
  int64_t elapsed = (int64_t(t.tv_sec) - stamp->tv_sec) * 1000000 + (t.tv_usec - stamp->tv_usec);
  int64_t limit = seconds > 0 ? int64_t(seconds) * 1000000 : int64_t(microseconds);
  // A stamp in the future (the clock was set back) counts as passed, so
  // nothing waits for ever.
  if (elapsed < limit && elapsed >= 0) return false;
  *stamp = t;
  return true;
}

int common_subprogram::Sleep(int seconds, int microseconds) {
  if (seconds < 0 || microseconds < 0) return -1;
  plat::SleepUs(int64_t(seconds) * 1000000 + microseconds);
  return 0;
}
