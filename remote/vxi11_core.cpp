// The VXI-11 core, abort and interrupt channels. One link, lid 1 to the
// device "inst0"; written data is gathered until a line end and posted on the
// SCPI queue, reads return the engine's answer once it is finished.
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/thread.h"
#include "remote/scpi.h"
#include "remote/vxi11.h"
#include "remote/vxi11_rpc.h"

namespace {
constexpr uint32_t kLid = 1, kBadLid = 0x1F1F1F1F;
constexpr uint32_t kMaxRecvSize = 1024;
constexpr size_t kRecvBufferSize = 0x20000;
constexpr uint32_t kMaxDeviceName = 256, kMaxHandle = 40;
constexpr uint32_t kFlagEnd = 0x08, kFlagTermChr = 0x80;
constexpr uint32_t kReasonReqcnt = 1, kReasonChr = 2, kReasonEnd = 4;
enum : uint32_t {
  kErrNone = 0,
  kErrSyntax = 1,
  kErrInvalidLink = 4,
  kErrTimeout = 15,
  kErrIo = 17,
  kErrInvalidAddress = 21,
};

// The device side of the one link.
struct Device {
  std::vector<char> buffer = std::vector<char>(kRecvBufferSize + 1);  // + terminator
  size_t fill = 0;
  int links = 0;       // create_link calls, printed only
  size_t readPos = 0;  // bytes of the current answer already read
};
Device& Dev() {
  static Device d;
  return d;
}

bool Error(XdrWriter& w, uint32_t error) {
  w.U32(error);
  return true;
}

// Posts the gathered message; false when it could not be posted.
bool Post(Device& d) {
  d.buffer[d.fill] = '\0';
  const long type = ScpiMsgType(0, kScpiSourceTransport);
  d.readPos = 0;
  if (d.buffer[0] == '#') return Scpi.SendScpiMsg2(type, d.buffer.data(), int(d.fill)) >= 0;
  if (std::strstr(d.buffer.data(), "SYSTem:LOCK ON")) Scpi.SetKeyLockFrom(kKeyLockVxi11);
  return Scpi.SendScpiMsg(type, d.buffer.data()) >= 0;
}

// True when the peer of a TCP connection has closed it.
bool PeerGone(int fd) {
  if (fd < 0) return false;
  pollfd p = {fd, POLLRDHUP, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

// Waits, in real time, up to `ms` for the answer; false on a time-out, a stop
// or a closed connection.
bool WaitAnswer(uint32_t ms, int fd) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!Scpi.GetResponseFinish()) {
    if (plat::StopRequested() || PeerGone(fd) || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool CreateLink(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t clientId = 0, lockDevice = 0, lockTimeout = 0;
  std::string device;
  if (!a.U32(&clientId) || !a.U32(&lockDevice) || !a.U32(&lockTimeout) || !a.Opaque(&device, kMaxDeviceName))
    return false;
  Device& d = Dev();
  std::printf("create_link_1_svc  %d   :  %s ... \n", ++d.links, device.c_str());
  const bool ok = device == "inst0";
  w.U32(ok ? kErrNone : kErrInvalidAddress);
  w.U32(ok ? kLid : kBadLid);
  w.U32(ok ? uint32_t(Vxi11BoundPorts().abort.load()) : 0);
  w.U32(ok ? kMaxRecvSize : 0);
  return true;
}

bool DeviceWrite(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0, ioTimeout = 0, lockTimeout = 0, flags = 0;
  std::string data;
  if (!a.U32(&lid) || !a.U32(&ioTimeout) || !a.U32(&lockTimeout) || !a.U32(&flags) ||
      !a.Opaque(&data, uint32_t(kRpcMaxRecord)))
    return false;
  Device& d = Dev();
  uint32_t error = kErrNone, size = uint32_t(data.size());
  if (lid != kLid) {
    error = kErrInvalidLink;
    size = 0;
  } else if (data.size() > kRecvBufferSize - d.fill) {
    std::printf("device_write: more than %zu bytes before a line end, discarded\n", kRecvBufferSize);
    d.fill = 0;
    error = kErrSyntax;
  } else {
    std::memcpy(d.buffer.data() + d.fill, data.data(), data.size());
    d.fill += data.size();
    // END closes the message: the line end the engine needs is added, and
    // counted in the reply's size.
    if ((flags & kFlagEnd) && d.fill > 0 && d.buffer[d.fill - 1] != '\n' && d.fill < kRecvBufferSize) {
      d.buffer[d.fill++] = '\n';
      ++size;
    }
    if (d.fill > 0 && d.buffer[d.fill - 1] == '\n') {
      if (!Post(d)) error = kErrIo;
      d.fill = 0;
    }
  }
  w.U32(error);
  w.U32(size);
  return true;
}

bool DeviceRead(XdrReader& a, XdrWriter& w, const RpcContext& ctx) {
  uint32_t lid = 0, requestSize = 0, ioTimeout = 0, lockTimeout = 0, flags = 0, termChar = 0;
  if (!a.U32(&lid) || !a.U32(&requestSize) || !a.U32(&ioTimeout) || !a.U32(&lockTimeout) || !a.U32(&flags) ||
      !a.U32(&termChar))
    return false;
  uint32_t error = kErrNone, reason = 0;
  const char* data = "";
  size_t n = 0;
  Device& d = Dev();
  if (lid != kLid) {
    error = kErrInvalidLink;
  } else if (!WaitAnswer(ioTimeout, ctx.fd)) {
    std::printf("Timeout .... \n");
    error = kErrTimeout;
  } else {
    const int len = Scpi.GetResponseDataLength();
    if (len <= 0) std::printf("Response Error! \n");
    const size_t total = len > 0 ? size_t(len) : 0;
    if (d.readPos >= total) d.readPos = 0;  // a finished answer is read again from its start
    data = Scpi.GetResponseDataBuff(0) + d.readPos;
    n = total - d.readPos;
    if (n > requestSize) n = requestSize;
    if (n > ctx.maxData) n = ctx.maxData;
    reason = kReasonReqcnt;
    if (flags & kFlagTermChr) {
      const void* at = std::memchr(data, int(termChar & 0xFF), n);
      if (at) {
        n = size_t(static_cast<const char*>(at) - data) + 1;
        reason = kReasonChr;
      }
    }
    d.readPos += n;
    if (d.readPos >= total) reason = kReasonEnd;  // END on the last byte, before CHR
  }
  w.U32(error);
  w.U32(reason);
  w.Opaque(data, n);
  return true;
}

bool LinkOnly(XdrReader& a, XdrWriter& w, uint32_t* lid) {
  if (!a.U32(lid)) return false;
  return Error(w, *lid == kLid ? kErrNone : kErrInvalidLink);
}

// device_trigger, device_clear, device_remote, device_local: nothing to do.
bool Generic(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0;
  return LinkOnly(a, w, &lid) && a.Skip(3);
}

bool ReadStb(XdrReader& a, XdrWriter& w, const RpcContext& ctx) {
  if (!Generic(a, w, ctx)) return false;
  w.U32(0);  // status byte
  return true;
}

bool Lock(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0;
  return LinkOnly(a, w, &lid) && a.Skip(2);
}

bool Unlock(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0;
  return LinkOnly(a, w, &lid);
}

bool EnableSrq(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0, enable = 0;
  std::string handle;
  return a.U32(&lid) && a.U32(&enable) && a.Opaque(&handle, kMaxHandle) &&
         Error(w, lid == kLid ? kErrNone : kErrInvalidLink);
}

bool Docmd(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0;
  std::string in;
  if (!a.U32(&lid) || !a.Skip(6) || !a.Opaque(&in, uint32_t(kRpcMaxRecord))) return false;
  Error(w, lid == kLid ? kErrNone : kErrInvalidLink);
  w.U32(0);  // no data out
  return true;
}

bool DestroyLink(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0;
  if (!LinkOnly(a, w, &lid)) return false;
  std::printf("link disconnect\n");
  return true;
}

bool CreateIntrChan(XdrReader& a, XdrWriter& w, const RpcContext&) { return a.Skip(5) && Error(w, kErrNone); }
bool DestroyIntrChan(XdrReader&, XdrWriter& w, const RpcContext&) { return Error(w, kErrNone); }

bool DeviceAbort(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0;
  if (!LinkOnly(a, w, &lid)) return false;
  std::printf("device_abort_1_svc : ... \n");
  return true;
}

bool IntrSrq(XdrReader& a, XdrWriter&, const RpcContext&) {
  std::string handle;
  return a.Opaque(&handle, kMaxHandle);
}

const RpcProcRow kCoreRows[] = {
    {10, CreateLink}, {11, DeviceWrite}, {12, DeviceRead},  {13, ReadStb},   {14, Generic},
    {15, Generic},    {16, Generic},     {17, Generic},     {18, Lock},      {19, Unlock},
    {20, EnableSrq},  {22, Docmd},       {23, DestroyLink}, {25, CreateIntrChan}, {26, DestroyIntrChan},
};
const RpcProcRow kAbortRows[] = {{1, DeviceAbort}};
const RpcProcRow kIntrRows[] = {{30, IntrSrq}};
}  // namespace

const RpcProgram kVxiCore = {kDeviceCore, 1, 1, kCoreRows, sizeof kCoreRows / sizeof kCoreRows[0]};
const RpcProgram kVxiAbort = {kDeviceAsync, 1, 1, kAbortRows, sizeof kAbortRows / sizeof kAbortRows[0]};
const RpcProgram kVxiIntr = {kDeviceIntr, 1, 1, kIntrRows, sizeof kIntrRows / sizeof kIntrRows[0]};
