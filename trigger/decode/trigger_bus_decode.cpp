// The trigger module's bus-decode pass: the waveform engine's decode bytes
// copied into the module's buffer and analysed into entries and frames.
#include <algorithm>
#include <cstring>

#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "core/state/system_resource.h"
#include "trigger/decode/bus_decode.h"
#include "trigger/analog/task_trigger.h"

DecodeEntry Decode_data_info[kDecodeEntries];
int32_t Decode_data_num = 0;
CanFrameRow can_info[kFrameTableRows];
int32_t can_num = 0;
LinFrameRow lin_info[kFrameTableRows];
int32_t lin_num = 0;

namespace {
constexpr int kMinRecordBytes = 6;  // fewer leaves the tables as they were
constexpr int kFrameDataBytes = 8;

struct CodeEvent {
  uint8_t code, event;
};
constexpr CodeEvent kCodeEvents[] = {
    {4, kEvDataRed},      {130, kEvDataRed},   {2, kEvData},          {3, kEvDataViolet}, {0, kEvAddrWrite},
    {1, kEvAddrRead},     {5, kEvExtId},       {10, kEvId},           {6, kEvDlc},        {7, kEvCrc},
    {8, kEvErrorFrame},   {9, kEvOverload},    {31, kEvBitError},     {30, kEvAck},       {29, kEvUnused},
    {11, kEvWakeup},      {12, kEvBreak},      {13, kEvSync},         {14, kEvChecksum},  {15, kEvCheckError},
    {28, kEvSyncError},   {138, kEvIdFlagged},
};

uint32_t Be24(const uint8_t* p) { return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }
uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// The module's copy of the engine's decode bytes (the engine's buffer keeps
// filling while the analysis runs).
uint8_t DecodeBuffer[kDecodeBufferBytes];

int NextRow(int i) { return (i + 1) % kFrameRowsUsed; }

// A data byte of the frame in row `row`: bytes past the eighth are not stored.
template <typename Row>
void AddFrameByte(Row& row, int* d, uint32_t data) {
  if (*d < kFrameDataBytes) row.data[(*d)++] = uint8_t(data);
  row.count = uint8_t(*d);
}
}  // namespace

std::mutex& DecodeTablesLock() {
  static std::mutex mu;
  return mu;
}

uint8_t DecodeEventOfCode(uint8_t code) {
  for (const CodeEvent& c : kCodeEvents)
    if (c.code == code) return c.event;
  return kEvData;
}

int DecodeRows(int32_t count, int rows) { return count < 0 ? 0 : std::min<int>(count, rows); }

void Analysis_can_frame() {
  int i = 0, d = 0;
  can_num = 0;
  const int n = DecodeRows(Decode_data_num, kDecodeEntries);
  for (int e = 0; e < n; ++e) {
    const DecodeEntry& x = Decode_data_info[e];
    CanFrameRow& row = can_info[i];
    switch (x.event) {
      case kEvErrorFrame:
      case kEvOverload:
      case kEvBitError:
        row = CanFrameRow{};
        row.kind = uint8_t(x.event - kEvErrorFrame + 1);
        row.start = x.start;
        i = NextRow(i);
        d = 0;  // a frame cut short does not pass its bytes on
        ++can_num;
        break;
      case kEvExtId:
      case kEvId:
        row = CanFrameRow{};
        row.start = x.start;
        row.id = x.data;
        d = 0;
        ++can_num;
        break;
      case kEvDlc: row.dlc = uint8_t(x.data); break;
      case kEvData: AddFrameByte(row, &d, x.data); break;
      case kEvCrc: row.crc = uint16_t(x.data); break;
      case kEvAck:
        row.ack = uint8_t(x.data);
        d = 0;
        i = NextRow(i);
        break;
      default: break;
    }
  }
}

void Analysis_lin_frame() {
  int i = 0, d = 0;
  lin_num = 0;
  const int n = DecodeRows(Decode_data_num, kDecodeEntries);
  for (int e = 0; e < n; ++e) {
    const DecodeEntry& x = Decode_data_info[e];
    LinFrameRow& row = lin_info[i];
    switch (x.event) {
      case kEvSync:
      case kEvSyncError:
        row.syncError = x.event == kEvSyncError;
        row.sync = uint8_t(x.data);
        break;
      case kEvId:
      case kEvIdFlagged:
        row.id = uint8_t(x.data);
        row.start = x.start;
        row.count = 0;
        d = 0;  // a frame without a checksum does not pass its bytes on
        ++lin_num;
        break;
      case kEvData: AddFrameByte(row, &d, x.data); break;
      case kEvChecksum:
      case kEvCheckError:
        row.checksum = uint8_t(x.data);
        row.checksumError = x.event == kEvCheckError;
        i = NextRow(i);
        d = 0;
        break;
      default: break;
    }
  }
}

void AnalysisDecodeRecords(const uint8_t* records, int count, int type, double nsPerSample) {
  if (!records || count < kMinRecordBytes) return;
  count = std::min(count, kDecodeBufferBytes);
  std::lock_guard<std::mutex> lock(DecodeTablesLock());
  int n = 0;
  for (int at = 0; at + kDecodeRecordBytes <= count && n < kDecodeEntries; at += kDecodeRecordBytes) {
    const uint8_t* r = records + at;
    DecodeEntry& x = Decode_data_info[n];
    x.marker = Be24(r);
    x.event = DecodeEventOfCode(r[3]);
    x.start = int64_t(double(int32_t(Be32(r + 4))) * nsPerSample);
    x.data = Be32(r + 8);
    x.end = int64_t(double(int32_t(Be32(r + 12))) * nsPerSample);
    if (x.marker == kDecodeMarker) ++n;
  }
  Decode_data_num = n;
  if (type == kTrigLin) Analysis_lin_frame();
  if (type == kTrigCan) Analysis_can_frame();
}

int TaskForTrigger::DataProcess() {
  const int t = Type();
  if (t < kTrigRs232 || t > kTrigLin) return 0;
  _SysResource* sys = Sys();
  if (!sys->wave) return 0;
  DecodeByteCount = sys->wave->DecodedataExport(0, DecodeBuffer, kDecodeBufferBytes);
  if (DecodeByteCount < kMinRecordBytes) return 0;
  Analysis_decode_data();
  return 0;
}

int TaskForTrigger::Analysis_decode_data() {
  const double rate = Sys()->timeBase->GetCurrTimeBaseSample(0);
  const double k = rate > 0 ? 1.0 / rate * 1e9 : 0.0;
  AnalysisDecodeRecords(DecodeBuffer, DecodeByteCount, Type(), k);
  return Decode_data_num;
}
