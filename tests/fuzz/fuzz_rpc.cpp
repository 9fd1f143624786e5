#include "tests/fuzz/fuzz_rpc.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "remote/vxi11/vxi11_link.h"
#include "remote/vxi11/vxi11_xdr.h"
#include "tests/fuzz/fuzz_instrument.h"

namespace {
constexpr uint32_t kCall = 0, kRpcVersion = 2, kAuthNone = 0;
constexpr uint32_t kCoreVersion = 1, kProcCreateLink = 10, kProcDeviceWrite = 11;
constexpr uint32_t kIoTimeoutMs = 1000, kLockTimeoutMs = 0;
constexpr uint32_t kClientId = 7;
constexpr auto kNeverIdle = std::chrono::hours(24);
}  // namespace

std::string RpcCall(uint32_t xid, uint32_t prog, uint32_t vers, uint32_t proc, const std::string& args) {
  XdrWriter w;
  for (uint32_t word : {xid, kCall, kRpcVersion, prog, vers, proc}) w.U32(word);
  for (int i = 0; i < 2; ++i) {  // credential and verifier
    w.U32(kAuthNone);
    w.Opaque("", 0);
  }
  return w.bytes() + args;
}

FuzzVxiConnection::FuzzVxiConnection() {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd_) != 0) open_ = false;
}

FuzzVxiConnection::~FuzzVxiConnection() {
  Close();
  for (int fd : fd_)
    if (fd >= 0) close(fd);
}

void FuzzVxiConnection::Close() {
  if (!open_) return;
  open_ = false;
  Vxi11ConnectionClosed(fd_[0]);
}

bool FuzzVxiConnection::Serve(const std::string& record) {
  if (!open_) return false;
  RpcContext ctx;
  ctx.transport = RpcTransport::kTcp;
  ctx.fd = fd_[0];
  ctx.parked = &parked_;
  reply_.clear();
  RpcHandleMessage(record.data(), record.size(), ctx, &reply_);
  if (!parked_) return true;
  FuzzScpiSettle();
  std::vector<Vxi11Finished> done;
  Vxi11ServiceLinks(Vxi11Clock::now(), kNeverIdle, &done);
  for (const Vxi11Finished& f : done)
    if (f.fd == fd_[0]) {
      parked_ = false;
      reply_ = RpcAcceptedReply(f.xid, f.result);
    }
  if (parked_) Close();
  return open_;
}

uint32_t FuzzVxiConnection::CreateLink() {
  XdrWriter a;
  for (uint32_t word : {kClientId, 0u, kLockTimeoutMs}) a.U32(word);
  a.Opaque(std::string("inst0"));
  if (!Serve(RpcCall(++xid_, kDeviceCore, kCoreVersion, kProcCreateLink, a.bytes()))) return 0;
  // Reply header: xid, type, accepted, verifier (2 words), status; then error, lid.
  XdrReader r(reply_.data(), reply_.size());
  uint32_t w[8] = {};
  for (uint32_t& x : w)
    if (!r.U32(&x)) return 0;
  return w[5] == 0 && w[6] == 0 ? w[7] : 0;
}

bool FuzzVxiConnection::Write(uint32_t lid, const char* data, size_t size, uint32_t flags) {
  XdrWriter a;
  for (uint32_t word : {lid, kIoTimeoutMs, kLockTimeoutMs, flags}) a.U32(word);
  a.Opaque(data, size);
  return Serve(RpcCall(++xid_, kDeviceCore, kCoreVersion, kProcDeviceWrite, a.bytes()));
}
