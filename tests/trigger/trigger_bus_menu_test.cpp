// The serial-bus trigger pages through the front panel: baud choices and user
// bauds, SPI widths and word counts, When items switching their pattern
// items, paired sources, the pattern editors' labels and what they send to
// the board, and a trigger set up from the panel landing on its frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/state/sys_run_info.h"
#include "remote/scpi/scpi_client.h"
#include "platform/clock.h"
#include "platform/sim/bus/sim_bus.h"
#include "platform/sim/fpga/sim_decode_trigger.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"
#include "trigger/decode/bus_decode.h"
#include "trigger/bus/bus_pattern_editor.h"
#include "trigger/bus/bus_patterns.h"
#include "trigger/analog/task_trigger.h"
#include "trigger/bus/trigger_bus.h"
#include "core/state/task_manage.h"
#include <cmath>
#include <mutex>

namespace {
enum : uint8_t { F1 = 49, F2, F3, F4, F5, kSelect = 72, kUp = 76, kDown = 77, kTriggerKey = 69 };
constexpr int kPadMax = 22;
constexpr size_t kEePage = 92;  // the menu page shown, saved as pages change

struct BusMenu : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(6, 0, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    SysRunStatus.SetMenuDisplayTimeS(3);
    bench.Pass();
    bench.Key(kTriggerKey);
  }
  Menu& M() { return TaskTrigger.TaskMenu; }
  int Item(int n) { return int(M().GetMenuItem(n)); }
  uint32_t Attr(int n) { return uint32_t(M().GetItemAttribute(n)); }
  bool Off(int n) { return Attr(n) & kTrigAttrOff; }
  void Choose(uint8_t fkey, int from, int to) {
    bench.Key(fkey);
    for (int i = from; i < to; ++i) bench.Key(kDown);
    for (int i = to; i < from; ++i) bench.Key(kUp);
    bench.Key(kSelect);
  }
  void ChooseType(int type) { Choose(F1, Item(kTiType), type); }
  std::string Label(int n) {
    const MenuOption* o = M().GetMenuItemList(n);
    std::string s;
    for (const uint16_t* p = o ? o->text : nullptr; p && *p; ++p) s += char(*p);
    return s;
  }
  void Pad(int index) {
    ASSERT_TRUE(TaskTrigger.IsNumKeyboardEnable());
    for (int i = 0; i < 30 && TaskTrigger.Keypad().cursor < index; ++i) bench.Key(kDown);
    for (int i = 0; i < 30 && TaskTrigger.Keypad().cursor > index; ++i) bench.Key(kUp);
    bench.Key(kSelect);
  }
  void Knob(uint8_t key) {
    bench.AdvanceMs(1100);
    bench.Key(key);
  }
};

TEST_F(BusMenu, ALanguageChangeKeepsTheChoicesOfTheTypeInForce) {
  ChooseType(kTrigI2c);  // no ASCII display: three bases
  ASSERT_EQ(M().GetMenuItemMaxSel(146), 3);
  TaskTrigger.LoadLanguage(1);
  EXPECT_EQ(M().GetMenuItemMaxSel(146), 3);
  ChooseType(kTrigPulse);  // no "outside" for a pulse width: three conditions
  ASSERT_EQ(M().GetMenuItemMaxSel(kTiWhen), 3);
  TaskTrigger.LoadLanguage(1);
  EXPECT_EQ(M().GetMenuItemMaxSel(kTiWhen), 3);
}

// The pattern items show their patterns from the start; a language change
// over SCPI keeps them and the page shown, whose keys stay its own.
TEST_F(BusMenu, PatternTextsAndThePageShownOutlastALanguageChange) {
  const struct {
    int item;
    const char* text;  // all bits 0 at the initial lengths
  } patterns[] = {{211, "000"}, {216, "00"}, {240, "00"}, {177, "0"}};
  for (const auto& p : patterns) EXPECT_EQ(Label(p.item), p.text) << p.item;
  ChooseType(kTrigRs232);
  const int page = M().GetCurrPage();
  ASSERT_EQ(page, LinkageItem[kTrigRs232] / kMenuSlots);
  ASSERT_EQ(0, StartScpiThread());
  for (const char* language : {"SIMPlifiedchinese", "ENGLish"}) {
    ScpiQuery(std::string("SYSTem:LANGuage ") + language + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(ScpiQuery("SYSTem:LANGuage?\n").empty());  // the setter has run
    EXPECT_EQ(M().GetCurrPage(), page) << language;
    for (const auto& p : patterns) EXPECT_EQ(Label(p.item), p.text) << language << " " << p.item;
  }
  const int edgeSource = Item(kTiEdgeSource), rs232Source = Item(111);
  bench.Key(F2);  // the RS232 source, not the edge source
  EXPECT_EQ(Item(111), 1 - rs232Source);
  EXPECT_EQ(Item(kTiEdgeSource), edgeSource);
}

TEST_F(BusMenu, Rs232BaudChoiceSwitchesTheUserBaudAndItReachesTheBoard) {
  ChooseType(kTrigRs232);
  ASSERT_EQ(M().GetCurrPage(), 22);
  EXPECT_TRUE(TaskManage.FindUserTaskProcess(10) == TASK_LISTED);
  Choose(F3, Item(112), 14);  // User
  EXPECT_FALSE(Off(113));
  bench.Key(F4);  // SpecialBPS: the keypad
  Pad(kPadMax);
  EXPECT_EQ(Item(113), 25000000);
  EXPECT_EQ(SysRunInfo.rs232.baud, 25000000);
  bench.Key(F4);
  ASSERT_TRUE(TaskTrigger.IsNumKeyboardEnable());
  Choose(F3, 14, 13);  // a table baud: the user baud off, the keypad closed
  EXPECT_TRUE(Off(113));
  EXPECT_FALSE(TaskTrigger.IsNumKeyboardEnable());
  EXPECT_EQ(SysRunInfo.rs232.baud, 2764800);
  // The decoded timing words: 1e8 / baud in 10 ns ticks.
  EXPECT_NEAR(plat::SimDecodedTrigger().bitTime, 1e8 / 2764800, 0.001);
  // When "Data" switches the data byte on; the knob steps it by at most 5.
  bench.Key(F5);
  bench.Key(F5);
  ASSERT_EQ(M().GetCurrPage(), 24);
  EXPECT_TRUE(Off(122));
  Choose(F2, Item(121), 3);
  EXPECT_FALSE(Off(122));
  Decode_RS232Data(keypara{kUp, 9, 1});
  EXPECT_EQ(Item(122), 5);
  Decode_RS232Data(keypara{kDown, 9, 1});
  Decode_RS232Data(keypara{kDown, 1, 1});
  EXPECT_EQ(Item(122), 255);  // wraps below 0
}

TEST_F(BusMenu, CanUserBaudIsClampedAndWhenSwitchesTheSetPages) {
  ChooseType(kTrigCan);
  ASSERT_EQ(M().GetCurrPage(), 39);
  bench.Key(F5);  // Next
  ASSERT_EQ(M().GetCurrPage(), 40);
  Choose(F1, Item(200), 7);
  EXPECT_FALSE(Off(201));
  EXPECT_FALSE(Off(202));
  Choose(F1, 7, 5);
  EXPECT_FALSE(Off(201));
  EXPECT_TRUE(Off(202));
  bench.Key(F3);  // DataSet is off: the page stays
  EXPECT_EQ(M().GetCurrPage(), 40);
  bench.Key(F5);  // to the baud page
  ASSERT_EQ(M().GetCurrPage(), 41);
  Choose(F1, Item(205), 19);
  TaskTrigger.SetItem(206, 1999990);
  Decode_CANSpecialBPS(keypara{kUp, 30, 1});
  EXPECT_EQ(Item(206), 2000000);
}

TEST_F(BusMenu, SpiWidthAndWordCountKeepThePatternInside128Bits) {
  ChooseType(kTrigSpi);
  ASSERT_EQ(M().GetCurrPage(), 32);
  TaskTrigger.SetItem(172, 32);
  TaskTrigger.SetItem(176, 3);
  Decode_SPI_BitWide(keypara{kUp, 1, 0});
  EXPECT_EQ(Item(172), 32);
  EXPECT_EQ(Item(176), 1);
  TaskTrigger.SetAttr(176, 0, kTrigAttrOff);
  for (int i = 0; i < 10; ++i) Decode_SPI_Data_len(keypara{kUp, 1, 0});
  EXPECT_EQ(Item(176), 4);
  TaskTrigger.SetItem(172, 5);
  Decode_SPI_BitWide(keypara{kDown, 1, 0});
  for (int i = 0; i < 40; ++i) Decode_SPI_Data_len(keypara{kUp, 1, 0});
  EXPECT_EQ(Item(172), 4);
  EXPECT_EQ(Item(176), 32);
  // The idle time keeps to 20..250,000,000 counts with message 6.
  TaskTrigger.SetAttr(175, kTrigAttrKnob, 0);
  TaskTrigger.SetItem(175, 20);
  Decode_SPI_IdleTime(keypara{kDown, 1, 0});
  EXPECT_EQ(TaskTrigger.Item(175), 20u);
}

// Page 35 of SPI: "IdleTime" starts with the knob; "Data_len"'s soft key
// takes it, so the knob counts words and the pattern grows with them, and
// "IdleTime"'s soft key takes it back.
TEST_F(BusMenu, SpiDataLenTakesTheKnobFromTheIdleTime) {
  ChooseType(kTrigSpi);
  bench.Key(F5);
  bench.Key(F5);
  Choose(F4, Item(173), 1);  // When: data
  bench.Key(F5);
  ASSERT_EQ(M().GetCurrPage(), 35);
  ASSERT_EQ(Item(172), 4);
  const uint64_t idle = TaskTrigger.Item(175);
  bench.Key(F2);
  Knob(kUp);
  Knob(kUp);
  EXPECT_EQ(Item(176), 3);
  EXPECT_EQ(TaskTrigger.Item(175), idle);
  EXPECT_EQ(Label(177), "0 0 0");  // three 4-bit words
  EXPECT_EQ(plat::SimDecodedTrigger().spi.frameBits, 3 * 4);
  bench.Key(F1);
  Knob(kUp);
  EXPECT_GT(TaskTrigger.Item(175), idle);
  EXPECT_EQ(Item(176), 3);
}

TEST_F(BusMenu, PairedSourcesMoveTheKnobBeforeTheyStep) {
  ChooseType(kTrigI2c);
  ASSERT_EQ(M().GetCurrPage(), 25);
  EXPECT_TRUE(Attr(126) & kTrigAttrKnob);
  const int sda = Item(127);
  bench.Key(F3);  // SDA: only takes the knob
  EXPECT_EQ(Item(127), sda);
  EXPECT_TRUE(Attr(127) & kTrigAttrKnob);
  EXPECT_FALSE(Attr(126) & kTrigAttrKnob);
}

// The level-knob push on the two-source bus types: the system module asks
// the trigger module, which hands the knob (and the trigger source, whose
// level the knob sets) to the other source item; a second push hands it back.
TEST_F(BusMenu, TheLevelKnobPushSwapsTheI2cAndSpiTriggerSource) {
  struct Case {
    int type, clock, data, page;
  } const cases[] = {{kTrigI2c, 126, 127, 25}, {kTrigSpi, 161, 163, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    ChooseType(c.type);
    ASSERT_EQ(M().GetCurrPage(), c.page);
    bench.Key(uint8_t(F1 + c.clock % 5));  // the clock item takes the knob (or keeps it)
    if (!(Attr(c.clock) & kTrigAttrKnob)) bench.Key(uint8_t(F1 + c.clock % 5));
    ASSERT_TRUE(Attr(c.clock) & kTrigAttrKnob);
    M().SetMenuItem(c.clock, 0);  // clock on CH1, data on CH2
    M().SetMenuItem(c.data, 1);
    const int clock = Item(c.clock), data = Item(c.data);
    bench.Key(75);  // the level-knob push
    EXPECT_TRUE(Attr(c.data) & kTrigAttrKnob);
    EXPECT_FALSE(Attr(c.clock) & kTrigAttrKnob);
    EXPECT_EQ(SysRunInfo.trigSource, 1);
    bench.Key(75);
    EXPECT_TRUE(Attr(c.clock) & kTrigAttrKnob);
    EXPECT_EQ(SysRunInfo.trigSource, 0);
    EXPECT_EQ(Item(c.clock), clock);  // the push moves the knob, never a value
    EXPECT_EQ(Item(c.data), data);
  }
}

// Assist code 3 (SET TO ZERO asks for the Bus page) ends an open edit.
TEST_F(BusMenu, APageRequestEndsTheOpenPatternEdit) {
  ChooseType(kTrigCan);
  bench.Key(F5);
  Choose(F1, Item(200), 5);
  bench.Key(F2);  // IDSet
  bench.Key(F2);  // editing on
  ASSERT_TRUE(BusEditor(PatternKind::kCanId).on);
  taskresponse request{}, reply{};
  request.request = 3;
  request.words[0] = 145;
  ASSERT_EQ(TaskManage.RequestTaskAssist(10, &request, &reply), 0);
  EXPECT_EQ(M().GetCurrPage(), 145 / 5);
  EXPECT_FALSE(BusEditor(PatternKind::kCanId).on);
}

// The bus and decode items are kept in the menu only: changing them writes
// nothing to the EEPROM (the trigger type byte, 149, is the one stored).
TEST_F(BusMenu, BusAndDecodeItemsWriteNothingToTheEeprom) {
  ChooseType(kTrigRs232);
  EXPECT_EQ(bench.EepromByte(149), kTrigRs232);
  const std::vector<uint8_t> before = bench.Eeprom();
  bench.Key(F5);  // NEXT: polarity, data width, bit order, stop bits
  ASSERT_EQ(M().GetCurrPage(), 23);
  Choose(F1, Item(115), 1);
  Choose(F2, Item(116), 1);
  EXPECT_EQ(Item(115), 1);
  M().SetCurrPage(145);  // the decode page: the lane on, moved, the base
  Choose(F1, Item(145), 1);
  Choose(F2, Item(146), 2);
  Knob(kUp);
  EXPECT_EQ(Item(145), 1);
  EXPECT_EQ(Item(146), 2);
  const std::vector<uint8_t> after = bench.Eeprom();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i)
    if (i != kEePage) {
      EXPECT_EQ(after[i], before[i]) << "EEPROM byte " << i;
    }
}

TEST_F(BusMenu, I2cAddressAndDataEditors) {
  ChooseType(kTrigI2c);
  bench.Key(F5);  // NEXT
  Choose(F1, Item(130), 6);  // address and data
  bench.Key(F2);  // AddrSet
  ASSERT_EQ(M().GetCurrPage(), 27);
  bench.Key(F2);  // the address item takes the knob
  bench.Key(kDown);
  EXPECT_EQ(Item(136), 127);  // 7 bits wrap below 0
  EXPECT_EQ(Label(136), "0x7f ");
  EXPECT_EQ(plat::SimDecodedTrigger().i2c.address, 127);
  bench.Key(F5);
  bench.Key(F3);  // DataSet
  ASSERT_EQ(M().GetCurrPage(), 28);
  Choose(F1, Item(140), 3);  // 4 bytes
  EXPECT_EQ(Label(141), "00 00 00 ...");
  Choose(F1, 3, 2);
  EXPECT_EQ(Label(141), "00 00 00 ");
  bench.Key(F2);  // editing on (the item owns the knob)
  bench.Key(kUp);
  bench.Key(kSelect);
  bench.Key(kDown);
  EXPECT_EQ(Label(141), "01 ff 00 ");
  bench.Pass();
  EXPECT_EQ(plat::SimDecodedTrigger().i2c.data[0], 0x01);
  EXPECT_EQ(plat::SimDecodedTrigger().i2c.data[1], 0xFF);
}

TEST_F(BusMenu, CanIdentifierEditorDigitsBitsAndDontCare) {
  ChooseType(kTrigCan);
  bench.Key(F5);
  Choose(F1, Item(200), 5);
  bench.Key(F2);  // IDSet
  ASSERT_EQ(M().GetCurrPage(), 42);
  PatternEditor& e = BusEditor(PatternKind::kCanId);
  bench.Key(F2);  // editing on, hex view
  ASSERT_TRUE(e.on);
  for (int i = 0; i < 8; ++i) bench.Key(kUp);
  EXPECT_EQ(e.hex[0], 0);  // the first digit of 11 bits holds 3 bits: 7 wraps to 0
  bench.Key(kDown);
  EXPECT_EQ(Label(211), "700");
  bench.Key(kSelect);
  bench.Key(kUp);
  bench.Key(kUp);
  EXPECT_EQ(Label(211), "720");
  bench.Key(F4);  // the bit view
  EXPECT_EQ(e.view, 1);
  for (int i = 0; i < 10; ++i) bench.Key(kSelect);
  bench.Key(kDown);  // the last bit: 0 down is "don't care"
  EXPECT_EQ(CANID_bin_data[10], kBitAny);
  EXPECT_EQ(Label(211), "72$");
  bench.Pass();
  const plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.can.idWord & 0x7FF, 0x721);  // a don't-care bit goes as 1, masked
  EXPECT_EQ(t.can.maskWord & 0x7FF, 0x001);
  // The extended format: 29 bits, 8 digits, the first of one bit.
  Choose(F1, Item(210), 1);
  EXPECT_EQ(e.Digits(), 8);
  EXPECT_EQ(Label(211).substr(Label(211).size() - 3), "...");
  bench.Key(F5);  // Back ends the edit
  EXPECT_FALSE(e.on);
}

// The pop-up of the open editor: a grey box with a white frame and divider,
// the identifier's bits and digits in 0xC8C8AF, the edited bit blinking red.
TEST_F(BusMenu, ThePatternPopupShowsBitsAndDigitsAndBlinksTheEditedBit) {
  ChooseType(kTrigCan);
  TaskTrigger.SetItem(210, 0);  // standard identifiers: 11 bits, 3 digits
  bench.Key(F5);
  Choose(F1, Item(200), 5);
  bench.Key(F2);  // IDSet
  bench.Key(F2);  // editing on
  for (int i = 0; i < 3; ++i) bench.Key(kUp);  // digit 0: 3
  bench.Key(F4);  // the bit view, bit 0
  bench.Key(kSelect);  // bit 1
  bench.Pass();
  ASSERT_TRUE(bench.WriteScreenPng(::testing::TempDir() + "decode_pattern_popup.png"));
  constexpr uint32_t kBox = 0x616161, kText = 0xC8C8AF, kRed = 0xC70000, kWhite = 0xFFFFFF;
  EXPECT_EQ(bench.Pixel(200, 400), kBox);
  EXPECT_EQ(bench.Pixel(100, 300), kWhite);  // the frame's top
  EXPECT_EQ(bench.Pixel(220, 473), kWhite);  // the divider
  EXPECT_EQ(bench.Pixel(300, 300), kWhite);  // the frame's bottom
  // Whether a cell of the field (1 bits, 0 digits) holds a pixel of `colour`.
  auto cellHas = [&](int field, int index, uint32_t colour) {
    int row = 0, col = 0;
    if (!PatternCell(field, index, 11, 3, &row, &col)) return false;
    for (int r = row; r < row + 20; ++r)
      for (int c = col; c < col + (field ? 10 : 9); ++c)
        if (bench.Pixel(r, c) == colour) return true;
    return false;
  };
  for (int i = 0; i < 11; ++i) EXPECT_TRUE(cellHas(1, i, kText) || (i == 1 && TwinkleFlag)) << i;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(cellHas(0, i, kText)) << i;
  // "3" in the first digit of three bits: bits 0 1 1, the rest 0; cells of
  // equal bits look alike, a 0 and a 1 do not.
  auto cellImage = [&](int field, int index) {
    int row = 0, col = 0;
    std::string image;
    PatternCell(field, index, 11, 3, &row, &col);
    for (int r = row; r < row + 20; ++r)
      for (int c = col; c < col + 10; ++c) image += bench.Pixel(r, c) == kText ? '#' : '.';
    return image;
  };
  EXPECT_EQ(cellImage(1, 0), cellImage(1, 3));  // both 0
  EXPECT_NE(cellImage(1, 0), cellImage(1, 2));  // 0 and 1 differ

  // The edited bit blinks: red in one turn, plain in the next (on a clock
  // only the test moves, so a slow pass cannot skip a turn).
  plat::HoldVirtualClock(true);
  bool red[2] = {};
  for (int turn = 0; turn < 2; ++turn) {
    bench.AdvanceMs(250);
    bench.Pass();
    red[TwinkleFlag ? 1 : 0] = cellHas(1, 1, kRed);
    EXPECT_FALSE(cellHas(1, 0, kRed));
    EXPECT_FALSE(cellHas(0, 0, kRed));  // the digits are not the field being edited
  }
  EXPECT_TRUE(red[1]);
  EXPECT_FALSE(red[0]);
  bench.Key(F5);  // Back ends the edit: the pop-up goes
  bench.Pass();
  EXPECT_NE(bench.Pixel(200, 400), kBox);
}

TEST_F(BusMenu, CanDataBytesChangeEndsTheEdit) {
  ChooseType(kTrigCan);
  bench.Key(F5);
  Choose(F1, Item(200), 6);
  bench.Key(F3);  // DataSet
  ASSERT_EQ(M().GetCurrPage(), 43);
  bench.Key(F2);
  ASSERT_TRUE(BusEditor(PatternKind::kCanData).on);
  Choose(F1, Item(215), 3);
  EXPECT_FALSE(BusEditor(PatternKind::kCanData).on);
  EXPECT_EQ(Label(216), "0000000...");
}

// Bit and hex views round trip for every width of every editor.
TEST_F(BusMenu, PatternViewsRoundTripAtEveryWidth) {
  PatternEditor& spi = BusEditor(PatternKind::kSpiData);
  for (int w = 4; w <= 32; ++w) {
    TaskTrigger.SetItem(172, uint64_t(w));
    TaskTrigger.SetItem(176, uint64_t(128 / w));
    spi.Clear();
    for (int b = 0; b < spi.Bits(); ++b) spi.bits[b] = char((b * 7 + w) % 3);
    spi.HexFromBin();
    char before[kSpiBits];
    std::copy(spi.bits, spi.bits + kSpiBits, before);
    spi.BinFromHex();
    for (int b = 0; b < kSpiBits; ++b) ASSERT_EQ(spi.bits[b], before[b]) << w << " " << b;
    // Digits without don't-care bits come back from the bits alone.
    for (int b = 0; b < spi.Bits(); ++b) spi.bits[b] = char((b * 5 + w) & 1);
    spi.HexFromBin();
    uint8_t hex[50];
    std::copy(spi.hex, spi.hex + 50, hex);
    for (int b = 0; b < spi.Bits(); ++b) spi.bits[b] = 0;
    spi.BinFromHex();
    spi.HexFromBin();
    for (int d = 0; d < spi.Digits(); ++d) {
      ASSERT_EQ(spi.hex[d], hex[d]) << w << " " << d;
      ASSERT_LT(spi.hex[d], 1 << spi.DigitBits(d));
    }
  }
  for (PatternKind k : {PatternKind::kCanId, PatternKind::kCanData, PatternKind::kLinId, PatternKind::kLinData}) {
    PatternEditor& e = BusEditor(k);
    for (int format = 0; format < 8; ++format) {
      TaskTrigger.SetItem(210, uint64_t(format & 1));
      TaskTrigger.SetItem(215, uint64_t(format));
      TaskTrigger.SetItem(228, uint64_t(format & 1));
      TaskTrigger.SetItem(245, uint64_t(format));
      e.Clear();
      for (int d = 0; d < e.Digits(); ++d) e.hex[d] = uint8_t((d * 11 + 3) & ((1 << e.DigitBits(d)) - 1));
      uint8_t hex[16];
      std::copy(e.hex, e.hex + e.hexCap, hex);
      e.BinFromHex();
      std::fill(e.hex, e.hex + e.hexCap, 0);
      e.HexFromBin();
      for (int d = 0; d < e.Digits(); ++d) ASSERT_EQ(e.hex[d], hex[d]) << int(k) << " " << format << " " << d;
    }
  }
}

// The whole chain from the panel: a CAN identifier condition entered with the
// editor, and the simulated bus triggering on that frame.
TEST_F(BusMenu, ACanIdentifierTriggerFromThePanelLandsOnItsFrame) {
  SetWaveTestSettings();
  bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  plat::TestSignal s[plat::kSignalInputs];
  std::string error;
  // 100 kbit/s: ten samples a bit at 500 us/div (1 MSa/s), enough for the board's decoder.
  ASSERT_TRUE(plat::SimBusSignals("can rate=100000 interval=0.02 data=123:11,2a5:22.33,7f0:44", s, &error));
  bench.Fpga().SetSignal(0, s[0]);
  ChooseType(kTrigCan);
  TaskTrigger.SetItem(210, 0);  // standard identifiers (the item is not kept in the EEPROM)
  bench.Key(F5);
  Choose(F1, Item(200), 5);  // When: identifier
  bench.Key(F5);
  Choose(F1, Item(205), 11);  // 100 kbit/s
  bench.Key(F5);               // Back to the first page
  bench.Key(F5);               // Next
  bench.Key(F2);               // IDSet
  bench.Key(F2);               // edit 0x2A5: digits 2, A, 5
  const keypara up{kUp, 1, 0}, next{kSelect, 1, 0};
  for (keypara k : {up, up, next, up, up, up, up, up, up, up, up, up, up, next, up, up, up, up, up})
    Decode_CANID_SET(k);
  EXPECT_EQ(Label(211), "2A5");
  bench.Key(F5);
  Trigger_MenuOp(keypara{KEY_NO_KEY, 0, 0});
  bench.Pass();
  // The search starts in the quiet part of the traffic's 20 ms period.
  plat::HoldVirtualClock(true);
  bench.Fpga().SetSignalTime(15e-3);
  ASSERT_TRUE(bench.Fpga().AcquireNow());
  bench.Pass(2);
  std::lock_guard<std::mutex> lock(DecodeTablesLock());
  bool found = false;
  for (int i = 0; i < Decode_data_num; ++i) {
    const DecodeEntry& x = Decode_data_info[i];
    if (x.event == kEvId && x.data == 0x2A5) found = std::abs(double(x.end) - 3.5e6) < 2000;
  }
  EXPECT_TRUE(found);
}

}  // namespace
