// Speed of one FFT request of each point count the menu offers: the whole
// service of a request (buffers, plan, windowed input, transform,
// magnitudes) against bare fftwf_execute of a ready plan on the same data.
//
//   build/tests/bench_fft
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <vector>

#include "analysis/fft/fft_process.h"

namespace {
std::vector<uint8_t> Record(int n) {
  std::vector<uint8_t> s(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) s[size_t(i)] = uint8_t(127 + 50 * std::sin(0.01 * i));
  return s;
}

void Request(benchmark::State& st) {
  FFT_Para p;
  const int n = int(st.range(0));
  p.samples = Record(n);
  p.window.resize(size_t(n));
  FftWinCalculation(kFftHann, n, p.window.data());
  p.points = n;
  for (auto _ : st) {
    p.flags = kFftRequest;
    FftServeRequest(p);
    benchmark::DoNotOptimize(p.result.data());
  }
}

void BareExecute(benchmark::State& st) {
  const int n = int(st.range(0));
  float* in = static_cast<float*>(fftwf_malloc(sizeof(float) * size_t(n + 1)));
  fftwf_complex* out = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * size_t(n + 1)));
  fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
  const std::vector<uint8_t> s = Record(n);
  for (int i = 0; i < n; ++i) in[i] = float(s[size_t(i)]);
  for (auto _ : st) {
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out);
  }
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
}
// The main loop's share of a frame: the shown bins (the whole half-spectrum)
// reduced to 700 columns by the four detectors, while the worker transforms.
void Detect(benchmark::State& st) {
  const int n = int(st.range(0));
  std::vector<float> bins(size_t(n / 2));
  for (size_t i = 0; i < bins.size(); ++i) bins[i] = float(std::abs(std::sin(0.001 * double(i))));
  FftScale scale;
  static float traces[kFftDetectors][kFftTraceValues];
  for (auto _ : st) {
    FftDetect(bins.data(), n / 2, 0, n / 2 - 1, kFftColumns, scale, 0xF, traces);
    benchmark::DoNotOptimize(traces);
  }
}
}  // namespace

BENCHMARK(Detect)->RangeMultiplier(2)->Range(8192, kFftMaxPoints)->Unit(benchmark::kMillisecond);
BENCHMARK(Request)->RangeMultiplier(2)->Range(8192, kFftMaxPoints)->Unit(benchmark::kMillisecond);
BENCHMARK(BareExecute)->RangeMultiplier(2)->Range(8192, kFftMaxPoints)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
