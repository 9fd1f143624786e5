#include <atomic>
#include <cmath>

#include "platform/sim/devices/sim_controls.h"
#include "platform/devices/temperature.h"

namespace plat {
namespace {
constexpr int kHandle = 7;
std::atomic<int> g_raw{25 * 16};
std::atomic<bool> g_openFails{false};
std::atomic<bool> g_readFails{false};
std::atomic<bool> g_shortRead{false};
}  // namespace

int TempSensorOpen(const char* device) { return device && !g_openFails ? kHandle : -1; }

void TempSensorClose(int) {}

int TempSensorRead(int handle, uint8_t* out, int n) {
  if (handle != kHandle || !out || n < 0 || g_readFails) return -1;
  int raw = g_raw.load();
  const uint8_t bytes[2] = {uint8_t(raw & 0xFF), uint8_t((raw >> 8) & 0xFF)};
  int count = g_shortRead ? 1 : 2;
  if (count > n) count = n;
  for (int i = 0; i < count; ++i) out[i] = bytes[i];
  return count;
}

void SimTemperatureSet(double celsius) {
  double raw = std::round(celsius * 16.0);
  if (!(raw >= -32768.0)) raw = -32768.0;  // also catches NaN
  if (raw > 32767.0) raw = 32767.0;
  g_raw = int(raw);
}

void SimTemperatureSetRaw(int16_t raw) { g_raw = raw; }
void SimTemperatureOpenFails(bool fails) { g_openFails = fails; }
void SimTemperatureReadFails(bool fails) { g_readFails = fails; }
void SimTemperatureShortRead(bool shortRead) { g_shortRead = shortRead; }

}  // namespace plat
