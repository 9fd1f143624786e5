#include "platform/sim/fpga/sim_decode_timebase.h"

#include <cmath>

#include "platform/sim/acquisition/sim_acquire.h"
#include "platform/sim/fpga/sim_decode_words.h"
#include "platform/sim/fpga/sim_fpga.h"

namespace plat {

namespace {

// Word 40, the acquisition mode: codes 0, 1, 2 and 4 are normal, peak detect,
// high resolution and average (modes 0..3); any other code names no mode (-1).
constexpr int kAcqModeWord = 40;
int AcqModeOfCode(int code) { return code == 0 ? 0 : code == 1 ? 1 : code == 2 ? 2 : code == 4 ? 3 : -1; }

int PreDivider(int code) {
  switch (code) {
    case 1: return 1;
    case 2: return 2;
    case 4: return 4;
    case 8: return 5;
    default: return 0;
  }
}
}  // namespace

SimTimebaseSettings SimDecodeTimebaseWords(const uint16_t* words) {
  const SimWordTable f{words};
  SimTimebaseSettings s;
  s.interpolating = f.Word(232) == 1;
  s.interpRatio = f.Word(236);
  s.preDividerCode = f.Word(42);
  s.preDivider = PreDivider(s.preDividerCode);
  s.divider = f.Pair(44);
  s.acqModeCode = f.Word(kAcqModeWord);
  s.acqMode = AcqModeOfCode(s.acqModeCode);
  s.highResStep = f.Pair(60);
  s.averageStep = f.Pair(152);
  // Peak detect runs the divider twice as long as the sample period.
  const double divider = s.acqMode == 1 ? s.divider / 2.0 : double(s.divider);
  s.samplePeriodNs = s.interpolating ? 1.0 : s.preDivider * divider;
  s.sampleRate = s.samplePeriodNs > 0 ? 1e9 / s.samplePeriodNs : 0;

  s.writeStep = f.Pair(132);
  s.columnTimeNs = s.interpolating ? f.Word(240) / 800.0 : s.samplePeriodNs * s.writeStep / 16.0;
  s.firstColumn = f.Word(164);
  s.lastColumn = f.Word(166);
  s.readStart = int32_t(f.Pair(140));
  s.subSample = f.Word(244);
  s.memoryDepth = uint64_t(f.Word(124) | uint32_t(f.Word(280)) << 16) * 1000;

  s.preTrigUnits = f.Pair(50);
  s.delayUnits = f.Pair(54);
  s.delayed = s.preTrigUnits == 0;
  s.preTrigSamples = uint64_t(s.preTrigUnits) * 4;
  s.preTrigNs = double(s.preTrigSamples) * s.samplePeriodNs;
  s.delayNs = double(s.delayUnits) * 4;

  s.holdOffUnits = f.Pair(226);
  s.holdOffSeconds = s.holdOffUnits * 4e-9;
  s.roll = f.Word(248) == 1;
  s.rollCode = f.Word(250);
  s.rollDivider = f.Pair(252);
  s.channelWord = f.Word(2);
  s.splitWord = f.Word(4);

  s.zoomInterpolating = f.Word(234) == 1;
  s.zoomInterpRatio = f.Word(238);
  s.zoomMainStep = f.Pair(136);
  s.zoomStep = f.Pair(156);
  s.zoomReadStart = int32_t(f.Pair(144));
  s.zoomFactor = ((f.Word(242) >> 3) + (f.Word(242) & 7) / 10.0) / 100.0;
  s.zoomSubSample = f.Word(246);
  s.zoomFirstColumn = f.Word(168);
  s.zoomLastColumn = f.Word(178);
  s.formatWord = f.Word(120);
  s.windowRead = f.Word(130) == 1;

  s.held = f.Word(0) == 1;
  s.paused = f.Word(128) == 1;
  s.running = !s.held && !s.paused;
  s.single = f.Word(72) == 3;
  return s;
}

void SimCopyWords(uint16_t* words, bool* written) {
  SimFpga& f = Fpga();
  for (int n = 0; n < kSimControlWords; ++n) {
    words[n] = f.Word(uint16_t(n));
    if (written) written[n] = f.WordWritten(uint16_t(n));
  }
}

SimTimebaseSettings SimDecodedTimebase() {
  SimFpga& f = Fpga();
  uint16_t words[kSimControlWords];
  SimCopyWords(words, nullptr);
  SimTimebaseSettings s = SimDecodeTimebaseWords(words);
  int read = 0;  // last value of word 122
  for (const auto& e : f.Log()) {
    if (e.first == 222 && e.second == 1) ++s.forced;
    if (e.first == 122) {
      if (read == 1 && e.second == 0) ++s.readPulses;
      read = e.second;
    }
  }
  return s;
}

void SimApplyTimebase(const SimTimebaseSettings& t, SimAcqSettings* s) {
  if (t.samplePeriodNs > 0) s->samplePeriodNs = t.samplePeriodNs;
  if (t.columnTimeNs > 0) s->columnNs = t.columnTimeNs;
  if (t.memoryDepth > 0) s->depth = int64_t(t.memoryDepth);
  s->roll = t.roll;
  s->acqMode = t.acqMode > 0 ? t.acqMode : 0;
  s->holdOffS = t.holdOffSeconds;
  // The record starts 350 screen points' worth of samples left of the centre.
  const int64_t start = kRecordCentre - 350 * (s->depth / 700);
  if (!t.delayed)
    s->triggerAddress = start + int64_t(t.preTrigSamples);
  else
    s->triggerAddress = start - int64_t(t.delayNs / s->samplePeriodNs);
  s->triggerPoint = double(s->triggerAddress);
  if (t.interpolating && t.interpRatio > 0 && !t.delayed) {
    // The pre-trigger counts screen points, interpRatio of them a sample,
    // from 350 points left of the centre.
    s->triggerPoint = double(kRecordCentre) + (double(t.preTrigSamples) - 350.0) / t.interpRatio;
    s->triggerAddress = std::llround(s->triggerPoint);
  }
}

}  // namespace plat
