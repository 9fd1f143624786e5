// The drag steps: each step moves the grabbed object by the knob of its kind,
// by a number of steps the layout's scale gives for the pixels dragged.
#include <algorithm>
#include <cstdlib>

#include "core/state/fft_screen_layout.h"
#include "core/state/ids.h"
#include "remote/web/web_screen_internal.h"

namespace web_input {
namespace {
constexpr int kDragStep = 20;          // pixels a drag gathers before it posts
constexpr double kTrigLineRows = 200;  // level steps a level line's rows span

// Pixels per knob step of each object in a layout; 0: the object does not move.
struct DragScale {
  double channel, trigger, background;
  bool cursorEveryMove;  // cursor lines move on every event, without gathering
  bool xy;               // channels move along their XY axis
};
constexpr DragScale kNormalScale{2, 2, 1, true, false};
constexpr DragScale kAlternateScale{1, 1, 2, false, false};
constexpr DragScale kZoomScale{kGridPixelsPerCode, kGridPixelsPerCode, 2, false, false};
constexpr DragScale kXYScale{kGridPixelsPerCode, 0, 0, false, true};

int Steps(int distance, double scale) { return int(distance / scale); }

struct Move {
  int distance;
  bool horizontal, right, up;
};

void MoveChannel(const Move& m, const DragScale& s) {
  if (s.xy) {
    const int steps = Steps(m.distance, s.channel);
    if (clicked_info.channel == kCh1 && m.horizontal)
      Post(m.right ? kKeyOffsetRight : kKeyOffsetLeft, steps);
    if (clicked_info.channel == kCh2 && !m.horizontal)
      Post(m.up ? kKeyOffsetRight : kKeyOffsetLeft, steps);
    return;
  }
  if (!m.horizontal) Post(m.up ? kKeyOffsetRight : kKeyOffsetLeft, Steps(m.distance, s.channel));
}

// Time and X lines follow the pointer left and right, amplitude and Y lines
// up and down. The select knob raises the YT amplitude lines but lowers the
// XY Y-axis lines (it counts their rows up), so those take the other key.
void MoveCursor(const Move& m) {
  if (clicked_info.cursorType == 0) {
    if (m.horizontal) Post(m.right ? kKeySelectRight : kKeySelectLeft, m.distance);
    return;
  }
  if (m.horizontal) return;
  const bool rowsUp = osc_state_store == kXYCursor;
  Post(m.up != rowsUp ? kKeySelectRight : kKeySelectLeft, m.distance);
}

void DragBy(int x, int y, bool ending, const DragScale& s) {
  const int dx = x - last_x, dy = y - last_y;
  const Move m{std::max(std::abs(dx), std::abs(dy)), std::abs(dx) > std::abs(dy), dx > 0, y < last_y};
  const bool everyMove = s.cursorEveryMove && clicked_info.kind == kCursorLine;
  if (m.distance < kDragStep && !ending && !everyMove) return;
  last_x = x;
  last_y = y;
  if (m.distance == 0) return;
  switch (clicked_info.kind) {
    case kChannel: MoveChannel(m, s); break;
    case kTrigLine:
      if (s.trigger > 0 && !m.horizontal)
        Post(m.up ? kKeyTriggerRight : kKeyTriggerLeft, Steps(m.distance, s.trigger));
      break;
    case kCursorLine: MoveCursor(m); break;
    case kNothing:
      if (s.background > 0 && m.horizontal)
        Post(m.right ? kKeyPreTrigRight : kKeyPreTrigLeft, Steps(m.distance, s.background));
      break;
    default: break;
  }
}

void process_move_in_normal_mode(int x, int y, bool ending) { DragBy(x, y, ending, kNormalScale); }
void process_move_in_alternate_mode(int x, int y, bool ending) { DragBy(x, y, ending, kAlternateScale); }
void process_move_in_xy_mode(int x, int y, bool ending) { DragBy(x, y, ending, kXYScale); }
void process_move_in_xy_mode_cursor_on(int x, int y, bool ending) { DragBy(x, y, ending, kXYScale); }
// An FFT screen: a channel moves by the rows a code moves it in its wave
// slot, a level line by those of the rows it is drawn in.
void process_move_in_fft_split_screen_mode(int x, int y, bool ending) {
  const ScreenBox& lines = FftScreenLayoutOf(fft_mode_store).trigLines;
  const double trigger = lines.y1 > lines.y0 ? (lines.y1 - lines.y0) / kTrigLineRows : 1;
  const double channel =
      clicked_info.channel < kNoChannel ? ChannelRowsPerCode(clicked_info.channel) : 1;
  DragBy(x, y, ending, DragScale{channel, trigger, 1, false, false});
}
void process_move_in_zoom_mode(int x, int y, bool ending) { DragBy(x, y, ending, kZoomScale); }
}  // namespace

void DragStep(int x, int y, bool ending) {
  switch (osc_state_store) {
    case kNormal: process_move_in_normal_mode(x, y, ending); break;
    case kAlternate: process_move_in_alternate_mode(x, y, ending); break;
    case kXY: process_move_in_xy_mode(x, y, ending); break;
    case kXYCursor: process_move_in_xy_mode_cursor_on(x, y, ending); break;
    case kFftSplit: process_move_in_fft_split_screen_mode(x, y, ending); break;
    case kZoom: process_move_in_zoom_mode(x, y, ending); break;
    default: break;
  }
}
}  // namespace web_input
