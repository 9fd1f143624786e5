// Persistence of the simulated FPGA's display raster. Control word 126 (its
// low 4 bits) chooses how long a cell an acquisition lit stays in the raster
// the instrument reads: 0 not at all (each raster shows its own acquisition
// only), 1..9 50 ms, 100 ms, 200 ms, 500 ms, 1 s, 2 s, 5 s, 10 s, 20 s, 10 and
// above for ever. Ages count on the board's clock, from the acquisition that
// lit the cell to the newest one drawn, so a stopped screen keeps what it
// showed. A write of word 126 and a restart of sampling (word 0 1 -> 0) drop
// every kept cell: the instrument sends the word again to clear the picture.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace plat {

class SimRasterPersist {
 public:
  static constexpr int64_t kForever = -1;
  // Microseconds a lit cell is kept for word 126's value (kForever, or 0 none).
  static int64_t KeepUs(uint16_t word);

  void Clear();
  // Shows `raster` (an acquisition's own, `bytes` long, made at `madeUs`) in
  // `dest` with the cells earlier acquisitions lit over the last `keepUs`.
  // An acquisition is added once (by its serial); its own cells win.
  void Show(const uint8_t* raster, size_t bytes, uint64_t serial, int64_t madeUs, int64_t keepUs,
            uint8_t* dest);

 private:
  std::vector<uint8_t> kept_;      // the last byte each cell was lit with
  std::vector<int64_t> litUs_;     // when: the acquisition's time
  std::vector<size_t> keptCells_;  // the cells whose kept_ is not 0, in no order
  uint64_t addedSerial_ = ~0ull;
};

}  // namespace plat
