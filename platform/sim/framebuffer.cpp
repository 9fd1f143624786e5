#include "platform/framebuffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <mutex>

#include "platform/root.h"

namespace plat {
namespace {
struct Fb {
  std::mutex mu;
  uint32_t* pixels = nullptr;
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

void FrameBufferUnmap() {
  Fb& f = F();
  std::lock_guard<std::mutex> lock(f.mu);
  if (f.pixels) munmap(f.pixels, kScreenBytes);
  f.pixels = nullptr;
}

}  // namespace plat
