// The time base model's zoom window and stopped-record views on the simulated
// board: the zoom and re-read words the simulated FPGA decodes, the limits
// with their messages, the record indicator and the guidance check.
#include <gtest/gtest.h>

#include <vector>

#include "acquisition/models/x_system.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "platform/sim/fpga/sim_decode_timebase.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"

namespace {
constexpr int64_t kCentre = x_system::kRecordCentre;

class ZoomTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run_ = BootModels(bench_, MarkedEeprom(), kBenchTimeBase, [](_SysRunInfo& r) {
      r.sourceOn = 1;
      SysRunStatus.SetMemDepth(0);  // automatic depth
    });
    ASSERT_NE(run_, nullptr);
  }
  // The time base in force and applied.
  static void Apply(int index) {
    ASSERT_EQ(TimeBase.SetRealTimeBase(0, index), index);
    ASSERT_EQ(TimeBase.AdjTimeBase(0, 0), 0);
  }
  // An acquisition taken at `index` (the main loop's snapshot), then stopped.
  void StopAt(int index) {
    Apply(index);
    TimeBase.XParaSyncRefresh(0);
    run_->acqStatus[0] = run_->acqStatus[1] = 4;
    QelMsg.ClearMessage();
    plat::Fpga().ClearLog();
  }
  HorizontalBlock& H() const { return run_->horizontal[0]; }
  void ExpectWindowsInRecord() const {
    const HorizontalBlock& h = H();
    for (int64_t a : {h.displayStart, h.displayEnd, h.zoomRecordStart, h.zoomRecordEnd, h.zoomVisibleStart,
                      h.zoomVisibleEnd, h.preTrigDepth}) {
      EXPECT_GE(a, 0);
      EXPECT_LE(a, x_system::kRecordSamples);
    }
  }

  Bench bench_;
  _SysRunInfo* run_ = nullptr;
};
}  // namespace

TEST_F(ZoomTest, EnteringZoomPutsTheZoomTimeBaseOneStepBelowTheMain) {
  Apply(12);  // 1 us/div, automatic depth: 20 samples per point, record 35 M -/+ 7000
  EXPECT_EQ(TimeBase.ZoomInit(1), 0);
  EXPECT_EQ(TimeBase.GetZoomTimeBase(0), 11);
  EXPECT_EQ(run_->timeBaseType, 1);
  EXPECT_EQ(QelMsg.GetMessageID(), -1);
  const HorizontalBlock& h = H();
  EXPECT_FLOAT_EQ(h.zoomFactor, 10.0f);  // 20 samples x 0.5
  EXPECT_EQ(h.zoomRecordStart, kCentre - 3500);
  EXPECT_EQ(h.zoomRecordEnd, kCentre + 3500);
  EXPECT_EQ(h.zoomScreenFirst, 175);
  EXPECT_EQ(h.zoomScreenLast, 525);
  plat::SimTimebaseSettings s = plat::SimDecodedTimebase();
  EXPECT_TRUE(s.windowRead);
  EXPECT_EQ(s.formatWord, 0);
  EXPECT_FALSE(s.zoomInterpolating);
  EXPECT_EQ(s.zoomMainStep, 10u * 16);
  EXPECT_EQ(s.zoomStep, 16u);
  EXPECT_EQ(s.zoomReadStart, -3500);  // the window's start from the trigger
  EXPECT_EQ(s.zoomFirstColumn, 0);
  EXPECT_EQ(s.zoomLastColumn, 699);

  // At the minimum time base the zoom time base stays equal to it.
  SysRunStatus.Set_BW_LIM(1);
  Apply(3);
  EXPECT_EQ(TimeBase.ZoomInit(1), 0);
  EXPECT_EQ(TimeBase.GetZoomTimeBase(0), 3);
  EXPECT_EQ(H().zoomScreenFirst, 0);
  EXPECT_EQ(H().zoomScreenLast, 700);

  EXPECT_EQ(TimeBase.ZoomInit(2), -1);
  EXPECT_EQ(TimeBase.ZoomInit(0), 0);
  EXPECT_EQ(run_->timeBaseType, 0);
  EXPECT_FALSE(plat::SimDecodedTimebase().windowRead);
  // Without zoom or X-Y the zoom operations are refused.
  EXPECT_EQ(TimeBase.AdjZoomTimeBase(0, -1), -1);
  EXPECT_EQ(TimeBase.AdjZoomMovePos(0, 1), -1);
}

TEST_F(ZoomTest, ZoomTimeBaseStaysBetweenAHundredfoldAndTheMain) {
  Apply(12);
  TimeBase.ZoomInit(1);
  EXPECT_EQ(TimeBase.AdjZoomTimeBase(0, 5), 0);
  EXPECT_EQ(TimeBase.GetZoomTimeBase(0), 12);
  EXPECT_EQ(QelMsg.GetMessageID(), 0);
  for (int i = 11; i >= 6; --i) {
    QelMsg.ClearMessage();
    TimeBase.AdjZoomTimeBase(0, -1);
    EXPECT_EQ(TimeBase.GetZoomTimeBase(0), i);
    EXPECT_EQ(QelMsg.GetMessageID(), -1) << i;
  }
  // 10 ns/div under 1 us/div is a hundredfold: one step more is undone.
  TimeBase.AdjZoomTimeBase(0, -1);
  EXPECT_EQ(TimeBase.GetZoomTimeBase(0), 6);
  EXPECT_EQ(QelMsg.GetMessageID(), 0);
  TimeBase.AdjZoomTimeBase(0, -30);
  EXPECT_EQ(TimeBase.GetZoomTimeBase(0), 6);

  // 0.2 samples per zoom point: the zoomed trace is interpolated.
  EXPECT_FLOAT_EQ(H().zoomFactor, 0.2f);
  EXPECT_FLOAT_EQ(H().zoomMultiplier, 100.0f);
  const plat::SimTimebaseSettings s = plat::SimDecodedTimebase();
  EXPECT_TRUE(s.zoomInterpolating);
  EXPECT_EQ(s.zoomInterpRatio, 5);
  EXPECT_DOUBLE_EQ(s.zoomFactor, 0.2);
  EXPECT_EQ(s.zoomMainStep, 16u);
  EXPECT_EQ(s.zoomStep, 16u);
  EXPECT_EQ(H().zoomScreenLast - H().zoomScreenFirst, 7);
}

TEST_F(ZoomTest, InterpolatedMainTraceGivesTheInsertPosition) {
  Apply(7);  // 20 ns/div: 2.5 points per sample
  TimeBase.ZoomInit(1);
  EXPECT_EQ(TimeBase.GetZoomTimeBase(0), 6);
  EXPECT_FLOAT_EQ(H().zoomFactor, 0.5f);
  const plat::SimTimebaseSettings s = plat::SimDecodedTimebase();
  EXPECT_TRUE(s.zoomInterpolating);
  EXPECT_EQ(s.zoomInterpRatio, 5);          // zoom points per sample
  EXPECT_EQ(plat::Fpga().Word(242), 50 * 8);
  // 350 zoom points left of the trigger: (-350 - 25) / 10 -> -37, remainder -5 + 10.
  EXPECT_EQ(s.zoomReadStart, -37);
  EXPECT_EQ(s.zoomSubSample, 5);

  int64_t start = 0, sub = 0;
  EXPECT_EQ(TimeBase.CalcuInsertPosPara(0, -350, 5, &start, &sub), 0);
  EXPECT_EQ(start, -37);
  EXPECT_EQ(sub, 5);
  SysRunStatus.IndependTimeBaseEnable();  // units of 4 x factor
  TimeBase.CalcuInsertPosPara(0, -350, 5, &start, &sub);
  EXPECT_EQ(start, -18);
  EXPECT_EQ(sub, 5);
  EXPECT_EQ(TimeBase.CalcuInsertPosPara(0, 0, 0, &start, &sub), -1);
}

TEST_F(ZoomTest, ZoomPositionStepsOfSixOrMoreMoveTwiceAsFar) {
  Apply(12);
  TimeBase.ZoomInit(1);  // 10 samples per zoom point
  EXPECT_EQ(TimeBase.AdjZoomMovePos(0, 5), 0);
  EXPECT_EQ(TimeBase.GetZoomMovePos(0), 5);
  TimeBase.AdjZoomMovePos(0, 6);
  EXPECT_EQ(TimeBase.GetZoomMovePos(0), 17);
  EXPECT_EQ(plat::SimDecodedTimebase().zoomReadStart, -3500 + 170);
  EXPECT_EQ(H().zoomScreenFirst, 183);  // (-3330 / 20) + 350, whole
  EXPECT_EQ(H().zoomScreenLast, 533);
  TimeBase.AdjZoomMovePos(0, -6);
  EXPECT_EQ(TimeBase.GetZoomMovePos(0), 5);
  EXPECT_EQ(QelMsg.GetMessageID(), -1);
}

TEST_F(ZoomTest, ZoomWindowStopsAtTheRecordEndsWithMessage5) {
  Apply(12);
  TimeBase.ZoomInit(1);
  TimeBase.AdjZoomMovePos(0, 1000);
  EXPECT_EQ(QelMsg.GetMessageID(), 5);
  EXPECT_EQ(TimeBase.GetZoomMovePos(0), 350);
  EXPECT_EQ(H().zoomVisibleEnd, H().recordEnd);
  EXPECT_EQ(H().zoomScreenFirst, 350);
  EXPECT_EQ(H().zoomScreenLast, 700);
  EXPECT_EQ(plat::SimDecodedTimebase().zoomReadStart, 0);
  QelMsg.ClearMessage();
  TimeBase.AdjZoomMovePos(0, 1);  // already at the edge
  EXPECT_EQ(TimeBase.GetZoomMovePos(0), 350);
  EXPECT_EQ(QelMsg.GetMessageID(), 5);
  ExpectWindowsInRecord();

  QelMsg.ClearMessage();
  TimeBase.AdjZoomMovePos(0, -2000000000);
  EXPECT_EQ(TimeBase.GetZoomMovePos(0), -350);
  EXPECT_EQ(H().zoomVisibleStart, H().recordStart);
  EXPECT_EQ(H().zoomScreenFirst, 0);
  EXPECT_EQ(QelMsg.GetMessageID(), 5);
  ExpectWindowsInRecord();
  // The guidance check sees the zoom window at the left end.
  EXPECT_EQ(TimeBase.GuidanceWorkStatus(0, 0), 3);
}

TEST_F(ZoomTest, StoppedZoomMoveReReadsTheRecordAndRunningRestartsSampling) {
  Apply(12);
  TimeBase.ZoomInit(1);
  run_->acqStatus[0] = run_->acqStatus[1] = 4;
  plat::Fpga().ClearLog();
  TimeBase.AdjZoomMovePos(0, 1);
  plat::SimTimebaseSettings s = plat::SimDecodedTimebase();
  EXPECT_TRUE(s.paused);
  EXPECT_EQ(s.readPulses, 1);

  run_->acqStatus[0] = run_->acqStatus[1] = 1;
  plat::Fpga().ClearLog();
  TimeBase.AdjZoomMovePos(0, 1);
  s = plat::SimDecodedTimebase();
  EXPECT_TRUE(s.running);
  EXPECT_EQ(s.readPulses, 0);  // sampling restarts instead of a re-read
  EXPECT_EQ(plat::Fpga().Word(0), 0);
}

TEST_F(ZoomTest, RecordIndicatorOfTheWholeRecordAndTheTriggerMarker) {
  SysRunStatus.SetMemDepth(1);  // 7000 samples, 10 per point
  Apply(21);
  const HorizontalBlock& h = H();
  EXPECT_EQ(h.displayStart, h.screenStart);
  EXPECT_EQ(h.indicatorLeft, 0);
  EXPECT_EQ(h.indicatorRight, 192);
  EXPECT_EQ(h.indicatorMiddle, 96);
  EXPECT_EQ(h.indicatorTrigger, 96);
  TimeBase.AdjPreTrigDepth(0, 10000);  // at the right screen edge
  EXPECT_EQ(h.indicatorTrigger, 184);
  TimeBase.AdjPreTrigDepth(0, -1000000);  // a long trigger delay
  EXPECT_EQ(h.indicatorTrigger, 3);
  EXPECT_EQ(TimeBase.WaveIndicator(2), -1);
}

TEST_F(ZoomTest, StoppedTimeBaseStepsReReadTheStoredRecord) {
  SysRunStatus.SetMemDepth(1);
  StopAt(21);  // 1 ms/div, 10 samples per point, record 35 M -/+ 3500
  ASSERT_EQ(TimeBase.AdjTimeBase(0, -1), 0);  // 500 us/div: 5 samples a column
  plat::SimTimebaseSettings s = plat::SimDecodedTimebase();
  EXPECT_EQ(s.writeStep, 5u * 16);
  EXPECT_EQ(s.firstColumn, 0);
  EXPECT_EQ(s.lastColumn, 699);
  EXPECT_EQ(s.readStart, -1750);
  EXPECT_EQ(s.readPulses, 1);
  EXPECT_EQ(plat::Fpga().Word(94), 0);
  const HorizontalBlock& h = H();
  EXPECT_EQ(h.indicatorLeft, 48);
  EXPECT_EQ(h.indicatorRight, 144);
  EXPECT_EQ(h.indicatorMiddle, 96);
  EXPECT_EQ(h.indicatorTrigger, 96);

  // 5 ms/div: the record fills 140 columns in the middle.
  TimeBase.AdjTimeBase(0, 3);
  s = plat::SimDecodedTimebase();
  EXPECT_EQ(s.writeStep, 50u * 16);
  EXPECT_EQ(s.firstColumn, 280);
  EXPECT_EQ(s.lastColumn, 419);
  EXPECT_EQ(s.readStart, -3500);  // from the record's start
  EXPECT_EQ(h.firstColumn, 280);
  EXPECT_EQ(h.lastColumn, 419);
  EXPECT_EQ(h.indicatorLeft, 77);  // 38 pixels, centred
  EXPECT_EQ(h.indicatorRight, 115);
  EXPECT_EQ(TimeBase.GuidanceWorkStatus(0, 0), 1);  // record shorter than the screen

  // Average mode reads the record as normal samples.
  SysRunStatus.SetAcquireMode(3);
  TimeBase.AdjTimeBase(0, 0);
  EXPECT_EQ(plat::Fpga().Word(40), 0);
  EXPECT_EQ(plat::SimDecodedTimebase().averageStep, 1u);
  EXPECT_EQ(TimeBase.RequestStopOp(2), -1);
}

TEST_F(ZoomTest, StoppedTriggerMovesShiftTheColumnsAndStayInTheRecordSpace) {
  SysRunStatus.SetMemDepth(1);
  StopAt(21);
  TimeBase.AdjPreTrigDepth(0, 10);  // ten points right: the first ten columns empty
  plat::SimTimebaseSettings s = plat::SimDecodedTimebase();
  EXPECT_EQ(s.firstColumn, 10);
  EXPECT_EQ(s.lastColumn, 699);
  EXPECT_EQ(s.readStart, -3500);
  EXPECT_EQ(TimeBase.GetRealPreTrigDepth(0), kCentre + 100);
  EXPECT_EQ(TimeBase.GetRealPreTrigDepthScreenPos(0), 360);
  EXPECT_NEAR(TimeBase.GetRealPreTrigTime(0), -200e-6, 1e-12);

  TimeBase.AdjPreTrigDepth(0, -20);  // ten points left: the last ten empty
  s = plat::SimDecodedTimebase();
  EXPECT_EQ(s.firstColumn, 0);
  EXPECT_EQ(s.lastColumn, 689);
  EXPECT_EQ(s.readStart, -3400);
  EXPECT_NEAR(TimeBase.GetRealPreTrigTime(0), 200e-6, 1e-12);

  // Far beyond either end: the trigger address and the windows stay in 0..70 M.
  for (int step : {-2000000000, 2000000000}) {
    TimeBase.AdjPreTrigDepth(0, step);
    ExpectWindowsInRecord();
    s = plat::SimDecodedTimebase();
    EXPECT_EQ(s.firstColumn, s.lastColumn);  // only the edge column next to the record
    EXPECT_GE(s.readStart, -3500);
    EXPECT_LE(s.readStart, 3500);
    const int pos = TimeBase.GetRealPreTrigDepthScreenPos(0);
    EXPECT_TRUE(pos == 0 || pos == 700) << pos;
  }
  EXPECT_EQ(TimeBase.GetRealPreTrigDepth(0), x_system::kRecordSamples);
}

TEST_F(ZoomTest, GuidanceStatusOfTheStoppedScreen) {
  SysRunStatus.SetMemDepth(1);
  StopAt(21);
  EXPECT_EQ(TimeBase.GuidanceWorkStatus(0, 0), 0);
  TimeBase.AdjPreTrigDepth(0, -300);  // 3000 samples past the right end: less than half
  EXPECT_EQ(TimeBase.GuidanceWorkStatus(0, 0), 0);
  TimeBase.AdjPreTrigDepth(0, -100);  // 4000 past
  EXPECT_EQ(TimeBase.GuidanceWorkStatus(0, 0), 2);
  EXPECT_EQ(H().stopMovePos, 3500);
  EXPECT_EQ(TimeBase.GuidanceWorkStatus(0, 4), 2);
  EXPECT_EQ(H().stopMovePos, 3500 - 4000);
  TimeBase.AdjPreTrigDepth(0, 800);  // 4000 past the left end
  EXPECT_EQ(TimeBase.GuidanceWorkStatus(0, 0), 3);
  EXPECT_EQ(H().stopMovePos, -3500);
  EXPECT_EQ(TimeBase.GuidanceWorkStatus(4, 0), -1);
}

TEST_F(ZoomTest, StoppedStepIntoTheInterpolatedRangeGivesTheInsertPosition) {
  StopAt(8);  // 50 ns/div: one sample per point, record 35 M -/+ 350
  TimeBase.AdjTimeBase(0, -1);  // 20 ns/div: 2.5 points per sample, 280 samples shown
  EXPECT_FLOAT_EQ(H().interpMultiplier, 100.0f);
  plat::SimTimebaseSettings s = plat::SimDecodedTimebase();
  // The interpolator on, with the exact 0.4-ns column beside the whole ratio.
  EXPECT_TRUE(s.interpolating);
  EXPECT_DOUBLE_EQ(s.columnTimeNs, 0.4);
  EXPECT_EQ(s.interpRatio, 2);
  EXPECT_EQ(s.writeStep, 16u);
  EXPECT_EQ(s.firstColumn, 0);
  EXPECT_EQ(s.lastColumn, 699);
  // 140 samples (350 points) left of the trigger: (-350 - 12.5) / 5 -> -72, remainder -2 + 5.
  EXPECT_EQ(s.readStart, -72);
  EXPECT_EQ(s.subSample, 3);
  EXPECT_EQ(s.readPulses, 1);
  EXPECT_EQ(H().indicatorLeft, 58);
  EXPECT_EQ(H().indicatorRight, 134);

  // 10 ns/div: five points a sample, 0.2 ns a column.
  TimeBase.AdjTimeBase(0, -1);
  s = plat::SimDecodedTimebase();
  EXPECT_TRUE(s.interpolating);
  EXPECT_EQ(s.interpRatio, 5);
  EXPECT_DOUBLE_EQ(s.columnTimeNs, 0.2);
  // Back to 100 ns/div: two samples a column, read without the interpolator.
  TimeBase.AdjTimeBase(0, 3);
  s = plat::SimDecodedTimebase();
  EXPECT_FALSE(s.interpolating);
  EXPECT_EQ(s.writeStep, 2u * 16);
}
