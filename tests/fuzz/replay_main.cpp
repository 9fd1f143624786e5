// Replays inputs through a fuzz target's entry point without libFuzzer: every
// file named, and every file of every folder named, in name order (a name
// that does not exist is skipped). The
// ordinary test suite runs it over the seed corpus and the kept crash inputs,
// so it builds with any compiler. An input that runs longer than the fuzzers
// allow one is a hang: the replay aborts.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace {
constexpr unsigned kInputLimitSeconds = 10;  // as scripts/fuzz.sh's -timeout

void Hung(int) {
  const char text[] = "replay: an input ran longer than its limit (a hang)\n";
  (void)!write(STDERR_FILENO, text, sizeof text - 1);
  std::abort();
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    // Absolute: the instrument's start-up moves into its root.
    const fs::path arg = fs::absolute(argv[i]);
    if (fs::is_directory(arg)) {
      for (const auto& entry : fs::directory_iterator(arg))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    } else if (fs::is_regular_file(arg)) {
      inputs.push_back(arg);
    }  // a target without kept crash inputs has no folder of them
  }
  std::sort(inputs.begin(), inputs.end());
  std::signal(SIGALRM, Hung);
  for (const fs::path& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::printf("replay %s (%zu bytes)\n", p.c_str(), bytes.size());
    std::fflush(stdout);
    alarm(kInputLimitSeconds);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    alarm(0);
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  return 0;
}
