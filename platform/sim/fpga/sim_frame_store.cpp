#include "platform/sim/fpga/sim_frame_store.h"

#include <algorithm>

namespace plat {

namespace {
constexpr uint16_t kFrameWord = 122;
constexpr uint16_t kEnableWord = 184;
constexpr uint16_t kFirstLow = 188, kFirstHigh = 190, kLastLow = 192, kLastHigh = 194;
constexpr uint16_t kEndLow = 196, kEndHigh = 198, kIntervalLow = 200, kIntervalHigh = 202;
constexpr uint16_t kCompleteReg = 774, kCountLow = 776, kCountHigh = 778;
constexpr uint16_t kShownLow = 822, kShownHigh = 824;
constexpr int64_t kTickNs = 4;

uint32_t Pair(const uint16_t* words, uint16_t low, uint16_t high) {
  return uint32_t(words[low]) | uint32_t(words[high]) << 16;
}
}  // namespace

bool SimFrameStore::OnWord(uint16_t word, uint16_t old, const uint16_t* words) {
  const uint16_t v = words[word];
  switch (word) {
    case kEnableWord:
      if (v == 1 && old != 1) {
        frames_.clear();
        frames_.shrink_to_fit();
        shown_ = 0;
        complete_ = false;
        recording_ = true;
        endFrame_ = Pair(words, kEndLow, kEndHigh);
        intervalUs_ = int64_t(Pair(words, kIntervalLow, kIntervalHigh)) * kTickNs / 1000;
        lastFrameUs_ = INT64_MIN;
      } else if (v == 0) {
        recording_ = false;
      }
      return false;
    case kFirstLow:
    case kFirstHigh:
    case kLastLow:
    case kLastHigh:
      if (words[kFrameWord] != 1) return false;
      rangeWritten_ = true;
      if (!frames_.empty()) shown_ = std::min<size_t>(Pair(words, kFirstLow, kFirstHigh), frames_.size() - 1);
      return false;
    case kFrameWord:
      if (v == 1) {
        rangeWritten_ = false;
        return false;
      }
      if (old != 1 || !rangeWritten_ || frames_.empty()) return false;
      rangeWritten_ = false;
      return true;
    default:
      return false;
  }
}

size_t SimFrameStore::Capacity(const SimAcquisition& a) const {
  const int64_t depth = std::max<int64_t>(a.set.depth, 1);
  return std::min<size_t>(kMaxFrames, size_t(kFrameSamples / depth));
}

void SimFrameStore::OnAcquired(const SimAcquisition& a, int64_t nowUs) {
  if (!recording_ || complete_) return;
  if (lastFrameUs_ != INT64_MIN && nowUs - lastFrameUs_ < intervalUs_) return;
  const size_t capacity = std::min<size_t>(Capacity(a), endFrame_);
  if (frames_.size() < capacity) {
    frames_.push_back(a);
    lastFrameUs_ = nowUs;
  }
  if (frames_.size() >= capacity) complete_ = true;
}

bool SimFrameStore::Reg(uint16_t reg, uint16_t* value) const {
  const uint32_t count = uint32_t(frames_.size());
  switch (reg) {
    case kCompleteReg: *value = complete_ ? 1 : 0; return true;
    case kCountLow: *value = uint16_t(count & 0xFFFF); return true;
    case kCountHigh: *value = uint16_t(count >> 16); return true;
    case kShownLow: *value = uint16_t(shown_ & 0xFFFF); return true;
    case kShownHigh: *value = uint16_t(shown_ >> 16); return true;
    default: return false;
  }
}

}  // namespace plat
