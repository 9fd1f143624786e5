// The front-panel keyboard: key map, knob steps, planted keys, the remote key
// ring and the locks.
#include <gtest/gtest.h>
#include <pthread.h>

#include <thread>
#include <vector>

#include "core/messages/mymutex.h"
#include "core/input/rs232.h"
#include "platform/clock.h"
#include "platform/devices/panel.h"
#include "platform/sim/devices/sim_controls.h"
#include "tests/bench/bench.h"

namespace {

struct Row {
  const char* name;
  int code;
  int task;
};

// The key map as the front panel and the remote commands use it.
const Row kMap[] = {
    {"OFFSET_L", 79, 0},       {"OFFSET_R", 78, 0},        {"OFFSET_OK", 73, 0},
    {"VOLTS_L", 85, 0},        {"VOLTS_R", 84, 0},         {"VOLTS_OK", 88, 0},
    {"TB_L", 87, 0},           {"TB_R", 86, 0},            {"TB_OK", 89, 0},
    {"PRETIG_L", 81, 0},       {"PRETIG_R", 80, 0},        {"PRETIG_OK", 74, 0},
    {"TIRGGER_L", 83, 0},      {"TIRGGER_R", 82, 0},       {"TIRGGER_OK", 75, 0},
    {"SET TO ZERO", 68, 10},   {"RUNSTOP", 59, 0},         {"AUTOSET", 63, 0},
    {"KEY_MENU_ONOFF", 54, 0}, {"PrtSc", 55, 0},           {"CH1", 64, 6},
    {"CH2", 65, 7},            {"TRIGGER", 69, 10},        {"MEASURE", 56, 15},
    {"DISPLAY", 61, 12},       {"ACQUIRE", 57, 11},        {"HORI", 67, 13},
    {"STORAGE", 58, 17},       {"UTILITY", 62, 18},        {"MATH", 66, 14},
    {"CURSOR", 60, 16},        {"HELP", 71, 20},           {"DEFAULT", 70, 19},
    {"F1", 49, 22},            {"F2", 50, 22},             {"F3", 51, 22},
    {"F4", 52, 22},            {"F5", 53, 22},             {"Select_Left", 77, 22},
    {"Select_Right", 76, 22},  {"Select", 72, 22},         {"SCPI_DEFAULT", 239, 19},
    {"SCPI_LOAD", 240, 17},    {"SCPI_INDEPEND", 241, 13}, {"SCPI_IP", 242, 18},
    {"SCPI_REC2VIDEO", 243, 17}, {"KEY_SCPI_SELFCAL", 244, 18},
};

bool InMap(int code) {
  for (const Row& r : kMap)
    if (r.code == code) return true;
  return false;
}

TEST(KeyMap, EveryRowRoutesToItsTask) {
  for (const Row& r : kMap) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(KeyBoard.KeyValueDiscern(r.code), r.task) << r.name;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("KeyName : ") + r.name + "    \n");
  }
  int rows = 0;
  while (KeyMap[rows].code != -1) ++rows;
  EXPECT_EQ(rows, int(sizeof kMap / sizeof kMap[0]));
  EXPECT_EQ(KeyMap[rows].taskId, -1);
}

TEST(KeyMap, CodesOutsideTheMapAreUnknown) {
  for (int code = -300; code < 70000; code += (code < 300 ? 1 : 997)) {
    if (InMap(code)) continue;
    EXPECT_EQ(KeyBoard.KeyValueDiscern(code), -1) << code;
    EXPECT_EQ(KeyBoard.KeyValueIsLock(code), -1) << code;
    EXPECT_EQ(KeyBoard.SetKeyValueLock(code, 1), -1) << code;
  }
  for (const KeyMapRow* r = KeyMap; r->code != -1; ++r) EXPECT_EQ(r->lock, 0) << r->name;
}

// Knob acceleration, with the wall clock driven by the test.
struct Steps : ::testing::Test {
  Bench bench;  // fresh root, virtual clock
  Steps() { plat::HoldVirtualClock(true); }  // no real time between two presses
  rs232 kb{"/dev/ttymxc3", 0};
  uint8_t buf[1] = {};

  // Moves the wall clock to `usec` microseconds into a fresh second.
  void AtUsec(int32_t usec) {
    int32_t s, u;
    plat::WallTime(&s, &u);
    plat::AdvanceUs(1000000 - u + usec);
  }
  int Press(uint8_t code) {
    plat::SimPanelKey(code);
    int item = 0;
    EXPECT_EQ(kb.GetKey(buf, &item), 1);
    EXPECT_EQ(item, -1);
    EXPECT_EQ(buf[0], code);
    return kb.GetKeyStep();
  }
};

// The advances sit in the middle of a 10 ms class, so the little real time
// that passes between two presses does not change the class.
TEST_F(Steps, RepeatsWithinASecondAccelerate) {
  AtUsec(1000);
  EXPECT_EQ(Press(84), 1);  // first of its kind
  plat::AdvanceUs(55000);   // t = 5
  EXPECT_EQ(Press(84), 9);
  plat::AdvanceUs(155000);  // t = 15
  EXPECT_EQ(Press(84), 1);
  plat::AdvanceUs(25000);   // t = 2
  EXPECT_EQ(Press(84), 15);
}

TEST_F(Steps, SelectKnobStepIsHundredOverInterval) {
  AtUsec(1000);
  EXPECT_EQ(Press(76), 1);
  plat::AdvanceUs(55000);
  EXPECT_EQ(Press(76), 20);
  plat::AdvanceUs(155000);
  EXPECT_EQ(Press(76), 6);
  EXPECT_EQ(Press(76), 100);  // no measurable interval: a large finite step
  EXPECT_EQ(Press(77), 1);    // another code starts again
}

TEST_F(Steps, ANewSecondStartsAgain) {
  AtUsec(900000);
  EXPECT_EQ(Press(76), 1);
  plat::AdvanceUs(200000);  // t = 20, but in the next second
  EXPECT_EQ(Press(76), 1);
  plat::AdvanceUs(305000);  // t = 30
  EXPECT_EQ(Press(76), 3);
}

TEST_F(Steps, BytesOfOneReadAreNotLost) {
  const uint8_t burst[] = {76, 76, 77, 64, 49, 50, 51, 52, 53, 72, 59, 60};
  plat::SimPanelSend(burst, sizeof burst);
  std::vector<int> got;
  int item;
  while (kb.GetKey(buf, &item) == 1) got.push_back(buf[0]);
  EXPECT_EQ(got, std::vector<int>(burst, burst + sizeof burst));
}

TEST_F(Steps, PlantedKeyComesFirstAndUserGetKeyOncePerReadKey) {
  int code = 0, step = 0, item = 0;
  EXPECT_EQ(kb.UserGetKey(&code, &step), -1);
  kb.UserSetKey(64, 3, 7);
  plat::SimPanelKey(65);
  EXPECT_EQ(kb.GetKey(buf, &item), 1);
  EXPECT_EQ(buf[0], 64);
  EXPECT_EQ(item, 7);
  EXPECT_EQ(kb.GetKeyStep(), 3);
  EXPECT_EQ(kb.UserGetKey(&code, &step), -1);  // planted keys are not handed on again
  EXPECT_EQ(kb.GetKey(buf, &item), 1);
  EXPECT_EQ(buf[0], 65);
  EXPECT_EQ(item, -1);
  EXPECT_EQ(kb.UserGetKey(&code, &step), 0);
  EXPECT_EQ(code, 65);
  EXPECT_EQ(kb.UserGetKey(&code, &step), -1);
  EXPECT_EQ(kb.GetKey(buf, &item), -1);  // nothing waiting
}

TEST(Port, WithoutAPortNothingIsRead) {
  rs232 none;
  uint8_t b[1];
  int item = 5;
  EXPECT_EQ(none.GetKey(b, &item), -1);
  EXPECT_EQ(item, -1);
  EXPECT_FALSE(none.IsObstruction());
}

// The remote key ring.
bool MutexFree() {
  if (pthread_mutex_trylock(&mymutex) != 0) return false;
  pthread_mutex_unlock(&mymutex);
  return true;
}

TEST(Ring, EmptyRingGivesNothingAndLeavesTheMutexFree) {
  rs232 kb;
  int code = 7, step = 7;
  EXPECT_FALSE(kb.IsScpiKey());
  EXPECT_EQ(kb.GetScpiKey(&code, &step), -1);
  EXPECT_EQ(code, 7);
  EXPECT_TRUE(MutexFree());
}

TEST(Ring, HoldsFortyNineInOrderAndRefusesMore) {
  rs232 kb;
  for (int round = 0; round < 3; ++round) {  // the indices wrap around
    for (int i = 0; i < 49; ++i) EXPECT_EQ(kb.AppendScpiKey(100 + i, i - 20), 0) << i;
    EXPECT_EQ(kb.AppendScpiKey(999, 1), -1);
    EXPECT_TRUE(MutexFree());
    for (int i = 0; i < 49; ++i) {
      int code, step;
      ASSERT_EQ(kb.GetScpiKey(&code, &step), 0);
      EXPECT_EQ(code, 100 + i);
      EXPECT_EQ(step, i - 20);
    }
    EXPECT_FALSE(kb.IsScpiKey());
    EXPECT_EQ(kb.AppendScpiKey(1, 1), 0);  // shift the start of the next round
    int code, step;
    EXPECT_EQ(kb.GetScpiKey(&code, &step), 0);
  }
}

TEST(Ring, KeysFromOtherThreadsArriveOnceEach) {
  rs232 kb;
  constexpr int kPerThread = 300;
  std::vector<int> seen(2 * kPerThread, 0);
  std::thread producers[2];
  for (int t = 0; t < 2; ++t)
    producers[t] = std::thread([&kb, t] {
      for (int i = 0; i < kPerThread;)
        if (kb.AppendScpiKey(t * kPerThread + i, 1) == 0) ++i;
    });
  int taken = 0;
  while (taken < 2 * kPerThread) {
    int code, step;
    if (kb.GetScpiKey(&code, &step) == 0) {
      ASSERT_GE(code, 0);
      ASSERT_LT(code, 2 * kPerThread);
      ++seen[size_t(code)];
      ++taken;
    }
  }
  for (auto& p : producers) p.join();
  for (int v : seen) EXPECT_EQ(v, 1);
}

// Locks.
TEST(Locks, PanelLockSetsEveryRowAndUnlockClearsThem) {
  rs232 kb;
  EXPECT_FALSE(kb.IsKeyLock());
  EXPECT_EQ(kb.KeyLockEnble(), 1);
  EXPECT_TRUE(kb.IsKeyLock());
  for (const Row& r : kMap) EXPECT_EQ(kb.KeyValueIsLock(r.code), 1) << r.name;
  EXPECT_EQ(kb.KeyboardSelfUnlock(0), 0);  // any argument but 1 does nothing
  EXPECT_TRUE(kb.IsKeyLock());
  EXPECT_EQ(kb.KeyboardSelfUnlock(1), 0);
  EXPECT_FALSE(kb.IsKeyLock());
  for (const Row& r : kMap) EXPECT_EQ(kb.KeyValueIsLock(r.code), 0) << r.name;
  kb.KeyLockEnble();
  EXPECT_EQ(kb.KeyLockDisable(), 0);
  EXPECT_FALSE(kb.IsKeyLock());
  EXPECT_EQ(kb.KeyValueIsLock(64), 0);
}

TEST(Locks, SingleKeyLock) {
  rs232 kb;
  EXPECT_EQ(kb.SetKeyValueLock(64, 1), 0);
  EXPECT_EQ(kb.KeyValueIsLock(64), 1);
  EXPECT_EQ(kb.KeyValueIsLock(65), 0);
  EXPECT_FALSE(kb.IsKeyLock());
  EXPECT_EQ(kb.SetKeyValueLock(64, 2), -1);
  EXPECT_EQ(kb.KeyValueIsLock(64), 1);
  EXPECT_EQ(kb.KeyValueIsLock(255), -1);
  EXPECT_EQ(kb.SetKeyValueLock(64, 0), 0);
  EXPECT_EQ(kb.KeyValueIsLock(64), 0);
}

}  // namespace
