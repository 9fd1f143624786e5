// The horizontal module's service pages: navigation, factory switches, debug
// toggles, the 50 mV gain and phase calibration, ADC phase, drive, PLL and
// reset settings, and the module's work for all service pages.
#include <algorithm>
#include <cstdio>

#include "acquisition/horizontal/task_hori_service_internal.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/control.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "platform/clock.h"
#include "core/menu/draw_hooks.h"
#include "core/board/fpga_words.h"
#include "core/messages/settings_lock.h"

namespace hori {
namespace {
constexpr int kHysDac = 3;
constexpr int kPllPulseMs = 100, kPhaseSettleMs = 200, kPatternSettleMs = 50;
constexpr int kTestReg = 112, kTestOffReg = 108;
constexpr int kAdcResetReg = 46, kAdcResetValue = 0xFFFF;  // as the ADC set-up starts
constexpr int kDriveDataRegs[] = {23, 25, 27, 29, 31, 33, 35, 37};
constexpr int kDriveClockReg = 39;
constexpr int kDriveA[kDriveEntries] = {11, 18, 22, 24, 26, 28, 30, 31};
constexpr int kDriveB[kDriveEntries] = {3, 12, 8, 21, 26, 32, 41, 63};
constexpr int kEeAgeCounter = 13, kEePhaseDone = 18, kEePhaseMark = 19;
constexpr uint8_t kPhaseMark = 104;
constexpr int kPhaseMatched = 1, kPhaseUnmatched = 2;  // byte 18 after a calibration (blank: 0xFF)
constexpr uint16_t kGainCaliKey = 134, kPhaseAdjKey = 135;
constexpr uint16_t kUtilitySelfCali = 2, kSelfCaliConfirm = 129;  // the utility module's request
constexpr int kStartTestKeep = 2;
constexpr int64_t kNoteUs = 5000000;
constexpr int kNoteRow = 400, kNoteColumn = 40, kNoteColour = 0xFFFF00;

int Bounded(int v) { return std::clamp(v, 0, kDriveEntries - 1); }
control& Board() { return *Sys().board; }

void RestartSampling() {
  Board().SysSample();
  if (Sys().wave) Sys().wave->ClearRealRunWaveCnt();
}

int StepItem(keypara k, int n) { return M().AdjMenuItemPara(k, n); }

// A choice item toggled by its own key.
int Toggle(keypara k, int n) { return StepItem(k, n); }

// The ADC phases of items 41 and 42 (or 75, 76) written and settled.
void WritePhases(int first, int second) {
  Board().AdcPhase(Item(first), Item(second));
  SettingsWaitMs(kPhaseSettleMs);
  RestartSampling();
}

// Items 41/42: the knob steps the item that has it, limited to 0-7; the
// item's own key hands the knob to it.
int PhaseItem(keypara k, int n, int other) {
  if (k.key == Menu::MenuItemToFx(n)) {
    // Only the preferred focus moves: both keep their number shown.
    M().SetItemAttribute(n, uint32_t(M().GetItemAttribute(n)) | MENU_ATTR_FOCUS_FIRST);
    M().SetItemAttribute(other,
                         uint32_t(M().GetItemAttribute(other)) & ~uint32_t(MENU_ATTR_FOCUS_FIRST));
    return 0;
  }
  const int v = std::clamp(Item(n) + KnobStep(k), 0, kAdcPhaseMax);
  SetItem(n, uint64_t(v));
  WritePhases(kAdc1Phase, kAdc2Phase);
  return 0;
}

void AfterPattern() {
  SettingsWaitMs(kPatternSettleMs);
  RestartSampling();
}

void WriteBothAdcs(int reg, int value) {
  for (int adc : {0, 1}) Board().AdcConfig(adc, reg, value);
}
}  // namespace

Service& Svc() {
  static Service s;
  return s;
}

void ShowPage(int page) { M().SetCurrPage(page * kMenuSlots); }

void ServiceNote(const char* text) {
  Service& s = Svc();
  s.note = text;
  s.noteUntilUs = plat::MonoUs() + kNoteUs;
  Manager().AddUserTaskDisplay(kHoriTaskId, 3, 0);
  std::printf("%s\n", text);
}

int KnobStep(keypara k) {
  const int step = k.useStep ? k.step : 1;
  return k.key == MENU_KEY_KNOB_UP ? step : k.key == MENU_KEY_KNOB_DOWN ? -step : 0;
}
}  // namespace hori

using namespace hori;

uint32_t AdcDriveDataWord(int resistance, int current) {
  return uint32_t(kDriveB[Bounded(resistance)]) << 2 | uint32_t(kDriveA[Bounded(current)]) << 9 | 1u;
}

uint32_t AdcDriveClockWord(int resistance, int current) {
  return uint32_t(kDriveB[Bounded(resistance)]) << 2 | uint32_t(kDriveA[Bounded(current)]) << 8 | 1u;
}

void HoriServiceInit() {
  StartTest(kNoKey);
  TemperatureEnable(kNoKey);
  SetItem(kHysAdj, kHysStart);
  SetItem(kAdcDataRes, kDriveDataDefault);
  SetItem(kAdcClkRes, kDriveDataDefault);
  SetItem(kAdcDataCur, kDriveCurrentDefault);
  SetItem(kAdcClkCur, kDriveCurrentDefault);
  Service& s = Svc();
  s.ageCounter = Sys().eeprom->I2C_ReadU32(kEeAgeCounter);
  const int phaseDone = Sys().eeprom->I2C_ReadU8(kEePhaseDone);
  if (phaseDone == kPhaseMatched || phaseDone == kPhaseUnmatched) {
    s.phaseResultShown = true;
    Manager().AddUserTaskDisplay(kHoriTaskId, 3, 0);
  }
  s.age = AgeingTable{};
  Gain50mv_FactoryMode(kNoKey);
  int16_t p1 = 0, p2 = 0;
  Run().GetAdcPhaseInformation(&p1, &p2, nullptr, nullptr);
  SetItem(kAdc1Phase, uint64_t(std::clamp<int>(p1, 0, kAdcPhaseMax)));
  SetItem(kAdc2Phase, uint64_t(std::clamp<int>(p2, 0, kAdcPhaseMax)));
}

void HoriServiceProcess() {
  if (TaskHori.FuncType & TaskForHori::kFuncGuidance) GuidanceProcess();
  KeyRecProcess();
  AdTestingPorcess();
}

void HoriServiceDisplay() {
  GuidanceDisplay();
  AgeingDisplay();
  Service& s = Svc();
  if (s.note && plat::MonoUs() < s.noteUntilUs)
    Draw().drawString(kNoteRow, kNoteColumn, s.note, kNoteColour);
  else
    s.note = nullptr;
}

void HoriServiceHandover() {
  if (TaskHori.FuncType & TaskForHori::kFuncGuidance) Guidance_Stop();
}

// ---- navigation ----

int Hori_OpKeyRec(keypara) { ShowPage(14); return 0; }
int Gain50MV(keypara) { ShowPage(6); return 0; }
int AdcConfig(keypara) { ShowPage(11); return 0; }
int InternalFuncNext(keypara) { ShowPage(3); return 0; }
int InternalFuncNext2(keypara) { ShowPage(4); return 0; }
int InternalFuncBack(keypara) { ShowPage(2); return 0; }
int Guidance_Back(keypara) { ShowPage(2); return 0; }
int Gain50mvNext(keypara) { ShowPage(7); return 0; }
int InternalFunc(keypara) { ShowPage(2); return 0; }
int Gain50mvBack(keypara) { ShowPage(6); return 0; }
int Gain50mvAdcNext(keypara) { ShowPage(9); return 0; }
int Gain50mv_ADCInitPhase(keypara) { ShowPage(15); return 0; }
int Gain50mv_Test3(keypara) { ShowPage(12); return 0; }
int Gain50mv_TestNext(keypara) { ShowPage(10); return 0; }
int Gain50mv_TestNext2(keypara) { ShowPage(2); return 0; }
int Gain50mv_AdcBack(keypara) { ShowPage(8); return 0; }
int ADC_AGE_Next(keypara) { ShowPage(13); return 0; }
int ADC_AGE_Return(keypara) { ShowPage(9); return 0; }
int ADC_AGE_Back(keypara) { ShowPage(12); return 0; }
int OPKeyRecBack(keypara) { ShowPage(2); return 0; }
int ADC_PhaseAdjBack(keypara) { ShowPage(9); return 0; }

int GuidanceMenuOp(keypara k) { return HoriMenuOp(k); }
int Gain50mvMenuOp(keypara k) { return HoriMenuOp(k); }
int ADC_AgeMenuOp(keypara) { return 0; }
int OPKeyRecOp(keypara) { return 0; }

// ---- factory switches and debug toggles ----

int StartTest(keypara k) {
  if (StepItem(k, kSvcStartTest) == kStartTestKeep)
    Manager().AddUserTaskProcess(kHoriTaskId, 0, 0);
  else if (!(TaskHori.FuncType & TaskForHori::kFuncGuidance))
    Manager().DelUserTaskProcess(kHoriTaskId);
  return 0;
}

int SystemReset(keypara) {
  Board().SendRealControl(fpga::kRasterRead, 1);
  Board().SendRealControl(fpga::kRasterRead, 0);
  RestartSampling();
  Board().Bee();
  return 0;
}

int MsgTest(keypara k) {
  const int v = std::clamp(Item(kSvcMsgTest) + KnobStep(k), 0, kMsgTestMax);
  SetItem(kSvcMsgTest, uint64_t(v));
  if (k.key != KEY_NO_KEY) Message(v);
  return 0;
}

int QelTemperatureOnOff(keypara k) {
  Run().SetTemperatureOnOff(Toggle(k, kSvcTemperature));
  Run().SetDrawRefresh();
  return 0;
}

int TemperatureEnable(keypara k) {
  Run().SetDebugMsgOnOff(Toggle(k, kSvcDebugMsg));
  return 0;
}

int InternalFuncPrintfQel(keypara k) {
  Run().SetDebugPrintQelOnOff(Toggle(k, kSvcPrintfQel));
  return 0;
}

int QelSoftPicTest(keypara) { return 0; }

int Gain50mv_FactoryMode(keypara k) {
  Run().SetFactoryMode(StepItem(k, kGainFactoryMode));
  return 0;
}

int Gain50mvSource(keypara k) { return StepItem(k, kGainSource); }

// ---- calibration through the system and utility modules ----

int Gain50mvAdj(keypara) {
  if (AssistTo(kSystemTask, 2, Item(kGainSource), 0, keypara{kGainCaliKey, 1, 0}) < 0)
    ServiceNote("50 mV gain calibration: the system module does not run it on this board.");
  return 0;
}

int Gain50mv_OffsetCali(keypara) { return AssistTo(kUtilityTask, kUtilitySelfCali, kSelfCaliConfirm); }

uint8_t AdcPhaseMatching[kAdcPhaseMatchingEntries];

int Gain50mv_ADCCaliPhase(keypara) {
  taskresponse reply{};
  const int rc = AssistTo(kSystemTask, 2, 0, 0, keypara{kPhaseAdjKey, 1, 0}, &reply);
  if (rc < 0) ServiceNote("ADC phase calibration needs the instrument's ADCs: not run on this board.");
  // The pass flags of each ADC's eight phase codes, ADC 1 first.
  for (int i = 0; i < kAdcPhaseMatchingEntries; ++i) AdcPhaseMatching[i] = rc < 0 ? 0 : reply.area[i];
  std::printf("AdcPhaseMatching :");
  for (uint8_t flag : AdcPhaseMatching) std::printf(" %d", flag);
  std::printf("\n");
  const int matching = rc < 0 ? 0 : reply.words[0];
  const int p1 = reply.words[1], p2 = reply.words[2];
  std::printf("Matching = %d   ADC1Phase = %d     ADC2Phase = %d    \n", matching, p1, p2);
  if (matching == 1) {
    SetItem(kAdc1Phase, uint64_t(std::clamp(p1, 0, kAdcPhaseMax)));
    SetItem(kAdc2Phase, uint64_t(std::clamp(p2, 0, kAdcPhaseMax)));
  }
  Sys().eeprom->I2C_WriteU8(kEePhaseMark, kPhaseMark);
  Sys().eeprom->I2C_WriteU8(kEePhaseDone, uint8_t(matching == 1 ? kPhaseMatched : kPhaseUnmatched));
  Svc().phaseResultShown = true;
  Manager().AddUserTaskDisplay(kHoriTaskId, 3, 0);
  return 0;
}

int HYS_Adj(keypara k) {
  const int v = std::clamp(Item(kHysAdj) + KnobStep(k), 0, kHysMax);
  SetItem(kHysAdj, uint64_t(v));
  Board().ChannelDAC_Set(kHysDac, v);
  return 0;
}

// ---- ADC settings ----

int Gain50mv_PLLConfig(keypara) {
  Board().SendRealControl(fpga::kPllReset, 1);
  SettingsWaitMs(kPllPulseMs);
  Board().SendRealControl(fpga::kPllReset, 0);
  return 0;
}

int Gain50mv_ADC1Phase(keypara k) { return PhaseItem(k, kAdc1Phase, kAdc2Phase); }
int Gain50mv_ADC2Phase(keypara k) { return PhaseItem(k, kAdc2Phase, kAdc1Phase); }

int ADC1_PhaseAdj(keypara k) {
  StepItem(k, kPhase1);
  return ADC_Reconfig(kNoKey);
}

int ADC2_PhaseAdj(keypara k) {
  StepItem(k, kPhase2);
  return ADC_Reconfig(kNoKey);
}

int ADC_Reconfig(keypara) {
  Board().AdcInitSyncVEX4100R(Item(kPhase1), Item(kPhase2));
  RestartSampling();
  return 0;
}

int ADC_Reset(keypara) {
  WriteBothAdcs(kAdcResetReg, kAdcResetValue);
  Board().SendRealControl(fpga::kAdcResetStrobe, 0);
  Board().Bee();
  return 0;
}

int AdcAdjResistanceCurrent(keypara k) {
  // Its own soft key opens an item's list; the knob and push then reach the
  // item whose list is open.
  const int fx = M().FxToMenuItem(k.key);
  const int n = fx >= 0 ? fx : M().GetMenuPopItem();
  if (k.key != KEY_NO_KEY && n >= kAdcDataRes && n <= kAdcClkCur) StepItem(k, n);
  for (int item = kAdcDataRes; item <= kAdcClkCur; ++item)
    if (Item(item) >= kDriveEntries) SetItem(item, uint64_t(kDriveEntries - 1));
  const uint32_t data = AdcDriveDataWord(Item(kAdcDataRes), Item(kAdcDataCur));
  const uint32_t clock = AdcDriveClockWord(Item(kAdcClkRes), Item(kAdcClkCur));
  std::printf("Send1 = 0X%x \n", data);
  for (int reg : kDriveDataRegs) WriteBothAdcs(reg, int(data));
  std::printf("Send2 = 0X%x \n", clock);
  WriteBothAdcs(kDriveClockReg, int(clock));
  AfterPattern();
  return 0;
}

int Gain50mv_Test1(keypara k) {
  Service& s = Svc();
  if (k.key == MENU_KEY_SELECT) {
    s.testByteSel ^= 1;
  } else {
    int& b = s.testByte[s.testByteSel];
    b = std::clamp(b + KnobStep(k), 0, 0xFF);
  }
  SetItem(kAdcTest1, uint64_t(s.testByte[0]));
  WriteBothAdcs(kTestReg, s.testByte[0] | s.testByte[1] << 8);
  AfterPattern();
  return 0;
}

int Gain50mv_Test2(keypara k) {
  const int on = Toggle(k, kAdcTest2);
  WriteBothAdcs(on ? kTestReg : kTestOffReg, 0);
  AfterPattern();
  return 0;
}

int Gain50mv_CntClear(keypara) {
  AgeingTable& t = Svc().age;
  t.pass[0] = t.pass[1] = t.fail[0] = t.fail[1] = 0;
  return 0;
}

int Gain50mv_Test4(keypara k) {
  Sys().vertical->SetChOnOff(0, Toggle(k, kAdcTest4));
  AfterPattern();
  return 0;
}

int Gain50mv_Test5(keypara k) {
  Sys().vertical->SetChOnOff(1, Toggle(k, kAdcTest5));
  AfterPattern();
  return 0;
}
