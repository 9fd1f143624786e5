// Markers at the wave area: where each wave slot's marker and the pre-trigger
// marks lie, the channel markers, the trigger-level marks and lines, and the
// line of a channel offset being moved.
#include <algorithm>
#include <cstdio>

#include "acquisition/models/trig_system.h"
#include "core/common/common_subprogram.h"
#include "core/common/unit_convert.h"
#include "core/state/fft_screen_layout.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kText = 0xC8C8AF;
constexpr int64_t kLineShownUs = 3000000;  // a moved level or offset keeps its line this long

// Marker pictures by slot, by variant (normal, up, down, left, right).
constexpr int16_t kMarkerPictures[kArrowSlots][5] = {
    {30, 31, 32, 33, 34}, {35, 36, 37, -1, -1}, {38, 39, 40, 41, 42}, {43, 44, 45, -1, -1},
    {-1, -1, -1, -1, -1}, {46, 47, 48, -1, -1}, {46, 47, 48, -1, -1}, {46, 47, 48, -1, -1},
    {49, 50, 51, -1, -1}, {52, 53, 54, -1, -1}, {55, 56, 57, -1, -1}, {58, 59, 60, -1, -1},
    {-1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1},
};
constexpr int16_t kPreTrigPictures[2][5] = {{61, -1, -1, 62, 63}, {64, -1, -1, 65, 66}};

_SysRunInfo& Info() { return *SysRunStatus.GetSysRunInfoBaseAddr(); }

// The vertical block behind a wave slot, or null (slots without a position).
const VerticalBlock* SlotBlock(int slot) {
  if (slot == 0 || slot == 1 || (slot >= 8 && slot <= 11)) return &Info().vertical[slot];
  if (slot >= 5 && slot <= 7) return &Info().vertical[5];
  return nullptr;
}

bool Recent(const RunTimeStamp& stamp) {
  if (stamp.sec == 0 && stamp.usec == 0) return false;
  int32_t sec = 0, usec = 0;
  plat::WallTime(&sec, &usec);
  const int64_t since = (int64_t(sec) - stamp.sec) * 1000000 + (usec - stamp.usec);
  return since >= 0 && since < kLineShownUs;
}

// A value's unit text; zero reads in the plain unit ("0.00V").
const char* VoltUnitText(int unit, const FloatElement& e) {
  const char* t = CommonSubProg.GetChUnitStrig(unit, e.mantissa == 0.0 ? int16_t(kVUnit) : e.unit);
  return t ? t : "";
}
}  // namespace

void qel_draw::ArrowProcess() {
  const _SysRunInfo& info = Info();
  const bool yt = para_.displayFormat == 0 && para_.timeBaseType == 0;
  for (int slot = 0; slot < kArrowSlots; ++slot) {
    ArrowPlace& a = arrow_[slot];
    std::copy(kMarkerPictures[slot], kMarkerPictures[slot] + 5, a.picture);
    const VerticalBlock* v = SlotBlock(slot);
    const int p = v ? v->position : 127;
    int d = p - 127;
    a.variant = ARROW_NORMAL;
    if (p < 35) {
      a.variant = ARROW_UP;
      d = -92;
    } else if (p >= 219) {
      a.variant = ARROW_DOWN;
      d = 91;
    }
    const WaveSlot& ws = info.waveSlot[slot];
    a.column = 10;
    if (yt) {
      a.row = int16_t(ws.row - 5 - int(d * ws.height / 200.0));
    } else {
      a.row = int16_t(301 - int(1.4 * d));
      if (para_.displayFormat == 1 && para_.timeBaseType == 0 && slot == 0)
        a.column = int16_t((para_.cursorOn ? 170 : 220) + int(1.4 * d));
    }
    if (slot == 1 && para_.independent && para_.split) a.row = int16_t(a.row + 8);
  }

  const bool fftSplit = MathOn() && para_.mathType == 1 && (para_.fftMode == 1 || para_.fftMode == 3);
  for (int ch = 0; ch < 2; ++ch) {
    ArrowPlace& a = preTrig_[ch];
    std::copy(kPreTrigPictures[ch], kPreTrigPictures[ch] + 5, a.picture);
    const int pos = info.horizontal[ch].triggerScreenPos;
    a.row = 35;
    if (pos < 13) {
      a.variant = ARROW_LEFT;
      a.column = int16_t(fftSplit ? 387 : 37);
    } else if (pos < 688) {
      a.variant = ARROW_NORMAL;
      a.column = int16_t(fftSplit ? pos / 2 + 375 : pos + 25);
    } else {
      a.variant = ARROW_RIGHT;
      a.column = 713;
    }
  }
}

int qel_draw::GetArrow(int slot, int* row, int* column, int* picture) const {
  if (slot < 0 || slot >= kArrowSlots) return -1;
  const ArrowPlace& a = arrow_[slot];
  if (row) *row = a.row;
  if (column) *column = a.column;
  if (picture) *picture = a.picture[a.variant];
  return 0;
}

void qel_draw::DrawChannelMarkers() {
  static const int kSlots[] = {8, 9, 10, 11, 1, 0};  // the channels last, on top
  const int active = SysRunStatus.GetActivCh();
  for (int slot : kSlots) {
    if (!(para_.chStatus & (1 << slot)) || slot == active) continue;
    const ArrowPlace& a = arrow_[slot];
    if (a.picture[a.variant] >= 0) DrawPictrue(a.row, a.column, a.picture[a.variant], DRAW_STATIC);
  }
  if (active >= 0 && active < kArrowSlots && (para_.chStatus & (1 << active))) {
    const ArrowPlace& a = arrow_[active];
    if (a.picture[a.variant] >= 0) DrawPictrue(a.row, a.column, a.picture[a.variant], DRAW_STATIC);
  }
}

void qel_draw::DisplayChArrow() {
  const ArrowPlace& a = arrow_[5];
  // An FFT screen puts the marker where its layout says (beside the spectrum
  // when the channels share the upper half).
  const int column = para_.fftMode ? FftScreenLayoutOf(para_.fftMode).mathMarkerColumn : a.column;
  if (a.picture[a.variant] >= 0) DrawPictrue(a.row, column, a.picture[a.variant], DRAW_CURRENT);
}

int qel_draw::TriggerLevelRow(int src, int level, int* start) const {
  const _SysRunInfo& info = Info();
  const int p = std::clamp<int>(info.levelBlock[src ? 1 : 0].level[level ? 1 : 0].drawPos, -95, 95);
  int row, first = 33;
  if (MathOn() && para_.mathType == 1 && (para_.fftMode == 1 || para_.fftMode == 3)) {
    row = 133 - p;
    first = 403;
  } else if (para_.independent && para_.split) {
    row = (src ? 341 : 133) - p;
  } else if (para_.displayFormat == 1 || para_.timeBaseType == 1) {
    row = kXYCentreRow - int(1.4 * p);
  } else {
    row = (117 - p) * 2;
  }
  if (start) *start = first;
  return row;
}

void qel_draw::DrawTriggerLevel(int src, int level, bool adjusting, bool showText, bool moving) {
  const _SysRunInfo& info = Info();
  int start;
  const int row = TriggerLevelRow(src, level, &start);
  DrawIco(row - 6, 715, 8, kText, DRAW_CURRENT);
  if (!moving) return;
  const int colour = GetChannelColor(short(src));
  if (adjusting)
    DrawBrokenLine(row, start, row, 713, colour, 5, DRAW_CURRENT);
  else
    DrawLine(row, start, row, 713, colour, DRAW_CURRENT);
  if (!showText) return;
  const FloatElement& e = info.levelVoltage[src].levelText[level];
  char text[40];
  std::snprintf(text, sizeof text, "%3.2f %s", e.mantissa, VoltUnitText(info.vertical[src].unit, e));
  if (Font* f = GetUserFontPointer()) f->SetCurrFont(1);
  const int box = row > 410 ? row - 20 : row;
  FillRectTransparent(box, start, Stringlen(0, text) + 6, 19, 0, DRAW_CURRENT);
  DrawString(box - 3, start + 3, text, colour, DRAW_CURRENT);
}

void qel_draw::DisplayTriggerCursor() {
  if (para_.fftMode == 2 || SysRunStatus.IsRollEnable() || para_.recordToVideo) return;
  const _SysRunInfo& info = Info();
  const int src = info.trigSource;
  if (src != 0 && src != 1) return;
  const bool two = info.trigType >= 3 && info.trigType <= 5;
  const bool moving = Recent(info.trigLevelTime);
  const int selected = info.trigLevelSel;
  const bool showText = SysRunStatus.GetAdjTrigFlag() != 0;
  // A single-level type triggers on the one level the comparator is given
  // (the level the knob moves); only that one is shown.
  const int first = two ? 0 : Trigger.GetTrigLevel(), last = two ? 1 : first;
  for (int level = first; level <= last; ++level)
    DrawTriggerLevel(src, level, selected == level || selected == 2, showText, moving);
  if (!moving && SysRunStatus.GetAdjTrigFlag()) SysRunStatus.ClearAdjTrigFlag();
}

void qel_draw::DisplayYOffset() {
  const _SysRunInfo& info = Info();
  const int ch = SysRunStatus.GetActivCh();
  if ((ch != 0 && ch != 1) || !(para_.chStatus & (1 << ch)) || !Recent(info.positionTime)) return;
  const VerticalBlock& v = info.vertical[ch];
  const WaveSlot& ws = info.waveSlot[ch];
  const int colour = GetChannelColor(short(ch));
  char text[40];
  std::snprintf(text, sizeof text, "%3.2f%s", v.offsetElement.mantissa,
                VoltUnitText(v.unit, v.offsetElement));
  if (Font* f = GetUserFontPointer()) f->SetCurrFont(1);
  const int width = Stringlen(0, text) + 6;
  // X-Y: the line goes where the trace's offset puts it in the square, 1.4
  // rows a code: CH2 up, as the trigger cursor; CH1 across, a column.
  const int d = v.position - 127;
  if (para_.displayFormat == 1 && para_.timeBaseType == 0) {
    if (ch == 1) {
      const int row = std::clamp(kXYCentreRow - int(1.4 * d), 33, 432);
      DrawLine(row, 33, row, 713, colour, DRAW_CURRENT);
      const int box = row > 410 ? row - 20 : row;
      FillRect(box, 33, width, 19, 0, DRAW_CURRENT);
      DrawString(box - 3, 36, text, colour, DRAW_CURRENT);
      return;
    }
    const int left = (para_.cursorOn ? kXYSquareLeftCursors : kXYSquareLeft) + kXYSquareSide / 2;
    const int column = std::clamp(left + int(1.4 * d), 33, 713);
    DrawLine(kXYSquareTop, column, kXYSquareTop + kXYSquareSide - 1, column, colour, DRAW_CURRENT);
    const int box = column + width > 713 ? column - width : column;
    FillRect(kXYSquareTop, box, width, 19, 0, DRAW_CURRENT);
    DrawString(kXYSquareTop - 3, box + 3, text, colour, DRAW_CURRENT);
    return;
  }
  const int row = std::clamp(int(ws.row - int(d * ws.height / 200.0)), 33, 432);
  DrawLine(row, 33, row, 713, colour, DRAW_CURRENT);
  const int box = row > 410 ? row - 20 : row;
  FillRect(box, 33, width, 19, 0, DRAW_CURRENT);
  DrawString(box - 3, 36, text, colour, DRAW_CURRENT);
}
