// The help module's SCPI commands: the HELP key and its lock.
#include "remote/scpi.h"
#include "remote/scpi_key.h"
#include "system/task_help.h"

namespace {
void Scpi_Key_Help(scpi_para*, char*) { ScpiQueueKey("Help", kHelpKey); }
void Scpi_Key_HelpLock(scpi_para*, char* p) { ScpiKeyLock(kHelpKey, p); }
void Scpi_Key_HelpLockAsk(scpi_para*, char*) { ScpiKeyLockAsk(kHelpKey); }
}  // namespace

instr TaskHelpInstrStandard[] = {
    {"KEY:HELP", Scpi_Key_Help},
    {"KEY:HELP:LOCK", Scpi_Key_HelpLock},
    {"KEY:HELP:LOCK?", Scpi_Key_HelpLockAsk},
    {"", nullptr},
};
