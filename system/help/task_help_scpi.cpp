// The help module's SCPI commands: the HELP key and its lock.
#include "core/state/ids.h"
#include "remote/scpi/scpi_kit.h"
#include "system/help/task_help.h"

namespace {
// Scpi_Key_Help, Scpi_Key_HelpLock, Scpi_Key_HelpLockAsk.
using HelpKey = ScpiKeyTrio<kKeyHelp, kKeyHelp>;
}  // namespace

template <>
const char* HelpKey::name = "Help";

instr TaskHelpInstrStandard[] = {
    SCPI_KEY_ROWS("KEY:HELP", HelpKey),
    {"", nullptr},
};
