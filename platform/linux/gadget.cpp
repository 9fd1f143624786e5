// The USB device port on the board: gadgetfs. The control file delivers
// usb_gadgetfs_event records; a zero-length read or write on it acknowledges
// or stalls the request being served (the driver reports a stall it carried
// out as EL2HLT). Endpoint files take one transfer per read or write.
//
// gadgetfs endpoint files have no poll (it always says ready), so a read
// cannot wait with a time-out there. Each endpoint handle that is read gets
// a reader thread that makes the blocking read() and hands the transfer
// over: a caller waits for it up to its time-out, the read itself stays
// queued for the next call (no request is cancelled and no data is lost),
// and a shutdown wakes the caller at once. A read or write blocked in the
// driver is interrupted with kInterruptSignal (its handler does nothing and
// restarts nothing: the call returns EINTR, and gadgetfs takes the request
// back): writes by a shutdown, the reader thread when the handle is closed.
#include "platform/devices/gadget.h"

#include <fcntl.h>
#include <linux/usb/gadgetfs.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/linux_layer.h"
#include "platform/shell.h"

namespace plat {
namespace {
constexpr int kEventsMax = 8;
constexpr auto kInterruptRetry = std::chrono::milliseconds(10);  // until the blocked call has left

void NoAction(int) {}

// The handler that lets kInterruptSignal end a blocked call, installed once.
void InstallInterrupt() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction sa = {};
    sa.sa_handler = NoAction;  // no SA_RESTART: the blocked call returns EINTR
    sigemptyset(&sa.sa_mask);
    ::sigaction(kInterruptSignal, &sa, nullptr);
  });
}

// One gadget handle's blocking calls.
struct Handle {
  int fd = -1;
  std::mutex mu;
  std::condition_variable cv;
  bool shut = false;     // GadgetShutdown: callers give up
  bool closing = false;  // GadgetClose: the reader thread ends
  // The reader thread and the transfer it reads.
  std::thread reader;
  pthread_t readerId{};
  bool inRead = false;
  bool wanted = false;  // a caller asked for a transfer
  size_t want = 0;
  bool ready = false;  // a transfer (or an error) is there
  int result = 0;
  std::vector<uint8_t> data;
  // Threads blocked in a write.
  std::vector<pthread_t> writers;
};

// Kept to the end of the process: a reader thread may still be blocked at exit.
std::mutex& g_handlesMu = *new std::mutex;
std::map<int, std::shared_ptr<Handle>>& g_handles = *new std::map<int, std::shared_ptr<Handle>>;

std::shared_ptr<Handle> Find(int handle) {
  std::lock_guard<std::mutex> lock(g_handlesMu);
  auto it = g_handles.find(handle);
  return it == g_handles.end() ? nullptr : it->second;
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

void ReaderBody(Handle* h) {
  std::vector<uint8_t> buf;
  std::unique_lock<std::mutex> lock(h->mu);
  for (;;) {
    h->cv.wait(lock, [h] { return h->closing || (h->wanted && !h->ready); });
    if (h->closing) break;
    buf.resize(h->want);
    h->inRead = true;
    lock.unlock();
    const ssize_t n = ::read(h->fd, buf.data(), buf.size());
    const int err = errno;
    lock.lock();
    h->inRead = false;
    if (n < 0 && err == EINTR) continue;  // interrupted: asked again unless closing
    h->result = n < 0 ? -err : int(n);
    h->data.assign(buf.begin(), buf.begin() + (n > 0 ? n : 0));
    h->ready = true;
    h->wanted = false;
    h->cv.notify_all();
  }
}

// Interrupts `thread` until `blocked` no longer holds (the lock is held).
template <class Pred>
void Interrupt(std::unique_lock<std::mutex>& lock, Handle& h, pthread_t thread, Pred blocked) {
  while (blocked()) {
    ::pthread_kill(thread, kInterruptSignal);
    h.cv.wait_for(lock, kInterruptRetry);
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
  InstallInterrupt();
  auto h = std::make_shared<Handle>();
  h->fd = fd;
  std::lock_guard<std::mutex> lock(g_handlesMu);
  g_handles[fd] = h;
  return fd;
}

void GadgetClose(int handle) {
  if (handle < 0) return;
  std::shared_ptr<Handle> h;
  {
    std::lock_guard<std::mutex> lock(g_handlesMu);
    auto it = g_handles.find(handle);
    if (it != g_handles.end()) {
      h = it->second;
      g_handles.erase(it);
    }
  }
  if (h) {
    std::unique_lock<std::mutex> lock(h->mu);
    h->shut = h->closing = true;
    h->cv.notify_all();
    if (h->reader.joinable()) {
      Interrupt(lock, *h, h->readerId, [&] { return h->inRead; });
      lock.unlock();
      h->reader.join();
    }
  }
  ::close(handle);
}

void GadgetShutdown(int handle) {
  auto h = Find(handle);
  if (!h) return;
  std::unique_lock<std::mutex> lock(h->mu);
  h->shut = true;
  h->cv.notify_all();  // readers waiting for a transfer give up at once
  for (pthread_t w : std::vector<pthread_t>(h->writers))
    Interrupt(lock, *h, w, [&] {
      for (pthread_t x : h->writers)
        if (::pthread_equal(x, w)) return true;
      return false;
    });
}

int GadgetWrite(int handle, const void* data, size_t len) {
  auto h = Find(handle);
  if (!h) return -EBADF;
  const pthread_t self = ::pthread_self();
  {
    std::lock_guard<std::mutex> lock(h->mu);
    if (h->shut) return -ESHUTDOWN;
    h->writers.push_back(self);
  }
  ssize_t n;
  int err = 0;
  for (;;) {
    n = ::write(handle, data, len);
    err = errno;
    if (n >= 0 || err != EINTR) break;
    std::lock_guard<std::mutex> lock(h->mu);
    if (h->shut) break;
  }
  std::lock_guard<std::mutex> lock(h->mu);
  for (auto it = h->writers.begin(); it != h->writers.end(); ++it)
    if (::pthread_equal(*it, self)) {
      h->writers.erase(it);
      break;
    }
  h->cv.notify_all();
  if (n < 0) return err == EINTR ? -ESHUTDOWN : -err;
  return int(n);
}

int GadgetRead(int handle, void* buf, size_t len, int timeoutMs) {
  auto h = Find(handle);
  if (!h) return -EBADF;
  std::unique_lock<std::mutex> lock(h->mu);
  if (h->shut) return -ESHUTDOWN;
  if (!h->reader.joinable()) {
    h->reader = std::thread(ReaderBody, h.get());
    h->readerId = h->reader.native_handle();
  }
  if (!h->ready && !h->wanted) {
    h->wanted = true;
    h->want = len;
    h->cv.notify_all();
  }
  auto done = [&] { return h->ready || h->shut; };
  if (timeoutMs < 0)
    h->cv.wait(lock, done);
  else
    h->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
  if (h->shut) return -ESHUTDOWN;
  if (!h->ready) return -ETIMEDOUT;
  // The transfer, or as much as fits; the rest waits for the next call.
  const int result = h->result;
  if (result <= 0) {
    h->ready = false;
    return result;
  }
  const size_t n = h->data.size() < len ? h->data.size() : len;
  std::memcpy(buf, h->data.data(), n);
  h->data.erase(h->data.begin(), h->data.begin() + long(n));
  h->result = int(h->data.size());
  h->ready = !h->data.empty();
  return int(n);
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
