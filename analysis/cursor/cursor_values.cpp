#include "analysis/cursor/cursor_values.h"

#include "analysis/cursor/cursor_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "acquisition/tables/timebase_tables.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/common/common_subprogram.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/common/unit_convert.h"

namespace cursor {
namespace {
constexpr uint64_t kFuncFft = 0x20;
constexpr int kMathSource = 5;
const char* const kTimeUnits[] = {"s", "ms", "\xB5s", "ns", "ps"};
const char* const kFreqUnits[] = {"Hz", "kHz", "MHz", "GHz"};

_SysRunInfoOp* Run() { return SystemResource.runStatus; }

const char* Pick(const char* const* units, int n, int index) {
  return index >= 0 && index < n ? units[index] : "";
}
}  // namespace

bool ZoomView() { return Run() && Run()->GetTimeBaseType() == 1; }
bool SplitView() { return Run() && Run()->IsIndependTimeBase() && Run()->GetIndependTimeBaseSplit(); }
bool FftShown() { return Run() && (Run()->GetFuncBits() & kFuncFft); }
bool SourceOn(int source) { return Run() && source >= 0 && source < 16 && (Run()->GetChStatus() >> source & 1); }

double SecondsPerDiv() {
  const x_system* x = SystemResource.timeBase;
  if (!x || !Run()) return 0;
  const int index = Run()->GetTimeBaseType() != 0 ? x->GetZoomTimeBase(0) : x->GetRealTimeBase(0);
  return index >= 0 && index < kTimeBaseEntries ? TimeBaseS[index] : 0;
}

double VoltsPerDiv(int source) {
  const y_system* y = SystemResource.vertical;
  if (!y) return 0;
  if (source == kMathSource)
    return double(Voltage[std::clamp(y->GetRealYsensitivity(kMathSource), 0, kVoltageEntries - 1)]);
  const double v = double(y->GetRealYDivVoltage(source));
  return v > 0 ? v : 0;
}

AmpScale AmplitudeScale(int source) {
  if (ZoomView()) return {kZoomRow, kZoomPixelsPerDiv};
  if (SplitView()) return {kSplitRow[source == 1 ? 1 : 0], kSplitPixelsPerDiv};
  return {kCentreRow, kPixelsPerDiv};
}

TimeReadings TimeCursorReadings(const CursorData& d, int codeA, int codeB) {
  TimeReadings r{};
  if (!SourceOn(d.source)) return r;
  if (d.source == kMathSource && FftShown()) {
    const FftSettings& f = *Run()->GetFFTParaAddr();
    const double start = double(f.startBin) * f.binWidthHz;
    r.t[0] = start + (d.AX - kAreaLeft) * f.hzPerColumn;
    r.t[1] = start + (d.BX - kAreaLeft) * f.hzPerColumn;
    r.t[2] = r.t[1] - r.t[0];
    r.t[3] = r.t[2] != 0 ? 1.0 / std::fabs(r.t[2]) : 0;
    r.frequency = true;
  } else {
    const double spd = SecondsPerDiv();
    r.t[0] = TimeAt(d.AX, spd);
    r.t[1] = TimeAt(d.BX, spd);
    r.t[2] = r.t[1] - r.t[0];
    r.t[3] = r.t[2] != 0 ? 1.0 / std::fabs(r.t[2]) : 0;
  }
  const double vpd = VoltsPerDiv(d.source);
  r.v[0] = CodeVolts(codeA, vpd);
  r.v[1] = CodeVolts(codeB, vpd);
  r.v[2] = r.v[1] - r.v[0];
  return r;
}

AmpReadings AmplitudeReadings(const CursorData& d) {
  AmpReadings r{};
  if (!SourceOn(d.source)) return r;
  const AmpScale s = AmplitudeScale(d.source);
  const double vpd = VoltsPerDiv(d.source);
  const int lift = ZoomView() ? kZoomTop : 0;
  r.v[0] = AmpAt(std::max<int>(d.AY, lift), s, vpd);
  r.v[1] = AmpAt(std::max<int>(d.BY, lift), s, vpd);
  r.v[2] = r.v[1] - r.v[0];
  return r;
}

void TimeText(double t, const char* format, char* out, size_t size) {
  FloatElement e{};
  UnitConvert.TUnitConvert(t, &e);
  std::snprintf(out, size, format, e.mantissa, Pick(kTimeUnits, 5, e.unit & 0xFF));
}

void FreqText(double f, const char* format, char* out, size_t size) {
  FloatElement e{};
  UnitConvert.FreqUnitConvert(f, &e);
  std::snprintf(out, size, format, e.mantissa, Pick(kFreqUnits, 4, e.unit & 0xFF));
}

const char* UnitName(int source) {
  const int unit = source < 2 && SystemResource.vertical ? SystemResource.vertical->GetChUnit(source) : 0;
  const char* text = CommonSubProg.GetChUnitStrig(unit, kVUnit);
  return text ? text : "V";
}

void VoltText(double v, int source, const char* format, char* out, size_t size) {
  FloatElement e{};
  UnitConvert.VUnitConvert(v, &e);
  const int unit = source < 2 && SystemResource.vertical ? SystemResource.vertical->GetChUnit(source) : 0;
  const char* text = CommonSubProg.GetChUnitStrig(unit, e.unit & 0xFF);
  std::snprintf(out, size, format, e.mantissa, text ? text : "");
}

}  // namespace cursor
