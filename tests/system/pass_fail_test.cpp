// The pass/fail test on the simulated board: a mask from a clean sine, the
// acquisitions of a sine that leaves it counted as fails and those of the
// clean sine as passes, the stop on the first fail, the result box, and the
// utility SCPI commands' replies through the SCPI thread and its worker.
#include <gtest/gtest.h>

#include <string>

#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/shell.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "system/utility/ip_config.h"
#include "system/utility/pass_fail.h"
#include "system/utility/task_utility.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr uint8_t kF1 = 49, kF2 = 50, kF5 = 53;
constexpr uint32_t kWhite = 0xFFFFFF;

plat::TestSignal Sine(double amp) {
  plat::TestSignal s;
  s.shape = plat::SignalShape::kSine;
  s.frequencyHz = 1000;
  s.amplitudeV = amp;
  return s;
}

struct PassFail : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(kTaskUtility, 1));
    bench.Fpga().SetSignal(0, Sine(1.0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 1;
    bench.Pass(3);
  }
  // One acquisition each, read and compared by the next pass.
  void Acquire(int n) {
    for (int i = 0; i < n; ++i) {
      WaveOp.RequestChData(1);
      if (!bench.Fpga().AcquireNow()) return;
      bench.Pass();
    }
  }
  void Counts(int* pass, int* fail) { WaveOp.GetPassFailTimes(pass, fail); }
  // Enable with the mask from CH1, then run.
  void StartTest() {
    TaskUtility.TaskMenu.SetCurrPage(kUtiPageUtility2 * 5);
    bench.Key(kF1);  // PassFail
    ASSERT_EQ(TaskUtility.TaskMenu.GetCurrPage(), kUtiPagePf1);
    bench.Key(kF1);  // Enable: the mask from CH1
    ASSERT_EQ(TaskUtility.TaskMenu.GetMenuItem(kUtiPfEnable), 1u);
    Acquire(3);      // the engine builds the mask on the next record
    bench.Key(kF2);  // Operate
    ASSERT_EQ(GetPassFail_Run_Status(), 1);
  }
};

struct UtilityScpi : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(kTaskCh1, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    ASSERT_EQ(0, StartScpiThread());
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("KEY:UTIL:LOCK?").empty());
  }
};
}  // namespace

TEST_F(PassFail, CleanSinePassesAndALargerOneFailsEveryAcquisition) {
  StartTest();
  Acquire(10);
  int pass = 0, fail = 0;
  Counts(&pass, &fail);
  EXPECT_GT(pass, 0);
  EXPECT_EQ(fail, 0);
  const int passesBefore = pass;

  bench.Fpga().SetSignal(0, Sine(1.6));  // outside the mask's 5 codes everywhere near the peaks
  Acquire(10);
  Counts(&pass, &fail);
  EXPECT_GT(fail, 0);
  EXPECT_LE(pass, passesBefore + 1);  // at most the record in flight when the signal changed
  bench.Pass();
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & 0x800);
  EXPECT_TRUE(TaskUtility.GetFunBits() & kUtiDlgPassFail);
  EXPECT_TRUE(bench.ShellRan("echo 1 > /sys/class/pwm/pwmchip4/pwm0/enable"));  // the beep
  EXPECT_EQ(bench.Pixel(50, 50), 0x616161u);  // the result box's frame
}

TEST_F(PassFail, StopOnTheFirstFailStopsTheAcquisition) {
  TaskUtility.TaskMenu.SetMenuItem(kUtiPfStopType, 1);  // count fails
  TaskUtility.TaskMenu.SetMenuItem(kUtiPfThreshold, 1);
  StartTest();
  Acquire(5);
  int pass = 0, fail = 0;
  Counts(&pass, &fail);
  ASSERT_EQ(fail, 0);
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0) == 4, false);
  bench.Fpga().SetSignal(0, Sine(1.6));
  Acquire(10);
  Counts(&pass, &fail);
  EXPECT_EQ(fail, 1);
  EXPECT_EQ(GetPassFail_Run_Status(), 0);
  EXPECT_EQ(TaskUtility.TaskMenu.GetMenuItem(kUtiPfOperate), 0u);
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), 4);  // RUN/STOP was pressed: stopped
  bench.Pass();
  EXPECT_TRUE(bench.WriteScreenPng("passfail-stopped.png"));
}

TEST_F(UtilityScpi, SettingsAndQueriesAnswerInTheirWords) {
  EXPECT_EQ(Ask("SYSTem:LANGuage?"), "ENGLish\r\n");
  Set("SYST:LANG SIMP");
  EXPECT_EQ(Ask("SYST:LANG?"), "SIMPlifiedchinese\r\n");
  Set("SYST:LANG 0");
  EXPECT_EQ(Ask("SYST:LANG?"), "ENGLish\r\n");
  Set("SYST:LANG KLINGON");  // not a keyword: nothing changes
  EXPECT_EQ(Ask("SYST:LANG?"), "ENGLish\r\n");

  Set("SYSTem:SQUare:SELect 10KHz");
  EXPECT_EQ(Ask("SYST:SQU:SEL?"), "10KHz\r\n");
  EXPECT_EQ(bench.Fpga().Word(64), 3);
  Set("SYST:OUTP:SEL PASS_FAIL");
  EXPECT_EQ(Ask("SYST:OUTP:SEL?"), "PASS_FAIL\r\n");
  EXPECT_EQ(bench.Fpga().Word(70), 1);
  Set("SYST:CYMO OFF");
  EXPECT_EQ(Ask("SYST:CYMO?"), "0\r\n");

  Set("PF:STOP:THReshold 0");
  EXPECT_EQ(Ask("PF:STOP:THR?"), "1\r\n");
  Set("PF:STOP:THR 40000");
  EXPECT_EQ(Ask("PF:STOP:THR?"), "30000\r\n");
  Set("PF:TEMPlate:X 0");
  EXPECT_EQ(Ask("PF:TEMP:X?"), "1\r\n");
  Set("PF:TEMP:Y 250");
  EXPECT_EQ(Ask("PF:TEMP:Y?"), "100\r\n");
  Set("PF:STOP:TYPe FCOUNT");
  EXPECT_EQ(Ask("PF:STOP:TYP?"), "FCOUNT\r\n");
  Set("PF:STOP:QUALifier LEQual");
  EXPECT_EQ(Ask("PF:STOP:QUAL?"), "LEQual\r\n");
  Set("PF:OUTPut PASS");
  EXPECT_EQ(Ask("PF:OUTP?"), "PASS\r\n");
  EXPECT_EQ(Ask("PF:OPERate?"), "STOP\r\n");
  EXPECT_EQ(Ask("PF:TEMPlate:SOURce?"), "CHANnel1\r\n");
  EXPECT_EQ(Ask("PF:SOURCe?"), "CHANnel1\r\n");
  EXPECT_EQ(Ask("PF:RESult?"), "0,0,0\r\n");
  EXPECT_EQ(Ask("PF:ENABle?"), "0\r\n");
}

// Whole numbers in exponent notation are read whole: past the limit they
// clamp, in range they count (strtol read "1e12" as 1).
TEST_F(UtilityScpi, ExponentNumbersAreReadWhole) {
  Set("PF:STOP:THR 1e12");
  EXPECT_EQ(Ask("PF:STOP:THR?"), "30000\r\n");
  Set("PF:STOP:THR 2.5e2");
  EXPECT_EQ(Ask("PF:STOP:THR?"), "250\r\n");
  Set("PF:STOP:THR -1e12");
  EXPECT_EQ(Ask("PF:STOP:THR?"), "1\r\n");
}

TEST_F(UtilityScpi, NetworkClockAndVersion) {
  Set("SYSTem:COMMunicate:LAN:SMASK 255.255.0.0");
  Set("SYST:COMM:LAN:GATE 10.0.0.254");
  Set("SYST:COMM:LAN:IPAD 10.0.300.7");  // 300 kept to a byte: 44
  EXPECT_EQ(Ask("SYST:COMM:LAN:IPAD?"), "10.0.44.7\r\n");
  EXPECT_EQ(Ask("SYST:COMM:LAN:SMASK?"), "255.255.0.0\r\n");
  EXPECT_EQ(Ask("SYST:COMM:LAN:GATE?"), "10.0.0.254\r\n");
  EXPECT_EQ(Ask("SYST:COMM:LAN:MAC?"), "0-1e-c0-4a-7b-21\r\n");
  EXPECT_EQ(Ask("SYST:COMM:LAN:DHCP?"), "1\r\n");  // a blank EEPROM: the automatic address

  Set("SYSTem:RTC 2031,2,3,4,5,6");
  EXPECT_TRUE(bench.ShellRan("date -s \"2031-2-3 4:5:6\""));
  const std::string rtc = Ask("SYST:RTC?");
  EXPECT_EQ(rtc.rfind("2031,2,3,4,5,", 0), 0u) << rtc;

  WriteRootFile("Data/Information", "[HARDWARE] 1.2\n[SOFTWARE] 3.4\n[DATE] 2026-12-09\n[PROTOCOL] 5.6\n");
  TaskUtility.LoadSysInformation();
  EXPECT_EQ(Ask("SYSTem:VERSion?"), "HW:1.2;SW:3.4;PD:2026-12-09;ICV:5.6\r\n");
  const std::string row(kInfoChars - 1, 'x');
  WriteRootFile("Data/Information", "[HARDWARE] " + row + "\n[SOFTWARE] " + row + "\n[DATE] " + row +
                                        "\n[PROTOCOL] " + row + "\n");
  TaskUtility.LoadSysInformation();
  const std::string v = Ask("SYST:VERS?");
  EXPECT_EQ(v.size(), 100u + 2);  // cut to its 100 characters
}

namespace {
int Count(const std::vector<std::string>& log, const std::string& line) {
  int n = 0;
  for (const auto& l : log) n += l == line ? 1 : 0;
  return n;
}
const char kBeepOn[] = "echo 1 > /sys/class/pwm/pwmchip4/pwm0/enable";
const char kBeepOff[] = "echo 0 > /sys/class/pwm/pwmchip4/pwm0/enable";
}  // namespace

// The running test switches the beeper (a shell command on the board) only
// when its state changes: once on for a new fail, once off half a second
// later, and not at all on the redraws in between.
TEST_F(PassFail, TheBeeperIsSwitchedOnlyWhenItChanges) {
  StartTest();
  Acquire(2);
  bench.Pass(5);  // the record in flight is read
  plat::ClearShellLog();
  Acquire(10);  // passing records only: nothing to beep for
  EXPECT_EQ(0, Count(bench.ShellLog(), kBeepOff) + Count(bench.ShellLog(), kBeepOn));
  bench.Fpga().SetSignal(0, Sine(1.6));
  Acquire(3);  // new fails: the beep sounds
  bench.Pass(5);
  int pass = 0, fail = 0;
  Counts(&pass, &fail);
  ASSERT_GT(fail, 0);
  EXPECT_GE(Count(bench.ShellLog(), kBeepOn), 1);
  EXPECT_EQ(0, Count(bench.ShellLog(), kBeepOff)) << "within the half second";
  // Half a second on, the beep ends: one switch off, then at most one more
  // beep for a fail still counted from the records read meanwhile.
  bench.AdvanceMs(600);
  plat::ClearShellLog();
  for (int i = 0; i < 10; ++i) {  // redraws, each half a second on
    bench.AdvanceMs(500);
    bench.Pass();
  }
  std::vector<std::string> switches;
  for (const auto& l : bench.ShellLog())
    if (l == kBeepOn || l == kBeepOff) switches.push_back(l);
  ASSERT_GE(switches.size(), 1u);
  EXPECT_EQ(kBeepOff, switches.front());
  EXPECT_LE(switches.size(), 2u) << "not once per redraw";
}

// The shell's log keeps the last commands only, however many run.
TEST(ShellLog, KeepsTheLastCommandsOnly) {
  Bench bench;
  plat::ClearShellLog();
  for (size_t i = 0; i < 3 * plat::kShellLogLines; ++i)
    plat::ShellSystem(("sync # " + std::to_string(i)).c_str());
  const std::vector<std::string> log = plat::ShellLog();
  ASSERT_EQ(plat::kShellLogLines, log.size());
  EXPECT_EQ("sync # " + std::to_string(2 * plat::kShellLogLines), log.front());
  EXPECT_EQ("sync # " + std::to_string(3 * plat::kShellLogLines - 1), log.back());
}
