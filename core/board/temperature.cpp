#include "core/board/temperature.h"

#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "core/messages/mymutex.h"
#include "core/state/sys_run_info.h"
#include "platform/devices/devices.h"
#include "platform/devices/temperature.h"
#include "platform/thread.h"

namespace {
constexpr const char* kSensor = plat::kTemperatureDevice;
constexpr double kMaxCelsius = 80.0;
constexpr uint64_t kSelfCalibrationBit = 0x80;
constexpr int kCentre = 100;  // table element of the self-calibration temperature
constexpr int kMaxIndex = 78;
constexpr int kMaxCorrection = 25;
constexpr int64_t kPeriodUs = 1000000;

constexpr int16_t TableValue(int i) {
  return i <= 37    ? 120
         : i <= 47  ? 121
         : i <= 57  ? 122
         : i == 58  ? 123
         : i == 59  ? 122
         : i <= 65  ? 123
         : i <= 71  ? 124
         : i == 72  ? 125
         : i == 73  ? 124
         : i <= 86  ? 125
         : i <= 94  ? 126
         : i <= 102 ? 127
         : i <= 105 ? 128
         : i <= 110 ? 129
         : i == 111 ? 130
         : i == 112 ? 129
         : i <= 116 ? 130
         : i <= 122 ? 131
         : i <= 128 ? 132
         : i <= 132 ? 133
         : i <= 136 ? 134
         : (i % 2 ? 135 : 134);
}


// Until start-up installs the instrument's hooks, corrections go nowhere.
void NoCorrection(int, int) {}
void NoReapply(int) {}
const TemperatureHooks kNone = {NoCorrection, NoReapply};
std::atomic<const TemperatureHooks*> g_builtIn{&kNone};
std::atomic<const TemperatureHooks*> g_hooks{&kNone};

// Run-state fields of the temperature.
bool SelfCalibrating() { return (SysRunStatus.GetFuncBits() & kSelfCalibrationBit) != 0; }
void StoreTemperature(double t) { SysRunStatus.SetTemperature(float(t)); }
double SelfCaliTemperature() { return SysRunStatus.GetSelfCaliTemperature(); }
}  // namespace

const int16_t TemperatureTable[kTemperatureTableSize] = {
#define T(i) TableValue(i)
#define T10(b) T(b), T(b + 1), T(b + 2), T(b + 3), T(b + 4), T(b + 5), T(b + 6), T(b + 7), T(b + 8), T(b + 9)
    T10(0),  T10(10),  T10(20),  T10(30),  T10(40),  T10(50),  T10(60),  T10(70),
    T10(80), T10(90),  T10(100), T10(110), T10(120), T10(130), T10(140), T10(150),
#undef T10
#undef T
};

double Ds18b20Celsius(int16_t raw) { return raw * 0.0625; }

int TemperatureIndex(double temperature, double selfCaliTemperature) {
  double d = temperature - selfCaliTemperature;
  if (!(d > -1000.0)) return 0;  // also NaN
  if (d > 1000.0) return kMaxIndex;
  int index = int(d) + 50;  // whole degrees, towards zero
  if (index <= 0) return 0;
  return index > kMaxIndex - 1 ? kMaxIndex : index;
}

int TemperatureCorrection(double temperature, double selfCaliTemperature) {
  return TemperatureTable[kCentre] - TemperatureTable[2 * TemperatureIndex(temperature, selfCaliTemperature)];
}

void SetTemperatureHooks(const TemperatureHooks* hooks) { g_hooks = hooks ? hooks : g_builtIn.load(); }

void InstallTemperatureHooks(const TemperatureHooks* hooks) {
  g_builtIn = hooks ? hooks : &kNone;
  g_hooks = g_builtIn.load();
}

int Ds18b20Monitor::Open() {
  handle_ = plat::TempSensorOpen(kSensor);
  if (handle_ < 0) {
    std::printf("can not open file %s, %d\n", kSensor, handle_);
    return -1;
  }
  return 0;
}

void Ds18b20Monitor::Close() {
  if (handle_ >= 0) plat::TempSensorClose(handle_);
  handle_ = -1;
}

int Ds18b20Monitor::Poll() {
  const TemperatureHooks* hooks = g_hooks.load();
  if (SelfCalibrating()) {
    hooks->setCorrection(0, 0);
    hooks->setCorrection(1, 0);
    applied_ = false;  // the corrections are re-applied once calibration ends
    return 2;
  }
  uint8_t raw[2] = {};
  int n = plat::TempSensorRead(handle_, raw, 2);
  if (n != 2) {
    std::printf("not get temp, err %d\r\n", n);
    return -1;
  }
  double t = Ds18b20Celsius(int16_t(raw[0] | raw[1] << 8));
  if (t > kMaxCelsius) return -1;
  StoreTemperature(t);
  if (applied_ && int(t) == int(lastApplied_)) return 0;
  int correction = TemperatureCorrection(t, SelfCaliTemperature());
  lastApplied_ = t;
  applied_ = true;
  // A correction of 0 is applied too: it brings the trace back when the board
  // returns to its calibration temperature.
  if (std::abs(correction) >= kMaxCorrection) return 0;
  pthread_mutex_lock(&mymutex);
  for (int ch = 0; ch < 2; ++ch) {
    hooks->setCorrection(ch, correction);
    hooks->queueReapply(ch);
  }
  pthread_mutex_unlock(&mymutex);
  return 1;
}

void* Ds18b20Thread(void*) {
  Ds18b20Monitor monitor;
  if (monitor.Open() != 0) return nullptr;
  while (!plat::StopRequested()) {
    monitor.Poll();
    if (!plat::SleepOrStop(kPeriodUs)) break;
  }
  monitor.Close();
  return nullptr;
}
