#include "system/storage/storage_wave.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/tables/timebase_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/engine/waveinfor.h"
#include "acquisition/system_module/run_image_check.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/common/common_subprogram.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/ids.h"
#include "core/board/mem_depth_table.h"
#include "core/messages/msg.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "core/common/unit_convert.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "system/storage/storage_files.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr char kLabel[] = "TASK-STORAGE";
constexpr char kTrailer[] = "\n\nStorage Wave complete \n\n";
constexpr int kTrailerBytes = int(sizeof kTrailer - 1);
static_assert(kWaveTrailerAt + kTrailerBytes == kWaveFileBytes, "waveform file size");
static_assert(kWaveSamplesAt == kWaveImageAt + kRunInfoBytes + 2, "samples behind the image");
constexpr int kMsgSaved = 10, kMsgSaveFailed = 11, kMsgLoaded = 12, kMsgLoadFailed = 13, kMsgXY = 17;
constexpr int kMsgNoUsb = 23, kMsgOpenFailed = 56, kMsgRoll = 83;
constexpr uint16_t kAssistSetItem = 3;
constexpr int kAcqMemDepthSelector = 2, kScreenDepthIndex = 1;
constexpr size_t kMaxWaveFile = 1 << 20;
constexpr int kCsvChunk = 10240;
constexpr size_t kCsvFlush = 1047576;  // of the 1 MiB text buffer: room for one more line
constexpr size_t kCsvLineMax = 64;
constexpr int kDonePolls = 2000, kDonePollMs = 1;
constexpr int kBarEmpty = 2, kBarAdvance = 3, kBarSteps = 40;
constexpr int kBarRow = 380, kBarCol = 215;
constexpr int kCodesPerDiv = 25;
// Display slots of a reference: main, zoomed, split halves (RefA, RefB).
constexpr int kSlotMain[2] = {233, 400}, kSlotZoom[2] = {305, 280}, kSlotSplit[2][2] = {{133, 200}, {333, 200}};

_SysRunInfoOp& Run() { return *SystemResource.runStatus; }

int Fail(int message) {
  if (SystemResource.message) SystemResource.message->SetMessage(message);
  return -1;
}

// Sets the acquire module's memory depth through its assist.
void SetDepth(int index) {
  taskresponse request{}, reply{};
  request.request = kAssistSetItem;
  request.words[0] = kAcqMemDepthSelector;
  request.words[1] = uint16_t(index);
  TaskManage.RequestTaskAssist(kTaskAcquire, &request, &reply);
}

bool Stopped() { return Run().GetAcquireStatus(0) == kAcqStopped; }

// One fresh 7,000-point record of `source` at the screen's depth; stopped,
// the record shown, as it stands (the depth is not changed under it).
bool TakeRecord(int source, uint8_t* samples) {
  const int depth = Run().GetMemDepth(nullptr);
  const bool relayout = depth != kScreenDepthIndex && !Stopped();
  if (relayout) SetDepth(kScreenDepthIndex);
  waveinfor info{};
  info.flags = kWaveReqCopy;
  info.chMask = uint16_t(1 << source);
  info.buffer[source] = samples;
  info.count[source] = kWaveSamples;
  const bool ok = SystemResource.wave->RequestWaveData(&info) == 0;
  SystemResource.wave->WaveProcess();
  if (relayout) SetDepth(depth);
  return ok;
}

int SaveBinary(const std::string& folder, const char* name, int source) {
  std::vector<uint8_t> file(kWaveFileBytes, 0);
  if (!TakeRecord(source, file.data() + kWaveSamplesAt)) return Fail(kMsgSaveFailed);
  std::memcpy(file.data(), kLabel, kWaveLabelBytes);
  file[kWaveLabelBytes] = uint8_t('0' + source);
  std::memcpy(file.data() + kWaveLabelBytes + 1, "\r\n", 2);
  std::memcpy(file.data() + kWaveImageAt, Run().GetSysRunInfoBaseAddr(), kRunInfoBytes);
  std::memcpy(file.data() + kWaveImageAt + kRunInfoBytes, "\r\n", 2);
  std::memcpy(file.data() + kWaveTrailerAt, kTrailer, kTrailerBytes);
  if (!StorageWriteFile(folder, name, file.data(), file.size())) return Fail(kMsgSaveFailed);
  SystemResource.message->SetMessage(kMsgSaved);
  return 0;
}

// ---- CSV ----

// The points of the channel's memory depth.
long DepthPoints(int source) {
  double points = 0;
  const int index = Run().GetMemDepth(&points);
  if (index == 0) points = Run().GetAutoMemDepthPoints(source);
  return points >= 1 ? long(points) : kWaveSamples;
}

std::string CsvHeader(int source) {
  const x_system& x = *SystemResource.timeBase;
  const y_system& y = *SystemResource.vertical;
  const int block = Run().IsAlternate() ? source : 0;
  const int tb = std::clamp(x.GetRealTimeBase(block), 0, kTimeBaseEntries - 1);
  std::string label = TimeBaseStr[tb];
  for (size_t at = label.find("\xB5s"); at != std::string::npos; at = label.find("\xB5s")) label[at] = 'u';
  FloatElement e{};
  UnitConvert.VUnitConvert(double(y.GetRealYDivVoltage(source)), &e);
  const int unit = std::clamp(y.GetChUnit(source), 0, 3);
  const char* scaled = CommonSubProg.GetChUnitStrig(unit, e.unit & 0xFF);
  char text[160];
  std::snprintf(text, sizeof text, "Channel=CH%d\nX=%s\nY=%.2f%s\nCH%d_s,CH%d_%s\n", source + 1, label.c_str(),
                e.mantissa, scaled ? scaled : "", source + 1, source + 1, ChannelUnit[unit][kVUnit]);
  return text;
}

// What turns a record's samples into the lines of a CSV, taken with the
// record: the settings may change while the lines are written.
struct CsvScale {
  double rate = 0;    // samples a second
  int64_t shift = 0;  // the first point's place from the trigger
  int position = 0;   // the trace's zero code
  double volts = 0;   // volts a division
};

CsvScale TakeCsvScale(int source) {
  const x_system& x = *SystemResource.timeBase;
  const y_system& y = *SystemResource.vertical;
  CsvScale c;
  c.rate = x.GetCurrTimeBaseSample(source);
  int64_t start = 0, end = 0;
  x.GetMemDepthRange(source, &start, &end);
  c.shift = std::min<int64_t>(0, start - x.GetRealPreTrigDepth(source));
  c.position = y.GetRealYposition(source);
  c.volts = double(y.GetRealYDivVoltage(source));
  return c;
}

// Writes the lines of `count` samples starting at point `first`.
void CsvLines(std::string* out, const uint8_t* samples, int count, long first, const CsvScale& c) {
  char line[kCsvLineMax];
  for (int i = 0; i < count; ++i) {
    const double t = c.rate > 0 ? double(first + i + c.shift) / c.rate : 0;
    const int n = std::snprintf(line, sizeof line, "%3.12e,%f\n", t,
                                (samples[i] - c.position) * c.volts / kCodesPerDiv);
    out->append(line, size_t(n));
  }
}

// The progress bar of a CSV save: `points` lines in 40 steps.
class CsvProgress {
 public:
  explicit CsvProgress(long points) : every_(points / kBarSteps > 0 ? points / kBarSteps : 1) {
    Storage_Draw_Process(kBarEmpty, 0);
  }
  void Done(long points) {
    const int steps = int(std::min<long>(points / every_, kBarSteps));
    if (steps > shown_) Storage_Draw_Process(kBarAdvance, steps - shown_);
    shown_ = std::max(shown_, steps);
  }
  ~CsvProgress() { Storage_Draw_Process(kBarAdvance, kBarSteps); }

 private:
  long every_;
  int shown_ = 0;
};

// Writes out the text once more than its flush mark is used.
bool Flush(StorageFileWriter* out, std::string* text, size_t above) {
  if (text->size() <= above) return true;
  const bool ok = out->Write(text->data(), text->size());
  text->clear();
  return ok;
}

// The board's record held (no write resumes acquisition over it) from here
// until Release or the end, paused now: whoever else reads in between, no
// acquisition follows their read.
class HeldRecord {
 public:
  HeldRecord() {
    SystemResource.board->HoldRecord();
    SystemResource.board->SendRealControl(fpga::kPause, 1);
  }
  ~HeldRecord() { Release(); }
  HeldRecord(const HeldRecord&) = delete;
  HeldRecord& operator=(const HeldRecord&) = delete;
  void Release() {
    if (!held_) return;
    held_ = false;
    SystemResource.board->ReleaseRecord();
  }

 private:
  bool held_ = true;
};

// A deeper record: one acquisition (none when stopped: the stopped record as
// it stands), then held; the record's first point from the trigger. The
// caller holds the settings lock and the pass boundary: a pass or a command
// in between could start the next acquisition over it.
int64_t AcquireDeep(int source, std::unique_ptr<HeldRecord>* held) {
  x_system& x = *SystemResource.timeBase;
  if (!Stopped()) {
    x.AdjTimeBase(0, 0);
    SystemResource.board->SysSample();
    for (int i = 0; i < kDonePolls && !(SystemResource.board->ReadAnyReg(fpga::kDone) & 1); ++i)
      plat::SleepMs(kDonePollMs);
  }
  *held = std::make_unique<HeldRecord>();
  int64_t start = 0, end = 0;
  x.GetMemDepthRange(source, &start, &end);
  return std::min<int64_t>(0, start - x.GetRealPreTrigDepth(source));
}

// The held record's sample memory from point `first`, chunk by chunk, each
// under the engine's read lock (another read in between re-arms its own and
// cannot move this one). Nothing else need be held: no acquisition starts
// while the record is held. The last chunk's read resumes acquisition, which
// the hold keeps back until the caller lets the record go.
bool CopyDeep(long points, int source, int64_t first, uint8_t* samples) {
  _wave& wave = *SystemResource.wave;
  for (long done = 0; done < points;) {
    const int n = int(std::min<long>(kCsvChunk, points - done));
    const bool last = done + n >= points;
    std::lock_guard<std::recursive_mutex> lock(wave.ReadLock());
    wave.SetDDRWave_addr(source, int32_t(first + done));
    if (wave.GetWave_by_offset(source, samples + done, n, last ? 1 : 0) != n) return false;
    done += n;
  }
  return true;
}

// A CSV's record, taken, and what its lines need.
struct CsvRecord {
  std::string folder, name, header;
  CsvScale scale;
  std::vector<uint8_t> samples;
};

// Writes the lines of a taken record; 0, or -1 with the failure's message.
int WriteCsv(const CsvRecord& r) {
  StorageFileWriter out(r.folder, r.name);
  if (!out.Ok()) return Fail(kMsgSaveFailed);
  std::string text = r.header;
  text.reserve(kCsvFlush + kCsvChunk * kCsvLineMax);
  const long points = long(r.samples.size());
  bool ok = true;
  {
    CsvProgress bar(points);
    for (long done = 0; ok && done < points;) {
      const int n = int(std::min<long>(kCsvChunk, points - done));
      CsvLines(&text, r.samples.data() + done, n, done, r.scale);
      done += n;
      bar.Done(done);
      ok = Flush(&out, &text, kCsvFlush) && !plat::StopRequested();
    }
  }
  if (!ok || !Flush(&out, &text, 0) || !out.Finish()) return Fail(kMsgSaveFailed);
  SystemResource.message->SetMessage(kMsgSaved);
  return 0;
}

// The record is acquired here, with what the caller holds. A normal-depth
// record is taken and written here, with the settings lock let go unless the
// caller keeps it (a remote save keeps it with the main loop at its pass
// boundary: the file is written at once). A deep record is held and handed
// to `later` when given, which copies it and writes its lines holding
// nothing else; otherwise copied and written here the same way.
int SaveCsv(const std::string& folder, const char* name, int source, StorageJobRunner later) {
  const long points = DepthPoints(source);
  auto record = std::make_shared<CsvRecord>();
  record->folder = folder;
  record->name = name;
  record->header = CsvHeader(source);
  if (points <= kWaveSamples) {
    record->samples.resize(size_t(kWaveSamples));
    if (!TakeRecord(source, record->samples.data())) return Fail(kMsgSaveFailed);
    record->samples.resize(size_t(points));
    record->scale = TakeCsvScale(source);
    SettingsLetGo writing;
    return WriteCsv(*record);
  }
  std::unique_ptr<HeldRecord> held;
  const int64_t first = AcquireDeep(source, &held);
  record->scale = TakeCsvScale(source);
  // The copy and the lines: a job holds the record until its copy ends (a
  // job dropped unrun lets it go with its closure).
  std::shared_ptr<HeldRecord> hold(std::move(held));
  auto copyAndWrite = [record, hold, points, source, first] {
    record->samples.resize(size_t(points));
    const bool copied = CopyDeep(points, source, first, record->samples.data());
    hold->Release();
    return copied ? WriteCsv(*record) : Fail(kMsgSaveFailed);
  };
  if (later) return later([copyAndWrite] { copyAndWrite(); }) ? 0 : Fail(kMsgSaveFailed);
  SettingsLetGo writing;
  return copyAndWrite();
}

}  // namespace

void Storage_Draw_Process(int kind, int value) {
  if (!SystemResource.draw) return;
  if (kind == kBarEmpty) SystemResource.draw->DrawWorkProcess(kBarRow, kBarCol, 1, 0);
  else if (kind == kBarAdvance) SystemResource.draw->DrawWorkProcess(kBarRow, kBarCol, 2, value);
}

void StorageRefLayout(int ref) {
  if (ref != 0 && ref != 1) return;
  const int* place = kSlotMain;
  if (Run().IsIndependTimeBase()) place = Run().GetIndependTimeBaseSplit() ? kSlotSplit[ref] : kSlotMain;
  else if (Run().GetTimeBaseType() == 1) place = kSlotZoom;
  Run().SetWaveDisplayInfor(kRefA + ref, place[0], place[1]);
}

int StorageSaveWaveFunc(const char* name, int source, int disk, StorageJobRunner later) {
  if (Run().GetAcquireStatus(0) == kAcqSlowScan) return Fail(kMsgRoll);
  if (Run().GetDiplayFormat() == 1) return Fail(kMsgXY);
  if (disk != kDiskInternal && !StorageUsbIn()) return Fail(kMsgNoUsb);
  const std::string folder = StorageFolder(kStoreWave, disk);
  if (folder.empty() || !name || !StorageNameOk(name) || (source != 0 && source != 1)) return Fail(kMsgSaveFailed);
  StorageMakeFolder(folder);
  return disk == kDiskUsbCsv ? SaveCsv(folder, name, source, later) : SaveBinary(folder, name, source);
}

int StorageLoadWaveFunc(const char* name, int ref, int disk) {
  if (Run().GetDiplayFormat() == 1) return Fail(kMsgXY);
  if (disk != kDiskInternal && !StorageUsbIn()) return Fail(kMsgNoUsb);
  if (ref != 0 && ref != 1) return Fail(kMsgLoadFailed);
  std::vector<uint8_t> file;
  const std::string folder = StorageFolder(kStoreWave, disk == kDiskInternal ? kDiskInternal : kDiskUsb);
  if (!name || !StorageReadFile(folder, name, kMaxWaveFile, &file)) return Fail(kMsgOpenFailed);
  // The label, its source digit (a channel) and the whole image and record
  // behind it, before anything is taken.
  const int size = int(file.size());
  const int at = CommonSubProg.ScanMarkLabel(reinterpret_cast<const char*>(file.data()), kLabel, size);
  if (at < 0 || size - at < kWaveSamplesAt + kWaveSamples) return Fail(kMsgLoadFailed);
  const int source = int(file[size_t(at + kWaveLabelBytes)]) - '0';
  if (source != 0 && source != 1) return Fail(kMsgLoadFailed);
  auto image = std::make_unique<_SysRunInfo>();
  std::memcpy(image.get(), file.data() + at + kWaveImageAt, kRunInfoBytes);
  if (const char* fault = RunImageFault(*image)) {
    std::printf("Waveform file refused: %s\n", fault);
    return Fail(kMsgLoadFailed);
  }
  const int slot = kRefA + ref;
  const int stored = image->independentTimeBase ? source : 0;
  if (Run().UserUpdateRunInfo(0, stored, slot, image.get()) < 0 || Run().UserUpdateRunInfo(1, source, slot, image.get()) < 0 ||
      Run().UserUpdateRunInfo(2, source, slot, image.get()) < 0)
    return Fail(kMsgLoadFailed);
  SystemResource.wave->UserUpdateRefxData(slot, file.data() + at + kWaveSamplesAt, kWaveSamples);
  SystemResource.vertical->SetChOnOff(slot, 1);
  SystemResource.message->SetMessage(kMsgLoaded);
  StorageRefLayout(ref);
  Run().SetDrawRefresh();
  return 0;
}
