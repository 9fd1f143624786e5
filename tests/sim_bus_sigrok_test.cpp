// The simulated board's serial traffic checked by an independent decoder:
// the lines the board draws, sampled as a logic capture, go through
// sigrok-cli's protocol decoders, which must find the bytes, addresses,
// identifiers, CRCs and checksums sent (skipped where sigrok-cli is not
// installed).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "platform/sim/sim_bus.h"
#include "platform/sim/sim_signals.h"

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
  const std::string bad = Decode("uart rate=9600 parity=odd stop=2 interval=0.02 error=1 data=48,69",
                                 "-P uart:rx=0:baudrate=9600:parity=odd:stop_bits=2.0", 9600);
  EXPECT_NE(bad.find("uart-1: Parity error"), std::string::npos) << bad;
  EXPECT_EQ(bad.find("uart-1: Parity error"), bad.rfind("uart-1: Parity error"));  // the one byte
}

TEST_F(Sigrok, I2cAddressesDataAndAcknowledges) {
  const std::string out = Decode("i2c rate=100000 interval=0.02 error=1 data=50w:a5.01,23r:42.43,11w:77.78",
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
  const std::string bad = Decode("can rate=500000 interval=0.02 error=0 data=123:11.22",
                                 "-P can:can_rx=0:nominal_bitrate=500000", 5e5);
  EXPECT_NE(bad.find("ACK slot: NACK"), std::string::npos) << bad;
}

TEST_F(Sigrok, LinFramesWithTheirChecksums) {
  const std::string out = Decode("lin rate=19200 interval=0.02 version=2 error=1 data=21:11.22,3c:01.02,10:33",
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
