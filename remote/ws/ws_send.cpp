// Outgoing frames and the per-client send queue with its throttle.
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "remote/ws/ws_internal.h"
#include "remote/ws/ws_utf8.h"

namespace {
std::mutex g_registry_mu;
std::unordered_set<WSClient2*> g_registry;

// Sends what it can without blocking; the count sent, or -1 when the peer is
// gone. A failed send ends the client: what it still had to receive is
// dropped, so nothing keeps it waiting to send and the loop tears it down.
ssize_t SendSome(WSClient2* client, const char* bytes, size_t length) {
  ssize_t n = send(client->listener, bytes, length, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n >= 0) return n;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
  client->sockqueue.reset();
  client->status = (client->status | WS_ERR | WS_CLOSE) & ~(WS_SENDING | WS_THROTTLING);
  return -1;
}

void FlushQueue(WSClient2* client) {
  WSSendQueue_* q = client->sockqueue.get();
  ssize_t n = SendSome(client, q->queue.data() + q->start, q->qlen());
  if (n < 0) return;  // the queue is gone with the client
  q->start += size_t(n);
  if (q->qlen() == 0) {
    client->sockqueue.reset();
    client->status &= ~(WS_SENDING | WS_THROTTLING);
  } else if (q->start > q->queue.size() / 2) {
    q->queue.erase(q->queue.begin(), q->queue.begin() + long(q->start));
    q->start = 0;
  }
}
}  // namespace

void ws_registry_add(WSClient2* client) {
  std::lock_guard<std::mutex> lock(g_registry_mu);
  g_registry.insert(client);
}

void ws_registry_remove(WSClient2* client) {
  std::lock_guard<std::mutex> lock(g_registry_mu);
  g_registry.erase(client);
}

bool ws_registry_has(WSClient2* client) {
  std::lock_guard<std::mutex> lock(g_registry_mu);
  return g_registry.count(client) != 0;
}

void ws_respond(WSClient2* client, const char* bytes, size_t length) {
  if (client->doomed || client->listener < 0) return;
  if (!client->sockqueue) {
    if (!bytes || length == 0) return;
    ssize_t n = SendSome(client, bytes, length);
    if (n < 0 || size_t(n) == length) return;
    try {
      client->sockqueue.reset(new WSSendQueue_);
      client->sockqueue->queue.assign(bytes + n, bytes + length);
    } catch (const std::bad_alloc&) {
      client->sockqueue.reset();
      client->status |= WS_ERR | WS_CLOSE;
      return;
    }
    client->status |= WS_SENDING;
    return;
  }
  if (bytes && length > 0 && !(client->status & WS_THROTTLING)) {
    try {
      client->sockqueue->queue.insert(client->sockqueue->queue.end(), bytes, bytes + length);
    } catch (const std::bad_alloc&) {
      client->status |= WS_THROTTLING;
    }
    if (client->sockqueue->qlen() >= WS_THROTTLE_THLD) client->status |= WS_THROTTLING;
    return;
  }
  // Writable event, or throttled: drain (a throttled client loses the new bytes).
  FlushQueue(client);
}

void ws_send_frame(WSClient2* client, int opcode, const char* data, size_t length) {
  std::vector<char> frame;
  frame.reserve(length + 10);
  frame.push_back(char(0x80 | (opcode & 0x0F)));
  if (length < 126) {
    frame.push_back(char(length));
  } else if (length < 65536) {
    frame.push_back(126);
    frame.push_back(char(length >> 8));
    frame.push_back(char(length));
  } else {
    frame.push_back(127);
    for (int i = 7; i >= 0; --i) frame.push_back(char(uint64_t(length) >> (8 * i)));
  }
  if (length) frame.insert(frame.end(), data, data + length);
  ws_respond(client, frame.data(), frame.size());
}

void ws_error(WSClient2* client, uint16_t code, const char* text) {
  char payload[125];
  payload[0] = char(code >> 8);
  payload[1] = char(code);
  size_t n = text ? strnlen(text, 123) : 0;
  if (n) std::memcpy(payload + 2, text, n);
  ws_send_frame(client, WS_OPCODE_CLOSE, payload, n + 2);
}

void http_error(WSClient2* client, const char* text) { ws_respond(client, text, std::strlen(text)); }

int ws2_send_data(WSClient2* client, int opcode, const char* data, size_t length) {
  if (!client || !ws_registry_has(client) || (length && !data)) return -1;
  if ((opcode == WS_OPCODE_PING || opcode == WS_OPCODE_PONG) && length > 125) return -1;
  if (opcode == WS_OPCODE_BIN || length == 0) {
    ws_send_frame(client, opcode, data, length);
    return 0;
  }
  std::vector<char> text(data, data + length);
  utf8_sanitize(text.data(), text.size());
  ws_send_frame(client, opcode, text.data(), text.size());
  return 0;
}

int ws_send_data(WSClient_* client, int opcode, const char* data, size_t length) {
  return ws2_send_data(client, opcode, data, length);
}

int ws2_ping(WSClient2* client, const char* data, size_t length) {
  return ws2_send_data(client, WS_OPCODE_PING, data, length);
}
