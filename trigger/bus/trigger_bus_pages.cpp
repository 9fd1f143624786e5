// The serial-bus trigger pages (RS232, I2C, SPI, CAN, LIN; pages 22-50):
// their items, attributes and handlers.
#include <mutex>
#include <algorithm>
#include <cmath>

#include "core/board/eeprom_map.h"
#include "core/menu/menu_def.h"
#include "core/messages/msg.h"
#include "core/state/system_resource.h"
#include "trigger/bus/bus_pattern_editor.h"
#include "trigger/bus/bus_patterns.h"
#include "trigger/bus/trigger_bus.h"

namespace {
// Item attributes (the kit's combinations; `kTrigAttrOff` marks an item
// switched off, `kTrigAttrFrozen` one the handler keeps as it is).
constexpr uint32_t kChoice = kMenuChoice;
constexpr uint32_t kJump = kMenuJump;
constexpr uint32_t kStepItem = kMenuAction;  // "Next", "NEXT", "Back"
constexpr uint32_t kJumpOff = kMenuJump | kTrigAttrOff;
constexpr uint32_t kUserBaud = kMenuChoice | MENU_ATTR_FOCUS | MENU_ATTR_KEYPAD | kTrigAttrOff | MENU_FMT_INT;
constexpr uint32_t kRs232Byte = kMenuChoice | MENU_ATTR_FOCUS | MENU_FMT_HEX;
constexpr uint32_t kPaired = kMenuChoice | MENU_ATTR_FOCUS_FIRST;
constexpr uint32_t kPattern = kMenuChoice | MENU_ATTR_FOCUS | MENU_ATTR_FIRST_TEXT;
constexpr uint32_t kI2cPattern = kPattern | MENU_ATTR_FOCUS_FIRST;
constexpr uint32_t kFrozenChoice = kMenuChoice | kTrigAttrFrozen;
constexpr uint32_t kNumber = kMenuChoice | MENU_ATTR_FOCUS | MENU_FMT_INT;
constexpr uint32_t kIdle = kMenuChoice | MENU_ATTR_FOCUS | MENU_ATTR_FOCUS_FIRST | MENU_ATTR_KEYPAD | MENU_FMT_TIME;
constexpr uint32_t kViewSwitch = kTrigAttrOff;
constexpr uint32_t kLinLength = kMenuChoice | kTrigAttrOff;
static_assert(kJumpOff == 0x00000109 && kUserBaud == 0x0400105E && kRs232Byte == 0x04002016 &&
                  kPaired == 0x04000026 && kPattern == 0x04000416 && kI2cPattern == 0x04000436 &&
                  kFrozenChoice == 0x04000086 && kNumber == 0x04001016 && kIdle == 0x04008076 &&
                  kViewSwitch == 0x00000008 && kLinLength == 0x0400000E,
              "the bus items' attributes");

constexpr MenuStore kOwn = MenuStore::kNotStored;

constexpr int kSpiIdleMin = 20, kSpiIdleMax = 250000000;
constexpr int kSpiMinWidth = 4, kSpiMaxWidth = 32;
constexpr int kRs232MaxBaud = 25000000, kCanMaxBaud = 2000000, kLinMaxBaud = 100000;

uint16_t Fx(int item) { return uint16_t(Menu::MenuItemToFx(item)); }
int Val(int n) { return int(TaskTrigger.Item(n) & 0xFFFF); }
int Step(keypara k, int n) { return TriggerMenu ? TriggerMenu->AdjMenuItemPara(k, n) : -1; }
int ShowPage(int page) { return TriggerMenu ? TriggerMenu->SetCurrPage(page * kMenuSlots) : -1; }
bool Off(int n) { return TaskTrigger.Attr(n) & kTrigAttrOff; }
bool Frozen(int n) { return TaskTrigger.Attr(n) & kTrigAttrFrozen; }
void Switch(int n, bool on) {
  const uint32_t off = kTrigAttrOff;
  TaskTrigger.SetAttr(n, on ? 0u : off, on ? off : 0u);
}

int ToCommon() {
  if (!TriggerMenu) return -1;
  TriggerMenu->SaveCurrPage();
  return TriggerMenu->SetCurrPage(kTiMode);
}

// Two sources on one page: the first press moves the knob, the next steps.
int Paired(keypara k, int n, int partner) {
  if (TaskTrigger.Attr(n) & kTrigAttrKnob) Step(k, n);
  TaskTrigger.SetAttr(n, kTrigAttrKnob, 0);
  TaskTrigger.SetAttr(partner, 0, kTrigAttrKnob);
  return 0;
}

// The baud choice: the user choice (past the table) switches the user baud on.
int BaudChoice(keypara k, int n, int user, int tableSize) {
  Step(k, n);
  const bool isUser = Val(n) >= tableSize;
  Switch(user, isUser);
  if (!isUser) TaskTrigger.CloseNumKeyboard();
  return 0;
}

// The user baud: its soft key toggles the keypad, the knob steps it; [1, max].
int UserBaud(keypara k, int n, int choice, int tableSize, int max) {
  if (Val(choice) < tableSize) return 0;
  int64_t v = int64_t(TaskTrigger.Item(n) & 0x7FFFFFFF);
  if (k.key == Fx(n)) {
    if (TaskTrigger.IsNumKeyboardEnable()) {
      TaskTrigger.CloseNumKeyboard();
    } else {
      if (Val(kTiEventTable) == 1) TaskTrigger.SetItem(kTiEventTable, 0);
      TaskTrigger.OpenNumKeyboard(short(n));
    }
    return 0;
  }
  if (TaskTrigger.IsNumKeyboardEnable()) {
    TaskTrigger.NumKeyboardOp(k);
    if (TaskTrigger.IsNumKeyboardEnable()) return 0;
    const double x = TaskTrigger.GetNumKeyboardVal();
    v = x >= double(max) ? max : x < 1 ? 1 : int64_t(x);
  } else {
    const int step = k.step > 0 ? k.step : 1;
    if (k.key == MENU_KEY_KNOB_UP) v += step;
    else if (k.key == MENU_KEY_KNOB_DOWN) v -= step;
  }
  TaskTrigger.SetItem(n, uint64_t(std::clamp<int64_t>(v, 1, max)));
  return 0;
}

// A bus's When item: step it, then switch its pattern items on or off.
struct WhenRule {
  int item;
  uint32_t onFor;  // bit w: on for When w
};
int When(keypara k, int n, std::initializer_list<WhenRule> rules) {
  Step(k, n);
  const int w = Val(n);
  for (const WhenRule& r : rules) Switch(r.item, w >= 0 && w < 32 && (r.onFor >> w & 1));
  return 0;
}

PatternEditor& Ed(PatternKind kind) { return BusEditor(kind); }
}  // namespace

// ---- RS232 ----
int Decode_RS232Source(keypara k) { return Step(k, 111); }
int Decode_RS232BaudRate(keypara k) { return BaudChoice(k, 112, 113, kRs232Bauds); }
int Decode_RS232SpecialBPS(keypara k) { return UserBaud(k, 113, 112, kRs232Bauds, kRs232MaxBaud); }
int Decode_RS232Next1(keypara) { return ShowPage(23); }
int Decode_RS232Polarity(keypara k) { return Step(k, 115); }
int Decode_RS232DataWide(keypara k) { return Step(k, 116); }
int Decode_RS232BitSeq(keypara k) { return Step(k, 117); }
int Decode_RS232StopBit(keypara k) { return Step(k, 118); }
int Decode_RS232Next2(keypara) { return ShowPage(24); }
int Decode_RS232Parity(keypara k) { return Step(k, 120); }
int Decode_RS232When(keypara k) {
  When(k, 121, {{122, 1u << 3}});
  const bool data = Val(121) == 3;
  const uint32_t knob = kTrigAttrKnob;
  TaskTrigger.SetAttr(122, data ? knob : 0u, data ? 0u : knob);
  return 0;
}
int Decode_RS232CommSet(keypara) { return ToCommon(); }
int Decode_RS232Back(keypara) { return ShowPage(22); }

// ---- I2C ----
int Decode_I2CScl(keypara k) { return Paired(k, 126, 127); }
int Decode_I2CSda(keypara k) { return Paired(k, 127, 126); }
int Decode_I2CDirection(keypara k) { return Step(k, 128); }
int Decode_I2CNext1(keypara) { return ShowPage(26); }
int Decode_I2CWhen(keypara k) { return When(k, 130, {{131, 1u << 4 | 1u << 6}, {132, 1u << 5 | 1u << 6}}); }
int Decode_I2CAddrSet(keypara) { return Off(131) ? 0 : ShowPage(27); }
int Decode_I2CDataSet(keypara) { return Off(132) ? 0 : ShowPage(28); }
int Decode_I2CCommSet(keypara) { return ToCommon(); }
int Decode_I2CBack(keypara) { return ShowPage(25); }
int Decode_I2C_AddrSet_Mode(keypara k) {
  Step(k, 135);
  Decode_I2C_Addr_show(Val(136));
  return 0;
}
int Decode_I2C_AddrSet_Back(keypara) {
  AdjDecodeI2CAddrFlag = 0;
  return ShowPage(26);
}
int Decode_I2C_DataSet_Bytes(keypara k) {
  Step(k, 140);
  Decode_I2C_data_show();
  Decode_I2C_dataMask_show();
  return 0;
}
int Decode_I2C_DataSet_Back(keypara) {
  AdjDecodeI2CDataFlag = 0;
  return ShowPage(26);
}

// ---- SPI ----
int Decode_SPIScl(keypara k) { return Paired(k, 161, 163); }
int Decode_SPISs(keypara k) { return Step(k, 162); }
int Decode_SPIMOSI(keypara k) { return Paired(k, 163, 161); }
int Decode_SPINext1(keypara) { return ShowPage(33); }
int Decode_SPIMISO(keypara k) { return Step(k, 165); }
int Decode_SPI_SS_POLARITY(keypara k) { return Step(k, 166); }
int Decode_SPI_SCL_EDGE(keypara k) { return Step(k, 167); }
int Decode_SPI_MOSI_POLARITY(keypara k) { return Step(k, 168); }
int Decode_SPINext2(keypara) { return ShowPage(34); }
int Decode_SPI_MISO_POLARITY(keypara k) { return Step(k, 170); }
int Decode_SPI_Bitseq(keypara k) { return Step(k, 171); }
int Decode_SPI_BitWide(keypara k) {
  if (k.key != MENU_KEY_KNOB_UP && k.key != MENU_KEY_KNOB_DOWN) return 0;
  const int w = std::clamp(Val(172) + (k.key == MENU_KEY_KNOB_UP ? 1 : -1), kSpiMinWidth, kSpiMaxWidth);
  TaskTrigger.SetItem(172, uint64_t(w));
  TaskTrigger.SetItem(176, 1);
  Ed(PatternKind::kSpiData).Clear();
  Ed(PatternKind::kSpiData).Show();
  return 0;
}
int Decode_SPI_When(keypara k) { return When(k, 173, {{176, 1u << 1}, {177, 1u << 1}}); }
int Decode_SPINext3(keypara) { return ShowPage(35); }
int Decode_SPI_IdleTime(keypara k) {
  PatternEditor& e = Ed(PatternKind::kSpiData);
  if (k.key == Fx(175)) {
    e.End();
    if (TaskTrigger.Attr(175) & kTrigAttrKnob) {
      if (TaskTrigger.IsNumKeyboardEnable()) TaskTrigger.CloseNumKeyboard();
      else TaskTrigger.OpenNumKeyboard(175);
    } else {
      TakePageKnob(175);
    }
    return 0;
  }
  if (TaskTrigger.IsNumKeyboardEnable()) {
    TaskTrigger.NumKeyboardOp(k);
    if (TaskTrigger.IsNumKeyboardEnable()) return 0;
    const double v = std::floor(TaskTrigger.GetNumKeyboardVal() + 0.5);
    TaskTrigger.SetItem(175, v <= 0 ? 0 : uint64_t(std::min(v, 4e18)));
  }
  if (!(TaskTrigger.Attr(175) & kTrigAttrKnob) || !TriggerMenu) return 0;
  uint64_t t = TriggerMenu->AdjMenuTimePara(nullptr, k, 175);
  if (t < uint64_t(kSpiIdleMin) || t >= uint64_t(kSpiIdleMax)) {
    t = t < uint64_t(kSpiIdleMin) ? kSpiIdleMin : kSpiIdleMax;
    TaskTrigger.Sys()->message->SetMessage(kTrigMessageTimeLimit);
  }
  TaskTrigger.SetItem(175, t);
  return 0;
}
int Decode_SPI_Data_len(keypara k) {
  if (Off(176)) return 0;
  if (k.key == Fx(176)) {
    Ed(PatternKind::kSpiData).End();
    TaskTrigger.CloseNumKeyboard();
    TakePageKnob(176);
    return 0;
  }
  if (k.key != MENU_KEY_KNOB_UP && k.key != MENU_KEY_KNOB_DOWN) return 0;
  const int max = kSpiBits / std::clamp(Val(172), kSpiMinWidth, kSpiMaxWidth);
  TaskTrigger.SetItem(176, uint64_t(std::clamp(Val(176) + (k.key == MENU_KEY_KNOB_UP ? 1 : -1), 1, max)));
  Ed(PatternKind::kSpiData).Show();
  return 0;
}
int Decode_SPI_DATA(keypara k) { return Ed(PatternKind::kSpiData).Key(k); }
int Decode_SPI_Adj_HexOrBin(keypara k) { return Ed(PatternKind::kSpiData).SwitchView(k); }
int Decode_SPINext4(keypara) {
  Ed(PatternKind::kSpiData).End();
  return ShowPage(36);
}
int Decode_SPICommSet(keypara) { return ToCommon(); }
int Decode_SPIBack(keypara) {
  Ed(PatternKind::kSpiData).End();
  return ShowPage(32);
}

// ---- CAN ----
int Decode_CANSource(keypara k) { return Step(k, 196); }
int Decode_CAN_Singal_type(keypara k) { return Step(k, 197); }
int Decode_CANCommSet(keypara) { return Frozen(198) ? 0 : ToCommon(); }
int Decode_CANNext1(keypara) { return Frozen(199) ? 0 : ShowPage(40); }
int Decode_CANWhen(keypara k) { return When(k, 200, {{201, 1u << 5 | 1u << 7}, {202, 1u << 6 | 1u << 7}}); }
int Decode_CANIDSet(keypara) { return Off(201) ? 0 : ShowPage(42); }
int Decode_CANDataSet(keypara) { return Off(202) ? 0 : ShowPage(43); }
int Decode_CANNext2(keypara) { return ShowPage(41); }
int Decode_CANBSP(keypara k) { return BaudChoice(k, 205, 206, kCanBauds); }
int Decode_CANSpecialBPS(keypara k) { return UserBaud(k, 206, 205, kCanBauds, kCanMaxBaud); }
int Decode_CANBack(keypara) { return ShowPage(39); }
int Decode_CANID_Format(keypara k) {
  Step(k, 210);
  Ed(PatternKind::kCanId).Show();
  return 0;
}
int Decode_CANID_SET(keypara k) { return Ed(PatternKind::kCanId).Key(k); }
int Decode_CANID_Direction(keypara k) { return Step(k, 212); }
int Decode_CANID_Adj_HexOrBin(keypara k) { return Ed(PatternKind::kCanId).SwitchView(k); }
int Decode_CANIDBack(keypara) {
  Ed(PatternKind::kCanId).End();
  Ed(PatternKind::kCanData).End();
  return ShowPage(40);
}
int Decode_CANData_Len(keypara k) {
  Ed(PatternKind::kCanData).End();
  Step(k, 215);
  Ed(PatternKind::kCanData).Show();
  return 0;
}
int Decode_CANDATA_SET(keypara k) { return Ed(PatternKind::kCanData).Key(k); }
int Decode_CANDATA_Adj_HexOrBin(keypara k) { return Ed(PatternKind::kCanData).SwitchView(k); }

// ---- LIN ----
int Decode_LINSource(keypara k) { return Step(k, 221); }
int Decode_LIN_Polariyt_type(keypara k) { return Step(k, 222); }
int Decode_LINCommSet(keypara) { return Frozen(223) ? 0 : ToCommon(); }
int Decode_LINNext1(keypara) { return Frozen(224) ? 0 : ShowPage(45); }
int Decode_LIN_Version(keypara k) { return Step(k, 225); }
int Decode_LINBSP(keypara k) { return BaudChoice(k, 226, 227, kLinBauds); }
int Decode_LINSpecialBPS(keypara k) { return UserBaud(k, 227, 226, kLinBauds, kLinMaxBaud); }
int Decode_LIN_ID_PARITY(keypara k) {
  Step(k, 228);
  Ed(PatternKind::kLinId).Show();
  return 0;
}
int Decode_LINNext2(keypara) { return ShowPage(46); }
int Decode_LINWhen(keypara k) {
  return When(k, 230, {{231, 1u << 1 | 1u << 3}, {232, 1u << 2 | 1u << 3}, {233, 1u << 6}});
}
int Decode_LINIDSet(keypara) { return Off(231) ? 0 : ShowPage(48); }
int Decode_LINDataSet(keypara) { return Off(232) ? 0 : ShowPage(49); }
int Decode_LINErrorSet(keypara) { return Off(233) ? 0 : ShowPage(50); }
int Decode_LINNext3(keypara) { return ShowPage(47); }
int Decode_LIN_DATALEN_SET(keypara k) {
  Step(k, 235);
  Switch(236, Val(235) == 1);
  return 0;
}
int Decode_LIN_DATALEN(keypara k) { return Off(236) ? 0 : Step(k, 236); }
int Decode_LINBACK(keypara) { return ShowPage(44); }
int Decode_LINID_SET(keypara k) { return Ed(PatternKind::kLinId).Key(k); }
int Decode_LINID_Adj_HexOrBin(keypara k) { return Ed(PatternKind::kLinId).SwitchView(k); }
int Decode_LINIDSetBack(keypara) {
  Ed(PatternKind::kLinId).End();
  Ed(PatternKind::kLinData).End();
  return ShowPage(46);
}
int Decode_LINData_Len(keypara k) {
  Ed(PatternKind::kLinData).End();
  Step(k, 245);
  Ed(PatternKind::kLinData).Show();
  return 0;
}
int Decode_LINDATA_SET(keypara k) { return Ed(PatternKind::kLinData).Key(k); }
int Decode_LINDATA_Adj_HexOrBin(keypara k) { return Ed(PatternKind::kLinData).SwitchView(k); }
int Decode_LINError_Set(keypara k) { return Step(k, 250); }

namespace {
// None of them is kept in the EEPROM.
const MenuItemDef kBusSlots[] = {
    {111, "Source", kChoice, 2, Decode_RS232Source, kMenuUnranged, kOwn},
    {112, "BaudRate", kChoice, kRs232Bauds + 1, Decode_RS232BaudRate, kMenuUnranged, kOwn},
    {113, "SpecialBPS", kUserBaud, 1, Decode_RS232SpecialBPS, kMenuUnranged, kOwn},
    {114, "Next", kStepItem, 1, Decode_RS232Next1, kMenuUnranged, kOwn},
    {115, "Polarity", kChoice, 2, Decode_RS232Polarity, kMenuUnranged, kOwn},
    {116, "DataWide", kChoice, 4, Decode_RS232DataWide, kMenuUnranged, kOwn},
    {117, "BitSeq", kChoice, 2, Decode_RS232BitSeq, kMenuUnranged, kOwn},
    {118, "StopBit", kChoice, 2, Decode_RS232StopBit, kMenuUnranged, kOwn},
    {119, "Next", kStepItem, 1, Decode_RS232Next2, kMenuUnranged, kOwn},
    {120, "Parity", kChoice, 3, Decode_RS232Parity, kMenuUnranged, kOwn},
    {121, "When", kChoice, 4, Decode_RS232When, kMenuUnranged, kOwn},
    {122, "Data(Hex)", kRs232Byte, 1, Decode_RS232Data, kMenuUnranged, kOwn},
    {123, "CommonSet", kJump, 1, Decode_RS232CommSet, kMenuUnranged, kOwn},
    {124, "Back", kStepItem, 1, Decode_RS232Back, kMenuUnranged, kOwn},
    {126, "SCL", kPaired, 2, Decode_I2CScl, kMenuUnranged, kOwn},
    {127, "SDA", kChoice, 2, Decode_I2CSda, kMenuUnranged, kOwn},
    {128, "DIRECTION", kChoice, 3, Decode_I2CDirection, kMenuUnranged, kOwn},
    {129, "NEXT", kStepItem, 1, Decode_I2CNext1, kMenuUnranged, kOwn},
    {130, "When", kChoice, 7, Decode_I2CWhen, kMenuUnranged, kOwn},
    {131, "AddrSet", kJump, 1, Decode_I2CAddrSet, kMenuUnranged, kOwn},
    {132, "DataSet", kJump, 1, Decode_I2CDataSet, kMenuUnranged, kOwn},
    {133, "CommonSet", kJump, 1, Decode_I2CCommSet, kMenuUnranged, kOwn},
    {134, "Back", kStepItem, 1, Decode_I2CBack, kMenuUnranged, kOwn},
    {135, "Addr Mode", kChoice, 2, Decode_I2C_AddrSet_Mode, kMenuUnranged, kOwn},
    {136, "Addr Hex", kI2cPattern, 1, Decode_I2C_AddrSet_AddrHex, kMenuUnranged, kOwn},
    {139, "Back", kStepItem, 1, Decode_I2C_AddrSet_Back, kMenuUnranged, kOwn},
    {140, "Data Bytes", kChoice, 5, Decode_I2C_DataSet_Bytes, kMenuUnranged, kOwn},
    {141, "Data Hex", kI2cPattern, 1, Decode_I2C_DataSet_DataHex, kMenuUnranged, kOwn},
    {144, "Back", kStepItem, 1, Decode_I2C_DataSet_Back, kMenuUnranged, kOwn},
    {161, "SCLK", kPaired, 2, Decode_SPIScl, kMenuUnranged, kOwn},
    {162, "SS", kFrozenChoice, 2, Decode_SPISs, kMenuUnranged, kOwn},
    {163, "MOSI", kChoice, 2, Decode_SPIMOSI, kMenuUnranged, kOwn},
    {164, "NEXT", kStepItem, 1, Decode_SPINext1, kMenuUnranged, kOwn},
    {165, "MISO", kChoice, 2, Decode_SPIMISO, kMenuUnranged, kOwn},
    {166, "SS Polarity", kFrozenChoice, 2, Decode_SPI_SS_POLARITY, kMenuUnranged, kOwn},
    {167, "SCKL Edge", kChoice, 2, Decode_SPI_SCL_EDGE, kMenuUnranged, kOwn},
    {168, "MOSI Polarity", kChoice, 2, Decode_SPI_MOSI_POLARITY, kMenuUnranged, kOwn},
    {169, "NEXT", kStepItem, 1, Decode_SPINext2, kMenuUnranged, kOwn},
    {170, "MISO Polarity", kChoice, 2, Decode_SPI_MISO_POLARITY, kMenuUnranged, kOwn},
    {171, "BitSeq", kChoice, 2, Decode_SPI_Bitseq, kMenuUnranged, kOwn},
    {172, "BitWide", kNumber, 1, Decode_SPI_BitWide, kMenuUnranged, kOwn},
    {173, "When", kChoice, 2, Decode_SPI_When, kMenuUnranged, kOwn},
    {174, "NEXT", kStepItem, 1, Decode_SPINext3, kMenuUnranged, kOwn},
    {175, "IdleTime", kIdle, 1, Decode_SPI_IdleTime, kMenuUnranged, kOwn},
    {176, "Data_len", kNumber, 1, Decode_SPI_Data_len, kMenuUnranged, kOwn},
    {177, "Data", kPattern, 1, Decode_SPI_DATA, kMenuUnranged, kOwn},
    {178, "", kViewSwitch, 1, Decode_SPI_Adj_HexOrBin, kMenuUnranged, kOwn},
    {179, "NEXT", kStepItem, 1, Decode_SPINext4, kMenuUnranged, kOwn},
    {180, "CommonSet", kJump, 1, Decode_SPICommSet, kMenuUnranged, kOwn},
    {184, "Back", kStepItem, 1, Decode_SPIBack, kMenuUnranged, kOwn},
    {196, "Source", kChoice, 2, Decode_CANSource, kMenuUnranged, kOwn},
    {197, "Source_type", kChoice, 2, Decode_CAN_Singal_type, kMenuUnranged, kOwn},
    {198, "CommonSet", kJump, 1, Decode_CANCommSet, kMenuUnranged, kOwn},
    {199, "Next", kStepItem, 1, Decode_CANNext1, kMenuUnranged, kOwn},
    {200, "When", kChoice, 11, Decode_CANWhen, kMenuUnranged, kOwn},
    {201, "IDSet", kJumpOff, 1, Decode_CANIDSet, kMenuUnranged, kOwn},
    {202, "DataSet", kJumpOff, 1, Decode_CANDataSet, kMenuUnranged, kOwn},
    {204, "Next", kStepItem, 1, Decode_CANNext2, kMenuUnranged, kOwn},
    {205, "BaudRate", kChoice, kCanBauds + 1, Decode_CANBSP, kMenuUnranged, kOwn},
    {206, "SpecialBPS", kUserBaud, 1, Decode_CANSpecialBPS, kMenuUnranged, kOwn},
    {209, "Back", kStepItem, 1, Decode_CANBack, kMenuUnranged, kOwn},
    {210, "Format", kChoice, 2, Decode_CANID_Format, kMenuUnranged, kOwn},
    {211, "ID", kPattern, 1, Decode_CANID_SET, kMenuUnranged, kOwn},
    {212, "Direction", kChoice, 3, Decode_CANID_Direction, kMenuUnranged, kOwn},
    {213, "", kViewSwitch, 1, Decode_CANID_Adj_HexOrBin, kMenuUnranged, kOwn},
    {214, "Back", kStepItem, 1, Decode_CANIDBack, kMenuUnranged, kOwn},
    {215, "Bytes", kChoice, 8, Decode_CANData_Len, kMenuUnranged, kOwn},
    {216, "Data", kPattern, 1, Decode_CANDATA_SET, kMenuUnranged, kOwn},
    {218, "", kViewSwitch, 1, Decode_CANDATA_Adj_HexOrBin, kMenuUnranged, kOwn},
    {219, "Back", kStepItem, 1, Decode_CANIDBack, kMenuUnranged, kOwn},
    {221, "Source", kChoice, 2, Decode_LINSource, kMenuUnranged, kOwn},
    {222, "polarity_type", kChoice, 2, Decode_LIN_Polariyt_type, kMenuUnranged, kOwn},
    {223, "CommonSet", kJump, 1, Decode_LINCommSet, kMenuUnranged, kOwn},
    {224, "Next", kStepItem, 1, Decode_LINNext1, kMenuUnranged, kOwn},
    {225, "Version", kChoice, 3, Decode_LIN_Version, kMenuUnranged, kOwn},
    {226, "BaudRate", kChoice, kLinBauds + 1, Decode_LINBSP, kMenuUnranged, kOwn},
    {227, "SpecialBPS", kUserBaud, 1, Decode_LINSpecialBPS, kMenuUnranged, kOwn},
    {228, "ID_Parity", kChoice, 2, Decode_LIN_ID_PARITY, kMenuUnranged, kOwn},
    {229, "Next", kStepItem, 1, Decode_LINNext2, kMenuUnranged, kOwn},
    {230, "When", kChoice, 7, Decode_LINWhen, kMenuUnranged, kOwn},
    {231, "IDSet", kJumpOff, 1, Decode_LINIDSet, kMenuUnranged, kOwn},
    {232, "DataSet", kJumpOff, 1, Decode_LINDataSet, kMenuUnranged, kOwn},
    {233, "error", kJumpOff, 1, Decode_LINErrorSet, kMenuUnranged, kOwn},
    {234, "Next", kStepItem, 1, Decode_LINNext3, kMenuUnranged, kOwn},
    {235, "DataLeng", kChoice, 2, Decode_LIN_DATALEN_SET, kMenuUnranged, kOwn},
    {236, "DataLengValue", kLinLength, 8, Decode_LIN_DATALEN, kMenuUnranged, kOwn},
    {239, "Back", kStepItem, 1, Decode_LINBACK, kMenuUnranged, kOwn},
    {240, "ID", kPattern, 1, Decode_LINID_SET, kMenuUnranged, kOwn},
    {243, "", kViewSwitch, 1, Decode_LINID_Adj_HexOrBin, kMenuUnranged, kOwn},
    {244, "Back", kStepItem, 1, Decode_LINIDSetBack, kMenuUnranged, kOwn},
    {245, "Bytes", kChoice, 8, Decode_LINData_Len, kMenuUnranged, kOwn},
    {246, "DataValue", kPattern, 1, Decode_LINDATA_SET, kMenuUnranged, kOwn},
    {248, "", kViewSwitch, 1, Decode_LINDATA_Adj_HexOrBin, kMenuUnranged, kOwn},
    {249, "Back", kStepItem, 1, Decode_LINIDSetBack, kMenuUnranged, kOwn},
    {250, "Bytes", kChoice, 3, Decode_LINError_Set, kMenuUnranged, kOwn},
    {254, "Back", kStepItem, 1, Decode_LINIDSetBack, kMenuUnranged, kOwn},
};

struct BusPage {
  int16_t page;
  const char* name;
  uint32_t id;
};
const BusPage kBusPages[] = {
    {22, "RS232", 0x0301}, {23, "RS232", 0x0302}, {24, "RS232", 0x0303}, {25, "I2c", 0x0201}, {26, "I2c", 0x0202},
    {27, "I2c", 0},        {28, "I2c", 0},        {32, "SPI", 0x0501},   {33, "SPI", 0x0502},   {34, "SPI", 0x0503},
    {35, "SPI", 0x0504},   {36, "SPI", 0x0505},   {39, "CAN", 0x0301},   {40, "CAN", 0x0302},   {41, "CAN", 0x0303},
    {42, "CAN", 0},        {43, "CAN", 0},        {44, "LIN", 0x0401},   {45, "LIN", 0x0402},   {46, "LIN", 0x0403},
    {47, "LIN", 0x0404},   {48, "LIN", 0},        {49, "LIN", 0},        {50, "LIN", 0},
};
}  // namespace

void DefineBusMenu(menu* record) {
  DefineMenuItems(record, kEeTrigger, kBusSlots);
  for (const BusPage& p : kBusPages) DefineMenuPage(record, p.page, p.name, p.id, Trigger_MenuOp);
}

void InitBusSettings() {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  EndAllPatternEdits();
  std::fill(std::begin(I2cDataHex), std::end(I2cDataHex), 0);
  std::fill(std::begin(I2cDataMask), std::end(I2cDataMask), 0);
  std::fill(std::begin(I2c_addr_Hex), std::end(I2c_addr_Hex), 0);
  TaskTrigger.SetItem(136, 0);
  Switch(122, Val(121) == 3);
  Switch(131, Val(130) == 4 || Val(130) == 6);
  Switch(132, Val(130) == 5 || Val(130) == 6);
  Switch(176, Val(173) == 1);
  Switch(177, Val(173) == 1);
  for (int i = 0; i < int(PatternKind::kCount); ++i) Ed(PatternKind(i)).Clear();
  ShowAllPatternTexts();
}
