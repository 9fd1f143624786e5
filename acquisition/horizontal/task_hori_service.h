// The horizontal module's hidden service pages 2-15: guidance run, key record
// and playback, ADC ageing test, 50 mV gain and ADC phase calibration, ADC
// drive, PLL and reset settings, factory switches and debug toggles.
#pragma once
#include <cstdint>

#include "core/menu/keypara.h"

// Items of the service pages.
enum HoriServiceItem : int {
  kSvcOpKeyRec = 10, kSvcGain50mv = 11, kSvcStartTest = 12, kSvcAdcConfig = 13, kSvcNext = 14,
  kSvcSysReset = 15, kSvcMsgTest = 16, kSvcTemperature = 17, kSvcDebugMsg = 18, kSvcNext2 = 19,
  kSvcPrintfQel = 20, kSvcFpga = 21, kSvcSoftPic = 22, kSvcBack = 24,
  kGuideDirection = 25, kGuideSpeed = 26, kGuideStart = 27, kGuideBack = 29,
  kGainAdj = 30, kGainSource = 31, kGainFactoryMode = 32, kGainCaliPhase = 33, kGainNext = 34,
  kHysAdj = 35, kInternal = 36, kGainBack = 39,
  kAdcPll = 40, kAdc1Phase = 41, kAdc2Phase = 42, kAdcCaliPhase = 43, kAdcNext = 44,
  kAdcInitPhase = 45, kAdcTest1 = 46, kAdcTest2 = 47, kAdcTest3 = 48, kAdcTestNext = 49,
  kAdcCntClear = 50, kAdcTest4 = 51, kAdcTest5 = 52, kAdcTest6 = 53, kAdcTestNext2 = 54,
  kAdcDataRes = 55, kAdcDataCur = 56, kAdcClkRes = 57, kAdcClkCur = 58, kAdcBack = 59,
  kAgeRun = 60, kAgeMessage = 61, kAgeClear = 62, kAgeQc = 63, kAgeNext = 64,
  kAgeType = 65, kAgeReturn = 66, kAgeBack = 69,
  kKeyRec = 70, kKeyPlay = 71, kKeyFileSel = 72, kKeyFileMode = 73, kKeyBack = 74,
  kPhase1 = 75, kPhase2 = 76, kPhaseReset = 77, kPhaseReconfig = 78, kPhaseBack = 79,
};

constexpr int kHysMax = 4095, kHysStart = 2000;
constexpr int kAdcPhaseMax = 7;
constexpr int kMsgTestMax = 120;
constexpr int kKeyFileMax = 255;
constexpr int kDriveEntries = 8;
constexpr int kDriveDataDefault = 5, kDriveCurrentDefault = 7;

// The ADC output-drive words of items 55-58 (indexes bounded to the tables).
uint32_t AdcDriveDataWord(int resistance, int current);
uint32_t AdcDriveClockWord(int resistance, int current);

// Key record file "Data/KeyRec/KeyRec-<n>". Opens for recording (append or
// truncate) or playback; -1 for a number outside 0..255 or a failed open.
enum class KeyRecMode { kAppend, kTruncate, kRead };
int OpenKeyRecFile(KeyRecMode mode, int n);

// Page navigation and item handlers (the menu record points at them).
int Hori_OpKeyRec(keypara k);
int Gain50MV(keypara k);
int StartTest(keypara k);
int AdcConfig(keypara k);
int InternalFuncNext(keypara k);
int SystemReset(keypara k);
int MsgTest(keypara k);
int QelTemperatureOnOff(keypara k);
int TemperatureEnable(keypara k);
int InternalFuncNext2(keypara k);
int InternalFuncPrintfQel(keypara k);
int QelSoftPicTest(keypara k);
int InternalFuncBack(keypara k);
int Guidance_Direction(keypara k);
int Guidance_Speed(keypara k);
int Guidance_Start(keypara k);
int Guidance_Back(keypara k);
int Gain50mvAdj(keypara k);
int Gain50mvSource(keypara k);
int Gain50mv_FactoryMode(keypara k);
int Gain50mv_ADCCaliPhase(keypara k);
// Asks the utility module to confirm and start the self-calibration.
int Gain50mv_OffsetCali(keypara k);
// The phase search's pass flags (8 codes of ADC 1, then of ADC 2), kept and
// printed by `Gain50mv_ADCCaliPhase`.
constexpr int kAdcPhaseMatchingEntries = 16;
extern uint8_t AdcPhaseMatching[kAdcPhaseMatchingEntries];
int Gain50mvNext(keypara k);
int HYS_Adj(keypara k);
int InternalFunc(keypara k);
int Gain50mvBack(keypara k);
int Gain50mv_PLLConfig(keypara k);
int Gain50mv_ADC1Phase(keypara k);
int Gain50mv_ADC2Phase(keypara k);
int Gain50mvAdcNext(keypara k);
int Gain50mv_ADCInitPhase(keypara k);
int Gain50mv_Test1(keypara k);
int Gain50mv_Test2(keypara k);
int Gain50mv_Test3(keypara k);
int Gain50mv_TestNext(keypara k);
int Gain50mv_CntClear(keypara k);
int Gain50mv_Test4(keypara k);
int Gain50mv_Test5(keypara k);
int Gain50mv_Test6(keypara k);
int Gain50mv_TestNext2(keypara k);
int AdcAdjResistanceCurrent(keypara k);
int Gain50mv_AdcBack(keypara k);
int ADC_AGE(keypara k);
int ADC_AGE_Mesage(keypara k);
int ADC_AGE_MesageClear(keypara k);
int ADC_AGE_QC(keypara k);
int ADC_AGE_Next(keypara k);
int ADC_Type(keypara k);
int ADC_AGE_Return(keypara k);
int ADC_AGE_Back(keypara k);
int OPKeyRecEnable(keypara k);
int OPKeyPlayEnable(keypara k);
int OPKeyRecFileSel(keypara k);
int OPKeyRecFileMode(keypara k);
int OPKeyRecBack(keypara k);
int ADC1_PhaseAdj(keypara k);
int ADC2_PhaseAdj(keypara k);
int ADC_Reset(keypara k);
int ADC_Reconfig(keypara k);
int ADC_PhaseAdjBack(keypara k);

// Page handlers of the service pages.
int GuidanceMenuOp(keypara k);
int Gain50mvMenuOp(keypara k);
int ADC_AgeMenuOp(keypara k);
int OPKeyRecOp(keypara k);
