// The trigger module's TRIGger and KEY commands. A setter writes the menu
// item, reruns the item's handler with the no-key code, then applies the
// trigger page as a key would (Scpi_TriggerCommonOp); a query answers from
// the item. Refused commands change nothing, answer nothing and leave an
// error for SYSTem:ERRor?.
#include "trigger/analog/trigger_scpi.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "acquisition/models/trig_system.h"
#include "core/board/control.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "remote/scpi/scpi_kit.h"
#include "trigger/analog/task_trigger.h"

namespace {
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
constexpr int kAnalogTypes = 12;
// The trigger clock: 4 ns, and 1 ns for the pulse limits, as the single-
// precision constants the counts are taken with.
constexpr double kQuarterPeriod = double(4e-9f), kNsPeriod = double(1e-9f);
constexpr int kLinesNtsc = 525, kLinesPal = 625, kStandardNtsc = 1;
constexpr int kNthDigits = 9;
constexpr int kCouplingDc = 0, kCouplingNoise = 4;
enum When { kGreater = 0, kLess = 1 };
enum SetTime : uint8_t { kSetLower = 0, kSetUpper = 1, kSetNone = 255 };
enum Source { kMenuCh1 = 0, kMenuCh2 = 1, kMenuAcLine = 2, kMenuExt = 3 };

using TriggerKey = ScpiKeyTrio<kKeyTrigger, kKeyTrigger>;     // KEY:TMENu
using DecodeKey = ScpiKeyTrio<kKeySetToZero, kKeySetToZero>;  // KEY:DECode

// Which limit the next width-limit command sets (the :LOWer / :UPPer rows).
uint8_t set_time_type = kSetNone;

_SysResource& Sys() { return *TaskTrigger.Sys(); }
int Value(int item) { return int(int16_t(TaskTrigger.Item(item) & 0xFFFF)); }
int TypeNow() { return TaskTrigger.Type(); }

// The long form of the row whose value is `v`; null when none.
const char* KeywordOf(const scpipara* words, int v) {
  for (int i = 0; words[i].pattern[0]; ++i)
    if (words[i].value == v) return words[i].pattern;
  return nullptr;
}

void AnswerKeyword(const scpipara* words, int v) {
  if (const char* w = KeywordOf(words, v)) ScpiAnswer(w);
}

void AnswerFormat(const char* format, double v) {
  char text[40];
  std::snprintf(text, sizeof text, format, v);
  ScpiAnswer(text);
}

// ---- keyword rows ----------------------------------------------------------

const scpipara kPosNeg[] = {{"POSitive", 0}, {"NEGative", 1}, {"", -1}};
const scpipara kPosNegAlt[] = {{"POSitive", 0}, {"NEGative", 1}, {"ALTernation", 2}, {"", -1}};
const scpipara kNegPos[] = {{"NEGative", 0}, {"POSitive", 1}, {"", -1}};
const scpipara kLowHigh[] = {{"LOW", 0}, {"HIGH", 1}, {"", -1}};
const scpipara kChannels[] = {{"CHANnel1", 0}, {"CHANnel2", 1}, {"", -1}};
const scpipara kVideoModes[] = {{"EVEN", 0}, {"ODD", 1}, {"ALINes", 2}, {"LINE", 3}, {"", -1}};
const scpipara kVideoStandards[] = {{"PAL", 0}, {"NTSC", 1}, {"SECam", 2}, {"", -1}};
const scpipara kThresholds[] = {{"LOW", 0}, {"HIGH", 1}, {"LH", 2}, {"", -1}};
const scpipara kWindowPositions[] = {{"ENTER", 0}, {"EXIT", 1}, {"TIME", 2}, {"", -1}};
const scpipara kQualifiers[] = {
    {"GREaterthan ", 0}, {"LESSthan ", 1}, {"INRange", 2}, {"NONE", 3}, {"", -1}};
const scpipara kDelayQualifiers[] = {
    {"GREaterthan", 0}, {"LESSthan", 1}, {"INRange", 2}, {"OUTRange", 3}, {"", -1}};
const scpipara kDurationModes[] = {{"UPPER", 0}, {"LOW", 1}, {"NORMAL", 2}, {"", -1}};
const scpipara kDurationCodes[] = {{"HIGH", 0}, {"LOW", 1}, {"X", 2}, {"", -1}};
const scpipara kPatternCodes[] = {{"HIGH", 0},     {"LOW", 1},      {"X", 2},
                                  {"POSitive", 3}, {"NEGative", 4}, {"", -1}};
const scpipara kSetupHoldModes[] = {{"SETup", 0}, {"HOLD", 1}, {"", -1}};
const scpipara kSetupHoldAnswers[] = {{"SETup", 0}, {"HOLD", 1}, {"SH", 2}, {"", -1}};
const scpipara kCouplings[] = {{"DC", 0}, {"AC", 1}, {"HF", 2}, {"LF", 3}, {"NOISE", 4}, {"", -1}};
const scpipara kSelects[] = {{"SOURce1", 0}, {"SOURce2", 1}, {"SOUR1", 0}, {"SOUR2", 1}, {"", -1}};
const scpipara kSelectAnswers[] = {{"SOURce1", 0}, {"SOURce2", 1}, {"", -1}};
const scpipara kSources[] = {{"CHANnel1", 0}, {"CHANnel2", 1}, {"ACLine", 2}, {"EXT", 3}, {"", -1}};
const char* const kStatus[] = {"ARMED", "AUTO",  "TRIGED", "READY", "STOP",
                               "SCAN",  "RESET", "REPLAY", "WAIT"};
constexpr int kStatusCount = int(sizeof kStatus / sizeof kStatus[0]);

// The limit items show the limit that applies to the When value.
void QualifierAttributes() {
  const int w = Value(kTiWhen);
  if (w == kGreater) {
    TaskTrigger.SetAttr(kTiLowLimit, kTrigAttrKnob, kTrigAttrOff);
    TaskTrigger.SetAttr(kTiUppLimit, kTrigAttrOff, kTrigAttrKnob);
  } else if (w == kLess) {
    TaskTrigger.SetAttr(kTiUppLimit, kTrigAttrKnob, kTrigAttrOff);
    TaskTrigger.SetAttr(kTiLowLimit, kTrigAttrOff, kTrigAttrKnob);
  } else {
    TaskTrigger.SetAttr(kTiUppLimit, kTrigAttrKnob, kTrigAttrOff);
    TaskTrigger.SetAttr(kTiLowLimit, 0, kTrigAttrKnob | kTrigAttrOff);
  }
}

bool DurationType() { return TypeNow() == kTrigDuration; }
bool Always() { return true; }
int NoHandler(keypara) { return 0; }
void Nothing() {}

// A command of one item matched against a keyword list: the item handler
// the setter runs with no key, a condition of the command, what runs after
// the handler, and the list the query answers from.
struct KeywordRow {
  int16_t item;
  const scpipara* words;
  int (*handler)(keypara);
  bool (*allowed)();
  void (*after)();
  const scpipara* answers;
};

template <const KeywordRow& R>
void SetKeyword(scpi_para*, char* p) {
  const int v = ScpiKeyword(R.words, p);
  if (v < 0 || ScpiRefuseIf(!R.allowed())) return;
  TaskTrigger.SetItem(R.item, uint64_t(v));
  R.handler(kNoKey);
  R.after();
  Scpi_TriggerCommonOp();
}

template <const KeywordRow& R>
void AskKeyword(scpi_para*, char*) {
  if (!ScpiRefuseIf(!R.allowed())) AnswerKeyword(R.answers, Value(R.item));
}

constexpr KeywordRow kEdgeSlope{kTiEdgeSlope, kPosNegAlt, NoHandler, Always, Nothing, kPosNegAlt};
constexpr KeywordRow kPulseQualifier{kTiWhen, kQualifiers,         NoHandler,
                                     Always,  QualifierAttributes, kQualifiers};
constexpr KeywordRow kPulsePolarity{kTiPulsePolarity, kNegPos, NoHandler, Always, Nothing, kNegPos};
constexpr KeywordRow kVideoMode{kTiVideoSync, kVideoModes, Trigger_VideoSync,
                                Always,       Nothing,     kVideoModes};
constexpr KeywordRow kVideoStandard{kTiVideoStandard, kVideoStandards, Trigger_VideoStandard,
                                    Always,           Nothing,         kVideoStandards};
constexpr KeywordRow kSlopeSlope{kTiSlopePolarity, kPosNeg, NoHandler, Always, Nothing, kPosNeg};
constexpr KeywordRow kSlopeThreshold{kTiSlopeThreshold, kThresholds, NoHandler, Always,
                                     Nothing,           kThresholds};
constexpr KeywordRow kRuntPolarity{kTiRuntPolarity, kNegPos, NoHandler, Always, Nothing, kNegPos};
constexpr KeywordRow kRuntLevel{kTiRuntLevel, kLowHigh, NoHandler, Always, Nothing, kLowHigh};
constexpr KeywordRow kWindowSlope{kTiWinSlope, kPosNegAlt, NoHandler, Always, Nothing, kPosNegAlt};
constexpr KeywordRow kWindowLevel{kTiWinLevel, kLowHigh, NoHandler, Always, Nothing, kLowHigh};
constexpr KeywordRow kWindowPosition{kTiWinPosition, kWindowPositions, NoHandler,
                                     Always,         Nothing,          kWindowPositions};
constexpr KeywordRow kDelayArmSource{kTiDelaySource1, kChannels, NoHandler, Always, Nothing, kChannels};
constexpr KeywordRow kDelayArmSlope{kTiDelayEdge1, kPosNeg, NoHandler, Always, Nothing, kPosNeg};
constexpr KeywordRow kDelayTrigSource{kTiDelaySource2, kChannels, NoHandler, Always, Nothing, kChannels};
constexpr KeywordRow kDelayTrigSlope{kTiDelayEdge2, kPosNeg, NoHandler, Always, Nothing, kPosNeg};
constexpr KeywordRow kDelayQualifier{kTiWhen, kDelayQualifiers,    NoHandler,
                                     Always,  QualifierAttributes, kDelayQualifiers};
constexpr KeywordRow kTimeOutSlope{kTiTimeOutSlope, kPosNegAlt, NoHandler, Always, Nothing, kPosNegAlt};
constexpr KeywordRow kDurationMode{kTiWhen,      kDurationModes, TriggerWhen_Sel,
                                   DurationType, Nothing,        kDurationModes};
constexpr KeywordRow kDurationPattern{kTiDurCode, kDurationCodes, Trigger_DurationCode,
                                      Always,     Nothing,        kDurationCodes};
constexpr KeywordRow kShData{kTiShData, kChannels, Trigger_SetupHoldDataSour,
                             Always,    Nothing,   kChannels};
constexpr KeywordRow kShClock{kTiShClock, kChannels, Trigger_SetupHoldClkSour,
                              Always,     Nothing,   kChannels};
constexpr KeywordRow kShSlope{kTiShEdge, kPosNeg, Trigger_SetupHoldEdge, Always, Nothing, kPosNeg};
constexpr KeywordRow kShPattern{kTiShCode, kLowHigh, Trigger_SetupHoldCode, Always, Nothing, kLowHigh};
constexpr KeywordRow kShMode{kTiShSel, kSetupHoldModes, Trigger_SetupHoldSetupHold,
                             Always,   Nothing,         kSetupHoldAnswers};
constexpr KeywordRow kNthSlope{kTiNthSlope, kPosNeg, Trigger_NthEdgeSlope, Always, Nothing, kPosNeg};
constexpr KeywordRow kPatternPattern{kTiPatCode, kPatternCodes, Trigger_PatternCode,
                                     Always,     Nothing,       kPatternCodes};

// The video standard's query also applies the page.
void Scpi_TaskTrigger_VideoStandardAsk(scpi_para* s, char* p) {
  AskKeyword<kVideoStandard>(s, p);
  Scpi_TriggerCommonOp();
}

// ---- type, sweep, source, status, force ------------------------------------

void Scpi_TaskTrigger_Mode(scpi_para*, char* p) {
  const int t = ScpiKeyword(ScpiTrigTypePara, p);
  if (t < 0 || ScpiRefuseIf(t >= kAnalogTypes)) return;  // the serial buses have SBUS:MODE
  TaskTrigger.SetItem(LinkageItem[t], uint64_t(t));
  if (TriggerMenu) TriggerMenu->SetCurrPage(LinkageItem[t]);
  Trigger_TypeSelect(kNoKey);
  Scpi_TriggerCommonOp();
}

void Scpi_TaskTrigger_ModeAsk(scpi_para*, char*) {
  const int t = TypeNow();
  if (t < kAnalogTypes) AnswerKeyword(ScpiTrigTypePara, t);
}

void Scpi_TaskTrigger_Force(scpi_para*, char*) { TriggerSet_Force(kNoKey); }

void Scpi_TaskTrigger_StatusAsk(scpi_para*, char*) {
  const int status = Sys().runStatus->GetAcquireStatus(0);
  std::printf("AcqStatus = 0x%x \n", unsigned(status));
  // Statuses past the list are the knob's follow-up states: waiting.
  if (status >= 0) ScpiAnswer(kStatus[std::min(status, kStatusCount - 1)]);
}

void Scpi_TaskTrigger_Source(scpi_para*, char* p) {
  const int which = ScpiKeyword(ScpiTrigSourcePara, p);
  enum { kCh1 = 1, kCh2, kCh3, kCh4, kExt, kExt5, kAcLine };
  if (which < 0) return;
  const int t = TypeNow();
  const bool external = which == kExt || which == kAcLine;
  if (ScpiRefuseIf(which == kCh3 || which == kCh4 || which == kExt5 || t >= kAnalogTypes ||
                   (external && (t > kTrigVideo || (which == kAcLine && t == kTrigVideo)))))
    return;
  const int v = which == kCh1      ? kMenuCh1
                : which == kCh2    ? kMenuCh2
                : which == kAcLine ? kMenuAcLine
                                   : kMenuExt;
  TaskTrigger.SetItem(SourceItem[t], uint64_t(v));
  if (t == kTrigPattern || t == kTrigDuration) {
    const int code = Sys().runStatus->GetTriggerSourceCode(v);
    TaskTrigger.SetItem(t == kTrigPattern ? kTiPatCode : kTiDurCode, uint64_t(uint16_t(code)));
  }
  Scpi_TriggerCommonOp();
}

void Scpi_TaskTrigger_SourceAsk(scpi_para*, char*) {
  const int s = DurationType() ? Value(kTiDurSource) : Sys().trigger->GetTriggerSource();
  AnswerKeyword(kSources, s);
}

// ---- times -----------------------------------------------------------------

// A count of trigger-clock periods: negative times give 0, and counts past
// 64 bits the largest.
uint64_t Count(double seconds, double period) {
  const double c = seconds / period;
  if (!(c > 0)) return 0;
  return c >= 18446744073709549568.0 ? ~uint64_t(0) : uint64_t(c);
}

struct LimitScale {
  double period;
  uint64_t max;
};
LimitScale Scale() {
  return TypeNow() == kTrigPulse ? LimitScale{kNsPeriod, kTrigPulseTimeMax}
                                 : LimitScale{kQuarterPeriod, kTrigTimeMax};
}

// Sets the lower (or the upper) limit to `count`, keeping them ordered.
void SetLimit(bool upperLimit, uint64_t count, const LimitScale& s) {
  const uint64_t upper = std::min<uint64_t>(TaskTrigger.Item(kTiUppLimit), s.max);
  const uint64_t lower = std::max<uint64_t>(TaskTrigger.Item(kTiLowLimit), kTrigTimeMin);
  if (!upperLimit) {
    if (count >= upper) {
      TaskTrigger.SetItem(kTiLowLimit, std::min(count, s.max));
      TaskTrigger.SetItem(kTiUppLimit, std::min(count, s.max));
    } else {
      TaskTrigger.SetItem(kTiLowLimit, std::max(count, kTrigTimeMin));
    }
  } else if (count <= lower) {
    TaskTrigger.SetItem(kTiLowLimit, std::max(count, kTrigTimeMin));
    TaskTrigger.SetItem(kTiUppLimit, std::max(count, kTrigTimeMin));
  } else {
    TaskTrigger.SetItem(kTiUppLimit, std::min(count, s.max));
  }
}

// The limit a query reads: by When, and for the two-limit conditions by the row.
int LimitItem(bool upperRow) {
  const int w = Value(kTiWhen);
  if (w == kGreater) return kTiLowLimit;
  if (w == kLess) return kTiUppLimit;
  return upperRow ? kTiUppLimit : kTiLowLimit;
}

void AnswerLimit(bool upperRow) {
  set_time_type = kSetNone;
  AnswerFormat("%-13.6e", double(TaskTrigger.Item(LimitItem(upperRow))) * Scale().period);
}

// A time item of 4 ns counts: the count held at the longest time the item
// takes (its handler's clamp then raises short ones), never wrapped.
void SetQuarterTime(int item, int (*handler)(keypara), const char* p) {
  TaskTrigger.SetItem(item, std::min(Count(TimeStrParse(p), kQuarterPeriod), kTrigTimeMax));
  handler(kNoKey);
  Scpi_TriggerCommonOp();
}

void AnswerQuarterTime(int item, const char* format) {
  AnswerFormat(format, double(TaskTrigger.Item(item)) * kQuarterPeriod);
}

void Scpi_TaskTrigger_WindowTime(scpi_para*, char* p) { SetQuarterTime(kTiWinTime, Trigger_WinSet, p); }
void Scpi_TaskTrigger_WindowTimeAsk(scpi_para*, char*) { AnswerQuarterTime(kTiWinTime, "%e"); }
void Scpi_TaskTrigger_TimeOutTime(scpi_para*, char* p) {
  SetQuarterTime(kTiTimeOutTime, Trigger_TimeOutTime, p);
}
void Scpi_TaskTrigger_TimeOutTimeAsk(scpi_para*, char*) { AnswerQuarterTime(kTiTimeOutTime, "%e"); }
void Scpi_TaskTrigger_SetupHoldTime(scpi_para*, char* p) {
  if (!ScpiMissing(p)) SetQuarterTime(kTiShTime, Trigger_SetupHoldTime, p);
}
void Scpi_TaskTrigger_SetupHoldTimeAsk(scpi_para*, char*) { AnswerQuarterTime(kTiShTime, "%-13.6e"); }
void Scpi_TaskTrigger_NthEdgeTime(scpi_para*, char* p) {
  if (!ScpiMissing(p)) SetQuarterTime(kTiNthIdle, Trigger_NthEdgeIdleTime, p);
}
void Scpi_TaskTrigger_NthEdgeTimeAsk(scpi_para*, char*) { AnswerQuarterTime(kTiNthIdle, "%-13.6e"); }

// ---- video line, n-th edge count, sources, slew rates ----------------------

void Scpi_TaskTrigger_VideoLine(scpi_para*, char* p) {
  long n = 0;
  if (!ScpiNumber(p, &n)) return;
  const long last = Value(kTiVideoStandard) == kStandardNtsc ? kLinesNtsc : kLinesPal;
  TaskTrigger.SetItem(kTiVideoLine, uint64_t(std::clamp<long>(n, 1, last)));
  Trigger_VideoLineNum(kNoKey);
  Scpi_TriggerCommonOp();
}

void Scpi_TaskTrigger_VideoLineAsk(scpi_para*, char*) { ScpiAnswerNumber(Value(kTiVideoLine)); }

void Scpi_TaskTrigger_NthEdgeValue(scpi_para*, char* p) {
  long given = 0;
  if (!ScpiNumber(p, &given)) return;  // a number at all; the count is its leading digits
  long n = 0;
  for (int i = 0; i < kNthDigits && std::isdigit(static_cast<unsigned char>(p[i])); ++i)
    n = n * 10 + (p[i] - '0');
  TaskTrigger.SetItem(kTiNthCount, uint64_t(std::clamp<long>(n, 1, kTrigNthMax)));
  Trigger_NthEdgeEdgeNum(kNoKey);
  Scpi_TriggerCommonOp();
}

void Scpi_TaskTrigger_NthEdgeValueAsk(scpi_para*, char*) {
  ScpiAnswerNumber(int(TaskTrigger.Item(kTiNthCount)));
}

// SOURce1 / SOURce2 of a two-source type: the source handler that takes the knob.
template <int (*First)(keypara), int (*Second)(keypara), int kFirstItem>
struct SourceSelect {
  static void Set(scpi_para*, char* p) {
    const int v = ScpiKeyword(kSelects, p);
    if (v < 0) return;
    (v == 0 ? First : Second)(kNoKey);
    Scpi_TriggerCommonOp();
  }
  static void Ask(scpi_para*, char*) {
    AnswerKeyword(kSelectAnswers, TaskTrigger.Attr(kFirstItem) & kTrigAttrKnob ? 0 : 1);
  }
};
using DelaySelect = SourceSelect<Trigger_DelaySource1, Trigger_DelaySource2, kTiDelaySource1>;
using SetupHoldSelect = SourceSelect<Trigger_SetupHoldDataSour, Trigger_SetupHoldClkSour, kTiShData>;

// A slope rate of the run state in volts per second (its text's unit code
// scales the mantissa).
double Rate(int k) {
  static const double kFactor[] = {1.0, 1e3, 1e6, 1e6};
  const FloatElement& e = Sys().runStatus->GetSysRunInfoBaseAddr()->slewRateText[k];
  return e.unit >= 0 && e.unit < 4 ? e.mantissa * kFactor[e.unit] : 0.0;
}

void AnswerRate(int k) {
  if (k < 0)
    ScpiAnswer("*");
  else
    AnswerFormat("%e", Rate(k));
}
}  // namespace

// ---- shared setters, the common tail and the time parser -------------------

const scpipara ScpiTrigTypePara[] = {
    {"EDGE", 0},   {"PULSe", 1},   {"VIDeo", 2},    {"SLOPe", 3}, {"RUNT", 4}, {"WINDow", 5},
    {"DELay", 6},  {"TIMeout", 7}, {"DURation", 8}, {"SHOLd", 9}, {"NE", 10},  {"PATTern", 11},
    {"RS232", 12}, {"I2C", 13},    {"SPI", 14},     {"CAN", 15},  {"LIN", 16}, {"", -1}};
const scpipara ScpiTrigSweepPara[] = {{"AUTO", 0}, {"NORMal", 1}, {"SINGle", 2}, {"", -1}};
const scpipara ScpiTrigSourcePara[] = {{"CHANnel1", 1}, {"CHANnel2", 2}, {"CHANnel3", 3},
                                       {"CHANnel4", 4}, {"EXT", 5},      {"EXT5", 6},
                                       {"ACLine", 7},   {"", -1}};

void Scpi_TriggerCommonOp() {
  _SysResource& sys = Sys();
  sys.runStatus->SetDrawRefresh();
  if (TypeNow() >= kTrigRs232) {
    sys.board->FPGAResetEnable();
    Trigger_MenuOp(kNoKey);
    sys.board->SysSample();
  } else {
    Trigger_MenuOp(kNoKey);
  }
}

double TimeStrParse(const char* text) {
  if (!text) return -1.0;
  char* rest = nullptr;
  const double v = std::strtod(text, &rest);
  if (!rest) return v;
  if (std::strcmp(rest, "ns") == 0) return v / 1e9;
  if (std::strcmp(rest, "us") == 0) return v / 1e6;
  if (std::strcmp(rest, "ms") == 0) return v / 1000;
  return v;
}

double Time_change(const char* text) { return TimeStrParse(text); }

void Scpi_TaskTrigger_Sweep(scpi_para*, char* p) {
  const int mode = ScpiKeyword(ScpiTrigSweepPara, p);
  if (mode < 0) return;
  TriggerSetValueBefore(kTiMode, Value(kTiMode));
  TaskTrigger.SetItem(kTiMode, uint64_t(mode));
  TriggerSet_Mode(kNoKey);
  TriggerSetMenuOp(kNoKey);
  Scpi_TriggerCommonOp();
}

void Scpi_TaskTrigger_SweepAsk(scpi_para*, char*) { AnswerKeyword(ScpiTrigSweepPara, Value(kTiMode)); }

void Scpi_TaskTrigger_Coupling(scpi_para*, char* p) {
  const int c = ScpiKeyword(kCouplings, p);
  if (c < 0 || ScpiRefuseIf(c != kCouplingDc && c != kCouplingNoise && TypeNow() != kTrigEdge)) return;
  TriggerSetValueBefore(kTiCoupling, Value(kTiCoupling));
  TaskTrigger.SetItem(kTiCoupling, uint64_t(c));
  TriggerSet_Coupling(kNoKey);
  TriggerSetMenuOp(kNoKey);
  Sys().trigger->SetTriggerCoupling();
  Scpi_TriggerCommonOp();
}

void Scpi_TaskTrigger_GetCoupling(scpi_para*, char*) { AnswerKeyword(kCouplings, Value(kTiCoupling)); }

// ---- width limits ----------------------------------------------------------

void Scpi_TaskTrigger_PulseTime(scpi_para*, char* p) {
  const uint8_t which = set_time_type;
  set_time_type = kSetNone;
  if (ScpiMissing(p)) return;
  const LimitScale s = Scale();
  const uint64_t count = Count(TimeStrParse(p), s.period);
  const int w = Value(kTiWhen);
  if (w == kGreater) {
    if (ScpiRefuseIf(which == kSetUpper)) return;  // the condition has no upper limit
    SetLimit(false, count, s);
  } else if (w == kLess) {
    if (ScpiRefuseIf(which == kSetLower)) return;
    SetLimit(true, count, s);
  } else if (which != kSetNone) {
    SetLimit(which == kSetUpper, count, s);
  }
  Scpi_TriggerCommonOp();
}

void Scpi_TaskTrigger_GetPulseTime(scpi_para*, char*) { AnswerLimit(false); }

void SCPI_DURation_TRIGgerLOWerTIMe(scpi_para* s, char* p) {
  set_time_type = kSetLower;
  Scpi_TaskTrigger_PulseTime(s, p);
}

void SCPI_DURation_TRIGgerUPPerTIMe(scpi_para* s, char* p) {
  set_time_type = kSetUpper;
  Scpi_TaskTrigger_PulseTime(s, p);
}

void SCPI_DURation_TRIGgerLOWerTIMeAsk(scpi_para*, char*) { AnswerLimit(false); }
void SCPI_DURation_TRIGgerUPPerTIMeAsk(scpi_para*, char*) { AnswerLimit(true); }

// ---- slope rates -----------------------------------------------------------

void Scpi_Slope_Trig_Rate_LowerAsk(scpi_para*, char*) {
  const int sel = Sys().runStatus->GetSysRunInfoBaseAddr()->when;
  if (sel >= 0 && sel <= 2) AnswerRate(sel == 0 ? -1 : sel == 1 ? 0 : 1);
}

void Scpi_Slope_Trig_Rate_UpperAsk(scpi_para*, char*) {
  const int sel = Sys().runStatus->GetSysRunInfoBaseAddr()->when;
  if (sel >= 0 && sel <= 2) AnswerRate(sel == 1 ? -1 : 0);
}

// ---- the table ---------------------------------------------------------------

template <>
const char* TriggerKey::name = "Trigger";
template <>
const char* DecodeKey::name = "Decode";

#define TRIG_KEYWORD_ROWS(pattern, row) \
  {pattern, SetKeyword<row>}, { pattern "?", AskKeyword<row> }
#define TRIG_LIMIT_ROWS(pattern)                                                                    \
  {pattern ":TIME", Scpi_TaskTrigger_PulseTime}, {pattern ":TIME?", Scpi_TaskTrigger_GetPulseTime}, \
      {pattern ":TIME:LOWer", SCPI_DURation_TRIGgerLOWerTIMe},                                      \
      {pattern ":TIME:LOWer?", SCPI_DURation_TRIGgerLOWerTIMeAsk},                                  \
      {pattern ":TIME:UPPer", SCPI_DURation_TRIGgerUPPerTIMe}, {                                    \
    pattern ":TIME:UPPer?", SCPI_DURation_TRIGgerUPPerTIMeAsk                                       \
  }

const instr TriggerScpiHeadRows[] = {
    SCPI_KEY_ROWS("KEY:TMENu", TriggerKey),
    {"TRIGger:MODE", Scpi_TaskTrigger_Mode},
    {"TRIGger:MODE?", Scpi_TaskTrigger_ModeAsk},
    {"TRIGger:FORCe", Scpi_TaskTrigger_Force},
    {"TRIGger:SWEep", Scpi_TaskTrigger_Sweep},
    {"TRIGger:SWEep?", Scpi_TaskTrigger_SweepAsk},
    {"TRIGger:STATus?", Scpi_TaskTrigger_StatusAsk},
    {"TRIGger:SOURce", Scpi_TaskTrigger_Source},
    {"TRIGger:SOURce?", Scpi_TaskTrigger_SourceAsk},
    {"TRIGger:COUPling", Scpi_TaskTrigger_Coupling},
    {"TRIGger:COUPling?", Scpi_TaskTrigger_GetCoupling},
    TRIG_KEYWORD_ROWS("TRIGger:EDGE:SLOPe", kEdgeSlope),
    TRIG_KEYWORD_ROWS("TRIGger:PULSe:QUALifier", kPulseQualifier),
    TRIG_KEYWORD_ROWS("TRIGger:PULSe:POLarity", kPulsePolarity),
    TRIG_LIMIT_ROWS("TRIGger:PULSe"),
    TRIG_KEYWORD_ROWS("TRIGger:VIDeo:MODE", kVideoMode),
    {"TRIGger:VIDeo:STANdard", SetKeyword<kVideoStandard>},
    {"TRIGger:VIDeo:STANdard?", Scpi_TaskTrigger_VideoStandardAsk},
    {"TRIGger:VIDeo:LINE", Scpi_TaskTrigger_VideoLine},
    {"TRIGger:VIDeo:LINE?", Scpi_TaskTrigger_VideoLineAsk},
    TRIG_KEYWORD_ROWS("TRIGger:SLOPe:QUALifier", kPulseQualifier),
    TRIG_KEYWORD_ROWS("TRIGger:SLOPe:SLOPe", kSlopeSlope),
    {"TRIGger:SLOPe:TIME", Scpi_TaskTrigger_PulseTime},
    {"TRIGger:SLOPe:TIME?", Scpi_TaskTrigger_GetPulseTime},
    TRIG_KEYWORD_ROWS("TRIGger:SLOPe:THReshold", kSlopeThreshold),
    {"TRIGger:SLOPe:TIME:LOWer", SCPI_DURation_TRIGgerLOWerTIMe},
    {"TRIGger:SLOPe:TIME:LOWer?", SCPI_DURation_TRIGgerLOWerTIMeAsk},
    {"TRIGger:SLOPe:TIME:UPPer", SCPI_DURation_TRIGgerUPPerTIMe},
    {"TRIGger:SLOPe:TIME:UPPer?", SCPI_DURation_TRIGgerUPPerTIMeAsk},
    {"TRIGger:SLOPe:RATe:LOWer?", Scpi_Slope_Trig_Rate_LowerAsk},
    {"TRIGger:SLOPe:RATe:UPPer?", Scpi_Slope_Trig_Rate_UpperAsk},
    TRIG_KEYWORD_ROWS("TRIGger:RUNT:QUALifier", kPulseQualifier),
    TRIG_KEYWORD_ROWS("TRIGger:RUNT:POLarity", kRuntPolarity),
    TRIG_KEYWORD_ROWS("TRIGger:RUNT:LEVel", kRuntLevel),
    TRIG_LIMIT_ROWS("TRIGger:RUNT"),
    TRIG_KEYWORD_ROWS("TRIGger:WINDow:SLOPe", kWindowSlope),
    TRIG_KEYWORD_ROWS("TRIGger:WINDow:LEVel", kWindowLevel),
    {"TRIGger:WINDow:TIME", Scpi_TaskTrigger_WindowTime},
    {"TRIGger:WINDow:TIME?", Scpi_TaskTrigger_WindowTimeAsk},
    TRIG_KEYWORD_ROWS("TRIGger:WINDow:POSition", kWindowPosition),
    TRIG_KEYWORD_ROWS("TRIGger:DELay:ARM:SOURce", kDelayArmSource),
    TRIG_KEYWORD_ROWS("TRIGger:DELay:ARM:SLOPe", kDelayArmSlope),
    TRIG_KEYWORD_ROWS("TRIGger:DELay:TRIGger:SOURce", kDelayTrigSource),
    TRIG_KEYWORD_ROWS("TRIGger:DELay:TRIGger:SLOPe", kDelayTrigSlope),
    TRIG_KEYWORD_ROWS("TRIGger:DELay:QUALifier", kDelayQualifier),
    {"TRIGger:DELay:MODE", nullptr},  // accepted, no effect
    {"TRIGger:DELay:MODE?", nullptr},
    TRIG_LIMIT_ROWS("TRIGger:DELay"),
    {"TRIGger:DELay:SELect", DelaySelect::Set},
    {"TRIGger:DELay:SELect?", DelaySelect::Ask},
    {"TRIGger:TIMEOUT:TIME", Scpi_TaskTrigger_TimeOutTime},
    {"TRIGger:TIMEOUT:TIME?", Scpi_TaskTrigger_TimeOutTimeAsk},
    TRIG_KEYWORD_ROWS("TRIGger:TIMEOUT:SLOPe", kTimeOutSlope),
    TRIG_KEYWORD_ROWS("TRIGger:DURation:MODE", kDurationMode),
    TRIG_KEYWORD_ROWS("TRIGger:DURation:PATTern", kDurationPattern),
    TRIG_KEYWORD_ROWS("TRIGger:DURation:QUALifier", kPulseQualifier),
    {"TRIGger:DURation:TIME:LOWer", SCPI_DURation_TRIGgerLOWerTIMe},
    {"TRIGger:DURation:TIME:LOWer?", SCPI_DURation_TRIGgerLOWerTIMeAsk},
    {"TRIGger:DURation:TIME:UPPer", SCPI_DURation_TRIGgerUPPerTIMe},
    {"TRIGger:DURation:TIME:UPPer?", SCPI_DURation_TRIGgerUPPerTIMeAsk},
    TRIG_KEYWORD_ROWS("TRIGger:SHOLd:DATA:SOURce", kShData),
    TRIG_KEYWORD_ROWS("TRIGger:SHOLd:CLOCK:SOURce", kShClock),
    TRIG_KEYWORD_ROWS("TRIGger:SHOLd:SLOPe", kShSlope),
    TRIG_KEYWORD_ROWS("TRIGger:SHOLd:PATTern", kShPattern),
    TRIG_KEYWORD_ROWS("TRIGger:SHOLd:MODE", kShMode),
    {"TRIGger:SHOLd:TIME", Scpi_TaskTrigger_SetupHoldTime},
    {"TRIGger:SHOLd:TIME?", Scpi_TaskTrigger_SetupHoldTimeAsk},
    {"TRIGger:SHOLd:SELect", SetupHoldSelect::Set},
    {"TRIGger:SHOLd:SELect?", SetupHoldSelect::Ask},
    TRIG_KEYWORD_ROWS("TRIGger:NEDGE:SLOPe", kNthSlope),
    {"TRIGger:NEDGE:TIME", Scpi_TaskTrigger_NthEdgeTime},
    {"TRIGger:NEDGE:TIME?", Scpi_TaskTrigger_NthEdgeTimeAsk},
    {"TRIGger:NEDGE:VALue", Scpi_TaskTrigger_NthEdgeValue},
    {"TRIGger:NEDGE:VALue?", Scpi_TaskTrigger_NthEdgeValueAsk},
    TRIG_KEYWORD_ROWS("TRIGger:PATTern:PATTern", kPatternPattern),
    {"", nullptr},
};

const instr TriggerScpiTailRows[] = {
    SCPI_KEY_ROWS("KEY:DECode", DecodeKey),
    {"", nullptr},
};
