// The board's device layer, checked where it can be without the board: the
// records it hands the drivers against the kernel headers' definitions and
// the board's 32-bit layouts, and devices that are missing failing cleanly.
// Only paths inside a fresh temporary folder are opened.
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <linux/spi/spidev.h>
#include <linux/usb/gadgetfs.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/fpga.h"
#include "platform/gadget.h"
#include "platform/i2c.h"
#include "platform/linux/linux_layer.h"
#include "platform/panel.h"
#include "platform/temperature.h"

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
  std::printf("%s: %d failed\n", g_failed ? "FAIL" : "ok", g_failed);
  return g_failed ? 1 : 0;
}
