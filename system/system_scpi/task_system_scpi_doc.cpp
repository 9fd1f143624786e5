// The reference entries of the system commands (task_system_scpi.cpp,
// task_system_scpi_levels.cpp, task_system_scpi_keys.cpp).
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc TaskSystemScpiDoc[] = {
    {"*IDN", "", "", "`KOLVET Technologies,<model>,<serial number>,<software version>`", ""},
    {"*RST", "none: the default setup, as the DEFAULT key without its dialog", "", "", ""},
    {"*OPC", "", "",
     "`1` when every command sent before it is in force, `0` while one is pending (a key, "
     "`*RST` or `AUTO` waiting for the main loop or running, a setup load); a command waits "
     "for the keys sent before it, so commands take effect in the order sent",
     ""},
    {"PROC", "", "",
     "a 4-byte little-endian integer, not text: `1` running, `0` stopped, `2` single waiting, "
     "`3` single done, `5` roll (slow scan)",
     ""},
    {"RUN", "none: starts acquiring", "running", "", ""},
    {"STOP", "none: stops acquiring (the last acquisition stays on the screen)", "", "", ""},
    {"AUTO", "none: auto-set, as the AUTO key", "", "", ""},
    {"SYSTem:LOCK", "`ON|OFF|1|0`: locks or frees the whole front panel (a message says so)", "`0`",
     "`1` locked, `0` free", "refused"},
    {"SYSTem:ERRor", "none", "", "the oldest error as `<code>,\"<text>\"`, taken off the queue (20 kept; `-350,\"Queue overflow\"` when it overflowed; `-113,\"Undefined header\"` for an unknown command); `0,\"No error\"` when none", ""},
    {"SYSTem:SETup CONFIG",
     "an IEEE 488.2 definite-length block that the query gave (`#<n><length><data>`), in the "
     "command's message (`SYSTem:SETup #540531...`) or in the message after it: the setup "
     "file's bytes, loaded into every module as a recalled setup",
     "", "the setup as an IEEE 488.2 block: the bytes of a setup file (`.dat`)",
     "a block whose header is malformed, with fewer bytes than announced or more data after "
     "them is refused with \"Load failed !\"; a block that holds no module's setup changes "
     "nothing"},
    {"SYSTem:INFO", "", "",
     "the device identity's fields separated by commas (model, hardware and software versions, "
     "..., `EN`, the serial number)",
     ""},
    {"FACTory:MIS:SN",
     "the serial number in double quotes (`\"QEL2200000001\"`, at most 29 characters); it is "
     "written to `SN.txt`",
     "the factory image's `QEL2200000001`", "the serial number, without quotes",
     "a text without both quotes, or too long, is refused"},
    {"KEY:LOCK", "", "",
     "41 digits, `1` for each locked key, in the order of the key codes 64, 65, 66, 63, 59, "
     "69, 70, 71, 67, 61, 49 .. 55, 56, 60, 57, 58, 62, 72, 77, 76, 73, 79, 78, 74, 81, 80, "
     "75, 83, 82, 88, 85, 84, 89, 87, 86, 68",
     ""},
    {"KEY:LED", "", "",
     "4 digits `0`/`1`: CH1 on, CH2 on, math on, running (`1001` at start-up: CH1 on, running)", ""},
    {"KEY:RS:LED", "", "", "`1` running, `2` stopped", ""},
    {"CHSEL", "", "", "the active channel: `0` CH1, `1` CH2, `0xFF` another trace", ""},
    {"SCN", "", "",
     "20 bytes, not text: ten 16-bit little-endian numbers 800, 480 (screen size), 14, 8 "
     "(divisions), 50, 50, 33, 30, 433, 730 (the waveform area)",
     ""},
    {"TRIGger:POSition",
     "whole number -100 .. 100: the trigger level in codes from the channel's zero line (25 "
     "codes a division); acts only while the trigger source is CH1 or CH2",
     "`0`", "a 4-byte little-endian integer, not text; nothing while the source is not CH1 or CH2",
     "clamped to -100 .. 100"},
    {"CHANnel#:POSition",
     "whole number: the trace's vertical position in codes, 127 the screen centre (25 codes a "
     "division; the screen shows 28 .. 228); CH1 and CH2 take -72 .. 326, math (5) and the "
     "references (6, 7) 28 .. 228; acts only while the trace is shown",
     "`127` (CH1, CH2, math)",
     "a 2-byte little-endian integer, not text (CH1 and CH2 answer within 28 .. 228)",
     "CH1 and CH2: beyond the range held at the limit with the message \"Bias Voltage "
     "Operation at limit\"; the others clamped"},
    {"TIMebase#:POSition",
     "whole number 0 .. 699: the screen column of the trigger point (350 the centre); "
     "`TIMebase1`, `2` and `5` move the main time base, `6` and `7` the references A and B; "
     "acts only with the main time base shown",
     "`350`", "a 2-byte little-endian integer, not text", "clamped to 0 .. 699"},
    {"CHANnel#:SCALe",
     "volts per division of CH1, CH2, math (5) or the references (6, 7): `UP|DOWN` (one step "
     "coarser or finer), a range's label exactly as the screen shows it (`500mV`, `1.0V`, "
     "`2.0V`), or a number in volts per division at the probe tip (the nearest range the trace "
     "offers in proportion: `0.3` takes 200 mV; the ranges follow the probe ratio, so with "
     "`10X` `5` takes 5 V)",
     "CH1 and CH2 `1V` (`1.000000e+00`)", "volts per division, `%-13.6e`",
     "past the first or last range the limit; an unknown label or a number <= 0 is refused"},
    {"CHANnel#:OFFSet",
     "volts, with an optional unit letter `k`, `m` or `u` (`200m`): the trace's offset from "
     "the screen centre, taken in whole codes (volts per division / 25)",
     "`0`", "volts, `%-13.6e`",
     "beyond the position range held at the limit; another unit letter is refused"},
    {"TRIGger:LEVel",
     "volts at the probe tip: the trigger level (level 1, or the high level of the two-level "
     "types), taken as the nearest level code; acts only while the trigger source is CH1 or CH2",
     "`0`", "volts, `%-13.6e`; nothing while the source is not CH1 or CH2", "held at the level's limit"},
    {"TRIGger:LEVel:LOW",
     "volts: the low level of the slope, runt and window trigger types (and selects it for the "
     "level knob); only while the source is CH1 or CH2",
     "`-1.000000e+00` at 1 V/div", "volts, `%-13.6e`", "held at the level's limit"},
    {"TRIGger:LEVel:HIGH",
     "volts: the high level of the slope, runt and window trigger types (and selects it for "
     "the level knob); the same level as `TRIGger:LEVel`; only while the source is CH1 or CH2",
     "`0`", "volts, `%-13.6e`", "held at the level's limit"},
    {"TRIGger:LEVel:ASETup", "none: the level to the middle of the signal, as a push of the level knob",
     "", "", ""},
    {"KEY:SETZERO", "none: queues key 68 (the bus-decode key)", "", "", ""},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
