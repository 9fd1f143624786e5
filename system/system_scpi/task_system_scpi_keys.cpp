// The remote keys of the system commands: "KEY:<name>" queues the key for the
// main loop, "KEY:<name>:LOCK" locks it, "KEY:<name>:LOCK?" reports the lock.
// One table of keys; each row kind is one handler told by the key's index.
#include <cstdio>
#include <utility>

#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_key.h"
#include "system/system_scpi/task_system_scpi.h"

const RemoteKey kRemoteKeys[kSysRemoteKeys] = {
    {"FKNLeft", 77, 1, true},    {"FKNRight", 76, 1, true},   {"FKNob", 72, 1, true},
    {"F1", 49, 0, false},        {"F2", 50, 0, false},        {"F3", 51, 0, false},
    {"F4", 52, 0, false},        {"F5", 53, 0, false},        {"MENu", 54, 0, false},
    {"PSCReen", 55, 0, false},   {"AUTO", 63, 0, false},      {"RS", 59, 0, false},
    {"VBKNLeft", 85, 1, false},  {"VBKNRight", 84, 1, false}, {"VBKNob", 88, 0, false},
    {"VPKNLeft", 79, 1, false},  {"VPKNRight", 78, 1, false}, {"VPKNob", 73, 0, false},
    {"TBKNLeft", 87, 1, false},  {"TBKNRight", 86, 1, false}, {"TBKNob", 89, 0, false},
    {"HPKNLeft", 81, 1, false},  {"HPKNRight", 80, 1, false}, {"HPKNob", 74, 0, false},
    {"TPKNLeft", 83, 1, false},  {"TPKNRight", 82, 1, false}, {"TPKNob", 75, 0, false},
};

const int keyTable[kKeyTableCodes] = {64, 65, 66, 63, 59, 69, 70, 71, 67, 61, 49, 50, 51, 52,
                                      53, 54, 55, 56, 60, 57, 58, 62, 72, 77, 76, 73, 79, 78,
                                      74, 81, 80, 75, 83, 82, 88, 85, 84, 89, 87, 86, 68};

void Scpi_KEY_Lock(scpi_para*, char* p, short code) { ScpiKeyLock(uint16_t(code), p); }
void Scpi_KEY_LockAsk(scpi_para*, char*, short code) { ScpiKeyLockAsk(uint16_t(code)); }

namespace {
template <int I>
void Press(scpi_para*, char*) {
  const RemoteKey& k = kRemoteKeys[I];
  std::printf("Scpi_KEY_%s ...\n", k.name);
  SystemResource.keyboard->AppendScpiKey(k.code, k.step);
  if (k.redraw) SystemResource.runStatus->SetDrawRefresh();
}

template <int I>
void Lock(scpi_para* para, char* p) {
  Scpi_KEY_Lock(para, p, short(kRemoteKeys[I].code));
}

template <int I>
void LockAsk(scpi_para* para, char* p) {
  Scpi_KEY_LockAsk(para, p, short(kRemoteKeys[I].code));
}

template <std::size_t... I>
constexpr auto Handlers(std::index_sequence<I...>) {
  struct Set {
    ScpiRowHandler press[sizeof...(I)], lock[sizeof...(I)], ask[sizeof...(I)];
  };
  return Set{{Press<I>...}, {Lock<I>...}, {LockAsk<I>...}};
}

const auto kHandlers = Handlers(std::make_index_sequence<kSysRemoteKeys>());
}  // namespace

ScpiRowHandler KeyPressHandler(int index) { return kHandlers.press[index]; }
ScpiRowHandler KeyLockHandler(int index) { return kHandlers.lock[index]; }
ScpiRowHandler KeyLockAskHandler(int index) { return kHandlers.ask[index]; }
