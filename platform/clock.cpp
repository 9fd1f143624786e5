#include "platform/clock.h"

#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace plat {
namespace {
std::atomic<bool> g_virtual{false};
std::atomic<int64_t> g_virtualOffset{0};
std::atomic<int64_t> g_wallOffset{0};
std::thread::id g_driver;

int64_t RealMonoUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

int64_t MonoUs() { return RealMonoUs() + g_virtualOffset.load(); }

void WallTime(int32_t* sec, int32_t* usec) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  int64_t us = int64_t(tv.tv_sec) * 1000000 + tv.tv_usec + g_virtualOffset.load() +
               g_wallOffset.load() * 1000000;
  if (sec) *sec = int32_t(us / 1000000);
  if (usec) *usec = int32_t(us % 1000000);
}

void SetWallTime(int64_t sec) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  g_wallOffset = sec - tv.tv_sec - g_virtualOffset.load() / 1000000;
}

void SleepUs(int64_t us) {
  if (us <= 0) {
    std::this_thread::yield();
    return;
  }
  if (SleepIsVirtual()) {
    g_virtualOffset += us;
    return;
  }
  std::this_thread::sleep_for(std::chrono::microseconds(us));
}

void UseVirtualClock(bool on) {
  g_driver = std::this_thread::get_id();
  g_virtual = on;
}

bool VirtualClock() { return g_virtual.load(); }

bool SleepIsVirtual() { return g_virtual.load() && std::this_thread::get_id() == g_driver; }

void AdvanceUs(int64_t us) { g_virtualOffset += us; }

}  // namespace plat
