// Waveform processing on the simulated board: interpolated traces at the
// fastest time bases against the applied sine, the trigger crossing held on
// its column, averaging against noise, a stopped record panned, stored
// records drawn again, pass/fail; and the kernels' own edge cases.
#include "tests/acquisition/wave_process_fixture.h"

namespace {

// 100 MHz at 1 GSa/s: 10 samples a period, 28 of them across the screen at
// 2 ns/div and 14 at 1 ns/div. Interpolated, every column's extremes lie
// within 5 codes of the sine's own over the column's stretch of time, the
// rising crossing on the trigger column.
TEST_F(WaveProcess_, FastTimeBasesShowTheSineItself) {
  b.Fpga().SetSignal(0, Sine(100e6, 1.0));
  for (int index : {4, 3}) {
    TimeBaseIndex(index);
    EXPECT_DOUBLE_EQ(b.Fpga().AcqSettings().samplePeriodNs, 1.0);
    Acquire();
    const uint8_t* t = Trace(0);
    const double nsPerColumn = TimeBaseS[index] * 1e9 / 50;
    const double crossing = RisingColumn(t, 350);
    ASSERT_GT(crossing, 0) << index;
    EXPECT_TRUE(OnColumn(crossing, 350)) << index << " " << crossing;
    int worst = 0;
    for (int x = 0; x < kCols - 1; ++x) {
      ASSERT_NE(t[x], 0) << index << " column " << x;
      // The sine over the column (and the first point of the next one).
      double hi = -1e9, lo = 1e9;
      for (int k = 0; k <= 20; ++k) {
        const double ns = (x - crossing + 0.5 + k / 20.0) * nsPerColumn;
        const double v = 127 + 50 * std::sin(2 * kPi * 0.1 * ns);
        hi = std::max(hi, v);
        lo = std::min(lo, v);
      }
      worst = std::max({worst, int(std::ceil(std::fabs(t[x] - hi))), int(std::ceil(std::fabs(t[kCols + x] - lo)))});
    }
    EXPECT_LE(worst, 5) << index;
    // The peaks reach the sine's: 127 +- 50.
    EXPECT_NEAR(*std::max_element(t, t + kCols), 177, 2) << index;
    EXPECT_NEAR(*std::min_element(t + kCols, t + 2 * kCols), 77, 2) << index;
  }
}

// The trigger sample falls anywhere up to a sample after the crossing; the
// sub-sample placement keeps the crossing on its column from one acquisition
// to the next, and where the trigger position says when it is moved.
TEST_F(WaveProcess_, TheTriggerCrossingStaysOnItsColumn) {
  b.Fpga().SetSignal(0, Sine(100e6, 1.0));
  TimeBaseIndex(4);  // 2 ns/div: 25 columns a sample
  std::vector<double> at, raster;
  for (int i = 0; i < 50; ++i) {
    Acquire();
    at.push_back(RisingColumn(Trace(0), 350));
    // The FPGA's own raster places it from the crossing too: code 127 (row
    // 100) is drawn round column 350 (its pre-trigger counts 4 points).
    double sum = 0;
    int lit = 0;
    for (int x = 330; x <= 370; ++x)
      if (QelWaveData[100 * kCols + x]) sum += x, ++lit;
    ASSERT_GT(lit, 0);
    raster.push_back(sum / lit);
  }
  for (double r : raster) {
    EXPECT_NEAR(r, 350, 3.0);
    EXPECT_NEAR(r, raster[0], 1.0);
  }
  const double mean = std::accumulate(at.begin(), at.end(), 0.0) / double(at.size());
  EXPECT_TRUE(OnColumn(mean, 350)) << mean;
  for (double a : at) EXPECT_NEAR(a, mean, 0.2);
  // The samples themselves moved by up to a whole sample (25 columns).
  std::vector<double> lags;
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(b.Fpga().AcquireNow());
    const plat::SimAcquisition a = b.Fpga().LastAcquisition();
    lags.push_back(a.phase[0]);
  }
  EXPECT_GT(*std::max_element(lags.begin(), lags.end()) - *std::min_element(lags.begin(), lags.end()), 0.05);

  // The trigger 10 points (0.4 samples) right of the centre: the crossing follows.
  ASSERT_EQ(TimeBase.AdjPreTrigDepth(0, 10), 0);
  at.clear();
  for (int i = 0; i < 20; ++i) {
    Acquire();
    at.push_back(RisingColumn(Trace(0), 360));
  }
  for (double a : at) EXPECT_TRUE(OnColumn(a, 360)) << a;
}

// 16 acquisitions averaged: the noise left on the trace (column midpoints
// against the applied sine) falls as an average of 16 makes it, by about 4.
TEST_F(WaveProcess_, AveragingSixteenAcquisitionsCutsTheNoise) {
  TimeBaseIndex(8);  // 50 ns/div: one sample a column
  b.Fpga().SetSignal(0, Sine(1e6, 1.0, 0.4));  // +-20 codes of uniform noise
  auto residual = [&] {
    const uint8_t* t = Trace(0);
    double sum = 0;
    for (int x = 0; x < kCols - 1; ++x) {
      const double ns = x - 350 + 0.5;  // a column's two samples, 1 ns apart
      const double d = Mid(t, x) - (127 + 50 * std::sin(2 * kPi * 1e-3 * ns));
      sum += d * d;
    }
    return std::sqrt(sum / (kCols - 1));
  };
  Acquire();
  const double single = residual();
  EXPECT_GT(single, 6.0);  // the midpoint of two samples: 20 / sqrt(6) codes

  SysRunInfo.acqMode = 3;
  SysRunInfo.averageIndex = 3;  // 16
  for (int i = 0; i < 16; ++i) Acquire();
  const double averaged = residual();
  EXPECT_GE(single / averaged, 3.0);
  EXPECT_LE(single / averaged, 5.0);

  // A changed setting starts the frames over: the next trace is one frame.
  TimeBase.AdjPreTrigDepth(0, 0);
  ASSERT_EQ(TimeBase.AdjPreTrigDepth(0, 1), 0);
  Acquire();
  EXPECT_GT(residual(), 0.6 * single);
}

// Stopped, the record is panned: the trace shows the part of the record the
// trigger position says, and nothing where the record ends.
TEST_F(WaveProcess_, AStoppedRecordPansLeftAndRight) {
  Acquire();  // 500 us/div, 1 kHz: rising through 127 every 100 columns, at 350 the trigger
  EXPECT_NEAR(RisingColumn(Trace(0), 350), 350, 1.0);
  QelControl.SendRealControl(128, 1);
  SysRunInfo.acqStatus[0] = SysRunInfo.acqStatus[1] = 4;
  b.Fpga().SetSignal(0, Sine(1000, 0.2));  // what the inputs do now does not matter
  for (int step : {25, -60}) {
    ASSERT_EQ(TimeBase.AdjPreTrigDepth(0, step), 0);
    b.Pass();
    const uint8_t* t = Trace(0);
    const int offset = step == 25 ? 25 : -35;  // columns the trigger moved, all told
    EXPECT_NEAR(RisingColumn(t, 350 + offset), 350 + offset, 1.0) << step;
    EXPECT_NEAR(RisingColumn(t, 250 + offset), 250 + offset, 1.0) << step;
    EXPECT_EQ(*std::max_element(t, t + kCols), 177);  // the kept 2 Vpp sine
    // The record spans the screen as acquired: what moved past its end is empty.
    const int h = SysRunInfo.horizontal[0].firstColumn, l = SysRunInfo.horizontal[0].lastColumn;
    if (offset > 0) {
      EXPECT_NEAR(h, offset, 1);
      for (int x = 0; x < h; ++x) ASSERT_EQ(t[x], 0) << x;
    } else {
      EXPECT_NEAR(l, 699 + offset, 1);
      for (int x = l + 1; x < kCols; ++x) ASSERT_EQ(t[x], 0) << x;
    }
  }
  // The trigger back at the centre and a faster time base over the kept
  // record: 200 us/div stretches a period over 250 columns about the trigger.
  ASSERT_EQ(TimeBase.AdjPreTrigDepth(0, 35), 0);
  ASSERT_EQ(TimeBase.SetRealTimeBase(0, 19), 19);
  ASSERT_EQ(TimeBase.AdjTimeBase(0, 0), 0);
  b.Pass();
  EXPECT_NEAR(RisingColumn(Trace(0), 350), 350, 1.0);
  EXPECT_NEAR(RisingColumn(Trace(0), 600), 600, 1.5);
  EXPECT_NEAR(RisingColumn(Trace(0), 100), 100, 1.5);
}

// A reference record drawn at the time base in force: at the one it was
// taken with column for column, at a time base five times faster stretched.
TEST_F(WaveProcess_, AReferenceIsDrawnAtTheTimeBaseInForce) {
  std::vector<uint8_t> rec(7000);
  for (int i = 0; i < 7000; ++i) rec[size_t(i)] = uint8_t(std::lround(127 + 60 * std::sin(2 * kPi * (i - 3500) / 1000.0)));
  ASSERT_EQ(WaveOp.UserUpdateRefxData(8, rec.data(), 7000), 7000);
  HorizontalBlock& h = SysRunInfo.horizontal[8];
  h.timeBase = h.realTimeBase = 20;  // 500 us/div, 10 entries a column
  h.acqSamplesPerPoint[0] = 10;
  h.offsetTime = h.acqOffsetTime[0] = 0;
  VerticalBlock& v = SysRunInfo.vertical[8];
  v.vdivSelected = v.vdivIndex = 11;
  v.positionSelected = v.position = 127;
  SysRunInfo.sourceOn |= 1 << 8;
  EXPECT_EQ(WaveOp.WaveProcessDSO7K(), 0);
  const uint8_t* t = Trace(8);
  EXPECT_NEAR(RisingColumn(t, 350), 350, 0.6);
  EXPECT_NEAR(RisingColumn(t, 250), 250, 0.6);  // 1000 entries: 100 columns a period
  EXPECT_EQ(t[699], 0);                         // the last column stays empty
  EXPECT_EQ(t[kCols + 699], 0);
  EXPECT_EQ(*std::max_element(t, t + kCols), 187);

  h.realTimeBase = 18;  // 100 us/div: 2 entries a column, 500 columns a period
  EXPECT_EQ(WaveOp.WaveProcessDSO7K(), 0);
  EXPECT_NEAR(RisingColumn(t, 350), 350, 0.6);
  EXPECT_NEAR(Mid(t, 350 + 125), 187, 1.5);  // a quarter period on
  // Panned by 100 columns' time: the crossing moves with it.
  h.offsetTime = -100 * TimeBaseS[18] / 50;
  EXPECT_EQ(WaveOp.WaveProcessDSO7K(), 0);
  EXPECT_NEAR(RisingColumn(t, 450), 450, 0.6);
  // Switched off: nothing to draw.
  SysRunInfo.sourceOn &= uint16_t(~(1 << 8));
  EXPECT_EQ(WaveOp.WaveProcessDSO7K(), -1);
}

// A 100 ns pulse every millisecond at 1 us a sample (500 us/div, 7K): peak
// detect keeps every pulse at its full height; high resolution shows the
// tenth of a sample it fills; the trace compresses either into its columns.
TEST_F(WaveProcess_, PeakDetectAndHighResolutionShapeANarrowPulse) {
  plat::TestSignal p;
  p.shape = SignalShape::kPulse;
  p.frequencyHz = 1000;
  p.duty = 1e-4;
  b.Fpga().SetSignal(0, p);
  SysRunStatus.SetMemDepth(1);
  SysRunInfo.acqMode = 1;
  TimeBaseIndex(20);
  EXPECT_DOUBLE_EQ(b.Fpga().AcqSettings().samplePeriodNs, 1000.0);
  Acquire();
  const uint8_t* t = Trace(0);
  int pulses = 0, high = 0;
  for (int x = 0; x < kCols; ++x) {
    if (t[x] == 177) ++high;
    if (t[x] == 177 && (x == 0 || t[x - 1] != 177)) ++pulses;
    ASSERT_EQ(t[kCols + x], 77) << x;  // the low level between the pulses
  }
  EXPECT_EQ(pulses, 7);  // one a period, 100 columns apart
  EXPECT_LE(high, 3 * 7);
  EXPECT_EQ(*std::max_element(t + 349, t + 351), 177);  // the pulse that triggered

  SysRunInfo.acqMode = 2;
  TimeBaseIndex(20);
  Acquire();
  const int top = *std::max_element(t, t + kCols);
  EXPECT_GE(top, 80);  // 77 + 100 codes x at least half of the pulse's tenth
  EXPECT_LE(top, 88);
}

// Pass/fail: a template from a trace with tolerances, tests that pass on the
// same signal and fail on a larger one, counters that stop at 30,000.
TEST_F(WaveProcess_, PassFailTemplateAndTests) {
  Acquire();
  ASSERT_EQ(WaveOp.RequestPassFailTemplate(0, 3, 10), 0);
  EXPECT_EQ(WaveOp.RequestPassFailTemplate(2, 3, 10), -1);
  EXPECT_EQ(WaveOp.GetRequestCh() & 1, 1);
  ASSERT_EQ(WaveOp.PassFailOnOff(1), 0 + 1);
  ASSERT_EQ(WaveOp.SetPassFailCompareCh(0), 0);
  Acquire();
  const uint8_t* up = Trace(12);
  const uint8_t* low = Trace(13);
  EXPECT_EQ(*std::max_element(up, up + kCols), 187);  // 177 + 10
  EXPECT_EQ(*std::min_element(low, low + kCols), 67);  // 77 - 10
  for (int x = 0; x < kCols; ++x) ASSERT_LE(low[x], up[x]) << x;
  int pass = 0, fail = 0;
  Acquire();
  WaveOp.GetPassFailTimes(&pass, &fail);
  EXPECT_EQ(pass, 2);
  EXPECT_EQ(fail, 0);
  b.Fpga().SetSignal(0, Sine(1000, 1.4));  // 20 codes above the template's top
  Acquire();
  WaveOp.GetPassFailTimes(&pass, &fail);
  EXPECT_EQ(pass, 2);
  EXPECT_EQ(fail, 1);
  for (int i = 0; i < 30005; ++i) WaveOp.PassFailCompare();
  WaveOp.GetPassFailTimes(&pass, &fail);
  EXPECT_EQ(fail, 30000);
  EXPECT_EQ(WaveOp.PassFailOnOff(2), -1);
  WaveOp.PassFailOnOff(1);
  WaveOp.GetPassFailTimes(&pass, &fail);
  EXPECT_EQ(pass + fail, 0);
}

// The kernels on their own: sin(x)/x needs 11 inputs and keeps a constant;
// linear interpolation reads nothing past its inputs; the crossing search
// stays inside its length and skips 11 points once below a rising level;
// the first averaging frame is written out as it is.
TEST(WaveKernels, EdgeCases) {
  std::vector<uint8_t> out(4000, 0xEE);
  const std::vector<uint8_t> ten(10, 90);
  EXPECT_EQ(_wave::SinxKenerl100(out.data(), ten.data(), 10), 0);
  EXPECT_EQ(out[0], 0xEE);
  const std::vector<uint8_t> flat(30, 90);
  ASSERT_EQ(_wave::SinxKenerl100(out.data(), flat.data(), 30), 2000);
  for (int i = 0; i < 2000; ++i) ASSERT_NEAR(out[size_t(i)], 90, 1) << i;
  // A sine of a tenth of the sample rate comes out as the sine between the
  // samples: point k stands 5 + (k + 0.5) / 100 samples in.
  std::vector<uint8_t> s(40);
  for (int i = 0; i < 40; ++i) s[size_t(i)] = uint8_t(std::lround(127 + 100 * std::sin(2 * kPi * 0.1 * i)));
  const int n = _wave::SinxKenerl100(out.data(), s.data(), 40);
  ASSERT_EQ(n, 3000);
  for (int k = 0; k < n; ++k)
    ASSERT_NEAR(out[size_t(k)], 127 + 100 * std::sin(2 * kPi * 0.1 * (5 + (k + 0.5) / 100)), 3) << k;

  const std::vector<uint8_t> two = {10, 50};  // exactly the inputs: ASan sees any read past them
  std::vector<uint8_t> lin(20, 0xEE);
  EXPECT_EQ(_wave::LineInsert(lin.data(), two.data(), 10, 2), 20);
  EXPECT_EQ(lin[0], 10);
  EXPECT_EQ(lin[5], 30);
  EXPECT_EQ(lin[9], 46);
  EXPECT_EQ(lin[10], 50);
  EXPECT_EQ(lin[19], 50);  // the last sample is held
  EXPECT_EQ(_wave::LineInsert(lin.data(), two.data(), 0, 2), 0);
}

TEST_F(WaveProcess_, TheCrossingSearchAndTheFirstAverageFrame) {
  SysRunInfo.slope = 0;
  SysRunInfo.trigType = 0;
  // Edge: the second level drives the comparator (the one TRIGger:LEVel and
  // the knob set); the first may hold anything.
  SysRunInfo.levelBlock[0].level[0].value8 = 60;
  SysRunInfo.levelBlock[0].level[1].value8 = 127;
  SysRunInfo.acqStatus[0] = 2;
  // Below the level at 1, back above at 5 (within 11 points), below again
  // 12..16, rising at 17: the search skips the first and finds 16.
  std::vector<uint8_t> buf(40, 200);
  buf[1] = buf[2] = buf[3] = buf[4] = 100;
  for (int i = 12; i <= 16; ++i) buf[size_t(i)] = 100;
  int pos = 0;
  EXPECT_EQ(WaveOp.GetTGPoint(0, 0, buf.data(), 0, 1.0, 40, &pos), 0);
  EXPECT_EQ(pos, 16);
  SysRunInfo.slope = 1;  // falling: the last point above before 1
  EXPECT_EQ(WaveOp.GetTGPoint(0, 0, buf.data(), 0, 1.0, 40, &pos), 0);
  EXPECT_EQ(pos, 0);
  // Runt with a rising slope compares at the first level: 60 is never crossed.
  SysRunInfo.slope = 0;
  SysRunInfo.trigType = 4;
  EXPECT_EQ(WaveOp.GetTGPoint(0, 0, buf.data(), 0, 1.0, 40, &pos), -1);
  SysRunInfo.trigType = 0;
  // Never crossing: position 50, and no read past the length.
  const std::vector<uint8_t> low(30, 20);
  SysRunInfo.slope = 0;
  EXPECT_EQ(WaveOp.GetTGPoint(0, 0, low.data(), 0, 1.0, 30, &pos), -1);
  EXPECT_EQ(pos, 50);
  // An untriggered auto acquisition is not aligned.
  SysRunInfo.acqStatus[0] = 1;
  EXPECT_EQ(WaveOp.GetTGPoint(0, 0, buf.data(), 0, 1.0, 40, &pos), -1);
  EXPECT_EQ(pos, 50);

  std::vector<uint8_t> in(1400, 100), avg(1400, 0);
  EXPECT_EQ(WaveOp.AverageProcess(in.data(), avg.data(), 1, 4), 0);
  EXPECT_EQ(avg[700], 100);  // frame 1 written out
  std::fill(in.begin(), in.end(), 140);
  WaveOp.AverageProcess(in.data(), avg.data(), 2, 4);
  EXPECT_EQ(avg[0], 120);
  WaveOp.AverageProcess(in.data(), avg.data(), 9, 4);  // past N: weight 1/4
  EXPECT_EQ(avg[0], 125);
  EXPECT_EQ(WaveOp.AverageProcess(in.data(), nullptr, 1, 4), -1);
  EXPECT_EQ(WaveOp.AverageProcess(in.data(), avg.data(), 1, 0), -1);
}

}  // namespace
