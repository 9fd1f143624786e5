// Test signals at the simulated board's inputs: CH1, CH2 and the external
// trigger input. Both channels start with a 1 kHz sine of 1 V amplitude; the
// external input starts without a signal.
#pragma once

namespace plat {

enum class SignalShape { kSine, kSquare, kTriangle, kPulse, kDc, kNoise };

struct TestSignal {
  SignalShape shape = SignalShape::kSine;
  double frequencyHz = 1000.0;
  double amplitudeV = 1.0;  // peak, at the BNC
  double offsetV = 0.0;

  // A signal with edges the trigger comparator and the counters can see.
  bool HasEdges() const {
    return shape != SignalShape::kDc && amplitudeV > 0.0 && frequencyHz > 0.0;
  }
};

enum SignalInput { kSignalCh1 = 0, kSignalCh2 = 1, kSignalExt = 2, kSignalInputs = 3 };

}  // namespace plat
