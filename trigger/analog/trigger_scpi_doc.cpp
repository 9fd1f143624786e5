// The reference entries of the trigger commands (trigger_scpi.cpp); the
// serial-bus ones are in trigger/bus/trigger_sbus_scpi_doc.cpp.
#include "remote/scpi/scpi_doc.h"

namespace {
// The limits of the width-type triggers: one text for the rows that share them.
#define TRIG_WIDTH_LIMIT                                                                         \
  "seconds, with an optional unit `ns`, `us` or `ms` written right after the number (`10ns`; "   \
  "`1 us` reads as 1 s): the limit the qualifier uses (`:LOWer` the lower, `:UPPer` the upper; " \
  "the plain form the one the qualifier in force uses), up to 10 s in steps of 4 ns, at least "  \
  "8 ns (with the pulse type in force steps of 1 ns, at least 2 ns); a lower limit above the "   \
  "upper moves both"
#define TRIG_WIDTH_ANSWER "seconds, `%-13.6e`"
#define TRIG_WIDTH_OUTSIDE                                                                \
  "clamped to the range; the limit the qualifier does not use is refused (`:UPPer` with " \
  "`GREaterthan`)"
}  // namespace

extern const ScpiDoc TaskTriggerScpiDoc[] = {
    {"KEY:DECode",
     "none: presses the bus-decode key (key 68: shows the decode lane with a serial-bus trigger type)",
     "", "", ""},
    {"TRIGger:MODE",
     "`EDGE|PULSe|VIDeo|SLOPe|RUNT|WINDow|DELay|TIMeout|DURation|SHOLd|NE|PATTern`: the analog "
     "trigger type (the serial-bus types are set with `SBUS:MODE`); set while a serial-bus type "
     "is in force it ends it (`SBUS:MODE?` then answers nothing)",
     "`EDGE`", "the keyword; nothing while a serial-bus type is in force",
     "refused (a serial-bus type too)"},
    {"TRIGger:FORCe", "none: forces one trigger", "", "", ""},
    {"TRIGger:SWEep SBUS:TRIGger:SWEep", "`AUTO|NORMal|SINGle`", "`AUTO`",
     "`AUTO`, `NORMal` or `SINGle`", "refused"},
    {"TRIGger:STATus", "", "",
     "`ARMED`, `AUTO`, `TRIGED`, `READY`, `STOP`, `SCAN`, `RESET`, `REPLAY` or `WAIT`", ""},
    {"TRIGger:SOURce",
     "`CHANnel1|CHANnel2|EXT|ACLine`: the source of the trigger type in force; `EXT` only for "
     "the edge, pulse and video types, `ACLine` only for edge and pulse",
     "`CHANnel1`", "`CHANnel1`, `CHANnel2`, `EXT` or `ACLine`",
     "refused (with a serial-bus type in force too: set the bus's sources with `SBUS:...:SOURce`)"},
    {"TRIGger:COUPling SBUS:TRIGger:COUPling",
     "`DC|AC|HF|LF|NOISE`: the trigger coupling; `AC`, `HF` and `LF` only with the edge type", "`DC`",
     "the keyword", "refused"},
    {"TRIGger:EDGE:SLOPe", "`POSitive|NEGative|ALTernation`", "`POSitive`", "the keyword", "refused"},
    {"TRIGger:PULSe:QUALifier TRIGger:SLOPe:QUALifier TRIGger:RUNT:QUALifier TRIGger:DURation:QUALifier",
     "`GREaterthan|LESSthan|INRange|NONE`: when the width (slope time, runt width, duration) "
     "triggers: above the lower limit, below the upper, between them; the pulse, slope, runt "
     "and duration types share it",
     "`GREaterthan ` (with a trailing blank)",
     "`GREaterthan ` or `LESSthan ` (each with a trailing blank), `INRange` or `NONE`", "refused"},
    {"TRIGger:PULSe:POLarity", "`NEGative|POSitive`: the pulse measured", "`NEGative`", "the keyword",
     "refused"},
    {"TRIGger:PULSe:TIME TRIGger:PULSe:TIME:LOWer TRIGger:PULSe:TIME:UPPer TRIGger:SLOPe:TIME "
     "TRIGger:SLOPe:TIME:LOWer TRIGger:SLOPe:TIME:UPPer TRIGger:RUNT:TIME "
     "TRIGger:RUNT:TIME:LOWer TRIGger:RUNT:TIME:UPPer TRIGger:DELay:TIME "
     "TRIGger:DELay:TIME:LOWer TRIGger:DELay:TIME:UPPer TRIGger:DURation:TIME:LOWer "
     "TRIGger:DURation:TIME:UPPer",
     TRIG_WIDTH_LIMIT, "`8.000000e-09`", TRIG_WIDTH_ANSWER, TRIG_WIDTH_OUTSIDE},
    {"TRIGger:VIDeo:MODE",
     "`EVEN|ODD|ALINes|LINE`: the even or odd field, every line, or the line chosen", "`EVEN`",
     "the keyword", "refused"},
    {"TRIGger:VIDeo:STANdard", "`PAL|NTSC|SECam`", "`PAL`", "the keyword", "refused"},
    {"TRIGger:VIDeo:LINE", "whole number: the line of `LINE` mode, 1 .. 625 (1 .. 525 with NTSC)", "`1`",
     "the number", "clamped to the range"},
    {"TRIGger:SLOPe:SLOPe", "`POSitive|NEGative`: a rising or a falling slope", "`POSitive`",
     "the keyword", "refused"},
    {"TRIGger:SLOPe:THReshold", "`LOW|HIGH|LH`: the level the level knob moves: low, high or both",
     "`LOW`", "the keyword", "refused"},
    {"TRIGger:SLOPe:RATe:LOWer TRIGger:SLOPe:RATe:UPPer", "", "",
     "between the two levels in V/s, `%e`: `:LOWer?` the lowest rate that triggers, the rate of "
     "the upper time limit (`LESSthan`, `INRange`), `:UPPer?` the highest, the rate of the lower "
     "time limit (`GREaterthan`, `INRange`); `*` for the bound the qualifier does not set",
     ""},
    {"TRIGger:RUNT:POLarity", "`NEGative|POSitive`", "`NEGative`", "the keyword", "refused"},
    {"TRIGger:RUNT:LEVel TRIGger:WINDow:LEVel", "`LOW|HIGH`: the level the level knob moves", "`LOW`",
     "the keyword", "refused"},
    {"TRIGger:WINDow:SLOPe", "`POSitive|NEGative|ALTernation`", "`POSitive`", "the keyword", "refused"},
    {"TRIGger:WINDow:TIME TRIGger:TIMEOUT:TIME",
     "seconds with an optional unit `ns`, `us` or `ms` (`10us`): the window's time (`TIME` "
     "position) or the time-out after the last edge, in steps of 4 ns",
     "`8.000000e-09`", "seconds, `%e`", "a negative time gives 0"},
    {"TRIGger:WINDow:POSition", "`ENTER|EXIT|TIME`: entering, leaving, or inside the band for the time",
     "`ENTER`", "the keyword", "refused"},
    {"TRIGger:DELay:ARM:SOURce TRIGger:DELay:TRIGger:SOURce",
     "`CHANnel1|CHANnel2`: the delay's first (arm) or second source", "`CHANnel1`", "the keyword",
     "refused"},
    {"TRIGger:DELay:ARM:SLOPe TRIGger:DELay:TRIGger:SLOPe", "`POSitive|NEGative`", "`POSitive`",
     "the keyword", "refused"},
    {"TRIGger:DELay:QUALifier",
     "`GREaterthan|LESSthan|INRange|OUTRange`: when the delay between the two edges triggers",
     "`GREaterthan`", "the keyword", "refused"},
    {"TRIGger:DELay:MODE", "accepted and ignored", "", "nothing (the read times out)", ""},
    {"TRIGger:DELay:SELect TRIGger:SHOLd:SELect",
     "`SOURce1|SOURce2`: the source the level knob serves (delay: arm or trigger source; "
     "setup/hold: data or clock)",
     "`SOURce1`", "`SOURce1` or `SOURce2`", "refused"},
    {"TRIGger:TIMEOUT:SLOPe TRIGger:NEDGE:SLOPe",
     "`POSitive|NEGative|ALTernation` (the n-th edge type: no `ALTernation`)", "`POSitive`",
     "the keyword", "refused"},
    {"TRIGger:DURation:MODE",
     "`UPPER|LOW|NORMAL`: the duration's qualifier; only with the duration type in force", "",
     "the keyword; nothing unless the duration type is in force", "refused"},
    {"TRIGger:DURation:PATTern",
     "`HIGH|LOW|X`: the code of the trigger source in the duration's pattern", "`X`", "the keyword",
     "refused"},
    {"TRIGger:SHOLd:DATA:SOURce TRIGger:SHOLd:CLOCK:SOURce", "`CHANnel1|CHANnel2`", "`CHANnel1`",
     "the keyword", "refused"},
    {"TRIGger:SHOLd:SLOPe", "`POSitive|NEGative`: the clock edge", "`POSitive`", "the keyword",
     "refused"},
    {"TRIGger:SHOLd:PATTern", "`LOW|HIGH`: the data level", "`LOW`", "the keyword", "refused"},
    {"TRIGger:SHOLd:MODE", "`SETup|HOLD`: a setup or a hold violation", "`SETup`",
     "`SETup`, `HOLD` or `SH` (both)", "refused"},
    {"TRIGger:SHOLd:TIME TRIGger:NEDGE:TIME",
     "seconds with an optional unit `ns`, `us` or `ms`: the setup/hold time or the n-th edge's "
     "idle time, in steps of 4 ns",
     "`8.000000e-09`", "seconds, `%-13.6e`", "a negative time gives 0"},
    {"TRIGger:NEDGE:VALue", "whole number 1 .. 65535: the edge counted after the idle time", "`1`",
     "the number", "clamped to 1 .. 65535"},
    {"TRIGger:PATTern:PATTern",
     "`HIGH|LOW|X|POSitive|NEGative`: the trigger source's code in the pattern", "`X`", "the keyword",
     "refused"},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
