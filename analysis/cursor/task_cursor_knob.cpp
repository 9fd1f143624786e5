// The cursor page handler (the CURSOR key on the page, the select push that
// picks the active line, the select knob that moves it) and the module's
// follow-up of other modules' keys.
#include <algorithm>
#include <mutex>

#include "analysis/cursor/cursor_draw.h"
#include "analysis/cursor/cursor_values.h"
#include "analysis/cursor/task_cursor_internal.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"

namespace {
using namespace cursor_module;

constexpr int kYtStepCap = 5;
constexpr int kSplitCh1Lines[2] = {58, 208}, kSplitCh2Lines[2] = {266, 416};
constexpr int kXYTimeRange[2] = {36, 724}, kXYXRange[2] = {36, 304}, kXYYRange[2] = {171, 439};
constexpr int kSplitRange[2][2] = {{33, 233}, {241, 441}};
constexpr int kFftSplitRange[2] = {233, 433};
constexpr int kMathFftSplitItem = 60, kMathFftPage = 12, kDisplayFormatPage = 0;

struct Range {
  int low, high;
};

// The rows the amplitude lines of `source` may take in the layout in force.
Range AmpRange(int source) {
  using namespace cursor;
  if (ZoomView()) return {kZoomTop, kZoomBottom};
  if (SplitView()) return {kSplitRange[source == 1][0], kSplitRange[source == 1][1]};
  if (MathItem(kMathFftSplitItem) == 1 && FftShown()) return {kFftSplitRange[0], kFftSplitRange[1]};
  return {kAreaTop, kAreaBottom};
}

// Moves a pair of lines: the active one (0 A, 1 B), or both in track mode,
// each clamped on its own.
void MoveEach(int32_t* a, int32_t* b, int active, bool track, int delta, Range r) {
  if (track || active == 0) *a = std::clamp(*a + delta, r.low, r.high);
  if (track || active == 1) *b = std::clamp(*b + delta, r.low, r.high);
}

// Moves a pair of XY lines; in track mode the leading line stops at the
// range end and the other keeps the pair's distance.
template <class T>
void MoveXY(T* a, T* b, int active, bool track, int delta, const int range[2]) {
  if (!track) {
    T* line = active == 0 ? a : b;
    *line = T(std::clamp(int(*line) + delta, range[0], range[1]));
    return;
  }
  int na = int(*a) + delta, nb = int(*b) + delta;
  const int hi = std::max(na, nb), lo = std::min(na, nb);
  if (hi > range[1]) {
    const int back = hi - range[1];
    na -= back;
    nb -= back;
  } else if (lo < range[0]) {
    const int on = range[0] - lo;
    na += on;
    nb += on;
  }
  *a = T(na);
  *b = T(nb);
}

// A (independent), B (independent), both (track), then A again.
void CycleActive(uint8_t* active, uint16_t* mode, int modeItem) {
  if (*mode == 1) {
    *mode = 0;
    *active = 0;
  } else if (*active == 0) {
    *active = 1;
  } else {
    *mode = 1;
  }
  M().SetMenuItem(modeItem, *mode);
}

void SelectPush(CursorData* d) {
  if (d->displayFormat == 0) {
    CycleActive(&d->ytActive, &d->ytMode, kCurMode);
    return;
  }
  if (d->xyType == 0) {
    CycleActive(&d->xyTimeActive, &d->xyMode, kCurModeXY);
    return;
  }
  // Amplitude lines: after both lines the other axis, from its line A.
  if (d->xyMode == 1) {
    d->xyMode = 0;
    d->xyAmpActive = 0;
    d->xySource = uint8_t(d->xySource ? 0 : 1);
    M().SetMenuItem(kCurSourceXY, d->xySource);
    M().SetMenuItem(kCurModeXY, 0);
  } else if (d->xyAmpActive == 0) {
    d->xyAmpActive = 1;
  } else {
    d->xyMode = 1;
    M().SetMenuItem(kCurModeXY, 1);
  }
}

void Knob(CursorData* d, keypara k) {
  const bool right = k.key == kKeySelectRight;
  int step = k.step > 0 ? k.step : 1;
  if (d->displayFormat != 0) {
    const int delta = right ? step : -step;
    const bool track = d->xyMode == 1;
    if (d->xyType == 0) MoveXY(&d->xyTA, &d->xyTB, d->xyTimeActive, track, delta, kXYTimeRange);
    else if (d->xySource == 0) MoveXY(&d->xyXA, &d->xyXB, d->xyAmpActive, track, delta, kXYXRange);
    else MoveXY(&d->xyYA, &d->xyYB, d->xyAmpActive, track, delta, kXYYRange);
    return;
  }
  if (!k.useStep) step = std::min(step, kYtStepCap);
  const bool track = d->ytMode == 1;
  if (d->ytType == 0)
    MoveEach(&d->AX, &d->BX, d->ytActive, track, right ? step : -step, {cursor::kAreaLeft, cursor::kAreaRight});
  else
    MoveEach(&d->AY, &d->BY, d->ytActive, track, right ? -step : step, AmpRange(d->source));
}

// With the split view the lines go into the half of their source.
void IntoSplitHalf(CursorData* d) {
  if (!cursor::SplitView()) return;
  if (d->source == 0 && d->BY > cursor::kCentreRow) {
    d->AY = kSplitCh1Lines[0];
    d->BY = kSplitCh1Lines[1];
  } else if (d->source == 1 && d->AY < cursor::kCentreRow) {
    d->AY = kSplitCh2Lines[0];
    d->BY = kSplitCh2Lines[1];
  }
}
}  // namespace

int CursorMenuOp(keypara k) {
  if (M().GetMenuInfo() && M().GetMenuInfo()->popOpen) return 0;
  std::lock_guard<std::recursive_mutex> lock(CursorDraw.Lock());
  if (k.key == kCursorKey) {
    CursorKey(k);
    Cursor_Enable(kNoKey);
    CursorData d = CursorDraw.GetCursorData();
    IntoSplitHalf(&d);
    CursorDraw.SetCursorData(&d);
    return 0;
  }
  CursorData d = CursorDraw.GetCursorData();
  if ((d.displayFormat == 0 ? d.ytEnable : d.xyEnable) == 0) return 0;
  if (k.key == kKeySelectPush) SelectPush(&d);
  else if (k.key == kKeySelectRight || k.key == kKeySelectLeft) Knob(&d, k);
  else return 0;
  CursorDraw.SetCursorData(&d);
  Run().SetDrawRefresh();
  return 0;
}

// ---- other modules' keys ----

namespace {
// Centres of the upper and lower half; the zoom view's scale against the
// full area.
constexpr int kHalfCentre[2] = {133, 333};
constexpr double kToZoom = 0.7, kFromZoom = 1.4285715;
constexpr int kMsgAlternate = 89;

int Half(int y, int centre) { return (y - cursor::kCentreRow) / 2 + centre; }
}  // namespace

void CursorRemapLayout(uint16_t key) {
  using namespace cursor;
  std::lock_guard<std::recursive_mutex> lock(CursorDraw.Lock());
  CursorData d = CursorDraw.GetCursorData();
  const bool alternate = Run().IsAlternate();
  const bool fftSplit = MathItem(kMathFftSplitItem) == 1 && FftShown();
  const bool mathFftPage = MathPage() == kMathFftPage;
  if (alternate && key == kKeyF4) {
    if (d.yLayout == kLayoutFull) {
      if (d.source == kCursorSourceMath) {
        M().SetMenuItem(kCurSource, 0);
        d.source = 0;
        Message(kMsgAlternate);
      }
      const int centre = kHalfCentre[d.source == 1 ? 1 : 0];
      d.AY = Half(d.AY, centre);
      d.BY = Half(d.BY, centre);
      d.yLayout = kLayoutSplit;
    }
  } else if ((fftSplit && key == kKeyMath) || (key == kKeyF1 && mathFftPage)) {
    if (d.yLayout == kLayoutFull) {
      d.AY = Half(d.AY, kHalfCentre[1]);
      d.BY = Half(d.BY, kHalfCentre[1]);
      d.yLayout = kLayoutFftSplit;
    }
  } else if (Run().GetTimeBaseType() == 1) {
    if (key == kKeyTimeBaseOk && d.yLayout == kLayoutFull) {
      d.AY = int(double(d.AY - kCentreRow) * kToZoom) + kZoomRow;
      d.BY = int(double(d.BY - kCentreRow) * kToZoom) + kZoomRow;
      d.yLayout = kLayoutZoom;
    }
  } else {
    if (d.yLayout == kLayoutSplit && key == kKeyF4) {
      const int back = d.source == 1 ? kAreaBottom : kAreaTop;
      d.AY = 2 * d.AY - back;
      d.BY = 2 * d.BY - back;
      d.yLayout = kLayoutFull;
    } else if (d.yLayout == kLayoutFftSplit || d.yLayout == kLayoutZoom) {
      if (d.yLayout == kLayoutFftSplit && (key == kKeyF1 || key == kKeyMath)) {
        d.AY = 2 * d.AY - kAreaBottom;
        d.BY = 2 * d.BY - kAreaBottom;
      } else if (d.yLayout == kLayoutZoom && key == kKeyTimeBaseOk) {
        d.AY = int(double(d.AY - kZoomRow) * kFromZoom) + kCentreRow;
        d.BY = int(double(d.BY - kZoomRow) * kFromZoom) + kCentreRow;
      }
      d.yLayout = kLayoutFull;
    }
  }
  CursorDraw.SetCursorData(&d);
}

int TaskForCursor::TaskBetweenSync(taskresponse* r, taskresponse*) {
  if (!r) return 0;
  const uint16_t key = r->key.key;
  if (MathItem(kMathFftSplitItem) == 1 && cursor::FftShown() && MathPage() == kMathFftPage) {
    std::lock_guard<std::recursive_mutex> lock(CursorDraw.Lock());
    M().SetMenuItem(kCurSource, 2);
    CursorData d = CursorDraw.GetCursorData();
    d.source = kCursorSourceMath;
    CursorDraw.SetCursorData(&d);
  }
  if (key == kKeyPreTrigOk || key == kKeyPreTrigRight || key == kKeyPreTrigLeft) StampRefresh();
  if (key == kKeyF2 && Manager().GetTaskCurrId() == kTaskDisplay) {
    task* display = Manager().FindTaskbyId(kTaskDisplay);
    if (display && display->TaskMenu.GetCurrPage() == kDisplayFormatPage) {
      CheckDisplayFormat();
      Cursor_MenuReset();
    }
  }
  if (key == kKeyTimeBaseOk || key == kKeyMath || key == kKeyF1 || key == kKeyF4) CursorRemapLayout(key);
  return 0;
}
