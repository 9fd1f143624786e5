// The menu engine: the generated CH1 text file read back, malformed files,
// key routing, item adjustments, EEPROM write-through and setup images.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "core/board/i2c_storage.h"
#include "core/menu/menu.h"
#include "core/state/task_manage.h"
#include "tests/bench/bench.h"

namespace {

const char kCh1Text[] = "Data/Menu/English/Ch1English.txt";

std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }
std::u16string Text(const uint16_t* t) {
  std::u16string s;
  for (; t && *t; ++t) s.push_back(char16_t(*t));
  return s;
}
std::vector<std::u16string> Options(const MenuOption* o) {
  std::vector<std::u16string> v;
  for (; o && v.size() < 100; o = o->next) v.push_back(Text(o->text));
  return v;
}

// Writes an ASCII text as a UTF-16LE menu file (CR LF lines, byte-order mark).
void WriteUtf16(const std::string& path, const std::string& text, bool bom = true) {
  std::string bytes = bom ? std::string("\xFF\xFE", 2) : std::string();
  for (char c : text) {
    if (c == '\n') bytes += std::string("\r\0", 2);
    bytes += c;
    bytes += '\0';
  }
  std::ofstream(path, std::ios::binary) << bytes;
}

// What the handlers saw.
struct Calls {
  std::vector<std::string> log;
  int pageResult = 0;
} g;

Menu* g_menu = nullptr;

int ItemA(keypara k) {
  g.log.push_back("A" + std::to_string(k.key));
  return 0;
}
int ItemB(keypara k) {
  g.log.push_back("B" + std::to_string(k.key));
  return 0;
}
// Item handlers that adjust their own item, as a module's handlers do.
template <int N>
int Adjust(keypara k) {
  g.log.push_back("adj" + std::to_string(k.key));
  g_menu->AdjMenuItemPara(k, N);
  return 0;
}
template <size_t... N>
constexpr std::array<MenuHandler, sizeof...(N)> AdjustTable(std::index_sequence<N...>) {
  return {Adjust<int(N)>...};
}
constexpr auto kAdjust = AdjustTable(std::make_index_sequence<30>());

int GoPage3(keypara) {
  g_menu->SetCurrPage(15);
  return 0;
}
int PageOp(keypara k) {
  g.log.push_back("page" + std::to_string(k.key));
  return g.pageResult;
}

keypara Key(uint16_t code, int16_t step = 1, uint8_t remote = 0) { return keypara{code, step, remote}; }

void SetItem(menu& m, int n, uint32_t attr, uint32_t width, uint16_t eeprom, MenuHandler h) {
  MenuItem& it = m.pages[n / 5].items[n % 5];
  it.attribute = attr;
  it.width = width;
  it.eeprom = eeprom;
  it.handler = h;
}

// A CH1-like record: the items, EEPROM bytes and widths of the CH1 menu.
void Ch1Record(menu& m) {
  m = menu{};
  const struct {
    int n;
    uint16_t eeprom;
    uint32_t width;
  } items[] = {{0, 95, MENU_U8},   {1, 96, MENU_U8},   {2, 97, MENU_U8},   {3, 99, MENU_U8},
               {4, 0xFFFF, 0},     {5, 215, MENU_U8},  {6, 98, MENU_U8},   {7, 102, MENU_U32},
               {8, 101, MENU_U8},  {9, 0xFFFF, 0},     {10, 223, MENU_U8}, {11, 224, MENU_U8},
               {12, 0xFFFF, 0},    {14, 0xFFFF, 0},    {15, 0xFFFF, 0},    {16, 0xFFFF, 0},
               {19, 0xFFFF, 0},    {25, 217, MENU_U8}, {26, 218, MENU_U8}, {27, 0xFFFF, 0},
               {28, 219, MENU_U8}, {29, 0xFFFF, 0}};
  for (auto& i : items) SetItem(m, i.n, 0x2, i.width, i.eeprom, kAdjust[size_t(i.n)]);
  for (int p : {0, 1, 2, 3, 5}) m.pages[p].handler = PageOp;
}

struct MenuTest : ::testing::Test {
  Bench bench;
  Menu menuObj;
  menu rec{};
  void SetUp() override {
    g = Calls{};
    g_menu = &menuObj;
    Ch1Record(rec);
    bench.SetEeprom(std::vector<uint8_t>(512, 0));  // a formatted, cleared EEPROM
  }
  std::string Path(const std::string& rel) { return bench.Root() + "/" + rel; }
  int Load(const char* path = kCh1Text) { return menuObj.LoadMenu(path, &rec); }
  uint64_t Value(int n) { return menuObj.GetMenuItem(n); }
  MenuItem& It(int n) { return rec.pages[n / 5].items[n % 5]; }
};

// ---- the generated text file ----

TEST_F(MenuTest, GeneratedCh1TextReadsBack) {
  char path[64];
  ASSERT_GT(Menu::MenuTextPath(path, sizeof path, "English", "Ch1"), 0);
  EXPECT_STREQ(path, kCh1Text);
  ASSERT_EQ(Load(path), 0);
  EXPECT_EQ(rec.pageCount, 6);
  EXPECT_EQ(menuObj.GetMaxPage(), 5);
  EXPECT_EQ(Text(menuObj.GetTopMenuTitle()), U("Channel-1"));
  EXPECT_EQ(Text(rec.pages[2].title), U("Label"));

  struct Want {
    int n;
    const char* title;
    std::vector<const char*> options;
  } want[] = {
      {0, "Coupling", {"DC", "AC", "GND"}},
      {1, "BW Limit", {"Off", "On"}},
      {2, "Volts/Div", {"Coarse", "Fine"}},
      {3, "Invert", {"Off", "On"}},
      {4, "Next", {}},
      {5, "ProbeType", {"Voltage", "Current"}},
      {6, "Probe", {"0.001X", "0.01X", "0.1X", "1X", "10X", "100X", "1000X", "Custom"}},
      {7, "Custom", {}},
      {8, "Unit", {"V", "A", "W", "U"}},
      {10, "Label", {"Off", "On"}},
      {11, "Library", {"CH1", "ACK", "ADDR", "BIT", "CLK", "CS", "DATA", "IN", "MISO", "MOSI", "RX", "TX", "Custom"}},
      {12, "Edit", {"None"}},
      {14, "Back", {}},
      {15, "Del", {}},
      {16, "Ok", {}},
      {19, "Back", {}},
      {26, "Probe", {"200X", "100X", "20X", "10X", "Custom"}},
      {28, "Unit", {"V", "A", "W", "U"}},
      {29, "Back", {}},
  };
  for (const Want& w : want) {
    EXPECT_EQ(Text(menuObj.GetMenuItemTitle(w.n)), U(w.title)) << w.n;
    std::vector<std::u16string> opts;
    for (const char* o : w.options) opts.push_back(U(o));
    EXPECT_EQ(Options(menuObj.GetMenuItemList(w.n)), opts) << w.n;
    EXPECT_EQ(menuObj.GetMenuItemMaxSel(w.n), int(w.options.size())) << w.n;
  }
  for (int n : {13, 17, 18, 20, 21, 22, 23, 24}) {  // empty slots
    EXPECT_EQ(menuObj.GetMenuItemTitle(n), nullptr) << n;
    EXPECT_EQ(menuObj.GetMenuItemList(n), nullptr) << n;
  }
  EXPECT_EQ(menuObj.GetMenuItemTitle(30), nullptr);  // beyond the pages read
}

TEST_F(MenuTest, LanguageListNamesTheTextFolders) {
  char names[kMenuLanguages][kMenuLanguageBytes] = {}, types[kMenuLanguages][kMenuLanguageBytes] = {};
  ASSERT_EQ(Menu::LoadLanguageCountry("Data/Menu/Language.txt", names, types), 2);
  EXPECT_STREQ(names[0], "English");
  EXPECT_STREQ(types[0], "Western");
  EXPECT_STREQ(names[1], "Chinese");
  EXPECT_STREQ(types[1], "Chinese");
}

TEST_F(MenuTest, LanguageListIsBoundedAndRefusesPathNames) {
  std::string text = "junk\n[LANGUAGE]\n../../etc,Western\nA B,Western\n";
  for (int i = 0; i < 25; ++i) text += "L" + std::to_string(i) + ",Other\n";
  WriteUtf16(Path("lang.txt"), text);
  char names[kMenuLanguages][kMenuLanguageBytes] = {}, types[kMenuLanguages][kMenuLanguageBytes] = {};
  testing::internal::CaptureStdout();
  EXPECT_EQ(Menu::LoadLanguageCountry("lang.txt", names, types), 20);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("line 3"), std::string::npos) << out;
  EXPECT_STREQ(names[0], "AB");  // blanks skipped
  EXPECT_STREQ(names[1], "L0");
  EXPECT_STREQ(names[19], "L18");
  EXPECT_STREQ(types[19], "Other");
  WriteUtf16(Path("nolist.txt"), "English,Western\n");
  EXPECT_EQ(Menu::LoadLanguageCountry("nolist.txt", names, types), -1);
}

TEST_F(MenuTest, NoTitleItemsAndForeignLines) {
  WriteUtf16(Path("m.txt"),
             "#P0\n$^First\n@Second\n@0\n$0\n*other reader's text\n$T\n@a\n@0\n$0\n$0\n"
             "#P1\n$0\n$0\n$0\n$0\n$x\n@0\n&more text\n");
  ASSERT_EQ(Load("m.txt"), 0);
  EXPECT_EQ(rec.pageCount, 2);
  EXPECT_EQ(menuObj.GetMenuItemTitle(0), nullptr);
  EXPECT_EQ(Options(menuObj.GetMenuItemList(0)), (std::vector<std::u16string>{u"First", u"Second"}));
  EXPECT_EQ(menuObj.GetMenuItemMaxSel(0), 2);
  EXPECT_EQ(Text(menuObj.GetMenuItemTitle(2)), u"T");
  EXPECT_EQ(menuObj.GetMenuItemMaxSel(2), 1);
  EXPECT_EQ(menuObj.GetMenuItemMaxSel(9), 0);  // no choices: taken as one
}

TEST_F(MenuTest, MalformedFilesAreRefusedAndTheOldTextsStay) {
  ASSERT_EQ(Load(), 0);
  const uint16_t* title = menuObj.GetMenuItemTitle(0);
  struct Bad {
    const char* name;
    std::string text;
    bool bom;
    const char* message;
  } bad[] = {
      {"missing", "", true, nullptr},
      {"empty", "", false, "byte-order mark"},
      {"nobom", "#P\n$0\n$0\n$0\n$0\n$0\n", false, "byte-order mark"},
      {"short", "#P\n$0\n$0\n$0\n$0\n#Q\n$0\n$0\n$0\n$0\n$0\n", true, "line 6: a page has fewer"},
      {"open", "#P\n$A\n@x\n", true, "ends inside an item"},
      {"cut", "#P\n$0\n$0\n", true, "before the fifth item"},
      {"sixth", "#P\n$0\n$0\n$0\n$0\n$0\n$0\n", true, "line 7: a sixth item"},
      {"stray", "@x\n#P\n$0\n$0\n$0\n$0\n$0\n", true, "line 1: a choice outside"},
      {"early", "$A\n@0\n", true, "before the first page"},
      {"nested", "#P\n$A\n$B\n", true, "inside the previous one"},
      {"nopage", "just text\n", true, "no page"},
  };
  for (const Bad& b : bad) {
    const std::string file = std::string(b.name) + ".txt";
    if (std::string(b.name) != "missing") WriteUtf16(Path(file), b.text, b.bom);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Load(file.c_str()), -1) << b.name;
    std::string out = testing::internal::GetCapturedStdout();
    const char* message = b.message ? b.message : "Open missing.txt failed!";
    EXPECT_NE(out.find(message), std::string::npos) << b.name << ": " << out;
    EXPECT_EQ(menuObj.GetMenuItemTitle(0), title) << b.name;
    EXPECT_EQ(Text(title), u"Coupling");
    EXPECT_EQ(rec.pageCount, 6);
  }
  // An odd byte count is a cut 16-bit unit.
  { std::ofstream(Path("odd.txt"), std::ios::binary) << std::string("\xFF\xFE#\0P", 5); }
  EXPECT_EQ(Load("odd.txt"), -1);
  // 61 pages.
  std::string many;
  for (int p = 0; p < 61; ++p) many += "#P\n$0\n$0\n$0\n$0\n$0\n";
  WriteUtf16(Path("many.txt"), many);
  EXPECT_EQ(Load("many.txt"), -1);
  // The module keeps working.
  EXPECT_EQ(menuObj.MenuOp(Key(49)), 0);
  EXPECT_EQ(g.log.back(), "page49");
}

TEST_F(MenuTest, WithoutTextsTheMenuStillWorksAndKeepsItsSettings) {
  bench.SetEepromByte(95, 2);
  EXPECT_EQ(Load("Data/Menu/English/none.txt"), -1);
  EXPECT_FALSE(menuObj.MenuIsNull());
  EXPECT_EQ(rec.pageCount, 6);  // the pages the record defines
  EXPECT_EQ(Value(0), 2u);
  EXPECT_EQ(menuObj.GetTopMenuTitle(), nullptr);
  EXPECT_EQ(menuObj.LoadMenu(nullptr, &rec), -1);
  EXPECT_EQ(menuObj.LoadMenu(kCh1Text, nullptr), -1);
}

TEST_F(MenuTest, ReloadKeepsValuesAndDropsResetTexts) {
  bench.SetEepromByte(96, 1);
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(Value(1), 1u);
  static const uint16_t label[] = {'A', 'B', 0};
  EXPECT_EQ(menuObj.ReSetMenuString(&rec, 12, label), 0);
  EXPECT_EQ(Options(menuObj.GetMenuItemList(12)), (std::vector<std::u16string>{u"AB"}));
  menuObj.SetMenuItem(1, 0);
  bench.SetEepromByte(96, 1);
  rec.currPage = 3;
  ASSERT_EQ(menuObj.ReLoadMenu(kCh1Text, &rec), 0);
  EXPECT_EQ(Value(1), 0u);  // kept, not read again
  EXPECT_EQ(rec.currPage, 0);
  EXPECT_EQ(Options(menuObj.GetMenuItemList(12)), (std::vector<std::u16string>{u"None"}));
}

// ---- EEPROM write-through ----

TEST_F(MenuTest, SetMenuItemWritesTheItemWidth) {
  ASSERT_EQ(Load(), 0);
  SetItem(rec, 20, 0x2, MENU_U16, 158, nullptr);
  SetItem(rec, 21, 0x2, 3, 160, nullptr);  // a width that is not stored
  bench.SetEepromByte(160, 0x11);
  EXPECT_EQ(menuObj.SetMenuItem(0, 0x1234), 0);
  EXPECT_EQ(menuObj.SetMenuItem(20, 0xABCDFFFE), 0);
  EXPECT_EQ(menuObj.SetMenuItem(7, ItemParaFromF32(2.5f) | 0x7700000000ull), 0);
  EXPECT_EQ(menuObj.SetMenuItem(21, 0x99), 0);
  EXPECT_EQ(menuObj.SetMenuItem(4, 0x55), 0);  // no EEPROM address
  EXPECT_EQ(menuObj.SetMenuItem(-1, 5), 0xFFFF);
  EXPECT_EQ(menuObj.SetMenuItem(300, 5), 0xFFFF);
  EXPECT_EQ(bench.EepromByte(95), 0x34);
  EXPECT_EQ(bench.EepromWord(158), 0xFFFE);
  uint32_t f = uint32_t(ItemParaFromF32(2.5f));
  EXPECT_EQ(bench.EepromByte(102), f >> 24);
  EXPECT_EQ(bench.EepromByte(105), f & 0xFF);
  EXPECT_EQ(bench.EepromByte(160), 0x11);
  EXPECT_EQ(Value(20), 0xABCDFFFEu);  // all 8 bytes kept in the item
  EXPECT_EQ(Value(4), 0x55u);
  EXPECT_EQ(Value(-1), 0xFFFFu);
  // LoadMenu reads them back with their widths.
  menu again{};
  Ch1Record(again);
  SetItem(again, 20, 0x2, MENU_U16, 158, nullptr);
  Menu other;
  ASSERT_EQ(other.LoadMenu(kCh1Text, &again), 0);
  EXPECT_EQ(other.GetMenuItem(0), 0x34u);
  EXPECT_EQ(other.GetMenuItem(20), 0xFFFEu);
  EXPECT_FLOAT_EQ(ItemParaF32(other.GetMenuItem(7)), 2.5f);
}

TEST_F(MenuTest, SetCurrPageWritesByte92) {
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(menuObj.SetCurrPage(27), 0);
  EXPECT_EQ(menuObj.GetCurrPage(), 5);
  EXPECT_EQ(bench.EepromByte(92), 5);
  EXPECT_EQ(menuObj.SetCurrPage(-1), -1);
  EXPECT_EQ(menuObj.GetCurrPage(), 5);
  menuObj.SaveCurrPage();
  menuObj.SetCurrPage(0);
  EXPECT_EQ(menuObj.GetSavePage(), 5);
  // The indicator comes from the page id: pages in the group, place from 1.
  int cur = -1, count = -1;
  menuObj.GetMenuPageIndicator(&cur, &count);
  EXPECT_EQ(count, 0);  // id 0: none
  rec.pages[0].id = 0x0302;
  menuObj.GetMenuPageIndicator(&cur, &count);
  EXPECT_EQ(cur, 1);
  EXPECT_EQ(count, 3);
}

// ---- key routing ----

TEST_F(MenuTest, SoftKeyRunsItsItemThenThePageAndRemembersThePage) {
  ASSERT_EQ(Load(), 0);
  SetItem(rec, 1, 0x2, 0, 0xFFFF, ItemA);
  g.pageResult = 7;
  bench.SetEepromByte(92, 9);
  EXPECT_EQ(menuObj.MenuOp(Key(50)), 7);
  EXPECT_EQ(g.log, (std::vector<std::string>{"A50", "page50"}));
  EXPECT_EQ(bench.EepromByte(92), 0);
}

TEST_F(MenuTest, EmptySlotRunsOnlyThePageHandler) {
  ASSERT_EQ(Load(), 0);
  rec.currPage = 2;
  bench.SetEepromByte(92, 9);
  menuObj.MenuOp(Key(52));  // slot 13 is empty
  EXPECT_EQ(g.log, (std::vector<std::string>{"page52"}));
  EXPECT_EQ(bench.EepromByte(92), 2);
}

TEST_F(MenuTest, PageBitsAndHandlersChooseThePageShownNext) {
  ASSERT_EQ(Load(), 0);
  SetItem(rec, 4, 0x1 | MENU_ATTR_NEXT_PAGE, 0, 0xFFFF, ItemA);
  SetItem(rec, 9, 0x1 | MENU_ATTR_PAGE0, 0, 0xFFFF, ItemA);
  SetItem(rec, 14, 0x1, 0, 0xFFFF, GoPage3);
  menuObj.MenuOp(Key(53));
  EXPECT_EQ(menuObj.GetCurrPage(), 1);
  EXPECT_EQ(bench.EepromByte(92), 1);
  menuObj.MenuOp(Key(53));
  EXPECT_EQ(menuObj.GetCurrPage(), 0);
  EXPECT_EQ(bench.EepromByte(92), 0);
  rec.currPage = 2;
  menuObj.MenuOp(Key(53));  // the handler moves to page 3
  EXPECT_EQ(menuObj.GetCurrPage(), 3);
  EXPECT_EQ(bench.EepromByte(92), 3);
}

TEST_F(MenuTest, KnobGoesToTheFocusItem) {
  ASSERT_EQ(Load(), 0);
  SetItem(rec, 1, 0x12, 0, 0xFFFF, ItemA);
  SetItem(rec, 3, 0x12, 0, 0xFFFF, ItemB);
  menuObj.MenuOp(Key(76));
  EXPECT_EQ(g.log, (std::vector<std::string>{"B76", "page76"}));  // the last with 0x10
  SetItem(rec, 2, 0x32, 0, 0xFFFF, ItemA);
  SetItem(rec, 0, 0x30, 0, 0xFFFF, ItemB);  // both bits, earlier slot
  g.log.clear();
  menuObj.MenuOp(Key(72));
  EXPECT_EQ(g.log, (std::vector<std::string>{"B72", "page72"}));
  rec.currPage = 3;  // no focus item
  g.log.clear();
  menuObj.MenuOp(Key(77));
  EXPECT_EQ(g.log, (std::vector<std::string>{"page77"}));
}

TEST_F(MenuTest, OpenPopUpTakesTheKnobOtherKeysCloseIt) {
  ASSERT_EQ(Load(), 0);
  SetItem(rec, 3, 0x12, 0, 0xFFFF, ItemB);  // focus item
  menuObj.MenuOp(Key(49));                   // coupling: 3 choices, opens the list
  EXPECT_TRUE(menuObj.MenuItemIsPop(0));
  g.log.clear();
  menuObj.MenuOp(Key(77));
  EXPECT_EQ(g.log, (std::vector<std::string>{"adj77", "page77"}));
  EXPECT_EQ(menuObj.GetMenuPopItemSel(), 1);
  menuObj.MenuOp(Key(64));  // any other key closes the list
  EXPECT_FALSE(menuObj.MenuIsPop(nullptr));
  menuObj.MenuOp(Key(49));
  EXPECT_TRUE(menuObj.MenuItemIsPop(0));
  menuObj.MenuOp(Key(50));  // another item's soft key closes it
  EXPECT_FALSE(menuObj.MenuItemIsPop(0));
  MenuPopInfo info{};
  menuObj.MenuOp(Key(49));
  EXPECT_EQ(menuObj.MenuIsPop(&info), 1);
  EXPECT_EQ(info.item, 0);
  EXPECT_GT(info.time.tv_sec, 0);
  Menu none;
  EXPECT_EQ(none.MenuOp(Key(49)), -1);
}

// ---- item adjustments ----

TEST_F(MenuTest, TwoChoicesToggleOnTheSoftKey) {
  ASSERT_EQ(Load(), 0);
  menuObj.MenuOp(Key(50));
  EXPECT_EQ(Value(1), 1u);
  EXPECT_EQ(bench.EepromByte(96), 1);
  menuObj.MenuOp(Key(50));
  EXPECT_EQ(Value(1), 0u);
  EXPECT_EQ(bench.EepromByte(96), 0);
}

TEST_F(MenuTest, ListOpensThenSoftKeyStepsOverMaskedChoices) {
  ASSERT_EQ(Load(), 0);
  menuObj.SetItemParaAttribute(0, 0x2);  // choice 1 hidden
  bench.SetEepromByte(95, 0x77);
  menuObj.MenuOp(Key(49));  // opens, no change, nothing written
  EXPECT_EQ(Value(0), 0u);
  EXPECT_EQ(bench.EepromByte(95), 0x77);
  std::vector<uint64_t> seen;
  for (int i = 0; i < 3; ++i) {
    menuObj.MenuOp(Key(49));
    seen.push_back(Value(0));
  }
  EXPECT_EQ(seen, (std::vector<uint64_t>{2, 0, 2}));
  EXPECT_EQ(bench.EepromByte(95), 2);
  EXPECT_EQ(menuObj.GetMenuPopItemSel(), 2);
}

TEST_F(MenuTest, KnobWrapsOverMaskedChoicesAndPushTakesTheCursor) {
  ASSERT_EQ(Load(), 0);
  rec.currPage = 1;
  menuObj.SetItemParaAttribute(6, 1u << 7);  // custom probe hidden
  menuObj.MenuOp(Key(50));                     // probe: opens the list at 0
  menuObj.MenuOp(Key(76));                     // below the first: the last unmasked
  EXPECT_EQ(menuObj.GetMenuPopItemSel(), 6);
  EXPECT_EQ(Value(6), 0u);
  menuObj.MenuOp(Key(77));  // 7 is masked: on to 0
  EXPECT_EQ(menuObj.GetMenuPopItemSel(), 0);
  menuObj.MenuOp(Key(77, 3, 1));  // remote keys move by their step
  EXPECT_EQ(menuObj.GetMenuPopItemSel(), 3);
  menuObj.MenuOp(Key(77, 3, 0));  // panel keys by one
  EXPECT_EQ(menuObj.GetMenuPopItemSel(), 4);
  menuObj.MenuOp(Key(72));
  EXPECT_EQ(Value(6), 4u);
  EXPECT_EQ(bench.EepromByte(98), 4);
  EXPECT_FALSE(menuObj.MenuIsPop(nullptr));
}

TEST_F(MenuTest, NoKeyRewritesAndFrozenIgnoresEveryKey) {
  ASSERT_EQ(Load(), 0);
  menuObj.SetMenuItem(0, 0xABCD0002ull);
  bench.SetEepromByte(95, 0);
  EXPECT_EQ(menuObj.AdjMenuItemPara(Key(255), 0), 2);
  EXPECT_EQ(bench.EepromByte(95), 2);
  EXPECT_EQ(Value(0), 0xABCD0002ull);
  menuObj.MenuOp(Key(49));
  menuObj.MenuOp(Key(49));
  EXPECT_EQ(Value(0), 0xABCD0000ull);  // upper bytes kept
  It(1).attribute |= MENU_ATTR_FROZEN;
  menuObj.SetMenuItem(1, 1);
  bench.SetEepromByte(96, 9);
  for (uint16_t k : {50, 72, 76, 77, 255}) EXPECT_EQ(menuObj.AdjMenuItemPara(Key(k), 1), 1);
  EXPECT_EQ(bench.EepromByte(96), 9);
  EXPECT_EQ(menuObj.AdjMenuItemPara(Key(50), -1), 0xFFFF);
  EXPECT_EQ(menuObj.AdjMenuItemPara(Key(50), 300), 0xFFFF);
}

TEST_F(MenuTest, LinkedItemsTakeTheNewValue) {
  ASSERT_EQ(Load(), 0);
  const int list[] = {5, 25, -1};
  EXPECT_EQ(menuObj.AdjMenuLinkageItemPara(&rec, Key(50), 1, list), 1);
  EXPECT_EQ(Value(5), 1u);
  EXPECT_EQ(Value(25), 1u);
  EXPECT_EQ(bench.EepromByte(215), 1);
  EXPECT_EQ(bench.EepromByte(217), 1);
}

TEST_F(MenuTest, TimeItemSteps) {
  SetItem(rec, 40, 0x2, MENU_NOT_STORED, 0xFFFF, nullptr);
  menuObj.Attach(&rec);
  auto step = [&](uint64_t v, uint16_t key, int16_t s, uint32_t extra = 0) {
    It(40).attribute = 0x2 | extra;
    menuObj.SetMenuItem(40, v);
    return menuObj.AdjMenuTimePara(&rec, Key(key, s), 40);
  };
  EXPECT_EQ(step(1, 77, 1), 1u);        // cannot go below 1
  EXPECT_EQ(step(1, 77, 100), 1u);
  EXPECT_EQ(step(100, 76, 1), 101u);    // d < 1000: half the step, at least 1
  EXPECT_EQ(step(100, 76, 8), 104u);
  EXPECT_EQ(step(100, 77, 8), 96u);
  EXPECT_EQ(step(1000, 76, 5), 1015u);  // d in the thousands: 3 s
  EXPECT_EQ(step(1000, 76, 20), 2200u); // fast: 60 s
  EXPECT_EQ(step(1500, 77, 20), 1440u); // but not below 1000 at once
  EXPECT_EQ(step(5000, 77, 20), 3800u);
  EXPECT_EQ(step(1000, 76, 4, MENU_ATTR_TIME_RAW), 1002u);  // d from the value itself
  EXPECT_EQ(step(1000000, 76, 1), 1003000u);
  EXPECT_EQ(step(1000000, 76, 20), 2200000u);
  EXPECT_EQ(step(1500000, 77, 20), 1440000u);
  EXPECT_EQ(step(1000000000, 77, 2), 994000000u);
  EXPECT_EQ(step(1000, 72, 9), 1000u);  // other keys leave it
  EXPECT_EQ(Value(40), 1000u);
  EXPECT_EQ(step(5000, 77, -4), 4997u);  // a negative step counts as 1
}

// ---- setup images ----

TEST_F(MenuTest, SetupImageRoundTrip) {
  ASSERT_EQ(Load(), 0);
  for (int n = 0; n < 30; ++n) menuObj.SetMenuItem(n, 0x0102030405060700ull + uint64_t(n));
  std::vector<uint8_t> image(240 + 8, 0xEE);
  EXPECT_EQ(menuObj.MenuAllItemCopyMem(&rec, image.data(), image.size()), 240);
  EXPECT_EQ(image[8], 0x01);  // item 1, little-endian
  EXPECT_EQ(image[15], 0x01);
  EXPECT_EQ(image[14], 0x02);
  EXPECT_EQ(image[240], 0xEE);
  for (int n = 0; n < 30; ++n) menuObj.SetMenuItem(n, 0);
  EXPECT_EQ(menuObj.MenCopytoMenuAllItem(&rec, image.data(), 240), 240);
  for (int n = 0; n < 30; ++n) EXPECT_EQ(Value(n), 0x0102030405060700ull + uint64_t(n)) << n;
  EXPECT_EQ(menuObj.MenuAllItemCopyMem(&rec, image.data(), 239), -1);
  EXPECT_EQ(menuObj.MenCopytoMenuAllItem(&rec, image.data(), 200), -1);  // a cut setup block
  EXPECT_EQ(Value(3), 0x0102030405060703ull);
  EXPECT_EQ(menuObj.MenuAllItemCopyMem(nullptr, image.data(), 240), -1);
  EXPECT_EQ(menuObj.MenCopytoMenuAllItem(&rec, nullptr, 240), -1);
}

// ---- another module's menu ----

TEST_F(MenuTest, OtherModulesItemsThroughTheRegistry) {
  TaskNotBuilt ch1;
  RegisterRow row{6, "CH1", &ch1, nullptr};
  TaskManage.TaskRegister(&row, nullptr);
  ASSERT_EQ(ch1.TaskMenu.LoadMenu(kCh1Text, &rec), 0);
  Menu asker;
  EXPECT_EQ(asker.SetTaskMenuItem(6, 1, 1), 0);
  EXPECT_EQ(asker.GetTaskMenuItem(6, 1), 1u);
  EXPECT_EQ(bench.EepromByte(96), 1);
  EXPECT_EQ(asker.SetTaskCurrPage(6, 10), 0);
  EXPECT_EQ(asker.GetTaskCurrPage(6), 2);
  EXPECT_EQ(asker.GetTaskMaxPage(6), 5);
  EXPECT_EQ(asker.SetTaskItemParaAttribute(6, 0, 4), 0);
  EXPECT_EQ(ch1.TaskMenu.GetItemParaAttribute(0), 4);
  EXPECT_EQ(asker.GetTaskMenuItem(21, 1), 0xFFFFu);
  EXPECT_EQ(asker.GetTaskItemAttribute(7, 1), -1);  // nothing registered there
}

}  // namespace
