// The math calculations: the math channel's trace (source 5) from the
// channels' traces by arithmetic, logic, an 81-tap FIR filter or a user
// expression, and the math channel's unit and scale label.
//
// Traces are the engine's 1400-byte screen traces (700 column maxima, then
// 700 minima; 127 the centre, 25 codes a division, 0 no data). The pure
// steps are free functions so they can be checked against the formulas.
#pragma once
#include <cstdint>

constexpr int kMathTraceBytes = 1400;
constexpr int kMathColumns = 700;
constexpr int kMathSlots = 6;
constexpr int kMathSlot = 5;       // the math channel's source number
constexpr int kMathCodeLow = 27;   // lowest visible code
constexpr int kMathCodeHigh = 227; // highest visible code
constexpr int kFilterTaps = 81;

extern const char chVerticalUnit[4][3];
extern const float FilterWin[kFilterTaps];

// Volts per code of a source: probe ratio x volts per division / 25.
struct MathSourceScale {
  int position = 127;
  double k = 0.04;
};

// The screen code of a math value: 27 for NaN or infinity, else
// trunc(value / k5 + 0.5) + pos5 clamped to 27..227.
uint8_t MathValueCode(double value, double k5, int pos5);
// Arithmetic of two traces (operator 0 add, 1 subtract, 2 multiply, 3 divide).
void MathArithmetic(const uint8_t* a, const uint8_t* b, uint8_t* out, int op, const MathSourceScale& s1,
                    const MathSourceScale& s2, double k5, int pos5);
// Larger of each column pair on top.
void MathSortColumns(uint8_t* trace);
// Logic of the upper envelopes (0 AND, 1 OR, 2 NOT, 3 XOR) against the
// threshold codes, true drawn at pos5 + 25, false at pos5.
void MathLogic(const uint8_t* a, const uint8_t* b, uint8_t* out, int op, bool invert, int t1, int t2, int pos5);
// Windowed-sinc coefficients of filter type 0..3 at the normalised cut-offs;
// false (nothing written) for another type.
bool MathFilterCoeff(int type, double wl, double wu, float* coeff);
// The filtered trace of `src` (position `pos`) with gain `ratio` onto pos5.
void MathFilterTrace(const uint8_t* src, int pos, const float* coeff, double ratio, int pos5, uint8_t* out);

class _math {
 public:
  int math();
  int Logic();
  int Filter();
  int Advance();
  int ClearMathWave();
  int MathUnit();
  int LogicUnit();
  int FilterUnit();
  int AdvanceUnit();
  int FFTUnit();
  // FIR convolution: out[i] = sum in[i + k] c[k] while i + k < n. 0 for a
  // missing buffer, 1 otherwise.
  static int FIRC(float* out, const float* in, int n, const float* coeff, int taps);
  // One output value at `at`, forward over in[at..] or backward over
  // in[..at]; 0.0 for bad arguments.
  static double OneFIRC(const float* in, int n, int at, const float* coeff, int taps, bool backward);
  static double _Sinc(double x);

  uint8_t* Slot(int n) { return n >= 0 && n < kMathSlots ? slot_[n] : nullptr; }

 private:
  void Fetch(int src, bool selectedPosition);
  void FillMath();
  int Hand();
  int SetLabel(int unit, const char* label);

  uint8_t slot_[kMathSlots][kMathTraceBytes] = {};
  float coeff_[kFilterTaps] = {};
};

extern _math math;

// The scale of source `src` (0, 1) as the calculations use it; the selected
// position instead of the one in force with `selectedPosition`.
MathSourceScale MathScaleOf(int src, bool selectedPosition = false);
// Volts per code of the math channel.
double MathK5();
