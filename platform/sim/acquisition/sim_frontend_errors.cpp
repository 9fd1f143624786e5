#include "platform/sim/acquisition/sim_frontend_errors.h"
#include "platform/sim/acquisition/sim_frontend.h"

#include <cmath>
#include <mutex>

namespace plat {
namespace {
std::mutex mu;
FrontEndErrors errors;
constexpr double kStepsPerDecade = 3.0;  // 1-2-5
constexpr double kCoarseStep = 0.02, kFineStep = 0.0045;
constexpr int kUnityCoarse = simfe::kAdcGainCoarse, kUnityFine = simfe::kAdcGainFine;
}  // namespace

void SetFrontEndErrors(const FrontEndErrors& e) {
  std::lock_guard<std::mutex> lock(mu);
  errors = e;
}

FrontEndErrors GetFrontEndErrors() {
  std::lock_guard<std::mutex> lock(mu);
  return errors;
}

double FrontEndOffsetError(int ch, double rangeVdiv) {
  if (ch < 0 || ch > 1 || rangeVdiv <= 0) return 0;
  std::lock_guard<std::mutex> lock(mu);
  return errors.offsetCodes[ch] + errors.offsetPerRange[ch] * std::log10(rangeVdiv) * kStepsPerDecade;
}

double FrontEndAdcGain(int ch, uint16_t word) {
  if (ch < 0 || ch > 1) return 1.0;
  const int coarse = word & 15, fine = word >> 4 & 7;
  std::lock_guard<std::mutex> lock(mu);
  return (1 + errors.gainError[ch]) * (1 + (coarse - kUnityCoarse) * kCoarseStep + (fine - kUnityFine) * kFineStep);
}
}  // namespace plat
