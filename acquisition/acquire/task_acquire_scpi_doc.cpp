// The reference entries of the acquire commands (task_acquire_scpi.cpp).
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc TaskAcquireScpiDoc[] = {
    {"ACQuire:TYPE", "`NORMal|PEAKdetect|HRESolution|AVERage`: the acquisition mode", "`NORMal`",
     "the keyword", "refused; `AVERage` while the auto sweep rolls (slow time bases) gives `NORMal`"},
    {"ACQuire:AVERages:COUNt",
     "`2|4|8|16|32|64|128|256|512|1024|2048|4096|8192`: the acquisitions averaged; also sets "
     "the mode to `AVERage`",
     "`2`", "the number", "refused (also while the auto sweep rolls)"},
    {"ACQuire:MEMory:DEPTh",
     "`AUTO|7K|70K|700K|7M|35M|56M`: samples a record (`AUTO` follows the time base)", "`AUTO`",
     "the keyword", "refused"},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
