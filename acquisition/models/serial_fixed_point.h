// The fixed-point form of the serial-bus timing words: the whole part above
// bit 10 and the thousandths (rounded half up from four decimals) in bits 0-9.
#pragma once
#include <cmath>
#include <cstdint>

constexpr uint32_t kSerialWholeMax = (1u << 22) - 1;

inline uint32_t SerialFixedPoint(float x) {
  if (!(x > 0.0f)) return 0;  // negative, zero or not a number
  const double v = x;
  if (v >= double(kSerialWholeMax) + 1.0) return kSerialWholeMax << 10 | 999;
  const uint32_t whole = uint32_t(v);
  const uint32_t m = uint32_t(int64_t(std::trunc(v * 10000.0)) % 10000);
  uint32_t f = m / 10;
  if (m % 10 >= 5) ++f;
  return whole << 10 | f;
}

// The value a fixed-point word stands for.
inline double SerialFixedPointValue(uint32_t word) { return double(word >> 10) + double(word & 1023) / 1000.0; }
