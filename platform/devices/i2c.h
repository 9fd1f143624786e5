// The I2C bus of the EEPROM: combined transfers to a device address. On the
// simulated board the bus carries two 256-byte EEPROMs at 0x50 and 0x51,
// persisted in "<root>/dev/eeprom.bin" (512 bytes: device 0x50, then device
// 0x51; blank 0xFF on a fresh root). Until a root is chosen the simulated
// devices do not answer.
#pragma once
#include <cstdint>

namespace plat {

int I2cOpen(const char* device);  // handle >= 0 (0 included), or -1
void I2cClose(int handle);
// Writes `nw` bytes to `device` (the first is the byte address; further bytes
// are stored from there on), then (nr > 0) reads `nr` bytes from the device's
// current byte address, as one combined transfer. False when the bus or the
// device fails.
bool I2cTransfer(int handle, uint8_t device, const uint8_t* wr, int nw, uint8_t* rd, int nr);

}  // namespace plat
