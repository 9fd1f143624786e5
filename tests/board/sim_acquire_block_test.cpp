// The simulated FPGA works its samples out a block at a time (FIFO reads, roll
// reads, the display raster). Every block-made sample must be the one the
// one-sample formula (SimAcquisition::Code) gives at its record address, for
// every shape, coupling, invert, added noise and acquisition mode, and the
// FIFO must stream the codes of the addresses its start and step name.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/sim/acquisition/sim_acquire.h"
#include "platform/sim/fpga/sim_fpga.h"

namespace {
using plat::SignalShape;
using plat::SimAcquisition;
using plat::TestSignal;

TestSignal Shape(SignalShape shape) {
  TestSignal s;
  s.shape = shape;
  s.amplitudeV = 1.1;
  s.offsetV = 0.15;
  s.frequencyHz = shape == SignalShape::kVideo ? 25.0 : 12345.6;
  s.phase = 0.21;
  s.duty = 0.3;
  if (shape == SignalShape::kTrain) {
    s.pulses = 3;
    s.widths[0] = 3e-6, s.widths[1] = 5e-6, s.widths[2] = 2e-6;
    s.heights[1] = 0.5;
    s.gapS = 4e-6;
  }
  return s;
}

// Whole addresses (what reads take) and addresses between samples (what the
// raster takes while interpolating), spread around the trigger.
std::vector<double> Addresses() {
  std::vector<double> at;
  for (int i = 0; i < 3000; ++i) at.push_back(std::floor(double(plat::kRecordCentre) - 40000.0 + i * 27.3));
  for (int i = 0; i < 1200; ++i) at.push_back(double(plat::kRecordCentre) - 300.0 + i * 0.37);
  return at;
}

std::string Case(SignalShape shape, int coupling, double noise, int mode, bool invert) {
  return "shape " + std::to_string(int(shape)) + " coupling " + std::to_string(coupling) + " noise " +
         std::to_string(noise) + " mode " + std::to_string(mode) + " invert " + std::to_string(invert);
}

TEST(SimAcquireBlocks, BlockCodesAreTheOneSampleCodesForEveryShapeAndSetting) {
  const SignalShape shapes[] = {SignalShape::kSine,  SignalShape::kSquare, SignalShape::kTriangle,
                                SignalShape::kPulse, SignalShape::kDc,     SignalShape::kNoise,
                                SignalShape::kTrain, SignalShape::kVideo};
  const std::vector<double> at = Addresses();
  std::vector<uint8_t> got(at.size()), screen(at.size());
  for (SignalShape shape : shapes)
    for (int coupling : {0, 1, 2})
      for (double noise : {0.0, 0.08})
        for (int mode : {0, 1, 2})  // normal, peak detect, high resolution
          for (bool invert : {false, true}) {
            SimAcquisition a;
            a.serial = 41;
            a.set.samplePeriodNs = mode ? 8.0 : 1.0;  // the modes work only below the ADC's rate
            a.set.acqMode = mode;
            a.set.ch[0].coupling = coupling;
            a.set.ch[0].voltsPerDiv = 0.2;  // the signal runs past both ends: clamped codes too
            a.set.ch[0].zeroCode = 119.6;
            a.set.ch[0].invert = invert;
            a.sig[0] = Shape(shape);
            a.sig[0].noiseV = noise;
            a.phase[0] = 0.43;
            a.Codes(0, at.data(), at.size(), got.data());
            a.ScreenCodes(0, at.data(), at.size(), screen.data());
            int wrong = 0;
            for (size_t i = 0; i < at.size(); ++i) {
              wrong += got[i] != a.Code(0, at[i]);
              wrong += screen[i] != a.ScreenCode(0, at[i]);
            }
            EXPECT_EQ(wrong, 0) << Case(shape, coupling, noise, mode, invert);
          }
}

// Samples whose unrounded code lies on a half or within a hair of one: a
// sine at an eighth of a cycle a sample from the trigger, centred on code
// 126.5, so every eighth sample (a zero crossing) is a half exactly and rounds
// up, and the half-cycle ones miss it by the table's last bit. The block codes
// must still be the one-sample codes.
TEST(SimAcquireBlocks, SineCodesOnARoundingEdgeAreTheOneSampleCodes) {
  SimAcquisition a;
  a.serial = 3;
  a.set.samplePeriodNs = 1.0;
  a.set.ch[0].voltsPerDiv = 0.2;
  a.set.ch[0].zeroCode = 126.5;
  a.sig[0] = Shape(SignalShape::kSine);
  a.sig[0].frequencyHz = 1.25e8;  // 1/8 cycle a sample
  a.sig[0].phase = 0.0;
  a.sig[0].offsetV = 0.0;
  a.phase[0] = 0.0;
  std::vector<double> at;
  for (int i = -2048; i < 2048; ++i) at.push_back(double(plat::kRecordCentre + i));
  std::vector<uint8_t> got(at.size());
  a.Codes(0, at.data(), at.size(), got.data());
  int wrong = 0;
  for (size_t i = 0; i < at.size(); ++i) wrong += got[i] != a.Code(0, at[i]);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(got[2048], 127);  // the trigger sample: 126.5, rounded up
  EXPECT_EQ(got[2048 + 8], 127);
}

TEST(SimAcquireBlocks, MultiScopeSecondChannelKeepsItsOwnTimeBase) {
  SimAcquisition a;
  a.serial = 9;
  a.set.independent = true;
  a.set.samplePeriodNs2 = 20.0;
  a.set.triggerAddress2 = plat::kRecordCentre + 1234;
  a.sig[1] = Shape(SignalShape::kTriangle);
  a.ownPhase[1] = 0.61;
  const std::vector<double> at = Addresses();
  std::vector<uint8_t> got(at.size());
  a.Codes(1, at.data(), at.size(), got.data());
  int wrong = 0;
  for (size_t i = 0; i < at.size(); ++i) wrong += got[i] != a.Code(1, at[i]);
  EXPECT_EQ(wrong, 0);
}

// The FIFO streams Code(floor(start + k x step)) from the trigger address,
// across its block boundaries, with a step in tenths of a sample.
TEST(SimAcquireBlocks, FifoStreamsTheCodesOfItsAddressesAcrossBlocks) {
  plat::SimFpga& f = plat::Fpga();
  f.SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  plat::SimAcqSettings s;
  s.ch[0].voltsPerDiv = 0.3;
  f.SetAcqSettings(s);
  TestSignal sine = Shape(SignalShape::kSine);
  sine.noiseV = 0.05;
  f.SetSignal(0, sine);
  ASSERT_TRUE(f.AcquireNow());
  const SimAcquisition a = f.LastAcquisition();
  constexpr int32_t kOffset = -5000;
  constexpr uint32_t kStep = 2 * 16 + 5;  // 2.5 samples
  f.WriteWord(122, 1);
  f.WriteWord(176, 1);
  f.WriteWord(148, uint16_t(uint32_t(kOffset) & 0xFFFF));
  f.WriteWord(150, uint16_t(uint32_t(kOffset) >> 16));
  f.WriteWord(160, kStep);
  f.WriteWord(162, 0);
  f.WriteWord(122, 0);
  std::vector<uint8_t> got(5000);
  f.ReadBlock(64, got.data(), 3001);  // two reads, neither a whole number of blocks
  f.ReadBlock(64, got.data() + 3001, got.size() - 3001);
  double address = a.TriggerAddress(0) + kOffset;
  int wrong = 0;
  for (size_t i = 0; i < got.size(); ++i, address += 2.5) wrong += got[i] != a.Code(0, std::floor(address));
  EXPECT_EQ(wrong, 0);
  f.ClearAcqSettings();
}

}  // namespace
