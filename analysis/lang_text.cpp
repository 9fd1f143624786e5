#include "analysis/lang_text.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/root.h"

namespace {
constexpr long kMaxTextBytes = 1 << 20;
constexpr uint16_t kBom = 0xFEFF;
}  // namespace

bool ReadLanguageLines(const char* path, std::vector<uint16_t>* out) {
  const std::string host = plat::MapPath(path);
  struct stat st;
  if (stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxTextBytes) {
    std::printf("Open %s failed!\n", path);
    return false;
  }
  std::ifstream in(host, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (long(bytes.size()) != long(st.st_size) || bytes.size() < 2 || bytes.size() % 2) {
    std::printf("Read %s File Error! %d \n", path, int(bytes.size()));
    return false;
  }
  out->clear();
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const uint16_t u = uint16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
    if (i == 0 && u == kBom) continue;
    out->push_back(u == '\r' || u == '\n' ? 0 : u);
  }
  out->push_back(0);
  return true;
}

const uint16_t* NextMarkedLine(const std::vector<uint16_t>& t, size_t* at, uint16_t mark) {
  for (size_t i = *at; i + 1 < t.size(); ++i)
    if (t[i] == mark && (i == 0 || t[i - 1] == 0)) {
      *at = i + 1;
      return &t[i + 1];
    }
  return nullptr;
}
