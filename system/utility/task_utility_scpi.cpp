// The utility module's SCPI commands: the UTILITY key, language, clock,
// self-calibration, clearing data, the frequency counter, the square-wave
// and output selectors, the version text, the network address, the recorder
// and the pass/fail test. Setters write the menu item and rerun its handler
// (or toggle it with its soft key); work that must run on the main loop goes
// through the remote key ring.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "acquisition/engine/wave.h"
#include "core/board/control.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_kit.h"
#include "system/utility/ip_config.h"
#include "system/utility/pass_fail.h"
#include "system/recorder/recorder_pages.h"
#include "system/utility/set_time.h"
#include "system/utility/task_utility.h"
#include "system/utility/task_utility_internal.h"

namespace {
constexpr double kTickSeconds = 4e-9;
constexpr double kIntervalMin = 2, kIntervalMax = 250000000, kDelayMin = 5000000, kDelayMax = 250000000;
constexpr int kVersionChars = 100;
constexpr int kResultChars = 24;  // "30000,30000,60000" and its end mark
constexpr int kMsgNotRecorded = 75;  // "Not record yet!"

const scpipara kLanguageKeys[] = {{"ENGLish", 0}, {"SIMPlifiedchinese", 1}, {"0", 0}, {"1", 1}, {"", -1}};
const scpipara kSquares[] = {{"10Hz", 0}, {"100Hz", 1}, {"1KHz", 2}, {"10KHz", 3}, {"0", 0},
                             {"1", 1},    {"2", 2},     {"3", 3},    {"", -1}};
const scpipara kOutputs[] = {{"TRIGger", 0}, {"PASS_FAIL", 1}, {"0", 0}, {"1", 1}, {"", -1}};
const scpipara kChannels[] = {{"CHANnel1", 0}, {"CHANnel2", 1}, {"", -1}};
const scpipara kOperate[] = {{"RUN", 1}, {"STOP", 0}, {"", -1}};
const scpipara kPfOutputs[] = {{"PASS", 1}, {"FAILED", 0}, {"", -1}};
const scpipara kStopTypes[] = {{"PCOUNT", 0}, {"FCOUNT", 1}, {"", -1}};
const scpipara kQualifiers[] = {{"LEQual", 1}, {"GEQual", 0}, {"", -1}};

const char* const kLanguageWords[] = {"ENGLish", "SIMPlifiedchinese"};
const char* const kSquareWords[] = {"10Hz", "100Hz", "1KHz", "10KHz"};
const char* const kOutputWords[] = {"TRIGger", "PASS_FAIL"};
const char* const kChannelWords[] = {"CHANnel1", "CHANnel2"};
const char* const kOperateWords[] = {"STOP", "RUN"};
const char* const kPfOutputWords[] = {"FAILED", "PASS"};
const char* const kStopTypeWords[] = {"PCOUNT", "FCOUNT"};
const char* const kQualifierWords[] = {"GEQual", "LEQual"};

Menu& M() { return TaskUtility.TaskMenu; }
_SysRunInfoOp& Run() { return *SystemResource.runStatus; }
void Refresh() { Run().SetDrawRefresh(); }

template <size_t N>
void AnswerWord(const char* const (&words)[N], int v) {
  if (v >= 0 && size_t(v) < N) ScpiAnswer(words[v]);
}

// Item setters: the item takes the matched value, its handler reruns on it.
template <int kItem, MenuHandler kHandler, const scpipara* kWords>
void SetItem(scpi_para*, char* p) {
  const int v = ScpiKeyword(kWords, p);
  if (v < 0) return;
  M().SetMenuItem(kItem, uint64_t(v));
  kHandler(kUtiNoKey);
  Refresh();
}

// Toggle setters: the item's own soft key, when the value differs.
template <int kItem, MenuHandler kHandler, const scpipara* kWords, uint16_t kSoftKey>
void Toggle(scpi_para*, char* p) {
  const int v = ScpiKeyword(kWords, p);
  if (v < 0) return;
  const int current = UtiItem(kItem);
  std::printf("typeToSet = %d, curType = %d\n", v, current);
  if (v != current) kHandler(keypara{kSoftKey, 1, 0});
  Refresh();
}

template <int kItem, const char* const* kWords>
void AskWord(scpi_para*, char*) {
  ScpiAnswer(kWords[UtiItem(kItem) & 1]);
}

template <int kItem>
void AskItem(scpi_para*, char*) {
  ScpiAnswerNumber(UtiItem(kItem));
}

// A decimal number into an item, clamped.
template <int kItem, int kMin, int kMax>
void SetNumber(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const long v = ScpiLong(p);
  M().SetMenuItem(kItem, uint64_t(std::clamp<long>(v, kMin, kMax)));
  Refresh();
}

void Utility_Key(scpi_para*, char*) { ScpiQueueKey("Scpi_Key_Utility", kKeyUtility); }
void Utility_Lock(scpi_para*, char* p) { ScpiKeyLock(kKeyUtility, p); }
void Utility_LockAsk(scpi_para*, char*) { ScpiKeyLockAsk(kKeyUtility); }

void LanguageAsk(scpi_para*, char*) { AnswerWord(kLanguageWords, UtiItem(kUtiLanguage)); }
void SquareAsk(scpi_para*, char*) { AnswerWord(kSquareWords, UtiItem(kUtiSquare)); }
void OutputAsk(scpi_para*, char*) { AnswerWord(kOutputWords, UtiItem(kUtiOutputSel)); }

// Up to six decimal fields split at commas; only digits count.
void Rtc(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  int16_t f[kTimeFields] = {};
  int n = 0;
  long v = 0;
  for (const char* c = p;; ++c) {
    if (*c == ',' || *c == '\0') {
      if (n < kTimeFields) f[n++] = int16_t(std::min<long>(v, INT16_MAX));
      v = 0;
      if (*c == '\0' || n == kTimeFields) break;
    } else if (std::isdigit(static_cast<unsigned char>(*c)) && v < INT16_MAX) {
      v = v * 10 + (*c - '0');
    }
  }
  if (ScpiRefuseIf(!SetTime::CheckTimeValidity(f[0], f[1], f[2], f[3], f[4], f[5]))) return;
  setTime.SetSetTimeDate(f);
  setTime.SetTimeHw();
  Run().RefreshRtcTime();
  SystemResource.board->FreqTimingRefresh();
  Refresh();
}

void RtcAsk(scpi_para*, char*) {
  setTime.GetTimeSw();
  int16_t f[kTimeFields];
  setTime.GetSetTimeDate(f);
  char text[48];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d,%d,%d", f[0], f[1], f[2], f[3], f[4], f[5]);
  ScpiAnswer(text);
}

void Cal(scpi_para*, char*) { ScpiQueueKey("Scpi_System_Cal", kKeyScpiSelfCal); }

void Clear(scpi_para*, char*) {
  Utili_ClearData_Sure(kUtiNoKey);
  Refresh();
}

void CymometerAsk(scpi_para*, char*) { ScpiAnswer(UtiItem(kUtiCymometer) ? "1" : "0"); }

void CymometerFreqAsk(scpi_para*, char*) {
  if (UtiItem(kUtiCymometer) == 0) Utility_Cymometer(keypara{kKeyF3, 1, 0});
  const int source = Run().GetTrigSource();
  char text[32];
  std::snprintf(text, sizeof text, "%e", Run().GetCymometer(source > 1 ? 0 : source));
  ScpiAnswer(text);
}

void VersionAsk(scpi_para*, char*) {
  // Room for four whole rows; the reply is then cut to its 100 characters.
  char text[4 * kInfoChars + 16];
  std::snprintf(text, sizeof text, "HW:%s;SW:%s;PD:%s;ICV:%s", SysInformation[kInfoHardware],
                SysInformation[kInfoSoftware], SysInformation[kInfoDate], SysInformation[kInfoProtocol]);
  text[kVersionChars] = '\0';
  ScpiAnswer(text);
}

void LanApply(scpi_para*, char*) {
  std::printf("\n ~~~~~Scpi_System_Communicate_LAN_Apply");
  ScpiQueueKey("Scpi_System_Communicate_LAN_Apply", kKeyScpiIp);
}

// Dotted text into four bytes: digits kept, '.' starts the next byte.
void DealIpStr(const char* p, uint8_t out[kIpBytes]) {
  long field[kIpBytes] = {};
  int n = 0;
  for (const char* c = p; *c && n < kIpBytes; ++c) {
    if (*c == '.') {
      ++n;
    } else if (std::isdigit(static_cast<unsigned char>(*c)) && field[n] < 100000) {
      field[n] = field[n] * 10 + (*c - '0');
    }
  }
  for (int i = 0; i < kIpBytes; ++i) out[i] = uint8_t(field[i]);  // kept to a byte, as the board does
}

enum class LanField { kAddress, kMask, kGateway };
uint8_t* Field(IpAddress* a, LanField f) {
  return f == LanField::kAddress ? a->address : f == LanField::kMask ? a->netmask : a->gateway;
}

template <LanField kField>
void LanSet(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  IpAddress a;
  ipConfig.GetIpAddress(&a);
  uint8_t* b = Field(&a, kField);
  DealIpStr(p, b);
  if (kField == LanField::kMask) std::printf("subMask = %d.%d.%d.%d\n", b[0], b[1], b[2], b[3]);
  if (kField == LanField::kGateway) std::printf("gateWay = %d.%d.%d.%d\n", b[0], b[1], b[2], b[3]);
  ipConfig.SetIpAddress(&a);
  Refresh();
}

template <LanField kField>
void LanAsk(scpi_para*, char*) {
  IpAddress a;
  ipConfig.GetIpAddress(&a);
  const uint8_t* b = Field(&a, kField);
  char text[20];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
  ScpiAnswer(text);
}

void DhcpAsk(scpi_para*, char*) { ScpiAnswer(UtiItem(kUtiIpType) == kIpModeDhcp ? "1" : "0"); }

void MacAsk(scpi_para*, char*) {
  if (ipConfig.GetMac2() < 0) {
    std::printf("\n Get Mac Failed.............");
    return;
  }
  IpAddress a;
  ipConfig.GetIpAddress(&a);
  char text[24];
  std::snprintf(text, sizeof text, "%x-%x-%x-%x-%x-%x", a.mac[0], a.mac[1], a.mac[2], a.mac[3], a.mac[4], a.mac[5]);
  ScpiAnswer(text);
}

void RecEnable(scpi_para*, char* p) {
  const int v = ScpiKeyword(kScpiOnOff, p);
  if (v < 0) return;
  Rec_Enable(v == 1);
  if (v == 1)
    Utility_Rec_Op_Record(kUtiNoKey);
  else
    Rec_Close();
  Refresh();
}
void RecEnableAsk(scpi_para*, char*) { ScpiAnswerNumber(Get_Rec_Enabled() ? 1 : 0); }

void RecStart(scpi_para*, char* p) {
  const int v = ScpiKeyword(kScpiOnOff, p);
  if (v < 0) return;
  if (v == 1)
    Utility_Rec_Op_Record(kUtiNoKey);
  else
    Utility_Rec_Op_Stop(kUtiNoKey);
  Refresh();
}
void RecStartAsk(scpi_para*, char*) {
  const int s = Rec_GetState();
  ScpiAnswerNumber(s == kRecIdle || s == kRecRecorded ? 0 : 1);
}

void RecFast(scpi_para* q, char* p) {
  std::printf("Para.Status = %d\n", ScpiMatch(kScpiOnOff, p));
  Toggle<kUtiRecFast, Utility_Rec_FastRecord, kScpiOnOff, kKeyF4>(q, p);
}

void RecPlay(scpi_para*, char* p) {
  const int v = ScpiKeyword(kScpiOnOff, p);
  if (v < 0) return;
  if (v == 1)
    Utility_Rec_Op_Play(kUtiNoKey);
  else
    Utility_Rec_Op_Stop(kUtiNoKey);
  Refresh();
}
void RecPlayAsk(scpi_para*, char*) {
  const int m = Rec_GetMode();
  ScpiAnswerNumber(m == 0 || m == 2 ? 0 : 1);
}

// Seconds with an optional "ns", "us" or "ms", as ticks of 4 ns.
double Ticks(const char* p) {
  char* end = nullptr;
  double v = std::strtod(p, &end);
  while (end && *end == ' ') ++end;
  if (end && (end[0] == 'n' || end[0] == 'N')) v /= 1e9;
  else if (end && (end[0] == 'u' || end[0] == 'U')) v /= 1e6;
  else if (end && (end[0] == 'm' || end[0] == 'M')) v /= 1000;
  return v / kTickSeconds;
}

template <int kItem, MenuHandler kHandler>
void RecTime(scpi_para*, char* p, double lo, double hi) {
  if (ScpiMissing(p)) return;
  const double t = Ticks(p);
  if (kItem == kUtiRecInterval) std::printf("SetTime = %lf\n", t);
  const double clamped = t != t ? lo : std::clamp(t, lo, hi);  // not a number: the lower bound
  M().SetMenuItem(kItem, uint64_t(uint32_t(clamped + 0.5)));
  kHandler(kUtiNoKey);
  Refresh();
}
void RecInterval(scpi_para* q, char* p) {
  RecTime<kUtiRecInterval, Utility_Rec_Set_Interval>(q, p, kIntervalMin, kIntervalMax);
}
void RecDelay(scpi_para* q, char* p) {
  RecTime<kUtiRecPlayDelay, Utility_Rec_Set_PlayDelay>(q, p, kDelayMin, kDelayMax);
}
template <int kItem>
void RecTimeAsk(scpi_para*, char*) {
  char text[24];
  std::snprintf(text, sizeof text, "%.3E", double(uint32_t(M().GetMenuItem(kItem))) * kTickSeconds);
  ScpiAnswer(text);
}

void RecCurrent(scpi_para*, char* p) {
  if (ScpiMissing(p) || (Rec_GetState() != kRecRecorded && ScpiRefuseWith(kMsgNotRecorded))) return;
  const long n = std::clamp<long>(ScpiLong(p), 1, std::max(1, Rec_GetRecordedFrames()));
  if (Rec_GetMode() == 1) Rec_Stop();
  Rec_PlayOneFrame(int(n) - 1);
  Utility_DrawRecWaveNum();
  Refresh();
}
void RecCurrentAsk(scpi_para*, char*) { ScpiAnswerNumber(Rec_GetCurrentFrame()); }

void RecFrames(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const long most = std::max<long>(1, long(GetMaxFrame()));
  M().SetMenuItem(kUtiRecEndFrame, uint64_t(std::clamp<long>(ScpiLong(p), 1, most)));
  Utility_Rec_Set_EndFrame(kUtiNoKey);
  Refresh();
}

// The end frame a recording started now takes: the one set, at most what the
// sample memory holds at the depth in force (a time-base change moves an
// automatic depth, a depth change the bound).
void RecFramesAsk(scpi_para*, char*) {
  const long most = std::max<long>(1, long(GetMaxFrame()));
  ScpiAnswerNumber(int(std::min<long>(long(UtiItem(kUtiRecEndFrame)), most)));
}

void PfSource(scpi_para*, char* p) {
  const int v = ScpiKeyword(kChannels, p);
  if (v < 0) return;
  const int current = SystemResource.wave->GetPassFailSoureCh();
  std::printf("setSource = %d, curSource = %d\n", v, current);
  if (v != UtiItem(kUtiPfSource)) PassFail_Source(keypara{kKeyF4, 1, 0});
  Refresh();
}
void PfSourceAsk(scpi_para*, char*) { AnswerWord(kChannelWords, SystemResource.wave->GetPassFailSoureCh() & 1); }

void PfTemplateX(scpi_para* q, char* p) {
  if (p) std::printf("xToSet = %ld\n", ScpiLong(p));
  SetNumber<kUtiPfHoriMask, kUtiPfMaskMin, kUtiPfMaskMax>(q, p);
}
void PfTemplateY(scpi_para* q, char* p) {
  if (p) std::printf("yToSet = %ld\n", ScpiLong(p));
  SetNumber<kUtiPfVertMask, kUtiPfMaskMin, kUtiPfMaskMax>(q, p);
}
void PfCreate(scpi_para*, char*) {
  PassFailMaskSetup(kUtiNoKey);
  Refresh();
}

void PfResultAsk(scpi_para*, char*) {
  int pass = 0, fail = 0;
  SystemResource.wave->GetPassFailTimes(&pass, &fail);
  char text[kResultChars];
  std::snprintf(text, sizeof text, "%d,%d,%d", pass, fail, pass + fail);
  ScpiAnswer(text);
}
}  // namespace

instr TaskUtilityInstrStandard[] = {
    {"KEY:UTILity", Utility_Key},
    {"KEY:UTILity:LOCK", Utility_Lock},
    {"KEY:UTILity:LOCK?", Utility_LockAsk},
    {"SYSTem:LANGuage", SetItem<kUtiLanguage, Utility_Language, kLanguageKeys>},
    {"SYSTem:LANGuage?", LanguageAsk},
    {"SYSTem:RTC", Rtc},
    {"SYSTem:RTC?", RtcAsk},
    {"SYSTem:CAL", Cal},
    {"SYSTem:CLEAr", Clear},
    {"SYSTem:CYMOmeter", SetItem<kUtiCymometer, Utility_Cymometer, kScpiOnOff>},
    {"SYSTem:CYMOmeter?", CymometerAsk},
    {"SYSTem:CYMOmeter:FREQuency?", CymometerFreqAsk},
    {"SYSTem:SQUare:SELect", SetItem<kUtiSquare, Utility_Square, kSquares>},
    {"SYSTem:SQUare:SELect?", SquareAsk},
    {"SYSTem:OUTPut:SELect", SetItem<kUtiOutputSel, Utility_OutputSel, kOutputs>},
    {"SYSTem:OUTPut:SELect?", OutputAsk},
    {"SYSTem:VERSion?", VersionAsk},
    {"SYSTem:COMMunicate:LAN:APPLy", LanApply},
    {"SYSTem:COMMunicate:LAN:GATEway", LanSet<LanField::kGateway>},
    {"SYSTem:COMMunicate:LAN:GATEway?", LanAsk<LanField::kGateway>},
    {"SYSTem:COMMunicate:LAN:SMASK", LanSet<LanField::kMask>},
    {"SYSTem:COMMunicate:LAN:SMASK?", LanAsk<LanField::kMask>},
    {"SYSTem:COMMunicate:LAN:IPADdress", LanSet<LanField::kAddress>},
    {"SYSTem:COMMunicate:LAN:IPADdress?", LanAsk<LanField::kAddress>},
    {"SYSTem:COMMunicate:LAN:DHCP", SetItem<kUtiIpType, Utility_IpConf_IpType, kScpiOnOff>},
    {"SYSTem:COMMunicate:LAN:DHCP?", DhcpAsk},
    {"SYSTem:COMMunicate:LAN:MAC?", MacAsk},
    {"RECord:ENABle", RecEnable},
    {"RECord:ENABle?", RecEnableAsk},
    {"RECord:STARt", RecStart},
    {"RECord:STARt?", RecStartAsk},
    {"RECord:FAST", RecFast},
    {"RECord:FAST?", AskItem<kUtiRecFast>},
    {"RECord:INTerval", RecInterval},
    {"RECord:INTerval?", RecTimeAsk<kUtiRecInterval>},
    {"RECord:PLAY", RecPlay},
    {"RECord:PLAY?", RecPlayAsk},
    {"RECord:PLAY:DELay", RecDelay},
    {"RECord:PLAY:DELay?", RecTimeAsk<kUtiRecPlayDelay>},
    {"RECord:CURRent", RecCurrent},
    {"RECord:CURRent?", RecCurrentAsk},
    {"RECord:FRAMes", RecFrames},
    {"RECord:FRAMes?", RecFramesAsk},
    {"PF:ENABle", Toggle<kUtiPfEnable, PassFail_Enable, kScpiOnOff, kKeyF1>},
    {"PF:ENABle?", AskItem<kUtiPfEnable>},
    {"PF:SOURCe", PfSource},
    {"PF:SOURCe?", PfSourceAsk},
    {"PF:OPERate", Toggle<kUtiPfOperate, PassFail_Operate, kOperate, kKeyF2>},
    {"PF:OPERate?", AskWord<kUtiPfOperate, kOperateWords>},
    {"PF:OUTPut", Toggle<kUtiPfOutput, PassFail_Output, kPfOutputs, kKeyF3>},
    {"PF:OUTPut?", AskWord<kUtiPfOutput, kPfOutputWords>},
    {"PF:STOP:TYPe", Toggle<kUtiPfStopType, PassFail_StopSetup_StopType, kStopTypes, kKeyF1>},
    {"PF:STOP:TYPe?", AskWord<kUtiPfStopType, kStopTypeWords>},
    {"PF:STOP:QUALifier", Toggle<kUtiPfWhen, PassFail_StopSetup_When, kQualifiers, kKeyF2>},
    {"PF:STOP:QUALifier?", AskWord<kUtiPfWhen, kQualifierWords>},
    {"PF:STOP:THReshold", SetNumber<kUtiPfThreshold, kUtiPfThresholdMin, kUtiPfThresholdMax>},
    {"PF:STOP:THReshold?", AskItem<kUtiPfThreshold>},
    {"PF:TEMPlate:SOURce", Toggle<kUtiPfRefChannel, PassFail_RefChannel, kChannels, kKeyF1>},
    {"PF:TEMPlate:SOURce?", AskWord<kUtiPfRefChannel, kChannelWords>},
    {"PF:TEMPlate:X", PfTemplateX},
    {"PF:TEMPlate:X?", AskItem<kUtiPfHoriMask>},
    {"PF:TEMPlate:Y", PfTemplateY},
    {"PF:TEMPlate:Y?", AskItem<kUtiPfVertMask>},
    {"PF:TEMPlate:CREate", PfCreate},
    {"PF:RESult?", PfResultAsk},
    {"", nullptr},
};
