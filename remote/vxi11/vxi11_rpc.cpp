#include "remote/vxi11/vxi11_rpc.h"

namespace {
constexpr uint32_t kCall = 0, kReply = 1;
constexpr uint32_t kMsgAccepted = 0, kMsgDenied = 1;
constexpr uint32_t kSuccess = 0, kProgUnavail = 1, kProgMismatch = 2, kProcUnavail = 3, kGarbageArgs = 4;
constexpr uint32_t kRpcMismatch = 0, kAuthError = 1, kAuthBadCred = 1;
constexpr uint32_t kMaxAuthBytes = 400;

const RpcProgram* const kPrograms[] = {&kPortmapV2, &kPortmapV34, &kVxiCore, &kVxiAbort, &kVxiIntr};

void Accepted(XdrWriter& w, uint32_t xid, uint32_t stat) {
  w.U32(xid);
  w.U32(kReply);
  w.U32(kMsgAccepted);
  w.U32(0);  // verifier AUTH_NONE, empty
  w.U32(0);
  w.U32(stat);
}

void Denied(XdrWriter& w, uint32_t xid, uint32_t stat) {
  w.U32(xid);
  w.U32(kReply);
  w.U32(kMsgDenied);
  w.U32(stat);
}

const RpcProcRow* FindProc(const RpcProgram& p, uint32_t proc) {
  for (size_t i = 0; i < p.count; ++i)
    if (p.rows[i].proc == proc) return &p.rows[i];
  return nullptr;
}
}  // namespace

bool RpcHandleMessage(const char* msg, size_t len, RpcContext ctx, std::string* reply) {
  XdrReader r(msg, len);
  uint32_t xid = 0, type = 0, rpcvers = 0, prog = 0, vers = 0, proc = 0;
  if (!r.U32(&xid) || !r.U32(&type) || type != kCall) return false;
  XdrWriter w;
  if (!r.U32(&rpcvers)) return false;
  if (rpcvers != 2) {
    Denied(w, xid, kRpcMismatch);
    w.U32(2);
    w.U32(2);
    *reply = std::move(w.bytes());
    return true;
  }
  std::string cred, verf;
  uint32_t flavor = 0;
  if (!r.U32(&prog) || !r.U32(&vers) || !r.U32(&proc) || !r.U32(&flavor)) return false;
  if (!r.Opaque(&cred, kMaxAuthBytes) || !r.U32(&flavor) || !r.Opaque(&verf, kMaxAuthBytes)) {
    Denied(w, xid, kAuthError);
    w.U32(kAuthBadCred);
    *reply = std::move(w.bytes());
    return true;
  }

  const RpcProgram* program = nullptr;
  uint32_t low = UINT32_MAX, high = 0;
  for (const RpcProgram* p : kPrograms) {
    if (p->prog != prog) continue;
    low = p->low < low ? p->low : low;
    high = p->high > high ? p->high : high;
    if (vers >= p->low && vers <= p->high) program = p;
  }
  if (!program) {
    Accepted(w, xid, high ? kProgMismatch : kProgUnavail);
    if (high) {
      w.U32(low);
      w.U32(high);
    }
    *reply = std::move(w.bytes());
    return true;
  }
  XdrWriter result;
  ctx.vers = vers;
  ctx.xid = xid;
  const RpcProcRow* row = FindProc(*program, proc);
  if (proc == 0) {
    Accepted(w, xid, kSuccess);  // the null procedure
  } else if (!row) {
    Accepted(w, xid, kProcUnavail);
  } else if (!row->fn(r, result, ctx)) {
    Accepted(w, xid, kGarbageArgs);
  } else if (ctx.parked && *ctx.parked) {
    return false;
  } else {
    Accepted(w, xid, kSuccess);
    w.bytes() += result.bytes();
  }
  *reply = std::move(w.bytes());
  return true;
}

std::string RpcAcceptedReply(uint32_t xid, const std::string& result) {
  XdrWriter w;
  Accepted(w, xid, kSuccess);
  w.bytes() += result;
  return std::move(w.bytes());
}

int RecordReader::Next(const char* in, size_t len, size_t* consumed, std::string* record) {
  size_t pos = 0;
  int got = 0;
  while (!got && len - pos >= 4) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(in + pos);
    uint32_t mark = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
    size_t frag = mark & 0x7FFFFFFFu;
    if (frag > kRpcMaxRecord - partial_.size()) {
      *consumed = pos;
      return -1;
    }
    if (len - pos - 4 < frag) break;
    partial_.append(in + pos + 4, frag);
    pos += 4 + frag;
    if (mark & 0x80000000u) {
      record->swap(partial_);
      partial_.clear();
      got = 1;
    }
  }
  *consumed = pos;
  return got;
}

std::string RpcRecord(const std::string& reply) {
  XdrWriter w;
  w.U32(0x80000000u | uint32_t(reply.size()));
  w.bytes() += reply;
  return std::move(w.bytes());
}
