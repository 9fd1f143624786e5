// Shell commands on the board: run for real through /bin/sh, and kept in
// the bounded log of this process.
#include "platform/shell.h"

#include <cstdlib>
#include <mutex>

#include "platform/log_ring.h"

namespace plat {
namespace {
struct Log {
  std::mutex mu;
  LogRing<std::string, kShellLogLines> lines;
};
Log& TheLog() {
  static Log* l = new Log;  // commands may run while the process ends
  return *l;
}
}  // namespace

int ShellSystem(const char* command) {
  if (!command) return -1;
  {
    std::lock_guard<std::mutex> lock(TheLog().mu);
    TheLog().lines.Push(command);
  }
  return std::system(command);
}

std::vector<std::string> ShellLog() {
  std::lock_guard<std::mutex> lock(TheLog().mu);
  return TheLog().lines.Entries();
}

void ClearShellLog() {
  std::lock_guard<std::mutex> lock(TheLog().mu);
  TheLog().lines.Clear();
}

}  // namespace plat
