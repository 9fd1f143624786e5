// The simulated FPGA's register file, devices, blocks, counters and faults,
// driven through the transport as the board-control layer drives it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "platform/devices/fpga.h"
#include "platform/sim/fpga/sim_fpga.h"

namespace {
plat::SimFpga& F() { return plat::Fpga(); }

int Spi() { return plat::FpgaOpenSpi("/dev/spidev3.0"); }

uint16_t Read(int spi, uint16_t reg) {
  const uint8_t tx[4] = {uint8_t(reg), uint8_t(reg >> 8), 0, 0};
  uint8_t rx[4] = {};
  EXPECT_TRUE(plat::FpgaSpiTransfer(spi, tx, rx));
  return uint16_t(rx[2] << 8 | rx[3]);
}

void Write(int spi, uint16_t word, uint16_t value) {
  const uint8_t f[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(value), uint8_t(value >> 8)};
  EXPECT_TRUE(plat::FpgaSpiWrite(spi, f));
}

uint32_t Read32(int spi, uint16_t low) { return Read(spi, low) | uint32_t(Read(spi, uint16_t(low + 2))) << 16; }

std::atomic<int> g_finished{0};
void OnFinished() { ++g_finished; }
}  // namespace

TEST(SimFpgaRegisters, StartUpRegistersAndFaults) {
  int spi = Spi();
  Write(spi, 8, 0xA5);
  EXPECT_EQ(Read(spi, 780), 0xA5);
  EXPECT_EQ(Read(spi, 768), 12);
  EXPECT_EQ(Read(spi, 820), 0x500);
  plat::SimFpga::Faults f;
  f.probeNoAnswer = f.pllFail = true;
  F().SetFaults(f);
  EXPECT_EQ(Read(spi, 780), 0);
  EXPECT_EQ(Read(spi, 768), 8);
  f = {};
  f.ddrFail = f.selfResetFail = true;
  F().SetFaults(f);
  EXPECT_EQ(Read(spi, 768), 4);
  EXPECT_EQ(Read(spi, 820), 0x101);
  F().SetReg(768, 0x77);
  EXPECT_EQ(Read(spi, 768), 0x77);
  F().ClearReg(768);
  EXPECT_EQ(Read(spi, 768), 4);
}

TEST(SimFpgaRegisters, AcquisitionDrawingAndPresence) {
  int spi = Spi();
  F().SetAcquisitionStatus(0, 2);
  F().SetAcquisitionStatus(1, 4);
  EXPECT_EQ(Read(spi, 770), 0x42);
  F().SetDrawingStatus(1);
  EXPECT_EQ(Read(spi, 820) >> 8 & 15, 1);
  EXPECT_EQ(Read(spi, 772), 3);  // 1 kHz on both inputs by default
  plat::TestSignal dc;
  dc.shape = plat::SignalShape::kDc;
  F().SetSignal(plat::kSignalCh1, dc);
  EXPECT_EQ(Read(spi, 772), 2);
  Write(spi, 48, 1);  // trigger on CH2: bit 0 follows it
  EXPECT_EQ(Read(spi, 772), 3);
  EXPECT_EQ(F().ReadCount(772), 3);
}

TEST(SimFpgaRegisters, SerialDevicesDecodedFromTheirWords) {
  int spi = Spi();
  for (auto w : {std::pair<int, int>{18, 0}, {20, 0x1234}, {22, 128 * 256 + 41}, {18, 1}}) Write(spi, uint16_t(w.first), uint16_t(w.second));
  EXPECT_EQ(F().AdcRegister(0, 41), 0x1234);
  EXPECT_EQ(F().AdcRegister(1, 41), 0x1234);
  for (auto w : {std::pair<int, int>{24, 0}, {26, 0xBEEF}, {28, 0x12}, {24, 1}}) Write(spi, uint16_t(w.first), uint16_t(w.second));
  EXPECT_EQ(F().FrontEndWord(), 0x12BEEFu);
  for (auto w : {std::pair<int, int>{32, 0}, {10, 2}, {34, 0x1000 | 0x4000 | 99}, {32, 1}}) Write(spi, uint16_t(w.first), uint16_t(w.second));
  EXPECT_EQ(F().DacValue(3), 99);
  EXPECT_EQ(F().DacValue(0), -1);
}

TEST(SimFpgaDevices, HandlesFaultsAndClosedDevices) {
  plat::SimFpga::Faults f;
  f.noSpi = f.noLocalBus = true;
  F().SetFaults(f);
  EXPECT_EQ(plat::FpgaOpenSpi("x"), -1);
  EXPECT_EQ(plat::FpgaOpenLocalBus("x"), -1);
  F().SetFaults({});
  F().SetHandles(0, 7);
  int lb = plat::FpgaOpenLocalBus("x");
  EXPECT_EQ(lb, 0);
  int spi = plat::FpgaOpenSpi("x");
  EXPECT_EQ(spi, 7);
  const uint8_t frame[4] = {1, 0, 2, 0};
  EXPECT_FALSE(plat::FpgaSpiWrite(3, frame));  // not the open handle
  plat::FpgaCloseSpi(spi);
  EXPECT_FALSE(plat::FpgaSpiWrite(spi, frame));
  EXPECT_TRUE(F().Log().empty());
  EXPECT_NE(plat::FpgaMapWindow(lb, 307200, 307200), nullptr);
}

TEST(SimFpgaBlocks, RasterIsKeptFifosDrainAndTheWindowGetsACopy) {
  int lb = plat::FpgaOpenLocalBus("x");
  uint8_t* win = plat::FpgaMapWindow(lb, 307200, 307200);
  ASSERT_NE(win, nullptr);
  int spi = Spi();
  F().LoadBlock(0, std::vector<uint8_t>(100, 9));
  F().LoadBlock(64, std::vector<uint8_t>(96, 4));
  F().LoadBlock(128, std::vector<uint8_t>(40, 5));
  EXPECT_EQ(Read(spi, 782), 1);
  EXPECT_EQ(Read(spi, 800), 96);
  EXPECT_EQ(Read(spi, 784), 40);

  std::vector<uint8_t> buf(64, 0xFF);
  EXPECT_EQ(plat::FpgaLocalBusRead(lb, 64, buf.data(), 64), 64);
  EXPECT_EQ(buf, std::vector<uint8_t>(64, 4));
  EXPECT_EQ(Read(spi, 800), 32);
  EXPECT_EQ(plat::FpgaLocalBusRead(lb, 64, buf.data(), 64), 64);
  EXPECT_EQ(buf[31], 4);
  EXPECT_EQ(buf[32], 0);
  EXPECT_EQ(Read(spi, 782), 0);

  std::vector<uint8_t> r(100);
  plat::FpgaLocalBusRead(lb, 2048, r.data(), 100);
  plat::FpgaLocalBusRead(lb, 0, r.data(), 100);
  EXPECT_EQ(r, std::vector<uint8_t>(100, 9));
  EXPECT_EQ(win[99], 9);
  EXPECT_EQ(F().BlockPending(0), 100u);
  plat::FpgaLocalBusRead(lb, 128, r.data(), 40);
  EXPECT_EQ(win[0], 5);
  EXPECT_EQ(F().BlockPending(128), 0u);
  EXPECT_EQ(plat::FpgaLocalBusRead(lb, 0, nullptr, 10), -1);
}

TEST(SimFpgaFinished, SignalReachesTheHandlerOnlyWithTheDeviceOpen) {
  // Acquisitions only when asked: a paced one would raise the signal too.
  F().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  g_finished = 0;
  EXPECT_FALSE(plat::FpgaSetFinishedHandler(3, OnFinished));
  F().RaiseFinished();
  EXPECT_EQ(g_finished, 0);
  int lb = plat::FpgaOpenLocalBus("x");
  EXPECT_TRUE(plat::FpgaSetFinishedHandler(lb, OnFinished));
  F().RaiseFinished();
  EXPECT_EQ(g_finished, 1);
  int spi = Spi();
  EXPECT_EQ(Read(spi, 804), 1);
  Write(spi, 0, 1);  // acquisition reset clears the flag
  EXPECT_EQ(Read(spi, 804), 0);
  EXPECT_FALSE(F().Finished());
}

TEST(SimFpgaCounters, CountsFollowTheSignalAndTheGate) {
  plat::UseVirtualClock(true);
  int spi = Spi();
  F().SetSignalFrequency(plat::kSignalCh1, 1000.0);
  F().SetSignalFrequency(plat::kSignalExt, 400.0);
  Write(spi, 108, 2);
  Write(spi, 110, 0);
  Write(spi, 106, 1);
  EXPECT_EQ(Read(spi, 786), 0);  // gate (1 s) still open
  plat::AdvanceUs(1000000);
  EXPECT_EQ(Read(spi, 786) & 0xC3, 0x2 | 0x1 | 0x80 | 0x40);
  EXPECT_EQ(Read32(spi, 806), 1000u);
  EXPECT_EQ(Read32(spi, 810), 250000000u);
  EXPECT_EQ(Read32(spi, 814), 500000u);  // two periods in 4 ns ticks
  EXPECT_EQ(Read32(spi, 852), 400u);
  EXPECT_EQ(Read32(spi, 856), 10000000u);  // counter 2 runs on 10 MHz
  EXPECT_EQ(Read32(spi, 860), 50000u);     // two periods in 100 ns ticks
  EXPECT_EQ(Read(spi, 786) & 0x18, 0);     // counter 1 never armed
}

TEST(SimFpgaTransfers, OverlapsAreSeenWithoutALock) {
  int spi = Spi();
  F().SetTransferDelayUs(200);
  auto hammer = [spi] {
    const uint8_t f[4] = {1, 0, 1, 0};
    for (int i = 0; i < 50; ++i) plat::FpgaSpiWrite(spi, f);
  };
  std::thread a(hammer), b(hammer);
  a.join();
  b.join();
  EXPECT_GT(F().Overlaps(), 0);
}

TEST(SimFpgaInspect, SummarisesTheBoard) {
  int spi = Spi();
  Write(spi, 8, 0xA5);
  const uint32_t block[8] = {2, 4, 0, 0, 1, 1023, 1, 0};
  EXPECT_FALSE(plat::FpgaLocalBusWrite(3, block));  // local bus closed
  std::string s = F().Inspect();
  EXPECT_NE(s.find("spi open"), std::string::npos) << s;
  EXPECT_NE(s.find("8=165"), std::string::npos) << s;
  EXPECT_NE(s.find("signals (Hz): 500000 1000 0"), std::string::npos) << s;  // the board's own defaults
}

TEST(SimFpgaLogs, KeepTheLastEntriesSoABoardRunningAllDayStaysBounded) {
  F().ClearLog();
  F().ClearBlockReads();
  constexpr size_t kCap = plat::SimFpga::kLogWords;
  for (size_t i = 0; i < kCap + 1000; ++i) F().WriteWord(300, uint16_t(i));
  auto log = F().Log();
  ASSERT_EQ(log.size(), kCap);
  EXPECT_EQ(log.front(), std::make_pair(uint16_t(300), uint16_t(1000)));  // oldest kept
  EXPECT_EQ(log.back(), std::make_pair(uint16_t(300), uint16_t(kCap + 999)));
  EXPECT_EQ(F().Word(300), uint16_t(kCap + 999));
  F().ClearLog();
  F().WriteWord(301, 7);
  ASSERT_EQ(F().Log().size(), 1u);
  EXPECT_EQ(F().Log()[0], std::make_pair(uint16_t(301), uint16_t(7)));

  uint8_t b[4];
  for (size_t i = 0; i < plat::SimFpga::kLogBlockReads + 10; ++i) F().ReadBlock(uint32_t(1000 + i % 3), b, 1 + i % 4);
  const auto reads = F().BlockReads();
  ASSERT_EQ(reads.size(), plat::SimFpga::kLogBlockReads);
  const size_t last = plat::SimFpga::kLogBlockReads + 9;
  EXPECT_EQ(reads.back(), std::make_pair(uint32_t(1000 + last % 3), size_t(1 + last % 4)));
  F().ClearBlockReads();
  EXPECT_TRUE(F().BlockReads().empty());
}
