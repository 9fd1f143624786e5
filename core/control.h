// Board control: the only path to the acquisition FPGA and the board's small
// peripherals. Every FPGA access holds the shared semaphore for its duration.
#pragma once
#include <cstdint>

#include "core/semaphore.h"

struct _SysRunInfo;

class control {
 public:
  control();
  int InitDriver(const char* localbus, const char* spi);
  int SendRealControl(int word, int value);
  int ReadAnyReg(int reg);
  int ReFpgeConfig(int mode);
  int PllConfig();
  int AdcInitSyncVEX4100R(int phase1, int phase2);
  int SysSample();
  int LedCtrl(_SysRunInfo* run);
  int SendTimingControl();
  int ReadQel(uint8_t* buffer);
  int GetCurrAcquStatus();
  void Bee();

 private:
  semaphore sem_;
  int spi_ = 0;
  int localBus_ = 0;
  uint8_t* window_ = nullptr;
};

extern control QelControl;
void Bee();
