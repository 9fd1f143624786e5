#include "platform/linux/linux_layer.h"

#include <fcntl.h>

namespace plat {

int OpenDevice(const char* path, int flags) {
  if (!path) return -1;
  return ::open(path, flags | O_CLOEXEC);
}

spi_ioc_transfer SpiFrameTransfer(const uint8_t tx[4], uint8_t rx[4]) {
  spi_ioc_transfer t = {};
  t.tx_buf = uint64_t(uintptr_t(tx));
  t.rx_buf = uint64_t(uintptr_t(rx));
  t.len = kSpiFrameBytes;
  return t;
}

LocalBusRequest MakeLocalBusRead(uint32_t selector, uint8_t* dest, size_t length) {
  return LocalBusRequest{kLocalBusOpRead, 4, 0, 0, selector, uint32_t(length), dest, uint32_t(length)};
}

void MakeI2cTransfer(uint8_t device, const uint8_t* wr, int nw, uint8_t* rd, int nr, I2cTransferMsgs* out) {
  int n = 0;
  if (nw > 0) out->msgs[n++] = i2c_msg{device, 0, uint16_t(nw), const_cast<uint8_t*>(wr)};
  if (nr > 0) out->msgs[n++] = i2c_msg{device, I2C_M_RD, uint16_t(nr), rd};
  out->data.msgs = out->msgs;
  out->data.nmsgs = uint32_t(n);
}

GadgetEvent DecodeGadgetEvent(const usb_gadgetfs_event& e) {
  GadgetEvent ev;
  switch (e.type) {
    case GADGETFS_CONNECT:
      ev.type = GadgetEventType::kConnect;
      ev.speed = int(e.u.speed);
      break;
    case GADGETFS_DISCONNECT:
      ev.type = GadgetEventType::kDisconnect;
      break;
    case GADGETFS_SUSPEND:
      ev.type = GadgetEventType::kSuspend;
      break;
    case GADGETFS_SETUP:  // the board is little-endian, as the setup fields are
      ev.type = GadgetEventType::kSetup;
      ev.setup.bRequestType = e.u.setup.bRequestType;
      ev.setup.bRequest = e.u.setup.bRequest;
      ev.setup.wValue = uint16_t(e.u.setup.wValue);
      ev.setup.wIndex = uint16_t(e.u.setup.wIndex);
      ev.setup.wLength = uint16_t(e.u.setup.wLength);
      break;
    default:
      ev.type = GadgetEventType::kNop;
      break;
  }
  return ev;
}

}  // namespace plat
