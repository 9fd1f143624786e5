// The simulated FPGA's trigger conditions of two levels or several inputs:
// slope, runt, window, duration, pattern, setup/hold, and video.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/sim/trigger/sim_trigger_edges.h"

namespace plat {

namespace {
enum Type {
  kVideo = 2,
  kSlope = 3,
  kRunt = 4,
  kWindow = 5,
  kDuration = 8,
  kSetupHold = 9,
  kPattern = 11
};
enum Code { kHigh = 0, kLow = 1, kEither = 2, kRising = 3, kFalling = 4 };
enum Position { kEnter = 0, kExit = 1, kTimeInside = 2 };
constexpr int kPal = 0, kPalLines = 625, kNtscLines = 525;
constexpr int kSyncEven = 0, kSyncOdd = 1, kSyncAll = 2, kSyncLine = 3;

// A crossing of the low (0) or high (1) level.
struct Crossing {
  double t;
  int level;
  bool rising;
};

struct Band {
  double low, high;  // volts
};

double Offset(const SimTriggerCondition& c, const TestSignal& s) {
  return c.acLevels ? SignalMean(s) : 0.0;
}

// The source's two levels, the lower first.
Band Levels(const SimTriggerCondition& c, const TestSignal& s, int input) {
  const int ch = input == kSignalCh2 ? 1 : 0;
  const double a = c.levelV[ch][0] + Offset(c, s), b = c.levelV[ch][1] + Offset(c, s);
  return {std::min(a, b), std::max(a, b)};
}

// The crossings of both levels in time order. At one instant (an ideal
// edge) a rising edge crosses the low level first, a falling one the high.
std::vector<Crossing> BandCrossings(const TestSignal& s, double phase, Band b, double t0, double t1) {
  std::vector<Crossing> out;
  for (int level = 0; level < 2; ++level)
    for (const SimEdge& e : SimEdges(s, phase, level ? b.high : b.low, t0, t1))
      out.push_back({e.t, level, e.rising});
  auto order = [](const Crossing& x) { return x.rising ? x.level : 1 - x.level; };
  std::stable_sort(out.begin(), out.end(), [&](const Crossing& x, const Crossing& y) {
    return x.t < y.t || (x.t == y.t && order(x) < order(y));
  });
  return out;
}

bool First(double t, double* dt) {
  if (t < 0) return false;
  *dt = t;
  return true;
}

// From the first level to the second on an edge of the polarity (0 rising).
bool Slope(const std::vector<Crossing>& x, const SimTriggerCondition& c, int polarity, double* dt) {
  const bool rising = polarity != 1;
  const int from = rising ? 0 : 1;
  bool armed = false;
  double start = 0;
  for (const Crossing& e : x) {
    if (e.level == from) {
      armed = e.rising == rising;
      start = e.t;
    } else if (e.rising == rising && armed) {
      armed = false;
      if (SimQualifies(e.t - start, c) && First(e.t, dt)) return true;
    }
  }
  return false;
}

// A pulse over one level (positive: the low one, polarity 1) that comes
// back without reaching the other.
bool Runt(const std::vector<Crossing>& x, const SimTriggerCondition& c, int polarity, double* dt) {
  const bool positive = polarity == 1;
  const int near = positive ? 0 : 1;
  bool armed = false;
  double start = 0;
  for (const Crossing& e : x) {
    const bool outward = e.rising == positive;
    if (e.level == near && outward) {
      armed = true;
      start = e.t;
    } else if (e.level != near && outward) {
      armed = false;  // it reached the other level: a whole pulse
    } else if (e.level == near && armed) {
      armed = false;
      if (SimQualifies(e.t - start, c) && First(e.t, dt)) return true;
    }
  }
  return false;
}

// Entering or leaving the band through the slope's side (0: the low level
// rising in, the high level rising out), or staying in it for the time.
bool Window(const std::vector<Crossing>& x, const SimTriggerCondition& c, int slope, double t1,
            double* dt) {
  for (size_t i = 0; i < x.size(); ++i) {
    const Crossing& e = x[i];
    const bool entering = e.rising == (e.level == 0);
    const bool side = slope == 2 || (slope == 0) == (entering ? e.level == 0 : e.level == 1);
    if (!side) continue;
    if (c.position == kEnter && entering && First(e.t, dt)) return true;
    if (c.position == kExit && !entering && First(e.t, dt)) return true;
    if (c.position == kTimeInside && entering) {
      const double left = i + 1 < x.size() ? x[i + 1].t : t1;
      if (left - e.t > c.lowerS && First(e.t + c.lowerS, dt)) return true;
    }
  }
  return false;
}

// Both channels against their first comparator levels.
struct Channels {
  const SimTriggerCondition& c;
  const TestSignal* signals;
  const double* phase;
  double Level(int ch) const { return c.levelV[ch][0] + Offset(c, signals[ch]); }
  bool High(int ch, double t) const {
    const TestSignal& s = signals[ch];
    return SignalVolts(s, phase[ch] + s.frequencyHz * t, 0) > Level(ch);
  }
  std::vector<SimEdge> Edges(int ch, double t0, double t1) const {
    return SimEdges(signals[ch], phase[ch], Level(ch), t0, t1);
  }
  // Whether the level codes hold at t (edge codes are left to the caller).
  bool Holds(double t) const {
    bool any = false;
    for (int ch = 0; ch < 2; ++ch) {
      const int code = c.codes[ch];
      if (code != kHigh && code != kLow) continue;
      any = true;
      if (High(ch, t) != (code == kHigh)) return false;
    }
    return any;
  }
  // Every crossing of either channel, in time order.
  std::vector<double> Changes(double t0, double t1) const {
    std::vector<double> out;
    for (int ch = 0; ch < 2; ++ch)
      for (const SimEdge& e : Edges(ch, t0, t1)) out.push_back(e.t);
    std::sort(out.begin(), out.end());
    return out;
  }
};

constexpr double kJustAfter = 1e-12;  // seconds: the state after a change

// The codes hold for a time that meets the limits: the trigger where they stop.
bool Duration(const Channels& in, double t0, double t1, double* dt) {
  const std::vector<double> at = in.Changes(t0, t1);
  for (size_t i = 0; i + 1 < at.size(); ++i) {
    if (!in.Holds(at[i] + kJustAfter) || in.Holds(at[i + 1] + kJustAfter)) continue;
    size_t start = i;
    while (start > 0 && in.Holds(at[start - 1] + kJustAfter)) --start;
    if (start == 0) continue;  // began before the search: its length is unknown
    if (SimQualifies(at[i + 1] - at[start], in.c) && First(at[i + 1], dt)) return true;
  }
  return false;
}

// The codes start to hold; with an edge code, that channel's edge while the
// other's level code holds.
bool Pattern(const Channels& in, double t0, double t1, double* dt) {
  for (int ch = 0; ch < 2; ++ch) {
    const int code = in.c.codes[ch];
    if (code != kRising && code != kFalling) continue;
    const int other = 1 - ch, otherCode = in.c.codes[other];
    for (const SimEdge& e : in.Edges(ch, t0, t1)) {
      if (e.rising != (code == kRising)) continue;
      const bool holds = otherCode == kEither || otherCode == kRising || otherCode == kFalling ||
                         in.High(other, e.t + kJustAfter) == (otherCode == kHigh);
      if (holds && First(e.t, dt)) return true;
    }
    return false;
  }
  const std::vector<double> at = in.Changes(t0, t1);
  for (size_t i = 1; i < at.size(); ++i)
    if (!in.Holds(at[i - 1] + kJustAfter) && in.Holds(at[i] + kJustAfter) && First(at[i], dt))
      return true;
  return false;
}

// Setup (selection 0): a data edge less than the time before the clock
// edge; hold (1): one less than the time after it; 2 either. The data is at
// its code (0 low, 1 high) at the clock edge.
bool SetupHold(const Channels& in, double t0, double t1, double* dt) {
  const SimTriggerCondition& c = in.c;
  const int data = c.source1 == 1 ? 1 : 0, clock = c.source2 == 1 ? 1 : 0;
  const std::vector<SimEdge> d = in.Edges(data, t0, t1);
  const double time = c.lowerS;
  double best = -1;
  for (const SimEdge& k : in.Edges(clock, t0, t1)) {
    if (k.rising != (c.edge2 == 0) || in.High(data, k.t) != (c.edge1 == 1)) continue;
    for (const SimEdge& e : d) {
      const bool setup = e.t <= k.t && k.t - e.t<time, hold = e.t> k.t && e.t - k.t < time;
      const double at = setup && c.when != 1 ? k.t : hold && c.when != 0 ? e.t : -1;
      if (at >= 0 && (best < 0 || at < best)) best = at;
    }
    if (best >= 0) break;
  }
  return First(best, dt);
}

// A sync separator: the signal sliced near its bottom (15 % of its swing up),
// sampled 64 times a line of the standard over one period and each falling
// edge through the slice found to a nanosecond's fraction. Its sync pulses, in
// cycles of the signal's own period: where each starts and whether it is
// broad (low for more than half a line: vertical sync).
struct Syncs {
  std::vector<double> start;
  std::vector<bool> broad;
  bool lineSyncs = false;  // narrow pulses only: line syncs, no frame
};

Syncs SeparateSyncs(const TestSignal& s, int lines) {
  constexpr int kSamplesPerLine = 64, kBisections = 50;
  constexpr double kSlice = 0.15, kBroad = 0.5, kNarrow = 0.12;
  Syncs out;
  const int n = lines * kSamplesPerLine;
  std::vector<double> v(static_cast<size_t>(n));
  // u: cycles of the shape's own period (SignalVolts adds its phase).
  auto at = [&s](double u) { return SignalVolts(s, u - s.phase, 0); };
  for (int i = 0; i < n; ++i) v[size_t(i)] = at(double(i) / n);
  const auto mm = std::minmax_element(v.begin(), v.end());
  const double slice = *mm.first + kSlice * (*mm.second - *mm.first);
  if (*mm.second <= *mm.first) return out;
  std::vector<double> ends;
  for (int i = 0; i < n; ++i) {
    const double a = v[size_t((i + n - 1) % n)], b = v[size_t(i)];
    if (a >= slice && b < slice) {  // falling through the slice between samples i - 1 and i
      double lo = double(i - 1) / n, hi = double(i) / n;
      for (int k = 0; k < kBisections; ++k) {
        const double mid = 0.5 * (lo + hi);
        (at(mid) < slice ? hi : lo) = mid;
      }
      out.start.push_back(hi < 0 ? hi + 1 : hi);
    } else if (a < slice && b >= slice) {
      ends.push_back(double(i) / n);
    }
  }
  if (out.start.empty() || ends.size() != out.start.size()) return out;
  std::sort(out.start.begin(), out.start.end());
  std::sort(ends.begin(), ends.end());
  // Each pulse's width: to the first rise after its start.
  const double line = 1.0 / double(out.start.size());
  bool anyBroad = false, allNarrow = true;
  for (double st : out.start) {
    auto e = std::upper_bound(ends.begin(), ends.end(), st);
    const double width = e == ends.end() ? ends.front() + 1 - st : *e - st;
    const bool broad = width > kBroad * line;
    out.broad.push_back(broad);
    anyBroad = anyBroad || broad;
    if (!broad && width > kNarrow * line) allNarrow = false;
  }
  if (!allNarrow) out.start.clear(), out.broad.clear();
  out.lineSyncs = !anyBroad;
  return out;
}

// The start of the line the sync setting names, found by the sync separator
// in a signal of the standard's lines: line 1 starts the first field (the
// first broad pulse after narrow ones from the period's start), the second
// field starts at the other; every line starts at a sync. A signal of line
// syncs alone (no field) triggers only on every line.
bool Video(const SimTriggerCondition& c, const TestSignal& s, double phase, double* dt) {
  const int lines = c.videoStandard == kPal ? kPalLines : kNtscLines;
  if (!s.HasEdges() || s.shape == SignalShape::kNoise) return false;
  const Syncs y = SeparateSyncs(s, lines);
  const size_t n = y.start.size();
  if (n == 0) return false;
  const bool frame = !y.lineSyncs && int(n) == lines;
  if (!frame && !(y.lineSyncs && c.videoSync == kSyncAll)) return false;
  const double p = phase + s.phase;
  const double now = p - std::floor(p);
  std::vector<size_t> fields;
  for (size_t i = 0; i < n; ++i)
    if (y.broad[i] && !y.broad[(i + n - 1) % n]) fields.push_back(i);
  double target = -1;
  auto next = [&](double u) { return u >= now ? u - now : u + 1 - now; };
  switch (c.videoSync) {
    case kSyncAll:
      for (double u : y.start)
        if (target < 0 || next(u) < next(target)) target = u;
      break;
    case kSyncOdd:
    case kSyncEven:
      if (fields.size() != 2) return false;
      target = y.start[fields[c.videoSync == kSyncOdd ? 0 : 1]];
      break;
    case kSyncLine:
      if (fields.size() != 2 || c.videoLine < 1 || c.videoLine > lines) return false;
      target = y.start[(fields[0] + size_t(c.videoLine - 1)) % n];
      break;
    default: return false;
  }
  *dt = next(target) / s.frequencyHz;
  return true;
}
}  // namespace

bool SimFindLevelsTrigger(const SimTriggerCondition& c, const TestSignal* signals, const double* phase,
                          int input, int slope, double t0, double t1, double* dt) {
  const TestSignal& s = signals[input];
  const Channels both{c, signals, phase};
  switch (c.type) {
    case kVideo: return Video(c, s, phase[input], dt);
    case kSlope: return Slope(BandCrossings(s, phase[input], Levels(c, s, input), t0, t1), c, slope, dt);
    case kRunt: return Runt(BandCrossings(s, phase[input], Levels(c, s, input), t0, t1), c, slope, dt);
    case kWindow:
      return Window(BandCrossings(s, phase[input], Levels(c, s, input), t0, t1), c, slope, t1, dt);
    case kDuration: return Duration(both, t0, t1, dt);
    case kPattern: return Pattern(both, t0, t1, dt);
    case kSetupHold: return SetupHold(both, t0, t1, dt);
    default: return false;
  }
}

bool SimBothChannelsType(int type) {
  return type == kDuration || type == kSetupHold || type == kPattern;
}

bool SimLevelsType(int type) {
  return type == kVideo || type == kSlope || type == kRunt || type == kWindow || type == kDuration ||
         type == kSetupHold || type == kPattern;
}

}  // namespace plat
