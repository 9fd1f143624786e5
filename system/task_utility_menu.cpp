// The utility module's menu definition, its page handlers and the handlers
// of the items that only set the hardware or open a page.
#include <cstdio>

#include "acquisition/x_system.h"
#include "core/control.h"
#include "core/eeprom_map.h"
#include "core/i2c_storage.h"
#include "core/msg.h"
#include "core/sys_run_info.h"
#include "core/system_resource.h"
#include "core/task_manage.h"
#include "platform/root.h"
#include "system/pass_fail.h"
#include "system/recorder_pages.h"
#include "system/self_cali.h"
#include "system/task_utility.h"
#include "system/task_utility_internal.h"

menu* UtilityMenu = nullptr;
int UtiliAttrib = 0;
int UtilityAdjType = 0;

namespace {
constexpr uint32_t kAction = 0x1;             // title only
constexpr uint32_t kSubMenu = 0x101;          // title and the page arrow
constexpr uint32_t kChoice = 0x4000006;       // a choice item with its value shown
constexpr uint32_t kKnobNumber = 0x4001012;   // a "%d" value that takes the select knob
constexpr uint32_t kKnobTime = 0x4008012;     // a time value (ticks of 4 ns) that takes the knob
constexpr uint32_t kFrozenNumber = 0x4001082; // a "%d" value that is only shown
constexpr int kSquareWord = 64, kOutputSelWord = 70;
constexpr int kRollTimeBase = 25;             // real time-base indices above it roll
constexpr int kMsgFft = 19, kMsgAutoSet = 25, kMsgAlternate = 78, kMsgXY = 17, kMsgRoll = 83,
              kMsgPassFail = 85;
constexpr uint64_t kFuncAutoSet = 0x1, kFuncRoll = 0x2, kFuncXY = 0x4, kFuncFft = 0x20, kFuncPassFail = 0x800,
                   kFuncAlternate = 0x40000;
constexpr int kCounterGate = 2, kCounterPeriod = 3, kCounterCh2 = 1;
constexpr int kPfStopTypeStart = 1, kPfThresholdStart = 100, kPfMaskStart = 5;

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

// One item: the EEPROM address comes from the map for the stored ones.
struct ItemRow {
  int n;
  const char* name;
  uint32_t attribute;
  int choices;  // the texts' count replaces it once they are loaded
  uint32_t width;
  MenuHandler handler;
};
const ItemRow kItems[] = {
    {kUtiSelfCal, "Self Cal", kAction, 1, MENU_NOT_STORED, Utility_SelfCali},
    {kUtiVersion, "Version", kChoice, 2, MENU_NOT_STORED, Utility_Version},
    {kUtiLanguage, "Language", kChoice, 2, MENU_U8, Utility_Language},
    {kUtiRecord, "Record", kSubMenu, 1, MENU_NOT_STORED, Utility_Record},
    {kUtiNext1, "Next", kSubMenu, 1, MENU_NOT_STORED, Utility_Next},
    {kUtiPassFail, "PassFail", kSubMenu, 1, MENU_NOT_STORED, Utility_PassFail},
    {kUtiSquare, "Square", kChoice, 4, MENU_U8, Utility_Square},
    {kUtiCymometer, "Cymometer", kChoice, 2, MENU_U8, Utility_Cymometer},
    {kUtiOutputSel, "Output Sel", kChoice, 2, MENU_U8, Utility_OutputSel},
    {kUtiNext2, "Next", kSubMenu, 1, MENU_NOT_STORED, Utility_Next},
    {kUtiClearData, "Clear Data", kSubMenu, 1, MENU_NOT_STORED, Utility_ClearData},
    {kUtiSetTime, "Set Time", kSubMenu, 1, MENU_NOT_STORED, Utility_SetTime},
    {kUtiIpConfig, "IP Config", kSubMenu, 1, MENU_NOT_STORED, Utility_IPConfig},
    {kUtiBootRest, "BootRest", kChoice, 2, MENU_U8, Utility_BootRest},
    {kUtiNext3, "Next", kSubMenu, 1, MENU_NOT_STORED, Utility_Next},
    {kUtiCaliSure, "Sure", kAction, 1, MENU_NOT_STORED, Utili_SelfCali_Sure},
    {kUtiCaliCancel, "Cancel", kAction, 1, MENU_NOT_STORED, Utili_SelfCali_Cancel},
    {kUtiTimeReset, "Reset", kAction, 1, MENU_NOT_STORED, Utility_SetTime_Reset},
    {kUtiTimeSure, "Sure", kAction, 1, MENU_NOT_STORED, Utility_SetTime_Sure},
    {kUtiTimeCancel, "Cancel", kAction, 1, MENU_NOT_STORED, Utility_SetTime_Cancel},
    {kUtiIpType, "IP Type", kChoice, 2, MENU_U8, Utility_IpConf_IpType},
    {kUtiIpAddr, "IP Addr", kAction, 1, MENU_NOT_STORED, Utility_IpConf_IpAddr},
    {kUtiSubMask, "Sub Mask", kAction, 1, MENU_NOT_STORED, Utility_IpConf_SubMask},
    {kUtiIpSure, "Sure", kAction, 1, MENU_NOT_STORED, Utility_IpConf_Sure},
    {kUtiIpCancel, "Cancel", kAction, 1, MENU_NOT_STORED, Utility_IpConf_Cancel},
    {kUtiRecPlay, "Play", kAction, 1, MENU_NOT_STORED, Utility_Rec_Op_Play},
    {kUtiRecStop, "Stop", kAction, 1, MENU_NOT_STORED, Utility_Rec_Op_Stop},
    {kUtiRecRecord, "Record", kAction, 1, MENU_NOT_STORED, Utility_Rec_Op_Record},
    {kUtiRecFast, "FastRec", kChoice, 2, MENU_NOT_STORED, Utility_Rec_FastRecord},
    {kUtiRecOff, "Off", kSubMenu, 1, MENU_NOT_STORED, Utility_Rec_Op_Next},
    {kUtiRecSet, "Set", kSubMenu, 1, MENU_NOT_STORED, Utility_Rec_Op_Set},
    {kUtiRecExit, "Exit", kAction, 1, MENU_NOT_STORED, Utility_Rec_Op_Close},
    {kUtiRecBack, "Back", kSubMenu, 1, MENU_NOT_STORED, Utility_Rec_Back},
    {kUtiRecInterval, "Interval", kKnobTime, 1, MENU_U32, Utility_Rec_Set_Interval},
    {kUtiRecEndFrame, "End Frame", kKnobNumber, 1, MENU_U16, Utility_Rec_Set_EndFrame},
    {kUtiRecPlayDelay, "Play Delay", kKnobTime, 1, MENU_U32, Utility_Rec_Set_PlayDelay},
    {kUtiRecMaxFrame, "Max Frame", kFrozenNumber, 1, MENU_U16, Utility_Rec_Set_MaxFrame},
    {kUtiRecSetBack, "Back", kSubMenu, 1, MENU_NOT_STORED, Utility_Rec_Set_Back},
    {kUtiSaveInk, "Save ink", kChoice, 2, MENU_U8, Utility_PrintScreen_SaveInk},
    {kUtiPrintView, "Print View", kChoice, 2, MENU_NOT_STORED, Utility_PrintScreen_View},
    {kUtiViewNext, "View Next", kAction, 1, MENU_NOT_STORED, Utility_PrintScreen_ViewNext},
    {kUtiViewPrevious, "View Previous", kAction, 1, MENU_NOT_STORED, Utility_PrintScreen_ViewPrevious},
    {kUtiPrtScBack, "Back", kSubMenu, 1, MENU_NOT_STORED, Utility_PrintScreen_Back},
    {kUtiPfEnable, "Enable", kChoice, 2, MENU_NOT_STORED, PassFail_Enable},
    {kUtiPfOperate, "Operate", kChoice, 2, MENU_NOT_STORED, PassFail_Operate},
    {kUtiPfOutput, "Output", kChoice, 2, MENU_NOT_STORED, PassFail_Output},
    {kUtiPfSource, "Source", kChoice, 2, MENU_NOT_STORED, PassFail_Source},
    {kUtiPfNext, "Next", kSubMenu, 1, MENU_NOT_STORED, PassFail_Next},
    {kUtiPfStopSetup, "StopSetup", kSubMenu, 1, MENU_NOT_STORED, PassFail_StopSetup},
    {kUtiPfMaskSetup, "MaskSetup", kSubMenu, 1, MENU_NOT_STORED, PassFail_MaskSetup},
    {kUtiPfReturn, "Return", kAction, 1, MENU_NOT_STORED, PassFail_Return},
    {kUtiPfBack, "Back", kSubMenu, 1, MENU_NOT_STORED, PassFail_Back},
    {kUtiPfStopType, "StopType", kChoice, 2, MENU_NOT_STORED, PassFail_StopSetup_StopType},
    {kUtiPfWhen, "When", kChoice, 2, MENU_NOT_STORED, PassFail_StopSetup_When},
    {kUtiPfThreshold, "Threshold", kKnobNumber, 1, MENU_U16, PassFail_StopSetup_Threshold},
    {kUtiPfStopBack, "Back", kSubMenu, 1, MENU_NOT_STORED, PassFail_StopSetup_Back},
    {kUtiPfRefChannel, "Ref Channel", kChoice, 2, MENU_NOT_STORED, PassFail_RefChannel},
    {kUtiPfHoriMask, "Hori Mask", kKnobNumber, 1, MENU_U16, PassFail_HoriMask},
    {kUtiPfVertMask, "Vert Mask", kKnobNumber, 1, MENU_U16, PassFail_VertMask},
    {kUtiPfMaskBack, "Back", kSubMenu, 1, MENU_NOT_STORED, PassFail_MaskStep_Back},
    {kUtiClearSure, "Sure", kAction, 1, MENU_NOT_STORED, Utili_ClearData_Sure},
    {kUtiClearCancel, "Cancel", kAction, 1, MENU_NOT_STORED, Utili_ClearData_Cancel},
};

menu BuildMenu() {
  menu m;
  std::snprintf(m.name, sizeof m.name, "%s", "Utility");
  for (const PageRow& p : kPages) DefineMenuPage(&m, p.page, p.name, p.id, p.handler);
  for (const ItemRow& r : kItems) {
    // Stored items are 8-bit EEPROM bytes; the others live only in the menu.
    const int address = r.width == MENU_U8 ? EepromItemAddress(kEeUtility, r.n) : -1;
    DefineMenuItem(&m, r.n, r.name, r.attribute, r.choices, r.handler, r.width, address);
  }
  return m;
}

_SysRunInfoOp& Run() { return TaskUtility.Run(); }
task_manage& Manager() { return TaskUtility.Manager(); }
bool Func(uint64_t bits) { return (Run().GetFuncBits() & bits) != 0; }

// The first excluding function that is active raises its message; true then.
struct Exclusion {
  uint64_t bit;
  int message;
};
template <size_t N>
bool Excluded(const Exclusion (&list)[N]) {
  for (const Exclusion& e : list) {
    if (Func(e.bit)) {
      UtiMessage(e.message);
      return true;
    }
  }
  return false;
}
}  // namespace

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
  TaskUtility.Sys().board->SendRealControl(kSquareWord, UtiTake(key, kUtiSquare));
  return 0;
}

int Utility_OutputSel(keypara key) {
  TaskUtility.Sys().board->SendRealControl(kOutputSelWord, UtiTake(key, kUtiOutputSel) != 0 ? 1 : 0);
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
  if (Func(kUtiFuncRecorderBusy)) {
    Rec_Close();
    UtiMessage(kUtiMsgRecorderClosed);
  }
  if (Func(kFuncAlternate)) {
    UtiMessage(kMsgAlternate);
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
    UtiMessage(kMsgRoll);
    return 0;
  }
  static const Exclusion kList[] = {
      {kFuncRoll, kMsgRoll}, {kFuncAlternate, kMsgAlternate}, {kFuncFft, kMsgFft}, {kFuncPassFail, kMsgPassFail}};
  if (Excluded(kList)) return 0;
  const uint32_t frames = GetMaxFrame();
  Rec_SetMaxFrame(frames);
  TaskUtility.TaskMenu.SetMenuItem(kUtiRecMaxFrame, frames);
  UtiPage(kUtiPageRecOp);
  return 0;
}

int Utility_PassFail(keypara) {
  static const Exclusion kList[] = {{kFuncFft, kMsgFft},
                                    {kFuncAutoSet, kMsgAutoSet},
                                    {kFuncAlternate, kMsgAlternate},
                                    {kFuncXY, kMsgXY},
                                    {kFuncRoll, kMsgRoll}};
  if (Excluded(kList)) return 0;
  UtiPage(kUtiPagePf1);
  return 0;
}

void Utility_MenuReset() {
  TaskUtility.TaskMenu.SetMenuItem(kUtiVersion, 0);
  Utility_Square(kUtiNoKey);
  Utility_Cymometer(kUtiNoKey);
  Utility_OutputSel(kUtiNoKey);
}

void Utility_MenuInit() {
  Menu& m = TaskUtility.TaskMenu;
  m.SetMenuItem(kUtiPfStopType, kPfStopTypeStart);
  m.SetMenuItem(kUtiPfThreshold, kPfThresholdStart);
  m.SetMenuItem(kUtiPfHoriMask, kPfMaskStart);
  m.SetMenuItem(kUtiPfVertMask, kPfMaskStart);
  Utility_MenuReset();
}
