// The acquire and help modules' commands through the SCPI thread and its
// worker: each setter reaching the menu item, the simulated FPGA's decoded
// acquisition and the run state; each query's answer byte for byte; numbers
// that are only the start of a keyword refused; the ACQUIRE and HELP keys
// and their locks.
#include <gtest/gtest.h>

#include <string>

#include "acquisition/acquire/task_acquire.h"
#include "acquisition/models/x_system.h"
#include "core/state/ids.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "platform/sim/fpga/sim_decode_timebase.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "system/help/task_help.h"
#include "tests/bench/bench.h"

namespace {
struct AcqScpi : ::testing::Test {
  Bench bench;

  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(6, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();  // only the SCPI thread and its worker run beside the test
    ASSERT_EQ(0, StartScpiThread());
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  // A setter, then a query the worker runs after it: the setter has run.
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("KEY:ACQ:LOCK?").empty());
  }
  int Item(int n) { return int(TaskAcquire.TaskMenu.GetMenuItem(n)); }
};

TEST_F(AcqScpi, ModeCountAndDepthFollowTheirKeywords) {
  EXPECT_EQ(Ask("ACQuire:TYPE?"), "NORMal\r\n");
  Set("ACQuire:TYPE PEAK");
  EXPECT_EQ(Item(kAcqMode), 1);
  EXPECT_EQ(plat::SimDecodedTimebase().acqMode, 1);
  EXPECT_EQ(Ask("ACQ:TYPE?"), "PEAKdetect\r\n");
  Set("ACQ:TYPE hres");  // a lower-case short form: no keyword, nothing changes
  EXPECT_EQ(Ask("ACQ:TYPE?"), "PEAKdetect\r\n");
  Set("ACQ:TYPE HRES");
  EXPECT_EQ(Ask("ACQ:TYPE?"), "HRESolution\r\n");

  // A count switches to averaging.
  Set("ACQuire:AVERages:COUNt 64");
  EXPECT_EQ(Ask("ACQ:AVER:COUN?"), "64\r\n");
  EXPECT_EQ(Ask("ACQ:TYPE?"), "AVERage\r\n");
  int average = -1;
  SysRunStatus.GetAcquireAverage(&average);
  EXPECT_EQ(average, 5);
  EXPECT_EQ(plat::Fpga().Word(112), 5);
  // Numbers that only begin a count are no count.
  for (const char* cut : {"1", "6", "20", "409", "81"}) {
    Set(std::string("ACQ:AVER:COUN ") + cut);
    EXPECT_EQ(Ask("ACQ:AVER:COUN?"), "64\r\n") << cut;
  }
  Set("ACQ:AVER:COUN 2048");
  EXPECT_EQ(Ask("ACQ:AVER:COUN?"), "2048\r\n");
  EXPECT_EQ(plat::Fpga().Word(112), 10);

  Set("ACQuire:MEMory:DEPTh 70K");
  EXPECT_EQ(Item(kAcqMemDepth), 2);
  EXPECT_EQ(plat::SimDecodedTimebase().memoryDepth, 70000u);
  EXPECT_EQ(Ask("ACQ:MEM:DEPT?"), "70K\r\n");
  for (const char* bad : {"7", "700", "BIG", ""}) {
    Set(std::string("ACQ:MEM:DEPT ") + bad);
    EXPECT_EQ(Ask("ACQ:MEM:DEPT?"), "70K\r\n") << bad;
  }
  Set("ACQ:MEM:DEPT AUTO");
  EXPECT_EQ(Ask("ACQ:MEM:DEPT?"), "AUTO\r\n");
}

TEST_F(AcqScpi, NoAveragingWhileAutoSweepRolls) {
  TimeBase.AdjTimeBase(0, 30 - TimeBase.GetRealTimeBase(0));
  ASSERT_EQ(TimeBase.GetRealTimeBase(0), 30);
  Set("ACQ:TYPE AVER");
  EXPECT_EQ(Ask("ACQ:TYPE?"), "NORMal\r\n");
  Set("ACQ:AVER:COUN 16");
  EXPECT_EQ(Ask("ACQ:TYPE?"), "NORMal\r\n");
  EXPECT_EQ(Ask("ACQ:AVER:COUN?"), "2\r\n");
}

TEST_F(AcqScpi, AcquireAndHelpKeysAndTheirLocks) {
  const struct {
    const char* name;
    int code;
  } keys[] = {{"ACQuire", kKeyAcquire}, {"HELP", kKeyHelp}};
  for (const auto& k : keys) {
    SCOPED_TRACE(k.name);
    const std::string key = std::string("KEY:") + k.name;
    EXPECT_EQ(Ask(key + ":LOCK?"), "0\r\n");
    Set(key + ":LOCK ON");
    EXPECT_EQ(KeyBoard.KeyValueIsLock(k.code), 1);
    EXPECT_EQ(Ask(key + ":LOCK?"), "1\r\n");
    Set(key + ":LOCK MAYBE");
    Set(key + ":LOCK");
    EXPECT_EQ(Ask(key + ":LOCK?"), "1\r\n");
    Set(key + ":LOCK 0");
    EXPECT_EQ(Ask(key + ":LOCK?"), "0\r\n");
    Set(key);
    int code = 0, step = -1;
    ASSERT_EQ(KeyBoard.GetScpiKey(&code, &step), 0);
    EXPECT_EQ(code, k.code);
    EXPECT_EQ(step, 0);
  }
}
}  // namespace
