#include "core/control.h"

#include <cstdio>

#include "platform/clock.h"
#include "platform/fpga.h"

control QelControl;

namespace {
constexpr int kWindowBytes = 307200;
constexpr int kRasterBytes = 140000;
}  // namespace

control::control() : sem_(kSharedSemKey) {}

int control::InitDriver(const char* localbus, const char* spi) {
  localBus_ = plat::FpgaOpenLocalBus(localbus);
  if (localBus_ <= 0) {
    std::printf("Open %s failed!!!\n", localbus);
    localBus_ = 0;
  } else {
    std::printf("Open %s Ok! \n", localbus);
    window_ = plat::FpgaMapWindow(localBus_, kWindowBytes, kWindowBytes);
    if (!window_) std::printf("FPGA mmap Err !");
  }
  spi_ = plat::FpgaOpenSpi(spi);
  if (spi_ <= 0) spi_ = 0;
  return 0;
}

int control::SendRealControl(int word, int value) {
  if (!spi_) return -1;
  uint8_t frame[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(value), uint8_t(value >> 8)};
  sem_.semaphore_p();
  bool ok = plat::FpgaSpiWrite(spi_, frame);
  sem_.semaphore_v();
  return ok ? 0 : -1;
}

int control::ReadAnyReg(int reg) {
  if (!spi_) return -1;
  uint8_t tx[4] = {uint8_t(reg), uint8_t(reg >> 8), 0, 0}, rx[4] = {};
  sem_.semaphore_p();
  bool ok = plat::FpgaSpiTransfer(spi_, tx, rx);
  sem_.semaphore_v();
  if (!ok) {
    std::printf("can't send spi message ");
    return -1;
  }
  return rx[2] * 256 + rx[3];
}

int control::ReFpgeConfig(int mode) {
  uint32_t block[8] = {2, 4, 0, 0, 1, mode == 1 ? 1008u : 1023u, 1, 0};
  std::printf("Bushandle = %d Independ Offset = 0x%x \n", localBus_, block[5]);
  sem_.semaphore_p();
  bool ok = localBus_ && plat::FpgaLocalBusWrite(localBus_, block);
  sem_.semaphore_v();
  return ok ? 0 : -1;
}

int control::PllConfig() { return 0; }
int control::AdcInitSyncVEX4100R(int, int) { return 0; }

int control::SysSample() {
  SendRealControl(0, 0);
  SendRealControl(0, 1);
  SendRealControl(128, 0);
  SendRealControl(0, 0);
  SendRealControl(122, 0);
  return 0;
}

int control::LedCtrl(_SysRunInfo*) { return 0; }
int control::SendTimingControl() { return -1; }

int control::ReadQel(uint8_t* buffer) {
  if (!localBus_ || !buffer) return -1;
  sem_.semaphore_p();
  long n = plat::FpgaLocalBusRead(localBus_, 0, buffer, kRasterBytes);
  sem_.semaphore_v();
  return n < 0 ? -1 : 0;
}

int control::GetCurrAcquStatus() { return ReadAnyReg(770); }

void control::Bee() {}

void Bee() { QelControl.Bee(); }
