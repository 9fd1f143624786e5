// The voltage stages of a pass: extremes, top and base, overshoot and
// preshoot, the reference levels, mean, the RMS family and the areas.
#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/measure/measure.h"

namespace {
constexpr int kMinRawPoints = 21;    // the extremes need more than 20 points
constexpr int kClipLow = 0, kClipHigh = 255;
constexpr int kShootMinSpan = 6;     // top - base below this: no overshoot or preshoot
constexpr int kLevelMinSpan = 8;     // top - base for reference levels
constexpr int kLevelMinPkPk = 7;     // max - min must exceed this
constexpr int kNarrowSpan = 24;      // up to this the 40/60 % levels stand in for 5, 13, 86 %
constexpr double kLevelShare[7] = {0.95, 0.86, 0.60, 0.50, 0.40, 0.13, 0.05};
constexpr double kNoisyColumns = 0.5;  // codes of noise on the column means that call for smoothing
constexpr int kMaxSmoothReach = 12;    // columns each side of the local fit
constexpr int kReachPerHalfCycle = 4;  // the fit spans at most half the shortest half cycle
constexpr double kMadToSigma = 1.4826;

bool Usable(int c) { return c > kClipLow && c < kClipHigh; }

// The noise of the column means: from the median of their second
// differences (a line's are 0, so the signal's own slope drops out).
double ColumnNoise(const uint16_t* screen, const float* mean, int n) {
  std::vector<float> d;
  for (int i = 1; i + 1 < n; ++i)
    if (Usable(screen[i - 1]) && Usable(screen[i]) && Usable(screen[i + 1]))
      d.push_back(std::fabs(mean[i - 1] - 2 * mean[i] + mean[i + 1]));
  if (d.empty()) return 0;
  std::nth_element(d.begin(), d.begin() + d.size() / 2, d.end());
  return kMadToSigma * d[d.size() / 2] / std::sqrt(6.0);
}

// The shortest run of the column means between the middle's two hysteresis
// bands (a quarter of the span each side): the signal's shortest half
// cycle in columns, or `n` without two crossings.
int ShortestHalfCycle(const uint16_t* screen, const float* mean, int n, int lo, int hi) {
  const double mid = (hi + lo) / 2.0, band = (hi - lo) / 4.0;
  int side = 0, last = -1, shortest = n;
  for (int i = 0; i < n; ++i) {
    if (!Usable(screen[i])) continue;
    const int now = mean[i] > mid + band ? 1 : mean[i] < mid - band ? -1 : 0;
    if (now == 0 || now == side) continue;
    if (side != 0 && last >= 0) shortest = std::min(shortest, i - last);
    if (side != 0) last = i;
    side = now;
  }
  return shortest;
}

// The column means a quadratic fitted over `reach` columns each side puts at
// each column (fewer where the record's usable columns end): a flat level
// and a smooth peak keep their height, the noise shrinks.
void SmoothColumns(const uint16_t* screen, const float* mean, int n, int reach, int* out) {
  for (int i = 0; i < n; ++i) {
    auto usable = [&](int j) { return j >= 0 && j < n && Usable(screen[j]); };
    int h = 0;
    while (h < reach && usable(i - h - 1) && usable(i + h + 1)) ++h;
    if (h == 0) {
      out[i] = screen[i];
      continue;
    }
    // Savitzky-Golay weights of the centre of a quadratic over 2h + 1 points.
    const double hh = double(h), norm = (2 * hh - 1) * (2 * hh + 1) * (2 * hh + 3);
    const double centre = 3 * (3 * hh * hh + 3 * hh - 1);
    double sum = 0;
    for (int k = -h; k <= h; ++k) sum += (centre - 15.0 * k * k) / norm * mean[i + k];
    out[i] = int(std::lround(sum));
  }
}
}  // namespace

int _measure::MaxMin(int s) {
  const SourceRow& r = row_[s];
  auto invalid = [&] {
    Invalid(s, kParaMax);
    Invalid(s, kParaMin);
    Invalid(s, kParaPkPk);
    return -1;
  };
  if (r.rawCount < kMinRawPoints) return invalid();
  int hi = 1, lo = 254;
  for (int i = 0; i < r.rawCount; ++i) {
    const int c = r.raw[i];
    if (!Usable(c)) return invalid();  // clipped: the extremes are unknown
    hi = std::max(hi, c);
    lo = std::min(lo, c);
  }
  maxCode_ = hi;
  minCode_ = lo;
  const double vmax = Volts(s, hi), vmin = Volts(s, lo);
  Put(s, kParaMax, vmax);
  Put(s, kParaMin, vmin);
  Put(s, kParaPkPk, vmax - vmin);
  return 0;
}

// Top and base: the most frequent codes near the maximum and the minimum,
// searched over a quarter of the span (narrower when the record fills every
// code between them). Ties keep the code nearest the extreme. The histogram
// is of the screen points, each its column's samples as a whole: the noise
// on a signal spreads its samples' codes over a band (the extremes above
// are the noise's), the columns' means stand at the signal's own levels.
// The means carry the noise of a mean still: it spreads a peaked top (a
// sine's) inward, and its mode with it, by about that noise. Noisy columns
// are counted as a local quadratic fit puts them, which keeps the levels and
// peaks and leaves a fraction of the noise; a clean record's points are
// counted as they are.
int _measure::TopBase(int s) {
  const SourceRow& r = row_[s];
  const int paras[] = {kParaHigh, kParaLow, kParaAmpl, kParaMiddle};
  if (r.result[kParaMax].status != kMeaValid || r.result[kParaMin].status != kMeaValid) {
    for (int p : paras) Invalid(s, p);
    return -1;
  }
  int points[kMeaPoints];
  const int n = std::min(screenCount_, kMeaPoints);
  std::copy(screen_, screen_ + n, points);
  if (ColumnNoise(screen_, mean_, n) >= kNoisyColumns) {
    const int half = ShortestHalfCycle(screen_, mean_, n, minCode_, maxCode_);
    const int reach = std::min(kMaxSmoothReach, half / kReachPerHalfCycle);
    if (reach > 0) SmoothColumns(screen_, mean_, n, reach, points);
  }
  int hist[256] = {};
  for (int i = 0; i < n; ++i)
    if (Usable(screen_[i])) ++hist[std::clamp<int>(points[i], minCode_, maxCode_)];
  const int q = (maxCode_ - minCode_) / 4;
  int empty = 0;
  for (int c = minCode_; c <= maxCode_; ++c) empty += hist[c] == 0;
  int topBound, baseBound;
  if (empty > 4) {
    topBound = maxCode_ + 5 - q;
    baseBound = minCode_ - 5 + q;
  } else if (empty > 0) {
    topBound = maxCode_ - q;
    baseBound = minCode_ + q;
  } else {
    topBound = maxCode_ - 1;
    baseBound = minCode_ + 1;
  }
  int top = maxCode_;
  for (int c = maxCode_ - 1; c >= 0 && (c >= topBound || c == maxCode_ - 1); --c)
    if (hist[c] > hist[top]) top = c;
  int base = minCode_;
  for (int c = minCode_ + 1; c <= 255 && (c <= baseBound || c == minCode_ + 1); ++c)
    if (hist[c] > hist[base]) base = c;
  topCode_ = top;
  baseCode_ = base;
  const double high = Volts(s, top), low = Volts(s, base);
  Put(s, kParaHigh, high);
  Put(s, kParaLow, low);
  Put(s, kParaMiddle, (high + low) / 2);
  amplitude_ = high - low;
  Put(s, kParaAmpl, amplitude_);
  return 0;
}

// Overshoot (and preshoot) in percent of top - base: 0 when the top is the
// maximum itself (the extremes are left as they are). A signed span test: a
// top below the base (near-flat records) has none.
int _measure::OverShoot(int s) {
  const SourceRow& r = row_[s];
  const bool ok = r.result[kParaMax].status == kMeaValid && r.result[kParaHigh].status == kMeaValid &&
                  r.result[kParaAmpl].status == kMeaValid;
  const int span = topCode_ - baseCode_;
  if (!ok || span < kShootMinSpan || topCode_ > maxCode_) {
    Invalid(s, kParaOverSht);
    return -1;
  }
  Put(s, kParaOverSht, double(maxCode_ - topCode_) / span * 100.0);
  return 0;
}

int _measure::PreShoot(int s) {
  const SourceRow& r = row_[s];
  const bool ok = r.result[kParaMin].status == kMeaValid && r.result[kParaLow].status == kMeaValid &&
                  r.result[kParaAmpl].status == kMeaValid;
  const int span = topCode_ - baseCode_;
  if (!ok || span < kShootMinSpan || minCode_ > baseCode_) {
    Invalid(s, kParaPreSht);
    return -1;
  }
  Put(s, kParaPreSht, double(baseCode_ - minCode_) / span * 100.0);
  return 0;
}

// Level codes at the shares of top - base above the base, truncated toward
// the position code, as the voltage of the level would be.
int _measure::Levels(int s) {
  const SourceRow& r = row_[s];
  levelsOk_ = false;
  const bool extremes = r.result[kParaHigh].status == kMeaValid;
  if (!extremes || topCode_ - baseCode_ < kLevelMinSpan || maxCode_ - minCode_ <= kLevelMinPkPk) {
    for (int i : {kLv95, kLv86, kLv13, kLv5}) levels_.code[i] = 0;
    return -1;
  }
  const int p = r.scale.position;
  for (int i = 0; i < 7; ++i)
    levels_.code[i] = int16_t(p + int(std::trunc((baseCode_ - p) + kLevelShare[i] * (topCode_ - baseCode_))));
  if (topCode_ - baseCode_ <= kNarrowSpan) {
    levels_.code[kLv5] = levels_.code[kLv13] = levels_.code[kLv40];
    levels_.code[kLv86] = levels_.code[kLv60];
  }
  const int lines[5] = {kLv5, kLv13, kLv50, kLv86, kLv95};
  for (int i = 0; i < 5; ++i) levels_.line[i] = levels_.code[lines[i]];
  levelsOk_ = true;
  return 0;
}

// --- averages over the screen points ---

int _measure::Mean(int s) {
  const SourceRow& r = row_[s];
  const EdgePointList& e = r.edges;
  const int pos = r.scale.position;
  auto mean = [&](int from, int to) {
    double sum = 0;
    int n = 0;
    for (int i = from; i < to; ++i)
      if (Usable(screen_[i])) {
        sum += screen_[i] - pos;
        ++n;
      }
    return sum / n * r.scale.fineVoltsPerCode - r.scale.offset;  // 0/0 is not finite: invalid
  };
  Put(s, kParaMean, mean(0, screenCount_));
  // One whole period between the first two rising middle crossings.
  if (e.rising >= 2 && e.falling > 0 && e.risePoint[0] < e.risePoint[1]) Put(s, kParaCycMean, mean(e.risePoint[0], e.risePoint[1]));
  else Invalid(s, kParaCycMean);
  return 0;
}

int _measure::RmsFamily(int s) {
  const SourceRow& r = row_[s];
  const EdgePointList& e = r.edges;
  const int pos = r.scale.position;
  const double k = r.scale.fineVoltsPerCode;
  double sum = 0;
  int n = 0;
  for (int i = 0; i < r.rawCount; ++i) {
    const int c = r.raw[i];
    if (!Usable(c)) continue;
    sum += double(c - pos) * (c - pos);
    ++n;
  }
  Put(s, kParaRms, std::sqrt(sum / n) * k - r.scale.offset);

  // Over screen points: each point's samples, by their mean and their spread
  // about it (the rounded points would bias a record of few codes).
  auto rms = [&](int from, int to, double centre) {
    double acc = 0;
    int count = 0;
    for (int i = from; i < to; ++i)
      if (Usable(screen_[i])) {
        const double d = mean_[i] - centre;
        acc += d * d + variance_[i];
        ++count;
      }
    return std::sqrt(acc / count) * k;
  };
  // AC RMS: about the mean of the same points, the DC part taken out.
  double total = 0;
  int points = 0;
  for (int i = 0; i < screenCount_; ++i)
    if (Usable(screen_[i])) {
      total += mean_[i];
      ++points;
    }
  Put(s, kParaAcRms, rms(0, screenCount_, points > 0 ? total / points : 0.0));
  if (e.rising >= 2 && e.falling > 0 && e.risePoint[0] < e.risePoint[1])
    Put(s, kParaCycRms, rms(e.risePoint[0], e.risePoint[1], pos) - r.scale.offset);
  else Invalid(s, kParaCycRms);
  return 0;
}

int _measure::AreaFamily(int s) {
  const SourceRow& r = row_[s];
  const EdgePointList& e = r.edges;
  // Each point's samples' mean distance from the position code.
  auto area = [&](int from, int to) {
    double sum = 0;
    for (int i = from; i < to; ++i)
      if (Usable(screen_[i])) sum += distance_[i];
    return sum * r.scale.fineVoltsPerCode * r.scale.secondsPerPoint;
  };
  Put(s, kParaArea, area(0, screenCount_));
  int from = -1, to = -1;
  if (e.rising >= 2) from = e.risePoint[0], to = e.risePoint[1];
  else if (e.falling >= 2) from = e.fallPoint[0], to = e.fallPoint[1];
  if (from >= 0 && from < to && to <= screenCount_) Put(s, kParaCycArea, area(from, to));
  else Invalid(s, kParaCycArea);
  return 0;
}
