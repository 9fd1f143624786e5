// What the simulated FPGA makes of the time-base words the instrument wrote:
// the acquisition's sample period and pre-divider, screen-column time, memory
// depth, acquisition mode, trigger position and delay, hold-off, roll, the
// zoom window's read words, and whether it runs, is held, waits for a single
// trigger, how often a trigger was forced and a read was pulsed. Decoded from
// the last value of each control word (the pulses from the word log).
#pragma once
#include <cstdint>

namespace plat {

struct SimAcqSettings;

struct SimTimebaseSettings {
  // Sampling.
  bool interpolating = false;  // word 232
  int interpRatio = 0;         // word 236: screen points per ns
  int preDividerCode = 0;      // word 42: 1, 2, 4 or 8
  int preDivider = 0;          // 1, 2, 4 or 5 (0 for an unknown code)
  uint32_t divider = 0;        // words 44/46 as written (doubled in peak detect)
  double samplePeriodNs = 0;   // 1 while interpolating
  double sampleRate = 0;       // samples per second
  // Screen columns.
  uint32_t writeStep = 0;      // words 132/134: samples x 16 per column
  double columnTimeNs = 0;     // time one screen column spans
  int firstColumn = 0, lastColumn = 0;  // words 164, 166
  int32_t readStart = 0;       // words 140/142
  int subSample = 0;           // word 244
  // Memory and mode.
  uint64_t memoryDepth = 0;    // words 124/280, in samples
  int acqModeCode = 0;         // word 40
  int acqMode = -1;            // 0 normal, 1 peak, 2 high resolution, 3 average; -1 unknown
  uint32_t highResStep = 0;    // words 60/62
  uint32_t averageStep = 0;    // words 152/154
  // Trigger position.
  uint32_t preTrigUnits = 0;   // words 50/52, units of 4 samples
  uint64_t preTrigSamples = 0; // samples recorded before the trigger
  double preTrigNs = 0;        // their time
  uint32_t delayUnits = 0;     // words 54/56, units of 4 ns
  double delayNs = 0;          // trigger delay past the record
  bool delayed = false;        // the trigger lies left of the record
  // Hold-off.
  uint32_t holdOffUnits = 0;   // words 226/228, units of 4 ns
  double holdOffSeconds = 0;
  // Roll.
  bool roll = false;           // word 248
  int rollCode = 0;            // word 250
  uint32_t rollDivider = 0;    // words 252/254
  // Channel words.
  int channelWord = 0;         // word 2
  int splitWord = 0;           // word 4
  // Zoom window.
  bool zoomInterpolating = false;  // word 234
  int zoomInterpRatio = 0;         // word 238: zoom points per sample
  uint32_t zoomMainStep = 0;       // words 136/138: step of the main trace
  uint32_t zoomStep = 0;           // words 156/158: step of the zoomed trace
  int32_t zoomReadStart = 0;       // words 144/146
  double zoomFactor = 0;           // word 242: whole(100 x factor) x 8 with the tenths
  int zoomSubSample = 0;           // word 246
  int zoomFirstColumn = 0, zoomLastColumn = 0;  // words 168, 178
  // Display words.
  int formatWord = 0;          // word 120: 1 X-Y
  bool windowRead = false;     // word 130: X-Y or zoom read
  // Run state.
  bool held = false;           // acquisition reset held (word 0 = 1)
  bool paused = false;         // word 128 = 1
  bool running = false;        // neither
  bool single = false;         // sweep word 72 = 3
  int forced = 0;              // force pulses on word 222 in the log
  int readPulses = 0;          // read pulses (word 122 going 1 -> 0) in the log
};

// From the simulated FPGA's words in force (takes its lock: not for code that
// runs under it).
SimTimebaseSettings SimDecodedTimebase();
// From a table of the 1024 control words in force (`words[n]` = the last value
// of word n); the forced-trigger count stays 0.
SimTimebaseSettings SimDecodeTimebaseWords(const uint16_t* words);
// The sample period, column time, depth, trigger address and roll of an
// acquisition made with these settings.
void SimApplyTimebase(const SimTimebaseSettings& t, SimAcqSettings* s);

}  // namespace plat
