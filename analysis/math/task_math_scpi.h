// What the math module's command files share: item access, the no-key re-run
// of an item's menu handler, the number forms the commands take, and the
// handlers the table in task_math_scpi.cpp lists.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "remote/scpi/scpi_table.h"

// A number with its unit: an optional leading "-", digits and at most one
// "." ("-" inside are skipped), then an optional exponent ("e" or "E", an
// optional sign, digits: "4.998779e+05", "1E3"), at most 20 characters; the
// text after it (at most 5 characters, and `unitSize` - 1) goes to `unit`.
// 0, or -1 for no text, a second ".", a text starting with neither a digit
// nor "-", no digit, a number of 20 characters or more, or one beyond a
// float.
int extFloat(float* value, char* unit, size_t unitSize, const char* text);

// The reply of "FUNCtion:FFT:MARK:DATA?": "FFT", "ID,Freq,Amp", then one line
// per mark of its frequency (`startHz` + column x `hzPerColumn`) and
// amplitude ((code - `p5`) x `voltsPerCode`).
struct MathMarkPoint {
  int column;
  float code;
};
std::string MathFftMarkText(const MathMarkPoint* marks, int count, double startHz, double hzPerColumn, int p5,
                            double voltsPerCode);

namespace math_scpi {
int Item(int n);        // the low 16 bits of item n
uint32_t Item32(int n); // the low 32 bits (bins of the span)
// Writes item n, runs its menu handler with the no-key code and asks for a
// redraw.
void SetItemAndRun(int n, uint64_t value);
void RunItem(int n);
void Refresh();
// A keyword of `words`; "0" and "1" stand for values 0 and 1 in every list.
int Keyword(const scpipara* words, const char* p);
// A decimal integer with optional blanks around it; false for anything else.
bool ParseInt(const char* p, long* out);
// A frequency in extFloat's form with an optional unit letter "K", "M" or
// "G" and an optional "Hz" (any case) after it; false for a text extFloat
// refuses or any other unit.
bool ParseHz(const char* p, double* hz);
// The whole steps of `steps` (a value over its step), cut towards zero; a
// value short of a whole step by a rounding error, or by the rounding of a
// "%e" answer, counts as that step, so an answer written back sets what it
// answered.
double WholeSteps(double steps);
// Hertz of one spectrum bin at the FFT sample rate and points in force, 0
// while the rate is unknown.
double HzPerBin();

// Logic thresholds, filter cut-offs and the mark threshold level.
void Threshold1(scpi_para*, char* p);
void Threshold2(scpi_para*, char* p);
void Threshold1Ask(scpi_para*, char*);
void Threshold2Ask(scpi_para*, char*);
void FilterHigh(scpi_para*, char* p);
void FilterLow(scpi_para*, char* p);
void FilterHighAsk(scpi_para*, char*);
void FilterLowAsk(scpi_para*, char*);
void MarkLevel(scpi_para*, char* p);
void MarkLevelAsk(scpi_para*, char*);

// The span, the waterfall slice and the marks.
void SpanStart(scpi_para*, char* p);
void SpanEnd(scpi_para*, char* p);
void SpanCentre(scpi_para*, char* p);
void SpanWidth(scpi_para*, char* p);
void SpanStartAsk(scpi_para*, char*);
void SpanEndAsk(scpi_para*, char*);
void SpanCentreAsk(scpi_para*, char*);
void SpanWidthAsk(scpi_para*, char*);
void Slice(scpi_para*, char* p);
void SliceAsk(scpi_para*, char*);
void AverageCount(scpi_para*, char* p);
void AverageCountAsk(scpi_para*, char*);
void MarkSource(scpi_para*, char* p);
void MarkSourceAsk(scpi_para*, char*);
void MarkPoints(scpi_para*, char* p);
void MarkPointsAsk(scpi_para*, char*);
void MarkEvent(scpi_para*, char* p);
void MarkEventAsk(scpi_para*, char*);
void MarkPeak(scpi_para*, char*);
void ResetTraces(scpi_para*, char*);
void MarkData(scpi_para*, char*);
}  // namespace math_scpi
