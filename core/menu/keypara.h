// The argument of every menu-item handler: one key event.
#pragma once
#include <cstdint>
#include <cstdlib>

struct keypara {
  uint16_t key;      // key code (255: no key, rerun on the stored value)
  int16_t step;      // knob step
  uint8_t useStep;   // 1 for remote keys: knob moves use `step` instead of 1
};

// Internal key words sent to modules as commands.
enum : uint16_t {
  KEY_WORD_DEFAULT = 129,
  KEY_WORD_INIT = 130,
  KEY_WORD_STORAGE = 131,
  KEY_WORD_LANGUAGE = 132,
  KEY_WORD_NONE = 133,
  KEY_NO_KEY = 255,
};

// A setup load's re-apply of an item: the value the setup holds, with its
// run state, so a handler's stopped refusal lets it through.
constexpr keypara kReapplyKey{KEY_NO_KEY, 1, 0};
inline bool IsReapply(const keypara& k) { return k.key == kReapplyKey.key && k.step == kReapplyKey.step; }

// The soft keyboards' cursor (the channel label and file name keyboards) on a
// select-knob event: key 76 moves it on, 77 back, by one key for a panel turn
// and by the step's size for a remote key (the web screen sends the distance
// to the key clicked or typed), wrapping around the `keys` keys. Other keys
// leave it.
inline int SoftKeyboardCursor(int cursor, const keypara& k, int keys) {
  constexpr uint16_t kOn = 76, kBack = 77;
  if ((k.key != kOn && k.key != kBack) || keys <= 0) return cursor;
  const int step = (k.useStep ? std::abs(int(k.step)) : 1) % keys;
  return ((cursor + (k.key == kOn ? step : -step)) % keys + keys) % keys;
}
