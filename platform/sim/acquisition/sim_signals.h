// Test signals at the simulated board's inputs: CH1, CH2 and the external
// trigger input, in volts at the BNC. Both channels start with a sine of 1 V
// amplitude (2 Vpp), CH1 at 500 kHz (a few cycles at the start-up time base),
// CH2 at 1 kHz; the external input starts without a signal.
//
// Shapes, for amplitude A (peak), offset O, frequency f and duty d:
//   sine      O + A sin(2 pi f t)
//   square    O + A for the first half of each period, O - A for the second
//   triangle  O - A at the period start, rising to O + A at mid-period and back
//   pulse     O + A for the first d of each period, O - A for the rest
//   dc        O (A and f unused)
//   noise     O + uniform noise in [-A, A], new every nanosecond (f unused)
//   train     a pulse train: from each period start, pulses of the chosen high
//             widths (seconds) at O + A, each followed by `gap` seconds at
//             O - A; O - A for the rest of the period (the idle time). A
//             pulse may be given a height below the full swing (a runt):
//             it then reaches O - A + 2 A h for its height fraction h
//   video     a simple composite video signal, one frame a period: `lines`
//             lines (625 or 525) of equal length; each line starts with its
//             sync pulse at O - A (7.4 % of the line), then the blanking level
//             O - 0.4 A up to 18 %, then a luminance ramp from the blanking
//             level to O + A up to 95 %, then blanking. Lines 1-3 and the
//             three lines that start the second field (lines/2 + 1 ...) are
//             vertical sync: low for 85 % of the line, then blanking
//   bus       one line of serial-bus traffic (sim_bus.h): O + A where the line
//             is high, O - A where it is low; a period is the burst interval
// Any shape may carry added noise (noiseV, uniform in [-noiseV, noiseV], new
// every sample); the trigger comparator sees the shape without it.
// A period starts at a rising zero crossing of the sine, the rising edge of
// square and pulse, and the minimum of the triangle.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

// std::floor without the library call for the phases and record addresses
// the board works with (|x| < 2^52, where it is exact); others go to it.
inline double SimFloor(double x) {
  if (!(std::fabs(x) < 4503599627370496.0)) return std::floor(x);
  const double t = double(int64_t(x));
  return t > x ? t - 1.0 : t;
}

// std::lround of a sample code already clamped to 0..255, where the
// difference from its whole part is exact.
inline uint8_t SimRoundCode(double code) {
  const int whole = int(code);
  return uint8_t(code - double(whole) >= 0.5 ? whole + 1 : whole);
}

class SimBusWave;

enum class SignalShape { kSine, kSquare, kTriangle, kPulse, kDc, kNoise, kTrain, kVideo, kBus };

constexpr int kTrainPulses = 16;
constexpr double kDefaultCh1Hz = 500e3;  // CH1's signal until one is set

struct TestSignal {
  SignalShape shape = SignalShape::kSine;
  double frequencyHz = 1000.0;
  double amplitudeV = 1.0;  // peak, at the BNC
  double offsetV = 0.0;
  double duty = 0.1;    // high fraction of a pulse period (0..1, exclusive)
  double phase = 0.0;   // lead over the board's time, in periods (0.25: 90 degrees)
  double noiseV = 0.0;  // peak of uniform noise added to the shape, new every sample
  // Pulse train: the high widths (seconds) of its first `pulses` pulses and
  // the low time after each.
  int pulses = 0;
  double widths[kTrainPulses] = {};
  double heights[kTrainPulses] = {};  // fraction of the swing (0: the whole swing)
  double gapS = 1e-6;
  int lines = 625;  // video: lines a frame
  // Bus traffic: the encoded bus and which of its lines this input carries.
  std::shared_ptr<const SimBusWave> bus;
  int busLine = 0;

  // A signal with edges the trigger comparator and the counters can see.
  bool HasEdges() const { return shape != SignalShape::kDc && amplitudeV > 0.0 && frequencyHz > 0.0; }
};

// Whether two signals are the same in every field that shapes them.
bool SameSignal(const TestSignal& a, const TestSignal& b);

enum SignalInput { kSignalCh1 = 0, kSignalCh2 = 1, kSignalExt = 2, kSignalInputs = 3 };

// The signal's value at `cycles` periods after a period start. `noiseKey`
// picks the noise value (the same key always gives the same value).
double SignalVolts(const TestSignal& s, double cycles, uint64_t noiseKey);
// SignalVolts for `n` phases at once, the same values (`noiseKeys` may be
// null for a shape without noise of its own, that is any but kNoise).
void SignalVoltsBlock(const TestSignal& s, const double* cycles, const uint64_t* noiseKeys, size_t n,
                      double* out);
// The sample codes of a block of record addresses `at` for a signal without
// noise: code = zeroCode + (SignalVolts(cycles) - mean) x 25 / voltsPerDiv,
// rounded and clamped to 0..255, cycles = start + frequency x (at - trigger)
// x periodNs x 1e-9, all in one loop. False (nothing written) for the shapes
// it does not take (noise added, and noise, dc, train, video, bus).
struct SignalCodeScale {
  double start, frequency, trigger, periodNs, mean, zeroCode, voltsPerDiv;
};
bool SignalCodesBlock(const TestSignal& s, const SignalCodeScale& k, const double* at, size_t n, uint8_t* out);
// The added noise for `noiseKey` (0 without noise).
double SignalNoise(const TestSignal& s, uint64_t noiseKey);

// The lowest and highest values between `from` and `to` cycles (noise aside).
void SignalExtremes(const TestSignal& s, double from, double to, double* lo, double* hi);

// The edges of a pulse train within a period, in cycles from the period
// start: rising at rise[i], falling at fall[i]; their number (0 when the
// train is empty or longer than its period).
int TrainEdges(const TestSignal& s, double* rise, double* fall);

// The lines a frame of a video signal (625 unless it says 525).
int VideoLines(const TestSignal& s);

// The height fraction (0..1] of a train's pulse i.
double TrainHeight(const TestSignal& s, int i);

// Video: the line sync's falling edges are the line starts; line n (1-based)
// starts at (n - 1) / lines of the period.
constexpr int kVideoSyncLines = 3;

// Bus traffic from a "bus" line of the signal file (sim_bus.h): the signals
// of the inputs its lines use, stored into `signals`; false with `*error`.
bool SimBusSignals(const std::string& rest, TestSignal* signals, std::string* error);

// The signal's mean over a period (what AC coupling removes).
double SignalMean(const TestSignal& s);

// The signal's lowest and highest values.
double SignalMin(const TestSignal& s);
double SignalMax(const TestSignal& s);

}  // namespace plat
