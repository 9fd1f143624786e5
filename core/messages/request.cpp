#include "core/messages/request.h"

_SysRequest SysRequest;

namespace {
std::atomic<RequestResponder*> g_responder{nullptr};
}  // namespace

_SysRequest::_SysRequest() = default;

void _SysRequest::SetRequestResponder(RequestResponder* responder) { g_responder = responder; }

int _SysRequest::LoadResource(_SysResource* resource, _SysRunInfo* run) {
  RequestResponder* r = g_responder.load();
  return r ? r->LoadResource(resource, run) : -1;
}

namespace {
int Respond(RequestResponder* r, requestpara para, requestpara* answer) {
  return r ? r->FuncResponse(para, answer) : -1;
}
}  // namespace

int _SysRequest::Request(requestpara para, requestpara* answer) {
  if (para.code >= kRequestTableSize) return -1;
  return Respond(g_responder.load(), para, answer);
}

int _SysRequest::AddToRequestTable(requestpara para) {
  if (para.code >= kRequestCodes) return -1;
  std::lock_guard<std::mutex> lock(mu_);
  if (count_ + 1 >= kRequestTableSize) return -1;
  table_[++count_] = para;
  return 0;
}

int _SysRequest::AddRequestComplete() {
  requestpara queued[kRequestTableSize];
  int n;
  {
    std::lock_guard<std::mutex> lock(mu_);
    n = count_ + 1;
    for (int i = 0; i < n; ++i) queued[i] = table_[i];
    count_ = -1;
  }
  RequestResponder* r = g_responder.load();
  for (int i = 0; i < n; ++i) Respond(r, queued[i], nullptr);
  return 0;
}

int _SysRequest::ClearequestTable() {
  std::lock_guard<std::mutex> lock(mu_);
  count_ = -1;
  return 0;
}

int _SysRequest::RequestTableCount() const {
  std::lock_guard<std::mutex> lock(mu_);
  return count_ + 1;
}
