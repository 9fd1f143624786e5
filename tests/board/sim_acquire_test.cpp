// The simulated FPGA's acquisitions: records, trigger, raster, run control,
// pacing, roll, decode reads and the test-signal file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/root.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/thread.h"
#include "tests/bench/wait.h"

namespace {
using plat::SimAcquire;
using plat::SignalShape;
using plat::TestSignal;

plat::SimFpga& F() { return plat::Fpga(); }

void W(uint16_t word, uint16_t value) { F().WriteWord(word, value); }
uint16_t R(uint16_t reg) { return F().ReadReg(reg); }

// Arms a read of channel ch (0/1) at `offset` samples from the trigger with a
// step of `step` samples, as the waveform engine does.
void Arm(int ch, int32_t offset, uint32_t step) {
  W(122, 1);
  W(176, uint16_t(ch + 1));
  W(148, uint16_t(uint32_t(offset) & 0xFFFF));
  W(150, uint16_t(uint32_t(offset) >> 16));
  W(160, uint16_t(step * 16 & 0xFFFF));
  W(162, uint16_t(step * 16 >> 16));
  W(122, 0);
}

// The 7000 points of the screen window at 500 us/div (one per microsecond).
std::vector<uint8_t> Record(int ch) {
  Arm(ch, -3500000, 1000);
  std::vector<uint8_t> r(7000);
  F().ReadBlock(64, r.data(), r.size());
  return r;
}

TestSignal Make(SignalShape shape, double amp, double offset = 0, double hz = 1000) {
  TestSignal s;
  s.shape = shape;
  s.amplitudeV = amp;
  s.offsetV = offset;
  s.frequencyHz = hz;
  return s;
}

struct SimAcquire_ : ::testing::Test {
  // The cases are written against a 1 kHz sine on CH1 (the board starts it faster).
  void SetUp() override {
    F().SetPacing(SimAcquire::Pacing::kOnDemand);
    F().SetSignal(0, TestSignal{});
  }
};

TEST_F(SimAcquire_, SineRecordSwingsFiftyCodesAndCrossesTheCentreRisingAtTheTrigger) {
  ASSERT_TRUE(F().AcquireNow());
  EXPECT_TRUE(F().Finished());
  EXPECT_EQ(R(804), 1);
  auto r = Record(0);
  EXPECT_EQ(*std::max_element(r.begin(), r.end()), 177);
  EXPECT_EQ(*std::min_element(r.begin(), r.end()), 77);
  // Index 3500 is the trigger (the record centre): 0 V, rising.
  EXPECT_EQ(r[3500], 127);
  EXPECT_GT(r[3510], 127);
  EXPECT_LT(r[3490], 127);
  // One period is 1000 points (1 ms at 1 us).
  for (int i = 0; i < 5000; i += 37) EXPECT_EQ(r[i], r[i + 1000]) << i;
  EXPECT_EQ(r[3750], 177);  // a quarter period later: the peak
  EXPECT_EQ(R(770), 0x22);  // triggered, both fields
  // The FIFO reports what it holds and streams in read order.
  Arm(0, 0, 1);
  EXPECT_EQ(R(782), 1);
  EXPECT_EQ(R(800), SimAcquire::kFifoBytes);
}

TEST_F(SimAcquire_, TriggerSlopeLevelAndPositionPlaceTheCrossing) {
  plat::SimAcqSettings s;
  s.trigSlope = 1;
  s.trigLevelV = 0.5;  // 25 codes above 0 V at 500 mV/div
  s.triggerAddress = plat::kRecordCentre - 1000000;  // trigger 100 columns left of centre
  F().SetAcqSettings(s);
  ASSERT_TRUE(F().AcquireNow());
  Arm(0, -10000, 1000);  // 1 us apart around the trigger
  std::vector<uint8_t> r(21);
  F().ReadBlock(64, r.data(), r.size());
  EXPECT_NEAR(r[10], 152, 1);
  EXPECT_GT(r[0], r[20]);  // falling through the level
  // A level outside the signal finds no edge: auto acquires untriggered.
  s.trigLevelV = 2.0;
  F().SetAcqSettings(s);
  ASSERT_TRUE(F().AcquireNow());
  EXPECT_FALSE(F().LastAcquisition().triggered);
  EXPECT_EQ(R(770) & 15, 1);  // auto, untriggered
}

TEST_F(SimAcquire_, ShapesCouplingInvertAndClamping) {
  F().SetSignal(0, Make(SignalShape::kSquare, 1.0));
  F().SetSignal(1, Make(SignalShape::kDc, 0, 0.3));
  ASSERT_TRUE(F().AcquireNow());
  auto sq = Record(0);
  for (uint8_t c : sq) EXPECT_TRUE(c == 177 || c == 77) << int(c);
  EXPECT_EQ(sq[3500], 177);  // the rising edge is the trigger
  EXPECT_EQ(sq[3499], 77);
  auto dc = Record(1);
  EXPECT_EQ(*std::min_element(dc.begin(), dc.end()), 142);
  EXPECT_EQ(*std::max_element(dc.begin(), dc.end()), 142);

  // Beyond the ADC's range: codes clip at 0 and 255.
  F().SetSignal(0, Make(SignalShape::kDc, 0, 10.0));
  F().SetSignal(1, Make(SignalShape::kDc, 0, -10.0));
  ASSERT_TRUE(F().AcquireNow());
  EXPECT_EQ(Record(0)[0], 255);
  EXPECT_EQ(Record(1)[0], 0);

  // AC coupling removes the mean, ground reads the zero code; invert mirrors
  // the raster only, memory keeps the samples as taken.
  plat::SimAcqSettings s;
  s.ch[0].coupling = 1;
  s.ch[1].invert = true;
  s.ch[1].zeroCode = 100;
  F().SetAcqSettings(s);
  F().SetSignal(0, Make(SignalShape::kSquare, 0.5, 2.0));
  F().SetSignal(1, Make(SignalShape::kDc, 0, 0.2));
  ASSERT_TRUE(F().AcquireNow());
  auto ac = Record(0);
  EXPECT_EQ(*std::max_element(ac.begin(), ac.end()), 152);
  EXPECT_EQ(*std::min_element(ac.begin(), ac.end()), 102);
  EXPECT_EQ(Record(1)[0], 110);
  EXPECT_EQ(F().LastAcquisition().ScreenCode(1, plat::kRecordCentre), 255 - 110);
  s.ch[1].coupling = 2;
  F().SetAcqSettings(s);
  ASSERT_TRUE(F().AcquireNow());
  EXPECT_EQ(Record(1)[0], 100);
}

TEST_F(SimAcquire_, RasterShowsEachChannelAtItsRowsWithItsChannelBit) {
  F().SetSignal(1, Make(SignalShape::kDc, 0, -0.5));  // CH2 at code 102
  ASSERT_TRUE(F().AcquireNow());
  auto raster = F().Raster();  // CH1 only until word 38 says otherwise
  ASSERT_EQ(raster.size(), 140000u);
  auto at = [&](int row, int col) { return raster[size_t(row) * 700 + size_t(col)]; };
  for (int col = 0; col < 700; ++col) {
    int lit = 0;
    for (int row = 0; row < 200; ++row)
      if (at(row, col)) {
        ++lit;
        EXPECT_GE(row, 50);   // code 177
        EXPECT_LE(row, 150);  // code 77
        EXPECT_EQ(at(row, col) & 0x80, 0);
      }
    EXPECT_GT(lit, 0) << col;
  }
  EXPECT_NE(at(100, 350), 0);  // code 127 at the trigger column
  EXPECT_NE(at(50, 375), 0);   // the peak a quarter period (25 columns) later
  EXPECT_EQ(at(125, 350), 0);

  W(38, 3 * 4);  // both channels
  W(116, 0);
  raster = F().Raster();
  for (int col = 0; col < 700; col += 50) EXPECT_EQ(at(125, col), 0x80 | at(125, col)) << col;
  EXPECT_GT(at(125, 10) & 0x7F, 100);  // a flat line is bright
  EXPECT_EQ(R(788), 177 | 102 << 8);
  EXPECT_EQ(R(792), 77 | 102 << 8);
  // The active channel lies on top where both pass.
  F().SetSignal(1, Make(SignalShape::kDc, 0, 0.0));
  ASSERT_TRUE(F().AcquireNow());
  raster = F().Raster();
  EXPECT_EQ(at(100, 350) & 0x80, 0);
  W(116, 1);
  raster = F().Raster();
  EXPECT_EQ(at(100, 350) & 0x80, 0x80);
}

// Persistence (word 126): a DC line moved between acquisitions stays in the
// raster for the time the word chooses, counted on the board's clock between
// acquisitions; a stopped raster keeps what it showed; writing the word again
// or restarting sampling clears what was kept.
TEST_F(SimAcquire_, PersistenceKeepsEarlierLinesForTheTimeWord126Chooses) {
  const bool wasVirtual = plat::VirtualClock();
  plat::UseVirtualClock(true);
  plat::HoldVirtualClock(true);
  W(128, 0);
  W(38, 1 << 2);  // CH1 alone in the raster
  std::vector<uint8_t> raster;
  // Lit cells of column 10 at the rows of 0 V, +0.5 V and +1 V (codes 127,
  // 152 and 177 at 0.5 V/div: raster rows 227 - code).
  auto lit = [&](double volts) { return raster[size_t(227 - 127 - int(volts * 50)) * 700 + 10] != 0; };
  auto acquireAt = [&](double volts, int64_t afterUs) {
    plat::AdvanceUs(afterUs);
    F().SetSignal(0, Make(SignalShape::kDc, 0, volts));
    ASSERT_TRUE(F().AcquireNow());
    raster = F().Raster();
  };

  W(126, 2);  // 100 ms
  acquireAt(0.0, 0);
  acquireAt(0.5, 60000);
  EXPECT_TRUE(lit(0.0));  // 60 ms old
  EXPECT_TRUE(lit(0.5));
  acquireAt(1.0, 60000);
  EXPECT_FALSE(lit(0.0));  // 120 ms old
  EXPECT_TRUE(lit(0.5));
  EXPECT_TRUE(lit(1.0));
  plat::AdvanceUs(5000000);  // no acquisition meanwhile: the picture stands
  raster = F().Raster();
  EXPECT_TRUE(lit(0.5));

  W(126, 10);  // infinite, from an empty picture
  raster = F().Raster();
  EXPECT_FALSE(lit(0.5));
  EXPECT_TRUE(lit(1.0));
  acquireAt(0.0, 30000000);
  acquireAt(0.5, 30000000);
  EXPECT_TRUE(lit(0.0));
  EXPECT_TRUE(lit(1.0));
  W(126, 10);  // the clear-picture request
  raster = F().Raster();
  EXPECT_FALSE(lit(0.0));
  EXPECT_TRUE(lit(0.5));
  acquireAt(0.0, 0);
  EXPECT_TRUE(lit(0.5));
  W(0, 1);  // sampling restarts
  W(0, 0);
  acquireAt(1.0, 0);
  EXPECT_FALSE(lit(0.0));
  EXPECT_FALSE(lit(0.5));
  EXPECT_TRUE(lit(1.0));

  W(126, 0);  // minimum: each raster its own acquisition
  acquireAt(0.0, 0);
  EXPECT_FALSE(lit(1.0));
  EXPECT_TRUE(lit(0.0));
  plat::HoldVirtualClock(false);
  plat::UseVirtualClock(wasVirtual);
}

// The raster rows channel 1 lights in column x between rows `top` and
// `bottom`.
std::vector<int> LitRows(const std::vector<uint8_t>& raster, int x, int top = 0, int bottom = 199) {
  std::vector<int> rows;
  for (int r = top; r <= bottom; ++r)
    if (raster[size_t(r) * 700 + size_t(x)]) rows.push_back(r);
  return rows;
}

// The code of a sine of `amp` volts at 500 mV/div, `t` seconds after its
// rising zero crossing (the trigger).
double SineCode(double amp, double hz, double t) { return 127 + 50 * amp * std::sin(2 * M_PI * hz * t); }

// Whether the lit rows of a column reach the row of `code` (within a row)
// and stay within `slack` rows of the rows between `low` and `high` codes.
::testing::AssertionResult ColumnShows(const std::vector<int>& rows, double low, double high,
                                       int top = 0, int height = 200, int slack = 1) {
  auto row = [&](double code) { return top + (227.0 - code) * height / 200.0; };
  if (rows.empty()) return ::testing::AssertionFailure() << "nothing lit";
  const double hiRow = row(high) - slack - 1, loRow = row(low) + slack + 1;
  for (int r : rows)
    if (r < hiRow || r > loRow)
      return ::testing::AssertionFailure() << "row " << r << " lit, codes " << low << ".." << high;
  return ::testing::AssertionSuccess();
}

// The start-up settings (500 us/div at 1 GSa/s, 500 mV/div), CH1 alone in
// the raster, acquiring.
void StartCh1Raster() {
  F().SetAcqSettings(plat::SimAcqSettings{});
  W(38, 1 << 2);
  W(128, 0);
}

// The read pulse that takes the display words.
void ReadPulse() {
  W(122, 1);
  W(122, 0);
}

// Writes a 32-bit pair, low half first.
void W32(uint16_t low, uint32_t value) {
  W(low, uint16_t(value & 0xFFFF));
  W(uint16_t(low + 2), uint16_t(value >> 16));
}

// A stopped record re-read (the read start 140/142 from the trigger, the
// step 132/134 and the columns 164/166, taken by the read pulse on 122) is
// drawn again in that window: columns outside stay empty, each column inside
// shows the sine where the applied signal stood at its address.
TEST_F(SimAcquire_, AReReadDrawsTheKeptRecordInTheWindowTheWordsGive) {
  StartCh1Raster();
  ASSERT_TRUE(F().AcquireNow());  // 1 kHz, 1 V: 10,000 samples (10 us) a column
  auto raster = F().Raster();
  EXPECT_TRUE(ColumnShows(LitRows(raster, 375), 176, 177));  // a quarter period right of the trigger
  W(128, 1);                                                 // stopped
  const int32_t start = -300000;                             // 0.3 ms before the trigger
  const int first = 100, last = 600, k = 2000;
  W(232, 1);
  W32(140, uint32_t(start));
  W(232, 0);
  W32(132, k * 16);
  W(164, first);
  W(166, last);
  ReadPulse();
  raster = F().Raster();
  for (int x = 0; x < 700; ++x) {
    const std::vector<int> rows = LitRows(raster, x);
    if (x < first || x > last) {
      EXPECT_TRUE(rows.empty()) << x;
      continue;
    }
    const double t0 = (start + double(x - first) * k) * 1e-9, t1 = t0 + k * 1e-9;
    const double a = SineCode(1.0, 1000, t0), b = SineCode(1.0, 1000, t1);
    EXPECT_TRUE(ColumnShows(rows, std::min(a, b), std::max(a, b))) << x;
  }
  // The engine's reads of the record stand as taken.
  auto r = Record(0);
  EXPECT_EQ(r[3750], 177);
  W(164, 0);  // back to the live window
  W(166, 699);
  W32(140, 0);
  W32(132, 10000 * 16);
  W(128, 0);
}

// Stopped, the fine gain 214 (after 210 = 3) rescales the kept record about
// the position byte of word 212, and the soft offset 218 moves it.
TEST_F(SimAcquire_, TheStoppedFineGainAndSoftOffsetRescaleAndMoveTheRaster) {
  StartCh1Raster();
  W(214, 0x0100);
  W(218, 0);
  W(212, 127);
  F().SetSignal(0, Make(SignalShape::kDc, 0, 0.5));  // code 152
  ASSERT_TRUE(F().AcquireNow());
  auto raster = F().Raster();
  EXPECT_TRUE(ColumnShows(LitRows(raster, 200), 152, 152));
  W(128, 1);
  W(214, 0x0200);  // twice the gain: 127 + 2 x 25
  W(210, 3);
  W(218, uint16_t(-10));  // ten codes down
  ReadPulse();
  raster = F().Raster();
  for (int x = 0; x < 700; x += 35) EXPECT_TRUE(ColumnShows(LitRows(raster, x), 167, 167)) << x;
  auto r = Record(0);  // the record keeps the samples as taken
  EXPECT_EQ(r[100], 152);
  W(214, 0x0100);
  W(218, 0);
  ReadPulse();
  raster = F().Raster();
  EXPECT_TRUE(ColumnShows(LitRows(raster, 200), 152, 152));
  W(128, 0);
}

// Zoom (word 130 = 1 in Y-T): rows 0-59 show the main window, rows 60-199
// the zoom window of 144/146 (from the trigger) at 136/138 x 156/158 samples
// a column.
TEST_F(SimAcquire_, ZoomDrawsTheMainWindowAboveAndTheZoomWindowBelow) {
  StartCh1Raster();
  W(120, 0);
  W(130, 1);
  const int32_t start = -70000;  // 70 us before the trigger
  const int q = 200;             // samples a zoom column
  W32(136, q * 16);
  W32(156, 16);
  W32(144, uint32_t(start));
  W(168, 0);
  W(178, 699);
  ASSERT_TRUE(F().AcquireNow());
  auto raster = F().Raster();
  for (int x = 0; x < 700; x += 7) {
    const double t0 = (x - 350) * 10e-6, t1 = t0 + 10e-6;  // the main window: 10 us a column
    const double a = SineCode(1.0, 1000, t0), b = SineCode(1.0, 1000, t1);
    EXPECT_TRUE(ColumnShows(LitRows(raster, x, 0, 59), std::min(a, b), std::max(a, b), 0, 60)) << x;
    const double z0 = (start + double(x) * q) * 1e-9, z1 = z0 + q * 1e-9;
    const double c = SineCode(1.0, 1000, z0), d = SineCode(1.0, 1000, z1);
    EXPECT_TRUE(ColumnShows(LitRows(raster, x, 60, 199), std::min(c, d), std::max(c, d), 60, 140)) << x;
  }
  W(130, 0);
  F().AcquireNow();
}

// Average mode (word 40 = 4, average step 152/154 of a column): each column
// is one point, the mean of its samples: a 1 MHz sine over 0.2 V shows as the
// line at 0.2 V, where without averaging each column spans the whole swing.
TEST_F(SimAcquire_, TheAverageModeDrawsEachColumnsMean) {
  StartCh1Raster();
  F().SetSignal(0, Make(SignalShape::kSine, 1.0, 0.2, 1e6));  // ten periods a column
  ASSERT_TRUE(F().AcquireNow());
  auto raster = F().Raster();
  EXPECT_FALSE(ColumnShows(LitRows(raster, 300), 137, 137));
  EXPECT_TRUE(ColumnShows(LitRows(raster, 300), 87, 187));
  W(40, 4);
  W32(152, 10000 * 16);
  ASSERT_TRUE(F().AcquireNow());
  raster = F().Raster();
  for (int x = 0; x < 700; x += 7) EXPECT_TRUE(ColumnShows(LitRows(raster, x), 137, 137)) << x;
  W(40, 0);
  W32(152, 16);
}

TEST_F(SimAcquire_, RunStopSingleNormalAndForce) {
  W(128, 1);  // paused (stopped)
  EXPECT_FALSE(F().AcquireNow());
  W(128, 0);
  // Single: armed by the restart, one acquisition, then none.
  W(72, 3);
  W(0, 1);
  EXPECT_EQ(R(804), 0);
  W(0, 0);
  EXPECT_EQ(R(770), 0x44);
  ASSERT_TRUE(F().AcquireNow());
  EXPECT_EQ(R(770), 0x22);
  EXPECT_EQ(R(804), 1);
  EXPECT_FALSE(F().AcquireNow());
  W(0, 1);
  W(0, 0);
  EXPECT_TRUE(F().AcquireNow());
  // Normal: waits for a trigger a DC level never gives, until forced.
  W(72, 1);
  F().SetSignal(0, Make(SignalShape::kDc, 0, 0.4));
  EXPECT_FALSE(F().AcquireNow());
  EXPECT_EQ(R(770), 0x33);  // armed
  W(222, 0);
  W(222, 1);
  W(222, 0);
  ASSERT_TRUE(F().AcquireNow());
  EXPECT_FALSE(F().LastAcquisition().triggered);
  // Auto acquires without one.
  W(72, 0);
  EXPECT_TRUE(F().AcquireNow());
  EXPECT_EQ(R(770) & 15, 1);
}

TEST_F(SimAcquire_, UnpacedAcquisitionsFollowTheReadsAndHoldUntilTheRasterIsRead) {
  F().SetPacing(SimAcquire::Pacing::kUnpaced);
  const uint64_t n0 = F().LastAcquisition().serial;
  W(0, 1);
  W(0, 0);  // sampling restarts: one at once
  EXPECT_EQ(F().LastAcquisition().serial, n0 + 1);
  W(128, 1);
  W(128, 0);  // its raster is not read yet: it is held
  EXPECT_EQ(F().LastAcquisition().serial, n0 + 1);
  W(170, 1);
  W(170, 0);  // raster read: the next one
  EXPECT_EQ(F().LastAcquisition().serial, n0 + 2);
}

void OnFinished();
std::atomic<int> g_finished{0};
void OnFinished() { ++g_finished; }

TEST_F(SimAcquire_, RealTimePacingFinishesAcquisitionsOnItsOwnThread) {
  ASSERT_GE(F().OpenLocalBus(), 0);
  // The handler first: the clock's first acquisition, made with none, would
  // be held unread and no other would come.
  ASSERT_TRUE(F().SetFinishedHandler(OnFinished));
  F().SetPacing(SimAcquire::Pacing::kRealTime, 0.5);  // 500 us/div: about 4 ms each
  EXPECT_TRUE(WaitUntil([] { return g_finished >= 1; }));
  // A finished acquisition is held until its raster is read.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const uint64_t held = F().LastAcquisition().serial;
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(F().LastAcquisition().serial, held);
  W(170, 1);
  W(170, 0);
  EXPECT_TRUE(WaitUntil([&] { return F().LastAcquisition().serial > held; }));
  plat::RequestStop();
  plat::JoinAllThreads();
}

// Pacing worked out on the board's own clock readings, without waiting.
TEST(SimAcquirePacing, FreeRunningAcquisitionsComeAtMostSixtyASecondAndARestartSooner) {
  SimAcquire a;
  uint16_t words[1024] = {};
  bool written[1024] = {};
  int dac[4] = {-1, -1, -1, -1};
  const SimAcquire::Words w{words, written, dac, 0};
  TestSignal sig[plat::kSignalInputs];
  auto word = [&](uint16_t n, uint16_t v, int64_t now) {
    const uint16_t old = words[n];
    words[n] = v;
    return a.OnWord(n, old, w, now, sig);
  };
  a.SetPacing(SimAcquire::Pacing::kRealTime, 1.0);
  int64_t t = 10000000;
  ASSERT_TRUE(a.AcquireNow(w, t, sig));  // 7 ms of record at the start-up settings
  word(170, 1, t + 1000);  // its raster is read at once
  EXPECT_FALSE(word(170, 0, t + 1000));
  EXPECT_FALSE(a.Tick(w, t + 8000, sig));  // the record time is over, the frame is not
  EXPECT_FALSE(a.Tick(w, t + 16000, sig));
  EXPECT_TRUE(a.Tick(w, t + 16700, sig));  // 60 a second
  t += 16700;
  word(0, 1, t + 100);  // a reader restarts sampling: the record time alone
  word(0, 0, t + 100);
  EXPECT_FALSE(a.Tick(w, t + 7000, sig));
  EXPECT_TRUE(a.Tick(w, t + 8000, sig));
}

TEST_F(SimAcquire_, RollFifosFillAtTenSamplesPerColumn) {
  plat::UseVirtualClock(true);
  plat::HoldVirtualClock(true);  // nothing arrives while the test reads
  plat::SimAcqSettings s;
  s.roll = true;
  s.columnNs = 2e6;  // 100 ms/div: 5000 samples a second
  F().SetAcqSettings(s);
  EXPECT_EQ(R(784), 0);
  plat::AdvanceUs(100000);
  EXPECT_NEAR(R(784), 500, 1);  // whole samples: 0.1 s x 5000 may round to 499.99...
  std::vector<uint8_t> r(500), r2(500);
  F().ReadBlock(128, r.data(), r.size());
  F().ReadBlock(192, r2.data(), r2.size());
  EXPECT_EQ(R(784), 0);
  // The 1 kHz sine sampled at 5 kHz repeats every 5 samples.
  for (int i = 0; i + 5 < 400; ++i) EXPECT_NEAR(r[size_t(i)], r[size_t(i) + 5], 1) << i;
  EXPECT_EQ(*std::max_element(r.begin(), r.end()), *std::max_element(r2.begin(), r2.end()));
  // The FIFO keeps its newest bytes; stopped, it stops filling.
  plat::AdvanceUs(10000000);
  EXPECT_EQ(R(784), SimAcquire::kRollFifoBytes);
  W(128, 1);
  F().ReadBlock(128, r.data(), r.size());
  plat::AdvanceUs(1000000);
  EXPECT_EQ(R(784), SimAcquire::kRollFifoBytes - 500);
  EXPECT_FALSE(F().AcquireNow());  // roll makes no records
}

// Roll follows the signal file and the channel settings from the first
// sample taken after a change; the bytes taken before keep what was applied.
TEST_F(SimAcquire_, RollFollowsAChangedSignalAndRangeFromTheNextSample) {
  const std::string root = std::filesystem::temp_directory_path() / ("sim-roll-" + std::to_string(getpid()));
  ASSERT_TRUE(plat::InitRoot(root));
  plat::UseVirtualClock(true);
  plat::HoldVirtualClock(true);
  plat::SimAcqSettings s;
  F().SetAcqSettings(s);  // any roll before ends, and acquisition runs
  EXPECT_EQ(R(784), 0);
  W(128, 0);
  s.roll = true;
  s.columnNs = 2e6;  // 100 ms/div: 5000 samples a second
  F().SetAcqSettings(s);
  F().SetSignal(0, Make(SignalShape::kSine, 1.0, 0, 5));
  EXPECT_EQ(R(784), 0);
  // What is waiting: whole samples, 0.1 s x 5000 may come to 499.99...
  auto read = [] {
    std::vector<uint8_t> r(R(784));
    EXPECT_EQ(F().ReadBlock(128, r.data(), r.size()), r.size());
    return r;
  };
  plat::AdvanceUs(200000);  // a period of the 5 Hz sine: +-1 V at 0.5 V/div
  auto r = read();
  ASSERT_NEAR(double(r.size()), 1000, 1);
  EXPECT_EQ(*std::max_element(r.begin(), r.end()), 177);
  EXPECT_EQ(*std::min_element(r.begin(), r.end()), 77);
  plat::AdvanceUs(100000);  // the sine's positive half, taken before the file changes
  std::ofstream(plat::DevPath("signals")) << "ch1 dc offset=0.5\n";
  const size_t before = R(784);
  plat::AdvanceUs(100000);
  r = read();
  ASSERT_GT(r.size(), before);
  // Half a period of the sine, from where it stood: at least its amplitude.
  EXPECT_GE(*std::max_element(r.begin(), r.begin() + long(before)) - *std::min_element(r.begin(), r.begin() + long(before)), 49);
  EXPECT_EQ(size_t(std::count(r.begin() + long(before), r.end(), 152)), r.size() - before);
  s.ch[0].voltsPerDiv = 1.0;
  F().SetAcqSettings(s);
  EXPECT_EQ(R(784), 0);  // seen from here on
  plat::AdvanceUs(100000);
  r = read();
  ASSERT_FALSE(r.empty());
  EXPECT_EQ(size_t(std::count(r.begin(), r.end(), 140)), r.size());  // 0.5 V at 1 V/div: 12.5 codes up
  std::filesystem::remove_all(root);
}

TEST_F(SimAcquire_, DecodeReadsEndWithTheMarker) {
  W(122, 1);
  W(176, 5);
  W(122, 0);
  EXPECT_EQ(R(782), 1);
  EXPECT_EQ(R(800), 0xFFFF);
  F().LoadBlock(SimAcquire::kDecodeSelector, std::vector<uint8_t>(20000, 7));
  EXPECT_EQ(R(800), 10240);
  std::vector<uint8_t> b(20000);
  F().ReadBlock(SimAcquire::kDecodeSelector, b.data(), b.size());
  EXPECT_EQ(b[19999], 7);
  EXPECT_EQ(R(800), 0xFFFF);
  EXPECT_EQ(R(836), 0);
}

TEST(SimSignalFile, LinesAreParsedAndBadOnesSkipped) {
  int input = -1;
  TestSignal s;
  std::string error;
  ASSERT_TRUE(plat::SimSignalFile::ParseLine("ch2 pulse freq=10000 amp=1.65 offset=1.65 duty=0.25 # x", &input,
                                             &s, &error));
  EXPECT_EQ(input, 1);
  EXPECT_EQ(s.shape, SignalShape::kPulse);
  EXPECT_DOUBLE_EQ(s.frequencyHz, 10000);
  EXPECT_DOUBLE_EQ(s.duty, 0.25);
  EXPECT_FALSE(plat::SimSignalFile::ParseLine("# only a comment", &input, &s, &error));
  EXPECT_TRUE(error.empty());
  for (const char* bad : {"ch3 sine", "ch1 saw", "ch1 sine freq=-1", "ch1 sine amp=x", "ch1 pulse duty=1",
                          "ch1 sine gain=2", "ch1 sine freq=nan", "ch1", "ch1 square duty=0.2",
                          "ch1 sine widths=1e-6", "ch1 pulse lines=625"}) {
    error.clear();
    EXPECT_FALSE(plat::SimSignalFile::ParseLine(bad, &input, &s, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  // A field only one shape uses is refused on the others, so it is never silently ignored.
  EXPECT_FALSE(plat::SimSignalFile::ParseLine("ch1 square duty=0.2", &input, &s, &error));
  EXPECT_EQ(error, "duty= applies to pulse only");
}

TEST_F(SimAcquire_, TheSignalFileIsReadWhenItChanges) {
  const std::string root = std::filesystem::temp_directory_path() / ("sim-acq-" + std::to_string(getpid()));
  ASSERT_TRUE(plat::InitRoot(root));
  std::ofstream(plat::DevPath("signals")) << "ch1 dc offset=1.0\nch2 bogus\n";
  ASSERT_TRUE(F().AcquireNow());
  EXPECT_EQ(F().Signal(0).shape, SignalShape::kDc);
  EXPECT_EQ(Record(0)[100], 177);
  EXPECT_EQ(F().Signal(1).shape, SignalShape::kSine);  // the bad line left CH2 alone
  // A test's own setting holds until the file changes again.
  F().SetSignal(0, Make(SignalShape::kDc, 0, -1.0));
  ASSERT_TRUE(F().AcquireNow());
  EXPECT_EQ(Record(0)[100], 77);
  std::ofstream(plat::DevPath("signals")) << "ch1 dc offset=0.5   \n";
  ASSERT_TRUE(F().AcquireNow());
  EXPECT_EQ(Record(0)[100], 152);
  std::filesystem::remove_all(root);
}

}  // namespace
