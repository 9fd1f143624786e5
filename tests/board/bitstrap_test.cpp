// The bitstream loader run as its own program against the simulated board's
// GPIO bank 5 and FPGA configuration port, and the port's shift logic.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/devices/gpio.h"
#include "platform/root.h"
#include "platform/sim/fpga/sim_fpga_config.h"

namespace fs = std::filesystem;

namespace {

const char* kBitstrap = SCOPE_BINARY_DIR "/loader/Bitstrap";
const char* kBitPath = "Data/FpgaBit/FPGA.bit";

struct Outcome {
  int status = -1;
  std::string out;
};

class BitstrapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bitstrap_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    ASSERT_TRUE(plat::InitRoot(root_));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // Runs the loader on this root; `factory` replaces the factory image.
  Outcome RunLoader(const std::string& factory = "") {
    int fds[2];
    Outcome r;
    if (pipe(fds) != 0) return r;
    pid_t pid = fork();
    if (pid == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      close(fds[1]);
      if (!factory.empty()) setenv("SCOPE_FACTORY", factory.c_str(), 1);
      execl(kBitstrap, kBitstrap, "--root", root_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) r.out.append(buf, size_t(n));
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
  }

  std::vector<uint8_t> ReadBit() {
    std::ifstream f(kBitPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
  }
  void WriteBit(const std::vector<uint8_t>& data) {
    std::ofstream(kBitPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  }

  // The "key value" lines the simulated GPIO block left in dev/gpio5.
  std::map<std::string, std::string> Gpio5() {
    std::map<std::string, std::string> kv;
    std::ifstream f(plat::DevPath("gpio5"));
    std::string k, v;
    while (f >> k >> v) kv[k] = v;
    return kv;
  }

  std::string root_;
};

std::string Expected(size_t size, const char* result) {
  std::ostringstream s;
  s << "FPGA Config plase waiting...!\nOpen /dev/mem OK!\nmap GPIO_BASEADDR OK\n"
    << kBitPath << " size " << size << " \nread " << kBitPath << " Success!\n"
    << "FPGA Configuring.......\n" << result << "\n";
  return s.str();
}

TEST_F(BitstrapTest, GoodBitstreamRaisesDoneOnAnUnconfiguredBoard) {
  size_t size = ReadBit().size();
  ASSERT_GT(size, 1000u);
  ASSERT_LT(size, 100000u);
  plat::SimSetFpgaConfigured(false);   // the board comes up unconfigured
  ASSERT_FALSE(plat::SimFpgaConfigured());

  Outcome r = RunLoader();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Expected(size, "FPGA Config Success!"));
  auto g = Gpio5();
  EXPECT_EQ(g["prog_pulses"], "1");
  EXPECT_EQ(g["cclk_edges"], std::to_string(size * 8));
  EXPECT_EQ(g["done"], "1");
  EXPECT_EQ(g["first"].substr(0, 8), "ffffffff");
  // The FPGA now answers scopeapp's start-up probe.
  EXPECT_TRUE(plat::SimFpgaConfigured());
}

TEST_F(BitstrapTest, FreshRootComesUpConfiguredAndIsReconfigured) {
  EXPECT_TRUE(plat::SimFpgaConfigured());
  Outcome r = RunLoader();
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("FPGA Config Success!\n"), std::string::npos);
  EXPECT_TRUE(plat::SimFpgaConfigured());
}

TEST_F(BitstrapTest, CorruptOrTruncatedBitstreamLeavesFpgaUnconfigured) {
  std::vector<uint8_t> good = ReadBit();
  std::vector<uint8_t> corrupt = good;
  corrupt[good.size() / 2] ^= 0x10;
  std::vector<uint8_t> truncated(good.begin(), good.end() - 100);
  for (const auto* bad : {&corrupt, &truncated}) {
    plat::SimSetFpgaConfigured(true);
    WriteBit(*bad);
    Outcome r = RunLoader();
    EXPECT_EQ(r.status, 0);   // clocked in: the start script goes on to scopeapp
    EXPECT_EQ(r.out, Expected(bad->size(), "FPGA Config Error!"));
    EXPECT_EQ(Gpio5()["done"], "0");
    EXPECT_EQ(Gpio5()["init_b"], bad == &corrupt ? "0" : "1");   // check error
    EXPECT_FALSE(plat::SimFpgaConfigured());   // the probe goes unanswered
  }
}

TEST_F(BitstrapTest, MissingFileStopsBeforeProgB) {
  // Without a factory image the root cannot be repopulated with the file.
  fs::remove(kBitPath);
  std::string empty = root_ + "/no_factory";
  fs::create_directories(empty);
  Outcome r = RunLoader(empty);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out,
            "FPGA Config plase waiting...!\nOpen /dev/mem OK!\nmap GPIO_BASEADDR OK\n"
            "Open Data/FpgaBit/FPGA.bit failed!\n");
  auto g = Gpio5();
  EXPECT_EQ(g["prog_pulses"], "0");
  EXPECT_EQ(g["cclk_edges"], "0");
  EXPECT_TRUE(plat::SimFpgaConfigured());
}

TEST_F(BitstrapTest, KnownByteIsClockedMsbFirstAndOtherPinsKeepTheirBits) {
  std::ofstream(plat::DevPath("gpio5")) << "dr 0x80000008\ngdir 0xf0000003\n";
  WriteBit({0xA5, 0x1E});
  Outcome r = RunLoader();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Expected(2, "FPGA Config Error!"));
  auto g = Gpio5();
  // DIN 1,0,1,0,0,1,0,1 then 0,0,0,1,1,1,1,0 on sixteen rising CCLK edges
  // (0x1E, unlike 0xA5, reads differently backwards).
  EXPECT_EQ(g["cclk_edges"], "16");
  EXPECT_EQ(g["first"], "a51e");
  // INIT_B and DONE inputs, CCLK, PROG_B and DIN outputs, bits 28-31 kept.
  EXPECT_EQ(g["gdir"], "0xf000001c");
  // Last step: CCLK high, DIN = bit 0 (0), PROG_B released; bit 31 kept.
  EXPECT_EQ(g["dr"], "0x8000000c");
}

TEST_F(BitstrapTest, EmptyFilePulsesProgBAndReportsByDone) {
  WriteBit({});
  Outcome r = RunLoader();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Expected(0, "FPGA Config Error!"));
  auto g = Gpio5();
  EXPECT_EQ(g["prog_pulses"], "1");
  EXPECT_EQ(g["cclk_edges"], "0");
  EXPECT_FALSE(plat::SimFpgaConfigured());
}

TEST_F(BitstrapTest, FailedMappingAndOversizedFileClockNothing) {
  std::ofstream(plat::DevPath("gpio5")) << "map_fails 1\n";
  Outcome r = RunLoader();
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "FPGA Config plase waiting...!\nOpen /dev/mem OK!\nmap GPIO_BASEADDR failed!\n");
  EXPECT_EQ(Gpio5().count("prog_pulses"), 0u);   // never mapped, never written
  EXPECT_TRUE(plat::SimFpgaConfigured());

  fs::remove(plat::DevPath("gpio5"));
  WriteBit(std::vector<uint8_t>(3 * 1024 * 1024 + 1, 0xFF));
  r = RunLoader();
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.out.find("Data/FpgaBit/FPGA.bit size 3145729 \n"), std::string::npos);
  EXPECT_EQ(r.out.find("FPGA Configuring"), std::string::npos);
  EXPECT_EQ(Gpio5()["prog_pulses"], "0");
  EXPECT_EQ(Gpio5()["cclk_edges"], "0");
}

// The shift logic of the simulated port, driven through GPIO bank 5 in-process.
class ConfigPortTest : public BitstrapTest {
 protected:
  static constexpr uint32_t kDr = 0, kGdir = 4, kPsr = 8;
  void SetUp() override {
    BitstrapTest::SetUp();
    mem_ = plat::MemOpen();
    gpio_ = plat::GpioMap(mem_, 0x020AC000u, 0xFF);
    ASSERT_NE(gpio_, nullptr);
    plat::GpioWrite(gpio_, kGdir, 0x1C);
  }
  void TearDown() override {
    plat::GpioUnmap(gpio_);
    plat::MemClose(mem_);
    BitstrapTest::TearDown();
  }
  void Dr(uint32_t v) { plat::GpioWrite(gpio_, kDr, v); }
  void Bit(bool b) {
    uint32_t din = b ? 0x10 : 0;
    Dr(0x08 | din);
    Dr(0x0C | din);
  }
  void Bytes(const std::vector<uint8_t>& v) {
    for (uint8_t b : v)
      for (int i = 7; i >= 0; --i) Bit((b >> i) & 1);
  }
  bool Done() { return plat::GpioRead(gpio_, kPsr) & 2; }
  const plat::SimConfigPort& Port() { return *plat::SimGpioPort(gpio_); }

  int mem_ = -1;
  plat::GpioBlock* gpio_ = nullptr;
};

std::vector<uint8_t> Stream(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> s = {0xAA, 0x99, 0x55, 0x66};
  uint32_t n = uint32_t(payload.size());
  std::vector<uint8_t> body = {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
  body.insert(body.end(), payload.begin(), payload.end());
  uint32_t crc = plat::fpgabit::Crc32(body.data(), body.size());
  s.insert(s.end(), body.begin(), body.end());
  for (int sh = 24; sh >= 0; sh -= 8) s.push_back(uint8_t(crc >> sh));
  return s;
}

TEST_F(ConfigPortTest, SamplesDinOnRisingEdgesAndFindsSyncAtAnyBit) {
  EXPECT_TRUE(Done());   // a fresh board's FPGA is configured
  Dr(0x00);              // PROG_B low resets it
  EXPECT_FALSE(Done());
  EXPECT_FALSE(plat::SimFpgaConfigured());
  EXPECT_EQ(plat::GpioRead(gpio_, kPsr) & 1, 0u);   // INIT_B low while held
  Dr(0x08);
  EXPECT_EQ(plat::GpioRead(gpio_, kPsr) & 1, 1u);

  // DIN changes while CCLK is high or PROG_B low are not clocked.
  Dr(0x0C);
  Dr(0x1C);
  Dr(0x0C);
  EXPECT_EQ(Port().Edges(), 1u);
  Dr(0x10);
  Dr(0x14);
  EXPECT_EQ(Port().Edges(), 0u);   // that was a reset, not a clock
  Dr(0x08);

  for (int i = 0; i < 3; ++i) Bit(true);   // stray bits before the sync word
  Bytes(Stream({1, 2, 3, 4, 5}));
  EXPECT_TRUE(Done());
  EXPECT_TRUE(plat::SimFpgaConfigured());
  EXPECT_EQ(Port().First()[0], 0xF5);   // 111 then AA's first five bits 10101
}

TEST_F(ConfigPortTest, WrongCheckOrLengthRaisesNoDone) {
  Dr(0x00);
  Dr(0x08);
  std::vector<uint8_t> s = Stream({9, 8, 7});
  s.back() ^= 1;
  Bytes(s);
  EXPECT_FALSE(Done());
  EXPECT_FALSE(Port().InitB());

  Dr(0x00);
  Dr(0x08);
  Bytes({0xAA, 0x99, 0x55, 0x66, 0xFF, 0xFF, 0xFF, 0xFF});   // length out of range
  EXPECT_FALSE(Port().InitB());
  Bytes(Stream({}));   // ignored until the next PROG_B pulse
  EXPECT_FALSE(Done());
  Dr(0x00);
  Dr(0x08);
  Bytes(Stream({}));
  EXPECT_TRUE(Done());
}

}  // namespace
