// The waveforms of the wave area: every shown wave slot's trace as vectors or
// dots, and the FPGA's intensity raster painted through the channel palettes.
#include <algorithm>
#include <cstring>

#include "acquisition/engine/wave.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/sys_run_info.h"
#include "core/state/wave_types.h"
#include "ui/screen/qel_draw.h"
#include "ui/screen/qel_raster_paint.h"

namespace {
constexpr int kTop = 33;
constexpr int kLeft = 30;
constexpr int kColumns = _wave::kColumns;
constexpr int kLowCode = 27, kHighCode = 227;  // codes on the grid
constexpr int kFirstTraceUnder = 5;            // with the raster, the slots drawn as traces (under it)
constexpr int kStripHeight = 120,
              kStripCentre = kTop + kStripHeight / 2;  // the X-Y and zoom layouts' strip

constexpr int kSlotColours[_wave::kTraceSlots] = {0x00CCCC, 0xFFCC00, 0x009900, 0xAC04E4, 0x000000,
                                                  0xFF0000, 0x0066CC, 0x616161, 0x08A5A5, 0x6C6C00,
                                                  0x005000, 0x4C004C, 0x555555, 0x555555};

int Clip(int code) { return code < kLowCode ? kLowCode : code > kHighCode ? kHighCode : code; }

}  // namespace

static void DrawTrace(qel_draw& d, const uint8_t* trace, int left, int width, int centre, int height,
                      int colour);

// One slot's trace: mode 0 for slots outside the task-wave mask, mode 1 for
// those in it. Column maxima are bytes 0..699, minima 700..1399.
static void DrawWaveDSO(qel_draw& d, short mode, short slot, bool fftNarrow, bool split) {
  if (slot < 0 || slot >= _wave::kTraceSlots) return;
  const bool inMask = (SysRunStatus.GetTaskDisplayWaveBit() >> slot) & 1;
  if ((mode == 0 && inMask) || (mode == 1 && !inMask)) return;
  const uint8_t* trace = WaveOp.GetSerrenMem(slot);
  if (!trace) return;
  int width = kColumns, left = kLeft;
  if (slot >= 5 && slot <= 7 && fftNarrow) {
    width = 500;
    left = 130;
  }
  int centre = 233, height = 400;
  SysRunStatus.GetWaveDisplayInfor(slot, &centre, &height);
  if (split && (slot == 1 || slot == 9)) centre += 8;
  DrawTrace(d, trace, left, width, centre, height, d.TraceColour(slot, kSlotColours[slot]));
}

// A trace's columns 1..width-1 from column `left`, 200 codes on `height` rows
// round row `centre`: vectors from each column's maximum to its minimum, or
// the two dots.
static void DrawTrace(qel_draw& d, const uint8_t* trace, int left, int width, int centre, int height,
                      int colour) {
  const double k = height / 200.0;
  const bool dots = SysRunStatus.GetDiplayType() == 1;
  for (int i = 1; i < width; ++i) {
    const int hi = trace[i], lo = trace[kColumns + i];
    if ((hi < kLowCode && lo < kLowCode) || (hi > kHighCode && lo > kHighCode)) continue;
    const int rHi = centre - int((Clip(hi) - 127) * k);
    const int rLo = centre - int((Clip(lo) - 127) * k);
    if (dots) {
      d.SetPixel(rHi, left + i, colour, DRAW_CURRENT);
      d.SetPixel(rLo, left + i, colour, DRAW_CURRENT);
      continue;
    }
    const int from = rHi < rLo ? rHi : rLo, to = rHi < rLo ? rLo : rHi;
    for (int r = from; r <= to; ++r) d.SetPixel(r, left + i, colour, DRAW_CURRENT);
  }
}

// X-Y from the channels' traces (the raster holds its own X-Y square): the
// Y-T traces in the strip above, and in the square each column's middle code
// of CH1 across and of CH2 up.
static void DrawWaveXY(qel_draw& d, int squareLeft) {
  constexpr int kSquareTop = kXYSquareTop, kSquareSide = kXYSquareSide, kCodeSpan = kHighCode - kLowCode;
  const uint8_t* x = WaveOp.GetSerrenMem(0);
  const uint8_t* y = WaveOp.GetSerrenMem(1);
  const int on = SysRunStatus.GetChStatus();
  for (int slot : {0, 1}) {
    const uint8_t* trace = slot ? y : x;
    if (!trace || !((on >> slot) & 1)) continue;
    const int colour = d.TraceColour(slot, kSlotColours[slot]);
    for (int i = 1; i < kColumns; ++i) {
      const int a = kStripCentre - (Clip(trace[i]) - 127) * kStripHeight / 200;
      const int b = kStripCentre - (Clip(trace[kColumns + i]) - 127) * kStripHeight / 200;
      for (int r = a < b ? a : b; r <= (a < b ? b : a); ++r)
        d.SetPixel(r, kLeft + i, colour, DRAW_CURRENT);
    }
  }
  if (!x || !y || (on & 3) != 3) return;
  const int xyColour = d.TraceColour(0, kSlotColours[0]);
  for (int i = 0; i < kColumns; ++i) {
    const int cx = (Clip((x[i] + x[kColumns + i]) / 2) - kLowCode) * (kSquareSide - 1) / kCodeSpan;
    const int cy = (kHighCode - Clip((y[i] + y[kColumns + i]) / 2)) * (kSquareSide - 1) / kCodeSpan;
    d.SetPixel(kSquareTop + cy, squareLeft + cx, xyColour, DRAW_CURRENT);
  }
}

void qel_draw::DrawWave() {
  PlanRaster();
  rasterAfresh_ = true;
  DrawWaveArea();
  const int p = currentPage_.load();
  if (Surface(DRAW_CURRENT) != Page(p)) return;
  drawn_[p].AddRows(0, kHeight, 0, kWidth);
  pageLook_[p] = RasterLook{};
}

void qel_draw::DrawWaveArea() {
  const int waveType = SysRunStatus.GetWaveType();
  if (waveType != kWaveRaster && para_.displayFormat == 1 && para_.timeBaseType != 1) {
    DrawWaveXY(*this, para_.cursorOn ? kXYSquareLeftCursors : kXYSquareLeft);
    return;
  }
  const int active = SysRunStatus.GetActivCh();
  const int status = SysRunStatus.GetChStatus();
  const bool fftNarrow = para_.mathType == 1 && para_.fftMode == 2;
  const bool split = para_.independent && para_.split;
  bool activeSkipped = false;
  for (int slot = waveType == kWaveRaster ? kFirstTraceUnder : 0; slot < _wave::kTraceSlots; ++slot) {
    if (!((status >> slot) & 1)) continue;
    if (slot == active) {
      activeSkipped = true;
      continue;
    }
    DrawWaveDSO(*this, 0, short(slot), fftNarrow, split);
  }
  if (frameLook_.shown) PaintFrameRaster();
  if (activeSkipped) DrawWaveDSO(*this, 0, short(active), fftNarrow, split);
  if (waveType != 1 && para_.timeBaseType == 1) {
    // The zoom layout's strip above the zoom pane: the main window's traces,
    // the zoom window marked on it by the indicator.
    for (int ch = 0; ch < 2; ++ch)
      if ((status >> ch) & 1)
        DrawTrace(*this, WaveOp.GetOverviewTrace(ch), kLeft, kColumns, kStripCentre, kStripHeight,
                  TraceColour(ch, kSlotColours[ch]));
  }
}

void qel_draw::ClearQelPicture() {
  std::memset(QelWaveData, 0, kQelRasterBytes);
  // The FPGA starts its persistence afresh when the word comes again.
  const _SysRunInfo* run = SysRunStatus.GetSysRunInfoBaseAddr();
  if (run) QelControl.SendRealControl(fpga::kDisplayWord2, run->displayWord2);
}

void qel_draw::ClearDisplayWave() { ClearQelPicture(); }

// Takes this frame's raster and how it is shown, before the page is restored:
// a page whose raster was shown otherwise (or not cell by cell) has its wave
// area restored and the raster painted whole.
void qel_draw::PlanRaster() {
  frameLook_ = RasterLook{};
  const int on = SysRunStatus.GetChStatus() & 3;  // the analogue channels painted
  if (SysRunStatus.GetWaveType() == kWaveRaster && on) {
    RasterColours colours;
    colours.both[0] = palette_[0];
    colours.both[1] = palette_[1];
    if (on == 1 || on == 2) colours.one = palette_[on == 1 ? 0 : 1];
    RasterView view;
    view.split = para_.independent && para_.split;
    view.xy = para_.displayFormat == 1 && para_.timeBaseType != 1;
    view.zoom = para_.timeBaseType == 1;
    view.full = SysRunStatus.GetHoriPoints() != 0;
    view.cursors = para_.cursorOn != 0;
    view.fftMode = para_.fftMode;
    frameLook_ = LookOf(colours, view);
    std::memcpy(frameRaster_.get(), QelWaveData, kQelRasterBytes);
  }
  // Traces drawn under the raster (math, references) leave no cell to
  // restore alone.
  const bool tracesUnder = (SysRunStatus.GetChStatus() >> kFirstTraceUnder) != 0;
  const int p = currentPage_.load();
  rasterAfresh_ = fullFrames_ || !SameLook(frameLook_, pageLook_[p]) ||
                  (frameLook_.shown && (!CellWise(frameLook_.view) || tracesUnder));
}

void qel_draw::PaintFrameRaster() {
  uint32_t* page = Surface(DRAW_CURRENT);
  const int p = currentPage_.load();
  if (!rasterAfresh_ && page == Page(p)) {
    PaintRasterChanges(page, Surface(DRAW_STATIC), frameRaster_.get(), pageRaster_[p].get(), frameLook_,
                       restored_, &rasterWrote_);
    return;
  }
  // Each byte's colour as taken for this frame; the X-Y cells' from CH1's palette.
  RasterColours colours;
  colours.one = reinterpret_cast<const int*>(frameLook_.colour);
  colours.both[0] = palette_[0];
  colours.both[1] = palette_[1];
  PaintRaster(page, frameRaster_.get(), colours, frameLook_.view);
}

void qel_draw::KeepFrameRaster() {
  const int p = currentPage_.load();
  if (Surface(DRAW_CURRENT) != Page(p)) return;  // composed on the hidden page
  std::swap(frameRaster_, pageRaster_[p]);
  pageLook_[p] = frameLook_;
}
