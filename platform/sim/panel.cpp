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

namespace plat {
namespace {
std::mutex g_mu;
std::condition_variable g_cv;
std::deque<uint8_t> g_bytes;
bool g_wake = false;
int g_fifo = -1;
}  // namespace

int PanelOpen(const char*) {
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_fifo < 0) {
    std::string path = DevPath("keys");
    struct stat st;
    if (stat(path.c_str(), &st) != 0) mkfifo(path.c_str(), 0666);
    // Read-write so the FIFO stays open between writers.
    g_fifo = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }
  return 1;
}

int PanelRead(int handle, uint8_t* buf, int max) {
  if (handle <= 0 || !buf || max <= 0) return -1;
  std::lock_guard<std::mutex> lock(g_mu);
  int n = 0;
  while (n < max && !g_bytes.empty()) {
    buf[n++] = g_bytes.front();
    g_bytes.pop_front();
  }
  if (n < max && g_fifo >= 0) {
    ssize_t r = read(g_fifo, buf + n, size_t(max - n));
    if (r > 0) n += int(r);
  }
  return n;
}

void IdleWait(int ms) {
  if (VirtualClock()) {
    SleepMs(ms);
    return;
  }
  std::unique_lock<std::mutex> lock(g_mu);
  if (g_wake || !g_bytes.empty()) {
    g_wake = false;
    return;
  }
  if (g_fifo >= 0) {
    int fd = g_fifo;
    lock.unlock();
    struct pollfd p{fd, POLLIN, 0};
    poll(&p, 1, ms);
    lock.lock();
  } else {
    g_cv.wait_for(lock, std::chrono::milliseconds(ms));
  }
  g_wake = false;
}

void WakeIdle() {
  {
    std::lock_guard<std::mutex> lock(g_mu);
    g_wake = true;
  }
  g_cv.notify_all();
}

void SimPanelSend(const uint8_t* bytes, int n) {
  {
    std::lock_guard<std::mutex> lock(g_mu);
    for (int i = 0; i < n; ++i) g_bytes.push_back(bytes[i]);
  }
  g_cv.notify_all();
}

}  // namespace plat
