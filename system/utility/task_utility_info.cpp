// The device information and the serial number of the utility module.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "acquisition/models/y_system.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "platform/root.h"
#include "system/utility/task_utility.h"

char SysInformation[kInfoRows][kInfoChars] = {};

namespace {
constexpr char kInfoFile[] = "Data/Information";
constexpr char kSnFile[] = "SN.txt";
constexpr int kFileMax = 8192;
constexpr char kOwnBrand[] = "KOLVET";
constexpr char kEnabled[] = "ENABLE";
const char* const kKeys[kInfoRows] = {"[FACTORY]", "[MODEL]", "[HARDWARE]", "[SOFTWARE]",     "[LOGIC]",
                                      "[DATE]",    "[CHANNEL]", "[PROTOCOL]", "[TYPE]",        "[CODE]",
                                      "[BANDWIDTH]", "[SAMPLE]", "[SALE]",    "[SERIAL]",      "[MANUFACTURER]",
                                      "[WEB]",     "[WEB_NAME]", "[DEF]",     "[CH500uV]"};

bool ReadText(const char* path, std::string* text) {
  FILE* f = std::fopen(plat::MapPath(path).c_str(), "rb");
  if (!f) {
    std::printf("Open %s failed!\n", path);
    return false;
  }
  char buf[kFileMax];
  const size_t n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  text->assign(buf, n);
  return true;
}

// The value after `key`: from the first blank to the end of the line, cut to a row.
bool Value(const std::string& text, const char* key, char* row) {
  const size_t at = text.find(key);
  if (at == std::string::npos) return false;
  size_t from = at + std::strlen(key);
  while (from < text.size() && (text[from] == ' ' || text[from] == '\t')) ++from;
  size_t end = text.find_first_of("\r\n", from);
  if (end == std::string::npos) end = text.size();
  const size_t n = std::min(end - from, size_t(kInfoChars - 1));
  std::memcpy(row, text.data() + from, n);
  row[n] = '\0';
  return true;
}
}  // namespace

int TaskForUtility::LoadSysInformation() {
  std::string text;
  if (!ReadText(kInfoFile, &text)) return -1;
  for (int i = 0; i < kInfoRows; ++i) {
    if (i == kInfoLogic || i == kInfoSerial) continue;
    if (!Value(text, kKeys[i], SysInformation[i])) {
      SysInformation[i][0] = '\0';
      std::printf("%s file is Error!   %s \n", kInfoFile, kKeys[i]);
    }
  }
  std::snprintf(SysInformation[kInfoLogic], kInfoChars, "%d. %d. %d. %d", (LogicMVer >> 8) & 0xFF, LogicMVer & 0xFF,
                (LogicSVer >> 8) & 0xFF, LogicSVer & 0xFF);
  const int oem = std::strcmp(SysInformation[kInfoFactory], kOwnBrand) == 0 ? 1 : 0;
  Run().Set_OEM(oem);
  Run().SetCustomerFlag(1 - oem);
  if (std::strcmp(SysInformation[kInfoCh500uV], kEnabled) == 0 && Sys().vertical) Sys().vertical->Ch500uVEnable();
  return 0;
}

int TaskForUtility::GetSerialNumber() {
  std::string text;
  if (!ReadText(kSnFile, &text)) return -1;
  if (!Value(text, kKeys[kInfoSerial], SysInformation[kInfoSerial])) {
    std::printf("@@%s file is Error!   %s \n", kSnFile, kKeys[kInfoSerial]);
    return -1;
  }
  return 0;
}

int TaskForUtility::isSerialNumberFileExist() {
  FILE* f = std::fopen(plat::MapPath(kSnFile).c_str(), "rb");
  std::printf(f ? "** file %s exist ** \n" : "** file %s not exist ** \n", kSnFile);
  if (!f) return -1;
  std::fclose(f);
  return 0;
}

// A serial number is printable characters without blanks: nothing that could
// end its line or start another key in the file.
int TaskForUtility::SetSerialNumber(const char* text, int length) {
  if (!text || length <= 0 || length >= kInfoChars) return -1;
  for (int i = 0; i < length; ++i)
    if (text[i] <= ' ' || text[i] > '~') return -1;
  std::printf("** sn file is not exist, create one ** ");
  FILE* f = std::fopen(plat::MapPath(kSnFile).c_str(), "wb");
  if (!f) return -1;
  const int ok = std::fprintf(f, "[SERIAL] %.*s\n", length, text) > 0;
  return std::fclose(f) == 0 && ok ? 0 : -1;
}
