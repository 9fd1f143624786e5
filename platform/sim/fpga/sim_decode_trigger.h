// What the simulated FPGA makes of the trigger words the instrument wrote:
// source, type, slope, level (from the trigger DAC, through the front end's
// numbers) and coupling, sweep mode, and each trigger type's configuration.
// Decoded from the last value of each control word and the DAC latches.
#pragma once
#include <cstdint>

namespace plat {

struct SimAcqSettings;

struct SimTriggerSettings {
  int source = 0;          // word 48: 0 CH1, 1 CH2, 3 external ...
  int selectWord = 0;      // word 2
  int type = 0;            // word 84
  int slope = 0;           // word 92: slope, polarity or edge
  int when = 0;            // word 82
  int sweep = 0;           // word 72: 0 auto, 1 normal, 2 single (code 3)
  int sweepCode = 0;

  // Level and coupling.
  int levelDac = -1;       // DAC 2 (-1 never latched)
  int hysteresisDac = -1;  // DAC 3
  double levelCode = 0;    // screen codes from the centre (AC: from the signal's mean)
  double levelVolts = 0;   // the external input only: volts at its BNC
  int couplingWord = 0;    // word 96
  int coupling = 0;        // of the source's field: 0 DC, 1 AC, 2 HF reject, 3 LF reject
  bool bothChannels = false;  // the same code in both fields (alternate triggering)
  uint16_t comparator[2] = {};  // words 88, 90
  int sensitivity = 0;     // word 224

  // Time limits in units of 4 ns (words 102/104 and 260/262).
  uint32_t lowerUnits = 0, upperUnits = 0;
  double lowerSeconds = 0, upperSeconds = 0;

  // Video, n-th edge, delay / setup-hold / pattern words.
  int videoLine = 0, videoStandard = 0, videoSync = 0;  // words 76, 78, 80
  int nthEdgeCount = 0;  // word 264
  int pairWords[4] = {};  // words 266, 268, 270, 272
  int codeWords[2] = {};  // words 274, 276

  // Serial buses.
  int busKind = -1;            // word 294: 0 RS232, 1 I2C, 2 SPI, 3 CAN, 4 LIN
  uint32_t bitTimeWord = 0;    // words 296/298 (SPI: idle time in 4 ns)
  double bitTime = 0;          // fixed point decoded (10 ns units)
  uint32_t perBitWord = 0;     // words 300/302 (SPI: idle samples)
  double samplesPerBit = 0;
  struct {
    int polarity, bitOrder, stopBits, parity, when, source, width, data;
  } rs232 = {};
  struct {
    int address, address2, tenBit, dataCount, when, direction, scl, sda;
    uint8_t data[5], mask[5];
  } i2c = {};
  struct {
    int configWord, frameWord;  // words 336, 338 as written
    int bitOrder, mosiPolarity, misoPolarity, whenK, clockEdge, csPolarity, frameBits;
    int mosi, clock, cs, miso;
    uint16_t data[8], mask[8];  // in the setting's own order
  } spi = {};
  struct {
    int kindWord, idWord, idWord2, maskWord, maskWord2, source;
    uint8_t data[8], mask[8];
  } can = {};
  struct {
    int word538, word540, word542, source;
    uint8_t data[8], mask[8];
  } lin = {};
};

// From the simulated FPGA's words and DACs in force (takes its lock: not for
// code that runs under it).
SimTriggerSettings SimDecodedTrigger();
// From a table of the 1024 control words in force, which of them were
// written, and the last trigger-level and hysteresis DAC codes (-1 never).
SimTriggerSettings SimDecodeTriggerWords(const uint16_t* words, const bool* written, int levelDac,
                                         int hysteresisDac);
// The trigger source, slope, coupling and level (volts at the source's BNC,
// through the channel's range and zero code in `s`) of an acquisition.
void SimApplyTrigger(const SimTriggerSettings& t, SimAcqSettings* s);
// The serial-bus condition of types 12-16 from the bus words (sim_bus_trigger.cpp).
struct SimTriggerCondition;
void SimApplyBusTrigger(const SimTriggerSettings& t, SimTriggerCondition* c);

}  // namespace plat
