// The vertical model: volts/div and position steps, the offset DAC, the soft
// offsets, the fine gains and the channel configuration words.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "acquisition/models/y_system_words.h"
#include "core/messages/settings_lock.h"
#include "core/state/ids.h"
#include "core/board/ch_cali_data.h"
#include "core/board/control.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/common/unit_convert.h"

namespace {
constexpr int kAnalog = 2;
constexpr int kSingleMode = 2;
constexpr int kDisplayOnlyFrom = 2;  // sources without hardware of their own
constexpr int kMathSource = 5;
constexpr int k500uV = kVoltage500uV;
constexpr int k1mV = 3;
constexpr int kMsgVoltageLimit = 1;
constexpr int kMsgBiasLimit = 2;
constexpr int kMsgTriggerLimit = 3;

// Highest volts/div index of the math trace by math type.
constexpr int16_t kMathMaxVoltage[5] = {38, 38, 16, 16, 38};

bool Held(int s) { return s == kAcqSingleWaiting || s == kAcqStopped || s == kAcqKnobApplying; }
bool Kept(int s) { return s == kAcqStopped || s == kAcqKnobApplying; }
}  // namespace

// --- volts/div ---

int y_system::AdjYsensitivity(int src, int step) {
  VerticalBlock* b = Block(src);
  if (!b) return -1;
  const bool channel = src < kAnalog;
  const double scale = channel ? GetYRealProbeScale(src) : 1.0;
  const int position = b->position;
  const int status = Status(src);

  const int r = AdjYsensitivityFine(src, step);
  int index = b->vdivIndex;
  FloatElement element{};
  if (!b->vernierOn || r == 1 || src >= 4) {
    int upper = kMaxRealIndex;
    if (src == kMathSource) upper = run_->mathType < 5 ? kMathMaxVoltage[run_->mathType] : kMaxRealIndex;
    index += step;
    if (index > upper) {
      index = upper;
      res_->message->SetMessage(kMsgVoltageLimit);
    } else if (index < minLevel_) {
      index = minLevel_;
      res_->message->SetMessage(kMsgVoltageLimit);
    }
    if (channel) res_->eeprom->I2C_WriteU8(yee::I2cDiv[src], uint8_t(index));
    const float volts = float(scale * Voltage[index]);
    res_->unitConvert->VUnitConvert(volts, &element);
    SemLock lock(sem_);
    b->vdivIndex = uint16_t(index);
    b->vdivVolts = volts;
    b->vdivElement = element;
  } else {
    res_->unitConvert->VUnitConvert(b->vdivVolts, &element);
    SemLock lock(sem_);
    b->vdivElement = element;
  }

  // Only the two analog channels have a front end; the other sources change
  // what is displayed.
  if (src >= kDisplayOnlyFrom) {
    Reprocess();
    return index;
  }

  // While loading, the trigger voltages are not known yet (the stored level
  // codes are): the codes stay and start-up derives the voltages from them.
  if (res_->trigger && run_->trigSource == src && !loading_)
    TriggerFollowRange(src, position);
  else
    AdjYPosition(src, 0);

  if (Kept(status)) {
    Reprocess();
    return index;
  }
  SyncChannelConfig();
  if (status == kAcqSingleWaiting && ReadSinceChange()) {
    SendFrontEnd();
    res_->board->SendRealControl(fpga::kPause, 0);
  } else {
    // Held whole: a STOP let in during the settle would be followed by the sampling restart.
    SettingsKeep whole;
    res_->board->FPGAResetEnable();
    SendFrontEnd();
    res_->runStatus->ClearInterruptFlag();
    SettingsWaitMs(10);
    res_->board->SysSample();
  }
  return index;
}

int y_system::AdjYsensitivityFine(int src, int step) {
  VerticalBlock* b = Block(src);
  if (!b) return -1;
  if (!b->vernierOn) return 1;
  const int index = std::clamp<int>(b->vdivIndex, 0, kVoltageEntries - 1);
  const double scale = src < kAnalog ? GetYRealProbeScale(src) : 1.0;
  const double v = b->vdivVolts + step * scale * Voltage[index] / 100.0;
  const double upper = scale * Voltage[std::min(index + 1, int(kMaxRealIndex))];
  const double lower = scale * Voltage[std::max(index - 1, int(minLevel_))];
  if (src >= kAnalog) return v >= upper || v <= lower ? 1 : 0;

  std::printf("Ch = %d  FineCoeff = %f \n\n\n", src, v);
  double result = v;
  int r = 0;
  if (v >= upper) {
    result = upper;
    r = 1;
  } else if (v <= lower) {
    result = lower;
    r = 1;
  }
  SemLock lock(sem_);
  b->vernierCoeff = float(v);
  b->vdivVolts = float(result);
  if (Status(src) != kAcqStopped) b->vdivShown = b->vdivVolts;
  return r;
}

// --- position and the offset DAC ---

int y_system::DacPosition(int ch, int position) const {
  int p = position;
  if (run_->temperatureComp) p += tempCorrection_[ch];
  if ((run_->vertical[ch].invert & 0xFF) == 1) p = 255 - p;
  return p;
}

int y_system::OffsetDac(int ch, int index, int p) const {
  const CaliRecord* r = Record(ch, index);
  if (!r) return 0;
  float slope = p >= kCentre ? r->upperSlope : r->lowerSlope;
  if (!std::isfinite(slope)) slope = 0;
  // A damaged record cannot make the code overflow: the DAC refuses codes
  // outside 12 bits anyway.
  const double code = std::clamp(std::trunc(double(kCentre - p) * slope), -65536.0, 65536.0);
  return int(code) + r->centreDac;
}

int y_system::AdjYPosition(int src, int step) {
  VerticalBlock* b = Block(src);
  if (!b) return -1;
  if (src >= kAnalog) {
    SetRealYposition(src, b->position + step);
    Reprocess();
    return b->position;
  }
  const int ch = src;

  // 1. Clamp; the step that reaches an extreme raises the message and moves
  // the trigger level by nothing.
  int pos = b->position + step;
  bool limit = false;
  if (pos > kPositionMax || pos < kPositionMin || (step != 0 && (pos == kPositionMax || pos == kPositionMin))) {
    pos = std::clamp(pos, kPositionMin, kPositionMax);
    limit = true;
  }
  const int trigStep = limit ? 0 : step;

  // 2. Position in force and its EEPROM word.
  SetRealYposition(ch, pos);
  res_->eeprom->I2C_WriteU16(yee::I2cOffset[ch], uint16_t(int16_t(pos)));

  // 4. A kept record only moves on screen, by the soft offset.
  int status = Status(ch);
  if (Kept(status)) {
    SettingsKeep whole;  // pause, settle, re-read: one sequence
    res_->board->SendRealControl(fpga::kPause, 1);
    SettingsWaitMs(10);
    if (res_->trigger && run_->trigSource == ch) TriggerStep(trigStep);
    const int r = SyncChannelConfig();
    Reprocess();
    if (r >= 0) {
      if (limit) res_->message->SetMessage(kMsgBiasLimit);
      return pos;
    }
    {
      SemLock lock(sem_);
      run_->acqStatus[ch] = 0;
    }
    status = 0;
  }

  // 3, 5. Temperature correction and inversion; 6, 7. the offset DAC.
  const int p = DacPosition(ch, pos);
  if (status != kAcqSingleWaiting) res_->board->FPGAResetEnable();
  res_->board->ChannelDAC_Set(ch, OffsetDac(ch, b->vdivIndex, p));

  // 8. Soft offsets, channel words, ground level.
  SetAllChSoftOffset();
  SyncChannelConfig();
  res_->board->ChGndEnable(run_);

  // 9. The trigger level follows.
  TriggerFollowPosition(ch, trigStep);

  // 10. Resume or restart.
  if (status == kAcqSingleWaiting && run_->trigMode != kSingleMode && ReadSinceChange()) {
    res_->board->SendRealControl(fpga::kPause, 0);
  } else {
    res_->runStatus->ClearInterruptFlag();
    res_->board->SysSample();
  }

  // 11. Messages.
  if (limit)
    res_->message->SetMessage(kMsgBiasLimit);
  else if (step != 0 && res_->message->GetMessageID() == kMsgTriggerLimit)
    res_->message->ClearMessage();
  return pos;
}

int y_system::AdjYTemperaturePosition(int ch, int delta) {
  VerticalBlock* b = Channel(ch);
  if (!b) return -1;
  const int pos = std::clamp(b->position + delta, kPositionMin, kPositionMax);
  const int code = OffsetDac(ch, b->vdivIndex, DacPosition(ch, pos));
  res_->board->ChannelDAC_Set(ch, code);
  return code;
}

// --- soft offsets, fine gains, configuration ---

int y_system::SetAllChSoftOffset() {
  if (!run_) return -1;
  int bytes[kAnalog], soft[kAnalog];
  {
    SemLock lock(sem_);
    for (int ch = 0; ch < kAnalog; ++ch) {
      VerticalBlock& b = run_->vertical[ch];
      if (!Kept(Status(ch))) {
        bytes[ch] = std::clamp<int>(b.position, 0, 255);
        soft[ch] = b.position - b.positionSelected;
      } else {
        // A record kept with the other inversion than now is shown mirrored:
        // bit 8 is the inversion it was taken with, bit 0 the one now.
        bytes[ch] = std::clamp<int>(b.positionSelected, 0, 255);
        const bool mirrored = (b.invert >> 8 & 1) != (b.invert & 1);
        soft[ch] = mirrored ? b.positionSelected - (255 - b.position) : b.position - b.positionSelected;
      }
      b.positionByte = uint32_t(bytes[ch]);
      b.softOffset = uint32_t(soft[ch]);
    }
  }
  control* board = res_->board;
  board->SendRealControl(fpga::kPositionBytes, bytes[0] | bytes[1] << 8);
  board->SendRealControl(kSoftOffsetWord[0], soft[0] & 0xFFFF);
  board->SendRealControl(kSoftOffsetWord[1], soft[1] & 0xFFFF);
  return 0;
}

uint16_t y_system::FineGainWord(int ch, bool shown) const {
  const VerticalBlock& b = run_->vertical[ch];
  const int index = std::clamp<int>(b.vdivIndex, 0, kVoltageEntries - 1);
  const double range = shown ? double(b.vdivShown) : double(GetYRealProbeScale(ch)) * Voltage[index];
  double ratio = range / double(b.vdivVolts);
  if (!std::isfinite(ratio) || ratio <= 0) ratio = 1.0;  // no volts/div in force: unity gain
  if (index == k500uV) ratio *= 2;                       // the 1 mV range read at twice the gain
  // Float rounding of volts/div must not turn a whole ratio into 0.99999.
  ratio = std::min(std::round(ratio * 1e5) / 1e5, 255.0);
  const double whole = std::floor(ratio);
  return uint16_t(int(whole) << 8 | int((ratio - whole) * 255));
}

int y_system::FineGain(int ch) {
  VerticalBlock* b = Channel(ch);
  if (!b) return -1;
  const uint16_t word = FineGainWord(ch, Status(0) == kAcqStopped);
  {
    SemLock lock(sem_);
    b->fineGain = word;
  }
  res_->board->SendRealControl(kFineGainWord[ch], word);
  res_->board->SendRealControl(fpga::kGainLoad, 3);
  return word;
}

int y_system::AllChFineGain() {
  if (!run_) return -1;
  const bool shown = Kept(Status(0));
  uint16_t words[kAnalog];
  {
    SemLock lock(sem_);
    for (int ch = 0; ch < kAnalog; ++ch) run_->vertical[ch].fineGain = words[ch] = FineGainWord(ch, shown);
  }
  for (int ch = 0; ch < kAnalog; ++ch) res_->board->SendRealControl(kFineGainWord[ch], words[ch]);
  res_->board->SendRealControl(fpga::kGainLoad, 3);
  return 0;
}

int y_system::SyncChannelConfig() {
  if (!run_) return -1;
  control* board = res_->board;
  const VerticalBlock* b = run_->vertical;
  board->SendRealControl(fpga::kGainLoad, 1);
  const int s = Status(0);
  if (Held(s)) {
    board->SendRealControl(fpga::kPause, 1);
    for (int ch = 0; ch < kAnalog; ++ch)
      board->SendRealControl(kSoftOffsetWord[ch], (b[ch].position - b[ch].positionSelected) & 0xFFFF);
    SetAllChSoftOffset();
    FineGain(0);
    FineGain(1);
    if (s == kAcqStopped) {
      std::printf("x Stop 0x7a\t1 --- >   0\n");
      board->SendRealControl(fpga::kReadArm, 1);
      board->SendRealControl(fpga::kReadArm, 0);
      return 0;
    }
  } else {
    // Positions beyond the screen are sent as its edge, so one channel's
    // byte never spills into the other's.
    board->SendRealControl(fpga::kPositionBytes,
                           std::clamp<int>(b[0].position, 0, 255) | std::clamp<int>(b[1].position, 0, 255) << 8);
    board->SendRealControl(kSoftOffsetWord[0], 0);
    board->SendRealControl(kSoftOffsetWord[1], 0);
    FineGain(0);
    FineGain(1);
  }
  if (ReadSinceChange()) {
    if (s == kAcqKnobApplying) {
      res_->timeBase->AdjTimeBase(run_->activeCh, 0);
      return 0;
    }
    board->SendRealControl(fpga::kReadArm, 1);
    board->SendRealControl(fpga::kReadArm, 0);
    return 0;
  }
  board->SysSample();
  return -1;
}

int y_system::SendFrontEnd() { return res_->board->AnalogChannelControl(run_); }

// --- calibration records ---

CaliRecord* y_system::Record(int ch, int index) const {
  // The 500 uV/div range runs the 1 mV hardware range and its record.
  if (!cal_ || index < k500uV || index > kMaxRealIndex) return nullptr;
  return cal_->Record(ch, index == k500uV ? k1mV : index);
}
