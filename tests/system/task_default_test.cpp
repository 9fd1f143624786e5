// The default module on the simulated board: DEFAULT shows the confirmation
// dialog over the screen, cancel closes it and changes nothing, confirm puts
// the modules' settings and the web-control files back to factory.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition/models/y_system.h"
#include "core/state/ids.h"
#include "core/board/eeprom_map.h"
#include "core/messages/msg.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/root.h"
#include "remote/scpi/scpi.h"
#include "remote/web/web_settings.h"
#include "system/default/task_default.h"
#include "tests/bench/bench.h"
#include "tests/bench/eeprom_addresses.h"
#include "ui/display/task_display.h"

namespace {
constexpr uint8_t kDefault = 70, kF1 = 49, kF2 = 50, kHelp = 71, kMenu = 54;
constexpr int kProbeByte = ee::kCh1Probe, kProbe1x = 3, kProbe10x = 4;
constexpr uint32_t kText = 0xC8C8AF;
const char* const kWebFiles[] = {kWebPasswordFile, kWebConfigFile, kFrpcIniFile};

bool DialogListed() {
  const std::vector<int> l = TaskManage.DisplayList();
  return std::find(l.begin(), l.end(), kTaskDefault) != l.end();
}

struct Default : ::testing::Test {
  Bench bench;
  int graticuleByte = EepromItemAddress(kEeDisplay, kDispGraticule);

  void SetUp() override {
    auto e = FormattedEeprom(kTaskDisplay, 0);
    e[EE_SOURCE_ON] = 1;
    e[kProbeByte] = kProbe10x;     // CH1 probe 10X
    e[size_t(graticuleByte)] = 2;  // cross
    bench.SetEeprom(e);
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    SysRunStatus.SetMenuDisplayTimeS(3);
    bench.Pass();
    // Web files changed from their factory contents.
    write_web_factory_files();
    ASSERT_EQ(modify_web_control_password("changed")[0], '{');
    ASSERT_TRUE(save_frp_config({"relay.lab.local", "7001", "7002", "7003"}));
  }
  void TearDown() override {
    if (TaskDefault.GetMsgDisplayFlag()) TaskDefault.DisableMsgDisplay();
  }

  // Pixels of the dialog's area that differ from `before`.
  int Changed(const std::vector<uint32_t>& before) {
    const std::vector<uint32_t> now = bench.Screen();
    int n = 0;
    for (int r = 130; r < 330; ++r)
      for (int c = 200; c < 600; ++c) n += now[size_t(r) * 800 + size_t(c)] != before[size_t(r) * 800 + size_t(c)];
    return n;
  }
  int TextPixels() { return bench.CountPixels(133, 203, 590 - 203, 200 - 133, kText); }
  void ExpectChanged() {
    EXPECT_EQ(bench.EepromByte(kProbeByte), kProbe10x);
    EXPECT_EQ(Vertical.GetYRealprobe(0), kProbe10x);
    EXPECT_EQ(bench.EepromByte(graticuleByte), 2);
    EXPECT_EQ(SysRunStatus.GetDiplayGraticule(), 2);
    EXPECT_NE(ReadRootFile(kFrpcIniFile).find("relay.lab.local"), std::string::npos);
  }
  void ExpectFactory() {
    EXPECT_EQ(bench.EepromByte(kProbeByte), kProbe1x);
    EXPECT_EQ(Vertical.GetYRealprobe(0), kProbe1x);
    EXPECT_EQ(bench.EepromByte(graticuleByte), 0);
    EXPECT_EQ(SysRunStatus.GetDiplayGraticule(), 0);
    EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskCh1);
    EXPECT_EQ(TaskDefault.GetMsgDisplayFlag(), 0);
    EXPECT_FALSE(DialogListed());
    EXPECT_TRUE(bench.ShellRan("killall frpc"));
    // The web files hold what the factory writer puts into a fresh root.
    std::vector<std::string> written;
    for (const char* f : kWebFiles) written.push_back(ReadRootFile(f));
    for (const char* f : kWebFiles) RemoveRootFile(f);
    write_web_factory_files();
    for (size_t i = 0; i < written.size(); ++i) EXPECT_EQ(written[i], ReadRootFile(kWebFiles[i])) << kWebFiles[i];
  }
};

TEST_F(Default, TheKeyShowsTheDialogAndCancelChangesNothing) {
  ASSERT_NE(defaultTitle, nullptr);
  ASSERT_NE(defaultTxt, nullptr);
  EXPECT_EQ(defaultTitle[0], 'F');
  EXPECT_EQ(defaultTxt[0], 'R');
  const std::vector<uint32_t> before = bench.Screen();
  bench.Key(kDefault);
  bench.Pass();
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskDefault);
  EXPECT_EQ(TaskDefault.GetMsgDisplayFlag(), 1);
  EXPECT_TRUE(DialogListed());
  EXPECT_EQ(DefaultSaveLastTaskId, kTaskDisplay);
  EXPECT_GT(Changed(before), 1000);
  EXPECT_GT(TextPixels(), 100);

  bench.Key(kDefault);  // a second press keeps the module to return to
  EXPECT_EQ(DefaultSaveLastTaskId, kTaskDisplay);

  bench.Key(kF2);  // cancel
  bench.Pass();
  EXPECT_EQ(TaskDefault.GetMsgDisplayFlag(), 0);
  EXPECT_FALSE(DialogListed());
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskDisplay);
  EXPECT_EQ(TextPixels(), 0);
  ExpectChanged();
}

TEST_F(Default, ConfirmRestoresTheFactorySetup) {
  bench.Key(kDefault);
  ExpectChanged();
  bench.Key(kF1);
  EXPECT_EQ(QelMsg.GetMessageID(), 14);
  bench.Pass();
  ExpectFactory();
  EXPECT_EQ(TextPixels(), 0);
}

TEST_F(Default, ConfirmWithoutTheDialogOnlyAsks) {
  TaskManage.ActiveTask(kTaskDefault, 0);
  bench.Key(kF1);
  EXPECT_EQ(TaskDefault.GetMsgDisplayFlag(), 1);
  EXPECT_TRUE(DialogListed());
  ExpectChanged();
}

TEST_F(Default, RemoteKeyResetsWithoutTheDialog) {
  TaskDefaultInstrStandard[0].handler(nullptr, nullptr);  // "KEY:DEFault"
  ExpectChanged();
  bench.Pass();
  ExpectFactory();
}

TEST_F(Default, KeyLockCommands) {
  char on[] = "ON", off[] = "0", bad[] = "MAYBE";
  TaskDefaultInstrStandard[1].handler(nullptr, on);
  EXPECT_EQ(KeyBoard.KeyValueIsLock(kDefault), 1);
  TaskDefaultInstrStandard[1].handler(nullptr, bad);
  EXPECT_EQ(KeyBoard.KeyValueIsLock(kDefault), 1);
  TaskDefaultInstrStandard[1].handler(nullptr, nullptr);  // missing: nothing changes
  EXPECT_EQ(KeyBoard.KeyValueIsLock(kDefault), 1);
  bench.Key(kDefault);  // locked: no dialog
  EXPECT_EQ(TaskDefault.GetMsgDisplayFlag(), 0);
  TaskDefaultInstrStandard[1].handler(nullptr, off);
  EXPECT_EQ(KeyBoard.KeyValueIsLock(kDefault), 0);
}

TEST_F(Default, OtherWaysOutCloseTheDialogWithoutAReset) {
  // The menu key.
  bench.Key(kDefault);
  bench.Key(kMenu);
  EXPECT_EQ(TaskDefault.GetMsgDisplayFlag(), 0);
  EXPECT_FALSE(DialogListed());
  // Another module's key.
  bench.Key(kDefault);
  ASSERT_EQ(TaskDefault.GetMsgDisplayFlag(), 1);
  bench.Key(61);  // DISPLAY
  EXPECT_EQ(TaskDefault.GetMsgDisplayFlag(), 0);
  EXPECT_FALSE(DialogListed());
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskDisplay);
  // Switching functions off, and cancelling after HELP was current: CH1.
  bench.Key(kHelp);
  bench.Key(kDefault);
  EXPECT_EQ(DefaultSaveLastTaskId, 20);
  TaskDefault.FunctionOnOff(0);
  EXPECT_EQ(TaskDefault.GetMsgDisplayFlag(), 0);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskCh1);
  TaskDefault.FunctionOnOff(0);  // nothing pending: the current module stays
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskCh1);
  ExpectChanged();
}

TEST_F(Default, MissingOrUnmarkedTextLeavesTheTextsUnset) {
  EXPECT_EQ(TaskDefault.LoadDefaultInfo(nullptr), -1);
  EXPECT_EQ(defaultTitle, nullptr);
  EXPECT_EQ(TaskDefault.LoadDefaultInfo("Data/Menu/English/Nothing.txt"), -1);
  const std::string path = "Data/Menu/English/OneMark.txt";
  {
    std::ofstream f(std::filesystem::path(plat::RootDir()) / path, std::ios::binary);
    f.write("\xFF\xFE*\0T\0", 6);
  }
  EXPECT_EQ(TaskDefault.LoadDefaultInfo(path.c_str()), -1);
  EXPECT_EQ(defaultTxt, nullptr);
  {
    std::ofstream f(std::filesystem::path(plat::RootDir()) / path, std::ios::binary);
    f.write("\xFF\xFE*\0T\0*\0B\0", 10);
  }
  EXPECT_EQ(TaskDefault.LoadDefaultInfo(path.c_str()), 0);
  EXPECT_EQ(defaultTitle[0], 'T');
  EXPECT_EQ(defaultTxt[0], 'B');
  EXPECT_EQ(defaultTxt[1], 0);
  // The dialog still draws, with the texts of the file.
  TaskDefault.EnableMsgDisplay();
  bench.Pass();
  EXPECT_EQ(TaskDefault.LoadLanguage(), 0);
}
}  // namespace
