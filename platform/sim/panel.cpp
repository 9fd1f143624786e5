#include "platform/panel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/clock.h"
#include "platform/root.h"
#include "platform/sim/sim_controls.h"

namespace plat {
namespace {
struct Port {
  std::mutex mu;
  std::condition_variable cv;
  std::deque<uint8_t> bytes;
  bool wake = false;
  int fifo = -1;
};
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
  std::unique_lock<std::mutex> lock(P().mu);
  if (P().wake || !P().bytes.empty()) {
    P().wake = false;
    return;
  }
  if (P().fifo >= 0) {
    int fd = P().fifo;
    lock.unlock();
    struct pollfd p{fd, POLLIN, 0};
    poll(&p, 1, ms);
    lock.lock();
  } else {
    P().cv.wait_for(lock, std::chrono::milliseconds(ms));
  }
  P().wake = false;
}

void WakeIdle() {
  {
    std::lock_guard<std::mutex> lock(P().mu);
    P().wake = true;
  }
  P().cv.notify_all();
}

void SimPanelSend(const uint8_t* bytes, int n) {
  {
    std::lock_guard<std::mutex> lock(P().mu);
    for (int i = 0; i < n; ++i) P().bytes.push_back(bytes[i]);
  }
  P().cv.notify_all();
}

}  // namespace plat
