// The horizontal module's SCPI commands: the HORI key and its lock, display
// format, main or window time base, trigger offset, window offset and scale,
// time base, hold-off, the independent time bases and their split screen.
// Setters write the menu item and rerun its handler with the no-key code, or
// call the time-base model; items always show what is in force afterwards.
// Handlers run on the SCPI worker beside the main loop.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "acquisition/horizontal/task_hori_internal.h"
#include "acquisition/tables/timebase_tables.h"
#include "acquisition/models/x_system.h"
#include "core/messages/request.h"
#include "core/input/rs232.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_key.h"
#include "remote/scpi/scpi_kit.h"

namespace {
using namespace hori;

constexpr int kPointsPerDiv = 50;
constexpr int kScreenCentre = 350;
constexpr double kMaxOffsetS = 10.0, kFastMaxOffsetS = 1.0;
constexpr int kFastTimeBases = 8;      // below this index the offset stays within 1 s
constexpr double kMinOffsetDivs = -7;  // the trigger at the screen's right edge
constexpr long kZoomMoveMax = 32767;  // far past any window: the time base holds its own limit

const scpipara kOnOff[] = {{"OFF", 0}, {"ON", 1}, {"0", 0}, {"1", 1}, {"", -1}};
const scpipara kModes[] = {{"MAIN", 0}, {"WINDow", 1}, {"", -1}};
const scpipara kFormats[] = {{"YT ", 0}, {"XY12 ", 1}, {"", -1}};
const scpipara kSteps[] = {{"UP", 1}, {"DOWN", -1}, {"", -1}};
const char* const kFormatTexts[] = {"YT ", "XY12 "};
const char* const kModeTexts[] = {"MAIN", "WINDow"};

x_system& Tb() { return *Sys().timeBase; }
void Refresh() { Run().SetDrawRefresh(); }
bool Zoomed() { return Item(kHoriType) == 1; }
double Seconds(int index) { return TimeBaseS[x_system::SafeIndex(index)]; }

// A number scaled by the unit right behind it: "ns", "us", "ms", else seconds.
// NaN when the text holds no number.
double ScaledNumber(const char* p) {
  char* end = nullptr;
  const double v = std::strtod(p, &end);
  if (end == p) return std::nan("");
  if (std::strncmp(end, "ns", 2) == 0) return v / 1e9;
  if (std::strncmp(end, "us", 2) == 0) return v / 1e6;
  if (std::strncmp(end, "ms", 2) == 0) return v / 1000;
  return v;
}

// ---- the HORI key ----

void Scpi_Key_Hori(scpi_para*, char*) { ScpiQueueKey("Hori", kHoriKey); }
void Scpi_Key_HoriLock(scpi_para*, char* p) { ScpiKeyLock(kHoriKey, p); }
void Scpi_Key_HoriLockAsk(scpi_para*, char*) { ScpiKeyLockAsk(kHoriKey); }

// ---- format and mode ----

void Scpi_HoriFormat(scpi_para*, char* p) {
  const int v = ScpiKeyword(kFormats, p);
  if (v < 0 || (v == 1 && MultiScopeOn() && ScpiRefuseWith(kMsgAlternate))) return;
  SetItem(kHoriFormat, uint64_t(v));
  Hori_Format(kNoKey);
  HoriMenuOp(kNoKey);
  ItemsFollowState();
  Refresh();
}

void Scpi_HoriGetFormat(scpi_para*, char*) {
  const int v = Item(kHoriFormat);
  if (v <= 1) ScpiAnswer(kFormatTexts[v]);
}

void Scpi_Hori_TimeBaseMode(scpi_para*, char* p) {
  const int v = ScpiKeyword(kModes, p);
  if (v < 0 || (MultiScopeOn() && ScpiRefuseWith(kMsgAlternate))) return;
  SetItem(kHoriType, uint64_t(v));
  Hori_Type(kNoKey);
  ItemsFollowState();
  Refresh();
}

void Scpi_Hori_GetTimeBaseMode(scpi_para*, char*) {
  const int v = Item(kHoriType);
  if (v <= 1) ScpiAnswer(kModeTexts[v]);
}

// ---- offsets ----

void Scpi_Hori_SetOffset(scpi_para*, char* p) {
  if (ScpiMissing(p) || ScpiRefuseIf(Zoomed())) return;
  double t = ScaledNumber(p);
  if (ScpiRefuseIf(std::isnan(t))) return;
  const int tb = x_system::SafeIndex(Tb().GetRealTimeBase(0));
  const double div = TimeBaseS[tb];
  const double hi = tb < kFastTimeBases ? kFastMaxOffsetS : kMaxOffsetS;
  if (t < kMinOffsetDivs * div) t = kMinOffsetDivs * div;
  if (t > hi) t = hi;
  const double points = t / div * kPointsPerDiv;
  Tb().SetPreTrigDepth(0, x_system::kRecordCentre);
  Tb().SetRealPreTrigDepth(0, x_system::kRecordCentre);
  Tb().AdjPreTrigDepth(0, -int(std::trunc(points)));
  Refresh();
}

void Scpi_Hori_GetOffset(scpi_para*, char*) {
  if (ScpiRefuseIf(Zoomed())) return;
  const double div = Seconds(Tb().GetRealTimeBase(0));
  ScpiAnswerReal(div / kPointsPerDiv * (kScreenCentre - Tb().GetRealPreTrigDepthScreenPos(0)));
}

void Scpi_Hori_SetWindowOffset(scpi_para*, char* p) {
  if (ScpiMissing(p) || ScpiRefuseIf(!Zoomed())) return;
  const double v = ScaledNumber(p);
  if (ScpiRefuseIf(std::isnan(v))) return;
  const double s = Seconds(Tb().GetZoomTimeBase(0)) / kPointsPerDiv;
  Tb().SetZoomMovePos(0, 0);
  Tb().AdjZoomMovePos(0, 0);
  Tb().AdjZoomMovePos(0, int(ScpiWhole(std::trunc(v / s * 0.5), -kZoomMoveMax, kZoomMoveMax)));
  Refresh();
}

void Scpi_Hori_GetWindowOffset(scpi_para*, char*) {
  if (ScpiRefuseIf(!Zoomed())) return;
  ScpiAnswerReal(Seconds(Tb().GetZoomTimeBase(0)) / kPointsPerDiv * double(Tb().GetZoomMovePos(0)));
}

// ---- time bases ----

// A step keyword, or a time per division above 0, held within the time
// bases that can be chosen; false, the command refused, when neither.
bool TimeBaseSetting(const char* p, int* step, double* seconds) {
  if (ScpiMissing(p)) return false;
  const int word = scpi::InstrParaCompare(kSteps, p);
  *step = word < 0 ? 0 : kSteps[word].value;
  if (*step) return true;
  char* end = nullptr;
  *seconds = std::strtod(p, &end);
  if (ScpiRefuseIf(end == p || !(*seconds > 0))) return false;
  *seconds = std::min(std::max(*seconds, TimeBaseS[0]), TimeBaseS[kTimeBaseMaxIndex]);
  return true;
}

template <int Block>
void SetTimeBase(scpi_para*, char* p) {
  int step = 0;
  double s = 0;
  if (!TimeBaseSetting(p, &step, &s)) return;
  if (step)
    Tb().AdjTimeBase(Block, step);
  else
    Tb().SetRealTimeBaseS(Block, s);
  Refresh();
}

void Scpi_Hori_GetTimeBase(scpi_para*, char*) { ScpiAnswerReal(Seconds(Tb().GetRealTimeBase(0))); }

template <int Block>
void SelectedTimeBaseAsk(scpi_para*, char*) {
  ScpiAnswerReal(Seconds(Tb().GetTimeBase(Block)));
}

void Scpi_Hori_SetWindowTimeBase(scpi_para*, char* p) {
  int step = 0;
  double s = 0;
  if (!TimeBaseSetting(p, &step, &s)) return;
  if (step)
    Tb().AdjZoomTimeBase(0, step);
  else
    Tb().SetZoomTimeBaseS(0, s);
}

void Scpi_Hori_GetWindowTimeBase(scpi_para*, char*) { ScpiAnswerReal(Seconds(Tb().GetZoomTimeBase(0))); }

// ---- hold-off ----

void Scpi_Hori_TimeBaseHoldOff(scpi_para*, char* p) {
  const uint32_t counts = HoldOffCounts(TimeStringParse(p));
  SetItem(kHoriHoldOff, counts);
  SyncRunState();
  requestpara answer{};
  Sys().request->Request(MakeRequest(kReqHoriHoldOff, 0, 0, counts), &answer);
  Refresh();
}

void Scpi_Hori_GetTimeBaseHoldOff(scpi_para*, char*) {
  char text[32];
  std::snprintf(text, sizeof text, "%e", double(uint32_t(M().GetMenuItem(kHoriHoldOff))) * double(kHoldOffStep));
  ScpiAnswer(text);
}

// ---- independent time bases ----

// The switch reloads the FPGA and redraws: the main loop runs it (key 241).
void Scpi_Hori_INDPendentMode(scpi_para*, char* p) {
  const int v = ScpiKeyword(kOnOff, p);
  if (v < 0) return;
  SetItem(kHoriMultiScope, uint64_t(v));
  Sys().keyboard->AppendScpiKey(kHoriRemoteMultiScopeKey, v + 1);  // the value rides on the step
  Refresh();
}

void Scpi_Hori_GetINDPendentMode(scpi_para*, char*) { ScpiAnswerNumber(Item(kHoriMultiScope)); }

void Scpi_Hori_SPLit_SCReen(scpi_para*, char* p) {
  const int v = ScpiKeyword(kOnOff, p);
  if (v < 0) return;
  SetItem(kHoriSplit, uint64_t(v));
  Hori_MultiScopeChSplit(kNoKey);
  Refresh();
}

void Scpi_Hori_GetSPLit_SCReen(scpi_para*, char*) { ScpiAnswerNumber(Item(kHoriSplit)); }

// The time-base setters and queries of each block, by their design names.
void Scpi_Hori_SetTimeBase(scpi_para* s, char* p) { SetTimeBase<0>(s, p); }
void Scpi_INDPendent_CH1_SetTimeBase(scpi_para* s, char* p) { SetTimeBase<0>(s, p); }
void Scpi_INDPendent_CH2_SetTimeBase(scpi_para* s, char* p) { SetTimeBase<1>(s, p); }
void Scpi_INDPendent_CH1_GetTimeBase(scpi_para* s, char* p) { SelectedTimeBaseAsk<0>(s, p); }
void Scpi_INDPendent_CH2_GetTimeBase(scpi_para* s, char* p) { SelectedTimeBaseAsk<1>(s, p); }

struct Row {
  const char* pattern;
  ScpiHandler handler;
};
const Row kRows[] = {
    {"KEY:HMENu", Scpi_Key_Hori},
    {"KEY:HMENu:LOCK", Scpi_Key_HoriLock},
    {"KEY:HMENu:LOCK?", Scpi_Key_HoriLockAsk},
    {"DISPlay:TYPE", Scpi_HoriFormat},
    {"DISPlay:TYPE?", Scpi_HoriGetFormat},
    {"TIMebase:MODE", Scpi_Hori_TimeBaseMode},
    {"TIMebase:MODE?", Scpi_Hori_GetTimeBaseMode},
    {"TIMebase:OFFSet", Scpi_Hori_SetOffset},
    {"TIMebase:OFFSet?", Scpi_Hori_GetOffset},
    {"TIMebase:WINDow:OFFSet", Scpi_Hori_SetWindowOffset},
    {"TIMebase:WINDow:OFFSet?", Scpi_Hori_GetWindowOffset},
    {"TIMebase:SCALe", Scpi_Hori_SetTimeBase},
    {"TIMebase:SCALe?", Scpi_Hori_GetTimeBase},
    {"TIMebase:WINDow:SCALe", Scpi_Hori_SetWindowTimeBase},
    {"TIMebase:WINDow:SCALe?", Scpi_Hori_GetWindowTimeBase},
    {"TIMebase:HOLDoff", Scpi_Hori_TimeBaseHoldOff},
    {"TIMebase:HOLDoff?", Scpi_Hori_GetTimeBaseHoldOff},
    {"TIMebase:INDPendent", Scpi_Hori_INDPendentMode},
    {"TIMebase:INDPendent?", Scpi_Hori_GetINDPendentMode},
    {"TIMebase:SPLit:SCReen", Scpi_Hori_SPLit_SCReen},
    {"TIMebase:SPLit:SCReen?", Scpi_Hori_GetSPLit_SCReen},
    {"TIMebase1:SCALe", Scpi_INDPendent_CH1_SetTimeBase},
    {"TIMebase1:SCALe?", Scpi_INDPendent_CH1_GetTimeBase},
    {"TIMebase2:SCALe", Scpi_INDPendent_CH2_SetTimeBase},
    {"TIMebase2:SCALe?", Scpi_INDPendent_CH2_GetTimeBase},
};
constexpr int kRowCount = int(sizeof kRows / sizeof kRows[0]);
static_assert(kRowCount == 25, "the horizontal command table has 25 rows");

}  // namespace

instr TaskHoriInstrStandard[kRowCount + 1] = {};

namespace {
// Fills the table during static initialisation (registration comes later).
[[maybe_unused]] const bool kTableBuilt = [] {
  for (int i = 0; i < kRowCount; ++i) {
    std::snprintf(TaskHoriInstrStandard[i].pattern, sizeof TaskHoriInstrStandard[i].pattern, "%s", kRows[i].pattern);
    TaskHoriInstrStandard[i].handler = kRows[i].handler;
  }
  return true;
}();
}  // namespace

double TimeStringParse(const char* text) {
  if (!text) return -1.0;
  const double v = ScaledNumber(text);
  return std::isnan(v) ? 0.0 : v;
}

void Scpi_HoriCommonOp() { Refresh(); }
