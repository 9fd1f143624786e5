// Speed of one main-loop pass on the simulated board at the default settings
// with both channels on: the read-out of both channels' records and screen
// reads and of the display raster, the processing, the screen composition and
// the copy to the frame buffer. The simulated FPGA's own work (making an
// acquisition, drawing its raster, streaming the samples) is measured apart
// and kept out of the pass where it can be. Last, the running scopeapp's CPU
// share in real time.
//
//   build/tests/bench_mainloop [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "analysis/fft/math_fft_menu.h"
#include "analysis/math/task_math.h"
#include "app/startup.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"

namespace {
constexpr int kIdleFrameMs = 500;  // the composer's idle frame interval
constexpr int kStartSeconds = 3;   // scopeapp's start-up, left out of the measure
constexpr int kRunSeconds = 10;
constexpr int kFastTimeBase = 20;  // 500 us/div
constexpr int kLargestPoints = 7;  // the FFT points choice of 1M

// A fresh instrument root for scopeapp.
std::string RunRoot() {
  char dir[] = "/tmp/scope-cpu-XXXXXX";
  return mkdtemp(dir) ? dir : "";
}

// User plus system time of a process, in seconds; -1 when it is gone.
double CpuSeconds(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(f, line)) return -1;
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {  // fields 14 and 15: utime, stime
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// Starts scopeapp ($SCOPE_APP, else the one built here) on `root`.
pid_t Launch(const std::string& root) {
  const char* app = std::getenv("SCOPE_APP") ? std::getenv("SCOPE_APP") : SCOPEAPP_PATH;
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execl(app, "scopeapp", "--root", root.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

void End(pid_t pid) {
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
}

// Both channels on at 500 us/div: the EEPROM the first start wrote, with the
// sources and time bases changed, for the next start.
void StoreBothChannels(const std::string& root) {
  const pid_t first = Launch(root);
  std::this_thread::sleep_for(std::chrono::seconds(kStartSeconds));
  End(first);
  const std::string path = root + "/dev/eeprom.bin";
  std::vector<char> e(512);
  std::ifstream(path, std::ios::binary).read(e.data(), long(e.size()));
  e[EE_SOURCE_ON] = 3;
  for (int b = 0; b < 4; ++b) e[EE_TIMEBASE + b] = kFastTimeBase;
  std::ofstream(path, std::ios::binary).write(e.data(), long(e.size()));
}

// scopeapp's CPU time per second of wall time over `seconds` after start-up.
double CpuShare(const std::string& root, int seconds) {
  const pid_t pid = Launch(root);
  if (pid < 0) return -1;
  std::this_thread::sleep_for(std::chrono::seconds(kStartSeconds));
  const double c0 = CpuSeconds(pid);
  const auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double c1 = CpuSeconds(pid);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  End(pid);
  return c0 < 0 || c1 < 0 ? -1 : (c1 - c0) / wall;
}
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
  b.Fpga().ClearBlockReads();
  b.Fpga().AcquireNow();
  WaveOp.RequestChData(3);
  ScopeMainPass();
  std::vector<uint8_t> fifo;
  for (const auto& read : b.Fpga().BlockReads())
    if (read.first == 64) fifo.resize(fifo.size() + read.second, 127);
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

// A pass without a new acquisition: keys, processing and the idle frame the
// composer makes every half second (the virtual clock is moved on to it
// outside the timing).
void BM_IdlePass(benchmark::State& state) {
  Bench& b = Instrument();
  for (auto _ : state) {
    state.PauseTiming();
    b.AdvanceMs(kIdleFrameMs);
    state.ResumeTiming();
    ScopeMainPass();
  }
}
BENCHMARK(BM_IdlePass)->Unit(benchmark::kMicrosecond);

// The running instrument: scopeapp on a fresh root in real time for a few
// seconds; its CPU time (user + system, from /proc) per second of wall time.
// Argument: 0 the start-up defaults, 1 both channels on at 500 us/div (the
// simulated board's 1 kHz sines).
void BM_RunningInstrumentCpu(benchmark::State& state) {
  for (auto _ : state) {
    const std::string root = RunRoot();
    if (state.range(0) == 1) StoreBothChannels(root);
    const double share = CpuShare(root, kRunSeconds);
    state.counters["cpu_per_wall"] = share;
    if (share < 0) state.SkipWithError("scopeapp did not run");
  }
}
BENCHMARK(BM_RunningInstrumentCpu)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

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

// A pass over a new acquisition with the FFT of CH1 shown at 1M points (arg
// 1) or the math channel off (arg 0), the FFT worker thread running beside
// the loop: the pass only posts and takes; `spectra` counts the spectra taken
// (each reduced to screen columns on the loop).
void BM_FftPassWithWorker(benchmark::State& state) {
  Bench& b = Instrument();
  SetWaveTestSettings();
  const bool fft = state.range(0) != 0;
  if (fft) {
    if (!(SysRunInfo.sourceOn >> 5 & 1)) b.Key(kKeyMath);
    TaskMath.TaskMenu.SetMenuItem(kMathItemType, kMathFft);
    Math_Type(keypara{KEY_NO_KEY, 0, 0});
    TaskMath.TaskMenu.SetMenuItem(kMathItemFftPoints, kLargestPoints);
    Math_FFT_Points(keypara{KEY_NO_KEY, 0, 0});
  }
  int spectra = 0;
  for (auto _ : state) {
    state.PauseTiming();
    b.Fpga().AcquireNow();
    b.Fpga().Raster();
    WaveOp.RequestChData(3);
    SysRunInfo.fft.newSpectrum = 0;
    state.ResumeTiming();
    ScopeMainPass();
    spectra += SysRunInfo.fft.newSpectrum;
  }
  state.counters["spectra"] = spectra;
}
BENCHMARK(BM_FftPassWithWorker)->Arg(0)->Arg(1)->MinTime(3.0)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Instrument().Stop();  // the instrument's threads end before the process does
  return 0;
}
