// The serial-bus SCPI rows (trigger_sbus_scpi.h). Setters write the item,
// rerun its handler with no key and then the trigger page operation; queries
// answer from the items; a refused command answers nothing.
#include "trigger/trigger_sbus_scpi.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/msg.h"
#include "core/sys_run_info.h"
#include "core/system_resource.h"
#include "core/task_manage.h"
#include "remote/scpi.h"
#include "remote/scpi_kit.h"
#include "trigger/bus_decode_export.h"
#include "trigger/bus_pattern_editor.h"
#include "trigger/bus_patterns.h"
#include "trigger/trigger_bus.h"

namespace {
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
constexpr int kTaskId = 10;
constexpr int kMsgInvalid = 72;  // "Invalid parameter entered!"
constexpr int kVerPosMax = 160;
constexpr char kForbidden[] = "\n CS is forbit----------";

const scpipara kSources[] = {{"CHANnel1", 0}, {"CHANnel2", 1}, {"", -1}};
const scpipara kBitOrder[] = {{"MSBFirst", 0}, {"LSBFirst", 1}, {"", -1}};
const scpipara kPolarity[] = {{"NEGative", 0}, {"POSitive", 1}, {"", -1}};
const scpipara kParity[] = {{"NONE", 0}, {"ODD", 1}, {"EVEN", 2}, {"", -1}};
const scpipara kRs232When[] = {{"BEGFrame", 0}, {"ERRFrame", 1}, {"ECCError", 2}, {"DATA", 3}, {"", -1}};
const scpipara kDirection[] = {{"WRITE", 0}, {"READ", 1}, {"ANY", 2}, {"", -1}};
const scpipara kI2cWhen[] = {{"STARt", 0}, {"RESTart", 1}, {"STOP", 2}, {"LOSS", 3},
                             {"ADDRess", 4}, {"DATA", 5}, {"ADATA", 6}, {"", -1}};
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

int Val(int n) { return int(TaskTrigger.Item(n) & 0xFFFF); }
bool Off(int n) { return TaskTrigger.Attr(n) & kTrigAttrOff; }

const char* KeywordOf(const scpipara* words, int v) {
  for (int i = 0; words[i].pattern[0]; ++i)
    if (words[i].value == v) return words[i].pattern;
  return "";
}

void CommonOp() {
  Trigger_MenuOp(kNoKey);
  TaskTrigger.Sys()->runStatus->SetDrawRefresh();
}

// An item from a keyword list, then its handler and the page operation.
template <int kItem, const scpipara* kWords, MenuHandler kHandler>
void SetKeyword(scpi_para*, char* p) {
  const int v = ScpiMatch(kWords, p);
  if (v < 0) return;
  TaskTrigger.SetItem(kItem, uint64_t(v));
  kHandler(kNoKey);
  CommonOp();
}
template <int kItem, const scpipara* kWords>
void AskKeyword(scpi_para*, char*) {
  ScpiAnswer(KeywordOf(kWords, Val(kItem)));
}
// Bus sources: 0 answers "CHANnel1", any other value "CHANnel2".
template <int kItem>
void AskSource(scpi_para*, char*) {
  ScpiAnswer(Val(kItem) == 0 ? "CHANnel1" : "CHANnel2");
}
// A decode display item: written and redrawn, no handler.
template <int kItem, const scpipara* kWords>
void SetDisplay(scpi_para*, char* p) {
  const int v = ScpiMatch(kWords, p);
  if (v < 0) return;
  if (kItem == 146 && v == 3 && TaskTrigger.Type() == kTrigI2c) return;  // no ASCII for I2C
  TaskTrigger.SetItem(kItem, uint64_t(v));
  TaskTrigger.Sys()->runStatus->SetDrawRefresh();
}
template <int kItem>
void AskNumber(scpi_para*, char*) {
  ScpiAnswerNumber(int16_t(Val(kItem)));
}

// Baud rates: a listed rate by its index, any other as the user rate.
template <int kItem, int kUser, const int* kTable, int kEntries, int kMax, MenuHandler kHandler>
void SetBaud(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const long rate = std::strtol(p, nullptr, 10);
  const int* at = std::find(kTable, kTable + kEntries, int(rate));
  if (at != kTable + kEntries) {
    TaskTrigger.SetItem(kItem, uint64_t(at - kTable));
  } else {
    TaskTrigger.SetItem(kItem, uint64_t(kEntries));
    TaskTrigger.SetItem(kUser, uint64_t(std::clamp<long>(rate, 1, kMax)));
  }
  kHandler(kNoKey);
  CommonOp();
}
template <int kItem, int kUser, const int* kTable, int kEntries>
void AskBaud(scpi_para*, char*) {
  const int i = Val(kItem);
  ScpiAnswerNumber(i >= 0 && i < kEntries ? kTable[i] : int(TaskTrigger.Item(kUser) & 0x7FFFFFFF));
}

// The "0"/"1"/"X" characters of a bit-pattern parameter fitted to `width`:
// the last `width` of a longer run, a shorter one right-aligned behind 0s.
// False for another character, or an "X" where none is allowed (message 72).
bool Bits(const char* p, int width, bool allowAny, char* out) {
  std::string run;
  for (const char* c = p + (p[0] == '"' ? 1 : 0); *c && *c != '"' && std::isalnum(uint8_t(*c)); ++c) run += *c;
  for (char c : run)
    if (c != '0' && c != '1' && c != 'X') return false;
  if (int(run.size()) > width) run = run.substr(run.size() - size_t(width));
  run = std::string(size_t(width) - run.size(), '0') + run;
  for (int i = 0; i < width; ++i) {
    if (run[size_t(i)] == 'X' && !allowAny) {
      TaskTrigger.Sys()->message->SetMessage(kMsgInvalid);
      return false;
    }
    out[i] = run[size_t(i)] == 'X' ? kBitAny : char(run[size_t(i)] - '0');
  }
  return true;
}

std::string BitsText(const char* bits, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += bits[i] == kBitAny ? 'X' : char('0' + bits[i]);
  return s;
}

// A digit-editor pattern from SCPI: width from the editor, attribute item refusing it.
template <PatternKind kKind, int kAttr>
void SetPattern(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  if (Off(kAttr)) return void(std::printf("%s", kForbidden));
  PatternEditor& e = BusEditor(kKind);
  char bits[kSpiBits];
  const int w = std::min(e.Bits(), e.bitCap);
  if (!Bits(p, w, true, bits)) return;
  std::fill(e.bits, e.bits + e.bitCap, 0);
  std::copy(bits, bits + w, e.bits);
  e.Show();
  CommonOp();
}
template <PatternKind kKind, int kAttr>
void AskPattern(scpi_para*, char*) {
  if (Off(kAttr)) return void(std::printf("%s", kForbidden));
  const PatternEditor& e = BusEditor(kKind);
  ScpiAnswer(BitsText(e.bits, std::min(e.Bits(), e.bitCap)).c_str());
}

void Rs232Data(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  char bits[8];
  if (!Bits(p, 8, false, bits)) return;
  int v = 0;
  for (char b : bits) v = v << 1 | b;
  TaskTrigger.SetItem(122, uint64_t(v));
  Decode_RS232Data(kNoKey);
  CommonOp();
}
void Rs232DataAsk(scpi_para*, char*) {
  char bits[8];
  for (int i = 0; i < 8; ++i) bits[i] = char((Val(122) >> (7 - i)) & 1);
  ScpiAnswer(BitsText(bits, 8).c_str());
}

void Rs232Width(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const long n = std::strtol(p, nullptr, 10);
  if (n <= 0) return;
  TaskTrigger.SetItem(116, uint64_t(std::max(0L, std::min(n, 8L) - 5)));
  Decode_RS232DataWide(kNoKey);
  CommonOp();
}
void Rs232WidthAsk(scpi_para*, char*) { ScpiAnswerNumber(Val(116) + 5); }

void Rs232Stop(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const long n = std::strtol(p, nullptr, 10);
  if (n != 1 && n != 2) return;
  TaskTrigger.SetItem(118, uint64_t(n - 1));
  CommonOp();
}
void Rs232StopAsk(scpi_para*, char*) { ScpiAnswerNumber(Val(118) + 1); }

// SBUS:MODE: every linked type item, and the type's page when the trigger is shown.
void Mode(scpi_para*, char* p) {
  const int t = ScpiMatch(kBusTypes, p);
  if (t < 0) return;
  for (int i = 0; i < kTrigTypes; ++i) TaskTrigger.SetItem(LinkageItem[i], uint64_t(t));
  if (TaskManage.GetTaskCurrId() == kTaskId && TriggerMenu) TriggerMenu->SetCurrPage(LinkageItem[t]);
  Trigger_TypeSelect(kNoKey);
  CommonOp();
}
void ModeAsk(scpi_para*, char*) {
  const int t = TaskTrigger.Type();
  if (t >= kTrigRs232 && t <= kTrigLin) ScpiAnswer(KeywordOf(kBusTypes, t));
}

void VerPos(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const long v = std::clamp<long>(std::strtol(p, nullptr, 10), -kVerPosMax, kVerPosMax);
  TaskTrigger.SetItem(148, uint16_t(int16_t(v)));
  TaskTrigger.Sys()->runStatus->SetDrawRefresh();
}

void DataAsk(scpi_para*, char*) {
  int length = 0;
  const char* text = Get_decode_data_Info(&length);
  if (text) TaskTrigger.Sys()->scpiEngine->WriteResponseDataRaw(text, length);
}

void I2cAddrSize(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  const long n = std::strtol(p, nullptr, 10);
  if (n != 7 && n != 10) return;
  TaskTrigger.SetItem(135, n == 10 ? 1 : 0);
  Decode_I2C_AddrSet_Mode(kNoKey);
  CommonOp();
}
void I2cAddrSizeAsk(scpi_para*, char*) { ScpiAnswer(Val(135) ? "10" : "7"); }

void I2cAddress(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  if (Off(131)) return void(std::printf("%s", kForbidden));
  const int w = Val(135) == 0 ? 7 : Val(135) == 1 ? 10 : 0;
  char bits[10] = {};
  if (w && !Bits(p, w, false, bits)) return;
  int a = 0;
  for (int i = 0; i < w; ++i) a = a << 1 | bits[i];
  TaskTrigger.SetItem(136, uint64_t(std::min(a, 1023)));
  Decode_I2c_AddrSet_Value(a);
  Decode_I2C_AddrSet_Mode(kNoKey);
  CommonOp();
}
void I2cAddressAsk(scpi_para*, char*) {
  if (Off(131)) return void(std::printf("%s", kForbidden));
  const int w = Val(135) == 0 ? 7 : Val(135) == 1 ? 10 : 0;
  char bits[10];
  for (int i = 0; i < w; ++i) bits[i] = char((Val(136) >> (w - 1 - i)) & 1);
  ScpiAnswer(BitsText(bits, w).c_str());
}

constexpr int kBaudRs232Max = 25000000, kBaudCanMax = 2000000, kBaudLinMax = 100000;
}  // namespace

const instr kTriggerSbusRows[] = {
    {"SBUS:MODE", Mode},
    {"SBUS:MODE?", ModeAsk},
    {"SBUS:DISPlay", SetDisplay<145, kScpiOnOff>},
    {"SBUS:DISPlay?", AskNumber<145>},
    {"SBUS:BASE", SetDisplay<146, kBases>},
    {"SBUS:BASE?", AskKeyword<146, kBases>},
    {"SBUS:EVENt", SetDisplay<147, kScpiOnOff>},
    {"SBUS:EVENt?", AskNumber<147>},
    {"SBUS:VERTical:POSition", VerPos},
    {"SBUS:VERTical:POSition?", AskNumber<148>},
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
    {"SBUS:RS232:DATA", Rs232Data},
    {"SBUS:RS232:DATA?", Rs232DataAsk},
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
    {"SBUS:I2C:ADDRess", I2cAddress},
    {"SBUS:I2C:ADDRess?", I2cAddressAsk},
    {"SBUS:I2C:QUALifier", SetKeyword<130, kI2cWhen, Decode_I2CWhen>},
    {"SBUS:I2C:QUALifier?", AskKeyword<130, kI2cWhen>},
    {"SBUS:SPI:DATA", SetPattern<PatternKind::kSpiData, 177>},
    {"SBUS:SPI:DATA?", AskPattern<PatternKind::kSpiData, 177>},
    {"SBUS:CAN:SIGNal:TYPE", SetKeyword<197, kCanSignal, Decode_CAN_Singal_type>},
    {"SBUS:CAN:SIGNal:TYPE?", AskKeyword<197, kCanSignal>},
    {"SBUS:CAN:BAUDrate", SetBaud<205, 206, CANBaudRate, kCanBauds, kBaudCanMax, Decode_CANBSP>},
    {"SBUS:CAN:BAUDrate?", AskBaud<205, 206, CANBaudRate, kCanBauds>},
    {"SBUS:CAN:SOURce", SetKeyword<196, kSources, Decode_CANSource>},
    {"SBUS:CAN:SOURce?", AskSource<196>},
    {"SBUS:CAN:QUALifier", SetKeyword<200, kCanWhen, Decode_CANWhen>},
    {"SBUS:CAN:QUALifier?", AskKeyword<200, kCanWhen>},
    {"SBUS:CAN:FRAMe:TYPE", SetKeyword<200, kCanFrame, Decode_CANWhen>},
    {"SBUS:CAN:FRAMe:TYPE?", AskKeyword<200, kCanFrame>},
    {"SBUS:CAN:ID", SetPattern<PatternKind::kCanId, 201>},
    {"SBUS:CAN:ID?", AskPattern<PatternKind::kCanId, 201>},
    {"SBUS:CAN:ID:MODE", SetKeyword<210, kCanIdMode, Decode_CANID_Format>},
    {"SBUS:CAN:ID:MODE?", AskKeyword<210, kCanIdMode>},
    {"SBUS:CAN:ID:DIRection", SetKeyword<212, kDirection, Decode_CANID_Direction>},
    {"SBUS:CAN:ID:DIRection?", AskKeyword<212, kDirection>},
    {"SBUS:CAN:DATA", SetPattern<PatternKind::kCanData, 202>},
    {"SBUS:CAN:DATA?", AskPattern<PatternKind::kCanData, 202>},
    {"SBUS:LIN:SOURce", SetKeyword<221, kSources, Decode_LINSource>},
    {"SBUS:LIN:SOURce?", AskSource<221>},
    {"SBUS:LIN:POLarity", SetKeyword<222, kLinPolarity, Decode_LIN_Polariyt_type>},
    {"SBUS:LIN:POLarity?", AskKeyword<222, kLinPolarity>},
    {"SBUS:LIN:VERSion", SetKeyword<225, kLinVersion, Decode_LIN_Version>},
    {"SBUS:LIN:VERSion?", AskKeyword<225, kLinVersion>},
    {"SBUS:LIN:BAUDrate", SetBaud<226, 227, LINBaudRate, kLinBauds, kBaudLinMax, Decode_LINBSP>},
    {"SBUS:LIN:BAUDrate?", AskBaud<226, 227, LINBaudRate, kLinBauds>},
    {"SBUS:LIN:QUALifier", SetKeyword<230, kLinWhen, Decode_LINWhen>},
    {"SBUS:LIN:QUALifier?", AskKeyword<230, kLinWhen>},
    {"SBUS:LIN:ID", SetPattern<PatternKind::kLinId, 231>},
    {"SBUS:LIN:ID?", AskPattern<PatternKind::kLinId, 231>},
    {"SBUS:LIN:DATA", SetPattern<PatternKind::kLinData, 232>},
    {"SBUS:LIN:DATA?", AskPattern<PatternKind::kLinData, 232>},
    {"SBUS:LIN:ERRor:TYPE", SetKeyword<250, kLinError, Decode_LINError_Set>},
    {"SBUS:LIN:ERRor:TYPE?", AskKeyword<250, kLinError>},
    {"", nullptr},
};
