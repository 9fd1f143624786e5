// Shell commands on the board: run for real through /bin/sh, and kept in
// the log of this process.
#include "platform/shell.h"

#include <cstdlib>
#include <mutex>

namespace plat {
namespace {
std::mutex& LogMu() {
  static std::mutex mu;
  return mu;
}
std::vector<std::string>& Log() {
  static std::vector<std::string> lines;
  return lines;
}
}  // namespace

int ShellSystem(const char* command) {
  if (!command) return -1;
  {
    std::lock_guard<std::mutex> lock(LogMu());
    Log().push_back(command);
  }
  return std::system(command);
}

std::vector<std::string> ShellLog() {
  std::lock_guard<std::mutex> lock(LogMu());
  return Log();
}

void ClearShellLog() {
  std::lock_guard<std::mutex> lock(LogMu());
  Log().clear();
}

}  // namespace plat
