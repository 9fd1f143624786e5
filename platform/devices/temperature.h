// The board-temperature sensor (in place of /dev/ds18b20): each read gives two
// bytes, a signed 16-bit little-endian value in 1/16 degree C. The simulated
// sensor reads 25 C until a test sets another value or injects a failure.
#pragma once
#include <cstdint>

namespace plat {

int TempSensorOpen(const char* device);  // handle >= 0 (0 included), or -1
void TempSensorClose(int handle);
// Reads up to `n` bytes of the raw value into `out`; returns the count read,
// or -1 when the sensor does not answer.
int TempSensorRead(int handle, uint8_t* out, int n);

}  // namespace plat
