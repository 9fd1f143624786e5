// The math menu: 23 pages (arithmetic, the FFT pages, logic, filter and the
// expression page), the Type item shared by five pages, the arithmetic,
// logic, filter and expression handlers and the page handler.
#include <algorithm>
#include <cstdio>

#include "analysis/math/math_calc.h"
#include "analysis/math/math_draw.h"
#include "analysis/fft/math_fft_menu.h"
#include "analysis/math/task_math.h"
#include "core/board/eeprom_map.h"
#include "core/menu/menu_def.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "acquisition/models/x_system.h"

namespace {
constexpr uint32_t kKnob = MENU_ATTR_FOCUS | MENU_ATTR_FOCUS_FIRST;
constexpr uint32_t kPercent = kMenuNumber | MENU_FMT_PERCENT;
constexpr int kThresholdMax = 200;
constexpr int kLimitMin = 1, kLimitMax = 100, kBandLowerMax = 98, kBandGap = 2;
constexpr int kInitLimit = 10;
constexpr int kMsgXY = 17, kMsgRoll = 83, kMsgAlternate = 84, kMsgLimit = 7;
constexpr int kRollTimeBaseAbove = 25;
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
const int kTypeItems[] = {kMathItemType, kMathItemFftType, kMathItemLogicType, kMathItemFilterTypeSel,
                          kMathItemAdvType, -1};
enum { kLogicNot = 2 };
enum { kLowPass = 0, kHighPass = 1 };

// Stored values outside their choices or limits take the initial ones.
const MenuItemDef kItems[] = {
    {kMathItemType, "Type", kMenuChoice, kMathTypes, Math_Type, MenuChoices()},
    {kMathItemSource1, "Source1", kMenuChoice, 2, Math_Math_Source1, MenuChoices()},
    {kMathItemOperator, "Operator", kMenuChoice, 4, Math_Math_Operator, MenuChoices()},
    {kMathItemSource2, "Source2", kMenuChoice, 2, Math_Math_Source2, MenuChoices()},
    {kMathItemLogicType, "Type", kMenuChoice, kMathTypes, Math_Type, MenuChoices()},
    {kMathItemLogicOp, "Expression", kMenuChoice, 4, Math_Logic_Expression, MenuChoices()},
    {kMathItemLogicSrc1, "Source1", kMenuChoice, 2, Math_Logic_Source1, MenuChoices()},
    {kMathItemLogicSrc2, "Source2", kMenuChoice, 2, Math_Logic_Source2, MenuChoices()},
    {kMathItemLogicNext, "Next", kMenuJump, 1, Math_Logic_Next},
    {kMathItemLogicInvert, "Invert", kMenuChoice, 2, Math_Logic_Invert, MenuChoices()},
    {kMathItemThreshold1, "ThreShold1", kMenuInt, 1, Math_Logic_Threshold1,
     MenuLimits(kMathThresholdCentre, 0, kThresholdMax)},
    {kMathItemThreshold2, "ThreShold2", kMenuInt, 1, Math_Logic_Threshold2,
     MenuLimits(kMathThresholdCentre, 0, kThresholdMax)},
    {kMathItemLogicBack, "Back", kMenuJump, 1, Math_Logic_Next},
    {kMathItemFilterTypeSel, "Type", kMenuChoice, kMathTypes, Math_Type, MenuChoices()},
    {kMathItemFilterSrc, "Source", kMenuChoice, 2, Math_Filter_Source, MenuChoices()},
    {kMathItemFilterType, "FilterType", kMenuChoice, 4, Math_Filter_Filter_Type, MenuChoices()},
    {kMathItemLowerLimit, "LowerLimit", kPercent, 1, Math_Filter_LowerLimit, MenuLimits(kInitLimit, kLimitMin, kLimitMax)},
    {kMathItemUpperLimit, "UpperLimit", kPercent | kKnob, 1, Math_Filter_UperLimit,
     MenuLimits(kInitLimit, kLimitMin, kLimitMax)},
    {kMathItemAdvType, "Type", kMenuChoice, kMathTypes, Math_Type, MenuChoices()},
    {kMathItemExpression, "Expression", kMenuChoice, 2, Math_Advance_Expression},
    {kMathItemDelete, "Delete", kMenuAction | MENU_ATTR_DISABLED, 1, Math_Advance_Delete},
    {kMathItemClear, "Clear", kMenuAction | MENU_ATTR_DISABLED, 1, Math_Advance_Clear},
    {kMathItemApply, "Apply", kMenuAction, 1, Math_Advance_Apply},
};
const char* const kPageNames[] = {
    "MATH-Math",     "Math-FFT1",     "Math-FFT2",   "Math-FFT3",    "DetectionMode", "DetectionMode",
    "Mark",          "MarkAuto",      "MarkThreShold", "MarkManual", "Math-FFT3",     "ENHANCED-FFT",
    "DisplayMode",   "FreqRange",     "CenterFreq",  "Spectrum",     "DetectMode",    "Mark1",
    "Mark2",         "Math-Logic1",   "Math-Logic2", "Math-Filter",  "Math-Advanced",
};
constexpr int kPages = int(sizeof kPageNames / sizeof kPageNames[0]);

menu BuildMenu() {
  menu m;
  std::snprintf(m.name, sizeof m.name, "%s", "Math");
  for (int p = 0; p < kPages; ++p) DefineMenuPage(&m, p, kPageNames[p], uint32_t(kTaskMath) << 8 | uint32_t(p), MathMenuOp);
  DefineMenuItems(&m, kEeMath, kItems);
  DefineMenuItems(&m, kEeMath, MathFftItems().data(), MathFftItems().size());
  return m;
}

TaskForMath& T() { return TaskMath; }
Menu& M() { return TaskMath.TaskMenu; }
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
void Message(int n) { QelMsg.SetMessage(n); }
bool IsKnob(uint16_t k) { return k == MENU_KEY_KNOB_UP || k == MENU_KEY_KNOB_DOWN; }
int KnobStep(keypara k) {
  const int s = k.useStep && k.step > 0 ? k.step : 1;
  return k.key == MENU_KEY_KNOB_UP ? s : -s;
}
void Grey(int n, bool greyed) { M().EnableItem(n, !greyed); }
void Focus(int n, std::initializer_list<int> group) {
  for (int i : group) {
    const uint32_t a = uint32_t(M().GetItemAttribute(i)) & ~kKnob;
    M().SetItemAttribute(i, i == n ? a | kKnob : a);
  }
}
bool MathOn() { return SysRunStatus.GetChStatus() >> kMathSlot & 1; }
void Sync() { SysRunStatus.SysRunInfoSync(kTaskMath); }

// A number item stepped by the knob within lo..hi; message 7 at a limit.
int StepItem(int n, keypara k, int lo, int hi) {
  if (!IsKnob(k.key)) return Item(n);
  const int want = Item(n) + KnobStep(k);
  const int v = std::clamp(want, lo, hi);
  if (v != want) Message(kMsgLimit);
  M().SetMenuItem(n, uint64_t(v));
  return v;
}
}  // namespace

menu TaskMathMenu = BuildMenu();
const uint16_t* Math_AdvanceTitle = nullptr;

void Math_MenuInit() {
  M().SetMenuItem(kMathItemType, 0);
  M().SetMenuItem(kMathItemWaterfallSlice, 1);
  M().SetMenuItem(kMathItemThreshold1, kMathThresholdCentre);
  M().SetMenuItem(kMathItemThreshold2, kMathThresholdCentre);
  M().SetMenuItem(kMathItemLowerLimit, kInitLimit);
  M().SetMenuItem(kMathItemUpperLimit, kInitLimit);
}

// Stored values outside their ranges take their defaults, then the handlers
// make the values take effect.
void Math_MenuReset() {
  M().ClampItems();
  for (const int* n = kTypeItems; *n >= 0; ++n) M().SetMenuItem(*n, uint64_t(Item(kMathItemType)));
  MathFftMenuReset();
  Math_Filter_Filter_Type(kNoKey);
  Math_Logic_Expression(kNoKey);
  Math_Logic_Threshold1(kNoKey);
  Math_Logic_Threshold2(kNoKey);
  Math_Filter_LowerLimit(kNoKey);
  Math_Filter_UperLimit(kNoKey);
}

int Math_Type(keypara k) {
  if (SysRunStatus.IsAlternate()) {
    Message(kMsgAlternate);
    return 0;
  }
  const int before = Item(kMathItemType);
  int n = kMathItemType;
  if (k.key >= MENU_KEY_F1 && k.key <= MENU_KEY_F5) n = M().GetCurrPage() * kMenuSlots + (k.key - MENU_KEY_F1);
  else if (M().GetMenuPopItem() >= 0 && M().MenuItemIsPop(M().GetMenuPopItem())) n = M().GetMenuPopItem();
  const int v = M().AdjMenuLinkageItemPara(nullptr, k, n, kTypeItems);
  if (v >= kMathTypes) return 0;
  if (TaskManage.GetTaskCurrId() == kTaskMath) T().ShowTypePage();
  if (v == before && k.key != KEY_NO_KEY) return 0;
  math.ClearMathWave();
  T().ClearAllDisplayBits();
  T().ApplyType();
  if (!(MathOn() && v == kMathAdvance)) M().SetMenuItem(kMathItemExpression, 0);
  T().MathNumKeySel = 0;
  return 0;
}

int Math_Math_Source1(keypara k) { return M().AdjMenuItemPara(k, kMathItemSource1); }
int Math_Math_Operator(keypara k) { return M().AdjMenuItemPara(k, kMathItemOperator); }
int Math_Math_Source2(keypara k) { return M().AdjMenuItemPara(k, kMathItemSource2); }

int Math_Logic_Expression(keypara k) {
  const bool notOp = M().AdjMenuItemPara(k, kMathItemLogicOp) == kLogicNot;
  Grey(kMathItemLogicSrc2, notOp);
  Grey(kMathItemThreshold2, notOp);
  return 0;
}
int Math_Logic_Source1(keypara k) { return M().AdjMenuItemPara(k, kMathItemLogicSrc1); }
int Math_Logic_Source2(keypara k) {
  if (M().ItemDisabled(kMathItemLogicSrc2) && k.key != KEY_NO_KEY) return Item(kMathItemLogicSrc2);
  return M().AdjMenuItemPara(k, kMathItemLogicSrc2);
}
int Math_Logic_Invert(keypara k) { return M().AdjMenuItemPara(k, kMathItemLogicInvert); }

int Math_Logic_Next(keypara) {
  M().SetCurrPage(M().GetCurrPage() == kMathItemLogicType / kMenuSlots ? kMathItemLogicInvert : kMathItemLogicType);
  return 0;
}

namespace {
// Thresholds: the soft key takes the knob, the knob moves one code a step
// and shows the threshold lines.
int Threshold(int n, keypara k) {
  if (M().ItemDisabled(n) && k.key != KEY_NO_KEY) return Item(n);
  if (k.key == Menu::MenuItemToFx(n)) {
    Focus(n, {kMathItemThreshold1, kMathItemThreshold2});
    return 0;
  }
  if (IsKnob(k.key) || k.key == MENU_KEY_SELECT) {
    T().SetDisplayBits(kMathShowThreshold);
    mathDraw.DrawThreshold(n == kMathItemThreshold1 ? kMathDrawThreshold1 : kMathDrawThreshold2);
    TaskManage.AddUserTaskDisplay(kTaskMath, 1, 0);
  }
  return StepItem(n, k, 0, kThresholdMax);
}

// Filter limits in percent of half the screen sample rate; in the band types
// the lower one stays below the upper by two.
int Limit(int n, keypara k) {
  if (M().ItemDisabled(n) && k.key != KEY_NO_KEY) return Item(n);
  if (k.key == Menu::MenuItemToFx(n)) {
    Focus(n, {kMathItemLowerLimit, kMathItemUpperLimit});
    return 0;
  }
  const bool band = Item(kMathItemFilterType) > kHighPass;
  int lo = kLimitMin, hi = kLimitMax;
  if (band && n == kMathItemLowerLimit) hi = std::min(kBandLowerMax, Item(kMathItemUpperLimit) - kBandGap);
  if (band && n == kMathItemUpperLimit) lo = Item(kMathItemLowerLimit) + kBandGap;
  const int v = StepItem(n, k, lo, hi);
  if (v < lo || v > hi) M().SetMenuItem(n, uint64_t(std::clamp(v, lo, hi)));
  return Item(n);
}
}  // namespace

int Math_Logic_Threshold1(keypara k) { return Threshold(kMathItemThreshold1, k); }
int Math_Logic_Threshold2(keypara k) { return Threshold(kMathItemThreshold2, k); }
int Math_Filter_Source(keypara k) { return M().AdjMenuItemPara(k, kMathItemFilterSrc); }
int Math_Filter_LowerLimit(keypara k) { return Limit(kMathItemLowerLimit, k); }
int Math_Filter_UperLimit(keypara k) { return Limit(kMathItemUpperLimit, k); }

int Math_Filter_Filter_Type(keypara k) {
  const int type = M().AdjMenuItemPara(k, kMathItemFilterType);
  Grey(kMathItemLowerLimit, type == kLowPass);
  Grey(kMathItemUpperLimit, type == kHighPass);
  Focus(type == kLowPass ? kMathItemUpperLimit : kMathItemLowerLimit, {kMathItemLowerLimit, kMathItemUpperLimit});
  return 0;
}

// --- the expression page ---

int Math_Advance_Expression(keypara k) {
  const bool open = M().AdjMenuItemPara(k, kMathItemExpression) != 0;
  for (int n : {kMathItemDelete, kMathItemClear, kMathItemApply}) Grey(n, !open);
  if (open) {
    T().SetDisplayBits(kMathShowKeypad);
    TaskManage.AddUserTaskDisplay(kTaskMath, 1, 0);
    T().SetItemValidFlag();
    T().JumpToValidItem();
  } else {
    T().ClearDisplayBits(kMathShowKeypad);
  }
  return 0;
}

int Math_Advance_Delete(keypara) {
  if (!Item(kMathItemExpression) || M().ItemDisabled(kMathItemDelete)) return 0;
  T().AdvanceDelete();
  T().SetItemValidFlag();
  T().JumpToValidItem();
  return 0;
}

int Math_Advance_Clear(keypara) {
  if (M().ItemDisabled(kMathItemClear)) return 0;
  math.ClearMathWave();
  T().AdvanceInit();
  return 0;
}

int Math_Advance_Apply(keypara) {
  if (T().ApplyExpression() == 0) Grey(kMathItemDelete, true), Grey(kMathItemClear, true);
  return 0;
}

// --- the page handler ---

int MathMenuOp(keypara k) {
  if (k.key == kKeyMath) {
    if (SysRunStatus.GetDiplayFormat() == 1) {
      Message(kMsgXY);
    } else if (SysRunStatus.IsAlternate()) {
      Message(kMsgAlternate);
    } else if (TimeBase.GetRealTimeBase(0) > kRollTimeBaseAbove && SysRunStatus.GetTriggerMode() == 0) {
      Message(kMsgRoll);
    } else {
      T().MathKey();
    }
  } else if (Item(kMathItemType) == kMathAdvance && Item(kMathItemExpression)) {
    if (IsKnob(k.key)) {
      const short step = short(k.useStep && k.step > 0 ? k.step : 1);
      T().SetAdvanceIndex(k.key == MENU_KEY_KNOB_DOWN ? short(-step) : step);
    } else if (k.key == MENU_KEY_SELECT) {
      T().AdvanceSelect();
      T().SetItemValidFlag();
      T().SetAdvanceIndex(1);  // on to the next key that may follow
    }
  } else if (Item(kMathItemType) == kMathFft) {
    MathFftPageOp(k);
  }
  Sync();
  return 0;
}
