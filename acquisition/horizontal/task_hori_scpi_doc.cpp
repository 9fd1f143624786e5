// The reference entries of the horizontal commands (task_hori_scpi.cpp).
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc TaskHoriScpiDoc[] = {
    {"DISPlay:TYPE", "`YT|XY12`: time base or X-Y (CH1 against CH2)", "`YT ` (with a trailing blank)",
     "`YT ` or `XY12 ` (each with a trailing blank)",
     "refused; X-Y is refused while the time bases are independent"},
    {"TIMebase:MODE",
     "`MAIN|WINDow`: the main time base or the zoomed window (which shows a split or waterfall "
     "spectrum full, as the screen tells)",
     "`MAIN`", "`MAIN` or `WINDow`", "refused; also while the time bases are independent"},
    {"TIMebase:OFFSet",
     "seconds, with an optional unit `ns`, `us` or `ms` right after the number: the trigger "
     "point's time from the screen centre (positive moves it left), main time base only",
     "`0`", "seconds, `%-13.6e`; nothing in the zoomed mode",
     "clamped to -7 divisions .. 10 s (1 s at time bases below 50 ns); refused in the zoomed mode"},
    {"TIMebase:WINDow:OFFSet",
     "seconds, with an optional unit `ns`, `us` or `ms`: the zoom window's position from the centre",
     "0", "seconds, `%-13.6e`; nothing in the main mode",
     "held at the window's limits; refused in the main mode"},
    {"TIMebase:SCALe TIMebase1:SCALe",
     "`UP|DOWN` (one step slower or faster), or seconds per division (`1e-3`), taken as the "
     "nearest of the 1-2-5 steps (up to 1000 s); `TIMebase1` is CH1's time base when the time "
     "bases are independent",
     "`1.000000e-06`", "seconds per division, `%-13.6e`",
     "past the fastest or slowest step the limit; a number <= 0 is refused"},
    {"TIMebase2:SCALe", "as `TIMebase:SCALe`, for CH2's time base when the time bases are independent",
     "`1.000000e-06`", "seconds per division, `%-13.6e`", "as `TIMebase:SCALe`"},
    {"TIMebase:WINDow:SCALe",
     "`UP|DOWN`, or seconds per division: the zoom window's time base (faster than the main one)", "",
     "seconds per division, `%-13.6e`", "held at the limits; a number <= 0 is refused"},
    {"TIMebase:HOLDoff",
     "seconds, with an optional unit `ns`, `us` or `ms`: the trigger hold-off, 100 ns .. 10 s "
     "in steps of 4 ns",
     "`1.000000e-07`", "seconds, `%e`", "clamped to 100 ns .. 10 s (a missing value gives 100 ns)"},
    {"TIMebase:INDPendent",
     "`ON|OFF|1|0`: independent time bases for CH1 and CH2 (the screen split between them)", "`0`",
     "`1` on, `0` off", "refused; `ON` also in zoom (\"Function is Disabled in Zoom mode.\")"},
    {"TIMebase:SPLit:SCReen",
     "`ON|OFF|1|0`: with independent time bases, each channel on its own half of the screen", "`1`",
     "`1` on, `0` off", "refused"},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
