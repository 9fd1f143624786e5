// The utility module on the simulated board: its pages, the device
// information box, clearing stored data, the date and time editor, the
// network address editor, the screenshot viewer, the language item and the
// setup block. Screens are checked against text rendered independently with
// the instrument's fonts, and written as PNGs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "platform/root.h"
#include "platform/shell.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "system/utility/ip_config.h"
#include "system/utility/set_time.h"
#include "system/storage/task_storage.h"
#include "system/utility/task_utility.h"
#include "system/utility/utility_draw.h"
#include "tests/bench/bench.h"
#include "tests/bench/screen_text.h"
#include "ui/draw/draw.h"
#include "ui/draw/font.h"
#include "ui/screen/qel_draw.h"

namespace fs = std::filesystem;

namespace {
const std::string g_startDir = [] {
  char buf[4096];
  return std::string(getcwd(buf, sizeof buf) ? buf : ".");
}();

constexpr uint8_t kF1 = 49, kF2 = 50, kF3 = 51, kF4 = 52, kF5 = 53, kMenu = 54, kSelect = 72, kRight = 76,
                  kLeft = 77;
constexpr uint32_t kText = 0xC8C8AF, kHighlight = 0x01F801;
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};

// A 24-bit 800 x 480 BMP, bottom-up rows: colour of (row, col) from `pixel`.
std::string Bmp(uint32_t (*pixel)(int, int)) {
  std::string b(54 + 800 * 480 * 3, '\0');
  auto put32 = [&b](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char(v >> (8 * i));
  };
  b[0] = 'B', b[1] = 'M';
  put32(2, uint32_t(b.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, 800);
  put32(22, 480);
  b[26] = 1, b[28] = 24;
  for (int row = 0; row < 480; ++row)
    for (int c = 0; c < 800; ++c) {
      const uint32_t p = pixel(row, c);
      const size_t at = 54 + size_t(479 - row) * 2400 + size_t(c) * 3;
      b[at] = char(p), b[at + 1] = char(p >> 8), b[at + 2] = char(p >> 16);
    }
  return b;
}
uint32_t Stripes(int row, int col) { return (row / 40 + col / 50) % 2 ? 0x2040A0 : 0xE0C020; }

struct Utility : ::testing::Test {
  Bench bench;
  void SetUp() override {
    auto e = FormattedEeprom(kTaskUtility, 0);
    e[EE_LANGUAGE] = 0;
    e[EepromItemAddress(kEeUtility, kUtiIpType)] = 0;  // static address
    for (int i = 0; i < 4; ++i) {
      e[size_t(EE_IP_ADDRESS + i)] = uint8_t(i == 3 ? 20 : i == 0 ? 192 : i == 1 ? 168 : 1);
      e[size_t(EE_NET_MASK + i)] = uint8_t(i == 3 ? 0 : 255);
    }
    bench.SetEeprom(e);
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    SysRunStatus.SetTransparent(0);
    SysRunStatus.SetMenuDisplayTimeS(3);
    bench.Pass();
    plat::ClearShellLog();
    ASSERT_EQ(TaskManage.GetTaskCurrId(), kTaskUtility);
  }
  void Png(const std::string& name) { EXPECT_TRUE(bench.WriteScreenPng(g_startDir + "/" + name + ".png")); }
  int Page() const { return TaskUtility.TaskMenu.GetCurrPage(); }
  uint32_t Bits() const { return TaskUtility.GetFunBits(); }
  void ToPage(int page) {
    for (int i = 0; i < 3 && Page() != page; ++i) bench.Key(kF5);
    ASSERT_EQ(Page(), page);
  }
};
}  // namespace

TEST_F(Utility, NextGoesRoundThePagesAndClosesTheVersionBox) {
  EXPECT_EQ(Page(), 0);
  bench.Key(kF2);  // Version
  EXPECT_TRUE(Bits() & kUtiDlgVersion);
  bench.Key(kF2);
  EXPECT_FALSE(Bits() & kUtiDlgVersion);
  bench.Key(kF2);
  ASSERT_TRUE(Bits() & kUtiDlgVersion);
  bench.Key(kF5);
  EXPECT_EQ(Page(), 1);
  EXPECT_FALSE(Bits() & kUtiDlgVersion);
  EXPECT_EQ(TaskUtility.TaskMenu.GetMenuItem(kUtiVersion), 0u);
  bench.Key(kF5);
  EXPECT_EQ(Page(), 2);
  bench.Key(kF5);
  EXPECT_EQ(Page(), 0);
}

// The version box over a screen whose only other change is the box itself.
std::vector<uint32_t> BoxArea(const Bench& b) {
  std::vector<uint32_t> a;
  const std::vector<uint32_t> s = b.Screen();
  for (int r = 110; r < 340; ++r) a.insert(a.end(), s.begin() + r * 800 + 190, s.begin() + r * 800 + 620);
  return a;
}

TEST_F(Utility, CancellingSelfCalibrationLeavesNoDialogUnderTheNextBox) {
  bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);  // the traces stand still
  bench.AdvanceMs(4000);  // and the start's offset line is gone
  auto frame = [&] {
    SysRunStatus.SetDrawRefresh();
    bench.AdvanceMs(600);
    bench.Pass();
  };
  bench.Key(kF2);  // Version alone
  frame();
  ASSERT_TRUE(Bits() & kUtiDlgVersion);
  const std::vector<uint32_t> alone = BoxArea(bench);
  bench.Key(kF2);  // closed
  frame();

  bench.Key(kF1);  // Self Cal: its prompt and page
  ASSERT_TRUE(Bits() & kUtiDlgSelfCali);
  ASSERT_EQ(Page(), kUtiPageSelfCali);
  frame();
  Png("utility-selfcali-prompt");
  bench.Key(kF2);  // Cancel
  EXPECT_EQ(Page(), 0);
  EXPECT_EQ(Bits(), 0u);
  bench.Key(kF2);  // Version again: drawn as it was alone
  frame();
  Png("utility-version-after-cancel");
  EXPECT_EQ(Bits(), uint32_t(kUtiDlgVersion));
  const std::vector<uint32_t> now = BoxArea(bench);
  int differ = 0, first = -1;
  for (size_t i = 0; i < now.size() && i < alone.size(); ++i)
    if (now[i] != alone[i]) {
      if (first < 0) first = int(i);
      ++differ;
    }
  EXPECT_EQ(differ, 0) << "first at row " << 110 + first / 430 << " column " << 190 + first % 430;
}

TEST_F(Utility, DeviceInformationBoxShowsTheIdentityFileAndSerial) {
  WriteRootFile("Data/Information",
                "[FACTORY] ACME\n[MODEL] SCOPE-9\n[HARDWARE] 2.1\n[SOFTWARE] 3.4.5\n[MANUFACTURER] "
                "A very long manufacturer name that does not fit\n[WEB] www\n");
  WriteRootFile("SN.txt", "[SERIAL] QX1234\n");
  taskresponse reload{};
  reload.request = 1;
  reload.words[0] = 1;
  TaskUtility.Assist(&reload, nullptr);
  EXPECT_STREQ(SysInformation[kInfoFactory], "ACME");
  EXPECT_STREQ(SysInformation[kInfoSerial], "QX1234");
  EXPECT_EQ(std::strlen(SysInformation[kInfoManufacturer]), size_t(kInfoChars - 1));
  EXPECT_EQ(SysRunStatus.Get_OEM(), 0);  // another brand: the customer's instrument
  EXPECT_EQ(SysRunStatus.GetCustomerFlag(), 1);

  bench.Key(kF2);
  bench.Pass();
  // Rows of the box: factory, model, serial, software, hardware (font 4).
  EXPECT_TRUE(ShowsText(bench, 130, 360, ":  ACME", 4, kText));
  EXPECT_TRUE(ShowsText(bench, 156, 360, ":  SCOPE-9", 4, kText));
  EXPECT_TRUE(ShowsText(bench, 182, 360, ":  QX1234", 4, kText));
  EXPECT_TRUE(ShowsText(bench, 208, 360, ":  V3.4.5", 4, kText));
  EXPECT_TRUE(ShowsText(bench, 234, 360, ":  V2.1", 4, kText));
  Png("utility-version");
  bench.Key(kMenu);  // the menu key closes the box
  EXPECT_FALSE(Bits() & kUtiDlgVersion);
}

TEST_F(Utility, SerialNumberFileTakesOnlyAPlainSerial) {
  EXPECT_EQ(TaskUtility.SetSerialNumber("SN-0042", 7), 0);
  EXPECT_EQ(ReadRootFile("SN.txt"), "[SERIAL] SN-0042\n");
  for (const char* bad : {"AB\n[MODEL] X", "two words", "tab\there", ""}) {
    EXPECT_EQ(TaskUtility.SetSerialNumber(bad, int(std::strlen(bad))), -1) << bad;
    EXPECT_EQ(ReadRootFile("SN.txt"), "[SERIAL] SN-0042\n");
  }
  const std::string tooLong(kInfoChars, 'S');
  EXPECT_EQ(TaskUtility.SetSerialNumber(tooLong.c_str(), int(tooLong.size())), -1);
  EXPECT_EQ(TaskUtility.GetSerialNumber(), 0);
  EXPECT_STREQ(SysInformation[kInfoSerial], "SN-0042");
}

TEST_F(Utility, ClearDataRemovesTheInternalSetupsAndWaveformsOnly) {
  WriteRootFile("Data/Storage/Set/Set001.dat", "s");
  WriteRootFile("Data/Storage/Set/Set002.dat", "s");
  WriteRootFile("Data/Storage/Wave/Wave001.wav", "w");
  WriteRootFile("Data/Storage/Keep.txt", "k");
  WriteRootFile("udisk/Storage/Set/Set001.dat", "u");
  ToPage(2);
  bench.Key(kF1);  // Clear Data
  EXPECT_EQ(Page(), kUtiPageClear);
  EXPECT_TRUE(Bits() & kUtiDlgClearData);
  bench.Pass();
  Png("utility-clear-data");
  bench.Key(kF1);  // Sure
  EXPECT_FALSE(RootFileExists("Data/Storage/Set/Set001.dat"));
  EXPECT_FALSE(RootFileExists("Data/Storage/Set/Set002.dat"));
  EXPECT_FALSE(RootFileExists("Data/Storage/Wave/Wave001.wav"));
  EXPECT_TRUE(fs::is_directory(fs::path(plat::RootDir()) / "Data/Storage/Set"));
  EXPECT_TRUE(fs::is_directory(fs::path(plat::RootDir()) / "Data/Storage/Wave"));
  EXPECT_TRUE(RootFileExists("Data/Storage/Keep.txt"));
  EXPECT_TRUE(RootFileExists("udisk/Storage/Set/Set001.dat"));
  EXPECT_TRUE(RootFileExists("Data/Information"));
  EXPECT_EQ(QelMsg.GetMessageID(), 43);
  EXPECT_EQ(Page(), 2);
  EXPECT_FALSE(Bits() & kUtiDlgClearData);
}

TEST_F(Utility, ClockEditorSetsTheSimulatedClockAndTheStatusBarShowsIt) {
  plat::SetWallTime(1909994400);  // 2030-07-11 10:00:00 UTC
  ToPage(2);
  bench.Key(kF2);  // Set Time
  ASSERT_EQ(Page(), kUtiPageTime);
  EXPECT_TRUE(Bits() & kUtiDlgTime);
  for (int i = 0; i < 8; ++i) bench.Key(kRight);  // year 2035 at most
  bench.Key(kSelect);
  bench.Key(kLeft);  // month 6
  bench.Key(kSelect);
  bench.Key(kSelect);
  for (int i = 0; i < 3; ++i) bench.Key(kRight);  // hour 13
  bench.Key(kSelect);
  for (int i = 0; i < 45; ++i) bench.Key(kRight);  // minute 45
  SetTimeData d;
  setTime.GetSetTimeData(&d);
  EXPECT_EQ(d.year, 2035);
  EXPECT_EQ(d.month, 6);
  EXPECT_EQ(d.hour, 13);
  EXPECT_EQ(d.minute, 45);
  bench.Pass();
  EXPECT_TRUE(ShowsText(bench, 184, UtilityDraw.TimeColumn(0), "2035", 6, kText) ||
              ShowsText(bench, 184, UtilityDraw.TimeColumn(0), "2035", 6, kHighlight));
  Png("utility-set-time");
  bench.Key(kF2);  // Sure
  EXPECT_TRUE(bench.ShellRan("date -s \"2035-6-11 13:45:" + std::to_string(d.second) + "\""));
  EXPECT_TRUE(bench.ShellRan("hwclock -w"));
  EXPECT_EQ(Page(), 2);
  EXPECT_FALSE(Bits() & kUtiDlgTime);
  bench.Pass(2);
  const _SysRunInfo& info = *SysRunStatus.GetSysRunInfoBaseAddr();
  EXPECT_EQ(info.year, 2035);
  EXPECT_EQ(info.hour, 13);
  EXPECT_EQ(info.minute, 45);
  EXPECT_TRUE(ShowsText(bench, 447, 743, "13 : 45", 1, kText));
  EXPECT_TRUE(ShowsText(bench, 461, 743, "35.06.11", 1, kText));
}

// The status bar's clock follows the time with nothing else on the screen
// changing: a new minute draws the page again.
TEST_F(Utility, TheStatusBarClockShowsEachNewMinute) {
  plat::HoldVirtualClock(true);
  plat::SetWallTime(1909994430);  // 2030-07-11 10:00:30 UTC
  bench.Pass();                   // the loop takes the clock's new start
  bench.AdvanceMs(1100);          // past its one-second refresh
  bench.Pass(2);
  EXPECT_TRUE(ShowsText(bench, 447, 743, "10 : 00", 1, kText));
  bench.AdvanceMs(30000);  // 10:01:01
  bench.Pass(2);
  EXPECT_TRUE(ShowsText(bench, 447, 743, "10 : 01", 1, kText));
  EXPECT_FALSE(ShowsText(bench, 447, 743, "10 : 00", 1, kText));
  bench.AdvanceMs(23 * 3600 * 1000 + 59 * 60 * 1000);  // 2030-07-12 10:00:01
  bench.Pass(2);
  EXPECT_TRUE(ShowsText(bench, 461, 743, "30.07.12", 1, kText));
}

TEST_F(Utility, AddressEditorEditsTheBytesAndAppliesAStaticAddress) {
  ToPage(2);
  bench.Key(kF3);  // IP Config
  ASSERT_EQ(Page(), kUtiPageIp);
  EXPECT_TRUE(Bits() & kUtiDlgIp);
  bench.Key(kRight);  // last byte 20 -> 21
  bench.Key(kSelect);  // third byte
  bench.Key(kLeft);   // 1 -> 0 becomes 255
  IpAddress a;
  ipConfig.GetIpAddress(&a);
  EXPECT_EQ(a.address[3], 21);
  EXPECT_EQ(a.address[2], 255);
  bench.Pass();
  EXPECT_TRUE(ShowsText(bench, 162, UtilityDraw.IpColumn(0), "192", 5, kText));
  EXPECT_TRUE(ShowsText(bench, 232, UtilityDraw.IpColumn(0), "255", 5, kText));
  Png("utility-ip-config");
  bench.Key(kF4);  // Sure
  EXPECT_EQ(ReadRootFile("etc/network/interfaces"),
            "auto eth0\nauto lo\niface lo inet loopback\niface eth0 inet static\n"
            "address 192.168.255.21\nnetmask 255.255.255.0\niface eth1 inet dhcp\n");
  EXPECT_TRUE(bench.ShellRan("/etc/init.d/networking restart"));
  EXPECT_EQ(bench.EepromByte(EE_IP_ADDRESS + 2), 255);
  EXPECT_EQ(bench.EepromByte(EE_IP_ADDRESS + 3), 21);
  EXPECT_EQ(Page(), 2);
  EXPECT_FALSE(Bits() & kUtiDlgIp);
}

TEST_F(Utility, DhcpTypeStartsAddressAssignment) {
  ToPage(2);
  bench.Key(kF3);
  bench.Key(kF1);  // IP Type: DHCP
  EXPECT_EQ(QelMsg.GetMessageID(), 40);
  EXPECT_EQ(ReadRootFile("etc/network/interfaces"),
            "auto lo\niface lo inet loopback\nauto eth0\niface eth0 inet dhcp\niface eth1 inet dhcp\n");
  EXPECT_EQ(bench.EepromByte(EepromItemAddress(kEeUtility, kUtiIpType)), 1);
  bench.Key(kF4);  // Sure in DHCP mode only tells
  EXPECT_EQ(QelMsg.GetMessageID(), 87);
}

TEST_F(Utility, ScreenshotViewerShowsTheBmpFromTheDisk) {
  plat::SimUsbPlug(true);
  SysRunStatus.SetUsbInsertStatus(1);
  WriteRootFile("udisk/QelPrtSc/A-shot.bmp", Bmp(Stripes));
  WriteRootFile("udisk/QelPrtSc/B-short.bmp", Bmp(Stripes).substr(0, 1000));
  Utility_PrintScreen(kNoKey);
  ASSERT_EQ(Page(), kUtiPagePrtSc);
  bench.Key(kF2);  // Print View
  ASSERT_TRUE(Bits() & kUtiDlgPrtSc);
  bench.Pass();
  const std::vector<uint32_t> s = bench.Screen();
  int same = 0;
  for (int r = 50; r < 380; r += 7)
    for (int c = 10; c < 600; c += 11) same += s[size_t(r) * 800 + size_t(c)] == Stripes(r, c);
  EXPECT_EQ(same, ((380 - 50 + 6) / 7) * ((600 - 10 + 10) / 11));
  Png("utility-screenshot-viewer");
  bench.Key(kF3);  // View Next: the short file is not shown
  bench.Pass();
  EXPECT_NE(bench.Pixel(100, 100), Stripes(100, 100));
  bench.Key(kF3);  // round to the first again
  bench.Pass();
  EXPECT_EQ(bench.Pixel(100, 100), Stripes(100, 100));
  plat::SimUsbPlug(false);
  SysRunStatus.SetUsbInsertStatus(0);
  bench.AdvanceMs(600);  // the next frame
  bench.Pass();
  EXPECT_FALSE(Bits() & kUtiDlgPrtSc);
}

TEST_F(Utility, LanguageItemWritesTheWebLanguageFile) {
  TaskUtility.TaskMenu.SetMenuItem(kUtiLanguage, 1);
  Utility_Language(kNoKey);
  EXPECT_EQ(ReadRootFile("WebServer/static/language.json"), "{\"language\":\"zh\"}");
  EXPECT_EQ(bench.EepromByte(EE_LANGUAGE), 1);
  TaskUtility.TaskMenu.SetMenuItem(kUtiLanguage, 0);
  Utility_Language(kNoKey);
  EXPECT_EQ(ReadRootFile("WebServer/static/language.json"), "{\"language\":\"en\"}");
  EXPECT_EQ(bench.EepromByte(EE_LANGUAGE), 0);
}

TEST_F(Utility, DefaultsAndTheSetupBlock) {
  TaskUtility.Default();
  EXPECT_EQ(bench.EepromByte(161), 2);
  EXPECT_EQ(bench.EepromByte(162), 1);
  EXPECT_EQ(bench.EepromByte(163), 0);
  EXPECT_EQ(bench.EepromByte(165), 1);
  const uint8_t ip[8] = {192, 168, 1, 1, 255, 255, 255, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(bench.EepromByte(166 + i), ip[i]) << i;
  EXPECT_EQ(bench.EepromByte(211), 0);
  EXPECT_EQ(bench.EepromByte(212), 1);

  TaskUtility.TaskMenu.SetMenuItem(kUtiSquare, 3);
  std::vector<uint8_t> buf(4096);
  int32_t status = 0;
  const int used = RunSetupStorage(TaskUtility, 0, &buf, int(buf.size()), 0, &status);
  ASSERT_GT(used, 0);
  EXPECT_EQ(std::memcmp(buf.data(), "TASK-UTILITY\r\n", 14), 0);
  TaskUtility.TaskMenu.SetMenuItem(kUtiSquare, 0);
  RunSetupStorage(TaskUtility, 1, &buf, used, 0, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(TaskUtility.TaskMenu.GetMenuItem(kUtiSquare), 3u);
  EXPECT_EQ(bench.Fpga().Word(64), 3);
}

TEST_F(Utility, LanguageChangeRedrawsTheMenusInChinese) {
  bench.Pass();
  EXPECT_TRUE(ShowsUnicode(bench, u"Language", 190, 676, 280, 800));
  EXPECT_FALSE(ShowsUnicode(bench, u"语言", 190, 676, 280, 800));
  Png("utility-english");
  bench.Key(kF3);  // Language: Simplified Chinese
  ASSERT_EQ(SysRunStatus.GetSysRunInfoBaseAddr()->language, 1);
  EXPECT_EQ(bench.EepromByte(EE_LANGUAGE), 1);
  bench.Pass();
  EXPECT_TRUE(ShowsUnicode(bench, u"语言", 190, 676, 280, 800));
  EXPECT_TRUE(ShowsUnicode(bench, u"自校准", 30, 676, 120, 800));
  EXPECT_FALSE(ShowsUnicode(bench, u"Language", 190, 676, 280, 800));
  Png("utility-chinese");
  // Every module took its texts in the new language.
  bench.Key(64);  // CH1
  bench.Pass();
  EXPECT_TRUE(ShowsUnicode(bench, u"耦合", 30, 676, 120, 800));
  bench.Key(62);  // UTILITY
  bench.Key(kF3);  // back to English
  EXPECT_EQ(SysRunStatus.GetSysRunInfoBaseAddr()->language, 0);
  bench.Pass();
  EXPECT_TRUE(ShowsUnicode(bench, u"Language", 190, 676, 280, 800));
  EXPECT_EQ(ReadRootFile("WebServer/static/language.json"), "{\"language\":\"en\"}");
}

namespace {
// A module's menu as the user meets it: per item its title; empty where an
// item has none.
struct MenuShape {
  std::vector<std::u16string> titles;
};
MenuShape Shape(const task& t) {
  MenuShape m;
  for (int n = 0; n <= t.TaskMenu.GetMaxPage() * 5 + 4; ++n) {
    std::u16string title;
    for (const uint16_t* c = t.TaskMenu.GetMenuItemTitle(n); c && *c; ++c) title.push_back(char16_t(*c));
    m.titles.push_back(title);
  }
  return m;
}
}  // namespace

TEST_F(Utility, EveryMenuHasItsSimplifiedChineseTexts) {
  // Every module with a menu, in English first.
  std::vector<std::pair<int, MenuShape>> english;
  for (int id = 0; id < 64; ++id) {
    const task* t = TaskManage.FindTaskbyId(id);
    if (t && !t->TaskMenu.MenuIsNull() && t->TaskMenu.GetMenuItemTitle(0)) english.push_back({id, Shape(*t)});
  }
  ASSERT_GE(english.size(), 12u);
  bench.Key(kF3);  // Language: Simplified Chinese
  ASSERT_EQ(SysRunStatus.GetSysRunInfoBaseAddr()->language, 1);
  for (const auto& [id, before] : english) {
    const MenuShape after = Shape(*TaskManage.FindTaskbyId(id));
    // The same items, with texts of their own.
    // (Choice counts are left out: some modules narrow them at run time.)
    int translated = 0;
    for (size_t n = 0; n < before.titles.size(); ++n) {
      EXPECT_EQ(after.titles[n].empty(), before.titles[n].empty()) << "task " << id << " item " << n;
      translated += after.titles[n] != before.titles[n];
    }
    EXPECT_GT(translated, 0) << "task " << id << " kept its English menu";
  }
  // On the screen: the storage, math and cursor menus and the storage prompt's texts.
  SysRunStatus.SetMenuDisplayTimeS(3);
  const struct {
    uint8_t key;
    const char16_t* title;
  } shown[] = {{58, u"类型"}, {59, u"类型"}, {60, u"光标"}};
  for (const auto& m : shown) {
    bench.Key(m.key);
    if (!SysRunStatus.IsMenuStatus()) bench.Key(kMenu);
    SysRunStatus.SetDrawRefresh();
    bench.AdvanceMs(600);
    bench.Pass();
    EXPECT_TRUE(ShowsUnicode(bench, m.title, 30, 676, 120, 800)) << int(m.key);
  }
  Png("storage-math-cursor-chinese");
  std::u16string prompt;
  for (const uint16_t* c = TaskStorage.promptTitle; c && *c; ++c) prompt.push_back(char16_t(*c));
  EXPECT_EQ(prompt, u"文件已存在");
}
