// A list of control words a hardware model composes and then sends in one go,
// in order. It is the caller's own list, so words of another thread's batch
// never fall into it; 32-bit values go low half first.
#pragma once
#include <cstdint>

#include "core/board/control.h"
#include "core/board/fpga_words.h"

class WordList {
 public:
  static constexpr int kMax = 64;

  void Add(int word, uint32_t value) {
    if (n_ >= kMax) return;  // lists are fixed and far shorter
    list_[n_][0] = word;
    list_[n_][1] = int(value & 0xFFFF);
    list_[++n_][0] = -1;
  }
  // A 32-bit pair: the low half at `lowWord`, the high half 2 above.
  void Add32(int lowWord, uint32_t value) {
    Add(lowWord, value);
    Add(fpga::High(lowWord), value >> 16);
  }
  int Count() const { return n_; }
  int Send(control& board) const { return board.SendBatchConfig(list_); }

 private:
  int list_[kMax + 1][2] = {{-1, 0}};
  int n_ = 0;
};
