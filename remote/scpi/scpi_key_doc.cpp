// The reference entries of the panel-key commands every module's table has
// (scpi_key.h): what a module's own entries do not describe.
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc ScpiKeyScpiDoc[] = {
    {"KEY:*",
     "none: presses the front-panel key, as the panel does (`F1` .. `F5` the soft keys, `MENu` "
     "menu on/off, `PSCReen` screenshot, `RS` RUN/STOP, `AUTO`, a module's key by its name); "
     "the knobs, by `FKN` select, `VBKN` volts per division, `VPKN` vertical position, `TBKN` "
     "time base, `HPKN` horizontal position, `TPKN` trigger level: `...Left` and `...Right` "
     "turn one step, `...ob` pushes",
     "", "", ""},
    {"KEY:*:LOCK", "`ON|OFF|1|0`: locks or frees that front-panel key (remote keys still act)", "`0`",
     "`1` locked, `0` free", "refused"},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
