// The reference entries of the FFT commands (task_math_scpi_fft.cpp).
#include "remote/scpi/scpi_doc.h"

namespace {
#define FFT_TRACE_MODES "`OFF|PPEAK|NPEAK|SAMPle|AVERage`"
}  // namespace

extern const ScpiDoc MathFftScpiDoc[] = {
    {"FUNCtion:FFT:WINDow", "`HAMMing|BMAN|RECTangular|HANNing`", "`HAMMing`", "the keyword", "refused"},
    {"FUNCtion:FFT:VTYPe", "`VRMS|DBRMS`: the vertical scale, linear or in dB", "`VRMS`", "the keyword",
     "refused"},
    {"FUNCtion:FFT:POINts", "`8K|16K|32K|64K|128K|256K|512K|1M`: the FFT's length", "`8K`",
     "the keyword", "refused"},
    {"FUNCtion:FFT:DISPlay",
     "`FULL|SPLIt|INDPendent|WATerfall1|WATerfall2`: how the spectrum shares the screen", "`FULL`",
     "the keyword", "refused; `SPLIt`, `WATerfall1` and `WATerfall2` also in zoom"},
    {"FUNCtion:FFT:FREQuency", "", "", "the span's centre in Hz, `%e`", ""},
    {"FUNCtion:FFT:FREQuency:STARt FUNCtion:FFT:FREQuency:END FUNCtion:FFT:FREQuency:CENTer "
     "FUNCtion:FFT:FREQuency:BW",
     "hertz, exponent allowed, with an optional unit letter `K`, `M` or `G` and an optional `Hz` "
     "(`1K`, `4.998779e+05`): the span's start, end, centre or width, in whole frequency bins "
     "(at least 10 bins wide)",
     "start `0`, end half the FFT's sample rate", "hertz, `%e`",
     "held within 0 .. half the sample rate and 10 bins apart; a text that is no number, or "
     "another unit, is refused"},
    {"FUNCtion:FFT:FREQuency:TRACk", "`ON|OFF|1|0`: the span follows the signal's frequency", "`0`",
     "`1` on, `0` off", "refused"},
    {"FUNCtion:FFT:DETEction:REALTime",
     "`PPEAK|NPEAK|SAMPle|AVERage`: the detector of the real-time trace", "`PPEAK`", "the keyword",
     "refused"},
    {"FUNCtion:FFT:DETEction:AVERage FUNCtion:FFT:DETEction:MAXHold FUNCtion:FFT:DETEction:MINHold",
     FFT_TRACE_MODES ": the average, max-hold or min-hold trace and its detector", "`OFF`",
     "the keyword", "refused"},
    {"FUNCtion:FFT:DETEction:AVERage:COUNt", "whole number: the spectra averaged by the average trace",
     "`1`", "the number", "held at the page's limits"},
    {"FUNCtion:FFT:DETEction:RESet", "none: restarts the average and hold traces", "", "", ""},
    {"FUNCtion:FFT:MARK:TYPE", "`OFF|AUTO|THReshold|MANUal`: the peak marks", "`OFF`", "the keyword",
     "refused"},
    {"FUNCtion:FFT:MARK:SOURce",
     "`REALtime|AVERage|MAXHold|MINHold`: the trace the marks of the mark type in force sit on",
     "`REALtime`", "the keyword", "refused (a trace that is off too)"},
    {"FUNCtion:FFT:MARK:POINts", "whole number: the peaks the `AUTO` marks show", "`5`", "the number",
     "held at the page's limits"},
    {"FUNCtion:FFT:MARK:EVENt", "`ON|OFF|1|0`: the list of the marks (`AUTO` and `THReshold` types)",
     "`0`", "`1` on, `0` off", "refused"},
    {"FUNCtion:FFT:MARK:THReshold:LEVel",
     "a number (exponent allowed) with its unit: `dB` (-10 .. 10) with the `DBRMS` scale, `V` "
     "(within +-4 divisions of the math trace) with `VRMS`, or without one in the scale in force: "
     "the level above which `THReshold` marks peaks",
     "`0`", "the level, `%e`", "clamped to the range; another unit is refused"},
    {"FUNCtion:FFT:MARK:MANUal:PEAK", "none: puts the manual mark on the highest peak", "", "", ""},
    {"FUNCtion:FFT:MARK:DATA", "", "",
     "an IEEE 488.2 block of text: `FFT`, `ID,Freq,Amp`, then one line `<n>,<Hz>,<amplitude>,` a mark",
     ""},
    {"FUNCtion:FFT:WATerfall:SLICe",
     "whole number 1 .. the rows kept (at most 200): the waterfall row shown; only while stopped", "`1`",
     "the number", "clamped to the range; refused with a message while running"},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
