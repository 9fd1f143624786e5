// The reference entries of the cursor commands (task_cursor_scpi.cpp).
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc TaskCursorScpiDoc[] = {
    {"CURSor:MODE", "`INDependent|TRACK`, or `0|1` for them: the lines move alone, or B follows A",
     "`INDependent`", "`INDependent` or `TRACK`", "refused"},
    {"CURSor:TYPE",
     "`TIME|AMPlitude|CLOSe` (`X`, `0` for time; `Y`, `1` for amplitude): time (vertical) or "
     "amplitude (horizontal) lines, or the cursors off",
     "`CLOSe`", "`TIME`, `AMPlitude` or `CLOSe`", "refused"},
    {"CURSor:SOURce", "`CHANnel1|CHANnel2|MATH`: the trace the readings are taken from", "`CHANnel1`",
     "the keyword", "refused"},
    {"CURSor:CURA CURSor:CURB",
     "whole number: line A's or B's position; time lines 0 .. 700 screen points from the left "
     "edge (50 a division), amplitude lines 28 .. 228 codes from the bottom (25 a division, "
     "128 the centre); in X-Y the marks' own ranges",
     "A `100`, B `600`", "the number", "clamped to the range"},
    {"CURSor:AXValue CURSor:BXValue", "", "",
     "line A's or B's time in seconds from the screen centre, `%e`; `0` with amplitude "
     "cursors, in X-Y or with the source off",
     ""},
    {"CURSor:AYValue CURSor:BYValue", "", "",
     "the value at line A or B in the source's unit (V), `%e`: the line's level (amplitude "
     "cursors) or the trace's value where the time line crosses it; `0` in X-Y or with the "
     "source off",
     ""},
    {"CURSor:MEASure", "", "",
     "`tA,tB,tB-tA,vA,vB,vB-vA,f`: the six readings, `%e` each, then `1` in Y-T (`0` in X-Y, "
     "all readings 0)",
     ""},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
