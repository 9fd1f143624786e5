#include "tests/fuzz/fuzz_ws.h"

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "remote/ws/ws_internal.h"

namespace {
int Consume(WSPipeOut2*, WSClient2*) { return 0; }

size_t Readable(int fd) {
  int n = 0;
  return ioctl(fd, FIONREAD, &n) == 0 && n > 0 ? size_t(n) : 0;
}

void Drain(int fd) {
  char buf[4096];
  while (recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
  }
}

bool Done(const WSClient2* c) { return (c->status & WS_CLOSE) || c->doomed; }

// One readable event of the client, as the server's loop handles it.
void Step(WSServerState_* server, WSClient2* c) {
  if (c->sockqueue) ws_respond(c, nullptr, 0);
  if (!c->headers || c->headers->reading) {
    ws_read_handshake(server, c);
    if (c->headers && !c->headers->reading && !c->pending.empty() && !Done(c)) ws_read_frame(server, c);
  } else {
    ws_read_frame(server, c);
  }
}

// Writes what the socket takes; the rest is sent on the next call.
void SendSome(int fd, const std::string& bytes, size_t* sent) {
  while (*sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + *sent, bytes.size() - *sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n <= 0) return;
    *sent += size_t(n);
  }
}
}  // namespace

void WsServeClient(const char* before, size_t prefix, const uint8_t* data, size_t size) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return;
  const int peer = pair[1];
  set2_nonblocking(pair[0]);
  WSServerState_* server = ws2_init("127.0.0.1", "0");
  server->config.echomode = 1;
  server->onmessage = Consume;
  {
    std::unique_ptr<WSClient2> client(new WSClient2);
    client->listener = pair[0];
    if (pair[0] < FD_SETSIZE) server->by_fd[pair[0]] = client.get();
    ws_registry_add(client.get());
    server->clients.push_front(std::move(client));
  }
  WSClient2* c = server->clients.front().get();

  std::string bytes(before, prefix);
  bytes.append(reinterpret_cast<const char*>(data), size);
  size_t sent = 0;
  // Every step reads at least one byte or ends the client; the bound only
  // guards against a loop that stops reading.
  for (size_t steps = 0; steps <= bytes.size() + 1 && !Done(c); ++steps) {
    SendSome(peer, bytes, &sent);
    if (!Readable(c->listener) && c->pending.empty()) break;
    Step(server, c);
    Drain(peer);
  }
  // The client goes away: the server reads the end of the stream.
  close(peer);
  if (!Done(c)) Step(server, c);
  ws2_stop(server);
}
