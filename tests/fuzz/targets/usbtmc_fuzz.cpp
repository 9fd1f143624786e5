// USBTMC bulk-OUT traffic as a USB host sends it: the input, cut into
// packets of up to 512 bytes (a packet ends at each 0xFF 0xFE pair, so
// short packets and zero-length packets occur too), goes to the instrument's
// bulk-OUT endpoint on the simulated USB port, the host reading bulk-IN
// while the device has no room for a packet. The host then clears the
// device (INITIATE_CLEAR until CHECK_CLEAR_STATUS says done), drains the
// bulk-IN endpoint meanwhile, and waits for the SCPI engine to settle.
// The clear drops the commands still waiting, so an input's work is the
// command running when the clear comes. A setup uploaded holds the
// instrument 2 s for each run-state block in it ("TASK-SYSTEM", twice in a
// whole setup) by design: an input holds at most one whole setup's worth,
// so its work fits the 10 s an input may take.
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/devices/devices.h"
#include "platform/root.h"
#include "tests/bench/wait.h"
#include "tests/fuzz/fuzz_instrument.h"

namespace {
constexpr size_t kPacket = 512;
constexpr auto kClearLimit = std::chrono::seconds(20);
constexpr int kReplyLimitS = 20;
constexpr int kOutRetryMs = 10;  // a packet the device has no room for is offered again this often
constexpr int kMostRunStateBlocks = 2;
constexpr char kRunStateLabel[] = "TASK-SYSTEM";

int Connect(const char* instrumentPath) {
  const std::string path = plat::MapPath(instrumentPath);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof(addr.sun_path)) return -1;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  // The device sets its endpoints up on its own thread once a configuration is
  // selected: connected to as soon as they are there.
  int fd = -1;
  const bool reached = WaitUntil([&] {
    fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) return true;
    if (fd >= 0) ::close(fd);
    fd = -1;
    return false;
  });
  if (!reached) {
    std::fprintf(stderr, "fuzz: cannot reach %s\n", path.c_str());
    std::abort();
  }
  const timeval limit = {kReplyLimitS, 0};  // a device that stops answering is a hang
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
  return fd;
}

struct Host {
  int ctl = Connect(plat::kGadgetController);
  int out = -1, in = -1;

  // One control request; the status byte of the reply (0 done, 1 stalled) and the data in `reply`.
  int Control(uint8_t type, uint8_t request, uint16_t value, uint16_t length, uint8_t* reply) {
    const uint8_t setup[8] = {type, request, uint8_t(value), uint8_t(value >> 8), 0, 0,
                              uint8_t(length), uint8_t(length >> 8)};
    if (::send(ctl, setup, sizeof(setup), MSG_NOSIGNAL) != ssize_t(sizeof(setup))) std::abort();
    uint8_t buf[1 + 256];
    // libFuzzer's time-out alarm interrupts a receive that has a time limit
    // (never restarted, whatever the handler asks): taken up again.
    ssize_t n;
    do {
      n = ::recv(ctl, buf, sizeof(buf), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 1) {
      std::fprintf(stderr, "fuzz: no reply to control request %02x.%02x (%s)\n", type, request,
                   n < 0 ? std::strerror(errno) : "closed");
      std::abort();
    }
    if (reply) std::memcpy(reply, buf + 1, size_t(n - 1));
    return buf[0];
  }

  // One bulk-OUT packet. While the device does not take it the host reads
  // bulk-IN, as a host reading the answers it asked for does: a device that
  // waits to send is not mistaken for one that stopped taking packets.
  void Packet(const uint8_t* data, size_t len) {
    uint8_t buf[kPacket];
    while (::send(out, data, len, MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno == EAGAIN) {
      pollfd p{in, POLLIN, 0};
      if (::poll(&p, 1, kOutRetryMs) > 0) ::recv(in, buf, sizeof(buf), MSG_DONTWAIT);
    }
  }

  void Drain() {
    uint8_t buf[kPacket];
    pollfd p{in, POLLIN, 0};
    while (::poll(&p, 1, 10) > 0 && ::recv(in, buf, sizeof(buf), MSG_DONTWAIT) >= 0) {
    }
  }

  Host() {
    Control(0x00, 9, 1, 0, nullptr);  // SET_CONFIGURATION 1
    out = Connect(plat::kGadgetEpOut);
    in = Connect(plat::kGadgetEpIn);
  }
};

Host& TheHost() {
  // The SCPI thread starts the USB device before it takes messages: once the
  // engine has settled, the port is there.
  static Host* host = (FuzzScpiSettle(), new Host);
  return *host;
}

// The run-state blocks the input can upload: their labels in its bytes as
// the device joins them (the packet ends taken out).
int RunStateBlocks(const uint8_t* data, size_t size) {
  std::string joined;
  for (size_t i = 0; i < size; ++i) {
    if (i + 1 < size && data[i] == 0xFF && data[i + 1] == 0xFE) {
      ++i;
      continue;
    }
    joined += char(data[i]);
  }
  int blocks = 0;
  for (size_t at = joined.find(kRunStateLabel); at != std::string::npos;
       at = joined.find(kRunStateLabel, at + 1))
    ++blocks;
  return blocks;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (RunStateBlocks(data, size) > kMostRunStateBlocks) return -1;  // more work than an input may ask
  FuzzInstrument();
  Host& h = TheHost();
  size_t start = 0;
  while (start < size) {
    size_t end = start;
    while (end < size && end - start < kPacket && !(end + 1 < size && data[end] == 0xFF && data[end + 1] == 0xFE)) ++end;
    h.Packet(data + start, end - start);
    start = end < size && end - start < kPacket ? end + 2 : end;
  }
  uint8_t reply[8] = {};
  h.Control(0xA1, 5, 0, 1, reply);  // INITIATE_CLEAR
  const auto limit = std::chrono::steady_clock::now() + kClearLimit;
  do {
    h.Drain();
    if (std::chrono::steady_clock::now() > limit) {
      std::fprintf(stderr, "fuzz: the device did not finish clearing\n");
      std::abort();
    }
  } while (h.Control(0xA1, 6, 0, 2, reply) == 0 && reply[0] == 2);
  h.Drain();
  FuzzScpiSettle();
  return 0;
}
