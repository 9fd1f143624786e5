// The time-base tables: seconds per division and the labels, by time-base
// index (1-2-5 steps from 100 ps/div to 5000 s/div).
#pragma once
#include <cstdint>

constexpr int kTimeBaseEntries = 42;
constexpr int kTimeBaseMaxIndex = 39;  // 40 and 41 exist but are never selected

inline constexpr double TimeBaseS[kTimeBaseEntries] = {
    100e-12, 200e-12, 500e-12,  // 0..2
    1e-9,    2e-9,    5e-9,     // 3..5
    10e-9,   20e-9,   50e-9,    // 6..8
    100e-9,  200e-9,  500e-9,   // 9..11
    1e-6,    2e-6,    5e-6,     // 12..14
    10e-6,   20e-6,   50e-6,    // 15..17
    100e-6,  200e-6,  500e-6,   // 18..20
    1e-3,    2e-3,    5e-3,     // 21..23
    10e-3,   20e-3,   50e-3,    // 24..26
    100e-3,  200e-3,  500e-3,   // 27..29
    1.0,     2.0,     5.0,      // 30..32
    10.0,    20.0,    50.0,     // 33..35
    100.0,   200.0,   500.0,    // 36..38
    1000.0,  2000.0,  5000.0,   // 39..41
};

// Labels; the micro sign is the Latin-1 byte 0xB5.
inline constexpr char TimeBaseStr[kTimeBaseEntries][12] = {
    "100.00ps",    "200.00ps",    "500.00ps",    "1.00ns",      "2.00ns",      "5.00ns",
    "10.00ns",     "20.00ns",     "50.00ns",     "100.00ns",    "200.00ns",    "500.00ns",
    "1.00\xB5s",   "2.00\xB5s",   "5.00\xB5s",   "10.00\xB5s",  "20.00\xB5s",  "50.00\xB5s",
    "100.00\xB5s", "200.00\xB5s", "500.00\xB5s", "1.00ms",      "2.00ms",      "5.00ms",
    "10.00ms",     "20.00ms",     "50.00ms",     "100.00ms",    "200.00ms",    "500.00ms",
    "1.00s",       "2.00s",       "5.00s",       "10.00s",      "20.00s",      "50.00s",
    "100.00s",     "200.00s",     "500.00s",     "1000.00s",    "2000.00s",    "5000.00s",
};

// Picoseconds per screen point (50 points per division) of a valid index:
// whole numbers for every index, so the derived times are exact.
constexpr int64_t TimeBasePsPerPoint(int index) {
  const double ps = TimeBaseS[index] * 2e10;
  return int64_t(ps + 0.5);
}
