// The serial-bus rows of the trigger module's SCPI table (SBUS:...): bus
// type, decode display, decoded data, and the RS232, I2C, SPI, CAN and LIN
// trigger settings and bit patterns.
#pragma once
#include "remote/scpi/scpi_table.h"

extern const instr kTriggerSbusRows[];
