// The math module's FFT frame on the main loop: posts the FFT source's record
// to the worker, takes its spectrum, reduces the shown bins to screen columns
// by the detectors, keeps the average, max-hold and min-hold traces (screen
// traces 5, 6 and 7), finds the marks and paints the intensity maps and the
// waterfall. While stopped a key recomputes the kept spectrum (the chosen
// waterfall slice in the waterfall modes).
#include <algorithm>
#include <cstring>

#include "acquisition/voltage_tables.h"
#include "acquisition/wave.h"
#include "acquisition/y_system.h"
#include "analysis/fft_display.h"
#include "analysis/fft_kit.h"
#include "analysis/fft_marks.h"
#include "analysis/fft_process.h"
#include "analysis/fft_span.h"
#include "analysis/fft_thread.h"
#include "analysis/fft_view.h"
#include "analysis/math_calc.h"
#include "analysis/math_fft_menu.h"
#include "analysis/task_math.h"
#include "core/ids.h"
#include "core/sys_run_info.h"

using namespace fft_kit;

namespace {
constexpr int kItemDetector = 20, kItemAverageOn = 21, kItemMaxHold = 23, kItemMinHold = 25;
constexpr int kItemAverageDet = 81, kItemMaxHoldDet = 82, kItemMinHoldDet = 83;
constexpr int kMaxHoldSlot = 6, kMinHoldSlot = 7;
constexpr int kAverageCountMax = 8192;
constexpr int kLargeN = 16384;
constexpr float kMaxHoldReset = -23768.0f, kMinHoldReset = 32768.0f;

bool Waterfall(int mode) { return mode == kFftWaterfall1 || mode == kFftWaterfall2; }
// The detector feeding an extra trace: its item (1..4), or the main trace's.
int ExtraDetector(int item, int mainMode) {
  const int d = Item(item);
  return d >= 1 && d <= kFftDetectors ? d - 1 : mainMode;
}
}  // namespace

void TaskForMath::ClearFFTGrayScale() {
  for (int s : {kMathSlot, kMaxHoldSlot, kMinHoldSlot}) WaveOp.ClearScreenWave(s);
  ClearStopFFTGrayScale();
  std::memset(mainTrace_, 0, sizeof mainTrace_);
  std::fill(std::begin(averageTrace_), std::end(averageTrace_), 0.0f);
  std::fill(std::begin(maxTrace_), std::end(maxTrace_), kMaxHoldReset);
  std::fill(std::begin(minTrace_), std::end(minTrace_), kMinHoldReset);
  if (SysRunStatus.GetAcquireStatus(0) != kAcqStopped) {
    ClearFFTWaterFall();
    averageCount_ = 1;
  }
}

int TaskForMath::FFT_Process() {
  _SysRunInfoOp& run = SysRunStatus;
  const bool stopped = run.GetAcquireStatus(0) == kAcqStopped;
  if (stopped && !run.IsPushKey()) return 0;
  FftSettings& fft = *run.GetFFTParaAddr();
  const int src = fft.source == 1 ? 1 : 0;
  if (!(run.GetChStatus() >> src & 1)) {
    if (!sourceOffCleared_) ClearFFTGrayScale();
    sourceOffCleared_ = true;
    return 0;
  }
  sourceOffCleared_ = false;
  const int n = int(MathFftPoints(Item(kMathItemFftPoints)));
  if (!n) return -1;
  const int mode = fft.screen;

  const float* bins = nullptr;
  int nbins = 0;
  if (!stopped) {
    FFT_Para& p = FftPara;
    {
      std::lock_guard<std::mutex> lock(p.lock);
      if (p.flags == 0 || ((p.flags & kFftDiscard) && !(p.flags & kFftRequest))) {
        // No request in flight: the worker reads none of these now.
        p.samples.resize(size_t(n));
        WaveOp.GetFFTWaveData(p.samples.data(), n, &sampleRate_);
        const int window = Item(kMathItemFftWindow);
        if (int(p.window.size()) != n || window != windowType_) {
          p.window.resize(size_t(n));
          FftWinCalculation(window, n, p.window.data());
          windowType_ = window;
        }
        p.offset = Vertical.GetRealYposition(src);
        p.points = n;
        p.flags |= kFftRequest;
        FftWakeWorker();
      }
      if (!(p.flags & kFftDone)) return 0;
      p.flags &= ~kFftDone;
      if (p.flags & kFftDiscard) {
        p.flags &= ~kFftDiscard;
        ClearFFTGrayScale();
        return 0;
      }
      FftView.last.swap(p.result);
    }
    WaveOp.RequestFFTData();  // a fresh record for the next request
    bins = FftView.last.data();
    nbins = int(FftView.last.size());
    if (Waterfall(mode)) FftHistoryStore(FftWaterfallNextRow(), bins, nbins);
  } else {
    if (Waterfall(mode)) bins = FftHistoryRow(FftView.current, &nbins);
    if (!bins) bins = FftView.last.data(), nbins = int(FftView.last.size());
    if (nbins < 2) return 0;
  }

  FftScale scale;
  scale.p5 = Vertical.GetRealYposition(kMathSlot);
  const double vs = VoltsPerDiv(Vertical.GetYsensitivity(src));
  const double vm = VoltsPerDiv(Vertical.GetRealYsensitivity(kMathSlot));
  scale.k = vs / 25;
  scale.db = Item(kMathItemFftVertical) == 1;
  scale.r = scale.db ? vm / 25 : vs / vm;
  if (mode == kFftSplit) FftOverviewTrace(bins, nbins, scale, FftView.overviewTrace);

  const int end = std::min<int>(int(fft.endBin), nbins - 1);
  const int start = std::min<int>(int(fft.startBin), std::max(0, end - 1));
  const int columns = mode == kFftIndependent ? 500 : kFftColumns;
  const int main = std::clamp(Item(kItemDetector), 0, kFftDetectors - 1);
  const int avgDet = ExtraDetector(kItemAverageDet, main), maxDet = ExtraDetector(kItemMaxHoldDet, main),
            minDet = ExtraDetector(kItemMinHoldDet, main);
  const bool avgOn = Item(kItemAverageOn), maxOn = Item(kItemMaxHold), minOn = Item(kItemMinHold);
  unsigned mask = 1u << main;
  if (avgOn) mask |= 1u << avgDet;
  if (maxOn) mask |= 1u << maxDet;
  if (minOn) mask |= 1u << minDet;
  static float traces[kFftDetectors][kFftTraceValues];
  FftDetect(bins, nbins, start, end, columns, scale, mask, traces);
  std::memcpy(mainTrace_, traces[main], sizeof mainTrace_);
  mainTrace_[0] = mainTrace_[1];

  if (avgOn) {
    const int depth = 1 << std::clamp(Item(kMathItemAverageSel), 1, 9);
    const int frames = std::min(averageCount_, depth);
    const float* x = traces[avgDet];
    for (int i = 0; i < kFftTraceValues; ++i)
      averageTrace_[i] = averageCount_ == 1 ? x[i] : (x[i] + (frames - 1) * averageTrace_[i]) / frames;
    WaveOp.ScreenMathFFTInport(kMathSlot, averageTrace_);
    if (!stopped) averageCount_ = std::min(averageCount_ + 1, kAverageCountMax);
  }
  if (maxOn) {
    const float* x = traces[maxDet];
    for (int i = 0; i < kFftTraceValues; ++i) maxTrace_[i] = std::max(maxTrace_[i], x[i]);
    WaveOp.ScreenMathFFTInport(kMaxHoldSlot, maxTrace_);
  }
  if (minOn) {
    const float* x = traces[minDet];
    for (int i = 0; i < kFftTraceValues; ++i) minTrace_[i] = std::min(minTrace_[i], x[i]);
    WaveOp.ScreenMathFFTInport(kMinHoldSlot, minTrace_);
  }

  if (GetMarkTypeSel()) {
    const float* marked[] = {mainTrace_, averageTrace_, maxTrace_, minTrace_};
    FFTMarkProcess(marked[std::clamp(GetMarkSrc(), 0, 3)], columns, scale.p5, 25.0 / vm);
  }

  FftGrayPara gray;
  gray.zoomed = run.GetTimeBaseType() != 0;
  gray.stopped = stopped;
  gray.largeN = n > kLargeN;
  gray.p5 = scale.p5;
  if (stopped) ClearStopFFTGrayScale();
  if (mode == kFftSplit) GrayMapping(FftView.overviewTrace, FftView.overviewMap, gray);
  GrayMapping(mainTrace_, FftView.mainMap, gray);
  if (Waterfall(mode)) WaterFall(mode, mainTrace_, !stopped);

  fft.newSpectrum = 1;
  FftSpanTexts();
  return 1;
}
