// ADC phase detection: raster checks, the start-up and two-pattern checks and
// the phase search.
#include "system/calibration/adc_phase.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "acquisition/models/trig_system.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/fpga_words.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task.h"
#include "platform/clock.h"
#include "ui/screen/qel_draw.h"

int PIC_SAMPLE_CNT = 1;

namespace {
constexpr int kColumns = 700, kRows = 200;
constexpr int kDrawIdle = 0x500;
constexpr int kRasterMode = 10;
constexpr int kMeasureMode = 2;
constexpr int kTestReg = 108, kTestOutput = 4, kPatternReg = 112;
constexpr int kPatternA = 0x807F, kPatternB = 0x827D;
constexpr int kCapturePolls = 5000, kCmpPolls = 2000;
constexpr int kGroupRows = 15, kColumnRows = 20;
constexpr int kTries = 20, kPhases = 8, kAgeFailedTries = 3, kMinRun = 3;
constexpr int kCheckTimeBase = 18, kAgeMaxTimeBase = 30, kAgeTimeBase = 28;
constexpr int kRestMaxTimeBase = 25, kRestTimeBase = 16;
constexpr int kSearchRange = 13, kCentre = 127;
constexpr int kPhaseState = 4;
// The texts of the long adjustments, over the wave area.
constexpr int kCaliTextRow = 330, kPhaseTextColumn = 260, kGainTextColumn = 280;
constexpr int kCaliTextWidth = 350, kCaliTextHeight = 32;
constexpr uint32_t kCaliTextColour = 0x1F801;
void DrawCalibrationText(int column, const char* text) {
  QelDraw.DrawString(kCaliTextRow, column, text, int(kCaliTextColour), DRAW_CURRENT);
  QelDraw.UpdateAreaLcd(kCaliTextRow, column, kCaliTextWidth, kCaliTextHeight);
}

// Every ADC gets `phase`, or only one of them with 0 for the other.
void ProgramAdcs(int phase1, int phase2) { QelControl.AdcInitSyncVEX4100R(phase1, phase2); }

void Pattern(int code) {
  for (int adc = 0; adc < 2; ++adc) {
    QelControl.AdcConfig(adc, kTestReg, kTestOutput);
    QelControl.AdcConfig(adc, kPatternReg, code);
  }
}

void NormalOutput() {
  for (int adc = 0; adc < 2; ++adc) QelControl.AdcConfig(adc, kTestReg, 0);
}

// One capture of the display raster into QelWaveData; 0, or -1 on a time-out.
int Capture(int polls) {
  QelControl.SendRealControl(fpga::kDisplayWord2, kRasterMode);
  QelControl.SysSample();
  plat::SleepMs(1);
  for (int n = 0; n < PIC_SAMPLE_CNT; ++n) {
    int i = 0;
    while (i < polls && (QelControl.ReadAnyReg(fpga::kDrawStatus) & 0xF00) != kDrawIdle) {
      plat::SleepMs(1);
      ++i;
    }
    if (i == polls) {
      std::printf("DXP_STATUS Timeout\n");
      return -1;
    }
    if (n + 1 < PIC_SAMPLE_CNT) {
      QelControl.SendRealControl(fpga::kRasterRead, 1);
      QelControl.SendRealControl(fpga::kPause, 0);
      QelControl.SendRealControl(fpga::kRasterRead, 0);
    }
  }
  QelControl.SendRealControl(fpga::kRasterRead, 1);
  QelControl.ReadQel(QelWaveData);
  QelControl.SendRealControl(fpga::kPause, 1);
  SysRunStatus.ClearInterruptFlag();
  QelControl.SendRealControl(fpga::kRasterRead, 0);
  return 0;
}

// Rows of column `x` whose byte passes `lit`.
template <typename Pred>
int RowsLit(int x, Pred lit) {
  int n = 0;
  for (int r = 0; r < kRows; ++r) n += lit(QelWaveData[r * kColumns + x]) ? 1 : 0;
  return n;
}

bool AnyPoint(uint8_t b) { return b != 0; }

// The run of passing codes of one ADC: {start, count}; cleared by a second
// group, or by all eight passing outside factory mode.
void FindRun(const int* pass, bool factory, int* start, int* count) {
  *start = *count = 0;
  bool failSeen = false;
  for (int code = 0; code < kPhases; ++code) {
    if (pass[code] != 1) {
      failSeen = true;
    } else if (*count == 0) {
      *start = code, *count = 1, failSeen = false;
    } else if (!failSeen) {
      if (++*count > 7 && !factory) {
        *start = *count = 0;
        break;
      }
    } else {
      *start = *count = 0;
      break;
    }
  }
}

struct SavedChannel {
  int on, probe, vdiv;
  float scale;
};
}  // namespace

int TaskSystemAdcPhasePicProcess(int* clean, int* lit, float* ratio) {
  if (Capture(kCapturePolls) < 0) return -1;
  int nClean = 0, nLit = 0;
  for (int x = 4; x < 696; x += 4) {
    int rows = 0;
    for (int r = 0; r < kRows; ++r) {
      const uint8_t* p = &QelWaveData[r * kColumns + x];
      rows += ((p[0] | p[1] | p[2] | p[3]) & 0x7F) ? 1 : 0;
    }
    (rows > kGroupRows ? nLit : nClean)++;
  }
  if (clean) *clean = nClean;
  if (lit) *lit = nLit;
  if (ratio) *ratio = nClean ? float(nClean) / 1.75f : 0.0f;
  return nLit == 0 ? 1 : -1;
}

int TaskSystemAdcPhasePicProcessForCh(short) {
  if (Capture(kCapturePolls) < 0) return -1;
  for (int x = 1; x <= 698; ++x)
    if (RowsLit(x, AnyPoint) > kColumnRows) return -1;
  return 1;
}

void TaskSystemAdcPhasePicProcessCmpCh(int* ch1, int* ch2) {
  int pass[2] = {1, 1};
  if (Capture(kCmpPolls) < 0) {
    pass[0] = pass[1] = -1;
  } else {
    for (int x = 0; x < kColumns; ++x) {
      if (RowsLit(x, AnyPoint) > kColumnRows) pass[0] = -1;
      if (RowsLit(x, [](uint8_t b) { return (b & 0x80) != 0; }) > kColumnRows) pass[1] = -1;
    }
  }
  std::printf("Ch1Pass = %d  Ch2Pass = %d \n", pass[0], pass[1]);
  if (ch1) *ch1 = pass[0];
  if (ch2) *ch2 = pass[1];
}

void TaskSystemAdcPhasePicAnalysis(int* ch1Result, int* ch1Bad, int* ch1Max, int* ch2Result, int* ch2Bad,
                                   int* ch2Max) {
  int* result[2] = {ch1Result, ch2Result};
  int* bad[2] = {ch1Bad, ch2Bad};
  int* most[2] = {ch1Max, ch2Max};
  for (int ch = 0; ch < 2; ++ch) {
    int nBad = 0, largest = 0;
    for (int x = 1; x <= 698; ++x) {
      const int n = RowsLit(x, [ch](uint8_t b) { return b != 0 && (b >> 7) == ch; });
      if (n > kColumnRows) ++nBad;
      if (n > largest) {
        largest = n;
        std::printf("\n\n ***** Ch%d NotZeroCnt = %d \n\n", ch + 1, n);
      }
    }
    if (result[ch]) *result[ch] = nBad ? -1 : 1;
    if (bad[ch]) *bad[ch] = nBad;
    if (most[ch]) *most[ch] = largest;
  }
}

int TaskSystemAdcDetection(const uint8_t* record, short* nearCount, short* farCount) {
  if (!record) return -1;
  const auto mm = std::minmax_element(record, record + kPhaseRecordBytes);
  const int mid = (*mm.first + *mm.second) / 2;
  int nearN = 0, farN = 0;
  for (int i = 0; i < kPhaseRecordBytes; ++i) (std::abs(record[i] - mid) <= 10 ? nearN : farN)++;
  if (nearCount) *nearCount = short(std::min(nearN, 32767));
  if (farCount) *farCount = short(std::min(farN, 32767));
  return farN ? -1 : 0;
}

int TaskSystemGetWaveTopLow(const uint8_t* record, short* top, short* low) {
  if (!record) return -1;
  int hist[256] = {};
  for (int i = 0; i < kPhaseRecordBytes; ++i) ++hist[record[i]];
  const auto mm = std::minmax_element(record, record + kPhaseRecordBytes);
  const int mid = (*mm.first + *mm.second) / 2;
  int lowAt = 0, topAt = 0;
  for (int v = 0; v < mid; ++v)
    if (hist[v] > hist[lowAt]) lowAt = v;
  if (mid < 255) {
    topAt = mid;
    for (int v = mid; v <= 254; ++v)
      if (hist[v] > hist[topAt]) topAt = v;
  }
  if (low) *low = short(lowAt);
  if (top) *top = short(topAt);
  return 0;
}

int AdcStartPhaseDetection(short mode, short* tries) {
  const int mask = SysRunStatus.GetChStatus();
  SavedChannel saved[2];
  for (int ch = 0; ch < 2; ++ch) {
    saved[ch] = {Vertical.GetChOnOff(ch), Vertical.GetYRealprobe(ch), Vertical.GetRealYsensitivity(ch),
                 Vertical.GetReal_ProbeScale(ch)};
    Vertical.SetReal_ProbeScale(ch, 1.0f);
    Vertical.SetYprobe(ch, y_system::kDefaultProbe);
    Vertical.SetYRealprobe(ch, y_system::kDefaultProbe);
    Vertical.SetChOnOff(ch, 1);
    Vertical.AdjYPosition(ch, 0);
    Vertical.AdjYsensitivity(ch, 0);
  }
  _SysRunInfo* run = SysRunStatus.GetSysRunInfoBaseAddr();
  HorizontalBlock horizontal[2] = {run->horizontal[0], run->horizontal[1]};
  TimeBase.SetRealTimeBase(0, kCheckTimeBase);
  TimeBase.AdjTimeBase(0, 0);
  if (SysRunStatus.IsIndependTimeBase() && SysRunStatus.GetIndependTimeBaseSplit()) QelControl.SendRealControl(fpga::kSplit, 0);
  QelControl.SendRealControl(fpga::kSweep, 0);

  int16_t p1 = 0, p2 = 0;
  SysRunStatus.GetAdcPhaseInformation(&p1, &p2, nullptr, nullptr);
  std::printf("Adc1Phase = %d   Adc2Phase = %d \n", p1, p2);
  int result = -1, cleanTry = kTries;
  for (int n = 0; n < kTries; ++n) {
    ProgramAdcs(p1, p2);
    plat::SleepMs(1000);
    if (mode == 0) {
      Pattern(kPatternA);
      plat::SleepMs(10);
    }
    result = TaskSystemAdcPhasePicProcess(nullptr, nullptr, nullptr);
    std::printf("PhaseDetection Cnt = %d   Status = %d \n", n, result);
    if (result == 1) {
      cleanTry = n;
      break;
    }
  }
  if (tries) *tries = short(cleanTry);

  NormalOutput();
  for (int ch = 0; ch < 2; ++ch) {
    Vertical.SetChOnOff(ch, saved[ch].on);
    Vertical.SetReal_ProbeScale(ch, saved[ch].scale);
    Vertical.SetYprobe(ch, saved[ch].probe);
    Vertical.SetYRealprobe(ch, saved[ch].probe);
    Vertical.SetRealYsensitivity(ch, saved[ch].vdiv);
    Vertical.AdjYPosition(ch, 0);
    Vertical.AdjYsensitivity(ch, 0);
  }
  SysRunStatus.SetChStatus(mask);
  // The horizontal settings go back whole, the trigger position with its time base.
  for (int ch = 0; ch < (SysRunStatus.IsIndependTimeBase() ? 2 : 1); ++ch) {
    run->horizontal[ch] = horizontal[ch];
    TimeBase.SetRealTimeBase(ch, horizontal[ch].realTimeBase);
    TimeBase.AdjTimeBase(ch, 0);
  }
  Trigger.SetTriggerMode(SysRunStatus.GetTriggerMode());
  QelControl.SysSample();
  std::printf("PhaseDetection settings restored\n");
  return result;
}

int AdcAgeForPhaseDetection(short keepTimeBase) {
  TimeBase.SetMaxRealAndRollTimeBase(0, kAgeMaxTimeBase);
  TimeBase.SetRealTimeBase(0, kAgeTimeBase);
  TimeBase.AdjTimeBase(0, 0);
  QelControl.SysSample();
  int16_t p1 = 0, p2 = 0;
  SysRunStatus.GetAdcPhaseInformation(&p1, &p2, nullptr, nullptr);
  int result = 1;
  for (int code : {kPatternA, kPatternB}) {
    int failed = 0;
    bool clean = false;
    for (int n = 0; n < kTries && !clean; ++n) {
      ProgramAdcs(p1, p2);
      plat::SleepMs(1000);
      Pattern(code);
      plat::SleepMs(10);
      clean = TaskSystemAdcPhasePicProcess(nullptr, nullptr, nullptr) == 1;
      SysRunStatus.SetDrawRefresh();
      if (!clean) ++failed;
    }
    if (!clean || failed > kAgeFailedTries) result = -1;
  }
  NormalOutput();
  if (!keepTimeBase) {
    TimeBase.SetMaxRealAndRollTimeBase(0, kRestMaxTimeBase);
    TimeBase.SetRealTimeBase(0, kRestTimeBase);
    TimeBase.AdjTimeBase(0, 0);
  }
  QelControl.SysSample();
  return result;
}

bool AdcStoredPhases(int* phase1, int* phase2) {
  uint8_t state = 0, p[2] = {};
  if (!I2cStorage.I2C_TryReadU8(EE_ADC_PHASE_STATE, &state) || state != kPhaseState) return false;
  if (!I2cStorage.I2C_TryReadU8(EE_ADC_PHASE1, &p[0]) || !I2cStorage.I2C_TryReadU8(EE_ADC_PHASE2, &p[1])) return false;
  if (p[0] >= kPhases || p[1] >= kPhases) return false;
  *phase1 = p[0];
  *phase2 = p[1];
  return true;
}

int TaskSystemAdjAdcPhase(taskresponse* reply) {
  static int calls = 0;
  ++calls;
  DrawCalibrationText(kPhaseTextColumn, "ADC Phase Matching Please Wait...");
  _SysRunInfo* run = SysRunStatus.GetSysRunInfoBaseAddr();
  const bool factory = SysRunStatus.GetFactoryMode() == 1;
  for (int ch = 0; ch < 2; ++ch) {
    Vertical.SetRealYsensitivity(ch, kSearchRange);
    Vertical.SetRealYposition(ch, kCentre);
  }
  TimeBase.SetTimeBase(0, kAgeTimeBase);
  TimeBase.SetRealTimeBase(0, kAgeTimeBase);
  SysRunStatus.SetMemDepth(1);
  run->trigType = 0;
  run->trigSource = 0;
  run->trigMode = 0;
  SysRunStatus.SetTrigLevelLowHigh(1);
  TimeBase.SetMaxRealAndRollTimeBase(0, kAgeMaxTimeBase);
  QelControl.AnalogChannelControl(run);
  SysRunStatus.SetAcquireStatus(0, 1);
  TimeBase.AdjTimeBase(0, 0);
  Trigger.AdjTriggerPosition(0);
  plat::SleepMs(50);
  QelControl.SendRealControl(fpga::kSweep, kMeasureMode);
  if (factory) {
    Pattern(kPatternA);
    QelControl.Bee();
  }

  int pass[2][kPhases] = {};
  for (int adc = 0; adc < 2; ++adc) {
    Vertical.SetChOnOff(adc, 1);
    Vertical.SetChOnOff(1 - adc, 0);
    plat::SleepMs(500);
    for (int code = 0; code < kPhases; ++code) {
      Vertical.AdjYPosition(adc, 0);
      ProgramAdcs(adc == 0 ? code : 0, adc == 1 ? code : 0);
      Pattern(kPatternA);
      plat::SleepMs(2000);
      pass[adc][code] = TaskSystemAdcPhasePicProcessForCh(short(adc));
      std::printf(" Ch%d = %d      Phase = %d  PassFail = %d \n\n ", adc + 1, adc + 1, code, pass[adc][code]);
      if (pass[adc][code] == 1) plat::SleepMs(50);
    }
  }
  QelControl.SendRealControl(fpga::kSweep, 0);
  Trigger.SetTriggerMode(0);
  TimeBase.SetMaxRealAndRollTimeBase(0, kRestMaxTimeBase);
  TimeBase.SetRealTimeBase(0, kRestTimeBase);
  TimeBase.AdjTimeBase(0, 0);

  int start[2], count[2];
  for (int adc = 0; adc < 2; ++adc) {
    FindRun(pass[adc], factory, &start[adc], &count[adc]);
    std::printf("!!!ch%d  i = %d\t Start = %d   End = %d Cnt = %d  Matching = %d \n", adc + 1, calls, start[adc],
                start[adc] + count[adc] - 1, count[adc], count[adc] > 0);
  }
  const bool found = count[0] >= kMinRun && count[1] >= kMinRun;
  int phase[2] = {0, 0};
  for (int adc = 0; adc < 2; ++adc) phase[adc] = (start[adc] + int(count[adc] * 0.5)) % kPhases;
  std::printf("Find = %d  Ch1Index = %d  Ch2Index = %d  \n", found, phase[0], phase[1]);
  if (found) {
    std::printf("\n ADC1 Match Phase = %d  \n", phase[0]);
    std::printf("\n ADC2 Match Phase = %d \n", phase[1]);
    ProgramAdcs(phase[0], phase[1]);
    NormalOutput();
    QelControl.AdcPhase(phase[0], phase[1]);
    // The phases lead the record: the start-up check reads them from there.
    SysRunStatus.SetAdcPhaseInformation(phase[0], phase[1], kPhaseState, kPhaseState);
    I2cStorage.I2C_WriteU8(EE_ADC_PHASE1, uint8_t(phase[0]));
    I2cStorage.I2C_WriteU8(EE_ADC_PHASE2, uint8_t(phase[1]));
    I2cStorage.I2C_WriteU8(EE_ADC_PHASE_STATE, kPhaseState);
  } else {
    NormalOutput();
  }
  if (reply) {
    const uint16_t words[4] = {uint16_t(found), uint16_t(found ? phase[0] : 0), uint16_t(found ? phase[1] : 0),
                               uint16_t(kPhaseState)};
    std::memcpy(reply->words, words, sizeof words);
    for (int i = 0; i < 2 * kPhases; ++i) reply->area[i] = uint8_t(pass[i / kPhases][i % kPhases] == 1);
  }
  for (int ch = 0; ch < 2; ++ch) Vertical.AdjYPosition(ch, 0);
  QelControl.SysSample();
  return 0;
}

namespace {
constexpr int kGainRange = 8;  // 50 mV/div
constexpr int kGainTimeBase = 20;
constexpr int kGainRecordBytes = 8192;
constexpr int kMinSpan = 101, kMaxSpan = 199, kTopMax = 254, kLowMin = 1;
constexpr int kSpan = 150, kCoarseSlack = 2, kFineSlack = 1;
constexpr int kCoarseCodes = 16, kFineCodes = 8;
constexpr int kGainSettleMs = 200, kGainStartMs = 1000, kOffsetSettleMs = 50;
constexpr int kTopTarget = 202, kOffsetSteps = 52, kFineOffsetBelow = 5;
constexpr int kMsgInputError = 50, kMsgGainError = 51;

// The top and low of a fresh record of channel `c`; false when none came.
bool RecordTopLow(int c, short* top, short* low) {
  uint8_t record[kGainRecordBytes] = {};
  waveinfor info{};
  info.flags = kWaveReqCopy;
  info.chMask = uint16_t(1 << c);
  info.buffer[c] = record;
  info.count[c] = kPhaseRecordBytes;
  if (WaveOp.RequestWaveData(&info) != 0) return false;
  TaskSystemGetWaveTopLow(record, top, low);
  return true;
}

// The span read with the ADC gain codes written; -1 when no record came.
int GainSpan(int c, int coarse, int fine, short* top, short* low) {
  QelControl.AdcGainAdj(c, coarse, fine);
  plat::SleepMs(kGainSettleMs);
  return RecordTopLow(c, top, low) ? *top - *low : -1;
}
}  // namespace

int TaskSystemAdjChGain(short channel) {
  if (channel < 0 || channel > 1) return -1;
  const int c = channel;
  _SysRunInfo* run = SysRunStatus.GetSysRunInfoBaseAddr();
  Vertical.SetRealYsensitivity(c, kGainRange);
  Vertical.SetRealYposition(c, kCentre);
  TimeBase.SetTimeBase(0, kGainTimeBase);
  TimeBase.SetRealTimeBase(0, kGainTimeBase);
  SysRunStatus.SetMemDepth(1);
  run->trigType = 0;
  run->trigSource = int16_t(c);
  run->trigMode = 0;
  SysRunStatus.SetTrigLevelLowHigh(1);
  QelControl.AnalogChannelControl(run);
  Vertical.SetChOnOff(c, 1);
  Vertical.SetChOnOff(1 - c, 0);
  Trigger.SentTriggerConfigPara();
  Vertical.AdjYsensitivity(c, 0);
  TimeBase.AdjTimeBase(0, 0);
  Trigger.AdjTriggerPosition(0);
  plat::SleepMs(kGainStartMs);

  short top = 0, low = 0;
  if (!RecordTopLow(c, &top, &low) || top > kTopMax || low < kLowMin || top - low < kMinSpan ||
      top - low > kMaxSpan) {
    std::printf("Input Wave Error Or Channel Error ! ");
    QelMsg.SetMessage(kMsgInputError);
    return -1;
  }
  // Coarse codes from 0 until the span is near 150 codes, then the fine ones.
  int coarse = 0, fine = 0, span = -1;
  bool exact = false;
  for (int n = 0; n < kCoarseCodes; ++n) {
    coarse = n;
    span = GainSpan(c, coarse, 0, &top, &low);
    if (span == kSpan) exact = true;
    if (std::abs(span - kSpan) <= kCoarseSlack) break;
  }
  if (!exact) {
    bool found = false;
    for (fine = 0; fine < kFineCodes && !found; ++fine) {
      span = GainSpan(c, coarse, fine, &top, &low);
      found = std::abs(span - kSpan) <= kFineSlack;
      if (!found)
        std::printf("###### Fine Cnt = %d  Top = %d Low = %d   Delta = %d ###### \n", fine, top, low, span);
    }
    if (!found) {
      QelMsg.SetMessage(kMsgGainError);
      return -1;
    }
    --fine;
  }
  const int16_t pair[2] = {int16_t(coarse), int16_t(fine)};
  Vertical.SetAdcGain(c, kGainRange, pair);
  std::printf("Ch%d AdcGain Coarse = %d  Fine = %d \n", c + 1, coarse, fine);

  // The offset: the top of the wave on code 202.
  for (int n = 0; n < kOffsetSteps; ++n) {
    if (!RecordTopLow(c, &top, &low)) return -1;
    if (top == kTopTarget) {
      std::printf("************ Cali Trig *********\n");
      std::printf("....Ok...\n");
      return 0;
    }
    int step = std::abs(top - kTopTarget);
    if (step <= kFineOffsetBelow) step = 1;
    if (top < kTopTarget) step = -step;
    Vertical.ChCaliDacAdjust(c, kGainRange, step);
    plat::SleepMs(kOffsetSettleMs);
  }
  return -1;
}

// A failed adjustment reports -1 (not 0, which a saved calibration gives).
int ChannelGainCali50mv(short channel) {
  if (channel < 0 || channel > 1) return channel;
  DrawCalibrationText(kGainTextColumn, "Channel 50mV gain calibration .");
  if (TaskSystemAdjChGain(channel) < 0) return -1;
  return SysRunStatus.SaveAnalogChCaliData();
}
