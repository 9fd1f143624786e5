#include "system/storage/storage_setup.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/common/common_subprogram.h"
#include "core/menu/draw_hooks.h"
#include "core/messages/msg.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "system/storage/storage_files.h"
#include "system/storage/task_storage.h"

namespace {
constexpr int kMsgLoading = 9, kMsgSaved = 10, kMsgSaveFailed = 11, kMsgLoaded = 12,
              kMsgLoadFailed = kMsgSetupLoadFailed;
constexpr int kMsgNoUsb = 23;
constexpr int kCrLfBytes = 2;

int Fail(int message) {
  if (SystemResource.message) SystemResource.message->SetMessage(message);
  return -1;
}

struct Block {
  std::string label;
  int bytes;  // label, CR LF, payload, CR LF
};

// One module's turn at the record (key word 131); its status starts at 0.
void AskModule(task* module, SetupFileRecord* rec) {
  taskresponse r{};
  r.key = keypara{KEY_WORD_STORAGE, 1, 0};
  rec->status = 0;
  std::memcpy(r.area, rec, sizeof *rec);
  module->OpResponse(&r);
  std::memcpy(rec, r.area, sizeof *rec);
}

// Sends key word 131 to each module of the setup order in turn; the bytes
// a save wrote, -1 when a module could not write its block. `blocks`
// receives the layout the modules wrote.

int SendSetup(int direction, uint8_t* buffer, int length, std::vector<Block>* blocks) {
  SetupFileRecord rec{0, direction, length, 0, buffer};
  for (const int* id = LoadTaskOrder; *id >= 0; ++id) {
    task* module = TaskManage.FindTaskbyId(*id);
    if (!module) continue;
    const int before = rec.used;
    AskModule(module, &rec);
    if (direction != kSetupSave) continue;
    if (rec.status < 0 || rec.used < before || rec.used > length) return -1;
    if (blocks && rec.used > before) {
      const char* at = reinterpret_cast<const char*>(buffer + before);
      const void* end = std::memchr(at, '\r', size_t(rec.used - before));
      if (end) blocks->push_back({std::string(at, static_cast<const char*>(end)), rec.used - before});
    }
  }
  return direction != kSetupSave || rec.used > 0 ? rec.used : -1;
}

// The status of each module's check, not only the last's.
bool CheckSetup(uint8_t* buffer, int length) {
  SetupFileRecord rec{0, kSetupCheck, length, 0, buffer};
  for (const int* id = LoadTaskOrder; *id >= 0; ++id) {
    task* module = TaskManage.FindTaskbyId(*id);
    if (!module) continue;
    AskModule(module, &rec);
    if (rec.status < 0) {
      std::printf("Setup refused by module %s\n", module->TaskName);
      return false;
    }
  }
  return true;
}

// Every block the instrument writes that the file holds must lie whole in
// it, framed by its CR LFs; at least one must be there.
bool WholeBlocks(const std::vector<uint8_t>& file, const std::vector<Block>& layout) {
  const int length = int(file.size());
  const char* text = reinterpret_cast<const char*>(file.data());
  int found = 0;
  for (const Block& b : layout) {
    const int at = CommonSubProg.ScanMarkLabel(text, b.label.c_str(), length);
    if (at < 0) continue;
    const int label = int(b.label.size());
    if (at + b.bytes > length || std::memcmp(text + at + label, "\r\n", kCrLfBytes) != 0 ||
        std::memcmp(text + at + b.bytes - kCrLfBytes, "\r\n", kCrLfBytes) != 0) {
      std::printf("Setup block %s is cut short or malformed\n", b.label.c_str());
      return false;
    }
    ++found;
  }
  return found > 0;
}

void ShowLoading() {
  msg* m = SystemResource.message;
  if (!m) return;
  m->SetMessage(kMsgLoading);
  msginfo info{};
  if (m->GetMessage(&info) >= 0) Draw().showMessage(&info);
  m->ClearMessage();
}
}  // namespace

bool SetupFileAccepted(uint8_t* buffer, int length) {
  return buffer && length > 0 && CheckSetup(buffer, length);
}

std::vector<uint8_t> TakeSetupImage() {
  std::vector<uint8_t> image(kSetupBufferBytes, 0);
  const int used = SendSetup(kSetupSave, image.data(), kSetupBufferBytes, nullptr);
  image.resize(used > 0 ? size_t(used) : 0);
  return image;
}

void PutBackSetupImage(std::vector<uint8_t>& image) {
  if (image.empty()) return;
  {
    SettingsWaitsGathered whole;
    SendSetup(kSetupLoad, image.data(), int(image.size()), nullptr);
    whole.Settle();
  }
  SendSetup(kSetupFinish, image.data(), int(image.size()), nullptr);
}

int StorageSaveSetFunc(const char* name, int disk) {
  if (disk != kDiskInternal && !StorageUsbIn()) return Fail(kMsgNoUsb);
  const std::string folder = StorageFolder(kStoreSet, disk);
  if (folder.empty() || !name || !StorageNameOk(name)) return Fail(kMsgSaveFailed);
  std::vector<uint8_t> buffer(kSetupBufferBytes, 0);
  const int used = SendSetup(kSetupSave, buffer.data(), kSetupBufferBytes, nullptr);
  if (used <= 0) return Fail(kMsgSaveFailed);
  StorageMakeFolder(folder);
  if (!StorageWriteFile(folder, name, buffer.data(), size_t(used))) return Fail(kMsgSaveFailed);
  SystemResource.message->SetMessage(kMsgSaved);
  return 0;
}

int StorageLoadSetFunc(const char* name, int disk) {
  if (disk != kDiskInternal && !StorageUsbIn()) return Fail(kMsgNoUsb);
  const std::string folder = StorageFolder(kStoreSet, disk);
  std::vector<uint8_t> file;
  if (folder.empty() || !name || !StorageReadFile(folder, name, kSetupBufferBytes, &file)) return Fail(kMsgLoadFailed);
  // The layout the instrument writes now, to check the file's blocks by.
  std::vector<uint8_t> scratch(kSetupBufferBytes, 0);
  std::vector<Block> layout;
  if (SendSetup(kSetupSave, scratch.data(), kSetupBufferBytes, &layout) <= 0 ||
      !WholeBlocks(file, layout) || !CheckSetup(file.data(), int(file.size())))
    return Fail(kMsgLoadFailed);
  ShowLoading();
  SendSetup(kSetupSettle, file.data(), int(file.size()), nullptr);
  {
    // No command comes between the blocks; the board's settle after each
    // setting is waited once, after the last.
    SettingsWaitsGathered whole;
    SendSetup(kSetupLoad, file.data(), int(file.size()), nullptr);
    whole.Settle();
  }
  SendSetup(kSetupFinish, file.data(), int(file.size()), nullptr);
  SystemResource.message->SetMessage(kMsgLoaded);
  // The language the setup brings back reloads every menu's texts, which
  // shows each menu's first page: the storage menu goes back to the page of
  // its Type, so its Save is the one the page names.
  Storage_Type(keypara{KEY_NO_KEY, 0, 0});
  if (SystemResource.runStatus) SystemResource.runStatus->SetDrawRefresh();
  return 0;
}
