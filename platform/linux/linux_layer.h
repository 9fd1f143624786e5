// What the board's device files share: opening them, and the records the
// board's drivers take (built here so they can be checked against the
// kernel headers' definitions).
#pragma once
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <linux/spi/spidev.h>
#include <linux/usb/gadgetfs.h>

#include <csignal>
#include <cstddef>
#include <cstdint>

#include "platform/devices/gadget.h"

namespace plat {

// Opens a device file with close-on-exec; the descriptor, or -1 (errno set).
int OpenDevice(const char* path, int flags);

// A control-word frame or register read on the SPI device: 4 bytes.
constexpr size_t kSpiFrameBytes = 4;
// The full-duplex transfer of one register read.
spi_ioc_transfer SpiFrameTransfer(const uint8_t tx[4], uint8_t rx[4]);

// The local-bus driver's request: {1 (read), 4, 0, 0, selector, length,
// destination, length}, 32 bytes on the board (32-bit pointers).
struct LocalBusRequest {
  uint32_t op, words, zero1, zero2, selector, length;
  uint8_t* dest;
  uint32_t destLength;
};
constexpr uint32_t kLocalBusOpRead = 1;
constexpr size_t kLocalBusBlockBytes = 32;
LocalBusRequest MakeLocalBusRead(uint32_t selector, uint8_t* dest, size_t length);

// An EEPROM transfer: a write of the address (and data), then an optional read.
struct I2cTransferMsgs {
  i2c_msg msgs[2];
  i2c_rdwr_ioctl_data data;
};
void MakeI2cTransfer(uint8_t device, const uint8_t* wr, int nw, uint8_t* rd, int nr, I2cTransferMsgs* out);

// The signal that interrupts a gadget read or write blocked in the driver
// (its handler does nothing; the program uses it for nothing else).
constexpr int kInterruptSignal = SIGUSR2;

// One gadgetfs event as the board layer hands it on.
GadgetEvent DecodeGadgetEvent(const usb_gadgetfs_event& e);

}  // namespace plat
