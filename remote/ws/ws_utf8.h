// UTF-8 checking with the byte-class automaton of the websocket layer
// (state 0 accepts, state 1 rejects).
#pragma once
#include <cstddef>
#include <cstdint>

enum : uint32_t { UTF8_ACCEPT = 0, UTF8_REJECT = 1 };

extern const uint8_t utf8d[400];

inline uint32_t utf8_step(uint32_t state, unsigned char byte) {
  return utf8d[256 + state * 16 + utf8d[byte]];
}

// True when `data` is a whole, valid UTF-8 text.
bool utf8_valid(const char* data, size_t len);

// Makes `data` valid UTF-8 in place without changing its length: a byte that
// cannot start a sequence becomes '?'; the bytes of a sequence broken by a
// byte become '?' and that byte is examined again as a new start; a sequence
// still incomplete at the end becomes zero bytes.
void utf8_sanitize(char* data, size_t len);
