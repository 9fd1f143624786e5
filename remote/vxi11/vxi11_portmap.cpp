// The portmapper, version 2 (GETPORT, DUMP) and the rpcbind versions 3 and 4
// (GETADDR, DUMP) that newer RPC libraries ask first. It knows only the
// server's own programs; registrations from others are refused.
#include <cstdio>

#include "remote/vxi11/vxi11.h"
#include "remote/vxi11/vxi11_rpc.h"

namespace {
constexpr uint32_t kMaxNetid = 64, kMaxUaddr = 128;

struct Service {
  uint32_t prog, low, high;
  std::atomic<int> Vxi11Ports::*tcp;
};
const Service kServices[] = {
    {kPmapProg, 2, 4, &Vxi11Ports::portmapTcp},
    {kDeviceCore, 1, 1, &Vxi11Ports::core},
    {kDeviceAsync, 1, 1, &Vxi11Ports::abort},
    {kDeviceIntr, 1, 1, &Vxi11Ports::core},
};

// The port of a program and version on TCP or UDP; 0 when it is not served.
uint32_t PortOf(uint32_t prog, uint32_t vers, uint32_t prot) {
  Vxi11Ports& ports = Vxi11BoundPorts();
  for (const Service& s : kServices) {
    if (s.prog != prog || vers < s.low || vers > s.high) continue;
    if (prot == kIpProtoTcp) return uint32_t((ports.*s.tcp).load());
    if (prot == kIpProtoUdp) return uint32_t(ports.udp.load());
  }
  return 0;
}

uint32_t ProtOfNetid(const std::string& netid) {
  if (netid == "tcp") return kIpProtoTcp;
  if (netid == "udp") return kIpProtoUdp;
  return 0;
}

// Universal address "h1.h2.h3.h4.p1.p2" of an IPv4 address and port.
std::string Uaddr(uint32_t addr, uint32_t port) {
  char text[40];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u.%u.%u", addr >> 24 & 255, addr >> 16 & 255, addr >> 8 & 255,
                addr & 255, port >> 8 & 255, port & 255);
  return text;
}

bool ReadMapping(XdrReader& a, uint32_t m[4]) { return a.U32(&m[0]) && a.U32(&m[1]) && a.U32(&m[2]) && a.U32(&m[3]); }

bool ReadRpcb(XdrReader& a, uint32_t* prog, uint32_t* vers, std::string* netid) {
  std::string addr, owner;
  return a.U32(prog) && a.U32(vers) && a.Opaque(netid, kMaxNetid) && a.Opaque(&addr, kMaxUaddr) &&
         a.Opaque(&owner, kMaxUaddr);
}

// The served programs, each on TCP and UDP, as DUMP lists them.
template <typename Entry>
void DumpAll(XdrWriter& w, Entry entry) {
  for (const Service& s : kServices)
    for (uint32_t v = s.low; v <= s.high; ++v)
      for (uint32_t prot : {kIpProtoTcp, kIpProtoUdp}) {
        uint32_t port = PortOf(s.prog, v, prot);
        if (!port) continue;
        w.U32(1);  // another entry follows
        entry(s.prog, v, prot, port);
      }
  w.U32(0);
}

bool Refuse(XdrWriter& w) {
  w.U32(0);  // FALSE: nothing is registered from outside
  return true;
}

bool PmapSet(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t m[4];
  return ReadMapping(a, m) && Refuse(w);
}

bool PmapGetport(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t m[4];
  if (!ReadMapping(a, m)) return false;
  w.U32(PortOf(m[0], m[1], m[2]));
  return true;
}

bool PmapDump(XdrReader&, XdrWriter& w, const RpcContext&) {
  DumpAll(w, [&w](uint32_t prog, uint32_t vers, uint32_t prot, uint32_t port) {
    w.U32(prog);
    w.U32(vers);
    w.U32(prot);
    w.U32(port);
  });
  return true;
}

bool RpcbSet(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t prog = 0, vers = 0;
  std::string netid;
  return ReadRpcb(a, &prog, &vers, &netid) && Refuse(w);
}

bool RpcbGetaddr(XdrReader& a, XdrWriter& w, const RpcContext& ctx) {
  uint32_t prog = 0, vers = 0;
  std::string netid;
  if (!ReadRpcb(a, &prog, &vers, &netid)) return false;
  uint32_t port = PortOf(prog, vers, ProtOfNetid(netid));
  w.Opaque(port ? Uaddr(ctx.localAddr, port) : std::string());
  return true;
}

bool RpcbDump(XdrReader&, XdrWriter& w, const RpcContext& ctx) {
  DumpAll(w, [&w, &ctx](uint32_t prog, uint32_t vers, uint32_t prot, uint32_t port) {
    w.U32(prog);
    w.U32(vers);
    w.Opaque(std::string(prot == kIpProtoTcp ? "tcp" : "udp"));
    w.Opaque(Uaddr(ctx.localAddr, port));
    w.Opaque(std::string("superuser"));
  });
  return true;
}

const RpcProcRow kPmapRows[] = {{1, PmapSet}, {2, PmapSet}, {3, PmapGetport}, {4, PmapDump}};
const RpcProcRow kRpcbRows[] = {{1, RpcbSet}, {2, RpcbSet}, {3, RpcbGetaddr}, {4, RpcbDump}, {9, RpcbGetaddr}};
}  // namespace

const RpcProgram kPortmapV2 = {kPmapProg, 2, 2, kPmapRows, sizeof kPmapRows / sizeof kPmapRows[0]};
const RpcProgram kPortmapV34 = {kPmapProg, 3, 4, kRpcbRows, sizeof kRpcbRows / sizeof kRpcbRows[0]};
