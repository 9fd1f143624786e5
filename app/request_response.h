// The handlers of the request codes: each applies its request to the
// vertical, horizontal and trigger models, the run state and the board.
#pragma once
#include "core/messages/request.h"

class response : public RequestResponder {
 public:
  response();
  int LoadResource(_SysResource* resource, _SysRunInfo* run) override;
  // Runs request `para`: -1 for a code above 19 or before LoadResource, else 0
  // (the handler's own result is not passed on).
  int FuncResponse(requestpara para, requestpara* answer) override;

  // Does nothing; kept beside the table.
  int ResponseChBiasAdj(requestpara para, requestpara* answer);

 private:
  using Handler = int (response::*)(requestpara, requestpara*);

  int ResponseChOnOff(requestpara p, requestpara* a);
  int ResponseChCtrl(requestpara p, requestpara* a);
  int ResponseChCouplingSet(requestpara p, requestpara* a);
  int ResponseChBwLimitSet(requestpara p, requestpara* a);
  int ResponseChVoltsDivSet(requestpara p, requestpara* a);
  int ResponseChProbeSet(requestpara p, requestpara* a);
  int ResponseChInvertSet(requestpara p, requestpara* a);
  int ResponseChUnitSet(requestpara p, requestpara* a);
  int ResponseNop(requestpara p, requestpara* a);
  int ResponseAcqConfig(requestpara p, requestpara* a);
  int ResponseHoriTypeSet(requestpara p, requestpara* a);
  int ResponseHoriHoldOffAdj(requestpara p, requestpara* a);
  int ResponseHoriGuideInit(requestpara p, requestpara* a);
  int ResponseDispTypeSet(requestpara p, requestpara* a);
  int ResponseDispFormatSet(requestpara p, requestpara* a);
  int ResponseDispPersistSet(requestpara p, requestpara* a);
  int ResponseClearQelPicture(requestpara p, requestpara* a);
  int ResponseTriggerSet(requestpara p, requestpara* a);
  int ResponseSquareSet(requestpara p, requestpara* a);
  int ResponseOutputSelSet(requestpara p, requestpara* a);

  bool Stopped() const;
  void RestartSampling();

  _SysResource* resource_ = nullptr;
  _SysRunInfo* run_ = nullptr;
  Handler handlers_[kRequestCodes];
};

// The handlers start-up installs, bound to the process-wide table and record.
extern response SysResponse;
