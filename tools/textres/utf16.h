// Shared by the text-resource generators: the instrument's texts are UTF-16LE
// files; their readable sources are UTF-8.
#pragma once
#include <string>
#include <vector>

namespace textres {

// UTF-8 to UTF-16 units of the 16-bit plane (what the instrument's fonts
// cover). False with `error` set for malformed UTF-8, characters beyond the
// plane, or control characters other than tab.
bool Utf8ToUtf16(const std::string& utf8, std::u16string* out, std::string* error);

// Appends units little-endian.
void AppendUtf16Le(std::vector<char>* bytes, const std::u16string& units);

}  // namespace textres
