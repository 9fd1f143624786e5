#include "tools/textres/utf16.h"

namespace textres {

bool Utf8ToUtf16(const std::string& s, std::u16string* out, std::string* error) {
  out->clear();
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 0;
    if (!len) return *error = "not UTF-8, or a character beyond the 16-bit plane", false;
    if (i + size_t(len) > s.size()) return *error = "a UTF-8 sequence is cut short", false;
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : (c & 0x0F);
    for (int k = 1; k < len; ++k) {
      const unsigned char cc = static_cast<unsigned char>(s[i + size_t(k)]);
      if ((cc >> 6) != 2) return *error = "not UTF-8", false;
      cp = cp << 6 | (cc & 0x3F);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (cp >= 0xD800 && cp < 0xE000))
      return *error = "not UTF-8", false;
    if (cp < 0x20 && cp != '\t') return *error = "a control character", false;
    out->push_back(char16_t(cp));
    i += size_t(len);
  }
  return true;
}

void AppendUtf16Le(std::vector<char>* bytes, const std::u16string& units) {
  for (char16_t u : units) {
    bytes->push_back(char(u & 0xFF));
    bytes->push_back(char(u >> 8));
  }
}

}  // namespace textres
