// The reference entries of the serial-bus commands (trigger_sbus_scpi.cpp,
// trigger_sbus_scpi_patterns.cpp).
#include "remote/scpi/scpi_doc.h"

namespace {
#define SBUS_PATTERN_FORM                                                                      \
  "in double quotes, one character a bit, most significant first: `0`, `1`, or `X` (don't "    \
  "care) where the bus allows it; a longer text keeps its last bits, a shorter one is filled " \
  "with 0 in front"
}  // namespace

extern const ScpiDoc TriggerSbusScpiDoc[] = {
    {"SBUS:RS232:DATA",
     "the data byte the `DATA` qualifier compares: 8 bits (`\"01001000\"`), " SBUS_PATTERN_FORM
     " (no `X` here)",
     "`00000000`", "eight binary digits",
     "a character other than 0 or 1 is refused (`X` with a message)"},
    {"SBUS:I2C:ADDRess",
     "the address: 7 or 10 bits after `SBUS:I2C:ASIZe`, " SBUS_PATTERN_FORM " (no `X` here)", "",
     "7 or 10 binary digits; nothing while the qualifier uses no address",
     "a character other than 0 or 1 is refused; nothing while the qualifier uses no address"},
    {"SBUS:I2C:DATA",
     "the data bytes (`SBUS:I2C:DATA:LEN` of them, 8 bits each), " SBUS_PATTERN_FORM " (no `X` here)",
     "", "the bytes as binary digits; nothing while the qualifier uses no data",
     "more than 40 characters, or another character, is refused; nothing while the qualifier "
     "uses no data"},
    {"SBUS:I2C:DATA:LEN", "whole number 1 .. 5: the data bytes compared", "`1`", "the number",
     "above 5 gives 5; below 1 is refused"},
    {"SBUS:SPI:DATA",
     "the words the data qualifier compares (`SBUS:SPI:FRAMelen` words of `SBUS:SPI:WIDTh` "
     "bits, at most 128 bits), " SBUS_PATTERN_FORM,
     "", "the bits, `0`, `1` or `X`; nothing while the qualifier uses no data",
     "another character is refused; nothing while the qualifier uses no data"},
    {"SBUS:CAN:ID",
     "the identifier: 11 bits (standard) or 29 (extended, `SBUS:CAN:ID:MODE`), " SBUS_PATTERN_FORM, "",
     "11 or 29 binary digits or `X`; nothing while the qualifier uses no identifier",
     "another character is refused and clears the pattern"},
    {"SBUS:CAN:DATA", "the data bytes (`SBUS:CAN:DATA:LEN` of them), " SBUS_PATTERN_FORM, "",
     "the bits, `0`, `1` or `X`; nothing while the qualifier uses no data",
     "another character is refused and clears the pattern"},
    {"SBUS:CAN:DATA:LEN", "whole number 1 .. 8: the data bytes compared", "",
     "the number; nothing while the qualifier uses no data", "above 8 gives 8; below 1 is refused"},
    {"SBUS:LIN:ID",
     "the identifier: 6 bits, 8 with the parity shown (`SBUS:LIN:PARity:DISPlay`), " SBUS_PATTERN_FORM,
     "", "6 or 8 binary digits or `X`; nothing while the qualifier uses no identifier",
     "another character is refused and clears the pattern"},
    {"SBUS:LIN:DATA", "the data bytes (`SBUS:LIN:TRIGger:DATA:LENGth` of them), " SBUS_PATTERN_FORM, "",
     "the bits; nothing while the qualifier uses no data",
     "another character is refused and clears the pattern"},
    {"SBUS:LIN:DATA:LENGth SBUS:LIN:TRIGger:DATA:LENGth",
     "whole number 1 .. 8: the data bytes of a frame (for the decode) or compared by the trigger", "`1`",
     "the number", "clamped to 1 .. 8"},
    {"SBUS:MODE",
     "`RS232|I2C|SPI|CAN|LIN`: the serial-bus trigger type (the decode follows it). There is no "
     "`OFF`: an analog type set with `TRIGger:MODE` (`EDGE`) ends the serial-bus trigger. A fresh "
     "root takes every bus line from `CHANnel1` (the I2C data too) and reads RS232 at 2400 baud, "
     "5 data bits, `MSBFirst`, `NEGative`, no parity: the README's bus examples set the framing "
     "the board sends",
     "",
     "the keyword; nothing while an analog type is in force",
     "refused (`OFF` and an analog type too: `TRIGger:MODE`)"},
    {"SBUS:DISPlay",
     "`ON|OFF|1|0`: the decode lane below the traces (shown only with a serial-bus type)", "`0`",
     "`1` on, `0` off", "refused"},
    {"SBUS:BASE", "`HEX|DEC|BINary|ASCII`: the number base of the decoded values (`ASCII` with RS232 only)",
     "`HEX`", "the keyword", "refused"},
    {"SBUS:EVENt", "`ON|OFF|1|0`: the event table of the decoded frames", "`0`", "`1` on, `0` off",
     "refused"},
    {"SBUS:VERTical:POSition",
     "whole number -160 .. 160: the decode lane's height on the screen, in points", "`160`",
     "the number", "clamped to -160 .. 160"},
    {"SBUS:DATA", "", "",
     "the decoded frames over the screen as text (the event table's rows, times from the "
     "waveform area's left edge) in an IEEE 488.2 block; nothing while there is no decode",
     ""},
    {"SBUS:RS232:BAUDrate SBUS:CAN:SIGNal:BAUDrate SBUS:LIN:SIGNal:BAUDrate",
     "whole number, bit/s: a listed rate is chosen from the list (RS232 2400 .. 2764800, CAN "
     "10000 .. 1000000, LIN 1200 .. 19200), any other is a user rate (RS232 1 .. 25000000, CAN "
     "1 .. 2000000, LIN 1 .. 100000)",
     "RS232 `2400`, CAN `10000`, LIN `1200`", "the rate", "a user rate is clamped to its range"},
    {"SBUS:RS232:BITorder SBUS:SPI:BITorder", "`MSBFirst|LSBFirst`", "RS232 `MSBFirst`, SPI `LSBFirst`",
     "the keyword", "refused"},
    {"SBUS:RS232:SOURce SBUS:I2C:CLOCk:SOURce SBUS:I2C:DATA:SOURce SBUS:SPI:CS:SOURce "
     "SBUS:SPI:CLOCk:SOURce SBUS:SPI:MISO:SOURce SBUS:SPI:MOSI:SOURce SBUS:CAN:SOURce "
     "SBUS:LIN:SOURce",
     "`CHANnel1|CHANnel2`: the channel the bus line is taken from", "`CHANnel1`",
     "`CHANnel1` or `CHANnel2`", "refused; `SBUS:SPI:CS:SOURce` always (the SPI chip select's source is fixed)"},
    {"SBUS:RS232:POLarity", "`NEGative|POSitive`: positive, a 1 is the high level", "`NEGative`",
     "the keyword", "refused"},
    {"SBUS:RS232:PARity", "`NONE|ODD|EVEN`", "`NONE`", "the keyword", "refused"},
    {"SBUS:RS232:DATA:BIT", "whole number 5 .. 8: data bits a character", "`5`", "the number",
     "above 8 gives 8, 1 .. 4 give 5; below 1 refused"},
    {"SBUS:RS232:STOP:BIT", "`1|2`: stop bits", "`1`", "`1` or `2`", "refused"},
    {"SBUS:RS232:QUALifier",
     "`BEGFrame|ERRFrame|ECCError|DATA`: a frame's start, a framing error, a parity error, the "
     "data byte",
     "`BEGFrame`", "the keyword", "refused"},
    {"SBUS:I2C:ASIZe", "`7|10`: address bits", "`7`", "`7` or `10`", "refused"},
    {"SBUS:I2C:ADIRection SBUS:CAN:ID:DIRection", "`WRITE|READ|ANY`", "`WRITE`", "the keyword",
     "refused"},
    {"SBUS:I2C:QUALifier",
     "`STARt|RESTart|STOP|LOSS|ADDRess|DATA|ADATA`: start, repeated start, stop, missing "
     "acknowledge, address, data, address and data",
     "`STARt`", "the keyword", "refused"},
    {"SBUS:SPI:CS:POLarity SBUS:SPI:MISO:POLarity", "`NEGative|POSitive`", "`NEGative`", "the keyword",
     "refused"},
    {"SBUS:SPI:CLOCk:POLarity",
     "`NEGative|POSitive`: the clock edge the data is taken on, falling (`NEGative`) or "
     "rising; the README's SPI traffic (mode 0) is taken on the rising edge",
     "`NEGative`", "the keyword", "refused"},
    {"SBUS:SPI:MOSI:POLarity",
     "`NEGative|POSitive`: `NEGative` reads MOSI inverted (a 1 is the low level)", "`NEGative`",
     "the keyword", "refused"},
    {"SBUS:SPI:WIDTh", "whole number 4 .. 32: bits a word", "`4`", "the number", "clamped to 4 .. 32"},
    {"SBUS:SPI:TRIGger:TIMeout",
     "seconds, with an optional unit `ns`, `us` or `ms`: the idle clock time that ends a frame "
     "(there is no chip select), 80 ns .. 1 s; a frame is read only when its clock pauses at "
     "least this long between bursts, so raise it for traffic whose bits are slower than 80 ns "
     "(the README's 1 Mbit/s example needs 10us or more)",
     "`8.000000e-08` (80 ns)", "seconds, `%-13.6e`", "clamped to 80 ns .. 1 s"},
    {"SBUS:SPI:QUALifier", "`IDLE|IDLEDATA`: a frame's start after the idle time, or its data compared",
     "`IDLE`", "`IDLE`, `IDLEDATA` (or `CS`)", "refused (the chip-select forms too)"},
    {"SBUS:SPI:FRAMelen",
     "whole number 1 .. 32: the words the data qualifier compares, at most 128 bits in all", "",
     "the number; nothing while the qualifier uses no data", "clamped to 1 .. 32 and to 128 bits"},
    {"SBUS:CAN:SIGNal:DEFinition", "`CANL|CANH`: the line probed (dominant low or high)", "`CANL`",
     "the keyword", "refused"},
    {"SBUS:CAN:QUALifier",
     "`START|ID|DATA|IDDATA|END|ACKerror|BITFILL`: a frame's start, identifier, data, both, "
     "end, a missing acknowledge, a stuff error",
     "`START`", "the keyword (`DATA`, `REMote`, `ERRor` or `OVERload` after `SBUS:CAN:FRAMe:TYPE`)",
     "refused"},
    {"SBUS:CAN:FRAMe:TYPE",
     "`DATA|REMote|ERRor|OVERload`: triggers on that kind of frame (shares the qualifier)", "`START`",
     "as `SBUS:CAN:QUALifier?`", "refused"},
    {"SBUS:CAN:ID:MODE", "`STANdard|EXTended`: 11- or 29-bit identifier", "`STANdard`", "the keyword",
     "refused"},
    {"SBUS:LIN:POLarity", "`NORMal|INVert`", "`NORMal`", "the keyword", "refused"},
    {"SBUS:LIN:VERSion", "`VER1|VER2|ANY`: classic or enhanced checksum", "`VER1`", "the keyword",
     "refused"},
    {"SBUS:LIN:PARity:DISPlay SBUS:LIN:DATA:LENGth:DISPlay",
     "`ON|OFF|1|0`: the identifier's parity bits, or the data length, shown in the decode", "`0`",
     "`1` on, `0` off", "refused"},
    {"SBUS:LIN:QUALifier", "`SYNC|ID|DATA|IDDATA|WAKE|SLEEP|ERROR`", "`SYNC`", "the keyword", "refused"},
    {"SBUS:LIN:ERRor:TYPE", "`SYNC|PARity|SUM`: the error the `ERROR` qualifier triggers on", "`SYNC`",
     "the keyword", "refused"},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
