// What the math commands read and change of the FFT view beyond its menu
// items: the shown span, the waterfall rows, the mark threshold and the marks
// of the last frame. Kept apart so the commands need nothing else of the
// view's own files.
#pragma once
#include <cstdint>

// Applies the start and end bins of items 66 and 67 (kept at least 10 bins
// apart within the spectrum) to the view.
void MathFftAdjFreq();
// Waterfall rows recorded, and the row shown `pos` rows before the newest.
int MathFftWaterFallCnt();
void MathFftSetCurrRecPos(int pos);
// Items 38 and 43 (the automatic and the threshold mark list) set to the
// values given, and the list of the mark type in force shown as its item
// says: a recall's lists, which the type's re-apply closed.
void MathFftPutMarkLists(uint64_t autoList, uint64_t thrList);
// The level of the threshold marks, in volts (Vrms) or dB (dBVrms).
void MathFftSetMarkThreshold(float level);
float MathFftMarkThreshold();
// The marks of the last frame: their number, and the column (0..699) and
// trace code of mark n.
int MathFftMarkCount();
int MathFftMarkColumn(int n);
float MathFftMarkCode(int n);
