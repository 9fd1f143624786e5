// The USBTMC device's start and its control endpoint: the gadget file system
// is mounted, the descriptors written, and the ep0 thread serves the bus
// events and the control requests (class requests of USBTMC and USB488, the
// string descriptors, configuration and interface). The host's selecting the
// configuration starts the bulk threads; deselecting it or unplugging stops
// them.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/devices/devices.h"
#include "platform/devices/gadget.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/usbtmc/usbtmc.h"
#include "remote/usbtmc/usbtmc_internal.h"

namespace {
constexpr int kEventsMax = 5;
constexpr int kEventWaitMs = 100;  // the ep0 thread looks at a stop request this often
constexpr int kEndpointOpenWaitMs = 1000;

// Control requests.
constexpr uint8_t kClassInterfaceIn = 0xA1, kClassEndpointIn = 0xA2;
constexpr uint8_t kStdDeviceIn = 0x80, kStdDeviceOut = 0x00, kStdInterfaceIn = 0x81, kStdInterfaceOut = 0x01;
enum : uint8_t {
  kInitiateAbortBulkOut = 1,
  kCheckAbortBulkOutStatus = 2,
  kInitiateAbortBulkIn = 3,
  kCheckAbortBulkInStatus = 4,
  kInitiateClear = 5,
  kCheckClearStatus = 6,
  kGetCapabilities = 7,
  kReadStatusByte = 128,
  kRenControl = 160,
  kGoToLocal = 161,
  kLocalLockout = 162,
};
constexpr uint8_t kGetDescriptor = 6, kSetConfiguration = 9, kGetInterface = 10, kSetInterface = 11;
constexpr uint8_t kDtString = 3;
constexpr uint16_t kLangEnUs = 0x0409;
constexpr uint8_t kStbMav = 0x10;  // status byte: message available

struct Device {
  std::atomic<int> ctlFd{-1};  // usb_tmc_fd
  std::atomic<bool> connected{false};
  std::atomic<bool> suspended{false};  // SuppendFlag
  // The bulk threads and the flag that ends them.
  std::thread source, sink;
  std::atomic<bool> ioStop{false};
  bool ioRunning = false;
};
Device& D() {
  static Device* d = new Device;  // the ep0 thread may still end at exit
  return *d;
}

const char* SpeedName(int speed) {
  switch (speed) {
    case plat::kUsbSpeedLow: return "low speed";
    case plat::kUsbSpeedFull: return "full speed";
    case plat::kUsbSpeedHigh: return "high speed";
    default: return "UNKNOWN speed";
  }
}


int mountGadgetfs() {
  plat::SleepMs(1);
  const int rc = plat::GadgetMount(plat::kGadgetMountPoint);
  plat::SleepMs(1);
  return rc;
}

int init_device() {
  if (!plat::GadgetFileExists(plat::kGadgetController)) {
    std::printf("?? don't recognize /dev/gadget %s device\n", "bulk");
    return -ENODEV;
  }
  const int fd = plat::GadgetOpen(plat::kGadgetController);
  if (fd < 0) {
    std::printf("%s: %s\n", plat::kGadgetController, std::strerror(-fd));
    return fd;
  }
  const std::string block = UsbTmcDescriptorBlock();
  const int n = plat::GadgetWrite(fd, block.data(), block.size());
  if (n < 0) {
    std::printf("write dev descriptors: %s\n", std::strerror(-n));
    plat::GadgetClose(fd);
    return n;
  }
  if (size_t(n) != block.size()) {
    std::printf("dev init, wrote %d expected %ld\n", n, long(block.size()));
    plat::GadgetClose(fd);
    return -EIO;
  }
  return fd;
}

void stop_io() {
  Device& d = D();
  std::printf("stop_io\n");
  if (!d.ioRunning) return;
  d.ioStop = true;
  UsbTmcBulkState& b = UsbTmcBulk();
  if (int fd = b.sourceFd.load(); fd >= 0) plat::GadgetShutdown(fd);
  if (int fd = b.sinkFd.load(); fd >= 0) plat::GadgetShutdown(fd);
  if (d.source.joinable()) d.source.join();
  if (d.sink.joinable()) d.sink.join();
  d.ioRunning = false;
}

void start_io() {
  Device& d = D();
  stop_io();
  std::printf("start_io\n");
  d.ioStop = false;
  // The bulk threads block no signal the program's own handlers expect.
  d.source = std::thread(simple_source_thread, plat::kGadgetEpIn, &d.ioStop);
  d.sink = std::thread(simple_sink_thread, plat::kGadgetEpOut, &d.ioStop);
  d.ioRunning = true;
  // The configuration is acknowledged once both endpoints are open, so the
  // host's first transfer finds them.
  UsbTmcBulkState& b = UsbTmcBulk();
  for (int i = 0; i < kEndpointOpenWaitMs && (b.sourceFd.load() < 0 || b.sinkFd.load() < 0); ++i) plat::SleepMs(1);
}

int Reply(int fd, const void* data, size_t len) {
  const int n = plat::GadgetWrite(fd, data, len);
  if (n < 0) std::printf("write ep0 reply: %s\n", std::strerror(-n));
  else if (size_t(n) != len) std::printf("short ep0 reply, %d\n", n);
  return n;
}

int ReplyBytes(int fd, std::initializer_list<uint8_t> bytes) {
  return Reply(fd, bytes.begin(), bytes.size());
}

void Stall(int fd, const plat::UsbSetupPacket& s) {
  const bool in = s.bRequestType & 0x80;
  if (plat::GadgetStall(fd, in) != 0) std::printf("can't stall ep0 for %02x.%02x\n", s.bRequestType, s.bRequest);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The class requests addressed to the bulk endpoints: aborts of a transfer.
void EndpointRequest(int fd, const plat::UsbSetupPacket& s) {
  UsbTmcBulkState& b = UsbTmcBulk();
  const int tag = s.wValue & 0xFF;
  switch (s.bRequest) {
    case kInitiateAbortBulkOut:
    case kInitiateAbortBulkIn: {
      const bool in = s.bRequest == kInitiateAbortBulkIn;
      int current = (in ? b.inTag : b.outTag).load();
      // A bulk-IN transfer the sink has queued whole is still in progress for
      // the host while its packets wait in the FIFO: the host read part of it.
      const bool queued = in && current == 0 && plat::GadgetFifoStatus(b.sourceFd.load()) > 0;
      if (queued) current = b.lastInTag.load();
      uint8_t status = kUsbTmcStatusFailed;
      if (current != 0 && current == tag) {
        if (queued) b.bytesIn = b.lastInBytes.load();
        (in ? b.abortIn : b.abortOut).store(tag);
        status = kUsbTmcStatusSuccess;
      } else if (current != 0) {
        status = kUsbTmcStatusNotInProgress;
      }
      ReplyBytes(fd, {status, uint8_t(current ? current : tag)});
      return;
    }
    case kCheckAbortBulkOutStatus:
    case kCheckAbortBulkInStatus: {
      const bool in = s.bRequest == kCheckAbortBulkInStatus;
      const bool pending = (in ? b.abortIn : b.abortOut).load() != 0;
      uint8_t r[8] = {pending ? kUsbTmcStatusPending : kUsbTmcStatusSuccess};
      if (in && pending && plat::GadgetFifoStatus(b.sourceFd.load()) > 0) r[1] = 1;  // bmAbortBulkIn: FIFO holds data
      Put32(r + 4, (in ? b.bytesIn : b.bytesOut).load());
      Reply(fd, r, sizeof(r));
      return;
    }
    default:
      std::printf("[usb-ERRO] l=%d,setup->bRequest=0x%x,unkown bRequest=0x%x\r\n", __LINE__, s.bRequest, s.bRequest);
      Stall(fd, s);
  }
}

// The class requests addressed to the interface.
void InterfaceRequest(int fd, const plat::UsbSetupPacket& s) {
  UsbTmcBulkState& b = UsbTmcBulk();
  switch (s.bRequest) {
    case kInitiateClear:
      b.clear = b.sinkFd.load() >= 0;  // the sink thread does the clearing
      b.abortIn = b.inTag.load();
      b.abortOut = b.outTag.load();
      ReplyBytes(fd, {kUsbTmcStatusSuccess});
      return;
    case kCheckClearStatus: {
      const bool pending = b.clear.load();
      // bmClear's BulkInFifoBytes: the host reads bulk-IN up to a short packet,
      // which lets a sink waiting to send an answer take the clear.
      const bool fifo = pending && plat::GadgetFifoStatus(b.sourceFd.load()) > 0;
      ReplyBytes(fd, {pending ? kUsbTmcStatusPending : kUsbTmcStatusSuccess, uint8_t(fifo ? 1 : 0)});
      return;
    }
    case kGetCapabilities: {
      const std::string caps = UsbTmcCapabilities();
      Reply(fd, caps.data(), caps.size() < s.wLength ? caps.size() : s.wLength);
      return;
    }
    case kReadStatusByte: {
      // No interrupt-IN endpoint: the status byte comes in the reply. MAV is
      // set as soon as the engine has stored the awaited answer, whatever
      // the sink is doing.
      const uint64_t awaited = b.awaited.load();
      const bool mav = b.answerReady.load() || (awaited != 0 && Scpi.AnswerStored(awaited));
      const uint8_t stb = mav ? kStbMav : 0;
      ReplyBytes(fd, {kUsbTmcStatusSuccess, uint8_t(s.wValue & 0x7F), stb});
      return;
    }
    case kRenControl:
    case kGoToLocal:
    case kLocalLockout:
      ReplyBytes(fd, {kUsbTmcStatusSuccess});
      return;
    default:
      std::printf("[usb-ERRO] l=%d,setup->bRequest=0x%x,unkown bRequest=0x%x\r\n", __LINE__, s.bRequest, s.bRequest);
      Stall(fd, s);
  }
}

void StringRequest(int fd, const plat::UsbSetupPacket& s) {
  std::printf("USB_DT_STRING\n");
  GetSerialNumber();
  const int index = s.wValue & 0xFF;
  if (index != 0 && s.wIndex != kLangEnUs) {
    Stall(fd, s);
    return;
  }
  uint8_t desc[256];
  const int len = UsbTmcStringDescriptor(index, desc);
  if (len < 0) {
    Stall(fd, s);
    return;
  }
  Reply(fd, desc, size_t(len) < s.wLength ? size_t(len) : s.wLength);
}

void Setup(int fd, const plat::UsbSetupPacket& s) {
  std::printf("event.u.setup.bRequestType: 0x%x\n", s.bRequestType);
  std::printf("event.u.setup.bRequest: 0x%x\n", s.bRequest);
  std::printf("event.u.setup.wValue: 0x%x\n", s.wValue);
  std::printf("event.u.setup.wIndex: 0x%x\n", s.wIndex);
  std::printf("event.u.setup.wLength: 0x%x\n", s.wLength);
  switch (s.bRequestType) {
    case kClassInterfaceIn:
      InterfaceRequest(fd, s);
      return;
    case kClassEndpointIn:
      EndpointRequest(fd, s);
      return;
    case kStdDeviceIn:
      if (s.bRequest == kGetDescriptor && s.wValue >> 8 == kDtString) StringRequest(fd, s);
      else Stall(fd, s);
      return;
    case kStdDeviceOut:
      if (s.bRequest != kSetConfiguration) break;
      if (s.wValue == 0) {
        stop_io();
      } else if (s.wValue == 1) {
        start_io();
      } else {
        std::printf("? illegal config\n");
        Stall(fd, s);
        return;
      }
      if (plat::GadgetAck(fd) != 0) std::printf("ack SET_CONFIGURATION\n");
      return;
    case kStdInterfaceIn:
      if (s.bRequest != kGetInterface) break;
      if (s.wIndex == 0 && s.wLength <= 1) ReplyBytes(fd, {0});
      else Stall(fd, s);
      return;
    case kStdInterfaceOut:
      if (s.bRequest != kSetInterface) break;
      if (s.wIndex != 0 || s.wValue != 0) {
        Stall(fd, s);
        return;
      }
      if (plat::GadgetClearHalt(UsbTmcBulk().sourceFd.load()) < 0) std::printf("reset source fd\n");
      if (plat::GadgetClearHalt(UsbTmcBulk().sinkFd.load()) < 0) std::printf("reset sink fd\n");
      if (plat::GadgetAck(fd) != 0) std::printf("ack SET_INTERFACE\n");
      return;
    default:
      break;
  }
  std::printf("[usb-ERRO] l=%d,unkown bRequest=0x%x\r\n", __LINE__, s.bRequest);
  Stall(fd, s);
}

void HandleEvent(int fd, int i, const plat::GadgetEvent& ev) {
  Device& d = D();
  UsbTmcBulkState& b = UsbTmcBulk();
  std::printf("event[%d].type: 0x%x\n", i, unsigned(ev.type));
  switch (ev.type) {
    case plat::GadgetEventType::kNop:
      return;
    case plat::GadgetEventType::kConnect:
      b.speed = ev.speed;
      b.suspendedSpeed = 0;
      std::printf("event[%d].u.speed: %s\n", i, SpeedName(ev.speed));
      d.connected = true;
      d.suspended = false;
      return;
    case plat::GadgetEventType::kDisconnect:
      std::printf("GADGETFS_DISCONNECT\n");
      b.speed = 0;
      b.suspendedSpeed = 0;
      stop_io();
      d.connected = false;
      return;
    case plat::GadgetEventType::kSuspend:
      if (const int was = b.speed.exchange(0)) b.suspendedSpeed = was;
      d.suspended = true;
      return;
    case plat::GadgetEventType::kSetup:
      UsbTmcResumed();
      Setup(fd, ev.setup);
      return;
  }
  std::printf("* unhandled event %d\n", int(ev.type));
}

void* ep0_thread(void*) {
  Device& d = D();
  const int fd = d.ctlFd.load();
  plat::GadgetEvent events[kEventsMax];
  while (!plat::StopRequested()) {
    const int n = plat::GadgetReadEvents(fd, events, kEventsMax, kEventWaitMs);
    if (n < 0) {
      std::printf("ep0 read after poll: %s\n", std::strerror(-n));
      break;
    }
    for (int i = 0; i < n; ++i) HandleEvent(fd, i, events[i]);
  }
  stop_io();
  close_fd(&d.ctlFd, true);
  return nullptr;
}
}  // namespace

UsbTmcBulkState& UsbTmcBulk() {
  static UsbTmcBulkState* s = new UsbTmcBulkState;
  return *s;
}

int usb_tmc_init() {
  Device& d = D();
  if (int rc = mountGadgetfs(); rc != 0) {
    std::printf("\n mount usb error,err=%d \n ", rc);
    return -1;
  }
  const int fd = init_device();
  if (fd < 0) {
    std::printf("\n init_device error,err=%d \n", fd);
    return -1;
  }
  d.ctlFd = fd;
  d.connected = false;
  d.suspended = false;
  if (int rc = plat::StartThread("ep0_thread", ep0_thread, nullptr); rc != 0) {
    std::printf("\n creat ep0_thread error,err=%d \n", rc);
    close_fd(&d.ctlFd, true);
    return -1;
  }
  return 0;
}

void UsbTmcInit() {
  if (int rc = usb_tmc_init(); rc != 0) std::printf("[usb-ERRO] l=%d,usb-tmc init error,retValue=%d\r\n", __LINE__, rc);
}

bool UsbTmcSuspended() { return D().suspended.load(); }

void UsbTmcResumed() {
  if (!D().suspended.exchange(false)) return;
  UsbTmcBulkState& b = UsbTmcBulk();
  const int was = b.suspendedSpeed.exchange(0);
  int none = 0;
  if (was != 0) b.speed.compare_exchange_strong(none, was);  // unless a connect set it meanwhile
}
bool UsbTmcConnected() { return D().connected.load(); }

int ep_config(const char* path, const char* who, uint8_t address) {
  const int fd = plat::GadgetOpen(path);
  if (fd < 0) {
    std::printf("%s open %s error %d (%s)\n", who, path, -fd, std::strerror(-fd));
    return fd;
  }
  const std::string block = UsbTmcEndpointBlock(address);
  const int n = plat::GadgetWrite(fd, block.data(), block.size());
  if (n < 0) {
    std::printf("%s config %s error %d (%s)\n", who, path, -n, std::strerror(-n));
    plat::GadgetClose(fd);
    return n;
  }
  return fd;
}

void close_fd(std::atomic<int>* fd, bool fromEp0) {
  const int h = fd->exchange(-1);
  if (h < 0) return;
  if (!fromEp0) {
    const int unclaimed = plat::GadgetFifoStatus(h);
    if (unclaimed > 0) {
      std::printf("fd %d, unclaimed = %d\n", h, unclaimed);
      if (plat::GadgetFifoFlush(h) < 0) std::printf("fifo flush\n");
    } else if (unclaimed < 0 && unclaimed != -ENODEV && unclaimed != -EOPNOTSUPP) {
      std::printf("get fifo status\n");
    }
  }
  plat::GadgetClose(h);
}
