// The shown frequency range: its items, knob, keypad and the scale texts.
#include "analysis/fft/fft_span.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "acquisition/tables/voltage_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "analysis/fft/fft_kit.h"
#include "analysis/fft/fft_view.h"
#include "analysis/math/math_calc.h"
#include "analysis/math/task_math.h"
#include "core/common/common_subprogram.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"

using namespace fft_kit;

namespace {
constexpr int kItemStart = 66, kItemEnd = 67, kItemTracking = 68, kItemFreqSel2 = 70, kItemCentre = 71,
              kItemSpan = 72;
constexpr int kFastStep = 10, kFastFactor = 5;
constexpr int kMsgLimit = 7;
constexpr int kDivColumns = 50, kHalfColumns = 350;
constexpr int kScaleLines = 7, kCodesPerDiv = 25, kTopCode = 227;
constexpr int kVoltIndexFromV = 12;
constexpr int kKindStart = 0, kKindEnd = 1, kKindCentre = 2, kKindSpan = 3;
constexpr int kTextItems[] = {kItemStart, kItemEnd, kItemCentre, kItemSpan};

double BinWidth() {
  const double half = Fft().points / 2.0;
  return half > 0 ? FftRate() / 2 / half : 0;
}
int VdivIndex(int i) { return i >= 0 && i < kVoltageEntries ? i : y_system::kDefaultIndex; }

// Value and prefix letter of an engineering number (m, u, k, M, G or none).
double Prefixed(double v, const char** prefix) {
  static const struct {
    double scale;
    const char* letter;
  } kPrefixes[] = {{1e9, "G"}, {1e6, "M"}, {1e3, "k"}, {1, ""}, {1e-3, "m"}, {1e-6, "u"}};
  const double a = std::fabs(v);
  for (const auto& p : kPrefixes)
    if (a >= p.scale) {
      *prefix = p.letter;
      return v / p.scale;
    }
  *prefix = a > 0 ? "u" : "";
  return a > 0 ? v / 1e-6 : v;
}

// The vertical scale label of the math channel: volts per division, or dB
// per division in dBVrms.
void VerticalLabel(char* out, int size) {
  const int m = VdivIndex(Vertical.GetRealYsensitivity(kMathSlot));
  if (Item(kMathItemFftVertical) == 1)
    std::snprintf(out, size_t(size), "%sdB", VoltageNotUnit[m]);
  else
    std::snprintf(out, size_t(size), "%s", VoltageStr[m]);
}

numkeyboard g_pad;
int g_padKind = -1;

int KindOfItem(int item) {
  switch (item) {
    case kItemStart: return kKindStart;
    case kItemEnd: return kKindEnd;
    case kItemCentre: return kKindCentre;
    default: return kKindSpan;
  }
}

// The F key of a frequency item focuses it; a second press on the focused
// item opens its keypad, and one more closes it.
bool FocusOrKeypad(keypara k, int item) {
  if (k.key != Menu::MenuItemToFx(item)) return false;
  constexpr uint32_t kFocus = MENU_ATTR_FOCUS | MENU_ATTR_FOCUS_FIRST;
  const bool focused = (uint32_t(M().GetItemAttribute(item)) & kFocus) == kFocus;
  if (focused) {
    AdjFFTFreqNumKb(k, short(KindOfItem(item)));
    return true;
  }
  const int first = item / kMenuSlots * kMenuSlots;
  for (int i = first; i < first + kMenuSlots; ++i) {
    const uint32_t a = uint32_t(M().GetItemAttribute(i)) & ~kFocus;
    M().SetItemAttribute(i, i == item ? a | kFocus : a);
  }
  return true;
}
}  // namespace

int FftLastBin() { return std::max<int>(kFftMinSpan, int(Fft().points / 2) - 1); }

long FftBinOfHz(double hz) {
  const double width = BinWidth();
  if (!(hz > 0) || !(width > 0)) return 0;
  if (hz > FftRate() / 2) return FftLastBin();
  return long(std::floor(hz / width + 0.5));
}

bool FftSetSpan(long start, long end) {
  const long last = FftLastBin();
  const long s = std::clamp(start, 0L, last - kFftMinSpan);
  const long e = std::clamp(end, s + kFftMinSpan, last);
  Fft().startBin = uint32_t(s);
  Fft().endBin = uint32_t(e);
  M().SetMenuItem(kItemStart, uint64_t(s));
  M().SetMenuItem(kItemEnd, uint64_t(e));
  M().SetMenuItem(kItemCentre, uint64_t(s + (e - s) / 2));
  M().SetMenuItem(kItemSpan, uint64_t(e - s));
  FftSpanTexts();
  ClearFFTWaterFall();
  TaskMath.RestartFFTAverage();
  return s == start && e == end;
}

void FftHzText(double hz, char* out, int size, const char* unit) {
  const char* prefix = "";
  const double v = Prefixed(hz, &prefix);
  std::snprintf(out, size_t(size), "%.2lf%s%s", v, prefix, unit);
}

void FftSpanTexts() {
  FftSettings& f = Fft();
  WaveOp.UpdateFFTWaveDataSample();
  const double rate = FftRate();
  const int half = int(f.points / 2);
  const int columns = f.columns ? f.columns : kFftColumns;
  const long span = long(f.endBin) - long(f.startBin);
  f.binWidthHz = BinWidth();
  f.hzPerColumn = f.binWidthHz * double(span) / columns;
  char vertical[16], perDiv[24], rateText[24], spanDiv[24];
  VerticalLabel(vertical, sizeof vertical);
  FftHzText(rate / 2 / kHalfColumns * kDivColumns, perDiv, sizeof perDiv, "");
  std::snprintf(f.label1, sizeof f.label1, "%sHz/div  %s %d Points", perDiv, vertical, half);
  FftHzText(rate, rateText, sizeof rateText, "");
  FftHzText(f.hzPerColumn * kDivColumns, spanDiv, sizeof spanDiv, "");
  std::snprintf(f.label2, sizeof f.label2, "%s  %sSa/s  %sHz/div", vertical, rateText, spanDiv);
  FftHzText(f.startBin * f.binWidthHz, f.startText, sizeof f.startText);
  FftHzText((f.startBin + span / 2.0) * f.binWidthHz, f.centreText, sizeof f.centreText);
  FftHzText(f.endBin * f.binWidthHz, f.endText, sizeof f.endText);
  const double itemHz[4] = {f.startBin * f.binWidthHz, f.endBin * f.binWidthHz,
                            (f.startBin + span / 2.0) * f.binWidthHz, span * f.binWidthHz};
  for (int i = 0; i < 4; ++i) {
    char text[20];
    FftHzText(itemHz[i], text, sizeof text);
    Menu::MenuAsciiToUnicode(text, f.itemText[i], int(sizeof f.itemText[i] / sizeof f.itemText[i][0]));
    M().ReSetMenuString(nullptr, kTextItems[i], f.itemText[i]);  // the item shows its frequency
  }
  f.overviewMark[0] = int16_t(half ? long(f.startBin) * kHalfColumns / half : 0);
  f.overviewMark[1] = int16_t(half ? long(f.endBin) * kHalfColumns / half : 0);
}

int AdjFFTFreq(keypara k, int item) {
  if (!IsKnob(k.key)) return 0;
  int step = KnobStep(k);
  if (step > kFastStep || step < -kFastStep) step *= kFastFactor;
  const long last = FftLastBin();
  long s = Fft().startBin, e = Fft().endBin;
  bool limited = false;
  const bool both =
      item == kItemCentre || ((item == kItemStart || item == kItemEnd) && Item(kItemTracking));
  if (both) {
    // Both ends move together; the move stops at either end of the spectrum.
    long d = std::clamp<long>(step, -s, last - e);
    limited = d != step;
    s += d, e += d;
  } else if (item == kItemSpan) {
    s -= step, e += step;
  } else if (item == kItemStart) {
    s += step;
    if (s > e - kFftMinSpan) s = e - kFftMinSpan, limited = true;
  } else {
    e += step;
    if (e < s + kFftMinSpan) e = s + kFftMinSpan, limited = true;
  }
  if (s < 0) s = 0, limited = true;
  if (e > last) e = last, limited = true;
  if (e - s < kFftMinSpan) {
    // A narrowing span stops at 10 bins around its centre.
    const long c = (s + e) / 2;
    s = std::max(0L, c - kFftMinSpan / 2), e = s + kFftMinSpan, limited = true;
  }
  if (limited) Message(kMsgLimit);
  FftSetSpan(s, e);
  return 0;
}

bool FftFreqKeypadOpen() { return g_padKind >= 0; }
const numkeyboard* FftFreqKeypad() { return g_padKind >= 0 ? &g_pad : nullptr; }

void FftFreqKeypadClose() {
  g_padKind = -1;
  TaskMath.MathNumKeySel = 0;
  TaskMath.ClearDisplayBits(kMathShowNumKeypad);
}

int AdjFFTFreqNumKb(keypara k, short kind) {
  if (kind < kKindStart || kind > kKindSpan) return -1;
  if (g_padKind != kind) {
    CommonSubProg.NumKeyboardInit(&g_pad, kTaskMath, kTextItems[kind]);
    g_padKind = kind;
    TaskMath.MathNumKeySel = 1;
    TaskMath.SetDisplayBits(kMathShowNumKeypad);
    return 1;
  }
  if (k.key == Menu::MenuItemToFx(kTextItems[kind])) {
    FftFreqKeypadClose();
    return 0;
  }
  g_pad.key = k.key, g_pad.step = k.step, g_pad.useStep = k.useStep;
  const int result = CommonSubProg.NumKeyboardOp(&g_pad);
  if (result <= 0) return 1;
  const long last = FftLastBin();
  long bin;
  if (result == kNumMax)
    bin = last;
  else if (result == kNumMin)
    bin = 0;
  else if (result == kNumDefault)
    bin = kind == kKindStart ? 0 : kind == kKindEnd ? last : (last + 1) / 2;
  else
    bin = FftBinOfHz(g_pad.value);
  FftFreqKeypadClose();
  const long s = Fft().startBin, e = Fft().endBin;
  const long c = s + (e - s) / 2, span = e - s;
  switch (kind) {
    case kKindStart: FftSetSpan(bin, e); break;
    case kKindEnd: FftSetSpan(s, bin); break;
    case kKindCentre: FftSetSpan(bin - span / 2, bin - span / 2 + span); break;
    default: FftSetSpan(c - bin / 2, c - bin / 2 + bin); break;
  }
  return 0;
}

void FFTCalculationDivScale() {
  FftSettings& f = Fft();
  const int p5 = Vertical.GetRealYposition(kMathSlot);
  const int m = VdivIndex(Vertical.GetRealYsensitivity(kMathSlot));
  const bool db = Item(kMathItemFftVertical) == 1;
  // Text i is drawn beside the division line i + 1 below the top edge.
  for (int i = 0; i < kScaleLines; ++i) {
    const int line = kTopCode - p5 - (i + 1) * kCodesPerDiv;
    const char* prefix = "";
    const double v = Prefixed(line * VoltsPerDiv(m) / kCodesPerDiv, &prefix);
    std::snprintf(f.scaleText[i], sizeof f.scaleText[i], "%.2lf%s", v, prefix);
  }
  const char* unit = db ? "dB" : m < kVoltIndexFromV ? "mV" : "V";
  f.scaleUnit = uint16_t(db ? 0 : m < kVoltIndexFromV ? 1 : 2);
  std::snprintf(f.unitLabel, sizeof f.unitLabel, "%s", unit);
}

// --- the frequency items ---

int Math_FFT_FreqSel(keypara k) {
  const int v = M().AdjMenuItemPara(k, kMathItemFreqMode);
  M().SetMenuItem(kItemFreqSel2, uint64_t(v));
  if (k.key != KEY_NO_KEY) M().SetCurrPage(v ? kItemFreqSel2 : kMathItemFreqMode);
  return v;
}

int Math_FFT_FreqTracking(keypara k) { return M().AdjMenuItemPara(k, kItemTracking); }

namespace {
int FreqItem(keypara k, int item) {
  if (FocusOrKeypad(k, item)) return 0;
  if (g_padKind == KindOfItem(item)) return AdjFFTFreqNumKb(k, short(g_padKind));
  return AdjFFTFreq(k, item);
}
}  // namespace

int Math_FFT_StartFreq(keypara k) { return FreqItem(k, kItemStart); }
int Math_FFT_EndFreq(keypara k) { return FreqItem(k, kItemEnd); }
int Math_FFT_CenterFreq(keypara k) { return FreqItem(k, kItemCentre); }
int Math_FFT_FreqBw(keypara k) { return FreqItem(k, kItemSpan); }
