// The spectrum's screen modes and its drawing into the composer's page.
#include "analysis/fft/fft_display.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "analysis/fft/fft_kit.h"
#include "analysis/fft/fft_marks.h"
#include "analysis/fft/fft_span.h"
#include "analysis/fft/fft_view.h"
#include "analysis/math/math_calc.h"
#include "analysis/math/task_math.h"
#include "core/common/common_subprogram.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "ui/screen/qel_draw.h"

using namespace fft_kit;

namespace {
constexpr int kLeft = 30, kTop = 33, kIndependentLeft = 130;
constexpr int kMenuTabColumn = 650;  // the menu's title tab, left of its panel
constexpr int kFullCentre = 233, kFullHeight = 400, kHalfCentre = 333, kUpperCentre = 133,
              kHalfHeight = 200;
constexpr int kZoomCentre = 305, kZoomHeight = 280;
constexpr int kMapTopFull = 34, kMapTopLower = 234, kMapTopOverview = 34, kMapTopZoom = 47,
              kZoomFirstRow = 59;
constexpr int kWaterfallTop = 34, kSliceBase = 234;
constexpr int kPointsNoWaterfall = 0xF0;  // points choices 4..7 (128K and more)
constexpr int kSliceItem = kMathItemWaterfallSlice;
constexpr int kSliceStepMax = 10;
constexpr int kMsgZoom = 25, kMsgStopFft = 63, kMsgEnableFft = 64, kMsgLeaveSplit = 96,
              kMsgWaterfall64K = 111;
constexpr int kAssistSetItem = 3, kMeasureIndicator = 7;
constexpr int kGrey = 0x808080, kWhite = 0xFFFFFF, kRed = 0xFF0000, kDarkRed = 0x800000,
              kText = 0xFFFFFF;
constexpr int kBracketTop = 38, kBracketBottom = 228, kTick = 5;
constexpr int kUserWaveColours[3] = {0xFF8000, 0xFFFF00, 0x00FF80};  // average, max-hold, min-hold
constexpr int kMarkIcon = 9, kBoxWidth = 90, kBoxHeight = 40, kBoxFlipAt = 601;
constexpr int kLowCode = 27, kHighCode = 227;

void Areas(std::initializer_list<int> slots, int centre, int height) {
  for (int s : slots) SysRunStatus.SetWaveDisplayInfor(s, centre, height);
}
void Put(uint32_t* page, int row, int col, int colour) {
  if (row >= 0 && row < Draw::kHeight && col >= 0 && col < Draw::kWidth)
    page[row * Draw::kWidth + col] = uint32_t(colour);
}
// Intensity v of the spectrum map in the math channel's red.
int MapColour(uint8_t v) {
  const int r = std::max<int>(v, 64);
  return r << 16 | (v / 4) << 8 | (v / 4);
}
// Screen row of a trace code in an area (a reading off the area at its edge).
int RowOfCode(double code, int centre, int height) {
  code = std::clamp(code, double(kLowCode), double(kHighCode));
  return centre - int((code - 127) * height / 200.0);
}
void AreaOf(int mode, int* centre, int* height, int* top) {
  const bool half = mode == kFftSplit || mode == kFftWaterfall1 || mode == kFftWaterfall2;
  *centre = half ? kHalfCentre : kFullCentre;
  *height = half ? kHalfHeight : kFullHeight;
  *top = half ? kFullCentre : kTop;
}
}  // namespace

int SetFFTScreenLength(short mode) {
  Fft().columns = uint16_t(mode == kFftIndependent ? 500 : kFftColumns);
  FftSpanTexts();
  return Fft().columns;
}

void FftApplyScreenMode(int mode, bool reapply) {
  const bool zoom = SysRunStatus.GetTimeBaseType() == 1;
  if (!MathOn()) {
    TimeBase.SetHoriPoints(1);
    Areas({0, 1}, kFullCentre, kFullHeight);
  } else {
    const bool whole = mode == kFftFull || mode == kFftIndependent;
    TimeBase.SetHoriPoints(whole ? 1 : 0);
    if (zoom)
      Areas({0, 1, 5, 6, 7}, kZoomCentre, kZoomHeight);
    else if (whole)
      Areas({0, 1, 5, 6, 7}, kFullCentre, kFullHeight);
    else
      Areas({5, 6, 7}, kHalfCentre, kHalfHeight), Areas({0, 1}, kUpperCentre, kHalfHeight);
    TaskMath.ClearFFTGrayScale();
  }
  if (reapply) TimeBase.AdjTimeBase(0, 0);
}

int Math_FFT_DisplayModeSel(keypara k) {
  const int before = Fft().screen;
  int v;
  if (SysRunStatus.GetTimeBaseType() == 0) {
    v = M().AdjMenuItemPara(k, kMathItemDisplayMode);
    if (v < 0 || v > kFftWaterfall2 || (v == before && k.key != KEY_NO_KEY)) return v;
    SetFFTScreenLength(short(v));
    const bool waterfall = v == kFftWaterfall1 || v == kFftWaterfall2;
    if (waterfall && before <= kFftIndependent && k.key != KEY_NO_KEY) Message(kMsgWaterfall64K);
    M().SetItemParaAttribute(kMathItemFftPoints, waterfall ? kPointsNoWaterfall : 0);
  } else {
    // The zoomed time base has no room for the split and waterfall views.
    v = M().AdjMenuItemPara(k, kMathItemDisplayMode);
    if (v == kFftSplit || v == kFftWaterfall1 || v == kFftWaterfall2) {
      v = kFftFull;
      M().SetMenuItem(kMathItemDisplayMode, uint64_t(v));
      if (MathOn()) Message(kMsgLeaveSplit);
    } else if (v == kFftFull && MathOn() && k.key != KEY_NO_KEY) {
      Message(kMsgZoom);
    }
    SetFFTScreenLength(short(v));
  }
  if (v != kFftFull) {
    taskresponse request{}, reply{};
    request.request = kAssistSetItem;
    request.words[0] = kMeasureIndicator;
    TaskManage.RequestTaskAssist(kTaskMeasure, &request, &reply);
  }
  M().EnableItem(kSliceItem, v == kFftWaterfall1 || v == kFftWaterfall2);
  Fft().screen = uint16_t(v);
  // At start-up (no key, math off) the time base is not sent again.
  FftApplyScreenMode(v, k.key != KEY_NO_KEY || MathOn());
  return v;
}

void FftLeaveSplitViews() {
  const int v = Item(kMathItemDisplayMode);
  if (SysRunStatus.GetTimeBaseType() == 1 &&
      (v == kFftSplit || v == kFftWaterfall1 || v == kFftWaterfall2))
    Math_FFT_DisplayModeSel(keypara{KEY_NO_KEY, 0, 0});
}

// The slice shown while stopped: the knob walks the recorded rows, newest
// first, wrapping at both ends.
int Math_FFT_AdjWaterFall(keypara k) {
  if (!IsKnob(k.key)) return 0;
  const int step = std::min(std::abs(KnobStep(k)), kSliceStepMax);
  const int slice = Item(kSliceItem) + (k.key == MENU_KEY_KNOB_UP ? step : -step);
  const int rows = std::min(GetWaterFallCnt(), kFftMapRows);
  return FftWaterfallSlice(rows < 1 ? slice : 1 + ((slice - 1) % rows + rows) % rows);
}

int FftWaterfallSlice(int slice) {
  if (!MathOn()) {
    Message(kMsgEnableFft);
    return -1;
  }
  if (!Stopped()) {
    Message(kMsgStopFft);
    return -1;
  }
  const int rows = std::min(GetWaterFallCnt(), kFftMapRows);
  if (slice < 1 || slice > rows) return -1;
  M().SetMenuItem(kSliceItem, uint64_t(slice));
  SetCurrRecPos(slice - 1);
  return slice;
}

// --- drawing ---

void DrawFFT(int layout, const uint8_t* map, int left) {
  uint32_t* page = QelDraw.GetDrawAddr(DRAW_CURRENT);
  if (!page || !map) return;
  int top = kMapTopFull, rowsPer = 2, firstRow = 0, columns = kFftColumns;
  if (layout == 1)
    top = kMapTopLower, rowsPer = 1;
  else if (layout == 5)
    top = kMapTopOverview, rowsPer = 1, columns = kFftOverviewColumns;
  else if (layout == 6)
    top = kMapTopZoom, firstRow = kZoomFirstRow;
  if (left == kIndependentLeft) columns = Fft().columns;
  for (int r = firstRow; r < kFftMapRows; ++r)
    for (int c = 0; c < columns; ++c) {
      const uint8_t v = map[r * kFftColumns + c];
      if (!v) continue;
      for (int d = 0; d < rowsPer; ++d) Put(page, top + rowsPer * r + d, left + c, MapColour(v));
    }
}

void DrawFFTWaterFall(int mode, int first) {
  uint32_t* page = QelDraw.GetDrawAddr(DRAW_CURRENT);
  const int* palette = QelDraw.WaterfallPalette();
  if (!page) return;
  const int columns = mode == kFftWaterfall1 ? kFftOverviewColumns : kFftColumns;
  const int rows = FftView.full ? kFftMapRows : std::min(FftView.total, kFftMapRows);
  // The recorded rows end at the bottom of the upper area.
  for (int i = 0; i < rows; ++i) {
    const int ring = (first + kFftMapRows - rows + i) % kFftMapRows;
    const uint8_t* line = FftView.waterfall + ring * kFftColumns;
    const int row = kWaterfallTop + kFftMapRows - rows + i;
    for (int c = 0; c < columns; ++c)
      if (line[c]) Put(page, row, kLeft + c, palette[line[c]] ? palette[line[c]] : MapColour(line[c]));
  }
}

void DrawUserWave(int mask) {
  uint32_t* page = QelDraw.GetDrawAddr(DRAW_CURRENT);
  if (!page) return;
  const int columns = Fft().columns ? Fft().columns : kFftColumns;
  const int left = Fft().screen == kFftIndependent ? kIndependentLeft : kLeft;
  for (int slot = 5; slot <= 7; ++slot) {
    if (!(mask >> slot & 1)) continue;
    const uint8_t* t = WaveOp.GetSerrenMem(slot);
    if (!t) continue;
    int centre = kFullCentre, height = kFullHeight;
    SysRunStatus.GetWaveDisplayInfor(slot, &centre, &height);
    for (int c = 1; c < columns; ++c) {
      const int hi = t[c], lo = t[kFftColumns + c];
      if (!hi || (hi > kHighCode && lo > kHighCode) || (hi < kLowCode && lo < kLowCode)) continue;
      int a = RowOfCode(std::clamp(hi, kLowCode, kHighCode), centre, height);
      int b = RowOfCode(std::clamp(lo, kLowCode, kHighCode), centre, height);
      if (a > b) std::swap(a, b);
      for (int r = a; r <= b; ++r) Put(page, r, left + c, kUserWaveColours[slot - 5]);
    }
  }
}

namespace {
void MarkIcon(uint32_t* page, int x, int row) {
  // A downward triangle whose tip sits just above the peak.
  for (int i = 0; i < kMarkIcon / 2 + 1; ++i)
    for (int c = i; c < kMarkIcon - i; ++c) Put(page, row - kMarkIcon / 2 - 2 + i, x + c, kRed);
}


// A mark at one column: the icon above its code, a red line over the area and
// the box with its frequency and amplitude, right of it or left near the edge.
void ColumnMark(uint32_t* page, int x0, int column, float code) {
  int centre, height, top;
  AreaOf(Fft().screen, &centre, &height, &top);
  const int x = x0 + column;
  MarkIcon(page, x - kMarkIcon / 2, std::max(top + kMarkIcon, RowOfCode(code, centre, height)));
  QelDraw.DrawLine(top, x, top + height, x, kRed, DRAW_CURRENT);
  const int boxLeft = x >= kBoxFlipAt ? x - kBoxWidth - 2 : x + 2;
  QelDraw.FillRect(top + 2, boxLeft, kBoxWidth, kBoxHeight, kDarkRed, DRAW_CURRENT);
  char freq[24], amp[24];
  FftHzText(FftColumnHz(column), freq, sizeof freq);
  FftValueText(code, amp, sizeof amp);
  if (Font* f = QelDraw.GetUserFontPointer()) f->SetCurrFont(1);
  QelDraw.DrawString(top + 5, boxLeft + 3, freq, kText, DRAW_CURRENT);
  QelDraw.DrawString(top + 22, boxLeft + 3, amp, kText, DRAW_CURRENT);
}
}  // namespace

void DetectionMarkDisplay() {
  uint32_t* page = QelDraw.GetDrawAddr(DRAW_CURRENT);
  if (!page || !GetMarkTypeSel()) return;
  const int mode = Fft().screen;
  const int x0 = mode == kFftIndependent ? kIndependentLeft : kLeft;
  int centre, height, top;
  AreaOf(mode, &centre, &height, &top);
  if (GetMarkFunc() != kMarkManual) {
    for (int i = 0; i < FftMarkCount(); ++i) {
      const int c = FftMarkColumn(i);
      MarkIcon(page, x0 + c - kMarkIcon / 2,
               std::max(top + kMarkIcon, RowOfCode(FftMarkCode(i), centre, height)));
    }
  } else {
    const int c = FftManualMarkColumn();
    const float* trace = TaskMath.MainTrace();
    ColumnMark(page, x0, c, FftMarkCount() ? FftMarkCode(0) : trace[std::clamp(c, 0, kFftColumns - 1)]);
  }
  // The enhanced page's cursor is drawn as a manual mark at its column.
  if (FftMarkCursorOn()) ColumnMark(page, x0, GetMarkPos(), FftMarkCursorCode());
}

namespace {
// The split overview's bracket around the shown band, and label 1 under it.
void OverviewBracket() {
  const int a = kLeft + Fft().overviewMark[0], b = kLeft + Fft().overviewMark[1];
  QelDraw.DrawLine(kBracketTop, a, kBracketBottom, a, kGrey, DRAW_CURRENT);
  QelDraw.DrawLine(kBracketTop, b, kBracketBottom, b, kGrey, DRAW_CURRENT);
  for (int row : {kBracketTop, kBracketBottom - 1}) {
    QelDraw.DrawLine(row, a, row, a + kTick, kGrey, DRAW_CURRENT);
    QelDraw.DrawLine(row, b - kTick + 1, row, b + 1, kGrey, DRAW_CURRENT);
  }
  if (Font* f = QelDraw.GetUserFontPointer()) f->SetCurrFont(1);
  QelDraw.DrawTxtCenter(kFontAscii, kBracketBottom - 14, kLeft + kFftOverviewColumns / 2, Fft().label1);
}

// The independent view's division values left of its area.
void DivisionTexts() {
  FFTCalculationDivScale();
  if (Font* f = QelDraw.GetUserFontPointer()) f->SetCurrFont(1);
  for (int i = 0; i < 7; ++i)
    QelDraw.DrawString(kTop + 50 * i + 44, kLeft + 4, Fft().scaleText[i], kText, DRAW_CURRENT);
  QelDraw.DrawString(kTop + 4, kLeft + 4, Fft().unitLabel, kText, DRAW_CURRENT);
}
}  // namespace

void FftDisplay() {
  const int src = Fft().source == 1 ? 1 : 0;
  if (!(SysRunStatus.GetChStatus() >> src & 1)) return;
  const int mode = Fft().screen;
  const bool zoom = SysRunStatus.GetTimeBaseType() == 1;
  if (mode == kFftSplit) {
    DrawFFT(5, FftView.overviewMap);
    OverviewBracket();
    DrawFFT(1, FftView.mainMap);
  } else if (mode == kFftWaterfall1 || mode == kFftWaterfall2) {
    DrawFFTWaterFall(mode, (FftView.newest + 1) % kFftMapRows);
    DrawFFT(1, FftView.mainMap);
    if (Font* f = QelDraw.GetUserFontPointer()) f->SetCurrFont(1);
    // Waterfall 2 spans the screen: the label ends left of the menu's title tab.
    const int labelEnd = kMenuTabColumn - 4 - QelDraw.Stringlen(kFontAscii, FftView.label);
    QelDraw.DrawString(kTop + 4, mode == kFftWaterfall1 ? kLeft + 260 : labelEnd, FftView.label, kText,
                       DRAW_CURRENT);
    if (Stopped()) {
      const int slice = int(uint16_t(M().GetMenuItem(kSliceItem)));
      const int row = kSliceBase - slice;
      QelDraw.DrawLine(row, kLeft, row,
                       kLeft + (mode == kFftWaterfall1 ? kFftOverviewColumns : kFftColumns), kWhite,
                       DRAW_CURRENT);
    }
  } else if (mode == kFftFull || mode == kFftIndependent) {
    DrawFFT(zoom ? 6 : 0, FftView.mainMap, mode == kFftIndependent ? kIndependentLeft : kLeft);
    if (mode == kFftIndependent) DivisionTexts();
  } else {
    DrawFFT(1, FftView.mainMap);
  }
  int mask = 0;
  if (M().GetMenuItem(21)) mask |= 1 << 5;
  if (M().GetMenuItem(23)) mask |= 1 << 6;
  if (M().GetMenuItem(25)) mask |= 1 << 7;
  DrawUserWave(mask);
  DetectionMarkDisplay();
  DetectionMarkDisplayList();
  if (Font* f = QelDraw.GetUserFontPointer()) f->SetCurrFont(1);
  QelDraw.DrawString(kTop + kFullHeight - 16, kLeft + 4, Fft().label2, kText, DRAW_CURRENT);
  if (const numkeyboard* pad = FftFreqKeypad()) QelDraw.DrawNumKeyboard(pad);
}
