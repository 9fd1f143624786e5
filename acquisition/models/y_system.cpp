// The vertical model: loading, the channel settings and their accessors.
#include "acquisition/models/y_system.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "acquisition/tables/probe_tables.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/y_system_words.h"
#include "core/state/ids.h"
#include "core/board/ch_cali_data.h"
#include "core/board/control.h"
#include "core/board/i2c_storage.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/common/unit_convert.h"
#include "platform/clock.h"

y_system Vertical;

namespace {
constexpr int kAnalog = 2;
constexpr int kSourceBits = 14;  // sources 0..13 have an on-bit
constexpr int kSource12 = 12;
constexpr uint16_t kSource12Bit = 0x2000;
constexpr int kLowestActive = 11;    // the active channel is one of 0..11
constexpr int kMathSourceLimit = 6;  // sources below take their volts/div from the table when on
constexpr int kUnits = 4;
constexpr int kCouplings = 3;

bool Finite(double v) { return std::isfinite(v); }
}  // namespace

y_system::y_system()
    : res_(&SystemResource), run_(&SysRunInfo), sem_(kSharedSemKey), cal_(&ChSelfCaliData) {}

VerticalBlock* y_system::Block(int src) const {
  return !run_ || src < 0 || src >= kSourceBlocks ? nullptr : &run_->vertical[src];
}

VerticalBlock* y_system::Channel(int ch) const { return ch < 0 || ch >= kAnalog ? nullptr : Block(ch); }

int y_system::Status(int ch) const { return run_->acqStatus[ch >= 0 && ch < kAnalog ? ch : 0]; }

float y_system::ProbeRatio(const VerticalBlock& b, int probe) const {
  if (probe == kProbeCustom) return b.customProbeRatio;
  return probe >= 0 && probe < kProbeEntries ? ChProbeScale[probe] : ChProbeScale[kDefaultProbe];
}

// --- start-up ---

void y_system::LoadYsystem(CaliDataForCh* cal, _SysResource* res, _SysRunInfo* run) {
  if (!cal) {
    std::printf("LoadYsystem CaliDataForCh Error! \n");
    return;
  }
  if (!res) {
    std::printf("LoadYsystem _SysResource Error! \n");
    return;
  }
  if (!run) {
    std::printf("LoadYsystem _SysRunInfo Error! \n");
    return;
  }
  cal_ = cal;
  res_ = res;
  run_ = run;

  // An EEPROM that is not formatted (blank, 0xFF) or does not answer holds no
  // settings: everything starts on its default. Formatted values are still
  // range-checked one by one.
  I2C* ee = res_->eeprom;
  uint8_t mark = 0;
  const bool blank = !ee || !ee->I2C_TryReadU8(EE_FORMAT_MARK, &mark) || mark != kEepromFormatMark;
  const uint8_t bits = blank ? 1 : ee->I2C_ReadU8(EE_SOURCE_ON);

  {
    SemLock lock(sem_);
    run_->activeCh = 0;
    run_->sourceOn = bits;
  }
  for (int ch = 0; ch < kAnalog; ++ch) {
    int index = blank ? kDefaultIndex : ee->I2C_ReadU8(yee::I2cDiv[ch]);
    if (index < minLevel_ || index > kMaxRealIndex) index = kDefaultIndex;
    int position = blank ? kCentre : ee->I2C_ReadU16(yee::I2cOffset[ch]);
    if (position < kPositionMin || position > kPositionMax) position = kCentre;
    int probe = blank ? kDefaultProbe : ee->I2C_ReadU8(yee::ChProbeItem[ch]);
    if (probe > kProbeCustom) probe = kDefaultProbe;
    const float ratio = probe == kProbeCustom ? 1.0f : ChProbeScale[probe];
    const float volts = Voltage[index] * ratio;
    FloatElement element{}, zero{};
    res_->unitConvert->VUnitConvert(volts, &element);
    res_->unitConvert->VUnitConvert(0.0, &zero);
    {
      SemLock lock(sem_);
      VerticalBlock& b = run_->vertical[ch];
      b.on = uint16_t(bits >> ch & 1);
      b.coupling = b.unit = b.invert = b.reserved0 = b.bwLimit = 0;
      b.positionSelected = kCentre;
      b.vdivSelected = b.vdivIndex = uint16_t(index);
      b.baseVdiv = Voltage[index];
      b.position = int16_t(position);
      b.probeSelected = b.probe = uint16_t(probe);
      b.probeRatio = b.probeRatioCopy = ratio;
      b.vdivShown = b.vdivVolts = volts;
      b.vdivElement = element;
      b.customProbeRatio = 1.0f;
      b.vernierOn = 0;
      b.vernierVdiv[0] = b.vernierVdiv[1] = uint16_t(index);
      b.vernierCoeff = b.baseVdivCopy = Voltage[index];
      b.dcOffset = 0;
      b.dcVoltageElement = zero;
      run_->activeCh = int16_t(ch);
    }
    loading_ = true;
    AdjYsensitivity(ch, 0);
    loading_ = false;
    LoadChLableName(ch);
  }
}

int y_system::YParaSyncRefresh() {
  if (!run_) return -1;
  bool labelChanged = false;
  {
    SemLock lock(sem_);
    for (int ch = 0; ch < kAnalog; ++ch) {
      VerticalBlock& b = run_->vertical[ch];
      b.vdivSelected = b.vdivIndex;
      b.positionSelected = b.position;
      labelChanged |= b.vdivShown != b.vdivVolts;
      b.vdivShown = b.vdivVolts;
    }
    run_->sourceOnSnapshot = run_->sourceOn;
    run_->workChSnapshot = run_->workCh;
  }
  // The first record taken at a new V/div is drawn in this pass: its label
  // (drawn with the status texts) goes with it.
  if (labelChanged && res_ && res_->runStatus) res_->runStatus->SetDrawRefresh();
  return 0;
}

int y_system::AllChannelCtrlRefresh() {
  if (!run_ || Status(0) == kAcqStopped) return 0;
  for (int ch = 0; ch < kAnalog; ++ch)
    if (run_->sourceOn >> ch & 1) AdjYsensitivity(ch, 0);
  return 0;
}

// --- on/off ---

int y_system::SetChOnOff(int src, int on) {
  if (!run_ || src < 0 || src >= kSourceBits || on < 0) return -1;
  on &= 1;
  const int s = Status(0);
  const uint16_t bit = uint16_t(1u << src);
  const uint16_t extra = src == kSource12 ? kSource12Bit : 0;
  VerticalBlock* b = Block(src);
  bool clearCount = false;
  {
    SemLock lock(sem_);
    if (b) b->on = uint16_t(on);
    const bool was = run_->sourceOn & bit;
    if (on) {
      run_->sourceOn |= bit | extra;
      if (src != kSource12) {
        run_->activeCh = int16_t(src);
        if (src < kMathSourceLimit && b) {
          const int index = b->vdivIndex < kVoltageEntries ? b->vdivIndex : kDefaultIndex;
          b->vdivVolts = Voltage[index] * GetYRealProbeScale(src);
          if (s != kAcqStopped) b->vdivShown = b->vdivVolts;
        }
        clearCount = src < kAnalog && !was;
      }
      if (s != kAcqStopped) liveMask_ |= bit;
    } else {
      std::printf("Ch OFF\n");
      run_->sourceOn &= uint16_t(~(bit | extra));
      const int active = run_->activeCh;
      if (active < 0 || active >= kSourceBits || !(run_->sourceOn >> active & 1)) {
        run_->activeCh = -1;
        for (int i = 0; i <= kLowestActive; ++i)
          if (run_->sourceOn >> i & 1) {
            run_->activeCh = int16_t(i);
            break;
          }
      }
      if (s != kAcqStopped) liveMask_ &= uint16_t(~bit);
    }
  }
  if (clearCount) ClearReadCount();

  res_->board->SetChPriority(run_);
  res_->eeprom->I2C_WriteU8(EE_ACTIVE_CH, uint8_t(run_->activeCh));
  res_->eeprom->I2C_WriteU8(EE_SOURCE_ON, uint8_t(run_->sourceOn));
  {
    SemLock lock(sem_);
    run_->liveChannelMask = liveMask_;
    const int on0 = (run_->sourceOn & liveMask_) & 1, on1 = (run_->sourceOn & liveMask_) >> 1 & 1;
    run_->liveAnalogCount = uint16_t(on0 + on1);
  }
  res_->board->LedCtrl(run_);
  return on;
}

int y_system::GetChOnOff(int src) const {
  const VerticalBlock* b = Block(src);
  return b ? b->on : -1;
}

// --- coupling, bandwidth limit, unit ---

int y_system::SetChCoupling(int ch, int coupling) {
  VerticalBlock* b = Channel(ch);
  if (!b || coupling < 0) return -1;
  {
    SemLock lock(sem_);
    b->coupling = uint16_t(coupling % kCouplings);
  }
  res_->board->ChGndEnable(run_);
  return b->coupling;
}

int y_system::GetChCoupling(int ch) const {
  const VerticalBlock* b = Channel(ch);
  return b ? b->coupling : -1;
}

int y_system::SetChBwLimit(int ch, int on) {
  VerticalBlock* b = Channel(ch);
  if (!b || on < 0) return -1;
  SemLock lock(sem_);
  return b->bwLimit = uint16_t(on & 1);
}

int y_system::GetChBwLimit(int ch) const {
  const VerticalBlock* b = Channel(ch);
  return b ? b->bwLimit : -1;
}

int y_system::SetChUnit(int src, int unit) {
  VerticalBlock* b = Block(src);
  if (!b || unit < 0) return -1;
  SemLock lock(sem_);
  return b->unit = uint16_t(unit % kUnits);
}

int y_system::GetChUnit(int src) const {
  const VerticalBlock* b = Block(src);
  return b ? b->unit : -1;
}

// --- selected values ---

int y_system::SetYsensitivity(int src, int index) {
  VerticalBlock* b = Block(src);
  if (!b || index < 0 || index >= kVoltageEntries) return -1;
  SemLock lock(sem_);
  return b->vdivSelected = uint16_t(index);
}

int y_system::GetYsensitivity(int src) const {
  const VerticalBlock* b = Block(src);
  return b ? b->vdivSelected : -1;
}

int y_system::SetYposition(int src, int position) {
  VerticalBlock* b = Block(src);
  if (!b || position < kPositionMin || position > kPositionMax) return -1;
  SemLock lock(sem_);
  return b->positionSelected = int16_t(position);
}

int y_system::GetYposition(int src) const {
  const VerticalBlock* b = Block(src);
  return b ? b->positionSelected : -1;
}

// --- probe ---

int y_system::SetYprobe(int ch, int probe) {
  VerticalBlock* b = Channel(ch);
  if (!b || probe < 0) return -1;
  SemLock lock(sem_);
  return b->probeSelected = uint16_t(probe % (kProbeCustom + 1));
}

int y_system::SetYRealprobe(int ch, int probe) {
  VerticalBlock* b = Channel(ch);
  if (!b || probe < 0) return -1;
  probe %= kProbeCustom + 1;
  const float ratio = ProbeRatio(*b, probe);
  const float old = ProbeRatio(*b, b->probeSelected);
  {
    SemLock lock(sem_);
    b->probe = uint16_t(probe);
  }
  TriggerFollowProbe(ch, ratio);

  // The same hardware range now reads as a different volts/div.
  double volts = double(b->vdivVolts) * ratio / old;
  if (!(old > 0) || !(volts > 0) || !Finite(volts))
    volts = double(Voltage[b->vdivIndex < kVoltageEntries ? b->vdivIndex : kDefaultIndex]) * ratio;
  FloatElement element{};
  res_->unitConvert->VUnitConvert(volts, &element);
  SemLock lock(sem_);
  b->vdivVolts = float(volts);
  if (Status(ch) != kAcqStopped) b->vdivShown = b->vdivVolts;
  b->vdivElement = element;
  if (probe == kProbeCustom)
    b->customProbeRatio = ratio;
  else
    b->probeRatio = ratio;
  b->probeSelected = b->probe;
  return b->probe;
}

int y_system::GetYRealprobe(int ch) const {
  const VerticalBlock* b = Channel(ch);
  return b ? b->probe : -1;
}

float y_system::GetYRealProbeScale(int src) const {
  const VerticalBlock* b = Channel(src);
  return b ? ProbeRatio(*b, b->probe) : 1.0f;
}

float y_system::GetReal_ProbeScale(int ch) const {
  const VerticalBlock* b = Channel(ch);
  return b ? b->probeRatio : 1.0f;
}

// A ratio must be a positive finite number: volts/div and the fine gain are
// scaled and divided by it.
float y_system::SetReal_CustomProbeScale(int ch, float ratio) {
  VerticalBlock* b = Channel(ch);
  if (!b || !(ratio > 0) || !Finite(ratio)) return -1.0f;
  SemLock lock(sem_);
  return b->customProbeRatio = ratio;
}

float y_system::SetReal_ProbeScale(int ch, float ratio) {
  VerticalBlock* b = Channel(ch);
  if (!b || !(ratio > 0) || !Finite(ratio)) return -1.0f;
  SemLock lock(sem_);
  if (b->probe == kProbeCustom)
    b->customProbeRatio = ratio;
  else
    b->probeRatioCopy = ratio;
  return ratio;
}

// --- invert ---

int y_system::SetYInvert(int ch, int on) {
  VerticalBlock* b = Channel(ch);
  if (!b || on < 0) return -1;
  const int bit = on & 1;
  const int word = Status(ch) == kAcqStopped ? (b->invert & 0xFD00) | 0x200 | bit : bit ? 0x101 : 0;
  std::printf("### Ch%d  InvertMode = 0x%x \n", ch, unsigned(word));
  {
    SemLock lock(sem_);
    b->invert = uint16_t(word);
  }
  SendInvert();
  return word;
}

int y_system::SendInvert() {
  int word = 0;
  for (int ch = 0; ch < kAnalog; ++ch)
    if ((run_->vertical[ch].invert & 0xFF) == 1) word |= 1 << ch;
  return res_->board->SendRealControl(fpga::kInvert, word);
}

int y_system::GetYInvert(int ch) const {
  const VerticalBlock* b = Channel(ch);
  return b ? b->invert : -1;
}

// --- volts/div and position in force ---

int y_system::SetRealYsensitivity(int src, int index) {
  VerticalBlock* b = Block(src);
  if (!b || index < minLevel_ || index > kMaxRealIndex) return -1;
  SemLock lock(sem_);
  return b->vdivIndex = uint16_t(index);
}

// `volts` per division at the probe tip: the range of the hardware table
// nearest to it in proportion (the geometric mean of two neighbours is their
// border), after the channel's probe ratio.
int y_system::SetRealYsensitivityForVoltage(int src, double volts) {
  VerticalBlock* b = Block(src);
  if (!b || !(volts >= 0)) return -1;
  const double ratio = src < kAnalog ? double(GetYRealProbeScale(src)) : 1.0;
  const double v = ratio > 0 ? volts / ratio : volts;
  int index = kDefaultIndex;
  if (v > 0 && std::isfinite(v)) {
    index = minLevel_;
    double best = HUGE_VAL;
    for (int i = minLevel_; i <= kMaxRealIndex && i < kVoltageEntries; ++i) {
      const double d = std::fabs(std::log(double(Voltage[i]) / v));
      if (d < best * (1 - 1e-9)) {
        best = d;
        index = i;
      }
    }
  }
  SemLock lock(sem_);
  return b->vdivIndex = uint16_t(index);
}

int y_system::GetRealYsensitivity(int src) const {
  const VerticalBlock* b = Block(src);
  return b ? b->vdivIndex : -1;
}

float y_system::GetRealYDivVoltage(int src) const {
  const VerticalBlock* b = Block(src);
  return b ? b->vdivVolts : -1.0f;
}

float y_system::SetRealYDivVoltage(int ch, float volts) {
  VerticalBlock* b = Channel(ch);
  if (!b || !(volts > 0) || !Finite(volts)) return 0.0f;
  SemLock lock(sem_);
  b->vdivVolts = volts;
  if (Status(ch) != kAcqStopped) b->vdivShown = volts;
  return volts;
}

int y_system::GetRealYVoltage(int src, FloatElement* out) const {
  const VerticalBlock* b = Block(src);
  if (!b || !out) return -1;
  *out = b->vdivElement;
  return 0;
}

int y_system::SetRealYposition(int src, int position) {
  VerticalBlock* b = Block(src);
  if (!b || position < kPositionMin || position > kPositionMax) return -1;
  const double offset = double(position - kCentre) * b->vdivVolts / 25.0;
  FloatElement element{};
  res_->unitConvert->VUnitConvert(offset, &element);
  RunTimeStamp now{};
  plat::WallTime(&now.sec, &now.usec);
  SemLock lock(sem_);
  b->position = int16_t(position);
  b->offsetVoltage = float(offset);
  b->offsetElement = element;
  run_->positionTime = now;
  return position;
}

int y_system::GetRealYposition(int src) const {
  const VerticalBlock* b = Block(src);
  return b ? b->position : 0;
}

int y_system::GetOffsetVoltage(int ch, FloatElement* out) const {
  const VerticalBlock* b = Block(ch);
  if (!b || !out) return -1;
  *out = b->offsetElement;
  return 0;
}

int y_system::GetOffsetTime() const { return run_ ? run_->positionTime.sec : -1; }

int y_system::SetDC_Offset(int ch, float value) {
  VerticalBlock* b = Channel(ch);
  if (!b) return -1;
  SemLock lock(sem_);
  b->dcOffset = value;
  return 0;
}

// --- vernier ---

int y_system::GetFineOnOff(int ch) const {
  const VerticalBlock* b = Channel(ch);
  return b ? b->vernierOn : -1;
}

int y_system::SetFineOnOff(int ch, int on) {
  VerticalBlock* b = Channel(ch);
  if (!b || on < 0) return -1;
  {
    SemLock lock(sem_);
    b->vernierOn = uint16_t(on & 1);
  }
  FineGain(ch);
  return b->vernierOn;
}

float y_system::GetFineCoeff(int ch) const {
  const VerticalBlock* b = Channel(ch);
  return b ? b->vernierCoeff : 1.0f;
}

// --- labels ---

int y_system::LoadChLableName(int ch) {
  VerticalBlock* b = Block(ch);
  if (!b || ch > kAnalog) return -1;
  char label[kEeLabelBytes + 1] = {};
  for (int i = 0; i < kEeLabelBytes; ++i) {
    const uint8_t c = res_->eeprom->I2C_ReadU8(yee::ChLabel[ch] + i);
    if (c == 0 || c == 0xFF) break;  // the end, or a blank EEPROM
    label[i] = char(c);
  }
  {
    SemLock lock(sem_);
    std::memcpy(b->label, label, sizeof b->label);
  }
  std::printf("%d : %s \n", ch, b->label);
  return 0;
}

int y_system::SetChLabelName(int ch, const char* text) {
  VerticalBlock* b = Block(ch);
  if (!b || ch > kAnalog) return -1;
  if (!text) {
    SemLock lock(sem_);
    b->label[0] = 0;
    return 0;
  }
  char label[sizeof b->label] = {};
  std::memcpy(label, text, strnlen(text, kEeLabelBytes));
  {
    SemLock lock(sem_);
    std::memcpy(b->label, label, sizeof label);
  }
  for (int i = 0; i < kEeLabelBytes; ++i) {
    res_->eeprom->I2C_WriteU8(yee::ChLabel[ch] + i, uint8_t(label[i]));
    if (label[i] == 0) break;
  }
  return 0;
}

const char* y_system::GetChLabelName(int ch) const {
  const VerticalBlock* b = Block(ch);
  return b && ch <= kAnalog ? b->label : nullptr;
}

int y_system::IsChLableEnable(int ch) const {
  const VerticalBlock* b = Block(ch);
  if (!b || ch > kAnalog) return -1;
  return b->label[0] != 0 ? 1 : 0;
}

// --- temperature, 500 uV ---

int y_system::ChTemperaturePixelAdj(int ch, int code) {
  if (!Channel(ch)) return -1;
  SemLock lock(sem_);
  tempCorrection_[ch] = code;
  return 0;
}

void y_system::Ch500uVEnable() {
  minLevel_ = 2;
  enable500uV_ = 1;
}
