// The horizontal module's block of a setup file: "TASK-HORI", CR LF, the
// image of every item value, CR LF. Loading it with multi-scope on keeps each
// channel's own time base and trigger position.
#include <cstring>

#include "acquisition/task_hori_internal.h"
#include "acquisition/x_system.h"
#include "core/common_subprogram.h"

namespace {
using namespace hori;

constexpr char kLabel[] = "TASK-HORI";
constexpr char kCrLf[] = "\r\n";
constexpr int kLabelBytes = int(sizeof kLabel - 1);
constexpr int kCrLfBytes = 2;

// Appends the block at `used`; the record's length is the buffer's capacity.
bool SaveBlock(SetupFileRecord* rec) {
  const int room = rec->length - rec->used - kLabelBytes - 2 * kCrLfBytes;
  if (rec->used < 0 || room <= 0) return false;
  uint8_t* at = rec->buffer + rec->used;
  const int image = M().MenuAllItemCopyMem(&TaskHoriMenu, at + kLabelBytes + kCrLfBytes, size_t(room));
  if (image < 0) return false;
  std::memcpy(at, kLabel, kLabelBytes);
  std::memcpy(at + kLabelBytes, kCrLf, kCrLfBytes);
  std::memcpy(at + kLabelBytes + kCrLfBytes + image, kCrLf, kCrLfBytes);
  rec->used += kLabelBytes + 2 * kCrLfBytes + image;
  return true;
}

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

// Finds the block in the first `length` bytes and re-applies its values.
bool LoadBlock(SetupFileRecord* rec) {
  if (rec->length <= 0) return false;
  const int at = CommonSubProg.ScanMarkLabel(reinterpret_cast<const char*>(rec->buffer), kLabel, rec->length);
  if (at < 0) return false;
  const int start = at + kLabelBytes + kCrLfBytes;
  if (start > rec->length) return false;
  if (M().MenCopytoMenuAllItem(&TaskHoriMenu, rec->buffer + start, size_t(rec->length - start)) < 0) return false;
  for (int n : {int(kHoriFormat), int(kHoriType), int(kHoriMultiScope), int(kHoriSplit)})
    if (Item(n) > 1) SetItem(n, 0);
  SetItem(kHoriMultiScope2, uint64_t(Item(kHoriMultiScope)));
  SetItem(kHoriSplit2, uint64_t(Item(kHoriSplit)));
  if (Item(kHoriMultiScope) == 0) {
    HoriAllParaReSet();
    return true;
  }
  const BlockTiming saved = SaveTiming();
  HoriAllParaReSet();
  RestoreTiming(saved);
  return true;
}
}  // namespace

int TaskForHori::Stroage(taskresponse* r) { return RunSetupBlock(r, SaveBlock, LoadBlock); }
