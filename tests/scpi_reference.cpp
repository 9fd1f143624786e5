// Writes the reference of every SCPI command the instrument answers, from the
// command tables the modules register at start-up, so the reference cannot
// drift from them. `scpi_reference --write FILE` writes it (start-up's own
// lines go to the standard output); `scpi_reference --check FILE` fails when
// FILE (docs/scpi-commands.md) differs from what it would write. Both fail
// when a header has no reference entry (the ScpiDoc tables beside the
// handlers, app/scpi_doc_tables.cpp) or an entry describes no header.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/register_table.h"
#include "app/scpi_doc_tables.h"
#include "remote/scpi/scpi_doc.h"
#include "remote/scpi/scpi_table.h"
#include "tests/bench/bench.h"

namespace {

const char kIntro[] =
    "# SCPI commands\n"
    "\n"
    "Every command the instrument answers over USBTMC, VXI-11 and the web page, by\n"
    "the module that owns it, in the order the instrument matches them (the first\n"
    "row that matches wins). Generated from the command tables by\n"
    "`build-test/tests/scpi_reference --write docs/scpi-commands.md`; the test\n"
    "`scpi_reference_is_current` fails when this file and the tables differ.\n"
    "\n"
    "Notation: upper-case letters are the short form, the lower-case letters after\n"
    "them complete the long form (`CHANnel1:SCALe` or `CHAN1:SCAL`); `#` stands for a\n"
    "channel digit. The form without `?` sets or acts, the form with `?` queries.\n"
    "\n"
    "Each entry gives the parameter the command takes (its forms, range and\n"
    "units), the default (the value on a fresh root; DEFAULT and `*RST` restore\n"
    "those of the setup), what the query answers and what a value outside the\n"
    "range does. A keyword is given whole (in any case) or as its short form in\n"
    "upper case (`ON|OFF|1|0`: any one of them; `COUPling`, `coupling` or `COUP`).\n"
    "Numbers are plain or with an exponent (`1e-3`, `0.001`) in the unit named; a\n"
    "unit suffix is read only where the entry names the suffixes it takes\n"
    "(elsewhere `1ms` reads as 1). An answer `%-13.6e` is padded with blanks to 13\n"
    "characters (`1.000000e-03 `). A command whose parameter is refused changes\n"
    "nothing and answers nothing; it leaves an error `SYSTem:ERRor?` reports,\n"
    "with the text the screen shows. Settings act as the front panel's: a command of a\n"
    "page that is not shown (a trigger type's level, a math operation's source)\n"
    "sets the value the page will use. A query that does not answer leaves the\n"
    "read to time out. The waveform\n"
    "read-out's conventions are also in the README (\"SCPI commands\").\n";

// One command's forms, in first-seen order.
struct Command {
  std::string name;
  bool set = false, query = false;
  const ScpiDoc* doc = nullptr;
};

const ScpiDoc* FindDoc(const std::string& header) {
  for (const ScpiDoc* const* t = ScpiDocTables; *t; ++t)
    for (const ScpiDoc* d = *t; d->headers; ++d)
      if (ScpiDocMatches(*d, header.c_str())) return d;
  return nullptr;
}

// The headers without an entry, and the entries in use.
std::vector<std::string> missing;
std::set<const ScpiDoc*> used;

void Field(std::ostringstream& out, const char* name, const char* text) {
  if (text && *text) out << "- " << name << ": " << text << "\n";
}

std::string Module(const RegisterRow& row) {
  std::ostringstream out;
  std::vector<Command> commands;
  std::map<std::string, size_t> index;
  for (const instr* r = row.table; r && r->pattern[0]; ++r) {
    std::string p = r->pattern;
    const bool query = !p.empty() && p.back() == '?';
    if (query) p.pop_back();
    auto it = index.find(p);
    if (it == index.end()) {
      it = index.emplace(p, commands.size()).first;
      commands.push_back(Command{p});
    }
    (query ? commands[it->second].query : commands[it->second].set) = true;
  }
  out << "\n## " << row.name << "\n";
  // One entry per description, at its first header, with every header of
  // this module it describes.
  std::set<const ScpiDoc*> done;
  for (Command& c : commands) {
    c.doc = FindDoc(c.name);
    if (!c.doc) missing.push_back(std::string(row.name) + ": " + c.name);
  }
  for (const Command& c : commands) {
    if (c.doc && !done.insert(c.doc).second) continue;
    used.insert(c.doc);
    out << "\n###";
    for (const Command& d : commands) {
      if (d.doc != c.doc || (!c.doc && &d != &c)) continue;
      if (d.set) out << " `" << d.name << "`";
      if (d.query) out << " `" << d.name << "?`";
    }
    out << "\n\n";
    if (!c.doc) continue;
    Field(out, "parameter", c.doc->parameter);
    Field(out, "default", c.doc->initial);
    Field(out, "query answers", c.doc->answer);
    Field(out, "outside the range", c.doc->outside);
  }
  return out.str();
}

std::string Reference() {
  std::string text = kIntro;
  for (const RegisterRow* row = RegisterTable; row->id >= 0; ++row)
    if (row->table && row->table[0].pattern[0]) text += Module(*row);
  return text;
}
}  // namespace

int main(int argc, char** argv) {
  const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
  if (argc != 3 || (!check && std::strcmp(argv[1], "--write") != 0)) {
    std::fprintf(stderr, "usage: scpi_reference --write|--check FILE\n");
    return 2;
  }
  // The instrument runs in its root: the file's path is taken before it starts.
  const std::string path = std::filesystem::absolute(argv[2]).string();
  std::string text;
  {
    // The tables some modules fill at start-up are complete once it has run.
    Bench bench;
    bench.SetEeprom(MarkedEeprom());
    if (bench.Start() != 0) {
      std::fprintf(stderr, "scpi_reference: start-up failed\n");
      return 2;
    }
    text = Reference();
  }
  int unused = 0;
  for (const ScpiDoc* const* t = ScpiDocTables; *t; ++t)
    for (const ScpiDoc* d = *t; d->headers; ++d)
      if (!used.count(d)) {
        std::fprintf(stderr, "scpi_reference: the entry \"%s\" describes no command\n", d->headers);
        ++unused;
      }
  for (const std::string& m : missing)
    std::fprintf(stderr, "scpi_reference: %s has no entry: add one to its module's ScpiDoc table\n",
                 m.c_str());
  if (unused || !missing.empty()) return 1;
  if (check) {
    std::ifstream f(path);
    std::stringstream have;
    have << f.rdbuf();
    if (have.str() == text) return 0;
    std::fprintf(stderr, "%s differs from the command tables: regenerate it with "
                 "build-test/tests/scpi_reference --write docs/scpi-commands.md\n", path.c_str());
    return 1;
  }
  std::ofstream(path) << text;
  return 0;
}
