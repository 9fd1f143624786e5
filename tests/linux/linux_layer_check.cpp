// The board's device layer, checked where it can be without the board: the
// records it hands the drivers against the kernel headers' definitions and
// the board's 32-bit layouts, and devices that are missing failing cleanly.
// Only paths inside a fresh temporary folder are opened.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <linux/spi/spidev.h>
#include <linux/usb/gadgetfs.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/devices/fpga.h"
#include "platform/devices/gadget.h"
#include "platform/devices/i2c.h"
#include "platform/linux/linux_layer.h"
#include "platform/devices/panel.h"
#include "platform/devices/temperature.h"

// gadgetfs endpoint files have no poll: it says ready at once whatever the
// endpoint holds. The check's endpoint stand-ins (FIFOs) are made to behave
// so: poll on a descriptor in g_alwaysReady reports it readable and writable.
std::atomic<int> g_alwaysReady[4] = {{-1}, {-1}, {-1}, {-1}};

extern "C" int poll(struct pollfd* fds, nfds_t n, int timeoutMs) {
  int ready = 0;
  for (nfds_t i = 0; i < n; ++i)
    for (auto& fd : g_alwaysReady)
      if (fds[i].fd >= 0 && fds[i].fd == fd.load()) {
        fds[i].revents = short(fds[i].events & (POLLIN | POLLOUT));
        ++ready;
      }
  if (ready) return ready;
  timespec ts = {timeoutMs / 1000, long(timeoutMs % 1000) * 1000000L};
  return ::ppoll(fds, n, timeoutMs < 0 ? nullptr : &ts, nullptr);
}

namespace {
int g_failed = 0;

#define CHECK(cond)                                                   \
  do {                                                                \
    if (!(cond)) {                                                    \
      std::printf("FAIL %s:%d: %s\n", __FILE__, __LINE__, #cond);     \
      ++g_failed;                                                     \
    }                                                                 \
  } while (0)

// The board is 32-bit: the local-bus request is the eight 32-bit words the
// driver reads.
static_assert(sizeof(void*) != 4 || sizeof(plat::LocalBusRequest) == plat::kLocalBusBlockBytes,
              "local-bus request of 32 bytes on the board");
static_assert(sizeof(usb_gadgetfs_event) == 12, "gadgetfs events are 12 bytes");
static_assert(sizeof(spi_ioc_transfer) == 32, "spidev transfer record");

void SpiRecords() {
  const uint8_t tx[4] = {0x0C, 0x03, 0, 0};  // register 780
  uint8_t rx[4] = {};
  const spi_ioc_transfer t = plat::SpiFrameTransfer(tx, rx);
  CHECK(t.len == 4);
  CHECK(t.tx_buf == uint64_t(uintptr_t(tx)));
  CHECK(t.rx_buf == uint64_t(uintptr_t(rx)));
  CHECK(t.speed_hz == 0 && t.bits_per_word == 0 && t.delay_usecs == 0 && t.cs_change == 0);
  // The ioctl numbers the layer uses, as the kernel's _IOW/_IOR encoding gives them.
  CHECK(SPI_IOC_MESSAGE(1) == _IOW(SPI_IOC_MAGIC, 0, char[sizeof(spi_ioc_transfer)]));
  CHECK(SPI_IOC_RD_MODE == _IOR('k', 1, __u8));
  CHECK(SPI_IOC_WR_BITS_PER_WORD == _IOW('k', 3, __u8));
  CHECK(SPI_IOC_WR_MAX_SPEED_HZ == _IOW('k', 4, __u32));
}

void LocalBusRecord() {
  uint8_t dest[16];
  const plat::LocalBusRequest r = plat::MakeLocalBusRead(64, dest, sizeof(dest));
  uint32_t words[8];
  static_assert(sizeof(words) == plat::kLocalBusBlockBytes, "eight words");
  if (sizeof(void*) == 4) {
    std::memcpy(words, &r, sizeof(words));
    CHECK(words[0] == 1 && words[1] == 4 && words[2] == 0 && words[3] == 0);
    CHECK(words[4] == 64 && words[5] == 16 && words[6] == uint32_t(uintptr_t(dest)) && words[7] == 16);
  }
}

void I2cRecords() {
  const uint8_t address[1] = {0x10};
  uint8_t data[4] = {};
  plat::I2cTransferMsgs t;
  plat::MakeI2cTransfer(0x50, address, 1, data, 4, &t);
  CHECK(t.data.nmsgs == 2 && t.data.msgs == t.msgs);
  CHECK(t.msgs[0].addr == 0x50 && t.msgs[0].flags == 0 && t.msgs[0].len == 1);
  CHECK(t.msgs[1].addr == 0x50 && t.msgs[1].flags == I2C_M_RD && t.msgs[1].len == 4 && t.msgs[1].buf == data);
  plat::MakeI2cTransfer(0x51, address, 1, nullptr, 0, &t);  // a write alone
  CHECK(t.data.nmsgs == 1);
  CHECK(I2C_RDWR == 0x0707);
}

void GadgetEvents() {
  usb_gadgetfs_event e = {};
  e.type = GADGETFS_SETUP;
  e.u.setup.bRequestType = 0xA1;
  e.u.setup.bRequest = 7;
  e.u.setup.wValue = 0x0102;
  e.u.setup.wIndex = 0x0304;
  e.u.setup.wLength = 24;
  plat::GadgetEvent ev = plat::DecodeGadgetEvent(e);
  CHECK(ev.type == plat::GadgetEventType::kSetup);
  CHECK(ev.setup.bRequestType == 0xA1 && ev.setup.bRequest == 7);
  CHECK(ev.setup.wValue == 0x0102 && ev.setup.wIndex == 0x0304 && ev.setup.wLength == 24);
  e = {};
  e.type = GADGETFS_CONNECT;
  e.u.speed = USB_SPEED_HIGH;
  ev = plat::DecodeGadgetEvent(e);
  CHECK(ev.type == plat::GadgetEventType::kConnect && ev.speed == plat::kUsbSpeedHigh);
  e.type = GADGETFS_SUSPEND;
  CHECK(plat::DecodeGadgetEvent(e).type == plat::GadgetEventType::kSuspend);
  e.type = GADGETFS_DISCONNECT;
  CHECK(plat::DecodeGadgetEvent(e).type == plat::GadgetEventType::kDisconnect);
  // The layer's numbering is the kernel's.
  CHECK(int(plat::GadgetEventType::kConnect) == GADGETFS_CONNECT);
  CHECK(int(plat::GadgetEventType::kSetup) == GADGETFS_SETUP);
  CHECK(int(plat::kUsbSpeedHigh) == int(USB_SPEED_HIGH) && int(plat::kUsbSpeedFull) == int(USB_SPEED_FULL));
}

using Clock = std::chrono::steady_clock;
long MsSince(Clock::time_point t) {
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// An endpoint stand-in: a FIFO whose poll always says ready, opened as a
// gadget file. Reads time out and are shut down although poll lies; a
// transfer that comes after a time-out is the next read's; a write blocked
// in the driver ends on a shutdown; closing never hangs.
void EndpointReadsEnd(const std::string& dir) {
  const std::string path = dir + "/ep3out";
  if (mkfifo(path.c_str(), 0600) != 0) {
    CHECK(!"mkfifo");
    return;
  }
  const int h = plat::GadgetOpen(path.c_str());
  CHECK(h >= 0);
  if (h < 0) return;
  g_alwaysReady[0] = h;
  uint8_t buf[512];
  auto t = Clock::now();
  CHECK(plat::GadgetRead(h, buf, sizeof buf, 100) == -ETIMEDOUT);
  CHECK(MsSince(t) >= 90);
  // The host's transfer arrives after the time-out: the next read has it.
  const int host = open(path.c_str(), O_WRONLY | O_NONBLOCK);
  CHECK(host >= 0);
  CHECK(write(host, "*IDN?\n", 6) == 6);
  CHECK(plat::GadgetRead(h, buf, sizeof buf, 5000) == 6 && std::memcmp(buf, "*IDN?\n", 6) == 0);
  // A read without a time-out blocked in the driver ends when the handle is shut down.
  std::atomic<int> got{1};
  std::thread reader([&] { got = plat::GadgetRead(h, buf, sizeof buf, -1); });
  t = Clock::now();
  while (MsSince(t) < 200) std::this_thread::yield();  // the reader is waiting
  plat::GadgetShutdown(h);
  reader.join();
  CHECK(got == -ESHUTDOWN);
  CHECK(plat::GadgetRead(h, buf, sizeof buf, 5000) == -ESHUTDOWN);
  t = Clock::now();
  plat::GadgetClose(h);  // the reader thread blocked in read() ends
  CHECK(MsSince(t) < 5000);
  g_alwaysReady[0] = -1;
  close(host);

  // A bulk-IN write the host does not take blocks in the driver; a shutdown ends it.
  const std::string inPath = dir + "/ep1in";
  CHECK(mkfifo(inPath.c_str(), 0600) == 0);
  const int in = plat::GadgetOpen(inPath.c_str());
  CHECK(in >= 0);
  if (in < 0) return;
  g_alwaysReady[1] = in;
  const int fill = open(inPath.c_str(), O_WRONLY | O_NONBLOCK);
  char block[4096] = {};
  while (write(fill, block, sizeof block) > 0) {
  }
  std::atomic<int> wrote{1};
  std::thread writer([&] { wrote = plat::GadgetWrite(in, block, 512); });
  t = Clock::now();
  while (MsSince(t) < 200) std::this_thread::yield();
  plat::GadgetShutdown(in);
  writer.join();
  CHECK(wrote == -ESHUTDOWN);
  plat::GadgetClose(in);
  g_alwaysReady[1] = -1;
  close(fill);
  unlink(path.c_str());
  unlink(inPath.c_str());
}

// Descriptor 0 is a handle like any other: opened, used and closed.
void DescriptorZero(const std::string& dir) {
  const std::string path = dir + "/sensor";
  FILE* f = fopen(path.c_str(), "w");
  CHECK(f != nullptr);
  if (!f) return;
  fputs("\x12\x34", f);
  fclose(f);
  const int saved = dup(0);
  close(0);
  const int t = plat::TempSensorOpen(path.c_str());
  CHECK(t == 0);
  uint8_t raw[2] = {};
  CHECK(plat::TempSensorRead(t, raw, 2) == 2 && raw[0] == 0x12 && raw[1] == 0x34);
  plat::TempSensorClose(t);
  CHECK(fcntl(0, F_GETFD) == -1);  // closed, not leaked
  const int i2c = plat::I2cOpen(path.c_str());
  CHECK(i2c == 0);
  plat::I2cClose(i2c);
  CHECK(fcntl(0, F_GETFD) == -1);
  dup2(saved, 0);
  close(saved);
  unlink(path.c_str());
}

void MissingDevicesFailCleanly() {
  char dir[] = "/tmp/linux-layer-XXXXXX";
  if (!mkdtemp(dir)) {
    CHECK(!"mkdtemp");
    return;
  }
  const std::string missing = std::string(dir) + "/missing";
  errno = 0;
  CHECK(plat::OpenDevice(missing.c_str(), 0) == -1 && errno == ENOENT);
  CHECK(plat::OpenDevice(nullptr, 0) == -1);
  CHECK(plat::FpgaOpenSpi(missing.c_str()) == -1);
  CHECK(plat::FpgaOpenLocalBus(missing.c_str()) == -1);
  CHECK(plat::FpgaMapWindow(-1, 307200, 307200) == nullptr);
  CHECK(!plat::FpgaSetFinishedHandler(-1, nullptr));
  const uint8_t frame[4] = {};
  CHECK(!plat::FpgaSpiWrite(-1, frame));
  CHECK(plat::I2cOpen(missing.c_str()) == -1);
  CHECK(plat::PanelOpen(missing.c_str()) == -1);
  CHECK(plat::TempSensorOpen(missing.c_str()) == -1);
  CHECK(plat::GadgetOpen(missing.c_str()) == -ENOENT);
  CHECK(!plat::GadgetFileExists(missing.c_str()));
  rmdir(dir);
}
}  // namespace

int main() {
  SpiRecords();
  LocalBusRecord();
  I2cRecords();
  GadgetEvents();
  MissingDevicesFailCleanly();
  alarm(120);  // a read or write that never ends fails the check
  char dir[] = "/tmp/linux-layer-XXXXXX";
  if (mkdtemp(dir)) {
    EndpointReadsEnd(dir);
    DescriptorZero(dir);
    rmdir(dir);
  } else {
    CHECK(!"mkdtemp");
  }
  std::printf("%s: %d failed\n", g_failed ? "FAIL" : "ok", g_failed);
  return g_failed ? 1 : 0;
}
