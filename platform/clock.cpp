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
// Held (HoldVirtualClock), real time reads as the moment it was held.
std::atomic<bool> g_held{false};
std::atomic<int64_t> g_heldMonoUs{0};
std::atomic<int64_t> g_heldWallUs{0};

int64_t SteadyUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t HostWallUs() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  return int64_t(tv.tv_sec) * 1000000 + tv.tv_usec;
}

int64_t RealMonoUs() { return g_held.load() ? g_heldMonoUs.load() : SteadyUs(); }
int64_t RealWallUs() { return g_held.load() ? g_heldWallUs.load() : HostWallUs(); }
}  // namespace

int64_t MonoUs() { return RealMonoUs() + g_virtualOffset.load(); }

void WallTime(int32_t* sec, int32_t* usec) {
  int64_t us = RealWallUs() + g_virtualOffset.load() + g_wallOffset.load() * 1000000;
  if (sec) *sec = int32_t(us / 1000000);
  if (usec) *usec = int32_t(us % 1000000);
}

void SetWallTime(int64_t sec) {
  g_wallOffset = sec - RealWallUs() / 1000000 - g_virtualOffset.load() / 1000000;
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

void HoldVirtualClock(bool on) {
  if (on == g_held.load()) return;
  if (on) {
    g_heldMonoUs = SteadyUs();
    g_heldWallUs = HostWallUs();
    g_held = true;
  } else {
    // Released, it goes on from where it stood.
    g_virtualOffset += g_heldMonoUs.load() - SteadyUs();
    g_held = false;
  }
}

}  // namespace plat
