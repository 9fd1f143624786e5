// Auto-set: the search, its starting state and the restore.
#include "system/autoset/auto_set.h"

#include <cstdio>
#include <cstdlib>

#include "acquisition/models/trig_system.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/messages/msg.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task.h"
#include "core/state/task_manage.h"

namespace {
// Board registers and control words.
constexpr int kIndependReady = 3;
constexpr int kMeasureMode = 2;
constexpr int kReadyPolls = 2000;

// Module ids and their menu items set here.
constexpr int kCh1Task = 6, kDisplayTask = 12, kHoriTask = 13, kTrigTask = 10;

constexpr int kSearchStartTimeBase = 24;
constexpr int kRestoreTimeBase = 12;
constexpr int kMaxIndex = 16;
constexpr int kMinFineIndex = 5;
constexpr int kNoSignalIndex = 5;
constexpr int kNoSignalFineIndex = 6;
constexpr int kVisitLimit = 4;
constexpr int kCentre = 127;
constexpr int kCodesPerDiv = 25;
constexpr int64_t kPreTrigCentre = 35000000;
constexpr uint64_t kFuncBit1 = 0x2;

constexpr int kMsgFeeble = 15;
constexpr int kMsgDone = 57;

// Frequency bounds (whole hertz) of the time-base table; above the last: 4.
struct FreqRow {
  int64_t hertz;
  int index;
};
constexpr FreqRow kTimeBaseRows[] = {
    {20, 25},        {40, 24},         {100, 23},        {200, 22},        {400, 21},       {1050, 20},
    {2000, 19},      {4000, 18},       {10000, 17},      {20000, 16},      {40000, 15},     {100000, 14},
    {200000, 13},    {400000, 12},     {1000000, 11},    {2000000, 10},    {4000000, 9},    {10000000, 8},
    {20000000, 7},   {40000000, 6},    {50000000, 5},
};
constexpr int kTimeBaseAbove = 4;
constexpr int kTimeBaseNoFreq = 24;

// Volts-per-division bounds; above the last: 16.
constexpr double kVoltRows[] = {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10};
constexpr int kFirstVoltIndex = 3;
constexpr int kDoubleBounds = 8;  // the first ones are compared in double precision

// Layout rows: CH1 and CH2 positions and the divisions the signal spans.
struct Layout {
  float position[2];
  float divisor;
};
constexpr Layout kOneSignal = {{127, 127}, 7.0f};
constexpr Layout kTwoSignals = {{177, 77}, 4.0f};
constexpr float kOneSidedOneSignal = 4.0f;

float VoltsOf(int index, int codes) { return Voltage[index] / kCodesPerDiv * float(codes); }
}  // namespace

SysAutoSet::SysAutoSet(TaskResource* resource, Menu* m) : task_(resource), menu_(m) {}

bool SysAutoSet::Bind() {
  resource_ = task_ ? task_->sys : nullptr;
  return resource_ && resource_->runStatus && resource_->board && resource_->vertical && resource_->trigger &&
         resource_->timeBase && resource_->wave && resource_->message;
}

int SysAutoSet::WhichVoltage(float volts) {
  for (int i = 0; i < int(sizeof kVoltRows / sizeof kVoltRows[0]); ++i) {
    const bool within = i < kDoubleBounds ? double(volts) <= kVoltRows[i] : volts <= float(kVoltRows[i]);
    if (within) return kFirstVoltIndex + i;
  }
  return kMaxIndex;
}

int SysAutoSet::WhichTimeBase(double hertz) {
  if (hertz < 0) return kTimeBaseNoFreq;
  const int64_t whole = int64_t(hertz);
  for (const FreqRow& r : kTimeBaseRows)
    if (whole <= r.hertz) return r.index;
  return kTimeBaseAbove;
}

int SysAutoSet::WaitReady() {
  control& board = *resource_->board;
  for (int i = 0; i < kReadyPolls; ++i) {
    const int v = board.ReadAnyReg(independent_ ? fpga::kIndependDone : fpga::kDone);
    if (independent_ ? v == kIndependReady : v > 0) return 0;
    SettingsWaitMs(1);
  }
  return -1;
}

void SysAutoSet::ReadPeaks() {
  control& board = *resource_->board;
  const int mx = board.ReadAnyReg(fpga::kMax), mn = board.ReadAnyReg(fpga::kMin);
  for (int ch = 0; ch < 2; ++ch) {
    max_[ch] = int16_t(mx < 0 ? 0 : (mx >> (8 * ch)) & 0xFF);
    min_[ch] = int16_t(mn < 0 ? 0 : (mn >> (8 * ch)) & 0xFF);
  }
}

void SysAutoSet::ApplyTimeBase(int index) {
  x_system& tb = *resource_->timeBase;
  for (int ch = 0; ch < (independent_ ? 2 : 1); ++ch) {
    if (index >= 0) tb.SetRealTimeBase(ch, index);
    tb.AdjTimeBase(ch, 0);
  }
}

int SysAutoSet::GetChFreq(short channel) {
  if (channel < 0 || channel > 1 || !Bind()) return 0;
  const int rc = resource_->board->FastFreqMeter(false, channel, freq_);
  freqStatus_[channel] = int16_t(rc < 0 || freq_[channel] <= 0 ? -1 : 0);
  return 0;
}

int SysAutoSet::GetMaxMin(short mask, short* max, short* min) {
  constexpr int kTestBytes = 8192, kFirst = 100, kLast = 8091;
  static uint8_t record[kTestBytes];
  if (!Bind()) return -1;
  int hi = 0, lo = 0;
  for (int ch = 0; ch < 2; ++ch) {
    if (!(mask >> ch & 1)) continue;
    bool present[256] = {};
    if (resource_->wave->GetWaveTest(ch, kTestBytes) > 0 && resource_->wave->GetWaveData(ch, record, kTestBytes) > kLast)
      for (int i = kFirst; i <= kLast; ++i) present[record[i]] = true;
    int top = 255, bottom = 0;
    while (top > 0 && !present[top]) --top;
    while (bottom < 255 && !present[bottom]) ++bottom;
    hi |= top << (8 * ch);
    lo |= bottom << (8 * ch);
  }
  if (max) *max = short(hi);
  if (min) *min = short(lo);
  return 0;
}

int SysAutoSet::IndependAutoTest() {
  if (!Bind()) return -1;
  control& board = *resource_->board;
  board.SendRealControl(fpga::kSweep, kMeasureMode);
  SettingsWaitMs(20);
  board.SysSample();
  for (int i = 0; i < kReadyPolls && board.ReadAnyReg(fpga::kDone) <= 0; ++i) SettingsWaitMs(1);
  std::printf("CH1 Max = %d \n", board.ReadAnyReg(fpga::kMax) & 0xFF);
  std::printf("CH1 Min = %d \n\n\n", board.ReadAnyReg(fpga::kMin) & 0xFF);
  return 0;
}

int SysAutoSet::AutosetInit() {
  if (!run_) return -1;
  _SysRunInfoOp& rs = *resource_->runStatus;
  y_system& v = *resource_->vertical;
  trig_system& trig = *resource_->trigger;
  x_system& tb = *resource_->timeBase;
  rs.SetAcquireStatus(0, 0);
  rs.SetAcquireStatus(1, 0);
  rs.SetTimeBaseType(0);
  run_->displayFormat = 0;
  TaskManage.SetUserTaskMenuItem(kHoriTask, 1, 0);
  TaskManage.SetUserTaskMenuItem(kDisplayTask, 0, 0);
  TaskManage.SetUserTaskMenuItem(kDisplayTask, 6, 0);

  savedAcqMode_ = int16_t(rs.GetAcquireMode());
  savedDepth_ = int16_t(rs.GetMemDepth(nullptr));
  rs.SetAcquireMode(1);
  rs.SetMemDepth(1);
  rs.SetTrigLevelLowHigh(1);
  run_->trigType = 0;
  run_->trigMode = 0;
  run_->trigCoupling = 0;
  if (run_->trigSource != 0 && run_->trigSource != 1) run_->trigSource = 0;
  runTrigSource_ = trigSource_ = run_->trigSource;
  rs.SetChStatus(3);
  for (int ch = 0; ch < (independent_ ? 2 : 1); ++ch) tb.SetRealTimeBase(ch, kSearchStartTimeBase);

  for (int ch = 0; ch < 2; ++ch) {
    if (!rs.IsIndependTimeBase()) rs.SetWaveDisplayInfor(ch, 233, 400);
    const int coupling = v.GetChCoupling(ch);
    savedCoupling_[ch] = int16_t(coupling == 2 ? 0 : coupling);
    v.SetChBwLimit(ch, 0);
    v.SetYInvert(ch, 0);
    v.SetChCoupling(ch, 1);
    v.SetFineOnOff(ch, 0);
    v.SetRealYposition(ch, kCentre);
    v.SetDC_Offset(ch, 0);
    v.AdjYsensitivity(ch, 0);
    trig.SetTriggerSource(ch);
    trig.SetTriggerPos(ch, 0, 0);
    trig.SetTriggerPos(ch, 1, 0);
    trig.SentTriggerConfigPara();
    for (int item = 1; item <= 3; ++item) TaskManage.SetUserTaskMenuItem(kCh1Task + ch, item, 0);
    if (coupling == 2) TaskManage.SetUserTaskMenuItem(kCh1Task + ch, 0, 0);
  }
  trig.SetTriggerSource(trigSource_);

  for (int ch = 0; ch < (independent_ ? 2 : 1); ++ch) {
    tb.SetRealPreTrigDepth(ch, kPreTrigCentre);
    tb.SetRealPreTrigTime(ch, 0.0);
    tb.AdjPreTrigDepth(ch, 0);
  }
  tb.SetHoriPoints(1);
  ApplyTimeBase(kSearchStartTimeBase);
  rs.ClearFuncBit(kFuncBit1);
  TaskManage.SetUserTaskMenuItem(kHoriTask, 4, 25);
  for (int item : {0, 2, 100, 101}) TaskManage.SetUserTaskMenuItem(kTrigTask, item, 0);
  TaskManage.TaskAllFuncOff(2);
  // A choice list left open would take the knob after the search.
  if (task* current = TaskManage.FindTaskbyId(TaskManage.GetTaskCurrId()))
    if (current->TaskMenu.MenuIsPop(nullptr)) current->TaskMenu.MenuPopDisable();
  return 0;
}

int SysAutoSet::ScanChVoltage(short mask) {
  if (mask == 0) return 3;
  if (!Bind()) return -1;
  y_system& v = *resource_->vertical;
  control& board = *resource_->board;
  const short scanned = mask;
  uint8_t visits[2][kMaxIndex + 1] = {};
  int noSignal = 0;
  bool moveTrigger = false;
  for (int ch = 0; ch < 2; ++ch) vdiv_[ch] = int16_t(v.GetRealYsensitivity(ch));

  while (mask) {
    board.FPGAResetDisable();
    for (int ch = 0; ch < 2; ++ch) {
      if (!(mask >> ch & 1)) continue;
      v.SetRealYsensitivity(ch, vdiv_[ch]);
      v.AdjYsensitivity(ch, 0);
    }
    SettingsWaitMs(independent_ ? 70 : 20);
    board.SysSample();
    if (WaitReady() < 0) return -1;
    ReadPeaks();
    for (int ch = 0; ch < 2; ++ch) {
      if (!(mask >> ch & 1)) continue;
      const int mx = max_[ch], mn = min_[ch];
      int idx = vdiv_[ch];
      const int leave = 1 << ch;
      if (mx > 249 || mn < 6) {
        if (idx >= kMaxIndex) {
          mask &= short(~leave);
        } else {
          idx = idx + 4 > kMaxIndex ? kMaxIndex : idx + 4;
          if (++visits[ch][idx] > kVisitLimit) return -1;
        }
        vdiv_[ch] = int16_t(idx);
        continue;
      }
      const int pp = std::abs(mx - mn);
      const int offset = v.GetChCoupling(ch) == 1 ? 0 : std::abs((mx + mn) / 2 - kCentre);
      const float volts = VoltsOf(idx, pp + offset);
      if (pp > 30) {
        (ch ? ch2Amplitude_ : ch1Amplitude_) = volts;
        mask &= short(~leave);
        continue;
      }
      if (idx < 7) {
        --signalChannels_;
        noSignal |= leave;
        vdiv_[ch] = kNoSignalIndex;
        v.SetRealYsensitivity(ch, kNoSignalIndex);
        moveTrigger = true;
        mask &= short(~leave);
        continue;
      }
      (ch ? ch2Amplitude_ : ch1Amplitude_) = volts;
      const int next = WhichVoltage(volts / 6.0f);
      if (++visits[ch][next] > kVisitLimit) return -1;
      if (next < 4) {
        --signalChannels_;
        noSignal |= leave;
        vdiv_[ch] = kNoSignalFineIndex;
        v.SetRealYsensitivity(ch, kNoSignalFineIndex);
        if (ch == trigSource_) moveTrigger = true;
        mask &= short(~leave);
        continue;
      }
      vdiv_[ch] = int16_t(next);
      if (offset >= 5) mask &= short(~leave);
    }
  }
  if (moveTrigger) {
    if ((scanned & 1) && !(noSignal & 1)) trigSource_ = 0;
    if ((scanned & 2) && !(noSignal & 2)) trigSource_ = 1;
  }
  return 3 | noSignal << 8;
}

int SysAutoSet::Fail() {
  resource_->board->SendRealControl(fpga::kSweep, 0);
  AutoSetExit(1);
  return -1;
}

// Sizes every pending channel from the peak detector at its current index,
// one step coarser while it overflows the screen.
void SysAutoSet::FinePass(const float* positions, int pending) {
  y_system& v = *resource_->vertical;
  control& board = *resource_->board;
  while (pending) {
    board.SysSample();
    if (WaitReady() < 0) {
      pending = -1;
      break;
    }
    ReadPeaks();
    for (int ch = 0; ch < 2; ++ch) {
      if (!(pending >> ch & 1)) continue;
      const int mx = max_[ch], mn = min_[ch];
      int idx = vdiv_[ch];
      if (mx < 28 || mx > 226 || mn < 28 || mn > 226) {
        if (++idx > 15) {
          idx = kMaxIndex;
          pending &= ~(1 << ch);
        }
        vdiv_[ch] = int16_t(idx);
        v.SetRealYsensitivity(ch, idx);
        v.AdjYsensitivity(ch, 0);
        SettingsWaitMs(10);
        continue;
      }
      int codes;
      fitDivisor_ = divisor_;
      if (mx > 136 && mn <= 117) {
        codes = (mx - mn) + std::abs((mx + mn) / 2 - kCentre);
      } else {
        codes = mn > 117 ? mx - kCentre : kCentre - mn;
        fitDivisor_ = signalChannels_ == 1 ? kOneSidedOneSignal : divisor_ / 2;
      }
      const float volts = VoltsOf(idx, codes);
      (ch ? ch2Amplitude_ : ch1Amplitude_) = volts;
      idx = WhichVoltage(volts / fitDivisor_);
      if (idx < kMinFineIndex) idx = kMinFineIndex;
      vdiv_[ch] = int16_t(idx);
      v.SetRealYsensitivity(ch, idx);
      v.SetRealYposition(ch, int(positions[ch]));
      v.AdjYsensitivity(ch, 0);
      pending &= ~(1 << ch);
    }
  }
  fineFailed_ = pending < 0;
}

void SysAutoSet::SetTriggerLevels() {
  trig_system& trig = *resource_->trigger;
  auto level = [&](int ch) { return (max_[ch] + min_[ch]) / 2 - kCentre; };
  auto setSource = [&](int src, int code) {
    run_->trigSource = int16_t(src);
    TaskManage.SetUserTaskMenuItem(kTrigTask, 1, uint64_t(src));
    trig.SetTriggerSource(src);
    trig.SetTriggerPos(src, 1, code);
    trig.AdjTriggerPosition(0);
  };
  if (!independent_) {
    int src = trigSource_, code = src < 2 ? level(src) : 0;
    if (src == 2 || src == 3) src -= 2;
    trigSource_ = int16_t(src);
    setSource(src, code);
    resource_->board->SendRealControl(fpga::kSweep, 0);
    return;
  }
  const int other = trigSource_ == 0 ? 1 : 0;
  for (int ch : {other, int(trigSource_)}) {
    resource_->runStatus->SetTrigLevelLowHigh(1);
    setSource(ch, level(ch));
  }
}

int SysAutoSet::RunAutoset() {
  if (!Bind() || !resource_->runStatus->GetSysRunInfoBaseAddr()) return -1;
  _SysRunInfoOp& rs = *resource_->runStatus;
  control& board = *resource_->board;
  y_system& v = *resource_->vertical;
  run_ = rs.GetSysRunInfoBaseAddr();
  independent_ = int16_t(rs.IsIndependTimeBase());
  split_ = int16_t(rs.GetIndependTimeBaseSplit());
  settleUs_ = cleared_ = 0;
  AutosetInit();
  signalChannels_ = 2;
  run_->trigMode = 0;
  board.SendRealControl(fpga::kSweep, kMeasureMode);
  v.SetChOnOff(0, 1);
  v.SetChOnOff(1, 1);

  const int scan = ScanChVoltage(3);
  if ((scan & 0xFF) == (scan >> 8 & 0xFF)) {
    run_->trigMode = 0;
    Fail();
    resource_->message->SetMessage(kMsgFeeble);
    return -1;
  }
  const int signals = 3 & ~(scan >> 8);

  trig_system& trig = *resource_->trigger;
  trig.SetTriggerSource(trigSource_);
  trig.SetTriggerPos(trigSource_, 1, (max_[trigSource_] + min_[trigSource_]) / 2 - kCentre);
  trig.AdjTriggerPosition(0);
  SettingsWaitMs(10);

  for (int ch = 0; ch < 2; ++ch)
    if (independent_ || ch == trigSource_) GetChFreq(short(ch));
  if (freqStatus_[trigSource_] < 0 && !independent_) {
    run_->trigMode = 0;
    return Fail();
  }
  for (int ch = 0; ch < 2; ++ch)
    if (independent_ || ch == trigSource_) settleUs_ = freq_[ch] < 25.0 ? 150000 : 10000;
  rs.SetAcquireMode(savedAcqMode_);

  x_system& tb = *resource_->timeBase;
  auto timeBaseOf = [&](int ch) { return WhichTimeBase(freqStatus_[ch] < 0 ? -1.0 : freq_[ch]); };
  if (!independent_) {
    timeBase_[0] = int16_t(timeBaseOf(trigSource_));
    tb.SetRealTimeBase(0, timeBase_[0]);
    tb.AdjTimeBase(0, 0);
  } else {
    for (int ch = 0; ch < 2; ++ch) {
      timeBase_[ch] = int16_t(timeBaseOf(ch));
      tb.SetRealTimeBase(ch, timeBase_[ch]);
      tb.AdjTimeBase(ch, 0);
    }
  }

  divisor_ = 2.0f;
  const Layout* layout = nullptr;
  if (independent_ && split_) {
    signalChannels_ = 2;
    layout = &kOneSignal;
  } else {
    layout = signalChannels_ == 1 ? &kOneSignal : &kTwoSignals;
  }
  divisor_ = layout->divisor;

  for (int ch = 0; ch < 2; ++ch) {
    v.SetChCoupling(ch, savedCoupling_[ch]);
    if (!(signals >> ch & 1)) v.SetChOnOff(ch, 0);
  }
  board.AnalogChannelControl(run_);
  board.LedCtrl(run_);

  FinePass(layout->position, signals);
  if (fineFailed_) return Fail();

  SettingsWaitMs(int((settleUs_ + (independent_ ? 300000u : 0u)) / 1000));
  board.SysSample();
  if (WaitReady() < 0) return Fail();
  ReadPeaks();
  rs.ClearInterruptFlag();
  SetTriggerLevels();

  board.SysSample();
  if (TaskManage.GetTaskCurrId() == kTrigTask) TaskManage.ActiveTask(kTrigTask, 0);
  resource_->message->SetMessage(kMsgDone);
  TaskManage.ActiveTask(kCh1Task + trigSource_, -1);
  rs.SetActivCh(trigSource_);
  resource_->wave->ClearWaveProcessFlag();
  rs.ClearInterruptFlag();
  board.LedCtrl(run_);
  return AutoSetExit(0);
}

int SysAutoSet::AutoSetExit(short failed) {
  if (!run_) return -1;
  _SysRunInfoOp& rs = *resource_->runStatus;
  control& board = *resource_->board;
  rs.SetAcquireMode(savedAcqMode_);
  rs.SetMemDepth(savedDepth_);
  if (failed) {
    y_system& v = *resource_->vertical;
    trig_system& trig = *resource_->trigger;
    rs.SetChStatus(3);
    for (int ch = 0; ch < (independent_ ? 2 : 1); ++ch) resource_->timeBase->SetRealTimeBase(ch, kRestoreTimeBase);
    for (int ch = 0; ch < 2; ++ch) {
      v.SetChBwLimit(ch, 0);
      v.SetChCoupling(ch, savedCoupling_[ch]);
      v.AdjYsensitivity(ch, 0);
      trig.SetTriggerPos(ch, 1, 0);
    }
    v.SetChOnOff(1, 0);
    trig.AdjTriggerPosition(0);
  }
  ApplyTimeBase(-1);
  board.SendRealControl(fpga::kChannel, rs.GetActivCh());
  resource_->trigger->SentTriggerConfigPara();
  rs.ClearInterruptFlag();
  for (int ch = 0; ch < 2; ++ch) resource_->wave->ClearScreenWave(ch);
  board.SysSample();
  return resource_->wave->RequestAllChData();
}
