// Shared between the files of the web screen input: the gesture's state, the
// screen areas several steps test, and the helpers that post keys.
#pragma once
#include <cstdint>

#include "remote/web/web_screen_input.h"

namespace web_input {

enum Layout : int {
  kNormal = 0,
  kAlternate = 1,
  kXY = 2,
  kXYCursor = 3,
  kFftSplit = 4,
  kZoom = 5,
  kNone = 6
};
enum Kind : uint8_t { kChannel = 0, kCursorLine = 1, kTrigLine = 2, kNothing = 3, kUnset = 0xFF };
enum Channel : uint8_t { kCh1 = 0, kCh2 = 1, kMathCh = 2, kNoChannel = 3 };

constexpr int kGrabRadius = 20;  // pixels within which an object is grabbed
constexpr int kTrigLines = 3;
constexpr double kGridPixelsPerCode = 1.4;  // channel positions on the zoom and XY grids

// An area with both ends inside.
struct Area {
  int x0, x1, y0, y1;
  bool Holds(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};
constexpr Area kMenuColumn{675, 775, 35, 435};
constexpr Area kMenuOnHeader{650, 674, 35, 128};  // the tab that hides the menu
constexpr Area kPopColumn{575, 675, 35, 435};
constexpr Area kPadArea{230, 530, 100, 300};
constexpr Area kSoftArea{90, 655, 130, 281};
constexpr Area kMathKeypadArea{100, 639, 150, 286};
constexpr Area kMeasurePickerArea{180, 599, 45, 392};
constexpr Area kTrigColumn{715, 730, 33, 433};

// The press point and the object the press grabbed.
struct ClickedInfo {
  int x = 0, y = 0;
  uint8_t kind = kUnset;
  uint8_t cursorType = 0;  // 0 time or X lines, 1 amplitude or Y lines
  uint8_t cursorLine = 0;  // 0 A, 1 B of the time or X pair; 2 A, 3 B of the amplitude or Y pair
  uint8_t channel = kNoChannel;
  uint8_t trigLine = 0;   // 0 the single level, 1 the second level, 2 the first level
  bool selected = false;  // the keys that make the object active went out
};

extern ClickedInfo clicked_info;
extern int last_x, last_y;  // where the next drag distance is measured from
extern int osc_state_store;
extern int fft_mode_store;  // the FFT screen mode found with the FFT layout

// Where channel `ch` (CH1, CH2, MATH) at position code p is drawn: the row of
// its centre line in its wave slot, and the rows one code moves it.
int ChannelRow(int ch, int p);
double ChannelRowsPerCode(int ch);

void Post(int code, int step);
// Moves a list's cursor from `current` to `target` with the select knob (key
// `forward` moves it on), then pushes.
void SelectByKnob(int current, int target, int forward, int back);
// The screen as the layers above see it; false when it cannot be read.
bool View(WebScreenView* v);
int get_active_ch();
bool is_ch_on(int ch);

// A dialog of the current module on top: its area, close box and key.
struct Dialog {
  int task;
  uint32_t utilityBit;  // 0: the module's own flag
  Area area;
  Area close;
  int key;
};
const Dialog* DialogOnTop(const WebScreenView& v);
bool MathKeypadOpen(const WebScreenView& v);
bool MeasurePickerOpen(const WebScreenView& v);

// The layout in force, and the object under (x, y) in it.
int FindLayout();
void DetectObject(const WebScreenView& v, int x, int y);
// One drag step of the grabbed object to (x, y).
void DragStep(int x, int y, bool ending);
// A click released at (x, y), a wheel turn there, a key of the soft keyboard.
void process_mouse_click_release_event(int x, int y);
void Wheel(int x, int y, bool other);
void TypeKey(const char* name);

}  // namespace web_input
