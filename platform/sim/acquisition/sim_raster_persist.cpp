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
  for (const Kept& k : kept_) entry_[k.cell] = 0;
  kept_.clear();
  addedSerial_ = ~0ull;
}

void SimRasterPersist::Show(const uint8_t* raster, size_t bytes, uint64_t serial, int64_t madeUs,
                            int64_t keepUs, uint8_t* dest) {
  if (entry_.size() != bytes) {
    entry_.assign(bytes, 0);
    kept_.clear();
    addedSerial_ = ~0ull;
  }
  const bool add = serial != addedSerial_;
  addedSerial_ = serial;
  if (dest != raster) std::memcpy(dest, raster, bytes);
  if (add) {
    // The acquisition's own cells, found a word of empty cells at a time.
    constexpr size_t kWord = sizeof(uint64_t);
    auto keep = [&](size_t i) {
      if (uint32_t e = entry_[i]) {
        kept_[e - 1].value = raster[i];
        kept_[e - 1].litUs = madeUs;
      } else {
        kept_.push_back(Kept{uint32_t(i), raster[i], madeUs});
        entry_[i] = uint32_t(kept_.size());
      }
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
  for (size_t k = 0; k < kept_.size();) {
    Kept& c = kept_[k];
    if (raster[c.cell]) {
      ++k;
    } else if (c.litUs < oldest) {
      entry_[c.cell] = 0;
      c = kept_.back();
      kept_.pop_back();
      if (k < kept_.size()) entry_[c.cell] = uint32_t(k + 1);
    } else {
      dest[c.cell] = c.value;
      ++k;
    }
  }
}

}  // namespace plat
