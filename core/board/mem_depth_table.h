// Memory depth in points by memory-depth index (0 = automatic).
#pragma once

constexpr int kMemDepthEntries = 8;

inline constexpr double MemDepthSize[kMemDepthEntries] = {1,        7000,     70000,    700000,
                                                          7000000,  35000000, 56000000, 70000000};
