// ADC phase detection on the simulated board: the ADCs' test pattern in the
// display raster is clean only for phase codes inside each ADC's good window
// (set in the board), and the checks and the search find and store them.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "acquisition/models/y_system.h"
#include "core/board/eeprom_map.h"
#include "core/menu/keypara.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task.h"
#include "platform/sim/fpga/sim_adc_pattern.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/sim/acquisition/sim_frontend_errors.h"
#include "system/calibration/adc_phase.h"
#include "system/calibration/self_cali.h"
#include "tests/bench/bench.h"

namespace {
struct AdcPhase_ : ::testing::Test {
  Bench b;
  void SetUp() override {
    for (int adc = 0; adc < 2; ++adc) plat::SetAdcPhaseWindow(adc, 2, 5);
    b.SetEeprom(FormattedEeprom(6, 0));
    ASSERT_EQ(b.Start(), 0);
    b.StopThreads();
    b.Fpga().SetPacing(plat::SimAcquire::Pacing::kUnpaced);
  }
  void TearDown() override {
    for (int adc = 0; adc < 2; ++adc) plat::SetAdcPhaseWindow(adc, 2, 5);
  }
  int Phase(int adc) const { return b.Fpga().AdcRegister(adc, 41) >> 4 & 7; }
};
}  // namespace

TEST(AdcRecordStats, TopLowAndFlatness) {
  std::vector<uint8_t> r(kPhaseRecordBytes, 0);
  for (size_t i = 0; i < r.size(); i += 2) r[i] = 255;
  short top = -1, low = -1;
  EXPECT_EQ(TaskSystemGetWaveTopLow(r.data(), &top, &low), 0);
  EXPECT_EQ(low, 0);
  EXPECT_NE(top, 255);  // 255 is never a top
  // Two levels 52 and 202 with a few stray codes: the most frequent each side.
  for (size_t i = 0; i < r.size(); ++i) r[i] = i % 2 ? 202 : 52;
  r[0] = 60, r[1] = 190;
  EXPECT_EQ(TaskSystemGetWaveTopLow(r.data(), &top, &low), 0);
  EXPECT_EQ(top, 202);
  EXPECT_EQ(low, 52);
  short nearN = 0, farN = 0;
  EXPECT_EQ(TaskSystemAdcDetection(r.data(), &nearN, &farN), -1);
  std::vector<uint8_t> flat(kPhaseRecordBytes, 127);
  flat[5] = 135;
  EXPECT_EQ(TaskSystemAdcDetection(flat.data(), &nearN, &farN), 0);
  EXPECT_EQ(nearN, kPhaseRecordBytes);
  EXPECT_EQ(farN, 0);
}

TEST_F(AdcPhase_, StartUpCheckPassesInsideTheWindowAndRestores) {
  const int ch2 = Vertical.GetChOnOff(1);
  short tries = -1;
  EXPECT_EQ(AdcStartPhaseDetection(0, &tries), 1);
  EXPECT_EQ(tries, 0);
  EXPECT_EQ(b.Fpga().AdcRegister(0, 108), 0);  // normal output again
  EXPECT_EQ(b.Fpga().AdcRegister(1, 108), 0);
  EXPECT_EQ(Vertical.GetChOnOff(1), ch2);

  plat::SetAdcPhaseWindow(1, 6, 1);  // the stored code 4 glitches on ADC 2
  EXPECT_EQ(AdcStartPhaseDetection(0, &tries), -1);
  EXPECT_EQ(tries, 20);
}

TEST_F(AdcPhase_, SearchStoresTheMiddleOfEachAdcsRun) {
  plat::SetAdcPhaseWindow(0, 1, 4);  // codes 1..4: phase 1 + 2
  plat::SetAdcPhaseWindow(1, 5, 3);  // codes 5..7: phase 5 + 1
  taskresponse reply{};
  EXPECT_EQ(TaskSystemAdjAdcPhase(&reply), 0);
  EXPECT_EQ(reply.words[0], 1);
  EXPECT_EQ(reply.words[1], 3);
  EXPECT_EQ(reply.words[2], 6);
  EXPECT_EQ(reply.words[3], 4);
  EXPECT_EQ(b.EepromByte(EE_ADC_PHASE1), 3);
  EXPECT_EQ(b.EepromByte(EE_ADC_PHASE2), 6);
  EXPECT_EQ(b.EepromByte(EE_ADC_PHASE_STATE), 4);
  EXPECT_EQ(Phase(0), 3);
  EXPECT_EQ(Phase(1), 6);
  const uint8_t flags[16] = {0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(reply.area[i], flags[i]) << i;
  // The start-up check then uses the found codes.
  short tries = -1;
  EXPECT_EQ(AdcStartPhaseDetection(0, &tries), 1);
}

TEST_F(AdcPhase_, NoUsableRunStoresNothing) {
  const uint8_t before = b.EepromByte(EE_ADC_PHASE1);
  taskresponse reply{};
  plat::SetAdcPhaseWindow(0, 0, 8);  // every code passes: no run outside factory mode
  EXPECT_EQ(TaskSystemAdjAdcPhase(&reply), 0);
  EXPECT_EQ(reply.words[0], 0);
  plat::SetAdcPhaseWindow(0, 5, 5);  // 5, 6, 7 and 0, 1: two groups
  EXPECT_EQ(TaskSystemAdjAdcPhase(&reply), 0);
  EXPECT_EQ(reply.words[0], 0);
  EXPECT_EQ(reply.words[1], 0);
  EXPECT_EQ(reply.words[3], 4);
  EXPECT_EQ(b.EepromByte(EE_ADC_PHASE1), before);
}

TEST_F(AdcPhase_, FirstSelfCalibrationOnlyFindsThePhases) {
  b.SetEepromByte(EE_SELFCAL_STATE2, 0);
  EXPECT_EQ(Utili_SelfCali_Sure(keypara{KEY_NO_KEY, 0, 0}), 0);
  EXPECT_EQ(b.EepromByte(EE_SELFCAL_STATE2), 0x68);
  EXPECT_EQ(QelMsg.GetMessageID(), 91);
  EXPECT_EQ(b.EepromByte(EE_ADC_PHASE_STATE), 4);
}

// The phases a search stored are those start-up programs and checks with
// after a restart; without a stored pair it uses the middle code 4.
namespace {
void StartWithStoredPhases(uint8_t state, int want1, int want2) {
  for (int adc = 0; adc < 2; ++adc) plat::SetAdcPhaseWindow(adc, 2, 5);
  Bench b;
  std::vector<uint8_t> image = FormattedEeprom(6, 0);
  image[EE_ADC_PHASE1] = 3;
  image[EE_ADC_PHASE2] = 6;
  image[EE_ADC_PHASE_STATE] = state;
  b.SetEeprom(image);
  ASSERT_EQ(b.Start(), 0);
  b.StopThreads();
  int16_t p1 = -1, p2 = -1;
  SysRunStatus.GetAdcPhaseInformation(&p1, &p2, nullptr, nullptr);
  EXPECT_EQ(p1, want1);
  EXPECT_EQ(p2, want2);
  EXPECT_EQ(b.Fpga().AdcRegister(0, 41) >> 4 & 7, want1);
  EXPECT_EQ(b.Fpga().AdcRegister(1, 41) >> 4 & 7, want2);
}
}  // namespace

TEST(AdcPhaseStartUp, StoredPhasesSurviveARestart) { StartWithStoredPhases(4, 3, 6); }
TEST(AdcPhaseStartUp, WithoutAStoredPairTheMiddleCode) { StartWithStoredPhases(0xFF, 4, 4); }

// The 50 mV/div gain calibration on a 300 mV square wave (six divisions):
// with CH1's ADC gain 6 % high it finds the codes that bring the span back to
// 150 codes within a code, and the top to 202; without a signal it refuses.
TEST_F(AdcPhase_, GainCalibrationBringsAMisSetGainBack) {
  plat::FrontEndErrors e;
  e.gainError[0] = 0.06;
  plat::SetFrontEndErrors(e);
  plat::TestSignal square;
  square.shape = plat::SignalShape::kSquare;
  square.amplitudeV = 0.15;
  b.Fpga().SetSignal(0, square);
  EXPECT_EQ(ChannelGainCali50mv(0), 0);
  // The gain the board now applies, from the codes written to the ADC (the
  // board's model: 2 % a coarse code from 8, 0.45 % a fine code from 4).
  const uint16_t reg = b.Fpga().AdcRegister(0, 2);
  const int coarse = reg & 15, fine = reg >> 4 & 7;
  const double gain = 1.06 * (1 + (coarse - 8) * 0.02 + (fine - 4) * 0.0045);
  EXPECT_NEAR(gain * 150, 150, 1.0) << coarse << " " << fine;
  uint16_t kept[2] = {};
  ASSERT_EQ(Vertical.GetAdcGain(0, 8, kept), 0);
  EXPECT_EQ(kept[0], coarse);
  EXPECT_EQ(kept[1], fine);
  // The record now: top on 202, 150 codes above the low.
  const plat::SimAcquisition a = b.Fpga().LastAcquisition();
  int top = 0, low = 255;
  for (double x = 0; x < 7000; ++x) {
    const int code = a.Code(0, double(plat::kRecordCentre) + (x - 3500) * a.SamplesPerColumn(0) / 10);
    top = std::max(top, code), low = std::min(low, code);
  }
  EXPECT_EQ(top, 202);
  EXPECT_NEAR(top - low, 150, 1);
  plat::SetFrontEndErrors({});

  plat::TestSignal flat;
  flat.shape = plat::SignalShape::kDc;
  b.Fpga().SetSignal(1, flat);
  EXPECT_EQ(ChannelGainCali50mv(1), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 50);
}
