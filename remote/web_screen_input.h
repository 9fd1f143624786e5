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
  std::string key_code;     // key events: "KeyA".."KeyZ", "Digit0".."Digit9", "_", "Backspace", "CtrlSpace", "Enter"
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
  bool popRead;                       // the menu position record could be read
  int popState;                       // a pop-up list is open
  int popCount, popWidth, popHeight, popCursor;
  struct {
    int16_t row, column, index;
  } popEntry[kWebPopEntries];
  // Channel positions (codes, centre 127): CH1, CH2, MATH.
  int chPos[3];
  // Dialogs on top, by their owners.
  bool measureAllPara;
  bool storagePrompt;
  bool defaultMessage;
  uint32_t utilityBits;
  // Cursor lines (screen pixels) and the cursor's active line (0 A, 1 B).
  int cursorType;  // 0 time (X) lines, 1 amplitude (Y) lines
  int cursorAX, cursorBX, cursorAY, cursorBY;
  int cursorActive;
};

void lcd_area_operate(lcd_area_operate_msg m);
