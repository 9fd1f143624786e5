// The USBTMC device in the test process, driven as a host drives it through
// the simulated board's USB device port (control requests, bulk packets, a
// bus suspend): the transfer after an aborted one, a request no answer
// meets, a clear while an answer waits to be read, the status byte's MAV,
// requests after a suspend, and the key lock taken over USB released by a
// suspend.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/input/rs232.h"
#include "platform/devices/devices.h"
#include "platform/root.h"
#include "remote/scpi/scpi.h"
#include "remote/usbtmc/usbtmc.h"
#include "tests/bench/bench.h"
#include "tests/bench/wait.h"

namespace {
using namespace std::chrono_literals;

void Idn(scpi_para*, char*) { Scpi.WriteResponseData("QEL,TEST", 0); }
void Slow(scpi_para*, char*) {
  std::this_thread::sleep_for(200ms);
  Scpi.WriteResponseData("SLOW", 0);
}
// GATE holds the worker until the test opens it; COUNT counts its runs.
struct Gate {
  std::mutex mu;
  std::condition_variable cv;
  bool entered = false, open = false;
} g_gate;
std::atomic<int> g_counted{0};
void HoldAtGate(scpi_para*, char*) {
  std::unique_lock<std::mutex> lock(g_gate.mu);
  g_gate.entered = true;
  g_gate.cv.notify_all();
  g_gate.cv.wait(lock, [] { return g_gate.open; });
}
void Count(scpi_para*, char*) { ++g_counted; }
// An answer far larger than the port holds unread.
constexpr int kLongAnswer = 1 << 20;
void Long(scpi_para*, char*) {
  const std::string answer(kLongAnswer, 'L');
  Scpi.WriteResponseDataPure(answer.data(), int(answer.size()));
}
instr g_table[] = {{"*IDN?", Idn},   {"SLOW?", Slow}, {"GATE", HoldAtGate},
                   {"COUNT", Count}, {"LONG?", Long}, {"", nullptr}};

constexpr uint8_t kMsgOut = 1, kRequestIn = 2;
constexpr size_t kPacket = 512;

int ConnectTo(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
  sockaddr_un a = {};
  a.sun_family = AF_UNIX;
  std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
  timeval tv = {10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string Header(uint8_t msgId, uint8_t tag, uint32_t size, uint8_t attributes) {
  std::string h(12, '\0');
  h[0] = char(msgId);
  h[1] = char(tag);
  h[2] = char(~tag);
  for (int i = 0; i < 4; ++i) h[4 + i] = char(size >> (8 * i));
  h[8] = char(attributes);
  return h;
}

// A host plugged into the port, with the configuration selected.
struct Host {
  int ctl = -1, out = -1, in = -1;

  bool Plug() {
    const std::string controller = plat::MapPath(plat::kGadgetController);
    // Each file takes connections once the device has set it up (the endpoints after
    // the configuration is selected, on the device's own thread).
    auto connect = [](const std::string& path, int* fd) {
      return WaitUntil([&] { return (*fd = ConnectTo(path)) >= 0; });
    };
    if (!connect(controller, &ctl) || Control(0x00, 9, 1, 0, 0).empty()) return false;  // SET_CONFIGURATION 1
    return connect(plat::MapPath(plat::kGadgetEpOut), &out) && connect(plat::MapPath(plat::kGadgetEpIn), &in);
  }
  ~Host() {
    for (int fd : {ctl, out, in})
      if (fd >= 0) close(fd);
  }
  // A control request; the status byte and the IN data (empty: no answer).
  std::string Control(uint8_t type, uint8_t request, uint16_t value, uint16_t index, uint16_t length) {
    const uint8_t setup[8] = {type,
                              request,
                              uint8_t(value),
                              uint8_t(value >> 8),
                              uint8_t(index),
                              uint8_t(index >> 8),
                              uint8_t(length),
                              uint8_t(length >> 8)};
    if (send(ctl, setup, sizeof setup, 0) != ssize_t(sizeof setup)) return "";
    char buf[4096];
    const ssize_t n = recv(ctl, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, size_t(n)) : "";
  }
  void Suspend() { send(ctl, "S", 1, 0); }
  bool Packet(const std::string& p) { return send(out, p.data(), p.size(), 0) == ssize_t(p.size()); }
  void Command(uint8_t tag, const std::string& text) {
    std::string t = Header(kMsgOut, tag, uint32_t(text.size()), 1) + text;
    t.resize((t.size() + 3) & ~size_t(3), '\0');
    Packet(t);
  }
  // The data of the DEV_DEP_MSG_IN transfer answering request `tag`.
  std::string Answer(uint8_t tag) {
    Packet(Header(kRequestIn, tag, 4096, 0));
    std::string transfer;
    char buf[kPacket];
    for (;;) {
      const ssize_t n = recv(in, buf, sizeof buf, 0);
      if (n < 0) return "(no answer)";
      transfer.append(buf, size_t(n));
      if (size_t(n) < kPacket) break;
    }
    return transfer.size() >= 12 ? transfer.substr(12) : "(short)";
  }
  uint8_t StatusByte(uint8_t tag) {
    const std::string r = Control(0xA1, 128, tag, 0, 3);  // READ_STATUS_BYTE
    return r.size() == 4 && uint8_t(r[1]) == 1 ? uint8_t(r[3]) : 0xFF;
  }
};

struct UsbTmcDevice : ::testing::Test {
  Bench bench;
  Host host;
  void SetUp() override {
    ASSERT_EQ(0, Scpi.RegisterInstr(40, g_table));
    ASSERT_EQ(0, StartScpiThread());
    ASSERT_TRUE(host.Plug());
  }
};
}  // namespace

// INITIATE_ABORT_BULK_OUT ends a transfer half-way; the transfer the host
// sends right after it is taken whole, not as the rest of the aborted one.
TEST_F(UsbTmcDevice, TheTransferAfterAnAbortedOneIsKept) {
  for (uint8_t round = 0; round < 5; ++round) {
    const uint8_t tag = uint8_t(10 + 3 * round);
    std::string first = Header(kMsgOut, tag, 1000, 1) + std::string(kPacket - 12, 'x');
    ASSERT_TRUE(host.Packet(first));
    // The abort is taken by the sink once it waits for the next packet.
    std::string reply;
    ASSERT_TRUE(WaitUntil([&] {
      reply = host.Control(0xA2, 1, tag, 0x03, 2);
      return reply.size() == 3 && uint8_t(reply[1]) == 0x01;
    })) << "INITIATE_ABORT_BULK_OUT";
    host.Command(uint8_t(tag + 1), "*IDN?");
    EXPECT_EQ("QEL,TEST\r\n", host.Answer(uint8_t(tag + 2))) << "round " << int(round);
  }
}

// INITIATE_CLEAR while a command runs: the clear is done without waiting for
// it, the commands sent behind it never run, the running one ends, and the
// next command is served.
TEST_F(UsbTmcDevice, AClearDropsTheCommandsWaitingBehindARunningOne) {
  constexpr int kWaiting = 20;
  g_counted = 0;
  host.Command(50, "GATE");
  {
    std::unique_lock<std::mutex> lock(g_gate.mu);
    ASSERT_TRUE(g_gate.cv.wait_for(lock, kWaitLimit, [] { return g_gate.entered; }));
  }
  for (int i = 0; i < kWaiting; ++i) host.Command(uint8_t(51 + i), "COUNT");
  EXPECT_EQ(std::string("\x00\x01", 2), host.Control(0xA1, 5, 0, 0, 1));  // INITIATE_CLEAR
  std::string status;
  EXPECT_TRUE(WaitUntil([&] {
    status = host.Control(0xA1, 6, 0, 0, 2);  // CHECK_CLEAR_STATUS
    return status.size() == 3 && uint8_t(status[1]) != 0x02;
  })) << "the clear stays pending while the command runs";
  EXPECT_EQ(std::string("\x00\x01\x00", 3), status);
  {
    std::lock_guard<std::mutex> lock(g_gate.mu);
    g_gate.open = true;
  }
  g_gate.cv.notify_all();
  host.Command(80, "*IDN?");
  EXPECT_EQ("QEL,TEST\r\n", host.Answer(81));
  EXPECT_EQ(0, g_counted.load()) << "commands sent before the clear ran after it";
}

// A REQUEST_DEV_DEP_MSG_IN that no answer will meet (nothing asked, or a
// command that answers nothing) does not stop the device taking what the
// host sends next: the query after it is answered at once rather than once
// the request's wait has run out, and nothing is sent for the request.
TEST_F(UsbTmcDevice, ARequestNoAnswerMeetsLeavesTheDeviceTakingPackets) {
  g_counted = 0;
  ASSERT_TRUE(host.Packet(Header(kRequestIn, 60, 4096, 0)));  // nothing asked
  host.Command(61, "COUNT");
  ASSERT_TRUE(host.Packet(Header(kRequestIn, 62, 4096, 0)));
  host.Command(63, "*IDN?");
  EXPECT_EQ("QEL,TEST\r\n", host.Answer(64));
  EXPECT_EQ(1, g_counted.load());
  char extra[kPacket];
  EXPECT_LT(recv(host.in, extra, sizeof extra, MSG_DONTWAIT), 0)
      << "a transfer for a request that met no answer";
}

// INITIATE_CLEAR while the device waits for the host to read a long answer:
// CHECK_CLEAR_STATUS stays pending with bmClear's BulkInFifoBytes set, the
// host reads bulk-IN up to a short packet as told, and the clear is then done.
TEST_F(UsbTmcDevice, AClearWhileAnAnswerWaitsToBeReadTellsTheHostToReadIt) {
  host.Command(90, "LONG?");
  ASSERT_TRUE(host.Packet(Header(kRequestIn, 91, kLongAnswer, 0)));
  pollfd sending{host.in, POLLIN, 0};
  ASSERT_EQ(1, poll(&sending, 1, int(kWaitLimit.count()))) << "the answer never came";
  EXPECT_EQ(std::string("\x00\x01", 2), host.Control(0xA1, 5, 0, 0, 1));  // INITIATE_CLEAR
  std::string status;
  ASSERT_TRUE(WaitUntil([&] {
    status = host.Control(0xA1, 6, 0, 0, 2);  // CHECK_CLEAR_STATUS
    return status.size() == 3 && uint8_t(status[1]) == 0x02 && (status[2] & 1);
  })) << "pending, nothing to read told";
  char buf[kPacket];
  ssize_t n;
  do n = recv(host.in, buf, sizeof buf, 0);
  while (n == ssize_t(kPacket));
  ASSERT_GE(n, 0) << "no short packet";
  EXPECT_TRUE(WaitUntil([&] {
    status = host.Control(0xA1, 6, 0, 0, 2);
    return status.size() == 3 && uint8_t(status[1]) != 0x02;
  })) << "the clear stays pending";
  EXPECT_EQ(std::string("\x00\x01\x00", 3), status);
  host.Command(92, "*IDN?");
  EXPECT_EQ("QEL,TEST\r\n", host.Answer(93));
}

// READ_STATUS_BYTE shows MAV as soon as the answer is stored, and no longer
// once it has been read.
TEST_F(UsbTmcDevice, TheStatusByteShowsAnAnswerAtOnce) {
  std::mutex mu;
  std::condition_variable cv;
  int stored = 0;
  const int waker = Scpi.AddAnswerWaker([&] {
    std::lock_guard<std::mutex> lock(mu);
    ++stored;
    cv.notify_all();
  });
  for (uint8_t round = 0; round < 5; ++round) {
    const uint8_t tag = uint8_t(20 + 2 * round);
    EXPECT_EQ(0, host.StatusByte(2) & 0x10);
    host.Command(tag, "SLOW?");
    {
      std::unique_lock<std::mutex> lock(mu);
      ASSERT_TRUE(cv.wait_for(lock, kWaitLimit, [&] { return stored > round; }));
    }
    EXPECT_EQ(0x10, host.StatusByte(3) & 0x10) << "round " << int(round);
    EXPECT_EQ("SLOW\r\n", host.Answer(uint8_t(tag + 1)));
    EXPECT_EQ(0, host.StatusByte(4) & 0x10);
  }
  Scpi.RemoveAnswerWaker(waker);
}

// A host that suspends the bus and wakes keeps its instrument: gadgetfs
// reports no resume, so the next request is the resume and is answered.
TEST_F(UsbTmcDevice, ARequestAfterABusSuspendIsAnswered) {
  host.Command(30, "*IDN?");
  EXPECT_EQ("QEL,TEST\r\n", host.Answer(31));
  for (uint8_t round = 0; round < 2; ++round) {
    host.Suspend();
    ASSERT_TRUE(WaitUntil([] { return UsbTmcSuspended(); }));
    const uint8_t tag = uint8_t(32 + 2 * round);
    host.Command(tag, "*IDN?");
    EXPECT_EQ("QEL,TEST\r\n", host.Answer(uint8_t(tag + 1))) << "after suspend " << int(round);
    EXPECT_FALSE(UsbTmcSuspended());
  }
  // A control request after a suspend resumes the bus as well.
  host.Suspend();
  ASSERT_TRUE(WaitUntil([] { return UsbTmcSuspended(); }));
  EXPECT_EQ(0, host.StatusByte(5) & 0x10);
  EXPECT_FALSE(UsbTmcSuspended());
  host.Command(40, "*IDN?");
  EXPECT_EQ("QEL,TEST\r\n", host.Answer(41));
}

// A key lock taken over USB is released by the main loop once the host has
// suspended the bus; a lock taken over VXI-11 stays.
TEST(UsbTmcKeyLock, ABusSuspendReleasesTheLockTakenOverUsb) {
  Bench bench;
  ASSERT_EQ(0, bench.Start());
  Host host;
  ASSERT_TRUE(host.Plug());
  KeyBoard.KeyLockEnble();
  Scpi.SetKeyLockFrom(kKeyLockUsbTmc);
  bench.AdvanceMs(4000);
  bench.Pass();
  EXPECT_TRUE(KeyBoard.IsKeyLock()) << "no suspend yet";
  host.Suspend();
  ASSERT_TRUE(WaitUntil([] { return UsbTmcSuspended(); }));
  bench.AdvanceMs(4000);
  bench.Pass();
  EXPECT_FALSE(KeyBoard.IsKeyLock());
  EXPECT_EQ(kKeyLockNone, Scpi.GetKeyLockFrom());

  KeyBoard.KeyLockEnble();
  Scpi.SetKeyLockFrom(kKeyLockVxi11);
  bench.AdvanceMs(4000);
  bench.Pass();
  EXPECT_TRUE(KeyBoard.IsKeyLock());
  EXPECT_EQ(kKeyLockVxi11, Scpi.GetKeyLockFrom());
  KeyBoard.KeyLockDisable();
}
