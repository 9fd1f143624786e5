// The math commands of the FFT view that take numbers: the shown span by
// start, end, centre or width, the waterfall slice, the average count, and the
// marks (source, count, list, manual peak, their data), and the trace reset.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/y_system.h"
#include "analysis/fft/fft_process.h"
#include "analysis/fft/math_fft_menu.h"
#include "analysis/math/math_calc.h"
#include "analysis/fft/math_fft_remote.h"
#include "analysis/math/task_math.h"
#include "analysis/math/task_math_scpi.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_kit.h"

namespace {
using namespace math_scpi;
constexpr long kMinSpan = 10;
constexpr int kSliceMax = 200;
constexpr int kMsgStopFft = 63;
constexpr long kAverageMin = 1, kAverageMax = 9;
constexpr long kMarkPointsMin = 1, kMarkPointsMax = 50;
enum : int { kMarkThreshold = 2, kMarkManual = 3 };
constexpr int kCodesPerDiv = 25;

// The last bin shown: the spectrum's N/2 values end at N/2 - 1.
long LastBin() { return std::max<long>(kMinSpan, long(MathFftPoints(Item(kMathItemFftPoints))) / 2 - 1); }
long Start() { return long(Item32(kMathItemStartBin)); }
long End() { return long(Item32(kMathItemEndBin)); }

void SetSpan(long start, long end) {
  TaskMath.TaskMenu.SetMenuItem(kMathItemStartBin, uint64_t(std::max(0L, start)));
  TaskMath.TaskMenu.SetMenuItem(kMathItemEndBin, uint64_t(std::max(0L, end)));
  MathFftAdjFreq();
  Refresh();
}

// The bin of a frequency text; false while the FFT rate is unknown.
bool BinOf(const char* p, long* bin) {
  double hz = 0;
  const double width = HzPerBin();
  if (ScpiMissing(p) || ScpiRefuseIf(!ParseHz(p, &hz) || !(width > 0))) return false;
  *bin = ScpiWhole(WholeSteps(hz / width), -LastBin(), LastBin());
  return true;
}

// A span of `width` bins from `start`, moved whole into the spectrum.
void PlaceSpan(long start, long width) {
  width = std::clamp(width, kMinSpan, LastBin());
  start = std::clamp(start, 0L, LastBin() - width);
  SetSpan(start, start + width);
}

void AnswerHz(double hz) {
  char text[32];
  std::snprintf(text, sizeof text, "%e", hz);
  ScpiAnswer(text);
}

// The mark source item of the mark type in force (automatic for none).
int MarkSourceItem() {
  switch (Item(kMathItemMarkType)) {
    case kMarkThreshold: return kMathItemThrSrc;
    case kMarkManual: return kMathItemManualSrc;
    default: return kMathItemAutoSrc;
  }
}
int MarkListItem() { return Item(kMathItemMarkType) == kMarkThreshold ? kMathItemThrList : kMathItemAutoList; }

const scpipara kMarkSources[] = {{"REALtime", 0}, {"AVERage", 1}, {"MAXHold", 2}, {"MINHold", 3}, {"", -1}};
// The trace item a mark source needs switched on, and the word of its refusal.
struct TraceNeed {
  int item;
  const char* word;
  int message;  // the panel's refusal while the trace is off
};
constexpr int kMsgAverageOff = 68, kMsgMaxHoldOff = 69, kMsgMinHoldOff = 70;
const TraceNeed kTraceNeeds[] = {{-1, "", -1},
                                 {kMathItemAverageOn, "AVERage", kMsgAverageOff},
                                 {kMathItemMaxHold, "MAXHold", kMsgMaxHoldOff},
                                 {kMathItemMinHold, "MINHold", kMsgMinHoldOff}};

// A decimal integer within lo..hi into item n, its handler run.
void SetCount(int n, const char* p, long lo, long hi) {
  long v = 0;
  if (ScpiMissing(p) || ScpiRefuseIf(!ParseInt(p, &v) || v < lo || v > hi)) return;
  SetItemAndRun(n, uint64_t(v));
}
}  // namespace

std::string MathFftMarkText(const MathMarkPoint* marks, int count, double startHz, double hzPerColumn, int p5,
                            double voltsPerCode) {
  std::string text = "FFT\nID,Freq,Amp\n";
  for (int i = 0; marks && i < count; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "%d,%e,%e,\n", i + 1, startHz + marks[i].column * hzPerColumn,
                  (double(marks[i].code) - p5) * voltsPerCode);
    text += line;
  }
  return text;
}

namespace math_scpi {
void SpanStart(scpi_para*, char* p) {
  long bin = 0;
  if (BinOf(p, &bin)) SetSpan(std::clamp(bin, 0L, std::max(0L, End() - kMinSpan)), End());
}

void SpanEnd(scpi_para*, char* p) {
  long bin = 0;
  if (BinOf(p, &bin)) SetSpan(Start(), std::clamp(bin, Start() + kMinSpan, std::max(LastBin(), Start() + kMinSpan)));
}

// The span keeps its width around the new centre.
void SpanCentre(scpi_para*, char* p) {
  long centre = 0;
  if (!BinOf(p, &centre)) return;
  double hz = 0;
  ParseHz(p, &hz);
  std::printf("fCenterFreq = %lf \n", hz);
  std::printf("iCenterFreq = %ld \n", centre);
  const long width = End() - Start();
  PlaceSpan(centre - width / 2, width);
}

// The span keeps its centre with the new width.
void SpanWidth(scpi_para*, char* p) {
  long width = 0;
  if (!BinOf(p, &width)) return;
  width = std::clamp(width, kMinSpan, LastBin());
  PlaceSpan(Start() + (End() - Start()) / 2 - width / 2, width);
}

void SpanStartAsk(scpi_para*, char*) { AnswerHz(Start() * HzPerBin()); }
void SpanEndAsk(scpi_para*, char*) { AnswerHz(End() * HzPerBin()); }
void SpanCentreAsk(scpi_para*, char*) { AnswerHz(double(Start() + (End() - Start()) / 2) * HzPerBin()); }
void SpanWidthAsk(scpi_para*, char*) { AnswerHz(double(End() - Start()) * HzPerBin()); }

// The waterfall row shown while stopped: 1 the newest, at most the rows
// recorded (200 at most).
void Slice(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const uint32_t attr = uint32_t(TaskMath.TaskMenu.GetItemAttribute(kMathItemWaterfallSlice));
  if (attr & (MENU_ATTR_HIDDEN | MENU_ATTR_DISABLED)) {
    std::printf("Warning : Attribute is hide ... \n");
    return void(ScpiRefuse());
  }
  if (SysRunStatus.GetAcquireStatus(0) != kAcqStopped) {
    QelMsg.SetMessage(kMsgStopFft);
    return;
  }
  long v = 0;
  if (ScpiRefuseIf(!ParseInt(p, &v))) return;
  const int limit = std::min(MathFftWaterFallCnt(), kSliceMax);
  std::printf("value = %ld,MaxCnt==%d\n", v, limit);
  v = std::max(1L, std::min<long>(v, limit));
  SetItemAndRun(kMathItemWaterfallSlice, uint64_t(v));
  MathFftSetCurrRecPos(int(v) - 1);
}
void SliceAsk(scpi_para*, char*) { ScpiAnswerNumber(Item(kMathItemWaterfallSlice)); }

void AverageCount(scpi_para*, char* p) { SetCount(kMathItemAverageSel, p, kAverageMin, kAverageMax); }
void AverageCountAsk(scpi_para*, char*) { ScpiAnswerNumber(Item(kMathItemAverageSel)); }
void MarkPoints(scpi_para*, char* p) { SetCount(kMathItemAutoPoints, p, kMarkPointsMin, kMarkPointsMax); }
void MarkPointsAsk(scpi_para*, char*) { ScpiAnswerNumber(Item(kMathItemAutoPoints)); }

// A trace that is off can not carry the marks.
void MarkSource(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const int v = Keyword(kMarkSources, p);
  if (v < 0) return;
  const TraceNeed& need = kTraceNeeds[v];
  if (need.item >= 0 && !Item(need.item)) {
    std::printf(" can't set %s\n", need.word);
    return void(ScpiRefuseWith(need.message));
  }
  SetItemAndRun(MarkSourceItem(), uint64_t(v));
}
void MarkSourceAsk(scpi_para*, char*) {
  const int v = Item(MarkSourceItem());
  ScpiAnswer(v >= 0 && v < 4 ? kMarkSources[v].pattern : "REALtime");
}

void MarkEvent(scpi_para*, char* p) {
  const int v = ScpiKeyword(kScpiOnOff, p);
  if (v >= 0) SetItemAndRun(MarkListItem(), uint64_t(v));
}
void MarkEventAsk(scpi_para*, char*) { ScpiAnswerNumber(Item(MarkListItem())); }

void MarkPeak(scpi_para*, char*) {
  RunItem(kMathItemSetToPeak);
  Refresh();
}

void ResetTraces(scpi_para*, char*) {
  RunItem(kMathItemResetTraces);
  Refresh();
}

void MarkData(scpi_para*, char*) {
  MathMarkPoint marks[kMarkPointsMax];
  const int count = std::clamp(MathFftMarkCount(), 0, int(kMarkPointsMax));
  for (int i = 0; i < count; ++i) marks[i] = {MathFftMarkColumn(i), MathFftMarkCode(i)};
  const int m = Vertical.GetRealYsensitivity(kMathSlot);
  const double vdiv = Voltage[m >= 0 && m < kVoltageEntries ? m : y_system::kDefaultIndex];
  const std::string text =
      MathFftMarkText(marks, count, Start() * HzPerBin(), SysRunStatus.GetFFTParaAddr()->hzPerColumn,
                      Vertical.GetRealYposition(kMathSlot), vdiv / kCodesPerDiv);
  Scpi.WriteResponseDataRaw(text.data(), int(text.size()));
}
}  // namespace math_scpi
