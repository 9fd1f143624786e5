// The simulated USB device port. Each gadget file is a listening Unix socket
// (SOCK_SEQPACKET, so packet boundaries and zero-length packets are kept)
// under the root's "dev/gadget/"; a host-side program connects to it:
//
// - the controller's control file: connecting plugs the host in (a high-speed
//   CONNECT event), closing unplugs it (DISCONNECT). Each message the host
//   sends is a control request: the 8-byte setup packet (little-endian) and
//   the OUT data stage; the one-byte message "S" suspends the bus. Each
//   request gets one message back: a status byte (0 done, 1 stalled) and the
//   IN data stage. As the kernel does, the port itself answers GET_DESCRIPTOR
//   for the device and configuration descriptors, GET_CONFIGURATION and
//   GET_STATUS; other requests are SETUP events for the program.
// - an endpoint file (created once the descriptors are written): one message
//   per packet of at most wMaxPacketSize bytes, in the endpoint's direction.
//   A transfer written by the program goes out as full packets and a short
//   last one; a transfer of 0 bytes is a zero-length packet.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <linux/sockios.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/devices/devices.h"
#include "platform/devices/gadget.h"
#include "platform/root.h"
#include "platform/shell.h"
#include "platform/thread.h"

namespace plat {
namespace {
constexpr int kSlowPollMs = 50;  // blocked calls look at stop and shutdown this often
constexpr size_t kSetupSize = 8;
constexpr size_t kMaxControlMessage = kSetupSize + 4096;
constexpr uint8_t kDone = 0, kStalled = 1;
constexpr char kSuspendMessage = 'S';
// Descriptor block: a 32-bit tag 0, full-speed and high-speed configuration
// sets of wTotalLength bytes each, the 18-byte device descriptor.
constexpr uint32_t kDescriptorTag = 0, kEndpointTag = 1;
constexpr size_t kDeviceDescSize = 18, kConfigDescSize = 9, kEndpointDescSize = 7;
constexpr uint8_t kDtDevice = 1, kDtConfig = 2, kDtEndpoint = 5;
constexpr uint8_t kHostMaxPacket0 = 64;  // bMaxPacketSize0 filled in as the controller does
constexpr uint8_t kReqGetStatus = 0, kReqGetDescriptor = 6, kReqGetConfiguration = 8, kReqSetConfiguration = 9;
constexpr uint8_t kStdDeviceIn = 0x80, kStdDeviceOut = 0x00;

enum class Kind { kControl, kEndpoint };

struct SimFile {
  Kind kind;
  std::string path;
  int listenFd = -1;
  std::atomic<int> conn{-1};
  std::atomic<bool> shut{false};
  // Control file: descriptors written, the request being served.
  bool described = false;
  uint16_t pendingLength = 0;
  // Endpoint file: configured, its address and packet size.
  bool configured = false;
  uint8_t address = 0;
  size_t maxPacket = 512;
};

struct Port {
  std::mutex mu;
  std::map<std::string, std::shared_ptr<SimFile>> files;  // by host path
  std::map<int, std::shared_ptr<SimFile>> open;           // by handle
  int nextHandle = 1000;
  std::vector<uint8_t> device, config;  // descriptors the port answers with
  uint8_t configuration = 0;
};
Port& P() {
  static Port* p = new Port;  // used by threads still ending at exit
  return *p;
}

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// A listening socket at `hostPath`, replacing what was left there.
int Listen(const std::string& hostPath) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (hostPath.size() >= sizeof(addr.sun_path)) {
    std::printf("usb port: socket path too long: %s\n", hostPath.c_str());
    return -ENAMETOOLONG;
  }
  std::memcpy(addr.sun_path, hostPath.c_str(), hostPath.size() + 1);
  ::unlink(hostPath.c_str());
  int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -errno;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) < 0 || ::listen(fd, 4) < 0) {
    const int e = errno;
    ::close(fd);
    return -e;
  }
  return fd;
}

std::shared_ptr<SimFile> AddFile(Kind kind, const std::string& hostPath) {
  const int fd = Listen(hostPath);
  if (fd < 0) return nullptr;
  auto f = std::make_shared<SimFile>();
  f->kind = kind;
  f->path = hostPath;
  f->listenFd = fd;
  std::lock_guard<std::mutex> lock(P().mu);
  auto& slot = P().files[hostPath];
  if (slot) ::close(slot->listenFd);
  slot = f;
  return f;
}

std::shared_ptr<SimFile> Find(int handle) {
  std::lock_guard<std::mutex> lock(P().mu);
  auto it = P().open.find(handle);
  return it == P().open.end() ? nullptr : it->second;
}

void DropConn(SimFile& f) {
  const int c = f.conn.exchange(-1);
  if (c >= 0) ::close(c);
}

// Waits up to `ms` for `events` on `fd`; the poll result, 0 on time-out.
int Wait(int fd, short events, int ms, short* revents) {
  pollfd p{fd, events, 0};
  const int rc = ::poll(&p, 1, ms);
  *revents = rc > 0 ? p.revents : 0;
  return rc;
}

// Takes a waiting host connection, replacing the current one; true when one came.
bool AcceptNew(SimFile& f) {
  const int c = ::accept4(f.listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (c < 0) return false;
  const int old = f.conn.exchange(c);
  if (old >= 0) ::close(old);
  return true;
}

bool Stopping(const SimFile& f) { return f.shut.load() || StopRequested(); }

// Waits for a host connection on an endpoint, up to `timeoutMs` (-1 no limit).
int EnsureConn(SimFile& f, int timeoutMs) {
  int waited = 0;
  while (f.conn.load() < 0) {
    if (Stopping(f)) return -ESHUTDOWN;
    if (timeoutMs >= 0 && waited >= timeoutMs) return -ETIMEDOUT;
    short re = 0;
    if (Wait(f.listenFd, POLLIN, kSlowPollMs, &re) > 0) AcceptNew(f);
    waited += kSlowPollMs;
  }
  return 0;
}

int SendMessage(SimFile& f, const void* data, size_t len) {
  for (;;) {
    const int c = f.conn.load();
    if (c < 0) return -EPIPE;
    const ssize_t n = ::send(c, data, len, MSG_NOSIGNAL);
    if (n >= 0) return int(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      DropConn(f);
      return -EPIPE;
    }
    if (Stopping(f)) return -ESHUTDOWN;
    short re = 0;
    Wait(c, POLLOUT, kSlowPollMs, &re);
  }
}

int ControlReply(SimFile& f, uint8_t status, const void* data, size_t len) {
  std::vector<uint8_t> msg(1 + len);
  msg[0] = status;
  if (len) std::memcpy(msg.data() + 1, data, len);
  const int rc = SendMessage(f, msg.data(), msg.size());
  return rc < 0 ? rc : int(len);
}

// The host-side name of an endpoint file: "ep<number><in|out>".
std::string EndpointName(uint8_t address) {
  return "ep" + std::to_string(address & 0x0F) + ((address & 0x80) ? "in" : "out");
}

// Checks the descriptor block, keeps what the port answers with and creates
// the endpoint files it names. -EINVAL for a malformed block.
int TakeDescriptors(SimFile& f, const uint8_t* p, size_t len) {
  if (len < 4 + kConfigDescSize || Le32(p) != kDescriptorTag) return -EINVAL;
  const uint8_t* cfg = p + 4;
  const size_t total = Le16(cfg + 2);
  if (cfg[1] != kDtConfig || total < kConfigDescSize || len != 4 + 2 * total + kDeviceDescSize) return -EINVAL;
  const uint8_t* hs = cfg + total;
  const uint8_t* dev = hs + total;
  if (dev[0] != kDeviceDescSize || dev[1] != kDtDevice) return -EINVAL;
  Port& port = P();
  std::vector<uint8_t> device(dev, dev + kDeviceDescSize);
  device[7] = kHostMaxPacket0;
  std::vector<uint8_t> config(hs, hs + total);
  const std::string dir = f.path.substr(0, f.path.rfind('/') + 1);
  for (size_t at = 0; at + 2 <= total && config[at] >= 2; at += config[at]) {
    if (config[at + 1] != kDtEndpoint || config[at] != kEndpointDescSize || at + kEndpointDescSize > total) continue;
    auto ep = AddFile(Kind::kEndpoint, dir + EndpointName(config[at + 2]));
    if (!ep) return -EIO;
    ep->address = config[at + 2];
    ep->maxPacket = Le16(&config[at + 4]);
    if (ep->maxPacket == 0) ep->maxPacket = 512;
  }
  std::lock_guard<std::mutex> lock(port.mu);
  port.device = std::move(device);
  port.config = std::move(config);
  f.described = true;
  return int(len);
}

// Requests the port answers itself; true when it did.
bool PortAnswers(SimFile& f, const UsbSetupPacket& s) {
  Port& port = P();
  std::vector<uint8_t> reply;
  if (s.bRequestType == kStdDeviceIn && s.bRequest == kReqGetDescriptor &&
      (s.wValue >> 8 == kDtDevice || s.wValue >> 8 == kDtConfig)) {
    std::lock_guard<std::mutex> lock(port.mu);
    reply = s.wValue >> 8 == kDtDevice ? port.device : port.config;
  } else if (s.bRequestType == kStdDeviceIn && s.bRequest == kReqGetConfiguration) {
    reply.push_back(port.configuration);
  } else if ((s.bRequestType & 0x80) && s.bRequest == kReqGetStatus && (s.bRequestType & 0x60) == 0) {
    reply.assign(2, 0);
  } else {
    if (s.bRequestType == kStdDeviceOut && s.bRequest == kReqSetConfiguration)
      port.configuration = uint8_t(s.wValue);
    return false;
  }
  if (reply.size() > s.wLength) reply.resize(s.wLength);
  ControlReply(f, kDone, reply.data(), reply.size());
  return true;
}

bool ParseEvent(SimFile& f, const uint8_t* msg, ssize_t n, GadgetEvent* ev) {
  if (n == 1 && msg[0] == uint8_t(kSuspendMessage)) {
    ev->type = GadgetEventType::kSuspend;
    return true;
  }
  if (n < ssize_t(kSetupSize)) return false;
  ev->type = GadgetEventType::kSetup;
  ev->setup.bRequestType = msg[0];
  ev->setup.bRequest = msg[1];
  ev->setup.wValue = Le16(msg + 2);
  ev->setup.wIndex = Le16(msg + 4);
  ev->setup.wLength = Le16(msg + 6);
  if (PortAnswers(f, ev->setup)) return false;
  f.pendingLength = ev->setup.wLength;
  return true;
}
}  // namespace

int GadgetMount(const char* mountPoint) {
  {
    // A new mount (a new instrument in the same process) starts with no files.
    std::lock_guard<std::mutex> lock(P().mu);
    for (auto& [path, f] : P().files) {
      ::close(f->listenFd);
      DropConn(*f);
    }
    P().files.clear();
    P().open.clear();
    P().configuration = 0;
  }
  const std::string dir = MapPath(mountPoint);
  struct stat st{};
  if (::stat(dir.c_str(), &st) != 0) {
    ShellSystem((std::string("mkdir ") + mountPoint).c_str());
    if (::stat(dir.c_str(), &st) != 0) return -1;
  }
  ShellSystem((std::string("mount -t gadgetfs gadgetfs ") + mountPoint).c_str());
  // The controller's control file appears with the mount.
  return AddFile(Kind::kControl, MapPath(kGadgetController)) ? 0 : -1;
}

bool GadgetFileExists(const char* path) {
  std::lock_guard<std::mutex> lock(P().mu);
  return P().files.count(MapPath(path)) > 0;
}

int GadgetOpen(const char* path) {
  Port& port = P();
  std::lock_guard<std::mutex> lock(port.mu);
  auto it = port.files.find(MapPath(path));
  if (it == port.files.end()) return -ENOENT;
  it->second->shut = false;
  const int h = port.nextHandle++;
  port.open[h] = it->second;
  return h;
}

void GadgetClose(int handle) {
  std::shared_ptr<SimFile> f;
  {
    std::lock_guard<std::mutex> lock(P().mu);
    auto it = P().open.find(handle);
    if (it == P().open.end()) return;
    f = it->second;
    P().open.erase(it);
  }
  // The control file's host stays plugged in; an endpoint's pipe ends.
  if (f->kind == Kind::kEndpoint) {
    DropConn(*f);
    f->configured = false;
  }
}

void GadgetShutdown(int handle) {
  if (auto f = Find(handle)) f->shut = true;
}

int GadgetWrite(int handle, const void* data, size_t len) {
  auto f = Find(handle);
  if (!f) return -EBADF;
  const auto* p = static_cast<const uint8_t*>(data);
  if (f->kind == Kind::kControl) {
    if (!f->described) return TakeDescriptors(*f, p, len);
    if (f->conn.load() < 0) return -ESHUTDOWN;
    return ControlReply(*f, kDone, p, len < f->pendingLength ? len : f->pendingLength);
  }
  if (!f->configured) {
    // The configuration block: tag 1, the full-speed and high-speed descriptors.
    const bool sizeOk = len == 4 + kEndpointDescSize || len == 4 + 2 * kEndpointDescSize;
    if (!sizeOk || Le32(p) != kEndpointTag || p[4] != kEndpointDescSize || p[5] != kDtEndpoint || p[6] != f->address)
      return -EINVAL;
    f->configured = true;
    return int(len);
  }
  if (int rc = EnsureConn(*f, -1)) return rc;
  size_t sent = 0;
  do {
    const size_t n = len - sent < f->maxPacket ? len - sent : f->maxPacket;
    const int rc = SendMessage(*f, p + sent, n);
    if (rc < 0) return rc;
    sent += n;
  } while (sent < len);
  return int(len);
}

int GadgetRead(int handle, void* buf, size_t len, int timeoutMs) {
  auto f = Find(handle);
  if (!f || f->kind != Kind::kEndpoint) return -EBADF;
  if (!f->configured) return -EINVAL;
  // A time-out of 0 still takes a transfer that is already there.
  int waited = 0;
  for (bool looked = false;; looked = true) {
    if (Stopping(*f)) return -ESHUTDOWN;
    if (looked && timeoutMs >= 0 && waited >= timeoutMs) return -ETIMEDOUT;
    const int slice = timeoutMs >= 0 && timeoutMs - waited < kSlowPollMs ? timeoutMs - waited : kSlowPollMs;
    const int c = f->conn.load();
    short re = 0;
    if (c < 0) {
      if (Wait(f->listenFd, POLLIN, slice, &re) > 0) AcceptNew(*f);
      waited += slice;
      continue;
    }
    if (Wait(c, POLLIN, slice, &re) <= 0) {
      waited += slice;
      continue;
    }
    const ssize_t n = ::recv(c, buf, len, MSG_DONTWAIT);
    if (n > 0 || (n == 0 && !(re & POLLHUP))) return int(n);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    DropConn(*f);  // the host closed its pipe: wait for the next one
  }
}

int GadgetReadEvents(int handle, GadgetEvent* events, int max, int timeoutMs) {
  auto f = Find(handle);
  if (!f || f->kind != Kind::kControl) return -EBADF;
  if (max <= 0) return 0;
  int count = 0, waited = 0;
  while (count == 0 && waited < timeoutMs && !StopRequested()) {
    pollfd p[2] = {{f->listenFd, POLLIN, 0}, {f->conn.load(), POLLIN, 0}};
    const int slice = timeoutMs - waited < kSlowPollMs ? timeoutMs - waited : kSlowPollMs;
    const int rc = ::poll(p, p[1].fd >= 0 ? 2 : 1, slice);
    waited += slice;
    if (rc <= 0) continue;
    if (p[0].revents & POLLIN) {
      const bool replaced = f->conn.load() >= 0;
      if (AcceptNew(*f)) {
        if (replaced && count < max) events[count++] = GadgetEvent{GadgetEventType::kDisconnect, 0, {}};
        if (count < max) events[count++] = GadgetEvent{GadgetEventType::kConnect, kUsbSpeedHigh, {}};
      }
      continue;
    }
    if (p[1].fd < 0 || !p[1].revents) continue;
    uint8_t msg[kMaxControlMessage];
    const ssize_t n = ::recv(p[1].fd, msg, sizeof(msg), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0 && (p[1].revents & (POLLHUP | POLLERR))) {
      DropConn(*f);
      P().configuration = 0;
      events[count++] = GadgetEvent{GadgetEventType::kDisconnect, 0, {}};
      continue;
    }
    GadgetEvent ev;
    if (ParseEvent(*f, msg, n, &ev)) events[count++] = ev;
  }
  return count;
}

int GadgetAck(int handle) {
  auto f = Find(handle);
  if (!f || f->kind != Kind::kControl) return -EBADF;
  const int rc = ControlReply(*f, kDone, nullptr, 0);
  return rc < 0 ? rc : 0;
}

int GadgetStall(int handle, bool in) {
  auto f = Find(handle);
  if (!f || f->kind != Kind::kControl) return -EBADF;
  const int rc = ControlReply(*f, kStalled, nullptr, 0);
  return rc < 0 ? rc : 0;
}

int GadgetFifoStatus(int handle) {
  auto f = Find(handle);
  if (!f || f->kind != Kind::kEndpoint) return -EBADF;
  const int c = f->conn.load();
  int unread = 0;
  if (c < 0) return 0;
  if (::ioctl(c, SIOCOUTQ, &unread) < 0) return -EOPNOTSUPP;
  return unread;
}

int GadgetFifoFlush(int handle) { return Find(handle) ? -EOPNOTSUPP : -EBADF; }

int GadgetClearHalt(int handle) { return Find(handle) ? 0 : -EBADF; }

}  // namespace plat
