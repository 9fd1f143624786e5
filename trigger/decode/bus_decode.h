// Bus-decode analysis: the FPGA's 16-byte decode records turned into decoded
// entries with times in nanoseconds, and for CAN and LIN into frame tables.
//
// Record (multi-byte fields big-endian): marker 0xAA 0xA5 0x5A, FPGA event
// code, start count (signed samples), data value, end count. Records with
// another marker are dropped; unknown codes become event 1.
//
// The tables are rebuilt by the main loop and read by the display, the
// exports and the SCPI worker: every access holds `DecodeTablesLock()`, and
// readers take the counts through `DecodeRows`, which clamps them to what
// the tables hold. Readers that show or answer them take `DecodeRowsInForce`,
// so a decode made under other settings is never shown.
#pragma once
#include <cstdint>
#include <mutex>

struct DecodeEntry {
  uint32_t marker;
  uint8_t event;
  int64_t start;  // ns
  uint32_t data;
  int64_t end;  // ns
};

// One CAN frame: kind 0 data frame, 1 error frame, 2 overload frame, 3 bit error.
struct CanFrameRow {
  uint8_t kind;
  int64_t start;
  uint32_t id;
  uint8_t count;  // data bytes stored
  uint8_t data[8];
  uint8_t dlc;
  uint16_t crc;
  uint8_t ack;
};

struct LinFrameRow {
  uint8_t id;
  int64_t start;
  uint8_t count;
  uint8_t data[8];
  uint8_t checksum;
  uint8_t checksumError;
  uint8_t sync;
  uint8_t syncError;
};

constexpr int kDecodeRecordBytes = 16;
constexpr int kDecodeBufferBytes = 10240000;
constexpr int kDecodeEntries = kDecodeBufferBytes / kDecodeRecordBytes;
constexpr int kFrameTableRows = 300;
constexpr int kFrameRowsUsed = 256;  // the row index wraps here
constexpr uint32_t kDecodeMarker = 0xAAA55A;

// Events the program uses (the FPGA's codes are mapped onto them).
enum DecodeEvent : uint8_t {
  kEvDataRed = 0, kEvData = 1, kEvDataViolet = 2, kEvAddrWrite = 3, kEvAddrRead = 4, kEvExtId = 5, kEvId = 6,
  kEvDlc = 7, kEvD = 8, kEvCrc = 9, kEvErrorFrame = 10, kEvOverload = 11, kEvBitError = 12, kEvAck = 13,
  kEvUnused = 14, kEvWakeup = 15, kEvBreak = 16, kEvSync = 17, kEvChecksum = 18, kEvCheckError = 19,
  kEvSyncError = 20, kEvIdFlagged = 21,
};

extern DecodeEntry Decode_data_info[kDecodeEntries];
extern int32_t Decode_data_num;
extern CanFrameRow can_info[kFrameTableRows];
extern int32_t can_num;
extern LinFrameRow lin_info[kFrameTableRows];
extern int32_t lin_num;

std::mutex& DecodeTablesLock();

// The event number of an FPGA event code.
uint8_t DecodeEventOfCode(uint8_t code);

// Rebuilds the entries from `count` bytes of records (nothing for 5 bytes or
// fewer), then the CAN (type 15) or LIN (type 16) table. `nsPerSample` turns
// counts into nanoseconds. Takes the tables' lock.
void AnalysisDecodeRecords(const uint8_t* records, int count, int type, double nsPerSample);
void Analysis_can_frame();
void Analysis_lin_frame();

// Rows a reader may walk: the count clamped to the rows the table holds.
int DecodeRows(int32_t count, int rows);

// The settings a decode depends on: the bus type, its sources and the
// settings of its lines (not the trigger condition nor how it is shown).
struct DecodeSettings {
  static constexpr int kFields = 8;
  int32_t field[kFields];  // the type, then the bus's own
  bool operator==(const DecodeSettings& o) const;
  bool operator!=(const DecodeSettings& o) const { return !(*this == o); }
};
DecodeSettings DecodeSettingsInForce();
// Rows of a table that a reader shows or answers: none while the tables were
// decoded under other settings than those in force (caller holds the lock).
int DecodeRowsInForce(int32_t count, int rows);
// Empties the tables (caller holds the lock).
void ClearDecodeTables();

// The window a stopped record's entries are shown in: the decode lane's
// columns of data on the screen, which a stopped time-base change or move
// re-windows (the entries keep the times of the screen they were read
// with). Running or zoomed, the entries stand as decoded.
struct DecodeWindow {
  bool windowed = false;
  double nsPerColumn = 0, shift = 0;  // shift in columns
  int64_t reference = 0;              // ns
  int first = 0, last = 0;            // the columns an entry must reach
};
DecodeWindow DecodeWindowInForce();
// Whether entry `e` is shown in `w`, and its start from the left edge of the
// screen shown (ns). An entry cut by an edge is shown.
bool DecodeShown(const DecodeWindow& w, const DecodeEntry& e, int64_t* start);
