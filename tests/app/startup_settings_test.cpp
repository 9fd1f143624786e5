// Start-up restores the stored time base, trigger position, volts/div,
// position, probe and trigger level, and the simulated FPGA acquires with
// them; a blank EEPROM starts on the defaults.
#include <gtest/gtest.h>

#include <cstring>

#include "acquisition/models/trig_system.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/eeprom_map.h"
#include "core/state/sys_run_info.h"
#include "core/state/wave_types.h"
#include "platform/sim/acquisition/sim_acquire.h"
#include "tests/bench/bench.h"

namespace {
void PutU16(std::vector<uint8_t>* e, int at, uint16_t v) {
  (*e)[size_t(at)] = uint8_t(v >> 8);
  (*e)[size_t(at) + 1] = uint8_t(v);
}
void PutU32(std::vector<uint8_t>* e, int at, uint32_t v) {
  PutU16(e, at, uint16_t(v >> 16));
  PutU16(e, at + 2, uint16_t(v));
}

constexpr int64_t kDepth = x_system::kRecordCentre + 1000;  // trigger moved off the centre

std::vector<uint8_t> Stored() {
  std::vector<uint8_t> e = FormattedEeprom(6, 0, 0);
  e[EE_SOURCE_ON] = 1;
  e[EE_TIMEBASE] = 20;         // 500 us/div
  PutU32(&e, EE_PRETRIG_DEPTH, uint32_t(kDepth));
  e[EE_VDIV] = 11;             // CH1 500 mV/div
  PutU16(&e, EE_VOFFSET, 152);  // one division up
  e[98] = 3;                   // CH1 probe item: x1
  PutU16(&e, 74, 0);           // CH1 first trigger level
  PutU16(&e, 82, 50);          // the second, the edge type's: 2 divisions over the zero
  return e;
}

TEST(StartupSettings, StoredSettingsReachTheFpgaAndTheAcquisitions) {
  Bench b;
  b.SetEeprom(Stored());
  ASSERT_EQ(b.Start(), 0);

  EXPECT_EQ(TimeBase.GetRealTimeBase(0), 20);
  EXPECT_EQ(TimeBase.GetRealPreTrigDepth(0), kDepth);
  EXPECT_EQ(Vertical.GetRealYsensitivity(0), 11);
  EXPECT_EQ(Vertical.GetRealYposition(0), 152);
  EXPECT_EQ(Vertical.GetYRealprobe(0), 3);
  // The stored level code survives the vertical model's load and its voltage
  // is derived from it: (50 + 127 - 152) codes x 0.5 V / 25.
  EXPECT_EQ(Trigger.GetTriggerPos(0, 1), 50);
  EXPECT_NEAR(Trigger.GetTriggerVoltage(0, 1), 0.5, 1e-6);

  const plat::SimAcqSettings a = b.Fpga().AcqSettings();
  EXPECT_DOUBLE_EQ(a.columnNs, 10000.0);  // 10 us per column, 50 columns a division
  EXPECT_EQ(a.triggerAddress, kDepth);
  EXPECT_DOUBLE_EQ(a.ch[0].voltsPerDiv, 0.5);
  EXPECT_NEAR(a.ch[0].zeroCode, 152, 0.5);
  EXPECT_EQ(a.trigSource, 0);
  EXPECT_NEAR(a.trigLevelV, 0.5, 0.02);

  // A 2 Vpp sine reads 25 codes higher than at the centre: 152 +- 50.
  plat::TestSignal sine;
  sine.amplitudeV = 1.0;
  b.Fpga().SetSignal(0, sine);
  b.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  WaveOp.RequestChData(1);
  ASSERT_TRUE(b.Fpga().AcquireNow());
  b.Pass();
  int max = 0, min = 0;
  ASSERT_EQ(WaveOp.GetWaveMaxMin(0, &max, &min, 7000), 0);
  EXPECT_NEAR(max, 202, 1);
  EXPECT_NEAR(min, 102, 1);
}

TEST(StartupSettings, ABlankEepromStartsOnTheDefaults) {
  Bench b;
  b.SetEeprom(std::vector<uint8_t>(512, 0xFF));
  ASSERT_EQ(b.Start(), 0);
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), x_system::kDefaultTimeBase);
  EXPECT_EQ(TimeBase.GetRealPreTrigDepth(0), x_system::kRecordCentre);
  EXPECT_EQ(Vertical.GetRealYposition(0), 127);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), trig_system::kDefaultLevel[0]);
  EXPECT_EQ(SysRunStatus.GetWaveType(), kWaveRaster);  // normal acquisition: the FPGA's raster
  const plat::SimAcqSettings a = b.Fpga().AcqSettings();
  EXPECT_EQ(a.triggerAddress, x_system::kRecordCentre);
  EXPECT_NEAR(a.ch[0].zeroCode, 127, 0.5);
}
}  // namespace
