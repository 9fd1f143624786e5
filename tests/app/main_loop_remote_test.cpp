// Remote commands beside the main loop: the SCPI worker changes settings
// while a pass replays the knob operations queued for after a read-out. A
// command never runs among a pass's changes, so what it set stands after the
// pass.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "acquisition/system_module/task_system.h"
#include "app/startup.h"
#include "core/messages/settings_lock.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"

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
}  // namespace
