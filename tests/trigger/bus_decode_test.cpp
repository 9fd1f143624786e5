// Bus decode: the FPGA's records turned into entries and CAN/LIN frames, and
// the simulated board's serial traffic decoded into exactly what was sent,
// the bus trigger landing on the frame its condition names.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/state/sys_run_info.h"
#include "acquisition/tables/timebase_tables.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "platform/clock.h"
#include "platform/sim/bus/sim_bus.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"
#include "trigger/decode/bus_decode.h"
#include "trigger/bus/bus_patterns.h"
#include "trigger/analog/task_trigger.h"

namespace {
// One record as the FPGA lays it out.
void Record(std::vector<uint8_t>* out, uint8_t code, int32_t start, uint32_t data, int32_t end,
            uint32_t marker = kDecodeMarker) {
  const uint32_t s = uint32_t(start), e = uint32_t(end);
  const uint8_t r[16] = {uint8_t(marker >> 16), uint8_t(marker >> 8), uint8_t(marker), code,
                         uint8_t(s >> 24), uint8_t(s >> 16), uint8_t(s >> 8), uint8_t(s),
                         uint8_t(data >> 24), uint8_t(data >> 16), uint8_t(data >> 8), uint8_t(data),
                         uint8_t(e >> 24), uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e)};
  out->insert(out->end(), r, r + 16);
}

TEST(BusDecodeAnalysis, RecordsBecomeEntriesWithTimesAndMappedEvents) {
  std::vector<uint8_t> b;
  Record(&b, 130, -100, 0x41, 50);
  Record(&b, 4, 0, 1, 2, 0xAAA55B);  // bad marker: dropped
  Record(&b, 138, 10, 0x3C, 20);
  Record(&b, 200, 30, 7, 40);
  Record(&b, 4, 41, 8, 42);
  AnalysisDecodeRecords(b.data(), int(b.size()), kTrigRs232, 10.0);
  ASSERT_EQ(Decode_data_num, 4);
  EXPECT_EQ(Decode_data_info[0].event, kEvDataRed);
  EXPECT_EQ(Decode_data_info[0].start, -1000);
  EXPECT_EQ(Decode_data_info[0].end, 500);
  EXPECT_EQ(Decode_data_info[0].data, 0x41u);
  EXPECT_EQ(Decode_data_info[1].event, kEvIdFlagged);
  EXPECT_EQ(Decode_data_info[2].event, kEvData);
  EXPECT_EQ(Decode_data_info[3].event, kEvDataRed);
  // Five bytes or fewer leave the tables as they were.
  AnalysisDecodeRecords(b.data(), 5, kTrigRs232, 10.0);
  EXPECT_EQ(Decode_data_num, 4);
}

TEST(BusDecodeAnalysis, CanAndLinFramesAreAssembledAndBounded) {
  std::vector<uint8_t> b;
  Record(&b, 10, 0, 0x123, 1);  // ID
  Record(&b, 6, 1, 2, 2);       // DLC
  Record(&b, 2, 2, 0xAB, 3);
  Record(&b, 2, 3, 0xCD, 4);
  Record(&b, 7, 4, 0x1A2B, 5);  // CRC
  Record(&b, 30, 5, 0, 6);      // ACK
  Record(&b, 8, 7, 0, 8);       // error frame
  Record(&b, 5, 9, 0x1ABCDEF, 10);
  for (int i = 0; i < 12; ++i) Record(&b, 2, 11 + i, uint32_t(i), 12 + i);  // more than 8 bytes
  Record(&b, 30, 30, 1, 31);
  AnalysisDecodeRecords(b.data(), int(b.size()), kTrigCan, 1.0);
  ASSERT_EQ(can_num, 3);
  EXPECT_EQ(can_info[0].kind, 0);
  EXPECT_EQ(can_info[0].id, 0x123u);
  EXPECT_EQ(can_info[0].count, 2);
  EXPECT_EQ(can_info[0].data[1], 0xCD);
  EXPECT_EQ(can_info[0].crc, 0x1A2B);
  EXPECT_EQ(can_info[1].kind, 1);
  EXPECT_EQ(can_info[2].id, 0x1ABCDEFu);
  EXPECT_EQ(can_info[2].count, 8);  // the ninth byte on is not stored
  EXPECT_EQ(can_info[2].data[7], 7);
  EXPECT_EQ(can_info[2].ack, 1);

  b.clear();
  Record(&b, 12, 0, 0, 1);
  Record(&b, 13, 1, 0x55, 2);
  Record(&b, 10, 2, 0x3C, 3);
  Record(&b, 2, 3, 0x11, 4);
  Record(&b, 15, 4, 0x8E, 5);  // checksum error
  Record(&b, 28, 5, 0x54, 6);  // sync error
  Record(&b, 138, 6, 0x10, 7);
  Record(&b, 14, 7, 0x22, 8);
  AnalysisDecodeRecords(b.data(), int(b.size()), kTrigLin, 1.0);
  ASSERT_EQ(lin_num, 2);
  EXPECT_EQ(lin_info[0].id, 0x3C);
  EXPECT_EQ(lin_info[0].sync, 0x55);
  EXPECT_EQ(lin_info[0].count, 1);
  EXPECT_EQ(lin_info[0].checksumError, 1);
  EXPECT_EQ(lin_info[1].syncError, 1);
  EXPECT_EQ(lin_info[1].count, 0);

  // 300 frames: the count keeps growing, readers clamp to the rows used.
  b.clear();
  for (int i = 0; i < 300; ++i) {
    Record(&b, 10, i, uint32_t(i), i);
    Record(&b, 30, i, 0, i);
  }
  AnalysisDecodeRecords(b.data(), int(b.size()), kTrigCan, 1.0);
  EXPECT_EQ(can_num, 300);
  EXPECT_EQ(DecodeRows(can_num, kFrameRowsUsed), 256);
  EXPECT_EQ(can_info[0].id, 256u);  // the row index wrapped
}

// ---- the simulated traffic, decoded by the instrument ----

constexpr int kLineLevelCode = 10;

struct BusTraffic : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(10, 0, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    plat::HoldVirtualClock(true);  // each search starts where Refresh sets the signals
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
  // The bus settings of the traffic the board sends: RS232 positive (idle
  // high), 8 bits LSB first; I2C SCL on CH1, SDA on CH2; SPI clock on CH1 and
  // MOSI on CH2, data taken on the rising clock, MOSI positive, 8-bit words
  // MSB first, 10 us idle ending a frame; LIN version 2. At 500 us/div the
  // samples are 1 us apart: the rates leave ten or more samples a bit.
  void Uart8N1() {
    TaskTrigger.SetItem(121, 0);  // When: start of frame, and no parity, whatever an earlier case chose
    TaskTrigger.SetItem(120, 0);
    TaskTrigger.SetItem(115, 1);
    TaskTrigger.SetItem(116, 3);
    TaskTrigger.SetItem(117, 1);
  }
  void I2cLines() {
    TaskTrigger.SetItem(126, 0);
    TaskTrigger.SetItem(127, 1);
  }
  void SpiMode0() {
    TaskTrigger.SetItem(161, 0);
    TaskTrigger.SetItem(163, 1);
    TaskTrigger.SetItem(167, 1);
    TaskTrigger.SetItem(168, 1);
    TaskTrigger.SetItem(171, 1);
    TaskTrigger.SetItem(172, 8);
    TaskTrigger.SetItem(175, 2500);
  }
  void LinVersion2() { TaskTrigger.SetItem(225, 1); }
  // The settings to the board, then an acquisition and the passes that read it.
  // Each line's comparator level (the driving level, word 88): 10 codes
  // (0.4 div) above 0 V, between the traffic's low and high levels.
  void Refresh() {
    for (int ch = 0; ch < 2; ++ch) Trigger.SetTriggerPos(ch, 1, kLineLevelCode);
    TaskTrigger.TriggerTypeParaRefresh();
    bench.Pass();
    bench.Fpga().SetSignalTime(kQuietS);
    ASSERT_TRUE(bench.Fpga().AcquireNow());
    bench.Pass(2);
  }
  // Every traffic repeats each 20 ms, its burst in the first few ms: a search
  // that starts 15 ms into the period finds the first event of the next burst.
  static constexpr double kQuietS = 15e-3;
  // Whether an entry (or its end) lies at `ns`: where the trigger put it.
  static bool AnyAt(const std::vector<DecodeEntry>& e, double ns, bool end = false) {
    for (const DecodeEntry& x : e)
      if (std::abs(double(end ? x.end : x.start) - ns) < 2000) return true;
    return false;
  }
  std::vector<DecodeEntry> Entries() {
    std::lock_guard<std::mutex> lock(DecodeTablesLock());

    return std::vector<DecodeEntry>(Decode_data_info, Decode_data_info + DecodeRows(Decode_data_num, kDecodeEntries));
  }
};

TEST_F(BusTraffic, UartBytesWithAWrongParityDecodeAsSentAndLineUpWithTheTrigger) {
  Traffic("uart rate=9600 parity=even interval=0.02 error=2 data=48,69,21");
  Type(kTrigRs232);
  Uart8N1();
  TaskTrigger.SetItem(112, 2);  // 9600
  TaskTrigger.SetItem(120, 2);  // even
  Refresh();
  const std::vector<DecodeEntry> e = Entries();
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].data, 0x48u);
  EXPECT_EQ(e[0].event, kEvData);
  EXPECT_EQ(e[1].data, 0x69u);
  EXPECT_EQ(e[1].event, kEvDataRed);  // the wrong parity
  EXPECT_EQ(e[2].data, 0x21u);
  // Start of frame: a byte starts at the trigger, the screen's middle (3.5 ms
  // from its left edge at 500 us/div); 11 bits at 9600 baud each.
  EXPECT_TRUE(AnyAt(e, 3.5e6));
  EXPECT_NEAR(double(e[0].end - e[0].start), 11 / 9600.0 * 1e9, 2000);
}


// The entry whose end lies at the trigger (the screen's middle at 500 us/div).
constexpr double kMiddleNs = 3.5e6, kSlackNs = 2000;

TEST_F(BusTraffic, UartDataConditionTriggersOnTheByteSent) {
  Traffic("uart rate=9600 interval=0.02 data=48,69,21");
  Type(kTrigRs232);
  Uart8N1();
  TaskTrigger.SetItem(112, 2);
  TaskTrigger.SetItem(121, 3);  // When: data
  TaskTrigger.SetItem(122, 0x69);
  Refresh();
  const std::vector<DecodeEntry> e = Entries();
  ASSERT_GE(e.size(), 2u);
  EXPECT_EQ(e[1].data, 0x69u);
  EXPECT_NEAR(double(e[1].end), kMiddleNs, kSlackNs);
}

TEST_F(BusTraffic, I2cAddressesDataAndAMissingAckDecodeAsSent) {
  Traffic("i2c rate=100000 interval=0.02 error=2 data=50w:a5.01,23w:42.43");
  Type(kTrigI2c);
  I2cLines();
  TaskTrigger.SetItem(130, 4);  // When: address
  TaskTrigger.SetItem(136, 0x23);
  Refresh();
  const std::vector<DecodeEntry> e = Entries();
  ASSERT_EQ(e.size(), 5u);
  const uint8_t events[] = {kEvAddrWrite, kEvData, kEvData, kEvAddrWrite, kEvDataRed};
  const uint32_t data[] = {0x50, 0xA5, 0x01, 0x23, 0x42};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(e[i].event, events[i]) << i;
    EXPECT_EQ(e[i].data, data[i]) << i;
  }
  EXPECT_NEAR(double(e[3].end), kMiddleNs, kSlackNs);  // the address condition's frame
}

TEST_F(BusTraffic, SpiWordsDecodeAsSent) {
  Traffic("spi rate=100000 width=8 interval=0.02 data=a5,3c,0f");
  Type(kTrigSpi);
  SpiMode0();
  Refresh();
  const std::vector<DecodeEntry> e = Entries();
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].data, 0xA5u);
  EXPECT_EQ(e[1].data, 0x3Cu);
  EXPECT_EQ(e[2].data, 0x0Fu);
  EXPECT_TRUE(AnyAt(e, kMiddleNs));  // a word starts at the trigger
  EXPECT_NEAR(double(e[0].end - e[0].start), 80000, kSlackNs);
}

TEST_F(BusTraffic, CanFramesWithABadCrcBecomeFrameRows) {
  Traffic("can rate=100000 interval=0.02 error=2 data=123:11.22,1abcdefx:01,7ffr");
  Type(kTrigCan);
  TaskTrigger.SetItem(205, 11);  // 100 kbit/s
  TaskTrigger.SetItem(200, 9);   // When: missing acknowledge
  Refresh();
  std::lock_guard<std::mutex> lock(DecodeTablesLock());
  ASSERT_EQ(can_num, 4);
  EXPECT_EQ(can_info[0].kind, 0);
  EXPECT_EQ(can_info[0].id, 0x123u);
  EXPECT_EQ(can_info[0].dlc, 2);
  ASSERT_EQ(can_info[0].count, 2);
  EXPECT_EQ(can_info[0].data[0], 0x11);
  EXPECT_EQ(can_info[0].data[1], 0x22);
  EXPECT_EQ(can_info[0].ack, 0);
  EXPECT_EQ(can_info[1].id, 0x1ABCDEFu);
  EXPECT_EQ(can_info[1].count, 1);
  EXPECT_EQ(can_info[1].ack, 1);  // not acknowledged: its CRC is wrong
  EXPECT_NE(can_info[1].crc, can_info[0].crc);
  EXPECT_EQ(can_info[2].kind, 1);  // the receivers' error frame
  EXPECT_EQ(can_info[3].id, 0x7FFu);
  EXPECT_EQ(can_info[3].count, 0);  // a remote frame
  // The trigger sits at the end of the missing ACK.
  int ack = -1;
  for (int i = 0; i < Decode_data_num; ++i)
    if (Decode_data_info[i].event == kEvAck && Decode_data_info[i].data == 1) ack = i;
  ASSERT_GE(ack, 0);
  EXPECT_NEAR(double(Decode_data_info[ack].end), kMiddleNs, kSlackNs);
}

TEST_F(BusTraffic, LinFramesWithABadChecksumBecomeFrameRows) {
  Traffic("lin rate=50000 interval=0.02 version=2 error=2 data=21:11.22,10:05");
  Type(kTrigLin);
  LinVersion2();
  TaskTrigger.SetItem(226, 6);  // the user baud
  TaskTrigger.SetItem(227, 50000);
  Refresh();
  std::lock_guard<std::mutex> lock(DecodeTablesLock());
  ASSERT_EQ(lin_num, 2);
  EXPECT_EQ(lin_info[0].id, 0x21);
  EXPECT_EQ(lin_info[0].sync, 0x55);
  ASSERT_EQ(lin_info[0].count, 2);
  EXPECT_EQ(lin_info[0].data[1], 0x22);
  // Enhanced checksum over the protected identifier and the data, worked out
  // by hand: 0x21 with parity bits P0 = 1, P1 = 0 is 0x61; 0x61 + 0x11 +
  // 0x22 = 0x94, inverted 0x6B.
  EXPECT_EQ(lin_info[0].checksum, 0x6B);
  EXPECT_EQ(lin_info[0].checksumError, 0);
  EXPECT_EQ(lin_info[1].id, 0x10);
  EXPECT_EQ(lin_info[1].checksumError, 1);
  // A frame's break at the trigger, then 14 bits of break and 10 of sync
  // before its identifier.
  const double id = kMiddleNs + 24 / 50000.0 * 1e9;
  EXPECT_TRUE(std::abs(double(lin_info[0].start) - id) < kSlackNs || std::abs(double(lin_info[1].start) - id) < kSlackNs);
}

}  // namespace

namespace {
// The bus lane: each decoded byte's shape lies over the columns of its time
// on the screen, white for a good byte and red for the wrong parity.
TEST_F(BusTraffic, TheLaneDrawsEachByteWhereItsFrameLies) {
  Traffic("uart rate=9600 parity=even interval=0.02 error=2 data=48,69,21");
  Type(kTrigRs232);
  Uart8N1();
  TaskTrigger.SetItem(112, 2);
  TaskTrigger.SetItem(120, 2);
  TaskTrigger.SetItem(145, 1);  // Bus state on
  Refresh();
  SysRunStatus.SetDrawRefresh();
  bench.Pass(2);
  ASSERT_TRUE(bench.WriteScreenPng(::testing::TempDir() + "decode_rs232.png"));
  const std::vector<DecodeEntry> e = Entries();
  ASSERT_EQ(e.size(), 3u);
  const int row = 225 - 160;                    // the lane at its default position
  const double nsPerColumn = 500e-6 / 50 * 1e9;  // 500 us/div
  for (int i = 0; i < 3; ++i) {
    const int c = int(double(e[i].start) / nsPerColumn) + 30, w = int(double(e[i].end - e[i].start) / nsPerColumn);
    const uint32_t colour = i == 1 ? 0xE81439 : 0xFFFFFF;
    // The top edge of the hexagon between its points, the middle free of it.
    EXPECT_EQ(bench.Pixel(row - 5, c + 15), colour) << i;  // the menu tab covers the third one's right end
    EXPECT_EQ(bench.Pixel(row + 14, c + 12), colour) << i;
    EXPECT_NE(bench.Pixel(row - 5, c + 2), colour) << i;  // the left point rises from the middle rows
    if (i < 2) {
      EXPECT_EQ(bench.Pixel(row + 14, c + w - 12), colour) << i;
    }
  }
}
}  // namespace

namespace {
// The CAN frame list over the traces: one row per frame, its ACK column red
// for the frame that was not acknowledged.
TEST_F(BusTraffic, TheCanListShowsTheFramesSent) {
  Traffic("can rate=100000 interval=0.02 error=2 data=123:11.22,1abcdefx:01,7f0r");
  Type(kTrigCan);
  TaskTrigger.SetItem(205, 11);
  TaskTrigger.SetItem(145, 1);
  TaskTrigger.SetItem(147, 1);  // the list
  Refresh();
  SysRunStatus.SetDrawRefresh();
  bench.Pass(2);
  ASSERT_TRUE(bench.WriteScreenPng(::testing::TempDir() + "decode_can.png"));
  // The header row in its colour, and a red digit in the ACK column of row 2.
  bool header = false, redAck = false, redAckRow1 = false;
  for (int c = 113; c < 160; ++c)
    for (int r = 111; r < 125; ++r) header = header || bench.Pixel(r, c) == 0xFFCC00;
  for (int c = 573; c < 600; ++c)
    for (int r = 0; r < 16; ++r) {
      redAck = redAck || bench.Pixel(134 + 22 + r, c) == 0xE81439;
      redAckRow1 = redAckRow1 || bench.Pixel(134 + r, c) == 0xE81439;
    }
  EXPECT_TRUE(header);
  EXPECT_TRUE(redAck);
  EXPECT_FALSE(redAckRow1);
}
}  // namespace

namespace {
// The zoomed view: the lane in the zoom pane, the main screen's window
// columns stretched over the pane's 700.
TEST_F(BusTraffic, TheZoomedLaneDrawsTheBytesOfTheWindow) {
  Traffic("uart rate=9600 parity=even interval=0.02 data=48,69,21");
  Type(kTrigRs232);
  Uart8N1();
  TaskTrigger.SetItem(112, 2);
  TaskTrigger.SetItem(120, 2);
  TaskTrigger.SetItem(145, 1);
  TaskTrigger.SetItem(147, 0);  // no event list over the lane, whatever an earlier case chose
  Refresh();
  ASSERT_EQ(TimeBase.ZoomInit(1), 0);
  SysRunStatus.SetTimeBaseType(1);
  SysRunStatus.SetDrawRefresh();
  bench.Pass();
  ASSERT_TRUE(bench.WriteScreenPng(::testing::TempDir() + "decode_rs232_zoom.png"));
  const HorizontalBlock& h = SysRunInfo.horizontal[0];
  const double first = double(h.zoomScreenFirst), last = double(h.zoomScreenLast);
  ASSERT_GT(last, first);
  const double nsPerMainColumn = 500e-6 / 50 * 1e9, stretch = 700 / (last - first);
  const int row = int(190 - 0.8 * 160 + 107);
  const std::vector<DecodeEntry> e = Entries();
  ASSERT_GE(e.size(), 2u);
  int shown = 0;
  for (const DecodeEntry& x : e) {
    EXPECT_TRUE(x.data == 0x48 || x.data == 0x69 || x.data == 0x21) << x.data;
    const double c = (double(x.start) / nsPerMainColumn - first) * stretch;
    const double w = double(x.end - x.start) / nsPerMainColumn * stretch;
    if (c < 0 || c + w > 700) continue;
    ++shown;
    EXPECT_EQ(bench.Pixel(row - 5, int(c) + 30 + 15), 0xFFFFFFu) << x.data;  // the top edge
    EXPECT_EQ(bench.Pixel(row + 14, int(c + w) + 30 - 15), 0xFFFFFFu) << x.data;  // the bottom edge
  }
  EXPECT_GE(shown, 1);
  ASSERT_EQ(TimeBase.ZoomInit(0), 0);
  SysRunStatus.SetTimeBaseType(0);
}

// A stopped record viewed at a slower time base fills only the middle
// columns: the lane keeps to them, each byte where its frame lies.
TEST_F(BusTraffic, TheStoppedLaneKeepsToTheRecordsColumns) {
  Traffic("uart rate=9600 parity=even interval=0.02 data=48,69,21");
  Type(kTrigRs232);
  Uart8N1();
  TaskTrigger.SetItem(112, 2);
  TaskTrigger.SetItem(120, 2);
  TaskTrigger.SetItem(145, 1);
  Refresh();
  SysRunStatus.SetAcquireStatus(0, kAcqStopped);
  ASSERT_EQ(TimeBase.AdjTimeBase(0, 3), 0);
  const HorizontalBlock& h = SysRunInfo.horizontal[0];
  const int first = h.firstColumn, last = h.lastColumn;
  ASSERT_GT(first, 20);
  ASSERT_LT(last, 680);
  SysRunStatus.SetDrawRefresh();
  bench.Pass();
  ASSERT_TRUE(bench.WriteScreenPng(::testing::TempDir() + "decode_rs232_stopped.png"));
  const int line = 225 - 160 + 3;  // the lane's base line
  for (int c = 30; c < 30 + first - 1; c += 7) EXPECT_NE(bench.Pixel(line, c), 0xFFFFFFu) << c;
  for (int c = 30 + last + 2; c < 730; c += 7) EXPECT_NE(bench.Pixel(line, c), 0xFFFFFFu) << c;
  // Each byte where its frame lies in the record, now 100 us a column: too
  // narrow for a label, an outline 20 rows high from 4 above the lane's row.
  const std::vector<DecodeEntry> e = Entries();
  ASSERT_FALSE(e.empty());
  for (const DecodeEntry& x : e) {
    const int c = 30 + first + int(double(x.start) / 100e3);
    if (c >= 30 + last) continue;
    EXPECT_EQ(bench.Pixel(225 - 160 - 4 + 10, c), 0xFFFFFFu) << x.data;  // its left side
  }
  SysRunStatus.SetAcquireStatus(0, 0);
}

// SPI frames: words after an idle gap at least the idle time long start a
// frame; the data condition compares the frame's first bits with the pattern
// and fires at the end of the word that completes it.
TEST_F(BusTraffic, SpiDataConditionFiresWhereTheFramesPatternEnds) {
  Traffic("spi rate=100000 width=8 interval=0.02 data=a5,3c,0f");
  Type(kTrigSpi);
  SpiMode0();
  auto pattern = [](const char* bits) {
    std::fill(SPI_bin_data, SPI_bin_data + kSpiBits, 0);
    for (int i = 0; bits[i]; ++i) SPI_bin_data[i] = char(bits[i] == 'X' ? kBitAny : bits[i] - '0');
  };
  TaskTrigger.SetItem(173, 1);  // idle, then data
  TaskTrigger.SetItem(171, 1);  // MSB first, as the traffic is sent
  TaskTrigger.SetItem(172, 8);
  TaskTrigger.SetItem(176, 1);    // one word
  TaskTrigger.SetItem(175, 2500);  // 10 us idle: the 4-bit gaps end frames, every word starts one
  pattern("00001111");            // 0f, the third word
  Refresh();
  std::vector<DecodeEntry> e = Entries();
  ASSERT_EQ(e.size(), 3u);
  EXPECT_NEAR(double(e[2].end), kMiddleNs, kSlackNs);

  // 100 us idle: only the burst's first word starts a frame, so a pattern of
  // two words begins with it; a5 3X fires at the end of the second word.
  TaskTrigger.SetItem(175, 25000);
  TaskTrigger.SetItem(176, 2);
  pattern("101001010011XXXX");
  Refresh();
  e = Entries();
  ASSERT_EQ(e.size(), 3u);
  EXPECT_NEAR(double(e[1].end), kMiddleNs, kSlackNs);

  // Without data, a frame's start: the first word starts at the trigger.
  TaskTrigger.SetItem(173, 0);
  Refresh();
  e = Entries();
  ASSERT_EQ(e.size(), 3u);
  EXPECT_NEAR(double(e[0].start), kMiddleNs, kSlackNs);
}

// LIN: the error condition fires at the frame whose checksum is wrong; the
// identifier condition at the identifier chosen.
TEST_F(BusTraffic, LinErrorAndIdentifierConditionsFireAtTheirFrame) {
  Traffic("lin rate=50000 interval=0.02 version=2 error=2 data=21:11.22,10:05,33:44");
  Type(kTrigLin);
  LinVersion2();
  const uint64_t when = TaskTrigger.Item(230), parity = TaskTrigger.Item(228);
  TaskTrigger.SetItem(226, 6);
  TaskTrigger.SetItem(227, 50000);
  TaskTrigger.SetItem(230, 6);  // When: error
  Refresh();
  auto endOf = [this](uint8_t event) {
    std::lock_guard<std::mutex> lock(DecodeTablesLock());
    for (int i = 0; i < Decode_data_num; ++i)
      if (Decode_data_info[i].event == event) return double(Decode_data_info[i].end);
    return -1.0;
  };
  EXPECT_NEAR(endOf(kEvCheckError), kMiddleNs, kSlackNs);

  TaskTrigger.SetItem(230, 1);   // When: identifier
  TaskTrigger.SetItem(228, 0);   // six identifier bits, no parity
  const char id[] = {1, 1, 0, 0, 1, 1};  // 0x33
  std::copy(id, id + 6, LINID_bin_data);
  Refresh();
  double idEnd = -1;
  for (const DecodeEntry& x : Entries())
    if (x.event == kEvId && x.data == 0x33) idEnd = double(x.end);
  EXPECT_NEAR(idEnd, kMiddleNs, kSlackNs);
  // Items the EEPROM does not keep outlive the test: back as they were.
  TaskTrigger.SetItem(230, when);
  TaskTrigger.SetItem(228, parity);
}
}  // namespace

namespace {
// The error conditions of traffic that carries them: a UART framing error, an
// I2C repeated start and a CAN stuff error, each at the screen's middle.
TEST_F(BusTraffic, FramingRepeatedStartAndStuffErrorsTrigger) {
  auto startOf = [this](uint8_t event, uint32_t data, bool end) {
    for (const DecodeEntry& x : Entries())
      if (x.event == event && x.data == data) return double(end ? x.end : x.start);
    return -1.0;
  };
  Traffic("uart rate=9600 interval=0.02 error=2:framing data=48,69,21");
  Type(kTrigRs232);
  Uart8N1();
  TaskTrigger.SetItem(112, 2);
  TaskTrigger.SetItem(121, 1);  // When: frame error
  Refresh();
  EXPECT_NEAR(startOf(kEvDataViolet, 0x69, true), kMiddleNs, kSlackNs);

  Traffic("i2c rate=100000 interval=0.02 error=1:restart data=50w:a5,23r:42");
  Type(kTrigI2c);
  I2cLines();
  TaskTrigger.SetItem(130, 1);  // When: repeated start
  Refresh();
  // The address after it begins half a bit (5 us) later, where SCL falls.
  EXPECT_NEAR(startOf(kEvAddrRead, 0x23, false), kMiddleNs + 5000, kSlackNs);

  Traffic("can rate=100000 interval=0.02 error=2:stuff data=123:11,100:00.00,7f0:01");
  Type(kTrigCan);
  TaskTrigger.SetItem(205, 11);
  TaskTrigger.SetItem(200, 10);  // When: bit-stuffing error
  Refresh();
  EXPECT_NEAR(startOf(kEvBitError, 0, false), kMiddleNs, kSlackNs);
}
}  // namespace

namespace {
// A stopped 7K record longer than the screen: the time base made faster
// (200 us/div: 4 us a column, 2.8 ms of the 7 ms record), then the position
// moved. The lane keeps each byte at its time in the record: the window
// shown starts 2.1 ms after the acquired screen's start, plus the trigger
// offset the moves gave.
TEST_F(BusTraffic, TheStoppedLaneFollowsTheRecordMovedOnTheScreen) {
  Traffic("uart rate=9600 parity=even interval=0.02 data=48,69,21");
  Type(kTrigRs232);
  Uart8N1();
  TaskTrigger.SetItem(112, 2);
  TaskTrigger.SetItem(120, 2);
  TaskTrigger.SetItem(145, 1);
  Refresh();
  const std::vector<DecodeEntry> e = Entries();
  ASSERT_EQ(e.size(), 3u);
  SysRunStatus.SetAcquireStatus(0, kAcqStopped);
  ASSERT_EQ(TimeBase.AdjTimeBase(0, -1), 0);
  ASSERT_NEAR(TimeBaseS[SysRunStatus.GetRealTimeBase(0)], 200e-6, 1e-12);
  for (const int step : {-500, 250}) {  // the trigger 2, then 1 ms left of the middle
    ASSERT_EQ(TimeBase.AdjPreTrigDepth(0, step), 0);
    const double offset = SysRunInfo.horizontal[0].offsetTime;
    SysRunStatus.SetDrawRefresh();
    bench.Pass();
    const double windowStartNs = 2.1e6 + offset * 1e9, nsPerColumn = 4000;
    const int row = 225 - 160;
    int shown = 0;
    for (const DecodeEntry& x : e) {
      const double c = (double(x.start) - windowStartNs) / nsPerColumn;
      const double w = double(x.end - x.start) / nsPerColumn;
      if (c < 0 || c + w > 600) continue;  // the menu covers the right end
      ++shown;
      // The top edge of its hexagon between its points, the first column free of it.
      EXPECT_EQ(bench.Pixel(row - 5, int(c) + 30 + 15), 0xFFFFFFu) << step << " " << x.data;
      EXPECT_EQ(bench.Pixel(row + 14, int(c + w) + 30 - 15), 0xFFFFFFu) << step << " " << x.data;
      EXPECT_NE(bench.Pixel(row - 5, int(c) + 30 + 1), 0xFFFFFFu) << step << " " << x.data;
    }
    EXPECT_GE(shown, 1) << step;
  }
  ASSERT_TRUE(bench.WriteScreenPng(::testing::TempDir() + "decode_rs232_stopped_moved.png"));
  SysRunStatus.SetAcquireStatus(0, 0);
}
}  // namespace
