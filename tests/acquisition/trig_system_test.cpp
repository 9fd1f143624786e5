// The trigger hardware model on the simulated board: level codes and DACs
// through the calibration, the knob limits with message 3, the words of each
// trigger type and what the simulated FPGA decodes from them, sweep, force,
// coupling and the EEPROM.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "acquisition/models/cali_para.h"
#include "acquisition/models/serial_fixed_point.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "core/board/ch_cali_data.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "platform/sim/acquisition/sim_acquire.h"
#include "platform/sim/fpga/sim_decode_timebase.h"
#include "platform/sim/fpga/sim_decode_trigger.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/sim/acquisition/sim_frontend.h"
#include "tests/bench/bench.h"

namespace {
using Log = WordLog;

class TrigSystemTest : public ::testing::Test {
 protected:
  void Boot(const std::vector<uint8_t>& eeprom) {
    run_ = BootModels(bench_, eeprom, kBenchTimeBase | kBenchTrigger, [](_SysRunInfo& r) {
      for (int s : {0, 1, 4}) {
        VerticalBlock& v = r.vertical[s];
        v.vdivIndex = 12;  // 1 V/div
        v.vdivVolts = 1.0f;
        v.position = 127;
        v.invert = 0;
      }
      r.sourceOn = 1;
    });
    ASSERT_NE(run_, nullptr);
  }
  void SetUp() override { Boot(MarkedEeprom()); }

  // The type's words: from the source word that opens the configuration to
  // the coupling word that closes it.
  static Log ConfigWords() {
    Log out;
    bool in = false;
    for (const auto& e : plat::Fpga().Log()) {
      if (!in && e.first == 2) {
        in = true;
        continue;
      }
      if (in && e.first == 96) break;
      if (in) out.push_back(e);
    }
    return out;
  }
  static std::vector<int> Numbers(const Log& log) {
    std::vector<int> n;
    for (const auto& e : log) n.push_back(e.first);
    return n;
  }
  static Log Sent() {
    plat::Fpga().ClearLog();
    EXPECT_EQ(Trigger.SentTriggerConfigPara(), 0);
    return ConfigWords();
  }

  Bench bench_;
  _SysRunInfo* run_ = nullptr;
};

class TrigSystemStartTest : public TrigSystemTest {
 protected:
  void SetUp() override {}
};
}  // namespace

// ---- levels and the DAC ------------------------------------------------------

TEST_F(TrigSystemTest, LevelDacIsTheCalibratedCodeForEveryCoupling) {
  namespace fe = plat::simfe;
  for (int coupling : {0, 1, 2, 3}) {
    for (int position : {127, 150, 60}) {
      run_->trigCoupling = int16_t(coupling);
      run_->vertical[0].position = int16_t(position);
      Trigger.SetTriggerPos(0, 1, 40);
      const plat::SimTriggerSettings t = plat::SimDecodedTrigger();
      EXPECT_NEAR(t.levelCode, 40, 0.2) << coupling << " " << position;
      EXPECT_EQ(t.levelDac, Trigger.GetKeptDac(0));
    }
  }
  EXPECT_EQ(Trigger.GetTriggerPos(0, 1), 40);
  EXPECT_EQ(run_->levelBlock[0].level[1].value8, 167);
  EXPECT_EQ(plat::Fpga().DacValue(3), 500);  // hysteresis at 1 V/div

  // CH2 with its own calibration.
  Trigger.SetTriggerSource(1);
  Trigger.SetTriggerPos(1, 1, -30);
  EXPECT_NEAR(plat::SimDecodedTrigger().levelCode, -30, 0.2);
  EXPECT_EQ(plat::SimDecodedTrigger().source, 1);
}

TEST_F(TrigSystemTest, FineRangesNoiseRejectAndTheHalfMillivoltRange) {
  run_->vertical[0].vdivIndex = 4;  // 2 mV/div
  Trigger.SetTriggerPos(0, 1, 20);
  EXPECT_EQ(plat::SimDecodedTrigger().sensitivity, 0x1010);
  EXPECT_EQ(plat::Fpga().DacValue(3), 2000);
  // 500 uV/div runs the 1 mV range: its calibration record holds data.
  run_->vertical[0].vdivIndex = 2;
  Trigger.SetTriggerPos(0, 1, 20);
  EXPECT_NEAR(plat::SimDecodedTrigger().levelCode, 20, 0.2);
  EXPECT_EQ(plat::Fpga().DacValue(3), 3000);
  run_->vertical[0].vdivIndex = 12;
  Trigger.SetTriggerPos(0, 1, 20);
  EXPECT_EQ(plat::SimDecodedTrigger().sensitivity, 0x0606);
  run_->trigCoupling = 4;  // noise reject
  Trigger.SetTriggerPos(0, 1, 20);
  EXPECT_EQ(plat::SimDecodedTrigger().sensitivity, 0x1010);
  EXPECT_EQ(plat::Fpga().DacValue(3), 1500);
}

TEST_F(TrigSystemTest, InvertedChannelMirrorsComparatorAndDrawPosition) {
  run_->vertical[0].invert = 0x101;
  run_->vertical[0].position = 150;
  Trigger.SetTriggerPos(0, 1, 40);
  EXPECT_EQ(Trigger.GetTriggerDrawPos(0, 1), 2 * 150 - 254 - 40);
  EXPECT_EQ(run_->levelBlock[0].level[1].value8, 40 + (255 - 150) - 150 + 127);
  run_->trigLevelSel = 1;
  Trigger.AdjTriggerPosition(0);
  EXPECT_LT(run_->levelVoltage[0].levelText[1].mantissa * run_->levelVoltage[0].level[1], 0);  // shown negated
}

TEST_F(TrigSystemTest, StoppedLevelChangesKeepTheComparatorValue) {
  Trigger.SetTriggerPos(0, 1, 10);
  run_->acqStatus[0] = 4;
  plat::Fpga().ClearLog();
  Trigger.SetTriggerPos(0, 1, 60);
  EXPECT_EQ(run_->levelBlock[0].level[1].value8, 137);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 1), 60);
  EXPECT_NEAR(plat::SimDecodedTrigger().levelCode, 60, 0.2);  // the DAC still follows
  for (const auto& e : plat::Fpga().Log()) EXPECT_NE(e.first, 88);
}

TEST_F(TrigSystemTest, TwoLevelTypesDriveTheDacFromTheirComparatorLevel) {
  run_->trigType = 3;  // slope
  run_->slope = 0;     // level 1 drives the DAC
  Trigger.SetTriggerPos(0, 1, 30);
  const int dac = plat::Fpga().DacValue(2);
  Trigger.SetTriggerPos(0, 0, -30);  // skipped
  EXPECT_EQ(plat::Fpga().DacValue(2), dac);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), -30);
  EXPECT_EQ(Trigger.GetTrigLevel(), 1);
  // Slope 1 swaps the comparator pairs: level 0 in word 88.
  run_->slope = 1;
  Trigger.SetSoftTrigValue();
  EXPECT_EQ(plat::Fpga().Word(88) & 0xFF, run_->levelBlock[0].level[0].value8);
  EXPECT_EQ(Trigger.GetTrigLevel(), 0);
  run_->trigType = 4;  // runt, slope 0: level 0 drives
  run_->slope = 0;
  EXPECT_EQ(Trigger.GetTrigLevel(), 0);
}

TEST_F(TrigSystemTest, AcCouplingComparatorBytesAreSignedAndClamped) {
  run_->trigCoupling = 1;
  run_->levelBlock[1].level[0].value8 = 255;  // +128 codes
  Trigger.SetTriggerPos(0, 0, -120);          // CH1 level 0 at 7
  Trigger.SetSoftTrigValue();
  EXPECT_EQ(plat::Fpga().Word(90), 0x649C);  // -100 | +100 << 8
}

// ---- the knob ----------------------------------------------------------------

TEST_F(TrigSystemTest, KnobStopsAtTheLimitsWithMessage3AndSavesTheCodes) {
  run_->trigLevelSel = 0;
  EXPECT_EQ(Trigger.AdjTriggerPosition(500), 0);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 200);
  EXPECT_EQ(QelMsg.GetMessageID(), 3);
  EXPECT_EQ(bench_.EepromWord(74), 200);
  EXPECT_DOUBLE_EQ(Trigger.GetTriggerVoltage(0, 0), 8.0);  // 200 codes at 1 V/div
  EXPECT_GT(run_->trigLevelTime.sec, 0);                   // DC: the change is stamped
  Trigger.AdjTriggerPosition(-1000);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), -200);
  EXPECT_EQ(bench_.EepromWord(74), 0xFF38);
  QelMsg.ClearMessage();
  Trigger.AdjTriggerPosition(5);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), -195);
  EXPECT_EQ(QelMsg.GetMessageID(), -1);

  // Both levels move together and stay 10 codes apart.
  run_->trigLevelSel = 2;
  Trigger.SetTriggerPos(0, 0, 0);
  Trigger.SetTriggerPos(0, 1, 5);
  Trigger.AdjTriggerPosition(0);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 0);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 1), 10);
  EXPECT_EQ(QelMsg.GetMessageID(), 3);
  EXPECT_EQ(bench_.EepromWord(82), 10);

  // AC coupling: the time stamp's seconds are cleared.
  run_->trigCoupling = 1;
  Trigger.AdjTriggerPosition(1);
  EXPECT_EQ(run_->trigLevelTime.sec, 0);
}

TEST_F(TrigSystemTest, SecondLevelOfASlopeTriggerKeepsItsDistance) {
  run_->trigType = 3;
  Trigger.SetTriggerPos(0, 0, 0);
  Trigger.SetTriggerPos(0, 1, 50);
  run_->trigLevelSel = 1;
  Trigger.AdjTriggerPosition(-45);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 1), 10);
  EXPECT_EQ(QelMsg.GetMessageID(), 3);
  run_->trigLevelSel = 0;
  Trigger.AdjTriggerPosition(100);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 0);  // at most level 1 - 10

  // Slew rate between the levels: 0.4 V over 1 us.
  run_->when = 0;
  run_->timeValue1 = 250;
  Trigger.AdjTriggerPosition(0);
  EXPECT_NEAR(run_->slewRate[0], 0.4, 1e-9);
  EXPECT_NEAR(run_->slewRate[1], 0.4, 1e-9);
  run_->timeValue1 = 0;  // no time: no division by zero
  Trigger.AdjTriggerPosition(0);
  EXPECT_EQ(run_->slewRate[0], 0.0);
}

TEST_F(TrigSystemTest, ExternalInputReachesAThousandCodes) {
  EXPECT_EQ(Trigger.SetTriggerSource(3), 3);
  run_->trigLevelSel = 1;
  Trigger.AdjTriggerPosition(5000);
  EXPECT_EQ(Trigger.GetTriggerPos(4, 1), 1000);
  EXPECT_EQ(QelMsg.GetMessageID(), 3);
  const plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_NEAR(t.levelVolts, 4.0, 0.005);
  EXPECT_FLOAT_EQ(run_->levelBlock[4].level[1].voltage, 4.0f);
  EXPECT_EQ(Trigger.AdjTriggerPosition(0), 0);
  run_->trigSource = 2;
  EXPECT_EQ(Trigger.AdjTriggerPosition(1), -1);
}

// ---- the configuration words -------------------------------------------------

TEST_F(TrigSystemTest, EdgeAndUnknownTypes) {
  run_->trigSource = 1;
  run_->slope = 1;
  EXPECT_EQ(Sent(), (Log{{84, 0}, {48, 1}, {92, 1}}));
  run_->trigType = 42;
  EXPECT_EQ(Sent(), (Log{{84, 0}, {48, 1}, {92, 1}}));
  run_->trigType = -3;
  EXPECT_EQ(Sent(), (Log{{84, 0}, {48, 1}, {92, 1}}));
  const plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.type, 0);
  EXPECT_EQ(t.source, 1);
  EXPECT_EQ(t.slope, 1);
  EXPECT_EQ(t.selectWord, 1);
}

TEST_F(TrigSystemTest, PulseSlopeRuntWindowCarryTheirLimitsExactly) {
  run_->trigSource = 0;
  run_->slope = 1;
  run_->when = 2;
  run_->windowPos = 3;
  run_->timeValue1 = trig_system::TimeCountWord(10000000000ull, true);  // a 10 s pulse limit
  run_->timeValue2 = trig_system::TimeCountWord(2, true);
  for (int type : {1, 3, 4, 5}) {
    run_->trigType = int16_t(type);
    const Log w = Sent();
    EXPECT_EQ(Numbers(w), (std::vector<int>{84, 48, 92, 82, 102, 104, 260, 262})) << type;
    EXPECT_EQ(w[3].second, type == 5 ? 3 : 2);
    const plat::SimTriggerSettings t = plat::SimDecodedTrigger();
    EXPECT_EQ(t.type, type);
    EXPECT_DOUBLE_EQ(t.lowerSeconds, 10.0);
    EXPECT_EQ(t.upperUnits, 1u);
  }
  EXPECT_EQ(trig_system::TimeCountWord(20000000000ull, true), 0xFFFFFFFFu);  // 20 s is held, not wrapped
  EXPECT_EQ(trig_system::TimeCountWord(5000000000ull, false), 0xFFFFFFFFu);
  EXPECT_EQ(trig_system::TimeCountWord(7, true), 2u);
  EXPECT_EQ(trig_system::TimeCountWord(2500000000ull, false), 2500000000u);
}

TEST_F(TrigSystemTest, VideoDelayTimeOutDurationNthEdgeWords) {
  run_->trigSource = 1;
  run_->trigType = 2;
  run_->videoStandard = 1;
  run_->videoSync = 3;
  run_->videoLine = 310;
  EXPECT_EQ(Sent(), (Log{{84, 2}, {48, 1}, {78, 1}, {80, 3}, {76, 310}}));
  plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.videoLine, 310);
  EXPECT_EQ(t.videoSync, 3);

  run_->trigType = 6;
  run_->trigSource2 = 0;
  run_->delayEdge1 = 1;
  run_->trigSource3 = 1;
  run_->delayEdge2 = 0;
  run_->when = 1;
  run_->timeValue1 = 100;
  run_->timeValue2 = 200;
  EXPECT_EQ(Numbers(Sent()), (std::vector<int>{84, 266, 268, 270, 272, 48, 92, 82, 102, 104, 260, 262}));
  t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.source, 1);
  EXPECT_EQ(t.pairWords[0], 0);
  EXPECT_EQ(t.pairWords[1], 1);
  EXPECT_EQ(t.upperUnits, 200u);

  run_->trigType = 7;
  run_->slope = 1;
  EXPECT_EQ(Sent(), (Log{{84, 7}, {48, 1}, {92, 1}, {102, 100}, {104, 0}}));

  run_->trigType = 8;
  run_->sourceCode[0] = 2;
  run_->sourceCode[1] = 1;
  EXPECT_EQ(Numbers(Sent()), (std::vector<int>{84, 48, 274, 276, 82, 102, 104, 260, 262}));
  EXPECT_EQ(plat::SimDecodedTrigger().codeWords[1], 1);

  run_->trigType = 10;
  run_->nthEdgeCount = 65535;
  EXPECT_EQ(Sent(), (Log{{84, 10}, {48, 1}, {92, 1}, {264, 65535}, {102, 100}, {104, 0}}));
}

TEST_F(TrigSystemTest, SetupHoldByItsSelection) {
  run_->trigType = 9;
  run_->trigSource2 = 1;  // data
  run_->trigSource3 = 0;  // clock
  run_->slope = 1;
  run_->sourceCode[1] = 3;
  run_->timeValue1 = 25;
  run_->setupHoldSel = 0;
  Log w = Sent();
  EXPECT_EQ(Numbers(w), (std::vector<int>{84, 266, 270, 272, 268, 48, 92, 82, 102, 104, 260, 262}));
  EXPECT_EQ(w[4].second, 3);  // the data source's code
  EXPECT_EQ(w[5].second, 0);  // compares on the clock
  run_->setupHoldSel = 1;
  w = Sent();
  EXPECT_EQ(w[5], (std::pair<uint16_t, uint16_t>{48, 1}));
  EXPECT_EQ(w[6], (std::pair<uint16_t, uint16_t>{92, 3}));
  run_->setupHoldSel = 2;
  w = Sent();
  EXPECT_EQ(Numbers(w), (std::vector<int>{84, 266, 270, 272, 268, 92, 82, 102, 104, 260, 262}));
  EXPECT_EQ(w[5].second, 2);
  run_->trigSource2 = 9;  // a data source without a code slot
  w = Sent();
  EXPECT_EQ(w[4].second, 0);
}

TEST_F(TrigSystemTest, PatternFollowsTheLastCode) {
  run_->trigType = 11;
  run_->trigSource = 1;
  run_->sourceCode[0] = 1;
  run_->sourceCode[1] = 4;
  EXPECT_EQ(Sent(), (Log{{84, 11}, {266, 0}, {274, 1}, {270, 1}, {276, 4}, {270, 1}, {48, 1}, {92, 1}}));
  run_->sourceCode[1] = 3;
  EXPECT_EQ(Sent().back(), (std::pair<uint16_t, uint16_t>{92, 0}));
  run_->sourceCode[1] = 0;
  run_->trigSource = 0;
  EXPECT_EQ(Sent(), (Log{{84, 11}, {266, 0}, {274, 1}, {270, 1}, {276, 0}, {266, 0}}));
}

TEST_F(TrigSystemTest, Rs232Words) {
  run_->trigType = 12;
  run_->trigSource = 1;
  Rs232Trigger& u = run_->rs232;
  u.source = 1;
  u.baud = 9600;
  u.ticksPerBit = 1e8f / 9600;    // 10416.667
  u.samplesPerBit = 5e8f / 9600;  // 52083.33
  u.polarity = 1;
  u.bitOrder = 0;
  u.stopBits = 1;
  u.parity = 2;
  u.when = 3;
  u.dataWidth = 1;
  u.data = 0xA5;
  const Log w = Sent();
  EXPECT_EQ(Numbers(w), (std::vector<int>{84, 48, 296, 298, 300, 302, 294, 308, 310}));
  const plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.busKind, 0);
  EXPECT_NEAR(t.bitTime, 10416.667, 0.0015);
  EXPECT_NEAR(t.samplesPerBit, 52083.333, 0.004);
  EXPECT_EQ(t.rs232.polarity, 1);
  EXPECT_EQ(t.rs232.stopBits, 1);
  EXPECT_EQ(t.rs232.parity, 2);
  EXPECT_EQ(t.rs232.when, 3);
  EXPECT_EQ(t.rs232.source, 1);
  EXPECT_EQ(t.rs232.width, 6);
  EXPECT_EQ(t.rs232.data, 0xA5);
  EXPECT_EQ(run_->busWord[BusWordIndex(308)], plat::Fpga().Word(308));
  EXPECT_EQ(run_->busWord[BusWordIndex(310)], 0xA506);
  // Fixed point: thousandths rounded half up from four decimals.
  EXPECT_EQ(SerialFixedPoint(1.0625f), 1u << 10 | 63);
  EXPECT_EQ(SerialFixedPoint(-1.0f), 0u);
}

TEST_F(TrigSystemTest, I2cWords) {
  run_->trigType = 13;
  I2cTrigger& i = run_->i2c;
  i.address = 0x50;
  i.addressMode = 0;
  i.address2 = 0x3FF;
  i.sclSource = 0;
  i.sdaSource = 1;
  i.dataCount = 5;
  i.when = 2;
  i.direction = 1;
  const uint8_t data[5] = {0x11, 0x22, 0x33, 0x44, 0x55};
  for (int k = 0; k < 5; ++k) i.data[k] = data[k], i.mask[k] = uint8_t(0xF0 + k);
  const Log w = Sent();
  EXPECT_EQ(Numbers(w), (std::vector<int>{84, 294, 312, 332, 334, 314, 316, 318, 320, 324, 326, 328}));
  EXPECT_EQ(w[2].second, 0x280);  // 7-bit 0x50 << 3
  plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.busKind, 1);
  EXPECT_EQ(t.i2c.address, 0x50);
  EXPECT_EQ(t.i2c.sda, 1);
  EXPECT_EQ(t.i2c.dataCount, 5);
  EXPECT_EQ(t.i2c.when, 2);
  EXPECT_EQ(t.i2c.direction, 1);
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(t.i2c.data[k], data[k]);
    EXPECT_EQ(t.i2c.mask[k], 0xF0 + k);
  }
  i.addressMode = 1;
  i.address = 0x2A5;
  Sent();
  t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.i2c.tenBit, 1);
  EXPECT_EQ(t.i2c.address, 0x2A5);
}

TEST_F(TrigSystemTest, SpiWords) {
  run_->trigType = 14;
  run_->horizontal[0].sampleRate = 2.5e8f;  // 4 ns per sample
  SpiTrigger& s = run_->spi;
  s.bitOrder = 1;
  s.mosiPolarity = 1;
  s.bitWidth = 8;
  s.when = 2;  // (3, 4)
  s.sclkEdge = 1;
  s.dataLength = 2;
  s.idleTime = 250;  // 1 us
  s.sclkSource = 1;
  s.mosiSource = 0;
  s.misoSource = 1;
  for (int k = 0; k < 8; ++k) s.data[k] = uint16_t(0x100 + k), s.mask[k] = uint16_t(0x200 + k);
  const Log w = Sent();
  EXPECT_EQ(Numbers(w), (std::vector<int>{84, 294, 336, 338, 296, 298, 300, 302, 376, 344, 346, 348, 350, 352,
                                          354, 356, 358, 360, 362, 364, 366, 368, 370, 372, 374}));
  EXPECT_EQ(w[2].second, 1 << 15 | 1 << 14 | 8 << 1 | 3);
  EXPECT_EQ(w[3].second, 4 | 1 | 16 << 8);
  EXPECT_EQ(w[9], (std::pair<uint16_t, uint16_t>{344, 0x107}));  // the eighth word first
  const plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.busKind, 2);
  EXPECT_EQ(t.bitTimeWord, 250u);
  EXPECT_EQ(t.perBitWord, 250u);  // 250 x 4 ns over 4 ns per sample
  EXPECT_EQ(t.spi.configWord, 0xC013);
  EXPECT_EQ(t.spi.frameBits, 16);
  EXPECT_EQ(t.spi.clock, 1);
  EXPECT_EQ(t.spi.miso, 1);
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(t.spi.data[k], 0x100 + k);
    EXPECT_EQ(t.spi.mask[k], 0x200 + k);
  }
}

TEST_F(TrigSystemTest, CanAndLinWords) {
  run_->trigType = 15;
  CanTrigger& c = run_->can;
  c.source = 1;
  c.when = 2;
  c.idFormat = 1;
  c.dataCount = 3;
  c.ticksPerBit = 200.0f;
  c.samplesPerBit = 1000.5f;
  for (int k = 0; k < 11; ++k) c.idBits[k] = uint8_t(k == 0 || k == 10);
  for (int k = 0; k < 8; ++k) c.data[k] = uint8_t(0x10 * k + 1), c.mask[k] = 0xFF;
  Log w = Sent();
  EXPECT_EQ(Numbers(w), (std::vector<int>{84, 294, 308, 296, 298, 300, 302, 528, 530, 534, 532, 536, 350, 348, 346,
                                          344, 366, 364, 362, 360}));
  plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.busKind, 3);
  EXPECT_EQ(t.can.kindWord, 1 | 128 | 2 | 4 * 8);
  EXPECT_EQ(t.can.idWord & 0x7FF, 0x401);
  EXPECT_EQ(t.can.source, 1);
  EXPECT_NEAR(t.samplesPerBit, 1000.5, 1e-9);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(t.can.data[k], 0x10 * k + 1);
  EXPECT_EQ(run_->canLinWord[CanLinWordIndex(528)], t.can.kindWord);

  run_->trigType = 16;
  LinTrigger& l = run_->lin;
  l.source = 0;
  l.polarity = 1;
  l.version = 2;
  l.errorSel = 3;
  for (int k = 0; k < 8; ++k) l.idBits[k] = uint8_t(k % 2), l.idMask[k] = 1, l.data[k] = uint8_t(k);
  w = Sent();
  EXPECT_EQ(Numbers(w), (std::vector<int>{84, 294, 308, 296, 298, 300, 302, 538, 542, 540, 350, 348, 346, 344, 366,
                                          364, 362, 360}));
  t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.busKind, 4);
  EXPECT_EQ(t.lin.word538, 2 | 2 << 4);
  EXPECT_EQ(t.lin.word540, 0x55 | 0xFF << 8);
  EXPECT_EQ(t.lin.word542, (3 + 1) << 1);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(t.lin.data[k], k);
}

// ---- sweep, force, coupling --------------------------------------------------

TEST_F(TrigSystemTest, SingleSweepHoldsTheFpgaBeforeSamplingRestarts) {
  EXPECT_EQ(Trigger.SetTriggerMode(2), 2);
  const Log log = plat::Fpga().Log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], (std::pair<uint16_t, uint16_t>{0, 1}));
  EXPECT_EQ(log[1], (std::pair<uint16_t, uint16_t>{128, 1}));
  EXPECT_EQ(log[2], (std::pair<uint16_t, uint16_t>{72, 3}));
  plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.sweep, 2);
  EXPECT_TRUE(plat::SimDecodedTimebase().single);
  EXPECT_TRUE(plat::SimDecodedTimebase().running);
  EXPECT_EQ(Trigger.SetTriggerMode(1), 1);
  EXPECT_EQ(plat::SimDecodedTrigger().sweep, 1);
  EXPECT_EQ(run_->trigMode, 1);

  run_->acqStatus[0] = 4;  // stopped: only the mode word
  plat::Fpga().ClearLog();
  Trigger.SetTriggerMode(0);
  EXPECT_EQ(plat::Fpga().Log(), (Log{{72, 0}}));
  plat::Fpga().ClearLog();
  Trigger.SetTriggerMode(2);
  EXPECT_TRUE(plat::Fpga().Log().empty());
  EXPECT_EQ(Trigger.SetTriggerMode(3), -1);
  EXPECT_EQ(Trigger.SetTriggerMode(-1), -1);
}

TEST_F(TrigSystemTest, ForceAndCouplingWords) {
  Trigger.ForceTrigger();
  EXPECT_EQ(plat::Fpga().Log(), (Log{{222, 0}, {222, 1}, {222, 0}}));
  EXPECT_EQ(plat::SimDecodedTimebase().forced, 1);

  const int codes[] = {0, 1, 4, 2, 0};
  Trigger.SetTriggerSource(1);
  for (int coupling = 0; coupling <= 4; ++coupling) {
    run_->trigCoupling = int16_t(coupling);
    Trigger.SetTriggerCoupling();
    EXPECT_EQ(plat::Fpga().Word(96), codes[coupling] << 4) << coupling;
    EXPECT_EQ(plat::SimDecodedTrigger().coupling, coupling == 4 ? 0 : coupling);
    run_->alternateTrig = 1;
    Trigger.SetTriggerCoupling();
    EXPECT_EQ(plat::Fpga().Word(96), codes[coupling] * 0x11) << coupling;
    run_->alternateTrig = 0;
  }
  run_->trigCoupling = 2;
  run_->alternateTrig = 1;
  Trigger.SetTriggerCoupling();
  EXPECT_TRUE(plat::SimDecodedTrigger().bothChannels);
}

TEST_F(TrigSystemTest, AlternateTriggeringUsesTheChannelsKeptDac) {
  Trigger.SetTriggerSource(1);
  Trigger.SetTriggerPos(1, 1, 70);
  Trigger.SetTriggerSource(0);
  Trigger.SetTriggerPos(0, 1, -70);
  EXPECT_EQ(Trigger.AlternateTrigSet(3), 0);
  EXPECT_EQ(plat::Fpga().DacValue(2), Trigger.GetKeptDac(1));
  EXPECT_EQ(plat::Fpga().Word(48), 1);
  EXPECT_EQ(run_->trigSource, 0);  // the stored source is kept
}

TEST_F(TrigSystemTest, BadSourcesLevelsAndTypesAreRefused) {
  for (int src : {-1, 2, 6, 100}) {
    EXPECT_EQ(Trigger.GetTriggerPos(src, 0), 0);
    EXPECT_EQ(Trigger.SetTriggerPos(src, 0, 10), 0);
    EXPECT_EQ(Trigger.GetTriggerDrawPos(src, 0), 0);
  }
  EXPECT_EQ(Trigger.GetTriggerPos(0, 2), 0);
  EXPECT_EQ(Trigger.GetTriggerPos(0, -1), 0);
  EXPECT_EQ(Trigger.SetTriggerSource(4), -1);
  EXPECT_EQ(Trigger.SetTriggerSource(-1), -1);
  EXPECT_EQ(Trigger.SetTriggerType(12), -1);
  EXPECT_EQ(Trigger.SetTriggerType(-1), -1);
  EXPECT_EQ(Trigger.SetTriggerType(5), 5);
  EXPECT_EQ(plat::Fpga().Word(84), 5);
  EXPECT_EQ(Trigger.SetTriggerVoltage(2, 0, 1.0), 0.0);
  EXPECT_EQ(Trigger.SetTriggerVoltage(3, 0, 1.5), 1.5);
  EXPECT_EQ(Trigger.SetTriggerVoltage(0, 1, 2.5), 2.5);
  EXPECT_EQ(Trigger.GetTriggerVoltage(0, 1), 2.5);
  EXPECT_EQ(Trigger.GetTriggerVoltage(3, 1), 0.0);
  EXPECT_EQ(Trigger.GetSourceSoftTrig(-1), 0);
  EXPECT_EQ(Trigger.GetSourceSoftTrig(12), 0);
}

TEST_F(TrigSystemTest, CalibrationCodesAreClampedAndChecked) {
  EXPECT_EQ(Trigger.TriggerCaliDacAdjust(0, 12, 0, 0, 100000), 4095);
  EXPECT_EQ(plat::Fpga().DacValue(2), 4095);
  EXPECT_EQ(ChSelfCaliData.Record(0, 12)->trigDc.zero, 4095);
  EXPECT_EQ(Trigger.TriggerCaliDacAdjust(0, 12, 1, 2, -100000), 0);
  EXPECT_EQ(ChSelfCaliData.Record(0, 12)->trigAc.up75, 0);
  EXPECT_EQ(Trigger.TriggerCaliDacAdjust(4, 16, 0, 9, 3000), 3000);
  EXPECT_EQ(ChSelfCaliData.Record(0, 16)->extDc.zero, 3000);
  for (int src : {-1, 2, 3, 5}) EXPECT_EQ(Trigger.TriggerCaliDacAdjust(src, 12, 0, 0, 1), -1) << src;
  for (int idx : {-1, 2, 17, 200}) EXPECT_EQ(Trigger.TriggerCaliDacAdjust(0, idx, 0, 0, 1), -1) << idx;
  EXPECT_EQ(Trigger.TriggerCaliDacAdjust(0, 12, 2, 0, 1), -1);

  CaliPara p = {{1234, 11, 0, 33, 0, 55}};
  EXPECT_EQ(Trigger.SetTriggerCaliPara(1, 5, 0, 1, &p), 0);
  const CaliTrigSub& s = ChSelfCaliData.Record(1, 5)->trigDc;
  EXPECT_EQ(s.offsetZero, 1234);
  EXPECT_EQ(s.word1, 11);
  EXPECT_EQ(s.word3, 33);
  EXPECT_EQ(s.word5, 55);
  EXPECT_EQ(Trigger.SetTriggerCaliPara(1, 5, 0, 1, nullptr), -1);
  EXPECT_EQ(Trigger.SetTriggerCaliPara(2, 5, 0, 1, &p), -1);
}

TEST_F(TrigSystemTest, DecodedLevelAndPositionFeedTheAcquisitions) {
  Trigger.SetTriggerPos(0, 1, 50);  // 2 V at 1 V/div, DC, centred
  plat::SimAcqSettings a;
  a.ch[0].voltsPerDiv = 1.0;
  a.ch[0].zeroCode = 127;
  plat::SimApplyTrigger(plat::SimDecodedTrigger(), &a);
  EXPECT_EQ(a.trigSource, 0);
  EXPECT_NEAR(a.trigLevelV, 2.0, 0.01);

  SysRunStatus.SetMemDepth(1);
  TimeBase.SetRealTimeBase(0, 21);
  TimeBase.AdjTimeBase(0, 0);
  TimeBase.AdjPreTrigDepth(0, 100);
  plat::SimApplyTimebase(plat::SimDecodedTimebase(), &a);
  EXPECT_EQ(a.triggerAddress, TimeBase.GetRealPreTrigDepth(0));
  EXPECT_EQ(a.depth, 7000);
  EXPECT_EQ(a.samplePeriodNs, 2000.0);
  EXPECT_EQ(a.columnNs, 20000.0);
  TimeBase.AdjPreTrigDepth(0, -100000);  // a trigger delay
  plat::SimApplyTimebase(plat::SimDecodedTimebase(), &a);
  EXPECT_EQ(a.triggerAddress, TimeBase.GetRealPreTrigDepth(0));
}

// ---- start-up ----------------------------------------------------------------

TEST_F(TrigSystemStartTest, BlankEepromStartsOnTheDefaultLevels) {
  Boot(std::vector<uint8_t>(512, 0xFF));
  for (int s : {0, 1, 3, 4, 5}) {
    EXPECT_EQ(Trigger.GetTriggerPos(s, 0), -25) << s;
    EXPECT_EQ(Trigger.GetTriggerPos(s, 1), 0) << s;
  }
  EXPECT_EQ(Trigger.GetTriggerVoltage(0, 0), 0.0);
}

TEST_F(TrigSystemStartTest, StoredLevelsAreLoadedWhenInRange) {
  std::vector<uint8_t> e = MarkedEeprom();
  PutEepromU16(&e, 74, 50);
  PutEepromU16(&e, 82, uint16_t(-120));
  PutEepromU16(&e, 76, 0x7FFF);  // beyond the level range
  PutEepromU16(&e, 78, 900);     // slot 4 (external) may, slot 5 may not
  PutEepromU16(&e, 80, 1000);
  Boot(e);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 50);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 1), -120);
  EXPECT_EQ(Trigger.GetTriggerPos(1, 0), -25);
  EXPECT_EQ(Trigger.GetTriggerPos(4, 0), 900);
  EXPECT_EQ(Trigger.GetTriggerPos(5, 0), -25);
  EXPECT_EQ(Trigger.GetTriggerPos(3, 0), 1000);
}

TEST_F(TrigSystemStartTest, MissingPointersLoadNothing) {
  trig_system t;
  t.LoadTrigsystem(nullptr, &SystemResource, SysRunStatus.GetSysRunInfoBaseAddr());
  EXPECT_FALSE(t.PointerNullCheck());
  EXPECT_EQ(t.AdjTriggerPosition(1), -1);
  EXPECT_EQ(t.SentTriggerConfigPara(), -1);
  t.LoadTrigsystem(&ChSelfCaliData, &SystemResource, nullptr);
  EXPECT_FALSE(t.PointerNullCheck());
}
