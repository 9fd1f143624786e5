// The system commands that set a value directly: channel and time-base
// positions, the trigger position, scales and offsets of channels 1, 2, 5, 6
// and 7, and trigger levels in volts.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "acquisition/system_module/task_system.h"
#include "acquisition/tables/voltage_tables.h"
#include "core/messages/msg.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_kit.h"
#include "system/system_scpi/task_system_scpi.h"

namespace {
constexpr int kMsgBiasLimit = 2;
constexpr int kCentre = 127;
constexpr int kChPosMax = 326, kChPosMin = -72;  // beyond: held at 327 / -73
constexpr int kShownMin = 28, kShownMax = 228;
constexpr int kTrigPosLimit = 100;
constexpr int kColumns = 700, kCentreColumn = 350;
constexpr int kPreTrigPerColumn = 10;
constexpr int kMathSource = 5, kRefA = kSourceRefA, kRefB = kSourceRefB;
constexpr int kTriggerTask = 10;
constexpr int kCodesPerDiv = 25;
constexpr double kOffsetTolerance = 1e-5;
constexpr long kOffsetStepsMax = 32767;  // far beyond any position: the position's limit holds

_SysRunInfoOp& Run() { return *SystemResource.runStatus; }
y_system& Y() { return *SystemResource.vertical; }
x_system& X() { return *SystemResource.timeBase; }
trig_system& T() { return *SystemResource.trigger; }
void Redraw() { Run().SetDrawRefresh(); }

bool Number(const char* p, double* v) {
  if (ScpiMissing(p)) return false;
  char* end = nullptr;
  *v = std::strtod(p, &end);
  return !ScpiRefuseIf(end == p || !std::isfinite(*v));
}

void AnswerI16(int v) {
  const int16_t x = int16_t(v);
  SysAnswerRaw(&x, sizeof x);
}

// ---- channel positions ----

void ChannelPosition(int ch, const char* p) {
  long n;
  if (!ScpiNumber(p, &n) || ScpiRefuseIf(!(Run().GetChStatus() >> ch & 1))) return;
  if (n > kChPosMax || n < kChPosMin) {
    n = n > kChPosMax ? y_system::kPositionMax : y_system::kPositionMin;
    SystemResource.message->SetMessage(kMsgBiasLimit);
  }
  // A move by the difference, as the position knob makes it: a level on this
  // channel moves with the trace and keeps its volts.
  Y().AdjYPosition(ch, int(n) - Y().GetRealYposition(ch));
  Redraw();
}

// Math (mask bit 5) and the references (bits 8, 9) move only while shown.
void TracePosition(int src, const char* p) {
  long n;
  if (!ScpiNumber(p, &n) || ScpiRefuseIf(!(Run().GetChStatus() >> src & 1))) return;
  Y().SetRealYposition(src, int(std::clamp<long>(n, kShownMin, kShownMax)));
  Y().AdjYPosition(src, 0);
  Redraw();
}

int TriggerChannel() {
  const int src = Run().GetTrigSource();
  return src == 0 || src == 1 ? src : -1;
}

// Channel numbers of the commands: 1, 2 the inputs, 5 math, 6 and 7 the references.
int SourceOf(const scpi_para* para) {
  if (!para) return -1;
  switch (para->channel) {
    case 1: return 0;
    case 2: return 1;
    case 5: return kMathSource;
    case 6: return kRefA;
    case 7: return kRefB;
    default: return -1;
  }
}

double CodeVolts(int src) { return double(Y().GetRealYDivVoltage(src)) / kCodesPerDiv; }
double OffsetVolts(int src) { return (Y().GetRealYposition(src) - kCentre) * CodeVolts(src); }

// LOW and HIGH set level 0 or 1; the two-level types show the level chosen.
void TrigLevelLowHigh(const char* p, int level) {
  double v;
  const int src = TriggerChannel();
  if (!Number(p, &v) || ScpiRefuseIf(src < 0)) return;
  const int step = T().LevelCodeForVoltage(src, v);
  static const int kLevelItem[3] = {26, 33, 45};  // trigger types 3, 4, 5
  const int type = Run().GetTrigType();
  if (type >= 3 && type <= 5)
    TaskManage.SetUserTaskMenuItem(kTriggerTask, kLevelItem[type - 3], uint64_t(level));
  Redraw();
  Run().SetTrigLevelLowHigh(level);
  T().SetTriggerPos(src, level, step);
  T().AdjTriggerPosition(0);  // applied: the comparator and the level voltages
}

void TrigLevelAsk(int level) {
  const int src = TriggerChannel();
  if (!ScpiRefuseIf(src < 0)) ScpiAnswerReal(T().GetTriggerVoltage(src, level));
}

// The main time base's trigger point: the position push centres it, then it
// moves by the columns from the screen centre.
void TimebasePosition(int slot, const char* p) {
  long n;
  if (!ScpiNumber(p, &n) || ScpiRefuseIf(Run().GetTimeBaseType() != 0)) return;
  n = std::clamp<long>(n, 0, kColumns - 1);
  HorizontalKnob(keypara{kSysKeyPreTrigOk, 0, 0});
  X().AdjPreTrigDepth(slot, int(n - kCentreColumn));
  Redraw();
}

void RefTimebaseAsk(int slot) {
  if (ScpiRefuseIf(Run().GetTimeBaseType() != 0)) return;
  AnswerI16(int((X().GetRealPreTrigDepth(slot) - X().GetPreTrigDepth(slot)) / kPreTrigPerColumn +
                kCentreColumn));
}
}  // namespace

void SCPI_Ch1_POSition(scpi_para*, char* p) { ChannelPosition(0, p); }
void SCPI_Ch2_POSition(scpi_para*, char* p) { ChannelPosition(1, p); }
void SCPI_Ch1_POSitionAsk(scpi_para*, char*) {
  AnswerI16(std::clamp(Y().GetRealYposition(0), kShownMin, kShownMax));
}
void SCPI_Ch2_POSitionAsk(scpi_para*, char*) {
  AnswerI16(std::clamp(Y().GetRealYposition(1), kShownMin, kShownMax));
}
void SCPI_Math_POSition(scpi_para*, char* p) { TracePosition(kMathSource, p); }
void SCPI_REF_A_POSition(scpi_para*, char* p) { TracePosition(kRefA, p); }
void SCPI_REF_B_POSition(scpi_para*, char* p) { TracePosition(kRefB, p); }
void SCPI_Math_POSitionAsk(scpi_para*, char*) { AnswerI16(Y().GetRealYposition(kMathSource)); }
void SCPI_REF_A_POSitionAsk(scpi_para*, char*) { AnswerI16(Y().GetRealYposition(kRefA)); }
void SCPI_REF_B_POSitionAsk(scpi_para*, char*) { AnswerI16(Y().GetRealYposition(kRefB)); }

void Scpi_TaskSys_Trigger_Position(scpi_para*, char* p) {
  long n;
  const int src = TriggerChannel();
  if (!ScpiNumber(p, &n) || ScpiRefuseIf(src < 0)) return;
  n = std::clamp<long>(n, -kTrigPosLimit, kTrigPosLimit);
  T().SetTriggerPos(src, 1, int(n));
  T().SetTriggerPos(src, 0, int(n));
  T().AdjTriggerPosition(0);
  Redraw();
}

void Scpi_TaskSys_Trigger_PositionAsk(scpi_para*, char*) {
  const int src = TriggerChannel();
  if (ScpiRefuseIf(src < 0)) return;
  const int32_t v = std::clamp(T().GetTriggerPos(src, 1), -kTrigPosLimit, kTrigPosLimit);
  SysAnswerRaw(&v, sizeof v);
}

void Scpi_TaskSys_Timebase1_Position(scpi_para*, char* p) { TimebasePosition(0, p); }
void Scpi_TaskSys_TimebaseA_Position(scpi_para*, char* p) { TimebasePosition(kRefA, p); }
void Scpi_TaskSys_TimebaseB_Position(scpi_para*, char* p) { TimebasePosition(kRefB, p); }
void Scpi_TaskSys_Timebase1_PositionAsk(scpi_para*, char*) {
  if (!ScpiRefuseIf(Run().GetTimeBaseType() != 0)) AnswerI16(X().GetRealPreTrigDepthScreenPos(0));
}
void Scpi_TaskSys_TimebaseA_PositionAsk(scpi_para*, char*) { RefTimebaseAsk(kRefA); }
void Scpi_TaskSys_TimebaseB_PositionAsk(scpi_para*, char*) { RefTimebaseAsk(kRefB); }

// ---- scales and offsets ----

// "UP" / "DOWN" step the range; a label with its unit ("500mV") takes that
// range; a plain number is volts per division, the nearest range.
void Scpi_TaskSys_Ch_AdjYsensitivity(scpi_para* para, char* p) {
  const int src = SourceOf(para);
  if (src < 0 || ScpiMissing(p)) return;
  static const scpipara kUpDown[] = {{"UP", 1}, {"DOWN", -1}, {"", -1}};
  const int word = scpi::InstrParaCompare(kUpDown, p);
  if (word >= 0) {
    Y().AdjYsensitivity(src, kUpDown[word].value);
  } else if (std::strchr(p, 'V') || std::strchr(p, 'v')) {
    int idx = -1;
    for (int i = 0; i < kVoltageEntries && idx < 0; ++i)
      if (std::strcmp(VoltageStr[i], p) == 0) idx = i;
    if (ScpiRefuseIf(idx < 0)) return;
    Y().SetRealYsensitivity(src, idx);
    Y().AdjYsensitivity(src, 0);
  } else {
    double v;
    if (!Number(p, &v) || ScpiRefuseIf(v <= 0)) return;
    Y().SetRealYsensitivityForVoltage(src, v);
    Y().AdjYsensitivity(src, 0);
  }
  Redraw();
}

// The math trace's scale is the entry of its V/div index (it has no probe).
void Scpi_TaskSys_Ch_AskYsensitivity(scpi_para* para, char*) {
  const int src = SourceOf(para);
  if (src < 0) return;
  if (src == kMathSource) {
    const int i = Y().GetRealYsensitivity(src);
    if (i >= 0 && i < kVoltageEntries) ScpiAnswerReal(double(Voltage[i]));
    return;
  }
  // A channel that is off has no volts/div in force: it answers the range it
  // comes back on with (its index at its probe), as a reset or a recall left it.
  if (src <= 1 && !(Run().GetChStatus() >> src & 1)) {
    const int i = Y().GetRealYsensitivity(src);
    if (i >= 0 && i < kVoltageEntries)
      return ScpiAnswerReal(double(Voltage[i]) * Y().GetYRealProbeScale(src));
  }
  ScpiAnswerReal(Y().GetRealYDivVoltage(src));
}

// A number with an optional unit letter k, m or u, in volts: the trace is
// centred (for CH1 and CH2 by the position push) and moved by the codes.
void Scpi_TaskSys_Ch_AdjOffset(scpi_para* para, char* p) {
  const int src = SourceOf(para);
  if (src < 0 || ScpiMissing(p)) return;
  // The number (exponent notation included) and the unit letter behind it; a
  // value beyond the position's limit holds the trace at that limit.
  char* end = nullptr;
  double v = std::strtod(p, &end);
  if (ScpiRefuseIf(end == p || std::isnan(v))) return;
  while (*end == ' ' || *end == '\t') ++end;
  const char u = *end;
  const double factor = !u ? 1.0 : u == 'k' ? 1e3 : u == 'm' ? 1e-3 : u == 'u' ? 1e-6 : 0.0;
  if (ScpiRefuseIf(factor == 0.0)) return;
  v *= factor;
  if (std::fabs(OffsetVolts(src) - v) < kOffsetTolerance) return;
  const int step = int(ScpiWhole(std::trunc(v / CodeVolts(src)), -kOffsetStepsMax, kOffsetStepsMax));
  if (src <= 1) {
    const int active = Run().GetActivCh();
    Run().SetActivCh(src);
    VerticalKnob(keypara{kSysKeyOffsetOk, 1, 0});
    Run().SetActivCh(active);
  } else {
    Y().SetRealYposition(src, kCentre);
  }
  Y().AdjYPosition(src, step);
  Redraw();
}

void Scpi_TaskSys_Ch_AdjOffsetAsk(scpi_para* para, char*) {
  const int src = SourceOf(para);
  if (src >= 0) ScpiAnswerReal(OffsetVolts(src));
}

// ---- trigger levels ----

// A level in volts at the probe tip, as the level queries answer it: the
// nearest level code, from the channel's zero line.
void Scpi_TaskSys_TrigLevelSetV(scpi_para*, char* p) {
  double v;
  const int src = TriggerChannel();
  if (!Number(p, &v) || ScpiRefuseIf(src < 0)) return;
  const int step = T().LevelCodeForVoltage(src, v);
  std::printf("YLevel = %d\n", T().GetTriggerPos(src, 1));
  std::printf("Scale = %lf\n", CodeVolts(src));
  std::printf("Vol = %lf\n", v);
  std::printf("Step = %d\n", step);
  T().SetTriggerPos(src, 1, step);
  T().AdjTriggerPosition(0);  // applied, as LOW and HIGH are: the level voltages follow
  Redraw();
}

void Scpi_TaskSys_GetTrigLevelV(scpi_para*, char*) { TrigLevelAsk(1); }
void Scpi_TaskSys_TrigLevelSetLowV(scpi_para*, char* p) { TrigLevelLowHigh(p, 0); }
void Scpi_TaskSys_TrigLevelGetLowV(scpi_para*, char*) { TrigLevelAsk(0); }
void Scpi_TaskSys_TrigLevelSetHighV(scpi_para*, char* p) { TrigLevelLowHigh(p, 1); }
void Scpi_TaskSys_TrigLevelGetHighV(scpi_para*, char*) { TrigLevelAsk(1); }
