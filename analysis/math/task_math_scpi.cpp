// The math module's SCPI table and its keyword commands: the MATH key and its
// lock, the math channel's selection, the math type, operators and sources,
// the FFT window, scale, points, screen mode, detectors, mark type and
// tracking, the filter type, the logic invert and the expression text. A
// setter writes the item and runs its menu handler with the no-key code; a
// query answers the item's keyword. The numeric commands are in
// task_math_scpi_levels.cpp and task_math_scpi_fft.cpp.
#include "analysis/math/task_math_scpi.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "acquisition/engine/wave.h"
#include "analysis/math/math_calc.h"
#include "analysis/fft/fft_display.h"
#include "analysis/fft/math_fft_menu.h"
#include "analysis/math/task_math.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "remote/scpi/scpi_kit.h"

namespace {
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
Menu& M() { return TaskMath.TaskMenu; }
}  // namespace

namespace math_scpi {
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
uint32_t Item32(int n) { return uint32_t(M().GetMenuItem(n)); }
void Refresh() { SysRunStatus.SetDrawRefresh(); }

void RunItem(int n) {
  const menu* m = M().GetMenuInfo();
  if (!m || n < 0 || n >= kMenuItems) return;
  const MenuHandler h = m->pages[n / kMenuSlots].items[n % kMenuSlots].handler;
  if (h) h(kNoKey);
}

void SetItemAndRun(int n, uint64_t value) {
  M().SetMenuItem(n, value);
  RunItem(n);
  Refresh();
}

bool ParseInt(const char* p, long* out) {
  if (!p) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(p, &end, 10);
  if (end == p || errno) return false;
  while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n') ++end;
  if (*end) return false;
  *out = v;
  return true;
}

int Keyword(const scpipara* words, const char* p) {
  const int v = ScpiMatch(words, p);
  if (v >= 0 || !p) return v;
  return std::strcmp(p, "0") == 0 ? 0 : std::strcmp(p, "1") == 0 ? 1 : ScpiRefuse();
}

double HzPerBin() {
  const uint32_t points = MathFftPoints(Item(kMathItemFftPoints));
  double rate = 0;
  uint8_t none = 0;
  WaveOp.UpdateFFTWaveDataSample();
  WaveOp.GetFFTWaveData(&none, 0, &rate);
  return points && rate > 0 ? rate * 0.5 / (points / 2.0) : 0;
}
}  // namespace math_scpi

namespace {
using namespace math_scpi;
constexpr int kSelectWaitMs = 20;
constexpr int kModePauseMs = 100;
constexpr int kLogicFirst = 4;  // "AND" .. "XOR" follow the four arithmetic operators

// The n-th keyword of a list (its first spelling), for the queries.
const char* WordOf(const scpipara* words, int value) {
  for (const scpipara* w = words; w->pattern[0]; ++w)
    if (w->value == value) return w->pattern;
  return nullptr;
}

const scpipara kModes[] = {{"MATH", 0}, {"FFT", 1}, {"LOGic", 2}, {"FILTer", 3}, {"ADVance", 4}, {"", -1}};
const scpipara kOperations[] = {{"ADD", 0}, {"SUBTract", 1}, {"MULTiply", 2}, {"DIVide", 3}, {"AND", 4},
                                {"OR", 5},  {"NOT", 6},      {"XOR", 7},      {"", -1}};
const scpipara kSources[] = {{"CHANnel1", 0}, {"CHANnel2", 1}, {"", -1}};
const scpipara kWindows[] = {{"HAMMing", 0}, {"BMAN", 1}, {"RECTangular", 2}, {"HANNing", 3}, {"", -1}};
const scpipara kScales[] = {{"VRMS", 0}, {"DBRMS", 1}, {"", -1}};
const scpipara kPoints[] = {{"8K", 0},   {"16K", 1},  {"32K", 2}, {"64K", 3},
                            {"128K", 4}, {"256K", 5}, {"512K", 6}, {"1M", 7}, {"", -1}};
const scpipara kScreens[] = {{"FULL", 0}, {"SPLIt", 1}, {"INDPendent", 2}, {"WATerfall1", 3}, {"WATerfall2", 4},
                             {"", -1}};
const scpipara kFilters[] = {{"LP", 0}, {"HP", 1}, {"BP", 2}, {"BS", 3}, {"0", 0}, {"1", 1}, {"2", 2}, {"3", 3},
                             {"", -1}};
const scpipara kRealTime[] = {{"PPEAK", 0}, {"NPEAK", 1}, {"SAMPle", 2}, {"AVERage", 3}, {"", -1}};
const scpipara kTraceDetectors[] = {{"OFF", 0}, {"PPEAK", 1}, {"NPEAK", 2}, {"SAMPle", 3}, {"AVERage", 4}, {"", -1}};
const scpipara kMarkTypes[] = {{"OFF", 0}, {"AUTO", 1}, {"THReshold", 2}, {"MANUal", 3}, {"", -1}};

// One keyword item: its item number, keywords, and whether its query answers
// the number instead of the keyword.

struct KeywordItem {
  int item;
  const scpipara* words;
  bool numberReply;
};
enum : int { kWindow, kScale, kPointsRow, kScreen, kFilter, kInvert, kDetReal, kDetAverage, kDetMax, kDetMin,
             kMarkType, kTracking };
const KeywordItem kKeywordItems[] = {
    {kMathItemFftWindow, kWindows, false},    {kMathItemFftVertical, kScales, false},
    {kMathItemFftPoints, kPoints, false},     {kMathItemDisplayMode, kScreens, false},
    {kMathItemFilterType, kFilters, false},   {kMathItemLogicInvert, kScpiOnOff, true},
    {kMathItemRealTime, kRealTime, false},    {kMathItemAverageOn, kTraceDetectors, false},
    {kMathItemMaxHold, kTraceDetectors, false}, {kMathItemMinHold, kTraceDetectors, false},
    {kMathItemMarkType, kMarkTypes, false},   {kMathItemTracking, kScpiOnOff, true},
};

// The zoomed time base leaves room for the full and independent spectrum
// views only: the panel falls back to the full view, a command is refused.
bool RefusedInZoom(int keyword, int v) {
  return keyword == kScreen && SysRunStatus.GetTimeBaseType() != 0 && v != kFftFull && v != kFftIndependent;
}

// A choice the menu offers greyed (waterfall views with more than 64K
// points, and the reverse) is refused as the panel refuses it.
template <int K>
void SetKeyword(scpi_para*, char* p) {
  const KeywordItem& k = kKeywordItems[K];
  if (ScpiMissing(p)) return;
  const int v = Keyword(k.words, p);
  if (v < 0 || ScpiRefuseIf(M().ChoiceGreyed(k.item, v) || RefusedInZoom(K, v))) return;
  SetItemAndRun(k.item, uint64_t(v));
}
template <int K>
void AskKeyword(scpi_para*, char*) {
  const KeywordItem& k = kKeywordItems[K];
  const char* w = k.numberReply ? nullptr : WordOf(k.words, Item(k.item));
  if (w) ScpiAnswer(w);
  else ScpiAnswerNumber(Item(k.item));
}

using MathKey = ScpiKeyTrio<kKeyMath, kKeyMath>;

void Scpi_Key_MathLedAsk(scpi_para*, char*) { ScpiAnswerNumber(SysRunStatus.GetChStatus() >> kMathSlot & 1); }

void Scpi_Math_Select(scpi_para*, char*) {
  SysRunStatus.SetActivCh(kMathSlot);
  TaskManage.ActiveTask(kTaskMath, 0);
  M().SetCurrPage(0);
  Refresh();
  SettingsWaitMs(kSelectWaitMs);  // the main loop shows the page meanwhile
}

void Scpi_Math_SelectAsk(scpi_para*, char*) {
  std::printf("ActiveCh = %#x\n", SysRunStatus.GetActivCh());
  ScpiAnswer(SysRunStatus.GetActivCh() == kMathSlot ? "1" : "0");
}

// A new math type pauses the acquisition and starts it again afresh, with
// the math trace cleared.
void Scpi_Math_Mode(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const int v = Keyword(kModes, p);
  if (v < 0) return;
  SetItemAndRun(kMathItemType, uint64_t(v));
  QelControl.SendRealControl(fpga::kPause, 1);
  SettingsWaitMs(kModePauseMs);
  if (SysRunStatus.GetAcquireStatus(0) != kAcqStopped) {
    SysRunStatus.ClearInterruptFlag();
    QelControl.SysSample();
  }
  math.ClearMathWave();
  SysRunStatus.SetMathType(v);
}

void Scpi_Math_ModeAsk(scpi_para*, char*) { ScpiAnswer(WordOf(kModes, Item(kMathItemType) % kMathTypes)); }

void Scpi_Math_Operation(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const int v = Keyword(kOperations, p);
  if (v < 0) return;
  if (v < kLogicFirst) SetItemAndRun(kMathItemOperator, uint64_t(v));
  else SetItemAndRun(kMathItemLogicOp, uint64_t(v - kLogicFirst));
}

// The operator of the math function in force (the page it shows once the
// menu is up, which a remote mode change has not opened yet): arithmetic or logic.
void Scpi_Math_OperationAsk(scpi_para*, char*) {
  const int type = Item(kMathItemType);
  if (type == kMathArith) ScpiAnswer(WordOf(kOperations, Item(kMathItemOperator)));
  else if (type == kMathLogic) ScpiAnswer(WordOf(kOperations, kLogicFirst + Item(kMathItemLogicOp)));
  else ScpiAnswer("-1");
}

// The source item of the math type in force.
int Source1Item() {
  switch (Item(kMathItemType)) {
    case kMathFft: return kMathItemFftSource;
    case kMathLogic: return kMathItemLogicSrc1;
    case kMathFilter: return kMathItemFilterSrc;
    default: return kMathItemSource1;
  }
}
int Source2Item() { return Item(kMathItemType) == kMathLogic ? kMathItemLogicSrc2 : kMathItemSource2; }

template <int (*Of)()>
void SetSource(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const int v = Keyword(kSources, p);
  if (v >= 0) SetItemAndRun(Of(), uint64_t(v));
}
template <int (*Of)()>
void AskSource(scpi_para*, char*) {
  ScpiAnswer(WordOf(kSources, Item(Of()) & 1));
}

// Only a text shorter than the keypad's limit that splits into keypad names
// is taken: it replaces the expression and is applied as the page's Apply
// does, whichever page is shown. A text refused raises the keypad's message
// for it, as the screen does.
void Scpi_Math_Advance_Expression(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  uint8_t tokens[kAdvanceTokens];
  char text[kAdvanceText];
  if (std::strlen(p) >= size_t(kAdvanceMaxText)) {
    TaskMath.RefuseExpressionText(true);
  } else if (AdvanceParseText(p, tokens, kAdvanceTokens, text, sizeof text) < 0) {
    TaskMath.RefuseExpressionText(false);
  } else {
    TaskMath.SetAdvanceBuff(tokens);
    TaskMath.SetAdvanceExpression(text);
    Math_Advance_Apply(kNoKey);
  }
  Refresh();
}

void Scpi_Math_Advance_ExpressionAsk(scpi_para*, char*) {
  AdvanceData d;
  TaskMath.GetAdvData(&d);
  d.text[kAdvanceText - 1] = 0;
  ScpiAnswer(d.text);
}

// Rows of a keyword item: the setter and its query.
#define MATH_KEYWORD_ROWS(pattern, k) {pattern, SetKeyword<k>}, {pattern "?", AskKeyword<k>}
}  // namespace

template <>
const char* MathKey::name = "Math";

// A row's pattern also matches a command that goes on past its last level,
// so each shorter pattern comes before the longer ones that extend it.
instr TaskMathInstrStandard[] = {
    SCPI_KEY_ROWS("KEY:MATH", MathKey),
    {"KEY:MATH:LED?", Scpi_Key_MathLedAsk},
    {"CHANnel5:SELect", Scpi_Math_Select},
    {"CHANnel5:SELect?", Scpi_Math_SelectAsk},
    {"FUNCtion:MATH:MODE", Scpi_Math_Mode},
    {"FUNCtion:MATH:MODE?", Scpi_Math_ModeAsk},
    {"FUNCtion:OPERation", Scpi_Math_Operation},
    {"FUNCtion:OPERation?", Scpi_Math_OperationAsk},
    {"FUNCtion:SOURce1", SetSource<Source1Item>},
    {"FUNCtion:SOURce1?", AskSource<Source1Item>},
    {"FUNCtion:SOURce2", SetSource<Source2Item>},
    {"FUNCtion:SOURce2?", AskSource<Source2Item>},
    {"FUNCtion:DIGital1:THReshold", Threshold1},
    {"FUNCtion:DIGital1:THReshold?", Threshold1Ask},
    {"FUNCtion:DIGital2:THReshold", Threshold2},
    {"FUNCtion:DIGital2:THReshold?", Threshold2Ask},
    MATH_KEYWORD_ROWS("FUNCtion:FFT:WINDow", kWindow),
    MATH_KEYWORD_ROWS("FUNCtion:FFT:VTYPe", kScale),
    MATH_KEYWORD_ROWS("FUNCtion:FFT:POINts", kPointsRow),
    MATH_KEYWORD_ROWS("FUNCtion:FFT:DISPlay", kScreen),
    {"FUNCtion:FFT:FREQuency?", SpanCentreAsk},
    {"FUNCtion:FFT:FREQuency:STARt", SpanStart},
    {"FUNCtion:FFT:FREQuency:STARt?", SpanStartAsk},
    {"FUNCtion:FFT:FREQuency:END", SpanEnd},
    {"FUNCtion:FFT:FREQuency:END?", SpanEndAsk},
    {"FUNCtion:FFT:FREQuency:CENTer", SpanCentre},
    {"FUNCtion:FFT:FREQuency:CENTer?", SpanCentreAsk},
    {"FUNCtion:FFT:FREQuency:BW", SpanWidth},
    {"FUNCtion:FFT:FREQuency:BW?", SpanWidthAsk},
    MATH_KEYWORD_ROWS("FUNCtion:FFT:FREQuency:TRACk", kTracking),
    MATH_KEYWORD_ROWS("FUNCtion:FFT:DETEction:REALTime", kDetReal),
    MATH_KEYWORD_ROWS("FUNCtion:FFT:DETEction:AVERage", kDetAverage),
    {"FUNCtion:FFT:DETEction:AVERage:COUNt", AverageCount},
    {"FUNCtion:FFT:DETEction:AVERage:COUNt?", AverageCountAsk},
    MATH_KEYWORD_ROWS("FUNCtion:FFT:DETEction:MAXHold", kDetMax),
    MATH_KEYWORD_ROWS("FUNCtion:FFT:DETEction:MINHold", kDetMin),
    {"FUNCtion:FFT:DETEction:RESet", ResetTraces},
    MATH_KEYWORD_ROWS("FUNCtion:FFT:MARK:TYPE", kMarkType),
    {"FUNCtion:FFT:MARK:SOURce", MarkSource},
    {"FUNCtion:FFT:MARK:SOURce?", MarkSourceAsk},
    {"FUNCtion:FFT:MARK:POINts", MarkPoints},
    {"FUNCtion:FFT:MARK:POINts?", MarkPointsAsk},
    {"FUNCtion:FFT:MARK:EVENt", MarkEvent},
    {"FUNCtion:FFT:MARK:EVENt?", MarkEventAsk},
    {"FUNCtion:FFT:MARK:THReshold:LEVel", MarkLevel},
    {"FUNCtion:FFT:MARK:THReshold:LEVel?", MarkLevelAsk},
    {"FUNCtion:FFT:MARK:MANUal:PEAK", MarkPeak},
    {"FUNCtion:FFT:MARK:DATA?", MarkData},
    {"FUNCtion:FFT:WATerfall:SLICe", Slice},
    {"FUNCtion:FFT:WATerfall:SLICe?", SliceAsk},
    MATH_KEYWORD_ROWS("FUNCtion:FILTer:TYPE", kFilter),
    {"FUNCtion:FILTer:FREQuency:HIGH", FilterHigh},
    {"FUNCtion:FILTer:FREQuency:HIGH?", FilterHighAsk},
    {"FUNCtion:FILTer:FREQuency:LOW", FilterLow},
    {"FUNCtion:FILTer:FREQuency:LOW?", FilterLowAsk},
    MATH_KEYWORD_ROWS("FUNCtion:LOGic:INVert", kInvert),
    {"FUNCtion:EXPRession", Scpi_Math_Advance_Expression},
    {"FUNCtion:EXPRession?", Scpi_Math_Advance_ExpressionAsk},
    {"", nullptr},
};
