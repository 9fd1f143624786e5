// The main loop as scopeapp runs it: roll frames paced to the screen's 60 a
// second, an idle loop that sleeps until its next timer, and the wake-ups
// that end that sleep early.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "acquisition/models/x_system.h"
#include "app/startup.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "platform/devices/panel.h"
#include "tests/bench/bench.h"

namespace {
constexpr uint16_t kRollWaitingReg = 784;  // read by every roll read
constexpr int kRollTimeBase = 30;          // 100 ms/div: the auto sweep rolls
constexpr int64_t kFrameMs = 17;           // a little over 1/60 s
constexpr int64_t kFrameUs = 1000000 / 60;
constexpr int kPacedPasses = 200;

TEST(MainLoopIdle, RollFramesArePacedToSixtyASecond) {
  Bench bench;
  ASSERT_EQ(bench.Start(), 0);
  TimeBase.SetRealTimeBase(0, kRollTimeBase);
  TimeBase.AdjTimeBase(0, 0);
  bench.Pass();
  ASSERT_EQ(SysRunStatus.GetWaveType(), 3);
  ASSERT_NE(SysRunStatus.GetAcquireStatus(0), 4);

  // Paced passes 1 ms apart on a clock only the test moves (the threads
  // stopped, the clock held): a frame (the roll data read) only when one is
  // due, however long a pass takes on a loaded machine.
  bench.StopThreads();
  plat::HoldVirtualClock(true);
  const int before = bench.Fpga().ReadCount(kRollWaitingReg);
  const int64_t t0 = plat::MonoUs();
  int frames = 0;
  for (int i = 0; i < kPacedPasses; ++i) {
    if (ScopeMainPass(true)) ++frames;
    EXPECT_LE(IdleWaitMs(), kFrameMs);  // the loop never sleeps past the next frame
    bench.AdvanceMs(1);
  }
  const int64_t elapsed = plat::MonoUs() - t0;
  EXPECT_GE(frames, 2);
  EXPECT_LE(frames, elapsed / kFrameUs + 1);
  // Every frame reads (once, or twice when data came), no other pass does.
  const int reads = bench.Fpga().ReadCount(kRollWaitingReg) - before;
  EXPECT_GE(reads, frames);
  EXPECT_LE(reads, 2 * frames);
  // Unpaced (the bench's passes) every pass reads.
  const int paced = bench.Fpga().ReadCount(kRollWaitingReg);
  bench.Pass(2);
  EXPECT_GE(bench.Fpga().ReadCount(kRollWaitingReg), paced + 2);
}

// A roll frame composes the new samples on the page kept from the last
// drawing; the page must stay what a fresh drawing shows, also after a setting
// the frame takes on changed (the channel's position, moved as a remote
// command moves it, with no redraw asked for).
TEST(MainLoopIdle, RollFramesShowThePageAFreshDrawingShows) {
  Bench bench;
  ASSERT_EQ(bench.Start(), 0);
  TimeBase.SetRealTimeBase(0, kRollTimeBase);
  TimeBase.AdjTimeBase(0, 0);
  bench.Pass();
  ASSERT_EQ(SysRunStatus.GetWaveType(), 3);
  bench.StopThreads();
  plat::HoldVirtualClock(true);  // no samples arrive: frames differ only by their page
  bench.Pass(3);

  auto freshPage = [&] {
    SysRunStatus.SetDrawRefresh();
    bench.Pass();
    return bench.Screen();
  };
  const std::vector<uint32_t> kept = bench.Screen();
  ASSERT_FALSE(kept.empty());
  EXPECT_TRUE(kept == freshPage());

  _SysRunInfo* info = SysRunStatus.GetSysRunInfoBaseAddr();
  const std::vector<uint32_t> before = bench.Screen();
  info->vertical[0].position = int16_t(info->vertical[0].position + 40);
  bench.Pass(2);
  const std::vector<uint32_t> moved = bench.Screen();
  EXPECT_FALSE(moved == before);  // the channel's marker moved
  EXPECT_TRUE(moved == freshPage());
}

// Idle, the loop sleeps until its next timer: the composer's half-second
// frame or the 300 ms acquisition poll, never more than a tenth of a second.
TEST(MainLoopIdle, AnIdleLoopSleepsUntilItsNextTimer) {
  Bench bench;
  ASSERT_EQ(bench.Start(), 0);
  SysRunStatus.SetAcquireStatus(0, 4);  // stopped: nothing arrives
  bench.Pass();
  const int ms = IdleWaitMs();
  EXPECT_GE(ms, 1);
  EXPECT_LE(ms, 100);
  bench.AdvanceMs(ms);
  bench.Pass();
  EXPECT_GE(IdleWaitMs(), 1);
}

// A wake-up from another thread ends the idle wait at once, whether it comes
// before the wait starts or during it; the deadline is far beyond it.
TEST(MainLoopIdle, AWakeUpFromAnotherThreadEndsTheWait) {
  Bench bench;
  ASSERT_EQ(bench.Start(), 0);
  plat::UseVirtualClock(false);  // a real sleep in IdleWait
  constexpr int kLongWaitMs = 60000;
  for (int round = 0; round < 2; ++round) {
    std::atomic<bool> started{false};
    std::thread waker([&] {
      while (!started) std::this_thread::yield();
      plat::NotifyIdle();  // from another thread: wakes
    });
    const auto t0 = std::chrono::steady_clock::now();
    started = true;
    plat::IdleWait(kLongWaitMs);
    waker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(kLongWaitMs / 2));
  }
}
}  // namespace
