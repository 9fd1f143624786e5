// The system module's block of a setup file: "TASK-SYSTEM", CR LF, the whole
// run-state image, CR LF. A loaded image is outside input: it is taken only
// when it lies whole inside the block, and its table indices are brought
// into their tables before anything uses them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

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

template <typename T>
void Limit(T& v, int first, int last, int fallback) {
  if (int(v) < first || int(v) > last) v = T(fallback);
}

// Table indices of a loaded image that lie outside their tables take their
// factory values; the live hardware-presence flags stay as they are.
void Sanitize(_SysRunInfo& r, const _SysRunInfo& live) {
  r.usbDisk = live.usbDisk;
  r.lanCable = live.lanCable;
  for (uint16_t& s : r.acqStatus)
    if (s > kAcqKnobFollowUp) s = kAcqRunning;
  Limit(r.activeCh, 0, 11, 0);
  Limit(r.acqMode, 0, 3, 0);
  Limit(r.memDepthIndex, 0, kMemDepthMaxIndex, 0);
  Limit(r.averageIndex, 0, 12, 0);
  Limit(r.waveType, 1, 3, 1);
  Limit(r.displayFormat, 0, 1, 0);
  Limit(r.timeBaseType, 0, 1, 0);
  Limit(r.trigType, 0, 16, 0);
  Limit(r.trigSource, 0, 5, 0);
  Limit(r.trigMode, 0, 2, 0);
  Limit(r.trigLevelSel, 0, 2, 1);
  Limit(r.printScreenFormat, 0, 3, 0);
  Limit(r.language, 0, kLanguages - 1, 0);
  for (VerticalBlock& v : r.vertical) {
    Limit(v.vdivIndex, 0, kVoltageEntries - 1, y_system::kDefaultIndex);
    Limit(v.vdivSelected, 0, kVoltageEntries - 1, y_system::kDefaultIndex);
    Limit(v.probe, 0, 7, y_system::kDefaultProbe);
    Limit(v.probeSelected, 0, 7, y_system::kDefaultProbe);
    Limit(v.position, y_system::kPositionMin, y_system::kPositionMax, y_system::kCentre);
    Limit(v.coupling, 0, 2, 0);
  }
  for (HorizontalBlock& h : r.horizontal) {
    Limit(h.timeBase, 0, kTimeBaseEntries - 1, x_system::kDefaultTimeBase);
    Limit(h.realTimeBase, 0, kTimeBaseEntries - 1, x_system::kDefaultTimeBase);
    Limit(h.zoomTimeBase, 0, kTimeBaseEntries - 1, x_system::kDefaultTimeBase);
  }
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

// The whole run-state image of the block; null when absent or cut short.
const uint8_t* WholeImage(const SetupFileRecord& rec) {
  size_t available = 0;
  const uint8_t* body = FindSetupBlock(rec, kLabel, &available);
  if (!body) return nullptr;
  if (available < size_t(kRunInfoBytes)) {
    std::printf("TASK-SYSTEM block cut short: %zu bytes of %d\n", available, int(kRunInfoBytes));
    return nullptr;
  }
  return body;
}

bool LoadBlock(SetupFileRecord* rec) {
  const uint8_t* body = WholeImage(*rec);
  if (!body) return false;
  _SysRunInfo* live = Run().GetSysRunInfoBaseAddr();
  auto image = std::make_unique<_SysRunInfo>();
  std::memcpy(image.get(), body, kRunInfoBytes);
  Sanitize(*image, *live);
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
  if (rec.direction != kSetupSettle) return RunSetupBlock(r, SaveBlock, LoadBlock);
  if (rec.buffer && WholeImage(rec)) SettingsWaitMs(kLoadWaitMs);
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
