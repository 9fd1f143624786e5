// The help file: UTF-16LE with a byte-order mark. A summary block names the
// topics; each topic has a block with its own text and its sub-items:
//
//   <Summary Start>
//   Channel
//   <Summary End>
//   <Channel Describe Start>
//   <#text of the topic#>
//   <@Coupling
//   <!text of the sub-item!>
//   <Channel Describe End>
//
// A sub-item's name line starts with "<@". Any missing marker, or a marker
// outside its block, rejects the whole file.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/common/common_subprogram.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "system/help/task_help.h"

namespace {
constexpr char kHelpFilePrefix[] = "Data/Help/QelHelp";
constexpr long kHelpFileMax = 4L << 20;  // far beyond any help file
constexpr uint16_t kByteOrderMark = 0xFEFF;

using Units = std::vector<uint16_t>;

// Offset of `marker` in units [from, to); -1 when absent.
long Find(const Units& u, const std::u16string& marker, long from, long to) {
  if (from < 0 || marker.empty()) return -1;
  const long n = long(marker.size());
  for (long i = from; i + n <= to; ++i)
    if (std::equal(marker.begin(), marker.end(), u.begin() + i)) return i;
  return -1;
}

bool LineEnd(uint16_t c) { return c == '\r' || c == '\n'; }

// End of the line starting at `at` (offset of its line break or of `to`).
long EndOfLine(const Units& u, long at, long to) {
  while (at < to && !LineEnd(u[size_t(at)])) ++at;
  return at;
}

// Past the line break at `at`, if any.
long SkipLineBreak(const Units& u, long at, long to) {
  if (at < to && u[size_t(at)] == '\r') ++at;
  if (at < to && u[size_t(at)] == '\n') ++at;
  return at;
}

// 1-based line number of offset `at`.
int LineOf(const Units& u, long at) {
  int line = 1;
  for (long i = 0; i < at; ++i)
    if (u[size_t(i)] == '\n') ++line;
  return line;
}

// The text between an opening and a closing marker, without the line breaks
// just inside them; false when either marker is missing in [from, to).
bool Enclosed(const Units& u, const char16_t* open, const char16_t* close, long from, long to,
              HelpText* text, long* after) {
  const std::u16string o(open), c(close);
  const long a = Find(u, o, from, to);
  if (a < 0) return false;
  const long b = Find(u, c, a + long(o.size()), to);
  if (b < 0) return false;
  long start = SkipLineBreak(u, a + long(o.size()), b);
  long end = b;
  if (end > start && u[size_t(end - 1)] == '\n') --end;
  if (end > start && u[size_t(end - 1)] == '\r') --end;
  *text = HelpText{};
  text->text = u.data() + start;
  text->length = int32_t(end - start);
  *after = b + long(c.size());
  return true;
}

void ToAscii(const uint16_t* name, long length, char* out) {
  long i = 0;
  for (; i < length && i < kHelpNameChars - 1; ++i) out[i] = name[i] < 128 ? char(name[i]) : '?';
  out[i] = 0;
}
}  // namespace

void TaskForHelp::HelpInit() {
  Win = Geometry{63, 70, 600, 300, 410, 300, 156, 300, 1, kHelpTextLines};
  KnobScrollText = 0;
  CurrFunc = 0;
  ListStartCnt = 0;
  ListEndCnt = kHelpListLines;
  ListTotalCnt = 0;
  SlideStep = 19;
}

void TaskForHelp::ClearTopics() {
  for (HelpTopic& t : Topics) t = HelpTopic{};
  FuncCnt = 0;
  CurrFunc = 0;
  ListTotalCnt = 0;
}

std::string TaskForHelp::HelpFilePath() {
  _SysRunInfoOp* run = Sys()->runStatus;
  int language = run->GetCurrLanguage();
  if (language < 0 || language > 19) language = 0;
  char name[24] = {};
  if (run->GetLanguageCountry(language, name) < 0) name[0] = 0;
  char type[24] = {};
  LanguageType = int16_t(run->GetLanguageType(language, type) == 1 ? 1 : 0);
  return std::string(kHelpFilePrefix) + name + ".txt";
}

int TaskForHelp::HelpLoading() {
  const std::string file = HelpFilePath();
  const char* path = file.c_str();
  common_subprogram* common = Sys()->common;
  const long size = common->GetFileSize(path);
  Units units;
  if (size >= 2 && size <= kHelpFileMax) {
    units.assign(size_t(size + 1) / 2, 0);
    if (common->ReadFile(path, units.data(), int(size)) != int(size)) {
      std::printf("Read Help File Error! \n");
      units.clear();
    }
  }
  return HelpParse(std::move(units));
}

int TaskForHelp::HelpParse(Units units) {
  ClearTopics();
  HelpBuffer = std::move(units);
  const Units& u = HelpBuffer;
  const long total = long(u.size());
  const long begin = total > 0 && u[0] == kByteOrderMark ? 1 : 0;
  auto fail = [this] {
    ClearTopics();
    HelpBuffer.clear();
    HelpBuffer.shrink_to_fit();
    return -1;
  };

  const long s = Find(u, u"<Summary Start>", begin, total);
  if (s < 0) return fail();
  const long e = Find(u, u"<Summary End>", s, total);
  if (e < 0) return fail();
  std::u16string names[kHelpMaxTopics];
  for (long at = SkipLineBreak(u, EndOfLine(u, s, e), e); at < e && FuncCnt < kHelpMaxTopics;) {
    const long end = EndOfLine(u, at, e);
    if (end > at) {
      HelpTopic& t = Topics[FuncCnt];
      t.name = u.data() + at;
      ToAscii(t.name, end - at, t.nameAscii);
      names[FuncCnt].assign(t.name, t.name + (end - at));
      std::printf("Func = %d   %s \n", FuncCnt, t.nameAscii);
      ++FuncCnt;
    }
    at = SkipLineBreak(u, end, e);
  }

  for (int i = 0; i < FuncCnt; ++i) {
    HelpTopic& t = Topics[i];
    const std::u16string& name = names[i];
    const long from = Find(u, u"<" + name + u" Describe Start>", e, total);
    if (from < 0) return fail();
    const long to = Find(u, u"<" + name + u" Describe End>", from, total);
    if (to < 0) return fail();
    std::printf("FuncStartLine = %d   FuncEndLine = %d \n", LineOf(u, from), LineOf(u, to));
    long at = 0;
    if (!Enclosed(u, u"<#", u"#>", from, to, &t.body, &at)) return fail();
    while (t.subCount < kHelpMaxSubItems) {
      const long mark = Find(u, u"<@", at, to);
      if (mark < 0) break;
      HelpSubItem& sub = t.sub[t.subCount];
      sub.name = u.data() + mark + 2;
      if (!Enclosed(u, u"<!", u"!>", EndOfLine(u, mark, to), to, &sub.body, &at)) return fail();
      ++t.subCount;
    }
  }
  return FuncCnt;
}
