// The decoded bus lane under the traces: one shape per decoded entry at the
// columns of its start and end, in the colour of its event, labelled with
// its value in the number base chosen.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "acquisition/models/x_system.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "trigger/decode/bus_decode.h"
#include "trigger/decode/bus_decode_export.h"
#include "trigger/analog/task_trigger.h"
#include "ui/draw/font.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kVisibleEnd = 700, kLastStart = 694, kColumnShift = 30, kEndColumn = 730;
constexpr int kLaneRowBase = 225, kBaseLineDrop = 3, kMarkerColumn = 10, kMarkerPicture = 134;
constexpr int kPointsPerDivision = 50;
constexpr int kZoomView = 1;  // the run state's time base type with the zoom window
constexpr double kZoomRowBase = 190.0, kZoomRowPerStep = 0.8, kZoomRowDrop = 107.0;
constexpr int kOutlineBelow = 18, kShapeSize = 10;
constexpr int kLabelFont = 4, kSmallFont = 5;
constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xE81439, kViolet = 0xDC66E6, kYellow = 0xE4E864, kBlue = 0x0066CC,
                   kPurple = 0x8820DE, kDarkRed = 0xA50000;

uint32_t Colour(uint8_t event, uint32_t data, uint32_t before) {
  switch (event) {
    case kEvDataRed: case kEvSyncError: case kEvIdFlagged: return kRed;
    case kEvData: return kWhite;
    case kEvDataViolet: case kEvDlc: case kEvCrc: case kEvErrorFrame: case kEvOverload: case kEvBitError:
      return kViolet;
    case kEvAddrWrite: case kEvAddrRead: case kEvExtId: case kEvId: case kEvChecksum: return kYellow;
    case kEvD: return kBlue;
    case kEvAck: return data == 1 ? kRed : before;
    case kEvWakeup: case kEvBreak: case kEvSync: return kPurple;
    case kEvCheckError: return kDarkRed;
    default: return kWhite;
  }
}

// Text width: 4 pixels a space, 8 for code 20, 9 any other character.
int GUI_GetStrWidth(const char* s) {
  int w = 0;
  for (const uint8_t* p = reinterpret_cast<const uint8_t*>(s); *p; ++p) {
    w += *p == ' ' ? 4 : *p == 20 ? 8 : 9;
    if (*p > 251 && p[1]) ++p;
  }
  return w;
}

// The label of an entry `w` pixels wide; empty below the event's thresholds.
void Label(uint8_t e, int w, const char* v, char* out, int size) {
  struct Named {
    uint8_t event;
    const char* shortName;
    int shortFrom;
    const char* longName;
    int longFrom;
  };
  static const Named kNamed[] = {
      {kEvAddrWrite, "A[W]:", 171, nullptr, 0}, {kEvAddrRead, "A[R]:", 171, nullptr, 0},
      {kEvExtId, "E_ID:", 120, "E_identifier:", 211}, {kEvId, "ID:", 110, "identifier:", 170},
      {kEvIdFlagged, "ID:", 110, "identifier:", 170}, {kEvDlc, "DLC:", 90, nullptr, 0},
      {kEvD, "D:", 171, nullptr, 0}, {kEvCrc, "CRC:", 120, nullptr, 0},
      {kEvChecksum, "CS:", 110, "Checksum:", 180}, {kEvCheckError, "CE:", 110, "Checkerror:", 180},
      {kEvSyncError, "S:", 110, "Sync error:", 180},
  };
  struct Flag {
    uint8_t event;
    const char* shortName;
    int from, to;
    const char* longName;
  };
  static const Flag kFlags[] = {
      {kEvErrorFrame, "E/F", 31, 99, "Error Frame"}, {kEvOverload, "O/L", 36, 126, "Overload Frame"},
      {kEvBitError, "BE", 36, 126, "Bit Error"},     {kEvWakeup, "W", 36, 99, "Wakeup"},
      {kEvBreak, "B", 36, 99, "Break"},             {kEvSync, "S", 36, 99, "Sync"},
  };
  out[0] = 0;
  if (e == kEvAck) {
    if (w >= 41) std::snprintf(out, size_t(size), "ACK");
    return;
  }
  for (const Flag& f : kFlags)
    if (f.event == e) {
      if (w > f.to) std::snprintf(out, size_t(size), "%s", f.longName);
      else if (w >= f.from) std::snprintf(out, size_t(size), "%s", f.shortName);
      return;
    }
  for (const Named& n : kNamed)
    if (n.event == e) {
      if (n.longName && w >= n.longFrom) std::snprintf(out, size_t(size), "%s%s", n.longName, v);
      else if (w >= n.shortFrom) std::snprintf(out, size_t(size), "%s%s", n.shortName, v);
      else std::snprintf(out, size_t(size), "%s", v);
      return;
    }
  std::snprintf(out, size_t(size), "%s", v);
}

// The three shapes: 0 both points, 1 cut at the right (left point only), 2 cut at the left.
void Shape(Draw* d, int x, int y, int w, uint32_t c, int shape) {
  const int k = DRAW_CURRENT, col = int(c);
  const int left = shape == 2 ? x : x + kShapeSize, right = shape == 1 ? x + w : x + w - kShapeSize;
  d->DrawLine(y - 5, left, y - 5, right, col, k);
  d->DrawLine(y + 14, left, y + 14, right, col, k);
  if (shape != 2) {
    d->DrawLine(y - 5, x + kShapeSize, y + 4, x + 1, col, k);
    d->DrawLine(y + 5, x + 1, y + 14, x + kShapeSize, col, k);
  }
  if (shape != 1) {
    d->DrawLine(y - 5, x + w - kShapeSize, y + 4, x + w - 2, col, k);
    d->DrawLine(y + 5, x + w - 2, y + 14, x + w - kShapeSize, col, k);
  }
}
}  // namespace

void Draw_Decode_data(short x, short y, short width, int data, short base, short bits, int colour, char shape,
                      char event) {
  qel_draw* d = TaskTrigger.Sys()->draw;
  if (!d || width < 0) return;
  if (x + width > kEndColumn) width = short(kEndColumn - x);
  if (width < kOutlineBelow) {
    d->DrawRect(y - 4, x, width, 20, colour, DRAW_CURRENT);
    return;
  }
  Shape(d, x, y, width, uint32_t(colour), shape);
  char value[48], text[64];
  DecodeValueText(uint32_t(data), base, bits, true, value, sizeof value);
  Label(uint8_t(event), width, value, text, sizeof text);
  Font* f = d->GetUserFontPointer();
  int row = y - 5;
  if (!std::strcmp(text, value) && GUI_GetStrWidth(text) > width / 2) {
    std::snprintf(text, sizeof text, "x");
    if (f) f->SetCurrFont(kSmallFont);
    row -= 5;
  } else if (f) {
    f->SetCurrFont(kLabelFont);
  }
  if (text[0]) d->DrawString(row, x + (width - GUI_GetStrWidth(text)) / 2, text, colour, DRAW_CURRENT);
}

namespace {
// The lane's view: its row, the time of a column, the first column's shift
// and the columns shown.
struct LaneView {
  int row = 0;
  double nsPerColumn = 0, shift = 0;
  int64_t reference = 0;  // ns
  int first = 0, end = kVisibleEnd;
};

// The main view: the time base in force over the screen. The zoomed view: the
// zoom time base over the window of the main screen from its first column.
// A stopped record shows the columns of data the time base reports.
LaneView ViewOf(_SysResource* sys) {
  LaneView v;
  _SysRunInfoOp* run = sys->runStatus;
  const HorizontalBlock& h = run->GetSysRunInfoBaseAddr()->horizontal[0];
  const int position = int16_t(TaskTrigger.Item(kTiBusVerPos) & 0xFFFF);
  const double main = sys->timeBase->GetTimeBaseDivTime(sys->runStatus->GetRealTimeBase(0)) / kPointsPerDivision * 1e9;
  if (run->GetTimeBaseType() == kZoomView) {
    v.row = int(kZoomRowBase - kZoomRowPerStep * position + kZoomRowDrop);
    v.nsPerColumn = sys->timeBase->GetTimeBaseDivTime(sys->timeBase->GetZoomTimeBase(0)) / kPointsPerDivision * 1e9;
    if (v.nsPerColumn > 0) v.shift = double(std::clamp<int64_t>(h.zoomScreenFirst, 0, kVisibleEnd)) * main / v.nsPerColumn;
    return v;
  }
  v.row = kLaneRowBase - position;
  v.nsPerColumn = main;
  if (run->GetAcquireStatus(0) == kAcqStopped) {
    // The columns of data (a record shorter than the screen fills only the
    // middle ones); the entries' times count from the read of the screen the
    // record was acquired with: the reference time and the shift place them.
    v.first = std::clamp<int>(h.firstColumn, 0, kVisibleEnd);
    v.end = std::clamp<int>(h.lastColumn + 1, v.first, kVisibleEnd);
    v.reference = caculat_time_offset();
    double scaled = 0, moved = 0, perColumn = 0;
    if (sys->timeBase->StopWindowShift(0, &scaled, &moved, &perColumn)) v.shift = moved / perColumn;
  }
  return v;
}
}  // namespace

DecodeWindow DecodeWindowInForce() {
  DecodeWindow w;
  _SysResource* sys = TaskTrigger.Sys();
  if (!sys || !sys->runStatus || !sys->timeBase || sys->runStatus->GetTimeBaseType() == kZoomView ||
      sys->runStatus->GetAcquireStatus(0) != kAcqStopped)
    return w;
  const LaneView v = ViewOf(sys);
  if (v.nsPerColumn <= 0) return w;
  w.windowed = true;
  w.nsPerColumn = v.nsPerColumn;
  w.reference = v.reference;
  w.shift = v.shift;
  w.first = v.first;
  w.last = std::min(kLastStart, v.end - 1);
  return w;
}

bool DecodeShown(const DecodeWindow& w, const DecodeEntry& e, int64_t* start) {
  if (!w.windowed) {
    *start = e.start;
    return true;
  }
  // The entry's columns as the lane draws them.
  const double p = w.nsPerColumn;
  const int c = int(double(e.start - w.reference) / p - w.shift),
            width = int(double(e.end - e.start) / p);
  *start = int64_t(double(e.start - w.reference) - w.shift * p);
  return c <= w.last && c + width >= w.first;
}

// The time (ns) from the start of the screen the stopped record was acquired
// with to the start of the window shown, as the time base's re-scaling of the
// record places it (its moves since are the shift); 0 while running.
int64_t caculat_time_offset() {
  _SysResource* sys = TaskTrigger.Sys();
  double scaled = 0, moved = 0, perColumn = 0;
  if (!sys || !sys->timeBase || sys->runStatus->GetAcquireStatus(0) != kAcqStopped ||
      !sys->timeBase->StopWindowShift(0, &scaled, &moved, &perColumn))
    return 0;
  const double nsPerColumn =
      sys->timeBase->GetTimeBaseDivTime(sys->runStatus->GetRealTimeBase(0)) / kPointsPerDivision * 1e9;
  return int64_t(scaled * nsPerColumn / perColumn);
}

namespace {
}  // namespace

void Draw_Decode_bus(char type) {
  _SysResource* sys = TaskTrigger.Sys();
  qel_draw* d = sys->draw;
  if (!d) return;
  const LaneView v = ViewOf(sys);
  const int row = v.row;
  d->DrawPictrue(row, kMarkerColumn, kMarkerPicture, DRAW_CURRENT);
  const double p = v.nsPerColumn;
  if (p <= 0) return;
  const int base = int(TaskTrigger.Item(kTiBusBase) & 0xFFFF);
  const int bits = type == kTrigRs232 ? int(TaskTrigger.Item(kTiDataWidth) & 0xFFFF) + 5 : 8;
  int previous = v.first;
  uint32_t before = kWhite;
  std::lock_guard<std::mutex> lock(DecodeTablesLock());
  const int n = DecodeRowsInForce(Decode_data_num, kDecodeEntries);
  for (int i = 0; i < n; ++i) {
    const DecodeEntry& e = Decode_data_info[i];
    if (e.marker != kDecodeMarker || e.event == kEvUnused) continue;
    const int c = int(double(e.start - v.reference) / p - v.shift), w = int(double(e.end - e.start) / p);
    if (c > std::min(kLastStart, v.end - 1)) break;
    const uint32_t colour = Colour(e.event, e.data, before);
    before = colour;
    if (c < v.first) {
      if (c + w < v.first) continue;
      Draw_Decode_data(short(v.first + kColumnShift), short(row), short(std::min(c + w, v.end) - v.first), int(e.data),
                       short(base), short(bits), int(colour), 2, char(e.event));
      previous = c + w;
      continue;
    }
    if (c > previous) d->DrawLine(row + kBaseLineDrop, previous + kColumnShift, row + kBaseLineDrop, c + kColumnShift,
                                  int(kWhite), DRAW_CURRENT);
    const bool cut = c + w > v.end;
    Draw_Decode_data(short(c + kColumnShift), short(row), short(cut ? v.end - c : w), int(e.data), short(base),
                     short(bits), int(colour), cut ? 1 : 0, char(e.event));
    previous = c + w;
  }
  if (previous < v.end)
    d->DrawLine(row + kBaseLineDrop, previous + kColumnShift, row + kBaseLineDrop, v.end + kColumnShift, int(kWhite),
                DRAW_CURRENT);
}
