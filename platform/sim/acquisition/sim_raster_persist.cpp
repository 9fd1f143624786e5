// Persistence of the simulated FPGA's display raster (word 126).
#include "platform/sim/acquisition/sim_raster_persist.h"

#include <algorithm>
#include <cstring>

namespace plat {

namespace {
constexpr uint16_t kValueMask = 0xF;
constexpr int kForeverValue = 10;
constexpr int64_t kKeepUs[kForeverValue] = {0,       50000,   100000,  200000,   500000,
                                            1000000, 2000000, 5000000, 10000000, 20000000};
}  // namespace

int64_t SimRasterPersist::KeepUs(uint16_t word) {
  const int v = word & kValueMask;
  return v >= kForeverValue ? kForever : kKeepUs[v];
}

void SimRasterPersist::Clear() {
  std::fill(kept_.begin(), kept_.end(), uint8_t(0));
  addedSerial_ = ~0ull;
}

void SimRasterPersist::Show(const uint8_t* raster, size_t bytes, uint64_t serial, int64_t madeUs,
                            int64_t keepUs, uint8_t* dest) {
  if (kept_.size() != bytes) {
    kept_.assign(bytes, 0);
    litUs_.assign(bytes, 0);
    addedSerial_ = ~0ull;
  }
  const bool add = serial != addedSerial_;
  addedSerial_ = serial;
  const int64_t oldest = keepUs == kForever ? INT64_MIN : madeUs - keepUs;
  for (size_t i = 0; i < bytes; ++i) {
    if (raster[i]) {
      if (add) kept_[i] = raster[i], litUs_[i] = madeUs;
      dest[i] = raster[i];
      continue;
    }
    // A cell past its time is dropped for good: a longer setting later does
    // not bring it back.
    if (kept_[i] && litUs_[i] < oldest) kept_[i] = 0;
    dest[i] = kept_[i];
  }
}

}  // namespace plat
