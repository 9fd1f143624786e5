// The simulated FPGA's acquisition controls for tests and its real-time
// acquisition clock, a board thread that finishes acquisitions when they are due.
#include <algorithm>

#include "platform/clock.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/thread.h"

namespace plat {

namespace {
constexpr int64_t kClockMinUs = 200;
// Nothing due (paused, not real time, or the last acquisition's raster not
// read yet): the run-control words and the pacing wake the clock; it looks
// round this often all the same.
constexpr int64_t kClockIdleUs = 100000;
}  // namespace

void SimFpga::SetSignalTime(double seconds) {
  std::lock_guard<std::mutex> lock(mu_);
  acq_.SetSignalTime(MonoUs(), seconds);
}

void SimFpga::SetPacing(SimAcquire::Pacing p, double scale) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    acq_.SetPacing(p, scale);
  }
  clockWake_.Notify();
  EnsureClock();
}

SimAcquire::Pacing SimFpga::Pacing() {
  std::lock_guard<std::mutex> lock(mu_);
  return acq_.GetPacing();
}

bool SimFpga::AcquireNow() {
  void (*handler)() = nullptr;
  bool made;
  {
    std::lock_guard<std::mutex> lock(mu_);
    made = acq_.AcquireNow(AcqWords(), MonoUs(), signals_);
    if (made) handler = AcquiredLocked();
  }
  if (handler) handler();
  return made;
}

void SimFpga::SetAcqSettings(const SimAcqSettings& s) {
  std::lock_guard<std::mutex> lock(mu_);
  acq_.SetSettings(s);
}

void SimFpga::ClearAcqSettings() {
  std::lock_guard<std::mutex> lock(mu_);
  acq_.ClearSettings();
}

SimAcqSettings SimFpga::AcqSettings() {
  std::lock_guard<std::mutex> lock(mu_);
  return acq_.CurrentSettings(AcqWords());
}

SimAcquisition SimFpga::LastAcquisition() {
  std::lock_guard<std::mutex> lock(mu_);
  return acq_.Last();
}

std::vector<uint8_t> SimFpga::Raster() {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<uint8_t> r(SimAcquire::kRasterBytes);
  acq_.ReadBlock(0, r.data(), r.size(), AcqWords(), MonoUs(), signals_);
  return r;
}

// Chooses the pacing left at its default (real time, or on demand under the
// tests' virtual clock) and starts the clock thread real-time pacing needs.
void SimFpga::EnsureClock() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (acq_.GetPacing() == SimAcquire::Pacing::kDefault)
      acq_.SetPacing(VirtualClock() ? SimAcquire::Pacing::kOnDemand : SimAcquire::Pacing::kRealTime, 1.0);
    if (acq_.GetPacing() != SimAcquire::Pacing::kRealTime || !lbOpen_ || StopRequested()) return;
  }
  if (clockRunning_.exchange(true)) return;
  if (StartThread("SimAcquireClock", ClockThread, this) != 0) clockRunning_ = false;
}

void* SimFpga::ClockThread(void* arg) {
  SimFpga* f = static_cast<SimFpga*>(arg);
  while (!StopRequested()) {
    if (!f->clockWake_.WaitOrStop(f->ClockStep())) break;
  }
  f->clockRunning_ = false;
  return nullptr;
}

int64_t SimFpga::ClockStep() {
  void (*handler)() = nullptr;
  int64_t wait;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (acq_.GetPacing() != SimAcquire::Pacing::kRealTime || !lbOpen_) return kClockIdleUs;
    const int64_t now = MonoUs();
    const bool made = acq_.Tick(AcqWords(), now, signals_);
    if (made) handler = AcquiredLocked();
    const int64_t toDue = acq_.NextDueUs() - now;
    // Due but not made: held (paused, reset, a single sweep done) until a
    // run-control word changes that.
    const bool held = acq_.Unread() || (!made && toDue <= 0);
    wait = held ? kClockIdleUs : std::min(std::max(toDue, kClockMinUs), kClockIdleUs);
  }
  if (handler) handler();
  return wait;
}

}  // namespace plat
