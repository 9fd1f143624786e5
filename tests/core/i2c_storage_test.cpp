// The EEPROM store against the simulated devices: byte order, addressing of
// the two devices, bounds, persistence, bus failures and batch writes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "platform/devices/i2c.h"
#include "platform/root.h"
#include "platform/sim/devices/sim_controls.h"
#include "tests/bench/bench.h"

namespace {
class EepromTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(NewTempRoot("scope-eeprom").empty());
    ASSERT_TRUE(I2cStorage.IsOpen());
  }
  static uint8_t Dev(int index) { return plat::SimEepromImage().at(size_t(index)); }
  static std::vector<uint8_t> File() {
    std::ifstream f(plat::DevPath("eeprom.bin"), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
  }
};

TEST_F(EepromTest, FreshRootIsBlank) {
  std::vector<uint8_t> img = plat::SimEepromImage();
  ASSERT_EQ(img.size(), 512u);
  for (uint8_t b : img) EXPECT_EQ(b, 0xFF);
  uint8_t v = 0;
  EXPECT_TRUE(I2cStorage.I2C_TryReadU8(EE_FORMAT_MARK, &v));
  EXPECT_EQ(v, 0xFF);
  EXPECT_EQ(I2cStorage.I2C_ReadU16(EE_TASK_ID), -1);
}

TEST_F(EepromTest, WordsAreBigEndianAndFloatsInMemoryOrder) {
  EXPECT_EQ(I2cStorage.I2C_WriteU16(EE_TASK_ID, 0x1234), 0x1234);
  EXPECT_EQ(Dev(90), 0x12);
  EXPECT_EQ(Dev(91), 0x34);
  I2cStorage.I2C_WriteU32(EE_PRETRIG_DEPTH, 35000000u);  // 0x02160EC0
  EXPECT_EQ(Dev(46), 0x02);
  EXPECT_EQ(Dev(47), 0x16);
  EXPECT_EQ(Dev(48), 0x0E);
  EXPECT_EQ(Dev(49), 0xC0);
  EXPECT_EQ(I2cStorage.I2C_ReadU32(EE_PRETRIG_DEPTH), 35000000u);

  const float f = -12.625f;
  uint8_t mem[4];
  std::memcpy(mem, &f, 4);
  I2cStorage.I2C_WriteF32(180, f);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Dev(180 + i), mem[i]);
  EXPECT_EQ(I2cStorage.I2C_ReadF32(180), f);

  I2cStorage.I2C_WriteU8(137, 0xFF);
  I2cStorage.I2C_WriteU8(138, 0xFE);
  EXPECT_EQ(I2cStorage.I2C_ReadU16(137), -2);
}

TEST_F(EepromTest, TheSecondDeviceStartsAtByteOneAndNothingWraps) {
  I2cStorage.I2C_WriteU8(255, 0x55);
  I2cStorage.I2C_WriteU8(256, 0x66);
  I2cStorage.I2C_WriteU8(510, 0x77);
  EXPECT_EQ(Dev(255), 0x55);        // device 0x50, byte 255
  EXPECT_EQ(Dev(256 + 1), 0x66);    // device 0x51, byte 1
  EXPECT_EQ(Dev(256 + 255), 0x77);  // device 0x51, byte 255
  EXPECT_EQ(Dev(256), 0xFF);        // device 0x51, byte 0 is never used
  EXPECT_EQ(I2cStorage.I2C_ReadU8(256), 0x66);
  EXPECT_EQ(I2cStorage.I2C_ReadU8(510), 0x77);

  const std::vector<uint8_t> before = plat::SimEepromImage();
  const int transfers = plat::SimI2cTransferCount();
  EXPECT_EQ(I2cStorage.I2C_WriteU8(511, 1), 255);
  EXPECT_EQ(I2cStorage.I2C_WriteU8(513, 1), 255);
  EXPECT_EQ(I2cStorage.I2C_WriteU8(-1, 1), 255);
  I2cStorage.I2C_WriteU16(510, 0x0102);      // would pass the end
  I2cStorage.I2C_WriteU32(508, 0x01020304);  // would pass the end
  EXPECT_EQ(plat::SimI2cTransferCount(), transfers);
  EXPECT_EQ(plat::SimEepromImage(), before);
  EXPECT_EQ(I2cStorage.I2C_ReadU8(511), 0);
  uint8_t v = 9;
  EXPECT_FALSE(I2cStorage.I2C_TryReadU8(600, &v));
  EXPECT_EQ(v, 9);
}

TEST_F(EepromTest, WritesArePersistedInTheRoot) {
  I2cStorage.I2C_WriteU8(EE_LANGUAGE, 3);
  I2cStorage.I2C_WriteU16(EE_TASK_ID, 13);
  std::vector<uint8_t> file = File();
  ASSERT_EQ(file.size(), 512u);
  EXPECT_EQ(file[1], 3);
  EXPECT_EQ(file[90], 0);
  EXPECT_EQ(file[91], 13);
  EXPECT_EQ(file[2], 0xFF);
}

TEST_F(EepromTest, AFailingBusIsReportedToTheReader) {
  I2cStorage.I2C_WriteU8(EE_FORMAT_MARK, kEepromFormatMark);
  plat::SimI2cTransfersFail(true);
  uint8_t v = 0;
  EXPECT_FALSE(I2cStorage.I2C_TryReadU8(EE_FORMAT_MARK, &v));
  EXPECT_EQ(I2cStorage.I2C_ReadU8(EE_FORMAT_MARK), 0);
  EXPECT_EQ(I2cStorage.I2C_ReadU32(EE_PRETRIG_DEPTH), 0u);
  I2cStorage.I2C_WriteU8(EE_LANGUAGE, 4);
  plat::SimI2cTransfersFail(false);
  EXPECT_EQ(Dev(EE_LANGUAGE), 0xFF);
  EXPECT_TRUE(I2cStorage.I2C_TryReadU8(EE_FORMAT_MARK, &v));
  EXPECT_EQ(v, kEepromFormatMark);
}

TEST_F(EepromTest, AClosedBusReadsZeroAndWritesNothing) {
  plat::SimI2cOpenFails(true);
  I2C closed;
  EXPECT_FALSE(closed.IsOpen());
  EXPECT_EQ(closed.I2C_Init(), -1);
  EXPECT_EQ(closed.I2C_WriteU8(1, 7), 255);
  closed.I2C_WriteU16(90, 7);
  EXPECT_EQ(closed.I2C_ReadU8(0), 0);
  uint8_t v;
  EXPECT_FALSE(closed.I2C_TryReadU8(0, &v));
  EXPECT_EQ(Dev(1), 0xFF);
  EXPECT_EQ(Dev(91), 0xFF);
  plat::SimI2cOpenFails(false);
  EXPECT_EQ(closed.I2C_Init(), 0);
  EXPECT_EQ(closed.I2C_WriteU8(1, 7), 7);
  EXPECT_EQ(Dev(1), 7);
}

TEST_F(EepromTest, BatchWriteInOrderUntilTheEndMark) {
  iic_item unknown = IicU8(12, 99);
  unknown.type = 7;
  const iic_item list[] = {IicU8(200, 1),          IicU32(196, 20),  IicU16(158, 0x0102),
                           IicF32(180, 1.5f),      unknown,          IicU8(200, 2),
                           IicEnd(),               IicU8(201, 5)};
  EXPECT_EQ(I2cStorage.I2C_BatchWrite(list), 6);
  EXPECT_EQ(Dev(200), 2);  // the later row of the same address wins
  EXPECT_EQ(I2cStorage.I2C_ReadU32(196), 20u);
  EXPECT_EQ(Dev(158), 0x01);
  EXPECT_EQ(Dev(159), 0x02);
  EXPECT_EQ(I2cStorage.I2C_ReadF32(180), 1.5f);
  EXPECT_EQ(Dev(12), 0xFF);   // unknown type skipped
  EXPECT_EQ(Dev(201), 0xFF);  // after the end mark
  EXPECT_EQ(I2cStorage.I2C_BatchWrite(nullptr), 0);
}

TEST_F(EepromTest, BatchWithoutEndMarkStopsAtTheBound) {
  std::vector<iic_item> list;
  for (int i = 0; i < 600; ++i) list.push_back(IicU8(i < 512 ? 10 : 11, uint8_t(i)));
  EXPECT_EQ(I2cStorage.I2C_BatchWrite(list.data(), int(list.size())), 512);
  EXPECT_EQ(Dev(10), uint8_t(511));
  EXPECT_EQ(Dev(11), 0xFF);
  EXPECT_EQ(I2cStorage.I2C_BatchWrite(list.data(), 3), 3);
}

TEST(EepromMap, ItemsLieInTheUsedRangeAndOnlyLinkedCopiesShare) {
  struct Span {
    int first, last;
    EeWidth width;
  };
  std::vector<Span> spans;
  for (const EepromItem& e : kEepromItems) {
    const int last = e.address + EeWidthBytes(e.width) - 1;
    EXPECT_GE(e.address, 1) << e.name;
    EXPECT_LT(last, 244) << e.name;
    for (const Span& s : spans) {
      if (s.first == e.address) {
        EXPECT_EQ(s.width, e.width) << "linked copies at " << e.address;
      } else {
        EXPECT_TRUE(last < s.first || e.address > s.last) << e.name << " overlaps " << s.first;
      }
    }
    spans.push_back({e.address, last, e.width});
    EXPECT_EQ(FindEepromItem(e.task, e.item)->address, e.address);
  }
  EXPECT_EQ(EepromItemAddress(kEeTrigger, 15), 149);
  EXPECT_EQ(EepromItemAddress(kEeCh2, 7), 113);
  EXPECT_EQ(EepromItemAddress(kEeCh1, 4), -1);
}
}  // namespace
