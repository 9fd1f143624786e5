// Writes the bitstream of the simulated acquisition FPGA: padding, the sync
// word, the payload length, configuration frames and the check, in the
// format the simulated configuration port verifies.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/sim/fpga/sim_fpga_config.h"

namespace {
constexpr uint32_t kPayloadBytes = 32 * 1024;
constexpr int kPadBytes = 16;

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fpgabit_gen OUTPUT\n");
    return 1;
  }
  std::vector<uint8_t> out(kPadBytes, 0xFF);
  PutBe32(out, plat::fpgabit::kSyncWord);
  size_t checked = out.size();
  PutBe32(out, kPayloadBytes);
  // Configuration frames: a fixed pseudo-random pattern, the same every build.
  uint32_t x = 0x2200u;
  for (uint32_t i = 0; i < kPayloadBytes; ++i) {
    x = x * 1664525u + 1013904223u;
    out.push_back(uint8_t(x >> 24));
  }
  PutBe32(out, plat::fpgabit::Crc32(out.data() + checked, out.size() - checked));

  FILE* f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "fpgabit_gen: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
