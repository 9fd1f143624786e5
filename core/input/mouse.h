// The USB mouse: the reader that turns the device's input events into a
// cursor position, button and wheel state, and the consumer that turns a left
// click on a screen area into a front-panel key.
#pragma once
#include <linux/input.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

constexpr int kMouseRows = 480;
constexpr int kMouseColumns = 800;
constexpr int kMouseEventBuffer = 20;

// Key values of the mouse.
enum MouseKey { MOUSE_LEFT = 1, MOUSE_RIGHT = 2, MOUSE_MIDDLE = 3, MOUSE_UP_ROOL = 4, MOUSE_DOWN_ROOL = 5 };
constexpr int kMouseHeld = 6;  // GetMouseMsg while a button is held

// One message per button or wheel event, the state just after it.
struct MouseMsg {
  int32_t pressFlag;
  int32_t keyValue;
  int32_t row, column;
  int32_t pressRow, pressColumn;
};
constexpr long kMouseMsgType = 256;

// A screen area that answers a left click with a front-panel key.
struct AreaResponse {
  int32_t row, column, width, height, key;
};

class mouse {
 public:
  mouse();
  ~mouse();
  mouse(const mouse&) = delete;
  mouse& operator=(const mouse&) = delete;

  // Presence test, and opening the device when present; closes it when gone.
  // Returns 1 present, 0 absent.
  int ScanMouse();
  int MosueDevStatus() const { return status_; }
  void GetMousePos(int* row, int* column) const;
  void GetPressMousePos(int* row, int* column) const;
  int GetMouseKeyVal() const { return keyValue_; }
  int GetMousePressKeyFlag() const { return pressFlag_; }

  // Reads the waiting event records: -1 without an open device; 6 while a
  // button is held, else the last key value (0 when nothing was read).
  int GetMouseMsg();
  // The messages of the last read, one per button or wheel event, in order.
  bool TakeMouseMsg(MouseMsg* msg);

 private:
  void Close();
  void Walk(const input_event& ev);
  void Queue();

  int fd_ = -1;
  // Read by the screen composer while the reader thread writes them.
  std::atomic<int> status_{0};
  std::atomic<int> row_{232}, column_{380};
  int pressRow_ = -1, pressColumn_ = -1;
  int keyValue_ = 0;
  int newEvent_ = 0;
  int pressFlag_ = 0;
  unsigned char buffer_[kMouseEventBuffer * sizeof(input_event)] = {};
  size_t held_ = 0;  // bytes of a record not yet whole
  MouseMsg pending_[kMouseEventBuffer] = {};
  int pendingCount_ = 0, pendingAt_ = 0;
};

extern mouse MouseOp;

// The consumer's side: prints the key and, for a left press, runs DecodeOp.
void TaskMouseInputResponse(const MouseMsg& msg);
// Looks a press position up in the click areas; a hit appends the area's key
// to the remote key ring (the ring's result), a miss -1.
int DecodeOp(int row, int column);

void* MouseApp(void*);
void* ResponseForMouse(void*);
