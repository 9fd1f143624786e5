#include "remote/scpi/scpi_doc.h"

#include <cctype>
#include <cstring>

namespace {
// `pattern` (length n) against the whole of `text`.
bool Match(const char* pattern, size_t n, const char* text) {
  if (n == 0) return *text == '\0';
  if (*pattern == '*') {
    for (const char* t = text;; ++t) {
      if (Match(pattern + 1, n - 1, t)) return true;
      if (*t == '\0' || *t == ':') return false;
    }
  }
  if (*text == '\0') return false;
  const bool same =
      *pattern == '#' ? std::isdigit(static_cast<unsigned char>(*text)) != 0 : *pattern == *text;
  return same && Match(pattern + 1, n - 1, text + 1);
}
}  // namespace

bool ScpiDocMatches(const ScpiDoc& doc, const char* header) {
  for (const char* p = doc.headers; p && *p;) {
    const size_t n = std::strcspn(p, " ");
    if (n && Match(p, n, header)) return true;
    p += n;
    p += std::strspn(p, " ");
  }
  return false;
}
