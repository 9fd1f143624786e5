// The web screen input on the simulated board: clicks, drags and wheel turns
// on the screen picture become the front-panel keys the Part's tables give,
// and through the main loop change the instrument as those keys do.
#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "acquisition/channel/task_ch1.h"
#include "acquisition/channel/task_ch2.h"
#include "acquisition/models/y_system.h"
#include "core/input/rs232.h"
#include "core/messages/msg.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "remote/web/web_control.h"
#include "remote/web/web_screen_input.h"
#include "remote/web/web_settings.h"
#include "remote/ws/ws_server.h"
#include "system/recorder/recorder.h"
#include "system/recorder/recorder_pages.h"
#include "system/storage/task_storage.h"
#include "system/utility/task_utility.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_draw.h"

namespace {
using Keys = PostedKeys;

struct WebInput : ::testing::Test {
  Bench b;
  void SetUp() override {
    b.SetEeprom(FormattedEeprom(kTaskCh1, 0));
    ASSERT_EQ(b.Start(), 0);
    b.StopThreads();
    SysRunStatus.SetMenuDisplayTimeS(3);
    SysRunInfo.sourceOn = 1;
    SysRunInfo.activeCh = 0;
    Vertical.SetRealYposition(0, 127);  // CH1's marker at row 233
    if (!SysRunStatus.IsMenuStatus()) SysRunStatus.MenuOnOff();
    b.Pass();
    Posted();
  }
  // The keys posted to the remote key ring since the last call.
  Keys Posted() { return TakePostedKeys(); }
  void Event(int type, int x, int y, int wheel = 0) {
    lcd_area_operate({type, uint16_t(x), uint16_t(y), uint8_t(wheel), ""});
  }
  // The posted keys through the main loop, with the acquisitions that apply knob turns.
  void Settle() {
    b.Pass();
    for (int i = 0; i < 3; ++i) {
      b.Fpga().AcquireNow();
      b.AdvanceMs(100);
      b.Pass();
    }
  }
  void Click(int x, int y) {
    Event(kLcdPress, x, y);
    Event(kLcdRelease, x, y);
  }
  // Passes that take the posted keys one by one and compose the screen, so
  // the keyboard record the next event reads shows where the cursor is.
  void Apply() {
    for (int i = 0; i < 4; ++i) {
      b.AdvanceMs(600);
      b.Pass();
    }
  }
  // A key typed on the web page's keyboard while a soft keyboard is shown.
  void Type(const char* name) {
    lcd_area_operate({kLcdKey, 0, 0, 0, name});
    Apply();
  }
  // A click in the middle of key `index` of the shown soft keyboard, where it
  // is drawn: 25 x 30, 27 columns apart from column 105, 20 to a row, rows 35
  // apart from row 200.
  void ClickSoftKey(int index) {
    softkeyboardmsg k{};
    QelDraw.GetSoftKeyboardMsg(&k);
    ASSERT_TRUE(k.shown);
    Click(105 + 27 * (index % 20) + 12, 200 + 35 * (index / 20) + 15);
    Apply();
  }
};

TEST_F(WebInput, ClicksPressTheKeysUnderThePointer) {
  Click(260, 460);  // the "ch2" label
  EXPECT_EQ(Posted(), (Keys{{kKeyCh2, 0}}));
  Click(730, 150);  // the second soft-key box
  EXPECT_EQ(Posted(), (Keys{{kKeyF2, 0}}));
  Click(660, 60);   // the tab that hides the menu
  EXPECT_EQ(Posted(), (Keys{{kKeyMenuOnOff, 0}}));
  SysRunStatus.MenuOnOff();  // hidden: the other tab shows it
  Click(785, 60);
  EXPECT_EQ(Posted(), (Keys{{kKeyMenuOnOff, 0}}));
  Click(540, 10);   // the pre-trigger box
  EXPECT_EQ(Posted(), (Keys{{kKeyPreTrigOk, 0}}));
}

// A gesture left open by a connection that went ends with it: the first
// wheel turn or press of the next session is taken, not swallowed. Another
// connection going leaves the session's gesture alone.
TEST_F(WebInput, AConnectionThatGoesEndsItsGesture) {
  write_web_factory_files();
  const auto stored = read_web_password();
  ASSERT_TRUE(stored);
  const std::string login = R"(","user_name":"admin","password":")" + stored->password + "\"}";
  WSClient2 owner, other, next;
  auto lcd = [](WSClient2* c, const char* uuid, int type, int x, int y) {
    cmdControlServer.ProcessRequest(c, std::string(R"({"req_type":"lcd_area_control","uuid":")") + uuid +
                                           R"(","event_type":)" + std::to_string(type) + R"(,"x":)" +
                                           std::to_string(x) + R"(,"y":)" + std::to_string(y) +
                                           R"(,"wheel_direction":0,"key_code":""})");
  };
  ASSERT_NE(std::string::npos,
            cmdControlServer.ProcessRequest(&owner, R"({"req_type":"login","uuid":"owner)" + login)
                .find("success"));
  lcd(&owner, "owner", kLcdPress, 260, 460);  // the "ch2" label
  cmdControlServer.ClientGone(&other);
  lcd(&owner, "owner", kLcdRelease, 260, 460);
  EXPECT_EQ(Posted(), (Keys{{kKeyCh2, 0}}));

  lcd(&owner, "owner", kLcdPress, 300, 330);
  lcd(&owner, "owner", kLcdMove, 306, 330);  // a drag begun
  cmdControlServer.ClientGone(&owner);
  EXPECT_TRUE(Posted().empty());
  cmdControlServer.Stopped();    // the session goes (the heartbeat's work, 9 s later)
  Event(kLcdWheel, 140, 14, 0);  // the time-base label, as the next session turns it
  EXPECT_EQ(Posted(), (Keys{{kKeyTimeBaseLeft, 1}}));

  // The same after a sign-out with a press held.
  ASSERT_NE(std::string::npos,
            cmdControlServer.ProcessRequest(&next, R"({"req_type":"login","uuid":"next)" + login)
                .find("success"));
  lcd(&next, "next", kLcdPress, 300, 330);
  cmdControlServer.ProcessRequest(&next, R"({"req_type":"signout","uuid":"next"})");
  Event(kLcdPress, 260, 460);
  Event(kLcdRelease, 260, 460);
  EXPECT_EQ(Posted(), (Keys{{kKeyCh2, 0}}));
}

TEST_F(WebInput, FivePixelsIsAClickSixADrag) {
  Event(kLcdPress, 260, 460);
  Event(kLcdMove, 265, 460);
  Event(kLcdRelease, 265, 460);
  EXPECT_EQ(Posted(), (Keys{{kKeyCh2, 0}}));
  Event(kLcdPress, 260, 460);
  Event(kLcdMove, 266, 460);
  Event(kLcdRelease, 266, 460);
  EXPECT_EQ(Posted(), (Keys{{kKeyPreTrigRight, 6}}));  // the background, dragged 6 pixels right
}

TEST_F(WebInput, DraggingTheMarkerMovesTheChannelByHalfTheDistance) {
  Event(kLcdPress, 20, 233);
  Event(kLcdMove, 20, 227);  // past the click slack: a drag
  Event(kLcdMove, 20, 193);  // 40 pixels up from the press
  EXPECT_EQ(Posted(), (Keys{{kKeyOffsetRight, 20}}));
  Event(kLcdRelease, 20, 193);
  EXPECT_TRUE(Posted().empty());
  // 19 pixels post nothing until the release.
  Event(kLcdPress, 20, 233);
  Event(kLcdMove, 20, 214);
  EXPECT_TRUE(Posted().empty());
  Event(kLcdRelease, 20, 214);
  EXPECT_EQ(Posted(), (Keys{{kKeyOffsetRight, 9}}));
  // Through the main loop the channel moves as the knob would move it.
  const int before = Vertical.GetRealYposition(0);
  KeyBoard.AppendScpiKey(kKeyOffsetRight, 20);
  Settle();
  EXPECT_GT(Vertical.GetRealYposition(0), before);
}

TEST_F(WebInput, DraggingTheBackgroundMovesThePreTrigger) {
  Event(kLcdPress, 300, 330);
  Event(kLcdMove, 306, 330);  // the drag starts
  EXPECT_TRUE(Posted().empty());
  Event(kLcdMove, 330, 330);  // 30 pixels right of the press
  EXPECT_EQ(Posted(), (Keys{{kKeyPreTrigRight, 30}}));
  Event(kLcdLeave, 330, 330);
  EXPECT_TRUE(Posted().empty());
}

TEST_F(WebInput, TheWheelTurnsTheKnobOfWhatItIsOver) {
  Event(kLcdWheel, 140, 14, 0);  // the time-base label
  EXPECT_EQ(Posted(), (Keys{{kKeyTimeBaseLeft, 1}}));
  Event(kLcdWheel, 140, 14, 1);
  EXPECT_EQ(Posted(), (Keys{{kKeyTimeBaseRight, 1}}));
  Event(kLcdWheel, 80, 460, 1);  // the active channel's label
  EXPECT_EQ(Posted(), (Keys{{kKeyVoltsRight, 0}}));
  Event(kLcdWheel, 260, 460, 1);  // CH2 is neither shown nor active
  EXPECT_TRUE(Posted().empty());
  // Through the main loop the wheel turns the time base one step, and back.
  const int before = SysRunStatus.GetRealTimeBase(0);
  Event(kLcdWheel, 140, 14, 0);
  Settle();
  const int turned = SysRunStatus.GetRealTimeBase(0);
  EXPECT_EQ(std::abs(turned - before), 1);
  Event(kLcdWheel, 140, 14, 1);
  Settle();
  EXPECT_EQ(SysRunStatus.GetRealTimeBase(0), before);
}

TEST_F(WebInput, ClicksOnTheNumberPadTypeItsKeys) {
  // The recorder's play delay with its number pad open.
  b.Key(kKeyUtility);
  b.Key(kKeyUtility);
  b.Key(kKeyF4);
  b.Key(kKeyF5);
  b.Key(kKeyF1);
  b.Key(kKeyF3);
  b.Key(kKeyF3);
  ASSERT_TRUE(RecorderNumPadOpen());
  SysRunStatus.SetDrawRefresh();
  b.AdvanceMs(600);
  b.Pass();
  ASSERT_TRUE(QelDraw.GetNumKeyboardShowMsg().shown);
  auto clickKey = [&](int key) {
    int r, c, w, h;
    ASSERT_TRUE(qel_draw::NumKeyboardKeyRect(key, &r, &c, &w, &h));
    Click(c + w / 2, r + h / 2);
    for (int i = 0; i < 3; ++i) {
      SysRunStatus.SetDrawRefresh();
      b.AdvanceMs(600);
      b.Pass();
    }
  };
  clickKey(2);   // "."
  clickKey(7);   // "5"
  clickKey(21);  // "Enter"
  EXPECT_FALSE(RecorderNumPadOpen());
  EXPECT_EQ(recData.playDelay, 125000000u);  // 0.5 s in 4 ns ticks
}

TEST_F(WebInput, TheFileNameKeyboardTypesTheKeysTypedAndClicked) {
  b.Key(kKeyStorage);  // the waveform page
  ASSERT_EQ(TaskStorage.TaskMenu.GetCurrPage(), 0);
  b.Key(kKeyF4);  // Input Name: the keyboard over the current name
  ASSERT_EQ(TaskStorage.TaskMenu.GetCurrPage(), kPageInput / 5);
  while (Storage.inputName[0]) b.Key(kKeyF1);  // Delete
  Apply();
  for (const char* k : {"KeyC", "KeyA", "KeyB"}) Type(k);
  EXPECT_STREQ(Storage.inputName, "CAB");
  for (int k : {2, 0, 1, 1}) ClickSoftKey(k);
  EXPECT_STREQ(Storage.inputName, "CABCABB");
  Type("Digit7");
  Type("Backspace");  // the delete key
  Type("_");
  Type("Enter");
  EXPECT_STREQ(Storage.waveName, "CABCABB_");
  EXPECT_EQ(TaskStorage.TaskMenu.GetCurrPage(), 0);
  // The board's threads are stopped here, so no fresh acquisition would come:
  // the stopped record is saved as it stands.
  b.Key(kKeyRunStop);
  b.Key(kKeyF5);  // Save
  EXPECT_TRUE(RootFileExists("Data/Storage/Wave/CABCABB_.wav")) << "message " << QelMsg.GetMessageID();
}

TEST_F(WebInput, TheChannelLabelKeyboardsTypeTheKeysClickedAndTyped) {
  SysRunInfo.sourceOn = 3;
  for (int ch = 0; ch < 2; ++ch) {
    TaskForChannel& t = ch ? static_cast<TaskForChannel&>(TaskCh2) : static_cast<TaskForChannel&>(TaskCh1);
    b.Key(ch ? kKeyCh2 : kKeyCh1);
    if (TaskManage.GetTaskCurrId() != kTaskCh1 + ch) b.Key(ch ? kKeyCh2 : kKeyCh1);
    ASSERT_EQ(TaskManage.GetTaskCurrId(), kTaskCh1 + ch);
    t.TaskMenu.SetCurrPage(t.Layout().labelPage * 5);
    b.Key(kKeyF1);            // label on
    b.Choose(kKeyF2, 0, 12);  // Custom
    b.Key(kKeyF3);            // Edit: the keyboard
    ASSERT_TRUE(t.KeyboardShown());
    Apply();
    for (int k : {3, 1, 6}) ClickSoftKey(k);
    EXPECT_STREQ(t.CustomLabelName(), "DBG") << ch;
    Type("Digit0");
    Type("KeyZ");
    EXPECT_STREQ(t.CustomLabelName(), "DBG0Z") << ch;
    ClickSoftKey(39);  // OK
    EXPECT_FALSE(t.KeyboardShown()) << ch;
    EXPECT_STREQ(Vertical.GetChLabelName(ch), "DBG0Z") << ch;
  }
}
}  // namespace
