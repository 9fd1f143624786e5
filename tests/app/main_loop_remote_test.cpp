// Remote commands beside the main loop: the SCPI worker changes settings
// while a pass replays the knob operations queued for after a read-out. A
// command never runs among a pass's changes, so what it set stands after the
// pass.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "acquisition/engine/wave.h"
#include "acquisition/system_module/task_system.h"
#include "analysis/fft/fft_process.h"
#include "analysis/fft/fft_view.h"
#include "analysis/math/task_math.h"
#include "app/startup.h"
#include "core/messages/settings_lock.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"
#include "tests/bench/fft_bench.h"

namespace {
constexpr uint16_t kDrawStatusReg = 820;  // bits 8-11: the drawing state
constexpr int kDrawingBusy = 1, kDrawingIdle = 5;
constexpr int kStopped = 4;
constexpr char kIdnStart[] = "KOLVET Technologies,";
constexpr int kAnswerMs = 30000;  // an answer that is due

// A time-base replay waits for the drawing to go idle (up to 100 ms) between
// putting its own run state in force and restoring the one it found. A STOP
// arriving meanwhile must not be undone by that restore: the instrument would
// show it running with the acquisition paused.
TEST(MainLoopRemote, AStopArrivingDuringAReplayStands) {
  Bench bench;
  ASSERT_EQ(bench.Start(), 0);
  bench.StopThreads();  // only the SCPI worker runs beside the pass
  ASSERT_EQ(0, StartScpiThread());
  ASSERT_NE(SysRunStatus.GetAcquireStatus(0), kStopped);

  bench.Fpga().SetDrawingStatus(kDrawingBusy);
  TaskSystem.AppendOpCmd(kSysKeyTbR, 0, 0, 0);
  SysRunStatus.SetInterruptFlag();
  const int polls = bench.Fpga().ReadCount(kDrawStatusReg);
  // Another thread than the clock's driver: the replay's waits are real.
  std::thread pass([] { ScopeMainPass(); });
  WaitUntil([&] { return bench.Fpga().ReadCount(kDrawStatusReg) > polls; });
  ScpiQuery(":STOP\n", kScpiSourceTransport, 0);
  pass.join();
  bench.Fpga().SetDrawingStatus(kDrawingIdle);
  ASSERT_FALSE(ScpiQuery("*IDN?\n").empty());  // the worker ran STOP before it

  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), kStopped);
  EXPECT_EQ(TaskSystem.IsRunOpCmd(), -1);  // the replay ran
}

// A panel operation that waits (for the board, a settle time, the 2 s of a
// setup recall) lets remote commands run meanwhile: a query that waits for
// the settings lock when the operation's pass begins has run before the pass
// ends. The test holds the lock around the pass, so the query can have had
// it only while the operation's handler waited.
struct PanelWait : ::testing::Test {
  Bench bench;
  void SetUp() override {
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();  // only the SCPI worker runs beside the pass
    ASSERT_EQ(0, StartScpiThread());
  }
  static std::string Ask(const char* line) { return ScpiQuery(line, kScpiSourceTransport, kAnswerMs); }
  // Sends `line` (no answer) and waits until the worker has run it.
  static void Command(const char* line) {
    ScpiQuery(line, kScpiSourceTransport, 0);
    ASSERT_EQ(0u, Ask("*IDN?\n").find(kIdnStart));
  }
  // Runs one pass with `panelKey` (0: none, the key is already queued) while
  // the query `line` (*IDN? by default) waits for the settings lock; true
  // when the query ran during it. Its answer in *answer when given.
  bool QueryRanDuringThePass(uint8_t panelKey, const char* line = "*IDN?\n",
                             std::string* answer = nullptr) {
    const ScpiPost post = {line, int(std::strlen(line)), false};
    ScpiTicket ticket = 0;
    bool during = false;
    {
      SettingsLock held;
      if (Scpi.PostCommand(kScpiSourceTransport, &post, 1, true, &ticket) <= 0) return false;
      if (!WaitUntil([] { return SettingsLockWaiters() == 1; })) return false;
      if (panelKey) bench.PanelByte(panelKey);
      ScopeMainPass();
      during = SettingsLockWaiters() == 0;  // it had the lock, and only the handler let it go
    }
    std::string got;
    if (!Scpi.WaitAnswer(ticket, kAnswerMs, &got)) return false;
    if (answer) *answer = got;
    return (answer || got.find(kIdnStart) == 0) && during;
  }
};

TEST_F(PanelWait, RunStopInRollLetsAQueryRun) {
  Command(":TIMebase:SCALe 0.1\n");
  bench.Pass(3);
  ASSERT_EQ(SysRunStatus.GetAcquireStatus(0), kAcqSlowScan);
  EXPECT_TRUE(QueryRanDuringThePass(kKeyRunStop));
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), kAcqStopped);
  EXPECT_TRUE(QueryRanDuringThePass(kKeyRunStop));  // and running again
  EXPECT_NE(SysRunStatus.GetAcquireStatus(0), kAcqStopped);
}

// A roll frame's read of the board and the traces built from it change no
// setting: a query runs beside them.
TEST_F(PanelWait, ARollFrameLetsAQueryRun) {
  Command(":TIMebase:SCALe 0.1\n");
  bench.Pass(3);
  ASSERT_EQ(SysRunStatus.GetAcquireStatus(0), kAcqSlowScan);
  for (int frame = 0; frame < 3; ++frame) {
    bench.AdvanceMs(20);  // the next frame is due
    EXPECT_TRUE(QueryRanDuringThePass(0));
  }
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), kAcqSlowScan);
}

TEST_F(PanelWait, AutoSetLetsAQueryRun) {
  EXPECT_TRUE(QueryRanDuringThePass(kKeyAutoSet));
  EXPECT_EQ(0u, Ask("*IDN?\n").find(kIdnStart));  // and the worker serves on after it
}

TEST_F(PanelWait, SetupRecallLetsAQueryRun) {
  Command(":CHANnel1:SCALe 1\n");
  Command(":FILE:SAVE \"WAIT.dat\",FLASH\n");
  Command(":CHANnel1:SCALe 0.2\n");
  ASSERT_EQ(0u, Ask(":CHANnel1:SCALe?\n").find("2.000000e-01"));
  Command(":FILE:LOAD \"WAIT.dat\",FLASH\n");  // a key the main loop runs
  // The recall's wait comes before any block is taken: the query sees the
  // settings as they were, whole, and the next one the recall's, whole.
  std::string during;
  EXPECT_TRUE(QueryRanDuringThePass(0, ":CHANnel1:SCALe?\n", &during));
  EXPECT_EQ(0u, during.find("2.000000e-01")) << during;
  EXPECT_EQ(0u, Ask(":CHANnel1:SCALe?\n").find("1.000000e+00"));
}
// The FFT frame copies the source's record into the worker's request (a
// million samples at 1M points) and works out the window on a change: that
// changes no setting, so a query runs beside it. The board acquires only
// when asked, so the only let-go of a pass is the request's.
struct FftPanelWait : PanelWait {
  void SetUp() override {
    PanelWait::SetUp();
    ShowFftOnDemand(bench);
    Command(":FUNCtion:FFT:POINts 1M\n");
  }
  static bool RequestWaits() {
    std::lock_guard<std::mutex> lock(FftPara.lock);
    return (FftPara.flags & kFftRequest) != 0;
  }
  // Acquisitions, their transforms and the passes that take them until a
  // spectrum is taken and no request waits: the next pass posts one.
  void TakeSpectra() {
    constexpr int kFramesMax = 8;  // a dropped result and a first one take fewer
    SysRunInfo.fft.newSpectrum = 0;
    for (int frame = 0; RequestWaits() || !SysRunInfo.fft.newSpectrum; ++frame) {
      ASSERT_LT(frame, kFramesMax);
      WaveOp.RequestChData(3);
      ASSERT_TRUE(bench.Fpga().AcquireNow());
      bench.Pass();
      FftServeRequest(FftPara);
      bench.Pass();
    }
  }
};

TEST_F(FftPanelWait, ARequestLetsAQueryRun) {
  for (const char* window : {"HANNing\n", "BLACkman\n"}) {
    TakeSpectra();
    Command((std::string(":FUNCtion:FFT:WINDow ") + window).c_str());
    EXPECT_TRUE(QueryRanDuringThePass(0));
    EXPECT_TRUE(RequestWaits());  // the pass posted it
    EXPECT_EQ(FftPara.points, 1048576);
  }
}

// A new length set while a request is built stands: the spectra taken after
// it are of the new length, whichever of the two had the request first.
TEST_F(FftPanelWait, ALengthSetBesideARequestStands) {
  TakeSpectra();
  bool during = false;
  {
    SettingsLock held;
    const char line[] = ":FUNCtion:FFT:POINts 512K\n";
    const ScpiPost post = {line, int(sizeof line - 1), false};
    ASSERT_GT(Scpi.PostCommand(kScpiSourceTransport, &post, 1, true, nullptr), 0);
    ASSERT_TRUE(WaitUntil([] { return SettingsLockWaiters() == 1; }));
    ScopeMainPass();
    during = SettingsLockWaiters() == 0;
  }
  EXPECT_TRUE(during);
  EXPECT_EQ(0u, Ask(":FUNCtion:FFT:POINts?\n").find("512K"));
  TakeSpectra();
  EXPECT_EQ(FftView.last.size(), 262144u);
  EXPECT_EQ(FftPara.points, 524288);
  EXPECT_EQ(0u, Ask(":FUNCtion:FFT:POINts?\n").find("512K"));
}
}  // namespace
