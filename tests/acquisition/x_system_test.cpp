// The time base model on the simulated board: the words each setting sends
// and what the simulated FPGA decodes from them, the limits with their
// messages, and what is kept in the EEPROM.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "acquisition/tables/timebase_tables.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "core/board/ch_cali_data.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/board/mem_depth_table.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "platform/sim/fpga/sim_decode_timebase.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"

namespace {
constexpr int64_t kCentre = x_system::kRecordCentre;

class XSystemTest : public ::testing::Test {
 protected:
  void Boot(const std::vector<uint8_t>& eeprom) {
    run_ = BootModels(bench_, eeprom, kBenchTimeBase, [](_SysRunInfo& r) { r.sourceOn = 1; });  // CH1 on
    ASSERT_NE(run_, nullptr);
  }
  void SetUp() override {
    if (!BootsItself()) Boot(MarkedEeprom());
  }
  virtual bool BootsItself() const { return false; }

  // Puts the time base in force and applies it.
  static plat::SimTimebaseSettings Apply(int index) {
    EXPECT_EQ(TimeBase.SetRealTimeBase(0, index), index);
    EXPECT_EQ(TimeBase.AdjTimeBase(0, 0), 0);
    return plat::SimDecodedTimebase();
  }

  Bench bench_;
  _SysRunInfo* run_ = nullptr;
};

// Start-up from a chosen EEPROM image.
class XSystemStartTest : public XSystemTest {
 protected:
  bool BootsItself() const override { return true; }
};
}  // namespace

TEST_F(XSystemTest, EveryTimeBaseIndexGivesItsScreenTime) {
  for (int depth : {0, 1, 4}) {
    SysRunStatus.SetMemDepth(depth);
    for (int i = TimeBase.Get_timeBase_MIN(); i <= kTimeBaseMaxIndex; ++i) {
      const plat::SimTimebaseSettings s = Apply(i);
      // One screen column is one point, 50 points a division.
      EXPECT_NEAR(s.columnTimeNs * 50, TimeBaseS[i] * 1e9, TimeBaseS[i] * 1e9 * 1e-9) << i << " depth " << depth;
      EXPECT_EQ(s.interpolating, i <= 7) << i;
      if (i <= 7) {
        EXPECT_EQ(s.sampleRate, 1e9) << i;
        EXPECT_EQ(s.preDivider, 1);
        EXPECT_EQ(s.divider, 1u);
      }
      EXPECT_LE(s.sampleRate, 1e9) << i;
      EXPECT_EQ(s.sampleRate, TimeBase.GetCurrTimeBaseSample(0)) << i;
      EXPECT_EQ(bench_.EepromByte(EE_TIMEBASE), i);
      EXPECT_EQ(s.firstColumn, 0);
      EXPECT_EQ(s.lastColumn, 699);
      EXPECT_TRUE(s.running);
    }
  }
}

TEST_F(XSystemTest, SampleRateAndDividersOfTheNamedSettings) {
  SysRunStatus.SetMemDepth(0);  // automatic
  plat::SimTimebaseSettings s = Apply(21);  // 1 ms/div: 20,000 ns per point
  EXPECT_EQ(run_->horizontal[0].autoDepth, 7000000.0);
  EXPECT_EQ(s.preDividerCode, 2);
  EXPECT_EQ(s.divider, 1u);
  EXPECT_EQ(s.samplePeriodNs, 2.0);
  EXPECT_EQ(s.sampleRate, 5e8);
  EXPECT_EQ(s.memoryDepth, 7000000u);  // automatic depth of the time base

  s = Apply(9);  // 100 ns/div: 2 ns per point, 1400 samples
  EXPECT_EQ(run_->horizontal[0].autoDepth, 1400.0);
  EXPECT_EQ(s.preDividerCode, 1);
  EXPECT_EQ(s.divider, 1u);
  EXPECT_EQ(s.sampleRate, 1e9);
  EXPECT_EQ(s.memoryDepth, 2000u);

  s = Apply(8);  // 50 ns/div: the first real-time step
  EXPECT_FALSE(s.interpolating);
  EXPECT_EQ(s.sampleRate, 1e9);
  s = Apply(7);  // 20 ns/div interpolates
  EXPECT_TRUE(s.interpolating);
  EXPECT_EQ(plat::Fpga().Word(240), 40 * 8);

  SysRunStatus.SetMemDepth(1);  // 7000 points
  s = Apply(30);                // 1 s/div: 2e7 ns per point, 10 samples each
  EXPECT_EQ(s.samplePeriodNs, 2e6);
  EXPECT_EQ(s.preDividerCode, 4);
  EXPECT_EQ(s.divider, 500000u);
  EXPECT_EQ(s.memoryDepth, 7000u);
  s = Apply(23);  // 5 ms/div: 100,000 ns per point, period 10,000 ns: divisible by 4
  EXPECT_EQ(s.preDividerCode, 4);
  SysRunStatus.SetMemDepth(6);  // 56 M: 80,000 samples per point
  run_->trigMode = 1;           // normal sweep: no roll
  s = Apply(29);                // 500 ms/div: 1e7 ns per point, 125 ns is whole
  EXPECT_EQ(s.samplePeriodNs, 125.0);
  EXPECT_EQ(s.preDividerCode, 8);  // divided by 5
  EXPECT_EQ(s.divider, 25u);
  EXPECT_EQ(s.memoryDepth, 56000000u);
}

TEST_F(XSystemTest, MemoryDepthWordsByIndex) {
  for (int index = 1; index <= 6; ++index) {
    SysRunStatus.SetMemDepth(index);
    EXPECT_EQ(Apply(21).memoryDepth, uint64_t(MemDepthSize[index])) << index;
  }
  EXPECT_EQ(plat::Fpga().Word(124), 56000);
  EXPECT_EQ(plat::Fpga().Word(280), 0);
  EXPECT_EQ(TimeBase.GetAutoMemDepth(9), 2000.0);
  EXPECT_EQ(TimeBase.GetAutoMemDepth(12), 14000.0);  // exact multiple, not rounded up past it
  for (int i = 0; i < 9; ++i) EXPECT_EQ(TimeBase.GetAutoMemDepth(i), 1000.0);
  EXPECT_EQ(TimeBase.GetAutoMemDepth(39), 7000000.0);
  EXPECT_EQ(TimeBase.GetAutoMemDepth(-1), 1.0);
  EXPECT_EQ(TimeBase.GetAutoMemDepth(42), 1.0);
  int64_t first = 0, last = 0;
  SysRunStatus.SetMemDepth(1);
  EXPECT_EQ(TimeBase.GetMemDepthRange(0, &first, &last), 0);
  EXPECT_EQ(first, kCentre - 3500);
  EXPECT_EQ(last, kCentre + 3500);
  EXPECT_EQ(TimeBase.GetMemDepthRange(0, nullptr, &last), -1);
  EXPECT_EQ(TimeBase.GetMemDepthRange(-1, &first, &last), -1);
}

TEST_F(XSystemTest, TimeBaseKnobStopsAtItsBoundsWithMessage0) {
  Apply(39);
  EXPECT_EQ(TimeBase.AdjTimeBase(0, 1), 0);
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 39);
  EXPECT_EQ(QelMsg.GetMessageID(), 0);
  QelMsg.ClearMessage();

  EXPECT_EQ(TimeBase.AdjTimeBase(0, -100), 0);
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 3);  // the 200 MHz model reaches 1 ns/div
  EXPECT_EQ(QelMsg.GetMessageID(), 0);
  SysRunStatus.Set_BW_LIM(0);
  TimeBase.AdjTimeBase(0, -1);
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 4);  // the 100 MHz model stops at 2 ns/div
  EXPECT_EQ(TimeBase.SetRealTimeBase(0, 3), -1);

  // A serial-bus trigger keeps the acquisition below the roll threshold.
  QelMsg.ClearMessage();
  run_->trigType = 12;
  TimeBase.AdjTimeBase(0, 100);
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 25);
  EXPECT_EQ(QelMsg.GetMessageID(), 0);

  // In X-Y the time base never reaches the roll threshold.
  run_->trigType = 0;
  run_->displayFormat = 1;
  TimeBase.SetRealTimeBase(0, 24);
  TimeBase.AdjTimeBase(0, 5);
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 25);
}

TEST_F(XSystemTest, SlowAutoTimeBaseRollsWithItsWords) {
  run_->trigMode = 0;
  SysRunStatus.SetMemDepth(1);
  plat::SimTimebaseSettings s = Apply(27);  // 100 ms/div, above the roll threshold
  EXPECT_EQ(run_->horiMode, 3);
  EXPECT_EQ(run_->waveType, 3);
  EXPECT_EQ(run_->acqStatus[0], 5);
  EXPECT_TRUE(s.roll);
  // Period 200,000 ns: r = 20,000, divisible by 5.
  EXPECT_EQ(s.rollCode, 4);
  EXPECT_EQ(s.rollDivider, 4000u);
  s = Apply(20);
  EXPECT_EQ(run_->horiMode, 1);
  EXPECT_EQ(run_->waveType, 1);  // the FPGA's raster
  EXPECT_FALSE(s.roll);
}

TEST_F(XSystemTest, AcquisitionModesShareWord40) {
  SysRunStatus.SetMemDepth(1);
  Apply(21);
  const double period = plat::SimDecodedTimebase().samplePeriodNs;
  const int codes[] = {0, 1, 2, 4};
  for (int mode = 0; mode < 4; ++mode) {
    SysRunStatus.SetAcquireMode(mode);
    const plat::SimTimebaseSettings s = Apply(21);
    EXPECT_EQ(s.acqModeCode, codes[mode]);
    EXPECT_EQ(s.acqMode, mode);
    EXPECT_EQ(s.samplePeriodNs, period) << mode;  // peak detect doubles only the divider
  }
  SysRunStatus.SetAcquireMode(1);
  EXPECT_EQ(Apply(21).divider, 2000u / 4 * 2);  // period 2000 ns: pre-divider 4
  SysRunStatus.SetAcquireMode(2);
  EXPECT_EQ(Apply(21).highResStep, uint32_t((uint64_t(1) << 32) / uint64_t(period)));
  // At 1 GSa/s 2^32 / 1 does not fit: the step is held at the largest value.
  EXPECT_EQ(Apply(9).highResStep, 0xFFFFFFFFu);
  SysRunStatus.SetAcquireMode(3);
  EXPECT_EQ(Apply(21).averageStep, 10u * 16);
}

TEST_F(XSystemTest, TriggerPositionAtItsLimits) {
  SysRunStatus.SetMemDepth(1);  // 7000 samples, 10 per point
  Apply(21);                    // 1 ms/div, 2000 ns per sample
  plat::SimTimebaseSettings s = plat::SimDecodedTimebase();
  EXPECT_EQ(s.preTrigSamples, 3500u);  // the trigger in the middle of the record
  EXPECT_FALSE(s.delayed);

  // Right edge of the screen.
  EXPECT_EQ(TimeBase.AdjPreTrigDepth(0, 1000), 0);
  EXPECT_EQ(QelMsg.GetMessageID(), 4);
  EXPECT_EQ(TimeBase.GetRealPreTrigDepth(0), kCentre + 3500);
  s = plat::SimDecodedTimebase();
  EXPECT_EQ(s.preTrigSamples, 7000u);
  EXPECT_EQ(TimeBase.GetRealPreTrigDepthScreenPos(0), 700);
  EXPECT_DOUBLE_EQ(TimeBase.GetRealPreTrigTime(0), -7e-3);
  EXPECT_EQ(bench_.EepromU32(EE_PRETRIG_DEPTH), uint32_t(kCentre + 3500));

  // Left: ten seconds of trigger delay at most, exact at the FPGA.
  QelMsg.ClearMessage();
  TimeBase.AdjPreTrigDepth(0, -100000000);
  EXPECT_EQ(QelMsg.GetMessageID(), 4);
  s = plat::SimDecodedTimebase();
  EXPECT_TRUE(s.delayed);
  EXPECT_EQ(s.delayUnits, 2500000000u);
  EXPECT_EQ(s.delayNs, 1e10);
  EXPECT_EQ(TimeBase.GetRealPreTrigDepth(0), kCentre - 3500 - 5000000);

  // One point to the left of the centre: ten samples less before the trigger.
  QelMsg.ClearMessage();
  TimeBase.SetRealPreTrigDepth(0, kCentre);
  TimeBase.AdjPreTrigDepth(0, -1);
  EXPECT_EQ(plat::SimDecodedTimebase().preTrigSamples, 3488u);  // (3490 / 4) x 4
  EXPECT_DOUBLE_EQ(TimeBase.GetRealPreTrigTime(0), 20e-6);
  EXPECT_EQ(QelMsg.GetMessageID(), -1);
}

TEST_F(XSystemTest, HoldOffAtItsLimitsAndBeyond) {
  for (int64_t h : {int64_t(25), int64_t(2500000000)}) {
    run_->horizontal[0].holdOff = h;
    EXPECT_EQ(TimeBase.AdjHoldOff(0), 0);
    EXPECT_EQ(plat::SimDecodedTimebase().holdOffUnits, uint32_t(h));
  }
  EXPECT_DOUBLE_EQ(plat::SimDecodedTimebase().holdOffSeconds, 10.0);
  run_->horizontal[0].holdOff = 5000000000LL;  // 20 s does not wrap to 2.8 s
  TimeBase.AdjHoldOff(0);
  EXPECT_EQ(plat::SimDecodedTimebase().holdOffUnits, 0xFFFFFFFFu);
  run_->horizontal[0].holdOff = -5;
  TimeBase.AdjHoldOff(0);
  EXPECT_EQ(plat::SimDecodedTimebase().holdOffUnits, 0u);
}

TEST_F(XSystemStartTest, StartUpRestoresTheStoredTimeBaseAndPosition) {
  std::vector<uint8_t> e = MarkedEeprom();
  e[EE_TIMEBASE] = 21;
  const uint32_t depth = uint32_t(kCentre + 1000);
  for (int i = 0; i < 4; ++i) e[EE_PRETRIG_DEPTH + i] = uint8_t(depth >> (24 - 8 * i));
  Boot(e);
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 21);
  EXPECT_EQ(TimeBase.GetTimeBase(0), 21);
  EXPECT_EQ(TimeBase.GetPreTrigDepth(0), int64_t(depth));
  EXPECT_EQ(TimeBase.GetRealPreTrigDepth(0), int64_t(depth));
  EXPECT_EQ(TimeBase.GetTrigDelayLimit(), 1);
  EXPECT_EQ(run_->acqStatus[0], 1);
  EXPECT_EQ(run_->acqStatus[1], 1);
}

TEST_F(XSystemStartTest, BlankEepromStartsOnTheDefaults) {
  Boot(std::vector<uint8_t>(512, 0xFF));
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), x_system::kDefaultTimeBase);
  EXPECT_EQ(TimeBase.GetRealPreTrigDepth(0), kCentre);
  EXPECT_EQ(bench_.EepromByte(EE_TIMEBASE), x_system::kDefaultTimeBase);
  EXPECT_EQ(bench_.EepromU32(EE_PRETRIG_DEPTH), uint32_t(kCentre));
}

TEST_F(XSystemStartTest, DamagedEepromWordsStartOnTheDefaults) {
  std::vector<uint8_t> e = MarkedEeprom();
  e[EE_TIMEBASE] = 40;  // exists in the tables, never selected
  e[EE_PRETRIG_DEPTH] = 0x7F;  // far beyond the record
  Boot(e);
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), x_system::kDefaultTimeBase);
  EXPECT_EQ(TimeBase.GetRealPreTrigDepth(0), kCentre);
}

TEST_F(XSystemTest, SettersRefuseBadBlocksAndIndices) {
  for (int ch : {-1, -100, 12, 13, 1000}) {
    EXPECT_EQ(TimeBase.AdjTimeBase(ch, 0), -1) << ch;
    EXPECT_EQ(TimeBase.AdjPreTrigDepth(ch, 0), -1) << ch;
    EXPECT_EQ(TimeBase.SetRealTimeBase(ch, 12), -1) << ch;
    EXPECT_EQ(TimeBase.SetRealPreTrigDepth(ch, kCentre), -1) << ch;
    EXPECT_EQ(TimeBase.GetRealTimeBase(ch), -1) << ch;
  }
  for (int index : {-1, 2, 40, 41, 1000}) {
    EXPECT_EQ(TimeBase.SetTimeBase(0, index), -1) << index;
    EXPECT_EQ(TimeBase.SetRealTimeBase(0, index), -1) << index;
    EXPECT_EQ(TimeBase.SetZoomTimeBase(0, index), -1) << index;
  }
  EXPECT_EQ(TimeBase.GetTimeBaseDivTime(-1), 0.0);
  EXPECT_EQ(TimeBase.GetTimeBaseDivTime(12), 1e-6);
  EXPECT_EQ(TimeBase.CalcuSample(12), 5e7);
  EXPECT_EQ(TimeBase.SetRealTimeBaseS(0, -1e-3), -1);
  EXPECT_EQ(TimeBase.SetRealTimeBaseS(0, 0.9999999999e-6), 12);  // a decimal text of 1 us
  EXPECT_EQ(TimeBase.SetRealTimeBaseS(0, 1.5e-3), 21);
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 21);
  EXPECT_EQ(TimeBase.SetRealTimeBaseS(0, 1e6), -1);
  EXPECT_EQ(TimeBase.SetMaxRealAndRollTimeBase(0, 30), 0);
  EXPECT_EQ(TimeBase.GetRollTimeBase(), 31);
  EXPECT_EQ(TimeBase.SetMaxRealAndRollTimeBase(0, 39), -1);
  EXPECT_EQ(TimeBase.GetLastRealTimeBase(), 25);
  EXPECT_EQ(TimeBase.SetMaxRealAndRollTimeBase(2, 30), -1);
  EXPECT_EQ(TimeBase.SetHoriPoints(2), -1);
  EXPECT_EQ(TimeBase.SetHoriPoints(0), 0);
  EXPECT_EQ(run_->horiPoints, 0);
}

TEST_F(XSystemTest, HalfScreenPointsAndTheIndependentTimeBase) {
  TimeBase.SetHoriPoints(0);
  SysRunStatus.SetMemDepth(1);
  plat::SimTimebaseSettings s = Apply(21);
  EXPECT_EQ(s.lastColumn, 349);
  EXPECT_EQ(s.writeStep, 10u * 2 * 16);
  SysRunStatus.IndependTimeBaseEnable();
  SysRunStatus.SetIndependTimeBaseSplit(1);
  run_->sourceOn = 3;
  EXPECT_EQ(TimeBase.AdjTimeBase(1, 0), 0);
  s = plat::SimDecodedTimebase();
  EXPECT_EQ(s.channelWord, 1);
  EXPECT_EQ(s.splitWord, 1);
  EXPECT_EQ(bench_.EepromByte(EE_TIMEBASE + 1), run_->horizontal[1].realTimeBase);
}

TEST_F(XSystemTest, TablesHoldTheirExactValues) {
  EXPECT_EQ(TimeBaseS[0], 100e-12);
  EXPECT_EQ(TimeBaseS[3], 1e-9);
  EXPECT_EQ(TimeBaseS[12], 1e-6);
  EXPECT_EQ(TimeBaseS[21], 1e-3);
  EXPECT_EQ(TimeBaseS[30], 1.0);
  EXPECT_EQ(TimeBaseS[39], 1000.0);
  EXPECT_EQ(TimeBaseS[41], 5000.0);
  EXPECT_STREQ(TimeBaseStr[0], "100.00ps");
  EXPECT_STREQ(TimeBaseStr[3], "1.00ns");
  EXPECT_STREQ(TimeBaseStr[12], "1.00\xB5s");
  EXPECT_STREQ(TimeBaseStr[41], "5000.00s");
  for (int i = 0; i < kTimeBaseEntries; ++i) EXPECT_LT(std::strlen(TimeBaseStr[i]), 12u);
  EXPECT_EQ(TimeBasePsPerPoint(0), 2);
  EXPECT_EQ(TimeBasePsPerPoint(41), 100000000000000LL);
  const double depths[] = {1, 7000, 70000, 700000, 7000000, 35000000, 56000000, 70000000};
  for (int i = 0; i < kMemDepthEntries; ++i) EXPECT_EQ(MemDepthSize[i], depths[i]);
}

TEST_F(XSystemTest, BusTriggerBitTimingFollowsTheSampleRate) {
  SysRunStatus.SetMemDepth(1);
  run_->trigType = 12;  // RS232
  run_->rs232.baud = 9600;
  WaveOp.SetDecodeFocusItem(5);
  Apply(21);  // 2000 ns per sample: 500 kSa/s
  EXPECT_FLOAT_EQ(run_->rs232.samplesPerBit, 5e5f / 9600);
  EXPECT_EQ(plat::Fpga().Word(300), 52 << 10 | 83);  // 52.0833
  EXPECT_EQ(plat::Fpga().Word(302), 0);
  EXPECT_EQ(WaveOp.GetDecodeFocusItem(), 0);
  EXPECT_EQ(run_->busWord[BusWordIndex(300)], 52 << 10 | 83);

  run_->trigType = 14;  // SPI: idle samples from the idle time in 4 ns
  run_->spi.idleTime = 250;
  Apply(12);  // 2 ns per sample
  EXPECT_EQ(plat::Fpga().Word(300), 500);

  run_->trigType = 13;  // I2C: no bit timing
  plat::Fpga().ClearLog();
  Apply(12);
  for (const auto& e : plat::Fpga().Log()) EXPECT_NE(e.first, 300);
}

TEST(XSystemBench, TheMainLoopRunsWithBothModelsLoaded) {
  Bench bench;
  ASSERT_EQ(bench.Start(), 0);
  _SysRunInfo* run = SysRunStatus.GetSysRunInfoBaseAddr();
  TimeBase.LoadXsystem(&SystemResource, run);
  Trigger.LoadTrigsystem(&ChSelfCaliData, &SystemResource, run);
  EXPECT_EQ(Trigger.AdjTriggerPosition(0), 0);
  EXPECT_EQ(Trigger.SentTriggerConfigPara(), 0);
  EXPECT_EQ(TimeBase.AdjTimeBase(0, 1), 0);
  bench.Pass(2);
  EXPECT_TRUE(plat::Fpga().AcquireNow());
  bench.Pass(2);
  // The snapshot of the last acquisition took the time base in force.
  EXPECT_EQ(TimeBase.GetTimeBase(0), TimeBase.GetRealTimeBase(0));
  bench.Stop();
}
