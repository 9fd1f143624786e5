// The request dispatcher: menu handlers of the channel, acquire, horizontal and
// display modules apply settings by a numbered request, which the `response`
// table hands to the vertical, horizontal and trigger models and the board.
#pragma once
#include <cstdint>
#include <mutex>

struct _SysResource;
struct _SysRunInfo;

// Request codes.
enum RequestCode : uint16_t {
  kReqChOnOff = 0,
  kReqChCtrl = 1,
  kReqChCoupling = 2,
  kReqChBwLimit = 3,
  kReqChVoltsDiv = 4,
  kReqChProbe = 5,
  kReqChInvert = 6,
  kReqChUnit = 7,
  kReqNop = 8,
  kReqAcqConfig = 9,
  kReqHoriType = 10,
  kReqHoriHoldOff = 11,
  kReqHoriGuideInit = 12,
  kReqDispType = 13,
  kReqDispFormat = 14,
  kReqDispPersist = 15,
  kReqClearPicture = 16,
  kReqTrigger = 17,
  kReqSquare = 18,
  kReqOutputSel = 19,
};

constexpr int kRequestCodes = 20;
constexpr int kRequestTableSize = 50;

struct requestpara {
  uint16_t code;
  int16_t target;  // a channel or source number, or a mode
  int16_t value;
  uint16_t spare;
  uint32_t value32;  // a 32-bit argument (the hold-off count of request 11)
};

class response {
 public:
  response();
  int LoadResource(_SysResource* resource, _SysRunInfo* run);
  // Runs request `para`: -1 for a code above 19 or before LoadResource, else 0
  // (the handler's own result is not passed on).
  int FuncResponse(requestpara para, requestpara* answer);

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

class _SysRequest {
 public:
  _SysRequest();
  // Stores the resource table and the run state for the handlers; -1 (and the
  // previous ones kept) when either is null.
  int LoadResource(_SysResource* resource, _SysRunInfo* run);
  // Runs a request at once: codes from 50 up are ignored (-1).
  int Request(requestpara para, requestpara* answer);

  // Queued requests: appended in order (-1 for a code above 19 or a full table),
  // run in order and emptied by AddRequestComplete, dropped by ClearequestTable.
  int AddToRequestTable(requestpara para);
  int AddRequestComplete();
  int ClearequestTable();
  int RequestTableCount() const;  // entries queued (0 when empty)

 private:
  mutable std::mutex mu_;  // guards the table; requests run outside it
  int32_t count_ = -1;     // index of the last queued entry, -1 when empty
  requestpara table_[kRequestTableSize] = {};
  response response_;
};

extern _SysRequest SysRequest;

// Shorthand for building a request.
inline requestpara MakeRequest(uint16_t code, int16_t target, int16_t value, uint32_t value32 = 0) {
  return requestpara{code, target, value, 0, value32};
}
