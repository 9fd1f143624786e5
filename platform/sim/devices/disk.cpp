// The simulated board's stored-file writes. Two limits, either of which
// refuses a write as a full disk does (what fits is written, then ENOSPC):
// the room a test gives all disks (SimDiskRoom), and the free space the USB
// disk reports ("<root>/dev/udisk_free"), which the bytes written to the
// disk are taken from, as the disk fills. Files removed do not give their
// room back; a test sets the free space again.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "platform/devices/disk.h"
#include "platform/root.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/devices/usb.h"

namespace fs = std::filesystem;

namespace plat {
namespace {
std::atomic<long> g_room{-1};  // bytes the disks still take; -1 without limit
std::mutex g_usbFreeMu;        // one reader-and-writer of the free space at a time

// The USB disk's folder on the host, resolved as the kernel names open files.
std::string UsbHostDir() {
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(MapPath("/udisk"), ec);
  return ec ? std::string() : p.string() + "/";
}

bool InUsbDir(const std::string& hostPath) {
  const std::string disk = UsbHostDir();
  return !disk.empty() && hostPath.compare(0, disk.size(), disk) == 0;
}

bool FdOnUsbDisk(int fd) {
  char link[PATH_MAX];
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link - 1);
  return n > 0 && InUsbDir(std::string(link, size_t(n)));
}

// The free space the test set; -1 when it set none (the host's applies).
long long SetUsbFree() {
  std::ifstream f(DevPath("udisk_free"));
  long long fixed = -1;
  return f >> fixed && fixed >= 0 ? fixed : -1;
}

// Replaced whole, so that a reader never finds the file empty.
void PutUsbFree(long long bytes) {
  const std::string path = DevPath("udisk_free"), next = path + ".new";
  std::ofstream(next, std::ios::trunc) << bytes << "\n";
  std::rename(next.c_str(), path.c_str());
}

// Bytes of `n` the USB disk takes now, taken from its free space.
size_t TakeUsbRoom(size_t n) {
  const long long free = SetUsbFree();
  if (free < 0) return n;
  const size_t taken = std::min<unsigned long long>(n, static_cast<unsigned long long>(free));
  PutUsbFree(free - static_cast<long long>(taken));
  return taken;
}

bool WriteOut(int fd, const char* p, size_t left) {
  while (left > 0) {
    const ssize_t w = ::write(fd, p, left);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    left -= size_t(w);
  }
  return true;
}
}  // namespace

void SimDiskRoom(long bytes) { g_room = bytes; }

bool DiskWriteAll(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  size_t fits = n;
  const long room = g_room.load();
  if (room >= 0 && long(n) > room) fits = size_t(room);
  std::unique_lock<std::mutex> usb(g_usbFreeMu, std::defer_lock);
  if (FdOnUsbDisk(fd)) {
    usb.lock();
    fits = TakeUsbRoom(fits);
  }
  if (!WriteOut(fd, p, fits)) return false;
  if (room >= 0) g_room = std::max(0L, room - long(fits));
  if (fits < n) {
    errno = ENOSPC;
    return false;
  }
  return true;
}

bool DiskKeptWhole(const std::string& hostPath) {
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(hostPath, ec);
  if (ec || !InUsbDir(p.string())) return true;
  const auto size = fs::file_size(p, ec);
  if (ec) return false;
  std::lock_guard<std::mutex> usb(g_usbFreeMu);
  const size_t kept = TakeUsbRoom(size_t(size));
  if (kept == size) return true;
  // The write that crossed the free space left the file cut there.
  fs::resize_file(p, kept, ec);
  errno = ENOSPC;
  return false;
}

}  // namespace plat
