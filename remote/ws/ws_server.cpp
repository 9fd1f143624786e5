// The server instance: configuration of the two families, the listening
// socket, the once-a-second timer, the select loop, accepting and tearing
// clients down, and the end of a server.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/devices/net.h"
#include "platform/thread.h"
#include "remote/ws/ws_internal.h"

namespace {
const char kUnavailable[] = "HTTP/1.1 503 Service Unavailable\r\n\r\n";
constexpr int kAcceptsPerEvent = 32;

struct Family {
  const char* pipein;
  const char* pipeout;
  const char* portEnv;
};
const Family kCmdFamily = {"/tmp/wspipein2.fifo", "/tmp/wspipeout2.fifo", "SCOPE_WS_CMD_PORT"};
const Family kPicFamily = {"/tmp/wspipein.fifo", "/tmp/wspipeout.fifo", "SCOPE_WS_PIC_PORT"};

const char* Env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

// The wildcard address stands for the board's server address (loopback on
// the PC); $SCOPE_WS_HOST decides.
std::string ListenHost(const char* host) {
  if (const char* env = Env("SCOPE_WS_HOST")) return env;
  std::string h = host ? host : "";
  if (h.empty() || h == "0.0.0.0" || h == "::") return plat::ServerListenHost();
  return h;
}

WSServerState_* Create(const Family& family, const char* host, const char* port) {
  auto* server = new WSServerState_;
  wsconfig& c = server->config;
  c = wsconfig();
  c.host = ListenHost(host);
  const char* envPort = Env(family.portEnv);
  c.port = envPort ? envPort : (port ? port : "");
  c.pipein = family.pipein;
  c.pipeout = family.pipeout;
  FD_ZERO(&server->rfds);
  FD_ZERO(&server->wfds);
  return server;
}

time_t Now() {
  timespec t = {};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec;
}

bool ArmTimer(int fd) {
  itimerspec spec = {};
  clock_gettime(CLOCK_REALTIME, &spec.it_value);
  spec.it_value.tv_sec += 1;
  spec.it_interval.tv_sec = 1;
  return timerfd_settime(fd, TFD_TIMER_ABSTIME, &spec, nullptr) == 0;
}

bool Listen(WSServerState_* server) {
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* res = nullptr;
  const wsconfig& c = server->config;
  int rc = getaddrinfo(c.host.c_str(), c.port.c_str(), &hints, &res);
  if (rc != 0 || !res) {
    WS_REPORT("Unable to set server: %s.", gai_strerror(rc));
    return false;
  }
  int fd = socket(res->ai_family, res->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, res->ai_protocol);
  if (fd < 0 || fd >= FD_SETSIZE) {
    WS_REPORT("Unable to set server: %s.", std::strerror(fd < 0 ? errno : EMFILE));
    if (fd >= 0) close(fd);
    freeaddrinfo(res);
    return false;
  }
  int on = 1;
  bool ok = false;
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
    WS_REPORT("Unable to set setsockopt: %s.", std::strerror(errno));
  else if (bind(fd, res->ai_addr, res->ai_addrlen) != 0)
    WS_REPORT("Unable to set bind: %s.", std::strerror(errno));
  else if (listen(fd, 128) != 0)
    WS_REPORT("Unable to listen: %s.", std::strerror(errno));
  else
    ok = true;
  freeaddrinfo(res);
  if (!ok) {
    close(fd);
    return false;
  }
  server->listener = fd;
  sockaddr_storage addr = {};
  socklen_t len = sizeof addr;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    int port = addr.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port)
                                          : ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    server->bound_port = port;
  }
  return true;
}

void PeerText(const sockaddr_storage& addr, char out[46]) {
  const void* src = addr.ss_family == AF_INET6
                        ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_addr)
                        : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(&addr)->sin_addr);
  if (!inet_ntop(addr.ss_family, src, out, 46)) out[0] = '\0';
}

// Refuses one waiting client when the process is out of descriptors: gives up
// the spare descriptor, accepts and closes, and takes the spare back.
void ShedOne(WSServerState_* server) {
  if (server->reservefd < 0) return;
  close(server->reservefd);
  int fd = accept(server->listener, nullptr, nullptr);
  if (fd >= 0) {
    (void)!send(fd, kUnavailable, sizeof kUnavailable - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    close(fd);
  }
  server->reservefd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

void Accept(WSServerState_* server) {
  for (int i = 0; i < kAcceptsPerEvent; ++i) {
    sockaddr_storage addr = {};
    socklen_t len = sizeof addr;
    int fd = accept4(server->listener, reinterpret_cast<sockaddr*>(&addr), &len,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      // Every failure is the client's or momentary: the server goes on.
      if (errno == EMFILE || errno == ENFILE) ShedOne(server);
      else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
        std::printf("websocket: accept failed: %s\n", std::strerror(errno));
      return;
    }
    if (fd >= FD_SETSIZE) {
      // Beyond what select can watch: refused at once.
      (void)!send(fd, kUnavailable, sizeof kUnavailable - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      close(fd);
      continue;
    }
    if (server->clients.size() >= server->config.max_clients) {
      (void)!send(fd, kUnavailable, sizeof kUnavailable - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      close(fd);
      continue;
    }
    std::unique_ptr<WSClient2> client(new WSClient2);
    client->listener = fd;
    client->accepted = client->last_active = Now();
    PeerText(addr, client->remote_ip);
    server->by_fd[fd] = client.get();
    ws_registry_add(client.get());
    server->clients.push_front(std::move(client));
  }
}

void Remove(WSServerState_* server, WSClient2* client) {
  ws_registry_remove(client);
  if (client->listener >= 0) {
    if (client->listener < FD_SETSIZE) server->by_fd[client->listener] = nullptr;
    close(client->listener);
    client->listener = -1;
  }
  server->clients.remove_if([client](const std::unique_ptr<WSClient2>& p) { return p.get() == client; });
}

// handle_tcp_close: the loop ends a connection (the close callback is told).
void TearDown(WSServerState_* server, WSClient2* client) {
  client->tearing_down = true;
  shutdown(client->listener, SHUT_RDWR);
  if (client->opened && server->onclose && server->config.strict && !server->config.echomode)
    server->onclose(&server->pipeout, client);
  gettimeofday(&client->end_proc, nullptr);
  Remove(server, client);
}

// Frees what the client's state says is over: asked by ws2_close_conn, or
// closing with nothing left to send.
void Reap(WSServerState_* server, WSClient2* client) {
  if (client->doomed) return Remove(server, client);
  if ((client->status & WS_CLOSE) && !(client->status & WS_SENDING)) TearDown(server, client);
}

void ReapAll(WSServerState_* server) {
  for (auto it = server->clients.begin(); it != server->clients.end();) {
    WSClient2* c = (it++)->get();
    Reap(server, c);
  }
}

void Watch(WSServerState_* server, int fd, fd_set* set) {
  if (fd < 0 || fd >= FD_SETSIZE) return;
  FD_SET(fd, set);
  if (fd > server->max_file_fd) server->max_file_fd = fd;
}

void BuildSets(WSServerState_* server) {
  FD_ZERO(&server->rfds);
  FD_ZERO(&server->wfds);
  server->max_file_fd = 0;
  if (server->pipeout.status & WS_SENDING) Watch(server, server->pipeout.fd, &server->wfds);
  Watch(server, server->pipein.fd, &server->rfds);
  Watch(server, server->listener, &server->rfds);
  Watch(server, server->wakeup_pipe[0], &server->rfds);
  Watch(server, server->timerfd, &server->rfds);
  for (auto& c : server->clients) {
    if (c->doomed) continue;
    // A client that is closing reads nothing more while its last bytes go out.
    if (!(c->status & WS_CLOSE)) Watch(server, c->listener, &server->rfds);
    if (c->status & WS_SENDING) Watch(server, c->listener, &server->wfds);
  }
}

// Drops clients whose handshake takes too long and open clients that have
// sent nothing for the idle time-out.
void DropStale(WSServerState_* server) {
  const time_t now = Now();
  const wsconfig& c = server->config;
  std::vector<WSClient2*> stale;
  for (auto& client : server->clients) {
    if (client->doomed || client->tearing_down) continue;
    const bool handshaking = !client->headers || client->headers->reading;
    if (handshaking ? now - client->accepted >= c.handshake_timeout_s : now - client->last_active >= c.idle_timeout_s)
      stale.push_back(client.get());
  }
  for (WSClient2* client : stale) TearDown(server, client);
}

void OnTimer(WSServerState_* server) {
  uint64_t count;
  if (read(server->timerfd, &count, sizeof count) != sizeof count) return;
  if (server->heartbeat) server->heartbeat();
  DropStale(server);
  ArmTimer(server->timerfd);
}

void OnClient(WSServerState_* server, WSClient2* client, bool readable, bool writable) {
  if (client->doomed) return;
  if (readable) client->last_active = Now();
  if (writable && client->sockqueue) ws_respond(client, nullptr, 0);
  if (readable && !(client->status & WS_CLOSE) && !client->doomed) {
    if (!client->headers || client->headers->reading) {
      ws_read_handshake(server, client);
      // What the client sent behind its request is read now, not on a later event.
      if (client->headers && !client->headers->reading && !client->pending.empty() &&
          !(client->status & WS_CLOSE) && !client->doomed)
        ws_read_frame(server, client);
    } else {
      ws_read_frame(server, client);
    }
  }
  Reap(server, client);
}

// One select round; 1 to go on, 0 to end (woken or stopping), -1 on failure.
int Round(WSServerState_* server) {
  if (plat::StopRequested()) return 0;
  BuildSets(server);
  fd_set rfds = server->rfds, wfds = server->wfds;
  timeval tv = {0, 100 * 1000};  // bounds how long a thread stop goes unseen
  int rc = select(server->max_file_fd + 1, &rfds, &wfds, nullptr, &tv);
  server->rounds.fetch_add(1, std::memory_order_relaxed);
  if (rc < 0) {
    if (errno == EINTR) return 1;
    WS_REPORT("Unable to select: %s.", std::strerror(errno));
    return -1;
  }
  if (rc == 0) return 1;
  if (server->wakeup_pipe[0] >= 0 && FD_ISSET(server->wakeup_pipe[0], &rfds)) return 0;
  for (int fd = 0; fd <= server->max_file_fd; ++fd) {
    bool r = FD_ISSET(fd, &rfds), w = FD_ISSET(fd, &wfds);
    if (!r && !w) continue;
    if (fd == server->timerfd) {
      OnTimer(server);
    } else if (fd == server->pipein.fd || fd == server->pipeout.fd) {
      continue;
    } else if (fd == server->listener) {
      Accept(server);
    } else if (WSClient2* c = server->by_fd[fd]) {
      OnClient(server, c, r, w);
    }
  }
  if (server->pipein.fd >= 0 && FD_ISSET(server->pipein.fd, &rfds)) ws_pipein_read(server);
  if (server->pipeout.fd >= 0 && FD_ISSET(server->pipeout.fd, &wfds)) ws_pipeout_flush(server);
  ReapAll(server);
  return 1;
}

bool Setup(WSServerState_* server) {
  if (!ws_pipes_open(server)) return false;
  server->timerfd = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
  if (server->timerfd < 0 || !ArmTimer(server->timerfd)) {
    WS_REPORT("Unable to set timer: %s.", std::strerror(errno));
    return false;
  }
  // Without a wake pipe of the owner's the server is still ended by a thread stop.
  if (server->wakeup_pipe[0] < 0 && pipe2(server->wakeup_pipe, O_NONBLOCK | O_CLOEXEC) != 0)
    server->wakeup_pipe[0] = server->wakeup_pipe[1] = -1;
  server->reservefd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return Listen(server);
}

bool SetupAndTell(WSServerState_* server) {
  const bool ok = Setup(server);
  if (server->onlisten) server->onlisten(server);
  return ok;
}

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}
}  // namespace

void ws_report(const char* file, const char* func, int line, const char* fmt, ...) {
  const char* base = std::strrchr(file, '/');
  std::printf("\nFatal error has occurred");
  std::printf("\nError occured at: %s - %s - %d\n", base ? base + 1 : file, func, line);
  va_list ap;
  va_start(ap, fmt);
  std::vprintf(fmt, ap);
  va_end(ap);
  std::printf("\n\n");
  std::fflush(stdout);
}

WSServerState_* ws2_init(const char* host, const char* port) { return Create(kCmdFamily, host, port); }
WSServerState_* ws_init(const char* host, const char* port) { return Create(kPicFamily, host, port); }

int ws2_start(WSServerState_* server) {
  if (!server) return -1;
  if (!SetupAndTell(server)) return -1;
  int rc;
  while ((rc = Round(server)) > 0) {
  }
  return rc;
}

int ws_start(WSServerState_* server) { return ws2_start(server); }

void ws2_close_conn(WSServerState_* server, WSClient2* client) {
  if (!server || !client) return;
  bool known = false;
  for (auto& c : server->clients) known = known || c.get() == client;
  if (!known || client->doomed || client->tearing_down) return;
  // The record stays until the loop is done with the client; it sees nothing more.
  shutdown(client->listener, SHUT_RDWR);
  client->doomed = true;
  ws_registry_remove(client);
}

void ws_close_conn(WSServerState_* server, WSClient_* client) { ws2_close_conn(server, client); }

void ws2_wake(WSServerState_* server) {
  if (server && server->wakeup_pipe[1] >= 0) (void)!write(server->wakeup_pipe[1], "w", 1);
}

void ws2_stop(WSServerState_* server) {
  if (!server) return;
  ws_pipes_close(server, true);
  while (!server->clients.empty()) Remove(server, server->clients.front().get());
  CloseFd(&server->listener);
  CloseFd(&server->timerfd);
  CloseFd(&server->reservefd);
  CloseFd(&server->wakeup_pipe[0]);
  CloseFd(&server->wakeup_pipe[1]);
  delete server;
}

void ws_stop(WSServerState_* server) { ws2_stop(server); }

int set2_nonblocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    WS_REPORT("Unable to set socket as non-blocking: %s.", std::strerror(errno));
    return -1;
  }
  return 0;
}

int set_nonblocking(int fd) { return set2_nonblocking(fd); }
