// Persistence of the simulated FPGA's display raster (word 126).
#include "platform/sim/acquisition/sim_raster_persist.h"

#include <cstdint>
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
  for (size_t i : keptCells_) kept_[i] = 0;
  keptCells_.clear();
  addedSerial_ = ~0ull;
}

void SimRasterPersist::Show(const uint8_t* raster, size_t bytes, uint64_t serial, int64_t madeUs,
                            int64_t keepUs, uint8_t* dest) {
  if (kept_.size() != bytes) {
    kept_.assign(bytes, 0);
    litUs_.assign(bytes, 0);
    keptCells_.clear();
    addedSerial_ = ~0ull;
  }
  const bool add = serial != addedSerial_;
  addedSerial_ = serial;
  if (dest != raster) std::memcpy(dest, raster, bytes);
  if (add) {
    // The acquisition's own cells, found a word of empty cells at a time.
    constexpr size_t kWord = sizeof(uint64_t);
    auto keep = [&](size_t i) {
      if (!kept_[i]) keptCells_.push_back(i);
      kept_[i] = raster[i];
      litUs_[i] = madeUs;
    };
    size_t i = 0;
    for (; i + kWord <= bytes; i += kWord) {
      uint64_t word;
      std::memcpy(&word, raster + i, kWord);
      if (!word) continue;
      for (size_t j = i; j < i + kWord; ++j)
        if (raster[j]) keep(j);
    }
    for (; i < bytes; ++i)
      if (raster[i]) keep(i);
  }
  // The kept cells the acquisition leaves empty. A cell past its time is
  // dropped for good: a longer setting later does not bring it back.
  const int64_t oldest = keepUs == kForever ? INT64_MIN : madeUs - keepUs;
  for (size_t k = 0; k < keptCells_.size();) {
    const size_t i = keptCells_[k];
    if (raster[i]) {
      ++k;
    } else if (litUs_[i] < oldest) {
      kept_[i] = 0;
      keptCells_[k] = keptCells_.back();
      keptCells_.pop_back();
    } else {
      dest[i] = kept_[i];
      ++k;
    }
  }
}

}  // namespace plat
