// Board control through the simulated FPGA: frames, registers, blocks, the
// PLL/ADC set-up, channel words, timed words, batches, counters and the lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/startup.h"
#include "core/board/control.h"
#include "core/messages/semaphore.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "platform/devices/fpga.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"

namespace {
using Words = WordLog;

// A fresh root, virtual time and the devices open.
struct Board {
  Bench bench;
  plat::SimFpga& fpga = plat::Fpga();
  explicit Board(bool open = true) {
    if (open) Open();
  }
  void Open() {
    QelControl.InitDriver("/dev/localbus16", "/dev/spidev3.0");
    fpga.ClearLog();
  }
};

Words Tail(const Words& log, size_t n) { return Words(log.end() - long(std::min(n, log.size())), log.end()); }
}  // namespace

TEST(ControlFrames, WordsAndRegistersCrossTheSpiLinkIntact) {
  Board b;
  EXPECT_EQ(QelControl.SendRealControl(0x123, 0xBEEF), 0);
  EXPECT_EQ(b.fpga.Log(), (Words{{0x123, 0xBEEF}}));
  b.fpga.SetReg(900, 0x1234);
  EXPECT_EQ(QelControl.ReadAnyReg(900), 0x1234);
  QelControl.SendRealControl(8, 0xA5);
  EXPECT_EQ(QelControl.ReadAnyReg(780), 0xA5);
  EXPECT_EQ(b.fpga.Spi().mode, 3u);
  EXPECT_EQ(b.fpga.Spi().bits, 8u);
  EXPECT_EQ(b.fpga.Spi().speedHz, 10000000u);
}

TEST(ControlFrames, WithoutSpiEverythingFailsAndNothingIsSent) {
  Board b(false);
  plat::SimFpga::Faults f;
  f.noSpi = true;
  b.fpga.SetFaults(f);
  b.Open();
  EXPECT_FALSE(QelControl.SpiOpen());
  EXPECT_EQ(QelControl.SendRealControl(8, 0xA5), -1);
  EXPECT_EQ(QelControl.ReadAnyReg(780), -1);
  EXPECT_EQ(QelControl.SysSample(), -1);
  EXPECT_TRUE(b.fpga.Log().empty());
}

TEST(ControlFrames, FailedSpiSetUpClosesTheDevice) {
  Board b(false);
  plat::SimFpga::Faults f;
  f.spiSetupFail = plat::SpiStep::kSetSpeed;
  b.fpga.SetFaults(f);
  b.Open();
  EXPECT_FALSE(QelControl.SpiOpen());
  EXPECT_EQ(QelControl.SendRealControl(8, 1), -1);
}

TEST(ControlFrames, DescriptorZeroIsAValidDevice) {
  Board b(false);
  b.fpga.SetHandles(0, 0);
  b.Open();
  ASSERT_TRUE(QelControl.SpiOpen());
  ASSERT_TRUE(QelControl.LocalBusOpen());
  EXPECT_EQ(QelControl.SendRealControl(8, 0xA5), 0);
  EXPECT_EQ(QelControl.ReadAnyReg(780), 0xA5);
  EXPECT_EQ(QelControl.ReFpgeConfig(0), 0);
}

TEST(ControlBlocks, ReadsBySelectorAndThroughTheWindow) {
  Board b;
  std::vector<uint8_t> raster(140000), roll1(64, 0x11), roll2(64, 0x22), decode(96);
  for (size_t i = 0; i < raster.size(); ++i) raster[i] = uint8_t(i * 7);
  for (size_t i = 0; i < decode.size(); ++i) decode[i] = uint8_t(200 - i);
  b.fpga.LoadBlock(0, raster);
  b.fpga.LoadBlock(128, roll1);
  b.fpga.LoadBlock(192, roll2);
  b.fpga.LoadBlock(300, decode);

  std::vector<uint8_t> buf(140000);
  ASSERT_EQ(QelControl.ReadQel(buf.data()), 0);
  EXPECT_EQ(buf, raster);
  std::vector<uint8_t> r(64);
  EXPECT_EQ(QelControl.ReadRollWaveData(1, r.data(), 64), 64);
  EXPECT_EQ(r, roll2);
  EXPECT_EQ(QelControl.ReadRollWaveData(0, r.data(), 64), 64);
  EXPECT_EQ(r, roll1);
  std::vector<uint8_t> d(96);
  EXPECT_EQ(QelControl.ReadDecodeData(d.data(), 300, 96), 96);
  EXPECT_EQ(d, decode);
  EXPECT_EQ(QelControl.ReadDecodeData(nullptr, 300, 96), -1);
  EXPECT_EQ(QelControl.ReadDecodeData(d.data(), 300, 0), -1);
  EXPECT_EQ(QelControl.ReadRollWaveData(2, r.data(), 64), -1);

  auto reads = b.fpga.BlockReads();
  ASSERT_EQ(reads.size(), 4u);
  EXPECT_EQ(reads[0], (std::pair<uint32_t, size_t>{0, 140000}));
  EXPECT_EQ(reads[1].first, 192u);
  EXPECT_EQ(reads[2].first, 128u);
  EXPECT_EQ(reads[3].first, 300u);
}

TEST(ControlBlocks, WindowCopiesAreBoundedByTheWindow) {
  Board b;
  ASSERT_EQ(QelControl.WindowSize(), 307200u);
  std::vector<uint8_t> big(400000, 0xEE);
  EXPECT_EQ(QelControl.ReadDecodeData(big.data(), 300, int(big.size())), 307200);
  EXPECT_EQ(big[307199], 0);
  EXPECT_EQ(big[307200], 0xEE);
}

TEST(ControlBlocks, WithoutWindowOrDeviceNothingIsCopied) {
  {
    Board b(false);
    plat::SimFpga::Faults f;
    f.noWindow = true;
    b.fpga.SetFaults(f);
    b.Open();
    std::vector<uint8_t> buf(64, 0x5A);
    EXPECT_EQ(QelControl.ReadRollWaveData(0, buf.data(), 64), -1);
    EXPECT_EQ(QelControl.ReadDecodeData(buf.data(), 300, 64), -1);
    EXPECT_EQ(buf, std::vector<uint8_t>(64, 0x5A));
    EXPECT_TRUE(b.fpga.BlockReads().empty());
  }
  plat::SimFpga::Faults f;
  f.noLocalBus = true;
  plat::Fpga().SetFaults(f);
  plat::FpgaClose();
  QelControl.InitDriver("/dev/localbus16", "/dev/spidev3.0");
  std::vector<uint8_t> buf(140000, 0x5A);
  EXPECT_EQ(QelControl.ReadQel(buf.data()), -1);
  EXPECT_EQ(QelControl.ReadFIFO(64, buf.data(), 32), -1);
  EXPECT_EQ(QelControl.ReFpgeConfig(0), -1);
  EXPECT_EQ(plat::Fpga().Reconfigurations(), 0);
  EXPECT_EQ(buf[0], 0x5A);
}

TEST(ControlBlocks, ReconfigurationBlockByMode) {
  Board b;
  EXPECT_EQ(QelControl.ReFpgeConfig(1), 0);
  EXPECT_EQ(b.fpga.LastReconfiguration(), (std::vector<uint32_t>{2, 4, 0, 0, 1, 1008, 1, 0}));
  EXPECT_EQ(QelControl.ReFpgeConfig(0), 0);
  EXPECT_EQ(b.fpga.LastReconfiguration(), (std::vector<uint32_t>{2, 4, 0, 0, 1, 1023, 1, 0}));
  EXPECT_EQ(b.fpga.Reconfigurations(), 2);
}

TEST(ControlBlocks, FinishedSignalRaisesTheRunStateFlag) {
  Board b;
  SysRunStatus.ClearInterruptFlag();
  b.fpga.RaiseFinished();
  EXPECT_EQ(SysRunStatus.GetInterruptFlag(), 1);
  EXPECT_EQ(QelControl.ReadAnyReg(804), 1);
  QelControl.SysSample();
  EXPECT_EQ(QelControl.ReadAnyReg(804), 0);
}

TEST(ControlSetUp, PllBatches) {
  Board b;
  EXPECT_EQ(QelControl.PllConfig(), 0);
  Words expect;
  for (auto v : {std::pair<int, int>{2001, 48}, {0xF120, 79}, {14370, 1}}) {
    Words batch{{12, 0}, {10, 1}, {14, uint16_t(v.first)}, {16, uint16_t(v.second)}, {12, 1}};
    expect.insert(expect.end(), batch.begin(), batch.end());
  }
  EXPECT_EQ(b.fpga.Log(), expect);
  EXPECT_EQ(b.fpga.PllWrites().size(), 3u);
}

TEST(ControlSetUp, AdcRegisterFrameAndValidAdcs) {
  Board b;
  EXPECT_EQ(QelControl.AdcConfig(1, 41, 0x1234), 0);
  EXPECT_EQ(b.fpga.Log(), (Words{{18, 0}, {20, 0x1234}, {22, 256 + 41}, {18, 1}}));
  EXPECT_EQ(QelControl.AdcConfig(2, 41, 1), -1);
  EXPECT_EQ(b.fpga.Log().size(), 4u);
  QelControl.AdcConfig(128, 50, 7);
  EXPECT_EQ(b.fpga.AdcRegister(0, 50), 7);
  EXPECT_EQ(b.fpga.AdcRegister(1, 50), 7);
}

TEST(ControlSetUp, AdcInitProgramsBothAdcs) {
  Board b;
  ADCGain[0][0] = 5;
  ADCGain[0][1] = 3;
  ADCGain[1][0] = 9;
  ADCGain[1][1] = 1;
  EXPECT_EQ(QelControl.AdcInitSyncVEX4100R(4, 2), 0);
  Words log = b.fpga.Log();
  EXPECT_EQ(Words(log.begin(), log.begin() + 2), (Words{{30, 1}, {30, 0}}));
  EXPECT_EQ(Tail(log, 2), (Words{{100, 1}, {100, 0}}));

  for (int a = 0; a < 2; ++a) {
    EXPECT_EQ(b.fpga.AdcRegister(a, 46), 0xFFFF);
    EXPECT_EQ(b.fpga.AdcRegister(a, 18), 19165);
    EXPECT_EQ(b.fpga.AdcRegister(a, 48), 7);
    for (int r = 23; r <= 37; r += 2) EXPECT_EQ(b.fpga.AdcRegister(a, r), 16125) << r;
    EXPECT_EQ(b.fpga.AdcRegister(a, 39), 8189);
    for (int r = 24; r <= 34; r += 2) EXPECT_EQ(b.fpga.AdcRegister(a, r), 303) << r;
    EXPECT_EQ(b.fpga.AdcRegister(a, 42), 15398);
    EXPECT_EQ(b.fpga.AdcRegister(a, 45), 68);
    EXPECT_EQ(b.fpga.AdcRegister(a, 21), 259);
    EXPECT_EQ(b.fpga.AdcRegister(a, 22), 0xC730);
    EXPECT_EQ(b.fpga.AdcRegister(a, 15), 16392);
    EXPECT_EQ(b.fpga.AdcRegister(a, 101), 1);
  }
  EXPECT_EQ(b.fpga.AdcRegister(0, 41), 4 * 16 | 0xD10F);
  EXPECT_EQ(b.fpga.AdcRegister(1, 41), 2 * 16 | 0xD10F);
  EXPECT_EQ(b.fpga.AdcRegister(0, 36), 303);
  EXPECT_EQ(b.fpga.AdcRegister(1, 36), 295);
  EXPECT_EQ(b.fpga.AdcRegister(0, 19), 0);
  EXPECT_EQ(b.fpga.AdcRegister(1, 19), 0x8038);
  // Gains: word = coarse | 0x600 | fine << 4; register 8 keeps ADC 1's delay bits.
  const uint16_t g0 = 5 | 0x600 | 3 << 4, g1 = 9 | 0x600 | 1 << 4;
  for (int r : {2, 5, 11, 14}) {
    EXPECT_EQ(b.fpga.AdcRegister(0, r), g0);
    EXPECT_EQ(b.fpga.AdcRegister(1, r), g1);
  }
  EXPECT_EQ(b.fpga.AdcRegister(0, 8), g0);
  EXPECT_EQ(b.fpga.AdcRegister(1, 8), 0xE000 | g1);
  EXPECT_EQ(b.fpga.AdcRegister(0, 17), (5 << 5 | 0x200E | 3 << 9));
  EXPECT_EQ(b.fpga.AdcRegister(1, 17), (9 << 5 | 0x200E | 1 << 9));
}

TEST(ControlSetUp, EarlyAdcInitBeepsAndPulsesRegister47) {
  Board b;
  EXPECT_EQ(QelControl.AdcInit(1, 7), 0);
  EXPECT_EQ(b.fpga.AdcRegister(0, 41), 1 * 16 | 0xD101);
  EXPECT_EQ(b.fpga.AdcRegister(1, 41), 7 * 16 | 0xD101);
  EXPECT_EQ(b.fpga.AdcRegister(0, 42), 19494);
  auto writes = b.fpga.AdcWrites();
  ASSERT_GE(writes.size(), 2u);
  EXPECT_TRUE(b.bench.ShellRan("echo 1 > /sys/class/pwm/pwmchip4/pwm0/enable"));
  bool pulsed = false;
  for (size_t i = 0; i + 1 < writes.size(); ++i)
    if (writes[i].adc == 1 && writes[i].reg == 47 && writes[i].value == 1 && writes[i + 1].reg == 47 &&
        writes[i + 1].value == 0)
      pulsed = true;
  EXPECT_TRUE(pulsed);
}

TEST(ControlSetUp, TestCodesDacsAndRegister8Shadow) {
  Board b;
  EXPECT_EQ(QelControl.AdcTestCodeSel(0, 3, 0x55), 0);
  std::vector<std::tuple<int, int, int>> got;
  for (const auto& w : b.fpga.AdcWrites()) got.emplace_back(w.adc, w.reg, w.value);
  EXPECT_EQ(got, (std::vector<std::tuple<int, int, int>>{{0, 111, 0x55}, {0, 108, 8}, {0, 30, 0x8127}, {0, 30, 4391}}));
  EXPECT_EQ(QelControl.AdcTestCodeSel(0, 4, 0), -1);

  QelControl.AdcConfig08Gain(0, 8, 0x0635);
  QelControl.AdcConfig08Delay(0, 8, 0xA000);
  EXPECT_EQ(b.fpga.AdcRegister(0, 8), 0xA635);
  QelControl.AdcConfig08Gain(0, 8, 0x0011);
  EXPECT_EQ(b.fpga.AdcRegister(0, 8), 0xA011);

  b.fpga.ClearLog();
  EXPECT_EQ(QelControl.ChannelDAC_Set(2, 0x123), 0);
  EXPECT_EQ(b.fpga.Log(), (Words{{32, 0}, {10, 2}, {34, 0x123 | 0x1000 | 0x8000}, {32, 1}}));
  EXPECT_EQ(b.fpga.DacValue(2), 0x123);
  EXPECT_EQ(QelControl.ChannelDAC_Set(4, 1), -1);
  EXPECT_EQ(QelControl.ChannelDAC_Set(0, 4096), -1);
  EXPECT_EQ(b.fpga.Log().size(), 4u);
}

TEST(ControlSampling, RestartsResetAndPassFail) {
  Board b;
  QelControl.FPGAResetEnable();
  EXPECT_EQ(QelControl.GetFPGAResetStatus(), 1);
  QelControl.SysSample();
  EXPECT_EQ(QelControl.GetFPGAResetStatus(), 0);
  QelControl.FPGAResetEnable();
  QelControl.FPGAResetDisable();
  EXPECT_EQ(QelControl.GetFPGAResetStatus(), 0);
  QelControl.AcquirePause();
  QelControl.AcquireStart();
  QelControl.PassFailOutput();
  EXPECT_EQ(b.fpga.Log(), (Words{{0, 1}, {128, 1}, {0, 0}, {0, 1}, {128, 0}, {0, 0}, {122, 0}, {0, 1}, {128, 1},
                                 {0, 0}, {128, 0}, {128, 1}, {128, 0}, {66, 0}, {66, 1}}));
}

TEST(ControlSampling, DrawingStatusAndIdleWait) {
  Board b;
  EXPECT_EQ(QelControl.WaitingDrawingIdle(), 0);
  EXPECT_TRUE(QelControl.GetDrawingStatus());
  b.fpga.SetDrawingStatus(2);
  EXPECT_TRUE(QelControl.GetDrawingStatus());
  b.fpga.SetDrawingStatus(1);
  EXPECT_FALSE(QelControl.GetDrawingStatus());
  int before = b.fpga.ReadCount(820);
  EXPECT_EQ(QelControl.WaitingDrawingIdle(), -1);
  EXPECT_EQ(b.fpga.ReadCount(820) - before, 100);
}

TEST(ControlLeds, WordForChannelsActiveAndRunState) {
  Board b;
  EXPECT_EQ(control::LedWord(0, 0, 1), 1);            // nothing on, running
  EXPECT_EQ(control::LedWord(1, 0, 1), 8 | 1);        // CH1 on and selected
  EXPECT_EQ(control::LedWord(3, 0, 4), 8 | 16 | 2);   // both on, CH1 selected, stopped
  EXPECT_EQ(control::LedWord(3, 1, 1), 4 | 32 | 1);   // CH2 selected
  EXPECT_EQ(control::LedWord(0x23, 5, 2), 4 | 16 | 128 | 1);  // math selected
  EXPECT_EQ(control::LedWord(3, 7, 1), 4 | 16 | 1);   // no channel selected

  SysRunStatus.SetChStatus(3);
  SysRunStatus.SetActivCh(1);
  SysRunStatus.SetAcquireStatus(0, 4);
  EXPECT_EQ(QelControl.LedCtrl(SysRunStatus.GetSysRunInfoBaseAddr()), 0);
  EXPECT_EQ(b.fpga.Log(), (Words{{6, 4 | 32 | 2}}));
}

TEST(ControlChannels, FrontEndWordPacking) {
  Board b;
  FrontEndSetting s{};
  s.rangeBits[0] = 0x4 | 0x80;     // CH1 100 mV/div row
  s.rangeBits[1] = 0x1000 | 0x8000;
  s.coupling[0] = 0;               // DC
  s.coupling[1] = 1;               // AC
  s.bwLimit[0] = 1;
  s.trigCoupling = 1;
  s.trigSource = 1;
  s.bwClass = 0;
  EXPECT_EQ(QelControl.AnalogChannelControl(s), 0);
  const uint32_t w = 0x84 | 1 | 16 | 0x9000 | 0x840000 | 0x100000;
  EXPECT_EQ(b.fpga.Log(), (Words{{24, 0}, {26, w & 0xFFFF}, {28, w >> 16}, {24, 1}, {174, 1}}));
  EXPECT_EQ(b.fpga.FrontEndWord(), w);

  FrontEndSetting t{};
  t.coupling[0] = t.coupling[1] = 2;
  t.bwClass = 1;
  t.bwLimit[1] = 1;
  const std::pair<int, uint32_t> couplings[] = {{0, 0xC40000}, {1, 0x840000}, {2, 0xCC0000}, {3, 0x040000}, {4, 0xC00000}};
  for (auto c : couplings) {
    t.trigCoupling = c.first;
    EXPECT_EQ(control::FrontEndWord(t), 8192 | c.second) << c.first;
  }
  t.trigCoupling = 3;
  const std::pair<int, uint32_t> sources[] = {{0, 0}, {1, 0x100000}, {2, 0x300000}, {3, 0x200000}, {5, 0}};
  for (auto src : sources) {
    t.trigSource = src.first;
    EXPECT_EQ(control::FrontEndWord(t), 8192 | 0x040000 | src.second) << src.first;
  }
  // Setup/hold: the source its selection uses, not the plain trigger source.
  t.trigType = 9;
  t.trigSource = 0;
  t.setupHoldData = 1;
  t.setupHoldClock = 3;
  t.setupHoldSelection = 0;
  EXPECT_EQ(control::FrontEndWord(t) & 0x300000, 0x200000u);
  t.setupHoldSelection = 1;
  EXPECT_EQ(control::FrontEndWord(t) & 0x300000, 0x100000u);
  b.fpga.ClearLog();
  QelControl.AnalogChannelControl(t);
  EXPECT_EQ(Tail(b.fpga.Log(), 1), (Words{{174, 0}}));
}

TEST(ControlChannels, GroundAndPriorityWords) {
  Board b;
  GroundSetting g{{2, 2}, {300, 0x40}, {10, 20}, false};
  QelControl.ChGndEnable(g);
  g.stopped = true;
  QelControl.ChGndEnable(g);
  GroundSetting one{{0, 2}, {77, -5}, {0, 0}, false};
  QelControl.ChGndEnable(one);
  EXPECT_EQ(b.fpga.Log(), (Words{{206, 3}, {208, 0x40FF}, {206, 3}, {208, 20 << 8 | 10}, {206, 2}, {208, 0}}));

  b.fpga.ClearLog();
  QelControl.SetChPriority(1, 3, 1, 1);  // running: the live mask
  QelControl.SetChPriority(1, 3, 1, 4);  // stopped: masked with the snapshot
  QelControl.SetChPriority(3, 2, 0, 1);  // active above 1 counts as 0
  EXPECT_EQ(b.fpga.Log(), (Words{{116, 1}, {38, 12}, {116, 1}, {38, 4}, {116, 0}, {38, 8}}));
}

TEST(ControlTimed, SentOnceNineTenthsOfASecondAfterTheLastChange) {
  Board b;
  plat::HoldVirtualClock(true);
  EXPECT_EQ(QelControl.SendTimingControl(), -1);  // empty
  QelControl.AddTimingControlWrod(60, 1);
  QelControl.AddTimingControlWrod(62, 5);
  plat::AdvanceUs(600000);
  QelControl.AddTimingControlWrod(60, 2);  // same word: new value, timer restarts
  plat::AdvanceUs(600000);
  EXPECT_EQ(QelControl.SendTimingControl(), -1);
  EXPECT_TRUE(b.fpga.Log().empty());
  plat::AdvanceUs(300000);
  EXPECT_EQ(QelControl.SendTimingControl(), 0);
  EXPECT_EQ(b.fpga.Log(), (Words{{60, 2}, {62, 5}}));
  EXPECT_EQ(QelControl.SendTimingControl(), -1);
  EXPECT_EQ(b.fpga.Log().size(), 2u);
}

TEST(ControlTimed, ElapsedTimeCountsWholeSecondsAndTheListIsBounded) {
  Board b;
  plat::HoldVirtualClock(true);
  QelControl.AddTimingControlWrod(70, 9);
  plat::AdvanceUs(2100000);  // 2.1 s: the fraction alone would be 0.1 s
  EXPECT_EQ(QelControl.SendTimingControl(), 0);
  EXPECT_EQ(b.fpga.Log(), (Words{{70, 9}}));

  for (int i = 0; i < control::kListSize; ++i) EXPECT_EQ(QelControl.AddTimingControlWrod(300 + i, i), 0);
  EXPECT_EQ(QelControl.AddTimingControlWrod(400, 1), -1);
  EXPECT_EQ(QelControl.AddTimingControlWrod(300, 7), 0);  // an existing word still updates
}

TEST(ControlBatch, FullBatchIsFlushedBeforeTheNextWord) {
  Board b;
  for (int i = 0; i < 50; ++i) QelControl.AddControlWrod(200 + i, i);
  EXPECT_TRUE(b.fpga.Log().empty());
  QelControl.AddControlWrod(999, 1);
  EXPECT_EQ(b.fpga.Log().size(), 50u);
  EXPECT_EQ(b.fpga.Log().front(), (std::pair<uint16_t, uint16_t>{200, 0}));
  EXPECT_EQ(b.fpga.Log().back(), (std::pair<uint16_t, uint16_t>{249, 49}));
  EXPECT_EQ(QelControl.SendAllControl(), 0);
  EXPECT_EQ(Tail(b.fpga.Log(), 1), (Words{{999, 1}}));
  QelControl.AddControlWrod(5, 5);
  QelControl.TansBuffClear();
  QelControl.SendAllControl();
  EXPECT_EQ(b.fpga.Log().size(), 51u);

  const int list[][2] = {{40, 1}, {42, 2}, {-1, 0}, {44, 3}};
  EXPECT_EQ(QelControl.SendBatchConfig(list), 0);
  EXPECT_EQ(Tail(b.fpga.Log(), 2), (Words{{40, 1}, {42, 2}}));
  EXPECT_EQ(QelControl.SendBatchConfig(nullptr), -1);
}

TEST(ControlCounter, OneKilohertzByCycleCount) {
  Board b;
  double v[2] = {-1, -1};
  int st[2] = {-1, -1};
  QelControl.FreqTimingRefresh();
  QelControl.FreqInitMeter(0, 2, 0);
  EXPECT_EQ(b.fpga.Log(), (Words{{108, 2}, {110, 0}, {106, 1}, {106, 0}, {106, 1}}));
  EXPECT_EQ(QelControl.FreqMeter(false, 0, v, st), -1);  // refresh not due yet
  plat::AdvanceUs(1000000);
  EXPECT_EQ(QelControl.FreqMeter(false, 0, v, st), 0);
  EXPECT_EQ(st[0], 0);
  EXPECT_NEAR(v[0], 1000.0, 1e-6);
  EXPECT_EQ(st[1], -1);  // only the trigger source
  EXPECT_EQ(b.fpga.Word(110), 0);  // cycle result: period index kept
}

TEST(ControlCounter, HighFrequencyNeedsSixtyFourBitArithmetic) {
  Board b;
  b.fpga.SetSignalFrequency(plat::kSignalCh2, 25e6);
  QelControl.SendRealControl(48, 1);  // trigger on CH2
  double v[2] = {};
  int st[2] = {-1, -1};
  QelControl.FreqInitMeter(1, 2, 0);
  plat::AdvanceUs(1000000);
  QelControl.FreqMeter(false, 1, v, st);
  EXPECT_EQ(st[1], 0);
  EXPECT_NEAR(v[1], 25e6, 1.0);
}

TEST(ControlCounter, LowFrequencyByPeriodsSteppingTheIndex) {
  Board b;
  b.fpga.SetSignalFrequency(plat::kSignalCh1, 10.0);
  double v[2] = {};
  int st[2] = {};
  QelControl.FreqInitMeter(0, 2, 0);
  plat::AdvanceUs(1000000);
  QelControl.FreqMeter(false, 0, v, st);
  EXPECT_EQ(st[0], 0);
  EXPECT_NEAR(v[0], 10.0, 1e-6);
  EXPECT_EQ(b.fpga.Word(110), 1);  // six periods next time
  plat::AdvanceUs(1000000);
  QelControl.FreqMeter(false, 0, v, st);
  EXPECT_NEAR(v[0], 10.0, 1e-6);
  EXPECT_EQ(b.fpga.Word(110), 2);
}

TEST(ControlCounter, SlowSignalShowsCyclesUntilThePeriodsAreTimed) {
  Board b;
  b.fpga.SetSignalFrequency(plat::kSignalCh1, 1.5);
  double v[2] = {};
  int st[2] = {};
  QelControl.FreqInitMeter(0, 2, 0);
  plat::AdvanceUs(1000000);
  QelControl.FreqMeter(false, 0, v, st);  // two periods take 1.33 s
  EXPECT_EQ(st[0], 0);
  EXPECT_EQ(v[0], 1.0);
  plat::AdvanceUs(1000000);
  QelControl.FreqMeter(false, 0, v, st);
  EXPECT_NEAR(v[0], 1.5, 1e-6);
}

TEST(ControlCounter, NoSignalAndNoResult) {
  Board b;
  plat::TestSignal dc;
  dc.shape = plat::SignalShape::kDc;
  b.fpga.SetSignal(plat::kSignalCh1, dc);
  double v[2] = {5, 5};
  int st[2] = {};
  plat::AdvanceUs(1000000);
  QelControl.FreqMeter(false, 0, v, st);
  EXPECT_EQ(st[0], 255);
  EXPECT_EQ(v[0], 0.0);
  EXPECT_EQ(b.fpga.Word(106), 1);  // re-armed

  b.fpga.SetSignalFrequency(plat::kSignalCh1, 1000.0);
  plat::AdvanceUs(1000000);  // refresh due, but the gate just started
  b.fpga.ClearLog();
  QelControl.FreqInitMeter(0, 2, 0);
  QelControl.FreqMeter(false, 0, v, st);
  EXPECT_EQ(st[0], 0xFFFF);
}

TEST(ControlCounter, FastMeterBothChannels) {
  Board b;
  b.fpga.SetSignalFrequency(plat::kSignalCh2, 2500.0);
  double v[2] = {};
  EXPECT_EQ(QelControl.FastFreqMeter(true, 0, v), 0);
  EXPECT_NEAR(v[0], 1000.0, 1e-6);
  EXPECT_NEAR(v[1], 2500.0, 1e-6);
}

TEST(ControlLock, HolderBlocksFpgaAccessOfOtherThreads) {
  Board b;
  Sem.semaphore_p();
  std::atomic<bool> sent{false};
  std::thread t([&] {
    QelControl.SendRealControl(5, 1);
    sent = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(sent.load());
  EXPECT_FALSE(b.fpga.WordWritten(5));
  Sem.semaphore_v();
  t.join();
  EXPECT_TRUE(b.fpga.WordWritten(5));
}

TEST(ControlLock, TwoThreadsNeverOverlapOnTheBus) {
  Board b;
  b.fpga.SetTransferDelayUs(20);
  auto work = [](int base) {
    for (int i = 0; i < 200; ++i) {
      QelControl.SendRealControl(base, i);
      QelControl.ReadAnyReg(780);
      QelControl.AddControlWrod(base + 1, i);
      if (i % 10 == 9) QelControl.SendAllControl();
    }
  };
  std::thread t1(work, 300), t2(work, 400);
  t1.join();
  t2.join();
  EXPECT_EQ(b.fpga.Overlaps(), 0);
  EXPECT_EQ(b.fpga.Log().size(), 800u);
}

TEST(ControlLockDeathTest, SecondTakeBySameThreadAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        Sem.semaphore_p();
        Sem.semaphore_p();
      },
      "not recursive");
  EXPECT_DEATH(
      {
        Bench bench;
        QelControl.InitDriver("/dev/localbus16", "/dev/spidev3.0");
        SemLock hold(Sem);
        QelControl.SendRealControl(1, 1);
      },
      "not recursive");
}

TEST(ControlBeeper, SetUpAndBeepAreShellCommands) {
  Board b;
  EXPECT_TRUE(b.bench.ShellRan("echo 0 >\t/sys/class/pwm/pwmchip4/export"));
  EXPECT_TRUE(b.bench.ShellRan("echo 1000000 >/sys/class/pwm/pwmchip4/pwm0/period"));
  EXPECT_TRUE(b.bench.ShellRan("echo 500000 >/sys/class/pwm/pwmchip4/pwm0/duty_cycle"));
  Bee();
  auto log = b.bench.ShellLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "echo 1 > /sys/class/pwm/pwmchip4/pwm0/enable");
  EXPECT_EQ(log.back(), "echo 0 > /sys/class/pwm/pwmchip4/pwm0/enable");
}

TEST(ControlTrigger, DetectPulsesWord58AndReadsPresence) {
  Board b;
  EXPECT_EQ(QelControl.TriggerDetect(100), 3);
  EXPECT_EQ(b.fpga.Log(), (Words{{58, 0}, {58, 1}}));
  plat::TestSignal off;
  off.amplitudeV = 0;
  b.fpga.SetSignal(plat::kSignalCh2, off);
  EXPECT_EQ(QelControl.TriggerDetect(100), 1);
}

TEST(ControlChannels, RunStateFormsReadTheChannelBlocks) {
  Board b;
  _SysRunInfo* run = SysRunStatus.GetSysRunInfoBaseAddr();
  run->vertical[0].coupling = 2;
  run->vertical[0].position = 140;
  run->vertical[0].positionSelected = 120;
  run->vertical[1].coupling = 0;
  run->vertical[1].bwLimit = 1;
  run->trigCoupling = 2;
  run->trigType = 0;
  run->trigSource = 1;
  run->bandwidthClass = 1;
  run->acqStatus[0] = 4;
  run->sourceOn = 3;
  run->sourceOnSnapshot = 2;
  run->activeCh = 0;
  const uint32_t bits[2] = {0x20, 0x100};
  QelControl.AnalogChannelControl(run, bits);
  EXPECT_EQ(b.fpga.FrontEndWord(), 0x20u | 0x100 | 512 | 8192 | 0xCC0000 | 0x100000);
  b.fpga.ClearLog();
  QelControl.ChGndEnable(run);    // stopped: the snapshot level
  QelControl.SetChPriority(run);  // stopped: masked with the snapshot
  EXPECT_EQ(b.fpga.Log(), (Words{{206, 1}, {208, 120}, {116, 0}, {38, 8}}));
}

TEST(ControlCounter, MainLoopRefreshStoresTheResultInTheRunState) {
  Board b;
  SysRunStatus.GetSysRunInfoBaseAddr()->trigSource = 0;
  QelControl.FreqInitMeter(0, 2, 0);
  plat::AdvanceUs(1000000);
  FreqMeter();
  EXPECT_NEAR(SysRunStatus.GetCymometer(0), 1000.0, 1e-6);
  EXPECT_STRNE(SysRunStatus.GetCymometerResult(0), "");
}

// While a record is held for a read-out over several locked stretches, no
// write resumes acquisition over it: a pause word of 0 is kept back and sent
// when the last hold ends, unless a pause word of 1 came after it (a STOP
// meanwhile stands).
TEST(ControlFrames, AHeldRecordKeepsResumesBackUntilTheLastHoldEnds) {
  Board b;
  constexpr uint16_t kPauseWord = 128;  // the simulated FPGA's own number
  QelControl.SendRealControl(fpga::kPause, 1);
  QelControl.HoldRecord();
  QelControl.HoldRecord();
  QelControl.SysSample();  // a restart asked for meanwhile
  EXPECT_EQ(b.fpga.Word(kPauseWord), 1);
  QelControl.ReleaseRecord();
  EXPECT_EQ(b.fpga.Word(kPauseWord), 1);  // one hold still stands
  QelControl.ReleaseRecord();
  EXPECT_EQ(b.fpga.Word(kPauseWord), 0);  // sent as the last one goes

  QelControl.SendRealControl(fpga::kPause, 1);
  QelControl.HoldRecord();
  QelControl.AcquireStart();
  QelControl.AcquirePause();  // a pause after the resume: it stands
  b.fpga.ClearLog();
  QelControl.ReleaseRecord();
  EXPECT_EQ(b.fpga.Word(kPauseWord), 1);
  EXPECT_TRUE(b.fpga.Log().empty());
  QelControl.ReleaseRecord();  // one too many changes nothing
  QelControl.AcquireStart();
  EXPECT_EQ(b.fpga.Word(kPauseWord), 0);
}
