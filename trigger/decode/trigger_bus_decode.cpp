// The trigger module's bus-decode pass: the waveform engine's decode bytes
// copied into the module's buffer and analysed into entries and frames.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "core/state/sys_run_info.h"
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
constexpr int kMinRecordBytes = 6;  // fewer is no record
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

// The settings the tables were decoded under, and the engine's decode read
// the last pass saw.
DecodeSettings g_tablesSettings{};
uint32_t g_lastDecodeRead = 0;
uint32_t g_settingsRead = 0;  // the read in force when they last changed

void Fill(DecodeSettings* k, std::initializer_list<int32_t> fields) {
  std::copy(fields.begin(), fields.end(), k->field + 1);  // field 0 is the type
}

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

bool DecodeSettings::operator==(const DecodeSettings& o) const {
  return std::equal(field, field + kFields, o.field);
}

DecodeSettings DecodeSettingsInForce() {
  DecodeSettings k{};
  const int type = TaskTrigger.Type();
  k.field[0] = type;
  _SysRunInfoOp* run = SystemResource.runStatus;
  if (!run) return k;
  const _SysRunInfo& i = *run->GetSysRunInfoBaseAddr();
  switch (type) {
    case kTrigRs232:
      Fill(&k, {i.rs232.source, i.rs232.baud, i.rs232.polarity, i.rs232.dataWidth, i.rs232.bitOrder,
                i.rs232.stopBits, i.rs232.parity});
      break;
    case kTrigI2c: Fill(&k, {i.i2c.sclSource, i.i2c.sdaSource}); break;
    case kTrigSpi:
      Fill(&k, {i.spi.sclkSource, i.spi.mosiSource, i.spi.sclkEdge, i.spi.mosiPolarity, i.spi.bitOrder,
                i.spi.bitWidth, int32_t(i.spi.idleTime)});
      break;
    case kTrigCan: Fill(&k, {i.can.source, i.can.signalType, i.can.baud}); break;
    case kTrigLin: Fill(&k, {i.lin.source, i.lin.polarity, i.lin.version, i.lin.baud}); break;
    default: break;
  }
  return k;
}

int DecodeRowsInForce(int32_t count, int rows) {
  return g_tablesSettings == DecodeSettingsInForce() ? DecodeRows(count, rows) : 0;
}

void ClearDecodeTables() {
  Decode_data_num = 0;
  can_num = 0;
  lin_num = 0;
}

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
  g_tablesSettings = DecodeSettingsInForce();
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
  LaneGiveWay();  // the spectrum may have come on over SCPI, with no key
  _SysResource* sys = Sys();
  if (!sys->wave) return 0;
  // The engine's records were decoded under the settings of their read: once
  // the settings change, only a later read is taken.
  const DecodeSettings settings = DecodeSettingsInForce();
  const uint32_t reads = sys->wave->DecodeReadCount();
  const bool newRead = reads != g_lastDecodeRead;
  g_lastDecodeRead = reads;
  {
    std::lock_guard<std::mutex> lock(DecodeTablesLock());
    if (settings != g_tablesSettings) {
      g_tablesSettings = settings;
      g_settingsRead = reads;
      ClearDecodeTables();
      return 0;
    }
  }
  if (reads == g_settingsRead) return 0;
  DecodeByteCount = sys->wave->DecodedataExport(0, DecodeBuffer, kDecodeBufferBytes);
  if (DecodeByteCount < kMinRecordBytes) {
    // A read that decoded nothing: the traffic is gone from the screen. (The
    // engine's records dropped without a read leave the tables standing.)
    if (newRead) {
      std::lock_guard<std::mutex> lock(DecodeTablesLock());
      ClearDecodeTables();
    }
    return 0;
  }
  Analysis_decode_data();
  return 0;
}

int TaskForTrigger::Analysis_decode_data() {
  const double rate = Sys()->timeBase->GetCurrTimeBaseSample(0);
  const double k = rate > 0 ? 1.0 / rate * 1e9 : 0.0;
  AnalysisDecodeRecords(DecodeBuffer, DecodeByteCount, Type(), k);
  return Decode_data_num;
}
