// The waveform engine `_wave` (global `WaveOp`): every sample buffer of the
// instrument, and the reads that move samples from the FPGA's acquisition
// memory into them.
//
// Buffers, as the drawing, measurement, storage and SCPI code read them:
// - Raw records (`raw_`): 12 slots of 8192 bytes, 7000 samples each: 0 CH1,
//   1 CH2, 8..11 the references. Filled by `ReadDDRWave`.
// - Screen records (`screen_`): 14 slots of 8192 bytes: the samples of the
//   last screen read (`SetArmReadDDRPara`), or the roll record (7000 samples,
//   written at the roll write index, wrapping).
// - Traces (`GetSerrenMem`): 14 slots of 1400 bytes, ONE layout everywhere:
//   bytes 0..699 the column maxima of columns 0..699, bytes 700..1399 the
//   column minima. Codes 1..254, 127 the screen centre, 25 codes per division
//   (higher codes are higher on screen); 0 in both halves marks a column
//   without data. Slots 0/1 the channels, 5..7 math, 8..11 references, 12 and
//   13 the pass/fail upper and lower templates.
// - The display raster `QelWaveData` (140,000 bytes, read by the main loop):
//   200 rows x 700 columns, row-major, row 0 at the top (code 227), row r
//   showing code 227 - r; a byte holds the intensity level in bits 0-6 (0 =
//   nothing) and the channel in bit 7 (0 CH1, 1 CH2).
// - FFT samples (2,097,152 bytes, the largest FFT length) and bus-decode
//   records (10,240,000 bytes).
//
// Flags the main loop and the modules read: new-wave bits (1 channel data
// read this pass, 2 raster read; `SetNewWaveFlag(4)` clears them), ready bits
// (bit ch: that channel's read completed), the new-read flag (samples wait for
// `WaveProcess`), the requested channel bits (cleared as each read completes).
//
// Locking. One read lock (a recursive mutex) makes every arm-and-drain
// sequence one unit: the arming words, the FIFO drain and the resume, and the
// whole on-demand request (`RequestWaveData`), so reads of the SCPI worker and
// of the main loop never interleave. Copies out of the buffers (`GetWaveData`,
// `ScreenWaveExport`, `GetWaveSceenDataFor16`, `DecodedataExport`,
// `GetFFTWaveData`, `GetWaveMaxMin`) take the same lock, so a buffer is not
// rewritten while another thread copies it. The lock is taken outside the
// board-control semaphore and never while holding it. `GetSerrenMem` hands out
// a trace slot without the lock: for the main thread, which also writes them.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "acquisition/engine/waveinfor.h"

constexpr int kQelRasterBytes = 140000;
// The display raster read from the FPGA after every acquisition.
extern uint8_t QelWaveData[kQelRasterBytes];

class control;
struct _SysRunInfo;

class _wave {
 public:
  static constexpr int kRecordPoints = 7000;
  static constexpr int kSlotBytes = 8192;
  static constexpr int kRawSlots = 12;
  static constexpr int kScreenSlots = 14;
  static constexpr int kTraceSlots = 14;
  static constexpr int kColumns = 700;
  static constexpr int kTraceBytes = 1400;
  static constexpr int kFftBytes = 2097152;
  static constexpr int kNeighbourBytes = 100;
  static constexpr int kInterpBytes = 102400;
  static constexpr int kSharedWorkBytes = 102456;
  static constexpr int kDecodeBytes = 10240000;
  static constexpr int kDecodeStepBytes = 10240;
  static constexpr int kBlock = 32;  // FIFO reads move whole blocks

  _wave();

  int WaveInit(control* ctrl, _SysRunInfo* run);
  std::recursive_mutex& ReadLock() { return mu_; }
  // A read-out of one acquisition in several reads: while held, no read
  // resumes acquisition (the FPGA stays paused from the first read's arming).
  void HoldAcquisition(bool hold) { held_ = hold; }

  // On-demand requests.
  int RequestWaveData(waveinfor* info);
  int RequestAllChData();
  int GetRequestWaveChBit() const;
  int SetWaveRequestType(int type);
  // The main loop's names: the channels to read this pass, a request for
  // channel bits (as flags 4), and the request type reset after a read.
  int GetRequestCh() const { return GetRequestWaveChBit(); }
  void RequestChData(int bits) { requestCh_ |= bits & 3; }
  void ResetRequestType() { requestType_ = 0; }
  // The record requests not served yet (without the standing ones of the
  // guidance and pass/fail), and dropping those a read could not serve.
  int PendingRequestCh() const { return requestCh_; }
  void DropRequestCh(int bits) { requestCh_ &= ~bits; }
  // Asks for `reads` records of `channels` one after the other, each once
  // the main loop has read the one before, so the last was acquired after
  // this call began; the number read within `limitMs` each. For the SCPI
  // worker, which holds the settings lock: let go while it waits.
  int AwaitRecords(int channels, int reads, int limitMs);
  // A kept record whose window a command moved is not drawn again yet: its
  // traces, the read-out's and the measurements' data, stand at the window
  // before. The main loop's next pass draws it.
  bool KeptViewPending() const;

  // Acquisition-memory reads.
  int ReadDDRWave(int ch, int n);
  int SetArmReadDDRPara(int ch, int n);
  int InsertModeReadDDRTrigPos(int ch, int offset, int n);
  // Arms a read of every sample from `offset` samples after the trigger.
  int SetDDRWave_addr(int ch, int32_t offset = 0);
  int GetWave(int ch, uint8_t* buf, int n);
  int GetWave_by_offset(int ch, uint8_t* buf, int n, int resume);
  int GetPartWave(int ch, uint8_t* buf, int offset, int n);
  int GetWaveTest(int ch, int n);
  int GetAllChWaveAverage(int32_t* avg);
  int GetWaveMaxMinForReg(int ch, int* max, int* min);
  int GetWaveMaxMin(int ch, int* max, int* min, int n);

  // Roll.
  int GetRollWaveData();
  void SetRollDataIndex(int i);
  int GetRollDataIndex() const { return rollIndex_; }
  int GetRollLoopFlag() const { return rollLooped_; }
  int SetWaveType(int type);
  int GetWaveType() const { return waveType_; }

  // FFT feed. `RequestFFTData` raises the request `ReadFFTWaveData` serves.
  int ReadFFTWaveData();
  int UpdateFFTWaveDataSample();
  double GetFFTWaveData(uint8_t* buf, int n, double* rate);
  void ClearFFTData();
  void RequestFFTData() { fftRequest_ = 1; }
  int IsFFTRequest() const { return fftRequest_; }

  // Bus-decode data.
  int SetArmReadDDRPara_Decode(int ch, int n);
  int GetWave_Decode(int ch, int offset, int n);
  int DecodedataExport(int ch, uint8_t* buf, int n);
  void DecodedataSetdefault();
  // Drains done so far: a reader tells a new read (which may bring nothing)
  // from the same bytes exported again.
  uint32_t DecodeReadCount() const { return decodeReads_; }
  int GetDecodeCount() const { return decodeCount_; }
  void SetDecodeFocusItem(int i) { decodeFocus_ = i; }
  int GetDecodeFocusItem() const { return decodeFocus_; }
  void ClearDecodeStopRead() { decodeStopRead_ = 0; }
  void SetDecodeStopRead() { decodeStopRead_ = 1; }
  bool IsDecodeStopRead() const { return decodeStopRead_ != 0; }
  bool IsDecodePlayback() const { return decodePlayback_ != 0; }
  void SetDecodePlayback(bool on) { decodePlayback_ = on ? 1 : 0; }

  // Buffers.
  int GetWaveData(int ch, uint8_t* buf, int n);
  int ScreenWaveExport(int ch, uint8_t* buf);
  uint8_t* GetSerrenMem(int slot);
  int GetWaveSceenDataFor16(int slot, uint16_t* buf);
  // The mean code of each column's samples of channel trace `ch` (0/1), on
  // the trace's scale (the average over the frames in average mode); -1 for
  // a column without data. Returns kColumns, or -1 for another slot.
  int GetColumnMeans(int ch, float* out);
  // The same columns of the latest read (not averaged) on the scale the
  // record was acquired with, as the raw record's codes stand (the invert
  // mapping applied, not clamped to the screen): each column's mean code (-1
  // without data), the variance of its samples about that mean (codes
  // squared) and their mean distance from the record's 0 V code. With the
  // means they give the RMS and the area of the samples themselves; a column
  // that is one point of an interpolated curve has variance 0. Measurements
  // of a stopped record shown at another V/div or position take these, with
  // the record's own scale. Returns kColumns, or -1 for another slot.
  int GetRecordColumns(int ch, float* mean, float* variance, float* distance);
  int ClearScreenWave(int slot);
  int ScreenMathWaveInport(int slot, const uint8_t* buf);
  int ScreenMathFFTInport(int slot, const float* values);
  int UserUpdateRefxData(int src, const uint8_t* buf, int n);
  int GetWaveInvertPara(int ch, int* sign, int* offset) const;
  int GetMeasureWaveDataInvertFor16(int ch, uint16_t* buf, int n);
  uint8_t* GetRawMem(int slot);  // raw record slot 0..11 (main thread)

  // Flags and counters.
  void SetNewWaveFlag(int flag);
  int GetNewWaveFlag() const { return newWave_; }
  int GetWaveReady() const { return ready_; }
  void ClearWaveReady() { ready_ = 0; }
  void SetWaveProcessFlag() { newRead_ = 1; }
  void ClearWaveProcessFlag() { newRead_ = 0; }
  int GetWaveProcessFlag() const { return newRead_; }
  int GetOddStartFlag() const { return oddStart_; }
  // The main window's trace of channel 0/1 while the zoom window is shown
  // (the overview above the zoom pane); null for another channel.
  const uint8_t* GetOverviewTrace(int ch) const { return ch == 0 || ch == 1 ? overview_[ch] : nullptr; }
  int GetPointsToRead() const { return pointsToRead_; }
  void RealRunWaveCnt();
  uint32_t GetRealRunWaveCnt() const { return runCount_; }
  void ClearRealRunWaveCnt() { runCount_ = 0; }
  uint32_t RunCount() const { return runCount_; }  // the same count, as the time-base model asks

  // Per-pass processing: the traces of the channels read, the stored
  // records re-rendered, pass/fail and averaging.
  int WaveProcess();
  int WaveProcessSyncDDRDepth();
  int WaveProcessDSO7K();
  // 100-fold band-limited interpolation of n samples: 100 (n - 10) points,
  // point k standing at input position 5 + (k + 0.5) / 100. Fewer than 11
  // inputs write nothing. Returns the points written.
  static int SinxKenerl100(uint8_t* out, const uint8_t* in, int n);
  // k-fold linear interpolation of n samples (k n points); the last sample
  // is held, so nothing past in[n - 1] is read. Returns the points written.
  static int LineInsert(uint8_t* out, const uint8_t* in, int k, int n);
  // The trigger crossing in buf[0..len): 0 and its index, or -1 and 50.
  int GetTGPoint(int mode, int src, const uint8_t* buf, int start, double scale, int len, int* pos);
  // Running average of n-th frame `in` over N frames into `out` (1400 values).
  int AverageProcess(const uint8_t* in, uint8_t* out, int n, int N);

  // Pass/fail.
  int RequestPassFailTemplate(int ch, int h, int v);
  int CreatePassFailTemplate();
  int PassFailCompare();
  int PassFailOnOff(int on);
  int GetPassFailOnOff() const { return pfOn_; }
  void PassFailClearCnt() { pfPass_ = pfFail_ = 0; }
  int GetPassFailTimes(int* pass, int* fail) const;
  int SetPassFailCompareCh(int ch);
  int GetPassFailSoureCh() const { return pfSource_; }
  // Recorder playback on (1) or off (0); with mode 2 it is paused.
  int Decoderecode_play_flag_Set(int on, int mode);
  bool IsPlaybackPaused() const { return playbackPaused_ != 0; }

 private:
  control* Ctrl() const;
  _SysRunInfo* Run() const;
  int Block(int ch) const;  // the horizontal block a channel reads with
  int Status() const;       // channel 0's acquisition status in the run state
  int Reg(int reg) const;   // an FPGA register, -1 when it cannot be read
  int ChannelStatus(int ch) const;  // the channel's 4-bit field of register 770
  int StartOffset(int block) const;
  void Word(int word, int value) const;
  void Resume() const;  // acquisition goes on, unless held or stopped
  void Arm(int readCh, int32_t offset, uint32_t step) const;
  int Drain(int ch, uint8_t* dst, int n, bool resume);
  uint8_t GroundCode(int ch) const;
  void FillGround(int ch, uint8_t* dst, int n) const;
  void Restore(int sweep) const;
  // The vertical mapping of a trace: v = ((sample x sign + offset) - from) x gain + to.
  struct TraceMap {
    int sign = 1, offset = 0;
    double gain = 1.0;
    int from = 127, to = 127;  // selected and in-force position
    double operator()(int sample) const { return FromZero(sample) * gain + to; }
    // The sample's codes from the trace's 0 V, before the gain.
    double FromZero(double sample) const { return (sample * sign + offset) - from; }
  };
  // One column's samples, each as its codes from the trace's 0 V.
  struct ColumnSum {
    double sum = 0, squares = 0, distance = 0;
    int n = 0;
    void Add(double d) {
      sum += d;
      squares += d * d;
      distance += d < 0 ? -d : d;
      ++n;
    }
  };
  TraceMap MapOf(int ch) const;
  int BuildTrace(int ch);
  void BuildInterpolated(int ch, const TraceMap& m, int first, int last);
  void BuildRealTime(int ch, const TraceMap& m, int first, int last);
  // Columns first..last of `t` from `count` entries of `rec` at s entries a
  // column (`work` takes the linear interpolation of a fractional s); the
  // columns' means go to channel meanCh's (-1: none).
  void BuildColumns(const uint8_t* rec, double s, int count, uint8_t* work, uint8_t* t, const TraceMap& m,
                    int first, int last, int meanCh);
  void ArmScreenRead(int ch, int32_t offset, uint32_t step) const;
  static uint32_t RealTimeStep(double s, double* recorded);
  void PutColumn(uint8_t* trace, const TraceMap& m, int x, int hi, int lo) const;
  void PutMean(int ch, const TraceMap& m, int x, const ColumnSum& c);
  bool StoppedView(int ch) const;
  void RecordView(int ch);
  int ReReadStopped(int ch);
  void AverageTrace(int ch, bool fresh);
  int AverageInto(float* acc, const uint8_t* in, uint8_t* out, int n, int N);
  int RenderStored(int src);
  int DrainDecode(uint32_t selector, int length);

  // State, in the order of the record.
  std::atomic<uint32_t> runCount_{0};
  std::atomic<int> newWave_{0};
  int oddStart_ = 0;
  std::atomic<int> requestCh_{0};
  std::atomic<int> requestType_{0};
  std::atomic<int> ready_{0};
  int waveType_ = 2;
  std::atomic<int> newRead_{0};
  std::atomic<bool> held_{false};
  int rollLooped_ = 0;
  int rollIndex_ = 0;
  int lastBlock_ = 0;
  int pointsToRead_ = 0;
  int fftStep_ = 1;
  control* ctrl_ = nullptr;
  _SysRunInfo* run_ = nullptr;
  int pfOn_ = 0, pfTemplateRequested_ = 0, pfSource_ = 0, pfTemplateCh_ = 0;
  int pfHTolerance_ = 5, pfVTolerance_ = 5, pfPass_ = 0, pfFail_ = 0;
  double fftRate_ = 0;
  std::atomic<int> fftRequest_{0};
  double readSpp_[2] = {};  // samples per point of each channel's last screen read
  int readPoints_[2] = {};  // samples of each channel's last screen read
  // Interpolated reads: the exact window start minus the whole-sample start
  // read, in samples, so the processing can shift by the fraction.
  double readResidue_[2] = {};
  // Trigger point of this pass's interpolated traces (the trigger channel's
  // crossing, used by the other channel too).
  int tgPos_ = 50;
  bool tgFound_ = false;
  int tgToggle_ = 0;  // the alternating slope of the "either" search
  // Averaging: frames taken per channel and what they were taken with.
  int avgFrames_[2] = {};
  uint64_t avgKey_[2] = {};
  uint32_t avgRun_[2] = {};  // the acquisition count at the last frame
  // The zoom window's overview: each channel's read of the main window.
  double overviewSpp_[2] = {};
  int overviewPoints_[2] = {};
  // The stopped view each channel's trace was last built for.
  int64_t viewKey_[2][4] = {};

  uint8_t fft_[kFftBytes];
  uint8_t neighbour_[2][kNeighbourBytes];
  uint8_t raw_[kRawSlots][kSlotBytes];
  uint8_t screen_[kScreenSlots][kSlotBytes];
  uint8_t trace_[kTraceSlots][kTraceBytes];
  uint8_t overviewRead_[2][kSlotBytes];
  uint8_t overview_[2][kTraceBytes];
  float average_[2][kTraceBytes];  // one accumulator per channel
  float colMean_[2][kColumns];     // each column's mean code, -1 without data
  // On the record's scale: the mean code (-1 without data), its samples'
  // variance about the mean and mean distance from the 0 V code.
  float recMean_[2][kColumns];
  float colVariance_[2][kColumns] = {};
  float colDistance_[2][kColumns] = {};
  uint8_t interp_[kRawSlots][kInterpBytes];
  uint8_t shared_[kSharedWorkBytes];
  uint8_t decode_[kDecodeBytes];
  uint8_t rollTemp_[kSlotBytes];
  uint8_t decodeDrop_[kDecodeStepBytes];

  int decodeCount_ = 0;
  std::atomic<uint32_t> decodeReads_{0};
  int decodeFocus_ = 0;
  uint8_t decodePlayback_ = 0;
  uint8_t decodeStopRead_ = 0;
  uint8_t playbackPaused_ = 0;

  mutable std::recursive_mutex mu_;
};

extern _wave WaveOp;
