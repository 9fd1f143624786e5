// Values and small conversions the time base model's own files share.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "acquisition/models/x_system.h"
#include "core/state/ids.h"

namespace xsys {

// Acquisition status per channel.
constexpr int kHoriRoll = 3;  // horizontal mode word in roll
constexpr int kHalfScreen = 350;
// Messages of a knob step held at a limit.
constexpr int kMsgTimeBaseLimit = 0, kMsgPreTrigLimit = 4, kMsgZoomLimit = 5;

inline uint32_t Clamp32(int64_t v) { return uint32_t(std::clamp<int64_t>(v, 0, 0xFFFFFFFFLL)); }

// A double held inside the int64 range before it is converted.
inline int64_t ToInt64(double v) {
  constexpr double kMax = 9.0e18;
  return int64_t(std::clamp(v, -kMax, kMax));
}

// A read-step word: whole samples x 16 with the tenths of a fractional step
// in the low 4 bits.
inline uint32_t StepWord(double k) {
  if (!(k > 0)) return 0;
  const int64_t t = ToInt64(std::round(k * 10));  // in tenths
  return Clamp32(t / 10 * 16 + t % 10);
}

// The interpolated column word (240): the samples a screen point spans x 800
// (a point's time x800 ps at 1 GSa/s).
inline uint32_t InterpColumnWord(double samplesPerPoint) {
  constexpr double kUnitsPerSample = 800;
  return Clamp32(ToInt64(std::round(samplesPerPoint * kUnitsPerSample)));
}

}  // namespace xsys

// A stored record and the screen laid over it. Record addresses are samples;
// the screen shows `width` samples from `start`, the stored record shifted by
// the difference between the trigger address in force and at acquisition.
struct x_system::StopView {
  int copy = 0;              // acquisition copy: 1 in the second stopped state
  int64_t depth = 0;         // trigger address in force
  int64_t acqDepth = 0;      // trigger address when the record was taken
  int64_t recStart = 0, recEnd = 0;  // the stored record
  bool interp = false;
  double factor = 1;         // screen points per sample while interpolating
  double width = 0;          // samples across the 700-point screen
  double start = 0;          // record address of the screen's left edge
};
