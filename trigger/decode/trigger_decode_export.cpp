// Exports of the decoded entries: the CSV file on the USB disk and the text
// of SBUS:DATA?; and the focused row of the event lists.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "acquisition/engine/wave.h"
#include "core/messages/msg.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "platform/clock.h"
#include "platform/devices/disk.h"
#include "platform/root.h"
#include "platform/shell.h"
#include "trigger/decode/bus_decode.h"
#include "trigger/decode/bus_decode_export.h"
#include "trigger/analog/task_trigger.h"

namespace {
constexpr char kUdisk[] = "/udisk/";
constexpr char kDecodeDir[] = "/udisk/Storage/Decode";
constexpr int kBaseHex = 0, kBaseDec = 1, kBaseBin = 2;
constexpr int kRs232WidthOffset = 5, kByteBits = 8;
constexpr int kTextBytes = 2 * 1024 * 1024;
constexpr int kWaitTries = 5, kWaitMs = 10;
constexpr int kKeyDown = 76, kKeyUp = 77;
enum Msg { kMsgSaved = 10, kMsgFailed = 11, kMsgNoUsb = 23, kMsgEmpty = 32 };

const char* const kBusNames[] = {"RS232", "I2C", "SPI", "CAN", "LIN"};

struct ControlName {
  uint8_t code;
  char name[4];
};
const ControlName gSpecialAscII[] = {
    {1, "SOH"},  {2, "STX"},  {3, "ETX"},  {4, "EOT"},  {5, "ENQ"},  {6, "ACK"},  {7, "BEL"},  {8, "BS"},
    {9, "HT"},   {10, "LF"},  {11, "VT"},  {12, "FF"},  {13, "CR"},  {14, "SO"},  {15, "SI"},  {16, "DLE"},
    {17, "DC1"}, {18, "DC2"}, {19, "DC3"}, {20, "DC4"}, {21, "NAK"}, {22, "SYN"}, {23, "ETB"}, {24, "CAN"},
    {25, "EM"},  {26, "SUB"}, {27, "ESC"}, {28, "FS"},  {29, "GS"},  {30, "RS"},  {31, "US"},  {127, "DEL"},
};

const char* BusName(int type) {
  return type >= kTrigRs232 && type <= kTrigLin ? kBusNames[type - kTrigRs232] : nullptr;
}

int Bits(int type) {
  return type == kTrigRs232 ? int(TaskTrigger.Item(kTiDataWidth) & 0xFFFF) + kRs232WidthOffset : kByteBits;
}

void Message(int n) { TaskTrigger.Sys()->message->SetMessage(n); }

bool IsDir(const std::string& host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

char gText[kTextBytes];
int16_t fouce_item = 0;
}  // namespace

void DecodeTimeText(int64_t t, char* out, int size) {
  if (t > 1000000000) std::snprintf(out, size_t(size), "%3.1fs", double(t) / 1e9);
  else if (t > 1000000) std::snprintf(out, size_t(size), "%3.1fms", double(t) / 1e6);
  else if (t > 1000) std::snprintf(out, size_t(size), "%3.1fus", double(t) / 1000);
  else std::snprintf(out, size_t(size), "%dns", int(t));
}

void DecodeValueText(uint32_t v, int base, int bits, bool hexPrefix, char* out, int size) {
  if (base == kBaseHex) {
    std::snprintf(out, size_t(size), hexPrefix ? "0x%X" : "%X", v);
  } else if (base == kBaseDec) {
    std::snprintf(out, size_t(size), "%d", int(v));
  } else if (base == kBaseBin) {
    int n = 0;
    for (int b = bits - 1; b >= 0 && n < size - 1; --b) out[n++] = char('0' + ((v >> b) & 1));
    out[n] = 0;
  } else if (v >= 128) {
    std::snprintf(out, size_t(size), "*");
  } else {
    std::snprintf(out, size_t(size), "%c", char(v));
    for (const ControlName& c : gSpecialAscII)
      if (c.code == v) std::snprintf(out, size_t(size), "%s", c.name);
  }
}

const char* Get_decode_data_Info(int* length) {
  for (int i = 0; i < kWaitTries; ++i) {
    {
      std::lock_guard<std::mutex> lock(DecodeTablesLock());
      if (DecodeRowsInForce(Decode_data_num, kDecodeEntries) > 0) break;
    }
    SettingsWaitMs(kWaitMs);  // the main loop's pass that decodes needs the settings lock
  }
  std::lock_guard<std::mutex> lock(DecodeTablesLock());
  const int n = DecodeRowsInForce(Decode_data_num, kDecodeEntries);
  if (n == 0) return nullptr;
  const int type = TaskTrigger.Type();
  const int base = int(TaskTrigger.Item(kTiBusBase) & 0xFFFF), bits = Bits(type);
  int used = 0;
  auto put = [&used](const char* s) {
    const int len = int(std::strlen(s));
    if (used + len >= kTextBytes) return false;
    std::memcpy(gText + used, s, size_t(len));
    used += len;
    return true;
  };
  if (const char* name = BusName(type)) put(name), put("\n");
  put("TIME,DATA,CHECK\n");
  const DecodeWindow window = DecodeWindowInForce();
  for (int i = 0; i < n; ++i) {
    const DecodeEntry& e = Decode_data_info[i];
    int64_t start = 0;
    if (!DecodeShown(window, e, &start)) continue;
    char time[32], value[48], row[128];
    DecodeTimeText(start, time, sizeof time);
    DecodeValueText(e.data, base, bits, false, value, sizeof value);
    std::snprintf(row, sizeof row, "%s,%s,%d\n", time, value, e.event);
    if (!put(row)) break;
  }
  gText[used] = 0;
  if (length) *length = used;
  return gText;
}

int decodeSaveSetFunc() {
  _SysResource* sys = TaskTrigger.Sys();
  if (!sys->runStatus->GetUsbInsertStatus()) return Message(kMsgNoUsb), -1;
  const std::string path = std::string(kDecodeDir) + "/" + Decode_Name + ".csv";
  std::string text;
  const int type = TaskTrigger.Type();
  if (const char* name = BusName(type)) text += std::string("Decode:") + name + "\n";
  text += "time,data\n";
  {
    std::lock_guard<std::mutex> lock(DecodeTablesLock());
    const int n = DecodeRowsInForce(Decode_data_num, kDecodeEntries);
    const DecodeWindow window = DecodeWindowInForce();
    for (int i = 0; i < n; ++i) {
      int64_t start = 0;
      if (!DecodeShown(window, Decode_data_info[i], &start)) continue;
      char time[32], row[64];
      DecodeTimeText(start, time, sizeof time);
      std::snprintf(row, sizeof row, "%s,%d\n", time, int(Decode_data_info[i].data));
      text += row;
    }
  }
  // A failed write leaves the old file as it was.
  if (!plat::DiskWriteWhole(plat::MapPath(path), text.data(), text.size())) return Message(kMsgFailed), -1;
  plat::ShellSystem("sync");
  Message(kMsgSaved);
  return 0;
}

int Save_decode_data(int16_t) {
  {
    std::lock_guard<std::mutex> lock(DecodeTablesLock());
    if (DecodeRowsInForce(Decode_data_num, kDecodeEntries) <= 0) return Message(kMsgEmpty), -1;
  }
  if (!IsDir(plat::MapPath(kUdisk))) {
    std::printf("can't open %s\n", kUdisk);
    return Message(kMsgNoUsb), -1;
  }
  if (!IsDir(plat::MapPath(kDecodeDir))) plat::ShellSystem("mkdir -p /udisk/Storage/Decode");
  struct stat st;
  const std::string file = plat::MapPath(std::string(kDecodeDir) + "/" + Decode_Name + ".csv");
  if (stat(file.c_str(), &st) == 0) {
    if (TriggerMenu) TriggerMenu->SetCurrPage(190);
    Decode_DisplayType = kDecodePopOverwrite;
    return 0;
  }
  return decodeSaveSetFunc();
}

int TaskForTrigger::Adj_event_fouce_item(short key) {
  int rows;
  {
    std::lock_guard<std::mutex> lock(DecodeTablesLock());
    const int t = Type();
    rows = t == kTrigLin   ? DecodeRowsInForce(lin_num, kFrameRowsUsed)
           : t == kTrigCan ? DecodeRowsInForce(can_num, kFrameRowsUsed)
                           : DecodeRowsInForce(Decode_data_num, kDecodeEntries);
  }
  if (rows <= 0) return -1;
  if (key == kKeyDown && fouce_item < rows - 1) ++fouce_item;
  if (key == kKeyUp && fouce_item > 0) --fouce_item;
  if (Sys()->wave) Sys()->wave->SetDecodeFocusItem(fouce_item);
  return fouce_item;
}
