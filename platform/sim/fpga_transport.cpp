// The FPGA transport on the simulated board: frames are decoded into control
// words and register reads of the simulated FPGA.
#include <cstring>
#include <vector>

#include "platform/fpga.h"
#include "platform/sim/sim_fpga.h"

namespace plat {
namespace {
bool g_lbOpen = false, g_spiOpen = false;
std::vector<uint8_t>& Window() {
  static std::vector<uint8_t> w;
  return w;
}
void (*g_finished)() = nullptr;
}  // namespace

int FpgaOpenLocalBus(const char*) {
  g_lbOpen = true;
  return 3;
}

int FpgaOpenSpi(const char*) {
  g_spiOpen = true;
  return 4;
}

void FpgaClose() { g_lbOpen = g_spiOpen = false; }

bool FpgaSpiWrite(int spi, const uint8_t frame[4]) {
  if (spi <= 0 || !g_spiOpen) return false;
  Fpga().WriteWord(uint16_t(frame[0] | frame[1] << 8), uint16_t(frame[2] | frame[3] << 8));
  return true;
}

bool FpgaSpiTransfer(int spi, const uint8_t tx[4], uint8_t rx[4]) {
  if (spi <= 0 || !g_spiOpen) return false;
  uint16_t v = Fpga().ReadReg(uint16_t(tx[0] | tx[1] << 8));
  rx[0] = rx[1] = 0;
  rx[2] = uint8_t(v >> 8);
  rx[3] = uint8_t(v);
  return true;
}

long FpgaLocalBusRead(int lb, uint32_t, uint8_t* dest, size_t length) {
  if (lb <= 0 || !g_lbOpen || !dest) return -1;
  std::memset(dest, 0, length);  // acquisitions come with the waveform engine
  return long(length);
}

bool FpgaLocalBusWrite(int lb, const uint32_t block[8]) {
  if (lb <= 0 || !g_lbOpen) return false;
  if (block[0] == 2) Fpga().NoteReconfiguration();
  return true;
}

uint8_t* FpgaMapWindow(int lb, size_t length, size_t) {
  if (lb <= 0 || !g_lbOpen) return nullptr;
  Window().assign(length, 0);
  return Window().data();
}

void FpgaSetFinishedHandler(void (*handler)()) { g_finished = handler; }

}  // namespace plat
