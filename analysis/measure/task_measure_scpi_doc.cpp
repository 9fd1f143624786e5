// The reference entries of the measure commands (task_measure_scpi.cpp).
#include "remote/scpi/scpi_doc.h"

namespace {
#define MEAS_SOURCE \
  "optional source `CHANnel1|CHANnel2|MATH` (or `0|1|2`); without one the measure page's source"
#define MEAS_ANSWER(unit) \
  "the value in " unit ", `%e`; `*` when the source is off or the value cannot be measured"
#define MEAS_PAIR                                                                                \
  "optional `<source>,<second source>` (no blank; each `CHANnel1|CHANnel2|MATH`); without them " \
  "the measure page's two sources; both must be on"
}  // namespace

extern const ScpiDoc TaskMeasureScpiDoc[] = {
    {"MEASure:ALL", "`ON|OFF|1|0`: the panel of all parameters", "`0`", "`1` shown, `0` not", "refused"},
    {"MEASure:CLEar", "none: removes the parameters chosen for the screen", "", "", ""},
    {"MEASure:SOURce MEASure:SLAVe:SOURce",
     "`CHANnel1|CHANnel2|MATH`, or `0|1|2`: the measure page's source, or its second source "
     "(of the two-source parameters)",
     "`CHANnel1`", "`CHANnel1`, `CHANnel2` or `MATH`", "refused"},
    {"MEASure:PDUTy MEASure:NDUTy MEASure:OVERshoot MEASure:PREShoot",
     MEAS_SOURCE "; the positive or negative duty cycle, the overshoot or preshoot", "",
     MEAS_ANSWER("%"), "an unknown source gets no answer"},
    {"MEASure:VPP MEASure:VMAX MEASure:VMIN MEASure:VAMPlitude MEASure:VTOP MEASure:VBASe "
     "MEASure:VMIDdle MEASure:ACRMs",
     MEAS_SOURCE
     "; peak-to-peak, maximum, minimum, amplitude (top - base), top, base, middle, AC RMS (the "
     "mean taken away), from the record of the screen",
     "", MEAS_ANSWER("the source's unit (V at a voltage probe)"), "an unknown source gets no answer"},
    {"MEASure:VAVerage MEASure:VRMS MEASure:AREa",
     "optional `[CYCLe|DISPlay][,<source>]` or `<source>`: the mean, RMS or area over whole "
     "periods (`CYCLe`) or the screen (`DISPlay`, the default)",
     "", MEAS_ANSWER("V (the area in V s)"), "an unknown keyword gets no answer"},
    {"MEASure:FREQuency", MEAS_SOURCE, "", MEAS_ANSWER("Hz"), "an unknown source gets no answer"},
    {"MEASure:RISetime MEASure:FALLtime MEASure:PERiod MEASure:PWIDth MEASure:NWIDth", MEAS_SOURCE, "",
     MEAS_ANSWER("s"), "an unknown source gets no answer"},
    {"MEASure:PULSes", MEAS_SOURCE "; the pulses on the screen", "", MEAS_ANSWER("pulses"),
     "an unknown source gets no answer"},
    {"MEASure:PDELay MEASure:NDELay MEASure:FRR MEASure:FRF MEASure:FFR MEASure:FFF "
     "MEASure:LRR MEASure:LRF MEASure:LFR MEASure:LFF",
     MEAS_PAIR "; the delay from the first source's rising (R) or falling (F) edge to the second's, "
               "first (F) or last (L) edge: `FRF` first rising to first falling",
     "", MEAS_ANSWER("s") " (`0` for two equal sources)", "a text without the comma gets no answer"},
    {"MEASure:PHASe", MEAS_PAIR, "", MEAS_ANSWER("degrees") " (`0` for two equal sources)",
     "a text without the comma gets no answer"},
    {"MEASure:DATA", "", "",
     "36 values of the measure page's sources separated by commas, each `%e` or `*`: max, min, "
     "top, middle, base, peak-to-peak, amplitude, mean, cycle mean, RMS, cycle RMS, area, "
     "cycle area, overshoot, preshoot, period, frequency, rise, fall, positive and negative "
     "width, positive and negative duty, rising and falling delay, phase, FRR, FRF, FFR, FFF, "
     "LRF, LRR, LFR, LFF, pulses, AC RMS",
     ""},
    {"DVM:ENABle", "`ON|OFF|1|0`: the digital voltmeter", "`0`", "`1` on, `0` off", "refused"},
    {"DVM:SOURCe", "`CHANnel1|CHANnel2`: the voltmeter's channel", "`CHANnel1`",
     "`CHANnel1` or `CHANnel2`", "refused"},
    {"DVM:MODE", "`DC|DCRMs|ACRMs`: the mean, the RMS, or the RMS without the mean", "`DC`",
     "the keyword", "refused (also a mode the page has disabled)"},
    {"DVM:CURRent", "", "",
     "the voltmeter's reading, `%.3E`, in the prefix the screen shows it with (`1.234E+02` for "
     "123.4 mV)",
     ""},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
