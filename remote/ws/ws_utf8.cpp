#include "remote/ws/ws_utf8.h"

// Byte classes, then the next state by (state, class).
const uint8_t utf8d[400] = {
    // 0x00..0x7f: class 0
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0x80..0x8f: 1, 0x90..0x9f: 9, 0xa0..0xbf: 7
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    // 0xc0, 0xc1: 8, 0xc2..0xdf: 2
    8, 8, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    // 0xe0: 10, 0xe1..0xec: 3, 0xed: 4, 0xee, 0xef: 3, 0xf0: 11, 0xf1..0xf3: 6, 0xf4: 5, 0xf5..: 8
    10, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 3, 3, 11, 6, 6, 6, 5, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    // states 0..8 by 16 classes
    0, 1, 2, 3, 5, 8, 7, 1, 1, 1, 4, 6, 1, 1, 1, 1,   // s0
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,   // s1
    1, 0, 1, 1, 1, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1, 1,   // s2
    1, 2, 1, 1, 1, 1, 1, 2, 1, 2, 1, 1, 1, 1, 1, 1,   // s3
    1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1,   // s4
    1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1,   // s5
    1, 1, 1, 1, 1, 1, 1, 3, 1, 3, 1, 1, 1, 1, 1, 1,   // s6
    1, 3, 1, 1, 1, 1, 1, 3, 1, 3, 1, 1, 1, 1, 1, 1,   // s7
    1, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,   // s8
};

bool utf8_valid(const char* data, size_t len) {
  uint32_t state = UTF8_ACCEPT;
  for (size_t i = 0; i < len; ++i) {
    state = utf8_step(state, static_cast<unsigned char>(data[i]));
    if (state == UTF8_REJECT) return false;
  }
  return state == UTF8_ACCEPT;
}

void utf8_sanitize(char* data, size_t len) {
  uint32_t state = UTF8_ACCEPT;
  size_t start = 0;  // first byte of the sequence being read
  size_t i = 0;
  while (i < len) {
    uint32_t prev = state;
    state = utf8_step(state, static_cast<unsigned char>(data[i]));
    if (state == UTF8_ACCEPT) {
      start = ++i;
    } else if (state == UTF8_REJECT) {
      state = UTF8_ACCEPT;
      if (prev == UTF8_ACCEPT) {
        data[i] = '?';
        start = ++i;
      } else {
        for (size_t j = start; j < i; ++j) data[j] = '?';
        start = i;  // the breaking byte starts anew
      }
    } else {
      ++i;
    }
  }
  for (size_t j = start; j < len && state != UTF8_ACCEPT; ++j) data[j] = 0;
}
