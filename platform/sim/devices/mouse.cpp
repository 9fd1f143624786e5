#include "platform/devices/mouse.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/root.h"

namespace plat {
namespace {
std::string MouseDevice() { return DevPath("mouse"); }
}  // namespace

bool MousePresent() {
  std::error_code ec;
  return std::filesystem::exists(MouseDevice(), ec);
}

int MouseOpen() { return open(MouseDevice().c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC); }

int MouseRead(int fd, void* buf, size_t max) {
  if (fd < 0 || !buf) return -1;
  ssize_t n = read(fd, buf, max);
  if (n >= 0) return int(n);
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

void MouseClose(int fd) {
  if (fd >= 0) close(fd);
}

void SimMousePlug(bool present) {
  std::error_code ec;
  if (present) {
    if (!MousePresent()) mkfifo(MouseDevice().c_str(), 0666);
  } else {
    std::filesystem::remove_all(MouseDevice(), ec);
  }
}

bool SimMouseSend(const void* records, size_t bytes) {
  int fd = open(MouseDevice().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ssize_t n = write(fd, records, bytes);
  close(fd);
  return n == ssize_t(bytes);
}

}  // namespace plat
