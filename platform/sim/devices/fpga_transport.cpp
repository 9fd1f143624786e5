// The FPGA transport on the simulated board: frames are decoded into control
// words and register reads of the simulated FPGA; local-bus requests read its
// blocks and window.
#include "platform/devices/fpga.h"
#include "platform/sim/fpga/sim_fpga.h"

namespace plat {
namespace {
// One transfer on a device, bracketed so the simulated FPGA sees overlaps.
class Transfer {
 public:
  Transfer() { Fpga().EnterTransfer(); }
  ~Transfer() { Fpga().LeaveTransfer(); }
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
};
}  // namespace

int FpgaOpenLocalBus(const char*) { return Fpga().OpenLocalBus(); }

int FpgaOpenSpi(const char*) { return Fpga().OpenSpi(); }

void FpgaCloseSpi(int spi) {
  if (Fpga().SpiIs(spi)) Fpga().CloseSpi();
}

void FpgaClose() { Fpga().CloseAll(); }

SpiStep FpgaSpiConfigure(int spi, SpiSettings* s) {
  if (!s || !Fpga().SpiIs(spi)) return SpiStep::kGetMode;
  return Fpga().ConfigureSpi(s);
}

bool FpgaSpiWrite(int spi, const uint8_t frame[4]) {
  if (!frame || !Fpga().SpiIs(spi)) return false;
  Transfer t;
  Fpga().WriteWord(uint16_t(frame[0] | frame[1] << 8), uint16_t(frame[2] | frame[3] << 8));
  return true;
}

bool FpgaSpiTransfer(int spi, const uint8_t tx[4], uint8_t rx[4]) {
  if (!tx || !rx || !Fpga().SpiIs(spi)) return false;
  Transfer t;
  uint16_t v = Fpga().ReadReg(uint16_t(tx[0] | tx[1] << 8));
  rx[0] = rx[1] = 0;
  rx[2] = uint8_t(v >> 8);
  rx[3] = uint8_t(v);
  return true;
}

long FpgaLocalBusRead(int lb, uint32_t selector, uint8_t* dest, size_t length) {
  if (!dest || !Fpga().LocalBusIs(lb)) return -1;
  Transfer t;
  return Fpga().ReadBlock(selector, dest, length);
}

bool FpgaLocalBusWrite(int lb, const uint32_t block[8]) {
  if (!block || !Fpga().LocalBusIs(lb)) return false;
  Transfer t;
  if (block[0] == 2) Fpga().Reconfigure(block);
  return true;
}

uint8_t* FpgaMapWindow(int lb, size_t length, size_t) {
  if (!Fpga().LocalBusIs(lb)) return nullptr;
  return Fpga().MapWindow(length);
}

bool FpgaSetFinishedHandler(int lb, void (*handler)()) {
  if (!Fpga().LocalBusIs(lb)) return false;
  return Fpga().SetFinishedHandler(handler);
}

}  // namespace plat
