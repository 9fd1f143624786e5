// The web screen input: clicks, drags, wheel turns and keys on the screen
// picture of the web page, turned into front-panel key codes on the remote
// key ring by what lies under the pointer. Runs on the command server's thread.
#pragma once
#include <cstdint>
#include <string>

// One event of the web page.
struct lcd_area_operate_msg {
  int event_type;           // 0 key, 1 press, 2 release, 3 move, 4 wheel, 5 pointer leaves
  uint16_t x, y;            // screen pixels
  uint8_t wheel_direction;  // 0 or not 0
  std::string key_code;     // key events: "KeyA".."KeyZ", "Digit0".."Digit9", "_", "Backspace",
                            // "CtrlSpace", "Enter"
};

enum : int { kLcdKey = 0, kLcdPress = 1, kLcdRelease = 2, kLcdMove = 3, kLcdWheel = 4, kLcdLeave = 5 };

// A rectangle of the screen (x, y its top left).
struct ScreenRect {
  int16_t x, y, w, h;
};

constexpr int kWebPadKeys = 25;
constexpr int kWebSoftKeys = 40;
constexpr int kWebPopEntries = 16;

// What the layers above tell the input about the screen.
struct WebScreenView {
  // The drawing engine's overlays.
  bool numPadShown;
  int numPadCursor;
  ScreenRect numPadKey[kWebPadKeys];  // by key index
  bool softKeyboardShown;
  int softCursor;
  ScreenRect softKey[kWebSoftKeys];
  bool popRead;  // the menu position record could be read
  int popState;  // a pop-up list is open
  int popCount, popWidth, popHeight, popCursor;
  struct {
    int16_t row, column, index;
  } popEntry[kWebPopEntries];
  // Channel positions (codes, centre 127): CH1, CH2, MATH.
  int chPos[3];
  // Rows of the trigger levels 0 and 1 (the levels level selections 0 and 1 move) in the layout shown.
  int trigRow[2];
  // Dialogs and pickers on top, by their owners.
  bool measureAllPara;
  bool storagePrompt;
  bool defaultMessage;
  uint32_t utilityBits;
  bool mathKeypadShown;     // the math expression keypad
  int mathKeyIndex;         // its cursor
  uint32_t mathKeyValid;    // its valid keys, bit by key
  bool measurePickerShown;  // the measurement parameter picker
  int measurePickerCursor;  // the highlighted parameter, 0-35
  // YT cursor lines (screen pixels); the active line (0 A, 1 B) or both in track mode.
  int cursorType;  // 0 time (X) lines, 1 amplitude (Y) lines
  int cursorAX, cursorBX, cursorAY, cursorBY;
  int cursorActive;
  bool cursorTrack;
  // XY cursors: the amplitude lines are shown (not the time marks), the X-axis
  // columns and Y-axis rows, the axis the knob moves (0 X, 1 Y) and its line.
  bool xyAmplitude;
  int xyXA, xyXB, xyYA, xyYB;
  int xyAxis;
  int xyActive;
  bool xyTrack;
};

void lcd_area_operate(lcd_area_operate_msg m);
// Ends a gesture its client left open (the connection or session went): the
// input is idle again and nothing is posted.
void lcd_area_end_gesture();
