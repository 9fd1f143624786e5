// The default module's SCPI commands: the DEFAULT key and its lock.
#include "core/state/ids.h"
#include "remote/scpi/scpi_kit.h"
#include "system/default/task_default.h"

namespace {
// Scpi_Key_Default queues the remote DEFAULT key: the main loop hands it to
// the module, which restores the factory setup without asking.
// Scpi_Key_DefaultLock, Scpi_Key_DefaultLockAsk: the DEFAULT key's lock.
using DefaultKey = ScpiKeyTrio<kKeyDefault, kKeyScpiDefault>;
}  // namespace

template <>
const char* DefaultKey::name = "Default";

instr TaskDefaultInstrStandard[] = {
    SCPI_KEY_ROWS("KEY:DEFault", DefaultKey),
    {"", nullptr},
};
