// LZO compression of one screen message (the 1,152,054-byte picture of a
// shown screen) through the wrapper and through bare liblzo2 on the same
// data (a benchmark, not a test: ctest does not run it).
#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>

#include <vector>

#include "remote/codec/lzo_compress.h"
#include "tests/bench/bench.h"
#include "ui/display/task_display_scpi.h"

namespace {
std::vector<uint8_t>& Picture() {
  static std::vector<uint8_t> picture = [] {
    Bench bench;
    std::vector<uint8_t> p(kBmpFileBytes);
    if (bench.Start() == 0) {
      bench.Pass(5);
      CopyFbWithFBmp(p.data());
    }
    bench.Stop();  // no board thread outlives the picture's capture
    return p;
  }();
  return picture;
}

void Wrapper(benchmark::State& state) {
  std::vector<uint8_t>& in = Picture();
  std::vector<uint8_t> out(LzoWorstCase(in.size()));
  size_t size = 0;
  for (auto _ : state) benchmark::DoNotOptimize(LzoCompress(in.data(), in.size(), out.data(), &size));
  state.counters["bytes"] = double(size);
}

void BareLibrary(benchmark::State& state) {
  std::vector<uint8_t>& in = Picture();
  std::vector<uint8_t> out(LzoWorstCase(in.size()));
  std::vector<unsigned char> wrk(LZO1X_1_MEM_COMPRESS);
  lzo_init();
  lzo_uint size = 0;
  for (auto _ : state) benchmark::DoNotOptimize(lzo1x_1_compress(in.data(), in.size(), out.data(), &size, wrk.data()));
  state.counters["bytes"] = double(size);
}
}  // namespace

BENCHMARK(Wrapper)->Unit(benchmark::kMicrosecond);
BENCHMARK(BareLibrary)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
