// Common routines every subsystem uses: file listing and reading, label search
// in setup images, UTF-16 text helpers, unit texts, the on-screen number
// keypad and simple timing.
#pragma once
#include <sys/time.h>

#include <cstddef>
#include <cstdint>

#include "core/state/ids.h"

constexpr int kFileListMax = 1000;  // names a listing holds
constexpr int kFileNameBytes = 100;  // bytes per name, end mark included

struct _Filelist {
  int32_t count;
  int32_t aux[2];  // state of the owner's file chooser; cleared with the list
  int32_t total;   // repeats the count
  char name[kFileListMax][kFileNameBytes];
};

struct unicode_txt_para {
  const uint16_t* match;
  int32_t line;  // 1-based
};

// Keys of the on-screen number keypad, by code.
enum NumKeyCode : uint16_t {
  kNumSign = 0,
  kNumZero = 1,
  kNumPoint = 2,
  kNumOne = 3,  // "1" to "9" are 3 to 11
  kNumNine = 11,
  kNumBack = 12,
  kNumDel = 13,
  kNumMilli = 14,
  kNumMicro = 15,
  kNumNano = 16,
  kNumPico = 17,
  kNumKilo = 18,
  kNumMega = 19,
  kNumGiga = 20,
  kNumEnter = 21,
  kNumMax = 22,
  kNumMin = 23,
  kNumDefault = 24,
};
constexpr int kNumKeys = 25;
constexpr int kNumCursorStart = 7;
constexpr int kNumTextMax = 16;  // typed characters

struct NumKeyboardKey {
  char label[18];
  uint16_t code;
};
extern const NumKeyboardKey NumKeyboardMsg[kNumKeys];

// State of one number keypad. The owner stores the key (and knob step) to
// apply before each NumKeyboardOp.
struct numkeyboard {
  int16_t task;     // owner task id
  int16_t setting;  // number of the edited setting
  uint16_t key;     // key code to apply
  int16_t step;     // knob step
  uint8_t useStep;  // acceleration flag: the knob moves by `step`
  int16_t cursor;   // key index under the cursor
  char text[kNumTextMax + 1];  // typed digits and point, without the sign
  uint8_t negative;            // "+/-" state
  double value;  // the finished entry in base units (after results 14 to 21)
};

class common_subprogram {
 public:
  int ReadFileList(const char* dir, const char* extension, _Filelist* list, int sort);
  long GetFileSize(const char* path);
  int ReadFile(const char* path, void* buffer, int n);
  int ScanMarkLabel(const char* buffer, const char* label, int length);

  int UnicodeToAscii(const uint16_t* text, char* out, size_t outSize);
  int ScanUnicodeString(int start, const uint16_t* text, const char* key, int bytes,
                        unicode_txt_para* result);
  const uint16_t* UnicodeJumpTxtLine(const uint16_t* text, int line, int bytes);
  const uint16_t* UnicodeNextLine(const uint16_t* base, const uint16_t* position, int bytes);
  int OutputAscii(const uint16_t* text, int n);

  const char* GetChUnitStrig(int unit, int prefix);
  int Separate(const char* text, char* number, char* unit, size_t size);
  int ScientificNotation(double value, char* out, size_t size);

  void NumKeyboardInit(numkeyboard* pad, int task, int setting);
  // Applies the pad's key: the select knob moves the cursor (0), the select
  // push applies the key under it: editing keys give 0, the keys that end the
  // entry give their code (14 to 21 with the value in `pad->value`, 22 to 24
  // for Max, Min, Default); other keys give -1.
  int NumKeyboardOp(numkeyboard* pad);

  bool TimeOutJudeg(struct timeval* stamp, const struct timeval* now, int seconds, int microseconds);
  int Sleep(int seconds, int microseconds);
};

extern common_subprogram CommonSubProg;

// Unit texts by unit (V, A, W, U, dB) and prefix (micro, milli, none, kilo, mega).
extern const char ChannelUnit[5][5][5];
