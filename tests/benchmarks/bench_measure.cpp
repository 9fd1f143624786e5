// Speed of one full measurement pass on the simulated board: all 36
// parameters of CH1 and CH2 from their 7000-sample records and screen
// traces, the two-source parameters and the five user slots with their
// statistics (target: under 0.3 ms, so measurements never slow the screen).
//
//   build/tests/bench_measure
#include <benchmark/benchmark.h>

#include <algorithm>

#include "acquisition/engine/wave.h"
#include "analysis/measure/measure.h"
#include "core/board/control.h"
#include "core/state/sys_run_info.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"

namespace {

Bench& Instrument() {
  static Bench* b = [] {
    auto* bench = new Bench;
    bench->Start();
    bench->StopThreads();
    bench->Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SysRunStatus.SetMemDepth(1);
    SetWaveTestSettings();
    SysRunInfo.sourceOn |= 3;
    QelControl.SetChPriority(&SysRunInfo);
    plat::TestSignal square;
    square.shape = plat::SignalShape::kSquare;
    bench->Fpga().SetSignal(1, square);
    WaveOp.RequestChData(3);
    bench->Fpga().AcquireNow();
    bench->Pass();
    return bench;
  }();
  return *b;
}

void BM_MeasurePass(benchmark::State& state) {
  Instrument();
  _measure::UserSelection sel{};
  const int16_t paras[kMeaUserSlots] = {kParaFreq, kParaRms, kParaRise, kParaPhase, kParaPduty};
  std::copy(paras, paras + kMeaUserSlots, sel.para);
  for (int k = 0; k < kMeaUserSlots; ++k) sel.source[k] = uint16_t((k & 1) | (1 - (k & 1)) << 8);
  sel.master = 0;
  sel.slave = 1;
  sel.pairShown = true;
  sel.channelsOn = 3;
  for (auto _ : state) {
    std::lock_guard<std::recursive_mutex> lock(MeasureParaCalcu.Lock());
    MeasureParaCalcu.MeasureBasePara(0);
    MeasureParaCalcu.MeasureBasePara(1);
    MeasureParaCalcu.MeasureDoubChPara(0, 1);
    MeasureParaCalcu.UserDefParaMeasure(sel);
    MeasureParaCalcu.UserDefStatisticParaCalcu(sel);
  }
}
BENCHMARK(BM_MeasurePass)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
