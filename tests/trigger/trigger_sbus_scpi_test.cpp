// The serial-bus SCPI rows of the SPI, I2C data, CAN and LIN settings and the
// bus trigger's sweep and coupling: each row's reply byte for byte, the item
// it stores, and the control words the simulated FPGA reads from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "platform/sim/fpga/sim_decode_trigger.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"
#include "trigger/bus/bus_patterns.h"
#include "trigger/analog/task_trigger.h"
#include "trigger/bus/trigger_bus.h"

namespace {
struct SbusScpi : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(10, 0, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    ASSERT_EQ(0, StartScpiThread());
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  // A setter, then a query that answers, so the setter has run.
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("SBUS:DISPlay?").empty());
  }
  // What a setter prints on standard output.
  std::string Printed(const std::string& line) {
    testing::internal::CaptureStdout();
    Set(line);
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }
  int Item(int n) { return int(TaskTrigger.Item(n) & 0xFFFF); }
  std::string Label(int item) {
    std::string s;
    const MenuOption* o = TaskTrigger.TaskMenu.GetMenuItemList(item);
    for (const uint16_t* p = o ? o->text : nullptr; p && *p; ++p) s += char(*p);
    return s;
  }
};

TEST_F(SbusScpi, SpiWidthFramesIdleTimeAndQualifier) {
  Set("SBUS:MODE SPI");
  Set("SBUS:SPI:QUALifier IDLEDATA");
  EXPECT_EQ(Item(173), 1);
  EXPECT_EQ(Ask("SBUS:SPI:QUALifier?"), "IDLEDATA\r\n");
  Set("SBUS:SPI:QUALifier CS");  // not on this instrument's page
  EXPECT_EQ(Item(173), 1);
  Set("SBUS:SPI:WIDTh 40");
  EXPECT_EQ(Ask("SBUS:SPI:WIDTh?"), "32\r\n");
  Set("SBUS:SPI:FRAMelen 10");  // 128 bits at most: 4 frames of 32
  EXPECT_EQ(Ask("SBUS:SPI:FRAMelen?"), "4\r\n");
  Set("SBUS:SPI:WIDTh 4");
  Set("SBUS:SPI:FRAMelen 32");
  EXPECT_EQ(Item(176), 32);
  // A wider frame keeps frames x width within the pattern: 32 x 32 would be 1024 bits.
  Set("SBUS:SPI:WIDTh 32");
  EXPECT_EQ(Item(176), 4);
  plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.spi.frameBits, 128);
  EXPECT_EQ(t.spi.configWord >> 1 & 0xFFF, 32);  // width 32
  EXPECT_EQ(t.spi.configWord & 1, 1);

  Set("SBUS:SPI:TRIGger:TIMeout 10ns");  // below 80 ns
  EXPECT_EQ(TaskTrigger.Item(175), 20u);
  EXPECT_EQ(Ask("SBUS:SPI:TRIGger:TIMeout?"), "8.000000e-08 \r\n");
  EXPECT_EQ(plat::SimDecodedTrigger().bitTimeWord, 20u);
  Set("SBUS:SPI:TRIGger:TIMeout 5");  // above 1 s
  EXPECT_EQ(TaskTrigger.Item(175), 250000000u);
  Set("SBUS:SPI:TRIGger:TIMeout 2us");
  EXPECT_EQ(TaskTrigger.Item(175), 500u);
  EXPECT_EQ(plat::SimDecodedTrigger().bitTimeWord, 500u);

  Set("SBUS:SPI:QUALifier IDLE");
  EXPECT_EQ(Ask("SBUS:SPI:QUALifier?"), "IDLE\r\n");
  EXPECT_EQ(plat::SimDecodedTrigger().spi.configWord & 1, 0);
  // The frame count belongs to the data condition: switched off, it is refused.
  EXPECT_EQ(Printed("SBUS:SPI:FRAMelen 2"), "\n CS is forbit----------");
  EXPECT_EQ(Item(176), 4);
}

TEST_F(SbusScpi, SpiSourcesPolaritiesBitOrderAndData) {
  Set("SBUS:MODE SPI");
  Set("SBUS:SPI:BITorder MSBFirst");  // stored inverted
  EXPECT_EQ(Item(171), 1);
  EXPECT_EQ(Ask("SBUS:SPI:BITorder?"), "MSBFirst\r\n");
  EXPECT_EQ(plat::SimDecodedTrigger().spi.bitOrder, 1);
  Set("SBUS:SPI:BITorder LSBFirst");
  EXPECT_EQ(Ask("SBUS:SPI:BITorder?"), "LSBFirst\r\n");
  EXPECT_EQ(plat::SimDecodedTrigger().spi.bitOrder, 0);

  Set("SBUS:SPI:MOSI:POLarity POSitive");
  Set("SBUS:SPI:MISO:POLarity POSitive");
  Set("SBUS:SPI:CLOCk:POLarity POSitive");
  EXPECT_EQ(Ask("SBUS:SPI:MOSI:POLarity?"), "POSitive\r\n");
  EXPECT_EQ(Ask("SBUS:SPI:CLOCk:POL?"), "POSitive\r\n");
  plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.spi.mosiPolarity, 1);
  EXPECT_EQ(t.spi.misoPolarity, 1);
  EXPECT_EQ(t.spi.clockEdge, 1);
  Set("SBUS:SPI:MISO:POLarity NEGative");
  EXPECT_EQ(Ask("SBUS:SPI:MISO:POLarity?"), "NEGative\r\n");
  EXPECT_EQ(plat::SimDecodedTrigger().spi.misoPolarity, 0);
  Set("SBUS:SPI:CS:POLarity POSitive");
  EXPECT_EQ(Ask("SBUS:SPI:CS:POLarity?"), "POSitive\r\n");

  Set("SBUS:SPI:MISO:SOURce CHANnel2");
  EXPECT_EQ(Ask("SBUS:SPI:MISO:SOURce?"), "CHANnel2\r\n");
  EXPECT_EQ(plat::SimDecodedTrigger().spi.miso, 1);
  Set("SBUS:SPI:CLOCk:SOURce CHANnel2");
  EXPECT_EQ(Ask("SBUS:SPI:CLOCk:SOURce?"), "CHANnel2\r\n");
  Set("SBUS:SPI:MOSI:SOURce CHANnel1");
  EXPECT_EQ(Ask("SBUS:SPI:MOSI:SOURce?"), "CHANnel1\r\n");
  // The chip-select source is frozen: refused with the forbidden text.
  EXPECT_EQ(Printed("SBUS:SPI:CS:SOURce CHANnel2"), "\n CS is forbit----------");
  EXPECT_EQ(Ask("SBUS:SPI:CS:SOURce?"), "CHANnel1\r\n");

  // Two 8-bit frames of data: the pattern and the words it gives.
  Set("SBUS:SPI:QUALifier IDLEDATA");
  Set("SBUS:SPI:WIDTh 8");
  Set("SBUS:SPI:FRAMelen 2");
  Set("SBUS:SPI:DATA \"1010010111X10000\"");
  EXPECT_EQ(Ask("SBUS:SPI:DATA?"), "1010010111X10000\r\n");
  Set("SBUS:SPI:DATA \"10102\"");  // refused: the pattern stays
  EXPECT_EQ(Ask("SBUS:SPI:DATA?"), "1010010111X10000\r\n");
  Set("SBUS:SPI:DATA \"11\"");  // right-aligned behind zeros
  EXPECT_EQ(Ask("SBUS:SPI:DATA?"), "0000000000000011\r\n");
}

TEST_F(SbusScpi, I2cDataAndItsLength) {
  Set("SBUS:MODE I2C");
  Set("SBUS:I2C:QUALifier DATA");
  Set("SBUS:I2C:DATA:LEN 2");
  EXPECT_EQ(Ask("SBUS:I2C:DATA:LEN?"), "2\r\n");
  Set("SBUS:I2C:DATA \"0000111111110000\"");
  EXPECT_EQ(I2cDataHex[0], 0x0F);
  EXPECT_EQ(I2cDataHex[1], 0xF0);
  EXPECT_EQ(Label(141), "0f f0 ");
  EXPECT_EQ(Ask("SBUS:I2C:DATA?"), "0000111111110000\r\n");
  plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.i2c.dataCount, 1);
  EXPECT_EQ(t.i2c.data[0], 0x0F);
  EXPECT_EQ(t.i2c.data[1], 0xF0);

  Set("SBUS:I2C:DATA \"000011111111000X\"");  // no don't-care bits here
  EXPECT_EQ(I2cDataHex[1], 0xF0);
  EXPECT_EQ(Printed("SBUS:I2C:DATA \"" + std::string(41, '1') + "\""), "\n len is error 41----------\n");
  EXPECT_EQ(I2cDataHex[0], 0x0F);
  EXPECT_EQ(Printed("SBUS:I2C:DATA:LEN 0"), "Warning : Line is error ... \n");
  EXPECT_EQ(Item(140), 1);
  Set("SBUS:I2C:DATA:LEN 9");
  EXPECT_EQ(Item(140), 4);
  EXPECT_EQ(Ask("SBUS:I2C:DATA:LEN?"), "5\r\n");
  EXPECT_EQ(Ask("SBUS:I2C:DATA?").size(), 5u * 8 + 2);

  Set("SBUS:I2C:QUALifier STARt");  // the data are switched off
  EXPECT_EQ(Printed("SBUS:I2C:DATA \"1\""), "\n CS is forbit----------");
}

TEST_F(SbusScpi, CanLengthsQualifierNamesAndRates) {
  Set("SBUS:MODE CAN");
  Set("SBUS:CAN:QUALifier IDDATA");
  Set("SBUS:CAN:DATA:LEN 9");
  EXPECT_EQ(Item(215), 7);
  EXPECT_EQ(Ask("SBUS:CAN:DATA:LEN?"), "8\r\n");
  EXPECT_EQ(Printed("SBUS:CAN:DATA:LEN 0"), "Warning : Line is error ... \n");
  Set("SBUS:CAN:DATA:LEN 1");
  Set("SBUS:CAN:DATA \"1X1\"");
  EXPECT_EQ(Ask("SBUS:CAN:DATA?"), "000001X1\r\n");
  Set("SBUS:CAN:ID \"1X1\"");
  EXPECT_EQ(Ask("SBUS:CAN:ID?"), "000000001X1\r\n");
  Set("SBUS:CAN:ID \"1Y1\"");  // refused: the identifier stays
  EXPECT_EQ(Ask("SBUS:CAN:ID?"), "000000001X1\r\n");

  // One item for the qualifier and the frame type.
  Set("SBUS:CAN:FRAMe:TYPE REMote");
  EXPECT_EQ(Item(200), 2);
  EXPECT_EQ(Ask("SBUS:CAN:QUALifier?"), "REMote\r\n");
  EXPECT_EQ(Ask("SBUS:CAN:FRAMe:TYPE?"), "REMote\r\n");
  Set("SBUS:CAN:QUALifier START");
  EXPECT_EQ(Ask("SBUS:CAN:FRAMe:TYPE?"), "START\r\n");
  Set("SBUS:CAN:QUALifier ACKerror");
  EXPECT_EQ(Ask("SBUS:CAN:QUALifier?"), "ACKerror\r\n");

  Set("SBUS:CAN:SIGNal:DEFinition CANH");
  EXPECT_EQ(Ask("SBUS:CAN:SIGNal:DEFinition?"), "CANH\r\n");
  Set("SBUS:CAN:SIGNal:BAUDrate 83300");
  EXPECT_EQ(Item(205), 9);
  Set("SBUS:CAN:SIGNal:BAUDrate 3000000");
  EXPECT_EQ(Item(205), 19);
  EXPECT_EQ(Ask("SBUS:CAN:SIGNal:BAUDrate?"), "2000000\r\n");
}

TEST_F(SbusScpi, LinIdentifierDataAndLengths) {
  Set("SBUS:MODE LIN");
  Set("SBUS:LIN:QUALifier IDDATA");
  Set("SBUS:LIN:PARity:DISPlay OFF");
  EXPECT_EQ(Ask("SBUS:LIN:PARity:DISPlay?"), "0\r\n");
  Set("SBUS:LIN:ID \"101\"");  // 00000101, of which the last six
  EXPECT_EQ(Ask("SBUS:LIN:ID?"), "000101\r\n");
  Set("SBUS:LIN:ID \\\"1\\\\1X\\\"");  // quotes and backslashes are taken out anywhere
  EXPECT_EQ(Ask("SBUS:LIN:ID?"), "00011X\r\n");
  Set("SBUS:LIN:PARity:DISPlay ON");
  EXPECT_EQ(Item(228), 1);
  Set("SBUS:LIN:ID \"101\"");
  EXPECT_EQ(Ask("SBUS:LIN:ID?"), "00000101\r\n");
  EXPECT_EQ(plat::SimDecodedTrigger().lin.word540 & 0xFF, 0x05);
  Set("SBUS:LIN:ID \"10a\"");  // refused: the identifier stays
  EXPECT_EQ(Ask("SBUS:LIN:ID?"), "00000101\r\n");

  Set("SBUS:LIN:TRIGger:DATA:LENGth 2");
  EXPECT_EQ(Item(245), 1);
  EXPECT_EQ(Ask("SBUS:LIN:TRIGger:DATA:LENGth?"), "2\r\n");
  Set("SBUS:LIN:DATA \"1100101000X1\"");
  EXPECT_EQ(Ask("SBUS:LIN:DATA?"), "00001100101000X1\r\n");
  EXPECT_EQ(plat::SimDecodedTrigger().lin.data[0], 0x0C);

  Set("SBUS:LIN:DATA:LENGth:DISPlay ON");
  EXPECT_EQ(Ask("SBUS:LIN:DATA:LENGth:DISPlay?"), "1\r\n");
  EXPECT_FALSE(TaskTrigger.Attr(236) & kTrigAttrOff);
  Set("SBUS:LIN:DATA:LENGth 9");
  EXPECT_EQ(Item(236), 7);
  EXPECT_EQ(Ask("SBUS:LIN:DATA:LENGth?"), "8\r\n");
  Set("SBUS:LIN:DATA:LENGth 0");
  EXPECT_EQ(Ask("SBUS:LIN:DATA:LENGth?"), "1\r\n");
}

TEST_F(SbusScpi, BusSweepAndCoupling) {
  Set("SBUS:MODE RS232");
  Set("SBUS:TRIGger:SWEep NORMal");
  EXPECT_EQ(Ask("SBUS:TRIGger:SWEep?"), "NORMal\r\n");
  EXPECT_EQ(plat::SimDecodedTrigger().sweep, 1);
  Set("SBUS:TRIGger:COUPling NOISE");
  EXPECT_EQ(Ask("SBUS:TRIGger:COUPling?"), "NOISE\r\n");
  Set("SBUS:TRIGger:COUPling AC");  // a serial-bus trigger takes DC and NOISE only
  EXPECT_EQ(Ask("SBUS:TRIGger:COUPling?"), "NOISE\r\n");
  Set("SBUS:TRIGger:COUPling DC");
  EXPECT_EQ(Ask("SBUS:TRIG:COUP?"), "DC\r\n");
}
}  // namespace

// Not a number is the shortest idle time, never a cast of NaN.
TEST_F(SbusScpi, IdleTimeOfNotANumberIsTheShortest) {
  Set("SBUS:MODE SPI");
  Set("SBUS:SPI:TRIGger:TIMeout 2us");
  Set("SBUS:SPI:TRIGger:TIMeout nan");
  EXPECT_EQ(Ask("SBUS:SPI:TRIGger:TIMeout?"), "8.000000e-08 \r\n");
}

// The worker's pattern commands store a pattern whole under the pattern
// lock: what the main loop's editors and drawing read under it is one
// pattern or the other, never a mix.
TEST_F(SbusScpi, PatternsSetOverScpiAreNeverSeenHalfWritten) {
  Set("SBUS:MODE SPI");
  Set("SBUS:SPI:QUALifier IDLEDATA");
  Set("SBUS:SPI:WIDTh 32");
  Set("SBUS:SPI:FRAMelen 4");
  const std::string ones(128, '1'), zeros(128, '0');
  std::atomic<bool> done{false};
  std::thread client([&] {
    for (int i = 0; i < 200; ++i) ScpiQuery("SBUS:SPI:DATA \"" + (i % 2 ? zeros : ones) + "\"\n", kScpiSourceTransport, 0);
    Ask("SBUS:DISPlay?");
    done = true;
  });
  int mixed = 0, reads = 0;
  while (!done) {
    std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
    const int set = int(std::count(SPI_bin_data, SPI_bin_data + kSpiBits, 1));
    if (set != 0 && set != kSpiBits) ++mixed;
    ++reads;
  }
  client.join();
  EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
  EXPECT_EQ(Ask("SBUS:SPI:DATA?"), zeros + "\r\n");
}
