// The on-screen number keypad. The select knob moves the cursor over the keys,
// the select push applies the key under it. Digits and the point build the
// text, "+/-" flips the sign, "Back" drops the last character and "Del" the
// whole text. A prefix letter or "Enter" ends the entry with the value in base
// units (the typed number times the prefix); "Max", "Min" and "Default" end it
// and leave the value to the owner.
#include <cstdlib>
#include <cstring>

#include "core/common/common_subprogram.h"

const NumKeyboardKey NumKeyboardMsg[kNumKeys] = {
    {"+/-", 0},  {"0", 1},      {".", 2},    {"1", 3},     {"2", 4},     {"3", 5},     {"4", 6},
    {"5", 7},    {"6", 8},      {"7", 9},    {"8", 10},    {"9", 11},    {"Back", 12}, {"Del", 13},
    {"m", 14},   {"u", 15},     {"n", 16},   {"p", 17},    {"k", 18},    {"M", 19},    {"G", 20},
    {"Enter", 21}, {"Max", 22}, {"Min", 23}, {"Default", 24},
};

namespace {
double PrefixScale(int code) {
  switch (code) {
    case kNumMilli: return 1e-3;
    case kNumMicro: return 1e-6;
    case kNumNano: return 1e-9;
    case kNumPico: return 1e-12;
    case kNumKilo: return 1e3;
    case kNumMega: return 1e6;
    case kNumGiga: return 1e9;
    default: return 1.0;  // Enter
  }
}

void Append(numkeyboard* pad, char c) {
  size_t len = std::strlen(pad->text);
  if (len < size_t(kNumTextMax)) {
    pad->text[len] = c;
    pad->text[len + 1] = 0;
  }
}
}  // namespace

void common_subprogram::NumKeyboardInit(numkeyboard* pad, int task, int setting) {
  if (!pad) return;
  std::memset(pad, 0, sizeof *pad);
  pad->task = int16_t(task);
  pad->setting = int16_t(setting);
  pad->cursor = kNumCursorStart;
}

int common_subprogram::NumKeyboardOp(numkeyboard* pad) {
  if (!pad) return -1;
  pad->text[kNumTextMax] = 0;
  if (pad->cursor < 0 || pad->cursor >= kNumKeys) pad->cursor = kNumCursorStart;
  if (pad->key == kKeySelectLeft || pad->key == kKeySelectRight) {
    int step = pad->useStep ? std::abs(int(pad->step)) % kNumKeys : 1;
    if (pad->useStep && step == 0) step = 1;
    int dir = pad->key == kKeySelectLeft ? 1 : -1;
    pad->cursor = int16_t(((pad->cursor + dir * step) % kNumKeys + kNumKeys) % kNumKeys);
    return 0;
  }
  if (pad->key != kKeySelectPush) return -1;
  int code = NumKeyboardMsg[pad->cursor].code;
  size_t len = std::strlen(pad->text);
  if (code == kNumSign) {
    pad->negative = !pad->negative;
  } else if (code == kNumZero) {
    Append(pad, '0');
  } else if (code >= kNumOne && code <= kNumNine) {
    Append(pad, char('1' + code - kNumOne));
  } else if (code == kNumPoint) {
    if (!std::strchr(pad->text, '.')) Append(pad, '.');
  } else if (code == kNumBack) {
    if (len) pad->text[len - 1] = 0;
  } else if (code == kNumDel) {
    pad->text[0] = 0;
    pad->negative = 0;
  } else if (code <= kNumEnter) {
    double v = std::strtod(pad->text, nullptr) * PrefixScale(code);
    pad->value = pad->negative ? -v : v;
    return code;
  } else {
    pad->value = 0;
    return code;  // Max, Min, Default
  }
  return 0;
}
