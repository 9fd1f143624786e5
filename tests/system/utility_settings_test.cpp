// The network address and clock settings on the simulated board: the exact
// configuration file texts, what the EEPROM holds, the route and MAC files
// parsed from fixtures, the interface queried after a networking restart, and
// the clock checks and commands. Nothing reaches the PC's own network or clock.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "platform/clock.h"
#include "platform/devices/net.h"
#include "platform/root.h"
#include "platform/shell.h"
#include "platform/sim/devices/sim_controls.h"
#include "system/utility/ip_config.h"
#include "system/utility/set_time.h"
#include "tests/bench/bench.h"

namespace {
constexpr char kStaticText[] =
    "auto eth0\nauto lo\niface lo inet loopback\niface eth0 inet static\n"
    "address 10.1.2.3\nnetmask 255.255.255.0\niface eth1 inet dhcp\n";
constexpr char kDhcpText[] = "auto lo\niface lo inet loopback\nauto eth0\niface eth0 inet dhcp\niface eth1 inet dhcp\n";
constexpr char kRestart[] = "/etc/init.d/networking restart";

IpAddress Address(std::initializer_list<int> addr, std::initializer_list<int> mask) {
  IpAddress a{};
  int i = 0;
  for (int b : addr) a.address[i++] = uint8_t(b);
  i = 0;
  for (int b : mask) a.netmask[i++] = uint8_t(b);
  return a;
}

struct Network : ::testing::Test {
  Bench bench;
  IpConfig ip;
  void SetUp() override {
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    plat::ClearShellLog();
  }
};

struct Clock : ::testing::Test {
  Bench bench;
  SetTime clock;
  void SetUp() override {
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    plat::ClearShellLog();
  }
};
}  // namespace

TEST_F(Network, StaticAddressWritesTheFileWithTheMaskForcedAndTheInterfaceTakesIt) {
  IpAddress a = Address({10, 1, 2, 3}, {254, 255, 255, 7});
  ip.SetIpAddress(&a);
  EXPECT_EQ(ip.ConfIpManual2(), 0);
  EXPECT_EQ(ReadRootFile("etc/network/interfaces"), kStaticText);
  EXPECT_TRUE(bench.ShellRan(kRestart));
  // The restart brought the simulated interface up on the new address.
  IpConfig fresh;
  ASSERT_EQ(fresh.ReadIpFromNet(), 0);
  IpAddress got;
  fresh.GetIpAddress(&got);
  EXPECT_EQ(std::memcmp(got.address, a.address, 4), 0);
  const uint8_t mask[4] = {255, 255, 255, 0};
  EXPECT_EQ(std::memcmp(got.netmask, mask, 4), 0);
}

TEST_F(Network, DhcpWritesItsFileAndTheInterfaceGetsALease) {
  EXPECT_EQ(ip.ConfIpDhcp2(), 0);
  EXPECT_EQ(ReadRootFile("etc/network/interfaces"), kDhcpText);
  EXPECT_TRUE(bench.ShellRan(kRestart));
  uint32_t addr = 0, mask = 0;
  ASSERT_EQ(plat::NetInterfaceAddress("eth0", &addr, &mask), 0);
  EXPECT_EQ(addr & 0xFFFFFF, 0x01A8C0u);  // 192.168.1.x, first byte lowest
  EXPECT_EQ(mask, 0x00FFFFFFu);
}

TEST_F(Network, EepromAddressesAndTheZeroFallback) {
  IpAddress a = Address({172, 16, 9, 8}, {255, 255, 0, 0});
  ip.SetIpAddress(&a);
  ip.SaveIpToIIC();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(I2cStorage.I2C_ReadU8(EE_IP_ADDRESS + i), a.address[i]);
    EXPECT_EQ(I2cStorage.I2C_ReadU8(EE_NET_MASK + i), a.netmask[i]);
  }
  IpAddress got;
  ip.ReadIpFormIIC();
  ip.GetIpAddress(&got);
  EXPECT_EQ(std::memcmp(&got, &a, 8), 0);

  for (int i = 0; i < 4; ++i) I2cStorage.I2C_WriteU8(EE_IP_ADDRESS + i, 0);
  ip.ReadIpFormIIC();
  ip.GetIpAddress(&got);
  const uint8_t fallback[8] = {192, 168, 0, 1, 255, 255, 255, 0};
  EXPECT_EQ(std::memcmp(&got, fallback, 8), 0);

  I2cStorage.I2C_WriteU8(EE_IP_ADDRESS + 3, 5);  // 0.0.0.5 is an address
  ip.ReadIpFormIIC();
  ip.GetIpAddress(&got);
  EXPECT_EQ(got.address[0], 0);
  EXPECT_EQ(got.address[3], 5);
  EXPECT_EQ(got.netmask[0], 255);
  EXPECT_EQ(got.netmask[1], 255);
}

TEST_F(Network, RouteFileGivesTheFirstCompleteLinesInterface) {
  char name[20] = {};
  ASSERT_EQ(IpConfig::GetIfaceName(name, sizeof name), 0);  // the board's own table
  EXPECT_STREQ(name, "eth0");
  WriteRootFile("proc/net/route",
                "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                "wlan9\t00000000\t0101A8C0\t0003\n"  // short: skipped
                "usb0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
                "eth0\t00000000\t0101A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n");
  ASSERT_EQ(IpConfig::GetIfaceName(name, sizeof name), 0);
  EXPECT_STREQ(name, "usb0");
  WriteRootFile("proc/net/route", "Iface\tDestination\n");
  EXPECT_EQ(IpConfig::GetIfaceName(name, sizeof name), -1);
  RemoveRootFile("proc/net/route");
  EXPECT_EQ(IpConfig::GetIfaceName(name, sizeof name), -1);
  EXPECT_EQ(ip.ReadIpFromNet(), -1);
}

TEST_F(Network, MacNeedsExactlyFiveColons) {
  ASSERT_EQ(ip.GetMac2(), 0);  // the board's own address file
  IpAddress got;
  ip.GetIpAddress(&got);
  const uint8_t mac[6] = {0x00, 0x1e, 0xc0, 0x4a, 0x7b, 0x21};
  EXPECT_EQ(std::memcmp(got.mac, mac, 6), 0);
  for (const char* bad : {"00:1e:c0:4a:7b\n", "00:1e:c0:4a:7b:21:99\n", "00-1e-c0-4a-7b-21\n", ""}) {
    WriteRootFile("sys/class/net/eth0/address", bad);
    EXPECT_EQ(ip.GetMac2(), -1) << bad;
    ip.GetIpAddress(&got);
    EXPECT_EQ(std::memcmp(got.mac, mac, 6), 0) << bad;
  }
  WriteRootFile("sys/class/net/eth0/address", "a0:B1:c2:D3:e4:F5\n");
  ASSERT_EQ(ip.GetMac2(), 0);
  ip.GetIpAddress(&got);
  const uint8_t mac2[6] = {0xa0, 0xb1, 0xc2, 0xd3, 0xe4, 0xf5};
  EXPECT_EQ(std::memcmp(got.mac, mac2, 6), 0);
}

TEST_F(Clock, MonthLengthsAndTheValidityCheck) {
  EXPECT_EQ(SetTime::GetMaxDayInMonth(2100, 2), 28);
  EXPECT_EQ(SetTime::GetMaxDayInMonth(2000, 2), 29);
  EXPECT_EQ(SetTime::GetMaxDayInMonth(2024, 2), 29);
  EXPECT_EQ(SetTime::GetMaxDayInMonth(2023, 4), 30);
  EXPECT_EQ(SetTime::GetMaxDayInMonth(2023, 13), -1);
  EXPECT_EQ(SetTime::GetMaxDayInMonth(2023, 0), -1);
  EXPECT_FALSE(SetTime::CheckTimeValidity(2100, 2, 29, 0, 0, 0));
  EXPECT_TRUE(SetTime::CheckTimeValidity(2000, 2, 29, 0, 0, 0));
  EXPECT_TRUE(SetTime::CheckTimeValidity(2024, 2, 29, 0, 0, 0));
  EXPECT_TRUE(SetTime::CheckTimeValidity(2024, 1, 1, 24, 60, 60));
  EXPECT_FALSE(SetTime::CheckTimeValidity(2024, 1, 1, 25, 0, 0));
  EXPECT_FALSE(SetTime::CheckTimeValidity(2024, 1, 1, 0, 61, 0));
  EXPECT_FALSE(SetTime::CheckTimeValidity(2024, 13, 1, 0, 0, 0));
  EXPECT_FALSE(SetTime::CheckTimeValidity(2024, 1, 0, 0, 0, 0));
}

TEST_F(Clock, SettingRunsDateAndHwclockAndTheSimulatedClockFollows) {
  const int16_t when[6] = {2024, 3, 5, 7, 8, 9};
  clock.SetSetTimeDate(when);
  ASSERT_EQ(clock.SetTimeHw(), 0);
  const auto log = plat::ShellLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "date -s \"2024-3-5 7:8:9\"");
  EXPECT_EQ(log[1], "hwclock -w");
  int32_t sec = 0;
  plat::WallTime(&sec, nullptr);
  std::tm expected{};
  expected.tm_year = 124, expected.tm_mon = 2, expected.tm_mday = 5;
  expected.tm_hour = 7, expected.tm_min = 8, expected.tm_sec = 9;
  EXPECT_NEAR(double(sec), double(timegm(&expected)), 2.0);

  SetTime back;
  back.SetTimeInit();
  int16_t got[6];
  back.GetSetTimeDate(got);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(got[i], when[i]) << i;
  EXPECT_TRUE(bench.ShellRan("hwclock -s"));
}

TEST_F(Clock, AnInvalidDateRunsNothing) {
  const int16_t when[6] = {2023, 2, 29, 1, 2, 3};
  clock.SetSetTimeDate(when);
  EXPECT_EQ(clock.SetTimeHw(), -1);
  EXPECT_TRUE(plat::ShellLog().empty());
  clock.TimeNetSync();
  ASSERT_EQ(plat::ShellLog().size(), 1u);
  EXPECT_EQ(plat::ShellLog()[0].rfind("ntpdate ", 0), 0u);
  EXPECT_EQ(plat::ShellLog()[0].back(), '&');
}
