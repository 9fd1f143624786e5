// The FPGA transport on the board: control-word frames and register reads on
// the spidev device, block reads by selector, the mapped sample window, the
// reconfiguration block and SIGIO on the local-bus character device.
#include "platform/devices/fpga.h"

#include <fcntl.h>
#include <linux/spi/spidev.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "platform/linux/linux_layer.h"

namespace plat {
namespace {
int g_localBus = -1;
int g_spi = -1;
uint8_t* g_window = nullptr;
size_t g_windowLength = 0;
std::atomic<void (*)()> g_finished{nullptr};

void OnSigio(int) {
  if (auto handler = g_finished.load()) handler();
}
}  // namespace

int FpgaOpenLocalBus(const char* path) {
  g_localBus = OpenDevice(path, O_RDWR);
  return g_localBus;
}

int FpgaOpenSpi(const char* path) {
  g_spi = OpenDevice(path, O_RDWR);
  return g_spi;
}

void FpgaCloseSpi(int spi) {
  if (spi < 0) return;
  ::close(spi);
  if (spi == g_spi) g_spi = -1;
}

void FpgaClose() {
  if (g_window) ::munmap(g_window, g_windowLength);
  g_window = nullptr;
  FpgaCloseSpi(g_spi);
  if (g_localBus >= 0) ::close(g_localBus);
  g_localBus = -1;
}

SpiStep FpgaSpiConfigure(int spi, SpiSettings* s) {
  if (!s || spi < 0) return SpiStep::kGetMode;
  uint8_t mode = 0;
  if (::ioctl(spi, SPI_IOC_RD_MODE, &mode) < 0) return SpiStep::kGetMode;
  s->mode = mode;
  uint8_t bits = uint8_t(s->bits);
  if (::ioctl(spi, SPI_IOC_WR_BITS_PER_WORD, &bits) < 0) return SpiStep::kSetWriteBits;
  if (::ioctl(spi, SPI_IOC_RD_BITS_PER_WORD, &bits) < 0) return SpiStep::kSetReadBits;
  s->bits = bits;
  uint32_t speed = s->speedHz;
  if (::ioctl(spi, SPI_IOC_WR_MAX_SPEED_HZ, &speed) < 0) return SpiStep::kSetSpeed;
  if (::ioctl(spi, SPI_IOC_RD_MAX_SPEED_HZ, &speed) < 0) return SpiStep::kGetSpeed;
  s->speedHz = speed;
  return SpiStep::kOk;
}

bool FpgaSpiWrite(int spi, const uint8_t frame[4]) {
  return spi >= 0 && frame && ::write(spi, frame, kSpiFrameBytes) == ssize_t(kSpiFrameBytes);
}

bool FpgaSpiTransfer(int spi, const uint8_t tx[4], uint8_t rx[4]) {
  if (spi < 0 || !tx || !rx) return false;
  spi_ioc_transfer t = SpiFrameTransfer(tx, rx);
  return ::ioctl(spi, SPI_IOC_MESSAGE(1), &t) >= 0;
}

long FpgaLocalBusRead(int lb, uint32_t selector, uint8_t* dest, size_t length) {
  if (lb < 0 || !dest) return -1;
  LocalBusRequest req = MakeLocalBusRead(selector, dest, length);
  if (::read(lb, &req, sizeof(req)) < 0) return -1;
  return long(length);
}

bool FpgaLocalBusWrite(int lb, const uint32_t block[8]) {
  return lb >= 0 && block && ::write(lb, block, kLocalBusBlockBytes) == ssize_t(kLocalBusBlockBytes);
}

uint8_t* FpgaMapWindow(int lb, size_t length, size_t offset) {
  if (lb < 0) return nullptr;
  const size_t page = size_t(::sysconf(_SC_PAGESIZE));
  const size_t whole = length / page * page;  // whole pages only
  void* p = ::mmap(nullptr, whole, PROT_READ | PROT_WRITE, MAP_SHARED, lb, off_t(offset));
  if (p == MAP_FAILED) return nullptr;
  g_window = static_cast<uint8_t*>(p);
  g_windowLength = whole;
  return g_window;
}

bool FpgaSetFinishedHandler(int lb, void (*handler)()) {
  if (lb < 0) return false;
  g_finished = handler;
  struct sigaction sa = {};
  sa.sa_handler = OnSigio;
  sigemptyset(&sa.sa_mask);
  if (::sigaction(SIGIO, &sa, nullptr) < 0) return false;
  if (::fcntl(lb, F_SETOWN, ::getpid()) < 0) return false;
  const int flags = ::fcntl(lb, F_GETFL);
  return flags >= 0 && ::fcntl(lb, F_SETFL, flags | O_ASYNC) >= 0;
}

}  // namespace plat
