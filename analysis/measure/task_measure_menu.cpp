// The measure module's menu: six pages (sources and panels; statistics,
// voltmeter page and indicator lines; clearing the slots; the voltmeter; the
// histogram; the histogram area), their item handlers and the page handler.
#include <algorithm>
#include <cstdio>

#include "acquisition/models/y_system.h"
#include "analysis/measure/task_measure.h"
#include "core/board/eeprom_map.h"
#include "core/menu/menu_def.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"

namespace {
constexpr uint32_t kKnob = MENU_ATTR_FOCUS | MENU_ATTR_FOCUS_FIRST;
constexpr uint32_t kAttrProcess = 0, kAttrDisplay = 1, kAttrIndicatorDisplay = 3;
constexpr int kMsgNoSlots = 76, kMsgIndicatorRefused = 98;
constexpr uint64_t kRunFuncFft = 0x20;
constexpr int kAcCoupling = 1;
constexpr uint32_t kDcModesHidden = 0x3;  // choices 0 and 1 of the mode item
constexpr int kModeAcRms = 2;
constexpr int kAreaColumns = 700, kAreaRowLast = 199;
constexpr int kAreaDefaults[4] = {10, 690, 120, 150};
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};

// A stored source or indicator that is none of the item's choices (a blank
// EEPROM) takes choice 0.
const MenuItemDef kItems[] = {
    {kMeaMasterSrc, "MasterSrc", kMenuChoice, 3, Measure_MasterSrc, MenuChoices()},
    {kMeaSlaveSrc, "SlaveSrc", kMenuChoice, 3, Measure_SlaveSrc, MenuChoices()},
    {kMeaAllPara, "All Para", kMenuChoice, 2, Measure_AllPara},
    {kMeaUserDef, "User Def", kMenuKnobChoice, 2, Measure_UserDef},
    {kMeaNext0, "Next", kMenuAction, 1, MeasureNext},
    {kMeaStatistic, "Statistic", kMenuChoice, 3, Measure_Statistic},
    {kMeaDvmPage, "DVM", kMenuAction, 1, MeasureDVM},
    {kMeaIndicator, "Indicator", kMenuChoice, 2, Measure_IndicatorEnable},
    {kMeaIndicatorSel, "IndicatorSel", kMenuKnobChoice, kMeaParas, Measure_IndicatorSel, MenuChoices()},
    {kMeaNext1, "Next", kMenuAction, 1, MeasureNext},
    {kMeaClear, "Clear", kMenuAction, 1, Measure_Clear},
    {kMeaHistPage, "Histogram", kMenuAction, 1, MeasureHistogram},
    {kMeaBack2, "Back", kMenuAction, 1, MeasureNext},
    {kMeaDvm, "DVM", kMenuChoice, 2, MeasureDVMFuncOnOFF},
    {kMeaDvmSource, "Source", kMenuChoice, 2, MeasureDVMSource},
    {kMeaDvmMode, "Mode", kMenuChoice, 3, MeasureDVMMode},
    {kMeaDvmBack, "Back", kMenuAction, 1, MeasureDVMBack},
    {kMeaHistogram, "Histogram", kMenuChoice, 3, HistogramType},
    {kMeaHistSource, "Source", kMenuChoice, 2, HistogramSource},
    {kMeaAreaSet, "Area Set", kMenuAction, 1, HistogramAreaSet},
    {kMeaHistBack, "Back", kMenuAction, 1, HistogramBack},
    {kMeaHoriL, "HoriLimit L", kMenuInt | kKnob, 1, AreaSetHoriLimit_L},
    {kMeaHoriR, "HoriLimit R", kMenuInt, 1, AreaSetHoriLimit_R},
    {kMeaVertT, "VertLimit T", kMenuInt, 1, AreaSetVertLimit_T},
    {kMeaVertB, "VertLimit B", kMenuInt, 1, AreaSetVertLimit_B},
    {kMeaAreaBack, "Back", kMenuAction, 1, AreaSetVertLimit_Back},
};
const char* const kPageNames[] = {"MEASURE-1", "MEASURE-2", "MEASURE-3", "MEASURE-3", "Histogram", "Hori"};

menu BuildMenu() {
  menu m;
  std::snprintf(m.name, sizeof m.name, "%s", "Measure");
  for (int p = 0; p < 6; ++p) DefineMenuPage(&m, p, kPageNames[p], uint32_t(kMeasureTaskId) << 8 | uint32_t(p), MeasureMenuOp);
  DefineMenuItems(&m, kEeMeasure, kItems);
  return m;
}

TaskForMeasure& T() { return TaskMeasure; }
Menu& M() { return TaskMeasure.TaskMenu; }
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
_SysResource& Sys() { return TaskMeasure.Sys(); }
task_manage& Manager() { return TaskMeasure.Manager(); }
void Message(int n) {
  if (Sys().message) Sys().message->SetMessage(n);
}
void Process() { Manager().AddUserTaskProcess(kMeasureTaskId, kAttrProcess, 0); }
void Show() { Manager().AddUserTaskDisplay(kMeasureTaskId, kAttrDisplay, 0); }
bool StatisticChosen() { return Item(kMeaStatistic) == 1 || Item(kMeaStatistic) == 2; }
bool IsKnob(uint16_t k) { return k == MENU_KEY_KNOB_UP || k == MENU_KEY_KNOB_DOWN; }
void Page(int p) { M().SetCurrPage(p * kMenuSlots); }

// The panels that share the screen with the user-selected panel come back
// when it or the all-parameters panel goes.
void RestoreAfterPanel(bool resetStatistics) {
  if (Item(kMeaIndicator) == 1) T().IndicatorOnOff(1);
  if (T().GetSelBit() && StatisticChosen()) {
    T().StatisticOnOff(1);
    if (resetStatistics) T().ClearStatPara();
  }
}

// Panels hidden and their items off, the user-panel toggle reset.
void HidePanels() {
  T().AllParaOnOff(0);
  T().UserDefOnOff(0);
  T().SetUserPanel(0);
  M().SetMenuItem(kMeaAllPara, 0);
  M().SetMenuItem(kMeaUserDef, 0);
}

// The histogram area: a soft key gives the item the select knob; the knob
// moves the item's limit within the other limit of its pair.
int AreaLimit(int n, keypara k) {
  if (k.key == Menu::MenuItemToFx(n)) {
    for (int i = kMeaHoriL; i <= kMeaVertB; ++i) {
      const uint32_t a = uint32_t(M().GetItemAttribute(i)) & ~kKnob;
      M().SetItemAttribute(i, i == n ? a | kKnob : a);
    }
    return 0;
  }
  if (!IsKnob(k.key)) return 0;
  const int v = Item(n) + (k.key == MENU_KEY_KNOB_UP ? 1 : -1);
  const int l = Item(kMeaHoriL), r = Item(kMeaHoriR), t = Item(kMeaVertT), b = Item(kMeaVertB);
  int out = v;
  switch (n) {
    case kMeaHoriL: out = std::clamp(v, 0, std::min(r - 1, kAreaColumns - 1)); break;
    case kMeaHoriR: out = v > l && v <= kAreaColumns ? v : l + 1; break;
    case kMeaVertT: out = v >= 0 && v < b ? v : b - 1; break;
    case kMeaVertB: out = v > t && v <= kAreaRowLast ? v : t + 1; break;
    default: break;
  }
  M().SetMenuItem(n, uint64_t(std::clamp(out, 0, kAreaColumns)));
  return 0;
}
}  // namespace

menu TaskMeasureMenu = BuildMenu();

void MeasureLimitItems() { M().ClampItems(); }

void Measure_MenuInit() {
  M().SetMenuItem(kMeaAllPara, 0);
  M().SetMenuItem(kMeaStatistic, 0);
  M().SetMenuItem(kMeaIndicator, 0);
  for (int i = 0; i < 4; ++i) M().SetMenuItem(kMeaHoriL + i, uint64_t(kAreaDefaults[i]));
  Measure_MenuReset();
}

void Measure_MenuReset() {
  MeasureLimitItems();
  Measure_AllPara(kNoKey);
  Measure_UserDef(kNoKey);
  Measure_Statistic(kNoKey);
  Measure_IndicatorEnable(kNoKey);
  MeasureDVMFuncOnOFF(kNoKey);
  // The source first: the modes an AC-coupled channel leaves are its own.
  MeasureDVMSource(kNoKey);
  MeasureDVMModeSync();
  MeasureMenuOp(kNoKey);
}

int Measure_MasterSrc(keypara k) {
  const int v = M().AdjMenuItemPara(k, kMeaMasterSrc);
  if (Sys().runStatus) Sys().runStatus->SetMeaMasterSource(v);
  return 0;
}

int Measure_SlaveSrc(keypara k) {
  M().AdjMenuItemPara(k, kMeaSlaveSrc);
  return 0;
}

int Measure_AllPara(keypara k) {
  if (M().AdjMenuItemPara(k, kMeaAllPara) == 1) {
    Process();
    Show();
    T().AllParaOnOff(1);
    M().SetMenuItem(kMeaUserDef, 0);
    T().SetUserPanel(0);
    return 0;
  }
  T().AllParaOnOff(0);
  RestoreAfterPanel(false);
  return 0;
}

int Measure_UserDef(keypara k) {
  if (k.key == MENU_KEY_SELECT || IsKnob(k.key)) {
    if (T().IsUserDefOn()) T().UserDefSel(k);
    return 0;
  }
  if (k.key != Menu::MenuItemToFx(kMeaUserDef)) return 0;
  T().SetUserPanel(!T().UserPanel());
  M().SetMenuItem(kMeaUserDef, uint64_t(T().UserPanel()));
  if (T().UserPanel()) {
    Show();
    M().SetMenuItem(kMeaAllPara, 0);
    T().AllParaOnOff(0);
    T().UserDefOnOff(1);
    return 0;
  }
  T().UserDefOnOff(0);
  RestoreAfterPanel(true);
  return 0;
}

int MeasureNext(keypara) {
  const int page = M().GetCurrPage();
  Page(page == 0 ? 1 : page == 1 ? 2 : 0);
  return 0;
}

int MeasureDVM(keypara) {
  Page(3);
  return 0;
}

int MeasureDVMBack(keypara) {
  Page(1);
  return 0;
}

int MeasureHistogram(keypara) {
  Page(4);
  return 0;
}

int HistogramAreaSet(keypara) {
  Page(5);
  return 0;
}

int AreaSetVertLimit_Back(keypara) {
  Page(4);
  return 0;
}

int HistogramBack(keypara) { return 0; }

int Measure_Statistic(keypara k) {
  if (k.key == MENU_KEY_F1 && T().GetSelBit() == 0) {
    Message(kMsgNoSlots);
    return 0;
  }
  if (M().AdjMenuItemPara(k, kMeaStatistic) == 0) {
    T().StatisticOnOff(0);
    return 0;
  }
  T().ClearStatPara();
  HidePanels();
  T().StatisticOnOff(1);
  Process();
  Show();
  return 0;
}

int Measure_IndicatorEnable(keypara k) {
  _SysRunInfoOp* run = Sys().runStatus;
  if (run && (run->GetFuncBits() & kRunFuncFft) && run->GetFFTScreen() != 0) {
    M().SetMenuItem(kMeaIndicator, 0);
    T().IndicatorOnOff(0);
    if (k.key != KEY_NO_KEY) Message(kMsgIndicatorRefused);
    return 0;
  }
  if (M().AdjMenuItemPara(k, kMeaIndicator) == 0) {
    T().IndicatorOnOff(0);
    return 0;
  }
  Process();
  Show();
  HidePanels();
  T().IndicatorOnOff(1);
  return 0;
}

int Measure_IndicatorSel(keypara k) {
  if (!IsKnob(k.key)) return 0;
  const int count = std::max(1, M().GetMenuItemMaxSel(kMeaIndicatorSel));
  int v = Item(kMeaIndicatorSel) + (k.key == MENU_KEY_KNOB_UP ? 1 : -1);
  if (v < 0) v = count - 1;
  if (v >= count) v = 0;
  M().SetMenuItem(kMeaIndicatorSel, uint64_t(v));
  return 0;
}

int Measure_Clear(keypara) { return T().ClearUserDef(); }

int MeasureDVMFuncOnOFF(keypara k) {
  if (T().IsAllParaOn() || T().IsUserDefOn() || T().GetSelBit()) {
    T().AllParaOnOff(0);
    T().UserDefOnOff(0);
  }
  if (M().AdjMenuItemPara(k, kMeaDvm) == 1) {
    Process();
    Show();
    T().DVMOnOff(1);
    T().SetUserPanel(0);
    return 0;
  }
  T().DVMOnOff(0);
  if (!T().IsAllParaOn() && !T().IsIndicatorOn() && T().GetSelBit() == 0) {
    Manager().DelUserTaskProcess(kMeasureTaskId);
    Manager().DelUserTaskDisplay(kMeasureTaskId);
  }
  return 0;
}

int MeasureDVMSource(keypara k) {
  T().SetDVMSource(M().AdjMenuItemPara(k, kMeaDvmSource));
  return 0;
}

int MeasureDVMMode(keypara k) {
  T().SetDVMMode(M().AdjMenuItemPara(k, kMeaDvmMode));
  return 0;
}

// An AC-coupled voltmeter channel reads only AC RMS.
int MeasureDVMModeSync() {
  const int ch = T().GetDVMSource();
  if (!Sys().runStatus || !(Sys().runStatus->GetChStatus() >> ch & 1) || !Sys().vertical) return 0;
  if (Sys().vertical->GetChCoupling(ch) == kAcCoupling) {
    M().SetMenuItem(kMeaDvmMode, kModeAcRms);
    M().SetItemParaAttribute(kMeaDvmMode, kDcModesHidden);
  } else {
    M().SetItemParaAttribute(kMeaDvmMode, 0);
  }
  return MeasureDVMMode(kNoKey);
}

// The sync, when the mode item does not stand as the channel's coupling asks:
// a coupling set by a remote command passes no key of the channel's.
int MeasureDVMFollowCoupling() {
  const int ch = T().GetDVMSource();
  if (!Sys().runStatus || !(Sys().runStatus->GetChStatus() >> ch & 1) || !Sys().vertical) return 0;
  const bool ac = Sys().vertical->GetChCoupling(ch) == kAcCoupling;
  const bool forced = M().ChoiceGreyed(kMeaDvmMode, 0);
  if (ac == forced && (!ac || T().GetDVMMode() == kModeAcRms)) return 0;
  return MeasureDVMModeSync();
}

int HistogramType(keypara k) {
  if (M().AdjMenuItemPara(k, kMeaHistogram) != 0) {
    T().HistogramInit();
    T().HistogramOnOff(1);
    Show();
    M().SetMenuItem(kMeaAllPara, 0);
    M().SetMenuItem(kMeaUserDef, 0);
    T().AllParaOnOff(0);
    return 0;
  }
  T().HistogramOnOff(0);
  Manager().DelUserTaskDisplay(kMeasureTaskId);
  return 0;
}

int HistogramSource(keypara k) {
  M().AdjMenuItemPara(k, kMeaHistSource);
  return 0;
}

int AreaSetHoriLimit_L(keypara k) { return AreaLimit(kMeaHoriL, k); }
int AreaSetHoriLimit_R(keypara k) { return AreaLimit(kMeaHoriR, k); }
int AreaSetVertLimit_T(keypara k) { return AreaLimit(kMeaVertT, k); }
int AreaSetVertLimit_B(keypara k) { return AreaLimit(kMeaVertB, k); }

int MeasureMenuOp(keypara k) {
  std::printf("MeasureMenuOp  0x%x \n", k.key);
  if (k.key == kMeasureKey) {
    Manager().ActiveTask(kMeasureTaskId, 0);
    Page(0);
    Measure_IndicatorEnable(kNoKey);
    T().CheckDisplayFormat();
  }
  if (M().GetCurrPage() == 1 && Item(kMeaIndicator) == 1)
    Manager().AddUserTaskDisplay(kMeasureTaskId, kAttrIndicatorDisplay, 0);
  if (Manager().FindUserTaskDisplay(kMeasureTaskId) == TASK_LISTED) Manager().SetUserTaskTopDiplay(kMeasureTaskId);
  return 0;
}
