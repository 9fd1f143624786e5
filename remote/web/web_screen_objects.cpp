// What a press grabs for a later drag, layout by layout: a channel marker, a
// trigger level line, a cursor line or nothing (the background); and the
// keys that make the grabbed object the active one.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "core/state/fft_screen_layout.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "remote/web/web_screen_internal.h"

namespace web_input {
namespace {
constexpr int kCentreCode = 127, kPosMin = 27, kPosMax = 227;

const int kSelectCh[3] = {kKeyCh1, kKeyCh2, kKeyMath};
const int kTrigLineSelection[kTrigLines] = {1, 0, 1};  // the level selection each line needs

// The areas of each layout.
constexpr Area kMarkerColumn{10, 30, 33, 433};
constexpr Area kWaveArea{30, 730, 33, 433};
constexpr Area kUpperHalf{30, 730, 33, 233};
constexpr Area kLowerHalf{30, 730, 233, 433};
constexpr int kHalfCentre[2] = {133, 333};  // alternate layout: CH1, CH2 marker centres
constexpr Area kXYCursorGrid{30, 310, 165, 445};
constexpr Area kXYGrid{256, 536, 165, 445};
constexpr int kXYCursorColumn = 170, kXYColumn = 396, kXYRow = 305;
constexpr Area kZoomArea{30, 730, 165, 445};
constexpr int kZoomCentreRow = 305;

constexpr int kMathSlot = 5;        // the math trace's wave slot
constexpr double kSlotCodes = 200;  // codes a wave slot's height spans

int Clamp(int p) { return std::clamp(p, kPosMin, kPosMax); }

int convert_ch_y_pos_to_px_zoom(int p) {
  return int(kZoomCentreRow - kGridPixelsPerCode * (Clamp(p) - kCentreCode));
}

int convert_ch_y_pos_to_px_alternate(int ch, int p) { return kHalfCentre[ch] + kCentreCode - Clamp(p); }

struct Candidate {
  int distance;
  uint8_t kind, channel, line, cursorType;
};
using Candidates = std::vector<Candidate>;

// The nearest candidate within the grab radius, the first listed on a tie.
void Choose(Candidates c) {
  std::stable_sort(c.begin(), c.end(),
                   [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
  if (c.empty() || c.front().distance > kGrabRadius) {
    clicked_info.kind = kNothing;
    return;
  }
  const Candidate& best = c.front();
  clicked_info.kind = best.kind;
  if (best.kind == kChannel) clicked_info.channel = best.channel;
  if (best.kind == kTrigLine) clicked_info.trigLine = best.line;
  if (best.kind == kCursorLine) {
    clicked_info.cursorLine = best.line;
    clicked_info.cursorType = best.cursorType;
  }
}

void AddChannel(int ch, int distance, Candidates* c) {
  c->push_back({distance, kChannel, uint8_t(ch), 0, 0});
}

// Each shown channel whose marker row the function gives.
template <class RowOf>
void AddShownChannels(int y, std::initializer_list<int> chs, RowOf row, Candidates* c) {
  for (int ch : chs)
    if (is_ch_on(ch)) AddChannel(ch, std::abs(y - row(ch)), c);
}

void AddLine(int distance, int line, int type, Candidates* c) {
  c->push_back({distance, kCursorLine, kNoChannel, uint8_t(line), uint8_t(type)});
}

// The YT cursor's two lines of its type.
void AddCursorLines(const WebScreenView& v, int x, int y, Candidates* c) {
  if (!SysRunStatus.IsCursorEnable()) return;
  if (v.cursorType == 0) {
    AddLine(std::abs(x - v.cursorAX), 0, 0, c);
    AddLine(std::abs(x - v.cursorBX), 1, 0, c);
  } else {
    AddLine(std::abs(y - v.cursorAY), 2, 1, c);
    AddLine(std::abs(y - v.cursorBY), 3, 1, c);
  }
}

// The trigger level lines: the second and first levels of a two-level
// trigger, else the single one. None in roll mode, where none are drawn.
bool TwoLevels() {
  const int type = SysRunStatus.GetTrigType();
  return type >= 3 && type <= 5;
}

// A line lies at the row of the level its selection moves.
int TrigLineRow(const WebScreenView& v, int line) { return v.trigRow[kTrigLineSelection[line]]; }

void AddTrigLines(const WebScreenView& v, int y, Candidates* c) {
  if (SysRunStatus.IsRollEnable()) return;
  auto add = [&](int line) {
    c->push_back({std::abs(y - TrigLineRow(v, line)), kTrigLine, kNoChannel, uint8_t(line), 0});
  };
  if (TwoLevels()) {
    add(1);
    add(2);
  } else {
    add(0);
  }
}

void DetectNormal(const WebScreenView& v, int x, int y) {
  Candidates c;
  auto row = [&](int ch) { return 233 + 2 * (kCentreCode - Clamp(v.chPos[ch])); };
  if (kMarkerColumn.Holds(x, y)) {
    AddShownChannels(y, {kCh1, kCh2, kMathCh}, row, &c);
  } else if (kTrigColumn.Holds(x, y)) {
    AddTrigLines(v, y, &c);
  } else if (kWaveArea.Holds(x, y)) {
    AddShownChannels(y, {kCh1, kCh2, kMathCh}, row, &c);
    AddCursorLines(v, x, y, &c);
  }
  Choose(c);
}

// Independent time bases: CH1 in the upper half, CH2 in the lower. A press in
// the half of the channel that is not active selects it and grabs nothing.
bool DetectAlternate(const WebScreenView& v, int x, int y) {
  Candidates c;
  const bool excluded =
      kMenuOnHeader.Holds(x, y) || (SysRunStatus.IsMenuStatus() && kMenuColumn.Holds(x, y));
  const int ch = kUpperHalf.Holds(x, y) ? kCh1 : kLowerHalf.Holds(x, y) ? kCh2 : kNoChannel;
  if (!excluded && ch != kNoChannel) {
    if (get_active_ch() != ch) {
      if (!clicked_info.selected) Post(kSelectCh[ch], 0);
      clicked_info.selected = true;
      return false;
    }
    if (kTrigColumn.Holds(x, y)) {
      const int d = std::abs(y - TrigLineRow(v, 0));
      clicked_info.kind = d < kGrabRadius && !SysRunStatus.IsRollEnable() ? kTrigLine : kNothing;
      clicked_info.trigLine = 0;
      return true;
    }
    AddChannel(ch, std::abs(y - convert_ch_y_pos_to_px_alternate(ch, v.chPos[ch])), &c);
    AddCursorLines(v, x, y, &c);
  }
  Choose(c);
  return true;
}

// An FFT screen: what the mode draws where (FftScreenLayout); the markers
// in the marker column are the channels' and, unless it stands beside its
// trace, the spectrum's.
void DetectFft(const WebScreenView& v, int x, int y) {
  const FftScreenLayout& l = FftScreenLayoutOf(fft_mode_store);
  Candidates c;
  auto row = [&](int ch) { return ChannelRow(ch, v.chPos[ch]); };
  if (kTrigColumn.Holds(x, y) && l.trigLines.Holds(x, y)) {
    AddTrigLines(v, y, &c);
  } else if (l.channels.Holds(x, y)) {
    AddShownChannels(y, {kCh1, kCh2}, row, &c);
  } else if (l.spectrum.Holds(x, y)) {
    AddShownChannels(y, {kMathCh}, row, &c);
  } else if (kMarkerColumn.Holds(x, y)) {
    AddShownChannels(y, {kCh1, kCh2}, row, &c);
    if (kMarkerColumn.Holds(l.mathMarkerColumn, y)) AddShownChannels(y, {kMathCh}, row, &c);
  }
  Choose(c);
}

int XYOffset(int p) { return int(kGridPixelsPerCode * (Clamp(p) - kCentreCode)); }

// XY with cursors: CH1 as a column, CH2 as a row, the XY amplitude lines.
void DetectXYCursor(const WebScreenView& v, int x, int y) {
  Candidates c;
  if (kXYCursorGrid.Holds(x, y)) {
    AddChannel(kCh1, std::abs(x - (kXYCursorColumn + XYOffset(v.chPos[kCh1]))), &c);
    AddChannel(kCh2, std::abs(y - (kXYRow - XYOffset(v.chPos[kCh2]))), &c);
    if (v.xyAmplitude) {
      AddLine(std::abs(x - v.xyXA), 0, 0, &c);
      AddLine(std::abs(x - v.xyXB), 1, 0, &c);
      AddLine(std::abs(y - v.xyYA), 2, 1, &c);
      AddLine(std::abs(y - v.xyYB), 3, 1, &c);
    }
  }
  Choose(c);
}

// XY: the nearer of the CH1 column and the CH2 row (CH1 on a tie).
void DetectXY(const WebScreenView& v, int x, int y) {
  clicked_info.kind = kNothing;
  if (!kXYGrid.Holds(x, y)) return;
  const int d1 = std::abs(x - (kXYColumn + XYOffset(v.chPos[kCh1])));
  const int d2 = std::abs(y - (kXYRow - XYOffset(v.chPos[kCh2])));
  if (d1 > kGrabRadius && d2 > kGrabRadius) return;
  clicked_info.kind = kChannel;
  clicked_info.channel = d2 < d1 ? kCh2 : kCh1;
}

void DetectZoom(const WebScreenView& v, int x, int y) {
  Candidates c;
  if (kZoomArea.Holds(x, y)) {
    if (kTrigColumn.Holds(x, y)) {
      AddTrigLines(v, y, &c);
    } else {
      AddShownChannels(
          y, {kCh1, kCh2, kMathCh}, [&](int ch) { return convert_ch_y_pos_to_px_zoom(v.chPos[ch]); },
          &c);
      AddCursorLines(v, x, y, &c);
    }
  }
  Choose(c);
}

// Select-push count that makes `target` the only active line of a cursor
// whose push steps through A, B, both lines (track), in that order, and for
// the XY amplitude lines then on to line A of the other axis.
int PushesTo(int state, int target, int states) { return ((target - state) % states + states) % states; }

void SelectCursorLine(const WebScreenView& v) {
  const int line = clicked_info.cursorLine & 1;
  int pushes;
  if (osc_state_store == kXYCursor) {
    const int axis = clicked_info.cursorLine >> 1;
    const int state = v.xyAxis * 3 + (v.xyTrack ? 2 : v.xyActive);
    pushes = PushesTo(state, axis * 3 + line, 6);
  } else {
    pushes = PushesTo(v.cursorTrack ? 2 : v.cursorActive, line, 3);
  }
  for (int i = 0; i < pushes; ++i) Post(kKeySelectPush, 0);
}

// The keys that make the grabbed object the active one, once a gesture.
void SelectGrabbed(const WebScreenView& v) {
  if (clicked_info.selected || clicked_info.kind == kNothing) return;
  clicked_info.selected = true;
  if (clicked_info.kind == kChannel && clicked_info.channel != get_active_ch())
    Post(kSelectCh[clicked_info.channel], 0);
  if (clicked_info.kind == kTrigLine && TwoLevels() &&
      kTrigLineSelection[clicked_info.trigLine] != SysRunStatus.GetTrigLevelLowHigh())
    Post(kKeyTriggerOk, 0);
  if (clicked_info.kind == kCursorLine) SelectCursorLine(v);
}
}  // namespace

int ChannelRow(int ch, int p) {
  int row = 0, height = 0;
  SysRunStatus.GetWaveDisplayInfor(ch == kMathCh ? kMathSlot : ch, &row, &height);
  return row + int((kCentreCode - Clamp(p)) * height / kSlotCodes);
}

double ChannelRowsPerCode(int ch) {
  int row = 0, height = 0;
  SysRunStatus.GetWaveDisplayInfor(ch == kMathCh ? kMathSlot : ch, &row, &height);
  return height > 0 ? height / kSlotCodes : 1.0;
}

void DetectObject(const WebScreenView& v, int x, int y) {
  switch (osc_state_store) {
    case kNormal: DetectNormal(v, x, y); break;
    case kAlternate:
      if (!DetectAlternate(v, x, y)) return;
      break;
    case kFftSplit: DetectFft(v, x, y); break;
    case kXYCursor: DetectXYCursor(v, x, y); break;
    case kXY: DetectXY(v, x, y); break;
    case kZoom: DetectZoom(v, x, y); break;
    default: return;
  }
  SelectGrabbed(v);
}
}  // namespace web_input
