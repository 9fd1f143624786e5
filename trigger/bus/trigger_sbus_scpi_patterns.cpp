// The bit-pattern rows of the serial-bus SCPI commands: RS232 data, I2C
// address and data, SPI data, CAN identifier and data, LIN identifier and
// data, with the lengths that size them. A pattern is checked whole before
// anything is stored, so a refused command leaves the old pattern in force.
// The commands run on the SCPI worker: they hold the pattern lock while they
// read or write a pattern (the main loop's editors and drawing take it too).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "remote/scpi/scpi_kit.h"
#include "trigger/bus/bus_pattern_editor.h"
#include "trigger/bus/bus_patterns.h"
#include "trigger/bus/trigger_bus.h"
#include "trigger/bus/trigger_sbus_scpi_kit.h"

using sbus::Val;

namespace {
constexpr int kByteBits = 8;
constexpr int kI2cRunMax = 40;       // characters of an I2C data text
constexpr int kLinIdText = 8;        // a LIN identifier text is fitted to 8 characters
constexpr int kI2cAddressMax = 1023;
constexpr int kCanBytesMax = 8, kI2cBytesMax = kI2cPatternBytes;

// ---- generic digit-editor patterns (SPI data, CAN identifier and data) ----

// The pattern's width as its editor has it, within its store.
int Width(const PatternEditor& e) { return std::min(e.Bits(), e.bitCap); }

void Store(PatternEditor& e, const char* bits, int w) {
  std::fill(e.bits, e.bits + e.bitCap, 0);
  std::copy(bits, bits + w, e.bits);
  e.Show();
  sbus::CommonOp();
}

template <PatternKind kKind, int kAttr>
void SetPattern(scpi_para*, char* p) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  if (ScpiMissing(p) || sbus::Forbidden(kAttr)) return;
  PatternEditor& e = BusEditor(kKind);
  const int w = Width(e);
  char bits[kSpiBits];
  const std::string run = sbus::PatternRun(p);
  if (ScpiRefuseIf(!sbus::PatternChars(run)) || !sbus::ToBits(sbus::Fit(run, w), true, bits)) return;
  Store(e, bits, w);
}

template <PatternKind kKind, int kAttr>
void AskPattern(scpi_para*, char*) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  if (sbus::Forbidden(kAttr)) return;
  const PatternEditor& e = BusEditor(kKind);
  ScpiAnswer(sbus::BitsText(e.bits, Width(e)).c_str());
}

// LIN identifier and data: the whole text without its quotes and
// backslashes, fitted to `fitTo` characters, of which the last `w` are stored.
std::string Unquoted(const char* p) {
  std::string s;
  for (; *p; ++p)
    if (*p != '"' && *p != '\\') s += *p;
  return s;
}

template <PatternKind kKind, int kAttr>
void SetLinPattern(scpi_para*, char* p) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  if (ScpiMissing(p) || sbus::Forbidden(kAttr)) return;
  PatternEditor& e = BusEditor(kKind);
  const int w = Width(e);
  const int fitTo = kKind == PatternKind::kLinId ? kLinIdText : w;
  const std::string text = sbus::Fit(Unquoted(p), fitTo);
  char bits[kFrameDataBits];
  if (ScpiRefuseIf(!sbus::PatternChars(text)) ||
      !sbus::ToBits(text.substr(text.size() - size_t(w)), true, bits))
    return;
  Store(e, bits, w);
}

// ---- RS232 data byte ----

int ByteOf(const char* bits, int n) {
  int v = 0;
  for (int i = 0; i < n; ++i) v = v << 1 | bits[i];
  return v;
}

std::string BinaryOf(int v, int n) {
  std::string s;
  for (int i = n - 1; i >= 0; --i) s += char('0' + (v >> i & 1));
  return s;
}

void Rs232Data(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const std::string run = sbus::PatternRun(p);
  char bits[kByteBits];
  if (ScpiRefuseIf(!sbus::PatternChars(run)) || !sbus::ToBits(sbus::Fit(run, kByteBits), false, bits))
    return;
  TaskTrigger.SetItem(122, uint64_t(ByteOf(bits, kByteBits)));
  Decode_RS232Data(sbus::kNoKey);
  sbus::CommonOp();
}
void Rs232DataAsk(scpi_para*, char*) { ScpiAnswer(BinaryOf(Val(122), kByteBits).c_str()); }

// ---- I2C address and data ----

int AddressBits() { return Val(135) == 0 ? 7 : Val(135) == 1 ? 10 : 0; }

void I2cAddress(scpi_para*, char* p) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  if (ScpiMissing(p) || sbus::Forbidden(131)) return;
  const int w = AddressBits();
  const std::string run = sbus::PatternRun(p);
  char bits[10] = {};
  if (ScpiRefuseIf(!sbus::PatternChars(run)) || (w && !sbus::ToBits(sbus::Fit(run, w), false, bits)))
    return;
  const int a = std::min(ByteOf(bits, w), kI2cAddressMax);
  TaskTrigger.SetItem(136, uint64_t(a));
  Decode_I2c_AddrSet_Value(a);
  Decode_I2C_AddrSet_Mode(sbus::kNoKey);
  sbus::CommonOp();
}
void I2cAddressAsk(scpi_para*, char*) {
  if (sbus::Forbidden(131)) return;
  ScpiAnswer(BinaryOf(Val(136), AddressBits()).c_str());
}

int I2cBytes() { return std::clamp(Val(140) + 1, 1, kI2cBytesMax); }

// The bytes packed from their bits (first bit most significant); the data
// text of the item follows them.
void I2cData(scpi_para*, char* p) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  if (ScpiMissing(p) || sbus::Forbidden(132)) return;
  const std::string run = sbus::PatternRun(p);
  if (int(run.size()) > kI2cRunMax) {
    std::printf("\n len is error %d----------\n", int(run.size()));
    return void(ScpiRefuse());
  }
  const int n = I2cBytes();
  char bits[kI2cBytesMax * kByteBits];
  if (ScpiRefuseIf(!sbus::PatternChars(run)) ||
      !sbus::ToBits(sbus::Fit(run, n * kByteBits), false, bits))
    return;
  for (int i = 0; i < n; ++i) I2cDataHex[i] = uint8_t(ByteOf(bits + i * kByteBits, kByteBits));
  Decode_I2C_data_show();
  Decode_I2C_DataSet_Bytes(sbus::kNoKey);
  sbus::CommonOp();
}
void I2cDataAsk(scpi_para*, char*) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  if (sbus::Forbidden(132)) return;
  std::string s;
  for (int i = 0; i < I2cBytes(); ++i) s += BinaryOf(I2cDataHex[i], kByteBits);
  ScpiAnswer(s.c_str());
}

// ---- byte counts that size the patterns ----

// A byte count n stored as n - 1: above `max` gives max, below 1 is refused.
template <int kItem, int kMax, int kAttr, MenuHandler kHandler>
void SetByteCount(scpi_para*, char* p) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  if (ScpiMissing(p) || (kAttr && sbus::Forbidden(kAttr))) return;
  const long n = ScpiLong(p);
  if (n < 1) return sbus::LineError();
  TaskTrigger.SetItem(kItem, uint64_t(std::min<long>(n, kMax) - 1));
  kHandler(sbus::kNoKey);
  sbus::CommonOp();
}
template <int kItem, int kAttr>
void AskByteCount(scpi_para*, char*) {
  if (kAttr && sbus::Forbidden(kAttr)) return;
  ScpiAnswerNumber(Val(kItem) + 1);
}

// LIN lengths: below 1 stores 0, above 8 stores 7.
template <int kItem, MenuHandler kHandler>
void SetLinLength(scpi_para*, char* p) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  long asked = 0;
  if (!ScpiNumber(p, &asked)) return;
  const long n = std::clamp<long>(asked, 1, kCanBytesMax);
  TaskTrigger.SetItem(kItem, uint64_t(n - 1));
  kHandler(sbus::kNoKey);
  sbus::CommonOp();
}
}  // namespace

const instr kTriggerSbusPatternRows[] = {
    {"SBUS:RS232:DATA", Rs232Data},
    {"SBUS:RS232:DATA?", Rs232DataAsk},
    {"SBUS:I2C:ADDRess", I2cAddress},
    {"SBUS:I2C:ADDRess?", I2cAddressAsk},
    {"SBUS:I2C:DATA", I2cData},
    {"SBUS:I2C:DATA?", I2cDataAsk},
    {"SBUS:I2C:DATA:LEN", SetByteCount<140, kI2cBytesMax, 0, Decode_I2C_DataSet_Bytes>},
    {"SBUS:I2C:DATA:LEN?", AskByteCount<140, 0>},
    {"SBUS:SPI:DATA", SetPattern<PatternKind::kSpiData, 177>},
    {"SBUS:SPI:DATA?", AskPattern<PatternKind::kSpiData, 177>},
    {"SBUS:CAN:ID", SetPattern<PatternKind::kCanId, 201>},
    {"SBUS:CAN:ID?", AskPattern<PatternKind::kCanId, 201>},
    {"SBUS:CAN:DATA", SetPattern<PatternKind::kCanData, 202>},
    {"SBUS:CAN:DATA?", AskPattern<PatternKind::kCanData, 202>},
    {"SBUS:CAN:DATA:LEN", SetByteCount<215, kCanBytesMax, 202, Decode_CANData_Len>},
    {"SBUS:CAN:DATA:LEN?", AskByteCount<215, 202>},
    {"SBUS:LIN:ID", SetLinPattern<PatternKind::kLinId, 231>},
    {"SBUS:LIN:ID?", AskPattern<PatternKind::kLinId, 231>},
    {"SBUS:LIN:DATA", SetLinPattern<PatternKind::kLinData, 232>},
    {"SBUS:LIN:DATA?", AskPattern<PatternKind::kLinData, 232>},
    {"SBUS:LIN:DATA:LENGth", SetLinLength<236, Decode_LIN_DATALEN>},
    {"SBUS:LIN:DATA:LENGth?", AskByteCount<236, 0>},
    {"SBUS:LIN:TRIGger:DATA:LENGth", SetLinLength<245, Decode_LINData_Len>},
    {"SBUS:LIN:TRIGger:DATA:LENGth?", AskByteCount<245, 0>},
    {"", nullptr},
};
