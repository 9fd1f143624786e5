// Start-up and the main loop on the simulated board.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include "acquisition/channel/task_ch1.h"
#include "acquisition/horizontal/task_hori_service.h"
#include "acquisition/system_module/task_system.h"
#include "app/startup.h"
#include "core/board/eeprom_map.h"
#include "core/input/rs232.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "platform/devices/i2c.h"
#include "platform/root.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/sim/fpga/sim_fpga_config.h"
#include "system/utility/task_utility.h"
#include "tests/bench/bench.h"
#include "tests/bench/eeprom_addresses.h"
#include "tests/bench/screen_text.h"
#include "trigger/analog/task_trigger.h"
#include "ui/display/task_display.h"
#include "ui/screen/qel_draw.h"

namespace {
void StoreFiles() {
  WriteRootFile("Data/Storage/Set/a.dat", "setup");
  WriteRootFile("Data/Storage/Wave/b.wav", "wave");
}

bool StoredFilesKept() {
  return RootFileExists("Data/Storage/Set/a.dat") && RootFileExists("Data/Storage/Wave/b.wav");
}
}  // namespace

TEST(Startup, FreshEepromResetsDeletesStoredFilesAndFormats) {
  Bench bench;
  StoreFiles();
  ASSERT_EQ(bench.Start(), 0);
  EXPECT_FALSE(RootFileExists("Data/Storage/Set/a.dat"));
  EXPECT_FALSE(RootFileExists("Data/Storage/Wave/b.wav"));
  EXPECT_EQ(bench.EepromByte(EE_FORMAT_MARK), kEepromFormatMark);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 6);  // blank saved task (-1): CH1
  EXPECT_EQ(TaskManage.GetSysTaskNum(), 14);
}

// A kill during a save, an export or a screenshot leaves "<name>.part" in the
// folder written; start-up removes those, and only those: finished files and
// a user's own ".part" files elsewhere on the disk stay. A video conversion
// killed while it wrote its AVI leaves the AVI, which goes too.
TEST(Startup, RemovesWhatWritesCutShortLeft) {
  Bench bench;
  bench.SetEeprom(MarkedEeprom());
  const char* leftovers[] = {
      "Data/Storage/Set/a.dat.part",       "udisk/KOLV/Set/s.dat.part",
      "udisk/KOLV/Wave/w.csv.part",        "udisk/Storage/Wave/w.wav.part",
      "udisk/Storage/Decode/i2c.csv.part", "udisk/QelPrtSc/QelPrtsc-007.bmp.part"};
  const char* kept[] = {
      "Data/Storage/Set/a.dat",  "udisk/KOLV/Wave/w.csv", "udisk/QelPrtSc/QelPrtsc-001.bmp",
      "udisk/download.zip.part", "udisk/Mine/film.part",  "udisk/clip.mp4"};
  for (const char* f : leftovers) WriteRootFile(f, "cut");
  for (const char* f : kept) WriteRootFile(f, "whole");
  WriteRootFile("udisk/clip.avi", "half an AVI");
  WriteRootFile("Data/VideoConversion", "clip\nwriting\n");
  ASSERT_EQ(bench.Start(), 0);
  for (const char* f : leftovers) EXPECT_FALSE(RootFileExists(f)) << f;
  for (const char* f : kept) EXPECT_EQ(ReadRootFile(f), "whole") << f;
  EXPECT_FALSE(RootFileExists("udisk/clip.avi"));
  EXPECT_FALSE(RootFileExists("Data/VideoConversion"));
}

// The reset's first pass reads settings the modules' Defaults then replace
// (blank bytes, or the system module's cleared block): none of them is taken
// as a damaged setting, and the display ends on its factory values.
TEST(Startup, ResetTakesNoClearedByteForADamagedSetting) {
  Bench bench;
  testing::internal::CaptureStdout();
  ASSERT_EQ(bench.Start(), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("GridBright: stored"), std::string::npos);
  EXPECT_EQ(out.find("stored 0 lies outside its range"), std::string::npos);
  EXPECT_EQ(out.find("Hori StartTest: stored"), std::string::npos);
  EXPECT_EQ(bench.EepromByte(ee::kDispGridBright), 50);
  EXPECT_EQ(bench.EepromByte(ee::kDispWaveBright), 50);
  EXPECT_EQ(bench.EepromByte(ee::kDispBackLight), 50);
}

TEST(Startup, FormattedEepromRestoresTheSavedModule) {
  Bench bench;
  bench.SetEeprom(FormattedEeprom(12, 0));
  StoreFiles();
  ASSERT_EQ(bench.Start(), 0);
  EXPECT_TRUE(StoredFilesKept());
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 12);
}

// The trigger module sets its own page while it registers; the page saved
// before start-up is still the one shown, and the byte keeps it.
TEST(Startup, FormattedEepromRestoresTheSavedMenuPage) {
  Bench bench;
  bench.SetEeprom(FormattedEeprom(kTaskDisplay, 1));
  ASSERT_EQ(bench.Start(), 0);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskDisplay);
  EXPECT_EQ(TaskDisplay.TaskMenu.GetCurrPage(), 1);
  EXPECT_EQ(bench.EepromByte(EE_TASK_PAGE), 1);
  bench.Key(kKeyF5);  // the page after it, saved in its turn
  EXPECT_EQ(TaskDisplay.TaskMenu.GetCurrPage(), 2);
  EXPECT_EQ(bench.EepromByte(EE_TASK_PAGE), 2);
}

// A board in factory mode says so on every frame: from start-up on, and on
// the next frame once the mode is switched without a key (no full redraw).
TEST(Startup, FactoryModeTextOnEveryFrame) {
  Bench bench;
  auto e = FormattedEeprom(kTaskCh1, 0);
  e[EE_FACTORY_MODE] = 1;
  bench.SetEeprom(e);
  ASSERT_EQ(bench.Start(), 0);
  bench.StopThreads();
  bench.Pass();
  EXPECT_TRUE(ShowsText(bench, 430, 578, "Single Board", 2, 0x01F801));
  const auto setMode = [&bench](int mode) {
    TaskManage.SetUserTaskMenuItem(kTaskHorizontal, kGainFactoryMode, uint64_t(mode));
    Gain50mv_FactoryMode(keypara{KEY_NO_KEY, 0, 0});
    bench.AdvanceMs(600);
    bench.Pass();
  };
  setMode(0);
  EXPECT_FALSE(ShowsText(bench, 430, 578, "Single Board", 2, 0x01F801));
  setMode(1);
  EXPECT_TRUE(ShowsText(bench, 430, 578, "Single Board", 2, 0x01F801));
}

TEST(Startup, DefaultKeyInTheFirstSecondResetsWithoutDeletingFiles) {
  Bench bench;
  bench.SetEeprom(FormattedEeprom(12, 0));
  StoreFiles();
  bench.PanelByte(70);
  ASSERT_EQ(bench.Start(), 0);
  EXPECT_TRUE(StoredFilesKept());
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 6);
}

TEST(Startup, ResetRequestByteResets) {
  Bench bench;
  auto e = FormattedEeprom(12, 0);
  e[EE_RESET_ALL] = 1;
  bench.SetEeprom(e);
  ASSERT_EQ(bench.Start(), 0);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 6);
}

TEST(Startup, UnreadableEepromIsNotUnformatted) {
  Bench bench;
  StoreFiles();
  plat::SimI2cTransfersFail(true);
  ASSERT_EQ(bench.Start(), 0);
  EXPECT_TRUE(StoredFilesKept());
  EXPECT_FALSE(bench.ShellRan("rm Data/Storage/Set/*.dat"));
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 6);
}

TEST(Startup, UnregisteredSavedTaskStartsOnCh1) {
  Bench bench;
  bench.SetEeprom(FormattedEeprom(3, 9));
  ASSERT_EQ(bench.Start(), 0);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 6);
}

TEST(Startup, ActiveChannelAboveOneBecomesZeroAndIsWrittenBack) {
  Bench bench;
  bench.SetEeprom(FormattedEeprom(6, 0, 5));
  ASSERT_EQ(bench.Start(), 0);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 0);
  EXPECT_EQ(bench.EepromByte(EE_ACTIVE_CH), 0);
}

TEST(Startup, ActiveChannelOneIsKept) {
  Bench bench;
  bench.SetEeprom(FormattedEeprom(6, 0, 1));
  ASSERT_EQ(bench.Start(), 0);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 1);
}

TEST(Startup, ShellCommandsAreRecordedNotRunOnTheHost) {
  Bench bench;
  ASSERT_EQ(bench.Start(), 0);
  bench.Stop();
  EXPECT_TRUE(bench.ShellRan("/etc/init.d/networking restart"));
  EXPECT_TRUE(bench.ShellRan("killall Lullgate"));
  std::ifstream log(plat::DevPath("shell.log"));
  std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  // The simulated board answers the restart from its own state.
  EXPECT_NE(all.find("answered /etc/init.d/networking restart"), std::string::npos);
  EXPECT_NE(all.find("recorded killall Lullgate"), std::string::npos);
  EXPECT_EQ(all.find("run      killall"), std::string::npos);
}

TEST(Startup, ProbeRetriesElevenTimesThenReconfiguresTheBus) {
  Bench bench;
  bench.SetEeprom(FormattedEeprom(6, 0));
  plat::SimFpga::Faults f;
  f.probeNoAnswer = true;
  bench.Fpga().SetFaults(f);
  auto done = bench.StartHalting();  // the register check fails too: halt
  EXPECT_GT(QelDraw.HardwareCheckShown(), 0);
  bench.Stop();
  EXPECT_EQ(done.get(), -1);
  int probes = 0;
  for (auto& [word, value] : bench.Fpga().Log())
    if (word == 8 && value == 0xA5) ++probes;
  EXPECT_EQ(probes, 12);  // eleven tries, then the hardware check's own
  EXPECT_EQ(bench.Fpga().Reconfigurations(), 1);
}


TEST(Startup, AnUnconfiguredFpgaDoesNotAnswerTheProbe) {
  Bench bench;
  plat::SimSetFpgaConfigured(false);  // the loader found no good bitstream
  auto done = bench.StartHalting();
  EXPECT_GT(QelDraw.HardwareCheckShown(), 0);
  bench.Stop();
  EXPECT_EQ(done.get(), -1);
  EXPECT_EQ(bench.Fpga().Reconfigurations(), 1);
}

TEST(Startup, HardwareCheckHaltsOnPllFailure) {
  Bench bench;
  plat::SimFpga::Faults f;
  f.pllFail = true;
  bench.Fpga().SetFaults(f);
  auto done = bench.StartHalting();
  EXPECT_EQ(QelDraw.HardwareCheckShown(), 6);
  bench.Stop();
  EXPECT_EQ(done.get(), -1);
  EXPECT_EQ(TaskManage.GetSysTaskNum(), -1);  // halted before registration
}

TEST(Startup, HardwareCheckReportsAFailedSelfReset) {
  Bench bench;
  plat::SimFpga::Faults f;
  f.selfResetFail = true;
  bench.Fpga().SetFaults(f);
  auto done = bench.StartHalting();
  EXPECT_EQ(QelDraw.HardwareCheckShown(), 7);
  bench.Stop();
  EXPECT_EQ(done.get(), -1);
}

namespace {
struct Running : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(6, 0));
    ASSERT_EQ(bench.Start(), 0);
  }
};
}  // namespace

TEST_F(Running, SoftKeysGoToTheCurrentModule) {
  ASSERT_FALSE(TaskCh1.TaskMenu.MenuIsPop(nullptr));
  bench.Key(49);  // F1: CH1's Coupling opens its list of three choices
  EXPECT_TRUE(TaskCh1.TaskMenu.MenuItemIsPop(0));
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 6);
}

TEST_F(Running, SystemKeysGoToTheSystemModule) {
  const bool wasStopped = SysRunStatus.GetAcquireStatus(0) == 4;
  bench.Key(59);  // RUN/STOP toggles the acquisition
  EXPECT_NE(SysRunStatus.GetAcquireStatus(0) == 4, wasStopped);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 6);
}

TEST_F(Running, AModuleKeySwitchesModuleAndSavesItInTheEeprom) {
  bench.Key(62);  // UTILITY
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 18);
  // The UTILITY key's page handler activates its module once more.
  EXPECT_EQ(TaskManage.GetLastTaskCurrId(), 18);
  EXPECT_EQ(bench.EepromWord(EE_TASK_ID), 18);
  bench.Key(53);  // F5 "Next": the page shown is kept
  EXPECT_EQ(TaskUtility.TaskMenu.GetCurrPage(), 1);
  EXPECT_EQ(bench.EepromByte(EE_TASK_PAGE), 1);
}

TEST_F(Running, RemoteKeysComeFirstAndThePanelKeyWaits) {
  KeyBoard.AppendScpiKey(61, 3);
  bench.Key(59);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 12);  // the remote DISPLAY key
  const bool wasStopped = SysRunStatus.GetAcquireStatus(0) == 4;
  bench.Pass();
  EXPECT_NE(SysRunStatus.GetAcquireStatus(0) == 4, wasStopped);  // then the panel's RUN/STOP
}

TEST_F(Running, LockedKeysRaiseMessage79AndAreDropped) {
  KeyBoard.SetKeyValueLock(61, 1);
  bench.Key(61);
  EXPECT_EQ(QelMsg.GetMessageID(), 79);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 6);
  QelMsg.ClearMessage();
  KeyBoard.KeyLockEnble();
  bench.Key(49);
  EXPECT_EQ(QelMsg.GetMessageID(), 79);
  EXPECT_FALSE(TaskCh1.TaskMenu.MenuIsPop(nullptr));
  KeyBoard.AppendScpiKey(49, 1);  // remote keys are not checked
  bench.Pass();
  EXPECT_TRUE(TaskCh1.TaskMenu.MenuItemIsPop(0));
}

TEST_F(Running, ASoftKeyShowsAHiddenMenuTheSelectKnobDoesNot) {
  SysRunStatus.MenuOnOff();
  ASSERT_FALSE(SysRunStatus.IsMenuStatus());
  bench.Key(76);
  EXPECT_FALSE(SysRunStatus.IsMenuStatus());
  bench.Key(50);
  EXPECT_TRUE(SysRunStatus.IsMenuStatus());
}

TEST_F(Running, AcquisitionStatusFromTheFpga) {
  SysRunStatus.SetAcquireStatus(0, 1);
  const int codes[][2] = {{1, 1}, {2, 2}, {3, 0}, {4, 3}, {6, 0}};
  for (auto& c : codes) {
    bench.Fpga().SetReg(770, uint16_t(c[0]));
    EXPECT_EQ(GetRealSysAcqStatus(), c[1]) << c[0];
    EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), c[1]);
  }
  SysRunStatus.SetAcquireStatus(0, 4);
  EXPECT_EQ(GetRealSysAcqStatus(), 4);  // stopped stays stopped
}

TEST_F(Running, TheFinishedFlagIsPolledEvery300ms) {
  bench.Fpga().SetReg(804, 1);
  SysRunStatus.ClearInterruptFlag();
  SysRefresh();
  bench.AdvanceMs(310);
  SysRefresh();
  EXPECT_EQ(SysRunStatus.GetInterruptFlag(), 1);
  int handled = IntNum;
  bench.Fpga().SetReg(804, 0);
  bench.Pass();
  EXPECT_EQ(IntNum, handled + 1);
  EXPECT_EQ(SysRunStatus.GetInterruptFlag(), 0);
  EXPECT_EQ(bench.Fpga().Word(170), 0);  // raster read bracketed by 170 = 1, 0
}
