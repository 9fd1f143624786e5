// Builds the message packs of the instrument from the readable UTF-8 source
// (messages.txt beside this file): for every "[Name]" section the file
// <outdir>/Message<Name>.txt, UTF-16LE with a byte-order mark, one row per
// message number 0 to 120: '#', the text, CR LF.
//
// usage: msgtext <source> <outdir>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "tools/textres/utf16.h"

namespace {
constexpr int kRows = 121;

struct Pack {
  std::string name;
  std::map<int, std::u16string> texts;
};

[[noreturn]] void Fail(const std::string& src, int line, const std::string& what) {
  std::cerr << src << ":" << line << ": " << what << "\n";
  std::exit(1);
}

// UTF-8 to UTF-16 units; a malformed sequence fails the build.
std::u16string Utf16(const std::string& s, const std::string& src, int line) {
  std::u16string out;
  std::string error;
  if (!textres::Utf8ToUtf16(s, &out, &error)) Fail(src, line, error);
  return out;
}

void WriteUnits(std::ofstream& f, const std::u16string& units) {
  std::vector<char> bytes;
  textres::AppendUtf16Le(&bytes, units);
  f.write(bytes.data(), std::streamsize(bytes.size()));
}

std::vector<Pack> ReadSource(const std::string& src) {
  std::ifstream in(src);
  if (!in) Fail(src, 0, "cannot open");
  std::vector<Pack> packs;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.rfind("# ", 0) == 0 || line == "#") continue;
    if (line.front() == '[') {
      if (line.size() < 3 || line.back() != ']') Fail(src, n, "bad section line");
      packs.push_back({line.substr(1, line.size() - 2), {}});
      continue;
    }
    if (packs.empty()) Fail(src, n, "text before the first [language] line");
    size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0) Fail(src, n, "expected: number, tab, text");
    int number = 0;
    for (size_t i = 0; i < tab; ++i) {
      if (line[i] < '0' || line[i] > '9' || number > kRows) Fail(src, n, "bad message number");
      number = number * 10 + (line[i] - '0');
    }
    if (number >= kRows) Fail(src, n, "message number above 120");
    if (!packs.back().texts.emplace(number, Utf16(line.substr(tab + 1), src, n)).second)
      Fail(src, n, "message number given twice");
  }
  return packs;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: msgtext <source> <outdir>\n";
    return 2;
  }
  const std::string src = argv[1], outdir = argv[2];
  for (const Pack& p : ReadSource(src)) {
    std::string path = outdir + "/Message" + p.name + ".txt";
    std::ofstream f(path, std::ios::binary);
    if (!f) Fail(path, 0, "cannot write");
    f.put(char(0xFF));
    f.put(char(0xFE));
    for (int i = 0; i < kRows; ++i) {
      auto it = p.texts.find(i);
      WriteUnits(f, u"#" + (it == p.texts.end() ? std::u16string() : it->second) + u"\r\n");
    }
    if (!f) Fail(path, 0, "write failed");
  }
  return 0;
}
