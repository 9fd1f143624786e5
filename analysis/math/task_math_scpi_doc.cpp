// The reference entries of the math commands (task_math_scpi.cpp,
// task_math_scpi_levels.cpp); the FFT ones are in
// analysis/fft/task_math_scpi_fft_doc.cpp.
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc TaskMathScpiDoc[] = {
    {"KEY:MATH:LED", "", "", "`1` while the math trace is shown, else `0`", ""},
    {"CHANnel5:SELect", "none: makes the math trace the active one and shows the math menu", "",
     "`1` while the math trace is the active one, else `0`", ""},
    {"FUNCtion:MATH:MODE",
     "`MATH|FFT|LOGic|FILTer|ADVance`: the math function (arithmetic, spectrum, logic, filter, "
     "expression)",
     "`MATH`", "the keyword", "refused"},
    {"FUNCtion:OPERation",
     "`ADD|SUBTract|MULTiply|DIVide` (the arithmetic page) or `AND|OR|NOT|XOR` (the logic page)",
     "`ADD`",
     "the operator of the math function in force (`MATH`: arithmetic, `LOGic`: logic), "
     "whether its page was shown or not; `-1` for the other functions",
     "refused"},
    {"FUNCtion:SOURce1 FUNCtion:SOURce2",
     "`CHANnel1|CHANnel2`: the first or second source of the page shown (arithmetic, FFT, "
     "logic, filter; FFT and filter have only the first)",
     "`CHANnel1`", "`CHANnel1` or `CHANnel2`", "refused"},
    {"FUNCtion:DIGital1:THReshold FUNCtion:DIGital2:THReshold",
     "volts, exponent allowed, with an optional unit letter `u`, `m` or `K` and an optional `V` "
     "(`500m`, `-2.5e-1`, `3.2E+02mV`): CH1's or CH2's logic threshold, within +-4 divisions of "
     "the channel, in 1/25 of a division",
     "`0`", "volts, `%e`", "clamped to +-4 divisions; a text that is no number, or another unit, is refused"},
    {"FUNCtion:FILTer:TYPE", "`LP|HP|BP|BS`, or `0|1|2|3`: low pass, high pass, band pass, band stop",
     "`LP`", "the keyword", "refused"},
    {"FUNCtion:FILTer:FREQuency:HIGH FUNCtion:FILTer:FREQuency:LOW",
     "hertz, exponent allowed, with an optional unit letter `K`, `M` or `G` and an optional `Hz` "
     "(`5K`, `1E3`): the filter's upper or lower cut-off, in hundredths of half the screen's "
     "sample rate",
     "`2.500000e+06` at 1 us/div", "hertz, `%e`",
     "held at the filter's limits; a text that is no number, or another unit, is refused"},
    {"FUNCtion:LOGic:INVert", "`ON|OFF|1|0`: the logic result inverted", "`0`", "`1` on, `0` off",
     "refused"},
    {"FUNCtion:EXPRession",
     "the expression of the `ADVance` mode as the keypad writes it (`CH1*CH2`, `CH1>=CH2`; "
     "quotes allowed), fewer than 54 characters",
     "empty", "the expression's text", "a longer text or an unknown token is refused"},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
