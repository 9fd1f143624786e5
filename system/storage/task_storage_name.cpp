// File names of the storage module: the default names and their running
// number, the name-entry page with its 40-key soft keyboard, the module's
// language file and its own setup block.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <fstream>
#include <string>

#include "core/menu/keypara.h"
#include "core/messages/msg.h"
#include "core/state/setup_block.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "platform/root.h"
#include "system/storage/storage_files.h"
#include "system/storage/task_storage.h"
#include "system/storage/task_storage_internal.h"

namespace storage_module {
Menu& M() { return TaskStorage.TaskMenu; }
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
_SysRunInfoOp& Run() { return TaskStorage.Run(); }
task_manage& Manager() { return TaskStorage.Manager(); }
void Message(int n) {
  if (TaskStorage.Sys().message) TaskStorage.Sys().message->SetMessage(n);
}
void Show() { Manager().AddUserTaskDisplay(kStorageTaskId, 3, 0); }

// Names longer than 8 characters show their first six and "...". The menu
// keeps a pointer to the text, so each item has a text of its own.
void NameText(int item, const char* name, const char* extension) {
  constexpr size_t kShownWhole = 8, kShownCut = 6;
  constexpr int kChars = 32;
  constexpr int kNamedItems[] = {kStoWaveName, kStoSetName, kStoVideoName};
  static uint16_t texts[std::size(kNamedItems)][kChars];
  char text[kChars];
  if (std::strlen(name) > kShownWhole) std::snprintf(text, sizeof text, "%.*s...%s", int(kShownCut), name, extension);
  else std::snprintf(text, sizeof text, "%s%s", name, extension);
  const int* at = std::find(std::begin(kNamedItems), std::end(kNamedItems), item);
  if (at == std::end(kNamedItems)) return;
  uint16_t* wide = texts[at - std::begin(kNamedItems)];
  Menu::MenuAsciiToUnicode(text, wide, kChars);
  M().ReSetMenuString(&TaskStorageMenu, item, wide);
}
}  // namespace storage_module

using namespace storage_module;

namespace {
constexpr int kKeys = 40, kLetters = 26, kDigits = 10;
constexpr int kKeyDelete = 37, kKeyCase = 38, kKeyEnter = 39;  // key 36 types "_"
constexpr int kMsgTooLong = 74, kMsgNoName = 81;
constexpr char kDefault[] = "KOLV";
constexpr char kDefaultName[] = "KOLV001";
constexpr char kCustomerWave[] = "Wave001", kCustomerSet[] = "Set001";
constexpr char kVideoName[] = "Video";
constexpr int kNumberedChars = 4;
constexpr uint8_t kLastNumber = 255;
constexpr long kMaxTextBytes = 1 << 16;

bool Customer() { return Run().GetCustomerFlag() == 1; }
// The name being entered: the waveform's, the setup's or the video's.
int CurrentType() {
  const int type = Item(kStoType);
  return type == kTypeSetup || type == kTypeVideo ? type : kTypeWave;
}
char* NameOf(int type) {
  return type == kTypeSetup ? Storage.setName : type == kTypeVideo ? Storage.videoName : Storage.waveName;
}
const char* ExtensionOf(int type) {
  if (type == kTypeSetup) return ".dat";
  if (type == kTypeVideo) return ".mp4";
  return Item(kStoDisk) == kDiskUsbCsv ? ".csv" : ".wav";
}
int NameItem(int type) { return type == kTypeSetup ? kStoSetName : type == kTypeVideo ? kStoVideoName : kStoWaveName; }

void SetName(int type, const char* name) {
  std::snprintf(NameOf(type), kStorageNameChars + 1, "%s", name);
  NameText(NameItem(type), NameOf(type), ExtensionOf(type));
}

// The knob on Input Name steps the running number of a default name.
void StepNumber(int type, bool up) {
  char* name = NameOf(type);
  if (type == kTypeVideo || std::strncmp(name, kDefault, kNumberedChars) != 0) return;
  uint8_t& n = type == 1 ? Storage.setIndex : Storage.waveIndex;
  if (up) n = n == kLastNumber ? 1 : uint8_t(n + 1);
  else n = n <= 1 ? kLastNumber : uint8_t(n - 1);
  char text[kStorageNameChars + 1];
  std::snprintf(text, sizeof text, "%s%03d", kDefault, n);
  SetName(type, text);
}

void CloseEntry() {
  M().SetCurrPage(Storage.backPage);
  Storage.displayType = kShowNothing;
  Manager().DelUserTaskDisplay(kStorageTaskId);
  Run().ClearFuncBit(kFuncNameEntry);
}

void Type(int key) {
  const size_t len = std::strlen(Storage.inputName);
  if (key == kKeyDelete) {
    if (len > 0) Storage.inputName[len - 1] = 0;
    return;
  }
  if (key == kKeyCase) {
    Storage.upperLower = int16_t(Storage.upperLower ? 0 : 1);
    return;
  }
  if (key == kKeyEnter) {
    Storage_InputSure(keypara{0, 0, 0});
    return;
  }
  char c = key < kLetters ? char((Storage.upperLower ? 'a' : 'A') + key)
           : key < kLetters + kDigits ? char('0' + key - kLetters)
                                      : '_';
  if (len >= size_t(kStorageNameChars)) {
    Message(kMsgTooLong);
    return;
  }
  Storage.inputName[len] = c;
  Storage.inputName[len + 1] = 0;
}
}  // namespace

void StorageNamesInit() {
  Storage.waveIndex = Storage.setIndex = 1;
  SetName(0, Customer() ? kCustomerWave : kDefaultName);
  SetName(1, Customer() ? kCustomerSet : kDefaultName);
  SetName(kTypeVideo, kVideoName);
}

int Storage_InputName(keypara k) {
  const int type = CurrentType();
  if (k.key == kKeySelectRight || k.key == kKeySelectLeft) {
    StepNumber(type, k.key == kKeySelectRight);
    return 0;
  }
  if (k.key == KEY_NO_KEY) return 0;
  std::snprintf(Storage.inputName, sizeof Storage.inputName, "%s", NameOf(type));
  Storage.backPage = int16_t(M().GetCurrPage() * kMenuSlots);
  Storage.keySel = 0;
  Storage.displayType = kShowKeyboard;
  Show();
  Run().SetFuncBit(kFuncNameEntry);
  M().SetCurrPage(kPageInput);
  return 0;
}

int StorageMenuInputName(keypara k) {
  if (k.key == kKeySelectPush)
    Type(Storage.keySel);
  else
    Storage.keySel = int16_t(SoftKeyboardCursor(Storage.keySel, k, kKeys));
  return 0;
}

int Storage_InputDelete(keypara) {
  Type(kKeyDelete);
  return 0;
}

int Storage_InputSure(keypara k) {
  if (!Storage.inputName[0]) {
    Message(kMsgNoName);
    return 0;
  }
  SetName(CurrentType(), Storage.inputName);
  if (k.key != KEY_NO_KEY) CloseEntry();
  return 0;
}

int Storage_InputBack(keypara) {
  CloseEntry();
  return 0;
}

// ---- language file and own block ----

int TaskForStorage::LoadLanguage(int reload) {
  if (reload != 0 && reload != 1) return -1;
  char language[kLanguageText] = {};
  Run().GetLanguageCountry(Run().GetSysRunInfoBaseAddr()->language, language);
  char path[128];
  if (Menu::MenuTextPath(path, sizeof path, language, "Storage") < 0) return -1;
  const int rc = reload == 0 ? TaskMenu.LoadMenu(path, &TaskStorageMenu) : TaskMenu.ReLoadMenu(path, &TaskStorageMenu);
  // The prompt's title and text and the file list's title: the lines after
  // the first three '*' marks.
  struct stat st;
  const std::string host = plat::MapPath(path);
  if (stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxTextBytes) {
    std::ifstream in(host, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint16_t> t;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const uint16_t u = uint16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
      t.push_back(u == '\r' || u == '\n' ? 0 : u);
    }
    t.push_back(0);
    text_.swap(t);
    const uint16_t* found[3] = {};
    int n = 0;
    for (size_t i = 0; i + 1 < text_.size() && n < 3; ++i)
      if (text_[i] == '*' && (i == 0 || text_[i - 1] == 0 || text_[i - 1] == 0xFEFF)) found[n++] = &text_[i + 1];
    promptTitle = found[0];
    promptText = found[1];
    fileListTitle = found[2];
  }
  StorageNamesInit();
  return rc < 0 ? -1 : 0;
}

// The module's own block "TASK-STORAGE": the image of its item values.
int TaskForStorage::Stroage(taskresponse* r) {
  constexpr char kLabel[] = "TASK-STORAGE";
  return RunSetupBlock(
      r, [&](SetupFileRecord* rec) { return SaveMenuBlock(rec, kLabel, TaskMenu, &TaskStorageMenu); },
      [&](SetupFileRecord* rec) {
        if (!LoadMenuBlock(*rec, kLabel, TaskMenu, &TaskStorageMenu)) return false;
        TaskMenu.ClampItems();
        Storage_Type(kNoKey);
        return true;
      },
      [&](SetupFileRecord* rec) { return CheckMenuBlock(*rec, kLabel, &TaskStorageMenu); });
}
