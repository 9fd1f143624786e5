// The horizontal module's menu record: pages 0-1 of the module and the hidden
// service pages 2-15, their items, handlers and EEPROM addresses.
#include <cstdio>

#include "acquisition/horizontal/task_hori.h"
#include "acquisition/horizontal/task_hori_service.h"
#include "core/board/eeprom_map.h"
#include "core/menu/menu_def.h"

namespace {
constexpr uint32_t kHoldOffTime = kMenuKeypadNumber | MENU_FMT_TIME;  // a 4 ns time, keypad icon
// Page 0's switches: a stored value other than off or on is off.
constexpr MenuRange kSwitch = MenuLimits(0, 0, 1);
// Multi-scope and split are not stored (multi-scope always starts off); the
// actions of page 1 must never write the hold-off's bytes they share in the
// EEPROM map.
constexpr MenuStore kNone = MenuStore::kNotStored;

const MenuItemDef kItems[] = {
    // Page 0.
    {kHoriFormat, "TimeBase", kMenuChoice, 2, Hori_Format, kSwitch},
    {kHoriType, "Type", kMenuChoice, 2, Hori_Type, kSwitch},
    {kHoriMultiScope, "MultiScope", kMenuChoice, 2, Hori_MultiScopeOnOff, kSwitch},
    {kHoriSplit, "Split", kMenuChoice | MENU_ATTR_DISABLED, 2, Hori_MultiScopeChSplit, kSwitch},
    {kHoriHoldOff, "HoldOff", kHoldOffTime, 1, Hori_HoldOff},
    // Page 1.
    {kHoriMultiScope2, "MultiScope", kMenuChoice, 2, Hori_MultiScopeOnOff},
    {kHoriSplit2, "Split", kMenuChoice, 2, Hori_MultiScopeChSplit},
    {kHoriChConfig, "ChConfig", kMenuAction, 1, Hori_MultiScopeChConfig, kMenuUnranged, kNone},
    {kHoriRst, "RST", kMenuAction, 1, Hori_MultiScopeRST, kMenuUnranged, kNone},
    {kHoriBack, "Back", kMenuAction, 1, Hori_MultiScopeBack, kMenuUnranged, kNone},
    // Page 2.
    {kSvcOpKeyRec, "OpKeyRec", kMenuAction, 1, Hori_OpKeyRec},
    {kSvcGain50mv, "Gain50MV", kMenuAction, 1, Gain50MV},
    {kSvcStartTest, "StartTest", kMenuChoice, 3, StartTest, MenuChoices()},
    {kSvcAdcConfig, "ADC", kMenuAction, 1, AdcConfig},
    {kSvcNext, "Next", kMenuAction, 1, InternalFuncNext},
    // Page 3.
    {kSvcSysReset, "Sys Rst", kMenuAction, 1, SystemReset},
    {kSvcMsgTest, "MsgTest", kMenuKnobInt, 1, MsgTest},
    {kSvcTemperature, "Temperature", kMenuChoice, 2, QelTemperatureOnOff},
    {kSvcDebugMsg, "DebugMsg", kMenuChoice, 2, TemperatureEnable},
    {kSvcNext2, "Next", kMenuAction, 1, InternalFuncNext2},
    // Page 4.
    {kSvcPrintfQel, "PrintfQEL", kMenuChoice, 2, InternalFuncPrintfQel},
    {kSvcFpga, "FPGA", kMenuAction, 1, Hori_MultiScopeChConfig},
    {kSvcSoftPic, "SOFT PIC", kMenuAction, 1, QelSoftPicTest},
    {kSvcBack, "Back", kMenuAction, 1, InternalFuncBack},
    // Page 5.
    {kGuideDirection, "Direction", kMenuChoice, 3, Guidance_Direction},
    {kGuideSpeed, "Speed", kMenuChoice, 3, Guidance_Speed},
    {kGuideStart, "Start", kMenuChoice, 2, Guidance_Start},
    {kGuideBack, "Back", kMenuAction, 1, Guidance_Back},
    // Page 6.
    {kGainAdj, "GainAdj", kMenuAction, 1, Gain50mvAdj},
    {kGainSource, "Source", kMenuChoice, 2, Gain50mvSource},
    {kGainFactoryMode, "FactoryMode", kMenuChoice, 2, Gain50mv_FactoryMode, MenuChoices()},
    {kGainCaliPhase, "Cali Phase", kMenuAction, 1, Gain50mv_ADCCaliPhase},
    {kGainNext, "Back", kMenuAction, 1, Gain50mvNext},
    // Page 7.
    {kHysAdj, "HYS Adj", kMenuKnobInt, 1, HYS_Adj},
    {kInternal, "Internal", kMenuAction, 1, InternalFunc},
    {kGainBack, "Back", kMenuAction, 1, Gain50mvBack},
    // Page 8.
    {kAdcPll, "PLL", kMenuAction, 1, Gain50mv_PLLConfig},
    // Both phases show their values; the one with the preferred focus takes the knob.
    {kAdc1Phase, "Adc1 Phase", kMenuKnobInt | MENU_ATTR_FOCUS_FIRST, 1, Gain50mv_ADC1Phase},
    {kAdc2Phase, "Adc2 Phase", kMenuKnobInt, 1, Gain50mv_ADC2Phase},
    {kAdcCaliPhase, "Cali Phase", kMenuAction, 1, Gain50mv_ADCCaliPhase},
    {kAdcNext, "Next", kMenuAction, 1, Gain50mvAdcNext},
    // Page 9.
    {kAdcInitPhase, "ADCInitPhase", kMenuAction, 1, Gain50mv_ADCInitPhase},
    {kAdcTest1, "TEST1", kMenuKnobInt, 1, Gain50mv_Test1},
    {kAdcTest2, "TEST2", kMenuChoice, 2, Gain50mv_Test2},
    {kAdcTest3, "TEST3", kMenuAction, 1, Gain50mv_Test3},
    {kAdcTestNext, "Back", kMenuAction, 1, Gain50mv_TestNext},
    // Page 10.
    {kAdcCntClear, "CntClear", kMenuAction, 1, Gain50mv_CntClear},
    {kAdcTest4, "TEST4", kMenuChoice, 2, Gain50mv_Test4},
    {kAdcTest5, "TEST5", kMenuChoice, 2, Gain50mv_Test5},
    {kAdcTest6, "TEST6", kMenuAction, 1, Gain50mv_Test6},
    {kAdcTestNext2, "Back", kMenuAction, 1, Gain50mv_TestNext2},
    // Page 11.
    {kAdcDataRes, "DataRes", kMenuChoice, kDriveEntries, AdcAdjResistanceCurrent},
    {kAdcDataCur, "DataCurr", kMenuChoice, kDriveEntries, AdcAdjResistanceCurrent},
    {kAdcClkRes, "ClkRes", kMenuChoice, kDriveEntries, AdcAdjResistanceCurrent},
    {kAdcClkCur, "ClkCur", kMenuChoice, kDriveEntries, AdcAdjResistanceCurrent},
    {kAdcBack, "Back", kMenuAction, 1, Gain50mv_AdcBack},
    // Page 12.
    {kAgeRun, "AGE", kMenuChoice, 2, ADC_AGE},
    {kAgeMessage, "Message", kMenuAction, 1, ADC_AGE_Mesage},
    {kAgeClear, "Clear", kMenuAction, 1, ADC_AGE_MesageClear},
    {kAgeQc, "QC", kMenuChoice, 2, ADC_AGE_QC},
    {kAgeNext, "Back", kMenuAction, 1, ADC_AGE_Next},
    // Page 13.
    {kAgeType, "adc type", kMenuChoice, 2, ADC_Type},
    {kAgeReturn, "ret", kMenuAction, 1, ADC_AGE_Return},
    {kAgeBack, "Back", kMenuAction, 1, ADC_AGE_Back},
    // Page 14.
    {kKeyRec, "OpKeyRec", kMenuChoice, 2, OPKeyRecEnable},
    {kKeyPlay, "KeyPlay", kMenuChoice, 2, OPKeyPlayEnable},
    {kKeyFileSel, "FileSel", kMenuKnobInt, 1, OPKeyRecFileSel},
    {kKeyFileMode, "FileMode", kMenuChoice, 2, OPKeyRecFileMode},
    {kKeyBack, "Back", kMenuAction, 1, OPKeyRecBack},
    // Page 15.
    {kPhase1, "ADC1", kMenuChoice, kAdcPhaseMax + 1, ADC1_PhaseAdj},
    {kPhase2, "ADC2", kMenuChoice, kAdcPhaseMax + 1, ADC2_PhaseAdj},
    {kPhaseReset, "RST", kMenuAction, 1, ADC_Reset},
    {kPhaseReconfig, "Reconfig", kMenuAction, 1, ADC_Reconfig},
    {kPhaseBack, "Back", kMenuAction, 1, ADC_PhaseAdjBack},
};

struct PageRow {
  int page;
  const char* name;
  MenuHandler handler;
};
const PageRow kPages[] = {
    {0, "Horizontal", HoriMenuOp},  {1, "Horizontal", HoriMenuOp},  {2, "horizontal", HoriMenuOp},
    {3, "horizontal", HoriMenuOp},  {4, "horizontal", HoriMenuOp},  {5, "horizontal", GuidanceMenuOp},
    {6, "Gain50Mv", Gain50mvMenuOp}, {7, "InterFunc", Gain50mvMenuOp}, {8, "ADC 1", Gain50mvMenuOp},
    {9, "ADC 2", Gain50mvMenuOp},   {10, "ADC 3", Gain50mvMenuOp},  {11, "ADC 4", Gain50mvMenuOp},
    {12, "ADC AGE", ADC_AgeMenuOp}, {13, "ADC AGE 1", ADC_AgeMenuOp}, {14, "OpKeyRec", OPKeyRecOp},
    {15, "PhaseAdj", Gain50mvMenuOp},
};

menu BuildMenu() {
  menu m;
  std::snprintf(m.name, sizeof m.name, "%s", "Hori");
  for (const PageRow& p : kPages)
    DefineMenuPage(&m, p.page, p.name, uint32_t(kHoriTaskId) << 8 | uint32_t(p.page), p.handler);
  DefineMenuItems(&m, kEeHorizontal, kItems);
  return m;
}
}  // namespace

menu TaskHoriMenu = BuildMenu();
