// The simulated FPGA's frame memory for the waveform recorder: while recording
// is enabled, each finished acquisition is kept as the next frame (its signals
// and settings, so the raster and records come back exactly as acquired), and
// a frame written for display becomes the shown acquisition again.
//
// Control words:
//   184        1 recording enabled (the frame memory starts empty), 0 off
//   196, 198   frames to record, low and high 16 bits (read when 184 rises)
//   200, 202   least time between frames in 4 ns ticks, low and high 16 bits
//   (a recording ends with acquisition paused, word 128 = 1: no frames come)
//   122        1 then 0 with 188/190 (first frame, low/high 16 bits) and
//              192/194 (last frame) written in between: shows the first frame
//              (0-based) of that range (registers 822/824 name it as soon as
//              it is written)
// Registers:
//   776, 778   frames recorded, low and high 16 bits
//   774        1 once the frames to record are all kept (or memory is full)
//   822, 824   frame shown, low and high 16 bits
// Memory: kFrameSamples samples; a frame takes the record depth of its
// acquisition, so at most kFrameSamples / depth frames fit (kMaxFrames at most).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/sim/acquisition/sim_acquire.h"

namespace plat {

class SimFrameStore {
 public:
  static constexpr int64_t kFrameSamples = 56000000;
  static constexpr size_t kMaxFrames = 8000;

  // A control word was written (already in `words`); `old` its value before.
  // True when a frame is to be shown: then Shown() names it.
  bool OnWord(uint16_t word, uint16_t old, const uint16_t* words);
  // A finished acquisition, kept while recording.
  void OnAcquired(const SimAcquisition& a, int64_t nowUs);
  // Registers 774, 776, 778, 822, 824; false for any other.
  bool Reg(uint16_t reg, uint16_t* value) const;

  const SimAcquisition& Shown() const { return frames_[shown_]; }
  const SimAcquisition& Frame(size_t i) const { return frames_[i]; }
  size_t Frames() const { return frames_.size(); }
  bool Recording() const { return recording_; }

 private:
  size_t Capacity(const SimAcquisition& a) const;

  std::vector<SimAcquisition> frames_;
  bool recording_ = false;
  bool complete_ = false;
  uint32_t endFrame_ = 0;
  int64_t intervalUs_ = 0;
  int64_t lastFrameUs_ = 0;
  bool rangeWritten_ = false;  // 188-194 written since word 122 rose
  size_t shown_ = 0;
};

}  // namespace plat
