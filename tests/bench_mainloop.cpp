// Speed of one main-loop pass on the simulated board at the default settings
// with both channels on: the read-out of both channels' records and screen
// reads and of the display raster, the processing, the screen composition and
// the copy to the frame buffer. The simulated FPGA's own work (making an
// acquisition, drawing its raster, streaming the samples) is measured apart
// and kept out of the pass where it can be.
//
//   build/tests/bench_mainloop [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <vector>

#include "acquisition/wave.h"
#include "acquisition/x_system.h"
#include "core/control.h"
#include "core/startup.h"
#include "core/sys_run_info.h"
#include "platform/sim/sim_fpga.h"
#include "tests/bench/bench.h"

namespace {

Bench& Instrument() {
  static Bench* b = [] {
    auto* bench = new Bench;
    bench->Start();
    bench->Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SysRunInfo.sourceOn |= 3;
    QelControl.SetChPriority(&SysRunInfo);
    return bench;
  }();
  return *b;
}

// One pass over a new acquisition. The acquisition is made and its raster
// drawn outside the timing; with `stream` 0 the samples the pass drains are
// loaded into the FIFO outside the timing as well (the FPGA's work), with 1
// the simulated FPGA works them out while the pass drains them.
void BM_MainLoopPass(benchmark::State& state) {
  Bench& b = Instrument();
  const bool stream = state.range(0) != 0;
  // A pass over a real acquisition: what it drains is what is replayed.
  const size_t before = b.Fpga().BlockReads().size();
  b.Fpga().AcquireNow();
  WaveOp.RequestChData(3);
  ScopeMainPass();
  std::vector<uint8_t> fifo;
  const auto reads = b.Fpga().BlockReads();
  for (size_t i = before; i < reads.size(); ++i)
    if (reads[i].first == 64) fifo.resize(fifo.size() + reads[i].second, 127);
  std::vector<uint8_t> rec(7000);
  for (size_t i = 0; i < fifo.size(); ++i) {
    if (i % 7000 == 0) WaveOp.GetWaveData(int(i / 7000) & 1, rec.data(), 7000);
    fifo[i] = rec[i % 7000];
  }
  for (auto _ : state) {
    state.PauseTiming();
    b.Fpga().AcquireNow();
    b.Fpga().Raster();
    if (!stream) b.Fpga().LoadBlock(64, fifo);
    WaveOp.RequestChData(3);
    state.ResumeTiming();
    ScopeMainPass();
  }
  state.counters["bytes_read"] = double(fifo.size());
  state.counters["fifo_left"] = double(b.Fpga().BlockPending(64));
}
BENCHMARK(BM_MainLoopPass)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A pass without a new acquisition: keys, processing and composition only.
void BM_IdlePass(benchmark::State& state) {
  Instrument();
  for (auto _ : state) ScopeMainPass();
}
BENCHMARK(BM_IdlePass)->Unit(benchmark::kMicrosecond);

// The simulated FPGA: one acquisition and its display raster.
void BM_SimAcquisition(benchmark::State& state) {
  Bench& b = Instrument();
  for (auto _ : state) {
    b.Fpga().AcquireNow();
    benchmark::DoNotOptimize(b.Fpga().Raster());
  }
}
BENCHMARK(BM_SimAcquisition)->Unit(benchmark::kMicrosecond);

// The simulated FPGA streaming what one pass drains: a record and a screen
// read of both channels (4 x 7000 samples).
void BM_SimFifoStream(benchmark::State& state) {
  plat::SimFpga& f = Instrument().Fpga();
  std::vector<uint8_t> buf(7000);
  for (auto _ : state) {
    for (int i = 0; i < 4; ++i) {
      f.WriteWord(176, uint16_t(1 + (i & 1)));
      f.WriteWord(122, 1);
      f.WriteWord(122, 0);
      f.ReadBlock(64, buf.data(), buf.size());
    }
    benchmark::DoNotOptimize(buf.data());
  }
}
BENCHMARK(BM_SimFifoStream)->Unit(benchmark::kMicrosecond);

// The fastest settings the processing meets: 2 ns/div (1 GSa/s, 28 samples
// across the screen, sin(x)/x interpolated x 100 and placed on the trigger),
// averaging 16 acquisitions, both channels on a 100 MHz sine with noise.
void FastAveragedSettings(Bench& b) {
  plat::TestSignal s;
  s.frequencyHz = 100e6;
  s.noiseV = 0.1;
  b.Fpga().SetSignal(0, s);
  b.Fpga().SetSignal(1, s);
  TimeBase.SetRealTimeBase(0, 4);
  TimeBase.AdjTimeBase(0, 0);
  SysRunInfo.acqMode = 3;
  SysRunInfo.averageIndex = 3;
}

// One WaveProcess over both channels' reads of a new acquisition at those
// settings; the acquisition and the reads are outside the timing.
void BM_WaveProcess(benchmark::State& state) {
  Bench& b = Instrument();
  FastAveragedSettings(b);
  for (auto _ : state) {
    state.PauseTiming();
    b.Fpga().AcquireNow();
    for (int ch = 0; ch < 2; ++ch) WaveOp.SetArmReadDDRPara(ch, 7000);
    state.ResumeTiming();
    WaveOp.WaveProcess();
  }
}
BENCHMARK(BM_WaveProcess)->Unit(benchmark::kMicrosecond);

// The whole pass at those settings, the simulated FPGA working out the
// samples the pass drains (BM_SimFifoStream gives its share).
void BM_MainLoopPassFast(benchmark::State& state) {
  Bench& b = Instrument();
  FastAveragedSettings(b);
  for (auto _ : state) {
    state.PauseTiming();
    b.Fpga().AcquireNow();
    b.Fpga().Raster();
    WaveOp.RequestChData(3);
    state.ResumeTiming();
    ScopeMainPass();
  }
}
BENCHMARK(BM_MainLoopPassFast)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Instrument().Stop();  // the instrument's threads end before the process does
  return 0;
}
