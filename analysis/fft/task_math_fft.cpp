// The math module's FFT frame on the main loop: posts the FFT source's record
// to the worker, takes its spectrum, reduces the shown bins to screen columns
// by the detectors, keeps the average, max-hold and min-hold traces (screen
// traces 5, 6 and 7), finds the marks and paints the intensity maps and the
// waterfall. While stopped a key recomputes the kept spectrum (the chosen
// waterfall slice in the waterfall modes).
#include <algorithm>
#include <cstring>

#include "acquisition/engine/wave.h"
#include "acquisition/models/y_system.h"
#include "acquisition/tables/voltage_tables.h"
#include "analysis/fft/fft_display.h"
#include "analysis/fft/fft_kit.h"
#include "analysis/fft/fft_marks.h"
#include "analysis/fft/fft_process.h"
#include "analysis/fft/fft_span.h"
#include "analysis/fft/fft_thread.h"
#include "analysis/fft/fft_view.h"
#include "analysis/fft/math_fft_menu.h"
#include "analysis/math/math_calc.h"
#include "analysis/math/task_math.h"
#include "core/messages/settings_lock.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"

using namespace fft_kit;

namespace {
constexpr int kMaxHoldSlot = 6, kMinHoldSlot = 7;
constexpr int kAverageCountMax = 8192;
constexpr int kLargeN = 16384;
constexpr float kMaxHoldReset = -23768.0f, kMinHoldReset = 32768.0f;

bool Waterfall(int mode) { return mode == kFftWaterfall1 || mode == kFftWaterfall2; }

// The marks read the unclamped traces: the main trace, the average, the
// max-hold and the min-hold (upper values, screen codes).
float g_markTraces[4][kFftColumns];
// Rms volts per (x k) of the window the last spectrum was made with.
double g_postedGain = 1.0, g_gain = 1.0;

// What a request is built from, read under the settings lock.
struct FftRequestSettings {
  int points;
  int window;
  int offset;
  uint32_t discards;  // FFT_Para::discards when read
};

// No request in flight: the worker reads none of the request's fields now.
bool RequestIdle(uint32_t flags) {
  return flags == 0 || ((flags & kFftDiscard) && !(flags & kFftRequest));
}

// Posts the request unless one waits or a drop was asked for since `s` was
// read (a new length: the next pass posts with the settings in force).
// Copies the source's record and works out the window on a change: long at
// deep lengths and changing no setting, so it runs with the settings lock
// let go, under the request's lock only (taken after the settings lock,
// never before it). `windowType` and `rate` take the posted window's type and
// the record's sample rate.
void PostRequest(const FftRequestSettings& s, int* windowType, double* rate) {
  SettingsLetGo posting;
  FFT_Para& p = FftPara;
  std::lock_guard<std::mutex> lock(p.lock);
  if (!RequestIdle(p.flags) || p.discards != s.discards) return;
  const int n = s.points;
  p.samples.resize(size_t(n));
  WaveOp.GetFFTWaveData(p.samples.data(), n, rate);
  if (int(p.window.size()) != n || s.window != *windowType) {
    p.window.resize(size_t(n));
    FftWinCalculation(s.window, n, p.window.data());
    *windowType = s.window;
    g_postedGain = FftWindowGain(p.window.data(), n);
  }
  p.offset = s.offset;
  p.points = n;
  p.flags |= kFftRequest;
  FftWakeWorker();
}

void ResetMarkTrace(int kind) {
  static constexpr float kResetValue[] = {0.0f, 0.0f, kMaxHoldReset, kMinHoldReset};
  std::fill(std::begin(g_markTraces[kind]), std::end(g_markTraces[kind]), kResetValue[kind]);
}
}  // namespace

int TaskForMath::ClearDetectionWave(short kind) {
  switch (kind) {
    case 1:
      std::fill(std::begin(averageTrace_), std::end(averageTrace_), 0.0f);
      averageCount_ = 1;
      break;
    case 2: std::fill(std::begin(maxTrace_), std::end(maxTrace_), kMaxHoldReset); break;
    case 3: std::fill(std::begin(minTrace_), std::end(minTrace_), kMinHoldReset); break;
    default: return -1;
  }
  ResetMarkTrace(kind);
  return 0;
}

void TaskForMath::ClearFFTGrayScale() {
  for (int s : {kMathSlot, kMaxHoldSlot, kMinHoldSlot}) WaveOp.ClearScreenWave(s);
  ClearStopFFTGrayScale();
  std::memset(mainTrace_, 0, sizeof mainTrace_);
  std::fill(std::begin(averageTrace_), std::end(averageTrace_), 0.0f);
  std::fill(std::begin(maxTrace_), std::end(maxTrace_), kMaxHoldReset);
  std::fill(std::begin(minTrace_), std::end(minTrace_), kMinHoldReset);
  for (int kind = 0; kind < 4; ++kind) ResetMarkTrace(kind);
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
    FftRequestSettings request{n, Item(kMathItemFftWindow), Vertical.GetRealYposition(src), 0};
    bool idle;
    {
      std::lock_guard<std::mutex> lock(p.lock);
      idle = RequestIdle(p.flags);
      request.discards = p.discards;
    }
    if (idle) {
      double rate = sampleRate_;
      int windowType = windowType_;
      PostRequest(request, &windowType, &rate);
      sampleRate_ = rate;
      windowType_ = windowType;
      // A command that ran meanwhile and changed what this frame shows
      // leaves the result to the next pass, which reads the settings anew.
      if (run.GetAcquireStatus(0) == kAcqStopped || (fft.source == 1 ? 1 : 0) != src ||
          !(run.GetChStatus() >> src & 1) || int(MathFftPoints(Item(kMathItemFftPoints))) != n ||
          fft.screen != mode)
        return 0;
    }
    {
      std::lock_guard<std::mutex> lock(p.lock);
      if (!(p.flags & kFftDone)) return 0;
      p.flags &= ~kFftDone;
      if (p.flags & kFftDiscard) {
        p.flags &= ~kFftDiscard;
        ClearFFTGrayScale();
        return 0;
      }
      FftView.last.swap(p.result);
      g_gain = g_postedGain;
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
  // Volts at the probe tip: the source's V/div times its probe ratio.
  const double vs =
      VoltsPerDiv(Vertical.GetYsensitivity(src)) * double(Vertical.GetYRealProbeScale(src));
  const double vm = VoltsPerDiv(Vertical.GetRealYsensitivity(kMathSlot));
  scale.k = vs / kFftCodesPerDiv;
  scale.gain = g_gain;
  scale.db = Item(kMathItemFftVertical) == 1;
  scale.r = kFftCodesPerDiv / vm;
  if (mode == kFftSplit) FftOverviewTrace(bins, nbins, scale, FftView.overviewTrace);

  const int end = std::min<int>(int(fft.endBin), nbins - 1);
  const int start = std::min<int>(int(fft.startBin), std::max(0, end - 1));
  const int columns = mode == kFftIndependent ? 500 : kFftColumns;
  // The main detector, and those of the average, max-hold and min-hold
  // traces (0 off, else detector + 1).
  const FftDetectors det = FftDetectorChoice();
  const int main = det.main;
  unsigned mask = 1u << main;
  for (int d : {det.average, det.maxHold, det.minHold})
    if (d > 0) mask |= 1u << (d - 1);
  static float traces[kFftDetectors][kFftTraceValues];
  static float raw[kFftDetectors][kFftColumns];
  {
    // Long on a deep spectrum, and on what this pass alone reads and writes:
    // remote commands run meanwhile.
    SettingsLetGo detecting;
    FftDetect(bins, nbins, start, end, columns, scale, mask, traces, raw);
  }
  std::memcpy(mainTrace_, traces[main], sizeof mainTrace_);
  mainTrace_[0] = mainTrace_[1];
  std::copy(std::begin(raw[main]), std::end(raw[main]), g_markTraces[kMarkSrcMain]);

  if (det.average > 0) {
    const int depth = 1 << std::clamp(det.depth, 1, 9);
    const int frames = std::min(averageCount_, depth);
    const float* x = traces[det.average - 1];
    for (int i = 0; i < kFftTraceValues; ++i)
      averageTrace_[i] = averageCount_ == 1 ? x[i] : (x[i] + (frames - 1) * averageTrace_[i]) / frames;
    float* a = g_markTraces[kMarkSrcAverage];
    const float* r = raw[det.average - 1];
    for (int c = 0; c < kFftColumns; ++c) a[c] = averageCount_ == 1 ? r[c] : (r[c] + (frames - 1) * a[c]) / frames;
    WaveOp.ScreenMathFFTInport(kMathSlot, averageTrace_);
    if (!stopped) averageCount_ = std::min(averageCount_ + 1, kAverageCountMax);
  }
  if (det.maxHold > 0) {
    const float* x = traces[det.maxHold - 1];
    for (int i = 0; i < kFftTraceValues; ++i) maxTrace_[i] = std::max(maxTrace_[i], x[i]);
    for (int c = 0; c < kFftColumns; ++c)
      g_markTraces[kMarkSrcMaxHold][c] = std::max(g_markTraces[kMarkSrcMaxHold][c], raw[det.maxHold - 1][c]);
    WaveOp.ScreenMathFFTInport(kMaxHoldSlot, maxTrace_);
  }
  if (det.minHold > 0) {
    const float* x = traces[det.minHold - 1];
    for (int i = 0; i < kFftTraceValues; ++i) minTrace_[i] = std::min(minTrace_[i], x[i]);
    for (int c = 0; c < kFftColumns; ++c)
      g_markTraces[kMarkSrcMinHold][c] = std::min(g_markTraces[kMarkSrcMinHold][c], raw[det.minHold - 1][c]);
    WaveOp.ScreenMathFFTInport(kMinHoldSlot, minTrace_);
  }

  if (GetMarkTypeSel())
    FFTMarkProcess(g_markTraces[std::clamp(GetMarkSrc(), 0, 3)], columns, scale.p5, scale.r);

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
