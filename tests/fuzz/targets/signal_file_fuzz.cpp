// The simulated board's signal file "dev/signals", read as the simulated FPGA
// reads it before an acquisition; each signal read is then sampled.
#include <cstddef>
#include <cstdint>

#include "platform/sim/acquisition/sim_signal_file.h"
#include "tests/fuzz/fuzz_instrument.h"

namespace {
// Where the values read go, so that every read is made.
volatile double g_sink;
constexpr char kPath[] = "dev/signals";
constexpr int kSamples = 16;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  FuzzWriteFile(kPath, data, size);
  plat::SimSignalFile file;
  plat::TestSignal signals[plat::kSignalInputs];
  if (!file.Refresh(signals)) return 0;
  double sum = 0;
  for (const plat::TestSignal& s : signals) {
    sum += plat::SignalMean(s) + plat::SignalMin(s) + plat::SignalMax(s);
    for (int i = 0; i < kSamples; ++i) {
      double lo = 0, hi = 0;
      plat::SignalExtremes(s, 0.0, double(i) / kSamples, &lo, &hi);
      sum += plat::SignalVolts(s, double(i) / kSamples, uint64_t(i)) + plat::SignalNoise(s, uint64_t(i)) + lo + hi;
    }
  }
  g_sink = sum;
  return 0;
}
