#include "app/request_response.h"

#include "acquisition/models/acq_mode_word.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/state/ids.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "ui/screen/qel_draw.h"

// Only addresses are taken, so the order of static construction does not matter.
response SysResponse;

namespace {
constexpr int kTimeBaseMain = 0;
constexpr int kTimeBaseZoom = 1;
constexpr int kGuidancePullBack = 4;  // guidance mode of request 12

constexpr int kMaxPersist = 10;
constexpr int kMathSource = 5;
constexpr int kRefSources[] = {8, 9, 10};
}  // namespace

response::response()
    : handlers_{&response::ResponseChOnOff,        &response::ResponseChCtrl,
                &response::ResponseChCouplingSet,  &response::ResponseChBwLimitSet,
                &response::ResponseChVoltsDivSet,  &response::ResponseChProbeSet,
                &response::ResponseChInvertSet,    &response::ResponseChUnitSet,
                &response::ResponseNop,            &response::ResponseAcqConfig,
                &response::ResponseHoriTypeSet,    &response::ResponseHoriHoldOffAdj,
                &response::ResponseHoriGuideInit,  &response::ResponseDispTypeSet,
                &response::ResponseDispFormatSet,  &response::ResponseDispPersistSet,
                &response::ResponseClearQelPicture, &response::ResponseTriggerSet,
                &response::ResponseSquareSet,      &response::ResponseOutputSelSet} {
  LoadResource(&SystemResource, &SysRunInfo);
}

int response::LoadResource(_SysResource* resource, _SysRunInfo* run) {
  if (!resource || !run) return -1;
  resource_ = resource;
  run_ = run;
  return 0;
}

int response::FuncResponse(requestpara para, requestpara* answer) {
  if (para.code >= kRequestCodes || !resource_) return -1;
  (this->*handlers_[para.code])(para, answer);
  return 0;
}

bool response::Stopped() const { return resource_->runStatus->GetAcquireStatus(0) == kAcqStopped; }

void response::RestartSampling() { resource_->board->SysSample(); }

int response::ResponseChBiasAdj(requestpara, requestpara*) { return 0; }

int response::ResponseChOnOff(requestpara p, requestpara*) {
  int r = resource_->vertical->SetChOnOff(p.target, p.value == 1 ? 1 : 0);
  resource_->board->LedCtrl(run_);
  resource_->draw->ClearQelPicture();
  return r;
}

// The channel's volts/div re-applied and the front-end word resent; while
// running the acquisition is held in reset around the word.
int response::ResponseChCtrl(requestpara p, requestpara*) {
  int r = resource_->vertical->AdjYsensitivity(p.target, 0);
  const int status = resource_->runStatus->GetAcquireStatus(0);
  control* board = resource_->board;
  if (status == kAcqSingleWaiting || status == kAcqStopped) {
    board->AnalogChannelControl(run_);
  } else {
    board->FPGAResetEnable();
    board->AnalogChannelControl(run_);
    board->SysSample();
  }
  if (status == kAcqSlowScan) resource_->timeBase->AdjTimeBase(0, 0);
  return r;
}

int response::ResponseChCouplingSet(requestpara p, requestpara*) {
  return resource_->vertical->SetChCoupling(p.target, p.value);
}
int response::ResponseChBwLimitSet(requestpara p, requestpara*) {
  return resource_->vertical->SetChBwLimit(p.target, p.value);
}
int response::ResponseChVoltsDivSet(requestpara p, requestpara*) {
  return resource_->vertical->SetFineOnOff(p.target, p.value);
}
int response::ResponseChProbeSet(requestpara p, requestpara*) {
  return resource_->vertical->SetYRealprobe(p.target, p.value);
}
int response::ResponseChInvertSet(requestpara p, requestpara*) {
  return resource_->vertical->SetYInvert(p.target, p.value);
}
int response::ResponseChUnitSet(requestpara p, requestpara*) {
  return resource_->vertical->SetChUnit(p.target, p.value);
}
int response::ResponseNop(requestpara, requestpara*) { return 0; }

int response::ResponseAcqConfig(requestpara p, requestpara*) {
  int word = AcqModeWord(p.value);
  if ((p.target != 0 && p.target != 1) || word < 0) return -1;
  control* board = resource_->board;
  _SysRunInfoOp* status = resource_->runStatus;
  if (p.value == 3) {
    int average = 0;
    status->GetAcquireAverage(&average);
    board->SendRealControl(fpga::kAverage, average);
  }
  board->SendRealControl(fpga::kAcqMode, word);
  x_system* timeBase = resource_->timeBase;
  timeBase->AdjTimeBase(p.target, 0);
  if (status->GetTimeBaseType() == kTimeBaseZoom) {
    // The zoom window follows the new samples per point.
    timeBase->CalcuZoomGapAndRange(timeBase->GetRealTimeBase(0), timeBase->GetZoomTimeBase(0));
    timeBase->AdjZoomTimeBase(0, 0);
    RestartSampling();
    status->ClearInterruptFlag();
  }
  return 0;
}

int response::ResponseHoriTypeSet(requestpara p, requestpara* a) {
  const int r = resource_->timeBase->ZoomInit(p.target) < 0 ? -1 : 0;
  if (a) {
    a->code = p.code;
    a->value = int16_t(r);
  }
  if (r == 0) {
    if (!Stopped()) {
      resource_->draw->ClearQelPicture();
      RestartSampling();
    }
    resource_->runStatus->SetDrawRefresh();
  }
  return r;
}

int response::ResponseHoriHoldOffAdj(requestpara p, requestpara*) {
  uint32_t count = p.value32;
  run_->horizontal[0].holdOff = int64_t(uint64_t(count));  // counts above 2^31 stay positive
  control* board = resource_->board;
  board->SendRealControl(fpga::kHoldOff, int(count & 0xFFFF));
  board->SendRealControl(fpga::High(fpga::kHoldOff), int(count >> 16));
  return 0;
}

// The guidance check of block t that pulls the stop move position back.
int response::ResponseHoriGuideInit(requestpara p, requestpara*) {
  return resource_->timeBase->GuidanceWorkStatus(p.target, kGuidancePullBack);
}

int response::ResponseDispTypeSet(requestpara p, requestpara*) {
  if (p.value < 0 || p.value >= 2) return -1;
  resource_->board->SendRealControl(fpga::kDisplayType, p.value);
  if (Stopped()) resource_->timeBase->AdjTimeBase(0, 0);
  return 0;
}

int response::ResponseDispFormatSet(requestpara p, requestpara*) {
  if (p.value < 0 || p.value > 1) return -1;
  control* board = resource_->board;
  y_system* vertical = resource_->vertical;
  if (p.value == 0) {
    resource_->runStatus->SetTimeBaseType(kTimeBaseMain);
    board->SendRealControl(fpga::kWindowRead, 0);
    board->SendRealControl(fpga::kDisplayFormat, 0);
  } else {
    for (int src : kRefSources) vertical->SetChOnOff(src, 0);
    vertical->SetChOnOff(kMathSource, 0);
    for (int ch = 0; ch < 2; ++ch) {
      if (resource_->runStatus->GetChStatus() & (1 << ch)) continue;
      vertical->SetChOnOff(ch, 1);
      vertical->AdjYsensitivity(ch, 0);
    }
    RestartSampling();
    resource_->timeBase->ZoomInit(1);
    resource_->runStatus->SetTimeBaseType(kTimeBaseMain);
    board->SendRealControl(fpga::kWindowRead, 1);
    board->SendRealControl(fpga::kDisplayFormat, 1);
  }
  resource_->draw->ClearDisplayWave();
  if (!Stopped()) {
    resource_->runStatus->ClearInterruptFlag();
    RestartSampling();
  }
  return 0;
}

int response::ResponseDispPersistSet(requestpara p, requestpara*) {
  if (p.value < 0 || p.value > kMaxPersist) return -1;
  resource_->board->SendRealControl(fpga::kDisplayWord2, p.value);
  return 0;
}

int response::ResponseClearQelPicture(requestpara, requestpara*) {
  resource_->draw->ClearQelPicture();
  return 0;
}

int response::ResponseTriggerSet(requestpara, requestpara*) { return resource_->trigger->SentTriggerConfigPara(); }
int response::ResponseSquareSet(requestpara, requestpara*) { return 0; }
int response::ResponseOutputSelSet(requestpara, requestpara*) { return 0; }
