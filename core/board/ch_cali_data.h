// The channel calibration block: the image of the calibration file
// "/home/user/Hardware/ChCaliDataForQEL2200KS.bin", read whole at start-up and
// written back by the self-calibration. Little-endian, 440 records of 532
// bytes; record number = channel x 110 + V/div index (+ 22 for the second
// group). Only V/div indices 3..16 carry data; the rest of a record is free.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr const char* ChCaliDataName = "/home/user/Hardware/ChCaliDataForQEL2200KS.bin";

constexpr int kCaliRecordBytes = 532;
constexpr int kCaliRecords = 440;
constexpr int kCaliFileBytes = kCaliRecordBytes * kCaliRecords;  // 234,080
constexpr int kCaliChannelStride = 110;
constexpr int kCaliGroupStride = 22;
constexpr int kCaliFirstRange = 3;   // 1 mV/div
constexpr int kCaliLastRange = 16;   // 20 V/div
constexpr int kCaliTempOffset = 1740;  // f32: temperature of the self-calibration
constexpr float kCaliPointCodes = 75.0f;  // level and position codes between calibration points
constexpr float kCaliExtFactor = 3.0f;

// Trigger level calibration of one reference (DC- or AC-referenced).
struct CaliTrigSub {
  uint16_t zero;        // +0 DAC code at level 0
  uint16_t word1;       // +2
  uint16_t up75;        // +4 DAC code at level +75
  uint16_t word3;       // +6
  uint16_t down75;      // +8 DAC code at level -75
  uint16_t word5;       // +10
  uint16_t reserved0[4];
  uint16_t offsetZero;  // +20 DAC code at level 0 with the channel position moved
  uint16_t reserved1[9];
};
static_assert(sizeof(CaliTrigSub) == 40 && offsetof(CaliTrigSub, offsetZero) == 20, "trigger sub-record");

struct CaliRecord {
  uint8_t reserved0[92];
  uint16_t centreDac;   // 92 offset-DAC code that puts the trace at position 127
  uint16_t centrePos;   // 94 position measured there
  uint16_t upperDac;    // 96 upper calibration point
  uint16_t upperPos;    // 98
  uint16_t lowerDac;    // 100 lower calibration point
  uint16_t lowerPos;    // 102
  uint16_t adcGain1;    // 104 ADC gain word 1 (coarse)
  uint16_t adcGain2;    // 106 ADC gain word 2 (fine)
  uint8_t reserved1[24];
  float upperSlope;     // 132 derived
  float lowerSlope;     // 136 derived
  uint32_t reserved2;
  float selfCaliTemperature;  // 144, meaningful in record 3 of channel 0 only
  uint8_t reserved3[32];
  CaliTrigSub trigDc;   // 180
  float trigUpFactor;   // 220 derived
  float trigDownFactor; // 224 derived
  float trigPosFactor;  // 228 derived
  uint8_t reserved4[36];
  CaliTrigSub trigAc;   // 268
  uint8_t reserved5[8];
  float trigAcPosFactor;  // 316 derived
  uint8_t reserved6[36];
  CaliTrigSub extDc;    // 356, channel 0's records
  float extDcFactor[2]; // 396, 400: 3.0 at load
  uint8_t reserved7[40];
  CaliTrigSub extAc;    // 444, channel 0's records
  float extAcFactor[2]; // 484, 488: 3.0 at load
  uint8_t reserved8[40];
};
static_assert(sizeof(CaliRecord) == kCaliRecordBytes, "calibration record");
static_assert(offsetof(CaliRecord, centreDac) == 92 && offsetof(CaliRecord, adcGain2) == 106 &&
                  offsetof(CaliRecord, upperSlope) == 132 && offsetof(CaliRecord, trigDc) == 180 &&
                  offsetof(CaliRecord, trigUpFactor) == 220 && offsetof(CaliRecord, trigPosFactor) == 228 &&
                  offsetof(CaliRecord, trigAc) == 268 && offsetof(CaliRecord, trigAcPosFactor) == 316 &&
                  offsetof(CaliRecord, extDc) == 356 && offsetof(CaliRecord, extDcFactor) == 396 &&
                  offsetof(CaliRecord, extAc) == 444 && offsetof(CaliRecord, extAcFactor) == 484,
              "calibration record offsets");
static_assert(kCaliFirstRange * sizeof(CaliRecord) + offsetof(CaliRecord, selfCaliTemperature) == kCaliTempOffset,
              "self-calibration temperature at file byte 1740");

struct CaliDataForCh {
  CaliRecord rec[kCaliRecords];

  // The record of (channel, V/div index, group), or null outside the file.
  CaliRecord* Record(int ch, int range, int group = 0) {
    int n = ch * kCaliChannelStride + range + group * kCaliGroupStride;
    return ch < 0 || range < 0 || group < 0 || group > 1 || range >= kCaliGroupStride || n >= kCaliRecords
               ? nullptr
               : &rec[n];
  }
};
static_assert(sizeof(CaliDataForCh) == kCaliFileBytes, "calibration file size");

// Computes the derived values of both channels and both groups from the stored
// codes. Zero or equal calibration points give a zero slope, never an infinity
// or a NaN; a non-finite stored temperature is read as 0.
void DeriveChCaliData(CaliDataForCh* cal);

extern CaliDataForCh ChSelfCaliData;
