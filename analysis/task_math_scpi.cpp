// The math module's SCPI commands: the MATH key and its lock, the math
// channel's selection, the math type, operators and sources, the FFT window,
// scale, points and screen mode, the filter type, the logic invert and the
// expression text. A setter writes the item and runs its handler with the
// no-key code; a query answers the item's keyword.
#include <cstdio>
#include <cstring>

#include "acquisition/y_system.h"
#include "analysis/math_calc.h"
#include "analysis/math_fft_menu.h"
#include "analysis/task_math.h"
#include "core/ids.h"
#include "core/sys_run_info.h"
#include "core/task_manage.h"
#include "platform/clock.h"
#include "remote/scpi_kit.h"

namespace {
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
constexpr int kSelectWaitMs = 20;
constexpr int kLogicFirst = 4;  // "AND" .. "XOR" follow the four arithmetic operators

Menu& M() { return TaskMath.TaskMenu; }
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
void Refresh() { SysRunStatus.SetDrawRefresh(); }

void SetItemAndRun(int item, int value, int (*handler)(keypara)) {
  M().SetMenuItem(item, uint64_t(value));
  handler(kNoKey);
  Refresh();
}

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

// One keyword item: its item number, keywords and handler.
struct KeywordItem {
  int item;
  const scpipara* words;
  int (*handler)(keypara);
};
const KeywordItem kKeywordItems[] = {
    {kMathItemFftWindow, kWindows, Math_FFT_Window},
    {kMathItemFftVertical, kScales, Math_FFT_Vertical},
    {kMathItemFftPoints, kPoints, Math_FFT_Points},
    {kMathItemDisplayMode, kScreens, Math_FFT_DisplayModeSel},
    {kMathItemFilterType, kFilters, Math_Filter_Filter_Type},
    {kMathItemLogicInvert, kScpiOnOff, Math_Logic_Invert},
};

template <int K>
void SetKeyword(scpi_para*, char* p) {
  const KeywordItem& k = kKeywordItems[K];
  if (ScpiMissing(p)) return;
  const int v = ScpiMatch(k.words, p);
  if (v >= 0) SetItemAndRun(k.item, v, k.handler);
}
template <int K>
void AskKeyword(scpi_para*, char*) {
  const KeywordItem& k = kKeywordItems[K];
  const char* w = WordOf(k.words, Item(k.item));
  if (w) ScpiAnswer(w);
  else ScpiAnswerNumber(Item(k.item));
}

using MathKey = ScpiKeyTrio<kKeyMath, kKeyMath>;

void Scpi_Key_MathLedAsk(scpi_para*, char*) { ScpiAnswerNumber(SysRunStatus.GetChStatus() >> kMathSlot & 1); }

void Scpi_Math_Select(scpi_para*, char*) {
  SysRunStatus.SetActivCh(kMathSlot);
  TaskManage.ActiveTask(kTaskMath, 0);
  Refresh();
  plat::SleepMs(kSelectWaitMs);
}

void Scpi_Math_SelectAsk(scpi_para*, char*) {
  std::printf("ActiveCh = %#x\n", SysRunStatus.GetActivCh());
  ScpiAnswer(SysRunStatus.GetActivCh() == kMathSlot ? "1" : "0");
}

void Scpi_Math_Mode(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const int v = ScpiMatch(kModes, p);
  if (v >= 0) SetItemAndRun(kMathItemType, v, Math_Type);
}

void Scpi_Math_ModeAsk(scpi_para*, char*) { ScpiAnswer(WordOf(kModes, Item(kMathItemType) % kMathTypes)); }

void Scpi_Math_Operation(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const int v = ScpiMatch(kOperations, p);
  if (v < 0) return;
  if (v < kLogicFirst) SetItemAndRun(kMathItemOperator, v, Math_Math_Operator);
  else SetItemAndRun(kMathItemLogicOp, v - kLogicFirst, Math_Logic_Expression);
}

// The operator of the page shown: the arithmetic page's or the logic page's.
void Scpi_Math_OperationAsk(scpi_para*, char*) {
  const int page = M().GetCurrPage();
  if (page == kMathItemType / kMenuSlots) ScpiAnswer(WordOf(kOperations, Item(kMathItemOperator)));
  else if (page == kMathItemLogicType / kMenuSlots) ScpiAnswer(WordOf(kOperations, kLogicFirst + Item(kMathItemLogicOp)));
  else ScpiAnswer("-1");
}

// The source item of the math type in force.
struct SourceItem {
  int item;
  int (*handler)(keypara);
};
SourceItem Source1Item() {
  switch (Item(kMathItemType)) {
    case kMathFft: return {kMathItemFftSource, Math_FFT_Source};
    case kMathLogic: return {kMathItemLogicSrc1, Math_Logic_Source1};
    case kMathFilter: return {kMathItemFilterSrc, Math_Filter_Source};
    default: return {kMathItemSource1, Math_Math_Source1};
  }
}
SourceItem Source2Item() {
  if (Item(kMathItemType) == kMathLogic) return {kMathItemLogicSrc2, Math_Logic_Source2};
  return {kMathItemSource2, Math_Math_Source2};
}

template <SourceItem (*Of)()>
void SetSource(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const int v = ScpiMatch(kSources, p);
  const SourceItem s = Of();
  if (v >= 0) SetItemAndRun(s.item, v, s.handler);
}
template <SourceItem (*Of)()>
void AskSource(scpi_para*, char*) {
  ScpiAnswer(WordOf(kSources, Item(Of().item) & 1));
}

// Only a text shorter than the keypad's limit is taken; a text that splits
// into keypad names replaces the expression, applied when the expression
// page is shown.
void Scpi_Math_Advance_Expression(scpi_para*, char* p) {
  if (ScpiMissing(p) || std::strlen(p) >= size_t(kAdvanceMaxText)) return;
  uint8_t tokens[kAdvanceTokens];
  char text[kAdvanceText];
  if (AdvanceParseText(p, tokens, kAdvanceTokens, text, sizeof text) >= 0) {
    TaskMath.SetAdvanceBuff(tokens);
    TaskMath.SetAdvanceExpression(text);
    if (TaskManage.GetTaskCurrId() == kTaskMath && M().GetCurrPage() == kMathItemAdvType / kMenuSlots)
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
}  // namespace

template <>
const char* MathKey::name = "Math";

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
    {"FUNCtion:FFT:WINDow", SetKeyword<0>},
    {"FUNCtion:FFT:WINDow?", AskKeyword<0>},
    {"FUNCtion:FFT:VTYPe", SetKeyword<1>},
    {"FUNCtion:FFT:VTYPe?", AskKeyword<1>},
    {"FUNCtion:FFT:POINts", SetKeyword<2>},
    {"FUNCtion:FFT:POINts?", AskKeyword<2>},
    {"FUNCtion:FFT:DISPlay", SetKeyword<3>},
    {"FUNCtion:FFT:DISPlay?", AskKeyword<3>},
    {"FUNCtion:FILTer:TYPE", SetKeyword<4>},
    {"FUNCtion:FILTer:TYPE?", AskKeyword<4>},
    {"FUNCtion:LOGic:INVert", SetKeyword<5>},
    {"FUNCtion:LOGic:INVert?", AskKeyword<5>},
    {"FUNCtion:EXPRession", Scpi_Math_Advance_Expression},
    {"FUNCtion:EXPRession?", Scpi_Math_Advance_ExpressionAsk},
    {"", nullptr},
};
