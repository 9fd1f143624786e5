// The HTTP upgrade request of a new client and the 101 reply.
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

#include "remote/ws/ws_internal.h"
#include "remote/ws/ws_sha1.h"

namespace {
const char kBadRequest[] = "HTTP/1.1 400 Invalid Request\r\n\r\n";

bool EqualNoCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
  return true;
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper((unsigned char)c));
  return s;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// "GET <path> HTTP/1.x" (the method may be written in lower case).
bool ParseRequestLine(const std::string& line, WSRequestHeaders_* h) {
  if (line.compare(0, 4, "GET ") != 0 && line.compare(0, 4, "get ") != 0) return false;
  const char* protocols[] = {" HTTP/1.0", " HTTP/1.1"};
  for (const char* proto : protocols) {
    size_t plen = std::strlen(proto);
    if (line.size() < 4 + plen || line.compare(line.size() - plen, plen, proto) != 0) continue;
    std::string path = line.substr(4, line.size() - plen - 4);
    if (path.empty() || path.find_first_of(" \t") != std::string::npos) return false;
    h->method = Upper(line.substr(0, 3));
    h->protocol = Upper(std::string(proto + 1));
    h->path = path;
    return true;
  }
  return false;
}

bool ParseHeaderLine(const std::string& line, WSRequestHeaders_* h) {
  size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  size_t nameEnd = colon;
  while (nameEnd > 0 && IsBlank(line[nameEnd - 1])) --nameEnd;
  std::string name = line.substr(0, nameEnd);
  if (name.empty() || name.find_first_of(" \t") != std::string::npos) return false;
  size_t v = colon + 1;
  while (v < line.size() && IsBlank(line[v])) ++v;
  size_t e = line.size();
  while (e > v && IsBlank(line[e - 1])) --e;
  std::string value = line.substr(v, e - v);
  struct Field {
    const char* name;
    std::string WSRequestHeaders_::*field;
  };
  static const Field kept[] = {
      {"Host", &WSRequestHeaders_::host},
      {"Origin", &WSRequestHeaders_::origin},
      {"Upgrade", &WSRequestHeaders_::upgrade},
      {"Connection", &WSRequestHeaders_::connection},
      {"Sec-WebSocket-Protocol", &WSRequestHeaders_::ws_protocol},
      {"Sec-WebSocket-Key", &WSRequestHeaders_::ws_key},
      {"Sec-WebSocket-Version", &WSRequestHeaders_::ws_sock_ver},
      {"User-Agent", &WSRequestHeaders_::agent},
      {"Referer", &WSRequestHeaders_::referer},
  };
  for (const Field& f : kept)
    if (EqualNoCase(name, f.name)) h->*f.field = value;
  return true;
}

// Parses the request up to its blank line (`end` bytes); false for a bad request.
bool ParseRequest(WSRequestHeaders_* h, size_t end) {
  const std::string text(h->buf, end);
  size_t pos = 0;
  bool first = true;
  while (pos < end) {
    size_t eol = text.find("\r\n", pos);
    std::string line = text.substr(pos, eol - pos);
    if (line.empty() || line.find_first_of("\r\n") != std::string::npos ||
        line.find('\0') != std::string::npos)
      return false;
    if (first ? !ParseRequestLine(line, h) : !ParseHeaderLine(line, h)) return false;
    first = false;
    pos = eol + 2;
  }
  return true;
}

bool HasRequired(const WSServerState_* server, const WSRequestHeaders_* h) {
  if (h->host.empty() || h->method.empty() || h->protocol.empty() || h->path.empty() ||
      h->connection.empty() || h->ws_key.empty() || h->ws_sock_ver.empty())
    return false;
  return server->config.origin.empty() || EqualNoCase(h->origin, server->config.origin.c_str());
}

void Refuse(WSClient2* client) {
  client->status |= WS_ERR | WS_CLOSE;
  http_error(client, kBadRequest);
}
}  // namespace

void ws_read_handshake(WSServerState_* server, WSClient2* client) {
  if (!client->headers) {
    client->headers.reset(new WSRequestHeaders_);
    gettimeofday(&client->start_proc, nullptr);
  }
  WSRequestHeaders_* h = client->headers.get();
  ssize_t n = recv(client->listener, h->buf + h->buflen, WS_BUFFER_SIZE - h->buflen, 0);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    client->status |= WS_READING;
    return;
  }
  if (n <= 0) return Refuse(client);
  h->buflen += size_t(n);
  h->buf[h->buflen] = '\0';

  const char* blank = static_cast<const char*>(memmem(h->buf, h->buflen, "\r\n\r\n", 4));
  if (!blank) {
    if (h->buflen < WS_BUFFER_SIZE) {
      client->status |= WS_READING;
      return;
    }
    return Refuse(client);
  }
  size_t end = size_t(blank - h->buf) + 2;  // the last header line's CR LF included
  if (!ParseRequest(h, end) || !HasRequired(server, h)) return Refuse(client);

  h->ws_accept = ws_accept_value(h->ws_key);
  if (h->upgrade.empty()) h->upgrade = "websocket";
  h->status_line = "HTTP/1.1 101 Switching Protocols";
  std::string reply = h->status_line + "\r\nUpgrade: " + h->upgrade +
                      "\r\nConnection: " + h->connection +
                      "\r\nSec-WebSocket-Accept: " + h->ws_accept + "\r\n\r\n";
  ws_respond(client, reply.data(), reply.size());
  // A client may already have sent frames behind its request.
  size_t used = end + 2;
  client->pending.assign(h->buf + used, h->buf + h->buflen);
  h->reading = 0;
  client->status &= ~WS_READING;
  if (client->status & (WS_ERR | WS_CLOSE)) return;
  client->opened = true;
  if (server->onopen && server->config.strict && !server->config.echomode)
    server->onopen(&server->pipeout, client);
}
