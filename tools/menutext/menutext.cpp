// menutext: turns the readable UTF-8 sources of the menu texts into the
// instrument's text files (UTF-16LE, byte-order mark, CR LF lines).
//
//   menutext menu <source> <output>             a module's menu text
//   menutext list <source> <output> <menu dir>  the language list
//
// Source rules, common to both: lines starting with "//" and blank lines are
// dropped, leading blanks are dropped (indent freely).
//
// Menu sources hold one line per text, starting with its marker:
//   #Title      a page (exactly five item slots each, at most 60 pages)
//   $Title      an item slot with a title; "$0" an empty slot;
//   $^Text      an item without a title whose first choice is "Text"
//   @Text       a choice of the item above
// The end of an item ("@0" in the instrument's file) is written by this tool
// when the next item, page or other line starts, so a source never writes
// "@0"; a choice that reads "0" must be written "@0 ". Lines with any other
// start are copied as they are (texts that the module reads itself).
//
// The language list holds "[LANGUAGE]" and then one "name,type" line per
// language; every name needs its folder of menu sources next to the list.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/textres/utf16.h"

namespace {
namespace fs = std::filesystem;

struct Source {
  std::string path;
  int line = 0;
};

[[noreturn]] void Die(const Source& src, const std::string& what) {
  std::fprintf(stderr, "%s:%d: %s\n", src.path.c_str(), src.line, what.c_str());
  std::exit(1);
}

std::u16string Utf16(const Source& src, const std::string& s) {
  std::u16string out;
  std::string error;
  if (!textres::Utf8ToUtf16(s, &out, &error)) Die(src, error);
  return out;
}

// The source's lines without comments, blank lines and indentation.
std::vector<std::pair<int, std::string>> ReadLines(Source& src) {
  std::ifstream in(src.path, std::ios::binary);
  if (!in) Die(src, "cannot be read");
  std::vector<std::pair<int, std::string>> lines;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line.compare(first, 2, "//") == 0) continue;
    lines.emplace_back(number, line.substr(first));
  }
  return lines;
}

class Writer {
 public:
  explicit Writer(const std::string& path) : path_(path) { Unit(0xFEFF); }
  void Line(const std::u16string& text) { textres::AppendUtf16Le(&bytes_, text + u"\r\n"); }
  void Save(const Source& src) {
    std::error_code ec;
    fs::create_directories(fs::path(path_).parent_path(), ec);
    std::ofstream f(path_, std::ios::binary | std::ios::trunc);
    f.write(bytes_.data(), std::streamsize(bytes_.size()));
    if (!f) Die(src, "cannot write " + path_);
  }

 private:
  void Unit(char16_t u) { textres::AppendUtf16Le(&bytes_, std::u16string(1, u)); }
  std::string path_;
  std::vector<char> bytes_;
};

void Menu(Source src, const std::string& outPath) {
  Writer out(outPath);
  int pages = 0, slots = 0;
  bool itemOpen = false;
  auto endItem = [&] {
    if (itemOpen) out.Line(u"@0");
    itemOpen = false;
  };
  auto endPage = [&] {
    if (pages && slots != 5)
      Die(src, "page " + std::to_string(pages - 1) + " has " + std::to_string(slots) +
                   " item slots, 5 expected");
  };
  for (auto& [number, text] : ReadLines(src)) {
    src.line = number;
    const std::u16string u = Utf16(src, text);
    switch (text[0]) {
      case '#':
        endItem();
        endPage();
        if (++pages > 60) Die(src, "more than 60 pages");
        slots = 0;
        break;
      case '$':
        endItem();
        if (!pages) Die(src, "an item before the first page");
        if (++slots > 5) Die(src, "a sixth item slot on a page");
        itemOpen = !(text.size() >= 2 && text[1] == '0');
        if (text.size() == 2 && text[1] == '^') Die(src, "\"$^\" without its first choice");
        break;
      case '@':
        if (!itemOpen) Die(src, "a choice outside an item");
        if (text == "@0") Die(src, "\"@0\" ends an item in the file; write a choice \"0\" as \"@0 \"");
        break;
      default:
        endItem();
        break;
    }
    out.Line(u);
  }
  src.line = 0;
  endItem();
  endPage();
  if (!pages) Die(src, "no page");
  out.Save(src);
}

void List(Source src, const std::string& outPath, const std::string& menuDir) {
  Writer out(outPath);
  bool header = false;
  int count = 0;
  for (auto& [number, text] : ReadLines(src)) {
    src.line = number;
    out.Line(Utf16(src, text));
    if (!header) {
      if (text != "[LANGUAGE]") Die(src, "the list starts with \"[LANGUAGE]\"");
      header = true;
      continue;
    }
    const size_t comma = text.find(',');
    if (comma == std::string::npos || comma == 0) Die(src, "not \"name,type\"");
    const std::string name = text.substr(0, comma);
    if (name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_") !=
        std::string::npos)
      Die(src, "a language name is letters, digits, '-' and '_'");
    if (!fs::is_directory(fs::path(menuDir) / name))
      Die(src, "language \"" + name + "\" has no folder of menu texts");
    if (++count > 20) Die(src, "more than 20 languages");
  }
  if (!count) Die(src, "no language");
  out.Save(src);
}
}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "menu" && argc == 4) {
    Menu(Source{argv[2]}, argv[3]);
  } else if (mode == "list" && argc == 5) {
    List(Source{argv[2]}, argv[3], argv[4]);
  } else {
    std::fprintf(stderr, "usage: menutext menu <source> <output>\n"
                         "       menutext list <source> <output> <menu source dir>\n");
    return 2;
  }
  return 0;
}
