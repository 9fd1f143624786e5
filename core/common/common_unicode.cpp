// UTF-16 text helpers of the common routines (menu, help and language texts).
#include <cstdio>
#include <cstring>

#include "core/common/common_subprogram.h"

namespace {
constexpr uint16_t kCR = '\r', kLF = '\n';
}

int common_subprogram::UnicodeToAscii(const uint16_t* text, char* out, size_t outSize) {
  if (!text || !out || outSize == 0) return -1;
  size_t i = 0;
  for (; i + 1 < outSize && text[i] && text[i] != kCR && text[i] != kLF; ++i)
    out[i] = char(text[i] & 0xFF);
  out[i] = 0;
  return int(i);
}

int common_subprogram::ScanUnicodeString(int start, const uint16_t* text, const char* key, int bytes,
                                         unicode_txt_para* result) {
  if (!text || !key || !result || start < 0 || bytes < 0) return -1;
  size_t n = size_t(bytes) / 2, k = std::strlen(key);
  if (k == 0) return -1;
  for (size_t i = size_t(start); i + k <= n; ++i) {
    size_t j = 0;
    while (j < k && text[i + j] == uint16_t(static_cast<unsigned char>(key[j]))) ++j;
    if (j < k) continue;
    int line = 1;
    for (size_t c = 0; c < i; ++c)
      if (text[c] == kLF) ++line;
    result->match = text + i;
    result->line = line;
    return 0;
  }
  return -1;
}

const uint16_t* common_subprogram::UnicodeJumpTxtLine(const uint16_t* text, int line, int bytes) {
  if (!text || line < 1 || bytes < 2) return nullptr;
  size_t n = size_t(bytes) / 2;
  size_t pos = 0;
  for (int l = 1; l < line; ++l) {
    while (pos < n && text[pos] != kLF) ++pos;
    if (pos >= n) return nullptr;
    ++pos;  // past the LF
  }
  return pos < n ? text + pos : nullptr;
}

const uint16_t* common_subprogram::UnicodeNextLine(const uint16_t* base, const uint16_t* position,
                                                   int bytes) {
  if (!base || !position || bytes < 2 || position < base) return nullptr;
  size_t n = size_t(bytes) / 2;
  size_t pos = size_t(position - base);
  while (pos < n && base[pos] != kLF) ++pos;
  ++pos;
  return pos < n ? base + pos : nullptr;
}

int common_subprogram::OutputAscii(const uint16_t* text, int n) {
  if (!text || n < 0) return -1;
  int i = 0;
  for (; n > 0 ? i < n : (text[i] && text[i] != kLF); ++i)
    if (text[i] != kCR) std::putchar(text[i] & 0xFF);
  std::putchar('\n');
  return i;
}
