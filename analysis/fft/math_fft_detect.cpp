// The spectrum's detectors and extra traces: the Detection pages (items 20 to
// 26), the enhanced view's Spectrum and DetectMode pages (75 to 77, 80 to 83)
// and its Enable item (55). Items 20, 21, 22, 23 and 25 hold the choice (the
// main detector; the average, max-hold and min-hold detectors, 0 off; the
// average depth); the enhanced pages show the same choice and write it.
#include <algorithm>
#include <cstdlib>

#include "analysis/fft/fft_display.h"
#include "analysis/fft/fft_kit.h"
#include "analysis/fft/fft_marks.h"
#include "analysis/fft/math_fft_menu.h"
#include "analysis/math/task_math.h"

using namespace fft_kit;

namespace {
enum : int {
  kItemMain = kMathItemRealTime,
  kItemAverage = kMathItemAverageOn,
  kItemDepth = kMathItemAverageSel,
  kItemMaxHold = kMathItemMaxHold,
  kItemMinHold = kMathItemMinHold,
  kItemEnhanced = 55,
  kItemTracesPage = 56,
  kItemDetectPage = 57,
  kItemMarkPage = 58,
  kItemTraceAverage = 75,
  kItemTraceMaxHold = 76,
  kItemTraceMinHold = 77,
  kItemDetMain = 80,
  kItemDetAverage = 81,
  kItemDetMaxHold = 82,
  kItemDetMinHold = 83,
  kItemMarkEnable = 85,
};
constexpr int kDepthMin = 1, kDepthMax = 9;  // 2 .. 512 frames
constexpr int kDepthStepMax = 10;
enum : short { kAverageTrace = 1, kMaxHoldTrace = 2, kMinHoldTrace = 3 };
constexpr uint32_t kTwoModes = 0x1C, kThreeModes = 0x18;  // display modes 2..4, 3..4 not offered
constexpr keypara kNone{KEY_NO_KEY, 0, 0};

// The display modes the Enable item leaves (none until it is chosen).
uint32_t g_enhancedModes = 0;

void Set(int n, int v) { M().SetMenuItem(n, uint64_t(v)); }

// The enhanced pages follow the choice held by the Detection page.
void ShowOnEnhancedPages() {
  Set(kItemDetMain, Item(kItemMain));
  Set(kItemDetAverage, Item(kItemAverage));
  Set(kItemDetMaxHold, Item(kItemMaxHold));
  Set(kItemDetMinHold, Item(kItemMinHold));
  Set(kItemTraceAverage, Item(kItemAverage) ? Item(kItemDepth) : 0);
  Set(kItemTraceMaxHold, Item(kItemMaxHold) != 0);
  Set(kItemTraceMinHold, Item(kItemMinHold) != 0);
  M().EnableItem(kItemDepth, Item(kItemAverage) != 0);
}

// An extra trace switched on without a detector of its own takes the main
// trace's.
int OnDetector(int item) { return Item(item) ? Item(item) : Item(kItemMain) + 1; }

// The average trace's detector set: on while not off, its depth shown.
int AverageDetector(int v) {
  Set(kItemAverage, v);
  TaskMath.ClearDetectionWave(kAverageTrace);
  ShowOnEnhancedPages();
  return v;
}
int HoldDetector(int item, short trace, int v) {
  Set(item, v);
  TaskMath.ClearDetectionWave(trace);
  ShowOnEnhancedPages();
  return v;
}
// A choice of an enhanced page: its item adjusted, the value or -1.
int Adjust(keypara k, int n) {
  const int v = M().AdjMenuItemPara(k, n);
  return v < 0 ? -1 : v;
}
}  // namespace

FftDetectors FftDetectorChoice() {
  FftDetectors d;
  d.main = std::clamp(Item(kItemMain), 0, 3);
  auto extra = [](int n) { return Item(n) >= 1 && Item(n) <= 4 ? Item(n) : 0; };
  d.average = extra(kItemAverage);
  d.maxHold = extra(kItemMaxHold);
  d.minHold = extra(kItemMinHold);
  d.depth = std::clamp(Item(kItemDepth), kDepthMin, kDepthMax);
  return d;
}

uint32_t FftEnhancedModeMask() { return g_enhancedModes; }

void FftDetectorsReset() {
  Math_FFT_DetectionMode_RealTime(kNone);
  Math_FFT_DetectionMode_Average(kNone);
  Math_FFT_DetectionMode_MaxHold(kNone);
  Math_FFT_DetectionMode_MinHold(kNone);
  Math_FFT_EnhancedEnable(kNone);
}

// --- the Detection pages ---

int Math_FFT_DetectionMode_RealTime(keypara k) {
  const int v = Adjust(k, kItemMain);
  if (v >= 0) ShowOnEnhancedPages();
  return v;
}

int Math_FFT_DetectionMode_Average(keypara k) {
  const int v = Adjust(k, kItemAverage);
  return v < 0 ? v : AverageDetector(v);
}

// Select steps the depth by one, the knob by its step (at most 10); both
// wrap at 2 and 512.
int Math_FFT_DetectionMode_AverageSel(keypara k) {
  int v = Item(kItemDepth);
  if (IsKnob(k.key))
    v += std::clamp(KnobStep(k), -kDepthStepMax, kDepthStepMax);
  else if (k.key == MENU_KEY_SELECT || k.key == Menu::MenuItemToFx(kItemDepth))
    ++v;
  const int n = kDepthMax - kDepthMin + 1;
  v = kDepthMin + ((v - kDepthMin) % n + n) % n;
  Set(kItemDepth, v);
  ShowOnEnhancedPages();
  return v;
}

int Math_FFT_DetectionMode_MaxHold(keypara k) {
  const int v = Adjust(k, kItemMaxHold);
  return v < 0 ? v : HoldDetector(kItemMaxHold, kMaxHoldTrace, v);
}

int Math_FFT_DetectionMode_MinHold(keypara k) {
  const int v = Adjust(k, kItemMinHold);
  return v < 0 ? v : HoldDetector(kItemMinHold, kMinHoldTrace, v);
}

int Math_FFT_DetectionMode_ResetTrack(keypara) {
  TaskMath.ClearFFTGrayScale();
  return 0;
}

// --- the enhanced view: Spectrum traces, DetectMode, Enable ---

// 0 switches the average off; 1..9 switch it on with that depth.
int Math_SpectrumTraces_Average(keypara k) {
  const int v = Adjust(k, kItemTraceAverage);
  if (v < 0) return v;
  if (v) Set(kItemDepth, std::clamp(v, kDepthMin, kDepthMax));
  Set(kItemAverage, v ? OnDetector(kItemAverage) : 0);
  ShowOnEnhancedPages();
  TaskMath.ClearFFTGrayScale();
  return v;
}

namespace {
int TraceOnOff(keypara k, int page, int item) {
  const int v = Adjust(k, page);
  if (v < 0) return v;
  Set(item, v ? OnDetector(item) : 0);
  ShowOnEnhancedPages();
  TaskMath.ClearFFTGrayScale();
  return v;
}
int DetectMode(keypara k, int page, int item) {
  const int v = Adjust(k, page);
  if (v < 0) return v;
  Set(item, v);
  ShowOnEnhancedPages();
  TaskMath.ClearFFTGrayScale();
  return v;
}
}  // namespace

int Math_SpectrumTraces_MaxHold(keypara k) { return TraceOnOff(k, kItemTraceMaxHold, kItemMaxHold); }
int Math_SpectrumTraces_MinHold(keypara k) { return TraceOnOff(k, kItemTraceMinHold, kItemMinHold); }
int FFT_DetectionRealTime(keypara k) { return DetectMode(k, kItemDetMain, kItemMain); }
int FFT_DetectionAverage(keypara k) { return DetectMode(k, kItemDetAverage, kItemAverage); }
int FFT_DetectionMaxHold(keypara k) { return DetectMode(k, kItemDetMaxHold, kItemMaxHold); }
int FFT_DetectionMinHold(keypara k) { return DetectMode(k, kItemDetMinHold, kItemMinHold); }

// 1 offers the Traces, Detection and Mark pages and three display modes;
// 0 greys them, switches the extra traces, the marks and the display mode
// off and offers two display modes. At start-up only the pages follow it.
int Math_FFT_EnhancedEnable(keypara k) {
  const int v = Adjust(k, kItemEnhanced);
  if (v < 0) return v;
  for (int n : {kItemTracesPage, kItemDetectPage, kItemMarkPage}) M().EnableItem(n, v == 1);
  if (k.key == KEY_NO_KEY) return v;
  g_enhancedModes = v == 1 ? kThreeModes : kTwoModes;
  if (v != 1) {
    for (int n : {kItemAverage, kItemMaxHold, kItemMinHold}) Set(n, 0);
    ShowOnEnhancedPages();
    Set(kMathItemMarkType, 0);
    Math_FFT_Mark_Type(kNone);
    Set(kItemMarkEnable, 0);
    SetMarkTypeSel(0);
    Set(kMathItemDisplayMode, 0);
    Math_FFT_DisplayModeSel(kNone);
  }
  FftOfferDisplayModes();
  TaskMath.ClearFFTGrayScale();
  return v;
}
