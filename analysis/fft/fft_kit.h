// Shorthands the FFT files share: the math menu's items, the run state's FFT
// block, the FFT record's rate, knob keys and the volts-per-division table.
#pragma once
#include <cstdint>

#include "acquisition/tables/voltage_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "analysis/math/math_calc.h"
#include "analysis/math/task_math.h"
#include "core/state/ids.h"
#include "core/menu/keypara.h"
#include "core/menu/menu.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"

namespace fft_kit {
inline Menu& M() { return TaskMath.TaskMenu; }
inline int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
inline FftSettings& Fft() { return *SysRunStatus.GetFFTParaAddr(); }
inline bool MathOn() { return SysRunStatus.GetChStatus() >> kMathSlot & 1; }
inline bool Stopped() { return SysRunStatus.GetAcquireStatus(0) == kAcqStopped; }
inline void Message(int n) { QelMsg.SetMessage(n); }
inline bool IsKnob(uint16_t k) { return k == MENU_KEY_KNOB_UP || k == MENU_KEY_KNOB_DOWN; }
// The knob's signed step: remote keys carry theirs, a panel turn is one.
inline int KnobStep(keypara k) {
  const int s = k.useStep && k.step > 0 ? k.step : 1;
  return k.key == MENU_KEY_KNOB_UP ? s : -s;
}
// Volts per division of an index (the default for one out of the table).
inline double VoltsPerDiv(int i) {
  return Voltage[i >= 0 && i < kVoltageEntries ? i : y_system::kDefaultIndex];
}
// Sample rate of the FFT record in force.
inline double FftRate() {
  double rate = 0;
  uint8_t none = 0;
  WaveOp.GetFFTWaveData(&none, 0, &rate);
  return rate;
}
}  // namespace fft_kit
