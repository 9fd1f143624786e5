// The pattern-editor pop-up: while a bus pattern is edited, the pattern twice
// in a grey box over the traces, as bits on the left and as hexadecimal
// digits on the right. The edited bit or digit of the field the knob works
// on blinks.
#include <sys/time.h>

#include <mutex>
#include <algorithm>
#include <vector>

#include "core/common/common_subprogram.h"
#include "core/state/system_resource.h"
#include "trigger/bus/bus_pattern_editor.h"
#include "trigger/bus/bus_patterns.h"
#include "trigger/analog/task_trigger.h"
#include "ui/draw/font.h"
#include "ui/screen/qel_draw.h"

int16_t TwinkleFlag = 0;
struct timeval LastTime = {0, 0};

namespace {
constexpr int kTop = 100, kLeft = 40, kWidth = 570, kHeight = 200, kDivider = 473, kFont = 5;
constexpr int kBinaryLabelCol = 43, kHexLabelCol = 476;
constexpr int kNotice1Row = 252, kNotice2Row = 274;
constexpr int kFieldRow = 130, kLinePitch = 22;
constexpr int kBitCol = 48, kBitPitch = 10, kBitGap = 6;
constexpr int kHexCol = 480, kHexPitch = 9, kHexGap = 4;
constexpr int kLineBits = 32;  // bits of one line, whole words
constexpr int kBlinkUs = 200000;
constexpr uint32_t kBox = 0x616161, kFrame = 0xFFFFFF, kText = 0xC8C8AF, kBlink = 0xC70000;
constexpr int kItemI2cAddrMode = 135, kItemI2cAddr = 136, kItemI2cBytes = 140;

// A pattern as the pop-up shows it: words of `width` bits and their digits.
struct Shown {
  std::vector<char> bits;      // 0, 1 or kBitAny
  std::vector<uint8_t> hex;    // 0-15 or kHexAny
  int width = 8, digitsPerWord = 2;
  int view = 0;                // the field the knob works on: 0 hex, 1 bits
  int bitIndex = 0, hexIndex = 0;
};

Shown FromEditor(const PatternEditor& e) {
  Shown s;
  const int nbits = std::min(e.Bits(), e.bitCap), digits = std::min(e.Digits(), e.hexCap);
  s.bits.assign(e.bits, e.bits + nbits);
  s.hex.assign(e.hex, e.hex + digits);
  s.width = e.Width(), s.digitsPerWord = e.DigitsPerWord();
  s.view = e.view, s.bitIndex = e.binIndex, s.hexIndex = e.hexIndex;
  return s;
}

// An I2C pattern: `count` bytes, or the 7- or 10-bit address; edited by digits.
Shown FromBytes(const uint8_t* bytes, int count, int width, int hexIndex) {
  Shown s;
  s.width = width, s.digitsPerWord = (width + 3) / 4, s.hexIndex = hexIndex;
  for (int i = 0; i < count; ++i) {
    const uint32_t v = bytes[i];
    for (int b = width - 1; b >= 0; --b) s.bits.push_back(char(v >> b & 1));
    for (int d = s.digitsPerWord - 1; d >= 0; --d) s.hex.push_back(uint8_t(v >> (4 * d) & 0xF));
  }
  return s;
}

bool Open(Shown* s) {
  for (int k = 0; k < int(PatternKind::kCount); ++k) {
    const PatternEditor& e = BusEditor(PatternKind(k));
    if (e.on) return *s = FromEditor(e), true;
  }
  if (AdjDecodeI2CDataFlag) {
    const int n = std::clamp(int(TaskTrigger.Item(kItemI2cBytes) & 0xFFFF) + 1, 1, kI2cPatternBytes);
    return *s = FromBytes(I2cDataHex, n, 8, AdjI2CDataIndex * 2), true;
  }
  if (AdjDecodeI2CAddrFlag) {
    const bool tenBit = TaskTrigger.Item(kItemI2cAddrMode) & 0xFFFF;
    const uint8_t a[1] = {uint8_t(TaskTrigger.Item(kItemI2cAddr) & 0x7F)};
    if (!tenBit) return *s = FromBytes(a, 1, 7, 0), true;
    Shown t;
    const int v = int(TaskTrigger.Item(kItemI2cAddr) & 0x3FF);
    t.width = 10, t.digitsPerWord = 3;
    for (int b = 9; b >= 0; --b) t.bits.push_back(char(v >> b & 1));
    for (int d = 2; d >= 0; --d) t.hex.push_back(uint8_t(v >> (4 * d) & 0xF));
    return *s = t, true;
  }
  return false;
}

void Text(qel_draw* d, int row, int col, const char* text, uint32_t colour) {
  d->DrawString(row, col, text, int(colour), DRAW_CURRENT);
}

// Words side by side, as many whole words as fit in a line of 32 bits.
int WordsPerLine(int width) { return std::max(1, kLineBits / std::max(1, width)); }
}  // namespace

void Draw_DATA_Back() {
  qel_draw* d = TaskTrigger.Sys()->draw;
  d->FillRect(kTop, kLeft, kWidth, kHeight, int(kBox), DRAW_CURRENT);
  d->DrawRect(kTop, kLeft, kWidth, kHeight, int(kFrame), DRAW_CURRENT);
  d->DrawLine(kTop, kDivider, kTop + kHeight, kDivider, int(kFrame), DRAW_CURRENT);
  if (Font* f = d->GetUserFontPointer()) f->SetCurrFont(kFont);
  Text(d, kTop, kBinaryLabelCol, "Binary ", kText);
  Text(d, kTop, kHexLabelCol, "Hex ", kText);
  Text(d, kNotice1Row, kBinaryLabelCol, "Notice:Use F3 to save data set and close", kText);
  Text(d, kNotice2Row, kBinaryLabelCol, "Use F4 to select Adj Bin or Hex ", kText);
}

bool PatternCell(int field, int index, int width, int digitsPerWord, int* row, int* col) {
  const int perLine = WordsPerLine(width), perWord = field ? width : digitsPerWord;
  if (index < 0 || perWord <= 0) return false;
  const int word = index / perWord, within = index % perWord;
  *row = kFieldRow + word / perLine * kLinePitch;
  const int slot = word % perLine;
  *col = field ? kBitCol + (slot * width + within) * kBitPitch + slot * kBitGap
               : kHexCol + (slot * digitsPerWord + within) * kHexPitch + slot * kHexGap;
  return true;
}

void DrawPatternPopup() {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  Shown s;
  if (!Open(&s)) return;
  if (TaskTrigger.Sys()->common && TaskTrigger.Sys()->common->TimeOutJudeg(&LastTime, nullptr, 0, kBlinkUs))
    TwinkleFlag = int16_t(!TwinkleFlag);
  Draw_DATA_Back();
  qel_draw* d = TaskTrigger.Sys()->draw;
  auto put = [&](int field, int i, const char* text) {
    int row = 0, col = 0;
    if (!PatternCell(field, i, s.width, s.digitsPerWord, &row, &col)) return;
    const bool edited = TwinkleFlag && s.view == field && i == (field ? s.bitIndex : s.hexIndex);
    Text(d, row, col, text, edited ? kBlink : kText);
  };
  for (int i = 0; i < int(s.bits.size()); ++i) {
    const char c[2] = {s.bits[size_t(i)] == kBitAny ? 'X' : char('0' + s.bits[size_t(i)]), 0};
    put(1, i, c);
  }
  for (int i = 0; i < int(s.hex.size()); ++i) {
    const uint8_t v = s.hex[size_t(i)];
    const char c[2] = {v == kHexAny ? '$' : "0123456789ABCDEF"[v & 0xF], 0};
    put(0, i, c);
  }
}
