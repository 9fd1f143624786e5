// The `vxi_11` thread: the portmapper's TCP and UDP sockets, the core and
// abort channels' listeners and their connections, served from one poll loop.
// A call that has to wait (a read for its answer) is parked, so the other
// connections go on being served; answers wake the loop. A connection whose
// records break the framing or exceed the size limit is closed; a client is
// not read from while its last reply is still being sent or a call of it is
// parked. Each kind of connection has its own limit, so the core channel's
// clients never lock out the portmapper; a newcomer to a full kind takes the
// place of the connection idle longest, and idle connections are dropped.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "platform/devices/net.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/vxi11/vxi11.h"
#include "remote/vxi11/vxi11_link.h"
#include "remote/vxi11/vxi11_pmap.h"
#include "remote/vxi11/vxi11_rpc.h"

namespace {
constexpr size_t kChunk = 65536;
constexpr size_t kUdpMaxData = 8192;  // a read's data in one datagram
constexpr int kPollMs = 50;           // the loop looks for a stop this often

// Connections per kind of listener: portmapper, core channel, abort channel.
enum Kind { kPmapConn, kCoreConn, kAbortConn, kKinds };
constexpr size_t kMaxConns[kKinds] = {8, 128, 128};
const char* const kKindNames[kKinds] = {"portmapper", "core channel", "abort channel"};
// The variable that moves each listener's port.
const char* const kPortVars[kKinds] = {"SCOPE_VXI11_PMAP_PORT", "SCOPE_VXI11_CORE_PORT",
                                       "SCOPE_VXI11_ABORT_PORT"};

Vxi11Config g_config;

struct Conn {
  int fd = -1;
  Kind kind = kCoreConn;
  uint32_t local = 0;
  RecordReader records;
  std::string in;
  std::string out;
  size_t outPos = 0;
  bool parked = false;  // a call of it waits; its reply comes from the links
  bool spoke = false;   // a whole record came from it
  Vxi11Clock::time_point lastActive;
};

struct Sockets {
  int udp = -1;
  int listeners[kKinds] = {-1, -1, -1};
  int wake = -1;  // eventfd written when an answer is stored
  int waker = 0;
  std::vector<std::unique_ptr<Conn>> conns;
  ~Sockets() {
    if (waker) Scpi.RemoveAnswerWaker(waker);
    for (int fd : {udp, listeners[0], listeners[1], listeners[2], wake})
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

// A socket of `type` bound to the configured address and `port`; -1 when
// that fails, printed with the port and the variable that moves it.
int Open(int type, int port, const char* what, const char* portVar) {
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
      bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      (type == SOCK_STREAM && listen(fd, SOMAXCONN) != 0)) {
    const int error = errno;
    std::printf("vxi11: the %s cannot listen on %s port %d (%s): $%s=<port> moves it\n", what,
                g_config.host.c_str(), port, std::strerror(error), portVar);
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

void Drop(Sockets& s, size_t k);

// The connection of `kind` that makes room for a newcomer: of those with no
// call parked and no reply being sent, the one idle longest, first among
// those that never sent a whole record; s.conns.size() when there is none.
size_t Idlest(const Sockets& s, Kind kind) {
  size_t best = s.conns.size();
  for (size_t k = 0; k < s.conns.size(); ++k) {
    const Conn& c = *s.conns[k];
    if (c.kind != kind || c.parked || !c.out.empty()) continue;
    if (best == s.conns.size()) {
      best = k;
      continue;
    }
    const Conn& b = *s.conns[best];
    if (c.spoke != b.spoke ? !c.spoke : c.lastActive < b.lastActive) best = k;
  }
  return best;
}

void Accept(Sockets& s, Kind kind) {
  int fd = accept4(s.listeners[kind], nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  const size_t held = size_t(std::count_if(s.conns.begin(), s.conns.end(), [&](auto& c) { return c->kind == kind; }));
  if (held >= kMaxConns[kind]) {
    const size_t idlest = Idlest(s, kind);
    if (idlest == s.conns.size()) {
      std::printf("vxi11: %zu %s connections busy, one more refused\n", held, kKindNames[kind]);
      close(fd);
      return;
    }
    std::printf("vxi11: %zu %s connections held, the idlest closed for a new one\n", held,
                kKindNames[kind]);
    Drop(s, idlest);
  }
  auto c = std::make_unique<Conn>();
  c->fd = fd;
  c->kind = kind;
  c->local = LocalAddr(fd);
  c->lastActive = Vxi11Clock::now();
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
  while (ok && c.out.empty() && !c.parked) {
    size_t used = 0;
    std::string record;
    int got = c.records.Next(c.in.data() + pos, c.in.size() - pos, &used, &record);
    pos += used;
    if (got < 0) ok = false;
    if (got <= 0) break;
    c.spoke = true;
    RpcContext ctx;
    ctx.transport = RpcTransport::kTcp;
    ctx.localAddr = c.local;
    ctx.fd = c.fd;
    ctx.parked = &c.parked;
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
  c.lastActive = Vxi11Clock::now();
  return Serve(c);
}

// Sends the replies of the parked calls that ended (a datagram call's to its
// sender) and goes on with what their connections sent meanwhile.
void Finish(Sockets& s, std::vector<Vxi11Finished>& done) {
  for (Vxi11Finished& f : done) {
    if (f.fd < 0) {
      sockaddr_in to = {};
      to.sin_family = AF_INET;
      to.sin_addr.s_addr = htonl(f.peerAddr);
      to.sin_port = htons(f.peerPort);
      const std::string reply = RpcAcceptedReply(f.xid, f.result);
      if (s.udp >= 0)
        (void)!sendto(s.udp, reply.data(), reply.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to),
                      sizeof to);
      continue;
    }
    for (auto& c : s.conns) {
      if (c->fd != f.fd || !c->parked) continue;
      c->parked = false;
      c->out = RpcRecord(RpcAcceptedReply(f.xid, f.result));
      c->lastActive = Vxi11Clock::now();
      if (!Flush(*c) || (c->out.empty() && !Serve(*c))) shutdown(c->fd, SHUT_RDWR);  // closed on the next round
      break;
    }
  }
  done.clear();
}

void Drop(Sockets& s, size_t k) {
  Vxi11ConnectionClosed(s.conns[k]->fd);
  close(s.conns[k]->fd);
  s.conns.erase(s.conns.begin() + long(k));
}

// Connections with no traffic for the idle time-out go (not while a call of
// theirs is parked); a portmapper connection, which serves one look-up, goes
// after its own shorter time-out.
void DropIdle(Sockets& s, Vxi11Clock::time_point now, Vxi11Clock::duration idle) {
  const Vxi11Clock::duration pmapIdle =
      std::min<Vxi11Clock::duration>(idle, std::chrono::seconds(g_config.portmapIdleS));
  for (size_t k = 0; k < s.conns.size();) {
    const Conn& c = *s.conns[k];
    if (!c.parked && c.out.empty() && now - c.lastActive > (c.kind == kPmapConn ? pmapIdle : idle)) {
      std::printf("vxi11: an idle %s connection closed\n", kKindNames[c.kind]);
      Drop(s, k);
    } else {
      ++k;
    }
  }
}

int PollTimeout(Vxi11Clock::time_point now) {
  const auto wake = Vxi11NextWake(now);
  if (wake == Vxi11Clock::time_point::max()) return kPollMs;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count() + 1;
  return int(std::clamp<long long>(ms, 0, kPollMs));
}

// Answers one datagram; a call that has to wait is parked like a TCP one and
// answered to its sender when it ends.
void ServeDatagram(int fd) {
  std::vector<char> buf(kChunk);
  sockaddr_in from = {};
  socklen_t len = sizeof from;
  ssize_t n = recvfrom(fd, buf.data(), buf.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
  if (n <= 0 || len != sizeof from || from.sin_family != AF_INET) return;
  RpcContext ctx;
  ctx.transport = RpcTransport::kUdp;
  ctx.localAddr = LocalAddr(fd);
  if (ctx.localAddr == INADDR_ANY) ctx.localAddr = INADDR_LOOPBACK;
  ctx.peerAddr = ntohl(from.sin_addr.s_addr);
  ctx.peerPort = ntohs(from.sin_port);
  ctx.maxData = kUdpMaxData;
  bool parked = false;
  ctx.parked = &parked;
  std::string reply;
  if (RpcHandleMessage(buf.data(), size_t(n), ctx, &reply))
    (void)!sendto(fd, reply.data(), reply.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), len);
}

// One round: wait for traffic, an answer or the next deadline, serve what
// came, end the parked calls that can end.
void Round(Sockets& s, std::vector<pollfd>& fds, std::vector<Vxi11Finished>& done) {
  constexpr size_t kFixed = 2 + kKinds;
  const auto idle = std::chrono::seconds(g_config.idleTimeoutS);
  fds.clear();
  fds.push_back({s.wake, POLLIN, 0});
  fds.push_back({s.udp, POLLIN, 0});
  for (int fd : s.listeners) fds.push_back({fd, POLLIN, 0});
  // A parked connection is watched only for its end.
  for (auto& c : s.conns) fds.push_back({c->fd, short(!c->out.empty() ? POLLOUT : c->parked ? POLLRDHUP : POLLIN), 0});
  const int n = poll(fds.data(), fds.size(), PollTimeout(Vxi11Clock::now()));
  if (n > 0) {
    if (fds[0].revents & POLLIN) {
      uint64_t count = 0;
      (void)!read(s.wake, &count, sizeof count);
    }
    if (fds[1].revents & POLLIN) ServeDatagram(s.udp);
    for (size_t i = kFixed, k = 0; i < fds.size(); ++i) {
      Conn& c = *s.conns[k];
      const short ev = fds[i].revents;
      bool ok = true;
      if (ev & POLLOUT) ok = Flush(c) && (!c.out.empty() || Serve(c));
      else if (ev & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL) && c.parked) ok = false;
      else if (ev & POLLIN) ok = Receive(c);
      else if (ev & (POLLHUP | POLLERR | POLLNVAL)) ok = false;
      if (ok) ++k;
      else Drop(s, k);
    }
    // After the connections' events, which follow the table's order: a
    // newcomer may take an idle connection's place. It is polled next round.
    for (int k = 0; k < kKinds; ++k)
      if (fds[2 + k].revents & POLLIN) Accept(s, Kind(k));
  }
  const auto now = Vxi11Clock::now();
  Vxi11ServiceLinks(now, idle, &done);
  Finish(s, done);
  DropIdle(s, now, idle);
}

void Loop(Sockets& s) {
  std::vector<pollfd> fds;
  std::vector<Vxi11Finished> done;
  while (!plat::StopRequested()) {
    try {
      Round(s, fds, done);
    } catch (const std::exception& e) {
      std::printf("vxi11: a round failed: %s\n", e.what());
      done.clear();
    }
  }
}
}  // namespace

Vxi11Config::Vxi11Config() : host(plat::ServerListenHost()) {}

Vxi11Config Vxi11ConfigFromEnv() {
  Vxi11Config c;
  if (const char* host = std::getenv("SCOPE_VXI11_HOST"); host && *host) c.host = host;
  c.portmapPort = EnvPort("SCOPE_VXI11_PMAP_PORT", c.portmapPort);
  c.corePort = EnvPort("SCOPE_VXI11_CORE_PORT", c.corePort);
  c.abortPort = EnvPort("SCOPE_VXI11_ABORT_PORT", c.abortPort);
  c.idleTimeoutS = EnvPort("SCOPE_VXI11_IDLE_S", c.idleTimeoutS);
  return c;
}

Vxi11Ports& Vxi11BoundPorts() {
  static Vxi11Ports ports;
  return ports;
}

std::string Vxi11ListenHost() { return g_config.host; }

void* vxi_11(void*) {
  Sockets s;
  Vxi11Ports& ports = Vxi11BoundPorts();
  Vxi11ResetLinks();
  int& core = s.listeners[kCoreConn];
  int& pmap = s.listeners[kPmapConn];
  int& abort = s.listeners[kAbortConn];
  core = Open(SOCK_STREAM, g_config.corePort, kKindNames[kCoreConn], kPortVars[kCoreConn]);
  s.wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (core < 0 || s.wake < 0) {
    ports.failedPort = core < 0 ? g_config.corePort : -1;
    ports.failed = true;
    std::fprintf(stderr, "cannot create tcp service.\n");
    return nullptr;
  }
  const int wake = s.wake;
  s.waker = Scpi.AddAnswerWaker([wake] {
    const uint64_t one = 1;
    (void)!write(wake, &one, sizeof one);
  });
  pmap = Open(SOCK_STREAM, g_config.portmapPort, "portmapper (tcp)", kPortVars[kPmapConn]);
  // Without the portmapper port, UDP calls come to a port of their own.
  s.udp = Open(SOCK_DGRAM, pmap >= 0 ? g_config.portmapPort : 0, "udp service", kPortVars[kPmapConn]);
  abort = Open(SOCK_STREAM, g_config.abortPort, kKindNames[kAbortConn], kPortVars[kAbortConn]);
  ports.core = BoundPort(core);
  ports.portmapTcp = pmap >= 0 ? BoundPort(pmap) : 0;
  ports.udp = s.udp >= 0 ? BoundPort(s.udp) : 0;
  ports.abort = abort >= 0 ? BoundPort(abort) : 0;
  // The port is another portmapper's: the channels are registered with it.
  const bool registered = pmap < 0 && g_config.portmapPort > 0 &&
                          PmapRegister(g_config.portmapPort, ports.core, ports.abort, ports.udp);
  std::printf("vxi11: %s portmapper tcp %d udp %d, core %d, abort %d\n", g_config.host.c_str(),
              ports.portmapTcp.load(), ports.udp.load(), ports.core.load(), ports.abort.load());
  ports.ready = true;
  std::printf("Svc_Run ... \n");
  Loop(s);
  if (registered) PmapUnregister(g_config.portmapPort);
  Vxi11ResetLinks();
  ports.ready = false;
  std::printf("Svc_Run Exit... \n");
  return nullptr;
}

std::string Vxi11NotServing() {
  const int port = Vxi11BoundPorts().failedPort;
  if (!Vxi11BoundPorts().failed || port < 0) return "VXI-11 not serving";
  return "VXI-11 off (core port " + std::to_string(port) + " not available; $" + kPortVars[kCoreConn] +
         "=<port> moves it)";
}

int Vxi11Start(const Vxi11Config& config) {
  g_config = config;
  Vxi11BoundPorts().failed = false;
  Vxi11BoundPorts().failedPort = -1;
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
    if (Vxi11BoundPorts().failed) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
