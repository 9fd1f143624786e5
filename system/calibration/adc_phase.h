// Alignment of the two ADCs' sampling phases: raster checks of the ADC test
// pattern, record statistics, the start-up check, the two-pattern check and
// the phase search, and the 50 mV gain adjustment. All run synchronously and
// block the caller for seconds.
#pragma once
#include <cstdint>

struct taskresponse;

extern int PIC_SAMPLE_CNT;  // raster accumulations per capture

// Raster checks: 1 clean, -1 glitches or a capture time-out.
int TaskSystemAdcPhasePicProcess(int* clean, int* lit, float* ratio);
int TaskSystemAdcPhasePicProcessForCh(short channel);
void TaskSystemAdcPhasePicProcessCmpCh(int* ch1, int* ch2);
// Per channel of the last captured raster (QelWaveData): 1 or -1, the bad
// columns and the largest lit count of a column.
void TaskSystemAdcPhasePicAnalysis(int* ch1Result, int* ch1Bad, int* ch1Max, int* ch2Result, int* ch2Bad,
                                   int* ch2Max);

// Statistics of a 7000-byte record.
constexpr int kPhaseRecordBytes = 7000;
int TaskSystemAdcDetection(const uint8_t* record, short* nearCount, short* farCount);
int TaskSystemGetWaveTopLow(const uint8_t* record, short* top, short* low);

// Start-up check with the stored phase codes: the last capture result (1
// clean); the clean try (from 0) in `tries`, 20 when none.
int AdcStartPhaseDetection(short mode, short* tries);
int AdcAgeForPhaseDetection(short keepTimeBase);
// The phase search: the 16 pass flags and {found, phase 1, phase 2, 4} in
// the reply's words when given; 0.
int TaskSystemAdjAdcPhase(taskresponse* reply);
// The phase codes the search stored in the EEPROM (bytes 6 and 7, with the
// state byte 8 at 4): true with them in *phase1, *phase2; false, leaving
// them, when no search has stored a pair.
bool AdcStoredPhases(int* phase1, int* phase2);
// The 50 mV/div gain calibration of channel 0 or 1 on a 300 mV square wave
// (six divisions): the ADC's coarse and fine gain codes that give a span of
// 150 codes, then the offset that puts its top on code 202; 0, or -1 when it
// failed (message 50 for a wrong input, 51 when no gain code fits).
int TaskSystemAdjChGain(short channel);
// The same with its text on the screen, saving the calibration file; its
// result, -1 when the calibration failed, or the channel above 1.
int ChannelGainCali50mv(short channel);
