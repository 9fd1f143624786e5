// helptext: turns the readable UTF-8 source of a language's help texts into
// the instrument's help file (UTF-16LE, byte-order mark, CR LF lines).
//
//   helptext <source> <output>
//
// Source rules: lines starting with "//" are dropped.
//   # Name      a topic (at most 50)
//   @ Name      a sub-item of the topic above (at most 50 a topic)
// Other lines are the text of the topic or sub-item above: consecutive lines
// join into one paragraph, a blank line starts a new one. Every topic and
// sub-item needs a text.
//
// The file holds the summary of topic names, then for each topic a block
// "<Name Describe Start>" .. "<Name Describe End>" with the topic's text in
// "<#" .. "#>" and each sub-item as a line "<@Name" followed by its text in
// "<!" .. "!>".
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tools/textres/utf16.h"

namespace {
namespace fs = std::filesystem;

constexpr size_t kMaxEntries = 50;
const char* const kMarkers[] = {"<#", "#>", "<!", "!>", "<@", "<Summary", " Describe "};

struct Entry {
  std::string name;
  std::vector<std::string> paragraphs;
};

struct Topic {
  Entry own;
  std::vector<Entry> sub;
};

std::string path;
int lineNo = 0;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), lineNo, what.c_str());
  std::exit(1);
}

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

void CheckText(const std::string& s) {
  for (const char* m : kMarkers)
    if (s.find(m) != std::string::npos) Die(std::string("\"") + m + "\" is a marker of the help file");
}

std::vector<Topic> Read() {
  std::ifstream in(path, std::ios::binary);
  if (!in) Die("cannot be read");
  std::vector<Topic> topics;
  std::set<std::string> names;
  Entry* entry = nullptr;
  bool paragraphOpen = false;
  std::string line;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string text = Trim(line);
    if (text.compare(0, 2, "//") == 0) continue;
    if (text.empty()) {
      paragraphOpen = false;
      continue;
    }
    CheckText(text);
    if (text[0] == '#' || text[0] == '@') {
      const std::string name = Trim(text.substr(1));
      if (name.empty()) Die("a name is missing");
      if (name.find_first_of("<>") != std::string::npos) Die("a name holds no '<' or '>'");
      if (text[0] == '#') {
        if (topics.size() == kMaxEntries) Die("more than 50 topics");
        if (!names.insert(name).second) Die("topic \"" + name + "\" twice");
        topics.push_back(Topic{Entry{name, {}}, {}});
        entry = &topics.back().own;
      } else {
        if (topics.empty()) Die("a sub-item before the first topic");
        std::vector<Entry>& sub = topics.back().sub;
        if (sub.size() == kMaxEntries) Die("more than 50 sub-items");
        sub.push_back(Entry{name, {}});
        entry = &sub.back();
      }
      paragraphOpen = false;
      continue;
    }
    if (!entry) Die("text before the first topic");
    if (paragraphOpen)
      entry->paragraphs.back() += " " + text;
    else
      entry->paragraphs.push_back(text);
    paragraphOpen = true;
  }
  lineNo = 0;
  if (topics.empty()) Die("no topic");
  for (const Topic& t : topics) {
    if (t.own.paragraphs.empty()) Die("topic \"" + t.own.name + "\" has no text");
    for (const Entry& e : t.sub)
      if (e.paragraphs.empty()) Die("sub-item \"" + e.name + "\" has no text");
  }
  return topics;
}

class Writer {
 public:
  Writer() { textres::AppendUtf16Le(&bytes_, u"\xFEFF"); }
  void Line(const std::string& utf8) {
    std::u16string u;
    std::string error;
    if (!textres::Utf8ToUtf16(utf8, &u, &error)) Die(error);
    textres::AppendUtf16Le(&bytes_, u + u"\r\n");
  }
  void Text(const char* open, const Entry& e, const char* close) {
    Line(open);
    for (const std::string& p : e.paragraphs) Line(p);
    Line(close);
  }
  void Save(const std::string& out) {
    std::error_code ec;
    fs::create_directories(fs::path(out).parent_path(), ec);
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    f.write(bytes_.data(), std::streamsize(bytes_.size()));
    if (!f) Die("cannot write " + out);
  }

 private:
  std::vector<char> bytes_;
};
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: helptext <source> <output>\n");
    return 2;
  }
  path = argv[1];
  const std::vector<Topic> topics = Read();
  Writer w;
  w.Line("<Summary Start>");
  for (const Topic& t : topics) w.Line(t.own.name);
  w.Line("<Summary End>");
  for (const Topic& t : topics) {
    w.Line("<" + t.own.name + " Describe Start>");
    w.Text("<#", t.own, "#>");
    for (const Entry& e : t.sub) {
      w.Line("<@" + e.name);
      w.Text("<!", e, "!>");
    }
    w.Line("<" + t.own.name + " Describe End>");
  }
  w.Save(argv[2]);
  return 0;
}
