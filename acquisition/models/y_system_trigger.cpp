// The vertical model's links to its neighbours: the trigger levels that follow
// a channel, and the waveform engine's count of acquisitions read.
#include <algorithm>
#include <cmath>

#include "acquisition/engine/wave.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/models/y_system.h"
#include "core/common/unit_convert.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

namespace {
constexpr double kCodesPerDiv = 25.0;
constexpr int kBothLevels = 2;

// Couplings 1 and 3 reference the level to the signal's mean; the others to
// the screen centre, so their codes carry the channel position.
bool DcReferenced(int coupling) { return (coupling & ~2) != 1; }

// A level in codes as the i16 a level holds (a voltage far off screen stays
// at the end of the range instead of overflowing). Whole codes that float
// volts/div put a hair below stay whole: 0.2 V at 100 mV/div is 50 codes.
int Code(double codes) {
  if (!std::isfinite(codes)) return 0;
  codes = std::clamp(codes, -32768.0, 32767.0);
  const double whole = std::round(codes);
  return int(std::fabs(codes - whole) < 1e-4 ? whole : std::trunc(codes));
}

// Slope, Runt and Window move both levels.
bool MovesBothLevels(int type) { return type >= 3 && type <= 5; }
// Delay, SetupHold, I2C and SPI take a level from a channel besides their source.
bool LevelOnChannel(int type) { return type == 6 || type == 9 || type == 13 || type == 14; }
}  // namespace

bool y_system::ReadSinceChange() const { return res_->wave->GetRealRunWaveCnt() != 0; }

void y_system::ClearReadCount() { res_->wave->ClearRealRunWaveCnt(); }

void y_system::Reprocess() { res_->wave->SetWaveProcessFlag(); }

// The trigger voltage stays and its code moves with the range.
void y_system::TriggerFollowRange(int ch, int position) {
  trig_system* t = res_->trigger;
  const double unit = run_->vertical[ch].vdivVolts / kCodesPerDiv;
  const double v0 = t->GetTriggerVoltage(ch, 0), v1 = t->GetTriggerVoltage(ch, 1);
  if (unit > 0 && std::isfinite(unit)) {
    int code0 = Code(v0 / unit), code1 = Code(v1 / unit);
    if (DcReferenced(run_->trigCoupling)) {
      code0 += position - kCentre;
      code1 += position - kCentre;
    }
    t->SetTriggerPos(ch, 0, code0);
    t->SetTriggerPos(ch, 1, code1);
  }
  AdjYPosition(ch, 0);
  t->SetTriggerVoltage(ch, 0, v0);
  t->SetTriggerVoltage(ch, 1, v1);
  FloatElement e0{}, e1{};
  res_->unitConvert->VUnitConvert(v0, &e0);
  res_->unitConvert->VUnitConvert(v1, &e1);
  SemLock lock(sem_);
  run_->levelVoltage[ch].levelText[0] = e0;
  run_->levelVoltage[ch].levelText[1] = e1;
}

// A DC-referenced level moves with the channel position. Triggers that take a
// level from a channel other than their source move that channel's level by
// making it the source for the moment.
void y_system::TriggerFollowPosition(int ch, int step) {
  trig_system* t = res_->trigger;
  const int type = run_->trigType;
  const bool onChannel = LevelOnChannel(type);
  if (!t || !(onChannel || run_->trigSource == ch)) return;
  const int16_t level = run_->trigLevelSel;
  const int16_t source = run_->trigSource;
  if (MovesBothLevels(type)) {
    SemLock lock(sem_);
    run_->trigLevelSel = kBothLevels;
  }
  if (onChannel) t->SetTriggerSource(ch);
  if (DcReferenced(run_->trigCoupling)) t->AdjTriggerPosition(step);
  {
    SemLock lock(sem_);
    run_->trigLevelSel = level;
  }
  if (!onChannel) return;
  if (source >= 0 && source <= 3) {
    t->RestoreTriggerSource(source);
  } else {
    SemLock lock(sem_);
    run_->trigSource = source;
  }
}

void y_system::TriggerFollowProbe(int ch, float ratio) {
  if (res_->trigger && run_->trigSource == ch) res_->trigger->TrigVoltageSyncProbeRatio(ratio);
}

void y_system::TriggerStep(int step) { res_->trigger->AdjTriggerPosition(step); }
