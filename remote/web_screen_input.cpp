// The web screen input: the gesture state (press, drag, release, wheel), what
// lies under the pointer, and the keys each gesture posts to the remote key
// ring, so that the main loop handles them as front-panel keys.
#include "remote/web_screen_input.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "core/ids.h"
#include "core/menu.h"
#include "core/rs232.h"
#include "core/sys_run_info.h"
#include "core/task.h"
#include "core/task_manage.h"
#include "remote/web_control.h"

namespace {
enum State : int { kIdle = 0, kPressed = 1, kDragging = 3, kDragEnd = 4, kClicked = 5, kWheel = 6 };
enum Layout : int { kNormal = 0, kAlternate = 1, kXY = 2, kXYCursor = 3, kFftSplit = 4, kZoom = 5, kNone = 6 };
enum Kind : uint8_t { kChannel = 0, kCursorLine = 1, kTrigLine = 2, kNothing = 3, kUnset = 0xFF };

constexpr int kClickSlack = 5;    // pixels a press may move and still click
constexpr int kGrabRadius = 20;   // pixels within which an object is grabbed
constexpr int kDragStep = 20;     // pixels a drag gathers before it posts
constexpr int kCentreCode = 127, kPosMin = 27, kPosMax = 227;

struct Hit {
  const char* name;
  int x, y, w, h;
  int key;
  bool Holds(int px, int py) const { return px >= x && px <= x + w && py >= y && py <= y + h; }
};

const Hit kMenuItems[kMenuSlots] = {
    {"menu_item0", 675, 35, 117, 80, kKeyF1},  {"menu_item1", 675, 115, 117, 80, kKeyF2},
    {"menu_item2", 675, 195, 117, 80, kKeyF3}, {"menu_item3", 675, 275, 117, 80, kKeyF4},
    {"menu_item4", 675, 355, 117, 80, kKeyF5},
};
const Hit kMenuOnHeader = {"menu_on_header_notice", 650, 35, 24, 93, kKeyMenuOnOff};
const Hit kMenuOffHeader = {"menu_off_header_notice", 775, 35, 24, 93, kKeyMenuOnOff};
const Hit kOtherClicks[] = {
    {"ch1", 1, 447, 175, 30, kKeyCh1},           {"ch2", 177, 447, 175, 30, kKeyCh2},
    {"math", 352, 447, 298, 30, kKeyMath},       {"pre_trig", 507, 1, 70, 26, kKeyPreTrigOk},
    {"trig_offset", 605, 1, 194, 26, kKeyTriggerOk},
};
// Wheel rows: the key for direction 0, then for the other direction.
struct WheelHit {
  Hit area;
  int other;
};
const WheelHit kWheelRows[] = {
    {{"timebase_div", 88, 1, 114, 26, kKeyTimeBaseLeft}, kKeyTimeBaseRight},
    {{"pretrig", 280, 1, 200, 26, kKeyPreTrigLeft}, kKeyPreTrigRight},
};
// Channel labels: CH1, CH2, MATH.
const Hit kChannelLabels[3] = {
    {"ch1_v_div", 0, 447, 176, 30, kKeyCh1},
    {"ch2_v_div", 177, 447, 175, 30, kKeyCh2},
    {"math_v_div", 352, 447, 298, 30, kKeyMath},
};
const int kSelectCh[3] = {kKeyCh1, kKeyCh2, kKeyMath};
const int kTrigLineSelection[3] = {1, 0, 1};  // the level selection each line needs
constexpr int kMathActive = 5;                 // the run state's active-channel code of MATH
constexpr int kMathShownBit = 5;

struct Area {
  int x0, x1, y0, y1;
  bool Holds(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};
const Area kPadArea{230, 530, 100, 300};
const Area kSoftArea{90, 655, 130, 281};
const Area kMenuColumn{675, 775, 35, 435};
const Area kPopColumn{575, 675, 35, 435};
const Area kMarkerColumn{10, 30, 33, 433};
const Area kTrigColumn{715, 730, 33, 433};
const Area kWaveArea{30, 730, 33, 433};

// Dialogs on top: the module, whether it shows, its area, its close box and key.
struct Dialog {
  int task;
  uint32_t utilityBit;  // 0: the module's own flag
  Area area;
  Area close;
  int key;
};
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

const char* const kSoftKeyNames[kWebSoftKeys] = {
    "KeyA",   "KeyB",   "KeyC",   "KeyD",   "KeyE",   "KeyF",   "KeyG",      "KeyH",      "KeyI",  "KeyJ",
    "KeyK",   "KeyL",   "KeyM",   "KeyN",   "KeyO",   "KeyP",   "KeyQ",      "KeyR",      "KeyS",  "KeyT",
    "KeyU",   "KeyV",   "KeyW",   "KeyX",   "KeyY",   "KeyZ",   "Digit0",    "Digit1",    "Digit2", "Digit3",
    "Digit4", "Digit5", "Digit6", "Digit7", "Digit8", "Digit9", "_",         "Backspace", "CtrlSpace", "Enter",
};

struct Clicked {
  int x = 0, y = 0;
  uint8_t kind = kUnset;
  uint8_t cursorType = 0;
  uint8_t cursorLine = 0;
  uint8_t channel = 3;
  uint8_t trigLine = 0;
};

int lcd_area_op_state = kIdle;
Clicked clicked_info;
int lastX = 0, lastY = 0;
int osc_state_store = kNone;

void Post(int code, int step) { KeyBoard.AppendScpiKey(code, step); }

// Moves a list's cursor from `current` to `target` with the select knob, then pushes.
// No turn when it is there already: a remote turn of 0 steps still moves one.
void SelectByKnob(int current, int target, int up, int down) {
  const int d = target - current;
  if (d > 0)
    Post(up, d);
  else if (d < 0)
    Post(down, -d);
  Post(kKeySelectPush, 0);
}

bool View(WebScreenView* v) {
  std::memset(v, 0, sizeof *v);
  const WebControlHooks* h = GetWebControlHooks();
  return h && h->view && h->view(v);
}

int get_active_ch() {
  const int a = SysRunStatus.GetActivCh();
  return a == 0 || a == 1 ? a : a == kMathActive ? 2 : 3;
}

bool is_ch_on(int ch) {
  const int bit = ch == 2 ? kMathShownBit : ch;
  return (SysRunStatus.GetChStatus() >> bit) & 1;
}

int Clamp(int p) { return std::clamp(p, kPosMin, kPosMax); }

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

int FindLayout() {
  if (SysRunStatus.IsAlternate() == 1) return kAlternate;
  if (SysRunStatus.GetTimeBaseType() != 0) return kZoom;
  if (SysRunStatus.GetDiplayFormat() == 0)
    return SysRunStatus.GetMathType() == 1 && SysRunStatus.GetFFTScreen() != 0 ? kFftSplit : kNormal;
  return SysRunStatus.IsCursorEnable() ? kXYCursor : kXY;
}

void Reset(bool layoutNone) {
  lcd_area_op_state = kIdle;
  clicked_info = Clicked{};
  if (layoutNone) osc_state_store = kNone;
}

// Trigger level rows in the normal layout: (line, row) candidates.
std::vector<std::pair<int, int>> TrigLines() {
  const _SysRunInfo& info = *SysRunStatus.GetSysRunInfoBaseAddr();
  const int src = info.trigSource == 1 ? 1 : 0;
  auto row = [&](int level) { return (117 - std::clamp<int>(info.levelBlock[src].level[level].drawPos, -95, 95)) * 2; };
  const int type = SysRunStatus.GetTrigType();
  if (type >= 3 && type <= 5) return {{1, row(1)}, {2, row(0)}};
  return {{0, row(0)}};
}

struct Candidate {
  int distance;
  uint8_t kind, channel, line;
};

void Choose(std::vector<Candidate> c) {
  std::stable_sort(c.begin(), c.end(), [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
  if (c.empty() || c.front().distance > kGrabRadius) {
    clicked_info.kind = kNothing;
    return;
  }
  const Candidate& best = c.front();
  clicked_info.kind = best.kind;
  if (best.kind == kChannel) clicked_info.channel = best.channel;
  if (best.kind == kTrigLine) clicked_info.trigLine = best.line;
  if (best.kind == kCursorLine) clicked_info.cursorLine = best.line;
}

void AddChannels(const WebScreenView& v, int y, std::vector<Candidate>* c) {
  for (int ch = 0; ch < 3; ++ch)
    if (is_ch_on(ch)) c->push_back({std::abs(y - (233 + 2 * (kCentreCode - Clamp(v.chPos[ch])))), kChannel, uint8_t(ch), 0});
}

void AddCursorLines(const WebScreenView& v, int x, int y, std::vector<Candidate>* c) {
  if (!SysRunStatus.IsCursorEnable()) return;
  clicked_info.cursorType = uint8_t(v.cursorType);
  if (v.cursorType == 0) {
    c->push_back({std::abs(x - v.cursorAX), kCursorLine, 3, 0});
    c->push_back({std::abs(x - v.cursorBX), kCursorLine, 3, 1});
  } else {
    c->push_back({std::abs(y - v.cursorAY), kCursorLine, 3, 2});
    c->push_back({std::abs(y - v.cursorBY), kCursorLine, 3, 3});
  }
}

// The grabbed object of the normal layout, and the keys that make it the active one.
void DetectNormal(const WebScreenView& v, int x, int y) {
  std::vector<Candidate> c;
  if (kMarkerColumn.Holds(x, y)) {
    AddChannels(v, y, &c);
  } else if (kTrigColumn.Holds(x, y)) {
    if (SysRunStatus.IsRollEnable()) {
      clicked_info.kind = kNothing;
      return;
    }
    for (const auto& l : TrigLines()) c.push_back({std::abs(y - l.second), kTrigLine, 3, uint8_t(l.first)});
  } else if (kWaveArea.Holds(x, y)) {
    AddChannels(v, y, &c);
    AddCursorLines(v, x, y, &c);
  }
  Choose(c);
  if (clicked_info.kind == kChannel && clicked_info.channel != get_active_ch())
    Post(kSelectCh[clicked_info.channel], 0);
  const int type = SysRunStatus.GetTrigType();
  if (clicked_info.kind == kTrigLine && type >= 3 && type <= 5 &&
      kTrigLineSelection[clicked_info.trigLine] != SysRunStatus.GetTrigLevelLowHigh())
    Post(kKeyTriggerOk, 0);
  if (clicked_info.kind == kCursorLine && (clicked_info.cursorLine & 1) != v.cursorActive)
    Post(kKeySelectPush, 0);
}

// The press checks: true when the press stops at an overlay, a dialog or the menu.
bool PressStops(const WebScreenView& v, int x, int y) {
  if (v.numPadShown && kPadArea.Holds(x, y)) return true;
  if (v.softKeyboardShown && kSoftArea.Holds(x, y)) return true;
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
  if (osc_state_store == kNormal) DetectNormal(v, x, y);
}

// One drag step of the normal layout.
void DragNormal(int x, int y, bool ending) {
  const int dx = x - lastX, dy = y - lastY;
  const int distance = std::max(std::abs(dx), std::abs(dy));
  const bool horizontal = std::abs(dx) > std::abs(dy);
  const bool right = dx > 0, up = y < lastY;
  const bool cursor = clicked_info.kind == kCursorLine;
  if (distance < kDragStep && !ending && !cursor) return;
  lastX = x;
  lastY = y;
  if (distance == 0) return;
  switch (clicked_info.kind) {
    case kChannel:
      if (!horizontal) Post(up ? kKeyOffsetRight : kKeyOffsetLeft, distance / 2);
      break;
    case kTrigLine:
      if (!horizontal) Post(up ? kKeyTriggerRight : kKeyTriggerLeft, distance / 2);
      break;
    case kCursorLine:
      if (clicked_info.cursorType == 0 && horizontal) Post(right ? kKeySelectRight : kKeySelectLeft, distance);
      if (clicked_info.cursorType == 1 && !horizontal) Post(up ? kKeySelectRight : kKeySelectLeft, distance);
      break;
    case kNothing:
      if (horizontal) Post(right ? kKeyPreTrigRight : kKeyPreTrigLeft, distance);
      break;
    default:
      break;
  }
}

void DragStep(int x, int y, bool ending) {
  if (osc_state_store == kNormal) DragNormal(x, y, ending);
}

bool ClickRows(int x, int y) {
  bool hit = false;
  for (const Hit& h : kOtherClicks)
    if (h.Holds(x, y)) {
      Post(h.key, 0);
      hit = true;
    }
  return hit;
}

void Click(int x, int y) {
  WebScreenView v;
  if (!View(&v)) return;
  if (v.numPadShown && kPadArea.Holds(x, y)) {
    for (int k = 0; k < kWebPadKeys; ++k) {
      const ScreenRect& r = v.numPadKey[k];
      if (x >= r.x && x <= r.x + r.w && y >= r.y && y <= r.y + r.h) {
        // The pad's cursor moves on with the knob turned left (77).
        SelectByKnob(v.numPadCursor, k, kKeySelectLeft, kKeySelectRight);
        return;
      }
    }
    return;
  }
  if (v.softKeyboardShown && kSoftArea.Holds(x, y)) {
    for (int k = 0; k < kWebSoftKeys; ++k) {
      const ScreenRect& r = v.softKey[k];
      if (x >= r.x && x <= r.x + r.w && y >= r.y && y <= r.y + r.h) {
        SelectByKnob(v.softCursor, k, kKeySelectRight, kKeySelectLeft);
        return;
      }
    }
    return;
  }
  if (const Dialog* d = DialogOnTop(v)) {
    if (d->area.Holds(x, y)) {
      if (d->close.Holds(x, y)) Post(d->key, 0);
      return;
    }
  }
  if (!SysRunStatus.IsMenuStatus()) {
    if (kMenuOffHeader.Holds(x, y))
      Post(kKeyMenuOnOff, 0);
    else
      ClickRows(x, y);
    return;
  }
  if (kMenuColumn.Holds(x, y)) {
    for (const Hit& h : kMenuItems)
      if (h.Holds(x, y)) {
        Post(h.key, 0);
        return;
      }
    return;
  }
  if (v.popState && kPopColumn.Holds(x, y)) {
    const int n = std::min(v.popCount, kWebPopEntries);
    for (int i = 0; i < n; ++i) {
      const auto& e = v.popEntry[i];
      if (x < e.column || x > e.column + v.popWidth || y < e.row || y > e.row + v.popHeight) continue;
      if (e.index == 0x80) {
        Post(kKeySelectRight, 1);
      } else if (e.index == 0x81) {
        Post(kKeySelectLeft, 1);
      } else {
        const int d = e.index - v.popCursor;  // this list counts down with 76
        if (d > 0)
          Post(kKeySelectLeft, d);
        else
          Post(kKeySelectRight, -d);
        Post(kKeySelectPush, 0);
      }
      return;
    }
    return;
  }
  if (kMenuOnHeader.Holds(x, y))
    Post(kKeyMenuOnOff, 0);
  else
    ClickRows(x, y);
}

// The item of the shown page that takes the wheel, when the box at `slot` is it.
bool ItemTakesWheel(int slot) {
  task* t = TaskManage.FindTaskbyId(TaskManage.GetTaskCurrId());
  const menu* m = t ? t->TaskMenu.GetMenuInfo() : nullptr;
  if (!m) return false;
  const int page = std::clamp<int>(m->currPage, 0, kMenuPages - 1);
  const MenuPage& p = m->pages[page];
  constexpr uint32_t kBoth = MENU_ATTR_FOCUS | MENU_ATTR_FOCUS_FIRST;
  for (int s = 0; s < kMenuSlots; ++s)
    if ((p.items[s].attribute & kBoth) == kBoth) return s == slot;
  return (p.items[slot].attribute & MENU_ATTR_FOCUS) != 0;
}

void Wheel(int x, int y, bool other) {
  if (SysRunStatus.IsMenuStatus() && kMenuColumn.Holds(x, y)) {
    for (int s = 0; s < kMenuSlots; ++s)
      if (kMenuItems[s].Holds(x, y)) {
        if (ItemTakesWheel(s)) Post(other ? kKeySelectLeft : kKeySelectRight, 1);
        return;
      }
    return;
  }
  if (y >= 447 && y <= 477) {
    const int ch = get_active_ch();
    if (ch < 3 && is_ch_on(ch) && kChannelLabels[ch].Holds(x, y)) Post(other ? kKeyVoltsRight : kKeyVoltsLeft, 0);
    return;
  }
  for (const WheelHit& w : kWheelRows)
    if (w.area.Holds(x, y)) {
      Post(other ? w.other : w.area.key, 1);
      return;
    }
}

void TypeKey(const std::string& name) {
  WebScreenView v;
  if (!View(&v) || !v.softKeyboardShown) return;
  const auto* end = kSoftKeyNames + kWebSoftKeys;
  const auto* it = std::find_if(kSoftKeyNames, end, [&](const char* n) { return name == n; });
  if (it == end) return;
  const int d = int(it - kSoftKeyNames) - v.softCursor;
  Post(d > 0 ? kKeySelectRight : kKeySelectLeft, d);
  Post(kKeySelectPush, 0);
}
}  // namespace

void lcd_area_operate(lcd_area_operate_msg m) {
  const int x = m.x, y = m.y;
  switch (m.event_type) {
    case kLcdKey:
      TypeKey(m.key_code);
      return;
    case kLcdPress:
      if (lcd_area_op_state != kIdle) {
        Reset(true);
        return;
      }
      lcd_area_op_state = kPressed;
      clicked_info.x = lastX = x;
      clicked_info.y = lastY = y;
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
        Click(x, y);
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
    default:
      return;
  }
  // A move, or a release outside a gesture.
  switch (lcd_area_op_state) {
    case kIdle: Reset(true); break;
    case kPressed: PressChecks(x, y); break;
    case kDragging: DragStep(x, y, false); break;
    default: break;
  }
}
