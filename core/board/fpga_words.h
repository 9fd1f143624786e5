// The FPGA's control words (written, 16 bits each) and status registers
// (read), by address. A 32-bit value goes in a pair: its low half at the
// named word, its high half at the word 2 above (`fpga::High`). A "pulse"
// word is written 1 then 0 (or 0, 1, 0) to take what was set before it.
// The simulated FPGA decodes these addresses with numbers of its own, so it
// checks this map rather than repeating it.
#pragma once

namespace fpga {

// The high half of a 32-bit pair whose low half is at `low`.
constexpr int High(int low) { return low + 2; }

enum Word : int {
  // Board.
  kReset = 0,     // 1 holds the acquisition logic in reset, 0 releases it
  kChannel = 2,   // active channel; with the independent time base, the block (0 CH1, 1 CH2)
                  // the time-base words that follow belong to
  kSplit = 4,     // multi-scope: 1 split screen
  kLeds = 6,      // the panel's channel and run LEDs (control::LedWord)
  kProbe = 8,     // any value: read back at kProbeEcho when the FPGA answers
  kSerialSelect = 10,  // serial device behind the FPGA: 1 PLL, 2 DACs
  kPllStrobe = 12,     // 0, then 1 takes the PLL data words
  kPllDataLow = 14,
  kPllDataHigh = 16,
  kAdcStrobe = 18,     // 0, then 1 takes the ADC data and address
  kAdcData = 20,
  kAdcAddress = 22,    // ADC << 8 | register (ADC 128: both)
  kFrontEndStrobe = 24,  // 0, then 1 takes the front-end word
  kFrontEndLow = 26,     // the analogue front-end word (control::FrontEndWord), bits 0-15
  kFrontEndHigh = 28,    // bits 16-23
  kPllReset = 30,        // pulse: restarts the PLL
  kDacStrobe = 32,       // 0, then 1 takes the DAC word
  kDacData = 34,         // value | 0x1000 | the DAC's output bits
  kChannelsOn = 38,      // 4 when a channel is on
  kAcqMode = 40,         // AcqModeWord(): 0 normal, 1 peak, 2 high resolution, 4 average

  // Sampling (pairs: low half here, high half 2 above).
  kPreDivider = 42,   // the sample clock's pre-divider code
  kDivider = 44,      // pair: sample clock divider
  kTrigSource = 48,   // trigger source: 0 CH1, 1 CH2, 3 external
  kPreTrigger = 50,   // pair: pre-trigger length in units
  kDelay = 54,        // pair: trigger delay in units
  kComparatorArm = 58,  // 0 then 1: arms the trigger comparator's edge latch (kComparator)
  kHighResStep = 60,  // pair: 2^32 / samples averaged in high resolution
  kUtilityOut = 64,   // the square-wave output's frequency (the utility menu's Square item)
  kPassFailOut = 66,  // pulse: the pass/fail output
  kOutputSelect = 70, // the rear output: 0 trigger out, 1 pass/fail
  kSweep = 72,        // sweep mode: 0 auto, 1 normal, 2 single (2 also: auto-set measuring),
                      // 3 while the mode changes
  kDvmSource = 74,    // the voltmeter's source

  // Trigger.
  kVideoLine = 76,
  kVideoStandard = 78,
  kVideoSync = 80,
  kTrigWhen = 82,      // the When condition (window position, setup/hold selection)
  kTrigType = 84,
  kTrigLevelA = 88,    // CH1 level byte | CH2 << 8 (the second level of two-level types)
  kTrigLevelB = 90,
  kTrigSlope = 92,
  kViewUpdate = 94,    // 0 after the view words of a time-base change
  kTrigCoupling = 96,  // coupling code (0 DC, 1 AC, 4 LF reject, 2 HF reject) at 4 bits a channel
  kAdcResetStrobe = 100,  // pulse: resets the ADCs
  kTrigTime1 = 102,    // pair: the trigger's first time limit
  kCounterClear = 106,  // frequency counters 0 and 2: 1, 0, 1 starts a count
  kCounterGate = 108,   // their gate time
  kCounterPeriod = 110,
  kAverage = 112,       // the averaging count
  kCounter1Clear = 114,
  kActiveCh = 116,      // the channel the read-out favours (0 CH1, 1 CH2)

  // Display and read-out.
  kDisplayType = 118,    // the run state's display word (vectors, dots)
  kDisplayFormat = 120,  // 0 YT, 1 XY
  kReadArm = 122,        // pulse: takes the read-out set-up and re-arms the acquisition
  kMemDepthLow = 124,    // memory depth in thousands, bits 0-15 (bits 16-31 at kMemDepthHigh)
  kDisplayWord2 = 126,   // the run state's second display word (persistence); 10: raster test mode
  kPause = 128,          // 1 pauses the acquisition, 0 resumes it
  kWindowRead = 130,     // 1 reads the zoom window (XY and zoom views)
  kWriteStep = 132,      // pair: record points per screen column, x16
  kZoomMainStep = 136,   // pair
  kReadStart = 140,      // pair: first record point shown
  kZoomReadStart = 144,  // pair
  kReadOffset = 148,     // pair: the read-out's first point
  kAverageStep = 152,    // pair
  kZoomStep = 156,       // pair
  kReadStep = 160,       // pair: the read-out's step
  kFirstColumn = 164,
  kLastColumn = 166,
  kZoomFirstColumn = 168,
  kRasterRead = 170,     // pulse: the raster is read
  kRecFast = 172,        // the recorder's fast mode while recording; 0 stops recording or playback
  kReadChannel = 176,    // channel the read-out reads (1 CH1, 2 CH2; its own code for decode data)
  kZoomLastColumn = 178,

  // Frame recorder.
  kRecEnable = 184,      // 1 records acquisitions into the frame memory
  kRecShowFirst = 188,   // pair: the frame to show (taken while kReadArm is 1)
  kRecShowLast = 192,    // pair: the same frame again
  kRecEndFrame = 196,    // pair: frames to record
  kRecInterval = 200,    // pair: ticks of 4 ns between frames, plus the FPGA's 25

  // Vertical.
  kInvert = 204,         // bit 0 CH1, bit 1 CH2
  kGround = 206,         // bit per channel: input grounded
  kGroundLevel = 208,    // the grounded channels' level codes
  kGainLoad = 210,       // 1 before a configuration, 3 loads the fine gains
  kPositionBytes = 212,  // CH1 position byte | CH2 << 8
  kFineGainCh1 = 214,
  kFineGainCh2 = 216,
  kSoftOffsetCh1 = 218,
  kSoftOffsetCh2 = 220,

  // Trigger (continued) and time base.
  kForceTrigger = 222,   // 0, 1, 0: one trigger now
  kTrigHysteresis = 224, // 0x0606 normal, 0x1010 fine
  kHoldOff = 226,        // pair: hold-off in 4 ns units
  kRecStopPlay = 230,    // 1 stops the recorder's playback
  kInterpolate = 232,    // 1 interpolating (the start address is taken while it is 1)
  kZoomInterpolate = 234,
  kInterpRatio = 236,
  kZoomInterpRatio = 238,
  kInterpColumn = 240,   // column time x800 ps while interpolating
  kZoomFactor = 242,     // percent: whole << 3 | tenths
  kSubSample = 244,
  kZoomSubSample = 246,
  kRoll = 248,           // 1 roll mode
  kRollCode = 250,
  kRollDivider = 252,    // pair
  kTrigTime2 = 260,      // pair: the trigger's second time limit
  kNthEdge = 264,
  kTrigSource2 = 266,    // second source (delay, setup/hold data, pattern)
  kDelayEdge1 = 268,
  kTrigSource3 = 270,
  kDelayEdge2 = 272,
  kPatternCodeCh1 = 274,
  kPatternCodeCh2 = 276,
  kMemDepthHigh = 280,
  kCounter1Gate = 286,
  kCounter1Period = 288,

  // Serial-bus trigger and decode (kBusWordFirst..kBusWordLast, and the CAN
  // and LIN words kCanLinWordFirst..kCanLinWordLast in the run state).
  kBusType = 294,        // 0 RS232, 1 I2C, 2 SPI, 3 CAN, 4 LIN
  kBusBitTime = 296,     // pair
  kBusSamplesPerBit = 300,  // pair
  kBusFlags = 308,
  kBusData = 310,
  kI2cAddress = 312,
  kI2cSetting = 314,
  kI2cData = 316,        // three words, then the mask's three at kI2cMask
  kI2cMask = 324,
  kI2cAddress2 = 332,
  kI2cSources = 334,
  kSpiConfig = 336,
  kSpiFrame = 338,
  kSpiData = 344,        // eight words
  kBusData8 = 350,       // CAN and LIN: four words of data, highest word first
  kSpiMask = 360,        // eight words
  kBusMask8 = 366,
  kSpiSources = 376,
  kCanKind = 528,
  kCanId = 530,          // identifier bits 28-18 (a standard one's 10-0) in 0-10, flags 11-13,
                         // an extended one's bits 1-0 in 15-14
  kCanIdMask = 532,      // the mask of kCanId's identifier bits, in the same places
  kCanIdHigh = 534,      // an extended identifier's bits 17-2
  kCanIdMaskHigh = 536,
  kLinConfig = 538,
  kLinId = 540,
  kLinFlags = 542,
};

enum Reg : int {
  kAdcSync = 286,       // the ADCs' phase-sync state in bits 0-1 (read at the kCounter1Gate address)
  kBoardStatus = 768,   // 4 PLL locked, 8 DDR ready
  kAcqStatus = 770,     // CH1 state in bits 0-3, CH2 in bits 4-7
  kComparator = 772,    // bit 0: the trigger comparator saw an edge since kComparatorArm;
                        // bit 1: CH2 has edges; the counters' signal presence
  kRecComplete = 774,   // 1: the recorder has recorded its frames
  kRecCount = 776,      // pair: frames recorded
  kProbeEcho = 780,     // the last kProbe word; 0 from an FPGA that is not loaded
  kFifoReady = 782,     // 1: read-out data waiting
  kRollWaiting = 784,   // roll points waiting
  kCounterStatus = 786, // frequency counters' done and ready bits
  kMax = 788,           // auto-set maximum codes: CH1 low byte, CH2 high byte
  kMin = 792,           // minimum codes, the same
  kFifoLevel = 800,     // signed: read-out words waiting; 0xFFFF ends decode data
  kDone = 804,          // bit 0: acquisition done (common time base)
  kCounter0 = 806,      // cycles, clocks, period at 806, 810, 814 (pairs)
  kDrawStatus = 820,    // bits 8-11: the drawing state (5 idle)
  kRecShown = 822,      // pair: the frame shown
  kRollIndexLow = 826,
  kRollIndexHigh = 828,
  kLogicSubVersion = 830,   // the FPGA logic's version: minor, then major at kLogicVersion
  kLogicVersion = 832,
  kSecondEnd = 834,     // decode data: the second buffer's end
  kSecondReady = 836,   // 1: the second decode buffer waits
  kCounter1 = 838,      // at 838, 842, 848
  kIndependDone = 846,  // 3: acquisition done (independent time base)
  kCounter2 = 852,      // at 852, 856, 860
};

}  // namespace fpga
