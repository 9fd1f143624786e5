// The spectrum's marks: the peak search of each frame and the mark pages.
#include "analysis/fft/fft_marks.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/y_system.h"
#include "analysis/fft/fft_kit.h"
#include "analysis/fft/fft_process.h"
#include "analysis/math/math_calc.h"
#include "analysis/fft/math_fft_menu.h"
#include "analysis/math/task_math.h"
#include "core/menu/menu.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"

using namespace fft_kit;

namespace {
constexpr int kAutoApart = 10;  // automatic marks lie more than this apart
constexpr int kPeakMerge = 3;   // threshold and manual peaks merge within this
constexpr int kThresholdSteps = 1000;
constexpr double kDbStep = 0.01;
constexpr int kVoltStepDiv = 10;  // a volt step: a tenth of a code
constexpr int kPresetMarks = 5;
constexpr int kMsgManualOff = 65, kMsgManualOn = 66;
constexpr int kMsgAverageOff = 68, kMsgMaxHoldOff = 69, kMsgMinHoldOff = 70;
enum {
  kItemMarkType = 30,
  kItemAutoSrc = 36,
  kItemAutoPoints = 37,
  kItemAutoList = 38,
  kItemThrSrc = 41,
  kItemThreshold = 42,
  kItemThrList = 43,
  kItemManualSrc = 46,
  kItemEnable = 85,
  kItemEnhSrc = 86,
  kItemManuSelect = 90,
  kItemAverageOn = 21,
  kItemMaxHoldOn = 23,
  kItemMinHoldOn = 25
};
constexpr int kMarkTypeItems[] = {30, 35, 40, 45, -1};
constexpr int kSourceItems[] = {kItemAutoSrc, kItemThrSrc, kItemManualSrc};

struct Marks {
  int enable = 0, func = kMarkAuto, source = kMarkSrcMain, wanted = kPresetMarks, found = 0;
  float threshold = 0;
  int listOn = 0, listStart = 0;
  int manualOn = 0, manualPos = 0, manualPeak = 0, cursor = 1;
  int peakRequest = 0;  // 1 to the peak, 2 to the next peak, 3 to the minimum
  const float* trace = nullptr;  // the source trace of the last frame (module-owned)
  int traceColumns = 0;
  int p5 = 127;
  double codesPerUnit = 25.0;
  int columns[kFftMarksMax] = {};
  float codes[kFftMarksMax] = {};
  // The sorted peaks of the manual mark.
  int sortedCount = 0;
  int sortedColumns[kFftMarksMax] = {};
  float sortedCodes[kFftMarksMax] = {};
};
Marks g;
// The marks found, read by the SCPI worker while the main loop finds them.
std::mutex g_found;

int Wrap(int v, int lo, int hi) {
  const int n = hi - lo + 1;
  return lo + ((v - lo) % n + n) % n;
}

// The `count` largest values, each more than `apart` columns from those
// already taken; their columns and values, largest first.
int LargestPeaks(const float* v, int columns, int count, int apart, int* outCol, float* outVal) {
  int taken = 0;
  while (taken < count) {
    int best = -1;
    for (int j = 0; j < columns; ++j) {
      if (best >= 0 && !(v[j] > v[best])) continue;
      bool near = false;
      for (int t = 0; t < taken && !near; ++t) near = std::abs(outCol[t] - j) <= apart;
      if (!near) best = j;
    }
    if (best < 0) break;
    outCol[taken] = best, outVal[taken] = v[best];
    ++taken;
  }
  return taken;
}

// Peaks above `level`: a column above it starts a peak unless one lies within
// 3 columns, which it replaces when larger.
int ThresholdPeaks(const float* v, int columns, float level, int* outCol, float* outVal) {
  int n = 0;
  for (int c = 0; c < columns; ++c) {
    if (!(v[c] > level)) continue;
    int near = -1;
    for (int t = 0; t < n && near < 0; ++t)
      if (std::abs(outCol[t] - c) <= kPeakMerge) near = t;
    if (near >= 0) {
      if (v[c] > outVal[near]) outCol[near] = c, outVal[near] = v[c];
    } else if (n < kFftMarksMax) {
      outCol[n] = c, outVal[n] = v[c];
      ++n;
    }
  }
  return n;
}

// Whether the trace of a mark source is on.
bool SourceOn(int src) {
  switch (src) {
    case kMarkSrcAverage: return Item(kItemAverageOn) != 0;
    case kMarkSrcMaxHold: return Item(kItemMaxHoldOn) != 0;
    case kMarkSrcMinHold: return Item(kItemMinHoldOn) != 0;
    default: return true;
  }
}

// The mark cursor on the enhanced page moves to the largest, the next
// smaller or the smallest value.
void ServeCursorRequest(const float* v, int columns) {
  if (!g.peakRequest || columns < 2) return;
  if (g.peakRequest == 1) {
    g.cursor = int(std::max_element(v + 1, v + columns) - v);
  } else if (g.peakRequest == 3) {
    g.cursor = int(std::min_element(v + 1, v + columns) - v);
  } else {
    int next = -1;
    const float here = v[std::clamp(g.cursor, 0, columns - 1)];
    for (int c = 1; c < columns; ++c)
      if (v[c] < here && (next < 0 || v[c] > v[next])) next = c;
    if (next >= 0) g.cursor = next;
  }
  g.peakRequest = 0;
}
}  // namespace

void FFTMarkProcess(const float* trace, int columns, int p5, double codesPerUnit) {
  std::lock_guard<std::mutex> lock(g_found);
  g.p5 = p5;
  g.codesPerUnit = codesPerUnit > 0 ? codesPerUnit : 1.0;
  columns = std::clamp(columns, 1, kFftColumns);
  g.trace = trace, g.traceColumns = columns;
  ServeCursorRequest(trace, columns);
  g.sortedCount = LargestPeaks(trace, columns, kFftMarksMax, kPeakMerge, g.sortedColumns, g.sortedCodes);
  if (g.func == kMarkAuto) {
    g.found = LargestPeaks(trace, columns, g.wanted, kAutoApart, g.columns, g.codes);
  } else if (g.func == kMarkThreshold) {
    const float level = float(p5 + g.threshold * g.codesPerUnit);
    g.found = ThresholdPeaks(trace, columns, level, g.columns, g.codes);
  } else {
    g.found = 1;
    g.columns[0] = FftManualMarkColumn();
    g.codes[0] = trace[std::clamp(g.columns[0], 0, columns - 1)];
  }
  SetMarkListStartNo(g.listStart);
}

void SetMarkFunc(int f) { g.func = std::clamp(f, 0, 2); }
int GetMarkFunc() { return g.func; }
void SetMarkTypeSel(int on) { g.enable = on ? 1 : 0; }
int GetMarkTypeSel() { return g.enable; }
int SetMarkSrc(int src) { return src >= 0 && src <= 3 ? g.source = src : -1; }
int GetMarkSrc() { return g.source; }
int SetMarkPoints(int n) { return n >= 1 && n <= kFftMarksMax ? g.wanted = n : -1; }
int GetMarkPoints() { return g.func == kMarkAuto ? g.wanted : g.found; }
// The level and the threshold item that shows it (its value holds the float).
void SetMarkThreShold(float level) {
  g.threshold = std::isfinite(level) ? level : 0.0f;
  M().SetMenuItem(kMathItemMarkLevel, ItemParaFromF32(g.threshold));
}
void ShowMarkThreShold(bool db) {
  const uint32_t a = uint32_t(M().GetItemAttribute(kMathItemMarkLevel)) & ~uint32_t(MENU_FMT_VOLT | MENU_FMT_DB);
  M().SetItemAttribute(kMathItemMarkLevel, a | (db ? MENU_FMT_DB : MENU_FMT_VOLT));
}
float GetMarkThreShold() { return g.threshold; }
void SetMarkList(int on) { g.listOn = on ? 1 : 0; }
int GetMarkListOnOff() { return g.listOn; }
int SetMarkListStartNo(int n) {
  return g.listStart = std::clamp(n, 0, std::max(0, g.found - kFftMarkListRows));
}
int GetMarkListStartNo() { return g.listStart; }
void MarkManualOnOff(int on) { g.manualOn = on ? 1 : 0; }
int GetMarkManualOnOff() { return g.manualOn; }
int SetMarkManualPos(int c) { return c >= 0 && c < kFftColumns ? g.manualPos = c : -1; }
int GetMarkManualPos() { return g.manualPos; }
int SetMarkManualPeakPos(int n) { return n >= 0 && n < kFftMarksMax ? g.manualPeak = n : -1; }
int GetMarkManualPeakPos() { return g.manualPeak; }
int GetMarkManualfValPosbyPos(int n) { return n >= 0 && n < g.sortedCount ? g.sortedColumns[n] : -1; }
float GetMarkManualfValByPos(int n) { return n >= 0 && n < g.sortedCount ? g.sortedCodes[n] : 0.0f; }
void SetMarkToPeak() { g.peakRequest = 1, g.enable = 1; }
void SetMarkToNextPeak() { g.peakRequest = 2, g.enable = 1; }
void SetMarkToMinimum() { g.peakRequest = 3, g.enable = 1; }
int SetMarkPos(int c) { return g.cursor = Wrap(c, 1, kFftColumns - 1); }
int GetMarkPos() { return g.cursor; }
bool FftMarkCursorOn() { return g.enable && Item(kItemEnable) == 1; }
float FftMarkCursorCode() {
  std::lock_guard<std::mutex> lock(g_found);
  return g.trace ? g.trace[std::min(g.cursor, g.traceColumns - 1)] : 0.0f;
}

int FftMarkCount() {
  std::lock_guard<std::mutex> lock(g_found);
  return g.found;
}
int FftMarkList(int* columns, float* codes, int max) {
  std::lock_guard<std::mutex> lock(g_found);
  const int n = std::clamp(g.found, 0, std::max(0, max));
  std::copy(g.columns, g.columns + n, columns);
  std::copy(g.codes, g.codes + n, codes);
  return n;
}
int FftMarkColumn(int n) {
  std::lock_guard<std::mutex> lock(g_found);
  return n >= 0 && n < g.found ? g.columns[n] : -1;
}
float FftMarkCode(int n) {
  std::lock_guard<std::mutex> lock(g_found);
  return n >= 0 && n < g.found ? g.codes[n] : 0.0f;
}
double FftColumnHz(int column) {
  const FftSettings& f = *SysRunStatus.GetFFTParaAddr();
  return column * f.hzPerColumn + f.startBin * f.binWidthHz;
}
double FftCodeValue(float code) { return (code - g.p5) / g.codesPerUnit; }
int FftManualMarkColumn() {
  if (g.manualOn) return g.manualPos;
  const int c = GetMarkManualfValPosbyPos(std::min(g.manualPeak, std::max(0, g.sortedCount - 1)));
  return c < 0 ? g.manualPos : c;
}

void FftMarksReset() {
  g.wanted = kPresetMarks, g.listOn = 0, g.listStart = 0, g.manualOn = 0, g.manualPeak = 0, g.found = 0;
  g.peakRequest = 0;
  SetMarkThreShold(0);
}

// --- the mark pages ---

// The Type items 30, 35, 40 and 45 are one value: off, auto, threshold,
// manual; a change closes the lists and shows the type's page with its
// source, points and list.
int Math_FFT_Mark_Type(keypara k) {
  int n = kItemMarkType;
  if (k.key >= MENU_KEY_F1 && k.key <= MENU_KEY_F5)
    n = M().GetCurrPage() * kMenuSlots + (k.key - MENU_KEY_F1);
  else if (M().MenuItemIsPop(M().GetMenuPopItem()))
    n = M().GetMenuPopItem();
  const int before = Item(kItemMarkType);
  const int v = M().AdjMenuLinkageItemPara(nullptr, k, n, kMarkTypeItems);
  if (v < 0 || v > 3) return v;
  if (v != before || k.key == KEY_NO_KEY) {
    M().SetMenuItem(kItemAutoList, 0);
    M().SetMenuItem(kItemThrList, 0);
    g.listOn = 0;
  }
  g.enable = v != 0;
  if (v) g.func = v - 1;
  if (v == 1) {
    g.source = Item(kItemAutoSrc), g.wanted = std::clamp(Item(kItemAutoPoints), 1, kFftMarksMax);
    g.listOn = Item(kItemAutoList);
  } else if (v == 2) {
    g.source = Item(kItemThrSrc), g.listOn = Item(kItemThrList);
  } else if (v == 3) {
    g.source = Item(kItemManualSrc), g.manualOn = 0;
  }
  if (k.key != KEY_NO_KEY) M().SetCurrPage(kMarkTypeItems[v]);
  return v;
}

namespace {
int Source(keypara k, int item) {
  const int v = M().AdjMenuItemPara(k, item);
  if (v >= 0 && v <= 3) g.source = v;
  return v;
}
int List(keypara k, int item) {
  const int v = M().AdjMenuItemPara(k, item);
  g.listOn = v == 1;
  g.listStart = 0;
  return v;
}
}  // namespace

int Math_FFT_MarkAuto_Src(keypara k) { return Source(k, kItemAutoSrc); }
int Math_FFT_MarkThreShold_Src(keypara k) { return Source(k, kItemThrSrc); }
int Math_FFT_MarkManual_Src(keypara k) { return Source(k, kItemManualSrc); }
int Math_FFT_MarkAuto_List(keypara k) { return List(k, kItemAutoList); }
int Math_FFT_MarkThreShold_List(keypara k) { return List(k, kItemThrList); }

// The knob sets the count (1..50), or scrolls the list while it is open.
int Math_FFT_MarkAuto_Points(keypara k) {
  if (IsKnob(k.key) && g.listOn) {
    SetMarkListStartNo(g.listStart + (k.key == MENU_KEY_KNOB_DOWN ? 1 : -1));
    return Item(kItemAutoPoints);
  }
  const int v = M().AdjMenuItemPara(k, kItemAutoPoints);
  SetMarkPoints(v);
  return v;
}

// Select resets the level to 0; the knob moves it by 0.01 dB or a tenth of a
// code in volts, within 1000 steps either way; with the list open it scrolls.
int Math_FFT_MarkThreShold_Adj(keypara k) {
  if (IsKnob(k.key) && g.listOn) {
    SetMarkListStartNo(g.listStart + (k.key == MENU_KEY_KNOB_DOWN ? 1 : -1));
    return 0;
  }
  const bool db = Item(kMathItemFftVertical) == 1;
  const double unit =
      db ? kDbStep : VoltsPerDiv(Vertical.GetRealYsensitivity(kMathSlot)) / 25 / kVoltStepDiv;
  double level = g.threshold;  // set remotely, it may lie between steps
  if (k.key == MENU_KEY_SELECT)
    level = 0;
  else if (IsKnob(k.key))
    level += KnobStep(k) * unit;
  else if (k.key != KEY_NO_KEY)
    return 0;
  SetMarkThreShold(float(std::clamp(level, -kThresholdSteps * unit, kThresholdSteps * unit)));
  return 0;
}

// The knob moves the manual mark (turning manual on); another key goes back
// to the largest peak.
int Math_FFT_MarkManual_SetToPeak(keypara k) {
  if (IsKnob(k.key)) {
    g.manualPos = Wrap(FftManualMarkColumn() + KnobStep(k), 0, kFftColumns - 1);
    g.manualOn = 1;
  } else {
    g.manualOn = 0, g.manualPeak = 0;
  }
  return 0;
}

int Math_FFT_MarkManual_NextPeak(keypara) {
  g.manualOn = 0;
  g.manualPeak = (g.manualPeak + 1) % kFftMarksMax;
  if (g.manualPeak >= g.sortedCount) g.manualPeak = 0;
  return 0;
}

int Math_FFT_MarkEnable(keypara k) {
  const int v = M().AdjMenuItemPara(k, kItemEnable);
  g.enable = v == 1;
  return v;
}

// The enhanced page's mark source: a trace that is off can not be marked.
int Math_FFT_MarkType(keypara k) {
  const int before = Item(kItemEnhSrc);
  const int v = M().AdjMenuItemPara(k, kItemEnhSrc);
  if (!SourceOn(v)) {
    static constexpr int kMsg[] = {0, kMsgAverageOff, kMsgMaxHoldOff, kMsgMinHoldOff};
    Message(kMsg[v]);
    M().SetMenuItem(kItemEnhSrc, uint64_t(before));
    return before;
  }
  g.source = v;
  return v;
}

namespace {
int CursorRequest(void (*request)()) {
  if (Item(kItemManuSelect)) {
    Message(kMsgManualOn);
    return -1;
  }
  request();
  return 0;
}
}  // namespace

int Math_FFT_MarkSetToPeak(keypara) { return CursorRequest(SetMarkToPeak); }
int Math_FFT_MarkSetToMinimum(keypara) { return CursorRequest(SetMarkToMinimum); }
int Math_FFT_MarkSelect(keypara k) { return M().AdjMenuItemPara(k, kItemManuSelect); }

int FFTMarkOp(keypara k) {
  if (!(IsKnob(k.key) || k.key == MENU_KEY_SELECT)) return 0;
  if (!Item(kItemManuSelect)) {
    Message(kMsgManualOff);
    return 0;
  }
  if (IsKnob(k.key))
    SetMarkPos(g.cursor + KnobStep(k));
  else
    SetMarkToNextPeak();
  return 0;
}

void DetectionModeSyncMarkSource() {
  for (int item : kSourceItems)
    if (!SourceOn(Item(item))) M().SetMenuItem(item, kMarkSrcMain);
  if (!SourceOn(Item(kItemEnhSrc))) M().SetMenuItem(kItemEnhSrc, kMarkSrcMain);
  if (!SourceOn(g.source)) g.source = kMarkSrcMain;
}
