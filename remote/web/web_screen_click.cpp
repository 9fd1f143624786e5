// Clicks, wheel turns and keys: the number pad, the soft keyboard, the math
// expression keypad, the measurement parameter picker, dialog close boxes,
// the menu and its pop-up lists, and the labels of the screen's edges.
#include <algorithm>
#include <cstring>

#include "core/state/ids.h"
#include "core/menu/menu.h"
#include "core/state/sys_run_info.h"
#include "core/state/task.h"
#include "core/state/task_manage.h"
#include "remote/web/web_screen_internal.h"

namespace web_input {
namespace {
struct Hit {
  const char* name;
  int x, y, w, h;
  int key;
  bool Holds(int px, int py) const { return px >= x && px <= x + w && py >= y && py <= y + h; }
};

const Hit menu_simple_click_event_arr[] = {
    {"menu_item0", 675, 35, 117, 80, kKeyF1},
    {"menu_item1", 675, 115, 117, 80, kKeyF2},
    {"menu_item2", 675, 195, 117, 80, kKeyF3},
    {"menu_item3", 675, 275, 117, 80, kKeyF4},
    {"menu_item4", 675, 355, 117, 80, kKeyF5},
    {"menu_on_header_notice", 650, 35, 24, 93, kKeyMenuOnOff},
    {"menu_off_header_notice", 775, 35, 24, 93, kKeyMenuOnOff},
};
const Hit* const menu_item_area = menu_simple_click_event_arr;  // the five soft-key boxes
const Hit& kMenuOffHeader = menu_simple_click_event_arr[6];

const Hit other_simple_click_event_arr[] = {
    {"ch1", 1, 447, 175, 30, kKeyCh1},
    {"ch2", 177, 447, 175, 30, kKeyCh2},
    {"math", 352, 447, 298, 30, kKeyMath},
    {"pre_trig", 507, 1, 70, 26, kKeyPreTrigOk},
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
// Channel labels for the wheel: CH1, CH2, MATH.
constexpr Area kChannelLabels[3] = {{0, 176, 447, 477}, {177, 352, 447, 477}, {352, 650, 447, 477}};

const char* const kSoftKeyNames[kWebSoftKeys] = {
    "KeyA",   "KeyB",   "KeyC",   "KeyD",   "KeyE",   "KeyF",      "KeyG",      "KeyH",
    "KeyI",   "KeyJ",   "KeyK",   "KeyL",   "KeyM",   "KeyN",      "KeyO",      "KeyP",
    "KeyQ",   "KeyR",   "KeyS",   "KeyT",   "KeyU",   "KeyV",      "KeyW",      "KeyX",
    "KeyY",   "KeyZ",   "Digit0", "Digit1", "Digit2", "Digit3",    "Digit4",    "Digit5",
    "Digit6", "Digit7", "Digit8", "Digit9", "_",      "Backspace", "CtrlSpace", "Enter",
};

// The math expression keypad: its close box (F2) and three rows of keys.
constexpr Area kMathKeypadClose{572, 636, 153, 173};
struct KeyRow {
  int y, keys, width;
};
constexpr KeyRow kMathKeyRows[] = {{204, 2, 48}, {229, 8, 48}, {254, 14, 32}};
constexpr int kMathKeyLeft = 184, kMathKeyHeight = 25;
constexpr int kMathKeyCount = 2 + 8 + 14;

// The measurement parameter picker: its close box (F4), three bands of
// parameters and the grid of their cells (parameters numbered row by row).
constexpr Area kPickerClose{531, 595, 49, 69};
struct Band {
  Area area;
  int first, last;
};
constexpr Band kPickerBands[] = {
    {{202, 599, 72, 145}, 0, 10}, {{202, 599, 151, 251}, 12, 27}, {{202, 599, 256, 306}, 28, 35}};
constexpr int kPickerLeft = 180, kPickerTop = 45, kCellWidth = 99, kCellHeight = 24;
constexpr int kCellColumns[] = {22, 121, 220, 318};
constexpr int kCellRows[] = {26, 52, 76, 106, 132, 156, 181, 212, 237};
constexpr int kPickerColumns = 4;

bool InRect(const ScreenRect& r, int x, int y) {
  return x >= r.x && x <= r.x + r.w && y >= r.y && y <= r.y + r.h;
}

// The key of a pad whose places the view gives, selected by knob.
template <size_t N>
void ClickPadKey(const ScreenRect (&keys)[N], int cursor, int x, int y, int forward, int back) {
  for (size_t k = 0; k < N; ++k)
    if (InRect(keys[k], x, y)) {
      SelectByKnob(cursor, int(k), forward, back);
      return;
    }
}

// The keypad key under the point, -1 for none.
int MathKeyAt(int x, int y) {
  int first = 0;
  for (const KeyRow& r : kMathKeyRows) {
    if (y >= r.y && y < r.y + kMathKeyHeight && x >= kMathKeyLeft && x < kMathKeyLeft + r.keys * r.width)
      return first + (x - kMathKeyLeft) / r.width;
    first += r.keys;
  }
  return -1;
}

bool Valid(uint32_t mask, int key) { return key >= 0 && key < kMathKeyCount && ((mask >> key) & 1); }

// The knob moves the keypad cursor over valid keys only: the turn to a key is
// the number of valid keys passed on the way.
void ClickMathKeypad(const WebScreenView& v, int x, int y) {
  if (kMathKeypadClose.Holds(x, y)) {
    Post(kKeyF2, 0);
    return;
  }
  const int key = MathKeyAt(x, y);
  if (!Valid(v.mathKeyValid, key)) return;
  const int from = std::clamp(v.mathKeyIndex, 0, kMathKeyCount - 1);
  int turn = 0;
  for (int k = std::min(from, key); k <= std::max(from, key); ++k)
    if (Valid(v.mathKeyValid, k)) ++turn;
  if (Valid(v.mathKeyValid, from)) --turn;  // the start is not passed
  SelectByKnob(0, key >= from ? turn : -turn, kKeySelectRight, kKeySelectLeft);
}

int PickerParameterAt(int x, int y) {
  for (const Band& b : kPickerBands) {
    if (!b.area.Holds(x, y)) continue;
    for (int p = b.first; p <= b.last; ++p) {
      const int cx = kPickerLeft + kCellColumns[p % kPickerColumns],
                cy = kPickerTop + kCellRows[p / kPickerColumns];
      if (x >= cx && x <= cx + kCellWidth && y >= cy && y <= cy + kCellHeight) return p;
    }
  }
  return -1;
}

// The picker's highlight moves on with the knob turned left (77).
void ClickMeasurePicker(const WebScreenView& v, int x, int y) {
  if (kPickerClose.Holds(x, y)) {
    Post(kKeyF4, 0);
    return;
  }
  const int p = PickerParameterAt(x, y);
  if (p >= 0) SelectByKnob(v.measurePickerCursor, p, kKeySelectLeft, kKeySelectRight);
}

bool ClickRows(int x, int y) {
  bool hit = false;
  for (const Hit& h : other_simple_click_event_arr)
    if (h.Holds(x, y)) {
      Post(h.key, 0);
      hit = true;
    }
  return hit;
}

// An entry of the open pop-up list: the scroll arrows turn the knob, any
// other entry is selected by knob (this list counts down with 76).
void ClickPopEntry(const WebScreenView& v, int x, int y) {
  constexpr int kScrollUp = 0x80, kScrollDown = 0x81;
  const int n = std::min(v.popCount, kWebPopEntries);
  for (int i = 0; i < n; ++i) {
    const auto& e = v.popEntry[i];
    if (x < e.column || x > e.column + v.popWidth || y < e.row || y > e.row + v.popHeight) continue;
    if (e.index == kScrollUp)
      Post(kKeySelectRight, 1);
    else if (e.index == kScrollDown)
      Post(kKeySelectLeft, 1);
    else
      SelectByKnob(v.popCursor, e.index, kKeySelectLeft, kKeySelectRight);
    return;
  }
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
}  // namespace

void process_mouse_click_release_event(int x, int y) {
  WebScreenView v;
  if (!View(&v)) return;
  if (v.numPadShown && kPadArea.Holds(x, y)) {
    // The pad's cursor moves on with the knob turned left (77).
    ClickPadKey(v.numPadKey, v.numPadCursor, x, y, kKeySelectLeft, kKeySelectRight);
    return;
  }
  if (v.softKeyboardShown && kSoftArea.Holds(x, y)) {
    ClickPadKey(v.softKey, v.softCursor, x, y, kKeySelectRight, kKeySelectLeft);
    return;
  }
  if (MathKeypadOpen(v) && kMathKeypadArea.Holds(x, y)) {
    ClickMathKeypad(v, x, y);
    return;
  }
  if (MeasurePickerOpen(v) && kMeasurePickerArea.Holds(x, y)) {
    ClickMeasurePicker(v, x, y);
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
    for (int s = 0; s < kMenuSlots; ++s)
      if (menu_item_area[s].Holds(x, y)) {
        Post(menu_item_area[s].key, 0);
        return;
      }
    return;
  }
  if (v.popState && kPopColumn.Holds(x, y)) {
    ClickPopEntry(v, x, y);
    return;
  }
  if (kMenuOnHeader.Holds(x, y))
    Post(kKeyMenuOnOff, 0);
  else
    ClickRows(x, y);
}

void Wheel(int x, int y, bool other) {
  if (SysRunStatus.IsMenuStatus() && kMenuColumn.Holds(x, y)) {
    for (int s = 0; s < kMenuSlots; ++s)
      if (menu_item_area[s].Holds(x, y)) {
        if (ItemTakesWheel(s)) Post(other ? kKeySelectLeft : kKeySelectRight, 1);
        return;
      }
    return;
  }
  WebScreenView v;
  if (View(&v) && MeasurePickerOpen(v) && kMeasurePickerArea.Holds(x, y)) {
    if (other)
      Post(kKeySelectRight, 1);
    else
      Post(kKeySelectLeft, -1);
    return;
  }
  if (y >= kChannelLabels[0].y0 && y <= kChannelLabels[0].y1) {
    const int ch = get_active_ch();
    if (ch != kNoChannel && is_ch_on(ch) && kChannelLabels[ch].Holds(x, y))
      Post(other ? kKeyVoltsRight : kKeyVoltsLeft, 0);
    return;
  }
  for (const WheelHit& w : kWheelRows)
    if (w.area.Holds(x, y)) {
      Post(other ? w.other : w.area.key, 1);
      return;
    }
}

void TypeKey(const char* name) {
  WebScreenView v;
  if (!View(&v) || !v.softKeyboardShown) return;
  const auto* end = kSoftKeyNames + kWebSoftKeys;
  const auto* it =
      std::find_if(kSoftKeyNames, end, [&](const char* n) { return std::strcmp(name, n) == 0; });
  if (it == end) return;
  const int d = int(it - kSoftKeyNames) - v.softCursor;
  Post(d > 0 ? kKeySelectRight : kKeySelectLeft, d);
  Post(kKeySelectPush, 0);
}
}  // namespace web_input
