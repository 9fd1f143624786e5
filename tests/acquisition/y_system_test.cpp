// The vertical model through the simulated board: the words each setting
// sends, what the simulated FPGA decodes from them, the EEPROM bytes and the
// refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "acquisition/models/cali_para.h"
#include "acquisition/tables/probe_tables.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "core/board/ch_cali_data.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "platform/sim/acquisition/sim_acquire.h"
#include "platform/sim/fpga/sim_decode_vertical.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/sim/acquisition/sim_frontend.h"
#include "tests/bench/bench.h"
#include "tests/bench/eeprom_addresses.h"

namespace {
namespace fe = plat::simfe;
using Words = WordLog;

// A formatted EEPROM with both channels on at 100 mV/div, centred, probe 1x.
std::vector<uint8_t> Formatted() {
  std::vector<uint8_t> img = MarkedEeprom();
  img[EE_SOURCE_ON] = 3;
  img[EE_ACTIVE_CH] = 0;
  for (int ch = 0; ch < 2; ++ch) {
    img[EE_VDIV + ch] = 9;
    img[EE_VOFFSET + 2 * ch] = 0;
    img[EE_VOFFSET + 2 * ch + 1] = 127;
  }
  img[ee::kCh1Probe] = img[ee::kCh2Probe] = 3;
  return img;
}

struct Vertical_ : ::testing::Test {
  Bench bench;
  plat::SimFpga& fpga = plat::Fpga();
  _SysRunInfo& run = SysRunInfo;

  void Load(const std::vector<uint8_t>& img) {
    bench.SetEeprom(img);
    QelControl.InitDriver("/dev/localbus16", "/dev/spidev3.0");
    I2cStorage.I2C_Init();
    SysRunStatus.LoadChCaliData();
    Vertical.LoadYsystem(&ChSelfCaliData, &SystemResource, &SysRunInfo);
    fpga.SetAcquisitionStatus(0, 1);  // triggered
    WaveOp.RealRunWaveCnt();          // and an acquisition read since
    QelMsg.ClearMessage();
    fpga.ClearLog();
  }
  void SetUp() override { Load(Formatted()); }

  void MoveTo(int ch, int position) { Vertical.AdjYPosition(ch, position - Vertical.GetRealYposition(ch)); }
};

// Attenuator | gain bits of each V/div index 2..16, CH1 and CH2.
constexpr uint32_t kRangeBits[2][17] = {
    {0, 0, 0x20, 0x20, 0xA0, 0x00, 0x80, 0x40, 0xC0, 0x84, 0x44, 0xC4, 0x82, 0x42, 0xC2, 0x86, 0x46},
    {0, 0, 0x100, 0x100, 0x8100, 0, 0x8000, 0x4000, 0xC000, 0x9000, 0x5000, 0xD000, 0x8400, 0x4400,
     0xC400, 0x9400, 0x5400},
};
constexpr uint32_t kRangeMask[2] = {0xE6, 0xD500};
}  // namespace

TEST_F(Vertical_, EveryVoltsPerDivIndexSendsItsFrontEndBitsAndDecodesToItsRange) {
  Vertical.Ch500uVEnable();
  for (int ch = 0; ch < 2; ++ch) {
    for (int idx = 2; idx <= 16; ++idx) {
      SCOPED_TRACE(testing::Message() << "ch " << ch << " index " << idx);
      ASSERT_EQ(Vertical.SetRealYsensitivity(ch, idx), idx);
      EXPECT_EQ(Vertical.AdjYsensitivity(ch, 0), idx);
      EXPECT_EQ(fpga.FrontEndWord() & kRangeMask[ch], kRangeBits[ch][idx]);
      EXPECT_EQ(bench.EepromByte(EE_VDIV + ch), idx);
      EXPECT_FLOAT_EQ(Vertical.GetRealYDivVoltage(ch), Voltage[idx]);
      // 500 uV/div is the 1 mV range at twice the gain, offset from the 1 mV record.
      EXPECT_EQ(fpga.Word(ch ? 216 : 214), idx == 2 ? 0x0200 : 0x0100);
      const plat::SimChannelSettings s = plat::SimDecodedChannel(ch);
      ASSERT_TRUE(s.rangeValid);
      EXPECT_NEAR(s.rangeVdiv, idx == 2 ? 0.001 : Voltage[idx], Voltage[idx] * 1e-6);
      EXPECT_NEAR(s.vdiv, Voltage[idx], Voltage[idx] * 1e-6);
      EXPECT_EQ(s.offsetDac, fe::OffsetDacCentre(ch));
      EXPECT_DOUBLE_EQ(s.zeroPosition, 127.0);
    }
  }
}

TEST_F(Vertical_, KnobStepsStopAtTheRangeLimitsWithMessage1) {
  Vertical.SetRealYsensitivity(0, 16);
  EXPECT_EQ(Vertical.AdjYsensitivity(0, 1), 16);
  EXPECT_EQ(QelMsg.GetMessageID(), 1);
  QelMsg.ClearMessage();
  EXPECT_EQ(Vertical.AdjYsensitivity(0, -13), 3);
  EXPECT_EQ(QelMsg.GetMessageID(), -1);
  EXPECT_EQ(Vertical.AdjYsensitivity(0, -1), 3);
  EXPECT_EQ(QelMsg.GetMessageID(), 1);
  QelMsg.ClearMessage();
  Vertical.Ch500uVEnable();
  EXPECT_EQ(Vertical.AdjYsensitivity(0, -1), 2);
  EXPECT_EQ(QelMsg.GetMessageID(), -1);
  EXPECT_EQ(Vertical.AdjYsensitivity(0, -5), 2);
  EXPECT_EQ(QelMsg.GetMessageID(), 1);
  EXPECT_EQ(Vertical.AdjYsensitivity(0, 10), 12);
  EXPECT_EQ(fpga.FrontEndWord() & kRangeMask[0], kRangeBits[0][12]);
  EXPECT_EQ(bench.EepromByte(EE_VDIV), 12);
}

TEST_F(Vertical_, ProbeScalesVoltsPerDivAndLeavesTheHardwareAlone) {
  const uint32_t frontEnd = fpga.FrontEndWord();
  for (int p = 0; p < kProbeEntries; ++p) {
    SCOPED_TRACE(p);
    EXPECT_EQ(Vertical.SetYRealprobe(0, p), p);
    EXPECT_NEAR(Vertical.GetRealYDivVoltage(0), 0.1 * ChProbeScale[p], 0.1 * ChProbeScale[p] * 1e-5);
    EXPECT_EQ(Vertical.GetRealYsensitivity(0), 9);
    Vertical.AdjYsensitivity(0, 0);
    EXPECT_EQ(fpga.FrontEndWord(), frontEnd);
    EXPECT_EQ(fpga.Word(214), 0x0100);  // back from 1000x, the ratio is still whole
    EXPECT_NEAR(plat::SimDecodedChannel(0).vdiv, 0.1, 1e-7);
  }
  Vertical.SetReal_CustomProbeScale(0, 2.5f);
  EXPECT_EQ(Vertical.SetYRealprobe(0, 7), 7);
  EXPECT_FLOAT_EQ(Vertical.GetYRealProbeScale(0), 2.5f);
  EXPECT_NEAR(Vertical.GetRealYDivVoltage(0), 0.25, 1e-6);
  // A knob step with a 10x probe reads the next range ten times higher.
  Vertical.SetYRealprobe(0, 4);
  EXPECT_EQ(Vertical.AdjYsensitivity(0, 1), 10);
  EXPECT_NEAR(Vertical.GetRealYDivVoltage(0), 2.0, 1e-6);
  EXPECT_NEAR(plat::SimDecodedChannel(0).vdiv, 0.2, 1e-7);
  EXPECT_EQ(Vertical.SetYRealprobe(0, 11), 3);  // stored mod 8
}

TEST_F(Vertical_, OffsetsAtTheLimitsRaiseMessage2AndLandOnTheScreenEdges) {
  EXPECT_EQ(Vertical.AdjYPosition(0, 1000), 327);
  EXPECT_EQ(QelMsg.GetMessageID(), 2);
  EXPECT_EQ(bench.EepromWord(EE_VOFFSET), 327);
  plat::SimChannelSettings s = plat::SimDecodedChannel(0);
  EXPECT_EQ(s.offsetDac, fe::OffsetDacCentre(0) - 2000);
  EXPECT_DOUBLE_EQ(s.zeroPosition, 327.0);
  EXPECT_NEAR(s.offsetVolts, 0.8, 1e-6);  // 8 divisions of 100 mV
  FloatElement e;
  Vertical.GetOffsetVoltage(0, &e);
  EXPECT_NEAR(e.mantissa, 800.0, 1e-3);
  EXPECT_EQ(e.unit, kVMilli);

  QelMsg.ClearMessage();
  EXPECT_EQ(Vertical.AdjYPosition(1, -1000), -73);
  EXPECT_EQ(QelMsg.GetMessageID(), 2);
  EXPECT_EQ(bench.EepromWord(EE_VOFFSET + 2), 0xFFB7);
  s = plat::SimDecodedChannel(1);
  EXPECT_EQ(s.offsetDac, fe::OffsetDacCentre(1) + 2000);
  EXPECT_NEAR(s.offsetVolts, -0.8, 1e-6);

  // A step inside the range clears a showing trigger-limit message.
  QelMsg.SetMessage(3);
  EXPECT_EQ(Vertical.AdjYPosition(1, 30), -43);
  EXPECT_EQ(QelMsg.GetMessageID(), -1);
  EXPECT_DOUBLE_EQ(plat::SimDecodedChannel(1).zeroPosition, -43.0);
}

TEST_F(Vertical_, InvertMirrorsTheOffsetDacAndSetsWord204) {
  MoveTo(0, 150);
  EXPECT_EQ(Vertical.SetYInvert(0, 1), 0x101);
  EXPECT_EQ(fpga.Word(204), 1);
  Vertical.AdjYPosition(0, 0);
  plat::SimChannelSettings s = plat::SimDecodedChannel(0);
  EXPECT_EQ(s.offsetDac, fe::OffsetDacCentre(0) + (127 - 105) * fe::kOffsetDacPerCode);
  EXPECT_TRUE(s.inverted);
  EXPECT_DOUBLE_EQ(s.zeroPosition, 150.0);  // the FPGA mirrors the samples back
  Vertical.SetYInvert(1, 3);
  EXPECT_EQ(fpga.Word(204), 3);
  // Stopped: the word keeps the inversion the record was taken with.
  run.acqStatus[0] = run.acqStatus[1] = 4;
  EXPECT_EQ(Vertical.SetYInvert(0, 0), 0x300);
  EXPECT_EQ(fpga.Word(204), 2);
  EXPECT_EQ(Vertical.SetYInvert(0, -1), -1);
}

TEST_F(Vertical_, CouplingBandwidthAndGroundReachTheBoard) {
  EXPECT_EQ(Vertical.SetChCoupling(0, 1), 1);
  EXPECT_EQ(Vertical.SetChBwLimit(1, 3), 1);
  Vertical.AdjYsensitivity(0, 0);
  plat::SimChannelSettings s0 = plat::SimDecodedChannel(0), s1 = plat::SimDecodedChannel(1);
  EXPECT_EQ(s0.coupling, 1);
  EXPECT_FALSE(s0.bwLimit);
  EXPECT_EQ(s1.coupling, 0);
  EXPECT_TRUE(s1.bwLimit);

  MoveTo(1, 140);
  EXPECT_EQ(Vertical.SetChCoupling(1, 5), 2);  // stored mod 3
  s1 = plat::SimDecodedChannel(1);
  EXPECT_TRUE(s1.ground);
  EXPECT_EQ(s1.coupling, 2);
  EXPECT_EQ(s1.groundLevel, 140);
  EXPECT_EQ(fpga.Word(206), 2);
  Vertical.SetChCoupling(1, 0);
  EXPECT_EQ(fpga.Word(206), 0);
  Vertical.SetChBwLimit(1, 0);
  Vertical.AdjYsensitivity(1, 0);
  EXPECT_FALSE(plat::SimDecodedChannel(1).bwLimit);
}

TEST_F(Vertical_, AStoppedChannelMovesOnlyByItsSoftOffset) {
  run.acqStatus[0] = run.acqStatus[1] = 4;
  Vertical.YParaSyncRefresh();
  fpga.ClearLog();
  EXPECT_EQ(Vertical.AdjYPosition(0, 10), 137);
  EXPECT_FALSE(WordWritten(34));  // no DAC write
  EXPECT_FALSE(WordWritten(24));  // no front-end word
  const plat::SimChannelSettings s = plat::SimDecodedChannel(0);
  EXPECT_EQ(s.positionByte, 127);
  EXPECT_EQ(s.softOffset, 10);
  EXPECT_EQ(fpga.Word(122), 0);
  // A volts/div change of a stopped channel touches no front end either.
  fpga.ClearLog();
  Vertical.AdjYsensitivity(0, 1);
  EXPECT_FALSE(WordWritten(24));
  EXPECT_FALSE(WordWritten(34));
}

TEST_F(Vertical_, RunningConfigurationWordsAndTheirRestart) {
  MoveTo(0, 300);
  MoveTo(1, 100);
  fpga.ClearLog();
  EXPECT_EQ(Vertical.SyncChannelConfig(), 0);
  EXPECT_EQ(fpga.Log(), (Words{{210, 1}, {212, 255 | 100 << 8}, {218, 0}, {220, 0}, {214, 0x100}, {210, 3},
                               {216, 0x100}, {210, 3}, {122, 1}, {122, 0}}));
  // No acquisition read since the channel came on: sampling restarts.
  Vertical.SetChOnOff(1, 0);
  Vertical.SetChOnOff(1, 1);
  fpga.ClearLog();
  EXPECT_EQ(Vertical.SyncChannelConfig(), -1);
  EXPECT_EQ(fpga.Log().back(), std::make_pair(uint16_t(122), uint16_t(0)));
  EXPECT_TRUE(WordWritten(0));
}

TEST_F(Vertical_, ChannelsOnAndOffKeepTheActiveChannelAndTheEeprom) {
  Vertical.SetChOnOff(0, 1);
  EXPECT_EQ(Vertical.SetChOnOff(1, 1), 1);
  EXPECT_EQ(run.activeCh, 1);
  EXPECT_EQ(bench.EepromByte(EE_ACTIVE_CH), 1);
  EXPECT_EQ(bench.EepromByte(EE_SOURCE_ON), 3);
  EXPECT_EQ(fpga.Word(116), 1);
  EXPECT_EQ(fpga.Word(38), 12);
  EXPECT_EQ(run.liveAnalogCount, 2);
  Vertical.SetChOnOff(1, 0);
  EXPECT_EQ(run.activeCh, 0);
  EXPECT_EQ(run.liveAnalogCount, 1);
  Vertical.SetChOnOff(9, 1);  // a reference wave
  EXPECT_EQ(run.activeCh, 9);
  Vertical.SetChOnOff(0, 0);
  Vertical.SetChOnOff(9, 0);
  EXPECT_EQ(run.activeCh, -1);
  EXPECT_EQ(bench.EepromByte(EE_SOURCE_ON), 0);
  EXPECT_EQ(fpga.Word(38), 0);
  Vertical.SetChOnOff(12, 1);
  EXPECT_EQ(run.sourceOn, 0x1000 | 0x2000);
  EXPECT_EQ(run.activeCh, -1);
}

TEST_F(Vertical_, StartsOnTheDefaultsFromABlankOrDamagedEeprom) {
  Load(std::vector<uint8_t>(512, 0xFF));
  for (int ch = 0; ch < 2; ++ch) {
    EXPECT_EQ(Vertical.GetRealYsensitivity(ch), 12);
    EXPECT_EQ(Vertical.GetRealYposition(ch), 127);
    EXPECT_EQ(Vertical.GetYRealprobe(ch), 3);
    EXPECT_STREQ(Vertical.GetChLabelName(ch), "");
  }
  EXPECT_EQ(run.sourceOn, 1);
  EXPECT_EQ(fpga.FrontEndWord() & kRangeMask[0], kRangeBits[0][12]);

  std::vector<uint8_t> img = Formatted();
  img[EE_VDIV] = 40;
  img[EE_VOFFSET] = 0x01;  // 501
  img[EE_VOFFSET + 1] = 0xF5;
  img[98] = 9;
  img[EE_VDIV + 1] = 5;
  img[EE_VOFFSET + 2] = 0;
  img[EE_VOFFSET + 3] = 200;
  img[109] = 4;
  std::memcpy(&img[EE_CH2_LABEL], "PROBE\0", 6);
  Load(img);
  EXPECT_EQ(Vertical.GetRealYsensitivity(0), 12);
  EXPECT_EQ(Vertical.GetRealYposition(0), 127);
  EXPECT_EQ(Vertical.GetYRealprobe(0), 3);
  EXPECT_EQ(Vertical.GetRealYsensitivity(1), 5);
  EXPECT_EQ(Vertical.GetRealYposition(1), 200);
  EXPECT_NEAR(Vertical.GetRealYDivVoltage(1), 0.05, 1e-7);  // 5 mV/div with a 10x probe
  EXPECT_STREQ(Vertical.GetChLabelName(1), "PROBE");
  EXPECT_DOUBLE_EQ(plat::SimDecodedChannel(1).zeroPosition, 200.0);
}

TEST_F(Vertical_, ZeroedCalibrationAndZeroVoltsStayFinite) {
  std::memset(&ChSelfCaliData, 0, sizeof ChSelfCaliData);
  DeriveChCaliData(&ChSelfCaliData);
  EXPECT_EQ(Vertical.AdjYPosition(0, 50), 177);
  EXPECT_EQ(plat::SimDecodedChannel(0).offsetDac, 0);
  EXPECT_EQ(Vertical.SetReal_CustomProbeScale(0, 0.0f), -1.0f);
  EXPECT_EQ(Vertical.SetReal_ProbeScale(0, NAN), -1.0f);
  EXPECT_EQ(Vertical.SetRealYDivVoltage(0, 0.0f), 0.0f);
  run.vertical[0].vdivVolts = 0;  // as a damaged setup image could leave it
  EXPECT_EQ(Vertical.FineGain(0), 0x0100);
  Vertical.SetYRealprobe(0, 4);
  EXPECT_TRUE(std::isfinite(Vertical.GetRealYDivVoltage(0)));
  EXPECT_GT(Vertical.GetRealYDivVoltage(0), 0.0f);
}

TEST_F(Vertical_, BadChannelsAndIndicesAreRefusedWithoutWords) {
  uint16_t gains[2] = {1, 1};
  const CaliPara para{};
  EXPECT_EQ(Vertical.SetChCoupling(-1, 0), -1);
  EXPECT_EQ(Vertical.SetChCoupling(2, 0), -1);
  EXPECT_EQ(Vertical.SetChCoupling(0, -1), -1);
  EXPECT_EQ(Vertical.SetChBwLimit(2, 1), -1);
  EXPECT_EQ(Vertical.SetYRealprobe(0, -1), -1);
  EXPECT_EQ(Vertical.SetYRealprobe(-1, 3), -1);
  EXPECT_EQ(Vertical.SetYInvert(2, 1), -1);
  EXPECT_EQ(Vertical.SetRealYsensitivity(0, 17), -1);
  EXPECT_EQ(Vertical.SetRealYsensitivity(0, 2), -1);  // 500 uV not allowed yet
  EXPECT_EQ(Vertical.SetRealYsensitivity(-1, 5), -1);
  EXPECT_EQ(Vertical.SetRealYsensitivity(12, 5), -1);
  EXPECT_EQ(Vertical.AdjYsensitivity(-1, 0), -1);
  EXPECT_EQ(Vertical.AdjYsensitivity(12, 0), -1);
  EXPECT_EQ(Vertical.AdjYPosition(-1, 1), -1);
  EXPECT_EQ(Vertical.AdjYPosition(14, 1), -1);
  EXPECT_EQ(Vertical.SetChOnOff(-1, 1), -1);
  EXPECT_EQ(Vertical.SetChOnOff(14, 1), -1);
  EXPECT_EQ(Vertical.GetAdcGain(0, 17, gains), -1);
  EXPECT_EQ(Vertical.GetAdcGain(0, 1, gains), -1);
  EXPECT_EQ(Vertical.GetAdcGain(2, 8, gains), -1);
  EXPECT_EQ(Vertical.ChCaliDacAdjust(0, 2, 1), -1);
  EXPECT_EQ(Vertical.ChCaliDacAdjust(0, 9, 5000), -1);
  EXPECT_EQ(Vertical.SetChCaliPara(0, 9, nullptr), -1);
  EXPECT_EQ(Vertical.SetChCaliPara(0, 18, &para), -1);
  EXPECT_EQ(Vertical.SetChLabelName(3, "X"), -1);
  EXPECT_TRUE(fpga.Log().empty());
  EXPECT_EQ(ChSelfCaliData.Record(0, 9)->centreDac, fe::OffsetDacCentre(0));
}

TEST_F(Vertical_, CalibrationPointsAndGainsGoIntoTheChannelsRecords) {
  uint16_t gains[2] = {};
  EXPECT_EQ(Vertical.GetAdcGain(1, 8, gains), 0);
  EXPECT_EQ(gains[0], fe::kAdcGainCoarse);
  EXPECT_EQ(gains[1], fe::kAdcGainFine);
  const int16_t newGains[2] = {9, 5};
  EXPECT_EQ(Vertical.SetAdcGain(1, 8, newGains), 0);
  for (int idx = 3; idx <= 16; ++idx) EXPECT_EQ(ChSelfCaliData.Record(1, idx)->adcGain1, 9);
  EXPECT_EQ(ChSelfCaliData.Record(0, 8)->adcGain1, fe::kAdcGainCoarse);

  EXPECT_EQ(Vertical.ChCaliDacAdjust(0, 9, -48), fe::OffsetDacCentre(0) - 48);
  EXPECT_EQ(fpga.DacValue(0), fe::OffsetDacCentre(0) - 48);
  // New points: the slopes follow at once, so the position applied uses them.
  const CaliPara para{{2000, 127, 1000, 227, 3000, 27}};
  EXPECT_EQ(Vertical.SetChCaliPara(1, 9, &para), 0);
  EXPECT_FLOAT_EQ(ChSelfCaliData.Record(1, 9)->upperSlope, 10.0f);
  MoveTo(1, 177);
  EXPECT_EQ(fpga.DacValue(1), 2000 - 500);
}

TEST_F(Vertical_, LabelsAreCutToEightCharactersAndWrittenThrough) {
  EXPECT_EQ(Vertical.SetChLabelName(0, "ABCDEFGHIJK"), 0);
  EXPECT_STREQ(Vertical.GetChLabelName(0), "ABCDEFGH");
  for (int i = 0; i < 8; ++i) EXPECT_EQ(bench.EepromByte(EE_CH1_LABEL + i), 'A' + i);
  EXPECT_EQ(Vertical.SetChLabelName(1, "xy"), 0);
  EXPECT_EQ(bench.EepromByte(EE_CH2_LABEL + 2), 0);
  EXPECT_EQ(bench.EepromByte(EE_CH2_LABEL + 3), 0xFF);  // nothing after the end mark
  EXPECT_EQ(Vertical.IsChLableEnable(1), 1);
  Vertical.SetChLabelName(1, nullptr);
  EXPECT_EQ(Vertical.IsChLableEnable(1), 0);
  EXPECT_EQ(bench.EepromByte(EE_CH2_LABEL), 'x');
  Vertical.LoadChLableName(1);
  EXPECT_STREQ(Vertical.GetChLabelName(1), "xy");
}

constexpr int kProbe1X = 3, kProbe10X = 4;  // in the probe table

// The nearest range in proportion: the border between two ranges is their
// geometric mean (0.2 V and 0.5 V: 0.316 V); past the ends the end.
TEST_F(Vertical_, VoltsPerDivFromAValueTakesTheNearestRange) {
  const std::pair<double, int> cases[] = {{0.0005, 3}, {0.001, 3}, {0.0011, 3}, {0.0015, 4},
                                          {0.002, 4},  {0.3, 10},  {0.33, 11},  {20.0, 16},
                                          {21.0, 16},  {0.0, 12},  {6e8, 16}};
  for (auto [v, idx] : cases) {
    EXPECT_EQ(Vertical.SetRealYsensitivityForVoltage(0, v), idx) << v;
    if (v > 0.001 && v < 20) {  // no range nearer in proportion
      for (int i = 3; i <= 16; ++i)
        EXPECT_LE(std::fabs(std::log(Voltage[idx] / v)), std::fabs(std::log(Voltage[i] / v)) + 1e-9)
            << v << " " << i;
    }
  }
  // Volts at the probe tip: at 10X 5 V/div is the 500 mV range.
  Vertical.SetYRealprobe(0, kProbe10X);
  ASSERT_FLOAT_EQ(Vertical.GetYRealProbeScale(0), 10.0f);
  EXPECT_FLOAT_EQ(Voltage[Vertical.SetRealYsensitivityForVoltage(0, 5.0)], 0.5f);
  Vertical.SetYRealprobe(0, 0);
  EXPECT_EQ(Vertical.SetRealYsensitivityForVoltage(0, -1.0), -1);
  EXPECT_EQ(Vertical.SetRealYsensitivityForVoltage(0, NAN), -1);
}

TEST_F(Vertical_, VernierStepsOnePercentAndCarriesIntoTheNextRange) {
  EXPECT_EQ(Vertical.SetFineOnOff(0, 1), 1);
  EXPECT_EQ(Vertical.AdjYsensitivity(0, 1), 9);
  EXPECT_NEAR(Vertical.GetRealYDivVoltage(0), 0.101, 1e-6);
  EXPECT_EQ(fpga.Word(214), 0x00FC);  // 0.1 / 0.101 = 0.990
  EXPECT_NEAR(plat::SimDecodedChannel(0).vdiv, 0.101, 0.0005);
  int steps = 1;
  while (Vertical.GetRealYsensitivity(0) == 9 && steps < 200) {
    Vertical.AdjYsensitivity(0, 1);
    ++steps;
  }
  EXPECT_NEAR(steps, 100, 1);
  EXPECT_EQ(Vertical.GetRealYsensitivity(0), 10);
  EXPECT_FLOAT_EQ(Vertical.GetRealYDivVoltage(0), Voltage[10]);
  EXPECT_EQ(fpga.Word(214), 0x0100);
}

TEST_F(Vertical_, TheTriggerLevelKeepsItsVoltageWhenRangeOrPositionChange) {
  Trigger.LoadTrigsystem(&ChSelfCaliData, &SystemResource, &SysRunInfo);
  run.trigSource = 0;
  run.trigCoupling = 0;
  Trigger.SetTriggerVoltage(0, 0, 0.2);
  Vertical.AdjYsensitivity(0, 0);  // 100 mV/div: 0.2 V is 50 codes
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 50);
  Vertical.AdjYsensitivity(0, 1);  // 200 mV/div
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 25);
  EXPECT_DOUBLE_EQ(Trigger.GetTriggerVoltage(0, 0), 0.2);
  // DC-referenced codes carry the channel position.
  MoveTo(0, 152);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 50);
  EXPECT_NEAR(Trigger.GetTriggerVoltage(0, 0), 0.2, 1e-6);
  Vertical.AdjYsensitivity(0, -1);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 75);
  // AC-referenced codes do not.
  run.trigCoupling = 1;
  Vertical.AdjYsensitivity(0, 1);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 25);
  MoveTo(0, 170);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 25);
  // Another channel's range leaves the level alone.
  Vertical.AdjYsensitivity(1, 1);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 25);
}

TEST_F(Vertical_, TheProbeRescalesOnlyItsOwnTriggerVoltages) {
  Trigger.LoadTrigsystem(&ChSelfCaliData, &SystemResource, &SysRunInfo);
  run.trigSource = 0;
  run.trigCoupling = 0;
  Trigger.SetTriggerVoltage(0, 0, 0.2);
  Vertical.AdjYsensitivity(0, 0);
  Vertical.SetYRealprobe(0, 4);  // 10x: the same code reads ten times the voltage
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 50);
  EXPECT_NEAR(Trigger.GetTriggerVoltage(0, 0), 2.0, 1e-6);
  Vertical.SetYRealprobe(1, 5);  // CH2's probe is not the trigger's
  EXPECT_NEAR(Trigger.GetTriggerVoltage(0, 0), 2.0, 1e-6);
}

TEST_F(Vertical_, APositionMovesTheLevelsItsTriggerTypeTakesFromTheChannel) {
  Trigger.LoadTrigsystem(&ChSelfCaliData, &SystemResource, &SysRunInfo);
  run.trigCoupling = 0;
  run.trigLevelSel = 0;
  // Delay: CH1's level follows although the source is CH2, which stays.
  Trigger.SetTriggerPos(0, 1, 100);  // the second level well above the first
  run.trigType = 6;
  run.trigSource3 = 1;  // the delay's second source, the one word 48 carries
  Trigger.SetTriggerSource(1);
  const int ch1 = Trigger.GetTriggerPos(0, 0), ch2 = Trigger.GetTriggerPos(1, 0);
  MoveTo(0, 137);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), ch1 + 10);
  EXPECT_EQ(Trigger.GetTriggerPos(1, 0), ch2);
  EXPECT_EQ(run.trigSource, 1);
  EXPECT_EQ(fpga.Word(48), 1);
  // Slope on CH1: both levels move, and the knob's level selection is kept.
  run.trigType = 3;
  Trigger.SetTriggerSource(0);
  const int a = Trigger.GetTriggerPos(0, 0), b = Trigger.GetTriggerPos(0, 1);
  MoveTo(0, 117);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), a - 20);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 1), b - 20);
  EXPECT_EQ(run.trigLevelSel, 0);
}

TEST_F(Vertical_, AcquisitionsTakeTheDecodedRangeOffsetAndInversion) {
  MoveTo(0, 150);
  plat::SimAcquisition a;
  plat::SimApplyVertical(0, plat::SimDecodedChannel(0), &a.set);
  EXPECT_NEAR(a.set.ch[0].voltsPerDiv, 0.1, 1e-7);
  EXPECT_DOUBLE_EQ(a.set.ch[0].zeroCode, 150.0);
  a.sig[0].shape = plat::SignalShape::kDc;
  a.sig[0].offsetV = 0.2;
  EXPECT_EQ(a.Code(0, plat::kRecordCentre), 200);  // 0.2 V: two divisions above the trace's zero
  Vertical.SetYInvert(0, 1);
  Vertical.AdjYPosition(0, 0);
  plat::SimApplyVertical(0, plat::SimDecodedChannel(0), &a.set);
  EXPECT_TRUE(a.set.ch[0].invert);
  EXPECT_EQ(a.ScreenCode(0, plat::kRecordCentre), 100);  // mirrored about the position on screen
  EXPECT_EQ(a.Code(0, plat::kRecordCentre), 155);        // memory: 0 V at 255 - 150, not inverted
  Vertical.SetChCoupling(0, 2);
  plat::SimApplyVertical(0, plat::SimDecodedChannel(0), &a.set);
  EXPECT_EQ(a.set.ch[0].coupling, 2);
}
