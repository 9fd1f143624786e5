#include "platform/devices/usb.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/clock.h"
#include "platform/root.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/thread.h"

namespace fs = std::filesystem;

namespace plat {
namespace {
std::atomic<int> g_lastPresent{-1};
// Changes in the root's folder (the disk's folder made or removed) end the
// wait for a hot-plug event; without them it looks every 10 ms.
int g_rootWatch = -1;
constexpr int kLookMs = 10;
constexpr uint32_t kRootChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

void WaitRootChange(int ms) {
  if (g_rootWatch < 0) {
    SleepOrStop(int64_t(std::min(ms, kLookMs)) * 1000);
    return;
  }
  struct pollfd p{g_rootWatch, POLLIN, 0};
  if (poll(&p, 1, ms) > 0) {
    char events[4096];
    while (read(g_rootWatch, events, sizeof events) > 0) {
    }
  }
}
}  // namespace

bool UsbDiskPresent() {
  std::error_code ec;
  return fs::is_directory(MapPath("/udisk"), ec);
}

std::string UsbDiskFileSystem() {
  std::ifstream f(DevPath("udisk_fs"));
  std::string t;
  if (f >> t && (t == "FAT16" || t == "FAT32")) return t;
  return "FAT32";
}

int64_t UsbDiskFreeBytes() {
  if (!UsbDiskPresent()) return -1;
  std::ifstream f(DevPath("udisk_free"));
  long long fixed = 0;
  if (f >> fixed && fixed >= 0) return fixed;
  struct statfs st{};
  if (statfs(MapPath("/udisk").c_str(), &st) != 0) return -1;
  return int64_t(st.f_bavail) * int64_t(st.f_bsize);
}

void SimUsbSetFree(int64_t bytes) {
  std::error_code ec;
  if (bytes < 0)
    fs::remove(DevPath("udisk_free"), ec);
  else
    std::ofstream(DevPath("udisk_free"), std::ios::trunc) << bytes << "\n";
}

bool UsbEventsOpen() {
  if (g_rootWatch < 0) {
    g_rootWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const std::string root = fs::path(MapPath("/udisk")).parent_path().string();
    if (g_rootWatch >= 0 && inotify_add_watch(g_rootWatch, root.c_str(), kRootChanges) < 0) {
      close(g_rootWatch);
      g_rootWatch = -1;
    }
  }
  g_lastPresent = UsbDiskPresent() ? 1 : 0;
  return true;
}

int UsbEventWait(int timeoutMs, char* buf, int max) {
  int64_t end = MonoUs() + int64_t(timeoutMs) * 1000;
  do {
    int now = UsbDiskPresent() ? 1 : 0;
    int was = g_lastPresent.exchange(now);
    if (was != now && was != -1) {
      const char* text = now ? "add@/devices/usb/1-1/sda" : "remove@/devices/usb/1-1/sda";
      int n = int(std::strlen(text));
      if (n > max) n = max;
      if (n > 0) std::memcpy(buf, text, size_t(n));
      return n;
    }
    if (StopRequested()) return -1;
    const int64_t left = end - MonoUs();
    if (left > 0) WaitRootChange(int((left + 999) / 1000));
  } while (MonoUs() < end);
  return 0;
}

void SimUsbPlug(bool present, const std::string& fileSystem) {
  std::error_code ec;
  if (present) {
    fs::create_directories(MapPath("/udisk"), ec);
    std::ofstream(DevPath("udisk_fs"), std::ios::trunc) << fileSystem << "\n";
  } else {
    fs::remove_all(MapPath("/udisk"), ec);
  }
}

}  // namespace plat
