// The README's test-signal examples are lines the simulated board takes: each
// `printf '...' > root/dev/signals` of README.md parses without an error.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/acquisition/sim_signal_file.h"
#include "platform/sim/acquisition/sim_signals.h"

namespace {

std::vector<std::string> ReadmeSignalLines() {
  std::ifstream f(std::string(SCOPE_SOURCE_DIR) + "/README.md");
  std::stringstream text;
  text << f.rdbuf();
  const std::string readme = text.str();
  std::vector<std::string> lines;
  const std::string open = "printf '", close = "' > root/dev/signals";
  for (size_t end = readme.find(close); end != std::string::npos; end = readme.find(close, end + 1)) {
    const size_t begin = readme.rfind(open, end);
    if (begin == std::string::npos) continue;
    std::string body = readme.substr(begin + open.size(), end - begin - open.size());
    for (size_t at; (at = body.find("\\n")) != std::string::npos;) body.replace(at, 2, "\n");
    std::istringstream each(body);
    for (std::string line; std::getline(each, line);)
      if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

TEST(ReadmeExamples, EverySignalLineParses) {
  const std::vector<std::string> lines = ReadmeSignalLines();
  ASSERT_GE(lines.size(), 5u);
  for (const std::string& line : lines) {
    plat::TestSignal signals[plat::kSignalInputs];
    std::string error;
    if (line.rfind("bus ", 0) == 0) {
      EXPECT_TRUE(plat::SimBusSignals(line.substr(4), signals, &error)) << line << ": " << error;
    } else {
      int input = -1;
      plat::TestSignal s;
      EXPECT_TRUE(plat::SimSignalFile::ParseLine(line, &input, &s, &error)) << line << ": " << error;
    }
  }
}

}  // namespace
