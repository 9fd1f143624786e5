#include "platform/devices/panel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <mutex>

#include "platform/clock.h"
#include "platform/root.h"
#include "platform/sim/devices/sim_controls.h"

namespace plat {
namespace {
struct Port {
  std::mutex mu;
  std::deque<uint8_t> bytes;
  int fifo = -1;
  // The idle main loop sleeps in poll() on the key FIFO and `event`; a
  // wake-up writes the event only while it sleeps, so the main loop's own
  // calls cost no system call.
  int event = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  std::atomic<bool> wake{false};
  std::atomic<bool> sleeping{false};
};
thread_local bool t_idleWaiter = false;  // this thread waits in IdleWait

Port& P() {
  static Port p;  // built on first use: the keyboard opens the port statically
  return p;
}
}  // namespace

namespace {
// The FIFO is opened on first use once the root is known (the keyboard object
// opens its port during static initialisation, before the root is chosen).
void OpenFifo() {
  if (P().fifo >= 0 || RootDir().empty()) return;
  std::string path = DevPath("keys");
  struct stat st;
  if (stat(path.c_str(), &st) != 0) mkfifo(path.c_str(), 0666);
  // Read-write so the FIFO stays open between writers.
  P().fifo = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}
}  // namespace

int PanelOpen(const char*) { return 1; }

int PanelRead(int handle, uint8_t* buf, int max) {
  if (handle <= 0 || !buf || max <= 0) return -1;
  std::lock_guard<std::mutex> lock(P().mu);
  OpenFifo();
  int n = 0;
  while (n < max && !P().bytes.empty()) {
    buf[n++] = P().bytes.front();
    P().bytes.pop_front();
  }
  if (n < max && P().fifo >= 0) {
    ssize_t r = read(P().fifo, buf + n, size_t(max - n));
    if (r > 0) n += int(r);
  }
  return n;
}

void IdleWait(int ms) {
  if (SleepIsVirtual()) {
    SleepMs(ms);
    return;
  }
  t_idleWaiter = true;
  Port& p = P();
  int fifo;
  {
    std::lock_guard<std::mutex> lock(p.mu);
    OpenFifo();
    fifo = p.fifo;
    if (!p.bytes.empty()) return;
  }
  p.sleeping.store(true);
  if (!p.wake.exchange(false)) {
    struct pollfd fds[2] = {{p.event, POLLIN, 0}, {fifo, POLLIN, 0}};
    poll(fds, fifo >= 0 ? 2 : 1, ms);
  }
  p.sleeping.store(false);
  p.wake.store(false);
  uint64_t count;
  if (read(p.event, &count, sizeof(count)) < 0) {
    // nothing was written: a time-out or a key byte
  }
}

void WakeIdle() {
  Port& p = P();
  p.wake.store(true);
  if (p.sleeping.load()) {
    const uint64_t one = 1;
    if (write(p.event, &one, sizeof(one)) < 0) {
      // the counter is full: the sleeper wakes all the same
    }
  }
}

void NotifyIdle() {
  if (!t_idleWaiter) WakeIdle();
}

void SimPanelSend(const uint8_t* bytes, int n) {
  {
    std::lock_guard<std::mutex> lock(P().mu);
    for (int i = 0; i < n; ++i) P().bytes.push_back(bytes[i]);
  }
  WakeIdle();
}

}  // namespace plat
