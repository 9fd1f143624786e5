// The USB mouse on the simulated board: input-event records written into the
// root's dev/mouse move the pointer on the screen (kept on it), a left click
// on the channel-1 status box acts as the CH1 key (once per click, however
// the mouse moves while held), a release after a wheel turn in the same read
// is kept, and the mouse is noticed when unplugged and plugged again.
#include <gtest/gtest.h>
#include <linux/input.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "core/board/eeprom_map.h"
#include "core/input/mouse.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "platform/devices/mouse.h"
#include "platform/root.h"
#include "tests/bench/bench.h"

namespace {
constexpr uint32_t kPointer = 0xC8C8AF;
constexpr int kCh1Task = 6, kCh2Task = 7;

input_event Ev(int type, int code, int value) {
  input_event e{};
  e.type = uint16_t(type);
  e.code = uint16_t(code);
  e.value = value;
  return e;
}
input_event Move(int axis, int by) { return Ev(EV_REL, axis, by); }
input_event Button(int code, int down) { return Ev(EV_KEY, code, down); }
input_event Wheel(int by) { return Ev(EV_REL, REL_WHEEL, by); }

int PointerPixels(const std::vector<uint32_t>& s, int row, int col) {
  int n = 0;
  for (int r = row; r < row + 24 && r < 480; ++r)
    for (int c = col; c < col + 24 && c < 800; ++c)
      if ((s[size_t(r) * 800 + size_t(c)] & 0xFFFFFF) == kPointer) ++n;
  return n;
}

struct Mouse : ::testing::Test {
  Bench bench;
  std::vector<MouseMsg> sent;

  void SetUp() override {
    auto e = FormattedEeprom(kCh2Task, 0, 1);
    e[EE_SOURCE_ON] = 3;  // both channels on, CH2 active
    bench.SetEeprom(e);
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();  // the test thread drives the mouse
    plat::SimMousePlug(true);
    ASSERT_EQ(MouseOp.ScanMouse(), 1);
    ASSERT_EQ(MouseOp.MosueDevStatus(), 1);
    // A known place: the top-left corner.
    Read({Move(REL_X, -1000), Move(REL_Y, -1000), Ev(EV_SYN, SYN_REPORT, 0)});
  }
  void TearDown() override {
    plat::SimMousePlug(false);
    MouseOp.ScanMouse();
  }
  // Writes the records into the device, reads them as the reader thread does
  // and keeps the messages it would post.
  int Read(const std::vector<input_event>& records) {
    EXPECT_TRUE(plat::SimMouseSend(records.data(), records.size() * sizeof(input_event)));
    int r = MouseOp.GetMouseMsg();
    SysRunStatus.SetDrawRefresh();  // as the reader thread does on a move
    MouseMsg m;
    while (MouseOp.TakeMouseMsg(&m)) sent.push_back(m);
    return r;
  }
  void Deliver() {
    for (const MouseMsg& m : sent) TaskMouseInputResponse(m);
    sent.clear();
    bench.Pass();
  }
  void Pos(int* row, int* col) { MouseOp.GetMousePos(row, col); }
};
}  // namespace

TEST_F(Mouse, EventsMoveThePointerOnTheScreenAndKeepItThere) {
  int row = -1, col = -1;
  Pos(&row, &col);
  EXPECT_EQ(row, 0);
  EXPECT_EQ(col, 0);

  EXPECT_EQ(Read({Move(REL_X, 300), Move(REL_Y, 120), Ev(EV_SYN, SYN_REPORT, 0)}), 0);
  Pos(&row, &col);
  EXPECT_EQ(row, 120);
  EXPECT_EQ(col, 300);
  EXPECT_TRUE(sent.empty());  // movement alone posts nothing
  bench.Pass();
  auto screen = bench.Screen();
  EXPECT_GT(PointerPixels(screen, 120, 300), 10);
  EXPECT_EQ(PointerPixels(screen, 300, 500), 0);

  Read({Move(REL_X, 200), Move(REL_Y, 180)});
  bench.Pass();
  screen = bench.Screen();
  EXPECT_EQ(PointerPixels(screen, 120, 300), 0);  // moved away
  EXPECT_GT(PointerPixels(screen, 300, 500), 10);

  Read({Move(REL_X, 5000), Move(REL_Y, 5000)});
  Pos(&row, &col);
  EXPECT_EQ(row, 479);
  EXPECT_EQ(col, 799);
  Read({Move(REL_X, INT32_MIN), Move(REL_Y, -480)});
  Pos(&row, &col);
  EXPECT_EQ(row, 0);
  EXPECT_EQ(col, 0);

  // A record split across two reads is walked once whole.
  input_event e = Move(REL_X, 40);
  const char* bytes = reinterpret_cast<const char*>(&e);
  ASSERT_TRUE(plat::SimMouseSend(bytes, 10));
  MouseOp.GetMouseMsg();
  Pos(&row, &col);
  EXPECT_EQ(col, 0);
  ASSERT_TRUE(plat::SimMouseSend(bytes + 10, sizeof e - 10));
  MouseOp.GetMouseMsg();
  Pos(&row, &col);
  EXPECT_EQ(col, 40);
}

TEST_F(Mouse, ALeftClickOnTheChannelOneBoxActsAsTheCh1KeyOncePerClick) {
  ASSERT_EQ(TaskManage.GetTaskCurrId(), kCh2Task);
  ASSERT_EQ(SysRunStatus.GetActivCh(), 1);

  // A click elsewhere does nothing.
  Read({Move(REL_X, 400), Move(REL_Y, 200)});
  Read({Button(BTN_LEFT, 1)});
  Read({Button(BTN_LEFT, 0)});
  ASSERT_EQ(sent.size(), 2u);
  Deliver();
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kCh2Task);

  // Into the box (row 460, column 50), press and drag inside it, release.
  Read({Move(REL_X, -350), Move(REL_Y, 260)});
  EXPECT_EQ(Read({Button(BTN_LEFT, 1)}), kMouseHeld);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Read({Move(REL_X, 10)}), kMouseHeld);
  EXPECT_EQ(Read({Button(BTN_LEFT, 0)}), MOUSE_LEFT);
  ASSERT_EQ(sent.size(), 2u);  // the press and the release, not each movement
  EXPECT_EQ(sent[0].pressFlag, 1);
  EXPECT_EQ(sent[0].pressRow, 460);
  EXPECT_EQ(sent[0].pressColumn, 50);
  EXPECT_EQ(sent[1].pressFlag, 0);
  EXPECT_EQ(sent[1].pressRow, -1);
  Deliver();
  // CH1 on but not active: made active, its module current, still on.
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kCh1Task);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 0);
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 3);

  // A quick click (press and release in one read) still counts: its menu is
  // showing, so CH1 goes off.
  Read({Button(BTN_LEFT, 1), Button(BTN_LEFT, 0)});
  Deliver();
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 2);

  // The right button is no click.
  Read({Button(BTN_RIGHT, 1), Button(BTN_RIGHT, 0)});
  Deliver();
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 2);
}

TEST_F(Mouse, AReleaseAfterAWheelTurnInTheSameReadIsKept) {
  Read({Button(BTN_LEFT, 1)});
  EXPECT_EQ(MouseOp.GetMousePressKeyFlag(), 1);
  EXPECT_EQ(Read({Wheel(1), Button(BTN_LEFT, 0), Wheel(-2)}), MOUSE_DOWN_ROOL);
  EXPECT_EQ(MouseOp.GetMousePressKeyFlag(), 0);
  int row = 0, col = 0;
  MouseOp.GetPressMousePos(&row, &col);
  EXPECT_EQ(row, -1);
  EXPECT_EQ(col, -1);
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[1].keyValue, MOUSE_UP_ROOL);
  EXPECT_EQ(sent[2].keyValue, MOUSE_LEFT);
  EXPECT_EQ(sent[2].pressFlag, 0);
  EXPECT_EQ(sent[3].keyValue, MOUSE_DOWN_ROOL);
}

TEST_F(Mouse, UnplugAndReplug) {
  bench.Pass();
  EXPECT_GT(PointerPixels(bench.Screen(), 0, 0), 10);

  plat::SimMousePlug(false);
  EXPECT_EQ(MouseOp.ScanMouse(), 0);
  EXPECT_EQ(MouseOp.MosueDevStatus(), 0);
  EXPECT_EQ(MouseOp.GetMouseMsg(), -1);
  SysRunStatus.SetDrawRefresh();
  bench.Pass();
  EXPECT_EQ(PointerPixels(bench.Screen(), 0, 0), 0);  // no mouse, no pointer

  plat::SimMousePlug(true);
  EXPECT_EQ(MouseOp.ScanMouse(), 1);
  EXPECT_EQ(MouseOp.MosueDevStatus(), 1);
  Read({Move(REL_X, 70)});
  int row = 0, col = 0;
  Pos(&row, &col);
  EXPECT_EQ(col, 70);

  // Present but not openable.
  plat::SimMousePlug(false);
  MouseOp.ScanMouse();
  std::filesystem::create_directories(plat::DevPath("mouse"));
  EXPECT_EQ(MouseOp.ScanMouse(), 1);
  EXPECT_EQ(MouseOp.MosueDevStatus(), 2);
  EXPECT_EQ(MouseOp.GetMouseMsg(), -1);
}

// The reader and consumer threads, as start-up starts them.
TEST(MouseThreads, AClickReachesTheMainLoopThroughTheThreads) {
  Bench bench;
  auto e = FormattedEeprom(kCh2Task, 0, 1);
  e[EE_SOURCE_ON] = 3;
  bench.SetEeprom(e);
  ASSERT_EQ(bench.Start(), 0);
  plat::SimMousePlug(true);  // noticed at the next scan
  ASSERT_TRUE(WaitUntil([&] {
    bench.AdvanceMs(100);
    usleep(10000);  // virtual time ten times as fast as the scan's real one
    return MouseOp.MosueDevStatus() == 1;
  }));
  std::vector<input_event> click = {Move(REL_X, -1000), Move(REL_Y, 1000), Move(REL_X, 50),
                                    Button(BTN_LEFT, 1), Button(BTN_LEFT, 0)};
  ASSERT_TRUE(plat::SimMouseSend(click.data(), click.size() * sizeof(input_event)));
  EXPECT_TRUE(WaitUntil([&] {
    bench.Pass();
    return TaskManage.GetTaskCurrId() == kCh1Task;
  }));
  bench.Stop();
  plat::SimMousePlug(false);
  MouseOp.ScanMouse();
}
