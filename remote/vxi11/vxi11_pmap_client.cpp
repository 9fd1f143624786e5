// Registration with a portmapper of the system's: when the server cannot
// take the portmapper port itself, another portmapper is there, and the
// channels are registered with it (and unregistered at the end), over UDP on
// loopback, as the C library's pmap_set and pmap_unset do.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>

#include "remote/vxi11/vxi11_pmap.h"
#include "remote/vxi11/vxi11_rpc.h"

namespace {
constexpr uint32_t kPmapNull = 0, kPmapSet = 1, kPmapUnset = 2;
constexpr uint32_t kPrograms[] = {kDeviceAsync, kDeviceCore, kDeviceIntr};

// One call to the portmapper at `port`: -1 without an answer, else the
// answer's boolean (1 for the null procedure).
int PmapCall(int port, uint32_t proc, uint32_t prog, uint32_t prot, uint32_t progPort) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  timeval tv = {0, 500000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  XdrWriter w;
  const uint32_t xid = 0x56580000u | proc << 8 | prot;
  for (uint32_t v : {xid, 0u, 2u, kPmapProg, 2u, proc, 0u, 0u, 0u, 0u, prog, 1u, prot, progPort})
    w.U32(v);
  int result = -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      send(fd, w.bytes().data(), w.bytes().size(), MSG_NOSIGNAL) == ssize_t(w.bytes().size())) {
    char buf[64];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    XdrReader r(buf, n > 0 ? size_t(n) : 0);
    uint32_t f[6] = {}, answer = 1;
    for (uint32_t& v : f) r.U32(&v);
    if (proc != kPmapNull) r.U32(&answer);
    if (r.ok() && f[0] == xid && f[1] == 1 && f[2] == 0 && f[5] == 0) result = answer == 1;
  }
  close(fd);
  return result;
}
}  // namespace

bool PmapRegister(int pmapPort, int tcpCore, int tcpAbort, int udp) {
  if (PmapCall(pmapPort, kPmapNull, 0, 0, 0) < 0) {
    std::printf(
        "vxi11: port %d is taken and no portmapper answers on it; clients must be told the core port, "
        "or $SCOPE_VXI11_PMAP_PORT=<port> moves the portmapper\n",
        pmapPort);
    return false;
  }
  PmapUnregister(pmapPort);
  for (uint32_t prog : kPrograms) {
    int tcp = prog == kDeviceAsync ? tcpAbort : tcpCore;
    if (tcp && PmapCall(pmapPort, kPmapSet, prog, kIpProtoTcp, uint32_t(tcp)) != 1)
      std::printf("vxi11: unable to register (0x%X, 1, tcp) with the portmapper\n", prog);
    if (udp && PmapCall(pmapPort, kPmapSet, prog, kIpProtoUdp, uint32_t(udp)) != 1)
      std::printf("vxi11: unable to register (0x%X, 1, udp) with the portmapper\n", prog);
  }
  return true;
}

void PmapUnregister(int pmapPort) {
  for (uint32_t prog : kPrograms)
    for (uint32_t prot : {kIpProtoTcp, kIpProtoUdp}) PmapCall(pmapPort, kPmapUnset, prog, prot, 0);
}
