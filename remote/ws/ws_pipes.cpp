// The server's two named pipes: packets to send to clients come in on one,
// messages go out on the other (used only outside strict mode).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/root.h"
#include "remote/ws/ws_internal.h"
#include "remote/ws/ws_utf8.h"

namespace {
constexpr size_t kPipeChunk = 4096;
constexpr size_t kPipeOutLimit = WS_THROTTLE_THLD;  // beyond this, output is dropped

// The host path of an instrument path: under the root, or relative to the
// working directory before a root is set.
std::string HostPath(const std::string& path) {
  if (!plat::RootDir().empty()) return plat::MapPath(path);
  size_t i = path.find_first_not_of('/');
  return i == std::string::npos ? std::string(".") : path.substr(i);
}

bool MakeFifo(const std::string& path) {
  std::error_code ec;
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISFIFO(st.st_mode)) return true;
    WS_REPORT("pipe is not a fifo: %s.", path.c_str());
    return false;
  }
  if (errno != ENOENT) {
    WS_REPORT("Unable to stat fifo: %s.", std::strerror(errno));
    return false;
  }
  if (mkfifo(path.c_str(), 0666) != 0 && errno != EEXIST) {
    WS_REPORT("Unable to set fifo: %s.", std::strerror(errno));
    return false;
  }
  return true;
}

int OpenIn(const std::string& path) {
  return open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

// -1 with ENXIO while nobody reads the pipe.
int OpenOut(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
}

// Drops what the pipe holds (the stream has lost its packet boundaries) and opens it anew.
void ResetIn(WSServerState_* server) {
  WSFifoIn_& in = server->pipein;
  char sink[kPipeChunk];
  for (int i = 0; i < 256 && read(in.fd, sink, sizeof sink) > 0; ++i) {
  }
  if (in.fd >= 0) close(in.fd);
  std::string path = in.path;
  in = WSFifoIn_();
  in.path = path;
  in.fd = OpenIn(path);
}

uint32_t Be32(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void Broadcast(WSServerState_* server, int opcode, const char* data, size_t len) {
  for (auto& c : server->clients)
    if (c->is_open() && !c->doomed) ws2_send_data(c.get(), opcode, data, len);
}

void DispatchPacket(WSServerState_* server) {
  WSFifoIn_& in = server->pipein;
  if (in.target == 0) {
    Broadcast(server, int(in.opcode), in.payload.data(), in.payload.size());
  } else if (in.target < FD_SETSIZE) {
    WSClient2* c = server->by_fd[in.target];
    if (c && c->is_open() && !c->doomed)
      ws2_send_data(c, int(in.opcode), in.payload.data(), in.payload.size());
  }
  std::string path = in.path;
  int fd = in.fd;
  in = WSFifoIn_();
  in.path = path;
  in.fd = fd;
}

// Reads a little more of the current packet; false when the pipe has nothing more.
bool ReadPacketPart(WSServerState_* server) {
  WSFifoIn_& in = server->pipein;
  if (in.hlen < sizeof in.hdr) {
    ssize_t n = read(in.fd, in.hdr + in.hlen, sizeof in.hdr - in.hlen);
    if (n <= 0) return false;
    in.hlen += size_t(n);
    if (in.hlen < sizeof in.hdr) return true;
    in.target = Be32(in.hdr);
    in.opcode = Be32(in.hdr + 4);
    in.len = Be32(in.hdr + 8);
    if (in.target > 1024 || (in.opcode != 1 && in.opcode != 2) ||
        in.len > server->config.max_frm_sz) {
      ResetIn(server);
      return false;
    }
    in.payload.resize(in.len);
    in.received = 0;
  }
  if (in.received < in.len) {
    ssize_t n = read(in.fd, in.payload.data() + in.received, in.len - in.received);
    if (n <= 0) return false;
    in.received += size_t(n);
  }
  if (in.received == in.len) DispatchPacket(server);
  return true;
}
}  // namespace

bool ws_pipes_open(WSServerState_* server) {
  server->pipein.path = HostPath(server->config.pipein);
  server->pipeout.path = HostPath(server->config.pipeout);
  if (!MakeFifo(server->pipein.path)) return false;
  server->pipein.fd = OpenIn(server->pipein.path);
  if (server->pipein.fd < 0 || server->pipein.fd >= FD_SETSIZE) {
    WS_REPORT("Unable to open fifo in: %s.", std::strerror(errno));
    return false;
  }
  if (!MakeFifo(server->pipeout.path)) return false;
  server->pipeout.fd = OpenOut(server->pipeout.path);
  if (server->pipeout.fd < 0 && errno != ENXIO) {
    WS_REPORT("Unable to open fifo out: %s.", std::strerror(errno));
    return false;
  }
  if (server->pipeout.fd >= FD_SETSIZE) {
    close(server->pipeout.fd);
    server->pipeout.fd = -1;
  }
  return true;
}

void ws_pipes_close(WSServerState_* server, bool remove_files) {
  for (int* fd : {&server->pipein.fd, &server->pipeout.fd}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  if (!remove_files) return;
  for (const std::string* path : {&server->pipein.path, &server->pipeout.path}) {
    struct stat st;
    if (!path->empty() && stat(path->c_str(), &st) == 0 && S_ISFIFO(st.st_mode))
      unlink(path->c_str());
  }
}

void ws_pipein_read(WSServerState_* server) {
  WSFifoIn_& in = server->pipein;
  if (in.fd < 0) return;
  if (!server->config.strict) {
    char chunk[kPipeChunk];
    ssize_t n = read(in.fd, chunk, sizeof chunk);
    if (n > 0 && utf8_valid(chunk, size_t(n))) Broadcast(server, WS_OPCODE_TEXT, chunk, size_t(n));
    return;
  }
  for (int i = 0; i < 64 && in.fd >= 0 && ReadPacketPart(server); ++i) {
  }
}

void ws_pipeout_write(WSServerState_* server, const char* bytes, size_t length) {
  WSPipeOut2& out = server->pipeout;
  if (out.fd < 0) out.fd = OpenOut(out.path);
  if (out.fd < 0 || length == 0) return;  // nobody reads the pipe
  if (out.fd >= FD_SETSIZE) {
    close(out.fd);
    out.fd = -1;
    return;
  }
  size_t sent = 0;
  if (out.queue.empty()) {
    ssize_t n = write(out.fd, bytes, length);
    if (n < 0 && errno == EPIPE) {
      close(out.fd);
      out.fd = OpenOut(out.path);
      return;
    }
    sent = n > 0 ? size_t(n) : 0;
  }
  if (sent < length && out.queue.size() + (length - sent) <= kPipeOutLimit) {
    out.queue.insert(out.queue.end(), bytes + sent, bytes + length);
    out.status |= WS_SENDING;
  }
}

void ws_pipeout_flush(WSServerState_* server) {
  WSPipeOut2& out = server->pipeout;
  if (out.fd < 0 || out.queue.empty()) return;
  ssize_t n = write(out.fd, out.queue.data(), out.queue.size());
  if (n < 0 && errno == EPIPE) {
    close(out.fd);
    out.fd = OpenOut(out.path);
    out.queue.clear();
  } else if (n > 0) {
    out.queue.erase(out.queue.begin(), out.queue.begin() + n);
  }
  if (out.queue.empty()) out.status &= ~WS_SENDING;
}
