// The serial-bus pattern editors (bus_pattern_editor.h).
#include <mutex>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/menu/menu.h"
#include "trigger/bus/bus_pattern_editor.h"
#include "trigger/bus/bus_patterns.h"
#include "trigger/analog/task_trigger.h"

uint8_t CAN_ID[8], CAN_DATA[16], LIN_ID[2], LIN_DATA[16], SPIDataMask[50];
int16_t AdjDecodeI2CDataFlag = 0, AdjDecodeI2CAddrFlag = 0, AdjI2CDataIndex = 0, AdjI2CDataMaskIndex = 0;

namespace {
constexpr int kItemCanFormat = 210, kItemCanBytes = 215, kItemLinParity = 228, kItemLinBytes = 245;
constexpr int kItemSpiWidth = 172, kItemSpiLen = 176;
constexpr int kItemI2cAddrMode = 135, kItemI2cAddr = 136, kItemI2cAddr2 = 137, kItemI2cBytes = 140;
constexpr int kItemI2cData = 141, kItemI2cMask = 142, kItemRs232Data = 122;
constexpr int kCanStdBits = 11, kLinIdNoParity = 6, kByteBits = 8, kSpiMinWidth = 4, kSpiMaxWidth = 32;
constexpr size_t kLabelShown = 6;      // digits before "..."
constexpr size_t kI2cLabelShown = 9;   // characters of bytes before "..."
constexpr int kRs232StepMax = 5;
constexpr uint16_t kViewKey = MENU_KEY_F1 + 3;
constexpr uint16_t kI2cKey = MENU_KEY_F1 + 1;

int Item(int n) { return int(TaskTrigger.Item(n) & 0xFFFF); }

PatternEditor gEditors[] = {
    {PatternKind::kCanId, 211, 213, CANID_bin_data, kCanIdBits, CAN_ID, 8},
    {PatternKind::kCanData, 216, 218, CANDATA_bin_data, kFrameDataBits, CAN_DATA, 16},
    {PatternKind::kLinId, 240, 243, LINID_bin_data, kLinIdBits, LIN_ID, 2},
    {PatternKind::kLinData, 246, 248, LINDATA_bin_data, kFrameDataBits, LIN_DATA, 16},
    {PatternKind::kSpiData, 177, 178, SPI_bin_data, kSpiBits, SPIDataMask, 50},
};

void SetLabel(int item, const std::string& text, uint16_t* buffer, int capacity) {
  if (!TriggerMenu) return;
  Menu::MenuAsciiToUnicode(text.c_str(), buffer, capacity);
  TriggerMenu->ReSetMenuString(nullptr, item, buffer);
}

int Wrap(int v, int max) { return v < 0 ? max : v > max ? 0 : v; }
}  // namespace

int PatternEditor::Width() const {
  switch (kind) {
    case PatternKind::kCanId: return Item(kItemCanFormat) ? kCanIdBits : kCanStdBits;
    case PatternKind::kLinId: return Item(kItemLinParity) == 0 ? kLinIdNoParity : kLinIdBits;
    case PatternKind::kSpiData: return std::clamp(Item(kItemSpiWidth), kSpiMinWidth, kSpiMaxWidth);
    default: return kByteBits;
  }
}

int PatternEditor::Words() const {
  switch (kind) {
    case PatternKind::kCanData: return std::clamp(Item(kItemCanBytes) + 1, 1, 8);
    case PatternKind::kLinData: return std::clamp(Item(kItemLinBytes) + 1, 1, 8);
    case PatternKind::kSpiData: return std::clamp(Item(kItemSpiLen), 1, kSpiBits / Width());
    default: return 1;
  }
}

int PatternEditor::DigitBits(int d) const {
  const int w = Width(), first = w % 4 ? w % 4 : 4;
  return d % DigitsPerWord() == 0 ? first : 4;
}

int PatternEditor::DigitFirstBit(int d) const {
  const int w = Width(), per = DigitsPerWord(), first = w % 4 ? w % 4 : 4;
  const int k = d % per;
  return (d / per) * w + (k == 0 ? 0 : first + (k - 1) * 4);
}

void PatternEditor::HexFromBin() {
  const int n = std::min(Digits(), hexCap);
  for (int d = 0; d < n; ++d) {
    int v = 0;
    bool any = false;
    for (int b = 0; b < DigitBits(d); ++b) {
      const char x = bits[DigitFirstBit(d) + b];
      any = any || x == kBitAny;
      v = v << 1 | (x == 1 ? 1 : 0);
    }
    hex[d] = any ? kHexAny : uint8_t(v);
  }
}

void PatternEditor::BinFromHex() {
  const int n = std::min(Digits(), hexCap);
  for (int d = 0; d < n; ++d) {
    if (hex[d] == kHexAny) continue;
    const int nb = DigitBits(d);
    for (int b = 0; b < nb; ++b) bits[DigitFirstBit(d) + b] = char((hex[d] >> (nb - 1 - b)) & 1);
  }
}

void PatternEditor::Show() {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  HexFromBin();
  std::string text;
  const int n = std::min(Digits(), hexCap), per = DigitsPerWord();
  const bool whole = kind == PatternKind::kLinId;
  for (int d = 0; d < n; ++d) {
    if (kind == PatternKind::kSpiData && d > 0 && d % per == 0) text += ' ';
    if (!whole && text.size() > kLabelShown) {
      text += "...";
      break;
    }
    char c[4];
    std::snprintf(c, sizeof c, "%X", hex[d] & 0xF);
    text += hex[d] == kHexAny ? std::string("$") : std::string(c);
  }
  SetLabel(item, text, label, int(sizeof label / sizeof label[0]));
}

void PatternEditor::Clear() {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  std::memset(bits, 0, size_t(bitCap));
  std::memset(hex, 0, size_t(hexCap));
  hexIndex = binIndex = 0;
}

int PatternEditor::Key(keypara k) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  const uint16_t own = uint16_t(Menu::MenuItemToFx(item));
  if (kind == PatternKind::kSpiData && (TaskTrigger.Attr(kItemSpiLen) & kTrigAttrOff)) return 0;
  if (k.key == own) {
    if (kind == PatternKind::kSpiData && !(TaskTrigger.Attr(item) & kTrigAttrKnob)) {
      TakePageKnob(item);
      return 0;
    }
    TaskTrigger.CloseNumKeyboard();
    if (on) {
      on = 0;
    } else {
      on = 1, view = 0, hexIndex = binIndex = 0;
    }
    return 0;
  }
  if (!on) return 0;
  const int digits = std::min(Digits(), hexCap), nbits = std::min(Bits(), bitCap);
  if (k.key == MENU_KEY_SELECT) {
    if (view) binIndex = int16_t((binIndex + 1) % nbits);
    else hexIndex = int16_t((hexIndex + 1) % digits);
  } else {
    const int step = k.key == MENU_KEY_KNOB_DOWN ? -1 : 1;
    if (view) {
      const int i = std::min<int>(binIndex, nbits - 1);
      bits[i] = char(Wrap(bits[i] + step, kBitAny));
      HexFromBin();
    } else {
      const int d = std::min<int>(hexIndex, digits - 1);
      hex[d] = uint8_t(Wrap(int(hex[d]) + step, (1 << DigitBits(d)) - 1));
      BinFromHex();
    }
  }
  Show();
  return 0;
}

int PatternEditor::SwitchView(keypara k) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  if (k.key == kViewKey) view = int16_t(!view);
  return 0;
}

PatternEditor& BusEditor(PatternKind kind) { return gEditors[int(kind)]; }

void TakePageKnob(int n) {
  const int first = n / kMenuSlots * kMenuSlots;
  for (int i = first; i < first + kMenuSlots; ++i)
    if (i != n) TaskTrigger.SetAttr(i, 0, kTrigAttrKnob);
  TaskTrigger.SetAttr(n, kTrigAttrKnob, 0);
}

void EndAllPatternEdits() {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  for (PatternEditor& e : gEditors) e.End();
  AdjDecodeI2CDataFlag = AdjDecodeI2CAddrFlag = 0;
}

// ---- I2C ----

namespace {
uint16_t gI2cAddrLabel[20], gI2cDataLabel[40], gI2cMaskLabel[40];

int I2cAddressMax() { return Item(kItemI2cAddrMode) ? 0x3FF : 0x7F; }

std::string I2cBytesText(const uint8_t* bytes) {
  const int n = std::clamp(Item(kItemI2cBytes) + 1, 1, kI2cPatternBytes);
  std::string text;
  for (int i = 0; i < n; ++i) {
    if (text.size() >= kI2cLabelShown) {
      text += "...";
      break;
    }
    char c[8];
    std::snprintf(c, sizeof c, "%02x ", bytes[i]);
    text += c;
  }
  return text;
}
}  // namespace

void Decode_I2c_AddrSet_Value(int address) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  I2c_addr_Hex[0] = uint8_t(address >> 8);
  I2c_addr_Hex[1] = uint8_t(address);
}

void Decode_I2C_Addr_show(int address) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  char text[16];
  if (Item(kItemI2cAddrMode)) std::snprintf(text, sizeof text, "0x%03x ", address & 0x3FF);
  else std::snprintf(text, sizeof text, "0x%02x ", address & 0x7F);
  SetLabel(kItemI2cAddr, text, gI2cAddrLabel, int(sizeof gI2cAddrLabel / sizeof gI2cAddrLabel[0]));
}

void Decode_I2C_data_show() {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  SetLabel(kItemI2cData, I2cBytesText(I2cDataHex), gI2cDataLabel, int(sizeof gI2cDataLabel / 2));
}

void Decode_I2C_dataMask_show() {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  SetLabel(kItemI2cMask, I2cBytesText(I2cDataMask), gI2cMaskLabel, int(sizeof gI2cMaskLabel / 2));
}

void ShowAllPatternTexts() {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  for (PatternEditor& e : gEditors) e.Show();
  Decode_I2C_Addr_show(Item(kItemI2cAddr));
  Decode_I2C_data_show();
  Decode_I2C_dataMask_show();
}

int Decode_I2C_AddrSet_AddrHex(keypara k) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  if (k.key == kI2cKey) {
    Decode_I2C_Addr_show(Item(kItemI2cAddr));
    TaskTrigger.SetAttr(kItemI2cAddr, kTrigAttrKnob, 0);
    TaskTrigger.SetAttr(kItemI2cAddr2, 0, kTrigAttrKnob);
    return 0;
  }
  if ((k.key != MENU_KEY_KNOB_UP && k.key != MENU_KEY_KNOB_DOWN) || !(TaskTrigger.Attr(kItemI2cAddr) & kTrigAttrKnob))
    return 0;
  const int a = Wrap(Item(kItemI2cAddr) + (k.key == MENU_KEY_KNOB_UP ? 1 : -1), I2cAddressMax());
  TaskTrigger.SetItem(kItemI2cAddr, uint64_t(a));
  Decode_I2c_AddrSet_Value(a);
  Decode_I2C_Addr_show(a);
  return 0;
}

int Decode_I2C_DataSet_DataHex(keypara k) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  const int n = std::clamp(Item(kItemI2cBytes) + 1, 1, kI2cPatternBytes);
  if (k.key == kI2cKey) {
    if (!(TaskTrigger.Attr(kItemI2cData) & kTrigAttrKnob)) TaskTrigger.SetAttr(kItemI2cData, kTrigAttrKnob, 0);
    else AdjDecodeI2CDataFlag = int16_t(!AdjDecodeI2CDataFlag);
    return 0;
  }
  if (!AdjDecodeI2CDataFlag && n > 1) return 0;
  if (k.key == MENU_KEY_SELECT) {
    AdjI2CDataIndex = int16_t((AdjI2CDataIndex + 1) % n);
    return 0;
  }
  const int i = std::min<int>(AdjI2CDataIndex, n - 1);
  I2cDataHex[i] = uint8_t(Wrap(I2cDataHex[i] + (k.key == MENU_KEY_KNOB_DOWN ? -1 : 1), 0xFF));
  Decode_I2C_data_show();
  return 0;
}

int Decode_RS232Data(keypara k) {
  if (TaskTrigger.Attr(kItemRs232Data) & kTrigAttrOff) return 0;
  if (k.key != MENU_KEY_KNOB_UP && k.key != MENU_KEY_KNOB_DOWN) return 0;
  const int step = std::clamp<int>(k.step > 0 ? k.step : 1, 1, kRs232StepMax);
  const int v = Item(kItemRs232Data) + (k.key == MENU_KEY_KNOB_UP ? step : -step);
  TaskTrigger.SetItem(kItemRs232Data, uint64_t(v > 0xFF ? 0 : v < 0 ? 0xFF : v));
  return 0;
}

void Decode_SPI_dataSet(const char* digits, int count) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  PatternEditor& e = BusEditor(PatternKind::kSpiData);
  const int n = std::min({count, e.Digits(), e.hexCap});
  for (int i = 0; i < n; ++i) e.hex[i] = uint8_t(digits[i] & 0xF);
  e.BinFromHex();
}
