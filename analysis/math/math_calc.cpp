// The math calculations: arithmetic, logic, filter and expression traces of
// the math channel and their units and labels.
#include "analysis/math/math_calc.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "acquisition/tables/voltage_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "analysis/math/math_expr.h"
#include "analysis/math/task_math.h"
#include "core/state/sys_run_info.h"

_math math;

const char chVerticalUnit[4][3] = {"V", "A", "W", "U"};

// Hann window 0.5 - 0.5 cos(2 pi n / 80), five significant digits.
const float FilterWin[kFilterTaps] = {
    0.0f,     0.00154f, 0.00616f, 0.01381f, 0.02447f, 0.03806f, 0.05450f, 0.07368f, 0.09549f, 0.11980f,
    0.14645f, 0.17528f, 0.20611f, 0.23875f, 0.27300f, 0.30866f, 0.34549f, 0.38328f, 0.42178f, 0.46077f,
    0.50000f, 0.53923f, 0.57822f, 0.61672f, 0.65451f, 0.69134f, 0.72700f, 0.76125f, 0.79389f, 0.82472f,
    0.85355f, 0.88020f, 0.90451f, 0.92632f, 0.94550f, 0.96194f, 0.97553f, 0.98619f, 0.99384f, 0.99846f,
    0.99997f, 0.99846f, 0.99384f, 0.98619f, 0.97553f, 0.96194f, 0.94550f, 0.92632f, 0.90451f, 0.88020f,
    0.85355f, 0.82472f, 0.79389f, 0.76125f, 0.72700f, 0.69134f, 0.65451f, 0.61672f, 0.57822f, 0.53923f,
    0.50000f, 0.46077f, 0.42178f, 0.38328f, 0.34549f, 0.30866f, 0.27300f, 0.23875f, 0.20611f, 0.17528f,
    0.14645f, 0.11980f, 0.09549f, 0.07368f, 0.05450f, 0.03806f, 0.02447f, 0.01381f, 0.00616f, 0.00154f,
    0.0f,
};

namespace {
constexpr int kCodesPerDiv = 25;
constexpr int kLogicHigh = 25;            // a true logic value, codes above pos5
constexpr int kUnitU = 3;
constexpr int kFilterLead = 40;           // samples repeated before the first
constexpr int kFilterIn = 880;            // 40 lead-in, 700 samples, 140 run-out
constexpr int kFilterOut = 840;
constexpr double kFilterInputScale = 256.0;
constexpr int kFilterCodeMax = 255;
constexpr double kPi = 3.14159265358;
constexpr int kLabelMax = 40, kLabelCut = 32;  // longer expression labels are cut
constexpr char kLabelEllipsis[] = "......";
constexpr char kLogicLabel[] = "Logic";

enum { kOpAdd, kOpSub, kOpMul, kOpDiv };
enum { kLogicAnd, kLogicOr, kLogicNot, kLogicXor };
enum { kLowPass, kHighPass, kBandPass, kBandStop };

int Item(int n) { return int(uint16_t(TaskMath.TaskMenu.GetMenuItem(n))); }
int Source(int n) { return Item(n) == 1 ? 1 : 0; }
bool ChannelOn(int ch) { return SysRunStatus.GetChStatus() >> ch & 1; }
int VdivIndex(int src) {
  const int i = Vertical.GetRealYsensitivity(src);
  return i >= 0 && i < kVoltageEntries ? i : y_system::kDefaultIndex;
}
int Pos5() { return Vertical.GetRealYposition(kMathSlot); }
}  // namespace

MathSourceScale MathScaleOf(int src, bool selectedPosition) {
  MathSourceScale s;
  s.position = selectedPosition ? Vertical.GetYposition(src) : Vertical.GetRealYposition(src);
  s.k = double(Vertical.GetYRealProbeScale(src)) * Voltage[VdivIndex(src)] / kCodesPerDiv;
  return s;
}

double MathK5() { return double(Voltage[VdivIndex(kMathSlot)]) / kCodesPerDiv; }

uint8_t MathValueCode(double value, double k5, int pos5) {
  if (!std::isfinite(value) || !(k5 > 0)) return kMathCodeLow;
  // Clamped in floating point first, so no conversion overflows.
  const double r = std::trunc(value / k5 + 0.5) + pos5;
  if (!(r > kMathCodeLow - 1)) return kMathCodeLow;
  if (r > kMathCodeHigh) return kMathCodeHigh;
  return uint8_t(r);
}

void MathSortColumns(uint8_t* t) {
  for (int p = 0; p < kMathColumns; ++p)
    if (t[p] < t[kMathColumns + p]) std::swap(t[p], t[kMathColumns + p]);
}

void MathArithmetic(const uint8_t* a, const uint8_t* b, uint8_t* out, int op, const MathSourceScale& s1,
                    const MathSourceScale& s2, double k5, int pos5) {
  for (int i = 0; i < kMathTraceBytes; ++i) {
    if (a[i] == 0 || b[i] == 0) {
      out[i] = 0;
      continue;
    }
    const double x = (a[i] - s1.position) * s1.k, y = (b[i] - s2.position) * s2.k;
    double v = 0;
    switch (op) {
      case kOpAdd: v = x + y; break;
      case kOpSub: v = x - y; break;
      case kOpMul: v = x * y; break;
      default:
        if (x == y) v = 1.0;
        else v = x / (y != 0 ? y : x > 0 ? s2.k : -s2.k);
        break;
    }
    out[i] = MathValueCode(v, k5, pos5);
  }
  MathSortColumns(out);
}

void MathLogic(const uint8_t* a, const uint8_t* b, uint8_t* out, int op, bool invert, int t1, int t2, int pos5) {
  const int high = pos5 + kLogicHigh, low = pos5;
  auto code = [](int v) { return uint8_t(std::clamp(v, 0, 255)); };
  auto inRange = [](int v) { return v >= 1 && v <= 254; };
  std::memset(out, 0, kMathTraceBytes);
  for (int p = 0; p < kMathColumns; ++p) {
    bool r;
    if (op == kLogicNot) {
      if (!inRange(a[p])) continue;
      r = !(a[p] > t1);
    } else {
      if (!inRange(a[p]) || !inRange(b[p])) continue;
      const bool x = a[p] > t1, y = b[p] > t2;
      r = op == kLogicAnd ? (x && y) : op == kLogicOr ? (x || y) : (x != y);
    }
    if (invert) r = !r;
    out[p] = code(r ? high : low);
  }
  // Each column spans to the next one's level, so edges are drawn.
  for (int p = 0; p + 2 < kMathColumns; ++p) {
    if (!inRange(out[p])) continue;
    uint8_t hi = out[p], lo = out[p + 1];
    if (lo > hi) std::swap(hi, lo);
    if (std::min(hi, lo) == 0) lo = hi;
    out[p] = hi;
    out[kMathColumns + p] = lo;
  }
  for (int p = kMathColumns - 2; p < kMathColumns; ++p) out[p] = out[kMathColumns + p] = out[kMathColumns - 3];
}

double _math::_Sinc(double x) {
  if (x == 0) return 1.0;
  return std::sin(kPi * x) / (kPi * x);
}

bool MathFilterCoeff(int type, double wl, double wu, float* c) {
  if (type < kLowPass || type > kBandStop) return false;
  double sum = 0;
  for (int k = 0; k < kFilterTaps; ++k) {
    const int n = k - (kFilterTaps - 1) / 2;
    const double w = FilterWin[k];
    double v = 0;
    switch (type) {
      case kLowPass: v = w * wu * _math::_Sinc(n * wu); break;
      case kHighPass: v = n == 0 ? w * (1 - wl) : -w * wl * _math::_Sinc(n * wl); break;
      case kBandPass: v = w * (wu * _math::_Sinc(n * wu) - wl * _math::_Sinc(n * wl)); break;
      default: v = w * (wl * _math::_Sinc(n * wl) + _math::_Sinc(n) - wu * _math::_Sinc(n * wu)); break;
    }
    c[k] = float(v);
    sum += c[k];
  }
  if (type == kLowPass && sum != 0)
    for (int k = 0; k < kFilterTaps; ++k) c[k] = float(c[k] / sum);
  return true;
}

int _math::FIRC(float* out, const float* in, int n, const float* coeff, int taps) {
  if (!out || !in || !coeff || n < 0 || taps < 0) return 0;
  for (int i = 0; i < n; ++i) {
    double s = 0;
    for (int k = 0; k < taps && i + k < n; ++k) s += double(in[i + k]) * coeff[k];
    out[i] = float(s);
  }
  return 1;
}

double _math::OneFIRC(const float* in, int n, int at, const float* coeff, int taps, bool backward) {
  if (!in || !coeff || n <= 0 || taps <= 0 || at < 0 || at >= n) return 0.0;
  double s = 0;
  for (int k = 0; k < taps; ++k) {
    const int i = backward ? at - k : at + k;
    if (i < 0 || i >= n) break;
    s += double(in[i]) * coeff[k];
  }
  return s;
}

void MathFilterTrace(const uint8_t* src, int pos, const float* coeff, double ratio, int pos5, uint8_t* out) {
  std::unique_ptr<float[]> in(new float[kFilterIn]), res(new float[kFilterOut]);
  for (int m = 0; m < kMathColumns; ++m) in[kFilterLead + m] = float((src[m] - pos) / kFilterInputScale);
  std::fill(in.get(), in.get() + kFilterLead, in[kFilterLead]);
  std::fill(in.get() + kFilterLead + kMathColumns, in.get() + kFilterIn, in[kFilterLead + kMathColumns - 1]);
  _math::FIRC(res.get(), in.get(), kFilterOut, coeff, kFilterTaps);
  uint8_t v[kMathColumns];
  for (int m = 0; m < kMathColumns; ++m) {
    const double x = pos5 + ratio * res[m] * kFilterInputScale;
    v[m] = !(x >= 0) ? 0 : x >= kFilterCodeMax ? uint8_t(kFilterCodeMax) : uint8_t(x);
  }
  for (int p = 0; p < kMathColumns; ++p) {
    uint8_t hi = v[p], lo = p ? v[p - 1] : v[p];
    if (v[p] == kFilterCodeMax) lo = hi;
    if (!hi) hi = lo;
    if (!lo) lo = hi;
    if (lo > hi) std::swap(hi, lo);
    out[p] = hi;
    out[kMathColumns + p] = lo;
  }
}

// --- the passes ---

void _math::Fetch(int src, bool selectedPosition) {
  uint8_t* s = slot_[src];
  if (ChannelOn(src) && WaveOp.ScreenWaveExport(src, s) == kMathTraceBytes) return;
  const int pos = selectedPosition ? Vertical.GetYposition(src) : Vertical.GetRealYposition(src);
  std::memset(s, std::clamp(pos, 0, 255), kMathTraceBytes);
}

void _math::FillMath() { std::memset(slot_[kMathSlot], std::clamp(Pos5(), 0, 255), kMathTraceBytes); }

int _math::Hand() { return WaveOp.ScreenMathWaveInport(kMathSlot, slot_[kMathSlot]); }

int _math::ClearMathWave() {
  std::memset(slot_[kMathSlot], 0, kMathTraceBytes);
  return Hand();
}

int _math::math() {
  const int s1 = Source(kMathItemSource1), s2 = Source(kMathItemSource2);
  const int op = Item(kMathItemOperator);
  Fetch(s1, false);
  if (s2 != s1) Fetch(s2, false);
  FillMath();
  MathArithmetic(slot_[s1], slot_[s2], slot_[kMathSlot], op, MathScaleOf(s1), MathScaleOf(s2), MathK5(), Pos5());
  return Hand();
}

int _math::Logic() {
  const int op = Item(kMathItemLogicOp);
  const int s1 = Source(kMathItemLogicSrc1), s2 = Source(kMathItemLogicSrc2);
  if (!ChannelOn(s1) || (op != kLogicNot && !ChannelOn(s2))) return ClearMathWave();
  const int t1 = Vertical.GetRealYposition(s1) + Item(kMathItemThreshold1) - kMathThresholdCentre;
  const int t2 = Vertical.GetRealYposition(s2) + Item(kMathItemThreshold2) - kMathThresholdCentre;
  for (int n : {1, 2, kMathSlot}) std::memset(slot_[n], 0, kMathTraceBytes);
  // Slots 1 and 2 hold the two sources here.
  WaveOp.ScreenWaveExport(s1, slot_[1]);
  WaveOp.ScreenWaveExport(s2, slot_[2]);
  MathLogic(slot_[1], slot_[2], slot_[kMathSlot], op, Item(kMathItemLogicInvert) != 0, t1, t2, Pos5());
  return Hand();
}

int _math::Filter() {
  const int s = Source(kMathItemFilterSrc);
  const double wl = Item(kMathItemLowerLimit) / 100.0, wu = Item(kMathItemUpperLimit) / 100.0;
  Fetch(s, true);
  FillMath();
  MathFilterCoeff(Item(kMathItemFilterType), wl, wu, coeff_);  // another type keeps the last ones
  const MathSourceScale sc = MathScaleOf(s, true);
  const double ratio = sc.k / MathK5();
  MathFilterTrace(slot_[s], sc.position, coeff_, ratio, Pos5(), slot_[kMathSlot]);
  return Hand();
}

int _math::Advance() {
  AdvanceData d;
  TaskMath.GetAdvData(&d);
  if (d.valid != 1) return 0;
  Fetch(0, false);
  Fetch(1, false);
  FillMath();
  std::unique_ptr<num> a1(new num), a2(new num), r(new num);
  const MathSourceScale c1 = MathScaleOf(0), c2 = MathScaleOf(1);
  a1->head = float(c1.k);
  a2->head = float(c2.k);
  for (int i = 0; i < kMathTraceBytes; ++i) {
    a1->data[i] = float((slot_[0][i] - c1.position) * c1.k);
    a2->data[i] = float((slot_[1][i] - c2.position) * c2.k);
  }
  if (AdvanceDeal(r.get(), a1.get(), a2.get(), d.postfix) < 0) return ClearMathWave();
  const double k5 = d.logic ? 1.0 / kCodesPerDiv : MathK5();
  for (int i = 0; i < kMathTraceBytes; ++i) slot_[kMathSlot][i] = MathValueCode(r->data[i], k5, Pos5());
  MathSortColumns(slot_[kMathSlot]);
  return Hand();
}

// --- units and labels ---

int _math::SetLabel(int unit, const char* label) {
  Vertical.SetChUnit(kMathSlot, unit);
  SysRunStatus.SetMathVoltage(label);
  return unit;
}

namespace {
// "<V/div without unit><unit letter>" of the math channel.
void ScaleLabel(int unit, char* out, size_t size) {
  std::snprintf(out, size, "%s%s", VoltageNotUnit[VdivIndex(kMathSlot)], chVerticalUnit[unit & 3]);
}
}  // namespace

int _math::MathUnit() {
  const int u1 = Vertical.GetChUnit(Source(kMathItemSource1)), u2 = Vertical.GetChUnit(Source(kMathItemSource2));
  int unit;
  switch (Item(kMathItemOperator)) {
    case kOpAdd:
    case kOpSub: unit = u1 == u2 ? u1 : kUnitU; break;
    case kOpMul: unit = OperatorU(short(u1), short(u2), kTokMul); break;
    case kOpDiv: unit = kUnitU; break;
    default: unit = 0; break;
  }
  if (unit < 0 || unit > kUnitU) unit = kUnitU;
  char label[kMathLabelBytes];
  ScaleLabel(unit, label, sizeof label);
  return SetLabel(unit, label);
}

int _math::FilterUnit() {
  int unit = Vertical.GetChUnit(Source(kMathItemFilterSrc));
  if (unit < 0 || unit > kUnitU) unit = kUnitU;
  char label[kMathLabelBytes];
  ScaleLabel(unit, label, sizeof label);
  return SetLabel(unit, label);
}

int _math::LogicUnit() { return SetLabel(kUnitU, kLogicLabel); }

int _math::FFTUnit() {
  char label[sizeof SysRunInfo.fft.unitLabel + 1] = {};
  std::memcpy(label, SysRunStatus.GetFFTParaAddr()->unitLabel, sizeof SysRunInfo.fft.unitLabel);
  return SetLabel(kUnitU, label);
}

int _math::AdvanceUnit() {
  AdvanceData d;
  TaskMath.GetAdvData(&d);
  if (d.valid != 1) return -1;
  const short u1 = short(Vertical.GetChUnit(0)), u2 = short(Vertical.GetChUnit(1));
  short unit = kUnitU;
  if (AdvanceDealU(&unit, &u1, &u2, d.postfix) < 0 || unit < 0 || unit > kUnitU) unit = kUnitU;
  d.applied[kAdvanceText - 1] = 0;
  // Built whole, then cut, so the stored label always fits.
  char label[kMathLabelBytes * 2];
  if (d.logic) std::snprintf(label, sizeof label, "%s %s", kLogicLabel, d.applied);
  else std::snprintf(label, sizeof label, "%s%s %s", VoltageNotUnit[VdivIndex(kMathSlot)], chVerticalUnit[unit], d.applied);
  if (std::strlen(label) > size_t(kLabelMax)) std::snprintf(label + kLabelCut, sizeof label - kLabelCut, "%s", kLabelEllipsis);
  return SetLabel(unit, label);
}
