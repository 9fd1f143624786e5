// The serial-bus SCPI rows (trigger_sbus_scpi.h). Setters write the item,
// rerun its handler with no key and then the trigger page operation; queries
// answer from the items; a refused command answers nothing and leaves an
// error for SYSTem:ERRor?.
#include "trigger/bus/trigger_sbus_scpi.h"

#include <algorithm>
#include <mutex>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_kit.h"
#include "trigger/decode/bus_decode_export.h"
#include "trigger/bus/bus_pattern_editor.h"
#include "trigger/bus/bus_patterns.h"
#include "trigger/bus/trigger_bus.h"
#include "trigger/bus/trigger_sbus_scpi_kit.h"
#include "trigger/analog/trigger_scpi.h"

using sbus::kNoKey;
using sbus::Val;

namespace {
constexpr int kTaskId = 10;
constexpr int kVerPosMax = 160;
constexpr int kBaseAscii = 3;
constexpr int kSpiWidthMin = 4, kSpiWidthMax = 32, kSpiFramesMax = 32;
constexpr double kIdleTick = 4e-9;  // the SPI idle time's unit
constexpr double kIdleMin = 80e-9, kIdleMax = 1.0;
constexpr uint32_t kIdleCountMax = 250000000;  // 1 s
constexpr char kForbiddenText[] = "\n CS is forbit----------";

const scpipara kSources[] = {{"CHANnel1", 0}, {"CHANnel2", 1}, {"", -1}};
const scpipara kBitOrder[] = {{"MSBFirst", 0}, {"LSBFirst", 1}, {"", -1}};
const scpipara kPolarity[] = {{"NEGative", 0}, {"POSitive", 1}, {"", -1}};
const scpipara kParity[] = {{"NONE", 0}, {"ODD", 1}, {"EVEN", 2}, {"", -1}};
const scpipara kRs232When[] = {{"BEGFrame", 0}, {"ERRFrame", 1}, {"ECCError", 2}, {"DATA", 3}, {"", -1}};
const scpipara kDirection[] = {{"WRITE", 0}, {"READ", 1}, {"ANY", 2}, {"", -1}};
const scpipara kI2cWhen[] = {{"STARt", 0}, {"RESTart", 1}, {"STOP", 2}, {"LOSS", 3},
                             {"ADDRess", 4}, {"DATA", 5}, {"ADATA", 6}, {"", -1}};
const scpipara kSpiWhen[] = {{"CS", 0},       {"CSMOSI", 1},   {"CSMISO", 2},   {"CSANY", 3},   {"IDLE", 4},
                             {"IDLEMOSI", 5}, {"IDLEMISO", 6}, {"IDLEANY", 7}, {"IDLEDATA", 8}, {"", -1}};
const scpipara kBases[] = {{"HEX", 0}, {"DEC", 1}, {"BINary", 2}, {"ASCII", 3}, {"", -1}};
const scpipara kCanWhen[] = {{"START", 0}, {"ID", 5}, {"DATA", 6}, {"IDDATA", 7}, {"END", 8},
                             {"ACKerror", 9}, {"BITFILL", 10}, {"", -1}};
const scpipara kCanFrame[] = {{"DATA", 1}, {"REMote", 2}, {"ERRor", 3}, {"OVERload", 4}, {"", -1}};
const scpipara kCanIdMode[] = {{"STANdard", 0}, {"EXTended", 1}, {"", -1}};
const scpipara kCanSignal[] = {{"CANL", 0}, {"CANH", 1}, {"", -1}};
const scpipara kLinPolarity[] = {{"NORMal", 0}, {"INVert", 1}, {"", -1}};
const scpipara kLinVersion[] = {{"VER1", 0}, {"VER2", 1}, {"ANY", 2}, {"", -1}};
const scpipara kLinWhen[] = {{"SYNC", 0}, {"ID", 1}, {"DATA", 2}, {"IDDATA", 3},
                             {"WAKE", 4}, {"SLEEP", 5}, {"ERROR", 6}, {"", -1}};
const scpipara kLinError[] = {{"SYNC", 0}, {"PARity", 1}, {"SUM", 2}, {"", -1}};
const scpipara kBusTypes[] = {{"RS232", kTrigRs232}, {"I2C", kTrigI2c}, {"SPI", kTrigSpi},
                              {"CAN", kTrigCan},     {"LIN", kTrigLin},  {"", -1}};

const char* KeywordOf(const scpipara* words, int v) {
  for (int i = 0; words[i].pattern[0]; ++i)
    if (words[i].value == v) return words[i].pattern;
  return "";
}

// An item from a keyword list, then its handler and the page operation.
template <int kItem, const scpipara* kWords, MenuHandler kHandler>
void SetKeyword(scpi_para*, char* p) {
  const int v = ScpiKeyword(kWords, p);
  if (v < 0) return;
  TaskTrigger.SetItem(kItem, uint64_t(v));
  kHandler(kNoKey);
  sbus::CommonOp();
}
template <int kItem, const scpipara* kWords>
void AskKeyword(scpi_para*, char*) {
  ScpiAnswer(KeywordOf(kWords, Val(kItem)));
}
template <int kItem>
void AskNumber(scpi_para*, char*) {
  ScpiAnswerNumber(int16_t(Val(kItem)));
}
// Bus sources: 0 answers "CHANnel1", any other value "CHANnel2".
template <int kItem>
void AskSource(scpi_para*, char*) {
  ScpiAnswer(Val(kItem) == 0 ? "CHANnel1" : "CHANnel2");
}
// A decode display item: written and redrawn, no handler. ASCII is a base of
// RS232 alone, as the panel offers it.
template <int kItem, const scpipara* kWords>
void SetDisplay(scpi_para*, char* p) {
  const int v = ScpiKeyword(kWords, p);
  if (v < 0) return;
  if (ScpiRefuseIf((kItem == kTiBusBase && v == kBaseAscii && TaskTrigger.Type() != kTrigRs232) ||
                   ((kItem == kTiBusState || kItem == kTiEventTable) && v == 1 &&
                    TaskTrigger.DecodeLaneGivesWay())))
    return;
  TaskTrigger.SetItem(kItem, uint64_t(v));
  TaskTrigger.Sys()->runStatus->SetDrawRefresh();
}

// Baud rates: a listed rate by its index, any other as the user rate.
template <int kItem, int kUser, const int* kTable, int kEntries, int kMax, MenuHandler kHandler>
void SetBaud(scpi_para*, char* p) {
  long rate = 0;
  if (!ScpiNumber(p, &rate)) return;
  const int* at = std::find(kTable, kTable + kEntries, int(std::clamp<long>(rate, 0, kMax)));
  if (at != kTable + kEntries) {
    TaskTrigger.SetItem(kItem, uint64_t(at - kTable));
  } else {
    TaskTrigger.SetItem(kItem, uint64_t(kEntries));
    TaskTrigger.SetItem(kUser, uint64_t(std::clamp<long>(rate, 1, kMax)));
  }
  kHandler(kNoKey);
  sbus::CommonOp();
}
template <int kItem, int kUser, const int* kTable, int kEntries>
void AskBaud(scpi_para*, char*) {
  const int i = Val(kItem);
  ScpiAnswerNumber(i >= 0 && i < kEntries ? kTable[i] : int(TaskTrigger.Item(kUser) & 0x7FFFFFFF));
}

// ---- RS232 ----

void Rs232Width(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const long n = ScpiLong(p);
  if (ScpiRefuseIf(n <= 0)) return;
  // 1 to 4 bits are taken as 5, the narrowest the menu has.
  TaskTrigger.SetItem(116, uint64_t(std::max(0L, std::min(n, 8L) - 5)));
  Decode_RS232DataWide(kNoKey);
  sbus::CommonOp();
}
void Rs232WidthAsk(scpi_para*, char*) { ScpiAnswerNumber(Val(116) + 5); }

void Rs232Stop(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const long n = ScpiLong(p);
  if (ScpiRefuseIf(n != 1 && n != 2)) return;
  TaskTrigger.SetItem(118, uint64_t(n - 1));
  sbus::CommonOp();
}
void Rs232StopAsk(scpi_para*, char*) { ScpiAnswerNumber(Val(118) + 1); }

// ---- I2C ----

void I2cAddrSize(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const long n = ScpiLong(p);
  if (ScpiRefuseIf(n != 7 && n != 10)) return;
  TaskTrigger.SetItem(135, n == 10 ? 1 : 0);
  Decode_I2C_AddrSet_Mode(kNoKey);
  sbus::CommonOp();
}
void I2cAddrSizeAsk(scpi_para*, char*) { ScpiAnswer(Val(135) ? "10" : "7"); }

// ---- SPI ----

// The chip-select source is frozen on this instrument's pages.
void SpiCsSource(scpi_para*, char* p) {
  if (TaskTrigger.Attr(162) & kTrigAttrFrozen) {
    std::printf("%s", kForbiddenText);
    return void(ScpiRefuse());
  }
  const int v = ScpiKeyword(kSources, p);
  if (v < 0) return;
  TaskTrigger.SetItem(162, uint64_t(v));
  sbus::CommonOp();
}

// Bit order stored inverted: MSBFirst 1, LSBFirst 0.
void SpiBitOrder(scpi_para*, char* p) {
  const int v = ScpiKeyword(kBitOrder, p);
  if (v < 0) return;
  TaskTrigger.SetItem(171, uint64_t(!v));
  Decode_SPI_Bitseq(kNoKey);
  sbus::CommonOp();
}
void SpiBitOrderAsk(scpi_para*, char*) { ScpiAnswer(Val(171) ? "MSBFirst" : "LSBFirst"); }

// The frames fitted to the width: frames x width stays within the pattern's 128 bits.
int FramesFor(long frames, int width) { return int(std::clamp<long>(frames, 1, std::min(kSpiFramesMax, kSpiBits / width))); }

void SpiWidth(scpi_para*, char* p) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  long asked = 0;
  if (!ScpiNumber(p, &asked)) return;
  const int w = int(std::clamp<long>(asked, kSpiWidthMin, kSpiWidthMax));
  TaskTrigger.SetItem(172, uint64_t(w));
  Decode_SPI_BitWide(kNoKey);
  TaskTrigger.SetItem(176, uint64_t(FramesFor(Val(176), w)));
  BusEditor(PatternKind::kSpiData).Show();
  sbus::CommonOp();
}

void SpiFrames(scpi_para*, char* p) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  long asked = 0;
  if (ScpiMissing(p) || sbus::Forbidden(176) || !ScpiNumber(p, &asked)) return;
  const long n = std::clamp<long>(asked, 1, kSpiFramesMax);
  TaskTrigger.SetItem(176, uint64_t(FramesFor(n, std::clamp(Val(172), kSpiWidthMin, kSpiWidthMax))));
  Decode_SPI_Data_len(kNoKey);
  BusEditor(PatternKind::kSpiData).Show();
  sbus::CommonOp();
}
void SpiFramesAsk(scpi_para*, char*) {
  if (!sbus::Forbidden(176)) ScpiAnswerNumber(Val(176));
}

// The idle time: 80 ns to 1 s, kept as a count of 4 ns.
void SpiIdle(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const double s = std::clamp(Time_change(p), kIdleMin, kIdleMax);
  const uint32_t count = uint32_t(ScpiWhole(s / kIdleTick + 0.5, long(kIdleMin / kIdleTick + 0.5), long(kIdleCountMax)));
  TaskTrigger.SetItem(175, count);
  sbus::CommonOp();
}
void SpiIdleAsk(scpi_para*, char*) {
  char text[32];
  std::snprintf(text, sizeof text, "%-13.6e", double(float(TaskTrigger.Item(175) & 0xFFFFFFFF) * 4e-9f));
  ScpiAnswer(text);
}

// Only the idle framings are on this instrument's page: IDLE 0, IDLEDATA 1.
void SpiWhen(scpi_para*, char* p) {
  const int v = ScpiKeyword(kSpiWhen, p);
  if (v < 0 || ScpiRefuseIf(v != 4 && v != 8)) return;
  TaskTrigger.SetItem(173, v == 8 ? 1 : 0);
  Decode_SPI_When(kNoKey);
  sbus::CommonOp();
}
void SpiWhenAsk(scpi_para*, char*) { ScpiAnswer(Val(173) == 0 ? "IDLE" : Val(173) == 1 ? "IDLEDATA" : "CS"); }

// ---- CAN ----

// One item for the qualifier and the frame type: 0 START, 1-4 a frame type, 5-10 the rest.
void CanWhenAsk(scpi_para*, char*) {
  const int v = Val(200);
  ScpiAnswer(v >= 1 && v <= 4 ? KeywordOf(kCanFrame, v) : KeywordOf(kCanWhen, v));
}

// ---- bus type, decode display, decoded data ----

// SBUS:MODE: every linked type item, and the type's page when the trigger is
// shown. The type selection follows, so the bus is decoded and drawn at once.
void Mode(scpi_para*, char* p) {
  const int t = ScpiKeyword(kBusTypes, p);
  if (t < 0) return;
  for (int i = 0; i < kTrigTypes; ++i) TaskTrigger.SetItem(LinkageItem[i], uint64_t(t));
  if (TaskManage.GetTaskCurrId() == kTaskId && TriggerMenu) TriggerMenu->SetCurrPage(LinkageItem[t]);
  Trigger_TypeSelect(kNoKey);
  sbus::CommonOp();
}
void ModeAsk(scpi_para*, char*) {
  const int t = TaskTrigger.Type();
  if (t >= kTrigRs232 && t <= kTrigLin) ScpiAnswer(KeywordOf(kBusTypes, t));
}

void VerPos(scpi_para*, char* p) {
  long asked = 0;
  if (!ScpiNumber(p, &asked)) return;
  const long v = std::clamp<long>(asked, -kVerPosMax, kVerPosMax);
  TaskTrigger.SetItem(kTiBusVerPos, uint16_t(int16_t(v)));
  TaskTrigger.Sys()->runStatus->SetDrawRefresh();
}

void DataAsk(scpi_para*, char*) {
  int length = 0;
  const char* text = Get_decode_data_Info(&length);
  if (text) TaskTrigger.Sys()->scpiEngine->WriteResponseDataRaw(text, length);
}

constexpr int kBaudRs232Max = 25000000, kBaudCanMax = 2000000, kBaudLinMax = 100000;
int NoHandler(keypara) { return 0; }  // an item only written
}  // namespace

// ---- the shared helpers (trigger_sbus_scpi_kit.h) ----

bool sbus::Forbidden(int n) {
  if (!(TaskTrigger.Attr(n) & kTrigAttrOff)) return false;
  std::printf("%s", kForbiddenText);
  ScpiRefuse();
  return true;
}

void sbus::CommonOp() { Scpi_TriggerCommonOp(); }

void sbus::LineError() {
  std::printf("Warning : Line is error ... \n");
  ScpiRefuse();
}

bool sbus::PatternChars(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == '0' || c == '1' || c == 'X'; });
}

std::string sbus::PatternRun(const char* p) {
  std::string run;
  for (const char* c = p + (p[0] == '"' ? 1 : 0); std::isalnum(uint8_t(*c)); ++c) run += *c;
  return run;
}

std::string sbus::Fit(std::string run, int width) {
  if (int(run.size()) > width) return run.substr(run.size() - size_t(width));
  return std::string(size_t(width) - run.size(), '0') + run;
}

bool sbus::ToBits(const std::string& text, bool allowAny, char* out) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == 'X' && !allowAny) return ScpiRefuse(), false;
    out[i] = text[i] == 'X' ? kBitAny : char(text[i] - '0');
  }
  return true;
}

std::string sbus::BitsText(const char* bits, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += bits[i] == kBitAny ? 'X' : char('0' + bits[i]);
  return s;
}

const instr kTriggerSbusRows[] = {
    {"SBUS:MODE", Mode},
    {"SBUS:MODE?", ModeAsk},
    {"SBUS:DISPlay", SetDisplay<kTiBusState, kScpiOnOff>},
    {"SBUS:DISPlay?", AskNumber<kTiBusState>},
    {"SBUS:BASE", SetDisplay<kTiBusBase, kBases>},
    {"SBUS:BASE?", AskKeyword<kTiBusBase, kBases>},
    {"SBUS:EVENt", SetDisplay<kTiEventTable, kScpiOnOff>},
    {"SBUS:EVENt?", AskNumber<kTiEventTable>},
    {"SBUS:VERTical:POSition", VerPos},
    {"SBUS:VERTical:POSition?", AskNumber<kTiBusVerPos>},
    {"SBUS:TRIGger:COUPling", Scpi_TaskTrigger_Coupling},
    {"SBUS:TRIGger:COUPling?", Scpi_TaskTrigger_GetCoupling},
    {"SBUS:TRIGger:SWEep", Scpi_TaskTrigger_Sweep},
    {"SBUS:TRIGger:SWEep?", Scpi_TaskTrigger_SweepAsk},
    {"SBUS:DATA?", DataAsk},
    {"SBUS:RS232:BAUDrate", SetBaud<112, 113, RS232BaudRate, kRs232Bauds, kBaudRs232Max, Decode_RS232BaudRate>},
    {"SBUS:RS232:BAUDrate?", AskBaud<112, 113, RS232BaudRate, kRs232Bauds>},
    {"SBUS:RS232:BITorder", SetKeyword<117, kBitOrder, Decode_RS232BitSeq>},
    {"SBUS:RS232:BITorder?", AskKeyword<117, kBitOrder>},
    {"SBUS:RS232:SOURce", SetKeyword<111, kSources, Decode_RS232Source>},
    {"SBUS:RS232:SOURce?", AskSource<111>},
    {"SBUS:RS232:POLarity", SetKeyword<115, kPolarity, Decode_RS232Polarity>},
    {"SBUS:RS232:POLarity?", AskKeyword<115, kPolarity>},
    {"SBUS:RS232:PARity", SetKeyword<120, kParity, Decode_RS232Parity>},
    {"SBUS:RS232:PARity?", AskKeyword<120, kParity>},
    {"SBUS:RS232:DATA:BIT", Rs232Width},
    {"SBUS:RS232:DATA:BIT?", Rs232WidthAsk},
    {"SBUS:RS232:STOP:BIT", Rs232Stop},
    {"SBUS:RS232:STOP:BIT?", Rs232StopAsk},
    {"SBUS:RS232:QUALifier", SetKeyword<121, kRs232When, Decode_RS232When>},
    {"SBUS:RS232:QUALifier?", AskKeyword<121, kRs232When>},
    {"SBUS:I2C:CLOCk:SOURce", SetKeyword<126, kSources, Decode_I2CScl>},
    {"SBUS:I2C:CLOCk:SOURce?", AskSource<126>},
    {"SBUS:I2C:DATA:SOURce", SetKeyword<127, kSources, Decode_I2CSda>},
    {"SBUS:I2C:DATA:SOURce?", AskSource<127>},
    {"SBUS:I2C:ASIZe", I2cAddrSize},
    {"SBUS:I2C:ASIZe?", I2cAddrSizeAsk},
    {"SBUS:I2C:ADIRection", SetKeyword<128, kDirection, Decode_I2CDirection>},
    {"SBUS:I2C:ADIRection?", AskKeyword<128, kDirection>},
    {"SBUS:I2C:QUALifier", SetKeyword<130, kI2cWhen, Decode_I2CWhen>},
    {"SBUS:I2C:QUALifier?", AskKeyword<130, kI2cWhen>},
    {"SBUS:SPI:CS:SOURce", SpiCsSource},
    {"SBUS:SPI:CS:SOURce?", AskSource<162>},
    {"SBUS:SPI:CLOCk:SOURce", SetKeyword<161, kSources, NoHandler>},
    {"SBUS:SPI:CLOCk:SOURce?", AskSource<161>},
    {"SBUS:SPI:MISO:SOURce", SetKeyword<165, kSources, Decode_SPIMISO>},
    {"SBUS:SPI:MISO:SOURce?", AskSource<165>},
    {"SBUS:SPI:MOSI:SOURce", SetKeyword<163, kSources, Decode_SPIMOSI>},
    {"SBUS:SPI:MOSI:SOURce?", AskSource<163>},
    {"SBUS:SPI:BITorder", SpiBitOrder},
    {"SBUS:SPI:BITorder?", SpiBitOrderAsk},
    {"SBUS:SPI:CS:POLarity", SetKeyword<166, kPolarity, Decode_SPI_SS_POLARITY>},
    {"SBUS:SPI:CS:POLarity?", AskKeyword<166, kPolarity>},
    {"SBUS:SPI:CLOCk:POLarity", SetKeyword<167, kPolarity, Decode_SPI_SCL_EDGE>},
    {"SBUS:SPI:CLOCk:POLarity?", AskKeyword<167, kPolarity>},
    {"SBUS:SPI:MISO:POLarity", SetKeyword<170, kPolarity, Decode_SPI_MISO_POLARITY>},
    {"SBUS:SPI:MISO:POLarity?", AskKeyword<170, kPolarity>},
    {"SBUS:SPI:MOSI:POLarity", SetKeyword<168, kPolarity, Decode_SPI_MOSI_POLARITY>},
    {"SBUS:SPI:MOSI:POLarity?", AskKeyword<168, kPolarity>},
    {"SBUS:SPI:WIDTh", SpiWidth},
    {"SBUS:SPI:WIDTh?", AskNumber<172>},
    {"SBUS:SPI:TRIGger:TIMeout", SpiIdle},
    {"SBUS:SPI:TRIGger:TIMeout?", SpiIdleAsk},
    {"SBUS:SPI:QUALifier", SpiWhen},
    {"SBUS:SPI:QUALifier?", SpiWhenAsk},
    {"SBUS:SPI:FRAMelen", SpiFrames},
    {"SBUS:SPI:FRAMelen?", SpiFramesAsk},
    {"SBUS:CAN:SIGNal:DEFinition", SetKeyword<197, kCanSignal, Decode_CAN_Singal_type>},
    {"SBUS:CAN:SIGNal:DEFinition?", AskKeyword<197, kCanSignal>},
    {"SBUS:CAN:SIGNal:BAUDrate", SetBaud<205, 206, CANBaudRate, kCanBauds, kBaudCanMax, Decode_CANBSP>},
    {"SBUS:CAN:SIGNal:BAUDrate?", AskBaud<205, 206, CANBaudRate, kCanBauds>},
    {"SBUS:CAN:SOURce", SetKeyword<196, kSources, Decode_CANSource>},
    {"SBUS:CAN:SOURce?", AskSource<196>},
    {"SBUS:CAN:QUALifier", SetKeyword<200, kCanWhen, Decode_CANWhen>},
    {"SBUS:CAN:QUALifier?", CanWhenAsk},
    {"SBUS:CAN:FRAMe:TYPE", SetKeyword<200, kCanFrame, Decode_CANWhen>},
    {"SBUS:CAN:FRAMe:TYPE?", CanWhenAsk},
    {"SBUS:CAN:ID:MODE", SetKeyword<210, kCanIdMode, Decode_CANID_Format>},
    {"SBUS:CAN:ID:MODE?", AskKeyword<210, kCanIdMode>},
    {"SBUS:CAN:ID:DIRection", SetKeyword<212, kDirection, Decode_CANID_Direction>},
    {"SBUS:CAN:ID:DIRection?", AskKeyword<212, kDirection>},
    {"SBUS:LIN:SOURce", SetKeyword<221, kSources, Decode_LINSource>},
    {"SBUS:LIN:SOURce?", AskSource<221>},
    {"SBUS:LIN:POLarity", SetKeyword<222, kLinPolarity, Decode_LIN_Polariyt_type>},
    {"SBUS:LIN:POLarity?", AskKeyword<222, kLinPolarity>},
    {"SBUS:LIN:VERSion", SetKeyword<225, kLinVersion, Decode_LIN_Version>},
    {"SBUS:LIN:VERSion?", AskKeyword<225, kLinVersion>},
    {"SBUS:LIN:SIGNal:BAUDrate", SetBaud<226, 227, LINBaudRate, kLinBauds, kBaudLinMax, Decode_LINBSP>},
    {"SBUS:LIN:SIGNal:BAUDrate?", AskBaud<226, 227, LINBaudRate, kLinBauds>},
    {"SBUS:LIN:PARity:DISPlay", SetKeyword<228, kScpiOnOff, Decode_LIN_ID_PARITY>},
    {"SBUS:LIN:PARity:DISPlay?", AskNumber<228>},
    {"SBUS:LIN:DATA:LENGth:DISPlay", SetKeyword<235, kScpiOnOff, Decode_LIN_DATALEN_SET>},
    {"SBUS:LIN:DATA:LENGth:DISPlay?", AskNumber<235>},
    {"SBUS:LIN:QUALifier", SetKeyword<230, kLinWhen, Decode_LINWhen>},
    {"SBUS:LIN:QUALifier?", AskKeyword<230, kLinWhen>},
    {"SBUS:LIN:ERRor:TYPE", SetKeyword<250, kLinError, Decode_LINError_Set>},
    {"SBUS:LIN:ERRor:TYPE?", AskKeyword<250, kLinError>},
    {"", nullptr},
};
