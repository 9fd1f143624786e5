// The time base model: start-up, the index and pre-trigger accessors and the
// mode words.
#include "acquisition/models/x_system.h"
#include "acquisition/models/x_system_internal.h"

#include <algorithm>
#include <cstdio>

#include "acquisition/engine/wave.h"
#include "acquisition/models/acq_mode_word.h"
#include "acquisition/tables/timebase_tables.h"
#include "acquisition/models/word_list.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/fpga_words.h"
#include "core/board/i2c_storage.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/wave_types.h"

x_system TimeBase;

using namespace xsys;

namespace {
constexpr int kLastRealTimeMin = 25, kLastRealTimeMax = 38;
constexpr uint64_t kFuncRoll = 0x2;  // set while the slow scan (roll) runs
constexpr int kHoriNormal = 1;
constexpr int kWaveRollType = 3, kWaveNormalType = 2;  // the waveform engine's numbering

}  // namespace

x_system::x_system() : sem_(kSharedSemKey) {}

HorizontalBlock& x_system::H(int ch) const { return run_->horizontal[ch]; }

int x_system::Status(int ch) const { return run_->acqStatus[ch == 1 ? 1 : 0]; }

bool x_system::Interpolating(int ch) const { return H(ch).interpMultiplier > 1.0f; }

double x_system::SamplesPerPoint(int ch) const {
  if (Interpolating(ch)) return 1.0;
  return std::max(1.0, double(H(ch).samplesPerPoint));
}

double x_system::Depth(int ch) const {
  double points = 0;
  if (resource_->runStatus->GetMemDepth(&points) == 0) return std::max(1.0, H(ch).autoDepth);
  return points;
}

void x_system::LoadXsystem(_SysResource* resource, _SysRunInfo* runinfo) {
  if (!resource) {
    std::printf("LoadXsystem _SysResource Error! ");
    return;
  }
  if (!runinfo) {
    std::printf("LoadXsystem _SysRunInfo Error! ");
    return;
  }
  resource_ = resource;
  run_ = runinfo;
  I2C& ee = *resource_->eeprom;
  // A blank (0xFF) or damaged EEPROM gives the defaults.
  int index = ee.I2C_ReadU8(EE_TIMEBASE);
  if (index < Get_timeBase_MIN() || index > kTimeBaseMaxIndex) index = kDefaultTimeBase;
  const uint32_t stored = ee.I2C_ReadU32(EE_PRETRIG_DEPTH);
  const int64_t depth = stored <= uint32_t(kRecordSamples) ? int64_t(stored) : kRecordCentre;
  {
    SemLock lock(sem_);
    HorizontalBlock& h = H(0);
    h.timeBase = h.realTimeBase = uint16_t(index);
    h.preTrigSelected = h.preTrigDepth = kRecordCentre;
    h.stopMovePos = 0;
    run_->acqStatus[0] = run_->acqStatus[1] = 1;
    run_->horiPoints = 1;
    xHoriPointsSel = 1;
    lastRealTimeBase_ = kDefaultLastRealTime;
    rollThreshold_ = kDefaultRollThreshold;
  }
  AdjTimeBase(0, 0);
  SetPreTrigDepth(0, depth);
  SetRealPreTrigDepth(0, depth);
  AdjPreTrigDepth(0, 0);
  trigDelayLimit_ = 1;
}

// ---- time-base indices -----------------------------------------------------

int x_system::Get_timeBase_MIN() const {
  if (!run_) return 3;
  const int bw = resource_->runStatus->Get_BW_LIM();
  if (bw == 0) return 4;
  if (bw == 1) return 3;
  return std::min(bw, kTimeBaseMaxIndex);
}

int x_system::SetIndex(int ch, int index, uint16_t HorizontalBlock::*field) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  if (index < Get_timeBase_MIN() || index > kTimeBaseMaxIndex) return -1;
  SemLock lock(sem_);
  H(ch).*field = uint16_t(index);
  return index;
}

int x_system::SetTimeBase(int ch, int index) { return SetIndex(ch, index, &HorizontalBlock::timeBase); }
int x_system::SetRealTimeBase(int ch, int index) { return SetIndex(ch, index, &HorizontalBlock::realTimeBase); }
int x_system::SetZoomTimeBase(int ch, int index) { return SetIndex(ch, index, &HorizontalBlock::zoomTimeBase); }

int x_system::GetTimeBase(int ch) const { return PointerNullCheck() && Block(ch) ? H(ch).timeBase : -1; }
int x_system::GetRealTimeBase(int ch) const { return PointerNullCheck() && Block(ch) ? H(ch).realTimeBase : -1; }
int x_system::GetZoomTimeBase(int ch) const { return PointerNullCheck() && Block(ch) ? H(ch).zoomTimeBase : -1; }

// The step i with TimeBaseS[i] <= seconds < TimeBaseS[i + 1]; a value given
// in decimal (a SCPI text) may lie a rounding error below its step.
int x_system::FindIndex(double seconds) const {
  if (!(seconds >= 0)) return -1;
  const double s = seconds * (1 + 1e-9);
  for (int i = 0; i <= kTimeBaseMaxIndex; ++i)
    if (TimeBaseS[i] <= s && s < TimeBaseS[i + 1]) return i;
  return -1;
}

int x_system::SetRealTimeBaseS(int ch, double seconds) {
  const int index = FindIndex(seconds);
  if (!PointerNullCheck() || !Block(ch) || index < 0) return -1;
  {
    SemLock lock(sem_);
    H(ch).realTimeBase = uint16_t(index);
  }
  AdjTimeBase(ch, 0);
  return index;
}

int x_system::SetZoomTimeBaseS(int ch, double seconds) {
  const int index = FindIndex(seconds);
  if (!PointerNullCheck() || !Block(ch) || index < 0) return -1;
  {
    SemLock lock(sem_);
    H(ch).zoomTimeBase = uint16_t(index);
  }
  AdjZoomTimeBase(ch, 0);
  return index;
}

double x_system::GetTimeBaseDivTime(int index) const {
  return index >= 0 && index < kTimeBaseEntries ? TimeBaseS[index] : 0.0;
}

double x_system::CalcuSample(int index) const {
  return index >= 0 && index < kTimeBaseEntries ? 50.0 / TimeBaseS[index] : 0.0;
}

double x_system::GetCurrTimeBaseSample(int ch) const {
  return PointerNullCheck() && (ch == 0 || ch == 1) ? double(H(ch).sampleRate) : -1.0;
}

int x_system::SetMaxRealAndRollTimeBase(int ch, int index) {
  if (ch != 0 && ch != 1) return -1;
  if (index < kLastRealTimeMin || index > kLastRealTimeMax) {
    lastRealTimeBase_ = kDefaultLastRealTime;
    rollThreshold_ = kDefaultRollThreshold;
    return -1;
  }
  lastRealTimeBase_ = int16_t(index);
  rollThreshold_ = int16_t(index + 1);
  return 0;
}

int x_system::SetHoriPoints(int sel) {
  if (sel != 0 && sel != 1) return -1;
  xHoriPointsSel = int16_t(sel);
  if (run_) {
    SemLock lock(sem_);
    run_->horiPoints = uint16_t(sel);
  }
  return sel;
}

// ---- pre-trigger fields ----------------------------------------------------

int64_t x_system::GetPreTrigDepth(int ch) const { return PointerNullCheck() && Block(ch) ? H(ch).preTrigSelected : -1; }
int64_t x_system::GetRealPreTrigDepth(int ch) const { return PointerNullCheck() && Block(ch) ? H(ch).preTrigDepth : -1; }

int x_system::SetDepthField(int ch, int64_t HorizontalBlock::*field, int64_t v) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  SemLock lock(sem_);
  H(ch).*field = v;
  return 0;
}

int x_system::SetPreTrigDepth(int ch, int64_t d) { return SetDepthField(ch, &HorizontalBlock::preTrigSelected, d); }
int x_system::SetRealPreTrigDepth(int ch, int64_t d) { return SetDepthField(ch, &HorizontalBlock::preTrigDepth, d); }
int x_system::SetReadyPreTrigDepth(int ch, int64_t d) { return SetDepthField(ch, &HorizontalBlock::preTrigReady, d); }
int x_system::SetZoomMovePos(int ch, int64_t pos) { return SetDepthField(ch, &HorizontalBlock::zoomPosition, pos); }

double x_system::GetRealPreTrigTime(int ch) const {
  return PointerNullCheck() && (ch == 0 || ch == 1) ? H(ch).offsetTime : -1.0;
}

int x_system::SetRealPreTrigTime(int ch, double seconds) {
  if (!PointerNullCheck() || (ch != 0 && ch != 1)) return -1;
  SemLock lock(sem_);
  H(ch).offsetTime = seconds;
  return 0;
}

int x_system::GetRealPreTrigDepthScreenPos(int ch) const {
  return PointerNullCheck() && Block(ch) ? H(ch).triggerScreenPos : -1;
}

int64_t x_system::GetZoomMovePos(int ch) const { return PointerNullCheck() && Block(ch) ? H(ch).zoomPosition : -1; }

// ---- mode words ------------------------------------------------------------

int x_system::AdjHoldOff(int ch) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  WordList w;
  w.Add32(fpga::kHoldOff, Clamp32(H(ch).holdOff));
  return w.Send(*resource_->board);
}

int x_system::AdjAcquireMode(int ch) {
  if (!PointerNullCheck() || !Block(ch)) return -1;
  const int code = AcqModeWord(run_->acqMode);
  return resource_->board->SendRealControl(fpga::kAcqMode, code < 0 ? 0 : code);
}

int x_system::DisplayWaveMode() {
  if (!PointerNullCheck()) return -1;
  const bool zoom = run_->timeBaseType == 1;
  WordList w;
  w.Add(fpga::kDisplayType, run_->displayWord);
  w.Add(fpga::kDisplayFormat, zoom ? 0 : run_->displayFormat);
  w.Add(fpga::kDisplayWord2, run_->displayWord2);
  return w.Send(*resource_->board);
}

int x_system::ChangeAcqWaveMode(int ch) {
  if (!PointerNullCheck() || !Block(ch) || Status(ch) == kAcqStopped) return -1;
  const bool roll = H(ch).realTimeBase >= rollThreshold_ && run_->trigMode == 0;
  // The waveform engine's own wave type: a roll starts on an empty roll record.
  if (resource_->wave) resource_->wave->SetWaveType(roll ? kWaveRollType : kWaveNormalType);
  SemLock lock(sem_);
  if (roll) {
    run_->horiMode = kHoriRoll;
    run_->rollFlag = 1;
    run_->waveType = kWaveRoll;
    if (run_->independentTimeBase == 1)
      run_->acqStatus[ch == 1 ? 1 : 0] = kAcqSlowScan;
    else
      run_->acqStatus[0] = run_->acqStatus[1] = kAcqSlowScan;
    run_->funcBits |= kFuncRoll;
  } else {
    if (run_->horiMode == kHoriRoll) run_->horiMode = kHoriNormal;
    run_->rollFlag = 0;
    run_->funcBits &= ~kFuncRoll;
    // The screen paints the FPGA's intensity raster, which the display words
    // re-window, zoom and rescale for a stopped record.
    run_->waveType = kWaveRaster;
  }
  return 0;
}
