// The USB device port as a gadget: the gadget file system's mount, the
// controller's control file (descriptors, ep0 events, ep0 replies) and the
// endpoint files (bulk transfers, FIFO status). On the board these are the
// gadgetfs files; on the simulated board each file is a Unix socket under the
// root's "dev/gadget/" that a host-side program connects to (README, "USB").
//
// Handles are small integers (the file descriptor on the board); every call
// returns minus an errno value on failure.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// A control request as the host sent it (fields in host order).
struct UsbSetupPacket {
  uint8_t bRequestType = 0;
  uint8_t bRequest = 0;
  uint16_t wValue = 0;
  uint16_t wIndex = 0;
  uint16_t wLength = 0;
};

// The gadget file system's event kinds, numbered as the kernel does.
enum class GadgetEventType : uint8_t { kNop = 0, kConnect = 1, kDisconnect = 2, kSetup = 3, kSuspend = 4 };

// Bus speeds, numbered as the kernel does.
enum UsbSpeed : int { kUsbSpeedUnknown = 0, kUsbSpeedLow = 1, kUsbSpeedFull = 2, kUsbSpeedHigh = 3 };

struct GadgetEvent {
  GadgetEventType type = GadgetEventType::kNop;
  int speed = kUsbSpeedUnknown;  // kConnect
  UsbSetupPacket setup;          // kSetup
};

// Mounts the gadget file system at `mountPoint`, creating the folder when it
// is missing; -1 only when the folder cannot be made.
int GadgetMount(const char* mountPoint);
// True when the gadget file `path` exists (the controller's control file once
// mounted; an endpoint file once the descriptors are written).
bool GadgetFileExists(const char* path);

// Opens a gadget file for reading and writing.
int GadgetOpen(const char* path);
void GadgetClose(int handle);

// Writes `len` bytes: the descriptor block or an ep0 reply on the control
// file, the configuration block or one bulk-IN transfer on an endpoint file
// (a transfer of 0 bytes is a zero-length packet). Returns the bytes written.
int GadgetWrite(int handle, const void* data, size_t len);
// Reads one bulk-OUT transfer of at most `len` bytes from an endpoint file,
// waiting up to `timeoutMs` (-1: no limit; 0: only a transfer already
// there): the bytes read (0: a zero-length packet), -ETIMEDOUT, or -ESHUTDOWN
// once the handle was shut down. A read that timed out stays asked for: the
// transfer that then comes is the next call's, nothing is lost.
int GadgetRead(int handle, void* buf, size_t len, int timeoutMs);
// Wakes a reader or writer blocked on `handle` with -ESHUTDOWN, before it is
// closed from another thread.
void GadgetShutdown(int handle);

// Reads up to `max` events from the control file, waiting up to `timeoutMs`;
// the number read (0 on time-out).
int GadgetReadEvents(int handle, GadgetEvent* events, int max, int timeoutMs);
// Ends a control request with an empty status stage (the acknowledgement of
// an OUT request without data).
int GadgetAck(int handle);
// Stalls the control request being served (`in`: the request reads data).
// 0 when the stall was sent.
int GadgetStall(int handle, bool in);

// Bytes written to an endpoint that the host has not taken yet, and their
// removal; -EOPNOTSUPP where the endpoint cannot tell.
int GadgetFifoStatus(int handle);
int GadgetFifoFlush(int handle);
// Clears a halt of an endpoint (the host's SET_INTERFACE).
int GadgetClearHalt(int handle);

}  // namespace plat
