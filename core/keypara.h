// The argument of every menu-item handler: one key event.
#pragma once
#include <cstdint>

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
