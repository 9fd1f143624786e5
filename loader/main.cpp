// Bitstrap: run once before the instrument application to configure the
// acquisition FPGA. On the PC, "--root DIR" (or $SCOPE_ROOT) chooses the
// instrument root the bitstream is read from.
#include <cstdio>
#include <cstring>
#include <string>

#include "loader/bitstrap.h"
#include "platform/root.h"

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  std::string root;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--root") == 0 && i + 1 < argc) {
      root = argv[++i];
    } else {
      std::printf("usage: Bitstrap [--root DIR]\n");
      return -1;
    }
  }
  if (!plat::InitRoot(root)) {
    std::printf("Can't use instrument root %s\n", root.empty() ? "(default)" : root.c_str());
    return -1;
  }
  return bitstrap::ConfigureFpga(bitstrap::kBitstreamPath);
}
