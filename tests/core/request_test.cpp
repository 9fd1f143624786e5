// The request dispatcher: the words each request sends, the run-state fields
// it changes, and the queue of requests.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "acquisition/models/acq_mode_word.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/messages/request.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "platform/sim/fpga/sim_decode_timebase.h"
#include "platform/sim/fpga/sim_decode_trigger.h"
#include "platform/sim/fpga/sim_decode_vertical.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/bench.h"

namespace {
using Log = WordLog;

class RequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QelControl.InitDriver("/dev/localbus16", "/dev/spidev3.0"), 0);
    ASSERT_EQ(SysRequest.LoadResource(&SystemResource, SysRunStatus.GetSysRunInfoBaseAddr()), 0);
    plat::Fpga().ClearLog();
  }
  static int Send(uint16_t code, int16_t target, int16_t value, uint32_t value32 = 0,
                  requestpara* answer = nullptr) {
    return SysRequest.Request(MakeRequest(code, target, value, value32), answer);
  }
  Bench bench_;
};
}  // namespace

TEST(RequestDispatcher, WorksOnTheProcessTableAndRefusesNullResources) {
  _SysRequest dispatcher;
  EXPECT_EQ(dispatcher.Request(MakeRequest(kReqNop, 0, 0), nullptr), 0);
  EXPECT_EQ(dispatcher.LoadResource(nullptr, nullptr), -1);
  EXPECT_EQ(dispatcher.LoadResource(&SystemResource, nullptr), -1);
  EXPECT_EQ(dispatcher.Request(MakeRequest(kReqNop, 0, 0), nullptr), 0);  // still bound
}

TEST_F(RequestTest, CodesAbove19AreRefused) {
  EXPECT_EQ(Send(kReqNop, 0, 0), 0);
  EXPECT_EQ(Send(kReqOutputSel, 0, 0), 0);
  for (uint16_t code : {20, 35, 49, 50, 99, 65535}) EXPECT_EQ(Send(code, 0, 0), -1) << code;
  EXPECT_TRUE(plat::Fpga().Log().empty());
}

TEST_F(RequestTest, AcquisitionModeWordIsTheTimeBaseModelsCode) {
  const int expected[] = {0, 1, 2, 4};
  for (int mode = 0; mode < 4; ++mode) {
    plat::Fpga().ClearLog();
    EXPECT_EQ(Send(kReqAcqConfig, 0, int16_t(mode)), 0);
    ASSERT_EQ(WrittenWords(fpga::kAcqMode).size(), 1u) << mode;
    EXPECT_EQ(plat::Fpga().Word(fpga::kAcqMode), expected[mode]) << mode;
    EXPECT_EQ(AcqModeFromWord(expected[mode]), mode);
  }
  plat::Fpga().ClearLog();
  Send(kReqAcqConfig, 0, 4);   // no such mode
  Send(kReqAcqConfig, 2, 1);   // no such channel
  Send(kReqAcqConfig, -1, 1);
  EXPECT_TRUE(WrittenWords(fpga::kAcqMode).empty());
  EXPECT_EQ(AcqModeFromWord(8), -1);
  EXPECT_EQ(AcqModeWord(-1), -1);
}

TEST_F(RequestTest, PersistenceUpToTenReachesWord126) {
  for (int16_t v : {0, 7, 10}) {
    Send(kReqDispPersist, 0, v);
    EXPECT_EQ(plat::Fpga().Word(126), v);
  }
  plat::Fpga().ClearLog();
  Send(kReqDispPersist, 0, 11);
  Send(kReqDispPersist, 0, -1);
  EXPECT_TRUE(plat::Fpga().Log().empty());
}

TEST_F(RequestTest, DisplayTypeBelowTwoReachesWord118) {
  Send(kReqDispType, 0, 1);
  EXPECT_EQ(plat::Fpga().Word(118), 1);
  Send(kReqDispType, 0, 0);
  EXPECT_EQ(plat::Fpga().Word(118), 0);
  plat::Fpga().ClearLog();
  Send(kReqDispType, 0, 2);
  EXPECT_TRUE(WrittenWords(118).empty());
}

TEST_F(RequestTest, DisplayFormatXYSwitchesBothChannelsOnAndSetsTheXYWords) {
  SysRunStatus.SetChStatus(0);
  Send(kReqDispFormat, 0, 1);
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 3);
  EXPECT_EQ(plat::Fpga().Word(130), 1);
  EXPECT_EQ(plat::Fpga().Word(120), 1);
  Send(kReqDispFormat, 0, 0);
  EXPECT_EQ(plat::Fpga().Word(130), 0);
  EXPECT_EQ(plat::Fpga().Word(120), 0);
  plat::Fpga().ClearLog();
  Send(kReqDispFormat, 0, 2);
  EXPECT_TRUE(WrittenWords(120).empty());
  EXPECT_TRUE(WrittenWords(130).empty());
}

TEST_F(RequestTest, HoldOffCarriesAllThirtyTwoBits) {
  const uint32_t count = 2500000000u;  // 10 s in steps of 4 ns, above the i32 range
  Send(kReqHoriHoldOff, 0, 0, count);
  EXPECT_EQ(plat::Fpga().Word(226), count & 0xFFFF);
  EXPECT_EQ(plat::Fpga().Word(228), count >> 16);
  Log log = plat::Fpga().Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].first, 226);  // low half first
  EXPECT_EQ(SysRunInfo.horizontal[0].holdOff, 2500000000LL);  // zero-extended, not negative
}

TEST_F(RequestTest, AverageModeSendsTheAverageIndexFirst) {
  SysRunStatus.SetAcquireAverage(5);
  Send(kReqAcqConfig, 0, 3);
  Log log = plat::Fpga().Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], std::make_pair(uint16_t(112), uint16_t(5)));
  EXPECT_EQ(log[1], std::make_pair(uint16_t(fpga::kAcqMode), uint16_t(4)));
}

TEST_F(RequestTest, DisplayFormatReturnsToTheMainTimeBase) {
  SysRunStatus.SetTimeBaseType(1);
  Send(kReqDispFormat, 0, 1);
  EXPECT_EQ(SysRunStatus.GetTimeBaseType(), 0);
  SysRunStatus.SetTimeBaseType(1);
  Send(kReqDispFormat, 0, 0);
  EXPECT_EQ(SysRunStatus.GetTimeBaseType(), 0);
}

TEST_F(RequestTest, ChannelOnOffChangesTheSourceMask) {
  SysRunStatus.SetChStatus(0);
  Send(kReqChOnOff, 1, 1);
  EXPECT_EQ(SysRunStatus.GetChStatus(), 2);
  Send(kReqChOnOff, 0, 1);
  EXPECT_EQ(SysRunStatus.GetChStatus(), 3);
  Send(kReqChOnOff, 1, 0);
  EXPECT_EQ(SysRunStatus.GetChStatus(), 1);
}

TEST_F(RequestTest, QueueHoldsFiftyRequestsRunsThemInOrderAndRefusesWhenFull) {
  for (int i = 0; i < kRequestTableSize; ++i)
    ASSERT_EQ(SysRequest.AddToRequestTable(MakeRequest(kReqDispPersist, 0, int16_t(i % 11))), 0) << i;
  EXPECT_EQ(SysRequest.RequestTableCount(), kRequestTableSize);
  EXPECT_EQ(SysRequest.AddToRequestTable(MakeRequest(kReqNop, 0, 0)), -1);
  EXPECT_TRUE(plat::Fpga().Log().empty());  // nothing runs while queued
  EXPECT_EQ(SysRequest.AddRequestComplete(), 0);
  Log log = WrittenWords(126);
  ASSERT_EQ(log.size(), size_t(kRequestTableSize));
  for (int i = 0; i < kRequestTableSize; ++i) EXPECT_EQ(log[i].second, i % 11) << i;
  EXPECT_EQ(SysRequest.RequestTableCount(), 0);
  EXPECT_EQ(SysRequest.AddToRequestTable(MakeRequest(kReqNop, 0, 0)), 0);  // room again
}

TEST_F(RequestTest, QueueRefusesBadCodesAndClearDropsWithoutRunning) {
  EXPECT_EQ(SysRequest.AddToRequestTable(MakeRequest(20, 0, 0)), -1);
  EXPECT_EQ(SysRequest.RequestTableCount(), 0);
  SysRequest.AddToRequestTable(MakeRequest(kReqDispPersist, 0, 3));
  SysRequest.AddToRequestTable(MakeRequest(kReqDispType, 0, 1));
  EXPECT_EQ(SysRequest.RequestTableCount(), 2);
  SysRequest.ClearequestTable();
  EXPECT_EQ(SysRequest.RequestTableCount(), 0);
  SysRequest.AddRequestComplete();
  EXPECT_TRUE(plat::Fpga().Log().empty());
}

// ---- requests on the started instrument: the models and the simulated board --

namespace {
class RequestOnBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(bench_.Start(), 0);
    bench_.StopThreads();
  }
  static void Send(uint16_t code, int16_t target, int16_t value) {
    ASSERT_EQ(SysRequest.Request(MakeRequest(code, target, value), nullptr), 0);
  }
  // Index in the log of the first write of `word` = `value` at or after `from`.
  static size_t Find(const Log& log, uint16_t word, uint16_t value, size_t from = 0) {
    for (size_t i = from; i < log.size(); ++i)
      if (log[i].first == word && log[i].second == value) return i;
    return log.size();
  }
  Bench bench_;
};
}  // namespace

TEST_F(RequestOnBoard, ChannelSettingsReachTheFrontEndThroughTheRefresh) {
  Send(kReqChCoupling, 0, 1);  // AC
  Send(kReqChBwLimit, 0, 1);
  Send(kReqChCtrl, 0, 0);
  plat::SimChannelSettings c = plat::SimDecodedChannel(0);
  EXPECT_EQ(c.coupling, 1);
  EXPECT_TRUE(c.bwLimit);
  EXPECT_EQ(plat::SimDecodedChannel(1).coupling, 0);

  Send(kReqChInvert, 0, 1);
  EXPECT_TRUE(plat::SimDecodedChannel(0).inverted);
  Send(kReqChInvert, 0, 0);
  EXPECT_FALSE(plat::SimDecodedChannel(0).inverted);

  const float before = SysRunInfo.vertical[1].vdivVolts;
  Send(kReqChProbe, 1, 4);  // 10X: the same range reads ten times the volts
  EXPECT_EQ(SysRunInfo.vertical[1].probe, 4);
  EXPECT_FLOAT_EQ(SysRunInfo.vertical[1].vdivVolts, before * 10);
  Send(kReqChUnit, 1, 2);
  EXPECT_EQ(SysRunInfo.vertical[1].unit, 2);
  Send(kReqChVoltsDiv, 1, 1);
  EXPECT_EQ(SysRunInfo.vertical[1].vernierOn, 1);
}

TEST_F(RequestOnBoard, TheRefreshHoldsTheAcquisitionInResetOnlyWhileRunning) {
  plat::Fpga().ClearLog();
  Send(kReqChCtrl, 0, 0);
  Log log = plat::Fpga().Log();
  // The refresh's own front-end word (24 = 1 latches it) comes after a reset
  // hold (word 0 = 1) and is followed by the release.
  size_t latch = log.size();
  for (size_t i = Find(log, 24, 1); i < log.size(); i = Find(log, 24, 1, i + 1)) latch = i;
  ASSERT_LT(latch, log.size());
  size_t hold = log.size();
  for (size_t i = 0; i < latch; ++i)
    if (log[i] == std::make_pair(uint16_t(0), uint16_t(1))) hold = i;
  EXPECT_LT(hold, latch);
  EXPECT_LT(Find(log, 0, 0, latch), log.size());

  SysRunStatus.SetAcquireStatus(0, 4);  // stopped: the word alone
  plat::Fpga().ClearLog();
  Send(kReqChCtrl, 0, 0);
  log = plat::Fpga().Log();
  EXPECT_LT(Find(log, 24, 1), log.size());
  EXPECT_EQ(Find(log, 0, 1), log.size());
}

TEST_F(RequestOnBoard, ClearRequestsEmptyTheRasterAndTheTriggerRequestSendsTheConfiguration) {
  QelWaveData[1234] = 0x55;
  Send(kReqClearPicture, 0, 0);
  EXPECT_EQ(QelWaveData[1234], 0);
  QelWaveData[99] = 0x55;
  Send(kReqChOnOff, 1, 1);
  EXPECT_EQ(QelWaveData[99], 0);
  QelWaveData[7] = 0x55;
  Send(kReqDispFormat, 0, 0);
  EXPECT_EQ(QelWaveData[7], 0);

  SysRunInfo.trigSource = 1;
  SysRunInfo.slope = 1;
  Send(kReqTrigger, 0, 0);
  const plat::SimTriggerSettings t = plat::SimDecodedTrigger();
  EXPECT_EQ(t.source, 1);
  EXPECT_EQ(t.slope, 1);
}

// ---- the zoom and guidance requests -------------------------------------------

namespace {
class RequestZoom : public RequestOnBoard {
 protected:
  void SetUp() override {
    RequestOnBoard::SetUp();
    SysRunInfo.sourceOn |= 1;
    SysRunStatus.SetMemDepth(0);
    ASSERT_EQ(TimeBase.SetRealTimeBase(0, 12), 12);  // 1 us/div: 20 samples per point
    TimeBase.AdjTimeBase(0, 0);
  }
  static requestpara Answer(int16_t target) {
    requestpara answer = MakeRequest(0, 0, 99);
    EXPECT_EQ(SysRequest.Request(MakeRequest(kReqHoriType, target, 0), &answer), 0);
    EXPECT_EQ(answer.code, kReqHoriType);
    return answer;
  }
};
}  // namespace

TEST_F(RequestZoom, HorizontalTypeEntersAndLeavesZoomAndAnswersTheResult) {
  SysRunStatus.ClearDrawRefresh();
  EXPECT_EQ(Answer(1).value, 0);
  EXPECT_TRUE(SysRunStatus.IsDrawRefresh());
  EXPECT_EQ(SysRunStatus.GetTimeBaseType(), 1);
  EXPECT_EQ(TimeBase.GetZoomTimeBase(0), 11);
  EXPECT_TRUE(plat::SimDecodedTimebase().windowRead);
  EXPECT_EQ(plat::SimDecodedTimebase().zoomMainStep, 10u * 16);

  SysRunStatus.ClearDrawRefresh();
  EXPECT_EQ(Answer(7).value, -1);  // no such type: nothing changes
  EXPECT_FALSE(SysRunStatus.IsDrawRefresh());
  EXPECT_EQ(SysRunStatus.GetTimeBaseType(), 1);

  EXPECT_EQ(Answer(0).value, 0);
  EXPECT_EQ(SysRunStatus.GetTimeBaseType(), 0);
  EXPECT_FALSE(plat::SimDecodedTimebase().windowRead);
}

TEST_F(RequestZoom, AcquisitionRequestInZoomResizesTheZoomWindow) {
  Answer(1);
  SysRunStatus.SetMemDepth(1);  // 7000 samples: 10 per point
  Send(kReqAcqConfig, 0, 0);
  EXPECT_FLOAT_EQ(SysRunInfo.horizontal[0].zoomFactor, 5.0f);
  EXPECT_EQ(plat::SimDecodedTimebase().zoomMainStep, 5u * 16);
  EXPECT_EQ(SysRunInfo.horizontal[0].zoomRecordStart, x_system::kRecordCentre - 1750);
}

TEST_F(RequestZoom, GuidanceRequestPullsTheStopMovePositionBack) {
  SysRunStatus.SetMemDepth(1);
  TimeBase.SetRealTimeBase(0, 21);
  TimeBase.AdjTimeBase(0, 0);
  TimeBase.XParaSyncRefresh(0);
  SysRunInfo.acqStatus[0] = SysRunInfo.acqStatus[1] = 4;
  TimeBase.AdjPreTrigDepth(0, -400);  // the screen 4000 samples past the record's right end
  EXPECT_EQ(SysRunInfo.horizontal[0].stopMovePos, 0);
  Send(kReqHoriGuideInit, 0, 0);
  EXPECT_EQ(SysRunInfo.horizontal[0].stopMovePos, -4000);
}

TEST_F(RequestZoom, XYFormatSetsTheZoomTimeBaseBelowTheMainOnTheMainType) {
  SysRunInfo.displayFormat = 1;  // the menu's format, copied before the request
  Send(kReqDispFormat, 0, 1);
  EXPECT_EQ(TimeBase.GetZoomTimeBase(0), 11);
  EXPECT_EQ(SysRunStatus.GetTimeBaseType(), 0);
  EXPECT_EQ(plat::Fpga().Word(130), 1);
  EXPECT_EQ(plat::Fpga().Word(120), 1);
}
