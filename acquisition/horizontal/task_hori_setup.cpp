// The horizontal module's block of a setup file: "TASK-HORI", CR LF, the
// image of every item value, CR LF. Loading it with multi-scope on keeps each
// channel's own time base and trigger position.
#include <cstring>

#include "acquisition/horizontal/task_hori_internal.h"
#include "acquisition/models/x_system.h"
#include "core/state/setup_block.h"

namespace {
using namespace hori;

constexpr char kLabel[] = "TASK-HORI";

bool SaveBlock(SetupFileRecord* rec) { return SaveMenuBlock(rec, kLabel, M(), &TaskHoriMenu); }
bool CheckBlock(SetupFileRecord* rec) { return CheckMenuBlock(*rec, kLabel, &TaskHoriMenu); }

// The time bases in force and trigger positions of the two channel blocks.
struct BlockTiming {
  int timeBase[2];
  int64_t depth[2];
};

BlockTiming SaveTiming() {
  x_system& tb = *Sys().timeBase;
  BlockTiming t{};
  for (int ch : {0, 1}) {
    t.timeBase[ch] = tb.GetRealTimeBase(ch);
    t.depth[ch] = tb.GetRealPreTrigDepth(ch);
  }
  return t;
}

void RestoreTiming(const BlockTiming& t) {
  x_system& tb = *Sys().timeBase;
  for (int ch : {0, 1}) {
    tb.SetTimeBase(ch, t.timeBase[ch]);
    tb.SetRealTimeBase(ch, t.timeBase[ch]);
    tb.SetPreTrigDepth(ch, t.depth[ch]);
    tb.SetRealPreTrigDepth(ch, t.depth[ch]);
    tb.AdjTimeBase(ch, 0);
  }
}

// Defers the ADC re-synchronisation of a reload for its scope.
struct DeferredResync {
  DeferredResync() { DeferAdcResync(true); }
  ~DeferredResync() { DeferAdcResync(false); }
};

// The zoom window of the recalled run state: switching zoom on opens it one
// step finer than the main time base, centred, so the setup's own scale and
// position are put back and applied once the type is in force.
struct ZoomWindow {
  int timeBase;
  int64_t position;
};

ZoomWindow SaveZoom() {
  x_system& tb = *Sys().timeBase;
  return {tb.GetZoomTimeBase(0), tb.GetZoomMovePos(0)};
}

void RestoreZoom(const ZoomWindow& z) {
  if (!(Run().GetFuncBits() & kFuncZoom)) return;
  x_system& tb = *Sys().timeBase;
  tb.SetZoomTimeBase(0, z.timeBase);
  tb.SetZoomMovePos(0, z.position);
  tb.AdjZoomTimeBase(0, 0);
}

bool LoadBlock(SetupFileRecord* rec) {
  if (!LoadMenuBlock(*rec, kLabel, M(), &TaskHoriMenu)) return false;
  DeferredResync deferred;
  M().ClampItems();
  SetItem(kHoriMultiScope2, uint64_t(Item(kHoriMultiScope)));
  SetItem(kHoriSplit2, uint64_t(Item(kHoriSplit)));
  if (Item(kHoriMultiScope) == 0) {
    const ZoomWindow zoom = SaveZoom();
    HoriAllParaReSet();
    RestoreZoom(zoom);
    return true;
  }
  const BlockTiming saved = SaveTiming();
  HoriAllParaReSet();
  RestoreTiming(saved);
  return true;
}
}  // namespace

int TaskForHori::Stroage(taskresponse* r) {
  if (!r) return -1;
  SetupFileRecord rec;
  std::memcpy(&rec, r->area, sizeof rec);
  if (rec.direction != kSetupFinish) return RunSetupBlock(r, SaveBlock, LoadBlock, CheckBlock);
  RunDeferredAdcResync();
  return 0;
}
