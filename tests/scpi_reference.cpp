// Writes the reference of every SCPI command the instrument answers, from the
// command tables the modules register at start-up, so the reference cannot
// drift from them. `scpi_reference --write FILE` writes it (start-up's own
// lines go to the standard output); `scpi_reference --check FILE` fails when
// FILE (docs/scpi-commands.md) differs from what it would write.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/register_table.h"
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
    "channel digit. \"command\" marks the form without `?` (a setting or an action),\n"
    "\"query\" the form with `?`, which answers. Parameters, replies and the waveform read-out's\n"
    "conventions are in the README (\"SCPI commands\").\n";

// One command's forms, in first-seen order.
struct Command {
  std::string name;
  bool set = false, query = false;
};

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
  out << "\n## " << row.name << "\n\n| header | command | query |\n|---|---|---|\n";
  for (const Command& c : commands)
    out << "| `" << c.name << "` | " << (c.set ? "command" : "") << " | " << (c.query ? "query" : "") << " |\n";
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
