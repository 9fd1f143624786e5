// The storage module's menu: the waveform, setup, reference and screenshot
// pages, the overwrite prompt and the file chooser, their handlers, the
// module's language file and its own setup block.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "acquisition/models/y_system.h"
#include "core/board/eeprom_map.h"
#include "core/menu/menu_def.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "system/storage/storage_files.h"
#include "system/storage/storage_setup.h"
#include "system/storage/storage_wave.h"
#include "system/storage/task_storage.h"
#include "system/storage/task_storage_internal.h"

using namespace storage_module;

namespace {
constexpr uint32_t kNamed = kMenuText | MENU_ATTR_FOCUS;  // its text set by the module; the knob steps its number
constexpr uint32_t kKnobFrame = kMenuKnobInt | MENU_ATTR_KEYPAD;  // knob, or typed on the number pad
constexpr uint32_t kShownText = MENU_ATTR_SHOWN | MENU_ATTR_FIRST_TEXT | MENU_ATTR_VALUE | MENU_ATTR_FOCUS;
constexpr int kTypes = 5;
constexpr int kTypePages[kTypes] = {kPageWave, kPageSet, kPageRef, kPagePrint, kPageVideo};
constexpr int kVideoTimeDefault = 60;
constexpr int kFrameMax = 0xFFFF;  // the frame items hold 16 bits
constexpr int kMsgXY = 17, kMsgFft = 19, kMsgRoll = 83, kMsgNoName = 81, kMsgChannelOff = 73, kMsgEmptyList = 82;
constexpr uint16_t kPrintScreenKey = 55;
constexpr uint16_t kAssistKey = 1;

const MenuItemDef kItems[] = {
    {kStoType, "Type", kMenuChoice, kTypes, Storage_Type, MenuChoices()},
    {kStoSource, "Source", kMenuChoice, 2, Storage_Source, MenuChoices()},
    {kStoDisk, "Disk", kMenuChoice, 3, Storage_Disk, MenuChoices()},
    {kStoWaveName, "Input Name", kNamed, 1, Storage_InputName},
    {kStoSaveWave, "Save", kMenuAction, 1, Storage_SaveWave},
    {kStoTypeSet, "Type", kMenuChoice, kTypes, Storage_Type, MenuChoices()},
    {kStoDiskSet, "Disk", kMenuChoice, 2, Storage_Disk, MenuChoices()},
    {kStoSetName, "Input Name", kNamed, 1, Storage_InputName},
    {kStoSaveSet, "Save", kMenuAction, 1, Storage_SaveSet},
    {kStoLoadSet, "Load", kMenuAction, 1, Storage_LoadSet},
    {kStoTypeRef, "Type", kMenuChoice, kTypes, Storage_Type, MenuChoices()},
    {kStoRefSel, "Ref Sel", kMenuChoice, 2, Storage_RefSel, MenuChoices()},
    {kStoDiskRef, "Disk", kMenuChoice, 2, Storage_Disk, MenuChoices()},
    {kStoLoadRef, "Load", kMenuAction, 1, Storage_LoadWave},
    {kStoClearRef, "Clear", kMenuAction, 1, Storage_ClearWave},
    {kStoTypePrt, "Type", kMenuChoice, kTypes, Storage_Type, MenuChoices()},
    {kStoPrtFormat, "Fomat", kMenuChoice, 2, Storage_PrintScreen_Format, MenuChoices()},
    {kStoPrtView, "Print View", kMenuJump, 1, Storage_PrintScreen_View},
    {kStoPrtSave, "Save", kMenuAction, 1, Storage_PrintScreen_Save},
    {kStoView, "View", kMenuChoice, 2, Storage_PrintScreen_ViewOnOff, MenuChoices(), MenuStore::kNotStored},
    {kStoViewNext, "View Next", kMenuAction | MENU_ATTR_HIDDEN, 1, Storage_PrintScreen_ViewNext},
    {kStoViewPrevious, "View Previous", kMenuAction | MENU_ATTR_HIDDEN, 1, Storage_PrintScreen_ViewPrevious},
    {kStoViewBack, "Back", kMenuAction, 1, Storage_PrintScreen_Back},
    {kStoTypeVideo, "Type", kMenuChoice, kTypes, Storage_Type, MenuChoices()},
    {kStoFrameS, "Frame/s", kMenuKnobInt | MENU_ATTR_FOCUS_FIRST, 1, Storage_RecVideo_FrameS,
     MenuLimits(kVideoFpsDefault, kVideoFpsMin, kVideoFpsMax), MenuStore::kNotStored},
    {kStoStartFrame, "StartFrame", kKnobFrame, 1, Storage_RecVideo_StartFrame, MenuLimits(1, 1, kFrameMax),
     MenuStore::kNotStored},
    {kStoEndFrame, "EndFrame", kKnobFrame, 1, Storage_RecVideo_EndFrame, MenuLimits(1, 1, kFrameMax),
     MenuStore::kNotStored},
    {kStoVideoNext, "Next", kMenuAction, 1, Storage_RecVideo_Next},
    {kStoVideoName, "Input Name", kNamed, 1, Storage_InputName},
    {kStoVideoSave, "Save", kMenuAction, 1, Storage_RecVideo_Save},
    {kStoVideoCancel, "Cancel", kMenuAction, 1, Storage_RecVideo_Cancel},
    {kStoVideoTime, "VideoTime", kShownText, 1, Storage_VideoTime, MenuLimits(kVideoTimeDefault, 1, kFrameMax),
     MenuStore::kNotStored},
    {kStoVideoBack, "Back", kMenuAction, 1, Storage_RecVideo_Back},
    {kStoInputDelete, "Delete", kMenuAction, 1, Storage_InputDelete},
    {kStoInputSure, "Sure", kMenuAction, 1, Storage_InputSure},
    {kStoInputBack, "Back", kMenuAction, 1, Storage_InputBack},
    {kStoCancel, "Cancel", kMenuAction, 1, Storage_Cancel},
    {kStoOverlay, "Overlay", kMenuAction, 1, Storage_Overlay},
    {kStoLoadSure, "Sure", kMenuAction, 1, Storage_LoadSure},
    {kStoLoadBack, "Back", kMenuAction, 1, Storage_LoadBack},
};
struct PageRow {
  int first;
  const char* name;
  MenuHandler handler;
};
const PageRow kPages[] = {
    {kPageWave, "Storage Wave", StorageMenuOp}, {kPageSet, "Storage Set", StorageMenuOp},
    {kPageRef, "Storage Ref", StorageMenuOp},   {kPagePrint, "PrintScreen", StorageMenuOp},
    {kPageView, "PrintScreen", StorageMenuOp},  {kPageVideo, "Rec Video", StorageMenuOp},
    {kPageVideo2, "Rec Video", StorageMenuOp},
    {kPageInput, "Storage Input", StorageMenuInputName}, {kPagePrompt, "Storage Save", StorageMenuOp},
    {kPageLoad, "Storage Load", StorageMenuLoad},
};

menu BuildMenu() {
  menu m;
  std::snprintf(m.name, sizeof m.name, "%s", "Storage");
  for (const PageRow& p : kPages)
    DefineMenuPage(&m, p.first / kMenuSlots, p.name, uint32_t(kStorageTaskId) << 8 | uint32_t(p.first), p.handler);
  DefineMenuItems(&m, kEeStorage, kItems);
  return m;
}

std::string FileName(int type) {
  const char* name = type == 1 ? Storage.setName : Storage.waveName;
  const char* ext = type == 1 ? ".dat" : Item(kStoDisk) == kDiskUsbCsv ? ".csv" : ".wav";
  return std::string(name) + ext;
}

bool Listed(const _Filelist& list, const std::string& name) {
  for (int i = 0; i < list.count; ++i)
    if (name == list.name[i]) return true;
  return false;
}

// The overwrite prompt, over the page the save came from.
void Prompt(bool wave) {
  Storage.backPage = int16_t(M().GetCurrPage() * kMenuSlots);
  Storage.displayType = kShowPrompt;
  TaskStorage.SetPromptFlag(wave ? 1 : 0);
  Show();
  M().SetCurrPage(kPagePrompt);
}

// Saves, or opens the prompt (from a key) when the file is there already.
int Save(int type, keypara k) {
  const int disk = type == 1 ? Item(kStoDiskSet) : Item(kStoDisk);
  const std::string name = FileName(type);
  const std::string folder = StorageFolder(type == 1 ? kStoreSet : kStoreWave, disk);
  _Filelist& list = type == 1 ? SetFileList : WaveFileList;
  CommonSubProg.ReadFileList(folder.c_str(), type == 1 ? ".dat" : name.substr(name.size() - 4).c_str(), &list, 1);
  if (Listed(list, name)) {
    if (k.key != KEY_NO_KEY) Prompt(type != 1);
    return 0;
  }
  return type == 1 ? StorageSaveSetFunc(name.c_str(), disk) : StorageSaveWaveFunc(name.c_str(), Item(kStoSource), disk);
}

// Back from a sub-page to the page it was opened from, its overlay gone.
void Return() {
  M().SetCurrPage(Storage.backPage);
  Storage.displayType = kShowNothing;
  Manager().DelUserTaskDisplay(kStorageTaskId);
}

// Opens the file chooser on the files of `folder` with `ext`.
void Choose(const std::string& folder, const char* ext, _Filelist* list) {
  CommonSubProg.ReadFileList(folder.c_str(), ext, list, 1);
  list->aux[0] = 0;
  Storage.backPage = int16_t(M().GetCurrPage() * kMenuSlots);
  Storage.displayType = kShowFiles;
  Show();
  M().SetCurrPage(kPageLoad);
}

int Refuse(int message) {
  Message(message);
  return 0;
}
bool XYRefused() { return Run().GetDiplayFormat() == 1 && (Refuse(kMsgXY), true); }
}  // namespace

menu TaskStorageMenu = BuildMenu();

void Storage_MenuInit() {
  for (int n : {kStoSource, kStoDisk, kStoDiskSet, kStoDiskRef, kStoRefSel}) M().SetMenuItem(n, 0);
  M().SetMenuItem(kStoFrameS, kVideoFpsDefault);
  M().SetMenuItem(kStoVideoTime, kVideoTimeDefault);
  M().SetMenuItem(kStoStartFrame, 1);
  M().SetMenuItem(kStoEndFrame, 1);
  Storage.minVideoTime = Storage.maxVideoTime = kVideoTimeDefault;
  Storage.recSaveFlag = 0;
  Storage_VideoTime(kNoKey);
  const int type = Item(kStoType) < kTypeVideo ? Item(kStoType) : kTypeWave;
  for (int n : kTypeItems) {
    M().SetMenuItem(n, uint64_t(type));
    M().SetItemParaAttribute(n, kHideRecVideo);  // no recorded frames to make a video of
  }
  Storage_RefSel(kNoKey);
  Storage_Source(kNoKey);
}

int Storage_Type(keypara k) {
  StorageRecVideoRefresh();
  const int page = M().GetCurrPage() * kMenuSlots;
  const int n = std::find(std::begin(kTypeItems), std::end(kTypeItems), page) != std::end(kTypeItems) ? page : kStoType;
  int type = M().AdjMenuItemPara(k, n);
  if (type == kTypeVideo && !(Run().GetFuncBits() & kFuncRecorded)) type = kTypeWave;  // nothing recorded
  for (int t : kTypeItems) M().SetMenuItem(t, uint64_t(type));
  if (!M().MenuItemIsPop(n) && type >= 0 && type < kTypes) M().SetCurrPage(kTypePages[type]);
  return 0;
}

int Storage_Source(keypara k) {
  M().AdjMenuItemPara(k, kStoSource);
  return 0;
}

int Storage_Disk(keypara k) {
  const int page = M().GetCurrPage() * kMenuSlots;
  const int n = page == kPageSet ? kStoDiskSet : page == kPageRef ? kStoDiskRef : kStoDisk;
  if (M().AdjMenuItemPara(k, n) != kDiskInternal && !StorageUsbIn()) {
    M().SetMenuItem(n, kDiskInternal);
    Message(kMsgNoUsb);
  }
  return 0;
}

int Storage_SaveWave(keypara k) {
  if (Run().GetAcquireStatus(0) == kAcqSlowScan) return Refuse(kMsgRoll);
  if (XYRefused()) return 0;
  if (Item(kStoDisk) != kDiskInternal && !StorageUsbIn()) {
    M().SetMenuItem(kStoDisk, kDiskInternal);
    return Refuse(kMsgNoUsb);
  }
  if (!Storage.waveName[0]) return Refuse(kMsgNoName);
  if (!(Run().GetChStatus() >> Item(kStoSource) & 1)) return Refuse(kMsgChannelOff);
  return Save(0, k);
}

int Storage_SaveSet(keypara k) {
  if (Item(kStoDiskSet) != kDiskInternal && !StorageUsbIn()) {
    M().SetMenuItem(kStoDiskSet, kDiskInternal);
    return Refuse(kMsgNoUsb);
  }
  if (!Storage.setName[0]) return Refuse(kMsgNoName);
  return Save(1, k);
}

int Storage_LoadSet(keypara) {
  Choose(StorageFolder(kStoreSet, Item(kStoDiskSet)), ".dat", &SetFileList);
  return 0;
}

int Storage_LoadWave(keypara) {
  if (XYRefused()) return 0;
  if ((Run().GetFuncBits() & kFuncFft) && (Run().GetChStatus() & kChMathShown)) return Refuse(kMsgFft);
  Choose(StorageFolder(kStoreWave, Item(kStoDiskRef)), ".wav", &WaveFileList);
  return 0;
}

int Storage_RefSel(keypara k) {
  const int ref = M().AdjMenuItemPara(k, kStoRefSel);
  if (ref == 0 || ref == 1) {
    const int slot = kRefA + ref;
    if (Run().GetChStatus() >> slot & 1) SystemResource.vertical->SetChOnOff(slot, 1);
  }
  return 0;
}

int Storage_ClearWave(keypara) {
  if (XYRefused()) return 0;
  SystemResource.vertical->SetChOnOff(kRefA + (Item(kStoRefSel) ? 1 : 0), 0);
  Run().SetDrawRefresh();
  return 0;
}

int Storage_PrintScreen_Format(keypara k) {
  Run().SetPrintScreenFormat(M().AdjMenuItemPara(k, kStoPrtFormat));
  return 0;
}

// The screenshot is the system module's: it runs the print-screen key.
int Storage_PrintScreen_Save(keypara) {
  taskresponse request{}, reply{};
  request.request = kAssistKey;
  request.key = keypara{kPrintScreenKey, 1, 0};
  return Manager().RequestTaskAssist(kTaskSystem, &request, &reply);
}

int Storage_Cancel(keypara) {
  TaskStorage.SetPromptFlag(0);
  Return();
  return 0;
}

int Storage_Overlay(keypara) {
  const int type = Item(kStoType);
  const std::string name = FileName(type);
  if (type == 1) StorageSaveSetFunc(name.c_str(), Item(kStoDiskSet));
  else StorageSaveWaveFunc(name.c_str(), Item(kStoSource), Item(kStoDisk));
  return Storage_Cancel(kNoKey);
}

int Storage_LoadSure(keypara k) {
  if (k.key == kKeyConfirmNow) return StorageLoadSetFunc(Storage.loadFileName, Storage.scpiDisk);
  const int type = Item(kStoType);
  _Filelist& list = type == 1 ? SetFileList : WaveFileList;
  if (list.count <= 0) return Refuse(kMsgEmptyList);
  const int chosen = std::clamp(list.aux[0], 0, list.count - 1);
  std::snprintf(Storage.loadFileName, sizeof Storage.loadFileName, "%s", list.name[chosen]);
  Return();
  if (type == 1) return StorageLoadSetFunc(Storage.loadFileName, Item(kStoDiskSet));
  return StorageLoadWaveFunc(Storage.loadFileName, Item(kStoRefSel), Item(kStoDiskRef));
}

int Storage_LoadBack(keypara) {
  Return();
  return 0;
}

// The file chooser: the knob moves through the list (wrapping), the push loads.
int StorageMenuLoad(keypara k) {
  _Filelist& list = Item(kStoType) == 1 ? SetFileList : WaveFileList;
  if (k.key == kKeySelectPush) return Storage_LoadSure(k);
  if ((k.key != kKeySelectRight && k.key != kKeySelectLeft) || list.count <= 0) return 0;
  const int step = k.key == kKeySelectRight ? -1 : 1;
  list.aux[0] = (list.aux[0] + step + list.count) % list.count;
  return 0;
}

// The STORAGE key on the module's pages: the module current and shown on
// top, its Type page again; with a reference shown, its page on that
// reference (the other one when the selected one is off).
int StorageMenuOp(keypara k) {
  if (k.key != kKeyStorage) return 0;
  Manager().ActiveTask(kStorageTaskId, -1);
  if (Manager().FindUserTaskDisplay(kStorageTaskId) == TASK_LISTED) Manager().SetUserTaskTopDiplay(kStorageTaskId);
  Storage_Type(kNoKey);
  const int shown = Run().GetChStatus() >> kRefA & 3;
  if (!shown) return 0;
  int ref = Item(kStoRefSel) ? 1 : 0;
  if (!(shown >> ref & 1)) ref ^= 1;
  M().SetMenuItem(kStoRefSel, uint64_t(ref));
  Run().SetActivCh(kRefA + ref);
  for (int n : kTypeItems) M().SetMenuItem(n, kTypeRef);
  Storage_Type(kNoKey);
  return 0;
}
