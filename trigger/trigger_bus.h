// The serial-bus trigger types (RS232, I2C, SPI, CAN, LIN): their settings
// gathered from the items, the baud tables, and the bus pages' handlers.
#pragma once
#include "core/sys_run_info_layout.h"
#include "trigger/task_trigger.h"

constexpr int kRs232Bauds = 14, kCanBauds = 19, kLinBauds = 6;
extern const int RS232BaudRate[kRs232Bauds];
extern const int CANBaudRate[kCanBauds];
extern const int LINBaudRate[kLinBauds];

// One bus type's run-state block, read from the items before the run state's
// lock is taken (the menu takes it too) and written under it.
struct BusSettings {
  int type;
  int16_t source;
  Rs232Trigger rs232;
  I2cTrigger i2c;
  SpiTrigger spi;
  CanTrigger can;
  LinTrigger lin;
};
BusSettings GatherBusSettings(int type, double sampleRate);
void ApplyBusSettings(const BusSettings& s, _SysRunInfo& r);

// The bus pages' items and page operations (trigger_bus_pages.cpp).
struct menu;
void DefineBusMenu(menu* record);
// Start-up: pattern editors closed and cleared, pattern items switched by
// their When items, the I2C texts.
void InitBusSettings();
