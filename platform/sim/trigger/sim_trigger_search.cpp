#include "platform/sim/trigger/sim_trigger_search.h"

#include "platform/sim/trigger/sim_trigger_edges.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace plat {

namespace {
enum Type { kPulse = 1, kDelay = 6, kTimeOut = 7, kNthEdge = 10, kBusFirst = 12, kBusLast = 16 };
constexpr int kStepsPerPeriod = 1024;
constexpr int kBisections = 50;
constexpr double kMaxPeriods = 64;  // search window either side of now
constexpr size_t kMaxEdges = 1 << 16;

using Edge = SimEdge;

// The shapes whose edges are known in closed form, in cycles from a period
// start, the pulses that cross `level`; false for the others.
bool ClosedEdges(const TestSignal& s, double level, std::vector<double>* rise,
                 std::vector<double>* fall) {
  const double lowV = s.offsetV - s.amplitudeV, highV = s.offsetV + s.amplitudeV;
  const bool crosses = level > lowV && level < highV;
  switch (s.shape) {
    case SignalShape::kSquare:
      if (crosses) rise->push_back(0), fall->push_back(0.5);
      return true;
    case SignalShape::kPulse:
      if (crosses) rise->push_back(0), fall->push_back(s.duty > 0 && s.duty < 1 ? s.duty : 0.5);
      return true;
    case SignalShape::kTrain: {
      double r[kTrainPulses], f[kTrainPulses];
      const int n = TrainEdges(s, r, f);
      for (int i = 0; i < n; ++i)
        if (level > lowV && level < lowV + (highV - lowV) * TrainHeight(s, i))
          rise->push_back(r[i]), fall->push_back(f[i]);
      return true;
    }
    default: return false;
  }
}
}  // namespace

std::vector<SimEdge> SimEdges(const TestSignal& s, double phase, double level, double t0, double t1) {
  std::vector<Edge> out;
  if (!s.HasEdges() || s.shape == SignalShape::kNoise) return out;
  const double f = s.frequencyHz;
  std::vector<double> rise, fall;
  if (ClosedEdges(s, level, &rise, &fall)) {
    phase += s.phase;  // the edges count from the shape's period start
    for (double m = std::floor(phase + t0 * f); m <= std::ceil(phase + t1 * f) && out.size() < kMaxEdges;
         ++m) {
      for (size_t i = 0; i < rise.size(); ++i) {
        const double tr = (m + rise[i] - phase) / f, tf = (m + fall[i] - phase) / f;
        if (tr >= t0 && tr <= t1) out.push_back({tr, true});
        if (tf >= t0 && tf <= t1) out.push_back({tf, false});
      }
    }
  } else {
    const double h = 1.0 / (f * kStepsPerPeriod);
    auto v = [&](double t) { return SignalVolts(s, phase + f * t, 0) - level; };
    double prev = v(t0);
    for (double t = t0 + h; t <= t1 && out.size() < kMaxEdges; t += h) {
      const double cur = v(t);
      const bool up = prev < 0 && cur >= 0, down = prev > 0 && cur <= 0;
      if (up || down) {
        double lo = t - h, hi = t;
        for (int i = 0; i < kBisections; ++i) {
          const double mid = 0.5 * (lo + hi);
          const double vm = v(mid);
          if (up ? vm >= 0 : vm <= 0)
            hi = mid;
          else
            lo = mid;
        }
        out.push_back({hi, up});
      }
      prev = cur;
    }
  }
  std::sort(out.begin(), out.end(), [](const Edge& a, const Edge& b) { return a.t < b.t; });
  return out;
}

bool SimQualifies(double d, const SimTriggerCondition& c) {
  enum When { kGreater = 0, kLess = 1, kInside = 2 };
  switch (c.when) {
    case kGreater: return d > c.lowerS;
    case kLess: return d < c.upperS;
    case kInside: return d > c.lowerS && d < c.upperS;
    default: return d < c.lowerS || d > c.upperS;
  }
}

namespace {
bool Matches(const Edge& e, int slope) { return slope == 2 || e.rising == (slope == 0); }

bool First(double t, double* dt) {
  if (t < 0) return false;
  *dt = t;
  return true;
}

// The first qualifying pulse of the polarity (0 negative, 1 positive): its
// trailing edge.
bool PulseWidth(const std::vector<Edge>& e, const SimTriggerCondition& c, int polarity, double* dt) {
  const bool leadingRises = polarity == 1;
  for (size_t i = 0; i + 1 < e.size(); ++i) {
    if (e[i].rising != leadingRises || e[i + 1].rising == leadingRises) continue;
    if (SimQualifies(e[i + 1].t - e[i].t, c) && First(e[i + 1].t, dt)) return true;
  }
  return false;
}

// After an edge into the chosen side, no edge back for longer than the time.
bool TimeOut(const std::vector<Edge>& e, const SimTriggerCondition& c, int slope, double t1,
             double* dt) {
  for (size_t i = 0; i < e.size(); ++i) {
    if (!Matches(e[i], slope)) continue;
    const double next = i + 1 < e.size() ? e[i + 1].t : t1;
    const double at = e[i].t + c.lowerS;
    if (next - e[i].t > c.lowerS && First(at, dt)) return true;
  }
  return false;
}

// The n-th edge of the slope after an idle time: an edge of either slope
// after that long without one arms the count.
bool NthEdge(const std::vector<Edge>& all, const SimTriggerCondition& c, int slope, double t0,
             double* dt) {
  const int n = c.nthCount > 0 ? c.nthCount : 1;
  int count = 0;
  double last = t0;
  bool armed = false, first = true;
  for (const Edge& e : all) {
    // The first edge of the window has no known edge before it.
    const bool idle = !first && e.t - last >= c.lowerS;
    first = false;
    last = e.t;
    if (idle) {
      armed = true;
      count = 0;
    }
    if (!armed || !Matches(e, slope)) continue;
    if (++count == n) {
      if (First(e.t, dt)) return true;
      armed = false;
    }
  }
  return false;
}

// An edge of the second source the limits' time after one of the first.
bool Delay(const std::vector<Edge>& a, const std::vector<Edge>& b, const SimTriggerCondition& c,
           double* dt) {
  for (const Edge& ea : a) {
    if (!Matches(ea, c.edge1 ? 1 : 0)) continue;
    for (const Edge& eb : b) {
      if (eb.t <= ea.t || !Matches(eb, c.edge2 ? 1 : 0)) continue;
      if (SimQualifies(eb.t - ea.t, c) && First(eb.t, dt)) return true;
      break;  // only the first edge after the arming one
    }
  }
  return false;
}
}  // namespace

int SimTriggerInput(int source) {
  return source == 1 ? kSignalCh2 : source == 3 ? kSignalExt : kSignalCh1;
}

bool SimFindTrigger(const SimTriggerCondition& c, const TestSignal* signals, const double* phase, int input,
                    double level, int slope, double* dt) {
  if (c.type >= kBusFirst && c.type <= kBusLast) return SimFindBusTrigger(c, signals, phase, dt);
  const TestSignal& s = signals[input];
  if (!s.HasEdges()) return false;
  // Over both channels' edges, the slower one's periods.
  const bool both = c.type == kDelay || SimBothChannelsType(c.type);
  double frequency = s.frequencyHz;
  for (int ch = kSignalCh1; both && ch <= kSignalCh2; ++ch)
    if (signals[ch].HasEdges()) frequency = std::min(frequency, signals[ch].frequencyHz);
  const double period = 1.0 / frequency;
  const double times =
      std::max(c.lowerS, c.type == kTimeOut || c.type == kNthEdge ? c.lowerS : c.upperS);
  const double span = std::min(2 * period + times, kMaxPeriods * period);
  const double t0 = -span, t1 = span;
  if (SimLevelsType(c.type)) return SimFindLevelsTrigger(c, signals, phase, input, slope, t0, t1, dt);
  const std::vector<Edge> e = SimEdges(s, phase[input], level, t0, t1);
  switch (c.type) {
    case kPulse: return PulseWidth(e, c, slope, dt);
    case kTimeOut: return TimeOut(e, c, slope, t1, dt);
    case kNthEdge: return NthEdge(e, c, slope, t0, dt);
    case kDelay: {
      const int a = SimTriggerInput(c.source1);
      // The first source against its own comparator level (its byte of
      // word 88; the external input has the trigger DAC's only).
      const int ch = a == kSignalCh2 ? 1 : 0;
      const double first =
          a == input || a == kSignalExt ? level : c.levelV[ch][0] + (c.acLevels ? SignalMean(signals[a]) : 0.0);
      return Delay(SimEdges(signals[a], phase[a], first, t0, t1), e, c, dt);
    }
    default:
      for (const Edge& x : e)
        if (Matches(x, slope) && First(x.t, dt)) return true;
      return false;
  }
}

}  // namespace plat
