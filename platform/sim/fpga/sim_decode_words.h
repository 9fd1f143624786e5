// The control-word table the decoders of the simulated FPGA read: the last
// value of every word, and 32-bit values carried by a pair of words.
#pragma once
#include <cstdint>

namespace plat {

constexpr int kSimControlWords = 1024;

struct SimWordTable {
  const uint16_t* w;
  uint16_t Word(int n) const { return n >= 0 && n < kSimControlWords ? w[n] : 0; }
  // Low half in word `low`, high half in word low + 2.
  uint32_t Pair(int low) const { return uint32_t(Word(low)) | uint32_t(Word(low + 2)) << 16; }
};

// Copies the simulated FPGA's last value of every word and, unless `written`
// is null, whether each was written, for the decoders.
void SimCopyWords(uint16_t* words, bool* written);

}  // namespace plat
