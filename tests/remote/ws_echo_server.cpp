// A websocket echo server on the command-family layer, for the tests that use
// real clients. Usage: ws_echo_server --root DIR [--port P]
// Prints "listening <port>", then one line per callback ("open", "close",
// "message <opcode> <size> <text>"). The text "close-me" makes the message
// callback drop its own connection. Ends when standard input closes.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/root.h"
#include "platform/thread.h"
#include "remote/ws/ws_server.h"

namespace {
WSServerState_* g_server = nullptr;
std::atomic<bool> g_done{false};
std::atomic<int> g_rc{0};

int OnOpen(WSPipeOut2*, WSClient2* client) {
  std::printf("open %s\n", client->remote_ip);
  std::fflush(stdout);
  return 0;
}

int OnClose(WSPipeOut2*, WSClient2*) {
  std::printf("close\n");
  std::fflush(stdout);
  return 0;
}

int OnMessage(WSPipeOut2*, WSClient2* client) {
  const WSMessageBuffer_& m = *client->message;
  std::string shown;
  if (m.opcode == WS_OPCODE_TEXT)
    shown.assign(m.payload.data(), std::min<size_t>(m.payload.size(), 64));
  for (char& c : shown)
    if (c == '\n' || c == '\r') c = ' ';
  std::printf("message %d %zu %s\n", m.opcode, m.payload.size(), shown.c_str());
  std::fflush(stdout);
  if (m.opcode == WS_OPCODE_TEXT && shown == "close-me") {
    ws2_close_conn(g_server, client);
    return 0;
  }
  return ws2_send_data(client, m.opcode, m.payload.data(), m.payload.size());
}

void* Serve(void*) {
  g_rc = ws2_start(g_server);
  g_done = true;
  return nullptr;
}
}  // namespace

int main(int argc, char** argv) {
  std::string root, port = "0";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--root")) root = argv[i + 1];
    else if (!std::strcmp(argv[i], "--port")) port = argv[i + 1];
  }
  if (root.empty() || !plat::InitRoot(root)) {
    std::fprintf(stderr, "usage: ws_echo_server --root DIR [--port P]\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  g_server = ws2_init("0.0.0.0", port.c_str());
  g_server->onopen = OnOpen;
  g_server->onclose = OnClose;
  g_server->onmessage = OnMessage;
  if (plat::StartThread("ws-echo", Serve, nullptr) != 0) return 1;
  bool announced = false;
  while (!g_done) {
    if (!announced && g_server->bound_port) {
      std::printf("listening %d\n", g_server->bound_port.load());
      std::fflush(stdout);
      announced = true;
    }
    pollfd in = {0, POLLIN, 0};
    if (poll(&in, 1, 50) > 0) {
      char buf[256];
      if (read(0, buf, sizeof buf) <= 0) break;
    }
  }
  ws2_wake(g_server);
  plat::RequestStop();
  plat::JoinAllThreads();
  ws2_stop(g_server);
  return g_rc == 0 ? 0 : 1;
}
