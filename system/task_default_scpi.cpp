// The default module's SCPI commands: the DEFAULT key and its lock.
#include <cstdio>

#include "core/ids.h"
#include "core/rs232.h"
#include "core/system_resource.h"
#include "remote/scpi.h"
#include "system/task_default.h"

namespace {
const scpipara kOnOff[] = {{"OFF", 0}, {"ON", 1}, {"0", 0}, {"1", 1}, {"", -1}};

// Queues the remote DEFAULT key: the main loop hands it to the module, which
// restores the factory setup without asking.
void Scpi_Key_Default(scpi_para*, char*) {
  std::printf("Scpi_Key_Default ...\n");
  SystemResource.keyboard->AppendScpiKey(kKeyScpiDefault, 0);
}

void Scpi_Key_DefaultLock(scpi_para*, char* p) {
  if (!p) {
    std::printf("Warning : Command parameter missing ... \n");
    return;
  }
  const int i = scpi::InstrParaCompare(kOnOff, p);
  if (i >= 0) SystemResource.keyboard->SetKeyValueLock(kKeyDefault, kOnOff[i].value);
}

void Scpi_Key_DefaultLockAsk(scpi_para*, char*) {
  const int locked = SystemResource.keyboard->KeyValueIsLock(kKeyDefault) == 1;
  SystemResource.scpiEngine->WriteResponseData(locked ? "1" : "0", 0);
}
}  // namespace

instr TaskDefaultInstrStandard[] = {
    {"KEY:DEFault", Scpi_Key_Default},
    {"KEY:DEFault:LOCK", Scpi_Key_DefaultLock},
    {"KEY:DEFault:LOCK?", Scpi_Key_DefaultLockAsk},
    {"", nullptr},
};
