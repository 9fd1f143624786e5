// The links of the core channel. Each link, to the device "inst0", gathers
// its own written data into messages, posts them on the SCPI queue under a
// ticket and keeps its own answer, so clients sharing the instrument never
// see each other's data. Calls that have to wait are parked and ended by
// the server loop.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>

#include "remote/scpi/scpi.h"
#include "remote/vxi11/vxi11.h"
#include "remote/vxi11/vxi11_link.h"
#include "remote/vxi11/vxi11_rpc.h"

namespace {
constexpr uint32_t kBadLid = 0x1F1F1F1F;
constexpr uint32_t kMaxRecvSize = 1024;
constexpr size_t kRecvBufferSize = 0x20000;
constexpr size_t kMaxLinks = 256;         // links of TCP clients
constexpr size_t kMaxDatagramLinks = 32;  // links created over UDP, on top
constexpr uint32_t kFlagEnd = 0x08, kFlagTermChr = 0x80;
constexpr uint32_t kReasonReqcnt = 1, kReasonChr = 2, kReasonEnd = 4;
// While a write waits for room on the SCPI queue it is retried this often.
constexpr auto kWriteRetry = std::chrono::milliseconds(2);
enum : uint32_t {
  kErrNone = 0,
  kErrSyntax = 1,
  kErrInvalidLink = 4,
  kErrOutOfResources = 9,
  kErrTimeout = 15,
  kErrIo = 17,
  kErrInvalidAddress = 21,
  kErrAbort = 23,
};

// A call waiting on its link.
struct Parked {
  enum Kind { kNone, kRead, kWrite } kind = kNone;
  int fd = -1;
  uint32_t xid = 0;
  uint32_t peerAddr = 0;  // a datagram call's sender
  uint16_t peerPort = 0;
  size_t maxData = SIZE_MAX;
  Vxi11Clock::time_point deadline;
  Vxi11ReadArgs read = {};
  uint32_t writeSize = 0;  // the write's reply size
  bool aborted = false;
};

struct Link {
  int fd = -1;             // the connection that created it (-1: a datagram)
  std::string in;          // data of the message being written
  std::string held;        // "SYSTem:SETup" or "CONFIG", posted with its block
  std::string outgoing;    // a complete message waiting for room on the queue
  bool outgoingBinary = false;
  ScpiTicket ticket = 0;   // the last message posted
  std::string answer;      // its answer, being read
  size_t answerPos = 0;
  bool haveAnswer = false;
  Parked parked;
  Vxi11Clock::time_point lastUse;
};

struct Links {
  std::map<uint32_t, Link> byLid;
  uint32_t nextLid = 1;
  int creates = 0;  // create_link calls, printed only
};
Links& L() {
  static Links links;
  return links;
}

Link* Find(uint32_t lid) {
  auto it = L().byLid.find(lid);
  if (it == L().byLid.end()) return nullptr;
  it->second.lastUse = Vxi11Clock::now();
  return &it->second;
}

void ForgetAnswer(Link& l) {
  Scpi.DropAnswer(l.ticket);
  l.ticket = 0;
  l.answer.clear();
  l.answerPos = 0;
  l.haveAnswer = false;
}

void Forget(Link& l) {
  ForgetAnswer(l);
  l.in.clear();
  l.held.clear();
  l.outgoing.clear();
}

// The length of the IEEE 488.2 definite-length block at the start of `in`
// (header and data), or 0 when it holds no valid header.
size_t BlockLength(const std::string& in) {
  if (in.size() < 2 || in[0] != '#' || in[1] < '1' || in[1] > '9') return 0;
  const size_t digits = size_t(in[1] - '0');
  if (in.size() < 2 + digits) return 0;
  size_t len = 0;
  for (size_t i = 0; i < digits; ++i) {
    const char c = in[2 + i];
    if (c < '0' || c > '9') return 0;
    len = len * 10 + size_t(c - '0');
  }
  return 2 + digits + len;
}

// True when the gathered data holds a whole message: a block once its
// announced length is in and a line end or END follows it; else a line end
// or END. A block header cut short waits for more.
bool Complete(const std::string& in, bool end) {
  if (end) return true;
  if (in.empty()) return false;
  if (in[0] == '#') {
    const size_t block = BlockLength(in);
    if (block) return in.size() > block && in.back() == '\n';
  }
  if (ScpiBlockPending(in.data(), in.size())) return false;  // "SYSTem:SETup #5..." in one message
  return in.back() == '\n';
}

bool IsSetupLine(const std::string& m) {
  std::string line = m;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (!line.empty() && line[0] == ':') line.erase(0, 1);  // from the root, as any header
  return line == "SYSTem:SETup" || line == "CONFIG";
}

// Posts the outgoing message (after a held setup line); true when it went or
// was refused (then `*error` is set), false when the queue had no room.
bool PostOutgoing(Link& l, uint32_t* error) {
  ScpiPost posts[2];
  int n = 0;
  if (!l.held.empty()) posts[n++] = {l.held.data(), int(l.held.size()), false};
  posts[n++] = {l.outgoing.data(), int(l.outgoing.size()), l.outgoingBinary};
  ScpiTicket ticket = 0;
  const int rc = Scpi.PostCommand(ScpiMsgType(0, kScpiSourceTransport), posts, n, false, &ticket);
  if (rc == kScpiPostFull) return false;
  *error = rc < 0 ? kErrIo : kErrNone;
  if (rc < 0) std::printf("device_write: the message could not be posted\n");
  l.ticket = ticket;
  l.held.clear();
  l.outgoing.clear();
  return true;
}

void WriteResult(XdrWriter& w, uint32_t error, uint32_t size) {
  w.U32(error);
  w.U32(size);
}

void ReadError(XdrWriter& w, uint32_t error) {
  w.U32(error);
  w.U32(0);
  w.Opaque("", 0);
}

// Takes the answer of the last message when it has come.
bool HaveAnswer(Link& l) {
  if (!l.haveAnswer && l.ticket && Scpi.TakeAnswer(l.ticket, &l.answer)) {
    l.ticket = 0;
    l.answerPos = 0;
    l.haveAnswer = true;
  }
  return l.haveAnswer;
}

// The next piece of the answer: up to requestSize bytes, stopping after the
// term character when asked; END on the answer's last byte. A finished
// answer is not served again.
void ServeAnswer(Link& l, const Vxi11ReadArgs& a, size_t maxData, XdrWriter& w) {
  const char* data = l.answer.data() + l.answerPos;
  size_t n = l.answer.size() - l.answerPos;
  if (n > a.requestSize) n = a.requestSize;
  if (n > maxData) n = maxData;
  uint32_t reason = kReasonReqcnt;
  if (a.flags & kFlagTermChr) {
    if (const void* at = std::memchr(data, int(a.termChar & 0xFF), n)) {
      n = size_t(static_cast<const char*>(at) - data) + 1;
      reason = kReasonChr;
    }
  }
  l.answerPos += n;
  const bool last = l.answerPos >= l.answer.size();
  w.U32(kErrNone);
  w.U32(last ? kReasonEnd : reason);  // END on the last byte, before CHR
  w.Opaque(data, n);
  if (last) {
    l.answer.clear();
    l.answerPos = 0;
    l.haveAnswer = false;
  }
}

// Parks a call of `l` when the transport allows it and a time-out is given.
bool Park(Link& l, Parked::Kind kind, uint32_t ioTimeout, const RpcContext& ctx) {
  if (!ctx.parked || ioTimeout == 0) return false;
  l.parked = Parked();
  l.parked.kind = kind;
  l.parked.fd = ctx.fd;
  l.parked.xid = ctx.xid;
  l.parked.peerAddr = ctx.peerAddr;
  l.parked.peerPort = ctx.peerPort;
  l.parked.maxData = ctx.maxData;
  l.parked.deadline = Vxi11Clock::now() + std::chrono::milliseconds(ioTimeout);
  *ctx.parked = true;
  return true;
}

// A call on a link whose earlier call still waits: the same call sent again
// (a datagram client's retry) is answered once, when the first ends; another
// gets an I/O error. True when the call is dealt with so.
bool Waiting(Link& l, const RpcContext& ctx, bool read, XdrWriter& w) {
  const Parked& p = l.parked;
  if (p.kind == Parked::kNone) return false;
  if (ctx.parked && p.fd == ctx.fd && p.xid == ctx.xid && p.peerAddr == ctx.peerAddr &&
      p.peerPort == ctx.peerPort) {
    *ctx.parked = true;
    return true;
  }
  if (read)
    ReadError(w, kErrIo);
  else
    WriteResult(w, kErrIo, 0);
  return true;
}

bool IsDatagramLink(const Link& l) { return l.fd == -1; }

// Room for one more link of the kind asked for; a datagram link beyond its
// share takes the place of the least recently used one that has no waiting
// call. False when the table has no room.
bool MakeRoom(bool datagram) {
  auto& byLid = L().byLid;
  size_t held = 0;
  auto oldest = byLid.end();
  for (auto it = byLid.begin(); it != byLid.end(); ++it) {
    if (IsDatagramLink(it->second) != datagram) continue;
    ++held;
    if (it->second.parked.kind == Parked::kNone &&
        (oldest == byLid.end() || it->second.lastUse < oldest->second.lastUse))
      oldest = it;
  }
  if (held < (datagram ? kMaxDatagramLinks : kMaxLinks)) return true;
  if (!datagram || oldest == byLid.end()) return false;
  std::printf("create_link: the least recently used of %zu datagram links reused\n", kMaxDatagramLinks);
  Forget(oldest->second);
  byLid.erase(oldest);
  return true;
}
}  // namespace

void Vxi11LinkCreate(const std::string& device, const RpcContext& ctx, XdrWriter& w) {
  Links& links = L();
  std::printf("create_link_1_svc  %d   :  %s ... \n", ++links.creates, device.c_str());
  uint32_t error = kErrNone, lid = kBadLid;
  if (device != "inst0") {
    error = kErrInvalidAddress;
  } else if (!MakeRoom(ctx.transport == RpcTransport::kUdp)) {
    std::printf("create_link: the link table is full, refused\n");
    error = kErrOutOfResources;
  } else {
    do {
      lid = links.nextLid++;
      if (links.nextLid == kBadLid) links.nextLid = 1;
    } while (lid == 0 || lid == kBadLid || links.byLid.count(lid));
    Link& l = links.byLid[lid];
    l.fd = ctx.transport == RpcTransport::kTcp ? ctx.fd : -1;
    l.lastUse = Vxi11Clock::now();
  }
  const bool ok = error == kErrNone;
  w.U32(error);
  w.U32(ok ? lid : kBadLid);
  w.U32(ok ? uint32_t(Vxi11BoundPorts().abort.load()) : 0);
  w.U32(ok ? kMaxRecvSize : 0);
}

bool Vxi11LinkWrite(uint32_t lid, uint32_t ioTimeout, uint32_t flags, const std::string& data,
                    const RpcContext& ctx, XdrWriter& w) {
  Link* l = Find(lid);
  if (!l) {
    WriteResult(w, kErrInvalidLink, 0);
    return true;
  }
  if (Waiting(*l, ctx, false, w)) return !(ctx.parked && *ctx.parked);
  uint32_t size = uint32_t(data.size());
  if (data.size() > kRecvBufferSize - l->in.size()) {
    std::printf("device_write: more than %zu bytes before a line end, discarded\n", kRecvBufferSize);
    l->in.clear();
    WriteResult(w, kErrSyntax, size);
    return true;
  }
  l->in += data;
  const bool end = flags & kFlagEnd;
  if (!Complete(l->in, end)) {
    WriteResult(w, kErrNone, size);
    return true;
  }
  // END closes the message: the line end the engine needs is added to a
  // command line, and counted in the reply's size.
  const bool binary = !l->held.empty() || BlockLength(l->in) > 0;
  if (!binary && !l->in.empty() && l->in.back() != '\n') {
    l->in += '\n';
    ++size;
  }
  std::string message;
  message.swap(l->in);
  if (message.empty()) {  // END alone: no message
    WriteResult(w, kErrNone, size);
    return true;
  }
  const size_t limit = binary ? size_t(kScpiMsgTextSize) : size_t(kScpiMsgTextSize - 1);
  if (message.size() > limit) {
    std::printf("device_write: a message of %zu bytes is longer than %zu, refused\n", message.size(), limit);
    WriteResult(w, kErrSyntax, size);
    return true;
  }
  if (!binary && IsSetupLine(message)) {
    l->held = message;  // posted together with its block
    WriteResult(w, kErrNone, size);
    return true;
  }
  if (!binary && message.find("SYSTem:LOCK ON") != std::string::npos) Scpi.SetKeyLockFrom(kKeyLockVxi11);
  // A new message ends the previous one's answer, read or not.
  ForgetAnswer(*l);
  l->outgoing = std::move(message);
  l->outgoingBinary = binary;
  uint32_t error = kErrNone;
  if (PostOutgoing(*l, &error)) {
    WriteResult(w, error, error == kErrNone ? size : 0);
    return true;
  }
  if (Park(*l, Parked::kWrite, ioTimeout, ctx)) {
    l->parked.writeSize = size;
    return false;
  }
  l->held.clear();
  l->outgoing.clear();
  WriteResult(w, kErrIo, 0);
  return true;
}

bool Vxi11LinkRead(uint32_t lid, const Vxi11ReadArgs& args, const RpcContext& ctx, XdrWriter& w) {
  Link* l = Find(lid);
  if (!l) {
    ReadError(w, kErrInvalidLink);
    return true;
  }
  if (Waiting(*l, ctx, true, w)) return !(ctx.parked && *ctx.parked);
  if (HaveAnswer(*l)) {
    ServeAnswer(*l, args, ctx.maxData, w);
    return true;
  }
  if (Park(*l, Parked::kRead, args.ioTimeout, ctx)) {
    l->parked.read = args;
    return false;
  }
  std::printf("Timeout .... \n");
  ReadError(w, kErrTimeout);
  return true;
}

bool Vxi11LinkExists(uint32_t lid) { return Find(lid) != nullptr; }

bool Vxi11LinkClear(uint32_t lid) {
  Link* l = Find(lid);
  if (l) Forget(*l);
  return l != nullptr;
}

bool Vxi11LinkDestroy(uint32_t lid) {
  Link* l = Find(lid);
  if (!l) return false;
  Forget(*l);
  if (l->parked.kind == Parked::kNone) {
    L().byLid.erase(lid);
  } else {
    l->parked.aborted = true;  // the service ends the call, then the link
    l->fd = -2;
  }
  return true;
}

bool Vxi11LinkAbort(uint32_t lid) {
  Link* l = Find(lid);
  if (!l) return false;
  if (l->parked.kind == Parked::kRead) l->parked.aborted = true;
  return true;
}

void Vxi11ServiceLinks(Vxi11Clock::time_point now, Vxi11Clock::duration idle, std::vector<Vxi11Finished>* done) {
  auto& byLid = L().byLid;
  for (auto it = byLid.begin(); it != byLid.end();) {
    Link& l = it->second;
    Parked& p = l.parked;
    XdrWriter w;
    bool ended = true;
    if (p.kind == Parked::kNone) {
      ended = false;
    } else if (p.aborted) {
      if (p.kind == Parked::kRead) ReadError(w, kErrAbort);
      else WriteResult(w, kErrAbort, 0);
    } else if (p.kind == Parked::kRead && HaveAnswer(l)) {
      ServeAnswer(l, p.read, p.maxData, w);
    } else if (p.kind == Parked::kWrite) {
      uint32_t error = kErrNone;
      if (PostOutgoing(l, &error)) {
        WriteResult(w, error, error == kErrNone ? p.writeSize : 0);
      } else if (now >= p.deadline) {
        std::printf("device_write: no room on the SCPI queue in time\n");
        l.held.clear();
        l.outgoing.clear();
        WriteResult(w, kErrIo, 0);
      } else {
        ended = false;
      }
    } else if (now >= p.deadline) {
      // A late answer is not kept for the next query.
      std::printf("Timeout .... \n");
      ForgetAnswer(l);
      ReadError(w, kErrTimeout);
    } else {
      ended = false;
    }
    if (ended) {
      done->push_back({p.fd, p.xid, std::move(w.bytes()), p.peerAddr, p.peerPort});
      p = Parked();
      l.lastUse = now;
    }
    const bool gone = l.fd == -2 && p.kind == Parked::kNone;
    const bool unused = p.kind == Parked::kNone && now - l.lastUse > idle;
    if (gone || unused) {
      Forget(l);
      it = byLid.erase(it);
    } else {
      ++it;
    }
  }
}

Vxi11Clock::time_point Vxi11NextWake(Vxi11Clock::time_point now) {
  auto next = Vxi11Clock::time_point::max();
  for (auto& [lid, l] : L().byLid) {
    if (l.parked.kind == Parked::kNone) continue;
    auto at = l.parked.kind == Parked::kWrite ? std::min(l.parked.deadline, now + kWriteRetry) : l.parked.deadline;
    next = std::min(next, at);
  }
  return next;
}

void Vxi11ConnectionClosed(int fd) {
  auto& byLid = L().byLid;
  for (auto it = byLid.begin(); it != byLid.end();) {
    Link& l = it->second;
    if (l.parked.fd == fd) l.parked = Parked();
    if (l.fd == fd) {
      Forget(l);
      it = byLid.erase(it);
    } else {
      ++it;
    }
  }
}

void Vxi11ResetLinks() {
  for (auto& [lid, l] : L().byLid) Forget(l);
  L() = Links();
}

size_t Vxi11LinkCount() { return L().byLid.size(); }
