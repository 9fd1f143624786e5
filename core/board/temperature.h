// The board-temperature thread: reads the sensor once a second, stores the
// temperature in the run state and, when the whole degrees change, moves both
// channels' trace positions to compensate the front end's drift.
#pragma once
#include <cstdint>

constexpr int kTemperatureTableSize = 160;
// Trace-position codes by twice the temperature step.
extern const int16_t TemperatureTable[kTemperatureTableSize];

// Degrees C of a raw sensor value (1/16 degree).
double Ds18b20Celsius(int16_t raw);
// The table step of a temperature: whole degrees above the self-calibration
// temperature plus 50, limited to 0..78.
int TemperatureIndex(double temperature, double selfCaliTemperature);
// The position correction for a temperature (0 at the self-calibration one).
int TemperatureCorrection(double temperature, double selfCaliTemperature);

// Where a correction goes: the vertical model's temperature correction of a
// channel, and the system module's knob operation 145 that re-applies the
// channel's position on the main thread.
struct TemperatureHooks {
  void (*setCorrection)(int ch, int correction);
  void (*queueReapply)(int ch);
};
void SetTemperatureHooks(const TemperatureHooks* hooks);  // null: the installed ones
// The instrument's own hooks, installed by start-up (null: none).
void InstallTemperatureHooks(const TemperatureHooks* hooks);

class Ds18b20Monitor {
 public:
  int Open();  // 0, or -1 when the sensor cannot be opened
  void Close();
  // One reading. 1 corrections applied, 0 nothing to apply, 2 paused while
  // self-calibration runs, -1 no valid reading.
  int Poll();

 private:
  int handle_ = -1;
  bool applied_ = false;  // a temperature has been applied since start or a pause
  double lastApplied_ = 0;
};

// Thread body; ends when the sensor cannot be opened or a stop is requested.
void* Ds18b20Thread(void*);
