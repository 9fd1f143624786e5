// One range's calibration points as the self-calibration hands them over:
// three pairs of (DAC code, code measured or aimed at). The vertical model
// copies the six words into words 92..102 of a channel record; the trigger
// model takes word 0 as the code it stores and words 1, 3, 5 as the sub-record's
// words +2, +6, +10.
#pragma once
#include <cstdint>

struct CaliPara {
  uint16_t word[6];
};
