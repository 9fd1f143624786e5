// The reference entries of the help commands (task_help_scpi.cpp): its key
// commands are the panel keys' (remote/scpi/scpi_key_doc.cpp).
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc TaskHelpScpiDoc[] = {
    {"KEY:HELP", "none: presses HELP (shows the help of the next key pressed)", "", "", ""},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
