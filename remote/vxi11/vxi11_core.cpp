// The VXI-11 core, abort and interrupt channels: the procedures decode their
// argument records and hand the link operations (remote/vxi11/vxi11_link.cpp) what
// they need.
#include <cstdio>
#include <string>

#include "remote/vxi11/vxi11_link.h"
#include "remote/vxi11/vxi11_rpc.h"

namespace {
constexpr uint32_t kMaxDeviceName = 256, kMaxHandle = 40;
constexpr uint32_t kErrNone = 0, kErrInvalidLink = 4;

bool Error(XdrWriter& w, uint32_t error) {
  w.U32(error);
  return true;
}

uint32_t LinkError(bool known) { return known ? kErrNone : kErrInvalidLink; }

bool CreateLink(XdrReader& a, XdrWriter& w, const RpcContext& ctx) {
  uint32_t clientId = 0, lockDevice = 0, lockTimeout = 0;
  std::string device;
  if (!a.U32(&clientId) || !a.U32(&lockDevice) || !a.U32(&lockTimeout) || !a.Opaque(&device, kMaxDeviceName))
    return false;
  Vxi11LinkCreate(device, ctx, w);
  return true;
}

bool DeviceWrite(XdrReader& a, XdrWriter& w, const RpcContext& ctx) {
  uint32_t lid = 0, ioTimeout = 0, lockTimeout = 0, flags = 0;
  std::string data;
  if (!a.U32(&lid) || !a.U32(&ioTimeout) || !a.U32(&lockTimeout) || !a.U32(&flags) ||
      !a.Opaque(&data, uint32_t(kRpcMaxRecord)))
    return false;
  Vxi11LinkWrite(lid, ioTimeout, flags, data, ctx, w);
  return true;
}

bool DeviceRead(XdrReader& a, XdrWriter& w, const RpcContext& ctx) {
  uint32_t lid = 0, lockTimeout = 0;
  Vxi11ReadArgs args = {};
  if (!a.U32(&lid) || !a.U32(&args.requestSize) || !a.U32(&args.ioTimeout) || !a.U32(&lockTimeout) ||
      !a.U32(&args.flags) || !a.U32(&args.termChar))
    return false;
  Vxi11LinkRead(lid, args, ctx, w);
  return true;
}

bool LinkOnly(XdrReader& a, XdrWriter& w, uint32_t* lid) {
  if (!a.U32(lid)) return false;
  return Error(w, LinkError(Vxi11LinkExists(*lid)));
}

// device_trigger, device_remote, device_local: nothing to do.
bool Generic(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0;
  return LinkOnly(a, w, &lid) && a.Skip(3);
}

bool ReadStb(XdrReader& a, XdrWriter& w, const RpcContext& ctx) {
  if (!Generic(a, w, ctx)) return false;
  w.U32(0);  // status byte
  return true;
}

bool Clear(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0;
  if (!a.U32(&lid) || !a.Skip(3)) return false;
  return Error(w, LinkError(Vxi11LinkClear(lid)));
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
         Error(w, LinkError(Vxi11LinkExists(lid)));
}

bool Docmd(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0;
  std::string in;
  if (!a.U32(&lid) || !a.Skip(6) || !a.Opaque(&in, uint32_t(kRpcMaxRecord))) return false;
  Error(w, LinkError(Vxi11LinkExists(lid)));
  w.U32(0);  // no data out
  return true;
}

bool DestroyLink(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0;
  if (!a.U32(&lid)) return false;
  std::printf("link disconnect\n");
  return Error(w, LinkError(Vxi11LinkDestroy(lid)));
}

bool CreateIntrChan(XdrReader& a, XdrWriter& w, const RpcContext&) { return a.Skip(5) && Error(w, kErrNone); }
bool DestroyIntrChan(XdrReader&, XdrWriter& w, const RpcContext&) { return Error(w, kErrNone); }

bool DeviceAbort(XdrReader& a, XdrWriter& w, const RpcContext&) {
  uint32_t lid = 0;
  if (!a.U32(&lid)) return false;
  std::printf("device_abort_1_svc : ... \n");
  return Error(w, LinkError(Vxi11LinkAbort(lid)));
}

bool IntrSrq(XdrReader& a, XdrWriter&, const RpcContext&) {
  std::string handle;
  return a.Opaque(&handle, kMaxHandle);
}

const RpcProcRow kCoreRows[] = {
    {10, CreateLink}, {11, DeviceWrite}, {12, DeviceRead},  {13, ReadStb},        {14, Generic},
    {15, Clear},      {16, Generic},     {17, Generic},     {18, Lock},           {19, Unlock},
    {20, EnableSrq},  {22, Docmd},       {23, DestroyLink}, {25, CreateIntrChan}, {26, DestroyIntrChan},
};
const RpcProcRow kAbortRows[] = {{1, DeviceAbort}};
const RpcProcRow kIntrRows[] = {{30, IntrSrq}};
}  // namespace

const RpcProgram kVxiCore = {kDeviceCore, 1, 1, kCoreRows, sizeof kCoreRows / sizeof kCoreRows[0]};
const RpcProgram kVxiAbort = {kDeviceAsync, 1, 1, kAbortRows, sizeof kAbortRows / sizeof kAbortRows[0]};
const RpcProgram kVxiIntr = {kDeviceIntr, 1, 1, kIntrRows, sizeof kIntrRows / sizeof kIntrRows[0]};
