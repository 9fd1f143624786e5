// The measure module's periodic work: the measurement pass over the sources
// that shown overlays and used slots need, and the histogram of the display
// raster.
#include <algorithm>
#include <mutex>

#include "acquisition/engine/wave.h"
#include "analysis/measure/measure_draw.h"
#include "analysis/measure/task_measure.h"
#include "core/board/control.h"
#include "core/state/task_manage.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "platform/clock.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kVerticalHistogram = 1;
constexpr int kFadeShare = 200;          // a two-hundredth of a total fades every pass
constexpr int32_t kHorizontalFadeFrom = 1000;
constexpr int32_t kTotalCap = 2147308647;
constexpr uint8_t kLevelBits = 0x7F, kChannelBit = 0x80;
constexpr uint64_t kRunFuncXY = 0x4;

int Item(int n) { return int(uint16_t(TaskMeasure.TaskMenu.GetMenuItem(n))); }
}  // namespace

int TaskForMeasure::MeasurePass() {
  _SysRunInfoOp* run = Sys().runStatus;
  _wave* wave = Sys().wave;
  if (!run || !wave) return -1;
  const int on = run->GetChStatus();
  uint32_t measure = 0, request = 0;
  auto add = [&](int s) {
    if (s < 0 || s >= kMeaSources || !(on >> s & 1)) return;
    measure |= 1u << s;
    if (s < 2) request |= 1u << s;
  };
  for (int k = 0; k < kMeaUserSlots; ++k) {
    if (!(selMask_ >> k & 1)) continue;
    add(source_[k] & 0xFF);
    if (MeasureIsDoublePara(para_[k]) == 1) add(source_[k] >> 8);
  }
  const _measure::UserSelection sel = Selection();
  if (sel.pairShown) {
    add(sel.master);
    add(sel.slave);
  }
  if (IsDVMOn()) add(dvmSource_);
  if (request) {
    waveinfor w{};
    w.flags = kWaveReqRecordMask;
    w.chMask = uint16_t(request);
    wave->RequestWaveData(&w);
  }
  if (plat::MonoUs() < holdOffUntilUs_) return 0;

  std::lock_guard<std::recursive_mutex> lock(MeasureParaCalcu.Lock());
  for (int s = 0; s < kMeaSources; ++s) {
    if (measure >> s & 1) {
      MeasureParaCalcu.MeasureBasePara(s);
      continue;
    }
    for (int p : SingleChPara) MeasureParaCalcu.SetMeasureParaInvalid(s, p);
    if (!(request >> dvmSource_ & 1)) MeasureParaCalcu.DVMMeasureInvalid();
  }
  if (sel.pairShown && (measure >> sel.master & 1) && (measure >> sel.slave & 1)) {
    MeasureParaCalcu.MeasureDoubChPara(sel.master, sel.slave);
  } else {
    for (int p : DoubleChPara) MeasureParaCalcu.SetMeasureParaInvalid(sel.master, p);
  }
  if (selMask_) {
    MeasureParaCalcu.UserDefParaMeasure(sel);
    // Statistics count acquisitions: a record measured again (stopped, or a
    // slow time base between two passes) is not another sample.
    const int64_t serial = control::FinishedSignals();
    if (IsStatisticOn() && serial != statSerial_) {
      statSerial_ = serial;
      MeasureParaCalcu.UserDefStatisticParaCalcu(sel);
    }
  }
  return 0;
}

// The overlays themselves are drawn by the measure drawing; the module keeps
// the histogram's data current while it is shown.
// The overlays of this pass: the voltmeter, then the indicator lines or the
// first shown panel, then the user slots' statistics cards or result line.
// In X-Y with another module's menu, the indicator lines are all there is.
int TaskForMeasure::Display() {
  if (IsDVMOn()) MeasureDraw.DrawDVM(dvmSource_, dvmMode_);
  if (IsIndicatorOn()) {
    _SysRunInfoOp* run = Sys().runStatus;
    if (run && (run->GetFuncBits() & kRunFuncXY) && Manager().GetTaskCurrId() != kMeasureTaskId) return 0;
    MeasureDraw.DrawIndicator();
  } else if (IsAllParaOn()) {
    MeasureDraw.DrawAllPara();
  } else if (IsUserDefOn()) {
    MeasureDraw.DrawUserDef();
  } else if (IsHistogram()) {
    HistogramUpdate();
    DrawHistogram();
  }
  if (selMask_) {
    if (IsStatisticOn())
      MeasureDraw.DrawStatistic();
    else
      MeasureDraw.DrawUserDefResult();
  }
  return 0;
}

void TaskForMeasure::HistogramInit() {
  std::fill(histTotal_, histTotal_ + kMeaHistColumns, 0);
  std::fill(histHeight_, histHeight_ + kMeaHistColumns, 0.0f);
  histMax_ = histMin_ = 0;
  if (Sys().draw) Sys().draw->GetQelGrayscaleInfo(&raster_, 2, &palette_);
}

// One pass over the raster inside the area: each bin (a row for the vertical
// histogram, a column for the horizontal one) adds the intensity of the
// chosen channel's cells and fades by a two-hundredth of its total.
void TaskForMeasure::HistogramUpdate() {
  if (!raster_) return;
  const bool vertical = Item(kMeaHistogram) == kVerticalHistogram;
  const uint8_t channel = Item(kMeaHistSource) ? kChannelBit : 0;
  const int left = std::clamp(Item(kMeaHoriL), 0, kMeaHistColumns - 1);
  const int right = std::clamp(Item(kMeaHoriR), left, kMeaHistColumns - 1);
  const int top = std::clamp(Item(kMeaVertT), 0, kMeaHistRows - 1);
  const int bottom = std::clamp(Item(kMeaVertB), top, kMeaHistRows - 1);
  const int first = vertical ? top : left, last = vertical ? bottom : right;
  histMax_ = 0;
  histMin_ = 0;
  for (int bin = first; bin <= last; ++bin) {
    int64_t sum = 0;
    const int from = vertical ? left : top, to = vertical ? right : bottom;
    for (int i = from; i <= to; ++i) {
      const uint8_t cell = vertical ? raster_[bin * kMeaHistColumns + i] : raster_[i * kMeaHistColumns + bin];
      if ((cell & kChannelBit) == channel) sum += cell & kLevelBits;
    }
    int64_t total = histTotal_[bin] + sum;
    if (vertical || total > kHorizontalFadeFrom) total -= total / kFadeShare;
    histTotal_[bin] = int32_t(std::min<int64_t>(total, kTotalCap));
    if (histTotal_[bin] > 0) {
      histMax_ = std::max(histMax_, histTotal_[bin]);
      histMin_ = histMin_ == 0 ? histTotal_[bin] : std::min(histMin_, histTotal_[bin]);
    }
  }
  for (int bin = 0; bin < kMeaHistColumns; ++bin)
    histHeight_[bin] = histMax_ > 0 && histTotal_[bin] > 0 ? float(histTotal_[bin]) / float(histMax_) : 0.0f;
}
