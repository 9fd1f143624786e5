// The horizontal module's menu record: pages 0-1 of the module and the hidden
// service pages 2-15, their items, handlers and EEPROM addresses.
#include <cstdio>

#include "acquisition/task_hori.h"
#include "acquisition/task_hori_service.h"
#include "core/eeprom_map.h"

namespace {
// Item attributes (bits of the menu engine and the menu drawing).
constexpr uint32_t kAction = 0x1;               // title only: an action or a page step
constexpr uint32_t kChoice = 0x4000006;         // a choice item with its value shown
constexpr uint32_t kKnobNumber = 0x4001012;     // a "%d" value that takes the select knob
constexpr uint32_t kHoldOffTime = 0x4008072;    // a 4 ns time, knob focus, keypad icon
constexpr uint32_t kDisabled = 0x2000000;

// Stored items and their EEPROM places. The multi-scope, split and action
// items of page 1 are not stored: multi-scope always starts off, and the
// actions must never write the hold-off's bytes.
struct Stored {
  uint32_t width;
  int address;
};
constexpr Stored kNone{MENU_NOT_STORED, -1};
constexpr Stored kFormatStore{MENU_U8, 122};
constexpr Stored kTypeStore{MENU_U8, 200};
constexpr Stored kHoldOffStore{MENU_U32, 196};
constexpr Stored kStartTestStore{MENU_U8, EE_START_TEST};
constexpr Stored kFactoryStore{MENU_U8, EE_FACTORY_MODE};

struct ItemRow {
  int n;
  const char* name;
  uint32_t attribute;
  int choices;  // the texts' count replaces it once they are loaded
  MenuHandler handler;
  Stored stored;
};

const ItemRow kItems[] = {
    // Page 0.
    {kHoriFormat, "TimeBase", kChoice, 2, Hori_Format, kFormatStore},
    {kHoriType, "Type", kChoice, 2, Hori_Type, kTypeStore},
    {kHoriMultiScope, "MultiScope", kChoice, 2, Hori_MultiScopeOnOff, kNone},
    {kHoriSplit, "Split", kChoice | kDisabled, 2, Hori_MultiScopeChSplit, kNone},
    {kHoriHoldOff, "HoldOff", kHoldOffTime, 1, Hori_HoldOff, kHoldOffStore},
    // Page 1.
    {kHoriMultiScope2, "MultiScope", kChoice, 2, Hori_MultiScopeOnOff, kNone},
    {kHoriSplit2, "Split", kChoice, 2, Hori_MultiScopeChSplit, kNone},
    {kHoriChConfig, "ChConfig", kAction, 1, Hori_MultiScopeChConfig, kNone},
    {kHoriRst, "RST", kAction, 1, Hori_MultiScopeRST, kNone},
    {kHoriBack, "Back", kAction, 1, Hori_MultiScopeBack, kNone},
    // Page 2.
    {kSvcOpKeyRec, "OpKeyRec", kAction, 1, Hori_OpKeyRec, kNone},
    {kSvcGain50mv, "Gain50MV", kAction, 1, Gain50MV, kNone},
    {kSvcStartTest, "StartTest", kChoice, 3, StartTest, kStartTestStore},
    {kSvcAdcConfig, "ADC", kAction, 1, AdcConfig, kNone},
    {kSvcNext, "Next", kAction, 1, InternalFuncNext, kNone},
    // Page 3.
    {kSvcSysReset, "Sys Rst", kAction, 1, SystemReset, kNone},
    {kSvcMsgTest, "MsgTest", kKnobNumber, 1, MsgTest, kNone},
    {kSvcTemperature, "Temperature", kChoice, 2, QelTemperatureOnOff, kNone},
    {kSvcDebugMsg, "DebugMsg", kChoice, 2, TemperatureEnable, kNone},
    {kSvcNext2, "Next", kAction, 1, InternalFuncNext2, kNone},
    // Page 4.
    {kSvcPrintfQel, "PrintfQEL", kChoice, 2, InternalFuncPrintfQel, kNone},
    {kSvcFpga, "FPGA", kAction, 1, Hori_MultiScopeChConfig, kNone},
    {kSvcSoftPic, "SOFT PIC", kAction, 1, QelSoftPicTest, kNone},
    {kSvcBack, "Back", kAction, 1, InternalFuncBack, kNone},
    // Page 5.
    {kGuideDirection, "Direction", kChoice, 3, Guidance_Direction, kNone},
    {kGuideSpeed, "Speed", kChoice, 3, Guidance_Speed, kNone},
    {kGuideStart, "Start", kChoice, 2, Guidance_Start, kNone},
    {kGuideBack, "Back", kAction, 1, Guidance_Back, kNone},
    // Page 6.
    {kGainAdj, "GainAdj", kAction, 1, Gain50mvAdj, kNone},
    {kGainSource, "Source", kChoice, 2, Gain50mvSource, kNone},
    {kGainFactoryMode, "FactoryMode", kChoice, 2, Gain50mv_FactoryMode, kFactoryStore},
    {kGainCaliPhase, "Cali Phase", kAction, 1, Gain50mv_ADCCaliPhase, kNone},
    {kGainNext, "Back", kAction, 1, Gain50mvNext, kNone},
    // Page 7.
    {kHysAdj, "HYS Adj", kKnobNumber, 1, HYS_Adj, kNone},
    {kInternal, "Internal", kAction, 1, InternalFunc, kNone},
    {kGainBack, "Back", kAction, 1, Gain50mvBack, kNone},
    // Page 8.
    {kAdcPll, "PLL", kAction, 1, Gain50mv_PLLConfig, kNone},
    {kAdc1Phase, "Adc1 Phase", kKnobNumber, 1, Gain50mv_ADC1Phase, kNone},
    {kAdc2Phase, "Adc2 Phase", kKnobNumber & ~uint32_t(MENU_ATTR_FOCUS), 1, Gain50mv_ADC2Phase, kNone},
    {kAdcCaliPhase, "Cali Phase", kAction, 1, Gain50mv_ADCCaliPhase, kNone},
    {kAdcNext, "Next", kAction, 1, Gain50mvAdcNext, kNone},
    // Page 9.
    {kAdcInitPhase, "ADCInitPhase", kAction, 1, Gain50mv_ADCInitPhase, kNone},
    {kAdcTest1, "TEST1", kKnobNumber, 1, Gain50mv_Test1, kNone},
    {kAdcTest2, "TEST2", kChoice, 2, Gain50mv_Test2, kNone},
    {kAdcTest3, "TEST3", kAction, 1, Gain50mv_Test3, kNone},
    {kAdcTestNext, "Back", kAction, 1, Gain50mv_TestNext, kNone},
    // Page 10.
    {kAdcCntClear, "CntClear", kAction, 1, Gain50mv_CntClear, kNone},
    {kAdcTest4, "TEST4", kChoice, 2, Gain50mv_Test4, kNone},
    {kAdcTest5, "TEST5", kChoice, 2, Gain50mv_Test5, kNone},
    {kAdcTest6, "TEST6", kAction, 1, Gain50mv_Test6, kNone},
    {kAdcTestNext2, "Back", kAction, 1, Gain50mv_TestNext2, kNone},
    // Page 11.
    {kAdcDataRes, "DataRes", kChoice, kDriveEntries, AdcAdjResistanceCurrent, kNone},
    {kAdcDataCur, "DataCurr", kChoice, kDriveEntries, AdcAdjResistanceCurrent, kNone},
    {kAdcClkRes, "ClkRes", kChoice, kDriveEntries, AdcAdjResistanceCurrent, kNone},
    {kAdcClkCur, "ClkCur", kChoice, kDriveEntries, AdcAdjResistanceCurrent, kNone},
    {kAdcBack, "Back", kAction, 1, Gain50mv_AdcBack, kNone},
    // Page 12.
    {kAgeRun, "AGE", kChoice, 2, ADC_AGE, kNone},
    {kAgeMessage, "Message", kAction, 1, ADC_AGE_Mesage, kNone},
    {kAgeClear, "Clear", kAction, 1, ADC_AGE_MesageClear, kNone},
    {kAgeQc, "QC", kChoice, 2, ADC_AGE_QC, kNone},
    {kAgeNext, "Back", kAction, 1, ADC_AGE_Next, kNone},
    // Page 13.
    {kAgeType, "adc type", kChoice, 2, ADC_Type, kNone},
    {kAgeReturn, "ret", kAction, 1, ADC_AGE_Return, kNone},
    {kAgeBack, "Back", kAction, 1, ADC_AGE_Back, kNone},
    // Page 14.
    {kKeyRec, "OpKeyRec", kChoice, 2, OPKeyRecEnable, kNone},
    {kKeyPlay, "KeyPlay", kChoice, 2, OPKeyPlayEnable, kNone},
    {kKeyFileSel, "FileSel", kKnobNumber, 1, OPKeyRecFileSel, kNone},
    {kKeyFileMode, "FileMode", kChoice, 2, OPKeyRecFileMode, kNone},
    {kKeyBack, "Back", kAction, 1, OPKeyRecBack, kNone},
    // Page 15.
    {kPhase1, "ADC1", kChoice, kAdcPhaseMax + 1, ADC1_PhaseAdj, kNone},
    {kPhase2, "ADC2", kChoice, kAdcPhaseMax + 1, ADC2_PhaseAdj, kNone},
    {kPhaseReset, "RST", kAction, 1, ADC_Reset, kNone},
    {kPhaseReconfig, "Reconfig", kAction, 1, ADC_Reconfig, kNone},
    {kPhaseBack, "Back", kAction, 1, ADC_PhaseAdjBack, kNone},
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
  for (const ItemRow& r : kItems)
    DefineMenuItem(&m, r.n, r.name, r.attribute, r.choices, r.handler, r.stored.width, r.stored.address);
  return m;
}
}  // namespace

menu TaskHoriMenu = BuildMenu();
