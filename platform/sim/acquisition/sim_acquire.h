// Acquisitions of the simulated FPGA: from the test signals (volts at the BNC,
// sim_signals.h, sim_signal_file.h) and the settings in force it makes each
// acquisition, triggered where the trigger settings say, and answers the reads
// of the waveform engine the way the instrument reads them.
//
// Record. Acquisition memory holds `depth` samples centred on record address
// kRecordCentre (35,000,000); the trigger sits at `triggerAddress`. Sample
// codes: 8 bits, the channel's zero code (127 = screen centre) for 0 V, 25
// codes per division, rounded and clamped to 0..255 (the ADC clips a signal
// beyond its range at 0 and 255); AC coupling removes the signal's mean, GND
// gives the zero code. Invert (control word 204) mirrors the display raster
// only (255 - code): acquisition memory keeps the samples as taken, 0 V at the
// mirrored position the offset DAC was set for, and the instrument's invert
// mapping turns them over. The record is not stored: each sample is worked
// out from the acquisition's snapshot of
// signals and settings, so any read gives the same bytes for one acquisition.
//
// Run control, decoded from the board-level control words:
//   0     1 holds acquisition in reset; 1 -> 0 restarts sampling (arms single)
//   128   1 pauses acquisition (no acquisition finishes), 0 resumes
//   72    sweep: bit 0 normal (wait for a trigger), bit 1 single (one
//         acquisition, then none until sampling restarts); 0 auto
//   222   0 -> 1 forces the next acquisition (untriggered if need be)
//   170   1 while the display raster is read; a finished acquisition is held
//         (the next one does not replace it) until its raster is read or
//         sampling restarts
//   38    bits 2-3: the channels drawn into the raster (CH1 only until written)
//   116   the active channel, drawn on top in the raster
//   126   persistence: how long the raster keeps the cells earlier
//         acquisitions lit (sim_raster_persist.h)
// Register 804 bit 0 rises with every finished acquisition (and the finished
// signal is raised); control word 0 = 1 clears it.
// Register 770: per channel 4 bits (CH1 bits 0-3, CH2 bits 4-7), the same for
// both: 1 auto (the last acquisition found no trigger), 2 triggered (a single
// sweep's acquisition too), 3 armed (a normal sweep waiting for its trigger),
// 4 single armed and waiting.
// The trigger sample is the first sample after the trigger crossing: the
// crossing lies a fraction of a sample period before it, a different fraction
// every acquisition, as a sample clock that runs free of the signal gives.
//
// Read-out FIFO (selector 64). A read is armed by control word 122 going
// 1 -> 0 with the read parameters in force: 176 read channel (1 CH1, 2 CH2,
// 5 bus decode), 148/150 start offset (signed 32 bits, low half first) from
// the trigger address (from the record start when the trigger lies left of
// the record: a trigger delay), 160/162 the read step (samples x 16, tenths in
// the low 4 bits; 16 = every sample). The FIFO then streams the samples at
// start, start + step, ... of the last finished acquisition. Register 782
// bit 0 is set while it holds bytes, register 800 gives the bytes waiting (at
// most kFifoBytes).
//
// Bus-decode reads (read channel 5): register 782 reads 1, register 800 gives
// the bytes waiting in decode FIFO kDecodeSelector (whole 32-byte blocks, at
// most 10,240), or 0xFFFF (-1, the end marker) once it is empty; register 836
// (second decode FIFO) reads 0. Arming a decode read queues the records of
// the bus traffic on the inputs (sim_bus_decode.h) behind any bytes a test
// loaded with SimFpga::LoadBlock(kDecodeSelector, ...).
//
// Display raster (selectors 0 and 2048): 200 rows x 700 columns, row-major
// (byte r x 700 + x). Column x shows the samples of record addresses
// kRecordCentre + (x - 350) x s .. + s, s = samples per column; raster row
// r = 227 - code (codes 28..227; others are off the grid). A byte holds the
// intensity level in bits 0-6 (0 = nothing) and the channel in bit 7 (0 CH1,
// 1 CH2); where both channels are drawn the active channel wins. The level
// grows with the share of the column's samples that pass through the cell.
// A read pulse (word 122 going 1 -> 0) takes the display words: a kept
// acquisition is drawn again in the window and at the gain and position they
// give, zoomed or averaged as they say (SimRasterView).
// Registers 788 and 792: the maximum and minimum codes over the screen window
// (low byte CH1, high byte CH2).
//
// Roll (settings.roll): no records are made; while running, each channel's
// roll FIFO (selector 128 CH1, 192 CH2) fills at 10 samples per screen column
// (10 / columnNs x 1e9 per second), up to kRollFifoBytes (the oldest bytes are
// dropped); register 784 gives CH1's bytes waiting. The samples follow the
// signals and channel settings as they are when each is taken: a change of
// either (the signal file re-read, a test's signal, a range or position)
// applies from the next sample on, the signals keeping their time. Pausing
// (word 128 = 1, the stop) keeps the roll in acquisition memory as the last
// acquisition, at the sample period and depth in force and untriggered: from
// the record start until the roll has filled a record, then ending at its
// newest sample (made with the signals and settings in force at the stop).
//
// Pacing. Real time: an acquisition finishes a record time (plus the wait for
// the trigger; 40 ms without one in auto) after the last, never faster than
// the screen's 60 frames a second (after sampling restarts: the record time
// alone, at least a millisecond), times the pacing scale. Unpaced: the next acquisition
// finishes as soon as sampling restarts, acquisition resumes or the raster of
// the last one has been read. On demand: only SimFpga::AcquireNow makes one.
// Until a test chooses, the board paces in real time, or on demand when the
// tests' virtual clock is on.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/sim/acquisition/sim_raster_persist.h"
#include "platform/sim/acquisition/sim_signal_file.h"
#include "platform/sim/acquisition/sim_signals.h"
#include "platform/sim/trigger/sim_trigger_search.h"

namespace plat {

constexpr int64_t kRecordCentre = 35000000;
constexpr int64_t kMemorySamples = 70000000;

struct SimChannelSetting {
  double voltsPerDiv = 0.5;  // the hardware range, volts per division at the BNC
  double zeroCode = 127.0;   // code of 0 V (the offset DAC's position)
  int coupling = 0;          // 0 DC, 1 AC, 2 GND
  bool invert = false;
};

// What the acquisitions are made with, decoded from the control words in force.
struct SimAcqSettings {
  SimChannelSetting ch[2];
  double samplePeriodNs = 1.0;             // ADC sample period
  double columnNs = 10000.0;               // one screen column (a division is 50)
  int64_t depth = 7000000;                 // record samples
  int64_t triggerAddress = kRecordCentre;  // record address of the trigger point
  // Interpolating, the trigger point to a fraction of a sample (the display
  // is drawn from it); otherwise triggerAddress.
  double triggerPoint = double(kRecordCentre);
  int trigSource = 0;                      // 0 CH1, 1 CH2, 3 external
  int trigSlope = 0;                       // 0 rising, 1 falling, 2 either
  double trigLevelV = 0.0;                 // at the source's BNC
  int trigCoupling = 0;                    // 1 and 3 AC-referenced: level from the mean
  SimTriggerCondition trigCondition;       // the type's condition (edge: none)
  double holdOffS = 0.0;                   // after a trigger, none for this long
  bool roll = false;
  // 0 normal; 1 peak detect: samples in pairs, the highest then the lowest
  // value the ADC (1 GSa/s) saw over the pair's time; 2 high resolution: each
  // sample the mean of what the ADC saw over its own time; 3 average.
  int acqMode = 0;
  // Multi-scope (the independent time-base configuration): CH2 is acquired
  // with a time base of its own, and each channel triggers on itself at its
  // own comparator level (its byte of word 88) with the trigger slope in force.
  bool independent = false;
  double samplePeriodNs2 = 1.0;
  double columnNs2 = 10000.0;
  int64_t depth2 = 7000000;
  int64_t triggerAddress2 = kRecordCentre;
  // Display words: the X-Y format (word 120) and the split screen (word 4).
  bool xy = false;
  bool split = false;
};

// One finished acquisition: the signals and settings it was made with.
struct SimAcquisition {
  uint64_t serial = 0;
  SimAcqSettings set;
  TestSignal sig[kSignalInputs];
  double phase[kSignalInputs] = {};  // cycles of each input at the trigger sample
  double ownPhase[2] = {};           // multi-scope: each channel at its own trigger
  bool triggered = false;
  double lag = 0;  // sample periods from the trigger crossing to the trigger sample


  double SamplesPerColumn(int ch = 0) const;
  double TriggerAddress(int ch) const;  // of channel ch's record
  // Where the read offsets of channel ch count from: the trigger address, or
  // the record start when the trigger lies left of the record (a delay).
  int64_t ReadBase(int ch) const;
  double Volts(int input, double address) const;  // the signal at a record address
  uint8_t Code(int ch, double address) const;     // the sample code stored there
  uint8_t ScreenCode(int ch, double address) const;  // as the raster draws it (inverted)
  // Code() and ScreenCode() of `n` record addresses at once: the same
  // values, worked out a block at a time (the reads and the raster use these).
  void Codes(int ch, const double* addresses, size_t n, uint8_t* out) const;
  void ScreenCodes(int ch, const double* addresses, size_t n, uint8_t* out) const;
};

// How the raster shows an acquisition: the windows of the record and the
// vertical rescale the display words give (SimRasterViewOf). By default the
// acquisition's own screen window, as drawn while it was made.
struct SimRasterView {
  // Columns first..last of one window show record addresses from `origin`
  // on, `spp` samples a column (the others stay empty); `own` is the
  // acquisition's own window (column 350 at the record centre).
  struct Window {
    bool own = true;
    double origin = 0, spp = 1;
    int first = 0, last = 699;
  };
  Window main;
  // Zoom: rows 0-59 the main window, rows 60-199 the zoom window.
  bool zoom = false;
  Window zoomed;
  // Average mode: each column one point, the mean of its samples.
  bool average = false;
  // Per channel, a code c is drawn at pivot + (c - pivot) x gain + soft: a
  // kept record rescaled and moved to the volts/div and position now shown.
  double gain[2] = {1.0, 1.0};
  double pivot[2] = {127.0, 127.0};
  int soft[2] = {0, 0};
};

// The view of acquisition `a` the control words `now` (a table of all of
// them) ask for, the words in force when it was made being `made`: the main
// window of words 140/142 (read start from the trigger, from the record start
// when the trigger lies left of it), 132/134 (step, x16 with tenths), 164/166
// (first and last column) or, interpolating (word 232), 240 (236 before it is
// written) and 244, once they differ from those it was made with; zoom (word
// 130 = 1 outside X-Y) with the zoom window of 144/146, 136/138 x 156/158 (or
// 238, 246), 168/178; average mode
// (word 40 = 4 with an average step 152/154 above one sample); the fine
// gains 214/216 over those it was made with, about the position bytes of
// word 212, and the soft offsets 218/220.
SimRasterView SimRasterViewOf(const SimAcquisition& a, const uint16_t* now, const uint16_t* made);
// Whether two tables of the control words agree in every word a view is
// decoded from (a read pulse that changes none of them makes no new view).
bool SimRasterViewWordsSame(const uint16_t* a, const uint16_t* b);

// Builds the display raster (kRasterBytes) of an acquisition for the channels
// in `mask` (bit 0 CH1, bit 1 CH2), the active channel on top; the maxima and
// minima of the drawn channels' codes over the screen window in max[ch], min[ch].
//   Split multi-scope screen: CH1 in rows 0-99, CH2 in rows 100-199, each at
//   half height.
//   X-Y format: rows 0-59 the Y-T strip (both channels at 60/200 height),
//   rows 60-199 the X-Y square of 140 x 140 cells, CH1 across (cell column c
//   at raster column 5c) and CH2 up, codes 27..227 over the 140 cells.
void SimBuildRaster(const SimAcquisition& a, int mask, int activeCh, uint8_t* raster, uint8_t* max,
                    uint8_t* min, const SimRasterView& view = SimRasterView{});
// The maximum and minimum codes of one channel over the screen window, in
// max[ch], min[ch] (for a channel the raster does not draw).
void SimChannelExtremes(const SimAcquisition& a, int ch, uint8_t* max, uint8_t* min);

class SimAcquire {
 public:
  enum class Pacing { kDefault, kRealTime, kUnpaced, kOnDemand };

  static constexpr size_t kRasterBytes = 140000;
  static constexpr size_t kFifoBytes = 8192;
  static constexpr size_t kRollFifoBytes = 8192;
  static constexpr uint32_t kDecodeSelector = 256;
  static constexpr int kDecodeReadChannel = 5;
  static constexpr int64_t kAutoTimeoutUs = 40000;

  // The control words in force, whether each has been written, and the last
  // codes latched into the four DACs (-1 never).
  struct Words {
    const uint16_t* value;
    const bool* written;
    const int* dac;
    uint32_t frontEnd;  // the latched front-end word
    const uint16_t* value2 = nullptr;  // multi-scope: CH2's time-base words (null otherwise)
    const uint16_t* adcGain = nullptr;  // each ADC's gain register (sim_frontend_errors.h)
  };

  SimAcquire();

  // Everything below runs under the simulated FPGA's lock.
  void SetPacing(Pacing p, double scale);
  Pacing GetPacing() const { return pacing_; }
  void SetSignalTime(int64_t nowUs, double seconds) { epochUs_ = nowUs - int64_t(std::llround(seconds * 1e6)); }
  void SetSettings(const SimAcqSettings& s);  // a test's settings, used from now on
  void ClearSettings();                         // back to the decoded ones
  // The settings the next acquisition is made with: a test's, or those decoded
  // from the time-base, trigger and channel words once they have been written
  // (the start-up defaults of SimAcqSettings until then).
  SimAcqSettings CurrentSettings(const Words& w) const;

  // A control word was written (already in `w`); `old` its value before.
  // True when an acquisition finished because of it.
  bool OnWord(uint16_t word, uint16_t old, const Words& w, int64_t nowUs, TestSignal* signals);
  // Real-time pacing: makes the acquisition that is due. True when one finished.
  bool Tick(const Words& w, int64_t nowUs, TestSignal* signals);
  // Makes one acquisition now unless held in reset, paused or done with a
  // single one; triggered when the trigger finds its edge, untriggered
  // otherwise. True when one finished.
  bool AcquireNow(const Words& w, int64_t nowUs, TestSignal* signals);
  int64_t NextDueUs() const { return dueUs_; }
  // Whether an acquisition waits for its raster to be read (no next one until then).
  bool Unread() const { return unread_; }
  // Whether a write of a control word (from `old` to `value`) may let the
  // clock acquire sooner: a reset or pause let go, a force, another sweep.
  // Taking the raster does so through Unread; a hold needs no wake (the
  // clock finds it when it next looks).
  static bool WakesClock(uint16_t word, uint16_t old, uint16_t value);
  // A recorded acquisition shown again (the recorder's playback): it becomes
  // the last acquisition, its raster drawn anew.
  void Replay(const SimAcquisition& a, int64_t nowUs);

  // Registers the acquisitions answer (770, 782, 784, 788, 792, 800, the roll
  // write index 826/828); false for any other.
  bool Reg(uint16_t reg, const Words& w, int64_t nowUs, TestSignal* signals, uint16_t* value);
  // Reads the raster, the read-out FIFO or a roll FIFO: the bytes written
  // (fewer than length when the FIFO runs dry; 0 for another selector).
  size_t ReadBlock(uint32_t selector, uint8_t* dest, size_t length, const Words& w, int64_t nowUs,
                   TestSignal* signals);
  int ReadChannel() const { return readCh_; }  // of the armed read (0 none)
  double ReadAddress() const { return readAddress_; }  // its first record address

  const SimAcquisition& Last() const { return last_; }
  uint64_t Count() const { return last_.serial; }
  int Status() const { return status_; }
  // Drawing status of register 820 bits 8-11: busy (1) while the raster of
  // a new acquisition is drawn, idle (5) otherwise.
  int DrawingCode(int64_t nowUs) const { return nowUs < drawUntilUs_ ? kDrawBusy : kDrawIdle; }
  static constexpr int kDrawIdle = 5, kDrawBusy = 1;
  static constexpr int64_t kDrawUs = 2000;

 private:
  bool Running(const Words& w) const;
  bool Make(const Words& w, int64_t nowUs, TestSignal* signals, bool force);
  int64_t CycleUs(const SimAcqSettings& s, const TestSignal* signals) const;
  void ArmRead(const Words& w);
  void SpanRead(uint8_t* dest, size_t n);
  void Render(const Words& w);
  void Extremes(const Words& w);  // max_ and min_ of both channels
  void UpdateRoll(const Words& w, int64_t nowUs, TestSignal* signals);
  size_t RollPending(int ch) const;
  size_t ReadRoll(int ch, uint8_t* dest, size_t length);
  double Seconds(int64_t us) const { return double(us - epochUs_) * 1e-6; }

  Pacing pacing_ = Pacing::kDefault;
  double scale_ = 1.0;
  bool haveSettings_ = false;
  SimAcqSettings settings_;
  SimSignalFile file_;
  int64_t epochUs_;

  SimAcquisition last_;
  bool unread_ = false;      // finished, its raster not read yet
  bool singleDone_ = false;  // single sweep: no more until sampling restarts
  bool force_ = false;
  int status_ = 1;
  int64_t dueUs_ = 0;
  int64_t drawUntilUs_ = 0;  // the raster is drawn until then
  int64_t madeUs_ = 0;       // when the last acquisition was made

  // The armed read.
  int readCh_ = 0;
  double readAddress_ = 0;
  double readStep_ = 1;
  // Average mode: each point read is the mean of this many record samples
  // from its address (the average step of words 152/154); 1 otherwise.
  double readSpan_ = 1;
  int64_t readLeft_ = 0;

  // Raster of the last acquisition, built when first read.
  std::vector<uint8_t> raster_;
  uint64_t renderedSerial_ = ~0ull, renderedView_ = ~0ull;
  // The control words in force when the last acquisition was made, and at
  // the last read pulse since (word 122 going 1 -> 0): the raster shows it
  // with the view these give (SimRasterViewOf); a new one counts viewSerial_.
  std::vector<uint16_t> madeWords_, viewWords_;
  uint64_t viewSerial_ = 0;
  void TakeViewWords(const Words& w, bool made);
  int renderedMask_ = -1, renderedActive_ = -1;
  uint8_t max_[2] = {}, min_[2] = {};
  uint64_t extremesSerial_[2] = {~0ull, ~0ull};  // acquisition max_/min_ hold, per channel
  SimRasterPersist persist_;

  // Roll stream.
  bool rolling_ = false;
  int64_t rollLastUs_ = 0;
  double rollCarry_ = 0;
  int64_t rollProduced_ = 0;
  int64_t rollConsumed_[2] = {};
  // The samples from `from` on are made with `snap` (signals and settings,
  // phases at the roll's start), until the next piece's `from`.
  struct RollPiece {
    int64_t from = 0;
    SimAcquisition snap;
  };
  std::vector<RollPiece> rollPieces_;
  long double rollStartS_ = 0;  // signal time of the roll's first sample
  double rollRate_ = 0;         // samples per second
  void AddRollPiece(const SimAcqSettings& s, const TestSignal* signals);
  void KeepRoll(const Words& w, int64_t nowUs);
};

}  // namespace plat
