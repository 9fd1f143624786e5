// The reference entries of the default commands (task_default_scpi.cpp).
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc TaskDefaultScpiDoc[] = {
    {"KEY:DEFault", "none: the default setup at once, without the dialog the DEFAULT key shows", "", "",
     ""},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
