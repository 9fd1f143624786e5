// The storage module's SCPI commands: the STORAGE key and its lock, the
// type, source and disk of the pages, saving and loading from the menu,
// the references, FILE:SAVE and FILE:LOAD by file name, and selecting a
// reference. File names from a client are plain names in their folder:
// anything else is refused before a path is built.
#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/state/ids.h"
#include "core/messages/mymutex.h"
#include "core/input/rs232.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "remote/scpi/scpi_kit.h"
#include "remote/scpi/scpi_thread.h"
#include "system/storage/storage_files.h"
#include "system/storage/storage_setup.h"
#include "system/storage/storage_wave.h"
#include "system/storage/task_storage.h"
#include "system/storage/task_storage_internal.h"

using namespace storage_module;

namespace {
// A deep CSV's line writing, kept by the save for the worker to hand on.
std::function<void()>& CsvTail() {
  thread_local std::function<void()> tail;
  return tail;
}

bool KeepCsvTail(std::function<void()>&& job) {
  CsvTail() = std::move(job);
  return true;
}

constexpr int kFieldMax = 11;
constexpr int kSelectWaitMs = 20;
constexpr int kMsgXY = 17, kMsgNotRecorded = 75;

const scpipara kTypes[] = {{"WAVE", 0}, {"SETUP", 1}, {"REF", 2}, {"", -1}};
const scpipara kSources[] = {{"CHANnel1", 0}, {"CHANnel2", 1}, {"0", 0}, {"1", 1}, {"", -1}};
const scpipara kDisks[] = {{"FLASH", 0}, {"UDISK", 1}, {"0", 0}, {"1", 1}, {"", -1}};
const scpipara kSaveExtensions[] = {{"wav", 0}, {"csv", 1}, {"dat", 2}, {"mp4", 3}, {"", -1}};
const scpipara kFileDisks[] = {{"FLASH", 0}, {"UDISK", 1}, {"", -1}};
const scpipara kLoadExtensions[] = {{"wave", 0}, {"dat", 1}, {"", -1}};
const scpipara kRefs[] = {{"REFA", 0}, {"REFB", 1}, {"", -1}};
const char* const kTypeTexts[] = {"WAVE", "SETUP", "REF"};
const char* const kSourceTexts[] = {"CHANnel1", "CHANnel2"};
const char* const kDiskTexts[] = {"FLASH", "UDISK"};

using StorageKeys = ScpiKeyTrio<kKeyStorage, kKeyStorage>;

void Redraw() { Run().SetDrawRefresh(); }
int Page() { return M().GetCurrPage() * kMenuSlots; }

void SetItemAndRun(int item, int value, int (*handler)(keypara)) {
  M().SetMenuItem(item, uint64_t(value));
  handler(kNoKey);
}

// The item of the page a command needs when that page is shown; -1, the
// command refused, on another page.
int OnPage(int page, int item) { return Page() == page ? item : ScpiRefuse(); }

// ---- menu commands ----

void Type(scpi_para*, char* p) {
  const int v = ScpiKeyword(kTypes, p);
  if (v < 0) return;
  // Every page's Type item: the item of the page shown is the one re-applied.
  for (int n : kTypeItems) M().SetMenuItem(n, uint64_t(v));
  Storage_Type(kNoKey);
  Redraw();
}

void TypeAsk(scpi_para*, char*) {
  const int v = Item(kStoType);
  if (v >= 0 && v < 3) ScpiAnswer(kTypeTexts[v]);
}

void Source(scpi_para*, char* p) {
  const int v = ScpiKeyword(kSources, p);
  if (v >= 0) SetItemAndRun(kStoSource, v, Storage_Source);
  Redraw();
}

void SourceAsk(scpi_para*, char*) { ScpiAnswer(kSourceTexts[Item(kStoSource) ? 1 : 0]); }

void CsvStart(scpi_para*, char*) {
  if (OnPage(kPageWave, kStoDisk) >= 0) M().SetMenuItem(kStoDisk, kDiskUsbCsv);
  Redraw();
}

void Save(scpi_para*, char*) {
  if (Page() == kPageWave)
    Storage_SaveWave(kNoKey);
  else if (OnPage(kPageSet, 0) >= 0)
    Storage_SaveSet(kNoKey);
  Redraw();
}

void Load(scpi_para*, char*) {
  if (OnPage(kPageSet, 0) >= 0) Storage_LoadSet(kNoKey);
  Redraw();
}

// The Disk item of the shown page (`ref`: the reference page's); -1, the
// command refused, on a page without it.
template <bool Ref>
int DiskItem() {
  if (Ref) return OnPage(kPageRef, kStoDiskRef);
  return Page() == kPageSet ? kStoDiskSet : OnPage(kPageWave, kStoDisk);
}

template <bool Ref>
void Disk(scpi_para*, char* p) {
  const int v = ScpiKeyword(kDisks, p);
  if (v >= 0) {
    const int item = DiskItem<Ref>();
    if (item >= 0) SetItemAndRun(item, v, Storage_Disk);
  }
  Redraw();
}

template <bool Ref>
void DiskAsk(scpi_para*, char*) {
  const int item = DiskItem<Ref>();
  if (item < 0) return;
  const int v = Item(item);
  if (v == 0 || v == 1) ScpiAnswer(kDiskTexts[v]);
}

void RefLoad(scpi_para*, char*) {
  if (OnPage(kPageRef, 0) >= 0) Storage_LoadWave(kNoKey);
  Redraw();
}

void RefClear(scpi_para*, char*) {
  if (OnPage(kPageRef, 0) >= 0) Storage_ClearWave(kNoKey);
  Redraw();
}

template <int Slot>
void RefSelect(scpi_para*, char*) {
  Run().SetActivCh(Slot);
  Manager().ActiveTask(kStorageTaskId, kPageRef / kMenuSlots);
  Redraw();
  SettingsWaitMs(kSelectWaitMs);  // the main loop shows the page meanwhile
}

template <int Slot>
void RefSelectAsk(scpi_para*, char*) { ScpiAnswer(Run().GetActivCh() == Slot ? "1" : "0"); }

// ---- FILE:SAVE and FILE:LOAD ----

// "\"name.ext\",a,b,c": the quoted name and the comma-separated fields
// after it. False for a name or field longer than its room, or no name.
struct FileParams {
  std::string name, extension;
  std::vector<std::string> fields;
};
bool SplitFileParams(const char* p, size_t maxFields, FileParams* out) {
  const char* open = std::strchr(p, '"');
  if (!open) return false;
  const char* close = std::strchr(open + 1, '"');
  if (!close) return false;
  out->name.assign(open + 1, close);
  if (!StorageNameOk(out->name)) return false;
  const size_t dot = out->name.rfind('.');
  if (dot == std::string::npos) return false;
  out->extension = out->name.substr(dot + 1);
  std::string rest(close + 1);
  size_t at = rest.find(',');
  while (at != std::string::npos) {
    const size_t next = rest.find(',', at + 1);
    std::string field = rest.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\n' || field.back() == '\r')) field.pop_back();
    while (!field.empty() && field.front() == ' ') field.erase(0, 1);
    if (field.size() > size_t(kFieldMax) || out->fields.size() >= maxFields) return false;
    out->fields.push_back(field);
    at = next;
  }
  return true;
}

// Field `i` as a whole decimal number; 0 when absent or not one.
long Decimal(const std::vector<std::string>& fields, size_t i) {
  if (i >= fields.size() || fields[i].empty()) return 0;
  char* end = nullptr;
  const long v = std::strtol(fields[i].c_str(), &end, 10);
  return end && *end == '\0' ? v : 0;
}

// A channel or reference and a disk from the fields: "a" names the first
// (or a disk, then the first is 0), "b" the disk when both are given.
bool Target(const FileParams& f, const scpipara* firsts, int* first, int* disk) {
  *first = 0;
  *disk = 0;
  if (f.fields.empty()) return true;
  const int a = ScpiMatch(firsts, f.fields[0].c_str());
  if (a >= 0) {
    *first = a;
    if (f.fields.size() >= 2 && !f.fields[1].empty()) {
      *disk = ScpiMatch(kFileDisks, f.fields[1].c_str());
      return *disk >= 0;
    }
    return true;
  }
  *disk = ScpiMatch(kFileDisks, f.fields[0].c_str());
  return *disk >= 0;
}

// A name, extension, channel, disk or frame range that cannot be used
// refuses the command (ScpiRefuse); so does a video of nothing recorded.
int FileSave(const char* p) {
  FileParams f;
  if (!SplitFileParams(p, 3, &f)) return ScpiRefuse();
  const int ext = ScpiMatch(kSaveExtensions, f.extension.c_str());
  if (ext < 0) return ScpiRefuse();
  int first = 0, disk = 0;
  if (ext <= 1) {
    if (Run().GetDiplayFormat() == 1) {
      Message(kMsgXY);
      return -1;
    }
    if (!Target(f, kSources, &first, &disk)) return ScpiRefuse();
    if (ext == 1) {
      if (disk != kDiskUsb) return ScpiRefuse();
      disk = kDiskUsbCsv;
    }
    // The record is taken with the main loop held at its pass boundary and
    // the settings lock kept through the take's waits (the main loop takes
    // the boundary under the lock); a deep CSV's lines are then handed to
    // the job thread once both are let go, so a wait for its room holds
    // neither, and the worker serves other links meanwhile.
    int rc = 0;
    {
      SettingsKeep whole;
      pthread_mutex_lock(&mymutex);
      rc = StorageSaveWaveFunc(f.name.c_str(), first, disk, KeepCsvTail);
      pthread_mutex_unlock(&mymutex);
    }
    std::function<void()> tail = std::move(CsvTail());
    CsvTail() = nullptr;
    if (tail) {
      SettingsLetGo waiting;
      if (!RunScpiJob(std::move(tail))) return -1;  // the instrument is stopping
    }
    return rc;
  }
  if (ext == 2)
    return Target(f, kSources, &first, &disk) ? StorageSaveSetFunc(f.name.c_str(), disk) : ScpiRefuse();
  // A video needs recorded frames and sound parameters; the conversion
  // runs on the main loop (key 243).
  if (!(Run().GetFuncBits() & kFuncRecorded)) {
    std::printf("###Error: Not Record !!!\n");
    Message(kMsgNotRecorded);
    return -1;
  }
  const int total = Run().GetRecordTotal();
  long start = 1, end = total, fps = kVideoFpsDefault;
  bool given = false;
  for (const std::string& field : f.fields) given = given || !field.empty();
  if (given) {
    start = Decimal(f.fields, 0);
    end = Decimal(f.fields, 1);
    fps = Decimal(f.fields, 2);
  }
  if (start < 1 || start > end || end > total || fps < kVideoFpsMin || fps > kVideoFpsMax) {
    std::printf("###Rec2Video Parameter setting error!!!\n");
    return ScpiRefuse();
  }
  SetVideoMessage(f.name.substr(0, f.name.find('.')).c_str(), int(start), int(end), int(fps));
  return KeyBoard.AppendScpiKey(kKeyScpiRecordToVideo, 0);
}

int FileLoad(const char* p) {
  FileParams f;
  if (!SplitFileParams(p, 2, &f)) return ScpiRefuse();
  const int ext = ScpiMatch(kLoadExtensions, f.extension.c_str());
  if (ext < 0) return ScpiRefuse();
  int ref = 0, disk = 0;
  if (!Target(f, kRefs, &ref, &disk)) return ScpiRefuse();
  if (ext == 0) {
    if (Run().GetDiplayFormat() == 1) {
      Message(kMsgXY);
      return -1;
    }
    return StorageLoadWaveFunc(f.name.c_str(), ref, disk);
  }
  TaskStorage.Set_scpi_loadfilename(f.name.c_str(), int(f.name.size()), disk);
  return KeyBoard.AppendScpiKey(kKeyScpiLoad, 0);
}

void FileSaveCmd(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  FileSave(p);
  Redraw();
}

void FileLoadCmd(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  FileLoad(p);
  Redraw();
}
}  // namespace

template <>
const char* StorageKeys::name = "Storage";

instr TaskStorageInstrStandard[] = {
    SCPI_KEY_ROWS("KEY:STORage", StorageKeys),
    {"STORage:TYPE", Type},
    {"STORage:TYPE?", TypeAsk},
    {"STORage:WAVE:SOURce", Source},
    {"STORage:WAVE:SOURce?", SourceAsk},
    {"STORage:CSV:STARt", CsvStart},
    {"STORage:SAVE", Save},
    {"STORage:LOAD", Load},
    {"STORage:DISK:SELect", Disk<false>},
    {"STORage:DISK:SELect?", DiskAsk<false>},
    {"REF:LOAD", RefLoad},
    {"REF:CLEar", RefClear},
    {"REF:DISK:SELect", Disk<true>},
    {"REF:DISK:SELect?", DiskAsk<true>},
    {"FILE:LOAD", FileLoadCmd},
    {"FILE:SAVE", FileSaveCmd},
    {"CHANnel6:SELect", RefSelect<kRefA>},
    {"CHANnel6:SELect?", RefSelectAsk<kRefA>},
    {"CHANnel7:SELect", RefSelect<kRefA + 1>},
    {"CHANnel7:SELect?", RefSelectAsk<kRefA + 1>},
    {"", nullptr},
};
