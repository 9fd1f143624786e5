// Bus trigger patterns longer than one byte, and a whole extended CAN
// identifier: the simulated traffic holds near-misses before the frame the
// condition names, and the trigger must land on that frame, where the
// instrument's own decode of the record puts its bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/models/trig_system.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "platform/sim/bus/sim_bus.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"
#include "trigger/analog/task_trigger.h"
#include "trigger/bus/bus_patterns.h"
#include "trigger/decode/bus_decode.h"

namespace {
constexpr int kLineLevelCode = 10;  // 0.4 div above 0 V: between the lines' levels
// Items of the bus pages.
constexpr int kI2cScl = 126, kI2cSda = 127, kI2cWhen = 130, kI2cBytes = 140;
constexpr int kCanWhen = 200, kCanBaud = 205, kCanFormat = 210, kCanBytes = 215;
constexpr int kI2cWhenData = 5, kCanWhenId = 5, kCanWhenData = 6, kCanWhenIdData = 7, kCanBaud100k = 11;
// The screen's middle at 500 us/div, where the trigger puts its point.
constexpr double kMiddleNs = 3.5e6, kSlackNs = 2000;

struct BusPattern : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(10, 0, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    plat::HoldVirtualClock(true);
    SetWaveTestSettings();
    bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  }
  void Traffic(const std::string& line) {
    plat::TestSignal s[plat::kSignalInputs];
    std::string error;
    ASSERT_TRUE(plat::SimBusSignals(line, s, &error)) << error;
    for (int i = 0; i < 2; ++i)
      if (s[i].shape == plat::SignalShape::kBus) bench.Fpga().SetSignal(i, s[i]);
  }
  void Type(int t) {
    for (int i = 0; i < kTrigTypes; ++i) TaskTrigger.SetItem(LinkageItem[i], uint64_t(t));
    TaskTrigger.TaskMenu.SetCurrPage(LinkageItem[t]);
    Trigger_TypeSelect(keypara{KEY_NO_KEY, 0, 0});
  }
  // The settings to the board and an acquisition whose search starts in the
  // quiet part of the traffic's 20 ms period, then the passes that decode it.
  void Acquire() {
    for (int ch = 0; ch < 2; ++ch) Trigger.SetTriggerPos(ch, 1, kLineLevelCode);
    TaskTrigger.TriggerTypeParaRefresh();
    bench.Pass();
    bench.Fpga().SetSignalTime(15e-3);
    ASSERT_TRUE(bench.Fpga().AcquireNow());
    ASSERT_TRUE(bench.Fpga().LastAcquisition().triggered);
    bench.Pass(2);
  }
  std::vector<DecodeEntry> Entries() {
    std::lock_guard<std::mutex> lock(DecodeTablesLock());
    return std::vector<DecodeEntry>(Decode_data_info,
                                    Decode_data_info + DecodeRows(Decode_data_num, kDecodeEntries));
  }
  // The end of the n-th entry (from 0) carrying `data`, -1 when there is none.
  double EndOf(uint32_t data, int n) {
    for (const DecodeEntry& x : Entries())
      if (x.data == data && x.event != kEvCrc && n-- == 0) return double(x.end);
    return -1;
  }
  // A pattern of bits, most significant first, into an editor's bit buffer.
  static void Bits(char* out, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) out[i] = char(value >> (count - 1 - i) & 1);
  }
};

TEST_F(BusPattern, I2cDataOfTwoBytesFiresOnlyWhereBothMatch) {
  // Four frames that share the first byte and miss in the second, then the one named.
  Traffic("i2c rate=100000 interval=0.02 data=50w:a5.03,50w:a5.00,50w:a5.81,50w:a5.ff,50w:a5.01");
  Type(kTrigI2c);
  TaskTrigger.SetItem(kI2cScl, 0);
  TaskTrigger.SetItem(kI2cSda, 1);
  TaskTrigger.SetItem(kI2cWhen, kI2cWhenData);
  TaskTrigger.SetItem(kI2cBytes, 1);  // two bytes
  std::fill(std::begin(I2cDataHex), std::end(I2cDataHex), 0);
  std::fill(std::begin(I2cDataMask), std::end(I2cDataMask), 0);
  I2cDataHex[0] = 0xA5, I2cDataHex[1] = 0x01;
  Acquire();
  EXPECT_NEAR(EndOf(0x01, 0), kMiddleNs, kSlackNs);  // the last frame's second byte
  // A don't-care bit in the second byte: the first frame (a5.03) matches a5.01/02.
  I2cDataMask[1] = 0x02;
  Acquire();
  EXPECT_NEAR(EndOf(0x03, 0), kMiddleNs, kSlackNs);
}

TEST_F(BusPattern, CanDataAndIdentifierWithDataCompareEveryByte) {
  Traffic("can rate=100000 interval=0.02 data=123:11.23,123:11.32,124:11.22,123:11.22");
  Type(kTrigCan);
  TaskTrigger.SetItem(kCanBaud, kCanBaud100k);
  TaskTrigger.SetItem(kCanFormat, 0);
  TaskTrigger.SetItem(kCanBytes, 1);  // two bytes
  std::fill(CANID_bin_data, CANID_bin_data + kCanIdBits, 0);
  std::fill(CANDATA_bin_data, CANDATA_bin_data + kFrameDataBits, 0);
  Bits(CANID_bin_data, 0x123, 11);
  Bits(CANDATA_bin_data, 0x1122, 16);
  TaskTrigger.SetItem(kCanWhen, kCanWhenData);
  Acquire();
  EXPECT_NEAR(EndOf(0x22, 0), kMiddleNs, kSlackNs);  // 124:11.22, the first frame with both bytes
  TaskTrigger.SetItem(kCanWhen, kCanWhenIdData);
  Acquire();
  EXPECT_NEAR(EndOf(0x22, 1), kMiddleNs, kSlackNs);  // 123:11.22, the last
  TaskTrigger.SetItem(kCanWhen, 0);
  TaskTrigger.SetItem(kCanFormat, 0);
}

TEST_F(BusPattern, AnExtendedCanIdentifierComparesAll29Bits) {
  Traffic("can rate=100000 interval=0.02 data=1abcdeex:01,1abcdedx:02,1abcdecx:03,1abcdefx:04");
  Type(kTrigCan);
  TaskTrigger.SetItem(kCanBaud, kCanBaud100k);
  TaskTrigger.SetItem(kCanFormat, 1);
  std::fill(CANID_bin_data, CANID_bin_data + kCanIdBits, 0);
  Bits(CANID_bin_data, 0x1ABCDEF, kCanIdBits);
  TaskTrigger.SetItem(kCanWhen, kCanWhenId);
  Acquire();
  double idEnd = -1;
  for (const DecodeEntry& x : Entries())
    if (x.event == kEvExtId && x.data == 0x1ABCDEFu) idEnd = double(x.end);
  EXPECT_NEAR(idEnd, kMiddleNs, kSlackNs);
  TaskTrigger.SetItem(kCanWhen, 0);
  TaskTrigger.SetItem(kCanFormat, 0);
}
}  // namespace
