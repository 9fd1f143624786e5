// The trigger hardware model: levels, the level DAC, the knob, voltages and
// the comparator words.
#include "acquisition/models/trig_system.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/word_list.h"
#include "core/state/ids.h"
#include "core/board/att_ctrl_table.h"
#include "core/board/ch_cali_data.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/fpga_words.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/common/unit_convert.h"
#include "platform/clock.h"

trig_system Trigger;

namespace {
constexpr int kSources = 6;
constexpr int kNoLevelSource = 2;
constexpr int kExtSource = 3, kExtSlot = 4;
constexpr int kMsgTrigLimit = 3;
constexpr int kNonChannelRange = 12;
constexpr int kHysRanges = 17;
constexpr int kCouplingNoise = 4;
constexpr double kExtDacSlope = 1.8550224;
constexpr double kExtVoltsPerCode = 0.004;
constexpr int kTypeSlope = 3, kTypeRunt = 4, kTypeWindow = 5, kTypeDelay = 6;

// EEPROM u16 of the first/second level code by source.
constexpr int I2cTrig[kSources][2] = {{74, 82}, {76, 84}, {78, 86}, {80, 88}, {78, 86}, {78, 86}};
// Hysteresis DAC code by V/div index.
constexpr int TrigHys[kHysRanges] = {3000, 3000, 3000, 3000, 2000, 500, 500, 500, 500,
                                     500,  500,  500,  500,  500,  500,  500, 500};
constexpr int kNoiseHys = 1500;

bool IsChannel(int src) { return src == 0 || src == 1; }
bool HasLevel(int src) { return src >= 0 && src < kSources && src != kNoLevelSource; }
bool TwoLevelType(int type) { return type >= kTypeSlope && type <= kTypeDelay; }
int LevelLimit(int src) { return src == kExtSource || src == kExtSlot ? trig_system::kExtLevelLimit : trig_system::kLevelLimit; }

// trunc(x + 0.5) as the DAC arithmetic rounds; 0 for a value that is no number.
int RoundUp(double x) {
  if (!std::isfinite(x)) return 0;
  return int(std::trunc(std::clamp(x + 0.5, -1e9, 1e9)));
}
}  // namespace

trig_system::trig_system() : sem_(kSharedSemKey) {}

TrigLevel* trig_system::Level(int src, int level) const {
  if (!run_ || !HasLevel(src) || (level != 0 && level != 1)) return nullptr;
  return &run_->levelBlock[src].level[level];
}

int trig_system::Coupling() const { return run_->trigCoupling; }
bool trig_system::AcReferenced() const { return (Coupling() & ~2) == 1; }

void trig_system::LoadTrigsystem(CaliDataForCh* cal, _SysResource* res, _SysRunInfo* run) {
  if (!cal) std::printf("LoadTrigsystem CaliDataForCh Error! \n");
  if (!res) std::printf("LoadTrigsystem _SysResource Error! \n");
  if (!run) std::printf("LoadTrigsystem _SysRunInfo Error! \n");
  if (!cal || !res || !run) return;
  cal_ = cal;
  resource_ = res;
  run_ = run;
  I2C& ee = *resource_->eeprom;
  const bool blank = ee.I2C_ReadU8(EE_FORMAT_MARK) != kEepromFormatMark;
  int16_t codes[kSources][2];
  for (int s = 0; s < kSources; ++s)
    for (int k = 0; k < 2; ++k) {
      int16_t code = blank ? kDefaultLevel[k] : ee.I2C_ReadU16(I2cTrig[s][k]);
      if (std::abs(code) > LevelLimit(s)) code = kDefaultLevel[k];
      codes[s][k] = code;
    }
  SemLock lock(sem_);
  for (int s = 0; s < kSources; ++s)
    for (int k = 0; k < 2; ++k) {
      TrigLevel& l = run_->levelBlock[s].level[k];
      l.code = codes[s][k];
      l.voltage = 0;
      resource_->unitConvert->VUnitConvert(0.0, &l.voltageText);
    }
  for (TrigLevelVoltage& v : run_->levelVoltage) {
    v.level[0] = v.level[1] = v.difference = 0;
    for (FloatElement& e : v.levelText) resource_->unitConvert->VUnitConvert(0.0, &e);
    resource_->unitConvert->VUnitConvert(0.0, &v.differenceText);
  }
}

// ---- level accessors -------------------------------------------------------

int trig_system::GetTriggerPos(int src, int level) const {
  const TrigLevel* l = Level(src, level);
  return l ? l->code : 0;
}

int trig_system::GetTriggerDrawPos(int src, int level) const {
  const TrigLevel* l = Level(src, level);
  return l ? l->drawPos : 0;
}

double trig_system::GetTriggerVoltage(int src, int level) const {
  if (!run_ || !IsChannel(src) || (level != 0 && level != 1)) return 0.0;
  return run_->levelVoltage[src].level[level];
}

int trig_system::LevelCodeForVoltage(int src, double volts) const {
  if (!run_ || !IsChannel(src)) return 0;
  const VerticalBlock& v = run_->vertical[src];
  const double unit = double(v.vdivVolts) / 25;
  if (!(unit > 0) || std::isnan(volts)) return 0;
  const bool dcRef = Coupling() == kCouplingNoise || !AcReferenced();
  const double code = std::round(volts / unit) - (dcRef ? 127 - v.position : 0);
  return int(std::clamp(code, -double(kLevelLimit), double(kLevelLimit)));
}

double trig_system::SetTriggerVoltage(int src, int level, double v) {
  if (!run_ || !HasLevel(src) || (level != 0 && level != 1)) return 0.0;
  if (!IsChannel(src)) return v;
  SemLock lock(sem_);
  run_->levelVoltage[src].level[level] = v;
  run_->levelBlock[src].level[level].voltage = float(v);
  return v;
}

int trig_system::GetTrigLevel() const { return run_ ? ComparatorLevel(run_->trigType, run_->slope) : 1; }

int trig_system::ComparatorLevel(int type, int slope) {
  if (type == kTypeRunt) return slope != 0 ? 1 : 0;
  if (type == kTypeSlope || type == kTypeWindow || type == kTypeDelay) return slope != 1 ? 1 : 0;
  return 1;
}

// ---- storing a level and its DAC code --------------------------------------

int trig_system::DacCode(int src, int c, int code, int* range) const {
  const bool dcRef = Coupling() == kCouplingNoise || !AcReferenced();
  *range = kNonChannelRange;
  if (IsChannel(src)) {
    const VerticalBlock& v = run_->vertical[src];
    const int r = std::clamp<int>(v.vdivIndex, 0, kHysRanges - 1);
    *range = r;
    // Only the calibrated ranges hold data; 500 uV/div runs the 1 mV range.
    const CaliRecord* R = cal_->Record(src, std::clamp(r, kCaliFirstRange, kCaliLastRange));
    const int pos = (v.invert & 0xFF) == 1 ? 255 - v.position : v.position;
    const double factor = code >= 0 ? R->trigUpFactor : R->trigDownFactor;
    if (dcRef) {
      const int offset = RoundUp((pos - 127) * double(R->trigPosFactor));
      return RoundUp((c + 127 - pos) * factor) + offset + R->trigDc.zero;
    }
    return RoundUp(c * factor) + R->trigAc.zero;
  }
  if (src == kExtSlot) {
    const CaliRecord* R = cal_->Record(0, kCaliLastRange);
    const int pos = run_->vertical[kExtSlot].position;
    if (dcRef) return RoundUp((c + 127 - pos) * kExtDacSlope) + R->extDc.zero;
    return RoundUp(c * kExtDacSlope) + R->extAc.zero;
  }
  return 0;
}

int trig_system::SetTriggerPos(int src, int level, int code) {
  TrigLevel* l = Level(src, level);
  if (!l || !cal_ || !resource_) return 0;
  code = std::clamp(code, -32768, 32767);
  int drawPos = code, c = code, value8 = 0;
  if (IsChannel(src) || src == kExtSlot) {
    const VerticalBlock& v = run_->vertical[src];
    if ((v.invert & 0xFF) == 1) {
      drawPos = 2 * v.position - 254 - code;
      c = code + (255 - v.position) - v.position;
    }
    value8 = std::clamp(c + 127, 0, 255);
  }
  const bool stopped = run_->acqStatus[0] == kAcqStopped;
  {
    SemLock lock(sem_);
    l->code = int16_t(code);
    l->drawPos = int16_t(std::clamp(drawPos, -32768, 32767));
    if (!stopped) l->value8 = uint16_t(value8);
  }
  if (!stopped) {
    SetSoftTrigValue();
    GetSourceSoftTrig(src);
  }
  // The two-level types drive the DAC from the level the comparator uses.
  const int type = run_->trigType, slope = run_->slope;
  if (type == kTypeRunt && ((slope == 0 && level == 1) || (slope == 1 && level == 0))) return 0;
  if (TwoLevelType(type) && type != kTypeRunt && ((slope == 0 && level == 0) || (slope == 1 && level == 1)))
    return 0;

  int range = kNonChannelRange;
  const int dac = std::clamp(DacCode(src, c, code, &range), 0, 4095);
  if (src >= 0 && src < 4) dacCode_[src] = int16_t(dac);
  control& board = *resource_->board;
  board.ChannelDAC_Set(2, dac);
  board.ChannelDAC_Set(3, Coupling() == kCouplingNoise ? kNoiseHys : TrigHys[range]);
  return dac;
}

// ---- the level knob --------------------------------------------------------

// Stores a new code of one level: the EEPROM for the level's own source, the
// external input's slot otherwise.
int trig_system::StoreLevel(int src, int level, int code) {
  if (src == kExtSource) return SetTriggerPos(kExtSlot, 1, code);
  resource_->eeprom->I2C_WriteU16(I2cTrig[src][level], uint16_t(int16_t(code)));
  return SetTriggerPos(src, level, code);
}

int trig_system::AdjTriggerPosition(int step) {
  if (!PointerNullCheck() || !cal_) return -1;
  const int src = run_->trigSource;
  if (!HasLevel(src)) return -1;
  const int slot = src == kExtSource ? kExtSlot : src;
  const int lim = LevelLimit(src);
  const int type = run_->trigType;
  {
    SemLock lock(sem_);
    RunTimeStamp& t = run_->trigLevelTime;
    if (Coupling() == kCouplingNoise || !AcReferenced())
      plat::WallTime(&t.sec, &t.usec);
    else
      t.sec = 0;
  }
  const TrigLevelBlock& b = run_->levelBlock[slot];
  bool limit = false;
  auto clampLevel = [&](int64_t v) {
    if (v > lim) return limit = true, lim;
    if (v < -lim) return limit = true, -lim;
    return int(v);
  };
  const int sel = run_->trigLevelSel;
  if (sel == 2) {
    int new0 = clampLevel(int64_t(b.level[0].code) + step);
    int new1 = clampLevel(int64_t(b.level[1].code) + step);
    if (std::abs(new1 - new0) < kLevelGap) {
      new1 = new0 + kLevelGap;
      limit = true;
      if (new1 > lim) new1 = lim, new0 = lim - kLevelGap;
    }
    if (src == kExtSource) {
      StoreLevel(src, 1, run_->slope != 0 ? new0 : new1);
    } else {
      StoreLevel(src, 0, new0);
      StoreLevel(src, 1, new1);
    }
  } else {
    const int k = sel == 1 ? 1 : 0;
    int code = clampLevel(int64_t(b.level[k].code) + step);
    if (k == 1 && type >= kTypeSlope && type <= kTypeWindow && code < b.level[0].code + kLevelGap) {
      code = b.level[0].code + kLevelGap;
      limit = true;
    }
    if (k == 0 && TwoLevelType(type) && code > b.level[1].code - kLevelGap) {
      code = b.level[1].code - kLevelGap;
      limit = true;
    }
    StoreLevel(src, k, code);
  }
  if (limit) resource_->message->SetMessage(kMsgTrigLimit);
  UpdateVoltages(src);
  if (type == kTypeSlope) UpdateSlewRates(src);
  return 0;
}

void trig_system::UpdateVoltages(int src) {
  unit_convert& uc = *resource_->unitConvert;
  SemLock lock(sem_);
  if (src == kExtSource) {
    for (TrigLevel& l : run_->levelBlock[kExtSlot].level) {
      l.voltage = float(l.code * kExtVoltsPerCode);
      uc.VUnitConvert(l.code * kExtVoltsPerCode, &l.voltageText);
    }
    return;
  }
  if (!IsChannel(src)) return;
  const VerticalBlock& v = run_->vertical[src];
  const bool dcRef = Coupling() == kCouplingNoise || !AcReferenced();
  const bool inverted = (v.invert & 0xFF) == 1;
  TrigLevelVoltage& lv = run_->levelVoltage[src];
  for (int k = 0; k < 2; ++k) {
    TrigLevel& l = run_->levelBlock[src].level[k];
    const double volts = (l.code + (dcRef ? 127 - v.position : 0)) * double(v.vdivVolts) / 25;
    lv.level[k] = volts;
    l.voltage = float(volts);
    uc.VUnitConvert(inverted ? -volts : volts, &lv.levelText[k]);
    l.voltageText = lv.levelText[k];
  }
  lv.difference = lv.level[1] - lv.level[0];
  uc.VUnitConvert(inverted ? -lv.difference : lv.difference, &lv.differenceText);
}

// Slope trigger: volts per microsecond between the two levels.
void trig_system::UpdateSlewRates(int src) {
  if (!IsChannel(src)) return;
  const TrigLevelBlock& b = run_->levelBlock[src];
  const double delta = std::abs(b.level[1].code - b.level[0].code) * double(run_->vertical[src].vdivVolts) / 25;
  const uint32_t lower = run_->timeValue1, upper = run_->timeValue2;
  uint32_t t[2] = {lower, upper};
  if (run_->when == 0) t[1] = lower;
  if (run_->when == 1) t[0] = upper;
  unit_convert& uc = *resource_->unitConvert;
  SemLock lock(sem_);
  for (int k = 0; k < 2; ++k) {
    run_->slewRate[k] = t[k] ? delta / (t[k] * 4e-9 * 1e6) : 0.0;
    uc.VUnitConvert(run_->slewRate[k], &run_->slewRateText[k]);
  }
}

int trig_system::TrigVoltageSyncProbeRatio(float ratio) {
  if (!PointerNullCheck() || ratio == 0) return 0;
  const int s = run_->trigSource;
  if (s < 0 || s >= kSourceBlocks) return 0;
  const VerticalBlock& v = run_->vertical[s];
  const double unit = ratio * Voltage[std::clamp<int>(v.vdivIndex, 0, kVoltageEntries - 1)] / 25;
  // A DC-referenced code counts from the screen centre, so the channel's
  // position comes off; an AC-referenced one already counts from its zero.
  const bool dcRef = Coupling() == kCouplingNoise || !AcReferenced();
  const int p = dcRef ? v.position - 127 : 0;
  if (IsChannel(s)) {
    SemLock lock(sem_);
    for (int k = 0; k < 2; ++k) {
      const double volts = (run_->levelBlock[s].level[k].code - p) * unit;
      run_->levelVoltage[s].level[k] = volts;
      run_->levelBlock[s].level[k].voltage = float(volts);
    }
  }
  return 0;
}

// ---- software trigger and comparator words ---------------------------------

int trig_system::GetSourceSoftTrig(int src) {
  if (!run_ || src < 0 || src >= kSoftTrigSources) return 0;
  if (!IsChannel(src)) return src >= 8 ? run_->softTrigValue[src] : 0;
  const int type = run_->trigType, slope = run_->slope;
  const TrigLevelBlock& b = run_->levelBlock[src];
  int value;
  switch (type) {
    case 0: case 1: case 7: case 8: case 9: case 10: case 11: value = b.level[1].value8; break;
    case 2: value = std::clamp<int>(run_->vertical[src].positionSelected, 0, 255); break;
    case kTypeSlope: case kTypeWindow: case kTypeDelay: value = b.level[slope != 0 ? 0 : 1].value8; break;
    case kTypeRunt: value = b.level[slope == 0 ? 0 : 1].value8; break;
    default: return run_->softTrigValue[src];  // the serial types keep theirs
  }
  SemLock lock(sem_);
  run_->softTrigValue[src] = uint16_t(value);
  return value;
}

int trig_system::SetSoftTrigValue() {
  if (!PointerNullCheck()) return -1;
  const TrigLevelBlock* ch = run_->levelBlock;
  auto pair = [&](int k) -> uint32_t {
    if (!AcReferenced()) return (ch[0].level[k].value8 & 0xFFu) | (ch[1].level[k].value8 & 0xFFu) << 8;
    auto byte = [](int v) { return uint32_t(uint8_t(int8_t(std::clamp(v - 127, -100, 100)))); };
    return byte(ch[0].level[k].value8) | byte(ch[1].level[k].value8) << 8;
  };
  const uint32_t a = pair(0), b = pair(1);
  const bool swap = TwoLevelType(run_->trigType) && run_->slope == 1;
  const int src = run_->trigSource;
  const bool fine = Coupling() == kCouplingNoise || (IsChannel(src) && run_->vertical[src].vdivIndex < 5);
  WordList w;
  w.Add(fpga::kTrigLevelA, swap ? a : b);
  w.Add(fpga::kTrigLevelB, swap ? b : a);
  w.Add(fpga::kTrigHysteresis, fine ? 0x1010 : 0x0606);
  return w.Send(*resource_->board);
}

// ---- source, type, sweep, force and coupling -------------------------------

int trig_system::SendFrontEnd() {
  const uint32_t bits[2] = {AttCtrlBits(0, run_->vertical[0].vdivIndex), AttCtrlBits(1, run_->vertical[1].vdivIndex)};
  return resource_->board->AnalogChannelControl(run_, bits);
}

int trig_system::SetTriggerSource(int src) {
  if (!PointerNullCheck() || src < 0 || src > 3) return -1;
  {
    SemLock lock(sem_);
    run_->trigSource = int16_t(src);
  }
  SendFrontEnd();
  resource_->board->SendRealControl(fpga::kTrigSource, src);
  return src;
}

int trig_system::GetTriggerSource() const { return run_ ? run_->trigSource : 0; }

int trig_system::SetTriggerType(int type) {
  if (!PointerNullCheck() || type < 0 || type > 11) return -1;
  {
    SemLock lock(sem_);
    run_->trigType = int16_t(type);
  }
  resource_->board->SendRealControl(fpga::kTrigType, type);
  return type;
}

int trig_system::SetTriggerMode(int mode) {
  if (!PointerNullCheck() || mode < 0 || mode > 2) return -1;
  {
    SemLock lock(sem_);
    run_->trigMode = int16_t(mode);
  }
  control& board = *resource_->board;
  const bool stopped = run_->acqStatus[0] == kAcqStopped;
  if (mode == 2) {
    if (stopped) return mode;
    board.FPGAResetEnable();
    board.SendRealControl(fpga::kSweep, 3);
  } else {
    if (stopped) return board.SendRealControl(fpga::kSweep, mode), mode;
    board.FPGAResetDisable();
    board.SendRealControl(fpga::kSweep, mode);
  }
  resource_->runStatus->ClearInterruptFlag();
  board.SysSample();
  return mode;
}

int trig_system::ForceTrigger() {
  if (!PointerNullCheck()) return -1;
  control& board = *resource_->board;
  board.SendRealControl(fpga::kForceTrigger, 0);
  board.SendRealControl(fpga::kForceTrigger, 1);
  return board.SendRealControl(fpga::kForceTrigger, 0);
}

int trig_system::SetTriggerCoupling() {
  if (!PointerNullCheck()) return -1;
  static constexpr int kCode[4] = {0, 1, 4, 2};
  const int coupling = Coupling();
  const int src = run_->trigSource;
  int code = coupling >= 1 && coupling <= 3 ? kCode[coupling] : 0;
  if (run_->alternateTrig == 1)
    code *= 0x11;
  else if (IsChannel(src))
    code <<= 4 * src;
  std::printf("SetTriggerCoupling [0x60] = 0x%x \n", code);
  resource_->board->SendRealControl(fpga::kTrigCoupling, code);
  return SetSoftTrigValue();
}

int trig_system::AlternateTrigSet(int n) {
  if (!PointerNullCheck()) return -1;
  const int ch = ((n % 2) + 2) % 2;
  const int16_t kept = run_->trigSource;
  {
    SemLock lock(sem_);
    run_->trigSource = int16_t(ch);
  }
  SendFrontEnd();
  SentTriggerConfigPara();
  SetSoftTrigValue();
  resource_->board->ChannelDAC_Set(2, dacCode_[ch]);
  SemLock lock(sem_);
  run_->trigSource = kept;
  return 0;
}

uint32_t trig_system::TimeCountWord(uint64_t count, bool nanoseconds) {
  const uint64_t units = nanoseconds ? count / 4 + (count % 4 >= 2 ? 1 : 0) : count;
  return units > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(units);
}
