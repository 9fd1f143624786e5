// The request dispatcher: menu handlers of the channel, acquire, horizontal and
// display modules apply settings by a numbered request, which the installed
// handlers (the `response` table of app/) hand to the vertical, horizontal and
// trigger models and the board.
#pragma once
#include <atomic>
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

// The handlers of the request codes, which apply them to the models: the
// composition root installs them at start-up (SetRequestResponder).
class RequestResponder {
 public:
  virtual ~RequestResponder() = default;
  virtual int LoadResource(_SysResource* resource, _SysRunInfo* run) = 0;
  // -1 for a code above 19 or before LoadResource, else 0.
  virtual int FuncResponse(requestpara para, requestpara* answer) = 0;
};

class _SysRequest {
 public:
  _SysRequest();
  // The handlers of the process, used by every dispatcher (null: none, and
  // every request answers -1).
  static void SetRequestResponder(RequestResponder* responder);
  // Stores the resource table and the run state for the handlers; -1 (and the
  // previous ones kept) when either is null or no handlers are installed.
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
};

extern _SysRequest SysRequest;

// Shorthand for building a request.
inline requestpara MakeRequest(uint16_t code, int16_t target, int16_t value, uint32_t value32 = 0) {
  return requestpara{code, target, value, 0, value32};
}
