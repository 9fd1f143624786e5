// The time stages of a pass: edge crossings of the screen points against
// the reference levels, period and frequency, rise and fall, widths and
// duties, the pulse count, and the two-source delays and phase.
#include <algorithm>
#include <cstdlib>

#include "analysis/measure/measure.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

namespace {
constexpr int kEdgeStart = 10;      // first-edge searches start here
constexpr int kListStart = 2;       // the crossing lists start here
constexpr int kMinEdgePoints = 12;  // first-edge searches need more than 11 points
constexpr int kMinListPoints = 5;
constexpr double kMinCounterHz = 1e-6;
constexpr double kFullTurn = 360.0;

constexpr uint16_t kNoData = 0;  // a column without samples (beside a short record)

// First point at or after `from`, before the last point, that holds data and
// satisfies `pred`; -1 when none (or `from` is -1). The empty columns beside a
// record narrower than the screen are no level at all: an edge is never
// armed nor found there.
template <class Pred>
int Seek(const uint16_t* s, int n, int from, Pred pred) {
  if (from < 0) return -1;
  for (int i = from; i < n - 1; ++i)
    if (s[i] != kNoData && pred(int(s[i]))) return i;
  return -1;
}

// Three successive searches; all three -1 when one fails.
template <class A, class B, class C, class D>
void Edge(const uint16_t* s, int n, int from, A arm, B first, C second, D third, int16_t* out[3]) {
  int i = Seek(s, n, from, arm);
  const int a = Seek(s, n, i, first), b = Seek(s, n, a, second), c = Seek(s, n, b, third);
  const bool ok = c >= 0;
  *out[0] = int16_t(ok ? a : -1);
  *out[1] = int16_t(ok ? b : -1);
  *out[2] = int16_t(ok ? c : -1);
}

bool InScreen(int p) { return p >= 1 && p < kMeaPoints; }
}  // namespace

int _measure::FirstRising(int) {
  const int16_t* l = levels_.code;
  int16_t* out[3] = {&cross_.riseB, &cross_.riseM, &cross_.riseT};
  for (int16_t* o : out) *o = -1;
  if (!levelsOk_ || screenCount_ < kMinEdgePoints) return -1;
  Edge(screen_, screenCount_, kEdgeStart, [&](int c) { return c < l[kLv5]; },
       [&](int c) { return c > l[kLv13]; }, [&](int c) { return c >= l[kLv50]; },
       [&](int c) { return c >= l[kLv86]; }, out);
  return cross_.riseM >= 0 ? 0 : -1;
}

int _measure::FirstFalling(int) {
  const int16_t* l = levels_.code;
  int16_t* out[3] = {&cross_.fallT, &cross_.fallM, &cross_.fallB};
  for (int16_t* o : out) *o = -1;
  if (!levelsOk_ || screenCount_ < kMinEdgePoints) return -1;
  Edge(screen_, screenCount_, kEdgeStart, [&](int c) { return c > l[kLv95]; },
       [&](int c) { return c <= l[kLv86]; }, [&](int c) { return c <= l[kLv50]; },
       [&](int c) { return c <= l[kLv13]; }, out);
  return cross_.fallM >= 0 ? 0 : -1;
}

// The middle crossing after the later first edge: with the earlier first
// middle crossing it spans the first full period.
int _measure::ThirdCrossing(int) {
  cross_.third = -1;
  if (cross_.riseT < 0 || cross_.fallB < 0) return -1;
  const int mid = levels_.code[kLv50];
  cross_.third = int16_t(cross_.riseT >= cross_.fallB
                             ? Seek(screen_, screenCount_, cross_.riseT, [&](int c) { return c <= mid; })
                             : Seek(screen_, screenCount_, cross_.fallB, [&](int c) { return c >= mid; }));
  return cross_.third >= 0 ? 0 : -1;
}

// The first edges again from the indicator lines, without the 5/95 % arming.
int _measure::LineEdges(int) {
  int16_t* rise[3] = {&cross_.lineRiseB, &cross_.lineRiseM, &cross_.lineRiseT};
  int16_t* fall[3] = {&cross_.lineFallT, &cross_.lineFallM, &cross_.lineFallB};
  for (int16_t* o : rise) *o = -1;
  for (int16_t* o : fall) *o = -1;
  cross_.periodStart = cross_.periodEnd = -1;
  if (!levelsOk_ || screenCount_ < kMinEdgePoints) return -1;
  const int l13 = int(levels_.line[1]), l50 = int(levels_.line[2]), l86 = int(levels_.line[3]);
  Edge(screen_, screenCount_, kEdgeStart, [&](int c) { return c < l13; }, [&](int c) { return c >= l13; },
       [&](int c) { return c >= l50; }, [&](int c) { return c >= l86; }, rise);
  Edge(screen_, screenCount_, kEdgeStart, [&](int c) { return c > l86; }, [&](int c) { return c <= l86; },
       [&](int c) { return c <= l50; }, [&](int c) { return c <= l13; }, fall);
  if (cross_.lineRiseM < 0 || cross_.lineFallM < 0) return -1;
  cross_.periodStart = std::min(cross_.lineRiseM, cross_.lineFallM);
  cross_.periodEnd = std::max(cross_.lineRiseM, cross_.lineFallM);
  return 0;
}

// Every rising and falling middle crossing of the screen points.
int _measure::AllEdges(int s) {
  EdgePointList& e = row_[s].edges;
  e.rising = e.falling = 0;
  if (!levelsOk_ || screenCount_ < kMinListPoints) return -1;
  const int l13 = int(levels_.line[1]), l50 = int(levels_.line[2]), l86 = int(levels_.line[3]);
  const int n = screenCount_;
  if (cross_.riseB >= 0 && cross_.riseM >= 0 && cross_.riseT >= 0) {
    for (int i = kListStart; e.rising < kMeaPoints;) {
      i = Seek(screen_, n, i, [&](int c) { return c < l13; });
      i = Seek(screen_, n, i, [&](int c) { return c >= l13; });
      i = Seek(screen_, n, i, [&](int c) { return c >= l50; });
      if (i < 0) break;
      e.risePoint[e.rising++] = uint16_t(i);
    }
  }
  if (cross_.fallB >= 0 && cross_.fallM >= 0 && cross_.fallT >= 0) {
    for (int i = kListStart; e.falling < kMeaPoints;) {
      i = Seek(screen_, n, i, [&](int c) { return c > l86; });
      i = Seek(screen_, n, i, [&](int c) { return c <= l86; });
      i = Seek(screen_, n, i, [&](int c) { return c <= l50; });
      if (i < 0) break;
      e.fallPoint[e.falling++] = uint16_t(i);
    }
  }
  return 0;
}

// Period from the crossings of one kind (twice the distance of a rising and a
// falling one when each is single); without crossings the
// hardware counter, when this source triggers.
int _measure::PeriodFreq(int s) {
  const EdgePointList& e = row_[s].edges;
  const int R = e.rising, F = e.falling;
  auto fallback = [&](bool spanPath) {
    _SysRunInfoOp* run = SystemResource.runStatus;
    const double hz = run && run->GetTrigSource() == s ? run->GetCymometer(s) : 0.0;
    if (hz > kMinCounterHz) {
      Put(s, kParaFreq, hz);
      Put(s, kParaPeriod, 1.0 / hz);
      return 0;
    }
    Invalid(s, kParaFreq);
    Invalid(s, kParaPeriod);
    if (spanPath) cross_.riseB = cross_.riseM = cross_.riseT = cross_.fallT = cross_.fallM = cross_.fallB = -1;
    return -1;
  };
  if (R * F == 0) return fallback(false);
  // The mean period of the crossings of one kind shown: a noisy edge moves
  // its crossing by a point or two, the first and last by as much over all.
  const double span = R >= 2   ? double(e.risePoint[R - 1] - e.risePoint[0]) / (R - 1)
                      : F >= 2 ? double(e.fallPoint[F - 1] - e.fallPoint[0]) / (F - 1)
                               : 2.0 * std::abs(e.risePoint[0] - e.fallPoint[0]);
  if (span <= 0) return fallback(true);
  const double period = span * row_[s].scale.secondsPerPoint;
  Put(s, kParaPeriod, period);
  Put(s, kParaFreq, 1.0 / period);
  return 0;
}

// The mean of the edges of one kind on the screen, each found as the first
// edge is, from where the one before ended (the comparator armed again past
// the far level): one edge of a noisy signal is off by the noise, their mean
// is the signal's. Points of an edge below 1 count as 1; 0 without an edge.
template <class A, class B, class C, class D>
double MeanEdge(const uint16_t* s, int n, int from, A arm, B first, C second, D third) {
  int edges = 0, points = 0;
  for (int i = from; i >= 0 && edges < kMeaPoints;) {
    int16_t a = -1, b = -1, c = -1;
    int16_t* out[3] = {&a, &b, &c};
    Edge(s, n, i, arm, first, second, third, out);
    if (c < 0) break;
    points += std::max(1, c - a);
    ++edges;
    i = c;
  }
  return edges ? double(points) / edges : 0.0;
}

int _measure::RiseFall(int s) {
  const double spp = row_[s].scale.secondsPerPoint;
  const int16_t* l = levels_.code;
  if (cross_.riseT >= 0 && cross_.riseB >= 0) {
    const double points = MeanEdge(
        screen_, screenCount_, kEdgeStart, [&](int c) { return c < l[kLv5]; },
        [&](int c) { return c > l[kLv13]; }, [&](int c) { return c >= l[kLv50]; },
        [&](int c) { return c >= l[kLv86]; });
    Put(s, kParaRise, std::max(1.0, points) * spp);
  } else {
    Invalid(s, kParaRise);
  }
  if (cross_.fallB >= 0 && cross_.fallT >= 0) {
    const double points = MeanEdge(
        screen_, screenCount_, kEdgeStart, [&](int c) { return c > l[kLv95]; },
        [&](int c) { return c <= l[kLv86]; }, [&](int c) { return c <= l[kLv50]; },
        [&](int c) { return c <= l[kLv13]; });
    Put(s, kParaFall, std::max(1.0, points) * spp);
  } else {
    Invalid(s, kParaFall);
  }
  return 0;
}

int _measure::Widths(int s) {
  const int paras[] = {kParaPwidth, kParaNwidth, kParaPduty, kParaNduty};
  const int rm = cross_.riseM, fm = cross_.fallM, third = cross_.third;
  if (rm < 0 || fm < 0 || third < 0) {
    for (int p : paras) Invalid(s, p);
    cross_.periodStart = cross_.periodEnd = 0;
    return -1;
  }
  const bool highFirst = rm < fm;
  const int pw = highFirst ? fm - rm : third - rm;
  const int nw = highFirst ? third - fm : rm - fm;
  const int start = highFirst ? rm : fm;
  const int period = third - start;
  const double spp = row_[s].scale.secondsPerPoint;
  Put(s, kParaPwidth, pw * spp);
  Put(s, kParaNwidth, nw * spp);
  if (period > 0) {
    Put(s, kParaPduty, double(pw) / period * 100.0);
    Put(s, kParaNduty, double(nw) / period * 100.0);
  } else {
    Invalid(s, kParaPduty);
    Invalid(s, kParaNduty);
  }
  cross_.periodStart = int16_t(start);
  cross_.periodEnd = int16_t(third);
  return 0;
}

int _measure::Pulse(int s) {
  const EdgePointList& e = row_[s].edges;
  if (e.rising >= 1 || e.falling >= 1) Put(s, kParaPulse, e.rising);
  else Invalid(s, kParaPulse);
  const int16_t bmt[6] = {cross_.riseB, cross_.riseM, cross_.riseT, cross_.fallB, cross_.fallM, cross_.fallT};
  std::copy(bmt, bmt + 6, row_[s].bmt);
  return 0;
}

// --- two sources ---

int _measure::MeasureDoubChPara(int master, int slave) {
  if (!Sources(master, slave)) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  for (int p : DoubleChPara) DoubleChParaMeasure(master, slave, p);
  return 0;
}

int _measure::DoubleChParaMeasure(int master, int slave, int para) {
  if (!Sources(master, slave)) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const EdgePointList& m = row_[master].edges;
  const EdgePointList& v = row_[slave].edges;
  const double spp = row_[master].scale.secondsPerPoint;
  const int mr = m.risePoint[0], mf = m.fallPoint[0], vr = v.risePoint[0], vf = v.fallPoint[0];
  const int vLastR = v.rising ? v.risePoint[v.rising - 1] : 0;
  const int vLastF = v.falling ? v.fallPoint[v.falling - 1] : 0;
  auto put = [&](bool ok, int points) {
    if (ok) Put(master, para, points * spp);
    else Invalid(master, para);
    return 0;
  };
  switch (para) {
    case kParaRiseDelay: return put(m.rising && v.rising, vr - mr);
    case kParaFallDelay: return put(m.falling && v.falling, vf - mf);
    case kParaFRFR: return put(m.rising && v.rising, std::abs(mr - vr));
    case kParaFRFF: return put(m.rising && v.falling, std::abs(mr - vf));
    case kParaFFFR: return put(m.falling && v.rising, std::abs(mf - vr));
    case kParaFFFF: return put(m.falling && v.falling, std::abs(mf - vf));
    case kParaFRLF: return put(m.rising && v.falling, std::abs(mr - vLastF));
    case kParaFRLR: return put(m.rising && v.rising, std::abs(mr - vLastR));
    case kParaFFLR: return put(m.falling && v.rising, std::abs(mf - vLastR));
    case kParaFFLF: return put(m.falling && v.falling, std::abs(mf - vLastF));
    case kParaPhase: return Phase(master, slave);
    default: return 0;
  }
}

// Phase of the slave against the master over the master's period, from the
// rising crossing after the first falling one of each. Invalid when a
// crossing it needs does not exist.
int _measure::Phase(int master, int slave) {
  const EdgePointList& m = row_[master].edges;
  const EdgePointList& v = row_[slave].edges;
  int period = -1;
  if (m.rising >= 2 && InScreen(m.risePoint[0]) && InScreen(m.risePoint[1]))
    period = m.risePoint[1] - m.risePoint[0];
  else if (m.falling >= 2 && InScreen(m.fallPoint[0]) && InScreen(m.fallPoint[1]))
    period = m.fallPoint[1] - m.fallPoint[0];
  auto edge = [](const EdgePointList& e) {
    if (e.fallPoint[0] < e.risePoint[0]) return e.rising >= 1 ? int(e.risePoint[0]) : -1;
    return e.rising >= 2 ? int(e.risePoint[1]) : -1;
  };
  const int me = edge(m), se = edge(v);
  if (cross_.lineRiseM < 0 || cross_.lineFallM < 0 || period < 0 || me < 0 || se < 0) {
    Invalid(master, kParaPhase);
    return -1;
  }
  Put(master, kParaPhase, period == 0 ? 0.0 : -(kFullTurn / period) * (me - se));
  return 0;
}
