// The intensity raster as painted and as the simulated board keeps it with
// persistence, checked against plain painters that visit every cell: whole
// pages and whole rasters must come out the same, for rasters the simulated
// board made and one holding every byte value, in every layout of the wave
// area.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "acquisition/engine/wave.h"
#include "core/board/control.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "platform/sim/acquisition/sim_raster_persist.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_raster_paint.h"

namespace {
constexpr int kWidth = 800, kHeight = 480, kColumns = 700, kRows = 200, kCells = kRows * kColumns;
using Raster = std::vector<uint8_t>;
using Page = std::vector<uint32_t>;

void Put(Page& page, int row, int col, int colour) {
  if (row < 0 || row >= kHeight || col < 0 || col >= kWidth) return;
  page[size_t(row) * kWidth + size_t(col)] = uint32_t(colour);
}

// Every cell in turn, as the wave area lays the raster out: rows 33.., two
// screen rows a raster row from column 30, or one from column 380 without
// horizontal points; split time bases put rows 100.. 8 rows lower, the zoom
// layout rows 60.. 14 lower; X-Y paints rows 60.. as 2 x 2 cells of palette 0
// into the square at row 165, column 240 (30 with cursors), five raster
// columns to a cell column.
void ReferencePaint(Page& page, const Raster& raster, const RasterColours& colours,
                    const RasterView& v) {
  for (int r = 0; r < kRows; ++r)
    for (int x = 0; x < kColumns; ++x) {
      const uint8_t b = raster[size_t(r) * kColumns + size_t(x)];
      if (!b) continue;
      if (v.split) {
        const int row = 33 + 2 * r + (r >= 100 ? 8 : 0);
        Put(page, row, 30 + x, colours(b));
        Put(page, row + 1, 30 + x, colours(b));
        continue;
      }
      if (v.fftMode == 2) return;
      if (v.xy && r >= 60) {
        const int row = 165 + 2 * (r - 60), col = (v.cursors ? 30 : 240) + 2 * (x / 5);
        for (int dr = 0; dr < 2; ++dr)
          for (int dc = 0; dc < 2; ++dc) Put(page, row + dr, col + dc, colours.both[0][2 * (b & 0x7F)]);
      } else if (v.full || v.xy || v.zoom) {
        const int row = 33 + 2 * r + (v.zoom && r >= 60 ? 14 : 0);
        Put(page, row, 30 + x, colours(b));
        Put(page, row + 1, 30 + x, colours(b));
      } else if (v.fftMode != 4) {
        Put(page, 33 + r, 380 + x, colours(b));
      }
    }
}

// Persistence cell by cell: the acquisition's own cells win, a kept cell is
// shown until it is older than `keepUs` (or for ever) and then dropped.
struct ReferencePersist {
  Raster kept = Raster(kCells, 0);
  std::vector<int64_t> litUs = std::vector<int64_t>(kCells, 0);
  uint64_t added = ~0ull;
  void Clear() {
    std::fill(kept.begin(), kept.end(), uint8_t(0));
    added = ~0ull;
  }
  Raster Show(const Raster& raster, uint64_t serial, int64_t madeUs, int64_t keepUs) {
    Raster dest(kCells);
    const bool add = serial != added;
    added = serial;
    const int64_t oldest = keepUs == plat::SimRasterPersist::kForever ? INT64_MIN : madeUs - keepUs;
    for (int i = 0; i < kCells; ++i) {
      if (raster[i]) {
        if (add) kept[i] = raster[i], litUs[i] = madeUs;
        dest[i] = raster[i];
        continue;
      }
      if (kept[i] && litUs[i] < oldest) kept[i] = 0;
      dest[i] = kept[i];
    }
    return dest;
  }
};

// Rasters the simulated board made: CH1's sine at a few frequencies and
// amplitudes, then both channels (CH2's cells with the channel bit), one with
// noise over many rows.
std::vector<Raster> BoardRasters() {
  Bench bench;
  EXPECT_EQ(bench.Start(), 0);
  bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  SetWaveTestSettings();
  SysRunInfo.horiPoints = 1;
  std::vector<Raster> out;
  auto take = [&](int channels) {
    SysRunInfo.sourceOn = uint16_t(channels);
    SysRunInfo.activeCh = 0;
    QelControl.SetChPriority(&SysRunInfo);
    WaveOp.RequestChData(channels);
    EXPECT_TRUE(bench.Fpga().AcquireNow());
    bench.Pass();
    out.emplace_back(QelWaveData, QelWaveData + kQelRasterBytes);
  };
  plat::TestSignal s;
  for (double hz : {1000.0, 1500.0, 2500.0}) {
    s.frequencyHz = hz;
    bench.Fpga().SetSignal(0, s);
    take(1);
  }
  s.amplitudeV = 0.5;
  bench.Fpga().SetSignal(1, s);
  take(3);
  s.noiseV = 0.4;
  bench.Fpga().SetSignal(0, s);
  take(3);
  take(3);
  return out;
}

const std::vector<Raster>& Rasters() {
  static const std::vector<Raster> rasters = BoardRasters();
  return rasters;
}

int Lit(const Raster& r) {
  int n = 0;
  for (uint8_t b : r) n += b != 0;
  return n;
}

// Palettes with no two entries alike, so a wrong entry or palette shows.
std::vector<int> g_palettes[2] = {std::vector<int>(256), std::vector<int>(256)};
RasterColours Colours(int one) {
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 256; ++i) g_palettes[c][size_t(i)] = 0x010000 * (c + 1) + 0x101 * i;
  RasterColours colours;
  colours.both[0] = g_palettes[0].data();
  colours.both[1] = g_palettes[1].data();
  if (one >= 0) colours.one = g_palettes[one].data();
  return colours;
}

// A page whose every pixel differs, so a pixel painted that should not be shows.
Page Background() {
  Page page(size_t(kWidth) * kHeight);
  for (size_t i = 0; i < page.size(); ++i) page[i] = uint32_t(i * 2654435761u) | 0xFF000000u;
  return page;
}

std::vector<RasterView> Views() {
  std::vector<RasterView> views;
  for (int bits = 0; bits < 32; ++bits)
    for (int fft : {0, 2, 4}) {
      RasterView v;
      v.split = bits & 1;
      v.xy = bits & 2;
      v.zoom = bits & 4;
      v.full = bits & 8;
      v.cursors = bits & 16;
      v.fftMode = fft;
      views.push_back(v);
    }
  return views;
}

void ExpectSamePages(const Raster& raster, const RasterColours& colours, const char* what) {
  const Page background = Background();
  for (const RasterView& v : Views()) {
    Page want = background, got = background;
    ReferencePaint(want, raster, colours, v);
    PaintRaster(got.data(), raster.data(), colours, v);
    ASSERT_TRUE(want == got) << what << ": split " << v.split << " xy " << v.xy << " zoom " << v.zoom
                             << " full " << v.full << " cursors " << v.cursors << " fft " << v.fftMode;
  }
}
}  // namespace

TEST(RasterPaint, BoardRastersPaintAsCellByCellInEveryLayout) {
  const auto& rasters = Rasters();
  ASSERT_EQ(rasters.size(), 6u);
  for (size_t i = 0; i < rasters.size(); ++i) {
    ASSERT_GT(Lit(rasters[i]), 500) << i;
    // CH1 alone through its palette, then both channels by the channel bit.
    ExpectSamePages(rasters[i], Colours(i < 3 ? 0 : -1), i < 3 ? "CH1" : "both");
  }
  EXPECT_NE(rasters[0], rasters[1]);
}

TEST(RasterPaint, EveryByteValueAtEveryPlacePaintsAsCellByCell) {
  Raster raster(kCells);
  std::mt19937 random(7);
  for (auto& b : raster) b = uint8_t(random());
  for (int r = 0; r < kRows; r += 3)
    std::memset(&raster[size_t(r) * kColumns], 0, kColumns);  // empty rows
  for (int one : {-1, 0, 1}) ExpectSamePages(raster, Colours(one), "every byte");
}

TEST(RasterPaint, PersistenceKeepsAndDropsAsCellByCell) {
  const auto& rasters = Rasters();
  ReferencePersist want;
  plat::SimRasterPersist got;
  Raster dest(kCells);
  int64_t now = 0;
  uint64_t serial = 0;
  int step = 0;
  auto show = [&](int64_t keepUs, bool again) {
    if (!again) ++serial, ++step;  // a read again is of the same acquisition
    const Raster& raster = rasters[size_t(step) % rasters.size()];
    const Raster expected = want.Show(raster, serial, now, keepUs);
    got.Show(raster.data(), raster.size(), serial, now, keepUs, dest.data());
    ASSERT_TRUE(expected == dest) << "step " << step << " keep " << keepUs;
  };
  // For ever, then short times the older cells run out of, a read of the same
  // acquisition again, no persistence, a clear, a longer time once more.
  for (int i = 0; i < 8; ++i, now += 20000) show(plat::SimRasterPersist::kForever, false);
  EXPECT_GT(Lit(dest), Lit(rasters[0]));
  for (int64_t keep : {50000, 100000, 0, 200000})
    for (int i = 0; i < 6; ++i, now += 25000) {  // some cells exactly at the limit
      show(keep, false);
      show(keep, true);
    }
  want.Clear();
  got.Clear();
  for (int i = 0; i < 6; ++i, now += 40000) show(1000000, false);
  now += 2000000;
  show(1000000, false);  // everything before has run out
}
