// The waveform engine on the simulated board: live acquisitions read by the
// main loop into records, traces and the raster; on-demand requests; roll,
// decode and FFT reads; the faults the engine guards against.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "acquisition/models/trig_system.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "core/board/ch_cali_data.h"
#include "core/state/system_resource.h"
#include "core/board/control.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "tests/bench/bench.h"

namespace {
using plat::SignalShape;
using plat::SimAcquire;

plat::TestSignal Signal(SignalShape shape, double amp, double offset = 0) {
  plat::TestSignal s;
  s.shape = shape;
  s.amplitudeV = amp;
  s.offsetV = offset;
  return s;
}

struct Wave_ : ::testing::Test {
  Bench b;

  void SetUp() override {
    ASSERT_EQ(b.Start(), 0);
    b.Fpga().SetPacing(SimAcquire::Pacing::kOnDemand);
    SetWaveTestSettings();
    On(1);
  }

  void On(int mask) {
    SysRunInfo.sourceOn = uint16_t(mask);
    SysRunInfo.activeCh = 0;
    QelControl.SetChPriority(&SysRunInfo);
  }

  // One acquisition and one main-loop pass that reads the channels requested.
  void Acquire(int requested = 1) {
    WaveOp.RequestChData(requested);
    ASSERT_TRUE(b.Fpga().AcquireNow());
    b.Pass();
  }

  static const uint8_t* Trace(int slot) { return WaveOp.GetSerrenMem(slot); }

  // Columns where the trace's minimum comes up to 127 from below.
  static std::vector<int> RisingCrossings(int slot) {
    const uint8_t* t = Trace(slot);
    std::vector<int> at;
    for (int x = 1; x < 700; ++x)
      if (t[700 + x - 1] < 127 && t[700 + x] >= 127 && t[x] > t[x - 1]) at.push_back(x);
    return at;
  }
};

TEST_F(Wave_, SineOnCh1GivesItsRecordTraceAndRaster) {
  Acquire();
  int max = 0, min = 0;
  ASSERT_EQ(WaveOp.GetWaveMaxMin(0, &max, &min, 7000), 0);
  EXPECT_EQ(max, 177);  // 127 +- 50: 1 V peak at 500 mV/div
  EXPECT_EQ(min, 77);
  EXPECT_EQ(WaveOp.GetNewWaveFlag(), 0);  // cleared at the end of the pass
  const uint8_t* t = Trace(0);
  for (int x = 0; x < 700; ++x) {
    EXPECT_GE(t[x], t[700 + x]) << x;  // maxima first, then minima
    EXPECT_GE(t[700 + x], 77);
    EXPECT_LE(t[x], 177);
  }
  // 1 kHz at 10 us a column: 100 columns a period, rising through 127 at the
  // trigger column (the centre, 350).
  EXPECT_EQ(RisingCrossings(0), (std::vector<int>{50, 150, 250, 350, 450, 550, 650}));
  EXPECT_EQ(t[375], 177);  // a quarter period after the trigger
  // The raster: the trace at the rows of its codes (row = 227 - code), CH1's.
  EXPECT_NE(QelWaveData[100 * 700 + 350], 0);
  EXPECT_EQ(QelWaveData[100 * 700 + 350] & 0x80, 0);
  EXPECT_NE(QelWaveData[50 * 700 + 375], 0);
  EXPECT_EQ(QelWaveData[40 * 700 + 375], 0);
  // The requested bit is cleared once the read completed.
  EXPECT_EQ(WaveOp.GetRequestCh() & 1, 0);
}

// The time-base and trigger models' words reach the simulated FPGA, and their
// run-state values the reads: at 1 ms/div a 1 kHz period spans 50 columns.
TEST_F(Wave_, TheModelsTimeBaseReachesRecordAndTrace) {
  TimeBase.LoadXsystem(&SystemResource, &SysRunInfo);
  Trigger.LoadTrigsystem(&ChSelfCaliData, &SystemResource, &SysRunInfo);
  Trigger.SentTriggerConfigPara();
  ASSERT_EQ(TimeBase.SetRealTimeBase(0, 21), 21);
  SysRunStatus.SetMemDepth(1);  // 7K (the factory setting of a blank EEPROM is automatic)
  ASSERT_EQ(TimeBase.AdjTimeBase(0, 0), 0);
  EXPECT_DOUBLE_EQ(b.Fpga().AcqSettings().samplePeriodNs, 2000.0);  // 7000 points: 10 a column
  EXPECT_DOUBLE_EQ(b.Fpga().AcqSettings().columnNs, 20000.0);
  Acquire();
  const std::vector<int> at = RisingCrossings(0);
  ASSERT_EQ(at.size(), 13u);
  for (size_t i = 1; i < at.size(); ++i) EXPECT_EQ(at[i] - at[i - 1], 50);
  EXPECT_NEAR(at[6], 350, 1);  // the trigger column
}

TEST_F(Wave_, SquareDcOffScreenAndCh2) {
  b.Fpga().SetSignal(0, Signal(SignalShape::kSquare, 1.0));
  Acquire();
  const uint8_t* t = Trace(0);
  // High for columns 350..399 after the rising edge at the trigger, low for 400..449.
  for (int x = 351; x < 399; ++x) EXPECT_EQ(t[700 + x], 177) << x;
  for (int x = 401; x < 449; ++x) EXPECT_EQ(t[x], 77) << x;
  EXPECT_EQ(t[350], 177);   // the rising edge at the trigger column
  EXPECT_EQ(t[1049], 77);   // column 349 reaches down to the low level

  b.Fpga().SetSignal(0, Signal(SignalShape::kDc, 0, 0.6));
  Acquire();
  for (int x = 0; x < 700; ++x) ASSERT_EQ(t[x], 157) << x;
  EXPECT_NE(QelWaveData[(227 - 157) * 700 + 10], 0);

  b.Fpga().SetSignal(0, Signal(SignalShape::kDc, 0, 8.0));  // 16 divisions up
  Acquire();
  EXPECT_EQ(t[10], 254);
  EXPECT_EQ(t[710], 254);
  for (int i = 0; i < 140000; ++i) ASSERT_EQ(QelWaveData[i], 0) << i;  // off the grid

  // CH2 alone: its trace, its channel bit in the raster.
  On(2);
  b.Fpga().SetSignal(0, Signal(SignalShape::kSine, 1.0));  // CH1 still triggers
  b.Fpga().SetSignal(1, Signal(SignalShape::kSine, 0.5));
  Acquire(2);
  EXPECT_EQ(RisingCrossings(1), (std::vector<int>{50, 150, 250, 350, 450, 550, 650}));  // in step with CH1
  int max, min;
  WaveOp.GetWaveMaxMin(1, &max, &min, 7000);
  EXPECT_EQ(max, 152);
  EXPECT_EQ(min, 102);
  int lit = 0;
  for (int i = 0; i < 140000; ++i)
    if (QelWaveData[i]) {
      ++lit;
      ASSERT_EQ(QelWaveData[i] & 0x80, 0x80) << i;
    }
  EXPECT_GT(lit, 700);
}

TEST_F(Wave_, BothChannelsTriggeredOnCh2) {
  On(3);
  Trigger.SetTriggerSource(1);
  Trigger.SetTriggerPos(1, 0, 0);
  Trigger.AdjTriggerPosition(0);
  Trigger.SentTriggerConfigPara();
  ASSERT_EQ(b.Fpga().AcqSettings().trigSource, 1);
  b.Fpga().SetSignal(0, Signal(SignalShape::kDc, 0, -1.0));
  b.Fpga().SetSignal(1, Signal(SignalShape::kTriangle, 1.0));
  Acquire(3);
  EXPECT_EQ(RisingCrossings(1), (std::vector<int>{50, 150, 250, 350, 450, 550, 650}));
  EXPECT_EQ(Trace(0)[123], 77);
  EXPECT_EQ(Trace(0)[823], 77);
  bool ch1 = false, ch2 = false;
  for (int i = 0; i < 140000; ++i) {
    if (!QelWaveData[i]) continue;
    (QelWaveData[i] & 0x80 ? ch2 : ch1) = true;
  }
  EXPECT_TRUE(ch1);
  EXPECT_TRUE(ch2);
  EXPECT_EQ(QelWaveData[150 * 700 + 123] & 0x80, 0);  // CH1's flat line at code 77
}

TEST_F(Wave_, StopKeepsTheTraceAndSingleTakesOneAcquisition) {
  Acquire();
  std::vector<uint8_t> kept(Trace(0), Trace(0) + 1400);
  // Stopped (as RUN/STOP does): no acquisition, nothing read, the trace stays.
  QelControl.SendRealControl(128, 1);
  SysRunInfo.acqStatus[0] = SysRunInfo.acqStatus[1] = 4;
  b.Fpga().SetSignal(0, Signal(SignalShape::kDc, 0, 1.0));
  EXPECT_FALSE(b.Fpga().AcquireNow());
  WaveOp.RequestChData(1);
  b.Pass(3);
  EXPECT_EQ(std::vector<uint8_t>(Trace(0), Trace(0) + 1400), kept);

  // Single: armed by the restart, one acquisition, then none until re-armed.
  SysRunInfo.acqStatus[0] = SysRunInfo.acqStatus[1] = 0;
  b.Fpga().SetSignal(0, Signal(SignalShape::kSine, 1.0));
  SysRunInfo.trigMode = 2;
  QelControl.SendRealControl(72, 3);
  QelControl.SysSample();
  EXPECT_EQ(QelControl.GetCurrAcquStatus() & 15, 4);
  const uint32_t counted = WaveOp.GetRealRunWaveCnt();
  Acquire();
  EXPECT_EQ(RisingCrossings(0), (std::vector<int>{50, 150, 250, 350, 450, 550, 650}));
  EXPECT_EQ(WaveOp.GetRealRunWaveCnt(), counted + 1);  // status 2 counts
  EXPECT_FALSE(b.Fpga().AcquireNow());
}

TEST_F(Wave_, RegisterStatusIsReadPerChannel) {
  b.Fpga().SetAcquisitionStatus(0, 1);
  b.Fpga().SetAcquisitionStatus(1, 4);
  const uint32_t n = WaveOp.GetRealRunWaveCnt();
  WaveOp.RealRunWaveCnt();
  EXPECT_EQ(WaveOp.GetRealRunWaveCnt(), n + 1);
  b.Fpga().SetAcquisitionStatus(0, 3);
  b.Fpga().SetAcquisitionStatus(1, 1);
  WaveOp.RealRunWaveCnt();
  EXPECT_EQ(WaveOp.GetRealRunWaveCnt(), n + 1);
}

TEST_F(Wave_, OnDemandRequestsCopyRecordsTracesAndExtremes) {
  b.Fpga().SetPacing(SimAcquire::Pacing::kUnpaced);
  waveinfor w{};
  w.flags = kWaveReqRecordMask;
  w.chMask = 2;
  EXPECT_EQ(WaveOp.RequestWaveData(&w), 0);
  EXPECT_EQ(WaveOp.GetRequestCh() & 2, 2);
  EXPECT_EQ(WaveOp.RequestWaveData(nullptr), -1);

  std::vector<uint8_t> raw(7000), trace(1400);
  w = waveinfor{};
  w.flags = kWaveReqCopy | kWaveReqMaxMin;
  w.chMask = 1;
  w.buffer[0] = raw.data();
  w.count[0] = 9000;  // more than a record: a record is copied
  ASSERT_EQ(WaveOp.RequestWaveData(&w), 0);
  EXPECT_EQ(*std::max_element(raw.begin(), raw.end()), 177);
  EXPECT_EQ(w.max[0], 177);
  EXPECT_EQ(w.min[0], 77);
  EXPECT_EQ(b.Fpga().Word(72), 0);  // back to auto

  w.flags = kWaveReqCopy | kWaveReqTrace;
  w.buffer[0] = trace.data();
  w.count[0] = 1400;
  ASSERT_EQ(WaveOp.RequestWaveData(&w), 0);
  std::vector<uint8_t> exported(1400);
  EXPECT_EQ(WaveOp.ScreenWaveExport(0, exported.data()), 1400);
  EXPECT_EQ(trace, exported);
  EXPECT_EQ(trace[375], 177);
}

TEST_F(Wave_, ARequestThatTimesOutRestoresAcquisition) {
  SysRunInfo.trigMode = 1;  // normal sweep, and a DC level that never triggers
  QelControl.SendRealControl(72, 1);
  b.Fpga().SetSignal(0, Signal(SignalShape::kDc, 0, 0.2));
  std::vector<uint8_t> raw(7000);
  waveinfor w{};
  w.flags = kWaveReqCopy;
  w.chMask = 1;
  w.buffer[0] = raw.data();
  w.count[0] = 7000;
  const int64_t t0 = plat::MonoUs();
  EXPECT_EQ(WaveOp.RequestWaveData(&w), -1);
  EXPECT_GE(plat::MonoUs() - t0, 5000000);
  EXPECT_EQ(w.timeoutStatus, 4);  // CH1's field: single sweep armed, no trigger came
  EXPECT_EQ(b.Fpga().Word(72), 1);
  EXPECT_EQ(b.Fpga().Word(128), 0);
  EXPECT_EQ(b.Fpga().Word(0), 0);
}

// The SCPI worker's requests and the main loop's reads never interleave: each
// read returns its own channel's samples.
TEST_F(Wave_, WorkerRequestsAndMainLoopReadsStayApart) {
  b.Fpga().SetPacing(SimAcquire::Pacing::kUnpaced);
  On(3);
  b.Fpga().SetSignal(1, Signal(SignalShape::kDc, 0, 0.3));  // CH2 at code 142
  Acquire();
  b.Fpga().SetTransferDelayUs(20);  // slow transfers widen any window between two threads' words
  std::atomic<int> wrong{0}, done{0};
  std::thread worker([&] {
    std::vector<uint8_t> raw(7000);
    for (int i = 0; i < 10; ++i) {
      waveinfor w{};
      w.flags = kWaveReqCopy;
      w.chMask = 2;
      w.buffer[1] = raw.data();
      w.count[1] = 7000;
      if (WaveOp.RequestWaveData(&w) != 0) ++wrong;
      for (uint8_t c : raw)
        if (c != 142) {
          ++wrong;
          break;
        }
    }
    done = 1;
  });
  int passes = 0;
  while (!done && passes < 2000) {
    WaveOp.RequestChData(1);
    b.Pass();
    int max, min;
    WaveOp.GetWaveMaxMin(0, &max, &min, 7000);
    if (max != 177 || min != 77) ++wrong;
    ++passes;
  }
  worker.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(Wave_, GroundCouplingReadsThePositionWithoutTheFifo) {
  SysRunInfo.vertical[0].coupling = 2;
  SysRunInfo.vertical[0].position = 140;
  const size_t reads = b.Fpga().BlockReads().size();
  EXPECT_EQ(WaveOp.GetWave(0, nullptr, 7000), 7000);
  EXPECT_EQ(b.Fpga().BlockReads().size(), reads);
  std::vector<uint8_t> rec(7000);
  WaveOp.GetWaveData(0, rec.data(), 7000);
  EXPECT_EQ(std::count(rec.begin(), rec.end(), 140), 7000);
  EXPECT_EQ(b.Fpga().Word(128), 0);
}

// Stopped, no read lets the board acquire again: neither one that finds the
// FIFO empty and gives up, nor a ground-coupled one.
TEST_F(Wave_, StoppedReadsLeaveTheBoardPaused) {
  QelControl.SendRealControl(128, 1);
  SysRunInfo.acqStatus[0] = SysRunInfo.acqStatus[1] = 4;
  std::vector<uint8_t> rec(7000);
  EXPECT_NE(WaveOp.GetWave(0, rec.data(), 7000), 7000);  // nothing acquired: it gives up
  EXPECT_EQ(b.Fpga().Word(128), 1);
  SysRunInfo.vertical[0].coupling = 2;
  EXPECT_EQ(WaveOp.GetWave(0, rec.data(), 7000), 7000);
  EXPECT_EQ(b.Fpga().Word(128), 1);
}

TEST_F(Wave_, DrainsNeverWriteBeyondTheCountAndTheFftReadFits) {
  ASSERT_TRUE(b.Fpga().AcquireNow());
  // A count that is not whole blocks, into a buffer of exactly that size.
  std::vector<uint8_t> odd(7001);
  QelControl.SendRealControl(176, 1);
  QelControl.SendRealControl(122, 1);
  QelControl.SendRealControl(122, 0);
  EXPECT_EQ(WaveOp.GetWave_by_offset(0, odd.data(), 7001, 1), 7001);
  EXPECT_EQ(WaveOp.GetWave_by_offset(0, nullptr, 10, 1), -1);

  // The largest FFT read: 2,097,152 samples.
  SysRunInfo.mathType = 1;
  SysRunInfo.fft.source = 0;
  SysRunInfo.fft.points = 2097152;
  SysRunInfo.memDepthIndex = 0;
  SysRunInfo.horizontal[0].autoDepth = 7000000;
  EXPECT_EQ(WaveOp.UpdateFFTWaveDataSample(), 1);
  WaveOp.ReadFFTWaveData();  // the math module's start-up asks for a first record
  EXPECT_EQ(WaveOp.ReadFFTWaveData(), 0);  // nothing requested
  WaveOp.RequestFFTData();
  EXPECT_EQ(WaveOp.ReadFFTWaveData(), 2097152);
  std::vector<uint8_t> fft(2097152);
  double rate = 0;
  EXPECT_DOUBLE_EQ(WaveOp.GetFFTWaveData(fft.data(), int(fft.size()), &rate), 1e9);
  EXPECT_DOUBLE_EQ(rate, 1e9);
  EXPECT_EQ(*std::max_element(fft.begin(), fft.end()), 177);
}

TEST_F(Wave_, RollReadsWholeBlocksAndWrapOnceAtTheRecordEnd) {
  auto load = [&](int n, uint8_t first) {
    std::vector<uint8_t> bytes(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) bytes[size_t(i)] = uint8_t(first + i);
    b.Fpga().LoadBlock(128, bytes);
    b.Fpga().LoadBlock(192, bytes);
  };
  WaveOp.SetWaveType(3);
  load(32, 1);
  EXPECT_EQ(WaveOp.GetRollWaveData(), 0);  // 32 bytes read nothing
  load(32, 33);
  EXPECT_EQ(WaveOp.GetRollWaveData(), 64);
  EXPECT_EQ(WaveOp.GetRollDataIndex(), 64);
  EXPECT_EQ(WaveOp.GetRollLoopFlag(), 0);

  WaveOp.SetRollDataIndex(6990);
  load(64, 1);
  EXPECT_EQ(WaveOp.GetRollWaveData(), 64);
  std::vector<uint8_t> rec(7000);
  WaveOp.GetWaveData(1, rec.data(), 7000);
  EXPECT_EQ(rec[6990], 1);
  EXPECT_EQ(rec[6999], 10);
  EXPECT_EQ(rec[0], 11);
  EXPECT_EQ(rec[53], 64);
  EXPECT_EQ(WaveOp.GetRollDataIndex(), 54);
  EXPECT_EQ(WaveOp.GetRollLoopFlag(), 1);

  // More than a record waiting: one record's whole blocks now, the rest later.
  load(10000, 0);
  EXPECT_EQ(WaveOp.GetRollWaveData(), 6976);
  EXPECT_EQ(b.Fpga().BlockPending(128), 10000u - 6976u);
}

TEST_F(Wave_, DecodeDrainIsBoundedAndTimesOut) {
  // A read starts the decode FIFO afresh: what an earlier read left unread
  // (no bus is decoded here, so the read itself adds nothing).
  b.Fpga().LoadBlock(SimAcquire::kDecodeSelector, std::vector<uint8_t>(64, 0x33));
  WaveOp.SetArmReadDDRPara_Decode(5, 8192);
  EXPECT_EQ(b.Fpga().BlockPending(SimAcquire::kDecodeSelector), 0u);
  EXPECT_EQ(b.Fpga().Word(176), 5);
  b.Fpga().LoadBlock(SimAcquire::kDecodeSelector, std::vector<uint8_t>(20000, 0x5A));
  EXPECT_EQ(WaveOp.GetWave_Decode(1, 0, 8192), 20000);
  std::vector<uint8_t> out(_wave::kDecodeBytes);
  EXPECT_EQ(WaveOp.DecodedataExport(0, out.data(), int(out.size())), 20000);
  EXPECT_EQ(out[19999], 0x5A);
  EXPECT_EQ(WaveOp.DecodedataExport(2, out.data(), 10), -1);
  WaveOp.DecodedataSetdefault();
  EXPECT_EQ(WaveOp.GetDecodeCount(), 0);

  // A FIFO that says it is ready but never ends: the drain gives up.
  b.Fpga().SetReg(782, 1);
  b.Fpga().SetReg(800, 0);
  const int64_t t0 = plat::MonoUs();
  WaveOp.GetWave_Decode(1, 0, 8192);
  EXPECT_GE(plat::MonoUs() - t0, 2000000);
  EXPECT_EQ(b.Fpga().Word(128), 0);
}

}  // namespace
