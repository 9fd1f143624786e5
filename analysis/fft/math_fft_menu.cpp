// The FFT pages of the math menu: their items, the moves between the pages,
// and the source, points and screen mode kept in the run state's FFT block.
#include "analysis/fft/math_fft_menu.h"

#include <algorithm>
#include <mutex>

#include "acquisition/engine/wave.h"
#include "analysis/fft/fft_display.h"
#include "analysis/fft/fft_kit.h"
#include "analysis/fft/fft_marks.h"
#include "analysis/fft/fft_process.h"
#include "analysis/fft/fft_span.h"
#include "analysis/fft/fft_view.h"
#include "analysis/math/math_calc.h"
#include "analysis/math/task_math.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"

using namespace fft_kit;

namespace {
constexpr uint32_t kChoice = kMenuChoice;
constexpr uint32_t kAction = kMenuAction;
constexpr uint32_t kNumber = kMenuInt;
constexpr int kSliceMax = 200;
constexpr uint32_t kPointsBase = 8192;
constexpr int kPointChoices = 8;            // 8K .. 1M
constexpr int kWaterfallPointsFrom = 4;     // 128K and more: no waterfall
constexpr uint32_t kWaterfallModes = 0x18;  // display modes 3 and 4
constexpr int kAverageChoices = 10;         // off, then 2 .. 512
constexpr int kTraceChoices = kFftDetectors + 1;  // off, then the four detectors
// The panel's page offers OFF/ON (its texts set the item's choices), SCPI all
// five: the range a stored value is checked against is the five.
constexpr MenuRange kTraceRange = MenuLimits(0, 0, kTraceChoices - 1);
constexpr int kMarkPointsMax = kFftMarksMax, kPresetMarks = 5;
constexpr uint32_t kKnob = MENU_ATTR_FOCUS | MENU_ATTR_FOCUS_FIRST;
constexpr int kMsgStopped = 77, kMsgNoWaterfall = 112;
constexpr int kMark1Page = 17, kMark2Page = 18, kCentrePageItem = 70;
constexpr double kShortRecord = 7000;
constexpr uint16_t kAssistStepDepth = 2;
// Keys of other modules after which the extra traces restart; of those, the
// ones that change the vertical scale of the independent view.
constexpr uint16_t kTraceResetKeys[] = {73, 74, 78, 79, 80, 81, 84, 85, 86, 87, 88, 89};
constexpr uint16_t kScaleKeys[] = {73, 78, 79, 84, 85, 88};
constexpr uint16_t kKeyDepthA = 86, kKeyDepthB = 87;
constexpr int kDbScaleIndex = 16;  // 20 dB a division

void Page(int item) { M().SetCurrPage(item); }
bool Greyed(int n) { return M().ItemDisabled(n); }

template <int To>
int GoTo(keypara) {
  Page(To);
  return 0;
}

constexpr int kMarkTypeItems[] = {30, 35, 40, 45, -1};
}  // namespace

uint32_t MathFftPoints(int index) {
  return index >= 0 && index < kPointChoices ? kPointsBase << index : 0;
}

const std::vector<MenuItemDef>& MathFftItems() {
  static const std::vector<MenuItemDef> rows = {
      {kMathItemFftType, "Type", kChoice, kMathTypes, Math_Type, MenuChoices()},
      {kMathItemFftSource, "Source", kChoice, 2, Math_FFT_Source, MenuChoices()},
      {kMathItemFftWindow, "Window", kChoice, 4, Math_FFT_Window, MenuChoices()},
      {kMathItemFftVertical, "Vertical", kChoice, 2, Math_FFT_Vertical, MenuChoices()},
      {kMathItemFftNext1, "Next", kAction, 1, Math_FFT_Next},
      {kMathItemFftPoints, "Points", kChoice, kPointChoices, Math_FFT_Points,
       MenuLimits(0, 0, kPointChoices - 1)},
      {kMathItemFftScreen, "Screen", kAction, 1, Math_FFT_DisplayMode},
      {kMathItemFftFreqSel, "FreqSel", kAction, 1, Math_FFT_FreqAdj},
      {kMathItemFftDetection, "DetectionMode", kAction, 1, Math_FFT_DetectionMode},
      {kMathItemFftNext2, "Next", kAction, 1, Math_FFT_Next},
      {kMathItemFftMark, "Mark", kAction, 1, Math_FFT_TopMark},
      {kMathItemFftPreset, "UserPreset", kAction, 1, Math_FFT_UserPreSets},
      {kMathItemFftNext3, "Next", kAction, 1, Math_FFT_Next},
      {kMathItemRealTime, "RealTime", kChoice, kFftDetectors, Math_FFT_DetectionMode_RealTime, MenuChoices()},
      {kMathItemAverageOn, "Averge", kChoice, kTraceChoices, Math_FFT_DetectionMode_Average, kTraceRange},
      {kMathItemAverageSel, "AerageSel", kNumber | kKnob, 1, Math_FFT_DetectionMode_AverageSel,
       MenuLimits(1, 1, kAverageChoices - 1)},
      {kMathItemMaxHold, "MaxHold", kChoice, kTraceChoices, Math_FFT_DetectionMode_MaxHold, kTraceRange},
      {24, "Next", kAction, 1, Math_FFT_DetectionMode_Next},
      {kMathItemMinHold, "MinHold", kChoice, kTraceChoices, Math_FFT_DetectionMode_MinHold, kTraceRange},
      {26, "ResetTack", kAction, 1, Math_FFT_DetectionMode_ResetTrack},
      {27, "Previous", kAction, 1, Math_FFT_DetectionMode_Previous},
      {29, "Back", kAction, 1, Math_FFT_DetectionMode_Back},
      {30, "Type", kChoice, 4, Math_FFT_Mark_Type},
      {34, "Back", kAction, 1, Math_FFT_Mark_Back},
      {35, "Type", kChoice, 4, Math_FFT_Mark_Type},
      {36, "Mark Src", kChoice, 4, Math_FFT_MarkAuto_Src},
      {37, "Mark Points", kNumber | kKnob, 1, Math_FFT_MarkAuto_Points,
       MenuLimits(kPresetMarks, 1, kMarkPointsMax)},
      {38, "Mark List", kChoice, 2, Math_FFT_MarkAuto_List},
      {39, "Back", kAction, 1, Math_FFT_Mark_Back},
      {40, "Type", kChoice, 4, Math_FFT_Mark_Type},
      {41, "Mark Src", kChoice, 4, Math_FFT_MarkThreShold_Src},
      {kMathItemMarkLevel, "ThreShold", kMenuNumber | kKnob | MENU_FMT_VOLT, 1, Math_FFT_MarkThreShold_Adj},
      {43, "Mark List", kChoice, 2, Math_FFT_MarkThreShold_List},
      {44, "Back", kAction, 1, Math_FFT_Mark_Back},
      {45, "Type", kChoice, 4, Math_FFT_Mark_Type},
      {46, "Mark Src", kChoice, 4, Math_FFT_MarkManual_Src},
      {47, "SetToPeak", kAction | kKnob, 1, Math_FFT_MarkManual_SetToPeak},
      {48, "NextPeak", kAction, 1, Math_FFT_MarkManual_NextPeak},
      {49, "Back", kAction, 1, Math_FFT_Mark_Back},
      {50, "UserPreSets", kAction, 1, Math_FFT_UserPreSets},
      {54, "Back", kAction, 1, Math_FFT_Next},
      {55, "Enable", kChoice, 2, Math_FFT_EnhancedEnable, MenuChoices()},
      {56, "Traces", kAction, 1, Math_FFT_SpectrumTraces},
      {57, "Detection", kAction, 1, Math_FFT_Detection},
      {58, "Mark", kAction, 1, Math_FFT_Mark},
      {59, "Back", kAction, 1, Math_FFT_Next},
      {kMathItemDisplayMode, "Mode Sel", kChoice, 5, Math_FFT_DisplayModeSel, MenuChoices()},
      {kMathItemWaterfallSlice, "Slice Sel", kNumber | kKnob, 1, Math_FFT_AdjWaterFall,
       MenuLimits(1, 1, kSliceMax)},
      {64, "Back", kAction, 1, Math_FFT_DisplayModeBack},
      {kMathItemFreqMode, "FreqSel", kChoice, 2, Math_FFT_FreqSel},
      {66, "Start Freq", kMenuText | kKnob, 1, Math_FFT_StartFreq},
      {67, "End Freq", kMenuText, 1, Math_FFT_EndFreq},
      {68, "Tracking", kChoice, 2, Math_FFT_FreqTracking},
      {69, "Back", kAction, 1, Math_FFT_FreqSel_Back},
      {70, "FreqSel", kChoice, 2, Math_FFT_FreqSel},
      {71, "Center Freq", kMenuText | kKnob, 1, Math_FFT_CenterFreq},
      {72, "Bw", kMenuText, 1, Math_FFT_FreqBw},
      {74, "Back", kAction, 1, Math_FFT_FreqSel_Back},
      {75, "Average", kChoice, kAverageChoices, Math_SpectrumTraces_Average, MenuChoices()},
      {76, "Max Hold", kChoice, 2, Math_SpectrumTraces_MaxHold, MenuChoices()},
      {77, "Min Hold", kChoice, 2, Math_SpectrumTraces_MinHold, MenuChoices()},
      {78, "Reset Traces", kAction, 1, Math_SpectrumTraces_ResetTraces},
      {79, "Back", kAction, 1, Math_SpectrumTraces_Back},
      {80, "Real Time", kChoice, kFftDetectors, FFT_DetectionRealTime, MenuChoices()},
      {81, "Average", kChoice, kTraceChoices, FFT_DetectionAverage, MenuChoices()},
      {82, "Max Hold", kChoice, kTraceChoices, FFT_DetectionMaxHold, MenuChoices()},
      {83, "Min Hold", kChoice, kTraceChoices, FFT_DetectionMinHold, MenuChoices()},
      {84, "Back", kAction, 1, FFT_DetectionBack},
      {85, "Enable", kChoice, 2, Math_FFT_MarkEnable},
      {86, "MarkType", kChoice, 4, Math_FFT_MarkType},
      {87, "SetToPeak", kAction, 1, Math_FFT_MarkSetToPeak},
      {88, "SetToMin", kAction, 1, Math_FFT_MarkSetToMinimum},
      {89, "Next", kAction, 1, Math_FFT_MarkNext},
      {90, "ManuSelect", kChoice, 2, Math_FFT_MarkSelect},
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
  FftMarksReset();
  Math_FFT_Mark_Type(none);
  FftDetectorsReset();
}

int Math_FFT_Source(keypara k) {
  const int v = M().AdjMenuItemPara(k, kMathItemFftSource);
  if (v == 0 || v == 1) Fft().source = uint16_t(v);
  return v;
}

int Math_FFT_Window(keypara k) { return M().AdjMenuItemPara(k, kMathItemFftWindow); }
// A new unit brings its own scale (a dB axis of one dB a division would clip
// the spectrum and its floor).
int Math_FFT_Vertical(keypara k) {
  static int unit = -1;  // the unit the scale was last chosen for
  const int v = M().AdjMenuItemPara(k, kMathItemFftVertical);
  ShowMarkThreShold(v == 1);
  if (v == unit) return v;
  unit = v;
  if (v == 0) SetMarkThreShold(0);  // a dB level means nothing in volts
  if (MathOn() && Item(kMathItemType) == kMathFft) FftDefaultScale();
  return v;
}

// Points can not change while the spectrum is shown and stopped; from 128K
// on the waterfall modes are not offered.
int Math_FFT_Points(keypara k) {
  if (k.key != KEY_NO_KEY && MathOn() && Stopped()) {
    Message(kMsgStopped);
    return Item(kMathItemFftPoints);
  }
  const int before = Item(kMathItemFftPoints);
  const int v = M().AdjMenuItemPara(k, kMathItemFftPoints);
  const uint32_t points = MathFftPoints(v);
  if (!points) return -1;
  const bool noWaterfall = v >= kWaterfallPointsFrom;
  FftOfferDisplayModes();
  if (noWaterfall && before < kWaterfallPointsFrom && k.key != KEY_NO_KEY) Message(kMsgNoWaterfall);
  const uint32_t beforePoints = Fft().points;
  const double beforeWidth = beforePoints ? FftRate() / beforePoints : 0;
  Fft().points = points;
  WaveOp.UpdateFFTWaveDataSample();
  const long last = long(points / 2) - 1;
  if (k.key == KEY_NO_KEY || !(beforeWidth > 0) || beforePoints == points) {
    if (k.key == KEY_NO_KEY || Fft().endBin > uint32_t(last)) FftSetSpan(0, last);
  } else {
    // The shown frequencies stay where they were, in the new bins.
    const double width = FftRate() / points;
    const double scale = width > 0 ? beforeWidth / width : 1.0;
    FftSetSpan(long(Fft().startBin * scale), long(std::min<double>(last, Fft().endBin * scale)));
  }
  // The result in flight was made with the old count: it is dropped, and the
  // source's record read again.
  {
    std::lock_guard<std::mutex> lock(FftPara.lock);
    FftPara.flags |= kFftDiscard;
    ++FftPara.discards;
  }
  WaveOp.ClearScreenWave(Fft().source == 1 ? 1 : 0);
  WaveOp.RequestFFTData();
  return v;
}

void FftOfferDisplayModes() {
  const bool noWaterfall = Item(kMathItemFftPoints) >= kWaterfallPointsFrom;
  M().SetItemParaAttribute(kMathItemDisplayMode, (noWaterfall ? kWaterfallModes : 0) | FftEnhancedModeMask());
}

void FftDefaultScale() {
  Vertical.SetRealYsensitivity(kMathSlot, Item(kMathItemFftVertical) == 1 ? kDbScaleIndex : kMathDefaultVdiv);
}

// The FFT's factory view: first choices, 5 automatic marks, average depth 4,
// the handlers rerun, the display cleared, page of item 5.
int Math_FFT_UserPreSets(keypara) {
  static constexpr int kFirstValue[] = {6,  7,  8,  10, 20, 21, 23, 25, 30,
                                        35, 36, 38, 40, 41, 42, 45, 46, 60};
  M().SetMenuItem(37, kPresetMarks);
  M().SetMenuItem(kMathItemAverageSel, 2);
  for (int n : kFirstValue) M().SetMenuItem(n, 0);
  M().EnableItem(kMathItemAverageSel, false);
  M().EnableItem(kMathItemWaterfallSlice, false);
  const keypara none{KEY_NO_KEY, 0, 0};
  Math_FFT_Source(none);
  Math_FFT_Window(none);
  Math_FFT_Vertical(none);
  Math_FFT_Points(none);
  Math_FFT_DisplayModeSel(none);
  Math_FFT_Mark_Type(none);
  FftDetectorsReset();
  FftMarksReset();
  TaskMath.ClearFFTGrayScale();
  Page(kMathItemFftType);
  return 0;
}

void FftTypeOn() {
  if (SysRunStatus.GetTimeBaseType() == 1 && Fft().screen != kFftFull &&
      Fft().screen != kFftIndependent) {
    M().SetMenuItem(kMathItemDisplayMode, 0);
    Fft().screen = 0;
  }
  SetFFTScreenLength(short(Fft().screen));
  FftApplyScreenMode(Fft().screen, Fft().screen != kFftFull);
  FftDefaultScale();
  AdjMemDepth();
}

// Asks the acquire module for a deeper memory when the record is shorter than
// the FFT (8K points from a 7000-point record excepted).
int AdjMemDepth() {
  double depth = 0;
  if (SysRunStatus.GetMemDepth(&depth) == 0)
    depth = SysRunStatus.GetAutoMemDepthPoints(Fft().source == 1 ? 1 : 0);
  const double points = Fft().points;
  if (!(points > depth) || (points == kPointsBase && depth == kShortRecord)) return 0;
  taskresponse request{}, reply{};
  request.request = kAssistStepDepth;
  return TaskManage.RequestTaskAssist(kTaskAcquire, &request, &reply);
}

void FftBetweenSync(uint16_t key) {
  if (Item(kMathItemType) != kMathFft) return;
  if (std::find(std::begin(kTraceResetKeys), std::end(kTraceResetKeys), key) !=
      std::end(kTraceResetKeys)) {
    if (Fft().screen == kFftIndependent && MathOn() &&
        std::find(std::begin(kScaleKeys), std::end(kScaleKeys), key) != std::end(kScaleKeys))
      FFTCalculationDivScale();
    TaskMath.ClearFFTGrayScale();
  }
  if (key == kKeyDepthA || key == kKeyDepthB) {
    AdjMemDepth();
    FftSpanTexts();
  }
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

// The FFT pages' keys: the Mark1/Mark2 pages' knob, the frequency keypad
// closed when its pages are left (or F1, F4, F5 pressed on them), and the
// mark sources kept to traces that are on.
int MathFftPageOp(keypara k) {
  const int page = M().GetCurrPage();
  if (page == kMark1Page || page == kMark2Page) FFTMarkOp(k);
  if (FftFreqKeypadOpen()) {
    const bool freqPage = page == kMathItemFreqMode / kMenuSlots || page == kCentrePageItem / kMenuSlots;
    if (!freqPage || k.key == MENU_KEY_F1 || k.key == kKeyF4 || k.key == MENU_KEY_F5)
      FftFreqKeypadClose();
  }
  DetectionModeSyncMarkSource();
  return 0;
}
