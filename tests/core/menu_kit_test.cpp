// The module kit: a static menu built from definition rows (widths and EEPROM
// places from the map, the values it starts with), stored values clamped to
// the rows' ranges, and the setup-file block every module writes and reads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/board/eeprom_map.h"
#include "core/menu/menu_def.h"
#include "core/state/setup_block.h"
#include "tests/bench/bench.h"
#include "tests/bench/eeprom_addresses.h"

namespace {
int Nop(keypara) { return 0; }

// Rows in the shape of the CH1 menu's first page and a page of numbers.
const MenuItemDef kRows[] = {
    {0, "Coupling", kMenuChoice, 3, Nop, MenuChoices(1)},
    {1, "BW Limit", kMenuChoice, 2, Nop, MenuChoices()},
    {3, "Invert", kMenuChoice, 2, Nop, MenuChoices(), MenuStore::kNotStored},
    {4, "Next", kMenuAction, 1, Nop},
    {7, "Custom", kMenuKeypadNumber | MENU_FMT_RATIO, 1, Nop},
    {10, "Bright", kMenuPercent, 0, Nop, MenuLimits(30, 10, 100)},
};

struct MenuKit : ::testing::Test {
  Bench bench;
  Menu m;
  menu rec{};
  void SetUp() override {
    bench.SetEeprom(std::vector<uint8_t>(512, 0));
    DefineMenuItems(&rec, kEeCh1, kRows);
    rec.pageCount = 3;
    m.Attach(&rec);
  }
  const MenuItem& It(int n) const { return rec.pages[n / kMenuSlots].items[n % kMenuSlots]; }
  int Value(int n) const { return int(uint16_t(m.GetMenuItem(n))); }
};

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// The block a menu of three pages writes: label, CR LF, 15 little-endian
// 8-byte values, CR LF.
std::vector<uint8_t> ExpectedBlock(const std::string& label, const std::vector<uint64_t>& values) {
  std::vector<uint8_t> out = Bytes(label + "\r\n");
  for (int n = 0; n < 15; ++n) {
    const uint64_t v = n < int(values.size()) ? values[size_t(n)] : 0;
    for (int b = 0; b < 8; ++b) out.push_back(uint8_t(v >> (8 * b)));
  }
  for (uint8_t c : Bytes("\r\n")) out.push_back(c);
  return out;
}

// A module that owns the record above and stores it as "TASK-KIT".
struct KitModule : TaskNotBuilt {
  menu* record = nullptr;
  int loads = 0;
  int Stroage(taskresponse* r) override {
    return RunSetupBlock(
        r, [this](SetupFileRecord* rec) { return SaveMenuBlock(rec, "TASK-KIT", TaskMenu, record); },
        [this](SetupFileRecord* rec) {
          if (!LoadMenuBlock(*rec, "TASK-KIT", TaskMenu, record)) return false;
          ++loads;
          return true;
        });
  }
  int OpResponse(taskresponse* r) override { return r->key.key == KEY_WORD_STORAGE ? Stroage(r) : 0; }
};
}  // namespace

TEST_F(MenuKit, RowsTakeTheirPlaceWidthAndStartValueFromTheMap) {
  EXPECT_EQ(It(0).eeprom, ee::kCh1Coupling);
  EXPECT_EQ(It(0).width, uint32_t(MENU_U8));
  EXPECT_EQ(It(7).eeprom, ee::kCh1Custom);
  EXPECT_EQ(It(7).width, uint32_t(MENU_U32));
  EXPECT_EQ(It(3).eeprom, kMenuNoEeprom);  // the map has it; the row keeps it out
  EXPECT_EQ(It(4).eeprom, kMenuNoEeprom);
  EXPECT_EQ(It(0).attribute, 0x4000006u);
  EXPECT_EQ(It(7).attribute, 0x4020072u);
  EXPECT_EQ(It(10).attribute, 0x4004016u);
  EXPECT_EQ(It(4).attribute, 0x1u);
  EXPECT_STREQ(It(10).name, "Bright");
  EXPECT_EQ(It(0).value.raw, 1u);
  EXPECT_EQ(It(10).value.raw, 30u);
  EXPECT_EQ(It(0).handler, &Nop);
  EXPECT_EQ(It(2).attribute, 0u);  // no row: an empty slot

  const MenuItemDef unnamed[] = {{12, nullptr, kMenuAction, 1, Nop}};
  DefineMenuItems(&rec, -1, unnamed);
  EXPECT_STREQ(It(12).name, "Item12");
}

TEST_F(MenuKit, ValuesOutsideTheirRangeTakeTheInitialAndAreStored) {
  m.SetMenuItem(0, 3);  // one past the three choices
  m.SetMenuItem(1, 1);  // a choice
  m.SetMenuItem(3, 7);
  m.SetMenuItem(7, 0xDEADBEEF);  // no range: a float ratio stays as it is
  m.SetMenuItem(10, 5);          // below 10
  EXPECT_EQ(m.ClampItems(), 3);
  EXPECT_EQ(Value(0), 1);
  EXPECT_EQ(bench.EepromByte(ee::kCh1Coupling), 1);
  EXPECT_EQ(Value(1), 1);
  EXPECT_EQ(Value(3), 0);
  EXPECT_EQ(uint32_t(m.GetMenuItem(7)), 0xDEADBEEFu);
  EXPECT_EQ(Value(10), 30);
  EXPECT_EQ(m.ClampItems(), 0);

  // A choice range follows the choice count in force (the loaded texts').
  m.SetMenuItemMaxSel(0, 5);
  m.SetMenuItem(0, 4);
  EXPECT_EQ(m.ClampItems(), 0);
  m.SetMenuItem(10, 100);
  EXPECT_EQ(m.ClampItems(), 0);
  m.SetMenuItem(10, 101);
  EXPECT_EQ(m.ClampItems(), 1);
}

TEST_F(MenuKit, BlockIsLabelImageAndLineEnds) {
  KitModule t;
  t.record = &rec;
  t.TaskMenu.Attach(&rec);
  t.TaskMenu.SetMenuItem(0, 2);
  t.TaskMenu.SetMenuItem(10, 55);
  std::vector<uint8_t> file(400, 0xEE);
  std::memcpy(file.data(), "HEAD", 4);
  int32_t status = 1;
  const int used = RunSetupStorage(t, 0, &file, int(file.size()), 4, &status);
  EXPECT_EQ(status, 0);
  const std::vector<uint8_t> want = ExpectedBlock("TASK-KIT", {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 55});
  ASSERT_EQ(used, 4 + int(want.size()));
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 4, file.begin() + used), want);
  EXPECT_EQ(file[size_t(used)], 0xEE);

  // Too little room: nothing written, `used` kept, failure reported.
  std::vector<uint8_t> small(want.size() - 1, 0xEE);
  EXPECT_EQ(RunSetupStorage(t, 0, &small, int(small.size()), 0, &status), 0);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(small, std::vector<uint8_t>(want.size() - 1, 0xEE));
  // No buffer, or a direction that is neither save nor load.
  EXPECT_EQ(RunSetupStorage(t, 0, nullptr, 400, 0, &status), 0);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(RunSetupStorage(t, 2, &file, int(file.size()), 0, &status), 0);
  EXPECT_EQ(status, -1);
}

TEST_F(MenuKit, LoadTakesTheWholeBlockAfterItsLabelLineOnly) {
  KitModule t;
  t.record = &rec;
  t.TaskMenu.Attach(&rec);
  int32_t status = 0;
  // Another block first, and the label once without its line end.
  std::vector<uint8_t> file = Bytes("TASK-OTHER\r\nxyzTASK-KIT??");
  const std::vector<uint8_t> block = ExpectedBlock("TASK-KIT", {1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 77});
  file.insert(file.end(), block.begin(), block.end());
  RunSetupStorage(t, 1, &file, int(file.size()), 0, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(t.loads, 1);
  EXPECT_EQ(Value(0), 1);
  EXPECT_EQ(Value(3), 1);
  EXPECT_EQ(Value(10), 77);

  // Cut one byte into the image: refused, the values stay.
  std::vector<uint8_t> cut = Bytes("TASK-KIT\r\n");
  cut.insert(cut.end(), 119, 9);
  RunSetupStorage(t, 1, &cut, int(cut.size()), 0, &status);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(Value(10), 77);
  // No block at all, or a length beyond nothing.
  std::vector<uint8_t> none = Bytes("TASK-KI");
  RunSetupStorage(t, 1, &none, int(none.size()), 0, &status);
  EXPECT_EQ(status, -1);
  RunSetupStorage(t, 1, &file, 0, 0, &status);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(t.loads, 1);
}
