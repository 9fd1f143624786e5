// The reference entries of the storage commands (task_storage_scpi.cpp).
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc TaskStorageScpiDoc[] = {
    {"STORage:TYPE", "`WAVE|SETUP|REF`: the STORAGE page shown (waveforms, setups, references)",
     "`WAVE`", "the keyword", "refused"},
    {"STORage:WAVE:SOURce", "`CHANnel1|CHANnel2`, or `0|1` for them: the channel a waveform save takes",
     "`CHANnel1`", "`CHANnel1` or `CHANnel2`", "refused"},
    {"STORage:CSV:STARt", "none: on the waveform page, saves go to the USB disk as CSV", "", "",
     "refused on another page"},
    {"STORage:SAVE",
     "none: saves as the page's Save does (a waveform or a setup, under the next free name)", "", "",
     "refused on the reference page"},
    {"STORage:LOAD", "none: on the setup page, opens the list of setup files", "", "",
     "refused on another page"},
    {"STORage:DISK:SELect",
     "`FLASH|UDISK`, or `0|1` for them: where the page shown (waveforms or setups) saves and loads; "
     "refused (and its query) on the reference page",
     "`FLASH`", "`FLASH` or `UDISK`", "refused; `UDISK` also while no USB disk is plugged in"},
    {"REF:DISK:SELect",
     "`FLASH|UDISK`, or `0|1`: where the reference page loads from; refused (and its query) while "
     "another page is shown",
     "FLASH", "`FLASH` or `UDISK`; nothing while the reference page is not shown", "refused"},
    {"REF:LOAD", "none: on the reference page, opens the list of waveform files", "", "",
     "refused on another page"},
    {"REF:CLEar", "none: on the reference page, clears the reference shown", "", "",
     "refused on another page"},
    {"FILE:SAVE",
     "`\"<name>.<wav|csv|dat|mp4>\"[,<source>][,<disk>]`: saves a waveform (`wav`, `csv`; "
     "source `CHANnel1|CHANnel2`), a setup (`dat`) or the recording as a video (`mp4`: "
     "`\"<name>.mp4\"[,first,last,fps]`, frames 1 .. recorded, 1 .. 30 frames a second, "
     "default all frames at 24); disk `FLASH|UDISK` (default `FLASH`; `csv` needs `UDISK`). "
     "Files go to `Data/Storage/Wave` or `Data/Storage/Set` in the root, on the USB disk to "
     "`udisk/KOLV/Wave` or `udisk/KOLV/Set`; a video to `udisk/<name>.mp4`. Example: "
     "`FILE:SAVE \"x.csv\",CHANnel1,UDISK` writes `udisk/KOLV/Wave/x.csv`",
     "", "",
     "an unknown extension, `csv` on `FLASH`, a waveform in X-Y, a video without a recording "
     "or with frames outside the recording are refused"},
    {"FILE:LOAD",
     "`\"<name>.<wave|dat>\"[,REFA|REFB][,<disk>]`: loads a waveform into reference A or B, or "
     "recalls a setup, from the folders `FILE:SAVE` writes (disk `FLASH|UDISK`, default "
     "`FLASH`)",
     "", "", "an unknown extension, or a waveform in X-Y, is refused; a missing file changes nothing"},
    {"CHANnel6:SELect CHANnel7:SELect",
     "none: makes reference A (6) or B (7) the active trace and shows the reference page", "",
     "`1` while that reference is the active trace, else `0`", ""},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
