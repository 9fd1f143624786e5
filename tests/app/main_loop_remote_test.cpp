// Remote commands beside the main loop: the SCPI worker changes settings
// while a pass replays the knob operations queued for after a read-out. A
// command never runs among a pass's changes, so what it set stands after the
// pass.
#include <gtest/gtest.h>

#include <thread>

#include "acquisition/system_module/task_system.h"
#include "app/startup.h"
#include "core/state/sys_run_info.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"

namespace {
constexpr uint16_t kDrawStatusReg = 820;  // bits 8-11: the drawing state
constexpr int kDrawingBusy = 1, kDrawingIdle = 5;
constexpr int kStopped = 4;

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
}  // namespace
