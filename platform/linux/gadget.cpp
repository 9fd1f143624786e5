// The USB device port on the board: gadgetfs. The control file delivers
// usb_gadgetfs_event records; a zero-length read or write on it acknowledges
// or stalls the request being served (the driver reports a stall it carried
// out as EL2HLT). Endpoint files take one transfer per read or write.
#include "platform/gadget.h"

#include <fcntl.h>
#include <linux/usb/gadgetfs.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>
#include <string>

#include "platform/linux/linux_layer.h"
#include "platform/shell.h"

namespace plat {
namespace {
constexpr int kEventsMax = 8;

std::mutex g_shutMu;
std::set<int> g_shut;  // handles whose blocked callers are to give up

bool IsShut(int handle) {
  std::lock_guard<std::mutex> lock(g_shutMu);
  return g_shut.count(handle) > 0;
}

int Errno() { return -errno; }

// Waits up to `timeoutMs` (-1: no limit) for `events`: 1 ready, 0 on time-out, -errno.
int WaitFor(int handle, short events, int timeoutMs) {
  pollfd p{handle, events, 0};
  for (;;) {
    const int rc = ::poll(&p, 1, timeoutMs);
    if (rc >= 0) return rc;
    if (errno != EINTR) return Errno();
  }
}
}  // namespace

int GadgetMount(const char* mountPoint) {
  struct stat st = {};
  if (::stat(mountPoint, &st) != 0) {
    ShellSystem((std::string("mkdir ") + mountPoint).c_str());
    if (::stat(mountPoint, &st) != 0) return -1;
  }
  ShellSystem((std::string("mount -t gadgetfs gadgetfs ") + mountPoint).c_str());
  return 0;
}

bool GadgetFileExists(const char* path) { return path && ::access(path, F_OK) == 0; }

int GadgetOpen(const char* path) {
  const int fd = OpenDevice(path, O_RDWR);
  if (fd < 0) return Errno();
  std::lock_guard<std::mutex> lock(g_shutMu);
  g_shut.erase(fd);
  return fd;
}

void GadgetClose(int handle) {
  if (handle < 0) return;
  {
    std::lock_guard<std::mutex> lock(g_shutMu);
    g_shut.erase(handle);
  }
  ::close(handle);
}

void GadgetShutdown(int handle) {
  std::lock_guard<std::mutex> lock(g_shutMu);
  g_shut.insert(handle);
}

int GadgetWrite(int handle, const void* data, size_t len) {
  if (IsShut(handle)) return -ESHUTDOWN;
  const ssize_t n = ::write(handle, data, len);
  return n < 0 ? Errno() : int(n);
}

int GadgetRead(int handle, void* buf, size_t len, int timeoutMs) {
  if (IsShut(handle)) return -ESHUTDOWN;
  const int ready = WaitFor(handle, POLLIN, timeoutMs);
  if (ready < 0) return ready;
  if (ready == 0) return IsShut(handle) ? -ESHUTDOWN : -ETIMEDOUT;
  const ssize_t n = ::read(handle, buf, len);
  return n < 0 ? Errno() : int(n);
}

int GadgetReadEvents(int handle, GadgetEvent* events, int max, int timeoutMs) {
  if (max <= 0) return 0;
  const int ready = WaitFor(handle, POLLIN, timeoutMs);
  if (ready <= 0) return ready;
  usb_gadgetfs_event raw[kEventsMax];
  const size_t want = size_t(max < kEventsMax ? max : kEventsMax) * sizeof(raw[0]);
  const ssize_t n = ::read(handle, raw, want);
  if (n < 0) return errno == EAGAIN ? 0 : Errno();
  const int count = int(size_t(n) / sizeof(raw[0]));
  for (int i = 0; i < count; ++i) events[i] = DecodeGadgetEvent(raw[i]);
  return count;
}

int GadgetAck(int handle) {
  char none = 0;
  return ::read(handle, &none, 0) < 0 ? Errno() : 0;
}

int GadgetStall(int handle, bool in) {
  char none = 0;
  const ssize_t rc = in ? ::read(handle, &none, 0) : ::write(handle, &none, 0);
  if (rc < 0 && errno == EL2HLT) return 0;  // the driver stalled the request
  return rc < 0 ? Errno() : -EIO;
}

int GadgetFifoStatus(int handle) {
  const int rc = ::ioctl(handle, GADGETFS_FIFO_STATUS);
  return rc < 0 ? Errno() : rc;
}

int GadgetFifoFlush(int handle) { return ::ioctl(handle, GADGETFS_FIFO_FLUSH) < 0 ? Errno() : 0; }

int GadgetClearHalt(int handle) { return ::ioctl(handle, GADGETFS_CLEAR_HALT) < 0 ? Errno() : 0; }

}  // namespace plat
