// The FFT pages of the math menu: their items, the page moves between them
// and the settings they keep in the run state's FFT block.
#pragma once
#include <cstdint>
#include <vector>

#include "analysis/fft/fft_display.h"  // Math_FFT_DisplayModeSel
#include "analysis/fft/fft_marks.h"    // the mark pages' handlers
#include "core/menu/keypara.h"
#include "core/menu/menu.h"

#include "core/menu/menu_def.h"

// The rows of the FFT items (pages 1 to 18).
const std::vector<MenuItemDef>& MathFftItems();
// Stored FFT values outside their ranges take their defaults; the run
// state's FFT block follows the items.
void MathFftMenuReset();
// The page handler's FFT part.
int MathFftPageOp(keypara k);
// The FFT type shown: the screen mode's areas (split and waterfall fall back
// to full on a zoomed time base), the span texts, the memory depth checked.
void FftTypeOn();
// Asks for a deeper memory when the FFT is longer than the record.
int AdjMemDepth();
// After another module's key: the extra traces restart (and the independent
// view's scale texts follow), a memory-depth change is checked.
void FftBetweenSync(uint16_t key);
// FFT points of a Points choice (8K << index), 0 for a bad index.
uint32_t MathFftPoints(int index);

// The detectors in force: the main trace's (0 positive peak, 1 negative
// peak, 2 sample, 3 average); those of the average, max-hold and min-hold
// traces (0 off, else the main numbering + 1); the average depth choice
// (1..9: 2 .. 512 frames).
struct FftDetectors {
  int main = 0, average = 0, maxHold = 0, minHold = 0, depth = 1;
};
FftDetectors FftDetectorChoice();
// The detector items' handlers rerun (start-up, presets): the enhanced pages
// show the choice, the average depth is offered while the average is on.
void FftDetectorsReset();
// Display modes the enhanced view's Enable item withholds (a choice mask).
uint32_t FftEnhancedModeMask();
// Item 60 offers the display modes the points and the enhanced view allow.
void FftOfferDisplayModes();
// The math channel's scale for the FFT unit in force: 20 dB a division in
// dBVrms, the math channel's default (1 V a division) in Vrms.
void FftDefaultScale();

int Math_FFT_Source(keypara k);
int Math_FFT_Window(keypara k);
int Math_FFT_Vertical(keypara k);
int Math_FFT_Next(keypara k);
int Math_FFT_Points(keypara k);
int Math_FFT_DisplayMode(keypara k);
int Math_FFT_FreqAdj(keypara k);
int Math_FFT_DetectionMode(keypara k);
int Math_FFT_TopMark(keypara k);
int Math_FFT_UserPreSets(keypara k);
int Math_FFT_DetectionMode_Next(keypara k);
int Math_FFT_DetectionMode_Previous(keypara k);
int Math_FFT_DetectionMode_Back(keypara k);
int Math_FFT_Mark_Back(keypara k);
int Math_FFT_FreqSel_Back(keypara k);
int Math_FFT_DisplayModeBack(keypara k);
int Math_SpectrumTraces_Back(keypara k);
int Math_SpectrumTraces_ResetTraces(keypara k);
int FFT_DetectionBack(keypara k);
int Math_FFT_MarkBack(keypara k);
int Math_FFT_MarkNext(keypara k);
int Math_FFT_MarkPrevious(keypara k);
int Math_FFT_SpectrumTraces(keypara k);
int Math_FFT_Detection(keypara k);
int Math_FFT_Mark(keypara k);
int Math_FFT_DetectionMode_RealTime(keypara k);
int Math_FFT_DetectionMode_Average(keypara k);
int Math_FFT_DetectionMode_AverageSel(keypara k);
int Math_FFT_DetectionMode_MaxHold(keypara k);
int Math_FFT_DetectionMode_MinHold(keypara k);
int Math_FFT_DetectionMode_ResetTrack(keypara k);
int Math_FFT_EnhancedEnable(keypara k);
int Math_SpectrumTraces_Average(keypara k);
int Math_SpectrumTraces_MaxHold(keypara k);
int Math_SpectrumTraces_MinHold(keypara k);
int FFT_DetectionRealTime(keypara k);
int FFT_DetectionAverage(keypara k);
int FFT_DetectionMaxHold(keypara k);
int FFT_DetectionMinHold(keypara k);
