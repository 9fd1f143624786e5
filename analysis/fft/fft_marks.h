// Marks on the spectrum: automatic (the largest peaks, apart), threshold (the
// peaks above a level) and manual (a mark moved over the sorted peaks), with
// their list; the values the screen and the SCPI commands show.
#pragma once
#include <cstdint>

#include "core/menu/keypara.h"

constexpr int kFftMarksMax = 50;
constexpr int kFftMarkListRows = 8;

enum FftMarkFunc : int { kMarkAuto = 0, kMarkThreshold = 1, kMarkManual = 2 };
enum FftMarkSource : int {
  kMarkSrcMain = 0,
  kMarkSrcAverage = 1,
  kMarkSrcMaxHold = 2,
  kMarkSrcMinHold = 3
};

// The peaks of one frame from the source trace (700 upper values, then
// lower): `columns` shown columns, `p5` the math position code, `codesPerUnit`
// screen codes per volt (Vrms) or per dB.
void FFTMarkProcess(const float* trace, int columns, int p5, double codesPerUnit);

// Mark state (the module's fields of the mark pages).
void SetMarkFunc(int f);  // 0 auto, 1 threshold, 2 manual
int GetMarkFunc();
void SetMarkTypeSel(int on);  // marks enabled (0/1)
int GetMarkTypeSel();
int SetMarkSrc(int src);  // 0..3, else -1
int GetMarkSrc();
int SetMarkPoints(int n);            // wanted automatic marks 1..50, else -1
int GetMarkPoints();                 // auto: the wanted count; threshold: the count found
void SetMarkThreShold(float level);  // volts or dB
void ShowMarkThreShold(bool db);     // the threshold item's form: dB or volts
float GetMarkThreShold();
void SetMarkList(int on);
int GetMarkListOnOff();
int SetMarkListStartNo(int n);  // kept within 0..max(0, count - 8)
int GetMarkListStartNo();
void MarkManualOnOff(int on);
int GetMarkManualOnOff();
int SetMarkManualPos(int column);  // 0..699, else -1
int GetMarkManualPos();
int SetMarkManualPeakPos(int n);  // the manual mark goes to sorted peak n (0..49)
int GetMarkManualPeakPos();
int GetMarkManualfValPosbyPos(int n);  // column of sorted peak n, -1 beyond them
float GetMarkManualfValByPos(int n);   // code of sorted peak n
// Requests of the enhanced mark page, served by the next frame.
void SetMarkToPeak();
void SetMarkToNextPeak();
void SetMarkToMinimum();
int SetMarkPos(int column);  // mark cursor column 1..699 (wrapping), the column
int GetMarkPos();
// The enhanced page's mark cursor is shown (its Enable item on) and the
// source trace's code at its column in the last frame.
bool FftMarkCursorOn();
float FftMarkCursorCode();

// The marks found this frame (auto: at most the wanted count; threshold:
// every peak found; manual: 1).
int FftMarkCount();
// A consistent copy of the marks (at most `max`): columns and trace codes;
// their number.
int FftMarkList(int* columns, float* codes, int max);
// Column and trace code of mark n (0..count-1); -1 / 0 beyond them.
int FftMarkColumn(int n);
float FftMarkCode(int n);
// Frequency (Hz) of a column and the amplitude (volts or dB) of a code.
double FftColumnHz(int column);
double FftCodeValue(float code);
// The manual mark's column (the manual position, or the chosen sorted peak).
int FftManualMarkColumn();

// Clears the marks (menu reset): 5 automatic marks, list closed at row 0,
// manual off.
void FftMarksReset();

// Menu handlers of the mark pages.
int Math_FFT_Mark_Type(keypara k);
int Math_FFT_MarkAuto_Src(keypara k);
int Math_FFT_MarkAuto_Points(keypara k);
int Math_FFT_MarkAuto_List(keypara k);
int Math_FFT_MarkThreShold_Src(keypara k);
int Math_FFT_MarkThreShold_Adj(keypara k);
int Math_FFT_MarkThreShold_List(keypara k);
int Math_FFT_MarkManual_Src(keypara k);
int Math_FFT_MarkManual_SetToPeak(keypara k);
int Math_FFT_MarkManual_NextPeak(keypara k);
int Math_FFT_MarkEnable(keypara k);
int Math_FFT_MarkType(keypara k);
int Math_FFT_MarkSetToPeak(keypara k);
int Math_FFT_MarkSetToMinimum(keypara k);
int Math_FFT_MarkSelect(keypara k);
// Page handler of the Mark1/Mark2 pages: the select knob moves the mark
// cursor while manual select is on.
int FFTMarkOp(keypara k);
// A mark source whose trace went off falls back to the main trace.
void DetectionModeSyncMarkSource();
