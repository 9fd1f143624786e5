// Bench routines of the start-up source kept for the service bench: none is
// called by the running instrument. Each reports on standard output.
#pragma once

// Every module's menu texts, one line per item ("title,choice,choice,..."
// in UTF-8), into "/udisk/Language.csv". 0, or -1 when the file cannot be made.
int ExportLanguage();
// Steps the ADC clock phase selector (0..6, then 0 again) and writes ADC
// register 41 of both ADCs; returns the selector written.
int Adj_ADC();
// Toggles the ADCs' test pattern (register 108: 8 on, 0 off); returns 1 when on.
int Adj_ADC_Wave();
// Sweeps the trigger DAC with `slot` (0 CH1, 1 CH2) as the trigger source
// upwards until the trigger comparator switches; prints and returns that DAC
// code, or -1 ("TrigCali Error!") when it never does. The trigger is then
// re-applied.
int TrigCaliTest(int slot);
// `TrigCaliTest` of CH1.
int StartTriggerCali();
// The largest and smallest sample codes of both channels in one acquisition.
void GetChMaxMin(int* max1, int* min1, int* max2, int* min2);
void TestMaxMin();
// Restarts the web server process.
int WebServerStart();
// Posts "CHANnel1:COUPling \n" on the SCPI queue; the bytes posted or -1.
int ScpiInstrTest();
// One step of alternate triggering through the trigger module.
int SwitchTriggerAlternate();
