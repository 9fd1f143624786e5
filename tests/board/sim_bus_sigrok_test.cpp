// The simulated board's serial traffic checked by an independent decoder:
// the lines the board draws, sampled as a logic capture, go through
// sigrok-cli's protocol decoders, which must find the bytes, addresses,
// identifiers, CRCs and checksums sent (skipped where sigrok-cli is not
// installed).
#include <gtest/gtest.h>

#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "platform/sim/bus/sim_bus.h"
#include "platform/sim/acquisition/sim_signals.h"

namespace {
constexpr int kSamplesPerBit = 40;

bool HaveSigrok() { return std::system("sigrok-cli --version > /dev/null 2>&1") == 0; }

// One burst of the traffic in `line` sampled into a binary capture (bit n of
// each byte line n), decoded with `decoder`; sigrok-cli's output.
std::string Decode(const std::string& line, const std::string& decoder, double rate) {
  plat::TestSignal s[plat::kSignalInputs];
  std::string error;
  EXPECT_TRUE(plat::SimBusSignals(line, s, &error)) << error;
  if (!s[0].bus) return "";
  const plat::SimBusWave& w = *s[0].bus;
  const double sampleRate = rate * kSamplesPerBit, end = w.Duration() + 20 / rate;
  const std::string path = ::testing::TempDir() + "bus_capture_" + std::to_string(getpid()) + ".bin";
  std::ofstream f(path, std::ios::binary);
  for (double i = 0; i / sampleRate < end; ++i) {
    const double t = i / sampleRate;
    char b = char(w.High(0, t) ? 1 : 0);
    if (w.Lines() > 1 && w.High(1, t)) b = char(b | 2);
    f.put(b);
  }
  f.close();
  const std::string cmd = "sigrok-cli -i " + path + " -I binary:numchannels=2:samplerate=" +
                          std::to_string(int64_t(sampleRate)) + " " + decoder + " 2>&1";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  std::remove(path.c_str());
  return out;
}

struct Sigrok : ::testing::Test {
  void SetUp() override {
    if (!HaveSigrok()) GTEST_SKIP() << "sigrok-cli is not installed";
  }
};

TEST_F(Sigrok, UartBytesAndTheirParity) {
  EXPECT_EQ(Decode("uart rate=9600 parity=even interval=0.02 data=48,69,21",
                   "-P uart:rx=0:baudrate=9600:parity=even -A uart=rx-data", 9600),
            "uart-1: 48\nuart-1: 69\nuart-1: 21\n");
  const std::string bad = Decode("uart rate=9600 parity=odd stop=2 interval=0.02 error=2 data=48,69",
                                 "-P uart:rx=0:baudrate=9600:parity=odd:stop_bits=2.0", 9600);
  EXPECT_NE(bad.find("uart-1: Parity error"), std::string::npos) << bad;
  EXPECT_EQ(bad.find("uart-1: Parity error"), bad.rfind("uart-1: Parity error"));  // the one byte
}

TEST_F(Sigrok, I2cAddressesDataAndAcknowledges) {
  const std::string out = Decode("i2c rate=100000 interval=0.02 error=2 data=50w:a5.01,23r:42.43,11w:77.78",
                                 "-P i2c:scl=0:sda=1 -A i2c=address-read:address-write:data-read:data-write:ack:nack",
                                 100000);
  EXPECT_EQ(out,
            "i2c-1: Write\ni2c-1: Address write: 50\ni2c-1: ACK\ni2c-1: Data write: A5\ni2c-1: ACK\ni2c-1: Data write: 01\n"
            "i2c-1: ACK\ni2c-1: Read\ni2c-1: Address read: 23\ni2c-1: ACK\ni2c-1: Data read: 42\ni2c-1: NACK\n"
            "i2c-1: Write\ni2c-1: Address write: 11\ni2c-1: ACK\ni2c-1: Data write: 77\ni2c-1: ACK\ni2c-1: Data write: 78\n"
            "i2c-1: ACK\n");
}

TEST_F(Sigrok, SpiWordsOfEveryWidth) {
  EXPECT_EQ(Decode("spi rate=1000000 width=8 interval=0.02 data=a5,3c,0f",
                   "-P spi:clk=0:mosi=1:wordsize=8 -A spi=mosi-data", 1e6),
            "spi-1: A5\nspi-1: 3C\nspi-1: 0F\n");
  EXPECT_EQ(Decode("spi rate=1000000 width=12 interval=0.02 data=abc,123",
                   "-P spi:clk=0:mosi=1:wordsize=12 -A spi=mosi-data", 1e6),
            "spi-1: ABC\nspi-1: 123\n");
}

TEST_F(Sigrok, CanFramesStuffedWithTheirCrc) {
  const std::string out = Decode("can rate=500000 interval=0.02 data=123:11.22,1abcdefx:01,7f0r",
                                 "-P can:can_rx=0:nominal_bitrate=500000", 5e5);
  for (const char* want : {"Identifier: 291 (0x123)", "Data byte 0: 0x11", "Data byte 1: 0x22",
                           "Full Identifier: 28036591 (0x1abcdef)", "Data byte 0: 0x01",
                           "Identifier: 2032 (0x7f0)", "Remote transmission request: remote frame"})
    EXPECT_NE(out.find(want), std::string::npos) << want;
  EXPECT_EQ(out.find("CRC-15 sequence invalid"), std::string::npos);
  EXPECT_EQ(out.find("error"), std::string::npos) << out;
  const std::string bad = Decode("can rate=500000 interval=0.02 error=1 data=123:11.22",
                                 "-P can:can_rx=0:nominal_bitrate=500000", 5e5);
  EXPECT_NE(bad.find("ACK slot: NACK"), std::string::npos) << bad;
}

TEST_F(Sigrok, LinFramesWithTheirChecksums) {
  const std::string out = Decode("lin rate=19200 interval=0.02 version=2 error=2 data=21:11.22,3c:01.02,10:33",
                                 "-P uart:rx=0:baudrate=19200,lin:version=2 -A lin", 19200);
  for (const char* want : {"ID: 21", "Data: 0x11", "Data: 0x22", "ID: 3C", "Data: 0x01", "ID: 10", "Data: 0x33"})
    EXPECT_NE(out.find(want), std::string::npos) << want;
  // Only the second frame carries a wrong checksum.
  const size_t invalid = out.find("Checksum invalid");
  ASSERT_NE(invalid, std::string::npos) << out;
  EXPECT_GT(invalid, out.find("ID: 3C"));
  EXPECT_LT(invalid, out.find("ID: 10"));
  EXPECT_EQ(invalid, out.rfind("Checksum invalid"));
}

}  // namespace

// ---- the board's decoder against sigrok-cli on the samples it read ----
//
// One burst of traffic acquired at 20 samples a bit, the line read out as the
// sample codes the FIFO streams, cut at the decoder's level into a logic
// capture for sigrok-cli, decoded with the settings the instrument would send;
// the board's decode records of the same acquisition must carry what
// sigrok-cli reads, with the right settings and with wrong ones.
#include <vector>

#include "platform/sim/acquisition/sim_acquire.h"
#include "platform/sim/bus/sim_bus_decode.h"
#include "platform/sim/bus/sim_bus_decoder.h"

namespace {
constexpr int kColumns = 700;
constexpr double kLevelV = 1.0, kVoltsPerDiv = 1.0;

struct Record {
  int code;
  uint32_t data;
};

struct Acquired {
  plat::SimAcquisition a;
  double read = 0;    // record address of the window's first sample
  int64_t samples = 0;
};

// The acquisition of one burst of `line`'s traffic sampled `perBit` times a
// bit, the window starting at the burst, decoded with `bus`.
Acquired Acquire(const std::string& line, double rate, const plat::SimBusLines& bus, double perBit = 20) {
  Acquired q;
  plat::SimAcquisition& a = q.a;
  std::string error;
  EXPECT_TRUE(plat::SimBusSignals(line, a.sig, &error)) << error;
  const plat::SimBusWave& w = *a.sig[0].bus;
  a.set.samplePeriodNs = 1e9 / (rate * perBit);
  const double spanNs = (w.Duration() + 20 / rate) * 1e9;
  a.set.columnNs = spanNs / kColumns;
  const double perColumn = a.SamplesPerColumn(0);
  q.samples = int64_t(kColumns * perColumn);
  a.set.depth = q.samples;
  q.read = double(plat::kRecordCentre) - kColumns / 2 * perColumn;
  for (int i = 0; i < 2; ++i) {
    a.set.ch[i].voltsPerDiv = kVoltsPerDiv;
    a.set.ch[i].zeroCode = 127;
    // The burst starts at the window's first sample.
    const double f = a.sig[i].frequencyHz;
    const double lead = f * (kColumns / 2 * perColumn) * a.set.samplePeriodNs * 1e-9;
    a.phase[i] = lead - std::floor(lead);
    a.set.trigCondition.levelV[i][0] = kLevelV;
  }
  a.set.trigCondition.busLines = bus;
  return q;
}

// The board's records of the acquisition: (code, data) in order.
std::vector<Record> BoardRecords(const Acquired& q) {
  std::vector<uint8_t> out;
  plat::SimBusDecodeRecords(q.a, q.read, q.a.set.samplePeriodNs, &out);
  std::vector<Record> r;
  for (size_t i = 0; i + 16 <= out.size(); i += 16)
    if (out[i] == 0xAA && out[i + 1] == 0xA5 && out[i + 2] == 0x5A)
      r.push_back({out[i + 3], uint32_t(out[i + 8]) << 24 | uint32_t(out[i + 9]) << 16 | uint32_t(out[i + 10]) << 8 |
                                   out[i + 11]});
  return r;
}

// sigrok-cli's decode of the read-out samples: each channel's code above the
// level's code (127 + 25 codes a volt) is a 1.
std::string SigrokOfSamples(const Acquired& q, const std::string& decoder) {
  const int level = 127 + int(kLevelV / kVoltsPerDiv * 25);
  const std::string path = ::testing::TempDir() + "readout_" + std::to_string(getpid()) + ".bin";
  std::ofstream f(path, std::ios::binary);
  for (int64_t k = 0; k < q.samples; ++k) {
    char b = char(q.a.Code(0, q.read + double(k)) > level ? 1 : 0);
    if (q.a.Code(1, q.read + double(k)) > level) b = char(b | 2);
    f.put(b);
  }
  f.close();
  const std::string cmd = "sigrok-cli -i " + path + " -I binary:numchannels=2:samplerate=" +
                          std::to_string(int64_t(1e9 / q.a.set.samplePeriodNs)) + " " + decoder + " 2>&1";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  std::remove(path.c_str());
  return out;
}

// The values of sigrok-cli's lines that start with `prefix` (hex after it).
std::vector<uint32_t> Values(const std::string& out, const std::string& prefix) {
  std::vector<uint32_t> v;
  size_t at = 0;
  while ((at = out.find(prefix, at)) != std::string::npos) {
    at += prefix.size();
    v.push_back(uint32_t(std::strtoul(out.c_str() + at, nullptr, 16)));
  }
  return v;
}

std::vector<uint32_t> BoardData(const std::vector<Record>& r, std::initializer_list<int> codes) {
  std::vector<uint32_t> v;
  for (const Record& x : r)
    for (int c : codes)
      if (x.code == c) v.push_back(x.data);
  return v;
}

int Count(const std::vector<Record>& r, int code) {
  int n = 0;
  for (const Record& x : r) n += x.code == code;
  return n;
}

plat::SimBusLines Uart(double baud, int width, int parity, bool lsbFirst = true, bool positive = true) {
  plat::SimBusLines b;
  b.kind = 0;
  b.bitS = 1 / baud;
  b.width = width;
  b.parity = parity;
  b.lsbFirst = lsbFirst;
  b.positive = positive;
  return b;
}

std::string UartDecoder(double baud, int width, const char* parity, bool lsbFirst = true, bool invert = false) {
  return "-P uart:rx=0:baudrate=" + std::to_string(int(baud)) + ":data_bits=" + std::to_string(width) +
         ":parity=" + parity + ":bit_order=" + (lsbFirst ? "lsb-first" : "msb-first") +
         ":invert_rx=" + (invert ? "yes" : "no") + " -A uart=rx-data";
}
}  // namespace

TEST_F(Sigrok, UartRecordsMatchTheDecodeOfTheSamplesRightAndWrong) {
  const std::string line = "uart rate=9600 parity=even interval=0.02 data=48,69,21,c3";
  // The traffic's settings: the bytes sent, every one good.
  Acquired q = Acquire(line, 9600, Uart(9600, 8, 2));
  std::vector<Record> r = BoardRecords(q);
  EXPECT_EQ(BoardData(r, {2}), (std::vector<uint32_t>{0x48, 0x69, 0x21, 0xC3}));
  EXPECT_EQ(Values(SigrokOfSamples(q, UartDecoder(9600, 8, "even")), "uart-1: "), BoardData(r, {2}));
  // Odd parity: every byte a parity error, the same bytes.
  q = Acquire(line, 9600, Uart(9600, 8, 1));
  r = BoardRecords(q);
  EXPECT_EQ(Count(r, 4), 4);
  const std::string odd = SigrokOfSamples(q, "-P uart:rx=0:baudrate=9600:parity=odd");
  EXPECT_EQ(Values(odd, "Parity error").size(), 4u) << odd;
  // MSB first and seven bits: what sigrok-cli reads of the samples, byte for byte.
  q = Acquire(line, 9600, Uart(9600, 7, 0, false));
  r = BoardRecords(q);
  EXPECT_EQ(Values(SigrokOfSamples(q, UartDecoder(9600, 7, "none", false)), "uart-1: "), BoardData(r, {2, 3}));
  EXPECT_NE(BoardData(r, {2, 3}), (std::vector<uint32_t>{0x48, 0x69, 0x21, 0xC3}));
  // Another rate: garbage, and the same garbage.
  q = Acquire(line, 9600, Uart(14400, 8, 0));
  r = BoardRecords(q);
  const std::vector<uint32_t> fast = Values(SigrokOfSamples(q, UartDecoder(14400, 8, "none")), "uart-1: ");
  EXPECT_EQ(fast, BoardData(r, {2, 3}));
  EXPECT_NE(fast, (std::vector<uint32_t>{0x48, 0x69, 0x21, 0xC3}));
  EXPECT_GT(Count(r, 3), 0);  // framing errors
  // The line inverted (negative polarity): nothing of the bytes sent.
  q = Acquire(line, 9600, Uart(9600, 8, 2, true, false));
  r = BoardRecords(q);
  EXPECT_EQ(Values(SigrokOfSamples(q, UartDecoder(9600, 8, "even", true, true)), "uart-1: "), BoardData(r, {2, 3, 4}));
}

TEST_F(Sigrok, I2cAndSpiRecordsMatchTheDecodeOfTheSamples) {
  plat::SimBusLines i2c;
  i2c.kind = 1;
  Acquired q = Acquire("i2c rate=100000 interval=0.02 data=50w:a5.01,23r:42.43", 100000, i2c);
  std::vector<Record> r = BoardRecords(q);
  const std::string out =
      SigrokOfSamples(q, "-P i2c:scl=0:sda=1 -A i2c=address-read:address-write:data-read:data-write");
  EXPECT_EQ(Values(out, "Address write: "), BoardData(r, {0}));
  EXPECT_EQ(Values(out, "Address read: "), BoardData(r, {1}));
  std::vector<uint32_t> data = Values(out, "Data write: "), read = Values(out, "Data read: ");
  data.insert(data.end(), read.begin(), read.end());
  EXPECT_EQ(data, (std::vector<uint32_t>{0xA5, 0x01, 0x42, 0x43}));
  EXPECT_EQ(BoardData(r, {2}), data);

  plat::SimBusLines spi;
  spi.kind = 2;
  spi.width = 8;
  spi.lsbFirst = false;
  spi.idleS = 3e-6;
  const std::string words = "spi rate=1000000 width=8 interval=0.02 data=a5,3c,0f,81";
  q = Acquire(words, 1e6, spi);
  EXPECT_EQ(BoardData(BoardRecords(q), {2}), (std::vector<uint32_t>{0xA5, 0x3C, 0x0F, 0x81}));
  EXPECT_EQ(Values(SigrokOfSamples(q, "-P spi:clk=0:mosi=1:wordsize=8 -A spi=mosi-data"), "spi-1: "),
            BoardData(BoardRecords(q), {2}));
  // LSB first, data on the falling edge: both read the same other words.
  spi.lsbFirst = true;
  spi.risingClock = false;
  q = Acquire(words, 1e6, spi);
  const std::vector<uint32_t> other =
      Values(SigrokOfSamples(q, "-P spi:clk=0:mosi=1:wordsize=8:bitorder=lsb-first:cpha=1 -A spi=mosi-data"), "spi-1: ");
  EXPECT_EQ(other, BoardData(BoardRecords(q), {2}));
  EXPECT_NE(other, (std::vector<uint32_t>{0xA5, 0x3C, 0x0F, 0x81}));
}

TEST_F(Sigrok, CanAndLinRecordsMatchTheDecodeOfTheSamples) {
  plat::SimBusLines can;
  can.kind = 3;
  can.bitS = 1 / 500000.0;
  const std::string frames = "can rate=500000 interval=0.02 data=123:11.22,1abcdefx:01,7f0r";
  Acquired q = Acquire(frames, 500000, can);
  std::vector<Record> r = BoardRecords(q);
  std::string out = SigrokOfSamples(q, "-P can:can_rx=0:nominal_bitrate=500000");
  // The first frame lies where the decoder first finds the bus idle: the
  // identifiers from the second on, and their data.
  EXPECT_EQ(BoardData(r, {10, 5}), (std::vector<uint32_t>{0x1ABCDEF, 0x7F0}));
  EXPECT_NE(out.find("Full Identifier: 28036591"), std::string::npos) << out;
  EXPECT_NE(out.find("Identifier: 2032"), std::string::npos) << out;
  EXPECT_EQ(Count(r, 30), 2);
  // Another bit rate: neither finds the frames sent.
  can.bitS = 1 / 250000.0;
  q = Acquire(frames, 500000, can);
  out = SigrokOfSamples(q, "-P can:can_rx=0:nominal_bitrate=250000");
  EXPECT_EQ(out.find("(0x1abcdef)"), std::string::npos) << out;
  EXPECT_EQ(out.find("(0x7f0)"), std::string::npos) << out;
  r = BoardRecords(q);
  for (uint32_t id : BoardData(r, {10, 5})) EXPECT_TRUE(id != 0x1ABCDEF && id != 0x7F0) << id;

  plat::SimBusLines lin;
  lin.kind = 4;
  lin.bitS = 1 / 19200.0;
  lin.linVersion = 1;
  const std::string linFrames = "lin rate=19200 interval=0.02 version=2 data=21:11.22,10:33";
  q = Acquire(linFrames, 19200, lin);
  r = BoardRecords(q);
  out = SigrokOfSamples(q, "-P uart:rx=0:baudrate=19200,lin:version=2 -A lin");
  EXPECT_EQ(BoardData(r, {10}), (std::vector<uint32_t>{0x21, 0x10}));
  EXPECT_EQ(Values(out, "Data: 0x"), BoardData(r, {2}));
  EXPECT_EQ(out.find("Checksum invalid"), std::string::npos) << out;
  EXPECT_EQ(Count(r, 15), 0);
  // Version 1 (classic checksums) on enhanced traffic: both call every checksum wrong.
  lin.linVersion = 0;
  q = Acquire(linFrames, 19200, lin);
  r = BoardRecords(q);
  out = SigrokOfSamples(q, "-P uart:rx=0:baudrate=19200,lin:version=1 -A lin");
  EXPECT_EQ(Count(r, 15), 2);
  EXPECT_EQ(Values(out, "Checksum invalid").size(), 2u) << out;
}

// The errors the "bus" line asks for, read alike by sigrok-cli and the
// board: a UART framing error, an I2C repeated start, a CAN stuff error and
// an overload frame.
TEST_F(Sigrok, ErrorsTheBusLineAsksForAreDecoded) {
  Acquired q = Acquire("uart rate=9600 interval=0.02 error=2:framing data=48,69,21", 9600, Uart(9600, 8, 0));
  std::vector<Record> r = BoardRecords(q);
  EXPECT_EQ(Count(r, 3), 1);
  std::string out = SigrokOfSamples(q, "-P uart:rx=0:baudrate=9600");
  EXPECT_NE(out.find("Frame error"), std::string::npos) << out;

  plat::SimBusLines i2c;
  i2c.kind = 1;
  q = Acquire("i2c rate=100000 interval=0.02 error=1:restart data=50w:a5,50r:42", 100000, i2c);
  r = BoardRecords(q);
  EXPECT_EQ(BoardData(r, {0, 1, 2}), (std::vector<uint32_t>{0x50, 0xA5, 0x50, 0x42}));
  out = SigrokOfSamples(q, "-P i2c:scl=0:sda=1");
  EXPECT_NE(out.find("Start repeat"), std::string::npos) << out;

  plat::SimBusLines can;
  can.kind = 3;
  can.bitS = 1 / 500000.0;
  q = Acquire("can rate=500000 interval=0.02 error=2:stuff data=123:11,100:00.00,7f0:01", 500000, can);
  r = BoardRecords(q);
  EXPECT_EQ(Count(r, 31), 1);
  EXPECT_EQ(BoardData(r, {10}), (std::vector<uint32_t>{0x7F0}));  // after the frame the error broke
  q = Acquire("can rate=500000 interval=0.02 error=2:overload data=123:11,100:22,7f0:01", 500000, can);
  r = BoardRecords(q);
  EXPECT_EQ(Count(r, 9), 1);
  EXPECT_EQ(BoardData(r, {10}), (std::vector<uint32_t>{0x100, 0x7F0}));
}

namespace {
// The item an error= field names counts from 1, as the signal file's
// description has it; a number past the data list is a bad line.
TEST(SimBusLine, ErrorItemsCountFromOneAndStayInTheList) {
  plat::SimBusSetup s;
  std::string error;
  ASSERT_TRUE(plat::SimParseBusLine("uart rate=9600 interval=0.02 error=1 data=48,69", &s, &error)) << error;
  EXPECT_EQ(s.error, 0);  // the first byte
  ASSERT_TRUE(plat::SimParseBusLine("uart rate=9600 interval=0.02 error=2 data=48,69", &s, &error)) << error;
  EXPECT_EQ(s.error, 1);
  EXPECT_FALSE(plat::SimParseBusLine("uart rate=9600 interval=0.02 error=3 data=48,69", &s, &error));
  EXPECT_NE(error.find("error=3"), std::string::npos) << error;
  EXPECT_FALSE(plat::SimParseBusLine("can rate=500000 interval=0.02 error=0 data=123:11", &s, &error));
}
}  // namespace
