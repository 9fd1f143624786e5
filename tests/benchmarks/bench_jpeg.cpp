// The JPEG of one shown 800 x 480 screen through the picture server's encoder
// and through bare libturbojpeg on the same pixels, encoding into a reused buffer (a benchmark, not a test:
// ctest does not run it). Pictures per second served on loopback are measured
// by tests/py/test_web_control.py ("pictures per second").
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstring>
#include <vector>

#include "remote/web/web_control.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_draw.h"

namespace {
std::vector<uint32_t>& Screen() {
  static std::vector<uint32_t> screen = [] {
    Bench bench;
    std::vector<uint32_t> s(qel_draw::kPixels);
    if (bench.Start() == 0) {
      bench.Pass(5);
      std::memcpy(s.data(), QelDraw.GetDrawAddr(DRAW_SHOWN), qel_draw::kPageBytes);
    }
    bench.Stop();  // no board thread outlives the pixels' capture
    return s;
  }();
  return screen;
}

void Encoder(benchmark::State& state) {
  const std::vector<uint32_t>& s = Screen();
  size_t bytes = 0;
  for (auto _ : state) bytes = bmp_to_jpeg(s.data()).size();
  state.counters["bytes"] = double(bytes);
}

// The library alone, encoding into one buffer of the largest size, reused.
void BareLibrary(benchmark::State& state) {
  const std::vector<uint32_t>& s = Screen();
  tjhandle h = tjInitCompress();
  const unsigned long capacity = tjBufSize(800, 480, TJSAMP_420);
  unsigned char* buffer = tjAlloc(int(capacity));
  unsigned long size = 0;
  for (auto _ : state) {
    unsigned char* out = buffer;
    size = capacity;
    tjCompress2(h, reinterpret_cast<const unsigned char*>(s.data()), 800, 3200, 480, TJPF_BGRX, &out, &size,
                TJSAMP_420, 80, TJFLAG_NOREALLOC);
  }
  tjFree(buffer);
  tjDestroy(h);
  state.counters["bytes"] = double(size);
}
}  // namespace

BENCHMARK(Encoder)->Unit(benchmark::kMicrosecond);
BENCHMARK(BareLibrary)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
