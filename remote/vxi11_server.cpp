// The `vxi_11` thread: the portmapper's TCP and UDP sockets, the core and
// abort channels' listeners and their connections, served one call at a time
// from one poll loop. A connection whose records break the framing or exceed
// the size limit is closed; a client is not read from while its last reply
// is still being sent.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "platform/thread.h"
#include "remote/vxi11.h"
#include "remote/vxi11_pmap.h"
#include "remote/vxi11_rpc.h"

namespace {
constexpr int kMaxConns = 32;
constexpr size_t kChunk = 65536;
constexpr size_t kUdpMaxData = 8192;  // a read's data in one datagram
constexpr int kPollMs = 50;

Vxi11Config g_config;

struct Conn {
  int fd = -1;
  uint32_t local = 0;
  RecordReader records;
  std::string in;
  std::string out;
  size_t outPos = 0;
};

struct Sockets {
  int udp = -1;
  int pmap = -1, core = -1, abort = -1;  // listeners
  std::vector<std::unique_ptr<Conn>> conns;
  ~Sockets() {
    for (int fd : {udp, pmap, core, abort})
      if (fd >= 0) close(fd);
    for (auto& c : conns) close(c->fd);
  }
};

int EnvPort(const char* name, int fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  char* end = nullptr;
  long port = std::strtol(v, &end, 10);
  if (*end || port < 0 || port > 65535) {
    std::printf("vxi11: $%s=%s is not a port, %d used\n", name, v, fallback);
    return fallback;
  }
  return int(port);
}

uint32_t LocalAddr(int fd) {
  sockaddr_in a = {};
  socklen_t len = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohl(a.sin_addr.s_addr);
}

int BoundPort(int fd) {
  sockaddr_in a = {};
  socklen_t len = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

// A socket of `type` bound to the configured address and `port`; -1 with the
// reason printed when that fails.
int Open(int type, int port, const char* what) {
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  if (inet_pton(AF_INET, g_config.host.c_str(), &a.sin_addr) != 1) {
    std::printf("vxi11: %s is not an IPv4 address\n", g_config.host.c_str());
    return -1;
  }
  int fd = socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int on = 1;
  if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (type == SOCK_STREAM && listen(fd, 16) != 0)) {
    std::printf("vxi11: %s on %s:%d: %s\n", what, g_config.host.c_str(), port, std::strerror(errno));
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

void Accept(Sockets& s, int listener) {
  int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  if (s.conns.size() >= size_t(kMaxConns)) {
    close(fd);
    return;
  }
  auto c = std::make_unique<Conn>();
  c->fd = fd;
  c->local = LocalAddr(fd);
  s.conns.push_back(std::move(c));
}

// Sends what is queued; false when the connection failed.
bool Flush(Conn& c) {
  while (c.outPos < c.out.size()) {
    ssize_t n = send(c.fd, c.out.data() + c.outPos, c.out.size() - c.outPos, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    c.outPos += size_t(n);
  }
  c.out.clear();
  c.outPos = 0;
  return true;
}

// Answers the complete records received, one at a time while no reply waits
// to be sent; false when the connection is to be closed.
bool Serve(Conn& c) {
  size_t pos = 0;
  bool ok = true;
  while (ok && c.out.empty()) {
    size_t used = 0;
    std::string record;
    int got = c.records.Next(c.in.data() + pos, c.in.size() - pos, &used, &record);
    pos += used;
    if (got < 0) ok = false;
    if (got <= 0) break;
    RpcContext ctx;
    ctx.transport = RpcTransport::kTcp;
    ctx.localAddr = c.local;
    ctx.fd = c.fd;
    std::string reply;
    if (RpcHandleMessage(record.data(), record.size(), ctx, &reply)) {
      c.out = RpcRecord(reply);
      ok = Flush(c);
    }
  }
  c.in.erase(0, pos);
  return ok;
}

// Reads what arrived; false when the connection ended or failed.
bool Receive(Conn& c) {
  char buf[kChunk];
  ssize_t n = recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
  if (n == 0) return false;
  if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  c.in.append(buf, size_t(n));
  return Serve(c);
}

void ServeDatagram(int fd) {
  std::vector<char> buf(kChunk);
  sockaddr_in from = {};
  socklen_t len = sizeof from;
  ssize_t n = recvfrom(fd, buf.data(), buf.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
  if (n <= 0) return;
  RpcContext ctx;
  ctx.transport = RpcTransport::kUdp;
  ctx.localAddr = LocalAddr(fd);
  if (ctx.localAddr == INADDR_ANY) ctx.localAddr = INADDR_LOOPBACK;
  ctx.maxData = kUdpMaxData;
  std::string reply;
  if (RpcHandleMessage(buf.data(), size_t(n), ctx, &reply))
    (void)!sendto(fd, reply.data(), reply.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), len);
}

void Loop(Sockets& s) {
  std::vector<pollfd> fds;
  while (!plat::StopRequested()) {
    fds.clear();
    for (int fd : {s.udp, s.pmap, s.core, s.abort}) fds.push_back({fd, POLLIN, 0});
    for (auto& c : s.conns) fds.push_back({c->fd, short(c->out.empty() ? POLLIN : POLLOUT), 0});
    if (poll(fds.data(), fds.size(), kPollMs) <= 0) continue;
    if (fds[0].revents & POLLIN) ServeDatagram(s.udp);
    for (size_t i = 1; i < 4; ++i)
      if (fds[i].revents & POLLIN) Accept(s, fds[i].fd);
    // Connections accepted just now are polled on the next round.
    for (size_t i = 4, k = 0; i < fds.size(); ++i) {
      Conn& c = *s.conns[k];
      const short ev = fds[i].revents;
      bool ok = true;
      if (ev & POLLOUT) ok = Flush(c) && (!c.out.empty() || Serve(c));
      else if (ev & POLLIN) ok = Receive(c);
      else if (ev & (POLLHUP | POLLERR | POLLNVAL)) ok = false;
      if (ok) {
        ++k;
      } else {
        close(c.fd);
        s.conns.erase(s.conns.begin() + long(k));
      }
    }
  }
}
}  // namespace

Vxi11Config Vxi11ConfigFromEnv() {
  Vxi11Config c;
  if (const char* host = std::getenv("SCOPE_VXI11_HOST"); host && *host) c.host = host;
  c.portmapPort = EnvPort("SCOPE_VXI11_PMAP_PORT", c.portmapPort);
  c.corePort = EnvPort("SCOPE_VXI11_CORE_PORT", c.corePort);
  c.abortPort = EnvPort("SCOPE_VXI11_ABORT_PORT", c.abortPort);
  return c;
}

Vxi11Ports& Vxi11BoundPorts() {
  static Vxi11Ports ports;
  return ports;
}

void* vxi_11(void*) {
  Sockets s;
  Vxi11Ports& ports = Vxi11BoundPorts();
  s.core = Open(SOCK_STREAM, g_config.corePort, "core channel");
  if (s.core < 0) {
    std::fprintf(stderr, "cannot create tcp service.\n");
    return nullptr;
  }
  s.pmap = Open(SOCK_STREAM, g_config.portmapPort, "portmapper (tcp)");
  // Without the portmapper port, UDP calls come to a port of their own.
  s.udp = Open(SOCK_DGRAM, s.pmap >= 0 ? g_config.portmapPort : 0, "udp service");
  s.abort = Open(SOCK_STREAM, g_config.abortPort, "abort channel");
  ports.core = BoundPort(s.core);
  ports.portmapTcp = s.pmap >= 0 ? BoundPort(s.pmap) : 0;
  ports.udp = s.udp >= 0 ? BoundPort(s.udp) : 0;
  ports.abort = s.abort >= 0 ? BoundPort(s.abort) : 0;
  // The port is another portmapper's: the channels are registered with it.
  const bool registered = s.pmap < 0 && g_config.portmapPort > 0 &&
                          PmapRegister(g_config.portmapPort, ports.core, ports.abort, ports.udp);
  std::printf("vxi11: %s portmapper tcp %d udp %d, core %d, abort %d\n", g_config.host.c_str(),
              ports.portmapTcp.load(), ports.udp.load(), ports.core.load(), ports.abort.load());
  ports.ready = true;
  std::printf("Svc_Run ... \n");
  Loop(s);
  if (registered) PmapUnregister(g_config.portmapPort);
  ports.ready = false;
  std::printf("Svc_Run Exit... \n");
  return nullptr;
}

int Vxi11Start(const Vxi11Config& config) {
  g_config = config;
  int rc = plat::StartThread("vxi_11", vxi_11, nullptr);
  if (rc != 0) {
    std::printf("vxi_11 create error,retValue=%d \n", rc);
    return rc;
  }
  std::printf("VXI-II Init...\n");
  return 0;
}

int VXI_Init() { return Vxi11Start(Vxi11ConfigFromEnv()); }

bool Vxi11WaitReady(int ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!Vxi11BoundPorts().ready) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
