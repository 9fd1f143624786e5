// The record with which a module asks the waveform engine for data
// (`_wave::RequestWaveData`).
#pragma once
#include <cstdint>

// Request flags.
enum : uint16_t {
  kWaveReqRecordMask = 0x01,   // only store mask and type; the next main-loop read takes them
  kWaveReqCopy = 0x02,         // copy samples into the caller's buffers
  kWaveReqRecordMask2 = 0x04,  // as 0x01
  kWaveReqTrace = 0x08,        // with 0x02: read for the screen and return the 1400-byte trace
  kWaveReqMaxMin = 0x10,       // read the FPGA's maximum and minimum registers
  kWaveReqAverage = 0x20,      // the averages of both channels
};

struct waveinfor {
  uint16_t flags;
  uint16_t chMask;      // bit 0 channel 1, bit 1 channel 2
  uint16_t max[2];      // channel 1, channel 2 (flag 0x10)
  uint16_t min[2];
  int32_t* average;     // two averages (flag 0x20)
  uint8_t* buffer[2];   // channel 1, channel 2 (flag 0x02)
  int32_t count[2];     // bytes wanted per channel: at most 7000 (a record) or 1400 (a trace)
  uint16_t timeoutStatus;  // the channel's acquisition status field when no acquisition came
};
