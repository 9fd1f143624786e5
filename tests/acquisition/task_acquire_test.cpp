// The acquire module on the simulated board: its menu behind the ACQUIRE key,
// the acquisition mode and averaging count reaching the FPGA words, the
// memory depth reaching the record, the EEPROM bytes of the items, the
// refusals, the factory settings, the stored settings at start-up, the
// assists of other modules and the setup-file block.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "acquisition/acquire/task_acquire.h"
#include "acquisition/models/x_system.h"
#include "core/state/ids.h"
#include "core/board/eeprom_map.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/sim/fpga/sim_decode_timebase.h"
#include "system/utility/task_utility.h"
#include "tests/bench/bench.h"
#include "tests/bench/eeprom_addresses.h"

namespace {
enum : uint8_t { F1 = 49, F2, F3, F4, F5, kSelect = 72, kUp = 76, kDown = 77, kAcquire = 57 };
constexpr uint32_t kText = 0xC8C8AF;

int Item(int n) { return MenuValue(TaskAcquire, n); }
bool Disabled(int n) { return (TaskAcquire.TaskMenu.GetItemAttribute(n) & int(kAcqItemDisabled)) != 0; }

struct Acquire : ::testing::Test {
  Bench bench;
  virtual std::vector<std::pair<int, uint8_t>> Stored() { return {}; }
  void SetUp() override {
    std::vector<uint8_t> e = FormattedEeprom(6, 0);
    for (auto [address, value] : Stored()) e[size_t(address)] = value;
    bench.SetEeprom(e);
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    SysRunStatus.SetMenuDisplayTimeS(3);  // the menu stays up
    bench.Key(kAcquire);
    QelMsg.ClearMessage();
  }
  void Choose(uint8_t fkey, int to) { bench.Choose(fkey, Item(fkey - F1), to); }
  uint64_t Depth() const { return plat::SimDecodedTimebase().memoryDepth; }
  void Stop() { SysRunStatus.SetAcquireStatus(0, 4); }
};

}  // namespace

TEST_F(Acquire, TheAcquireKeyShowsItsMenu) {
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskAcquire);
  EXPECT_EQ(TaskAcquire.TaskMenu.GetCurrPage(), 0);
  EXPECT_NE(TaskAcquire.TaskMenu.GetMenuItemTitle(kAcqMode), nullptr);
  EXPECT_EQ(TaskAcquire.TaskMenu.GetMenuItemMaxSel(kAcqMemDepth), 7);
  EXPECT_EQ(bench.EepromWord(EE_TASK_ID), kTaskAcquire);
  EXPECT_GT(bench.CountPixels(87, 700, 80, 22, kText), 10);  // "Normal" under "Mode"
  // The count is hidden outside average mode; the wave type item always.
  EXPECT_TRUE(Disabled(kAcqAverage));
  EXPECT_TRUE(Disabled(kAcqWaveType));
  bench.Key(F5);
  bench.Key(F5);
  EXPECT_EQ(TaskAcquire.WaveTypePress[0], 2);
  bench.Key(F4);  // FastAcq opens the utility module's fast recorder
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskUtility);
  EXPECT_EQ(TaskUtility.TaskMenu.GetMenuItem(kUtiRecFast), 1u);
}

TEST_F(Acquire, EachModeReachesControlWord40AndAverageSendsItsCountFirst) {
  const struct {
    int mode, word;
  } rows[] = {{1, 1}, {2, 2}, {0, 0}};
  for (auto r : rows) {
    Choose(F1, r.mode);
    EXPECT_EQ(Item(kAcqMode), r.mode);
    EXPECT_EQ(bench.Fpga().Word(40), r.word) << r.mode;
    EXPECT_EQ(plat::SimDecodedTimebase().acqMode, r.mode);
    EXPECT_EQ(bench.EepromByte(ee::kAcqMode), r.mode);
    EXPECT_EQ(SysRunStatus.GetAcquireMode(), r.mode);
    EXPECT_TRUE(Disabled(kAcqAverage));
  }

  bench.Fpga().ClearLog();
  Choose(F1, 3);
  EXPECT_EQ(bench.Fpga().Word(40), 4);
  EXPECT_FALSE(Disabled(kAcqAverage));
  EXPECT_EQ(Item(kAcqAverage), 2);
  EXPECT_EQ(bench.Fpga().Word(112), 0);  // the index of count 2
  const auto log = bench.Fpga().Log();
  const int average = LastWrite(log, 112);
  ASSERT_GE(average, 0);
  bool modeAfter = false;
  for (size_t i = size_t(average) + 1; i < log.size(); ++i) modeAfter |= log[i] == std::make_pair<uint16_t, uint16_t>(40, 4);
  EXPECT_TRUE(modeAfter);
}

TEST_F(Acquire, TheKnobStepsTheAveragingCountAroundItsTable) {
  bench.Key(kUp);  // outside average mode the hidden count stays
  EXPECT_EQ(Item(kAcqAverage), 2);
  Choose(F1, 3);
  bench.Key(kUp);
  EXPECT_EQ(Item(kAcqAverage), 4);
  EXPECT_EQ(bench.EepromByte(ee::kAcqAverage), 1);
  EXPECT_EQ(bench.Fpga().Word(112), 1);
  EXPECT_EQ(SysRunInfo.averageIndex, 1);
  bench.Key(kDown);
  bench.Key(kDown);  // from 2 one step back gives 8192
  EXPECT_EQ(Item(kAcqAverage), 8192);
  EXPECT_EQ(bench.EepromByte(ee::kAcqAverage), 12);
  EXPECT_EQ(bench.Fpga().Word(112), 12);
  bench.Key(kUp);  // and from 8192 one more gives 2
  EXPECT_EQ(Item(kAcqAverage), 2);
  EXPECT_EQ(bench.EepromByte(ee::kAcqAverage), 0);
}

TEST_F(Acquire, MemoryDepthReachesTheRecordAndTheEeprom) {
  const struct {
    int index;
    uint64_t points;
  } rows[] = {{1, 7000}, {2, 70000}, {3, 700000}, {4, 7000000}, {5, 35000000}, {6, 56000000}};
  for (auto r : rows) {
    Choose(F3, r.index);
    EXPECT_EQ(Item(kAcqMemDepth), r.index);
    EXPECT_EQ(bench.EepromByte(ee::kAcqMemDepth), r.index);
    EXPECT_EQ(SysRunStatus.GetMemDepth(nullptr), r.index);
    EXPECT_EQ(Depth(), r.points) << r.index;
  }
  Choose(F3, 0);  // automatic: the time base chooses
  EXPECT_EQ(bench.EepromByte(ee::kAcqMemDepth), 0);
  EXPECT_EQ(Depth(), uint64_t(TimeBase.GetAutoMemDepth(TimeBase.GetRealTimeBase(0))) / 1000 * 1000);
}

TEST_F(Acquire, RefusalsRaiseTheirMessageAndChangeNothing) {
  Choose(F3, 2);
  const uint64_t depth = Depth();

  Stop();
  bench.Key(F3);
  EXPECT_EQ(QelMsg.GetMessageID(), 46);
  EXPECT_EQ(Item(kAcqMemDepth), 2);
  EXPECT_EQ(bench.EepromByte(ee::kAcqMemDepth), 2);
  QelMsg.ClearMessage();
  bench.Key(F1);
  EXPECT_EQ(QelMsg.GetMessageID(), 46);
  EXPECT_EQ(Item(kAcqMode), 0);
  SysRunStatus.SetAcquireStatus(0, 0);

  QelMsg.ClearMessage();
  SysRunStatus.SetFuncBit(0x100);  // recording
  bench.Key(F3);
  EXPECT_EQ(QelMsg.GetMessageID(), 21);
  SysRunStatus.ClearFuncBit(0x100);

  QelMsg.ClearMessage();
  SysRunStatus.IndependTimeBaseEnable();
  bench.Key(F3);
  EXPECT_EQ(QelMsg.GetMessageID(), 78);
  SysRunStatus.IndependTimeBaseDisable();
  EXPECT_EQ(Item(kAcqMemDepth), 2);
  EXPECT_EQ(Depth(), depth);
}

TEST_F(Acquire, AveragingIsNotOfferedWhileAutoSweepRolls) {
  TimeBase.AdjTimeBase(0, 30 - TimeBase.GetRealTimeBase(0));
  ASSERT_EQ(TimeBase.GetRealTimeBase(0), 30);
  bench.Key(F1);
  EXPECT_EQ(TaskAcquire.TaskMenu.GetMenuItemMaxSel(kAcqMode), 3);
  for (int i = 0; i < 3; ++i) bench.Key(kDown);  // wraps past high resolution
  bench.Key(kSelect);
  EXPECT_EQ(Item(kAcqMode), 0);
  EXPECT_EQ(bench.Fpga().Word(40), 0);
}

TEST_F(Acquire, DefaultWritesTheFactorySettings) {
  Choose(F1, 3);
  bench.Key(kUp);
  Choose(F3, 4);
  TaskAcquire.Default();
  EXPECT_EQ(bench.EepromByte(ee::kAcqMode), 0);
  EXPECT_EQ(bench.EepromByte(ee::kAcqMemDepth), 0);
  EXPECT_EQ(bench.EepromByte(ee::kAcqAverage), 0);
  EXPECT_EQ(Item(kAcqMode), 0);
  EXPECT_EQ(Item(kAcqMemDepth), 0);
  EXPECT_EQ(Item(kAcqAverage), 2);
  EXPECT_TRUE(Disabled(kAcqAverage));
  EXPECT_EQ(SysRunStatus.GetAcquireMode(), 0);
  EXPECT_EQ(SysRunStatus.GetMemDepth(nullptr), 0);
  EXPECT_EQ(SysRunInfo.averageIndex, 0);
}

// The items' EEPROM bytes before start-up: mode, depth, averaging selection.
template <uint8_t ModeByte, uint8_t DepthByte, uint8_t SelByte>
struct WithStored : Acquire {
  std::vector<std::pair<int, uint8_t>> Stored() override {
    return {{ee::kAcqMode, ModeByte}, {ee::kAcqMemDepth, DepthByte}, {ee::kAcqAverage, SelByte}};
  }
};
using StoredAcquire = WithStored<3, 4, 5>;
using DamagedAcquire = WithStored<9, 200, 13>;

TEST_F(StoredAcquire, StoredSettingsAreRestoredAtStartUp) {
  EXPECT_EQ(Item(kAcqMode), 3);
  EXPECT_EQ(Item(kAcqMemDepth), 4);
  EXPECT_EQ(Item(kAcqAverage), 64);
  EXPECT_FALSE(Disabled(kAcqAverage));
  EXPECT_EQ(TaskAcquire.GetAverageSel(), 5);
  EXPECT_EQ(bench.Fpga().Word(40), 4);
  EXPECT_EQ(bench.Fpga().Word(112), 5);
  EXPECT_EQ(Depth(), 7000000u);
}

TEST_F(DamagedAcquire, ValuesOutsideTheirRangeTakeNormal7KAndCountTwo) {
  EXPECT_EQ(Item(kAcqMode), 0);
  EXPECT_EQ(Item(kAcqMemDepth), 1);
  EXPECT_EQ(Depth(), 7000u);
  EXPECT_EQ(Item(kAcqAverage), 2);
  EXPECT_EQ(bench.Fpga().Word(40), 0);
}

TEST_F(Acquire, AssistsOfOtherModulesSetModeAndDepth) {
  taskresponse request{};
  taskresponse reply{};
  request.request = 3;
  request.words[0] = 0;
  request.words[1] = 1;
  TaskManage.RequestTaskAssist(kTaskAcquire, &request, &reply);
  EXPECT_EQ(Item(kAcqMode), 1);
  EXPECT_EQ(bench.Fpga().Word(40), 1);

  request.words[0] = 2;
  request.words[1] = 3;
  TaskManage.RequestTaskAssist(kTaskAcquire, &request, &reply);
  EXPECT_EQ(Item(kAcqMemDepth), 3);
  EXPECT_EQ(Depth(), 700000u);

  request.words[1] = 9;  // no such depth
  TaskManage.RequestTaskAssist(kTaskAcquire, &request, &reply);
  EXPECT_EQ(Item(kAcqMemDepth), 3);

  // The automatic adjustment: one depth up, capped at 56M, with its message.
  request = taskresponse{};
  request.request = 2;
  for (int i = 0; i < 4; ++i) TaskManage.RequestTaskAssist(kTaskAcquire, &request, &reply);
  EXPECT_EQ(Item(kAcqMemDepth), 6);
  EXPECT_EQ(Depth(), 56000000u);
  EXPECT_EQ(QelMsg.GetMessageID(), 71);
}

namespace {
int Storage(int direction, std::vector<uint8_t>* buffer, int length, int used, int32_t* status) {
  return RunSetupStorage(TaskAcquire, direction, buffer, length, used, status);
}
}  // namespace

TEST_F(Acquire, TheSetupBlockSavesAndRestoresEverySetting) {
  Choose(F1, 3);
  for (int i = 0; i < 3; ++i) bench.Key(kUp);  // 16
  Choose(F3, 4);
  std::vector<uint8_t> file(1024, 0);
  int32_t status = 0;
  const int used = Storage(0, &file, int(file.size()), 10, &status);
  ASSERT_EQ(status, 0);
  ASSERT_GT(used, 10);
  EXPECT_EQ(std::memcmp(file.data() + 10, "TASK-ACQUIRE\r\n", 14), 0);
  EXPECT_EQ(file[size_t(used) - 2], '\r');
  EXPECT_EQ(file[size_t(used) - 1], '\n');

  std::vector<uint8_t> small(20, 0);  // a block that does not fit
  Storage(0, &small, int(small.size()), 0, &status);
  EXPECT_EQ(status, -1);

  TaskAcquire.Default();
  Choose(F1, 1);
  Choose(F3, 1);
  Storage(1, &file, used, 0, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(Item(kAcqMode), 3);
  EXPECT_EQ(Item(kAcqAverage), 16);
  EXPECT_EQ(TaskAcquire.GetAverageSel(), 3);
  EXPECT_EQ(bench.EepromByte(ee::kAcqAverage), 3);
  EXPECT_EQ(Item(kAcqMemDepth), 4);
  EXPECT_EQ(bench.Fpga().Word(40), 4);
  EXPECT_EQ(bench.Fpga().Word(112), 3);
  EXPECT_EQ(Depth(), 7000000u);

  // A count the table does not hold takes selection 0, count 2.
  std::vector<uint8_t> odd = file;
  const size_t count = 10 + 14 + 8 * kAcqAverage;  // item 1 in the image, little-endian
  odd[count] = 100;
  odd[count + 1] = 0;
  Storage(1, &odd, used, 10, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(Item(kAcqAverage), 2);
  EXPECT_EQ(bench.EepromByte(ee::kAcqAverage), 0);
  EXPECT_EQ(bench.Fpga().Word(112), 0);

  std::vector<uint8_t> other(64, 'x');  // no block of this module
  Storage(1, &other, int(other.size()), 0, &status);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(Item(kAcqMode), 3);
}

// The list the screen shows is the list the keys reach: the sequence open,
// turn, wait, push is repeated across the list's time-out, and a push takes
// the highlighted choice exactly when the list was on screen before it.
TEST_F(Acquire, AListOnScreenAlwaysTakesThePushAndAClosedOneIsGone) {
  auto region = [&] {
    std::vector<uint32_t> v;
    for (int r = 75; r < 75 + 22 * 5; ++r)
      for (int c = 560; c < 670; ++c) v.push_back(bench.Pixel(r, c));  // left of the menu panel
    return v;
  };
  SysRunStatus.SetDrawRefresh();
  bench.Pass();
  const auto closed = region();
  int taken = 0, missed = 0;
  for (int round = 0; round < 60; ++round) {
    TaskAcquire.TaskMenu.SetMenuItem(kAcqMode, 0);  // Normal
    bench.Key(F1);  // the list opens on Normal
    for (int i = 0; i < kAcqModeAverage; ++i) bench.Key(kDown);  // Average highlighted
    bench.AdvanceMs(5700 + 20 * round);  // around the 6 s time-out
    bench.Pass();  // a frame: the list drawn, or closed and gone
    const bool shown = region() != closed;
    bench.Key(kSelect);
    if (shown) {
      EXPECT_EQ(Item(kAcqMode), kAcqModeAverage) << "round " << round;
      ++taken;
    } else {
      EXPECT_EQ(Item(kAcqMode), 0) << "round " << round;
      ++missed;
    }
    bench.Pass();
    EXPECT_EQ(region(), closed) << "round " << round;  // no list left behind
  }
  EXPECT_GT(taken, 0);
  EXPECT_GT(missed, 0);

  // The menu hidden by its own time-out (5 s) takes its list with it.
  SysRunStatus.SetMenuDisplayTimeS(0);
  for (int round = 0; round < 20; ++round) {
    TaskAcquire.TaskMenu.SetMenuItem(kAcqMode, 0);
    bench.Key(F1);
    for (int i = 0; i < kAcqModeAverage; ++i) bench.Key(kDown);
    bench.AdvanceMs(4500 + 50 * round);
    bench.Pass();
    const bool menuShown = SysRunStatus.IsMenuStatus() != 0;
    bench.Key(kSelect);
    EXPECT_EQ(Item(kAcqMode), menuShown ? kAcqModeAverage : 0) << "round " << round;
    if (!menuShown) bench.Key(kAcquire);  // the menu back for the next round
  }
}
