// The reference entries of the waveform read-out commands (wave_scpi.cpp,
// wave_frames.cpp).
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc WaveScpiDoc[] = {
    {"WAVeform:MODE",
     "`NORMal|RAW`: `NORMal` reads the trace on the screen, 700 points, each the maximum of "
     "the samples its screen column shows (so a sine's mean over a block reads above its true "
     "mean); `RAW` takes the source's record of the memory depth in force "
     "(`ACQuire:MEMory:DEPTh`), read in blocks by `WAVeform:DATA?`. Setting either starts the "
     "next read at sample 0",
     "`NORMal`", "`NORMal` or `RAW`",
     "refused; `RAW` is refused with a message in roll mode and in XY format"},
    {"WAVeform:FORMat",
     "`WORD|BYTE|ASCII`: a sample as one byte, as two bytes (little-endian, the high byte 0), "
     "or as volts in `%e` text separated by commas",
     "`BYTE`", "`WORD`, `BYTE` or `ASCII`", "refused"},
    {"WAVeform:STARt",
     "whole number: the first sample of the next `RAW` block (0 .. 7000; 0 .. 1400 in `NORMal`)", "`0`",
     "the number; `-1` once the last `RAW` block has been read", "clamped to the range"},
    {"WAVeform:STOP",
     "whole number: the sample a `RAW` read ends at, `-1` the end of the record (-1 .. 7000; "
     "-1 .. 1400 in `NORMal`)",
     "`-1`", "the number", "clamped to the range"},
    {"WAVeform:SOURce", "`CHANnel1|CHANnel2|MATH`", "`CHANnel1`", "`CHANnel1`, `CHANnel2` or `MATH`",
     "refused"},
    {"WAVeform:POINts", "whole number 1 .. 65535: the samples of each `RAW` block", "`1000`",
     "the number", "kept as 16 bits: 70000 becomes 4464"},
    {"WAVeform:DATA", "", "",
     "an IEEE 488.2 block (`#`, the number of length digits, the length, the data) of the "
     "samples in the `FORMat`: in `NORMal` the 700 screen points; in `RAW` the next `POINts` "
     "samples from `STARt` (the last block shorter); after the last block nothing (the read "
     "times out) until `MODE` is set again. A byte's volts are (code - `YREFerence` - "
     "`YORigin`) x `YINCrement`: (code - the source's position code) x volts per division / 25",
     ""},
    {"WAVeform:PREamble", "", "",
     "ten fields separated by commas: format (0 BYTE, 1 WORD, 2 ASCII), type (0 normal, 1 "
     "peak, 2 average, 4 high resolution), points, count (in `AVERage` the acquisitions "
     "averaged, `ACQuire:AVERages:COUNt`; else 1), x increment (s), x origin (s), x reference "
     "(0), y increment (V), y origin, y reference (127); with the zoom window shown the `NORMal` "
     "x increment and origin are the zoom pane's",
     ""},
    {"WAVeform:XINCrement", "", "",
     "seconds between two points, `%-13.6e`: in `NORMal` the time base / 50, in `RAW` 1 / the "
     "sample rate",
     ""},
    {"WAVeform:XORigin", "", "",
     "the time of the first point in seconds from the trigger, `%-13.6e`: in `NORMal` the left "
     "screen edge, in `RAW` minus half the record",
     ""},
    {"WAVeform:XREFerence", "", "", "`0`", ""},
    {"WAVeform:YINCrement", "", "", "volts per code, `%-13.6e`: the source's volts per division / 25",
     ""},
    {"WAVeform:YORigin", "", "", "the source's position in codes minus 127 (`0` at the centre)", ""},
    {"WAVeform:YREFerence", "", "", "`127`", ""},
    {"Waveform#:DAT", "", "",
     "for the web viewer: the JSON description of the channel (1 or 2) and its trace frame (a "
     "96-byte header with an MD5 of the LZO1X-1 compressed trace), all compressed again with "
     "LZO1X-1, in an IEEE 488.2 block",
     ""},
    {"Frame", "", "",
     "for the web viewer: the 700 x 200 intensity picture (two bytes a point) behind a 96-byte "
     "header, compressed with LZO1X-1, in an IEEE 488.2 block",
     ""},
    {"FrameStart FrameEnd", "", "",
     "the JSON description (`CHANNEL_PARAM`, `DISPLAY_PARAM`) of the channels that are on, "
     "ending in CR LF, as raw text; the frame count restarts at 0",
     ""},
    {"FrameColor", "", "",
     "the two 256-entry colour tables (2048 bytes) behind a 96-byte header, compressed with "
     "LZO1X-1, in an IEEE 488.2 block",
     ""},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
