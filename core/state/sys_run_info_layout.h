// The run-state record `_SysRunInfo`: every live setting of the instrument.
//
// The record is also a file format: setup files, waveform files and SCPI setup
// blocks carry it byte for byte, and the board (32-bit ARM) and the PC must
// read each other's images. So it holds fixed-width fields only (no pointers,
// long, bool, time_t or timeval), little-endian, every field at its natural
// alignment with the padding written out, and the offsets are checked below.
// Reserved bytes are kept zero and stored as they are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "core/board/fpga_words.h"
#include "core/common/unit_convert.h"

static_assert(sizeof(FloatElement) == 16 && offsetof(FloatElement, unit) == 8,
              "FloatElement is {f64 mantissa, i16 unit} padded to 16 bytes");

constexpr int kRunInfoBytes = 17456;
constexpr int kRunInfoClearedHead = 3104;  // bytes SysRunInit clears
constexpr int kSourceBlocks = 12;          // vertical and horizontal blocks
constexpr int kWaveSlots = 14;
constexpr int kLanguages = 20;
constexpr int kLanguageText = 20;
constexpr int kMathText = 50;
constexpr int kTrigLevelSources = 6;
constexpr int kSoftTrigSources = 12;
constexpr int kCymometers = 4;

// A time stamp as the board's 32-bit timeval.
struct RunTimeStamp {
  int32_t sec;
  int32_t usec;
};

// One trigger level of a source.
struct TrigLevel {
  int16_t code;        // 25 codes per division
  uint16_t value8;     // comparator value, clamp(code + 127, 0, 255)
  int16_t drawPos;     // draw position
  uint16_t reserved0;
  float voltage;
  uint32_t reserved1;
  FloatElement voltageText;
};
static_assert(sizeof(TrigLevel) == 32, "trigger level");

struct TrigLevelBlock {
  TrigLevel level[2];  // first, second
};

// Level voltages of a channel source (0/1) and their difference.
struct TrigLevelVoltage {
  double level[2];
  double difference;  // level 1 - level 0
  FloatElement levelText[2];
  FloatElement differenceText;
};
static_assert(sizeof(TrigLevelVoltage) == 72, "level voltages");

struct Rs232Trigger {
  int16_t source;
  uint16_t reserved0;
  float ticksPerBit;  // 100 MHz clock / baud
  int16_t polarity;
  int16_t dataWidth;
  int16_t bitOrder;
  int16_t stopBits;
  int16_t parity;
  int16_t when;
  int16_t data;
  uint16_t reserved1;
  float samplesPerBit;  // sample rate / baud
  int32_t baud;
};
static_assert(sizeof(Rs232Trigger) == 32, "RS232 block");

struct I2cTrigger {
  int16_t sclSource;
  int16_t sdaSource;
  int16_t direction;
  int16_t when;
  int16_t addressMode;
  int16_t address;
  int16_t address2;  // the second address value
  int16_t dataCount;
  uint8_t data[5];
  uint8_t mask[5];
  uint16_t reserved0;
};
static_assert(sizeof(I2cTrigger) == 28, "I2C block");

struct SpiTrigger {
  int16_t sclkSource;
  int16_t ssSource;  // always 0
  int16_t mosiSource;
  int16_t misoSource;
  int16_t ssPolarity;  // always 0
  int16_t sclkEdge;
  int16_t mosiPolarity;
  int16_t misoPolarity;
  int16_t bitOrder;
  int16_t bitWidth;
  int16_t when;
  uint16_t reserved0;
  uint32_t idleTime;
  int16_t dataLength;  // words
  uint16_t data[8];    // 128 bits
  uint16_t mask[8];
  uint16_t reserved1;
};
static_assert(sizeof(SpiTrigger) == 64 && offsetof(SpiTrigger, idleTime) == 24, "SPI block");

struct CanTrigger {
  int16_t source;
  int16_t signalType;
  int16_t when;
  uint16_t reserved0;
  float samplesPerBit;
  int32_t baud;
  float ticksPerBit;
  int16_t idFormat;
  int16_t direction;
  int16_t dataCount;
  uint8_t data[8];
  uint8_t mask[8];
  uint8_t idBits[29];  // one per bit, 0 or 1
  uint8_t idMask[29];
};
static_assert(sizeof(CanTrigger) == 100, "CAN block");

struct LinTrigger {
  int16_t source;
  int16_t polarity;
  int16_t version;
  uint16_t reserved0;
  float samplesPerBit;
  int32_t baud;
  float ticksPerBit;
  int16_t idParity;
  int16_t lengthMode;
  int16_t lengthValue;
  int16_t dataCount;
  int16_t when;
  int16_t errorSel;
  uint8_t idBits[8];
  uint8_t idMask[8];
  uint8_t data[8];
  uint8_t mask[8];
};
static_assert(sizeof(LinTrigger) == 64, "LIN block");

// Copies of the serial-bus control words last sent, read by the bus decoder.
constexpr int kBusWordFirst = fpga::kBusType, kBusWordLast = fpga::kSpiSources;
constexpr int kCanLinWordFirst = fpga::kCanKind, kCanLinWordLast = fpga::kLinFlags;
constexpr int BusWordIndex(int word) { return (word - kBusWordFirst) / 2; }
constexpr int CanLinWordIndex(int word) { return (word - kCanLinWordFirst) / 2; }

// The FFT settings block the math module publishes.
struct FftSettings {
  uint16_t newSpectrum;  // 1: a new spectrum is ready
  uint16_t source;       // 0/1
  uint16_t screen;       // 0 full, 1 split, 2 independent, 3/4 waterfall
  uint16_t columns;      // display columns (500 or 700)
  uint32_t points;
  uint32_t startBin;
  uint32_t endBin;
  uint16_t itemText[4][20];  // UTF-16 texts of the menu items 66, 67, 71, 72
  uint32_t reserved0;
  double binWidthHz;
  double hzPerColumn;
  char label1[80];
  char label2[80];
  char startText[20];
  char centreText[20];
  char endText[20];
  char scaleText[7][12];
  uint16_t scaleUnit;
  char unitLabel[20];
  int16_t overviewMark[2];  // start and end bin on the split overview
  uint8_t reserved1[30];
};
static_assert(sizeof(FftSettings) == 560 && offsetof(FftSettings, binWidthHz) == 184, "FFT block");

struct WaveSlot {
  uint16_t row;
  uint16_t height;
};

// Vertical block of one source (0 CH1, 1 CH2, 5 math, 8..11 references).
struct VerticalBlock {
  uint16_t on;
  uint16_t coupling;  // 0 DC, 1 AC, 2 GND
  uint16_t unit;      // 0 V, 1 A, 2 W, 3 U
  uint16_t reserved0;
  uint16_t invert;  // 0, 0x101, or 0x2xx while stopped; low byte 1 = inverted
  uint16_t bwLimit;
  uint16_t vdivSelected;      // V/div index of the kept record
  int16_t positionSelected;   // position of the kept record
  uint32_t reserved1;
  float baseVdiv;             // Voltage[index], without probe
  int16_t position;           // in force, -73..327, 127 = centre
  uint16_t probeSelected;
  uint16_t probe;             // in force, 0..6, 7 custom
  uint16_t reserved2;
  float probeRatio;
  float probeRatioCopy;
  float customProbeRatio;
  uint16_t vdivIndex;         // in force, into Voltage
  uint16_t vernierOn;
  uint16_t vernierVdiv[2];
  float vernierCoeff;
  float baseVdivCopy;
  float vdivShown;            // volts/div the screen uses
  float vdivVolts;            // volts/div in force
  uint32_t reserved3;
  FloatElement vdivElement;
  float dcOffset;
  float offsetVoltage;        // (position - 127) x volts/div / 25
  FloatElement offsetElement;
  FloatElement dcVoltageElement;
  uint32_t positionByte;      // last sent in word 212
  uint32_t softOffset;        // last sent in word 218/220
  uint32_t fineGain;          // last sent in word 214/216
  char label[9];
  uint8_t reserved4[3];
};
static_assert(sizeof(VerticalBlock) == 152, "vertical block");

// Horizontal block of one source.
struct HorizontalBlock {
  uint16_t state;         // AdjSample sets 2
  uint16_t timeBase;      // selected: the index of the last acquisition
  uint16_t realTimeBase;  // in force
  uint16_t zoomTimeBase;
  uint32_t depthThousands;
  uint32_t readStep[2];
  int32_t pointsToRead;
  int32_t triggerScreenPos;  // 350 - offset in points
  int32_t reserved0;
  float sampleRate;          // Sa/s in force
  float screenPointRate;     // points per second
  float adcBaseRate;         // 1e9
  float interpMultiplier;    // 100 interpolating, else 1
  float samplesPerPoint;
  float shownSamplesPerPoint;
  float interpFactor;
  float divider;
  float preDivider;
  float zoomFactor;
  float zoomMultiplier;
  float acqSamplesPerPoint[2];  // acquisition copies
  uint32_t reserved1;
  double samplePeriodNs;
  double offsetTime;  // trigger offset, seconds
  FloatElement offsetTimeText;
  double acqOffsetTime[2];
  int16_t indicatorLeft;  // record indicator, 192-pixel bar
  int16_t indicatorRight;
  int16_t indicatorMiddle;
  int16_t indicatorTrigger;
  int16_t firstColumn;  // first and last data column
  int16_t lastColumn;
  uint32_t reserved2[3];
  double autoDepth;  // automatic memory depth, points
  int64_t preTrigSelected;
  int64_t preTrigDepth;   // in force
  int64_t preTrigReady;
  int64_t preTrigSecond;  // copy of the second stopped state (status 8)
  int64_t zoomPreTrig;
  int64_t acqPreTrig[2];
  int64_t recordStart, recordEnd;
  int64_t screenStart, screenEnd;
  int64_t displayStart, displayEnd;
  int64_t interpStart, interpEnd;
  int64_t zoomRecordStart, zoomRecordEnd;
  int64_t zoomScreenFirst, zoomScreenLast;
  int64_t zoomPosition;
  int64_t stopMovePos;
  int64_t acqScreenStart[2], acqScreenEnd[2];
  double zoomRatio;
  int64_t zoomVisibleStart, zoomVisibleEnd;
  uint8_t reserved3[344];
  int64_t holdOff;  // 4 ns steps
  uint8_t reserved4[264];
};
static_assert(sizeof(HorizontalBlock) == 1008, "horizontal block");
static_assert(offsetof(HorizontalBlock, autoDepth) == 160 && offsetof(HorizontalBlock, holdOff) == 736,
              "horizontal block offsets");

struct _SysRunInfo {
  // Acquisition and sources.
  uint16_t acqStatus[2];      // 0-3 running, 4 stopped, 5 slow scan, 8/9 knob change
  uint16_t reserved0[2];
  uint16_t sourceOn;          // bit 0 CH1, 1 CH2, 6/7 FFT hold, 8-11 refs, 0x2000 source 12
  uint16_t sourceOnSnapshot;  // of the last shown acquisition
  uint16_t liveChannelMask;   // on and not stopped
  uint16_t taskWaveBits;      // extra task waves shown
  int16_t workCh;
  int16_t workChSnapshot;
  uint16_t liveAnalogCount;
  int16_t activeCh;    // -1 when no source is on
  uint16_t acqMode;          // 0-3
  uint16_t memDepthIndex;    // 0-6
  uint16_t averageIndex;     // 0-12
  uint16_t waveType;         // 1 normal, 2, 3 roll
  uint16_t rollFlag;
  uint16_t cursorOn;
  uint16_t cursorType;
  uint16_t displayType;
  uint16_t displayFormat;  // 0 Y-T, 1 X-Y
  uint16_t graticule;
  uint16_t persistence;
  uint16_t horiMode;       // 1 normal, 3 roll
  uint32_t readBlockSize;  // 8192 at start-up
  uint16_t displayWord;    // sent in word 118
  uint16_t displayWord2;   // sent in word 126
  uint16_t reserved1[5];

  // Trigger settings, in the order the trigger module fills them.
  int16_t trigType;  // 0-11 analog, 12 RS232, 13 I2C, 14 SPI, 15 CAN, 16 LIN
  int16_t trigSource;
  int16_t trigSource2;  // delay source 1, setup/hold data source
  int16_t trigSource3;  // delay source 2, setup/hold clock source
  int16_t delayEdge1;
  int16_t delayEdge2;
  int16_t slope;  // slope or polarity
  int16_t reserved2;
  int16_t when;  // also the slope rate selector
  int16_t windowPos;
  int16_t reserved3;
  uint32_t sourceCode[4];
  int16_t setupHoldSel;
  int16_t videoStandard;
  int16_t videoSync;
  int16_t videoLine;
  int16_t alternateTrig;
  int16_t trigMode;      // 0 auto, 1 normal, 2 single
  int16_t trigCoupling;
  int16_t trigLevelSel;  // level the knob moves: 0, 1, 2 both
  int32_t nthEdgeCount;
  int16_t trigAdjFlag;
  int16_t reserved4;
  uint32_t timeValue1;  // lower limit, 4 ns units (ns for pulse)
  uint32_t timeValue2;  // upper limit
  TrigLevelVoltage levelVoltage[2];
  double slewRate[2];
  FloatElement slewRateText[2];
  uint8_t reserved5[16];
  uint16_t waveRestoreWords[7];  // restored from stored waveforms
  uint16_t reserved6;
  TrigLevelBlock levelBlock[kTrigLevelSources];
  uint16_t softTrigValue[kSoftTrigSources];
  uint16_t reserved7[9];

  // Views, math and menu.
  uint16_t timeBaseType;  // 0 main, 1 zoom
  uint16_t guidance;
  uint16_t mathType;      // 0-4
  char mathVoltage[kMathText];
  char mathExpression[kMathText];
  uint16_t measureMasterSource;
  uint16_t reserved8;
  uint16_t menuShown;
  uint16_t menuTimeCode;  // 0 5 s, 1 10 s, 2 20 s, 3 never
  uint16_t independentTimeBase;
  uint16_t independentSplit;
  uint16_t keyPushed;
  uint16_t drawRefresh;
  uint8_t startupMark;    // 255 at start-up
  uint8_t reserved9;
  uint16_t language;
  uint16_t transparent;
  uint16_t usbDisk;
  uint16_t lanCable;
  uint16_t testWaveSel;
  uint16_t horiPoints;
  uint16_t newAcquisition;
  uint32_t acquisitionCount;  // FPGA signals
  uint16_t printScreenFormat;
  uint16_t reserved10[3];
  uint64_t funcBits;
  uint16_t customerFlag;  // 1 "/udisk/Storage/", 0 "/udisk/KOLV/"
  uint16_t reserved11[3];
  uint16_t cymometerOn;
  uint16_t reserved12[3];
  double cymometerValue[kCymometers];
  FloatElement cymometerElement[kCymometers];
  char cymometerText[kCymometers][20];
  int32_t year, month, day, hour, minute, second;  // UTC
  FftSettings fft;

  // Serial-bus trigger settings and the bus words last sent.
  Rs232Trigger rs232;
  I2cTrigger i2c;
  SpiTrigger spi;
  CanTrigger can;
  LinTrigger lin;
  uint16_t busWord[(kBusWordLast - kBusWordFirst) / 2 + 1];
  uint16_t canLinWord[(kCanLinWordLast - kCanLinWordFirst) / 2 + 1];
  uint8_t reserved13[12];

  WaveSlot waveSlot[kWaveSlots];
  RunTimeStamp lastSignalTime;    // last FPGA signal
  RunTimeStamp positionTime;      // last vertical position change
  RunTimeStamp menuTime;          // last menu activity
  RunTimeStamp trigLevelTime;     // last trigger level change
  RunTimeStamp timeBaseAdjTime;   // time-base-adjusted flag raised
  uint8_t reserved14[40];

  // Temperature, debug and device.
  uint16_t temperatureShown;
  uint16_t debugMsg;
  uint16_t debugPrint;
  uint16_t debugPicture;
  uint16_t reserved15[2];
  uint16_t adcPhase[4];
  uint16_t reserved16;
  uint16_t temperatureComp;
  uint32_t reserved17;
  float boardTemperature;  // degrees C
  uint8_t oem;             // 1: the device information names the maker's own brand
  uint8_t reserved18[2];
  uint8_t bandwidthClass;  // 1 the 200 MHz model, 0 the 100 MHz model
  uint8_t reserved19;
  uint8_t passFail;
  uint16_t recordToVideo;
  int32_t recordTotal;
  uint16_t timeBaseAdjFlag;
  uint16_t factoryMode;
  char languageName[kLanguages][kLanguageText];
  char languageType[kLanguages][kLanguageText];

  VerticalBlock vertical[kSourceBlocks];
  HorizontalBlock horizontal[kSourceBlocks];
  uint8_t reserved20[432];
};

static_assert(std::is_standard_layout<_SysRunInfo>::value && std::is_trivially_copyable<_SysRunInfo>::value,
              "the record is plain data");
static_assert(sizeof(_SysRunInfo) == kRunInfoBytes, "run-state record size");

#define RUNINFO_AT(field, offset) \
  static_assert(offsetof(_SysRunInfo, field) == (offset), "run-state offset of " #field)
RUNINFO_AT(acqStatus, 0);
RUNINFO_AT(sourceOn, 8);
RUNINFO_AT(sourceOnSnapshot, 10);
RUNINFO_AT(taskWaveBits, 14);
RUNINFO_AT(workCh, 16);
RUNINFO_AT(workChSnapshot, 18);
RUNINFO_AT(activeCh, 22);
RUNINFO_AT(acqMode, 24);
RUNINFO_AT(memDepthIndex, 26);
RUNINFO_AT(averageIndex, 28);
RUNINFO_AT(waveType, 30);
RUNINFO_AT(rollFlag, 32);
RUNINFO_AT(cursorOn, 34);
RUNINFO_AT(cursorType, 36);
RUNINFO_AT(displayType, 38);
RUNINFO_AT(displayFormat, 40);
RUNINFO_AT(graticule, 42);
RUNINFO_AT(persistence, 44);
RUNINFO_AT(readBlockSize, 48);
RUNINFO_AT(trigType, 66);
RUNINFO_AT(trigSource, 68);
RUNINFO_AT(when, 82);
RUNINFO_AT(sourceCode, 88);
RUNINFO_AT(trigMode, 114);
RUNINFO_AT(trigCoupling, 116);
RUNINFO_AT(trigLevelSel, 118);
RUNINFO_AT(nthEdgeCount, 120);
RUNINFO_AT(trigAdjFlag, 124);
RUNINFO_AT(timeValue1, 128);
RUNINFO_AT(levelVoltage, 136);
RUNINFO_AT(slewRateText, 296);
RUNINFO_AT(slewRateText[1], 312);
RUNINFO_AT(waveRestoreWords, 344);
RUNINFO_AT(levelBlock, 360);
RUNINFO_AT(softTrigValue, 744);
RUNINFO_AT(timeBaseType, 786);
RUNINFO_AT(guidance, 788);
RUNINFO_AT(mathType, 790);
RUNINFO_AT(mathVoltage, 792);
RUNINFO_AT(mathExpression, 842);
RUNINFO_AT(measureMasterSource, 892);
RUNINFO_AT(menuShown, 896);
RUNINFO_AT(menuTimeCode, 898);
RUNINFO_AT(independentTimeBase, 900);
RUNINFO_AT(independentSplit, 902);
RUNINFO_AT(keyPushed, 904);
RUNINFO_AT(drawRefresh, 906);
RUNINFO_AT(startupMark, 908);
RUNINFO_AT(language, 910);
RUNINFO_AT(transparent, 912);
RUNINFO_AT(usbDisk, 914);
RUNINFO_AT(lanCable, 916);
RUNINFO_AT(testWaveSel, 918);
RUNINFO_AT(horiPoints, 920);
RUNINFO_AT(newAcquisition, 922);
RUNINFO_AT(acquisitionCount, 924);
RUNINFO_AT(printScreenFormat, 928);
RUNINFO_AT(funcBits, 936);
RUNINFO_AT(customerFlag, 944);
RUNINFO_AT(cymometerOn, 952);
RUNINFO_AT(cymometerValue, 960);
RUNINFO_AT(cymometerText, 1056);
RUNINFO_AT(year, 1136);
RUNINFO_AT(second, 1156);
RUNINFO_AT(fft, 1160);
RUNINFO_AT(fft.source, 1162);
RUNINFO_AT(fft.screen, 1164);
RUNINFO_AT(rs232, 1720);
RUNINFO_AT(waveSlot, 2120);
RUNINFO_AT(lastSignalTime, 2176);
RUNINFO_AT(menuTime, 2192);
RUNINFO_AT(temperatureShown, 2256);
RUNINFO_AT(debugMsg, 2258);
RUNINFO_AT(debugPrint, 2260);
RUNINFO_AT(debugPicture, 2262);
RUNINFO_AT(adcPhase, 2268);
RUNINFO_AT(temperatureComp, 2278);
RUNINFO_AT(boardTemperature, 2284);
RUNINFO_AT(oem, 2288);
RUNINFO_AT(bandwidthClass, 2291);
RUNINFO_AT(passFail, 2293);
RUNINFO_AT(recordToVideo, 2294);
RUNINFO_AT(recordTotal, 2296);
RUNINFO_AT(timeBaseAdjFlag, 2300);
RUNINFO_AT(factoryMode, 2302);
RUNINFO_AT(languageName, 2304);
RUNINFO_AT(languageType, 2704);
RUNINFO_AT(vertical, 3104);
RUNINFO_AT(horizontal, 4928);
#undef RUNINFO_AT

// Offsets inside the blocks, and the blocks' strides.
static_assert(offsetof(VerticalBlock, coupling) == 2 && offsetof(VerticalBlock, unit) == 4 &&
                  offsetof(VerticalBlock, invert) == 8 && offsetof(VerticalBlock, bwLimit) == 10 &&
                  offsetof(VerticalBlock, probe) == 28 && offsetof(VerticalBlock, vdivIndex) == 44 &&
                  offsetof(VerticalBlock, label) == 140,
              "vertical block offsets");
static_assert(offsetof(HorizontalBlock, timeBase) == 2 && offsetof(HorizontalBlock, realTimeBase) == 4,
              "horizontal block offsets");
static_assert(offsetof(_SysRunInfo, horizontal) + kSourceBlocks * sizeof(HorizontalBlock) +
                      sizeof(_SysRunInfo::reserved20) == kRunInfoBytes,
              "the blocks end the record");
