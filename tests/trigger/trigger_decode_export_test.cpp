// The decode menu and exports: the CSV file of the decoded traffic (time
// thresholds, the overwrite question, a failed write leaving the old file),
// the file-name keyboard, and the serial-bus SCPI rows, SBUS:DATA? answering
// the decoded traffic as a definite-length block.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "platform/root.h"
#include "platform/sim/bus/sim_bus.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/sim/fpga/sim_decode_trigger.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"
#include "trigger/analog/task_trigger.h"
#include "trigger/bus/trigger_bus.h"
#include "trigger/decode/bus_decode.h"
#include "trigger/decode/bus_decode_export.h"
#include "ui/draw/font.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr keypara kNone{KEY_NO_KEY, 0, 0};

struct DecodeExport : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(10, 0, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    ASSERT_EQ(0, StartScpiThread());
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("SBUS:DISPlay?").empty());
  }
  int Item(int n) { return int(TaskTrigger.Item(n) & 0xFFFF); }
  // Entries as the FPGA would give them, 1 sample = 1 ns.
  void Entries(const std::vector<std::pair<int32_t, uint32_t>>& rows, int type) {
    std::vector<uint8_t> b;
    for (auto& r : rows) {
      const uint32_t s = uint32_t(r.first), d = r.second;
      const uint8_t rec[16] = {0xAA,
                               0xA5,
                               0x5A,
                               2,
                               uint8_t(s >> 24),
                               uint8_t(s >> 16),
                               uint8_t(s >> 8),
                               uint8_t(s),
                               uint8_t(d >> 24),
                               uint8_t(d >> 16),
                               uint8_t(d >> 8),
                               uint8_t(d),
                               0,
                               0,
                               0,
                               0};
      b.insert(b.end(), rec, rec + 16);
    }
    AnalysisDecodeRecords(b.data(), int(b.size()), type, 1.0);
  }
  static std::string Read(const std::string& path) {
    std::ifstream f(plat::MapPath(path));
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  void Type(int t) {
    for (int i = 0; i < kTrigTypes; ++i) TaskTrigger.SetItem(LinkageItem[i], uint64_t(t));
    TaskTrigger.TaskMenu.SetCurrPage(LinkageItem[t]);
    Trigger_TypeSelect(kNone);
  }
};

TEST_F(DecodeExport, CsvRowsTimeThresholdsAndTheOverwriteQuestion) {
  Type(kTrigRs232);
  Entries({{999, 0x41}, {1001, 0x42}, {1000000000, 0x43}, {1500000001, 200}}, kTrigRs232);
  WriteRootFile("udisk/.keep", "");
  SysRunStatus.SetUsbInsertStatus(1);
  ASSERT_EQ(Save_decode_data(0), 0);
  EXPECT_EQ(Read("/udisk/Storage/Decode/Decode.csv"),
            "Decode:RS232\ntime,data\n999ns,65\n1.0us,66\n1000.0ms,67\n1.5s,200\n");
  // Saving again asks first; "Overlay" writes.
  Entries({{5, 0x44}}, kTrigRs232);
  ASSERT_EQ(Save_decode_data(0), 0);
  EXPECT_EQ(Decode_DisplayType, kDecodePopOverwrite);
  EXPECT_EQ(TaskTrigger.TaskMenu.GetCurrPage(), 38);
  EXPECT_EQ(Read("/udisk/Storage/Decode/Decode.csv").substr(0, 32),
            "Decode:RS232\ntime,data\n999ns,65\n");
  Decode_Storage_Overlay(kNone);
  EXPECT_EQ(Decode_DisplayType, kDecodePopNone);
  EXPECT_EQ(Read("/udisk/Storage/Decode/Decode.csv"), "Decode:RS232\ntime,data\n5ns,68\n");
}

// In Chinese the question has its title and its text too.
TEST_F(DecodeExport, TheChineseOverwriteQuestionHasATitleAndAText) {
  I2cStorage.I2C_WriteU8(EE_LANGUAGE, 1);  // the language in force is the EEPROM's
  ASSERT_EQ(SysRunStatus.GetCurrLanguage(), 1);
  TaskTrigger.LoadLanguage(1);
  auto text = [](const uint16_t* p) {
    std::u16string s;
    for (; p && *p && *p != '\r' && *p != '\n'; ++p) s += char16_t(*p);
    return s;
  };
  EXPECT_EQ(text(OverwriteTitle()), u"保存解码数据");
  EXPECT_EQ(text(OverwriteText()), u"文件已存在。覆盖将写入该文件，取消则保留。");
}

// The question's texts from the trigger menu file, and its box on the screen.
TEST_F(DecodeExport, TheOverwriteQuestionShowsItsTextFromTheMenuFile) {
  auto text = [](const uint16_t* p) {
    std::string s;
    for (; p && *p && *p != '\r' && *p != '\n'; ++p) s += char(*p);
    return s;
  };
  EXPECT_EQ(text(OverwriteTitle()), "Save decode data");
  EXPECT_EQ(text(OverwriteText()), "The file already exists. Overlay writes over it, Cancel keeps it.");
  Type(kTrigRs232);
  Entries({{5, 0x44}}, kTrigRs232);
  SysRunStatus.SetUsbInsertStatus(1);
  WriteRootFile("udisk/Storage/Decode/Decode.csv", "old\n");
  ASSERT_EQ(Save_decode_data(0), 0);
  ASSERT_EQ(Decode_DisplayType, kDecodePopOverwrite);
  SysRunStatus.SetDrawRefresh();
  bench.Pass();
  ASSERT_TRUE(bench.WriteScreenPng(::testing::TempDir() + "decode_overwrite.png"));
  // The title's and the text's letters in 0xC8C8AF where they start.
  auto inked = [&](int row, int col, int width) {
    for (int r = row; r < row + 16; ++r)
      for (int c = col; c < col + width; ++c)
        if (bench.Pixel(r, c) == 0xC8C8AF) return true;
    return false;
  };
  EXPECT_TRUE(inked(133, 203, 60));
  EXPECT_TRUE(inked(170, 230, 60));
  EXPECT_FALSE(inked(133, 600, 30));
  Decode_Storage_Cancel(kNone);
  SysRunStatus.SetDrawRefresh();
  bench.Pass();
  EXPECT_FALSE(inked(170, 230, 60));
  EXPECT_EQ(Read("/udisk/Storage/Decode/Decode.csv"), "old\n");

  // The file's rules: two marks, the title ending at the second.
  auto utf16 = [](const std::u16string& t) {
    std::string b = "\xFF\xFE";
    for (char16_t c : t) b += char(c & 0xFF), b += char(c >> 8);
    return b;
  };
  WriteRootFile("q1.txt", utf16(u"#Page\r\n*Title*Question\r\n"));
  EXPECT_EQ(LoadOverlayWarmTxt("q1.txt"), 0);
  EXPECT_EQ(text(OverwriteTitle()), "Title");
  EXPECT_EQ(text(OverwriteText()), "Question");
  WriteRootFile("q2.txt", utf16(u"*only one mark\r\n"));
  EXPECT_EQ(LoadOverlayWarmTxt("q2.txt"), -1);
  WriteRootFile("q3.txt", "");
  EXPECT_EQ(LoadOverlayWarmTxt("q3.txt"), 0);
  EXPECT_EQ(OverwriteTitle(), nullptr);
  EXPECT_EQ(LoadOverlayWarmTxt("missing.txt"), -1);
  EXPECT_EQ(LoadOverlayWarmTxt(nullptr), -1);
  bench.Pass();  // no texts: the box alone, no crash
}

TEST_F(DecodeExport, NoDiskNoDataAndAFailedWriteKeepTheOldFile) {
  Type(kTrigRs232);
  SysRunStatus.SetUsbInsertStatus(1);
  EXPECT_EQ(Save_decode_data(0), -1);  // no entries: message 32
  Entries({{5, 1}}, kTrigRs232);
  EXPECT_EQ(Save_decode_data(0), -1);  // no disk folder
  EXPECT_FALSE(RootFileExists("udisk/Storage/Decode"));
  WriteRootFile("udisk/Storage/Decode/Decode.csv", "old\n");
  // A file that cannot be made (a folder stands in the temporary name's way).
  WriteRootFile("udisk/Storage/Decode/Decode.csv.part/x", "");
  EXPECT_EQ(decodeSaveSetFunc(), -1);
  EXPECT_EQ(Read("/udisk/Storage/Decode/Decode.csv"), "old\n");
}

// The USB disk reports 1000 bytes free and the table takes more: the write
// that crosses it fails, the failure message shows, and the table saved
// before stays as it was with no temporary file beside it.
TEST_F(DecodeExport, AUsbDiskWithoutRoomKeepsTheOldTable) {
  Type(kTrigRs232);
  SysRunStatus.SetUsbInsertStatus(1);
  WriteRootFile("udisk/Storage/Decode/Decode.csv", "old\n");
  std::vector<std::pair<int32_t, uint32_t>> rows;
  for (int i = 0; i < 300; ++i) rows.emplace_back(5 + 10 * i, uint32_t(i % 256));
  Entries(rows, kTrigRs232);
  plat::SimUsbSetFree(1000);
  QelMsg.ClearMessage();
  EXPECT_EQ(decodeSaveSetFunc(), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 11);
  EXPECT_EQ(Read("/udisk/Storage/Decode/Decode.csv"), "old\n");
  EXPECT_FALSE(RootFileExists("udisk/Storage/Decode/Decode.csv.part"));
  // With room the table is written.
  plat::SimUsbSetFree(100000);
  EXPECT_EQ(decodeSaveSetFunc(), 0);
  EXPECT_NE(Read("/udisk/Storage/Decode/Decode.csv"), "old\n");
}

TEST_F(DecodeExport, TheNameKeyboardTypesClampsAndShowsTheName) {
  Decode_Storage_InputName(kNone);
  EXPECT_EQ(Decode_DisplayType, kDecodePopKeyboard);
  EXPECT_EQ(TaskTrigger.TaskMenu.GetCurrPage(), 37);
  const keypara up{76, 1, 0}, push{72, 1, 0};
  for (int i = 0; i < 13; ++i) Decode_StorageMenuInputName(push);  // "A" 13 times: the 13th is refused
  EXPECT_EQ(std::string(Decode_InputName), "AAAAAAAAAAAA");
  Decode_Storage_InputDelete(kNone);
  Decode_StorageMenuInputName(up);  // "B"
  Decode_StorageMenuInputName(push);
  Decode_Storage_InputSure(kNone);
  EXPECT_EQ(std::string(Decode_Name), "AAAAAAAAAAAB");
  EXPECT_EQ(Decode_DisplayType, kDecodePopNone);
  const MenuOption* o = TaskTrigger.TaskMenu.GetMenuItemList(155);
  std::string label;
  for (const uint16_t* p = o->text; *p; ++p) label += char(*p);
  EXPECT_EQ(label, "AAAAAA...");
  // Only letters, digits and "_" can be typed: the name cannot leave its folder.
  for (char c : std::string(Decode_Name)) EXPECT_TRUE(std::isalnum(uint8_t(c)) || c == '_');
}

TEST_F(DecodeExport, SbusRowsSetAndAnswer) {
  Set("SBUS:MODE RS232");
  EXPECT_EQ(Ask("SBUS:MODE?"), "RS232\r\n");
  EXPECT_EQ(TaskTrigger.Type(), kTrigRs232);
  Set("SBUS:RS232:BAUDrate 115200");
  EXPECT_EQ(Item(112), 6);
  EXPECT_EQ(Ask("SBUS:RS232:BAUD?"), "115200\r\n");
  Set("SBUS:RS232:BAUDrate 30000000");  // a user rate, limited
  EXPECT_EQ(Item(112), 14);
  EXPECT_EQ(Ask("SBUS:RS232:BAUDrate?"), "25000000\r\n");
  EXPECT_EQ(SysRunInfo.rs232.baud, 25000000);
  Set("SBUS:RS232:PARity EVEN");
  EXPECT_EQ(Ask("SBUS:RS232:PARity?"), "EVEN\r\n");
  EXPECT_EQ(plat::SimDecodedTrigger().rs232.parity, 2);
  Set("SBUS:RS232:QUALifier DATA");
  Set("SBUS:RS232:DATA \"01000001\"");
  EXPECT_EQ(Item(122), 0x41);
  EXPECT_EQ(Ask("SBUS:RS232:DATA?"), "01000001\r\n");
  Set("SBUS:RS232:DATA \"0100000X\"");  // no don't-care bits here
  EXPECT_EQ(Item(122), 0x41);
  Set("SBUS:RS232:DATA:BIT 7");
  EXPECT_EQ(Ask("SBUS:RS232:DATA:BIT?"), "7\r\n");
  Set("SBUS:RS232:STOP:BIT 3");
  EXPECT_EQ(Ask("SBUS:RS232:STOP:BIT?"), "1\r\n");
  Set("SBUS:RS232:SOURce CHANnel2");
  EXPECT_EQ(Ask("SBUS:RS232:SOUR?"), "CHANnel2\r\n");

  Set("SBUS:MODE CAN");
  Set("SBUS:CAN:QUALifier ID");
  Set("SBUS:CAN:ID \"1001000110X\"");
  EXPECT_EQ(Ask("SBUS:CAN:ID?"), "1001000110X\r\n");
  EXPECT_EQ(plat::SimDecodedTrigger().can.idWord & 0x7FF, 0x48D);
  EXPECT_EQ(plat::SimDecodedTrigger().can.maskWord & 0x7FF, 0x001);
  Set("SBUS:CAN:QUALifier START");  // the identifier is switched off: its query is refused
  EXPECT_EQ(Ask("SBUS:CAN:ID?"), "");
  Set("SBUS:CAN:SIGNal:BAUDrate 500000");
  EXPECT_EQ(Item(205), 16);

  Set("SBUS:DISPlay ON");
  EXPECT_EQ(Ask("SBUS:DISPlay?"), "1\r\n");
  Set("SBUS:BASE BIN");
  EXPECT_EQ(Ask("SBUS:BASE?"), "BINary\r\n");
  Set("SBUS:BASE ASCII");  // a base of RS232 alone: refused under CAN, as the panel never offers it
  EXPECT_EQ(Ask("SBUS:BASE?"), "BINary\r\n");
  Set("SBUS:VERTical:POSition -500");
  EXPECT_EQ(Ask("SBUS:VERT:POS?"), "-160\r\n");
  Set("SBUS:VERTical:POSition 1e4");  // exponent notation read whole, then clamped
  EXPECT_EQ(Ask("SBUS:VERT:POS?"), "160\r\n");
  Set("SBUS:VERTical:POSition 4.2e1");
  EXPECT_EQ(Ask("SBUS:VERT:POS?"), "42\r\n");
}

TEST_F(DecodeExport, SbusDataIsADefiniteLengthBlockOfTheEntries) {
  Set("SBUS:MODE RS232");
  const uint8_t dropped[32] = {};  // records with bad markers only: no entries
  AnalysisDecodeRecords(dropped, sizeof dropped, kTrigRs232, 1.0);
  EXPECT_EQ(Ask("SBUS:DATA?"), "");
  Entries({{999, 0x0A}, {2000, 0x41}, {3000, 0x9F}}, kTrigRs232);
  Set("SBUS:BASE ASCII");
  const std::string text = "RS232\nTIME,DATA,CHECK\n999ns,LF,1\n2.0us,A,1\n3.0us,*,1\n";
  EXPECT_EQ(Ask("SBUS:DATA?"), "#2" + std::to_string(text.size()) + text + "\r\n");
  Set("SBUS:BASE HEX");
  EXPECT_NE(Ask("SBUS:DATA?").find("2.0us,41,1"), std::string::npos);
}

}  // namespace

namespace {
// The extent of `colour` pixels in a rectangle: first and last column (-1: none).
std::pair<int, int> Columns(const Bench& b, int row, int col, int width, int height, uint32_t colour) {
  int first = -1, last = -1;
  for (int c = col; c < col + width; ++c)
    if (b.CountPixels(row, c, 1, height, colour) > 0) {
      if (first < 0) first = c;
      last = c;
    }
  return {first, last};
}
}  // namespace

// The keyboard on the screen: the keys in their colours, the last three
// labelled "del", "a/A" and "En"; a name of 8 characters typed with the knob
// and push lands on the menu as its first 6 and "...".
TEST_F(DecodeExport, TheNameKeyboardOnTheScreenAndTheNameOnTheMenu) {
  Type(kTrigRs232);
  bench.Key(69);  // the trigger menu is the current one
  TaskTrigger.TaskMenu.SetCurrPage(155);
  SysRunStatus.SetMenuDisplayTimeS(3);
  bench.Key(49);  // F1: Input Name
  ASSERT_EQ(Decode_DisplayType, kDecodePopKeyboard);
  ASSERT_EQ(TaskTrigger.TaskMenu.GetCurrPage(), 37);
  auto to = [&](int key) {  // the knob: 76 the next key, 77 the one before
    while (Decode_KeySel < key) bench.Key(76);
    while (Decode_KeySel > key) bench.Key(77);
  };
  for (int i = 0; i < 8; ++i) {  // "ABCDEFGH"
    to(i);
    bench.Key(72);
  }
  EXPECT_EQ(std::string(Decode_InputName), "ABCDEFGH");
  to(38);  // "a/A"
  bench.Pass();
  constexpr uint32_t kKey = 0x4C4C4C, kSelected = 0x86741C, kLabel = 0xC8C8AF;
  auto keyAt = [](int i) { return std::pair<int, int>{200 + 35 * (i / 20), 105 + 27 * (i % 20)}; };
  for (int i = 0; i < 40; ++i) {
    SCOPED_TRACE(i);
    const auto [row, col] = keyAt(i);
    EXPECT_EQ(bench.Pixel(row + 1, col + 1), i == 38 ? kSelected : kKey);
  }
  EXPECT_EQ(bench.Pixel(130, 300), kKey);  // the box's frame
  Font* font = QelDraw.GetUserFontPointer();
  ASSERT_NE(font, nullptr);
  const short before = font->CurrentAsciiFont();
  font->SetCurrFont(1);            // the keys' font
  for (int i = 37; i < 40; ++i) {  // the labels' widths, centred on their keys
    SCOPED_TRACE(i);
    const char* const words[3] = {"del", "a/A", "En"};
    const int w = QelDraw.Stringlen(kFontAscii, words[i - 37]);
    const auto [row, col] = keyAt(i);
    const auto [first, last] = Columns(bench, row, col - 4, 34, 30, kLabel);
    ASSERT_GE(first, 0);
    EXPECT_NEAR(last - first + 1, w - 2, 3);
    EXPECT_NEAR((first + last) / 2.0, col + 12, 2);
  }
  font->SetCurrFont(before);
  bench.Key(76);  // "En" takes the name
  bench.Key(72);
  EXPECT_EQ(std::string(Decode_Name), "ABCDEFGH");
  EXPECT_EQ(Decode_DisplayType, kDecodePopNone);
  ASSERT_EQ(TaskTrigger.TaskMenu.GetCurrPage(), 31);
  bench.Pass();
  // Item 155 (the first soft key) shows "ABCDEF..." right of the key icon.
  uint16_t shown[16] = {}, whole[16] = {};
  for (int i = 0; i < 9; ++i) shown[i] = uint16_t("ABCDEF..."[i]);
  for (int i = 0; i < 8; ++i) whole[i] = uint16_t("ABCDEFGH"[i]);
  const int w = QelDraw.Stringlen(kFontUnicode, shown);
  const auto [first, last] = Columns(bench, 85, 742 - w / 2 - 12, w + 24, 22, kLabel);
  ASSERT_GE(first, 0);
  EXPECT_NEAR((first + last) / 2.0, 742, 3);  // centred right of the key icon
  EXPECT_NEAR(last - first + 1, w, 4);
  EXPECT_GT(std::abs(QelDraw.Stringlen(kFontUnicode, whole) - w), 8);
}

namespace {
// The spectrum shown, however it came on (here straight in the run state, as
// a remote command leaves it): the lane and its list turn off at the next
// pass and SBUS:DISPlay ON / SBUS:EVENt ON are refused while it stays.
TEST_F(DecodeExport, TheLaneGivesWayToTheSpectrum) {
  Set("SBUS:MODE RS232");
  Set("SBUS:DISPlay ON");
  Set("SBUS:EVENt ON");
  ASSERT_EQ(Item(145), 1);
  SysRunStatus.SetMathType(1);    // FFT
  SysRunInfo.sourceOn |= 1 << 5;  // the math channel shown
  TaskTrigger.DataProcess();
  EXPECT_EQ(Item(145), 0);
  EXPECT_EQ(Item(147), 0);
  Set("SBUS:DISPlay ON");
  Set("SBUS:EVENt ON");
  EXPECT_EQ(Item(145), 0);
  EXPECT_EQ(Item(147), 0);
  SysRunStatus.SetMathType(0);
  SysRunInfo.sourceOn &= ~(1 << 5);
  Set("SBUS:DISPlay ON");
  EXPECT_EQ(Item(145), 1);
}
}  // namespace
