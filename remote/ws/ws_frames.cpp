// The frame reader: header, length and mask in stages, the payload into the
// message buffer, then control frames and whole messages by opcode. Every read
// takes only the bytes still missing, so a slow client never stalls the loop.
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "remote/ws/ws_internal.h"
#include "remote/ws/ws_utf8.h"

namespace {
enum Stage { kNeedMore, kFailed, kDone };

bool IsControl(int opcode) { return opcode >= 8; }

void Fail(WSClient2* client) { client->status |= WS_ERR | WS_CLOSE; }

void FailWith(WSClient2* client, uint16_t code, const char* text) {
  ws_error(client, code, text);
  Fail(client);
}

// Reads until `have` reaches `want` bytes of `buf`.
Stage ReadUpTo(WSClient2* client, unsigned char* buf, size_t* have, size_t want,
               const char* failText) {
  while (*have < want) {
    ssize_t n = ws_client_recv(client, buf + *have, want - *have);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      client->status |= WS_READING;
      return kNeedMore;
    }
    if (n <= 0) {
      Fail(client);
      ws_error(client, 1011, failText);
      return kFailed;
    }
    *have += size_t(n);
  }
  return kDone;
}

// Checks the first two bytes; false when the client has been failed.
bool CheckStart(WSClient2* client, WSFrameHeader_* f) {
  f->fin = f->buf[0] >> 7;
  f->reserved = (f->buf[0] >> 4) & 7;
  f->opcode = f->buf[0] & 0x0F;
  f->masked = f->buf[1] >> 7;
  unsigned len7 = f->buf[1] & 0x7F;
  if (!f->masked || f->reserved) {
    Fail(client);
    return false;
  }
  bool fragmented = client->message && client->message->fragmented;
  switch (f->opcode) {
    case WS_OPCODE_CONTINUATION:
      if (!fragmented) Fail(client);
      break;
    case WS_OPCODE_TEXT:
    case WS_OPCODE_BIN:
      if (fragmented) Fail(client);
      break;
    case WS_OPCODE_CLOSE:
    case WS_OPCODE_PING:
    case WS_OPCODE_PONG:
      if (!f->fin || len7 > 125) FailWith(client, 1002, nullptr);
      break;
    default:
      FailWith(client, 1002, nullptr);
  }
  f->payload_offset = 2 + (len7 == 126 ? 2 : len7 == 127 ? 8 : 0) + 4;
  return !(client->status & WS_CLOSE);
}

// Reads the 16- or 64-bit length and checks it against the limits.
bool CheckLength(WSServerState_* server, WSClient2* client, WSFrameHeader_* f) {
  unsigned len7 = f->buf[1] & 0x7F;
  uint64_t len = len7;
  if (len7 == 126) {
    len = uint64_t(f->buf[2]) << 8 | f->buf[3];
  } else if (len7 == 127) {
    len = 0;
    for (int i = 0; i < 8; ++i) len = len << 8 | f->buf[2 + i];
  }
  std::memcpy(f->mask, f->buf + f->payload_offset - 4, 4);
  size_t sofar = client->message ? client->message->payload.size() : 0;
  size_t limit = server->config.max_frm_sz;
  bool data = !IsControl(f->opcode);
  if (len > limit || (data && sofar + len > limit)) {
    FailWith(client, 1009, "Frame is too big");
    return false;
  }
  f->payload_len = uint32_t(len);
  return true;
}

void Unmask(char* p, size_t n, const unsigned char mask[4]) {
  for (size_t i = 0; i < n; ++i) p[i] = char(p[i] ^ mask[i % 4]);
}

void Deliver(WSServerState_* server, WSClient2* client) {
  WSMessageBuffer_* m = client->message.get();
  if (!server->onmessage) return;
  if (server->config.echomode) {
    ws2_send_data(client, m->opcode, m->payload.data(), m->payload.size());
  } else if (server->config.strict) {
    server->onmessage(&server->pipeout, client);
  } else {
    ws_pipeout_write(server, m->payload.data(), m->payload.size());
  }
}

// The frame is whole: its payload stands at the message buffer's mask offset.
void HandleFrame(WSServerState_* server, WSClient2* client, WSFrameHeader_* f) {
  WSMessageBuffer_* m = client->message.get();
  char* payload = m->payload.data() + m->mask_offset;
  size_t len = m->payload.size() - m->mask_offset;
  Unmask(payload, len, f->mask);
  if (IsControl(f->opcode)) {
    if (f->opcode == WS_OPCODE_PING) ws_send_frame(client, WS_OPCODE_PONG, payload, len);
    if (f->opcode == WS_OPCODE_CLOSE) {
      ws_send_frame(client, WS_OPCODE_CLOSE, nullptr, 0);
      Fail(client);
    }
    m->payload.resize(m->mask_offset);
    if (!m->fragmented) client->message.reset();
    return;
  }
  if (f->opcode != WS_OPCODE_CONTINUATION) m->opcode = f->opcode;
  m->fragmented = 1;
  m->mask_offset = m->payload.size();
  if (!f->fin) return;
  if (m->opcode == WS_OPCODE_TEXT && !utf8_valid(m->payload.data(), m->payload.size())) {
    client->message.reset();
    FailWith(client, 1007, nullptr);
    return;
  }
  Deliver(server, client);
  client->message.reset();
}

// Reads the rest of the frame's payload onto the message: the buffer grows
// as the bytes come, not when a length is announced.
Stage ReadPayload(WSClient2* client, WSFrameHeader_* f) {
  WSMessageBuffer_* m = client->message.get();
  char chunk[16384];
  while (m->buflen < f->payload_len) {
    const size_t want = std::min(sizeof chunk, size_t(f->payload_len) - m->buflen);
    ssize_t n = ws_client_recv(client, chunk, want);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      client->status |= WS_READING;
      return kNeedMore;
    }
    if (n <= 0) {
      Fail(client);
      ws_error(client, 1011, "Unable to read payload");
      return kFailed;
    }
    try {
      m->payload.insert(m->payload.end(), chunk, chunk + n);
    } catch (const std::bad_alloc&) {
      Fail(client);
      return kFailed;
    }
    m->buflen += size_t(n);
  }
  return kDone;
}

// Continues the current frame; true when a frame was finished.
bool ReadOneFrame(WSServerState_* server, WSClient2* client) {
  if (!client->frame) client->frame.reset(new WSFrameHeader_);
  WSFrameHeader_* f = client->frame.get();
  const char* hdrFail = "Unable to read header";
  if (f->buflen < 2) {
    if (ReadUpTo(client, f->buf, &f->buflen, 2, hdrFail) != kDone) {
      if (f->buflen == 0) client->status &= ~WS_READING;  // between frames: idle, not reading
      return false;
    }
    if (!CheckStart(client, f)) return false;
  }
  if (f->reading) {
    if (ReadUpTo(client, f->buf, &f->buflen, f->payload_offset, hdrFail) != kDone) return false;
    if (!CheckLength(server, client, f)) return false;
    f->reading = 0;
    if (!client->message) client->message.reset(new WSMessageBuffer_);
    WSMessageBuffer_* m = client->message.get();
    m->mask_offset = m->payload.size();
    m->buflen = 0;
  }
  if (ReadPayload(client, f) != kDone) return false;
  // Whole: the owner sees a ready client (the picture server answers only those).
  client->status &= ~WS_READING;
  HandleFrame(server, client, f);
  client->frame.reset();
  return true;
}
}  // namespace

ssize_t ws_client_recv(WSClient2* client, void* buf, size_t n) {
  if (n == 0) return 0;
  if (!client->pending.empty()) {
    size_t take = n < client->pending.size() ? n : client->pending.size();
    std::memcpy(buf, client->pending.data(), take);
    client->pending.erase(client->pending.begin(), client->pending.begin() + long(take));
    return ssize_t(take);
  }
  return recv(client->listener, buf, n, 0);
}

void ws_read_frame(WSServerState_* server, WSClient2* client) {
  // A few frames per event keeps a flood from one client fair to the others;
  // the socket stays readable for the rest. Bytes that came with the
  // handshake are no event of the socket's: they are all read now.
  for (int i = 0; i < 16 || !client->pending.empty(); ++i) {
    if (!ReadOneFrame(server, client)) break;
    if (client->status & WS_CLOSE || client->doomed) break;
  }
}
