// The board's simple devices: stored-file writes, the front-panel UART, the frame buffer, the
// EEPROM's I2C bus, the temperature sensor, the backlight, the GPIO blocks
// through /dev/mem and the soft power button.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/devices/backlight.h"
#include "platform/devices/disk.h"
#include "platform/devices/framebuffer.h"
#include "platform/devices/gpio.h"
#include "platform/devices/i2c.h"
#include "platform/linux/linux_layer.h"
#include "platform/devices/panel.h"
#include "platform/devices/power.h"
#include "platform/devices/temperature.h"

namespace plat {
namespace {
constexpr const char* kFrameBufferDevice = "/dev/fb0";
constexpr const char* kMemDevice = "/dev/mem";
constexpr const char* kBacklightFile = "/sys/class/backlight/backlight/brightness";
constexpr uint32_t kGpio1Base = 0x0209C000;  // the soft power button's block
constexpr size_t kGpioBlockBytes = 4096;
constexpr uint32_t kGpioDr = 0x00, kGpioGdir = 0x04, kGpioPsr = 0x08;
constexpr int kPowerOutLine = 2, kPowerButtonLine = 3;

int g_panel = -1;
int g_wakePipe[2] = {-1, -1};
uint32_t* g_fb = nullptr;
int g_fbFd = -1;
int g_backlight = -1;
int g_powerMem = -1;
GpioBlock* g_power = nullptr;

bool WakePipe() {
  if (g_wakePipe[0] >= 0) return true;
  return ::pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) == 0;
}
}  // namespace

struct GpioBlock {
  volatile uint32_t* regs;
  size_t length;
};

// ---- stored files ----

bool DiskWriteAll(int fd, const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
  }
  return true;
}

bool DiskKeptWhole(const std::string& hostPath) {
  // The writer does not say whether every write went out; a disk left with
  // no free block refused some.
  const size_t slash = hostPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : hostPath.substr(0, slash + 1);
  struct statvfs st {};
  if (::statvfs(folder.c_str(), &st) != 0 || st.f_bavail > 0) return true;
  errno = ENOSPC;
  return false;
}

// ---- front panel: 115200 baud, raw 8N1, non-blocking ----

int PanelOpen(const char* device) {
  const int fd = OpenDevice(device, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return -1;
  termios t = {};
  if (::tcgetattr(fd, &t) == 0) {
    ::cfmakeraw(&t);
    t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | CSTOPB)) | CS8 | CLOCAL | CREAD;
    ::cfsetispeed(&t, B115200);
    ::cfsetospeed(&t, B115200);
    ::tcsetattr(fd, TCSANOW, &t);
  }
  g_panel = fd;
  return fd;
}

int PanelRead(int handle, uint8_t* buf, int max) {
  if (handle < 0 || !buf || max <= 0) return -1;
  const ssize_t n = ::read(handle, buf, size_t(max));
  return n > 0 ? int(n) : 0;
}

namespace {
thread_local bool t_idleWaiter = false;  // this thread waits in IdleWait
}  // namespace

void IdleWait(int ms) {
  t_idleWaiter = true;
  WakePipe();
  pollfd p[2] = {{g_panel, POLLIN, 0}, {g_wakePipe[0], POLLIN, 0}};
  if (::poll(p, 2, ms) > 0 && (p[1].revents & POLLIN)) {
    char drain[64];
    while (::read(g_wakePipe[0], drain, sizeof(drain)) > 0) {
    }
  }
}

void WakeIdle() {
  if (!WakePipe()) return;
  const char one = 1;
  [[maybe_unused]] ssize_t n = ::write(g_wakePipe[1], &one, 1);
}

void NotifyIdle() {
  if (!t_idleWaiter) WakeIdle();
}

// ---- frame buffer ----

uint32_t* FrameBufferMap() {
  if (g_fb) return g_fb;
  g_fbFd = OpenDevice(kFrameBufferDevice, O_RDWR);
  if (g_fbFd < 0) return nullptr;
  void* p = ::mmap(nullptr, size_t(kScreenBytes), PROT_READ | PROT_WRITE, MAP_SHARED, g_fbFd, 0);
  if (p == MAP_FAILED) {
    ::close(g_fbFd);
    g_fbFd = -1;
    return nullptr;
  }
  g_fb = static_cast<uint32_t*>(p);
  return g_fb;
}

void FrameBufferShown() {}

void FrameBufferUnmap() {
  if (g_fb) ::munmap(g_fb, size_t(kScreenBytes));
  if (g_fbFd >= 0) ::close(g_fbFd);
  g_fb = nullptr;
  g_fbFd = -1;
}

// ---- EEPROM bus ----

// Descriptors are handles as they are: 0 is a valid one (platform/devices/fpga.h).
int I2cOpen(const char* device) {
  const int fd = OpenDevice(device, O_RDWR);
  return fd >= 0 ? fd : -1;
}

void I2cClose(int handle) {
  if (handle >= 0) ::close(handle);
}

bool I2cTransfer(int handle, uint8_t device, const uint8_t* wr, int nw, uint8_t* rd, int nr) {
  if (handle < 0 || (nw <= 0 && nr <= 0) || (nw > 0 && !wr) || (nr > 0 && !rd)) return false;
  I2cTransferMsgs t;
  MakeI2cTransfer(device, wr, nw, rd, nr, &t);
  return ::ioctl(handle, I2C_RDWR, &t.data) >= 0;
}

// ---- temperature sensor ----

int TempSensorOpen(const char* device) {
  const int fd = OpenDevice(device, O_RDWR);
  return fd >= 0 ? fd : -1;
}

void TempSensorClose(int handle) {
  if (handle >= 0) ::close(handle);
}

int TempSensorRead(int handle, uint8_t* out, int n) {
  if (handle < 0 || !out || n <= 0) return -1;
  const ssize_t r = ::read(handle, out, size_t(n));
  return r < 0 ? -1 : int(r);
}

// ---- backlight ----

bool SetBacklight(int level) {
  std::ofstream f(kBacklightFile);
  if (!(f << level << "\n")) return false;
  g_backlight = level;
  return true;
}

int Backlight() { return g_backlight; }

// ---- GPIO blocks through physical memory ----

int MemOpen() { return OpenDevice(kMemDevice, O_RDWR | O_SYNC); }

void MemClose(int mem) {
  if (mem >= 0) ::close(mem);
}

GpioBlock* GpioMap(int mem, uint32_t physBase, size_t length) {
  if (mem < 0 || length == 0 || length > kGpioBlockBytes) return nullptr;
  void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, mem, off_t(physBase));
  if (p == MAP_FAILED) return nullptr;
  return new GpioBlock{static_cast<volatile uint32_t*>(p), length};
}

void GpioUnmap(GpioBlock* block) {
  if (!block) return;
  ::munmap(const_cast<uint32_t*>(block->regs), block->length);
  delete block;
}

uint32_t GpioRead(GpioBlock* block, uint32_t offset) {
  if (!block || offset % 4 != 0 || offset + 4 > block->length) return 0;
  return block->regs[offset / 4];
}

void GpioWrite(GpioBlock* block, uint32_t offset, uint32_t value) {
  if (!block || offset % 4 != 0 || offset + 4 > block->length) return;
  block->regs[offset / 4] = value;
}

// ---- soft power button: GPIO1 line 3, line 2 an output ----

bool PowerButtonOpen() {
  if (g_power) return true;
  g_powerMem = MemOpen();
  if (g_powerMem < 0) return false;
  g_power = GpioMap(g_powerMem, kGpio1Base, kGpioBlockBytes);
  if (!g_power) return false;
  uint32_t dir = GpioRead(g_power, kGpioGdir);
  dir |= 1u << kPowerOutLine;
  dir &= ~(1u << kPowerButtonLine);
  GpioWrite(g_power, kGpioGdir, dir);
  (void)kGpioDr;
  return true;
}

int PowerButtonLevel() {
  if (!g_power) return 1;
  return (GpioRead(g_power, kGpioPsr) >> kPowerButtonLine) & 1;
}

}  // namespace plat
