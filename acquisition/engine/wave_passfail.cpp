// Pass/fail: the upper and lower templates made from a channel's trace with
// tolerances, and the comparison of the source channel's trace with them.
#include <algorithm>
#include <cstring>

#include "acquisition/engine/wave.h"

namespace {
constexpr int kUpperSlot = 12, kLowerSlot = 13;
constexpr int kCountLimit = 30000;
constexpr int kCompareFirst = 1, kCompareLast = 697;
constexpr int kCodeLow = 1, kCodeHigh = 254;

bool InCode(int v) { return v >= kCodeLow && v <= kCodeHigh; }
}  // namespace

int _wave::RequestPassFailTemplate(int ch, int h, int v) {
  if (ch != 0 && ch != 1) return -1;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  pfTemplateCh_ = ch;
  pfHTolerance_ = h;
  pfVTolerance_ = v;
  requestCh_ |= 1 << ch;
  pfTemplateRequested_ = 1;
  std::memset(trace_[kUpperSlot], 0, kTraceBytes);
  std::memset(trace_[kLowerSlot], 0, kTraceBytes);
  return 0;
}

// For each column, the largest and smallest code over the columns within the
// horizontal tolerance, widened by the vertical tolerance; a column without
// data gets 0 in both templates. Each template holds its bound in both halves.
int _wave::CreatePassFailTemplate() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const uint8_t* t = trace_[pfTemplateCh_ & 1];
  uint8_t* up = trace_[kUpperSlot];
  uint8_t* low = trace_[kLowerSlot];
  const int h = std::max(0, pfHTolerance_), v = pfVTolerance_;
  for (int x = 0; x < kColumns; ++x) {
    int hi = -1, lo = 256;
    for (int k = std::max(0, x - h); k <= std::min(kColumns - 1, x + h); ++k) {
      for (int c : {int(t[k]), int(t[kColumns + k])}) {
        if (!InCode(c)) continue;
        hi = std::max(hi, c);
        lo = std::min(lo, c);
      }
    }
    int u = 0, l = 0;
    if (hi >= 0) {
      u = std::clamp(hi + v, 0, 255);
      l = std::clamp(lo - v, 0, 255);
    }
    if (l > u) std::swap(u, l);
    up[x] = up[kColumns + x] = uint8_t(u);
    low[x] = low[kColumns + x] = uint8_t(l);
  }
  pfTemplateRequested_ = 0;
  return 0;
}

// One test of the source channel's trace: a maximum above the upper template
// or a minimum below the lower one fails. Returns 1 on a fail, 0 on a pass.
int _wave::PassFailCompare() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  const uint8_t* t = trace_[pfSource_ & 1];
  const uint8_t* up = trace_[kUpperSlot];
  const uint8_t* low = trace_[kLowerSlot];
  for (int x = kCompareFirst; x <= kCompareLast; ++x) {
    if (t[x] > up[x] || t[kColumns + x] < low[x]) {
      pfFail_ = std::min(pfFail_ + 1, kCountLimit);
      return 1;
    }
  }
  pfPass_ = std::min(pfPass_ + 1, kCountLimit);
  return 0;
}

int _wave::GetPassFailTimes(int* pass, int* fail) const {
  if (!pass || !fail) return -1;
  *pass = pfPass_;
  *fail = pfFail_;
  return 0;
}
