// The system module's block of a setup file: "TASK-SYSTEM", CR LF, the whole
// run-state image, CR LF. A loaded image is outside input: it is taken only
// when it lies whole inside the block and passes the image check; its
// derived values are recomputed from its indices as it is re-applied.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "acquisition/system_module/run_image_check.h"
#include "acquisition/system_module/task_system.h"
#include "acquisition/system_module/task_system_internal.h"
#include "acquisition/tables/timebase_tables.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/messages/settings_lock.h"
#include "core/state/setup_block.h"
#include "core/state/sys_run_info.h"

using namespace sysmod;

namespace {
constexpr char kLabel[] = "TASK-SYSTEM";
constexpr int kLoadWaitMs = 2000;

template <size_t N>
void Terminate(char (&text)[N]) {
  text[N - 1] = 0;
}

// What of a loaded image is not a setting: the live hardware-presence flags
// and the language list read at start-up stay as they are, an acquisition
// state the instrument does not hold becomes running, and every text ends
// inside its field.
void KeepLive(_SysRunInfo& r, const _SysRunInfo& live) {
  r.usbDisk = live.usbDisk;
  r.lanCable = live.lanCable;
  std::memcpy(r.languageName, live.languageName, sizeof r.languageName);
  std::memcpy(r.languageType, live.languageType, sizeof r.languageType);
  for (uint16_t& s : r.acqStatus)
    if (s > kAcqKnobFollowUp) s = kAcqRunning;
  Terminate(r.mathVoltage);
  Terminate(r.mathExpression);
  for (auto& t : r.cymometerText) Terminate(t);
  Terminate(r.fft.label1);
  Terminate(r.fft.label2);
  Terminate(r.fft.startText);
  Terminate(r.fft.centreText);
  Terminate(r.fft.endText);
  for (auto& t : r.fft.scaleText) Terminate(t);
  Terminate(r.fft.unitLabel);
  for (VerticalBlock& v : r.vertical) Terminate(v.label);
}

// The module is visited twice in the setup order, and a load applies the
// image at both visits from the file's one block: a save writes it once.
bool SaveBlock(SetupFileRecord* rec) {
  SetupFileRecord written = *rec;
  written.length = rec->used;
  size_t available = 0;
  if (FindSetupBlock(written, kLabel, &available)) return true;
  return SaveSetupBlock(rec, kLabel, [](uint8_t* out, size_t room) {
    if (room < size_t(kRunInfoBytes)) return -1;
    std::memcpy(out, Run().GetSysRunInfoBaseAddr(), kRunInfoBytes);
    return int(kRunInfoBytes);
  });
}

// The whole run-state image of the block, copied; null when absent, cut
// short or refused by the image check.
std::unique_ptr<_SysRunInfo> CheckedImage(const SetupFileRecord& rec) {
  size_t available = 0;
  const uint8_t* body = FindSetupBlock(rec, kLabel, &available);
  if (!body) return nullptr;
  if (available < size_t(kRunInfoBytes)) {
    std::printf("TASK-SYSTEM block cut short: %zu bytes of %d\n", available, int(kRunInfoBytes));
    return nullptr;
  }
  auto image = std::make_unique<_SysRunInfo>();
  std::memcpy(image.get(), body, kRunInfoBytes);
  if (const char* fault = RunImageFault(*image)) {
    std::printf("TASK-SYSTEM block refused: %s\n", fault);
    return nullptr;
  }
  return image;
}

bool CheckBlock(SetupFileRecord* rec) {
  size_t available = 0;
  return !FindSetupBlock(*rec, kLabel, &available) || CheckedImage(*rec);
}

bool LoadBlock(SetupFileRecord* rec) {
  const std::unique_ptr<_SysRunInfo> image = CheckedImage(*rec);
  if (!image) return false;
  _SysRunInfo* live = Run().GetSysRunInfoBaseAddr();
  KeepLive(*image, *live);
  std::memcpy(live, image.get(), kRunInfoBytes);
  std::printf("Load ChStatus = %#x\n", unsigned(Run().GetChStatus()));
  SystemAllParaReSet();
  return true;
}
}  // namespace

// A load's image is re-applied 2 s after the recall begins: the wait comes
// before any block is taken (kSetupSettle), with the lock let go, so remote
// commands and the main loop run meanwhile and none of them sees half a
// recall.
int TaskForSystem::Stroage(taskresponse* r) {
  if (!r) return -1;
  SetupFileRecord rec;
  std::memcpy(&rec, r->area, sizeof rec);
  if (rec.direction != kSetupSettle) return RunSetupBlock(r, SaveBlock, LoadBlock, CheckBlock);
  if (rec.buffer && CheckedImage(rec)) SettingsWaitMs(kLoadWaitMs);
  return 0;
}

int SystemAllParaReSet() {
  Sys().timeBase->AdjTimeBase(0, 0);
  Sys().trigger->AdjTriggerPosition(0);
  const int mask = Run().GetChStatus();
  for (int ch = 0; ch < 2; ++ch) {
    Sys().vertical->SetChOnOff(ch, mask >> ch & 1);
    Sys().vertical->AdjYsensitivity(ch, 0);
  }
  Run().SetDrawRefresh();
  return 0;
}
