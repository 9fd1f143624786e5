// The measurement engine: the single-source pass, loading records and
// scales, the result rows and their unit conversion.
#include "analysis/measure/measure.h"

#include <algorithm>
#include <cmath>

#include "acquisition/acquire/task_acquire.h"
#include "acquisition/tables/timebase_tables.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

_measure MeasureParaCalcu;

namespace {
constexpr int kCodesPerDiv = 25;
constexpr int kPointsPerDiv = 50;
constexpr int kStatusSetPending = 3, kStatusSetPending2 = 8;  // the set, not applied, settings count
constexpr uint64_t kFuncZoom = 0x1;
constexpr int16_t kAreaUnitMark = 0x500;
constexpr int16_t kNoUnit = int16_t(0xFFFF);

_SysResource& Sys() { return SystemResource; }

bool SourceOk(int s) { return s >= 0 && s < kMeaSources; }
bool ParaOk(int p) { return p >= 0 && p < kMeaParas; }
bool Pending(int status) { return status == kStatusSetPending || status == kStatusSetPending2; }

// Fills `e` by unit kind; -1 for an unknown kind or a missing converter.
int Convert(int kind, double value, FloatElement* e) {
  const unit_convert* u = Sys().unitConvert;
  if (!u) return -1;
  switch (kind) {
    case kMeaUnitVolt: return u->VUnitConvert(value, e);
    case kMeaUnitArea: {
      const int r = u->VUnitConvert(value, e);
      e->unit = int16_t(e->unit | kAreaUnitMark);
      return r;
    }
    case kMeaUnitTime: return u->TUnitConvert(value, e);
    case kMeaUnitFreq: return u->FreqUnitConvert(value, e);
    case kMeaUnitNumber:
    case kMeaUnitDegree:
      e->mantissa = double(float(value));
      e->unit = int16_t(kind);
      return 0;
    case kMeaUnitNone: return 0;
    default: return -1;
  }
}

void ClearUser(UserDefResult* u) {
  u->status = kMeaInvalid;
  u->current = u->average = u->minimum = u->maximum = u->deviation = -1.0f;
  u->count = -1;
  for (FloatElement& e : u->element) e = FloatElement{-1.0, kNoUnit};
}
}  // namespace

_measure::_measure() {
  for (int s = 0; s < kMeaSources; ++s) {
    row_[s].scale = MeasureScale{127, 0, 0, 0, 0, 0};
    row_[s].edges = EdgePointList{};
    std::fill(row_[s].bmt, row_[s].bmt + 6, int16_t(-1));
    for (MeasureResult& r : row_[s].result) r = MeasureResult{kMeaInvalid, -1.0f, FloatElement{-1.0, 0}};
  }
  for (UserDefResult& u : user_) ClearUser(&u);
}

// --- the single-source pass ---

int _measure::MeasureBasePara(int s) {
  if (!SourceOk(s)) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  ClearMeaParaResult(s);
  if (LoadSource(s) < 0) return -1;
  if (s == dvmSource_) DVMMeasureFPGA();
  MaxMin(s);
  TopBase(s);
  OverShoot(s);
  PreShoot(s);
  Levels(s);
  FirstRising(s);
  FirstFalling(s);
  ThirdCrossing(s);
  LineEdges(s);
  AllEdges(s);
  PeriodFreq(s);
  RiseFall(s);
  Widths(s);
  Mean(s);
  RmsFamily(s);
  AreaFamily(s);
  return Pulse(s);
}

int _measure::LoadSource(int s) {
  SourceRow& r = row_[s];
  MeasureScale& sc = r.scale;
  _SysRunInfoOp* run = Sys().runStatus;
  const y_system* v = Sys().vertical;
  const x_system* x = Sys().timeBase;
  _wave* w = Sys().wave;
  if (!run || !v || !x || !w) return -1;
  const int ch = s == kMeaMath ? 0 : s;
  const int status = run->GetAcquireStatus(ch);
  const bool averaged = s != kMeaMath && run->GetAcquireMode() == kAcqModeAverage;
  // A channel's record is measured on the scale it was acquired with: a kept
  // record shown at another V/div or position keeps its codes (its trace is
  // rescaled). The averaged frames stand on the screen's scale.
  const bool ownScale = s != kMeaMath && !averaged;

  sc.position = ownScale ? v->GetYposition(s) : v->GetRealYposition(s);
  int index =
      ownScale || (s != kMeaMath && Pending(status)) ? v->GetYsensitivity(s) : v->GetRealYsensitivity(s);
  index = std::clamp(index, 0, kVoltageEntries - 1);
  const double probe = s == kMeaMath ? 1.0 : double(v->GetYRealProbeScale(s));
  sc.voltsPerCode = probe * double(Voltage[index]) / kCodesPerDiv;
  sc.fineVoltsPerCode =
      s != kMeaMath && v->GetFineOnOff(s) ? double(v->GetFineCoeff(s)) / kCodesPerDiv : sc.voltsPerCode;
  sc.offset = 0;

  if (run->IsIndependTimeBase() && s != kMeaMath) sc.timeBase = x->GetRealTimeBase(s);
  else if (run->GetFuncBits() & kFuncZoom) sc.timeBase = x->GetZoomTimeBase(0);
  else sc.timeBase = Pending(run->GetAcquireStatus(0)) ? x->GetTimeBase(0) : x->GetRealTimeBase(0);
  sc.timeBase = std::clamp(sc.timeBase, 0, kTimeBaseEntries - 1);
  sc.secondsPerPoint = TimeBaseS[sc.timeBase] / kPointsPerDiv;

  uint16_t trace[_wave::kTraceBytes];
  if (w->GetWaveSceenDataFor16(s, trace) < 0) return -1;
  std::copy(trace, trace + kMeaPoints, r.screen);  // the column maxima
  float means[kMeaPoints];
  bool spread = false;  // the channel's column spreads stand beside the points
  if (s == kMeaMath) {
    std::copy(trace, trace + kMeaPoints, r.raw);
    r.rawCount = kMeaPoints;
  } else if (averaged ? w->GetColumnMeans(s, means) == kMeaPoints
                      : w->GetRecordColumns(s, means, r.variance, r.distance) == kMeaPoints) {
    // A channel's columns are measured by their samples as a whole: the
    // maxima of a noisy trace lie a noise amplitude above the signal, and
    // the means alone smooth its noise out of the RMS and the area. In
    // average mode the averaged columns are the record measured.
    int n = 0;
    for (int i = 0; i < kMeaPoints; ++i) {
      r.screen[i] = means[i] < 0 ? 0 : uint16_t(std::lround(means[i]));
      if (averaged && means[i] >= 0) r.raw[n++] = r.screen[i];
    }
    r.rawCount = averaged ? n : std::max(0, w->GetMeasureWaveDataInvertFor16(s, r.raw, kMeaRawDefault));
    spread = !averaged;
    if (spread) std::copy(means, means + kMeaPoints, r.mean);
  }
  if (!spread) {
    for (int i = 0; i < kMeaPoints; ++i) {
      r.mean[i] = r.screen[i];
      r.variance[i] = 0;
      r.distance[i] = float(std::abs(int(r.screen[i]) - sc.position));
    }
  }
  screen_ = r.screen;
  mean_ = r.mean;
  variance_ = r.variance;
  distance_ = r.distance;
  screenCount_ = kMeaPoints;
  return 0;
}

// --- results ---

double _measure::Volts(int s, int code) const {
  const MeasureScale& sc = row_[s].scale;
  return (code - sc.position) * sc.fineVoltsPerCode - sc.offset;
}

void _measure::Put(int s, int para, double value) {
  if (!std::isfinite(value)) {
    Invalid(s, para);
    return;
  }
  const int kind = MeasureParaUnit(para);
  if (target_ != kMeaNoTarget) {
    UserDefResult& u = user_[target_];
    u.status = kMeaValid;
    u.current = float(value);
    Convert(kind, value, &u.element[0]);
    return;
  }
  MeasureResult& r = row_[s].result[para];
  r.status = kMeaValid;
  r.value = float(value);
  Convert(kind, value, &r.element);
}

void _measure::Invalid(int s, int para) {
  if (target_ != kMeaNoTarget) {
    user_[target_].status = kMeaInvalid;
    user_[target_].current = -1.0f;
    return;
  }
  row_[s].result[para].status = kMeaInvalid;
  row_[s].result[para].value = -1.0f;
}

int _measure::ClearMeaParaResult(int s) {
  if (!SourceOk(s)) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  for (MeasureResult& r : row_[s].result) {
    r.status = kMeaInvalid;
    r.value = -1.0f;
  }
  row_[s].edges = EdgePointList{};
  return 0;
}

int _measure::GetMeasurePara(int s, int para, float* value) {
  if (!SourceOk(s) || !ParaOk(para) || !value) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const MeasureResult& r = row_[s].result[para];
  if (r.status != kMeaValid) return -1;
  *value = r.value;
  return 0;
}

int _measure::GetMeasureParaResult(int s, int para, FloatElement* out) {
  if (!SourceOk(s) || !ParaOk(para) || !out) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const MeasureResult& r = row_[s].result[para];
  if (r.status != kMeaValid) return -1;
  *out = r.element;
  return 0;
}

int _measure::GetMeasurePARAStatus(int s, int para) {
  if (!SourceOk(s) || !ParaOk(para)) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return row_[s].result[para].status;
}

int _measure::SetMeasureParaInvalid(int s, int para) {
  if (!SourceOk(s) || !ParaOk(para)) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  Invalid(s, para);
  return 0;
}

int _measure::SetMeasureParaResult(int s, int para, float value) {
  if (!SourceOk(s) || !ParaOk(para)) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  Put(s, para, value);
  return 0;
}

int _measure::UnitConvert(int kind, int s, int para, float value) {
  if (!SourceOk(s) || !ParaOk(para) || !Sys().unitConvert) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return Convert(kind, value, &row_[s].result[para].element);
}

int _measure::UnitConvertUserDef(int kind, int statistic, float value) {
  if (statistic < 0 || statistic > 4 || !Sys().unitConvert) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  if (target_ == kMeaNoTarget) return -1;
  return Convert(kind, value, &user_[target_].element[statistic]);
}

UserDefResult _measure::GetMeasureResultUserDef(int slot) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  if (slot < 0 || slot >= kMeaUserSlots) {
    UserDefResult u;
    ClearUser(&u);
    return u;
  }
  return user_[slot];
}

EdgePointList _measure::GetRiseFallPoints(int s) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return SourceOk(s) ? row_[s].edges : EdgePointList{};
}

int _measure::GetRiseFallBMTPoints(int s, int16_t out[6]) {
  if (!SourceOk(s) || !out) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::copy(row_[s].bmt, row_[s].bmt + 6, out);
  return 0;
}

ReferenceLevels _measure::GetReferenceLevels() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return levels_;
}

EdgeCrossings _measure::GetEdgeCrossings() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return cross_;
}

// --- user slots ---

int _measure::UserDefParaClear(int slot) {
  if (slot < 0 || slot >= kMeaUserSlots) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  ClearUser(&user_[slot]);
  return 0;
}

int _measure::UserDefStatisticParaReset() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  for (UserDefResult& u : user_) {
    u.count = 0;
    u.average = u.deviation = 0;
    u.minimum = u.maximum = u.current;
    u.current = 0;
  }
  return 0;
}

bool _measure::Sources(int master, int slave) const { return SourceOk(master) && SourceOk(slave); }

int _measure::UserDefParaMeasure(const UserSelection& sel) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  for (int k = 0; k < kMeaUserSlots; ++k) {
    const int para = sel.para[k];
    if (!ParaOk(para)) {
      ClearUser(&user_[k]);
      continue;
    }
    const int master = sel.source[k] & 0xFF, slave = sel.source[k] >> 8;
    if (!Sources(master, slave)) {
      ClearUser(&user_[k]);
      continue;
    }
    UserDefResult& u = user_[k];
    if (MeasureParaInfo[para].twoSource &&
        (master != sel.master || slave != sel.slave || !sel.pairShown)) {
      target_ = k;
      if ((sel.channelsOn >> master & 1) && (sel.channelsOn >> slave & 1)) DoubleChParaMeasure(master, slave, para);
      else Invalid(master, para);
      target_ = kMeaNoTarget;
      continue;
    }
    const MeasureResult& r = row_[master].result[para];
    u.status = r.status;
    u.current = r.value;
    u.element[0] = r.element;
  }
  return 0;
}

// Running statistics of each valid slot. The first sample after a clear or
// a reset sets average, minimum and maximum, and the count is the number of
// samples taken.
int _measure::UserDefStatisticParaCalcu(const UserSelection& sel) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  for (int k = 0; k < kMeaUserSlots; ++k) {
    UserDefResult& u = user_[k];
    if (!ParaOk(sel.para[k]) || u.status != kMeaValid) continue;
    const double cur = u.current;
    if (u.count <= 0) {
      u.count = 1;
      u.average = u.minimum = u.maximum = float(cur);
      u.deviation = 0;
    } else {
      const double nOld = u.count, n = nOld + 1;
      u.count = int32_t(n);
      const double avg = cur / n + double(u.average) * nOld / n;
      u.average = float(avg);
      if (cur < u.minimum) u.minimum = float(cur);
      if (cur > u.maximum) u.maximum = float(cur);
      const double d = cur - avg;
      u.deviation = float(std::sqrt((d * d + double(u.deviation) * u.deviation * nOld) / n));
    }
    const int kind = MeasureParaUnit(sel.para[k]);
    const float values[5] = {u.current, u.average, u.minimum, u.maximum, u.deviation};
    for (int i = 0; i < 5; ++i) Convert(kind, values[i], &u.element[i]);
  }
  return 0;
}
