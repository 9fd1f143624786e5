// The web screen input: the gesture state (press, drag, release, wheel) and
// the press checks. What lies under the pointer, the drag steps and the
// clicks are in web_screen_objects.cpp, web_screen_drag.cpp and
// web_screen_click.cpp; all of them post front-panel keys to the remote key
// ring, so that the main loop handles them as keys of the panel.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/state/ids.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "remote/web/web_control.h"
#include "remote/web/web_screen_internal.h"

namespace web_input {

ClickedInfo clicked_info;
int last_x = 0, last_y = 0;
int osc_state_store = kNone;
int fft_mode_store = 0;

namespace {
enum State : int { kIdle = 0, kPressed = 1, kDragging = 3, kDragEnd = 4, kClicked = 5, kWheel = 6 };

constexpr int kClickSlack = 5;  // pixels a press may move and still click
constexpr int kMathActive = 5;  // the run state's active-channel code of MATH
constexpr int kMathShownBit = 5;

const Dialog kDialogs[] = {
    {kTaskMeasure, 0, {62, 642, 100, 363}, {573, 633, 105, 120}, kKeyF3},
    {kTaskStorage, 0, {200, 600, 130, 270}, {534, 594, 134, 149}, kKeyF1},
    {kTaskDefault, 0, {200, 600, 130, 270}, {534, 594, 134, 149}, kKeyF2},
    {kTaskUtility, 0x1, {200, 600, 130, 270}, {534, 594, 134, 149}, kKeyF2},
    {kTaskUtility, 0x2, {190, 590, 120, 325}, {522, 582, 124, 139}, kKeyF2},
    {kTaskUtility, 0x20, {150, 600, 100, 287}, {531, 591, 103, 121}, kKeyMenuOnOff},
    {kTaskUtility, 0x80, {200, 570, 120, 247}, {497, 557, 123, 138}, kKeyMenuOnOff},
    {kTaskUtility, 0x10, {200, 600, 130, 270}, {534, 594, 134, 149}, kKeyF2},
};

int lcd_area_op_state = kIdle;

// Reset: idle, nothing grabbed; some resets also forget the layout.
void Reset(bool layoutNone) {
  lcd_area_op_state = kIdle;
  clicked_info = ClickedInfo{};
  if (layoutNone) osc_state_store = kNone;
}

// The press checks: true when the press stops at an overlay, a dialog or the menu.
bool PressStops(const WebScreenView& v, int x, int y) {
  if (v.numPadShown && kPadArea.Holds(x, y)) return true;
  if (v.softKeyboardShown && kSoftArea.Holds(x, y)) return true;
  if (MathKeypadOpen(v) && kMathKeypadArea.Holds(x, y)) return true;
  if (MeasurePickerOpen(v) && kMeasurePickerArea.Holds(x, y)) return true;
  const Dialog* d = DialogOnTop(v);
  if (d && d->area.Holds(x, y)) return true;
  if (SysRunStatus.IsMenuStatus() && kMenuColumn.Holds(x, y)) return true;
  if (!v.popRead) return true;
  if (v.popState && kPopColumn.Holds(x, y)) return true;
  return false;
}

void PressChecks(int x, int y) {
  WebScreenView v;
  if (!View(&v) || PressStops(v, x, y)) return;
  osc_state_store = FindLayout();
  fft_mode_store = SysRunStatus.GetFFTScreen();
  DetectObject(v, x, y);
}
}  // namespace

void Post(int code, int step) { KeyBoard.AppendScpiKey(code, step); }

// No turn when the cursor is there already: a remote turn of 0 steps still moves one.
void SelectByKnob(int current, int target, int forward, int back) {
  const int d = target - current;
  if (d > 0)
    Post(forward, d);
  else if (d < 0)
    Post(back, -d);
  Post(kKeySelectPush, 0);
}

bool View(WebScreenView* v) {
  std::memset(v, 0, sizeof *v);
  const WebControlHooks* h = GetWebControlHooks();
  return h && h->view && h->view(v);
}

int get_active_ch() {
  const int a = SysRunStatus.GetActivCh();
  return a == 0 || a == 1 ? a : a == kMathActive ? kMathCh : kNoChannel;
}

bool is_ch_on(int ch) {
  if (ch < kCh1 || ch > kMathCh) return false;
  const int bit = ch == kMathCh ? kMathShownBit : ch;
  return (SysRunStatus.GetChStatus() >> bit) & 1;
}

const Dialog* DialogOnTop(const WebScreenView& v) {
  const int task = TaskManage.GetTaskCurrId();
  for (const Dialog& d : kDialogs) {
    if (d.task != task) continue;
    const bool shown = d.task == kTaskMeasure   ? v.measureAllPara
                       : d.task == kTaskStorage ? v.storagePrompt
                       : d.task == kTaskDefault ? v.defaultMessage
                                                : (v.utilityBits & d.utilityBit) != 0;
    if (shown) return &d;
  }
  return nullptr;
}

bool MathKeypadOpen(const WebScreenView& v) {
  return TaskManage.GetTaskCurrId() == kTaskMath && v.mathKeypadShown;
}

bool MeasurePickerOpen(const WebScreenView& v) {
  return TaskManage.GetTaskCurrId() == kTaskMeasure && v.measurePickerShown;
}

int FindLayout() {
  if (SysRunStatus.IsAlternate() == 1) return kAlternate;
  if (SysRunStatus.GetTimeBaseType() != 0) return kZoom;
  // The composer's layout: an FFT screen counts only with the math channel
  // on; what each FFT screen mode draws where is its FftScreenLayout.
  if (SysRunStatus.GetDiplayFormat() == 0)
    return is_ch_on(kMathCh) && SysRunStatus.GetMathType() == 1 && SysRunStatus.GetFFTScreen() != 0
               ? kFftSplit
               : kNormal;
  return SysRunStatus.IsCursorEnable() ? kXYCursor : kXY;
}
}  // namespace web_input

using namespace web_input;

void lcd_area_end_gesture() { Reset(true); }

void lcd_area_operate(lcd_area_operate_msg m) {
  const int x = m.x, y = m.y;
  switch (m.event_type) {
    case kLcdKey: TypeKey(m.key_code.c_str()); return;
    case kLcdPress:
      if (lcd_area_op_state != kIdle) {
        Reset(true);
        return;
      }
      lcd_area_op_state = kPressed;
      clicked_info.x = last_x = x;
      clicked_info.y = last_y = y;
      PressChecks(x, y);
      return;
    case kLcdMove:
      if (lcd_area_op_state == kPressed &&
          (std::abs(y - clicked_info.y) > kClickSlack || std::abs(x - clicked_info.x) > kClickSlack)) {
        lcd_area_op_state = kDragging;
        return;
      }
      break;
    case kLcdRelease:
      if (lcd_area_op_state == kPressed) {
        lcd_area_op_state = kClicked;
        process_mouse_click_release_event(x, y);
        Reset(false);
        return;
      }
      if (lcd_area_op_state == kDragging) {
        lcd_area_op_state = kDragEnd;
        DragStep(x, y, true);
        Reset(false);
        return;
      }
      break;
    case kLcdWheel:
      if (lcd_area_op_state == kIdle) {
        lcd_area_op_state = kWheel;
        Wheel(x, y, m.wheel_direction != 0);
      }
      Reset(false);
      return;
    case kLcdLeave:
      if (lcd_area_op_state == kDragging) {
        DragStep(x, y, true);
        Reset(false);
      } else {
        Reset(true);
      }
      return;
    default: return;
  }
  // A move, or a release outside a gesture.
  switch (lcd_area_op_state) {
    case kIdle: Reset(true); break;
    case kPressed: PressChecks(x, y); break;
    case kDragging: DragStep(x, y, false); break;
    default: break;
  }
}
