// The front-panel keyboard: the UART that sends one byte per key or knob event,
// the knob acceleration, the key map, the panel locks and the remote key ring.
#pragma once
#include <atomic>
#include <cstdint>

struct KeyMapRow {
  char name[20];
  int16_t code;
  int32_t taskId;
  uint16_t lock;
};

extern KeyMapRow KeyMap[];

constexpr int kScpiKeyRing = 50;
constexpr int kPanelReadBytes = 10;

class rs232 {
 public:
  rs232();
  rs232(const char* path, int flags);
  int Set_BaudRate(int code);
  int SetNotObstruction();
  int SetObstruction();
  bool IsObstruction() const { return (mode_ & 1) != 0; }
  // One key per call: buffer[0] gets its code (the buffer needs one byte).
  int GetKey(uint8_t* buffer, int* recordItem);
  int GetKeyStep() const { return step_; }
  int UserSetKey(int code, int step, int item);
  int UserGetKey(int* code, int* step);
  int AppendScpiKey(int code, int step);
  // `remote` (when given): the key was queued by a remote command's work.
  int GetScpiKey(int* code, int* step, bool* remote = nullptr);
  bool IsScpiKey();
  // The main loop's take of the next remote key: it counts as pending until
  // routed (ScpiKeyRouted), so a command sent after it finds it done.
  int TakeScpiKey(int* code, int* step, bool* remote);
  void ScpiKeyRouted();
  // A remote key waits in the ring or is being routed.
  bool ScpiKeysPending();
  // Set while a main loop of its own serves the ring (the instrument's):
  // remote commands then wait for the keys queued before them. A test that
  // runs the passes itself orders them itself.
  void ServeScpiKeys(bool on);
  // Returns once no remote key is pending, at once while the ring is not
  // served, or at a stop.
  void AwaitScpiKeys();
  int KeyLockEnble();
  int KeyLockDisable();
  int KeyboardSelfUnlock(int arg);
  int SetKeyValueLock(int code, int value);
  bool IsKeyLock() const;
  int KeyValueIsLock(int code) const;
  int KeyValueDiscern(int code) const;

 private:
  struct RingEntry {
    uint16_t code;
    int16_t step;
    uint16_t remote;  // queued inside a RemoteCommandScope
  };
  void Clear();
  int16_t StepFor(uint16_t code, int64_t sinceUs, bool sameSecond) const;
  int NextPanelByte(uint8_t* code);

  RingEntry ring_[kScpiKeyRing] = {};
  uint8_t readIndex_ = 0;
  uint8_t writeIndex_ = 0;
  bool routing_ = false;  // a key taken from the ring is being routed (under mymutex)
  std::atomic<bool> served_{false};
  uint16_t panelLock_ = 0;
  uint16_t planted_ = 0;
  uint16_t plantedItem_ = 0;
  uint16_t newKey_ = 0;
  uint16_t lastCode_ = 0;
  uint16_t currCode_ = 0;
  int16_t step_ = 1;
  int32_t prevSec_ = 0, prevUsec_ = 0;
  int32_t currSec_ = 0, currUsec_ = 0;
  int32_t fd_ = 0;
  uint32_t mode_ = 0;
  // Bytes of one port read after the first wait here for the next calls, so a
  // fast knob does not lose events.
  uint8_t pending_[kPanelReadBytes] = {};
  uint8_t pendingAt_ = 0;
  uint8_t pendingCount_ = 0;
};

extern rs232 KeyBoard;
