#include "platform/devices/framebuffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <new>

#include "platform/root.h"

namespace plat {
namespace {
struct Fb {
  std::mutex mu;
  uint32_t* pixels = nullptr;
  std::atomic<uint64_t>* frames = nullptr;  // mapped "<root>/dev/frames"
  bool framesTried = false;
};
Fb& F() {
  static Fb f;
  return f;
}
}  // namespace

uint32_t* FrameBufferMap() {
  Fb& f = F();
  std::lock_guard<std::mutex> lock(f.mu);
  if (f.pixels) return f.pixels;
  int fd = open(DevPath("fb0").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  if (ftruncate(fd, kScreenBytes) != 0) {
    close(fd);
    return nullptr;
  }
  void* p = mmap(nullptr, kScreenBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (p == MAP_FAILED) return nullptr;
  f.pixels = static_cast<uint32_t*>(p);
  return f.pixels;
}

void FrameBufferShown() {
  Fb& f = F();
  {
    std::lock_guard<std::mutex> lock(f.mu);
    if (!f.framesTried) {
      f.framesTried = true;
      const int fd = open(DevPath("frames").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
      if (fd >= 0 && ftruncate(fd, sizeof(uint64_t)) == 0) {
        void* p = mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (p != MAP_FAILED) f.frames = new (p) std::atomic<uint64_t>(0);
      }
      if (fd >= 0) close(fd);
    }
  }
  if (f.frames) f.frames->fetch_add(1, std::memory_order_relaxed);
}

void FrameBufferUnmap() {
  Fb& f = F();
  std::lock_guard<std::mutex> lock(f.mu);
  if (f.pixels) munmap(f.pixels, kScreenBytes);
  f.pixels = nullptr;
  if (f.frames) munmap(f.frames, sizeof(uint64_t));  // the next root counts its own
  f.frames = nullptr;
  f.framesTried = false;
}

}  // namespace plat
