// The FFT view as the math commands see it, over the menu items and the run
// state's FFT block: the span is applied to the block, the mark threshold
// kept in item 42; no waterfall rows and no marks are recorded here.
#include "analysis/math_fft_remote.h"

#include <algorithm>

#include "acquisition/wave.h"
#include "analysis/fft_process.h"
#include "analysis/math_fft_menu.h"
#include "analysis/task_math.h"
#include "core/sys_run_info.h"

namespace {
constexpr long kMinSpan = 10;

Menu& M() { return TaskMath.TaskMenu; }
}  // namespace

void MathFftAdjFreq() {
  FftSettings& f = *SysRunStatus.GetFFTParaAddr();
  const long last = std::max<long>(kMinSpan, long(MathFftPoints(int(uint16_t(M().GetMenuItem(kMathItemFftPoints))))) / 2 - 1);
  const long s = std::clamp(long(uint32_t(M().GetMenuItem(kMathItemStartBin))), 0L, last - kMinSpan);
  const long e = std::clamp(long(uint32_t(M().GetMenuItem(kMathItemEndBin))), s + kMinSpan, last);
  M().SetMenuItem(kMathItemStartBin, uint64_t(s));
  M().SetMenuItem(kMathItemEndBin, uint64_t(e));
  f.startBin = uint32_t(s);
  f.endBin = uint32_t(e);
  double rate = 0;
  uint8_t none = 0;
  WaveOp.UpdateFFTWaveDataSample();
  WaveOp.GetFFTWaveData(&none, 0, &rate);
  f.binWidthHz = f.points ? rate / 2 / (f.points / 2.0) : 0;
  f.hzPerColumn = f.binWidthHz * double(e - s) / (f.columns ? f.columns : kFftColumns);
}

int MathFftWaterFallCnt() { return 0; }
void MathFftSetCurrRecPos(int) {}

void MathFftSetMarkThreshold(float level) { M().SetMenuItem(kMathItemMarkLevel, ItemParaFromF32(level)); }
float MathFftMarkThreshold() { return ItemParaF32(M().GetMenuItem(kMathItemMarkLevel)); }

int MathFftMarkCount() { return 0; }
int MathFftMarkColumn(int) { return -1; }
float MathFftMarkCode(int) { return 0; }
