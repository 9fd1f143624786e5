// The FFT pages of the math menu: their items, the moves between the pages,
// and the source, points and screen mode kept in the run state's FFT block.
#include "analysis/math_fft_menu.h"

#include <algorithm>
#include <mutex>

#include "acquisition/wave.h"
#include "analysis/fft_process.h"
#include "analysis/math_calc.h"
#include "analysis/task_math.h"
#include "core/ids.h"
#include "core/msg.h"
#include "core/sys_run_info.h"

namespace {
constexpr uint32_t kChoice = kMenuChoice;
constexpr uint32_t kAction = kMenuAction;
constexpr uint32_t kNumber = kMenuInt;
constexpr int kSliceMax = 200;
constexpr uint32_t kPointsBase = 8192;
constexpr int kPointChoices = 8;           // 8K .. 1M
constexpr int kWaterfallPointsFrom = 4;    // 128K and more: no waterfall
constexpr uint32_t kWaterfallModes = 0x18;  // display modes 3 and 4
constexpr int kAverageChoices = 10;        // off, then 2 .. 512
constexpr int kMarkPointsMax = 50;
constexpr int kMsgStopped = 77, kMsgNoWaterfall = 112;

Menu& M() { return TaskMath.TaskMenu; }
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
void Page(int item) { M().SetCurrPage(item); }
FftSettings& Fft() { return *SysRunStatus.GetFFTParaAddr(); }
double FftRate() {
  double rate = 0;
  uint8_t none = 0;
  WaveOp.GetFFTWaveData(&none, 0, &rate);
  return rate;
}
constexpr uint32_t kMinSpan = 10;  // bins between start and end
bool Greyed(int n) { return M().ItemDisabled(n); }

template <int N>
int AdjustItem(keypara k) {
  return M().AdjMenuItemPara(k, N);
}
template <int To>
int GoTo(keypara) {
  Page(To);
  return 0;
}

const int kMarkTypeItems[] = {30, 35, 40, 45, -1};
}  // namespace

uint32_t MathFftPoints(int index) { return index >= 0 && index < kPointChoices ? kPointsBase << index : 0; }

const std::vector<MenuItemDef>& MathFftItems() {
  static const std::vector<MenuItemDef> rows = {
      {kMathItemFftType, "Type", kChoice, kMathTypes, Math_Type, MenuChoices()},
      {kMathItemFftSource, "Source", kChoice, 2, Math_FFT_Source, MenuChoices()},
      {kMathItemFftWindow, "Window", kChoice, 4, Math_FFT_Window, MenuChoices()},
      {kMathItemFftVertical, "Vertical", kChoice, 2, Math_FFT_Vertical, MenuChoices()},
      {kMathItemFftNext1, "Next", kAction, 1, Math_FFT_Next},
      {kMathItemFftPoints, "Points", kChoice, kPointChoices, Math_FFT_Points, MenuLimits(0, 0, kPointChoices - 1)},
      {kMathItemFftScreen, "Screen", kAction, 1, Math_FFT_DisplayMode},
      {kMathItemFftFreqSel, "FreqSel", kAction, 1, Math_FFT_FreqAdj},
      {kMathItemFftDetection, "DetectionMode", kAction, 1, Math_FFT_DetectionMode},
      {kMathItemFftNext2, "Next", kAction, 1, Math_FFT_Next},
      {kMathItemFftMark, "Mark", kAction, 1, Math_FFT_TopMark},
      {kMathItemFftPreset, "UserPreset", kAction, 1, Math_FFT_UserPreSets},
      {kMathItemFftNext3, "Next", kAction, 1, Math_FFT_Next},
      {20, "RealTime", kChoice, 4, AdjustItem<20>},
      {21, "Averge", kChoice, 2, AdjustItem<21>},
      {kMathItemAverageSel, "AerageSel", kNumber, 1, AdjustItem<kMathItemAverageSel>, MenuLimits(1, 1, kAverageChoices - 1)},
      {23, "MaxHold", kChoice, 2, AdjustItem<23>},
      {24, "Next", kAction, 1, Math_FFT_DetectionMode_Next},
      {25, "MinHold", kChoice, 2, AdjustItem<25>},
      {26, "ResetTack", kAction, 1, AdjustItem<26>},
      {27, "Previous", kAction, 1, Math_FFT_DetectionMode_Previous},
      {29, "Back", kAction, 1, Math_FFT_DetectionMode_Back},
      {30, "Type", kChoice, 4, Math_FFT_Mark_Type},
      {34, "Back", kAction, 1, Math_FFT_Mark_Back},
      {35, "Type", kChoice, 4, Math_FFT_Mark_Type},
      {36, "Mark Src", kChoice, 4, AdjustItem<36>},
      {37, "Mark Points", kNumber, 1, AdjustItem<37>, MenuLimits(1, 1, kMarkPointsMax)},
      {38, "Mark List", kChoice, 2, AdjustItem<38>},
      {39, "Back", kAction, 1, Math_FFT_Mark_Back},
      {40, "Type", kChoice, 4, Math_FFT_Mark_Type},
      {41, "Mark Src", kChoice, 4, AdjustItem<41>},
      {42, "ThreShold", kNumber, 1, AdjustItem<42>},
      {43, "Mark List", kChoice, 2, AdjustItem<43>},
      {44, "Back", kAction, 1, Math_FFT_Mark_Back},
      {45, "Type", kChoice, 4, Math_FFT_Mark_Type},
      {46, "Mark Src", kChoice, 4, AdjustItem<46>},
      {47, "SetToPeak", kAction, 1, AdjustItem<47>},
      {48, "NextPeak", kAction, 1, AdjustItem<48>},
      {49, "Back", kAction, 1, Math_FFT_Mark_Back},
      {50, "UserPreSets", kAction, 1, Math_FFT_UserPreSets},
      {54, "Back", kAction, 1, Math_FFT_Next},
      {55, "Enable", kChoice, 2, AdjustItem<55>},
      {56, "Traces", kAction, 1, Math_FFT_SpectrumTraces},
      {57, "Detection", kAction, 1, Math_FFT_Detection},
      {58, "Mark", kAction, 1, Math_FFT_Mark},
      {59, "Back", kAction, 1, Math_FFT_Next},
      {kMathItemDisplayMode, "Mode Sel", kChoice, 5, Math_FFT_DisplayModeSel, MenuChoices()},
      {kMathItemWaterfallSlice, "Slice Sel", kNumber, 1, AdjustItem<kMathItemWaterfallSlice>, MenuLimits(1, 1, kSliceMax)},
      {64, "Back", kAction, 1, Math_FFT_DisplayModeBack},
      {kMathItemFreqMode, "FreqSel", kChoice, 2, AdjustItem<kMathItemFreqMode>},
      {66, "Start Freq", kNumber, 1, AdjustItem<66>},
      {67, "End Freq", kNumber, 1, AdjustItem<67>},
      {68, "Tracking", kChoice, 2, AdjustItem<68>},
      {69, "Back", kAction, 1, Math_FFT_FreqSel_Back},
      {70, "FreqSel", kChoice, 2, AdjustItem<70>},
      {71, "Center Freq", kNumber, 1, AdjustItem<71>},
      {72, "Bw", kNumber, 1, AdjustItem<72>},
      {74, "Back", kAction, 1, Math_FFT_FreqSel_Back},
      {75, "Average", kChoice, kAverageChoices, AdjustItem<75>},
      {76, "Max Hold", kChoice, 2, AdjustItem<76>},
      {77, "Min Hold", kChoice, 2, AdjustItem<77>},
      {78, "Reset Traces", kAction, 1, Math_SpectrumTraces_ResetTraces},
      {79, "Back", kAction, 1, Math_SpectrumTraces_Back},
      {80, "Real Time", kChoice, 4, AdjustItem<80>},
      {81, "Average", kChoice, 5, AdjustItem<81>},
      {82, "Max Hold", kChoice, 5, AdjustItem<82>},
      {83, "Min Hold", kChoice, 5, AdjustItem<83>},
      {84, "Back", kAction, 1, FFT_DetectionBack},
      {85, "Enable", kChoice, 2, AdjustItem<85>},
      {86, "MarkType", kChoice, 4, AdjustItem<86>},
      {87, "SetToPeak", kAction, 1, AdjustItem<87>},
      {88, "SetToMin", kAction, 1, AdjustItem<88>},
      {89, "Next", kAction, 1, Math_FFT_MarkNext},
      {90, "ManuSelect", kChoice, 2, AdjustItem<90>},
      {91, "PREVIOUS", kAction, 1, Math_FFT_MarkPrevious},
      {94, "Back", kAction, 1, Math_FFT_MarkBack},
  };
  return rows;
}

void MathFftMenuReset() {
  const keypara none{KEY_NO_KEY, 0, 0};
  Math_FFT_Source(none);
  Math_FFT_Points(none);
  Math_FFT_DisplayModeSel(none);
}

int Math_FFT_Source(keypara k) {
  const int v = M().AdjMenuItemPara(k, kMathItemFftSource);
  if (v == 0 || v == 1) Fft().source = uint16_t(v);
  return v;
}

int Math_FFT_Window(keypara k) { return M().AdjMenuItemPara(k, kMathItemFftWindow); }
int Math_FFT_Vertical(keypara k) { return M().AdjMenuItemPara(k, kMathItemFftVertical); }

// Points can not change while the spectrum is shown and stopped; from 128K
// on the waterfall modes are not offered.
int Math_FFT_Points(keypara k) {
  const bool mathOn = SysRunStatus.GetChStatus() >> kMathSlot & 1;
  if (k.key != KEY_NO_KEY && mathOn && SysRunStatus.GetAcquireStatus(0) == kAcqStopped) {
    QelMsg.SetMessage(kMsgStopped);
    return Item(kMathItemFftPoints);
  }
  const int before = Item(kMathItemFftPoints);
  const int v = M().AdjMenuItemPara(k, kMathItemFftPoints);
  const uint32_t points = MathFftPoints(v);
  if (!points) return -1;
  const bool noWaterfall = v >= kWaterfallPointsFrom;
  M().SetItemParaAttribute(kMathItemDisplayMode, noWaterfall ? kWaterfallModes : 0);
  if (noWaterfall && before < kWaterfallPointsFrom && k.key != KEY_NO_KEY) QelMsg.SetMessage(kMsgNoWaterfall);
  const uint32_t beforePoints = Fft().points;
  const double beforeWidth = beforePoints ? FftRate() / beforePoints : 0;
  Fft().points = points;
  WaveOp.UpdateFFTWaveDataSample();
  const uint32_t last = points / 2 - 1;
  if (k.key == KEY_NO_KEY || !(beforeWidth > 0) || beforePoints == points) {
    if (k.key == KEY_NO_KEY || Fft().endBin > last) Fft().startBin = 0, Fft().endBin = last;
  } else {
    // The shown frequencies stay where they were, in the new bins.
    const double width = FftRate() / points;
    const double scale = width > 0 ? beforeWidth / width : 1.0;
    const uint32_t end = uint32_t(std::min<double>(last, Fft().endBin * scale));
    const uint32_t start = uint32_t(std::min<double>(Fft().startBin * scale, end > kMinSpan ? end - kMinSpan : 0));
    Fft().startBin = start;
    Fft().endBin = std::max(end, start + kMinSpan);
  }
  // The result in flight was made with the old count: it is dropped, and the
  // source's record read again.
  {
    std::lock_guard<std::mutex> lock(FftPara.lock);
    FftPara.flags |= kFftDiscard;
  }
  WaveOp.ClearScreenWave(Fft().source == 1 ? 1 : 0);
  WaveOp.RequestFFTData();
  return v;
}

int Math_FFT_DisplayModeSel(keypara k) {
  const int v = M().AdjMenuItemPara(k, kMathItemDisplayMode);
  if (v >= 0 && v <= 4) Fft().screen = uint16_t(v);
  return v;
}

int Math_FFT_Mark_Type(keypara k) {
  int n = 30;
  if (k.key >= MENU_KEY_F1 && k.key <= MENU_KEY_F5) n = M().GetCurrPage() * kMenuSlots + (k.key - MENU_KEY_F1);
  else if (M().MenuItemIsPop(M().GetMenuPopItem())) n = M().GetMenuPopItem();
  const int v = M().AdjMenuLinkageItemPara(nullptr, k, n, kMarkTypeItems);
  if (k.key != KEY_NO_KEY && v >= 0 && v < 4) Page(kMarkTypeItems[v]);
  return v;
}

int Math_FFT_UserPreSets(keypara) {
  Page(kMathItemFftType);
  return 0;
}

// From the pages of items 5, 10 and 15 to the next of them; from any other
// page to item 5's.
int Math_FFT_Next(keypara) {
  const int page = M().GetCurrPage();
  const int first = kMathItemFftType / kMenuSlots;
  Page(page == first ? kMathItemFftPoints : page == first + 1 ? kMathItemFftMark : kMathItemFftType);
  return 0;
}

int Math_FFT_FreqAdj(keypara) {
  Page(Item(kMathItemFreqMode) ? 70 : kMathItemFreqMode);
  return 0;
}

int Math_FFT_TopMark(keypara) {
  const int type = Item(30);
  Page(type >= 0 && type < 4 ? kMarkTypeItems[type] : 30);
  return 0;
}

namespace {
// Pages of the enhanced view, unless their item is greyed.
int Unless(int item, int to) {
  if (!Greyed(item)) Page(to);
  return 0;
}
}  // namespace

int Math_FFT_SpectrumTraces(keypara) { return Unless(56, 76); }
int Math_FFT_Detection(keypara) { return Unless(57, 80); }
int Math_FFT_Mark(keypara) { return Unless(58, 87); }

// Reset Traces: the average starts again, max-hold and min-hold from the next frame.
int Math_SpectrumTraces_ResetTraces(keypara) {
  TaskMath.ClearFFTGrayScale();
  return 0;
}
int Math_FFT_DisplayMode(keypara k) { return GoTo<60>(k); }
int Math_FFT_DetectionMode(keypara k) { return GoTo<20>(k); }
int Math_FFT_DetectionMode_Next(keypara k) { return GoTo<25>(k); }
int Math_FFT_DetectionMode_Previous(keypara k) { return GoTo<24>(k); }
int Math_FFT_DetectionMode_Back(keypara k) { return GoTo<13>(k); }
int Math_FFT_Mark_Back(keypara k) { return GoTo<15>(k); }
int Math_FFT_FreqSel_Back(keypara k) { return GoTo<12>(k); }
int Math_FFT_DisplayModeBack(keypara k) { return GoTo<11>(k); }
int Math_SpectrumTraces_Back(keypara k) { return GoTo<56>(k); }
int FFT_DetectionBack(keypara k) { return GoTo<57>(k); }
int Math_FFT_MarkBack(keypara k) { return GoTo<58>(k); }
int Math_FFT_MarkNext(keypara k) { return GoTo<91>(k); }
int Math_FFT_MarkPrevious(keypara k) { return GoTo<85>(k); }

int MathFftPageOp(keypara) { return 0; }
