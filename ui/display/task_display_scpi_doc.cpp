// The reference entries of the display commands (task_display_scpi.cpp).
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc TaskDisplayScpiDoc[] = {
    {"DISPlay:FORMat", "`VECTors|DOTS`: the traces drawn as lines or as dots",
     "`VECTors ` (with a trailing blank)", "`VECTors ` or `DOTS ` (each with a trailing blank)",
     "refused"},
    {"DISPlay:GRID:BRIGhtness", "whole number 1 .. 100: the grid's brightness in %", "`50`",
     "the number (`50`)", "clamped to 1 .. 100 (a text that is no number reads as 0, so 1)"},
    {"DISPlay:WAVE:BRIGhtness", "whole number 1 .. 100: the traces' brightness in %", "`50`",
     "the number (`50`)", "clamped to 1 .. 100 (a text that is no number reads as 0, so 1)"},
    {"DISPlay:CLEar", "none: clears the persistence picture and the kept traces", "", "", ""},
    {"SYSTem:BRIGhtness", "whole number 10 .. 100: the LCD backlight in %", "`50`", "the number (`50`)",
     "clamped to 10 .. 100"},
    {"DISPlay:GRAD:TIME",
     "`MINimum|50MS|100MS|200MS|500MS|1S|2S|5S|10S|20S|INFinite`: the persistence time", "`MINimum`",
     "the keyword (`2S`)", "refused"},
    {"DISPlay:COLOR", "`ON|OFF|1|0`: the colour-graded (temperature) display", "`0`", "`1` on, `0` off",
     "refused"},
    {"DISPlay:COLOR:INVERt", "`ON|OFF|1|0`: the colour grading inverted", "`0`", "`1` on, `0` off",
     "refused"},
    {"SYSTem:MNUDisplay", "`5S|10S|20S|INFinite`, or `0|1|2|3` for them: how long the menu stays shown",
     "`INFinite`", "`5S`, `10S`, `20S` or `INFinite`", "refused"},
    {"DISPlay:ZBMP", "", "",
     "the screen as an 800 x 480, 24-bit BMP (1,152,054 bytes) compressed with LZO1X-1, "
     "followed by the four bytes 89 AB CD EF (and four zero bytes where the length needs "
     "them), as raw bytes",
     ""},
    {"DISPlay:DATA", "", "",
     "the screen as an 800 x 480, 24-bit BMP (1,152,054 bytes, bottom row first) in an IEEE "
     "488.2 block (`#71152054` and the file)",
     ""},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
