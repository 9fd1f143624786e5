// The math commands that take a number with its unit: the logic thresholds of
// CH1 and CH2, the filter cut-offs and the level of the threshold marks.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "analysis/math/math_calc.h"
#include "analysis/fft/math_fft_remote.h"
#include "analysis/math/task_math.h"
#include "analysis/math/task_math_scpi.h"
#include "core/state/ids.h"
#include "remote/scpi/scpi_kit.h"

namespace {
constexpr int kNumberMax = 20;    // characters of a number
constexpr size_t kUnitMax = 5;    // characters of its unit
constexpr int kUnitBytes = 8;
constexpr double kThresholdSteps = 100;            // either side of the source's position
constexpr double kThresholdStepDivs = 8.0 / 200;   // 200 steps over eight divisions
constexpr double kScreenPointsPerDiv = 50;
constexpr double kCutoffStep = 0.5 / 100;          // a hundredth of half the screen rate
constexpr float kMarkDbMax = 10;
constexpr double kMarkDivs = 4;                    // the Vrms level: four divisions either way
// WholeSteps takes a value a rounding error short of a whole step as that
// step, or one short by no more than a "%e" answer's rounding: half a unit
// of its seventh digit, relative.
constexpr double kWhole = 1e-6;
constexpr double kAnswerDigits = 5e-7;

int VdivIndex(int i) { return i >= 0 && i < kVoltageEntries ? i : y_system::kDefaultIndex; }
double Vdiv(int source) { return Voltage[VdivIndex(Vertical.GetRealYsensitivity(source))]; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The number extFloat takes at the start of `text`, in double precision: the
// characters it spans, or -1 for a text it refuses. The exponent is part of
// the number only with a digit after its "e" (and sign); "5e" is 5 with the
// unit "e".
int ReadNumber(const char* text, double* value) {
  if (!(text[0] == '-' || IsDigit(text[0]))) return -1;
  char number[kNumberMax + 2] = {};
  int n = 0, i = 0;
  bool dot = false, digit = false;
  if (text[0] == '-') number[n++] = text[i++];
  for (; IsDigit(text[i]) || text[i] == '.' || text[i] == '-'; ++i) {
    if (i >= kNumberMax - 1) return -1;
    if (text[i] == '-') continue;
    if (text[i] == '.') {
      if (dot) return -1;
      dot = true;
    } else {
      digit = true;
    }
    number[n++] = text[i];
  }
  if (!digit) return -1;
  const int sign = text[i] == 'e' || text[i] == 'E' ? i + 1 : -1;
  const int digits = sign < 0 ? -1 : text[sign] == '+' || text[sign] == '-' ? sign + 1 : sign;
  if (digits >= 0 && IsDigit(text[digits])) {
    for (; i < digits || IsDigit(text[i]); ++i) {
      if (i >= kNumberMax - 1) return -1;
      number[n++] = text[i];
    }
  }
  const double v = std::strtod(number, nullptr);
  if (!std::isfinite(v)) return -1;
  *value = v;
  return i;
}

// The scale of a unit text: one of the `letters` (with its `scales`) or
// none, then the base unit `base` (any letter case) or nothing, blanks after
// it; false for any other text.
bool UnitScale(const char* unit, const char* letters, const double* scales, const char* base, double* scale) {
  const char* at = unit[0] ? std::strchr(letters, unit[0]) : nullptr;
  *scale = at ? scales[at - letters] : 1.0;
  if (at) ++unit;
  const size_t n = std::strlen(base);
  if (strncasecmp(unit, base, n) == 0) unit += n;
  while (IsBlank(*unit)) ++unit;
  return *unit == 0;
}

// A number with its unit scaled by the unit's letter; false (nothing to
// change) for a text extFloat refuses or a unit other than the letters and
// the base unit.
bool ScaledNumber(const char* p, const char* letters, const double* scales, const char* base, double* value) {
  double v = 0, scale = 1;
  const int n = ReadNumber(p, &v);
  if (n < 0 || !UnitScale(p + n, letters, scales, base, &scale)) return false;
  *value = v * scale;
  return true;
}

const double kThresholdScales[] = {1e-6, 1e-3, 1e3};
constexpr const char* kThresholdLetters = "umK";
constexpr const char* kVolts = "V";
const double kFrequencyScales[] = {1e3, 1e6, 1e9};
constexpr const char* kFrequencyLetters = "KMG";
constexpr const char* kHertz = "Hz";

// --- logic thresholds ---

// Item 101 (CH1) or 102 (CH2) from volts: steps of the channel's volts per
// division x 8 / 200 either side of its position, at most 100 of them. With
// both logic sources on one channel the other threshold follows.
void Threshold(int ch, const char* p) {
  if (ScpiMissing(p)) return;
  double value = 0;
  if (ScpiRefuseIf(!ScaledNumber(p, kThresholdLetters, kThresholdScales, kVolts, &value))) return;
  const double step = Vdiv(ch) * kThresholdStepDivs;
  const double max = kThresholdSteps * step;
  value = std::clamp(value, -max, max);
  const int item = ch == 0 ? kMathItemThreshold1 : kMathItemThreshold2;
  const long steps = ScpiWhole(math_scpi::WholeSteps(value / step), -long(kThresholdSteps), long(kThresholdSteps));
  const uint64_t v = uint64_t(std::clamp(steps + kMathThresholdCentre, 0L, 2 * long(kThresholdSteps)));
  TaskMath.TaskMenu.SetMenuItem(item, v);
  if (math_scpi::Item(kMathItemLogicSrc1) == math_scpi::Item(kMathItemLogicSrc2))
    TaskMath.TaskMenu.SetMenuItem(item == kMathItemThreshold1 ? kMathItemThreshold2 : kMathItemThreshold1, v);
  math_scpi::RunItem(kMathItemThreshold1);
  math_scpi::RunItem(kMathItemThreshold2);
  math_scpi::Refresh();
}

void ThresholdAsk(int ch) {
  const int item = ch == 0 ? kMathItemThreshold1 : kMathItemThreshold2;
  char text[32];
  std::snprintf(text, sizeof text, "%e", (math_scpi::Item(item) - kMathThresholdCentre) * Vdiv(ch) * kThresholdStepDivs);
  ScpiAnswer(text);
}

// --- filter cut-offs ---

// Hertz of one step of the limits at the time base in force.
double CutoffStep() {
  const double perDiv = TimeBase.GetTimeBaseDivTime(TimeBase.GetRealTimeBase(0));
  return perDiv > 0 ? kScreenPointsPerDiv / perDiv * kCutoffStep : 0;
}

void Cutoff(int item, const char* p) {
  if (ScpiMissing(p)) return;
  double hz = 0;
  const double step = CutoffStep();
  if (ScpiRefuseIf(!ScaledNumber(p, kFrequencyLetters, kFrequencyScales, kHertz, &hz) || !(step > 0))) return;
  const long steps = ScpiWhole(math_scpi::WholeSteps(hz / step), 0, UINT16_MAX);
  TaskMath.TaskMenu.SetMenuItem(item, uint64_t(steps));
  math_scpi::RunItem(item);  // the limits' own range and the band's order
  math_scpi::Refresh();
}

void CutoffAsk(int item) {
  char text[32];
  std::snprintf(text, sizeof text, "%e", math_scpi::Item(item) * CutoffStep());
  ScpiAnswer(text);
}
}  // namespace

int extFloat(float* value, char* unit, size_t unitSize, const char* text) {
  if (!value || !text) return -1;
  double v = 0;
  const int i = ReadNumber(text, &v);
  if (i < 0 || !std::isfinite(float(v))) return -1;
  *value = float(v);
  if (unit && unitSize) {
    const size_t len = std::min({std::strlen(text + i), kUnitMax, unitSize - 1});
    std::memcpy(unit, text + i, len);
    unit[len] = 0;
  }
  return 0;
}

namespace math_scpi {
bool ParseHz(const char* p, double* hz) { return p && ScaledNumber(p, kFrequencyLetters, kFrequencyScales, kHertz, hz); }

double WholeSteps(double steps) {
  const double slack = kWhole + std::fabs(steps) * kAnswerDigits;
  return std::trunc(steps + (steps < 0 ? -slack : slack));
}

void Threshold1(scpi_para*, char* p) { Threshold(0, p); }
void Threshold2(scpi_para*, char* p) { Threshold(1, p); }
void Threshold1Ask(scpi_para*, char*) { ThresholdAsk(0); }
void Threshold2Ask(scpi_para*, char*) { ThresholdAsk(1); }
void FilterHigh(scpi_para*, char* p) { Cutoff(kMathItemUpperLimit, p); }
void FilterLow(scpi_para*, char* p) { Cutoff(kMathItemLowerLimit, p); }
void FilterHighAsk(scpi_para*, char*) { CutoffAsk(kMathItemUpperLimit); }
void FilterLowAsk(scpi_para*, char*) { CutoffAsk(kMathItemLowerLimit); }

// The threshold marks' level: "dB" within +-10 in dBVrms, "V" within four
// of the math channel's divisions in Vrms, a bare number (the query's
// answer) in the scale in force; another unit is refused.
void MarkLevel(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  float v = 0;
  char unit[kUnitBytes] = {};
  const bool db = Item(kMathItemFftVertical) == 1;
  if (ScpiRefuseIf(extFloat(&v, unit, sizeof unit, p) < 0 || (unit[0] && std::strcmp(unit, db ? "dB" : "V") != 0)))
    return;
  const float max = db ? kMarkDbMax : float(Vdiv(kMathSlot) * kMarkDivs);
  v = std::clamp(v, -max, max);
  TaskMath.TaskMenu.SetMenuItem(kMathItemMarkLevel, ItemParaFromF32(v));
  MathFftSetMarkThreshold(v);
  Refresh();
}

void MarkLevelAsk(scpi_para*, char*) {
  char text[32];
  std::snprintf(text, sizeof text, "%e", double(MathFftMarkThreshold()));
  ScpiAnswer(text);
}
}  // namespace math_scpi
