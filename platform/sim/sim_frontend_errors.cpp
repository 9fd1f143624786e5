#include "platform/sim/sim_frontend_errors.h"

#include <cmath>
#include <mutex>

namespace plat {
namespace {
std::mutex mu;
FrontEndErrors errors;
constexpr double kStepsPerDecade = 3.0;  // 1-2-5
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

}  // namespace plat
