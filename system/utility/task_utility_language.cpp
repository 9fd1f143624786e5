// The utility module's texts: the menu and message pack of the current
// language, its dialog texts and device-information labels (the '*'-marked
// lines after the menu pages), and the Language item that switches every
// module's texts.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/board/i2c_storage.h"
#include "core/board/eeprom_map.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "platform/root.h"
#include "remote/web/web_settings_io.h"
#include "system/utility/task_utility.h"
#include "system/utility/task_utility_internal.h"

const uint16_t* Utili_SelfCaliTitle = nullptr;
const uint16_t* Utili_SelfCaliTxt = nullptr;
const uint16_t* Utili_ClearDataTitle = nullptr;
const uint16_t* Utili_ClearDataTxt = nullptr;
const uint16_t* Utili_TimeSetTitle = nullptr;
const uint16_t* Utili_NetworkSetTitle = nullptr;
const uint16_t* Utili_IpAddrTxt = nullptr;
const uint16_t* Utili_NetmaskTxt = nullptr;
const uint16_t* Utili_SysInfo = nullptr;
const uint16_t* Utili_FileSel = nullptr;
const uint16_t* pInfomation[kInfoRows] = {};

namespace {
constexpr uint16_t kInfoMark = '*';
constexpr long kMaxTextBytes = 1 << 20;
constexpr int kSkippedBefore = 4, kSkippedAfter = 2;
constexpr char kWebLanguageFile[] = "WebServer/static/language.json";
constexpr int kChinese = 1;

const uint16_t** const kNamedTexts[] = {&Utili_SelfCaliTitle,  &Utili_SelfCaliTxt,    &Utili_ClearDataTitle,
                                        &Utili_ClearDataTxt,   &Utili_TimeSetTitle,   &Utili_NetworkSetTitle,
                                        &Utili_IpAddrTxt,      &Utili_NetmaskTxt,     &Utili_SysInfo,
                                        &Utili_FileSel};

// The UTF-16LE units after the byte-order mark, ended by a zero unit.
bool ReadUtf16(const char* path, std::vector<uint16_t>* out) {
  const std::string host = plat::MapPath(path);
  struct stat st;
  FILE* f = stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? std::fopen(host.c_str(), "rb") : nullptr;
  if (!f) {
    std::printf("Open %s failed!\n", path);
    return false;
  }
  const long size = long(st.st_size);
  if (size < 2 || size > kMaxTextBytes) {
    std::fclose(f);
    std::printf("Read %s File Error! %d \n", path, int(size));
    return false;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  if (got != bytes.size()) {
    std::printf("Read %s File Error! %d \n", path, int(got));
    return false;
  }
  const size_t units = (bytes.size() - 2) / 2;
  out->assign(units + 1, 0);
  for (size_t i = 0; i < units; ++i) (*out)[i] = uint16_t(bytes[2 + 2 * i] | bytes[3 + 2 * i] << 8);
  return true;
}
}  // namespace

int TaskForUtility::LoadSelfCaliInfo(const char* path) {
  if (!path) {
    std::printf("filename Null ");
    return -1;
  }
  std::vector<uint16_t> block;
  if (!ReadUtf16(path, &block)) return -1;
  const uint16_t* end = block.data() + block.size() - 1;
  const uint16_t* at = block.data();
  const uint16_t* found[10 + kSkippedBefore + kInfoRows + kSkippedAfter] = {};
  int n = 0;
  for (; n < int(sizeof found / sizeof found[0]); ++n) {
    at = Menu::ScanInfoMark(at, end, kInfoMark);
    if (!at) break;
    found[n] = at;
  }
  // The texts stay valid with the block they point into, which now replaces the old one.
  TextBlock = std::move(block);
  int i = 0;
  for (const uint16_t** t : kNamedTexts) *t = found[i++];
  i += kSkippedBefore;
  for (const uint16_t*& label : pInfomation) label = found[i++];
  return n == int(sizeof found / sizeof found[0]) ? 0 : -1;
}

int TaskForUtility::LoadLanguage(int reload) {
  if (reload > 1) return -1;
  _SysRunInfoOp& run = Run();
  int index = run.GetSysRunInfoBaseAddr()->language;
  if (index < 0 || index >= kMenuLanguages) index = 0;
  char language[kMenuLanguageBytes + 1] = {};
  if (run.GetLanguageCountry(index, language) < 0) return -1;
  char path[128];
  if (Menu::MenuTextPath(path, sizeof path, language, "Utility") < 0) return -1;
  std::printf("CurrLanguage = %d  LanguageName = %s \n", index, language);
  char pack[128];
  std::snprintf(pack, sizeof pack, "Data/Message/Message%s.txt", language);
  Sys().message->LoadMsgPack(pack);
  const int rc = reload == 0 ? TaskMenu.LoadMenu(path, &TaskUtilityMenu) : TaskMenu.ReLoadMenu(path, &TaskUtilityMenu);
  const int info = LoadSelfCaliInfo(path);
  return rc < 0 || info < 0 ? -1 : 0;
}

int Utility_Language(keypara key) {
  const int value = UtiTake(key, kUtiLanguage);
  std::printf("Language sel = %d \n", value);
  _SysRunInfoOp& run = TaskUtility.Run();
  run.SetCurrLanguage(value);
  I2C& eeprom = *TaskUtility.Sys().eeprom;
  std::printf("1 I2C_ReadU8(IIC_LANGUAGE) = %d \n", eeprom.I2C_ReadU8(EE_LANGUAGE));
  taskresponse r{};
  r.key = keypara{KEY_WORD_LANGUAGE, 1, 0};
  TaskUtility.Manager().SendKeytoAllTask(&r, nullptr);
  std::printf("2 I2C_ReadU8(IIC_LANGUAGE) = %d \n", eeprom.I2C_ReadU8(EE_LANGUAGE));
  WriteWebSettingsFile(kWebLanguageFile, value == kChinese ? "{\"language\":\"zh\"}" : "{\"language\":\"en\"}");
  std::printf("3 I2C_ReadU8(IIC_LANGUAGE) = %d \n", eeprom.I2C_ReadU8(EE_LANGUAGE));
  run.SetDrawRefresh();
  return 0;
}
