// The utility module's menu definition, its page handlers and the handlers
// of the items that only set the hardware or open a page.
#include <cstdio>
#include <utility>

#include "acquisition/models/x_system.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/fpga_words.h"
#include "core/board/i2c_storage.h"
#include "core/menu/menu_def.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "platform/root.h"
#include "system/utility/pass_fail.h"
#include "system/recorder/recorder.h"
#include "system/calibration/self_cali.h"
#include "system/utility/task_utility.h"
#include "system/utility/task_utility_internal.h"

menu* UtilityMenu = nullptr;
int UtiliAttrib = 0;
int UtilityAdjType = 0;

namespace {
constexpr uint32_t kPageStep = kMenuJump;
constexpr uint32_t kKnobTime = kMenuNumber | MENU_FMT_TIME | MENU_ATTR_FOCUS;  // ticks of 4 ns, takes the knob
constexpr uint32_t kShownInt = kMenuInt | MENU_ATTR_FROZEN;                    // "%d", only shown
constexpr int kRollTimeBase = 25;             // real time-base indices above it roll
constexpr int kMsgPassFail = 85;
constexpr int kCounterGate = 2, kCounterPeriod = 3, kCounterCh2 = 1;

struct PageRow {
  int page;
  const char* name;
  uint32_t id;
  MenuHandler handler;
};
const PageRow kPages[] = {
    {kUtiPageUtility1, "Utility-1", 0x401, Utility_MenuOp},
    {kUtiPageUtility2, "Utility-2", 0x402, Utility_MenuOp},
    {kUtiPageUtility3, "Utility-3", 0x403, Utility_MenuOp},
    {kUtiPageSelfCali, "SelfCali", 0, Utili_SelfCaliMenuOp},
    {kUtiPageTime, "TimeSet", 0, Utility_TimeMenuOp},
    {kUtiPageIp, "Ipconfig", 0, Utility_IPMenuOp},
    {kUtiPageRecOp, "Record-Op", 0, Utility_RecMenuOp},
    {kUtiPageRecOp2, "Record-Op", 0, Utility_RecMenuOp},
    {kUtiPageRecSet, "Record-Set", 0, Utility_MenuOp},
    {kUtiPagePrtSc, "PrintScreen", 0, Utility_MenuOp},
    {kUtiPagePf1, "PassFail-1", 0x201, PassFailOp},
    {kUtiPagePf2, "PassFail-2", 0x202, PassFailOp},
    {kUtiPagePfStop, "StopSetup", 0, PassFailOp},
    {kUtiPagePfMask, "MaskSetup", 0, PassFailOp},
    {kUtiPageClear, "ClearData", 0, Utili_ClearDataMenuOp},
};

// The stored items keep one byte each at the map's address; the others live
// only in the menu.
const MenuItemDef kItems[] = {
    {kUtiSelfCal, "Self Cal", kMenuAction, 1, Utility_SelfCali, kMenuUnranged, MenuStore::kNotStored},
    {kUtiVersion, "Version", kMenuChoice, 2, Utility_Version, kMenuUnranged, MenuStore::kNotStored},
    {kUtiLanguage, "Language", kMenuChoice, 2, Utility_Language, MenuChoices(0)},
    {kUtiRecord, "Record", kPageStep, 1, Utility_Record, kMenuUnranged, MenuStore::kNotStored},
    {kUtiNext1, "Next", kPageStep, 1, Utility_Next, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPassFail, "PassFail", kPageStep, 1, Utility_PassFail, kMenuUnranged, MenuStore::kNotStored},
    {kUtiSquare, "Square", kMenuChoice, 4, Utility_Square, MenuChoices(kUtiSquareDefault)},
    {kUtiCymometer, "Cymometer", kMenuChoice, 2, Utility_Cymometer, MenuChoices(kUtiCymometerDefault)},
    {kUtiOutputSel, "Output Sel", kMenuChoice, 2, Utility_OutputSel, MenuChoices(0)},
    {kUtiNext2, "Next", kPageStep, 1, Utility_Next, kMenuUnranged, MenuStore::kNotStored},
    {kUtiClearData, "Clear Data", kPageStep, 1, Utility_ClearData, kMenuUnranged, MenuStore::kNotStored},
    {kUtiSetTime, "Set Time", kPageStep, 1, Utility_SetTime, kMenuUnranged, MenuStore::kNotStored},
    {kUtiIpConfig, "IP Config", kPageStep, 1, Utility_IPConfig, kMenuUnranged, MenuStore::kNotStored},
    {kUtiBootRest, "BootRest", kMenuChoice, 2, Utility_BootRest, MenuChoices(0)},
    {kUtiNext3, "Next", kPageStep, 1, Utility_Next, kMenuUnranged, MenuStore::kNotStored},
    {kUtiCaliSure, "Sure", kMenuAction, 1, Utili_SelfCali_Sure, kMenuUnranged, MenuStore::kNotStored},
    {kUtiCaliCancel, "Cancel", kMenuAction, 1, Utili_SelfCali_Cancel, kMenuUnranged, MenuStore::kNotStored},
    {kUtiTimeReset, "Reset", kMenuAction, 1, Utility_SetTime_Reset, kMenuUnranged, MenuStore::kNotStored},
    {kUtiTimeSure, "Sure", kMenuAction, 1, Utility_SetTime_Sure, kMenuUnranged, MenuStore::kNotStored},
    {kUtiTimeCancel, "Cancel", kMenuAction, 1, Utility_SetTime_Cancel, kMenuUnranged, MenuStore::kNotStored},
    {kUtiIpType, "IP Type", kMenuChoice, 2, Utility_IpConf_IpType, MenuChoices(kUtiIpTypeDefault)},
    {kUtiIpAddr, "IP Addr", kMenuAction, 1, Utility_IpConf_IpAddr, kMenuUnranged, MenuStore::kNotStored},
    {kUtiSubMask, "Sub Mask", kMenuAction, 1, Utility_IpConf_SubMask, kMenuUnranged, MenuStore::kNotStored},
    {kUtiIpSure, "Sure", kMenuAction, 1, Utility_IpConf_Sure, kMenuUnranged, MenuStore::kNotStored},
    {kUtiIpCancel, "Cancel", kMenuAction, 1, Utility_IpConf_Cancel, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecPlay, "Play", kMenuAction, 1, Utility_Rec_Op_Play, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecStop, "Stop", kMenuAction, 1, Utility_Rec_Op_Stop, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecRecord, "Record", kMenuAction, 1, Utility_Rec_Op_Record, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecFast, "FastRec", kMenuChoice, 2, Utility_Rec_FastRecord, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecOff, "Off", kPageStep, 1, Utility_Rec_Op_Next, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecSet, "Set", kPageStep, 1, Utility_Rec_Op_Set, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecExit, "Exit", kMenuAction, 1, Utility_Rec_Op_Close, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecBack, "Back", kPageStep, 1, Utility_Rec_Back, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecInterval, "Interval", kKnobTime, 1, Utility_Rec_Set_Interval, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecEndFrame, "End Frame", kMenuKnobInt, 1, Utility_Rec_Set_EndFrame, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecPlayDelay, "Play Delay", kKnobTime, 1, Utility_Rec_Set_PlayDelay, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecMaxFrame, "Max Frame", kShownInt, 1, Utility_Rec_Set_MaxFrame, kMenuUnranged, MenuStore::kNotStored},
    {kUtiRecSetBack, "Back", kPageStep, 1, Utility_Rec_Set_Back, kMenuUnranged, MenuStore::kNotStored},
    {kUtiSaveInk, "Save ink", kMenuChoice, 2, Utility_PrintScreen_SaveInk, MenuChoices(0)},
    {kUtiPrintView, "Print View", kMenuChoice, 2, Utility_PrintScreen_View, kMenuUnranged, MenuStore::kNotStored},
    {kUtiViewNext, "View Next", kMenuAction, 1, Utility_PrintScreen_ViewNext, kMenuUnranged, MenuStore::kNotStored},
    {kUtiViewPrevious, "View Previous", kMenuAction, 1, Utility_PrintScreen_ViewPrevious, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPrtScBack, "Back", kPageStep, 1, Utility_PrintScreen_Back, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfEnable, "Enable", kMenuChoice, 2, PassFail_Enable, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfOperate, "Operate", kMenuChoice, 2, PassFail_Operate, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfOutput, "Output", kMenuChoice, 2, PassFail_Output, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfSource, "Source", kMenuChoice, 2, PassFail_Source, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfNext, "Next", kPageStep, 1, PassFail_Next, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfStopSetup, "StopSetup", kPageStep, 1, PassFail_StopSetup, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfMaskSetup, "MaskSetup", kPageStep, 1, PassFail_MaskSetup, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfReturn, "Return", kMenuAction, 1, PassFail_Return, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfBack, "Back", kPageStep, 1, PassFail_Back, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfStopType, "StopType", kMenuChoice, 2, PassFail_StopSetup_StopType, MenuLimits(kUtiPfStopTypeStart, 0, 1), MenuStore::kNotStored},
    {kUtiPfWhen, "When", kMenuChoice, 2, PassFail_StopSetup_When, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfThreshold, "Threshold", kMenuKnobInt, 1, PassFail_StopSetup_Threshold, MenuLimits(kUtiPfThresholdStart, kUtiPfThresholdMin, kUtiPfThresholdMax), MenuStore::kNotStored},
    {kUtiPfStopBack, "Back", kPageStep, 1, PassFail_StopSetup_Back, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfRefChannel, "Ref Channel", kMenuChoice, 2, PassFail_RefChannel, kMenuUnranged, MenuStore::kNotStored},
    {kUtiPfHoriMask, "Hori Mask", kMenuKnobInt, 1, PassFail_HoriMask, MenuLimits(kUtiPfMaskStart, kUtiPfMaskMin, kUtiPfMaskMax), MenuStore::kNotStored},
    {kUtiPfVertMask, "Vert Mask", kMenuKnobInt, 1, PassFail_VertMask, MenuLimits(kUtiPfMaskStart, kUtiPfMaskMin, kUtiPfMaskMax), MenuStore::kNotStored},
    {kUtiPfMaskBack, "Back", kPageStep, 1, PassFail_MaskStep_Back, kMenuUnranged, MenuStore::kNotStored},
    {kUtiClearSure, "Sure", kMenuAction, 1, Utili_ClearData_Sure, kMenuUnranged, MenuStore::kNotStored},
    {kUtiClearCancel, "Cancel", kMenuAction, 1, Utili_ClearData_Cancel, kMenuUnranged, MenuStore::kNotStored},
};

const std::pair<int, uint32_t> kWideItems[] = {
    {kUtiRecInterval, MENU_U32}, {kUtiRecEndFrame, MENU_U16}, {kUtiRecPlayDelay, MENU_U32},
    {kUtiRecMaxFrame, MENU_U16}, {kUtiPfThreshold, MENU_U16}, {kUtiPfHoriMask, MENU_U16},
    {kUtiPfVertMask, MENU_U16}};

menu BuildMenu() {
  menu m;
  std::snprintf(m.name, sizeof m.name, "%s", "Utility");
  for (const PageRow& p : kPages) DefineMenuPage(&m, p.page, p.name, p.id, p.handler);
  DefineMenuItems(&m, kEeUtility, kItems);
  // Values wider than a byte that live only in the menu.
  for (const auto& [n, width] : kWideItems) m.pages[n / kMenuSlots].items[n % kMenuSlots].width = width;
  return m;
}

_SysRunInfoOp& Run() { return TaskUtility.Run(); }
task_manage& Manager() { return TaskUtility.Manager(); }
bool Func(uint64_t bits) { return (Run().GetFuncBits() & bits) != 0; }
}  // namespace

bool UtiExcluded(const UtiExclusion* list, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (Func(list[i].bit)) {
      UtiMessage(list[i].message);
      return true;
    }
  }
  return false;
}

menu TaskUtilityMenu = BuildMenu();

int UtiItem(int n) { return int(uint16_t(TaskUtility.TaskMenu.GetMenuItem(n))); }
int UtiTake(keypara key, int n) { return TaskUtility.TaskMenu.AdjMenuItemPara(key, n); }
void UtiPage(int page) { TaskUtility.TaskMenu.SetCurrPage(page * kMenuSlots); }
void UtiMessage(int n) { TaskUtility.Sys().message->SetMessage(n); }

void UtiOpenDialog(uint32_t bit) {
  TaskUtility.SetFuncBits(bit);
  UtiliAttrib = 1;
  TaskUtility.TaskMenu.SaveCurrPage();
  if (Manager().FindUserTaskDisplay(kTaskUtility) == TASK_NOT_LISTED)
    Manager().AddUserTaskDisplay(kTaskUtility, uint32_t(UtiliAttrib), 0);
  Run().SetDrawRefresh();
}

void UtiCloseDialog(uint32_t bit) {
  TaskUtility.ClearFuncBits(bit);
  Run().SetDrawRefresh();
}

int Utility_MenuOp(keypara key) {
  if (key.key != kKeyUtility) return 0;
  UtiPage(kUtiPageUtility1);
  Manager().ActiveTask(kTaskUtility, 0);
  Manager().SetUserTaskTopDiplay(kTaskUtility);
  return 0;
}

int Utility_Next(keypara) {
  switch (TaskUtility.TaskMenu.GetCurrPage()) {
    case kUtiPageUtility1:
      TaskUtility.TaskMenu.SetMenuItem(kUtiVersion, 0);
      Utility_Version(kUtiNoKey);
      UtiPage(kUtiPageUtility2);
      break;
    case kUtiPageUtility2: UtiPage(kUtiPageUtility3); break;
    default: UtiPage(kUtiPageUtility1); break;
  }
  return 0;
}

int Utility_Square(keypara key) {
  TaskUtility.Sys().board->SendRealControl(fpga::kUtilityOut, UtiTake(key, kUtiSquare));
  return 0;
}

int Utility_OutputSel(keypara key) {
  TaskUtility.Sys().board->SendRealControl(fpga::kOutputSelect, UtiTake(key, kUtiOutputSel) != 0 ? 1 : 0);
  return 0;
}

int Utility_Cymometer(keypara key) {
  const int on = UtiTake(key, kUtiCymometer);
  Run().SetCymometerOnOff(on);
  if (on != 1) return 0;
  control& board = *TaskUtility.Sys().board;
  if (Run().IsIndependTimeBase()) {
    board.FreqInitMeter(0, kCounterGate, kCounterPeriod);
    board.FreqInitMeter(kCounterCh2, kCounterGate, kCounterPeriod);
  } else {
    const int source = Run().GetTrigSource();
    board.FreqInitMeter(source > kCounterCh2 ? 0 : source, kCounterGate, kCounterPeriod);
  }
  return 0;
}

int Utility_BootRest(keypara key) { return UtiTake(key, kUtiBootRest), 0; }

int Utility_Version(keypara key) {
  const int before = UtiItem(kUtiVersion);
  const int after = UtiTake(key, kUtiVersion);
  const bool open = key.key == kKeyF2 ? before == 0 : after != 0;
  if (open)
    UtiOpenDialog(kUtiDlgVersion);
  else
    UtiCloseDialog(kUtiDlgVersion);
  return 0;
}

int Utility_SelfCali(keypara) {
  if (Func(kFuncRecorderBusy)) {
    Rec_Close();
    UtiMessage(kUtiMsgRecorderClosed);
  }
  if (Func(kUtiFuncAlternate)) {
    UtiMessage(kUtiMsgAlternate);
    return 0;
  }
  UtiPage(kUtiPageSelfCali);
  UtiOpenDialog(kUtiDlgSelfCali);
  TaskUtility.TaskMenu.SetMenuItem(kUtiVersion, 0);
  UtiCloseDialog(kUtiDlgVersion);
  return 0;
}

int Utility_Record(keypara) {
  if (TaskUtility.Sys().timeBase->GetRealTimeBase(0) > kRollTimeBase) {
    UtiMessage(kUtiMsgRoll);
    return 0;
  }
  static const UtiExclusion kList[] = {{kUtiFuncRoll, kUtiMsgRoll},
                                      {kUtiFuncAlternate, kUtiMsgAlternate},
                                      {kUtiFuncFft, kUtiMsgFft},
                                      {kUtiFuncPassFail, kMsgPassFail}};
  if (UtiExcluded(kList)) return 0;
  const uint32_t frames = GetMaxFrame();
  Rec_SetMaxFrame(frames);
  TaskUtility.TaskMenu.SetMenuItem(kUtiRecMaxFrame, frames);
  UtiPage(kUtiPageRecOp);
  return 0;
}

int Utility_PassFail(keypara) {
  static const UtiExclusion kList[] = {{kUtiFuncFft, kUtiMsgFft},
                                       {kUtiFuncAutoSet, kUtiMsgAutoSet},
                                       {kUtiFuncAlternate, kUtiMsgAlternate},
                                       {kUtiFuncXY, kUtiMsgXY},
                                       {kUtiFuncRoll, kUtiMsgRoll}};
  if (UtiExcluded(kList)) return 0;
  UtiPage(kUtiPagePf1);
  return 0;
}

void Utility_MenuReset() {
  TaskUtility.TaskMenu.SetMenuItem(kUtiVersion, 0);
  Utility_Square(kUtiNoKey);
  Utility_Cymometer(kUtiNoKey);
  Utility_OutputSel(kUtiNoKey);
  PassFail_Source(kUtiNoKey);  // the waveform engine tests the item's channel
}

void Utility_MenuInit() {
  Menu& m = TaskUtility.TaskMenu;
  m.SetMenuItem(kUtiPfStopType, kUtiPfStopTypeStart);
  m.SetMenuItem(kUtiPfThreshold, kUtiPfThresholdStart);
  m.SetMenuItem(kUtiPfHoriMask, kUtiPfMaskStart);
  m.SetMenuItem(kUtiPfVertMask, kUtiPfMaskStart);
  Utility_MenuReset();
}
