// The decode lists over the traces: the event list (every decoded entry),
// and the CAN and LIN frame lists; 11 rows around the focused one.
#include <cstdio>
#include <mutex>

#include "core/state/system_resource.h"
#include "acquisition/engine/wave.h"
#include "trigger/decode/bus_decode.h"
#include "trigger/decode/bus_decode_export.h"
#include "trigger/analog/task_trigger.h"
#include "ui/draw/font.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kRowsShown = 11, kRowPitch = 22, kFirstRow = 134, kTitleRow = 88, kHeaderRow = 111;
constexpr int kListTop = 83, kUnderlayHeight = 18, kMarkerTop = 127, kMarkerSpan = 138, kFont = 4;
constexpr int kEventPicture = 135, kFramePicture = 139, kMarkerPicture = 132;
constexpr uint32_t kWhite = 0xFFFFFF, kHeader = 0xFFCC00, kNumber = 0x00CCCC, kUnderlay = 0x686666, kRed = 0xE81439;

struct Column {
  const char* title;
  int x;
};
struct ListLayout {
  int pictureId, left, underlayWidth, markerColumn;
  const char* title;
  Column columns[6];
};
const ListLayout kEvents = {kEventPicture, 228, 326, 557, nullptr,
                            {{"TIME", 268}, {"DATA", 368}, {"CHECK", 478}, {nullptr, 0}}};
const ListLayout kCan = {kFramePicture, 88, 536, 627, "Bus: CAN",
                         {{"TIME", 113}, {"ID", 183}, {"DLC", 293}, {"DATA", 333}, {"CRC", 523}, {"ACK", 573}}};
const ListLayout kLin = {kFramePicture, 88, 536, 627, "Bus: LIN",
                         {{"TIME", 128}, {"ID", 198}, {"DATA", 248}, {"CheckSum", 458}, {"Sync", 558}, {nullptr, 0}}};
const char* const kEventTitles[] = {"Bus:RS232", "Bus:I2C", "Bus:SPI", "Bus: CAN", "Bus: LIN"};

void Text(qel_draw* d, int row, int col, const char* s, uint32_t colour) {
  d->DrawString(row, col, s, int(colour), DRAW_CURRENT);
}

// The frame, title and headers; the first row shown for `count` rows.
int Frame(qel_draw* d, const ListLayout& l, const char* title, int count, int focus) {
  d->DrawPictrue(kListTop, l.left - 3, l.pictureId, DRAW_CURRENT);
  if (Font* f = d->GetUserFontPointer()) f->SetCurrFont(kFont);
  Text(d, kTitleRow, l.left, title, kWhite);
  for (const Column& c : l.columns)
    if (c.title) Text(d, kHeaderRow, c.x, c.title, kHeader);
  if (count <= 0) return 0;
  if (focus >= count) focus = count - 1;
  const int first = focus < kRowsShown ? 0 : focus - (kRowsShown - 1);
  d->FillRect(kFirstRow + (focus - first) * kRowPitch, l.left, l.underlayWidth, kUnderlayHeight, int(kUnderlay),
              DRAW_CURRENT);
  if (count > kRowsShown)
    d->DrawPictrue(int(kMarkerTop + focus * kMarkerSpan / count), l.markerColumn, kMarkerPicture, DRAW_CURRENT);
  return first;
}

// Draws a list row's number and start time; its screen row.
int RowStart(qel_draw* d, const ListLayout& l, int i, int first, int64_t start) {
  const int row = kFirstRow + (i - first) * kRowPitch;
  char s[48];
  std::snprintf(s, sizeof s, "%d", i + 1);
  Text(d, row, l.left, s, kNumber);
  DecodeTimeText(start, s, sizeof s);
  Text(d, row, l.columns[0].x, s, kWhite);
  return row;
}

int Focus() {
  _wave* w = TaskTrigger.Sys()->wave;
  return w ? w->GetDecodeFocusItem() : 0;
}
}  // namespace

void Draw_Decode_EventList(char type) {
  qel_draw* d = TaskTrigger.Sys()->draw;
  if (!d || type < kTrigRs232 || type > kTrigLin) return;
  const int base = int(TaskTrigger.Item(kTiBusBase) & 0xFFFF);
  const int bits = type == kTrigRs232 ? int(TaskTrigger.Item(kTiDataWidth) & 0xFFFF) + 5 : 8;
  std::lock_guard<std::mutex> lock(DecodeTablesLock());
  const int count = DecodeRowsInForce(Decode_data_num, kDecodeEntries), focus = Focus();
  const int first = Frame(d, kEvents, kEventTitles[type - kTrigRs232], count, focus);
  for (int i = first; i < count && i < first + kRowsShown; ++i) {
    const DecodeEntry& e = Decode_data_info[i];
    const int row = RowStart(d, kEvents, i, first, e.start);
    char s[48];
    DecodeValueText(e.data, base, bits, false, s, sizeof s);
    Text(d, row, kEvents.columns[1].x, s, kWhite);
    std::snprintf(s, sizeof s, "%02d", e.event);
    Text(d, row, kEvents.columns[2].x + 10, s, kWhite);
  }
}

void Draw_Decode_CanList(char) {
  qel_draw* d = TaskTrigger.Sys()->draw;
  if (!d) return;
  static const char* const kKinds[] = {nullptr, "ERROR FRAME", "OVER FRAME", "BIT ERROR"};
  std::lock_guard<std::mutex> lock(DecodeTablesLock());
  const int count = DecodeRowsInForce(can_num, kFrameRowsUsed), focus = Focus();
  const int first = Frame(d, kCan, kCan.title, count, focus);
  for (int i = first; i < count && i < first + kRowsShown; ++i) {
    const CanFrameRow& f = can_info[i];
    const int row = RowStart(d, kCan, i, first, f.start);
    char s[64];
    if (f.kind >= 1 && f.kind <= 3) {
      Text(d, row, kCan.columns[1].x, kKinds[f.kind], kWhite);
      continue;
    }
    std::snprintf(s, sizeof s, "%X", f.id);
    Text(d, row, kCan.columns[1].x, s, kWhite);
    std::snprintf(s, sizeof s, "%X", f.dlc);
    Text(d, row, kCan.columns[2].x + 5, s, kWhite);
    int n = 0;
    s[0] = 0;
    for (int b = 0; b < f.count && b < 8; ++b) n += std::snprintf(s + n, sizeof s - size_t(n), "%X  ", f.data[b]);
    Text(d, row, kCan.columns[3].x + 5, f.count ? s : "REMOTE FRAME", kWhite);
    std::snprintf(s, sizeof s, "%X", f.crc);
    Text(d, row, kCan.columns[4].x + 5, s, kWhite);
    std::snprintf(s, sizeof s, "%X", f.ack);
    Text(d, row, kCan.columns[5].x + 5, s, f.ack == 1 ? kRed : kWhite);
  }
}

void Draw_Decode_LInList(char) {
  qel_draw* d = TaskTrigger.Sys()->draw;
  if (!d) return;
  std::lock_guard<std::mutex> lock(DecodeTablesLock());
  const int count = DecodeRowsInForce(lin_num, kFrameRowsUsed), focus = Focus();
  const int first = Frame(d, kLin, kLin.title, count, focus);
  for (int i = first; i < count && i < first + kRowsShown; ++i) {
    const LinFrameRow& f = lin_info[i];
    const int row = RowStart(d, kLin, i, first, f.start);
    char s[64];
    std::snprintf(s, sizeof s, "%X", f.id);
    Text(d, row, kLin.columns[1].x, s, kWhite);
    int n = 0;
    s[0] = 0;
    for (int b = 0; b < f.count && b < 8; ++b) n += std::snprintf(s + n, sizeof s - size_t(n), "%02X  ", f.data[b]);
    Text(d, row, kLin.columns[2].x, s, kWhite);
    std::snprintf(s, sizeof s, "%X", f.checksum);
    Text(d, row, kLin.columns[3].x + 20, s, f.checksumError ? kRed : kWhite);
    std::snprintf(s, sizeof s, "%X", f.sync);
    Text(d, row, kLin.columns[4].x + 10, s, f.syncError ? kRed : kWhite);
  }
}
