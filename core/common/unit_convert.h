// Scaling of voltages, times and frequencies to a mantissa and a unit code for
// display.
#pragma once
#include <cstdint>

// Voltage prefix codes.
enum : int16_t { kVMicro = 0, kVMilli = 1, kVUnit = 2, kVKilo = 3, kVMega = 4 };
// Time unit codes.
enum : int16_t { kTSec = 0x100, kTMilli = 0x101, kTMicro = 0x102, kTNano = 0x103, kTPico = 0x104 };
// Frequency unit codes.
enum : int16_t { kFHz = 0x200, kFKilo = 0x201, kFMega = 0x202, kFGiga = 0x203 };

struct FloatElement {
  double mantissa;  // rounded through a 32-bit float, sign kept
  int16_t unit;
};

class unit_convert {
 public:
  int VUnitConvert(double v, FloatElement* element) const;
  int TUnitConvert(double t, FloatElement* element) const;
  int FreqUnitConvert(double f, FloatElement* element) const;
};

extern unit_convert UnitConvert;
