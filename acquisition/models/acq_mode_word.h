// The acquisition mode's code in its control word (fpga::kAcqMode). The
// time-base model owns the word; everyone that writes or decodes it goes
// through these two functions.
#pragma once

// Acquisition mode 0 normal, 1 peak detect, 2 high resolution, 3 average to
// its code in word 40 (0, 1, 2, 4); -1 for any other mode.
constexpr int AcqModeWord(int mode) {
  return mode == 0 ? 0 : mode == 1 ? 1 : mode == 2 ? 2 : mode == 3 ? 4 : -1;
}

// The inverse, for the FPGA side: the acquisition mode of a word-40 code, -1
// for a code that names no mode.
constexpr int AcqModeFromWord(int code) {
  return code == 0 ? 0 : code == 1 ? 1 : code == 2 ? 2 : code == 4 ? 3 : -1;
}
