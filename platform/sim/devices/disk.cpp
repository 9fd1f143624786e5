#include "platform/disk.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/sim/devices/sim_controls.h"

namespace plat {
namespace {
std::atomic<long> g_room{-1};  // bytes the disks still take; -1 without limit
}  // namespace

void SimDiskRoom(long bytes) { g_room = bytes; }

bool DiskWriteAll(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  size_t left = n;
  bool full = false;
  const long room = g_room.load();
  if (room >= 0 && long(n) > room) {
    left = size_t(room);
    full = true;
  }
  while (left > 0) {
    const ssize_t w = ::write(fd, p, left);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    left -= size_t(w);
  }
  if (room >= 0) g_room = full ? 0 : room - long(n);
  if (full) {
    errno = ENOSPC;
    return false;
  }
  return true;
}

}  // namespace plat
