#include "remote/scpi/scpi_key.h"

#include <cstdio>

#include "core/input/rs232.h"
#include "core/state/system_resource.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_kit.h"

namespace {
const scpipara kOnOff[] = {{"OFF", 0}, {"ON", 1}, {"0", 0}, {"1", 1}, {"", -1}};
}  // namespace

void ScpiQueueKey(const char* name, uint16_t code) {
  std::printf("Scpi_Key_%s ...\n", name);
  SystemResource.keyboard->AppendScpiKey(code, 0);
}

void ScpiKeyLock(uint16_t code, const char* parameter) {
  const int v = ScpiKeyword(kOnOff, parameter);
  if (v >= 0) SystemResource.keyboard->SetKeyValueLock(code, v);
}

void ScpiKeyLockAsk(uint16_t code) {
  const int locked = SystemResource.keyboard->KeyValueIsLock(code) == 1;
  SystemResource.scpiEngine->WriteResponseData(locked ? "1" : "0", 0);
}
