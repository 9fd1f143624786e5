// Menu text files and the language list.
//
// A menu text file is UTF-16LE with a byte-order mark, one text per line (CR
// LF), each line starting with a marker:
//   '#'  a page; the page title follows
//   '$'  the next of the page's five item slots; the item title follows.
//        "$0" leaves the slot empty; "$^" starts an item without a title whose
//        first choice text follows the '^'
//   '@'  a choice of the current item; "@0" ends the item, and the number of
//        choices read becomes the item's number of choices
// Lines with any other start belong to other readers of the same file (a
// module may keep further texts after its pages) and are skipped. The parser
// is bounded by the file; a file that breaks these rules is refused with a
// line that names the file, the line and the fault, and the texts in force
// stay as they were.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "core/menu/menu.h"
#include "platform/root.h"

namespace {
constexpr uint16_t kBom = 0xFEFF;
constexpr uint16_t kPageMark = '#';
constexpr uint16_t kItemMark = '$';
constexpr uint16_t kOptionMark = '@';
constexpr uint16_t kNoTitleMark = '^';
constexpr long kMaxTextBytes = 1 << 20;

// Reads a UTF-16LE text file whole into 16-bit units without the byte-order
// mark, ended by a NUL unit. Prints the loader's messages; false on failure.
bool ReadUtf16File(const char* path, std::vector<uint16_t>* out) {
  const std::string host = plat::MapPath(path);
  struct stat st;
  if (stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::printf("Open %s failed!\n", path);
    return false;
  }
  FILE* f = std::fopen(host.c_str(), "rb");
  if (!f) {
    std::printf("Open /%s failed!\n", path);
    return false;
  }
  const long size = long(st.st_size);
  if (size > kMaxTextBytes) {
    std::fclose(f);
    std::printf("Text file %s: %ld bytes, more than the %ld a text may have\n", path, size,
                kMaxTextBytes);
    return false;
  }
  std::vector<uint8_t> bytes(size_t(size) + 1);
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  if (got != size_t(size)) {
    std::printf("Read %s File Error! %d \n", path, int(got));
    return false;
  }
  if (size < 2 || (size & 1) || bytes[0] != (kBom & 0xFF) || bytes[1] != (kBom >> 8)) {
    std::printf("Text file %s: not UTF-16LE with a byte-order mark and whole 16-bit units\n",
                path);
    return false;
  }
  out->clear();
  out->reserve(size_t(size) / 2);
  for (long i = 2; i < size; i += 2) out->push_back(uint16_t(bytes[i] | bytes[i + 1] << 8));
  out->push_back(0);
  return true;
}

struct ParsedItem {
  bool empty = true;
  const uint16_t* title = nullptr;
  MenuOption* options = nullptr;
  int32_t choices = 0;
};

struct ParsedPage {
  const uint16_t* title = nullptr;
  ParsedItem items[kMenuSlots];
};

// Parses the text in place: every line end becomes a NUL so each text is
// terminated. Option nodes go to `nodes` (stable addresses).
class MenuTextParser {
 public:
  MenuTextParser(const char* path, std::vector<uint16_t>* text, std::deque<MenuOption>* nodes)
      : path_(path), text_(text), nodes_(nodes) {}

  bool Parse() {
    uint16_t* p = text_->data();
    uint16_t* const end = p + text_->size() - 1;  // the final NUL
    while (p < end) {
      ++line_;
      uint16_t* eol = p;
      while (eol < end && *eol != '\n') ++eol;
      uint16_t* next = eol < end ? eol + 1 : end;
      if (eol > p && eol[-1] == '\r') --eol;
      *eol = 0;
      if (!Line(p, eol)) return false;
      p = next;
    }
    if (itemOpen_) return Fail("the file ends inside an item (no \"@0\")");
    if (!pages_.empty() && slot_ != kMenuSlots)
      return Fail("the file ends before the fifth item of the last page");
    if (pages_.empty()) return Fail("no page");
    return true;
  }

  const std::vector<ParsedPage>& Pages() const { return pages_; }

 private:
  bool Fail(const char* what) {
    std::printf("Menu text %s line %d: %s; the file is not used\n", path_, line_, what);
    return false;
  }

  bool Line(uint16_t* p, uint16_t* eol) {
    if (p == eol) return true;
    const uint16_t* rest = p + 1;
    switch (*p) {
      case kPageMark:
        if (itemOpen_) return Fail("a page starts inside an item (no \"@0\")");
        if (!pages_.empty() && slot_ != kMenuSlots) return Fail("a page has fewer than five items");
        if (int(pages_.size()) == kMenuPages) return Fail("more than 60 pages");
        pages_.emplace_back();
        pages_.back().title = rest;
        slot_ = 0;
        return true;
      case kItemMark: {
        if (pages_.empty()) return Fail("an item before the first page");
        if (itemOpen_) return Fail("an item starts inside the previous one (no \"@0\")");
        if (slot_ == kMenuSlots) return Fail("a sixth item on a page");
        ParsedItem& it = pages_.back().items[slot_++];
        if (*rest == '0') return true;  // empty slot
        it.empty = false;
        itemOpen_ = true;
        tail_ = &it.options;
        if (*rest == kNoTitleMark) {
          AddOption(&it, rest + 1);
        } else {
          it.title = rest;
        }
        return true;
      }
      case kOptionMark: {
        if (!itemOpen_) return Fail("a choice outside an item");
        ParsedItem& it = pages_.back().items[slot_ - 1];
        if (rest[0] == '0' && rest + 1 == eol) {
          itemOpen_ = false;
          return true;
        }
        AddOption(&it, rest);
        return true;
      }
      default:
        return true;  // a text for another reader of this file
    }
  }

  void AddOption(ParsedItem* it, const uint16_t* text) {
    nodes_->push_back(MenuOption{uint16_t(it->choices), text, nullptr});
    *tail_ = &nodes_->back();
    tail_ = &nodes_->back().next;
    ++it->choices;
  }

  const char* path_;
  std::vector<uint16_t>* text_;
  std::deque<MenuOption>* nodes_;
  std::vector<ParsedPage> pages_;
  int line_ = 0;
  int slot_ = 0;
  bool itemOpen_ = false;
  MenuOption** tail_ = nullptr;
};

// Pages of the static definition: the last page with an item or a handler.
int DefinedPages(const menu* record) {
  for (int p = kMenuPages - 1; p >= 0; --p) {
    const MenuPage& pg = record->pages[p];
    if (pg.handler) return p + 1;
    for (const MenuItem& it : pg.items)
      if (it.attribute || it.handler) return p + 1;
  }
  return 0;
}
}  // namespace

int Menu::Load(const char* path, menu* record, bool readValues) {
  if (!path || !record) return -1;
  record_ = record;
  if (readValues) ReadStoredValues(record);  // saved settings do not depend on the texts

  std::vector<uint16_t> text;
  std::deque<MenuOption> nodes;
  bool ok = ReadUtf16File(path, &text);
  MenuTextParser parser(path, &text, &nodes);
  ok = ok && parser.Parse();
  if (!ok) {
    // The module keeps working without (new) texts; its pages still count.
    if (record->pageCount <= 0) record->pageCount = int16_t(DefinedPages(record));
    return -1;
  }

  const std::vector<ParsedPage>& pages = parser.Pages();
  const int defined = DefinedPages(record);
  if (defined > int(pages.size()))
    std::printf("Menu text %s: %d pages of texts for %d pages of items\n", path, int(pages.size()),
                defined);
  for (int p = 0; p < kMenuPages; ++p) {
    MenuPage& pg = record->pages[p];
    const bool have = p < int(pages.size());
    pg.title = have ? pages[p].title : nullptr;
    for (int s = 0; s < kMenuSlots; ++s) {
      MenuItem& it = pg.items[s];
      const ParsedItem* src = have ? &pages[p].items[s] : nullptr;
      it.title = src ? src->title : nullptr;
      it.options = src ? src->options : nullptr;
      if (src && !src->empty) it.choices = src->choices;
    }
  }
  record->pageCount = int16_t(pages.size());
  record->currPage = 0;
  // The record now points into the new text only; the old one can go.
  text_.swap(text);
  options_.swap(nodes);
  return 0;
}

int Menu::LoadMenu(const char* path, menu* record) { return Load(path, record, true); }
int Menu::ReLoadMenu(const char* path, menu* record) { return Load(path, record, false); }

const uint16_t* Menu::GetTopMenuTitle() const {
  if (!record_ || record_->currPage < 0 || record_->currPage >= kMenuPages) return nullptr;
  return record_->pages[record_->currPage].title;
}

const uint16_t* Menu::GetMenuItemTitle(int n) const {
  const MenuItem* it = Item(record_, n);
  return it ? it->title : nullptr;
}

MenuOption* Menu::GetMenuItemList(int n) const {
  const MenuItem* it = Item(record_, n);
  return it ? it->options : nullptr;
}

int Menu::ReSetMenuString(menu* record, int n, const uint16_t* text) {
  MenuItem* it = Item(Rec(record), n);
  if (!it || !text) return -1;
  if (!resetNodes_) resetNodes_.reset(new MenuOption[kMenuItems]());
  MenuOption& node = resetNodes_[n];
  node = MenuOption{0, text, nullptr};
  it->options = &node;
  return 0;
}

int Menu::MenuAsciiToUnicode(const char* text, uint16_t* out, int max) {
  if (!text || !out || max <= 0) return -1;
  int n = 0;
  while (n < max - 1 && text[n]) {
    out[n] = uint8_t(text[n]);
    ++n;
  }
  out[n] = 0;
  return n;
}

const uint16_t* Menu::ScanMark(const uint16_t* text, const uint16_t* end, uint16_t mark) {
  if (!text) return nullptr;
  for (const uint16_t* p = text; p < end && *p; ++p)
    if (*p == mark) return p;
  return nullptr;
}

const uint16_t* Menu::ScanSingleMenuNextMark(const uint16_t* text, const uint16_t* end) {
  if (!text) return nullptr;
  for (const uint16_t* p = text; p < end && *p; ++p)
    if (*p == kPageMark || *p == kItemMark || *p == kOptionMark) return p;
  return nullptr;
}

const uint16_t* Menu::ScanInfoMark(const uint16_t* text, const uint16_t* end, uint16_t mark) {
  const uint16_t* p = ScanMark(text, end, mark);
  return p ? p + 1 : nullptr;
}

int Menu::MenuTextPath(char* out, size_t size, const char* language, const char* module) {
  if (!out || !language || !module || size == 0) return -1;
  int n = std::snprintf(out, size, "%s%s/%s%s.txt", "Data/Menu/", language, module, language);
  return n < 0 || size_t(n) >= size ? -1 : n;
}

namespace {
// Language names become folder and file names: letters, digits, '-' and '_'.
bool NameChar(uint16_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

// Copies the units of [p, e) without blanks as ASCII; false when a unit is not
// allowed or the text does not fit.
bool CopyField(const uint16_t* p, const uint16_t* e, char* out, bool nameOnly) {
  int n = 0;
  for (; p < e; ++p) {
    if (*p == ' ' || *p == '\t') continue;
    if (*p > 0x7E || *p < 0x21 || (nameOnly && !NameChar(*p)) || n == kMenuLanguageBytes - 1)
      return false;
    out[n++] = char(*p);
  }
  out[n] = 0;
  return n > 0;
}
}  // namespace

int Menu::LoadLanguageCountry(const char* path, char names[kMenuLanguages][kMenuLanguageBytes],
                              char types[kMenuLanguages][kMenuLanguageBytes]) {
  if (!path || !names || !types) return -1;
  std::vector<uint16_t> text;
  if (!ReadUtf16File(path, &text)) return -1;
  static const char kHeader[] = "[LANGUAGE]";
  const uint16_t* p = text.data();
  const uint16_t* const end = p + text.size() - 1;
  bool inList = false;
  int count = 0, line = 0;
  while (p < end && count < kMenuLanguages) {
    ++line;
    const uint16_t* eol = p;
    while (eol < end && *eol != '\n') ++eol;
    const uint16_t* next = eol < end ? eol + 1 : end;
    if (eol > p && eol[-1] == '\r') --eol;
    if (!inList) {
      size_t i = 0;
      while (kHeader[i] && p + i < eol && p[i] == uint16_t(kHeader[i])) ++i;
      inList = kHeader[i] == 0;
    } else if (eol > p) {
      const uint16_t* comma = p;
      while (comma < eol && *comma != ',') ++comma;
      char name[kMenuLanguageBytes], type[kMenuLanguageBytes];
      if (comma == eol || !CopyField(p, comma, name, true) || !CopyField(comma + 1, eol, type, false)) {
        std::printf("Language list %s line %d: not \"name,type\" with a plain name; skipped\n", path,
                    line);
      } else {
        std::snprintf(names[count], kMenuLanguageBytes, "%s", name);
        std::snprintf(types[count], kMenuLanguageBytes, "%s", type);
        ++count;
      }
    }
    p = next;
  }
  if (!inList) {
    std::printf("Language list %s: no \"[LANGUAGE]\" line\n", path);
    return -1;
  }
  return count;
}
