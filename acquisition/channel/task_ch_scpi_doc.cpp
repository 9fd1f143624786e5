// The reference entries of the channel commands (task_ch_scpi.cpp); `#` is
// the channel, 1 or 2.
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc TaskChScpiDoc[] = {
    {"KEY:CH#:LED", "", "", "`1` while the channel is on, else `0`", ""},
    {"CHANnel#:COUPling", "`DC|AC|GND`", "`DC`", "`DC`, `AC` or `GND`", "refused"},
    {"CHANnel#:BWLimit", "`ON|OFF|1|0`: the 20 MHz bandwidth limit", "`0`", "`1` on, `0` off",
     "refused"},
    {"CHANnel#:DISPlay",
     "`ON|OFF|1|0`: `ON` does what the channel's key does (switches it on and makes it the "
     "active channel, unless it is on and active already); `OFF` switches it off and hands the "
     "menu to the channel still on",
     "CH1 on, CH2 off", "`1` while the channel is on, else `0`", "refused"},
    {"CHANnel#:INVert", "`ON|OFF|1|0`", "`0`", "`1` inverted, `0` not", "refused"},
    {"CHANnel#:PROBe",
     "`0.001X|0.01X|0.1X|1X|10X|100X|1000X`, or a number: the probe ratio (a standard ratio's "
     "number, `10`, chooses it; any other number is a custom ratio, 0.001 to 1000)",
     "`1X`", "the keyword (`10X`), or a custom ratio as `%.3fX` (`2.500X`)",
     "a custom ratio is clamped to 0.001 .. 1000; a text that is no number is refused"},
    {"CHANnel#:PROBe:TYPe", "`VOLTs|AMPeres`: a voltage or a current probe (each with its menu page)",
     "`VOLTs`", "`VOLTs` or `AMPeres`", "refused"},
    {"CHANnel#:UNITs",
     "`VOLTs|AMPeres|WATTs|UNKNown`: the unit of the readings; `AMPeres` switches to the "
     "current probe, another unit back to the voltage probe",
     "`VOLTs`", "`VOLTs`, `AMPeres`, `WATTs ` (with a trailing blank) or `UNKNown`", "refused"},
    {"CHANnel#:VERNier", "`ON|OFF|1|0`: fine (`1`) or coarse (`0`) steps of the volts-per-division knob",
     "`0`", "`1` fine, `0` coarse", "refused"},
    {"CHANnel1:SELect CHANnel2:SELect",
     "none: makes the channel the active one (switched on, its menu shown)", "CH1",
     "`1` when the channel is the active one, else `0`", ""},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
